// The stretches of an SQL text that hold no code: literals, quoted names and
// comments, read as the data source reads them. Every scan that looks for
// parameter markers or escape clauses in an application's text skips them
// with this one reader, so that they all agree on which '?' is a marker.
//
// On every source: '...' literals and "..." names (a doubled quote stays
// inside), -- comments to the end of the line and /* ... */ comments. The
// forms below add what a source's own lexer knows beyond that, as its JDBC
// driver reads the text when it looks for markers itself.
#ifndef QMR_UTIL_SQLLEX_H
#define QMR_UTIL_SQLLEX_H

#include <cstddef>
#include <cstdint>

// Lexical forms of a source (bits).
enum : uint32_t {
  SQLLEX_STANDARD = 0,
  // PostgreSQL: $$...$$ and $tag$...$tag$ strings, E'...' strings with
  // backslash escapes, /* */ comments that nest.
  SQLLEX_POSTGRESQL = 0x1,
};

// Length of the literal, quoted name or comment that starts at text[at]
// (the text has n bytes), or 0 when none starts there. One still open at
// the end of the text runs to the end. A byte before `at` decides whether
// a PostgreSQL form starts at all: E'...' and $tag$ do not continue a name.
size_t sqllex_QuotedLength(const char* text, size_t n, size_t at, uint32_t forms);

// Whether c can continue a name (letters, digits, '_', '$' and the bytes of
// UTF-8 sequences).
bool sqllex_IsNameChar(char c);

#endif
