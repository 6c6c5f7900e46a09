// TEMPORARY stand-ins for the JDBC agent's operations until they are written
// (see j-pending.h). The handle checks are the real ones.
#include "drv_jdbc/j-pending.h"

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"

namespace {

constexpr uint32_t kNotCapable = 43;
constexpr int32_t kXaRmErr = -3;  // XAER_RMERR

uint32_t OnStmt(uint32_t h) { return AGT_Stmt(h) != nullptr ? kNotCapable : 21; }
uint32_t OnConn(uint32_t h) { return AGT_Conn(h) != nullptr ? kNotCapable : 21; }
int32_t OnXaConn(uint32_t h) { return AGT_Conn(h) != nullptr ? kXaRmErr : -5; }  // XAER_INVAL

}  // namespace

extern "C" {

uint32_t DRV_NativeSql(uint32_t conn, const char*, char*, uint16_t, uint16_t*) {
  return OnConn(conn);
}
uint32_t DRV_DDColumnPrivileges(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDColumns(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDForeignKeys(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDPrimaryKeys(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDProcedureColumns(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDProcedures(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDSpecialColumns(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDStatistics(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDTablePrivileges(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDTables(uint32_t stmt, const void*) { return OnStmt(stmt); }
uint32_t DRV_DDGetTypeInfo(uint32_t stmt, int16_t) { return OnStmt(stmt); }
int32_t DRV_XaClose(uint32_t conn, const char*, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaCommit(uint32_t conn, XID*, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaComplete(uint32_t conn, int*, int*, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaEnd(uint32_t conn, XID*, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaForget(uint32_t conn, XID*, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaOpen(uint32_t conn, uint32_t, const char*, int32_t, int64_t) {
  return OnXaConn(conn);
}
int32_t DRV_XaPrepare(uint32_t conn, XID*, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaRecover(uint32_t conn, XID*, int64_t, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaRollback(uint32_t conn, XID*, int32_t, int64_t) { return OnXaConn(conn); }
int32_t DRV_XaStart(uint32_t conn, XID*, int32_t, int64_t) { return OnXaConn(conn); }

}  // extern "C"

// The parameter and procedure-call work of the statement code: not capable
// yet, except where there is nothing to do.
uint32_t describeParams(JdbcStmt* s) { return s != nullptr ? kNotCapable : 21; }
uint32_t defaultParamDescs(JdbcStmt* s) {
  if (s == nullptr) return 21;
  return s->markerCount == 0 ? 0 : kNotCapable;
}
uint32_t setJavaParams(JdbcStmt* s, uint32_t) {
  if (s == nullptr) return 21;
  return s->params == nullptr ? 0 : kNotCapable;
}
uint32_t fetchCallProc(JdbcStmt* s, COLSET*) { return s != nullptr ? kNotCapable : 21; }
