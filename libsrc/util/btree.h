// Unbalanced binary search tree whose payloads are made and released by the
// owner's callbacks. compare(payload, key) < 0 descends left, > 0 right, so
// with a strcmp-like compare greater keys sit to the left and BT_Walk visits
// payloads from the greatest to the smallest.
#ifndef QMR_UTIL_BTREE_H
#define QMR_UTIL_BTREE_H

#include <cstdint>

struct BINARY_TREE;

typedef int (*BT_COMPARE_FN)(const void* payload, const void* key);
// Stores a new payload made from key in *slot; nonzero on success.
typedef int (*BT_CREATE_FN)(void** slot, const void* key);
// Releases what the payload holds; the tree frees the payload block itself.
typedef void (*BT_FREE_FN)(void* payload);
typedef void (*BT_WALK_FN)(void* payload);

struct BT_NODE {
  BT_NODE* left;
  BT_NODE* right;
  BINARY_TREE* tree;
  void* payload;
};

struct BINARY_TREE {
  BT_NODE* root;
  BT_COMPARE_FN compare;
  BT_CREATE_FN create;
  BT_FREE_FN free_payload;
  uint32_t count;
};

// Null when a callback is missing or memory runs out.
BINARY_TREE* BT_New(BT_COMPARE_FN compare, BT_CREATE_FN create, BT_FREE_FN free_payload);
BT_NODE* BT_Find(BINARY_TREE* tree, const void* key);
// The existing node for key, or a new leaf; null when the create callback
// fails or memory runs out (nothing is added then).
BT_NODE* BT_Insert(BINARY_TREE* tree, const void* key);
// fn on every payload in order: left subtree, node, right subtree. Walks
// without recursion, so degenerate (list-shaped) trees are fine.
void BT_Walk(BINARY_TREE* tree, BT_WALK_FN fn);
// Releases every payload and node, then the tree.
void BT_Free(BINARY_TREE* tree);

#endif
