// SQLSetPos and SQLBulkOperations through the Driver Manager on every
// backend and both builds: the checks of their arguments, positioning,
// refresh and fetch by bookmark of a static cursor's rowset, and changes by
// key of keyset, static, dynamic and mixed cursors checked in the table.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::State;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class AnySetPosDm : public qmr_test::DmTest {
 protected:
  std::string T(const char* stem) const { return std::string(stem) + qmr_test::Lower(GetParam()); }
  void Make(const std::string& table, const std::string& columns,
            const std::vector<std::string>& rows) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
    for (const std::string& r : rows) MustExec("INSERT INTO " + table + " VALUES (" + r + ")");
    made_.push_back(table);
  }
  void TearDown() override {
    for (const std::string& t : made_) Exec("DROP TABLE " + t);
    qmr_test::DmTest::TearDown();
  }
  // The table's rows, ordered by the first column, "a,b;a,b" (NULL empty).
  std::string Contents(const std::string& table) {
    EXPECT_EQ(SQL_SUCCESS,
              SQLExecDirect(stmt_, Text("SELECT * FROM " + table + " ORDER BY 1"), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, stmt_);
    std::string all;
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_)) {
      if (!all.empty()) all += ";";
      for (size_t c = 0; c < row.size(); ++c) all += (c > 0 ? "," : "") + row[c].text;
    }
    return all;
  }
  // A further statement with a cursor of that kind.
  SQLHSTMT Cursor(SQLULEN type, SQLULEN concurrency, SQLULEN rows, SQLHDBC dbc = nullptr) {
    SQLHSTMT h = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc != nullptr ? dbc : dbc_, &h));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rows, 0));
    return h;
  }
  std::vector<std::string> made_;
};

template <class T>
std::string Joined(const T* v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += (i > 0 ? "," : "") + std::to_string(v[i]);
  return s;
}

// A static read-only cursor over five rows, three at a time: the rowset is
// positioned on and refreshed from the cache; every refused call names
// its state and changes nothing.
TEST_P(AnySetPosDm, PositionRefreshAndRefusals) {
  const std::string t = T("spr_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)",
       {"1, 'v1'", "2, 'v2'", "3, 'v3'", "4, 'v4'", "5, 'v5'"});
  SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  stmt_ = Cursor(SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 3);
  SQLINTEGER ids[3];
  SQLLEN idInd[3], vInd[3];
  char vs[3][12];
  SQLUSMALLINT status[3], ops[3] = {SQL_ROW_PROCEED, SQL_ROW_PROCEED, SQL_ROW_PROCEED};
  SQLLEN bm[3], bmInd[3];
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_OPERATION_PTR, ops, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, bm, sizeof bm[0], bmInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, idInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_CHAR, vs, sizeof vs[0], vInd));
  ASSERT_EQ(SQL_SUCCESS,
            SQLExecDirect(stmt_, Text("SELECT id, v, v FROM " + t + " ORDER BY id"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);

  const SQLSETPOSIROW kWide = (SQLSETPOSIROW{1} << 32) + 1;
  const struct {
    SQLSMALLINT fetch;  // 0: keep the rowset
    SQLLEN fetchRow;
    SQLSETPOSIROW row;
    SQLUSMALLINT op, lock;
    SQLUSMALLINT ignore;  // row (1-based) marked SQL_ROW_IGNORE, 0 none
    SQLRETURN rc;
    const char* state;
    const char* ids;  // the id buffers afterwards; -1 where the test left its mark
    const char* statuses;
    const char* current;  // SQLGetData of column 3 afterwards, "" not read
  } steps[] = {
      {SQL_FETCH_FIRST, 0, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE, 0, SQL_SUCCESS, "", "-1,-1,-1",
       "9,9,9", "v2"},
      {0, 0, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE, 2, SQL_SUCCESS, "", "1,-1,3", "0,9,0", "v1"},
      {0, 0, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE, 2, SQL_SUCCESS, "", "-1,2,-1", "9,0,9", "v2"},
      {0, 0, 4, SQL_POSITION, SQL_LOCK_NO_CHANGE, 0, SQL_ERROR, "HY107", "-1,-1,-1", "9,9,9", ""},
      {0, 0, kWide, SQL_REFRESH, SQL_LOCK_NO_CHANGE, 0, SQL_ERROR, "HY107", "-1,-1,-1", "9,9,9",
       ""},
      {0, 0, 1, SQL_POSITION, SQL_LOCK_EXCLUSIVE, 0, SQL_ERROR, "HYC00", "-1,-1,-1", "9,9,9", ""},
      {0, 0, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE, 0, SQL_ERROR, "HY092", "-1,-1,-1", "9,9,9", ""},
      {0, 0, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE, 0, SQL_ERROR, "HY092", "-1,-1,-1", "9,9,9", ""},
      // The last rowset holds two rows: the third is no row to stand on,
      // and an operation on all rows passes over it.
      {SQL_FETCH_ABSOLUTE, 4, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE, 0, SQL_ERROR, "HY109",
       "-1,-1,-1", "9,9,9", ""},
      {0, 0, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE, 0, SQL_SUCCESS, "", "4,5,-1", "0,0,3", "v4"},
      {0, 0, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE, 0, SQL_SUCCESS, "", "-1,-1,-1", "9,9,9", "v5"},
  };
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
    const auto& s = steps[i];
    if (s.fetch != 0) {
      ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, s.fetch, s.fetchRow))
          << i << Diag(SQL_HANDLE_STMT, stmt_);
    }
    // The marks the call must overwrite, or leave.
    for (int r = 0; r < 3; ++r) {
      ids[r] = -1;
      status[r] = 9;
      ops[r] = s.ignore == r + 1 ? SQL_ROW_IGNORE : SQL_ROW_PROCEED;
    }
    EXPECT_EQ(s.rc, SQLSetPos(stmt_, s.row, s.op, s.lock)) << i << Diag(SQL_HANDLE_STMT, stmt_);
    if (*s.state != '\0') {
      EXPECT_EQ(s.state, State(SQL_HANDLE_STMT, stmt_)) << i;
    }
    EXPECT_EQ(s.ids, Joined(ids, 3)) << i;
    EXPECT_EQ(s.statuses, Joined(status, 3)) << i;
    if (*s.current != '\0') {
      char v[12] = "";
      SQLLEN ind = 0;
      EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 3, SQL_C_CHAR, v, sizeof v, &ind))
          << i << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_STREQ(s.current, v) << i;
    }
  }
  // Fetch by bookmark: rows in the order of the bookmarks, 8 bytes each
  // (one past 32 bits names no row rather than row 2), a bookmark naming
  // no row that row's error alone.
  const struct {
    SQLLEN marks[3];
    SQLRETURN rc;
    const char* ids;
    const char* statuses;
  } rows[] = {
      {{4, 1, 3}, SQL_SUCCESS, "4,1,3", "0,0,0"},
      {{5, (SQLLEN{1} << 32) + 2, 2}, SQL_SUCCESS_WITH_INFO, "5,-1,2", "0,5,0"},
  };
  for (const auto& r : rows) {
    for (int i = 0; i < 3; ++i) {
      bm[i] = r.marks[i];
      bmInd[i] = sizeof bm[0];
      ids[i] = -1;
    }
    EXPECT_EQ(r.rc, SQLBulkOperations(stmt_, SQL_FETCH_BY_BOOKMARK))
        << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(Joined(r.marks, 3), Joined(bm, 3)) << "the bookmarks are the application's";
    EXPECT_EQ(r.ids, Joined(ids, 3));
    EXPECT_EQ(r.statuses, Joined(status, 3));
  }
  EXPECT_EQ("01S01", State(SQL_HANDLE_STMT, stmt_));
  // Bulk changes of a read-only cursor are refused alike; a forward-only
  // cursor has none.
  EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt_, SQL_DELETE_BY_BOOKMARK));
  EXPECT_EQ("HY092", State(SQL_HANDLE_STMT, stmt_));
  SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, Text("SELECT id FROM " + t), SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt_, SQL_ADD));
  EXPECT_EQ("IM924", State(SQL_HANDLE_STMT, stmt_));
  EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt_, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("HY109", State(SQL_HANDLE_STMT, stmt_));
}

// A keyset-driven cursor with lock concurrency: one row and all rows of a
// rowset updated and deleted, rows added from the bound arrays and a long
// value that comes at execution in pieces. A forward-only read of the table
// shows every change; rows marked SQL_ROW_IGNORE and rows already deleted
// keep their values and statuses.
TEST_P(AnySetPosDm, KeysetChanges) {
  const std::string t = T("spc_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(4000), n INTEGER",
       {"1, 'v1', 10", "2, 'v2', 20", "3, 'v3', 30", "4, 'v4', 40", "5, 'v5', 50", "6, 'v6', 60"});
  SQLHSTMT h = Cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 3);
  static struct {
    SQLINTEGER id[3], n[3];
    SQLLEN idInd[3], vInd[3], nInd[3];
    char v[3][4001];
    SQLUSMALLINT status[3], ops[3];
  } b;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, b.status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_OPERATION_PTR, b.ops, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, b.id, 0, b.idInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, b.v, sizeof b.v[0], b.vInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 3, SQL_C_SLONG, b.n, 0, b.nInd));
  ASSERT_EQ(SQL_SUCCESS,
            SQLExecDirect(h, Text("SELECT id, v, n FROM " + t + " ORDER BY id"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, h);
  const struct {
    SQLSMALLINT fetch;  // 0: the rowset stays
    SQLSETPOSIROW row;
    SQLUSMALLINT op;
    int ignore;             // rowset row (1-based) marked SQL_ROW_IGNORE
    const char* values[3];  // "v,n" per rowset row; null: left as fetched
    const char* statuses;
    SQLLEN count;
  } steps[] = {
      {SQL_FETCH_FIRST, 2, SQL_UPDATE, 0, {nullptr, "x2,21", nullptr}, "0,2,0", 1},
      {0, 0, SQL_UPDATE, 3, {"a1,11", "a2,22", "zz,99"}, "2,2,0", 2},
      {0, 1, SQL_DELETE, 0, {}, "1,2,0", 1},
      {SQL_FETCH_NEXT, 0, SQL_DELETE, 0, {}, "1,1,1", 3},
      // Row 1 is gone: an operation on all rows passes over it.
      {SQL_FETCH_FIRST, 0, SQL_UPDATE, 0, {"zz,99", "b2,202", "b3,303"}, "1,2,2", 2},
      {0, 0, SQL_ADD, 0, {"c7,70", "c8,80", "c9,90"}, "4,4,4", 3},
  };
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
    const auto& s = steps[i];
    if (s.fetch != 0) {
      ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, s.fetch, 0)) << i << Diag(SQL_HANDLE_STMT, h);
    }
    for (int r = 0; r < 3; ++r) {
      b.ops[r] = s.ignore == r + 1 ? SQL_ROW_IGNORE : SQL_ROW_PROCEED;
      if (s.values[r] == nullptr) continue;
      const std::string text = s.values[r];
      const size_t comma = text.find(',');
      std::snprintf(b.v[r], sizeof b.v[r], "%s", text.substr(0, comma).c_str());
      b.vInd[r] = SQL_NTS;
      b.n[r] = std::stoi(text.substr(comma + 1));
      if (s.op == SQL_ADD) b.id[r] = 7 + r;
    }
    const SQLRETURN rc = s.op == SQL_ADD ? SQLBulkOperations(h, SQL_ADD)
                                         : SQLSetPos(h, s.row, s.op, SQL_LOCK_NO_CHANGE);
    EXPECT_EQ(SQL_SUCCESS, rc) << i << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ(s.statuses, Joined(b.status, 3)) << i;
    SQLLEN count = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(h, &count)) << i;
    EXPECT_EQ(s.count, count) << i;
  }
  // A long value in three pieces, named by the address of its buffer.
  b.id[2] = 3;  // the add left its own id in the buffer
  b.vInd[2] = SQL_LEN_DATA_AT_EXEC(0);
  b.n[2] = 33;
  b.ops[0] = b.ops[1] = b.ops[2] = SQL_ROW_PROCEED;
  ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(h, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
      << Diag(SQL_HANDLE_STMT, h);
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(h, &token)) << Diag(SQL_HANDLE_STMT, h);
  EXPECT_EQ(static_cast<void*>(b.v[2]), token);
  const std::string piece(600, 'p');
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(SQL_SUCCESS, SQLPutData(h, (SQLPOINTER)piece.c_str(), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, h);
  EXPECT_EQ(SQL_SUCCESS, SQLParamData(h, &token)) << Diag(SQL_HANDLE_STMT, h);
  // The rows of a join are no rows of one table to change by key.
  SQLCloseCursor(h);
  ASSERT_EQ(SQL_SUCCESS,
            SQLExecDirect(
                h, Text("SELECT a.id, a.v, a.n FROM " + t + " a, " + t + " b WHERE a.id = b.id"),
                SQL_NTS))
      << Diag(SQL_HANDLE_STMT, h);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, h);
  EXPECT_EQ(SQL_ERROR, SQLSetPos(h, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("IM912", State(SQL_HANDLE_STMT, h));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("2,b2,202;3," + std::string(1800, 'p') + ",33;7,c7,70;8,c8,80;9,c9,90", Contents(t));
}

// Changes and fetches by bookmark on a keyset-driven cursor: bookmarks in any order,
// rows beyond the rowset fetched, 8-byte bookmarks (one past 32 bits names
// no row rather than row 1), a bookmark naming no row that row's error
// alone; then a thousand rows added from the bound arrays at once.
TEST_P(AnySetPosDm, KeysetBulkOperations) {
  const std::string t = T("spu_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)",
       {"1, 'v1'", "2, 'v2'", "3, 'v3'", "4, 'v4'", "5, 'v5'", "6, 'v6'"});
  SQLHSTMT h = Cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 4);
  SQLLEN bm[4], bmInd[4], idInd[4], vInd[4];
  SQLINTEGER ids[4];
  char vs[4][11];
  SQLUSMALLINT status[4];
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 0, SQL_C_VARBOOKMARK, bm, sizeof bm[0], bmInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, idInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, vs, sizeof vs[0], vInd));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, Text("SELECT id, v FROM " + t + " ORDER BY id"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, h);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, h);
  const SQLLEN kWide = (SQLLEN{1} << 32) + 1;
  const struct {
    SQLUSMALLINT op;
    SQLLEN marks[4];
    SQLRETURN rc;
    const char* statuses;
    const char* fetched;  // the v buffers after a fetch
  } steps[] = {
      {SQL_UPDATE_BY_BOOKMARK, {6, 1, 99, 3}, SQL_SUCCESS_WITH_INFO, "2,2,5,2", ""},
      {SQL_FETCH_BY_BOOKMARK, {3, 99, 6, 1}, SQL_SUCCESS_WITH_INFO, "2,5,2,2", "u3,-,u6,u1"},
      {SQL_DELETE_BY_BOOKMARK, {5, 2, kWide, 4}, SQL_SUCCESS_WITH_INFO, "1,1,5,1", ""},
  };
  for (const auto& s : steps) {
    for (int r = 0; r < 4; ++r) {
      bm[r] = s.marks[r];
      bmInd[r] = sizeof bm[0];
      ids[r] = static_cast<SQLINTEGER>(s.marks[r] % 100);
      std::snprintf(vs[r], sizeof vs[r], *s.fetched != '\0' ? "-" : "u%d", ids[r]);
      vInd[r] = SQL_NTS;
    }
    EXPECT_EQ(s.rc, SQLBulkOperations(h, s.op)) << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ(s.statuses, Joined(status, 4));
    if (*s.fetched != '\0') {
      EXPECT_EQ(s.fetched, std::string(vs[0]) + "," + vs[1] + "," + vs[2] + "," + vs[3]);
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("1,u1;3,u3;6,u6", Contents(t));

  // A rowset of a thousand rows needs the connection's rowset size limit off.
  constexpr int kMany = 1000;
  qmr_test::DmSession wide;
  wide.UseEnv(env_);
  ASSERT_TRUE(wide.ConnectString("DSN=" + GetParam() + ";NRSSL=1"));
  h = Cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, kMany, wide.dbc_);
  std::vector<SQLINTEGER> many(kMany);
  std::vector<SQLUSMALLINT> added(kMany);
  for (int i = 0; i < kMany; ++i) many[i] = 100 + i;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, added.data(), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, many.data(), 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, Text("SELECT id FROM " + t), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, h);
  EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(h, SQL_ADD)) << Diag(SQL_HANDLE_STMT, h);
  SQLLEN count = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLRowCount(h, &count));
  EXPECT_EQ(kMany, count);
  EXPECT_EQ(std::vector<SQLUSMALLINT>(kMany, SQL_ROW_ADDED), added);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("1003,599510", Contents("(SELECT COUNT(*) c, SUM(id) s FROM " + t + ") x"));
}

// Values concurrency on a keyset cursor: a row another connection changed
// after the fetch is left alone and answers SQL_ROW_ERROR, while the other
// rows of an update of all rows still change (a NULL kept value compared as
// NULL).
TEST_P(AnySetPosDm, ValuesConcurrencyLeavesChangedRows) {
  const std::string t = T("spv_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10), n INTEGER",
       {"1, 'v1', 10", "2, 'v2', 20", "3, 'v3', NULL"});
  SQLHSTMT h = Cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 3);
  SQLINTEGER ids[3], ns[3];
  SQLLEN idInd[3], vInd[3], nInd[3];
  char vs[3][11];
  SQLUSMALLINT status[3];
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, idInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, vs, sizeof vs[0], vInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 3, SQL_C_SLONG, ns, 0, nInd));
  ASSERT_EQ(SQL_SUCCESS,
            SQLExecDirect(h, Text("SELECT id, v, n FROM " + t + " ORDER BY id"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, h);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, h);
  qmr_test::DmSession other;
  other.UseEnv(env_);
  ASSERT_TRUE(other.ConnectDsn(GetParam()));
  other.MustExec("UPDATE " + t + " SET v = 'other' WHERE id = 2");
  for (int r = 0; r < 3; ++r) {
    std::snprintf(vs[r], sizeof vs[r], "new%d", r + 1);
    vInd[r] = SQL_NTS;
  }
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetPos(h, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
      << Diag(SQL_HANDLE_STMT, h);
  EXPECT_EQ("01001", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ("2,5,2", Joined(status, 3));
  // Read again, changed again: a single row alike.
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, h);
  other.MustExec("UPDATE " + t + " SET n = 21 WHERE id = 2");
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetPos(h, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ(5, status[1]);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("1,new1,10;2,other,21;3,new3,", Contents(t));
}

// A static cursor under values concurrency compares with its rows as it
// read them at execution: a change another connection made before the first
// fetch is a conflict (its value stays), while rows another connection or
// the cursor itself added or removed meanwhile leave every other row
// changeable, with the keys shown or not, and the cursor goes on.
TEST_P(AnySetPosDm, StaticValuesCompareWithTheRowsRead) {
  const std::string t = T("sps_");
  const std::string shown = "SELECT v, id FROM " + t + " ORDER BY id",
                    hidden = "SELECT v FROM " + t + " ORDER BY id";
  const struct {
    const std::string& sql;
    std::string between;  // another connection's statement; empty: the cursor's SQL_ADD
    SQLRETURN rc;
    SQLUSMALLINT status;
    const char* table;
  } cases[] = {
      {shown, "UPDATE " + t + " SET v = 'other' WHERE id = 2", SQL_SUCCESS_WITH_INFO, SQL_ROW_ERROR,
       "1,v1;2,other;3,next;4,v4"},
      {shown, "INSERT INTO " + t + " VALUES (0, 'v0')", SQL_SUCCESS, SQL_ROW_UPDATED,
       "0,v0;1,v1;2,mine;3,next;4,v4"},
      {shown, "DELETE FROM " + t + " WHERE id = 1", SQL_SUCCESS, SQL_ROW_UPDATED,
       "2,mine;3,next;4,v4"},
      {shown, "", SQL_SUCCESS, SQL_ROW_UPDATED, "1,v1;2,mine;3,next;4,v4;11,a11;12,a12"},
      {hidden, "INSERT INTO " + t + " VALUES (0, 'v0')", SQL_SUCCESS, SQL_ROW_UPDATED,
       "0,v0;1,v1;2,mine;3,next;4,v4"},
      {hidden, "UPDATE " + t + " SET v = 'other' WHERE id = 2", SQL_SUCCESS_WITH_INFO,
       SQL_ROW_ERROR, "1,v1;2,other;3,next;4,v4"},
  };
  qmr_test::DmSession other;
  other.UseEnv(env_);
  ASSERT_TRUE(other.ConnectDsn(GetParam()));
  for (const auto& c : cases) {
    const std::string what = c.sql + " / " + c.between;
    Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)",
         {"1, 'v1'", "2, 'v2'", "3, 'v3'", "4, 'v4'"});
    SQLHSTMT h = Cursor(SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, 2);
    SQLINTEGER ids[2] = {11, 12};
    SQLLEN vInd[2] = {SQL_NTS, SQL_NTS}, idInd[2] = {0, 0};
    char vs[2][11] = {"a11", "a12"};
    SQLUSMALLINT status[2];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_CHAR, vs, sizeof vs[0], vInd));
    if (&c.sql == &shown) {
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_SLONG, ids, 0, idInd));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, Text(c.sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, h);
    if (c.between.empty()) {
      EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(h, SQL_ADD)) << what << Diag(SQL_HANDLE_STMT, h);
    } else {
      other.MustExec(c.between);
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0))
        << what << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ("v2", std::string(vs[1])) << what;
    std::snprintf(vs[1], sizeof vs[1], "mine");
    vInd[1] = SQL_NTS;
    EXPECT_EQ(c.rc, SQLSetPos(h, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
        << what << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ(c.rc == SQL_SUCCESS ? "" : "01001", State(SQL_HANDLE_STMT, h)) << what;
    EXPECT_EQ(c.status, status[1]) << what;
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_NEXT, 0))
        << what << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ("v3", std::string(vs[0])) << what;
    std::snprintf(vs[0], sizeof vs[0], "next");
    vInd[0] = SQL_NTS;
    EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
        << what << Diag(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    EXPECT_EQ(c.table, Contents(t)) << what;
  }
}

// A static result too large for memory, without its keys among its
// columns: a row changed through the cursor is changed again after its
// window was read back from disk, compared with what the first change wrote.
TEST_P(AnySetPosDm, StaticValuesFollowOwnUpdatesOnDisk) {
  const std::string t = T("spb_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)", {});
  std::vector<SQLINTEGER> all(5200);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<SQLINTEGER>(i + 1);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)all.size(), 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, all.data(), 0, 0);
  MustExec("INSERT INTO " + t + " VALUES (?, 'v')");
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
  SQLHSTMT h = Cursor(SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, 1);
  char v[11] = "";
  SQLLEN vInd = SQL_NTS;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_CHAR, v, sizeof v, &vInd));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h,
                                       Text("SELECT v FROM " + t +
                                            " WHERE id = 5150 OR id < "
                                            "5100 ORDER BY id"),
                                       SQL_NTS))
      << Diag(SQL_HANDLE_STMT, h);
  for (const char* next : {"first", "second"}) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_LAST, 0)) << Diag(SQL_HANDLE_STMT, h);
    std::snprintf(v, sizeof v, "%s", next);
    vInd = SQL_NTS;
    EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << next;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("5150,second", Contents("(SELECT * FROM " + t + " WHERE id = 5150) x"));
}

// Every kind of cursor changes the rows of its current rowset by key: the
// first row of the second rowset is the third of the table (a static cursor
// takes the keys from its own rows, a dynamic or mixed one from its block).
TEST_P(AnySetPosDm, EveryCursorKindChangesByKey) {
  const std::string t = T("spd_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)",
       {"1, 'v1'", "2, 'v2'", "3, 'v3'", "4, 'v4'", "5, 'v5'", "6, 'v6'", "7, 'v7'", "8, 'v8'",
        "9, 'v9'", "10, 'v10'"});
  const struct {
    SQLULEN type, concurrency, keyset;
    const char* v;
  } kinds[] = {{SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, 0, "sv"},
               {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, 0, "sl"},
               {SQL_CURSOR_DYNAMIC, SQL_CONCUR_LOCK, 0, "d"},
               {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 4, "m"},
               {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 0, "kv"},
               {SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, 0, "dv"},
               {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 4, "mv"}};
  for (int n = 0; n < 7; ++n) {
    const auto& k = kinds[n];
    SQLHSTMT h = Cursor(k.type, k.concurrency, 2);
    SQLINTEGER ids[2];
    SQLLEN idInd[2], vInd[2];
    char vs[2][11];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)k.keyset, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, vs, sizeof vs[0], vInd));
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(h, Text("SELECT id, v FROM " + t + " ORDER BY id"), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_NEXT, 0)) << Diag(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_NEXT, 0)) << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ(3, ids[0]) << k.v;
    // Changed twice before the next fetch: the second change compares
    // with what the first wrote.
    for (const char* v : {"first", k.v}) {
      std::snprintf(vs[0], sizeof vs[0], "%s", v);
      vInd[0] = SQL_NTS;
      EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
          << k.v << Diag(SQL_HANDLE_STMT, h);
    }
    EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE))
        << k.v << Diag(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    std::string want = "1,v1;2,v2;3," + std::string(k.v);
    for (int id = 5 + n; id <= 10; ++id)
      want += ";" + std::to_string(id) + ",v" + std::to_string(id);
    EXPECT_EQ(want, Contents(t));
  }
}

// A positioned statement on another statement of the connection names an
// emulated cursor by its given or generated name: the row SQL_POSITION
// stands on changes by key with the application's value in the SET list,
// SQLRowCount counts it and a keyset cursor's next fetch shows what
// happened (a static one shows its rows as read, as after SQLSetPos).
TEST_P(AnySetPosDm, WhereCurrentOfChangesTheCurrentRow) {
  const std::string t = T("spc_");
  const struct {
    SQLULEN type, concurrency;
    const char* name;  // "" the generated one
    const char* head;
    bool otherChanges;
    SQLRETURN rc;
    SQLLEN count;
    SQLUSMALLINT status;  // of row 2 at the refetch
    const char* table;
  } cases[] = {
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, "cur_k", "UPDATE %s SET v = ?", false,
       SQL_SUCCESS, 1, SQL_ROW_UPDATED, "1,v1;2,new;3,v3"},
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, "", "DELETE FROM %s", false, SQL_SUCCESS, 1,
       SQL_ROW_DELETED, "1,v1;3,v3"},
      {SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, "Cur_S", "UPDATE %s SET v = ?", false, SQL_SUCCESS, 1,
       SQL_ROW_SUCCESS, "1,v1;2,new;3,v3"},
      {SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, "cur_s", "UPDATE %s SET v = ?", true,
       SQL_SUCCESS_WITH_INFO, 0, SQL_ROW_SUCCESS, "1,v1;2,other;3,v3"},
      // Read-only cursors are refused, saying why.
      {SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, "", "DELETE FROM %s", false, SQL_ERROR, -1,
       SQL_ROW_SUCCESS, "1,v1;2,v2;3,v3"},
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, "", "UPDATE %s SET v = ?", false, SQL_ERROR,
       -1, SQL_ROW_SUCCESS, "1,v1;2,v2;3,v3"},
  };
  bool commented = false;  // every second text ends in a comment, which is not the name's
  for (const auto& c : cases) {
    commented = !commented;
    Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)", {"1, 'v1'", "2, 'v2'", "3, 'v3'"});
    SQLHSTMT h = Cursor(c.type, c.concurrency, 3);
    SQLUSMALLINT status[3];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    if (*c.name != '\0') {
      ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(h, Text(c.name), SQL_NTS));
    }
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(h, Text("SELECT id, v FROM " + t + " ORDER BY id"), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(h, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    SQLCHAR name[64] = {0};
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(h, name, sizeof name, &length));
    if (c.otherChanges) {
      qmr_test::DmSession other;
      other.UseEnv(env_);
      ASSERT_TRUE(other.ConnectDsn(GetParam()));
      other.MustExec("UPDATE " + t + " SET v = 'other' WHERE id = 2");
    }
    char sql[200];
    std::snprintf(sql, sizeof sql, c.head, t.c_str());
    const std::string text = std::string(sql) + " WHERE CURRENT OF " + (const char*)name +
                             (commented ? " -- the current row" : "");
    SQLHSTMT u = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &u));
    char value[] = "new";
    SQLLEN valueInd = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(u, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0,
                                            value, 0, &valueInd));
    EXPECT_EQ(c.rc, SQLExecDirect(u, Text(text), SQL_NTS)) << text << Diag(SQL_HANDLE_STMT, u);
    if (c.rc != SQL_SUCCESS) {
      const std::string diag = Diag(SQL_HANDLE_STMT, u);
      EXPECT_EQ(c.rc == SQL_ERROR ? "24000" : "01001", diag.substr(0, 5)) << text;
      EXPECT_EQ(c.rc == SQL_ERROR, diag.find("SQL_ATTR_CONCURRENCY") != std::string::npos) << diag;
    }
    SQLLEN count = -1;
    EXPECT_EQ(c.rc == SQL_ERROR ? SQL_ERROR : SQL_SUCCESS, SQLRowCount(u, &count));
    EXPECT_EQ(c.count, count) << text;
    SQLFreeHandle(SQL_HANDLE_STMT, u);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ(c.status, status[1]) << text;
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    EXPECT_EQ(c.table, Contents(t)) << text;
  }
  // A name no cursor of the connection answers to.
  EXPECT_EQ(SQL_ERROR,
            SQLExecDirect(stmt_, Text("DELETE FROM " + t + " WHERE CURRENT OF nocur"), SQL_NTS));
  EXPECT_EQ("34000", State(SQL_HANDLE_STMT, stmt_));
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnySetPosDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
