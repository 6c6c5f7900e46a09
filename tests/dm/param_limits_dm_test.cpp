// Parameter bindings the driver cannot take: a length beyond what a value
// may hold fails the execute with HY090 (it is never allocated), and an SQL
// type ODBC does not define is refused at binding with HY004.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

class ParamLimitsDm : public qmr_test::DmTest {};

TEST_P(ParamLimitsDm, ALengthBeyondAValueIsHY090) {
  const struct {
    const char* what;
    SQLSMALLINT cType;
    SQLLEN length;
    bool atExec;  // the length goes to SQLPutData instead
  } rows[] = {
      {"text, 2^62", SQL_C_CHAR, SQLLEN(1) << 62, false},
      {"text, 2^31", SQL_C_CHAR, SQLLEN(1) << 31, false},
      {"bytes, 2^62", SQL_C_BINARY, SQLLEN(1) << 62, false},
      {"text at execution, 2^62", SQL_C_CHAR, SQLLEN(1) << 62, true},
  };
  // Ill-formed UTF-8: the value would be repaired before it is sent.
  static char text[] = "ab\xff";
  for (const auto& r : rows) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS,
              SQLPrepare(stmt_, (SQLCHAR*)"SELECT CAST(? AS VARCHAR(20)) FROM (VALUES (1)) AS t(x)",
                         SQL_NTS))
        << r.what << ": " << qmr_test::Diag(SQL_HANDLE_STMT, stmt_);
    SQLLEN ind = r.atExec ? SQL_DATA_AT_EXEC : r.length;
    const SQLSMALLINT sqlType = r.cType == SQL_C_CHAR ? SQL_VARCHAR : SQL_VARBINARY;
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, r.cType, sqlType, 10, 0, text, 0, &ind))
        << r.what;
    SQLRETURN rc = SQLExecute(stmt_);
    if (r.atExec) {
      ASSERT_EQ(SQL_NEED_DATA, rc) << r.what << ": " << qmr_test::Diag(SQL_HANDLE_STMT, stmt_);
      SQLPOINTER token = nullptr;
      ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt_, &token)) << r.what;
      rc = SQLPutData(stmt_, text, r.length);
    }
    EXPECT_EQ(SQL_ERROR, rc) << r.what;
    EXPECT_EQ("HY090", qmr_test::State(SQL_HANDLE_STMT, stmt_)) << r.what;
    if (r.atExec) SQLCancel(stmt_);
  }
}

TEST_P(ParamLimitsDm, AnSqlTypeOdbcDoesNotDefineIsHY004) {
  SQLINTEGER v = 1;
  SQLLEN ind = 0;
  for (const SQLSMALLINT type : {SQLSMALLINT(9999), SQLSMALLINT(0), SQLSMALLINT(-12)}) {
    EXPECT_EQ(SQL_ERROR,
              SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, type, 0, 0, &v, 0, &ind))
        << type;
    EXPECT_EQ("HY004", qmr_test::State(SQL_HANDLE_STMT, stmt_)) << type;
  }
  // Every ODBC type still binds.
  EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &v, 0, &ind));
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, ParamLimitsDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
