// How columns and types are described to applications, through the Driver
// Manager on both builds: every column has an ODBC type, whatever the JDBC
// driver files it under (arrays, bit strings, json, uuid come as text, a
// domain as its base type); text without a useful bound is long text; dates
// and times have ODBC's sizes in the type information, the catalog and the
// result descriptions alike; the type information lists a type for long
// text; SQL_DBMS_VER has ODBC's form.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Diag;

// The narrow form of a described type: the Unicode data sources deliver
// text as the wide types.
SQLSMALLINT Narrow(SQLSMALLINT t) {
  switch (t) {
    case SQL_WCHAR: return SQL_CHAR;
    case SQL_WVARCHAR: return SQL_VARCHAR;
    case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
    default: return t;
  }
}

std::string Text(SQLHSTMT s, SQLUSMALLINT col) {
  std::string out;
  char buf[64];
  SQLLEN ind = 0;
  SQLRETURN rc;
  // In pieces: a long column is read the way applications read it.
  while ((rc = SQLGetData(s, col, SQL_C_CHAR, buf, sizeof buf, &ind)) == SQL_SUCCESS_WITH_INFO ||
         rc == SQL_SUCCESS) {
    if (ind == SQL_NULL_DATA) return "<null>";
    out += buf;
    if (rc == SQL_SUCCESS) break;
  }
  EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_NO_DATA) << col << " " << Diag(SQL_HANDLE_STMT, s);
  return out;
}

SQLLEN Number(SQLHSTMT s, SQLUSMALLINT col) {
  SQLLEN v = 0;
  SQLLEN ind = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(s, col, SQL_C_SLONG, &v, 0, &ind)) << Diag(SQL_HANDLE_STMT, s);
  return ind == SQL_NULL_DATA ? -1 : static_cast<SQLINTEGER>(v);
}

struct Described {
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  std::string typeName;  // SQLColumns' TYPE_NAME
};

Described Describe(SQLHSTMT s, SQLUSMALLINT col) {
  Described d;
  SQLCHAR name[128];
  SQLSMALLINT nameLength = 0, nullable = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLDescribeCol(s, col, name, sizeof name, &nameLength, &d.type, &d.size,
                                        &d.digits, &nullable))
      << Diag(SQL_HANDLE_STMT, s);
  return d;
}

// The first row SQLGetTypeInfo gives for a type.
struct TypeRow {
  bool found = false;
  std::string name;
  SQLLEN size = -1, maxScale = -1;
};

class TypesDm : public qmr_test::DmTest {
 protected:
  Db db() const { return DbOf(GetParam()); }
  std::string Table(const std::string& stem) const {
    return qmr_test::Lower(stem + "_" + GetParam());
  }
  // Folded the way the server stores unquoted names.
  std::string Stored(const std::string& name) const {
    std::string s = name;
    for (char& c : s) c = static_cast<char>(db() == Db::Pg ? std::tolower(c) : std::toupper(c));
    return s;
  }
  void Create(const std::string& table, const std::string& columns) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
    tables_.push_back(table);
  }
  void TearDown() override {
    for (const std::string& t : tables_) Exec("DROP TABLE " + t);
    qmr_test::DmTest::TearDown();
  }

  TypeRow FirstTypeRow(SQLSMALLINT type) {
    TypeRow row;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    EXPECT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt_, type)) << Diag(SQL_HANDLE_STMT, stmt_);
    if (SQLFetch(stmt_) == SQL_SUCCESS) {
      row.found = true;
      row.name = Text(stmt_, 1);
      row.size = Number(stmt_, 3);
      row.maxScale = Number(stmt_, 15);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return row;
  }

  // SQLColumns' DATA_TYPE, COLUMN_SIZE and DECIMAL_DIGITS of one column.
  Described CatalogColumn(const std::string& table, const std::string& column) {
    Described d;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    const std::string t = Stored(table), c = Stored(column);
    EXPECT_EQ(SQL_SUCCESS, SQLColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS,
                                      (SQLCHAR*)c.c_str(), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << column;
    d.type = static_cast<SQLSMALLINT>(Number(stmt_, 5));
    d.size = static_cast<SQLULEN>(Number(stmt_, 7));
    d.digits = static_cast<SQLSMALLINT>(Number(stmt_, 9));
    d.typeName = Text(stmt_, 6);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return d;
  }

  // Every row SQLGetTypeInfo gives for a type: name and COLUMN_SIZE.
  std::vector<std::pair<std::string, SQLLEN>> TypeRows(SQLSMALLINT type) {
    std::vector<std::pair<std::string, SQLLEN>> rows;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    EXPECT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt_, type)) << Diag(SQL_HANDLE_STMT, stmt_);
    while (SQLFetch(stmt_) == SQL_SUCCESS) {
      const std::string name = Text(stmt_, 1);
      EXPECT_EQ(type, Number(stmt_, 2)) << name;
      rows.emplace_back(name, Number(stmt_, 3));
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return rows;
  }

  std::vector<std::string> tables_;
};

using AnyTypesDm = TypesDm;

// Dates and times: what the type information, SQLColumns, SQLDescribeCol
// and the IRD give, per backend. TIMESTAMP's size in the type information
// is what pyodbc keeps fractions of a second by.
struct DatetimeSizes {
  Db db;
  SQLLEN timeInfo, timestampInfo;  // COLUMN_SIZE of SQLGetTypeInfo
  SQLULEN timestampColumn;         // a TIMESTAMP column of the default precision
};
const DatetimeSizes kDatetimeSizes[] = {
    {Db::Hsql, 8, 29, 26}, {Db::Pg, 15, 26, 26}, {Db::H2, 18, 29, 26}, {Db::Derby, 8, 29, 29}};

TEST_P(AnyTypesDm, DateAndTimeSizesAreOdbcs) {
  const DatetimeSizes* want = nullptr;
  for (const DatetimeSizes& w : kDatetimeSizes)
    if (w.db == db()) want = &w;
  ASSERT_NE(want, nullptr);

  const TypeRow date = FirstTypeRow(SQL_TYPE_DATE), time = FirstTypeRow(SQL_TYPE_TIME),
                stamp = FirstTypeRow(SQL_TYPE_TIMESTAMP);
  ASSERT_TRUE(date.found && time.found && stamp.found);
  EXPECT_EQ(10, date.size);
  EXPECT_EQ(want->timeInfo, time.size);
  EXPECT_EQ(want->timeInfo == 8 ? 0 : want->timeInfo - 9, time.maxScale);
  EXPECT_EQ(want->timestampInfo, stamp.size);
  EXPECT_EQ(want->timestampInfo - 20, stamp.maxScale);

  const std::string table = Table("qty_dt");
  Create(table, "d DATE, ts TIMESTAMP");
  const SQLSMALLINT fraction = static_cast<SQLSMALLINT>(want->timestampColumn - 20);
  const Described catD = CatalogColumn(table, "d"), catTs = CatalogColumn(table, "ts");
  EXPECT_EQ(SQL_TYPE_DATE, catD.type);
  EXPECT_EQ(10u, catD.size);
  EXPECT_EQ(SQL_TYPE_TIMESTAMP, catTs.type);
  EXPECT_EQ(want->timestampColumn, catTs.size);
  EXPECT_EQ(fraction, catTs.digits);

  MustExec("SELECT d, ts FROM " + table);
  const Described d = Describe(stmt_, 1), ts = Describe(stmt_, 2);
  EXPECT_EQ(SQL_TYPE_DATE, d.type);
  EXPECT_EQ(10u, d.size);
  EXPECT_EQ(SQL_TYPE_TIMESTAMP, ts.type);
  EXPECT_EQ(want->timestampColumn, ts.size);
  EXPECT_EQ(fraction, ts.digits);
  SQLHDESC ird = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
  SQLLEN length = 0;
  SQLSMALLINT precision = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 2, SQL_DESC_LENGTH, &length, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 2, SQL_DESC_PRECISION, &precision, 0, nullptr));
  EXPECT_EQ(static_cast<SQLLEN>(want->timestampColumn), length);
  EXPECT_EQ(fraction, precision);
}

TEST_P(AnyTypesDm, TypeInformationNamesMakeColumnsOfTheirType) {
  // An application creates its column by the name the type information
  // lists; the column is then of the type it asked for.
  for (SQLSMALLINT type : {SQLSMALLINT{SQL_LONGVARCHAR}, SQLSMALLINT{SQL_TYPE_TIMESTAMP}}) {
    SCOPED_TRACE(type);
    const TypeRow row = FirstTypeRow(type);
    ASSERT_TRUE(row.found);
    EXPECT_GT(row.size, 0);
    if (db() == Db::Pg && type == SQL_LONGVARCHAR) {
      EXPECT_EQ("text", row.name);
    }
    const std::string table = Table("qty_ti" + std::to_string(type < 0 ? -type : type));
    Create(table, "c " + row.name);
    MustExec("SELECT c FROM " + table);
    const Described d = Describe(stmt_, 1);
    EXPECT_EQ(type, Narrow(d.type));
    if (type == SQL_TYPE_TIMESTAMP) {
      EXPECT_LE(d.size, static_cast<SQLULEN>(row.size));
    }
  }
}

TEST_P(AnyTypesDm, DbmsVersionHasOdbcsForm) {
  // The server's own version text, "15.4 (Debian ...)" or "2.7.1".
  struct Query {
    Db db;
    const char* sql;
  };
  const Query kQueries[] = {{Db::Hsql, "CALL DATABASE_VERSION()"},
                            {Db::Pg, "SELECT current_setting('server_version')"},
                            {Db::H2, "SELECT H2VERSION()"},
                            {Db::Derby,
                             "SELECT CAST(SYSCS_UTIL.SYSCS_GET_DATABASE_PROPERTY("
                             "'DataDictionaryVersion') AS VARCHAR(20)) FROM "
                             "SYSIBM.SYSDUMMY1"}};
  std::string server;
  for (const Query& q : kQueries) {
    if (q.db != db()) continue;
    MustExec(q.sql);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    server = Text(stmt_, 1);
  }
  int major = 0, minor = 0, release = 0;
  ASSERT_GE(std::sscanf(server.c_str(), "%d.%d.%d", &major, &minor, &release), 2) << server;
  char want[16];
  std::snprintf(want, sizeof want, "%02d.%02d.%04d", major, minor, release);

  SQLCHAR ver[64] = "";
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc_, SQL_DBMS_VER, ver, sizeof ver, &len));
  // Derby's data dictionary names the major and minor version only.
  const std::string got = reinterpret_cast<char*>(ver);
  EXPECT_EQ(db() == Db::Derby ? std::string(want).substr(0, 6) : want,
            db() == Db::Derby ? got.substr(0, 6) : got);
  EXPECT_EQ(10u, got.size()) << got;
}

// Columns of types ODBC has no type for, and text without a bound: the
// type a result column is described with, the type SQLColumns gives it
// (the same), and its value read as text.
struct Column {
  const char* name;
  const char* ddl;
  const char* value;
  SQLSMALLINT type;  // narrow form
  const char* text;
  // Listed by SQLGetTypeInfo under the type it is described as (a type
  // whose columns change type with their size is listed under one).
  bool listed = false;
};

const Column kPgColumns[] = {
    {"tx", "text", "'t'", SQL_LONGVARCHAR, "t", true},
    {"vc", "varchar", "'v'", SQL_LONGVARCHAR, "v"},
    {"js", "json", "'{\"a\":1}'", SQL_LONGVARCHAR, "{\"a\":1}", true},
    {"uu", "uuid", "'6ecd8c99-4036-403d-bf84-cf8400f67836'", SQL_GUID,
     "6ecd8c99-4036-403d-bf84-cf8400f67836", true},
    {"nm", "name", "'n'", SQL_LONGVARCHAR, "n", true},
    {"xm", "xml", "'<a/>'", SQL_LONGVARCHAR, "<a/>", true},
    {"ta", "text[]", "ARRAY['a','b c']", SQL_LONGVARCHAR, "{a,\"b c\"}", true},
    {"ia", "int[]", "ARRAY[1,2]", SQL_LONGVARCHAR, "{1,2}", true},
    {"b5", "bit(5)", "B'10101'", SQL_VARCHAR, "10101"},
    {"vb", "varbit", "B'101'", SQL_LONGVARCHAR, "101"},
    {"vb8", "varbit(8)", "B'11'", SQL_VARCHAR, "11"},
    {"dm", "qmr_amount", "12.5", SQL_NUMERIC, "12.50"},
    {"bo", "boolean", "true", SQL_BIT, "1", true},
    {"v10", "varchar(10)", "'v10'", SQL_VARCHAR, "v10", true},
};
const Column kHsqlColumns[] = {
    {"lv", "LONGVARCHAR", "'x'", SQL_LONGVARCHAR, "x"},
    {"ia", "INTEGER ARRAY", "ARRAY[1,2]", SQL_LONGVARCHAR, "ARRAY[1,2]"},
    {"b5", "BIT(5)", "B'10101'", SQL_VARCHAR, "10101"},
    {"bv", "BIT VARYING(8)", "B'101'", SQL_VARCHAR, "101"},
    {"b1", "BIT(1)", "B'1'", SQL_BIT, "1", true},
    {"v10", "VARCHAR(10)", "'v10'", SQL_VARCHAR, "v10", true},
};

TEST_P(TypesDm, EveryColumnHasAnOdbcTypeAndReadsAsText) {
  const bool pg = db() == Db::Pg;
  const std::vector<Column> cols =
      pg ? std::vector<Column>(std::begin(kPgColumns), std::end(kPgColumns))
         : std::vector<Column>(std::begin(kHsqlColumns), std::end(kHsqlColumns));
  const std::string table = Table("qty_tx");
  if (pg) {
    Exec("DROP TABLE " + table);
    Exec("DROP DOMAIN qmr_amount");
    MustExec("CREATE DOMAIN qmr_amount AS numeric(10,2)");
  }
  std::string ddl, values, names;
  for (const Column& c : cols) {
    ddl += std::string(ddl.empty() ? "" : ", ") + c.name + " " + c.ddl;
    values += std::string(values.empty() ? "" : ", ") + c.value;
    names += std::string(names.empty() ? "" : ", ") + c.name;
  }
  Create(table, ddl);
  MustExec("INSERT INTO " + table + " VALUES (" + values + ")");

  std::vector<SQLSMALLINT> described(cols.size());
  for (SQLULEN cursor : {SQLULEN{SQL_CURSOR_FORWARD_ONLY}, SQLULEN{SQL_CURSOR_STATIC}}) {
    SCOPED_TRACE(cursor);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0)));
    MustExec("SELECT " + names + " FROM " + table);
    for (SQLUSMALLINT i = 1; i <= cols.size(); ++i) {
      const Described d = Describe(stmt_, i);
      EXPECT_EQ(cols[i - 1].type, Narrow(d.type)) << cols[i - 1].ddl;
      SQLLEN concise = 0;
      EXPECT_EQ(SQL_SUCCESS,
                SQLColAttribute(stmt_, i, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &concise));
      EXPECT_EQ(d.type, concise) << cols[i - 1].ddl;
      described[i - 1] = d.type;
      // A buffer of the described size is one an application can have.
      if (cols[i - 1].type == SQL_VARCHAR) {
        EXPECT_LT(d.size, 16777216u) << cols[i - 1].ddl;
      }
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    for (SQLUSMALLINT i = 1; i <= cols.size(); ++i)
      EXPECT_EQ(cols[i - 1].text, Text(stmt_, i)) << cols[i - 1].ddl;
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY),
                 0);
  for (size_t i = 0; i < cols.size(); ++i) {
    SCOPED_TRACE(cols[i].ddl);
    // SQLColumns gives the type the result is described with, wide where
    // it is wide; the type information lists the column's type under it.
    const Described cat = CatalogColumn(table, cols[i].name);
    EXPECT_EQ(described[i], cat.type);
    bool listed = false;
    for (const auto& row : TypeRows(cat.type))
      listed = listed || qmr_test::Lower(row.first) == qmr_test::Lower(cat.typeName);
    EXPECT_TRUE(listed || !cols[i].listed) << cat.typeName;
  }
  // Within a type the types with a usable size come first, the server's
  // general one leading.
  for (SQLSMALLINT t : {described[0], SQLSMALLINT{SQL_VARCHAR}, SQLSMALLINT{SQL_CHAR}}) {
    const auto rows = TypeRows(t);
    ASSERT_FALSE(rows.empty()) << t;
    bool unsized = false;
    for (const auto& row : rows) {
      EXPECT_FALSE(unsized && row.second > 0) << t << " " << row.first;
      unsized = unsized || row.second <= 0;
    }
    if (pg && t == described[0]) {
      EXPECT_EQ("text", rows[0].first);
    }
    if (pg && t == SQL_VARCHAR) {
      EXPECT_EQ("varchar", rows[0].first);
    }
  }
  if (pg) {
    // A GUID reads as its text and as SQLGUID.
    MustExec("SELECT uu FROM " + table);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    SQLGUID g{};
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_GUID, &g, sizeof g, &ind))
        << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(static_cast<SQLLEN>(sizeof g), ind);
    EXPECT_EQ(0x6ecd8c99u, g.Data1);
    EXPECT_EQ(0x4036, g.Data2);
    EXPECT_EQ(0x36, g.Data4[7]);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    // A numeric of no declared precision holds more digits than its
    // display size says: whole, as the database's own text of it.
    const std::string wide = "(10::numeric ^ 131071) + 1::numeric / 3";
    MustExec("SELECT " + wide + ", (" + wide + ")::text");
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
    std::vector<char> got(200000);
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetData(stmt_, 1, SQL_C_CHAR, got.data(), static_cast<SQLLEN>(got.size()), &ind))
        << Diag(SQL_HANDLE_STMT, stmt_);
    const std::string own = Text(stmt_, 2);
    EXPECT_EQ(131093u, own.size());
    EXPECT_EQ(static_cast<SQLLEN>(own.size()), ind);
    EXPECT_TRUE(own == got.data()) << "the numeric's text differs from the database's";
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  if (pg) {
    Exec("DROP TABLE " + table);
    tables_.clear();
    Exec("DROP DOMAIN qmr_amount");
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

// PostgreSQL's money, which its JDBC driver files as a double, is an exact
// amount: described as a decimal, read and written exact in every C type,
// compared with the database's own numeric text of it.
const char* const kAmounts[] = {"0.00", "999.99", "1000.00", "1234567.89", "-5.25"};

// The exact text of a numeric struct of up to 64 bits of digits.
std::string NumericText(const SQL_NUMERIC_STRUCT& n) {
  unsigned long long v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | n.val[i];
  std::string digits = std::to_string(v);
  if (n.scale > 0) {
    const size_t scale = static_cast<size_t>(n.scale);
    if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
    digits.insert(digits.size() - scale, ".");
  }
  return (n.sign == 0 ? "-" : "") + digits;
}

// The ARD's (or APD's) record rec of stmt as a numeric of precision 19,
// scale 2 at p.
void SetNumericRecord(SQLHSTMT stmt, SQLINTEGER which, SQLSMALLINT rec, SQL_NUMERIC_STRUCT* p,
                      SQLLEN* ind) {
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, which, &desc, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, rec, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_NUMERIC, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, rec, SQL_DESC_PRECISION, (SQLPOINTER)19, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, rec, SQL_DESC_SCALE, (SQLPOINTER)2, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, rec, SQL_DESC_INDICATOR_PTR, ind, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, rec, SQL_DESC_OCTET_LENGTH_PTR, ind, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, rec, SQL_DESC_DATA_PTR, p, 0));
}

TEST_P(TypesDm, MoneyIsAnExactAmount) {
  if (db() != Db::Pg) GTEST_SKIP() << "money is PostgreSQL's";
  const std::string table = Table("qty_money");
  Create(table, "id int, v money");
  for (size_t i = 0; i < std::size(kAmounts); ++i)
    MustExec("INSERT INTO " + table + " VALUES (" + std::to_string(i) + ", '" + kAmounts[i] +
             "'::numeric::money)");
  const std::string select = "SELECT v, v::numeric::text FROM " + table + " ORDER BY id";
  MustExec(select);
  const Described d = Describe(stmt_, 1);
  EXPECT_EQ(SQL_DECIMAL, d.type);
  EXPECT_EQ(19u, d.size);
  EXPECT_EQ(2, d.digits);
  char typeName[32] = "";
  EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(stmt_, 1, SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                         nullptr, nullptr));
  EXPECT_STREQ("money", typeName);
  // Value by value as text, as a double and as a numeric.
  for (SQLSMALLINT c : {SQL_C_CHAR, SQL_C_DOUBLE, SQL_C_NUMERIC}) {
    MustExec(select);
    SQL_NUMERIC_STRUCT num{};
    SQLLEN numInd = 0;
    if (c == SQL_C_NUMERIC) SetNumericRecord(stmt_, SQL_ATTR_APP_ROW_DESC, 1, &num, &numInd);
    for (size_t i = 0; i < std::size(kAmounts); ++i) {
      SCOPED_TRACE(std::string(kAmounts[i]) + " as C type " + std::to_string(c));
      ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
      // Columns in order: the amount, then the database's text of it.
      std::string text;
      double v = 0;
      SQLLEN ind = 0;
      if (c == SQL_C_CHAR) text = Text(stmt_, 1);
      if (c == SQL_C_DOUBLE) {
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_DOUBLE, &v, 0, &ind))
            << Diag(SQL_HANDLE_STMT, stmt_);
      }
      if (c == SQL_C_NUMERIC) text = NumericText(num);
      const std::string want = Text(stmt_, 2);
      if (c == SQL_C_DOUBLE)
        EXPECT_EQ(std::stod(want), v);
      else
        EXPECT_EQ(want, text);
    }
    SQLFreeStmt(stmt_, SQL_UNBIND);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  // A bound block of every row.
  constexpr SQLULEN kRows = std::size(kAmounts);
  char got[kRows][32] = {}, want[kRows][32] = {};
  SQLLEN gotInd[kRows] = {}, wantInd[kRows] = {};
  SQLULEN fetched = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kRows, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  MustExec(select);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_CHAR, got, sizeof got[0], gotInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_CHAR, want, sizeof want[0], wantInd));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(kRows, fetched);
  for (size_t i = 0; i < kRows; ++i) EXPECT_STREQ(want[i], got[i]) << kAmounts[i];
  SQLFreeStmt(stmt_, SQL_UNBIND);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
}

TEST_P(TypesDm, MoneyIsWrittenExactFromEveryCType) {
  if (db() != Db::Pg) GTEST_SKIP() << "money is PostgreSQL's";
  const std::string table = Table("qty_money_w");
  Create(table, "id int, v money");
  constexpr size_t kAll = std::size(kAmounts);
  SQLINTEGER id = 0;
  // The amounts from `first` on, `count` of them: one at a time, then all
  // in one parameter array.
  auto write = [&](SQLSMALLINT c, size_t first, size_t count) {
    const std::string what =
        "C type " + std::to_string(c) + ", " + std::to_string(count) + " from " + kAmounts[first];
    SCOPED_TRACE(what);
    SQLINTEGER key[kAll];
    char text[kAll][32] = {};
    double dbl[kAll];
    SQL_NUMERIC_STRUCT num[kAll] = {};
    SQLLEN textInd[kAll], fixedInd[kAll];
    for (size_t i = 0; i < count; ++i) {
      const char* amount = kAmounts[first + i];
      key[i] = ++id;
      std::snprintf(text[i], sizeof text[i], "%s", amount);
      dbl[i] = std::stod(amount);
      const long long cents = std::llabs(std::llround(dbl[i] * 100));
      for (int b = 0; b < 8; ++b) num[i].val[b] = static_cast<SQLCHAR>(cents >> (8 * b));
      num[i].precision = 19;
      num[i].scale = 2;
      num[i].sign = dbl[i] < 0 ? 0 : 1;
      textInd[i] = SQL_NTS;
      fixedInd[i] = 0;
    }
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)count, 0));
    ASSERT_EQ(
        SQL_SUCCESS,
        SQLPrepare(stmt_, (SQLCHAR*)("INSERT INTO " + table + " VALUES (?, ?)").c_str(), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                            0, key, 0, nullptr));
    SQLRETURN rc = SQL_ERROR;
    if (c == SQL_C_CHAR) {
      rc = SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, text,
                            sizeof text[0], textInd);
    } else if (c == SQL_C_DOUBLE) {
      rc = SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, dbl, 0,
                            fixedInd);
    } else {
      rc = SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_NUMERIC, 19, 2, num,
                            sizeof num[0], fixedInd);
      if (rc == SQL_SUCCESS) SetNumericRecord(stmt_, SQL_ATTR_APP_PARAM_DESC, 2, num, fixedInd);
    }
    ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
    MustExec("SELECT v::numeric::text FROM " + table + " WHERE id > " +
             std::to_string(id - static_cast<SQLINTEGER>(count)) + " ORDER BY id");
    const auto rows = qmr_test::FetchRows(stmt_);
    ASSERT_EQ(count, rows.size());
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(kAmounts[first + i], rows[i][0].text) << i;
  };
  for (SQLSMALLINT c : {SQL_C_CHAR, SQL_C_DOUBLE, SQL_C_NUMERIC}) {
    for (size_t i = 0; i < kAll; ++i) write(c, i, 1);
    write(c, 0, kAll);
  }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyTypesDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);
INSTANTIATE_TEST_SUITE_P(Backend, TypesDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
