#include "util/mpl.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "util/log.h"
#include "util/utalloc.h"

namespace {

constexpr uintptr_t kAlign = 16;

char* align_up(char* p) {
  const auto v = reinterpret_cast<uintptr_t>(p);
  return p + ((kAlign - (v & (kAlign - 1))) & (kAlign - 1));
}

char* data_area(MPL_BLOCK* b) {
  const auto v = (reinterpret_cast<uintptr_t>(b) + 31) & ~(kAlign - 1);
  return reinterpret_cast<char*>(b) + (v - reinterpret_cast<uintptr_t>(b));
}

[[noreturn]] void pool_exhausted(int line) {
  log_message(LOG_LEVEL_ERROR, __FILE__, line, "out of memory");
  util_exit(1);
}

// Bytes left between the fill pointer and the limit (0 for an empty pool).
size_t room(const MPL_POOL* p) { return p->block ? static_cast<size_t>(p->limit - p->fill) : 0; }

bool holds(const MPL_BLOCK* b, const void* ptr) {
  const auto v = reinterpret_cast<uintptr_t>(ptr);
  return v > reinterpret_cast<uintptr_t>(b) && v <= reinterpret_cast<uintptr_t>(b->end);
}

// The growing object lies in the current block's data area: its start,
// then the fill pointer, then the limit, which is the block's end. An
// empty pool has none of them.
[[maybe_unused]] bool in_order(MPL_POOL* p) {
  if (p->block == nullptr) return p->start == nullptr && p->fill == nullptr && p->limit == nullptr;
  return data_area(p->block) <= p->start && p->start <= p->fill && p->fill <= p->limit &&
         p->limit == p->block->end;
}

}  // namespace

void* mpl_alloc(size_t size) {
  if (size > static_cast<size_t>(PTRDIFF_MAX)) pool_exhausted(__LINE__);
  void* p = std::calloc(1, size);
  if (p == nullptr) pool_exhausted(__LINE__);
  return p;
}

void mpl_init(MPL_POOL* pool) { *pool = MPL_POOL{}; }

void mpl_free_block(MPL_BLOCK* block) { std::free(block); }

void mpl_destroy(MPL_POOL* pool) {
  for (MPL_BLOCK* b = pool->block; b != nullptr;) {
    MPL_BLOCK* prev = b->prev;
    mpl_free_block(b);
    b = prev;
  }
  *pool = MPL_POOL{};
}

void mpl_newchunk(MPL_POOL* pool, size_t need) {
  const size_t size = pool->block ? static_cast<size_t>(pool->fill - pool->start) : 0;
  // size + need + size/8 + 100, rounded up to a multiple of 4 KiB; a sum
  // that wraps is a request nobody can satisfy.
  const size_t limit = static_cast<size_t>(PTRDIFF_MAX) - 4195;
  if (need > limit || size > (limit - need) / 2) pool_exhausted(__LINE__);
  const size_t length = (size + need + size / 8 + 4195) & ~static_cast<size_t>(4095);

  auto* nb = static_cast<MPL_BLOCK*>(mpl_alloc(length));
  char* area = data_area(nb);
  if (size > 0) std::memcpy(area, pool->start, size);

  MPL_BLOCK* old = pool->block;
  if (old != nullptr && pool->start == data_area(old)) {
    // The old block held nothing but the object that just moved out.
    nb->prev = old->prev;
    mpl_free_block(old);
  } else {
    nb->prev = old;
  }
  nb->end = reinterpret_cast<char*>(nb) + length;
  pool->block = nb;
  pool->limit = nb->end;
  pool->start = area;
  pool->fill = area + size;
  assert(in_order(pool));
}

char* mpl_grow_copy(MPL_POOL* pool, const void* data, size_t n) {
  if (room(pool) <= n) mpl_newchunk(pool, n);
  char* at = pool->fill;
  if (n > 0) std::memcpy(at, data, n);
  pool->fill += n;
  assert(in_order(pool));
  return at;
}

char* mpl_blank(MPL_POOL* pool, size_t n) {
  if (room(pool) <= n) mpl_newchunk(pool, n);
  char* at = pool->fill;
  pool->fill = align_up(at + n);
  assert(in_order(pool));
  return at;
}

char* mpl_align(MPL_POOL* pool) {
  if (pool->block != nullptr) pool->fill = align_up(pool->fill);
  return pool->fill;
}

char* mpl_finish(MPL_POOL* pool) {
  char* obj = pool->start;
  if (pool->block != nullptr) pool->fill = align_up(pool->fill);
  pool->start = pool->fill;
  return obj;
}

char* mpl_finish_size(MPL_POOL* pool, size_t* size) {
  if (size != nullptr) *size = mpl_object_size(pool);
  return mpl_finish(pool);
}

char* mpl_alloc_obj(MPL_POOL* pool, size_t n) {
  mpl_blank(pool, n);
  return mpl_finish(pool);
}

size_t mpl_object_size(const MPL_POOL* pool) {
  return pool->block ? static_cast<size_t>(pool->fill - pool->start) : 0;
}

void mpl_free_to(MPL_POOL* pool, void* ptr) {
  if (ptr == nullptr) {
    pool->fill = pool->start;
    return;
  }
  MPL_BLOCK* b = pool->block;
  while (b != nullptr && !holds(b, ptr)) {
    MPL_BLOCK* prev = b->prev;
    mpl_free_block(b);
    b = prev;
  }
  if (b == nullptr) {
    *pool = MPL_POOL{};
    return;
  }
  pool->block = b;
  pool->limit = b->end;
  pool->start = pool->fill = static_cast<char*>(ptr);
  // A pointer into a block's header is none the pool handed out.
  assert(in_order(pool));
}
