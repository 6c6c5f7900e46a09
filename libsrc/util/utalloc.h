// Allocation that never returns null, the process's fatal exit, and two
// small helpers of the fatal path (error texts, copy returning its end).
#ifndef QMR_UTIL_UTALLOC_H
#define QMR_UTIL_UTALLOC_H

#include <cstdint>

// Zero-filled block of count x size bytes; a request for nothing (either
// factor 0) still gives a distinct, freeable one-byte block. When memory runs
// out (an overflowing product counts as that) the process logs one line and
// ends with status 1. Release with free().
void* s_alloc(uint64_t count, uint64_t size);
// realloc that ends the process when memory runs out. A size of 0 keeps a
// one-byte block rather than freeing, so the result is always usable.
void* s_realloc(void* p, uint64_t size);
// Copy of a NUL-terminated string in memory from s_alloc.
char* s_strdup(const char* s);

// Pauses on a console opened for this process, then exits (atexit handlers run).
[[noreturn]] void util_exit(int32_t status);
void console_pause();
// Decides whether util_exit should pause: only when standard input and
// standard output are both terminals of a usable size.
void console_check();
bool console_flag();

// Text of an errno value. Known numbers give the C library's (untranslated)
// text; others give "Unknown error %u" in a buffer of the calling thread that
// its next such call overwrites.
const char* util_strerror(int32_t e);
// Count of error numbers the C library has texts for (numbers 0 to count-1).
int32_t util_error_count();

// Copies src with its NUL into dst and returns the address of that NUL.
char* str_copy_to_end(char* dst, const char* src);

#endif
