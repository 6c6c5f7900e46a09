// The statements a keyset cursor builds from the application's SELECT: the
// key SELECT, the key condition and the key ORDER BY. The analyser's edits
// leave a mark where new text goes; the new text is put there by position,
// so nothing of the application's text is ever read again as a template
// (its 0xFF bytes and anything that looks like a mark stay as they were).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "scrs/scranalysis.h"
#include "util/errcodes.h"
#include "util/sqllex.h"

namespace {

const char kMark[] = SCR_SQL_MARK;

std::string RootText(const SCR_SQLINFO* info) {
  return info != nullptr && info->tree != nullptr && info->tree->text != nullptr ? info->tree->text
                                                                                 : "";
}

// Markers of the text before `end`, outside literals, quoted names and
// comments: the application's parameters that come before the new text.
// The texts are the analyser's, which reads the standard forms and `names`.
uint32_t MarkersBefore(const std::string& text, size_t end) {
  uint32_t n = 0;
  const size_t size = text.size();
  for (size_t i = 0; i < end && i < size; ++i) {
    const char c = text[i];
    if (c == '`') {
      const size_t close = text.find(c, i + 1);
      if (close == std::string::npos) break;
      i = close;
    } else if (const size_t skip = sqllex_QuotedLength(text.data(), size, i, SQLLEX_STANDARD)) {
      i += skip - 1;
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

uint32_t SCR_MarkerCount(const std::string& text) { return MarkersBefore(text, text.size()); }

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

int scs_p_BuildValuesSelect(SCR_SQLINFO* info, const std::vector<SCR_COLDESC>& tableCols,
                            uint8_t tableCount, const SCR_IDENTS& id, SCR_BUILT* out) {
  KS_CURSOR all;
  all.tableCount = tableCount;
  all.keys = tableCols;
  std::string list;
  if (!KeyList(all, id, &list)) return ERR_GENERAL;
  return Edit(info, SCR_ReplaceSelectList, list, out);
}

int KS_BuildKeyWhere(SCR_SQLINFO* info, const KS_CURSOR& ks, const SCR_IDENTS& id, uint32_t groups,
                     SCR_BUILT* out) {
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

namespace {

// One column of the sort order a seek follows: the ORDER BY items, then
// the key columns no item names.
struct SeekCol {
  std::string text;
  bool key = false;
  bool descending = false;
  uint16_t bound = 0;  // column of the bound row
  int nullRank = -1;   // rank among the ORDER BY items that are no key
};

// Items past the sort column count follow a column that already fixes
// each row's place, so they never decide a seek.
bool SeekColumns(const KS_CURSOR& ks, const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                 uint16_t sortColumns, std::vector<SeekCol>* out) {
  const uint16_t nkeys = static_cast<uint16_t>(ks.keys.size());
  // Only when every key is named within the count: otherwise a key or an
  // item would drop out of the order.
  size_t items = order.size();
  const bool keysWithin = std::all_of(ks.keys.begin(), ks.keys.end(), [&](const SCR_COLDESC& k) {
    return k.mark != 0 && k.mark <= sortColumns;
  });
  if (sortColumns != 0 && sortColumns < items && keysWithin) items = sortColumns;
  uint16_t rank = 0;
  for (size_t j = 0; j < items; ++j) {
    SeekCol c;
    c.text = order[j].text;
    c.descending = order[j].descending != 0;
    for (uint16_t k = 0; k < nkeys; ++k) {
      if (ks.keys[k].mark == j + 1) {
        c.key = true;
        c.bound = k;
      }
    }
    if (!c.key) {
      c.bound = static_cast<uint16_t>(nkeys + rank);
      c.nullRank = rank++;
    }
    out->push_back(c);
  }
  for (uint16_t k = 0; k < nkeys; ++k) {
    if (ks.keys[k].mark != 0) continue;
    SeekCol c;
    if (!SCR_QualifiedColName(ks.tableCount, ks.keys[k], id, &c.text)) return false;
    c.key = true;
    c.bound = k;
    out->push_back(c);
  }
  return true;
}

// Where a NULL bound value stands in the sort order: 1 no row follows it
// in the direction of the seek, 2 every non-NULL row does.
int NullState(uint16_t orientation, bool desc, uint32_t collation) {
  int s = collation == SQL_NC_HIGH    ? (desc ? 2 : 1)
          : collation == SQL_NC_LOW   ? (desc ? 1 : 2)
          : collation == SQL_NC_START ? 2
                                      : 1;
  if (orientation == SQL_FETCH_PRIOR) s = 3 - s;
  return s;
}

// Whether NULLs lie beyond a non-NULL bound value in the seek's direction.
bool OrNull(uint16_t orientation, bool desc, uint32_t collation) {
  const bool v = collation == SQL_NC_HIGH  ? !desc
                 : collation == SQL_NC_LOW ? desc
                                           : collation != SQL_NC_START;
  return orientation == SQL_FETCH_PRIOR ? !v : v;
}

std::string Operator(uint16_t orientation, bool inclusive, bool desc) {
  bool greater = !desc;
  if (orientation == SQL_FETCH_PRIOR) greater = !greater;
  std::string op = greater ? ">" : "<";
  if (inclusive) op += "=";
  return op;
}

// The rows after (NEXT) or before (PRIOR) the bound row in the order of
// `cols`, as a condition and the bound columns its markers take. The terms
// that inclusiveTerm picks (by their place and their count) take the bound
// value itself as well (>=, <=).
struct SeekCond {
  std::string text;
  std::vector<uint16_t> params;
};
SeekCond SeekCondition(const std::vector<SeekCol>& cols, uint16_t orientation,
                       bool (*inclusiveTerm)(size_t, size_t), uint32_t nullCollation,
                       const std::vector<bool>& nullBound) {
  auto state = [&](const SeekCol& c) {
    const bool isNull = c.nullRank >= 0 && static_cast<size_t>(c.nullRank) < nullBound.size() &&
                        nullBound[static_cast<size_t>(c.nullRank)];
    return isNull ? NullState(orientation, c.descending, nullCollation) : 0;
  };
  SeekCond out;
  // Columns before the i-th equal to the bound row's.
  auto prefix = [&](size_t i, std::vector<uint16_t>* params) {
    std::string text;
    for (size_t j = 0; j < i; ++j) {
      text += cols[j].text;
      if (state(cols[j]) != 0) {
        text += " IS NULL AND ";
      } else {
        text += " = ? AND ";
        params->push_back(cols[j].bound);
      }
    }
    return text;
  };
  auto join = [&out](const std::string& term, const std::vector<uint16_t>& params) {
    // Only present terms are joined, so an absent term leaves no dangling OR.
    out.text += (out.text.empty() ? "" : " OR ") + term;
    out.params.insert(out.params.end(), params.begin(), params.end());
  };
  for (size_t i = 0; i < cols.size(); ++i) {
    const SeekCol& last = cols[i];
    const int s = state(last);
    if (s != 0 && inclusiveTerm(i, cols.size())) {
      // The bound row itself, NULL where it is: no operator takes it.
      std::vector<uint16_t> termParams;
      const std::string term = prefix(i, &termParams) + last.text + " IS NULL ";
      join(term, termParams);
    }
    if (s == 1) continue;  // nothing lies beyond a NULL here: no term
    std::vector<uint16_t> termParams;
    std::string term = prefix(i, &termParams);
    if (s == 2) {
      term += last.text + " IS NOT NULL ";
    } else {
      const bool orNull = !last.key && OrNull(orientation, last.descending, nullCollation);
      if (orNull) term += "(";
      term += last.text + " " +
              Operator(orientation, inclusiveTerm(i, cols.size()), last.descending) + " ? ";
      if (orNull) term += "OR " + last.text + " IS NULL) ";
      termParams.push_back(last.bound);
    }
    join(term, termParams);
  }
  if (out.text.empty()) out.text = "1 = 0 ";
  return out;
}

bool NoTerm(size_t, size_t) { return false; }
bool LastTerm(size_t i, size_t n) { return i + 1 == n; }

// Puts `cond` into the statement's WHERE (joined to its own condition).
int AppendCondition(SCR_SQLINFO* info, std::string cond, SCR_BUILT* out) {
  const std::string before = RootText(info);
  if (int rc = SCR_AppendWhere(info)) return rc;
  cond = "( " + cond + ")";
  if ((info->flags & SCR_SQL_WHERE) == 0) cond = " WHERE " + cond;
  return SCR_SpliceAtMark(before, info->tree->text, cond, out);
}

}  // namespace

int KS_SeekList(const KS_CURSOR& ks, const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                uint16_t sortColumns, std::string* out, uint16_t* count) {
  out->clear();
  if (!KeyList(ks, id, out)) return ERR_GENERAL;
  std::vector<SeekCol> cols;
  if (!SeekColumns(ks, order, id, sortColumns, &cols)) return ERR_GENERAL;
  uint16_t n = static_cast<uint16_t>(ks.keys.size());
  for (const SeekCol& c : cols) {
    if (c.key) continue;
    *out += ", " + c.text;
    ++n;
  }
  if (count != nullptr) *count = n;
  return 0;
}

bool KS_OrderedByKeys(const KS_CURSOR& ks, const std::vector<SCR_ORDERITEM>& order,
                      const SCR_IDENTS& id, uint16_t sortColumns) {
  // Keys the ORDER BY could not take leave rows of equal items in no order.
  size_t unnamed = 0;
  for (const SCR_COLDESC& k : ks.keys) unnamed += k.mark == 0 ? 1 : 0;
  if (id.maxOrderBy != 0 && order.size() + unnamed > id.maxOrderBy) return false;
  std::vector<SeekCol> cols;
  return SeekColumns(ks, order, id, sortColumns, &cols) && !cols.empty() &&
         std::all_of(cols.begin(), cols.end(), [](const SeekCol& c) { return c.key; });
}

int KS_BuildNoRows(SCR_SQLINFO* info, SCR_BUILT* out) {
  if (info == nullptr || info->tree == nullptr || out == nullptr) return ERR_GENERAL;
  return AppendCondition(info, "1 = 0", out);
}

int KS_BuildKeyRange(SCR_SQLINFO* info, const KS_CURSOR& ks,
                     const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                     uint16_t sortColumns, SCR_BUILT* out) {
  if (info == nullptr || info->tree == nullptr || out == nullptr) return ERR_GENERAL;
  std::vector<SeekCol> cols;
  if (!SeekColumns(ks, order, id, sortColumns, &cols) || cols.empty()) return ERR_GENERAL;
  for (const SeekCol& c : cols)
    if (!c.key) return ERR_GENERAL;
  // From the first key on and up to the last, each included.
  const SeekCond from = SeekCondition(cols, SQL_FETCH_NEXT, LastTerm, 0, {});
  const SeekCond to = SeekCondition(cols, SQL_FETCH_PRIOR, LastTerm, 0, {});
  if (int rc = AppendCondition(info, "( " + from.text + ") AND ( " + to.text + ")", out)) return rc;
  out->boundCols = from.params;
  out->boundCols.insert(out->boundCols.end(), to.params.begin(), to.params.end());
  out->lowerMarkers = static_cast<uint32_t>(from.params.size());
  return 0;
}

int KS_BuildSeekSelect(SCR_SQLINFO* info, const KS_CURSOR& ks,
                       const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                       SCR_BUILT* out, uint16_t sortColumns) {
  std::string list;
  if (int rc = KS_SeekList(ks, order, id, sortColumns, &list, nullptr)) return rc;
  return Edit(info, SCR_ReplaceSelectList, list, out);
}

int KS_BuildSeekWhere(SCR_SQLINFO* info, const KS_CURSOR& ks,
                      const std::vector<SCR_ORDERITEM>& order, const SCR_IDENTS& id,
                      uint16_t orientation, uint16_t mode, uint32_t nullCollation,
                      const std::vector<bool>& nullBound, SCR_BUILT* out, uint16_t sortColumns) {
  if (orientation != SQL_FETCH_NEXT && orientation != SQL_FETCH_PRIOR) return ERR_GENERAL;
  if (info == nullptr || info->tree == nullptr || out == nullptr) return ERR_GENERAL;
  std::vector<SeekCol> cols;
  if (!SeekColumns(ks, order, id, sortColumns, &cols) || cols.empty()) return ERR_GENERAL;
  const bool inclusive = mode == 2 || mode == 3;
  // Only the term that matches the whole bound row takes it in: on an
  // earlier column, >= would also take the rows that tie there but lie on
  // the other side of the bound row.
  const SeekCond cond =
      SeekCondition(cols, orientation, inclusive ? LastTerm : NoTerm, nullCollation, nullBound);
  if (int rc = AppendCondition(info, cond.text, out)) return rc;
  out->boundCols = cond.params;
  out->boundRow =
      static_cast<uint16_t>((orientation == SQL_FETCH_NEXT) != (mode == 1 || mode == 3));
  return 0;
}
