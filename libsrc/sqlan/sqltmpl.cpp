#include "sqlan/sqltmpl.h"

#include <cstring>

namespace {

bool testHolds(unsigned char test, unsigned char argNo, char** args, uint32_t count) {
  // An argument out of range (or missing) counts as the empty string.
  static char empty[1] = {0};
  char* a = (argNo == 0 || argNo > count || !args[argNo - 1]) ? empty : args[argNo - 1];
  switch (test) {
    case SQLT_MATCHALL: return SQL_IsMatchAll(a) == 1;
    case SQLT_NOT_MATCHALL: return SQL_IsMatchAll(a) == 0;
    case SQLT_WILDCARD: return SQL_UnescapePattern(a) == 1;
    case SQLT_NO_WILDCARD: return SQL_UnescapePattern(a) == 0;
    default: return false;
  }
}

// Length of the code that starts at p (p[0] == 0xFF), never running past the
// template's NUL, so a damaged template cannot make the walk overrun.
size_t codeLength(const unsigned char* p) {
  size_t want;
  switch (p[1]) {
    case SQLT_ARG: want = 3; break;
    case SQLT_IF:
    case SQLT_ELSEIF: want = 5; break;
    case SQLT_ELSE:
    case SQLT_ENDIF: want = 3; break;
    default: want = 2; break;
  }
  size_t n = 1;
  while (n < want && p[n]) ++n;
  return n;
}

}  // namespace

int SQL_ExpandTemplate(MPL_POOL* pool, const char* tmpl, char** args, uint32_t count) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(tmpl ? tmpl : "");
  while (*p) {
    if (*p != SQLT_ESC) {
      const unsigned char* run = p;
      while (*p && *p != SQLT_ESC) ++p;
      mpl_grow_copy(pool, run, size_t(p - run));
      continue;
    }
    size_t len = codeLength(p);
    if (len < 2) break;  // 0xFF at the very end
    unsigned char code = p[1];
    if (code == SQLT_ARG && len == 3) {
      unsigned char n = p[2];
      if (n == 0 || n > count) {
        mpl_grow_copy(pool, "NULL", 4);
      } else if (args[n - 1]) {
        size_t l = std::strlen(args[n - 1]);
        if (l) mpl_grow_copy(pool, args[n - 1], l);
      }
      p += 3;
    } else if (code == SQLT_IF && len == 5) {
      unsigned char id = p[2];
      bool holds = testHolds(p[3], p[4], args, count);
      p += 5;
      // Skip to the first branch that holds, the ELSE, or the END-IF.
      while (!holds && *p) {
        if (*p != SQLT_ESC) {
          ++p;
          continue;
        }
        size_t l = codeLength(p);
        if (l < 2) {
          p += l;
          break;
        }
        unsigned char c = p[1];
        if ((c == SQLT_ELSE || c == SQLT_ENDIF) && l == 3 && p[2] == id) {
          p += 3;
          break;
        }
        if (c == SQLT_ELSEIF && l == 5 && p[2] == id) {
          holds = testHolds(p[3], p[4], args, count);
          p += 5;
          if (holds) break;
          continue;
        }
        p += 1;  // keep scanning from the code byte
      }
    } else if ((code == SQLT_ELSEIF || code == SQLT_ELSE) && len >= 3) {
      // An earlier test of this block held: drop the rest of the block.
      unsigned char id = p[2];
      p += len;
      while (*p) {
        if (*p == SQLT_ESC && p[1] == SQLT_ENDIF && p[2] == id) {
          p += 3;
          break;
        }
        ++p;
      }
    } else {
      p += len;  // END-IF in emitting state, unknown codes, truncated codes
    }
  }
  mpl_grow_byte(pool, '\0');
  return 0;
}

int SQL_UnescapePattern(char* pattern) {
  if (!pattern) return 0;
  bool escaped = false;
  for (size_t i = 0; pattern[i]; ++i) {
    char c = pattern[i];
    if (c == '_' || c == '%') {
      if (i == 0 || pattern[i - 1] != '\\') return 1;
      escaped = true;
    }
  }
  if (!escaped) return 0;
  char* w = pattern;
  for (const char* r = pattern; *r; ++r) {
    if (*r == '\\' && (r[1] == '_' || r[1] == '%')) continue;
    *w++ = *r;
  }
  *w = 0;
  return 0;
}

int SQL_IsMatchAll(const char* pattern) {
  if (!pattern) return 1;
  if (std::strcmp(pattern, "%") == 0) return 1;
  for (const char* p = pattern; *p; ++p)
    if (*p != ' ') return 0;
  return 1;
}
