// Execution of prepared statements with their parameters: the search for
// values that come at execution, the value set and descriptions handed to
// the agent, the count and statuses of the parameter sets, and the output
// values handed back.
#include "driver/rowset/execute.h"

#include <sql.h>
#include <sqlext.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "driver/coldesc.h"
#include "driver/desc.h"
#include "driver/ops.h"
#include "driver/params.h"
#include "driver/prepare.h"
#include "driver/rowset/paramset.h"
#include "driver/rowset/rowbuf_cut.h"
#include "driver/stmt.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"

namespace {

constexpr uint32_t kNoRowCount = 0xFFFFFFFFu;  // the row count of a statement that has none

// Parameter kind of a marker from its agent-side name; "*U" follows the
// binding's direction.
int16_t MarkerKind(const StmtHandle* stmt, uint16_t i) {
  const char* name = stmt->paramDescs != nullptr ? stmt->paramDescs[i].name : "";
  if (name[0] == '*' && name[1] == 'O') return SQL_PARAM_OUTPUT;
  if (name[0] == '*' && name[1] == 'B') return SQL_PARAM_INPUT_OUTPUT;
  if (name[0] == '*' && name[1] == 'U') {
    ParamBinding b;
    if (ParamResolve(stmt, i + 1, &b) && b.direction != SQL_PARAM_INPUT) return b.direction;
  }
  return SQL_PARAM_INPUT;
}

void RecountParamKinds(StmtHandle* stmt) {
  stmt->inParams = 0;
  stmt->outParams = 0;
  stmt->inOutParams = 0;
  for (uint16_t i = 0; i < stmt->paramCount; ++i) {
    switch (MarkerKind(stmt, i)) {
      case SQL_PARAM_OUTPUT: ++stmt->outParams; break;
      case SQL_PARAM_INPUT_OUTPUT: ++stmt->inOutParams; break;
      default: ++stmt->inParams; break;
    }
  }
}

uint16_t BoundCount(const StmtHandle* stmt) {
  const int n = stmt->apd != nullptr ? DESC_Count(stmt->apd) : 0;
  return static_cast<uint16_t>(n < 0 ? 0 : n);
}

// The value set stays the driver's only for agents that do not keep it.
struct ParamSetOwner {
  COLSET* set = nullptr;
  ~ParamSetOwner() {
    if (set != nullptr) {
      ColSetFreeColumns(set);
      delete set;
    }
  }
  COLSET* Release() {
    COLSET* s = set;
    set = nullptr;
    return s;
  }
};

// One entry a marker for one execute: in place for the usual few markers,
// so that a prepared statement run over and over does not allocate them.
template <class T>
class MarkerArray {
 public:
  explicit MarkerArray(uint16_t n) : n_(n) {
    if (n > kInPlace) heap_.reset(new T[n]());
  }
  T* data() { return n_ > kInPlace ? heap_.get() : inPlace_.data(); }
  const T* data() const { return n_ > kInPlace ? heap_.get() : inPlace_.data(); }
  T& operator[](uint16_t i) { return data()[i]; }
  uint16_t size() const { return n_; }

 private:
  static constexpr uint16_t kInPlace = 8;
  // Value-initialised: descriptions are compared byte by byte (padding too).
  std::array<T, kInPlace> inPlace_{};
  std::unique_ptr<T[]> heap_;
  uint16_t n_;
};

// Hands values and descriptions to the agent and executes; the agent's code.
uint32_t SendAndExecute(StmtHandle* stmt, const DRV_OpTable* ops, ParamSetOwner* owner,
                        const MarkerArray<JdbcColBind>& binds) {
  const ConnHandle* conn = stmt->conn;
  const bool keepsSet = stmt->agent != nullptr && (stmt->agent->agentType & 0x01) == 0;
  const bool describe =
      (stmt->flags & (kStmtFlagNeedBind | kStmtFlagBindsPassed)) == kStmtFlagNeedBind;
  const auto n = static_cast<uint16_t>(binds.size());
  // A set the agent takes is the agent's from the call on.
  COLSET* set = owner->set;
  auto handOver = [&]() -> COLSET* { return keepsSet ? owner->Release() : set; };

  if (conn != nullptr && conn->cn_hasExecute2 != 0 && ops->DRV_PrepareExecute != nullptr) {
    SCR_ResetRowPos(&stmt->cursor);
    if (set == nullptr && !describe) {
      return ops->DRV_Execute != nullptr ? ops->DRV_Execute(stmt->agentStmt) : ERR_NOT_CAPABLE;
    }
    const uint32_t code =
        describe ? ops->DRV_PrepareExecute(stmt->agentStmt, nullptr, handOver(), n, binds.data())
                 : ops->DRV_PrepareExecute(stmt->agentStmt, nullptr, handOver(), 0, nullptr);
    if (describe) {
      stmt->flags |= kStmtFlagBindsPassed;
      stmt->sentBinds.assign(binds.data(), binds.data() + n);
    }
    return code;
  }
  if (set != nullptr) {
    if (ops->DRV_SetParams == nullptr) return ERR_NOT_CAPABLE;
    const uint32_t code = ops->DRV_SetParams(stmt->agentStmt, handOver());
    if (code != 0) return code;
  }
  if ((stmt->flags & kStmtFlagNeedBind) != 0 && n > 0 && ops->DRV_BindCols != nullptr) {
    const uint32_t code = ops->DRV_BindCols(stmt->agentStmt, n, binds.data());
    if (code != 0) return code;
    stmt->sentBinds.assign(binds.data(), binds.data() + n);
  }
  SCR_ResetRowPos(&stmt->cursor);
  return ops->DRV_Execute != nullptr ? ops->DRV_Execute(stmt->agentStmt) : ERR_NOT_CAPABLE;
}

// The result of an execution the agent accepted: what was described for the
// previous result goes, and so do the rows buffered from it.
void MarkExecuted(StmtHandle* stmt) {
  STMT_CloseCursor(stmt);
  stmt->fetchColumn = 0;
  stmt->state = kStmtPrepared;
  stmt->flags |= kStmtFlagCursorOpen;
}

// Statuses of the parameter sets: `done` of the sent sets went through with
// `okStatus`; the one after them (when `failed`) is the failing one, the
// rest were not run.
void SetStatuses(StmtHandle* stmt, uint64_t done, bool failed, uint16_t okStatus) {
  uint16_t* status = stmt->ipd != nullptr ? stmt->ipd->arrayStatus : nullptr;
  if (status == nullptr || stmt->apd == nullptr) return;
  const uint64_t sets = stmt->apd->arraySize;
  uint64_t k = 0;
  for (uint64_t s = 0; s < sets; ++s) {
    if (ParamSetIgnored(stmt, s)) {
      status[s] = SQL_PARAM_UNUSED;
      continue;
    }
    if (k < done)
      status[s] = okStatus;
    else if (failed && k == done)
      status[s] = SQL_PARAM_ERROR;
    else
      status[s] = SQL_PARAM_UNUSED;
    ++k;
  }
}

// The application's parameter set (0-based) of the `sent`-th set sent.
uint64_t AppSetOf(const StmtHandle* stmt, uint64_t sent) {
  const uint64_t sets = stmt->apd != nullptr ? stmt->apd->arraySize : 1;
  for (uint64_t s = 0, k = 0; s < sets; ++s) {
    if (ParamSetIgnored(stmt, s)) continue;
    if (k++ == sent) return s;
  }
  return sent;
}

// Sent sets from..done-1 ran: each with okStatus, but for the last one when
// failed. The statuses of the other sets stay.
void SetStatusesOf(StmtHandle* stmt, uint64_t from, uint64_t done, bool failed, uint16_t okStatus) {
  uint16_t* status = stmt->ipd != nullptr ? stmt->ipd->arrayStatus : nullptr;
  if (status == nullptr || stmt->apd == nullptr) return;
  const uint64_t sets = stmt->apd->arraySize;
  for (uint64_t s = 0, k = 0; s < sets; ++s) {
    if (ParamSetIgnored(stmt, s)) continue;
    if (k >= from && k < done) status[s] = failed && k + 1 == done ? SQL_PARAM_ERROR : okStatus;
    ++k;
  }
}

void SetProcessed(StmtHandle* stmt, uint64_t count) {
  if (stmt->ipd != nullptr && stmt->ipd->rowsProcessed != nullptr)
    *stmt->ipd->rowsProcessed = count;
}

// Whether any parameter hands a value back to the application.
bool HasOutputBindings(const StmtHandle* stmt, uint16_t n) {
  for (uint16_t i = 0; i < n; ++i) {
    if (MarkerKind(stmt, i) == SQL_PARAM_INPUT) continue;
    ParamBinding b;
    if (ParamResolve(stmt, i + 1, &b) && b.direction != SQL_PARAM_INPUT) return true;
  }
  return false;
}

// Which sent parameter set failed, when the agent can tell.
bool FailedSet(const StmtHandle* stmt, const DRV_OpTable* ops, uint32_t* set) {
  if (ops->DRV_GetInfo == nullptr) return false;
  uint16_t len = 0;
  if (ops->DRV_GetInfo(stmt->agentStmt, INFO_SETS_DONE, set, sizeof *set, &len) == 0) return true;
  // The row count stands for the failing set, but only a statement with
  // one has it.
  return ops->DRV_GetInfo(stmt->agentStmt, INFO_ROW_COUNT, set, sizeof *set, &len) == 0 &&
         *set != kNoRowCount;
}

// ODBC 3 answers a searched UPDATE or DELETE that changed no row with
// SQL_NO_DATA; ODBC 2 knew no such answer.
bool ChangedNothing(const StmtHandle* stmt, const DRV_OpTable* ops) {
  const ConnHandle* conn = stmt->conn;
  if (conn == nullptr || conn->env == nullptr || conn->env->odbcVersion < 3) return false;
  if (ops->DRV_GetInfo == nullptr) return false;
  uint32_t nothing = 0;
  uint16_t len = 0;
  return ops->DRV_GetInfo(stmt->agentStmt, INFO_CHANGED_NOTHING, &nothing, sizeof nothing, &len) ==
             0 &&
         nothing == 1;
}

// A warning of the execution: pending when the call does not warn yet, a
// record behind the earlier warning when it does.
DRV_Return AddWarning(StmtHandle* stmt, DRV_Return rc, int32_t code) {
  if (rc != SQL_SUCCESS_WITH_INFO) return Warn(stmt, code);
  DIAG_AddCode(&stmt->diag, code);
  return rc;
}

DRV_Return Execute(StmtHandle* stmt) {
  if ((stmt->flags & kStmtFlagPrepared) == 0) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr) return Fail(stmt, ERR_NOT_CAPABLE);
  const uint16_t bound = BoundCount(stmt);
  const uint16_t n = stmt->paramCount < bound ? stmt->paramCount : bound;
  for (uint16_t i = 0; i < n; ++i) {
    const DescRec* a = DESC_RecAt(i + 1, stmt);
    if (a == nullptr || (a->data == nullptr && a->octetLengthPtr == nullptr))
      return Fail(stmt, ERR_WRONG_PARAM_COUNT);
  }
  stmt->needData = 0;
  stmt->cursorChangedPending = false;
  if (stmt->paramRecount != 0) RecountParamKinds(stmt);
  if (n < stmt->paramCount) return Fail(stmt, ERR_WRONG_PARAM_COUNT);

  // One value column and one description per marker, in marker order: the
  // agent pairs them by position.
  MarkerArray<ParamBinding> bindings(n);
  MarkerArray<JdbcColBind> binds(n);
  for (uint16_t i = 0; i < n; ++i) {
    ParamResolve(stmt, i + 1, &bindings[i]);
    const ParamBinding& b = bindings[i];
    JdbcColBind& d = binds[i];
    d.sqlType = b.sqlType;
    d.unused = static_cast<uint32_t>(static_cast<uint16_t>(b.cType));
    d.columnSize = b.ipd != nullptr ? static_cast<uint32_t>(PAR_ColumnSize(b.ipd)) : 0;
    d.decimalDigits = b.ipd != nullptr ? static_cast<uint16_t>(PAR_DecimalDigits(b.ipd)) : 0;
    d.direction = static_cast<uint16_t>(b.direction);
  }
  // An agent that takes no wide text gets 8-bit descriptions and values.
  const bool narrow = stmt->conn != nullptr && stmt->conn->cn_narrowText != 0;
  if (narrow) ParamDescsNarrowTypes(binds.data(), n);
  // A binding changed since the descriptions went over: send them again.
  if (binds.size() != stmt->sentBinds.size() ||
      (n > 0 && std::memcmp(binds.data(), stmt->sentBinds.data(), n * sizeof(JdbcColBind)) != 0))
    stmt->flags &= static_cast<uint16_t>(~kStmtFlagBindsPassed);

  ParamSetOwner owner;
  uint32_t rowsSent = 0;
  bool cut = false;
  if (n > 0) {
    owner.set = new (std::nothrow) COLSET();
    if (owner.set == nullptr) return Fail(stmt, ERR_NO_MEMORY);
    int rc = ParamSetBuild(stmt, bindings.data(), n, owner.set, &rowsSent, &cut);
    if (rc == 0 && narrow) rc = RB_NarrowWideCols(owner.set);
    if (rc != 0) return Fail(stmt, rc);
  }

  // Values that came at execution keep the sets' one-by-one path.
  if (!stmt->daeValues.empty() && ops->DRV_SetOption != nullptr) {
    uint32_t one = 1;
    ops->DRV_SetOption(stmt->agentStmt, OPT_SETS_ONE_BY_ONE, &one);
  }
  const uint32_t code = SendAndExecute(stmt, ops, &owner, binds);
  const bool outValues = code == static_cast<uint32_t>(ERR_OUTPUT_VALUES);
  const bool warning = code == static_cast<uint32_t>(ERR_COMPLETED_WITH_WARNING);
  // The agent's answer is pending: none (output values waiting to be read
  // are no diagnostic), a warning the execution goes on with, or a failure.
  if (code == 0 || outValues)
    ClearPending(stmt);
  else if (warning)
    Warn(stmt, static_cast<int32_t>(code));
  else
    Fail(stmt, static_cast<int32_t>(code));
  STMT_KeepOrFreeResultCols(stmt, code == 0);

  if (code != 0 && !outValues) {
    STMT_PullErrors(stmt);
    if (!warning) {
      uint32_t last = 0;
      if (FailedSet(stmt, ops, &last)) {
        SetProcessed(stmt, static_cast<uint64_t>(last) + 1);
        SetStatuses(stmt, last, true, SQL_PARAM_SUCCESS);
        // In an array the diagnostic says which set it belongs to.
        if (stmt->apd != nullptr && stmt->apd->arraySize > 1)
          DIAG_SetRowNumber(&stmt->diag, static_cast<int64_t>(AppSetOf(stmt, last)) + 1);
      } else {
        SetStatuses(stmt, 0, true, SQL_PARAM_SUCCESS);
      }
      return SQL_ERROR;
    }
    // A warning still finishes the execution: result, counts and output
    // values, then answers with the warning.
  }

  // Sets that give their own results run one by one: the first now, the
  // others as SQLMoreResults reaches them. Until then they are not
  // processed, and their statuses say they were not used.
  const uint64_t run = rowsSent > 1 ? ParamSetsRun(stmt) : 0;
  const uint64_t processed = run > 0 && run < rowsSent ? run : rowsSent;
  SetProcessed(stmt, processed);
  SetStatuses(stmt, processed, false, warning ? SQL_PARAM_SUCCESS_WITH_INFO : SQL_PARAM_SUCCESS);
  MarkExecuted(stmt);
  DRV_Return rc = SQL_SUCCESS;
  if (stmt->conn != nullptr && stmt->conn->cn_spOutDeferFetch != 0 && !outValues) {
    rc = SQL_SUCCESS;
  } else if (HasOutputBindings(stmt, n)) {
    rc = ReturnOutParams(stmt);
  }
  if (rc == SQL_ERROR || rc == SQL_NO_DATA) return rc;
  if (rc == SQL_SUCCESS && !cut && !warning && ChangedNothing(stmt, ops)) return SQL_NO_DATA;
  if (cut) rc = AddWarning(stmt, rc, ERR_FRACTIONAL_TRUNCATION);
  if (warning) {
    // A result the statement was not expected to give may run under a
    // cursor other than the one asked for (01S02 among the warnings).
    ReadBackCursorOptions(stmt);
    // The warning is reported beside a truncation, never in its place.
    return AddWarning(stmt, rc, ERR_COMPLETED_WITH_WARNING);
  }
  return rc;
}

}  // namespace

int ParamsNeedData(StmtHandle* stmt) {
  const uint16_t bound = BoundCount(stmt);
  const uint16_t n = stmt->paramCount < bound ? stmt->paramCount : bound;
  const uint64_t sets = stmt->apd != nullptr ? stmt->apd->arraySize : 1;
  while (stmt->daeSet < sets) {
    if (!ParamSetIgnored(stmt, stmt->daeSet)) {
      while (stmt->daeParam < n) {
        ParamBinding b;
        if (ParamResolve(stmt, stmt->daeParam + 1, &b) && b.direction != SQL_PARAM_OUTPUT) {
          bool lengthBound = false;
          const int64_t len = ParamLengthAt(stmt, b, stmt->daeSet, &lengthBound);
          if (lengthBound && ParamIsDataAtExec(len)) return 1;
        }
        ++stmt->daeParam;
      }
    }
    stmt->daeParam = 0;
    ++stmt->daeSet;
  }
  stmt->daeParam = 0;
  stmt->daeSet = 0;
  return 0;
}

DRV_Return ExecuteCore(StmtHandle* stmt) {
  if (stmt->needData != 0) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  // Values gathered for an earlier execution are not this one's.
  stmt->daeValues.clear();
  stmt->daeParam = 0;
  stmt->daePrevParam = kDaeNoItem;
  stmt->daeSet = 0;
  stmt->daeCurrentSet = 0;
  if (ParamsNeedData(stmt) != 0) {
    stmt->needData = 1;
    return SQL_NEED_DATA;
  }
  return SQL_SUCCESS;
}

DRV_Return ExecuteWithParams(StmtHandle* stmt) {
  try {
    return Execute(stmt);
  } catch (const std::bad_alloc&) {
    return Fail(stmt, ERR_NO_MEMORY);
  }
}

// No agent gathers values at execution itself, so both ways of executing
// come to the same.
DRV_Return ExecuteWithParamsAlt(StmtHandle* stmt) { return ExecuteWithParams(stmt); }

uint64_t ParamSetsRun(const StmtHandle* stmt) {
  if (stmt->apd == nullptr || stmt->apd->arraySize < 2 || stmt->paramCount == 0) return 0;
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return 0;
  uint32_t done = 0;
  uint16_t len = 0;
  if (ops->DRV_GetInfo(stmt->agentStmt, INFO_SETS_DONE, &done, sizeof done, &len) != 0) return 0;
  return done;
}

void ReportSetsRun(StmtHandle* stmt, uint64_t before, bool failed) {
  const uint64_t done = ParamSetsRun(stmt);
  if (done <= before) return;
  SetProcessed(stmt, done);
  SetStatusesOf(stmt, before, done, failed, SQL_PARAM_SUCCESS);
  if (failed) DIAG_SetRowNumber(&stmt->diag, static_cast<int64_t>(AppSetOf(stmt, done - 1)) + 1);
}

void ParamValuesFree(StmtHandle* stmt) { STMT_FreeResultCols(stmt); }

DRV_Return DRV_ExecuteOp(void* h, va_list) {
  auto* stmt = static_cast<StmtHandle*>(h);
  if (stmt->conn != nullptr && stmt->conn->cn_hasV2DAE != 0) return ExecuteWithParamsAlt(stmt);
  const DRV_Return rc = ExecuteCore(stmt);
  if (rc != SQL_SUCCESS) return rc;
  return ExecuteWithParams(stmt);
}
