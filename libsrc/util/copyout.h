// Copying text into application buffers, the agent's message lists, and the
// column-attribute entries that the agent supplies beside result-column
// descriptions.
#ifndef QMR_UTIL_COPYOUT_H
#define QMR_UTIL_COPYOUT_H

#include <cstdint>

#include "util/hash.h"

// ---------------------------------------------------------------------------
// Copy-out. Text is NUL-terminated UTF-8; a cut never splits a UTF-8
// sequence, so it may stop up to three bytes short of size - 1. Sizes are in
// bytes and taken wide: a size of 0 or below has no room even for the
// terminator, and nothing is written to the buffer then. A length stored in
// a u16 that would exceed 0xFFFF reads 0xFFFF.

// Copies text into buf of size bytes. 0 when the whole text fit (*len = its
// length); -1 when it was cut (*len = the bytes copied) or when text or buf
// is null (nothing stored). len may be null.
int STR_CopyOut(const char* text, char* buf, int64_t size, uint16_t* len);

// As STR_CopyOut, but *len always receives the full length of the text, and
// a null buf only stores that length and returns 0. Null text: -1.
int STR_CopyOutW(const char* text, char* buf, int64_t size, uint16_t* len);

// ---------------------------------------------------------------------------
// Two owned (malloc) pointers that are freed together.
struct REC_PAIR {
  void* first;
  void* second;
};

// Frees each non-null pointer of the pair and clears it.
void REC_FreePair(REC_PAIR* pair);

// Messages of one agent diagnostic pull: every text shares the native code.
struct MSG_LIST {
  uint32_t native;
  uint32_t count;
  char** texts;  // count owned (malloc) texts
};

// Frees each text and the array; count becomes 0, texts null.
void LST_Free(MSG_LIST* list);

// ---------------------------------------------------------------------------
// Column-attribute entries: a typed value for one field identifier, either
// of one column or (column 0) of every column.

enum : int16_t {
  ATTR_KIND_TEXT = 0,   // value.text, owned (malloc) by the entry
  ATTR_KIND_INT = 1,    // value.u32
  ATTR_KIND_INT2 = 2,   // value.u32
  ATTR_KIND_8BYTE = 3,  // value.dbl / value.i64: eight bytes handed out as stored
};

struct ATTR_ENTRY {
  uint16_t column;  // 1-based column; 0 = any column
  int16_t field;    // field identifier; negative = skip this entry
  int16_t kind;     // ATTR_KIND_*
  union {
    char* text;
    uint32_t u32;
    int64_t i64;
    double dbl;
  } value;
  uint64_t reserved;  // copied along; keeps arrays of entries at their 24-byte stride
};
static_assert(sizeof(ATTR_ENTRY) == 24, "attribute entries are 24 bytes");

// Key of an entry in a statement's column-attribute table (a HASH_TABLE with
// 4-byte keys): the field identifier in the high half, the column in the low.
inline uint32_t ATTR_Key(uint16_t field, uint16_t column) {
  return (static_cast<uint32_t>(field) << 16) | column;
}

// Looks the value of field for column up in table (values ATTR_ENTRY*), first
// under the column's own key, then under column 0. 1 when found and the
// entry's kind has an out to go to: kinds 1 and 2 store into *u32, kind 0 the
// text pointer (still owned by the entry) into *ptr, kind 3 its eight bytes
// into *out8. 0 otherwise, and for a null table.
int DRV_LookupSub(HASH_TABLE* table, uint16_t field, uint16_t column, uint32_t* u32, void** ptr,
                  void* out8);

// The same answer from a list of n entries (LST_Build's): an entry that
// comes later for the same field and column stands in for an earlier one.
int ATTR_LookupList(const ATTR_ENTRY* list, uint16_t n, uint16_t field, uint16_t column,
                    uint32_t* u32, void** ptr, void* out8);

// Frees the entry's text when its kind is text (and clears the pointer).
void ATTR_EntryRelease(ATTR_ENTRY* entry);

// ATTR_EntryRelease, then frees the entry itself (malloc). Shaped as a
// hash_foreach callback; the other arguments are ignored. Returns 0.
int ATTR_EntryFree(void* entry, const void* key, void* arg);

// 1 when both kinds are equal and so are the values: the text pointers for
// kind 0, the u32 for 1 and 2, the eight bytes for kind 3 (a NaN never equals
// anything). 0 otherwise, also for any other kind.
int ATTR_EntryEqual(const ATTR_ENTRY* a, const ATTR_ENTRY* b);

// Copies source into dest and returns dest. In mode ATTR_COPY_OWN a
// non-null text is duplicated so that dest owns its copy; should that fail,
// dest's text is null.
constexpr int ATTR_COPY_SHALLOW = 0;
constexpr int ATTR_COPY_OWN = 2;
ATTR_ENTRY* ATTR_EntryCopy(ATTR_ENTRY* dest, const ATTR_ENTRY* source, int mode);

// Builds a compact array from n entries: entries with a negative field are
// dropped; within a run of one field identifier, an entry for column 0 is
// kept and becomes the run's default, and an entry for another column is
// kept only when there is no default yet or its value differs from it.
// *out_count and *out are cleared first; with entries kept, *out is a new
// malloc'd array (free it with ATTR_EntryRelease on each and free()). 0, or
// ERR_NO_MEMORY when memory runs out (the outs stay cleared), or
// ERR_INVALID_ARGUMENT for a null out.
int LST_Build(uint16_t n, const ATTR_ENTRY* entries, uint16_t* out_count, ATTR_ENTRY** out,
              int mode);

#endif
