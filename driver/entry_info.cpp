// Entry points: information about the driver and the data source.
#include "driver/api.h"
#include "driver/calldescs.h"

QMR_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                        SQLSMALLINT size, SQLSMALLINT* length) {
  return CallODBC(&CD_GetInfo, dbc, type, value, size, length, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                         SQLSMALLINT size, SQLSMALLINT* length) {
  return CallODBC(&CD_GetInfoW, dbc, type, value, size, length, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetFunctions(SQLHDBC dbc, SQLUSMALLINT function,
                                             SQLUSMALLINT* exists) {
  return CallODBC(&CD_GetFunctions, dbc, function, exists);
}
