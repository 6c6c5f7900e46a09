// Catalog columns by ODBC's rules on every backend and both builds: a table
// of many types, each SQLColumns row held against the sizes ODBC fixes,
// against SQLDescribeCol of the same column and against SQLGetTypeInfo's
// row of its type; and the sizes of procedure and special columns.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
constexpr const char* kNull = "<null>";

struct Fixed {
  const char *size, *octets, *digits, *radix;
};
// What ODBC fixes: sizes in decimal digits, the C default type's bytes.
const std::map<int, Fixed> kFixed = {
    {SQL_BIT, {"1", "1", kNull, kNull}},   {SQL_TINYINT, {"3", "1", "0", "10"}},
    {SQL_SMALLINT, {"5", "2", "0", "10"}}, {SQL_INTEGER, {"10", "4", "0", "10"}},
    {SQL_BIGINT, {"19", "8", "0", "10"}},  {SQL_REAL, {"7", "4", kNull, "10"}},
    {SQL_FLOAT, {"15", "8", kNull, "10"}}, {SQL_DOUBLE, {"15", "8", kNull, "10"}}};

// The column types of the table on each backend (every column's
// description agrees with its catalog row here).
const std::map<Db, std::vector<std::string>> kTypes = {
    {Db::Hsql, {"TINYINT", "SMALLINT", "INTEGER", "BIGINT", "DECIMAL(10,2)", "REAL", "DOUBLE",
                "BOOLEAN", "CHAR(5)", "VARCHAR(20)", "LONGVARCHAR", "CLOB(1000)", "BINARY(4)",
                "VARBINARY(8)", "BLOB(1000)", "DATE", "TIME", "TIME(3) WITH TIME ZONE",
                "TIMESTAMP(6)", "TIMESTAMP WITH TIME ZONE", "INTERVAL DAY TO SECOND",
                "INTEGER ARRAY"}},
    {Db::H2, {"TINYINT", "SMALLINT", "INTEGER", "BIGINT", "DECIMAL(10,2)", "REAL",
              "DOUBLE PRECISION", "BOOLEAN", "CHAR(5)", "VARCHAR(20)", "CLOB(1000)", "BINARY(4)",
              "VARBINARY(8)", "BLOB(1000)", "DATE", "TIME", "TIMESTAMP", "JSON", "INTEGER ARRAY",
              "TIMESTAMP WITH TIME ZONE"}},
    {Db::Derby, {"SMALLINT", "INTEGER", "BIGINT", "DECIMAL(10,2)", "REAL", "DOUBLE", "BOOLEAN",
                 "CHAR(5)", "VARCHAR(20)", "LONG VARCHAR", "CLOB(1000)", "CHAR(4) FOR BIT DATA",
                 "VARCHAR(8) FOR BIT DATA", "LONG VARCHAR FOR BIT DATA", "BLOB(1000)", "DATE",
                 "TIME", "TIMESTAMP"}},
    {Db::Pg, {"int2", "int4", "int8", "numeric(10,2)", "float4", "float8", "money", "bool",
              "char(5)", "varchar(20)", "text", "bytea", "date", "time", "timestamp",
              "timestamptz", "interval", "uuid", "json", "xml", "int4[]", "oid", "bit(3)",
              "\"char\"", "qcm_dom", "bit(1)"}}};

bool Long(int t) { return t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_LONGVARBINARY; }
bool Binary(int t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool Text(int t) { return (t >= SQL_WLONGVARCHAR && t <= SQL_WCHAR) || t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }

class CatColsDm : public qmr_test::DmTest {
 protected:
  std::string Name(const std::string& stem) {
    const std::string n = stem + (GetParam().back() == 'U' ? "_U" : "_A");
    return db() == Db::Pg ? qmr_test::Lower(n) : n;
  }
  Db db() const { return qmr_test::DbOf(GetParam()); }
  std::string Schema() const {
    return db() == Db::Pg ? "public" : db() == Db::Derby ? "APP" : "PUBLIC";
  }
  std::vector<qmr_test::Row> Rows(SQLRETURN rc) {
    EXPECT_EQ(rc, SQL_SUCCESS) << qmr_test::Diag(SQL_HANDLE_STMT, stmt_);
    return qmr_test::FetchRows(stmt_);
  }
  // The fixed sizes of a row's type; `at` is its DATA_TYPE's column (0-based).
  static void ExpectFixed(const qmr_test::Row& r, size_t at, const std::string& what) {
    auto T = [&](size_t i) { return r[i].null ? std::string(kNull) : r[i].text; };
    const auto f = kFixed.find(std::stoi(r[at].text));
    if (f == kFixed.end()) return;
    EXPECT_EQ(T(at + 2), f->second.size) << what;
    EXPECT_EQ(T(at + 3), f->second.octets) << what;
    EXPECT_EQ(T(at + 4), f->second.digits) << what;
  }
};

TEST_P(CatColsDm, ColumnsAgreeWithOdbcTheDescriptionAndTheTypeInformation) {
  const std::string t = Name("QCM_T");
  Exec("DROP TABLE " + t);
  if (db() == Db::Pg) {
    Exec("DROP DOMAIN IF EXISTS qcm_dom CASCADE");
    MustExec("CREATE DOMAIN qcm_dom AS varchar(12)");
  }
  std::string ddl;
  const std::vector<std::string>& types = kTypes.at(db());
  for (size_t i = 0; i < types.size(); ++i) ddl += (i ? ", C" : "C") + std::to_string(i) + " " + types[i];
  MustExec("CREATE TABLE " + t + " (" + ddl + ")");
  const auto info = Rows(SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));
  // Every row a type asked for gives is among all the types, in both builds.
  for (const qmr_test::Row& v : Rows(SQLGetTypeInfo(stmt_, SQL_VARCHAR))) {
    bool listed = false;
    for (const qmr_test::Row& a : info) listed |= a[0].text == v[0].text && a[1].text == v[1].text;
    EXPECT_TRUE(listed) << v[0].text << " " << v[1].text;
  }
  const auto cols = Rows(SQLColumns(stmt_, nullptr, 0, (SQLCHAR*)Schema().c_str(), SQL_NTS,
                                    (SQLCHAR*)t.c_str(), SQL_NTS, nullptr, 0));
  ASSERT_EQ(cols.size(), types.size());
  MustExec("SELECT * FROM " + t);
  const bool wide = GetParam().back() == 'U';
  for (size_t i = 0; i < cols.size(); ++i) {
    const qmr_test::Row& r = cols[i];
    const std::string what = types[i] + ": " + r[5].text;
    auto T = [&](size_t c) { return r[c].null ? std::string(kNull) : r[c].text; };
    SQLSMALLINT type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt_, static_cast<SQLUSMALLINT>(i + 1), nullptr, 0,
                                          nullptr, &type, &size, &digits, &nullable));
    const int odbc = std::stoi(r[4].text);
    EXPECT_EQ(odbc, type) << what;
    if (!Long(odbc)) { EXPECT_EQ(T(6), std::to_string(size)) << what; }
    ExpectFixed(r, 4, what);
    const bool number = kFixed.count(odbc) != 0 && odbc != SQL_BIT;
    EXPECT_EQ(T(9), number || odbc == SQL_DECIMAL || odbc == SQL_NUMERIC ? "10" : kNull) << what;
    if (T(9) == "10" && T(8) != kNull) { EXPECT_EQ(std::stoi(T(8)), digits) << what; }
    const bool datetime = odbc >= SQL_TYPE_DATE && odbc <= SQL_TYPE_TIMESTAMP;
    EXPECT_EQ(T(13), datetime ? "9" : r[4].text) << what;
    if (Text(odbc) || Binary(odbc)) {
      ASSERT_NE(T(15), kNull) << what;
      EXPECT_EQ(T(7), T(15)) << what;
      const long long chars = std::stoll(T(6)), octets = std::stoll(T(15));
      if (Binary(odbc)) { EXPECT_EQ(octets, chars) << what; }
      EXPECT_GE(octets, std::min(chars * (wide && Text(odbc) ? 2 : 1), 2147483647LL)) << what;
    } else {
      EXPECT_EQ(T(15), kNull) << what;
    }
    for (const qmr_test::Row& ti : info) {
      if (kFixed.count(odbc) == 0 || ti[0].text != r[5].text || ti[1].text != r[4].text) continue;
      EXPECT_EQ(ti[2].text, T(6)) << what << " in the type information";
      EXPECT_EQ(ti[17].null ? kNull : ti[17].text, T(9)) << what << " in the type information";
    }
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
}

// A routine with parameters of several types on each backend (PostgreSQL's
// returns a table).
const std::map<Db, std::string> kRoutine = {
    {Db::Hsql, "CREATE FUNCTION @(A INTEGER, B DOUBLE, C TIMESTAMP, D VARCHAR(10), E BIGINT)"
               " RETURNS TABLE (X INTEGER) READS SQL DATA RETURN TABLE (VALUES (A))"},
    {Db::H2, "CREATE ALIAS @ FOR 'java.lang.Integer.bitCount'"},
    {Db::Derby, "CREATE PROCEDURE @(IN A BIGINT) LANGUAGE JAVA PARAMETER STYLE JAVA NO SQL"
                " EXTERNAL NAME 'java.lang.Thread.sleep'"},
    {Db::Pg, "CREATE FUNCTION @(a int4, b timestamp, c varchar, e float8, f bool, g text, h int8,"
             " i bytea, j date) RETURNS TABLE (x int4, y text) LANGUAGE sql AS 'SELECT 1, ''a'''"}};

TEST_P(CatColsDm, ProcedureAndSpecialColumnsHaveOdbcsSizes) {
  const std::string f = Name("QCM_F"), t = Name("QCM_K");
  const Db d = db();
  Exec((d == Db::H2 ? "DROP ALIAS " : d == Db::Derby ? "DROP PROCEDURE " : "DROP FUNCTION ") + f);
  std::string ddl = kRoutine.at(d);
  MustExec(ddl.replace(ddl.find('@'), 1, f));
  const auto params = Rows(SQLProcedureColumns(stmt_, nullptr, 0, (SQLCHAR*)Schema().c_str(),
                                               SQL_NTS, (SQLCHAR*)f.c_str(), SQL_NTS, nullptr, 0));
  ASSERT_FALSE(params.empty());
  for (const qmr_test::Row& r : params) {
    const std::string what = r[3].text + " " + r[6].text;
    EXPECT_FALSE(r[7].null || r[8].null) << what;
    ExpectFixed(r, 5, what);
    if (d == Db::Pg && (r[3].text == "x" || r[3].text == "y")) { EXPECT_EQ(r[4].text, "3") << what; }
  }
  Exec("DROP TABLE " + t);
  MustExec("CREATE TABLE " + t + " (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(5))");
  for (SQLUSMALLINT kind : {SQL_BEST_ROWID, SQL_ROWVER}) {
    for (const qmr_test::Row& r : Rows(SQLSpecialColumns(
             stmt_, kind, nullptr, 0, (SQLCHAR*)Schema().c_str(), SQL_NTS, (SQLCHAR*)t.c_str(),
             SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE))) {
      EXPECT_FALSE(r[4].null || r[5].null) << r[1].text;
      ExpectFixed(r, 2, r[1].text);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, CatColsDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
