// The keyset of a keyset-driven cursor: every key of the result, read at
// execution into the keyset's cache in the order of the result, and the
// re-read of keys that tells which rows still exist.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <new>

#include "drv_jdbc/agent_codes.h"
#include "scrs/colset_ops.h"
#include "scrs/ksrun.h"
#include "scrs/scranalysis.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "ks";
// The memory a keyset's keys may take before they go to the files.
constexpr uint64_t kKeysetMemory = uint64_t{4} << 20;

// The application's statement in key order with the key columns as its
// select list; *place says which of the application's markers it keeps.
int KeySelect(const SCR_ANALYSIS& a, SCR_BUILT* out, KS_PLACE* place) {
  KS_ANALYSED app;
  if (int rc = KS_Analyse(a, a.text, &app)) return rc;
  SCR_BUILT ordered;
  const auto items = static_cast<uint32_t>(a.orderBy.size());
  if (int rc = KS_BuildOrderBy(&app.info, a.ks, a.idents, items, &ordered)) return rc;
  KS_ANALYSED again;
  if (int rc = KS_Analyse(a, ordered.text, &again)) return rc;
  if (int rc = KS_BuildKeySelect(&again.info, a.ks, a.idents, out)) return rc;
  // The markers of the select list went with it.
  const uint32_t had = SCR_MarkerCount(ordered.text), kept = SCR_MarkerCount(out->text);
  place->dropFrom = out->appBefore;
  place->dropped = had > kept ? had - kept : 0;
  return 0;
}

// The key query with its values on the auxiliary statement, read whole.
int FillKeys(SCR_CURSOR* cur, KS_KEYSET* ks, uint32_t* count) {
  SCR_ANALYSIS& a = *cur->analysis;
  SCR_BUILT keys;
  KS_PLACE place;
  if (int rc = KeySelect(a, &keys, &place)) return rc;
  cur->flags |= SCR_FLAG_KEY_ORDER;
  const uint32_t stmt = a.auxStmt;
  uint32_t rc = SCR_Agent().DRV_Prepare(stmt, keys.text.c_str());
  COLSET* params = nullptr;
  if (rc == 0) rc = static_cast<uint32_t>(KS_SpliceParams(cur, place, nullptr, &params));
  if (rc == 0) rc = KS_RunPrepared(cur, stmt, params, KS_SpliceBinds(cur, place, {}));
  if (rc == 0) {
    // Keys are narrow: a keyset of many rows stays in memory, where the
    // fetches read it without a file between.
    ks->cache.memory_bytes = kKeysetMemory;
    rc = static_cast<uint32_t>(DSC_Fill(&ks->cache, &SCR_SavedAgent, stmt, &ks->window, count));
    if (rc != 0)
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                  "KS_GetKeySet_KSD: Could not fill dataset cache");
  }
  SCR_Agent().DRV_CloseCursor(stmt);
  if (rc != 0) KS_MoveErrors(cur, stmt);
  return static_cast<int>(rc);
}

// Whether the cursor reads its rows by key alone: keyset-driven and
// dynamic cursors, not a mixed one.
bool ReadsByKeyAlone(const SCR_CURSOR* cur) {
  return cur->keysetSize == 0 &&
         (cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN || cur->cursorType == SQL_CURSOR_DYNAMIC);
}

}  // namespace

int KS_GetKeySet_KSD(SCR_CURSOR* cur) {
  SCR_ANALYSIS* a = cur->analysis;
  // Only an analysed statement with key columns has a keyset to read.
  if (a == nullptr || a->ks.keys.empty()) return ERR_NOT_CAPABLE;
  a->paramOps = KS_AskAgent(cur, INFO_PARAM_OPS);
  a->markerLimit = KS_AskAgent(cur, INFO_MARKER_LIMIT);
  cur->flags &= static_cast<uint16_t>(~(SCR_FLAG_KEY_ORDER | SCR_FLAG_REFETCH_READY));
  if (!a->keyset) {
    a->keyset.reset(new (std::nothrow) KS_KEYSET());
    if (!a->keyset) return ERR_NO_MEMORY;
  }
  KS_KEYSET* ks = a->keyset.get();
  KS_Close(ks);
  uint32_t count = 0;
  if (int rc = FillKeys(cur, ks, &count)) {
    KS_Close(ks);
    return rc;
  }
  // Keys on disk come back window by window, the first on demand.
  ks->windowFirst = ks->cache.state == DSC_ON_DISK ? DSC_NO_WINDOW : 0;
  try {
    ks->status.assign(count, SQL_ROW_SUCCESS);
  } catch (const std::bad_alloc&) {
    KS_Close(ks);
    return ERR_NO_MEMORY;
  }
  ks->rowCount = count;
  cur->rowCount = static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX));
  return 0;
}

int KS_PrepareNoRows(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  if (!ReadsByKeyAlone(cur) || !a.execText.empty() || a.ks.keys.empty()) return 0;
  KS_ANALYSED app;
  if (int rc = KS_Analyse(a, a.text, &app)) return rc;
  SCR_BUILT none;
  if (int rc = KS_BuildNoRows(&app.info, &none)) return rc;
  if (uint32_t rc = SCR_Agent().DRV_Prepare(cur->stmtHandle, none.text.c_str()))
    return static_cast<int>(rc);
  a.execText = none.text;
  a.execNoRows = true;
  return 0;
}

int KS_RunAsWritten(SCR_CURSOR* cur, bool again) {
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr || !a->execNoRows) return 0;
  if (again && a->held && ReadsByKeyAlone(cur)) return 0;
  a->execNoRows = false;
  a->execText.clear();
  return again ? static_cast<int>(SCR_Agent().DRV_Prepare(cur->stmtHandle, a->text.c_str())) : 0;
}

int KS_ReadKeysByKey(SCR_CURSOR* cur, const COLSET* keys, uint32_t first, COLSET** out) {
  if (out == nullptr) return ERR_GENERAL;
  *out = new (std::nothrow) COLSET();
  if (*out == nullptr) return ERR_NO_MEMORY;
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr || keys == nullptr || a->ks.keys.empty() || keys->cols_used != a->ks.keys.size())
    return ERR_GENERAL;
  if (first >= keys->rows_held) return 0;
  const uint32_t n = std::min(std::max(cur->rowsetSize, 1u), keys->rows_held - first);
  uint32_t blocks = 0, last = 0, size = 0;
  SCR_RowsetBlocks(n, a->markerLimit, KS_AppParamCount(cur),
                   static_cast<uint32_t>(a->ks.keys.size()), &blocks, &last, &size);
  if (blocks == 0) return ERR_GENERAL;
  SCR_BUILT sel, where;
  KS_PLACE place;
  if (int rc = KeySelect(*a, &sel, &place)) return rc;
  KS_ANALYSED an;
  if (int rc = KS_Analyse(*a, sel.text, &an)) return rc;
  if (int rc = KS_BuildKeyWhere(&an.info, a->ks, a->idents, size, &where)) return rc;
  // The key condition's position counted as the application's text counts.
  place.libAt = where.appBefore + (where.appBefore >= place.dropFrom ? place.dropped : 0);
  // The re-read takes the refetch statement, which is built again for the
  // next rowset: the values statement keeps what the values cache put there.
  const uint32_t stmt = KS_RefetchStmt(cur);
  if (stmt == 0) return ERR_GENERAL;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_REFETCH_READY);
  const std::vector<JdbcColBind> binds = KS_SpliceBinds(cur, place, KS_KeyDescs(*a, size));
  uint32_t rc = SCR_Agent().DRV_Prepare(stmt, where.text.c_str());
  for (uint32_t b = 0; rc == 0 && b < blocks; ++b) {
    COLSET *keyParams = nullptr, *params = nullptr;
    rc = static_cast<uint32_t>(KS_KeyParams(
        keys, first + b * size, size, b + 1 == blocks ? last : size, &keyParams, a->paramOps != 0));
    if (rc == 0) rc = static_cast<uint32_t>(KS_SpliceParams(cur, place, keyParams, &params));
    if (rc == 0) rc = KS_RunPrepared(cur, stmt, params, binds);
    if (rc == 0) rc = KS_FetchAll(stmt, *out);
    SCR_Agent().DRV_CloseCursor(stmt);
  }
  if (rc != 0) KS_MoveErrors(cur, stmt);
  return static_cast<int>(rc);
}
