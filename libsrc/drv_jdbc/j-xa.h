// Agent slots 55-64: the XA side of a connection, for the XA switch and the
// transaction coordinator's resource dispenser.
//
// An XA open turns the connection into an XA connection of the data
// source's XA class (the JDBC keyword's class after the ';', else the class
// itself when it is an XADataSource): the java.sql.Connection the core works
// on becomes the XA connection's, and the XA verbs drive its XAResource. An
// XA close gives the connection back an ordinary JDBC connection from the
// same connect values. Either way the new Java connection is made, and the
// connection's auto-commit, isolation, read-only mode and catalog are carried
// over to it, before the old one goes: a switch that fails leaves the
// connection as it was.
//
// Results are X/Open XA codes (util/xa.h). Every slot refuses with
// XAER_INVAL, before any other work, a handle the agent does not hold, flags
// with TMASYNC or beyond 32 bits, and a thread that cannot be attached to the
// VM; the verbs that take an XID refuse a null one or one whose lengths are
// not 1..64. A verb other than open and close on a connection whose XA side
// is not open answers XAER_PROTO. A failing Java call leaves its exception on
// the connection's diagnostics (DRV_GetError).
//
// The calls of one connection must not overlap: the worker-thread proxy runs
// them all on the connection's worker thread.
#ifndef QMR_DRV_JDBC_J_XA_H
#define QMR_DRV_JDBC_J_XA_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "util/xa.h"

extern "C" {
// xa_info, rmid and useThread are not read (the switch and the proxy use
// them). XA_OK, or XAER_INVAL when the connection has no XA class, is open
// already, or the XA connection cannot be made.
int32_t DRV_XaOpen(uint32_t conn, uint32_t useThread, const char* info, int32_t rmid,
                   int64_t flags);
// XA_OK, also when the XA side is not open; XAER_INVAL when no ordinary
// connection can be made (the XA side then stays open).
int32_t DRV_XaClose(uint32_t conn, const char* info, int32_t rmid, int64_t flags);
// The XAResource verbs; the answer of the resource unchanged (prepare: its
// vote, XA_OK or XA_RDONLY; commit: one phase with TMONEPHASE).
int32_t DRV_XaStart(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaEnd(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaPrepare(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaCommit(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaRollback(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
int32_t DRV_XaForget(uint32_t conn, XID* xid, int32_t rmid, int64_t flags);
// A recovery scan: TMSTARTRSCAN asks the resource for its branches; each
// call hands out the next of them, at most count, into xids; TMENDRSCAN ends
// the scan. The number written, or an XA error; XAER_INVAL without a scan
// started, for a negative count, or for null xids with a count above 0.
int32_t DRV_XaRecover(uint32_t conn, XID* xids, int64_t count, int32_t rmid, int64_t flags);
// Every operation completes before it returns: nothing to wait for, always
// XAER_INVAL.
int32_t DRV_XaComplete(uint32_t conn, int* handle, int* retval, int32_t rmid, int64_t flags);
}

#endif
