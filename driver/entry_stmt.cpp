// Entry points: preparing and executing statements, cursors, statement
// options and attributes.
#include "driver/api.h"
#include "driver/calldescs.h"
#include "driver/stmt.h"
#include "driver/wide.h"
#include "util/errcodes.h"

QMR_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* sql, SQLINTEGER length) {
  NarrowIn text(sql, length, TextCheck::Refuse);
  if (int32_t code = text.refusal()) return CallODBCRefuse(&CD_Prepare, code, stmt);
  return CallODBC(&CD_Prepare, stmt, text.text(), text.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* sql, SQLINTEGER length) {
  WideIn text(sql, length, TextCheck::Refuse);
  if (int32_t code = text.refusal()) return CallODBCRefuse(&CD_PrepareW, code, stmt);
  return CallODBC(&CD_PrepareW, stmt, text.text(), text.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* sql, SQLINTEGER length) {
  NarrowIn text(sql, length, TextCheck::Refuse);
  if (int32_t code = text.refusal()) return CallODBCRefuse(&CD_ExecDirect, code, stmt);
  return CallODBC(&CD_ExecDirect, stmt, text.text(), text.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* sql, SQLINTEGER length) {
  WideIn text(sql, length, TextCheck::Refuse);
  if (int32_t code = text.refusal()) return CallODBCRefuse(&CD_ExecDirectW, code, stmt);
  return CallODBC(&CD_ExecDirectW, stmt, text.text(), text.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) { return CallODBC(&CD_Execute, stmt); }

QMR_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt) {
  return CallODBC(&CD_CloseCursor, stmt);
}

QMR_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt) {
  return CallODBC(&CD_MoreResults, stmt);
}

QMR_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* count) {
  return CallODBC(&CD_RowCount, stmt, count);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT size,
                                              SQLSMALLINT* length) {
  return CallODBC(&CD_GetCursorName, stmt, name, size, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT size,
                                               SQLSMALLINT* length) {
  WideOut result(name, size, length != nullptr, WideOut::Kind::Small, WideOut::Flavour::Repeatable);
  if (result.badCapacity()) return CallODBCRefuse(&CD_GetCursorNameW, ERR_INVALID_LENGTH, stmt);
  const SQLRETURN rc = result.run(&CD_GetCursorNameW, stmt, [&](const DRV_Post* post) {
    return CallODBCPost(&CD_GetCursorNameW, post, stmt, result.buffer(),
                        static_cast<int>(result.size()), result.smallLength());
  });
  if (length != nullptr && result.units() >= 0) *length = DRV_ClampSmall(result.units());
  return rc;
}

QMR_EXPORT SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT stmt, SQLCHAR* name, SQLSMALLINT length) {
  NarrowIn text(name, length);
  return CallODBC(&CD_SetCursorName, stmt, text.text(), text.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT stmt, SQLWCHAR* name, SQLSMALLINT length) {
  WideIn text(name, length);
  if (int32_t code = text.refusal()) return CallODBCRefuse(&CD_SetCursorNameW, code, stmt);
  return CallODBC(&CD_SetCursorNameW, stmt, text.text(), text.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                            SQLINTEGER length) {
  return CallODBC(&CD_SetStmtAttr, stmt, attribute, value, length, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                             SQLINTEGER length) {
  return CallODBC(&CD_SetStmtAttrW, stmt, attribute, value, length, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                            SQLINTEGER size, SQLINTEGER* length) {
  return CallODBC(&CD_GetStmtAttr, stmt, attribute, value, size, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                             SQLINTEGER size, SQLINTEGER* length) {
  return CallODBC(&CD_GetStmtAttrW, stmt, attribute, value, size, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option, SQLULEN value) {
  return CallODBC(&CD_SetStmtOption, stmt, option, value);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT stmt, SQLUSMALLINT option,
                                              SQLPOINTER value) {
  return CallODBC(&CD_GetStmtOption, stmt, option, value);
}
