// Chained hash table: string and fixed-length keys, counters, statistics.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "util/hash.h"

namespace {

void* val(uintptr_t v) { return reinterpret_cast<void*>(v); }

std::string stats(HASH_TABLE* t) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* fp = open_memstream(&buf, &len);
  hash_stats(t, fp);
  fclose(fp);
  std::string out(buf, len);
  free(buf);
  return out;
}

TEST(Hash, BucketCountBelowOneBecomesOne) {
  for (int32_t n : {0, -5}) {
    HASH_TABLE* t = hash_create(n, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->nbuckets, 1u);
    ASSERT_NE(hash_set(t, "one", val(1)), nullptr);
    ASSERT_NE(hash_set(t, "two", val(2)), nullptr);
    EXPECT_EQ(hash_lookup(t, "one"), val(1));
    EXPECT_EQ(hash_lookup(t, "two"), val(2));
    EXPECT_EQ(hash_lookup(t, "three"), nullptr);
    hash_destroy(t);
  }
}

TEST(Hash, SettingAKeyAgainReplacesItsValue) {
  HASH_TABLE* t = hash_create(17, 0);
  HASH_ENTRY* first = hash_set(t, "k", val(1));
  HASH_ENTRY* second = hash_set(t, "k", val(2));
  EXPECT_EQ(first, second);
  EXPECT_EQ(t->entries, 1u);
  EXPECT_EQ(t->colls, 0u);
  EXPECT_EQ(hash_lookup(t, "k"), val(2));
  hash_destroy(t);
}

TEST(Hash, CollisionsCountedAndUncounted) {
  HASH_TABLE* t = hash_create(1, 0);
  hash_set(t, "a", val(1));
  hash_set(t, "b", val(2));
  EXPECT_EQ(t->entries, 2u);
  EXPECT_EQ(t->colls, 1u);
  EXPECT_EQ(hash_remove(t, "a"), 1);
  EXPECT_EQ(t->entries, 1u);
  EXPECT_EQ(t->colls, 0u);
  EXPECT_EQ(hash_remove(t, "a"), 0);
  EXPECT_EQ(hash_remove(t, "b"), 1);
  EXPECT_EQ(t->entries, 0u);
  EXPECT_EQ(t->colls, 0u);
  EXPECT_EQ(hash_remove(t, "never"), 0);
  hash_destroy(t);
}

TEST(Hash, StatisticsLine) {
  HASH_TABLE* t = hash_create(9, 0);
  EXPECT_EQ(stats(t), "size=9, entries=0, colls=0, %full=0.000000, %coll=0.000000\n");
  // Three keys that land in three different buckets.
  std::set<uint32_t> used;
  for (int i = 0; used.size() < 3; ++i) {
    const std::string k = "key" + std::to_string(i);
    if (used.insert(hash_index(t, k.c_str())).second) hash_set(t, k.c_str(), val(1));
  }
  EXPECT_EQ(stats(t), "size=9, entries=3, colls=0, %full=33.000000, %coll=0.000000\n");
  hash_destroy(t);

  HASH_TABLE* one = hash_create(1, 0);
  hash_set(one, "x", val(1));
  hash_set(one, "y", val(1));
  hash_set(one, "z", val(1));
  EXPECT_EQ(stats(one), "size=1, entries=3, colls=2, %full=300.000000, %coll=66.000000\n");
  hash_destroy(one);
}

TEST(Hash, StringHashTakesBytesAsSigned) {
  HASH_TABLE* t = hash_create(1000, 0);
  EXPECT_EQ(hash_index(t, "a"), 97u);
  EXPECT_EQ(hash_index(t, "ab"), 97u * 8 + 98);
  // 0xFF counts as -1; the negative sum is taken by its magnitude.
  EXPECT_EQ(hash_index(t, "\xff"), 1u);
  EXPECT_EQ(hash_index(t, "\x80"), 128u);
  hash_set(t, "\xff\xfe", val(5));
  EXPECT_EQ(hash_lookup(t, "\xff\xfe"), val(5));
  hash_destroy(t);
}

TEST(Hash, MostNegativeHashStillHasABucket) {
  // This key's hash is exactly 0x80000000, whose negation does not fit a
  // signed word.
  const char* key = "rbajais7\x87";
  for (int32_t n : {1000, 7, 1}) {
    HASH_TABLE* t = hash_create(n, 0);
    EXPECT_EQ(hash_index(t, key), 0x80000000u % static_cast<uint32_t>(n));
    ASSERT_NE(hash_set(t, key, val(42)), nullptr);
    EXPECT_EQ(hash_lookup(t, key), val(42));
    EXPECT_NE(hash_find(t, key), nullptr);
    EXPECT_EQ(hash_remove(t, key), 1);
    EXPECT_EQ(hash_lookup(t, key), nullptr);
    hash_destroy(t);
  }
}

TEST(Hash, FixedLengthKeysCompareAllBytes) {
  HASH_TABLE* t = hash_create(100, 3);
  const char k1[3] = {'a', '\0', 'b'};
  const char k2[3] = {'a', '\0', 'c'};
  hash_set(t, k1, val(1));
  hash_set(t, k2, val(2));
  EXPECT_EQ(t->entries, 2u);
  EXPECT_EQ(hash_lookup(t, k1), val(1));
  EXPECT_EQ(hash_lookup(t, k2), val(2));
  hash_destroy(t);
}

TEST(Hash, PointerKeysAndTheTableKeepsItsOwnCopy) {
  HASH_TABLE* t = hash_create(1024, sizeof(void*));
  int objects[200];
  for (int i = 0; i < 200; ++i) {
    void* key = &objects[i];
    hash_set(t, &key, val(i + 1));
  }
  EXPECT_EQ(t->entries, 200u);
  for (int i = 0; i < 200; ++i) {
    void* key = &objects[i];
    EXPECT_EQ(hash_lookup(t, &key), val(i + 1));
  }
  void* absent = &t;
  EXPECT_EQ(hash_lookup(t, &absent), nullptr);
  hash_destroy(t);

  HASH_TABLE* s = hash_create(31, 0);
  char buf[8] = "name";
  hash_set(s, buf, val(9));
  std::strcpy(buf, "xxxx");
  EXPECT_EQ(hash_lookup(s, "name"), val(9));
  EXPECT_EQ(hash_lookup(s, "xxxx"), nullptr);
  hash_destroy(s);
}

struct Visit {
  HASH_TABLE* table;
  std::map<std::string, uintptr_t> seen;
  bool remove;
};

int visit(void* value, const void* key, void* arg) {
  auto* v = static_cast<Visit*>(arg);
  v->seen[static_cast<const char*>(key)] = reinterpret_cast<uintptr_t>(value);
  if (v->remove) hash_remove(v->table, key);
  return 0;
}

TEST(Hash, ForeachVisitsEveryEntryAndToleratesRemovingIt) {
  HASH_TABLE* t = hash_create(3, 0);
  for (int i = 0; i < 20; ++i) hash_set(t, ("k" + std::to_string(i)).c_str(), val(i));
  Visit v{t, {}, false};
  EXPECT_EQ(hash_foreach(t, visit, &v), 0);
  ASSERT_EQ(v.seen.size(), 20u);
  EXPECT_EQ(v.seen["k7"], 7u);

  Visit r{t, {}, true};
  hash_foreach(t, visit, &r);
  EXPECT_EQ(r.seen.size(), 20u);
  EXPECT_EQ(t->entries, 0u);
  EXPECT_EQ(t->colls, 0u);
  hash_destroy(t);
}

TEST(Hash, UnlinkAndLinkMoveAnEntry) {
  HASH_TABLE* a = hash_create(5, 0);
  HASH_TABLE* b = hash_create(11, 0);
  hash_set(a, "moving", val(3));
  HASH_ENTRY* e = hash_unlink(a, "moving");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(a->entries, 0u);
  EXPECT_EQ(hash_unlink(a, "moving"), nullptr);
  hash_link(b, e, e->key, val(4));
  EXPECT_EQ(b->entries, 1u);
  EXPECT_EQ(hash_lookup(b, "moving"), val(4));
  hash_destroy(a);
  hash_destroy(b);
}

TEST(Hash, NullTableIsNothing) {
  EXPECT_EQ(hash_lookup(nullptr, "x"), nullptr);
  EXPECT_EQ(hash_set(nullptr, "x", val(1)), nullptr);
  EXPECT_EQ(hash_remove(nullptr, "x"), 0);
  hash_destroy(nullptr);
}

}  // namespace
