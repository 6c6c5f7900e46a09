// Statements through the Driver Manager on each backend's data sources: HSQLDB
// in memory by default, the throw-away PostgreSQL server when CTest names its
// data sources in QMR_DSNS (dm_tests_pg). Table names carry the data source:
// on the server, the tests of both builds share one database.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::Lower;

class BackendQuery : public qmr_test::DmTest {
 protected:
  void SetUp() override {
    table_ = "qmr_backend_" + Lower(GetParam());
    qmr_test::DmTest::SetUp();
  }
  void TearDown() override {
    if (stmt_ != nullptr) {
      SQLFreeStmt(stmt_, SQL_CLOSE);
      Exec("DROP TABLE IF EXISTS " + table_);
    }
    qmr_test::DmTest::TearDown();
  }
  std::string InfoText(SQLUSMALLINT what) {
    SQLCHAR buf[256] = "";
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc_, what, buf, sizeof buf, &len));
    return reinterpret_cast<char*>(buf);
  }
  void CreateAndFill() {
    MustExec("DROP TABLE IF EXISTS " + table_);
    MustExec("CREATE TABLE " + table_ +
             " (i INTEGER, b BIGINT, v VARCHAR(30), d DOUBLE PRECISION, n DECIMAL(12,2),"
             " dt DATE, ts TIMESTAMP)");
    MustExec("INSERT INTO " + table_ +
             " VALUES"
             " (1, 10000000000, 'one', 1.5, 12.34, DATE '2024-02-29',"
             " TIMESTAMP '2024-02-29 13:14:15'),"
             " (2, -2, 'two', -0.25, -0.01, DATE '1999-12-31', TIMESTAMP '1999-12-31 23:59:59'),"
             " (3, NULL, NULL, NULL, NULL, NULL, NULL)");
  }

  std::string table_;
};

TEST_P(BackendQuery, ConnectsToTheDatabaseTheDataSourceNames) {
  std::string dbms = InfoText(SQL_DBMS_NAME);
  if (GetParam().rfind("QmrPg", 0) == 0)
    EXPECT_EQ("PostgreSQL", dbms);
  else
    EXPECT_EQ("HSQL Database Engine", dbms);
  EXPECT_FALSE(InfoText(SQL_DBMS_VER).empty());
}

TEST_P(BackendQuery, DefinitionAndChangesCountRows) {
  CreateAndFill();
  SQLLEN count = -7;
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &count));
  EXPECT_EQ(3, count);

  MustExec("UPDATE " + table_ + " SET v = 'many' WHERE i >= 2");
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &count));
  EXPECT_EQ(2, count);

  MustExec("DELETE FROM " + table_ + " WHERE i = 99");
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &count));
  EXPECT_EQ(0, count);
}

TEST_P(BackendQuery, ResultColumnsAreDescribed) {
  CreateAndFill();
  MustExec("SELECT i, b, v, d, n, dt, ts FROM " + table_ + " ORDER BY i");
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols));
  ASSERT_EQ(7, cols);

  struct Expect {
    const char* name;
    std::vector<SQLSMALLINT> types;  // the servers name DECIMAL differently
  };
  const Expect expect[] = {
      {"i", {SQL_INTEGER}},
      {"b", {SQL_BIGINT}},
      {"v", {SQL_VARCHAR, SQL_WVARCHAR}},
      {"d", {SQL_DOUBLE, SQL_FLOAT}},
      {"n", {SQL_DECIMAL, SQL_NUMERIC}},
      {"dt", {SQL_TYPE_DATE}},
      {"ts", {SQL_TYPE_TIMESTAMP}},
  };
  for (SQLUSMALLINT c = 1; c <= 7; ++c) {
    SQLCHAR name[64] = "";
    SQLSMALLINT nameLen = 0, type = 0, scale = -1, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt_, c, name, sizeof name, &nameLen, &type, &size,
                                          &scale, &nullable))
        << Diag(SQL_HANDLE_STMT, stmt_);
    const Expect& e = expect[c - 1];
    EXPECT_EQ(e.name, Lower(reinterpret_cast<char*>(name))) << "column " << c;
    EXPECT_NE(e.types.end(), std::find(e.types.begin(), e.types.end(), type))
        << "column " << c << " type " << type;
    EXPECT_EQ(SQL_NULLABLE, nullable) << "column " << c;
    if (c == 3) {
      EXPECT_EQ(30u, size);
    }
    if (c == 5) {
      EXPECT_EQ(12u, size);
      EXPECT_EQ(2, scale);
    }
  }
}

TEST_P(BackendQuery, ServerErrorsReachTheApplication) {
  SQLRETURN rc = Exec("SELECT * FROM qmr_no_such_table");
  ASSERT_EQ(SQL_ERROR, rc);
  SQLCHAR state[6] = "", msg[1024] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, msg, sizeof msg, &len));
  std::string text = Lower(reinterpret_cast<char*>(msg));
  EXPECT_NE(std::string::npos, text.find("qmr_no_such_table")) << msg;
  EXPECT_EQ('4', state[0]) << state;  // a syntax or access rule class (42...)
  EXPECT_EQ('2', state[1]) << state;
}

TEST_P(BackendQuery, RowsComeBackAsTextAsInserted) {
  CreateAndFill();
  MustExec("SELECT i, b, v, d, n, dt, ts FROM " + table_ + " ORDER BY i");
  const std::vector<std::vector<std::string>> want = {
      {"1", "10000000000", "one", "1.5", "12.34", "2024-02-29", "2024-02-29 13:14:15"},
      {"2", "-2", "two", "-0.25", "-0.01", "1999-12-31", "1999-12-31 23:59:59"}};
  for (const auto& row : want) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    for (SQLUSMALLINT c = 1; c <= 7; ++c) {
      char text[64] = "";
      SQLLEN ind = 0;
      ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, c, SQL_C_CHAR, text, sizeof text, &ind))
          << "column " << c << ": " << Diag(SQL_HANDLE_STMT, stmt_);
      std::string got = text;
      // A timestamp may carry a zero fraction (".0" from JDBC's text form).
      if (c == 7 && got.size() > 19 && got.find_first_not_of("0", 20) == std::string::npos) {
        got.resize(19);
      }
      EXPECT_EQ(row[c - 1], got) << "column " << c;
      EXPECT_EQ(static_cast<SQLLEN>(std::string(text).size()), ind) << "column " << c;
    }
  }
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  for (SQLUSMALLINT c = 2; c <= 7; ++c) {
    char text[64] = "x";
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, c, SQL_C_CHAR, text, sizeof text, &ind)) << c;
    EXPECT_EQ(SQL_NULL_DATA, ind) << "column " << c;
  }
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));
}

TEST_P(BackendQuery, RowsComeBackInBoundNativeTypes) {
  CreateAndFill();
  MustExec("SELECT i, b, v, d, dt, ts FROM " + table_ + " WHERE i <= 2 ORDER BY i DESC");
  SQLINTEGER i = 0;
  SQLBIGINT b = 0;
  SQLCHAR v[31] = "";
  SQLDOUBLE d = 0;
  SQL_DATE_STRUCT dt{};
  SQL_TIMESTAMP_STRUCT ts{};
  SQLLEN ind[6] = {};
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &i, 0, &ind[0]));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_SBIGINT, &b, 0, &ind[1]));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, v, sizeof v, &ind[2]));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 4, SQL_C_DOUBLE, &d, 0, &ind[3]));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 5, SQL_C_TYPE_DATE, &dt, 0, &ind[4]));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 6, SQL_C_TYPE_TIMESTAMP, &ts, 0, &ind[5]));

  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(2, i);
  EXPECT_EQ(-2, b);
  EXPECT_STREQ("two", reinterpret_cast<char*>(v));
  EXPECT_EQ(3, ind[2]);
  EXPECT_EQ(-0.25, d);
  EXPECT_EQ(1999, dt.year);
  EXPECT_EQ(12, dt.month);
  EXPECT_EQ(31, dt.day);
  EXPECT_EQ(23, ts.hour);
  EXPECT_EQ(59, ts.minute);
  EXPECT_EQ(59, ts.second);
  EXPECT_EQ(0u, ts.fraction);

  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(1, i);
  EXPECT_EQ(10000000000LL, b);
  EXPECT_STREQ("one", reinterpret_cast<char*>(v));
  EXPECT_EQ(1.5, d);
  EXPECT_EQ(2024, dt.year);
  EXPECT_EQ(2, dt.month);
  EXPECT_EQ(29, dt.day);
  EXPECT_EQ(2024, ts.year);
  EXPECT_EQ(13, ts.hour);
  EXPECT_EQ(15, ts.second);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));
}

std::string DsnName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(Backend, BackendQuery, ::testing::ValuesIn(qmr_test::TestDsns()), DsnName);

}  // namespace
