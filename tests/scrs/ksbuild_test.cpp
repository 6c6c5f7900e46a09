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

#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "support/fake_agent.h"

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
        Case{"SELECT x.* FROM t x",
             kSelect,
             {Key("ID", "T", "x")},
             1,
             0,
             "SELECT \"ID\" FROM t x",
             0},
        Case{"SELECT a FROM t x, u y WHERE x.k = y.k",
             kSelect,
             {Key("ID", "T", "x"), Key("ID", "U", "y")},
             2,
             0,
             "SELECT \"x\".\"ID\", \"y\".\"ID\" FROM t x, u y WHERE x.k = y.k",
             0},
        Case{"SELECT a FROM t", kWhere, kTwo, 1, 3,
             "SELECT a FROM t WHERE ( \"ID\" = ? AND \"LINE\" = ? OR \"ID\" = ? AND \"LINE\" = ? "
             "OR \"ID\" = ? AND \"LINE\" = ? )",
             0},
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
  EXPECT_EQ("SELECT \"ID\" FROM t WHERE b = '\xFF\x01\x01' AND c = '\x01\x01\x01'",
            Squeeze(out.text));
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
      {false,
       0,
       SQL_FETCH_NEXT,
       0,
       false,
       "SELECT a, k FROM t WHERE ( (a > ? OR a IS NULL) OR a = ? AND \"K\" > ? ) ORDER BY a",
       {1, 1, 0},
       1},
      {false,
       0,
       SQL_FETCH_NEXT,
       0,
       true,
       "SELECT a, k FROM t WHERE ( a IS NULL AND \"K\" > ? ) ORDER BY a",
       {0},
       1},
      {false,
       0,
       SQL_FETCH_NEXT,
       3,
       true,
       "SELECT a, k FROM t WHERE ( a IS NULL AND \"K\" >= ? ) ORDER BY a",
       {0},
       0},
      {true,
       0,
       SQL_FETCH_PRIOR,
       2,
       false,
       "SELECT a, k FROM t WHERE ( (a > ? OR a IS NULL) OR a = ? AND \"K\" <= ? ) ORDER BY a DESC",
       {1, 1, 0},
       0},
      {false,
       0,
       SQL_FETCH_PRIOR,
       1,
       true,
       "SELECT a, k FROM t WHERE ( a IS NOT NULL OR a IS NULL AND \"K\" < ? ) ORDER BY a",
       {0},
       1},
      {false, 1, SQL_FETCH_NEXT, 0, false, "SELECT a, k FROM t WHERE ( k > ? ) ORDER BY k", {0}, 1},
  };
  for (const auto& r : rows) {
    const std::string order = r.keyMark != 0 ? "k" : "a";
    const std::string sql = "SELECT a, k FROM t ORDER BY " + order + (r.descending ? " DESC" : "");
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

  // ORDER BY k, a with the key first: one sort column decides, so the
  // item after the key takes no part in either builder.
  const char* sql = "SELECT a, k FROM t ORDER BY k , a";
  SCR_ORDERITEM k{};
  std::strcpy(k.text, "k");
  ks.keys[0].mark = 1;
  for (uint16_t sortColumns : {0, 1}) {
    SCR_BUILT sel, seek;
    ASSERT_EQ(0, SCR_AnalyseSQL(&info, sql, 0, 0));
    ASSERT_EQ(0, KS_BuildSeekSelect(&info, ks, {k, item}, Quotes("\""), &sel, sortColumns));
    SCR_FreeSQLInfo(&info);
    ASSERT_EQ(0, SCR_AnalyseSQL(&info, sql, 0, 0));
    ASSERT_EQ(0, KS_BuildSeekWhere(&info, ks, {k, item}, Quotes("\""), SQL_FETCH_NEXT, 0,
                                   SQL_NC_HIGH, {false}, &seek, sortColumns));
    SCR_FreeSQLInfo(&info);
    EXPECT_EQ(sortColumns == 1 ? "SELECT \"K\" FROM t ORDER BY k , a"
                               : "SELECT \"K\", a FROM t ORDER BY k , a",
              Squeeze(sel.text));
    EXPECT_EQ(
        sortColumns == 1
            ? "SELECT a, k FROM t WHERE ( k > ? ) ORDER BY k , a"
            : "SELECT a, k FROM t WHERE ( k > ? OR k = ? AND (a > ? OR a IS NULL) ) ORDER BY k , a",
        Squeeze(seek.text));
  }
}

// Key rows 0..3 (three held): an INTEGER (the row number) and a CHAR(10),
// NULL in row 2.
void FillKeys(COLSET* keys) {
  ASSERT_EQ(0, ColSetInit(keys, 2));
  keys->cols[0] = {COLSET_VT_INTEGER, 4, nullptr, nullptr};
  keys->cols[1] = {COLSET_VT_CHAR, 10, nullptr, nullptr};
  keys->cols_used = 2;
  ASSERT_EQ(0, ColSetSetRows(keys, 4));
  keys->rows_held = 3;
  for (int32_t r = 0; r < 4; ++r) {
    std::memcpy(keys->cols[0].data + 4 * r, &r, 4);
    std::memcpy(keys->cols[1].data + 10 * r, r == 1 ? "ab        " : "xyz       ", 10);
    keys->cols[0].ind[r] = 0;
    keys->cols[1].ind[r] = r == 2 ? COLSET_IND_NULL : 0;
  }
}

// Key rows made into parameters: a short source repeats its last row, the
// rows past those held are never read, fixed text is trimmed and ended; a
// seek query's markers take the columns they name of the bound row.
TEST(RowToParams, GroupsTakeRowsWithinTheWindow) {
  COLSET keys;
  FillKeys(&keys);
  const struct {
    uint32_t first, groups, rows;
    bool trim, term, leave;
    int rc;
    std::vector<int32_t> ids;  // the integer of each group
    uint32_t textSize;         // element size of group 0's text; 0: left out
  } rows[] = {
      {0, 4, 2, false, false, false, 0, {0, 1, 1, 1}, 10},
      {1, 1, 1, true, true, false, 0, {1}, 3},
      {1, 1, 1, true, false, false, 0, {1}, 2},
      {0, 1, 1, false, true, false, 0, {0}, 11},
      {2, 3, 3, false, false, false, 0, {2, 2, 2}, 10},
      {2, 1, 1, false, false, true, 0, {2}, 0},
      {3, 1, 1, false, false, false, ERR_GENERAL, {}, 0},
      {0, 1, 2, false, false, false, ERR_GENERAL, {}, 0},
  };
  for (const auto& r : rows) {
    const std::string tag = std::to_string(r.first) + "/" + std::to_string(r.groups);
    COLSET* p = nullptr;
    std::vector<uint8_t> marks;
    ASSERT_EQ(r.rc, SCR_RowToParams(&keys, r.first, r.groups, r.rows, &p, r.term, r.trim,
                                    r.leave ? &marks : nullptr))
        << tag;
    if (r.rc != 0) continue;
    const size_t width = r.textSize == 0 ? 1 : 2;
    ASSERT_EQ(r.ids.size() * width, p->cols_used) << tag;
    for (size_t g = 0; g < r.ids.size(); ++g)
      EXPECT_EQ(0, std::memcmp(&r.ids[g], p->cols[g * width].data, 4)) << tag << " group " << g;
    EXPECT_EQ(r.leave, marks == std::vector<uint8_t>({0, 1})) << tag;
    EXPECT_EQ(r.textSize, width == 1 ? 0 : p->cols[1].elem_size) << tag;
    EXPECT_TRUE(!r.term || p->cols[1].data[r.textSize - 1] == 0) << tag;
    ColSetDestroy(p);
  }
  SCR_BUILT seek;
  seek.boundCols = {0, 1, 0};
  seek.boundRow = 1;
  COLSET* p = nullptr;
  ASSERT_EQ(0, KS_SeekParams(&keys, seek, &p));
  ASSERT_EQ(3, p->cols_used);
  EXPECT_EQ(0, std::memcmp(p->cols[1].data, "ab        ", 10));
  EXPECT_EQ(0, std::memcmp(p->cols[2].data, keys.cols[0].data + 4, 4));
  ColSetDestroy(p);
  seek.boundRow = 3;
  EXPECT_EQ(ERR_GENERAL, KS_SeekParams(&keys, seek, &p));
  ColSetFreeColumns(&keys);
}

// Row locks: each lockable row of the range (not deleted, not past the
// keys held) is updated to its own key, SET values then the condition's;
// a row the update does not reach ends the locking with ERR_ROW_ERROR.
struct {
  std::string text;
  std::vector<int32_t> locked;     // per execution: the key, -1 when SET and WHERE differ
  std::vector<uint32_t> affected;  // per execution, then 1
} g_lock;

uint32_t LockPrepare(uint32_t, const char* sql) { return g_lock.text = sql, 0; }
uint32_t LockSetParams(uint32_t, COLSET* p) {
  int32_t id = -1;
  if (p->cols_used == 4 && std::memcmp(p->cols[0].data, p->cols[2].data, 4) == 0)
    std::memcpy(&id, p->cols[0].data, 4);
  g_lock.locked.push_back(id);
  ColSetDestroy(p);
  return 0;
}
uint32_t LockInfo(uint32_t, uint32_t, void* v, uint16_t, uint16_t*) {
  const size_t n = g_lock.locked.size() - 1;
  const uint32_t a = n < g_lock.affected.size() ? g_lock.affected[n] : 1;
  std::memcpy(v, &a, 4);
  return 0;
}

TEST(LockRows, UpdatesEachLockableRowToItsKey) {
  qmrtest::FakeAgent fake;
  DRV_OpTable table = *fake.table();
  table.DRV_Prepare = LockPrepare;
  table.DRV_SetParams = LockSetParams;
  table.DRV_GetInfo = LockInfo;
  const DRV_Agent saved = SCR_SavedAgent;
  SCR_SavedAgent.ops = &table;
  SCR_ANALYSIS a;
  a.idents = Quotes("\"");
  a.tables = {SCR_TABLE{"", "Own er", "T", ""}};
  a.ks.keys = {Key("ID"), Key("N")};
  SCR_CURSOR cur{};
  cur.analysis = &a;
  COLSET keys;
  FillKeys(&keys);
  keys.rows_held = 4;
  const uint16_t status[] = {SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_UPDATED, SQL_ROW_SUCCESS};
  const struct {
    uint32_t first, count;
    std::vector<uint32_t> affected;
    int rc;
    std::vector<int32_t> locked;
  } rows[] = {{0, 9, {}, 0, {0, 2, 3}},
              {1, 2, {}, 0, {2}},
              {1, 1, {}, 0, {}},
              {0, 4, {1, 0}, ERR_ROW_ERROR, {0, 2}}};
  for (const auto& r : rows) {
    g_lock = {"", {}, r.affected};
    EXPECT_EQ(r.rc, scs_p_LockRows(&cur, &keys, status, r.first, r.count)) << r.first;
    EXPECT_EQ(r.locked, g_lock.locked) << r.first;
    EXPECT_EQ(r.locked.empty() ? ""
                               : "UPDATE \"Own er\".\"T\" SET \"ID\" = ?, \"N\" = ? "
                                 "WHERE \"ID\" = ? AND \"N\" = ?",
              g_lock.text);
  }
  SCR_SavedAgent = saved;
  ColSetFreeColumns(&keys);
}

// The sort columns a seek compares: up to the ORDER BY item that names the
// last key, else every item naming no key and then the keys.
TEST(MatchKeyColumns, SortColumnCount) {
  const struct {
    std::vector<const char*> order;  // "TABLE.NAME" or "NAME"
    int rc;
    uint16_t sort;
    std::vector<uint8_t> marks;
  } rows[] = {
      {{}, 0, 2, {0, 0}},
      {{"NAME"}, 0, 3, {0, 0}},
      {{"LINE", "T.ID", "NAME"}, 0, 2, {2, 1}},
      {{"NAME", "ID", "LINE", "LINE"}, 0, 3, {2, 3}},
      {{"ID", "NAME"}, 0, 3, {1, 0}},
      {{"U.ID"}, ERR_GENERAL, 0, {}},
  };
  for (const auto& r : rows) {
    SCR_ANALYSIS a;
    a.ks.keys = {Key("ID"), Key("LINE")};
    a.tableCols = {a.ks.keys[0], a.ks.keys[1], Key("NAME")};
    a.tableCols[2].columnSize = 20;
    std::string tag;
    for (const char* o : r.order) {
      SCR_ORDERITEM item{};
      const char* dot = std::strchr(o, '.');
      std::strcpy(item.name, dot ? dot + 1 : o);
      if (dot) std::memcpy(item.table, o, dot - o);
      a.orderBy.push_back(item);
      tag += std::string(o) + " ";
    }
    SCR_CURSOR cur{};
    cur.analysis = &a;
    ASSERT_EQ(r.rc, SCR_MatchKeyColumns(&cur)) << tag;
    if (r.rc != 0) continue;
    EXPECT_EQ(r.sort, a.sortColumns) << tag;
    EXPECT_EQ(r.marks, (std::vector<uint8_t>{a.ks.keys[0].mark, a.ks.keys[1].mark})) << tag;
    // An item naming no key takes its column's type.
    EXPECT_TRUE(a.orderBy.empty() ||
                (r.order[0] == std::string("NAME")) == (a.orderBy[0].columnSize == 20u))
        << tag;
  }
}

}  // namespace
