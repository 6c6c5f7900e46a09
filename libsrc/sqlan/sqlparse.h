// The SQL analyser's scanner and parser: one parse of one statement into a
// parse tree. The state of a parse lives in an ScParse object; callers still
// hold scr_ParseMutex around a parse (SCR_ParseText does).
#ifndef QMR_SQLAN_SQLPARSE_H
#define QMR_SQLAN_SQLPARSE_H

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "sqlan/ptree.h"
#include "sqlan/scrlock.h"

namespace scrs {

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// Lexical modes (flex start conditions are mapped onto these).
struct ScParse {
  // Parse input: the statement text and the read position.
  const char* pos = nullptr;
  const char* end = nullptr;
  void* scanner = nullptr;  // the reentrant scanner
  // Text scanned since the statement's last SELECT/UPDATE/DELETE/INSERT,
  // for the error text.
  std::string scanned;
  // Identifier table: names and keywords compare without case; string
  // literals, delimited identifiers and ESCAPE clauses keep their case.
  std::set<std::string, CaseLess> names;
  std::set<std::string> exact;
  PT_NODE* root = nullptr;  // the statement node after a successful parse
  std::string errText;      // scanned text followed by "^"
  std::string errMsg;
  bool hasError = false;
  bool lexError = false;  // a scanning failure: the parse fails whatever follows
  bool prevName = false;  // the previous match was a name (IDENT)
  bool curName = false;
  uint32_t forms = 0;  // the source's lexical forms (SQLLEX_*, util/sqllex.h)

  const char* intern(const char* text, size_t len, bool exactCase);
  void error(const char* msg);
};

// Reads at most n bytes of the parse input into buf; 0 at the end.
size_t SCR_SQLInput(ScParse* p, char* buf, size_t n);

}  // namespace scrs

// Result of a parse: 0 success, 1 syntax (or scanning) error, 2 memory
// exhausted. On success *root receives the tree; on failure *root is null and
// every node built is freed. errText/errMsg (may be null) get the error.
// forms: the source's lexical forms (SQLLEX_*). Takes scr_ParseMutex, which
// is not recursive.
int SCR_ParseText(const char* text, PT_NODE** root, std::string* errText, std::string* errMsg,
                  uint32_t forms = 0) EXCLUDES(scr_ParseMutex);

#endif
