// The scripted statement slots.
#include "stmt/stmt_fixture.h"
#include "drv_jdbc/agent_codes.h"

#include <cstdlib>
#include <cstring>

namespace qmrtest {

StmtScript* StmtTest::script = nullptr;

namespace {

JdbcColDesc* Build(const std::vector<ColSpec>& specs) {
  if (specs.empty()) return nullptr;
  JdbcColDesc* d = ColDescAlloc(static_cast<uint16_t>(specs.size()));
  for (size_t i = 0; i < specs.size(); ++i) {
    const ColSpec& s = specs[i];
    std::strncpy(d[i].name, s.name.c_str(), COLDESC_NAME_SIZE - 1);
    if (!s.label.empty()) ColDescSetText(&d[i], COLDESC_LABEL, s.label.c_str());
    if (!s.table.empty()) ColDescSetText(&d[i], COLDESC_TABLE, s.table.c_str());
    if (!s.schema.empty()) ColDescSetText(&d[i], COLDESC_SCHEMA, s.schema.c_str());
    if (!s.catalog.empty()) ColDescSetText(&d[i], COLDESC_CATALOG, s.catalog.c_str());
    d[i].sql_type = s.sqlType;
    d[i].delivered_type = s.sqlType;
    d[i].precision = s.precision;
    d[i].scale = s.scale;
    d[i].flags = s.nullable;
    ColDescSetUpdatable(&d[i], s.updatable);
    d[i].display_size = s.displaySize;
    d[i].value_type = s.valueType;
    d[i].elem_len = s.elemLen;
  }
  return d;
}

uint32_t GetInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  const int32_t rc = EnterCurrent(0, h);
  StmtTest::script->infoRequests.push_back(request);
  if (rc != 0) return static_cast<uint32_t>(rc);
  uint32_t v = 0;
  switch (request) {
    case INFO_ROW_COUNT: v = static_cast<uint32_t>(StmtTest::script->rowCount); break;
    case OPT_CURSOR_TYPE: v = StmtTest::script->cursorTypeAnswer; break;
    case OPT_CONCURRENCY: v = StmtTest::script->concurrencyAnswer; break;
    default: return 43;
  }
  if (value != nullptr && size >= sizeof v) std::memcpy(value, &v, sizeof v);
  if (length != nullptr) *length = sizeof v;
  return 0;
}

uint32_t SetOption(uint32_t h, uint32_t request, void*) {
  StmtTest::script->setOptions.push_back(request);
  return static_cast<uint32_t>(EnterCurrent(1, h));
}

uint32_t AgentPrepare(uint32_t h, const char* sql) {
  StmtTest::script->prepared.emplace_back(sql != nullptr ? sql : "(null)");
  return static_cast<uint32_t>(EnterCurrent(11, h));
}

uint32_t DescribeCols(uint32_t h, uint16_t* count, JdbcColDesc** descs) {
  const int32_t rc = EnterCurrent(16, h);
  if (rc != 0) return static_cast<uint32_t>(rc);
  *count = static_cast<uint16_t>(StmtTest::script->params.size());
  *descs = Build(StmtTest::script->params);
  return 0;
}

uint32_t NumResultCols(uint32_t h, uint16_t* count, JdbcColDesc** descs) {
  const int32_t rc = EnterCurrent(15, h);
  ++StmtTest::script->describeCalls;
  if (rc != 0) return static_cast<uint32_t>(rc);
  *count = static_cast<uint16_t>(StmtTest::script->cols.size());
  *descs = Build(StmtTest::script->cols);
  return 0;
}

uint32_t ColAttributes(uint32_t h, uint16_t* count, uint16_t* nattrs, JdbcColDesc** descs,
                       ATTR_ENTRY** attrs) {
  const int32_t rc = EnterCurrent(51, h);
  ++StmtTest::script->describeCalls;
  if (rc != 0) return static_cast<uint32_t>(rc);
  *count = static_cast<uint16_t>(StmtTest::script->cols.size());
  *descs = Build(StmtTest::script->cols);
  const auto& src = StmtTest::script->attrs;
  *nattrs = static_cast<uint16_t>(src.size());
  *attrs = nullptr;
  if (!src.empty()) {
    auto* a = static_cast<ATTR_ENTRY*>(std::calloc(src.size(), sizeof(ATTR_ENTRY)));
    for (size_t i = 0; i < src.size(); ++i) ATTR_EntryCopy(&a[i], &src[i], ATTR_COPY_OWN);
    *attrs = a;
  }
  return 0;
}

uint32_t Fetch(uint32_t h, uint16_t rows, COLSET*) {
  StmtTest::script->fetchRows.push_back(rows);
  return static_cast<uint32_t>(EnterCurrent(19, h));
}

}  // namespace

void StmtTest::SetUp() {
  CoreTest::SetUp();
  script = &scriptData;
  conn = NewOdbc3Conn(&env, &dbc);
  ASSERT_NE(nullptr, conn);
  table = *fake.table();
  table.DRV_GetInfo = GetInfo;
  table.DRV_SetOption = SetOption;
  table.DRV_Prepare = AgentPrepare;
  table.DRV_DescribeCols = DescribeCols;
  table.DRV_NumResultCols = NumResultCols;
  table.DRV_ColAttributes = ColAttributes;
  table.DRV_Fetch = Fetch;
  conn->agent.ops = &table;
}

void StmtTest::TearDown() {
  for (ATTR_ENTRY& a : scriptData.attrs) ATTR_EntryRelease(&a);
  CoreTest::TearDown();
  script = nullptr;
}

SQLRETURN StmtTest::Direct(SQLHSTMT h, const char* sql) {
  return SQLExecDirect(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
}

SQLRETURN StmtTest::Prepare(SQLHSTMT h, const char* sql) {
  return SQLPrepare(h, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
}

ColSpec Col(const char* name, int32_t type, uint32_t precision, uint16_t scale, uint32_t nullable,
            uint32_t valueType, uint32_t elemLen, uint32_t displaySize) {
  ColSpec c;
  c.name = name;
  c.sqlType = type;
  c.precision = precision;
  c.scale = scale;
  c.nullable = nullable;
  c.valueType = valueType;
  c.elemLen = elemLen;
  c.displaySize = displaySize;
  return c;
}

std::vector<ColSpec> SampleColumns() {
  // As the agent describes them for a Unicode connection: the character
  // types in their wide forms.
  std::vector<ColSpec> c = {
      Col("I", SQL_INTEGER, 10, 0, SQL_NO_NULLS, COLSET_VT_INTEGER, 4, 11),
      Col("BI", SQL_BIGINT, 19, 0, SQL_NULLABLE, COLSET_VT_NTS, 21, 20),
      Col("SI", SQL_SMALLINT, 5, 0, SQL_NULLABLE, COLSET_VT_SMALLINT, 2, 6),
      Col("DEC", SQL_DECIMAL, 12, 2, SQL_NULLABLE, COLSET_VT_NTS, 15, 14),
      Col("DBL", SQL_DOUBLE, 15, 0, SQL_NULLABLE, COLSET_VT_DOUBLE, 8, 24),
      Col("VC", SQL_WVARCHAR, 40, 0, SQL_NULLABLE, COLSET_VT_WNTS, 41, 40),
      Col("CH", SQL_WCHAR, 10, 0, SQL_NULLABLE, COLSET_VT_WNTS, 11, 10),
      Col("D", SQL_TYPE_DATE, 10, 0, SQL_NULLABLE, COLSET_VT_DATE, 6, 10),
      Col("TM", SQL_TYPE_TIME, 8, 0, SQL_NULLABLE, COLSET_VT_TIME, 6, 8),
      Col("TS", SQL_TYPE_TIMESTAMP, 26, 6, SQL_NULLABLE, COLSET_VT_TIMESTAMP, 20, 26),
      Col("B", SQL_BIT, 1, 0, SQL_NULLABLE, COLSET_VT_BIT, 1, 1),
      Col("VB", SQL_VARBINARY, 16, 0, SQL_NULLABLE, COLSET_VT_BINARY32, 20, 32),
      Col("CL", SQL_WLONGVARCHAR, 1048576, 0, SQL_NULLABLE, COLSET_VT_LONGWCHAR, 0, 1048576),
      Col("BL", SQL_LONGVARBINARY, 1048576, 0, SQL_NULLABLE, COLSET_VT_LONGBINARY, 0, 2097152),
  };
  c[0].table = "T";
  c[0].schema = "PUBLIC";
  c[0].catalog = "DB";
  c[0].updatable = COLDESC_UPDATE_WRITABLE;
  return c;
}

}  // namespace qmrtest
