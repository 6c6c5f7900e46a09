#include "util/handle_table.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/lock.h"
#include "util/errcodes.h"

namespace {

uint16_t slot_tag(const HANDLE_TABLE* table) { return static_cast<uint16_t>(table->tag & 0xFFFFu); }

// Makes room for capacity + HT_GROW_BY slots. The array is grown
// geometrically so that filling a big table does not copy it once per five
// handles; only capacity is what handle numbers may name.
bool reserve_slots(HANDLE_TABLE* table, uint32_t needed) REQUIRES(table->lock) {
  if (needed <= table->slots_allocated) return true;
  uint32_t want = std::min<uint32_t>(std::max(needed, table->slots_allocated * 2), HT_MAX_SLOTS);
  void* grown = std::realloc(table->slots, sizeof(HT_SLOT) * want);
  if (!grown && want > needed) {
    want = needed;
    grown = std::realloc(table->slots, sizeof(HT_SLOT) * want);
  }
  if (!grown) return false;  // the old array is untouched
  table->slots = static_cast<HT_SLOT*>(grown);
  for (uint32_t i = table->slots_allocated; i < want; ++i) table->slots[i] = HT_SLOT{0, nullptr};
  table->slots_allocated = want;
  return true;
}

// What every operation leaves behind: the counts stay within the slots
// that exist. (That no slot below first_free is free would cost a pass over
// the table each time; HT_Alloc's search relies on it.)
[[maybe_unused]] bool counts_hold(const HANDLE_TABLE* table) REQUIRES(table->lock) {
  return table->free_count <= table->capacity && table->first_free <= table->capacity &&
         table->capacity <= table->slots_allocated && table->slots_allocated <= HT_MAX_SLOTS;
}

}  // namespace

int HT_Init(HANDLE_TABLE* table, uint32_t tag) {
  if (!table) return ERR_INVALID_ARGUMENT;
  HT_Done(table);
  auto* slots = static_cast<HT_SLOT*>(std::calloc(HT_GROW_BY, sizeof(HT_SLOT)));
  if (!slots) return ERR_NO_MEMORY;
  HT_Guard guard(table);  // none yet: a table gets its lock after HT_Init
  table->slots = slots;
  table->slots_allocated = HT_GROW_BY;
  table->capacity = HT_GROW_BY;
  table->free_count = HT_GROW_BY;
  table->first_free = 0;
  // A slot tagged 0 reads as free, so a tag without a low half would make
  // every handle of the table unresolvable.
  table->tag = (tag & 0xFFFFu) ? (tag & 0xFFFFu) : 0xFFFFFFFFu;
  return HT_OK;
}

int HT_EnableLock(HANDLE_TABLE* table) {
  if (!table) return ERR_INVALID_ARGUMENT;
  if (!table->lock) {
    table->lock = new (std::nothrow) plat::Mutex;
    if (!table->lock) return ERR_NO_MEMORY;
  }
  table->lock_flag = 1;
  return HT_OK;
}

int HT_Alloc(HANDLE_TABLE* table, uint32_t* handle, void* object) {
  if (handle) *handle = 0;
  if (!table || !handle || table->tag == 0) return ERR_INVALID_ARGUMENT;

  HT_Guard guard(table);
  uint32_t index = table->capacity;
  if (table->free_count > 0) {
    for (uint32_t i = table->first_free; i < table->capacity; ++i) {
      if (table->slots[i].tag == 0) {
        index = i;
        break;
      }
    }
  }
  if (index == table->capacity) {
    // No free slot: the free count says so too, or a slot was lost.
    assert(table->free_count == 0);
    const uint32_t grown = static_cast<uint32_t>(table->capacity) + HT_GROW_BY;
    if (grown > HT_MAX_SLOTS) return ERR_HANDLE_LIMIT;
    if (!reserve_slots(table, grown)) return ERR_NO_MEMORY;
    table->capacity = static_cast<uint16_t>(grown);
    table->free_count = HT_GROW_BY;
  }

  table->slots[index].tag = slot_tag(table);
  table->slots[index].object = object;
  table->free_count = static_cast<uint16_t>(table->free_count - 1);
  table->first_free = index + 1;
  *handle = (static_cast<uint32_t>(slot_tag(table)) << 16) | index;
  assert(counts_hold(table));
  return HT_OK;
}

void HT_Free(HANDLE_TABLE* table, uint64_t handle) {
  if (!table || (handle >> 32) != 0) return;
  const uint32_t index = static_cast<uint32_t>(handle & 0xFFFFu);
  const uint16_t tag = static_cast<uint16_t>((handle >> 16) & 0xFFFFu);
  if (tag == 0) return;
  // The capacity is read under the lock: another thread may be growing it.
  HT_Guard guard(table);
  if (index >= table->capacity || table->slots[index].tag != tag) return;
  table->slots[index] = HT_SLOT{0, nullptr};
  table->free_count = static_cast<uint16_t>(table->free_count + 1);
  table->first_free = std::min(table->first_free, index);
  assert(counts_hold(table));
}

void HT_Done(HANDLE_TABLE* table) {
  if (!table) return;
  {
    HT_Guard guard(table);
    std::free(table->slots);
  }
  delete table->lock;
  *table = HANDLE_TABLE{};
}
