// Parse tree: constructors, walks with pruning, freeing, text regeneration,
// and sizes that would overflow a recursive implementation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqlan/ptree.h"
#include "sqlan/sqltmpl.h"

namespace {

struct Tree {
  PT_NODE* root = nullptr;
  ~Tree() { PT_Free(&root, PT_FreeNode); }
};

std::vector<PT_NODE*> collect(uint32_t type, PT_NODE* node) {
  GROW_ARRAY* arr = ARR_New(sizeof(PT_NODE*));
  PT_CollectUnder(type, node, arr);
  std::vector<PT_NODE*> out;
  for (uint32_t i = 0; i < arr->count; ++i)
    out.push_back(*static_cast<PT_NODE**>(ARR_Item(arr, i)));
  ARR_Free(&arr, nullptr);
  return out;
}

// (1 (2 x) y) with a later sibling z of the root.
TEST(PtreeTest, BuildRegenerateAndFind) {
  Tree t;
  PT_NODE* inner = PT_NewNode1(2, SCR_TPL("[$1]"), PT_NewLeaf(10, "x"));
  t.root = PT_NewNode(1, SCR_TPL("$1 + $2"), {inner, PT_NewLeaf(10, "y")});
  t.root->next = PT_NewNode1(3, SCR_TPL("($1)"), PT_NewLeaf(11, "z"));
  ASSERT_EQ(1, PT_ToText(t.root));
  EXPECT_STREQ("[x] + y", t.root->text);
  EXPECT_STREQ("[x]", inner->text);
  EXPECT_STREQ("(z)", t.root->next->text) << "the root's siblings are regenerated too";
  EXPECT_EQ(2u, t.root->nchild);
  EXPECT_EQ(nullptr, t.root->child->child->tmpl);

  PT_NODE* p = t.root;
  PT_FindNext(1, &p);
  EXPECT_EQ(t.root, p) << "a node of the wanted type finds itself";
  p = t.root;
  PT_FindNext(11, &p);
  EXPECT_STREQ("z", p->text) << "the walk goes on into later siblings";
  p = t.root;
  PT_FindNext(99, &p);
  EXPECT_EQ(nullptr, p);
  p = nullptr;
  PT_FindNext(1, &p);
  EXPECT_EQ(nullptr, p);

  EXPECT_EQ(2u, collect(10, t.root).size());
  EXPECT_TRUE(collect(11, t.root).empty()) << "the node's own siblings are not below it";
  EXPECT_TRUE(collect(1, t.root).empty()) << "the node itself is not below it";
}

TEST(PtreeTest, NullRootAndChangedTemplates) {
  EXPECT_EQ(0, PT_ToText(nullptr));
  Tree t;
  t.root = PT_NewNode(1, SCR_TPL("$1 $2 $3"), {PT_NewLeaf(10, "a"), PT_NewLeaf(10, "b")});
  ASSERT_EQ(1, PT_ToText(t.root));
  EXPECT_STREQ("a b NULL", t.root->text) << "an argument beyond the children expands as NULL";
  ASSERT_EQ(1, PT_SetTemplate(t.root, SCR_TPL("$2-$1")));
  ASSERT_EQ(1, PT_ToText(t.root));
  EXPECT_STREQ("b-a", t.root->text);
}

TEST(PtreeTest, ZeroFromCallbackPrunesLaterSiblings) {
  // (1 a (85 b) c): stopping at the sub-select also skips c after it.
  Tree t;
  t.root = PT_NewNode(1, SCR_TPL("$1 $2 $3"),
                      {PT_NewLeaf(10, "a"), PT_NewNode1(85, SCR_TPL("$1"), PT_NewLeaf(10, "b")),
                       PT_NewLeaf(10, "c")});
  GROW_ARRAY* arr = ARR_New(sizeof(PT_NODE*));
  PT_WalkFlags(t.root, PT_CollectTypeStop, 10, 85, arr);
  ASSERT_EQ(1u, arr->count);
  EXPECT_STREQ("a", (*static_cast<PT_NODE**>(ARR_Item(arr, 0)))->text);
  ARR_Free(&arr, nullptr);

  arr = ARR_New(sizeof(PT_NODE*));
  PT_Walk(t.root, PT_CollectType, 10, arr);
  EXPECT_EQ(3u, arr->count);
  ARR_Free(&arr, nullptr);

  PT_NODE* found = nullptr;
  PT_WalkFlags(t.root, PT_FindTypeStop, 10, 85, &found);
  EXPECT_STREQ("a", found->text);
  found = nullptr;
  PT_WalkChildren(t.root->child->next, PT_FindType, 10, &found);
  EXPECT_STREQ("b", found->text) << "children only, not the node's siblings";
}

TEST(PtreeTest, FreeingANodesChildrenKeepsTheNode) {
  Tree t;
  t.root = PT_NewNode(1, SCR_TPL("$1 $2"), {PT_NewLeaf(10, "a"), PT_NewLeaf(10, "b")});
  PT_Free(&t.root->child, PT_FreeNode);
  EXPECT_EQ(nullptr, t.root->child);
  EXPECT_NE(nullptr, t.root->tmpl);
  PT_NODE* leaf = PT_NewLeaf(5, "x");
  PT_Free(&leaf, PT_FreeNode);
  EXPECT_EQ(nullptr, leaf);
  PT_Free(nullptr, PT_FreeNode);
}

// A left-deep chain of 100,000 list nodes and a nesting 100,000 deep: walks,
// regeneration and freeing must neither recurse nor lose an item.
TEST(PtreeTest, HugeChainsAreWalkedWithoutRecursion) {
#ifdef __SANITIZE_THREAD__
  const int n = 10000;  // the instrumented walk is some thousand times slower
#else
  const int n = 100000;
#endif
  Tree deep;
  PT_NODE* node = PT_NewLeaf(10, "x");
  for (int i = 0; i < n; ++i) node = PT_NewNode1(60, SCR_TPL("$1"), node);
  deep.root = node;
  ASSERT_EQ(1, PT_ToText(deep.root));
  EXPECT_STREQ("x", deep.root->text);
  EXPECT_EQ(1u, collect(10, deep.root).size());
  EXPECT_EQ(size_t(n - 1), collect(60, deep.root).size());

  Tree chain;
  PT_NODE* list = PT_NewNode1(99, SCR_TPL("$1"), PT_NewLeaf(98, "0"));
  for (int i = 1; i < 2000; ++i)
    list =
        PT_NewNode(99, SCR_TPL("$1, $2"), {list, PT_NewLeaf(98, std::to_string(i % 10).c_str())});
  chain.root = list;
  ASSERT_EQ(1, PT_ToText(chain.root));
  EXPECT_EQ(size_t(2000 * 3 - 2), std::string(chain.root->text).size());
  EXPECT_EQ(2000u, collect(98, chain.root).size());
  int visited = 0;
  PT_Walk(
      chain.root, [](PT_NODE*, uint32_t, void* c) { return ++*static_cast<int*>(c), 1; }, 0,
      &visited);
  EXPECT_EQ(2000 + 2000, visited);
}

}  // namespace
