// The keys and values a keyset, mixed or dynamic cursor keeps between
// fetches.
#include <algorithm>

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

uint32_t KS_AheadSpan(KS_KEYSET* ks, uint32_t least, uint32_t most) {
  ks->aheadSpan = std::clamp(ks->aheadSpan * 2, least, most);
  return ks->aheadSpan;
}

void KS_DropMarks(KS_KEYSET* ks) {
  if (ks == nullptr) return;
  ColSetDestroy(ks->marks);
  ks->marks = nullptr;
  ks->markOf.clear();
}
