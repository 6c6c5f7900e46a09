// Rows read back by key, put in the order of their keys. A database
// returns the rows of "k = ? OR k = ? ..." in whatever order its sort
// gives them now, which is not the order the keys were read in when a row
// moved since: each row goes to its key by value, never by position.
#include <new>
#include <utility>

#include "scrs/colset_ops.h"
#include "scrs/ksblock.h"
#include "util/errcodes.h"

namespace {

// A view of some columns of a set; it owns nothing.
struct ColumnView {
  std::vector<COLSET_COL> cols;
  COLSET set;
  ColumnView(const COLSET* src, const std::vector<uint16_t>& which) {
    for (uint16_t c : which) cols.push_back(src->cols[c]);
    set.cols = cols.data();
    set.col_capacity = set.cols_used = static_cast<uint16_t>(cols.size());
    set.row_capacity = src->row_capacity;
    set.rows_held = src->rows_held;
  }
};

}  // namespace

int SCR_MatchRowsToKeys(const COLSET* keys, uint32_t first, uint32_t count,
                        const std::vector<uint16_t>& keyCols, COLSET* rows,
                        std::vector<bool>* found) {
  if (keys == nullptr || rows == nullptr || found == nullptr) return ERR_GENERAL;
  found->assign(count, false);
  // Only the keys the window holds are read.
  if (first >= keys->rows_held)
    count = 0;
  else if (count > keys->rows_held - first)
    count = keys->rows_held - first;
  found->resize(count, false);
  const uint32_t held = rows->rows_held;
  if (keyCols.empty() || rows->cols_used == 0) {
    for (uint32_t i = 0; i < count; ++i) (*found)[i] = i < held;
    return 0;
  }
  for (uint16_t c : keyCols)
    if (c >= rows->cols_used) return ERR_GENERAL;
  std::vector<uint16_t> keyIdx;
  for (uint16_t k = 0; k < keyCols.size(); ++k) keyIdx.push_back(k);
  if (keys->cols_used < keyIdx.size()) return ERR_GENERAL;
  const ColumnView rowKeys(rows, keyCols);
  const ColumnView keyView(keys, keyIdx);
  std::vector<bool> taken(held, false);
  std::vector<int64_t> from(count, -1);
  for (uint32_t i = 0; i < count; ++i) {
    for (uint32_t j = 0; j < held && from[i] < 0; ++j) {
      if (taken[j]) continue;
      int equal = 0;
      if (int rc = ColSetCompareRow(&keyView.set, first + i, &rowKeys.set, j, &equal)) return rc;
      if (equal != 0) {
        from[i] = j;
        taken[j] = true;
      }
    }
  }
  ColSetPtr out;
  if (int rc = ColSetAlloc(&out, rows, count)) return rc;
  int rc = 0;
  for (uint32_t i = 0; rc == 0 && i < count; ++i) {
    (*found)[i] = from[i] >= 0;
    rc = from[i] >= 0 ? ColSetCopyRows(out.get(), rows, i, static_cast<uint32_t>(from[i]), 1)
                      : ColSetInsertRow(out.get(), i);
  }
  if (rc != 0) return rc;
  ColSetAdopt(rows, std::move(out));
  return 0;
}
