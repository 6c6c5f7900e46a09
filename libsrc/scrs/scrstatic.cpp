// The static cursor of a statement: its result read once into the dataset
// cache and served rowset by rowset from there.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "scrs/ss.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "ss";

void MarkRows(ROWSTATUS* rs) {
  const uint32_t n = rs->rows != nullptr ? rs->rows->rows_held : 0;
  for (uint32_t r = 1; r <= n; ++r) SCR_SetRowStatusAt(rs, r, SQL_ROW_SUCCESS);
}

}  // namespace

int64_t SCR_FirstCacheRow(int32_t row, int64_t count, int64_t size) {
  if (row >= 1) return row - 1;
  if (row == 0) return std::max<int64_t>(0, count - size);
  // Counted from the end: a rowset that reaches row 1 from before it starts
  // there, as long as the distance is within one rowset.
  const int64_t first = count + row;
  return first < 0 && -static_cast<int64_t>(row) <= size ? 0 : first;
}

int scs_p_StaticOpen(SCR_CURSOR* cur) { return SS_Open(&cur->staticCursor); }

void scs_p_StaticClose(SCR_CURSOR* cur) { SS_Close(cur->staticCursor); }

void scs_p_StaticFree(SCR_CURSOR* cur) { SS_Free(&cur->staticCursor); }

int scs_p_StaticFill(SCR_CURSOR* cur) {
  if ((cur->flags & SCR_FLAG_RESULT_CACHED) != 0) return 0;
  if (cur->staticCursor == nullptr) return ERR_GENERAL;
  uint32_t count = 0;
  const int rc = SS_GetRsltSet(cur->staticCursor, &SCR_SavedAgent, cur->stmtHandle, &count);
  if (rc != 0) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "SS_GetRsltSet: Could not fill dataset cache");
    SS_Close(cur->staticCursor);
    cur->rowCount = -1;
    return rc;
  }
  cur->rowCount = static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX));
  cur->flags |= SCR_FLAG_RESULT_CACHED;
  return 0;
}

int scs_p_FetchStatic(SCR_CURSOR* cur, ROWSTATUS* rs, int32_t row) {
  if (int rc = scs_p_StaticFill(cur)) return rc;
  const int64_t count = cur->rowCount;
  const int64_t first = SCR_FirstCacheRow(row, count, cur->rowsetSize);
  if (first < 0) {
    SCR_SetRowPos(cur, SCR_POS_BEFORE_START);
    return ERR_FETCH_BEFORE_START;
  }
  if (first >= count) {
    SCR_SetRowPos(cur, SCR_POS_AFTER_END);
    return ERR_FETCH_BEYOND_END;
  }
  cur->rowsetStart = static_cast<int32_t>(first + 1);
  if (int rc = SS_Fetch(cur->staticCursor, static_cast<int32_t>(first), cur->rowsetSize,
                        &rs->rows))
    return rc;
  MarkRows(rs);
  return 0;
}

int scs_p_FetchStaticNext(SCR_CURSOR* cur, uint16_t n, COLSET** set) {
  if (int rc = scs_p_StaticFill(cur)) return rc;
  return SS_Fetch(cur->staticCursor, SS_CONTINUE, n, set);
}
