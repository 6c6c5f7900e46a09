// The dynamic cursor: a keyset exactly one rowset large, read again with
// the seek query for every rowset, and the rowset read by those keys. The
// keys and the rows are read by two statements, so others may change the
// table in between; the rowset is taken only when every key found its row.
// A cursor read forward a few rows at a time reads the rows ahead of it
// with their keys by one seek instead.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/colset_ops.h"
#include "scrs/ksblock.h"
#include "scrs/rvc.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";
constexpr int kTries = 3;
constexpr int32_t kPartialAtEnd = -4;

bool LockedByUpdate(const SCR_CURSOR* cur) {
  return cur->concurrency == SQL_CONCUR_LOCK && cur->analysis->lockByUpdate != 0;
}

// The application's statement, its keys behind its select list, restricted
// to `groups` keys. The rows come in any order: each is put at its key.
int RefetchText(SCR_CURSOR* cur, uint32_t groups, SCR_BUILT* out) {
  SCR_ANALYSIS& a = *cur->analysis;
  SCR_BUILT withKeys;
  if (int rc = KS_WithKeys(a, &withKeys)) return rc;
  KS_ANALYSED analysed;
  if (int rc = KS_Analyse(a, withKeys.text, &analysed)) return rc;
  if (int rc = KS_BuildKeyWhere(&analysed.info, a.ks, a.idents, groups, out)) return rc;
  // Where the source takes no row locks by update, the refetch holds them.
  if (cur->concurrency == SQL_CONCUR_LOCK && a.lockByUpdate == 0) out->text += " FOR UPDATE";
  return 0;
}

struct Split {
  uint32_t blocks = 0, last = 0, per = 0;
};

// The rows of the block's keys, group by group, on the private refetch
// statement: the application's statement keeps its text and its result.
int ReadByKeys(SCR_CURSOR* cur, const COLSET& keySet, const Split& split, COLSET* rows,
               std::vector<DSC_FAILED_ROW>* failed) {
  SCR_ANALYSIS& a = *cur->analysis;
  SCR_BUILT text;
  if (int rc = RefetchText(cur, split.per, &text)) return rc;
  const uint32_t stmt = KS_RefetchStmt(cur);
  if (stmt == 0) return ERR_GENERAL;
  // The keyset refetch's text is gone from the statement.
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_REFETCH_READY);
  uint32_t rc = SCR_Agent().DRV_Prepare(stmt, text.text.c_str());
  KS_PLACE place;
  place.libAt = text.appBefore;
  const std::vector<JdbcColBind> binds = KS_SpliceBinds(cur, place, KS_KeyDescs(a, split.per));
  ColSetFreeColumns(rows);
  for (uint32_t g = 0; rc == 0 && g < split.blocks; ++g) {
    const uint32_t n = g + 1 == split.blocks ? split.last : split.per;
    COLSET *keys = nullptr, *params = nullptr;
    rc = static_cast<uint32_t>(
        KS_KeyParams(&keySet, g * split.per, split.per, n, &keys, a.paramOps != 0));
    if (rc == 0) rc = static_cast<uint32_t>(KS_SpliceParams(cur, place, keys, &params));
    if (rc == 0) rc = KS_RunPrepared(cur, stmt, params, binds);
    if (rc == 0) rc = static_cast<uint32_t>(SCR_FetchUpTo(stmt, n, rows, failed));
  }
  if (rc != 0) KS_MoveErrors(cur, stmt);
  return static_cast<int>(rc);
}

// Whether the rows read are exactly the block's; each is put at its key
// and the keys behind the application's columns are cut off again.
// Each row read put at its key among the first `count` rows of keySet, and
// the keys behind the application's columns cut off again.
int PutAtKeys(SCR_CURSOR* cur, const COLSET& keySet, uint32_t count, COLSET* rows,
              std::vector<bool>* found) {
  const auto nkeys = static_cast<uint16_t>(cur->analysis->ks.keys.size());
  if (rows->cols_used <= nkeys) return ERR_GENERAL;
  const auto appCols = static_cast<uint16_t>(rows->cols_used - nkeys);
  std::vector<uint16_t> keyCols;
  for (uint16_t k = 0; k < nkeys; ++k) keyCols.push_back(static_cast<uint16_t>(appCols + k));
  if (int rc = SCR_MatchRowsToKeys(&keySet, 0, count, keyCols, rows, found)) return rc;
  for (uint16_t k = 0; k < nkeys; ++k) {
    if (int rc = ColSetRemoveColumn(rows, appCols)) return rc;
  }
  return 0;
}

// The rows read agree with the block when every key found its row, but
// for as many as failed alone (found false).
int Agrees(SCR_CURSOR* cur, const KS_KEYSET& ks, COLSET* rows, size_t failed, bool* agrees,
           std::vector<bool>* found) {
  *agrees = false;
  const auto nkeys = static_cast<uint16_t>(cur->analysis->ks.keys.size());
  if (rows->rows_held + failed != ks.rowCount || rows->cols_used <= nkeys) return 0;
  if (int rc = PutAtKeys(cur, ks.window, ks.rowCount, rows, found)) return rc;
  *agrees = static_cast<size_t>(std::count(found->begin(), found->end(), false)) == failed;
  return 0;
}

// The rows that failed alone are SQL_ROW_ERROR, the records of each (in
// the order the rows came) naming its rowset row.
void MarkFailed(SCR_CURSOR* cur, KS_KEYSET* ks, ROWSTATUS* rs, const std::vector<bool>& found,
                const std::vector<DSC_FAILED_ROW>& failed) {
  JdbcStmt* s = AGT_Stmt(cur->stmtHandle);
  size_t next = 0;
  for (uint32_t r = 0; r < found.size() && next < failed.size(); ++r) {
    if (found[r]) continue;
    SCR_SetRowStatusAt(rs, r + 1, SQL_ROW_ERROR);
    if (r < ks->status.size()) ks->status[r] = SQL_ROW_ERROR;
    if (s != nullptr) DSC_PostFailedRow(failed[next], r + 1, &s->errors);
    ++next;
  }
}

int SetStatuses(SCR_CURSOR* cur, KS_KEYSET* ks, ROWSTATUS* rs) {
  const uint32_t n = rs->rows != nullptr ? rs->rows->rows_held : 0;
  for (uint32_t r = 1; r <= n; ++r) SCR_SetRowStatusAt(rs, r, SQL_ROW_SUCCESS);
  if (cur->analysis->rowVersion == 0 || cur->rvcLink.list == nullptr || n == 0) return 0;
  const int rc = RVC_CheckVersion(&cur->rvcLink, &ks->window, rs->rows, rs->statuses);
  for (uint32_t r = 0; r < n && r < ks->status.size(); ++r) ks->status[r] = rs->statuses[r];
  return rc;
}

// One block fetch and, when it brought keys, its rowset.
int Block(SCR_CURSOR* cur, uint16_t orientation, int32_t offset, ROWSTATUS* rs) {
  return scs_p_FetchDynamicBlock(cur, orientation, offset, rs);
}

uint32_t Fetched(const ROWSTATUS* rs) { return rs->rows != nullptr ? rs->rows->rows_held : 0; }

int BeforeStart(SCR_CURSOR* cur) {
  SCR_SetRowPos(cur, SCR_POS_BEFORE_START);
  return ERR_FETCH_BEFORE_START;
}

int AfterEnd(SCR_CURSOR* cur) {
  SCR_SetRowPos(cur, SCR_POS_AFTER_END);
  return ERR_FETCH_BEYOND_END;
}

// The first key of the block held, as text; "" without one.
std::string FirstKey(const SCR_CURSOR* cur) {
  const KS_KEYSET* ks = cur->analysis->keyset.get();
  if (ks == nullptr || ks->window.rows_held == 0) return "";
  std::vector<uint16_t> cols(cur->analysis->ks.keys.size());
  for (size_t k = 0; k < cols.size(); ++k) cols[k] = static_cast<uint16_t>(k);
  return scs_p_KeyText(&ks->window, cols, 0);
}

// The first rowset in place of one that would begin before row 1.
int FirstInstead(SCR_CURSOR* cur, ROWSTATUS* rs) {
  // What the rowset read first said of its rows goes with it.
  if (JdbcStmt* s = AGT_Stmt(cur->stmtHandle)) errClear(&s->errors);
  if (int rc = Block(cur, SQL_FETCH_FIRST, 0, rs))
    return rc == ERR_NO_DATA_FOUND ? BeforeStart(cur) : rc;
  cur->rowsetStart = -1;
  cur->flags |= SCR_FLAG_FIRST_STANDS_IN;
  return 0;
}

// A move back that came short has run into the start: the first rowset
// when the move is no longer than a rowset, else nothing; unless the
// rowset before was the short one at the end and all that lies from the
// new place to the end came back.
int RelativeBack(SCR_CURSOR* cur, int32_t offset, int32_t prevStart, uint32_t prevKeys,
                 const std::string& prevFirst, ROWSTATUS* rs) {
  const uint64_t back = static_cast<uint64_t>(-static_cast<int64_t>(offset));
  if (prevStart == kPartialAtEnd && Fetched(rs) >= prevKeys + back) {
    cur->rowsetStart = kPartialAtEnd;
    return 0;
  }
  // From the first rowset nothing lies before.
  if (back > cur->rowsetSize || FirstKey(cur) == prevFirst) return BeforeStart(cur);
  return FirstInstead(cur, rs);
}

// Keys one seek reads at most. On a table without statistics a seek's plan
// turns from an index read into a scan and sort of every later row once its
// row limit nears the planner's guess of the rows left (PostgreSQL guesses
// a third of the table), so a seek stays short.
constexpr uint32_t kSeekMost = 512;
// KS_KEYSET::nextRow of a dynamic cursor whose last fetch went forward.
constexpr uint32_t kForward = 0;

bool ReadsAhead(const SCR_CURSOR* cur, const KS_KEYSET* ks) {
  return ks != nullptr && ks->blockRows != nullptr && ks->nextRow == kForward &&
         cur->concurrency == SQL_CONCUR_READ_ONLY && cur->analysis->rowVersion == 0 &&
         cur->rowsetSize * 4 <= KS_AHEAD_FIRST;
}

// Rows `from`..`from`+n-1 of src into a new set.
int Rows(COLSET* src, uint32_t from, uint32_t n, int move, ColSetPtr* out) {
  int rc = ColSetAlloc(out, src, n);
  for (uint32_t i = 0; rc == 0 && i < n; ++i)
    rc = ColSetCopyRows(out->get(), src, i, from + i, move);
  return rc;
}

bool Alike(const COLSET* a, const COLSET* b, uint16_t cols) {
  if (a->cols_used != cols || b->cols_used < cols) return false;
  for (uint16_t c = 0; c < cols; ++c)
    if (a->cols[c].type != b->cols[c].type || a->cols[c].elem_size != b->cols[c].elem_size)
      return false;
  return true;
}

// Rows from..from+n-1 of the first `cols` columns of src written over *to
// from its first row on; to has room for them.
int Overwrite(COLSET* to, COLSET* src, uint16_t cols, uint32_t from, uint32_t n) {
  COLSET view = *src;  // the leading columns alone, the storage src's
  view.cols_used = cols;
  to->rows_held = 0;
  for (uint32_t i = 0; i < n; ++i)
    if (int rc = ColSetCopyRows(to, &view, i, from + i, 0)) return rc;
  return 0;
}

// The rowset's keys written over the block held, as KS_SetBlock would
// install them, where the block has room and holds nothing else: a cursor
// read forward moves its block every rowset, and new storage each time
// would cost more than the rows. False when the block must be made anew.
bool MoveBlockInPlace(SCR_CURSOR* cur, KS_KEYSET* ks, uint32_t r, int* rc) {
  const COLSET* keys = ks->aheadKeys.get();
  const auto nkeys = static_cast<uint16_t>(cur->analysis->ks.keys.size());
  if (ks->blockRows == nullptr || ks->bound == nullptr || ks->windowFirst != 0 ||
      !ks->added.empty() || !ks->addedMarks.empty() || !ks->fetchedDigests.empty() ||
      ks->blockRows->row_capacity < r || ks->window.row_capacity < r ||
      ks->bound->row_capacity < 2 || !Alike(ks->blockRows, keys, keys->cols_used) ||
      !Alike(ks->bound, keys, keys->cols_used) || !Alike(&ks->window, keys, nkeys))
    return false;
  COLSET* src = ks->aheadKeys.get();
  const uint32_t from = ks->aheadNext;
  *rc = Overwrite(ks->blockRows, src, src->cols_used, from, r);
  if (*rc == 0) *rc = Overwrite(&ks->window, src, nkeys, from, r);
  if (*rc == 0) *rc = Overwrite(ks->bound, src, src->cols_used, from, 1);
  if (*rc == 0) *rc = ColSetCopyRows(ks->bound, src, 1, from + r - 1, 0);
  if (*rc != 0) return true;
  ks->rowCount = r;
  ks->status.assign(r, SQL_ROW_SUCCESS);
  return true;
}

// The next rowset from the rows read ahead, when they hold a whole one:
// its keys become the block, as a block read would have made them.
bool TakeAhead(SCR_CURSOR* cur, KS_KEYSET* ks, ROWSTATUS* rs, int* rc) {
  const uint32_t r = KS_BlockSize(cur);
  if (!ks->ahead || !ks->aheadKeys || ks->ahead->rows_held < ks->aheadNext + r) return false;
  ColSetPtr block, out;
  *rc = KS_RowsetFrom(ks, ks->ahead.get(), ks->aheadNext, r, 1, &out);
  if (*rc != 0) return true;
  if (MoveBlockInPlace(cur, ks, r, rc)) {
    if (*rc != 0) return true;
    ks->aheadNext += r;
    ColSetFreeColumns(rs->rows);
    *rs->rows = *out;
    *out = COLSET{};
    *rc = SetStatuses(cur, ks, rs);
    return true;
  }
  *rc = Rows(ks->aheadKeys.get(), ks->aheadNext, r, 0, &block);
  if (*rc != 0) return true;
  // A new block forgets what was read ahead: it is kept aside meanwhile.
  ColSetPtr rows = std::move(ks->ahead), keys = std::move(ks->aheadKeys);
  const uint32_t next = ks->aheadNext + r, span = ks->aheadSpan;
  if ((*rc = KS_SetBlock(cur, block.release())) != 0) return true;
  ks->ahead = std::move(rows);
  ks->aheadKeys = std::move(keys);
  ks->aheadNext = next;
  ks->aheadSpan = span;
  ColSetFreeColumns(rs->rows);
  *rs->rows = *out;
  *out = COLSET{};
  *rc = SetStatuses(cur, ks, rs);
  return true;
}

// Columns from..cols_used-1 of *rows moved into *out (new-made), in order.
int SplitColumns(COLSET* rows, uint16_t from, ColSetPtr* out) {
  if (from == 0 || from >= rows->cols_used) return ERR_GENERAL;
  if (int rc = ColSetCreate(out, rows)) return rc;
  for (uint16_t c = 0; c < from; ++c)
    if (int rc = ColSetRemoveColumn(out->get(), 0)) return rc;
  while (rows->cols_used > from)
    if (int rc = ColSetRemoveColumn(rows, static_cast<uint16_t>(rows->cols_used - 1))) return rc;
  return 0;
}

// The rows after the block, read with their keys and sort values by one
// seek (KS_AHEAD_FIRST of them at first, twice as many each time after): the
// first rowset of them is fetched, the rest kept for the next fetches.
// ERR_NO_DATA_FOUND past the end.
int ReadAhead(SCR_CURSOR* cur, KS_KEYSET* ks, ROWSTATUS* rs) {
  const uint32_t span = KS_AheadSpan(ks, kSeekMost);
  ColSetPtr rows(new (std::nothrow) COLSET());
  if (!rows) return ERR_NO_MEMORY;
  uint16_t appCols = 0;
  int rc = KS_ReadRowsAfter(cur, ks->blockRows, ks->blockRows->rows_held - 1, span, rows.get(),
                            &appCols);
  // A row that failed takes its key with it: a block read, by the keys
  // alone and then the rows by key, goes past it instead.
  if (rc == ERR_ROW_ERROR) {
    if (JdbcStmt* s = AGT_Stmt(cur->stmtHandle)) errClear(&s->errors);
    KS_DropAhead(ks);
    return Block(cur, SQL_FETCH_NEXT, 0, rs);
  }
  const uint32_t n = rc == 0 ? rows->rows_held : 0;
  if (rc == 0 && n == 0) rc = ERR_NO_DATA_FOUND;
  ColSetPtr keys;
  if (rc == 0) rc = SplitColumns(rows.get(), appCols, &keys);
  if (rc != 0) return rc;
  KS_NoteAheadWidth(ks, rows.get());
  ks->ahead = std::move(rows);
  ks->aheadKeys = std::move(keys);
  ks->aheadNext = 0;
  // Fewer keys than a rowset are the end: the rowset is what there is.
  if (n < KS_BlockSize(cur)) {
    ColSetPtr block, out;
    rc = Rows(ks->aheadKeys.get(), 0, n, 0, &block);
    if (rc == 0) rc = Rows(ks->ahead.get(), 0, n, 1, &out);
    if (rc == 0) rc = KS_SetBlock(cur, block.release());
    if (rc != 0) return rc;
    ColSetFreeColumns(rs->rows);
    *rs->rows = *out;
    *out = COLSET{};
    return SetStatuses(cur, ks, rs);
  }
  int took = 0;
  if (!TakeAhead(cur, ks, rs, &took)) return ERR_GENERAL;
  return took;
}

// NEXT: from the rows read ahead, or a read ahead when the cursor goes
// forward in small rowsets, else one block fetch.
int Next(SCR_CURSOR* cur, ROWSTATUS* rs) {
  KS_KEYSET* ks = cur->analysis->keyset.get();
  int rc = 0;
  if (ks != nullptr && TakeAhead(cur, ks, rs, &rc)) return rc;
  if (ReadsAhead(cur, ks)) return ReadAhead(cur, ks, rs);
  if (ks != nullptr) KS_DropAhead(ks);
  return Block(cur, SQL_FETCH_NEXT, 0, rs);
}

}  // namespace

int scs_p_FetchDynamicBlock(SCR_CURSOR* cur, uint16_t orientation, int32_t offset, ROWSTATUS* rs) {
  if (cur == nullptr || cur->analysis == nullptr || rs == nullptr || rs->rows == nullptr)
    return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  const DRV_OpTable& ops = SCR_Agent();
  KS_KEYSET* ks = KS_Keyset(cur);
  if (ks == nullptr) return ERR_NO_MEMORY;
  Split split;
  bool agrees = false;
  std::vector<DSC_FAILED_ROW> failed;
  std::vector<bool> found;
  for (int attempt = 0; attempt < kTries && !agrees; ++attempt) {
    if (a.refetchStmt != 0) ops.DRV_CloseCursor(a.refetchStmt);
    // Later tries read the same place again: the block from its first key.
    if (int rc = attempt == 0 ? KS_FetchKeyBlock(cur, orientation, offset)
                              : KS_FetchKeyBlock(cur, SQL_FETCH_RELATIVE, 0))
      return rc;
    // Every read of the window stays within the keys it holds.
    SCR_RowsetBlocks(ks->rowCount, a.markerLimit, KS_AppParamCount(cur),
                     static_cast<uint32_t>(a.ks.keys.size()), &split.blocks, &split.last,
                     &split.per);
    if (split.blocks == 0) return ERR_GENERAL;
    failed.clear();
    if (int rc = ReadByKeys(cur, ks->window, split, rs->rows, &failed)) return rc;
    if (int rc = Agrees(cur, *ks, rs->rows, failed.size(), &agrees, &found)) return rc;
  }
  if (!agrees) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                "scs_p_FetchDynamicBlock: rows changed under the keyset three times");
    return ERR_KEYSET_UPDATES;
  }
  if (cur->concurrency == SQL_CONCUR_VALUES) {
    if (int rc = scs_p_GetOptConcColVals(cur, nullptr, 0, split.blocks, split.per, split.last))
      return rc;
    if (ks->values == nullptr || ks->values->rows_held < ks->rowCount) return ERR_ROW_ERROR;
  }
  // Rows locked by FOR UPDATE stay locked while their result is open.
  if (cur->concurrency != SQL_CONCUR_LOCK) ops.DRV_CloseCursor(a.refetchStmt);
  if (LockedByUpdate(cur) && SCR_ConcurrencyError(cur) == 0) {
    // The block's own rows, counted from its first key: the rowset start
    // of a dynamic cursor is no row number.
    if (int rc = scs_p_LockRows(cur, &ks->window, ks->status.data(), 0, ks->rowCount)) return rc;
  }
  const int rc = SetStatuses(cur, ks, rs);
  MarkFailed(cur, ks, rs, found, failed);
  return rc;
}

int scs_p_FetchDynamic(SCR_CURSOR* cur, int32_t offset, uint16_t orientation, ROWSTATUS* rs) {
  if (cur == nullptr || cur->analysis == nullptr) return ERR_GENERAL;
  const int32_t prevStart = cur->rowsetStart;
  const KS_KEYSET* held = cur->analysis->keyset.get();
  const uint32_t prevKeys = held != nullptr ? held->rowCount : 0;
  const std::string prevFirst =
      orientation == SQL_FETCH_RELATIVE && offset < 0 ? FirstKey(cur) : std::string();
  const uint32_t size = cur->rowsetSize;
  // Without a block there is nowhere to move from: the cursor starts over.
  if (held == nullptr || held->bound == nullptr) {
    if (orientation == SQL_FETCH_NEXT || (orientation == SQL_FETCH_RELATIVE && offset > 0))
      orientation = SQL_FETCH_FIRST;
    else if (orientation == SQL_FETCH_PRIOR || orientation == SQL_FETCH_RELATIVE)
      return BeforeStart(cur);
  }
  // Rows read ahead serve only a cursor that keeps going forward.
  if (orientation != SQL_FETCH_NEXT) KS_DropAhead(cur->analysis->keyset.get());
  int rc = 0;
  switch (orientation) {
    case SQL_FETCH_NEXT:
      rc = Next(cur, rs);
      if (rc == ERR_NO_DATA_FOUND) return AfterEnd(cur);
      if (rc != 0) return rc;
      cur->rowsetStart = Fetched(rs) >= size ? -1 : kPartialAtEnd;
      cur->analysis->keyset->nextRow = kForward;
      return 0;
    case SQL_FETCH_FIRST:
    case SQL_FETCH_LAST:
      rc = Block(cur, orientation, 0, rs);
      if (rc == ERR_NO_DATA_FOUND) return AfterEnd(cur);
      if (rc != 0) return rc;
      cur->rowsetStart = -1;
      if (Fetched(rs) < size) cur->rowCount = static_cast<int32_t>(Fetched(rs));
      if (orientation == SQL_FETCH_FIRST) cur->analysis->keyset->nextRow = kForward;
      return 0;
    case SQL_FETCH_PRIOR:
      rc = Block(cur, orientation, 0, rs);
      if (rc == ERR_NO_DATA_FOUND) return BeforeStart(cur);
      if (rc != 0) return rc;
      cur->rowsetStart = -1;
      if (Fetched(rs) >= size) return 0;
      // Fewer rows than a rowset before this one: the first rowset.
      return FirstInstead(cur, rs);
    case SQL_FETCH_RELATIVE:
      rc = Block(cur, orientation, offset, rs);
      if (rc == ERR_NO_DATA_FOUND) return offset < 0 ? BeforeStart(cur) : AfterEnd(cur);
      if (rc != 0) return rc;
      if (Fetched(rs) >= size) {
        cur->rowsetStart = -1;
        return 0;
      }
      if (offset >= 0) {
        cur->rowsetStart = kPartialAtEnd;
        return 0;
      }
      return RelativeBack(cur, offset, prevStart, prevKeys, prevFirst, rs);
    case SQL_FETCH_ABSOLUTE:
      rc = Block(cur, orientation, offset, rs);
      if (rc == ERR_NO_DATA_FOUND) return AfterEnd(cur);
      // From the end, further back than the result reaches: the first
      // rowset when the move is no longer than a rowset.
      if (rc == ERR_FETCH_BEFORE_START) {
        if (-static_cast<int64_t>(offset) > size) return BeforeStart(cur);
        rc = Block(cur, SQL_FETCH_FIRST, 0, rs);
        if (rc == ERR_NO_DATA_FOUND) return BeforeStart(cur);
        if (rc == 0) cur->flags |= SCR_FLAG_FIRST_STANDS_IN;
      }
      if (rc != 0) return rc;
      cur->rowsetStart = Fetched(rs) >= size ? -1 : kPartialAtEnd;
      return 0;
    default: return ERR_FETCH_TYPE_RANGE;
  }
}

int scs_p_DynamicOwnVersions(SCR_CURSOR* cur, const std::vector<uint32_t>& at) {
  SCR_ANALYSIS* a = cur->analysis;
  KS_KEYSET* ks = a != nullptr ? a->keyset.get() : nullptr;
  if (a == nullptr || a->rowVersion == 0 || cur->rvcLink.list == nullptr || at.empty()) return 0;
  if (ks == nullptr) return ERR_GENERAL;
  const auto n = static_cast<uint32_t>(at.size());
  ColSetPtr picked;
  int rc = ColSetAlloc(&picked, &ks->window, n);
  for (uint32_t j = 0; rc == 0 && j < n; ++j)
    rc = at[j] < ks->window.rows_held ? ColSetCopyRows(picked.get(), &ks->window, j, at[j], 0)
                                      : ERR_GENERAL;
  // The rows as the next fetch reads them, so that it finds their versions
  // unchanged.
  Split split;
  SCR_RowsetBlocks(n, a->markerLimit, KS_AppParamCount(cur),
                   static_cast<uint32_t>(a->ks.keys.size()), &split.blocks, &split.last,
                   &split.per);
  if (rc == 0 && split.blocks == 0) rc = ERR_GENERAL;
  COLSET rows{};
  std::vector<bool> found;
  if (rc == 0) rc = ReadByKeys(cur, *picked, split, &rows, nullptr);
  if (a->refetchStmt != 0 && cur->concurrency != SQL_CONCUR_LOCK)
    SCR_Agent().DRV_CloseCursor(a->refetchStmt);
  if (rc == 0) rc = PutAtKeys(cur, *picked, n, &rows, &found);
  std::vector<unsigned char> keyVersions(size_t{n} * RVC_DIGEST_SIZE),
      rowVersions(size_t{n} * RVC_DIGEST_SIZE);
  // Only rows found again take a new version; a row gone keeps its old one.
  std::vector<uint16_t> statuses(n, SQL_ROW_SUCCESS);
  for (uint32_t j = 0; rc == 0 && j < n; ++j) {
    if (!found[j]) continue;
    rc = RVC_RowVersion(picked.get(), j, &keyVersions[size_t{j} * RVC_DIGEST_SIZE]);
    if (rc == 0) rc = RVC_RowVersion(&rows, j, &rowVersions[size_t{j} * RVC_DIGEST_SIZE]);
    statuses[j] = SQL_ROW_UPDATED;
  }
  if (rc == 0)
    rc = RVC_UpdateVersion(&cur->rvcLink, keyVersions.data(), rowVersions.data(), statuses.data(),
                           n);
  ColSetFreeColumns(&rows);
  return rc;
}
