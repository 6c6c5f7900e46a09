// The key statements built from an application's SELECT: the text around
// the insertion point comes through byte for byte, identifiers are quoted
// with the quote doubled inside, and the application's markers before the
// insertion point are counted so that parameters bind in text order.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "scrs/scranalysis.h"

namespace {

// The analyser regenerates the text with blanks of its own; runs of blanks
// outside literals say nothing here.
std::string Squeeze(const std::string& s) {
  std::string out;
  bool literal = false;
  for (char c : s) {
    if (c == '\'') literal = !literal;
    if (!literal && c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

SCR_COLDESC Key(const char* name, const char* table = "T", const char* alias = "") {
  SCR_COLDESC k{};
  std::strcpy(k.name, name);
  std::strcpy(k.table, table);
  std::strcpy(k.alias, alias);
  k.kind = SCR_COL_COLUMN;
  return k;
}

SCR_IDENTS Quotes(const char* q) {
  SCR_IDENTS id;
  id.quote = q;
  return id;
}

enum Builder { kSelect, kWhere, kOrder };

struct Case {
  const char* sql;
  Builder builder;
  std::vector<SCR_COLDESC> keys;
  uint8_t tables;
  uint32_t groups;
  const char* want;
  uint32_t appBefore;
};

class KsBuild : public ::testing::TestWithParam<Case> {};

TEST_P(KsBuild, BuildsText) {
  const Case& c = GetParam();
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  ASSERT_EQ(0, SCR_AnalyseSQL(&info, c.sql, 0, 0)) << c.sql;
  KS_CURSOR ks;
  ks.keys = c.keys;
  ks.tableCount = c.tables;
  SCR_BUILT out;
  const SCR_IDENTS id = Quotes("\"");
  int rc = 0;
  switch (c.builder) {
    case kSelect: rc = KS_BuildKeySelect(&info, ks, id, &out); break;
    case kWhere: rc = KS_BuildKeyWhere(&info, ks, id, c.groups, &out); break;
    case kOrder: rc = KS_BuildOrderBy(&info, ks, id, 1, &out); break;
  }
  SCR_FreeSQLInfo(&info);
  ASSERT_EQ(0, rc) << c.sql;
  EXPECT_EQ(c.want, Squeeze(out.text)) << c.sql;
  EXPECT_EQ(c.appBefore, out.appBefore) << c.sql;
}

const std::vector<SCR_COLDESC> kId{Key("ID")};
const std::vector<SCR_COLDESC> kTwo{Key("ID"), Key("LINE")};

INSTANTIATE_TEST_SUITE_P(
    Cases, KsBuild,
    ::testing::Values(
        Case{"SELECT a, b FROM t WHERE a > ? ORDER BY b", kSelect, kId, 1, 0,
             "SELECT \"ID\" FROM t WHERE a > ? ORDER BY b", 0},
        Case{"SELECT * FROM t", kSelect, kTwo, 1, 0, "SELECT \"ID\", \"LINE\" FROM t", 0},
        Case{"SELECT x.* FROM t x", kSelect, {Key("ID", "T", "x")}, 1, 0,
             "SELECT \"ID\" FROM t x", 0},
        Case{"SELECT a FROM t x, u y WHERE x.k = y.k", kSelect,
             {Key("ID", "T", "x"), Key("ID", "U", "y")}, 2, 0,
             "SELECT \"x\".\"ID\", \"y\".\"ID\" FROM t x, u y WHERE x.k = y.k", 0},
        Case{"SELECT a FROM t", kWhere, kTwo, 1, 3,
             "SELECT a FROM t WHERE ( \"ID\" = ? AND \"LINE\" = ? OR \"ID\" = ? AND \"LINE\" = ? "
             "OR \"ID\" = ? AND \"LINE\" = ? )", 0},
        // The application's marker in the select list comes before the key
        // markers; the one in its condition after them.
        Case{"SELECT ?, a FROM t WHERE b = ? ORDER BY a", kWhere, kId, 1, 1,
             "SELECT ?, a FROM t WHERE ( \"ID\" = ? ) AND (b = ?) ORDER BY a", 1},
        Case{"SELECT a FROM t WHERE b = 'x?''y' AND c = ?", kWhere, kId, 1, 1,
             "SELECT a FROM t WHERE ( \"ID\" = ? ) AND (b = 'x?''y' AND c = ?)", 0},
        Case{"SELECT a FROM t", kOrder, kId, 1, 0, "SELECT a FROM t ORDER BY \"ID\"", 0},
        Case{"SELECT a FROM t ORDER BY a DESC", kOrder, kTwo, 1, 0,
             "SELECT a FROM t ORDER BY a DESC, \"ID\", \"LINE\"", 0}));

// Bytes of the application's text that look like template codes or marks
// reach the built statement unchanged.
TEST(KsBuildText, UserBytesSurviveTheSplice) {
  const std::string sql = "SELECT a FROM t WHERE b = '\xFF\x01\x01' AND c = '\x01\x01\x01'";
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  ASSERT_EQ(0, SCR_AnalyseSQL(&info, sql.c_str(), 0, 0));
  KS_CURSOR ks;
  ks.keys = kId;
  ks.tableCount = 1;
  SCR_BUILT out;
  ASSERT_EQ(0, KS_BuildKeySelect(&info, ks, Quotes("\""), &out));
  SCR_FreeSQLInfo(&info);
  EXPECT_EQ("SELECT \"ID\" FROM t WHERE b = '\xFF\x01\x01' AND c = '\x01\x01\x01'", Squeeze(out.text));
}

// Names that need quotes: mixed case, blanks and the quote itself, which is
// doubled; without a quote character such a name is refused.
TEST(KsBuildText, IdentifiersAreQuotedOrRefused) {
  const struct {
    const char* raw;
    const char* quote;
    const char* want;  // null: refused
  } rows[] = {
      {"Mixed Case", "\"", "\"Mixed Case\""},
      {"a\"b", "\"", "\"a\"\"b\""},
      {"a`b", "`", "`a``b`"},
      {"PLAIN_1", "", "PLAIN_1"},
      {"with space", "", nullptr},
      {"a\"b", "", nullptr},
  };
  for (const auto& r : rows) {
    std::string out;
    const bool ok = SCR_IdentSql(r.raw, Quotes(r.quote), &out);
    EXPECT_EQ(r.want != nullptr, ok) << r.raw;
    if (r.want != nullptr) {
      EXPECT_EQ(r.want, out) << r.raw;
    }
  }
  SCR_IDENTS id = Quotes("\"");
  id.unquotedCase = 1;
  EXPECT_EQ("a\"b", SCR_RawIdent("\"a\"\"b\"", id));
  EXPECT_EQ("ABC", SCR_RawIdent("abc", id));
  id.escape = "\\";
  EXPECT_EQ("A\\_B\\%C\\\\", SCR_PatternOf("A_B%C\\", id));
}

// Seek conditions over ORDER BY a and the key K, on a source that sorts
// NULLs high: the rows after (NEXT) or before (PRIOR) the bound key row.
TEST(KsBuildText, SeekConditionsFollowTheSortOrder) {
  const struct {
    bool descending;
    uint8_t keyMark;  // 1: the ORDER BY item is the key itself
    uint16_t orientation, mode;
    bool nullA;
    const char* want;
    std::vector<uint16_t> cols;
    uint16_t row;
  } rows[] = {
      {false, 0, SQL_FETCH_NEXT, 0, false,
       "SELECT a, k FROM t WHERE ( (a > ? OR a IS NULL) OR a = ? AND \"K\" > ? ) ORDER BY a",
       {1, 1, 0}, 1},
      {false, 0, SQL_FETCH_NEXT, 0, true,
       "SELECT a, k FROM t WHERE ( a IS NULL AND \"K\" > ? ) ORDER BY a", {0}, 1},
      {true, 0, SQL_FETCH_PRIOR, 2, false,
       "SELECT a, k FROM t WHERE ( (a >= ? OR a IS NULL) OR a = ? AND \"K\" <= ? ) ORDER BY a DESC",
       {1, 1, 0}, 0},
      {false, 0, SQL_FETCH_PRIOR, 1, true,
       "SELECT a, k FROM t WHERE ( a IS NOT NULL OR a IS NULL AND \"K\" < ? ) ORDER BY a",
       {0}, 1},
      {false, 1, SQL_FETCH_NEXT, 0, false, "SELECT a, k FROM t WHERE ( k > ? ) ORDER BY k", {0}, 1},
  };
  for (const auto& r : rows) {
    const std::string order = r.keyMark != 0 ? "k" : "a";
    const std::string sql =
        "SELECT a, k FROM t ORDER BY " + order + (r.descending ? " DESC" : "");
    SCR_ORDERITEM item{};
    std::strcpy(item.text, order.c_str());
    item.descending = r.descending ? 1 : 0;
    KS_CURSOR ks;
    ks.tableCount = 1;
    ks.keys = {Key("K")};
    ks.keys[0].mark = r.keyMark;
    SCR_SQLINFO info;
    SCR_InitSQLInfo(&info);
    ASSERT_EQ(0, SCR_AnalyseSQL(&info, sql.c_str(), 0, 0)) << sql;
    SCR_BUILT out;
    const int rc = KS_BuildSeekWhere(&info, ks, {item}, Quotes("\""), r.orientation, r.mode,
                                     SQL_NC_HIGH, {r.nullA}, &out);
    SCR_FreeSQLInfo(&info);
    ASSERT_EQ(0, rc) << r.want;
    EXPECT_EQ(r.want, Squeeze(out.text));
    EXPECT_EQ(r.cols, out.boundCols) << r.want;
    EXPECT_EQ(r.row, out.boundRow) << r.want;
  }
  // The seek SELECT lists the key, then the ORDER BY items that are no key.
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  ASSERT_EQ(0, SCR_AnalyseSQL(&info, "SELECT a, k FROM t ORDER BY a", 0, 0));
  SCR_ORDERITEM item{};
  std::strcpy(item.text, "a");
  KS_CURSOR ks;
  ks.tableCount = 1;
  ks.keys = {Key("K")};
  SCR_BUILT out;
  ASSERT_EQ(0, KS_BuildSeekSelect(&info, ks, {item}, Quotes("\""), &out));
  SCR_FreeSQLInfo(&info);
  EXPECT_EQ("SELECT \"K\", a FROM t ORDER BY a", Squeeze(out.text));
}

}  // namespace
