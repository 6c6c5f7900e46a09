// SQL text templates: plain bytes stand for themselves, 0xFF opens a code
// (argument insertion, conditional blocks tested on catalog search patterns).
// Also a compile-time converter so that templates can be written readably as
// "SELECT $1 $2" in the sources.
#ifndef QMR_SQLAN_SQLTMPL_H
#define QMR_SQLAN_SQLTMPL_H

#include <cstddef>
#include <cstdint>

#include "util/mpl.h"

// Template codes (each follows the byte SQLT_ESC).
enum : unsigned char {
  SQLT_ESC = 0xFF,
  SQLT_ARG = 0x01,     // n: argument n
  SQLT_IF = 0x02,      // id test arg
  SQLT_ELSEIF = 0x03,  // id test arg
  SQLT_ELSE = 0x04,    // id
  SQLT_ENDIF = 0x05,   // id
};

// Tests of IF and ELSE-IF.
enum : unsigned char {
  SQLT_MATCHALL = 1,
  SQLT_NOT_MATCHALL = 2,
  SQLT_WILDCARD = 3,
  SQLT_NO_WILDCARD = 4,  // unescapes the argument in place
};

// Appends the expansion of tmpl and one NUL to the pool's growing object
// (which the caller started and will finish). args[i] is argument i+1.
int SQL_ExpandTemplate(MPL_POOL* pool, const char* tmpl, char** args, uint32_t count);

// 1 when the pattern holds an unescaped "_" or "%"; otherwise 0, after
// removing in place the backslash of every escaped wildcard.
int SQL_UnescapePattern(char* pattern);

// 1 for null, "%", "" or blanks only: a pattern that matches everything.
int SQL_IsMatchAll(const char* pattern);

namespace scrs {

// A readable template turned into template bytes: "$n" (n = 1..254, one to
// three digits) becomes 0xFF 0x01 n; every other character is literal.
template <std::size_t N>
struct TemplateText {
  char s[N * 3 / 2 + 2] = {};
  constexpr explicit TemplateText(const char (&src)[N]) {
    std::size_t o = 0;
    for (std::size_t i = 0; i + 1 < N;) {
      if (src[i] == '$' && src[i + 1] >= '0' && src[i + 1] <= '9') {
        unsigned n = 0;
        ++i;
        while (i + 1 < N && src[i] >= '0' && src[i] <= '9') n = n * 10 + unsigned(src[i++] - '0');
        if (n == 0 || n > 254) throw "template argument out of range";
        s[o++] = char(SQLT_ESC);
        s[o++] = char(SQLT_ARG);
        s[o++] = char(n);
      } else {
        s[o++] = src[i++];
      }
    }
    s[o] = 0;
  }
};

}  // namespace scrs

// Template bytes of a readable template literal, computed by the compiler.
#define SCR_TPL(lit)                                            \
  ([]() -> const char* {                                        \
    static constexpr ::scrs::TemplateText<sizeof(lit)> t_(lit); \
    return t_.s;                                                \
  }())

#endif
