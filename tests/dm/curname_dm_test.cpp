// Cursor names through the Driver Manager on every backend and both builds:
// a made name from allocation on, whatever the cursor, and the names
// SQLSetCursorName refuses.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::State;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class AnyCursorNameDm : public qmr_test::DmTest {
 protected:
  std::string T() const { return "cn_" + qmr_test::Lower(GetParam()); }
  void TearDown() override {
    if (other_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, other_);
    Exec("DROP TABLE " + T());
    qmr_test::DmTest::TearDown();
  }
  // The name and its length as answered, "<rc>" for anything but success.
  std::string NameOf(SQLHSTMT h, SQLSMALLINT* length = nullptr) {
    SQLCHAR name[256] = "";
    SQLSMALLINT len = -1;
    const SQLRETURN rc = SQLGetCursorName(h, name, sizeof name, &len);
    if (rc != SQL_SUCCESS) return "<" + std::to_string(rc) + "> " + Diag(SQL_HANDLE_STMT, h);
    if (length != nullptr) *length = len;
    return (char*)name;
  }
  SQLHSTMT other_ = nullptr;
};

// A statement has a made name from allocation to the end, under every
// cursor type; each statement its own.
TEST_P(AnyCursorNameDm, EveryStatementIsNamedFromAllocation) {
  MustExec("CREATE TABLE " + T() + " (n INTEGER NOT NULL PRIMARY KEY)");
  MustExec("INSERT INTO " + T() + " VALUES (1)");
  for (SQLULEN type : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN}) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    SQLSMALLINT len = -1;
    const std::string made = NameOf(stmt_, &len);
    EXPECT_EQ(0u, made.rfind("SQL_CUR", 0)) << type << " " << made;
    EXPECT_EQ(static_cast<SQLSMALLINT>(made.size()), len) << type;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt_, Text("SELECT n FROM " + T()), SQL_NTS)));
    EXPECT_EQ(made, NameOf(stmt_)) << type;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(made, NameOf(stmt_)) << type;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    EXPECT_EQ(made, NameOf(stmt_)) << type;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    EXPECT_EQ(made, NameOf(stmt_)) << type;
    // Cut short: the full length, 01004.
    SQLCHAR tiny[4] = "";
    len = -1;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorName(stmt_, tiny, sizeof tiny, &len));
    EXPECT_EQ("01004", State(SQL_HANDLE_STMT, stmt_)) << type;
    EXPECT_EQ(made.substr(0, 3), (char*)tiny) << type;
    EXPECT_EQ(static_cast<SQLSMALLINT>(made.size()), len) << type;
  }
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other_));
  EXPECT_NE(NameOf(stmt_), NameOf(other_));
}

// The longest name the data source takes (SQLGetInfo) and no longer; no
// name that could be a made one; no name another statement of the
// connection holds.
TEST_P(AnyCursorNameDm, SetCursorNameRefusals) {
  SQLUSMALLINT most = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc_, SQL_MAX_CURSOR_NAME_LEN, &most, sizeof most, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other_));
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(other_, Text("QMR_TAKEN"), SQL_NTS));
  // 0 says the data source sets no limit: a long name then goes.
  const size_t longest = most > 0 ? most : 200;
  const struct {
    std::string name;
    SQLRETURN rc;
    const char* state;
  } rows[] = {
      {std::string(longest, 'c'), SQL_SUCCESS, ""},
      {std::string(most > 0 ? longest + 1 : 0, 'c'), SQL_ERROR, "34000"},
      {"SQL_CUR1", SQL_ERROR, "34000"},
      {"sqlcurA", SQL_ERROR, "34000"},
      {"SQL_CUR", SQL_ERROR, "34000"},
      {"SQL_CURSOR_OF_MINE", SQL_ERROR, "34000"},
      {"QMR_TAKEN", SQL_ERROR, "3C000"},
      {"qmr_taken", SQL_ERROR, "3C000"},
      {"QMR_MINE", SQL_SUCCESS, ""},
      {"QMR_MINE", SQL_SUCCESS, ""},
      {"SQL_CU", SQL_SUCCESS, ""},
  };
  for (const auto& r : rows) {
    if (r.name.empty()) continue;
    const std::string before = NameOf(stmt_);
    EXPECT_EQ(r.rc, SQLSetCursorName(stmt_, Text(r.name), SQL_NTS))
        << r.name.size() << " " << r.name.substr(0, 20) << Diag(SQL_HANDLE_STMT, stmt_);
    if (r.rc != SQL_SUCCESS) {
      EXPECT_EQ(r.state, State(SQL_HANDLE_STMT, stmt_)) << r.name.substr(0, 20);
      EXPECT_EQ(before, NameOf(stmt_)) << "a refused name changes nothing";
    } else {
      EXPECT_EQ(r.name, NameOf(stmt_));
    }
  }
  // A name given up is free again.
  SQLFreeHandle(SQL_HANDLE_STMT, other_);
  other_ = nullptr;
  EXPECT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt_, Text("QMR_TAKEN"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyCursorNameDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         Name);

}  // namespace
