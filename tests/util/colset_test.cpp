#include "util/colset.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/errcodes.h"

namespace {

// Element sizes for every code, checked against the layouts the fetch and
// the conversion code write and read.
TEST(ColSetTypeSize, FixedElementsMatchTheirLayouts) {
  for (uint32_t len : {0u, 1u, 10u, 60000u}) {
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_BIT, len), 1u);
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_TINYINT, len), 1u);
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_UTINYINT, len), 1u);
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_SMALLINT, len), sizeof(int16_t));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_USMALLINT, len), sizeof(uint16_t));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_INTEGER, len), sizeof(int32_t));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_UINTEGER, len), sizeof(uint32_t));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_REAL, len), sizeof(float));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_DOUBLE, len), sizeof(double));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_DATE, len), 6u);        // three 16-bit fields
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_TIME, len), 16u);       // three u16, a pad, two u32
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_TIMESTAMP, len), 20u);  // six u16, two u32
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_LONGCHAR, len), sizeof(COLSET_LONG));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_LONGBINARY, len), sizeof(COLSET_LONG));
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_LONGWCHAR, len), sizeof(COLSET_LONG));
  }
  EXPECT_EQ(sizeof(COLSET_LONG), 16u);
  EXPECT_EQ(sizeof(COLSET_COL), 24u);
}

TEST(ColSetTypeSize, LengthDependentElements) {
  // The values the agent's column shapes rely on.
  EXPECT_EQ(ColSetTypeSize(17, 10), 11u);
  EXPECT_EQ(ColSetTypeSize(19, 10), 12u);
  EXPECT_EQ(ColSetTypeSize(20, 10), 16u);
  EXPECT_EQ(ColSetTypeSize(25, 10), 22u);
  EXPECT_EQ(ColSetTypeSize(27, 10), 24u);
  EXPECT_EQ(ColSetTypeSize(1, 7), 7u);
  EXPECT_EQ(ColSetTypeSize(14, 7), 7u);

  EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR8, 7), 8u);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_BINARY8, 0), 1u);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR16, 7), 10u);  // 2 + 7 rounded to 2
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_BINARY16, 8), 10u);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR32, 1), 8u);  // 4 + 1 rounded to 4
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_BINARY32, 4), 8u);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_WCHAR, 7), 14u);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_WNTS, 0), 2u);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_WCHAR32, 1), 8u);  // 4 + 2 rounded to 4

  // Every prefixed form leaves each row's prefix aligned for its width.
  for (uint32_t len = 0; len < 9; ++len) {
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR16, len) % 2, 0u);
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_BINARY16, len) % 2, 0u);
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR32, len) % 4, 0u);
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_BINARY32, len) % 4, 0u);
    EXPECT_EQ(ColSetTypeSize(COLSET_VT_WCHAR32, len) % 4, 0u);
    EXPECT_GE(ColSetTypeSize(COLSET_VT_CHAR32, len), len + 4);
  }
}

TEST(ColSetTypeSize, UnknownCodesAndOversizedLengths) {
  EXPECT_EQ(ColSetTypeSize(28, 10), 0u);
  EXPECT_EQ(ColSetTypeSize(0xFFFFFFFFu, 10), 0u);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_NONE, 10), 1u);
  // Sizes that do not fit in 32 bits are flagged, never wrapped.
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_WNTS, 0x80000000u), COLSET_SIZE_TOO_LARGE);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_WCHAR, 0x80000000u), COLSET_SIZE_TOO_LARGE);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_NTS, 0xFFFFFFFFu), COLSET_SIZE_TOO_LARGE);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR32, 0xFFFFFFFDu), COLSET_SIZE_TOO_LARGE);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_WNTS, 0x7FFFFFFEu), 0xFFFFFFFEu);
}

TEST(ColSetColumn, NewColumnIsZeroedWithNullIndicators) {
  COLSET_COL col{COLSET_VT_INTEGER, 4, nullptr, nullptr};
  ASSERT_EQ(ColSetColumnAlloc(&col, 50), 0);
  ASSERT_NE(col.data, nullptr);
  ASSERT_NE(col.ind, nullptr);
  for (uint32_t r = 0; r < 50; ++r) EXPECT_EQ(col.ind[r], COLSET_IND_NULL) << r;
  // rows * width + 1 bytes, all zero.
  for (size_t i = 0; i < 50 * 4 + 1; ++i) ASSERT_EQ(col.data[i], 0) << i;
  ColSetColumnFree(&col, 50);
  EXPECT_EQ(col.data, nullptr);
  EXPECT_EQ(col.ind, nullptr);

  COLSET_COL none{COLSET_VT_INTEGER, 4, reinterpret_cast<uint16_t*>(8), nullptr};
  EXPECT_EQ(ColSetColumnAlloc(&none, 0), 0);
  EXPECT_EQ(none.ind, nullptr);
  EXPECT_EQ(none.data, nullptr);
}

TEST(ColSetColumn, HugeRowsTimesSizeIsRefused) {
  COLSET_COL col{COLSET_VT_CHAR, 0xFFFFFFFEu, nullptr, nullptr};
  EXPECT_EQ(ColSetColumnAlloc(&col, 0xFFFFFFFFu), ERR_NO_MEMORY);
  EXPECT_EQ(col.data, nullptr);
  EXPECT_EQ(col.ind, nullptr);

  COLSET_COL flagged{COLSET_VT_WNTS, ColSetTypeSize(COLSET_VT_WNTS, 0x90000000u), nullptr, nullptr};
  EXPECT_EQ(ColSetColumnAlloc(&flagged, 1), ERR_NO_MEMORY);
  EXPECT_EQ(flagged.data, nullptr);

  // Just under 32 bits per element, but a terabyte and more in all.
  COLSET_COL wide{COLSET_VT_BINARY, 0x10000u, nullptr, nullptr};
  EXPECT_EQ(ColSetColumnAlloc(&wide, 0x01000001u), ERR_NO_MEMORY);
  EXPECT_EQ(wide.ind, nullptr);

  // Through a whole set: the failure leaves no column with storage.
  COLSET set;
  ASSERT_EQ(ColSetInit(&set, 2), 0);
  set.cols[0] = COLSET_COL{COLSET_VT_INTEGER, 4, nullptr, nullptr};
  set.cols[1] = COLSET_COL{COLSET_VT_CHAR, 0xFFFFFFFEu, nullptr, nullptr};
  set.cols_used = 2;
  // 65536 rows of the first column are fine, of the second 2^48 bytes.
  EXPECT_EQ(ColSetSetRows(&set, 0x10000u), ERR_NO_MEMORY);
  EXPECT_EQ(set.cols[0].data, nullptr);
  EXPECT_EQ(set.cols[0].ind, nullptr);
  EXPECT_EQ(set.cols[1].data, nullptr);
  EXPECT_EQ(set.row_capacity, 0u);
  ColSetFreeColumns(&set);
}

// Puts a malloc'd copy of bytes into row r of a long column.
void put_long(COLSET_COL* col, uint32_t r, const void* bytes, uint32_t length, size_t alloc) {
  COLSET_LONG elem{length, std::malloc(alloc)};
  ASSERT_NE(elem.value, nullptr);
  std::memcpy(elem.value, bytes, alloc);
  std::memcpy(col->data + static_cast<size_t>(r) * col->elem_size, &elem, sizeof elem);
}

// Run under the sanitizer build, a value that is not freed is reported as a
// leak; the test also checks what the column sees before it goes.
TEST(ColSetColumn, FreeingLongColumnsReleasesEveryOutOfLineValue) {
  for (uint32_t code : {COLSET_VT_LONGCHAR, COLSET_VT_LONGBINARY, COLSET_VT_LONGWCHAR}) {
    COLSET_COL col{code, ColSetTypeSize(code, 0), nullptr, nullptr};
    ASSERT_EQ(ColSetColumnAlloc(&col, 4), 0);
    const char16_t wide[] = u"wide";
    put_long(&col, 0, "first value", 11, 12);
    put_long(&col, 1, wide, 4, sizeof wide);
    // Row 2 stays empty (a NULL value): its null pointer must be harmless.
    put_long(&col, 3, "last", 4, 5);
    COLSET_LONG check;
    std::memcpy(&check, col.data + 16, sizeof check);
    EXPECT_EQ(check.length, 4u);
    EXPECT_EQ(std::memcmp(check.value, wide, sizeof wide), 0);
    ColSetColumnFree(&col, 4);
    EXPECT_EQ(col.data, nullptr);
  }
}

TEST(ColSet, SetRowsErrorsAndZeroRows) {
  COLSET set;
  ASSERT_EQ(ColSetInit(&set, 2), 0);
  EXPECT_EQ(set.col_capacity, 2);
  EXPECT_EQ(set.cols_used, 0);
  EXPECT_EQ(set.row_capacity, 0u);
  EXPECT_EQ(set.rows_held, 0u);

  set.cols[0] = COLSET_COL{COLSET_VT_INTEGER, 4, nullptr, nullptr};
  set.cols[1] = COLSET_COL{COLSET_VT_DOUBLE, 8, nullptr, nullptr};
  set.cols_used = 3;  // more in use than the set has
  EXPECT_EQ(ColSetSetRows(&set, 5), ERR_NO_MEMORY);
  EXPECT_EQ(set.cols[0].data, nullptr);
  EXPECT_EQ(set.cols[1].data, nullptr);
  EXPECT_EQ(set.row_capacity, 0u);

  set.cols_used = 2;
  ASSERT_EQ(ColSetSetRows(&set, 5), 0);
  EXPECT_EQ(set.row_capacity, 5u);
  ASSERT_NE(set.cols[1].data, nullptr);
  EXPECT_EQ(set.cols[1].ind[4], COLSET_IND_NULL);

  // Reshaping frees the old storage and gives fresh, NULL rows.
  set.cols[0].ind[0] = 0;
  ASSERT_EQ(ColSetSetRows(&set, 3), 0);
  EXPECT_EQ(set.row_capacity, 3u);
  EXPECT_EQ(set.cols[0].ind[0], COLSET_IND_NULL);

  // Zero rows leaves no storage behind.
  ASSERT_EQ(ColSetSetRows(&set, 0), 0);
  EXPECT_EQ(set.row_capacity, 0u);
  EXPECT_EQ(set.cols[0].data, nullptr);
  EXPECT_EQ(set.cols[1].ind, nullptr);

  ColSetFreeColumns(&set);
  EXPECT_EQ(set.cols, nullptr);
  EXPECT_EQ(set.col_capacity, 0);
  EXPECT_EQ(set.cols_used, 0);

  ASSERT_EQ(ColSetInit(&set, 0), 0);
  EXPECT_EQ(set.cols, nullptr);
  EXPECT_EQ(ColSetSetRows(&set, 10), 0);
}

JdbcColDesc* three_columns() {
  JdbcColDesc* d = ColDescAlloc(3);
  d[0].value_type = COLSET_VT_NTS;
  d[0].elem_len = 10;
  d[1].value_type = COLSET_VT_LONGCHAR;
  d[1].elem_len = 0;
  d[2].value_type = COLSET_VT_WCHAR32;
  d[2].elem_len = 10;
  return d;
}

TEST(ColSet, BuildShapesColumnsFromDescriptions) {
  JdbcColDesc* d = three_columns();
  ASSERT_NE(d, nullptr);
  COLSET set;
  ASSERT_EQ(ColSetBuild(d, 3, 7, &set), 0);
  EXPECT_EQ(set.cols_used, 3);
  EXPECT_EQ(set.row_capacity, 7u);
  EXPECT_EQ(set.cols[0].type, COLSET_VT_NTS);
  EXPECT_EQ(set.cols[0].elem_size, 11u);
  EXPECT_EQ(set.cols[1].elem_size, 16u);
  EXPECT_EQ(set.cols[2].elem_size, 24u);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(set.cols[c].ind[6], COLSET_IND_NULL);

  // Built again alike, the storage stays but is as new: zeroed, every row
  // null, the out-of-line value freed (the sanitizer build sees a leak).
  unsigned char* kept = set.cols[0].data;
  put_long(&set.cols[1], 6, "def", 3, 4);
  set.cols[0].data[5] = 'x';
  set.cols[2].ind[3] = 0;
  set.rows_held = 7;
  ASSERT_EQ(ColSetBuild(d, 3, 7, &set), 0);
  EXPECT_EQ(set.cols[0].data, kept);
  EXPECT_EQ(set.cols[0].data[5], 0);
  EXPECT_EQ(set.cols[2].ind[3], COLSET_IND_NULL);
  EXPECT_EQ(set.rows_held, 0u);
  COLSET_LONG cleared;
  std::memcpy(&cleared, set.cols[1].data + 6 * set.cols[1].elem_size, sizeof cleared);
  EXPECT_EQ(cleared.value, nullptr);

  // The fetch builds the same buffer again for each block: the previous
  // block's storage, out-of-line values included, goes with it.
  put_long(&set.cols[1], 2, "abc", 3, 4);
  ASSERT_EQ(ColSetBuild(d, 3, 2, &set), 0);
  EXPECT_EQ(set.row_capacity, 2u);
  put_long(&set.cols[1], 1, "xyz", 3, 4);
  // Emptying the set as a finished fetch does frees the rest.
  ASSERT_EQ(ColSetInit(&set, 0), 0);
  EXPECT_EQ(set.cols, nullptr);
  ColDescFree(d, 3);
}

TEST(ColDesc, LayoutFlagsAndOwnedTexts) {
  EXPECT_EQ(offsetof(JdbcColDesc, name), 0u);

  JdbcColDesc* d = ColDescAlloc(0);  // at least one record
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->name[0], '\0');
  EXPECT_EQ(d->texts[COLDESC_LABEL], nullptr);

  d->flags = 1;  // SQL_NULLABLE
  ColDescSetUpdatable(d, COLDESC_UPDATE_READONLY);
  EXPECT_EQ(d->flags, 0x11u);
  EXPECT_EQ(ColDescNullable(d), 1u);
  EXPECT_EQ(ColDescUpdatable(d), COLDESC_UPDATE_READONLY);
  ColDescSetUpdatable(d, COLDESC_UPDATE_UNKNOWN);
  EXPECT_EQ(ColDescUpdatable(d), 3u);
  EXPECT_EQ(ColDescNullable(d), 1u);

  ASSERT_EQ(ColDescSetText(d, COLDESC_TABLE, "orders"), 0);
  ASSERT_EQ(ColDescSetText(d, COLDESC_TABLE, "customers"), 0);  // replaces, old freed
  ASSERT_EQ(ColDescSetText(d, COLDESC_SCHEMA, "informix"), 0);
  ASSERT_EQ(ColDescSetText(d, COLDESC_CATALOG, nullptr), 0);
  EXPECT_STREQ(ColDescText(d, COLDESC_TABLE), "customers");
  EXPECT_STREQ(ColDescText(d, COLDESC_SCHEMA), "informix");
  EXPECT_EQ(ColDescText(d, COLDESC_CATALOG), nullptr);
  EXPECT_EQ(ColDescText(d, 4), nullptr);
  EXPECT_EQ(ColDescSetText(d, 4, "x"), ERR_INVALID_ARGUMENT);
  ColDescFree(d, 1);
  ColDescFree(nullptr, 5);
}

TEST(ColDesc, NameKeepsFortyBytesInlineAndTheWholeLabel) {
  JdbcColDesc* d = ColDescAlloc(2);
  ASSERT_NE(d, nullptr);
  const std::string label(45, 'n');
  ASSERT_EQ(ColDescSetName(&d[0], label.c_str()), 0);
  EXPECT_EQ(std::string(d[0].name), label.substr(0, 40));
  EXPECT_EQ(std::string(ColDescText(&d[0], COLDESC_LABEL)), label);

  // 39 ASCII bytes then a two-byte character: the cut keeps whole characters.
  const std::string utf8 = std::string(39, 'a') + "\xC3\xA9" + "z";
  ASSERT_EQ(ColDescSetName(&d[1], utf8.c_str()), 0);
  EXPECT_EQ(std::string(d[1].name), std::string(39, 'a'));
  ASSERT_EQ(ColDescSetName(&d[1], "short"), 0);
  EXPECT_STREQ(d[1].name, "short");
  EXPECT_STREQ(ColDescText(&d[1], COLDESC_LABEL), "short");
  ColDescFree(d, 2);
}

}  // namespace
