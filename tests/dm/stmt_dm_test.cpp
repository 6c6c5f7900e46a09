// Statements through unixODBC's Driver Manager on HSQLDB in memory, with
// both builds of the driver and as ODBC 3 and ODBC 2 applications: DDL and
// DML with their row counts, the description of a result of every common
// column type, every column attribute of ODBC 3 and ODBC 2, closing, freeing
// and cancelling, escape clauses and the read-only connection.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"

namespace {

using qmr_test::Diag;
using qmr_test::State;

struct Build {
  const char* dsn;
  bool wide;  // the Unicode build, called through the W entry points
  int odbc;   // the application's ODBC version
};

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string Narrow(const SQLWCHAR* w, size_t units) {
  std::string s;
  for (size_t i = 0; i < units; ++i) s.push_back(static_cast<char>(w[i]));
  return s;
}

class StatementDm : public ::testing::TestWithParam<Build>, public qmr_test::DmSession {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    ASSERT_TRUE(NewEnv(GetParam().odbc == 2 ? SQL_OV_ODBC2 : SQL_OV_ODBC3));
    ASSERT_TRUE(ConnectString(std::string("DSN=") + GetParam().dsn));
  }
  void TearDown() override { Close(); }

  bool Wide() const { return GetParam().wide; }
  bool Odbc2() const { return GetParam().odbc == 2; }

  SQLRETURN Exec(SQLHSTMT s, const std::string& sql) {
    if (Wide()) {
      const std::u16string w = U16(sql);
      return SQLExecDirectW(s, (SQLWCHAR*)w.c_str(), SQL_NTS);
    }
    return SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
  SQLRETURN Exec(const std::string& sql) { return Exec(stmt_, sql); }
  void MustExec(const std::string& sql) {
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(sql))) << sql << "\n" << Diag(SQL_HANDLE_STMT, stmt_);
  }
  SQLLEN RowCount() {
    SQLLEN n = -99;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &n)) << Diag(SQL_HANDLE_STMT, stmt_);
    return n;
  }
  // Runs a DML statement and gives its row count.
  SQLLEN Rows(const std::string& sql) {
    const SQLRETURN rc = Exec(sql);
    const SQLLEN n = RowCount();
    // ODBC 3 answers a searched change of no row with SQL_NO_DATA.
    const bool searched = sql.rfind("UPDATE", 0) == 0 || sql.rfind("DELETE", 0) == 0;
    EXPECT_EQ(n == 0 && searched && !Odbc2() ? SQL_NO_DATA : SQL_SUCCESS, rc)
        << sql << "\n"
        << Diag(SQL_HANDLE_STMT, stmt_);
    return n;
  }
  // A table of its own for each build and version (each build has its own
  // in-memory database, but the versions share it).
  std::string Table(const char* stem) const {
    return std::string(stem) + (GetParam().odbc == 2 ? "_v2" : "_v3");
  }
  void Fresh(const std::string& table, const std::string& columns) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
  }

  // Column attributes through SQLColAttribute(W) (ODBC 3 applications) or
  // SQLColAttributes(W) (ODBC 2 applications), numeric and text.
  SQLLEN Num(SQLUSMALLINT col, SQLUSMALLINT field, bool odbc2Call = false) {
    SQLLEN v = -12345;
    SQLRETURN rc;
    if (odbc2Call)
      rc = Wide() ? SQLColAttributesW(stmt_, col, field, nullptr, 0, nullptr, &v)
                  : SQLColAttributes(stmt_, col, field, nullptr, 0, nullptr, &v);
    else
      rc = Wide() ? SQLColAttributeW(stmt_, col, field, nullptr, 0, nullptr, &v)
                  : SQLColAttribute(stmt_, col, field, nullptr, 0, nullptr, &v);
    EXPECT_EQ(SQL_SUCCESS, rc) << "column " << col << " field " << field << "\n"
                               << Diag(SQL_HANDLE_STMT, stmt_);
    return v;
  }
  std::string Text(SQLUSMALLINT col, SQLUSMALLINT field, bool odbc2Call = false) {
    SQLSMALLINT len = -1;
    SQLRETURN rc;
    std::string out;
    if (Wide()) {
      SQLWCHAR buf[128] = {'?', 0};
      rc = odbc2Call ? SQLColAttributesW(stmt_, col, field, buf, sizeof buf, &len, nullptr)
                     : SQLColAttributeW(stmt_, col, field, buf, sizeof buf, &len, nullptr);
      size_t n = 0;
      while (buf[n] != 0) ++n;
      out = Narrow(buf, n);
      EXPECT_EQ(static_cast<SQLSMALLINT>(2 * n), len) << "column " << col << " field " << field;
    } else {
      SQLCHAR buf[128] = "?";
      rc = odbc2Call ? SQLColAttributes(stmt_, col, field, buf, sizeof buf, &len, nullptr)
                     : SQLColAttribute(stmt_, col, field, buf, sizeof buf, &len, nullptr);
      out = reinterpret_cast<char*>(buf);
      EXPECT_EQ(static_cast<SQLSMALLINT>(out.size()), len)
          << "column " << col << " field " << field;
    }
    EXPECT_EQ(SQL_SUCCESS, rc) << "column " << col << " field " << field << "\n"
                               << Diag(SQL_HANDLE_STMT, stmt_);
    return out;
  }
};

// ---------------------------------------------------------------------------
// DDL and DML.

TEST_P(StatementDm, CreateInsertUpdateDeleteWithTheirRowCounts) {
  const std::string t = Table("sdm_dml");
  Fresh(t, "n INTEGER, s VARCHAR(10)");
  // No result set after DDL or DML: SQLNumResultCols answers 0, and the
  // Driver Manager asked the same question itself after each execute.
  SQLSMALLINT cols = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(0, cols);
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(1, Rows("INSERT INTO " + t + " VALUES (" + std::to_string(i) + ", 'x')"));
  cols = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(0, cols);
  EXPECT_EQ(2, Rows("UPDATE " + t + " SET s = 'y' WHERE n >= 2"));
  EXPECT_EQ(0, Rows("UPDATE " + t + " SET s = 'z' WHERE n > 100"));
  EXPECT_EQ(3, Rows("UPDATE " + t + " SET n = n"));
  EXPECT_EQ(1, Rows("DELETE FROM " + t + " WHERE s = 'x'"));
  EXPECT_EQ(2, Rows("UPDATE " + t + " SET n = n"));
}

TEST_P(StatementDm, PreparedDmlRunsAgainWithFreshCounts) {
  const std::string t = Table("sdm_prep");
  Fresh(t, "n INTEGER");
  const std::string sql = "INSERT INTO " + t + " VALUES (7)";
  SQLRETURN rc;
  if (Wide()) {
    const std::u16string w = U16(sql);
    rc = SQLPrepareW(stmt_, (SQLWCHAR*)w.c_str(), SQL_NTS);
  } else {
    rc = SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
  ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(1, RowCount());
  }
  EXPECT_EQ(3, Rows("UPDATE " + t + " SET n = 8 WHERE n = 7"));
}

TEST_P(StatementDm, SyntaxErrorsComeFromTheDatabaseWithTheDriversPrefix) {
  EXPECT_EQ(SQL_ERROR, Exec("SELEKT 1 FROM nowhere"));
  const std::string d = Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_NE(d.find("[Quillmar][ODBC]"), std::string::npos) << d;
  EXPECT_EQ(d.substr(0, 2), "42") << d;
}

// ---------------------------------------------------------------------------
// Describing a result.

struct Column {
  const char* name;
  SQLSMALLINT type;  // ODBC 3, 8-bit build
  SQLULEN size;
  SQLSMALLINT digits;
  SQLSMALLINT nullable;
  SQLLEN octets;   // SQL_DESC_OCTET_LENGTH, both builds
  SQLLEN length2;  // SQL_COLUMN_LENGTH, both builds
  SQLLEN radix;
  SQLLEN isUnsigned;
  SQLLEN searchable;
};

constexpr SQLULEN kLong = 1073741824;     // HSQLDB's CLOB and BLOB of no declared length
constexpr SQLLEN kLongText = 0x7FFFFFFF;  // their octets: four a character, capped

const Column kColumns[] = {
    {"I", SQL_INTEGER, 10, 0, SQL_NO_NULLS, 4, 4, 10, SQL_FALSE, SQL_PRED_BASIC},
    {"BI", SQL_BIGINT, 19, 0, SQL_NULLABLE, 8, 8, 10, SQL_FALSE, SQL_PRED_BASIC},
    {"SI", SQL_SMALLINT, 5, 0, SQL_NULLABLE, 2, 2, 10, SQL_FALSE, SQL_PRED_BASIC},
    {"DE", SQL_DECIMAL, 12, 2, SQL_NULLABLE, 14, 14, 10, SQL_FALSE, SQL_PRED_BASIC},
    {"DB", SQL_DOUBLE, 15, 0, SQL_NULLABLE, 8, 8, 10, SQL_FALSE, SQL_PRED_BASIC},
    {"VC", SQL_VARCHAR, 20, 0, SQL_NULLABLE, 80, 80, 0, SQL_TRUE, SQL_SEARCHABLE},
    {"CH", SQL_CHAR, 5, 0, SQL_NULLABLE, 20, 20, 0, SQL_TRUE, SQL_SEARCHABLE},
    {"D", SQL_TYPE_DATE, 10, 0, SQL_NULLABLE, 6, 6, 0, SQL_TRUE, SQL_PRED_BASIC},
    {"T", SQL_TYPE_TIME, 8, 0, SQL_NULLABLE, 6, 6, 0, SQL_TRUE, SQL_PRED_BASIC},
    {"TS", SQL_TYPE_TIMESTAMP, 26, 6, SQL_NULLABLE, 16, 16, 0, SQL_TRUE, SQL_PRED_BASIC},
    {"B", SQL_BIT, 1, 0, SQL_NULLABLE, 1, 1, 0, SQL_TRUE, SQL_PRED_BASIC},
    // SEARCHABLE as HSQLDB's type information gives it for the type.
    {"VB", SQL_VARBINARY, 16, 0, SQL_NULLABLE, 16, 16, 0, SQL_TRUE, SQL_SEARCHABLE},
    {"CL", SQL_LONGVARCHAR, kLong, 0, SQL_NULLABLE, kLongText, kLongText, 0, SQL_TRUE,
     SQL_PRED_NONE},
    {"BL", SQL_LONGVARBINARY, kLong, 0, SQL_NULLABLE, kLong, kLong, 0, SQL_TRUE, SQL_PRED_NONE},
};
constexpr SQLUSMALLINT kColumnCount = sizeof kColumns / sizeof kColumns[0];

class DescribeDm : public StatementDm {
 protected:
  void SetUp() override {
    StatementDm::SetUp();
    if (HasFatalFailure()) return;
    table_ = Table("sdm_types");
    Fresh(table_,
          "i INTEGER NOT NULL PRIMARY KEY, bi BIGINT, si SMALLINT, de DECIMAL(12,2), db DOUBLE, "
          "vc VARCHAR(20), ch CHAR(5), d DATE, t TIME, ts TIMESTAMP, b BOOLEAN, "
          "vb VARBINARY(16), cl CLOB, bl BLOB");
    MustExec("SELECT * FROM " + table_);
  }
  // What this build and version answers for the column.
  Column Expected(SQLUSMALLINT i) const {
    Column c = kColumns[i - 1];
    if (Wide()) {
      switch (c.type) {
        case SQL_VARCHAR: c.type = SQL_WVARCHAR; break;
        case SQL_CHAR: c.type = SQL_WCHAR; break;
        case SQL_LONGVARCHAR: c.type = SQL_WLONGVARCHAR; break;
        default: break;
      }
    }
    if (Odbc2()) {
      switch (c.type) {
        case SQL_TYPE_DATE: c.type = SQL_DATE; break;
        case SQL_TYPE_TIME: c.type = SQL_TIME; break;
        case SQL_TYPE_TIMESTAMP: c.type = SQL_TIMESTAMP; break;
        default: break;
      }
    }
    return c;
  }
  static bool Character(SQLSMALLINT t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
           t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
  }
  static SQLSMALLINT Verbose(SQLSMALLINT t) {
    return t >= SQL_TYPE_DATE && t <= SQL_TYPE_TIMESTAMP ? SQL_DATETIME : t;
  }

  std::string table_;
};

TEST_P(DescribeDm, DescribeColGivesTypeSizeDigitsAndNullability) {
  SQLSMALLINT count = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &count)) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(kColumnCount, count);
  for (SQLUSMALLINT i = 1; i <= kColumnCount; ++i) {
    const Column want = Expected(i);
    SQLSMALLINT type = 0, digits = -1, nullable = -1, len = -1;
    SQLULEN size = 0;
    std::string name;
    if (Wide()) {
      SQLWCHAR buf[32];
      ASSERT_EQ(SQL_SUCCESS,
                SQLDescribeColW(stmt_, i, buf, 32, &len, &type, &size, &digits, &nullable))
          << Diag(SQL_HANDLE_STMT, stmt_);
      name = Narrow(buf, static_cast<size_t>(len));
    } else {
      SQLCHAR buf[32];
      ASSERT_EQ(SQL_SUCCESS,
                SQLDescribeCol(stmt_, i, buf, sizeof buf, &len, &type, &size, &digits, &nullable))
          << Diag(SQL_HANDLE_STMT, stmt_);
      name = reinterpret_cast<char*>(buf);
    }
    SCOPED_TRACE(want.name);
    EXPECT_EQ(want.name, name);
    EXPECT_EQ(static_cast<SQLSMALLINT>(name.size()), len);
    EXPECT_EQ(want.type, type);
    EXPECT_EQ(want.size, size);
    EXPECT_EQ(want.digits, digits);
    EXPECT_EQ(want.nullable, nullable);
  }
}

TEST_P(DescribeDm, ShortNameBufferCutsTheNameWithAWarning) {
  SQLSMALLINT len = -1;
  if (Wide()) {
    SQLWCHAR buf[2];
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLDescribeColW(stmt_, 2, buf, 2, &len, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u'B', buf[0]);
    EXPECT_EQ(0, buf[1]);
  } else {
    SQLCHAR buf[2];
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLDescribeCol(stmt_, 2, buf, sizeof buf, &len, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("B", reinterpret_cast<char*>(buf));
  }
  EXPECT_EQ(2, len);
  EXPECT_EQ("01004", State(SQL_HANDLE_STMT, stmt_));
}

TEST_P(DescribeDm, EveryOdbc3FieldOfEveryColumn) {
  if (Odbc2()) GTEST_SKIP() << "ODBC 2 applications ask through SQLColAttributes";
  EXPECT_EQ(kColumnCount, Num(1, SQL_DESC_COUNT));
  for (SQLUSMALLINT i = 1; i <= kColumnCount; ++i) {
    const Column want = Expected(i);
    SCOPED_TRACE(want.name);
    EXPECT_EQ(want.type, Num(i, SQL_DESC_CONCISE_TYPE));
    EXPECT_EQ(Verbose(want.type), Num(i, SQL_DESC_TYPE));
    EXPECT_EQ(want.nullable, Num(i, SQL_DESC_NULLABLE));
    EXPECT_EQ(want.octets, Num(i, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(want.radix, Num(i, SQL_DESC_NUM_PREC_RADIX));
    EXPECT_EQ(want.isUnsigned, Num(i, SQL_DESC_UNSIGNED));
    EXPECT_EQ(want.searchable, Num(i, SQL_DESC_SEARCHABLE));
    EXPECT_EQ(SQL_NAMED, Num(i, SQL_DESC_UNNAMED));
    EXPECT_EQ(SQL_FALSE, Num(i, SQL_DESC_AUTO_UNIQUE_VALUE));
    EXPECT_EQ(Character(want.type) ? SQL_TRUE : SQL_FALSE, Num(i, SQL_DESC_CASE_SENSITIVE));
    const SQLLEN updatable = Num(i, SQL_DESC_UPDATABLE);
    EXPECT_TRUE(updatable == SQL_ATTR_READONLY || updatable == SQL_ATTR_WRITE ||
                updatable == SQL_ATTR_READWRITE_UNKNOWN)
        << updatable;
    const SQLLEN fixed = Num(i, SQL_DESC_FIXED_PREC_SCALE);
    EXPECT_TRUE(fixed == SQL_FALSE || (fixed == SQL_TRUE && want.digits != 0)) << fixed;
    // Character and binary columns: their length in characters or bytes;
    // exact numbers their precision and scale; the fraction of a timestamp
    // its precision.
    const SQLLEN length = Num(i, SQL_DESC_LENGTH);
    const SQLLEN precision = Num(i, SQL_DESC_PRECISION);
    const SQLLEN scale = Num(i, SQL_DESC_SCALE);
    switch (want.type) {
      case SQL_VARCHAR:
      case SQL_WVARCHAR:
      case SQL_CHAR:
      case SQL_WCHAR:
      case SQL_VARBINARY: EXPECT_EQ(static_cast<SQLLEN>(want.size), length); break;
      case SQL_INTEGER:
      case SQL_BIGINT:
      case SQL_SMALLINT:
      case SQL_DECIMAL:
      case SQL_DOUBLE:
        EXPECT_EQ(static_cast<SQLLEN>(want.size), precision);
        EXPECT_EQ(want.digits, scale);
        break;
      case SQL_TYPE_TIMESTAMP: EXPECT_EQ(6, precision); break;
      default: break;
    }
    const SQLLEN display = Num(i, SQL_DESC_DISPLAY_SIZE);
    EXPECT_GE(display, want.type == SQL_DECIMAL ? 14 : 1);
    EXPECT_EQ(want.name, Text(i, SQL_DESC_NAME));
    EXPECT_EQ(want.name, Text(i, SQL_DESC_LABEL));
    EXPECT_EQ(want.name, Text(i, SQL_DESC_BASE_COLUMN_NAME));
    EXPECT_EQ("", Text(i, SQL_DESC_LOCAL_TYPE_NAME));
    // Answered, whatever the database tells about them.
    for (SQLUSMALLINT f : {SQL_DESC_TABLE_NAME, SQL_DESC_BASE_TABLE_NAME, SQL_DESC_SCHEMA_NAME,
                           SQL_DESC_CATALOG_NAME, SQL_DESC_TYPE_NAME, SQL_DESC_LITERAL_PREFIX,
                           SQL_DESC_LITERAL_SUFFIX})
      Text(i, f);
  }
}

TEST_P(DescribeDm, EveryOdbc2FieldOfEveryColumn) {
  // Asked through SQLColAttributes by either kind of application; the
  // Driver Manager hands them to the driver's SQLColAttribute.
  EXPECT_EQ(kColumnCount, Num(1, SQL_COLUMN_COUNT, true));
  for (SQLUSMALLINT i = 1; i <= kColumnCount; ++i) {
    const Column want = Expected(i);
    SCOPED_TRACE(want.name);
    EXPECT_EQ(want.type, Num(i, SQL_COLUMN_TYPE, true));
    EXPECT_EQ(want.length2, Num(i, SQL_COLUMN_LENGTH, true));
    EXPECT_EQ(static_cast<SQLLEN>(want.size), Num(i, SQL_COLUMN_PRECISION, true));
    EXPECT_EQ(want.digits, Num(i, SQL_COLUMN_SCALE, true));
    EXPECT_EQ(want.nullable, Num(i, SQL_COLUMN_NULLABLE, true));
    EXPECT_EQ(want.isUnsigned, Num(i, SQL_COLUMN_UNSIGNED, true));
    EXPECT_EQ(SQL_FALSE, Num(i, SQL_COLUMN_MONEY, true));
    EXPECT_EQ(SQL_FALSE, Num(i, SQL_COLUMN_AUTO_INCREMENT, true));
    EXPECT_EQ(Character(want.type) ? SQL_TRUE : SQL_FALSE, Num(i, SQL_COLUMN_CASE_SENSITIVE, true));
    EXPECT_EQ(want.searchable, Num(i, SQL_COLUMN_SEARCHABLE, true));
    EXPECT_GE(Num(i, SQL_COLUMN_DISPLAY_SIZE, true), 1);
    const SQLLEN updatable = Num(i, SQL_COLUMN_UPDATABLE, true);
    EXPECT_TRUE(updatable >= SQL_ATTR_READONLY && updatable <= SQL_ATTR_READWRITE_UNKNOWN);
    EXPECT_EQ(want.name, Text(i, SQL_COLUMN_NAME, true));
    EXPECT_EQ(want.name, Text(i, SQL_COLUMN_LABEL, true));
    for (SQLUSMALLINT f : {SQL_COLUMN_TYPE_NAME, SQL_COLUMN_TABLE_NAME, SQL_COLUMN_OWNER_NAME,
                           SQL_COLUMN_QUALIFIER_NAME})
      Text(i, f, true);
  }
}

TEST_P(DescribeDm, Odbc3ApplicationsMayAskOdbc2FieldsThroughColAttribute) {
  if (Odbc2()) GTEST_SKIP() << "an ODBC 3 call";
  for (SQLUSMALLINT i = 1; i <= kColumnCount; ++i) {
    const Column want = Expected(i);
    SCOPED_TRACE(want.name);
    EXPECT_EQ(want.length2, Num(i, SQL_COLUMN_LENGTH));
    EXPECT_EQ(static_cast<SQLLEN>(want.size), Num(i, SQL_COLUMN_PRECISION));
    EXPECT_EQ(want.digits, Num(i, SQL_COLUMN_SCALE));
  }
}

TEST_P(DescribeDm, ColumnNumbersOutsideTheResult) {
  SQLSMALLINT type = 0;
  EXPECT_EQ(SQL_ERROR, SQLDescribeCol(stmt_, kColumnCount + 1, nullptr, 0, nullptr, &type, nullptr,
                                      nullptr, nullptr));
  EXPECT_EQ(Odbc2() ? "S1002" : "07009", State(SQL_HANDLE_STMT, stmt_));
}

// ---------------------------------------------------------------------------
// No result set.

TEST_P(StatementDm, DescribingAStatementWithoutAResultSet) {
  const std::string t = Table("sdm_nores");
  Fresh(t, "n INTEGER");
  ASSERT_EQ(SQL_SUCCESS, Exec("INSERT INTO " + t + " VALUES (1)")) << Diag(SQL_HANDLE_STMT, stmt_);
  SQLSMALLINT n = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &n)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(0, n);
  SQLSMALLINT type = 0;
  EXPECT_EQ(SQL_ERROR,
            SQLDescribeCol(stmt_, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr));
  const std::string d = Diag(SQL_HANDLE_STMT, stmt_);
  // ODBC 3 reports a statement that is no query as 07005, ODBC 2
  // an invalid cursor state; the Driver Manager may answer it itself.
  EXPECT_EQ(Odbc2() ? "24000" : "07005", d.substr(0, 5)) << d;
  SQLLEN v = -1;
  EXPECT_EQ(SQL_ERROR, SQLColAttribute(stmt_, 1, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &v));
  EXPECT_EQ(Odbc2() ? "24000" : "07005", State(SQL_HANDLE_STMT, stmt_));
}

// ---------------------------------------------------------------------------
// Closing, freeing and cancelling.

TEST_P(StatementDm, FreeStmtWithEachOption) {
  const std::string t = Table("sdm_free");
  Fresh(t, "n INTEGER");
  MustExec("SELECT n FROM " + t);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE)) << Diag(SQL_HANDLE_STMT, stmt_);
  // Closed: the statement runs again, and closing twice is harmless.
  MustExec("SELECT n FROM " + t);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_RESET_PARAMS)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(SQL_ERROR, SQLFreeStmt(stmt_, 4));
  EXPECT_EQ(Odbc2() ? "S1092" : "HY092", State(SQL_HANDLE_STMT, stmt_));
  // Dropping frees the handle; the connection goes on with a new one.
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_DROP));
  stmt_ = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
  EXPECT_EQ(1, Rows("INSERT INTO " + t + " VALUES (1)"));
}

TEST_P(StatementDm, CloseCursorWithoutACursorIsAnInvalidCursorState) {
  if (Odbc2()) GTEST_SKIP() << "an ODBC 3 call";
  // Never executed.
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt_));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, stmt_));
  const std::string t = Table("sdm_close");
  Fresh(t, "n INTEGER");
  // After a statement without a result set.
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt_));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, stmt_));
  // Open, closed, closed again.
  MustExec("SELECT n FROM " + t);
  EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt_));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, stmt_));
  // The closed statement runs again.
  MustExec("SELECT n FROM " + t);
  EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt_));
}

TEST_P(StatementDm, CancelOfAnIdleStatementClosesItsResult) {
  const std::string t = Table("sdm_cancel");
  Fresh(t, "n INTEGER");
  MustExec("SELECT n FROM " + t);
  const SQLRETURN rc = SQLCancel(stmt_);
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_STMT, stmt_);
  if (rc == SQL_SUCCESS_WITH_INFO) {
    EXPECT_EQ("01S05", State(SQL_HANDLE_STMT, stmt_));
  }
  // Cancelling an idle statement again is harmless, and the statement is
  // usable afterwards.
  EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(stmt_)));
  MustExec("SELECT n FROM " + t);
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &n));
  EXPECT_EQ(1, n);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE));
}

// ---------------------------------------------------------------------------
// Escape clauses reach the database in a form it runs; the counts show what
// matched.

TEST_P(StatementDm, EscapeClauses) {
  const std::string t = Table("sdm_esc");
  Fresh(t, "n INTEGER, s VARCHAR(10), d DATE, tm TIME, ts TIMESTAMP");
  EXPECT_EQ(1, Rows("INSERT INTO " + t +
                    " VALUES (1, 'abc', {d '2024-01-02'}, {t '10:20:30'}, "
                    "{ts '2024-01-02 10:20:30.5'})"));
  EXPECT_EQ(1, Rows("INSERT INTO " + t + " VALUES (2, 'Xyz', NULL, NULL, NULL)"));
  EXPECT_EQ(1, Rows("UPDATE " + t + " SET n = n WHERE d = {d '2024-01-02'}"));
  EXPECT_EQ(1, Rows("UPDATE " + t + " SET n = n WHERE tm = {t '10:20:30'}"));
  EXPECT_EQ(1, Rows("UPDATE " + t + " SET n = n WHERE ts = {ts '2024-01-02 10:20:30.5'}"));
  EXPECT_EQ(1, Rows("UPDATE " + t + " SET n = n WHERE {fn UCASE(s)} = 'ABC'"));
  EXPECT_EQ(2, Rows("UPDATE " + t + " SET n = n WHERE {fn LENGTH(s)} = 3"));
  EXPECT_EQ(1, Rows("UPDATE " + t + " SET n = n WHERE s LIKE 'X\\_%' {escape '\\'} OR s = 'Xyz'"));
  EXPECT_EQ(2, Rows("UPDATE " + t +
                    " SET n = {fn ABS(n)} WHERE {fn CONVERT(n, SQL_VARCHAR)} "
                    "IN ('1', '2')"));
  // An outer join in a query: described, two columns.
  MustExec("SELECT a.n, b.s FROM {oj " + t + " a LEFT OUTER JOIN " + t + " b ON a.n = b.n + 5}");
  SQLSMALLINT cols = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols));
  EXPECT_EQ(2, cols);
}

// ---------------------------------------------------------------------------
// Read-only connection.

TEST_P(StatementDm, NonSelectOnAReadOnlyConnectionIsRefused) {
  const std::string t = Table("sdm_ro");
  Fresh(t, "n INTEGER");
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc_, SQL_ATTR_ACCESS_MODE,
                                           reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0))
      << Diag(SQL_HANDLE_DBC, dbc_);
  for (const std::string& sql : {"INSERT INTO " + t + " VALUES (1)", "UPDATE " + t + " SET n = 2",
                                 "DELETE FROM " + t, "CREATE TABLE " + t + "_x (n INTEGER)"}) {
    EXPECT_EQ(SQL_ERROR, Exec(sql)) << sql;
    const std::string d = Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_NE(d.find("IM916 [Quillmar][ODBC][Driver]Only SELECT statements are allowed during "
                     "a read-only connection."),
              std::string::npos)
        << sql << "\n"
        << d;
  }
  // Queries still run.
  MustExec("SELECT n FROM " + t);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE));
  // Read-write again: the statement runs.
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc_, SQL_ATTR_ACCESS_MODE,
                                           reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_WRITE), 0));
  EXPECT_EQ(1, Rows("INSERT INTO " + t + " VALUES (1)"));
}

const Build kBuilds[] = {
    {"QmrHsqlU", true, 3}, {"QmrHsqlA", false, 3}, {"QmrHsqlU", true, 2}, {"QmrHsqlA", false, 2}};

std::string BuildName(const ::testing::TestParamInfo<Build>& info) {
  return std::string(info.param.wide ? "Unicode" : "Ansi") + "Odbc" +
         std::to_string(info.param.odbc);
}

INSTANTIATE_TEST_SUITE_P(Builds, StatementDm, ::testing::ValuesIn(kBuilds), BuildName);
INSTANTIATE_TEST_SUITE_P(Builds, DescribeDm, ::testing::ValuesIn(kBuilds), BuildName);

}  // namespace
