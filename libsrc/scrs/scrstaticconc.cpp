// A static cursor with lock or values concurrency: its rows are read once
// like any static result, in key order, and then either every row is
// locked, or, under values concurrency, a positioned change compares with
// the row as the cursor read it (or as its own update left it). The rows
// shown are the values kept: values read by a second query would be those
// of a later moment, and a change another user made in between would be
// overwritten unseen.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/colset_ops.h"
#include "scrs/ksblock.h"
#include "scrs/ksrun.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "scrs/scrvalues.h"
#include "scrs/ss.h"
#include "util/errcodes.h"

namespace {

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

bool SameColumn(const SCR_COLDESC& x, const SCR_COLDESC& y) {
  return std::strcmp(x.name, y.name) == 0 && std::strcmp(x.table, y.table) == 0 &&
         std::strcmp(x.owner, y.owner) == 0;
}

bool LongType(int16_t t) {
  return t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY || t == SQL_WLONGVARCHAR;
}

// The columns a change compares: the result's columns of the changed
// table, long ones left out (a data source compares no long values), each
// with its place among the result's columns and among the table's, which
// the values query reads.
struct Compared {
  std::vector<uint16_t> result, table;
};

Compared ComparedColumns(const SCR_ANALYSIS& a) {
  Compared c;
  if (a.ks.keys.empty() || !a.selectList) return c;
  const SCR_COLDESC& key = a.ks.keys.front();
  for (size_t s = 0; s < a.selectCols.size(); ++s) {
    const SCR_COLDESC& col = a.selectCols[s];
    if (col.kind != SCR_COL_COLUMN || LongType(col.sqlType) ||
        std::strcmp(col.table, key.table) != 0 || std::strcmp(col.owner, key.owner) != 0)
      continue;
    size_t t = 0;
    while (t < a.tableCols.size() && !SameColumn(a.tableCols[t], col)) ++t;
    if (t == a.tableCols.size()) continue;
    c.result.push_back(static_cast<uint16_t>(s));
    c.table.push_back(static_cast<uint16_t>(t));
  }
  return c;
}

// Where each key column sits among the result's columns; false when one
// is not among them.
bool VisibleKeys(const SCR_ANALYSIS& a, std::vector<uint16_t>* out) {
  out->clear();
  if (!a.selectList || a.ks.keys.empty()) return false;
  for (const SCR_COLDESC& key : a.ks.keys) {
    size_t s = 0;
    while (s < a.selectCols.size() &&
           (a.selectCols[s].kind != SCR_COL_COLUMN || !SameColumn(a.selectCols[s], key)))
      ++s;
    if (s == a.selectCols.size()) return false;
    out->push_back(static_cast<uint16_t>(s));
  }
  return true;
}

// Columns of a set, sharing its storage: read through, never freed.
class ColumnView {
 public:
  ColumnView(const COLSET* src, const std::vector<uint16_t>& cols) {
    for (uint16_t c : cols) {
      if (c >= src->cols_used) return;
      cols_.push_back(src->cols[c]);
    }
    set_.cols = cols_.data();
    set_.col_capacity = set_.cols_used = static_cast<uint16_t>(cols_.size());
    set_.row_capacity = src->row_capacity;
    set_.rows_held = src->rows_held;
    whole_ = true;
  }
  ColumnView(const ColumnView&) = delete;
  ColumnView& operator=(const ColumnView&) = delete;
  // Null when a column is not in the set.
  const COLSET* get() const { return whole_ ? &set_ : nullptr; }

 private:
  std::vector<COLSET_COL> cols_;
  COLSET set_{};
  bool whole_ = false;
};

// A new one-row set of row r of the view's columns.
int CopyRow(const ColumnView& view, uint32_t r, ColSetPtr* out) {
  const COLSET* src = view.get();
  if (src == nullptr || r >= src->rows_held) return ERR_GENERAL;
  COLSET* one = nullptr;
  int rc = ColSetAlloc(&one, src, 1);
  if (rc == 0) rc = ColSetCopyRows(one, const_cast<COLSET*>(src), 0, r, 0);
  out->reset(one);
  if (rc != 0) out->reset();
  return rc;
}

// Cache rows from..from+n-1 as the cursor read them; the position of a
// continuing fetch stays.
int CachedRows(SCR_CURSOR* cur, uint32_t from, uint32_t n, ColSetPtr* out) {
  if (int rc = scs_p_StaticOpen(cur)) return rc;
  SS_CURSOR* ss = cur->staticCursor;
  const int32_t position = ss->position;
  COLSET* rows = nullptr;
  const int rc = SS_Fetch(ss, static_cast<int32_t>(from), n, &rows);
  ss->position = position;
  out->reset(rows);
  if (rc == 0 && (rows == nullptr || rows->rows_held == 0)) return ERR_GENERAL;
  return rc;
}

uint64_t Digest(const COLSET* set, const std::vector<uint16_t>& cols, uint32_t row) {
  return std::hash<std::string>{}(scs_p_KeyText(set, cols, row));
}

constexpr uint32_t kChunk = 256;

// The compared values of every cache row, and of every values row, each
// row as one digest.
int CacheDigests(SCR_CURSOR* cur, const std::vector<uint16_t>& cols, std::vector<uint64_t>* out) {
  const auto count = static_cast<uint32_t>(std::max(cur->rowCount, 0));
  for (uint32_t from = 0; from < count; from += kChunk) {
    ColSetPtr rows;
    if (int rc = CachedRows(cur, from, std::min(kChunk, count - from), &rows)) return rc;
    for (uint32_t r = 0; r < rows->rows_held; ++r) out->push_back(Digest(rows.get(), cols, r));
  }
  return 0;
}

int ValuesDigests(KS_KEYSET* ks, const std::vector<uint16_t>& cols, std::vector<uint64_t>* out) {
  const uint32_t count = ks->valuesCache.row_count;
  for (uint32_t from = 0; from < count; from += kChunk) {
    const uint32_t n = std::min(kChunk, count - from);
    if (int rc = DSC_EnsureWindow(&ks->valuesCache, from, n, &ks->valuesWindow, ks->values))
      return rc;
    const int64_t base = static_cast<int64_t>(from) - std::max(ks->valuesWindow, 0);
    if (base < 0 || base + n > ks->values->rows_held) return ERR_GENERAL;
    for (uint32_t r = 0; r < n; ++r)
      out->push_back(Digest(ks->values, cols, static_cast<uint32_t>(base + r)));
  }
  return 0;
}

// The values row of each cache row. When every row reads alike, row for
// row; otherwise a row is tied only to the one values row that reads like
// it, where no other row of either reads so, and in order. A row read
// alike nowhere was changed since (a change of it is a conflict); one the
// cursor cannot tell apart from another by what it shows has no key, and
// a change of it says so: the key of its neighbour would change the wrong
// row.
constexpr int32_t kUntold = -2;  // read alike elsewhere, but not told which

std::vector<int32_t> Align(const std::vector<uint64_t>& seen, const std::vector<uint64_t>& now) {
  std::vector<int32_t> at(seen.size(), -1);
  if (seen == now) {
    std::iota(at.begin(), at.end(), 0);
    return at;
  }
  struct Place {
    uint32_t count = 0;
    int32_t row = -1;
  };
  std::unordered_map<uint64_t, Place> before, after;
  for (size_t i = 0; i < seen.size(); ++i) ++before[seen[i]].count;
  for (size_t j = 0; j < now.size(); ++j) {
    Place& p = after[now[j]];
    ++p.count;
    p.row = static_cast<int32_t>(j);
  }
  int32_t last = -1;
  for (size_t i = 0; i < seen.size(); ++i) {
    const auto it = after.find(seen[i]);
    // A row read nowhere alike was changed since: its change is a conflict.
    if (it == after.end()) continue;
    if (it->second.count != 1 || before[seen[i]].count != 1 || it->second.row <= last) {
      at[i] = kUntold;
      continue;
    }
    at[i] = last = it->second.row;
  }
  return at;
}

// A cursor whose keys are not among its columns reads them with the
// values query and ties each of its rows to the values row that reads
// like it.
int KeysApart(SCR_CURSOR* cur, KS_KEYSET* ks) {
  if (int rc = scs_p_GetOptConcColVals(cur, nullptr, 0, 0, 0, 0)) return rc;
  const Compared c = ComparedColumns(*cur->analysis);
  std::vector<uint64_t> seen, now;
  if (int rc = CacheDigests(cur, c.result, &seen)) return rc;
  if (int rc = ValuesDigests(ks, c.table, &now)) return rc;
  ks->valuesRowOf = Align(seen, now);
  return 0;
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
    std::vector<uint16_t> keys;
    const bool apart = !VisibleKeys(*a, &keys);
    KS_KEYSET* ks = nullptr;
    if (cur->concurrency == SQL_CONCUR_VALUES || apart) {
      ks = KS_Keyset(cur);
      if (ks == nullptr) return ERR_NO_MEMORY;
      ks->ownRows.clear();
      ks->valuesRowOf.clear();
    }
    if (cur->concurrency == SQL_CONCUR_LOCK && a->lockByUpdate != 0) {
      if (int rc = LockAll(cur)) return rc;
    }
    // Under either concurrency a change needs each row's key; the rows are
    // locked by now, so the values read for the tie are the rows shown.
    if (apart) {
      if (int rc = KeysApart(cur, ks)) return rc;
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

namespace {

// The key of cache row k, whose cached row is `row`: from the row itself,
// or from the values row tied to it.
int RowKeys(SCR_CURSOR* cur, uint32_t k, const COLSET* row, COLSET** keys) {
  SCR_ANALYSIS* a = cur->analysis;
  std::vector<uint16_t> keyCols;
  if (VisibleKeys(*a, &keyCols)) {
    ColumnView view(row, keyCols);
    return view.get() != nullptr ? SCR_RowToParams(view.get(), 0, 1, 1, keys, false, false, nullptr)
                                 : ERR_GENERAL;
  }
  KS_KEYSET* ks = a->keyset.get();
  if (ks == nullptr || !scs_p_KeyColumns(*a, &keyCols) || ks->values == nullptr) return ERR_GENERAL;
  const int32_t j = k < ks->valuesRowOf.size() ? ks->valuesRowOf[k] : -1;
  if (j == kUntold) return ERR_ROW_NOT_TIED;
  if (j < 0) return ERR_GENERAL;
  int rc = DSC_EnsureWindow(&ks->valuesCache, static_cast<uint32_t>(j), 1, &ks->valuesWindow,
                            ks->values);
  const int64_t r = static_cast<int64_t>(j) - std::max(ks->valuesWindow, 0);
  ColumnView view(ks->values, keyCols);
  if (rc == 0 && (view.get() == nullptr || r < 0 || r >= ks->values->rows_held)) rc = ERR_GENERAL;
  if (rc == 0)
    rc = SCR_RowToParams(view.get(), static_cast<uint32_t>(r), 1, 1, keys, false, false, nullptr);
  return rc;
}

}  // namespace

int scs_p_StaticRowKeys(SCR_CURSOR* cur, uint32_t k, COLSET** keys) {
  *keys = nullptr;
  if (cur->analysis == nullptr || static_cast<int64_t>(k) >= cur->rowCount) return ERR_GENERAL;
  ColSetPtr row;
  if (int rc = CachedRows(cur, k, 1, &row)) return rc;
  return RowKeys(cur, k, row.get(), keys);
}

int scs_p_StaticKeptRow(SCR_CURSOR* cur, uint32_t k, SCR_KEPTROW* out) {
  SCR_ANALYSIS* a = cur->analysis;
  KS_KEYSET* ks = a != nullptr ? a->keyset.get() : nullptr;
  if (ks == nullptr || static_cast<int64_t>(k) >= cur->rowCount) return ERR_GENERAL;
  const Compared c = ComparedColumns(*a);
  out->cols.clear();
  for (uint16_t s : c.result) out->cols.push_back(a->selectCols[s]);
  ColSetPtr row;
  if (int rc = CachedRows(cur, k, 1, &row)) return rc;
  COLSET* keys = nullptr;
  int rc = RowKeys(cur, k, row.get(), &keys);
  out->keys.reset(keys);
  if (rc != 0) return rc;
  const auto own = ks->ownRows.find(k);
  if (own != ks->ownRows.end()) {
    COLSET* copy = nullptr;
    rc = ColSetCreate(&copy, own->second.get());
    out->values.reset(copy);
    return rc;
  }
  return CopyRow(ColumnView(row.get(), c.result), 0, &out->values);
}

int scs_p_StaticOwnRow(SCR_CURSOR* cur, uint32_t k, const COLSET* fresh, uint32_t r) {
  SCR_ANALYSIS* a = cur->analysis;
  KS_KEYSET* ks = a != nullptr ? a->keyset.get() : nullptr;
  if (ks == nullptr) return ERR_GENERAL;
  ColSetPtr kept;
  if (int rc = CopyRow(ColumnView(fresh, ComparedColumns(*a).table), r, &kept)) return rc;
  ks->ownRows[k] = std::move(kept);
  return 0;
}
