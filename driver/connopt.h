// Connection options and attributes: SQLSetConnectOption/SQLGetConnectOption
// (ODBC 2) and SQLSetConnectAttr/SQLGetConnectAttr (ODBC 3), each with its W
// form. The operations behind their call descriptors are declared in
// driver/ops.h; this header holds what other modules of the core call.
//
// Values only the database side knows travel to the agent as option or
// information request codes: OPT_CONN_INT | option for numbers,
// OPT_CONN_TEXT | option for text.
#ifndef QMR_DRIVER_CONNOPT_H
#define QMR_DRIVER_CONNOPT_H

#include <cstdint>
#include <string>

#include "driver/dispatch.h"
#include "driver/handles.h"
#include "drv_jdbc/agent_codes.h"

// The application's access-mode choice, put into the flags word after the
// connect path has set the flags from the data source's settings and before
// ConnOpen builds the agent's connect record from them: the agent opens the
// Java connection read-only from that flag. Read-only wins: a read-write
// choice made before connecting does not lift the data source's READONLY.
void CONN_PrepareConnectFlags(ConnHandle* conn);

// Auto-commit and access mode that the application chose (before or after
// connecting) reach the agent of a connection that has just opened: the
// connect itself re-derives both from the data source's settings, which
// would otherwise silently undo the application's choice. To be called by
// ConnOpen once the agent connection exists and the capability flags are
// set (state 2). Returns 0 when every choice was applied (or none was made);
// otherwise the internal code of the first failure, with the agent's
// messages already pulled into the connection: the connection then does not
// run in the mode the application asked for, and the connect should fail.
int32_t CONN_ApplyPendingOptions(ConnHandle* conn);

// The ODBC 2 cores, also used by the ODBC 3 operations. `mode` is the width
// marker ('A' or 'W'); text values of mode 'W' are UTF-16.
DRV_Return CONN_SetOption(ConnHandle* conn, uint16_t option, uint64_t value, int mode);
DRV_Return CONN_GetOption(ConnHandle* conn, uint16_t option, void* value, int mode);

// Between the module's files: the current value of a text option (105
// trace file, 106 translation library, 109 current catalog) as UTF-8.
// SQL_SUCCESS; SQL_NO_DATA when no translation library is set; SQL_ERROR
// with the pending code set.
DRV_Return CONN_OptionText(ConnHandle* conn, uint16_t option, std::string* out);

#endif
