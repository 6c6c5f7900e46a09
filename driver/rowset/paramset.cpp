// The parameter value set: every column's value type and width are chosen
// once, from all the parameter sets, before any row is filled, so no value
// of one set can change how the others are read. Text, bytes and numbers
// the agent takes as text travel length-prefixed (exact lengths, embedded
// NULs kept).
#include "driver/rowset/paramset.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/params.h"
#include "driver/rowset/convert_internal.h"
#include "util/errcodes.h"
#include "util/textconv.h"

namespace {

// Longest exact decimal text of SQL_NUMERIC_STRUCT: sign, 39 digits and 128
// zeros for the lowest scale, or "0." and 127 digits for the highest.
constexpr uint32_t kNumericTextMax = 172;
constexpr uint32_t kBigintTextMax = 20;
constexpr uint32_t kGuidTextLength = 36;
// ISO text of a date, time or timestamp escape with nine fraction digits.
constexpr uint32_t kDateTimeTextMax = 29;

bool IsBinarySql(int t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool IsDateSql(int t) { return t == SQL_DATE || t == SQL_TYPE_DATE; }
bool IsTimeSql(int t) { return t == SQL_TIME || t == SQL_TYPE_TIME; }
bool IsTimestampSql(int t) { return t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP; }
bool IsDateTimeSql(int t) { return IsDateSql(t) || IsTimeSql(t) || IsTimestampSql(t); }
bool IsCharSql(int t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

int64_t ReadWord(const void* base, uint64_t set, uint32_t bindType, int64_t offset) {
  const char* p = static_cast<const char*>(base) + offset +
                  static_cast<int64_t>(set) * (bindType != 0 ? bindType : sizeof(int64_t));
  int64_t v = 0;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// strtok over a private copy: skips leading delimiters, ends the token at
// the next one (consumed).
class Tokens {
 public:
  explicit Tokens(char* text) : p_(text) {}
  const char* Next(const char* delims) {
    if (p_ == nullptr) return nullptr;
    while (*p_ != '\0' && std::strchr(delims, *p_) != nullptr) ++p_;
    if (*p_ == '\0') {
      p_ = nullptr;
      return nullptr;
    }
    char* start = p_;
    while (*p_ != '\0' && std::strchr(delims, *p_) == nullptr) ++p_;
    if (*p_ != '\0')
      *p_++ = '\0';
    else
      p_ = nullptr;
    return start;
  }

 private:
  char* p_;
};

// Leading blanks, a sign and digits of a terminated token, as atoi reads
// them, bounded to what fits.
int64_t Number(const char* t, int* digitsOut = nullptr) {
  while (*t == ' ' || *t == '\t') ++t;
  bool neg = false;
  if (*t == '+' || *t == '-') neg = *t++ == '-';
  int64_t v = 0;
  int digits = 0;
  while (*t >= '0' && *t <= '9') {
    if (v < 100000000000LL) v = v * 10 + (*t - '0');
    ++digits;
    ++t;
  }
  if (digitsOut != nullptr) *digitsOut = digits;
  return neg ? -v : v;
}

// Fraction digits as nanoseconds: ".5" is half a second.
uint32_t Nanoseconds(const char* t) {
  while (*t == ' ') ++t;
  uint32_t v = 0;
  int digits = 0;
  for (; *t >= '0' && *t <= '9'; ++t) {
    if (digits < 9) {
      v = v * 10 + static_cast<uint32_t>(*t - '0');
      ++digits;
    }
  }
  for (; digits < 9; ++digits) v *= 10;
  return v;
}

void PutU32(unsigned char* cell, uint32_t v) { std::memcpy(cell, &v, sizeof v); }

// One length-prefixed value (text or bytes) into its cell.
void PutPrefixed(unsigned char* cell, const void* data, uint32_t length) {
  PutU32(cell, length);
  if (length > 0) std::memcpy(cell + 4, data, length);
}

void PutWide(unsigned char* cell, const void* data, uint32_t bytes) {
  PutU32(cell, bytes / 2);
  if (bytes > 0) std::memcpy(cell + 4, data, bytes / 2 * 2);
}

std::string IsoText(const SQL_TIMESTAMP_STRUCT& ts, int sqlType) {
  char buf[48];
  int n;
  if (IsDateSql(sqlType)) {
    n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", ts.year, ts.month, ts.day);
  } else if (IsTimeSql(sqlType)) {
    n = std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", ts.hour, ts.minute, ts.second);
  } else {
    n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month, ts.day,
                      ts.hour, ts.minute, ts.second);
    if (ts.fraction != 0 && n > 0 && n < 30) {
      char frac[16];
      std::snprintf(frac, sizeof frac, ".%09u", static_cast<unsigned>(ts.fraction % 1000000000u));
      size_t len = std::strlen(frac);
      while (len > 2 && frac[len - 1] == '0') frac[--len] = '\0';
      std::strcat(buf, frac);
      n = static_cast<int>(std::strlen(buf));
    }
  }
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// Writes a parsed date-time in the form of the column's value type.
void PutDateTime(unsigned char* cell, uint32_t type, const SQL_TIMESTAMP_STRUCT& ts) {
  if (type == COLSET_VT_DATE) {
    SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
    std::memcpy(cell, &d, sizeof d);
  } else if (type == COLSET_VT_TIME) {
    SQL_TIME_STRUCT t{ts.hour, ts.minute, ts.second};
    std::memcpy(cell, &t, sizeof t);
  } else {
    std::memcpy(cell, &ts, sizeof ts);
  }
}

// Text from the application is read strictly, 8-bit text as UTF-8 and wide
// text as UTF-16: a value that is not well-formed is refused before anything
// is sent, as the database refuses it, rather than stored changed. Hex digits
// for a binary column are judged where they are read.
bool Unrepresentable(const ParamBinding& b, const ParamValue& v) {
  if (v.data == nullptr) return false;
  if (b.cType == SQL_C_CHAR)
    return !IsBinarySql(b.sqlType) &&
           !utf8_well_formed(static_cast<const char*>(v.data), v.length, Utf8Form::Standard);
  if (b.cType == SQL_C_WCHAR)
    return !utf16_well_formed(static_cast<const char16_t*>(v.data), v.length / 2);
  return false;
}

// How one parameter travels, chosen from all its sets.
struct ColumnPlan {
  uint32_t type = COLSET_VT_CHAR32;
  uint64_t length = 0;          // handed to ColSetTypeSize
  bool hexToBytes = false;      // SQL_C_CHAR hexadecimal text for a binary SQL type
  bool escapesTyped = false;    // every value is a date-time escape: sent as the structure
  bool escapesAsText = false;   // escapes among other text: rewritten as ISO text
  bool dateTimeAsText = false;  // a date-time structure for a character parameter
  bool bitOfText = false;       // text or a number for an SQL_BIT input: sent as the bit
  bool guidOfBytes = false;     // an SQLGUID's 16 bytes for an SQL_GUID input: sent as its text
};

bool IsNumberC(int16_t c) {
  switch (c) {
    case SQL_C_UTINYINT:
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
    case SQL_C_USHORT:
    case SQL_C_SSHORT:
    case SQL_C_SHORT:
    case SQL_C_ULONG:
    case SQL_C_SLONG:
    case SQL_C_LONG:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_NUMERIC: return true;
    default: return false;
  }
}

// Character data and numbers for a boolean input are judged here, as ODBC
// converts them, before anything is sent: a JDBC setter would take any
// text as false and any number but 0 as true.
bool ReadsBit(const ParamBinding& b) {
  return (b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR || IsNumberC(b.cType)) &&
         b.sqlType == SQL_BIT && b.direction == SQL_PARAM_INPUT;
}

template <class T>
T ReadValue(const ParamValue& v) {
  T x{};
  std::memcpy(&x, v.data, sizeof x);
  return x;
}

// A number as a bit: 0 and 1 as they are, a fraction between 0 and 2 cut
// (01S07), anything else out of range (22003).
int BitOfNumber(const ParamBinding& b, const ParamValue& v, uint8_t* bit) {
  double d = 0;
  switch (b.cType) {
    case SQL_C_UTINYINT: d = ReadValue<uint8_t>(v); break;
    case SQL_C_STINYINT:
    case SQL_C_TINYINT: d = ReadValue<int8_t>(v); break;
    case SQL_C_USHORT: d = ReadValue<uint16_t>(v); break;
    case SQL_C_SSHORT:
    case SQL_C_SHORT: d = ReadValue<int16_t>(v); break;
    case SQL_C_ULONG: d = ReadValue<uint32_t>(v); break;
    case SQL_C_SLONG:
    case SQL_C_LONG: d = ReadValue<int32_t>(v); break;
    case SQL_C_SBIGINT: d = static_cast<double>(ReadValue<int64_t>(v)); break;
    case SQL_C_UBIGINT: d = static_cast<double>(ReadValue<uint64_t>(v)); break;
    case SQL_C_FLOAT: d = ReadValue<float>(v); break;
    case SQL_C_DOUBLE: d = ReadValue<double>(v); break;
    default: {
      const std::string t = ParamNumericText(ReadValue<SQL_NUMERIC_STRUCT>(v));
      return ParamBitOfText(t.data(), static_cast<int64_t>(t.size()), bit);
    }
  }
  if (!(d >= 0 && d < 2)) return ERR_NUMERIC_RANGE;
  *bit = d >= 1 ? 1 : 0;
  return d == 0 || d == 1 ? 0 : ERR_FRACTIONAL_TRUNCATION;
}

// The 16 bytes of an SQLGUID for a GUID input go as the GUID's text, as an
// SQL_C_GUID does: as bytes they would reach the database as binary data.
bool GuidOfBytes(const ParamBinding& b) {
  return b.cType == SQL_C_BINARY && b.sqlType == SQL_GUID && b.direction == SQL_PARAM_INPUT;
}

int BitOf(const ParamBinding& b, const ParamValue& v, uint8_t* bit) {
  if (IsNumberC(b.cType)) return BitOfNumber(b, v, bit);
  if (b.cType == SQL_C_CHAR) return ParamBitOfText(static_cast<const char*>(v.data), v.length, bit);
  const std::string text = conv::WideToUtf8(static_cast<const char16_t*>(v.data), v.length / 2);
  return ParamBitOfText(text.data(), static_cast<int64_t>(text.size()), bit);
}

int Plan(const ParamSource& src, const ParamBinding& b, uint64_t sets, ColumnPlan* plan) {
  const int16_t c = b.cType;
  if (ReadsBit(b)) {
    plan->type = COLSET_VT_BIT;
    plan->bitOfText = true;
    return 0;
  }
  if (GuidOfBytes(b)) {
    plan->guidOfBytes = true;
    plan->length = kGuidTextLength;
    return 0;
  }
  switch (c) {
    case SQL_C_UTINYINT: plan->type = COLSET_VT_UTINYINT; return 0;
    case SQL_C_STINYINT:
    case SQL_C_TINYINT: plan->type = COLSET_VT_TINYINT; return 0;
    case SQL_C_ULONG: plan->type = COLSET_VT_UINTEGER; return 0;
    case SQL_C_USHORT: plan->type = COLSET_VT_USMALLINT; return 0;
    case SQL_C_SLONG:
    case SQL_C_LONG: plan->type = COLSET_VT_INTEGER; return 0;
    case SQL_C_SSHORT:
    case SQL_C_SHORT: plan->type = COLSET_VT_SMALLINT; return 0;
    case SQL_C_BIT: plan->type = COLSET_VT_BIT; return 0;
    case SQL_C_FLOAT: plan->type = COLSET_VT_REAL; return 0;
    case SQL_C_DOUBLE: plan->type = COLSET_VT_DOUBLE; return 0;
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      // To a character parameter a date-time goes as its ISO text, the
      // conversion ODBC defines for that pair.
      if (IsCharSql(b.sqlType)) {
        plan->dateTimeAsText = true;
        plan->length = kDateTimeTextMax;
      } else {
        plan->type = (c == SQL_C_DATE || c == SQL_C_TYPE_DATE)   ? COLSET_VT_DATE
                     : (c == SQL_C_TIME || c == SQL_C_TYPE_TIME) ? COLSET_VT_TIME
                                                                 : COLSET_VT_TIMESTAMP;
      }
      return 0;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: plan->length = kBigintTextMax; return 0;
    case SQL_C_GUID: plan->length = kGuidTextLength; return 0;
    case SQL_C_NUMERIC: plan->length = kNumericTextMax; return 0;
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY: break;
    default: return ERR_RESTRICTED_TYPE;
  }
  // The variable C types: as wide as the longest value sent (and, for a
  // value that comes back, as the buffer that takes it).
  uint64_t longest = 0;
  bool anyEscape = false, allEscape = true, anyValue = false;
  const bool dateTime = c != SQL_C_BINARY && IsDateTimeSql(b.sqlType);
  if (b.direction != SQL_PARAM_OUTPUT) {
    for (uint64_t s = 0; s < sets; ++s) {
      if (src.Ignored(s)) continue;
      const ParamValue v = src.Value(b, s);
      if (v.kind == ParamValue::kNull || v.data == nullptr) continue;
      longest = std::max<uint64_t>(longest, static_cast<uint64_t>(v.length));
      if (dateTime) {
        anyValue = true;
        SQL_TIMESTAMP_STRUCT ts{};
        const int kind =
            c == SQL_C_CHAR
                ? ParamParseDateTimeEscape(static_cast<const char*>(v.data), v.length, &ts)
                : ParamParseDateTimeEscapeW(static_cast<const char16_t*>(v.data), v.length, &ts);
        if (kind != 0)
          anyEscape = true;
        else
          allEscape = false;
      }
    }
  }
  if (b.direction != SQL_PARAM_INPUT && b.apd->octetLength > 0)
    longest = std::max<uint64_t>(longest, static_cast<uint64_t>(b.apd->octetLength));
  if (c == SQL_C_BINARY) {
    plan->type = COLSET_VT_BINARY32;
    plan->length = longest;
  } else if (c == SQL_C_CHAR && IsBinarySql(b.sqlType)) {
    plan->type = COLSET_VT_BINARY32;
    plan->hexToBytes = true;
    // Two digits a byte; a value that comes back may take the whole buffer.
    plan->length = b.direction == SQL_PARAM_INPUT ? longest / 2 : longest;
  } else if (dateTime && anyValue && allEscape && b.direction == SQL_PARAM_INPUT) {
    plan->escapesTyped = true;
    plan->type = IsDateSql(b.sqlType)   ? COLSET_VT_DATE
                 : IsTimeSql(b.sqlType) ? COLSET_VT_TIME
                                        : COLSET_VT_TIMESTAMP;
  } else {
    plan->escapesAsText = dateTime && anyEscape;
    if (plan->escapesAsText) longest = std::max<uint64_t>(longest, kDateTimeTextMax);
    if (c == SQL_C_WCHAR) {
      plan->type = COLSET_VT_WCHAR32;
      plan->length = (longest + 1) / 2;
    } else {
      plan->type = COLSET_VT_CHAR32;
      plan->length = longest;
    }
  }
  return 0;
}

// Converts one present value into its cell.
void Fill(const ParamBinding& b, const ColumnPlan& plan, const ParamValue& v, unsigned char* cell,
          uint32_t width) {
  const auto* bytes = static_cast<const unsigned char*>(v.data);
  const uint64_t n = static_cast<uint64_t>(v.length);
  if (plan.bitOfText) {
    uint8_t bit = 0;
    BitOf(b, v, &bit);  // judged before the set was built
    *cell = bit;
    return;
  }
  if (plan.guidOfBytes) {
    SQLGUID g{};
    std::memcpy(&g, bytes, sizeof g);  // its length was checked before the set was built
    const std::string t = ParamGuidText(g);
    PutPrefixed(cell, t.data(), static_cast<uint32_t>(t.size()));
    return;
  }
  switch (b.cType) {
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      char text[24];
      uint64_t raw = 0;
      std::memcpy(&raw, bytes, std::min<uint64_t>(n, sizeof raw));
      const auto r = b.cType == SQL_C_SBIGINT
                         ? std::to_chars(text, text + sizeof text, static_cast<int64_t>(raw))
                         : std::to_chars(text, text + sizeof text, raw);
      PutPrefixed(cell, text, static_cast<uint32_t>(r.ptr - text));
      return;
    }
    case SQL_C_GUID: {
      SQLGUID g{};
      std::memcpy(&g, bytes, std::min<uint64_t>(n, sizeof g));
      const std::string t = ParamGuidText(g);
      PutPrefixed(cell, t.data(), static_cast<uint32_t>(t.size()));
      return;
    }
    case SQL_C_NUMERIC: {
      SQL_NUMERIC_STRUCT num{};
      std::memcpy(&num, bytes, std::min<uint64_t>(n, sizeof num));
      const std::string t = ParamNumericText(num);
      PutPrefixed(cell, t.data(), static_cast<uint32_t>(t.size()));
      return;
    }
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY: break;
    default:
      if (plan.dateTimeAsText) {
        SQL_TIMESTAMP_STRUCT ts{};
        const int c = b.cType;
        int kind = SQL_TYPE_TIMESTAMP;
        if (c == SQL_C_DATE || c == SQL_C_TYPE_DATE) {
          SQL_DATE_STRUCT d{};
          std::memcpy(&d, bytes, std::min<uint64_t>(n, sizeof d));
          ts.year = d.year, ts.month = d.month, ts.day = d.day;
          kind = SQL_TYPE_DATE;
        } else if (c == SQL_C_TIME || c == SQL_C_TYPE_TIME) {
          SQL_TIME_STRUCT t{};
          std::memcpy(&t, bytes, std::min<uint64_t>(n, sizeof t));
          ts.hour = t.hour, ts.minute = t.minute, ts.second = t.second;
          kind = SQL_TYPE_TIME;
        } else {
          std::memcpy(&ts, bytes, std::min<uint64_t>(n, sizeof ts));
        }
        const std::string iso = IsoText(ts, kind);
        PutPrefixed(cell, iso.data(), static_cast<uint32_t>(iso.size()));
        return;
      }
      // Fixed-size values; a value gathered in pieces may be short.
      std::memcpy(cell, bytes, std::min<uint64_t>(n, width));
      return;
  }
  if (plan.hexToBytes) {
    const uint64_t count = std::min<uint64_t>(n / 2, width - 4);
    HEX_ToBin(cell + 4, static_cast<const char*>(v.data), static_cast<int64_t>(count * 2));
    PutU32(cell, static_cast<uint32_t>(count));
    return;
  }
  if (plan.escapesTyped || plan.escapesAsText) {
    SQL_TIMESTAMP_STRUCT ts{};
    const int kind =
        b.cType == SQL_C_CHAR
            ? ParamParseDateTimeEscape(static_cast<const char*>(v.data), v.length, &ts)
            : ParamParseDateTimeEscapeW(static_cast<const char16_t*>(v.data), v.length, &ts);
    if (kind != 0) {
      if (plan.escapesTyped) {
        PutDateTime(cell, plan.type, ts);
      } else {
        const std::string iso = IsoText(ts, b.sqlType);
        if (plan.type == COLSET_VT_WCHAR32) {
          std::u16string w(iso.begin(), iso.end());
          PutWide(cell, w.data(), static_cast<uint32_t>(w.size() * 2));
        } else {
          PutPrefixed(cell, iso.data(), static_cast<uint32_t>(iso.size()));
        }
      }
      return;
    }
  }
  const uint32_t room = width - 4;
  const auto len = static_cast<uint32_t>(std::min<uint64_t>(n, room));
  if (plan.type == COLSET_VT_WCHAR32)
    PutWide(cell, bytes, len);
  else
    PutPrefixed(cell, bytes, len);
}

}  // namespace

bool ParamResolve(const StmtHandle* stmt, int number, ParamBinding* out) {
  auto* s = const_cast<StmtHandle*>(stmt);
  const DescRec* a = DESC_RecAt(number, s);
  if (a == nullptr) return false;
  const DescRec* i = s->ipd != nullptr ? DESC_GetRec(s->ipd, number) : nullptr;
  out->number = number;
  out->apd = a;
  out->ipd = i;
  out->cType = PAR_CType(stmt, a, i);
  out->sqlType = i != nullptr ? i->conciseType : static_cast<int16_t>(SQL_CHAR);
  out->direction =
      i != nullptr && i->paramType != 0 ? i->paramType : static_cast<int16_t>(SQL_PARAM_INPUT);
  const bool variable =
      out->cType == SQL_C_CHAR || out->cType == SQL_C_WCHAR || out->cType == SQL_C_BINARY;
  out->elementSize = variable ? 0 : TYPE_CSize(out->cType);
  return true;
}

int64_t ParamBindOffset(const StmtHandle* stmt) {
  const DescHandle* apd = stmt->apd;
  return apd != nullptr && apd->bindOffset != nullptr ? *apd->bindOffset : 0;
}

bool ParamSetIgnored(const StmtHandle* stmt, uint64_t set) {
  const DescHandle* apd = stmt->apd;
  return apd != nullptr && apd->arrayStatus != nullptr && apd->arrayStatus[set] == SQL_PARAM_IGNORE;
}

int64_t ParamValueStride(const StmtHandle* stmt, const ParamBinding& b) {
  if (stmt->apd != nullptr && stmt->apd->bindType != 0) return stmt->apd->bindType;
  if (b.elementSize > 0) return b.elementSize;
  if (b.apd->octetLength > 0) return b.apd->octetLength;
  const uint64_t size = b.ipd != nullptr ? PAR_ColumnSize(b.ipd) : 0;
  return static_cast<int64_t>(b.cType == SQL_C_WCHAR ? size * 2 : size);
}

int64_t ParamLengthAt(const StmtHandle* stmt, const ParamBinding& b, uint64_t set, bool* bound) {
  const uint32_t bindType = stmt->apd != nullptr ? stmt->apd->bindType : 0;
  if (bound != nullptr) *bound = b.apd->octetLengthPtr != nullptr;
  if (b.apd->octetLengthPtr == nullptr) return b.elementSize > 0 ? b.elementSize : SQL_NTS;
  return ReadWord(b.apd->octetLengthPtr, set, bindType, ParamBindOffset(stmt));
}

ParamValue ParamValueAt(const StmtHandle* stmt, const ParamBinding& b, uint64_t set) {
  ParamValue v;
  const uint32_t bindType = stmt->apd != nullptr ? stmt->apd->bindType : 0;
  const int64_t offset = ParamBindOffset(stmt);
  const int64_t ind =
      b.apd->indicator != nullptr ? ReadWord(b.apd->indicator, set, bindType, offset) : 0;
  const int64_t len = ParamLengthAt(stmt, b, set, nullptr);
  if (ind == SQL_NULL_DATA || len == SQL_NULL_DATA) {
    v.kind = ParamValue::kNull;
    return v;
  }
  if (ind == SQL_DEFAULT_PARAM || len == SQL_DEFAULT_PARAM) {
    v.kind = ParamValue::kDefault;
    return v;
  }
  if (ParamIsDataAtExec(len)) {
    const auto idx = static_cast<size_t>(b.number - 1);
    static const char kEmpty[1] = {0};
    v.data = kEmpty;
    v.length = 0;
    if (idx < stmt->daeValues.size() && set < stmt->daeValues[idx].size()) {
      const ParamDaeValue& d = stmt->daeValues[idx][static_cast<size_t>(set)];
      if (d.isNull) {
        v.kind = ParamValue::kNull;
        return v;
      }
      v.data = d.bytes.data();
      v.length = static_cast<int64_t>(d.bytes.size());
    }
    return v;
  }
  if (b.apd->data != nullptr)
    v.data = static_cast<const char*>(b.apd->data) +
             static_cast<int64_t>(set) * ParamValueStride(stmt, b) + offset;
  if (b.elementSize > 0) {
    v.length = b.elementSize;
    return v;
  }
  if (len >= 0 && len <= kParamMaxLength) {
    v.length = len;
  } else if (len == SQL_NTS) {
    if (v.data == nullptr) return v;
    v.length = PAR_NtsLength(b.cType, v.data, b.apd->octetLength);
  } else {
    v.kind = ParamValue::kBadLength;
    v.length = len;
  }
  return v;
}

namespace {

// The statement's own parameter sets.
class StmtParams : public ParamSource {
 public:
  explicit StmtParams(const StmtHandle* stmt) : stmt_(stmt) {}
  uint64_t Sets() const override { return stmt_->apd != nullptr ? stmt_->apd->arraySize : 1; }
  bool Ignored(uint64_t set) const override { return ParamSetIgnored(stmt_, set); }
  ParamValue Value(const ParamBinding& b, uint64_t set) const override {
    return ParamValueAt(stmt_, b, set);
  }

 private:
  const StmtHandle* stmt_;
};

}  // namespace

int ParamSetBuild(StmtHandle* stmt, const ParamBinding* bindings, uint16_t count, COLSET* set,
                  uint32_t* rows, bool* cut) {
  return ParamSetBuildFrom(StmtParams(stmt), bindings, count, set, rows, false, cut);
}

int ParamSetBuildFrom(const ParamSource& src, const ParamBinding* bindings, uint16_t count,
                      COLSET* set, uint32_t* rows, bool keepIgnored, bool* cut) {
  *rows = 0;
  if (cut != nullptr) *cut = false;
  const uint64_t sets = src.Sets();
  uint64_t sent = 0;
  for (uint64_t s = 0; s < sets; ++s)
    if (keepIgnored || !src.Ignored(s)) ++sent;
  if (sent > std::numeric_limits<uint32_t>::max()) return ERR_NO_MEMORY;

  // Every value that is read is checked before anything is allocated.
  for (uint16_t p = 0; p < count; ++p) {
    const ParamBinding& b = bindings[p];
    if (b.direction == SQL_PARAM_OUTPUT) continue;
    for (uint64_t s = 0; s < sets; ++s) {
      if (src.Ignored(s)) continue;
      const ParamValue v = src.Value(b, s);
      if (v.kind == ParamValue::kBadLength) return ERR_INVALID_LENGTH;
      if (v.kind == ParamValue::kDefault) return ERR_DEFAULT_PARAM;
      // A value announced by its length but given no place to read it from.
      if (v.kind == ParamValue::kPresent && v.data == nullptr) return ERR_INVALID_ARGUMENT;
      if (v.kind == ParamValue::kPresent && Unrepresentable(b, v)) return ERR_NOT_IN_REPERTOIRE;
      if (v.kind == ParamValue::kPresent && GuidOfBytes(b) && v.length != sizeof(SQLGUID))
        return ERR_INVALID_CAST_VALUE;
      uint8_t bit = 0;
      const int judged = v.kind == ParamValue::kPresent && ReadsBit(b) ? BitOf(b, v, &bit) : 0;
      if (judged == ERR_FRACTIONAL_TRUNCATION) {
        if (cut != nullptr) *cut = true;
      } else if (judged != 0) {
        return judged;
      }
    }
  }

  std::vector<ColumnPlan> plans(count);
  for (uint16_t p = 0; p < count; ++p)
    if (int rc = Plan(src, bindings[p], sets, &plans[p])) return rc;

  if (ColSetInit(set, count) != 0) return ERR_NO_MEMORY;
  for (uint16_t p = 0; p < count; ++p) {
    const ColumnPlan& plan = plans[p];
    if (plan.length > std::numeric_limits<uint32_t>::max() / 2 - 8) return ERR_NO_MEMORY;
    set->cols[p].type = plan.type;
    set->cols[p].elem_size = ColSetTypeSize(plan.type, static_cast<uint32_t>(plan.length));
  }
  set->cols_used = count;
  if (ColSetSetRows(set, static_cast<uint32_t>(sent)) != 0) return ERR_NO_MEMORY;

  uint32_t k = 0;
  for (uint64_t s = 0; s < sets; ++s) {
    const bool ignored = src.Ignored(s);
    if (ignored && !keepIgnored) continue;
    for (uint16_t p = 0; p < count; ++p) {
      const ParamBinding& b = bindings[p];
      COLSET_COL& col = set->cols[p];
      // A row kept only to hold its place is marked, so the receiver skips it.
      col.ind[k] = ignored ? COLSET_IND_SKIP : COLSET_IND_NULL;
      if (ignored || b.direction == SQL_PARAM_OUTPUT) continue;
      const ParamValue v = src.Value(b, s);
      if (v.kind != ParamValue::kPresent || v.data == nullptr) continue;
      Fill(b, plans[p], v, col.data + static_cast<uint64_t>(k) * col.elem_size, col.elem_size);
      col.ind[k] = 0;
    }
    ++k;
  }
  set->rows_held = k;
  *rows = k;
  return 0;
}

int ParamParseDateTimeEscape(const char* text, int64_t length, SQL_TIMESTAMP_STRUCT* out) {
  *out = SQL_TIMESTAMP_STRUCT{};
  if (text == nullptr || length < 2 || text[0] != '{') return 0;
  // A terminated copy of what follows the brace: the number readers never
  // run past the application's value.
  char copy[50];
  const size_t n = static_cast<size_t>(std::min<int64_t>(length - 1, sizeof copy - 1));
  std::memcpy(copy, text + 1, n);
  copy[n] = '\0';
  char* p = copy;
  while (*p == ' ') ++p;
  int kind;
  if (std::strncmp(p, "ts ", 3) == 0) {
    kind = SQL_TYPE_TIMESTAMP;
    p += 4;
  } else if (std::strncmp(p, "d ", 2) == 0) {
    kind = SQL_TYPE_DATE;
    p += 3;
  } else if (std::strncmp(p, "t ", 2) == 0) {
    kind = SQL_TYPE_TIME;
    p += 3;
  } else {
    return 0;
  }
  if (p > copy + n) return kind;
  Tokens tok(p);
  const char* t;
  if (kind != SQL_TYPE_TIME) {
    if ((t = tok.Next("-/")) == nullptr) return kind;
    out->year = static_cast<SQLSMALLINT>(Number(t));
    if ((t = tok.Next("-/")) == nullptr) return kind;
    out->month = static_cast<SQLUSMALLINT>(Number(t));
    if ((t = tok.Next("-/ ")) == nullptr) return kind;
    out->day = static_cast<SQLUSMALLINT>(Number(t));
  }
  if (kind != SQL_TYPE_DATE) {
    if ((t = tok.Next(":")) == nullptr) return kind;
    out->hour = static_cast<SQLUSMALLINT>(Number(t));
    if ((t = tok.Next(":")) == nullptr) return kind;
    out->minute = static_cast<SQLUSMALLINT>(Number(t));
    if ((t = tok.Next(":.")) == nullptr) return kind;
    out->second = static_cast<SQLUSMALLINT>(Number(t));
  }
  if (kind == SQL_TYPE_TIMESTAMP) {
    if ((t = tok.Next(":.")) == nullptr) return kind;
    out->fraction = Nanoseconds(t);
  }
  return kind;
}

int ParamParseDateTimeEscapeW(const char16_t* text, int64_t length, SQL_TIMESTAMP_STRUCT* out) {
  *out = SQL_TIMESTAMP_STRUCT{};
  if (text == nullptr) return 0;
  // An escape is ASCII; anything else cannot be part of one.
  char narrow[51];
  const int64_t units = std::min<int64_t>(length / 2, sizeof narrow - 1);
  for (int64_t i = 0; i < units; ++i) narrow[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  narrow[units] = '\0';
  return ParamParseDateTimeEscape(narrow, units, out);
}

std::string ParamNumericText(const SQL_NUMERIC_STRUCT& n) {
  // The 128-bit magnitude, least significant byte first, as decimal digits.
  uint8_t mag[SQL_MAX_NUMERIC_LEN];
  std::memcpy(mag, n.val, sizeof mag);
  std::string digits;
  for (;;) {
    bool zero = true;
    unsigned rem = 0;
    for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) {
      const unsigned cur = (rem << 8) | mag[i];
      mag[i] = static_cast<uint8_t>(cur / 10);
      rem = cur % 10;
      if (mag[i] != 0) zero = false;
    }
    digits.push_back(static_cast<char>('0' + rem));
    if (zero) break;
  }
  std::reverse(digits.begin(), digits.end());
  const int scale = n.scale;
  if (digits == "0") return "0";
  std::string out;
  if (n.sign == 0) out.push_back('-');
  if (scale <= 0) {
    out += digits;
    out.append(static_cast<size_t>(-scale), '0');
    return out;
  }
  const auto s = static_cast<size_t>(scale);
  if (digits.size() <= s) digits.insert(0, s - digits.size() + 1, '0');
  out.append(digits, 0, digits.size() - s);
  out.push_back('.');
  out.append(digits, digits.size() - s, s);
  return out;
}

std::string ParamGuidText(const SQLGUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return std::string(buf, kGuidTextLength);
}
