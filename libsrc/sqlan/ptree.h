// Parse tree of the SQL analyser: nodes with owned text and, for interior
// nodes, a template that rebuilds the node's text from its children's.
#ifndef QMR_SQLAN_PTREE_H
#define QMR_SQLAN_PTREE_H

#include <cstdint>
#include <initializer_list>

#include "util/garray.h"

struct PT_NODE {
  PT_NODE* child;   // first child, null for a leaf
  PT_NODE* next;    // next sibling
  uint32_t type;    // node type (the root's type is the statement kind)
  uint32_t nchild;  // children linked at construction; 0 for a leaf
  uint32_t done;    // children regenerated (work counter of PT_ToText)
  char* text;       // owned; an interior node's text after PT_ToText
  char* tmpl;       // owned; null for a leaf
};

// Placeholder that the analysis edits put where a caller inserts its own text.
#define SCR_SQL_MARK "\x01\x01\x01"

// Walk callbacks return non-zero to go on into the node's children and then
// its later siblings; zero prunes both.
typedef int (*PT_WALK_FN)(PT_NODE* node, uint32_t type, void* ctx);
typedef int (*PT_WALKFLAGS_FN)(PT_NODE* node, uint32_t type, uint32_t stop, void* ctx);
typedef void (*PT_FREE_FN)(PT_NODE* node);

// Constructors; null when memory runs out (the children are then untouched).
PT_NODE* PT_NewLeaf(uint32_t type, const char* text);
PT_NODE* PT_NewNode(uint32_t type, const char* tmpl, std::initializer_list<PT_NODE*> children);
PT_NODE* PT_NewNode1(uint32_t type, const char* tmpl, PT_NODE* child);

// Frees *pp with its children and its later siblings (children before their
// parent), calling fn on each node first, and sets *pp to null. To free only
// a node's children pass &node->child.
void PT_Free(PT_NODE** pp, PT_FREE_FN fn);
// Callback for PT_Free: releases text and template.
void PT_FreeNode(PT_NODE* node);

// Pre-order walks; none of them recurses, so depth is limited only by memory.
void PT_Walk(PT_NODE* node, PT_WALK_FN fn, uint32_t type, void* ctx);
void PT_WalkFlags(PT_NODE* node, PT_WALKFLAGS_FN fn, uint32_t type, uint32_t stop, void* ctx);
void PT_WalkChildren(PT_NODE* node, PT_WALK_FN fn, uint32_t type, void* ctx);

// Callbacks. ctx is the address of a PT_NODE* result (Find*) or a GROW_ARRAY
// of PT_NODE* (Collect*).
int PT_FindType(PT_NODE* node, uint32_t type, void* result);
int PT_FindTypeStop(PT_NODE* node, uint32_t type, uint32_t stop, void* result);
int PT_CollectType(PT_NODE* node, uint32_t type, void* array);
int PT_CollectTypeStop(PT_NODE* node, uint32_t type, uint32_t stop, void* array);

// *pp := first node of the type met by PT_Walk from *pp, or null.
void PT_FindNext(uint32_t type, PT_NODE** pp);
// First node of the type in pre-order from node (node itself, its subtree,
// then its later siblings); null when none.
PT_NODE* PT_Find(PT_NODE* node, uint32_t type);
// Appends every node of the type strictly below node, in pre-order.
void PT_CollectUnder(uint32_t type, PT_NODE* node, GROW_ARRAY* array);

// The i-th child (0-based) or null.
PT_NODE* PT_Child(PT_NODE* node, uint32_t i);
// Replace a node's text or template by a copy (null template: none). 1, or
// 0 when memory runs out (the node is then unchanged).
int PT_SetText(PT_NODE* node, const char* text);
int PT_SetTemplate(PT_NODE* node, const char* tmpl);

// Rebuilds the text of every interior node of root and of root's later
// siblings from the templates. 1 on success; 0 for a null root or when the
// texts would exceed PT_TEXT_LIMIT bytes in total.
int PT_ToText(PT_NODE* root);
constexpr uint64_t PT_TEXT_LIMIT = uint64_t(512) << 20;

#endif
