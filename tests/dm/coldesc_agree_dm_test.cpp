// Result descriptions by ODBC's rules on every backend and both builds:
// SQLDescribeCol, SQLColAttribute, SQLColumns and SQLGetTypeInfo agree for
// one column, and values read back whole into buffers sized from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
enum : unsigned { H = 1, P = 2, T = 4, D = 8, All = 15 };  // HSQLDB, PostgreSQL, H2, Derby
// Sizes, digits, octet lengths (four bytes a character) and display sizes
// (-1: not checked); the type in its narrow form, DECIMAL as NUMERIC.
struct Col {
  unsigned on;
  const char *name, *ddl;
  SQLSMALLINT type;
  SQLLEN size, digits, octets, display;
  bool catalog;  // SQLColumns' answers checked too
} const kCols[] = {{All, "v", "VARCHAR(20)", SQL_VARCHAR, 20, 0, 80, 20, true},
                   {All, "c", "CHAR(10)", SQL_CHAR, 10, 0, 40, 10, true},
                   {All, "bi", "BIGINT", SQL_BIGINT, 19, 0, 8, 20, false},
                   {All, "f", "DOUBLE PRECISION", SQL_DOUBLE, 15, 0, 8, -1, false},
                   {P | T | D, "r", "REAL", SQL_REAL, 7, 0, 4, -1, false},
                   {H, "r", "REAL", SQL_DOUBLE, 15, 0, 8, -1, false},  // a synonym there
                   {All, "n", "NUMERIC(12,3)", SQL_NUMERIC, 12, 3, 14, 14, false},
                   {All, "bo", "BOOLEAN", SQL_BIT, 1, 0, 1, 1, false},
                   {H | T, "ti", "TINYINT", SQL_TINYINT, 3, 0, 1, 4, false},
                   {H | T, "u", "UUID", SQL_BINARY, 16, 0, 16, 32, false},
                   {H | T, "vb", "VARBINARY(16)", SQL_VARBINARY, 16, 0, 16, 32, true},
                   {D, "vb", "VARCHAR(16) FOR BIT DATA", SQL_VARBINARY, 16, 0, 16, 32, true},
                   {H | T | D, "cl", "CLOB(1000)", SQL_LONGVARCHAR, 1000, 0, 4000, 1000, true},
                   {H | T | D, "bl", "BLOB(1000)", SQL_LONGVARBINARY, 1000, 0, 1000, 1000, true},
                   {P, "u", "uuid", SQL_GUID, 36, 0, 16, 36, false},
                   {P, "t", "text", SQL_LONGVARCHAR, 0x7FFFFFFF, 0, 0x7FFFFFFF, 0x7FFFFFFF, true},
                   {P, "nu", "numeric", SQL_NUMERIC, 1000, 500, 1002, 1002, true}};

class AnyColDescDm : public qmr_test::DmTest {
 protected:
  void SetUp() override {
    DmTest::SetUp();
    const Db db = qmr_test::DbOf(GetParam());
    on_ = db == Db::Hsql ? H : db == Db::Pg ? P : db == Db::H2 ? T : D;
    std::string ddl;
    for (const Col& c : kCols) {
      if ((c.on & on_) == 0) continue;
      cols_.push_back(&c);
      ddl += std::string(ddl.empty() ? "" : ", ") + c.name + " " + c.ddl;
      names_ += std::string(names_.empty() ? "" : ", ") + c.name;
    }
    Exec("DROP TABLE qcd_t");
    MustExec("CREATE TABLE qcd_t (i INT, " + ddl + ")");
  }
  // Unquoted names as the database stores them.
  std::string Stored(std::string s) const {
    if (on_ != P) std::transform(s.begin(), s.end(), s.begin(), ::toupper);
    return s;
  }
  SQLLEN Attr(SQLUSMALLINT col, SQLUSMALLINT field, char* text = nullptr) {
    SQLLEN v = -99;
    char buf[128] = "";
    EXPECT_TRUE(
        SQL_SUCCEEDED(SQLColAttribute(stmt_, col, field, text ? text : buf, 128, nullptr, &v)));
    return v;
  }
  SQLLEN Cell(SQLUSMALLINT col) {  // -1 for NULL
    SQLINTEGER n = 0;
    SQLLEN ind = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, col, SQL_C_SLONG, &n, 0, &ind)));
    return ind == SQL_NULL_DATA ? -1 : n;
  }
  unsigned on_ = 0;
  std::vector<const Col*> cols_;
  std::string names_;
};

TEST_P(AnyColDescDm, EveryCallAnswersOneSizeForOneColumn) {
  for (SQLUSMALLINT i = 1; i <= cols_.size(); ++i) {
    const Col& c = *cols_[i - 1];
    SCOPED_TRACE(c.ddl);
    MustExec("SELECT " + names_ + " FROM qcd_t");
    SQLSMALLINT type = 0, digits = -1;
    SQLULEN size = 0;
    ASSERT_EQ(0, SQLDescribeCol(stmt_, i, nullptr, 0, nullptr, &type, &size, &digits, nullptr));
    const SQLSMALLINT narrow = type == SQL_WCHAR          ? 1
                               : type == SQL_WVARCHAR     ? 12
                               : type == SQL_WLONGVARCHAR ? -1
                               : type == SQL_DECIMAL      ? 2
                                                          : type;
    EXPECT_EQ(c.type, narrow);
    EXPECT_EQ(c.size, static_cast<SQLLEN>(size));
    EXPECT_EQ(c.digits, digits);
    EXPECT_EQ(c.size, Attr(i, SQL_DESC_LENGTH));
    EXPECT_EQ(c.octets, Attr(i, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(c.octets, Attr(i, SQL_COLUMN_LENGTH));
    EXPECT_TRUE(c.display < 0 || c.display == Attr(i, SQL_DESC_DISPLAY_SIZE));
    const SQLLEN radix = Attr(i, SQL_DESC_NUM_PREC_RADIX),
                 searchable = Attr(i, SQL_DESC_SEARCHABLE);
    EXPECT_TRUE(radix == 0 || (radix == 10 && c.size == Attr(i, SQL_DESC_PRECISION) &&
                               c.digits == Attr(i, SQL_DESC_SCALE)));
    // The type information's first row for the type says the same.
    ASSERT_EQ(0, SQLFreeStmt(stmt_, SQL_CLOSE) | SQLGetTypeInfo(stmt_, type) | SQLFetch(stmt_));
    EXPECT_EQ(Cell(9), searchable);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    if (!c.catalog) continue;
    const std::string table = Stored("qcd_t"), name = Stored(c.name);
    ASSERT_EQ(0, SQLColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)table.c_str(), SQL_NTS,
                            (SQLCHAR*)name.c_str(), SQL_NTS) |
                     SQLFetch(stmt_));
    EXPECT_EQ(type, Cell(5));
    EXPECT_EQ(c.size, Cell(7));
    EXPECT_EQ(c.octets, Cell(8));  // BUFFER_LENGTH
    EXPECT_TRUE(c.type != SQL_NUMERIC || c.digits == Cell(9));
    EXPECT_TRUE(c.type != SQL_VARCHAR || c.octets == Cell(16));  // CHAR_OCTET_LENGTH
  }
  // Names in the table, not labels, through aliases and a table's `*`; the
  // schema and catalog a table's column is in (the connection's catalog).
  char current[128] = "";
  SQLGetConnectAttr(dbc_, SQL_ATTR_CURRENT_CATALOG, current, sizeof current, nullptr);
  const struct {
    unsigned on;
    const char* sql;
    SQLUSMALLINT col;
    std::string base;  // unquoted: as stored
    bool fromTable;
  } names[] = {{All, "SELECT v AS vv, i + 1 AS e FROM qcd_t", 1, "v", true},
               {All, "SELECT v AS vv, i + 1 AS e FROM qcd_t", 2, "", false},
               {All, "SELECT q.i AS \"ii\", q.* FROM qcd_t q", 1, "i", true},
               {All, "SELECT q.i AS \"ii\", q.* FROM qcd_t q", 3, "v", true},
               // Derby's driver knows the label only, the text not the name inside.
               {D, "SELECT x AS y FROM (SELECT v AS x FROM qcd_t) q", 1, "", true},
               // A text the analyser cannot read keeps the driver's names.
               {D, "SELECT a.v FROM qcd_t a JOIN qcd_t b ON a.i = b.i", 1, "v", true}};
  for (const auto& n : names) {
    if ((n.on & on_) == 0) continue;
    SCOPED_TRACE(std::string(n.sql) + " column " + std::to_string(n.col));
    SQLFreeStmt(stmt_, SQL_CLOSE);
    MustExec(n.sql);
    char base[128], schema[128], catalog[128];
    Attr(n.col, SQL_DESC_BASE_COLUMN_NAME, base);
    Attr(n.col, SQL_DESC_SCHEMA_NAME, schema);
    Attr(n.col, SQL_DESC_CATALOG_NAME, catalog);
    EXPECT_EQ(Stored(n.base), std::string(base));
    EXPECT_TRUE(!n.fromTable || (on_ == P ? "public" == std::string(schema) : schema[0] != '\0'));
    EXPECT_EQ(n.fromTable ? std::string(current) : "", std::string(catalog));
    EXPECT_EQ(n.fromTable ? SQL_ATTR_READWRITE_UNKNOWN : SQL_ATTR_READONLY,
              Attr(n.col, SQL_DESC_UPDATABLE));
  }
}

TEST_P(AnyColDescDm, ValuesReadWholeIntoBuffersSizedFromTheDescription) {
  // Characters outside the BMP: PostgreSQL counts one each, the others two.
  const SQLLEN chars = on_ == P ? 20 : 10;
  std::string emoji, uuid = "6ecd8c99-4036-403d-bf84-cf8400f67836";
  for (int k = 0; k < chars; ++k) emoji += "\xF0\x9F\x98\x80";
  const bool binary = on_ == H || on_ == T;
  const bool withUuid = on_ != D;  // Derby has no such type
  MustExec("INSERT INTO qcd_t (v" + std::string(withUuid ? ", u" : "") + ") VALUES ('" + emoji +
           (withUuid ? "', '" + uuid : "") + "')");
  if (binary) uuid.erase(std::remove(uuid.begin(), uuid.end(), '-'), uuid.end());
  MustExec(withUuid ? "SELECT v, v, u, u FROM qcd_t" : "SELECT v, v FROM qcd_t");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  const struct {
    SQLSMALLINT cType;
    SQLUSMALLINT sizeField;
    SQLLEN room, want;
    std::string text;
  } reads[] = {{SQL_C_CHAR, SQL_DESC_OCTET_LENGTH, 1, 4 * chars, emoji},
               {SQL_C_WCHAR, SQL_DESC_OCTET_LENGTH, 2, 4 * chars, ""},
               {static_cast<SQLSMALLINT>(binary ? SQL_C_BINARY : SQL_C_GUID), SQL_DESC_OCTET_LENGTH,
                0, 16, ""},
               {SQL_C_CHAR, SQL_DESC_DISPLAY_SIZE, 1, binary ? 32 : 36, uuid}};
  for (SQLUSMALLINT col = 1; col <= (withUuid ? 4 : 2); ++col) {
    const auto& r = reads[col - 1];
    std::vector<char> buf(static_cast<size_t>(Attr(col, r.sizeField) + r.room));
    SQLLEN ind = 0;
    EXPECT_EQ(0, SQLGetData(stmt_, col, r.cType, buf.data(), buf.size(), &ind)) << col;
    EXPECT_EQ(r.want, ind) << col;
    EXPECT_TRUE(r.text.empty() || r.text == qmr_test::Lower(buf.data())) << buf.data();
  }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyColDescDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const auto& info) { return info.param; });

}  // namespace
