// Connection records.
#include "driver/conn.h"

#include <sql.h>
#include <sqlext.h>

#include <new>
#include <vector>

#include "driver/connstr.h"
#include "driver/desc.h"
#include "driver/dispatch.h"
#include "driver/ops.h"
#include "driver/stmt.h"
#include "driver/xa_layer.h"
#include "util/errcodes.h"

namespace {

using CallGuard = plat::Guard<plat::RecursiveMutex>;

void unlinkFromEnv(ConnHandle* conn) {
  if (conn->env == nullptr) return;
  for (ConnHandle** p = &conn->env->firstConn; *p != nullptr; p = &(*p)->next) {
    if (*p == conn) {
      *p = conn->next;
      break;
    }
  }
  conn->next = nullptr;
  conn->env = nullptr;
}

DRV_Return AllocConn(EnvHandle* env, va_list args) {
  auto* out = va_arg(args, SQLHANDLE*);
  if (out == nullptr) return Fail(env, ERR_INVALID_ARGUMENT);
  *out = SQL_NULL_HANDLE;
  ConnHandle* conn = CONN_Alloc(env);
  if (conn == nullptr) return SQL_ERROR;
  uint32_t number = 0;
  const int rc = HT_Alloc(&gConnTable, &number, conn);
  if (rc != 0) {
    unlinkFromEnv(conn);
    delete conn;
    return Fail(env, rc);
  }
  conn->handle = number;
  *out = DRV_HandleValue(number);
  return SQL_SUCCESS;
}

DRV_Return freeConn(ConnHandle* conn) {
  const int32_t code = CONN_Close(conn);
  if (code != 0) return Fail(conn, code);
  CONN_Free(conn);
  return SQL_SUCCESS;
}

int pullInto(ConnHandle* conn, StmtHandle* stmt, uint32_t agentHandle) {
  DiagArea* area = stmt != nullptr ? &stmt->diag : &conn->diag;
  const int n = DRV_PullErrorBatch(conn->agent.ops, agentHandle, area);
  if (n > 0) CONN_MaskSecrets(conn, area);
  CONN_NoteLinkState(conn, area);
  return n;
}

}  // namespace

ConnHandle* CONN_Alloc(EnvHandle* env) {
  auto* conn = new (std::nothrow) ConnHandle();
  if (conn == nullptr) {
    Fail(env, ERR_NO_MEMORY);
    return nullptr;
  }
  conn->env = env;
  conn->next = env->firstConn;
  env->firstConn = conn;
  conn->serial = ++env->connCounter;
  CONN_Reset(conn);
  return conn;
}

void CONN_Reset(ConnHandle* conn) {
  conn->infoCache.reset();
  plat::Guard<plat::Mutex> g(conn->typeSearchLock);
  conn->typeSearch = TypeSearchCache{};
}

void CONN_FreeConnectTexts(ConnHandle* conn) {
  for (std::string* s : {&conn->dsn, &conn->uid, &conn->dbpath, &conn->dbopts, &conn->dbhost,
                         &conn->portText, &conn->svtype, &conn->options, &conn->text10}) {
    s->clear();
  }
  CS_Wipe(conn->pwd);
}

void CONN_ReleaseDtc(ConnHandle* conn) {
  if (conn->dtcResource != nullptr) DRV_GetXaLayer().release(conn->dtcResource);
  conn->dtcResource = nullptr;
  conn->dtcEnlisted = 0;
}

int32_t CONN_Close(ConnHandle* conn) {
  if (conn->state == kConnConnected) {
    // The enlistment ends with the connection: the coordinator may still
    // hold the dispenser, which from now on answers it without touching
    // this connection.
    CONN_ReleaseDtc(conn);
    // Statement numbers leave their table before any statement is torn down,
    // so no other thread can reach a statement that is on its way out.
    {
      CallGuard g(DRV_CallLock());
      for (StmtHandle* s = conn->firstStmt; s != nullptr; s = s->next) STMT_Unregister(s);
    }
    while (StmtHandle* s = conn->firstStmt) {
      STMT_Close(s);
      STMT_Free(s);
    }
    const DRV_OpTable* ops = conn->agent.ops;
    if (ops != nullptr && ops->DRV_Disconnect != nullptr) {
      const uint32_t code = ops->DRV_Disconnect(conn->agentConn);
      if (code != 0) {
        DRV_PullErrors(conn, nullptr);
        return static_cast<int32_t>(code);
      }
    }
    if (ops != nullptr && ops->DRV_Term != nullptr) ops->DRV_Term(conn->agentEnv);
    conn->state = kConnAllocated;
    conn->agentEnv = 0;
    conn->agentConn = 0;
  }
  conn->translateLib.clear();
  conn->hasTranslateLib = false;
  conn->opTableKind = 0;
  conn->opTableCount = 0;
  conn->opTableRows = nullptr;
  DESC_FreeExplicitOf(conn);
  CONN_Reset(conn);
  return 0;
}

void CONN_Free(ConnHandle* conn) {
  {
    CallGuard g(DRV_CallLock());
    if (conn->handle != 0) HT_Free(&gConnTable, conn->handle);
    unlinkFromEnv(conn);
  }
  CONN_FreeConnectTexts(conn);
  conn->appName.clear();
  DIAG_Clear(&conn->diag);
  conn->tag = kTagReleased;
  conn->state = kConnReleased;
}

bool CONN_ReadyForChild(ConnHandle* conn, SQLHANDLE* out) {
  if (out == nullptr) {
    Fail(conn, ERR_INVALID_ARGUMENT);
    return false;
  }
  *out = SQL_NULL_HANDLE;
  if (conn->state != kConnConnected) {
    Fail(conn, ERR_NOT_CONNECTED);
    return false;
  }
  return true;
}

int DRV_PullErrorBatch(const DRV_OpTable* ops, uint32_t agentHandle, DiagArea* area) {
  if (ops == nullptr || ops->DRV_GetError == nullptr) return 0;
  DRV_ErrorBatch batch{};
  if (ops->DRV_GetError(agentHandle, &batch) != 0) {
    DRV_FreeErrorBatch(&batch);
    return 0;
  }
  const int n = static_cast<int>(batch.list.count);
  for (int i = 0; i < n; ++i) {
    const bool own = batch.ownState == nullptr || batch.ownState[i] != 0;
    const uint32_t before = area->count;
    DIAG_AddEx(area, batch.list.texts[i], static_cast<int32_t>(batch.list.native), own);
    if (batch.rows != nullptr && area->count > before) area->tail->row = batch.rows[i];
  }
  DRV_FreeErrorBatch(&batch);
  return n;
}

void CONN_NoteLinkState(ConnHandle* conn, const DiagArea* area) {
  if (conn != nullptr && conn->state == kConnConnected && DIAG_ReportsLinkLost(area))
    conn->linkLost = true;
}

int CONN_PullErrors(ConnHandle* conn) { return pullInto(conn, nullptr, conn->agentEnv); }

int DRV_PullErrors(ConnHandle* conn, StmtHandle* stmt) {
  return pullInto(conn, stmt, conn->agentConn);
}

DRV_Return DRV_AllocConnectOp(void* h, va_list args) {
  return AllocConn(static_cast<EnvHandle*>(h), args);
}

DRV_Return DRV_AllocHandleDbcOp(void* h, va_list args) {
  return AllocConn(static_cast<EnvHandle*>(h), args);
}

DRV_Return DRV_FreeConnectOp(void* h, va_list) { return freeConn(static_cast<ConnHandle*>(h)); }
DRV_Return DRV_FreeHandleDbcOp(void* h, va_list) { return freeConn(static_cast<ConnHandle*>(h)); }

DRV_Return DRV_DisconnectOp(void* h, va_list) {
  auto* conn = static_cast<ConnHandle*>(h);
  if (conn->state != kConnConnected) return Fail(conn, ERR_NOT_CONNECTED);
  const int32_t code = CONN_Close(conn);
  if (code != 0) return Fail(conn, code);
  return conn->state == kConnAllocated ? SQL_SUCCESS : SQL_ERROR;
}

DRV_Return DRV_AllocHandleDescOp(void* h, va_list args) {
  auto* conn = static_cast<ConnHandle*>(h);
  auto* out = va_arg(args, SQLHANDLE*);
  if (!CONN_ReadyForChild(conn, out)) return SQL_ERROR;
  DescHandle* desc = DESC_Alloc(kDescExplicit, kDescAllocUser, nullptr, conn);
  if (desc == nullptr) return SQL_ERROR;
  const int rc = DESC_Register(desc);
  if (rc != 0) {
    DESC_Free(desc);
    return Fail(conn, rc);
  }
  *out = DRV_HandleValue(desc->handle);
  return SQL_SUCCESS;
}
