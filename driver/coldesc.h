// Result-column descriptions of a statement: asked of the agent once per
// result, kept in the statement, and read by SQLNumResultCols,
// SQLDescribeCol, SQLColAttribute(s), the fetch and conversion code and the
// implementation row descriptor.
#ifndef QMR_DRIVER_COLDESC_H
#define QMR_DRIVER_COLDESC_H

#include <cstdint>

#include "driver/handles.h"

// Rows one agent fetch asks for when the connection sets no fetch buffer size.
constexpr uint32_t kDefaultFetchRows = 60;

// The statement's result columns (stmt->colCount of them), asking the agent
// first when the result is not described yet. Null when the agent failed
// (pending code set, messages pulled) and also when the result has no
// columns (pending code 0): a statement without result columns asks again
// on every call.
JdbcColDesc* STMT_GetColInfo(StmtHandle* stmt);

// Result column n (1-based), or for n = 0 the bookmark column when bookmarks
// are on. Null with pending code ERR_INVALID_COLUMN for a column that does not exist,
// or with the describing failure's code. The bookmark record is static:
// callers never free what this returns.
const JdbcColDesc* STMT_GetCol(StmtHandle* stmt, uint32_t n);

// The result's column count for the implementation row descriptor: 0 with
// *count set (0 for a result without columns), or -1 with the pending code
// set (ERR_FUNCTION_SEQUENCE before the statement is prepared, or the
// agent's).
int STMT_ResultColCount(StmtHandle* stmt, uint16_t* count);

// Frees the result description (texts, array, count) and the extra column
// attributes; the parameter descriptions stay. Used between results.
void STMT_FreeResultCols(StmtHandle* stmt);
// Closes the core's cursor state and frees the result description and the
// parameter descriptions.
void STMT_FreeColInfo(StmtHandle* stmt);
// Frees the current result's column attributes.
void STMT_FreeColAttrs(StmtHandle* stmt);
// A close: the column attributes go out of sight, but are set aside while
// the description stays and may serve the next execute.
void STMT_SetAsideColAttrs(StmtHandle* stmt);
// After an execute: the description stays, with its attributes, when the
// execute succeeded and the agent still holds the description it was
// copied from; otherwise it goes, to be asked for again.
void STMT_KeepOrFreeResultCols(StmtHandle* stmt, bool executed);

// Bytes one row takes in the row buffer (values and 16-bit indicators).
uint64_t STMT_RowWidth(const JdbcColDesc* cols, uint16_t count);
// Rows per fetch block for that width: as many as fit in 65535 bytes, at
// most fetchRows, and at least one.
uint32_t STMT_RowsPerBlock(uint64_t width, uint32_t fetchRows);

#endif
