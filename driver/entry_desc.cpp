// Entry points: descriptor fields and records.
#include "driver/api.h"
#include "driver/calldescs.h"

QMR_EXPORT SQLRETURN SQL_API SQLGetDescField(SQLHDESC desc, SQLSMALLINT record, SQLSMALLINT field,
                                             SQLPOINTER value, SQLINTEGER size,
                                             SQLINTEGER* length) {
  return CallODBC(&CD_GetDescField, desc, record, field, value, size, length, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC desc, SQLSMALLINT record, SQLSMALLINT field,
                                              SQLPOINTER value, SQLINTEGER size,
                                              SQLINTEGER* length) {
  return CallODBC(&CD_GetDescFieldW, desc, record, field, value, size, length, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetDescField(SQLHDESC desc, SQLSMALLINT record, SQLSMALLINT field,
                                             SQLPOINTER value, SQLINTEGER length) {
  return CallODBC(&CD_SetDescField, desc, record, field, value, length, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC desc, SQLSMALLINT record, SQLSMALLINT field,
                                              SQLPOINTER value, SQLINTEGER length) {
  return CallODBC(&CD_SetDescFieldW, desc, record, field, value, length, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetDescRec(SQLHDESC desc, SQLSMALLINT record, SQLCHAR* name,
                                           SQLSMALLINT size, SQLSMALLINT* length, SQLSMALLINT* type,
                                           SQLSMALLINT* subType, SQLLEN* octets,
                                           SQLSMALLINT* precision, SQLSMALLINT* scale,
                                           SQLSMALLINT* nullable) {
  return CallODBC(&CD_GetDescRec, desc, record, name, size, length, type, subType, octets,
                  precision, scale, nullable, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC desc, SQLSMALLINT record, SQLWCHAR* name,
                                            SQLSMALLINT size, SQLSMALLINT* length,
                                            SQLSMALLINT* type, SQLSMALLINT* subType, SQLLEN* octets,
                                            SQLSMALLINT* precision, SQLSMALLINT* scale,
                                            SQLSMALLINT* nullable) {
  return CallODBC(&CD_GetDescRecW, desc, record, name, size, length, type, subType, octets,
                  precision, scale, nullable, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetDescRec(SQLHDESC desc, SQLSMALLINT record, SQLSMALLINT type,
                                           SQLSMALLINT subType, SQLLEN octets,
                                           SQLSMALLINT precision, SQLSMALLINT scale,
                                           SQLPOINTER data, SQLLEN* length, SQLLEN* indicator) {
  return CallODBC(&CD_SetDescRec, desc, record, type, subType, octets, precision, scale, data,
                  length, indicator);
}

QMR_EXPORT SQLRETURN SQL_API SQLCopyDesc(SQLHDESC source, SQLHDESC target) {
  return CallODBC(&CD_CopyDesc, source, target);
}
