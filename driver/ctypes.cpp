// C types and application-buffer copy-out.
#include "driver/ctypes.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>

#include "util/errcodes.h"
#include "util/textconv.h"

namespace {

// Standard UTF-8 of one code point at p; returns the bytes written.
int encodeUtf8(uint32_t cp, char* p) {
  if (cp < 0x80) {
    p[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    p[0] = static_cast<char>(0xC0 | (cp >> 6));
    p[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    p[0] = static_cast<char>(0xE0 | (cp >> 12));
    p[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    p[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  p[0] = static_cast<char>(0xF0 | (cp >> 18));
  p[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  p[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  p[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// The code point starting at src[i] of n units; advances i. A lone surrogate
// becomes U+FFFD, as text for the application side does everywhere.
uint32_t nextCodePoint(const char16_t* src, int64_t n, int64_t& i) {
  const uint32_t u = src[i++];
  if (u >= 0xD800 && u <= 0xDBFF && i < n && src[i] >= 0xDC00 && src[i] <= 0xDFFF)
    return 0x10000 + ((u - 0xD800) << 10) + (src[i++] - 0xDC00);
  if (u >= 0xD800 && u <= 0xDFFF) return 0xFFFD;
  return u;
}

// Bytes of UTF-8 that n units of UTF-16 become.
int64_t utf8Bytes(const char16_t* src, int64_t n) {
  int64_t bytes = 0;
  char tmp[4];
  for (int64_t i = 0; i < n;) bytes += encodeUtf8(nextCodePoint(src, n, i), tmp);
  return bytes;
}

// Writes whole characters of n units into at most room bytes; bytes written.
int64_t encodeInto(const char16_t* src, int64_t n, char* dst, int64_t room) {
  int64_t out = 0;
  char tmp[4];
  for (int64_t i = 0; i < n;) {
    const int w = encodeUtf8(nextCodePoint(src, n, i), tmp);
    if (out + w > room) break;
    std::memcpy(dst + out, tmp, static_cast<size_t>(w));
    out += w;
  }
  return out;
}

void storeLength(int64_t* lenOut, int64_t total, int64_t length) {
  if (lenOut != nullptr) *lenOut = total != 0 ? total : length;
}

// The remainder test: more of the value than this piece is left.
void noteRemainder(int64_t total, int64_t available, int32_t* code) {
  if (total != SQL_NO_TOTAL && total > available) *code = ERR_TRUNCATED;
}

int result(const int32_t* code) { return *code == ERR_TRUNCATED ? 1 : 0; }

// need units of the value against room: cut (01004) when they do not fit and
// cutting is allowed, refused (22003, false) when not; when they fit, the
// remainder test.
bool settleFit(int64_t need, int64_t room, bool allowCut, int64_t total, int64_t available,
               int32_t* code) {
  if (need > room) {
    if (!allowCut) {
      *code = ERR_NUMERIC_RANGE;
      return false;
    }
    *code = ERR_TRUNCATED;
  } else {
    noteRemainder(total, available, code);
  }
  return true;
}

}  // namespace

int32_t TYPE_DefaultCType(int32_t sqlType, uint32_t odbcVersion) {
  const bool v3 = odbcVersion == 3;
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_GUID: return SQL_C_CHAR;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_TINYINT;
    case SQL_BIGINT: return v3 ? SQL_C_SBIGINT : SQL_C_CHAR;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_INTEGER: return SQL_C_LONG;
    case SQL_SMALLINT: return SQL_C_SHORT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_DATE: return v3 ? SQL_C_TYPE_DATE : SQL_C_DATE;
    case SQL_TIME: return v3 ? SQL_C_TYPE_TIME : SQL_C_TIME;
    case SQL_TIMESTAMP: return v3 ? SQL_C_TYPE_TIMESTAMP : SQL_C_TIMESTAMP;
    default: return sqlType;  // the datetime types 91-93 included
  }
}

int32_t TYPE_CSize(int16_t cType) {
  switch (cType) {
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: return 1;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return 2;
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_FLOAT: return 4;
    case SQL_C_DOUBLE:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return 8;
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME: return 6;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_GUID: return 16;
    case SQL_C_NUMERIC: return 19;
    default: return 0;
  }
}

int DATA_CopyOut(const void* src, int64_t length, int64_t available, int64_t total, bool terminate,
                 bool allowCut, void* dst, int64_t dstSize, int64_t* lenOut, int32_t* code) {
  if (dstSize < 0) {
    *code = ERR_INVALID_LENGTH;
    return -1;
  }
  storeLength(lenOut, total, length);
  if (dstSize == 0 || dst == nullptr) {
    *code = ERR_TRUNCATED;
    return 1;
  }
  const int64_t room = dstSize - (terminate ? 1 : 0);
  if (!settleFit(length, room, allowCut, total, available, code)) return -1;
  const int64_t n = length > room ? room : length;
  auto* out = static_cast<char*>(dst);
  if (n > 0) std::memcpy(out, src, static_cast<size_t>(n));
  if (terminate) out[n] = '\0';
  return result(code);
}

int DATA_CopyOutA(const char16_t* src, int64_t length, int64_t available, int64_t total,
                  bool terminate, bool allowCut, char* dst, int64_t dstSize, int64_t* lenOut,
                  int32_t* code) {
  if (dstSize < 0) {
    *code = ERR_INVALID_LENGTH;
    return -1;
  }
  const int64_t bytes = utf8Bytes(src, length);
  storeLength(lenOut, total, bytes);
  if (dstSize == 0 || dst == nullptr) {
    *code = ERR_TRUNCATED;
    return 1;
  }
  const int64_t room = dstSize - (terminate ? 1 : 0);
  if (!settleFit(bytes, room, allowCut, total, available, code)) return -1;
  const int64_t n = encodeInto(src, length, dst, room);
  if (terminate) dst[n] = '\0';
  return result(code);
}

int DATA_CopyOutW(const char* src, int64_t length, int64_t available, int64_t total, bool terminate,
                  bool allowCut, char16_t* dst, int64_t dstSize, int64_t* lenOut, int32_t* code) {
  if (dstSize < 0) {
    *code = ERR_INVALID_LENGTH;
    return -1;
  }
  const int64_t units = utf8_to_utf16_len(src, length);
  storeLength(lenOut, total, units * 2);
  const int64_t roomUnits = dstSize / 2 - (terminate ? 1 : 0);
  if (dst == nullptr || roomUnits < 0 || dstSize == 0) {
    // Not even the terminator fits: nothing is written.
    *code = ERR_TRUNCATED;
    return 1;
  }
  if (!settleFit(units, roomUnits, allowCut, total, available, code)) return -1;
  const int64_t n =
      utf8_to_utf16_n64(src, length, dst, units > roomUnits ? roomUnits : units, nullptr);
  if (terminate) dst[n] = 0;
  return result(code);
}

int DATA_CopyOutWide(const char16_t* src, int64_t length, int64_t available, int64_t total,
                     bool terminate, bool allowCut, char16_t* dst, int64_t dstSize, int64_t* lenOut,
                     int32_t* code) {
  if (dstSize < 0) {
    *code = ERR_INVALID_LENGTH;
    return -1;
  }
  storeLength(lenOut, total, length);
  const int64_t room = (dstSize & ~int64_t{1}) - (terminate ? 2 : 0);
  if (dst == nullptr || room < 0 || dstSize == 0) {
    *code = ERR_TRUNCATED;
    return 1;
  }
  if (!settleFit(length, room, allowCut, total, available, code)) return -1;
  int64_t n = length & ~int64_t{1};
  if (length > room) {
    n = room;
    // Never end on the first half of a surrogate pair.
    if (n >= 2) {
      const char16_t last = src[n / 2 - 1];
      if (last >= 0xD800 && last <= 0xDBFF) n -= 2;
    }
  }
  if (n > 0) std::memcpy(dst, src, static_cast<size_t>(n));
  if (terminate) dst[n / 2] = 0;
  return result(code);
}

int HEX_Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

void HEX_ToBin(uint8_t* dst, const char* hex, int64_t digits) {
  for (int64_t i = 0; i + 1 < digits; i += 2)
    dst[i / 2] = static_cast<uint8_t>((HEX_Digit(hex[i]) << 4) | HEX_Digit(hex[i + 1]));
}
