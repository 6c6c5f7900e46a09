#include "util/textconv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using CStr = std::unique_ptr<char, FreeDeleter>;
using WStr = std::unique_ptr<char16_t, FreeDeleter>;

const char16_t kPair[] = {0xD83D, 0xDE00, 0};        // U+1F600
const char kPairStd[] = "\xF0\x9F\x98\x80";          // standard UTF-8
const char kPairMod[] = "\xED\xA0\xBD\xED\xB8\x80";  // one sequence per unit

std::u16string to16(const char* s) {
  WStr w(utf8_to_utf16_dup(s));
  return w ? std::u16string(w.get()) : std::u16string();
}

std::string to8(const char16_t* s) {
  CStr c(utf16_to_utf8_dup(s));
  return c ? std::string(c.get()) : std::string();
}

// ---- Round trips --------------------------------------------------------------

TEST(TextConvRoundTrip, TwoAndThreeByteCharacters) {
  EXPECT_EQ(to8(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(to16("\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(to8(u"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(to16("\xE2\x82\xAC"), u"\u20AC");
  EXPECT_EQ(to16("a\xC3\xA9z"), u"a\u00E9z");
  EXPECT_EQ(utf16_to_utf8_len(u"a\u00E9\u20AC", SQL_NTS), 6);
  EXPECT_EQ(utf8_to_utf16_len("a\xC3\xA9\xE2\x82\xAC", SQL_NTS), 3);
}

TEST(TextConvRoundTrip, SurrogatePairBecomesTwoThreeByteSequences) {
  EXPECT_EQ(to8(kPair), kPairMod);
  EXPECT_EQ(utf16_to_utf8_len(kPair, SQL_NTS), 6);
  // Both the internal form and standard UTF-8 come back as the pair.
  EXPECT_EQ(to16(kPairMod), std::u16string(kPair));
  EXPECT_EQ(to16(kPairStd), std::u16string(kPair));
  EXPECT_EQ(utf8_to_utf16_len(kPairStd, SQL_NTS), 2);
  EXPECT_EQ(utf8_to_utf16_len(kPairMod, SQL_NTS), 2);
}

TEST(TextConvRoundTrip, LoneSurrogatesSurviveTheInternalForm) {
  const char16_t lone[] = {u'a', 0xDC00, u'b', 0xD800, 0};
  std::string mid = to8(lone);
  EXPECT_EQ(mid,
            "a\xED\xB0\x80"
            "b\xED\xA0\x80");
  EXPECT_EQ(to16(mid.c_str()), std::u16string(lone));
}

// ---- Counting and counted conversion --------------------------------------------

TEST(TextConvCount, CountsAndSqlNts) {
  EXPECT_EQ(utf16_to_utf8_len(nullptr, SQL_NTS), 0);
  EXPECT_EQ(utf8_to_utf16_len(nullptr, SQL_NTS), 0);
  EXPECT_EQ(utf8_to_utf16_len("", SQL_NTS), 0);
  EXPECT_EQ(utf16_to_utf8_len(u"\u20AC\u20AC\u20AC", 2), 6);
  EXPECT_EQ(utf8_to_utf16_len("abcdef", 4), 4);
  // In a counted text a 0 unit is a character of one byte.
  const char16_t withnul[] = {u'a', 0, u'b'};
  EXPECT_EQ(utf16_to_utf8_len(withnul, 3), 3);
  EXPECT_EQ(utf8_to_utf16_len("a\0b", 3), 3);
  EXPECT_EQ(wide_to_mb_len(withnul, 3), 3);
  // Standard UTF-8 joins a pair into 4 bytes; a lone half is U+FFFD's 3.
  EXPECT_EQ(wide_to_mb_len(kPair, SQL_NTS), 4);
  const char16_t lone[] = {0xD800, u'x', 0};
  EXPECT_EQ(wide_to_mb_len(lone, SQL_NTS), 4);
  EXPECT_EQ(wide_to_mb_len(nullptr, SQL_NTS), 0);
  // A negative count other than SQL_NTS is no text at all.
  EXPECT_EQ(utf16_to_utf8_len(u"abc", -1), 0);
  EXPECT_EQ(utf8_to_utf16_len("abc", -5), 0);
}

TEST(TextConvCount, DupnKeepsEmbeddedZeroUnits) {
  const char16_t src[] = {u'a', 0, u'b', u'c'};
  CStr out(utf16_to_utf8_dupn(src, 3));
  ASSERT_TRUE(out);
  EXPECT_EQ(std::string(out.get(), 4), std::string("a\0b\0", 4));
  CStr nts(utf16_to_utf8_dupn(u"x\u00E9", SQL_NTS));
  EXPECT_STREQ(nts.get(), "x\xC3\xA9");
  CStr pair(utf16_to_utf8_dupn(kPair, 2));
  EXPECT_STREQ(pair.get(), kPairMod);
  EXPECT_EQ(utf16_to_utf8_dupn(nullptr, 3), nullptr);
  EXPECT_EQ(utf16_to_utf8_dup(nullptr), nullptr);
}

TEST(TextConvCount, Utf16ToUtf8NReportsUnitsUsed) {
  char buf[16] = {};
  int16_t used = -1;
  // Two euro signs fit in 7 bytes, the third does not.
  EXPECT_EQ(utf16_to_utf8_n(u"\u20AC\u20AC\u20AC", SQL_NTS, buf, 7, &used), 6);
  EXPECT_EQ(used, 2);
  // A pair is never split: 5 bytes hold 'a' and half a pair, so only 'a'.
  const char16_t apair[] = {u'a', 0xD83D, 0xDE00, 0};
  EXPECT_EQ(utf16_to_utf8_n(apair, 3, buf, 5, &used), 1);
  EXPECT_EQ(used, 1);
  EXPECT_EQ(utf16_to_utf8_n(apair, 3, buf, 7, &used), 7);
  EXPECT_EQ(used, 3);
  EXPECT_EQ(std::string(buf, 7), std::string("a") + kPairMod);
  // A high surrogate at the end of the count has no partner inside it.
  EXPECT_EQ(utf16_to_utf8_n(apair, 2, buf, 16, &used), 4);
  EXPECT_EQ(used, 2);
  EXPECT_EQ(utf16_to_utf8_enc(u"ab\u20AC", buf, 4), 2);
}

TEST(TextConvCount, Utf8ToUtf16NStopsBeforeTheCountOrCapacity) {
  char16_t buf[8] = {};
  int16_t used = -1;
  // The euro sign would run past the count of 3 bytes.
  EXPECT_EQ(utf8_to_utf16_n("a\xE2\x82\xAC", 3, buf, 8, &used), 1);
  EXPECT_EQ(used, 1);
  // A four-byte sequence needs two units; one unit of room takes nothing.
  EXPECT_EQ(utf8_to_utf16_n(kPairStd, SQL_NTS, buf, 1, &used), 0);
  EXPECT_EQ(used, 0);
  EXPECT_EQ(utf8_to_utf16_n(kPairStd, SQL_NTS, buf, 2, &used), 2);
  EXPECT_EQ(used, 4);
  EXPECT_EQ(buf[0], 0xD83D);
  EXPECT_EQ(buf[1], 0xDE00);
  // The internal form of a pair also stays together.
  EXPECT_EQ(utf8_to_utf16_n(kPairMod, SQL_NTS, buf, 1, &used), 0);
  EXPECT_EQ(utf8_to_utf16("abc", buf, 2), 2);
}

// ---- Invalid UTF-8 ------------------------------------------------------------

// Between "x" and "y": the application's text read strictly, the driver's
// own with modified UTF-8's forms too; one U+FFFD per maximal ill-formed
// subpart, and the "y" always survives.
TEST(TextConvInvalid, IllFormedSequencesBecomeOneReplacementEachSubpart) {
  const char16_t R = 0xFFFD;
  const struct {
    const char* bytes;
    std::u16string standard, internal;
  } rows[] = {{"\x80", {R}, {R}},
              {"\xC3(", {R, u'('}, {R, u'('}},
              {"\xFF", {R}, {R}},
              {"\xF8\x88\x80\x80\x80", {R, R, R, R, R}, {R, R, R, R, R}},
              {"\xC0\xAF", {R, R}, {R, R}},
              {"\xE0\x80\xAF", {R, R, R}, {R, R, R}},
              {"\xF4\x90\x80\x80", {R, R, R, R}, {R, R, R, R}},
              {"\xF0\x9F\x98", {R}, {R}},
              {"\xE2\x82\xE2\x82\xAC", {R, 0x20AC}, {R, 0x20AC}},
              {"\xC0\x80", {R, R}, {0}},
              {"\xED\xA0\x80", {R, R, R}, {0xD800}},
              {"\xED\xA0\xBD\xED\xB8\x80", {R, R, R, R, R, R}, {0xD83D, 0xDE00}},
              {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, {0xD83D, 0xDE00}}};
  // The first n units of a converted text, which is freed.
  auto units = [](char16_t* p, size_t n) {
    std::u16string u(p, n);
    std::free(p);
    return u;
  };
  for (const auto& row : rows) {
    const std::string text = std::string("x") + row.bytes + "y";
    const std::u16string standard = u"x" + row.standard + u"y";
    EXPECT_EQ(units(mb_to_wide_dup(text.c_str(), SQL_NTS), standard.size()), standard) << text;
    EXPECT_EQ(units(utf8_to_utf16_dup(text.c_str()), row.internal.size() + 2),
              u"x" + row.internal + u"y")
        << text;
    // The repaired text is the strict reading, written back.
    const std::string fixed = utf8_repaired(text.data(), int64_t(text.size()), Utf8Form::Standard);
    EXPECT_EQ(units(utf8_to_utf16_dup(fixed.c_str()), standard.size() + 1), standard + u'\0');
  }
  // A counted conversion stops before a sequence its count cuts.
  char16_t buf[4];
  int16_t used = -1;
  EXPECT_EQ(utf8_to_utf16_n("x\xE2\x82\xAC", 3, buf, 4, &used), 1);
  EXPECT_EQ(used, 1);
}

TEST(TextConvInvalid, JniFormOfNulIsAccepted) {
  char16_t buf[4] = {1, 1, 1, 1};
  EXPECT_EQ(utf8_to_utf16("a\xC0\x80"
                          "b",
                          buf, 4),
            3);
  EXPECT_EQ(buf[1], 0);
  EXPECT_EQ(buf[2], u'b');
}

TEST(TextConvInvalid, OutputFormReportsWhatTheConversionGives) {
  char16_t buf[8];
  int16_t len = -1;
  EXPECT_EQ(utf8_to_utf16_out("ab\xFF"
                              "cdef",
                              buf, 8, &len),
            0);
  EXPECT_EQ(len, 7);
  EXPECT_EQ(std::u16string(buf),
            u"ab\xFFFD"
            u"cdef");
}

// ---- Buffer rule and the W output form --------------------------------------------

TEST(TextConvBuffer, Utf16ToUtf8BufDoesNotCutACharacter) {
  char buf[8];
  int16_t len = -1;
  // "a" + euro: 4 bytes; size 3 ends inside the euro sign.
  EXPECT_EQ(utf16_to_utf8_buf(u"a\u20AC", buf, 3, &len), -1);
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(len, 1);
  EXPECT_EQ(utf16_to_utf8_buf(u"a\u20AC", buf, 5, &len), 0);
  EXPECT_STREQ(buf, "a\xE2\x82\xAC");
  EXPECT_EQ(len, 4);
  // Half a pair would fit in 5 bytes after 'a'; the pair is left out whole.
  const char16_t apair[] = {u'a', 0xD83D, 0xDE00, 0};
  EXPECT_EQ(utf16_to_utf8_buf(apair, buf, 7, &len), -1);
  EXPECT_STREQ(buf, "a");
  len = 99;
  EXPECT_EQ(utf16_to_utf8_buf(u"a", buf, 0, &len), -1);
  EXPECT_EQ(len, 99);
  EXPECT_EQ(utf16_to_utf8_buf(nullptr, buf, 8, &len), -1);
  EXPECT_EQ(utf16_to_utf8_buf(u"a", nullptr, 8, &len), -1);
  EXPECT_EQ(len, 99);
  EXPECT_EQ(utf16_to_utf8_buf(u"ab", buf, 3, nullptr), 0);
}

TEST(TextConvBuffer, Utf8ToUtf16Buf) {
  char16_t buf[8];
  int16_t len = -1;
  EXPECT_EQ(utf8_to_utf16_buf("h\xC3\xA9llo", buf, 8, &len), 0);
  EXPECT_EQ(std::u16string(buf), u"h\u00E9llo");
  EXPECT_EQ(len, 5);
  EXPECT_EQ(utf8_to_utf16_buf("hello", buf, 3, &len), -1);
  EXPECT_EQ(std::u16string(buf), u"he");
  EXPECT_EQ(len, 2);
  EXPECT_EQ(utf8_to_utf16_buf("hello", buf, 0, &len), -1);
  EXPECT_EQ(len, 2);
}

TEST(TextConvOut, FullLengthWhenCut) {
  char16_t buf[8];
  for (auto& u : buf) u = u'#';
  int16_t len = -1;
  EXPECT_EQ(utf8_to_utf16_out("abcdefghij", buf, 4, &len), -1);
  EXPECT_EQ(len, 10);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(buf[4], u'#');  // nothing written past the size
  EXPECT_EQ(utf8_to_utf16_out("abcdefghij", buf, 0, &len), -1);
  EXPECT_EQ(len, 10);
  EXPECT_EQ(utf8_to_utf16_out("abc", buf, 4, &len), 0);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(len, 3);
}

TEST(TextConvOut, NullDestinationAndSource) {
  int16_t len = -1;
  EXPECT_EQ(utf8_to_utf16_out("x\xC3\xA9", nullptr, 10, &len), 0);
  EXPECT_EQ(len, 2);
  len = 77;
  char16_t buf[4];
  EXPECT_EQ(utf8_to_utf16_out(nullptr, buf, 4, &len), -1);
  EXPECT_EQ(len, 77);
  EXPECT_EQ(utf8_to_utf16_out("x", buf, 4, nullptr), 0);
}

TEST(TextConvOut, CutNeverSplitsAPair) {
  char16_t buf[8];
  int16_t len = -1;
  std::string text = std::string("ab") + kPairStd;  // 4 units
  EXPECT_EQ(utf8_to_utf16_out(text.c_str(), buf, 4, &len), -1);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(std::u16string(buf), u"ab");
  text = std::string("ab") + kPairMod;
  EXPECT_EQ(utf8_to_utf16_out(text.c_str(), buf, 4, &len), -1);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(std::u16string(buf), u"ab");
  EXPECT_EQ(utf8_to_utf16_out(text.c_str(), buf, 5, &len), 0);
  EXPECT_EQ(buf[3], 0xDE00);
}

TEST(TextConvOut, LengthClampsInSixteenBitsAndIsExactIn64) {
  std::string big(40000, 'a');
  int16_t len16 = 0;
  int64_t len64 = 0;
  char16_t buf[4];
  EXPECT_EQ(utf8_to_utf16_out(big.c_str(), buf, 4, &len16), -1);
  EXPECT_EQ(len16, INT16_MAX);
  EXPECT_EQ(utf8_to_utf16_out64(big.c_str(), buf, 4, &len64), -1);
  EXPECT_EQ(len64, 40000);
  int16_t used = 0;
  std::u16string w(40000, u'a');
  std::string out(40000, '\0');
  EXPECT_EQ(utf16_to_utf8_n(w.c_str(), SQL_NTS, &out[0], 40000, &used), 40000);
  EXPECT_EQ(used, INT16_MAX);
}

// ---- Allocating and unbounded forms ---------------------------------------------

TEST(TextConvDup, Utf8ToUtf16DupAndDupn) {
  WStr a(utf8_to_utf16_dup("\xE2\x82\xAC!"));
  EXPECT_EQ(std::u16string(a.get()), u"\u20AC!");
  WStr b(utf8_to_utf16_dupn("abcdef", 3));
  EXPECT_EQ(std::u16string(b.get()), u"abc");
  WStr c(utf8_to_utf16_dupn(kPairStd, SQL_NTS));
  EXPECT_EQ(std::u16string(c.get()), std::u16string(kPair));
  EXPECT_EQ(utf8_to_utf16_dup(nullptr), nullptr);
  EXPECT_EQ(utf8_to_utf16_dupn(nullptr, 3), nullptr);
}

TEST(TextConvDup, CopyAndCpy) {
  char16_t buf[6];
  EXPECT_EQ(utf8_to_utf16_cpy(buf, "h\xC3\xA9"), buf);
  EXPECT_EQ(std::u16string(buf), u"h\u00E9");
  EXPECT_EQ(utf8_to_utf16_copy(buf, "abcdefgh", 4), buf);
  EXPECT_EQ(std::u16string(buf), u"abc");
  buf[0] = u'Q';
  EXPECT_EQ(utf8_to_utf16_copy(buf, nullptr, 4), buf);
  EXPECT_EQ(buf[0], u'Q');
  EXPECT_EQ(utf8_to_utf16_copy(nullptr, "x", 4), nullptr);
}

// ---- Code-page text (standard UTF-8) ------------------------------------------------

TEST(TextConvCodePage, WideToMbIsStandardUtf8SizedByItsLength) {
  CStr a(wide_to_mb_dup(u"\u20AC\u20AC\u20AC", SQL_NTS));
  EXPECT_STREQ(a.get(), "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");
  CStr b(wide_to_mb_dup(u"\u20AC\u20AC\u20AC", 2));
  EXPECT_STREQ(b.get(), "\xE2\x82\xAC\xE2\x82\xAC");
  CStr c(wide_to_mb_dupn(kPair));
  EXPECT_STREQ(c.get(), kPairStd);
  const char16_t lone[] = {u'a', 0xDC00, 0};
  CStr d(wide_to_mb_dupn(lone));
  EXPECT_STREQ(d.get(), "a\xEF\xBF\xBD");
  EXPECT_EQ(wide_to_mb_dup(nullptr, SQL_NTS), nullptr);
}

TEST(TextConvCodePage, MbToWide) {
  WStr a(mb_to_wide_dup("x\xC3\xA9yz", 3));
  EXPECT_EQ(std::u16string(a.get()), u"x\u00E9");
  char16_t buf[8];
  EXPECT_EQ(std::u16string(mb_to_wide_cpy(buf, kPairStd)), std::u16string(kPair));
  EXPECT_EQ(std::u16string(mb_to_wide_copy(buf, "abcdef", 3)), u"ab");
  char out[8];
  EXPECT_STREQ(wide_to_mb_copy(out, u"a\u20ACb", 4), "a");
  EXPECT_STREQ(wide_to_mb_copy(out, u"a\u20ACb", 6),
               "a\xE2\x82\xAC"
               "b");
}

TEST(TextConvCodePage, MbToWideBufCountsBytes) {
  char16_t buf[8];
  int16_t len = -1;
  EXPECT_EQ(mb_to_wide_buf("abc", buf, 16, &len), 0);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(mb_to_wide_buf("abcdef", buf, 8, &len), -1);  // room for 3 + terminator
  EXPECT_EQ(len, 12);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(mb_to_wide_buf("ab", nullptr, 0, &len), 0);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(mb_to_wide_buf("ab", buf, 1, &len), -1);
  EXPECT_EQ(mb_to_wide_buf(nullptr, buf, 8, &len), -1);
}

TEST(TextConvCodePage, MbToUtf8BufGivesTheInternalForm) {
  char buf[16];
  std::string in = std::string("a") + kPairStd;
  EXPECT_EQ(mb_to_utf8_buf(buf, in.c_str(), sizeof buf), buf);
  EXPECT_EQ(std::string(buf), std::string("a") + kPairMod);
  // Seven bytes of room: 'a' and the whole pair need 1 + 6.
  EXPECT_EQ(std::string(mb_to_utf8_buf(buf, in.c_str(), 8)), std::string("a") + kPairMod);
  EXPECT_EQ(std::string(mb_to_utf8_buf(buf, in.c_str(), 7)), "a");
  EXPECT_STREQ(mb_to_utf8_buf(buf, "x\xE2\x82\xAC", 4), "x");
}

// ---- UTF-16 copies ----------------------------------------------------------------

TEST(TextConvWide, CopyOutAndCopyOutLen) {
  char16_t buf[4];
  int16_t len = -1;
  EXPECT_EQ(wide_len(u"abcde"), 5);
  EXPECT_EQ(wide_len(nullptr), 0);
  EXPECT_EQ(wide_copy_out(u"ab", buf, 4, &len), 0);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(wide_copy_out(u"abcde", buf, 4, &len), -1);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(wide_copy_out_len(u"abcde", buf, 4, &len), -1);
  EXPECT_EQ(len, 5);
  EXPECT_EQ(wide_copy_out_len(u"abcde", nullptr, 4, &len), 0);
  EXPECT_EQ(wide_copy_out_len(nullptr, buf, 4, &len), -1);
  const char16_t text[] = {u'a', u'b', 0xD83D, 0xDE00, 0};
  EXPECT_EQ(wide_copy_out(text, buf, 4, &len), -1);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(std::u16string(buf), u"ab");
}

// ---- Case mapping -------------------------------------------------------------------

TEST(TextConvCase, TablesAreSortedAndDeltasMatchTheLayout) {
  for (size_t i = 1; i < case_upper_table_count; ++i)
    ASSERT_LT(case_upper_table[i - 1] & 0xFFFF, case_upper_table[i] & 0xFFFF) << i;
  for (size_t i = 1; i < case_lower_table_count; ++i)
    ASSERT_LT(case_lower_table[i - 1] & 0xFFFF, case_lower_table[i] & 0xFFFF) << i;
  EXPECT_EQ(case_delta_lookup(case_upper_table, case_upper_table_count, u'a'), -32);
  EXPECT_EQ(case_delta_lookup(case_upper_table, case_upper_table_count, 0x00FF), 121);
  EXPECT_EQ(case_delta_lookup(case_upper_table, case_upper_table_count, 0x0131), -232);
  EXPECT_EQ(case_delta_lookup(case_lower_table, case_lower_table_count, u'A'), 32);
  EXPECT_EQ(case_delta_lookup(case_lower_table, case_lower_table_count, 0x0130), -199);
  EXPECT_EQ(case_delta_lookup(case_upper_table, case_upper_table_count, u'1'), 0);
  EXPECT_EQ(case_delta_lookup(case_upper_table, case_upper_table_count, 0x1F600), 0);
}

TEST(TextConvCase, UnitMappings) {
  EXPECT_EQ(wchar_toupper(u'a'), u'A');
  EXPECT_EQ(wchar_toupper(u'i'), u'I');  // never the Turkish dotted capital
  EXPECT_EQ(wchar_tolower(u'I'), u'i');
  EXPECT_EQ(wchar_toupper(0x0131), u'I');
  EXPECT_EQ(wchar_tolower(0x0130), u'i');
  EXPECT_EQ(wchar_toupper(0x00DF), 0x00DF);  // no simple upper case
  EXPECT_EQ(wchar_toupper(0x00FF), 0x0178);
  EXPECT_EQ(wchar_toupper(0x1F80), 0x1F88);
  // Mappings further apart than the entry's magnitude field.
  EXPECT_EQ(wchar_tolower(0xA78D), 0x0265);
  EXPECT_EQ(wchar_toupper(0x0265), 0xA78D);
  EXPECT_EQ(wchar_toupper(0xAB70), 0x13A0);
  EXPECT_EQ(wchar_tolower(0x13A0), 0xAB70);
  EXPECT_EQ(wchar_tolower(0x2C6F), 0x0250);
  EXPECT_EQ(wchar_toupper(0xD83D), 0xD83D);
}

TEST(TextConvCase, SharpSStays) {
  char buf[16] =
      "stra\xC3\x9F"
      "e";
  EXPECT_EQ(utf8_toupper_buf(buf, sizeof buf), buf);
  EXPECT_STREQ(buf,
               "STRA\xC3\x9F"
               "E");
  char alias[16] =
      "stra\xC3\x9F"
      "e";
  EXPECT_STREQ(utf8_to_mb_dup(alias, sizeof alias),
               "STRA\xC3\x9F"
               "E");
  EXPECT_STREQ(utf8_to_mb_buf(alias, sizeof alias),
               "stra\xC3\x9F"
               "e");
}

TEST(TextConvCase, TurkishDottedAndDotlessI) {
  char up[16] =
      "\xC4\xB1"
      "i";  // dotless i, i
  EXPECT_STREQ(utf8_toupper_buf(up, sizeof up), "II");
  char low[16] =
      "\xC4\xB0"
      "I";  // dotted capital I, I
  EXPECT_STREQ(utf8_tolower_buf(low, sizeof low), "ii");
}

TEST(TextConvCase, GrowingTextIsCutOnACharacterBoundary) {
  // U+023A (2 bytes) lowers to U+2C65 (3 bytes).
  char buf[5] = "\xC8\xBA\xC8\xBA";
  EXPECT_STREQ(utf8_tolower_buf(buf, sizeof buf), "\xE2\xB1\xA5");
  char room[8] = "\xC8\xBA\xC8\xBA";
  EXPECT_STREQ(utf8_tolower_buf(room, sizeof room), "\xE2\xB1\xA5\xE2\xB1\xA5");
}

TEST(TextConvCase, OtherBytesKeptAsTheyAre) {
  char buf[32];
  std::string in = std::string("a") + kPairStd +
                   "b\xFF"
                   "c" +
                   kPairMod + "d\xC0\x80";
  std::snprintf(buf, sizeof buf, "%s", in.c_str());
  std::string want = std::string("A") + kPairStd +
                     "B\xFF"
                     "C" +
                     kPairMod + "D\xC0\x80";
  EXPECT_EQ(std::string(utf8_toupper_buf(buf, sizeof buf)), want);
  // The size bounds what is read as well as what is written.
  char nonul[4] = {'a', 'b', 'c', 'd'};
  EXPECT_STREQ(utf8_toupper_buf(nonul, sizeof nonul), "ABC");
  EXPECT_EQ(utf8_toupper_buf(nullptr, 4), nullptr);
}

TEST(TextConvCut, NeverEndsInsideACharacter) {
  // "a" U+00E9 U+20AC U+1F600: sequences of 1, 2, 3 and 4 bytes; then five
  // stray continuation bytes, which only the bounded form gives up on.
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::string stray = "ab\x80\x80\x80\x80\x80";
  struct Row {
    const std::string* s;
    size_t max, whole, bounded;
  } rows[] = {
      {&text, 20, 10, 10}, {&text, 10, 10, 10}, {&text, 9, 6, 6}, {&text, 7, 6, 6},
      {&text, 6, 6, 6},    {&text, 5, 3, 3},    {&text, 2, 1, 1}, {&text, 0, 0, 0},
      {&stray, 6, 1, 6},   {&stray, 4, 1, 1},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(utf8_prefix_len(r.s->data(), r.s->size(), r.max), r.whole) << "max " << r.max;
    EXPECT_EQ(utf8_prefix_len_bounded(r.s->data(), r.s->size(), r.max), r.bounded)
        << "max " << r.max;
  }
}

}  // namespace
