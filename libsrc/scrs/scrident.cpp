// Names between the application's SQL, the catalog and the SQL the library
// writes, and the reading of catalog cells.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "scrs/scranalysis.h"
#include "util/textconv.h"

namespace {

void FoldCase(std::string* s, uint32_t rule) {
  // ASCII folding: a UTF-8 sequence is never touched, and a database that
  // folds non-ASCII letters stores the name so in its catalog, which the
  // resolution reads back.
  for (char& c : *s) {
    if (rule == SQL_IC_UPPER && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (rule == SQL_IC_LOWER && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
}

bool IsPlainWord(const std::string& s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
  }
  return true;
}

std::string Quoted(const std::string& raw, const std::string& q) {
  std::string out = q;
  for (size_t at = 0;;) {
    const size_t hit = raw.find(q, at);
    out.append(raw, at, hit == std::string::npos ? std::string::npos : hit - at);
    if (hit == std::string::npos) break;
    out += q + q;
    at = hit + q.size();
  }
  return out + q;
}

std::string Narrow(const char16_t* s, size_t n) {
  char buf[SCR_NAME_SIZE];
  int16_t used = 0;
  const int64_t got = utf16_to_utf8_n(s, static_cast<int64_t>(n), buf, SCR_NAME_SIZE - 1, &used);
  return std::string(buf, got > 0 ? static_cast<size_t>(got) : 0);
}

}  // namespace

std::string SCR_RawIdent(const std::string& written, const SCR_IDENTS& id) {
  for (const char* q : {"\"", "`"}) {
    const size_t n = written.size();
    if (n >= 2 && written[0] == q[0] && written[n - 1] == q[0]) {
      std::string raw;
      for (size_t i = 1; i + 1 < n; ++i) {
        raw += written[i];
        if (written[i] == q[0] && i + 2 < n && written[i + 1] == q[0]) ++i;
      }
      FoldCase(&raw, id.quotedCase);
      return raw;
    }
  }
  std::string raw = written;
  FoldCase(&raw, id.unquotedCase);
  return raw;
}

bool SCR_IdentSql(const std::string& raw, const SCR_IDENTS& id, std::string* out) {
  if (raw.empty()) return false;
  if (id.quote.empty() || id.quote == " ") {
    if (!IsPlainWord(raw)) return false;
    *out += raw;
    return true;
  }
  *out += Quoted(raw, id.quote);
  return true;
}

std::string SCR_PatternOf(const std::string& raw, const SCR_IDENTS& id) {
  if (id.escape.empty()) return raw;
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '_' || raw[i] == '%' || raw.compare(i, id.escape.size(), id.escape) == 0)
      out += id.escape;
    out += raw[i];
  }
  return out;
}

bool SCR_QualifiedColName(uint8_t tables, const SCR_COLDESC& col, const SCR_IDENTS& id,
                          std::string* out) {
  if (tables > 1) {
    if (col.alias[0] != '\0') {
      if (!SCR_IdentSql(col.alias, id, out)) return false;
      *out += '.';
    } else if (col.table[0] != '\0') {
      if (col.owner[0] != '\0') {
        if (!SCR_IdentSql(col.owner, id, out)) return false;
        *out += '.';
      }
      if (!SCR_IdentSql(col.table, id, out)) return false;
      *out += '.';
    }
  }
  return SCR_IdentSql(col.name, id, out);
}

bool SCR_CellText(const COLSET* set, uint16_t col, uint32_t row, std::string* out) {
  if (set == nullptr || col >= set->cols_used || row >= set->rows_held) return false;
  const COLSET_COL& c = set->cols[col];
  if (c.ind == nullptr || c.ind[row] == COLSET_IND_NULL) return false;
  const unsigned char* p = c.data + static_cast<size_t>(row) * c.elem_size;
  const char* t = reinterpret_cast<const char*>(p);
  auto cut = [](size_t n) { return n < SCR_NAME_SIZE - 1 ? n : SCR_NAME_SIZE - 1; };
  uint32_t n32 = 0;
  uint16_t n16 = 0;
  switch (c.type) {
    case COLSET_VT_CHAR: *out = std::string(t, cut(strnlen(t, c.elem_size))); return true;
    case COLSET_VT_NTS: *out = std::string(t, cut(strnlen(t, c.elem_size))); return true;
    case COLSET_VT_CHAR8: *out = std::string(t + 1, cut(p[0])); return true;
    case COLSET_VT_CHAR16:
      std::memcpy(&n16, p, 2);
      *out = std::string(t + 2, cut(n16));
      return true;
    case COLSET_VT_CHAR32:
      std::memcpy(&n32, p, 4);
      *out = std::string(t + 4, cut(n32));
      return true;
    case COLSET_VT_LONGCHAR: {
      COLSET_LONG l;
      std::memcpy(&l, p, sizeof l);
      *out = std::string(static_cast<const char*>(l.value), cut(l.length));
      return true;
    }
    case COLSET_VT_WCHAR:
    case COLSET_VT_WNTS: {
      const size_t units = c.elem_size / 2;
      std::u16string w(units, u'\0');
      std::memcpy(&w[0], p, units * 2);
      const size_t end = w.find(u'\0');
      *out = Narrow(w.data(), end == std::u16string::npos ? units : end);
      return true;
    }
    case COLSET_VT_LONGWCHAR: {
      COLSET_LONG l;
      std::memcpy(&l, p, sizeof l);
      *out = Narrow(static_cast<const char16_t*>(l.value), l.length);
      return true;
    }
    case COLSET_VT_WCHAR32: {
      std::memcpy(&n32, p, 4);
      std::u16string w(n32, u'\0');
      std::memcpy(&w[0], p + 4, static_cast<size_t>(n32) * 2);
      *out = Narrow(w.data(), n32);
      return true;
    }
    default: return false;
  }
}

bool SCR_CellInt(const COLSET* set, uint16_t col, uint32_t row, int64_t* out) {
  if (set == nullptr || col >= set->cols_used || row >= set->rows_held) return false;
  const COLSET_COL& c = set->cols[col];
  if (c.ind == nullptr || c.ind[row] == COLSET_IND_NULL) return false;
  if (ColSetElemInt(c, row, out)) return true;
  std::string t;
  if (!SCR_CellText(set, col, row, &t) || t.empty()) return false;
  char* end = nullptr;
  const long long v = std::strtoll(t.c_str(), &end, 10);
  if (end == nullptr || *end != '\0') return false;
  *out = v;
  return true;
}

bool SCR_SetName(char* field, const std::string& text) {
  if (text.size() >= SCR_NAME_SIZE || text.find('\0') != std::string::npos) return false;
  std::memcpy(field, text.c_str(), text.size() + 1);
  return true;
}
