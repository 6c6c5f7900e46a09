#include "xa/xa_switch.h"

#include <cinttypes>
#include <cstring>
#include <mutex>

#include "driver/api.h"
#include "driver/handles.h"
#include "driver/trace.h"
#include "xa/rd_dispenser.h"
#include "xa/xa_conn.h"
#include "xa/xa_trace.h"

namespace {

std::atomic<bool> gSwitchReady{false};

int Returned(int rc) {
  TRC_PrintfTid(1, "Call returned: %s(%d)", XA_CodeName(rc), rc);
  return rc;
}

// The X/Open limits of an identifier: a global id and a branch qualifier of
// 1 to 64 bytes each. Anything else is refused before it is read.
bool XidValid(const XID* xid) {
  return xid != nullptr && xid->gtrid_length >= 1 && xid->gtrid_length <= MAXGTRIDSIZE &&
         xid->bqual_length >= 1 && xid->bqual_length <= MAXBQUALSIZE;
}

bool InfoTooLong(const char* info) {
  return info != nullptr && strnlen(info, kXaInfoMax + 1) > kXaInfoMax;
}

// The agent's XA operations on a connection run under its call lock, as
// every ODBC call on it does, so that its worker is never replaced under a
// statement running on it.
template <class F>
int OnConnection(XA_THREAD_CTX* ctx, F run) {
  ConnHandle* c = ctx->xc->conn;
  plat::Guard<plat::Gate> hold(c->callLock);
  return run(&c->agent, c->agentConn, &c->xaData);
}

int OneXid(const char* name, DRV_XaXid_t DRV_OpTable::*slot, XID* xid, int rmid, long flags) {
  TRC_PrintfTid(1, "%s(%p, %d, %lX)", name, static_cast<void*>(xid), rmid, flags);
  if (!XidValid(xid)) return Returned(XAER_INVAL);
  XA_THREAD_CTX* ctx = XA_CtxFind(rmid);
  if (ctx == nullptr || ctx->xc == nullptr) return Returned(XAER_RMERR);
  if (slot == &DRV_OpTable::DRV_XaStart) XA_CtxMakeCurrent(ctx);
  return Returned(OnConnection(ctx, [&](const DRV_Agent* a, uint32_t h, void** data) {
    return XA_AgentXid(a, h, data, slot, xid, rmid, flags);
  }));
}

int Open(char* xaInfo, int rmid, long flags) {
  std::string dsn;
  if (InfoTooLong(xaInfo) || !XA_GetDSN(xaInfo, &dsn)) {
    TRC_PrintfTid(1, "xa_switch_open(***, %d, %lX)", rmid, flags);
    TRC_PrintfTid(1, "xa_switch_open: invalid xaInfo string format");
    return Returned(XAER_RMERR);
  }
  TRC_PrintfTid(1, "xa_switch_open(%s, %d, %lX)", dsn.c_str(), rmid, flags);
  // A second open of a resource manager that is open on this thread
  // changes nothing.
  if (XA_CtxFind(rmid) != nullptr) return Returned(XA_OK);
  std::string agentInfo;
  if (!XA_GetXaInfo(dsn, &agentInfo)) return Returned(XAER_RMERR);
  XA_CONN* xc = XA_ConnOpen(xaInfo);
  if (xc == nullptr) return Returned(XAER_RMERR);
  ConnHandle* c = xc->conn;
  int rc;
  {
    plat::Guard<plat::Gate> hold(c->callLock);
    rc = XA_AgentOpen(&c->agent, c->agentConn, &c->xaData, 1, agentInfo.c_str(), rmid, flags);
  }
  if (rc != XA_OK) {
    XA_ConnFree(xc);
    return Returned(rc);
  }
  XA_CtxCreate(rmid, xaInfo, xc);
  return Returned(XA_OK);
}

int Close(char* xaInfo, int rmid, long flags) {
  std::string dsn;
  if (InfoTooLong(xaInfo) || !XA_GetDSN(xaInfo, &dsn)) {
    TRC_PrintfTid(1, "xa_switch_close(***, %d, %lX)", rmid, flags);
    TRC_PrintfTid(1, "xa_switch_close: invalid xaInfo string format");
    return Returned(XAER_RMERR);
  }
  TRC_PrintfTid(1, "xa_switch_close(%s, %d, %lX)", dsn.c_str(), rmid, flags);
  XA_THREAD_CTX* ctx = XA_CtxFind(rmid, xaInfo);
  if (ctx == nullptr || ctx->xc == nullptr) return Returned(XAER_RMERR);
  const int rc = OnConnection(ctx, [&](const DRV_Agent* a, uint32_t h, void** data) {
    return XA_AgentClose(a, h, data, xaInfo, rmid, flags);
  });
  XA_CONN* xc = ctx->xc;
  XA_CtxRelease(ctx);
  XA_ConnFree(xc);
  return Returned(rc);
}

int xa_switch_open(char* xaInfo, int rmid, long flags) { return Open(xaInfo, rmid, flags); }
int xa_switch_close(char* xaInfo, int rmid, long flags) { return Close(xaInfo, rmid, flags); }

int xa_switch_start(XID* xid, int rmid, long flags) {
  return OneXid("xa_switch_start", &DRV_OpTable::DRV_XaStart, xid, rmid, flags);
}
int xa_switch_end(XID* xid, int rmid, long flags) {
  return OneXid("xa_switch_end", &DRV_OpTable::DRV_XaEnd, xid, rmid, flags);
}
int xa_switch_rollback(XID* xid, int rmid, long flags) {
  return OneXid("xa_switch_rollback", &DRV_OpTable::DRV_XaRollback, xid, rmid, flags);
}
int xa_switch_prepare(XID* xid, int rmid, long flags) {
  return OneXid("xa_switch_prepare", &DRV_OpTable::DRV_XaPrepare, xid, rmid, flags);
}
int xa_switch_commit(XID* xid, int rmid, long flags) {
  return OneXid("xa_switch_commit", &DRV_OpTable::DRV_XaCommit, xid, rmid, flags);
}
int xa_switch_forget(XID* xid, int rmid, long flags) {
  return OneXid("xa_switch_forget", &DRV_OpTable::DRV_XaForget, xid, rmid, flags);
}

int xa_switch_recover(XID* xids, long count, int rmid, long flags) {
  TRC_PrintfTid(1, "xa_switch_recover(%p, %ld, %d, %lX)", static_cast<void*>(xids), count, rmid,
                flags);
  if (count < 0 || (xids == nullptr && count > 0)) return Returned(XAER_INVAL);
  XA_THREAD_CTX* ctx = XA_CtxFind(rmid);
  if (ctx == nullptr || ctx->xc == nullptr) return Returned(XAER_RMERR);
  return Returned(OnConnection(ctx, [&](const DRV_Agent* a, uint32_t h, void** data) {
    return XA_AgentRecover(a, h, data, xids, count, rmid, flags);
  }));
}

int xa_switch_complete(int* handle, int* retval, int rmid, long flags) {
  TRC_PrintfTid(1, "xa_switch_complete(%d,, %d, %lX)", handle != nullptr ? *handle : 0, rmid,
                flags);
  XA_THREAD_CTX* ctx = XA_CtxFind(rmid);
  if (ctx == nullptr || ctx->xc == nullptr) return Returned(XAER_RMERR);
  return Returned(OnConnection(ctx, [&](const DRV_Agent* a, uint32_t h, void** data) {
    return XA_AgentComplete(a, h, data, handle, retval, rmid, flags);
  }));
}

xa_switch_t gSwitch;

// Filled once, before its address is handed out for the first time.
xa_switch_t* Filled() {
  static xa_switch_t* const filled = [] {
    std::memset(&gSwitch, 0, sizeof gSwitch);
    std::memcpy(gSwitch.name, "QUILLMAR", 8);
    gSwitch.flags = TMNOFLAGS;
    gSwitch.version = 0;
    gSwitch.xa_open_entry = xa_switch_open;
    gSwitch.xa_close_entry = xa_switch_close;
    gSwitch.xa_start_entry = xa_switch_start;
    gSwitch.xa_end_entry = xa_switch_end;
    gSwitch.xa_rollback_entry = xa_switch_rollback;
    gSwitch.xa_prepare_entry = xa_switch_prepare;
    gSwitch.xa_commit_entry = xa_switch_commit;
    gSwitch.xa_recover_entry = xa_switch_recover;
    gSwitch.xa_forget_entry = xa_switch_forget;
    gSwitch.xa_complete_entry = xa_switch_complete;
    return &gSwitch;
  }();
  return filled;
}

// The handle of the calling thread's current XA connection, null for none.
SQLRETURN XaHandle(const char* name, void** out, bool env) {
  TRC_PrintfTid(1, "%s(%p)", name, static_cast<void*>(out));
  if (out == nullptr) return SQL_ERROR;
  *out = nullptr;
  XA_THREAD_CTX* ctx = XA_CtxCurrent();
  if (ctx == nullptr || ctx->xc == nullptr) return Returned(SQL_ERROR);
  *out = env ? XA_SharedEnvHandle() : ctx->xc->hdbc;
  return Returned(SQL_SUCCESS);
}

}  // namespace

xa_switch_t* XA_SwitchRecord() { return Filled(); }

int XA_InitSwitch() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!TRC_IsOpen(TRC_MODE_XA)) TRC_Open(TRC_MODE_XA);
    Filled();
    gSwitchReady = true;
  });
  return 0;
}

void XA_End() {
  if (!gSwitchReady.exchange(false)) return;
  TRC_PrintfTid(0, "** normal end **");
  TRC_Close(TRC_MODE_XA);
}

QMR_EXPORT xa_switch_t* qmr_xa_switch() {
  XA_InitSwitch();
  return Filled();
}

QMR_EXPORT int32_t GetXaSwitch(uint32_t, void** out) {
  if (XA_Startup() != 0) return E_FAIL;
  RD_Trace("GetXaSwitch()\n");
  if (out == nullptr) return RD_TraceHResult(E_POINTER);
  *out = XA_SwitchRecord();
  return RD_TraceHResult(S_OK);
}

QMR_EXPORT SQLRETURN SQLGetXaEnv(SQLHENV* out) {
  return XaHandle("SQLGetXaEnv", reinterpret_cast<void**>(out), true);
}

QMR_EXPORT SQLRETURN SQLGetXaConnect(SQLHDBC* out) {
  return XaHandle("SQLGetXaConnect", reinterpret_cast<void**>(out), false);
}
