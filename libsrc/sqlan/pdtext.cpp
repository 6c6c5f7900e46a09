// The text of probe items: rebuilt from the parse tree through the node
// templates, with every leaf checked or quoted on the way, so that nothing of
// the application's text reaches a probe unexamined.
#include <strings.h>

#include <cstring>
#include <string>

#include "sqlan/pdescribe.h"
#include "sqlan/sqltmpl.h"

namespace {

// Expressions nest no deeper than this in a probe item; deeper ones are not
// described rather than walked at the price of the stack.
constexpr int kMaxDepth = 200;

bool IsPlainStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsPlainChar(unsigned char c) { return IsPlainStart(c) || (c >= '0' && c <= '9'); }

bool IsPlainWord(const char* s) {
  if (s == nullptr || !IsPlainStart(static_cast<unsigned char>(*s))) return false;
  for (; *s != '\0'; ++s)
    if (!IsPlainChar(static_cast<unsigned char>(*s))) return false;
  return true;
}

bool OnlyChars(const char* s, const char* allowed) {
  for (; *s != '\0'; ++s)
    if (std::strchr(allowed, *s) == nullptr) return false;
  return true;
}

// A string literal as the scanner took it: quotes at both ends, every quote
// inside doubled. A backslash is refused: a source that reads it as an
// escape would see the literal end elsewhere.
bool IsStringLiteral(const char* s) {
  const size_t n = std::strlen(s);
  if (n < 2 || s[0] != '\'' || s[n - 1] != '\'') return false;
  for (size_t i = 1; i + 1 < n; ++i) {
    if (s[i] == '\\') return false;
    if (s[i] == '\'') {
      if (i + 2 >= n || s[i + 1] != '\'') return false;
      ++i;
    }
  }
  return true;
}

bool IsIdentLeaf(uint32_t type) {
  switch (type) {
    case SQLN_COLUMN_ALIAS:
    case SQLN_COLUMN_NAME:
    case SQLN_CORRELATION_NAME:
    case SQLN_CURSOR_NAME:
    case SQLN_OWNER_NAME:
    case SQLN_QUALIFIER:
    case SQLN_TABLE_IDENT:
    case SQLN_TABLE_NAME: return true;
    default: return false;
  }
}

struct Emitter {
  const PD_QUOTING& q;
  const std::string& qualifier;
  bool unwrap;
  std::string& out;

  bool Leaf(const PT_NODE* n, bool qualify) {
    const char* t = n->text != nullptr ? n->text : "";
    if (IsIdentLeaf(n->type)) {
      if (n->type == SQLN_COLUMN_NAME && qualify && !qualifier.empty()) out += qualifier + ".";
      return pd::QuoteName(t, q, &out);
    }
    switch (n->type) {
      case SQLN_PARAM_MARKER:  // a probe runs without values
      case SQLN_ESCAPE_CLAUSE:
      case SQLN_REMOTE_PART: return false;
      case SQLN_AGGREGATE_NAME:
      case SQLN_FUNCTION_NAME:  // only plain words, never quoted
        if (!IsPlainWord(t)) return false;
        out += t;
        return true;
      case SQLN_COMPARISON_OP:
        if (!OnlyChars(t, "<>=") || std::strlen(t) > 2) return false;
        out += t;
        return true;
      case SQLN_ESCAPE_OPEN: out += "{"; return true;
      case SQLN_ESCAPE_CLOSE: out += "}"; return true;
      case SQLN_AGGREGATE:  // NAME (*)
        if (unwrap) {
          out += "1";
          return true;
        }
        break;
      case SQLN_INTEGER:
        if (*t == '\0' || !OnlyChars(t, "0123456789")) return false;
        out += t;
        return true;
      case SQLN_HEX_LITERAL:
        if (!OnlyChars(t, "0123456789abcdefABCDEFxX")) return false;
        out += t;
        return true;
      case SQLN_DATE_LITERAL:
      case SQLN_TIME_LITERAL:
      case SQLN_TIMESTAMP_LITERAL:
        if (!OnlyChars(t, "dtsDTS0123456789 '-:.\t")) return false;
        out += t;
        return true;
      case SQLN_LITERAL:
      case SQLN_LIKE_PATTERN:
        if (*t == '\'') {
          if (!IsStringLiteral(t)) return false;
          out += t;
          return true;
        }
        if (n->type == SQLN_LITERAL) {
          if (*t == '\0' || !OnlyChars(t, "0123456789.eE+-")) return false;
          out += t;
          return true;
        }
        break;
      default: break;
    }
    // Grammar words and empty holders: letters, blanks and "(*)" cannot
    // open a literal or a comment.
    if (!OnlyChars(t, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_ ()*")) return false;
    out += t;
    return true;
  }

  bool Aggregate(const PT_NODE* n, int depth) {
    const PT_NODE* name = n->child;
    const PT_NODE* arg = name != nullptr ? name->next : nullptr;
    if (name == nullptr || arg == nullptr || name->text == nullptr) return false;
    if (strcasecmp(name->text, "COUNT") == 0) {
      out += "1";
      return true;
    }
    static const char* const kKeepType[] = {"SUM", "AVG", "MAX", "MIN"};
    for (const char* k : kKeepType) {
      if (strcasecmp(name->text, k) == 0) {
        out += "(";
        if (!Node(arg, depth + 1, true)) return false;
        out += ")";
        return true;
      }
    }
    return Template(n, depth, true);
  }

  bool Template(const PT_NODE* n, int depth, bool qualify) {
    // A qualified column reference carries its own qualifier.
    if (n->type == SQLN_COLUMN_REF && n->nchild > 1) qualify = false;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(n->tmpl);
    while (*t != 0) {
      if (*t != SQLT_ESC) {
        out += static_cast<char>(*t++);
        continue;
      }
      if (t[1] != SQLT_ARG || t[2] == 0) return false;
      const PT_NODE* c = PT_Child(const_cast<PT_NODE*>(n), static_cast<uint32_t>(t[2] - 1));
      if (c == nullptr || !Node(c, depth + 1, qualify)) return false;
      t += 3;
    }
    return true;
  }

  bool Node(const PT_NODE* n, int depth, bool qualify) {
    if (depth > kMaxDepth) return false;
    if (n->tmpl == nullptr) return Leaf(n, qualify);
    if (n->type == SQLN_AGGREGATE && unwrap) return Aggregate(n, depth);
    return Template(n, depth, qualify);
  }
};

}  // namespace

namespace pd {

bool QuoteName(const char* written, const PD_QUOTING& q, std::string* out) {
  if (written == nullptr || *written == '\0' || std::strchr(written, '@') != nullptr) return false;
  std::string name;
  const size_t n = std::strlen(written);
  const char open = written[0];
  const bool delimited = open == '"' || open == '`';
  if (delimited) {
    if (n < 3 || written[n - 1] != open) return false;
    for (size_t i = 1; i + 1 < n; ++i) {
      name += written[i];
      if (written[i] == open) ++i;  // a doubled quote stands for one
    }
  } else {
    name = written;
    for (char& c : name) {
      if (q.identCase == PD_CASE_UPPER && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (q.identCase == PD_CASE_LOWER && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
  }
  // Only the two quotes that SQL sources use are taken; any other answer
  // counts as none.
  if (q.quote != "\"" && q.quote != "`") {
    // Without a quote only a name that needs none goes in, as written.
    if (delimited || !IsPlainWord(written)) return false;
    *out += written;
    return true;
  }
  *out += q.quote;
  for (size_t at = 0;;) {
    const size_t hit = name.find(q.quote, at);
    *out += name.substr(at, hit == std::string::npos ? std::string::npos : hit - at);
    if (hit == std::string::npos) break;
    *out += q.quote + q.quote;
    at = hit + q.quote.size();
  }
  *out += q.quote;
  return true;
}

bool ItemText(const PT_NODE* node, const PD_QUOTING& q, const std::string& qualifier,
              bool unwrapAggregates, std::string* out) {
  if (node == nullptr || out == nullptr) return false;
  std::string text;
  Emitter e{q, qualifier, unwrapAggregates, text};
  if (!e.Node(node, 0, true)) return false;
  *out += text;
  return true;
}

}  // namespace pd
