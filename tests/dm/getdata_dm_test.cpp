// SQLGetData as applications drive it: text read in pieces the way pyodbc,
// PHP and DBI do (a cut piece taken as a full buffer, read until
// SQL_NO_DATA), however small the buffer against a character; a bound column
// refused; NaN and the infinities of a floating-point column into every kind
// of target. Both builds, on HSQLDB and (dm_tests_pg) PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::FromUtf8;
using qmr_test::State;

class GetDataDm : public qmr_test::DmTest {
 protected:
  // Text with non-ASCII characters goes to the Unicode build as UTF-16 and
  // to the ANSI build as UTF-8.
  void ExecText(const std::string& sql) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLRETURN rc;
    if (GetParam().back() == 'U') {
      std::u16string w = FromUtf8(sql);
      rc = SQLExecDirectW(stmt_, reinterpret_cast<SQLWCHAR*>(&w[0]),
                          static_cast<SQLINTEGER>(w.size()));
    } else {
      rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    }
    ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql.substr(0, 120) << "\n"
                                                        << Diag(SQL_HANDLE_STMT, stmt_);
  }

  // One value read in pieces of `size` bytes as an application does it: a
  // cut piece (01004) is the buffer less its terminator, the last piece is
  // what the length says; SQL_NO_DATA ends the read. The bytes joined, and
  // the length the first call reported.
  std::string ReadInPieces(SQLSMALLINT cType, size_t size, SQLLEN* firstLength) {
    const size_t term = cType == SQL_C_WCHAR ? 2 : 1;
    std::vector<char> buf(size);
    std::string all;
    *firstLength = 0;
    for (int calls = 0; calls < 20000; ++calls) {
      SQLLEN len = 0;
      const SQLRETURN rc = SQLGetData(stmt_, 1, cType, buf.data(), static_cast<SQLLEN>(size), &len);
      if (rc == SQL_NO_DATA) return all;
      if (calls == 0) *firstLength = len;
      if (rc == SQL_SUCCESS_WITH_INFO) {
        EXPECT_EQ("01004", State(SQL_HANDLE_STMT, stmt_));
        all.append(buf.data(), size - term);
      } else if (rc == SQL_SUCCESS) {
        all.append(buf.data(), static_cast<size_t>(len));
      } else {
        ADD_FAILURE() << Diag(SQL_HANDLE_STMT, stmt_);
        return all;
      }
    }
    ADD_FAILURE() << "no SQL_NO_DATA after 20000 calls";
    return all;
  }
};

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string Utf16Bytes(const std::string& utf8) {
  const std::u16string w = FromUtf8(utf8);
  return std::string(reinterpret_cast<const char*>(w.data()), 2 * w.size());
}

TEST_P(GetDataDm, TextInPiecesJoinsToTheWholeValueWhateverTheBuffer) {
  // Outside the basic plane (4 bytes of UTF-8, a surrogate pair of UTF-16),
  // with two- and three-byte characters around it.
  const std::string moon = "\xF0\x9F\x8C\x9C";
  const std::string value = "a" + Repeat(moon, 1100) +
                            "\xC3\xA9\xE2\x82\xAC"
                            "xyz";
  ExecText("DROP TABLE IF EXISTS GDPIECE");
  ExecText("CREATE TABLE GDPIECE (V VARCHAR(4000))");
  ExecText("INSERT INTO GDPIECE VALUES ('" + value + "')");
  struct Case {
    SQLSMALLINT cType;
    size_t size;  // bytes, terminator included
  };
  // Buffers that hold less than one character (2, 4), that end inside one
  // (5), and pyodbc's first read of 4096 bytes, which cuts a pair or a
  // sequence too.
  const Case cases[] = {{SQL_C_CHAR, 2},  {SQL_C_CHAR, 4},  {SQL_C_CHAR, 5},    {SQL_C_CHAR, 4096},
                        {SQL_C_WCHAR, 4}, {SQL_C_WCHAR, 6}, {SQL_C_WCHAR, 4096}};
  for (const Case& c : cases) {
    const bool wide = c.cType == SQL_C_WCHAR;
    SCOPED_TRACE(std::string(wide ? "SQL_C_WCHAR " : "SQL_C_CHAR ") + std::to_string(c.size));
    ExecText("SELECT V FROM GDPIECE");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    SQLLEN first = 0;
    const std::string want = wide ? Utf16Bytes(value) : value;
    const std::string got = ReadInPieces(c.cType, c.size, &first);
    EXPECT_EQ(static_cast<SQLLEN>(want.size()), first);
    EXPECT_EQ(want.size(), got.size());
    EXPECT_TRUE(want == got) << "the joined pieces differ from the value";
  }
  ExecText("DROP TABLE GDPIECE");
}

TEST_P(GetDataDm, ABoundColumnIsRefusedWithADiagnostic) {
  Exec("DROP TABLE IF EXISTS GDBOUND");
  Exec("CREATE TABLE GDBOUND (I INTEGER, V VARCHAR(10))");
  Exec("INSERT INTO GDBOUND VALUES (7, 'seven')");
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT I, V FROM GDBOUND"))) << Diag(SQL_HANDLE_STMT, stmt_);
  SQLINTEGER bound = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &bound, 0, &ind));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(7, bound);
  SQLINTEGER again = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 1, SQL_C_SLONG, &again, 0, &ind));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, stmt_));
  // The unbound column is still there to read.
  char text[16] = "";
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, &ind))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_STREQ("seven", text);
  SQLFreeStmt(stmt_, SQL_UNBIND);
  Exec("DROP TABLE GDBOUND");
}

TEST_P(GetDataDm, NaNAndInfinitiesReachTheTargetsThatHoldThem) {
  // Each backend's way to a NaN and the infinities of a DOUBLE column.
  std::string sql =
      "SELECT CAST('NaN' AS DOUBLE PRECISION), CAST('Infinity' AS DOUBLE PRECISION), "
      "CAST('-Infinity' AS DOUBLE PRECISION)";
  if (!qmr_test::OnPostgres()) {
    Exec("SET DATABASE SQL DOUBLE NAN FALSE");
    sql = "SELECT 0E0/0E0, 1E0/0E0, -1E0/0E0 FROM (VALUES (0))";
  }
  enum Expect { IsNaN, PlusInf, MinusInf, Refused };
  struct Case {
    SQLUSMALLINT col;
    SQLSMALLINT cType;
    Expect expect;
    const char* text;  // for the text targets
  };
  const Case cases[] = {
      {1, SQL_C_DOUBLE, IsNaN, nullptr},       {2, SQL_C_DOUBLE, PlusInf, nullptr},
      {3, SQL_C_DOUBLE, MinusInf, nullptr},    {1, SQL_C_FLOAT, IsNaN, nullptr},
      {2, SQL_C_FLOAT, PlusInf, nullptr},      {3, SQL_C_FLOAT, MinusInf, nullptr},
      {1, SQL_C_CHAR, IsNaN, "NaN"},           {2, SQL_C_CHAR, PlusInf, "Infinity"},
      {3, SQL_C_WCHAR, MinusInf, "-Infinity"}, {1, SQL_C_WCHAR, IsNaN, "NaN"},
      {1, SQL_C_SLONG, Refused, nullptr},      {2, SQL_C_SBIGINT, Refused, nullptr},
      {3, SQL_C_SSHORT, Refused, nullptr},     {1, SQL_C_BIT, Refused, nullptr},
      {2, SQL_C_NUMERIC, Refused, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("column " + std::to_string(c.col) + " C type " + std::to_string(c.cType));
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(sql))) << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    unsigned char buf[64] = {};
    SQLLEN ind = 0;
    const SQLRETURN rc = SQLGetData(stmt_, c.col, c.cType, buf, sizeof buf, &ind);
    if (c.expect == Refused) {
      EXPECT_EQ(SQL_ERROR, rc);
      EXPECT_EQ("22003", State(SQL_HANDLE_STMT, stmt_));
      continue;
    }
    ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
    double v = 0;
    if (c.cType == SQL_C_CHAR) {
      EXPECT_STREQ(c.text, reinterpret_cast<const char*>(buf));
      continue;
    }
    if (c.cType == SQL_C_WCHAR) {
      EXPECT_TRUE(FromUtf8(c.text) == std::u16string(reinterpret_cast<const char16_t*>(buf)));
      continue;
    }
    if (c.cType == SQL_C_FLOAT) {
      float f = 0;
      std::memcpy(&f, buf, sizeof f);
      v = f;
    } else {
      std::memcpy(&v, buf, sizeof v);
    }
    switch (c.expect) {
      case IsNaN: EXPECT_TRUE(std::isnan(v)) << v; break;
      case PlusInf: EXPECT_TRUE(std::isinf(v) && v > 0) << v; break;
      default: EXPECT_TRUE(std::isinf(v) && v < 0) << v; break;
    }
  }
  if (!qmr_test::OnPostgres()) Exec("SET DATABASE SQL DOUBLE NAN TRUE");
}

// DOUBLE and REAL texts at their longest, read and bound into every buffer
// length: each fits its display size; a cut one is the head of the text whose
// length is reported (no NUL in it), or 22003 when not even its whole part fits.
TEST_P(GetDataDm, FloatingTextFitsItsDisplaySizeAndIsCutAsReported) {
  Exec("DROP TABLE GDFLT");
  MustExec("CREATE TABLE GDFLT (d DOUBLE PRECISION, r REAL)");
  double d[] = {DBL_MAX, DBL_MIN, -1.2345678901234567e-300, -4.9406564584124654e-324};
  float r[] = {FLT_MAX, FLT_MIN, -1.2345678e-30f, -1.4e-45f};
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)4, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, d, 0, nullptr);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_FLOAT, SQL_REAL, 0, 0, r, 0, nullptr);
  MustExec("INSERT INTO GDFLT VALUES (?, ?)");
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
  std::vector<std::string> full;  // row by row, column by column
  for (ExecText("SELECT d, r FROM GDFLT"); SQLFetch(stmt_) == SQL_SUCCESS;)
    for (SQLUSMALLINT c = 1; c <= 2; ++c) {
      char buf[64];
      SQLLEN display = 0, ind = 0;
      SQLColAttribute(stmt_, c, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display);
      ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, c, SQL_C_CHAR, buf, sizeof buf, &ind));
      EXPECT_LE(ind, display) << buf;
      full.emplace_back(buf, static_cast<size_t>(ind));
    }
  for (const SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR})
    for (SQLLEN size = 1; size <= 30; ++size)
      for (SQLUSMALLINT col = 1; col <= 4; ++col) {  // 3 and 4 are bound
        const size_t unit = cType == SQL_C_WCHAR ? 2 : 1,
                     room = std::max<SQLLEN>(size / unit, 1) - 1;
        char16_t buf[32];
        SQLLEN ind = 0;
        ExecText("SELECT d, r, d, r FROM GDFLT");
        if (col > 2) SQLBindCol(stmt_, col, cType, buf, size, &ind);
        for (size_t k = (col - 1) % 2; k < full.size(); k += 2) {
          std::memset(buf, 0xEE, sizeof buf);
          SQLRETURN rc = SQLFetch(stmt_);
          if (col <= 2) rc = SQLGetData(stmt_, col, cType, buf, size, &ind);
          std::string got;  // up to the first terminator
          for (size_t i = 0; i <= room && (unit == 2 ? buf[i] : ((char*)buf)[i]) != 0; ++i)
            got += unit == 2 ? static_cast<char>(buf[i]) : ((char*)buf)[i];
          SCOPED_TRACE(full[k] + " into " + std::to_string(size) + ", column " +
                       std::to_string(col) + ", C type " + std::to_string(cType));
          EXPECT_EQ(rc == SQL_ERROR          ? "22003"
                    : full[k].size() <= room ? ""
                                             : "01004",
                    rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt_));
          if (rc == SQL_ERROR) {
            EXPECT_LT(room, full[k].find_first_of(".e", 1));
            continue;
          }
          EXPECT_EQ(static_cast<SQLLEN>(full[k].size() * unit), ind);
          EXPECT_EQ(full[k].substr(0, room), got);
        }
        SQLFreeStmt(stmt_, SQL_UNBIND);
      }
}

// SQL_GD_BLOCK: SQL_POSITION to each row of a forward-only block, in any
// order, and SQLGetData reads that row; past the rows fetched (each list's
// last), HY107.
TEST_P(GetDataDm, EveryRowOfAForwardOnlyBlockAfterPositioning) {
  Exec("DROP TABLE GDBLOCK");
  ExecText(std::string("CREATE TABLE GDBLOCK (id INTEGER, lt ") +
           (qmr_test::DbOf(GetParam()) == qmr_test::Db::Pg ? "TEXT)" : "LONGVARCHAR)"));
  const auto text = [](int k) { return std::string(k * 300, static_cast<char>('a' + k)); };
  for (int k = 1; k <= 7; ++k)
    ExecText("INSERT INTO GDBLOCK VALUES (" + std::to_string(k) + ", '" + text(k) + "')");
  SQLFreeStmt(stmt_, SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0));
  ExecText("SELECT id, lt FROM GDBLOCK ORDER BY id");
  const std::vector<SQLSETPOSIROW> blocks[] = {{3, 1, 2, 2, 4}, {2, 3, 1, 4}, {1, 2}};
  for (size_t b = 0; b < std::size(blocks); ++b) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << b << Diag(SQL_HANDLE_STMT, stmt_);
    for (SQLSETPOSIROW r : blocks[b]) {
      const int k = static_cast<int>(b * 3 + r);
      const SQLRETURN rc = SQLSetPos(stmt_, r, SQL_POSITION, SQL_LOCK_NO_CHANGE);
      const bool out = r == blocks[b].back();
      ASSERT_EQ(out ? "HY107" : "", rc == SQL_SUCCESS ? "" : State(SQL_HANDLE_STMT, stmt_)) << k;
      if (out) continue;
      SQLINTEGER id = 0;
      std::vector<char> lt(4096);
      SQLGetData(stmt_, 1, SQL_C_SLONG, &id, 0, nullptr);
      SQLGetData(stmt_, 2, SQL_C_CHAR, lt.data(), 4096, nullptr);
      EXPECT_EQ(std::to_string(k) + text(k), std::to_string(id) + lt.data());
    }
  }
  Exec("DROP TABLE GDBLOCK");
}

INSTANTIATE_TEST_SUITE_P(Backend, GetDataDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
