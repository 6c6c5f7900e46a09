// Loading and calling the login-dialog library.
#include "driver/login.h"

#include <dlfcn.h>

#include <cstdint>

#include "platform/lock.h"
#include "util/log.h"

namespace {

// dlerror() of the failed call just made (the platform layer's own record of
// it is thread-local and would register an exit-time destructor).
std::string LastDlError() {
  const char* e = dlerror();
  return e != nullptr ? e : "unknown error";
}

constexpr const char* kDefaultName = "libuidlg32w.so";

typedef int32_t (*QmrLOGIN_t)(void* window, const char* driver, const char* connStr, char** result,
                              int mode);
typedef void (*QmrLOGIN_Free_t)(char* result);

plat::Mutex gLock;
std::string& gName GUARDED_BY(gLock) = *new std::string(kDefaultName);  // never destroyed
void* gModule GUARDED_BY(gLock) = nullptr;                              // never unloaded

}  // namespace

void LOGIN_SetLibraryName(const char* name) {
  plat::Guard<plat::Mutex> g(gLock);
  gName = name != nullptr ? name : kDefaultName;
  gModule = nullptr;
}

LoginOutcome LOGIN_Prompt(void* window, const char* driver, const char* connStr, int mode,
                          std::string* out, std::string* why) {
  void* module = nullptr;
  std::string name;
  {
    plat::Guard<plat::Mutex> g(gLock);
    if (gModule == nullptr) gModule = dlopen(gName.c_str(), RTLD_NOW | RTLD_LOCAL);
    module = gModule;
    name = gName;
  }
  if (module == nullptr) {
    *why = "Unable to load the login dialog " + name + ": " + LastDlError();
    LOG_AT(LOG_LEVEL_ERROR, "%s", why->c_str());
    return LoginOutcome::Unavailable;
  }
  auto login = reinterpret_cast<QmrLOGIN_t>(dlsym(module, "QmrLOGIN"));
  auto release = reinterpret_cast<QmrLOGIN_Free_t>(dlsym(module, "QmrLOGIN_Free"));
  if (login == nullptr || release == nullptr) {
    *why = "The login dialog " + name + " lacks QmrLOGIN or QmrLOGIN_Free";
    LOG_AT(LOG_LEVEL_ERROR, "%s", why->c_str());
    return LoginOutcome::Unavailable;
  }
  char* result = nullptr;
  const int32_t rc = login(window, driver, connStr, &result, mode);
  const bool ok = rc == 1 && result != nullptr;
  if (ok) *out = result;
  release(result);
  return ok ? LoginOutcome::Confirmed : LoginOutcome::Cancelled;
}
