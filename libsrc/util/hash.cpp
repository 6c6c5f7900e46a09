#include "util/hash.h"

#include <cassert>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace {

bool key_equal(const HASH_TABLE* t, const void* a, const void* b) {
  if (t->keylen == 0)
    return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
  return std::memcmp(a, b, t->keylen) == 0;
}

// The string hash works on a signed 32-bit value with wrap-around; it is
// carried in unsigned arithmetic so that the wrap is defined, and the sign
// is applied by hand where the arithmetic shift needs it.
uint32_t string_hash(const char* s) {
  uint32_t h = 0;
  for (; *s != '\0'; ++s) {
    const auto c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*s)));
    uint32_t shifted = h >> 28;
    if (h & 0x80000000u) shifted |= 0xFFFFFFF0u;
    h = h * 8u + c + shifted;
  }
  return h;
}

uint32_t fixed_hash(const unsigned char* k, uint32_t n) {
  uint32_t h = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const auto v = static_cast<int32_t>(static_cast<signed char>(k[i])) * 23;
    h ^= static_cast<uint32_t>(v);
    h = (h << 1) | (h >> 31);
  }
  return h;
}

}  // namespace

uint32_t hash_index(const HASH_TABLE* t, const void* key) {
  if (t == nullptr || key == nullptr) return 0;
  assert(t->nbuckets >= 1);
  if (t->keylen != 0)
    return fixed_hash(static_cast<const unsigned char*>(key), t->keylen) % t->nbuckets;
  const uint32_t h = string_hash(static_cast<const char*>(key));
  // Magnitude of the signed value; for the most negative value it is 2^31,
  // which an unsigned word holds, so every key has a valid bucket.
  const uint32_t magnitude = (h & 0x80000000u) ? 0u - h : h;
  return magnitude % t->nbuckets;
}

HASH_TABLE* hash_create(int32_t buckets, uint32_t keylen) {
  if (buckets < 1) buckets = 1;
  auto* t = static_cast<HASH_TABLE*>(std::calloc(1, sizeof(HASH_TABLE)));
  if (t == nullptr) return nullptr;
  t->buckets =
      static_cast<HASH_ENTRY**>(std::calloc(static_cast<size_t>(buckets), sizeof(HASH_ENTRY*)));
  if (t->buckets == nullptr) {
    std::free(t);
    return nullptr;
  }
  t->nbuckets = static_cast<uint32_t>(buckets);
  t->keylen = keylen;
  return t;
}

void hash_destroy(HASH_TABLE* t) {
  if (t == nullptr) return;
  for (uint32_t b = 0; b < t->nbuckets; ++b) {
    for (HASH_ENTRY* e = t->buckets[b]; e != nullptr;) {
      HASH_ENTRY* next = e->next;
      std::free(e->key);
      std::free(e);
      e = next;
    }
  }
  std::free(t->buckets);
  std::free(t);
}

int hash_foreach(HASH_TABLE* t, int (*fn)(void* value, const void* key, void* arg), void* arg) {
  if (t == nullptr || fn == nullptr) return 0;
  for (uint32_t b = 0; b < t->nbuckets; ++b) {
    for (HASH_ENTRY* e = t->buckets[b]; e != nullptr;) {
      HASH_ENTRY* next = e->next;
      fn(e->value, e->key, arg);
      e = next;
    }
  }
  return 0;
}

void hash_stats(HASH_TABLE* t, FILE* out) {
  if (t == nullptr || out == nullptr) return;
  double full = 0.0;
  double coll = 0.0;
  if (t->entries != 0) {
    full = static_cast<double>((static_cast<uint64_t>(t->entries) * 100u) / t->nbuckets);
    coll = static_cast<double>((static_cast<uint64_t>(t->colls) * 100u) / t->entries);
  }
  std::fprintf(out,
               "size=%" PRIu32 ", entries=%" PRIu32 ", colls=%" PRIu32 ", %%full=%f, %%coll=%f\n",
               t->nbuckets, t->entries, t->colls, full, coll);
}

HASH_ENTRY* hash_find(HASH_TABLE* t, const void* key) {
  if (t == nullptr || key == nullptr) return nullptr;
  for (HASH_ENTRY* e = t->buckets[hash_index(t, key)]; e != nullptr; e = e->next)
    if (key_equal(t, e->key, key)) return e;
  return nullptr;
}

void* hash_lookup(HASH_TABLE* t, const void* key) {
  HASH_ENTRY* e = hash_find(t, key);
  return e ? e->value : nullptr;
}

void hash_link(HASH_TABLE* t, HASH_ENTRY* entry, void* key_copy, void* value) {
  if (t == nullptr || entry == nullptr || key_copy == nullptr) return;
  const uint32_t b = hash_index(t, key_copy);
  entry->key = key_copy;
  entry->value = value;
  if (t->buckets[b] != nullptr) ++t->colls;
  entry->next = t->buckets[b];
  t->buckets[b] = entry;
  ++t->entries;
  // Every non-empty bucket's last entry is no collision.
  assert(t->colls < t->entries);
}

HASH_ENTRY* hash_unlink(HASH_TABLE* t, const void* key) {
  if (t == nullptr || key == nullptr) return nullptr;
  const uint32_t b = hash_index(t, key);
  HASH_ENTRY** link = &t->buckets[b];
  for (HASH_ENTRY* e = *link; e != nullptr; link = &e->next, e = e->next) {
    if (!key_equal(t, e->key, key)) continue;
    *link = e->next;
    e->next = nullptr;
    assert(t->entries > 0);
    --t->entries;
    if (t->buckets[b] != nullptr) --t->colls;
    assert(t->colls <= t->entries);
    return e;
  }
  return nullptr;
}

HASH_ENTRY* hash_set(HASH_TABLE* t, const void* key, void* value) {
  if (t == nullptr || key == nullptr) return nullptr;
  if (HASH_ENTRY* e = hash_find(t, key)) {
    e->value = value;
    return e;
  }
  void* copy;
  if (t->keylen == 0) {
    copy = strdup(static_cast<const char*>(key));
  } else {
    copy = std::calloc(1, t->keylen);
    if (copy != nullptr) std::memcpy(copy, key, t->keylen);
  }
  if (copy == nullptr) return nullptr;
  auto* e = static_cast<HASH_ENTRY*>(std::calloc(1, sizeof(HASH_ENTRY)));
  if (e == nullptr) {
    std::free(copy);
    return nullptr;
  }
  hash_link(t, e, copy, value);
  return e;
}

int hash_remove(HASH_TABLE* t, const void* key) {
  HASH_ENTRY* e = hash_unlink(t, key);
  if (e == nullptr) return 0;
  std::free(e->key);
  std::free(e);
  return 1;
}
