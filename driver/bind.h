// Column bindings, the ODBC 2 fetch and SQLGetData. The bindings are the
// records of the statement's current ARD: a record whose data pointer is set
// is a bound column, and SQLBindCol writes the record.
#ifndef QMR_DRIVER_BIND_H
#define QMR_DRIVER_BIND_H

#include <sql.h>
#include <sqlext.h>

#include <cstdarg>
#include <cstdint>

#include "driver/handles.h"

// The arguments SQLBindCol and SQLGetData share, read in their order from a
// call's argument list.
struct BIND_Args {
  uint16_t column;
  int16_t cType;
  void* value;
  int64_t size;
  SQLLEN* length;
};
inline BIND_Args BIND_ReadArgs(va_list args) {
  BIND_Args a{};
  a.column = static_cast<uint16_t>(va_arg(args, int));
  a.cType = static_cast<int16_t>(va_arg(args, int));
  a.value = va_arg(args, SQLPOINTER);
  a.size = static_cast<int64_t>(va_arg(args, SQLLEN));
  a.length = va_arg(args, SQLLEN*);
  return a;
}

// SQLBindCol: 0 or an internal code (ERR_INVALID_LENGTH negative length,
// ERR_NOT_CAPABLE no bookmark support, ERR_C_TYPE_RANGE a C type that does
// not exist or does not suit the bookmark column, ERR_NO_MEMORY).
int32_t STMT_BindCol(StmtHandle* stmt, uint16_t column, int16_t cType, void* value,
                     int64_t bufferLength, int64_t* length);
// Removes every binding (SQLFreeStmt SQL_UNBIND): the ARD keeps no record
// above 0 and the bookmark record is unbound; per-row buffers go too.
void BIND_UnbindAll(StmtHandle* stmt);
// Frees one column's per-row buffers: each row's allocation, then both
// arrays; both pointers end up null.
void BIND_FreeRowBuffers(void*** values, uint32_t count, int64_t** lengths);
// Fresh zeroed per-row buffers for every bound column, for the larger of the
// rowset size and `row` rows (the positioned operation's row): 0 or
// ERR_NO_MEMORY.
int32_t BIND_AllocExt(StmtHandle* stmt, uint32_t row);
// The per-row buffers of a column, or null when it has none.
BindRowBuffers* BIND_RowBuffers(StmtHandle* stmt, uint16_t column);

// The ODBC 2 fetch: the next row of the statement's row buffer into the
// bound columns.
SQLRETURN STMT_Fetch(StmtHandle* stmt);
// SQLGetData: one column of the current row (or of the current rowset row).
SQLRETURN STMT_GetData(StmtHandle* stmt, uint16_t column, int16_t cType, void* value,
                       int64_t bufferLength, int64_t* length);

#endif
