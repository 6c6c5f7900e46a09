// SQLFetch and SQLGetData.
#include <sql.h>
#include <sqlext.h>

#include "driver/bind.h"
#include "driver/desc.h"
#include "driver/ops.h"
#include "driver/rowset/fetch.h"
#include "driver/rowset/getcolumn.h"
#include "util/errcodes.h"
#include "util/rowstatus.h"

SQLRETURN STMT_Fetch(StmtHandle* stmt) {
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  return FetchRowToBindings(stmt);
}

SQLRETURN STMT_GetData(StmtHandle* stmt, uint16_t column, int16_t cType, void* value,
                       int64_t bufferLength, int64_t* length) {
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  BIND_REC b;
  b.column = column;
  b.cType = cType;
  b.data = value;
  b.bufferLength = bufferLength;
  b.length = length;
  b.indicator = length;
  b.inPieces = true;
  if (ROWSTATUS* rs = stmt->cursor.rowStatus) {
    // The row of the rowset the cursor stands on (SQLSetPos moves it).
    const int32_t pos = stmt->cursor.position;
    if (pos < 1) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
    const uint16_t st = SCR_GetRowStatusAt(rs, pos);
    if (st == SQL_ROW_ERROR || st == SQL_ROW_DELETED)
      return Fail(stmt, ERR_INVALID_CURSOR_POSITION);
    return GetColumn(stmt, pos - 1, &b, rs->rows);
  }
  // Before the first fetch and after the last there is no current row.
  if (stmt->rowIndex == 0 || stmt->rowIndex > stmt->rows.rows_held)
    return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  return GetColumn(stmt, stmt->rowIndex - 1u, &b, &stmt->rows);
}

DRV_Return DRV_FetchOp(void* h, va_list) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const uint32_t version =
      stmt->conn != nullptr && stmt->conn->env != nullptr ? stmt->conn->env->odbcVersion : 3;
  if (version == 2) return STMT_Fetch(stmt);
  return FetchCore(stmt, SQL_FETCH_NEXT, 0);
}

DRV_Return DRV_GetDataOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const BIND_Args a = BIND_ReadArgs(args);
  // SQL_GETDATA_EXTENSIONS leaves out SQL_GD_BOUND: a bound column's value
  // belongs to the fetch, and reading it here would find it consumed.
  if (stmt->state == kStmtPrepared && DESC_FindRec(a.column, stmt) != nullptr)
    return Fail(stmt, ERR_INVALID_COLUMN);
  return STMT_GetData(stmt, a.column, a.cType, a.value, a.size, a.length);
}
