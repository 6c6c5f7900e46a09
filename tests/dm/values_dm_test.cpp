// Values the Driver Manager hands on as they are and the driver must judge:
// more markers than SQLNumParams counts, a parameter without a value
// pointer, a DOUBLE as a bit.
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
  std::string Fresh(const std::string& columns) {
    const std::string t = "qv_" + qmr_test::Lower(GetParam());
    Exec("DROP TABLE " + t);
    MustExec("CREATE TABLE " + t + " (" + columns + ")");
    return t;
  }
  SQLRETURN Run(const std::string& sql) {
    return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
};

TEST_P(ValuesDm, MarkersBeyondSqlSmallintFailThePrepare) {
  std::string sql = "SELECT ?";
  for (int i = 1; i < 60001; ++i) sql += ",?";
  EXPECT_EQ(SQL_ERROR, SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS));
  EXPECT_NE(std::string::npos, Diag(SQL_HANDLE_STMT, stmt_).find("at most 32767"));
}

TEST_P(ValuesDm, AValueWithoutADataPointerIsNullOrHY009) {
  const std::string t = Fresh("i INTEGER, v VARCHAR(10)");
  const struct {
    SQLSMALLINT cType, sqlType;
    SQLLEN ind;
    const char* state;
  } rows[] = {{SQL_C_SLONG, SQL_INTEGER, 0, "HY009"},
              {SQL_C_SLONG, SQL_INTEGER, SQL_NULL_DATA, ""},
              {SQL_C_CHAR, SQL_VARCHAR, SQL_NTS, "HY009"},
              {SQL_C_CHAR, SQL_VARCHAR, 3, "HY009"},
              {SQL_C_CHAR, SQL_VARCHAR, SQL_NULL_DATA, ""}};
  for (const auto& r : rows) {
    SQLLEN ind = r.ind;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, r.cType, r.sqlType, 10, 0, nullptr, 0, &ind);
    const std::string column = r.cType == SQL_C_CHAR ? "v" : "i";
    const SQLRETURN rc = Run("INSERT INTO " + t + " (" + column + ") VALUES (?)");
    EXPECT_EQ(*r.state ? SQL_ERROR : SQL_SUCCESS, rc) << column << " " << r.ind;
    if (*r.state) {
      EXPECT_EQ(r.state, State(SQL_HANDLE_STMT, stmt_)) << column << " " << r.ind;
    }
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
  MustExec("SELECT COUNT(*) FROM " + t + " WHERE i IS NULL AND v IS NULL");
  EXPECT_EQ("2", qmr_test::FetchRows(stmt_).at(0).at(0).text);
}

// A DOUBLE, and a DECIMAL (which travels as text).
TEST_P(ValuesDm, ANumberBetweenZeroAndTwoIsACutBit) {
  const std::string t = Fresh("d DOUBLE PRECISION, n DECIMAL(5,2)");
  for (const char* v : {"0", "0.5", "1", "1.75", "2", "-0.25"})
    MustExec("INSERT INTO " + t + " VALUES (" + v + ", " + v + ")");
  ASSERT_TRUE(SQL_SUCCEEDED(Run("SELECT d, n FROM " + t + " ORDER BY d")));
  const std::pair<const char*, int> want[] = {{"22003", 0}, {"", 0},      {"01S07", 0},
                                              {"", 1},      {"01S07", 1}, {"22003", 0}};
  for (const auto& [state, bit] : want) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    for (SQLUSMALLINT col : {1, 2}) {
      unsigned char got = 0xEE;
      const SQLRETURN rc = SQLGetData(stmt_, col, SQL_C_BIT, &got, 1, nullptr);
      EXPECT_EQ(state, rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt_)) << col << bit;
      if (rc != SQL_ERROR) {
        EXPECT_EQ(bit, got) << col << state;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backend, ValuesDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
