// The configuration outside the connection string: a data source's stored
// values (its odbc.ini section, a file data source, or the "Default"
// section), read through the ODBC installer library into the keyword table
// of driver/connstr.h; the driver a data source names; and, at start-up, the
// directory of the Java archives from the maker's registry key. Nothing here
// writes odbc.ini or the registry.
#ifndef QMR_DRIVER_DSN_H
#define QMR_DRIVER_DSN_H

#include <string>

#include "driver/connstr.h"

// Clears the keyword table; with a string, puts its pairs into the table and
// reads every row that the string did not supply and that has a value name
// from exactly one source: the DSN's section (UID falls back to LastUser),
// else the "ODBC" section of the FILEDSN file (under the keyword itself),
// else the "Default" section. Stored values are read whole, however long.
// mode 'W' reads through the installer's UTF-16 calls.
void DSN_ReadSettings(const char* text, int mode) REQUIRES(DRV_ConnectLock());

// One value of an odbc.ini section ("" when absent), read whole.
std::string DSN_ReadValue(const std::string& section, const char* key, int mode);
// One key of the "ODBC" section of a file data source ("" when absent).
std::string DSN_ReadFileValue(const std::string& file, const char* key, int mode);

// The description of the driver that the list of data sources gives for the
// table's DSN (the section "ODBC Data Sources"), else the Driver value of the
// DSN's own section; empty when neither names one.
std::string DSN_GetDriverName(int mode) REQUIRES(DRV_ConnectLock());

// Reads the archive directory (KXLibs, else InstallDir + "jre/lib/") of the
// maker's key and keeps it for DRV_JarDir; returns 1.
int DRV_FindJarDir();
// The archive directory last found, ending in '/' (empty when none was
// found, or before the first DRV_FindJarDir). The connect path hands it to
// the agent's DRV_Init. Written and read only under the connect lock, and
// by process detach.
const std::string& DRV_JarDir();
// Forgets the directory (process detach).
void DRV_ForgetJarDir();

#endif
