// Parameter values to Java: reading one row-buffer value, reducing it to its
// class and calling the PreparedStatement setter its SQL type asks for.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "drv_jdbc/j-datetime.h"
#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-sqltypes.h"
#include "drv_jdbc/j-wrap.h"
#include "util/errcodes.h"
#include "util/log.h"
#include "util/sqllex.h"
#include "util/textconv.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-desc";
constexpr double kFloatMax = 3.4028234663852886e38;
// Room for DBL_MAX's fixed text: 309 whole digits and a sign.
constexpr size_t kFixedDoubleChars = 320;

// The class a row-buffer value is reduced to before its setter is chosen.
enum class VClass { Text, Signed, Unsigned, Double, DateTime, Binary, Wide };

struct Value {
  VClass cls = VClass::Text;
  // Text, Binary and Wide (converted to UTF-8): the bytes.
  const char* bytes = nullptr;
  size_t len = 0;
  std::string utf8;  // storage of a wide value's UTF-8 form
  int64_t i = 0;     // Signed
  uint64_t u = 0;    // Unsigned
  double d = 0;      // Double
  JC_Timestamp ts{};
  uint32_t dtCode = 0;  // DateTime: COLSET_VT_DATE, _TIME or _TIMESTAMP
};

template <class T>
T Read(const unsigned char* e) {
  T v;
  std::memcpy(&v, e, sizeof v);
  return v;
}

size_t BoundedLen(const unsigned char* e, size_t size) {
  const void* nul = std::memchr(e, 0, size);
  return nul != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - e) : size;
}

// A wide value of `units` UTF-16 units as standard UTF-8, so that either
// text mode of the string maker reads it whole. Only the terminated forms
// stop at a 0 unit; a counted value keeps every unit, U+0000 among them.
void SetWide(Value* v, const unsigned char* p, size_t units, bool terminated) {
  std::u16string w(units, u'\0');
  if (units != 0) std::memcpy(&w[0], p, units * sizeof(char16_t));
  const size_t n = terminated ? w.find(u'\0') : std::u16string::npos;
  if (n != std::u16string::npos) w.resize(n);
  v->cls = VClass::Wide;
  if (!w.empty()) {
    const auto count = static_cast<int64_t>(w.size());
    char* u8 = wide_to_mb_dup(w.data(), count);
    if (u8 != nullptr) {
      v->utf8.assign(u8, static_cast<size_t>(wide_to_mb_len(w.data(), count)));
      std::free(u8);
    }
  }
  v->bytes = v->utf8.data();
  v->len = v->utf8.size();
}

// A length-prefixed element: the prefix, cut to what the element holds.
template <class L>
size_t PrefixedLen(const unsigned char* e, size_t size, size_t unit = 1) {
  if (size < sizeof(L)) return 0;
  const size_t n = static_cast<size_t>(Read<L>(e));
  return std::min(n, (size - sizeof(L)) / unit);
}

// Reduces the value of a column at row `row`. 0 or ERR_NOT_CAPABLE.
uint32_t Reduce(const COLSET_COL& col, uint32_t row, Value* v) {
  const size_t size = col.elem_size;
  const unsigned char* e = col.data + static_cast<size_t>(row) * size;
  auto text = [&](const void* p, size_t n, VClass c = VClass::Text) {
    v->cls = c;
    v->bytes = static_cast<const char*>(p);
    v->len = n;
  };
  switch (col.type) {
    case COLSET_VT_CHAR:  // fixed width: the cell's NUL padding is no part of the value
    case COLSET_VT_NTS: text(e, BoundedLen(e, size)); return 0;
    case COLSET_VT_BIT:
    case COLSET_VT_UTINYINT:
      v->cls = VClass::Unsigned;
      v->u = Read<uint8_t>(e);
      return 0;
    case COLSET_VT_TINYINT:
      v->cls = VClass::Signed;
      v->i = Read<int8_t>(e);
      return 0;
    case COLSET_VT_SMALLINT:
      v->cls = VClass::Signed;
      v->i = Read<int16_t>(e);
      return 0;
    case COLSET_VT_INTEGER:
      v->cls = VClass::Signed;
      v->i = Read<int32_t>(e);
      return 0;
    case COLSET_VT_USMALLINT:
      v->cls = VClass::Unsigned;
      v->u = Read<uint16_t>(e);
      return 0;
    case COLSET_VT_UINTEGER:
      v->cls = VClass::Unsigned;
      v->u = Read<uint32_t>(e);
      return 0;
    case COLSET_VT_REAL:
      v->cls = VClass::Double;
      v->d = Read<float>(e);
      return 0;
    case COLSET_VT_DOUBLE:
      v->cls = VClass::Double;
      v->d = Read<double>(e);
      return 0;
    case COLSET_VT_DATE: {
      const auto d = Read<JC_Date>(e);
      v->cls = VClass::DateTime;
      v->dtCode = COLSET_VT_DATE;
      v->ts.year = d.year;
      v->ts.month = d.month;
      v->ts.day = d.day;
      return 0;
    }
    case COLSET_VT_TIME: {
      const auto t = Read<JC_Time>(e);
      v->cls = VClass::DateTime;
      v->dtCode = COLSET_VT_TIME;
      v->ts.hour = t.hour;
      v->ts.minute = t.minute;
      v->ts.second = t.second;
      return 0;
    }
    case COLSET_VT_TIMESTAMP:
      v->cls = VClass::DateTime;
      v->dtCode = COLSET_VT_TIMESTAMP;
      v->ts = Read<JC_Timestamp>(e);
      return 0;
    case COLSET_VT_BINARY: text(e, size, VClass::Binary); return 0;
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_LONGBINARY: {
      const auto l = Read<COLSET_LONG>(e);
      text(l.value, l.value != nullptr ? l.length : 0,
           col.type == COLSET_VT_LONGCHAR ? VClass::Text : VClass::Binary);
      return 0;
    }
    case COLSET_VT_CHAR8: text(e + 1, PrefixedLen<uint8_t>(e, size)); return 0;
    case COLSET_VT_CHAR16: text(e + 2, PrefixedLen<uint16_t>(e, size)); return 0;
    case COLSET_VT_CHAR32: text(e + 4, PrefixedLen<uint32_t>(e, size)); return 0;
    case COLSET_VT_BINARY8: text(e + 1, PrefixedLen<uint8_t>(e, size), VClass::Binary); return 0;
    case COLSET_VT_BINARY16: text(e + 2, PrefixedLen<uint16_t>(e, size), VClass::Binary); return 0;
    case COLSET_VT_BINARY32: text(e + 4, PrefixedLen<uint32_t>(e, size), VClass::Binary); return 0;
    case COLSET_VT_WCHAR:
    case COLSET_VT_WNTS: SetWide(v, e, size / 2, true); return 0;
    case COLSET_VT_LONGWCHAR: {
      const auto l = Read<COLSET_LONG>(e);
      SetWide(v, static_cast<const unsigned char*>(l.value), l.value != nullptr ? l.length : 0,
              false);
      return 0;
    }
    case COLSET_VT_WCHAR32: SetWide(v, e + 4, PrefixedLen<uint32_t>(e, size, 2), false); return 0;
    default:
      log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "unknown bind type [%d] in parameters",
                  static_cast<int>(col.type));
      return ERR_NOT_CAPABLE;
  }
}

// A double for an integer column: a fraction is not cut without a word
// (22001, as the same number in text or SQL_C_NUMERIC answers), and one
// beyond 64 bits has no integer (22003).
uint32_t DoubleAsSigned(double d, int64_t* out) {
  if (std::isfinite(d) && std::trunc(d) != d) return ERR_RIGHT_TRUNCATION;
  return truncateToInt64(d, out) ? 0u : uint32_t{ERR_NUMERIC_RANGE};
}

bool IsTextual(const Value& v) { return v.cls == VClass::Text || v.cls == VClass::Wide; }

std::string Decimal(int64_t n) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, n);
  return std::string(buf, r.ptr);
}
std::string Decimal(uint64_t n) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, n);
  return std::string(buf, r.ptr);
}
// The shortest text that reads back as the same double: 16 digits would
// send 0.1 + 0.2 as 0.3, and DBL_MAX as a number beyond any double.
std::string Decimal(double d) {
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

// A number as text, for the character and decimal setters.
std::string NumberText(const Value& v) {
  switch (v.cls) {
    case VClass::Signed: return Decimal(v.i);
    case VClass::Unsigned: return Decimal(v.u);
    default: return Decimal(v.d);
  }
}

// The first n bytes of a binary value, zero-filled when it is shorter.
template <class T>
T BinaryAs(const Value& v) {
  unsigned char b[sizeof(T)] = {};
  std::memcpy(b, v.bytes, std::min(v.len, sizeof(T)));
  return Read<T>(b);
}

bool LeadsTrue(const Value& v) {
  return v.len > 0 && (v.bytes[0] == 'T' || v.bytes[0] == 't' || v.bytes[0] == '1');
}

std::string DecimalText(const Value& v) { return decimalText(v.bytes, v.len); }
uint32_t NumberOfText(const Value& v, double* out) { return numberOfText(v.bytes, v.len, out); }
uint32_t IntegerOfText(const Value& v, int64_t* out) { return integerOfText(v.bytes, v.len, out); }

bool IsDateSql(int32_t t) { return t == SQL_DATE || t == SQL_TYPE_DATE; }
bool IsTimeSql(int32_t t) { return t == SQL_TIME || t == SQL_TYPE_TIME; }

// The earliest year a date text writes: four digits signed ("-9999").
constexpr int kFirstTextYear = -9999;

bool HasNoDate(const JC_Timestamp& ts) { return ts.year == 0 && ts.month == 0 && ts.day == 0; }

// Nanoseconds cut to `digits` fraction digits (a fraction beyond nine
// digits, which no clock has, stays for the range check).
uint32_t CutFraction(uint32_t nanos, uint16_t digits) {
  if (digits >= 9 || nanos >= 1000000000u) return nanos;
  uint32_t unit = 1;
  for (uint16_t d = digits; d < 9; ++d) unit *= 10;
  return nanos - nanos % unit;
}

// The JDBC type number of an ODBC SQL type, for setNull and
// registerOutParameter: the ODBC 2 date and time codes and the wide types
// have other numbers in java.sql.Types.
int32_t JdbcTypeOf(int32_t odbc) {
  switch (odbc) {
    case SQL_DATE: return JDBC_DATE;
    case SQL_TIME: return JDBC_TIME;
    case SQL_TIMESTAMP: return JDBC_TIMESTAMP;
    case SQL_WCHAR: return JDBC_CHAR;  // -8 is ROWID in java.sql.Types
    case SQL_WVARCHAR: return JDBC_VARCHAR;
    case SQL_WLONGVARCHAR: return JDBC_LONGVARCHAR;
    case SQL_GUID: return JDBC_CHAR;  // sent as its text
    default: return odbc;
  }
}

// The SQL types an amount is bound with: text and numbers.
bool IsAmountSql(int32_t t) {
  switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_BIGINT:
    case SQL_TINYINT: return true;
    default: return false;
  }
}

// A marker's type as the statement's analysis described it; false where
// the analysis did not (its default description).
bool AnalysedType(const JdbcStmt* s, uint16_t i, int32_t* type) {
  constexpr int16_t kUndescribed = -9999;
  if (s->paramsDescribed == 0 || s->paramDescs == nullptr || i >= s->paramDescCount ||
      s->paramDescs[i].sql_type == kUndescribed)
    return false;
  *type = s->paramDescs[i].sql_type;
  return true;
}

// The JDBC driver's type of marker i (0-based); false where it gives none.
bool JdbcParamType(JdbcStmt* s, uint16_t i, int32_t* t) {
  if (!s->jdbcParamTypesAsked) {
    s->jdbcParamTypesAsked = true;
    PreparedStatement::getParameterTypes(s, s->statement, s->markerCount, &s->jdbcParamTypes);
  }
  if (i >= s->jdbcParamTypes.size() || s->jdbcParamTypes[i] == JDBC_NULL) return false;
  *t = s->jdbcParamTypes[i];
  return true;
}

// The JDBC type a NULL goes with. A null goes with the type it was bound
// with (Qt binds a boolean's null as an integer, others every null as
// binary), which a server that types strictly (PostgreSQL, Derby) refuses
// for a column of any other type: it goes with the column's type where the
// analysis or the JDBC driver knows it, and with the bound type only where
// neither does.
int32_t NullType(JdbcStmt* s, uint16_t i, int32_t sqlType) {
  int32_t t = 0;
  if (AnalysedType(s, i, &t)) return JdbcTypeOf(t);
  if (JdbcParamType(s, i, &t)) return t;
  return JdbcTypeOf(sqlType);
}

class Setter {
 public:
  Setter(JdbcStmt* s, int32_t index) : s_(s), ps_(s->statement), ix_(index) {}

  uint32_t Set(int32_t sqlType, const Value& v) {
    if (v.cls == VClass::DateTime) return SetDateTime(sqlType, v);
    if (v.cls != VClass::Binary && IsAmountSql(sqlType) && MarkerIsMoney()) return Money(v);
    switch (sqlType) {
      case SQL_WLONGVARCHAR:
      case SQL_LONGVARCHAR: return Chars(v, /*stream=*/true);
      case SQL_GUID: return Guid(v);
      case SQL_WVARCHAR:
      case SQL_WCHAR:
      case SQL_CHAR:
      case SQL_VARCHAR: return Chars(v, /*stream=*/false);
      case SQL_BIGINT: return BigInt(v);
      case SQL_BIT: return PreparedStatement::setBoolean(s_, ps_, ix_, Truth(v));
      case SQL_TINYINT: return TinyInt(v);
      case SQL_LONGVARBINARY:
      case SQL_VARBINARY:
      case SQL_BINARY: return Bytes(v, sqlType == SQL_LONGVARBINARY);
      case SQL_NUMERIC:
      case SQL_DECIMAL: return Numeric(v);
      case SQL_INTEGER: return Integer(v);
      case SQL_SMALLINT: return SmallInt(v);
      case SQL_FLOAT:  // FLOAT has double precision in ODBC and JDBC alike
      case SQL_DOUBLE: return Double(v);
      case SQL_REAL: return Real(v);
      case SQL_DATE:
      case SQL_TYPE_DATE:
      case SQL_TIME:
      case SQL_TYPE_TIME:
      case SQL_TIMESTAMP:
      case SQL_TYPE_TIMESTAMP: return ParsedDateTime(sqlType, v);
      default: return ERR_NOT_CAPABLE;
    }
  }

 private:
  // A GUID goes as its text; a marker the database types as its own kind
  // (PostgreSQL's uuid) refuses a string and takes the text untyped.
  uint32_t Guid(const Value& v) {
    int32_t t = 0;
    if (IsTextual(v) && JdbcParamType(s_, static_cast<uint16_t>(ix_ - 1), &t) && t == JDBC_OTHER)
      return PreparedStatement::setOther(s_, ps_, ix_, v.bytes, static_cast<int64_t>(v.len));
    return Chars(v, /*stream=*/false);
  }

  // PostgreSQL's money refuses a double or a string and takes the amount's
  // exact text untyped. The answer is kept: asking costs a round trip.
  bool MarkerIsMoney() {
    if (s_->conn == nullptr || (s_->conn->sqlForms & SQLLEX_POSTGRESQL) == 0 || ix_ < 1)
      return false;
    std::vector<int8_t>& known = s_->moneyParams;
    const auto at = static_cast<size_t>(ix_ - 1);
    if (known.size() <= at) known.resize(at + 1, -1);
    if (known[at] < 0)
      known[at] = PreparedStatement::parameterTypeNamed(s_, ps_, ix_, "money") ? 1 : 0;
    return known[at] == 1;
  }

  uint32_t Money(const Value& v) {
    std::string t;
    switch (v.cls) {
      case VClass::Signed: t = std::to_string(v.i); break;
      case VClass::Unsigned: t = std::to_string(v.u); break;
      case VClass::Double: {
        // The shortest fixed text that reads back as the same double.
        char buf[kFixedDoubleChars];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.d, std::chars_format::fixed);
        if (r.ec != std::errc() || !std::isfinite(v.d)) return ERR_INVALID_CAST_VALUE;
        t.assign(buf, r.ptr);
        break;
      }
      default:
        // Decimal text goes exact; any other (the database's own form of
        // an amount) goes as it is, for the database to read.
        t = DecimalText(v);
        if (!isDecimalNumber(t)) t.assign(v.bytes, v.len);
        break;
    }
    return PreparedStatement::setOther(s_, ps_, ix_, t.data(), static_cast<int64_t>(t.size()));
  }

  // Whether the database types the marker as binary data.
  bool MarkerIsBinary() {
    int32_t t = 0;
    if (!JdbcParamType(s_, static_cast<uint16_t>(ix_ - 1), &t)) return false;
    return t == JDBC_BINARY || t == JDBC_VARBINARY || t == JDBC_LONGVARBINARY || t == JDBC_BLOB;
  }

  // Binary bytes for a character parameter are its characters, as ODBC
  // converts them: a byte array would reach a character column as its
  // database's rendering of binary data, or be refused. Only a marker the
  // database itself types as binary keeps the bytes: the application took
  // its character type from a marker the driver could not describe.
  uint32_t Chars(const Value& v, bool stream) {
    if (v.cls == VClass::Binary && MarkerIsBinary()) {
      return stream ? PreparedStatement::setBinaryStream(s_, ps_, ix_, v.bytes, v.len)
                    : PreparedStatement::setBytes(s_, ps_, ix_, v.bytes, v.len);
    }
    std::string num;
    const char* p = v.bytes;
    size_t n = v.len;
    if (!IsTextual(v) && v.cls != VClass::Binary) {
      num = NumberText(v);
      p = num.data();
      n = num.size();
    }
    const auto len = static_cast<int64_t>(n);
    return stream ? PreparedStatement::setCharacterStream(s_, ps_, ix_, p, len)
                  : PreparedStatement::setString(s_, ps_, ix_, p, len);
  }

  bool Truth(const Value& v) const {
    switch (v.cls) {
      case VClass::Signed: return v.i != 0;
      case VClass::Unsigned: return v.u != 0;
      case VClass::Double: return v.d != 0.0;
      case VClass::Binary: return v.len > 0 && v.bytes[0] != 0;
      default: return LeadsTrue(v);
    }
  }

  // The signed integer of a text, number or binary value: 0,
  // ERR_NUMERIC_RANGE when a double or a text has none within 64 bits,
  // ERR_INVALID_CAST_VALUE for a text that is no number.
  static uint32_t SignedOf(const Value& v, int64_t* out, size_t binaryBytes) {
    switch (v.cls) {
      case VClass::Signed: *out = v.i; return 0;
      case VClass::Double: return DoubleAsSigned(v.d, out);
      case VClass::Binary:
        *out = binaryBytes == 1   ? BinaryAs<int8_t>(v)
               : binaryBytes == 2 ? BinaryAs<int16_t>(v)
                                  : BinaryAs<int32_t>(v);
        return 0;
      default: return IntegerOfText(v, out);
    }
  }

  uint32_t TinyInt(const Value& v) {
    if (v.cls == VClass::Unsigned) {
      if (v.u > 255) return ERR_NUMERIC_RANGE;
      return PreparedStatement::setShort(s_, ps_, ix_, static_cast<int16_t>(v.u));
    }
    int64_t n = 0;
    const uint32_t rc = SignedOf(v, &n, 1);
    if (rc == ERR_INVALID_CAST_VALUE || rc == ERR_RIGHT_TRUNCATION) return rc;
    if (rc != 0 || n < -128 || n > 127) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Byte value out of range [%d]",
                  static_cast<int>(std::max<int64_t>(std::min<int64_t>(n, INT32_MAX), INT32_MIN)));
      return ERR_NUMERIC_RANGE;
    }
    return PreparedStatement::setByte(s_, ps_, ix_, static_cast<int8_t>(n));
  }

  uint32_t SmallInt(const Value& v) {
    if (v.cls == VClass::Unsigned) {
      if (v.u > 65535) return ERR_NUMERIC_RANGE;
      return PreparedStatement::setInt(s_, ps_, ix_, static_cast<int32_t>(v.u));
    }
    int64_t n = 0;
    const uint32_t rc = SignedOf(v, &n, 2);
    if (rc == ERR_INVALID_CAST_VALUE || rc == ERR_RIGHT_TRUNCATION) return rc;
    if (rc != 0 || n < -32768 || n > 32767) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Short value out of range [%d]",
                  static_cast<int>(std::max<int64_t>(std::min<int64_t>(n, INT32_MAX), INT32_MIN)));
      return ERR_NUMERIC_RANGE;
    }
    return PreparedStatement::setShort(s_, ps_, ix_, static_cast<int16_t>(n));
  }

  uint32_t Integer(const Value& v) {
    if (v.cls == VClass::Unsigned) {
      return PreparedStatement::setLong(s_, ps_, ix_, static_cast<int64_t>(v.u));
    }
    int64_t n = 0;
    if (uint32_t rc = SignedOf(v, &n, 4)) return rc;
    if (n < INT32_MIN || n > INT32_MAX) return ERR_NUMERIC_RANGE;
    return PreparedStatement::setInt(s_, ps_, ix_, static_cast<int32_t>(n));
  }

  // A 64-bit integer goes as a long whatever form it came in: a server that
  // types its parameters strictly refuses a string for a BIGINT column, and
  // 64-bit integers travel from the application as text.
  uint32_t BigInt(const Value& v) {
    switch (v.cls) {
      case VClass::Signed: return PreparedStatement::setLong(s_, ps_, ix_, v.i);
      case VClass::Unsigned:
        if (v.u <= static_cast<uint64_t>(INT64_MAX))
          return PreparedStatement::setLong(s_, ps_, ix_, static_cast<int64_t>(v.u));
        return PreparedStatement::setBigDecimal(s_, ps_, ix_, Decimal(v.u).c_str());
      case VClass::Double: {
        int64_t n = 0;
        if (uint32_t rc = DoubleAsSigned(v.d, &n)) return rc;
        return PreparedStatement::setLong(s_, ps_, ix_, n);
      }
      case VClass::Binary: return PreparedStatement::setBytes(s_, ps_, ix_, v.bytes, v.len);
      default: {
        const std::string t = DecimalText(v);
        int64_t n = 0;
        if (wholeInteger(t, &n)) return PreparedStatement::setLong(s_, ps_, ix_, n);
        const uint32_t rc = IntegerOfText(v, &n);
        if (rc == 0) return PreparedStatement::setLong(s_, ps_, ix_, n);
        // Beyond 64 bits: the exact number, for the server to convert or
        // refuse.
        if (rc == ERR_NUMERIC_RANGE)
          return PreparedStatement::setBigDecimal(s_, ps_, ix_, t.c_str());
        return rc;
      }
    }
  }

  // 0, or the text's failure (NumberOfText).
  static uint32_t AsDouble(const Value& v, double* d) {
    switch (v.cls) {
      case VClass::Signed: *d = static_cast<double>(v.i); return 0;
      case VClass::Unsigned: *d = static_cast<double>(v.u); return 0;
      case VClass::Double: *d = v.d; return 0;
      case VClass::Binary: *d = BinaryAs<double>(v); return 0;
      default: return NumberOfText(v, d);
    }
  }

  uint32_t Double(const Value& v) {
    double d = 0;
    if (uint32_t rc = AsDouble(v, &d)) return rc;
    return PreparedStatement::setDouble(s_, ps_, ix_, d);
  }

  uint32_t Real(const Value& v) {
    double d = 0;
    if (v.cls == VClass::Binary)
      d = static_cast<double>(BinaryAs<float>(v));
    else if (uint32_t rc = AsDouble(v, &d))
      return rc;
    if (d > kFloatMax || d < -kFloatMax) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Float value out of range [%f]", d);
      return ERR_NUMERIC_RANGE;
    }
    return PreparedStatement::setFloat(s_, ps_, ix_, static_cast<float>(d));
  }

  uint32_t Numeric(const Value& v) {
    switch (v.cls) {
      case VClass::Signed:
        return PreparedStatement::setInt(s_, ps_, ix_, static_cast<int32_t>(v.i));
      case VClass::Unsigned:
        return PreparedStatement::setLong(s_, ps_, ix_, static_cast<int64_t>(v.u));
      case VClass::Double:
        // The double's own shortest decimal, as an exact number: a database
        // casting the double to its decimal type keeps only 15 digits.
        if (!std::isfinite(v.d)) return PreparedStatement::setDouble(s_, ps_, ix_, v.d);
        return PreparedStatement::setBigDecimal(s_, ps_, ix_, Decimal(v.d).c_str());
      case VClass::Binary: return PreparedStatement::setBytes(s_, ps_, ix_, v.bytes, v.len);
      default: {
        // Exact decimal text: no detour through a double.
        const std::string t = DecimalText(v);
        if (!isDecimalNumber(t)) return ERR_INVALID_CAST_VALUE;
        return PreparedStatement::setBigDecimal(s_, ps_, ix_, t.c_str());
      }
    }
  }

  uint32_t Bytes(const Value& v, bool stream) {
    if (IsTextual(v)) {
      const auto len = static_cast<int64_t>(v.len);
      return stream ? PreparedStatement::setCharacterStream(s_, ps_, ix_, v.bytes, len)
                    : PreparedStatement::setString(s_, ps_, ix_, v.bytes, len);
    }
    unsigned char raw[8];
    const void* p = v.bytes;
    size_t n = v.len;
    if (v.cls == VClass::Signed || v.cls == VClass::Unsigned) {
      const auto w =
          v.cls == VClass::Signed ? static_cast<uint32_t>(v.i) : static_cast<uint32_t>(v.u);
      std::memcpy(raw, &w, 4);
      p = raw;
      n = 4;
    } else if (v.cls == VClass::Double) {
      std::memcpy(raw, &v.d, 8);
      p = raw;
      n = 8;
    }
    return stream ? PreparedStatement::setBinaryStream(s_, ps_, ix_, p, n)
                  : PreparedStatement::setBytes(s_, ps_, ix_, p, n);
  }

  // The fraction digits the parameter keeps (its DecimalDigits); all nine
  // where it has no description.
  uint16_t FractionDigits() const {
    const auto i = static_cast<size_t>(ix_ - 1);
    if (s_->binds == nullptr || i >= s_->bindCount) return 9;
    return s_->binds[i].decimalDigits;
  }

  // Java's date and time classes roll impossible fields over into other
  // dates, so the fields the SQL type keeps are checked first. A date is
  // the one thing a DATE needs; a time sent as a timestamp is today's.
  // The fraction is cut to the parameter's digits here, before a JDBC
  // driver rounds it; a TIME drops none of it silently. A structure's year
  // is 1 to 9999, as ODBC has it; a text may sign one before (firstYear).
  uint32_t SendChecked(int32_t sqlType, JC_Timestamp ts, int firstYear) {
    int32_t jdbcType = JDBC_TIMESTAMP;
    const uint32_t fraction = ts.fraction;
    ts.fraction = CutFraction(ts.fraction, FractionDigits());
    if (IsTimeSql(sqlType)) {
      if (!clockHasTime(ts)) return ERR_DATE_OVERFLOW;
      if (ts.fraction != fraction) return ERR_DATETIME_FIELD_OVERFLOW;
      jdbcType = JDBC_TIME;
    } else if (IsDateSql(sqlType)) {
      if (HasNoDate(ts)) return ERR_DATETIME_FORMAT;
      if (!calendarHasDate(ts, firstYear)) return ERR_DATE_OVERFLOW;
      jdbcType = JDBC_DATE;
    } else {
      if (HasNoDate(ts)) jdt::SetToday(&ts);
      if (!calendarHasDate(ts, firstYear) || !clockHasTime(ts)) return ERR_DATE_OVERFLOW;
    }
    return PreparedStatement::setDateTimeFields(s_, ps_, ix_, &ts, jdbcType);
  }

  uint32_t SetDateTime(int32_t sqlType, const Value& v) {
    switch (sqlType) {
      case SQL_DATE:
      case SQL_TYPE_DATE:
      case SQL_TIME:
      case SQL_TYPE_TIME:
      case SQL_TIMESTAMP:
      case SQL_TYPE_TIMESTAMP: return SendChecked(sqlType, v.ts, 1);
      default: return ERR_NOT_CAPABLE;
    }
  }

  uint32_t ParsedDateTime(int32_t sqlType, const Value& v) {
    if (!IsTextual(v)) return ERR_NOT_CAPABLE;
    JC_Timestamp ts{};
    if (!parseDateTimeText(v.bytes, static_cast<int64_t>(v.len), &ts)) return ERR_DATETIME_FORMAT;
    return SendChecked(sqlType, ts, kFirstTextYear);
  }

  JdbcStmt* s_;
  jobject ps_;
  int32_t ix_;
};

}  // namespace

bool paramSetSkipped(const JdbcStmt* s, uint32_t set) {
  const COLSET* values = s != nullptr ? s->params : nullptr;
  if (values == nullptr || set >= values->row_capacity) return false;
  for (uint16_t i = 0; i < values->cols_used; ++i) {
    const COLSET_COL& col = values->cols[i];
    if (col.ind != nullptr && col.ind[set] == COLSET_IND_SKIP) return true;
  }
  return false;
}

uint32_t setJavaParams(JdbcStmt* s, uint32_t set) {
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  const COLSET* values = s->params;
  const bool call = (s->flags & STMT_PREPARE_CALL) != 0;
  // Values left from the last execute go, unless each marker gets one
  // again below (a procedure call's output registrations go every time).
  const bool everyMarkerSet = !call && values != nullptr && values->cols_used >= s->markerCount;
  if (s->statement != nullptr && !everyMarkerSet) {
    if (uint32_t rc = PreparedStatement::clearParameters(s, s->statement)) return rc;
  }
  if (values == nullptr || s->statement == nullptr) {
    s->flags &= static_cast<uint16_t>(~STMT_VALUES_PENDING);
    return 0;
  }
  if (set >= values->row_capacity) return ERR_INVALID_ARGUMENT;  // no such row in the value set
  for (uint16_t i = 0; i < values->cols_used; ++i) {
    const COLSET_COL& col = values->cols[i];
    int32_t sqlType = 1;
    uint16_t direction = PARAM_DIR_IN;
    if (s->binds != nullptr && i < s->bindCount) {
      sqlType = s->binds[i].sqlType;
      direction = s->binds[i].direction;
    }
    const int32_t index = i + 1;
    const bool outOnly = call && direction == PARAM_DIR_OUT;
    uint32_t rc = 0;
    if (outOnly) {
      // An output-only parameter takes no value: the procedure gives one.
    } else if (col.ind == nullptr || col.ind[set] == COLSET_IND_NULL) {
      rc = PreparedStatement::setNull(s, s->statement, index, NullType(s, i, sqlType));
    } else if (col.ind[set] == COLSET_IND_DAE) {
      // The agent never asks for values during the execute.
      rc = ERR_NOT_CAPABLE;
    } else {
      Value v;
      rc = Reduce(col, set, &v);
      if (rc == 0) rc = Setter(s, index).Set(sqlType, v);
    }
    if (rc != 0) return rc;
    if (call && (direction == PARAM_DIR_INOUT || direction == PARAM_DIR_OUT)) {
      rc = CallableStatement::registerOutParameter(s, s->statement, index, JdbcTypeOf(sqlType));
      if (rc != 0) return rc;
      s->flags |= STMT_OUT_REGISTERED;
    }
  }
  s->flags &= static_cast<uint16_t>(~STMT_VALUES_PENDING);
  return 0;
}
