// The keys and values a keyset, mixed or dynamic cursor keeps between
// fetches.
#include <algorithm>
#include <new>

#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"

KS_KEYSET::KS_KEYSET() {
  DSC_Init(&cache);
  DSC_Init(&valuesCache);
}

KS_KEYSET::~KS_KEYSET() {
  KS_Close(this);
  KS_DropMarks(this);
  ColSetDestroy(values);
  DSC_Close(&valuesCache);
  ColSetFreeColumns(&window);
}

void KS_Close(KS_KEYSET* ks) {
  if (ks == nullptr) return;
  DSC_Close(&ks->cache);
  ColSetFreeColumns(&ks->window);
  ks->windowFirst = DSC_NO_WINDOW;
  ks->rowCount = 0;
  ks->status.clear();
  ks->failedRows.clear();
  ks->fetchedDigests.clear();
  ks->added.clear();
  ks->addedBase = 0;
  ks->addedMarks.clear();
  ColSetDestroy(ks->bound);
  ks->bound = nullptr;
  ColSetDestroy(ks->blockRows);
  ks->blockRows = nullptr;
  KS_DropAhead(ks);
}

void KS_DropAhead(KS_KEYSET* ks) {
  if (ks == nullptr) return;
  ks->ahead.reset();
  ks->aheadKeys.reset();
  ks->aheadFirst = ks->aheadNext = 0;
  ks->nextRow = UINT32_MAX;
  ks->aheadSpan = 0;
}

namespace {

// Spare storage is kept for rowsets of up to this many rows: a large one
// would hold its memory for as long as the cursor lives.
constexpr uint32_t kSpareRows = 64;

bool FitsSpare(const COLSET* spare, const COLSET* src, uint32_t n) {
  if (spare == nullptr || spare->cols_used != src->cols_used || spare->row_capacity < n ||
      spare->cols == nullptr)
    return false;
  for (uint16_t c = 0; c < src->cols_used; ++c)
    if (spare->cols[c].type != src->cols[c].type ||
        spare->cols[c].elem_size != src->cols[c].elem_size || spare->cols[c].data == nullptr)
      return false;
  return true;
}

bool HoldsLong(const COLSET* rows) {
  for (uint16_t c = 0; c < rows->cols_used; ++c) {
    const uint32_t t = rows->cols[c].type;
    if (t == COLSET_VT_LONGCHAR || t == COLSET_VT_LONGBINARY || t == COLSET_VT_LONGWCHAR)
      return true;
  }
  return false;
}

}  // namespace

int KS_RowsetFrom(KS_KEYSET* ks, COLSET* src, uint32_t first, uint32_t n, int move,
                  ColSetPtr* out) {
  int rc = 0;
  if (FitsSpare(ks->spare.get(), src, n)) {
    *out = std::move(ks->spare);
    (*out)->rows_held = 0;
  } else {
    rc = ColSetAlloc(out, src, n);
  }
  for (uint32_t i = 0; rc == 0 && i < n; ++i)
    rc = ColSetCopyRows(out->get(), src, i, first + i, move);
  return rc;
}

void KS_KeepSpare(KS_KEYSET* ks, COLSET* rows) {
  if (ks == nullptr || rows->row_capacity == 0 || rows->row_capacity > kSpareRows ||
      HoldsLong(rows)) {
    ColSetFreeColumns(rows);
    return;
  }
  if (!ks->spare) ks->spare.reset(new (std::nothrow) COLSET());
  if (!ks->spare) {
    ColSetFreeColumns(rows);
    return;
  }
  ColSetFreeColumns(ks->spare.get());
  *ks->spare = *rows;
  *rows = COLSET{};
  ks->spare->rows_held = 0;
}

uint32_t KS_AheadSpan(KS_KEYSET* ks, uint32_t most) {
  // Wide rows read ahead in fewer at a time, so that the rows held for
  // later fetches stay within a few megabytes whatever the statement.
  constexpr uint64_t kAheadBytes = 4u << 20;
  if (ks->aheadRowBytes != 0)
    most = static_cast<uint32_t>(
        std::clamp<uint64_t>(kAheadBytes / ks->aheadRowBytes, KS_AHEAD_FIRST, most));
  ks->aheadSpan = std::clamp(ks->aheadSpan * 2, KS_AHEAD_FIRST, most);
  return ks->aheadSpan;
}

void KS_NoteAheadWidth(KS_KEYSET* ks, const COLSET* rows) {
  ks->aheadRowBytes = ColSetRowBytes(rows);
}

void KS_DropMarks(KS_KEYSET* ks) {
  if (ks == nullptr) return;
  ColSetDestroy(ks->marks);
  ks->marks = nullptr;
  ks->markOf.clear();
}
