// The ODBC installer library (unixODBC's libodbcinst.so.2), loaded by name on
// the first call that needs it and never linked: the driver must load in a
// process whose Driver Manager brought no installer, and must never capture
// or export the installer's own entry points. Each forwarder looks its
// function up at every call; a missing library or function is told to the
// user (message box) and the call yields nothing (0).
#ifndef QMR_DRIVER_ODBCINST_H
#define QMR_DRIVER_ODBCINST_H

#include <cstdint>
#include <string>

// The forwarders: the installer's signatures under names of the driver's own.
int INST_GetPrivateProfileString(const char* section, const char* key, const char* dflt, char* buf,
                                 int size, const char* file);
int INST_GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                  const char16_t* dflt, char16_t* buf, int size,
                                  const char16_t* file);
int INST_ReadFileDSN(const char* file, const char* app, const char* key, char* buf, uint16_t size,
                     uint16_t* len);
int INST_ReadFileDSNW(const char16_t* file, const char16_t* app, const char16_t* key, char16_t* buf,
                      uint16_t size, uint16_t* len);

// The function of the installer by name, loading the library first when
// needed; null (after the message box) when the library or the function is
// missing.
void* INST_GetProc(const char* name);
// Loads the installer library; its handle, or null.
void* INST_LoadInstaller();

// The library's file name (default "libodbcinst.so.2"). Setting another name
// forgets the loaded module (it stays mapped), so the next call loads anew;
// null restores the default. For tests.
void INST_SetLibraryName(const char* name);
std::string INST_LibraryName();

#endif
