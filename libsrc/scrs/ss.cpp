#include "scrs/ss.h"

#include <algorithm>
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

bool HasLong(const COLSET* set) {
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    const uint32_t t = set->cols[c].type;
    if (t == COLSET_VT_LONGCHAR || t == COLSET_VT_LONGBINARY || t == COLSET_VT_LONGWCHAR)
      return true;
  }
  return false;
}

// Rows rel..rel+m-1 of the window into *out (values copied, long values
// duplicated).
int CopyOut(COLSET* window, uint32_t rel, uint32_t m, COLSET** out) {
  const bool made = *out == nullptr;
  int rc = ColSetAlloc(out, window, m);
  if (rc == 0 && !HasLong(window)) {
    // Nothing out of line: each column's rows are one block of bytes.
    for (uint16_t c = 0; c < window->cols_used; ++c) {
      const COLSET_COL& from = window->cols[c];
      COLSET_COL& to = (*out)->cols[c];
      std::memcpy(to.data, from.data + size_t{rel} * from.elem_size, size_t{m} * from.elem_size);
      std::memcpy(to.ind, from.ind + rel, sizeof(uint16_t) * m);
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
int FromDisk(SS_CURSOR* ss, uint32_t first, uint32_t m, COLSET** out) {
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
    const int rc = DSC_ReadRows(&ss->cache, *out, first, m);
    if (rc != 0 && made) {
      ColSetDestroy(*out);
      *out = nullptr;
    }
    return rc;
  }
  return CopyOut(ss->rows, rel, m, out);
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
    if (int rc = FromDisk(ss, first, m, out)) return rc;
  } else {
    // In memory every row is held from row 0 on.
    ss->window_start = 0;
    if (first + m > ss->rows->rows_held) return ERR_GENERAL;
    if (int rc = CopyOut(ss->rows, first, m, out)) return rc;
  }
  // first + m never passes the row count, which the fill keeps within i32.
  ss->position = continuing && m < n ? SS_AT_END : static_cast<int32_t>(first + m);
  return 0;
}
