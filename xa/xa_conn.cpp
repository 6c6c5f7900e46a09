#include "xa/xa_conn.h"

#include <string.h>
#include <strings.h>

#include <algorithm>

#include "driver/connstr.h"
#include "driver/dispatch.h"
#include "driver/handles.h"
#include "driver/odbcinst.h"
#include "driver/trace.h"
#include "platform/lock.h"
#include "xa/xa_switch.h"

namespace {

// Guards the shared environment and its user count. Made with the process,
// never re-created; taken with no other lock of the transaction code held
// (the driver's own locks are taken inside it by the environment calls).
plat::Mutex gEnvLock ACQUIRED_BEFORE(lock_order::callLock);
SQLHENV gSharedEnv GUARDED_BY(gEnvLock) = nullptr;
uint32_t gEnvUsers GUARDED_BY(gEnvLock) = 0;

// Every context lives on its thread only, so they need no lock. Plain
// pointers: the library registers nothing to run at a thread's exit.
thread_local XA_THREAD_CTX* t_contexts = nullptr;
thread_local XA_THREAD_CTX* t_current = nullptr;

SQLHENV EnvAcquire() EXCLUDES(gEnvLock) {
  plat::Guard<plat::Mutex> g(gEnvLock);
  if (gSharedEnv == nullptr) {
    SQLHENV env = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return nullptr;
    if (!SQL_SUCCEEDED(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
      SQLFreeHandle(SQL_HANDLE_ENV, env);
      return nullptr;
    }
    gSharedEnv = env;
  }
  ++gEnvUsers;
  return gSharedEnv;
}

void EnvRelease() EXCLUDES(gEnvLock) {
  plat::Guard<plat::Mutex> g(gEnvLock);
  if (gEnvUsers == 0 || --gEnvUsers != 0) return;
  SQLFreeHandle(SQL_HANDLE_ENV, gSharedEnv);
  gSharedEnv = nullptr;
}

ConnHandle* RecordOf(SQLHDBC hdbc) {
  plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
  return DRV_LookupConn(DRV_HandleNumber(hdbc));
}

}  // namespace

SQLHENV XA_SharedEnvHandle() {
  plat::Guard<plat::Mutex> g(gEnvLock);
  return gSharedEnv;
}

bool XA_GetDSN(const char* xaInfo, std::string* dsn) {
  dsn->clear();
  if (xaInfo == nullptr) return false;
  bool found = false;
  // The last DSN wins, as it does for the connect that uses the same string.
  for (CS_Pair& pair : CS_Split(xaInfo)) {
    if (strcasecmp(pair.keyword.c_str(), "DSN") == 0) {
      *dsn = pair.value;
      found = true;
    }
    CS_Wipe(pair.value);
  }
  while (!dsn->empty() && (dsn->back() == ' ' || dsn->back() == '\t')) dsn->pop_back();
  return found && !dsn->empty() && dsn->size() <= kXaInfoMax;
}

bool XA_GetXaInfo(const std::string& dsn, std::string* out) {
  char buf[kXaInfoMax + 2] = {};
  const int n =
      INST_GetPrivateProfileString(dsn.c_str(), "XaInfo", "", buf, sizeof buf, "odbc.ini");
  if (n < 0 || static_cast<size_t>(n) > kXaInfoMax) return false;
  out->assign(buf, std::min(std::strlen(buf), kXaInfoMax));
  return true;
}

XA_CONN* XA_ConnOpen(const char* xaInfo) {
  SQLHENV env = EnvAcquire();
  if (env == nullptr) return nullptr;
  auto* xc = new XA_CONN;
  SQLHDBC hdbc = nullptr;
  if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &hdbc))) {
    SQLCHAR out[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN rc =
        SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(xaInfo)),
                         SQL_NTS, out, sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
    explicit_bzero(out, sizeof out);
    if (SQL_SUCCEEDED(rc)) {
      xc->hdbc = hdbc;
    } else {
      SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
    }
  }
  if (xc->hdbc != nullptr) xc->conn = RecordOf(xc->hdbc);
  if (xc->conn != nullptr && xc->conn->capDtc == 0) {
    TRC_PrintfTid(0, "Agent does not support XA");
    xc->conn = nullptr;
  }
  if (xc->conn == nullptr) {
    XA_ConnFree(xc);
    return nullptr;
  }
  // The switch's calls take the connection's call lock from the manager's
  // threads; the dispatcher takes it from now on too.
  xc->conn->callLockShared.store(true, std::memory_order_release);
  return xc;
}

void XA_ConnFree(XA_CONN* xc) {
  if (xc == nullptr) return;
  if (xc->hdbc != nullptr) {
    SQLDisconnect(xc->hdbc);
    SQLFreeHandle(SQL_HANDLE_DBC, xc->hdbc);
  }
  delete xc;
  EnvRelease();
}

XA_THREAD_CTX* XA_CtxCreate(int32_t rmid, const char* xaInfo, XA_CONN* xc) {
  auto* ctx = new XA_THREAD_CTX;
  ctx->rmid = rmid;
  ctx->xaInfo = xaInfo;
  ctx->xc = xc;
  ctx->next = t_contexts;
  t_contexts = ctx;
  t_current = ctx;
  return ctx;
}

XA_THREAD_CTX* XA_CtxFind(int32_t rmid, const char* xaInfo) {
  for (XA_THREAD_CTX* ctx = t_contexts; ctx != nullptr; ctx = ctx->next)
    if (ctx->rmid == rmid) return xaInfo == nullptr || ctx->xaInfo == xaInfo ? ctx : nullptr;
  return nullptr;
}

XA_THREAD_CTX* XA_CtxCurrent() { return t_current; }

void XA_CtxMakeCurrent(XA_THREAD_CTX* ctx) { t_current = ctx; }

void XA_CtxRelease(XA_THREAD_CTX* ctx) {
  for (XA_THREAD_CTX** p = &t_contexts; *p != nullptr; p = &(*p)->next) {
    if (*p == ctx) {
      *p = ctx->next;
      break;
    }
  }
  if (t_current == ctx) t_current = t_contexts;
  delete ctx;
}
