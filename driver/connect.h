// Connecting: the operations behind SQLDriverConnect and SQLConnect (and
// their W forms), and the connection-string processor that merges the
// application's string with the data source's values, asks for missing login
// values through the login dialog, fills the connection's connect texts and
// flags and the settings block the agent is handed, opens the connection
// (ConnOpen) and builds the completed connection string.
//
// Every connect in the process runs under the connect lock: the keyword
// table exists once.
#ifndef QMR_DRIVER_CONNECT_H
#define QMR_DRIVER_CONNECT_H

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "driver/dispatch.h"
#include "driver/handles.h"

// The arguments of one SQLDriverConnect request.
struct ConnectRequest {
  void* window = nullptr;
  const char* in = nullptr;
  int inLength = SQL_NTS;
  char* out = nullptr;  // may be null: only the length is returned
  int outSize = 0;      // bytes
  SQLSMALLINT* outLength = nullptr;
  unsigned completion = SQL_DRIVER_NOPROMPT;
  int mode = 'A';  // 'W': the request came through a UTF-16 entry point
};

// 0 (SQL_SUCCESS), 1 (SQL_SUCCESS_WITH_INFO: the completed string was cut),
// -1 (SQL_ERROR) or 100 (SQL_NO_DATA: the login dialog was cancelled).
DRV_Return DRV_ProcessConnStr(ConnHandle* conn, const ConnectRequest& request)
    REQUIRES(DRV_ConnectLock());

// DRV_DriverConnectOp with its arguments given as a variable list, in the
// order of the operation (window, input, input length, output, output size,
// output length pointer, completion, mode letter).
DRV_Return DRV_CallDriverConnect(ConnHandle* conn, ...);

// The completed connection string of the keyword table as it stands (after
// the values were derived); for the processor and its tests.
std::string DRV_CompletedConnStr(const ConnHandle* conn) REQUIRES(DRV_ConnectLock());

#endif
