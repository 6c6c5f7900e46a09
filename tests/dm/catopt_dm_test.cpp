// Connection keywords that change catalog answers, through the Driver
// Manager on every backend and both builds: IV and IA widen SQLTables' type
// filter, J_SSTOFF empties SQLStatistics, J_DCAT and J_DSCH blank the catalog
// and schema columns, PLCHR2VCHR turns character columns into VARCHAR of a
// given size, JET reports BIGINT and NUMERIC as DECIMAL. Each case connects
// once with the keyword and once without it, in that order, so a setting
// that outlived its connection shows up.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}
// The narrow form of a wide character type.
int Narrow(int t) {
  return t == SQL_WVARCHAR       ? SQL_VARCHAR
         : t == SQL_WCHAR        ? SQL_CHAR
         : t == SQL_WLONGVARCHAR ? SQL_LONGVARCHAR
                                 : t;
}
using qmr_test::Diag;
using qmr_test::Lower;

// A connection on the test's environment, by a connection string.
class Conn : public qmr_test::DmSession {
 public:
  using Cell = qmr_test::Cell;
  using Row = qmr_test::Row;

  Conn(SQLHENV env, const std::string& in) {
    UseEnv(env);
    ConnectString(in);
  }

  bool ok() const { return connected_; }
  SQLHSTMT stmt() const { return stmt_; }
  // Every row of the open result, then the cursor closed.
  std::vector<Row> Rows() { return qmr_test::FetchRows(stmt_); }
  SQLSMALLINT NumCols() {
    SQLSMALLINT n = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &n));
    return n;
  }
};

class CatOptDm : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    dsn_ = GetParam();
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    const std::string stem = "qco_" + Lower(dsn_.substr(3));
    table_ = stem + "_t";
    view_ = stem + "_v";
    Conn c(env_, "DSN=" + dsn_);
    ASSERT_TRUE(c.ok());
    Drop(c);
    c.MustExec("CREATE TABLE " + table_ +
               " (id INTEGER NOT NULL PRIMARY KEY, big BIGINT, num NUMERIC(12,3),"
               " ch CHAR(5), v VARCHAR(20), txt " +
               std::string(Pg() ? "TEXT" : "CLOB") + ")");
    c.MustExec("CREATE VIEW " + view_ + " AS SELECT id, v FROM " + table_);
  }
  void TearDown() override {
    {
      Conn c(env_, "DSN=" + dsn_);
      if (c.ok()) Drop(c);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  void Drop(Conn& c) {
    c.Exec("DROP VIEW " + view_);
    c.Exec("DROP TABLE " + table_);
  }

  bool Pg() const { return dsn_.rfind("QmrPg", 0) == 0; }
  bool Wide() const { return dsn_.back() == 'U'; }
  // An unquoted identifier as the catalog holds it.
  std::string Ident(const std::string& name) const { return Pg() ? name : Upper(name); }
  std::string With(const std::string& keywords) const { return "DSN=" + dsn_ + ";" + keywords; }

  SQLRETURN Tables(Conn& c, const char* type) {
    const std::string pattern = Ident(table_.substr(0, table_.size() - 2)) + "%";
    return SQLTables(c.stmt(), nullptr, 0, nullptr, 0, (SQLCHAR*)pattern.c_str(), SQL_NTS,
                     (SQLCHAR*)type, SQL_NTS);
  }
  // The (name, type) pairs SQLTables lists for the test's objects.
  std::set<std::string> TableNames(Conn& c, const char* type) {
    EXPECT_EQ(SQL_SUCCESS, Tables(c, type)) << Diag(SQL_HANDLE_STMT, c.stmt());
    std::set<std::string> names;
    for (const auto& r : c.Rows()) names.insert(r[2].text);
    return names;
  }
  SQLRETURN Columns(Conn& c, const std::string& column) {
    const std::string t = Ident(table_);
    const std::string col = Ident(column);
    return SQLColumns(c.stmt(), nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS,
                      (SQLCHAR*)col.c_str(), SQL_NTS);
  }
  Conn::Row ColumnRow(Conn& c, const std::string& column) {
    EXPECT_EQ(SQL_SUCCESS, Columns(c, column)) << Diag(SQL_HANDLE_STMT, c.stmt());
    auto rows = c.Rows();
    EXPECT_EQ(1u, rows.size()) << column;
    return rows.empty() ? Conn::Row(18) : rows[0];
  }
  SQLRETURN Statistics(Conn& c) {
    const std::string t = Ident(table_);
    return SQLStatistics(c.stmt(), nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS,
                         SQL_INDEX_ALL, SQL_QUICK);
  }
  // DATA_TYPE (and TYPE_NAME) of every row SQLGetTypeInfo lists for type.
  std::vector<std::pair<int, std::string>> TypeRows(Conn& c, SQLSMALLINT type) {
    EXPECT_EQ(SQL_SUCCESS, SQLGetTypeInfo(c.stmt(), type));
    std::vector<std::pair<int, std::string>> out;
    for (const auto& r : c.Rows()) out.emplace_back(std::stoi(r[1].text), r[0].text);
    return out;
  }

  std::string dsn_, table_, view_;
  SQLHENV env_ = nullptr;
};

TEST_P(CatOptDm, IncludeViewsAddsViewsToATableList) {
  const std::set<std::string> both = {Ident(table_), Ident(view_)};
  {
    Conn c(env_, With("IV=1"));
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(both, TableNames(c, "TABLE"));
    EXPECT_EQ(both, TableNames(c, "'TABLE'"));
    // A list without TABLE is left alone.
    EXPECT_EQ(std::set<std::string>{Ident(view_)}, TableNames(c, "VIEW"));
  }
  Conn c(env_, "DSN=" + dsn_);
  ASSERT_TRUE(c.ok());
  const std::set<std::string> tables = TableNames(c, "TABLE");
  EXPECT_EQ(0u, tables.count(Ident(view_)));
}

TEST_P(CatOptDm, IncludeAllDropsTheTypeFilter) {
  const std::set<std::string> both = {Ident(table_), Ident(view_)};
  {
    Conn c(env_, With("IA=yes"));
    ASSERT_TRUE(c.ok());
    // Everything of the name, whatever its type (PostgreSQL adds the
    // primary key's index).
    for (const char* type : {"VIEW", "SYSTEM TABLE"}) {
      const std::set<std::string> names = TableNames(c, type);
      EXPECT_TRUE(std::includes(names.begin(), names.end(), both.begin(), both.end())) << type;
    }
  }
  Conn c(env_, With("IA=no"));
  ASSERT_TRUE(c.ok());
  EXPECT_EQ(std::set<std::string>{Ident(view_)}, TableNames(c, "VIEW"));
}

TEST_P(CatOptDm, StatisticsOffGivesADescribedEmptyResult) {
  {
    Conn c(env_, With("J_SSTOFF=TRUE"));
    ASSERT_TRUE(c.ok());
    ASSERT_EQ(SQL_SUCCESS, Statistics(c)) << Diag(SQL_HANDLE_STMT, c.stmt());
    EXPECT_EQ(13, c.NumCols());
    EXPECT_TRUE(c.Rows().empty());
    // Other catalog calls still answer.
    EXPECT_EQ("4", ColumnRow(c, "id")[4].text);
  }
  Conn c(env_, "DSN=" + dsn_);
  ASSERT_TRUE(c.ok());
  ASSERT_EQ(SQL_SUCCESS, Statistics(c));
  const auto rows = c.Rows();
  EXPECT_FALSE(rows.empty());
}

TEST_P(CatOptDm, DropCatalogAndSchemaColumns) {
  struct Case {
    const char* keywords;
    bool cat, schem;
  };
  for (const Case& k : {Case{"J_DCAT=1", true, false}, Case{"J_DSCH=1", false, true},
                        Case{"J_DCAT=1;J_DSCH=1", true, true}, Case{"J_DCAT=0", false, false}}) {
    SCOPED_TRACE(k.keywords);
    Conn c(env_, With(k.keywords));
    ASSERT_TRUE(c.ok());
    std::vector<Conn::Row> rows;
    ASSERT_EQ(SQL_SUCCESS, Tables(c, "TABLE"));
    for (auto& r : c.Rows()) rows.push_back(r);
    ASSERT_EQ(SQL_SUCCESS, Columns(c, "%"));
    auto cols = c.Rows();
    EXPECT_EQ(6u, cols.size());
    rows.insert(rows.end(), cols.begin(), cols.end());
    ASSERT_EQ(SQL_SUCCESS, Statistics(c));
    auto stats = c.Rows();
    EXPECT_FALSE(stats.empty());
    rows.insert(rows.end(), stats.begin(), stats.end());
    ASSERT_FALSE(rows.empty());
    for (const auto& r : rows) {
      if (k.cat) {
        EXPECT_TRUE(r[0].null) << r[0].text;
      }
      // Every backend here names a schema; the catalog may be empty.
      EXPECT_EQ(k.schem, r[1].null) << r[1].text;
      EXPECT_FALSE(r[2].null);
    }
  }
}

TEST_P(CatOptDm, DropCatalogLeavesOtherCatalogCallsAlone) {
  Conn c(env_, With("J_DCAT=1;J_DSCH=1"));
  ASSERT_TRUE(c.ok());
  const std::string t = Ident(table_);
  ASSERT_EQ(SQL_SUCCESS,
            SQLPrimaryKeys(c.stmt(), nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS));
  const auto rows = c.Rows();
  ASSERT_EQ(1u, rows.size());
  EXPECT_FALSE(rows[0][1].null);
  EXPECT_EQ(Ident("id"), rows[0][3].text);
}

TEST_P(CatOptDm, LongVarcharPatchInColumnsAndTypeInfo) {
  std::vector<std::pair<int, std::string>> patchedVarchars;
  {
    Conn c(env_, With("PLCHR2VCHR=4000"));
    ASSERT_TRUE(c.ok());
    for (const char* col : {"ch", "v"}) {
      SCOPED_TRACE(col);
      const auto r = ColumnRow(c, col);
      EXPECT_EQ(SQL_VARCHAR, Narrow(std::stoi(r[4].text)));  // DATA_TYPE
      EXPECT_EQ("4000", r[6].text);                          // COLUMN_SIZE
    }
    // The server's CHAR types are listed as VARCHAR, and a row of a type
    // is one that reports that type.
    patchedVarchars = TypeRows(c, SQL_VARCHAR);
    for (const auto& t : patchedVarchars) EXPECT_EQ(SQL_VARCHAR, Narrow(t.first)) << t.second;
    for (const auto& t : TypeRows(c, SQL_CHAR)) EXPECT_EQ(SQL_CHAR, t.first) << t.second;
  }
  {
    Conn c(env_, With("PLCHR2VCHR=0"));
    ASSERT_TRUE(c.ok());
    const auto r = ColumnRow(c, "v");
    EXPECT_EQ(SQL_VARCHAR, Narrow(std::stoi(r[4].text)));
    EXPECT_EQ("1073741823", r[6].text);
  }
  Conn c(env_, "DSN=" + dsn_);
  ASSERT_TRUE(c.ok());
  const auto ch = ColumnRow(c, "ch");
  EXPECT_EQ(SQL_CHAR, Narrow(std::stoi(ch[4].text)));
  EXPECT_EQ("5", ch[6].text);
  EXPECT_EQ("20", ColumnRow(c, "v")[6].text);
  const auto chars = TypeRows(c, SQL_CHAR);
  ASSERT_FALSE(chars.empty());
  for (const auto& t : chars) EXPECT_EQ(SQL_CHAR, t.first) << t.second;
  const std::string charName = chars.front().second;
  EXPECT_NE(patchedVarchars.end(),
            std::find_if(patchedVarchars.begin(), patchedVarchars.end(),
                         [&](const auto& t) { return t.second == charName; }))
      << charName << " not listed as VARCHAR";
}

TEST_P(CatOptDm, LongVarcharPatchInResultDescriptions) {
  auto describeText = [&](Conn& c, SQLSMALLINT* type, SQLULEN* size, SQLLEN* display) {
    ASSERT_TRUE(SQL_SUCCEEDED(c.Exec("SELECT txt FROM " + table_)))
        << Diag(SQL_HANDLE_STMT, c.stmt());
    SQLCHAR name[64] = "";
    SQLSMALLINT nlen = 0, digits = 0, nullable = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(c.stmt(), 1, name, sizeof name, &nlen, type, size,
                                          &digits, &nullable));
    ASSERT_EQ(SQL_SUCCESS,
              SQLColAttribute(c.stmt(), 1, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, display));
    SQLFreeStmt(c.stmt(), SQL_CLOSE);
  };
  SQLSMALLINT plainType = 0, patchedType = 0;
  SQLULEN plainSize = 0, patchedSize = 0;
  SQLLEN plainDisplay = 0, patchedDisplay = 0;
  {
    Conn c(env_, With("PLCHR2VCHR=4000"));
    ASSERT_TRUE(c.ok());
    describeText(c, &patchedType, &patchedSize, &patchedDisplay);
  }
  Conn c(env_, "DSN=" + dsn_);
  ASSERT_TRUE(c.ok());
  describeText(c, &plainType, &plainSize, &plainDisplay);
  EXPECT_EQ(plainType, patchedType);
  if (plainType == SQL_LONGVARCHAR || plainType == SQL_WLONGVARCHAR) {
    EXPECT_EQ(4000u, patchedSize);
    EXPECT_EQ(4000, patchedDisplay);
    EXPECT_GT(plainSize, 4000u);
    EXPECT_GT(plainDisplay, 4000);
  } else {
    // PostgreSQL's TEXT describes as VARCHAR: only long columns change.
    EXPECT_EQ(plainSize, patchedSize);
    EXPECT_EQ(plainDisplay, patchedDisplay);
  }
}

TEST_P(CatOptDm, JetReportsBigintAndNumericAsDecimal) {
  {
    Conn c(env_, With("JET=1"));
    ASSERT_TRUE(c.ok());
    for (const char* col : {"big", "num"}) {
      SCOPED_TRACE(col);
      const auto r = ColumnRow(c, col);
      EXPECT_EQ("3", r[4].text);        // DATA_TYPE
      EXPECT_EQ("decimal", r[5].text);  // TYPE_NAME
      EXPECT_EQ("3", r[13].text);       // SQL_DATA_TYPE
      ASSERT_FALSE(r[7].null);          // BUFFER_LENGTH
      EXPECT_GE(std::stol(r[7].text), std::stol(r[6].text));
    }
    // Other types keep theirs.
    EXPECT_EQ("4", ColumnRow(c, "id")[4].text);
    // Rows of a type report that type: BIGINT's row is now among the
    // DECIMAL rows.
    for (const auto& t : TypeRows(c, SQL_BIGINT)) EXPECT_EQ(SQL_BIGINT, t.first) << t.second;
    const auto decimals = TypeRows(c, SQL_DECIMAL);
    for (const auto& t : decimals) EXPECT_EQ(SQL_DECIMAL, t.first) << t.second;
    EXPECT_NE(decimals.end(), std::find_if(decimals.begin(), decimals.end(),
                                           [](const auto& t) { return t.second == "decimal"; }));
  }
  Conn c(env_, "DSN=" + dsn_);
  ASSERT_TRUE(c.ok());
  EXPECT_EQ("-5", ColumnRow(c, "big")[4].text);
  EXPECT_FALSE(TypeRows(c, SQL_BIGINT).empty());
  const auto num = ColumnRow(c, "num");
  EXPECT_EQ("2", num[4].text);
  EXPECT_NE("decimal", num[5].text);
}

TEST_P(CatOptDm, TypeInfoRowsReportTheAskedType) {
  Conn c(env_, "DSN=" + dsn_);
  ASSERT_TRUE(c.ok());
  for (SQLSMALLINT type : {SQL_VARCHAR, SQL_CHAR, SQL_INTEGER}) {
    const auto rows = TypeRows(c, type);
    EXPECT_FALSE(rows.empty()) << type;
    for (const auto& t : rows) EXPECT_EQ(type, t.first) << t.second;
  }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, CatOptDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
