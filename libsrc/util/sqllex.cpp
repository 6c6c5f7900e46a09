// Literals, quoted names and comments of SQL texts.
#include "util/sqllex.h"

#include <cstring>

namespace {

bool IsLetter(unsigned char u) { return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'); }

// A dollar-quote tag starts as a name does, without '$' or a digit (so $1,
// a positional parameter, is none).
bool IsTagStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return IsLetter(u) || c == '_' || u >= 0x80;
}

bool IsTagChar(char c) { return IsTagStart(c) || (c >= '0' && c <= '9'); }

// 'q...q' with a doubled q inside.
size_t Delimited(const char* t, size_t n, size_t at, char q) {
  for (size_t i = at + 1; i < n; ++i) {
    if (t[i] != q) continue;
    if (i + 1 < n && t[i + 1] == q) {
      ++i;
      continue;
    }
    return i + 1 - at;
  }
  return n - at;
}

// E'...': a backslash takes the next byte into the string, whatever it is.
size_t EscapeString(const char* t, size_t n, size_t at) {
  for (size_t i = at + 2; i < n; ++i) {
    if (t[i] == '\\') {
      ++i;
    } else if (t[i] == '\'') {
      if (i + 1 < n && t[i + 1] == '\'') {
        ++i;
        continue;
      }
      return i + 1 - at;
    }
  }
  return n - at;
}

size_t LineComment(const char* t, size_t n, size_t at) {
  size_t i = at + 2;
  while (i < n && t[i] != '\n' && t[i] != '\r') ++i;
  return i - at;
}

size_t BlockComment(const char* t, size_t n, size_t at, bool nest) {
  size_t depth = 1;
  size_t i = at + 2;
  while (i < n) {
    if (nest && t[i] == '/' && i + 1 < n && t[i + 1] == '*') {
      ++depth;
      i += 2;
    } else if (t[i] == '*' && i + 1 < n && t[i + 1] == '/') {
      i += 2;
      if (--depth == 0) return i - at;
    } else {
      ++i;
    }
  }
  return n - at;
}

// $tag$ ... $tag$ (the tag may be empty); 0 when no tag starts at `at`.
size_t DollarQuoted(const char* t, size_t n, size_t at) {
  if (at > 0 && sqllex_IsNameChar(t[at - 1])) return 0;
  size_t end = at + 1;
  if (end < n && IsTagStart(t[end])) {
    while (end < n && IsTagChar(t[end])) ++end;
  }
  if (end >= n || t[end] != '$') return 0;
  const size_t tag = end + 1 - at;
  for (size_t i = end + 1; i + tag <= n; ++i) {
    if (t[i] == '$' && std::memcmp(t + i, t + at, tag) == 0) return i + tag - at;
  }
  return n - at;
}

}  // namespace

bool sqllex_IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return IsLetter(u) || (c >= '0' && c <= '9') || c == '_' || c == '$' || u >= 0x80;
}

size_t sqllex_QuotedLength(const char* text, size_t n, size_t at, uint32_t forms) {
  if (text == nullptr || at >= n) return 0;
  const char c = text[at];
  const char next = at + 1 < n ? text[at + 1] : '\0';
  const bool pg = (forms & SQLLEX_POSTGRESQL) != 0;
  switch (c) {
    case '\'':
    case '"': return Delimited(text, n, at, c);
    case '-': return next == '-' ? LineComment(text, n, at) : 0;
    case '/': return next == '*' ? BlockComment(text, n, at, pg) : 0;
    case 'E':
    case 'e':
      if (pg && next == '\'' && (at == 0 || !sqllex_IsNameChar(text[at - 1])))
        return EscapeString(text, n, at);
      return 0;
    case '$': return pg ? DollarQuoted(text, n, at) : 0;
    default: return 0;
  }
}
