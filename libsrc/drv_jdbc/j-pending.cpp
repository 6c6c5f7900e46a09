// TEMPORARY stand-ins for the JDBC agent's operations until they are written
// (see j-pending.h). The handle checks are the real ones.
#include "drv_jdbc/j-pending.h"

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "util/errcodes.h"

namespace {

constexpr int32_t kXaRmErr = -3;  // XAER_RMERR

int32_t OnXaConn(uint32_t h) { return AGT_Conn(h) != nullptr ? kXaRmErr : -5; }  // XAER_INVAL

}  // namespace

extern "C" {

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
