#include "util/btree.h"

#include <cstdlib>
#include <new>
#include <vector>

BINARY_TREE* BT_New(BT_COMPARE_FN compare, BT_CREATE_FN create, BT_FREE_FN free_payload) {
  if (compare == nullptr || create == nullptr || free_payload == nullptr) return nullptr;
  auto* t = static_cast<BINARY_TREE*>(std::calloc(1, sizeof(BINARY_TREE)));
  if (t == nullptr) return nullptr;
  t->compare = compare;
  t->create = create;
  t->free_payload = free_payload;
  return t;
}

BT_NODE* BT_Find(BINARY_TREE* tree, const void* key) {
  if (tree == nullptr) return nullptr;
  BT_NODE* n = tree->root;
  while (n != nullptr) {
    const int c = tree->compare(n->payload, key);
    if (c == 0) return n;
    n = c < 0 ? n->left : n->right;
  }
  return nullptr;
}

BT_NODE* BT_Insert(BINARY_TREE* tree, const void* key) {
  if (tree == nullptr) return nullptr;
  BT_NODE** link = &tree->root;
  while (*link != nullptr) {
    const int c = tree->compare((*link)->payload, key);
    if (c == 0) return *link;
    link = c < 0 ? &(*link)->left : &(*link)->right;
  }
  auto* n = static_cast<BT_NODE*>(std::calloc(1, sizeof(BT_NODE)));
  if (n == nullptr) return nullptr;
  n->tree = tree;
  if (!tree->create(&n->payload, key)) {
    std::free(n);
    return nullptr;
  }
  *link = n;
  ++tree->count;
  return n;
}

void BT_Walk(BINARY_TREE* tree, BT_WALK_FN fn) {
  if (tree == nullptr || fn == nullptr) return;
  // The pending ancestors live on the heap: a tree built from sorted keys is
  // one long chain, far deeper than the call stack would allow.
  std::vector<BT_NODE*> pending;
  try {
    BT_NODE* n = tree->root;
    while (n != nullptr || !pending.empty()) {
      while (n != nullptr) {
        pending.push_back(n);
        n = n->left;
      }
      n = pending.back();
      pending.pop_back();
      fn(n->payload);
      n = n->right;
    }
  } catch (const std::bad_alloc&) {
    // No memory for the path: the walk stops where it stands.
  }
}

void BT_Free(BINARY_TREE* tree) {
  if (tree == nullptr) return;
  // Post-order without a stack: each node's owner field, no longer needed,
  // holds its parent while the walk is below it, and a child link is cut as
  // the walk descends it, so a node with no links left has lost all its
  // children and can go.
  BT_NODE* n = tree->root;
  if (n != nullptr) n->tree = nullptr;
  while (n != nullptr) {
    BT_NODE* child = n->left != nullptr ? n->left : n->right;
    if (child != nullptr) {
      (n->left != nullptr ? n->left : n->right) = nullptr;
      child->tree = reinterpret_cast<BINARY_TREE*>(n);
      n = child;
      continue;
    }
    BT_NODE* parent = reinterpret_cast<BT_NODE*>(n->tree);
    tree->free_payload(n->payload);
    std::free(n->payload);
    std::free(n);
    --tree->count;
    n = parent;
  }
  std::free(tree);
}
