#include "util/copyout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

TEST(CopyOut, WholeTextOrCutWithCutLength) {
  char buf[16];
  uint16_t len = 0xBEEF;
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(STR_CopyOut("abcdef", buf, 4, &len), -1);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(len, 3);
  EXPECT_EQ(buf[4], 'x');  // nothing beyond the given size

  EXPECT_EQ(STR_CopyOut("abcdef", buf, 7, &len), 0);
  EXPECT_STREQ(buf, "abcdef");
  EXPECT_EQ(len, 6);

  EXPECT_EQ(STR_CopyOut("abcdef", buf, 6, &len), -1);  // no room for the NUL
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(len, 5);

  EXPECT_EQ(STR_CopyOut("", buf, 1, &len), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(len, 0);

  EXPECT_EQ(STR_CopyOut("abc", buf, 1, nullptr), -1);
  EXPECT_STREQ(buf, "");
}

TEST(CopyOut, NoRoomNullArgumentsAndWideSizes) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  uint16_t len = 0xBEEF;
  EXPECT_EQ(STR_CopyOut("abc", buf, 0, &len), -1);
  EXPECT_EQ(buf[0], 'x');  // not even the terminator
  EXPECT_EQ(STR_CopyOut("abc", buf, -5, &len), -1);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(STR_CopyOut(nullptr, buf, 8, &len), -1);
  EXPECT_EQ(STR_CopyOut("abc", nullptr, 8, &len), -1);
  EXPECT_EQ(len, 0xBEEF);

  // A size beyond 16 bits neither wraps nor truncates.
  EXPECT_EQ(STR_CopyOut("abc", buf, 65536 + 2, &len), 0);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(len, 3);

  // A text longer than a u16 can count reports the largest count.
  const std::string big(70000, 'q');
  std::string out(70001, '\0');
  EXPECT_EQ(STR_CopyOut(big.c_str(), &out[0], 70001, &len), 0);
  EXPECT_EQ(len, 0xFFFF);
  EXPECT_EQ(std::strlen(out.c_str()), 70000u);
}

TEST(CopyOut, CutNeverSplitsUtf8) {
  char buf[8];
  uint16_t len = 0;
  // "aé" = 61 C3 A9: three bytes do not hold it and its NUL.
  EXPECT_EQ(STR_CopyOut("a\xC3\xA9", buf, 3, &len), -1);
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(len, 1);
  EXPECT_EQ(STR_CopyOut("a\xC3\xA9", buf, 4, &len), 0);
  EXPECT_EQ(len, 3);
  // A four-byte sequence cut anywhere inside goes whole.
  for (int size = 2; size <= 5; ++size) {
    EXPECT_EQ(STR_CopyOut("b\xF0\x9F\x98\x80", buf, size, &len), -1) << size;
    EXPECT_STREQ(buf, "b") << size;
  }
  EXPECT_EQ(STR_CopyOutW("\xE2\x82\xAC\xE2\x82\xAC", buf, 6, &len), -1);
  EXPECT_STREQ(buf, "\xE2\x82\xAC");
  EXPECT_EQ(len, 6);
  // Bytes that are not UTF-8 are cut where the size says.
  EXPECT_EQ(STR_CopyOut("\x80\x80\x80\x80\x80\x80", buf, 5, &len), -1);
  EXPECT_EQ(len, 4);
}

TEST(CopyOutW, ReportsTheFullLength) {
  char buf[16];
  uint16_t len = 0;
  EXPECT_EQ(STR_CopyOutW("abcdef", buf, 4, &len), -1);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(STR_CopyOutW("abcdef", buf, 16, &len), 0);
  EXPECT_STREQ(buf, "abcdef");
  EXPECT_EQ(len, 6);

  len = 0;
  EXPECT_EQ(STR_CopyOutW("abcdef", nullptr, 4, &len), 0);
  EXPECT_EQ(len, 6);

  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(STR_CopyOutW("abcdef", buf, 0, &len), -1);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(len, 6);

  len = 0xBEEF;
  EXPECT_EQ(STR_CopyOutW(nullptr, buf, 16, &len), -1);
  EXPECT_EQ(len, 0xBEEF);
  EXPECT_EQ(STR_CopyOutW("abc", buf, 16, nullptr), 0);
}

char* dup(const char* s) { return strdup(s); }

TEST(Lists, FreePairAndMessageList) {
  REC_PAIR pair{dup("one"), nullptr};
  REC_FreePair(&pair);
  EXPECT_EQ(pair.first, nullptr);
  EXPECT_EQ(pair.second, nullptr);
  REC_FreePair(nullptr);

  MSG_LIST list{42, 3, static_cast<char**>(std::calloc(3, sizeof(char*)))};
  list.texts[0] = dup("first");
  list.texts[2] = dup("third");  // a missing text in between is tolerated
  LST_Free(&list);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(list.texts, nullptr);
  EXPECT_EQ(list.native, 42u);
  LST_Free(&list);  // twice is harmless
}

ATTR_ENTRY num(uint16_t column, int16_t field, uint32_t v) {
  ATTR_ENTRY e{};
  e.column = column;
  e.field = field;
  e.kind = ATTR_KIND_INT;
  e.value.u32 = v;
  return e;
}

ATTR_ENTRY text(uint16_t column, int16_t field, char* v) {
  ATTR_ENTRY e{};
  e.column = column;
  e.field = field;
  e.kind = ATTR_KIND_TEXT;
  e.value.text = v;
  return e;
}

ATTR_ENTRY eight(uint16_t column, int16_t field, double v) {
  ATTR_ENTRY e{};
  e.column = column;
  e.field = field;
  e.kind = ATTR_KIND_8BYTE;
  e.value.dbl = v;
  return e;
}

TEST(AttrEntry, Equality) {
  char s[] = "x";
  char t[] = "x";
  ATTR_ENTRY a = num(1, 5, 7), b = num(2, 5, 7);
  EXPECT_EQ(ATTR_EntryEqual(&a, &b), 1);
  b.value.u32 = 8;
  EXPECT_EQ(ATTR_EntryEqual(&a, &b), 0);
  b = num(1, 5, 7);
  b.kind = ATTR_KIND_INT2;
  EXPECT_EQ(ATTR_EntryEqual(&a, &b), 0);  // kinds differ

  ATTR_ENTRY ts = text(1, 5, s), ts2 = text(2, 5, s), tt = text(1, 5, t);
  EXPECT_EQ(ATTR_EntryEqual(&ts, &ts2), 1);
  EXPECT_EQ(ATTR_EntryEqual(&ts, &tt), 0);  // the same text elsewhere is another value

  ATTR_ENTRY d1 = eight(1, 5, 2.5), d2 = eight(2, 5, 2.5);
  EXPECT_EQ(ATTR_EntryEqual(&d1, &d2), 1);
  ATTR_ENTRY n1 = eight(1, 5, std::nan("")), n2 = n1;
  EXPECT_EQ(ATTR_EntryEqual(&n1, &n2), 0);
  // Eight bytes holding integers: 0 and INT64_MIN are different values even
  // though, read as doubles, they are +0.0 and -0.0.
  ATTR_ENTRY i1 = eight(1, 5, 0), i2 = i1;
  i1.value.i64 = 0;
  i2.value.i64 = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(ATTR_EntryEqual(&i1, &i2), 0);

  ATTR_ENTRY odd1 = num(1, 5, 7), odd2 = odd1;
  odd1.kind = odd2.kind = 9;
  EXPECT_EQ(ATTR_EntryEqual(&odd1, &odd2), 0);
}

TEST(AttrEntry, CopyReleaseAndFree) {
  ATTR_ENTRY src = text(3, 14, dup("VARCHAR"));
  ATTR_ENTRY shallow{}, owned{};
  ATTR_EntryCopy(&shallow, &src, ATTR_COPY_SHALLOW);
  EXPECT_EQ(shallow.value.text, src.value.text);
  EXPECT_EQ(ATTR_EntryCopy(&owned, &src, ATTR_COPY_OWN), &owned);
  EXPECT_NE(owned.value.text, src.value.text);
  EXPECT_STREQ(owned.value.text, "VARCHAR");
  EXPECT_EQ(owned.column, 3);
  EXPECT_EQ(owned.field, 14);
  ATTR_EntryRelease(&owned);
  EXPECT_EQ(owned.value.text, nullptr);

  ATTR_ENTRY n = num(1, 2, 77);
  ATTR_EntryRelease(&n);  // numbers own nothing
  EXPECT_EQ(n.value.u32, 77u);

  auto* heap = static_cast<ATTR_ENTRY*>(std::malloc(sizeof(ATTR_ENTRY)));
  ATTR_EntryCopy(heap, &src, ATTR_COPY_SHALLOW);
  EXPECT_EQ(ATTR_EntryFree(heap, nullptr, nullptr), 0);  // frees src's text too
}

TEST(LstBuild, CompactsRunsAgainstTheirDefault) {
  // (5, col 0, 1), (5, 2, 1), (5, 3, 7): the second repeats the default.
  const ATTR_ENTRY in[] = {num(0, 5, 1), num(2, 5, 1), num(3, 5, 7)};
  uint16_t count = 99;
  ATTR_ENTRY* out = nullptr;
  ASSERT_EQ(LST_Build(3, in, &count, &out, ATTR_COPY_SHALLOW), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(out[0].column, 0);
  EXPECT_EQ(out[0].value.u32, 1u);
  EXPECT_EQ(out[1].column, 3);
  EXPECT_EQ(out[1].value.u32, 7u);
  std::free(out);
}

TEST(LstBuild, SkipsNegativeFieldsAndForgetsDefaultsBetweenFields) {
  const ATTR_ENTRY in[] = {
      num(1, 6, 4),   // no default yet: kept
      num(0, 6, 4),   // default: always kept
      num(2, 6, 4),   // equal to the default: dropped
      num(1, -7, 4),  // negative field: dropped
      num(1, 8, 4),   // new field forgets the default: kept
      num(0, 8, 9),   // default of field 8
      num(0, 8, 3),   // a later column-0 entry replaces the default
      num(2, 8, 9),   // differs from the current default: kept
      num(3, 8, 3),   // equals it: dropped
  };
  uint16_t count = 0;
  ATTR_ENTRY* out = nullptr;
  ASSERT_EQ(LST_Build(9, in, &count, &out, ATTR_COPY_SHALLOW), 0);
  ASSERT_EQ(count, 6);
  const uint16_t cols[] = {1, 0, 1, 0, 0, 2};
  const int16_t fields[] = {6, 6, 8, 8, 8, 8};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i].column, cols[i]) << i;
    EXPECT_EQ(out[i].field, fields[i]) << i;
  }
  std::free(out);

  const ATTR_ENTRY skipped[] = {num(0, -1, 1), num(1, -2, 1)};
  out = reinterpret_cast<ATTR_ENTRY*>(1);
  count = 5;
  ASSERT_EQ(LST_Build(2, skipped, &count, &out, ATTR_COPY_SHALLOW), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(LST_Build(0, in, &count, &out, ATTR_COPY_SHALLOW), 0);
  ASSERT_EQ(LST_Build(3, nullptr, &count, &out, ATTR_COPY_SHALLOW), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(LST_Build(3, in, nullptr, &out, ATTR_COPY_SHALLOW), 21);
}

TEST(LstBuild, OwningModeDuplicatesTexts) {
  char* name = dup("INTEGER");
  const ATTR_ENTRY in[] = {text(1, 14, name), text(2, 14, nullptr)};
  uint16_t count = 0;
  ATTR_ENTRY* out = nullptr;
  ASSERT_EQ(LST_Build(2, in, &count, &out, ATTR_COPY_OWN), 0);
  ASSERT_EQ(count, 2);
  EXPECT_NE(out[0].value.text, name);
  EXPECT_STREQ(out[0].value.text, "INTEGER");
  EXPECT_EQ(out[1].value.text, nullptr);
  std::free(name);  // the list keeps its own copy
  EXPECT_STREQ(out[0].value.text, "INTEGER");
  for (uint16_t i = 0; i < count; ++i) ATTR_EntryRelease(&out[i]);
  std::free(out);
}

class LookupSub : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = hash_create(101, 4);
    ASSERT_NE(table_, nullptr);
  }
  void TearDown() override {
    hash_foreach(table_, ATTR_EntryFree, nullptr);
    hash_destroy(table_);
  }
  void add(const ATTR_ENTRY& e) {
    auto* copy = static_cast<ATTR_ENTRY*>(std::malloc(sizeof e));
    ATTR_EntryCopy(copy, &e, ATTR_COPY_OWN);
    const uint32_t key = ATTR_Key(static_cast<uint16_t>(e.field), e.column);
    ASSERT_NE(hash_set(table_, &key, copy), nullptr);
  }
  HASH_TABLE* table_ = nullptr;
};

TEST_F(LookupSub, ColumnEntryThenAnyColumnFallback) {
  add(num(0, 5, 100));
  add(num(2, 5, 200));
  uint32_t v = 0;
  EXPECT_EQ(DRV_LookupSub(table_, 5, 2, &v, nullptr, nullptr), 1);
  EXPECT_EQ(v, 200u);
  EXPECT_EQ(DRV_LookupSub(table_, 5, 4, &v, nullptr, nullptr), 1);  // falls back
  EXPECT_EQ(v, 100u);
  EXPECT_EQ(DRV_LookupSub(table_, 6, 2, &v, nullptr, nullptr), 0);
  EXPECT_EQ(DRV_LookupSub(nullptr, 5, 2, &v, nullptr, nullptr), 0);
  EXPECT_EQ(DRV_LookupSub(table_, 5, 2, nullptr, nullptr, nullptr), 0);  // no out for a number
}

TEST_F(LookupSub, EachKindGoesToItsOut) {
  char* s = dup("'");
  add(text(1, 27, s));
  std::free(s);
  add(eight(1, 30, 1.25));
  ATTR_ENTRY big = eight(1, 31, 0);
  big.value.i64 = INT64_C(0x123456789A);
  add(big);

  void* p = nullptr;
  uint32_t v = 0;
  EXPECT_EQ(DRV_LookupSub(table_, 27, 1, &v, &p, nullptr), 1);
  EXPECT_STREQ(static_cast<char*>(p), "'");
  EXPECT_EQ(DRV_LookupSub(table_, 27, 1, &v, nullptr, nullptr), 0);  // text needs the pointer out

  double d = 0;
  EXPECT_EQ(DRV_LookupSub(table_, 30, 1, &v, &p, &d), 1);
  EXPECT_EQ(d, 1.25);
  int64_t i = 0;
  EXPECT_EQ(DRV_LookupSub(table_, 31, 1, nullptr, nullptr, &i), 1);
  EXPECT_EQ(i, INT64_C(0x123456789A));
  EXPECT_EQ(DRV_LookupSub(table_, 31, 1, &v, &p, nullptr), 0);
}

TEST_F(LookupSub, MismatchedOrSkippedEntriesDoNotAnswer) {
  // An entry stored under a key that does not match its own fields.
  ATTR_ENTRY wrong = num(3, 9, 1);
  auto* copy = static_cast<ATTR_ENTRY*>(std::malloc(sizeof wrong));
  *copy = wrong;
  const uint32_t key = ATTR_Key(9, 2);
  ASSERT_NE(hash_set(table_, &key, copy), nullptr);
  uint32_t v = 0;
  EXPECT_EQ(DRV_LookupSub(table_, 9, 2, &v, nullptr, nullptr), 0);

  // A skipped (negative) field never answers, also not as its u16 pattern.
  add(num(0, -13, 1));
  EXPECT_EQ(DRV_LookupSub(table_, static_cast<uint16_t>(-13), 1, &v, nullptr, nullptr), 0);

  // Unknown kind.
  ATTR_ENTRY odd = num(1, 40, 1);
  odd.kind = 7;
  add(odd);
  EXPECT_EQ(DRV_LookupSub(table_, 40, 1, &v, nullptr, nullptr), 0);
}

}  // namespace
