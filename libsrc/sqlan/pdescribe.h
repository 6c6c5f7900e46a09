// Parameter description by SQL parse: the markers of a statement are matched
// with the columns or expressions they are compared with, assigned to or
// inserted into, and those are gathered into probe queries
// "SELECT items FROM tables WHERE 1=0 " whose result columns describe the
// markers. The agent runs the probes; this side only builds them.
//
// Every name and literal in a probe is rebuilt from the parse tree and
// quoted afresh, never copied from the application's text, so a probe is a
// SELECT that returns no rows whatever the statement held.
#ifndef QMR_SQLAN_PDESCRIBE_H
#define QMR_SQLAN_PDESCRIBE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sqlan/sqlanalyse.h"

// How the data source stores names written without quotes.
enum : uint32_t {
  PD_CASE_AS_IS = 0,
  PD_CASE_UPPER = 1,
  PD_CASE_LOWER = 2,
};

// How names are written into probes: the source's identifier quote ("" when
// it has none: then only plain names are written, unquoted) and how it
// folds plain names, which must be folded here before they are quoted.
struct PD_QUOTING {
  std::string quote;
  uint32_t identCase = PD_CASE_AS_IS;
  uint32_t forms = 0;  // how the source quotes literals (SQLLEX_*, util/sqllex.h)
};

// One probe and, for each of its result columns, the 0-based marker (in the
// statement's text order) that the column describes, or -1.
struct PD_PROBE {
  std::string text;
  std::vector<int32_t> markers;
};

struct PD_RECORD {
  SCR_SQLINFO info;              // the statement text and its parse tree
  uint32_t kind;                 // SCR_KIND_NONE after PD_Init and PD_Free
  std::vector<PD_PROBE> probes;  // in the order they are to be run
  uint32_t markerCount;          // markers the parser saw
  uint32_t described;            // markers some probe column describes
  PD_QUOTING quoting;
};

void PD_Init(PD_RECORD* rec, const PD_QUOTING& quoting);
void PD_Free(PD_RECORD* rec);
// Builds the probes of one statement text. 0 (whatever could be described:
// a marker no probe column names keeps its own description);
// SCR_SQL_SYNTAX when the text does not parse, SCR_SQL_NOMEM when memory
// runs out; no probe then.
int PD_Describe(PD_RECORD* rec, const char* sql);

namespace pd {

// A name as written in the statement (plain, "delimited" with "" inside,
// or `delimited`) written for a probe. False when it cannot be written
// safely: a name that needs quoting where the source has no quote, or a
// form the probe builder does not take (variables, remote names).
bool QuoteName(const char* written, const PD_QUOTING& q, std::string* out);

// The text of a subtree for a probe item: names quoted, string literals
// re-quoted, numbers checked, grammar words kept. `qualifier` (may be empty)
// is put before every unqualified column reference; aggregate calls become
// their argument ("SUM(x)" -> "(x)", COUNT -> "1") when `unwrapAggregates`.
// False for a subtree that holds a marker or anything else a probe must not
// carry.
bool ItemText(const PT_NODE* node, const PD_QUOTING& q, const std::string& qualifier,
              bool unwrapAggregates, std::string* out);

}  // namespace pd

#endif
