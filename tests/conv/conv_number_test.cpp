// Integers and floating-point values to every C type: exact range bounds,
// negative values to unsigned targets, NaN and infinities, text that is never cut inside
// its whole digits, SQL_NUMERIC_STRUCT built exactly.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "driver/rowset/convert.h"
#include "util/errcodes.h"

namespace {

constexpr int32_t kNone = -999;

struct Out {
  SQLRETURN rc;
  int32_t code;
  int64_t length;
  unsigned char buf[64];
};

Out Prep() {
  Out o{};
  std::memset(o.buf, 0xEE, sizeof o.buf);
  o.code = kNone;
  o.length = -77;
  return o;
}

Out Byte(uint8_t v, int isSigned, int16_t t, int64_t bufLen = 64, int16_t scale = 0,
         uint16_t prec = 0) {
  Out o = Prep();
  o.rc = ConvertBYTE(v, isSigned, t, o.buf, bufLen, &o.length, &o.code, scale, prec);
  return o;
}
Out Short(uint16_t v, int isSigned, int16_t t, int64_t bufLen = 64) {
  Out o = Prep();
  o.rc = ConvertSHORT(v, isSigned, t, o.buf, bufLen, &o.length, &o.code, 0, 0);
  return o;
}
Out Int(uint32_t v, int isSigned, int16_t t, int64_t bufLen = 64, int16_t scale = 0,
        uint16_t prec = 0) {
  Out o = Prep();
  o.rc = ConvertINTEGER(v, isSigned, t, o.buf, bufLen, &o.length, &o.code, scale, prec);
  return o;
}
Out Dbl(double v, int16_t t, int64_t bufLen = 64, int16_t scale = 0, uint16_t prec = 0) {
  Out o = Prep();
  o.rc = ConvertDOUBLE(v, t, o.buf, bufLen, &o.length, &o.code, scale, prec);
  return o;
}
Out Flt(float v, int16_t t, int64_t bufLen = 64, int16_t scale = 0, uint16_t prec = 0) {
  Out o = Prep();
  o.rc = ConvertFLOAT(v, t, o.buf, bufLen, &o.length, &o.code, scale, prec);
  return o;
}

template <class T>
T As(const Out& o) {
  T v;
  std::memcpy(&v, o.buf, sizeof v);
  return v;
}
std::string Text(const Out& o) { return reinterpret_cast<const char*>(o.buf); }

void ExpectRange(const Out& o, const std::string& what) {
  EXPECT_EQ(o.rc, SQL_ERROR) << what;
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE) << what;
  EXPECT_EQ(o.buf[0], 0xEE) << what << ": target left unwritten";
}

__extension__ typedef unsigned __int128 U128;
U128 ValueOf(const SQL_NUMERIC_STRUCT& n) {
  U128 v = 0;
  for (int i = 15; i >= 0; --i) v = (v << 8) | n.val[i];
  return v;
}

TEST(IntegerSource, NegativeValuesNeverReachUnsignedTargets) {
  const uint16_t minusOne = 0xFFFF;
  for (int16_t t : {SQL_C_USHORT, SQL_C_UTINYINT, SQL_C_ULONG, SQL_C_UBIGINT})
    ExpectRange(Short(minusOne, 1, t), CvtTraceType(t));
  ExpectRange(Byte(0x80, 1, SQL_C_UBIGINT), "signed byte -128");
  ExpectRange(Int(0xFFFFFFFF, 1, SQL_C_ULONG), "signed -1");
  Out o = Short(minusOne, 1, SQL_C_SHORT);
  EXPECT_EQ(As<int16_t>(o), -1);
  o = Short(minusOne, 1, SQL_C_SBIGINT);
  EXPECT_EQ(As<int64_t>(o), -1);
  EXPECT_EQ(o.length, 8);
}

TEST(IntegerSource, UnsignedValuesAreNotReadAsNegative) {
  ExpectRange(Int(4294967295u, 0, SQL_C_SHORT), "u32 max to SHORT");
  ExpectRange(Int(4294967295u, 0, SQL_C_LONG), "u32 max to LONG");
  ExpectRange(Int(2147483648u, 0, SQL_C_SLONG), "2^31 to SLONG");
  EXPECT_EQ(As<int32_t>(Int(2147483647u, 0, SQL_C_LONG)), INT32_MAX);
  EXPECT_EQ(As<uint32_t>(Int(4294967295u, 0, SQL_C_ULONG)), 4294967295u);
  EXPECT_EQ(As<int64_t>(Int(4294967295u, 0, SQL_C_SBIGINT)), 4294967295LL);
  ExpectRange(Short(32768, 0, SQL_C_SHORT), "u16 32768 to SHORT");
  EXPECT_EQ(As<uint16_t>(Short(65535, 0, SQL_C_USHORT)), 65535);
  ExpectRange(Byte(255, 0, SQL_C_STINYINT), "u8 255 to STINYINT");
  EXPECT_EQ(As<int8_t>(Byte(0x80, 1, SQL_C_TINYINT)), -128);
  ExpectRange(Short(256, 0, SQL_C_UTINYINT), "256 to UTINYINT");
  EXPECT_EQ(As<uint8_t>(Short(255, 0, SQL_C_UTINYINT)), 255);
  ExpectRange(Int(static_cast<uint32_t>(-129), 1, SQL_C_TINYINT), "-129 to TINYINT");
}

TEST(IntegerSource, BitTakesZeroOrOneOnly) {
  EXPECT_EQ(As<uint8_t>(Byte(1, 0, SQL_C_BIT)), 1);
  EXPECT_EQ(As<uint8_t>(Int(0, 1, SQL_C_BIT)), 0);
  ExpectRange(Byte(2, 0, SQL_C_BIT), "2");
  ExpectRange(Short(0xFFFF, 1, SQL_C_BIT), "-1");
}

TEST(IntegerSource, TextIsWholeOrRefused) {
  Out o = Int(static_cast<uint32_t>(-123), 1, SQL_C_CHAR, 5);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(Text(o), "-123");
  EXPECT_EQ(o.length, 4);
  o = Int(static_cast<uint32_t>(-123), 1, SQL_C_CHAR, 4);
  EXPECT_EQ(o.rc, SQL_ERROR) << "digits of a whole number are never cut";
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE);
  o = Int(4294967295u, 0, SQL_C_CHAR, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.length, 10);
  o = Byte(200, 0, SQL_C_WCHAR);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(o.buf)), u"200");
  EXPECT_EQ(o.length, 6);
  o = Byte(200, 1, SQL_C_CHAR);
  EXPECT_EQ(Text(o), "-56");
}

TEST(IntegerSource, BinaryIsTheValueBytesAndNeverPartial) {
  Out o = Int(0x11223344u, 0, SQL_C_BINARY, 4);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(As<uint32_t>(o), 0x11223344u);
  EXPECT_EQ(o.length, 4);
  ExpectRange(Int(1, 0, SQL_C_BINARY, 3), "short buffer");
  o = Short(7, 0, SQL_C_BINARY, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.length, 2);
}

TEST(IntegerSource, FloatingTargetsAndOthers) {
  EXPECT_DOUBLE_EQ(As<double>(Int(4294967295u, 0, SQL_C_DOUBLE)), 4294967295.0);
  EXPECT_FLOAT_EQ(As<float>(Short(0xFFFF, 1, SQL_C_FLOAT)), -1.0f);
  Out o = Int(1, 0, SQL_C_TYPE_DATE);
  EXPECT_EQ(o.code, ERR_RESTRICTED_TYPE);
  EXPECT_EQ(Byte(1, 0, SQL_C_GUID).code, ERR_RESTRICTED_TYPE);
}

TEST(IntegerSource, NumericIsExactAndSized) {
  Out o = Int(4294967295u, 0, SQL_C_NUMERIC);
  ASSERT_EQ(o.rc, SQL_SUCCESS);
  auto n = As<SQL_NUMERIC_STRUCT>(o);
  EXPECT_EQ(ValueOf(n), U128{4294967295u});
  EXPECT_EQ(n.sign, 1);
  EXPECT_EQ(n.precision, 10);
  EXPECT_EQ(o.length, 19);
  o = Byte(255, 0, SQL_C_NUMERIC);
  ASSERT_EQ(o.rc, SQL_SUCCESS) << "a 3-digit byte fits the default precision";
  EXPECT_EQ(As<SQL_NUMERIC_STRUCT>(o).precision, 3);
  o = Int(static_cast<uint32_t>(-42), 1, SQL_C_NUMERIC, 64, 2, 5);
  n = As<SQL_NUMERIC_STRUCT>(o);
  EXPECT_EQ(n.sign, 0);
  EXPECT_EQ(ValueOf(n), U128{4200});
  EXPECT_EQ(n.scale, 2);
  EXPECT_EQ(n.precision, 5);
  ExpectRange(Byte(123, 0, SQL_C_NUMERIC, 64, 0, 2), "3 digits, precision 2");
  o = Int(12345, 0, SQL_C_NUMERIC, 64, -2, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO) << "a negative scale drops non-zero digits";
  EXPECT_EQ(ValueOf(As<SQL_NUMERIC_STRUCT>(o)), U128{123});
}

struct RealCase {
  double v;
  int16_t t;
  bool fits;
  int64_t expect;  // the integer read back (int64 bits for UBIGINT)
  bool fraction;   // 01S07 expected
};

int64_t ReadInt(const Out& o, int16_t t) {
  switch (t) {
    case SQL_C_UTINYINT:
    case SQL_C_BIT: return As<uint8_t>(o);
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return As<int8_t>(o);
    case SQL_C_USHORT: return As<uint16_t>(o);
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return As<int16_t>(o);
    case SQL_C_ULONG: return As<uint32_t>(o);
    case SQL_C_LONG:
    case SQL_C_SLONG: return As<int32_t>(o);
    default: return As<int64_t>(o);
  }
}

TEST(DoubleSource, IntegerTargetsUseExclusiveUpperBounds) {
  const RealCase cases[] = {
      {2.5, SQL_C_LONG, true, 2, true},
      {-2.5, SQL_C_LONG, true, -2, true},
      {-0.5, SQL_C_ULONG, false, 0, false},
      {-1.0, SQL_C_UBIGINT, false, 0, false},
      {256.0, SQL_C_UTINYINT, false, 0, false},
      {255.9, SQL_C_UTINYINT, true, 255, true},
      {127.0, SQL_C_TINYINT, true, 127, false},
      {128.0, SQL_C_STINYINT, false, 0, false},
      {-128.9, SQL_C_TINYINT, true, -128, true},
      {65535.0, SQL_C_USHORT, true, 65535, false},
      {65536.0, SQL_C_USHORT, false, 0, false},
      {32768.0, SQL_C_SHORT, false, 0, false},
      {-32768.0, SQL_C_SSHORT, true, -32768, false},
      {2147483647.0, SQL_C_LONG, true, 2147483647, false},
      {2147483648.0, SQL_C_LONG, false, 0, false},
      {-2147483648.0, SQL_C_SLONG, true, INT32_MIN, false},
      {-2147483649.0, SQL_C_LONG, false, 0, false},
      {4294967295.0, SQL_C_ULONG, true, 4294967295LL, false},
      {4294967296.0, SQL_C_ULONG, false, 0, false},
      {0x1p63, SQL_C_SBIGINT, false, 0, false},
      {-0x1p63, SQL_C_SBIGINT, true, INT64_MIN, false},
      {9223372036854774784.0, SQL_C_SBIGINT, true, 9223372036854774784LL, false},
      {0x1p64, SQL_C_UBIGINT, false, 0, false},
      {0x1p63, SQL_C_UBIGINT, true, INT64_MIN, false},  // 2^63 as bits
      {18446744073709549568.0, SQL_C_UBIGINT, true, static_cast<int64_t>(18446744073709549568ULL),
       false},
      {1.0, SQL_C_BIT, true, 1, false},
      {0.0, SQL_C_BIT, true, 0, false},
      {0.5, SQL_C_BIT, true, 0, true},
      {1.75, SQL_C_BIT, true, 1, true},
      {2.0, SQL_C_BIT, false, 0, false},
      {-0.25, SQL_C_BIT, false, 0, false},
      {HUGE_VAL, SQL_C_SBIGINT, false, 0, false},
      {-HUGE_VAL, SQL_C_LONG, false, 0, false},
  };
  for (const auto& c : cases) {
    const Out o = Dbl(c.v, c.t);
    const std::string what = std::to_string(c.v) + " " + CvtTraceType(c.t);
    if (!c.fits) {
      ExpectRange(o, what);
      continue;
    }
    EXPECT_EQ(o.rc, c.fraction ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS) << what;
    if (c.fraction) {
      EXPECT_EQ(o.code, ERR_FRACTIONAL_TRUNCATION) << what;
    }
    EXPECT_EQ(ReadInt(o, c.t), c.expect) << what;
  }
}

TEST(DoubleSource, NaNAndInfinitiesReachOnlyTargetsThatHoldThem) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (int16_t t : {SQL_C_BIT, SQL_C_TINYINT, SQL_C_UTINYINT, SQL_C_SHORT, SQL_C_USHORT, SQL_C_LONG,
                    SQL_C_ULONG, SQL_C_SBIGINT, SQL_C_UBIGINT, SQL_C_NUMERIC}) {
    for (double v : {nan, inf, -inf}) {
      ExpectRange(Dbl(v, t), std::to_string(v) + " to " + CvtTraceType(t));
      ExpectRange(Flt(static_cast<float>(v), t),
                  std::to_string(v) + " as float to " + CvtTraceType(t));
    }
  }
  EXPECT_TRUE(std::isnan(As<double>(Dbl(nan, SQL_C_DOUBLE))));
  EXPECT_TRUE(std::isnan(As<float>(Dbl(nan, SQL_C_FLOAT))));
  EXPECT_EQ(As<double>(Flt(-HUGE_VALF, SQL_C_DOUBLE)), -inf);
  EXPECT_EQ(As<float>(Dbl(inf, SQL_C_FLOAT)), HUGE_VALF);
  EXPECT_EQ(Text(Dbl(nan, SQL_C_CHAR)), "NaN");
  EXPECT_EQ(Text(Flt(HUGE_VALF, SQL_C_CHAR)), "Infinity");
  const Out o = Dbl(-inf, SQL_C_WCHAR);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(o.buf)), u"-Infinity");
  EXPECT_EQ(o.length, 18);
  // The names are never cut.
  ExpectRange(Dbl(inf, SQL_C_CHAR, 8), "Infinity into 8 bytes");
}

TEST(DoubleSource, FloatTargetRefusesValuesBeyondItsRange) {
  ExpectRange(Dbl(1e39, SQL_C_FLOAT), "1e39");
  ExpectRange(Dbl(-1e39, SQL_C_FLOAT), "-1e39");
  EXPECT_FLOAT_EQ(As<float>(Dbl(3.4e38, SQL_C_FLOAT)), 3.4e38f);
  EXPECT_TRUE(std::isinf(As<float>(Dbl(HUGE_VAL, SQL_C_FLOAT))));
  EXPECT_FLOAT_EQ(As<float>(Dbl(0.25, SQL_C_FLOAT)), 0.25f);
  EXPECT_DOUBLE_EQ(As<double>(Flt(0.25f, SQL_C_DOUBLE)), 0.25);
}

TEST(FloatSource, BoundsAreCheckedOnTheExactValue) {
  ExpectRange(Flt(2147483648.0f, SQL_C_LONG), "2^31");
  EXPECT_EQ(As<int32_t>(Flt(2147483520.0f, SQL_C_LONG)), 2147483520);
  ExpectRange(Flt(4294967296.0f, SQL_C_ULONG), "2^32");
  EXPECT_EQ(As<uint32_t>(Flt(4294967040.0f, SQL_C_ULONG)), 4294967040u);
  ExpectRange(Flt(-1.0f, SQL_C_USHORT), "-1");
}

TEST(DoubleSource, TextIsTheShortestThatReadsBackAndIsCutToItsLeadingPart) {
  Out o = Dbl(0.1, SQL_C_CHAR);
  EXPECT_EQ(Text(o), "0.1");
  EXPECT_EQ(o.length, 3);
  EXPECT_EQ(Text(Dbl(0.1 + 0.2, SQL_C_CHAR)), "0.30000000000000004");
  EXPECT_EQ(Text(Flt(-103.217316f, SQL_C_CHAR)), "-103.217316") << "nine digits for a REAL";
  EXPECT_EQ(Text(Flt(0.1f, SQL_C_CHAR)), "0.1");
  EXPECT_EQ(Text(Flt(1.0f / 3.0f, SQL_C_CHAR)), "0.33333334");
  EXPECT_EQ(Text(Dbl(1e20, SQL_C_CHAR)), "1e+20");
  EXPECT_EQ(Text(Dbl(-2.0, SQL_C_CHAR)), "-2");
  const double third = 1e6 / 3;  // 333333.3333333333
  o = Dbl(third, SQL_C_CHAR, 8);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_TRUNCATED);
  EXPECT_EQ(Text(o), "333333.");
  EXPECT_EQ(o.length, 17) << "the length of the full text";
  o = Dbl(2.0 / 3, SQL_C_CHAR, 8);
  EXPECT_EQ(Text(o), "0.66666") << "the text reported, cut";
  o = Dbl(third, SQL_C_CHAR, 4);
  EXPECT_EQ(o.rc, SQL_ERROR) << "the whole part does not fit";
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE);
  o = Dbl(2.5, SQL_C_WCHAR);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(o.buf)), u"2.5");
  EXPECT_EQ(o.length, 6);
  o = Dbl(2.5, SQL_C_CHAR, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.length, 3);
}

TEST(DoubleSource, BinaryIsTheValueBytes) {
  Out o = Dbl(1.5, SQL_C_BINARY, 8);
  EXPECT_DOUBLE_EQ(As<double>(o), 1.5);
  EXPECT_EQ(o.length, 8);
  ExpectRange(Dbl(1.5, SQL_C_BINARY, 4), "4-byte buffer");
  o = Flt(1.5f, SQL_C_BINARY, 4);
  EXPECT_FLOAT_EQ(As<float>(o), 1.5f);
  EXPECT_EQ(Dbl(1.0, SQL_C_GUID).code, ERR_RESTRICTED_TYPE);
}

TEST(DoubleToNumericStruct, ExactDecimalOfTheValue) {
  SQL_NUMERIC_STRUCT n{};
  int32_t code = kNone;
  EXPECT_EQ(DoubleToNumeric(4294967296.0, &n, 0, 0, &code), 0);
  const unsigned char expect[6] = {0, 0, 0, 0, 1, 0};
  EXPECT_EQ(std::memcmp(n.val, expect, 6), 0);
  EXPECT_EQ(DoubleToNumeric(12.345, &n, 2, 0, &code), 1);
  EXPECT_EQ(code, ERR_FRACTIONAL_TRUNCATION);
  EXPECT_EQ(ValueOf(n), U128{1234});
  EXPECT_EQ(n.scale, 2);
  code = kNone;
  EXPECT_EQ(DoubleToNumeric(0.1, &n, 2, 0, &code), 0) << "0.1 is 0.10 at scale 2";
  EXPECT_EQ(ValueOf(n), U128{10});
  EXPECT_EQ(DoubleToNumeric(-2.5, &n, 1, 0, &code), 0);
  EXPECT_EQ(n.sign, 0);
  EXPECT_EQ(ValueOf(n), U128{25});
  EXPECT_EQ(DoubleToNumeric(1e20, &n, 0, 0, &code), 0);
  EXPECT_EQ(ValueOf(n), static_cast<U128>(100000000000ULL) * 1000000000ULL);
  EXPECT_EQ(n.precision, 21);
  EXPECT_EQ(DoubleToNumeric(HUGE_VAL, &n, 0, 0, &code), -1);
  EXPECT_EQ(code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(DoubleToNumeric(1e39, &n, 0, 0, &code), -1) << "beyond 128 bits";
  Out o = Dbl(123.0, SQL_C_NUMERIC, 64, 0, 2);
  ExpectRange(o, "3 integer digits, precision 2");
  o = Flt(0.1f, SQL_C_NUMERIC, 64, 3, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(ValueOf(As<SQL_NUMERIC_STRUCT>(o)), U128{100});
  EXPECT_EQ(As<SQL_NUMERIC_STRUCT>(o).precision, 7);
}

TEST(FormatHelpers, GeneralFormatInTheCLocale) {
  char buf[32];
  EXPECT_EQ(FormatDoubleG(buf, 1234.5, 17), 6);
  EXPECT_STREQ(buf, "1234.5");
  FormatDoubleG(buf, 1.0 / 3.0, 3);
  EXPECT_STREQ(buf, "0.333");
  char t[] = "12.";
  TrimTrailingPoint(t);
  EXPECT_STREQ(t, "12");
  char u[] = "1.5";
  TrimTrailingPoint(u);
  EXPECT_STREQ(u, "1.5");
}

}  // namespace

// The formatter rounds the usual magnitudes itself; every digit count must
// still give what the general formatter gives, ties and carries included.
TEST(FormatHelpers, GeneralFormatMatchesTheLibraryFormatter) {
  std::vector<double> values = {0.5,      2.5,    0.125,  9.5,          99.95,
                                999999.5, 1e-5,   1.5e-7, 1e16,         9007199254740993.0,
                                0x1p62,   0x1p63, 1e19,   123456.0 / 7, 0.1,
                                1.0 / 3,  5e-324, 0.0,    -0.0,         -2.5e-3};
  std::mt19937_64 gen(42);
  for (int i = 0; i < 4000; ++i) {
    const double magnitude = std::pow(10.0, static_cast<int>(gen() % 30) - 10);
    values.push_back(static_cast<double>(gen() % 2000000) / 7.0 * magnitude * (gen() % 2 ? 1 : -1));
  }
  for (double v : values) {
    for (int p = 1; p <= 17; ++p) {
      char got[32], want[32];
      FormatDoubleG(got, v, p);
      const auto r = std::to_chars(want, want + 31, v, std::chars_format::general, p);
      *r.ptr = '\0';
      ASSERT_STREQ(got, want) << "value " << want << " with " << p << " digits";
    }
  }
}
