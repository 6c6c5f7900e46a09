// Parameter description by SQL parse: which column or expression describes
// each marker, gathered per FROM list into probe queries.
#include "sqlan/pdescribe.h"

#include <cstring>
#include <deque>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "sqlan/sqlanalyse.h"
#include "sqlan/sqltmpl.h"

namespace {

using Nodes = std::vector<PT_NODE*>;

PT_NODE* ChildOfType(PT_NODE* n, uint32_t type) {
  for (PT_NODE* c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
    if (c->type == type) return c;
  return nullptr;
}

// Where a marker's value goes says nothing of its type: inside a function
// call, an aggregate or a CASE the marker is not compared with the operand's
// other side, and a subquery describes its own markers.
bool Opaque(uint32_t type) {
  switch (type) {
    case SQLN_SUBQUERY:
    case SQLN_FUNCTION_CALL:
    case SQLN_AGGREGATE:
    case SQLN_FUNCTION_ESCAPE:
    case SQLN_SIMPLE_CASE:
    case SQLN_SEARCHED_CASE: return true;
    default: return false;
  }
}

// Nodes of `type` in n's subtree (n included, its siblings not), in text
// order; with `skipOpaque` not entering the opaque nodes below n, with
// `skip` not entering nodes of that type below n.
Nodes Collect(PT_NODE* n, uint32_t type, bool skipOpaque, uint32_t skip = 0) {
  Nodes out;
  if (n == nullptr) return out;
  std::vector<PT_NODE*> st{n};
  while (!st.empty()) {
    PT_NODE* x = st.back();
    st.pop_back();
    if (x->type == type) out.push_back(x);
    if (x != n && ((skipOpaque && Opaque(x->type)) || (skip != 0 && x->type == skip))) continue;
    if (x->next != nullptr && x != n) st.push_back(x->next);
    if (x->child != nullptr) st.push_back(x->child);
  }
  return out;
}

bool HasMarker(PT_NODE* n) { return !Collect(n, SQLN_PARAM_MARKER, false).empty(); }

// The items of one FROM list: each describes the markers given with it.
struct Scope {
  PT_NODE* tables = nullptr;  // a FROM list or a single table name
  PT_NODE* extra = nullptr;   // an UPDATE's FROM list beside its target
  std::string qualifier;      // put before unqualified columns
  std::vector<std::pair<PT_NODE*, int32_t>> items;
};

class Builder {
 public:
  explicit Builder(PD_RECORD* r) : rec_(r) {
    for (PT_NODE* m : Collect(r->info.tree, SQLN_PARAM_MARKER, false)) {
      const auto at = static_cast<int32_t>(index_.size());
      index_[m] = at;
    }
    r->markerCount = static_cast<uint32_t>(index_.size());
  }

  void Statement(PT_NODE* root) {
    switch (root->type) {
      case SCR_KIND_SELECT: Queue(ChildOfType(root, SQLN_QUERY)); break;
      case SCR_KIND_DELETE: Delete(root); break;
      case SCR_KIND_INSERT: Insert(root); break;
      case SCR_KIND_UPDATE:
      case SCR_KIND_POS_UPDATE: Update(root); break;
      default: break;
    }
    // Query blocks and subqueries wait in a list rather than on the stack:
    // nesting depth is bounded only by the parser.
    for (size_t i = 0; i < pending_.size(); ++i) Block(pending_[i]);
  }

  void Probes() {
    std::vector<bool> taken(index_.size(), false);
    for (const Scope& s : scopes_) Probe(s, &taken);
  }

 private:
  Scope& ScopeOf(PT_NODE* tables) {
    for (Scope& s : scopes_)
      if (s.tables == tables) return s;
    scopes_.emplace_back();
    scopes_.back().tables = tables;
    return scopes_.back();
  }

  void Queue(PT_NODE* q) {
    if (q != nullptr) pending_.push_back(q);
  }

  // Every marker directly in `operand` is described by `by`.
  void Describe(PT_NODE* by, PT_NODE* operand, Scope* scope) {
    if (by == nullptr || scope == nullptr) return;
    for (PT_NODE* m : Collect(operand, SQLN_PARAM_MARKER, true))
      scope->items.emplace_back(by, index_[m]);
  }

  // A subquery's first select item describes what is compared with the
  // subquery, in the subquery's own scope.
  void DescribeBySubquery(PT_NODE* sub, PT_NODE* operand) {
    PT_NODE* list = ChildOfType(sub, SQLN_SELECT_LIST);
    PT_NODE* item = list != nullptr ? list->child : nullptr;
    while (item != nullptr && item->type == SQLN_SELECT_LIST)
      item = item->child;  // nested long list
    if (item == nullptr || item->type != SQLN_SELECT_ITEM || item->child == nullptr) return;
    Describe(item->child, operand, &ScopeOf(ChildOfType(sub, SQLN_TABLE_LIST)));
  }

  void Predicate(PT_NODE* pred, Scope* scope) {
    PT_NODE* form = pred->child;
    PT_NODE* a = form != nullptr ? form->child : nullptr;
    PT_NODE* b = a != nullptr ? a->next : nullptr;
    PT_NODE* c = b != nullptr ? b->next : nullptr;
    if (a == nullptr || b == nullptr) return;
    switch (form->type) {
      case SQLN_COMPARISON:  // a, operator, c
        if (c == nullptr) return;
        if (!HasMarker(a))
          Describe(a, c, scope);
        else if (!HasMarker(c))
          Describe(c, a, scope);
        return;
      case SQLN_BETWEEN: {
        if (c == nullptr) return;
        PT_NODE* by = !HasMarker(a) ? a : !HasMarker(b) ? b : !HasMarker(c) ? c : nullptr;
        for (PT_NODE* op : {a, b, c})
          if (op != by) Describe(by, op, scope);
        return;
      }
      case SQLN_LIKE:  // operand, pattern
        if (!HasMarker(a))
          Describe(a, b, scope);
        else if (!HasMarker(b))
          Describe(b, a, scope);
        return;
      case SQLN_IN:  // operand, subquery or value list
        if (b->type == SQLN_SUBQUERY) {
          DescribeBySubquery(b, a);
        } else if (!HasMarker(a)) {
          Describe(a, b, scope);
        } else {
          for (PT_NODE* v : Collect(b, SQLN_VALUE, false))
            if (!HasMarker(v)) return Describe(v, a, scope);
        }
        return;
      case SQLN_QUANTIFIED_COMPARISON: {  // operand, operator, quantifier, subquery
        PT_NODE* sub = c != nullptr ? c->next : nullptr;
        if (sub != nullptr && sub->type == SQLN_SUBQUERY) DescribeBySubquery(sub, a);
        return;
      }
      default: return;
    }
  }

  // The predicates of a condition, and its subqueries for later.
  void Condition(PT_NODE* cond, Scope* scope) {
    if (cond == nullptr) return;
    if (scope != nullptr)
      for (PT_NODE* p : Collect(cond, SQLN_PREDICATE, false, SQLN_SUBQUERY)) Predicate(p, scope);
    for (PT_NODE* sub : Collect(cond, SQLN_SUBQUERY, false, SQLN_SUBQUERY))
      if (sub != cond) Queue(sub);
  }

  // The condition of a WHERE holder (empty or WHERE clause).
  static PT_NODE* WhereCondition(PT_NODE* whereOpt) {
    return ChildOfType(ChildOfType(whereOpt, SQLN_WHERE), SQLN_CONDITION);
  }

  // A query block or a subquery: its FROM list is its scope.
  void Block(PT_NODE* q) {
    PT_NODE* parts = q->type == SQLN_QUERY ? ChildOfType(q, SQLN_QUERY_TAIL) : q;
    if (parts == nullptr) return;
    PT_NODE* from = ChildOfType(parts, SQLN_TABLE_LIST);
    Scope* scope = from != nullptr ? &ScopeOf(from) : nullptr;
    Condition(WhereCondition(ChildOfType(parts, SQLN_WHERE_OPT)), scope);
    Condition(ChildOfType(ChildOfType(parts, SQLN_HAVING_OPT), SQLN_CONDITION), scope);
    Condition(ChildOfType(q, SQLN_SELECT_LIST), nullptr);
    if (PT_NODE* u = ChildOfType(ChildOfType(parts, SQLN_UNION_OPT), SQLN_UNION))
      Queue(ChildOfType(u, SQLN_QUERY));
  }

  void Delete(PT_NODE* root) {
    PT_NODE* table = ChildOfType(root, SQLN_TABLE_NAME);
    if (table != nullptr)
      Condition(WhereCondition(ChildOfType(root, SQLN_WHERE_OPT)), &ScopeOf(table));
  }

  void Update(PT_NODE* root) {
    PT_NODE* table = ChildOfType(root, SQLN_TABLE_NAME);
    if (table == nullptr) return;
    Scope& scope = ScopeOf(table);
    scope.extra = ChildOfType(root, SQLN_TABLE_LIST);
    // Beside a FROM list the target's columns are named by the target, when
    // its name can qualify a column (table or owner.table).
    const bool qualifies = table->nchild == 1 ||
                           (table->nchild == 2 && std::strcmp(table->tmpl, SCR_TPL("$1.$2")) == 0);
    if (scope.extra != nullptr && qualifies &&
        !pd::ItemText(table, rec_->quoting, "", false, &scope.qualifier))
      scope.qualifier.clear();
    for (PT_NODE* set :
         Collect(ChildOfType(root, SQLN_ASSIGNMENT_LIST), SQLN_ASSIGNMENT, false, SQLN_SUBQUERY)) {
      PT_NODE* column = set->child;
      if (column != nullptr && column->type == SQLN_COLUMN_NAME && column->next != nullptr)
        Describe(column, column->next, &scope);
      for (PT_NODE* sub : Collect(set, SQLN_SUBQUERY, false, SQLN_SUBQUERY)) Queue(sub);
    }
    Condition(WhereCondition(ChildOfType(root, SQLN_WHERE_OPT)), &scope);
  }

  void Insert(PT_NODE* root) {
    PT_NODE* table = ChildOfType(root, SQLN_TABLE_NAME);
    PT_NODE* source = ChildOfType(ChildOfType(root, SQLN_INSERT_SOURCE), SQLN_VALUE_LIST);
    PT_NODE* query = ChildOfType(ChildOfType(root, SQLN_INSERT_SOURCE), SQLN_QUERY);
    if (table == nullptr || (source == nullptr && query == nullptr)) return;
    Nodes values = source != nullptr ? Collect(source, SQLN_VALUE, false)
                                     : Collect(ChildOfType(query, SQLN_SELECT_LIST),
                                               SQLN_SELECT_ITEM, false, SQLN_SUBQUERY);
    Nodes columns = Collect(ChildOfType(root, SQLN_INSERT_COLUMNS_OPT), SQLN_COLUMN_REF, false);
    if (columns.empty()) {
      AllColumns(table, values);
    } else {
      Scope& scope = ScopeOf(table);
      for (size_t i = 0; i < values.size() && i < columns.size(); ++i)
        Describe(columns[i], values[i], &scope);
    }
    Queue(query);
  }

  // INSERT without column list: the table's columns in order describe the
  // values in order.
  void AllColumns(PT_NODE* table, const Nodes& values) {
    PD_PROBE probe;
    std::string from;
    if (!pd::ItemText(table, rec_->quoting, "", false, &from)) return;
    bool any = false;
    for (PT_NODE* v : values) {
      Nodes ms = Collect(v, SQLN_PARAM_MARKER, true);
      probe.markers.push_back(ms.size() == 1 ? index_[ms[0]] : -1);
      any = any || ms.size() == 1;
    }
    if (!any) return;
    probe.text = "SELECT * FROM " + from + " WHERE 1=0 ";
    rec_->probes.push_back(std::move(probe));
  }

  void Probe(const Scope& s, std::vector<bool>* taken) {
    std::string from;
    if (s.tables == nullptr || !pd::ItemText(s.tables, rec_->quoting, "", false, &from)) return;
    if (s.extra != nullptr && (!pd::ItemText(s.extra, rec_->quoting, "", false, &(from += ", "))))
      return;
    size_t wanted = 0;
    for (const auto& item : s.items) wanted += (*taken)[static_cast<size_t>(item.second)] ? 0 : 1;
    // Aggregates beside other items would need a GROUP BY: their argument
    // stands in for them then.
    const bool unwrap = wanted > 1;
    PD_PROBE probe;
    for (const auto& item : s.items) {
      const auto m = static_cast<size_t>(item.second);
      if ((*taken)[m]) continue;
      std::string text;
      if (!pd::ItemText(item.first, rec_->quoting, s.qualifier, unwrap, &text)) continue;
      probe.text += (probe.markers.empty() ? "SELECT " : ", ") + text;
      probe.markers.push_back(item.second);
      (*taken)[m] = true;
    }
    if (probe.markers.empty()) return;
    probe.text += " FROM " + from + " WHERE 1=0 ";
    rec_->probes.push_back(std::move(probe));
  }

  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  PD_RECORD* rec_;
  std::map<const PT_NODE*, int32_t> index_;
  std::deque<Scope> scopes_;  // references into it stay valid as it grows
  Nodes pending_;
};

}  // namespace

void PD_Init(PD_RECORD* rec, const PD_QUOTING& quoting) {
  SCR_InitSQLInfo(&rec->info);
  rec->kind = SCR_KIND_NONE;
  rec->probes.clear();
  rec->markerCount = 0;
  rec->described = 0;
  rec->quoting = quoting;
}

void PD_Free(PD_RECORD* rec) {
  SCR_FreeSQLInfo(&rec->info);
  rec->kind = SCR_KIND_NONE;
  rec->probes.clear();
  rec->markerCount = 0;
  rec->described = 0;
}

int PD_Describe(PD_RECORD* rec, const char* sql) {
  PD_Free(rec);
  rec->info.forms = rec->quoting.forms;
  const int rc = SCR_AnalyseSQL(&rec->info, sql, 1, 1);
  if (rc != SCR_SQL_OK || rec->info.tree == nullptr) {
    PD_Free(rec);
    return rc != SCR_SQL_OK ? rc : SCR_SQL_SYNTAX;
  }
  rec->kind = rec->info.kind;
  try {
    Builder b(rec);
    b.Statement(rec->info.tree);
    b.Probes();
  } catch (const std::bad_alloc&) {
    rec->probes.clear();
    return SCR_SQL_NOMEM;
  }
  std::vector<bool> seen(rec->markerCount, false);
  for (const PD_PROBE& p : rec->probes)
    for (int32_t m : p.markers)
      if (m >= 0 && !seen[static_cast<size_t>(m)]) {
        seen[static_cast<size_t>(m)] = true;
        ++rec->described;
      }
  return SCR_SQL_OK;
}
