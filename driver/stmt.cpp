// Statement records.
#include "driver/stmt.h"

#include <sql.h>
#include <sqlext.h>

#include <new>

#include "driver/agent_fail.h"
#include "driver/bind.h"
#include "driver/coldesc.h"
#include "driver/conn.h"
#include "driver/desc.h"
#include "driver/dispatch.h"
#include "driver/ops.h"
#include "driver/params.h"
#include "driver/stmtopt.h"
#include "driver/trace.h"
#include "util/errcodes.h"

namespace {

using CallGuard = plat::Guard<plat::RecursiveMutex>;

void unlinkFromConn(StmtHandle* stmt) {
  ConnHandle* conn = stmt->conn;
  if (conn == nullptr) return;
  for (StmtHandle** p = &conn->firstStmt; *p != nullptr; p = &(*p)->next) {
    if (*p == stmt) {
      *p = stmt->next;
      break;
    }
  }
  stmt->next = nullptr;
}

void freeImplicitDescs(StmtHandle* stmt) {
  for (DescHandle** d : {&stmt->implicitArd, &stmt->implicitApd, &stmt->ird, &stmt->ipd}) {
    if (*d != nullptr) DESC_Free(*d);
    *d = nullptr;
  }
  stmt->ard = nullptr;
  stmt->apd = nullptr;
}

DRV_Return allocStmt(ConnHandle* conn, va_list args) {
  auto* out = va_arg(args, SQLHANDLE*);
  if (!CONN_ReadyForChild(conn, out)) return SQL_ERROR;
  StmtHandle* stmt = STMT_Alloc(conn);
  if (stmt == nullptr) return SQL_ERROR;
  uint32_t number = 0;
  int rc;
  {
    CallGuard g(DRV_CallLock());
    rc = HT_Alloc(&gStmtTable, &number, stmt);
  }
  if (rc != 0) {
    STMT_Free(stmt);
    return Fail(conn, rc);
  }
  stmt->handle = number;
  *out = DRV_HandleValue(number);
  return SQL_SUCCESS;
}

// Closes the open result; agentToo false leaves the agent's cursor to the
// agent's release of the statement, which closes it along with the rest.
void closeResult(StmtHandle* stmt, bool agentToo) {
  stmt->needData = 0;
  stmt->cursorChangedPending = false;
  SCR_ResetRowPos(&stmt->cursor);
  if (stmt->state == kStmtPrepared) {
    STMT_CloseCursor(stmt);
    const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
    if (agentToo && ops != nullptr && ops->DRV_CloseCursor != nullptr) {
      const uint32_t code = ops->DRV_CloseCursor(stmt->agentStmt);
      // The failure stays pending: the caller decides whether it fails its call.
      if (code != 0) AgentFail(stmt, code);
    }
    stmt->state = kStmtAllocated;
    stmt->flags &= static_cast<uint16_t>(~kStmtFlagCursorOpen);
  }
  STMT_SetAsideColAttrs(stmt);
}

// The statement goes whatever its cursor's close would report, so the
// close is not asked of the agent on its own.
DRV_Return dropStmt(StmtHandle* stmt) {
  closeResult(stmt, false);
  STMT_Free(stmt);
  return SQL_SUCCESS;
}

}  // namespace

StmtHandle* STMT_Alloc(ConnHandle* conn) {
  auto* stmt = new (std::nothrow) StmtHandle();
  if (stmt == nullptr) {
    Fail(conn, ERR_NO_MEMORY);
    return nullptr;
  }
  const DRV_OpTable* ops = conn->agent.ops;
  uint32_t agentStmt = 0;
  const uint32_t code = ops != nullptr && ops->DRV_AllocStmt != nullptr
                            ? ops->DRV_AllocStmt(conn->agentConn, &agentStmt)
                            : ERR_NOT_CAPABLE;
  if (code != 0) {
    if (TRC_Active()) TRC_Printf("Unable to allocate statement handle");
    delete stmt;
    Fail(conn, static_cast<int32_t>(code));
    return nullptr;
  }
  stmt->conn = conn;
  stmt->agent = &conn->agent;
  stmt->agentStmt = agentStmt;
  stmt->next = conn->firstStmt;
  conn->firstStmt = stmt;
  stmt->serial = ++conn->stmtCounter;
  if (conn->cn_needbind) stmt->flags |= kStmtFlagNeedBind;

  const int cursorCode =
      SCR_CursorStateInitFromStmt(&stmt->cursor, agentStmt, conn->agentConn, &conn->agent, stmt);
  stmt->cursor.fetchScrollSlot = conn->cn_hasDynMixCurs;
  if (cursorCode != 0) {
    STMT_Free(stmt);
    Fail(conn, cursorCode);
    return nullptr;
  }

  // The implicit descriptors, in the order ARD, APD, IRD, IPD.
  for (uint16_t kind : {kDescARD, kDescAPD, kDescIRD, kDescIPD}) {
    DescHandle* d = DESC_Alloc(kind, kDescAllocAuto, stmt, nullptr);
    const int rc = d == nullptr ? ERR_NO_MEMORY : DESC_Register(d);
    if (rc != 0) {
      // Undo everything, the agent's statement and the list link included.
      STMT_Free(stmt);
      Fail(conn, rc);
      return nullptr;
    }
  }
  stmt->connWord = conn->stmtWord;
  STMT_ApplyConnDefaults(stmt);
  return stmt;
}

namespace {

// The most bytes of row storage a closed cursor keeps for its statement's
// next result: a prepared lookup's one-row block, not a block of rows.
constexpr uint64_t kKeptBlockBytes = 4096;

// Whether a closed cursor's row storage stays, empty, for the next fetch to
// fill again when its shape fits (the agent rebuilds it otherwise): small,
// and without long values, which own storage of their own.
bool KeepsRowStorage(const COLSET& rows) {
  if (rows.cols == nullptr || rows.cols_used == 0 || rows.cols_used != rows.col_capacity)
    return false;
  uint64_t bytes = 0;
  for (uint16_t c = 0; c < rows.cols_used; ++c) {
    const COLSET_COL& col = rows.cols[c];
    if (col.type == COLSET_VT_LONGCHAR || col.type == COLSET_VT_LONGBINARY ||
        col.type == COLSET_VT_LONGWCHAR)
      return false;
    bytes += static_cast<uint64_t>(rows.row_capacity) * (col.elem_size + sizeof(uint16_t));
  }
  return bytes <= kKeptBlockBytes;
}

}  // namespace

void STMT_CloseCursor(StmtHandle* stmt) {
  // A prepared lookup closes and fetches a one-row block each round: its
  // storage stays rather than being freed and made again.
  if (KeepsRowStorage(stmt->rows))
    stmt->rows.rows_held = 0;
  else
    ColSetFreeColumns(&stmt->rows);
  SCR_StmtReset(&stmt->cursor);
  FETCH_Reset(&stmt->fetch);
  stmt->fetchColumn = 0;
  stmt->rowIndex = 0;
}

int STMT_Reexecute(StmtHandle* stmt) {
  if (STMT_GetColInfo(stmt) == nullptr) return FailUnlessPending(stmt, ERR_INVALID_CURSOR_STATE);
  // As STMT_CloseCursor, but the columns' storage stays for the agent to
  // fill again: a block of the same shape as the last (every block of a
  // result but its last) is cleared where it lies instead of freed and
  // allocated anew. The agent frees what does not fit the next block.
  stmt->rows.rows_held = 0;
  SCR_StmtReset(&stmt->cursor);
  FETCH_Reset(&stmt->fetch);
  stmt->fetchColumn = 0;
  stmt->rowIndex = 0;
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  const uint32_t rows = stmt->rowsPerBlock > 0xFFFF ? 0xFFFF : stmt->rowsPerBlock;
  const uint32_t code =
      ops != nullptr && ops->DRV_Fetch != nullptr
          ? ops->DRV_Fetch(stmt->agentStmt, static_cast<uint16_t>(rows), &stmt->rows)
          : ERR_NOT_CAPABLE;
  if (code != 0) return AgentFail(stmt, code);
  return 0;
}

void STMT_Close(StmtHandle* stmt) { closeResult(stmt, true); }

void STMT_Unregister(StmtHandle* stmt) {
  CallGuard g(DRV_CallLock());
  if (stmt->handle != 0) HT_Free(&gStmtTable, stmt->handle);
  stmt->handle = 0;
  for (DescHandle* d : {stmt->implicitArd, stmt->implicitApd, stmt->ird, stmt->ipd}) {
    if (d != nullptr && d->handle != 0) {
      HT_Free(&gDescTable, d->handle);
      d->handle = 0;
    }
  }
}

void STMT_Free(StmtHandle* stmt) {
  STMT_Unregister(stmt);
  STMT_FreeColInfo(stmt);
  freeImplicitDescs(stmt);
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops != nullptr && ops->DRV_FreeStmt != nullptr && stmt->agentStmt != 0)
    ops->DRV_FreeStmt(stmt->agentStmt);
  SCR_StmtReset(&stmt->cursor);
  {
    CallGuard g(DRV_CallLock());
    unlinkFromConn(stmt);
  }
  DIAG_Clear(&stmt->diag);
  stmt->tag = kTagReleased;
  stmt->state = kStmtReleased;
  delete stmt;
}

int STMT_PullErrors(StmtHandle* stmt) {
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  int pulled = DRV_PullErrorBatch(ops, stmt->agentStmt, &stmt->diag);
  if (stmt->conn != nullptr) {
    if (pulled > 0) CONN_MaskSecrets(stmt->conn, &stmt->diag);
    pulled += DRV_PullErrors(stmt->conn, stmt);
  }
  return pulled > 0 ? 1 : 0;
}

int32_t STMT_RowNumber(const StmtHandle* stmt, uint32_t row, uint64_t* number) {
  const SCR_CURSOR& cur = stmt->cursor;
  if (cur.cursorType == SQL_CURSOR_FORWARD_ONLY) {
    *number =
        cur.rowStatus != nullptr ? static_cast<uint64_t>(cur.rowsetStart) + row : stmt->rowsFetched;
    return 0;
  }
  uint32_t n = 0;
  const int code = SCR_GetRowNumberFwd(&cur, row, &n);
  *number = n;
  return code;
}

DRV_Return DRV_AllocStmtOp(void* h, va_list args) {
  return allocStmt(static_cast<ConnHandle*>(h), args);
}

DRV_Return DRV_AllocHandleStmtOp(void* h, va_list args) {
  return allocStmt(static_cast<ConnHandle*>(h), args);
}

DRV_Return DRV_FreeHandleStmtOp(void* h, va_list) { return dropStmt(static_cast<StmtHandle*>(h)); }

DRV_Return DRV_FreeStmtOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const int option = va_arg(args, int);
  switch (option) {
    case SQL_CLOSE: STMT_Close(stmt); break;
    case SQL_DROP: return dropStmt(stmt);
    case SQL_UNBIND: BIND_UnbindAll(stmt); break;
    case SQL_RESET_PARAMS: PAR_ResetAll(stmt); break;
    default: return Fail(stmt, ERR_OPTION_RANGE);
  }
  return stmt->diag.pending != 0 ? SQL_ERROR : SQL_SUCCESS;
}

DRV_Return DRV_CloseCursorOp(void* h, va_list) {
  auto* stmt = static_cast<StmtHandle*>(h);
  // An execution leaves the flag behind whether or not it gave a result
  // set; one without result columns (DDL, DML) has no cursor to close.
  if ((stmt->flags & kStmtFlagCursorOpen) == 0 || STMT_GetColInfo(stmt) == nullptr)
    return FailUnlessPending(stmt, ERR_INVALID_CURSOR_STATE);
  STMT_Close(stmt);
  return stmt->diag.pending != 0 ? SQL_ERROR : SQL_SUCCESS;
}
