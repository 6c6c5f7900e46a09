// The scripted statement slots of the parameter tests.
#include "param/param_fixture.h"
#include "drv_jdbc/agent_codes.h"

#include <cstdlib>
#include <cstring>

namespace qmrtest {

ParamScript* ParamTest::script = nullptr;

namespace {

JdbcColDesc* Describe(const std::vector<int32_t>& types, uint16_t* count) {
  ParamScript* s = ParamTest::script;
  *count = static_cast<uint16_t>(types.size());
  if (types.empty()) return nullptr;
  JdbcColDesc* d = ColDescAlloc(*count);
  for (size_t i = 0; i < types.size(); ++i) {
    const std::string& name = i < s->markerNames.size() ? s->markerNames[i] : std::string();
    std::strncpy(d[i].name, name.c_str(), COLDESC_NAME_SIZE - 1);
    d[i].sql_type = types[i];
    d[i].delivered_type = types[i];
    d[i].precision = 255;
    d[i].flags = SQL_NULLABLE;
    d[i].value_type = COLSET_VT_NTS;
    d[i].elem_len = 256;
  }
  return d;
}

uint32_t AgentPrepare(uint32_t h, const char* sql) {
  ParamTest::script->prepared.emplace_back(sql);
  return static_cast<uint32_t>(EnterCurrent(11, h));
}

uint32_t DescribeCols(uint32_t h, uint16_t* count, JdbcColDesc** descs) {
  const int32_t rc = EnterCurrent(16, h);
  if (rc != 0) return static_cast<uint32_t>(rc);
  ParamScript* s = ParamTest::script;
  const bool again = s->describeCalls++ > 0 && !s->refreshedTypes.empty();
  *descs = Describe(again ? s->refreshedTypes : s->markerTypes, count);
  return 0;
}

uint32_t NumResultCols(uint32_t h, uint16_t* count, JdbcColDesc** descs) {
  *count = 0;
  *descs = nullptr;
  return static_cast<uint32_t>(EnterCurrent(15, h));
}

void Keep(COLSET* set) {
  ParamScript* s = ParamTest::script;
  if (s->lastSet != nullptr) {
    ColSetFreeColumns(s->lastSet);
    delete s->lastSet;
  }
  s->lastSet = set;
}

uint32_t SetParams(uint32_t h, COLSET* set) {
  Keep(set);
  return static_cast<uint32_t>(EnterCurrent(12, h));
}

uint32_t BindCols(uint32_t h, uint16_t count, const JdbcColBind* binds) {
  ParamTest::script->binds.assign(binds, binds + count);
  ++ParamTest::script->handOvers;
  return static_cast<uint32_t>(EnterCurrent(18, h));
}

uint32_t Execute(uint32_t h) {
  ++ParamTest::script->executions;
  const int32_t rc = EnterCurrent(13, h);
  return rc != 0 ? static_cast<uint32_t>(rc) : ParamTest::script->executeAnswer;
}

uint32_t PrepareExecute(uint32_t h, const char*, COLSET* set, uint16_t count,
                        const JdbcColBind* binds) {
  if (set != nullptr) Keep(set);
  if (count != 0) {
    ParamTest::script->binds.assign(binds, binds + count);
    ++ParamTest::script->handOvers;
  }
  ++ParamTest::script->executions;
  const int32_t rc = EnterCurrent(43, h);
  return rc != 0 ? static_cast<uint32_t>(rc) : ParamTest::script->executeAnswer;
}

uint32_t GetInfo(uint32_t h, uint32_t request, void* value, uint16_t, uint16_t* length) {
  const int32_t rc = EnterCurrent(0, h);
  if (rc != 0) return static_cast<uint32_t>(rc);
  if (request != INFO_ROW_COUNT) return 43;
  std::memcpy(value, &ParamTest::script->lastSetAnswer, 4);
  if (length != nullptr) *length = 4;
  return 0;
}

uint32_t SetOption(uint32_t h, uint32_t, void*) {
  return static_cast<uint32_t>(EnterCurrent(1, h));
}

// The output row: a copy of the value set's shapes with row 0 replaced.
uint32_t Fetch(uint32_t h, uint16_t, COLSET* out) {
  const int32_t rc = EnterCurrent(19, h);
  if (rc != 0) return static_cast<uint32_t>(rc);
  const COLSET* in = ParamTest::script->lastSet;
  if (in == nullptr) return 15;
  if (ColSetInit(out, in->cols_used) != 0) return 16;
  for (uint16_t c = 0; c < in->cols_used; ++c) {
    out->cols[c].type = in->cols[c].type;
    out->cols[c].elem_size = in->cols[c].elem_size;
  }
  out->cols_used = in->cols_used;
  if (ColSetSetRows(out, 1) != 0) return 16;
  for (uint16_t c = 0; c < in->cols_used; ++c) {
    std::memcpy(out->cols[c].data, in->cols[c].data, in->cols[c].elem_size);
    out->cols[c].ind[0] = in->cols[c].ind[0];
  }
  for (const ParamScript::Out& o : ParamTest::script->outputs) {
    COLSET_COL& col = out->cols[o.column];
    col.ind[0] = o.isNull ? COLSET_IND_NULL : 0;
    std::memset(col.data, 0, col.elem_size);
    std::memcpy(col.data, o.bytes.data(), std::min<size_t>(o.bytes.size(), col.elem_size));
  }
  out->rows_held = 1;
  return 0;
}

}  // namespace

void ParamTest::SetUp() {
  CoreTest::SetUp();
  script = &scriptData;
  conn = NewOdbc3Conn(&env, &dbc);
  ASSERT_NE(nullptr, conn);
  // What the JDBC agent reports at connect.
  conn->cn_needbind = 1;
  conn->cn_hasParamOp = 1;
  conn->cn_hasExecute2 = 1;
  table = *fake.table();
  table.DRV_GetInfo = GetInfo;
  table.DRV_SetOption = SetOption;
  table.DRV_Prepare = AgentPrepare;
  table.DRV_DescribeCols = DescribeCols;
  table.DRV_NumResultCols = NumResultCols;
  table.DRV_SetParams = SetParams;
  table.DRV_BindCols = BindCols;
  table.DRV_Execute = Execute;
  table.DRV_PrepareExecute = PrepareExecute;
  table.DRV_Fetch = Fetch;
  conn->agent.ops = &table;
  stmt = NewStmt(dbc);
}

void ParamTest::TearDown() {
  if (stmt != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  Keep(nullptr);
  CoreTest::TearDown();
  script = nullptr;
}

SQLRETURN ParamTest::Prepare(const char* sql, int markers, const char* name) {
  if (script->markerTypes.empty()) script->markerTypes.assign(markers, SQL_VARCHAR);
  script->markerNames.assign(markers, name);
  script->describeCalls = 0;
  return SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
}

std::string ParamTest::Prefixed(int c, uint32_t row) const {
  uint32_t n = 0;
  std::memcpy(&n, Cell(c, row), 4);
  return std::string(reinterpret_cast<const char*>(Cell(c, row)) + 4, n);
}

std::u16string ParamTest::Wide(int c, uint32_t row) const {
  uint32_t n = 0;
  std::memcpy(&n, Cell(c, row), 4);
  std::u16string w(n, u'\0');
  std::memcpy(&w[0], Cell(c, row) + 4, n * 2);
  return w;
}

}  // namespace qmrtest
