// Statement attributes, row counts, native SQL and cursor names through the
// Driver Manager, on HSQLDB in memory, with both builds of the driver.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>

#include "tests/support/dm_session.h"

namespace {

SQLCHAR* Text(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

using qmr_test::Diag;

class StmtDm : public ::testing::TestWithParam<const char*>, public qmr_test::DmSession {
 protected:
  void SetUp() override {
    ASSERT_TRUE(NewEnv());
    ASSERT_TRUE(ConnectString(std::string("DSN=") + GetParam() + ";"));
  }
  void TearDown() override { Close(); }
  SQLLEN Count() {
    SQLLEN n = -99;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &n)) << Diag(SQL_HANDLE_STMT, stmt_);
    return n;
  }
};

TEST_P(StmtDm, RowCountAfterInsertUpdateDelete) {
  Exec("DROP TABLE rc_t");
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("CREATE TABLE rc_t (n INT)"))) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("INSERT INTO rc_t VALUES (1), (2), (3)")))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(3, Count());
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("UPDATE rc_t SET n = n + 10 WHERE n > 1")));
  EXPECT_EQ(2, Count());
  ASSERT_EQ(SQL_NO_DATA, Exec("DELETE FROM rc_t WHERE n = 99"));  // ODBC 3: no row changed
  EXPECT_EQ(0, Count());
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("DELETE FROM rc_t")));
  EXPECT_EQ(3, Count());
  // A query has no count of affected rows.
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT n FROM rc_t")));
  EXPECT_EQ(-1, Count());
}

TEST_P(StmtDm, QueryTimeoutSetBeforeExecutingHolds) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                                        reinterpret_cast<SQLPOINTER>(uintptr_t{25}), 0))
      << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT 1 FROM (VALUES(0))"))) << Diag(SQL_HANDLE_STMT, stmt_);
  SQLULEN v = ~SQLULEN{0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT, &v, 0, nullptr));
  EXPECT_EQ(25u, v);
  // A row limit the agent keeps reads back whole, also after the execute.
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS,
                                        reinterpret_cast<SQLPOINTER>(uintptr_t{2}), 0));
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT n FROM (VALUES(1),(2),(3)) AS t(n)")));
  v = ~SQLULEN{0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_MAX_ROWS, &v, 0, nullptr));
  EXPECT_EQ(2u, v);
}

TEST_P(StmtDm, NativeSqlResolvesEscapesAndCutsShortBuffers) {
  const char* sql = "SELECT {fn UCASE('a')} FROM (VALUES(0))";
  SQLCHAR out[256];
  SQLINTEGER len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNativeSql(dbc_, Text(sql), SQL_NTS, out, sizeof out, &len))
      << Diag(SQL_HANDLE_DBC, dbc_);
  const std::string whole = reinterpret_cast<char*>(out);
  EXPECT_EQ(std::string::npos, whole.find("{fn")) << whole;
  EXPECT_EQ(static_cast<SQLINTEGER>(whole.size()), len);
  SQLCHAR small[10];
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLNativeSql(dbc_, Text(sql), SQL_NTS, small, sizeof small, &len));
  EXPECT_EQ(whole.substr(0, 9), reinterpret_cast<char*>(small));
  EXPECT_EQ(static_cast<SQLINTEGER>(whole.size()), len);
  EXPECT_EQ(0u, Diag(SQL_HANDLE_DBC, dbc_).rfind("01004", 0)) << Diag(SQL_HANDLE_DBC, dbc_);
}

TEST_P(StmtDm, CursorNameSetBeforeExecutingIsTheResultsName) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt_, Text("MYCUR"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT 1 FROM (VALUES(0))"))) << Diag(SQL_HANDLE_STMT, stmt_);
  SQLCHAR name[32] = "";
  SQLSMALLINT len = 0;
  const SQLRETURN rc = SQLGetCursorName(stmt_, name, sizeof name, &len);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(reinterpret_cast<char*>(name))), len);
  SQLCHAR tiny[3];
  SQLSMALLINT tinyLen = 0;
  if (len >= 3) {
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorName(stmt_, tiny, sizeof tiny, &tinyLen));
    EXPECT_EQ(len, tinyLen);
  }
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, StmtDm, ::testing::Values("QmrHsqlU", "QmrHsqlA"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
