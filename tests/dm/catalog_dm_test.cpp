// The catalog functions through the Driver Manager on every backend and both
// builds: a known schema (two tables with primary keys, a foreign key, a
// unique index, a view and a procedure) comes back from each function with
// ODBC 3 column names and types, in ODBC's order, with the values ODBC
// defines; the listing modes of SQLTables; long table-type lists; and the
// server's type information for ODBC 2 and ODBC 3 applications.
// Identifiers are upper case on HSQLDB, H2 and Derby and lower case on
// PostgreSQL, which folds unquoted names the other way.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Lower;

// Result column shapes: text (wide in the Unicode build), always-narrow
// text, SMALLINT, INTEGER.
enum Shape { kT, kV, kS, kI };
struct Col {
  const char* name;
  Shape shape;
};

const std::vector<Col> kTablesCols = {{"TABLE_CAT", kT},
                                      {"TABLE_SCHEM", kT},
                                      {"TABLE_NAME", kT},
                                      {"TABLE_TYPE", kT},
                                      {"REMARKS", kT}};
const std::vector<Col> kColumnsCols = {
    {"TABLE_CAT", kT},         {"TABLE_SCHEM", kT},      {"TABLE_NAME", kT},
    {"COLUMN_NAME", kT},       {"DATA_TYPE", kS},        {"TYPE_NAME", kT},
    {"COLUMN_SIZE", kI},       {"BUFFER_LENGTH", kI},    {"DECIMAL_DIGITS", kS},
    {"NUM_PREC_RADIX", kS},    {"NULLABLE", kS},         {"REMARKS", kT},
    {"COLUMN_DEF", kT},        {"SQL_DATA_TYPE", kS},    {"SQL_DATETIME_SUB", kS},
    {"CHAR_OCTET_LENGTH", kI}, {"ORDINAL_POSITION", kI}, {"IS_NULLABLE", kT}};
const std::vector<Col> kStatisticsCols = {
    {"TABLE_CAT", kT},       {"TABLE_SCHEM", kT}, {"TABLE_NAME", kT},  {"NON_UNIQUE", kS},
    {"INDEX_QUALIFIER", kT}, {"INDEX_NAME", kT},  {"TYPE", kS},        {"ORDINAL_POSITION", kS},
    {"COLUMN_NAME", kT},     {"ASC_OR_DESC", kV}, {"CARDINALITY", kI}, {"PAGES", kI},
    {"FILTER_CONDITION", kT}};
const std::vector<Col> kSpecialCols = {
    {"SCOPE", kS},       {"COLUMN_NAME", kT},   {"DATA_TYPE", kS},      {"TYPE_NAME", kT},
    {"COLUMN_SIZE", kI}, {"BUFFER_LENGTH", kI}, {"DECIMAL_DIGITS", kS}, {"PSEUDO_COLUMN", kS}};
const std::vector<Col> kPrimaryKeyCols = {{"TABLE_CAT", kT},  {"TABLE_SCHEM", kT},
                                          {"TABLE_NAME", kT}, {"COLUMN_NAME", kT},
                                          {"KEY_SEQ", kS},    {"PK_NAME", kT}};
const std::vector<Col> kForeignKeyCols = {
    {"PKTABLE_CAT", kT}, {"PKTABLE_SCHEM", kT}, {"PKTABLE_NAME", kT}, {"PKCOLUMN_NAME", kT},
    {"FKTABLE_CAT", kT}, {"FKTABLE_SCHEM", kT}, {"FKTABLE_NAME", kT}, {"FKCOLUMN_NAME", kT},
    {"KEY_SEQ", kS},     {"UPDATE_RULE", kS},   {"DELETE_RULE", kS},  {"FK_NAME", kT},
    {"PK_NAME", kT},     {"DEFERRABILITY", kS}};
const std::vector<Col> kProceduresCols = {{"PROCEDURE_CAT", kT},     {"PROCEDURE_SCHEM", kT},
                                          {"PROCEDURE_NAME", kT},    {"NUM_INPUT_PARAMS", kS},
                                          {"NUM_OUTPUT_PARAMS", kS}, {"NUM_RESULT_SETS", kS},
                                          {"REMARKS", kT},           {"PROCEDURE_TYPE", kS}};
const std::vector<Col> kProcColumnsCols = {
    {"PROCEDURE_CAT", kT},    {"PROCEDURE_SCHEM", kT},   {"PROCEDURE_NAME", kT},
    {"COLUMN_NAME", kT},      {"COLUMN_TYPE", kS},       {"DATA_TYPE", kS},
    {"TYPE_NAME", kT},        {"COLUMN_SIZE", kI},       {"BUFFER_LENGTH", kI},
    {"DECIMAL_DIGITS", kS},   {"NUM_PREC_RADIX", kS},    {"NULLABLE", kS},
    {"REMARKS", kT},          {"COLUMN_DEF", kT},        {"SQL_DATA_TYPE", kS},
    {"SQL_DATETIME_SUB", kS}, {"CHAR_OCTET_LENGTH", kI}, {"ORDINAL_POSITION", kI},
    {"IS_NULLABLE", kT}};
const std::vector<Col> kTablePrivCols = {
    {"TABLE_CAT", kT}, {"TABLE_SCHEM", kT}, {"TABLE_NAME", kT},  {"GRANTOR", kT},
    {"GRANTEE", kT},   {"PRIVILEGE", kT},   {"IS_GRANTABLE", kT}};
const std::vector<Col> kColumnPrivCols = {
    {"TABLE_CAT", kT}, {"TABLE_SCHEM", kT}, {"TABLE_NAME", kT}, {"COLUMN_NAME", kT},
    {"GRANTOR", kT},   {"GRANTEE", kT},     {"PRIVILEGE", kT},  {"IS_GRANTABLE", kT}};
const std::vector<Col> kTypeInfoCols = {
    {"TYPE_NAME", kT},          {"DATA_TYPE", kS},        {"COLUMN_SIZE", kI},
    {"LITERAL_PREFIX", kV},     {"LITERAL_SUFFIX", kV},   {"CREATE_PARAMS", kT},
    {"NULLABLE", kS},           {"CASE_SENSITIVE", kS},   {"SEARCHABLE", kS},
    {"UNSIGNED_ATTRIBUTE", kS}, {"FIXED_PREC_SCALE", kS}, {"AUTO_UNIQUE_VALUE", kS},
    {"LOCAL_TYPE_NAME", kT},    {"MINIMUM_SCALE", kS},    {"MAXIMUM_SCALE", kS},
    {"SQL_DATA_TYPE", kS},      {"SQL_DATETIME_SUB", kS}, {"NUM_PREC_RADIX", kI},
    {"INTERVAL_PRECISION", kS}};

using Row = std::vector<std::string>;
constexpr const char* kNull = "<null>";

// One application's connection: environment of the ODBC version given,
// one statement.
class Conn : public qmr_test::DmSession {
 public:
  Conn(const std::string& dsn, int version) {
    if (NewEnv(version == 3 ? SQL_OV_ODBC3 : SQL_OV_ODBC2)) ConnectString("DSN=" + dsn);
  }

  SQLHSTMT stmt() const { return stmt_; }
  std::string Diag() const { return qmr_test::Diag(SQL_HANDLE_STMT, stmt_); }

  // Every row of the open result as text, NULL as kNull.
  std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const qmr_test::Row& fetched : qmr_test::FetchRows(stmt_)) {
      Row row;
      for (const qmr_test::Cell& cell : fetched) row.push_back(cell.null ? kNull : cell.text);
      rows.push_back(row);
    }
    return rows;
  }
};

#define S(x) (SQLCHAR*)(x)

class CatalogDm : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    dsn_ = GetParam();
    db_ = DbOf(dsn_);
    wide_ = dsn_.back() == 'U';
    suffix_ = wide_ ? "_U" : "_A";
    c_ = std::make_unique<Conn>(dsn_, 3);
    ASSERT_TRUE(c_->ok());
    static std::set<std::string> ready;
    if (ready.insert(dsn_).second) CreateSchema();
  }

  // Names as the server stores them.
  std::string Id(const std::string& stem) const {
    const std::string n = "QCF_" + stem + suffix_;
    return db_ == Db::Pg ? Lower(n) : n;
  }
  std::string Up(const std::string& s) const { return db_ == Db::Pg ? Lower(s) : s; }
  std::string Schema() const {
    switch (db_) {
      case Db::Derby: return "APP";
      case Db::Pg: return "public";
      default: return "PUBLIC";
    }
  }
  // The backend's name for an ordinary table: H2 says "BASE TABLE", a name
  // of its own that ODBC allows beside "TABLE".
  std::string TableType() const { return db_ == Db::H2 ? "BASE TABLE" : "TABLE"; }

  void MustExec(const std::string& sql) {
    ASSERT_TRUE(SQL_SUCCEEDED(c_->Exec(sql))) << sql << "\n" << c_->Diag();
  }
  void CreateSchema() {
    const std::string parent = Id("PARENT"), child = Id("CHILD"), view = Id("VIEW"),
                      proc = Id("PROC");
    c_->Exec("DROP VIEW " + view);
    c_->Exec("DROP TABLE " + child);
    c_->Exec("DROP TABLE " + parent);
    switch (db_) {
      case Db::H2: c_->Exec("DROP ALIAS " + proc); break;
      case Db::Pg:
        c_->Exec("DROP FUNCTION IF EXISTS " + proc);
        c_->Exec("DROP PROCEDURE IF EXISTS " + proc);
        break;
      default: c_->Exec("DROP PROCEDURE " + proc); break;
    }
    MustExec("CREATE TABLE " + parent +
             " (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) NOT NULL, BORN DATE,"
             " QTY SMALLINT)");
    MustExec("CREATE TABLE " + child +
             " (CID INTEGER NOT NULL PRIMARY KEY, PID INTEGER, CODE CHAR(5), CONSTRAINT " +
             Id("FK") + " FOREIGN KEY (PID) REFERENCES " + parent + "(ID))");
    MustExec("CREATE UNIQUE INDEX " + Id("UX") + " ON " + child + "(CODE)");
    MustExec("CREATE VIEW " + view + " AS SELECT ID, NAME FROM " + parent);
    switch (db_) {
      case Db::Hsql:
        MustExec("CREATE PROCEDURE " + proc +
                 "(IN A INTEGER, OUT B VARCHAR(20)) BEGIN ATOMIC SET B = 'x'; END");
        break;
      case Db::H2:  // a function of one INTEGER argument, returning INTEGER
        MustExec("CREATE ALIAS " + proc + " FOR 'java.lang.Integer.bitCount'");
        break;
      case Db::Derby:  // a JDK method, so no class of the test's own is needed
        MustExec("CREATE PROCEDURE " + proc +
                 "(IN A BIGINT) LANGUAGE JAVA PARAMETER STYLE JAVA NO SQL"
                 " EXTERNAL NAME 'java.lang.Thread.sleep'");
        break;
      case Db::Pg:  // the JDBC driver lists procedures, not functions, as procedures
        MustExec("CREATE PROCEDURE " + proc +
                 "(IN a INTEGER, INOUT b VARCHAR) LANGUAGE plpgsql AS $$ BEGIN b := 'x'; END $$");
        break;
    }
  }

  // Every result column described with its ODBC 3 name and SQL type; the
  // integer columns with the sizes of their types.
  void ExpectColumns(const std::vector<Col>& want) {
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(c_->stmt(), &n));
    ASSERT_EQ(static_cast<size_t>(n), want.size());
    for (SQLUSMALLINT i = 1; i <= n; ++i) {
      const Col& w = want[i - 1];
      SQLCHAR name[256] = "";
      SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(c_->stmt(), i, name, sizeof name, &len, &type, &size,
                                            &digits, &nullable));
      EXPECT_STREQ(reinterpret_cast<char*>(name), w.name) << i;
      SQLLEN display = 0;
      EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(c_->stmt(), i, SQL_DESC_DISPLAY_SIZE, nullptr, 0,
                                             nullptr, &display));
      switch (w.shape) {
        case kT: EXPECT_EQ(type, wide_ ? SQL_WVARCHAR : SQL_VARCHAR) << w.name; break;
        case kV: EXPECT_EQ(type, SQL_VARCHAR) << w.name; break;
        case kS:
          EXPECT_EQ(type, SQL_SMALLINT) << w.name;
          EXPECT_EQ(size, 5u) << w.name;
          EXPECT_EQ(display, 6) << w.name;
          break;
        case kI:
          EXPECT_EQ(type, SQL_INTEGER) << w.name;
          EXPECT_EQ(size, 10u) << w.name;
          EXPECT_EQ(display, 11) << w.name;
          break;
      }
    }
  }
  SQLHSTMT H() const { return c_->stmt(); }
  static std::vector<std::string> Column(const std::vector<Row>& rows, size_t c) {
    std::vector<std::string> out;
    for (const Row& r : rows) out.push_back(r.at(c));
    return out;
  }
  static const Row* Find(const std::vector<Row>& rows, size_t c, const std::string& v) {
    for (const Row& r : rows)
      if (r.at(c) == v) return &r;
    return nullptr;
  }
  std::vector<Row> Tables(const std::string& pattern, const char* types) {
    const SQLRETURN rc = SQLTables(H(), nullptr, 0, S(Schema().c_str()), SQL_NTS,
                                   S(pattern.c_str()), SQL_NTS, S(types), SQL_NTS);
    EXPECT_EQ(rc, SQL_SUCCESS) << c_->Diag();
    return c_->Rows();
  }

  std::string dsn_, suffix_;
  Db db_ = Db::Hsql;
  bool wide_ = false;
  std::unique_ptr<Conn> c_;
};

TEST_P(CatalogDm, TablesInOdbcShapeAndOrder) {
  const std::string pattern = Up("QCF%") + Up(suffix_);
  ASSERT_EQ(SQL_SUCCESS, SQLTables(H(), nullptr, 0, S(Schema().c_str()), SQL_NTS,
                                   S(pattern.c_str()), SQL_NTS, nullptr, 0))
      << c_->Diag();
  ExpectColumns(kTablesCols);
  std::vector<Row> rows = c_->Rows();
  // Ordered by type, then name. PostgreSQL's JDBC driver lists indexes as
  // tables of type "INDEX", a type of its own, which ODBC allows.
  std::vector<std::string> names = {Id("CHILD"), Id("PARENT"), Id("VIEW")};
  std::vector<std::string> types = {TableType(), TableType(), "VIEW"};
  if (db_ == Db::Pg) {
    names.insert(names.begin(), Id("UX"));
    types.insert(types.begin(), "INDEX");
  }
  ASSERT_EQ(Column(rows, 2), names);
  EXPECT_EQ(Column(rows, 3), types);
  for (const Row& r : rows) {
    EXPECT_EQ(r[1], Schema());
  }

  // Types: one, quoted, "%" (every type).
  EXPECT_EQ(Column(Tables(pattern, "VIEW"), 2), (std::vector<std::string>{Id("VIEW")}));
  EXPECT_EQ(Column(Tables(pattern, ("'" + TableType() + "'").c_str()), 2),
            (std::vector<std::string>{Id("CHILD"), Id("PARENT")}));
  EXPECT_EQ(Column(Tables(pattern, "%"), 2), names);
}

TEST_P(CatalogDm, ThirtyQuotedTableTypes) {
  std::string types = "'VIEW'";
  for (int i = 0; i < 27; ++i) types += ",'NO SUCH TYPE " + std::to_string(i) + "'";
  types += ",'TABLE','BASE TABLE'";
  const std::string pattern = Up("QCF%") + Up(suffix_);
  const std::vector<Row> rows = Tables(pattern, types.c_str());
  EXPECT_EQ(Column(rows, 2), (std::vector<std::string>{Id("CHILD"), Id("PARENT"), Id("VIEW")}));
  // Without VIEW, the other 29 names find only the tables.
  EXPECT_EQ(Tables(pattern, types.substr(7).c_str()).size(), 2u);
}

TEST_P(CatalogDm, ListingModesOfTables) {
  // Catalogs: only TABLE_CAT filled (Derby has none: no rows).
  ASSERT_EQ(SQL_SUCCESS,
            SQLTables(H(), S(SQL_ALL_CATALOGS), SQL_NTS, S(""), 0, S(""), 0, nullptr, 0))
      << c_->Diag();
  ExpectColumns(kTablesCols);
  std::vector<Row> rows = c_->Rows();
  if (db_ != Db::Derby) {
    EXPECT_FALSE(rows.empty());
  }
  for (const Row& r : rows) {
    EXPECT_NE(r[0], kNull);
    for (size_t c = 1; c < 5; ++c) {
      EXPECT_EQ(r[c], kNull);
    }
  }
  // Schemas: TABLE_SCHEM only, ours among them.
  ASSERT_EQ(SQL_SUCCESS,
            SQLTables(H(), S(""), 0, S(SQL_ALL_SCHEMAS), SQL_NTS, S(""), 0, nullptr, 0))
      << c_->Diag();
  rows = c_->Rows();
  EXPECT_NE(Find(rows, 1, Schema()), nullptr);
  for (const Row& r : rows) {
    EXPECT_EQ(r[0], kNull);
    EXPECT_EQ(r[2], kNull);
    EXPECT_EQ(r[3], kNull);
  }
  // Table types: TABLE_TYPE only.
  ASSERT_EQ(SQL_SUCCESS,
            SQLTables(H(), S(""), 0, S(""), 0, S(""), 0, S(SQL_ALL_TABLE_TYPES), SQL_NTS))
      << c_->Diag();
  rows = c_->Rows();
  EXPECT_NE(Find(rows, 3, TableType()), nullptr);
  EXPECT_NE(Find(rows, 3, "VIEW"), nullptr);
  for (const Row& r : rows) {
    EXPECT_EQ(r[0], kNull);
    EXPECT_EQ(r[1], kNull);
    EXPECT_EQ(r[2], kNull);
  }
}

TEST_P(CatalogDm, ColumnsOfTheParentTable) {
  const std::string table = Id("PARENT");
  ASSERT_EQ(SQL_SUCCESS, SQLColumns(H(), nullptr, 0, S(Schema().c_str()), SQL_NTS, S(table.c_str()),
                                    SQL_NTS, nullptr, 0))
      << c_->Diag();
  ExpectColumns(kColumnsCols);
  const std::vector<Row> rows = c_->Rows();
  ASSERT_EQ(Column(rows, 3),
            (std::vector<std::string>{Up("ID"), Up("NAME"), Up("BORN"), Up("QTY")}));
  EXPECT_EQ(Column(rows, 16), (std::vector<std::string>{"1", "2", "3", "4"}));
  for (const Row& r : rows) {
    EXPECT_EQ(r[1], Schema());
    EXPECT_EQ(r[2], table);
  }
  // ID INTEGER NOT NULL
  EXPECT_EQ(rows[0][4], "4");
  // A number's size counts digits or bits, as NUM_PREC_RADIX says (HSQLDB
  // and H2 count bits).
  EXPECT_TRUE(rows[0][9] == "10" || rows[0][9] == "2") << rows[0][9];
  EXPECT_EQ(rows[0][6], rows[0][9] == "2" ? "32" : "10");
  EXPECT_EQ(rows[0][10], "0");
  EXPECT_EQ(rows[0][13], "4");
  EXPECT_EQ(rows[0][14], kNull);
  EXPECT_EQ(rows[0][15], kNull);
  EXPECT_EQ(rows[0][17], "NO");
  // NAME VARCHAR(40) NOT NULL: wide where the build describes text as wide
  const std::string varchar = wide_ ? "-9" : "12";
  EXPECT_EQ(rows[1][4], varchar);
  EXPECT_EQ(rows[1][6], "40");
  EXPECT_EQ(rows[1][13], varchar);
  ASSERT_NE(rows[1][15], kNull);  // CHAR_OCTET_LENGTH of text
  EXPECT_GE(std::stoi(rows[1][15]), 40);
  // BORN DATE: the ODBC 3 code, with the verbose type and subcode.
  EXPECT_EQ(rows[2][4], "91");
  EXPECT_EQ(rows[2][13], "9");
  EXPECT_EQ(rows[2][14], "1");
  EXPECT_EQ(rows[2][10], "1");
  EXPECT_EQ(rows[2][17], "YES");
  // QTY SMALLINT
  EXPECT_EQ(rows[3][4], "5");
  EXPECT_EQ(rows[3][6], rows[3][9] == "2" ? "16" : "5");
  EXPECT_EQ(rows[3][15], kNull);  // no octet length for a number
}

TEST_P(CatalogDm, ColumnsCarryWhatOdbcDefinesForTheirTypes) {
  // BUFFER_LENGTH for every type (the bytes of its C default type, text's
  // octet length); DECIMAL_DIGITS and NUM_PREC_RADIX only for numbers and
  // times; the octets of text count four bytes a character in both builds.
  const std::string table = Id("PARENT");
  ASSERT_EQ(SQL_SUCCESS, SQLColumns(H(), nullptr, 0, S(Schema().c_str()), SQL_NTS, S(table.c_str()),
                                    SQL_NTS, nullptr, 0))
      << c_->Diag();
  const std::vector<Row> rows = c_->Rows();
  ASSERT_EQ(rows.size(), 4u);
  struct Want {
    const char* column;
    const char* buffer;  // null: the text's octet length
    bool digits, radix;  // given, not NULL
  };
  const Want want[] = {{"ID", "4", true, true},
                       {"NAME", nullptr, false, false},
                       {"BORN", "6", false, false},
                       {"QTY", "2", true, true}};
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    const Want& w = want[i];
    SCOPED_TRACE(w.column);
    EXPECT_EQ(r[3], Up(w.column));
    EXPECT_EQ(r[7], w.buffer != nullptr ? w.buffer : r[15]);
    EXPECT_EQ(r[8] != kNull, w.digits) << r[8];
    EXPECT_EQ(r[9] != kNull, w.radix) << r[9];
  }
  EXPECT_EQ(rows[1][15], "160");  // VARCHAR(40)
}

TEST_P(CatalogDm, StatisticsListTheUniqueIndex) {
  const std::string table = Id("CHILD");
  ASSERT_EQ(SQL_SUCCESS, SQLStatistics(H(), nullptr, 0, S(Schema().c_str()), SQL_NTS,
                                       S(table.c_str()), SQL_NTS, SQL_INDEX_UNIQUE, SQL_QUICK))
      << c_->Diag();
  ExpectColumns(kStatisticsCols);
  const std::vector<Row> rows = c_->Rows();
  const Row* code = Find(rows, 8, Up("CODE"));
  ASSERT_NE(code, nullptr);
  EXPECT_EQ((*code)[2], table);
  EXPECT_EQ((*code)[3], "0");  // unique
  EXPECT_EQ((*code)[5], Id("UX"));
  EXPECT_NE((*code)[6], "0");  // an index, not the table's statistics row
  EXPECT_EQ((*code)[7], "1");
  for (const Row& r : rows) {
    // Only unique indexes were asked for.
    if (r[6] != "0") {
      EXPECT_EQ(r[3], "0") << r[5];
    }
  }
  // ODBC's order: NON_UNIQUE, TYPE, INDEX_QUALIFIER, INDEX_NAME, ORDINAL_POSITION.
  auto key = [](const Row& r) {
    return std::make_tuple(r[3] == kNull ? -1 : std::stoi(r[3]), std::stoi(r[6]), r[4], r[5],
                           r[7] == kNull ? 0 : std::stoi(r[7]));
  };
  for (size_t i = 1; i < rows.size(); ++i)
    EXPECT_LE(key(rows[i - 1]), key(rows[i])) << rows[i - 1][5] << " / " << rows[i][5];
}

TEST_P(CatalogDm, SpecialColumnsNameTheKey) {
  const std::string table = Id("PARENT");
  ASSERT_EQ(SQL_SUCCESS,
            SQLSpecialColumns(H(), SQL_BEST_ROWID, nullptr, 0, S(Schema().c_str()), SQL_NTS,
                              S(table.c_str()), SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE))
      << c_->Diag();
  ExpectColumns(kSpecialCols);
  const std::vector<Row> rows = c_->Rows();
  if (db_ == Db::Derby) {
    // Derby's getBestRowIdentifier answers nothing for this table; an
    // empty result is ODBC's answer for "no such columns".
    EXPECT_TRUE(rows.empty() || Find(rows, 1, Up("ID")) != nullptr);
  } else {
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], Up("ID"));
    EXPECT_EQ(rows[0][2], "4");
    EXPECT_EQ(rows[0][4], "10");
  }
  ASSERT_EQ(SQL_SUCCESS,
            SQLSpecialColumns(H(), SQL_ROWVER, nullptr, 0, S(Schema().c_str()), SQL_NTS,
                              S(table.c_str()), SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE))
      << c_->Diag();
  ExpectColumns(kSpecialCols);
  // None of the table's own columns changes by itself; PostgreSQL names
  // its row version, a pseudo column.
  for (const Row& r : c_->Rows()) {
    EXPECT_EQ(db_, Db::Pg) << r[1];
    EXPECT_EQ(r[7], "2") << r[1];  // SQL_PC_PSEUDO
  }
}

TEST_P(CatalogDm, PrimaryAndForeignKeys) {
  const std::string parent = Id("PARENT"), child = Id("CHILD"), sch = Schema();
  ASSERT_EQ(SQL_SUCCESS,
            SQLPrimaryKeys(H(), nullptr, 0, S(sch.c_str()), SQL_NTS, S(child.c_str()), SQL_NTS))
      << c_->Diag();
  ExpectColumns(kPrimaryKeyCols);
  std::vector<Row> rows = c_->Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], sch);
  EXPECT_EQ(rows[0][2], child);
  EXPECT_EQ(rows[0][3], Up("CID"));
  EXPECT_EQ(rows[0][4], "1");

  auto check = [&](const char* how) {
    ExpectColumns(kForeignKeyCols);
    const std::vector<Row> fk = c_->Rows();
    ASSERT_EQ(fk.size(), 1u) << how;
    const Row& r = fk[0];
    EXPECT_EQ(r[1], sch);
    EXPECT_EQ(r[2], parent);
    EXPECT_EQ(r[3], Up("ID"));
    EXPECT_EQ(r[5], sch);
    EXPECT_EQ(r[6], child);
    EXPECT_EQ(r[7], Up("PID"));
    EXPECT_EQ(r[8], "1");
    EXPECT_EQ(r[11], Id("FK"));
    for (size_t c : {9u, 10u}) {  // SQL_CASCADE .. SQL_NO_ACTION
      ASSERT_NE(r[c], kNull);
      EXPECT_GE(std::stoi(r[c]), 0);
      EXPECT_LE(std::stoi(r[c]), 4);
    }
    if (r[13] != kNull) {  // SQL_INITIALLY_DEFERRED .. SQL_NOT_DEFERRABLE
      EXPECT_GE(std::stoi(r[13]), 5);
      EXPECT_LE(std::stoi(r[13]), 7);
    }
  };
  // The keys that refer to the parent, those the child has, and both named.
  ASSERT_EQ(SQL_SUCCESS, SQLForeignKeys(H(), nullptr, 0, S(sch.c_str()), SQL_NTS, S(parent.c_str()),
                                        SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0))
      << c_->Diag();
  check("exported");
  ASSERT_EQ(SQL_SUCCESS, SQLForeignKeys(H(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                        S(sch.c_str()), SQL_NTS, S(child.c_str()), SQL_NTS))
      << c_->Diag();
  check("imported");
  ASSERT_EQ(SQL_SUCCESS,
            SQLForeignKeys(H(), nullptr, 0, S(sch.c_str()), SQL_NTS, S(parent.c_str()), SQL_NTS,
                           nullptr, 0, S(sch.c_str()), SQL_NTS, S(child.c_str()), SQL_NTS))
      << c_->Diag();
  check("cross");
}

TEST_P(CatalogDm, ProceduresAndTheirParameters) {
  const std::string proc = Id("PROC"), sch = Schema();
  ASSERT_EQ(SQL_SUCCESS,
            SQLProcedures(H(), nullptr, 0, S(sch.c_str()), SQL_NTS, S(proc.c_str()), SQL_NTS))
      << c_->Diag();
  ExpectColumns(kProceduresCols);
  std::vector<Row> rows = c_->Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], sch);
  EXPECT_EQ(rows[0][2], proc);
  ASSERT_NE(rows[0][7], kNull);
  EXPECT_GE(std::stoi(rows[0][7]), 0);  // SQL_PT_UNKNOWN .. SQL_PT_FUNCTION
  EXPECT_LE(std::stoi(rows[0][7]), 2);

  ASSERT_EQ(SQL_SUCCESS, SQLProcedureColumns(H(), nullptr, 0, S(sch.c_str()), SQL_NTS,
                                             S(proc.c_str()), SQL_NTS, nullptr, 0))
      << c_->Diag();
  ExpectColumns(kProcColumnsCols);
  rows = c_->Rows();
  // The parameters: name, COLUMN_TYPE, DATA_TYPE; a return value first.
  struct Param {
    std::string name;
    const char* columnType;
    const char* dataType;
  };
  std::vector<Param> want;
  const char* varchar = wide_ ? "-9" : "12";
  switch (db_) {
    case Db::Hsql: want = {{"A", "1", "4"}, {"B", "4", varchar}}; break;
    // A varchar of no length is long text, as a column of it is.
    case Db::Pg: want = {{"a", "1", "4"}, {"b", "2", wide_ ? "-10" : "-1"}}; break;
    case Db::Derby: want = {{"A", "1", "-5"}}; break;
    case Db::H2: want = {{"", "5", "4"}, {"P1", "1", "4"}}; break;
  }
  ASSERT_EQ(rows.size(), want.size()) << ::testing::PrintToString(rows);
  int position = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    EXPECT_EQ(r[2], proc);
    EXPECT_EQ(r[4], want[i].columnType) << i;
    EXPECT_EQ(r[5], want[i].dataType) << i;
    EXPECT_EQ(r[14], want[i].dataType) << i;  // SQL_DATA_TYPE
    if (std::string(want[i].columnType) == "5") {
      EXPECT_EQ(r[17], "0");  // the return value
    } else {
      EXPECT_EQ(r[3], want[i].name);
      EXPECT_EQ(r[17], std::to_string(++position)) << r[3];
    }
    EXPECT_TRUE(r[18] == "" || r[18] == "YES" || r[18] == "NO") << r[18];
  }
}

TEST_P(CatalogDm, Privileges) {
  const std::string table = Id("PARENT"), sch = Schema();
  ASSERT_EQ(SQL_SUCCESS,
            SQLTablePrivileges(H(), nullptr, 0, S(sch.c_str()), SQL_NTS, S(table.c_str()), SQL_NTS))
      << c_->Diag();
  ExpectColumns(kTablePrivCols);
  std::vector<Row> rows = c_->Rows();
  for (const Row& r : rows) {
    EXPECT_EQ(r[2], table);
    EXPECT_NE(r[4], kNull);
    EXPECT_NE(r[5], kNull);
  }
  // The owner's SELECT; H2 and Derby list no privileges of an owner.
  if (db_ == Db::Hsql || db_ == Db::Pg) {
    EXPECT_NE(Find(rows, 5, "SELECT"), nullptr);
  }

  ASSERT_EQ(SQL_SUCCESS, SQLColumnPrivileges(H(), nullptr, 0, S(sch.c_str()), SQL_NTS,
                                             S(table.c_str()), SQL_NTS, S("%"), SQL_NTS))
      << c_->Diag();
  ExpectColumns(kColumnPrivCols);
  rows = c_->Rows();
  for (const Row& r : rows) {
    EXPECT_EQ(r[2], table);
    EXPECT_NE(r[3], kNull);
    EXPECT_NE(r[6], kNull);
  }
}

// DATA_TYPE of every row in order.
std::vector<int> Types(const std::vector<Row>& rows) {
  std::vector<int> t;
  for (const Row& r : rows) t.push_back(std::stoi(r.at(1)));
  return t;
}

TEST_P(CatalogDm, TypeInformationForOdbc3) {
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(H(), SQL_ALL_TYPES)) << c_->Diag();
  ExpectColumns(kTypeInfoCols);
  const std::vector<Row> all = c_->Rows();
  ASSERT_GT(all.size(), 8u);
  const std::vector<int> types = Types(all);
  EXPECT_TRUE(std::is_sorted(types.begin(), types.end())) << ::testing::PrintToString(types);
  for (int t : {4, 5, wide_ ? -9 : 12, 91, 93}) {
    EXPECT_NE(std::count(types.begin(), types.end(), t), 0) << t;
  }
  for (int t : {9, 10, 11}) {
    EXPECT_EQ(std::count(types.begin(), types.end(), t), 0) << t;
  }

  struct Ask {
    SQLSMALLINT type;
    const char* subcode;
  };
  for (const Ask a : {Ask{SQL_TYPE_DATE, "1"}, Ask{SQL_TYPE_TIMESTAMP, "3"},
                      Ask{SQL_INTEGER, kNull}, Ask{SQL_BIT, kNull}}) {
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(H(), a.type)) << c_->Diag();
    ExpectColumns(kTypeInfoCols);
    const std::vector<Row> rows = c_->Rows();
    // Every backend has these types; BIT is its BOOLEAN.
    ASSERT_FALSE(rows.empty()) << a.type;
    for (const Row& r : rows) {
      EXPECT_EQ(r[1], std::to_string(a.type)) << r[0];
      EXPECT_EQ(r[16], a.subcode) << r[0];
    }
    if (a.type == SQL_TYPE_DATE) {
      EXPECT_EQ(rows[0][15], "9");
    }
  }
}

TEST_P(CatalogDm, TypeInformationFillsWhatTheDriverLeavesOut) {
  // Every fixed-size type has its size, and the character and exact numeric
  // types their creation parameters (Perl DBI builds column types from
  // them).
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(H(), SQL_ALL_TYPES)) << c_->Diag();
  const std::vector<Row> all = c_->Rows();
  const std::set<int> fixed = {SQL_BIT, SQL_SMALLINT, SQL_INTEGER, SQL_BIGINT, SQL_DOUBLE};
  const std::set<std::string> sized = {"CHAR",    "VARCHAR",   "DECIMAL",
                                       "NUMERIC", "CHARACTER", "BPCHAR"};
  for (const Row& r : all) {
    SCOPED_TRACE(r[0]);
    if (fixed.count(std::stoi(r[1])) != 0) {
      EXPECT_NE(r[2], "0");
    }
    std::string upper = r[0];
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (sized.count(upper) != 0) {
      EXPECT_NE(r[5], kNull);
    }
  }
  if (db_ != Db::Pg) return;
  // PostgreSQL's JDBC driver gives none of these.
  struct Want {
    const char* name;
    const char* size;
    const char* params;
  };
  const Want want[] = {{"int4", "10", kNull},
                       {"int8", "19", kNull},
                       {"int2", "5", kNull},
                       {"float8", "15", kNull},
                       {"bool", "1", kNull},
                       {"text", "2147483647", kNull},
                       {"varchar", nullptr, "max length"},
                       {"bpchar", nullptr, "length"},
                       {"numeric", nullptr, "precision,scale"},
                       {"interval", nullptr, kNull}};
  for (const Want& w : want) {
    const Row* r = Find(all, 0, w.name);
    ASSERT_NE(r, nullptr) << w.name;
    if (w.size != nullptr) {
      EXPECT_EQ((*r)[2], w.size) << w.name;
    }
    EXPECT_EQ((*r)[5], w.params) << w.name;
  }
}

TEST_P(CatalogDm, TypeInformationForOdbc2) {
  Conn old(dsn_, 2);
  ASSERT_TRUE(old.ok());
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(old.stmt(), SQL_ALL_TYPES)) << old.Diag();
  const std::vector<int> types = Types(old.Rows());
  EXPECT_TRUE(std::is_sorted(types.begin(), types.end())) << ::testing::PrintToString(types);
  for (int t : {9, 11}) {
    EXPECT_NE(std::count(types.begin(), types.end(), t), 0) << t;
  }
  for (int t : {91, 92, 93}) {
    EXPECT_EQ(std::count(types.begin(), types.end(), t), 0) << t;
  }

  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(old.stmt(), SQL_DATE)) << old.Diag();
  const std::vector<Row> dates = old.Rows();
  ASSERT_FALSE(dates.empty());
  for (const Row& r : dates) {
    EXPECT_EQ(r[1], "9") << r[0];
    EXPECT_EQ(r[15], "9");
    EXPECT_EQ(r[16], "1");
  }
  // The same rows as an ODBC 3 application's SQL_TYPE_DATE, but for the code.
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(H(), SQL_TYPE_DATE)) << c_->Diag();
  const std::vector<Row> dates3 = c_->Rows();
  EXPECT_EQ(Column(dates3, 0), Column(dates, 0));
}

TEST_P(CatalogDm, ResultColumnsHaveTheServersTypeNames) {
  // The server type table answers the forms a description uses: wide text
  // in the Unicode build and the ODBC 3 date code.
  MustExec("SELECT NAME, BORN, QTY FROM " + Id("PARENT"));
  // Each backend's own spelling: VARCHAR, CHARACTER VARYING (H2); DATE;
  // SMALLINT, int2. PostgreSQL's JDBC driver lists its identifier type
  // "name" before varchar among the VARCHAR types; the standard name wins.
  const std::vector<std::vector<std::string>> want = {
      {"VARCHAR", "VARYING"}, {"DATE"}, {"SMALLINT", "INT2"}};
  for (SQLUSMALLINT c = 1; c <= 3; ++c) {
    char name[128] = "";
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLColAttribute(H(), c, SQL_DESC_TYPE_NAME, name, sizeof name, &len, nullptr));
    std::string upper = name;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    bool found = false;
    for (const std::string& w : want[c - 1]) found = found || upper.find(w) != std::string::npos;
    EXPECT_TRUE(found) << c << ": " << name;
  }
  char prefix[16] = "";
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLColAttribute(H(), 1, SQL_DESC_LITERAL_PREFIX, prefix, sizeof prefix, &len, nullptr));
  EXPECT_STREQ(prefix, "'");
  SQLFreeStmt(H(), SQL_CLOSE);
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, CatalogDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
