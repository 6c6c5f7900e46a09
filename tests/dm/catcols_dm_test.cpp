// Catalog columns by ODBC's rules, every backend and both builds: a table of
// many types, each SQLColumns row against ODBC's fixed sizes, SQLDescribeCol
// of the column and SQLGetTypeInfo's row of its type; routine and special
// columns' sizes.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::Row;
constexpr const char* kNull = "<null>";
struct Fixed {
  const char *size, *octets, *digits;
};
const std::map<int, Fixed> kFixed = {
    {SQL_BIT, {"1", "1", kNull}},    {SQL_TINYINT, {"3", "1", "0"}},
    {SQL_SMALLINT, {"5", "2", "0"}}, {SQL_INTEGER, {"10", "4", "0"}},
    {SQL_BIGINT, {"19", "8", "0"}},  {SQL_REAL, {"7", "4", kNull}},
    {SQL_FLOAT, {"15", "8", kNull}}, {SQL_DOUBLE, {"15", "8", kNull}}};
const std::map<Db, std::string> kTypes = {  // (the routine) and the table's column types
    {Db::Hsql,
     "FUNCTION @(A INTEGER, B DOUBLE, C TIMESTAMP, D VARCHAR(9)) RETURNS TABLE (X INT)"
     " READS SQL DATA RETURN TABLE (VALUES (A));TINYINT;SMALLINT;INTEGER;BIGINT;"
     "DECIMAL(10,2);REAL;DOUBLE;BOOLEAN;CHAR(5);VARCHAR(20);LONGVARCHAR;CLOB(1000);"
     "BINARY(4);VARBINARY(8);BLOB(1000);DATE;TIME;TIME(3) WITH TIME ZONE;TIMESTAMP(6);"
     "TIMESTAMP WITH TIME ZONE;INTERVAL DAY TO SECOND;INTEGER ARRAY"},
    {Db::H2,
     "ALIAS @ FOR 'java.lang.Integer.bitCount';TINYINT;SMALLINT;INTEGER;BIGINT;"
     "DECIMAL(10,2);REAL;DOUBLE PRECISION;BOOLEAN;CHAR(5);VARCHAR(20);CLOB(1000);BINARY(4);"
     "VARBINARY(8);BLOB(1000);DATE;TIME;TIMESTAMP;JSON;INTEGER ARRAY;TIMESTAMP WITH TIME ZONE;"
     "INTERVAL DAY TO SECOND;INTERVAL YEAR;INTERVAL HOUR(3) TO MINUTE"},
    {Db::Derby,
     "PROCEDURE @(IN A BIGINT) LANGUAGE JAVA PARAMETER STYLE JAVA NO SQL EXTERNAL NAME"
     " 'java.lang.Thread.sleep';SMALLINT;INTEGER;BIGINT;DECIMAL(10,2);REAL;DOUBLE;BOOLEAN;"
     "CHAR(5);VARCHAR(20);LONG VARCHAR;CLOB(1000);CHAR(4) FOR BIT DATA;VARCHAR(8) FOR BIT"
     " DATA;LONG VARCHAR FOR BIT DATA;BLOB(1000);DATE;TIME;TIMESTAMP"},
    {Db::Pg,
     "FUNCTION @(a int4, b timestamp, c varchar, e float8, f bool, g text, h int8, i bytea,"
     " j date) RETURNS TABLE (x int4, y text) LANGUAGE sql AS 'SELECT 1, ''a''';int2;int4;"
     "int8;numeric(10,2);float4;float8;money;bool;char(5);varchar(20);text;bytea;date;time;"
     "timestamp;timestamptz;interval;uuid;json;xml;int4[];oid;bit(3);\"char\";qcm_dom;bit(1)"}};

std::string T(const Row& r, size_t c) { return r[c].null ? kNull : r[c].text; }
bool Text(int t) {
  return (t >= SQL_WLONGVARCHAR && t <= SQL_WCHAR) || (t >= -1 && t <= 1) || t == 12;
}
bool Binary(int t) { return t >= SQL_LONGVARBINARY && t <= SQL_BINARY; }
// The sizes ODBC fixes; `at` is the row's DATA_TYPE (0-based), size, buffer and digits after it.
void ExpectFixed(const Row& r, size_t at, const std::string& what) {
  const auto f = kFixed.find(std::stoi(r[at].text));
  if (f == kFixed.end()) return;
  EXPECT_EQ(T(r, at + 2) + " " + T(r, at + 3) + " " + T(r, at + 4),
            std::string(f->second.size) + " " + f->second.octets + " " + f->second.digits)
      << what;
}

class CatColsDm : public qmr_test::DmTest {
 protected:
  Db db() const { return qmr_test::DbOf(GetParam()); }
  std::string Name(const std::string& stem) const {
    const std::string n = stem + (GetParam().back() == 'U' ? "_U" : "_A");
    return db() == Db::Pg ? qmr_test::Lower(n) : n;
  }
  SQLCHAR* Schema() const {
    return (SQLCHAR*)(db() == Db::Pg ? "public" : db() == Db::Derby ? "APP" : "PUBLIC");
  }
  std::vector<Row> Rows(SQLRETURN rc) {
    EXPECT_EQ(rc, SQL_SUCCESS) << qmr_test::Diag(SQL_HANDLE_STMT, stmt_);
    return qmr_test::FetchRows(stmt_);
  }
};

TEST_P(CatColsDm, ColumnsAgreeWithOdbcTheDescriptionAndTheTypeInformation) {
  std::vector<std::string> types;
  for (size_t at = 0, semi; at != std::string::npos;
       at = semi == std::string::npos ? semi : semi + 1)
    types.push_back(kTypes.at(db()).substr(at, (semi = kTypes.at(db()).find(';', at)) - at));
  const std::string t = Name("QCM_T"), f = Name("QCM_F");
  Exec("DROP TABLE " + t);
  Exec("DROP " + types[0].substr(0, types[0].find(' ')) + " " + f);
  if (db() == Db::Pg) {
    Exec("DROP DOMAIN qcm_dom CASCADE");
    MustExec("CREATE DOMAIN qcm_dom AS varchar(12)");
  }
  std::string ddl;
  for (size_t i = 1; i < types.size(); ++i)
    ddl += (i > 1 ? ", C" : "C") + std::to_string(i) + " " + types[i];
  MustExec("CREATE TABLE " + t + " (" + ddl + ", K INTEGER NOT NULL PRIMARY KEY)");
  const std::vector<Row> info = Rows(SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));
  for (const Row& v : Rows(SQLGetTypeInfo(stmt_, SQL_VARCHAR))) {  // among all types in both builds
    bool listed = false;
    for (const Row& a : info) listed |= a[0].text == v[0].text && a[1].text == v[1].text;
    EXPECT_TRUE(listed) << v[0].text;
  }
  const std::vector<Row> cols = Rows(
      SQLColumns(stmt_, nullptr, 0, Schema(), SQL_NTS, (SQLCHAR*)t.c_str(), SQL_NTS, nullptr, 0));
  ASSERT_EQ(cols.size(), types.size());
  MustExec("SELECT * FROM " + t);
  for (size_t i = 0; i < cols.size(); ++i) {
    const Row& r = cols[i];
    const int odbc = std::stoi(r[4].text);
    const std::string what = (i + 1 < types.size() ? types[i + 1] : "K") + ": " + r[5].text;
    SQLSMALLINT type = 0, digits = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt_, static_cast<SQLUSMALLINT>(i + 1), nullptr, 0,
                                          nullptr, &type, &size, &digits, nullptr));
    EXPECT_EQ(odbc, type) << what;
    if (odbc != SQL_LONGVARCHAR && odbc != SQL_WLONGVARCHAR && odbc != SQL_LONGVARBINARY) {
      EXPECT_EQ(T(r, 6), std::to_string(size)) << what;
    }
    ExpectFixed(r, 4, what);
    const bool number =
        (kFixed.count(odbc) != 0 && odbc != SQL_BIT) || odbc == SQL_DECIMAL || odbc == SQL_NUMERIC;
    EXPECT_EQ(T(r, 9), number ? "10" : kNull) << what;
    if (number && !r[8].null) {
      EXPECT_EQ(std::stoi(T(r, 8)), digits) << what;
    }
    EXPECT_EQ(T(r, 13), odbc >= SQL_TYPE_DATE && odbc <= SQL_TYPE_TIMESTAMP ? "9" : r[4].text)
        << what;
    EXPECT_EQ(r[15].null, !Text(odbc) && !Binary(odbc)) << what;
    if (!r[15].null) {  // bytes of binary data, at least a byte or UTF-16 unit of text a character
      EXPECT_EQ(T(r, 7), T(r, 15)) << what;
      const long long chars = std::stoll(T(r, 6)), octets = std::stoll(T(r, 15)),
                      per = odbc < -7 ? 2 : 1;
      EXPECT_TRUE(Binary(odbc) ? octets == chars : octets >= std::min(per * chars, 2147483647LL))
          << what;
    }
    for (const Row& ti : info)  // the type information's row of the type
      if (kFixed.count(odbc) != 0 && ti[0].text == r[5].text && ti[1].text == r[4].text) {
        EXPECT_EQ(ti[2].text + " " + T(ti, 17), T(r, 6) + " " + T(r, 9)) << what;
      }
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  std::string routine = "CREATE " + types[0];
  MustExec(routine.replace(routine.find('@'), 1, f));
  for (const Row& r : Rows(SQLProcedureColumns(stmt_, nullptr, 0, Schema(), SQL_NTS,
                                               (SQLCHAR*)f.c_str(), SQL_NTS, nullptr, 0))) {
    EXPECT_FALSE(r[7].null || r[8].null) << r[3].text;
    ExpectFixed(r, 5, r[3].text);
    EXPECT_TRUE(r[4].text == "3" || (r[3].text != "x" && r[3].text != "y")) << "RETURNS TABLE";
    if (r[5].text == std::to_string(SQL_TYPE_TIMESTAMP)) {  // six digits, as a column's
      EXPECT_EQ("26 16 6", T(r, 7) + " " + T(r, 8) + " " + T(r, 9)) << r[3].text;
    }
  }
  // What lists the routine's parameters lists the routine, once, as its kind.
  const std::vector<Row> procs =
      Rows(SQLProcedures(stmt_, nullptr, 0, Schema(), SQL_NTS, (SQLCHAR*)f.c_str(), SQL_NTS));
  ASSERT_EQ(1u, procs.size());
  const std::string kind = types[0].substr(0, types[0].find(' '));
  EXPECT_EQ(kind == "PROCEDURE" ? "1" : "2", procs[0][7].text);  // H2's alias returns a value
  for (SQLUSMALLINT kind : {SQL_BEST_ROWID, SQL_ROWVER})
    for (const Row& r :
         Rows(SQLSpecialColumns(stmt_, kind, nullptr, 0, Schema(), SQL_NTS, (SQLCHAR*)t.c_str(),
                                SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE))) {
      EXPECT_FALSE(r[4].null || r[5].null) << r[1].text;
      ExpectFixed(r, 2, r[1].text);
    }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, CatColsDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
