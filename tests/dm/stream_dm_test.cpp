// Results that stream: with auto-commit off, PostgreSQL's JDBC driver reads a
// forward-only result a fetch block at a time (the fetch size the driver
// gives it), so a row that fails is met by the fetch that reads it, after
// the rows before it were delivered, not by the execute.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

class StreamedResult : public qmr_test::DmTest {};

TEST_P(StreamedResult, AFailingRowIsReportedByTheFetchThatMeetsIt) {
  if (GetParam().rfind("QmrPg", 0) != 0)
    GTEST_SKIP() << "only a server computes rows as they are fetched";
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
  // Row 500 divides by zero; the server computes it only when asked for it.
  ASSERT_TRUE(
      SQL_SUCCEEDED(Exec("SELECT n, 100 / (n - 500) FROM generate_series(1, 1000) AS t(n)")));
  SQLINTEGER n = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &n, 0, &ind));
  SQLINTEGER fetched = 0;
  SQLRETURN rc;
  while ((rc = SQLFetch(stmt_)) == SQL_SUCCESS) {
    ++fetched;
    ASSERT_EQ(n, fetched);
  }
  ASSERT_EQ(SQL_ERROR, rc);
  EXPECT_GE(fetched, 60);  // the first block at least came whole
  EXPECT_LT(fetched, 500);
  SQLCHAR state[6] = "", msg[1024] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, msg, sizeof msg, &len));
  EXPECT_EQ(std::string("22012"), reinterpret_cast<char*>(state)) << msg;
  SQLFreeStmt(stmt_, SQL_CLOSE);
  EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK)));
}

INSTANTIATE_TEST_SUITE_P(Backend, StreamedResult, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

}  // namespace
