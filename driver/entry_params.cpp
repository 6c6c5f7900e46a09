// Entry points: parameters and data at execution.
#include "driver/api.h"
#include "driver/calldescs.h"

QMR_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number,
                                              SQLSMALLINT ioType, SQLSMALLINT cType,
                                              SQLSMALLINT sqlType, SQLULEN columnSize,
                                              SQLSMALLINT digits, SQLPOINTER value, SQLLEN size,
                                              SQLLEN* indicator) {
  return CallODBC(&CD_BindParameter, stmt, number, ioType, cType, sqlType, columnSize, digits,
                  value, size, indicator);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetParam(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT cType,
                                         SQLSMALLINT sqlType, SQLULEN columnSize,
                                         SQLSMALLINT digits, SQLPOINTER value, SQLLEN* indicator) {
  return CallODBC(&CD_SetParam, stmt, number, cType, sqlType, columnSize, digits, value, indicator);
}

QMR_EXPORT SQLRETURN SQL_API SQLParamData(SQLHSTMT stmt, SQLPOINTER* value) {
  return CallODBC(&CD_ParamData, stmt, value);
}

QMR_EXPORT SQLRETURN SQL_API SQLPutData(SQLHSTMT stmt, SQLPOINTER data, SQLLEN length) {
  return CallODBC(&CD_PutData, stmt, data, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT stmt, SQLUSMALLINT number,
                                              SQLSMALLINT* sqlType, SQLULEN* columnSize,
                                              SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return CallODBC(&CD_DescribeParam, stmt, number, sqlType, columnSize, digits, nullable);
}

QMR_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count) {
  return CallODBC(&CD_NumParams, stmt, count);
}

QMR_EXPORT SQLRETURN SQL_API SQLParamOptions(SQLHSTMT stmt, SQLULEN rows, SQLULEN* processed) {
  return CallODBC(&CD_ParamOptions, stmt, rows, processed);
}
