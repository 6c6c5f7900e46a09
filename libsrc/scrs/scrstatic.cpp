// The static cursor of a statement: its result read once into the dataset
// cache and served rowset by rowset from there.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <new>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "scrs/scrvalues.h"
#include "scrs/ss.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "ss";

// A row the fill stood in for a failed one is SQL_ROW_ERROR, its records
// posted again naming its rowset row.
void MarkRows(SCR_CURSOR* cur, ROWSTATUS* rs, uint32_t first) {
  const uint32_t n = rs->rows != nullptr ? rs->rows->rows_held : 0;
  JdbcStmt* s = AGT_Stmt(cur->stmtHandle);
  for (uint32_t r = 1; r <= n; ++r) {
    SCR_SetRowStatusAt(rs, r, scs_p_StaticRowStatus(cur, first + r - 1));
    const DSC_FAILED_ROW* failed = DSC_FailedRow(&cur->staticCursor->cache, first + r - 1);
    if (failed == nullptr) continue;
    SCR_SetRowStatusAt(rs, r, SQL_ROW_ERROR);
    if (s != nullptr) DSC_PostFailedRow(*failed, r, &s->errors);
  }
}

// The result read once; then, for lock or values concurrency, the locks or
// values that go with it, retried by the next fetch when they failed.
int ReadResult(SCR_CURSOR* cur) {
  const bool fresh = (cur->flags & SCR_FLAG_RESULT_CACHED) == 0;
  if (int rc = scs_p_StaticFill(cur)) return rc;
  if (fresh && cur->concurrency != SQL_CONCUR_READ_ONLY && cur->analysis != nullptr)
    cur->analysis->concurrencyPending = true;
  return scs_p_StaticConcurrency(cur);
}

// The kept values of the rowset from cache row first on: their window
// loaded, or (values-column mode 2) the rows just fetched.
int RowsetValues(SCR_CURSOR* cur, const ROWSTATUS* rs, uint32_t first) {
  SCR_ANALYSIS* a = cur->analysis;
  if (cur->concurrency != SQL_CONCUR_VALUES || a == nullptr) return 0;
  if (a->valuesMode == 2) {
    if (!a->keyset) a->keyset.reset(new (std::nothrow) KS_KEYSET());
    if (!a->keyset) return ERR_NO_MEMORY;
    COLSET* copy = nullptr;
    if (int rc = ColSetCreate(&copy, rs->rows)) return rc;
    ColSetDestroy(a->keyset->values);
    a->keyset->values = copy;
    return 0;
  }
  KS_KEYSET* ks = a->keyset.get();
  // Rows another user added or removed between the two reads leave the
  // values shorter than the result; the rows past them have none.
  if (ks == nullptr || ks->values == nullptr || first >= ks->valuesCache.row_count) return 0;
  const uint32_t n = std::min(cur->rowsetSize, ks->valuesCache.row_count - first);
  return DSC_EnsureWindow(&ks->valuesCache, first, n, &ks->valuesWindow, ks->values);
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

int scs_p_StaticOpen(SCR_CURSOR* cur) {
  return cur->staticCursor != nullptr ? 0 : SS_Open(&cur->staticCursor);
}

void scs_p_StaticClose(SCR_CURSOR* cur) {
  SS_Close(cur->staticCursor);
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr) return;
  a->concurrencyPending = false;
  if (KS_KEYSET* ks = a->keyset.get()) {
    DSC_Close(&ks->valuesCache);
    ColSetFreeColumns(ks->values);
    ks->valuesWindow = DSC_NO_WINDOW;
  }
}

void scs_p_StaticFree(SCR_CURSOR* cur) { SS_Free(&cur->staticCursor); }

int scs_p_StaticFill(SCR_CURSOR* cur) {
  if ((cur->flags & SCR_FLAG_RESULT_CACHED) != 0) return 0;
  if (int rc = scs_p_StaticOpen(cur)) return rc;
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
  if (int rc = ReadResult(cur)) return rc;
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
  // Read-only, a long value stays in the cache until it is read or bound
  // (SCR_GetData); the other concurrencies compare the values they hold.
  // The agent's interface numbers the rows of a rowset in 16 bits.
  const bool defer = cur->concurrency == SQL_CONCUR_READ_ONLY && cur->rowsetSize <= UINT16_MAX;
  const int32_t at = static_cast<int32_t>(first);
  if (int rc = defer ? SS_FetchDeferred(cur->staticCursor, at, cur->rowsetSize, &rs->rows)
                     : SS_Fetch(cur->staticCursor, at, cur->rowsetSize, &rs->rows))
    return rc;
  MarkRows(cur, rs, static_cast<uint32_t>(first));
  return RowsetValues(cur, rs, static_cast<uint32_t>(first));
}

int scs_p_FetchStaticNext(SCR_CURSOR* cur, uint16_t n, COLSET** set) {
  if (int rc = ReadResult(cur)) return rc;
  return SS_Fetch(cur->staticCursor, SS_CONTINUE, n, set);
}
