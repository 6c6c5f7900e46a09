#include "scrs/colset_ops.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "util/errcodes.h"

namespace {

bool IsLong(uint32_t type) {
  return type == COLSET_VT_LONGCHAR || type == COLSET_VT_LONGBINARY || type == COLSET_VT_LONGWCHAR;
}

unsigned char* At(const COLSET_COL& c, uint32_t row) {
  return c.data + static_cast<size_t>(row) * c.elem_size;
}

COLSET_LONG GetLong(const COLSET_COL& c, uint32_t row) {
  COLSET_LONG l;
  std::memcpy(&l, At(c, row), sizeof l);
  return l;
}

void PutLong(COLSET_COL& c, uint32_t row, const COLSET_LONG& l) {
  std::memcpy(At(c, row), &l, sizeof l);
}

// Bytes an out-of-line value holds: the wide form counts characters.
size_t LongBytes(uint32_t type, uint32_t length) {
  return type == COLSET_VT_LONGWCHAR ? size_t{2} * length : length;
}

// A private copy of a long value, with two zero bytes after it so that text
// readers always find a terminator. A null value stays null. False when
// memory runs out.
bool DupLong(uint32_t type, const COLSET_LONG& src, void** out) {
  *out = nullptr;
  if (src.value == nullptr) return true;
  const size_t n = LongBytes(type, src.length);
  auto* p = static_cast<unsigned char*>(std::malloc(n + 2));
  if (p == nullptr) return false;
  std::memcpy(p, src.value, n);
  p[n] = p[n + 1] = 0;
  *out = p;
  return true;
}

// An element of that width can hold a value of that type.
bool ShapeOk(uint32_t type, uint32_t width) {
  if (type > COLSET_VT_LAST || width == 0 || width == COLSET_SIZE_TOO_LARGE) return false;
  return width >= ColSetTypeSize(type, 0);
}

// The counts of a set agree with its arrays.
bool SetOk(const COLSET* s) {
  return s != nullptr && s->cols_used <= s->col_capacity &&
         (s->cols_used == 0 || s->cols != nullptr) && s->rows_held <= s->row_capacity;
}

// Every used column holds storage (when the set has row storage at all).
bool StorageOk(const COLSET* s) {
  if (s->row_capacity == 0) return true;
  for (uint16_t c = 0; c < s->cols_used; ++c) {
    const COLSET_COL& col = s->cols[c];
    if (col.data == nullptr || col.ind == nullptr || !ShapeOk(col.type, col.elem_size))
      return false;
  }
  return true;
}

// The columns of both sets alike in type and width, and each holding
// storage where its set has row storage: one pass over the columns, as
// copies of single rows run this for every row a cursor hands out.
bool AlikeWithStorage(const COLSET* a, const COLSET* b) {
  if (a->cols_used != b->cols_used) return false;
  const bool checkA = a->row_capacity != 0, checkB = b->row_capacity != 0;
  for (uint16_t c = 0; c < a->cols_used; ++c) {
    const COLSET_COL& x = a->cols[c];
    const COLSET_COL& y = b->cols[c];
    if (x.type != y.type || x.elem_size != y.elem_size) return false;
    if (checkA && (x.data == nullptr || x.ind == nullptr)) return false;
    if (checkB && (y.data == nullptr || y.ind == nullptr)) return false;
    if ((checkA || checkB) && !ShapeOk(x.type, x.elem_size)) return false;
  }
  return true;
}

// Gives every used column of the set (but skip) storage for cap rows,
// keeping the rows held that fit; long values of rows that do not come along
// are freed. All storage is allocated before anything changes.
int ReshapeRows(COLSET* set, uint32_t cap, int skip) {
  const uint32_t keep = std::min(set->rows_held, cap);
  std::vector<COLSET_COL> fresh(set->cols_used);
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    if (c == skip) continue;
    fresh[c] = COLSET_COL{set->cols[c].type, set->cols[c].elem_size, nullptr, nullptr};
    if (ColSetColumnAlloc(&fresh[c], cap) != 0) {
      for (uint16_t k = 0; k < c; ++k) ColSetColumnFree(&fresh[k], 0);
      return ERR_NO_MEMORY;
    }
  }
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    if (c == skip) continue;
    COLSET_COL& old = set->cols[c];
    if (old.data != nullptr && keep > 0) {
      std::memcpy(fresh[c].data, old.data, static_cast<size_t>(keep) * old.elem_size);
      std::memcpy(fresh[c].ind, old.ind, sizeof(uint16_t) * keep);
      if (IsLong(old.type)) {
        for (uint32_t r = 0; r < keep; ++r) PutLong(old, r, COLSET_LONG{0, nullptr});
      }
    }
    ColSetColumnFree(&old, set->row_capacity);
    old = fresh[c];
  }
  set->row_capacity = cap;
  set->rows_held = keep;
  return 0;
}

// Characters of a UTF-16 text of at most max units that ends at a 0 unit.
uint32_t WideLen(const unsigned char* p, uint32_t max) {
  uint32_t n = 0;
  while (n < max) {
    char16_t u;
    std::memcpy(&u, p + 2 * static_cast<size_t>(n), sizeof u);
    if (u == 0) break;
    ++n;
  }
  return n;
}

uint32_t ReadU32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void WriteU32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

int ResizeLong(COLSET* set, COLSET_COL& col, uint32_t len) {
  const uint32_t rows = std::min(set->rows_held, set->row_capacity);
  for (uint32_t r = 0; r < rows; ++r) {
    COLSET_LONG l = GetLong(col, r);
    const size_t have = LongBytes(col.type, l.length);
    if (l.value != nullptr && have >= len) continue;
    // Two bytes beyond the length keep a terminator behind a full value.
    auto* p = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(len) + 2, 1));
    if (p == nullptr) return ERR_NO_MEMORY;
    if (col.ind[r] != COLSET_IND_NULL && l.length != 0 && l.value != nullptr) {
      std::memcpy(p, l.value, std::min<size_t>(have, len));
    }
    std::free(l.value);
    l.value = p;
    PutLong(col, r, l);
  }
  return 0;
}

}  // namespace

int ColSetInsertRow(COLSET* set, uint32_t n) {
  if (!SetOk(set) || set->cols_used == 0 || !StorageOk(set)) return ERR_GENERAL;
  if (n > set->rows_held || set->rows_held >= set->row_capacity) return ERR_GENERAL;
  const uint32_t rows = set->rows_held;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    COLSET_COL& col = set->cols[c];
    const size_t w = col.elem_size;
    // The row the last one moves into may still own a value of an earlier
    // fill; it would be lost under the move.
    if (IsLong(col.type)) {
      std::free(GetLong(col, rows).value);
      PutLong(col, rows, COLSET_LONG{0, nullptr});
    }
    std::memmove(At(col, n + 1), At(col, n), (rows - n) * w);
    std::memmove(col.ind + n + 1, col.ind + n, sizeof(uint16_t) * (rows - n));
    // Row n still holds the bytes (and, for long columns, the pointer) of the
    // row that moved on.
    if (n < rows) std::memset(At(col, n), 0, w);
    col.ind[n] = COLSET_IND_NULL;
  }
  ++set->rows_held;
  return 0;
}

int ColSetCompareRow(const COLSET* a, uint32_t i, const COLSET* b, uint32_t j, int* equal) {
  if (equal == nullptr || !SetOk(a) || !SetOk(b) || a->cols_used == 0) return ERR_GENERAL;
  if (i >= a->rows_held || j >= b->rows_held || !AlikeWithStorage(a, b)) return ERR_GENERAL;
  *equal = 0;
  for (uint16_t c = 0; c < a->cols_used; ++c) {
    const COLSET_COL& ca = a->cols[c];
    const COLSET_COL& cb = b->cols[c];
    if (IsLong(ca.type)) {
      const COLSET_LONG la = GetLong(ca, i);
      const COLSET_LONG lb = GetLong(cb, j);
      if (la.length != lb.length) return 0;
      const size_t n = LongBytes(ca.type, la.length);
      if (n == 0) continue;
      if (la.value == nullptr || lb.value == nullptr) {
        if (la.value != lb.value) return 0;
        continue;
      }
      if (std::memcmp(la.value, lb.value, n) != 0) return 0;
    } else if (std::memcmp(At(ca, i), At(cb, j), ca.elem_size) != 0) {
      return 0;
    }
  }
  *equal = 1;
  return 0;
}

int ColSetCreate(COLSET** out, const COLSET* src) {
  if (out == nullptr || !SetOk(src) || !StorageOk(src)) return ERR_GENERAL;
  ColSetPtr set(new (std::nothrow) COLSET());
  if (set == nullptr || ColSetInit(set.get(), src->col_capacity) != 0) return ERR_NO_MEMORY;
  if (src->row_capacity > 0 && src->cols_used > 0) {
    set->cols_used = src->cols_used;
    for (uint16_t c = 0; c < src->cols_used; ++c) {
      set->cols[c].type = src->cols[c].type;
      set->cols[c].elem_size = src->cols[c].elem_size;
    }
    if (ColSetSetRows(set.get(), src->row_capacity) != 0) return ERR_NO_MEMORY;
    set->rows_held = src->rows_held;
    const uint32_t rows = src->row_capacity;
    for (uint16_t c = 0; c < src->cols_used; ++c) {
      const COLSET_COL& from = src->cols[c];
      COLSET_COL& to = set->cols[c];
      std::memcpy(to.data, from.data, static_cast<size_t>(rows) * from.elem_size);
      std::memcpy(to.ind, from.ind, sizeof(uint16_t) * rows);
      if (!IsLong(from.type)) continue;
      // The copied pointers are the source's until replaced by copies.
      for (uint32_t r = 0; r < rows; ++r)
        PutLong(to, r, COLSET_LONG{GetLong(from, r).length, nullptr});
      for (uint32_t r = 0; r < rows; ++r) {
        const COLSET_LONG l = GetLong(from, r);
        void* copy = nullptr;
        if (!DupLong(from.type, l, &copy)) return ERR_NO_MEMORY;
        PutLong(to, r, COLSET_LONG{l.length, copy});
      }
    }
  }
  *out = set.release();
  return 0;
}

int ColSetCopyRows(COLSET* target, COLSET* source, uint32_t t, uint32_t s, int move) {
  if (!SetOk(target) || !SetOk(source) || target->cols_used == 0) return ERR_GENERAL;
  if (s >= source->rows_held || t > target->rows_held) return ERR_GENERAL;
  if (t == target->rows_held && target->row_capacity <= t) return ERR_GENERAL;
  if (!AlikeWithStorage(target, source)) return ERR_GENERAL;
  if (target == source && t == s) return 0;
  for (uint16_t c = 0; c < target->cols_used; ++c) {
    COLSET_COL& tc = target->cols[c];
    COLSET_COL& sc = source->cols[c];
    if (IsLong(tc.type)) {
      const COLSET_LONG old = GetLong(tc, t);
      std::free(old.value);
      PutLong(tc, t, COLSET_LONG{old.length, nullptr});
      COLSET_LONG from = GetLong(sc, s);
      void* value = nullptr;
      if (move) {
        value = from.value;
        PutLong(sc, s, COLSET_LONG{from.length, nullptr});
      } else if (!DupLong(tc.type, from, &value)) {
        return ERR_NO_MEMORY;
      }
      std::memcpy(At(tc, t), At(sc, s), tc.elem_size);
      PutLong(tc, t, COLSET_LONG{from.length, value});
    } else {
      std::memcpy(At(tc, t), At(sc, s), tc.elem_size);
    }
    tc.ind[t] = sc.ind[s];
  }
  if (t == target->rows_held) ++target->rows_held;
  return 0;
}

int ColSetAppendRows(COLSET* target, COLSET* source) {
  // Appending a set to itself would hand each long value to two rows.
  if (target == source || !SetOk(target) || !SetOk(source) || target->cols_used == 0)
    return ERR_GENERAL;
  if (!AlikeWithStorage(target, source)) return ERR_GENERAL;
  const uint32_t th = target->rows_held;
  const uint32_t sh = source->rows_held;
  if (uint64_t{th} + sh > UINT32_MAX) return ERR_GENERAL;
  const uint32_t sum = th + sh;
  if (target->row_capacity < sum) {
    const uint64_t doubled = std::min<uint64_t>(2 * uint64_t{target->row_capacity}, UINT32_MAX);
    if (ReshapeRows(target, static_cast<uint32_t>(std::max<uint64_t>(sum, doubled)), -1) != 0)
      return ERR_NO_MEMORY;
  }
  for (uint16_t c = 0; c < target->cols_used; ++c) {
    COLSET_COL& tc = target->cols[c];
    COLSET_COL& sc = source->cols[c];
    const size_t w = tc.elem_size;
    // Rows past the count may still own values a shortened set left there.
    if (IsLong(tc.type)) {
      for (uint32_t r = th; r < sum; ++r) std::free(GetLong(tc, r).value);
    }
    if (sh > 0) {
      std::memcpy(tc.data + th * w, sc.data, sh * w);
      std::memcpy(tc.ind + th, sc.ind, sizeof(uint16_t) * sh);
    }
    if (IsLong(tc.type)) {
      for (uint32_t r = 0; r < sh; ++r) PutLong(sc, r, COLSET_LONG{GetLong(sc, r).length, nullptr});
    }
  }
  target->rows_held = sum;
  return 0;
}

uint64_t ColSetRowBytes(const COLSET* set) {
  if (!SetOk(set) || set->rows_held == 0) return 0;
  uint64_t bytes = 0;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    const COLSET_COL& col = set->cols[c];
    bytes += uint64_t{col.elem_size} * set->rows_held;
    if (!IsLong(col.type) || col.elem_size < sizeof(COLSET_LONG)) continue;
    for (uint32_t r = 0; r < set->rows_held; ++r)
      bytes += LongBytes(col.type, GetLong(col, r).length);
  }
  return bytes / set->rows_held;
}

int ColSetMerge(COLSET* a, COLSET* b) {
  if (a == b || !SetOk(a) || !SetOk(b) || a->cols == nullptr || b->cols == nullptr)
    return ERR_GENERAL;
  if (a->rows_held != b->rows_held || !StorageOk(a) || !StorageOk(b)) return ERR_GENERAL;
  const uint32_t total = uint32_t{a->cols_used} + b->cols_used;
  if (total > UINT16_MAX) return ERR_GENERAL;
  auto* cols = static_cast<COLSET_COL*>(std::calloc(total ? total : 1, sizeof(COLSET_COL)));
  if (cols == nullptr) return ERR_NO_MEMORY;
  // b's columns must index a's rows: storage for a's row capacity.
  if (b->row_capacity != a->row_capacity && ReshapeRows(b, a->row_capacity, -1) != 0) {
    std::free(cols);
    return ERR_NO_MEMORY;
  }
  std::copy(b->cols, b->cols + b->cols_used, cols);
  std::copy(a->cols, a->cols + a->cols_used, cols + b->cols_used);
  for (uint16_t c = a->cols_used; c < a->col_capacity; ++c)
    ColSetColumnFree(&a->cols[c], a->row_capacity);
  std::free(a->cols);
  a->cols = cols;
  a->cols_used = a->col_capacity = static_cast<uint16_t>(total);
  for (uint16_t c = 0; c < b->cols_used; ++c) {
    b->cols[c].data = nullptr;
    b->cols[c].ind = nullptr;
  }
  b->row_capacity = 0;
  b->rows_held = 0;
  return 0;
}

int ColSetAlloc(COLSET** set, const COLSET* tmpl, uint32_t rows) {
  if (set == nullptr || !SetOk(tmpl) || *set == tmpl) return ERR_GENERAL;
  for (uint16_t c = 0; c < tmpl->cols_used; ++c) {
    if (!ShapeOk(tmpl->cols[c].type, tmpl->cols[c].elem_size)) return ERR_GENERAL;
  }
  const bool made = *set == nullptr;
  COLSET* s = made ? new (std::nothrow) COLSET() : *set;
  if (s == nullptr) return ERR_NO_MEMORY;
  int rc = ColSetInit(s, tmpl->col_capacity);
  if (rc == 0) {
    s->cols_used = tmpl->cols_used;
    for (uint16_t c = 0; c < tmpl->cols_used; ++c) {
      s->cols[c].type = tmpl->cols[c].type;
      s->cols[c].elem_size = tmpl->cols[c].elem_size;
    }
    rc = ColSetSetRows(s, rows);
  }
  if (rc != 0) {
    if (made) {
      ColSetDestroy(s);
      *set = nullptr;
    } else {
      ColSetFreeColumns(s);
    }
    return rc;
  }
  *set = s;
  return 0;
}

int ColSetReverseRows(COLSET** pset) {
  if (pset == nullptr || !SetOk(*pset) || !StorageOk(*pset)) return ERR_GENERAL;
  COLSET* old = *pset;
  if (old->cols_used == 0) return 0;
  ColSetPtr fresh;
  int rc = ColSetAlloc(&fresh, old, old->row_capacity);
  for (uint32_t k = 0; rc == 0 && k < old->rows_held; ++k) {
    rc = ColSetCopyRows(fresh.get(), old, k, old->rows_held - 1 - k, 0);
  }
  if (rc != 0) return rc;
  ColSetDestroy(old);
  *pset = fresh.release();
  return 0;
}

int ColSetCreate(ColSetPtr* out, const COLSET* src) {
  COLSET* made = nullptr;
  const int rc = ColSetCreate(&made, src);
  if (rc == 0) out->reset(made);
  return rc;
}

int ColSetAlloc(ColSetPtr* set, const COLSET* tmpl, uint32_t rows) {
  COLSET* raw = set->release();
  const int rc = ColSetAlloc(&raw, tmpl, rows);
  set->reset(raw);
  return rc;
}

int ColSetReverseRows(ColSetPtr* set) {
  COLSET* raw = set->get();
  const int rc = ColSetReverseRows(&raw);
  if (rc == 0 && raw != set->get()) {
    set->release();  // the old set is gone already
    set->reset(raw);
  }
  return rc;
}

void ColSetAdopt(COLSET* to, ColSetPtr from) {
  ColSetFreeColumns(to);
  *to = *from;
  *from = COLSET{};
}

int ColSetRemoveColumn(COLSET* set, uint16_t n) {
  if (!SetOk(set) || n >= set->cols_used) return ERR_GENERAL;
  ColSetColumnFree(&set->cols[n], set->row_capacity);
  std::copy(set->cols + n + 1, set->cols + set->cols_used, set->cols + n);
  set->cols[set->cols_used - 1] = COLSET_COL{0, 0, nullptr, nullptr};
  --set->cols_used;
  return 0;
}

int ColSetGetColumn(const COLSET* set, uint16_t n, uint32_t* type, uint32_t* width) {
  if (type == nullptr || width == nullptr || !SetOk(set) || n >= set->cols_used) return ERR_GENERAL;
  *type = set->cols[n].type;
  *width = set->cols[n].elem_size;
  return 0;
}

int ColSetInsertColumn(COLSET* set, uint16_t n, uint32_t type, uint32_t width) {
  if (!SetOk(set) || n > set->cols_used || !ShapeOk(type, width)) return ERR_GENERAL;
  if (set->col_capacity == UINT16_MAX) return ERR_GENERAL;
  COLSET_COL col{type, width, nullptr, nullptr};
  if (ColSetColumnAlloc(&col, set->row_capacity) != 0) return ERR_NO_MEMORY;
  const size_t cap = size_t{set->col_capacity} + 1;
  auto* cols = static_cast<COLSET_COL*>(std::calloc(cap, sizeof(COLSET_COL)));
  if (cols == nullptr) {
    ColSetColumnFree(&col, 0);
    return ERR_NO_MEMORY;
  }
  if (set->cols != nullptr) {
    std::copy(set->cols, set->cols + n, cols);
    std::copy(set->cols + n, set->cols + set->col_capacity, cols + n + 1);
  }
  cols[n] = col;
  std::free(set->cols);
  set->cols = cols;
  ++set->col_capacity;
  ++set->cols_used;
  return 0;
}

int ColSetCopyColumn(COLSET* target, const COLSET* source, uint16_t t, uint16_t s) {
  if (!SetOk(target) || !SetOk(source) || (target == source && t == s)) return ERR_GENERAL;
  if (t >= target->cols_used || s >= source->cols_used) return ERR_GENERAL;
  if (target->rows_held != 0 && target->rows_held != source->rows_held) return ERR_GENERAL;
  const COLSET_COL& from = source->cols[s];
  if (target->cols[t].type != from.type || target->cols[t].elem_size != from.elem_size)
    return ERR_GENERAL;
  if (!ShapeOk(from.type, from.elem_size)) return ERR_GENERAL;
  if (source->rows_held == 0) return 0;
  if (from.data == nullptr || from.ind == nullptr) return ERR_GENERAL;

  const uint32_t cap = source->row_capacity;
  const uint32_t rows = source->rows_held;
  COLSET_COL col{from.type, from.elem_size, nullptr, nullptr};
  if (ColSetColumnAlloc(&col, cap) != 0) return ERR_NO_MEMORY;
  std::memcpy(col.data, from.data, static_cast<size_t>(rows) * from.elem_size);
  std::memcpy(col.ind, from.ind, sizeof(uint16_t) * rows);
  if (IsLong(from.type)) {
    for (uint32_t r = 0; r < rows; ++r)
      PutLong(col, r, COLSET_LONG{GetLong(from, r).length, nullptr});
    for (uint32_t r = 0; r < rows; ++r) {
      const COLSET_LONG l = GetLong(from, r);
      void* copy = nullptr;
      if (!DupLong(from.type, l, &copy)) {
        ColSetColumnFree(&col, cap);
        return ERR_NO_MEMORY;
      }
      PutLong(col, r, COLSET_LONG{l.length, copy});
    }
  }
  // The target's other columns must hold as many rows as the copied one.
  const uint32_t oldCap = target->row_capacity;
  if (target->row_capacity != cap && ReshapeRows(target, cap, t) != 0) {
    ColSetColumnFree(&col, cap);
    return ERR_NO_MEMORY;
  }
  ColSetColumnFree(&target->cols[t], oldCap);
  target->cols[t] = col;
  target->row_capacity = cap;
  target->rows_held = rows;
  return 0;
}

int ColSetResizeColumn(COLSET* set, uint16_t n, uint32_t len, int actual) {
  if (!SetOk(set) || n >= set->cols_used) return ERR_GENERAL;
  COLSET_COL& col = set->cols[n];
  const uint32_t t = col.type;
  const uint32_t w = col.elem_size;
  if (set->row_capacity > 0 && (col.data == nullptr || col.ind == nullptr)) return ERR_GENERAL;
  if (IsLong(t)) {
    if (w < sizeof(COLSET_LONG)) return ERR_GENERAL;
    return ResizeLong(set, col, len);
  }
  uint32_t nt = t;
  uint32_t size = 0;
  switch (t) {
    case COLSET_VT_CHAR:
    case COLSET_VT_BINARY:
      if (len <= w) return 0;
      nt = t == COLSET_VT_CHAR ? COLSET_VT_CHAR32 : COLSET_VT_BINARY32;
      size = ColSetTypeSize(nt, len);
      break;
    case COLSET_VT_WCHAR:
      nt = COLSET_VT_WCHAR32;
      size = ColSetTypeSize(nt, len);
      if (size <= w) return 0;
      // The old characters must fit behind the count even when len asks for
      // fewer than the column holds.
      size = std::max(size, ColSetTypeSize(nt, (w + 1) / 2));
      break;
    case COLSET_VT_NTS:
    case COLSET_VT_CHAR8:
    case COLSET_VT_CHAR16:
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY8:
    case COLSET_VT_BINARY16:
    case COLSET_VT_BINARY32:
    case COLSET_VT_WNTS:
    case COLSET_VT_WCHAR32:
      size = ColSetTypeSize(t, len);
      if (size <= w) return 0;
      break;
    default: return 0;
  }
  COLSET_COL fresh{nt, size, nullptr, nullptr};
  if (ColSetColumnAlloc(&fresh, set->row_capacity) != 0) return ERR_NO_MEMORY;
  if (set->row_capacity > 0) std::memcpy(fresh.ind, col.ind, sizeof(uint16_t) * set->row_capacity);
  const uint32_t rows = std::min(set->rows_held, set->row_capacity);
  for (uint32_t r = 0; r < rows; ++r) {
    const bool null = col.ind[r] == COLSET_IND_NULL;
    const unsigned char* from = At(col, r);
    unsigned char* to = At(fresh, r);
    switch (t) {
      case COLSET_VT_CHAR:
        WriteU32(to, null ? 0
                     : actual
                         ? static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(from), w))
                         : w);
        break;
      case COLSET_VT_WCHAR: WriteU32(to, null ? 0 : actual ? WideLen(from, w / 2) : w / 2); break;
      case COLSET_VT_BINARY: WriteU32(to, null ? 0 : w); break;
      default: break;
    }
    if (null) continue;
    const bool prefixed = t == COLSET_VT_CHAR || t == COLSET_VT_WCHAR || t == COLSET_VT_BINARY;
    std::memcpy(prefixed ? to + 4 : to, from, w);
  }
  ColSetColumnFree(&col, set->row_capacity);
  col = fresh;
  return 0;
}

int ColSetValueLength(const COLSET* set, uint32_t row, uint16_t column, void* out, uint32_t* len) {
  if (len == nullptr || !SetOk(set) || column >= set->cols_used || row >= set->rows_held)
    return ERR_GENERAL;
  if (*len == 0) return 0;
  const COLSET_COL& col = set->cols[column];
  if (col.data == nullptr || col.ind == nullptr || out == nullptr) return ERR_GENERAL;
  if (col.ind[row] == COLSET_IND_NULL) {
    *len = 0;
    return 0;
  }
  const unsigned char* e = At(col, row);
  const uint32_t w = col.elem_size;
  const void* from = e;
  uint64_t value = w;
  // A prefix never reaches past its element, whatever it says.
  auto prefixed = [&](uint32_t prefix, uint64_t stated, uint64_t unit) {
    if (w < prefix) {
      value = 0;
      return;
    }
    from = e + prefix;
    value = std::min<uint64_t>(stated * unit, (w - prefix) / unit * unit);
  };
  switch (col.type) {
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_LONGBINARY:
    case COLSET_VT_LONGWCHAR: {
      if (w < sizeof(COLSET_LONG)) return ERR_GENERAL;
      const COLSET_LONG l = GetLong(col, row);
      from = l.value;
      value = l.value != nullptr ? LongBytes(col.type, l.length) : 0;
      break;
    }
    case COLSET_VT_NTS: value = strnlen(reinterpret_cast<const char*>(e), w); break;
    case COLSET_VT_CHAR8:
    case COLSET_VT_BINARY8: prefixed(1, e[0], 1); break;
    case COLSET_VT_CHAR16:
    case COLSET_VT_BINARY16: {
      uint16_t v = 0;
      if (w >= 2) std::memcpy(&v, e, sizeof v);
      prefixed(2, v, 1);
      break;
    }
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY32: prefixed(4, w >= 4 ? ReadU32(e) : 0, 1); break;
    case COLSET_VT_WNTS: value = 2 * uint64_t{WideLen(e, w / 2)}; break;
    case COLSET_VT_WCHAR32: prefixed(4, w >= 4 ? ReadU32(e) : 0, 2); break;
    default: break;
  }
  const auto n = static_cast<uint32_t>(std::min<uint64_t>(*len, value));
  if (n > 0) std::memcpy(out, from, n);
  *len = n;
  return 0;
}
