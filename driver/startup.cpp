// Start-up and shutdown of the driver, and the exports beside the ODBC API.
#include "driver/startup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "driver/api.h"
#include "driver/dispatch.h"
#include "driver/dsn.h"
#include "driver/trace.h"
#include "driver/xa_layer.h"
#include "platform/msgbox.h"
#include "platform/registry.h"
#include "platform/resstr.h"
#include "proxy/register.h"
#include "util/log.h"

uint32_t g_drvAttached = 0;

namespace {

void* gModule = nullptr;
intptr_t gMsgOwner = -2;
DRV_Agent gAgent{};
LOG_SINK* gTraceSink = nullptr;

constexpr int kLogLevel = LOG_LEVEL_DEBUG;  // the build's log level

const plat::StringEntry kCoreStrings[] = {
    {kResCaption, "Quillmar ODBC"},
    {kResInitFailed, "Unable to initialize the ODBC layer."},
    {kResNeedsWin32, "The Quillmar ODBC driver requires Win32."},
    {kResVersion, "1.1"},
    {kResPlatform, "WIN32"},
};

plat::StringEntry gBuildStrings[2];

// The string table is needed by the setup exports too, which a process may
// call without the driver having been attached.
void registerStrings() {
  static std::once_flag once;
  std::call_once(once, [] {
    plat::register_string_table(kCoreStrings, sizeof kCoreStrings / sizeof kCoreStrings[0]);
    gBuildStrings[0] = {kResFileName, DRV_BuildFileName()};
    gBuildStrings[1] = {kResDescription, DRV_BuildDescription()};
    plat::register_string_table(gBuildStrings, 2);
  });
}

void traceSinkEmit(LOG_SINK*, int, const char* text) { TRC_WriteLine(TRC_MODE_ODBC, text); }

void logMessageBox(const char* line) {
  log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "%s", line);
}

void closeLogSink() {
  if (gTraceSink == nullptr) return;
  log_close_sink(gTraceSink);
  std::free(gTraceSink);
  gTraceSink = nullptr;
}

}  // namespace

bool DRV_UnicodeBuild() {
  // The description is the build's own word for what it is.
  static const bool unicode = std::strstr(DRV_BuildDescription(), "(Unicode)") != nullptr;
  return unicode;
}

void* DRV_ModuleHandle() { return gModule; }
DRV_Agent* DRV_GlobalAgent() { return &gAgent; }
intptr_t DRV_MessageBoxOwner() { return gMsgOwner; }
void DRV_SetMessageBoxOwner(intptr_t owner) { gMsgOwner = owner; }

int DRV_CheckWindowsVersion() {
  // Every system this builds on offers what the driver needs.
  return 0;
}

int DRV_MessageBox(const char* text, const char* caption, unsigned style) {
  if (gMsgOwner == 0) return 0;
  return plat::message_box(gMsgOwner, text, caption, style);
}

void DRV_ErrorBox(const char* text, unsigned style) {
  registerStrings();
  char caption[200];
  plat::load_string(kResCaption, caption, sizeof caption);
  DRV_MessageBox(text, caption, style);
}

void DRV_OpenLogSinks() {
  // Without a trace file the log goes nowhere: the application's standard
  // error is not the driver's to write on.
  if (kLogLevel < 0 || gTraceSink != nullptr || !TRC_Active()) return;
  gTraceSink = log_sink_new(traceSinkEmit, nullptr, kLogLevel, 0xFFFFFFFFu,
                            LOG_OPT_DAYHEADER | LOG_OPT_TIME);
}

int DRV_ProcessAttach(void* module) {
  if (g_drvAttached != 0 && DRV_CallsReady()) return 1;
  gModule = module;
  registerStrings();
  plat::set_message_box_logger(logMessageBox);
  char text[200];
  if (DRV_CheckWindowsVersion() == -1) {
    plat::load_string(kResNeedsWin32, text, sizeof text);
    DRV_ErrorBox(text, plat::kMbIconExclamation);
    return 0;
  }
  g_drvAttached = 1;
  if (DRV_InitCalls() == -1) {
    plat::load_string(kResInitFailed, text, sizeof text);
    DRV_ErrorBox(text, plat::kMbIconExclamation);
    return 0;
  }
  DRV_RegisterAgent(&gAgent);
  TRC_Open(TRC_MODE_ODBC);
  DRV_OpenLogSinks();
  return 1;
}

// Runs from the library's unload hook, which exit() reaches only after the
// library's static objects were destroyed: everything reached from here is
// either trivially destructible or made once and never destroyed.
void DRV_ProcessDetach() {
  DRV_DoneCalls();
  closeLogSink();
  TRC_Close(TRC_MODE_ODBC);
  DRV_ForgetJarDir();
  DRV_GetXaLayer().shutdown();
  g_drvAttached = 0;
}

int DRV_DllMain(void* module, unsigned reason) {
  switch (reason) {
    case 1: return DRV_ProcessAttach(module);
    case 0: DRV_ProcessDetach(); return 1;
    default: return 1;
  }
}

int REG_ReadValue(const char* subkey, const char* name, const char* dflt, char* buf, int size) {
  if (buf == nullptr || size <= 0) return 0;
  char setupKey[512];
  GetSetupRegistry(setupKey, sizeof setupKey);
  const std::string key = std::string(setupKey) + "\\" + (subkey != nullptr ? subkey : "");
  std::string value;
  // The value must fit in size - 1 bytes with its NUL, as the registry read
  // allows; anything else falls back to the default.
  if (name != nullptr &&
      plat::reg_read_string(plat::reg_key(plat::kHKeyLocalMachine, key.c_str()), name, value) &&
      static_cast<int64_t>(value.size()) + 1 <= size - 1) {
    std::memcpy(buf, value.c_str(), value.size() + 1);
    return static_cast<int>(value.size()) + 1;
  }
  const char* d = dflt != nullptr ? dflt : "";
  std::snprintf(buf, static_cast<size_t>(size), "%s", d);
  return static_cast<int>(std::strlen(buf));
}

// ---------------------------------------------------------------------------
// Exports beside the ODBC API.

QMR_EXPORT int LibMain(void* module) { return DRV_ProcessAttach(module) != 0 ? 1 : 0; }

QMR_EXPORT int WEP(int) {
  DRV_ProcessDetach();
  return 1;
}

QMR_EXPORT int GetSetupDatabase(char* buffer, int size) {
  registerStrings();
  if (buffer != nullptr && size > 0) plat::load_string(kResDescription, buffer, size);
  return 1;
}

QMR_EXPORT int GetSetupRegistry(char* buffer, int size) {
  registerStrings();
  if (buffer == nullptr || size <= 0) return 1;
  char description[129];
  plat::load_string(kResDescription, description, sizeof description);
  std::snprintf(buffer, static_cast<size_t>(size), "SOFTWARE\\Quillmar Software\\%s", description);
  return 1;
}
