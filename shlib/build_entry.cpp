// The part of the driver that differs between the two builds (compiled once
// per library with QMR_UNICODE set): the driver's description and file
// name, and the hooks that run when the library is loaded and unloaded.
// The top of each library: the one place that sees both the core and the
// distributed-transaction layer above it.
#include <dlfcn.h>

#include "driver/startup.h"
#include "driver/xa_layer.h"
#include "xa/rd_dispenser.h"

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

__attribute__((constructor)) void driverLoaded() {
  DRV_SetXaLayer(XA_CoreLayer());
  DRV_DllMain(moduleBase(), 1);
}

// The latest point of the process: exit() runs the application's exit
// handlers (also those registered before the library was loaded, which may
// still free their handles) and the destructors of the library's static
// objects first. Detach is kept here rather than registered as an exit
// handler of its own at load, which would shut the driver down under the
// feet of such an application handler; in exchange the library keeps no
// object that exit() destroys (tests/load checks the imports).
__attribute__((destructor)) void driverUnloaded() { DRV_DllMain(moduleBase(), 0); }

}  // namespace
