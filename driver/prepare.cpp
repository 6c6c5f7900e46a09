// SQLPrepare and SQLExecDirect: the text reaches the agent, its parameters
// are described and counted by kind, and SQLExecDirect hands over to the
// execution code.
#include "driver/prepare.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <memory>

#include "driver/agent_fail.h"
#include "driver/coldesc.h"
#include "driver/ops.h"
#include "driver/rowset/execute.h"
#include "driver/stmt.h"
#include "driver/trace.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"
#include "util/owners.h"
#include "util/strutil.h"

namespace {

const DRV_OpTable* OpsOf(const StmtHandle* stmt) {
  return stmt->agent != nullptr ? stmt->agent->ops : nullptr;
}

// Hands the requested cursor type and concurrency back to the agent when it
// lowered them for an earlier statement. A refusal leaves the current value.
void ResendCursorOptions(StmtHandle* stmt, const DRV_OpTable* ops) {
  SCR_CURSOR& cur = stmt->cursor;
  if ((cur.flags & SCR_FLAG_OPTIONS_CHANGED) == 0) return;
  if (ops->DRV_SetOption != nullptr) {
    uint32_t type = cur.cursorTypeRequested;
    if (ops->DRV_SetOption(stmt->agentStmt, OPT_CURSOR_TYPE, &type) == 0) cur.cursorType = type;
    uint32_t concurrency = cur.concurrencyRequested;
    if (ops->DRV_SetOption(stmt->agentStmt, OPT_CONCURRENCY, &concurrency) == 0)
      cur.concurrency = concurrency;
  }
  cur.flags &= static_cast<uint16_t>(~SCR_FLAG_OPTIONS_CHANGED);
}

// What the agent made of a requested option after preparing; a different
// answer becomes current and is asked for again before the next preparation.
bool ReadBackOption(StmtHandle* stmt, const DRV_OpTable* ops, uint32_t request, uint32_t* current) {
  if (ops->DRV_GetInfo == nullptr) return false;
  uint32_t answer = 0;
  uint16_t length = 0;
  if (ops->DRV_GetInfo(stmt->agentStmt, request, &answer, sizeof answer, &length) != 0)
    return false;
  if (answer == *current) return false;
  *current = answer;
  stmt->cursor.flags |= SCR_FLAG_OPTIONS_CHANGED;
  return true;
}

void CountParamKinds(StmtHandle* stmt) {
  stmt->inParams = 0;
  stmt->outParams = 0;
  stmt->inOutParams = 0;
  stmt->paramRecount = 0;
  for (uint16_t i = 0; i < stmt->paramCount; ++i) {
    const char* name = stmt->paramDescs[i].name;
    if (name[0] == '*' && name[1] == 'U') {
      // The kinds follow the bindings; they are counted at execution.
      stmt->paramRecount = 1;
      break;
    }
    if (name[0] == '*' && name[1] == 'O')
      ++stmt->outParams;
    else if (name[0] == '*' && name[1] == 'B')
      ++stmt->inOutParams;
    else
      ++stmt->inParams;
  }
}

bool BeginsWithSelect(const char* text) {
  static const char kWord[] = "SELECT";
  for (int i = 0; i < 5; ++i) {
    const char c = text[i];
    if (c == '\0') return false;
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (upper != kWord[i]) return false;
  }
  return true;
}

// The argument check and copy both operations share, then Prepare_core.
int PrepareText(StmtHandle* stmt, va_list args) {
  const auto* text = va_arg(args, const char*);
  const int length = va_arg(args, int);
  if (text == nullptr || (length < 0 && length != SQL_NTS)) return Fail(stmt, ERR_INVALID_LENGTH);
  // A text that ends itself is used as it is; one with a length is copied
  // to end it.
  char* copy = nullptr;
  if (length != SQL_NTS) {
    str_nts_dup(&copy, text, length);
    if (copy == nullptr) return Fail(stmt, ERR_NO_MEMORY);
  }
  UniqueFree<char> owned(copy);
  const char* sql = copy != nullptr ? copy : text;
  if (TRC_Active()) TRC_Printf("  [%s]", TRC_Mask(sql).c_str());
  return Prepare_core(stmt, sql);
}

}  // namespace

int Prepare_core(StmtHandle* stmt, const char* text) {
  stmt->cursorChangedPending = false;
  STMT_Close(stmt);
  STMT_FreeColInfo(stmt);
  // Until the agent has the new text, the statement holds nothing that an
  // execution could run.
  stmt->flags &= static_cast<uint16_t>(~kStmtFlagPrepared);

  const DRV_OpTable* ops = OpsOf(stmt);
  if (ops == nullptr || ops->DRV_Prepare == nullptr || ops->DRV_DescribeCols == nullptr)
    return Fail(stmt, ERR_NOT_CAPABLE);
  ResendCursorOptions(stmt, ops);

  uint32_t code = ops->DRV_Prepare(stmt->agentStmt, text);
  if (code != 0) return AgentFail(stmt, code);

  SCR_CURSOR& cur = stmt->cursor;
  cur.cursorTypeRequested = cur.cursorType;
  cur.concurrencyRequested = cur.concurrency;
  const bool changed = ReadBackCursorOptions(stmt);

  code = ops->DRV_DescribeCols(stmt->agentStmt, &stmt->paramCount, &stmt->paramDescs);
  if (code != 0) {
    // Whatever the agent handed over with its refusal is not kept.
    ColDescFree(stmt->paramDescs, stmt->paramCount);
    stmt->paramDescs = nullptr;
    stmt->paramCount = 0;
    const int failed = AgentFail(stmt, code);
    if (ops->DRV_CloseCursor != nullptr) ops->DRV_CloseCursor(stmt->agentStmt);
    return failed;
  }
  // The callers read the outcome from the pending code: a failure to close
  // the earlier cursor does not fail the new preparation.
  ClearPending(stmt);
  if (stmt->paramDescs == nullptr) stmt->paramCount = 0;
  CountParamKinds(stmt);

  stmt->needData = 0;
  stmt->daeParam = 0;
  stmt->daePrevParam = 0;
  stmt->rowIndex = 0;
  if (stmt->conn != nullptr && stmt->conn->cn_needbind)
    stmt->flags &= static_cast<uint16_t>(~kStmtFlagBindsPassed);
  stmt->flags |= kStmtFlagPrepared;
  stmt->flags &= static_cast<uint16_t>(~kStmtFlagCursorOpen);
  stmt->state = kStmtPrepared;
  stmt->isSelect = BeginsWithSelect(text) ? 1 : 0;
  stmt->rowsFetched = 0;
  return changed ? 1 : 0;
}

bool ReadBackCursorOptions(StmtHandle* stmt) {
  const DRV_OpTable* ops = OpsOf(stmt);
  if (ops == nullptr) return false;
  // The cursor library may have lowered what the statement cannot serve.
  SCR_CURSOR& cur = stmt->cursor;
  bool changed = false;
  if (cur.cursorType != SQL_CURSOR_FORWARD_ONLY)
    changed = ReadBackOption(stmt, ops, OPT_CURSOR_TYPE, &cur.cursorType);
  if (cur.concurrency != SQL_CONCUR_READ_ONLY)
    changed = ReadBackOption(stmt, ops, OPT_CONCURRENCY, &cur.concurrency) || changed;
  return changed;
}

DRV_Return DRV_PrepareOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const int rc = PrepareText(stmt, args);
  if (stmt->diag.pending != 0) return SQL_ERROR;
  if (rc == 1) return Warn(stmt, ERR_VALUE_CHANGED);
  return SQL_SUCCESS;
}

DRV_Return DRV_ExecDirectOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const bool changed = PrepareText(stmt, args) == 1;
  if (stmt->diag.pending != 0) return SQL_ERROR;
  DRV_Return rc;
  if (stmt->conn != nullptr && stmt->conn->cn_hasV2DAE != 0) {
    rc = ExecuteWithParamsAlt(stmt);
  } else {
    rc = ExecuteCore(stmt);
    if (rc == SQL_SUCCESS) rc = ExecuteWithParams(stmt);
  }
  // The cursor the statement runs with is not the one asked for: the
  // application learns it here as it would from SQLPrepare, or from the
  // SQLParamData that ends the execution (SQL_NEED_DATA carries no warning).
  stmt->cursorChangedPending = changed && rc == SQL_NEED_DATA;
  if (!changed) return rc;
  return ReportCursorChanged(stmt, rc);
}

DRV_Return ReportCursorChanged(StmtHandle* stmt, DRV_Return rc) {
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
  if (rc == SQL_SUCCESS && stmt->diag.pending == 0 && DIAG_Count(&stmt->diag) == 0)
    return Warn(stmt, ERR_VALUE_CHANGED);
  DIAG_AddCode(&stmt->diag, ERR_VALUE_CHANGED);
  return SQL_SUCCESS_WITH_INFO;
}
