// Process and thread identity: ids, the user's name and the command line.
#ifndef QMR_PLATFORM_PROCINFO_H
#define QMR_PLATFORM_PROCINFO_H

#include <pthread.h>

#include <cstdint>
#include <string>

namespace plat {

uint32_t process_id();
// The kernel's id of the calling thread (what a trace line prints).
uint64_t thread_id();
// A number for the calling thread that costs no thread-local lookup (a
// shared library reaches its own thread-locals through a call): distinct
// among the threads alive, though a new thread may take one of a thread
// that ended. For marks that last while their thread is inside a call.
inline uint64_t thread_token() { return static_cast<uint64_t>(pthread_self()); }
// Login name of the effective user; empty when it cannot be found.
std::string user_name();
// The program's command line with its arguments joined by single spaces.
std::string command_line();

}  // namespace plat

#endif
