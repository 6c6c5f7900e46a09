// Fetch by bookmark from a static cursor's cache: every row of the result
// is there, so any bookmark of the result can be served, in the order the
// application gave them.
#include <sql.h>
#include <sqlext.h>

#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/ss.h"
#include "util/errcodes.h"

int scs_p_FetchStaticByBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows,
                                uint16_t* statuses, ROWSTATUS** out) {
  SS_CURSOR* ss = cur->staticCursor;
  if (ss == nullptr || (cur->flags & SCR_FLAG_RESULT_CACHED) == 0) return ERR_INVALID_CURSOR_STATE;
  ROWSTATUS* rs = nullptr;
  if (int rc = RowStatusCreate(&rs, rows)) return rc;
  // A continuing fetch (SQLFetch of an ODBC 2 application) goes on where it was.
  const int32_t position = ss->position;
  COLSET* one = nullptr;
  uint32_t found = 0;
  int rc = 0;
  for (uint32_t j = 0; rc == 0 && j < rows; ++j) {
    const uint64_t b = bookmarks[j];
    if (b < 1 || b > static_cast<uint64_t>(cur->rowCount)) continue;
    rc = SS_Fetch(ss, static_cast<int32_t>(b - 1), 1, &one);
    if (rc != 0 || one->rows_held == 0) continue;
    if (found == 0) {
      // Shaped after the first row found; rows no bookmark reaches stay NULL.
      rc = ColSetAlloc(&rs->rows, one, rows);
      if (rc == 0) rs->rows->rows_held = rows;
    }
    if (rc == 0) rc = ColSetCopyRows(rs->rows, one, j, 0, 1);
    if (rc == 0) {
      SCR_SetRowStatusAt(rs, j + 1, SQL_ROW_SUCCESS);
      statuses[j] = SQL_ROW_SUCCESS;
      ++found;
    }
  }
  ColSetDestroy(one);
  ss->position = position;
  if (rc != 0) {
    RowStatusFree(&rs);
    return rc;
  }
  cur->affectedRows = static_cast<int32_t>(found);
  *out = rs;
  return found == rows ? 0 : ERR_ROW_ERROR;
}
