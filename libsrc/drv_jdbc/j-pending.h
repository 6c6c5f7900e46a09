// TEMPORARY: the JDBC agent's operations that are not written yet. Each one
// makes the agent's handle check and then answers 43 ("Driver not capable";
// the XA slots answer XAER_RMERR). This file and j-pending.cpp go away as the
// operations land.
#ifndef QMR_DRV_JDBC_J_PENDING_H
#define QMR_DRV_JDBC_J_PENDING_H

#include "drv_jdbc/drv_agent.h"

extern "C" {
int32_t DRV_XaClose(uint32_t conn, const char* info, int32_t rmid, int64_t flags);
int32_t DRV_XaCommit(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaComplete(uint32_t conn, int* handle, int* retval, int32_t rmid, int64_t flags);
int32_t DRV_XaEnd(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaForget(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaOpen(uint32_t conn, uint32_t useThread, const char* info, int32_t rmid,
                   int64_t flags);
int32_t DRV_XaPrepare(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaRecover(uint32_t conn, XID* xids, int64_t count, int32_t rmid, int64_t flags);
int32_t DRV_XaRollback(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaStart(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
}

#endif
