// Late binding of the ODBC installer library.
#include "driver/odbcinst.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <string>
#include <unordered_map>

#include "driver/startup.h"
#include "platform/lock.h"
#include "util/log.h"

namespace {

// dlerror() of the failed call just made (the platform layer's own record of
// it is thread-local and would register an exit-time destructor).
std::string LastDlError() {
  const char* e = dlerror();
  return e != nullptr ? e : "unknown error";
}

constexpr const char* kDefaultName = "libodbcinst.so.2";
constexpr const char* kCaption = "ODBC Installer Error";
constexpr unsigned kIconInformation = 64;

// The module is written once per successful load; the connect path holds the
// connect lock, but the distributed-transaction code reads values too.
plat::Mutex gLock;
void* gModule GUARDED_BY(gLock) = nullptr;
// Never destroyed: nothing of the library runs at exit.
std::string& gName GUARDED_BY(gLock) = *new std::string(kDefaultName);
// The functions found in gModule by name: every connect reads a dozen
// values, and a symbol search per value cost more than the read.
std::unordered_map<std::string, void*>& gProcs GUARDED_BY(gLock) =
    *new std::unordered_map<std::string, void*>();

std::string LoadedPath(void* module) {
  struct link_map* map = nullptr;
  if (module != nullptr && dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr &&
      map->l_name != nullptr && map->l_name[0] != '\0') {
    return map->l_name;
  }
  return INST_LibraryName();
}

std::string ProgramPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "?";
  buf[n] = '\0';
  return buf;
}

template <class Fn>
Fn Proc(const char* name) {
  return reinterpret_cast<Fn>(INST_GetProc(name));
}

}  // namespace

void* INST_LoadInstaller() {
  std::string name;
  {
    plat::Guard<plat::Mutex> g(gLock);
    name = gName;
  }
  void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "%s", LastDlError().c_str());
  }
  return h;
}

void* INST_GetProc(const char* name) {
  void* module = nullptr;
  {
    plat::Guard<plat::Mutex> g(gLock);
    module = gModule;
    if (module != nullptr) {
      auto it = gProcs.find(name);
      if (it != gProcs.end()) return it->second;
    }
  }
  if (module == nullptr) {
    module = INST_LoadInstaller();
    if (module == nullptr) {
      const std::string text =
          "The ODBC installer DLL (" + INST_LibraryName() + ") is not installed on this system.";
      DRV_MessageBox(text.c_str(), kCaption, kIconInformation);
      return nullptr;
    }
    plat::Guard<plat::Mutex> g(gLock);
    if (gModule == nullptr) gModule = module;
  }
  void* fn = dlsym(module, name);
  if (fn != nullptr) {
    plat::Guard<plat::Mutex> g(gLock);
    if (gModule == module) gProcs.emplace(name, fn);
  }
  if (fn == nullptr) {
    const std::string text = "The program " + ProgramPath() +
                             ", or one of its DLLs attempted to call the function " + name +
                             " which is not supported in the loaded ODBC installer DLL (" +
                             LoadedPath(module) + ").  Press OK to proceed.";
    DRV_MessageBox(text.c_str(), kCaption, kIconInformation);
  }
  return fn;
}

void INST_SetLibraryName(const char* name) {
  plat::Guard<plat::Mutex> g(gLock);
  gName = name != nullptr ? name : kDefaultName;
  gModule = nullptr;  // never unloaded: a caller may still hold one of its functions
  gProcs.clear();
}

std::string INST_LibraryName() {
  plat::Guard<plat::Mutex> g(gLock);
  return gName;
}

// ---------------------------------------------------------------------------
// Forwarders.

int INST_GetPrivateProfileString(const char* section, const char* key, const char* dflt, char* buf,
                                 int size, const char* file) {
  using Fn = int (*)(const char*, const char*, const char*, char*, int, const char*);
  Fn fn = Proc<Fn>("SQLGetPrivateProfileString");
  return fn != nullptr ? fn(section, key, dflt, buf, size, file) : 0;
}

int INST_GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                  const char16_t* dflt, char16_t* buf, int size,
                                  const char16_t* file) {
  using Fn =
      int (*)(const char16_t*, const char16_t*, const char16_t*, char16_t*, int, const char16_t*);
  Fn fn = Proc<Fn>("SQLGetPrivateProfileStringW");
  return fn != nullptr ? fn(section, key, dflt, buf, size, file) : 0;
}

int INST_ReadFileDSN(const char* file, const char* app, const char* key, char* buf, uint16_t size,
                     uint16_t* len) {
  using Fn = int (*)(const char*, const char*, const char*, char*, uint16_t, uint16_t*);
  Fn fn = Proc<Fn>("SQLReadFileDSN");
  return fn != nullptr ? fn(file, app, key, buf, size, len) : 0;
}

int INST_ReadFileDSNW(const char16_t* file, const char16_t* app, const char16_t* key, char16_t* buf,
                      uint16_t size, uint16_t* len) {
  using Fn =
      int (*)(const char16_t*, const char16_t*, const char16_t*, char16_t*, uint16_t, uint16_t*);
  Fn fn = Proc<Fn>("SQLReadFileDSNW");
  return fn != nullptr ? fn(file, app, key, buf, size, len) : 0;
}
