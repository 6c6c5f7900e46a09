// Row and column operations on row buffers: shapes, ownership of long
// values (the sanitizer build catches a value freed twice or lost), and the
// argument checks that must leave a set untouched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "scrs/colset_ops.h"
#include "util/errcodes.h"

namespace {

struct Col {
  uint32_t type;
  uint32_t width;
};

// A new-allocated set of the given columns with storage for cap rows.
COLSET* MakeSet(std::vector<Col> cols, uint32_t cap) {
  auto* s = new COLSET();
  EXPECT_EQ(0, ColSetInit(s, static_cast<uint16_t>(cols.size())));
  for (size_t c = 0; c < cols.size(); ++c) {
    s->cols[c].type = cols[c].type;
    s->cols[c].elem_size = cols[c].width;
  }
  s->cols_used = static_cast<uint16_t>(cols.size());
  EXPECT_EQ(0, ColSetSetRows(s, cap));
  return s;
}

unsigned char* Elem(COLSET* s, uint16_t c, uint32_t r) {
  return s->cols[c].data + static_cast<size_t>(r) * s->cols[c].elem_size;
}

void PutNts(COLSET* s, uint16_t c, uint32_t r, const std::string& v) {
  std::memcpy(Elem(s, c, r), v.c_str(), v.size() + 1);
  s->cols[c].ind[r] = 0;
}

void PutLongText(COLSET* s, uint16_t c, uint32_t r, const std::string& v) {
  COLSET_LONG l;
  std::memcpy(&l, Elem(s, c, r), sizeof l);
  std::free(l.value);
  l.length = static_cast<uint32_t>(v.size());
  l.value = std::malloc(v.size() + 1);
  std::memcpy(l.value, v.c_str(), v.size() + 1);
  std::memcpy(Elem(s, c, r), &l, sizeof l);
  s->cols[c].ind[r] = 0;
}

COLSET_LONG GetLongAt(COLSET* s, uint16_t c, uint32_t r) {
  COLSET_LONG l;
  std::memcpy(&l, Elem(s, c, r), sizeof l);
  return l;
}

std::string LongText(COLSET* s, uint16_t c, uint32_t r) {
  const COLSET_LONG l = GetLongAt(s, c, r);
  return l.value ? std::string(static_cast<const char*>(l.value), l.length) : std::string("<null>");
}

std::string Value(const COLSET* s, uint32_t r, uint16_t c) {
  char buf[256];
  uint32_t len = sizeof buf;
  EXPECT_EQ(0, ColSetValueLength(s, r, c, buf, &len));
  return std::string(buf, len);
}

// One NUL-terminated column (width 11) and one long text column, rows held.
COLSET* TextSet(const std::vector<std::pair<std::string, std::string>>& rows, uint32_t cap) {
  COLSET* s = MakeSet({{COLSET_VT_NTS, 11}, {COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)}}, cap);
  for (uint32_t r = 0; r < rows.size(); ++r) {
    PutNts(s, 0, r, rows[r].first);
    PutLongText(s, 1, r, rows[r].second);
  }
  s->rows_held = static_cast<uint32_t>(rows.size());
  return s;
}

TEST(ColSetRows, InsertInTheMiddleMovesRowsDownAndLeavesANullRow) {
  COLSET* s = TextSet({{"a", "long-a"}, {"b", "long-b"}}, 4);
  ASSERT_EQ(0, ColSetInsertRow(s, 1));
  EXPECT_EQ(3u, s->rows_held);
  EXPECT_EQ("a", Value(s, 0, 0));
  EXPECT_EQ(COLSET_IND_NULL, s->cols[0].ind[1]);
  EXPECT_EQ(COLSET_IND_NULL, s->cols[1].ind[1]);
  // The new row owns nothing: the moved row's pointer is not shared.
  EXPECT_EQ(nullptr, GetLongAt(s, 1, 1).value);
  EXPECT_EQ("b", Value(s, 2, 0));
  EXPECT_EQ("long-b", LongText(s, 1, 2));
  ColSetDestroy(s);
}

TEST(ColSetRows, InsertAtTheRowCountAppendsAndAFullSetRefuses) {
  COLSET* s = TextSet({{"a", "x"}}, 2);
  ASSERT_EQ(0, ColSetInsertRow(s, 1));
  EXPECT_EQ(2u, s->rows_held);
  EXPECT_EQ(COLSET_IND_NULL, s->cols[0].ind[1]);
  EXPECT_EQ(ERR_GENERAL, ColSetInsertRow(s, 0));  // full
  EXPECT_EQ(2u, s->rows_held);
  EXPECT_EQ(ERR_GENERAL, ColSetInsertRow(nullptr, 0));
  COLSET empty;
  EXPECT_EQ(ERR_GENERAL, ColSetInsertRow(&empty, 0));
  ColSetDestroy(s);
  s = TextSet({{"a", "x"}}, 4);
  EXPECT_EQ(ERR_GENERAL, ColSetInsertRow(s, 2));  // past the row count
  EXPECT_EQ(1u, s->rows_held);
  ColSetDestroy(s);
}

TEST(ColSetRows, CompareIgnoresIndicatorsAndComparesLongValuesByContent) {
  COLSET* a = TextSet({{"abc", "same"}, {"abc", "diff"}}, 2);
  COLSET* b = TextSet({{"abc", "same"}}, 1);
  b->cols[0].ind[0] = 7;  // another present-value indicator
  int equal = -1;
  ASSERT_EQ(0, ColSetCompareRow(a, 0, b, 0, &equal));
  EXPECT_EQ(1, equal);
  ASSERT_EQ(0, ColSetCompareRow(a, 1, b, 0, &equal));
  EXPECT_EQ(0, equal);
  // A long value of another length differs even when one is a prefix.
  PutLongText(b, 1, 0, "sam");
  ASSERT_EQ(0, ColSetCompareRow(a, 0, b, 0, &equal));
  EXPECT_EQ(0, equal);
  ColSetDestroy(a);
  ColSetDestroy(b);
}

TEST(ColSetRows, CompareRefusesRowsPastTheCountAndOtherShapes) {
  COLSET* a = TextSet({{"a", "x"}}, 2);
  COLSET* b = MakeSet({{COLSET_VT_NTS, 12}, {COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)}}, 1);
  b->rows_held = 1;
  int equal = 5;
  EXPECT_EQ(ERR_GENERAL, ColSetCompareRow(a, 1, a, 0, &equal));  // row 1 not held
  EXPECT_EQ(ERR_GENERAL, ColSetCompareRow(a, 0, b, 0, &equal));  // width 11 against 12
  EXPECT_EQ(ERR_GENERAL, ColSetCompareRow(a, 0, nullptr, 0, &equal));
  EXPECT_EQ(ERR_GENERAL, ColSetCompareRow(a, 0, a, 0, nullptr));
  EXPECT_EQ(5, equal);
  ColSetDestroy(a);
  ColSetDestroy(b);
}

TEST(ColSetRows, CreateCopiesDeeply) {
  COLSET* src = TextSet({{"a", "one"}, {"b", "two"}}, 3);
  COLSET* copy = nullptr;
  ASSERT_EQ(0, ColSetCreate(&copy, src));
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(2u, copy->rows_held);
  EXPECT_EQ(3u, copy->row_capacity);
  EXPECT_NE(GetLongAt(src, 1, 1).value, GetLongAt(copy, 1, 1).value);
  PutLongText(src, 1, 1, "changed");
  EXPECT_EQ("two", LongText(copy, 1, 1));
  EXPECT_EQ("b", Value(copy, 1, 0));
  ColSetDestroy(src);
  ColSetDestroy(copy);
}

TEST(ColSetRows, CreateOfASetWithoutRowsGivesNoColumns) {
  COLSET* src = MakeSet({{COLSET_VT_INTEGER, 4}}, 0);
  COLSET* copy = nullptr;
  ASSERT_EQ(0, ColSetCreate(&copy, src));
  EXPECT_EQ(0u, copy->cols_used);
  EXPECT_EQ(1u, copy->col_capacity);
  ColSetDestroy(src);
  ColSetDestroy(copy);
}

TEST(ColSetRows, CopyRowDuplicatesOrMovesLongValues) {
  COLSET* src = TextSet({{"a", "one"}, {"b", "two"}}, 2);
  COLSET* dst = TextSet({{"z", "old"}}, 3);
  ASSERT_EQ(0, ColSetCopyRows(dst, src, 0, 1, 0));  // overwrite, duplicate
  EXPECT_EQ("two", LongText(dst, 1, 0));
  EXPECT_EQ("two", LongText(src, 1, 1));
  ASSERT_EQ(0, ColSetCopyRows(dst, src, 1, 0, 1));  // append, move
  EXPECT_EQ(2u, dst->rows_held);
  EXPECT_EQ("one", LongText(dst, 1, 1));
  EXPECT_EQ(nullptr, GetLongAt(src, 1, 0).value);
  EXPECT_EQ("a", Value(dst, 1, 0));
  ColSetDestroy(src);
  ColSetDestroy(dst);
}

TEST(ColSetRows, CopyRowAppendNeedsRoomAndMatchingShapes) {
  COLSET* src = TextSet({{"a", "one"}}, 1);
  COLSET* dst = TextSet({{"z", "old"}}, 1);
  EXPECT_EQ(ERR_GENERAL, ColSetCopyRows(dst, src, 1, 0, 0));  // capacity == t
  EXPECT_EQ(ERR_GENERAL, ColSetCopyRows(dst, src, 0, 1, 0));  // source row not held
  EXPECT_EQ(ERR_GENERAL, ColSetCopyRows(dst, src, 2, 0, 0));  // past the row count
  COLSET* other = MakeSet({{COLSET_VT_NTS, 11}, {COLSET_VT_LONGBINARY, sizeof(COLSET_LONG)}}, 2);
  EXPECT_EQ(ERR_GENERAL, ColSetCopyRows(other, src, 0, 0, 0));  // type differs
  EXPECT_EQ(1u, dst->rows_held);
  EXPECT_EQ("old", LongText(dst, 1, 0));
  ColSetDestroy(src);
  ColSetDestroy(dst);
  ColSetDestroy(other);
}

TEST(ColSetRows, CopyRowOntoItselfKeepsTheValue) {
  COLSET* s = TextSet({{"a", "one"}}, 1);
  EXPECT_EQ(0, ColSetCopyRows(s, s, 0, 0, 0));
  EXPECT_EQ("one", LongText(s, 1, 0));
  ColSetDestroy(s);
}

TEST(ColSetRows, AppendMovesAllRowsAndRefusesItself) {
  COLSET* a = TextSet({{"a", "one"}}, 5);
  COLSET* b = TextSet({{"b", "two"}, {"c", "three"}}, 2);
  ASSERT_EQ(0, ColSetAppendRows(a, b));
  EXPECT_EQ(3u, a->rows_held);
  EXPECT_EQ(5u, a->row_capacity);  // the rows fit where they were
  EXPECT_EQ("one", LongText(a, 1, 0));
  EXPECT_EQ("three", LongText(a, 1, 2));
  EXPECT_EQ("c", Value(a, 2, 0));
  EXPECT_EQ(nullptr, GetLongAt(b, 1, 0).value);
  EXPECT_EQ(ERR_GENERAL, ColSetAppendRows(a, a));
  // Past the capacity the room doubles and the rows held move with it.
  COLSET* c = TextSet({{"d", "four"}, {"e", "five"}, {"f", "six"}}, 3);
  ASSERT_EQ(0, ColSetAppendRows(a, c));
  EXPECT_EQ(6u, a->rows_held);
  EXPECT_EQ(10u, a->row_capacity);
  EXPECT_EQ("two", LongText(a, 1, 1));
  EXPECT_EQ("six", LongText(a, 1, 5));
  ColSetDestroy(a);
  ColSetDestroy(b);
  ColSetDestroy(c);
}

TEST(ColSetRows, RowBytesCountLongValues) {
  // What rows read ahead weigh: a long text counts with its length.
  COLSET* s = TextSet({{"a", std::string(1000, 'x')}, {"b", std::string(3000, 'y')}}, 4);
  EXPECT_EQ(11 + sizeof(COLSET_LONG) + 2000, ColSetRowBytes(s));
  s->rows_held = 0;
  EXPECT_EQ(0u, ColSetRowBytes(s));
  s->rows_held = 2;
  ColSetDestroy(s);
}

TEST(ColSetRows, ReverseDuplicatesRowsInReverseOrder) {
  COLSET* s = TextSet({{"a", "one"}, {"b", "two"}, {"c", "three"}}, 4);
  COLSET* before = s;
  ASSERT_EQ(0, ColSetReverseRows(&s));
  EXPECT_NE(before, s);
  EXPECT_EQ(3u, s->rows_held);
  EXPECT_EQ(4u, s->row_capacity);
  EXPECT_EQ("c", Value(s, 0, 0));
  EXPECT_EQ("three", LongText(s, 1, 0));
  EXPECT_EQ("one", LongText(s, 1, 2));
  ColSetDestroy(s);
}

TEST(ColSetRows, AllocShapesAfterTheTemplateAndReusesASet) {
  COLSET* tmpl = TextSet({{"a", "one"}}, 1);
  COLSET* s = nullptr;
  ASSERT_EQ(0, ColSetAlloc(&s, tmpl, 6));
  EXPECT_EQ(2u, s->cols_used);
  EXPECT_EQ(6u, s->row_capacity);
  EXPECT_EQ(0u, s->rows_held);
  EXPECT_EQ(COLSET_IND_NULL, s->cols[1].ind[5]);
  COLSET* again = s;
  ASSERT_EQ(0, ColSetAlloc(&again, tmpl, 2));
  EXPECT_EQ(s, again);
  EXPECT_EQ(2u, again->row_capacity);
  EXPECT_EQ(ERR_GENERAL, ColSetAlloc(&tmpl, tmpl, 1));
  ColSetDestroy(tmpl);
  ColSetDestroy(s);
}

TEST(ColSetColumns, MergePutsBsColumnsFirst) {
  COLSET* a = MakeSet({{COLSET_VT_INTEGER, 4}, {COLSET_VT_DOUBLE, 8}, {COLSET_VT_NTS, 5}}, 2);
  COLSET* b = MakeSet({{COLSET_VT_SMALLINT, 2}, {COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)}}, 2);
  a->rows_held = b->rows_held = 1;
  PutLongText(b, 1, 0, "kept");
  ASSERT_EQ(0, ColSetMerge(a, b));
  ASSERT_EQ(5u, a->cols_used);
  EXPECT_EQ(5u, a->col_capacity);
  const uint32_t want[] = {COLSET_VT_SMALLINT, COLSET_VT_LONGCHAR, COLSET_VT_INTEGER,
                           COLSET_VT_DOUBLE, COLSET_VT_NTS};
  for (uint16_t c = 0; c < 5; ++c) EXPECT_EQ(want[c], a->cols[c].type) << c;
  EXPECT_EQ("kept", LongText(a, 1, 0));
  EXPECT_EQ(nullptr, b->cols[1].data);
  EXPECT_EQ(ERR_GENERAL, ColSetMerge(a, a));
  ColSetDestroy(a);
  ColSetDestroy(b);
  COLSET* c = MakeSet({{COLSET_VT_INTEGER, 4}}, 2);
  COLSET* d = MakeSet({{COLSET_VT_INTEGER, 4}}, 2);
  c->rows_held = 1;  // row counts differ
  EXPECT_EQ(ERR_GENERAL, ColSetMerge(c, d));
  EXPECT_EQ(1u, c->cols_used);
  ColSetDestroy(c);
  ColSetDestroy(d);
}

TEST(ColSetColumns, MergeOfSetsWithDifferentRowCapacityKeepsEveryColumnAddressable) {
  COLSET* a = MakeSet({{COLSET_VT_INTEGER, 4}}, 8);
  COLSET* b = MakeSet({{COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)}}, 2);
  a->rows_held = b->rows_held = 2;
  PutLongText(b, 0, 1, "v");
  ASSERT_EQ(0, ColSetMerge(a, b));
  // The row capacity now holds for b's former column too.
  EXPECT_EQ(COLSET_IND_NULL, a->cols[0].ind[7]);
  EXPECT_EQ("v", LongText(a, 0, 1));
  ColSetDestroy(a);
  ColSetDestroy(b);
}

TEST(ColSetColumns, RemoveFirstColumnMovesTheOthersDown) {
  COLSET* s = MakeSet(
      {{COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)}, {COLSET_VT_INTEGER, 4}, {COLSET_VT_DOUBLE, 8}},
      1);
  PutLongText(s, 0, 0, "freed with the column");
  ASSERT_EQ(0, ColSetRemoveColumn(s, 0));
  EXPECT_EQ(2u, s->cols_used);
  EXPECT_EQ(3u, s->col_capacity);
  EXPECT_EQ(COLSET_VT_INTEGER, s->cols[0].type);
  EXPECT_EQ(COLSET_VT_DOUBLE, s->cols[1].type);
  EXPECT_EQ(nullptr, s->cols[2].data);
  EXPECT_EQ(ERR_GENERAL, ColSetRemoveColumn(s, 2));
  ColSetDestroy(s);
}

TEST(ColSetColumns, GetAndInsertColumn) {
  COLSET* s = MakeSet({{COLSET_VT_INTEGER, 4}, {COLSET_VT_DOUBLE, 8}}, 3);
  ASSERT_EQ(0, ColSetInsertColumn(s, 1, COLSET_VT_CHAR32, 12));
  uint32_t type = 0, width = 0;
  ASSERT_EQ(0, ColSetGetColumn(s, 1, &type, &width));
  EXPECT_EQ(COLSET_VT_CHAR32, type);
  EXPECT_EQ(12u, width);
  ASSERT_EQ(0, ColSetGetColumn(s, 2, &type, &width));
  EXPECT_EQ(COLSET_VT_DOUBLE, type);
  EXPECT_EQ(COLSET_IND_NULL, s->cols[1].ind[2]);
  EXPECT_EQ(3u, s->cols_used);
  EXPECT_EQ(ERR_GENERAL, ColSetGetColumn(s, 3, &type, &width));
  EXPECT_EQ(ERR_GENERAL, ColSetInsertColumn(s, 5, COLSET_VT_INTEGER, 4));
  // A long element narrower than its length and pointer would be overrun.
  EXPECT_EQ(ERR_GENERAL, ColSetInsertColumn(s, 0, COLSET_VT_LONGCHAR, 8));
  EXPECT_EQ(ERR_GENERAL, ColSetInsertColumn(s, 0, 99, 4));
  EXPECT_EQ(3u, s->cols_used);
  ColSetDestroy(s);
}

TEST(ColSetColumns, CopyColumnDuplicatesIntoAnEmptyTarget) {
  COLSET* src = TextSet({{"a", "one"}, {"b", "two"}}, 4);
  COLSET* dst = MakeSet({{COLSET_VT_INTEGER, 4}, {COLSET_VT_LONGCHAR, sizeof(COLSET_LONG)}}, 1);
  ASSERT_EQ(0, ColSetCopyColumn(dst, src, 1, 1));
  EXPECT_EQ(2u, dst->rows_held);
  EXPECT_EQ(4u, dst->row_capacity);
  EXPECT_EQ("two", LongText(dst, 1, 1));
  EXPECT_NE(GetLongAt(src, 1, 1).value, GetLongAt(dst, 1, 1).value);
  // The other column follows the new capacity.
  EXPECT_EQ(COLSET_IND_NULL, dst->cols[0].ind[3]);
  ColSetDestroy(src);
  ColSetDestroy(dst);
}

TEST(ColSetColumns, CopyColumnChecks) {
  COLSET* src = TextSet({{"a", "one"}}, 1);
  COLSET* dst = TextSet({{"x", "y"}, {"x", "y"}}, 2);
  EXPECT_EQ(ERR_GENERAL, ColSetCopyColumn(dst, src, 1, 1));  // row counts differ
  EXPECT_EQ(ERR_GENERAL, ColSetCopyColumn(src, src, 1, 1));  // same column
  EXPECT_EQ(ERR_GENERAL, ColSetCopyColumn(src, src, 0, 1));  // types differ
  COLSET* none = MakeSet({{COLSET_VT_NTS, 11}}, 2);
  COLSET* target = MakeSet({{COLSET_VT_NTS, 11}}, 2);
  PutNts(target, 0, 0, "kept");
  EXPECT_EQ(0, ColSetCopyColumn(target, none, 0, 0));  // source without rows
  EXPECT_EQ("kept", std::string(reinterpret_cast<char*>(Elem(target, 0, 0))));
  ColSetDestroy(src);
  ColSetDestroy(dst);
  ColSetDestroy(none);
  ColSetDestroy(target);
}

TEST(ColSetResize, NulTerminatedColumnWidensOnlyWhenNeeded) {
  COLSET* s = TextSet({{"0123456789", "x"}}, 2);
  ASSERT_EQ(0, ColSetResizeColumn(s, 0, 10, 0));
  EXPECT_EQ(11u, s->cols[0].elem_size);
  ASSERT_EQ(0, ColSetResizeColumn(s, 0, 20, 0));
  EXPECT_EQ(COLSET_VT_NTS, s->cols[0].type);
  EXPECT_EQ(21u, s->cols[0].elem_size);
  EXPECT_EQ("0123456789", Value(s, 0, 0));
  EXPECT_EQ(ERR_GENERAL, ColSetResizeColumn(s, 2, 100, 0));
  ColSetDestroy(s);
  COLSET* n = MakeSet({{COLSET_VT_INTEGER, 4}}, 1);
  EXPECT_EQ(0, ColSetResizeColumn(n, 0, 100, 0));  // numbers never change
  EXPECT_EQ(4u, n->cols[0].elem_size);
  ColSetDestroy(n);
}

TEST(ColSetResize, FixedTextBecomesLengthPrefixed) {
  COLSET* s = MakeSet({{COLSET_VT_CHAR, 4}, {COLSET_VT_CHAR, 4}}, 2);
  std::memcpy(Elem(s, 0, 0), "ab\0\0", 4);
  s->cols[0].ind[0] = 0;
  std::memcpy(Elem(s, 1, 0), "ab\0\0", 4);
  s->cols[1].ind[0] = 0;
  s->rows_held = 2;  // row 1 NULL
  ASSERT_EQ(0, ColSetResizeColumn(s, 0, 5, 0));
  ASSERT_EQ(0, ColSetResizeColumn(s, 1, 5, 1));
  EXPECT_EQ(COLSET_VT_CHAR32, s->cols[0].type);
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR32, 5), s->cols[0].elem_size);
  EXPECT_EQ(std::string("ab\0\0", 4), Value(s, 0, 0));  // the whole width
  EXPECT_EQ("ab", Value(s, 0, 1));                      // its own length
  uint32_t nullLen = 0;
  std::memcpy(&nullLen, Elem(s, 0, 1), 4);
  EXPECT_EQ(0u, nullLen);
  EXPECT_EQ(COLSET_IND_NULL, s->cols[0].ind[1]);
  ColSetDestroy(s);
}

TEST(ColSetResize, FixedWideTextNeverOverrunsItsNewElement) {
  // Three characters (6 bytes) asked to hold 2: the prefixed element must
  // still take the count and all six bytes.
  COLSET* s = MakeSet({{COLSET_VT_WCHAR, 6}}, 1);
  const char16_t text[3] = {u'x', u'y', u'z'};
  std::memcpy(Elem(s, 0, 0), text, 6);
  s->cols[0].ind[0] = 0;
  s->rows_held = 1;
  ASSERT_EQ(0, ColSetResizeColumn(s, 0, 2, 0));
  EXPECT_EQ(COLSET_VT_WCHAR32, s->cols[0].type);
  EXPECT_GE(s->cols[0].elem_size, 10u);
  const std::string v = Value(s, 0, 0);
  ASSERT_EQ(6u, v.size());
  EXPECT_EQ(0, std::memcmp(v.data(), text, 6));
  ColSetDestroy(s);
}

TEST(ColSetResize, LongColumnGetsBuffersOfTheLength) {
  COLSET* s = TextSet({{"a", "abc"}, {"b", "x"}}, 3);
  s->cols[1].ind[1] = COLSET_IND_NULL;
  ASSERT_EQ(0, ColSetResizeColumn(s, 1, 16, 0));
  EXPECT_EQ("abc", LongText(s, 1, 0));
  EXPECT_EQ(3u, GetLongAt(s, 1, 0).length);
  // A NULL row gets a zeroed buffer, its old bytes not carried over.
  EXPECT_EQ('\0', *static_cast<char*>(GetLongAt(s, 1, 1).value));
  // The buffer takes 16 bytes (writes beyond the length are the point).
  std::memset(GetLongAt(s, 1, 0).value, 'q', 16);
  ColSetDestroy(s);
}

TEST(ColSetValue, LengthByTypeAndCutToTheBuffer) {
  COLSET* s = MakeSet({{COLSET_VT_CHAR32, ColSetTypeSize(COLSET_VT_CHAR32, 10)},
                       {COLSET_VT_WCHAR32, ColSetTypeSize(COLSET_VT_WCHAR32, 4)},
                       {COLSET_VT_WNTS, ColSetTypeSize(COLSET_VT_WNTS, 4)},
                       {COLSET_VT_CHAR8, 6}},
                      2);
  const uint32_t ten = 10;
  std::memcpy(Elem(s, 0, 0), &ten, 4);
  std::memcpy(Elem(s, 0, 0) + 4, "0123456789", 10);
  const uint32_t two = 2;
  std::memcpy(Elem(s, 1, 0), &two, 4);
  std::memcpy(Elem(s, 1, 0) + 4, u"hi", 4);
  std::memcpy(Elem(s, 2, 0), u"abc", 8);
  Elem(s, 3, 0)[0] = 200;  // a prefix larger than the element
  std::memcpy(Elem(s, 3, 0) + 1, "vwxyz", 5);
  for (uint16_t c = 0; c < 4; ++c) s->cols[c].ind[0] = 0;
  s->rows_held = 2;

  char buf[32];
  uint32_t len = 4;
  ASSERT_EQ(0, ColSetValueLength(s, 0, 0, buf, &len));
  EXPECT_EQ(4u, len);
  EXPECT_EQ("0123", std::string(buf, 4));
  len = sizeof buf;
  ASSERT_EQ(0, ColSetValueLength(s, 0, 1, buf, &len));
  EXPECT_EQ(4u, len);
  len = sizeof buf;
  ASSERT_EQ(0, ColSetValueLength(s, 0, 2, buf, &len));
  EXPECT_EQ(6u, len);
  len = sizeof buf;
  ASSERT_EQ(0, ColSetValueLength(s, 0, 3, buf, &len));
  EXPECT_EQ(5u, len);
  EXPECT_EQ("vwxyz", std::string(buf, len));
  len = sizeof buf;
  ASSERT_EQ(0, ColSetValueLength(s, 1, 0, buf, &len));  // NULL row
  EXPECT_EQ(0u, len);
  len = 0;
  ASSERT_EQ(0, ColSetValueLength(s, 0, 0, nullptr, &len));
  EXPECT_EQ(0u, len);
  len = 4;
  EXPECT_EQ(ERR_GENERAL, ColSetValueLength(s, 2, 0, buf, &len));
  EXPECT_EQ(ERR_GENERAL, ColSetValueLength(s, 0, 4, buf, &len));
  ColSetDestroy(s);
}

}  // namespace
