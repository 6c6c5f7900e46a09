#include "sqlan/sqlanalyse.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sqlan/sqlparse.h"
#include "sqlan/sqltmpl.h"
#include "util/utalloc.h"

namespace {

// ---- locating the parts of the outer query by position ----

PT_NODE* childOfType(PT_NODE* node, uint32_t type) {
  if (!node) return nullptr;
  for (PT_NODE* c = node->child; c; c = c->next)
    if (c->type == type) return c;
  return nullptr;
}

PT_NODE* outerQuery(const SCR_SQLINFO* info) {
  if (!info || !info->tree || info->tree->type != SCR_KIND_SELECT) return nullptr;
  return childOfType(info->tree, SQLN_QUERY);
}

PT_NODE* queryTail(PT_NODE* query) { return childOfType(query, SQLN_QUERY_TAIL); }

bool present(const PT_NODE* holder) { return holder && holder->tmpl && holder->nchild > 0; }

// The holder of the ORDER BY that orders the statement's rows: it ends the
// tail of the last query of a UNION chain; the statement-level holder is
// taken when it is the one that holds a clause.
PT_NODE* orderByHolder(const SCR_SQLINFO* info) {
  PT_NODE* q = outerQuery(info);
  PT_NODE* holder = nullptr;
  while (q) {
    PT_NODE* tail = queryTail(q);
    if (!tail) return nullptr;
    holder = childOfType(tail, SQLN_ORDER_BY_OPT);
    PT_NODE* u = childOfType(tail, SQLN_UNION_OPT);
    if (!present(u)) break;
    q = childOfType(childOfType(u, SQLN_UNION), SQLN_QUERY);
  }
  PT_NODE* stmtLevel = childOfType(info ? info->tree : nullptr, SQLN_ORDER_BY_OPT);
  if (!present(holder) && present(stmtLevel)) return stmtLevel;
  return holder;
}

PT_NODE* tailPart(const SCR_SQLINFO* info, uint32_t type) {
  return childOfType(queryTail(outerQuery(info)), type);
}

// Every node of the type strictly below node, in pre-order, not entering
// nodes of the type `skip`.
std::vector<PT_NODE*> collectBelow(PT_NODE* node, uint32_t type, uint32_t skip) {
  std::vector<PT_NODE*> out;
  if (!node || !node->child) return out;
  std::vector<PT_NODE*> st{node->child};
  while (!st.empty()) {
    PT_NODE* n = st.back();
    st.pop_back();
    if (n->next) st.push_back(n->next);
    if (n->type == skip) continue;
    if (n->type == type) out.push_back(n);
    if (n->child) st.push_back(n->child);
  }
  return out;
}

// First node of the type from node on (its subtree and later siblings),
// not entering nodes of the type `skip`.
PT_NODE* findOutside(PT_NODE* node, uint32_t type, uint32_t skip) {
  if (!node) return nullptr;
  std::vector<PT_NODE*> st{node};
  while (!st.empty()) {
    PT_NODE* n = st.back();
    st.pop_back();
    if (n->type == type) return n;
    if (n->next) st.push_back(n->next);
    if (n->type != skip && n->child) st.push_back(n->child);
  }
  return nullptr;
}

// ---- copying into fixed fields: a text that does not fit is refused ----

bool fits(const char* s, size_t n, size_t field) {
  return s && n < field && std::memchr(s, 0, n) == nullptr;
}

bool copyField(char* field, size_t size, const char* s, size_t n) {
  if (!fits(s, n, size) && n != 0) return false;
  if (n) std::memcpy(field, s, n);
  field[n] = 0;
  return true;
}

bool copyField(char* field, size_t size, const char* s) {
  return copyField(field, size, s, s ? std::strlen(s) : 0);
}

char* dupn(const char* s, size_t n) {
  char* d = static_cast<char*>(s_alloc(n + 1, 1));
  std::memcpy(d, s, n);
  d[n] = 0;
  return d;
}

int regenerate(SCR_SQLINFO* info) { return PT_ToText(info->tree) ? SCR_SQL_OK : SCR_SQL_NOMEM; }

bool parsePosition(const char* text, uint8_t* pos) {
  if (!text || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  unsigned v = 0;
  for (const char* p = text; *p; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    v = v * 10 + unsigned(*p - '0');
    if (v > 255) return false;  // positions are kept in 8 bits
  }
  if (v == 0) return false;
  *pos = uint8_t(v);
  return true;
}

// ---- the passes of SCR_AnalyseSQL ----

void setFlag(SCR_SQLINFO* info, uint16_t flag, bool on) {
  if (on)
    info->flags |= flag;
  else
    info->flags &= uint16_t(~flag);
}

int orderByFlag(SCR_SQLINFO* info) {
  PT_NODE* holder = orderByHolder(info);
  if (!holder) return SCR_SQL_MISSING;
  setFlag(info, SCR_SQL_ORDERBY, present(holder));
  return SCR_SQL_OK;
}

int holderFlag(SCR_SQLINFO* info, uint32_t type, uint16_t flag) {
  PT_NODE* holder = tailPart(info, type);
  if (!holder) return SCR_SQL_MISSING;
  setFlag(info, flag, present(holder));
  return SCR_SQL_OK;
}

int tableCountFlag(SCR_SQLINFO* info, uint32_t noQualifier) {
  GROW_ARRAY* tables = ARR_New(sizeof(SCR_TABLEREF));
  if (!tables) return SCR_SQL_NOMEM;
  int rc = SCR_TablesGet(info, tables, noQualifier);
  setFlag(info, SCR_SQL_MULTITABLE, tables->count >= 2);
  ARR_Free(&tables, SCR_FreeTableItem);
  return rc;
}

// Splits a table name's text into qualifier, owner and table.
void splitTableName(const std::string& name, std::string* qual, std::string* owner,
                    std::string* table) {
  qual->clear();
  owner->clear();
  table->clear();
  size_t colon = name.find(':');
  size_t at = name.find('@');
  if (colon != std::string::npos) {
    // db:table, db:owner.table and their db@server forms: the part before
    // the colon is the database.
    *qual = name.substr(0, colon);
    std::string rest = name.substr(colon + 1);
    size_t dot = rest.find('.');
    if (dot == std::string::npos) {
      *table = rest;
    } else {
      *owner = rest.substr(0, dot);
      *table = rest.substr(dot + 1);
    }
  } else if (at != std::string::npos && at > 0 &&
             name.find_first_not_of("0123456789", at + 1) != std::string::npos) {
    // table@database, owner.table@database: the database is dropped.
    std::string before = name.substr(0, at);
    size_t dot = before.find('.');
    if (dot == std::string::npos) {
      *table = before;
    } else {
      *owner = before.substr(0, dot);
      *table = before.substr(dot + 1);
    }
  } else if (name.find('.') != std::string::npos) {
    size_t last = name.rfind('.');
    *table = name.substr(last + 1);
    std::string before = name.substr(0, last);
    size_t dot = before.find('.');
    if (dot != std::string::npos) {
      *qual = before.substr(0, dot);
      *owner = before.substr(dot + 1);
    } else {
      *owner = before;
    }
  } else {
    *table = name;
  }
}

int tableItemGet(PT_NODE* ref, GROW_ARRAY* tables, uint32_t noQualifier) {
  PT_NODE* corr = childOfType(ref, SQLN_CORRELATION_NAME);
  PT_NODE* name = childOfType(ref, SQLN_TABLE_NAME);
  if (!name || !name->text) return SCR_SQL_MISSING;
  std::string qual, owner, table;
  splitTableName(name->text, &qual, &owner, &table);
  if (!noQualifier) qual.clear();
  const char* alias = corr && corr->text ? corr->text : "";
  SCR_TABLEREF item;
  item.qualifier = dupn(qual.data(), qual.size());
  item.owner = dupn(owner.data(), owner.size());
  item.table = dupn(table.data(), table.size());
  item.alias = dupn(alias, std::strlen(alias));
  if (!ARR_Append(tables, &item)) {
    SCR_FreeTableItem(&item);
    return SCR_SQL_NOMEM;
  }
  return SCR_SQL_OK;
}

// A select item that is nothing but a column reference: each level holds
// exactly its one child under the plain template "$1".
PT_NODE* plainColumnRef(PT_NODE* item) {
  static const char kPlain[] = "\xFF\x01\x01";
  PT_NODE* n = item->child;
  const uint32_t chain[] = {SQLN_EXPRESSION, SQLN_TERM, SQLN_FACTOR, SQLN_PRIMARY};
  for (uint32_t type : chain) {
    if (!n || n->type != type || n->nchild != 1 || !n->tmpl || std::strcmp(n->tmpl, kPlain) != 0)
      return nullptr;
    n = n->child;
  }
  return (n && n->type == SQLN_COLUMN_REF) ? n : nullptr;
}

}  // namespace

void SCR_InitSQLInfo(SCR_SQLINFO* info) {
  if (!info) return;
  std::memset(info, 0, sizeof *info);
  info->kind = SCR_KIND_NONE;
}

void SCR_FreeSQLInfo(SCR_SQLINFO* info) {
  if (!info) return;
  std::free(info->text);
  std::free(info->result);
  std::free(info->errmsg);
  info->text = info->result = info->errmsg = nullptr;
  PT_Free(&info->tree, PT_FreeNode);
  info->kind = SCR_KIND_NONE;
  info->flags = 0;
}

int SCR_AnalyseSQL(SCR_SQLINFO* info, const char* text, uint32_t parseOnly, uint32_t noQualifier) {
  if (!info) return SCR_SQL_MISSING;
  if (!text) text = "";
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\v' || *text == '\f' ||
         *text == '\r')
    ++text;
  SCR_FreeSQLInfo(info);
  info->text = s_strdup(text);
  info->kind = 0;

  std::string errText, errMsg;
  PT_NODE* root = nullptr;
  int rc = SCR_ParseText(info->text, &root, &errText, &errMsg, info->forms);
  info->tree = root;
  if (!errText.empty() || !errMsg.empty()) {
    info->result = s_strdup(errText.c_str());
    info->errmsg = s_strdup(errMsg.c_str());
  }
  if (rc != 0) return SCR_SQL_SYNTAX;

  info->kind = root->type;
  if (!PT_ToText(root)) return SCR_SQL_NOMEM;
  if (parseOnly || info->kind != SCR_KIND_SELECT) return SCR_SQL_OK;

  if ((rc = orderByFlag(info)) != 0) return rc;
  if ((rc = holderFlag(info, SQLN_GROUP_BY_OPT, SCR_SQL_GROUPBY)) != 0) return rc;
  if ((rc = holderFlag(info, SQLN_UNION_OPT, SCR_SQL_UNION)) != 0) return rc;
  if ((rc = tableCountFlag(info, noQualifier)) != 0) return rc;
  // Aggregates of the query itself and of its ORDER BY; those of sub-selects
  // say nothing about the rows of this one.
  setFlag(info, SCR_SQL_AGGREGATE,
          findOutside(outerQuery(info), SQLN_AGGREGATE, SQLN_SUBQUERY) != nullptr);
  setFlag(info, SCR_SQL_OUTERJOIN, PT_Find(info->tree, SQLN_OUTER_JOIN_SIDE) != nullptr);
  const PT_NODE* forUpdate = childOfType(info->tree, SQLN_FOR_UPDATE_OPT);
  setFlag(info, SCR_SQL_FOR_UPDATE,
          forUpdate != nullptr && forUpdate->text != nullptr && forUpdate->text[0] != '\0');
  return SCR_SQL_OK;
}

void SCR_FreeTableItem(void* item) {
  SCR_TABLEREF* t = static_cast<SCR_TABLEREF*>(item);
  if (!t) return;
  std::free(t->qualifier);
  std::free(t->owner);
  std::free(t->table);
  std::free(t->alias);
  t->qualifier = t->owner = t->table = t->alias = nullptr;
}

int SCR_TablesGet(SCR_SQLINFO* info, GROW_ARRAY* tables, uint32_t noQualifier) {
  if (!tables) return SCR_SQL_MISSING;
  PT_NODE* tail = queryTail(outerQuery(info));
  if (!tail) return SCR_SQL_MISSING;
  PT_NODE* list = childOfType(tail, SQLN_TABLE_LIST);
  if (!list) return SCR_SQL_OK;  // no FROM clause
  std::vector<PT_NODE*> refs = collectBelow(list, SQLN_TABLE_REF, UINT32_MAX);
  if (refs.empty()) return SCR_SQL_MISSING;
  for (PT_NODE* ref : refs) {
    int rc = tableItemGet(ref, tables, noQualifier);
    if (rc) return rc;
  }
  return SCR_SQL_OK;
}

int SCR_SplitColumnName(PT_NODE* node, SCR_COLDESC* col) {
  if (!node || !col || !node->text) return SCR_SQL_MISSING;
  const char* t = node->text;
  const char* d1 = std::strchr(t, '.');
  const char* d2 = d1 ? std::strchr(d1 + 1, '.') : nullptr;
  const char *owner = "", *table = "", *column = t;
  size_t ownerLen = 0, tableLen = 0, columnLen = std::strlen(t);
  if (d2) {
    owner = t;
    ownerLen = size_t(d1 - t);
    table = d1 + 1;
    tableLen = size_t(d2 - d1 - 1);
    column = d2 + 1;
  } else if (d1) {
    table = t;
    tableLen = size_t(d1 - t);
    column = d1 + 1;
  }
  columnLen = std::strlen(column);
  if (ownerLen >= SCR_NAME_SIZE || tableLen >= SCR_NAME_SIZE || columnLen >= SCR_NAME_SIZE)
    return SCR_SQL_MISSING;
  copyField(col->owner, SCR_NAME_SIZE, owner, ownerLen);
  copyField(col->table, SCR_NAME_SIZE, table, tableLen);
  copyField(col->name, SCR_NAME_SIZE, column, columnLen);
  col->alias[0] = 0;
  col->qualifier[0] = 0;
  return SCR_SQL_OK;
}

int SCR_ExpandSelectList(SCR_SQLINFO* info, GROW_ARRAY* columns) {
  if (!columns) return SCR_SQL_MISSING;
  PT_NODE* list = childOfType(outerQuery(info), SQLN_SELECT_LIST);
  if (!list) return SCR_SQL_MISSING;
  if (list->nchild == 0 && list->text && std::strcmp(list->text, "*") == 0) {
    SCR_COLDESC col{};
    col.kind = SCR_COL_ALL;
    return ARR_Append(columns, &col) ? SCR_SQL_OK : SCR_SQL_NOMEM;
  }
  // Sub-selects in the list have select items of their own; they are not
  // columns of this result.
  std::vector<PT_NODE*> items = collectBelow(list, SQLN_SELECT_ITEM, SQLN_SUBQUERY);
  if (items.empty()) return SCR_SQL_MISSING;
  for (PT_NODE* item : items) {
    SCR_COLDESC col{};
    PT_NODE* first = item->child;
    if (first && first->type == SQLN_TABLE_NAME) {
      if (!copyField(col.table, SCR_NAME_SIZE, first->text)) return SCR_SQL_MISSING;
      col.kind = SCR_COL_TABLE_ALL;
    } else {
      if (!first || first->type != SQLN_EXPRESSION) return SCR_SQL_MISSING;
      if (!copyField(col.name, SCR_NAME_SIZE, item->text)) return SCR_SQL_MISSING;
      col.kind = SCR_COL_EXPR;
      if (PT_NODE* ref = plainColumnRef(item)) {
        if (SCR_SplitColumnName(ref, &col) != 0) return SCR_SQL_MISSING;
        col.kind = SCR_COL_COLUMN;
      }
    }
    if (!ARR_Append(columns, &col)) return SCR_SQL_NOMEM;
  }
  return SCR_SQL_OK;
}

int SCR_ResolveOrderBy(SCR_SQLINFO* info, GROW_ARRAY* items) {
  if (!items) return SCR_SQL_MISSING;
  PT_NODE* holder = orderByHolder(info);
  if (!holder) return SCR_SQL_MISSING;
  std::vector<PT_NODE*> list = collectBelow(holder, SQLN_ORDER_ITEM, SQLN_SUBQUERY);
  if (list.empty()) return SCR_SQL_MISSING;
  for (PT_NODE* n : list) {
    SCR_ORDERITEM item{};
    PT_NODE* dir = childOfType(n, SQLN_DIRECTION_OPT);
    if (!dir) return SCR_SQL_MISSING;
    item.descending = (dir->text && std::strstr(dir->text, "DESC")) ? 1 : 0;
    if (PT_NODE* pos = childOfType(n, SQLN_INTEGER)) {
      if (!parsePosition(pos->text, &item.position)) return SCR_SQL_MISSING;
      info->flags |= SCR_SQL_ORDERBY_POS;
    } else {
      PT_NODE* ref = childOfType(n, SQLN_COLUMN_REF);
      if (!ref || !copyField(item.text, SCR_ITEMTEXT_SIZE, ref->text)) return SCR_SQL_MISSING;
      SCR_COLDESC col{};
      if (SCR_SplitColumnName(ref, &col) != 0) return SCR_SQL_MISSING;
      std::memcpy(item.name, col.name, SCR_NAME_SIZE);
      std::memcpy(item.table, col.table, SCR_NAME_SIZE);
      std::memcpy(item.owner, col.owner, SCR_NAME_SIZE);
    }
    if (!ARR_Append(items, &item)) return SCR_SQL_NOMEM;
  }
  return SCR_SQL_OK;
}

int SCR_SelectColumns(SCR_SQLINFO* info, GROW_ARRAY* items) {
  if (!items) return SCR_SQL_MISSING;
  if (items->count == 0) return SCR_SQL_OK;
  PT_NODE* clause = childOfType(orderByHolder(info), SQLN_ORDER_BY);
  if (!clause) return SCR_SQL_MISSING;
  for (PT_NODE* n : collectBelow(clause, SQLN_INTEGER, SQLN_SUBQUERY)) {
    uint8_t pos = 0;
    if (!parsePosition(n->text, &pos)) return SCR_SQL_MISSING;
    const SCR_ORDERITEM* match = nullptr;
    for (uint32_t i = 0; i < items->count && !match; ++i) {
      const SCR_ORDERITEM* it = static_cast<const SCR_ORDERITEM*>(ARR_Item(items, i));
      if (it->position == pos) match = it;
    }
    if (!match) return SCR_SQL_MISSING;
    if (!fits(match->text, std::strlen(match->text), SCR_ITEMTEXT_SIZE)) return SCR_SQL_MISSING;
    if (!PT_SetText(n, match->text)) return SCR_SQL_NOMEM;
  }
  return regenerate(info);
}

int SCR_OrderByKeys(SCR_SQLINFO* info, const char* nulls) {
  PT_NODE* holder = orderByHolder(info);
  if (!holder) return SCR_SQL_MISSING;
  std::vector<PT_NODE*> list = collectBelow(holder, SQLN_ORDER_ITEM, SQLN_SUBQUERY);
  for (PT_NODE* n : list) {
    PT_NODE* dir = childOfType(n, SQLN_DIRECTION_OPT);
    if (!dir) return SCR_SQL_MISSING;
    bool desc = dir->text && std::strstr(dir->text, "DESC");
    std::string text = desc ? "ASC" : "DESC";
    if (nulls != nullptr) text = text + " " + nulls;
    if (!PT_SetText(dir, desc && nulls == nullptr ? "" : text.c_str())) return SCR_SQL_NOMEM;
  }
  int rc = regenerate(info);
  if (rc) return rc;
  return list.empty() ? SCR_SQL_MISSING : SCR_SQL_OK;
}

int SCR_ReplaceSelectList(SCR_SQLINFO* info) {
  if (!info || !info->tree) return SCR_SQL_MISSING;
  PT_NODE* list = childOfType(outerQuery(info), SQLN_SELECT_LIST);
  if (!list) return SCR_SQL_MISSING;
  if (!PT_SetText(list, SCR_SQL_MARK)) return SCR_SQL_NOMEM;
  PT_SetTemplate(list, nullptr);
  list->nchild = 0;
  PT_Free(&list->child, PT_FreeNode);
  return regenerate(info);
}

int SCR_AppendWhere(SCR_SQLINFO* info) {
  PT_NODE* holder = tailPart(info, SQLN_WHERE_OPT);
  if (!holder) return SCR_SQL_MISSING;
  if (present(holder)) {
    info->flags |= SCR_SQL_WHERE;
    PT_NODE* where = childOfType(holder, SQLN_WHERE);
    if (!where) return SCR_SQL_MISSING;
    if (!PT_SetTemplate(where, SCR_TPL("WHERE " SCR_SQL_MARK " AND ($1)"))) return SCR_SQL_NOMEM;
  } else {
    info->flags &= uint16_t(~SCR_SQL_WHERE);
    if (!PT_SetText(holder, SCR_SQL_MARK)) return SCR_SQL_NOMEM;
  }
  return regenerate(info);
}

int SCR_AppendCondition(SCR_SQLINFO* info) {
  int rc = orderByFlag(info);
  if (rc) return rc;
  PT_NODE* holder = orderByHolder(info);
  if (info->flags & SCR_SQL_ORDERBY) {
    PT_NODE* clause = childOfType(holder, SQLN_ORDER_BY);
    if (!clause || !clause->tmpl) return SCR_SQL_MISSING;
    std::string t = std::string(clause->tmpl) + SCR_SQL_MARK;
    if (!PT_SetTemplate(clause, t.c_str())) return SCR_SQL_NOMEM;
  } else {
    if (!PT_SetText(holder, SCR_SQL_MARK)) return SCR_SQL_NOMEM;
  }
  return regenerate(info);
}
