// Text values of the option and information calls: application text in
// (8-bit, or UTF-16 from the W entry points) and answers out into the
// application's buffer, cut on a character boundary and terminated.
#ifndef QMR_DRIVER_CONNOPT_TEXT_H
#define QMR_DRIVER_CONNOPT_TEXT_H

#include <cstdint>
#include <string>

// How a text crosses into the driver.
enum class TextIn {
  Agent,   // to the agent: the JNI form of UTF-8 (a surrogate encoded alone)
  Stored,  // kept by the driver: standard UTF-8
};

// Reads the application's text at `value`: `length` in bytes, or SQL_NTS
// for a terminated text; mode 'W' reads UTF-16 (length / 2 units). False
// (and *code set) for a negative length other than SQL_NTS (ERR_INVALID_LENGTH)
// or when memory runs out (ERR_NO_MEMORY). A null value gives an empty text.
bool OPT_ReadText(const void* value, int64_t length, int mode, TextIn form, std::string* out,
                  int32_t* code);

// Writes `text` (UTF-8) into the buffer of `size` bytes: mode 'W' as UTF-16
// (size / 2 units). *full receives the whole text's length in bytes (UTF-16
// bytes in mode 'W') when full is given. Returns 0 when the text fit or when
// there is no buffer, 1 when it was cut (never inside a character; a buffer
// with room for no more than the terminator gets just the terminator; a size
// of 0 gets nothing).
int OPT_WriteText(const std::string& text, void* buf, int64_t size, int mode, int64_t* full);

#endif
