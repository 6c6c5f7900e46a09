// Values the Driver Manager hands on unchanged and the driver must judge:
// a statement with more markers than SQLNumParams can count, a parameter
// without a value pointer, a DOUBLE read as a bit. Both builds, on HSQLDB
// and (dm_tests_pg) PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::State;

class ValuesDm : public qmr_test::DmTest {
 protected:
  std::string Table(const char* stem) const {
    return std::string("qv_") + stem + "_" + qmr_test::Lower(GetParam());
  }
};

TEST_P(ValuesDm, MoreMarkersThanSqlNumParamsCountsAreRefused) {
  std::string sql = "SELECT ?";
  for (int i = 1; i < 60001; ++i) sql += ",?";
  EXPECT_EQ(SQL_ERROR, SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS));
  const std::string diag = Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_NE(std::string::npos, diag.find("32767")) << diag;
  SQLSMALLINT count = 0;
  EXPECT_EQ(SQL_ERROR, SQLNumParams(stmt_, &count));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt_));
}

TEST_P(ValuesDm, AParameterWithoutAValuePointerIsNullOrRefused) {
  const std::string table = Table("nullptr");
  Exec("DROP TABLE " + table);
  MustExec("CREATE TABLE " + table + " (id INTEGER, i INTEGER, v VARCHAR(10))");
  struct Case {
    int column;  // 1: i (SQL_C_SLONG), 2: v (SQL_C_CHAR)
    SQLLEN indicator;
    const char* state;  // "" when the row is stored, with NULL there
  };
  const Case cases[] = {
      {1, 0, "HY009"},      {1, 4, "HY009"},     {1, SQL_NULL_DATA, ""},
      {2, SQL_NTS, "HY009"}, {2, 3, "HY009"},    {2, SQL_NULL_DATA, ""},
  };
  int id = 0;
  for (const Case& c : cases) {
    ++id;
    const std::string what = "column " + std::to_string(c.column) + " indicator " +
                             std::to_string(c.indicator);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    SQLINTEGER key = id;
    SQLLEN ind = c.indicator;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER,
                                            0, 0, &key, 0, nullptr));
    const bool text = c.column == 2;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT,
                                            text ? SQL_C_CHAR : SQL_C_SLONG,
                                            text ? SQL_VARCHAR : SQL_INTEGER, 10, 0, nullptr, 0,
                                            &ind))
        << what << " " << Diag(SQL_HANDLE_STMT, stmt_);
    const std::string sql = "INSERT INTO " + table + " (id, " + (text ? "v" : "i") +
                            ") VALUES (?, ?)";
    const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (*c.state != '\0') {
      EXPECT_EQ(SQL_ERROR, rc) << what;
      EXPECT_EQ(c.state, State(SQL_HANDLE_STMT, stmt_)) << what;
    } else {
      EXPECT_EQ(SQL_SUCCESS, rc) << what << " " << Diag(SQL_HANDLE_STMT, stmt_);
    }
  }
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  // Only the NULLs were stored.
  MustExec("SELECT id, i, v FROM " + table + " ORDER BY id");
  const auto rows = qmr_test::FetchRows(stmt_);
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("3", rows[0][0].text);
  EXPECT_EQ("6", rows[1][0].text);
  EXPECT_TRUE(rows[0][1].null && rows[0][2].null && rows[1][1].null && rows[1][2].null);
  Exec("DROP TABLE " + table);
}

TEST_P(ValuesDm, ADoubleBetweenZeroAndTwoReadsAsACutBit) {
  const std::string table = Table("bit");
  Exec("DROP TABLE " + table);
  MustExec("CREATE TABLE " + table + " (id INTEGER, d DOUBLE PRECISION)");
  struct Case {
    const char* value;
    const char* state;  // "" clean, "01S07" cut, "22003" refused
    int bit;
  };
  const Case cases[] = {{"0", "", 0},         {"1", "", 1},          {"0.5", "01S07", 0},
                        {"1.75", "01S07", 1}, {"2", "22003", 0},     {"-0.25", "22003", 0},
                        {"1e-300", "01S07", 0}};
  int id = 0;
  for (const Case& c : cases)
    MustExec("INSERT INTO " + table + " VALUES (" + std::to_string(++id) + ", " + c.value + ")");
  MustExec("SELECT d FROM " + table + " ORDER BY id");
  for (const Case& c : cases) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    unsigned char bit = 0xEE;
    SQLLEN ind = 0;
    const SQLRETURN rc = SQLGetData(stmt_, 1, SQL_C_BIT, &bit, sizeof bit, &ind);
    const std::string state = rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(c.state, state) << c.value;
    if (rc != SQL_ERROR) {
      EXPECT_EQ(c.bit, bit) << c.value;
    }
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  Exec("DROP TABLE " + table);
}

INSTANTIATE_TEST_SUITE_P(Backend, ValuesDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
