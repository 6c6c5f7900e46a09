// The current rowset of a statement: an ODBC row status per row and a row
// buffer with the rowset's values. Whoever fetches a rowset creates it; the
// rowset transfer, SQLGetData on a rowset row, SQLSetPos and
// SQLBulkOperations read it.
#ifndef QMR_UTIL_ROWSTATUS_H
#define QMR_UTIL_ROWSTATUS_H

#include <cstdint>

#include "util/colset.h"

struct ROWSTATUS {
  uint16_t* statuses = nullptr;  // SQL_ROW_* per row
  COLSET* rows = nullptr;        // owned
  uint32_t count = 0;
};

// A new object for n rows stored in *slot: 0, ERR_GENERAL (no slot, n not above
// 0), 16 (memory) or ColSetInit's code. *slot is left alone on failure.
int RowStatusCreate(ROWSTATUS** slot, int64_t n);
// (Re)sizes an object for n rows: every status SQL_ROW_NOROW, an empty row
// buffer. 0, ERR_GENERAL or ERR_NO_MEMORY (the object then holds no arrays).
int RowStatusInit(ROWSTATUS* rs, int64_t n);
// Frees the object's arrays; null is ignored.
void RowStatusClear(ROWSTATUS* rs);
// Clears and frees the object in *slot (if any) and nulls the slot.
void RowStatusFree(ROWSTATUS** slot);

// Status of row n (1-based); SQL_ROW_ERROR outside the rowset or for a
// missing object.
uint16_t SCR_GetRowStatusAt(const ROWSTATUS* rs, int64_t n);
// Sets the status of row n (1-based); false outside the rowset.
bool SCR_SetRowStatusAt(ROWSTATUS* rs, int64_t n, uint16_t status);

#endif
