// Entry points: allocating and freeing handles, environment attributes.
#include "driver/api.h"
#include "driver/calldescs.h"

QMR_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* out) {
  switch (type) {
    case SQL_HANDLE_ENV: return CallODBC(&CD_AllocHandleEnv, out);
    case SQL_HANDLE_DBC: return CallODBC(&CD_AllocHandleDbc, input, out);
    case SQL_HANDLE_STMT: return CallODBC(&CD_AllocHandleStmt, input, out);
    case SQL_HANDLE_DESC: return CallODBC(&CD_AllocHandleDesc, input, out);
    default: return SQL_INVALID_HANDLE;
  }
}

QMR_EXPORT SQLRETURN SQL_API SQLAllocEnv(SQLHENV* out) { return CallODBC(&CD_AllocEnv, out); }

QMR_EXPORT SQLRETURN SQL_API SQLAllocConnect(SQLHENV env, SQLHDBC* out) {
  return CallODBC(&CD_AllocConnect, env, out);
}

QMR_EXPORT SQLRETURN SQL_API SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* out) {
  return CallODBC(&CD_AllocStmt, dbc, out);
}

QMR_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV: return CallODBC(&CD_FreeHandleEnv, handle);
    case SQL_HANDLE_DBC: return CallODBC(&CD_FreeHandleDbc, handle);
    case SQL_HANDLE_STMT: return CallODBC(&CD_FreeHandleStmt, handle);
    case SQL_HANDLE_DESC: return CallODBC(&CD_FreeHandleDesc, handle);
    default: return SQL_INVALID_HANDLE;
  }
}

QMR_EXPORT SQLRETURN SQL_API SQLFreeEnv(SQLHENV env) { return CallODBC(&CD_FreeEnv, env); }

QMR_EXPORT SQLRETURN SQL_API SQLFreeConnect(SQLHDBC dbc) { return CallODBC(&CD_FreeConnect, dbc); }

QMR_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  return CallODBC(&CD_FreeStmt, stmt, option);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                           SQLINTEGER length) {
  return CallODBC(&CD_SetEnvAttr, env, attribute, value, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                           SQLINTEGER size, SQLINTEGER* length) {
  return CallODBC(&CD_GetEnvAttr, env, attribute, value, size, length);
}
