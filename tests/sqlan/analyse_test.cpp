// Statement analysis: flags, tables, select items, ORDER BY items and the
// edits that place the mark, all on the outer query only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sqlan/sqlanalyse.h"

namespace {

const std::string MARK = SCR_SQL_MARK;

class Info {
 public:
  explicit Info(const std::string& sql, uint32_t parseOnly = 0, uint32_t noQualifier = 1) {
    SCR_InitSQLInfo(&info);
    rc = SCR_AnalyseSQL(&info, sql.c_str(), parseOnly, noQualifier);
  }
  ~Info() { SCR_FreeSQLInfo(&info); }
  std::string text() const { return info.tree ? info.tree->text : ""; }
  SCR_SQLINFO info;
  int rc;
};

template <class T>
std::vector<T> items(GROW_ARRAY* arr) {
  std::vector<T> out;
  for (uint32_t i = 0; i < arr->count; ++i) out.push_back(*static_cast<T*>(ARR_Item(arr, i)));
  return out;
}

struct FlagCase {
  const char* sql;
  uint32_t kind;
  uint16_t flags;
};

class FlagsTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagsTest, Analyses) {
  Info i(GetParam().sql);
  ASSERT_EQ(0, i.rc) << GetParam().sql;
  EXPECT_EQ(GetParam().kind, i.info.kind);
  EXPECT_EQ(GetParam().flags, i.info.flags) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(
    Statements, FlagsTest,
    ::testing::Values(
        FlagCase{"  select a from t order by 2 desc", SCR_KIND_SELECT, 0x0004},
        FlagCase{"select a from t1, t2 where t1.k = t2.k", SCR_KIND_SELECT, 0x0020},
        FlagCase{"select a from t1 left outer join t2 on t1.k = t2.k", SCR_KIND_SELECT, 0x0120},
        FlagCase{"select a from t1, t2 where t1.k *= t2.k", SCR_KIND_SELECT, 0x0120},
        FlagCase{"select count(*) from t group by a", SCR_KIND_SELECT, 0x0088},
        FlagCase{"select a from t union select b from u", SCR_KIND_SELECT, 0x0010},
        FlagCase{"select a from t union select b from u order by 1", SCR_KIND_SELECT, 0x0014},
        FlagCase{"insert into t values (?)", SCR_KIND_INSERT, 0},
        FlagCase{"select 1", SCR_KIND_SELECT, 0},
        // Sub-selects and derived tables do not lend the outer query their
        // clauses or aggregates.
        FlagCase{"select a from t where b = (select max(b) from u)", SCR_KIND_SELECT, 0},
        FlagCase{"select a from t where exists (select b from u group by b)", SCR_KIND_SELECT, 0},
        FlagCase{"select * from (select a from t order by a) x", SCR_KIND_SELECT, 0},
        FlagCase{"select top ((select count(*) from u)) a from t", SCR_KIND_SELECT, 0},
        FlagCase{"select a from (select b from u) x, t order by a", SCR_KIND_SELECT, 0x0024},
        FlagCase{"select max(a) from t order by 1", SCR_KIND_SELECT, 0x0084}));

TEST(AnalyseTest, ParseOnlyAndOtherKindsSkipThePasses) {
  Info p("select a from t1, t2 order by a", 1);
  EXPECT_EQ(0, p.rc);
  EXPECT_EQ(0, p.info.flags);
  Info other("grant all on t to u");
  EXPECT_EQ(0, other.rc);
  EXPECT_EQ(SCR_KIND_OTHER, other.info.kind);
  EXPECT_STREQ("grant all on t to u", other.info.text);
  Info lead(" \t\r\n\v\fselect a from t");
  EXPECT_STREQ("select a from t", lead.info.text) << "leading white space is not kept";
}

TEST(AnalyseTest, InitAndFreeClearTheRecord) {
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  EXPECT_EQ(SCR_KIND_NONE, info.kind);
  ASSERT_EQ(SCR_SQL_SYNTAX, SCR_AnalyseSQL(&info, "select (", 0, 0));
  EXPECT_EQ(0u, info.kind);
  ASSERT_EQ(0, SCR_AnalyseSQL(&info, "select a from t order by a", 0, 0))
      << "a record can be reused";
  EXPECT_EQ(nullptr, info.result) << "no error text after a good parse";
  SCR_FreeSQLInfo(&info);
  EXPECT_EQ(SCR_KIND_NONE, info.kind);
  EXPECT_EQ(0, info.flags);
  EXPECT_EQ(nullptr, info.tree);
  EXPECT_EQ(nullptr, info.text);
}

struct TableCase {
  const char* sql;
  uint32_t noQualifier;
  std::vector<std::vector<std::string>> want;  // qualifier, owner, table, alias
};

class TablesTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(TablesTest, Splits) {
  const TableCase& c = GetParam();
  Info i(c.sql, 1);
  ASSERT_EQ(0, i.rc) << c.sql;
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_TABLEREF));
  EXPECT_EQ(0, SCR_TablesGet(&i.info, arr, c.noQualifier));
  std::vector<std::vector<std::string>> got;
  for (auto& t : items<SCR_TABLEREF>(arr)) got.push_back({t.qualifier, t.owner, t.table, t.alias});
  ARR_Free(&arr, SCR_FreeTableItem);
  EXPECT_EQ(c.want, got) << c.sql;
}

INSTANTIATE_TEST_SUITE_P(
    Names, TablesTest,
    ::testing::Values(
        TableCase{"select a from db:own.tab", 1, {{"db", "own", "tab", ""}}},
        TableCase{"select a from db:own.tab", 0, {{"", "own", "tab", ""}}},
        TableCase{"select a from own.tab x", 1, {{"", "own", "tab", "x"}}},
        TableCase{"select a from own.tab as x", 0, {{"", "own", "tab", "x"}}},
        TableCase{"select a from d.o.t, d..t2", 1, {{"d", "o", "t", ""}, {"d", "", "t2", ""}}},
        TableCase{"select a from t@db, o.t2@db", 1, {{"", "", "t", ""}, {"", "o", "t2", ""}}},
        TableCase{"select a from db:t", 1, {{"db", "", "t", ""}}},
        TableCase{
            "select a from d@s:o.t, d@s:t2", 1, {{"d@s", "o", "t", ""}, {"d@s", "", "t2", ""}}},
        TableCase{"select a from t1 left join t2 on t1.k = t2.k",
                  1,
                  {{"", "", "t1", ""}, {"", "", "t2", ""}}},
        TableCase{
            "select a from (select b from u) x, t", 1, {{"", "", "u", ""}, {"", "", "t", ""}}},
        TableCase{"select a from t where b in (select c from u)", 1, {{"", "", "t", ""}}},
        TableCase{"select 1", 1, {}}));

struct Col {
  uint32_t kind;
  std::string name, table, owner;
};

std::vector<Col> selectList(const std::string& sql, int* rc) {
  Info i(sql, 1);
  EXPECT_EQ(0, i.rc) << sql;
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_COLDESC));
  *rc = SCR_ExpandSelectList(&i.info, arr);
  std::vector<Col> out;
  for (auto& c : items<SCR_COLDESC>(arr)) {
    EXPECT_STREQ("", c.alias);
    EXPECT_STREQ("", c.qualifier);
    out.push_back({c.kind, c.name, c.table, c.owner});
  }
  ARR_Free(&arr, nullptr);
  return out;
}

bool operator==(const Col& a, const Col& b) {
  return a.kind == b.kind && a.name == b.name && a.table == b.table && a.owner == b.owner;
}
std::ostream& operator<<(std::ostream& o, const Col& c) {
  return o << "{" << c.kind << ",'" << c.name << "','" << c.table << "','" << c.owner << "'}";
}

TEST(SelectListTest, ItemKinds) {
  int rc;
  EXPECT_EQ((std::vector<Col>{{1, "", "", ""}}), selectList("select * from t", &rc));
  EXPECT_EQ(0, rc);
  EXPECT_EQ((std::vector<Col>{{2, "", "t", ""}, {3, "a + 1", "", ""}, {4, "b", "", ""}}),
            selectList("select t.*, a+1, b from t", &rc));
  EXPECT_EQ(0, rc);
  EXPECT_EQ(
      (std::vector<Col>{{4, "c", "t", "o"},
                        {4, "c2", "t", ""},
                        {3, "( c3 )", "", ""},
                        {3, "count( c4 )", "", ""},
                        {3, "f( c5 )", "", ""},
                        {3, "-c6", "", ""},
                        {4, "c7", "", ""},
                        {2, "", "d:o.t", ""}}),
      selectList("select o.t.c, t.c2, (c3), count(c4), f(c5), -c6, c7 as x, d:o.t.* from t", &rc));
  EXPECT_EQ(0, rc);
}

TEST(SelectListTest, ScalarSubSelectsAddNoItems) {
  int rc;
  EXPECT_EQ((std::vector<Col>{{4, "a", "", ""}, {3, "( SELECT  max( b ) FROM u    )", "", ""}}),
            selectList("select a, (select max(b) from u) from t", &rc));
  EXPECT_EQ(0, rc);
  EXPECT_EQ((std::vector<Col>{{4, "a", "", ""}}),
            selectList("select top ((select count(x) from u)) a from t", &rc));
}

TEST(SelectListTest, NamesLongerThanTheirFieldAreRefused) {
  int rc;
  std::string fits(508, 'n'), tooLong(509, 'n');
  auto cols = selectList("select " + fits + " from t", &rc);
  EXPECT_EQ(0, rc);
  ASSERT_EQ(1u, cols.size());
  EXPECT_EQ(fits, cols[0].name);
  selectList("select " + tooLong + " from t", &rc);
  EXPECT_EQ(SCR_SQL_MISSING, rc);
  selectList("select " + tooLong + ".c from t", &rc);
  EXPECT_EQ(SCR_SQL_MISSING, rc);
  selectList("select a + " + fits + " from t", &rc);
  EXPECT_EQ(SCR_SQL_MISSING, rc) << "an expression too long for the name field";
}

struct Order {
  std::string text, name, table, owner;
  uint32_t desc;
  unsigned pos;
};
bool operator==(const Order& a, const Order& b) {
  return a.text == b.text && a.name == b.name && a.table == b.table && a.owner == b.owner &&
         a.desc == b.desc && a.pos == b.pos;
}
std::ostream& operator<<(std::ostream& o, const Order& c) {
  return o << "{'" << c.text << "','" << c.name << "','" << c.table << "','" << c.owner << "',"
           << c.desc << "," << c.pos << "}";
}

std::vector<Order> orderBy(Info& i, int* rc) {
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_ORDERITEM));
  *rc = SCR_ResolveOrderBy(&i.info, arr);
  std::vector<Order> out;
  for (auto& o : items<SCR_ORDERITEM>(arr))
    out.push_back({o.text, o.name, o.table, o.owner, o.descending, o.position});
  ARR_Free(&arr, nullptr);
  return out;
}

TEST(OrderByTest, PositionsAndColumns) {
  int rc;
  Info a("  select a from t order by 2 desc");
  EXPECT_EQ((std::vector<Order>{{"", "", "", "", 1, 2}}), orderBy(a, &rc));
  EXPECT_EQ(0, rc);
  EXPECT_EQ(0x0044, a.info.flags);

  Info b("select a from t order by o.t.c asc, b");
  EXPECT_EQ((std::vector<Order>{{"o.t.c", "c", "t", "o", 0, 0}, {"b", "b", "", "", 0, 0}}),
            orderBy(b, &rc));
  EXPECT_EQ(0, rc);
  EXPECT_EQ(0x0004, b.info.flags) << "no position, no 0x0040";

  Info u("select a from t union select b from u order by 1");
  EXPECT_EQ((std::vector<Order>{{"", "", "", "", 0, 1}}), orderBy(u, &rc));

  Info d("select * from (select a from t order by a desc) x");
  orderBy(d, &rc);
  EXPECT_EQ(SCR_SQL_MISSING, rc) << "the derived table's ORDER BY is not the statement's";
}

TEST(OrderByTest, PositionsOutsideOneTo255AreRefused) {
  int rc;
  Info ok("select a from t order by 255");
  EXPECT_EQ((std::vector<Order>{{"", "", "", "", 0, 255}}), orderBy(ok, &rc));
  EXPECT_EQ(0, rc);
  for (const char* sql : {"select a from t order by 256", "select a from t order by 0",
                          "select a from t order by 99999999999999999999"}) {
    Info i(sql);
    orderBy(i, &rc);
    EXPECT_EQ(SCR_SQL_MISSING, rc) << sql;
  }
}

TEST(OrderByTest, SelectColumnsReplacesPositions) {
  Info i("select a, b from t order by 2 desc, 1");
  int rc;
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_ORDERITEM));
  ASSERT_EQ(0, SCR_ResolveOrderBy(&i.info, arr));
  ASSERT_EQ(2u, arr->count);
  std::strcpy(static_cast<SCR_ORDERITEM*>(ARR_Item(arr, 0))->text, "b");
  std::strcpy(static_cast<SCR_ORDERITEM*>(ARR_Item(arr, 1))->text, "a");
  EXPECT_EQ(0, SCR_SelectColumns(&i.info, arr));
  EXPECT_EQ("SELECT  a, b FROM t     ORDER BY b DESC, a  ", i.text());
  ARR_Free(&arr, nullptr);

  Info missing("select a from t order by 3");
  arr = ARR_New(sizeof(SCR_ORDERITEM));
  ASSERT_EQ(0, SCR_ResolveOrderBy(&missing.info, arr));
  static_cast<SCR_ORDERITEM*>(ARR_Item(arr, 0))->position = 1;
  EXPECT_EQ(SCR_SQL_MISSING, SCR_SelectColumns(&missing.info, arr)) << "no item with that position";
  ARR_Free(&arr, nullptr);
  EXPECT_EQ(SCR_SQL_MISSING, SCR_SelectColumns(&missing.info, nullptr));
  (void)rc;
}

TEST(OrderByTest, OrderByKeysReversesEveryItem) {
  Info i("select a from t order by a, b desc");
  ASSERT_EQ(0, SCR_OrderByKeys(&i.info));
  EXPECT_EQ("SELECT  a FROM t     ORDER BY a DESC, b  ", i.text());
  ASSERT_EQ(0, SCR_OrderByKeys(&i.info));
  EXPECT_EQ("SELECT  a FROM t     ORDER BY a , b DESC ", i.text());
  Info none("select a from t");
  EXPECT_EQ(SCR_SQL_MISSING, SCR_OrderByKeys(&none.info));
}

struct EditCase {
  const char* name;
  const char* sql;
  int (*edit)(SCR_SQLINFO*);
  std::string want;
  uint16_t flagsAfter;
};

class EditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(EditTest, PlacesTheMark) {
  const EditCase& c = GetParam();
  Info i(c.sql);
  ASSERT_EQ(0, i.rc);
  EXPECT_EQ(0, c.edit(&i.info));
  EXPECT_EQ(c.want, i.text());
  EXPECT_EQ(c.flagsAfter, i.info.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, EditTest,
    ::testing::Values(
        EditCase{"replace_list", "select distinct a, b from t where x = 1", SCR_ReplaceSelectList,
                 "SELECT DISTINCT " + MARK + " FROM t WHERE x = 1     ", 0},
        EditCase{"replace_list_keeps_top_subselect",
                 "select top ((select count(*) from u)) a from t", SCR_ReplaceSelectList,
                 "SELECT  TOP (( SELECT  COUNT (*) FROM u    ))   " + MARK + " FROM t      ", 0},
        EditCase{"where_present", "select a from t where b = 1", SCR_AppendWhere,
                 "SELECT  a FROM t WHERE " + MARK + " AND (b = 1)     ", 0x0002},
        EditCase{"where_absent", "select a from t", SCR_AppendWhere,
                 "SELECT  a FROM t " + MARK + "     ", 0},
        EditCase{"where_not_in_subselect",
                 "select a from t where exists (select b from u where c = 1)", SCR_AppendWhere,
                 "SELECT  a FROM t WHERE " + MARK +
                     " AND (EXISTS ( SELECT  b FROM u WHERE c = 1   ))     ",
                 0x0002},
        EditCase{"condition_after_order_by", "select a from t order by a", SCR_AppendCondition,
                 "SELECT  a FROM t     ORDER BY a " + MARK + " ", 0x0004},
        EditCase{"condition_without_order_by", "select a from t", SCR_AppendCondition,
                 "SELECT  a FROM t     " + MARK + " ", 0},
        EditCase{"condition_not_in_derived_table", "select * from (select a from t order by a) x",
                 SCR_AppendCondition,
                 "SELECT  * FROM ( SELECT  a FROM t     ORDER BY a  )  x      " + MARK + " ", 0}),
    [](const ::testing::TestParamInfo<EditCase>& i) { return std::string(i.param.name); });

TEST(EditTest, MissingPartsAndNullRecords) {
  Info ins("insert into t values (1)");
  EXPECT_EQ(SCR_SQL_MISSING, SCR_ReplaceSelectList(&ins.info));
  EXPECT_EQ(SCR_SQL_MISSING, SCR_AppendWhere(&ins.info));
  EXPECT_EQ(SCR_SQL_MISSING, SCR_AppendCondition(&ins.info));
  EXPECT_EQ(SCR_SQL_MISSING, SCR_ReplaceSelectList(nullptr));
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_TABLEREF));
  EXPECT_EQ(SCR_SQL_MISSING, SCR_TablesGet(&ins.info, arr, 0));
  EXPECT_EQ(SCR_SQL_MISSING, SCR_TablesGet(nullptr, arr, 0));
  ARR_Free(&arr, SCR_FreeTableItem);
}

TEST(SplitColumnNameTest, Parts) {
  SCR_COLDESC c{};
  PT_NODE* n = PT_NewLeaf(SQLN_COLUMN_REF, "o.t.c");
  EXPECT_EQ(0, SCR_SplitColumnName(n, &c));
  EXPECT_STREQ("o", c.owner);
  EXPECT_STREQ("t", c.table);
  EXPECT_STREQ("c", c.name);
  PT_SetText(n, "c");
  EXPECT_EQ(0, SCR_SplitColumnName(n, &c));
  EXPECT_STREQ("", c.owner);
  EXPECT_STREQ("", c.table);
  EXPECT_STREQ("c", c.name);
  PT_SetText(n, ("t." + std::string(600, 'c')).c_str());
  EXPECT_EQ(SCR_SQL_MISSING, SCR_SplitColumnName(n, &c));
  EXPECT_STREQ("c", c.name) << "a refused name leaves the record as it was";
  PT_Free(&n, PT_FreeNode);
}

}  // namespace
