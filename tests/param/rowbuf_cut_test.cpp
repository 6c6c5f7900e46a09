// Row buffers rewritten in place: wide text made 8-bit for an agent that
// takes none, and values cut to a maximum length. Every value must stay
// inside its element and no cut may split a character.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/rowset/rowbuf_cut.h"

namespace {

struct Set {
  COLSET s;
  Set(uint32_t type, uint32_t width, uint32_t rows) {
    EXPECT_EQ(0, ColSetInit(&s, 1));
    s.cols[0].type = type;
    s.cols[0].elem_size = width;
    s.cols_used = 1;
    EXPECT_EQ(0, ColSetSetRows(&s, rows));
    s.rows_held = rows;
  }
  ~Set() { ColSetFreeColumns(&s); }
  COLSET_COL& col() { return s.cols[0]; }
  unsigned char* at(uint32_t r) { return col().data + static_cast<size_t>(r) * col().elem_size; }
  void fixedWide(uint32_t r, const std::u16string& v) {
    std::memcpy(at(r), v.data(), v.size() * 2);
    col().ind[r] = 0;
  }
  void counted(uint32_t r, const std::string& bytes, uint32_t count) {
    std::memcpy(at(r), &count, 4);
    std::memcpy(at(r) + 4, bytes.data(), bytes.size());
    col().ind[r] = 0;
  }
  void countedWide(uint32_t r, const std::u16string& v) {
    counted(r, std::string(reinterpret_cast<const char*>(v.data()), v.size() * 2),
            static_cast<uint32_t>(v.size()));
  }
  void longValue(uint32_t r, const void* bytes, size_t n, uint32_t length) {
    COLSET_LONG l{length, std::malloc(n + 2)};
    std::memcpy(l.value, bytes, n);
    std::memset(static_cast<char*>(l.value) + n, 0, 2);
    std::memcpy(at(r), &l, sizeof l);
    col().ind[r] = 0;
  }
  COLSET_LONG longAt(uint32_t r) {
    COLSET_LONG l;
    std::memcpy(&l, at(r), sizeof l);
    return l;
  }
  std::string nts(uint32_t r) {
    return std::string(reinterpret_cast<const char*>(at(r)),
                       strnlen(reinterpret_cast<const char*>(at(r)), col().elem_size));
  }
  uint32_t count(uint32_t r) {
    uint32_t v;
    std::memcpy(&v, at(r), 4);
    return v;
  }
  std::string prefixed(uint32_t r) {
    return std::string(reinterpret_cast<const char*>(at(r)) + 4, count(r));
  }
};

const std::string kEuro = "\xE2\x82\xAC";

TEST(NarrowWide, FixedWideKeepsRowPositionsAndNulls) {
  Set t(COLSET_VT_WCHAR, 4, 3);  // two characters each
  t.fixedWide(0, u"ab");
  t.fixedWide(2, u"cd");
  ASSERT_EQ(0, RB_NarrowWideCols(&t.s));
  EXPECT_EQ(COLSET_VT_NTS, t.col().type);
  EXPECT_EQ(4u, t.col().elem_size);  // "ab" and its NUL fit: the width stays
  EXPECT_EQ("ab", t.nts(0));
  EXPECT_EQ(COLSET_IND_NULL, t.col().ind[1]);
  EXPECT_EQ("cd", t.nts(2));
}

TEST(NarrowWide, CountedWideKeepsItsCountForPlainText) {
  Set t(COLSET_VT_WCHAR32, ColSetTypeSize(COLSET_VT_WCHAR32, 3), 1);
  t.countedWide(0, u"xyz");
  ASSERT_EQ(0, RB_NarrowWideCols(&t.s));
  EXPECT_EQ(COLSET_VT_CHAR32, t.col().type);
  EXPECT_EQ(3u, t.count(0));
  EXPECT_EQ("xyz", t.prefixed(0));
}

TEST(NarrowWide, TextLongerInUtf8ThanTheElementArrivesWhole) {
  // Three euro signs: 6 bytes of UTF-16, 9 of UTF-8 behind a 4-byte count in
  // a 12-byte element. Written in place it would run into the next row.
  Set t(COLSET_VT_WCHAR32, ColSetTypeSize(COLSET_VT_WCHAR32, 3), 2);
  t.countedWide(0, u"\u20AC\u20AC\u20AC");
  t.countedWide(1, u"ok");
  ASSERT_EQ(0, RB_NarrowWideCols(&t.s));
  EXPECT_EQ(COLSET_VT_CHAR32, t.col().type);
  EXPECT_GE(t.col().elem_size, 13u);
  EXPECT_EQ(9u, t.count(0));  // the count follows the bytes
  EXPECT_EQ(kEuro + kEuro + kEuro, t.prefixed(0));
  EXPECT_EQ("ok", t.prefixed(1));
}

TEST(NarrowWide, TerminatedAndFixedWideGrowForTheirTerminator) {
  Set n(COLSET_VT_WNTS, ColSetTypeSize(COLSET_VT_WNTS, 2), 1);  // 6 bytes
  n.fixedWide(0, u"\u20AC\u20AC");
  Set f(COLSET_VT_WCHAR, 4, 1);
  f.fixedWide(0, u"\u00E9\u20AC");
  ASSERT_EQ(0, RB_NarrowWideCols(&n.s));
  ASSERT_EQ(0, RB_NarrowWideCols(&f.s));
  EXPECT_EQ(kEuro + kEuro, n.nts(0));
  EXPECT_GE(n.col().elem_size, 7u);
  EXPECT_EQ("\xC3\xA9" + kEuro, f.nts(0));
  EXPECT_GE(f.col().elem_size, 6u);
}

TEST(NarrowWide, SurrogatesBecomeOneCharacterOrAReplacement) {
  Set t(COLSET_VT_WCHAR32, ColSetTypeSize(COLSET_VT_WCHAR32, 4), 1);
  const std::u16string v = {0xD834, 0xDD1E, u'a', 0xD800};  // G clef, 'a', lone high half
  t.countedWide(0, v);
  ASSERT_EQ(0, RB_NarrowWideCols(&t.s));
  EXPECT_EQ(
      "\xF0\x9D\x84\x9E"
      "a"
      "\xEF\xBF\xBD",
      t.prefixed(0));
}

TEST(NarrowWide, LongWideBecomesLongTextWithItsByteLength) {
  Set t(COLSET_VT_LONGWCHAR, sizeof(COLSET_LONG), 2);
  const char16_t v[] = u"\u00E9!";
  t.longValue(0, v, 4, 2);
  ASSERT_EQ(0, RB_NarrowWideCols(&t.s));
  EXPECT_EQ(COLSET_VT_LONGCHAR, t.col().type);
  const COLSET_LONG l = t.longAt(0);
  ASSERT_EQ(3u, l.length);
  EXPECT_EQ(std::string("\xC3\xA9!"), std::string(static_cast<const char*>(l.value)));
  EXPECT_EQ(nullptr, t.longAt(1).value);
}

TEST(NarrowWide, RowsWithoutAValueAndOtherColumnsStayAsTheyAre) {
  Set t(COLSET_VT_WCHAR32, ColSetTypeSize(COLSET_VT_WCHAR32, 2), 1);
  t.countedWide(0, u"ab");
  t.col().ind[0] = COLSET_IND_DAE;
  ASSERT_EQ(0, RB_NarrowWideCols(&t.s));
  EXPECT_EQ(COLSET_VT_CHAR32, t.col().type);
  EXPECT_EQ(2u, t.count(0));  // untouched UTF-16 bytes: nobody reads them
  EXPECT_EQ(0, std::memcmp(t.at(0) + 4, u"ab", 4));

  Set plain(COLSET_VT_CHAR32, 12, 1);
  plain.counted(0, "abc", 3);
  ASSERT_EQ(0, RB_NarrowWideCols(&plain.s));
  EXPECT_EQ(COLSET_VT_CHAR32, plain.col().type);
  EXPECT_EQ("abc", plain.prefixed(0));
  EXPECT_EQ(0, RB_NarrowWideCols(nullptr));
}

TEST(CutToLength, FixedTextWiderThanTheLimitBecomesPrefixed) {
  Set wide(COLSET_VT_CHAR, 10, 2);
  std::memcpy(wide.at(0), "0123456789", 10);
  wide.col().ind[0] = 0;
  Set narrow(COLSET_VT_CHAR, 5, 1);
  std::memcpy(narrow.at(0), "abcde", 5);
  narrow.col().ind[0] = 0;
  ASSERT_EQ(0, RB_GrowColBuffers(&wide.s, 5));
  ASSERT_EQ(0, RB_GrowColBuffers(&narrow.s, 5));
  EXPECT_EQ(COLSET_VT_CHAR32, wide.col().type);
  EXPECT_EQ("01234", wide.prefixed(0));
  EXPECT_EQ(COLSET_IND_NULL, wide.col().ind[1]);
  EXPECT_EQ(COLSET_VT_CHAR, narrow.col().type);
  EXPECT_EQ(0, std::memcmp(narrow.at(0), "abcde", 5));
}

TEST(CutToLength, TerminatedTextIsCutOnlyWhenItCanExceedTheLimit) {
  Set six(COLSET_VT_NTS, 6, 1);
  std::memcpy(six.at(0), "abcde", 6);
  six.col().ind[0] = 0;
  Set seven(COLSET_VT_NTS, 7, 1);
  std::memcpy(seven.at(0), "abcdef", 7);
  seven.col().ind[0] = 0;
  ASSERT_EQ(0, RB_GrowColBuffers(&six.s, 5));
  ASSERT_EQ(0, RB_GrowColBuffers(&seven.s, 5));
  EXPECT_EQ("abcde", six.nts(0));
  EXPECT_EQ("abcde", seven.nts(0));
}

TEST(CutToLength, NoCutSplitsACharacter) {
  Set nts(COLSET_VT_NTS, 10, 1);
  const std::string v = "abcd" + kEuro;  // the euro sign spans bytes 4 to 6
  std::memcpy(nts.at(0), v.c_str(), v.size() + 1);
  nts.col().ind[0] = 0;
  ASSERT_EQ(0, RB_GrowColBuffers(&nts.s, 5));
  EXPECT_EQ("abcd", nts.nts(0));

  Set counted(COLSET_VT_CHAR32, 16, 1);
  counted.counted(0, "\xC3\xA9\xC3\xA9\xC3\xA9", 6);
  ASSERT_EQ(0, RB_GrowColBuffers(&counted.s, 5));
  EXPECT_EQ(4u, counted.count(0));

  Set wide(COLSET_VT_WCHAR32, ColSetTypeSize(COLSET_VT_WCHAR32, 7), 1);
  const std::u16string w = {u'a', u'b', u'c', u'd', 0xD834, 0xDD1E, u'e'};
  wide.countedWide(0, w);
  ASSERT_EQ(0, RB_GrowColBuffers(&wide.s, 5));
  EXPECT_EQ(4u, wide.count(0));  // the pair at 4-5 goes whole

  Set bytes(COLSET_VT_BINARY32, 16, 1);
  bytes.counted(0, "\xC3\xA9\xC3\xA9\xC3\xA9", 6);
  ASSERT_EQ(0, RB_GrowColBuffers(&bytes.s, 5));
  EXPECT_EQ(5u, bytes.count(0));  // bytes are bytes
}

TEST(CutToLength, FixedWideBecomesCountedAndLongValuesKeepTheirBuffers) {
  Set wide(COLSET_VT_WCHAR, 20, 1);
  wide.fixedWide(0, u"0123456789");
  ASSERT_EQ(0, RB_GrowColBuffers(&wide.s, 5));
  EXPECT_EQ(COLSET_VT_WCHAR32, wide.col().type);
  EXPECT_EQ(5u, wide.count(0));
  EXPECT_EQ(0, std::memcmp(wide.at(0) + 4, u"01234", 10));

  Set lng(COLSET_VT_LONGBINARY, sizeof(COLSET_LONG), 2);
  lng.longValue(0, "0123456789", 10, 10);
  lng.longValue(1, "012", 3, 3);
  ASSERT_EQ(0, RB_GrowColBuffers(&lng.s, 5));
  EXPECT_EQ(5u, lng.longAt(0).length);
  EXPECT_EQ(3u, lng.longAt(1).length);

  Set small(COLSET_VT_CHAR8, 12, 1);
  small.at(0)[0] = 9;
  std::memcpy(small.at(0) + 1, "123456789", 9);
  small.col().ind[0] = 0;
  ASSERT_EQ(0, RB_GrowColBuffers(&small.s, 5));
  EXPECT_EQ(5, small.at(0)[0]);
}

TEST(CutToLength, NullRowsAndNumbersAreLeftAlone) {
  Set nts(COLSET_VT_NTS, 10, 1);
  std::memcpy(nts.at(0), "abcdefgh", 9);  // NULL row: stale bytes not touched
  ASSERT_EQ(0, RB_GrowColBuffers(&nts.s, 3));
  EXPECT_EQ("abcdefgh", nts.nts(0));
  Set num(COLSET_VT_INTEGER, 4, 1);
  const int32_t v = 123456;
  std::memcpy(num.at(0), &v, 4);
  num.col().ind[0] = 0;
  ASSERT_EQ(0, RB_GrowColBuffers(&num.s, 1));
  int32_t back = 0;
  std::memcpy(&back, num.at(0), 4);
  EXPECT_EQ(v, back);
}

TEST(NarrowDescriptions, WideTypesBecomeTheirNarrowForms) {
  JdbcColBind d[3] = {{SQL_WVARCHAR, static_cast<uint16_t>(SQL_C_WCHAR), 10, 0, 1},
                      {SQL_WLONGVARCHAR, static_cast<uint16_t>(SQL_C_WCHAR), 10, 0, 1},
                      {SQL_INTEGER, static_cast<uint16_t>(SQL_C_LONG), 10, 0, 1}};
  ParamDescsNarrowTypes(d, 3);
  EXPECT_EQ(SQL_VARCHAR, d[0].sqlType);
  EXPECT_EQ(static_cast<uint32_t>(SQL_C_CHAR), d[0].unused);
  EXPECT_EQ(SQL_LONGVARCHAR, d[1].sqlType);
  EXPECT_EQ(SQL_INTEGER, d[2].sqlType);
  EXPECT_EQ(static_cast<uint32_t>(static_cast<uint16_t>(SQL_C_LONG)), d[2].unused);
}

}  // namespace
