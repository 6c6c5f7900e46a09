// Byte values as bytes and as hexadecimal text, whole and in pieces; the
// unknown total is passed on, never scaled.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/rowset/convert.h"
#include "util/errcodes.h"

namespace {

constexpr int32_t kNone = -999;

struct Out {
  SQLRETURN rc;
  int32_t code;
  int64_t length;
  int64_t consumed;
  unsigned char buf[64];
};

Out Bin(const std::string& bytes, int16_t t, int64_t bufLen = 64, int64_t total = -100) {
  Out o{};
  std::memset(o.buf, 0xEE, sizeof o.buf);
  o.code = kNone;
  o.length = -77;
  o.consumed = -1;
  const auto n = static_cast<int64_t>(bytes.size());
  o.rc = ConvertBINARY(bytes.data(), n, total == -100 ? n : total, t, o.buf, bufLen, &o.length,
                       &o.code, &o.consumed);
  return o;
}

std::string Text(const Out& o) { return reinterpret_cast<const char*>(o.buf); }
std::u16string WText(const Out& o) { return reinterpret_cast<const char16_t*>(o.buf); }

const std::string kTwo("\x01\xAB", 2);

TEST(BinaryToHex, CharTargets) {
  Out o = Bin(kTwo, SQL_C_CHAR);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(Text(o), "01AB");
  EXPECT_EQ(o.length, 4);
  EXPECT_EQ(o.consumed, 2);
  o = Bin(kTwo, SQL_C_CHAR, 4);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_TRUNCATED);
  EXPECT_EQ(Text(o), "01");
  EXPECT_EQ(o.consumed, 1);
  EXPECT_EQ(o.length, 4);
  o = Bin(kTwo, SQL_C_CHAR, 1);
  EXPECT_EQ(o.buf[0], 0);
  EXPECT_EQ(o.consumed, 0);
  o = Bin(kTwo, SQL_C_CHAR, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.buf[0], 0xEE) << "no terminator in a buffer of 0";
  EXPECT_EQ(Bin(kTwo, SQL_C_CHAR, -2).code, ERR_INVALID_LENGTH);
  EXPECT_EQ(Bin(std::string("\x00\xff\x10", 3), SQL_C_CHAR).length, 6);
  EXPECT_EQ(Text(Bin(std::string("\x00\xff\x10", 3), SQL_C_CHAR)), "00FF10");
}

TEST(BinaryToHex, WideTargets) {
  Out o = Bin(kTwo, SQL_C_WCHAR);
  EXPECT_EQ(WText(o), u"01AB");
  EXPECT_EQ(o.length, 8);
  o = Bin(kTwo, SQL_C_WCHAR, 9);  // 4L + 2 = 10 needed
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(WText(o), u"01");
  EXPECT_EQ(o.consumed, 1);
  o = Bin(kTwo, SQL_C_WCHAR, 1);
  EXPECT_EQ(o.buf[0], 0xEE) << "no room for the 2-byte terminator";
  EXPECT_EQ(o.consumed, 0);
}

TEST(BinaryToHex, PiecesResumeAtTheConsumedByte) {
  const std::string value("\x10\x32\x54\x76\x98", 5);
  for (int64_t buf : {3, 4, 5, 8, 11}) {
    std::string acc;
    int64_t pos = 0;
    int calls = 0;
    while (pos < 5 && calls++ < 20) {
      const Out o = Bin(value.substr(static_cast<size_t>(pos)), SQL_C_CHAR, buf);
      EXPECT_EQ(o.length, 2 * (5 - pos)) << "twice the bytes left";
      acc += Text(o);
      pos += o.consumed;
    }
    EXPECT_EQ(acc, "1032547698") << "buffer " << buf;
  }
}

TEST(BinaryToBinary, CutAllowedAndCounted) {
  Out o = Bin("abcde", SQL_C_BINARY, 3);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(o.buf), 3), "abc");
  EXPECT_EQ(o.buf[3], 0xEE) << "no terminator";
  EXPECT_EQ(o.consumed, 3);
  EXPECT_EQ(o.length, 5);
  o = Bin("abcde", SQL_C_BINARY, 5);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(o.consumed, 5);
}

TEST(BinaryTotals, NoTotalIsPassedOnUnchanged) {
  for (int16_t t : {SQL_C_CHAR, SQL_C_WCHAR, SQL_C_BINARY}) {
    const Out o = Bin(kTwo, t, 64, SQL_NO_TOTAL);
    EXPECT_EQ(o.length, SQL_NO_TOTAL) << CvtTraceType(t);
    EXPECT_EQ(o.rc, SQL_SUCCESS) << CvtTraceType(t) << ": an unknown total is never larger";
  }
}

TEST(BinaryTotals, KnownTotalBeyondThisPieceIsScaledAndTruncates) {
  Out o = Bin(kTwo, SQL_C_CHAR, 64, 10);
  EXPECT_EQ(o.length, 20);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Text(o), "01AB");
  o = Bin(kTwo, SQL_C_WCHAR, 64, 10);
  EXPECT_EQ(o.length, 40);
  o = Bin(kTwo, SQL_C_BINARY, 64, 10);
  EXPECT_EQ(o.length, 10);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
}

TEST(BinaryOther, RestrictedTypes) {
  for (int16_t t : {SQL_C_LONG, SQL_C_DOUBLE, SQL_C_GUID, SQL_C_TYPE_DATE, SQL_C_NUMERIC}) {
    const Out o = Bin(kTwo, t);
    EXPECT_EQ(o.rc, SQL_ERROR);
    EXPECT_EQ(o.code, ERR_RESTRICTED_TYPE) << CvtTraceType(t);
  }
}

TEST(TraceNames, CTypesAndUnknown) {
  EXPECT_STREQ(CvtTraceType(SQL_C_TYPE_TIMESTAMP), "SQL_C_TYPE_TIMESTAMP");
  EXPECT_STREQ(CvtTraceType(SQL_C_UBIGINT), "SQL_C_UBIGINT");
  EXPECT_STREQ(CvtTraceType(12345), "(unknown type)");
}

}  // namespace
