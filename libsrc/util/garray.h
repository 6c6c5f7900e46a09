// Growable array of fixed-size items copied in by value; capacity starts at
// 10 and grows by 10. Failures (null arguments, no memory) answer 0 or null.
#ifndef QMR_UTIL_GARRAY_H
#define QMR_UTIL_GARRAY_H

#include <cassert>
#include <cstdint>

struct GROW_ARRAY {
  uint32_t count;     // items in use
  uint32_t capacity;  // items allocated
  void* items;        // zero-filled block of capacity x item_size bytes
  uint64_t item_size;
};

typedef void (*ARR_ITEM_FN)(void* item);
// Called by ARR_Remove with the item, its index and the callback itself.
typedef void (*ARR_REMOVE_FN)(void* item, uint32_t index, void* callback);

// Null for an item size of 0 or when memory runs out.
GROW_ARRAY* ARR_New(uint64_t item_size);
// Calls destroy (when given) on each item in use, frees everything and sets
// *parray to null.
void ARR_Free(GROW_ARRAY** parray, ARR_ITEM_FN destroy);
// Ten more slots; 1, or 0 when memory runs out (the array is unchanged).
int ARR_Grow(GROW_ARRAY* a);
// Copies item_size bytes from item to the end; 1, or 0 on failure. The item
// may lie inside the array itself.
int ARR_Append(GROW_ARRAY* a, const void* item);
// Appends every item of src in order; 0 for a null array, differing item
// sizes or no memory (items appended so far stay), else 1.
int ARR_AppendAll(GROW_ARRAY* dst, const GROW_ARRAY* src);
// Calls callback (when given) on the item, closes the gap; 0 for a null
// array or an index not below the count, else 1.
int ARR_Remove(GROW_ARRAY* a, uint32_t index, ARR_REMOVE_FN callback);

// Address of item i: within the block, though not necessarily in use
// (checked in debug builds only).
inline void* ARR_Item(const GROW_ARRAY* a, uint32_t i) {
  assert(i < a->capacity);
  return static_cast<char*>(a->items) + static_cast<uint64_t>(i) * a->item_size;
}

// The name the cursor library uses for ARR_AppendAll.
inline int ARR_Get(GROW_ARRAY* dst, const GROW_ARRAY* src) { return ARR_AppendAll(dst, src); }

#endif
