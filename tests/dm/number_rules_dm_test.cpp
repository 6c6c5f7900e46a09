// Numbers never lose digits without a word. On the way out a text buffer
// too short for the integer part, or an SQL_C_NUMERIC whose precision
// leaves too few digits beside its scale, answers 22003; only fraction
// digits may be cut (01004). On the way in a number for a bit is 0 or 1
// (a fraction between 0 and 2 cut with 01S07, else 22003) and a fraction
// for an integer column is 22001, whatever the C type. A float's text is
// the shortest that reads back as the same value, both ways, and a double
// for an exact column goes as that exact decimal.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::Diag;
using qmr_test::State;

class NumberRulesDm : public qmr_test::DmTest {
 protected:
  std::string Fresh() {
    const std::string t = "qxd_" + qmr_test::Lower(GetParam());
    Exec("DROP TABLE " + t);
    MustExec("CREATE TABLE " + t + " (b BIGINT, d DECIMAL(10,3))");
    MustExec("INSERT INTO " + t + " VALUES (12345, 123.456)");
    MustExec("INSERT INTO " + t + " VALUES (-9223372036854775808, -123.456)");
    return t;
  }
};

TEST_P(NumberRulesDm, WholeDigitsAreNeverCutInText) {
  const std::string t = Fresh();
  const struct {
    int row;
    SQLUSMALLINT col;
    SQLSMALLINT cType;
    SQLLEN size;  // bytes
    const char* state;
    const char* text;  // what the buffer holds when the call succeeds
  } rows[] = {
      {1, 1, SQL_C_CHAR, 3, "22003", ""},    {1, 1, SQL_C_CHAR, 5, "22003", ""},
      {1, 1, SQL_C_CHAR, 6, "", "12345"},    {1, 1, SQL_C_WCHAR, 10, "22003", ""},
      {1, 1, SQL_C_WCHAR, 12, "", "12345"},  {1, 2, SQL_C_CHAR, 3, "22003", ""},
      {1, 2, SQL_C_CHAR, 4, "01004", "123"}, {1, 2, SQL_C_CHAR, 6, "01004", "123.4"},
      {1, 2, SQL_C_WCHAR, 6, "22003", ""},   {1, 2, SQL_C_WCHAR, 8, "01004", "123"},
      {2, 1, SQL_C_CHAR, 20, "22003", ""},   {2, 1, SQL_C_CHAR, 21, "", "-9223372036854775808"},
      {2, 2, SQL_C_CHAR, 4, "22003", ""},    {2, 2, SQL_C_CHAR, 5, "01004", "-123"},
  };
  for (const auto& r : rows) {
    const std::string sql =
        "SELECT b, d FROM " + t + (r.row == 1 ? " WHERE b > 0" : " WHERE b < 0");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    char buf[64] = {};
    SQLLEN len = 0;
    const SQLRETURN rc = SQLGetData(stmt_, r.col, r.cType, buf, r.size, &len);
    const std::string what = std::to_string(r.row) + "/" + std::to_string(r.col) + " " +
                             std::to_string(r.cType) + " in " + std::to_string(r.size);
    EXPECT_EQ(r.state, rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt_)) << what;
    if (SQL_SUCCEEDED(rc)) {
      const std::string got =
          r.cType == SQL_C_CHAR
              ? std::string(buf)
              : qmr_test::Utf8(
                    reinterpret_cast<const char16_t*>(buf),
                    std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(buf)));
      EXPECT_EQ(r.text, got) << what;
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
}

// The precision of an SQL_C_NUMERIC holds its scale's digits: at precision
// 10 and scale 2 eight whole digits remain.
TEST_P(NumberRulesDm, NumericPrecisionCountsTheScale) {
  const std::string t = Fresh();
  const struct {
    const char* value;
    SQLSMALLINT precision, scale;
    const char* state;
  } rows[] = {{"2147483647", 10, 2, "22003"}, {"21474836.47", 10, 2, ""}, {"12345678", 10, 2, ""},
              {"123456789", 10, 2, "22003"},  {"2147483647", 10, 0, ""},  {"0.5", 1, 1, ""}};
  for (const auto& r : rows) {
    const std::string sql =
        std::string("SELECT CAST(") + r.value + " AS DECIMAL(20,4)) FROM " + t + " WHERE b > 0";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)))
        << Diag(SQL_HANDLE_STMT, stmt_);
    SQLHDESC ard = nullptr;
    SQLGetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr);
    SQL_NUMERIC_STRUCT n{};
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 1, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_NUMERIC, 0));
    SQLSetDescField(ard, 1, SQL_DESC_PRECISION, (SQLPOINTER)(SQLLEN)r.precision, 0);
    SQLSetDescField(ard, 1, SQL_DESC_SCALE, (SQLPOINTER)(SQLLEN)r.scale, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    const SQLRETURN rc = SQLGetData(stmt_, 1, SQL_ARD_TYPE, &n, sizeof n, nullptr);
    EXPECT_EQ(r.state, rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt_)) << r.value;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
  }
}

TEST_P(NumberRulesDm, NumbersIntoBitsAndIntegersFollowOdbcsRules) {
  const std::string t = "qxb_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + t);
  MustExec("CREATE TABLE " + t + " (k INTEGER, b BOOLEAN, i INTEGER)");
  const struct {
    SQLSMALLINT cType, sqlType;
    double d;  // the value, also as SQLINTEGER and as text for SQL_C_NUMERIC's row
    const char* state;
    const char* stored;  // "" when nothing may be stored
  } rows[] = {
      {SQL_C_SLONG, SQL_BIT, 1, "", "1"},
      {SQL_C_SLONG, SQL_BIT, 0, "", "0"},
      {SQL_C_SLONG, SQL_BIT, 2, "22003", ""},
      {SQL_C_SLONG, SQL_BIT, -1, "22003", ""},
      {SQL_C_DOUBLE, SQL_BIT, 0.1, "01S07", "0"},
      {SQL_C_DOUBLE, SQL_BIT, 1.5, "01S07", "1"},
      {SQL_C_DOUBLE, SQL_BIT, 2, "22003", ""},
      {SQL_C_NUMERIC, SQL_BIT, 2, "22003", ""},
      {SQL_C_NUMERIC, SQL_BIT, 1, "", "1"},
      {SQL_C_DOUBLE, SQL_INTEGER, -1.5, "22001", ""},
      {SQL_C_DOUBLE, SQL_INTEGER, 0.1, "22001", ""},
      {SQL_C_DOUBLE, SQL_INTEGER, 7, "", "7"},
      {SQL_C_FLOAT, SQL_SMALLINT, 2.5, "22001", ""},
      {SQL_C_DOUBLE, SQL_BIGINT, 0.5, "22001", ""},
  };
  int k = 0;
  for (const auto& r : rows) {
    ++k;
    SQLINTEGER i = static_cast<SQLINTEGER>(r.d);
    double d = r.d;
    float f = static_cast<float>(r.d);
    SQL_NUMERIC_STRUCT n{};
    n.precision = 10;
    n.sign = 1;
    n.val[0] = static_cast<SQLCHAR>(r.d);
    void* data = r.cType == SQL_C_SLONG    ? static_cast<void*>(&i)
                 : r.cType == SQL_C_DOUBLE ? static_cast<void*>(&d)
                 : r.cType == SQL_C_FLOAT  ? static_cast<void*>(&f)
                                           : static_cast<void*>(&n);
    SQLLEN ind = 0;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, r.cType, r.sqlType, 10, 0, data, 0, &ind);
    const std::string sql = "INSERT INTO " + t + " (k, " + (r.sqlType == SQL_BIT ? "b" : "i") +
                            ") VALUES (" + std::to_string(k) + ", ?)";
    const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    EXPECT_EQ(r.state, rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt_))
        << k << ": " << r.d << " " << Diag(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    MustExec("SELECT " + std::string(r.sqlType == SQL_BIT ? "b" : "i") + " FROM " + t +
             " WHERE k = " + std::to_string(k));
    const auto got = qmr_test::FetchRows(stmt_);
    if (*r.stored == '\0') {
      EXPECT_TRUE(got.empty()) << k << ": nothing stored";
    } else if (!got.empty()) {
      const std::string v = got[0][0].text;
      // Booleans read back as 0/1 or as words, by database.
      const std::string bit = v == "true" ? "1" : v == "false" ? "0" : v;
      EXPECT_EQ(r.stored, bit) << k;
    } else {
      ADD_FAILURE() << k << ": no row stored";
    }
  }
}

TEST_P(NumberRulesDm, FloatsTravelAsTheirShortestText) {
  const std::string t = "qxf_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + t);
  MustExec("CREATE TABLE " + t + " (k INTEGER, d DOUBLE PRECISION, v VARCHAR(40), " +
           "n DECIMAL(20,17), w DECIMAL(20,0))");
  const struct {
    double d;
    SQLSMALLINT sqlType;  // the parameter's
    const char* column;
    const char* stored;  // the database's own text of what was stored
  } rows[] = {
      {0.1 + 0.2, SQL_DOUBLE, "d", "0.30000000000000004"},
      {0.1, SQL_DOUBLE, "d", "0.1"},
      {DBL_MAX, SQL_VARCHAR, "v", "1.7976931348623157e+308"},
      {0.1 + 0.2, SQL_VARCHAR, "v", "0.30000000000000004"},
      {9007199254740992.0, SQL_NUMERIC, "w", "9007199254740992"},
      {0.30000000000000004, SQL_NUMERIC, "n", "0.30000000000000004"},
  };
  int k = 0;
  for (const auto& r : rows) {
    ++k;
    double d = r.d;
    SQLLEN ind = 0;
    const char* column = r.column;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, r.sqlType, 20, 17, &d, 0, &ind);
    const std::string sql =
        "INSERT INTO " + t + " (k, " + column + ") VALUES (" + std::to_string(k) + ", ?)";
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS))
        << k << Diag(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    // Read back as the driver's text of the column's own value.
    MustExec("SELECT " + std::string(column) + " FROM " + t + " WHERE k = " + std::to_string(k));
    const auto got = qmr_test::FetchRows(stmt_);
    ASSERT_EQ(1u, got.size()) << k;
    std::string text = got[0][0].text;
    // DECIMAL(30,17) reads with its scale's zeros.
    if (r.sqlType == SQL_NUMERIC && text.find('.') != std::string::npos) {
      while (text.back() == '0') text.pop_back();
      if (text.back() == '.') text.pop_back();
    }
    std::string want = r.stored;
    if (r.sqlType == SQL_VARCHAR) {
      // Each database reads the text back as a double of its own: the
      // same value, whatever its spelling.
      EXPECT_EQ(std::stod(want), std::stod(text)) << k << ": " << text;
    } else {
      EXPECT_EQ(want, text) << k;
    }
  }
}

// PostgreSQL's numeric holds NaN, and so do a double and its text.
TEST_P(NumberRulesDm, NaNCrossesAsNaN) {
  if (qmr_test::DbOf(GetParam()) != Db::Pg) GTEST_SKIP() << "a numeric NaN is PostgreSQL's";
  const std::string t = "qxn_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + t);
  MustExec("CREATE TABLE " + t + " (n NUMERIC, d DOUBLE PRECISION)");
  char nan[] = "NaN";
  SQLLEN len = SQL_NTS;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DOUBLE, 0, 0, nan, 0, &len);
  const std::string ins = "INSERT INTO " + t + " VALUES ('NaN', ?)";
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)ins.c_str(), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  const std::string sel = "SELECT n, d, n, d FROM " + t;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sel.c_str(), SQL_NTS)));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  for (SQLUSMALLINT col : {1, 2}) {
    double d = 0;
    float f = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, col, SQL_C_DOUBLE, &d, 0, nullptr))
        << col << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_TRUE(std::isnan(d)) << col;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, col + 2, SQL_C_FLOAT, &f, 0, nullptr)) << col;
    EXPECT_TRUE(std::isnan(f)) << col;
  }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, NumberRulesDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
