#include "scrs/ss.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "scrs/colset_ops.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "ss";

// The one place where a cache row becomes a row of the set in memory: false
// when the loaded window does not hold it.
bool WindowRow(const SS_CURSOR* ss, uint32_t row, uint32_t* rel) {
  if (ss->window_start < 0 || row < static_cast<uint32_t>(ss->window_start)) return false;
  *rel = row - static_cast<uint32_t>(ss->window_start);
  return *rel < ss->rows->rows_held;
}

// Hands out a set without columns: the caller's, emptied, or a new one.
int EmptyOut(COLSET** out) {
  if (*out == nullptr) {
    *out = new (std::nothrow) COLSET();
    return *out != nullptr ? 0 : ERR_NO_MEMORY;
  }
  ColSetFreeColumns(*out);
  return 0;
}

bool IsLong(uint32_t t) {
  return t == COLSET_VT_LONGCHAR || t == COLSET_VT_LONGBINARY || t == COLSET_VT_LONGWCHAR;
}

bool HasLong(const COLSET* set) {
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    if (IsLong(set->cols[c].type)) return true;
  }
  return false;
}

// Rows rel..rel+m-1 of the window into *out (values copied, long values
// duplicated, or with defer left in the window as deferred cells).
int CopyOut(COLSET* window, uint32_t rel, uint32_t m, COLSET** out, bool defer) {
  const bool made = *out == nullptr;
  int rc = ColSetAlloc(out, window, m);
  if (rc == 0 && (defer || !HasLong(window))) {
    // Nothing out of line is copied: each column's rows are one block of
    // bytes, and a long column's elements stay empty.
    for (uint16_t c = 0; c < window->cols_used; ++c) {
      const COLSET_COL& from = window->cols[c];
      COLSET_COL& to = (*out)->cols[c];
      if (!IsLong(from.type)) {
        std::memcpy(to.data, from.data + size_t{rel} * from.elem_size, size_t{m} * from.elem_size);
        std::memcpy(to.ind, from.ind + rel, sizeof(uint16_t) * m);
        continue;
      }
      for (uint32_t i = 0; i < m; ++i) {
        const uint16_t ind = from.ind[rel + i];
        to.ind[i] = ind < COLSET_IND_SKIP ? COLSET_IND_DEFERRED : ind;
      }
    }
    (*out)->rows_held = m;
    return 0;
  }
  for (uint32_t i = 0; rc == 0 && i < m; ++i) rc = ColSetCopyRows(*out, window, i, rel + i, 0);
  if (rc != 0 && *out != nullptr) {
    if (made) {
      ColSetDestroy(*out);
      *out = nullptr;
    } else {
      ColSetFreeColumns(*out);
    }
  }
  return rc;
}

// Rows first..first+m-1 of a result on disk. A pass that goes on from the
// last rowset reads a window ahead and is served from it; any other rowset
// is read on its own, at the cost of its own rows only.
int FromDisk(SS_CURSOR* ss, uint32_t first, uint32_t m, COLSET** out, bool defer) {
  uint32_t rel = 0;
  const bool held = WindowRow(ss, first, &rel) && ss->rows->rows_held - rel >= m;
  if (!held && first == static_cast<uint32_t>(ss->position)) {
    ss->window_start = SS_NO_WINDOW;
    if (int rc = DSC_ReadRows(&ss->cache, ss->rows, first, std::max(ss->cache.window_size, m)))
      return rc;
    ss->window_start = static_cast<int32_t>(first);
    rel = 0;
  } else if (!held) {
    const bool made = *out == nullptr;
    if (made && EmptyOut(out) != 0) return ERR_NO_MEMORY;
    const int rc = defer ? DSC_ReadRowsDeferred(&ss->cache, *out, first, m, &ss->deferred_raw)
                         : DSC_ReadRows(&ss->cache, *out, first, m);
    if (rc != 0 && made) {
      ColSetDestroy(*out);
      *out = nullptr;
    }
    return rc;
  }
  return CopyOut(ss->rows, rel, m, out, defer);
}

void ForgetDeferred(SS_CURSOR* ss) {
  ss->deferred_first = -1;
  ss->deferred_rows = 0;
  ss->deferred_raw.clear();
}

int Fetch(SS_CURSOR* ss, int32_t start, uint32_t n, COLSET** out, bool defer) {
  if (ss == nullptr || ss->rows == nullptr || out == nullptr || start < SS_CONTINUE) {
    return ERR_GENERAL;
  }
  const bool continuing = start == SS_CONTINUE;
  if (n == 0 || (continuing && ss->position == SS_AT_END)) return EmptyOut(out);
  const uint32_t first = static_cast<uint32_t>(continuing ? ss->position : start);
  if (first >= ss->cache.row_count) {
    ss->position = SS_AT_END;
    return EmptyOut(out);
  }
  const uint32_t m = std::min(n, ss->cache.row_count - first);
  if (ss->cache.state == DSC_ON_DISK) {
    if (int rc = FromDisk(ss, first, m, out, defer)) return rc;
  } else {
    // In memory every row is held from row 0 on.
    ss->window_start = 0;
    if (first + m > ss->rows->rows_held) return ERR_GENERAL;
    if (int rc = CopyOut(ss->rows, first, m, out, defer)) return rc;
  }
  // first + m never passes the row count, which the fill keeps within i32.
  assert(ss->cache.row_count <= INT32_MAX);
  ss->position = continuing && m < n ? SS_AT_END : static_cast<int32_t>(first + m);
  if (defer) {
    ss->deferred_first = static_cast<int32_t>(first);
    ss->deferred_rows = m;
  }
  return 0;
}

// A new buffer holding a copy of a long value, zero-terminated.
int Duplicate(const COLSET_COL& col, uint32_t row, COLSET_LONG* out) {
  COLSET_LONG v;
  std::memcpy(&v, col.data + size_t{row} * sizeof v, sizeof v);
  const uint64_t bytes = uint64_t{v.length} * (col.type == COLSET_VT_LONGWCHAR ? 2 : 1);
  if (bytes > 0 && v.value == nullptr) return ERR_GENERAL;
  auto* p = static_cast<unsigned char*>(std::malloc(bytes + 2));
  if (p == nullptr) return ERR_NO_MEMORY;
  if (bytes > 0) std::memcpy(p, v.value, bytes);
  p[bytes] = p[bytes + 1] = 0;
  *out = COLSET_LONG{v.length, p};
  return 0;
}

}  // namespace

int SS_Open(SS_CURSOR** field) {
  if (field == nullptr) return ERR_GENERAL;
  SS_Free(field);
  auto* ss = new (std::nothrow) SS_CURSOR();
  if (ss == nullptr) return ERR_NO_MEMORY;
  ss->position = 0;
  ss->window_start = 0;
  DSC_Init(&ss->cache);
  // A row the database refuses is that row's failure, not the result's.
  ss->cache.keep_failed = true;
  ss->rows = new (std::nothrow) COLSET();
  if (ss->rows == nullptr) {
    delete ss;
    return ERR_NO_MEMORY;
  }
  *field = ss;
  return ColSetInit(ss->rows, 0);
}

void SS_Close(SS_CURSOR* ss) {
  if (ss == nullptr) return;
  ForgetDeferred(ss);
  ss->deferred_raw = RF_RAWROWS{};  // the storage kept from rowset to rowset
  ColSetFreeColumns(ss->rows);
  DSC_Close(&ss->cache);
  ss->position = 0;
  ss->window_start = 0;
}

void SS_Free(SS_CURSOR** field) {
  if (field == nullptr || *field == nullptr) return;
  SS_Close(*field);
  ColSetDestroy((*field)->rows);
  delete *field;
  *field = nullptr;
}

int SS_GetRsltSet(SS_CURSOR* ss, const DRV_Agent* agent, uint32_t stmt, uint32_t* count) {
  if (count != nullptr) *count = 0;
  if (ss == nullptr || ss->rows == nullptr) return ERR_GENERAL;
  SS_Close(ss);
  uint32_t total = 0;
  // The first rows stay in memory as the first window: a pass over the
  // result starts without reading back what was just written.
  if (int rc = DSC_Fill(&ss->cache, agent, stmt, ss->rows, &total, true)) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "SS_GetRsltSet: Could not fill dataset cache");
    return rc;
  }
  if (ss->cache.state == DSC_ON_DISK && ss->rows->rows_held == 0) ss->window_start = SS_NO_WINDOW;
  if (count != nullptr) *count = total;
  return 0;
}

int SS_Fetch(SS_CURSOR* ss, int32_t start, uint32_t n, COLSET** out) {
  return Fetch(ss, start, n, out, false);
}

int SS_FetchDeferred(SS_CURSOR* ss, int32_t start, uint32_t n, COLSET** out) {
  if (ss == nullptr) return ERR_GENERAL;
  ForgetDeferred(ss);
  const int rc = Fetch(ss, start, n, out, true);
  if (rc != 0) ForgetDeferred(ss);
  return rc;
}

int SS_GetLong(SS_CURSOR* ss, uint32_t i, uint16_t col, COLSET_LONG* out) {
  if (ss == nullptr || ss->rows == nullptr || out == nullptr || ss->deferred_first < 0 ||
      i >= ss->deferred_rows) {
    return ERR_GENERAL;
  }
  const bool on_disk = ss->cache.state == DSC_ON_DISK;
  const COLSET& shape = on_disk ? ss->cache.shape : *ss->rows;
  if (col >= shape.cols_used || !IsLong(shape.cols[col].type)) return ERR_GENERAL;
  if (!ss->deferred_raw.bytes.empty()) {
    return RF_LongFromRaw(&ss->deferred_raw, i, col, shape.cols[col].type, out) ? 0 : ERR_GENERAL;
  }
  const uint32_t row = static_cast<uint32_t>(ss->deferred_first) + i;
  uint32_t rel = 0;
  if (WindowRow(ss, row, &rel)) {
    const COLSET_COL& c = ss->rows->cols[col];
    if (c.ind[rel] >= COLSET_IND_SKIP) return ERR_GENERAL;
    return Duplicate(c, rel, out);
  }
  // The window moved on since the rowset was served from it.
  return on_disk ? DSC_ReadLong(&ss->cache, row, col, out) : ERR_GENERAL;
}

int SS_FillDeferred(SS_CURSOR* ss, COLSET* rows) {
  if (ss == nullptr || rows == nullptr) return ERR_GENERAL;
  for (uint16_t c = 0; c < rows->cols_used; ++c) {
    COLSET_COL& col = rows->cols[c];
    if (!IsLong(col.type)) continue;
    for (uint32_t i = 0; i < rows->rows_held; ++i) {
      if (col.ind[i] != COLSET_IND_DEFERRED) continue;
      COLSET_LONG v{};
      if (int rc = SS_GetLong(ss, i, c, &v)) return rc;
      std::memcpy(col.data + size_t{i} * sizeof v, &v, sizeof v);
      col.ind[i] = 0;
    }
  }
  return 0;
}

uint32_t SS_ColumnType(const SS_CURSOR* ss, uint16_t col) {
  if (ss == nullptr || ss->rows == nullptr) return 0;
  const COLSET& shape = ss->cache.state == DSC_ON_DISK ? ss->cache.shape : *ss->rows;
  return col < shape.cols_used ? shape.cols[col].type : 0;
}
