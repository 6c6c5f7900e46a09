// Signal dispositions: which handler the process has for a signal, asked
// without changing it.
#ifndef QMR_PLATFORM_SIGNALS_H
#define QMR_PLATFORM_SIGNALS_H

#include <cstdint>

namespace plat {

// The handler the process runs for `sig` now, as an address; 0 for the
// default action or when the signal cannot be asked about, 1 when it is
// ignored. One system call.
uintptr_t signal_handler_of(int sig);

// "SIGSEGV", "SIGBUS" ...; "signal <n>" for others (static text, or a text
// of the calling thread that the next call replaces).
const char* signal_name(int sig);

}  // namespace plat

#endif
