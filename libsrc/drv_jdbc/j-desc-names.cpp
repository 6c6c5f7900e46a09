// The names result columns have in their tables, read from the statement's
// text for a JDBC driver whose getColumnName answers the column's label
// (Derby's: `v AS vv` answers VV).
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "drv_jdbc/j-exec.h"
#include "sqlan/ptree.h"
#include "sqlan/sqlanalyse.h"
#include "sqlan/sqlnodes.h"
#include "util/garray.h"

namespace {

// A column name as written, as the database stores it: a delimited name
// without its quotes, a plain one in capitals. Empty where that is not sure
// (a plain name beyond ASCII, whose folding is the database's own).
std::string Stored(const std::string& written) {
  std::string out;
  if (written.size() >= 2 && written.front() == '"' && written.back() == '"') {
    for (size_t i = 1; i + 1 < written.size(); ++i) {
      if (written[i] == '"' && (i + 2 >= written.size() || written[++i] != '"')) return "";
      out += written[i];
    }
    return out;
  }
  for (char ch : written) {
    const auto u = static_cast<unsigned char>(ch);
    if (!(std::isalnum(u) != 0 || ch == '_') || u >= 0x80) return "";
    out += static_cast<char>(std::toupper(u));
  }
  return out;
}

template <class T>
std::vector<T> Items(GROW_ARRAY* arr) {
  std::vector<T> out;
  for (uint32_t i = 0; i < arr->count; ++i) out.push_back(*static_cast<T*>(ARR_Item(arr, i)));
  return out;
}

// Whether a FROM list of the statement holds a query of its own (a derived
// table, whose columns its select list may rename).
bool QueryInFrom(PT_NODE* tree) {
  GROW_ARRAY* lists = ARR_New(sizeof(PT_NODE*));
  if (lists == nullptr) return true;
  PT_CollectUnder(SQLN_TABLE_LIST, tree, lists);
  bool found = false;
  for (PT_NODE* list : Items<PT_NODE*>(lists))
    found = found || (list->child != nullptr && PT_Find(list->child, SQLN_TABLE_LIST) != nullptr);
  ARR_Free(&lists, nullptr);
  return found;
}

enum class Read { kItems, kRenamed, kUnread };

// The outer select list of a query over named tables only. kRenamed where
// the text shows that a derived table or a union may rename what it
// selects; kUnread where the analyser cannot read the text, which leaves
// the JDBC driver's names as they were.
Read SelectItems(const JdbcStmt* s, std::vector<SCR_COLDESC>* items) {
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  info.forms = s->conn != nullptr ? s->conn->sqlForms : 0;
  Read read = Read::kUnread;
  if (s->sql != nullptr && SCR_AnalyseSQL(&info, s->sql, 0, 0) == SCR_SQL_OK &&
      info.kind == SCR_KIND_SELECT) {
    read = ((info.flags & SCR_SQL_UNION) != 0 || QueryInFrom(info.tree)) ? Read::kRenamed
                                                                         : Read::kItems;
  }
  if (read == Read::kItems) {
    GROW_ARRAY* tables = ARR_New(sizeof(SCR_TABLEREF));
    if (tables == nullptr || SCR_TablesGet(&info, tables, 0) != SCR_SQL_OK) read = Read::kUnread;
    ARR_Free(&tables, SCR_FreeTableItem);
  }
  if (read == Read::kItems) {
    GROW_ARRAY* cols = ARR_New(sizeof(SCR_COLDESC));
    if (cols != nullptr && SCR_ExpandSelectList(&info, cols) == SCR_SQL_OK)
      *items = Items<SCR_COLDESC>(cols);
    else
      read = Read::kUnread;
    ARR_Free(&cols, nullptr);
  }
  SCR_FreeSQLInfo(&info);
  return read;
}

bool Star(const SCR_COLDESC& c) { return c.kind == SCR_COL_ALL || c.kind == SCR_COL_TABLE_ALL; }

}  // namespace

namespace jexec {

std::vector<std::optional<std::string>> NamesFromText(const JdbcStmt* s, uint16_t n) {
  std::vector<std::optional<std::string>> out(n, std::string());
  std::vector<SCR_COLDESC> items;
  switch (SelectItems(s, &items)) {
    case Read::kItems: break;
    case Read::kRenamed: return out;
    case Read::kUnread: return std::vector<std::optional<std::string>>(n);
  }
  size_t first = items.size(), last = 0, stars = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!Star(items[i])) continue;
    ++stars;
    first = std::min(first, i);
    last = i;
  }
  if (stars == 0 && items.size() != n) return out;
  if (stars > 0 && items.size() - stars > n) return out;
  // Items before the first star and after the last one sit at known
  // columns; between them only one star's columns, which have no alias.
  const size_t tail = stars == 0 ? 0 : items.size() - 1 - last;
  auto fill = [&](size_t column, const SCR_COLDESC& item) {
    if (item.kind == SCR_COL_COLUMN) out[column] = Stored(item.name);
  };
  const size_t head = stars == 0 ? items.size() : first;
  for (size_t i = 0; i < head; ++i) fill(i, items[i]);
  for (size_t k = 0; k < tail; ++k) fill(n - tail + k, items[last + 1 + k]);
  if (stars == 1)
    for (size_t c = head; c < n - tail; ++c) out[c] = std::nullopt;
  return out;
}

}  // namespace jexec
