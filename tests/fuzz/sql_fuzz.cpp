// Fuzz target of the SQL analyser: arbitrary bytes must never crash it, and
// for the statements it understands, the text it regenerates must analyse
// again to the same kind and the same text. The parameter describer's probes
// of any text must each be one SELECT without markers or UNION ending in
// "WHERE 1=0 ", and name only markers the text has. The first byte's second
// bit picks PostgreSQL's lexical forms.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sqlan/pdescribe.h"
#include "sqlan/sqlanalyse.h"
#include "util/sqllex.h"

namespace {

bool isDml(uint32_t kind) {
  switch (kind) {
    case SCR_KIND_SELECT:
    case SCR_KIND_POS_DELETE:
    case SCR_KIND_DELETE:
    case SCR_KIND_INSERT:
    case SCR_KIND_POS_UPDATE:
    case SCR_KIND_UPDATE: return true;
    default: return false;
  }
}

[[noreturn]] void fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\nfirst:  [%s]\nsecond: [%s]\n", what, a.c_str(), b.c_str());
  std::abort();
}

void checkProbes(const std::string& text, bool quoted, uint32_t forms) {
  PD_QUOTING q;
  q.forms = forms;
  q.quote = quoted ? "\"" : "";
  q.identCase = PD_CASE_UPPER;
  PD_RECORD rec;
  PD_Init(&rec, q);
  if (PD_Describe(&rec, text.c_str()) == 0) {
    static const std::string kEnd = " WHERE 1=0 ";
    for (const PD_PROBE& p : rec.probes) {
      if (p.text.compare(0, 7, "SELECT ") != 0 || p.text.size() < kEnd.size() ||
          p.text.compare(p.text.size() - kEnd.size(), kEnd.size(), kEnd) != 0)
        fail("probe is not a SELECT ... WHERE 1=0", text, p.text);
      for (int32_t m : p.markers)
        if (m < -1 || m >= static_cast<int32_t>(rec.markerCount))
          fail("probe names no marker", text, p.text);
      PD_RECORD again;
      PD_Init(&again, q);
      if (PD_Describe(&again, p.text.c_str()) != 0 || again.kind != SCR_KIND_SELECT ||
          again.markerCount != 0 || (again.info.flags & SCR_SQL_UNION) != 0)
        fail("probe is not one plain SELECT", text, p.text);
      SCR_SQLINFO info;
      SCR_InitSQLInfo(&info);
      info.forms = forms;
      if (SCR_AnalyseSQL(&info, p.text.c_str(), 0, 1) != 0 || (info.flags & SCR_SQL_UNION) != 0)
        fail("probe does not analyse as one SELECT", text, p.text);
      SCR_FreeSQLInfo(&info);
      PD_Free(&again);
    }
  }
  PD_Free(&rec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // the analyser takes NUL-terminated text

  const uint32_t forms = size > 0 && (data[0] & 2) != 0 ? SQLLEX_POSTGRESQL : 0;
  SCR_SQLINFO first;
  SCR_InitSQLInfo(&first);
  first.forms = forms;
  int rc = SCR_AnalyseSQL(&first, text.c_str(), 0, 1);
  if (rc == 0 && isDml(first.kind)) {
    std::string regenerated = first.tree->text;
    SCR_SQLINFO second;
    SCR_InitSQLInfo(&second);
    second.forms = forms;
    int rc2 = SCR_AnalyseSQL(&second, regenerated.c_str(), 0, 1);
    if (rc2 != 0)
      fail("regenerated text does not analyse", regenerated, second.errmsg ? second.errmsg : "");
    if (second.kind != first.kind) fail("kind changed", regenerated, second.tree->text);
    if (regenerated != second.tree->text)
      fail("regenerated text is not a fixed point", regenerated, second.tree->text);
    if (second.flags != first.flags) fail("analysis flags changed", regenerated, second.tree->text);
    SCR_FreeSQLInfo(&second);
  }
  SCR_FreeSQLInfo(&first);
  checkProbes(text, size > 0 && (data[0] & 1) != 0, forms);
  return 0;
}
