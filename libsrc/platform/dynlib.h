// Shared libraries loaded at run time, and the file behind an address.
#ifndef QMR_PLATFORM_DYNLIB_H
#define QMR_PLATFORM_DYNLIB_H

#include <string>

namespace plat {

// Loads a library by name (searched as the dynamic loader does) or path,
// resolving all symbols now and keeping them local. Null on failure; the
// reason is then in dl_last_error().
void* dl_open(const char* name);
// Symbol of a loaded library; with lib == nullptr, the symbol as the process
// sees it globally (already loaded libraries). Null when absent.
void* dl_symbol(void* lib, const char* name);
bool dl_close(void* lib);
// The reason for the calling thread's last failed dl_* call ("" if none).
std::string dl_last_error();
// File path of the loaded module containing the address; "" when none.
std::string module_path_of(const void* address);

}  // namespace plat

#endif
