// The key block of dynamic and mixed cursors: a window of keys read with
// the seek query, which continues after (or before) the keys of the block
// held, in the result's order. Nothing counts rows here: a block knows only
// its first and last key, so a row that others insert or delete is seen
// by the next block read.
#include "scrs/ksblock.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/colset_ops.h"
#include "scrs/ksrun.h"
#include "scrs/scrframe.h"
#include "util/errcodes.h"

namespace {

// How a block read goes: which way the seek looks from which bound key,
// how many keys it reads, and which of them make the new block.
struct BlockPlan {
  uint16_t orientation;  // of the seek: NEXT, PRIOR, FIRST or LAST
  uint16_t mode = 0;     // KS_BuildSeekWhere's mode
  uint32_t read;         // keys asked for
  uint32_t sliceFrom = 0;
  uint32_t sliceCount;  // keys kept, from sliceFrom, as read (before a reversal)
  bool rows = false;    // the application's columns come in front of the keys
};

// A relative move by `offset` keys from the block's first key: the seek
// reads from the nearer bound far enough to cover the new block, and the
// block is cut out of what came back.
BlockPlan Plan(uint16_t orientation, int32_t offset, uint32_t k, uint32_t held) {
  BlockPlan p{orientation, 0, k, 0, k};
  if (orientation == SQL_FETCH_ABSOLUTE) {
    // Counted from the start: the keys before the row are read and left;
    // from the end: the row is the offset-th read backwards.
    const uint32_t n = offset < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(offset))
                                  : static_cast<uint32_t>(offset);
    if (offset > 0) return {SQL_FETCH_FIRST, 0, n - 1 + k, n - 1, k};
    return {SQL_FETCH_LAST, 0, n, n > k ? n - k : 0, std::min(n, k)};
  }
  if (orientation != SQL_FETCH_RELATIVE) return p;
  if (offset == 0) {
    // The block again, from its first key on.
    p.orientation = SQL_FETCH_NEXT;
    p.mode = 3;
    return p;
  }
  const uint32_t dist = offset < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(offset))
                                   : static_cast<uint32_t>(offset);
  p.orientation = offset > 0 ? SQL_FETCH_NEXT : SQL_FETCH_PRIOR;
  if (dist >= k) {
    p.read = dist;
    p.sliceFrom = dist - k;
    return p;
  }
  p.read = k + dist - 1;
  p.mode = held >= k || offset > 0 ? 1 : 3;
  if (p.mode == 1) {
    p.sliceFrom = dist - 1;
    return p;
  }
  // A short block at the end, moved back: what lies between its last key
  // and the new first one.
  const int64_t span = static_cast<int64_t>(held) + dist;
  p.sliceCount = static_cast<uint32_t>(std::min<int64_t>(k, span));
  p.sliceFrom = static_cast<uint32_t>(std::max<int64_t>(0, span - k));
  return p;
}

uint32_t NullCollation(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  if (a.nullCollation < 0) {
    uint32_t v = 0;
    uint16_t len = 0;
    if (SCR_Agent().DRV_GetInfo(cur->connHandle, INFO_ODBC_INT | SQL_NULL_COLLATION, &v, sizeof v,
                                &len) != 0)
      v = SQL_NC_HIGH;
    a.nullCollation = static_cast<int32_t>(v & 0xFFFF);
  }
  return static_cast<uint32_t>(a.nullCollation);
}

// Where a reversed order must say its NULLs go: a data source that sorts
// them first (or last) whichever the direction would leave them where the
// forward order has them, and not at its far end. Null when the reversal
// moves them by itself.
const char* ReversedNulls(uint32_t collation) {
  if (collation == SQL_NC_START) return "NULLS LAST";
  if (collation == SQL_NC_END) return "NULLS FIRST";
  return nullptr;
}

// Descriptions of the seek parameters: each marker takes its key's or its
// ORDER BY item's type.
std::vector<SCR_PARAMDESC> SeekDescs(const SCR_ANALYSIS& a, const SCR_BUILT& seek) {
  const size_t nkeys = a.ks.keys.size();
  std::vector<const SCR_ORDERITEM*> others;
  for (size_t j = 0; j < a.orderBy.size(); ++j) {
    bool key = false;
    for (const SCR_COLDESC& k : a.ks.keys) key = key || k.mark == j + 1;
    if (!key) others.push_back(&a.orderBy[j]);
  }
  std::vector<SCR_PARAMDESC> out;
  for (uint16_t c : seek.boundCols) {
    SCR_PARAMDESC p{};
    if (c < nkeys) {
      SCR_ParamDescFromCol(a.ks.keys[c], &p);
    } else if (c - nkeys < others.size()) {
      SCR_COLDESC col{};
      col.sqlType = static_cast<int16_t>(others[c - nkeys]->sqlType);
      col.columnSize = others[c - nkeys]->columnSize;
      col.decimalDigits = others[c - nkeys]->decimalDigits;
      SCR_ParamDescFromCol(col, &p);
    }
    out.push_back(p);
  }
  return out;
}

// The seek query for the plan, its parameters and where they fall among
// the application's.
int SeekQuery(SCR_CURSOR* cur, const BlockPlan& plan, const COLSET* bound, SCR_BUILT* out,
              ColSetPtr* params, KS_PLACE* place) {
  SCR_ANALYSIS& a = *cur->analysis;
  params->reset();
  KS_ANALYSED ordered;
  std::string orderedText;
  if (int rc = SCR_KeyOrdered(cur, &ordered, &orderedText)) return rc;
  SCR_BUILT sel;
  if (plan.rows) {
    std::string list;
    if (int rc = KS_SeekList(a.ks, a.orderBy, a.idents, a.sortColumns, &list, nullptr)) return rc;
    if (int rc = KS_ListBehind(a, orderedText, ", " + list, &sel)) return rc;
  } else if (int rc = KS_BuildSeekSelect(&ordered.info, a.ks, a.orderBy, a.idents, &sel,
                                         a.sortColumns)) {
    return rc;
  }
  // The markers of the select list went with it.
  const uint32_t had = SCR_MarkerCount(orderedText), kept = SCR_MarkerCount(sel.text);
  place->dropFrom = sel.appBefore;
  place->dropped = had > kept ? had - kept : 0;
  place->libAt = had;
  *out = sel;
  const bool seeks = plan.orientation == SQL_FETCH_NEXT || plan.orientation == SQL_FETCH_PRIOR;
  if (seeks) {
    // Without a block there is nothing to seek from.
    if (bound == nullptr || bound->rows_held < 2) return ERR_GENERAL;
    const uint16_t row = (plan.orientation == SQL_FETCH_NEXT) != (plan.mode == 1 || plan.mode == 3);
    std::vector<bool> nullBound;
    for (uint16_t c = static_cast<uint16_t>(a.ks.keys.size()); c < bound->cols_used; ++c)
      nullBound.push_back(bound->cols[c].ind[row] == COLSET_IND_NULL);
    KS_ANALYSED s;
    if (int rc = KS_Analyse(a, sel.text, &s)) return rc;
    if (int rc = KS_BuildSeekWhere(&s.info, a.ks, a.orderBy, a.idents, plan.orientation, plan.mode,
                                   NullCollation(cur), nullBound, out, a.sortColumns))
      return rc;
    place->libAt = out->appBefore + (place->dropFrom <= out->appBefore ? place->dropped : 0);
    COLSET* made = nullptr;
    const int rc = KS_SeekParams(bound, *out, &made);
    params->reset(made);
    if (rc != 0) return rc;
  }
  if (plan.orientation == SQL_FETCH_PRIOR || plan.orientation == SQL_FETCH_LAST) {
    // Read backwards from the bound (or the end): the order reversed.
    KS_ANALYSED r;
    if (int rc = KS_Analyse(a, out->text, &r)) return rc;
    if (int rc = SCR_OrderByKeys(&r.info, ReversedNulls(NullCollation(cur)))) return rc;
    out->text = r.info.tree->text;
  }
  return 0;
}

// The seek's text bounded to `rows` rows where the data source takes a
// row limit (or until it is known to refuse one): a JDBC row limit alone
// leaves the plan to sort every row that follows the bound.
std::string Bounded(const SCR_ANALYSIS& a, const std::string& text, uint32_t rows) {
  if (a.seekLimit == 0 || rows == 0) return text;
  return text + " FETCH FIRST " + std::to_string(rows) + " ROWS ONLY";
}

// A bound on the rows the agent's statement asks the data source for
// (0: none). Without it a JDBC driver may read every key that follows the
// seek at the execute, when the block needs a few.
void BoundRows(uint32_t stmt, uint32_t rows) {
  if (SCR_Agent().DRV_SetOption != nullptr) SCR_Agent().DRV_SetOption(stmt, OPT_MAX_ROWS, &rows);
}

// Runs one text of the seek on the auxiliary statement and reads its keys
// into *read; the errors stay on the auxiliary statement.
uint32_t RunSeekText(SCR_CURSOR* cur, const SCR_BUILT& seek, const std::string& text,
                     const KS_PLACE& place, COLSET* seekParams, uint32_t want, COLSET* read) {
  SCR_ANALYSIS& a = *cur->analysis;
  const uint32_t stmt = a.auxStmt;
  COLSET* spliced = nullptr;
  uint32_t rc = static_cast<uint32_t>(KS_SpliceParams(cur, place, seekParams, &spliced));
  ColSetPtr params(spliced);
  // The auxiliary statement serves reads of the whole result too: the bound
  // lasts for this seek alone.
  BoundRows(stmt, want);
  if (rc == 0) rc = SCR_Agent().DRV_Prepare(stmt, text.c_str());
  if (rc == 0)
    rc =
        KS_RunPrepared(cur, stmt, params.release(), KS_SpliceBinds(cur, place, SeekDescs(a, seek)));
  if (rc == 0) rc = static_cast<uint32_t>(SCR_FetchUpTo(stmt, want, read));
  SCR_Agent().DRV_CloseCursor(stmt);
  BoundRows(stmt, 0);
  return rc;
}

// Runs the seek and reads its keys into *read. The first seek of a
// statement learns whether the data source takes the row limit: refused,
// the seek runs again without it.
int RunSeek(SCR_CURSOR* cur, const SCR_BUILT& seek, const KS_PLACE& place, ColSetPtr seekParams,
            uint32_t want, COLSET* read) {
  SCR_ANALYSIS& a = *cur->analysis;
  const bool learning = a.seekLimit < 0;
  ColSetPtr again;
  if (learning && seekParams != nullptr) {
    COLSET* copy = nullptr;
    if (int rc = ColSetCreate(&copy, seekParams.get())) return rc;
    again.reset(copy);
  }
  uint32_t rc =
      RunSeekText(cur, seek, Bounded(a, seek.text, want), place, seekParams.release(), want, read);
  if (learning) {
    a.seekLimit = rc == 0 ? 1 : 0;
    if (rc != 0) {
      if (JdbcStmt* aux = AGT_Stmt(a.auxStmt)) errClear(&aux->errors);
      ColSetFreeColumns(read);
      *read = COLSET{};
      rc = RunSeekText(cur, seek, seek.text, place, again.release(), want, read);
    }
  }
  if (rc != 0) KS_MoveErrors(cur, a.auxStmt);
  return static_cast<int>(rc);
}

// The keys the plan keeps of those read, in ascending order.
int Slice(const BlockPlan& plan, COLSET* read, ColSetPtr* out) {
  out->reset();
  const uint32_t from = std::min(plan.sliceFrom, read->rows_held);
  const uint32_t n = std::min(plan.sliceCount, read->rows_held - from);
  if (n == 0) return 0;
  ColSetPtr slice;
  if (int rc = ColSetAlloc(&slice, read, n)) return rc;
  for (uint32_t i = 0; i < n; ++i)
    if (int rc = ColSetCopyRows(slice.get(), read, i, from + i, 1)) return rc;
  if (plan.orientation == SQL_FETCH_PRIOR || plan.orientation == SQL_FETCH_LAST) {
    if (int rc = ColSetReverseRows(&slice)) return rc;
  }
  *out = std::move(slice);
  return 0;
}

// The reads by key that follow a block read split their keys by the
// agent's limits.
void AskLimits(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  if (a.markerLimit == 0) {
    a.paramOps = KS_AskAgent(cur, INFO_PARAM_OPS);
    a.markerLimit = KS_AskAgent(cur, INFO_MARKER_LIMIT);
  }
}

// Makes `block` (new-made) the current block of k places.
int Install(SCR_CURSOR* cur, KS_KEYSET* ks, ColSetPtr block, uint32_t k) {
  KS_Close(ks);
  COLSET* rows = nullptr;
  const int copied = ColSetCreate(&rows, block.get());
  ColSetAdopt(&ks->window, std::move(block));
  if (copied != 0) return copied;
  ks->blockRows = rows;
  ks->windowFirst = 0;
  ks->rowCount = ks->window.rows_held;
  ks->status.assign(std::max(k, ks->rowCount), SQL_ROW_NOROW);
  std::fill(ks->status.begin(), ks->status.begin() + ks->rowCount, SQL_ROW_SUCCESS);
  return scs_p_KeysetBounds(cur, &ks->bound);
}

}  // namespace

KS_KEYSET* KS_Keyset(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  if (!a.keyset) a.keyset.reset(new (std::nothrow) KS_KEYSET());
  return a.keyset.get();
}

uint32_t KS_BlockSize(const SCR_CURSOR* cur) {
  const uint32_t k = cur->cursorType == SQL_CURSOR_DYNAMIC ? cur->rowsetSize : cur->keysetSize;
  return std::max<uint32_t>(k, 1);
}

int SCR_KeyOrdered(SCR_CURSOR* cur, KS_ANALYSED* out, std::string* text) {
  SCR_ANALYSIS& a = *cur->analysis;
  KS_ANALYSED app;
  if (int rc = KS_Analyse(a, a.text, &app)) return rc;
  SCR_BUILT ordered;
  if (int rc = KS_BuildOrderBy(&app.info, a.ks, a.idents, static_cast<uint32_t>(a.orderBy.size()),
                               &ordered))
    return rc;
  if (text != nullptr) *text = ordered.text;
  return KS_Analyse(a, ordered.text, out);
}

int SCR_FetchUpTo(uint32_t stmt, uint32_t want, COLSET* rows, std::vector<DSC_FAILED_ROW>* failed) {
  const DRV_OpTable& ops = SCR_Agent();
  uint32_t got = 0;
  while (got < want) {
    const uint16_t ask = static_cast<uint16_t>(std::min<uint32_t>(want - got, 0xFFFF));
    const bool direct = rows->cols_used == 0 || rows->row_capacity == 0;
    COLSET more{};
    COLSET* into = direct ? rows : &more;
    uint32_t rc = ops.DRV_Fetch(stmt, ask, into);
    if (rc == ERR_ROW_ERROR && failed != nullptr && DSC_TakeFailure(stmt, 0, failed)) {
      ColSetFreeColumns(&more);
      ++got;
      continue;
    }
    if (rc == ERR_NO_DATA_FOUND) rc = 0;
    const uint32_t n = rc == 0 ? into->rows_held : 0;
    if (!direct && n > 0) rc = static_cast<uint32_t>(ColSetAppendRows(rows, &more));
    ColSetFreeColumns(&more);
    if (rc != 0) return static_cast<int>(rc);
    if (n == 0) break;
    got += n;
  }
  return 0;
}

int scs_p_KeysetBounds(SCR_CURSOR* cur, COLSET** out) {
  if (cur == nullptr || cur->analysis == nullptr || out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  KS_KEYSET* ks = cur->analysis->keyset.get();
  if (ks == nullptr || ks->window.rows_held == 0) return ERR_NO_DATA_FOUND;
  ColSetPtr bound;
  int rc = ColSetAlloc(&bound, &ks->window, 2);
  if (rc == 0) rc = ColSetCopyRows(bound.get(), &ks->window, 0, 0, 0);
  if (rc == 0) rc = ColSetCopyRows(bound.get(), &ks->window, 1, ks->window.rows_held - 1, 0);
  // The window keeps the keys alone: the rowset is read back by them.
  const uint16_t nkeys = static_cast<uint16_t>(cur->analysis->ks.keys.size());
  while (rc == 0 && ks->window.cols_used > nkeys)
    rc = ColSetRemoveColumn(&ks->window, static_cast<uint16_t>(ks->window.cols_used - 1));
  if (rc != 0) return rc;
  *out = bound.release();
  return 0;
}

int KS_FetchKeyBlock(SCR_CURSOR* cur, uint16_t orientation, int32_t offset) {
  if (cur == nullptr || cur->analysis == nullptr) return ERR_GENERAL;
  KS_KEYSET* ks = KS_Keyset(cur);
  if (ks == nullptr) return ERR_NO_MEMORY;
  AskLimits(cur);
  const uint32_t k = KS_BlockSize(cur);
  if (orientation == SQL_FETCH_ABSOLUTE && offset == 0) return ERR_NO_DATA_FOUND;
  const BlockPlan plan = Plan(orientation, offset, k, ks->rowCount);
  SCR_BUILT seek;
  ColSetPtr seekParams;
  KS_PLACE place;
  if (int rc = SeekQuery(cur, plan, ks->bound, &seek, &seekParams, &place)) return rc;
  COLSET read{};
  int rc = RunSeek(cur, seek, place, std::move(seekParams), plan.read, &read);
  // An absolute row the result does not reach: nothing moves.
  if (rc == 0 && orientation == SQL_FETCH_ABSOLUTE && read.rows_held < plan.read) {
    if (offset < 0)
      rc = ERR_FETCH_BEFORE_START;
    else if (read.rows_held <= plan.sliceFrom)
      rc = ERR_NO_DATA_FOUND;
  }
  ColSetPtr block;
  if (rc == 0) rc = Slice(plan, &read, &block);
  ColSetFreeColumns(&read);
  if (rc != 0) return rc;
  // Nothing there: the block held stays, so that the cursor can still move
  // back from where it stands.
  if (block == nullptr) return ERR_NO_DATA_FOUND;
  return Install(cur, ks, std::move(block), k);
}

int KS_ReadKeys(SCR_CURSOR* cur, uint16_t orientation, const COLSET* from, uint32_t at,
                uint32_t want, COLSET* out) {
  if (cur == nullptr || cur->analysis == nullptr || out == nullptr) return ERR_GENERAL;
  if (want == 0) return 0;
  AskLimits(cur);
  // The row to seek from stands as both bounds: the seek looks past it.
  ColSetPtr bound;
  const bool seeks = orientation == SQL_FETCH_NEXT || orientation == SQL_FETCH_PRIOR;
  if (seeks) {
    if (from == nullptr || at >= from->rows_held) return ERR_GENERAL;
    COLSET* src = const_cast<COLSET*>(from);
    int rc = ColSetAlloc(&bound, from, 2);
    if (rc == 0) rc = ColSetCopyRows(bound.get(), src, 0, at, 0);
    if (rc == 0) rc = ColSetCopyRows(bound.get(), src, 1, at, 0);
    if (rc != 0) return rc;
  }
  const BlockPlan plan{orientation, 0, want, 0, want};
  SCR_BUILT seek;
  ColSetPtr seekParams;
  KS_PLACE place;
  if (int rc = SeekQuery(cur, plan, bound.get(), &seek, &seekParams, &place)) return rc;
  bound.reset();
  return RunSeek(cur, seek, place, std::move(seekParams), want, out);
}

namespace {

// SCR_ANALYSIS::refetchGroups while the refetch statement holds the seek
// that reads rows ahead.
constexpr uint32_t kAheadSeek = UINT32_MAX - 1;

// The seek that reads `want` rows after the bound row with the
// application's columns, built and prepared on the refetch statement
// unless it is there already: a cursor read forward sends the same text
// block after block. A NULL sort value changes the text, which then serves
// this seek alone.
int PrepareAheadSeek(SCR_CURSOR* cur, const COLSET* bound, uint32_t want, uint32_t stmt) {
  SCR_ANALYSIS& a = *cur->analysis;
  bool nulls = false;
  for (uint16_t c = static_cast<uint16_t>(a.ks.keys.size()); c < bound->cols_used; ++c)
    nulls = nulls || bound->cols[c].ind[0] == COLSET_IND_NULL;
  if ((cur->flags & SCR_FLAG_REFETCH_READY) != 0 && a.refetchGroups == kAheadSeek &&
      a.aheadSeekRows == want && !nulls)
    return 0;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_REFETCH_READY);
  BlockPlan plan{SQL_FETCH_NEXT, 0, want, 0, want};
  plan.rows = true;
  ColSetPtr unused;
  KS_PLACE place;
  if (int rc = SeekQuery(cur, plan, bound, &a.aheadSeek, &unused, &place)) return rc;
  // The application's select list stays whole: no marker of it is left out.
  if (place.dropped != 0) return ERR_GENERAL;
  // The Java statement keeps the bound it was prepared with; the agent's
  // statement forgets it, so that the refetch statement's other texts read
  // every row.
  BoundRows(stmt, want);
  const std::string text = a.seekLimit == 1 ? Bounded(a, a.aheadSeek.text, want) : a.aheadSeek.text;
  const uint32_t rc = SCR_Agent().DRV_Prepare(stmt, text.c_str());
  BoundRows(stmt, 0);
  if (rc != 0) {
    KS_MoveErrors(cur, stmt);
    return static_cast<int>(rc);
  }
  a.refetchGroups = kAheadSeek;
  a.aheadSeekRows = want;
  if (!nulls) cur->flags |= SCR_FLAG_REFETCH_READY;
  return 0;
}

}  // namespace

int KS_ReadRowsAfter(SCR_CURSOR* cur, const COLSET* from, uint32_t at, uint32_t want, COLSET* out,
                     uint16_t* appCols) {
  if (cur == nullptr || cur->analysis == nullptr || appCols == nullptr || out == nullptr ||
      from == nullptr || at >= from->rows_held || want == 0)
    return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  uint16_t seekCols = 0;
  std::string list;
  if (int rc = KS_SeekList(a.ks, a.orderBy, a.idents, a.sortColumns, &list, &seekCols)) return rc;
  AskLimits(cur);
  // The row to seek from stands as both bounds: the seek looks past it.
  ColSetPtr bound;
  COLSET* src = const_cast<COLSET*>(from);
  int rc = ColSetAlloc(&bound, from, 2);
  if (rc == 0) rc = ColSetCopyRows(bound.get(), src, 0, at, 0);
  if (rc == 0) rc = ColSetCopyRows(bound.get(), src, 1, at, 0);
  const uint32_t stmt = KS_RefetchStmt(cur);
  if (rc == 0 && stmt == 0) rc = ERR_GENERAL;
  if (rc == 0) rc = PrepareAheadSeek(cur, bound.get(), want, stmt);
  if (rc != 0) return rc;
  KS_PLACE place;
  place.libAt = a.aheadSeek.appBefore;
  COLSET *values = nullptr, *params = nullptr;
  rc = KS_SeekParams(bound.get(), a.aheadSeek, &values);
  if (rc == 0) rc = KS_SpliceParams(cur, place, values, &params);
  uint32_t run = static_cast<uint32_t>(rc);
  if (run == 0)
    run = KS_RunPrepared(cur, stmt, params, KS_SpliceBinds(cur, place, SeekDescs(a, a.aheadSeek)));
  if (run == 0) run = static_cast<uint32_t>(SCR_FetchUpTo(stmt, want, out));
  if (run != 0) KS_MoveErrors(cur, stmt);
  SCR_Agent().DRV_CloseCursor(stmt);
  if (run != 0) return static_cast<int>(run);
  if (out->rows_held > 0 && out->cols_used <= seekCols) return ERR_GENERAL;
  *appCols = static_cast<uint16_t>(out->rows_held > 0 ? out->cols_used - seekCols : 0);
  return 0;
}

int KS_SetBlock(SCR_CURSOR* cur, COLSET* rows) {
  ColSetPtr block(rows);
  if (cur == nullptr || cur->analysis == nullptr || block == nullptr) return ERR_GENERAL;
  KS_KEYSET* ks = KS_Keyset(cur);
  if (ks == nullptr) return ERR_NO_MEMORY;
  return Install(cur, ks, std::move(block), KS_BlockSize(cur));
}
