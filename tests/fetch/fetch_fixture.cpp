// The scripted result description and fetch.
#include "fetch/fetch_fixture.h"

#include <cstdlib>
#include <cstring>

#include "scrs/colset_ops.h"
#include "util/rowstatus.h"

namespace qmrtest {

FetchScript* FetchTest::script = nullptr;

namespace {

JdbcColDesc* Describe() {
  const auto& cols = FetchTest::script->cols;
  JdbcColDesc* d = ColDescAlloc(static_cast<uint16_t>(cols.size()));
  for (size_t i = 0; i < cols.size(); ++i) {
    std::strncpy(d[i].name, cols[i].name.c_str(), COLDESC_NAME_SIZE - 1);
    d[i].sql_type = cols[i].sqlType;
    d[i].delivered_type = cols[i].sqlType;
    d[i].precision = cols[i].precision;
    d[i].display_size = cols[i].precision;
    d[i].flags = SQL_NULLABLE;
    d[i].value_type = cols[i].valueType;
    d[i].elem_len = cols[i].elemLen;
  }
  return d;
}

uint32_t NumResultCols(uint32_t, uint16_t* count, JdbcColDesc** descs) {
  *count = static_cast<uint16_t>(FetchTest::script->cols.size());
  *descs = Describe();
  return 0;
}

uint32_t ColAttributes(uint32_t, uint16_t* count, uint16_t* nattrs, JdbcColDesc** descs,
                       ATTR_ENTRY** attrs) {
  *count = static_cast<uint16_t>(FetchTest::script->cols.size());
  *descs = Describe();
  *nattrs = 0;
  *attrs = nullptr;
  return 0;
}

bool IsLong(uint32_t t) {
  return t == COLSET_VT_LONGCHAR || t == COLSET_VT_LONGBINARY || t == COLSET_VT_LONGWCHAR;
}

void Put(COLSET_COL& col, uint32_t r, const FVal& v) {
  unsigned char* e = col.data + static_cast<size_t>(r) * col.elem_size;
  col.ind[r] = v.isNull ? COLSET_IND_NULL : 0;
  if (v.isNull) return;
  switch (col.type) {
    case COLSET_VT_BIT:
    case COLSET_VT_TINYINT:
    case COLSET_VT_UTINYINT: e[0] = static_cast<unsigned char>(v.i); break;
    case COLSET_VT_SMALLINT: {
      int16_t x = static_cast<int16_t>(v.i);
      std::memcpy(e, &x, 2);
      break;
    }
    case COLSET_VT_INTEGER: {
      int32_t x = static_cast<int32_t>(v.i);
      std::memcpy(e, &x, 4);
      break;
    }
    case COLSET_VT_DOUBLE: std::memcpy(e, &v.d, 8); break;
    case COLSET_VT_NTS:
      std::memcpy(e, v.bytes.data(), std::min<size_t>(v.bytes.size(), col.elem_size - 1));
      break;
    case COLSET_VT_WNTS:
      std::memcpy(e, v.wide.data(), std::min<size_t>(2 * v.wide.size(), col.elem_size - 2));
      break;
    // Counted text longer than its element keeps what fits and its whole
    // length, as the agent writes it.
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY32: {
      const uint32_t n = static_cast<uint32_t>(v.bytes.size());
      std::memcpy(e, &n, 4);
      std::memcpy(e + 4, v.bytes.data(), std::min<size_t>(n, col.elem_size - 4));
      break;
    }
    case COLSET_VT_WCHAR32: {
      const uint32_t n = static_cast<uint32_t>(v.wide.size());
      std::memcpy(e, &n, 4);
      std::memcpy(e + 4, v.wide.data(), std::min<size_t>(2 * n, col.elem_size - 4));
      break;
    }
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_LONGBINARY: {
      COLSET_LONG l{static_cast<uint32_t>(v.bytes.size()), std::malloc(v.bytes.size() + 1)};
      std::memcpy(l.value, v.bytes.data(), v.bytes.size());
      std::memcpy(e, &l, sizeof l);
      break;
    }
    case COLSET_VT_LONGWCHAR: {
      COLSET_LONG l{static_cast<uint32_t>(v.wide.size()), std::malloc(2 * v.wide.size() + 2)};
      std::memcpy(l.value, v.wide.data(), 2 * v.wide.size());
      std::memcpy(e, &l, sizeof l);
      break;
    }
    default: ADD_FAILURE() << "value type " << col.type << " not scripted";
  }
}

uint32_t Fetch(uint32_t h, uint16_t rows, COLSET* set) {
  FetchScript* s = FetchTest::script;
  const int call = static_cast<int>(s->asked.size());
  s->asked.push_back(rows);
  if (call == s->failAtCall) {
    FakeAgent::Current()->PostError(h, FakeError{"fetch broke", "HY000", 7, false});
    return 15;
  }
  uint32_t n = static_cast<uint32_t>(std::min<size_t>(rows, s->rows.size() - s->next));
  for (const FCol& c : s->cols)
    if (IsLong(c.valueType) && n > 1) n = 1;
  JdbcColDesc* d = Describe();
  const int rc = ColSetBuild(d, static_cast<uint16_t>(s->cols.size()), n, set);
  ColDescFree(d, static_cast<uint16_t>(s->cols.size()));
  if (rc != 0) return static_cast<uint32_t>(rc);
  for (uint32_t r = 0; r < n; ++r, ++s->next)
    for (size_t c = 0; c < s->cols.size(); ++c) Put(set->cols[c], r, s->rows[s->next][c]);
  set->rows_held = n;
  return 0;
}

// The cursor library's forward-only rowset, as its fetch-scroll hook makes
// it: rowset-size rows asked of DRV_Fetch until the rowset is full or a
// fetch brings none, each row marked as fetched.
ConnHandle* gConn = nullptr;

uint32_t FetchScroll(uint32_t h, ROWSTATUS** out, int32_t, uint32_t* fetched, uint32_t* count,
                     uint16_t) {
  uint32_t want = 1;
  for (StmtHandle* st = gConn->firstStmt; st != nullptr; st = st->next)
    if (st->agentStmt == h) want = st->cursor.rowsetSize;
  ROWSTATUS* rs = nullptr;
  if (int rc = RowStatusCreate(&rs, want)) return static_cast<uint32_t>(rc);
  uint32_t got = 0;
  uint32_t rc = 0;
  while (rc == 0 && got < want) {
    COLSET more{};
    rc = Fetch(h, static_cast<uint16_t>(want - got), got == 0 ? rs->rows : &more);
    const uint32_t n = rc == 0 ? (got == 0 ? rs->rows->rows_held : more.rows_held) : 0;
    if (got > 0 && n > 0) rc = static_cast<uint32_t>(ColSetAppendRows(rs->rows, &more));
    ColSetFreeColumns(&more);
    if (n == 0) break;
    got += n;
  }
  *count = static_cast<uint32_t>(-1);
  if (rc != 0 || got == 0) {
    RowStatusFree(&rs);
    return rc != 0 ? rc : ERR_NO_DATA_FOUND;
  }
  for (uint32_t r = 1; r <= got; ++r) SCR_SetRowStatusAt(rs, r, SQL_ROW_SUCCESS);
  *fetched = got;
  RowStatusFree(out);
  *out = rs;
  return 0;
}

uint32_t ExtendedFetch(uint32_t h, ROWSTATUS** out, int32_t start, uint32_t* fetched,
                       uint32_t* count) {
  return FetchScroll(h, out, start, fetched, count, 0);
}

}  // namespace

void FetchTest::SetUp() {
  CoreTest::SetUp();
  script = &data;
  conn = NewOdbc3Conn(&env, &dbc);
  ASSERT_NE(nullptr, conn);
  conn->cn_hasScrlCurs = 1;  // as the JDBC agent's capabilities set it
  table = *fake.table();
  table.DRV_NumResultCols = NumResultCols;
  table.DRV_ColAttributes = ColAttributes;
  table.DRV_Fetch = Fetch;
  table.DRV_FetchScroll = FetchScroll;
  table.DRV_ExtendedFetch = ExtendedFetch;
  conn->agent.ops = &table;
  gConn = conn;
}

void FetchTest::TearDown() {
  CoreTest::TearDown();
  script = nullptr;
}

SQLHSTMT FetchTest::Query() {
  SQLHSTMT h = NewStmt(dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(h, (SQLCHAR*)"select * from t", SQL_NTS));
  return h;
}

SQLHDESC FetchTest::Ard(SQLHSTMT h) { return DRV_HandleValue(Stmt(h)->ard->handle); }

SQLHDESC FetchTest::Ird(SQLHSTMT h) { return DRV_HandleValue(Stmt(h)->ird->handle); }

}  // namespace qmrtest
