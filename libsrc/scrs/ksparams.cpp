// Key rows made into the one-row parameter sets that the library's
// statements bind. A parameter set owns its values: long values are copied,
// never shared with the key rows they came from, because the key window may
// be refilled while the statement still holds its parameters.
#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"

namespace {

bool IsLongType(uint32_t t) {
  return t == COLSET_VT_LONGCHAR || t == COLSET_VT_LONGBINARY || t == COLSET_VT_LONGWCHAR;
}

// Bytes of the value at row r that a trimmed fixed-width text keeps:
// trailing blanks and NULs go.
uint32_t TrimmedBytes(const COLSET_COL& c, uint32_t r) {
  const unsigned char* v = c.data + size_t{r} * c.elem_size;
  if (c.type == COLSET_VT_WCHAR) {
    uint32_t n = c.elem_size / 2;
    while (n > 0) {
      uint16_t ch;
      std::memcpy(&ch, v + 2 * (n - 1), 2);
      if (ch != u' ' && ch != 0) break;
      --n;
    }
    return 2 * n;
  }
  uint32_t n = c.elem_size;
  while (n > 0 && (v[n - 1] == ' ' || v[n - 1] == 0)) --n;
  return n;
}

// The element size the value of row r takes in the parameter set.
uint32_t ParamSize(const COLSET_COL& c, uint32_t r, bool terminate, bool trim) {
  const unsigned char* v = c.data + size_t{r} * c.elem_size;
  switch (c.type) {
    case COLSET_VT_NTS:
      return static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(v), c.elem_size)) + 1;
    case COLSET_VT_WNTS: {
      uint32_t n = 0;
      for (uint16_t ch = 1; 2 * n + 1 < c.elem_size; ++n) {
        std::memcpy(&ch, v + 2 * n, 2);
        if (ch == 0) break;
      }
      return 2 * n + 2;
    }
    case COLSET_VT_CHAR:
    case COLSET_VT_WCHAR: {
      uint32_t n = trim ? TrimmedBytes(c, r) : c.elem_size;
      if (terminate) n += c.type == COLSET_VT_WCHAR ? 2 : 1;
      return n == 0 ? 1 : n;  // an empty trimmed value still needs an element
    }
    default: return c.elem_size;
  }
}

// Copies the value of source row r into row 0 of the parameter column.
int CopyValue(const COLSET_COL& s, uint32_t r, bool terminate, COLSET_COL* d) {
  d->ind[0] = s.ind[r];
  const unsigned char* v = s.data + size_t{r} * s.elem_size;
  if (!IsLongType(s.type)) {
    std::memcpy(d->data, v, std::min(s.elem_size, d->elem_size));
    const bool ends = s.type == COLSET_VT_NTS || (terminate && s.type == COLSET_VT_CHAR);
    const bool wideEnds = s.type == COLSET_VT_WNTS || (terminate && s.type == COLSET_VT_WCHAR);
    if (ends) d->data[d->elem_size - 1] = 0;
    if (wideEnds && d->elem_size >= 2) std::memset(d->data + d->elem_size - 2, 0, 2);
    return 0;
  }
  COLSET_LONG lv;
  std::memcpy(&lv, v, sizeof lv);
  const size_t bytes = s.type == COLSET_VT_LONGWCHAR ? size_t{lv.length} * 2 : lv.length;
  COLSET_LONG copy{lv.length, nullptr};
  if (lv.value != nullptr) {
    copy.value = std::malloc(bytes ? bytes : 1);
    if (copy.value == nullptr) return ERR_NO_MEMORY;
    std::memcpy(copy.value, lv.value, bytes);
  } else {
    copy.length = 0;
  }
  std::memcpy(d->data, &copy, sizeof copy);
  return 0;
}

}  // namespace

int SCR_RowToParams(const COLSET* src, uint32_t first, uint32_t groups, uint32_t rows, COLSET** out,
                    bool terminate, bool trim, std::vector<uint8_t>* leftOut) {
  if (out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  // A first row outside what the source holds would be read past its end.
  if (src == nullptr || src->cols == nullptr || src->cols_used == 0 || groups == 0 || rows == 0 ||
      groups < rows || first >= src->rows_held)
    return ERR_GENERAL;
  const uint32_t held = src->rows_held;
  // The source rows the groups take: a shorter source repeats its last row.
  std::vector<uint32_t> take(groups);
  for (uint32_t g = 0, r = 0; g < groups; ++g) {
    take[g] = first + r;
    if (r < rows - 1 && first + r < held - 1) ++r;
  }
  // Values of one row compare NULL by IS NULL; a block of rows never leaves
  // a column out, since its other rows need it.
  assert(leftOut == nullptr || rows == 1);
  std::vector<uint8_t> omit(src->cols_used, 0);
  if (leftOut != nullptr) {
    for (uint16_t c = 0; c < src->cols_used; ++c)
      if (src->cols[c].ind[first] == COLSET_IND_NULL) omit[c] = 1;
    *leftOut = omit;
  }
  std::vector<uint16_t> used;
  for (uint16_t c = 0; c < src->cols_used; ++c)
    if (!omit[c]) used.push_back(c);
  const size_t total = size_t{groups} * used.size();
  if (total > UINT16_MAX) return ERR_GENERAL;
  ColSetPtr set(new (std::nothrow) COLSET);
  if (set == nullptr || ColSetInit(set.get(), static_cast<uint16_t>(total)) != 0)
    return ERR_NO_MEMORY;
  set->cols_used = static_cast<uint16_t>(total);
  size_t k = 0;
  for (uint32_t g = 0; g < groups; ++g) {
    for (uint16_t c : used) {
      const COLSET_COL& s = src->cols[c];
      COLSET_COL& d = set->cols[k++];
      d.type = s.type;
      d.elem_size = ParamSize(s, take[g], terminate, trim);
    }
  }
  int rc = total == 0 ? 0 : ColSetSetRows(set.get(), 1);
  k = 0;
  for (uint32_t g = 0; rc == 0 && g < groups; ++g)
    for (size_t i = 0; rc == 0 && i < used.size(); ++i)
      rc = CopyValue(src->cols[used[i]], take[g], terminate, &set->cols[k++]);
  if (rc != 0) return rc;
  set->rows_held = 1;
  *out = set.release();
  return 0;
}

namespace {

// Keys come from a primary key or a unique constraint of columns that hold
// no NULL, so a key row never has one.
[[maybe_unused]] bool NoNullKey(const COLSET* keys, uint32_t first, uint32_t rows) {
  if (keys == nullptr || keys->cols == nullptr) return true;
  for (uint16_t c = 0; c < keys->cols_used; ++c)
    for (uint32_t r = first; r < first + rows && r < keys->rows_held; ++r)
      if (keys->cols[c].ind[r] == COLSET_IND_NULL) return false;
  return true;
}

}  // namespace

int KS_KeyParams(const COLSET* keys, uint32_t first, uint32_t groups, uint32_t rows, COLSET** out,
                 bool terminate) {
  assert(NoNullKey(keys, first, rows));
  return SCR_RowToParams(keys, first, groups, rows, out, terminate, false, nullptr);
}

int SCR_ColumnsToParams(const COLSET* src, const std::vector<uint16_t>& cols, uint32_t row,
                        COLSET** out, bool terminate) {
  if (out == nullptr) return ERR_GENERAL;
  *out = nullptr;
  if (src == nullptr || src->cols == nullptr) return ERR_GENERAL;
  // A view of the chosen columns; the values are copied out of it, never
  // freed through it.
  std::vector<COLSET_COL> picked;
  for (uint16_t c : cols) {
    if (c >= src->cols_used) return ERR_GENERAL;
    picked.push_back(src->cols[c]);
  }
  COLSET view;
  view.cols = picked.data();
  view.col_capacity = view.cols_used = static_cast<uint16_t>(picked.size());
  view.row_capacity = src->row_capacity;
  view.rows_held = src->rows_held;
  return SCR_RowToParams(&view, row, 1, 1, out, terminate, false, nullptr);
}

int KS_SeekParams(const COLSET* bound, const SCR_BUILT& seek, COLSET** out) {
  if (out == nullptr || bound == nullptr) return ERR_GENERAL;
  *out = nullptr;
  if (seek.boundCols.empty()) return 0;
  if (seek.boundRow >= bound->rows_held) return ERR_GENERAL;
  return SCR_ColumnsToParams(bound, seek.boundCols, seek.boundRow, out);
}
