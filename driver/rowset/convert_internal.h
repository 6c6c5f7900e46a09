// Pieces shared by the converters: result codes, the copy of text into
// application buffers with exact source accounting, decimal digit strings
// into SQL_NUMERIC_STRUCT.
#ifndef QMR_DRIVER_ROWSET_CONVERT_INTERNAL_H
#define QMR_DRIVER_ROWSET_CONVERT_INTERNAL_H

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <string>

#include "driver/rowset/text_carry.h"
#include "util/errcodes.h"

namespace conv {

inline SQLRETURN Fail(int32_t* pending, int32_t code) {
  *pending = code;
  return SQL_ERROR;
}
inline SQLRETURN Info(int32_t* pending, int32_t code) {
  *pending = code;
  return SQL_SUCCESS_WITH_INFO;
}

// The application side of a copy.
struct Target {
  void* buffer;
  int64_t bufferLength;  // bytes
  int64_t* lengthPtr;
  int32_t* pending;
};

// A whole fixed-size value; `info` (0 or a code) makes the result a warning.
SQLRETURN PutFixed(const void* value, size_t size, const Target& t, int32_t info = 0);
// The raw bytes of a fixed-size value into a binary target: a buffer length
// of 0 gives 01004 and the size, a shorter buffer 58 (never a partial image).
SQLRETURN PutImage(const void* value, int64_t size, const Target& t);

// How a text copy treats a value that does not fit.
enum class Cut {
  Allowed,  // 01004, the part that fits
  Refused,  // 58
};

// Bytes into an 8-bit buffer, cut anywhere; `terminate` adds a NUL. total:
// see convert.h (0 = length). A buffer length of 0 (or no buffer) gives 01004
// and the length whatever `cut` says.
SQLRETURN CopyBytes(const char* src, int64_t length, int64_t total, bool terminate, Cut cut,
                    const Target& t, int64_t* consumed);

// The text copies below write whole characters. Without a carry a cut piece
// ends before the first character that does not fit; with one (SQLGetData)
// it ends with as much of that character as fits, the rest waits in the
// carry for the next piece, and the length reported counts the carry too.
// consumed counts the source taken, a character in the carry included.

// Text (UTF-8 bytes or UTF-16 units) that is all ASCII and fits an 8-bit
// buffer with its NUL, copied whole in one pass: what CopyUtf8 and
// CopyWideToUtf8 write for it and the length they report. False for any
// other text; what it wrote by then, the copies write too.
bool CopyAsciiWhole(const char* src, int64_t length, void* buffer, int64_t bufferLength,
                    int64_t* lengthPtr);
bool CopyAsciiWhole(const char16_t* src, int64_t units, void* buffer, int64_t bufferLength,
                    int64_t* lengthPtr);
// UTF-8 text into an 8-bit buffer with a NUL; consumed counts source bytes.
SQLRETURN CopyUtf8(const char* src, int64_t length, int64_t total, const Target& t,
                   int64_t* consumed, TextCarry* carry);
// UTF-8 text (bytes) into a UTF-16 buffer (bytes) with a 2-byte terminator;
// consumed counts source bytes.
SQLRETURN CopyUtf8ToWide(const char* src, int64_t length, int64_t total, Cut cut, const Target& t,
                         int64_t* consumed, TextCarry* carry);
// UTF-16 text (units) into an 8-bit buffer as standard UTF-8 with a NUL;
// consumed counts source units.
SQLRETURN CopyWideToUtf8(const char16_t* src, int64_t units, int64_t totalUnits, const Target& t,
                         int64_t* consumed, TextCarry* carry);
// UTF-16 text (units) into a UTF-16 buffer (bytes) with a 2-byte terminator;
// consumed counts source units.
SQLRETURN CopyWide(const char16_t* src, int64_t units, int64_t totalUnits, const Target& t,
                   int64_t* consumed, TextCarry* carry);

// ASCII text produced by a converter (a number, a date) into an SQL_C_CHAR
// or SQL_C_WCHAR target.
SQLRETURN PutAsciiText(const char* text, int64_t length, int16_t cType, Cut cut, const Target& t);
inline SQLRETURN PutAsciiText(const std::string& text, int16_t cType, Cut cut, const Target& t) {
  return PutAsciiText(text.data(), static_cast<int64_t>(text.size()), cType, cut, t);
}
// Characters of ASCII text that fit the target with the terminator.
int64_t AsciiRoom(int16_t cType, int64_t bufferLength);
// A shortened form `shown` of ASCII text `full` (which did not fit): writes
// `shown`, reports the length of `full` and 01004.
SQLRETURN PutShortened(const std::string& full, const std::string& shown, int16_t cType,
                       const Target& t);

// UTF-16 units of UTF-8 text (2 for a 4-byte sequence); invalid bytes count
// as one replacement unit each.
int64_t Utf16UnitsOf(const char* src, int64_t length);
// Bytes of standard UTF-8 that UTF-16 text becomes (lone surrogates as
// U+FFFD).
int64_t Utf8BytesOf(const char16_t* src, int64_t units);
// UTF-16 text as standard UTF-8.
std::string WideToUtf8(const char16_t* src, int64_t units);

// A decimal number in parts: its digits without a point, the power of ten
// they are to be multiplied with, and the sign.
struct DecimalDigits {
  std::string digits;  // '0'-'9' only, at least one
  int64_t exponent = 0;
  bool negative = false;
};
// Parses [blanks][sign]digits[.digits][(e|E)[sign]digits][blanks] (digits on
// at least one side of the point); false when the text is not that.
bool ParseDecimal(const char* text, int64_t length, DecimalDigits* out);
// The form DECIMAL values have in the row buffer, [-]digits[.digits] with
// no more fraction digits than the scale (0 to 18) and at most 18 digits
// once scaled, straight into the structure without the digit strings: what
// DigitsToNumeric builds for it with a default precision of 0. False for
// any other text and for more integer digits than the precision, which the
// general path reads (or refuses); *out is written only when it answers true.
bool PlainToNumeric(const char* text, int64_t length, int16_t scale, uint16_t precision,
                    SQL_NUMERIC_STRUCT* out);
// Builds the structure with the given scale; precision 0 uses the larger of
// `defaultPrecision` and the digits the value needs. 0, 1 (01S07, a non-zero
// digit dropped) or -1 with ERR_NUMERIC_RANGE in *pending.
int DigitsToNumeric(const DecimalDigits& d, int16_t scale, uint16_t precision,
                    uint16_t defaultPrecision, SQL_NUMERIC_STRUCT* out, int32_t* pending);

}  // namespace conv

#endif
