// Bookmarks of a mixed cursor. Its rows have no numbers that last: the
// block moves, and what others change outside it shifts the rest. So a
// bookmark names a key: the n-th key the cursor handed a bookmark out for,
// kept with its sort values so that a block can be read from it again.
#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "scrs/colset_ops.h"
#include "scrs/ksblock.h"
#include "scrs/scranalysis.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"

namespace {

std::vector<uint16_t> KeyCols(const SCR_CURSOR* cur) {
  std::vector<uint16_t> cols(cur->analysis->ks.keys.size());
  for (size_t k = 0; k < cols.size(); ++k) cols[k] = static_cast<uint16_t>(k);
  return cols;
}

KS_KEYSET* Keys(const SCR_CURSOR* cur) {
  return cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
}

}  // namespace

int scs_p_MixedBookmark(const SCR_CURSOR* cur, uint32_t n, uint32_t* out) {
  *out = 0;
  KS_KEYSET* ks = Keys(cur);
  if (ks == nullptr || ks->blockRows == nullptr) return ERR_INVALID_CURSOR_STATE;
  const uint32_t row = ks->rowsetInBlock + n;
  if (row >= ks->blockRows->rows_held) return ERR_INVALID_CURSOR_POSITION;
  const std::string key = scs_p_KeyText(ks->blockRows, KeyCols(cur), row);
  const auto it = ks->markOf.find(key);
  if (it != ks->markOf.end()) {
    *out = it->second;
    return 0;
  }
  ColSetPtr one;
  int rc = ColSetAlloc(&one, ks->blockRows, 1);
  if (rc == 0) rc = ColSetCopyRows(one.get(), ks->blockRows, 0, row, 0);
  if (rc == 0 && ks->marks != nullptr) rc = ColSetAppendRows(ks->marks, one.get());
  if (rc != 0) return rc;
  if (ks->marks == nullptr) ks->marks = one.release();
  *out = ks->marks->rows_held;
  ks->markOf.emplace(key, *out);
  return 0;
}

int64_t scs_p_MixedMarkRow(const SCR_CURSOR* cur, uint64_t mark) {
  const KS_KEYSET* ks = Keys(cur);
  if (ks == nullptr || ks->marks == nullptr || ks->blockRows == nullptr || mark < 1 ||
      mark > ks->marks->rows_held)
    return -1;
  const std::vector<uint16_t> cols = KeyCols(cur);
  const std::string key = scs_p_KeyText(ks->marks, cols, static_cast<uint32_t>(mark - 1));
  for (uint32_t r = 0; r < ks->blockRows->rows_held; ++r)
    if (scs_p_KeyText(ks->blockRows, cols, r) == key) return r;
  return -1;
}

int scs_p_MixedMarkBlock(SCR_CURSOR* cur, uint64_t mark) {
  KS_KEYSET* ks = Keys(cur);
  // A bookmark the cursor never handed out names no row.
  if (ks == nullptr || ks->marks == nullptr || mark < 1 || mark > ks->marks->rows_held)
    return ERR_INVALID_BOOKMARK;
  const uint32_t at = static_cast<uint32_t>(mark - 1);
  // The key itself, then those after it: a row deleted since keeps its
  // place at the head of the block.
  COLSET read{};
  int rc = KS_ReadKeys(cur, SQL_FETCH_NEXT, ks->marks, at, KS_BlockSize(cur) - 1, &read);
  ColSetPtr block;
  if (rc == 0) rc = ColSetAlloc(&block, ks->marks, 1 + read.rows_held);
  if (rc == 0) rc = ColSetCopyRows(block.get(), ks->marks, 0, at, 0);
  for (uint32_t i = 0; rc == 0 && i < read.rows_held; ++i)
    rc = ColSetCopyRows(block.get(), &read, 1 + i, i, 1);
  ColSetFreeColumns(&read);
  if (rc != 0) return rc;
  return KS_SetBlock(cur, block.release());
}
