// How many leading sort columns fix a row's place in the result: the seek
// queries of dynamic and mixed cursors compare only those, so an ORDER BY
// whose items name every key needs no comparison past the last of them.
#include <cstring>
#include <vector>

#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "util/errcodes.h"

bool SCR_OrderItemNames(const SCR_ORDERITEM& o, const SCR_COLDESC& c) {
  if (std::strcmp(o.name, c.name) != 0) return false;
  if (o.table[0] != '\0' && std::strcmp(o.table, c.table) != 0 &&
      std::strcmp(o.table, c.alias) != 0)
    return false;
  return o.owner[0] == '\0' || std::strcmp(o.owner, c.owner) == 0;
}

bool SCR_OrdersByColumnsOnly(const SCR_ANALYSIS& a) {
  for (const SCR_ORDERITEM& o : a.orderBy) {
    bool found = false;
    for (const SCR_COLDESC& c : a.tableCols) found = found || SCR_OrderItemNames(o, c);
    if (!found) return false;
  }
  return true;
}

namespace {

bool Names(const SCR_ORDERITEM& o, const SCR_COLDESC& c) { return SCR_OrderItemNames(o, c); }

void TakeType(SCR_ORDERITEM* o, const SCR_COLDESC& c) {
  o->sqlType = static_cast<uint16_t>(c.sqlType);
  o->columnSize = c.columnSize;
  o->decimalDigits = c.decimalDigits;
}

}  // namespace

int SCR_MatchKeyColumns(SCR_CURSOR* cur) {
  if (cur == nullptr || cur->analysis == nullptr) return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  if ((a.flags & SCR_SQL_GROUPBY) != 0) return ERR_GROUP_BY_RESULT;
  if ((a.flags & SCR_SQL_UNION) != 0) return ERR_UNION_RESULT;
  std::vector<SCR_COLDESC>& keys = a.ks.keys;
  for (SCR_COLDESC& k : keys) k.mark = 0;
  size_t named = 0, others = 0, lastNamer = 0;
  for (size_t i = 0; i < a.orderBy.size() && named < keys.size(); ++i) {
    SCR_ORDERITEM& o = a.orderBy[i];
    bool isKey = false;
    for (SCR_COLDESC& k : keys) {
      if (!Names(o, k)) continue;
      isKey = true;
      TakeType(&o, k);
      // A key named twice keeps the first item: its place in the order.
      if (k.mark != 0) continue;
      k.mark = static_cast<uint8_t>(i + 1);
      ++named;
      lastNamer = i + 1;
    }
    if (isKey) continue;
    ++others;
    if (o.sqlType != 0) continue;
    const SCR_COLDESC* col = nullptr;
    for (const SCR_COLDESC& c : a.tableCols)
      if (col == nullptr && Names(o, c)) col = &c;
    if (col == nullptr) return ERR_GENERAL;
    TakeType(&o, *col);
  }
  a.sortColumns = static_cast<uint16_t>(
      named == keys.size() && !a.orderBy.empty() ? lastNamer : others + keys.size());
  return 0;
}
