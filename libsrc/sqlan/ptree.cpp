#include "sqlan/ptree.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "sqlan/scrlock.h"
#include "sqlan/sqltmpl.h"
#include "util/mpl.h"

namespace {

char* dupText(const char* s) {
  if (!s) s = "";
  size_t n = std::strlen(s) + 1;
  char* d = static_cast<char*>(std::malloc(n));
  if (d) std::memcpy(d, s, n);
  return d;
}

PT_NODE* allocNode(uint32_t type) {
  PT_NODE* n = static_cast<PT_NODE*>(std::calloc(1, sizeof(PT_NODE)));
  if (n) n->type = type;
  return n;
}

}  // namespace

PT_NODE* PT_NewLeaf(uint32_t type, const char* text) {
  PT_NODE* n = allocNode(type);
  if (!n) return nullptr;
  n->text = dupText(text);
  if (!n->text) {
    std::free(n);
    return nullptr;
  }
  return n;
}

PT_NODE* PT_NewNode(uint32_t type, const char* tmpl, std::initializer_list<PT_NODE*> children) {
  PT_NODE* n = allocNode(type);
  if (!n) return nullptr;
  n->text = dupText("");
  n->tmpl = dupText(tmpl);
  if (!n->text || !n->tmpl) {
    std::free(n->text);
    std::free(n->tmpl);
    std::free(n);
    return nullptr;
  }
  PT_NODE** link = &n->child;
  for (PT_NODE* c : children) {
    *link = c;
    if (c) link = &c->next;
    ++n->nchild;
  }
  return n;
}

PT_NODE* PT_NewNode1(uint32_t type, const char* tmpl, PT_NODE* child) {
  return PT_NewNode(type, tmpl, {child});
}

void PT_FreeNode(PT_NODE* node) {
  if (!node) return;
  std::free(node->text);
  std::free(node->tmpl);
  node->text = nullptr;
  node->tmpl = nullptr;
}

void PT_Free(PT_NODE** pp, PT_FREE_FN fn) {
  if (!pp || !*pp) return;
  // Gather the whole forest first, then free it from the end: every node
  // comes after its parent in the list, so children go before parents.
  std::vector<PT_NODE*> all;
  std::vector<PT_NODE*> todo{*pp};
  *pp = nullptr;
  while (!todo.empty()) {
    PT_NODE* n = todo.back();
    todo.pop_back();
    all.push_back(n);
    if (n->next) todo.push_back(n->next);
    if (n->child) todo.push_back(n->child);
  }
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    if (fn) fn(*it);
    std::free(*it);
  }
}

void PT_Walk(PT_NODE* node, PT_WALK_FN fn, uint32_t type, void* ctx) {
  if (!node || !fn) return;
  std::vector<PT_NODE*> st{node};
  while (!st.empty()) {
    PT_NODE* n = st.back();
    st.pop_back();
    if (!fn(n, type, ctx)) continue;
    if (n->next) st.push_back(n->next);
    if (n->child) st.push_back(n->child);
  }
}

void PT_WalkFlags(PT_NODE* node, PT_WALKFLAGS_FN fn, uint32_t type, uint32_t stop, void* ctx) {
  if (!node || !fn) return;
  std::vector<PT_NODE*> st{node};
  while (!st.empty()) {
    PT_NODE* n = st.back();
    st.pop_back();
    if (!fn(n, type, stop, ctx)) continue;
    if (n->next) st.push_back(n->next);
    if (n->child) st.push_back(n->child);
  }
}

void PT_WalkChildren(PT_NODE* node, PT_WALK_FN fn, uint32_t type, void* ctx) {
  if (!node || !fn) return;
  if (fn(node, type, ctx)) PT_Walk(node->child, fn, type, ctx);
}

int PT_FindType(PT_NODE* node, uint32_t type, void* result) {
  PT_NODE** res = static_cast<PT_NODE**>(result);
  if (!node || !res || *res) return 0;
  if (node->type != type) return 1;
  *res = node;
  return 0;
}

int PT_FindTypeStop(PT_NODE* node, uint32_t type, uint32_t stop, void* result) {
  if (node && node->type == stop) return 0;
  return PT_FindType(node, type, result);
}

int PT_CollectType(PT_NODE* node, uint32_t type, void* array) {
  GROW_ARRAY* arr = static_cast<GROW_ARRAY*>(array);
  if (!node || !arr) return 0;
  if (node->type != type) return 1;
  return ARR_Append(arr, &node);
}

int PT_CollectTypeStop(PT_NODE* node, uint32_t type, uint32_t stop, void* array) {
  if (node && node->type == stop) return 0;
  return PT_CollectType(node, type, array);
}

void PT_FindNext(uint32_t type, PT_NODE** pp) {
  if (!pp || !*pp) return;
  PT_NODE* found = nullptr;
  PT_Walk(*pp, PT_FindType, type, &found);
  *pp = found;
}

PT_NODE* PT_Find(PT_NODE* node, uint32_t type) {
  PT_NODE* found = nullptr;
  PT_Walk(node, PT_FindType, type, &found);
  return found;
}

void PT_CollectUnder(uint32_t type, PT_NODE* node, GROW_ARRAY* array) {
  if (!node || !array || !node->child) return;
  std::vector<PT_NODE*> st{node->child};
  while (!st.empty()) {
    PT_NODE* n = st.back();
    st.pop_back();
    if (n->type == type && !ARR_Append(array, &n)) return;
    if (n->next) st.push_back(n->next);
    if (n->child) st.push_back(n->child);
  }
}

PT_NODE* PT_Child(PT_NODE* node, uint32_t i) {
  if (!node) return nullptr;
  PT_NODE* c = node->child;
  while (c && i--) c = c->next;
  return c;
}

int PT_SetText(PT_NODE* node, const char* text) {
  if (!node) return 0;
  char* t = dupText(text);
  if (!t) return 0;
  std::free(node->text);
  node->text = t;
  return 1;
}

int PT_SetTemplate(PT_NODE* node, const char* tmpl) {
  if (!node) return 0;
  char* t = nullptr;
  if (tmpl && !(t = dupText(tmpl))) return 0;
  std::free(node->tmpl);
  node->tmpl = t;
  return 1;
}

int PT_ToText(PT_NODE* root) {
  if (!root) return 0;
  plat::Guard<plat::RecursiveMutex> hold(scr_TextLock);
  // Post-order without recursion: a node is expanded once all its children
  // are, each child's text standing for its whole subtree.
  struct Item {
    PT_NODE* node;
    bool ready;
  };
  std::vector<Item> st;
  for (PT_NODE* n = root; n; n = n->next) st.push_back({n, false});
  std::vector<char*> args;
  MPL_POOL pool;
  mpl_init(&pool);
  uint64_t total = 0;
  int ok = 1;
  while (!st.empty()) {
    Item it = st.back();
    st.pop_back();
    PT_NODE* n = it.node;
    if (n->nchild == 0) continue;  // a leaf keeps its text
    if (!it.ready) {
      st.push_back({n, true});
      n->done = 0;
      for (PT_NODE* c = n->child; c; c = c->next) st.push_back({c, false});
      continue;
    }
    args.clear();
    for (PT_NODE* c = n->child; c; c = c->next) {
      args.push_back(c->text);
      ++n->done;
    }
    SQL_ExpandTemplate(&pool, n->tmpl ? n->tmpl : "", args.data(), uint32_t(args.size()));
    char* obj = static_cast<char*>(mpl_finish(&pool));
    size_t len = std::strlen(obj);
    total += len;
    if (total > PT_TEXT_LIMIT) {
      ok = 0;
      break;
    }
    char* t = static_cast<char*>(std::malloc(len + 1));
    if (!t) {
      ok = 0;
      break;
    }
    std::memcpy(t, obj, len + 1);
    std::free(n->text);
    n->text = t;
    mpl_free_to(&pool, obj);
  }
  mpl_destroy(&pool);
  return ok;
}
