// Conversions from dates, times and timestamps.
#include <cinttypes>
#include <ctime>
#include <string>

#include "driver/rowset/convert.h"
#include "driver/rowset/convert_internal.h"
#include "driver/trace.h"
#include "util/colset.h"

using conv::Cut;
using conv::Target;

namespace {

// Length of "yyyy-mm-dd hh:mm:ss": the part of a timestamp text that must
// fit whole; only fraction digits may be cut.
constexpr int64_t kTimestampWhole = 19;

int Year(int16_t y) {
  int v = y < 0 ? -y : y;
  return v > 9999 ? 9999 : v;
}
unsigned Field(unsigned v) { return v > 99 ? 99 : v; }

// Writes v (which fits) as exactly width decimal digits, zeros in front:
// the fixed-width fields of date and time texts without a formatter call.
void Digits(char* p, unsigned v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
}

// "yyyy-mm-dd" into p (10 bytes).
void DateText(char* p, int16_t y, unsigned m, unsigned d) {
  Digits(p, static_cast<unsigned>(Year(y)), 4);
  p[4] = '-';
  Digits(p + 5, Field(m), 2);
  p[7] = '-';
  Digits(p + 8, Field(d), 2);
}
constexpr int64_t kDateText = 10;

// "hh:mm:ss" into p (8 bytes).
void TimeText(char* p, unsigned h, unsigned m, unsigned s) {
  Digits(p, Field(h), 2);
  p[2] = ':';
  Digits(p + 3, Field(m), 2);
  p[5] = ':';
  Digits(p + 6, Field(s), 2);
}
constexpr int64_t kTimeText = 8;

// ".fffffffff" after a time's text at p (10 bytes): nine digits, trailing
// zeros stripped back to the column's digits; a non-zero digit is never
// dropped, whatever the column says. The characters written (0 for none).
int64_t FractionText(char* p, uint32_t fraction, uint16_t decimalDigits) {
  Digits(p + 1, fraction > 999999999u ? 999999999u : fraction, 9);
  const int64_t keep = decimalDigits > 9 ? 9 : decimalDigits;
  int64_t n = 9;
  while (n > keep && p[n] == '0') --n;
  p[0] = '.';
  return n > 0 ? n + 1 : 0;
}

// Text of a time or timestamp whose whole part (the first `whole`
// characters) must fit: only fraction digits are cut, never to a bare point.
SQLRETURN PutCutInFraction(const char* text, int64_t length, int64_t whole, int16_t cType,
                           const conv::Target& t) {
  const int64_t room = conv::AsciiRoom(cType, t.bufferLength);
  if (t.bufferLength <= 0 || t.buffer == nullptr || length <= room)
    return conv::PutAsciiText(text, length, cType, Cut::Refused, t);
  if (room < whole) return conv::Fail(t.pending, ERR_NUMERIC_RANGE);
  const int64_t shown = room == whole + 1 ? whole : room;
  return conv::PutShortened(std::string(text, static_cast<size_t>(length)),
                            std::string(text, static_cast<size_t>(shown)), cType, t);
}

// Whether a date's fields are a date ODBC's structures take: years 1 to
// 9999 (a month of 0 marks a value beyond what the element holds, one
// with COLSET_MONTH_WIDE a year beyond its 16 bits).
bool StructDate(int16_t y, unsigned m) { return y >= 1 && y <= 9999 && m >= 1 && m <= 12; }

// The text of a date whose year the structures do not take, as the
// database writes it: "infinity", the era marker after the whole value
// ("0044-03-15 BC") or a signed year ("-0043-03-15", COLSET_MONTH_SIGNED),
// all the digits of a year after 9999. time is what
// follows the date ("" for a date). False for a value beyond the element.
bool SpecialDateText(int16_t year16, unsigned month, unsigned day, const std::string& time,
                     std::string* out) {
  if (month == 0) return false;
  if ((month & COLSET_MONTH_WIDE) == 0 &&
      (year16 == COLSET_YEAR_INFINITY || year16 == COLSET_YEAR_MINUS_INFINITY)) {
    *out = year16 == COLSET_YEAR_INFINITY ? "infinity" : "-infinity";
    return true;
  }
  int64_t y = 0;
  unsigned m = 0, d = 0;
  ColSetGetDate(year16, static_cast<uint16_t>(month), static_cast<uint16_t>(day), &y, &m, &d);
  const bool bc = y < 1;
  const bool signedYear = bc && (month & COLSET_MONTH_SIGNED) != 0;
  std::string year = std::to_string(signedYear ? -y : bc ? 1 - y : y);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  if (signedYear && y != 0) year.insert(0, 1, '-');
  char md[6];
  Digits(md, Field(m), 2);
  Digits(md + 3, Field(d), 2);
  md[2] = '-';
  md[5] = '\0';
  *out = year + "-" + md + time + (bc && !signedYear ? " BC" : "");
  return true;
}

// Today in the process's own zone: the date ODBC gives a time read as a
// timestamp.
void Today(SQL_TIMESTAMP_STRUCT* ts) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) == nullptr) return;
  ts->year = static_cast<SQLSMALLINT>(tm.tm_year + 1900);
  ts->month = static_cast<SQLUSMALLINT>(tm.tm_mon + 1);
  ts->day = static_cast<SQLUSMALLINT>(tm.tm_mday);
}

template <class T>
SQLRETURN Put(const T& v, const Target& t, int32_t info = 0) {
  return conv::PutFixed(&v, sizeof v, t, info);
}

bool IsText(int16_t cType) { return cType == SQL_C_CHAR || cType == SQL_C_WCHAR; }

// The structure targets a date, time or timestamp converts to.
bool IsStruct(int16_t cType) {
  switch (cType) {
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return true;
    default: return false;
  }
}

void TraceEntry(const char* name, int64_t bufferLength, int16_t cType) {
  if (TRC_Active())
    TRC_Printf("%s: retBufferLength(%" PRId64 ") to %s", name, bufferLength, CvtTraceType(cType));
}

// The non-text targets of a date or a time: its bytes, itself in its own C
// type (ownType), or a timestamp that holds only its own fields (widened).
template <class S>
SQLRETURN PutDateOrTime(const S& value, bool ownType, const SQL_TIMESTAMP_STRUCT& widened,
                        int16_t cType, const Target& t) {
  if (ownType) return Put(value, t);
  switch (cType) {
    case SQL_C_BINARY: return conv::PutImage(&value, sizeof value, t);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return Put(widened, t);
    default: return conv::Fail(t.pending, ERR_RESTRICTED_TYPE);
  }
}

}  // namespace

SQLRETURN ConvertDATE(const SQL_DATE_STRUCT* value, int16_t cType, void* buffer,
                      int64_t bufferLength, int64_t* lengthPtr, int32_t* pending) {
  TraceEntry("ConvertDATE", bufferLength, cType);
  const Target t{buffer, bufferLength, lengthPtr, pending};
  const bool plain = StructDate(value->year, value->month);
  if (IsText(cType)) {
    if (!plain) {
      std::string text;
      if (!SpecialDateText(value->year, value->month, value->day, "", &text))
        return conv::Fail(pending, ERR_DATETIME_FIELD_OVERFLOW);
      return conv::PutAsciiText(text, cType, Cut::Refused, t);
    }
    char text[kDateText];
    DateText(text, value->year, value->month, value->day);
    return conv::PutAsciiText(text, kDateText, cType, Cut::Refused, t);
  }
  if (!plain && IsStruct(cType) && cType != SQL_C_TIME && cType != SQL_C_TYPE_TIME)
    return conv::Fail(pending, ERR_DATETIME_FIELD_OVERFLOW);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = value->year;
  ts.month = value->month;
  ts.day = value->day;
  return PutDateOrTime(*value, cType == SQL_C_DATE || cType == SQL_C_TYPE_DATE, ts, cType, t);
}

SQLRETURN ConvertTIME(const SQL_TIME_STRUCT* value, uint32_t zone, uint32_t fraction, int16_t cType,
                      void* buffer, int64_t bufferLength, int64_t* lengthPtr,
                      uint16_t decimalDigits, int32_t* pending) {
  TraceEntry("ConvertTIME", bufferLength, cType);
  const Target t{buffer, bufferLength, lengthPtr, pending};
  if (IsText(cType)) {
    char text[kTimeText + 10];
    TimeText(text, value->hour, value->minute, value->second);
    const int64_t length = kTimeText + FractionText(text + kTimeText, fraction, decimalDigits);
    if (zone == COLSET_ZONE_NONE) return PutCutInFraction(text, length, kTimeText, cType, t);
    // With its offset the text is whole or refused, as a date's is.
    const std::string whole = std::string(text, static_cast<size_t>(length)) + ColSetZoneText(zone);
    return conv::PutAsciiText(whole, cType, Cut::Refused, t);
  }
  // 24:00:00, the end of a day, is no time of one.
  if (value->hour > 23 && IsStruct(cType) && cType != SQL_C_DATE && cType != SQL_C_TYPE_DATE)
    return conv::Fail(pending, ERR_DATETIME_FIELD_OVERFLOW);
  SQL_TIMESTAMP_STRUCT ts{};
  if (cType == SQL_C_TIMESTAMP || cType == SQL_C_TYPE_TIMESTAMP) Today(&ts);
  ts.hour = value->hour;
  ts.minute = value->minute;
  ts.second = value->second;
  ts.fraction = fraction;
  if (fraction != 0 && (cType == SQL_C_TIME || cType == SQL_C_TYPE_TIME))
    return Put(*value, t, ERR_FRACTIONAL_TRUNCATION);
  return PutDateOrTime(*value, cType == SQL_C_TIME || cType == SQL_C_TYPE_TIME, ts, cType, t);
}

SQLRETURN ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT* value, uint32_t zone, int16_t cType,
                           void* buffer, int64_t bufferLength, int64_t* lengthPtr,
                           uint16_t decimalDigits, int32_t* pending) {
  if (TRC_Active())
    TRC_Printf("ConvertTIMESTAMP: precision,scale (%" PRId64 ",%u) to %s", bufferLength,
               static_cast<unsigned>(decimalDigits), CvtTraceType(cType));
  const Target t{buffer, bufferLength, lengthPtr, pending};
  if (IsText(cType)) {
    // "yyyy-mm-dd hh:mm:ss.fffffffff"
    char text[kTimestampWhole + 10];
    DateText(text, value->year, value->month, value->day);
    text[kDateText] = ' ';
    TimeText(text + kDateText + 1, value->hour, value->minute, value->second);
    const int64_t length =
        kTimestampWhole + FractionText(text + kTimestampWhole, value->fraction, decimalDigits);
    const std::string offset = ColSetZoneText(zone);
    if (!StructDate(value->year, value->month)) {
      std::string special;
      const std::string time(text + kDateText, static_cast<size_t>(length - kDateText));
      if (!SpecialDateText(value->year, value->month, value->day, time + offset, &special))
        return conv::Fail(pending, ERR_DATETIME_FIELD_OVERFLOW);
      return conv::PutAsciiText(special, cType, Cut::Refused, t);
    }
    // With its offset the text is whole or refused, as a time's is.
    if (!offset.empty())
      return conv::PutAsciiText(std::string(text, static_cast<size_t>(length)) + offset, cType,
                                Cut::Refused, t);
    if (TRC_Active())
      TRC_Printf("ConvertTIMESTAMP temBuf string = %.*s", static_cast<int>(length), text);
    return PutCutInFraction(text, length, kTimestampWhole, cType, t);
  }
  if (IsStruct(cType) && (!StructDate(value->year, value->month) || value->hour > 23))
    return conv::Fail(pending, ERR_DATETIME_FIELD_OVERFLOW);
  switch (cType) {
    case SQL_C_BINARY: return conv::PutImage(value, sizeof *value, t);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
      SQL_DATE_STRUCT d{};
      d.year = value->year;
      d.month = value->month;
      d.day = value->day;
      const bool timeLost =
          value->hour != 0 || value->minute != 0 || value->second != 0 || value->fraction != 0;
      return Put(d, t, timeLost ? ERR_FRACTIONAL_TRUNCATION : 0);
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
      SQL_TIME_STRUCT tm{};
      tm.hour = value->hour;
      tm.minute = value->minute;
      tm.second = value->second;
      return Put(tm, t, value->fraction != 0 ? ERR_FRACTIONAL_TRUNCATION : 0);
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return Put(*value, t);
    default: return conv::Fail(pending, ERR_RESTRICTED_TYPE);
  }
}
