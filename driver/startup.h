// Process attach and detach, the exports that are not ODBC entry points, the
// start-up message boxes and the driver's own setup settings.
#ifndef QMR_DRIVER_STARTUP_H
#define QMR_DRIVER_STARTUP_H

#include <cstddef>
#include <cstdint>

#include "drv_jdbc/drv_agent.h"

// Resource string ids.
enum : unsigned {
  kResCaption = 1,        // "Quillmar ODBC"
  kResInitFailed = 5,     // "Unable to initialize the ODBC layer."
  kResNeedsWin32 = 202,   // "The Quillmar ODBC driver requires Win32."
  kResFileName = 203,     // the library's file name (per build)
  kResDescription = 204,  // the driver's description (per build)
  kResVersion = 205,
  kResPlatform = 208,
};

// Per build (shlib/build_entry.cpp): the two strings that differ.
const char* DRV_BuildDescription();
const char* DRV_BuildFileName();
// True in the Unicode build. Its 8-bit entry points take UTF-8 text, and a
// connection opened through them is a Unicode connection all the same.
bool DRV_UnicodeBuild();

// 1, or 0 when attach fails; reason 1 attach, 0 detach.
int DRV_DllMain(void* module, unsigned reason);
int DRV_ProcessAttach(void* module);
void DRV_ProcessDetach();
void* DRV_ModuleHandle();

// 1 from attach (before the dispatcher starts) until detach; the agent reads
// and rewrites it.
extern uint32_t g_drvAttached;

// Owner of message boxes: -2 boxes without owner, 0 none at all, else the
// owner window.
intptr_t DRV_MessageBoxOwner();
void DRV_SetMessageBoxOwner(intptr_t owner);
int DRV_MessageBox(const char* text, const char* caption, unsigned style);
void DRV_ErrorBox(const char* text, unsigned style);
int DRV_CheckWindowsVersion();

// The process-wide agent record registered at attach.
DRV_Agent* DRV_GlobalAgent();

// Opens the log sink on the ODBC trace stream.
void DRV_OpenLogSinks();

// Reads a setup value below the driver's setup key; the byte count the
// store reported (its NUL counted), or the default's length when the value
// is missing or not text.
int REG_ReadValue(const char* subkey, const char* name, const char* dflt, char* buf, int size);

#endif
