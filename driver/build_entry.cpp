// The part of the driver that differs between the two builds (compiled once
// per library with QMR_UNICODE set): the driver's description and file
// name, and the hooks that run when the library is loaded and unloaded.
#include <dlfcn.h>

#include "driver/startup.h"

#ifndef QMR_UNICODE
#error "QMR_UNICODE must be 0 or 1"
#endif

const char* DRV_BuildDescription() {
#if QMR_UNICODE
  return "Quillmar Informix Driver (Velkaro)(Unicode)";
#else
  return "Quillmar Informix Driver (Velkaro)";
#endif
}

const char* DRV_BuildFileName() {
#if QMR_UNICODE
  return "libxbifxu.so";
#else
  return "libxbifx.so";
#endif
}

namespace {

void* moduleBase() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&moduleBase), &info) != 0) return info.dli_fbase;
  return nullptr;
}

__attribute__((constructor)) void driverLoaded() { DRV_DllMain(moduleBase(), 1); }

__attribute__((destructor)) void driverUnloaded() { DRV_DllMain(moduleBase(), 0); }

}  // namespace
