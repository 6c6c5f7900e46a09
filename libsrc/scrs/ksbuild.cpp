// The statements a keyset cursor builds from the application's SELECT: the
// key SELECT, the key condition and the key ORDER BY. The analyser's edits
// leave a mark where new text goes; the new text is put there by position,
// so nothing of the application's text is ever read again as a template
// (its 0xFF bytes and anything that looks like a mark stay as they were).
#include <cstring>

#include "scrs/scranalysis.h"
#include "util/errcodes.h"

namespace {

const char kMark[] = SCR_SQL_MARK;

std::string RootText(const SCR_SQLINFO* info) {
  return info != nullptr && info->tree != nullptr && info->tree->text != nullptr
             ? info->tree->text : "";
}

// Markers of the text before `end`, outside literals, quoted names and
// comments: the application's parameters that come before the new text.
uint32_t MarkersBefore(const std::string& text, size_t end) {
  uint32_t n = 0;
  for (size_t i = 0; i < end && i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'' || c == '"' || c == '`') {
      const size_t close = text.find(c, i + 1);
      if (close == std::string::npos) break;
      i = close;  // a doubled quote closes and reopens: the same count
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      const size_t eol = text.find('\n', i);
      if (eol == std::string::npos) break;
      i = eol;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const size_t close = text.find("*/", i + 2);
      if (close == std::string::npos) break;
      i = close + 1;
    } else if (c == '?') {
      ++n;
    }
  }
  return n;
}

int Edit(SCR_SQLINFO* info, int (*edit)(SCR_SQLINFO*), const std::string& add, SCR_BUILT* out) {
  if (info == nullptr || info->tree == nullptr || out == nullptr) return ERR_GENERAL;
  const std::string before = RootText(info);
  if (int rc = edit(info)) return rc;
  return SCR_SpliceAtMark(before, info->tree->text, add, out);
}

bool KeyList(const KS_CURSOR& ks, const SCR_IDENTS& id, std::string* out) {
  for (size_t i = 0; i < ks.keys.size(); ++i) {
    if (i > 0) *out += ", ";
    if (!SCR_QualifiedColName(ks.tableCount, ks.keys[i], id, out)) return false;
  }
  return !ks.keys.empty();
}

}  // namespace

int SCR_SpliceAtMark(const std::string& before, const char* after, const std::string& add,
                     SCR_BUILT* out) {
  if (after == nullptr) return ERR_GENERAL;
  const std::string a = after;
  // The edit changed the text from its mark on; the mark starts where the
  // texts part, or up to two bytes earlier when the old text went on with
  // the mark's own bytes.
  size_t same = 0;
  while (same < before.size() && same < a.size() && before[same] == a[same]) ++same;
  const size_t from = same >= 2 ? same - 2 : 0;
  const size_t at = a.find(kMark, from, 3);
  if (at == std::string::npos || at > same) return ERR_GENERAL;
  out->text = a.substr(0, at) + add + a.substr(at + 3);
  out->appBefore = MarkersBefore(a, at);
  out->libMarkers = MarkersBefore(add, add.size());
  return 0;
}

int KS_BuildKeySelect(SCR_SQLINFO* info, const KS_CURSOR& ks, const SCR_IDENTS& id,
                      SCR_BUILT* out) {
  std::string list;
  if (!KeyList(ks, id, &list)) return ERR_GENERAL;
  return Edit(info, SCR_ReplaceSelectList, list, out);
}

int KS_BuildKeyWhere(SCR_SQLINFO* info, const KS_CURSOR& ks, const SCR_IDENTS& id,
                     uint32_t groups, SCR_BUILT* out) {
  if (groups == 0 || ks.keys.empty()) return ERR_GENERAL;
  std::string group;
  for (size_t i = 0; i < ks.keys.size(); ++i) {
    if (i > 0) group += " AND ";
    if (!SCR_QualifiedColName(ks.tableCount, ks.keys[i], id, &group)) return ERR_GENERAL;
    group += " = ?";
  }
  std::string cond = "( ";
  for (uint32_t g = 0; g < groups; ++g) cond += (g > 0 ? " OR " : "") + group;
  cond += " )";
  if (info == nullptr || info->tree == nullptr || out == nullptr) return ERR_GENERAL;
  const std::string before = RootText(info);
  if (int rc = SCR_AppendWhere(info)) return rc;
  // SCR_AppendWhere says whether the statement had a condition of its own.
  if ((info->flags & SCR_SQL_WHERE) == 0) cond = " WHERE " + cond;
  return SCR_SpliceAtMark(before, info->tree->text, cond, out);
}

int KS_BuildOrderBy(SCR_SQLINFO* info, const KS_CURSOR& ks, const SCR_IDENTS& id,
                    uint32_t existingItems, SCR_BUILT* out) {
  if (info == nullptr || out == nullptr) return ERR_GENERAL;
  const bool had = (info->flags & SCR_SQL_ORDERBY) != 0;
  std::string add = had ? "" : " ORDER BY ";
  uint32_t items = had ? existingItems : 0;
  bool first = true;
  for (const SCR_COLDESC& k : ks.keys) {
    if (k.mark != 0) continue;
    if (id.maxOrderBy != 0 && items + 1 > id.maxOrderBy) break;
    if (items > 0 || !first) add += ", ";
    if (!SCR_QualifiedColName(ks.tableCount, k, id, &add)) return ERR_GENERAL;
    first = false;
    ++items;
  }
  if (!had && first) add.clear();
  return Edit(info, SCR_AppendCondition, add, out);
}
