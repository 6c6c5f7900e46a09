// Entry points: describing, binding and fetching results.
#include "driver/api.h"
#include "driver/calldescs.h"
#include "driver/wide.h"
#include "util/errcodes.h"

QMR_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count) {
  return CallODBC(&CD_NumResultCols, stmt, count);
}

QMR_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLCHAR* name,
                                            SQLSMALLINT size, SQLSMALLINT* length,
                                            SQLSMALLINT* sqlType, SQLULEN* columnSize,
                                            SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return CallODBC(&CD_DescribeCol, stmt, column, name, size, length, sqlType, columnSize, digits,
                  nullable);
}

QMR_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT stmt, SQLUSMALLINT column, SQLWCHAR* name,
                                             SQLSMALLINT size, SQLSMALLINT* length,
                                             SQLSMALLINT* sqlType, SQLULEN* columnSize,
                                             SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  WideOut result(name, size, length != nullptr, WideOut::Kind::Small, WideOut::Flavour::Repeatable);
  if (result.badCapacity()) return CallODBCRefuse(&CD_DescribeColW, ERR_INVALID_LENGTH, stmt);
  const SQLRETURN rc = result.run(&CD_DescribeColW, stmt, [&](const DRV_Post* post) {
    return CallODBCPost(&CD_DescribeColW, post, stmt, column, result.buffer(),
                        static_cast<int>(result.size()), result.smallLength(), sqlType, columnSize,
                        digits, nullable);
  });
  if (length != nullptr && result.units() >= 0) *length = DRV_ClampSmall(result.units());
  return rc;
}

QMR_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                             SQLPOINTER text, SQLSMALLINT size, SQLSMALLINT* length,
                                             SQLLEN* number) {
  return CallODBC(&CD_ColAttribute, stmt, column, field, text, size, length, number, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT stmt, SQLUSMALLINT column,
                                              SQLUSMALLINT field, SQLPOINTER text, SQLSMALLINT size,
                                              SQLSMALLINT* length, SQLLEN* number) {
  return CallODBC(&CD_ColAttributeW, stmt, column, field, text, size, length, number, kWidthWide);
}

// The ODBC 2 form; exported by neither build (the Driver Manager maps it).
QMR_EXPORT SQLRETURN SQL_API SQLColAttributes(SQLHSTMT stmt, SQLUSMALLINT column,
                                              SQLUSMALLINT field, SQLPOINTER text, SQLSMALLINT size,
                                              SQLSMALLINT* length, SQLLEN* number) {
  return CallODBC(&CD_ColAttributes, stmt, column, field, text, size, length, number, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLColAttributesW(SQLHSTMT stmt, SQLUSMALLINT column,
                                               SQLUSMALLINT field, SQLPOINTER text,
                                               SQLSMALLINT size, SQLSMALLINT* length,
                                               SQLLEN* number) {
  return CallODBC(&CD_ColAttributesW, stmt, column, field, text, size, length, number, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                                        SQLPOINTER value, SQLLEN size, SQLLEN* indicator) {
  return CallODBC(&CD_BindCol, stmt, column, cType, value, size, indicator);
}

QMR_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt) { return CallODBC(&CD_Fetch, stmt); }

QMR_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT stmt, SQLSMALLINT orientation, SQLLEN offset) {
  return CallODBC(&CD_FetchScroll, stmt, orientation, offset);
}

QMR_EXPORT SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT stmt, SQLUSMALLINT orientation,
                                              SQLLEN offset, SQLULEN* rows,
                                              SQLUSMALLINT* statuses) {
  return CallODBC(&CD_ExtendedFetch, stmt, orientation, offset, rows, statuses);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                                        SQLPOINTER value, SQLLEN size, SQLLEN* indicator) {
  return CallODBC(&CD_GetData, stmt, column, cType, value, size, indicator);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetPos(SQLHSTMT stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                                       SQLUSMALLINT lock) {
  return CallODBC(&CD_SetPos, stmt, row, operation, lock);
}

QMR_EXPORT SQLRETURN SQL_API SQLBulkOperations(SQLHSTMT stmt, SQLSMALLINT operation) {
  return CallODBC(&CD_BulkOperations, stmt, operation);
}
