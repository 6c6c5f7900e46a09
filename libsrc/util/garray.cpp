#include "util/garray.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kStep = 10;

// A zero-filled block of `capacity + kStep` items holding the old ones, or
// null. The old block stays alive for the caller to free.
void* grown_block(const GROW_ARRAY* a) {
  if (a->capacity > UINT32_MAX - kStep) return nullptr;
  const uint64_t cap = static_cast<uint64_t>(a->capacity) + kStep;
  if (a->item_size > static_cast<uint64_t>(PTRDIFF_MAX) / cap) return nullptr;
  void* block = std::calloc(static_cast<size_t>(cap), static_cast<size_t>(a->item_size));
  if (block != nullptr && a->items != nullptr)
    std::memcpy(block, a->items, static_cast<size_t>(a->capacity * a->item_size));
  return block;
}

}  // namespace

GROW_ARRAY* ARR_New(uint64_t item_size) {
  if (item_size == 0 || item_size > static_cast<uint64_t>(PTRDIFF_MAX) / kStep) return nullptr;
  auto* a = static_cast<GROW_ARRAY*>(std::calloc(1, sizeof(GROW_ARRAY)));
  if (a == nullptr) return nullptr;
  a->items = std::calloc(kStep, static_cast<size_t>(item_size));
  if (a->items == nullptr) {
    std::free(a);
    return nullptr;
  }
  a->capacity = kStep;
  a->item_size = item_size;
  return a;
}

void ARR_Free(GROW_ARRAY** parray, ARR_ITEM_FN destroy) {
  if (parray == nullptr || *parray == nullptr) return;
  GROW_ARRAY* a = *parray;
  if (destroy != nullptr)
    for (uint32_t i = 0; i < a->count; ++i) destroy(ARR_Item(a, i));
  std::free(a->items);
  std::free(a);
  *parray = nullptr;
}

int ARR_Grow(GROW_ARRAY* a) {
  if (a == nullptr) return 0;
  void* block = grown_block(a);
  if (block == nullptr) return 0;
  std::free(a->items);
  a->items = block;
  a->capacity += kStep;
  return 1;
}

int ARR_Append(GROW_ARRAY* a, const void* item) {
  if (a == nullptr || item == nullptr) return 0;
  const size_t size = static_cast<size_t>(a->item_size);
  assert(a->count <= a->capacity && a->items != nullptr);
  if (a->count < a->capacity) {
    std::memmove(ARR_Item(a, a->count), item, size);
    ++a->count;
    return 1;
  }
  // The item may be one of our own: copy it before the old block goes.
  void* block = grown_block(a);
  if (block == nullptr) return 0;
  std::memcpy(static_cast<char*>(block) + a->count * a->item_size, item, size);
  std::free(a->items);
  a->items = block;
  a->capacity += kStep;
  ++a->count;
  return 1;
}

int ARR_AppendAll(GROW_ARRAY* dst, const GROW_ARRAY* src) {
  if (dst == nullptr || src == nullptr || dst->item_size != src->item_size) return 0;
  // Counted up front so that appending an array to itself ends.
  const uint32_t n = src->count;
  for (uint32_t i = 0; i < n; ++i)
    if (!ARR_Append(dst, ARR_Item(src, i))) return 0;
  return 1;
}

int ARR_Remove(GROW_ARRAY* a, uint32_t index, ARR_REMOVE_FN callback) {
  if (a == nullptr || index >= a->count) return 0;
  if (callback != nullptr) callback(ARR_Item(a, index), index, reinterpret_cast<void*>(callback));
  const uint32_t later = a->count - index - 1;
  if (later > 0)
    std::memmove(ARR_Item(a, index), ARR_Item(a, index + 1),
                 static_cast<size_t>(later * a->item_size));
  --a->count;
  // The vacated slot is zeroed, as a fresh slot would be.
  std::memset(ARR_Item(a, a->count), 0, static_cast<size_t>(a->item_size));
  return 1;
}
