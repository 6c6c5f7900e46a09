// Statement kinds and the scan of escape clauses and parameter markers.
#include "drv_jdbc/j-sql.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/errcodes.h"
#include "util/log.h"
#include "util/sqllex.h"
#include "util/utalloc.h"

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
  log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "unknown escape function %s called", name.c_str());
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
      case '?': ++markers; break;
      default: break;
    }
    ++i;
  }
  if (info != nullptr) {
    info->markerCount = static_cast<uint16_t>(markers > 0xFFFF ? 0xFFFF : markers);
    if (markers > 0) info->textFlags |= STMT_TEXT_MARKERS;
  }
  return open.empty() ? 0 : ERR_SYNTAX_OR_ACCESS;
}

namespace {

bool IsChangeKeyword(const char* p) {
  return IsKeyword(p, "insert") || IsKeyword(p, "delete") || IsKeyword(p, "update") ||
         IsKeyword(p, "merge");
}

// Keywords that begin a statement that only reads and gives rows.
bool IsQueryKeyword(const char* p) {
  return IsKeyword(p, "select") || IsKeyword(p, "values") || IsKeyword(p, "table") ||
         IsKeyword(p, "show");
}

// Calls f with each word of text that starts outside literals, quoted names
// and comments, and with the parenthesis depth there; stops when f answers
// true, and answers whether it did.
template <class F>
bool AnyWord(const char* text, uint32_t forms, F f) {
  const size_t n = std::strlen(text);
  int depth = 0;
  for (size_t i = 0; i < n;) {
    if (const size_t skip = sqllex_QuotedLength(text, n, i, forms)) {
      i += skip;
      continue;
    }
    const char c = text[i];
    if (c == '(' || c == ')') {
      depth += c == '(' ? 1 : -1;
      ++i;
      continue;
    }
    if (!IsNameChar(c)) {
      ++i;
      continue;
    }
    if (f(text + i, depth)) return true;
    while (i < n && IsNameChar(text[i])) ++i;
  }
  return false;
}

bool ChangesData(const char* text, uint32_t forms) {
  return AnyWord(text, forms, [](const char* w, int) { return IsChangeKeyword(w); });
}

// A WITH statement is what its main statement is: the first query or data
// change keyword outside the parentheses of its common table expressions.
// One that changes data anywhere (PostgreSQL lets a common table expression
// delete) counts as a data change.
uint16_t KindOfWith(const char* text, uint32_t forms) {
  if (ChangesData(text, forms)) return STMT_KIND_DML;
  const bool query = AnyWord(
      text, forms, [](const char* w, int depth) { return depth == 0 && IsQueryKeyword(w); });
  return query ? STMT_KIND_SELECT : STMT_KIND_OTHER;
}

// The kind of one statement of a text.
uint16_t KindOfOne(const char* text, uint32_t forms) {
  const char* q = SkipSpaceAndComments(text, true);
  if (IsQueryKeyword(q)) return STMT_KIND_SELECT;
  if (IsKeyword(q, "with")) return KindOfWith(q, forms);
  // EXPLAIN ANALYZE runs what it explains: one of a data change is no query.
  if (IsKeyword(q, "explain")) return ChangesData(q, forms) ? STMT_KIND_OTHER : STMT_KIND_SELECT;
  const char* p = SkipSpaceAndComments(text, false);
  if (IsKeyword(p, "insert") || IsKeyword(p, "delete") || IsKeyword(p, "update")) {
    return STMT_KIND_DML;
  }
  return STMT_KIND_OTHER;
}

// Where the statement after the first ';' outside literals and comments
// begins, or null when none follows.
const char* NextStatement(const char* text, uint32_t forms) {
  const size_t n = std::strlen(text);
  for (size_t i = 0; i < n; ++i) {
    if (const size_t skip = sqllex_QuotedLength(text, n, i, forms)) {
      i += skip - 1;
      continue;
    }
    if (text[i] != ';') continue;
    const char* next = SkipSpaceAndComments(text + i + 1, false);
    return *next != '\0' ? next : nullptr;
  }
  return nullptr;
}

}  // namespace

uint16_t sqlKindOf(const char* text, uint32_t forms) {
  if (text == nullptr) return STMT_KIND_OTHER;
  // A text of several statements is a query only when each one is, and a
  // data change when one changes data and none is of another kind.
  uint16_t kind = KindOfOne(text, forms);
  for (const char* p = NextStatement(text, forms); p != nullptr; p = NextStatement(p, forms)) {
    const uint16_t next = KindOfOne(p, forms);
    if (next == STMT_KIND_OTHER || kind == STMT_KIND_OTHER) {
      kind = STMT_KIND_OTHER;
    } else if (next != kind) {
      kind = STMT_KIND_DML;
    }
  }
  return kind;
}

bool sqlIsSearchedChange(const char* text, uint32_t forms) {
  if (text == nullptr || NextStatement(text, forms) != nullptr) return false;
  const char* p = SkipSpaceAndComments(text, false);
  if (IsKeyword(p, "with")) {
    const char* main = nullptr;
    AnyWord(p, forms, [&main](const char* w, int depth) {
      if (depth != 0 || (!IsQueryKeyword(w) && !IsChangeKeyword(w))) return false;
      main = w;
      return true;
    });
    if (main == nullptr) return false;
    p = main;
  }
  if (!IsKeyword(p, "update") && !IsKeyword(p, "delete")) return false;
  bool current = false;
  return !AnyWord(p, forms, [&current](const char* w, int) {
    if (current && IsKeyword(w, "of")) return true;
    current = IsKeyword(w, "current");
    return false;
  });
}

namespace {

// Past the keywords of a procedure call (the name's first character), or
// null when the text calls none.
const char* PastCallKeywords(const char* text) {
  const char* p = SkipSpaceAndComments(text, false);
  if (*p == '{') {
    p = SkipSpace(p + 1);
    if (*p == '?') {  // {? = call f(...)}: the function's value is the first marker
      p = SkipSpace(p + 1);
      if (*p != '=') return nullptr;
      p = SkipSpace(p + 1);
    }
    return IsKeyword(p, "call") ? SkipSpaceAndComments(p + 4, false) : nullptr;
  }
  if (IsKeyword(p, "call")) return SkipSpaceAndComments(p + 4, false);
  if (!IsKeyword(p, "execute")) return nullptr;
  p = SkipSpaceAndComments(p + 7, false);
  return IsKeyword(p, "procedure") ? SkipSpaceAndComments(p + 9, false) : nullptr;
}

}  // namespace

bool sqlIsProcedureCall(const char* text) {
  return text != nullptr && PastCallKeywords(text) != nullptr;
}

bool sqlCallTarget(const char* text, std::vector<CallNamePart>* parts) {
  parts->clear();
  const char* p = text != nullptr ? PastCallKeywords(text) : nullptr;
  if (p == nullptr) return false;
  for (;;) {
    CallNamePart part;
    if (*p == '"') {
      part.quoted = true;
      for (++p; *p != '\0' && !(p[0] == '"' && p[1] != '"'); ++p) {
        if (*p == '"') ++p;  // a doubled quote stands for one
        part.text += *p;
      }
      if (*p != '"') return false;
      ++p;
    } else {
      while (IsNameChar(*p)) part.text += *p++;
    }
    if (part.text.empty()) return false;
    parts->push_back(std::move(part));
    p = SkipSpace(p);
    if (*p != '.') break;
    p = SkipSpace(p + 1);
  }
  // Plain arguments only: a parenthesis inside them may call a function,
  // and another statement may follow the call.
  if (*p == '(') {
    const char* close = std::strchr(p + 1, ')');
    if (close == nullptr || std::memchr(p + 1, '(', static_cast<size_t>(close - p - 1)) != nullptr)
      return false;
    p = SkipSpace(close + 1);
  }
  if (*p == '}') p = SkipSpace(p + 1);
  if (*p == ';') p = SkipSpace(p + 1);
  return *p == '\0';
}

namespace {

// A single statement that is neither a query, a data change, MERGE nor a
// procedure call defines or sets something: the count a JDBC driver gives
// it (0) counts no rows.
bool CountsNoRows(const JdbcStmt* info, uint32_t forms) {
  if (info->kind != STMT_KIND_OTHER || (info->textFlags & STMT_TEXT_PROCCALL) != 0) return false;
  return !IsKeyword(SkipSpaceAndComments(info->sql, true), "merge") &&
         NextStatement(info->sql, forms) == nullptr;
}

}  // namespace

uint32_t sqlStmtKind(const JdbcConn* conn, JdbcStmt* info, const char* text) {
  if (info == nullptr || text == nullptr) return ERR_INVALID_ARGUMENT;
  std::free(info->sql);
  info->sql = s_strdup(SkipSpace(text));
  info->markerCount = 0;
  const uint32_t forms = conn != nullptr ? conn->sqlForms : SQLLEX_STANDARD;
  if (uint32_t rc = translateEscapes(info->sql, info, forms)) return rc;
  info->kind = sqlKindOf(info->sql, forms);
  if (sqlIsProcedureCall(info->sql)) info->textFlags |= STMT_TEXT_PROCCALL;
  if (info->kind == STMT_KIND_DML && sqlIsSearchedChange(info->sql, forms))
    info->textFlags |= STMT_TEXT_SEARCHED_CHANGE;
  if (CountsNoRows(info, forms)) info->textFlags |= STMT_TEXT_NO_COUNT;
  return 0;
}
