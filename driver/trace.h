// The driver's trace files: the ODBC trace (mode 0), the XA trace (mode 1)
// and the OLE Transactions trace (mode 2). One lock serialises every line of
// all three; each line is flushed before the lock is released.
#ifndef QMR_DRIVER_TRACE_H
#define QMR_DRIVER_TRACE_H

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum : uint32_t { TRC_MODE_ODBC = 0, TRC_MODE_XA = 1, TRC_MODE_TPL = 2 };

// 0 no trace open, 1 traces go to standard error, 2 traces go to files.
enum : uint32_t { TRC_OFF = 0, TRC_STDERR = 1, TRC_FILES = 2 };

extern std::atomic<uint32_t> g_trcState;

inline uint32_t TRC_State() { return g_trcState.load(std::memory_order_acquire); }
inline bool TRC_Active() { return TRC_State() != TRC_OFF; }

#define QMR_TRC_PRINTF(f, a) __attribute__((format(printf, f, a)))

// Opens the trace of a mode when one is configured ($QMR_DEBUGFILE, else
// the registry value "DebugFile"); does nothing otherwise or on failure.
void TRC_Open(uint32_t mode);
// Writes the finish lines and closes the mode's stream (never stderr).
void TRC_Close(uint32_t mode);
// True while the mode's stream is open.
bool TRC_IsOpen(uint32_t mode);

// One line (a newline is added) into the ODBC stream.
void TRC_Printf(const char* fmt, ...) QMR_TRC_PRINTF(1, 2);
void TRC_VPrintf(const char* fmt, va_list ap);
// One line into the XA stream, prefixed with "[thread id] " when withTid.
void TRC_PrintfTid(uint32_t withTid, const char* fmt, ...) QMR_TRC_PRINTF(2, 3);
// One line into the OLE Transactions stream, always with the thread id.
void TRC_PrintfTid2(const char* fmt, ...) QMR_TRC_PRINTF(1, 2);
// A finished line (no newline) into a mode's stream, as given; for the log
// sink on the trace.
void TRC_WriteLine(uint32_t mode, const char* line);

// The configured trace name (environment, else registry); empty for none.
std::string TRC_ConfiguredName();
// The file name for a configured name and mode: macros $$ $H $P $T $U
// expanded, "-xa" / "-tpl" appended for modes 1 and 2.
std::string TRC_ExpandName(const char* name, uint32_t mode);

// A copy of text in which every password is replaced by asterisks: the value
// of a PWD or *PASSWORD keyword in any spelling the connection-string parser
// takes ("PWD =x", "pwd= x", "{PWD}=x"), and the password of a URL's
// user:password@. Every traced line goes through it; callers that put
// connection strings elsewhere may use it too.
std::string TRC_Mask(const char* text);
// The same in place: each character of such a value becomes '*'.
void TRC_MaskInPlace(char* text);
// The values the mask would hide, in the order they stand in the text.
std::vector<std::string> TRC_SecretValues(const char* text);

#endif
