// SQL-to-C conversions: one converter per kind of row-buffer value, each
// turning a value into the C type the application asked for.
//
// The common contract
// -------------------
// Every converter takes the value, the C type, the application's buffer and
// buffer length (bytes), the length pointer (may be null) and `pending`, the
// statement's pending internal error code. It returns SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO or SQL_ERROR. `*pending` is written only when the
// result is not SQL_SUCCESS, so a warning left by an earlier column survives
// a clean conversion; the codes are the driver's internal ones:
//   19  01004  data truncated (a cut text or binary value; buffer length 0)
//   25  S1090  negative buffer length for a text or binary target
//   43  S1C00  text to a date, time or timestamp structure
//   49  07006  conversion not offered
//   58  22003  value out of the target's range; a text form that must not be cut
//   59  22005  text that is not a number / GUID (22018 for ODBC 3 applications)
//   62  22026  GUID text of the wrong length
//   104 01S07  fractional digits dropped
// On SQL_ERROR a numeric or structure target is left unwritten; a text
// target may hold a part.
//
// Fixed-size targets (numbers, structures, GUID) are written in full whatever
// the buffer length; their size goes to the length pointer.
//
// Lengths and units
// -----------------
// 8-bit text is UTF-8; its lengths are bytes, and a cut never splits a
// sequence. UTF-16 text is char16_t; the wide-text converter takes its
// length, total and consumed count in BYTES (2 per unit), as the row buffer
// stores it, and a cut never separates a surrogate pair. SQL_C_WCHAR targets
// are measured in bytes (buffer length in, length out), SQL_C_CHAR targets in
// bytes of UTF-8.
//
// `total` is the length of the whole rest of the value in the source's units
// (equal to `length` when the value is all here; larger when an agent hands
// it over in pieces; SQL_NO_TOTAL when unknown; 0 counts as `length`). The
// length pointer gets the length of that rest in the TARGET's units: the
// UTF-16 bytes that UTF-8 text becomes, the UTF-8 bytes of UTF-16 text, two
// or four times the bytes of a value written as hexadecimal. When the rest is
// not all here and the target's units differ from the source's, the exact
// figure cannot be known and SQL_NO_TOTAL is written. SQL_NO_TOTAL is passed
// on as it is, never scaled.
//
// `consumed` (may be null) receives how much of the source, in the source's
// units (bytes; bytes of UTF-16 for the wide converter), the copy into a
// text or binary target really took. Piecewise SQLGetData advances its
// position by that and nothing else: one character of UTF-8 text is 1 to 4
// bytes, one of UTF-16 text 2 or 4, and a byte written as hexadecimal takes
// 2 characters. For fixed-size targets it is the whole length.
//
// Numbers are read and written independently of the process locale.
#ifndef QMR_DRIVER_ROWSET_CONVERT_H
#define QMR_DRIVER_ROWSET_CONVERT_H

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>

#include "driver/rowset/text_carry.h"

// ---- Text (internal types 1, 15, 17-20) and wide text (24-27) ------------

// 8-bit text: `length` and `total` in bytes. `scale` and `precision` are the
// application's for an SQL_C_NUMERIC target (0 when it set none). `carry`
// (SQLGetData only; may be null) lets a cut SQL_C_CHAR or SQL_C_WCHAR piece
// fill its buffer: the character it cuts is finished by the next piece,
// which begins with what the carry holds (see text_carry.h).
SQLRETURN ConvertCHAR(const char* text, int64_t length, int64_t total, int16_t cType, void* buffer,
                      int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                      uint16_t precision, int64_t* consumed = nullptr, TextCarry* carry = nullptr);
// Plain number text, the form BIGINT and DECIMAL values have in the row
// buffer ([-]digits, [-]digits.digits), into an SQL_C_SBIGINT or
// SQL_C_NUMERIC target: what ConvertCHAR writes for it, read by the
// converters' own plain readers and copied straight in, without the general
// parse and its dispatch. False, with nothing written, for any other text or
// target and while tracing (ConvertCHAR's trace spells the value); the
// caller then converts with ConvertCHAR.
bool ConvertPlainNumber(const char* text, int64_t length, int16_t cType, void* buffer,
                        int64_t* lengthPtr, int16_t scale, uint16_t precision);
// UTF-16 text: `length`, `total` and `*consumed` in bytes (2 per unit).
SQLRETURN ConvertWCHAR(const char16_t* text, int64_t length, int64_t total, int16_t cType,
                       void* buffer, int64_t bufferLength, int64_t* lengthPtr, int32_t* pending,
                       int16_t scale, uint16_t precision, int64_t* consumed = nullptr,
                       TextCarry* carry = nullptr);

// The number parsers behind the text converters; each reads exactly `length`
// bytes (the wide forms `count` UTF-16 units). Blanks may surround the
// number. They return 0, 1 (success, fractional digits dropped: 01S07) or -1
// with the code in *pending; *pending is not touched on 0.
//
// An integer: optional sign, digits, optionally a point and digits (dropped:
// 1 when one of them is not 0). The value must lie within [minimum,
// maximum]; a negative value never passes a minimum of 0 ("-0" does).
int CharToNumber(const char* text, int64_t length, int64_t minimum, int64_t maximum, int64_t* value,
                 int32_t* pending);
// The same for 64-bit targets: `*value` gets the two's-complement bits, so
// an unsigned target reads it as uint64_t.
int CharToNumber64(const char* text, int64_t length, int64_t minimum, uint64_t maximum,
                   uint64_t* value, int32_t* pending);
// A floating-point number: an optional leading '$', ',' group separators
// ignored, sign, digits, point, exponent. NaN and infinity texts are not
// numbers (ERR_ASSIGNMENT); a magnitude beyond a double's range is
// ERR_NUMERIC_RANGE.
int CharToDecimal(const char* text, int64_t length, double* value, int32_t* pending);
// A decimal number (sign, digits, point, exponent) into SQL_NUMERIC_STRUCT
// with the given scale; precision 0 means the digits the text has. More
// integer digits than the precision, or a value beyond 128 bits:
// ERR_NUMERIC_RANGE.
int CharToNumeric(const char* text, int64_t length, SQL_NUMERIC_STRUCT* out, int16_t scale,
                  uint16_t precision, int32_t* pending);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (surrounding blanks allowed): other
// lengths 62, a misplaced dash or a non-hex digit 59.
int CharToGuid(const char* text, int64_t length, SQLGUID* out, int32_t* pending);
int WCharToNumber(const char16_t* text, int64_t count, int64_t minimum, int64_t maximum,
                  int64_t* value, int32_t* pending);
int WCharToNumber64(const char16_t* text, int64_t count, int64_t minimum, uint64_t maximum,
                    uint64_t* value, int32_t* pending);
int WCharToDecimal(const char16_t* text, int64_t count, double* value, int32_t* pending);
int WCharToNumeric(const char16_t* text, int64_t count, SQL_NUMERIC_STRUCT* out, int16_t scale,
                   uint16_t precision, int32_t* pending);

// ---- Numbers (internal types 2-10) ----------------------------------------

// Integers: `value` holds the bits; `isSigned` says whether they are two's
// complement. Range checks use the mathematical value against the target's
// range (exclusive upper bounds 2^7, 2^8, 2^15, 2^16, 2^31, 2^32, 2^63, 2^64);
// any negative value to an unsigned target is 58.
SQLRETURN ConvertBYTE(uint8_t value, int isSigned, int16_t cType, void* buffer,
                      int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                      uint16_t precision);
SQLRETURN ConvertSHORT(uint16_t value, int isSigned, int16_t cType, void* buffer,
                       int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                       uint16_t precision);
SQLRETURN ConvertINTEGER(uint32_t value, int isSigned, int16_t cType, void* buffer,
                         int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int16_t scale,
                         uint16_t precision);
// Floating point: integer targets truncate toward zero (01S07 when a
// fraction was dropped); SQL_C_FLOAT refuses a finite double beyond a float's
// range. NaN and the infinities reach SQL_C_FLOAT, SQL_C_DOUBLE, the binary
// image and text ("NaN", "Infinity", "-Infinity"); every other target
// refuses them (ERR_NUMERIC_RANGE).
SQLRETURN ConvertFLOAT(float value, int16_t cType, void* buffer, int64_t bufferLength,
                       int64_t* lengthPtr, int32_t* pending, int16_t scale, uint16_t precision);
SQLRETURN ConvertDOUBLE(double value, int16_t cType, void* buffer, int64_t bufferLength,
                        int64_t* lengthPtr, int32_t* pending, int16_t scale, uint16_t precision);

// A double as SQL_NUMERIC_STRUCT (from its shortest exact decimal form):
// 0, 1 (01S07) or -1 (58 in *pending). Precision 0: 15 digits, or as many as
// the integer part needs.
int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT* out, int16_t scale, uint16_t precision,
                    int32_t* pending);
// "%.*g" with `digits` significant digits in the C locale; returns the
// length written (buffer of at least 32 bytes).
int FormatDoubleG(char* buffer, double value, int digits);
// Removes a '.' that ends the text.
void TrimTrailingPoint(char* text);

// ---- Dates, times, timestamps (11-13) and bytes (14, 16, 21-23) -----------

SQLRETURN ConvertDATE(const SQL_DATE_STRUCT* value, int16_t cType, void* buffer,
                      int64_t bufferLength, int64_t* lengthPtr, int32_t* pending);
// A time with its offset (COLSET_ZONE_*, kept in text only, as
// "+05:30" or "-03") and fraction (nanoseconds); text as a timestamp's time
// part.
SQLRETURN ConvertTIME(const SQL_TIME_STRUCT* value, uint32_t zone, uint32_t fraction, int16_t cType,
                      void* buffer, int64_t bufferLength, int64_t* lengthPtr,
                      uint16_t decimalDigits, int32_t* pending);
// `decimalDigits`: the fraction digits the column has; text keeps at least
// that many (up to 9) and never drops a non-zero digit. A timestamp's
// offset (COLSET_ZONE_*) is kept in text only, as "+09" or "+00:53:28".
SQLRETURN ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT* value, uint32_t zone, int16_t cType,
                           void* buffer, int64_t bufferLength, int64_t* lengthPtr,
                           uint16_t decimalDigits, int32_t* pending);
// Bytes: SQL_C_BINARY as they are; SQL_C_CHAR and SQL_C_WCHAR as two
// uppercase hexadecimal digits per byte. `length`, `total` and `*consumed`
// in bytes of the source.
SQLRETURN ConvertBINARY(const void* bytes, int64_t length, int64_t total, int16_t cType,
                        void* buffer, int64_t bufferLength, int64_t* lengthPtr, int32_t* pending,
                        int64_t* consumed = nullptr);

// The name of a C type in trace lines ("SQL_C_CHAR" ...; "(unknown type)").
const char* CvtTraceType(int16_t cType);

#endif
