// Conversions from 8-bit (UTF-8) and UTF-16 text, and the number parsers
// that decide which texts count as numbers.
#include <cfloat>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "driver/rowset/convert.h"
#include "driver/rowset/convert_internal.h"
#include "driver/trace.h"
#include "util/errcodes.h"

using conv::Cut;
using conv::Target;

namespace {

// Longest text a trace line shows of a value.
constexpr int kTraceTextMax = 256;

void TraceText(const char* what, const char* text, int64_t length) {
  if (!TRC_Active()) return;
  const int n = static_cast<int>(length < kTraceTextMax ? length : kTraceTextMax);
  TRC_Printf("%s: %.*s", what, n, text);
}

// The integer part of a number text: magnitude and sign. 0, 1 (non-zero
// fractional digits dropped) or -1 with the code in *pending.
// A plain integer ("-" and at most 19 digits, nothing else), the form
// numbers have in the row buffer: read straight, as the general parse below
// would read it. False for any other text.
bool PlainInteger(const char* text, int64_t length, bool* negative, uint64_t* magnitude) {
  const bool minus = length > 0 && text[0] == '-';
  const int64_t digits = length - (minus ? 1 : 0);
  if (digits < 1 || digits > 19) return false;
  uint64_t v = 0;
  for (int64_t i = minus ? 1 : 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *negative = minus;
  *magnitude = v;
  return true;
}

int ParseInteger(const char* text, int64_t length, bool* negative, uint64_t* magnitude,
                 int32_t* pending) {
  if (PlainInteger(text, length, negative, magnitude)) return 0;
  conv::DecimalDigits d;
  if (!conv::ParseDecimal(text, length, &d)) {
    *pending = ERR_ASSIGNMENT;
    return -1;
  }
  *negative = d.negative;
  if (d.digits.find_first_not_of('0') == std::string::npos) {
    // Zero stays zero whatever its exponent ("0e25").
    *magnitude = 0;
    return 0;
  }
  const auto len = static_cast<int64_t>(d.digits.size());
  const int64_t intLen = len + d.exponent;
  std::string whole;
  bool dropped = false;
  if (intLen <= 0) {
    dropped = d.digits.find_first_not_of('0') != std::string::npos;
  } else if (d.exponent >= 0) {
    if (intLen > 20) {
      *pending = ERR_NUMERIC_RANGE;
      return -1;
    }
    whole = d.digits + std::string(static_cast<size_t>(d.exponent), '0');
  } else {
    whole = d.digits.substr(0, static_cast<size_t>(intLen));
    dropped = d.digits.find_first_not_of('0', static_cast<size_t>(intLen)) != std::string::npos;
  }
  uint64_t v = 0;
  for (char c : whole) {
    const auto digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) {
      *pending = ERR_NUMERIC_RANGE;
      return -1;
    }
    v = v * 10 + digit;
  }
  *magnitude = v;
  return dropped ? 1 : 0;
}

// Range check of a magnitude and sign against [minimum, maximum]; the value's
// two's-complement bits on success.
bool InRange(bool negative, uint64_t magnitude, int64_t minimum, uint64_t maximum, uint64_t* bits) {
  if (magnitude == 0) {
    *bits = 0;
    return true;
  }
  if (negative) {
    if (minimum >= 0) return false;
    const uint64_t limit = static_cast<uint64_t>(-(minimum + 1)) + 1;
    if (magnitude > limit) return false;
    *bits = ~magnitude + 1;
    return true;
  }
  if (magnitude > maximum) return false;
  *bits = magnitude;
  return true;
}

int ParseNumber64(const char* text, int64_t length, int64_t minimum, uint64_t maximum,
                  uint64_t* value, int32_t* pending) {
  bool negative = false;
  uint64_t magnitude = 0;
  const int rc = ParseInteger(text, length, &negative, &magnitude, pending);
  if (rc < 0) return rc;
  if (!InRange(negative, magnitude, minimum, maximum, value)) {
    *pending = ERR_NUMERIC_RANGE;
    return -1;
  }
  if (rc == 1) *pending = ERR_FRACTIONAL_TRUNCATION;
  return rc;
}

template <class T>
SQLRETURN PutNumber(T v, int rc, const Target& t) {
  return conv::PutFixed(&v, sizeof v, t, rc == 1 ? ERR_FRACTIONAL_TRUNCATION : 0);
}

// The targets that take a number read from text; `ok` false for any other.
SQLRETURN NumberFromText(const char* s, int64_t n, int16_t cType, const Target& t, int16_t scale,
                         uint16_t precision, bool* handled) {
  *handled = true;
  int64_t v = 0;
  int rc = 0;
  auto small = [&](int64_t lo, int64_t hi) {
    TraceText("CharToNumber", s, n);
    rc = CharToNumber(s, n, lo, hi, &v, t.pending);
    return rc >= 0;
  };
  switch (cType) {
    case SQL_C_BIT: {
      // Below 0 there is no bit, not even for a value that truncates to 0.
      conv::DecimalDigits d;
      if (conv::ParseDecimal(s, n, &d) && d.negative &&
          d.digits.find_first_not_of('0') != std::string::npos)
        return conv::Fail(t.pending, ERR_NUMERIC_RANGE);
      return small(0, 1) ? PutNumber(static_cast<uint8_t>(v), rc, t) : SQL_ERROR;
    }
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
      return small(INT8_MIN, INT8_MAX) ? PutNumber(static_cast<int8_t>(v), rc, t) : SQL_ERROR;
    case SQL_C_UTINYINT:
      return small(0, UINT8_MAX) ? PutNumber(static_cast<uint8_t>(v), rc, t) : SQL_ERROR;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      return small(INT16_MIN, INT16_MAX) ? PutNumber(static_cast<int16_t>(v), rc, t) : SQL_ERROR;
    case SQL_C_USHORT:
      return small(0, UINT16_MAX) ? PutNumber(static_cast<uint16_t>(v), rc, t) : SQL_ERROR;
    case SQL_C_LONG:
    case SQL_C_SLONG:
      return small(INT32_MIN, INT32_MAX) ? PutNumber(static_cast<int32_t>(v), rc, t) : SQL_ERROR;
    case SQL_C_ULONG:
      return small(0, UINT32_MAX) ? PutNumber(static_cast<uint32_t>(v), rc, t) : SQL_ERROR;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      TraceText("CharToNumber64", s, n);
      uint64_t bits = 0;
      rc = cType == SQL_C_SBIGINT ? CharToNumber64(s, n, INT64_MIN, INT64_MAX, &bits, t.pending)
                                  : CharToNumber64(s, n, 0, UINT64_MAX, &bits, t.pending);
      return rc < 0 ? SQL_ERROR : PutNumber(bits, rc, t);
    }
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
      TraceText("CharToDecimal", s, n);
      double d = 0;
      if (CharToDecimal(s, n, &d, t.pending) < 0) return SQL_ERROR;
      if (cType == SQL_C_DOUBLE) return PutNumber(d, 0, t);
      if (d > FLT_MAX || d < -FLT_MAX) return conv::Fail(t.pending, ERR_NUMERIC_RANGE);
      return PutNumber(static_cast<float>(d), 0, t);
    }
    case SQL_C_NUMERIC: {
      TraceText("CharToNumeric", s, n);
      SQL_NUMERIC_STRUCT num{};
      rc = CharToNumeric(s, n, &num, scale, precision, t.pending);
      return rc < 0 ? SQL_ERROR : PutNumber(num, rc, t);
    }
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP: return conv::Fail(t.pending, ERR_NOT_CAPABLE);
    default: *handled = false; return SQL_ERROR;
  }
}

void Consumed(int64_t* consumed, int64_t v) {
  if (consumed != nullptr) *consumed = v;
}

}  // namespace

int CharToNumber(const char* text, int64_t length, int64_t minimum, int64_t maximum, int64_t* value,
                 int32_t* pending) {
  uint64_t bits = 0;
  const int rc =
      ParseNumber64(text, length, minimum, static_cast<uint64_t>(maximum), &bits, pending);
  if (rc >= 0) *value = static_cast<int64_t>(bits);
  return rc;
}

int CharToNumber64(const char* text, int64_t length, int64_t minimum, uint64_t maximum,
                   uint64_t* value, int32_t* pending) {
  return ParseNumber64(text, length, minimum, maximum, value, pending);
}

namespace {

// NaN or an infinity for its words (any case, trailing blanks allowed), else 0.
double NonFinite(std::string t) {
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
  for (char& c : t) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (t == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (t == "infinity" || t == "+infinity" || t == "inf") return HUGE_VAL;
  if (t == "-infinity" || t == "-inf") return -HUGE_VAL;
  return 0;
}

}  // namespace

int CharToDecimal(const char* text, int64_t length, double* value, int32_t* pending) {
  int64_t i = 0;
  while (i < length && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < length && text[i] == '$') ++i;
  std::string clean;
  clean.reserve(static_cast<size_t>(length - i));
  for (; i < length; ++i)
    if (text[i] != ',') clean.push_back(text[i]);
  // What is no number, spelt as Java and the databases spell it: a double
  // holds it too.
  if (const double special = NonFinite(clean); special != 0) {
    *value = special;
    return 0;
  }
  conv::DecimalDigits d;
  if (!conv::ParseDecimal(clean.data(), static_cast<int64_t>(clean.size()), &d)) {
    *pending = ERR_ASSIGNMENT;
    return -1;
  }
  // A canonical form the C-locale parser reads exactly.
  const std::string canon = (d.negative ? "-" : "") + d.digits + "e" + std::to_string(d.exponent);
  double v = 0;
  const auto r = std::from_chars(canon.data(), canon.data() + canon.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    const bool huge = static_cast<int64_t>(d.digits.size()) + d.exponent > 0;
    if (huge) {
      *pending = ERR_NUMERIC_RANGE;
      return -1;
    }
    v = d.negative ? -0.0 : 0.0;
  } else if (r.ec != std::errc() || r.ptr != canon.data() + canon.size()) {
    *pending = ERR_ASSIGNMENT;
    return -1;
  }
  *value = v;
  return 0;
}

int CharToNumeric(const char* text, int64_t length, SQL_NUMERIC_STRUCT* out, int16_t scale,
                  uint16_t precision, int32_t* pending) {
  if (conv::PlainToNumeric(text, length, scale, precision, out)) return 0;
  conv::DecimalDigits d;
  if (!conv::ParseDecimal(text, length, &d)) {
    *pending = ERR_ASSIGNMENT;
    return -1;
  }
  return conv::DigitsToNumeric(d, scale, precision, 0, out, pending);
}

int CharToGuid(const char* text, int64_t length, SQLGUID* out, int32_t* pending) {
  int64_t b = 0, e = length;
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  // A character beyond ASCII is never part of a GUID. Found before the
  // length is counted, it answers alike however the text's characters were
  // encoded (wide text reaches here re-encoded).
  for (int64_t i = b; i < e; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) {
      *pending = ERR_ASSIGNMENT;
      return -1;
    }
  }
  if (e - b != 36) {
    *pending = ERR_STRING_LENGTH_MISMATCH;
    return -1;
  }
  const char* s = text + b;
  uint8_t nib[32];
  int k = 0;
  for (int i = 0; i < 36; ++i) {
    const char c = s[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') {
        *pending = ERR_ASSIGNMENT;
        return -1;
      }
      continue;
    }
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else {
      *pending = ERR_ASSIGNMENT;
      return -1;
    }
    nib[k++] = static_cast<uint8_t>(v);
  }
  auto take = [&](int from, int count) {
    uint64_t v = 0;
    for (int i = 0; i < count; ++i) v = (v << 4) | nib[from + i];
    return v;
  };
  SQLGUID g{};
  g.Data1 = static_cast<decltype(g.Data1)>(take(0, 8));
  g.Data2 = static_cast<decltype(g.Data2)>(take(8, 4));
  g.Data3 = static_cast<decltype(g.Data3)>(take(12, 4));
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(take(16 + 2 * i, 2));
  *out = g;
  return 0;
}

int WCharToNumber(const char16_t* text, int64_t count, int64_t minimum, int64_t maximum,
                  int64_t* value, int32_t* pending) {
  const std::string s = conv::WideToUtf8(text, count);
  return CharToNumber(s.data(), static_cast<int64_t>(s.size()), minimum, maximum, value, pending);
}

int WCharToNumber64(const char16_t* text, int64_t count, int64_t minimum, uint64_t maximum,
                    uint64_t* value, int32_t* pending) {
  const std::string s = conv::WideToUtf8(text, count);
  return CharToNumber64(s.data(), static_cast<int64_t>(s.size()), minimum, maximum, value, pending);
}

int WCharToDecimal(const char16_t* text, int64_t count, double* value, int32_t* pending) {
  const std::string s = conv::WideToUtf8(text, count);
  return CharToDecimal(s.data(), static_cast<int64_t>(s.size()), value, pending);
}

int WCharToNumeric(const char16_t* text, int64_t count, SQL_NUMERIC_STRUCT* out, int16_t scale,
                   uint16_t precision, int32_t* pending) {
  const std::string s = conv::WideToUtf8(text, count);
  return CharToNumeric(s.data(), static_cast<int64_t>(s.size()), out, scale, precision, pending);
}

bool ConvertPlainNumber(const char* text, int64_t length, int16_t cType, void* buffer,
                        int64_t* lengthPtr, int16_t scale, uint16_t precision) {
  if (buffer == nullptr || TRC_Active()) return false;
  if (cType == SQL_C_SBIGINT) {
    bool negative = false;
    uint64_t magnitude = 0;
    uint64_t bits = 0;
    if (!PlainInteger(text, length, &negative, &magnitude) ||
        !InRange(negative, magnitude, INT64_MIN, INT64_MAX, &bits))
      return false;
    std::memcpy(buffer, &bits, sizeof bits);
    if (lengthPtr != nullptr) *lengthPtr = sizeof bits;
    return true;
  }
  if (cType == SQL_C_NUMERIC) {
    // Straight into the buffer (the struct is bytes only): nothing is
    // written unless the text is read.
    if (!conv::PlainToNumeric(text, length, scale, precision,
                              static_cast<SQL_NUMERIC_STRUCT*>(buffer)))
      return false;
    if (lengthPtr != nullptr) *lengthPtr = sizeof(SQL_NUMERIC_STRUCT);
    return true;
  }
  return false;
}

SQLRETURN ConvertCHAR(const char* text, int64_t length, int64_t total, int16_t cType, void* buffer,
                      int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                      uint16_t precision, int64_t* consumed, TextCarry* carry) {
  if (TRC_Active())
    TRC_Printf("ConvertCHAR: retBufferLength(%" PRId64 ") to %s", bufferLength,
               CvtTraceType(cType));
  const Target t{buffer, bufferLength, lengthPtr, pending};
  Consumed(consumed, 0);
  switch (cType) {
    case SQL_C_CHAR: return conv::CopyUtf8(text, length, total, t, consumed, carry);
    case SQL_C_WCHAR:
      return conv::CopyUtf8ToWide(text, length, total, Cut::Allowed, t, consumed, carry);
    case SQL_C_BINARY:
      return conv::CopyBytes(text, length, total, false, Cut::Allowed, t, consumed);
    case SQL_C_GUID: {
      TraceText("CharToGuid", text, length);
      SQLGUID g{};
      if (CharToGuid(text, length, &g, pending) < 0) return SQL_ERROR;
      Consumed(consumed, length);
      return conv::PutFixed(&g, sizeof g, t);
    }
    default: break;
  }
  bool handled = false;
  const SQLRETURN rc = NumberFromText(text, length, cType, t, scale, precision, &handled);
  if (!handled) return conv::Fail(pending, ERR_RESTRICTED_TYPE);
  if (rc != SQL_ERROR) Consumed(consumed, length);
  return rc;
}

SQLRETURN ConvertWCHAR(const char16_t* text, int64_t length, int64_t total, int16_t cType,
                       void* buffer, int64_t bufferLength, int64_t* lengthPtr, int32_t* pending,
                       int16_t scale, uint16_t precision, int64_t* consumed, TextCarry* carry) {
  if (TRC_Active())
    TRC_Printf("ConvertWCHAR: retBufferLength(%" PRId64 ") to %s", bufferLength,
               CvtTraceType(cType));
  const Target t{buffer, bufferLength, lengthPtr, pending};
  const int64_t units = length / 2;
  const int64_t totalUnits = total == SQL_NO_TOTAL ? SQL_NO_TOTAL : total / 2;
  Consumed(consumed, 0);
  int64_t usedUnits = 0;
  SQLRETURN rc;
  switch (cType) {
    case SQL_C_CHAR:
      rc = conv::CopyWideToUtf8(text, units, totalUnits, t, &usedUnits, carry);
      Consumed(consumed, usedUnits * 2);
      return rc;
    case SQL_C_WCHAR:
      rc = conv::CopyWide(text, units, totalUnits, t, &usedUnits, carry);
      Consumed(consumed, usedUnits * 2);
      return rc;
    case SQL_C_BINARY:
      return conv::CopyBytes(reinterpret_cast<const char*>(text), length, total, false,
                             Cut::Allowed, t, consumed);
    case SQL_C_GUID: {
      // As the 8-bit text converts.
      const std::string narrow = conv::WideToUtf8(text, units);
      SQLGUID g{};
      if (CharToGuid(narrow.data(), static_cast<int64_t>(narrow.size()), &g, pending) < 0)
        return SQL_ERROR;
      Consumed(consumed, length);
      return conv::PutFixed(&g, sizeof g, t);
    }
    default: break;
  }
  bool handled = false;
  const std::string narrow = conv::WideToUtf8(text, units);
  rc = NumberFromText(narrow.data(), static_cast<int64_t>(narrow.size()), cType, t, scale,
                      precision, &handled);
  if (!handled) return conv::Fail(pending, ERR_RESTRICTED_TYPE);
  if (rc != SQL_ERROR) Consumed(consumed, length);
  return rc;
}

const char* CvtTraceType(int16_t cType) {
  switch (cType) {
    case SQL_C_CHAR: return "SQL_C_CHAR";
    case SQL_C_WCHAR: return "SQL_C_WCHAR";
    case SQL_C_BINARY: return "SQL_C_BINARY";
    case SQL_C_BIT: return "SQL_C_BIT";
    case SQL_C_TINYINT: return "SQL_C_TINYINT";
    case SQL_C_STINYINT: return "SQL_C_STINYINT";
    case SQL_C_UTINYINT: return "SQL_C_UTINYINT";
    case SQL_C_SHORT: return "SQL_C_SHORT";
    case SQL_C_SSHORT: return "SQL_C_SSHORT";
    case SQL_C_USHORT: return "SQL_C_USHORT";
    case SQL_C_LONG: return "SQL_C_LONG";
    case SQL_C_SLONG: return "SQL_C_SLONG";
    case SQL_C_ULONG: return "SQL_C_ULONG";
    case SQL_C_SBIGINT: return "SQL_C_SBIGINT";
    case SQL_C_UBIGINT: return "SQL_C_UBIGINT";
    case SQL_C_FLOAT: return "SQL_C_FLOAT";
    case SQL_C_DOUBLE: return "SQL_C_DOUBLE";
    case SQL_C_NUMERIC: return "SQL_C_NUMERIC";
    case SQL_C_GUID: return "SQL_C_GUID";
    case SQL_C_DATE: return "SQL_C_DATE";
    case SQL_C_TIME: return "SQL_C_TIME";
    case SQL_C_TIMESTAMP: return "SQL_C_TIMESTAMP";
    case SQL_C_TYPE_DATE: return "SQL_C_TYPE_DATE";
    case SQL_C_TYPE_TIME: return "SQL_C_TYPE_TIME";
    case SQL_C_TYPE_TIMESTAMP: return "SQL_C_TYPE_TIMESTAMP";
    default: return "(unknown type)";
  }
}
