// A static cursor with lock or values concurrency: its rows are read once
// like any static result, and then either their values are kept for the
// comparisons of later positioned changes, or every row is locked. Both
// are read by statements of their own, so the cursor's rows come in key
// order: row n of the cache, of the values and of the keys is one row.
#include <sql.h>
#include <sqlext.h>

#include <new>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/colset_ops.h"
#include "scrs/ksrun.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "ss";

bool ChangeableStatic(const SCR_CURSOR* cur) {
  return cur->cursorType == SQL_CURSOR_STATIC && cur->concurrency != SQL_CONCUR_READ_ONLY &&
         cur->analysis != nullptr && !cur->analysis->ks.keys.empty() &&
         SCR_ConcurrencyError(cur) == 0;
}

// Every key of the result, in the cursor's order, read on the auxiliary
// statement.
int ReadKeys(SCR_CURSOR* cur, COLSET* keys) {
  const SCR_ANALYSIS& a = *cur->analysis;
  SCR_BUILT built;
  KS_ANALYSED app;
  int rc = KS_Analyse(a, a.text, &app);
  if (rc == 0) rc = KS_BuildKeySelect(&app.info, a.ks, a.idents, &built);
  if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Prepare(a.auxStmt, built.text.c_str()));
  COLSET* params = nullptr;
  if (rc == 0) rc = KS_SpliceParams(cur, KS_PLACE{}, nullptr, &params);
  uint32_t run = static_cast<uint32_t>(rc);
  if (run == 0) run = KS_RunPrepared(cur, a.auxStmt, params, KS_SpliceBinds(cur, KS_PLACE{}, {}));
  if (run == 0) run = KS_FetchAll(a.auxStmt, keys);
  SCR_Agent().DRV_CloseCursor(a.auxStmt);
  if (run != 0) KS_MoveErrors(cur, a.auxStmt);
  return static_cast<int>(run);
}

int LockAll(SCR_CURSOR* cur) {
  COLSET keys{};
  int rc = ReadKeys(cur, &keys);
  if (rc == 0 && keys.rows_held > 0) {
    const KS_KEYSET* ks = cur->analysis->keyset.get();
    std::vector<uint16_t> status(keys.rows_held, SQL_ROW_SUCCESS);
    if (ks != nullptr && ks->status.size() >= status.size()) status = ks->status;
    rc = scs_p_LockRows(cur, &keys, status.data(), 0, keys.rows_held);
  }
  ColSetFreeColumns(&keys);
  return rc;
}

}  // namespace

int scs_p_StaticConcurText(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  a.execText.clear();
  if (!ChangeableStatic(cur)) return 0;
  SCR_BUILT ordered;
  KS_ANALYSED app;
  if (int rc = KS_Analyse(a, a.text, &app)) return rc;
  const auto items = static_cast<uint32_t>(a.orderBy.size());
  if (int rc = KS_BuildOrderBy(&app.info, a.ks, a.idents, items, &ordered)) return rc;
  std::string run = ordered.text;
  if (cur->concurrency == SQL_CONCUR_LOCK && a.lockByUpdate == 0) run += " FOR UPDATE";
  if (uint32_t rc = SCR_Agent().DRV_Prepare(cur->stmtHandle, run.c_str()))
    return static_cast<int>(rc);
  a.text = ordered.text;
  a.execText = run;
  return 0;
}

const char* scs_p_ExecText(const SCR_CURSOR* cur) {
  const SCR_ANALYSIS* a = cur->analysis;
  return a != nullptr && a->held && !a->execText.empty() ? a->execText.c_str() : nullptr;
}

int scs_p_StaticConcurrency(SCR_CURSOR* cur) {
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr || !a->concurrencyPending) return 0;
  if (ChangeableStatic(cur)) {
    if (cur->concurrency == SQL_CONCUR_VALUES && a->valuesMode != 2) {
      if (int rc = scs_p_GetOptConcColVals(cur, nullptr, 0, 0, 0, 0)) return rc;
      // Values read apart from the rows are theirs only row for row: rows
      // another user added or removed between the two reads would give a
      // row the values of another.
      if (static_cast<int64_t>(a->keyset->valuesCache.row_count) != cur->rowCount) {
        log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                    "scs_p_StaticConcurrency: values and rows of the result differ");
        return ERR_KEYSET_UPDATES;
      }
    }
    if (cur->concurrency == SQL_CONCUR_LOCK && a->lockByUpdate != 0) {
      if (int rc = LockAll(cur)) return rc;
    }
  }
  // The locks of " FOR UPDATE" last as long as the agent's cursor; a
  // procedure's cursor may still hold output values.
  if (cur->concurrency != SQL_CONCUR_LOCK && cur->kind != SCR_KIND_CALL)
    SCR_Agent().DRV_CloseCursor(cur->stmtHandle);
  a->concurrencyPending = false;
  return 0;
}

uint16_t scs_p_StaticRowStatus(SCR_CURSOR* cur, uint32_t row) {
  KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  if (ks == nullptr || row >= ks->status.size()) return SQL_ROW_SUCCESS;
  uint16_t& s = ks->status[row];
  if (s == SQL_ROW_UPDATED || s == SQL_ROW_ERROR) s = SQL_ROW_SUCCESS;
  return s;
}
