// SQLGetTypeInfo, and single values of the server's type information for
// the descriptor code (type name, literal prefix and suffix), read through a
// private statement.
#include "driver/rowset/typeinfo.h"

#include <sql.h>
#include <sqlext.h>

#include "driver/bind.h"
#include "driver/coldesc.h"
#include "driver/ops.h"
#include "driver/stmt.h"

namespace {

constexpr int32_t kSequenceError = 22;
constexpr int32_t kNotCapable = 43;
constexpr int32_t kNotOpen = 52;

// Asks the agent for the type rows of sqlType on a closed statement: 0 or
// the agent's code.
uint32_t OpenTypeInfo(StmtHandle* stmt, int16_t sqlType) {
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr || ops->DRV_DDGetTypeInfo == nullptr) return kNotCapable;
  return ops->DRV_DDGetTypeInfo(stmt->agentStmt, sqlType);
}

}  // namespace

DRV_Return DRV_GetTypeInfoOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto sqlType = static_cast<int16_t>(static_cast<uint16_t>(va_arg(args, int)));
  STMT_Close(stmt);
  if (stmt->state != kStmtAllocated) {
    stmt->diag.pending = kSequenceError;
    return SQL_ERROR;
  }
  STMT_FreeColInfo(stmt);
  const uint32_t code = OpenTypeInfo(stmt, sqlType);
  stmt->diag.pending = static_cast<int32_t>(code);
  if (code != 0) {
    STMT_PullErrors(stmt);
    return SQL_ERROR;
  }
  stmt->state = kStmtPrepared;
  stmt->flags |= kStmtFlagCursorOpen;
  stmt->rowsFetched = 0;
  return SQL_SUCCESS;
}

DRV_Return TypeInfoLookup(ConnHandle* conn, uint16_t column, int16_t sqlType, char* buffer,
                          int64_t size, int64_t* length) {
  if (conn == nullptr) return SQL_ERROR;
  if (conn->state != kConnConnected) {
    conn->diag.pending = kNotOpen;
    return SQL_ERROR;
  }
  StmtHandle* stmt = STMT_Alloc(conn);
  if (stmt == nullptr) return SQL_ERROR;
  // Whatever the private statement collects is dropped with it; the
  // connection's own pending code stays as it was.
  DRV_Return rc = SQL_ERROR;
  if (OpenTypeInfo(stmt, sqlType) == 0) {
    stmt->state = kStmtPrepared;
    stmt->flags |= kStmtFlagCursorOpen;
    rc = STMT_Fetch(stmt);
    if (rc == SQL_SUCCESS) rc = STMT_GetData(stmt, column, SQL_C_CHAR, buffer, size, length);
  }
  STMT_Close(stmt);
  STMT_Free(stmt);
  return rc;
}
