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

int16_t NarrowTextType(int16_t t) {
  switch (t) {
    case SQL_WCHAR: return SQL_CHAR;
    case SQL_WVARCHAR: return SQL_VARCHAR;
    case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
    default: return t;
  }
}

// Column `column` of the first type row of `type`, read on the private
// statement, which is closed again.
DRV_Return LookupOnce(StmtHandle* stmt, int16_t type, uint16_t column, char* buffer, int64_t size,
                      int64_t* length) {
  if (OpenTypeInfo(stmt, type) != 0) return SQL_ERROR;
  stmt->state = kStmtPrepared;
  stmt->flags |= kStmtFlagCursorOpen;
  DRV_Return rc = STMT_Fetch(stmt);
  if (rc == SQL_SUCCESS) rc = STMT_GetData(stmt, column, SQL_C_CHAR, buffer, size, length);
  STMT_Close(stmt);
  return rc;
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
  // A wide text type in a description is the connection's way of
  // delivering text: the server's own row is the narrow type's (a wide
  // statement would otherwise answer OTHER, which it reports as WVARCHAR,
  // for a VARCHAR column). Only a type without such a row is asked as it
  // is (CLOB, say, which a wide statement reports as WLONGVARCHAR only).
  // Whatever the private statement collects is dropped with it; the
  // connection's own pending code stays as it was.
  const int16_t narrow = NarrowTextType(sqlType);
  DRV_Return rc = LookupOnce(stmt, narrow, column, buffer, size, length);
  if (rc == SQL_NO_DATA && narrow != sqlType)
    rc = LookupOnce(stmt, sqlType, column, buffer, size, length);
  STMT_Free(stmt);
  return rc;
}
