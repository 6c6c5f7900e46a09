// Fuzz target of the agent's scan of statement texts, which every prepared
// or executed statement passes through: escape clauses ({fn ...}, {d ...},
// {oj ...}, {call ...}, --*( ... --*)), {fn null()} blanking, parameter
// markers, the statement kind and the procedure-call test. Beyond "no
// crash": the scan keeps the text's length and changes nothing but the
// blanked forms; a second scan of its result finds the same; a comment or
// blanks put in front change neither the kind nor the call test. The first
// byte's second bit picks PostgreSQL's lexical forms.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_jdbc/j-sql.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\nfirst:  [%s]\nsecond: [%s]\n", what, a.c_str(), b.c_str());
  std::abort();
}

struct Scan {
  std::string text;
  uint32_t rc;
  uint16_t markers;
  uint32_t flags;
};

Scan Run(const std::string& in, uint32_t forms) {
  JdbcStmt s;
  Scan r{in, 0, 0, 0};
  r.rc = translateEscapes(&r.text[0], &s, forms);
  r.markers = s.markerCount;
  r.flags = s.textFlags;
  return r;
}

// The scan changes nothing but {fn null()} forms, which it overwrites with
// "null" and blanks: every changed byte is one of those, and the stretch
// it lies in starts where the text had a '{'.
void CheckOnlyNullFormsChanged(const std::string& in, const std::string& out) {
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == out[i]) continue;
    if (std::strchr("nul ", out[i]) == nullptr) Fail("scan wrote a foreign byte", in, out);
    size_t start = i;
    while (start > 0 && out[start] != 'n') --start;
    if (out.compare(start, 4, "null") != 0 || in[start] != '{')
      Fail("scan changed text outside a null form", in, out);
  }
}

void CheckPrefixesKeepKind(const std::string& text) {
  const uint16_t kind = sqlKindOf(text.c_str());
  const bool call = sqlIsProcedureCall(text.c_str());
  for (const char* prefix : {" \t\n", "/* note */", "-- note\n"}) {
    const std::string longer = prefix + text;
    if (sqlKindOf(longer.c_str()) != kind) Fail("prefix changed the kind", text, longer);
    if (sqlIsProcedureCall(longer.c_str()) != call)
      Fail("prefix changed the call test", text, longer);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = std::string(reinterpret_cast<const char*>(data), size).c_str();
  const uint32_t forms = size > 0 && (data[0] & 2) != 0 ? SQLLEX_POSTGRESQL : SQLLEX_STANDARD;
  const Scan first = Run(text, forms);
  if (first.text.size() != text.size() || std::strlen(first.text.c_str()) != text.size())
    Fail("scan changed the length", text, first.text);
  if (first.rc != 0 && first.rc != ERR_SYNTAX_OR_ACCESS) Fail("unknown result", text, first.text);
  CheckOnlyNullFormsChanged(text, first.text);
  // A second scan finds what the first found. (Its text may differ: a
  // {fn null()} nested in the head of another {fn ...} becomes "null", and
  // the outer clause then reads as a null form itself.)
  const Scan second = Run(first.text, forms);
  if (second.rc != first.rc || second.markers != first.markers || second.flags != first.flags)
    Fail("second scan differs", first.text, second.text);
  CheckOnlyNullFormsChanged(first.text, second.text);
  CheckPrefixesKeepKind(text);

  JdbcStmt s;
  JdbcConn conn;
  conn.sqlForms = forms;
  const uint32_t rc = sqlStmtKind(&conn, &s, text.c_str());
  // The statement keeps the text from its first non-blank on, scanned.
  const std::string kept = s.sql != nullptr ? s.sql : "";
  std::free(s.sql);
  if (rc != first.rc) Fail("statement scan differs from the text scan", text, kept);
  const size_t lead = text.find_first_not_of(" \t\n\v\f\r");
  const std::string expect = lead == std::string::npos ? "" : first.text.substr(lead);
  if (kept != expect) Fail("statement text differs from the scanned text", expect, kept);
  return 0;
}
