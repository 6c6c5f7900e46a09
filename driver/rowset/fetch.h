// Fetched rows into the application's bound columns: SQLFetch (ODBC 3),
// SQLFetchScroll and SQLExtendedFetch, the single-row path over the
// statement's own row buffer and the rowset transfer.
#ifndef QMR_DRIVER_ROWSET_FETCH_H
#define QMR_DRIVER_ROWSET_FETCH_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/handles.h"
#include "driver/rowset/getcolumn.h"
#include "util/errcodes.h"

// Transfer modes of RowsetToBindings.
constexpr int kRowsetPlain = -1;
constexpr int kRowsetRefresh = 1;
constexpr int kRowsetHonourOps = 0;
// Rows fetched by bookmark: the bookmark column is the application's input
// and keeps its values.
constexpr int kRowsetByBookmark = 2;

SQLRETURN FetchCore(StmtHandle* stmt, uint16_t orientation, int64_t offset);
SQLRETURN FetchRowToBindings(StmtHandle* stmt);
SQLRETURN ExtendedFetchCore(StmtHandle* stmt, uint16_t orientation, int64_t row, uint64_t* rowCount,
                            uint16_t* statuses);
// row 0: the whole rowset; else that 1-based row only.
SQLRETURN RowsetToBindings(StmtHandle* stmt, uint16_t* statuses, uint32_t row, int mode);

// The binding of ARD record n with every address moved by `offset` bytes
// (the bind offset) and, for rowset row r, by the row's stride.
BIND_REC BIND_FromRec(const StmtHandle* stmt, uint16_t n, const DescRec* rec, int64_t offset,
                      uint32_t r);
// The bind offset in effect (0 without a bind-offset pointer).
int64_t BIND_Offset(const StmtHandle* stmt);

#endif
