// Dynamic and mixed cursors through the Driver Manager on every backend and
// both builds: a walk over a few hundred rows in both directions compared
// with a forward-only read, rows that another connection inserts, deletes
// and changes, and the row-version table that tells changed rows apart.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

constexpr SQLULEN kRowset = 10;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class AnyDynamicDm : public qmr_test::DmTest {
 protected:
  std::string T(const char* stem) const { return std::string(stem) + qmr_test::Lower(GetParam()); }
  void Make(const std::string& table, int rows) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(20))");
    made_.push_back(table);
    // v runs in another order than id, so the seek follows a column that is no key.
    for (int id = 1; id <= rows; ++id)
      MustExec("INSERT INTO " + table + " VALUES (" + std::to_string(id * 10) + ", 'v" +
               std::to_string(id * 37 % rows + 1000) + "')");
  }
  void TearDown() override {
    for (const std::string& t : made_) Exec("DROP TABLE " + t);
    qmr_test::DmTest::TearDown();
  }
  // A scrolling statement with ids_ and statuses_ bound for kRowset rows.
  void Scrolling(SQLULEN type, SQLULEN keyset, const std::string& sql,
                 SQLULEN concurrency = SQL_CONCUR_READ_ONLY) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0))
        << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0))
        << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kRowset, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0));
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, statuses_, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids_, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    SQLULEN v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &v, 0, nullptr));
    EXPECT_EQ(type, v) << sql;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, &v, 0, nullptr));
    EXPECT_EQ(keyset, v) << sql;
  }
  // The ids of one fetch; empty for SQL_NO_DATA.
  std::vector<int> Fetch(SQLSMALLINT orientation, SQLLEN offset = 0) {
    const SQLRETURN rc = SQLFetchScroll(stmt_, orientation, offset);
    if (rc == SQL_NO_DATA) return {};
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << orientation << Diag(SQL_HANDLE_STMT, stmt_);
    if (!SQL_SUCCEEDED(rc)) return {};
    return std::vector<int>(ids_, ids_ + fetched_);
  }
  std::vector<uint16_t> Statuses() const {
    return std::vector<uint16_t>(statuses_, statuses_ + fetched_);
  }
  std::vector<int> ForwardIds(const std::string& sql) {
    std::vector<int> ids;
    EXPECT_EQ(SQL_SUCCESS, Exec(sql)) << Diag(SQL_HANDLE_STMT, stmt_);
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_))
      ids.push_back(std::stoi(row[0].text));
    return ids;
  }

  std::vector<std::string> made_;
  SQLINTEGER ids_[kRowset] = {};
  SQLUSMALLINT statuses_[kRowset] = {};
  SQLULEN fetched_ = 0;
};

// Every row forward, then backward from the end, then LAST: the rows of a
// forward-only read in its order, for a dynamic cursor (also locking its
// rows or keeping their values) and for a mixed one whose keyset of 100 keys must move through 250
// rows.
TEST_P(AnyDynamicDm, WalksTheWholeResult) {
  const std::string t = T("dyw_");
  Make(t, 251);
  const std::string sql = "SELECT id, v FROM " + t + " WHERE id > 10 ORDER BY v DESC";
  const std::vector<int> all = ForwardIds(sql);
  ASSERT_EQ(250u, all.size());
  const struct {
    SQLULEN type, keyset, concurrency;
  } kinds[] = {{SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_READ_ONLY},
               {SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_LOCK},
               {SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_VALUES},
               {SQL_CURSOR_KEYSET_DRIVEN, 100, SQL_CONCUR_READ_ONLY}};
  for (const auto& k : kinds) {
    ASSERT_NO_FATAL_FAILURE(Scrolling(k.type, k.keyset, sql, k.concurrency));
    std::vector<int> seen;
    for (std::vector<int> got; !(got = Fetch(SQL_FETCH_NEXT)).empty();)
      seen.insert(seen.end(), got.begin(), got.end());
    EXPECT_EQ(all, seen) << "forward, keyset " << k.keyset;
    seen.clear();
    for (std::vector<int> got; !(got = Fetch(SQL_FETCH_PRIOR)).empty();)
      seen.insert(seen.begin(), got.begin(), got.end());
    EXPECT_EQ(all, seen) << "backward, keyset " << k.keyset;
    EXPECT_EQ(std::vector<int>(all.end() - kRowset, all.end()), Fetch(SQL_FETCH_LAST))
        << "keyset " << k.keyset << " concurrency " << k.concurrency;
    EXPECT_EQ(std::vector<int>(all.end() - 2 * kRowset, all.end() - kRowset),
              Fetch(SQL_FETCH_RELATIVE, -10))
        << "keyset " << k.keyset << " concurrency " << k.concurrency;
    // Moves within and beyond the keyset, both ways; `first` indexes `all`.
    const struct {
      SQLSMALLINT orientation;
      SQLLEN offset;
      size_t first;
    } steps[] = {{SQL_FETCH_FIRST, 0, 0},        {SQL_FETCH_RELATIVE, 25, 25},
                 {SQL_FETCH_RELATIVE, 150, 175}, {SQL_FETCH_RELATIVE, -120, 55},
                 {SQL_FETCH_RELATIVE, -7, 48},   {SQL_FETCH_RELATIVE, 0, 48},
                 {SQL_FETCH_NEXT, 0, 58},        {SQL_FETCH_RELATIVE, 185, 243},
                 {SQL_FETCH_PRIOR, 0, 233},      {SQL_FETCH_LAST, 0, 240}};
    for (const auto& s : steps) {
      const size_t end = std::min(all.size(), s.first + kRowset);
      EXPECT_EQ(std::vector<int>(all.begin() + s.first, all.begin() + end),
                Fetch(s.orientation, s.offset))
          << "keyset " << k.keyset << " concurrency " << k.concurrency << ", " << s.orientation
          << " " << s.offset;
    }
  }
}

// A dynamic cursor reads its rows again for every rowset: a row another
// connection inserted shows, one it deleted is gone.
TEST_P(AnyDynamicDm, SeesOtherConnectionsRows) {
  const std::string t = T("dyo_");
  Make(t, 5);
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  ASSERT_NO_FATAL_FAILURE(Scrolling(SQL_CURSOR_DYNAMIC, 0, "SELECT id FROM " + t + " ORDER BY id"));
  EXPECT_EQ((std::vector<int>{10, 20, 30, 40, 50}), Fetch(SQL_FETCH_FIRST));
  other.MustExec("INSERT INTO " + t + " VALUES (15, 'x')");
  other.MustExec("DELETE FROM " + t + " WHERE id = 40");
  EXPECT_EQ((std::vector<int>{10, 15, 20, 30, 50}), Fetch(SQL_FETCH_FIRST));
  other.MustExec("DELETE FROM " + t + " WHERE id < 50");
  EXPECT_EQ((std::vector<int>{50}), Fetch(SQL_FETCH_LAST));
}

// With the row-version table (DynCursSensitivity HIGH) a row that another
// connection changed comes back SQL_ROW_UPDATED once, then as unchanged; a
// row the cursor changed itself does not.
TEST_P(AnyDynamicDm, RowVersionsShowChangedRows) {
  const std::string t = T("dyv_");
  Exec("DROP TABLE QMRRVC");
  MustExec("CREATE TABLE QMRRVC (HCONN CHAR(8), HCURS CHAR(8), KEYVER CHAR(32), ROWVER CHAR(32))");
  made_.push_back("QMRRVC");
  Make(t, 3);
  Close();
  ASSERT_TRUE(NewEnv());
  ASSERT_TRUE(ConnectString("DSN=" + GetParam() + ";DynCursSensitivity=HIGH"));
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  ASSERT_NO_FATAL_FAILURE(
      Scrolling(SQL_CURSOR_DYNAMIC, 0, "SELECT id, v FROM " + t + " ORDER BY id"));
  const std::vector<uint16_t> fresh(3, SQL_ROW_SUCCESS);
  const std::vector<uint16_t> second = {SQL_ROW_SUCCESS, SQL_ROW_UPDATED, SQL_ROW_SUCCESS};
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(fresh, Statuses());
  other.MustExec("UPDATE " + t + " SET v = 'changed' WHERE id = 20");
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(second, Statuses());
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(fresh, Statuses());
  // A closed cursor runs again with versions of its own.
  ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt_));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(fresh, Statuses());
  other.MustExec("UPDATE " + t + " SET v = 'again' WHERE id = 30");
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ((std::vector<uint16_t>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_UPDATED}), Statuses());
  // The cursor's own update, by SQLSetPos or by a positioned statement, is
  // its row's version: only another connection's change shows.
  ASSERT_NO_FATAL_FAILURE(Scrolling(SQL_CURSOR_DYNAMIC, 0,
                                    "SELECT id, v FROM " + t + " ORDER BY id", SQL_CONCUR_VALUES));
  char vs[kRowset][21] = {};
  SQLLEN vInd[kRowset] = {};
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_CHAR, vs, sizeof vs[0], vInd));
  SQLCHAR name[64] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, nullptr));
  for (const char* mine : {"set", "current"}) {
    EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
    std::snprintf(vs[0], sizeof vs[0], "%s", mine);
    vInd[0] = SQL_NTS;
    SQLHSTMT u = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &u));
    const std::string current =
        "UPDATE " + t + " SET v = 'current' WHERE CURRENT OF " + (const char*)name;
    EXPECT_EQ(SQL_SUCCESS, *mine == 's' ? SQLSetPos(stmt_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)
                                        : SQLExecDirect(u, Text(current), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, *mine == 's' ? stmt_ : u);
    SQLFreeHandle(SQL_HANDLE_STMT, u);
    other.MustExec("UPDATE " + t + " SET v = '" + mine + "' WHERE id = 30");
    EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
    EXPECT_EQ((std::vector<uint16_t>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_UPDATED}),
              Statuses()) << mine;
    EXPECT_EQ(mine, std::string(vs[0]));
  }
}

// A mixed cursor whose block moves past a row another connection deleted
// keeps the place of every key it holds: the deleted row shows as deleted
// where it stood, the next rowset begins with the next live row, and a
// positioned statement reaches the row the cursor shows.
TEST_P(AnyDynamicDm, MixedCursorLosesNoRowToADeletion) {
  const std::string t = T("dym_");
  const struct {
    SQLSMALLINT first, second, move;
    int gone;
    std::vector<int> before, after;
    SQLUSMALLINT row;  // positioned on, 1-based
  } cases[] = {
      {SQL_FETCH_NEXT, SQL_FETCH_NEXT, SQL_FETCH_NEXT, 60, {40, 50, 60}, {70, 80, 90}, 1},
      {SQL_FETCH_LAST, SQL_FETCH_PRIOR, SQL_FETCH_PRIOR, 50, {50, 60, 70}, {20, 30, 40}, 3},
  };
  for (const auto& c : cases) {
    Make(t, 10);
    qmr_test::DmSession other;
    ASSERT_TRUE(other.Open(GetParam()));
    ASSERT_NO_FATAL_FAILURE(Scrolling(SQL_CURSOR_KEYSET_DRIVEN, 4,
                                      "SELECT id, v FROM " + t + " ORDER BY id", SQL_CONCUR_VALUES));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0));
    Fetch(c.first);
    EXPECT_EQ(c.before, Fetch(c.second)) << c.move;
    other.MustExec("DELETE FROM " + t + " WHERE id = " + std::to_string(c.gone));
    EXPECT_EQ(c.before, Fetch(SQL_FETCH_RELATIVE, 0)) << c.move;
    const auto at = std::find(c.before.begin(), c.before.end(), c.gone) - c.before.begin();
    EXPECT_EQ(SQL_ROW_DELETED, statuses_[at]) << c.move;
    EXPECT_EQ(c.after, Fetch(c.move)) << c.move;
    EXPECT_EQ(std::vector<uint16_t>(3, SQL_ROW_SUCCESS), Statuses()) << c.move;
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, c.row, SQL_POSITION, SQL_LOCK_NO_CHANGE))
        << Diag(SQL_HANDLE_STMT, stmt_);
    SQLCHAR name[64] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, nullptr));
    SQLHSTMT u = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &u));
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(u, Text("UPDATE " + t + " SET v = 'here' WHERE CURRENT OF " +
                                                 (const char*)name),
                                         SQL_NTS))
        << Diag(SQL_HANDLE_STMT, u);
    SQLFreeHandle(SQL_HANDLE_STMT, u);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    EXPECT_EQ(std::vector<int>{c.after[c.row - 1]},
              ForwardIds("SELECT id FROM " + t + " WHERE v = 'here'"))
        << c.move;
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyDynamicDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
