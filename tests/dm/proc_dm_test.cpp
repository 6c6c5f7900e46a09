// Procedure calls through the Driver Manager: input, output and
// input/output parameters bound with SQLBindParameter come back into the
// application's buffers for {call p(?,?,?)}, CALL p(?,?,?) and
// {? = call f(?)}; a cut character value answers 01004 with the full length
// in its indicator; NULL outputs; every common type in both builds; a value
// longer than any default width arrives whole into a large buffer; a
// procedure's result set is fetched.
//
// ProcCall runs on HSQLDB (SQL procedures), on Derby (Java procedures of
// tests/dm/java) and, in dm_tests_pg, on PostgreSQL (functions with OUT
// parameters behind the call escape, real procedures behind CALL); H2 has
// no output parameters. FunctionValue needs a backend that returns a
// function's value through the leading marker: PostgreSQL, H2 and Derby
// (HSQLDB takes that marker as an input).
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Diag;
using qmr_test::FromUtf8;

class ProcDmBase : public qmr_test::DmTest {
 protected:
  void SetUp() override {
    dsn_ = GetParam();
    db_ = DbOf(dsn_);
    wide_ = !dsn_.empty() && dsn_.back() == 'U';
    suffix_ = wide_ ? "u" : "a";
    qmr_test::DmTest::SetUp();
  }
  void TearDown() override {
    if (stmt_ != nullptr) {
      for (const std::string& drop : drops_) {
        SQLFreeStmt(stmt_, SQL_CLOSE);
        SQLExecDirect(stmt_, (SQLCHAR*)drop.c_str(), SQL_NTS);
      }
    }
    qmr_test::DmTest::TearDown();
  }
  std::vector<std::string> States() { return qmr_test::States(SQL_HANDLE_STMT, stmt_); }
  std::string Name(const std::string& stem) const { return stem + "_" + suffix_; }

  // Creates a routine, dropping an older one of that name first; it is
  // dropped again at the end of the test.
  void Create(const std::string& kind, const std::string& name, const std::string& ddl) {
    const std::string drop = db_ == Db::Derby || db_ == Db::H2
                                 ? "DROP " + kind + " " + name
                                 : "DROP " + kind + " IF EXISTS " + name;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLExecDirect(stmt_, (SQLCHAR*)drop.c_str(), SQL_NTS);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)ddl.c_str(), SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << ddl << "\n" << Diag(SQL_HANDLE_STMT, stmt_);
    drops_.push_back(drop);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  SQLRETURN Bind(SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT ctype, SQLSMALLINT sqltype,
                 SQLULEN size, SQLSMALLINT digits, void* buf, SQLLEN buflen, SQLLEN* ind) {
    return SQLBindParameter(stmt_, n, io, ctype, sqltype, size, digits, buf, buflen, ind);
  }
  SQLRETURN Run(const std::string& sql) {
    return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }

  std::string dsn_;
  std::string suffix_;
  Db db_ = Db::Hsql;
  bool wide_ = false;
  std::vector<std::string> drops_;
};

// ---------------------------------------------------------------------------
// Procedures with input, output and input/output parameters.
class ProcCall : public ProcDmBase {
 protected:
  void SetUp() override {
    ProcDmBase::SetUp();
    if (db_ == Db::H2) GTEST_SKIP() << "H2 has no output parameters";
  }
  // A Derby procedure: the Java method of QmrTestProcs behind it.
  void CreateDerby(const std::string& name, const std::string& params, const std::string& method,
                   const std::string& access = "NO SQL") {
    Create("PROCEDURE", name,
           "CREATE PROCEDURE " + name + "(" + params + ") LANGUAGE JAVA PARAMETER STYLE JAVA " +
               access + " EXTERNAL NAME 'QmrTestProcs." + method + "'");
  }
  // p(IN a INTEGER, OUT b INTEGER, INOUT c INTEGER): b = 2a, c = c + a.
  // On PostgreSQL the call escape runs a function (the JDBC driver turns
  // it into a SELECT) and CALL a procedure.
  void CreateArith(const std::string& name, bool forCallKeyword) {
    switch (db_) {
      case Db::Pg:
        if (forCallKeyword)
          Create("PROCEDURE", name,
                 "CREATE PROCEDURE " + name +
                     "(IN a INTEGER, INOUT b INTEGER, INOUT c INTEGER)"
                     " LANGUAGE plpgsql AS $$ BEGIN b := a * 2; c := c + a; END $$");
        else
          Create("FUNCTION", name,
                 "CREATE FUNCTION " + name +
                     "(IN a INTEGER, OUT b INTEGER, INOUT c INTEGER)"
                     " LANGUAGE plpgsql AS $$ BEGIN b := a * 2; c := c + a; END $$");
        break;
      case Db::Derby:
        CreateDerby(name, "IN a INTEGER, OUT b INTEGER, INOUT c INTEGER", "arith");
        break;
      default:
        Create("PROCEDURE", name,
               "CREATE PROCEDURE " + name +
                   "(IN a INTEGER, OUT b INTEGER, INOUT c INTEGER)"
                   " BEGIN ATOMIC SET b = a * 2; SET c = c + a; END");
        break;
    }
  }
  // One OUT value of the given SQL type computed by `expr` (HSQLDB syntax
  // and PostgreSQL syntax), or on Derby by a Java method.
  void CreateOneOut(const std::string& name, const std::string& type, const std::string& hsqlExpr,
                    const std::string& pgExpr, const std::string& derbyMethod) {
    if (db_ == Db::Derby)
      CreateDerby(name, "OUT v " + type, derbyMethod);
    else if (db_ == Db::Pg)
      Create("FUNCTION", name,
             "CREATE FUNCTION " + name + "(OUT v " + type +
                 ") LANGUAGE plpgsql AS $$ BEGIN v := " + pgExpr + "; END $$");
    else
      Create("PROCEDURE", name,
             "CREATE PROCEDURE " + name + "(OUT v " + type + ") BEGIN ATOMIC SET v = " + hsqlExpr +
                 "; END");
  }
};

TEST_P(ProcCall, InOutAndInOutParametersThroughTheCallEscape) {
  const std::string p = Name("qmr_arith");
  CreateArith(p, false);
  SQLINTEGER a = 5, b = -1, c = 10;
  SQLLEN aInd = 0, bInd = 0, cInd = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, (SQLCHAR*)("{call " + p + "(?,?,?)}").c_str(), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, &aInd));
  ASSERT_EQ(SQL_SUCCESS, Bind(2, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b, 0, &bInd));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(3, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &c, 0, &cInd));
  SQLRETURN rc = SQLExecute(stmt_);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(10, b);
  EXPECT_EQ(15, c);
  EXPECT_EQ(static_cast<SQLLEN>(sizeof(SQLINTEGER)), bInd);
  EXPECT_EQ(static_cast<SQLLEN>(sizeof(SQLINTEGER)), cInd);
  EXPECT_EQ(5, a) << "an input buffer is never written";

  // Executed again, the statement sends the new inputs (c holds what came
  // back) and returns fresh outputs, not the first call's.
  a = 7;
  b = -1;
  SQLFreeStmt(stmt_, SQL_CLOSE);
  rc = SQLExecute(stmt_);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(14, b);
  EXPECT_EQ(22, c);
}

TEST_P(ProcCall, CallKeywordWithoutEscape) {
  const std::string p = Name("qmr_arithk");
  CreateArith(p, true);
  SQLINTEGER a = 3, b = 0, c = 100;
  SQLLEN aInd = 0, bInd = 0, cInd = 0;
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0, &aInd));
  // PostgreSQL's procedures have no OUT-only parameter the JDBC driver can
  // register through CALL: there the second one is INOUT too.
  const SQLSMALLINT second = db_ == Db::Pg ? SQL_PARAM_INPUT_OUTPUT : SQL_PARAM_OUTPUT;
  ASSERT_EQ(SQL_SUCCESS, Bind(2, second, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b, 0, &bInd));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(3, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &c, 0, &cInd));
  const SQLRETURN rc = Run("CALL " + p + "(?, ?, ?)");
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(6, b);
  EXPECT_EQ(103, c);
}

TEST_P(ProcCall, OutputParameterCountsAsMarker) {
  // The markers of a call escape are the statement's parameters.
  const std::string p = Name("qmr_arithn");
  CreateArith(p, false);
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, (SQLCHAR*)("{call " + p + "(?,?,?)}").c_str(), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT n = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt_, &n));
  EXPECT_EQ(3, n);
}

TEST_P(ProcCall, TruncatedCharacterOutputKeepsItsWarningAndFullLength) {
  const std::string p = Name("qmr_text");
  const std::string text = "Hello procedure world";  // 21 characters
  CreateOneOut(p, "VARCHAR(40)", "'" + text + "'", "'" + text + "'", "text");
  char small[6];
  std::memset(small, '#', sizeof small);
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS,
            Bind(1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, small, sizeof small, &ind));
  const SQLRETURN rc = Run("{call " + p + "(?)}");
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << Diag(SQL_HANDLE_STMT, stmt_);
  const std::vector<std::string> states = States();
  ASSERT_FALSE(states.empty());
  EXPECT_EQ("01004", states[0]);
  EXPECT_STREQ("Hello", small);
  EXPECT_EQ(static_cast<SQLLEN>(text.size()), ind) << "the indicator holds the whole length";

  if (wide_) {
    SQLWCHAR wsmall[4];
    SQLLEN wind = 0;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, wsmall,
                                sizeof wsmall, &wind));
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Run("{call " + p + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_FALSE(States().empty());
    EXPECT_EQ("01004", States()[0]);
    EXPECT_EQ(std::u16string(u"Hel"), std::u16string(reinterpret_cast<char16_t*>(wsmall)));
    EXPECT_EQ(static_cast<SQLLEN>(2 * text.size()), wind);
  }
}

TEST_P(ProcCall, NullOutputGivesNullIndicator) {
  const std::string p = Name("qmr_null");
  CreateOneOut(p, "INTEGER", "NULL", "NULL", "nullInt");
  SQLINTEGER v = 77;
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &v, 0, &ind));
  ASSERT_EQ(SQL_SUCCESS, Run("{call " + p + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(SQL_NULL_DATA, ind);

  // A character output that is NULL too.
  const std::string q = Name("qmr_nullc");
  CreateOneOut(q, "VARCHAR(10)", "NULL", "NULL", "nullText");
  char text[16] = "unchanged";
  SQLLEN tind = 0;
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  ASSERT_EQ(SQL_SUCCESS,
            Bind(1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, text, sizeof text, &tind));
  ASSERT_EQ(SQL_SUCCESS, Run("{call " + q + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(SQL_NULL_DATA, tind);
}

TEST_P(ProcCall, EveryCommonTypeComesBack) {
  const std::string p = Name("qmr_types");
  const std::string nonAscii =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xE6\x97\xA5";  // Grüße € 日
  if (db_ == Db::Derby) {
    CreateDerby(p,
                "OUT i INTEGER, OUT b BIGINT, OUT d DOUBLE, OUT n DECIMAL(12,2), OUT v VARCHAR(40),"
                " OUT dt DATE, OUT ts TIMESTAMP",
                "types");
  } else if (db_ == Db::Pg) {
    Create("FUNCTION", p,
           "CREATE FUNCTION " + p +
               "(OUT i INTEGER, OUT b BIGINT, OUT d DOUBLE PRECISION, OUT n NUMERIC(12,2),"
               " OUT v VARCHAR(40), OUT dt DATE, OUT ts TIMESTAMP) LANGUAGE plpgsql AS $$ BEGIN"
               " i := -42; b := 9000000000123; d := 2.5; n := 1234.56; v := '" +
               nonAscii +
               "';"
               " dt := DATE '2024-02-29'; ts := TIMESTAMP '2024-02-29 13:05:09.5'; END $$");
  } else {
    Create("PROCEDURE", p,
           "CREATE PROCEDURE " + p +
               "(OUT i INTEGER, OUT b BIGINT, OUT d DOUBLE, OUT n DECIMAL(12,2),"
               " OUT v VARCHAR(40), OUT dt DATE, OUT ts TIMESTAMP) BEGIN ATOMIC"
               " SET i = -42; SET b = 9000000000123; SET d = 2.5; SET n = 1234.56; SET v = '" +
               nonAscii +
               "'; SET dt = DATE '2024-02-29';"
               " SET ts = TIMESTAMP '2024-02-29 13:05:09.5'; END");
  }
  SQLINTEGER i = 0;
  SQLBIGINT b = 0;
  double d = 0;
  char n[32] = "";
  SQLCHAR v8[64] = "";
  SQLWCHAR v16[64] = {};
  SQL_DATE_STRUCT dt{};
  SQL_TIMESTAMP_STRUCT ts{};
  SQLLEN ind[7] = {};
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, &ind[0]));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(2, SQL_PARAM_OUTPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &b, 0, &ind[1]));
  ASSERT_EQ(SQL_SUCCESS, Bind(3, SQL_PARAM_OUTPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, &ind[2]));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(4, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_DECIMAL, 12, 2, n, sizeof n, &ind[3]));
  if (wide_)
    ASSERT_EQ(SQL_SUCCESS, Bind(5, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, v16,
                                sizeof v16, &ind[4]));
  else
    ASSERT_EQ(SQL_SUCCESS,
              Bind(5, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, v8, sizeof v8, &ind[4]));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(6, SQL_PARAM_OUTPUT, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &dt, 0, &ind[5]));
  ASSERT_EQ(SQL_SUCCESS, Bind(7, SQL_PARAM_OUTPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6,
                              &ts, 0, &ind[6]));
  const SQLRETURN rc = Run("{call " + p + "(?,?,?,?,?,?,?)}");
  ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(-42, i);
  EXPECT_EQ(9000000000123LL, b);
  EXPECT_DOUBLE_EQ(2.5, d);
  EXPECT_STREQ("1234.56", n);
  EXPECT_EQ(7, ind[3]);
  if (wide_) {
    const std::u16string want = FromUtf8(nonAscii);
    EXPECT_EQ(want, std::u16string(reinterpret_cast<char16_t*>(v16)));
    EXPECT_EQ(static_cast<SQLLEN>(2 * want.size()), ind[4]);
  } else {
    EXPECT_EQ(nonAscii, std::string(reinterpret_cast<char*>(v8)));
    EXPECT_EQ(static_cast<SQLLEN>(nonAscii.size()), ind[4]);
  }
  EXPECT_EQ(2024, dt.year);
  EXPECT_EQ(2, dt.month);
  EXPECT_EQ(29, dt.day);
  EXPECT_EQ(2024, ts.year);
  EXPECT_EQ(29, ts.day);
  EXPECT_EQ(13, ts.hour);
  EXPECT_EQ(5, ts.minute);
  EXPECT_EQ(9, ts.second);
  EXPECT_EQ(500000000u, ts.fraction);
}

TEST_P(ProcCall, OutputConvertedIntoAnotherCType) {
  // Bound with a C type other than the SQL type's own: DECIMAL into a
  // double, SMALLINT into a 32-bit integer, DATE into a timestamp structure
  // and TIMESTAMP into a date structure.
  const std::string p = Name("qmr_mixed");
  if (db_ == Db::Derby)
    CreateDerby(p, "OUT n DECIMAL(12,3), OUT sm SMALLINT, OUT dt DATE, OUT ts TIMESTAMP", "mixed");
  else if (db_ == Db::Pg)
    Create("FUNCTION", p,
           "CREATE FUNCTION " + p +
               "(OUT n NUMERIC(12,3), OUT sm SMALLINT, OUT dt DATE, OUT ts TIMESTAMP) LANGUAGE"
               " plpgsql AS $$ BEGIN n := -98.125; sm := 300; dt := DATE '2024-02-29';"
               " ts := TIMESTAMP '2024-02-29 13:05:09.5'; END $$");
  else
    Create("PROCEDURE", p,
           "CREATE PROCEDURE " + p +
               "(OUT n DECIMAL(12,3), OUT sm SMALLINT, OUT dt DATE, OUT ts TIMESTAMP) BEGIN ATOMIC"
               " SET n = -98.125; SET sm = 300; SET dt = DATE '2024-02-29';"
               " SET ts = TIMESTAMP '2024-02-29 13:05:09.5'; END");
  double n = 0;
  SQLINTEGER sm = 0;
  SQL_TIMESTAMP_STRUCT dt;
  std::memset(&dt, 0x7F, sizeof dt);
  SQL_DATE_STRUCT ts{};
  SQLLEN ind[4] = {};
  ASSERT_EQ(SQL_SUCCESS,
            Bind(1, SQL_PARAM_OUTPUT, SQL_C_DOUBLE, SQL_DECIMAL, 12, 3, &n, 0, &ind[0]));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(2, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_SMALLINT, 0, 0, &sm, 0, &ind[1]));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(3, SQL_PARAM_OUTPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_DATE, 10, 0, &dt, 0, &ind[2]));
  ASSERT_EQ(SQL_SUCCESS,
            Bind(4, SQL_PARAM_OUTPUT, SQL_C_TYPE_DATE, SQL_TYPE_TIMESTAMP, 26, 6, &ts, 0, &ind[3]));
  const SQLRETURN rc = Run("{call " + p + "(?,?,?,?)}");
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_DOUBLE_EQ(-98.125, n);
  EXPECT_EQ(300, sm);
  EXPECT_EQ(2024, dt.year);
  EXPECT_EQ(2, dt.month);
  EXPECT_EQ(29, dt.day);
  EXPECT_EQ(0, dt.hour);
  EXPECT_EQ(0, dt.minute);
  EXPECT_EQ(0, dt.second);
  EXPECT_EQ(0u, dt.fraction);
  EXPECT_EQ(2024, ts.year);
  EXPECT_EQ(2, ts.month);
  EXPECT_EQ(29, ts.day);
  for (SQLLEN i : ind) EXPECT_NE(SQL_NULL_DATA, i);
}

TEST_P(ProcCall, NumericStructOutput) {
  const std::string p = Name("qmr_num");
  CreateOneOut(p, "DECIMAL(12,3)", "-98.125", "-98.125", "decimal");
  SQL_NUMERIC_STRUCT num{};
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS,
            Bind(1, SQL_PARAM_OUTPUT, SQL_C_NUMERIC, SQL_DECIMAL, 12, 3, &num, sizeof num, &ind));
  // The descriptor's precision and scale decide how the value is scaled.
  SQLHDESC apd = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_PRECISION, (SQLPOINTER)12, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_SCALE, (SQLPOINTER)3, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_DATA_PTR, &num, 0));
  ASSERT_EQ(SQL_SUCCESS, Run("{call " + p + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(0, num.sign) << "negative";
  EXPECT_EQ(3, num.scale);
  const unsigned value = num.val[0] | (num.val[1] << 8) | (num.val[2] << 16);
  EXPECT_EQ(98125u, value);
}

TEST_P(ProcCall, LongOutputArrivesWholeIntoALargeBuffer) {
  // Longer than any default width: the application's buffer decides.
  const std::string p = Name("qmr_long");
  CreateOneOut(p, "VARCHAR(12000)", "REPEAT('x', 8999) || 'y'", "repeat('x', 8999) || 'y'",
               "longText");
  std::vector<char> buf(20001, '#');
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 12000, 0, buf.data(),
                              static_cast<SQLLEN>(buf.size()), &ind));
  ASSERT_EQ(SQL_SUCCESS, Run("{call " + p + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(9000, ind);
  EXPECT_EQ(std::string(8999, 'x') + "y", std::string(buf.data()));

  if (wide_) {
    std::vector<SQLWCHAR> wbuf(12001, 0x2323);
    SQLLEN wind = 0;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_OUTPUT, SQL_C_WCHAR, SQL_WVARCHAR, 12000, 0,
                                wbuf.data(), static_cast<SQLLEN>(wbuf.size() * 2), &wind));
    ASSERT_EQ(SQL_SUCCESS, Run("{call " + p + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(18000, wind);
    EXPECT_EQ(u'y', wbuf[8999]);
    EXPECT_EQ(0, wbuf[9000]);
  }
}

TEST_P(ProcCall, LongInputOutputValueComesBackWhole) {
  // An INOUT text longer than what was sent: the buffer is the width.
  const std::string p = Name("qmr_grow");
  if (db_ == Db::Derby)
    CreateDerby(p, "INOUT v VARCHAR(8000)", "grow");
  else if (db_ == Db::Pg)
    Create("FUNCTION", p,
           "CREATE FUNCTION " + p +
               "(INOUT v VARCHAR(8000)) LANGUAGE plpgsql AS $$ BEGIN"
               " v := v || repeat('z', 5000); END $$");
  else
    Create("PROCEDURE", p,
           "CREATE PROCEDURE " + p +
               "(INOUT v VARCHAR(8000)) BEGIN ATOMIC"
               " SET v = v || REPEAT('z', 5000); END");
  std::vector<char> buf(8001, 0);
  std::memcpy(buf.data(), "abc", 4);
  SQLLEN ind = SQL_NTS;
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_INPUT_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 8000, 0,
                              buf.data(), static_cast<SQLLEN>(buf.size()), &ind));
  ASSERT_EQ(SQL_SUCCESS, Run("{call " + p + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(5003, ind);
  EXPECT_EQ("abc" + std::string(5000, 'z'), std::string(buf.data()));
}

TEST_P(ProcCall, ProcedureWithInputReturnsAResultSet) {
  const std::string p = Name("qmr_rows");
  if (db_ == Db::Derby)
    CreateDerby(p, "IN n INTEGER", "rows", "READS SQL DATA DYNAMIC RESULT SETS 1");
  else if (db_ == Db::Pg)
    Create("FUNCTION", p,
           "CREATE FUNCTION " + p +
               "(n INTEGER) RETURNS TABLE(k INTEGER, sq INTEGER)"
               " LANGUAGE sql AS $$ SELECT g, g * g FROM generate_series(1, n) g $$");
  else
    Create("PROCEDURE", p,
           "CREATE PROCEDURE " + p +
               "(IN n INTEGER) READS SQL DATA DYNAMIC RESULT SETS 1"
               " BEGIN ATOMIC DECLARE cur CURSOR WITH RETURN FOR"
               " SELECT c1, c1 * c1 FROM (VALUES (1), (2), (3), (4), (5)) AS t(c1) WHERE c1 <= n;"
               " OPEN cur; END");
  SQLINTEGER n = 3;
  SQLLEN nInd = 0;
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, &nInd));
  ASSERT_TRUE(SQL_SUCCEEDED(Run("{call " + p + "(?)}"))) << Diag(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols));
  ASSERT_EQ(2, cols);
  std::vector<int> squares;
  while (SQLFetch(stmt_) == SQL_SUCCESS) {
    SQLINTEGER k = 0, sq = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_SLONG, &k, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_SLONG, &sq, 0, nullptr));
    EXPECT_EQ(k * k, sq);
    squares.push_back(sq);
  }
  EXPECT_EQ((std::vector<int>{1, 4, 9}), squares);
}

TEST_P(ProcCall, OutputIntoCharacterBufferFromInteger) {
  // An INTEGER output read as text: converted, not cut to a default width.
  const std::string p = Name("qmr_itxt");
  CreateOneOut(p, "INTEGER", "-123456", "-123456", "intValue");
  char text[16] = "";
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS,
            Bind(1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_INTEGER, 10, 0, text, sizeof text, &ind));
  ASSERT_EQ(SQL_SUCCESS, Run("{call " + p + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_STREQ("-123456", text);
  EXPECT_EQ(7, ind);
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, ProcCall, ::testing::ValuesIn(qmr_test::TestDsns()));

// ---------------------------------------------------------------------------
// A function's value through {? = call f(?)}.
class FunctionValue : public ProcDmBase {
 protected:
  void SetUp() override {
    ProcDmBase::SetUp();
    if (db_ == Db::Hsql) GTEST_SKIP() << "HSQLDB takes the leading marker as an input";
  }
  // f(x INTEGER) RETURNS INTEGER: |x|.
  void CreateAbs(const std::string& name) {
    switch (db_) {
      case Db::Pg:
        Create("FUNCTION", name,
               "CREATE FUNCTION " + name +
                   "(x INTEGER) RETURNS INTEGER LANGUAGE sql AS"
                   " $$ SELECT abs(x) $$");
        break;
      case Db::H2:
        Create("ALIAS", name, "CREATE ALIAS " + name + " FOR 'java.lang.Math.abs(int)'");
        break;
      case Db::Derby:
        Create("FUNCTION", name,
               "CREATE FUNCTION " + name +
                   "(x INTEGER) RETURNS INTEGER LANGUAGE JAVA"
                   " PARAMETER STYLE JAVA NO SQL EXTERNAL NAME 'java.lang.Math.abs'");
        break;
      default: break;
    }
  }
};

TEST_P(FunctionValue, ReturnValueLandsInTheFirstMarker) {
  const std::string f = Name("qmr_abs");
  CreateAbs(f);
  SQLINTEGER x = -17, r = 0;
  SQLLEN xInd = 0, rInd = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, (SQLCHAR*)("{? = call " + f + "(?)}").c_str(), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt_, &n));
  EXPECT_EQ(2, n);
  ASSERT_EQ(SQL_SUCCESS, Bind(1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &r, 0, &rInd));
  ASSERT_EQ(SQL_SUCCESS, Bind(2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &x, 0, &xInd));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(17, r);
  EXPECT_EQ(static_cast<SQLLEN>(sizeof r), rInd);

  x = 4;
  r = -1;
  SQLFreeStmt(stmt_, SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(4, r);
}

TEST_P(FunctionValue, ReturnValueAsText) {
  const std::string f = Name("qmr_abst");
  CreateAbs(f);
  SQLINTEGER x = -250;
  SQLLEN xInd = 0, rInd = 0;
  char r[8] = "";
  ASSERT_EQ(SQL_SUCCESS,
            Bind(1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_INTEGER, 10, 0, r, sizeof r, &rInd));
  ASSERT_EQ(SQL_SUCCESS, Bind(2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &x, 0, &xInd));
  ASSERT_EQ(SQL_SUCCESS, Run("{? = call " + f + "(?)}")) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_STREQ("250", r);
  EXPECT_EQ(3, rInd);
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, FunctionValue, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
