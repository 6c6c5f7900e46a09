// Statement kinds past the first keyword (described before they run, their
// counts, read-only), SQL_NO_DATA for a searched change of no row, a SELECT
// array's failing set, and information answers. AnyBackend: all four sources.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::Diag;
using qmr_test::State;
SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }
enum : unsigned { kHsql = 1, kPg = 2, kH2 = 4, kDerby = 8, kAll = 15 };

class AnyKindsDm : public qmr_test::DmTest {
 protected:
  unsigned Bit() const { return 1u << static_cast<unsigned>(qmr_test::DbOf(GetParam())); }
  // %T: a table (a, b) of rows 1, 2, 3; %S: one of rows 1, 2; %P: a procedure's
  // rows; %M: a procedure that adds a row to %S.
  std::string Fill(std::string sql) {
    const std::string t = "sk_t_" + qmr_test::Lower(GetParam()), p = "sk_p" + t.substr(4),
                      m = "sk_m" + t.substr(4);
    if (Bit() == kHsql)
      for (const std::string& d : {p, m}) Exec("DROP PROCEDURE " + d);
    for (const std::string& d : {t, t + "s"}) Exec("DROP TABLE " + d);
    MustExec("CREATE TABLE " + t + " (a INTEGER, b VARCHAR(9))");
    MustExec("CREATE TABLE " + t + "s (a INTEGER)");
    MustExec("INSERT INTO " + t + " VALUES (1, 'x'), (2, 'x'), (3, 'x')");
    MustExec("INSERT INTO " + t + "s VALUES (1), (2)");
    if (Bit() == kHsql)
      MustExec("CREATE PROCEDURE " + p +
               "(IN k INTEGER) READS SQL DATA DYNAMIC RESULT SETS 1 "
               "BEGIN ATOMIC DECLARE c CURSOR WITH RETURN FOR SELECT a FROM " +
               t + "; OPEN c; END");
    if (Bit() == kPg)
      MustExec("CREATE OR REPLACE FUNCTION " + p + "(k INTEGER) RETURNS TABLE (a INTEGER) " +
               "LANGUAGE sql AS 'SELECT a FROM " + t + "'");
    if (Bit() == kHsql)
      MustExec("CREATE PROCEDURE " + m +
               "(IN k INTEGER) MODIFIES SQL DATA BEGIN ATOMIC INSERT INTO " + t +
               "s VALUES (k); END");
    SQLFreeStmt(stmt_, SQL_CLOSE);
    for (const auto& [m, by] :
         {std::pair<std::string, std::string>{"%S", t + "s"}, {"%T", t}, {"%P", p}, {"%M", m}})
      for (size_t at; (at = sql.find(m)) != std::string::npos;) sql.replace(at, 2, by);
    return sql;
  }
};

struct KindCase {
  unsigned dbs;
  const char* sql;
  SQLSMALLINT before, after;   // SQLNumResultCols after SQLPrepare, after SQLExecute
  std::vector<SQLLEN> counts;  // SQLRowCount of each result
  bool reads;                  // a read-only connection runs it
};
const KindCase kKinds[] = {
    {kHsql | kPg | kH2, "WITH c (a) AS (SELECT a FROM %T) SELECT a FROM c", 1, 1, {-1}, true},
    {kAll, "VALUES (1, 'v')", 2, 2, {-1}, true},
    {kPg | kH2, "TABLE %T", 2, 2, {-1}, true},
    {kPg, "SHOW search_path", 1, 1, {-1}, true},
    {kH2, "SHOW SCHEMAS", 1, 1, {-1}, true},
    {kPg | kH2, "EXPLAIN SELECT a FROM %T", 1, 1, {-1}, true},
    {kHsql, "EXPLAIN PLAN FOR SELECT a FROM %T", 1, 1, {-1}, true},
    // HSQLDB describes no call before it runs; a read-only connection runs a
    // call of a routine declared to read only.
    {kHsql, "CALL %P(2)", 0, 1, {-1}, true},
    {kHsql, "{call %P(2)}", 0, 1, {-1}, true},
    {kHsql, "CALL %P(ABS(2))", 0, 1, {-1}, false},  // an argument may call what changes data
    {kPg, "{call %P(2)}", 1, 1, {-1}, false},       // pgjdbc describes it; PostgreSQL: MODIFIES
    {kHsql, "CALL %M(5)", 0, 0, {0}, false},        // the count HSQLDB gives a call
    {kAll,
     "MERGE INTO %T USING %S ON %T.a = %S.a WHEN MATCHED THEN UPDATE SET b = 'm'",
     0,
     0,
     {2},
     false},
    {kPg, "UPDATE %T SET b = 'r' WHERE a < 3 RETURNING a", 1, 1, {-1}, false},
    {kPg, "WITH d AS (DELETE FROM %T WHERE a = 3 RETURNING a) SELECT a FROM d", 1, 1, {-1}, false},
    {kPg, "WITH c AS (SELECT a FROM %S) INSERT INTO %T SELECT a, 'w' FROM c", 0, 0, {2}, false},
    {kPg, "SELECT 1; UPDATE %T SET b = 'b'; DELETE FROM %T WHERE a = 1", 1, 1, {-1, 3, 1}, false},
    {kPg, "UPDATE %T SET b = 'b'; SELECT a FROM %T", 1, 0, {3, -1}, false},
};

TEST_P(AnyKindsDm, KindsAreDescribedCountedAndReadOnlyAsTheyRun) {
  qmr_test::DmSession ro;
  ASSERT_TRUE(ro.NewEnv() && ro.ConnectString("DSN=" + GetParam() + ";READONLY=yes"));
  for (const KindCase& c : kKinds) {
    if ((c.dbs & Bit()) == 0) continue;
    const std::string sql = Fill(c.sql);
    SCOPED_TRACE(sql);
    SQLSMALLINT cols = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols));
    EXPECT_EQ(c.before, cols);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols));
    EXPECT_EQ(c.after, cols);
    std::vector<SQLLEN> counts;
    SQLRETURN more = SQL_SUCCESS;
    for (SQLLEN n = -7; more == SQL_SUCCESS && counts.size() < 5; more = SQLMoreResults(stmt_))
      counts.push_back(SQLRowCount(stmt_, &n) == SQL_SUCCESS ? n : -99);
    EXPECT_EQ(SQL_NO_DATA, more);
    EXPECT_EQ(c.counts, counts);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    EXPECT_EQ(c.reads ? SQL_SUCCESS : SQL_ERROR, SQLPrepare(ro.stmt_, Text(sql), SQL_NTS));
    EXPECT_EQ(c.reads ? "" : "IM916", State(SQL_HANDLE_STMT, ro.stmt_));
    if (c.reads) {
      EXPECT_TRUE(SQL_SUCCEEDED(SQLExecute(ro.stmt_))) << Diag(SQL_HANDLE_STMT, ro.stmt_);
    }
    SQLFreeStmt(ro.stmt_, SQL_CLOSE);
  }
}

TEST_P(AnyKindsDm, SearchedChangeOfNoRowIsNoDataInOdbc3Only) {
  const struct {
    SQLULEN version;
    int way;
    const char* sql;
    SQLRETURN rc;
    SQLLEN count;
  } cases[] = {
      {SQL_OV_ODBC3, 0, "UPDATE %T SET b = 'z' WHERE a = 99", SQL_NO_DATA, 0},
      {SQL_OV_ODBC3, 1, "DELETE FROM %T WHERE a = 99", SQL_NO_DATA, 0},
      {SQL_OV_ODBC3, 2, "UPDATE %T SET b = ? WHERE a = 99", SQL_NO_DATA, 0},  // at SQLParamData
      {SQL_OV_ODBC3, 0, "UPDATE %T SET b = 'z' WHERE a = 1", SQL_SUCCESS, 1},
      {SQL_OV_ODBC3, 0, "INSERT INTO %T SELECT a, b FROM %T WHERE a = 99", SQL_SUCCESS, 0},
      {SQL_OV_ODBC2, 0, "DELETE FROM %T WHERE a = 99", SQL_SUCCESS, 0},
      {SQL_OV_ODBC2, 2, "UPDATE %T SET b = ? WHERE a = 99", SQL_SUCCESS, 0}};
  for (const auto& c : cases) {
    const std::string sql = Fill(c.sql);
    SCOPED_TRACE(sql + " ODBC " + std::to_string(c.version));
    qmr_test::DmSession app;
    ASSERT_TRUE(app.Open(GetParam(), c.version));
    SQLHSTMT st = app.stmt_;
    SQLLEN atExec = SQL_DATA_AT_EXEC, n = -7;
    SQLPOINTER token = nullptr;
    SQLRETURN rc =
        c.way == 0 ? SQLExecDirect(st, Text(sql), SQL_NTS) : SQLPrepare(st, Text(sql), SQL_NTS);
    if (c.way == 2)
      SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, (SQLPOINTER)1, 0,
                       &atExec);
    if (c.way > 0) rc = SQLExecute(st);
    if (c.way == 2 && rc == SQL_NEED_DATA && SQLParamData(st, &token) == SQL_NEED_DATA &&
        SQLPutData(st, (SQLPOINTER) "z", 1) == SQL_SUCCESS)
      rc = SQLParamData(st, &token);
    EXPECT_EQ(c.rc, rc) << Diag(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(st, &n));
    EXPECT_EQ(c.count, n);
  }
}

// Sets 10 / 5, 10 / 0, 10 / 2: each reports its outcome when its result comes.
TEST_P(AnyKindsDm, SelectArraySetsReportTheirOwnOutcomes) {
  if ((Bit() & (kHsql | kPg)) == 0) GTEST_SKIP() << "the others divide only at the fetch";
  const struct {
    SQLRETURN rc;
    const char* value;
    SQLULEN processed;
    std::vector<SQLUSMALLINT> statuses;
  } calls[] = {{SQL_SUCCESS, "2", 1, {SQL_PARAM_SUCCESS, SQL_PARAM_UNUSED, SQL_PARAM_UNUSED}},
               {SQL_ERROR, "", 2, {SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_UNUSED}},
               {SQL_SUCCESS, "5", 3, {SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_SUCCESS}},
               {SQL_NO_DATA, "", 3, {SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_SUCCESS}}};
  const std::string sql = Fill("SELECT 10 / ? FROM %T WHERE a = 1");
  SQLINTEGER divisors[3] = {5, 0, 2};
  SQLUSMALLINT statuses[3] = {99, 99, 99};
  SQLULEN processed = 99;
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, statuses, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, divisors, 0, nullptr);
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS));
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i].rc, i == 0 ? SQLExecute(stmt_) : SQLMoreResults(stmt_))
        << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(calls[i].processed, processed);
    EXPECT_EQ(calls[i].statuses, std::vector<SQLUSMALLINT>(statuses, statuses + 3));
    SQLLEN row = 0;
    if (calls[i].rc == SQL_ERROR) {
      EXPECT_EQ("22012", State(SQL_HANDLE_STMT, stmt_));
      SQLGetDiagField(SQL_HANDLE_STMT, stmt_, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr);
      EXPECT_EQ(2, row);
    }
    SQLCHAR v[16] = "";
    if (*calls[i].value != '\0' && SQLFetch(stmt_) == SQL_SUCCESS)  // no close: results follow
      SQLGetData(stmt_, 1, SQL_C_CHAR, v, sizeof v, &row);
    EXPECT_EQ(std::string(calls[i].value), (char*)v);
  }
}

TEST_P(AnyKindsDm, InformationAnswersHoldWhatTheyClaim) {
  char ver[32] = "";
  SQLUSMALLINT ident = 0, column = 1;
  SQLUINTEGER guid = 7, mask = 0, id = 7;
  SQLGetInfo(dbc_, SQL_DRIVER_VER, ver, sizeof ver, nullptr);
  EXPECT_TRUE(std::string(ver).size() == 10 && ver[2] == '.' && ver[5] == '.') << ver;
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc_, SQL_CONVERT_GUID, &guid, sizeof guid, nullptr));
  SQLGetInfo(dbc_, SQL_MAX_IDENTIFIER_LEN, &ident, sizeof ident, nullptr);
  SQLGetInfo(dbc_, SQL_MAX_COLUMN_NAME_LEN, &column, sizeof column, nullptr);
  EXPECT_EQ(column, ident);
  SQLGetInfo(dbc_, SQL_CATALOG_NAME, ver, sizeof ver, nullptr);
  if (Bit() == kDerby) {
    EXPECT_EQ(std::string("N"), ver);
  }
  // Every conversion claimed runs: each source's value through each claimed target.
  // clang-format off
  const char* targets[] = {
      "CHAR", "NUMERIC", "DECIMAL", "INTEGER", "SMALLINT", "FLOAT", "REAL", "DOUBLE", "VARCHAR",
      "LONGVARCHAR", "BINARY", "VARBINARY", "BIT", "TINYINT", "BIGINT", "DATE", "TIME",
      "TIMESTAMP", "LONGVARBINARY", "INTERVAL_YEAR_TO_MONTH", "INTERVAL_DAY_TO_SECOND", "WCHAR",
      "WLONGVARCHAR", "WVARCHAR", "GUID"};
  // clang-format on
  const std::pair<SQLUSMALLINT, const char*> sources[] = {
      {SQL_CONVERT_BIGINT, "CAST(1 AS BIGINT)"},
      {SQL_CONVERT_BINARY, "X'01'"},
      {SQL_CONVERT_BIT, "CAST(1 AS BIT)"},
      {SQL_CONVERT_CHAR, "CAST('1' AS CHAR(1))"},
      {SQL_CONVERT_DATE, "{d '2020-01-02'}"},
      {SQL_CONVERT_DECIMAL, "CAST(1 AS DECIMAL(9))"},
      {SQL_CONVERT_DOUBLE, "CAST(1 AS DOUBLE)"},
      {SQL_CONVERT_FLOAT, "CAST(1 AS FLOAT)"},
      {SQL_CONVERT_INTEGER, "1"},
      {SQL_CONVERT_LONGVARCHAR, "CAST('1' AS LONGVARCHAR)"},
      {SQL_CONVERT_NUMERIC, "CAST(1 AS NUMERIC(9))"},
      {SQL_CONVERT_REAL, "CAST(1 AS REAL)"},
      {SQL_CONVERT_SMALLINT, "CAST(1 AS SMALLINT)"},
      {SQL_CONVERT_TIME, "{t '10:11:12'}"},
      {SQL_CONVERT_TIMESTAMP, "{ts '2020-01-02 10:11:12'}"},
      {SQL_CONVERT_TINYINT, "CAST(1 AS TINYINT)"},
      {SQL_CONVERT_VARBINARY, "X'01'"},
      {SQL_CONVERT_VARCHAR, "'1'"},
      {SQL_CONVERT_LONGVARBINARY, "X'01'"},
      {SQL_CONVERT_WCHAR, "CAST('1' AS CHAR(1))"},
      {SQL_CONVERT_WLONGVARCHAR, "CAST('1' AS LONGVARCHAR)"},
      {SQL_CONVERT_WVARCHAR, "'1'"},
      {SQL_CONVERT_GUID, "'1'"}};
  unsigned walked = 0;
  for (const auto& [type, value] : sources) {
    SQLGetInfo(dbc_, type, &mask, sizeof mask, nullptr);
    for (unsigned b = 0; b < 25; ++b) {
      if ((mask & (1u << b)) == 0) continue;
      ++walked;
      const std::string sql =
          std::string("VALUES ({fn CONVERT(") + value + ", SQL_" + targets[b] + ")})";
      SQLRETURN rc = Exec(sql);
      if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt_);
      EXPECT_TRUE(SQL_SUCCEEDED(rc)) << type << ": " << sql << Diag(SQL_HANDLE_STMT, stmt_);
      SQLFreeStmt(stmt_, SQL_CLOSE);
    }
  }
  if (Bit() == kHsql) {
    EXPECT_LT(200u, walked);  // it takes ODBC's names: most claims stay
  }
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc_, SQL_ATTR_METADATA_ID, (SQLPOINTER)SQL_FALSE, 0));
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc_, SQL_ATTR_METADATA_ID, &id, sizeof id, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_METADATA_ID, (SQLPOINTER)SQL_FALSE, 0));
  SQLULEN sid = 7;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_METADATA_ID, &sid, sizeof sid, nullptr));
  EXPECT_EQ(0u, id + sid);
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt_, SQL_ATTR_METADATA_ID, (SQLPOINTER)SQL_TRUE, 0));
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyKindsDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
