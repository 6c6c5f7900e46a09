// Stack-like memory pool: one object at a time grows at the end of the
// current block, is finished (its address frozen, 16-byte aligned) and the
// next one starts behind it; the whole pool is released at once. Running out
// of memory ends the process.
#ifndef QMR_UTIL_MPL_H
#define QMR_UTIL_MPL_H

#include <cstddef>
#include <cstdint>

// Block header; the data area starts at the first 16-byte boundary at least
// 16 bytes into the block.
struct MPL_BLOCK {
  MPL_BLOCK* prev;  // next older block
  char* end;        // first byte past this block
};

// All zero is an empty pool.
struct MPL_POOL {
  MPL_BLOCK* block;  // current (newest) block, null when none
  char* start;       // start of the object now growing
  char* fill;        // next free byte: end of the growing object
  char* limit;       // first byte past the current block
};

void mpl_init(MPL_POOL* pool);
void mpl_free_block(MPL_BLOCK* block);
void mpl_destroy(MPL_POOL* pool);
// Moves the growing object into a new block with room for `need` more bytes.
void mpl_newchunk(MPL_POOL* pool, size_t need);
// Appends n bytes to the growing object; returns where they were copied.
char* mpl_grow_copy(MPL_POOL* pool, const void* data, size_t n);
// Reserves n bytes at the end of the growing object and returns them; the
// fill pointer moves to the next 16-byte boundary behind them.
char* mpl_blank(MPL_POOL* pool, size_t n);
char* mpl_align(MPL_POOL* pool);
// Ends the growing object and returns its start (null for a pool that never
// grew anything).
char* mpl_finish(MPL_POOL* pool);
char* mpl_finish_size(MPL_POOL* pool, size_t* size);
char* mpl_alloc_obj(MPL_POOL* pool, size_t n);
size_t mpl_object_size(const MPL_POOL* pool);
// null: drops the growing object. Otherwise drops everything built from ptr
// on; a pointer no block holds empties the pool.
void mpl_free_to(MPL_POOL* pool, void* ptr);
// Zero-filled heap block; ends the process when memory runs out.
void* mpl_alloc(size_t size);

inline void mpl_grow_byte(MPL_POOL* pool, char c) {
  if (pool->fill >= pool->limit) mpl_newchunk(pool, 1);
  *pool->fill++ = c;
}

#endif
