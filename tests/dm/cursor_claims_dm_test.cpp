// What SQLGetInfo claims of each cursor kind holds: every fetch orientation
// and every concurrency its attributes name works on a keyed table, on
// every backend and in both builds. Applications (and the Driver Manager's
// own cursor library) choose their cursors from these answers.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
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
  // A fresh statement of the cursor kind, prepared and executed; false when
  // the driver did not keep the type or concurrency asked for.
  bool Open(SQLULEN type, SQLULEN keyset, SQLULEN concurrency, bool bookmarks) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
    if (bookmarks) {
      SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0);
      EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, marks_, sizeof marks_[0],
                                        nullptr));
    }
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids_, 0, nullptr));
    const SQLRETURN rc =
        SQLPrepare(stmt_, Text("SELECT id, v FROM " + table_ + " ORDER BY id"), SQL_NTS);
    EXPECT_EQ(SQL_SUCCESS, rc) << type << "/" << concurrency << Diag(SQL_HANDLE_STMT, stmt_);
    SQLULEN gotType = 0, gotConcurrency = 0;
    SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &gotType, 0, nullptr);
    SQLGetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, &gotConcurrency, 0, nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    return rc == SQL_SUCCESS && gotType == type && gotConcurrency == concurrency;
  }
  // The first id of the rowset an orientation reaches.
  int FirstId(SQLSMALLINT orientation, SQLLEN offset) {
    const SQLRETURN rc = SQLFetchScroll(stmt_, orientation, offset);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << orientation << Diag(SQL_HANDLE_STMT, stmt_);
    return SQL_SUCCEEDED(rc) ? ids_[0] : -1;
  }
  // The table's ids in order, read by a forward-only statement.
  std::string Ids() {
    std::string out;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    EXPECT_EQ(SQL_SUCCESS, Exec("SELECT id FROM " + table_ + " ORDER BY id"));
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_))
      out += (out.empty() ? "" : ",") + row[0].text;
    return out;
  }
  std::string table_;
  SQLINTEGER ids_[3] = {};
  SQLBIGINT marks_[3] = {};
};

TEST_P(AnyCursorClaimsDm, WhatEachCursorKindClaimsWorks) {
  table_ = "claims_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + table_);
  MustExec("CREATE TABLE " + table_ + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10))");
  for (int i = 1; i <= 10; ++i)
    MustExec("INSERT INTO " + table_ + " VALUES (" + std::to_string(i) + ", 'r')");

  const SQLUINTEGER scroll = Info(SQL_SCROLL_OPTIONS);
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
      // its result: it answers to the same attributes but, having no row
      // numbers, refuses absolute and bookmark positions (below).
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
    const std::string what = std::to_string(k.type) + "/" + std::to_string(k.keyset);
    ASSERT_NE(0u, scroll & k.option) << what;
    const SQLUINTEGER a1 = Info(k.attrs1), a2 = Info(k.attrs2);
    for (const auto& c : concurrencies) {
      if ((a2 & c.bit) == 0) continue;
      ASSERT_TRUE(Open(k.type, k.keyset, c.concurrency, false)) << what << "/" << c.concurrency;
      EXPECT_EQ(1, FirstId(SQL_FETCH_NEXT, 0)) << what;
      for (const auto& op : {std::pair<SQLUINTEGER, SQLUSMALLINT>{SQL_CA1_POS_POSITION, SQL_POSITION},
                             {SQL_CA1_POS_REFRESH, SQL_REFRESH}}) {
        if ((a1 & op.first) == 0) continue;
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 2, op.second, SQL_LOCK_NO_CHANGE))
            << what << Diag(SQL_HANDLE_STMT, stmt_);
        EXPECT_EQ(2, ids_[1]) << what;
      }
      if ((a1 & SQL_CA1_RELATIVE) != 0) {
        EXPECT_EQ(8, FirstId(SQL_FETCH_LAST, 0)) << what;
        EXPECT_EQ(5, FirstId(SQL_FETCH_PRIOR, 0)) << what;
        EXPECT_EQ(7, FirstId(SQL_FETCH_RELATIVE, 2)) << what;
        EXPECT_EQ(1, FirstId(SQL_FETCH_FIRST, 0)) << what;
      }
      if (k.keyset != 0) {
        EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, 6)) << what;
        EXPECT_EQ("HY106", qmr_test::State(SQL_HANDLE_STMT, stmt_)) << what;
      } else if ((a1 & SQL_CA1_ABSOLUTE) != 0) {
        EXPECT_EQ(6, FirstId(SQL_FETCH_ABSOLUTE, 6)) << what;
        EXPECT_EQ(9, FirstId(SQL_FETCH_ABSOLUTE, -2)) << what;
      }
      SQLCloseCursor(stmt_);
    }
    if ((a1 & SQL_CA1_BOOKMARK) == 0 || k.keyset != 0) continue;
    ASSERT_TRUE(Open(k.type, k.keyset, SQL_CONCUR_READ_ONLY, true)) << what;
    EXPECT_EQ(4, FirstId(SQL_FETCH_ABSOLUTE, 4)) << what;
    const SQLBIGINT mark = marks_[0];
    EXPECT_EQ(1, FirstId(SQL_FETCH_FIRST, 0)) << what;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, (SQLPOINTER)&mark, 0));
    EXPECT_EQ(5, FirstId(SQL_FETCH_BOOKMARK, 1)) << what;
    if ((a1 & SQL_CA1_BULK_FETCH_BY_BOOKMARK) != 0) {
      marks_[0] = mark;
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0));
      EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt_, SQL_FETCH_BY_BOOKMARK))
          << what << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(4, ids_[0]) << what;
    }
    SQLCloseCursor(stmt_);
  }
  // Bulk changes on a static cursor, which its attributes claim as well.
  ASSERT_NE(0u, Info(SQL_STATIC_CURSOR_ATTRIBUTES1) & SQL_CA1_BULK_ADD);
  ASSERT_TRUE(Open(SQL_CURSOR_STATIC, 0, SQL_CONCUR_VALUES, true));
  EXPECT_EQ(1, FirstId(SQL_FETCH_FIRST, 0));
  const SQLINTEGER added[3] = {101, 102, 103};
  std::copy(added, added + 3, ids_);
  EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt_, SQL_ADD)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(4, FirstId(SQL_FETCH_ABSOLUTE, 4));
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0));
  EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt_, SQL_DELETE_BY_BOOKMARK))
      << Diag(SQL_HANDLE_STMT, stmt_);
  SQLCloseCursor(stmt_);
  EXPECT_EQ("1,2,3,5,6,7,8,9,10,101,102,103", Ids());
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyCursorClaimsDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         Name);

}  // namespace
