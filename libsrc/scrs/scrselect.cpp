// The select list and ORDER BY of a scrollable SELECT tied to the columns
// of its tables, the select list's wildcards written out, the column
// attributes answered from it, and the fall-back to a static cursor.
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-records.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "util/errcodes.h"
#include "util/garray.h"
#include "util/log.h"
#include "util/odbc_own.h"

namespace {

constexpr const char* kSrc = "sc_s";

template <typename T>
int TakeArray(GROW_ARRAY* arr, std::vector<T>* out) {
  for (uint32_t i = 0; i < arr->count; ++i) out->push_back(*static_cast<T*>(ARR_Item(arr, i)));
  return 0;
}

const SCR_TABLE* TableOfItem(const SCR_ANALYSIS& a, const std::string& written) {
  const std::string raw = SCR_RawIdent(written, a.idents);
  for (const SCR_TABLE& t : a.tables)
    if (!t.alias.empty() && t.alias == raw) return &t;
  for (const SCR_TABLE& t : a.tables)
    if (t.alias.empty() && t.table == raw) return &t;
  return nullptr;
}

size_t IndexOf(const SCR_ANALYSIS& a, const SCR_TABLE* t) {
  return static_cast<size_t>(t - a.tables.data());
}

bool SameColumn(const SCR_COLDESC& x, const SCR_COLDESC& y) {
  return std::strcmp(x.name, y.name) == 0 && std::strcmp(x.table, y.table) == 0 &&
         std::strcmp(x.owner, y.owner) == 0 && std::strcmp(x.qualifier, y.qualifier) == 0;
}

void Raw(char* field, const SCR_IDENTS& id) {
  if (field[0] != '\0') SCR_SetName(field, SCR_RawIdent(field, id));
}

int SetOption(SCR_CURSOR* cur, uint32_t option, uint32_t value) {
  return static_cast<int>(SCR_Agent().DRV_SetOption(cur->stmtHandle, option, &value));
}

}  // namespace

int scs_p_SelectColsGet(SCR_CURSOR* cur, SCR_SQLINFO* info, std::vector<SCR_COLDESC>* out,
                        std::vector<SCR_COLDESC>* unexpanded) {
  SCR_ANALYSIS& a = *cur->analysis;
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_COLDESC));
  if (arr == nullptr) return ERR_NO_MEMORY;
  int rc = SCR_ExpandSelectList(info, arr);
  std::vector<SCR_COLDESC> items;
  TakeArray(arr, &items);
  ARR_Free(&arr, nullptr);
  if (rc != 0) return rc;
  for (const SCR_COLDESC& item : items) {
    if (item.kind == SCR_COL_ALL) {
      rc = scs_p_GetTblColDescs(cur, a.tables, 0, a.tables.size(), false, out);
    } else if (item.kind == SCR_COL_TABLE_ALL) {
      const SCR_TABLE* t = TableOfItem(a, item.table);
      if (t == nullptr) {
        log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__,
                    "scs_p_SelectColsGet: Unable to find descriptor for table/alias %s",
                    item.table);
        return ERR_GENERAL;
      }
      rc = scs_p_GetTblColDescs(cur, a.tables, IndexOf(a, t), 1, false, out);
    } else if (item.kind == SCR_COL_EXPR || item.kind == SCR_COL_COLUMN) {
      out->push_back(item);
    } else {
      return ERR_GENERAL;
    }
    if (rc != 0) {
      log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "scs_p_SelectColsGet failed");
      return rc;
    }
  }
  if (unexpanded != nullptr) *unexpanded = items;
  return 0;
}

void scs_p_SelectColComplete(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  for (SCR_COLDESC& item : a.selectCols) {
    if (item.kind != SCR_COL_COLUMN || item.sqlType != 0 || item.columnSize != 0) continue;
    Raw(item.name, a.idents);
    Raw(item.table, a.idents);
    Raw(item.owner, a.idents);
    for (const SCR_COLDESC& c : a.tableCols) {
      if (std::strcmp(c.name, item.name) != 0) continue;
      const bool anyTable = a.tables.size() < 2 || item.table[0] == '\0';
      if (!anyTable && std::strcmp(item.table, c.table) != 0 &&
          !(c.alias[0] != '\0' && std::strcmp(item.table, c.alias) == 0))
        continue;
      item = c;
      break;
    }
  }
}

int scs_p_SelListAddKeysnXpandWC(SCR_CURSOR* cur, SCR_SQLINFO* info,
                                 const std::vector<SCR_COLDESC>& unexpanded, bool* rewritten) {
  SCR_ANALYSIS& a = *cur->analysis;
  *rewritten = false;
  bool star = false, wildcard = false;
  for (const SCR_COLDESC& item : unexpanded) {
    if (item.kind == SCR_COL_TABLE_ALL) wildcard = true;
    if (item.kind == SCR_COL_ALL) {
      star = wildcard = true;
      break;
    }
  }
  std::vector<SCR_COLDESC> missing;
  if (a.addKeys != 0 && !star) {
    for (const SCR_COLDESC& k : a.ks.keys) {
      bool have = false;
      for (const SCR_COLDESC& s : a.selectCols) have = have || SameColumn(s, k);
      if (!have) missing.push_back(k);
    }
  }
  if (missing.empty() && !wildcard) return 0;
  const uint8_t tables = static_cast<uint8_t>(a.tables.size());
  std::string list;
  for (const SCR_COLDESC& item : a.selectCols) {
    if (!list.empty()) list += ", ";
    if (item.kind == SCR_COL_EXPR)
      list += item.name;
    else if (!SCR_QualifiedColName(tables, item, a.idents, &list))
      return ERR_GENERAL;
  }
  for (const SCR_COLDESC& k : missing) {
    list += ", ";
    if (!SCR_QualifiedColName(tables, k, a.idents, &list)) return ERR_GENERAL;
    a.selectCols.push_back(k);
  }
  const std::string before = info->tree != nullptr && info->tree->text ? info->tree->text : "";
  if (int rc = SCR_ReplaceSelectList(info)) return rc;
  SCR_BUILT built;
  if (int rc = SCR_SpliceAtMark(before, info->tree->text, list, &built)) return rc;
  a.text = built.text;
  *rewritten = true;
  return 0;
}

int scs_p_OrderByGet(SCR_CURSOR* cur, SCR_SQLINFO* info) {
  SCR_ANALYSIS& a = *cur->analysis;
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_ORDERITEM));
  if (arr == nullptr) return ERR_NO_MEMORY;
  int rc = SCR_ResolveOrderBy(info, arr);
  a.orderBy.clear();
  TakeArray(arr, &a.orderBy);
  ARR_Free(&arr, nullptr);
  if (rc != 0) return rc;
  a.flags |= info->flags;
  const uint8_t tables = static_cast<uint8_t>(a.tables.size());
  for (SCR_ORDERITEM& item : a.orderBy) {
    if (item.position == 0) {
      Raw(item.name, a.idents);
      const SCR_TABLE* t = item.table[0] != '\0' ? TableOfItem(a, item.table) : nullptr;
      if (t != nullptr) {
        SCR_SetName(item.alias, t->alias);
        SCR_SetName(item.table, t->table);
        SCR_SetName(item.owner, t->owner);
      } else {
        Raw(item.table, a.idents);
        Raw(item.owner, a.idents);
      }
      continue;
    }
    if (item.position > a.selectCols.size()) return ERR_SYNTAX_OR_ACCESS;
    const SCR_COLDESC& c = a.selectCols[item.position - 1];
    if (c.kind != SCR_COL_COLUMN) return ERR_EXPRESSION_ORDERING;
    std::string text;
    if (!SCR_QualifiedColName(tables, c, a.idents, &text) || text.size() >= SCR_ITEMTEXT_SIZE)
      return ERR_GENERAL;
    std::memcpy(item.text, text.c_str(), text.size() + 1);
    std::memcpy(item.name, c.name, SCR_NAME_SIZE);
    std::memcpy(item.table, c.table, SCR_NAME_SIZE);
    std::memcpy(item.alias, c.alias, SCR_NAME_SIZE);
    std::memcpy(item.owner, c.owner, SCR_NAME_SIZE);
    std::memcpy(item.qualifier, c.qualifier, SCR_NAME_SIZE);
    item.sqlType = static_cast<uint16_t>(c.sqlType);
    item.columnSize = c.columnSize;
    item.decimalDigits = c.decimalDigits;
  }
  return 0;
}

void scs_p_MarkOrderedKeys(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  for (SCR_COLDESC& k : a.ks.keys) {
    k.mark = 0;
    for (size_t i = 0; i < a.orderBy.size() && k.mark == 0; ++i) {
      const SCR_ORDERITEM& o = a.orderBy[i];
      if (std::strcmp(o.name, k.name) != 0) continue;
      if (o.table[0] != '\0' && std::strcmp(o.table, k.table) != 0) continue;
      if (o.owner[0] != '\0' && std::strcmp(o.owner, k.owner) != 0) continue;
      k.mark = static_cast<uint8_t>(i + 1);
    }
  }
}

int scs_p_ChangeCursorType(SCR_CURSOR* cur) {
  cur->cursorTypeRequested = cur->cursorType;
  cur->concurrencyRequested = cur->concurrency;
  if (cur->cursorType != SQL_CURSOR_FORWARD_ONLY && cur->cursorType != SQL_CURSOR_STATIC) {
    if (SetOption(cur, OPT_CURSOR_TYPE, SQL_CURSOR_STATIC) != 0) {
      log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__,
                  "scs_p_ChangeCursorType: Couldn't switch to static cursor");
      return ERR_NOT_CAPABLE;
    }
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__,
                "scs_p_ChangeCursorType: Switched to static cursor");
    cur->cursorType = SQL_CURSOR_STATIC;
    cur->flags |= SCR_FLAG_OPTIONS_CHANGED;
  }
  if (cur->concurrency != SQL_CONCUR_READ_ONLY) {
    if (SetOption(cur, OPT_CONCURRENCY, SQL_CONCUR_READ_ONLY) != 0) {
      log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__,
                  "scs_p_ChangeCursorType: Couldn't switch to read-only concurrency");
      return ERR_NOT_CAPABLE;
    }
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__,
                "scs_p_ChangeCursorType: Switched to read-only concurrency");
    cur->concurrency = SQL_CONCUR_READ_ONLY;
    cur->flags |= SCR_FLAG_OPTIONS_CHANGED;
  }
  return 0;
}

int SCR_AdjustColDesc(JdbcStmt* stmt, uint32_t column, JdbcColDesc* desc, uint16_t mask,
                      uint16_t stride, uint16_t count, ATTR_ENTRY* attrs) {
  const auto* cur = stmt != nullptr ? static_cast<SCR_CURSOR*>(stmt->scrCursor) : nullptr;
  const SCR_ANALYSIS* a = cur != nullptr ? cur->analysis : nullptr;
  if (a == nullptr || !a->selectList || column == 0 || column > a->selectCols.size()) return 0;
  const SCR_COLDESC& item = a->selectCols[column - 1];
  if (desc != nullptr && item.kind == SCR_COL_COLUMN) {
    const std::pair<unsigned, const char*> texts[] = {{COLDESC_TABLE, item.table},
                                                      {COLDESC_SCHEMA, item.owner},
                                                      {COLDESC_CATALOG, item.qualifier}};
    for (const auto& [index, text] : texts) {
      if ((mask & (1u << index)) == 0 || text[0] == '\0') continue;
      if (char* copy = strdup(text)) {
        std::free(desc->texts[index]);
        desc->texts[index] = copy;
      }
    }
  }
  if (attrs == nullptr) return 0;
  bool key = false;
  for (const SCR_COLDESC& k : a->ks.keys) key = key || SameColumn(k, item);
  for (uint16_t i = 0; i < count; ++i) {
    ATTR_ENTRY& e = attrs[static_cast<size_t>(i) * stride + column];
    if (e.field == -QMR_DESC_KEY_COLUMN) {
      e.value.u32 = key ? 1 : 0;
      e.field = QMR_DESC_KEY_COLUMN;
    } else if (e.field == -QMR_DESC_EXPRESSION) {
      e.value.u32 = item.kind == SCR_COL_EXPR ? 1 : 0;
      e.field = QMR_DESC_EXPRESSION;
    }
  }
  return 0;
}
