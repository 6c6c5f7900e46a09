// Text and wide text to every C type: numbers with their range and format
// errors, GUIDs, and text copies that read in pieces never split a character.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "driver/rowset/convert.h"
#include "driver/rowset/convert_internal.h"
#include "util/errcodes.h"

namespace {

constexpr int32_t kNone = -999;  // pending code before a call

struct Out {
  SQLRETURN rc;
  int32_t code;
  int64_t length;
  int64_t consumed;
  unsigned char buf[64];
};

Out Char(const std::string& text, int16_t cType, int64_t bufLen = 64, int16_t scale = 0,
         uint16_t precision = 0, int64_t total = -100) {
  Out o{};
  std::memset(o.buf, 0xEE, sizeof o.buf);
  o.code = kNone;
  o.length = -77;
  const auto n = static_cast<int64_t>(text.size());
  o.rc = ConvertCHAR(text.data(), n, total == -100 ? n : total, cType, o.buf, bufLen, &o.length,
                     &o.code, scale, precision, &o.consumed);
  return o;
}

Out Wide(const std::u16string& text, int16_t cType, int64_t bufLen = 64, int64_t total = -100) {
  Out o{};
  std::memset(o.buf, 0xEE, sizeof o.buf);
  o.code = kNone;
  o.length = -77;
  const auto n = static_cast<int64_t>(text.size()) * 2;
  o.rc = ConvertWCHAR(text.data(), n, total == -100 ? n : total, cType, o.buf, bufLen, &o.length,
                      &o.code, 0, 0, &o.consumed);
  return o;
}

template <class T>
T As(const Out& o) {
  T v;
  std::memcpy(&v, o.buf, sizeof v);
  return v;
}

// Reads a signed value of the C type's width from the buffer.
int64_t IntOf(const Out& o, int16_t cType) {
  switch (cType) {
    case SQL_C_BIT:
    case SQL_C_UTINYINT: return As<uint8_t>(o);
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return As<int8_t>(o);
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return As<int16_t>(o);
    case SQL_C_USHORT: return As<uint16_t>(o);
    case SQL_C_LONG:
    case SQL_C_SLONG: return As<int32_t>(o);
    case SQL_C_ULONG: return As<uint32_t>(o);
    default: return As<int64_t>(o);
  }
}

const int16_t kIntegerTypes[] = {SQL_C_TINYINT, SQL_C_STINYINT, SQL_C_UTINYINT, SQL_C_SHORT,
                                 SQL_C_SSHORT,  SQL_C_USHORT,   SQL_C_LONG,     SQL_C_SLONG,
                                 SQL_C_ULONG,   SQL_C_SBIGINT,  SQL_C_UBIGINT};

TEST(TextToInteger, BlanksAroundADigitsAreAcceptedByEveryIntegerType) {
  for (int16_t t : kIntegerTypes) {
    const Out o = Char("  42  ", t);
    EXPECT_EQ(o.rc, SQL_SUCCESS) << CvtTraceType(t);
    EXPECT_EQ(IntOf(o, t), 42) << CvtTraceType(t);
    EXPECT_EQ(o.code, kNone) << "a clean conversion leaves the pending code alone";
  }
}

TEST(TextToInteger, TextThatIsNotANumberIsAFormatError) {
  for (const char* text : {"42x", "4 2", "", "   ", "-", "+", ".", "1e", "0x10", "1..2", "--1"}) {
    for (int16_t t : kIntegerTypes) {
      const Out o = Char(text, t);
      EXPECT_EQ(o.rc, SQL_ERROR) << text << " " << CvtTraceType(t);
      EXPECT_EQ(o.code, ERR_ASSIGNMENT) << text << " " << CvtTraceType(t);
      EXPECT_EQ(o.buf[0], 0xEE) << "target left unwritten";
    }
  }
}

struct RangeCase {
  const char* text;
  int16_t cType;
  bool fits;
  int64_t value;  // bits as int64 for the 64-bit targets
};

TEST(TextToInteger, RangeOfEachTargetIsExact) {
  const RangeCase cases[] = {
      {"255", SQL_C_UTINYINT, true, 255},
      {"256", SQL_C_UTINYINT, false, 0},
      {"-0", SQL_C_UTINYINT, true, 0},
      {"-1", SQL_C_UTINYINT, false, 0},
      {"127", SQL_C_TINYINT, true, 127},
      {"128", SQL_C_STINYINT, false, 0},
      {"-128", SQL_C_STINYINT, true, -128},
      {"-129", SQL_C_TINYINT, false, 0},
      {"32767", SQL_C_SHORT, true, 32767},
      {"32768", SQL_C_SSHORT, false, 0},
      {"-32768", SQL_C_SHORT, true, -32768},
      {"65535", SQL_C_USHORT, true, 65535},
      {"65536", SQL_C_USHORT, false, 0},
      {"2147483647", SQL_C_LONG, true, 2147483647},
      {"2147483648", SQL_C_SLONG, false, 0},
      {"-2147483648", SQL_C_LONG, true, INT32_MIN},
      {"-2147483649", SQL_C_LONG, false, 0},
      {"4294967295", SQL_C_ULONG, true, 4294967295LL},
      {"4294967296", SQL_C_ULONG, false, 0},
      {"-0", SQL_C_ULONG, true, 0},
      {"-1", SQL_C_ULONG, false, 0},
      {"9223372036854775807", SQL_C_SBIGINT, true, INT64_MAX},
      {"9223372036854775808", SQL_C_SBIGINT, false, 0},
      {"-9223372036854775808", SQL_C_SBIGINT, true, INT64_MIN},
      {"-9223372036854775809", SQL_C_SBIGINT, false, 0},
      {"18446744073709551615", SQL_C_UBIGINT, true, -1},
      {"18446744073709551616", SQL_C_UBIGINT, false, 0},
      {"-1", SQL_C_UBIGINT, false, 0},
      {"123456789012345678901234567890", SQL_C_UBIGINT, false, 0},
      {"1e30", SQL_C_SBIGINT, false, 0},
      {"1e19", SQL_C_UBIGINT, true, -8446744073709551616LL},
      {"0e25", SQL_C_SBIGINT, true, 0},  // zero however far it is shifted
      {"-00.0e400", SQL_C_UTINYINT, true, 0},
      {"1", SQL_C_BIT, true, 1},
      {"0", SQL_C_BIT, true, 0},
      {"2", SQL_C_BIT, false, 0},
      {"-1", SQL_C_BIT, false, 0},
  };
  for (const auto& c : cases) {
    const Out o = Char(c.text, c.cType);
    if (c.fits) {
      EXPECT_EQ(o.rc, SQL_SUCCESS) << c.text << " " << CvtTraceType(c.cType);
      EXPECT_EQ(IntOf(o, c.cType), c.value) << c.text << " " << CvtTraceType(c.cType);
    } else {
      EXPECT_EQ(o.rc, SQL_ERROR) << c.text << " " << CvtTraceType(c.cType);
      EXPECT_EQ(o.code, ERR_NUMERIC_RANGE) << c.text << " " << CvtTraceType(c.cType);
    }
  }
}

TEST(TextToInteger, NonNumericTextToBitIsAFormatErrorNotARangeError) {
  EXPECT_EQ(Char("x", SQL_C_BIT).code, ERR_ASSIGNMENT);
  EXPECT_EQ(Char("2", SQL_C_BIT).code, ERR_NUMERIC_RANGE);
}

TEST(TextToInteger, FractionalDigitsAreDroppedWithAWarningOnlyWhenNotZero) {
  Out o = Char("12.7", SQL_C_LONG);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_FRACTIONAL_TRUNCATION);
  EXPECT_EQ(As<int32_t>(o), 12);
  o = Char("-3.9", SQL_C_SHORT);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(As<int16_t>(o), -3);
  o = Char("12.000 ", SQL_C_LONG);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(As<int32_t>(o), 12);
  o = Char("+1.5e3", SQL_C_SHORT);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(As<int16_t>(o), 1500);
  EXPECT_EQ(o.length, 2);
}

TEST(TextToFloating, ReadsMoneyGroupsExponentsAndBlanks) {
  EXPECT_DOUBLE_EQ(As<double>(Char("$1,234.5", SQL_C_DOUBLE)), 1234.5);
  Out o = Char("1.5 ", SQL_C_DOUBLE);  // blank-padded CHAR(n) columns
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_DOUBLE_EQ(As<double>(o), 1.5);
  EXPECT_EQ(o.length, 8);
  EXPECT_DOUBLE_EQ(As<double>(Char(" -2.5e3", SQL_C_DOUBLE)), -2500.0);
  EXPECT_DOUBLE_EQ(As<double>(Char(".25", SQL_C_DOUBLE)), 0.25);
  EXPECT_DOUBLE_EQ(As<double>(Char("0.1", SQL_C_DOUBLE)), 0.1);
  EXPECT_DOUBLE_EQ(As<double>(Char("1e-400", SQL_C_DOUBLE)), 0.0);
  o = Char("3.5", SQL_C_FLOAT);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_FLOAT_EQ(As<float>(o), 3.5f);
  EXPECT_EQ(o.length, 4);
}

TEST(TextToFloating, RefusesNonNumbersAndValuesBeyondTheTarget) {
  for (const char* text : {"abc", "nana", "infinit", "1.5x", "", "$", "1e+"}) {
    for (int16_t t : {SQL_C_DOUBLE, SQL_C_FLOAT}) {
      const Out o = Char(text, t);
      EXPECT_EQ(o.rc, SQL_ERROR) << text;
      EXPECT_EQ(o.code, ERR_ASSIGNMENT) << text;
    }
  }
  EXPECT_EQ(Char("1e400", SQL_C_DOUBLE).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(Char("-1e400", SQL_C_DOUBLE).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(Char("1e39", SQL_C_FLOAT).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(Char("-1e39", SQL_C_FLOAT).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(Char("3e38", SQL_C_FLOAT).rc, SQL_SUCCESS);
  // What is no number is a double's too, spelt as Java and the databases spell it.
  EXPECT_TRUE(std::isnan(As<double>(Char("NaN", SQL_C_DOUBLE))));
  EXPECT_EQ(As<double>(Char("-Infinity", SQL_C_DOUBLE)), -HUGE_VAL);
  EXPECT_EQ(As<double>(Char("Infinity", SQL_C_DOUBLE)), HUGE_VAL);
}

TEST(TextToFloating, DoesNotDependOnTheProcessLocale) {
  // Whatever locale the application set, '.' is the decimal point.
  const char* before = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = before != nullptr ? before : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      switched = true;
      break;
    }
  EXPECT_DOUBLE_EQ(As<double>(Char("2.5", SQL_C_DOUBLE)), 2.5);
  EXPECT_EQ(Char("2,5", SQL_C_DOUBLE).rc, SQL_SUCCESS);  // ',' is a group separator
  EXPECT_DOUBLE_EQ(As<double>(Char("2,5", SQL_C_DOUBLE)), 25.0);
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!switched) GTEST_LOG_(INFO) << "no decimal-comma locale installed; ran in the C locale";
}

SQL_NUMERIC_STRUCT NumOf(const Out& o) { return As<SQL_NUMERIC_STRUCT>(o); }

uint64_t Low64(const SQL_NUMERIC_STRUCT& n) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | n.val[i];
  return v;
}

TEST(TextToNumeric, ScaleCutsOrPadsTheFraction) {
  Out o = Char("123.456", SQL_C_NUMERIC, 64, 2, 6);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_FRACTIONAL_TRUNCATION);
  EXPECT_EQ(Low64(NumOf(o)), 12345u);
  EXPECT_EQ(NumOf(o).scale, 2);
  EXPECT_EQ(NumOf(o).precision, 6);
  EXPECT_EQ(NumOf(o).sign, 1);
  EXPECT_EQ(o.length, 19);

  o = Char("123.456", SQL_C_NUMERIC, 64, 4, 7);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(Low64(NumOf(o)), 1234560u);
  // Precision 6 at scale 4 leaves two whole digits.
  o = Char("123.456", SQL_C_NUMERIC, 64, 4, 6);
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE);

  o = Char("  -12.5 ", SQL_C_NUMERIC, 64, 1, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(NumOf(o).sign, 0);
  EXPECT_EQ(Low64(NumOf(o)), 125u);
  EXPECT_EQ(NumOf(o).precision, 3) << "precision 0: the digits the value needs";

  o = Char("+7", SQL_C_NUMERIC);
  EXPECT_EQ(NumOf(o).sign, 1);
  EXPECT_EQ(Low64(NumOf(o)), 7u);

  o = Char("1.5e2", SQL_C_NUMERIC);
  EXPECT_EQ(Low64(NumOf(o)), 150u);
}

TEST(TextToNumeric, RejectsNonDigitsAndTooManyIntegerDigits) {
  for (const char* text : {"12a", "1.2.3", "", " ", "-", "abc", "1-2", "$5", "1,000"}) {
    const Out o = Char(text, SQL_C_NUMERIC, 64, 2, 10);
    EXPECT_EQ(o.rc, SQL_ERROR) << text;
    EXPECT_EQ(o.code, ERR_ASSIGNMENT) << text;
    EXPECT_EQ(o.buf[0], 0xEE) << text;
  }
  Out o = Char("12345", SQL_C_NUMERIC, 64, 0, 4);
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE);
  o = Char("1234", SQL_C_NUMERIC, 64, 0, 4);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
}

TEST(TextToNumeric, UsesAll128Bits) {
  Out o = Char("340282366920938463463374607431768211455", SQL_C_NUMERIC);
  ASSERT_EQ(o.rc, SQL_SUCCESS);
  for (unsigned char b : NumOf(o).val) EXPECT_EQ(b, 0xFF);
  o = Char("340282366920938463463374607431768211456", SQL_C_NUMERIC);
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE);
  o = Char("18446744073709551616", SQL_C_NUMERIC);  // 2^64
  ASSERT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(Low64(NumOf(o)), 0u);
  EXPECT_EQ(NumOf(o).val[8], 1);
}

// The bound fetch's plain DECIMAL reader builds what the general parse does,
// and reads every canonical form (those before "5.", at scale 2, precision 12).
TEST(TextToNumeric, PlainTextReadsAsTheGeneralParse) {
  const char* kTexts[] = {"0",
                          "-0",
                          "0.00",
                          "-0.00",
                          "0.05",
                          "-0.05",
                          "12.30",
                          "12.3",
                          "100.05",
                          "007.50",
                          ".5",
                          "-9999999999.99",
                          "1234567890.12",
                          "5.",
                          ".",
                          "-",
                          "",
                          "1.2.3",
                          "+5",
                          "12a",
                          " 1",
                          "0.123",
                          "999999999999999999",
                          "99999999999999999.9",
                          "0.000000000000000001",
                          "9999999999999999999"};
  const int16_t kScales[] = {2, 0, 1, 4, 18, 2, 3};
  const uint16_t kPrecisions[] = {12, 0, 0, 0, 0, 10, 30};
  bool canonical = true;
  for (const char* text : kTexts) {
    canonical = canonical && std::strcmp(text, "5.") != 0;
    const auto n = static_cast<int64_t>(std::strlen(text));
    for (size_t g = 0; g < std::size(kScales); ++g) {
      SQL_NUMERIC_STRUCT plain{}, general{};
      int64_t length = -1;
      int32_t pending = 0;
      conv::DecimalDigits d;
      const bool read =
          ConvertPlainNumber(text, n, SQL_C_NUMERIC, &plain, &length, kScales[g], kPrecisions[g]);
      EXPECT_TRUE(g != 0 || read == canonical) << text;
      if (!read) continue;
      EXPECT_EQ(length, static_cast<int64_t>(sizeof plain)) << text;
      ASSERT_TRUE(conv::ParseDecimal(text, n, &d)) << text;
      ASSERT_EQ(conv::DigitsToNumeric(d, kScales[g], kPrecisions[g], 0, &general, &pending), 0);
      EXPECT_EQ(std::memcmp(&plain, &general, sizeof plain), 0) << text << " at " << g;
    }
  }
}

TEST(TextToGuid, ReadsTheCanonicalFormOnly) {
  Out o = Char("12345678-9abc-DEF0-0102-030405060708", SQL_C_GUID);
  ASSERT_EQ(o.rc, SQL_SUCCESS);
  const auto g = As<SQLGUID>(o);
  EXPECT_EQ(g.Data1, 0x12345678u);
  EXPECT_EQ(g.Data2, 0x9ABC);
  EXPECT_EQ(g.Data3, 0xDEF0);
  const unsigned char d4[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(std::memcmp(g.Data4, d4, 8), 0);
  EXPECT_EQ(o.length, 16);
  EXPECT_EQ(Char(" 12345678-9abc-DEF0-0102-030405060708  ", SQL_C_GUID).rc, SQL_SUCCESS);
  EXPECT_EQ(Char("12345678-9abc-DEF0-0102-03040506070", SQL_C_GUID).code,
            ERR_STRING_LENGTH_MISMATCH);
  EXPECT_EQ(Char("12345678 9abc-DEF0-0102-030405060708", SQL_C_GUID).code, ERR_ASSIGNMENT);
  EXPECT_EQ(Char("1234567g-9abc-DEF0-0102-030405060708", SQL_C_GUID).code, ERR_ASSIGNMENT);
  // Wide text reads as the 8-bit text does.
  const Out w = Wide(u"12345678-9abc-DEF0-0102-030405060708", SQL_C_GUID);
  EXPECT_EQ(w.rc, SQL_SUCCESS);
  EXPECT_EQ(std::memcmp(w.buf, o.buf, 16), 0);
  EXPECT_EQ(Wide(u"1234567g-9abc-DEF0-0102-030405060708", SQL_C_GUID).code, ERR_ASSIGNMENT);
}

TEST(TextToOther, DatesAreNotCapableAndUnknownTypesRestricted) {
  for (int16_t t : {SQL_C_DATE, SQL_C_TIME, SQL_C_TIMESTAMP, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME,
                    SQL_C_TYPE_TIMESTAMP}) {
    EXPECT_EQ(Char("2024-01-01", t).code, ERR_NOT_CAPABLE);
    EXPECT_EQ(Wide(u"2024-01-01", t).code, ERR_NOT_CAPABLE);
  }
  EXPECT_EQ(Char("1", SQL_C_INTERVAL_DAY).code, ERR_RESTRICTED_TYPE);
  EXPECT_EQ(Wide(u"1", 12345).code, ERR_RESTRICTED_TYPE);
}

TEST(TextCopy, TenCharactersInFourBytePiecesAsSQLGetDataSeesThem) {
  const std::string value = "abcdefghij";
  std::vector<std::string> pieces;
  std::vector<int64_t> lengths;
  std::vector<SQLRETURN> rcs;
  int64_t pos = 0;
  while (pos < static_cast<int64_t>(value.size())) {
    const Out o = Char(value.substr(static_cast<size_t>(pos)), SQL_C_CHAR, 4);
    pieces.emplace_back(reinterpret_cast<const char*>(o.buf));
    lengths.push_back(o.length);
    rcs.push_back(o.rc);
    ASSERT_GT(o.consumed, 0);
    pos += o.consumed;
  }
  EXPECT_EQ(pieces, (std::vector<std::string>{"abc", "def", "ghi", "j"}));
  EXPECT_EQ(lengths, (std::vector<int64_t>{10, 7, 4, 1}));
  EXPECT_EQ(rcs, (std::vector<SQLRETURN>{1, 1, 1, 0}));
}

// Reads the whole value through converter `conv` in pieces of bufLen bytes;
// each piece must stand on its own as whole characters.
template <class Conv>
std::string ReadInPieces(Conv conv, int64_t total, int64_t bufLen, int* calls) {
  std::string out;
  int64_t pos = 0;
  *calls = 0;
  while (pos < total && *calls < 100) {
    ++*calls;
    const int64_t used = conv(pos, bufLen, &out);
    if (used == 0) break;
    pos += used;
  }
  return pos == total ? out : out + "<stuck>";
}

const std::string kMixed = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
const std::u16string kMixedW = u"a\u00E9\u20AC\U0001F600z";

TEST(TextCopy, Utf8IntoCharNeverSplitsASequence) {
  Out o = Char(kMixed, SQL_C_CHAR, 3);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<const char*>(o.buf), "a") << "é needs 2 bytes, 2 are free";
  EXPECT_EQ(o.consumed, 1);
  EXPECT_EQ(o.length, 11);
  for (int64_t buf = 5; buf <= 12; ++buf) {
    int calls = 0;
    const std::string got = ReadInPieces(
        [&](int64_t pos, int64_t b, std::string* acc) {
          const Out p = Char(kMixed.substr(static_cast<size_t>(pos)), SQL_C_CHAR, b);
          *acc += reinterpret_cast<const char*>(p.buf);
          return p.consumed;
        },
        static_cast<int64_t>(kMixed.size()), buf, &calls);
    EXPECT_EQ(got, kMixed) << "buffer " << buf;
  }
}

TEST(TextCopy, Utf8IntoWideCountsSourceBytesConsumed) {
  Out o = Char(kMixed, SQL_C_WCHAR, 8);  // room for 3 units and the terminator
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_TRUNCATED);
  EXPECT_EQ(o.length, 12) << "6 UTF-16 units";
  EXPECT_EQ(o.consumed, 6) << "a, é and € are 1 + 2 + 3 bytes";
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(o.buf)), u"a\u00E9\u20AC");
  // The emoji needs two units: a buffer with room for one gets nothing.
  o = Char(kMixed.substr(6), SQL_C_WCHAR, 4);
  EXPECT_EQ(o.consumed, 0);
  EXPECT_EQ(As<char16_t>(o), 0);
  for (int64_t buf = 6; buf <= 16; buf += 2) {
    std::u16string acc;
    int64_t pos = 0;
    int calls = 0;
    while (pos < static_cast<int64_t>(kMixed.size()) && calls++ < 50) {
      const Out p = Char(kMixed.substr(static_cast<size_t>(pos)), SQL_C_WCHAR, buf);
      acc += reinterpret_cast<const char16_t*>(p.buf);
      if (p.consumed == 0) break;
      pos += p.consumed;
    }
    EXPECT_EQ(acc, kMixedW) << "buffer " << buf;
  }
}

TEST(TextCopy, WideIntoCharCountsSourceUnitsConsumed) {
  Out o = Wide(kMixedW, SQL_C_CHAR, 6);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.length, 11) << "UTF-8 bytes of the value";
  EXPECT_STREQ(reinterpret_cast<const char*>(o.buf), "a\xC3\xA9");
  EXPECT_EQ(o.consumed, 4) << "two UTF-16 units, in bytes";
  for (int64_t buf = 5; buf <= 12; ++buf) {
    std::string acc;
    int64_t pos = 0;  // bytes of UTF-16
    int calls = 0;
    while (pos < static_cast<int64_t>(kMixedW.size()) * 2 && calls++ < 50) {
      const Out p = Wide(kMixedW.substr(static_cast<size_t>(pos / 2)), SQL_C_CHAR, buf);
      acc += reinterpret_cast<const char*>(p.buf);
      if (p.consumed == 0) break;
      ASSERT_EQ(p.consumed % 2, 0);
      pos += p.consumed;
    }
    EXPECT_EQ(acc, kMixed) << "buffer " << buf;
  }
  o = Wide(u"x\xD800y", SQL_C_CHAR);  // a lone surrogate
  EXPECT_STREQ(reinterpret_cast<const char*>(o.buf), "x\xEF\xBF\xBDy");
  EXPECT_EQ(o.length, 5);
}

TEST(TextCopy, WideIntoWideNeverSeparatesASurrogatePair) {
  const std::u16string v = u"ab\U0001F600c";
  Out o = Wide(v, SQL_C_WCHAR, 8);  // room for 3 units: a, b, and half the pair
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(o.buf)), u"ab");
  EXPECT_EQ(o.consumed, 4);
  EXPECT_EQ(o.length, 10);
  o = Wide(v.substr(2), SQL_C_WCHAR, 8);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(o.buf)), u"\U0001F600c");
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(o.consumed, 6);
  o = Wide(v, SQL_C_BINARY, 3);
  EXPECT_EQ(o.consumed, 3);
  EXPECT_EQ(o.length, 10);
}

TEST(TextCopy, BufferLengthsAtTheEdges) {
  Out o = Char("hello", SQL_C_CHAR, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.length, 5);
  EXPECT_EQ(o.buf[0], 0xEE) << "nothing written";
  o = Char("hello", SQL_C_CHAR, 1);
  EXPECT_EQ(o.buf[0], 0);
  EXPECT_EQ(o.consumed, 0);
  o = Char("hello", SQL_C_CHAR, 6);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(o.consumed, 5);
  o = Char("hello", SQL_C_WCHAR, 1);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.buf[0], 0xEE) << "no room for a 2-byte terminator";
  EXPECT_EQ(o.length, 10);
  o = Char("hello", SQL_C_CHAR, -1);
  EXPECT_EQ(o.rc, SQL_ERROR);
  EXPECT_EQ(o.code, ERR_INVALID_LENGTH);
  o = Char("", SQL_C_CHAR, 4);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(o.length, 0);
  EXPECT_EQ(o.buf[0], 0);
}

TEST(TextCopy, TotalBeyondThisPieceIsTruncationAndNoTotalIsKept) {
  // An agent delivering a value in pieces: 5 bytes here, 20 in all.
  Out o = Char("hello", SQL_C_CHAR, 64, 0, 0, 20);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.length, 20);
  EXPECT_EQ(o.consumed, 5);
  o = Char("hello", SQL_C_CHAR, 64, 0, 0, SQL_NO_TOTAL);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(o.length, SQL_NO_TOTAL);
  // UTF-16 length of 20 UTF-8 bytes not seen yet: unknowable.
  o = Char("hello", SQL_C_WCHAR, 64, 0, 0, 20);
  EXPECT_EQ(o.length, SQL_NO_TOTAL);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  o = Wide(u"hi", SQL_C_WCHAR, 64, SQL_NO_TOTAL);
  EXPECT_EQ(o.length, SQL_NO_TOTAL) << "never scaled";
  o = Wide(u"hi", SQL_C_WCHAR, 64, 40);
  EXPECT_EQ(o.length, 40);
}

TEST(WideToNumber, ParsesLikeTheNarrowForms) {
  Out o = Wide(u" 42 ", SQL_C_LONG);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(As<int32_t>(o), 42);
  EXPECT_EQ(o.consumed, 8);
  EXPECT_DOUBLE_EQ(As<double>(Wide(u"12.5", SQL_C_DOUBLE)), 12.5);
  EXPECT_EQ(Wide(u"4\u00B2", SQL_C_LONG).code, ERR_ASSIGNMENT);
  EXPECT_EQ(Wide(u"70000", SQL_C_SHORT).code, ERR_NUMERIC_RANGE);
  int64_t v = 0;
  int32_t code = kNone;
  EXPECT_EQ(WCharToNumber(u"-17", 3, -100, 100, &v, &code), 0);
  EXPECT_EQ(v, -17);
  uint64_t u = 0;
  EXPECT_EQ(WCharToNumber64(u"18446744073709551615", 20, 0, UINT64_MAX, &u, &code), 0);
  EXPECT_EQ(u, UINT64_MAX);
  double d = 0;
  EXPECT_EQ(WCharToDecimal(u"nab", 3, &d, &code), -1);
  EXPECT_EQ(code, ERR_ASSIGNMENT);
  SQL_NUMERIC_STRUCT n{};
  EXPECT_EQ(WCharToNumeric(u"9.99", 4, &n, 1, 0, &code), 1);
  EXPECT_EQ(Low64(n), 99u);
}

}  // namespace
