// C types and the copy of values into application buffers. The copy routines
// post nothing themselves: they leave an internal code in the caller's
// variable (ERR_TRUNCATED, ERR_NUMERIC_RANGE when truncation is not allowed,
// ERR_INVALID_LENGTH for a bad buffer length) and return 1 (truncated), 0
// (complete) or -1 (error).
#ifndef QMR_DRIVER_CTYPES_H
#define QMR_DRIVER_CTYPES_H

#include <cstdint>

// The C type SQL_C_DEFAULT stands for with a given SQL type; version 3 is
// ODBC 3 behaviour, anything else ODBC 2.
int32_t TYPE_DefaultCType(int32_t sqlType, uint32_t odbcVersion);
// Bytes of a fixed-size C type; 0 for a variable-length one.
int32_t TYPE_CSize(int16_t cType);

// Common arguments:
//   length     how much of the source this piece holds (bytes or units, see each)
//   available  how much is available from here on (for the remainder test)
//   total      the length to report; 0 = report `length`; SQL_NO_TOTAL allowed
//   terminate  write a terminator behind the copied data
//   allowCut   truncation allowed (else ERR_NUMERIC_RANGE and -1)
//   dst, dstSize  the application's buffer; a negative size is refused
//                 (ERR_INVALID_LENGTH)
//   lenOut     where the length goes (may be null)
//   code       the caller's internal-code variable

// Bytes to bytes.
int DATA_CopyOut(const void* src, int64_t length, int64_t available, int64_t total, bool terminate,
                 bool allowCut, void* dst, int64_t dstSize, int64_t* lenOut, int32_t* code);
// UTF-16 (length in units) to 8-bit text (UTF-8; size and length in bytes).
// A cut never splits a character.
int DATA_CopyOutA(const char16_t* src, int64_t length, int64_t available, int64_t total,
                  bool terminate, bool allowCut, char* dst, int64_t dstSize, int64_t* lenOut,
                  int32_t* code);
// 8-bit text (UTF-8, length in bytes) to UTF-16; size and length out in
// bytes. A buffer without room for a whole unit gets nothing, not even a
// terminator.
int DATA_CopyOutW(const char* src, int64_t length, int64_t available, int64_t total, bool terminate,
                  bool allowCut, char16_t* dst, int64_t dstSize, int64_t* lenOut, int32_t* code);
// UTF-16 to UTF-16; lengths and size in bytes. A cut never separates the two
// halves of a surrogate pair.
int DATA_CopyOutWide(const char16_t* src, int64_t length, int64_t available, int64_t total,
                     bool terminate, bool allowCut, char16_t* dst, int64_t dstSize, int64_t* lenOut,
                     int32_t* code);

// Value of a hexadecimal digit; 0 for any other character.
int HEX_Digit(char c);
// Writes digits / 2 bytes, two digits to a byte; a last odd digit is ignored.
void HEX_ToBin(uint8_t* dst, const char* hex, int64_t digits);

#endif
