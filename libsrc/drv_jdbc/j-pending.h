// TEMPORARY: the JDBC agent's operations that are not written yet. Each one
// makes the agent's handle check and then answers 43 ("Driver not capable";
// the XA slots answer XAER_RMERR). This file and j-pending.cpp go away as the
// operations land.
#ifndef QMR_DRV_JDBC_J_PENDING_H
#define QMR_DRV_JDBC_J_PENDING_H

#include "drv_jdbc/drv_agent.h"

extern "C" {
uint32_t DRV_Prepare(uint32_t stmt, const char* sql);
uint32_t DRV_SetParams(uint32_t stmt, COLSET* params);
uint32_t DRV_Execute(uint32_t stmt);
uint32_t DRV_UnusedStmtOp(uint32_t stmt);
uint32_t DRV_NativeSql(uint32_t conn, const char* sql, char* out, uint16_t size,
                       uint16_t* length);
uint32_t DRV_BindCols(uint32_t stmt, uint16_t count, const JdbcColBind* binds);
uint32_t DRV_Fetch(uint32_t stmt, uint16_t rows, COLSET* set);
uint32_t DRV_MoreResults(uint32_t stmt);
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
uint32_t DRV_PrepareExecute(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                            const JdbcColBind* binds);
uint32_t DRV_Cancel(uint32_t stmt);
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

// Describes the prepared statement's parameters from the server (the
// statement code's; pending here until that code lands).
struct JdbcStmt;
uint32_t describeParams(JdbcStmt* s);

#endif
