// Fuzz target of the SQL analyser: arbitrary bytes must never crash it, and
// for the statements it understands, the text it regenerates must analyse
// again to the same kind and the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scrs/sqlanalyse.h"

namespace {

bool isDml(uint32_t kind) {
  switch (kind) {
    case SCR_KIND_SELECT:
    case SCR_KIND_POS_DELETE:
    case SCR_KIND_DELETE:
    case SCR_KIND_INSERT:
    case SCR_KIND_POS_UPDATE:
    case SCR_KIND_UPDATE:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\nfirst:  [%s]\nsecond: [%s]\n", what, a.c_str(), b.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // the analyser takes NUL-terminated text

  SCR_SQLINFO first;
  SCR_InitSQLInfo(&first);
  int rc = SCR_AnalyseSQL(&first, text.c_str(), 0, 1);
  if (rc == 0 && isDml(first.kind)) {
    std::string regenerated = first.tree->text;
    SCR_SQLINFO second;
    SCR_InitSQLInfo(&second);
    int rc2 = SCR_AnalyseSQL(&second, regenerated.c_str(), 0, 1);
    if (rc2 != 0) fail("regenerated text does not analyse", regenerated, second.errmsg ? second.errmsg : "");
    if (second.kind != first.kind) fail("kind changed", regenerated, second.tree->text);
    if (regenerated != second.tree->text) fail("regenerated text is not a fixed point", regenerated, second.tree->text);
    if (second.flags != first.flags) fail("analysis flags changed", regenerated, second.tree->text);
    SCR_FreeSQLInfo(&second);
  }
  SCR_FreeSQLInfo(&first);
  return 0;
}
