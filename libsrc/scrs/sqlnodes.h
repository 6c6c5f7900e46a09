// Node builders of the SQL parser's actions.
#ifndef QMR_SCRS_SQLNODES_H
#define QMR_SCRS_SQLNODES_H

#include <cstdint>

#include "scrs/ptree.h"
#include "scrs/sqlparse.h"

namespace scrs {

// A leaf; null when memory runs out (or when text is null: a token without
// an interned text cannot make a node).
PT_NODE* mkLeaf(ScParse* p, uint32_t type, const char* text);

// An interior node over the children. When any child is null or memory runs
// out, every non-null child is freed and the result is null.
PT_NODE* mkNodeList(ScParse* p, uint32_t type, const char* tmpl, PT_NODE* const* kids, uint32_t n);
template <class... K>
PT_NODE* mkNode(ScParse* p, uint32_t type, const char* tmpl, K... kids) {
  PT_NODE* arr[] = {kids...};
  return mkNodeList(p, type, tmpl, arr, uint32_t(sizeof...(kids)));
}

// Appends item to a list node of the type. Lists are kept flat up to 254
// items per node (the template's argument limit); a full list becomes the
// first child of a new list node. Null (both freed) when memory runs out.
PT_NODE* appendToList(ScParse* p, PT_NODE* list, PT_NODE* item, uint32_t type);

// "col <op> value", or "col <op> NULL" when value is null, the operator
// kept as written.
PT_NODE* mkOpNode(ScParse* p, uint32_t type, const char* op, PT_NODE* col, PT_NODE* value);

// The aggregate call "name (*)": "COUNT (*)" for COUNT in any case, other
// names as written.
PT_NODE* mkCountStar(ScParse* p, const char* name);

}  // namespace scrs

#endif
