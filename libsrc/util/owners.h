// Owners of the C-style allocations that travel through the driver: blocks
// from malloc (the agent's answers, copies handed over by value) and row
// buffers made with new. A function that holds one of these through an
// owner cannot leak it on an early return; handing it on is release().
#ifndef QMR_UTIL_OWNERS_H
#define QMR_UTIL_OWNERS_H

#include <cstdlib>
#include <memory>

#include "util/colset.h"

// Frees the set's columns and the record (new-allocated). Null is ignored.
inline void ColSetDestroy(COLSET* set) {
  if (set == nullptr) return;
  ColSetFreeColumns(set);
  delete set;
}

struct ColSetDeleter {
  void operator()(COLSET* set) const { ColSetDestroy(set); }
};
// A row buffer made with new (ColSetCreate and its kin, or new COLSET()).
using ColSetPtr = std::unique_ptr<COLSET, ColSetDeleter>;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
// A block from malloc, calloc, realloc or strdup (or s_alloc); T[] for an
// array read by index.
template <typename T>
using UniqueFree = std::unique_ptr<T, FreeDeleter>;

#endif
