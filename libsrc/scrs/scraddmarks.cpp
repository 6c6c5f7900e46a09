// Bookmarks of the rows a static or keyset cursor added itself (SQL_ADD):
// a row whose key was among the values sent is named past the rows of the
// result, so that a fetch by bookmark reads it by that key while the
// cursor's scrolling keeps to the result it read.
#include <sql.h>
#include <sqlext.h>
#include <strings.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/colset_ops.h"
#include "scrs/ksblock.h"
#include "scrs/ksrun.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "util/errcodes.h"

namespace {

bool AddsMarks(const SCR_CURSOR* cur) {
  return cur->analysis != nullptr && !cur->analysis->ks.keys.empty() &&
         (cur->cursorType == SQL_CURSOR_STATIC ||
          (cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize == 0));
}

// Row j of the key columns among `values` (whose columns are `names`), as a
// new one-row set; null when a key was not sent.
ColSetPtr KeyRow(const SCR_ANALYSIS& a, const COLSET* values, const std::vector<std::string>& names,
                 uint32_t j) {
  std::vector<COLSET_COL> cols;
  for (const SCR_COLDESC& key : a.ks.keys) {
    size_t n = 0;
    while (n < names.size() && strcasecmp(names[n].c_str(), key.name) != 0) ++n;
    if (n == names.size() || n >= values->cols_used) return nullptr;
    cols.push_back(values->cols[n]);
  }
  // A view of those columns; its storage stays the values'.
  COLSET view{};
  view.cols = cols.data();
  view.col_capacity = view.cols_used = static_cast<uint16_t>(cols.size());
  view.row_capacity = values->row_capacity;
  view.rows_held = values->rows_held;
  ColSetPtr one;
  int rc = ColSetAlloc(&one, &view, 1);
  if (rc == 0) rc = ColSetCopyRows(one.get(), &view, 0, j, 0);
  view.cols = nullptr;
  if (rc != 0) one.reset();
  return one;
}

// The statement that reads rows by key in the shape of the cursor's rows.
int KeyedText(const SCR_CURSOR* cur, SCR_BUILT* out) {
  const SCR_ANALYSIS& a = *cur->analysis;
  SCR_BUILT sel;
  sel.text = a.text;
  if (cur->cursorType != SQL_CURSOR_STATIC) {
    if (int rc = KS_WithKeys(a, &sel)) return rc;
  }
  KS_ANALYSED an;
  if (int rc = KS_Analyse(a, sel.text, &an)) return rc;
  return KS_BuildKeyWhere(&an.info, a.ks, a.idents, 1, out);
}

}  // namespace

void scs_p_AddedBegin(SCR_CURSOR* cur, uint32_t rows) {
  KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  if (ks != nullptr) ks->addedMarks.assign(rows, 0);
}

void scs_p_AddedRow(SCR_CURSOR* cur, const COLSET* values, const std::vector<std::string>& names,
                    uint32_t j) {
  if (!AddsMarks(cur) || values == nullptr || j >= values->rows_held) return;
  KS_KEYSET* ks = KS_Keyset(cur);
  if (ks == nullptr) return;
  ColSetPtr key = KeyRow(*cur->analysis, values, names, j);
  if (key == nullptr) return;
  try {
    if (ks->added.empty()) ks->addedBase = static_cast<uint32_t>(std::max(cur->rowCount, 0));
    if (ks->addedMarks.size() <= j) ks->addedMarks.resize(size_t{j} + 1, 0);
    ks->added.push_back(std::move(key));
  } catch (const std::bad_alloc&) {
    return;  // the row has no bookmark
  }
  ks->addedMarks[j] = ks->addedBase + static_cast<uint32_t>(ks->added.size());
}

uint32_t scs_p_AddedMark(const SCR_CURSOR* cur, uint32_t j) {
  const KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  return ks != nullptr && j < ks->addedMarks.size() ? ks->addedMarks[j] : 0;
}

const COLSET* scs_p_AddedKey(const SCR_CURSOR* cur, uint64_t mark) {
  const KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  // A bookmark of the result's own rows names them, whatever was added.
  if (!AddsMarks(cur) || ks == nullptr || mark <= ks->addedBase ||
      mark <= static_cast<uint64_t>(std::max(cur->rowCount, 0)) ||
      mark - ks->addedBase > ks->added.size())
    return nullptr;
  return ks->added[static_cast<size_t>(mark - ks->addedBase - 1)].get();
}

int scs_p_FetchAdded(SCR_CURSOR* cur, uint64_t mark, COLSET* row) {
  const COLSET* key = scs_p_AddedKey(cur, mark);
  if (key == nullptr) return ERR_NO_DATA_FOUND;
  SCR_ANALYSIS& a = *cur->analysis;
  SCR_BUILT keyed;
  int rc = KeyedText(cur, &keyed);
  // The values statement holds another query from here on.
  a.keyset->valuesFlags = 0;
  if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Prepare(a.valuesStmt, keyed.text.c_str()));
  COLSET *keyParams = nullptr, *params = nullptr;
  if (rc == 0) rc = SCR_RowToParams(key, 0, 1, 1, &keyParams, a.paramOps != 0, false, nullptr);
  KS_PLACE place;
  place.libAt = keyed.appBefore;
  if (rc == 0) rc = KS_SpliceParams(cur, place, keyParams, &params);
  uint32_t run = static_cast<uint32_t>(rc);
  if (run == 0)
    run = KS_RunPrepared(cur, a.valuesStmt, params, KS_SpliceBinds(cur, place, KS_KeyDescs(a, 1)));
  if (run == 0) run = KS_FetchAll(a.valuesStmt, row);
  // A keyset cursor's text reads the keys behind the select list; its
  // rows hand over the select list alone.
  const auto keys = static_cast<uint16_t>(a.ks.keys.size());
  if (run == 0 && cur->cursorType != SQL_CURSOR_STATIC && row->cols_used > keys) {
    const auto appCols = static_cast<uint16_t>(row->cols_used - keys);
    for (uint16_t k = 0; run == 0 && k < keys; ++k)
      run = static_cast<uint32_t>(ColSetRemoveColumn(row, appCols));
  }
  SCR_Agent().DRV_CloseCursor(a.valuesStmt);
  if (run != 0) KS_MoveErrors(cur, a.valuesStmt);
  return static_cast<int>(run);
}
