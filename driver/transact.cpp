// Commit and rollback, and the failover notice.
#include "driver/transact.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "driver/agent_fail.h"
#include "driver/conn.h"
#include "driver/dispatch.h"
#include "driver/ops.h"
#include "driver/trace.h"
#include "util/errcodes.h"

int16_t CONN_Transact(ConnHandle* conn, uint16_t completionType) {
  if (TRC_Active()) TRC_Printf("%s", completionType != 0 ? "[Rollback]" : "[Commit]");
  if (conn->state != kConnConnected) return Fail(conn, ERR_NOT_CONNECTED);
  if (completionType != SQL_COMMIT && completionType != SQL_ROLLBACK)
    return Fail(conn, ERR_TRANSACTION_OPCODE);
  // In auto-commit mode every statement has already ended its own
  // transaction: there is nothing to commit or roll back, and a JDBC driver
  // may refuse the call (PostgreSQL's does), which applications that commit
  // unconditionally would see as a failure.
  if ((conn->flags & kConnAutoCommit) != 0) return SQL_SUCCESS;
  const DRV_OpTable* ops = conn->agent.ops;
  auto slot = completionType == SQL_ROLLBACK ? (ops != nullptr ? ops->DRV_Rollback : nullptr)
                                             : (ops != nullptr ? ops->DRV_Commit : nullptr);
  const uint32_t code = slot != nullptr ? slot(conn->agentConn) : ERR_NOT_CAPABLE;
  if (code != 0) return AgentFail(conn, code);
  return SQL_SUCCESS;
}

DRV_Return DRV_TransactDbcOp(void* h, va_list args) {
  const int type = va_arg(args, int);
  return CONN_Transact(static_cast<ConnHandle*>(h), static_cast<uint16_t>(type));
}

// Runs under the call lock (an environment call), which keeps calls from
// starting on the connections it ends transactions on.
DRV_Return DRV_TransactEnvOp(void* h, va_list args) {
  DRV_CallLock().AssertHeld();
  auto* env = static_cast<EnvHandle*>(h);
  const int type = va_arg(args, int);
  for (ConnHandle* c = env->firstConn; c != nullptr; c = c->next) {
    if (c->busy != nullptr) return Fail(env, ERR_FUNCTION_SEQUENCE);
  }
  bool failed = false;
  for (ConnHandle* c = env->firstConn; c != nullptr; c = c->next) {
    // A connection that is not connected has no transaction to end.
    if (c->state != kConnConnected) continue;
    // The failure is the environment's; the connection keeps what it had.
    PendingAside aside(&c->diag);
    if (CONN_Transact(c, static_cast<uint16_t>(type)) == SQL_ERROR) {
      Fail(env, aside.left());
      failed = true;
    }
  }
  return failed ? SQL_ERROR : SQL_SUCCESS;
}

// Transactions end on environments and connections only; a statement or
// descriptor handle learns that its handle type was wrong.
DRV_Return DRV_EndTranStmtOp(void* h, va_list) {
  return Fail(static_cast<StmtHandle*>(h), ERR_OPTION_RANGE);
}

DRV_Return DRV_EndTranDescOp(void* h, va_list) {
  return Fail(static_cast<DescHandle*>(h), ERR_OPTION_RANGE);
}

int32_t ERR_FindFailover(const ErrRec* first) {
  for (const ErrRec* r = first; r != nullptr; r = r->next) {
    if (r->text == nullptr) continue;
    if (std::strstr(r->text, "Failover completed.") != nullptr) return ERR_FAILOVER_DONE;
    if (std::strstr(r->text, "Failover aborted.") != nullptr) return ERR_FAILOVER_ABORTED;
  }
  return 0;
}

int16_t DRV_NotifyFailover(ConnHandle* conn, uint32_t kind, int16_t rc) {
  if (conn == nullptr || conn->failoverCallback == nullptr) return rc;
  void* busy;
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    busy = conn->busy;
  }
  const DiagArea* diag;
  switch (kind) {
    case kCallConn: diag = &conn->diag; break;
    case kCallStmt:
      if (busy == nullptr) return rc;
      diag = &static_cast<StmtHandle*>(busy)->diag;
      break;
    case kCallDesc:
      if (busy == nullptr) return rc;
      diag = &static_cast<DescHandle*>(busy)->diag;
      break;
    default: return rc;
  }
  uint32_t event = 0;
  if (diag->pending == ERR_FAILOVER_DONE) {
    event = kFailoverCompleted;
    rc = SQL_SUCCESS_WITH_INFO;
  } else if (diag->pending == ERR_FAILOVER_ABORTED) {
    event = kFailoverAborted;
    rc = SQL_ERROR;
  } else if (DIAG_Count(diag) >= 2) {
    const int32_t found = ERR_FindFailover(diag->head);
    if (found == ERR_FAILOVER_DONE) {
      event = kFailoverCompleted;
      rc = SQL_ERROR;
    } else if (found == ERR_FAILOVER_ABORTED) {
      event = kFailoverAborted;
      rc = SQL_ERROR;
    }
  }
  if (event != 0) conn->failoverCallback(event, conn->failoverContext, 0);
  return rc;
}
