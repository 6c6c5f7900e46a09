// The element writers of the block reader: the shapes the value-by-value
// getters leave in the row buffer (cuts at character boundaries, fixed-width
// zero fill, length prefixes, null values).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-wrap-types.h"

namespace {

using Buf = std::vector<unsigned char>;

uint32_t Prefix(const Buf& b) {
  uint32_t n;
  std::memcpy(&n, b.data(), sizeof n);
  return n;
}

TEST(BlockWriters, NulTerminatedTextIsCutOnACharacterBoundary) {
  const std::string text = "a\xC3\xA9z";  // a, e acute (2 bytes), z
  Buf e(3, 0xEE);
  jblock::PutText(COLSET_VT_NTS, e.data(), 3, text.data(), static_cast<int64_t>(text.size()));
  EXPECT_EQ(e, (Buf{'a', 0, 0xEE}));  // room for 2 bytes: the e acute does not fit whole

  Buf whole(8, 0xEE);
  jblock::PutText(COLSET_VT_NTS, whole.data(), 8, text.data(), static_cast<int64_t>(text.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(whole.data())), text);

  Buf null(4, 0xEE);
  jblock::PutText(COLSET_VT_NTS, null.data(), 4, nullptr, -1);
  EXPECT_EQ(null[0], 0);
  jblock::PutText(COLSET_VT_NTS, null.data(), 0, text.data(), 4);  // no room: nothing written
  EXPECT_EQ(null[0], 0);
  EXPECT_EQ(null[1], 0xEE);
}

TEST(BlockWriters, FixedWidthAndPrefixedText) {
  Buf e(4, 0xEE);
  jblock::PutText(COLSET_VT_CHAR, e.data(), 4, "ab", 2);
  EXPECT_EQ(e, (Buf{'a', 'b', 0, 0}));
  jblock::PutText(COLSET_VT_CHAR, e.data(), 4, "abc\xE2\x82\xAC", 6);  // the euro sign is cut
  EXPECT_EQ(e, (Buf{'a', 'b', 'c', 0}));
  jblock::PutText(COLSET_VT_CHAR, e.data(), 4, nullptr, -1);
  EXPECT_EQ(e, (Buf{0, 0, 0, 0}));

  Buf p(7, 0xEE);
  jblock::PutText(COLSET_VT_CHAR32, p.data(), 7, "hello", 5);
  EXPECT_EQ(Prefix(p), 5u);  // the whole length: the conversion tells the cut from it
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data() + 4), 3), "hel");
  jblock::PutText(COLSET_VT_CHAR32, p.data(), 7, nullptr, -1);
  EXPECT_EQ(Prefix(p), 0u);
}

TEST(BlockWriters, WideTextNeverSplitsASurrogatePair) {
  const std::u16string text = u"a\U0001F600b";  // a, a pair, b
  Buf e(6, 0xEE);                               // three units: two characters and the NUL
  jblock::PutWide(COLSET_VT_WNTS, e.data(), 6, text.data(), static_cast<int64_t>(text.size()));
  char16_t units[3];
  std::memcpy(units, e.data(), sizeof units);
  EXPECT_EQ(units[0], u'a');
  EXPECT_EQ(units[1], 0);  // the pair does not fit whole
  EXPECT_EQ(units[2], 0xEEEE);

  Buf f(4, 0xEE);  // fixed width, two units
  jblock::PutWide(COLSET_VT_WCHAR, f.data(), 4, text.data(), static_cast<int64_t>(text.size()));
  std::memcpy(units, f.data(), 4);
  EXPECT_EQ(units[0], u'a');
  EXPECT_EQ(units[1], 0);

  Buf p(12, 0xEE);  // prefix and four units: the whole text
  jblock::PutWide(COLSET_VT_WCHAR32, p.data(), 12, text.data(), static_cast<int64_t>(text.size()));
  EXPECT_EQ(Prefix(p), 4u);
  EXPECT_EQ(std::memcmp(p.data() + 4, text.data(), 8), 0);
  jblock::PutWide(COLSET_VT_WCHAR32, p.data(), 9, text.data(), static_cast<int64_t>(text.size()));
  EXPECT_EQ(Prefix(p), 4u);  // two units of room: cut, with the whole length
  EXPECT_EQ(std::memcmp(p.data() + 4, text.data(), 4), 0);

  Buf null(4, 0xEE);
  jblock::PutWide(COLSET_VT_WNTS, null.data(), 4, nullptr, -1);
  EXPECT_EQ(null[0], 0);
  EXPECT_EQ(null[1], 0);
  jblock::PutWide(COLSET_VT_WNTS, null.data(), 1, text.data(), 1);  // no room for a NUL
  EXPECT_EQ(null[2], 0xEE);
}

TEST(BlockWriters, BytesAreZeroFilledAndPrefixed) {
  const unsigned char v[] = {1, 2, 3};
  Buf e(5, 0xEE);
  jblock::PutBytes(COLSET_VT_BINARY, e.data(), 5, v, 3);
  EXPECT_EQ(e, (Buf{1, 2, 3, 0, 0}));
  jblock::PutBytes(COLSET_VT_BINARY, e.data(), 2, v, 3);
  EXPECT_EQ(e, (Buf{1, 2, 3, 0, 0}));
  jblock::PutBytes(COLSET_VT_BINARY, e.data(), 5, nullptr, -1);
  EXPECT_EQ(e, (Buf{0, 0, 0, 0, 0}));

  Buf p(6, 0xEE);
  jblock::PutBytes(COLSET_VT_BINARY32, p.data(), 6, v, 3);
  EXPECT_EQ(Prefix(p), 2u);
  EXPECT_EQ(p[4], 1);
  EXPECT_EQ(p[5], 2);
  jblock::PutBytes(COLSET_VT_BINARY32, p.data(), 6, nullptr, -1);
  EXPECT_EQ(Prefix(p), 0u);
  EXPECT_EQ(p[4], 0);
}

TEST(BlockWriters, FixedValuesFromTheirSlots) {
  unsigned char e[20];
  float f = -1.5f;
  uint32_t fbits;
  std::memcpy(&fbits, &f, sizeof f);
  const int64_t fslot[] = {static_cast<int32_t>(fbits)};  // Java hands over a signed int
  jblock::PutFixed(jblock::kFloat, e, fslot);
  float back;
  std::memcpy(&back, e, sizeof back);
  EXPECT_EQ(back, -1.5f);

  const int64_t small[] = {-2};
  jblock::PutFixed(jblock::kShort, e, small);
  int16_t s;
  std::memcpy(&s, e, sizeof s);
  EXPECT_EQ(s, -2);

  const int64_t ts[] = {2024, 2, 29, 23, 59, 58, 123456789, COLSET_ZONE_BIAS + 3208};
  jblock::PutFixed(jblock::kTimestamp, e, ts);
  JC_Timestamp t;
  std::memcpy(&t, e, sizeof t);
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.month, 2);
  EXPECT_EQ(t.day, 29);
  EXPECT_EQ(t.second, 58);
  EXPECT_EQ(t.fraction, 123456789u);
  EXPECT_EQ(t.zone, static_cast<uint32_t>(COLSET_ZONE_BIAS + 3208));

  const int64_t yes[] = {7};
  jblock::PutFixed(jblock::kBoolean, e, yes);
  EXPECT_EQ(e[0], 1);
}

TEST(BlockWriters, ColumnsWithoutABlockForm) {
  EXPECT_EQ(jblock::KindOf(COLSET_VT_LONGCHAR, 16), -1);
  EXPECT_EQ(jblock::KindOf(COLSET_VT_LONGBINARY, 16), -1);
  EXPECT_EQ(jblock::KindOf(COLSET_VT_LONGWCHAR, 16), -1);
  EXPECT_EQ(jblock::KindOf(COLSET_VT_UINTEGER, 4), -1);
  EXPECT_EQ(jblock::KindOf(COLSET_VT_CHAR8, 9), -1);
  EXPECT_EQ(jblock::KindOf(COLSET_VT_CHAR32, 3), -1);  // too small for its prefix
  EXPECT_EQ(jblock::KindOf(COLSET_VT_CHAR32, 4), jblock::kText);
  EXPECT_EQ(jblock::KindOf(COLSET_VT_NTS, 10), jblock::kPlain);
  EXPECT_EQ(jblock::SlotsOf(jblock::kTimestamp), 8u);
  EXPECT_EQ(jblock::SlotsOf(jblock::kDate), 3u);
}

}  // namespace
