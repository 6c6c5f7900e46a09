// Entry points: ending transactions.
#include "driver/api.h"
#include "driver/calldescs.h"

QMR_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle,
                                        SQLSMALLINT completion) {
  switch (type) {
    case SQL_HANDLE_ENV: return CallODBC(&CD_TransactEnv, handle, completion);
    case SQL_HANDLE_DBC: return CallODBC(&CD_TransactDbc, handle, completion);
    case SQL_HANDLE_STMT:
      // HY092 on the handle: only environments and connections end transactions.
      return CallODBC(&CD_EndTranStmt, handle);
    case SQL_HANDLE_DESC: return CallODBC(&CD_EndTranDesc, handle);
    default: return SQL_INVALID_HANDLE;
  }
}

QMR_EXPORT SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  bool known = false;
  if (dbc != SQL_NULL_HDBC) {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    known = DRV_LookupConn(DRV_HandleNumber(dbc)) != nullptr;
  }
  if (known) return CallODBC(&CD_TransactDbc, dbc, completion);
  return CallODBC(&CD_TransactEnv, env, completion);
}
