// Handle tables: the numbers the driver hands out instead of pointers.
//
// A handle number is 32 bits: the table's 16-bit tag in the high half and the
// slot index in the low half. A number resolves only while its slot still
// holds an object under the same tag, so a stale number, or a number of
// another table, looks up as null.
//
// A table whose bytes are all zero (a global, or HANDLE_TABLE{}) is
// uninitialised; HT_Init makes it usable and HT_Done returns it to all zero.
#ifndef QMR_UTIL_HANDLE_TABLE_H
#define QMR_UTIL_HANDLE_TABLE_H

#include <cstdint>

#include "platform/lock.h"
#include "util/errcodes.h"

// One slot: tag 0 marks a free slot, any other value is the owning table's tag.
struct HT_SLOT {
  uint16_t tag;
  void* object;
};

// The slots are guarded by the table's lock (HT_Guard) once it has one;
// before, the table is not shared yet. The tag, the flag and the lock itself
// are set before the table is shared and read freely.
struct HANDLE_TABLE {
  // Low 16 bits of the creator's tag; a tag whose low half is 0 is stored as
  // 0xFFFFFFFF, since 0 marks a free slot.
  uint32_t tag = 0;
  uint16_t capacity GUARDED_BY(lock) = 0;    // slots in use or free that handles may name
  uint16_t free_count GUARDED_BY(lock) = 0;  // slots below capacity whose tag is 0
  HT_SLOT* slots GUARDED_BY(lock) PT_GUARDED_BY(lock) = nullptr;
  uint32_t lock_flag = 0;  // 1 once HT_EnableLock gave the table its lock
  plat::Mutex* lock = nullptr;

  // Bookkeeping that keeps allocation cheap on big tables: the slot array may
  // hold more entries than capacity (grown geometrically), and no slot below
  // first_free is free.
  uint32_t slots_allocated GUARDED_BY(lock) = 0;
  uint32_t first_free GUARDED_BY(lock) = 0;
};

// A table's lock is the innermost lock of the process: it is taken last,
// under whatever lock the caller holds (the agent frees a statement's
// number under its statement-reference lock), and nothing is taken while
// it is held. The functions below take it and call out to nothing but the
// allocator; a caller that holds it (through HT_Guard) must not call them,
// as the lock is not recursive.
//
// Holds a table's lock for a scope when the table has one. The analysis
// cannot see a lock taken only sometimes: it takes the table's lock as held
// inside the scope, which is true once the table is shared.
// Not analysed: the lock is taken only when the table has one, which the
// analysis cannot follow; it takes the whole scope as held instead. Inline,
// as is HT_Lookup: every dispatched call looks its handle up.
class SCOPED_CAPABILITY HT_Guard {
 public:
  explicit HT_Guard(const HANDLE_TABLE* table) ACQUIRE(table->lock) NO_THREAD_SAFETY_ANALYSIS
      : lock_(table->lock_flag ? table->lock : nullptr) {
    if (lock_) lock_->lock();
  }
  ~HT_Guard() RELEASE() NO_THREAD_SAFETY_ANALYSIS {
    if (lock_) lock_->unlock();
  }
  HT_Guard(const HT_Guard&) = delete;
  HT_Guard& operator=(const HT_Guard&) = delete;

 private:
  plat::Mutex* lock_;
};

// Slots are added five at a time; a table holds at most 65530 of them (so no
// handle number of a table tagged 0xFFFF can be 0xFFFFFFFF).
constexpr uint16_t HT_GROW_BY = 5;
constexpr uint32_t HT_MAX_SLOTS = 65530;

// Success of the operations here; failures are internal error codes.
constexpr int HT_OK = 0;

// Resets the table (HT_Done) and gives it 5 free slots and the tag. The lock
// stays off. 0 or ERR_NO_MEMORY; on ERR_NO_MEMORY the table stays all zero.
int HT_Init(HANDLE_TABLE* table, uint32_t tag) EXCLUDES(table->lock);

// Gives the table its own lock; from then on HT_Alloc, HT_Lookup and HT_Free
// are atomic with respect to each other. Call before the table is shared. 0,
// ERR_NO_MEMORY (no memory for the lock) or ERR_INVALID_ARGUMENT (null table).
int HT_EnableLock(HANDLE_TABLE* table);

// Registers object in the lowest free slot, growing the table when none is
// free. *handle is 0 unless the result is 0. 0,
// ERR_NO_MEMORY, ERR_INVALID_ARGUMENT or ERR_HANDLE_LIMIT.
int HT_Alloc(HANDLE_TABLE* table, uint32_t* handle, void* object) EXCLUDES(table->lock);

// The object registered under handle, or null: for a null table, a number
// with bits above the low 32 set, a slot beyond the capacity, a free slot or
// a slot of another table. The object is not protected once this returns.
inline void* HT_Lookup(HANDLE_TABLE* table, uint64_t handle) EXCLUDES(table->lock) {
  if (!table || (handle >> 32) != 0) return nullptr;
  const uint32_t index = static_cast<uint32_t>(handle & 0xFFFFu);
  const uint16_t tag = static_cast<uint16_t>((handle >> 16) & 0xFFFFu);
  if (tag == 0) return nullptr;
  HT_Guard guard(table);
  if (index >= table->capacity || table->slots[index].tag != tag) return nullptr;
  return table->slots[index].object;
}

// Clears the slot when handle names it; any other number is ignored.
void HT_Free(HANDLE_TABLE* table, uint64_t handle) EXCLUDES(table->lock);

// Frees the slot array and the lock and zeroes the record.
void HT_Done(HANDLE_TABLE* table) EXCLUDES(table->lock);

#endif
