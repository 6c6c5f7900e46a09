// Dates, times and timestamps read as the database holds them, whatever the
// VM's zone (ctest runs this once more with the VM in Europe/Berlin): each
// value into every date, time and text C type, read with SQLGetData,
// through bound columns and as a procedure's output parameter, against the
// database's own text of it.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::Diag;

enum : unsigned { kHsql = 1, kH2 = 2, kDerby = 4, kPg = 8, kAll = 15 };

struct Value {
  const char* type;
  const char* literal;
  unsigned dbs;
};

const Value kValues[] = {
    {"DATE", "2024-03-31", kAll},
    {"TIMESTAMP", "2024-03-31 02:30:00", kAll},  // Berlin skips this hour
    {"TIMESTAMP", "2024-10-27 02:30:00", kAll},  // and repeats this one
    {"TIME", "02:30:00", kAll},
    {"DATE", "0001-01-01", kAll},
    {"TIMESTAMP", "0001-01-01 00:00:00", kAll},
    {"DATE", "1582-10-10", kH2 | kDerby | kPg},
    {"TIMESTAMP", "1582-10-10 12:00:00.5", kH2 | kPg},
    {"TIMESTAMP", "1000-06-30 23:59:59", kAll},
    {"DATE", "10000-01-01", kH2 | kPg},
    {"DATE", "32000-01-01", kH2 | kPg},
    {"DATE", "0044-03-15 BC", kPg},
    {"TIMESTAMP", "0044-03-15 10:00:00 BC", kPg},
    {"DATE", "infinity", kPg},
    {"TIMESTAMP", "-infinity", kPg},
    {"DATE", "-infinity", kPg},
    {"TIMESTAMP", "infinity", kPg},
    {"TIMESTAMP", "10000-01-01 00:00:00", kH2 | kPg},
    {"DATE", "40000-01-01", kH2 | kPg},
    {"TIMESTAMP", "40000-01-01 00:00:00", kH2 | kPg},
    {"DATE", "-0043-03-15", kH2},
    {"TIMESTAMP", "-0043-03-15 10:00:00", kH2},
    {"TIME(3)", "12:34:56.123", kHsql | kH2 | kPg},
    {"TIME(6)", "12:34:56.123456", kHsql | kH2 | kPg},
    {"TIME(9)", "12:34:56.123456789", kHsql | kH2},
    {"TIME", "24:00:00", kPg},
    {"TIME WITH TIME ZONE", "12:34:56+05:30", kPg},
    {"TIME WITH TIME ZONE", "12:00:00-05:30:15", kPg},
    {"TIMESTAMP WITH TIME ZONE", "2024-01-01 02:30:00+00", kPg},
    {"TIMESTAMP WITH TIME ZONE", "1880-01-01 12:00:00.25+00", kPg},  // local mean time
};

const SQLSMALLINT kCTypes[] = {SQL_C_CHAR, SQL_C_WCHAR, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME,
                               SQL_C_TYPE_TIMESTAMP};
constexpr SQLUSMALLINT kRows = 3;

unsigned Bit(Db db) {
  return db == Db::Hsql ? kHsql : db == Db::H2 ? kH2 : db == Db::Derby ? kDerby : kPg;
}

// Text with a fraction's trailing zeros (and a bare point) dropped and the
// hour in two digits: the databases write "00.0", "00.000000" or "00" for
// one value.
std::string Plain(std::string t) {
  if (t.size() > 1 && t[1] == ':') t.insert(0, "0");  // HSQLDB's "2:30:00"
  const size_t dot = t.find('.');
  if (dot == std::string::npos) return t;
  size_t end = dot + 1;
  while (end < t.size() && t[end] >= '0' && t[end] <= '9') ++end;
  size_t cut = end;
  while (cut > dot + 1 && t[cut - 1] == '0') --cut;
  if (cut == dot + 1) cut = dot;
  return t.substr(0, cut) + t.substr(end);
}

// The fields of the database's text; `fits` is false for what ODBC's
// structures cannot hold (an era, an infinity, a fifth year digit, 24:00).
struct Fields {
  SQL_TIMESTAMP_STRUCT ts{};
  bool fits = true;
};

Fields Parse(const std::string& t, char kind) {
  Fields f;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, n = 0;
  char frac[16] = "";
  const char* time = t.c_str();
  if (kind != 'T') {
    if (std::sscanf(t.c_str(), "%d-%d-%d %n", &y, &mo, &d, &n) < 3 || t.find("BC") != t.npos ||
        y > 9999 || y < 1)
      f.fits = false;
    time += n;
  }
  if (kind != 'D' && f.fits) std::sscanf(time, "%d:%d:%d.%9[0-9]", &h, &mi, &s, frac);
  f.fits = f.fits && h < 24;
  std::string ns = std::string(frac) + "000000000";
  f.ts = {static_cast<SQLSMALLINT>(y),
          static_cast<SQLUSMALLINT>(mo),
          static_cast<SQLUSMALLINT>(d),
          static_cast<SQLUSMALLINT>(h),
          static_cast<SQLUSMALLINT>(mi),
          static_cast<SQLUSMALLINT>(s),
          static_cast<SQLUINTEGER>(std::stoul(ns.substr(0, 9)))};
  if (kind == 'T') {  // a time read as a timestamp is on today's date
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    f.ts.year = static_cast<SQLSMALLINT>(tm.tm_year + 1900);
    f.ts.month = static_cast<SQLUSMALLINT>(tm.tm_mon + 1);
    f.ts.day = static_cast<SQLUSMALLINT>(tm.tm_mday);
  }
  return f;
}

// What the application holds after one read of cType: its text, or its
// structure printed the same way for comparison.
std::string Shown(SQLSMALLINT cType, const unsigned char* buf, SQLLEN ind) {
  if (cType == SQL_C_CHAR) return std::string(reinterpret_cast<const char*>(buf));
  char out[80];
  if (cType == SQL_C_WCHAR) {
    std::string t;
    for (SQLLEN i = 0; i + 1 < ind; i += 2) t += static_cast<char>(buf[i]);
    return t;
  }
  SQL_TIMESTAMP_STRUCT ts{};
  if (cType == SQL_C_TYPE_DATE) std::memcpy(&ts, buf, sizeof(SQL_DATE_STRUCT));
  if (cType == SQL_C_TYPE_TIME) std::memcpy(&ts.hour, buf, sizeof(SQL_TIME_STRUCT));
  if (cType == SQL_C_TYPE_TIMESTAMP) std::memcpy(&ts, buf, sizeof ts);
  std::snprintf(out, sizeof out, "%04d-%02u-%02u %02u:%02u:%02u.%09u", ts.year, ts.month, ts.day,
                ts.hour, ts.minute, ts.second, static_cast<unsigned>(ts.fraction));
  return out;
}

// What a read of cType must give for the database's text of a value of kind
// ('D', 'T' or 'S'): the same text, the fields, 22008 or 07006.
std::string Expected(SQLSMALLINT cType, const std::string& text, char kind) {
  if (cType == SQL_C_CHAR || cType == SQL_C_WCHAR) return Plain(text);
  if ((kind == 'D' && cType == SQL_C_TYPE_TIME) || (kind == 'T' && cType == SQL_C_TYPE_DATE))
    return "07006";
  const Fields f = Parse(text, kind);
  if (!f.fits) return "22008";
  SQL_TIMESTAMP_STRUCT ts = f.ts;
  if (cType == SQL_C_TYPE_DATE) ts.hour = ts.minute = ts.second = 0, ts.fraction = 0;
  if (cType == SQL_C_TYPE_TIME) ts.year = 0, ts.month = ts.day = 0, ts.fraction = 0;
  return Plain(Shown(SQL_C_TYPE_TIMESTAMP, reinterpret_cast<const unsigned char*>(&ts), 0));
}

// Bytes between rows of a column-wise bound buffer: a structure's own size.
size_t Stride(SQLSMALLINT cType) {
  return cType == SQL_C_TYPE_DATE || cType == SQL_C_TYPE_TIME ? 6
         : cType == SQL_C_TYPE_TIMESTAMP                      ? 16
                                                              : 160;
}

std::string Outcome(SQLRETURN rc, SQLHSTMT stmt, SQLSMALLINT cType, const unsigned char* buf,
                    SQLLEN ind) {
  if (rc == SQL_ERROR) return qmr_test::State(SQL_HANDLE_STMT, stmt);
  return Plain(Shown(cType, buf, ind));
}

class DateReadDm : public qmr_test::DmTest {};

TEST_P(DateReadDm, ValuesReadAsTheDatabaseWritesThem) {
  const Db db = qmr_test::DbOf(GetParam());
  // A zoned value's text follows the session's zone, not the VM's.
  if (db == Db::Pg) MustExec("SET TIME ZONE 'Asia/Tokyo'");
  for (const Value& v : kValues) {
    if ((v.dbs & Bit(db)) == 0) continue;
    const std::string type = v.type;
    const char kind = type.rfind("TIMESTAMP", 0) == 0 ? 'S'
                      : type.rfind("TIME", 0) == 0    ? 'T'
                                                      : 'D';
    SCOPED_TRACE(type + " " + v.literal + " on " + GetParam());
    Exec("DROP TABLE QMR_DREAD");
    MustExec("CREATE TABLE QMR_DREAD (K INTEGER PRIMARY KEY, V " + type + ")");
    for (int k = 1; k <= kRows; ++k)
      MustExec("INSERT INTO QMR_DREAD VALUES (" + std::to_string(k) + ", '" + v.literal + "')");
    std::string values;
    for (size_t i = 0; i < std::size(kCTypes); ++i) values += ", V";
    values += " FROM QMR_DREAD ORDER BY K";
    const std::string select = "SELECT CAST(V AS VARCHAR(60))" + values;

    // Value by value, with SQLGetData; the scrollable cursors read their
    // rows back from the cursor library's own file. Forward-only comes last
    // and stays prepared for the bound columns: run once a C type and once
    // more, as PostgreSQL's driver reads a statement in binary form after
    // its fifth run.
    char text[80] = "";
    for (const SQLULEN cursor :
         {SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_FORWARD_ONLY}) {
      SQLFreeStmt(stmt_, SQL_CLOSE);
      SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0);
      // A keyset is kept for plain columns only: its text is the one read before.
      const bool keyed = cursor == SQL_CURSOR_KEYSET_DRIVEN;
      const std::string sql = keyed ? "SELECT K" + values : select;
      ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)));
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
      ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
      SQLLEN ind = 0;
      if (!keyed) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, 1, SQL_C_CHAR, text, sizeof text, &ind)));
      }
      SQLULEN size = 0;  // what an application sizes a text buffer by
      SQLDescribeCol(stmt_, 2, nullptr, 0, nullptr, nullptr, &size, nullptr, nullptr);
      SQLLEN display = 0;  // or by this, for the text of a type ODBC sizes as its structure
      SQLColAttribute(stmt_, 2, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display);
      for (size_t i = 0; i < std::size(kCTypes); ++i) {
        unsigned char buf[160] = {};
        const SQLRETURN rc =
            SQLGetData(stmt_, static_cast<SQLUSMALLINT>(i + 2), kCTypes[i], buf, sizeof buf, &ind);
        if (kCTypes[i] == SQL_C_CHAR && kind == 'T') {
          EXPECT_LE(ind, static_cast<SQLLEN>(size)) << "time text beyond its column size: " << buf;
        }
        if (kCTypes[i] == SQL_C_CHAR && type.find("ZONE") != std::string::npos) {
          EXPECT_LE(ind, display) << "zoned text beyond its display size: " << buf;
        }
        EXPECT_EQ(Outcome(rc, stmt_, kCTypes[i], buf, ind), Expected(kCTypes[i], text, kind))
            << "SQLGetData into C type " << kCTypes[i] << ", cursor type " << cursor
            << ", database text " << text;
      }
    }

    // A block of rows into a bound column, one C type at a time.
    for (size_t i = 0; i < std::size(kCTypes); ++i) {
      SQLFreeStmt(stmt_, SQL_CLOSE);
      SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRows), 0);
      SQLUSMALLINT status[kRows] = {};
      SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0);
      std::vector<unsigned char> bufs(kRows * 160);
      SQLLEN inds[kRows] = {};
      SQLBindCol(stmt_, static_cast<SQLUSMALLINT>(i + 2), kCTypes[i], bufs.data(),
                 static_cast<SQLLEN>(Stride(kCTypes[i])), inds);
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
      SQLFetch(stmt_);
      const std::string want = Expected(kCTypes[i], text, kind);
      if (want.size() == 5) {  // an SQLSTATE: the first row fails
        EXPECT_EQ(status[0], SQL_ROW_ERROR) << "bound C type " << kCTypes[i];
      }
      for (SQLUSMALLINT r = 0; r < kRows && want.size() != 5; ++r)
        EXPECT_EQ(Plain(Shown(kCTypes[i], &bufs[r * Stride(kCTypes[i])], inds[r])), want)
            << "bound C type " << kCTypes[i] << ", row " << r;
      SQLFreeStmt(stmt_, SQL_UNBIND);
      SQLFreeStmt(stmt_, SQL_CLOSE);
      SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
      SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    }
  }
  Exec("DROP TABLE QMR_DREAD");
}

// The same values as a procedure's output parameter, into each C type a
// result column of theirs takes (a time into a timestamp structure is
// refused for a parameter). HSQLDB sets an OUT parameter, H2 gives an
// expression's value through {? = call}. Derby's routines are Java methods,
// whose java.sql values the VM's zone has placed before Derby holds them,
// and PostgreSQL's driver gives them only through java.sql (README).
TEST_P(DateReadDm, OutputParametersReadAsTheDatabaseWritesThem) {
  const Db db = qmr_test::DbOf(GetParam());
  if (db != Db::Hsql && db != Db::H2) GTEST_SKIP() << "values placed by the VM's zone";
  for (const Value& v : kValues) {
    const std::string type = v.type;
    if ((v.dbs & Bit(db)) == 0 || type.find("ZONE") != std::string::npos) continue;
    const char kind = type.rfind("TIMESTAMP", 0) == 0 ? 'S'
                      : type.rfind("TIME", 0) == 0    ? 'T'
                                                      : 'D';
    SCOPED_TRACE(type + " " + v.literal + " on " + GetParam());
    const std::string value = "CAST('" + std::string(v.literal) + "' AS " + type + ")";
    std::vector<qmr_test::Row> rows;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    MustExec("VALUES (CAST(" + value + " AS VARCHAR(60)))");
    rows = qmr_test::FetchRows(stmt_);
    ASSERT_EQ(rows.size(), 1u);
    const std::string text = rows[0][0].text;
    std::string call = "{? = call " + value + "}";
    if (db == Db::Hsql) {
      Exec("DROP PROCEDURE QMR_DOUT IF EXISTS");
      MustExec("CREATE PROCEDURE QMR_DOUT(OUT V " + type + ") BEGIN ATOMIC SET V = " + value +
               "; END");
      call = "{call QMR_DOUT(?)}";
    }
    const SQLSMALLINT sqlType = kind == 'D'   ? SQL_TYPE_DATE
                                : kind == 'T' ? SQL_TYPE_TIME
                                              : SQL_TYPE_TIMESTAMP;
    for (const SQLSMALLINT cType : kCTypes) {
      const std::string want = Expected(cType, text, kind);
      if (want == "07006") continue;
      unsigned char buf[160] = {};
      SQLLEN ind = 0;
      SQLFreeStmt(stmt_, SQL_CLOSE);
      SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
      ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(stmt_, 1, SQL_PARAM_OUTPUT, cType, sqlType, 29, 9,
                                                 buf, sizeof buf, &ind)));
      const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)call.c_str(), SQL_NTS);
      EXPECT_EQ(Outcome(rc, stmt_, cType, buf, ind), want)
          << "output into C type " << cType << ", database text " << text;
    }
  }
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  if (db == Db::Hsql) Exec("DROP PROCEDURE QMR_DOUT IF EXISTS");
}

// A keyset cursor finds each zoned key again in the hour the session's
// zone repeats: the two rows differ only in their offsets.
TEST_P(DateReadDm, ZonedKeysInARepeatedHourFindTheirRows) {
  if (qmr_test::DbOf(GetParam()) != Db::Pg) GTEST_SKIP() << "needs PostgreSQL's timestamptz";
  MustExec("SET TIME ZONE 'Europe/Berlin'");
  Exec("DROP TABLE QMR_DKEY");
  MustExec("CREATE TABLE QMR_DKEY (K TIMESTAMP WITH TIME ZONE PRIMARY KEY, N INTEGER)");
  MustExec(
      "INSERT INTO QMR_DKEY VALUES ('2024-10-27 02:30:00+02', 1), ('2024-10-27 02:30:00+01', 2)");
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE,
                 reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0);
  SQLUSMALLINT status = 0;
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, &status, 0);
  MustExec("SELECT N, K FROM QMR_DKEY ORDER BY N");
  SQLULEN cursor = 0;
  SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &cursor, 0, nullptr);
  EXPECT_EQ(cursor, static_cast<SQLULEN>(SQL_CURSOR_KEYSET_DRIVEN));
  const char* want[] = {"2024-10-27 02:30:00.000000+02", "2024-10-27 02:30:00.000000+01"};
  for (SQLINTEGER n = 1; n <= 2; ++n) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt_))) << "row " << n << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(status, SQL_ROW_SUCCESS) << "row " << n;
    SQLINTEGER got = 0;
    char text[64] = "";
    SQLLEN ind = 0;
    SQLGetData(stmt_, 1, SQL_C_SLONG, &got, 0, &ind);
    SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, &ind);
    EXPECT_EQ(got, n);
    EXPECT_STREQ(text, want[n - 1]) << "row " << n;
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY),
                 0);
  Exec("DROP TABLE QMR_DKEY");
}

std::vector<std::string> Dsns() {
  std::vector<std::string> d = {"QmrHsqlU", "QmrHsqlA",  "QmrH2U",
                                "QmrH2A",   "QmrDerbyU", "QmrDerbyA"};
  if (qmr_test::OnPostgres()) {
    for (const std::string& pg : qmr_test::TestDsns()) d.push_back(pg);
    d.push_back("QmrPgXa");  // connected through a data source class
  }
  return d;
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(DateRead, DateReadDm, ::testing::ValuesIn(Dsns()), Name);

}  // namespace
