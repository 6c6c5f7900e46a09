// Ending transactions, and the failover notice the dispatcher gives after a
// failed call.
#ifndef QMR_DRIVER_TRANSACT_H
#define QMR_DRIVER_TRANSACT_H

#include <cstdint>

#include "driver/handles.h"

// Commit (0) or roll back (1) one connection through its agent; an ODBC
// return code, the reason as the connection's pending code.
int16_t CONN_Transact(ConnHandle* conn, uint16_t completionType);

// Offers a failed call's diagnostics to the connection's failover callback
// (kind 3 connection, 4 statement, 5 descriptor: the busy object's
// diagnostics are read); returns the result the application gets.
int16_t DRV_NotifyFailover(ConnHandle* conn, uint32_t kind, int16_t rc);

// ERR_FAILOVER_DONE when a record reads "Failover completed.",
// ERR_FAILOVER_ABORTED for "Failover aborted.", else 0.
int32_t ERR_FindFailover(const ErrRec* first);

#endif
