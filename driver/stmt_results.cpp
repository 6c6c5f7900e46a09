// Cursor names (SQLGetCursorName, SQLSetCursorName) and the advance to the
// next result (SQLMoreResults). The agent keeps the names and the results;
// the core handles the arguments and the statement's own result state.
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <memory>

#include "driver/agent_fail.h"
#include "driver/coldesc.h"
#include "driver/desc.h"
#include "driver/ops.h"
#include "driver/rowset/execute.h"
#include "driver/stmt.h"
#include "driver/trace.h"
#include "util/errcodes.h"
#include "util/owners.h"
#include "util/strutil.h"

namespace {

const DRV_OpTable* OpsOf(const StmtHandle* stmt) {
  return stmt->agent != nullptr ? stmt->agent->ops : nullptr;
}

uint32_t NextResult(StmtHandle* stmt) {
  const DRV_OpTable* ops = OpsOf(stmt);
  if (ops == nullptr || ops->DRV_MoreResults == nullptr)
    return static_cast<uint32_t>(ERR_NOT_CAPABLE);
  return ops->DRV_MoreResults(stmt->agentStmt);
}

}  // namespace

DRV_Return DRV_GetCursorNameOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  auto* buffer = va_arg(args, char*);
  const int size = va_arg(args, int);
  auto* length = va_arg(args, SQLSMALLINT*);
  if (size < 0) return Fail(stmt, ERR_INVALID_LENGTH);
  // Nothing of an earlier call may be read as this call's answer.
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  const DRV_OpTable* ops = OpsOf(stmt);
  if (ops == nullptr || ops->DRV_GetCursorName == nullptr) return Fail(stmt, ERR_NOT_CAPABLE);
  uint16_t got = 0;
  const uint16_t room = static_cast<uint16_t>(size > 0xFFFF ? 0xFFFF : size);
  const uint32_t code = ops->DRV_GetCursorName(stmt->agentStmt, buffer, room, &got);
  if (code != 0 && code != static_cast<uint32_t>(ERR_TRUNCATED)) return AgentFail(stmt, code);
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(got > 0x7FFF ? 0x7FFF : got);
  if (code == 0) return SQL_SUCCESS;
  return Warn(stmt, ERR_TRUNCATED);
}

DRV_Return DRV_SetCursorNameOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto* name = va_arg(args, const char*);
  const int length = va_arg(args, int);
  if (name == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
  if (length < 0 && length != SQL_NTS) return Fail(stmt, ERR_INVALID_LENGTH);
  char* copy = nullptr;
  str_nts_dup(&copy, name, length);
  if (copy == nullptr) return Fail(stmt, ERR_NO_MEMORY);
  UniqueFree<char> owned(copy);
  if (TRC_Active()) TRC_Printf("SetCursorName [%s]", copy);
  const DRV_OpTable* ops = OpsOf(stmt);
  if (ops == nullptr || ops->DRV_SetCursorName == nullptr) return Fail(stmt, ERR_NOT_CAPABLE);
  const uint32_t code = ops->DRV_SetCursorName(stmt->agentStmt, copy);
  if (code != 0) return AgentFail(stmt, code);
  return SQL_SUCCESS;
}

DRV_Return DRV_MoreResultsOp(void* h, va_list) {
  auto* stmt = static_cast<StmtHandle*>(h);
  if (stmt->state != kStmtPrepared) return SQL_NO_DATA;
  if (stmt->conn == nullptr || stmt->conn->cn_hasMoreRes == 0) return SQL_NO_DATA;
  // The current result goes, whatever follows.
  STMT_CloseCursor(stmt);
  STMT_FreeResultCols(stmt);
  // The next result has rows of its own: none counted, none positioned on.
  SCR_ResetRowPos(&stmt->cursor);
  stmt->rowsFetched = 0;

  const uint64_t setsBefore = ParamSetsRun(stmt);
  uint32_t code = NextResult(stmt);
  if (code == ERR_OUTPUT_VALUES) {
    if (stmt->outParams + stmt->inOutParams > 0) {
      const DRV_Return rc = ReturnOutParams(stmt);
      if (rc != SQL_SUCCESS) return rc;
    }
    code = NextResult(stmt);
  }
  if (code == ERR_NO_MORE_RESULTS) return SQL_NO_DATA;
  if (code != 0) {
    const DRV_Return rc = AgentFail(stmt, code);
    if (setsBefore > 0) ReportSetsRun(stmt, setsBefore, rc == SQL_ERROR);
    return rc;
  }
  if (setsBefore > 0) ReportSetsRun(stmt, setsBefore, false);

  // A result without columns (an update count) describes as none.
  const JdbcColDesc* cols = STMT_GetColInfo(stmt);
  if (cols == nullptr && stmt->diag.pending != 0) return SQL_ERROR;
  return SQL_SUCCESS;
}
