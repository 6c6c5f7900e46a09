// SQLCancel: the one statement call that may arrive while another thread is
// inside a call of the same connection, to stop that very statement. It
// takes only the call lock, never the connection's call lock, which the
// running call holds.
#include <cinttypes>
#include <new>

#include "driver/api.h"
#include "driver/diag.h"
#include "driver/dispatch.h"
#include "driver/handles.h"
#include "driver/rowset/setpos.h"
#include "driver/stmt.h"
#include "driver/trace.h"
#include "platform/procinfo.h"
#include "platform/thread.h"
#include "util/errcodes.h"

namespace {

using CallHold = DRV_CallHold;

// A call of the statement waiting for its turn on the connection: it ends
// unrun, cancelled, when its turn comes.
bool CancelWaiting(StmtHandle* stmt) REQUIRES(DRV_CallLock()) {
  if (stmt == nullptr || stmt->callsWaiting == 0) return false;
  stmt->cancelWaiting = true;
  if (TRC_Active())
    TRC_Printf("SQLCancel: a waiting call of hStmt=%08" PRIX32 " ends", stmt->handle);
  return true;
}

bool Odbc3(const StmtHandle* stmt) {
  const ConnHandle* c = stmt->conn;
  return c == nullptr || c->env == nullptr || c->env->odbcVersion >= 3;
}

// Ends a need-data sequence: the statement is back where it was before the
// call that asked for data (a positioned change keeps its cursor).
void EndNeedData(StmtHandle* stmt) {
  const uint16_t step = stmt->needData;
  stmt->needData = 0;
  if (step == kNeedSetPos || step == kNeedBulk) {
    SetPosReset(stmt);
    return;
  }
  STMT_Close(stmt);
}

// A statement no other thread is running. A call that queued behind this
// one to work at the database is what is cancelled; else a need-data
// sequence ends. Otherwise nothing happens, as ODBC 3 has it; ODBC 2 defined
// the cancel of an idle statement as closing its result, and its
// applications learn so from 01S05.
DRV_Return DRV_CancelIdleOp(void* h, va_list) {
  auto* stmt = static_cast<StmtHandle*>(h);
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    if (CancelWaiting(stmt)) return SQL_SUCCESS;
  }
  if (Odbc3(stmt)) {
    if (stmt->needData == 0) return SQL_SUCCESS;  // its records stay too
    DIAG_Clear(&stmt->diag);
    EndNeedData(stmt);
    return SQL_SUCCESS;
  }
  DIAG_Clear(&stmt->diag);
  stmt->needData = 0;
  STMT_Close(stmt);
  return Warn(stmt, ERR_CANCEL_CLOSED);
}

// The operation clears the statement's records itself, only where the
// cancel has an effect.
const CallDesc CD_Cancel = {"Cancel", "", 0, 0, kCallStmt, DRV_CancelIdleOp};

bool RunningElsewhere(const StmtHandle* stmt) REQUIRES(DRV_CallLock()) {
  const ConnHandle* conn = stmt != nullptr ? stmt->conn : nullptr;
  return conn != nullptr && conn->busy == stmt && conn->busyThread != plat::thread_token();
}

// The call running elsewhere does no work at the database (binding,
// describing, an attribute, a diagnostic): it is no cancel's to stop, nor its
// failure to be reported as cancelled.
bool RunningUncancellable(const StmtHandle* stmt) REQUIRES(DRV_CallLock()) {
  return RunningElsewhere(stmt) && !stmt->conn->busyCancellable;
}

// The agent refused to stop the call: SQLCancel's record can go on the
// statement only once nothing runs on it, since the running call owns the
// statement's diagnostics until it ends.
SQLRETURN Declined(CallHold& g, uint64_t number, StmtHandle* stmt, int32_t code)
    REQUIRES(DRV_CallLock()) {
  while (DRV_LookupStmt(number) == stmt && stmt->conn->busy == stmt) DRV_WaitCallEnd(g);
  if (DRV_LookupStmt(number) == stmt) DIAG_PutFirst(&stmt->diag, code);
  return SQL_ERROR;
}

// How long a cancelled call is given to end before the request goes again.
constexpr unsigned kCancelRepeatMs = 20;

// Whether the call SQLCancel asked to stop (the `call`-th of the
// connection, on this statement) still runs.
bool StillCancelling(uint64_t number, StmtHandle* stmt, uint64_t call) REQUIRES(DRV_CallLock()) {
  if (!DRV_CallsReady() || DRV_LookupStmt(number) != stmt) return false;
  const ConnHandle* conn = stmt->conn;
  return conn->busy == stmt && conn->callSerial == call && conn->cancelled == stmt;
}

// A JDBC driver drops a cancel of a statement that has not reached the
// database yet, and the call then runs its full time: the request goes
// again, from a thread of its own (SQLCancel returns at once), until the
// call ends. The call lock is held around each request, so the call cannot
// end, nor the statement go, meanwhile.
struct CancelRepeat {
  uint64_t number;
  StmtHandle* stmt;
  uint64_t call;
};

uint32_t RepeatCancelThread(void* arg) {
  const CancelRepeat r = *static_cast<CancelRepeat*>(arg);
  delete static_cast<CancelRepeat*>(arg);
  CallHold g(DRV_CallLock());
  for (;;) {
    DRV_WaitCallEndFor(g, kCancelRepeatMs);
    if (!StillCancelling(r.number, r.stmt, r.call)) return 0;
    if (r.stmt->agent->ops->DRV_Cancel(r.stmt->agentStmt) != 0) return 0;
  }
}

void RepeatCancel(uint64_t number, StmtHandle* stmt, uint64_t call) {
  auto* r = new (std::nothrow) CancelRepeat{number, stmt, call};
  if (r == nullptr) return;  // the first request stands alone
  plat::Thread* t = plat::Thread::start(&RepeatCancelThread, r);
  if (t == nullptr) {
    delete r;  // no thread to be had: the first request stands alone
    return;
  }
  t->close();
}

// Another thread runs a call on the statement: the agent is asked to stop
// it, and the dispatcher reports that call's failure as cancelled.
SQLRETURN CancelRunning(CallHold& g, uint64_t number, StmtHandle* stmt) REQUIRES(DRV_CallLock()) {
  if (TRC_Active()) TRC_Printf("\nSQLCancel hStmt=%08" PRIX64, number);
  ConnHandle* conn = stmt->conn;
  const DRV_Agent* agent = stmt->agent;
  uint32_t code = 0;
  if (agent != nullptr && (agent->agentType & 0x01) == 0 && agent->ops != nullptr &&
      agent->ops->DRV_Cancel != nullptr) {
    conn->cancelled = stmt;
    code = agent->ops->DRV_Cancel(stmt->agentStmt);
    if (code == 0) RepeatCancel(number, stmt, conn->callSerial);
  }
  SQLRETURN rc = SQL_SUCCESS;
  if (code != 0) {
    conn->cancelled = nullptr;
    rc = Declined(g, number, stmt, static_cast<int32_t>(code));
  }
  if (TRC_Active()) TRC_Printf("SQLCancel: returning %d", rc);
  return rc;
}

}  // namespace

QMR_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT handle) {
  if (!DRV_CallsReady()) return SQL_ERROR;
  const uint64_t number = DRV_HandleNumber(handle);
  for (;;) {
    CallHold g(DRV_CallLock());
    StmtHandle* stmt = DRV_LookupStmt(number);
    // The cancel is for what the statement does next, or for nothing once
    // it is idle: such a call is short, and its end is waited for.
    if (RunningUncancellable(stmt)) {
      DRV_WaitCallEnd(g);
      continue;
    }
    if (RunningElsewhere(stmt)) return CancelRunning(g, number, stmt);
    if (CancelWaiting(stmt)) return SQL_SUCCESS;
    g.unlock();
    // Idle (or unknown: the dispatcher says so) goes through the dispatcher,
    // waiting behind calls on other statements of the connection.
    const SQLRETURN rc = CallODBCCancel(&CD_Cancel, handle);
    // Another thread started a call on it meanwhile: that call is cancelled.
    if (rc != SQL_STILL_EXECUTING) return rc;
  }
}
