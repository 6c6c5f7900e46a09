// Growable array and unbalanced search tree.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/btree.h"
#include "util/garray.h"

namespace {

int item(const GROW_ARRAY* a, uint32_t i) { return *static_cast<int*>(ARR_Item(a, i)); }

TEST(GrowArray, NewNeedsAnItemSize) {
  EXPECT_EQ(ARR_New(0), nullptr);
  GROW_ARRAY* a = ARR_New(sizeof(int));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->count, 0u);
  EXPECT_EQ(a->capacity, 10u);
  EXPECT_EQ(a->item_size, sizeof(int));
  ARR_Free(&a, nullptr);
  EXPECT_EQ(a, nullptr);
}

TEST(GrowArray, GrowsByTenAndKeepsItems) {
  GROW_ARRAY* a = ARR_New(sizeof(int));
  for (int i = 0; i < 10; ++i) ASSERT_EQ(ARR_Append(a, &i), 1);
  EXPECT_EQ(a->capacity, 10u);
  int eleven = 10;
  ASSERT_EQ(ARR_Append(a, &eleven), 1);
  EXPECT_EQ(a->capacity, 20u);
  EXPECT_EQ(a->count, 11u);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(item(a, i), i);
  // New slots come zero-filled.
  for (uint32_t i = 11; i < 20; ++i) EXPECT_EQ(item(a, i), 0);
  for (int i = 11; i < 21; ++i) ARR_Append(a, &i);
  EXPECT_EQ(a->capacity, 30u);
  EXPECT_EQ(ARR_Grow(a), 1);
  EXPECT_EQ(a->capacity, 40u);
  EXPECT_EQ(item(a, 20), 20);
  EXPECT_EQ(ARR_Append(a, nullptr), 0);
  EXPECT_EQ(ARR_Append(nullptr, &eleven), 0);
  ARR_Free(&a, nullptr);
}

TEST(GrowArray, AppendingOwnItemWhileFull) {
  GROW_ARRAY* a = ARR_New(sizeof(int));
  for (int i = 0; i < 10; ++i) ARR_Append(a, &i);
  // The source item lives in the block that growing replaces.
  ASSERT_EQ(ARR_Append(a, ARR_Item(a, 3)), 1);
  EXPECT_EQ(item(a, 10), 3);
  ARR_Free(&a, nullptr);
}

std::vector<std::pair<int, uint32_t>> g_removed;
void on_remove(void* it, uint32_t index, void* cb) {
  EXPECT_EQ(cb, reinterpret_cast<void*>(&on_remove));
  g_removed.emplace_back(*static_cast<int*>(it), index);
}

TEST(GrowArray, RemoveClosesTheGap) {
  GROW_ARRAY* a = ARR_New(sizeof(int));
  for (int i = 0; i < 5; ++i) ARR_Append(a, &i);
  g_removed.clear();
  EXPECT_EQ(ARR_Remove(a, 5, on_remove), 0);
  EXPECT_EQ(ARR_Remove(a, 4, on_remove), 1);  // the last: nothing moves
  EXPECT_EQ(a->count, 4u);
  EXPECT_EQ(ARR_Remove(a, 1, on_remove), 1);
  ASSERT_EQ(a->count, 3u);
  EXPECT_EQ(item(a, 0), 0);
  EXPECT_EQ(item(a, 1), 2);
  EXPECT_EQ(item(a, 2), 3);
  ASSERT_EQ(g_removed.size(), 2u);
  EXPECT_EQ(g_removed[0], std::make_pair(4, 4u));
  EXPECT_EQ(g_removed[1], std::make_pair(1, 1u));
  EXPECT_EQ(ARR_Remove(a, 0, nullptr), 1);
  EXPECT_EQ(item(a, 0), 2);
  EXPECT_EQ(ARR_Remove(nullptr, 0, nullptr), 0);
  ARR_Free(&a, nullptr);
}

TEST(GrowArray, AppendAllNeedsEqualItemSizes) {
  GROW_ARRAY* ints = ARR_New(sizeof(int));
  GROW_ARRAY* longs = ARR_New(sizeof(long long));
  GROW_ARRAY* more = ARR_New(sizeof(int));
  long long big = 7;
  ARR_Append(longs, &big);
  EXPECT_EQ(ARR_AppendAll(ints, longs), 0);
  EXPECT_EQ(ints->count, 0u);
  EXPECT_EQ(ARR_AppendAll(ints, nullptr), 0);
  EXPECT_EQ(ARR_AppendAll(nullptr, ints), 0);

  for (int i = 0; i < 8; ++i) ARR_Append(more, &i);
  int first = 100;
  ARR_Append(ints, &first);
  EXPECT_EQ(ARR_AppendAll(ints, more), 1);
  ASSERT_EQ(ints->count, 9u);
  EXPECT_EQ(item(ints, 0), 100);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(item(ints, i + 1), i);

  // The cursor library's name for it; appending an array to itself ends.
  EXPECT_EQ(ARR_Get(ints, ints), 1);
  ASSERT_EQ(ints->count, 18u);
  EXPECT_EQ(item(ints, 9), 100);
  EXPECT_EQ(item(ints, 17), 7);
  ARR_Free(&ints, nullptr);
  ARR_Free(&longs, nullptr);
  ARR_Free(&more, nullptr);
}

std::vector<int> g_destroyed;
void destroy_int(void* it) { g_destroyed.push_back(*static_cast<int*>(it)); }

TEST(GrowArray, FreeRunsDestructorOnItemsInUse) {
  GROW_ARRAY* a = ARR_New(sizeof(int));
  for (int i = 0; i < 12; ++i) ARR_Append(a, &i);
  g_destroyed.clear();
  ARR_Free(&a, destroy_int);
  EXPECT_EQ(a, nullptr);
  ASSERT_EQ(g_destroyed.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(g_destroyed[i], i);
  ARR_Free(&a, destroy_int);
  ARR_Free(nullptr, destroy_int);
  EXPECT_EQ(g_destroyed.size(), 12u);
}

// Payload: a record with its text, as the SQL scanner keeps identifiers.
struct Ident {
  char* text;
};

int cmp_ident(const void* payload, const void* key) {
  return std::strcmp(static_cast<const Ident*>(payload)->text, static_cast<const char*>(key));
}
int g_creates = 0;
bool g_fail_create = false;
int make_ident(void** slot, const void* key) {
  if (g_fail_create) return 0;
  ++g_creates;
  auto* id = static_cast<Ident*>(std::calloc(1, sizeof(Ident)));
  id->text = strdup(static_cast<const char*>(key));
  *slot = id;
  return 1;
}
std::vector<std::string> g_freed;
void free_ident(void* payload) {
  auto* id = static_cast<Ident*>(payload);
  g_freed.push_back(id->text);
  std::free(id->text);
}
std::vector<std::string> g_walked;
void walk_ident(void* payload) { g_walked.push_back(static_cast<Ident*>(payload)->text); }

TEST(SearchTree, NewNeedsAllCallbacks) {
  EXPECT_EQ(BT_New(nullptr, make_ident, free_ident), nullptr);
  EXPECT_EQ(BT_New(cmp_ident, nullptr, free_ident), nullptr);
  EXPECT_EQ(BT_New(cmp_ident, make_ident, nullptr), nullptr);
}

TEST(SearchTree, InsertFindAndWalkFromGreatest) {
  BINARY_TREE* t = BT_New(cmp_ident, make_ident, free_ident);
  ASSERT_NE(t, nullptr);
  g_creates = 0;
  for (const char* k : {"m", "c", "x", "a", "e", "z"}) ASSERT_NE(BT_Insert(t, k), nullptr);
  EXPECT_EQ(t->count, 6u);
  BT_NODE* again = BT_Insert(t, "e");
  EXPECT_EQ(again, BT_Find(t, "e"));
  EXPECT_EQ(t->count, 6u);
  EXPECT_EQ(g_creates, 6);
  EXPECT_EQ(again->tree, t);
  EXPECT_STREQ(static_cast<Ident*>(again->payload)->text, "e");
  EXPECT_EQ(BT_Find(t, "q"), nullptr);

  g_walked.clear();
  BT_Walk(t, walk_ident);
  EXPECT_EQ(g_walked, (std::vector<std::string>{"z", "x", "m", "e", "c", "a"}));
  g_freed.clear();
  BT_Free(t);
  EXPECT_EQ(g_freed.size(), 6u);
}

TEST(SearchTree, FailedCreateAddsNothing) {
  BINARY_TREE* t = BT_New(cmp_ident, make_ident, free_ident);
  BT_Insert(t, "k");
  g_fail_create = true;
  EXPECT_EQ(BT_Insert(t, "j"), nullptr);
  EXPECT_NE(BT_Insert(t, "k"), nullptr);  // existing keys need no create
  g_fail_create = false;
  EXPECT_EQ(t->count, 1u);
  EXPECT_EQ(BT_Find(t, "j"), nullptr);
  ASSERT_NE(BT_Insert(t, "j"), nullptr);
  EXPECT_EQ(t->count, 2u);
  BT_Free(t);
}

TEST(SearchTree, FreeReleasesChildrenBeforeParent) {
  BINARY_TREE* t = BT_New(cmp_ident, make_ident, free_ident);
  for (const char* k : {"m", "c", "x", "a", "e"}) BT_Insert(t, k);
  g_freed.clear();
  BT_Free(t);
  // m has x (left, greater) and c (right); c has e (left) and a (right).
  EXPECT_EQ(g_freed, (std::vector<std::string>{"x", "e", "a", "c", "m"}));
}

int cmp_num(const void* payload, const void* key) {
  const auto a = *static_cast<const uint32_t*>(payload);
  const auto b = *static_cast<const uint32_t*>(key);
  return a < b ? -1 : (a > b ? 1 : 0);  // strcmp-like
}
int make_num(void** slot, const void* key) {
  auto* p = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t)));
  *p = *static_cast<const uint32_t*>(key);
  *slot = p;
  return 1;
}
uint32_t g_num_freed = 0;
void free_num(void*) { ++g_num_freed; }
std::vector<uint32_t> g_nums;
void walk_num(void* payload) { g_nums.push_back(*static_cast<uint32_t*>(payload)); }

TEST(SearchTree, SortedInsertsMakeAChain) {
  BINARY_TREE* t = BT_New(cmp_num, make_num, free_num);
  for (uint32_t i = 0; i < 2000; ++i) BT_Insert(t, &i);
  uint32_t depth = 0;
  for (BT_NODE* n = t->root; n != nullptr; n = n->left) {
    EXPECT_EQ(n->right, nullptr);
    ++depth;
  }
  EXPECT_EQ(depth, 2000u);
  g_num_freed = 0;
  BT_Free(t);
  EXPECT_EQ(g_num_freed, 2000u);
}

// A list-shaped tree far deeper than recursion could walk. Built by hand:
// inserting 100,000 sorted keys one by one would take quadratic time.
TEST(SearchTree, DegenerateTreeOfHundredThousandWalksAndFrees) {
  constexpr uint32_t kNodes = 100000;
  for (bool leftward : {true, false}) {
    BINARY_TREE* t = BT_New(cmp_num, make_num, free_num);
    BT_NODE** link = &t->root;
    for (uint32_t i = 0; i < kNodes; ++i) {
      auto* n = static_cast<BT_NODE*>(std::calloc(1, sizeof(BT_NODE)));
      const uint32_t key = leftward ? i : kNodes - 1 - i;
      make_num(&n->payload, &key);
      n->tree = t;
      *link = n;
      link = leftward ? &n->left : &n->right;
      ++t->count;
    }
    g_nums.clear();
    BT_Walk(t, walk_num);
    ASSERT_EQ(g_nums.size(), kNodes);
    EXPECT_EQ(g_nums.front(), kNodes - 1);
    EXPECT_EQ(g_nums.back(), 0u);
    const uint32_t probe = leftward ? kNodes - 1 : 0;
    ASSERT_NE(BT_Find(t, &probe), nullptr);
    g_num_freed = 0;
    BT_Free(t);
    EXPECT_EQ(g_num_freed, kNodes);
  }
}

}  // namespace
