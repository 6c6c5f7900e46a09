#include "sqlan/sqlparse.h"

#include <strings.h>

#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "sqlan/scrlock.h"
#include "sqlan/sqlnodes.h"
#include "sqlan/sqltmpl.h"
#include "sqlgram.h"

// The generated scanner's life cycle (its header is not generated).
int scsql_lex_init_extra(scrs::ScParse* extra, void** scanner);
int scsql_lex_destroy(void* scanner);

namespace scrs {

namespace {

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

const char kArg1[] = "\xFF\x01\x01";
const char kArg2[] = "\xFF\x01\x02";

}  // namespace

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = fold(static_cast<unsigned char>(a[i]));
    unsigned char y = fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

const char* ScParse::intern(const char* text, size_t len, bool exactCase) {
  try {
    std::string s(text, len);
    return exactCase ? exact.insert(std::move(s)).first->c_str()
                     : names.insert(std::move(s)).first->c_str();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void ScParse::error(const char* msg) {
  // The parser's "syntax error" that follows a scanning failure adds
  // nothing: the scanner's own message says what went wrong.
  if (lexError) return;
  hasError = true;
  try {
    errText = scanned + "^";
    errMsg = msg;
  } catch (const std::bad_alloc&) {
    errText.clear();
    errMsg.clear();
  }
}

size_t SCR_SQLInput(ScParse* p, char* buf, size_t n) {
  size_t left = size_t(p->end - p->pos);
  if (n > left) n = left;
  std::memcpy(buf, p->pos, n);
  p->pos += n;
  return n;
}

PT_NODE* mkLeaf(ScParse*, uint32_t type, const char* text) {
  if (!text) return nullptr;
  return PT_NewLeaf(type, text);
}

PT_NODE* mkNodeList(ScParse*, uint32_t type, const char* tmpl, PT_NODE* const* kids, uint32_t n) {
  bool ok = true;
  for (uint32_t i = 0; i < n; ++i) ok = ok && kids[i];
  PT_NODE* node = ok ? PT_NewNode(type, tmpl, {}) : nullptr;
  if (!node) {
    for (uint32_t i = 0; i < n; ++i) {
      PT_NODE* k = kids[i];
      PT_Free(&k, PT_FreeNode);
    }
    return nullptr;
  }
  PT_NODE** link = &node->child;
  for (uint32_t i = 0; i < n; ++i) {
    *link = kids[i];
    link = &kids[i]->next;
  }
  node->nchild = n;
  return node;
}

PT_NODE* appendToList(ScParse* p, PT_NODE* list, PT_NODE* item, uint32_t type) {
  if (list && item && list->type == type && list->tmpl && list->nchild > 0 && list->nchild < 254) {
    std::string t;
    try {
      t = list->tmpl;
      t += ", ";
      t += char(SQLT_ESC);
      t += char(SQLT_ARG);
      t += char(list->nchild + 1);
    } catch (const std::bad_alloc&) {
      PT_Free(&list, PT_FreeNode);
      PT_Free(&item, PT_FreeNode);
      return nullptr;
    }
    if (!PT_SetTemplate(list, t.c_str())) {
      PT_Free(&list, PT_FreeNode);
      PT_Free(&item, PT_FreeNode);
      return nullptr;
    }
    PT_NODE** link = &list->child;
    while (*link) link = &(*link)->next;
    *link = item;
    ++list->nchild;
    return list;
  }
  return mkNode(p, type, SCR_TPL("$1, $2"), list, item);
}

PT_NODE* mkOpNode(ScParse* p, uint32_t type, const char* op, PT_NODE* col, PT_NODE* value) {
  std::string t;
  bool ok = op != nullptr;
  if (ok) {
    try {
      t = std::string(kArg1) + " " + op + " " + (value ? kArg2 : "NULL");
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  if (!ok) {
    PT_Free(&col, PT_FreeNode);
    PT_Free(&value, PT_FreeNode);
    return nullptr;
  }
  return value ? mkNode(p, type, t.c_str(), col, value) : mkNode(p, type, t.c_str(), col);
}

PT_NODE* mkCountStar(ScParse*, const char* name) {
  if (!name) return nullptr;
  if (strcasecmp(name, "COUNT") == 0) return PT_NewLeaf(SQLN_AGGREGATE, "COUNT (*)");
  std::string t;
  try {
    t = std::string(name) + " (*)";
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return PT_NewLeaf(SQLN_AGGREGATE, t.c_str());
}

}  // namespace scrs

int SCR_ParseText(const char* text, PT_NODE** root, std::string* errText, std::string* errMsg,
                  uint32_t forms) {
  *root = nullptr;
  if (!text) text = "";
  plat::Guard<plat::Mutex> hold(scr_ParseMutex);
  scrs::ScParse p;
  p.pos = text;
  p.end = text + std::strlen(text);
  p.forms = forms;
  if (scsql_lex_init_extra(&p, &p.scanner) != 0) {
    p.error("memory exhausted");
    if (errText) *errText = p.errText;
    if (errMsg) *errMsg = p.errMsg;
    return 2;
  }
  int r = scsql_parse(&p);
  scsql_lex_destroy(p.scanner);
  if (r == 0 && (p.lexError || !p.root)) r = 1;
  if (r != 0) PT_Free(&p.root, PT_FreeNode);
  *root = p.root;
  if (errText) *errText = p.errText;
  if (errMsg) *errMsg = p.errMsg;
  return r;
}
