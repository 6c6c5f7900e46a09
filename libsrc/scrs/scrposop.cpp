// Positioned and bulk changes of emulated cursors: each addressed row is
// changed by an ordinary statement on the cursor's private statement,
// addressed by the row's key values; under values concurrency it must also
// still hold the values kept when it was fetched, so that a row someone
// else changed meanwhile is left alone.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/scrvalues.h"
#include "scrs/ss.h"
#include "util/errcodes.h"
#include "util/log.h"
#include "util/owners.h"

namespace {

// One change: the statement text prepared last and what every row binds.
struct Change {
  SCR_CURSOR* cur;
  SCR_ANALYSIS* a;
  KS_KEYSET* ks;
  uint16_t op;  // SQL_UPDATE, SQL_DELETE, SQL_ADD
  ColSetPtr values;
  std::vector<uint16_t> columns;
  std::vector<std::string> names;          // of the columns
  std::vector<SCR_PARAMDESC> columnDescs;  // of the columns
  bool compare = false;                    // values concurrency
  const COLSET* kept = nullptr;            // row 0: the kept values, read by key
  std::string prepared;                    // text the statement holds
  uint32_t lastError = 0;                  // the agent's last failing code
};

uint32_t Stmt(const Change& c) { return c.a->auxStmt; }

// The names and parameter types of the columns a change writes. A result
// column that is no column of the table (an expression) cannot be written.
int ColumnsOf(Change* c) {
  for (uint16_t n : c->columns) {
    const JdbcColDesc* d = nullptr;
    if (int rc = SCR_GetBoundColumn(c->cur, n, &d)) return rc;
    std::string name;
    if (c->a->selectList && n <= c->a->selectCols.size()) {
      const SCR_COLDESC& s = c->a->selectCols[n - 1];
      if (s.kind != SCR_COL_COLUMN) return ERR_INVALID_COLUMN;
      name = s.name;
    } else {
      const char* label = ColDescText(d, COLDESC_LABEL);
      name = label != nullptr ? label : d->name;
    }
    SCR_COLDESC col{};
    col.sqlType = static_cast<int16_t>(d->sql_type);
    col.columnSize = d->precision;
    col.decimalDigits = d->scale;
    SCR_PARAMDESC p{};
    SCR_ParamDescFromCol(col, &p);
    c->names.push_back(name);
    c->columnDescs.push_back(p);
  }
  return 0;
}

JdbcColBind BindOf(const SCR_PARAMDESC& p) {
  return {p.sqlType, 0, p.columnSize, p.decimalDigits, p.kind};
}

// Prepares `text` unless the statement holds it already.
uint32_t Prepare(Change* c, const std::string& text) {
  if (text == c->prepared) return 0;
  c->prepared.clear();
  if (uint32_t rc = SCR_Agent().DRV_Prepare(Stmt(*c), text.c_str())) return rc;
  c->prepared = text;
  return 0;
}

// Runs the prepared statement with `params` (the agent takes them over):
// the rows it changed, or -1 on failure.
int64_t Run(Change* c, COLSET* params, const std::vector<JdbcColBind>& binds) {
  const DRV_OpTable& ops = SCR_Agent();
  uint32_t rc = params != nullptr ? ops.DRV_SetParams(Stmt(*c), params) : 0;
  if (rc == 0 && !binds.empty())
    rc = ops.DRV_BindCols(Stmt(*c), static_cast<uint16_t>(binds.size()), binds.data());
  if (rc == 0) rc = ops.DRV_Execute(Stmt(*c));
  int32_t affected = 0;
  uint16_t length = 0;
  if (rc == 0) rc = ops.DRV_GetInfo(Stmt(*c), INFO_ROW_COUNT, &affected, sizeof affected, &length);
  if (rc != 0) {
    c->lastError = rc;
    return -1;
  }
  return affected;
}

// Puts `front`'s columns before `back`'s: the result is in *back.
int Join(ColSetPtr* back, ColSetPtr front) {
  if (front == nullptr || front->cols_used == 0) return 0;
  if (*back == nullptr || (*back)->cols_used == 0) {
    *back = std::move(front);
    return 0;
  }
  return ColSetMerge(back->get(), front.get());
}

bool Skipped(const COLSET* values, uint32_t i) {
  return values != nullptr && values->cols_used > 0 && i < values->rows_held &&
         values->cols[0].ind[i] == COLSET_IND_SKIP;
}

// The key window holds keyset rows windowFirst..; a key on disk is read in
// first. The window row of keyset row k, or -1 when it is not there.
int64_t KeyRow(Change* c, uint32_t k) {
  KS_KEYSET* ks = c->ks;
  if (ks->cache.state == DSC_ON_DISK &&
      DSC_EnsureWindow(&ks->cache, k, 1, &ks->windowFirst, &ks->window) != 0)
    return -1;
  const int64_t base = ks->windowFirst > 0 ? ks->windowFirst : 0;
  const int64_t w = static_cast<int64_t>(k) - base;
  return w >= 0 && w < ks->window.rows_held ? w : -1;
}

// The kept values of rowset row i: the current rowset's.
const COLSET* ValueRows(Change* c, uint32_t i, int64_t* row) {
  KS_KEYSET* ks = c->ks;
  *row = -1;
  if (ks == nullptr || ks->values == nullptr || i >= ks->values->rows_held) return nullptr;
  *row = i;
  return ks->values;
}

// The key values of keyset row k as parameters.
int KeyParams(Change* c, uint32_t k, COLSET** out) {
  // A static cursor keeps no key window: its row k gives its keys.
  if (c->cur->cursorType == SQL_CURSOR_STATIC) return scs_p_StaticRowKeys(c->cur, k, out);
  const int64_t w = KeyRow(c, k);
  if (w < 0) return ERR_GENERAL;
  return SCR_RowToParams(&c->ks->window, static_cast<uint32_t>(w), 1, 1, out, false, false,
                         nullptr);
}

// The parameters that address keyset row k (rowset row i): its keys, then
// under values concurrency its kept values; `descs` gets theirs.
int RowParams(Change* c, uint32_t k, uint32_t i, ColSetPtr* out, std::vector<SCR_PARAMDESC>* descs,
              std::vector<std::string>* compare, std::vector<uint8_t>* isNull) {
  SCR_ANALYSIS& a = *c->a;
  // A row the cursor added was never fetched: no values are kept to
  // compare, and its key alone addresses it.
  if (const COLSET* added = scs_p_AddedKey(c->cur, uint64_t{k} + 1)) {
    COLSET* raw = nullptr;
    if (int rc = SCR_RowToParams(added, 0, 1, 1, &raw, false, false, nullptr)) return rc;
    out->reset(raw);
    for (const SCR_COLDESC& key : a.ks.keys) {
      SCR_PARAMDESC p{};
      SCR_ParamDescFromCol(key, &p);
      descs->push_back(p);
    }
    return 0;
  }
  // A static cursor compares with its rows as it read them.
  SCR_KEPTROW own;
  const bool staticKept = c->compare && c->cur->cursorType == SQL_CURSOR_STATIC;
  if (staticKept) {
    if (int rc = scs_p_StaticKeptRow(c->cur, k, &own)) return rc;
  }
  COLSET* raw = nullptr;
  if (staticKept)
    raw = own.keys.release();
  else if (int rc = KeyParams(c, k, &raw))
    return rc;
  ColSetPtr params(raw);
  for (const SCR_COLDESC& key : a.ks.keys) {
    SCR_PARAMDESC p{};
    SCR_ParamDescFromCol(key, &p);
    descs->push_back(p);
  }
  if (c->compare) {
    int64_t vr = 0;
    const COLSET* kept = staticKept           ? own.values.get()
                         : c->kept != nullptr ? c->kept
                                              : ValueRows(c, i, &vr);
    // The values query reads every column of the table; values kept as
    // fetched are the select list's.
    const std::vector<SCR_COLDESC>& cols = staticKept          ? own.cols
                                           : a.valuesMode == 2 ? a.selectCols
                                                               : a.tableCols;
    if (kept == nullptr || kept->cols_used != cols.size()) return ERR_GENERAL;
    COLSET* vp = nullptr;
    if (int rc = SCR_RowToParams(kept, static_cast<uint32_t>(vr), 1, 1, &vp, false, false, isNull))
      return rc;
    ColSetPtr kv(vp);
    for (size_t col = 0; col < cols.size(); ++col) {
      compare->push_back(cols[col].name);
      if ((*isNull)[col] != 0) continue;
      SCR_PARAMDESC p{};
      SCR_ParamDescFromCol(cols[col], &p);
      descs->push_back(p);
    }
    // Keys first, then the kept values.
    if (int rc = Join(&kv, std::move(params))) return rc;
    params = std::move(kv);
  }
  *out = std::move(params);
  return 0;
}

// A row that fails for a reason of the cursor's own, not the data
// source's: the reason goes beside the row's error.
uint16_t Explained(Change* c, int code) {
  if (JdbcStmt* aux = AGT_Stmt(c->a->auxStmt)) errPostIndex(&aux->errors, code);
  c->lastError = static_cast<uint32_t>(code);
  return SQL_ROW_ERROR;
}

// Changes keyset row k, whose new values (update) are row `next` of the
// values and whose kept values are those of rowset row i. The status the
// row takes.
uint16_t ChangeRow(Change* c, uint32_t k, uint32_t next, uint32_t i) {
  SCR_ANALYSIS& a = *c->a;
  ColSetPtr params;
  // Parameter order: new values, keys, kept values.
  std::vector<SCR_PARAMDESC> descs = c->columnDescs;
  std::vector<std::string> compare;
  std::vector<uint8_t> isNull;
  if (int rc = RowParams(c, k, i, &params, &descs, &compare, &isNull))
    return rc == ERR_ROW_NOT_TIED ? Explained(c, rc) : SQL_ROW_ERROR;
  if (c->op == SQL_UPDATE) {
    COLSET* nv = nullptr;
    if (SCR_RowToParams(c->values.get(), next, 1, 1, &nv, false, false, nullptr) != 0)
      return SQL_ROW_ERROR;
    if (Join(&params, ColSetPtr(nv)) != 0) return SQL_ROW_ERROR;
  }
  std::string text;
  if (SCR_PosText(a, c->op, c->names, compare, isNull, &text) != 0) return SQL_ROW_ERROR;
  if (uint32_t rc = Prepare(c, text)) {
    c->lastError = rc;
    return SQL_ROW_ERROR;
  }
  std::vector<JdbcColBind> binds;
  if (a.needsBinding != 0)
    for (const SCR_PARAMDESC& p : descs) binds.push_back(BindOf(p));
  const int64_t changed = Run(c, params.release(), binds);
  if (changed < 1) return SQL_ROW_ERROR;
  return c->op == SQL_UPDATE ? SQL_ROW_UPDATED : SQL_ROW_DELETED;
}

// Inserts row i of the values.
uint16_t InsertRow(Change* c, uint32_t i) {
  std::string text;
  if (SCR_PosText(*c->a, SQL_ADD, c->names, {}, {}, &text) != 0) return SQL_ROW_ERROR;
  if (uint32_t rc = Prepare(c, text)) {
    c->lastError = rc;
    return SQL_ROW_ERROR;
  }
  COLSET* nv = nullptr;
  if (SCR_RowToParams(c->values.get(), i, 1, 1, &nv, false, false, nullptr) != 0)
    return SQL_ROW_ERROR;
  std::vector<JdbcColBind> binds;
  if (c->a->needsBinding != 0)
    for (const SCR_PARAMDESC& p : c->columnDescs) binds.push_back(BindOf(p));
  return Run(c, nv, binds) >= 0 ? SQL_ROW_ADDED : SQL_ROW_ERROR;
}

// What the library's statement said goes to the application's statement,
// in place of what was there: the rows' own failures.
void MoveErrors(SCR_CURSOR* cur) {
  JdbcStmt* own = AGT_Stmt(cur->stmtHandle);
  JdbcStmt* aux = cur->analysis != nullptr ? AGT_Stmt(cur->analysis->auxStmt) : nullptr;
  if (aux != nullptr) aux->errors.keep = 0;
  if (own == nullptr || aux == nullptr) return;
  errClear(&own->errors);
  AgentError* rec = aux->errors.head;
  aux->errors.head = nullptr;
  while (rec != nullptr) {
    AgentError* next = rec->next;
    rec->next = nullptr;
    errAppend(&own->errors, rec);
    rec = next;
  }
}

// The change's result from its rows: every addressed row changed, none
// (a single row that failed outright answers the agent's own code), or some.
int Outcome(const Change& c, uint32_t addressed, uint32_t changed) {
  if (changed == addressed) return 0;
  if (addressed == 1 && c.lastError != 0) return static_cast<int>(c.lastError);
  if (c.op == SQL_ADD)
    return changed == 0 && c.lastError != 0 ? static_cast<int>(c.lastError) : ERR_ROW_ERROR;
  return changed == 0 ? ERR_NO_ROWS_CHANGED : ERR_SEVERAL_ROWS_CHANGED;
}

int Prepared(SCR_CURSOR* cur, uint16_t op, ColSetPtr values, std::vector<uint16_t> columns,
             Change* c) {
  c->cur = cur;
  c->a = cur->analysis;
  c->op = op;
  c->values = std::move(values);
  c->columns = std::move(columns);
  if (c->a == nullptr) return ERR_NOT_CAPABLE;
  if (int rc = SCR_ConcurrencyError(cur)) return rc;
  if (cur->concurrency == SQL_CONCUR_READ_ONLY) return ERR_OPTION_RANGE;
  c->ks = c->a->keyset.get();
  // A static cursor reads its keys from its own rows.
  if (op != SQL_ADD && c->ks == nullptr && cur->cursorType != SQL_CURSOR_STATIC)
    return ERR_INVALID_CURSOR_STATE;
  c->compare = cur->concurrency == SQL_CONCUR_VALUES && op != SQL_ADD;
  if (int rc = ColumnsOf(c)) return rc;
  if (JdbcStmt* aux = AGT_Stmt(c->a->auxStmt)) {
    errClear(&aux->errors);
    aux->errors.keep = 1;
  }
  return 0;
}

// The kept values follow the cursor's own updates: a second change of a
// row before the next fetch must not take the first for someone else's.
void KeepOwnUpdates(Change* c, uint32_t i0, uint32_t n, const uint16_t* statuses) {
  if (c->op != SQL_UPDATE) return;
  std::vector<uint32_t> rows;
  for (uint32_t j = 0; j < n; ++j)
    if (statuses[j] == SQL_ROW_UPDATED) rows.push_back(i0 + j + 1);
  scs_p_OwnRowsUpdated(c->cur, rows);
}

// The keyset row a bookmark names (a mixed cursor's: its row in the
// current block), or -1 when it names none the cursor can reach.
int64_t KeysetRowOf(Change* c, uint64_t mark) {
  const SCR_CURSOR* cur = c->cur;
  if (cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize != 0) {
    const int64_t inBlock = scs_p_MixedMarkRow(cur, mark);
    if (inBlock < 0) Explained(c, ERR_OUTSIDE_KEY_BLOCK);
    return inBlock;
  }
  return mark >= 1 && mark <= static_cast<uint64_t>(INT32_MAX) ? static_cast<int64_t>(mark - 1)
                                                               : -1;
}

// Changes keyset row k by bookmark (update values: row `next`). Under
// values concurrency the kept values of a row of the current rowset
// (first.., `held` rows) are beside the rowset; a keyset cursor's row
// elsewhere is read again by key and must still read as it was fetched.
uint16_t ChangeByBookmark(Change* c, uint32_t k, uint32_t next, uint32_t first, uint32_t held) {
  const SCR_CURSOR* cur = c->cur;
  if (!c->compare || cur->cursorType == SQL_CURSOR_STATIC ||
      scs_p_AddedKey(cur, uint64_t{k} + 1) != nullptr)
    return ChangeRow(c, k, next, 0);
  if (k >= first && k - first < held) return ChangeRow(c, k, next, k - first);
  // A mixed cursor keeps no values of the rows of its block outside the rowset.
  if (cur->keysetSize != 0) return Explained(c, ERR_BOOKMARK_OUTSIDE_ROWSET);
  const int64_t w = KeyRow(c, k);
  if (w < 0) return SQL_ROW_ERROR;
  ColSetPtr key;
  if (ColSetAlloc(&key, &c->ks->window, 1) != 0 ||
      ColSetCopyRows(key.get(), &c->ks->window, 0, static_cast<uint32_t>(w), 0) != 0)
    return SQL_ROW_ERROR;
  ColSetPtr kept;
  const int rc = scs_p_KeptByKey(c->cur, key.get(), k, &kept);
  if (rc != 0) {
    if (rc != ERR_NO_ROWS_CHANGED) c->lastError = static_cast<uint32_t>(rc);
    return SQL_ROW_ERROR;
  }
  c->kept = kept.get();
  const uint16_t st = ChangeRow(c, k, next, 0);
  c->kept = nullptr;
  return st;
}

uint16_t* NewStatuses(uint32_t n) {
  auto* s = static_cast<uint16_t*>(std::malloc(std::max<uint32_t>(n, 1) * sizeof(uint16_t)));
  if (s != nullptr)
    for (uint32_t i = 0; i < n; ++i) s[i] = SQL_ROW_ERROR;
  return s;
}

}  // namespace

int SCR_PosOpDispatch(SCR_CURSOR* cur, int32_t row, uint16_t op, uint16_t** statuses,
                      uint32_t* count, ColSetPtr values, std::vector<uint16_t> columns) {
  if (op == SQL_REFRESH) return ERR_NOT_CAPABLE;
  if (op != SQL_UPDATE && op != SQL_DELETE && op != SQL_ADD) return 0;
  if (statuses == nullptr || count == nullptr || values == nullptr ||
      (op != SQL_DELETE && columns.empty()))
    return ERR_INVALID_ARGUMENT;
  Change c{};
  int rc = Prepared(cur, op, std::move(values), std::move(columns), &c);
  const uint32_t n = row == -2 && c.values != nullptr ? c.values->rows_held : 1;
  const uint32_t i0 = row == -2 ? 0 : static_cast<uint32_t>(row - 1);
  // The key of rowset row i is keyset row first + i, counted in the current
  // block for dynamic and mixed cursors (a dynamic cursor's rowset is its
  // block; a mixed cursor's starts within it).
  const bool block = cur->cursorType == SQL_CURSOR_DYNAMIC || cur->keysetSize != 0;
  const uint32_t first = !block ? static_cast<uint32_t>(std::max(cur->rowsetStart, 1) - 1)
                         : cur->cursorType == SQL_CURSOR_DYNAMIC || c.ks == nullptr
                             ? 0
                             : c.ks->rowsetInBlock;
  UniqueFree<uint16_t> out(NewStatuses(n));
  if (out == nullptr) rc = ERR_NO_MEMORY;
  uint32_t addressed = 0, changed = 0;
  if (rc == 0 && op == SQL_ADD) scs_p_AddedBegin(cur, n);
  for (uint32_t j = 0; rc == 0 && j < n; ++j) {
    if (Skipped(c.values.get(), j)) continue;
    ++addressed;
    const uint32_t i = i0 + j;
    const uint16_t st = op == SQL_ADD ? InsertRow(&c, j) : ChangeRow(&c, first + i, j, i);
    out.get()[j] = st;
    if (st != SQL_ROW_ERROR) ++changed;
    if (st == SQL_ROW_ADDED) scs_p_AddedRow(cur, c.values.get(), c.names, j);
    const uint32_t k = first + i;
    if (op != SQL_ADD && c.ks != nullptr && k < c.ks->status.size()) c.ks->status[k] = st;
  }
  if (rc == 0) {
    KeepOwnUpdates(&c, i0, n, out.get());
    rc = Outcome(c, addressed, changed);
    cur->affectedRows = static_cast<int32_t>(changed);
  }
  *count = out != nullptr ? n : 0;
  *statuses = out.release();
  MoveErrors(cur);
  return rc;
}

int SCR_BulkOpDispatch(SCR_CURSOR* cur, uint16_t op, const uint64_t* bookmarks, uint32_t rows,
                       ColSetPtr values, std::vector<uint16_t> columns, uint16_t** statuses,
                       uint32_t* count, ROWSTATUS** fetched) {
  if (bookmarks == nullptr || statuses == nullptr || count == nullptr) return ERR_GENERAL;
  if (op == SQL_FETCH_BY_BOOKMARK) {
    if (fetched == nullptr) return ERR_GENERAL;
    UniqueFree<uint16_t> out(NewStatuses(rows));
    if (out == nullptr) return ERR_NO_MEMORY;
    // A static cursor has every row in its cache (its values and locks
    // were taken with them); the others read theirs by key.
    const bool cached = cur->cursorType == SQL_CURSOR_STATIC;
    const bool keyset = cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN;
    const int rc = cached    ? scs_p_FetchStaticByBookmark(cur, bookmarks, rows, out.get(), fetched)
                   : !keyset ? ERR_NOT_CAPABLE
                   : cur->keysetSize == 0
                       ? scs_p_FetchKeysetByBookmark(cur, bookmarks, rows, out.get(), fetched)
                       : scs_p_FetchMixedByBookmark(cur, bookmarks, rows, out.get(), fetched);
    *count = rows;
    *statuses = out.release();
    return rc;
  }
  const uint16_t change = op == SQL_UPDATE_BY_BOOKMARK ? SQL_UPDATE : SQL_DELETE;
  if (change == SQL_UPDATE && (values == nullptr || values->rows_held < rows)) return ERR_GENERAL;
  Change c{};
  int rc = Prepared(cur, change, std::move(values), std::move(columns), &c);
  if (rc == 0 && cur->cursorType == SQL_CURSOR_DYNAMIC) rc = ERR_BULK_NOT_SUPPORTED;
  UniqueFree<uint16_t> out(NewStatuses(rows));
  if (out == nullptr) rc = rc != 0 ? rc : ERR_NO_MEMORY;
  // The current rowset: its first keyset row (a mixed cursor's, in its
  // block) and the rows fetched, whatever the array size the operation
  // came with.
  const bool mixed = cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize != 0;
  const uint32_t base = mixed && c.ks != nullptr
                            ? c.ks->rowsetInBlock
                            : static_cast<uint32_t>(std::max(cur->rowsetStart, 1) - 1);
  const uint32_t held = c.ks != nullptr && c.ks->values != nullptr ? c.ks->values->rows_held : 0;
  uint32_t changed = 0;
  std::vector<uint32_t> updated;
  for (uint32_t j = 0; rc == 0 && j < rows; ++j) {
    const int64_t k = KeysetRowOf(&c, bookmarks[j]);
    // Update values are the bound arrays' row j, whatever the bookmark.
    const uint16_t st =
        k >= 0 ? ChangeByBookmark(&c, static_cast<uint32_t>(k), j, base, held) : SQL_ROW_ERROR;
    out.get()[j] = st;
    if (st != SQL_ROW_ERROR) ++changed;
    // An added row keeps no values to follow.
    if (st == SQL_ROW_UPDATED && scs_p_AddedKey(cur, bookmarks[j]) == nullptr)
      updated.push_back(static_cast<uint32_t>(k));
    if (k >= 0 && c.ks != nullptr && static_cast<uint64_t>(k) < c.ks->status.size())
      c.ks->status[static_cast<size_t>(k)] = st;
  }
  if (rc == 0) {
    scs_p_OwnBookmarksUpdated(cur, updated, base, held);
    rc = Outcome(c, rows, changed);
    cur->affectedRows = static_cast<int32_t>(changed);
  }
  *count = out != nullptr ? rows : 0;
  *statuses = out.release();
  MoveErrors(cur);
  return rc;
}

int SCR_CurrentRowKeys(SCR_CURSOR* cur, uint16_t op, SCR_CURRENTROW* out) {
  if (cur->cursorType == SQL_CURSOR_FORWARD_ONLY) return scs_p_ForwardRowKeys(cur, out);
  Change c{};
  c.cur = cur;
  c.a = cur->analysis;
  c.op = op;
  if (c.a == nullptr || (cur->flags & SCR_FLAG_THROUGH_LIBRARY) == 0)
    return ERR_INVALID_CURSOR_STATE;
  if (int rc = SCR_ConcurrencyError(cur)) return rc;
  if (cur->concurrency == SQL_CONCUR_READ_ONLY) return ERR_INVALID_CURSOR_STATE;
  c.ks = c.a->keyset.get();
  if (c.ks == nullptr && cur->cursorType != SQL_CURSOR_STATIC) return ERR_INVALID_CURSOR_STATE;
  if (cur->position < 1 || cur->position == SCR_POS_LOST) return ERR_INVALID_CURSOR_STATE;
  c.compare = cur->concurrency == SQL_CONCUR_VALUES;
  // The current row's keyset row, counted as SQLSetPos counts it.
  const bool block = cur->cursorType == SQL_CURSOR_DYNAMIC || cur->keysetSize != 0;
  const uint32_t first = !block ? static_cast<uint32_t>(std::max(cur->rowsetStart, 1) - 1)
                         : cur->cursorType == SQL_CURSOR_DYNAMIC || c.ks == nullptr
                             ? 0
                             : c.ks->rowsetInBlock;
  const uint32_t i = static_cast<uint32_t>(cur->position - 1);
  out->keysetRow = first + i;
  out->descs.clear();
  std::vector<std::string> compare;
  std::vector<uint8_t> isNull;
  if (RowParams(&c, first + i, i, &out->params, &out->descs, &compare, &isNull) != 0)
    return ERR_INVALID_CURSOR_STATE;
  std::string text;
  if (int rc = SCR_PosText(*c.a, SQL_DELETE, {}, compare, isNull, &text)) return rc;
  const size_t where = text.find(" WHERE ");
  if (where == std::string::npos) return ERR_GENERAL;
  out->where = text.substr(where);
  out->needsBinding = c.a->needsBinding != 0;
  return 0;
}

void SCR_CurrentRowChanged(SCR_CURSOR* cur, uint32_t k, uint16_t status) {
  // A forward-only cursor keeps neither statuses nor values of its rows.
  if (cur->cursorType == SQL_CURSOR_FORWARD_ONLY) return;
  KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  if (ks != nullptr && k < ks->status.size()) ks->status[k] = status;
  // The current row is the one SQL_POSITION stands on.
  if (status == SQL_ROW_UPDATED && cur->position >= 1)
    scs_p_OwnRowsUpdated(cur, {static_cast<uint32_t>(cur->position)});
}

extern "C" {

uint32_t SCR_SetPos(uint32_t stmt, int32_t row, uint16_t op, uint16_t, uint16_t** statuses,
                    uint32_t* count, COLSET* params, uint16_t* list, uint16_t nlist) {
  // The values and the column list are this call's from here on.
  ColSetPtr values(params);
  UniqueFree<uint16_t> owned(list);
  std::vector<uint16_t> columns(list, list + (list != nullptr ? nlist : 0));
  JdbcStmt* s = nullptr;
  SCR_CURSOR* cur = SCR_StmtCursor(stmt, &s);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  if ((cur->flags & SCR_FLAG_THROUGH_LIBRARY) == 0) return ERR_INVALID_CURSOR_STATE;
  cur->affectedRows = 0;
  s->pendingData = 0;
  if (op != SQL_ADD) {
    if (int rc = SCR_SetRowPos(cur, row == -2 ? 1 : row)) return static_cast<uint32_t>(rc);
  }
  if (cur->cursorType < SQL_CURSOR_KEYSET_DRIVEN || cur->cursorType > SQL_CURSOR_STATIC)
    return ERR_NOT_CAPABLE;
  return static_cast<uint32_t>(
      SCR_PosOpDispatch(cur, row, op, statuses, count, std::move(values), std::move(columns)));
}

uint32_t SCR_BulkOperations(uint32_t stmt, uint16_t op, const uint64_t* bookmarks, uint32_t rows,
                            COLSET* params, uint16_t* list, uint16_t nlist, uint16_t** statuses,
                            uint32_t* count, ROWSTATUS** fetched) {
  ColSetPtr values(params);
  UniqueFree<uint16_t> owned(list);
  std::vector<uint16_t> columns(list, list + (list != nullptr ? nlist : 0));
  JdbcStmt* s = nullptr;
  SCR_CURSOR* cur = SCR_StmtCursor(stmt, &s);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  if (op == SQL_ADD || bookmarks == nullptr) return ERR_GENERAL;
  if (op == SQL_UPDATE_BY_BOOKMARK) {
    if (values == nullptr) return ERR_GENERAL;
    s->pendingData = 0;
  }
  return static_cast<uint32_t>(SCR_BulkOpDispatch(cur, op, bookmarks, rows, std::move(values),
                                                  std::move(columns), statuses, count, fetched));
}

}  // extern "C"
