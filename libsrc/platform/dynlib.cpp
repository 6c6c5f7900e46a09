#include "platform/dynlib.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>

namespace plat {

namespace {

// dlerror() is consumed by its first reader; keep our own copy per thread so
// the text survives until the caller asks for it. A plain array: a
// thread-local object with a destructor would register an exit-time handler
// in every library that links this, and the driver must register none.
thread_local char t_last_error[512];

void set_error(const char* text) { std::snprintf(t_last_error, sizeof t_last_error, "%s", text); }

void note_error(const char* fallback) {
  const char* e = dlerror();
  set_error(e ? e : fallback);
}

}  // namespace

void* dl_open(const char* name) {
  if (!name || !*name) {
    set_error("no library name");
    return nullptr;
  }
  dlerror();
  void* h = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (!h) note_error("cannot load library");
  return h;
}

void* dl_symbol(void* lib, const char* name) {
  if (!name) {
    set_error("no symbol name");
    return nullptr;
  }
  dlerror();
  void* p = dlsym(lib ? lib : RTLD_DEFAULT, name);
  if (!p) note_error("symbol not found");
  return p;
}

bool dl_close(void* lib) {
  if (!lib) return false;
  dlerror();
  if (dlclose(lib) != 0) {
    note_error("cannot close library");
    return false;
  }
  return true;
}

std::string dl_last_error() { return t_last_error; }

std::string module_path_of(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (!address || dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0)
    return {};
  // The loader names the main program after argv[0], which may be relative
  // or bare; the kernel knows its real path.
  if (map && !map->l_prev) {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) return std::string(buf, static_cast<size_t>(n));
  }
  return info.dli_fname ? info.dli_fname : "";
}

}  // namespace plat
