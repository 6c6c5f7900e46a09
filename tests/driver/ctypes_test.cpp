// The copy-out family and hex digits.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>

#include "driver/ctypes.h"
#include "util/errcodes.h"

namespace {

TEST(CopyOut, BytesTruncationAndRoom) {
  const char text[] = "0123456789";
  char buf[16];
  int64_t len = 0;
  int32_t code = 0;
  EXPECT_EQ(1, DATA_CopyOut(text, 10, 10, 0, true, true, buf, 10, &len, &code));
  EXPECT_EQ(ERR_TRUNCATED, code);
  EXPECT_STREQ("012345678", buf);
  EXPECT_EQ(10, len);

  code = 0;
  EXPECT_EQ(0, DATA_CopyOut(text, 10, 10, 0, true, true, buf, 11, &len, &code));
  EXPECT_STREQ("0123456789", buf);
  EXPECT_EQ(0, code);

  code = 0;
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(1, DATA_CopyOut(text, 10, 10, 0, true, true, buf, 0, &len, &code));
  EXPECT_EQ('z', buf[0]);
  EXPECT_EQ(10, len);

  // A piece of a long value whose total is unknown.
  code = 0;
  EXPECT_EQ(0, DATA_CopyOut(text, 4, 4, SQL_NO_TOTAL, true, true, buf, 16, &len, &code));
  EXPECT_EQ(SQL_NO_TOTAL, len);
  // A piece with more to come.
  code = 0;
  EXPECT_EQ(1, DATA_CopyOut(text, 4, 4, 100, true, true, buf, 16, &len, &code));
  EXPECT_EQ(100, len);

  // Truncation not allowed.
  code = 0;
  EXPECT_EQ(-1, DATA_CopyOut(text, 8, 8, 0, false, false, buf, 4, &len, &code));
  EXPECT_EQ(ERR_NUMERIC_RANGE, code);
}

TEST(CopyOut, NegativeSizeIsRefusedEverywhere) {
  char buf[4];
  char16_t wbuf[4];
  const char16_t wide[] = u"ab";
  int64_t len = 77;
  int32_t code = 0;
  EXPECT_EQ(-1, DATA_CopyOut("ab", 2, 2, 0, true, true, buf, -1, &len, &code));
  EXPECT_EQ(ERR_INVALID_LENGTH, code);
  EXPECT_EQ(77, len);
  code = 0;
  EXPECT_EQ(-1, DATA_CopyOutA(wide, 2, 2, 0, true, true, buf, -5, &len, &code));
  EXPECT_EQ(ERR_INVALID_LENGTH, code);
  code = 0;
  EXPECT_EQ(-1, DATA_CopyOutW("ab", 2, 2, 0, true, true, wbuf, -2, &len, &code));
  EXPECT_EQ(ERR_INVALID_LENGTH, code);
  code = 0;
  EXPECT_EQ(-1, DATA_CopyOutWide(wide, 4, 4, 0, true, true, wbuf, -8, &len, &code));
  EXPECT_EQ(ERR_INVALID_LENGTH, code);
}

TEST(CopyOut, Utf8ToUtf16) {
  char16_t buf[8];
  int64_t len = 0;
  int32_t code = 0;
  // Five characters into ten bytes with a terminator: four and a 0 unit.
  EXPECT_EQ(1, DATA_CopyOutW("abcde", 5, 5, 0, true, true, buf, 10, &len, &code));
  EXPECT_EQ(std::u16string(u"abcd"), std::u16string(buf));
  EXPECT_EQ(10, len);
  // Lengths count UTF-16 units, not bytes of the source.
  code = 0;
  EXPECT_EQ(0, DATA_CopyOutW("\xC3\xA9t\xC3\xA9", 5, 5, 0, true, true, buf, 16, &len, &code));
  EXPECT_EQ(std::u16string(u"\u00e9t\u00e9"), std::u16string(buf));
  EXPECT_EQ(6, len);
  // One byte has no room for a unit: nothing at all is written.
  code = 0;
  buf[0] = u'Q';
  EXPECT_EQ(1, DATA_CopyOutW("abc", 3, 3, 0, true, true, buf, 1, &len, &code));
  EXPECT_EQ(u'Q', buf[0]);
  EXPECT_EQ(ERR_TRUNCATED, code);
}

TEST(CopyOut, Utf16ToUtf8NeverSplitsACharacter) {
  char buf[8];
  int64_t len = 0;
  int32_t code = 0;
  const char16_t text[] = u"a\u20ac\u20ac";  // 1 + 3 + 3 bytes
  EXPECT_EQ(1, DATA_CopyOutA(text, 3, 3, 0, true, true, buf, 6, &len, &code));
  EXPECT_STREQ("a\xE2\x82\xAC", buf);
  EXPECT_EQ(7, len);
  const char16_t pair[] = {0xD83D, 0xDE00, 0};  // one character, four bytes
  code = 0;
  EXPECT_EQ(0, DATA_CopyOutA(pair, 2, 2, 0, true, true, buf, 8, &len, &code));
  EXPECT_STREQ("\xF0\x9F\x98\x80", buf);
  EXPECT_EQ(4, len);
}

TEST(CopyOut, Utf16ToUtf16) {
  char16_t buf[8];
  int64_t len = 0;
  int32_t code = 0;
  const char16_t text[] = u"abcdef";
  EXPECT_EQ(1, DATA_CopyOutWide(text, 12, 12, 0, true, true, buf, 9, &len, &code));
  EXPECT_EQ(std::u16string(u"abc"), std::u16string(buf));  // (9 & ~1) - 2 = 6 bytes
  EXPECT_EQ(12, len);
  // A cut never leaves half a surrogate pair behind.
  const char16_t pair[] = {u'a', 0xD83D, 0xDE00, 0};
  code = 0;
  EXPECT_EQ(1, DATA_CopyOutWide(pair, 6, 6, 0, true, true, buf, 6, &len, &code));
  EXPECT_EQ(std::u16string(u"a"), std::u16string(buf));
  code = 0;
  buf[0] = u'Q';
  EXPECT_EQ(1, DATA_CopyOutWide(text, 12, 12, 0, true, true, buf, 1, &len, &code));
  EXPECT_EQ(u'Q', buf[0]);
}

TEST(Hex, DigitsAndBytes) {
  EXPECT_EQ(10, HEX_Digit('a'));
  EXPECT_EQ(15, HEX_Digit('F'));
  EXPECT_EQ(9, HEX_Digit('9'));
  EXPECT_EQ(0, HEX_Digit('g'));
  uint8_t out[3] = {0xEE, 0xEE, 0xEE};
  HEX_ToBin(out, "0A1b7", 5);  // the odd last digit is ignored
  EXPECT_EQ(0x0A, out[0]);
  EXPECT_EQ(0x1B, out[1]);
  EXPECT_EQ(0xEE, out[2]);
}

}  // namespace
