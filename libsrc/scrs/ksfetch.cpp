// The rowset of a keyset-driven cursor: the keys of the rowset taken from
// the keyset, their rows read afresh from the database by key on the
// cursor's refetch statement, and each row put in the place of its key.
// The database returns the rows of a refetch in any order, so rows are
// matched to keys by their key values, never by their place in the result.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <numeric>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "scrs/colset_ops.h"
#include "scrs/ksrun.h"
#include "scrs/scranalysis.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";
const char kMark[] = SCR_SQL_MARK;
// SCR_ANALYSIS::refetchGroups of a refetch built for a range of keys.
constexpr uint32_t kRangeRefetch = UINT32_MAX;

// The key values of a row (columns from..from+count-1) as one comparable
// string, as the values cache compares them.
std::string KeyOf(const COLSET* set, uint16_t from, uint16_t count, uint32_t row) {
  std::vector<uint16_t> cols(count);
  std::iota(cols.begin(), cols.end(), from);
  return scs_p_KeyText(set, cols, row);
}

// Whether row i of a and row j of b hold the same key, value for value and
// byte for byte (different bytes that may still be one key are left to the
// key texts).
bool SameKey(const COLSET* a, uint32_t i, const COLSET* b, uint32_t j) {
  if (a->cols_used != b->cols_used) return false;
  for (uint16_t c = 0; c < a->cols_used; ++c) {
    const COLSET_COL& x = a->cols[c];
    const COLSET_COL& y = b->cols[c];
    if (x.type != y.type || x.elem_size != y.elem_size || x.ind[i] != y.ind[j]) return false;
  }
  int equal = 0;
  return ColSetCompareRow(a, i, b, j, &equal) == 0 && equal == 1;
}

// Builds and prepares the refetch statement for `groups` keys, or for the
// keys from a first to a last (kRangeRefetch).
int PrepareRefetch(SCR_CURSOR* cur, uint32_t groups) {
  SCR_ANALYSIS& a = *cur->analysis;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_REFETCH_READY);
  SCR_BUILT sel;
  if (int rc = KS_WithKeys(a, &sel)) return rc;
  KS_ANALYSED an;
  if (int rc = KS_Analyse(a, sel.text, &an)) return rc;
  if (int rc =
          groups == kRangeRefetch
              ? KS_BuildKeyRange(&an.info, a.ks, a.orderBy, a.idents, a.sortColumns, &a.refetch)
              : KS_BuildKeyWhere(&an.info, a.ks, a.idents, groups, &a.refetch))
    return rc;
  // Where the data source takes no FOR UPDATE, the rows are locked by
  // updating them after the refetch instead.
  if (cur->concurrency == SQL_CONCUR_LOCK && a.lockByUpdate == 0) a.refetch.text += " FOR UPDATE";
  if (KS_RefetchStmt(cur) == 0) return ERR_GENERAL;
  if (uint32_t rc = SCR_Agent().DRV_Prepare(a.refetchStmt, a.refetch.text.c_str())) {
    KS_MoveErrors(cur, a.refetchStmt);
    return static_cast<int>(rc);
  }
  a.refetchGroups = groups;
  cur->flags |= SCR_FLAG_REFETCH_READY;
  return 0;
}

// The rows of keyset rows first..first+n-1 (window rows from wFirst on),
// in blocks of `size` keys, appended to *got in the order they come.
int Refetch(SCR_CURSOR* cur, uint32_t wFirst, uint32_t n, uint32_t size, COLSET* got,
            ColSetPtr* onlyBlock, std::vector<DSC_FAILED_ROW>* failed) {
  SCR_ANALYSIS& a = *cur->analysis;
  KS_KEYSET& ks = *a.keyset;
  KS_PLACE place;
  place.libAt = a.refetch.appBefore;
  const std::vector<JdbcColBind> binds = KS_SpliceBinds(cur, place, KS_KeyDescs(a, size));
  const uint32_t stmt = a.refetchStmt;
  const uint32_t blocks = (n + size - 1) / size;
  uint32_t rc = 0;
  for (uint32_t b = 0; rc == 0 && b < blocks; ++b) {
    COLSET *keys = nullptr, *params = nullptr;
    rc = static_cast<uint32_t>(KS_KeyParams(&ks.window, wFirst + b * size, size,
                                            std::min(size, n - b * size), &keys, a.paramOps != 0));
    ColSetPtr keyParams(keys);
    // The values cache reuses the parameters of a rowset read in one block.
    if (rc == 0 && blocks == 1 && cur->concurrency == SQL_CONCUR_VALUES)
      rc = static_cast<uint32_t>(ColSetCreate(onlyBlock, keyParams.get()));
    if (rc == 0)
      rc = static_cast<uint32_t>(KS_SpliceParams(cur, place, keyParams.release(), &params));
    if (rc == 0) rc = KS_RunPrepared(cur, stmt, params, binds);
    if (rc == 0) rc = KS_FetchAll(stmt, got, failed);
    // Under lock concurrency the result stays open so that its locks hold.
    if (cur->concurrency != SQL_CONCUR_LOCK) SCR_Agent().DRV_CloseCursor(stmt);
  }
  if (rc != 0) KS_MoveErrors(cur, stmt);
  return static_cast<int>(rc);
}

// Whether the keys of window rows w..w+n-1 are refetched as the range from
// the first to the last: in a result in key order no other key of the
// keyset lies between them, and a row that came into the range since (or a
// row whose key changed into it) is left out by its key as a key the block
// does not hold. A NULL key would fall out of the range: those go by key.
bool ByRange(const SCR_CURSOR* cur, const KS_KEYSET& ks, uint32_t w, uint32_t n) {
  const SCR_ANALYSIS& a = *cur->analysis;
  if (!KS_OrderedByKeys(a.ks, a.orderBy, a.idents, a.sortColumns)) return false;
  const auto nkeys = static_cast<uint16_t>(a.ks.keys.size());
  if (ks.window.cols_used != nkeys || w + n > ks.window.rows_held) return false;
  for (uint16_t c = 0; c < nkeys; ++c) {
    const uint16_t* ind = ks.window.cols[c].ind;
    if (std::find(ind + w, ind + w + n, COLSET_IND_NULL) != ind + w + n) return false;
  }
  return true;
}

// The rows of the keys of window rows w..w+n-1 and of any other key between
// them, by the range refetch, appended to *got.
int RefetchRange(SCR_CURSOR* cur, uint32_t w, uint32_t n, COLSET* got,
                 std::vector<DSC_FAILED_ROW>* failed) {
  SCR_ANALYSIS& a = *cur->analysis;
  KS_KEYSET& ks = *a.keyset;
  const std::vector<uint16_t>& cols = a.refetch.boundCols;
  const auto split =
      static_cast<std::ptrdiff_t>(std::min<size_t>(a.refetch.lowerMarkers, cols.size()));
  const std::vector<uint16_t> from(cols.begin(), cols.begin() + split),
      to(cols.begin() + split, cols.end());
  std::vector<SCR_PARAMDESC> descs;
  for (uint16_t c : cols) {
    SCR_PARAMDESC p{};
    SCR_ParamDescFromCol(a.ks.keys[c], &p);
    if (a.needsBinding != 0) descs.push_back(p);
  }
  KS_PLACE place;
  place.libAt = a.refetch.appBefore;
  COLSET *lo = nullptr, *hi = nullptr, *params = nullptr;
  int rc = SCR_ColumnsToParams(&ks.window, from, w, &lo, a.paramOps != 0);
  ColSetPtr loHeld(lo);
  if (rc == 0) rc = SCR_ColumnsToParams(&ks.window, to, w + n - 1, &hi, a.paramOps != 0);
  ColSetPtr hiHeld(hi);
  // The first key's values go first, as their markers do.
  if (rc == 0) rc = ColSetMerge(hi, lo);
  if (rc == 0) rc = KS_SpliceParams(cur, place, hiHeld.release(), &params);
  const uint32_t stmt = a.refetchStmt;
  uint32_t run = static_cast<uint32_t>(rc);
  if (run == 0) run = KS_RunPrepared(cur, stmt, params, KS_SpliceBinds(cur, place, descs));
  if (run == 0) run = KS_FetchAll(stmt, got, failed);
  SCR_Agent().DRV_CloseCursor(stmt);
  if (run != 0) KS_MoveErrors(cur, stmt);
  return static_cast<int>(run);
}

// Row locks or concurrency values of the rowset just read.
int AfterRefetch(SCR_CURSOR* cur, uint32_t t, uint32_t n, uint32_t size, ColSetPtr onlyBlock) {
  SCR_ANALYSIS& a = *cur->analysis;
  KS_KEYSET& ks = *a.keyset;
  if (SCR_ConcurrencyError(cur) != 0) return 0;
  if (cur->concurrency == SQL_CONCUR_VALUES) {
    const uint32_t blocks = (n + size - 1) / size;
    return scs_p_GetOptConcColVals(cur, onlyBlock.release(), t, blocks, size,
                                   n - (blocks - 1) * size);
  }
  onlyBlock.reset();
  if (cur->concurrency == SQL_CONCUR_LOCK && a.lockByUpdate != 0) {
    const uint32_t w = static_cast<uint32_t>(ks.windowFirst);
    return scs_p_LockRows(cur, &ks.window, ks.status.data() + w, t - w, n);
  }
  return 0;
}

// The keys of rows first.. of the window that the refetch did not bring
// back: gone (SQL_ROW_DELETED) unless a re-read by key still finds them.
int ConfirmGone(SCR_CURSOR* cur, const std::vector<uint32_t>& missing, uint32_t first) {
  KS_KEYSET& ks = *cur->analysis->keyset;
  const uint32_t w0 = first - static_cast<uint32_t>(ks.windowFirst);
  COLSET* keys = nullptr;
  int rc = ColSetAlloc(&keys, &ks.window, static_cast<uint32_t>(missing.size()));
  for (size_t k = 0; rc == 0 && k < missing.size(); ++k)
    rc = ColSetCopyRows(keys, &ks.window, static_cast<uint32_t>(k), w0 + missing[k], 0);
  ColSetPtr keysHeld(keys);
  if (rc != 0) return rc;
  const auto nkeys = static_cast<uint16_t>(keys->cols_used);
  std::unordered_map<std::string, bool> still;
  // The keys are read back a rowset at a time: rows read ahead may miss
  // more than a rowset holds.
  for (uint32_t from = 0; from < keys->rows_held; from += std::max(cur->rowsetSize, 1u)) {
    COLSET* back = nullptr;
    rc = KS_ReadKeysByKey(cur, keys, from, &back);
    ColSetPtr backHeld(back);
    if (rc != 0) return rc;
    for (uint32_t j = 0; back->cols_used == nkeys && j < back->rows_held; ++j)
      still[KeyOf(back, 0, nkeys, j)] = true;
  }
  for (size_t k = 0; k < missing.size(); ++k) {
    const bool exists = still.count(KeyOf(keys, 0, nkeys, static_cast<uint32_t>(k))) != 0;
    ks.status[first + missing[k]] = exists ? SQL_ROW_ERROR : SQL_ROW_DELETED;
  }
  return 0;
}

// The rows a refetch failed alone came in keyset order, and they are the
// rows of first..first+span-1 that still exist without coming back
// (SQL_ROW_ERROR): their records go to those rows in turn.
void KeepFailures(KS_KEYSET* ks, uint32_t first, uint32_t span,
                  std::vector<DSC_FAILED_ROW>* failed) {
  size_t next = 0;
  for (uint32_t i = first; i < first + span; ++i) {
    ks->failedRows.erase(i);
    if (ks->status[i] != SQL_ROW_ERROR || next == failed->size()) continue;
    (*failed)[next].row = i;
    ks->failedRows.emplace(i, std::move((*failed)[next++]));
  }
}

// The records of the failed rows of the rowset at keyset row `first`,
// posted on the cursor's statement naming their rowset rows.
void PostFailures(const SCR_CURSOR* cur, const KS_KEYSET& ks, uint32_t first, uint32_t n) {
  JdbcStmt* s = AGT_Stmt(cur->stmtHandle);
  for (uint32_t i = 0; s != nullptr && i < n; ++i) {
    const auto at = ks.failedRows.find(first + i);
    if (ks.status[first + i] == SQL_ROW_ERROR && at != ks.failedRows.end())
      DSC_PostFailedRow(at->second, i + 1, &s->errors);
  }
}

// Whether the rowset at keyset row `first` is read with the rows that
// follow it: the application reads forward from the rowset before, in
// rowsets far smaller than a block, and no lock or kept value ties a row
// to the moment it was read.
bool ReadsAhead(const SCR_CURSOR* cur, const KS_KEYSET& ks, uint32_t first) {
  return cur->concurrency == SQL_CONCUR_READ_ONLY && cur->rowsetSize * 4 <= KS_AHEAD_FIRST &&
         first == ks.nextRow;
}

// The rowset of keyset rows first..first+n-1 taken from the rows read
// ahead when they hold it.
bool TakeAhead(const SCR_CURSOR* cur, KS_KEYSET* ks, uint32_t first, uint32_t n, ROWSTATUS* rs,
               int* rc) {
  COLSET* ahead = ks->ahead.get();
  if (ahead == nullptr || first != ks->aheadFirst || n > ahead->rows_held - ks->aheadNext)
    return false;
  ColSetPtr out;
  *rc = KS_RowsetFrom(ks, ahead, ks->aheadNext, n, 1, &out);
  if (*rc != 0) return true;
  ks->aheadNext += n;
  ks->aheadFirst += n;
  ColSetFreeColumns(rs->rows);
  *rs->rows = *out;
  *out = COLSET{};
  for (uint32_t i = 0; i < n; ++i) SCR_SetRowStatusAt(rs, i + 1, ks->status[first + i]);
  PostFailures(cur, *ks, first, n);
  return true;
}

// Rows n.. of `got` (keyset rows first + n..) become the rows read ahead;
// the first n stay.
// The whole of `got` is kept, the rows handed out counted off by aheadNext:
// copying the rest into a set of its own would cost a copy of every row.
int KeepAhead(KS_KEYSET* ks, COLSET* got, uint32_t first, uint32_t n) {
  if (got->rows_held <= n) return 0;
  KS_NoteAheadWidth(ks, got);
  ColSetPtr head;
  int rc = ColSetAlloc(&head, got, n);
  for (uint32_t i = 0; rc == 0 && i < n; ++i) rc = ColSetCopyRows(head.get(), got, i, i, 1);
  ColSetPtr rest(rc == 0 ? new (std::nothrow) COLSET() : nullptr);
  if (rc == 0 && !rest) rc = ERR_NO_MEMORY;
  if (rc != 0) return rc;
  *rest = *got;
  *got = *head;
  *head = COLSET{};
  ks->ahead = std::move(rest);
  ks->aheadFirst = first + n;
  ks->aheadNext = n;
  return 0;
}

}  // namespace

int KS_ListBehind(const SCR_ANALYSIS& a, const std::string& text, const std::string& extra,
                  SCR_BUILT* out) {
  KS_ANALYSED app;
  if (int rc = KS_Analyse(a, text, &app)) return rc;
  const std::string before = app.info.tree->text != nullptr ? app.info.tree->text : "";
  if (int rc = SCR_ReplaceSelectList(&app.info)) return rc;
  const std::string after = app.info.tree->text != nullptr ? app.info.tree->text : "";
  size_t same = 0;
  while (same < before.size() && same < after.size() && before[same] == after[same]) ++same;
  const size_t at = after.find(kMark, same >= 2 ? same - 2 : 0, 3);
  if (at == std::string::npos || after.size() - at - 3 > before.size() - at) return ERR_GENERAL;
  const std::string list = before.substr(at, before.size() - (after.size() - 3));
  return SCR_SpliceAtMark(before, after.c_str(), list + extra, out);
}

// The application's select list with the key columns behind it: the
// refetch carries the keys whether or not the application selects them, and
// they are cut off again before the rowset is handed on.
int KS_WithKeys(const SCR_ANALYSIS& a, SCR_BUILT* out) {
  std::string keys;
  for (const SCR_COLDESC& k : a.ks.keys) {
    keys += ", ";
    if (!SCR_QualifiedColName(a.ks.tableCount, k, a.idents, &keys)) return ERR_GENERAL;
  }
  return KS_ListBehind(a, a.text, keys, out);
}

int SCR_MarkDeletedRows(SCR_CURSOR* cur, COLSET* rows, uint32_t first, uint32_t count) {
  SCR_ANALYSIS* a = cur->analysis;
  KS_KEYSET* ks = a != nullptr ? a->keyset.get() : nullptr;
  JdbcStmt* s = a != nullptr ? AGT_Stmt(a->refetchStmt) : nullptr;
  const auto nkeys = static_cast<uint16_t>(a != nullptr ? a->ks.keys.size() : 0);
  if (ks == nullptr || rows == nullptr || s == nullptr || s->cols == nullptr ||
      s->colCount <= nkeys || ks->windowFirst < 0 || first < static_cast<uint32_t>(ks->windowFirst))
    return ERR_GENERAL;
  const uint32_t w0 = first - static_cast<uint32_t>(ks->windowFirst);
  if (w0 >= ks->window.rows_held || first >= ks->rowCount) return ERR_GENERAL;
  const uint32_t n = std::min({count, ks->window.rows_held - w0, ks->rowCount - first});
  const auto appCols = static_cast<uint16_t>(s->colCount - nkeys);
  if (rows->cols_used != 0 && rows->cols_used != s->colCount) return ERR_GENERAL;
  // The rows of a refetch by range come in key order, mostly one for each
  // key in turn: each is tried at the next place before any key text is
  // made, and the keys are looked up by their text only once one is not
  // found there.
  std::unordered_map<std::string, uint32_t> came;
  bool mapped = false;
  COLSET keysOf = *rows;  // the key columns behind the application's, rows' storage
  keysOf.cols = rows->cols_used != 0 ? rows->cols + appCols : nullptr;
  keysOf.cols_used = nkeys;
  keysOf.col_capacity = nkeys;
  uint32_t next = 0;
  // Most often every key found its row at its own place: the rows are the
  // rowset as they came, with nothing to copy.
  uint32_t inPlace = 0;
  while (rows->cols_used != 0 && rows->rows_held == n && inPlace < n &&
         SameKey(&ks->window, w0 + inPlace, &keysOf, inPlace))
    ++inPlace;
  if (n > 0 && inPlace == n) {
    for (uint32_t i = 0; i < n; ++i) {
      uint16_t& st = ks->status[first + i];
      if (st == SQL_ROW_ERROR || st == SQL_ROW_DELETED) st = SQL_ROW_SUCCESS;
    }
    for (uint16_t k = 0; k < nkeys; ++k) {
      if (int rc = ColSetRemoveColumn(rows, appCols)) return rc;
    }
    return 0;
  }
  ColSetPtr out(new (std::nothrow) COLSET());
  if (!out) return ERR_NO_MEMORY;
  if (int rc = ColSetBuild(s->cols, s->colCount, n, out.get())) return rc;
  out->rows_held = n;
  std::vector<uint32_t> missing;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t at = UINT32_MAX;
    if (!mapped && rows->cols_used != 0 && next < rows->rows_held &&
        SameKey(&ks->window, w0 + i, &keysOf, next))
      at = next++;
    if (at == UINT32_MAX) {
      if (!mapped) {
        for (uint32_t j = 0; rows->cols_used != 0 && j < rows->rows_held; ++j)
          came.emplace(KeyOf(rows, appCols, nkeys, j), j);
        mapped = true;
      }
      const auto it = came.find(KeyOf(&ks->window, 0, nkeys, w0 + i));
      if (it != came.end()) at = it->second;
    }
    if (at == UINT32_MAX) {
      missing.push_back(i);
      continue;
    }
    if (int rc = ColSetCopyRows(out.get(), rows, i, at, 1)) return rc;
    uint16_t& st = ks->status[first + i];
    if (st == SQL_ROW_ERROR || st == SQL_ROW_DELETED) st = SQL_ROW_SUCCESS;
  }
  if (!missing.empty()) {
    if (int rc = ConfirmGone(cur, missing, first)) return rc;
  }
  for (uint16_t k = 0; k < nkeys; ++k) {
    if (int rc = ColSetRemoveColumn(out.get(), appCols)) return rc;
  }
  ColSetFreeColumns(rows);
  *rows = *out;
  *out = COLSET{};
  return 0;
}

int scs_p_FetchKeyset(SCR_CURSOR* cur, ROWSTATUS* rs, int32_t row) {
  SCR_ANALYSIS* a = cur->analysis;
  KS_KEYSET* ks = a != nullptr ? a->keyset.get() : nullptr;
  if (ks == nullptr || rs == nullptr || rs->rows == nullptr) return ERR_GENERAL;
  const int64_t count = ks->rowCount;
  const int64_t t = SCR_FirstCacheRow(row, count, cur->rowsetSize);
  if (t < 0) {
    SCR_SetRowPos(cur, SCR_POS_BEFORE_START);
    return ERR_FETCH_BEFORE_START;
  }
  if (t >= count) {
    SCR_SetRowPos(cur, SCR_POS_AFTER_END);
    return ERR_FETCH_BEYOND_END;
  }
  const auto first = static_cast<uint32_t>(t);
  const uint32_t n = std::min<uint32_t>(std::max(cur->rowsetSize, 1u), ks->rowCount - first);
  cur->rowsetStart = static_cast<int32_t>(first + 1);
  int took = 0;
  if (TakeAhead(cur, ks, first, n, rs, &took)) {
    if (took == 0) ks->nextRow = first + n;
    return took;
  }
  const bool ahead = ReadsAhead(cur, *ks, first);
  const uint32_t spanWas = ks->aheadSpan;
  KS_DropAhead(ks);
  ks->aheadSpan = ahead ? spanWas : 0;
  const uint32_t span = ahead ? std::min(KS_AheadSpan(ks), ks->rowCount - first) : n;
  if (int rc = DSC_EnsureWindow(&ks->cache, first, span, &ks->windowFirst, &ks->window)) return rc;
  // Every key of the rowset must be in the window before any is read.
  const int64_t w = ks->windowFirst;
  if (w < 0 || t < w || t + span > w + ks->window.rows_held) return ERR_GENERAL;
  uint32_t blocks = 0, last = 0, size = 0;
  SCR_RowsetBlocks(ahead ? ks->aheadSpan : std::max(cur->rowsetSize, 1u), a->markerLimit,
                   KS_AppParamCount(cur), static_cast<uint32_t>(a->ks.keys.size()), &blocks, &last,
                   &size);
  if (blocks == 0) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "scs_p_FetchKeyset: no room for a key marker");
    return ERR_GENERAL;
  }
  const uint32_t wFirst = first - static_cast<uint32_t>(w);
  const bool range = ahead && ByRange(cur, *ks, wFirst, span);
  const uint32_t groups = range ? kRangeRefetch : size;
  if ((cur->flags & SCR_FLAG_REFETCH_READY) == 0 || a->refetchGroups != groups) {
    if (int rc = PrepareRefetch(cur, groups)) return rc;
  }
  ColSetPtr got(new (std::nothrow) COLSET());
  if (!got) return ERR_NO_MEMORY;
  ColSetPtr onlyBlock;
  std::vector<DSC_FAILED_ROW> failed;
  if (int rc = range ? RefetchRange(cur, wFirst, span, got.get(), &failed)
                     : Refetch(cur, wFirst, span, size, got.get(), &onlyBlock, &failed))
    return rc;
  if (int rc = SCR_MarkDeletedRows(cur, got.get(), first, span)) return rc;
  KeepFailures(ks, first, span, &failed);
  if (int rc = AfterRefetch(cur, first, n, size, std::move(onlyBlock))) return rc;
  if (int rc = KeepAhead(ks, got.get(), first, n)) return rc;
  ks->nextRow = first + n;
  ColSetFreeColumns(rs->rows);
  *rs->rows = *got;
  *got = COLSET{};
  for (uint32_t i = 0; i < n; ++i) SCR_SetRowStatusAt(rs, i + 1, ks->status[first + i]);
  PostFailures(cur, *ks, first, n);
  return 0;
}
