// The ODBC interface as the exported entry points see it: unixODBC's types
// and prototypes, and the mark that exports a definition (the version script
// of each build then decides which marked names leave the library).
#ifndef QMR_DRIVER_API_H
#define QMR_DRIVER_API_H

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>

#define QMR_EXPORT extern "C" __attribute__((visibility("default")))

// Exports beside the ODBC API.
QMR_EXPORT int LibMain(void* module);
QMR_EXPORT int WEP(int code);
QMR_EXPORT int GetSetupDatabase(char* buffer, int size);
QMR_EXPORT int GetSetupRegistry(char* buffer, int size);

static_assert(sizeof(SQLWCHAR) == 2, "UTF-16 units at the ODBC boundary");
static_assert(sizeof(SQLLEN) == 8, "64-bit ODBC");

#endif
