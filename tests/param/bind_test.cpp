// Binding, the parameter-set size, SQLNumParams and SQLDescribeParam.
#include <sql.h>
#include <sqlext.h>

#include "param/param_fixture.h"

namespace qmrtest {
namespace {

using BindTest = ParamTest;

TEST_F(BindTest, NumbersTypesAndArguments) {
  SQLINTEGER v = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1024, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                          0, &v, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLBindParameter(stmt, 1025, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                        &v, 0, nullptr));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                        nullptr, 0, nullptr));
  EXPECT_EQ("HY009", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_INTERVAL_DAY, SQL_INTEGER,
                                        0, 0, &v, 0, nullptr));
  EXPECT_EQ("07006", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP,
                                        26, -1, &v, 4, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 10, -1,
                                          &v, 4, nullptr));
  // The bindings are the descriptor records.
  SQLHDESC apd = nullptr, ipd = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr));
  SQLSMALLINT count = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(apd, 0, SQL_DESC_COUNT, &count, 0, nullptr));
  EXPECT_EQ(1024, count);
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
  EXPECT_EQ(SQL_INTEGER, type);
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(apd, 1, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
  EXPECT_EQ(SQL_C_CHAR, type);
}

TEST_F(BindTest, SetParamRefusesNumericAndBindsInput) {
  SQL_NUMERIC_STRUCT n{};
  SQLLEN ind = 0;
  EXPECT_EQ(SQL_ERROR, SQLSetParam(stmt, 1, SQL_C_NUMERIC, SQL_NUMERIC, 10, 2, &n, &ind));
  EXPECT_EQ("07006", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_NUMERIC, 10,
                                          2, &n, 0, &ind));
  EXPECT_EQ(SQL_ERROR, SQLSetParam(stmt, 2, SQL_C_SLONG, SQL_INTEGER, 0, -1, &n, &ind));
  EXPECT_EQ("HY094", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(BindTest, ParamSetSize) {
  SQLULEN processed = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLParamOptions(stmt, 5, &processed));
  StmtHandle* s = Stmt(stmt);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(5u, s->apd->arraySize);
  EXPECT_EQ(&processed, reinterpret_cast<SQLULEN*>(s->ipd->rowsProcessed));
  EXPECT_EQ(SQL_ERROR, SQLParamOptions(stmt, 0, &processed));
  EXPECT_EQ("HY107", State(SQL_HANDLE_STMT, stmt));
  conn->cn_hasParamOp = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLParamOptions(stmt, 1, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLParamOptions(stmt, 2, nullptr));
  EXPECT_EQ("IM001", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(BindTest, NumParamsAndDescribeParam) {
  SQLSMALLINT n = -1;
  EXPECT_EQ(SQL_ERROR, SQLNumParams(stmt, &n));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
  script->markerTypes = {SQL_INTEGER, SQL_VARCHAR, SQL_DATE};
  // The fresh descriptions at the first SQLDescribeParam know fewer markers.
  script->refreshedTypes = {SQL_BIGINT};
  ASSERT_EQ(SQL_SUCCESS, Prepare("SELECT * FROM T WHERE A = ? AND B = ? AND C = ?", 3));
  ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt, &n));
  EXPECT_EQ(3, n);
  SQLSMALLINT type = 0, digits = -1, nullable = -1;
  SQLULEN size = 0;
  // Number 3 passes the first check, but the refreshed descriptions have one.
  EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 3, &type, &size, &digits, &nullable));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(2, script->describeCalls);
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable));
  EXPECT_EQ(SQL_BIGINT, type);
  EXPECT_EQ(255u, size);
  EXPECT_EQ(SQL_NULLABLE, nullable);
  // Asked once only.
  EXPECT_EQ(2, script->describeCalls);
  EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 0, &type, &size, &digits, &nullable));
}

}  // namespace
}  // namespace qmrtest
