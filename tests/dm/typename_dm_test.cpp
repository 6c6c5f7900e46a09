// Type names, source tables and literal prefixes and suffixes of result
// columns through the Driver Manager, on every backend and both builds, for
// ODBC 2 and ODBC 3 applications: a column's SQL_DESC_TYPE_NAME is the
// database's own name for the column's type, as SQLColumns gives it; its
// table is the one it is read from; the literal prefix and suffix are the
// server's: a quote for text and dates, nothing for numbers.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <strings.h>

#include <cctype>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

enum class Kind { Number, Text, Date, Binary, Other };

struct Column {
  const char* name;
  Kind kind;
};

// The test table's columns, in order.
const Column kColumns[] = {
    {"i", Kind::Number}, {"s", Kind::Number}, {"b", Kind::Number},  {"n", Kind::Number},
    {"d", Kind::Number}, {"r", Kind::Number}, {"c", Kind::Text},    {"v", Kind::Text},
    {"dt", Kind::Date},  {"tm", Kind::Date},  {"ts", Kind::Date},   {"vb", Kind::Binary},
    {"bo", Kind::Other}, {"cl", Kind::Text},  {"bl", Kind::Binary},
};

std::string Ddl(const std::string& dsn, const std::string& table) {
  const bool pg = dsn.rfind("QmrPg", 0) == 0;
  const bool derby = dsn.rfind("QmrDerby", 0) == 0;
  const std::string varbinary = pg ? "BYTEA" : derby ? "VARCHAR(16) FOR BIT DATA" : "VARBINARY(16)";
  return "CREATE TABLE " + table +
         " (i INTEGER, s SMALLINT, b BIGINT, n DECIMAL(10,2), d DOUBLE PRECISION, r REAL,"
         " c CHAR(5), v VARCHAR(20), dt DATE, tm TIME, ts TIMESTAMP, vb " +
         varbinary + ", bo BOOLEAN, cl " + (pg ? "TEXT" : "CLOB") + ", bl " +
         (pg ? "BYTEA" : "BLOB") + ")";
}

// The narrow SQL type the server's type information lists for a described
// one: the wide character types are the connection's way of delivering text.
SQLSMALLINT Listed(SQLSMALLINT t) {
  switch (t) {
    case SQL_WCHAR: return SQL_CHAR;
    case SQL_WVARCHAR: return SQL_VARCHAR;
    case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
    default: return t;
  }
}

class TypeNameDm : public ::testing::TestWithParam<std::tuple<std::string, int>>,
                   public qmr_test::DmSession {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    dsn_ = std::get<0>(GetParam());
    version_ = std::get<1>(GetParam());
    ASSERT_TRUE(NewEnv(version_ == 3 ? SQL_OV_ODBC3 : SQL_OV_ODBC2));
    ASSERT_TRUE(ConnectString("DSN=" + dsn_));
    table_ = "qtn_" + qmr_test::Lower(dsn_) + "_" + std::to_string(version_);
    Exec("DROP TABLE " + table_);
    MustExec(Ddl(dsn_, table_));
    MustExec("SELECT i, s, b, n, d, r, c, v, dt, tm, ts, vb, bo, cl, bl FROM " + table_);
  }
  void TearDown() override {
    if (stmt_ != nullptr) Exec("DROP TABLE " + table_);
    Close();
  }

  bool Pg() const { return dsn_.rfind("QmrPg", 0) == 0; }
  bool Wide() const { return dsn_.back() == 'U'; }

  SQLSMALLINT ConciseType(SQLUSMALLINT col) {
    SQLLEN n = 0;
    EXPECT_EQ(SQL_SUCCESS,
              SQLColAttribute(stmt_, col, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &n));
    return static_cast<SQLSMALLINT>(n);
  }
  std::string Text(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field) {
    SQLCHAR buf[256] = "";
    SQLSMALLINT len = -1;
    const SQLRETURN rc = SQLColAttribute(stmt, col, field, buf, sizeof buf, &len, nullptr);
    EXPECT_EQ(SQL_SUCCESS, rc) << "column " << col << " field " << field << " "
                               << Diag(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::string(reinterpret_cast<char*>(buf)).size()), len);
    return reinterpret_cast<char*>(buf);
  }
  std::string TextW(SQLUSMALLINT col, SQLUSMALLINT field) {
    SQLWCHAR buf[256] = {0};
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLColAttributeW(stmt_, col, field, buf, sizeof buf, &len, nullptr))
        << Diag(SQL_HANDLE_STMT, stmt_);
    std::string s;
    for (size_t i = 0; buf[i] != 0; ++i) s.push_back(static_cast<char>(buf[i]));
    EXPECT_EQ(static_cast<SQLSMALLINT>(2 * s.size()), len);
    return s;
  }
  // A field of the implementation row descriptor (ODBC 3 applications).
  std::string IrdText(SQLUSMALLINT col, SQLSMALLINT field) {
    SQLHDESC ird = nullptr;
    EXPECT_EQ(SQL_SUCCESS,
              SQLGetStmtAttr(stmt_, SQL_ATTR_IMP_ROW_DESC, &ird, SQL_IS_POINTER, nullptr));
    SQLCHAR buf[256] = "";
    SQLINTEGER len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ird, col, field, buf, sizeof buf, &len))
        << Diag(SQL_HANDLE_DESC, ird);
    return reinterpret_cast<char*>(buf);
  }

  struct TypeRow {
    bool found = false;
    std::string name, prefix, suffix;
  };
  // The row SQLGetTypeInfo lists for type t that names a column of that
  // type: the one under the type's standard name when the server lists one
  // (HSQLDB puts NVARCHAR, PostgreSQL "name" before VARCHAR), else the first.
  TypeRow TypeInfo(SQLSMALLINT t) {
    static const std::map<SQLSMALLINT, std::string> kStandard = {
        {SQL_CHAR, "CHAR"},          {SQL_VARCHAR, "VARCHAR"}, {SQL_LONGVARCHAR, "LONGVARCHAR"},
        {SQL_DECIMAL, "DECIMAL"},    {SQL_INTEGER, "INTEGER"}, {SQL_SMALLINT, "SMALLINT"},
        {SQL_DOUBLE, "DOUBLE"},      {SQL_REAL, "REAL"},       {SQL_BIGINT, "BIGINT"},
        {SQL_VARBINARY, "VARBINARY"}};
    TypeRow row;
    SQLHSTMT s = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s));
    EXPECT_EQ(SQL_SUCCESS, SQLGetTypeInfo(s, t)) << Diag(SQL_HANDLE_STMT, s);
    const auto standard = kStandard.find(t);
    while (SQLFetch(s) == SQL_SUCCESS) {
      TypeRow r{true, Cell(s, 1), Cell(s, 4), Cell(s, 5)};
      if (!row.found) row = r;
      if (standard != kStandard.end() &&
          strcasecmp(r.name.c_str(), standard->second.c_str()) == 0) {
        row = r;
        break;
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return row;
  }
  // The row the driver names a column of type t after: the narrow type's,
  // else (a wide type the server lists only as such, e.g. CLOB) its own.
  TypeRow Expected(SQLSMALLINT t) {
    TypeRow row = TypeInfo(Listed(t));
    if (!row.found && Listed(t) != t) row = TypeInfo(t);
    return row;
  }
  // TYPE_NAME of every column of table, by column name (as SQLColumns
  // spells both).
  std::map<std::string, std::string> CatalogTypeNames(const std::string& table) {
    std::map<std::string, std::string> names;
    SQLHSTMT s = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s));
    const std::string stored = Pg() ? table : Upper(table);
    EXPECT_EQ(SQL_SUCCESS,
              SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)stored.c_str(), SQL_NTS, nullptr, 0))
        << Diag(SQL_HANDLE_STMT, s);
    while (SQLFetch(s) == SQL_SUCCESS) names[qmr_test::Lower(Cell(s, 4))] = Cell(s, 6);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return names;
  }
  static std::string Upper(std::string v) {
    for (char& c : v) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return v;
  }
  static std::string Cell(SQLHSTMT s, SQLUSMALLINT col) {
    SQLCHAR buf[256] = "";
    SQLLEN ind = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(s, col, SQL_C_CHAR, buf, sizeof buf, &ind)));
    return ind == SQL_NULL_DATA ? std::string() : reinterpret_cast<char*>(buf);
  }

  std::string dsn_;
  int version_ = 3;
  std::string table_;
};

TEST_P(TypeNameDm, TypeNameIsTheCatalogsName) {
  const std::map<std::string, std::string> catalog = CatalogTypeNames(table_);
  ASSERT_EQ(std::size(kColumns), catalog.size());
  for (SQLUSMALLINT col = 1; col <= std::size(kColumns); ++col) {
    SCOPED_TRACE(kColumns[col - 1].name);
    const std::string name = Text(stmt_, col, SQL_DESC_TYPE_NAME);
    EXPECT_EQ(catalog.at(kColumns[col - 1].name), name);
  }
}

TEST_P(TypeNameDm, TypesWithoutAnOdbcTypeKeepTheirNames) {
  // An interval and a bit string are delivered as text; their names stay
  // the database's, not those of its text types.
  if (!Pg() && dsn_.rfind("QmrHsql", 0) != 0) GTEST_SKIP() << "interval and bit types";
  const std::string t = table_ + "_iv";
  Exec("DROP TABLE " + t);
  MustExec("CREATE TABLE " + t + " (iv INTERVAL" + (Pg() ? "" : " DAY TO SECOND") + ", bs BIT(4))");
  MustExec("SELECT iv, bs FROM " + t);
  const std::map<std::string, std::string> catalog = CatalogTypeNames(t);
  const std::string iv = Text(stmt_, 1, SQL_DESC_TYPE_NAME);
  EXPECT_EQ(catalog.at("iv"), iv);
  EXPECT_NE(std::string::npos, Upper(iv).find("INTERVAL")) << iv;
  EXPECT_EQ(catalog.at("bs"), Text(stmt_, 2, SQL_DESC_TYPE_NAME));
  MustExec("DROP TABLE " + t);
}

TEST_P(TypeNameDm, ColumnsNameTheirTable) {
  const std::string table = Pg() ? table_ : Upper(table_);
  const std::string schema = Pg() ? "public" : dsn_.rfind("QmrDerby", 0) == 0 ? "APP" : "PUBLIC";
  const SQLUSMALLINT v = 8;
  EXPECT_EQ(table, Text(stmt_, v, SQL_DESC_TABLE_NAME));
  if (version_ == 3) {
    EXPECT_EQ(table, Text(stmt_, v, SQL_DESC_BASE_TABLE_NAME));
    EXPECT_EQ(table, IrdText(v, SQL_DESC_BASE_TABLE_NAME));
  }
  // A driver that names the schema gives it too; PostgreSQL's names none.
  const std::string owner = Text(stmt_, v, SQL_DESC_SCHEMA_NAME);
  EXPECT_TRUE(owner == schema || (Pg() && owner.empty())) << owner;
  // A computed column comes from no table.
  MustExec("SELECT i + 1 FROM " + table_);
  EXPECT_EQ("", Text(stmt_, 1, SQL_DESC_TABLE_NAME));
}

TEST_P(TypeNameDm, NamesOfTheBackend) {
  // The backends' own spellings of the standard types.
  const bool h2 = dsn_.rfind("QmrH2", 0) == 0;
  const std::string integer = Pg() ? "int4" : "INTEGER";
  const std::string varchar = Pg() ? "varchar" : h2 ? "CHARACTER VARYING" : "VARCHAR";
  EXPECT_EQ(integer, Text(stmt_, 1, SQL_DESC_TYPE_NAME));
  EXPECT_EQ(varchar, Text(stmt_, 8, SQL_DESC_TYPE_NAME));
}

TEST_P(TypeNameDm, DateTypesFollowTheApplicationsVersion) {
  const bool v3 = version_ == 3;
  const SQLSMALLINT expected[] = {
      static_cast<SQLSMALLINT>(v3 ? SQL_TYPE_DATE : SQL_DATE),
      static_cast<SQLSMALLINT>(v3 ? SQL_TYPE_TIME : SQL_TIME),
      static_cast<SQLSMALLINT>(v3 ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP)};
  for (SQLUSMALLINT col = 9; col <= 11; ++col) {
    EXPECT_EQ(expected[col - 9], ConciseType(col));
    EXPECT_EQ(TypeInfo(expected[col - 9]).name, Text(stmt_, col, SQL_DESC_TYPE_NAME));
  }
}

TEST_P(TypeNameDm, LiteralPrefixAndSuffixByKind) {
  for (SQLUSMALLINT col = 1; col <= std::size(kColumns); ++col) {
    const Column& c = kColumns[col - 1];
    SCOPED_TRACE(c.name);
    const SQLSMALLINT t = ConciseType(col);
    const std::string prefix = Text(stmt_, col, SQL_DESC_LITERAL_PREFIX);
    const std::string suffix = Text(stmt_, col, SQL_DESC_LITERAL_SUFFIX);
    const TypeRow listed = Expected(t);
    EXPECT_EQ(listed.prefix, prefix) << "type " << t;
    EXPECT_EQ(listed.suffix, suffix) << "type " << t;
    switch (c.kind) {
      case Kind::Number:
        EXPECT_EQ("", prefix);
        EXPECT_EQ("", suffix);
        break;
      case Kind::Text:
        EXPECT_EQ("'", prefix);
        EXPECT_EQ("'", suffix);
        break;
      case Kind::Date:
        // A quote, perhaps behind the type's keyword (DATE ').
        ASSERT_FALSE(prefix.empty());
        EXPECT_EQ('\'', prefix.back());
        EXPECT_EQ("'", suffix);
        break;
      case Kind::Binary:
        if (!prefix.empty()) {
          EXPECT_EQ('\'', prefix.back()) << prefix;
          EXPECT_EQ("'", suffix);
        }
        break;
      case Kind::Other: break;
    }
  }
}

TEST_P(TypeNameDm, DescriptorAndWideCallsAgree) {
  for (SQLUSMALLINT col = 1; col <= std::size(kColumns); ++col) {
    SCOPED_TRACE(kColumns[col - 1].name);
    const std::string name = Text(stmt_, col, SQL_DESC_TYPE_NAME);
    const std::string prefix = Text(stmt_, col, SQL_DESC_LITERAL_PREFIX);
    EXPECT_EQ(name, TextW(col, SQL_DESC_TYPE_NAME));
    EXPECT_EQ(prefix, TextW(col, SQL_DESC_LITERAL_PREFIX));
    EXPECT_EQ(Text(stmt_, col, SQL_DESC_LITERAL_SUFFIX), TextW(col, SQL_DESC_LITERAL_SUFFIX));
    if (version_ == 3) {
      EXPECT_EQ(name, IrdText(col, SQL_DESC_TYPE_NAME));
      EXPECT_EQ(prefix, IrdText(col, SQL_DESC_LITERAL_PREFIX));
    }
  }
}

TEST_P(TypeNameDm, CharacterColumnsDescribeByTheBuild) {
  // The Unicode build delivers text as the wide types; their names are
  // still the columns' own character types'.
  const SQLSMALLINT v = ConciseType(8);
  EXPECT_EQ(Wide() ? SQL_WVARCHAR : SQL_VARCHAR, v);
  const std::map<std::string, std::string> catalog = CatalogTypeNames(table_);
  EXPECT_EQ(catalog.at("v"), Text(stmt_, 8, SQL_DESC_TYPE_NAME));
  EXPECT_EQ(catalog.at("c"), Text(stmt_, 7, SQL_DESC_TYPE_NAME));
}

std::string ParamName(const ::testing::TestParamInfo<std::tuple<std::string, int>>& info) {
  return std::get<0>(info.param) + "_Odbc" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, TypeNameDm,
                         ::testing::Combine(::testing::ValuesIn(qmr_test::TestDsns()),
                                            ::testing::Values(2, 3)),
                         ParamName);

}  // namespace
