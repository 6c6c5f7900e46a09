// Statement kinds and the scan of escape clauses and parameter markers.
#include "drv_jdbc/j-sql.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/log.h"
#include "util/utalloc.h"
#include "util/errcodes.h"
#include "util/sqllex.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-sql";

enum : uint8_t { kBraceEscape = 1, kCommentEscape = 2 };

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Bytes of a UTF-8 sequence count as name characters: a keyword followed by
// one is part of a longer name.
bool IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) != 0 || c == '_' || u >= 0x80;
}

bool StartsNoCase(const char* p, const char* word) {
  return strncasecmp(p, word, std::strlen(word)) == 0;
}

const char* SkipSpace(const char* p) {
  while (*p != '\0' && IsSpace(*p)) ++p;
  return p;
}

// Past a comment that starts at p (-- to the end of the line, /* ... */), or
// p itself when none starts there.
const char* SkipComment(const char* p) {
  if (p[0] == '-' && p[1] == '-') {
    p += 2;
    while (*p != '\0' && *p != '\n') ++p;
    return p;
  }
  if (p[0] == '/' && p[1] == '*') {
    const char* end = std::strstr(p + 2, "*/");
    return end != nullptr ? end + 2 : p + std::strlen(p);
  }
  return p;
}

const char* SkipSpaceAndComments(const char* p, bool parens) {
  for (;;) {
    const char* q = SkipSpace(p);
    if (parens && *q == '(') {
      p = q + 1;
      continue;
    }
    const char* r = SkipComment(q);
    if (r == q) return q;
    p = r;
  }
}

bool IsKeyword(const char* p, const char* word) {
  return StartsNoCase(p, word) && !IsNameChar(p[std::strlen(word)]);
}

// Length of a {fn null()} form starting at the '{' at p, or 0.
size_t NullFormLength(const char* p) {
  const char* q = SkipSpace(p + 1);
  if ((q[0] != 'f' && q[0] != 'F') || (q[1] != 'n' && q[1] != 'N')) return 0;
  q = SkipSpace(q + 2);
  if (StartsNoCase(q, "(null)")) {
    q += 6;
  } else if (q[0] == '(' && q[1] == ')') {
    q += 2;
  } else if (StartsNoCase(q, "null")) {
    q += 4;
  } else {
    return 0;
  }
  while (*q != '\0' && (IsSpace(*q) || *q == '(' || *q == ')')) ++q;
  return *q == '}' ? static_cast<size_t>(q - p) + 1 : 0;
}

}  // namespace

namespace {

// The name of the scalar function an escape body calls ("fn name(...)",
// or in the comment form after "vendor(...), product(...),"), "" when it
// calls none.
std::string EscapeFunction(const std::string& body, bool commentForm) {
  const char* p = SkipSpace(body.c_str());
  if (commentForm && StartsNoCase(p, "vendor")) {
    const char* comma = std::strchr(p, ',');
    if (comma != nullptr) comma = std::strchr(comma + 1, ',');
    if (comma == nullptr) return std::string();
    p = SkipSpace(comma + 1);
  }
  if ((p[0] != 'f' && p[0] != 'F') || (p[1] != 'n' && p[1] != 'N') || !IsSpace(p[2]))
    return std::string();
  p = SkipSpace(p + 2);
  const char* end = p;
  while (*end != '\0' && (std::isalnum(static_cast<unsigned char>(*end)) != 0 || *end == '_')) {
    ++end;
  }
  return std::string(p, end);
}

// Marks an escape whose function the agent must first see claimed.
void NoteFunction(const std::string& body, bool commentForm, JdbcStmt* info) {
  if (info != nullptr &&
      strcasecmp(EscapeFunction(body, commentForm).c_str(), "timestampdiff") == 0)
    info->textFlags |= STMT_TEXT_TIMESTAMPDIFF;
}

}  // namespace

void translateEscapeBody(const std::string& body, bool commentForm) {
  const std::string name = EscapeFunction(body, commentForm);
  if (name.empty() || strcasecmp(name.c_str(), "convert") == 0) return;
  log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "unknown escape function %s called",
              name.c_str());
}

uint32_t translateEscapes(char* text, JdbcStmt* info, uint32_t forms) {
  if (info != nullptr) {
    info->textFlags = 0;
    info->kind = 0;
  }
  if (text == nullptr) return 0;
  struct Open {
    uint8_t kind;
    size_t bodyStart;
  };
  std::vector<Open> open;
  uint32_t markers = 0;
  const size_t n = std::strlen(text);
  size_t i = 0;
  while (i < n) {
    const char c = text[i];
    if (c == '-' && text[i + 1] == '-' && text[i + 2] == '*') {
      if (text[i + 3] == '(') {
        open.push_back({kCommentEscape, i + 4});
        i += 4;
        continue;
      }
      if (text[i + 3] == ')' && !open.empty() && open.back().kind == kCommentEscape) {
        const std::string body(text + open.back().bodyStart, text + i);
        open.pop_back();
        translateEscapeBody(body, true);
        NoteFunction(body, true, info);
        i += 4;
        continue;
      }
    }
    if (const size_t skip = sqllex_QuotedLength(text, n, i, forms)) {
      i += skip;
      continue;
    }
    switch (c) {
      case '{':
        if (const size_t len = NullFormLength(text + i)) {
          std::memcpy(text + i, "null", 4);
          std::memset(text + i + 4, ' ', len - 4);
          i += len;
          continue;
        }
        open.push_back({kBraceEscape, i + 1});
        break;
      case '}':
        if (!open.empty() && open.back().kind == kBraceEscape) {
          const std::string body(text + open.back().bodyStart, text + i);
          open.pop_back();
          translateEscapeBody(body, false);
          NoteFunction(body, false, info);
        }
        break;
      case '?':
        ++markers;
        break;
      default:
        break;
    }
    ++i;
  }
  if (info != nullptr) {
    info->markerCount = static_cast<uint16_t>(markers > 0xFFFF ? 0xFFFF : markers);
    if (markers > 0) info->textFlags |= STMT_TEXT_MARKERS;
  }
  return open.empty() ? 0 : ERR_SYNTAX_OR_ACCESS;
}

uint16_t sqlKindOf(const char* text) {
  if (text == nullptr) return STMT_KIND_OTHER;
  if (IsKeyword(SkipSpaceAndComments(text, true), "select")) return STMT_KIND_SELECT;
  const char* p = SkipSpaceAndComments(text, false);
  if (IsKeyword(p, "insert") || IsKeyword(p, "delete") || IsKeyword(p, "update")) {
    return STMT_KIND_DML;
  }
  return STMT_KIND_OTHER;
}

bool sqlIsProcedureCall(const char* text) {
  if (text == nullptr) return false;
  const char* p = SkipSpaceAndComments(text, false);
  if (*p == '{') {
    p = SkipSpace(p + 1);
    if (*p == '?') {  // {? = call f(...)}: the function's value is the first marker
      p = SkipSpace(p + 1);
      if (*p != '=') return false;
      p = SkipSpace(p + 1);
    }
    return IsKeyword(p, "call");
  }
  if (IsKeyword(p, "call")) return true;
  if (!IsKeyword(p, "execute")) return false;
  p = SkipSpaceAndComments(p + 7, false);
  return IsKeyword(p, "procedure");
}

uint32_t sqlStmtKind(const JdbcConn* conn, JdbcStmt* info, const char* text) {
  if (info == nullptr || text == nullptr) return ERR_INVALID_ARGUMENT;
  std::free(info->sql);
  info->sql = s_strdup(SkipSpace(text));
  info->markerCount = 0;
  const uint32_t forms = conn != nullptr ? conn->sqlForms : SQLLEX_STANDARD;
  if (uint32_t rc = translateEscapes(info->sql, info, forms)) return rc;
  info->kind = sqlKindOf(info->sql);
  if (sqlIsProcedureCall(info->sql)) info->textFlags |= STMT_TEXT_PROCCALL;
  return 0;
}
