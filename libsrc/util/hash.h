// Chained hash table with a bucket count fixed at creation, keyed either by
// NUL-terminated strings (key length 0) or by keys of one fixed byte length.
// Not synchronised: tables shared between threads need their owner's lock.
#ifndef QMR_UTIL_HASH_H
#define QMR_UTIL_HASH_H

#include <cstdint>
#include <cstdio>

struct HASH_ENTRY {
  void* key;    // the table's own copy
  void* value;  // owned by the caller
  HASH_ENTRY* next;
};

struct HASH_TABLE {
  HASH_ENTRY** buckets;
  uint32_t nbuckets;  // at least 1; never changes
  uint32_t keylen;    // 0: string keys
  uint32_t entries;
  // Entries put into a bucket that already held one, less those removed from
  // a bucket that still holds entries.
  uint32_t colls;
};

// Bucket counts below 1 become 1. Null when memory runs out.
HASH_TABLE* hash_create(int32_t buckets, uint32_t keylen);
// Frees entries and key copies; values are left alone.
void hash_destroy(HASH_TABLE* t);
// fn(value, key, arg) for every entry, bucket by bucket from 0, each chain
// from its head. The callback may remove the entry it is given. Returns 0.
int hash_foreach(HASH_TABLE* t, int (*fn)(void* value, const void* key, void* arg), void* arg);
// "size=..., entries=..., colls=..., %full=..., %coll=...\n"
void hash_stats(HASH_TABLE* t, FILE* out);
// Stored value, or null when absent (a stored null reads as absence).
void* hash_lookup(HASH_TABLE* t, const void* key);
// Replaces an existing key's value or inserts a copy of the key. The entry,
// or null when memory runs out (the table is then unchanged).
HASH_ENTRY* hash_set(HASH_TABLE* t, const void* key, void* value);
// 1 when the key was there and is gone, 0 otherwise; the value is left alone.
int hash_remove(HASH_TABLE* t, const void* key);

uint32_t hash_index(const HASH_TABLE* t, const void* key);
HASH_ENTRY* hash_find(HASH_TABLE* t, const void* key);
// Fills the entry and puts it at the head of its bucket, counting it.
void hash_link(HASH_TABLE* t, HASH_ENTRY* entry, void* key_copy, void* value);
// Takes the key's entry out of its chain (uncounting it) and returns it.
HASH_ENTRY* hash_unlink(HASH_TABLE* t, const void* key);

#endif
