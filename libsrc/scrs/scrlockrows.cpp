// Row locks for SQL_CONCUR_LOCK where the data source takes no
// " FOR UPDATE": each row is updated to its own key values, which makes the
// database hold its write lock until the transaction ends.
#include <algorithm>
#include <string>
#include <vector>

#include <sql.h>
#include <sqlext.h>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_agent.h"
#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";

// "UPDATE t SET k1 = ?, ... WHERE k1 = ? AND ...": the key columns set to
// themselves. False when a name cannot be written.
bool LockText(const SCR_ANALYSIS& a, std::string* out) {
  const SCR_TABLE& t = a.tables.front();
  std::string name, set, where;
  *out = "UPDATE ";
  // SCR_IdentSql appends: each name starts from empty.
  if (!t.owner.empty()) {
    if (!SCR_IdentSql(t.owner, a.idents, &name)) return false;
    *out += name + ".";
  }
  name.clear();
  if (!SCR_IdentSql(t.table, a.idents, &name)) return false;
  *out += name;
  for (const SCR_COLDESC& k : a.ks.keys) {
    name.clear();
    if (!SCR_IdentSql(k.name, a.idents, &name)) return false;
    set += (set.empty() ? "" : ", ") + name + " = ?";
    where += (where.empty() ? "" : " AND ") + name + " = ?";
  }
  *out += " SET " + set + " WHERE " + where;
  return true;
}

// One row's parameters: its key values for the SET list, then again for
// the condition.
uint32_t LockParams(const COLSET* keys, uint32_t row, COLSET** out) {
  *out = nullptr;
  COLSET *setList = nullptr, *condition = nullptr;
  int rc = SCR_RowToParams(keys, row, 1, 1, &setList, false, false, nullptr);
  ColSetPtr front(setList);
  if (rc == 0) rc = SCR_RowToParams(keys, row, 1, 1, &condition, false, false, nullptr);
  ColSetPtr back(condition);
  if (rc == 0) rc = ColSetMerge(back.get(), front.get());
  if (rc == 0) *out = back.release();
  return static_cast<uint32_t>(rc);
}

// Locks one row: 0 when the update touched it.
uint32_t LockOne(SCR_CURSOR* cur, const COLSET* keys, uint32_t row,
                 const std::vector<JdbcColBind>& binds) {
  const DRV_OpTable& ops = SCR_Agent();
  const uint32_t stmt = cur->analysis->auxStmt;
  COLSET* params = nullptr;
  if (uint32_t rc = LockParams(keys, row, &params)) return rc;
  // The agent takes the parameter set over.
  if (uint32_t rc = ops.DRV_SetParams(stmt, params)) return rc;
  if (!binds.empty()) {
    if (uint32_t rc = ops.DRV_BindCols(stmt, static_cast<uint16_t>(binds.size()), binds.data()))
      return rc;
  }
  if (uint32_t rc = ops.DRV_Execute(stmt)) return rc;
  uint32_t affected = 0;
  uint16_t length = 0;
  if (uint32_t rc = ops.DRV_GetInfo(stmt, INFO_ROW_COUNT, &affected, sizeof affected, &length))
    return rc;
  return affected >= 1 ? 0 : ERR_ROW_ERROR;
}

}  // namespace

int scs_p_LockRows(SCR_CURSOR* cur, const COLSET* keys, const uint16_t* status, uint32_t first,
                   uint32_t count) {
  if (cur == nullptr || cur->analysis == nullptr || keys == nullptr || status == nullptr)
    return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  // Rows past the keyset's end are not there to lock.
  const uint32_t end =
      first >= keys->rows_held ? first : first + std::min(count, keys->rows_held - first);
  std::vector<uint32_t> lockable;
  for (uint32_t r = first; r < end; ++r)
    if (status[r] == SQL_ROW_SUCCESS || status[r] == SQL_ROW_UPDATED) lockable.push_back(r);
  if (lockable.empty()) return 0;
  if (a.tables.empty() || a.ks.keys.empty() || keys->cols_used != a.ks.keys.size())
    return ERR_GENERAL;
  std::string text;
  if (!LockText(a, &text)) return ERR_GENERAL;
  std::vector<JdbcColBind> binds;
  if (a.needsBinding != 0) {
    a.params.clear();
    SCR_BindParams(cur, a.ks.keys);
    SCR_BindParams(cur, a.ks.keys);
    for (const SCR_PARAMDESC& p : a.params)
      binds.push_back({p.sqlType, 0, p.columnSize, p.decimalDigits, p.kind});
  }
  if (uint32_t rc = SCR_Agent().DRV_Prepare(a.auxStmt, text.c_str())) return static_cast<int>(rc);
  size_t locked = 0;
  while (locked < lockable.size() && LockOne(cur, keys, lockable[locked], binds) == 0) ++locked;
  if (locked < lockable.size()) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "scs_p_LockRows: Couldn't acquire row lock(s).");
    return ERR_ROW_ERROR;
  }
  return 0;
}
