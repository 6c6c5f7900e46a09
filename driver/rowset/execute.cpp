// Execution of prepared statements. Parameter values are not converted here
// yet: a statement whose input markers have no bound values is refused with
// 07001, and one without input markers executes at once.
#include "driver/rowset/execute.h"

#include <sql.h>
#include <sqlext.h>

#include "driver/coldesc.h"
#include "driver/ops.h"
#include "driver/stmt.h"

namespace {

constexpr int32_t kSequence = 22;
constexpr int32_t kNotCapable = 43;

// Bound parameters: none can be bound before the parameter code lands.
uint16_t BoundParamCount(const StmtHandle*) { return 0; }

void RecountParamKinds(StmtHandle* stmt) {
  stmt->inParams = 0;
  stmt->outParams = 0;
  stmt->inOutParams = 0;
  for (uint16_t i = 0; i < stmt->paramCount; ++i) {
    const char* name = stmt->paramDescs[i].name;
    // "*U": the direction comes from the binding, and an unbound parameter
    // is an input.
    if (name[0] == '*' && name[1] == 'O')
      ++stmt->outParams;
    else if (name[0] == '*' && name[1] == 'B')
      ++stmt->inOutParams;
    else
      ++stmt->inParams;
  }
}

uint32_t CallExecute(StmtHandle* stmt, const DRV_OpTable* ops, uint16_t n) {
  const ConnHandle* conn = stmt->conn;
  const bool execute2 = conn != nullptr && conn->cn_hasExecute2 != 0;
  if (execute2) {
    SCR_ResetRowPos(&stmt->cursor);
    if (stmt->outParams > 0 && (stmt->flags & (kStmtFlagNeedBind | kStmtFlagBindsPassed)) == kStmtFlagNeedBind) {
      if (ops->DRV_PrepareExecute == nullptr) return kNotCapable;
      const uint32_t code = ops->DRV_PrepareExecute(stmt->agentStmt, nullptr, nullptr, n, nullptr);
      stmt->flags |= kStmtFlagBindsPassed;
      return code;
    }
    return ops->DRV_Execute != nullptr ? ops->DRV_Execute(stmt->agentStmt) : kNotCapable;
  }
  if (stmt->outParams > 0 && (stmt->flags & kStmtFlagNeedBind) != 0 && ops->DRV_BindCols != nullptr) {
    const uint32_t code = ops->DRV_BindCols(stmt->agentStmt, n, nullptr);
    if (code != 0) return code;
  }
  SCR_ResetRowPos(&stmt->cursor);
  return ops->DRV_Execute != nullptr ? ops->DRV_Execute(stmt->agentStmt) : kNotCapable;
}

// The result of an execution the agent accepted: what was described for the
// previous result goes, and so do the rows buffered from it.
void MarkExecuted(StmtHandle* stmt) {
  STMT_CloseCursor(stmt);
  stmt->state = kStmtPrepared;
  stmt->flags |= kStmtFlagCursorOpen;
}

DRV_Return Execute(StmtHandle* stmt) {
  if ((stmt->flags & kStmtFlagPrepared) == 0) {
    stmt->diag.pending = kSequence;
    return SQL_ERROR;
  }
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr) {
    stmt->diag.pending = kNotCapable;
    return SQL_ERROR;
  }
  const uint16_t bound = BoundParamCount(stmt);
  const uint16_t n = stmt->paramCount < bound ? stmt->paramCount : bound;
  stmt->needData = 0;
  if (stmt->paramRecount != 0) RecountParamKinds(stmt);
  if (stmt->inParams + stmt->inOutParams > 0 && n < stmt->paramCount) {
    stmt->diag.pending = kExecWrongParams;
    return SQL_ERROR;
  }

  const uint32_t code = CallExecute(stmt, ops, n);
  stmt->diag.pending = static_cast<int32_t>(code);

  ParamValuesFree(stmt);
  if (code != 0 && code != static_cast<uint32_t>(kExecOutValues)) {
    STMT_PullErrors(stmt);
    if (code != static_cast<uint32_t>(kExecWarning)) return SQL_ERROR;
    // A warning still leaves a result behind.
    MarkExecuted(stmt);
    return SQL_SUCCESS_WITH_INFO;
  }
  MarkExecuted(stmt);
  // Output values are handed back by the parameter code once parameters can
  // be bound; with none bound there is nowhere to put them.
  if (code == static_cast<uint32_t>(kExecOutValues)) stmt->diag.pending = 0;
  return SQL_SUCCESS;
}

}  // namespace

int ParamsNeedData(StmtHandle* stmt) {
  stmt->daeParam = 0;
  stmt->daeSet = 0;
  return 0;
}

DRV_Return ExecuteCore(StmtHandle* stmt) {
  if (stmt->needData != 0) {
    stmt->diag.pending = kSequence;
    return SQL_ERROR;
  }
  stmt->daeParam = 0;
  stmt->daeSet = 0;
  stmt->daeCurrentSet = 0;
  if (ParamsNeedData(stmt) != 0) {
    stmt->needData = 1;
    return SQL_NEED_DATA;
  }
  return SQL_SUCCESS;
}

DRV_Return ExecuteWithParams(StmtHandle* stmt) { return Execute(stmt); }

// Without bound parameters the agent has no values to ask for, so both ways
// of executing come to the same.
DRV_Return ExecuteWithParamsAlt(StmtHandle* stmt) { return Execute(stmt); }

void ParamValuesFree(StmtHandle* stmt) { STMT_FreeResultCols(stmt); }

DRV_Return DRV_ExecuteOp(void* h, va_list) {
  auto* stmt = static_cast<StmtHandle*>(h);
  if (stmt->conn != nullptr && stmt->conn->cn_hasV2DAE != 0) return ExecuteWithParamsAlt(stmt);
  const DRV_Return rc = ExecuteCore(stmt);
  if (rc != SQL_SUCCESS) return rc;
  return ExecuteWithParams(stmt);
}
