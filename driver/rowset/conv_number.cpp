// Conversions from integers and floating-point numbers.
#include <cfloat>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <string>

#include "driver/rowset/convert.h"
#include "driver/rowset/convert_internal.h"
#include "driver/trace.h"

using conv::Cut;
using conv::Target;

namespace {

template <class T>
SQLRETURN Put(T v, const Target& t, int32_t info = 0) {
  return conv::PutFixed(&v, sizeof v, t, info);
}

// An integer value (already widened by its signedness) of a source that is
// `bytes` wide and whose raw bytes are `raw`.
SQLRETURN FromInteger(int64_t v, const void* raw, int bytes, uint16_t defaultPrecision,
                      int16_t cType, const Target& t, int16_t scale, uint16_t precision) {
  auto within = [&](int64_t lo, int64_t hi) { return v >= lo && v <= hi; };
  auto range = [&]() { return conv::Fail(t.pending, ERR_NUMERIC_RANGE); };
  switch (cType) {
    case SQL_C_UTINYINT: return within(0, UINT8_MAX) ? Put(static_cast<uint8_t>(v), t) : range();
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      return within(INT8_MIN, INT8_MAX) ? Put(static_cast<int8_t>(v), t) : range();
    case SQL_C_USHORT: return within(0, UINT16_MAX) ? Put(static_cast<uint16_t>(v), t) : range();
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      return within(INT16_MIN, INT16_MAX) ? Put(static_cast<int16_t>(v), t) : range();
    case SQL_C_ULONG: return within(0, UINT32_MAX) ? Put(static_cast<uint32_t>(v), t) : range();
    case SQL_C_LONG:
    case SQL_C_SLONG:
      return within(INT32_MIN, INT32_MAX) ? Put(static_cast<int32_t>(v), t) : range();
    case SQL_C_SBIGINT: return Put(v, t);
    case SQL_C_UBIGINT: return v >= 0 ? Put(static_cast<uint64_t>(v), t) : range();
    case SQL_C_BIT: return within(0, 1) ? Put(static_cast<uint8_t>(v), t) : range();
    case SQL_C_FLOAT: return Put(static_cast<float>(v), t);
    case SQL_C_DOUBLE: return Put(static_cast<double>(v), t);
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      // Dropping digits of a whole number would change its value.
      char text[24];
      const auto r = std::to_chars(text, text + sizeof text, v);
      return conv::PutAsciiText(text, r.ptr - text, cType, Cut::Refused, t);
    }
    case SQL_C_BINARY: return conv::PutImage(raw, bytes, t);
    case SQL_C_NUMERIC: {
      conv::DecimalDigits d;
      d.negative = v < 0;
      const uint64_t mag = v < 0 ? ~static_cast<uint64_t>(v) + 1 : static_cast<uint64_t>(v);
      d.digits = std::to_string(mag);
      SQL_NUMERIC_STRUCT n{};
      const int rc = conv::DigitsToNumeric(d, scale, precision, defaultPrecision, &n, t.pending);
      if (rc < 0) return SQL_ERROR;
      return Put(n, t, rc == 1 ? ERR_FRACTIONAL_TRUNCATION : 0);
    }
    default: return conv::Fail(t.pending, ERR_RESTRICTED_TYPE);
  }
}

// The shortest text that reads back as the same value.
std::string ShortestText(double v, bool isFloat) {
  char buf[64];
  const auto r = isFloat ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                         : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The sign and the digits before the point or the exponent.
int64_t WholePart(const char* text, int64_t length) {
  int64_t n = text[0] == '-' ? 1 : 0;
  while (n < length && text[n] >= '0' && text[n] <= '9') ++n;
  return n;
}

std::string GText(double v, int digits) {
  char buf[64];
  const int n = FormatDoubleG(buf, v, digits);
  return std::string(buf, static_cast<size_t>(n));
}

int NumericFrom(double v, bool isFloat, SQL_NUMERIC_STRUCT* out, int16_t scale, uint16_t precision,
                int32_t* pending) {
  if (!std::isfinite(v)) {
    *pending = ERR_NUMERIC_RANGE;
    return -1;
  }
  const std::string text = ShortestText(v, isFloat);
  conv::DecimalDigits d;
  if (!conv::ParseDecimal(text.data(), static_cast<int64_t>(text.size()), &d)) {
    *pending = ERR_NUMERIC_RANGE;
    return -1;
  }
  return conv::DigitsToNumeric(d, scale, precision, isFloat ? 7 : 15, out, pending);
}

// A value that is no number, spelt as Java and the databases spell it.
std::string NonFiniteText(double v) {
  if (std::isnan(v)) return "NaN";
  return v < 0 ? "-Infinity" : "Infinity";
}

// A floating-point value (a float widened exactly when isFloat). NaN and the
// infinities fail every range check below, so only the targets that can
// hold them (floating point, text, the raw image) take them.
SQLRETURN FromReal(double v, bool isFloat, const void* raw, int16_t cType, const Target& t,
                   int16_t scale, uint16_t precision) {
  const double whole = std::trunc(v);
  const int32_t cut = whole != v ? ERR_FRACTIONAL_TRUNCATION : 0;
  // lo <= whole < hi, with hi a power of two (exact in a double).
  auto within = [&](double lo, double hi) { return whole >= lo && whole < hi; };
  auto range = [&]() { return conv::Fail(t.pending, ERR_NUMERIC_RANGE); };
  const bool negative = v < 0;
  switch (cType) {
    case SQL_C_UTINYINT:
      return !negative && within(0, 0x1p8) ? Put(static_cast<uint8_t>(whole), t, cut) : range();
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      return within(-0x1p7, 0x1p7) ? Put(static_cast<int8_t>(whole), t, cut) : range();
    case SQL_C_USHORT:
      return !negative && within(0, 0x1p16) ? Put(static_cast<uint16_t>(whole), t, cut) : range();
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      return within(-0x1p15, 0x1p15) ? Put(static_cast<int16_t>(whole), t, cut) : range();
    case SQL_C_ULONG:
      return !negative && within(0, 0x1p32) ? Put(static_cast<uint32_t>(whole), t, cut) : range();
    case SQL_C_LONG:
    case SQL_C_SLONG:
      return within(-0x1p31, 0x1p31) ? Put(static_cast<int32_t>(whole), t, cut) : range();
    case SQL_C_SBIGINT:
      return within(-0x1p63, 0x1p63) ? Put(static_cast<int64_t>(whole), t, cut) : range();
    case SQL_C_UBIGINT:
      return !negative && within(0, 0x1p64) ? Put(static_cast<uint64_t>(whole), t, cut) : range();
    case SQL_C_BIT:
      // Between 0 and 2 the value is cut to 0 or 1 (01S07); below 0 or from
      // 2 on it has no bit.
      return !negative && within(0, 2) ? Put(static_cast<uint8_t>(whole), t, cut) : range();
    case SQL_C_FLOAT:
      if (std::isfinite(v) && (v > FLT_MAX || v < -FLT_MAX)) return range();
      return Put(static_cast<float>(v), t);
    case SQL_C_DOUBLE: return Put(v, t);
    case SQL_C_CHAR:
    case SQL_C_WCHAR: {
      if (!std::isfinite(v)) return conv::PutAsciiText(NonFiniteText(v), cType, Cut::Refused, t);
      // The shortest text that reads back as the same value, as the
      // databases and Java write it (at most 9 digits for a REAL, 17 for a
      // double): a fixed count of digits would either lose a REAL's last
      // digit or show a double's binary noise.
      char text[64];
      const auto shortest = isFloat ? std::to_chars(text, text + sizeof text, static_cast<float>(v))
                                    : std::to_chars(text, text + sizeof text, v);
      const int64_t length = shortest.ptr - text;
      // A cut keeps the leading part of the one text whose length is
      // reported, so that an application reading that length never meets
      // bytes the driver did not write; it may drop fraction and exponent
      // digits, never the whole part (ODBC's 22003).
      const int64_t room = conv::AsciiRoom(cType, t.bufferLength);
      if (t.bufferLength > 0 && t.buffer != nullptr && length > room &&
          room < WholePart(text, length))
        return range();
      return conv::PutAsciiText(text, length, cType, Cut::Allowed, t);
    }
    case SQL_C_BINARY: return conv::PutImage(raw, isFloat ? 4 : 8, t);
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT n{};
      const int rc = NumericFrom(v, isFloat, &n, scale, precision, t.pending);
      if (rc < 0) return SQL_ERROR;
      return Put(n, t, rc == 1 ? ERR_FRACTIONAL_TRUNCATION : 0);
    }
    default: return conv::Fail(t.pending, ERR_RESTRICTED_TYPE);
  }
}

int64_t Widen(uint32_t bits, int width, int isSigned) {
  if (!isSigned) return static_cast<int64_t>(bits);
  switch (width) {
    case 1: return static_cast<int8_t>(bits);
    case 2: return static_cast<int16_t>(bits);
    default: return static_cast<int32_t>(bits);
  }
}

}  // namespace

SQLRETURN ConvertBYTE(uint8_t value, int isSigned, int16_t cType, void* buffer,
                      int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                      uint16_t precision) {
  if (TRC_Active())
    TRC_Printf("ConvertBYTE: retBufferLength(%" PRId64 ") to %s", bufferLength,
               CvtTraceType(cType));
  return FromInteger(Widen(value, 1, isSigned), &value, 1, 3, cType,
                     Target{buffer, bufferLength, lengthPtr, pending}, scale, precision);
}

SQLRETURN ConvertSHORT(uint16_t value, int isSigned, int16_t cType, void* buffer,
                       int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                       uint16_t precision) {
  const int64_t v = Widen(value, 2, isSigned);
  if (TRC_Active()) TRC_Printf("ConvertSHORT: value(%" PRId64 ") to %s", v, CvtTraceType(cType));
  return FromInteger(v, &value, 2, 5, cType, Target{buffer, bufferLength, lengthPtr, pending},
                     scale, precision);
}

SQLRETURN ConvertINTEGER(uint32_t value, int isSigned, int16_t cType, void* buffer,
                         int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                         uint16_t precision) {
  return FromInteger(Widen(value, 4, isSigned), &value, 4, 10, cType,
                     Target{buffer, bufferLength, lengthPtr, pending}, scale, precision);
}

SQLRETURN ConvertFLOAT(float value, int16_t cType, void* buffer, int64_t bufferLength,
                       int64_t* lengthPtr, int32_t* pending, int16_t scale, uint16_t precision) {
  if (TRC_Active())
    TRC_Printf("ConvertFLOAT: value (%s) to %s", GText(value, 8).c_str(), CvtTraceType(cType));
  return FromReal(value, true, &value, cType, Target{buffer, bufferLength, lengthPtr, pending},
                  scale, precision);
}

SQLRETURN ConvertDOUBLE(double value, int16_t cType, void* buffer, int64_t bufferLength,
                        int64_t* lengthPtr, int32_t* pending, int16_t scale, uint16_t precision) {
  if (TRC_Active())
    TRC_Printf("ConvertDOUBLE: value (%s) to %s", GText(value, 17).c_str(), CvtTraceType(cType));
  return FromReal(value, false, &value, cType, Target{buffer, bufferLength, lengthPtr, pending},
                  scale, precision);
}

int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT* out, int16_t scale, uint16_t precision,
                    int32_t* pending) {
  if (TRC_Active()) TRC_Printf("DoubleToNumeric: %e", value);
  return NumericFrom(value, false, out, scale, precision, pending);
}

void TrimTrailingPoint(char* text) {
  const size_t n = std::strlen(text);
  if (n > 0 && text[n - 1] == '.') text[n - 1] = '\0';
}
