// After a positioned update the rows it changed hold new values: those are
// read again by key, so that the next positioned change through the
// cursor compares with what the cursor itself wrote, not with what it
// fetched before.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";

// Where each key column sits among the columns of the values query.
bool KeyColumns(const SCR_ANALYSIS& a, std::vector<uint16_t>* out) {
  for (const SCR_COLDESC& k : a.ks.keys) {
    size_t i = 0;
    while (i < a.tableCols.size() &&
           (std::strcmp(a.tableCols[i].name, k.name) != 0 ||
            std::strcmp(a.tableCols[i].table, k.table) != 0 ||
            std::strcmp(a.tableCols[i].owner, k.owner) != 0))
      ++i;
    if (i == a.tableCols.size()) return false;
    out->push_back(static_cast<uint16_t>(i));
  }
  return true;
}

// A new set of the listed columns of src, in that order.
int Project(const COLSET* src, const std::vector<uint16_t>& cols, COLSET** out) {
  *out = nullptr;
  int rc = 0;
  for (size_t j = cols.size(); rc == 0 && j-- > 0;) {
    COLSET* one = nullptr;
    rc = ColSetCreate(&one, src);
    for (uint16_t c = rc == 0 ? one->cols_used : 0; rc == 0 && c-- > 0;)
      if (c != cols[j]) rc = ColSetRemoveColumn(one, c);
    if (rc == 0 && *out != nullptr) rc = ColSetMerge(*out, one);
    if (rc == 0 && *out == nullptr) {
      *out = one;
      one = nullptr;
    }
    ColSetDestroy(one);
  }
  if (rc != 0) {
    ColSetDestroy(*out);
    *out = nullptr;
  }
  return rc;
}

// Rows `at` of src copied into a new set, in that order.
int PickRows(COLSET* src, const std::vector<uint32_t>& at, COLSET** out) {
  *out = nullptr;
  int rc = ColSetAlloc(out, src, static_cast<uint32_t>(at.size()));
  for (size_t i = 0; rc == 0 && i < at.size(); ++i)
    rc = ColSetCopyRows(*out, src, static_cast<uint32_t>(i), at[i], 0);
  if (rc != 0) {
    ColSetDestroy(*out);
    *out = nullptr;
  }
  return rc;
}

// Reads the values of the rows of `keys` (one row per key) afresh.
int ReadByKey(SCR_CURSOR* cur, const COLSET* keys, COLSET* fresh) {
  SCR_ANALYSIS& a = *cur->analysis;
  const uint32_t n = keys->rows_held;
  SCR_BUILT built;
  COLSET *keyParams = nullptr, *params = nullptr;
  int rc = scs_p_ValuesQuery(cur, n, &built);
  // The values statement holds another query from here on.
  if (a.keyset) a.keyset->valuesFlags = 0;
  if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Prepare(a.valuesStmt, built.text.c_str()));
  if (rc == 0) rc = SCR_RowToParams(keys, 0, n, n, &keyParams, false, false, nullptr);
  if (rc == 0) rc = scs_p_JoinParams(a.appParams.get(), built.appBefore, keyParams, &params);
  if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_SetParams(a.valuesStmt, params));
  if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Execute(a.valuesStmt));
  if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Fetch(a.valuesStmt, static_cast<uint16_t>(n), fresh));
  SCR_Agent().DRV_CloseCursor(a.valuesStmt);
  return rc;
}

}  // namespace

int scs_p_RefreshOptConcRows(SCR_CURSOR* cur, const uint32_t* rows, uint32_t count) {
  if (cur == nullptr || cur->analysis == nullptr || (rows == nullptr && count > 0))
    return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  KS_KEYSET* ks = a.keyset.get();
  // Mode 2 keeps the rows as fetched, which the next fetch brings anew.
  if (count == 0 || cur->concurrency != SQL_CONCUR_VALUES || a.valuesMode == 2 ||
      ks == nullptr || ks->values == nullptr)
    return 0;
  std::vector<uint16_t> keyCols;
  if (!KeyColumns(a, &keyCols) || cur->rowsetStart < 1) return ERR_GENERAL;
  const bool isStatic = cur->cursorType == SQL_CURSOR_STATIC;
  // Where each listed row's values sit, and where its key is.
  const int64_t valuesBase =
      isStatic ? cur->rowsetStart - 1 - static_cast<int64_t>(std::max(ks->valuesWindow, 0)) : 0;
  const int64_t keyBase = cur->rowsetStart - 1 - static_cast<int64_t>(ks->windowFirst);
  std::vector<uint32_t> at, keyAt;
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t v = valuesBase + rows[i] - 1, k = keyBase + rows[i] - 1;
    if (rows[i] < 1 || v < 0 || v >= ks->values->rows_held) return ERR_GENERAL;
    if (!isStatic && (k < 0 || k >= ks->window.rows_held)) return ERR_GENERAL;
    at.push_back(static_cast<uint32_t>(v));
    keyAt.push_back(static_cast<uint32_t>(k));
  }
  COLSET *picked = nullptr, *keys = nullptr, *freshKeys = nullptr;
  COLSET fresh{};
  int rc = isStatic ? PickRows(ks->values, at, &picked) : PickRows(&ks->window, keyAt, &keys);
  if (rc == 0 && isStatic) rc = Project(picked, keyCols, &keys);
  if (rc == 0) rc = ReadByKey(cur, keys, &fresh);
  if (rc == 0 && fresh.rows_held > 0) rc = Project(&fresh, keyCols, &freshKeys);
  // Each listed row takes the fresh values of its own key; a row gone
  // keeps what it had.
  for (uint32_t j = 0; rc == 0 && j < fresh.rows_held; ++j) {
    for (uint32_t i = 0; i < count; ++i) {
      int equal = 0;
      if (ColSetCompareRow(keys, i, freshKeys, j, &equal) != 0 || equal == 0) continue;
      if (ColSetCopyRows(ks->values, &fresh, at[i], j, 0) != 0)
        log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                    "scs_p_RefreshOptConcRows: Could not keep the values of row %u", rows[i]);
      break;
    }
  }
  ColSetDestroy(picked);
  ColSetDestroy(keys);
  ColSetDestroy(freshKeys);
  ColSetFreeColumns(&fresh);
  return rc;
}
