// The catalog rules of the agent that need no Java: the SQLTables listing
// choice, the type-list split, the column tables and the type rewrite of a
// row, on row buffers made here (including ones with too few columns).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/j-catalog.h"

namespace {

TEST(CatEnumKind, ChoosesTheListing) {
  EXPECT_EQ(catEnumKind("%", "", "", nullptr), 1u);
  EXPECT_EQ(catEnumKind("", "%", "", nullptr), 2u);
  EXPECT_EQ(catEnumKind("", "", "", "%"), 8u);
  EXPECT_EQ(catEnumKind(nullptr, nullptr, nullptr, "%"), 8u);
  EXPECT_EQ(catEnumKind("%", "", "", "%"), 0u);  // an ordinary search
  EXPECT_EQ(catEnumKind("%", "S", "", nullptr), 0u);
  EXPECT_EQ(catEnumKind("C", "%", "", nullptr), 0u);
  EXPECT_EQ(catEnumKind("", "", "T", "%"), 0u);
  EXPECT_EQ(catEnumKind("\\%", "", "", nullptr), 0u);  // an escaped '%' is no wildcard
  EXPECT_EQ(catEnumKind("", "", "%", nullptr), 4u);
}

TEST(CatSplitTypes, QuotesAndBlanks) {
  using V = std::vector<std::string>;
  EXPECT_EQ(catSplitTypes("'TABLE','VIEW'"), (V{"TABLE", "VIEW"}));
  EXPECT_EQ(catSplitTypes("'TABLE', 'VIEW'"), (V{"TABLE", "VIEW"}));
  EXPECT_EQ(catSplitTypes(" \"SYSTEM TABLE\" ,TABLE"), (V{"SYSTEM TABLE", "TABLE"}));
  EXPECT_EQ(catSplitTypes("VI'EW"), (V{"VIEW"}));
  EXPECT_EQ(catSplitTypes("A,,B"), (V{"A", "", "B"}));
  EXPECT_TRUE(catSplitTypes("").empty());
  EXPECT_TRUE(catSplitTypes(nullptr).empty());
  std::string thirty;
  for (int i = 0; i < 30; ++i)
    thirty += (i ? "," : "") + std::string("'T") + std::to_string(i) + "'";
  const V items = catSplitTypes(thirty.c_str());
  ASSERT_EQ(items.size(), 30u);
  EXPECT_EQ(items[29], "T29");
}

TEST(CatColumns, ShapesAndBooleanCheck) {
  uint16_t n = 0;
  JdbcColDesc* d = catColumns(CAT_KIND_STATISTICS, 1, {12, 12, 12, 16, 12}, &n);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(n, 13u);
  EXPECT_STREQ(d[3].name, "NON_UNIQUE");
  EXPECT_EQ(d[3].value_type, static_cast<uint32_t>(COLSET_VT_BIT));
  EXPECT_EQ(d[3].sql_type, 5);
  EXPECT_EQ(d[0].sql_type, -9);
  EXPECT_EQ(d[0].value_type, static_cast<uint32_t>(COLSET_VT_WNTS));
  EXPECT_EQ(d[0].elem_len, 129u);
  EXPECT_EQ(d[9].sql_type, 12);  // ASC_OR_DESC never wide
  EXPECT_EQ(d[9].precision, 1u);
  EXPECT_EQ(ColDescUpdatable(&d[0]), COLDESC_UPDATE_UNKNOWN);
  ColDescFree(d, n);
  // SMALLINT from the driver, or no metadata: the 16-bit form.
  d = catColumns(CAT_KIND_STATISTICS, 0, {12, 12, 12, 5}, &n);
  EXPECT_EQ(d[3].value_type, static_cast<uint32_t>(COLSET_VT_SMALLINT));
  EXPECT_EQ(d[0].sql_type, 12);
  ColDescFree(d, n);
  d = catColumns(CAT_KIND_TYPE_INFO, 0, {}, &n);
  ASSERT_EQ(n, 19u);
  EXPECT_EQ(d[7].value_type, static_cast<uint32_t>(COLSET_VT_SMALLINT));
  EXPECT_EQ(d[6].precision, 5u);
  EXPECT_EQ(d[6].display_size, 6u);
  EXPECT_EQ(d[2].precision, 10u);
  EXPECT_EQ(d[2].display_size, 11u);
  // SQLGetTypeInfo's radix is an INTEGER, unlike the radix of SQLColumns.
  EXPECT_EQ(d[17].sql_type, 4);
  EXPECT_EQ(d[17].value_type, static_cast<uint32_t>(COLSET_VT_INTEGER));
  ColDescFree(d, n);
  const uint16_t counts[] = {0, 19, 19, 5, 13, 8, 18, 8, 6, 14, 7, 8};
  for (uint32_t k = 1; k <= CAT_KIND_LAST; ++k) {
    d = catColumns(k, 0, {}, &n);
    EXPECT_EQ(n, counts[k]) << k;
    ColDescFree(d, n);
  }
  EXPECT_EQ(catColumns(12, 0, {}, &n), nullptr);
}

// One row of a type-rewrite test: DATA_TYPE, TYPE_NAME, COLUMN_SIZE,
// BUFFER_LENGTH, SQL_DATA_TYPE, SQL_DATETIME_SUB, CHAR_OCTET_LENGTH.
class TypeRow {
 public:
  explicit TypeRow(uint32_t wide = 0) {
    const JdbcColDesc shapes[] = {Small(), Text(wide), Int(), Int(), Small(), Small(), Int()};
    EXPECT_EQ(ColSetBuild(shapes, 7, 1, &set_), 0);
    for (int i = 0; i < 7; ++i) cells_[i] = CatCell{&set_.cols[i], 0};
  }
  ~TypeRow() { ColSetFreeColumns(&set_); }
  const CatCell& operator[](int i) const { return cells_[i]; }
  void Fix(const CatTypeRules& r) const {
    catFixType({&cells_[0], &cells_[1], &cells_[2], &cells_[3], &cells_[4], &cells_[5], &cells_[6]},
               r);
  }
  std::string Name() const { return reinterpret_cast<const char*>(set_.cols[1].data); }

 private:
  static JdbcColDesc Small() {
    JdbcColDesc d{};
    d.value_type = COLSET_VT_SMALLINT;
    d.elem_len = 2;
    return d;
  }
  static JdbcColDesc Int() {
    JdbcColDesc d{};
    d.value_type = COLSET_VT_INTEGER;
    d.elem_len = 4;
    return d;
  }
  static JdbcColDesc Text(uint32_t wide) {
    JdbcColDesc d{};
    d.value_type = wide ? COLSET_VT_WNTS : COLSET_VT_NTS;
    d.elem_len = 129;
    return d;
  }
  COLSET set_{};
  CatCell cells_[7];
};

TEST(CatFixType, DatesFollowTheOdbcVersion) {
  for (uint32_t version : {2u, 3u}) {
    TypeRow row;
    row[0].SetInt(92);
    row[4].SetInt(static_cast<int32_t>(CAT_NO_VALUE16));
    CatTypeRules r;
    r.odbcVersion = version;
    row.Fix(r);
    EXPECT_EQ(row[0].Int(), version == 3 ? 92 : 10);
    EXPECT_EQ(row[4].Int(), 9);
    EXPECT_EQ(row[5].Int(), 2);
    EXPECT_TRUE(row[6].Holds(CAT_NO_VALUE32));
  }
}

TEST(CatFixType, JetMakesBigintsDecimal) {
  TypeRow row;
  row[0].SetInt(-5);
  row[2].SetInt(19);
  row[3].SetInt(static_cast<int32_t>(CAT_NO_VALUE32));
  std::memcpy(row[1].col->data, "BIGINT", 7);
  row[1].SetNull(false);
  CatTypeRules r;
  r.jet = 1;
  row.Fix(r);
  EXPECT_EQ(row[0].Int(), 3);
  EXPECT_EQ(row.Name(), "decimal");
  EXPECT_EQ(row[3].Int(), 21);
  EXPECT_EQ(row[4].Int(), 3);
}

TEST(CatFixType, LongVarcharSizeRuleAndWideTypes) {
  struct Case {
    int32_t jdbc;
    uint32_t wide;
    int32_t plchr;
    int32_t type;
    int32_t size;
  };
  const Case cases[] = {
      {-1, 0, 0, 12, 1073741823},
      {1, 0, 4000, 12, 4000},
      {12, 0, -1, 12, 7},
      {-1, 0, -1, -1, 7},
      {-16, 1, 0, -9, 1073741823},
      {-16, 0, -1, -1, 7},
      {-9, 1, -1, -9, 7},
      {-9, 0, -1, 12, 7},
      {-15, 1, -1, -8, 7},
      {2005, 1, -1, -10, 7},
      {2004, 0, -1, -4, 7},
      {16, 0, -1, -7, 1},
      {1111, 0, -1, 12, 7},
      {-8, 0, -1, 12, 7},
      {-7, 1, -1, -9, 7},  // bit(7): text
      {2003, 0, -1, -1, 0x7FFFFFFF},
      {2002, 1, -1, -10, 0x7FFFFFFF},  // no ODBC type: text
      {2014, 0, -1, 12, 7},
  };
  for (const Case& c : cases) {
    TypeRow row(c.wide);
    row[0].SetInt(c.jdbc);
    row[2].SetInt(7);
    row[3].SetInt(14);
    row[4].SetInt(static_cast<int32_t>(CAT_NO_VALUE16));
    CatTypeRules r;
    r.wide = c.wide;
    r.longVarcharToVarchar = c.plchr;
    row.Fix(r);
    EXPECT_EQ(row[0].Int(), c.type) << c.jdbc;
    EXPECT_EQ(row[2].Int(), c.size) << c.jdbc;
    if (c.type != 0) {
      // Every known type repeats its type as SQL_DATA_TYPE, -1 included.
      EXPECT_EQ(static_cast<int16_t>(row[4].Int()), c.type) << c.jdbc;
    } else {
      EXPECT_TRUE(row[6].Holds(CAT_NO_VALUE32));
    }
  }
}

TEST(CatRowHooks, LeaveShortRowBuffersAlone) {
  // A row buffer with fewer columns than a hook works on: nothing is read
  // or written past its last column.
  JdbcColDesc d{};
  d.value_type = COLSET_VT_SMALLINT;
  d.elem_len = 2;
  const JdbcColDesc descs[] = {d, d, d};
  COLSET set{};
  ASSERT_EQ(ColSetBuild(descs, 3, 2, &set), 0);
  set.rows_held = 2;
  JdbcStmt s;
  EXPECT_EQ(catColumnsRowHook(&s, &set), 0u);
  EXPECT_EQ(catProcColumnsRowHook(&s, &set), 0u);
  EXPECT_EQ(catSpecialColumnsRowHook(&s, &set), 0u);
  EXPECT_EQ(catTypeInfoRowHook(&s, &set), 0u);
  EXPECT_EQ(catStatisticsRowHook(&s, &set), 0u);
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 2; ++r) EXPECT_EQ(set.cols[c].ind[r], COLSET_IND_NULL);
  EXPECT_EQ(s.lastProcName, nullptr);
  ColSetFreeColumns(&set);
}

TEST(CatRowHooks, StatisticsQualifier) {
  uint16_t n = 0;
  JdbcColDesc* d = catColumns(CAT_KIND_STATISTICS, 0, {}, &n);
  COLSET set{};
  ASSERT_EQ(ColSetBuild(d, n, 3, &set), 0);
  set.rows_held = 3;
  COLSET_COL& q = set.cols[4];
  q.ind[0] = 0;  // empty text: becomes NULL
  std::memcpy(q.data + q.elem_size, "IX", 3);
  q.ind[1] = 0;                                    // a qualifier: kept
  std::memcpy(q.data + 2 * q.elem_size, "IX", 3);  // NULL over left text
  JdbcStmt s;
  ASSERT_EQ(catStatisticsRowHook(&s, &set), 0u);
  EXPECT_EQ(q.ind[0], COLSET_IND_NULL);
  EXPECT_NE(q.ind[1], COLSET_IND_NULL);
  EXPECT_NE(q.ind[2], COLSET_IND_NULL);
  EXPECT_EQ(CatCell({&set.cols[6], 2}).Int(), 1);
  ColSetFreeColumns(&set);
  ColDescFree(d, n);
}

}  // namespace
