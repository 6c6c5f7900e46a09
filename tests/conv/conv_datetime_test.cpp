// Dates, times and timestamps to text and structures: fixed text forms that
// are never cut, timestamp fractions trimmed to the column's digits, fields
// dropped between structures reported.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "driver/rowset/convert.h"
#include "util/colset.h"
#include "util/errcodes.h"

namespace {

constexpr int32_t kNone = -999;

struct Out {
  SQLRETURN rc;
  int32_t code;
  int64_t length;
  unsigned char buf[80];
};

Out Prep() {
  Out o{};
  std::memset(o.buf, 0xEE, sizeof o.buf);
  o.code = kNone;
  o.length = -77;
  return o;
}

Out Date(SQL_DATE_STRUCT d, int16_t t, int64_t bufLen = 80) {
  Out o = Prep();
  o.rc = ConvertDATE(&d, t, o.buf, bufLen, &o.length, &o.code);
  return o;
}
Out Time(SQL_TIME_STRUCT v, int16_t t, int64_t bufLen = 80, uint32_t fraction = 0,
         uint32_t zone = COLSET_ZONE_NONE) {
  Out o = Prep();
  o.rc = ConvertTIME(&v, zone, fraction, t, o.buf, bufLen, &o.length, 0, &o.code);
  return o;
}
Out Stamp(SQL_TIMESTAMP_STRUCT v, int16_t t, uint16_t digits, int64_t bufLen = 80,
          uint32_t zone = COLSET_ZONE_NONE) {
  Out o = Prep();
  o.rc = ConvertTIMESTAMP(&v, zone, t, o.buf, bufLen, &o.length, digits, &o.code);
  return o;
}

std::string Text(const Out& o) { return reinterpret_cast<const char*>(o.buf); }
std::u16string WText(const Out& o) { return reinterpret_cast<const char16_t*>(o.buf); }
template <class T>
T As(const Out& o) {
  T v;
  std::memcpy(&v, o.buf, sizeof v);
  return v;
}

const SQL_DATE_STRUCT kLeap{2024, 2, 29};
const SQL_TIME_STRUCT kTime{13, 5, 9};
SQL_TIMESTAMP_STRUCT Ts(uint32_t fraction, uint16_t h = 3) {
  return SQL_TIMESTAMP_STRUCT{2024, 1, 2, h, 4, 5, fraction};
}

TEST(DateSource, TextIsWholeOrAnError) {
  Out o = Date(kLeap, SQL_C_CHAR, 11);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(Text(o), "2024-02-29");
  EXPECT_EQ(o.length, 10);
  o = Date(kLeap, SQL_C_CHAR, 10);
  EXPECT_EQ(o.rc, SQL_ERROR);
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE) << "a date is never cut";
  o = Date(kLeap, SQL_C_CHAR, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.length, 10);
  EXPECT_EQ(o.buf[0], 0xEE);
  o = Date(kLeap, SQL_C_WCHAR, 22);
  EXPECT_EQ(WText(o), u"2024-02-29");
  EXPECT_EQ(o.length, 20);
  EXPECT_EQ(Date(kLeap, SQL_C_WCHAR, 20).code, ERR_NUMERIC_RANGE);
}

TEST(DateSource, YearsBeyondTheStructuresKeepTheirText) {
  EXPECT_EQ(Text(Date({-5, 1, 1}, SQL_C_CHAR)), "0006-01-01 BC");
  EXPECT_EQ(Text(Date({12345, 1, 1}, SQL_C_CHAR)), "12345-01-01");
  EXPECT_EQ(Text(Date({COLSET_YEAR_MINUS_INFINITY, 1, 1}, SQL_C_CHAR)), "-infinity");
  EXPECT_EQ(Text(Date({2000, 123, 7}, SQL_C_CHAR)), "2000-99-07");
  EXPECT_EQ(Date({0, 3, 15}, SQL_C_TYPE_DATE).code, ERR_DATETIME_FIELD_OVERFLOW);
  EXPECT_EQ(Date({10000, 1, 1}, SQL_C_TYPE_TIMESTAMP).code, ERR_DATETIME_FIELD_OVERFLOW);
  EXPECT_EQ(Date({0, 0, 0}, SQL_C_CHAR).code, ERR_DATETIME_FIELD_OVERFLOW) << "beyond the element";
  // Years past 16 bits: all their digits in text, 22008 in a structure.
  for (int64_t y : {32767, 40000, 5874897, -40000}) {
    SQL_DATE_STRUCT d{};
    ColSetPutDate(y, 7, 31, &d.year, &d.month, &d.day);
    const std::string want =
        y > 0 ? std::to_string(y) + "-07-31" : std::to_string(1 - y) + "-07-31 BC";
    EXPECT_EQ(Text(Date(d, SQL_C_CHAR)), want);
    EXPECT_EQ(Date(d, SQL_C_TYPE_DATE).code, ERR_DATETIME_FIELD_OVERFLOW) << y;
  }
}

TEST(DateSource, Structures) {
  Out o = Date(kLeap, SQL_C_TYPE_DATE);
  EXPECT_EQ(o.length, 6);
  EXPECT_EQ(As<SQL_DATE_STRUCT>(o).day, 29);
  o = Date(kLeap, SQL_C_TIMESTAMP);
  const auto ts = As<SQL_TIMESTAMP_STRUCT>(o);
  EXPECT_EQ(o.length, 16);
  EXPECT_EQ(ts.year, 2024);
  EXPECT_EQ(ts.month, 2);
  EXPECT_EQ(ts.day, 29);
  EXPECT_EQ(ts.hour + ts.minute + ts.second, 0);
  EXPECT_EQ(ts.fraction, 0u);
  EXPECT_EQ(Date(kLeap, SQL_C_TIME).code, ERR_RESTRICTED_TYPE);
  EXPECT_EQ(Date(kLeap, SQL_C_TYPE_TIME).code, ERR_RESTRICTED_TYPE);
  EXPECT_EQ(Date(kLeap, SQL_C_LONG).code, ERR_RESTRICTED_TYPE);
  o = Date(kLeap, SQL_C_BINARY, 6);
  EXPECT_EQ(o.length, 6);
  EXPECT_EQ(As<SQL_DATE_STRUCT>(o).month, 2);
  EXPECT_EQ(Date(kLeap, SQL_C_BINARY, 4).code, ERR_NUMERIC_RANGE) << "no partial structure image";
}

TEST(TimeSource, TextAndStructures) {
  Out o = Time(kTime, SQL_C_CHAR, 9);
  EXPECT_EQ(Text(o), "13:05:09");
  EXPECT_EQ(o.length, 8);
  EXPECT_EQ(Time(kTime, SQL_C_CHAR, 8).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(Text(Time({100, 7, 200}, SQL_C_CHAR)), "99:07:99");
  const std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  o = Time(kTime, SQL_C_TYPE_TIMESTAMP);
  const auto ts = As<SQL_TIMESTAMP_STRUCT>(o);
  EXPECT_EQ(ts.year, today.tm_year + 1900);
  EXPECT_EQ(ts.month, today.tm_mon + 1);
  EXPECT_EQ(ts.day, today.tm_mday);
  EXPECT_EQ(ts.hour, 13);
  EXPECT_EQ(Text(Time({24, 0, 0}, SQL_C_CHAR)), "24:00:00");
  EXPECT_EQ(Time({24, 0, 0}, SQL_C_TYPE_TIME).code, ERR_DATETIME_FIELD_OVERFLOW);
  EXPECT_EQ(ts.second, 9);
  EXPECT_EQ(Time(kTime, SQL_C_TIME).length, 6);
  EXPECT_EQ(Time(kTime, SQL_C_DATE).code, ERR_RESTRICTED_TYPE);
  EXPECT_EQ(Time(kTime, SQL_C_BINARY, 6).rc, SQL_SUCCESS);
  // A fraction: kept in text and a timestamp, reported where it is dropped.
  EXPECT_EQ(Text(Time(kTime, SQL_C_CHAR, 80, 123456000)), "13:05:09.123456");
  o = Time(kTime, SQL_C_CHAR, 12, 123456000);
  EXPECT_EQ(Text(o), "13:05:09.12");
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Time(kTime, SQL_C_TYPE_TIME, 80, 5).code, ERR_FRACTIONAL_TRUNCATION);
  EXPECT_EQ(As<SQL_TIMESTAMP_STRUCT>(Time(kTime, SQL_C_TYPE_TIMESTAMP, 80, 5)).fraction, 5u);
  // An offset: in text as PostgreSQL writes it, never in a structure.
  EXPECT_EQ(Text(Time(kTime, SQL_C_CHAR, 80, 0, COLSET_ZONE_BIAS + 19800)), "13:05:09+05:30");
  EXPECT_EQ(Text(Time(kTime, SQL_C_CHAR, 80, 0, COLSET_ZONE_BIAS - 10800)), "13:05:09-03");
  EXPECT_EQ(Time(kTime, SQL_C_CHAR, 11, 0, COLSET_ZONE_BIAS).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(As<SQL_TIME_STRUCT>(Time(kTime, SQL_C_TYPE_TIME, 80, 0, COLSET_ZONE_BIAS + 19800)).hour,
            13);
}

TEST(TimestampSource, FractionTrimmedToTheColumnDigits) {
  struct Case {
    uint32_t fraction;
    uint16_t digits;
    const char* text;
  } cases[] = {
      {120000000, 3, "2024-01-02 03:04:05.120"},
      {120000000, 0, "2024-01-02 03:04:05.12"},  // a non-zero digit is never dropped
      {0, 0, "2024-01-02 03:04:05"},
      {0, 3, "2024-01-02 03:04:05.000"},
      {123456789, 3, "2024-01-02 03:04:05.123456789"},
      {5, 9, "2024-01-02 03:04:05.000000005"},
      {500000000, 1, "2024-01-02 03:04:05.5"},
      {0, 12, "2024-01-02 03:04:05.000000000"},
      {4000000000u, 0, "2024-01-02 03:04:05.999999999"},
  };
  for (const auto& c : cases) {
    const Out o = Stamp(Ts(c.fraction), SQL_C_CHAR, c.digits);
    EXPECT_EQ(o.rc, SQL_SUCCESS) << c.text;
    EXPECT_EQ(Text(o), c.text);
    EXPECT_EQ(o.length, static_cast<int64_t>(std::strlen(c.text)));
  }
  Out o = Stamp(Ts(250000000), SQL_C_WCHAR, 2);
  EXPECT_EQ(WText(o), u"2024-01-02 03:04:05.25");
  EXPECT_EQ(o.length, 44);
}

TEST(TimestampSource, OnlyFractionDigitsMayBeCut) {
  Out o = Stamp(Ts(123456789), SQL_C_CHAR, 9, 25);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_TRUNCATED);
  EXPECT_EQ(Text(o), "2024-01-02 03:04:05.1234");
  EXPECT_EQ(o.length, 29);
  o = Stamp(Ts(123456789), SQL_C_CHAR, 9, 21);
  EXPECT_EQ(Text(o), "2024-01-02 03:04:05") << "no bare point";
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  o = Stamp(Ts(123456789), SQL_C_CHAR, 9, 20);
  EXPECT_EQ(Text(o), "2024-01-02 03:04:05");
  o = Stamp(Ts(123456789), SQL_C_CHAR, 9, 19);
  EXPECT_EQ(o.rc, SQL_ERROR);
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE);
  o = Stamp(Ts(0), SQL_C_CHAR, 0, 19);
  EXPECT_EQ(o.code, ERR_NUMERIC_RANGE);
  o = Stamp(Ts(123456789), SQL_C_WCHAR, 9, 2 * 25);
  EXPECT_EQ(WText(o), u"2024-01-02 03:04:05.1234");
  EXPECT_EQ(o.length, 58);
}

TEST(TimestampSource, DroppedFieldsAreReported) {
  Out o = Stamp(SQL_TIMESTAMP_STRUCT{2024, 1, 2, 0, 0, 0, 0}, SQL_C_TYPE_DATE, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS) << "midnight loses nothing";
  EXPECT_EQ(As<SQL_DATE_STRUCT>(o).day, 2);
  o = Stamp(Ts(0, 3), SQL_C_DATE, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_FRACTIONAL_TRUNCATION);
  EXPECT_EQ(o.length, 6);
  o = Stamp(Ts(0), SQL_C_TYPE_TIME, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS);
  EXPECT_EQ(As<SQL_TIME_STRUCT>(o).hour, 3);
  o = Stamp(Ts(5), SQL_C_TIME, 0);
  EXPECT_EQ(o.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(o.code, ERR_FRACTIONAL_TRUNCATION);
  o = Stamp(Ts(777), SQL_C_TYPE_TIMESTAMP, 0);
  EXPECT_EQ(As<SQL_TIMESTAMP_STRUCT>(o).fraction, 777u);
  EXPECT_EQ(o.length, 16);
  EXPECT_EQ(Stamp(Ts(0), SQL_C_BINARY, 0, 16).length, 16);
  EXPECT_EQ(Stamp(Ts(0), SQL_C_BINARY, 0, 15).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(Stamp(Ts(0), SQL_C_DOUBLE, 0).code, ERR_RESTRICTED_TYPE);
  // An offset west with seconds: in text only, whole or refused.
  const uint32_t west = COLSET_ZONE_BIAS - 1521;
  EXPECT_EQ(Text(Stamp(Ts(0), SQL_C_CHAR, 0, 80, west)), "2024-01-02 03:04:05-00:25:21");
  EXPECT_EQ(Stamp(Ts(0), SQL_C_CHAR, 0, 28, west).code, ERR_NUMERIC_RANGE);
  EXPECT_EQ(As<SQL_TIMESTAMP_STRUCT>(Stamp(Ts(0), SQL_C_TYPE_TIMESTAMP, 0, 80, west)).hour, 3);
}

}  // namespace
