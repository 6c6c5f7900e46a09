// Process and thread identity: ids, the user's name and the command line.
#ifndef QMR_PLATFORM_PROCINFO_H
#define QMR_PLATFORM_PROCINFO_H

#include <cstdint>
#include <string>

namespace plat {

uint32_t process_id();
// The kernel's id of the calling thread (what a trace line prints).
uint64_t thread_id();
// Login name of the effective user; empty when it cannot be found.
std::string user_name();
// The program's command line with its arguments joined by single spaces.
std::string command_line();

}  // namespace plat

#endif
