#include "util/strutil.h"

#include <cstdlib>
#include <cstring>

#include "platform/procinfo.h"
#include "util/textconv.h"

namespace {

bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

unsigned char fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; }

bool is_sep(char c) { return c == '/' || c == '\\'; }

// Bytes of the text that a length stands for.
size_t length_of(const char* text, int64_t len) {
  if (!text) return 0;
  if (len == SQL_NTS) return std::strlen(text);
  return len < 0 ? 0 : static_cast<size_t>(len);
}

char* dup_bytes(const char* p, size_t n) {
  char* out = static_cast<char*>(std::malloc(n + 1));
  if (!out) return nullptr;
  if (n) std::memcpy(out, p, n);
  out[n] = 0;
  return out;
}

bool is_quoted(const char* text, size_t n, char quote) {
  return n >= 2 && text[0] == quote && text[n - 1] == quote;
}

}  // namespace

int str_nts_dup(char** out, const char* text, int64_t len) {
  *out = dup_bytes(text ? text : "", length_of(text, len));
  return 0;
}

int str_unquote(char** out, const char* text, int64_t len) {
  size_t n = length_of(text, len);
  if (text && (is_quoted(text, n, '\'') || is_quoted(text, n, '"')))
    *out = dup_bytes(text + 1, n - 2);
  else
    *out = dup_bytes(text ? text : "", n);
  return 0;
}

char* str_quote(const char* text, int64_t len, char quote) {
  size_t n = length_of(text, len);
  if (quote == ' ') return dup_bytes(text ? text : "", n);
  char* out = static_cast<char*>(std::malloc(n + 3));
  if (!out) return nullptr;
  out[0] = quote;
  if (n) std::memcpy(out + 1, text, n);
  out[n + 1] = quote;
  out[n + 2] = 0;
  return out;
}

char* str_ndup_q(const char* text, int64_t len, char quote) {
  size_t n = length_of(text, len);
  if (text && quote != ' ' && is_quoted(text, n, quote)) return dup_bytes(text + 1, n - 2);
  return dup_bytes(text ? text : "", n);
}

char* rtrim(char* text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text);
  while (n > 0 && is_space(static_cast<unsigned char>(text[n - 1]))) --n;
  text[n] = 0;
  return n ? text + n - 1 : nullptr;
}

char* ltrim(const char* text) {
  if (!text) return nullptr;
  while (is_space(static_cast<unsigned char>(*text))) ++text;
  return const_cast<char*>(text);
}

char* stristr(const char* text, const char* word) {
  if (!text || !word) return nullptr;
  if (!*word) return const_cast<char*>(text + std::strlen(text));
  for (const char* t = text; *t; ++t) {
    size_t i = 0;
    while (word[i] && t[i] &&
           fold(static_cast<unsigned char>(t[i])) == fold(static_cast<unsigned char>(word[i])))
      ++i;
    if (!word[i]) return const_cast<char*>(t);
    if (!t[i]) break;  // the rest of the text is shorter than the word
  }
  return nullptr;
}

char* kw_match_ex(const char* keyword, const char* text, int exact_case) {
  if (!keyword || !text) return nullptr;
  const char* t = ltrim(text);
  for (const char* k = keyword; *k; ++k, ++t) {
    auto a = static_cast<unsigned char>(*k), b = static_cast<unsigned char>(*t);
    if (exact_case ? a != b : fold(a) != fold(b)) return nullptr;
  }
  if (*t && !is_space(static_cast<unsigned char>(*t))) return nullptr;
  return ltrim(t);
}

char* kw_match(const char* keyword, const char* text) { return kw_match_ex(keyword, text, 0); }

char* kw_match_case(const char* keyword, const char* text) { return kw_match_ex(keyword, text, 1); }

int str_listpos(const char* list, const char* word) {
  if (!list || !word) return 0;
  size_t wn = std::strlen(word);
  int pos = 1;
  for (const char* p = list;; ++pos) {
    p = ltrim(p);
    const char* end = std::strchr(p, ',');
    size_t n = end ? static_cast<size_t>(end - p) : std::strlen(p);
    if (n == wn && std::memcmp(p, word, n) == 0) return pos;
    if (!end) return 0;
    p = end + 1;
  }
}

std::string make_path(const char* name, const char* ext, int mode) {
  std::string path = name ? name : "";
  if (!ext) ext = "";
  size_t file = 0;
  for (size_t i = path.size(); i > 0; --i)
    if (is_sep(path[i - 1])) {
      file = i;
      break;
    }
  size_t dot = path.rfind('.');
  bool has_ext = dot != std::string::npos && dot > file;
  switch (mode) {
    case 0:
    case 1:
      if (has_ext) path.erase(dot);
      if (mode == 1) path.append(".").append(ext);
      break;
    case 2:
      if (!has_ext) path.append(".").append(ext);
      break;
    default: break;
  }
  return path;
}

std::string process_name_from(const std::string& cmd) {
  // Only the program itself: a '/' or '.' among the arguments says nothing
  // about its name.
  std::string prog = cmd.substr(0, cmd.find(' '));
  size_t file = 0;
  for (size_t i = prog.size(); i > 0; --i)
    if (is_sep(prog[i - 1])) {
      file = i;
      break;
    }
  std::string name = prog.substr(file);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  if (name.size() > 254) {
    name.resize(utf8_prefix_len(name.data(), name.size(), 254));
  }
  for (char& c : name) c = static_cast<char>(fold(static_cast<unsigned char>(c)));
  return name.empty() ? "Unknown" : name;
}

const char* get_process_name() {
  // Never destroyed: the driver may still log from its unload hook, which
  // runs after the static objects of a dlopen'ed library are gone.
  static const std::string& name = *new std::string(process_name_from(plat::command_line()));
  return name.c_str();
}
