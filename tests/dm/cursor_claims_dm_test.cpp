// What SQLGetInfo claims of each cursor kind holds: every fetch orientation,
// concurrency, SQLSetPos and SQLBulkOperations operation its attributes
// name, and the positioned statements, work on a keyed table, on every
// backend and in both builds, for static, keyset-driven, mixed and dynamic
// cursors. Applications (and the Driver Manager's own cursor library)
// choose their cursors from these answers.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class AnyCursorClaimsDm : public qmr_test::DmTest {
 protected:
  void TearDown() override {
    if (!table_.empty()) Exec("DROP TABLE " + table_);
    qmr_test::DmTest::TearDown();
  }
  SQLUINTEGER Info(SQLUSMALLINT type) {
    SQLUINTEGER v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc_, type, &v, sizeof v, nullptr)) << type;
    return v;
  }
  void Fill() {
    MustExec("DELETE FROM " + table_);
    for (int i = 1; i <= 10; ++i)
      MustExec("INSERT INTO " + table_ + " VALUES (" + std::to_string(i) + ", 'r')");
  }
  // A fresh statement of the cursor kind over the ten rows, prepared and
  // executed; false when the driver did not keep the type or concurrency.
  bool Open(SQLULEN type, SQLULEN keyset, SQLULEN concurrency, bool bookmarks) {
    for (int fresh = 0; fresh < 2; ++fresh) {
      SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
      if (fresh == 0) Fill();
    }
    SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0);
    Rows(3);
    if (bookmarks) {
      SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0);
      EXPECT_EQ(SQL_SUCCESS,
                SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, marks_, sizeof marks_[0], nullptr));
    }
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids_, 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_CHAR, v_, sizeof v_[0], vlen_));
    const SQLRETURN rc =
        SQLPrepare(stmt_, Text("SELECT id, v FROM " + table_ + " ORDER BY id"), SQL_NTS);
    EXPECT_EQ(SQL_SUCCESS, rc) << type << "/" << concurrency << Diag(SQL_HANDLE_STMT, stmt_);
    SQLULEN gotType = 0, gotConcurrency = 0;
    SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &gotType, 0, nullptr);
    SQLGetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, &gotConcurrency, 0, nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    return rc == SQL_SUCCESS && gotType == type && gotConcurrency == concurrency;
  }
  void Rows(SQLULEN n) { SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)n, 0); }
  // The first id of the rowset an orientation reaches; 0 for no rowset.
  int FirstId(SQLSMALLINT orientation, SQLLEN offset) {
    const SQLRETURN rc = SQLFetchScroll(stmt_, orientation, offset);
    EXPECT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        << orientation << " " << offset << Diag(SQL_HANDLE_STMT, stmt_);
    return SQL_SUCCEEDED(rc) ? ids_[0] : rc == SQL_NO_DATA ? 0 : -1;
  }
  SQLRETURN Bulk(SQLUSMALLINT op, SQLBIGINT mark) {
    Rows(1);
    marks_[0] = mark;
    const SQLRETURN rc = SQLBulkOperations(stmt_, op);
    Rows(3);
    return rc;
  }
  void SetValue(int row, const char* v) {
    std::snprintf((char*)v_[row], sizeof v_[row], "%s", v);
    vlen_[row] = SQL_NTS;
  }
  // The table's rows in order ("id,v;..."), read by a forward-only statement.
  std::string Contents() {
    std::string out;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    EXPECT_EQ(SQL_SUCCESS, Exec("SELECT id, v FROM " + table_ + " ORDER BY id"));
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_))
      out += (out.empty() ? "" : ";") + row[0].text + "," + row[1].text;
    return out;
  }
  std::string table_;
  SQLINTEGER ids_[3] = {};
  SQLCHAR v_[3][11] = {};
  SQLLEN vlen_[3] = {};
  SQLBIGINT marks_[3] = {};
};

TEST_P(AnyCursorClaimsDm, WhatEachCursorKindClaimsWorks) {
  table_ = "claims_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + table_);
  MustExec("CREATE TABLE " + table_ + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10))");

  const SQLUINTEGER scroll = Info(SQL_SCROLL_OPTIONS), posOps = Info(SQL_POS_OPERATIONS);
  const SQLUINTEGER positioned = Info(SQL_POSITIONED_STATEMENTS);
  EXPECT_EQ(SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD,
            posOps);
  struct Kind {
    SQLULEN type, keyset;
    SQLUINTEGER option;
    SQLUSMALLINT attrs1, attrs2;
  } kinds[] = {
      {SQL_CURSOR_STATIC, 0, SQL_SO_STATIC, SQL_STATIC_CURSOR_ATTRIBUTES1,
       SQL_STATIC_CURSOR_ATTRIBUTES2},
      {SQL_CURSOR_KEYSET_DRIVEN, 0, SQL_SO_KEYSET_DRIVEN, SQL_KEYSET_CURSOR_ATTRIBUTES1,
       SQL_KEYSET_CURSOR_ATTRIBUTES2},
      // A mixed cursor is a keyset-driven one with a keyset smaller than
      // its result: the keyset attributes are its claims too.
      {SQL_CURSOR_KEYSET_DRIVEN, 4, SQL_SO_MIXED, SQL_KEYSET_CURSOR_ATTRIBUTES1,
       SQL_KEYSET_CURSOR_ATTRIBUTES2},
      {SQL_CURSOR_DYNAMIC, 0, SQL_SO_DYNAMIC, SQL_DYNAMIC_CURSOR_ATTRIBUTES1,
       SQL_DYNAMIC_CURSOR_ATTRIBUTES2},
  };
  const struct {
    SQLUINTEGER bit;
    SQLULEN concurrency;
  } concurrencies[] = {{SQL_CA2_READ_ONLY_CONCURRENCY, SQL_CONCUR_READ_ONLY},
                       {SQL_CA2_LOCK_CONCURRENCY, SQL_CONCUR_LOCK},
                       {SQL_CA2_OPT_VALUES_CONCURRENCY, SQL_CONCUR_VALUES}};
  for (const Kind& k : kinds) {
    ASSERT_NE(0u, scroll & k.option) << k.option;
    const SQLUINTEGER a1 = Info(k.attrs1), a2 = Info(k.attrs2);
    const auto has = [a1](SQLUINTEGER bit) { return (a1 & bit) != 0; };
    for (const auto& c : concurrencies) {
      if ((a2 & c.bit) == 0) continue;
      const std::string what = std::to_string(k.option) + "/" + std::to_string(c.concurrency);
      ASSERT_TRUE(Open(k.type, k.keyset, c.concurrency, has(SQL_CA1_BOOKMARK))) << what;
      EXPECT_EQ(1, FirstId(SQL_FETCH_NEXT, 0)) << what;
      for (const auto& op :
           {std::pair<SQLUINTEGER, SQLUSMALLINT>{SQL_CA1_POS_POSITION, SQL_POSITION},
            {SQL_CA1_POS_REFRESH, SQL_REFRESH}}) {
        if (!has(op.first)) continue;
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 2, op.second, SQL_LOCK_NO_CHANGE))
            << what << Diag(SQL_HANDLE_STMT, stmt_);
        EXPECT_EQ(2, ids_[1]) << what;
      }
      // Each move: the first id it reaches (0: none) when its bit is claimed.
      const struct {
        SQLUINTEGER bit;
        SQLSMALLINT orientation;
        SQLLEN offset;
        int first;
      } moves[] = {{SQL_CA1_RELATIVE, SQL_FETCH_LAST, 0, 8},
                   {SQL_CA1_RELATIVE, SQL_FETCH_PRIOR, 0, 5},
                   {SQL_CA1_RELATIVE, SQL_FETCH_RELATIVE, 2, 7},
                   {SQL_CA1_RELATIVE, SQL_FETCH_RELATIVE, 4, 0},
                   {SQL_CA1_RELATIVE, SQL_FETCH_RELATIVE, -2, 9},
                   {SQL_CA1_RELATIVE, SQL_FETCH_RELATIVE, -8, 1},
                   {SQL_CA1_RELATIVE, SQL_FETCH_PRIOR, 0, 0},
                   {SQL_CA1_RELATIVE, SQL_FETCH_RELATIVE, 3, 3},
                   {SQL_CA1_RELATIVE, SQL_FETCH_FIRST, 0, 1},
                   {SQL_CA1_ABSOLUTE, SQL_FETCH_ABSOLUTE, 6, 6},
                   {SQL_CA1_ABSOLUTE, SQL_FETCH_ABSOLUTE, -2, 9},
                   {SQL_CA1_ABSOLUTE, SQL_FETCH_ABSOLUTE, 11, 0},
                   {SQL_CA1_ABSOLUTE, SQL_FETCH_ABSOLUTE, 4, 4}};
      for (const auto& m : moves) {
        if (has(m.bit)) {
          EXPECT_EQ(m.first, FirstId(m.orientation, m.offset))
              << what << " " << m.orientation << " " << m.offset;
        }
      }
      const SQLBIGINT mark4 = marks_[0], mark5 = marks_[1];
      if (has(SQL_CA1_BOOKMARK)) {
        EXPECT_EQ(1, FirstId(SQL_FETCH_FIRST, 0)) << what;
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, (SQLPOINTER)&mark4, 0));
        EXPECT_EQ(5, FirstId(SQL_FETCH_BOOKMARK, 1)) << what;
        EXPECT_EQ(4, FirstId(SQL_FETCH_BOOKMARK, 0)) << what;
      }
      if (has(SQL_CA1_BULK_FETCH_BY_BOOKMARK)) {
        EXPECT_EQ(1, FirstId(SQL_FETCH_FIRST, 0)) << what;
        EXPECT_EQ(SQL_SUCCESS, Bulk(SQL_FETCH_BY_BOOKMARK, mark5))
            << what << Diag(SQL_HANDLE_STMT, stmt_);
        EXPECT_EQ(5, ids_[0]) << what;
      }
      if (c.concurrency == SQL_CONCUR_READ_ONLY) continue;
      // Changes, each where its bit is claimed; the table shows which came.
      std::string expect;
      const bool bulk =
          has(SQL_CA1_BULK_UPDATE_BY_BOOKMARK) && has(SQL_CA1_BULK_DELETE_BY_BOOKMARK);
      if (bulk) {
        EXPECT_EQ(4, FirstId(SQL_FETCH_ABSOLUTE, 4)) << what;
        SetValue(0, "b");
        EXPECT_EQ(SQL_SUCCESS, Bulk(SQL_UPDATE_BY_BOOKMARK, mark4))
            << what << Diag(SQL_HANDLE_STMT, stmt_);
        EXPECT_EQ(SQL_SUCCESS, Bulk(SQL_DELETE_BY_BOOKMARK, mark5))
            << what << Diag(SQL_HANDLE_STMT, stmt_);
      }
      EXPECT_EQ(1, FirstId(SQL_FETCH_FIRST, 0)) << what;
      ASSERT_TRUE(has(SQL_CA1_POS_UPDATE) && has(SQL_CA1_POS_DELETE)) << what;
      SetValue(1, "u");
      EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
          << what << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE))
          << what << Diag(SQL_HANDLE_STMT, stmt_);
      if ((positioned & SQL_PS_POSITIONED_UPDATE) != 0) {
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
        SQLCHAR name[64] = {0};
        ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, nullptr));
        SQLHSTMT u = nullptr;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &u));
        EXPECT_EQ(
            SQL_SUCCESS,
            SQLExecDirect(
                u, Text("UPDATE " + table_ + " SET v = 'c' WHERE CURRENT OF " + (const char*)name),
                SQL_NTS))
            << what << Diag(SQL_HANDLE_STMT, u);
        SQLFreeHandle(SQL_HANDLE_STMT, u);
      }
      if (has(SQL_CA1_BULK_ADD)) {
        for (int i = 0; i < 3; ++i) {
          ids_[i] = 101 + i;
          SetValue(i, "a");
        }
        EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt_, SQL_ADD))
            << what << Diag(SQL_HANDLE_STMT, stmt_);
      }
      SQLCloseCursor(stmt_);
      for (int id = 1; id <= 10; ++id) {
        const char* v = id == 1 && (positioned & SQL_PS_POSITIONED_UPDATE) != 0 ? "c"
                        : id == 2                                               ? "u"
                        : id == 4 && bulk                                       ? "b"
                                                                                : "r";
        if (id != 3 && !(id == 5 && bulk)) expect += std::to_string(id) + "," + v + ";";
      }
      if (has(SQL_CA1_BULK_ADD)) expect += "101,a;102,a;103,a;";
      expect.pop_back();
      EXPECT_EQ(expect, Contents()) << what;
    }
  }
  EXPECT_NE(0u, positioned & SQL_PS_POSITIONED_DELETE);
}

// What a cursor sees of its own changes when it comes back, against its
// ATTRIBUTES2 answer, claimed or not: the row it added, the row it deleted
// gone without a hole, its update. (A mixed cursor is keyset-driven in its
// key block and dynamic beyond it: neither answer fits it.)
TEST_P(AnyCursorClaimsDm, SensitivityBitsSayWhatTheCursorSeesOfItsOwnChanges) {
  table_ = "sense_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + table_);
  MustExec("CREATE TABLE " + table_ + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10))");
  for (const auto& k :
       {std::pair<SQLULEN, SQLUSMALLINT>{SQL_CURSOR_STATIC, SQL_STATIC_CURSOR_ATTRIBUTES2},
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_KEYSET_CURSOR_ATTRIBUTES2},
        {SQL_CURSOR_DYNAMIC, SQL_DYNAMIC_CURSOR_ATTRIBUTES2}}) {
    const SQLUINTEGER a2 = Info(k.second);
    ASSERT_TRUE(Open(k.first, 0, SQL_CONCUR_VALUES, false)) << k.first;
    SQLUSMALLINT status[3] = {};
    SQLULEN fetched = 0;
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    // Rows 2, 3, 4: 2 updated, 3 deleted, 101 added from the third's buffers.
    ASSERT_EQ(2, FirstId(SQL_FETCH_ABSOLUTE, 2)) << k.first;
    SetValue(0, "u");
    ids_[2] = 101;
    SetValue(2, "a");
    for (SQLUSMALLINT op : {SQL_UPDATE, SQL_DELETE, SQL_ADD})
      EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt_,
                                       op == SQL_UPDATE   ? 1
                                       : op == SQL_DELETE ? 2
                                                          : 3,
                                       op, SQL_LOCK_NO_CHANGE))
          << k.first << Diag(SQL_HANDLE_STMT, stmt_);
    std::string seen = ";";  // "id,v;" a row, "-;" a hole
    for (SQLSMALLINT o = SQL_FETCH_FIRST; SQL_SUCCEEDED(SQLFetchScroll(stmt_, o, 0));
         o = SQL_FETCH_NEXT)
      for (SQLULEN r = 0; r < fetched; ++r)
        seen += status[r] == SQL_ROW_DELETED ? std::string("-;")
                                             : std::to_string(ids_[r]) + "," + (char*)v_[r] + ";";
    SQLCloseCursor(stmt_);
    const bool removed =
        seen.find(";3,") == std::string::npos && seen.find('-') == std::string::npos;
    EXPECT_EQ((a2 & SQL_CA2_SENSITIVITY_ADDITIONS) != 0, seen.find(";101,a;") != std::string::npos)
        << k.first << seen;
    EXPECT_EQ((a2 & SQL_CA2_SENSITIVITY_DELETIONS) != 0, removed) << k.first << seen;
    EXPECT_EQ((a2 & SQL_CA2_SENSITIVITY_UPDATES) != 0, seen.find(";2,u;") != std::string::npos)
        << k.first << seen;
    if ((a2 & SQL_CA2_MAX_ROWS_SELECT) == 0) continue;
    SQLSetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS, (SQLPOINTER)4, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << k.first << Diag(SQL_HANDLE_STMT, stmt_);
    SQLULEN n = 0;
    for (SQLSMALLINT o = SQL_FETCH_FIRST; SQL_SUCCEEDED(SQLFetchScroll(stmt_, o, 0));
         o = SQL_FETCH_NEXT)
      n += fetched;
    EXPECT_EQ(4u, n) << k.first;
  }
}

// A forward-only cursor claims only what it is shown to do here, and named
// with SQLSetCursorName takes positioned UPDATE and DELETE on the row it
// stands on, by its key, where its concurrency and its SELECT allow.
TEST_P(AnyCursorClaimsDm, ForwardOnlyClaimsHoldAndItsNameTakesPositionedChanges) {
  table_ = "fwd_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + table_);
  MustExec("CREATE TABLE " + table_ + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10))");
  const SQLUINTEGER a2 = Info(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2);
  EXPECT_EQ(0u, (Info(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1) & ~SQL_CA1_NEXT) |
                    (a2 & ~(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY |
                            SQL_CA2_MAX_ROWS_SELECT)))
      << "a claim this test does not exercise";
  // FOR UPDATE OF names columns on HSQLDB, tables on PostgreSQL.
  const std::string of = qmr_test::DbOf(GetParam()) == qmr_test::Db::Pg ? "%t" : "v";
  const struct {
    const char* select;  // "%t" the table
    SQLULEN concurrency;
    const char* state;        // of the positioned statements; "" when they run
    std::string before = "";  // run on the handle before it is named
  } rows[] = {{"SELECT id, v FROM %t ORDER BY id", SQL_CONCUR_LOCK, ""},
              {"SELECT v, id FROM %t WHERE id > 0 ORDER BY id", SQL_CONCUR_LOCK, ""},
              {"SELECT id, v FROM %t ORDER BY id", SQL_CONCUR_READ_ONLY, "24000"},
              {"SELECT v FROM %t ORDER BY id", SQL_CONCUR_LOCK, "IM940"},
              {"SELECT a.id, a.v FROM %t a, %t b WHERE a.id = b.id", SQL_CONCUR_LOCK, "IM912"},
              {"SELECT id, v FROM %t ORDER BY id", SQL_CONCUR_LOCK, "", "UPDATE %t SET v = 'r'"},
              {"SELECT id, v FROM %t ORDER BY id FOR UPDATE", SQL_CONCUR_LOCK, ""},
              {"SELECT id, v FROM %t ORDER BY id FOR UPDATE OF ", SQL_CONCUR_LOCK, "",
               "UPDATE %t SET v = 'r'"}};
  for (const auto& row : rows) {
    std::string select = row.select, before = row.before;
    if (select.back() == ' ') select += of;
    // Derby takes FOR UPDATE only without ORDER BY; it reads a fresh table
    // in the order it was filled.
    if (qmr_test::DbOf(GetParam()) == qmr_test::Db::Derby &&
        select.find("FOR UPDATE") != std::string::npos)
      select.replace(select.find(" ORDER BY id"), 12, "");
    for (std::string* sql : {&select, &before})
      for (size_t at; (at = sql->find("%t")) != std::string::npos;) sql->replace(at, 2, table_);
    ASSERT_TRUE(Open(SQL_CURSOR_FORWARD_ONLY, 0, row.concurrency, false)) << select;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
    if (!before.empty()) MustExec(before);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    Rows(1);
    const SQLULEN most = (a2 & SQL_CA2_MAX_ROWS_SELECT) != 0 ? 6 : 10;
    SQLSetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS, (SQLPOINTER)most, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt_, Text("fwd_cursor"), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, Text(select), SQL_NTS)) << select;
    SQLHSTMT u = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &u));
    SQLULEN fetched = 0;  // row 2 updated, row 3 deleted, as the cursor stands on each
    for (const std::string& head : {"UPDATE " + table_ + " SET v = 'p'", "DELETE FROM " + table_}) {
      while (fetched < (head[0] == 'U' ? 2u : 3u) && SQL_SUCCEEDED(SQLFetch(stmt_))) ++fetched;
      const SQLRETURN rc = SQLExecDirect(u, Text(head + " WHERE CURRENT OF fwd_cursor"), SQL_NTS);
      EXPECT_EQ(row.state, SQL_SUCCEEDED(rc) ? std::string() : qmr_test::State(SQL_HANDLE_STMT, u))
          << select << " " << head << Diag(SQL_HANDLE_STMT, u);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, u);
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) ++fetched;
    EXPECT_EQ(most, fetched) << select;
    EXPECT_EQ(*row.state == '\0' ? "1,r;2,p;4,r;5,r;6,r;7,r;8,r;9,r;10,r"
                                 : "1,r;2,r;3,r;4,r;5,r;6,r;7,r;8,r;9,r;10,r",
              Contents())
        << select;
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyCursorClaimsDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         Name);

}  // namespace
