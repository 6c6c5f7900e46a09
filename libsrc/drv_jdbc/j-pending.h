// TEMPORARY: the JDBC agent's operations that are not written yet. Each one
// makes the agent's handle check and then answers 43 ("Driver not capable";
// the XA slots answer XAER_RMERR). This file and j-pending.cpp go away as the
// operations land.
#ifndef QMR_DRV_JDBC_J_PENDING_H
#define QMR_DRV_JDBC_J_PENDING_H

#include "drv_jdbc/drv_agent.h"

extern "C" {
uint32_t DRV_NativeSql(uint32_t conn, const char* sql, char* out, uint16_t size,
                       uint16_t* length);
uint32_t DRV_DDColumnPrivileges(uint32_t stmt, const void* args);
uint32_t DRV_DDColumns(uint32_t stmt, const void* args);
uint32_t DRV_DDForeignKeys(uint32_t stmt, const void* args);
uint32_t DRV_DDPrimaryKeys(uint32_t stmt, const void* args);
uint32_t DRV_DDProcedureColumns(uint32_t stmt, const void* args);
uint32_t DRV_DDProcedures(uint32_t stmt, const void* args);
uint32_t DRV_DDSpecialColumns(uint32_t stmt, const void* args);
uint32_t DRV_DDStatistics(uint32_t stmt, const void* args);
uint32_t DRV_DDTablePrivileges(uint32_t stmt, const void* args);
uint32_t DRV_DDTables(uint32_t stmt, const void* args);
uint32_t DRV_DDGetTypeInfo(uint32_t stmt, int16_t sqlType);
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

// The parameter and procedure-call work of the statement code, pending here
// until it lands. Until then a statement whose text has parameter markers
// cannot be prepared, values cannot be sent and output parameters cannot be
// read: each answers 43 when it has such work to do, 0 when it has none.
struct JdbcStmt;
// Describes the prepared statement's parameters from the server.
uint32_t describeParams(JdbcStmt* s);
// Gives each parameter marker its default description (0 markers: 0).
uint32_t defaultParamDescs(JdbcStmt* s);
// Sends parameter set `set` of the held value set to the Java statement
// (no value set: 0).
uint32_t setJavaParams(JdbcStmt* s, uint32_t set);
// Reads the output parameters of a procedure call into the row buffer.
uint32_t fetchCallProc(JdbcStmt* s, COLSET* set);

#endif
