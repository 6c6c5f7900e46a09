// TEMPORARY: the rowset fetch of a forward-only cursor, standing where the
// scrollable cursor library's rowset fetch and row numbers go. It fetches
// SQL_FETCH_NEXT rowsets of any size through the agent; every other
// orientation answers what a forward-only cursor answers. The cursor
// library replaces this header and its source file.
#ifndef QMR_DRIVER_ROWSET_FWDONLY_PENDING_H
#define QMR_DRIVER_ROWSET_FWDONLY_PENDING_H

#include <cstdint>

#include "driver/handles.h"

// Makes the next rowset current (stmt->fetch.rowStatus): 0 with *count rows
// moved into it, 82 at the end of the result (no rowset left), 38 for an
// orientation other than SQL_FETCH_NEXT, or the agent's code (messages
// pulled). Rows come out of the statement's row buffer, which is refilled
// from the agent as it runs out, so no fetched row is ever dropped.
int32_t FWD_ScrollFetch(StmtHandle* stmt, uint16_t orientation, int64_t row, uint32_t* count);

// The bookmark of row `row` (0-based) of the current rowset, or of the
// current row of the single-row path: its absolute row number.
int32_t FWD_GetRowNumber(StmtHandle* stmt, uint32_t row, uint64_t* number);

#endif
