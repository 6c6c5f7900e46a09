// Small routines on 8-bit, NUL-terminated text: owned copies of ODBC counted
// strings, quoting, trimming, keyword matching for the SQL scanners, list
// lookup, file-name extensions and the program's name.
//
// White space is ASCII (space, \t, \n, \v, \f, \r) and case folding is ASCII
// only, whatever the process locale: the text is UTF-8, and a locale's
// single-byte rules would tear its multi-byte sequences apart.
//
// Lengths are ODBC's: a byte count, or SQL_NTS (-3) for text up to its
// terminator; any other negative length counts as 0.  A given length is
// always honoured: nothing is read past it.  New strings come from malloc
// and are released with free().
#ifndef QMR_UTIL_STRUTIL_H
#define QMR_UTIL_STRUTIL_H

#include <cstdint>
#include <string>

#ifndef SQL_NTS
#define SQL_NTS (-3)
#endif

// *out := new NUL-terminated copy of len bytes (embedded NULs kept), or of
// the whole text with SQL_NTS; a null text counts as "".  *out is null when
// memory runs out.  Returns 0.
int str_nts_dup(char** out, const char* text, int64_t len);
// When the text (by len) has at least 2 bytes and begins and ends with the
// same quote character (' or "), *out := what lies between; else the same as
// str_nts_dup.  Returns 0.
int str_unquote(char** out, const char* text, int64_t len);
// New string: quote, the text (len bytes, or up to its NUL), quote.  A quote
// character of ' ' gives a plain copy.  A null text counts as "".  Null when
// memory runs out.
char* str_quote(const char* text, int64_t len, char quote);
// New copy of the text without one pair of enclosing quote characters (when
// quote is not ' ', the text has at least 2 bytes, and its first and last
// bytes are quote); otherwise a copy of the whole text.  Null text: "".
char* str_ndup_q(const char* text, int64_t len, char quote);

// Removes trailing white space in place.  Returns the last remaining
// character, or null when the text is null, empty or all white space (it is
// then made empty).
char* rtrim(char* text);
// First character that is not white space; null for null.
char* ltrim(const char* text);
// First occurrence of word in text ignoring ASCII case, or null.  An empty
// word is found at the text's terminator.
char* stristr(const char* text, const char* word);

// Skips leading white space, then requires the keyword followed by white
// space or the end of the text.  Returns the text after the keyword and the
// white space behind it, or null.
char* kw_match(const char* keyword, const char* text);       // ASCII case ignored
char* kw_match_case(const char* keyword, const char* text);  // exact case
char* kw_match_ex(const char* keyword, const char* text, int exact_case);

// 1-based position of the first element of a comma-separated list that equals
// word exactly (each element's leading white space skipped), or 0.
int str_listpos(const char* list, const char* word);

// The file name with its extension handled by mode: 0 removes it, 1 replaces
// it (or adds one), 2 adds "." and ext only when the name has none.  The file
// part starts after the last '/' (or '\\'); its extension starts at its last
// '.' unless that dot is the file part's first character.  A null name gives
// "", a null ext counts as "", another mode leaves the name unchanged.  The
// result is a new std::string, so the routine needs no buffer and no lock.
std::string make_path(const char* name, const char* ext, int mode);

// The running program's name in upper case: the file part of the command's
// first word, up to its last '.'; "Unknown" when that is empty.  Computed
// once; the pointer stays valid for the life of the process.
const char* get_process_name();
// The rule behind it, for a command line given as text.
std::string process_name_from(const std::string& command_line);

#endif
