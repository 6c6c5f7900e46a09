#include "util/copyout.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "util/errcodes.h"
#include "util/textconv.h"

namespace {

uint16_t clamp_u16(size_t n) { return n > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(n); }

// Copies as much of text (length bytes) as fits with its NUL into buf of
// size bytes (size >= 1). Returns the bytes copied; a cut backs off to the
// start of a UTF-8 sequence so no partial character reaches the caller.
size_t copy_cut(const char* text, size_t length, char* buf, int64_t size) {
  if (static_cast<uint64_t>(size) > length) {
    std::memcpy(buf, text, length + 1);
    return length;
  }
  const size_t n = utf8_prefix_len_bounded(text, length, static_cast<size_t>(size - 1));
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return n;
}

}  // namespace

int STR_CopyOut(const char* text, char* buf, int64_t size, uint16_t* len) {
  if (!text || !buf) return -1;
  const size_t length = std::strlen(text);
  if (size <= 0) return -1;
  const size_t copied = copy_cut(text, length, buf, size);
  if (len) *len = clamp_u16(copied);
  return copied == length ? 0 : -1;
}

int STR_CopyOutW(const char* text, char* buf, int64_t size, uint16_t* len) {
  if (!text) return -1;
  const size_t length = std::strlen(text);
  if (len) *len = clamp_u16(length);
  if (!buf) return 0;
  if (size <= 0) return -1;
  return copy_cut(text, length, buf, size) == length ? 0 : -1;
}

void REC_FreePair(REC_PAIR* pair) {
  if (!pair) return;
  std::free(pair->first);
  std::free(pair->second);
  pair->first = nullptr;
  pair->second = nullptr;
}

void LST_Free(MSG_LIST* list) {
  if (!list) return;
  if (list->texts) {
    for (uint32_t i = 0; i < list->count; ++i) std::free(list->texts[i]);
  }
  list->count = 0;
  std::free(list->texts);
  list->texts = nullptr;
}

namespace {

int AnswerOf(const ATTR_ENTRY* entry, uint32_t* u32, void** ptr, void* out8) {
  switch (entry->kind) {
    case ATTR_KIND_INT:
    case ATTR_KIND_INT2:
      if (!u32) return 0;
      *u32 = entry->value.u32;
      return 1;
    case ATTR_KIND_TEXT:
      if (!ptr) return 0;
      *ptr = entry->value.text;
      return 1;
    case ATTR_KIND_8BYTE:
      if (!out8) return 0;
      std::memcpy(out8, &entry->value, 8);
      return 1;
    default: return 0;
  }
}

}  // namespace

int DRV_LookupSub(HASH_TABLE* table, uint16_t field, uint16_t column, uint32_t* u32, void** ptr,
                  void* out8) {
  if (!table) return 0;
  uint32_t key = ATTR_Key(field, column);
  auto* entry = static_cast<const ATTR_ENTRY*>(hash_lookup(table, &key));
  if (!entry) {
    key = ATTR_Key(field, 0);
    entry = static_cast<const ATTR_ENTRY*>(hash_lookup(table, &key));
  }
  if (!entry) return 0;
  if (entry->column != column && entry->column != 0) return 0;
  if (entry->field < 0 || static_cast<uint16_t>(entry->field) != field) return 0;
  return AnswerOf(entry, u32, ptr, out8);
}

int ATTR_LookupList(const ATTR_ENTRY* list, uint16_t n, uint16_t field, uint16_t column,
                    uint32_t* u32, void** ptr, void* out8) {
  const ATTR_ENTRY* own = nullptr;
  const ATTR_ENTRY* any = nullptr;
  for (uint16_t i = 0; list != nullptr && i < n; ++i) {
    const ATTR_ENTRY& e = list[i];
    if (e.field < 0 || static_cast<uint16_t>(e.field) != field) continue;
    if (e.column == column) own = &e;
    if (e.column == 0) any = &e;
  }
  const ATTR_ENTRY* entry = own != nullptr ? own : any;
  return entry != nullptr ? AnswerOf(entry, u32, ptr, out8) : 0;
}

void ATTR_EntryRelease(ATTR_ENTRY* entry) {
  if (!entry || entry->kind != ATTR_KIND_TEXT) return;
  std::free(entry->value.text);
  entry->value.text = nullptr;
}

int ATTR_EntryFree(void* entry, const void*, void*) {
  auto* e = static_cast<ATTR_ENTRY*>(entry);
  ATTR_EntryRelease(e);
  std::free(e);
  return 0;
}

int ATTR_EntryEqual(const ATTR_ENTRY* a, const ATTR_ENTRY* b) {
  if (a->kind != b->kind) return 0;
  switch (a->kind) {
    case ATTR_KIND_TEXT: return a->value.text == b->value.text;
    case ATTR_KIND_INT:
    case ATTR_KIND_INT2: return a->value.u32 == b->value.u32;
    case ATTR_KIND_8BYTE:
      // The eight bytes may hold a double or a 64-bit integer: compare them
      // as bits so distinct integers never merge, and keep a NaN unequal.
      if (std::isnan(a->value.dbl)) return 0;
      return std::memcmp(&a->value, &b->value, sizeof a->value) == 0;
    default: return 0;
  }
}

ATTR_ENTRY* ATTR_EntryCopy(ATTR_ENTRY* dest, const ATTR_ENTRY* source, int mode) {
  *dest = *source;
  if (mode == ATTR_COPY_OWN && source->kind == ATTR_KIND_TEXT && source->value.text) {
    dest->value.text = strdup(source->value.text);
  }
  return dest;
}

int LST_Build(uint16_t n, const ATTR_ENTRY* entries, uint16_t* out_count, ATTR_ENTRY** out,
              int mode) {
  if (out_count) *out_count = 0;
  if (out) *out = nullptr;
  if (!out_count || !out) return ERR_INVALID_ARGUMENT;
  if (n == 0 || !entries) return 0;

  // One walk decides which entries stay; the copy follows it.
  std::vector<uint16_t> kept;
  try {
    kept.reserve(n);
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  }
  const ATTR_ENTRY* dflt = nullptr;
  bool have_field = false;
  int16_t field = 0;
  for (uint16_t i = 0; i < n; ++i) {
    const ATTR_ENTRY& e = entries[i];
    if (e.field < 0) continue;
    if (!have_field || e.field != field) {
      have_field = true;
      field = e.field;
      dflt = nullptr;
    }
    if (e.column == 0) {
      dflt = &e;
      kept.push_back(i);
    } else if (!dflt || !ATTR_EntryEqual(&e, dflt)) {
      kept.push_back(i);
    }
  }
  if (kept.empty()) return 0;

  auto* list = static_cast<ATTR_ENTRY*>(std::calloc(kept.size(), sizeof(ATTR_ENTRY)));
  if (!list) return ERR_NO_MEMORY;
  for (size_t k = 0; k < kept.size(); ++k) {
    const ATTR_ENTRY& src = entries[kept[k]];
    ATTR_EntryCopy(&list[k], &src, mode);
    if (mode == ATTR_COPY_OWN && src.kind == ATTR_KIND_TEXT && src.value.text &&
        !list[k].value.text) {
      for (size_t j = 0; j < k; ++j) ATTR_EntryRelease(&list[j]);
      std::free(list);
      return ERR_NO_MEMORY;
    }
  }
  *out_count = static_cast<uint16_t>(kept.size());
  *out = list;
  return 0;
}
