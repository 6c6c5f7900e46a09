// The agent's catalog slots against HSQLDB, H2 and Derby, called directly:
// a known schema (two tables with a primary key, a foreign key, a unique
// index, a view and a procedure) comes back in ODBC shape and order, and the
// connection settings change the answers as they should.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cat_env.h"
#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-handles.h"

using namespace jcat_test;

namespace {

constexpr uint32_t kSearchEscape = INFO_ODBC_TEXT | SQL_SEARCH_PATTERN_ESCAPE;

std::vector<std::string> ProcedureDdl(const std::string& backend) {
  if (backend == "HSQLDB")
    return {
        "CREATE PROCEDURE CAT_PROC(IN A BIGINT, OUT B VARCHAR(20)) "
        "BEGIN ATOMIC SET B = 'x'; END"};
  if (backend == "H2") return {"CREATE ALIAS CAT_PROC FOR 'java.lang.Thread.sleep'"};
  return {
      "CREATE PROCEDURE CAT_PROC(IN A BIGINT) PARAMETER STYLE JAVA NO SQL LANGUAGE JAVA "
      "EXTERNAL NAME 'java.lang.Thread.sleep'"};
}

class CatalogTest : public ::testing::TestWithParam<size_t> {
 protected:
  const Backend& B() const { return Backends()[GetParam()]; }
  void SetUp() override {
    static std::set<size_t> ready;
    conn_ = Connect(B());
    ASSERT_NE(conn_, 0u);
    if (ready.insert(GetParam()).second) {
      Exec(conn_,
           {"CREATE TABLE CAT_PARENT (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) NOT NULL, "
            "BORN DATE, AT_TIME TIME, BIG BIGINT, AMOUNT DECIMAL(10,2))",
            "CREATE TABLE CAT_CHILD (CID INTEGER NOT NULL PRIMARY KEY, PID INTEGER, CODE CHAR(5), "
            "CONSTRAINT FK_CHILD_PARENT FOREIGN KEY (PID) REFERENCES CAT_PARENT(ID))",
            "CREATE UNIQUE INDEX UX_CHILD_CODE ON CAT_CHILD(CODE)",
            "CREATE VIEW CAT_VIEW AS SELECT ID, NAME FROM CAT_PARENT",
            "CREATE TABLE CAT_A_B (X INTEGER)", "CREATE TABLE CATXAXB (X INTEGER)"});
      Exec(conn_, ProcedureDdl(B().name));
    }
  }
  void TearDown() override {
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }
  // Reconnects with a settings block of the test's own.
  void Reconnect(const JdbcConnSettings& settings) {
    Ops().DRV_Disconnect(conn_);
    conn_ = Connect(B(), settings);
    ASSERT_NE(conn_, 0u);
  }
  DRV_CatalogArgs Args(const char* name, const char* extra = nullptr) const {
    DRV_CatalogArgs a;
    a.catalog = "";
    a.schema = B().schema;
    a.name = name;
    a.extra = extra;
    return a;
  }
  std::vector<Row> Tables(const DRV_CatalogArgs& a) {
    Stmt s(conn_);
    EXPECT_EQ(Ops().DRV_DDTables(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
    return FetchAll(s.h());
  }
  static std::vector<std::string> Column(const std::vector<Row>& rows, size_t c) {
    std::vector<std::string> out;
    for (const Row& r : rows) out.push_back(r.at(c));
    return out;
  }
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  const Row* Find(const std::vector<Row>& rows, size_t c, const std::string& v) {
    for (const Row& r : rows)
      if (r.at(c) == v) return &r;
    return nullptr;
  }
  uint32_t conn_ = 0;
};

std::string Name(const ::testing::TestParamInfo<size_t>& i) { return Backends()[i.param].name; }

TEST_P(CatalogTest, TablesComeInOdbcShapeFilteredByType) {
  Stmt s(conn_);
  const DRV_CatalogArgs a = Args("CAT%", "'TABLE'");
  ASSERT_EQ(Ops().DRV_DDTables(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
  const std::vector<ColShape> cols = Described(s.h());
  ASSERT_EQ(cols.size(), 5u);
  const char* names[] = {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(cols[i].name, names[i]);
    EXPECT_EQ(cols[i].sqlType, 12);
    EXPECT_EQ(cols[i].nullable, 2u);
  }
  const std::vector<Row> rows = FetchAll(s.h());
  EXPECT_EQ(Sorted(Column(rows, 2)),
            (std::vector<std::string>{"CATXAXB", "CAT_A_B", "CAT_CHILD", "CAT_PARENT"}));
  for (const Row& r : rows) {
    EXPECT_EQ(r[1], B().schema);
    EXPECT_EQ(r[3], B().tableType);
  }
  // Lower case and a second type: the view joins the tables.
  const std::vector<Row> both = Tables(Args("CAT%", "'table','VIEW'"));
  EXPECT_EQ(both.size(), 5u);
  const Row* view = Find(both, 2, "CAT_VIEW");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ((*view)[3], "VIEW");
  // No list, or "%": every type.
  EXPECT_EQ(Tables(Args("CAT%")).size(), 5u);
  EXPECT_EQ(Tables(Args("CAT%", "%")).size(), 5u);
  EXPECT_EQ(Tables(Args("CAT%", "'%'")).size(), 5u);
}

TEST_P(CatalogTest, TablesAndIndexesComeInOdbcOrder) {
  // HSQLDB lists them in the order they were made; ODBC's order is by
  // type, catalog, schema and name, and for indexes by uniqueness, type,
  // qualifier, name and position.
  const std::vector<Row> tables = Tables(Args("CAT%"));
  ASSERT_EQ(tables.size(), 5u);
  for (size_t i = 1; i < tables.size(); ++i) {
    const Row& a = tables[i - 1];
    const Row& b = tables[i];
    EXPECT_LE(std::tie(a[3], a[0], a[1], a[2]), std::tie(b[3], b[0], b[1], b[2])) << b[2];
  }
  Stmt s(conn_);
  DRV_CatalogArgs a = Args("CAT_CHILD");
  a.value[0] = 1;  // SQL_INDEX_ALL
  ASSERT_EQ(Ops().DRV_DDStatistics(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
  const std::vector<Row> rows = FetchAll(s.h(), 1);
  ASSERT_GE(rows.size(), 2u);
  auto key = [](const Row& r) {
    return std::make_tuple(r[3] == kNull ? -1 : std::stoi(r[3]), std::stoi(r[6]), r[4], r[5],
                           r[7] == kNull ? 0 : std::stoi(r[7]));
  };
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_LE(key(rows[i - 1]), key(rows[i])) << rows[i][5];
}

TEST_P(CatalogTest, TableTypeListsWithBlanksAndQuotes) {
  // Blanks around a quoted name are not part of it, and no quote reaches
  // the server (HSQLDB once built SQL of the names and failed on one).
  EXPECT_EQ(Tables(Args("CAT%", "'TABLE', 'VIEW'")).size(), 5u);
  EXPECT_EQ(Tables(Args("CAT%", " \"VIEW\" ")).size(), 1u);
  // A stray apostrophe inside a name never reaches the server.
  EXPECT_EQ(Column(Tables(Args("CAT%", "VI'EW")), 2), (std::vector<std::string>{"CAT_VIEW"}));
}

TEST_P(CatalogTest, ListingModesOfTables) {
  DRV_CatalogArgs a;
  a.catalog = "%";
  a.schema = "";
  a.name = "";
  for (const Row& r : Tables(a)) {  // Derby has no catalogs: no rows at all
    EXPECT_NE(r[0], kNull);
    for (size_t c = 1; c < 5; ++c) EXPECT_EQ(r[c], kNull);
  }
  a = DRV_CatalogArgs{};
  a.catalog = "";
  a.schema = "%";
  a.name = "";
  std::vector<Row> rows = Tables(a);
  EXPECT_NE(Find(rows, 1, B().schema), nullptr);
  for (const Row& r : rows) {
    EXPECT_EQ(r[0], kNull);
    EXPECT_EQ(r[2], kNull);
    EXPECT_EQ(r[3], kNull);
  }
  a = DRV_CatalogArgs{};
  a.catalog = "";
  a.schema = "";
  a.name = "";
  a.extra = "%";
  rows = Tables(a);
  EXPECT_NE(Find(rows, 3, B().tableType), nullptr);
  EXPECT_NE(Find(rows, 3, "VIEW"), nullptr);
  for (const Row& r : rows) {
    EXPECT_EQ(r[0], kNull);
    EXPECT_EQ(r[1], kNull);
    EXPECT_EQ(r[2], kNull);
  }
}

TEST_P(CatalogTest, EscapedPatternCharactersMatchThemselves) {
  char esc[8] = {};
  uint16_t len = 0;
  ASSERT_EQ(Ops().DRV_GetInfo(conn_, kSearchEscape, esc, sizeof esc, &len), 0u);
  if (esc[0] == '\0') GTEST_SKIP() << B().name << " has no search-string escape";
  const std::string pattern = std::string("CAT") + esc + "_A" + esc + "_B";
  EXPECT_EQ(Column(Tables(Args(pattern.c_str())), 2), (std::vector<std::string>{"CAT_A_B"}));
  // Unescaped, the underscores match any character.
  EXPECT_EQ(Tables(Args("CAT_A_B")).size(), 2u);
}

TEST_P(CatalogTest, LongArgumentsArriveWhole) {
  // A pattern far longer than any name buffer: cut anywhere, it would match
  // every table; whole, only the one its tail names.
  // (Derby's LIKE takes exponential time over runs of '%'.)
  const std::string pattern =
      std::string(B().name == std::string("Derby") ? 3 : 1000, '%') + "CAT_PARENT";
  EXPECT_EQ(Column(Tables(Args(pattern.c_str())), 2), (std::vector<std::string>{"CAT_PARENT"}));
  Stmt s(conn_);
  const std::string longName(5000, 'Q');
  const DRV_CatalogArgs a = Args(longName.c_str());
  ASSERT_EQ(Ops().DRV_DDPrimaryKeys(s.h(), &a), 0u);
  EXPECT_TRUE(FetchAll(s.h()).empty());
}

TEST_P(CatalogTest, ColumnsInOdbcTerms) {
  Stmt s(conn_);
  const DRV_CatalogArgs a = Args("CAT_PARENT", "%");
  ASSERT_EQ(Ops().DRV_DDColumns(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
  const std::vector<ColShape> cols = Described(s.h());
  ASSERT_EQ(cols.size(), 18u);
  EXPECT_EQ(cols[4].name, "DATA_TYPE");
  EXPECT_EQ(cols[4].sqlType, 5);
  EXPECT_EQ(cols[6].name, "COLUMN_SIZE");
  EXPECT_EQ(cols[6].sqlType, 4);
  EXPECT_EQ(cols[13].name, "SQL_DATA_TYPE");
  EXPECT_EQ(cols[17].name, "IS_NULLABLE");
  EXPECT_EQ(cols[2].nullable, 0u);
  EXPECT_EQ(cols[0].nullable, 1u);
  const std::vector<Row> rows = FetchAll(s.h(), 4);
  ASSERT_EQ(Column(rows, 3),
            (std::vector<std::string>{"ID", "NAME", "BORN", "AT_TIME", "BIG", "AMOUNT"}));
  EXPECT_EQ(Column(rows, 16), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(rows[0][4], "4");
  EXPECT_EQ(rows[0][13], "4");
  EXPECT_EQ(rows[1][4], "12");
  EXPECT_EQ(rows[1][6], "40");
  EXPECT_EQ(rows[1][10], "0");   // NULLABLE: NOT NULL
  EXPECT_EQ(rows[1][13], "12");  // SQL_DATA_TYPE repeats DATA_TYPE
  // An ODBC 2 application: the old date and time codes, with the verbose
  // type and subcode.
  EXPECT_EQ(rows[2][4], "9");
  EXPECT_EQ(rows[2][13], "9");
  EXPECT_EQ(rows[2][14], "1");
  EXPECT_EQ(rows[3][4], "10");
  EXPECT_EQ(rows[3][14], "2");
  EXPECT_EQ(rows[4][4], "-5");
  EXPECT_EQ(rows[5][4], "3");
  EXPECT_EQ(rows[5][13], "3");
  EXPECT_EQ(rows[0][14], kNull);  // SQL_DATETIME_SUB of a non-datetime type
  EXPECT_EQ(rows[0][15], kNull);  // CHAR_OCTET_LENGTH of a number
}

TEST_P(CatalogTest, OdbcThreeApplicationsGetTheNewDateCodes) {
  AGT_Conn(conn_)->odbcVersion = 3;
  Stmt s(conn_);
  const DRV_CatalogArgs a = Args("CAT_PARENT", "%");
  ASSERT_EQ(Ops().DRV_DDColumns(s.h(), &a), 0u);
  const std::vector<Row> rows = FetchAll(s.h());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[2][4], "91");
  EXPECT_EQ(rows[3][4], "92");
  EXPECT_EQ(rows[3][13], "9");
  EXPECT_EQ(rows[3][14], "2");
}

TEST_P(CatalogTest, JetAndVarcharSettingsRewriteColumns) {
  JdbcConnSettings st;
  st.jet = 1;
  st.longVarcharToVarchar = 4000;
  Reconnect(st);
  Stmt s(conn_);
  DRV_CatalogArgs a = Args("CAT_PARENT", "%");
  ASSERT_EQ(Ops().DRV_DDColumns(s.h(), &a), 0u);
  std::vector<Row> rows = FetchAll(s.h());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[4][4], "3");  // BIGINT as DECIMAL
  EXPECT_EQ(rows[4][5], "decimal");
  EXPECT_EQ(rows[4][7], std::to_string(std::stoi(rows[4][6]) + 2));
  EXPECT_EQ(rows[1][4], "12");
  EXPECT_EQ(rows[1][6], "4000");

  st = JdbcConnSettings{};
  st.longVarcharToVarchar = 0;
  Reconnect(st);
  Stmt s2(conn_);
  a = Args("CAT_CHILD", "CODE");
  ASSERT_EQ(Ops().DRV_DDColumns(s2.h(), &a), 0u);
  rows = FetchAll(s2.h());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][4], "12");  // CHAR as VARCHAR of the largest size
  EXPECT_EQ(rows[0][6], "1073741823");
}

TEST_P(CatalogTest, DroppedCatalogAndSchema) {
  JdbcConnSettings st;
  st.jetDropCatalog = 1;
  st.jetDropSchema = 1;
  Reconnect(st);
  for (const Row& r : Tables(Args("CAT%"))) {
    EXPECT_EQ(r[0], kNull);
    EXPECT_EQ(r[1], kNull);
    EXPECT_NE(r[2], kNull);
  }
  // Primary keys are not among the results these settings touch.
  Stmt s(conn_);
  const DRV_CatalogArgs a = Args("CAT_CHILD");
  ASSERT_EQ(Ops().DRV_DDPrimaryKeys(s.h(), &a), 0u);
  const std::vector<Row> rows = FetchAll(s.h());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], B().schema);
}

TEST_P(CatalogTest, PrimaryAndForeignKeys) {
  Stmt s(conn_);
  DRV_CatalogArgs a = Args("CAT_CHILD");
  ASSERT_EQ(Ops().DRV_DDPrimaryKeys(s.h(), &a), 0u);
  ASSERT_EQ(Described(s.h()).size(), 6u);
  std::vector<Row> rows = FetchAll(s.h());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][2], "CAT_CHILD");
  EXPECT_EQ(rows[0][3], "CID");
  EXPECT_EQ(rows[0][4], "1");

  auto check = [&](const std::vector<Row>& fk) {
    ASSERT_EQ(fk.size(), 1u);
    EXPECT_EQ(fk[0][2], "CAT_PARENT");
    EXPECT_EQ(fk[0][3], "ID");
    EXPECT_EQ(fk[0][6], "CAT_CHILD");
    EXPECT_EQ(fk[0][7], "PID");
    EXPECT_EQ(fk[0][8], "1");
    EXPECT_EQ(fk[0][11], "FK_CHILD_PARENT");
  };
  DRV_CatalogArgs f;
  f.catalog = "";
  f.schema = B().schema;
  f.name = "CAT_PARENT";
  f.fkCatalog = "";
  f.fkSchema = "";
  f.fkName = "";
  ASSERT_EQ(Ops().DRV_DDForeignKeys(s.h(), &f), 0u) << ::testing::PrintToString(Errors(s.h()));
  ASSERT_EQ(Described(s.h()).size(), 14u);
  check(FetchAll(s.h()));
  f.name = "";
  f.fkSchema = B().schema;
  f.fkName = "CAT_CHILD";
  ASSERT_EQ(Ops().DRV_DDForeignKeys(s.h(), &f), 0u);
  check(FetchAll(s.h()));
  f.name = "CAT_PARENT";
  ASSERT_EQ(Ops().DRV_DDForeignKeys(s.h(), &f), 0u);
  check(FetchAll(s.h()));
}

TEST_P(CatalogTest, StatisticsListTheUniqueIndex) {
  Stmt s(conn_);
  DRV_CatalogArgs a = Args("CAT_CHILD");
  a.value[0] = 0;  // SQL_INDEX_UNIQUE
  a.value[1] = 0;
  ASSERT_EQ(Ops().DRV_DDStatistics(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
  const std::vector<ColShape> cols = Described(s.h());
  ASSERT_EQ(cols.size(), 13u);
  EXPECT_EQ(cols[3].name, "NON_UNIQUE");
  EXPECT_EQ(cols[3].sqlType, 5);
  EXPECT_EQ(cols[9].name, "ASC_OR_DESC");
  const std::vector<Row> rows = FetchAll(s.h());
  const Row* code = Find(rows, 8, "CODE");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ((*code)[3], "0");
  EXPECT_EQ((*code)[5], "UX_CHILD_CODE");
  EXPECT_EQ((*code)[7], "1");

  JdbcConnSettings st;
  st.jetStatisticsOff = 1;
  Reconnect(st);
  Stmt off(conn_);
  ASSERT_EQ(Ops().DRV_DDStatistics(off.h(), &a), 0u);
  EXPECT_EQ(Described(off.h()).size(), 13u);
  EXPECT_TRUE(FetchAll(off.h()).empty());
}

TEST_P(CatalogTest, SpecialColumns) {
  Stmt s(conn_);
  DRV_CatalogArgs a = Args("CAT_PARENT");
  a.value[0] = 1;  // SQL_BEST_ROWID
  a.value[1] = 2;  // SQL_SCOPE_SESSION
  a.value[2] = 1;
  ASSERT_EQ(Ops().DRV_DDSpecialColumns(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
  ASSERT_EQ(Described(s.h()).size(), 8u);
  const std::vector<Row> rows = FetchAll(s.h());
  if (!rows.empty()) {  // Derby names no best row identifier for a scope
    const Row* id = Find(rows, 1, "ID");
    ASSERT_NE(id, nullptr);
    EXPECT_EQ((*id)[2], "4");
  }
  a.value[0] = 2;  // SQL_ROWVER
  ASSERT_EQ(Ops().DRV_DDSpecialColumns(s.h(), &a), 0u);
  EXPECT_EQ(Described(s.h()).size(), 8u);
  FetchAll(s.h());
}

TEST_P(CatalogTest, ProceduresAndTheirColumns) {
  Stmt s(conn_);
  DRV_CatalogArgs a = Args("CAT_PROC");
  a.schema = nullptr;
  ASSERT_EQ(Ops().DRV_DDProcedures(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
  ASSERT_EQ(Described(s.h()).size(), 8u);
  const std::vector<Row> procs = FetchAll(s.h());
  ASSERT_FALSE(procs.empty());
  EXPECT_EQ(procs[0][2], "CAT_PROC");

  a.extra = "%";
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(Ops().DRV_DDProcedureColumns(s.h(), &a), 0u)
        << ::testing::PrintToString(Errors(s.h()));
    const std::vector<ColShape> cols = Described(s.h());
    ASSERT_EQ(cols.size(), 19u);
    EXPECT_EQ(cols[17].name, "ORDINAL_POSITION");
    const std::vector<Row> rows = FetchAll(s.h(), 1);
    ASSERT_FALSE(rows.empty());
    int position = 0;
    for (const Row& r : rows) {
      // Parameters are numbered from 1 in every round, again from 1 for
      // each overload H2 lists under the one name; only a return value
      // (COLUMN_TYPE 5) is position 0.
      if (r[4] == "5") {
        EXPECT_EQ(r[17], "0");
        continue;
      }
      position = r[17] == "1" ? 1 : position + 1;
      EXPECT_EQ(r[17], std::to_string(position)) << ::testing::PrintToString(r);
      EXPECT_TRUE(r[18] == "" || r[18] == "YES" || r[18] == "NO") << r[18];
    }
    const Row* big = Find(rows, 5, "-5");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ((*big)[14], "-5");
  }
}

TEST_P(CatalogTest, TypeInformation) {
  Stmt s(conn_);
  ASSERT_EQ(Ops().DRV_DDGetTypeInfo(s.h(), 0), 0u) << ::testing::PrintToString(Errors(s.h()));
  const std::vector<ColShape> cols = Described(s.h());
  ASSERT_EQ(cols.size(), 19u);
  EXPECT_EQ(cols[0].name, "TYPE_NAME");
  EXPECT_EQ(cols[3].name, "LITERAL_PREFIX");
  EXPECT_EQ(cols[18].name, "INTERVAL_PRECISION");
  const std::vector<Row> all = FetchAll(s.h());
  ASSERT_GT(all.size(), 10u);
  for (const Row& r : all) EXPECT_EQ(r[18], kNull);
  // In ODBC's order: by the DATA_TYPE reported, which is not JDBC's
  // (BOOLEAN comes as BIT, BLOB as LONGVARBINARY, DATE as 9 here).
  for (size_t i = 1; i < all.size(); ++i)
    EXPECT_LE(std::stoi(all[i - 1][1]), std::stoi(all[i][1])) << all[i - 1][0] << " " << all[i][0];
  const Row* integer = Find(all, 0, "INTEGER");
  ASSERT_NE(integer, nullptr);
  EXPECT_EQ((*integer)[1], "4");
  EXPECT_EQ((*integer)[15], "4");
  const Row* varchar = Find(all, 1, "12");
  ASSERT_NE(varchar, nullptr);
  EXPECT_EQ((*varchar)[3], "'");
  EXPECT_EQ((*varchar)[4], "'");

  ASSERT_EQ(Ops().DRV_DDGetTypeInfo(s.h(), 4), 0u);
  const std::vector<Row> ints = FetchAll(s.h(), 2);
  ASSERT_FALSE(ints.empty());
  for (const Row& r : ints) EXPECT_EQ(r[1], "4");

  // SQL_BIT finds the server's BOOLEAN, which every row reports as BIT.
  ASSERT_EQ(Ops().DRV_DDGetTypeInfo(s.h(), -7), 0u);
  const std::vector<Row> bits = FetchAll(s.h());
  ASSERT_FALSE(bits.empty());
  for (const Row& r : bits) EXPECT_EQ(r[1], "-7") << r[0];

  ASSERT_EQ(Ops().DRV_DDGetTypeInfo(s.h(), 91), 0u);
  const std::vector<Row> date3 = FetchAll(s.h());
  ASSERT_EQ(Ops().DRV_DDGetTypeInfo(s.h(), 9), 0u);
  const std::vector<Row> date2 = FetchAll(s.h());
  ASSERT_FALSE(date2.empty());
  EXPECT_EQ(date3, date2);
  EXPECT_EQ(date2[0][1], "9");
  EXPECT_EQ(date2[0][15], "9");
  EXPECT_EQ(date2[0][16], "1");
  AGT_Conn(conn_)->odbcVersion = 3;
  ASSERT_EQ(Ops().DRV_DDGetTypeInfo(s.h(), 9), 0u);
  const std::vector<Row> odbc3 = FetchAll(s.h());
  ASSERT_FALSE(odbc3.empty());
  EXPECT_EQ(odbc3[0][1], "91");
}

TEST_P(CatalogTest, WideStatementsDescribeTextAsWide) {
  Stmt s(conn_);
  s.rec()->wide = 1;
  DRV_CatalogArgs a = Args("CAT_CHILD");
  ASSERT_EQ(Ops().DRV_DDStatistics(s.h(), &a), 0u);
  const std::vector<ColShape> cols = Described(s.h());
  ASSERT_EQ(cols.size(), 13u);
  EXPECT_EQ(cols[2].sqlType, -9);
  EXPECT_EQ(cols[2].valueType, static_cast<uint32_t>(COLSET_VT_WNTS));
  EXPECT_EQ(cols[9].sqlType, 12);  // ASC_OR_DESC stays 8-bit
  const std::vector<Row> rows = FetchAll(s.h());
  EXPECT_NE(Find(rows, 2, "CAT_CHILD"), nullptr);
}

TEST_P(CatalogTest, ClosingForgetsTheCatalogSettings) {
  Stmt s(conn_);
  ASSERT_EQ(Ops().DRV_DDGetTypeInfo(s.h(), 4), 0u);
  EXPECT_EQ(s.rec()->catalogKind, static_cast<uint32_t>(CAT_KIND_TYPE_INFO));
  EXPECT_NE(s.rec()->rowHook, nullptr);
  ASSERT_EQ(Ops().DRV_CloseCursor(s.h()), 0u);
  EXPECT_EQ(s.rec()->catalogKind, 0u);
  EXPECT_EQ(s.rec()->rowHook, nullptr);
  EXPECT_EQ(s.rec()->fetchColLimit, -1);
  EXPECT_EQ(s.rec()->requestedType, 0);
}

TEST_P(CatalogTest, UnknownStatementIsRefused) {
  const DRV_CatalogArgs a = Args("CAT_CHILD");
  EXPECT_EQ(Ops().DRV_DDTables(0x12345, &a), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_DDGetTypeInfo(0x12345, 0), ERR_INVALID_ARGUMENT);
}

TEST_P(CatalogTest, ServerTypeTableAnswersEveryFormOfAType) {
  HASH_TABLE* table = AGT_Conn(conn_)->typeTable;
  auto name = [&](int32_t sqlType) -> std::string {
    const int16_t key = catTypeKey(sqlType);
    const auto* e = static_cast<const JdbcTypeEntry*>(hash_lookup(table, &key));
    return e != nullptr ? e->typeName : "<none>";
  };
  // Loaded for an ODBC 2 application, asked with ODBC 3 and wide codes.
  EXPECT_EQ(name(91), name(9));
  EXPECT_NE(name(91).find("DATE"), std::string::npos) << name(91);
  EXPECT_NE(name(93).find("TIMESTAMP"), std::string::npos) << name(93);
  EXPECT_EQ(name(-9), name(12));
  EXPECT_NE(name(-9), "<none>");
  EXPECT_EQ(name(-8), name(1));
  EXPECT_NE(name(-8), "<none>");
}

TEST_P(CatalogTest, LongTextIsCutBetweenCharacters) {
  // 200 two-byte characters: more bytes than REMARKS and COLUMN_DEF hold
  // (and few enough characters for Derby's own catalog query).
  std::string e300;
  for (int i = 0; i < 200; ++i) e300 += "\xc3\xa9";
  Exec(conn_, {"DROP TABLE CAT_TEXT"}, true);
  Exec(conn_, {"CREATE TABLE CAT_TEXT (V VARCHAR(400) DEFAULT '" + e300 + "')"});
  const bool comments = B().name != std::string("Derby");
  if (comments) Exec(conn_, {"COMMENT ON COLUMN CAT_TEXT.V IS '" + e300 + "'"});
  Stmt s(conn_);
  const DRV_CatalogArgs a = Args("CAT_TEXT", "V");
  ASSERT_EQ(Ops().DRV_DDColumns(s.h(), &a), 0u) << ::testing::PrintToString(Errors(s.h()));
  const std::vector<Row> rows = FetchAll(s.h());
  ASSERT_EQ(rows.size(), 1u);
  auto check = [&](const std::string& v, const std::string& full) {
    // Whole characters only: a prefix of the full text that ends on a
    // character boundary, and as much of it as fits.
    ASSERT_LE(v.size(), 256u);
    EXPECT_GE(v.size(), 250u);
    EXPECT_EQ(full.compare(0, v.size(), v), 0) << v.substr(0, 20);
    EXPECT_NE(static_cast<unsigned char>(v.back()), 0xC3u);
  };
  // H2 spells the default in Unicode escapes (U&'\00e9...'): plain ASCII.
  if (B().name != std::string("H2")) check(rows[0][12], "'" + e300 + "'");
  if (comments) check(rows[0][11], e300);
  Exec(conn_, {"DROP TABLE CAT_TEXT"}, true);
}

TEST_P(CatalogTest, ServerTypeTableHoldsTheFirstRowOfEachType) {
  const JdbcTypeEntry* e = nullptr;
  int16_t key = 12;
  e = static_cast<const JdbcTypeEntry*>(hash_lookup(AGT_Conn(conn_)->typeTable, &key));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(e->literalPrefix), "'");
  key = 4;
  e = static_cast<const JdbcTypeEntry*>(hash_lookup(AGT_Conn(conn_)->typeTable, &key));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(e->typeName), "INTEGER");
}

INSTANTIATE_TEST_SUITE_P(Backends, CatalogTest, ::testing::Values(0u, 1u, 2u), Name);

}  // namespace
