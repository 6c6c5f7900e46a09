// After a positioned update the rows it changed hold new values: those are
// read again by key, so that the next positioned change through the
// cursor compares with what the cursor itself wrote, not with what it
// fetched before; and a dynamic cursor's row versions follow them.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/colset_ops.h"
#include "scrs/ksrun.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";

// Rows `at` of src copied into a new set, in that order.
int PickRows(COLSET* src, const std::vector<uint32_t>& at, ColSetPtr* out) {
  out->reset();
  ColSetPtr picked;
  int rc = ColSetAlloc(&picked, src, static_cast<uint32_t>(at.size()));
  for (size_t i = 0; rc == 0 && i < at.size(); ++i)
    rc = ColSetCopyRows(picked.get(), src, static_cast<uint32_t>(i), at[i], 0);
  if (rc == 0) *out = std::move(picked);
  return rc;
}

// A new set of the listed columns of src, in that order.
int Project(const COLSET* src, const std::vector<uint16_t>& cols, ColSetPtr* out) {
  out->reset();
  ColSetPtr projected;
  int rc = 0;
  for (size_t j = cols.size(); rc == 0 && j-- > 0;) {
    ColSetPtr one;
    rc = ColSetCreate(&one, src);
    for (uint16_t c = rc == 0 ? one->cols_used : 0; rc == 0 && c-- > 0;)
      if (c != cols[j]) rc = ColSetRemoveColumn(one.get(), c);
    if (rc == 0 && projected != nullptr) rc = ColSetMerge(projected.get(), one.get());
    if (rc == 0 && projected == nullptr) projected = std::move(one);
  }
  if (rc == 0) *out = std::move(projected);
  return rc;
}

// Reads afresh the values of the rows whose keys are the rows of `keys`
// (its columns `cols`).
int ReadByKey(SCR_CURSOR* cur, const COLSET* keys, const std::vector<uint16_t>& cols,
              COLSET* fresh) {
  SCR_ANALYSIS& a = *cur->analysis;
  const uint32_t n = keys->rows_held;
  SCR_BUILT built;
  // The values statement holds another query from here on.
  a.keyset->valuesFlags = 0;
  ColSetPtr only;
  COLSET *keyParams = nullptr, *params = nullptr;
  int rc = scs_p_ValuesQuery(cur, n, &built);
  if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Prepare(a.valuesStmt, built.text.c_str()));
  if (rc == 0) rc = Project(keys, cols, &only);
  if (rc == 0)
    rc = SCR_RowToParams(only.get(), 0, n, n, &keyParams, a.paramOps != 0, false, nullptr);
  only.reset();
  KS_PLACE place;
  place.libAt = built.appBefore;
  if (rc == 0) rc = KS_SpliceParams(cur, place, keyParams, &params);
  uint32_t run = static_cast<uint32_t>(rc);
  if (run == 0)
    run = KS_RunPrepared(cur, a.valuesStmt, params, KS_SpliceBinds(cur, place, KS_KeyDescs(a, n)));
  if (run == 0) run = KS_FetchAll(a.valuesStmt, fresh);
  SCR_Agent().DRV_CloseCursor(a.valuesStmt);
  if (run != 0) KS_MoveErrors(cur, a.valuesStmt);
  return static_cast<int>(run);
}

// A static cursor's cache rows are read again one by one, by the keys its
// own rows give, and what each finds is kept beside its cache row: the
// rows it read stay as they were.
int RefreshStatic(SCR_CURSOR* cur, const std::vector<uint32_t>& cacheRows) {
  const SCR_ANALYSIS& a = *cur->analysis;
  std::vector<uint16_t> keyCols(a.ks.keys.size());
  std::iota(keyCols.begin(), keyCols.end(), 0);
  int rc = 0;
  for (const uint32_t k : cacheRows) {
    SCR_KEPTROW kept;
    COLSET fresh{};
    int r = scs_p_StaticKeptRow(cur, k, &kept);
    if (r == 0) r = ReadByKey(cur, kept.keys.get(), keyCols, &fresh);
    // A row gone keeps what it had: its next change finds no row anyway.
    if (r == 0 && fresh.rows_held == 1) r = scs_p_StaticOwnRow(cur, k, &fresh, 0);
    ColSetFreeColumns(&fresh);
    if (r != 0) rc = r;
  }
  return rc;
}

}  // namespace

int scs_p_ReadValuesByKey(SCR_CURSOR* cur, const COLSET* keys, COLSET* fresh) {
  if (cur == nullptr || cur->analysis == nullptr || !cur->analysis->keyset || keys == nullptr)
    return ERR_GENERAL;
  std::vector<uint16_t> cols(keys->cols_used);
  std::iota(cols.begin(), cols.end(), 0);
  return ReadByKey(cur, keys, cols, fresh);
}

void scs_p_OwnBookmarksUpdated(SCR_CURSOR* cur, const std::vector<uint32_t>& rows, uint32_t first,
                               uint32_t held) {
  if (cur == nullptr || cur->analysis == nullptr || rows.empty() ||
      cur->concurrency != SQL_CONCUR_VALUES || cur->analysis->valuesMode == 2)
    return;
  KS_KEYSET* ks = cur->analysis->keyset.get();
  int rc = 0;
  if (cur->cursorType == SQL_CURSOR_STATIC) {
    rc = RefreshStatic(cur, rows);
  } else if (ks != nullptr) {
    // Rows of the rowset keep their values beside it; a keyset cursor's
    // others only their digest, read again by key. Keys on disk are read
    // in first, the rowset's before its rows.
    const bool onDisk = cur->keysetSize == 0 && ks->cache.state == DSC_ON_DISK;
    std::vector<uint32_t> inRowset, others;
    for (const uint32_t k : rows) {
      if (k >= first && k - first < held)
        inRowset.push_back(k - first + 1);
      else if (cur->keysetSize == 0)
        others.push_back(k);
    }
    if (!inRowset.empty() && onDisk)
      rc = DSC_EnsureWindow(&ks->cache, first, held, &ks->windowFirst, &ks->window);
    if (!inRowset.empty() && rc == 0)
      rc = scs_p_RefreshOptConcRows(cur, inRowset.data(), static_cast<uint32_t>(inRowset.size()));
    for (const uint32_t k : others) {
      int r = onDisk ? DSC_EnsureWindow(&ks->cache, k, 1, &ks->windowFirst, &ks->window) : 0;
      const int64_t w = static_cast<int64_t>(k) - std::max<int64_t>(ks->windowFirst, 0);
      if (r == 0 && (ks->windowFirst < 0 || w < 0 || w >= ks->window.rows_held)) r = ERR_GENERAL;
      ColSetPtr key;
      COLSET fresh{};
      if (r == 0) r = PickRows(&ks->window, {static_cast<uint32_t>(w)}, &key);
      if (r == 0) r = scs_p_ReadValuesByKey(cur, key.get(), &fresh);
      if (r == 0 && fresh.rows_held == 1) scs_p_KeepFetched(cur, k, &fresh, 0);
      ColSetFreeColumns(&fresh);
      if (r != 0) rc = r;
    }
  }
  if (rc != 0)
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                "scs_p_OwnBookmarksUpdated: the values of updated rows could not be read again");
}

void scs_p_OwnRowsUpdated(SCR_CURSOR* cur, const std::vector<uint32_t>& rows) {
  if (cur == nullptr || cur->analysis == nullptr || rows.empty()) return;
  const auto count = static_cast<uint32_t>(rows.size());
  if (cur->concurrency == SQL_CONCUR_VALUES && scs_p_RefreshOptConcRows(cur, rows.data(), count))
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                "scs_p_OwnRowsUpdated: the values of updated rows could not be read again");
  if (cur->cursorType != SQL_CURSOR_DYNAMIC) return;
  // A dynamic cursor's rowset is its block.
  std::vector<uint32_t> at;
  for (uint32_t r : rows) at.push_back(r - 1);
  if (scs_p_DynamicOwnVersions(cur, at) != 0)
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                "scs_p_OwnRowsUpdated: the versions of updated rows could not be stored");
}

int scs_p_RefreshOptConcRows(SCR_CURSOR* cur, const uint32_t* rows, uint32_t count) {
  if (cur == nullptr || cur->analysis == nullptr || (rows == nullptr && count > 0))
    return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  KS_KEYSET* ks = a.keyset.get();
  // Mode 2 keeps the rows as fetched, which the next fetch brings anew.
  if (count == 0 || cur->concurrency != SQL_CONCUR_VALUES || a.valuesMode == 2 || ks == nullptr)
    return 0;
  if (cur->cursorType == SQL_CURSOR_STATIC) {
    if (cur->rowsetStart < 1) return ERR_GENERAL;
    std::vector<uint32_t> cacheRows;
    for (uint32_t i = 0; i < count; ++i) {
      if (rows[i] < 1) return ERR_GENERAL;
      cacheRows.push_back(static_cast<uint32_t>(cur->rowsetStart - 1) + rows[i] - 1);
    }
    return RefreshStatic(cur, cacheRows);
  }
  if (ks->values == nullptr) return 0;
  std::vector<uint16_t> cols, keyCols(a.ks.keys.size());
  for (size_t k = 0; k < keyCols.size(); ++k) keyCols[k] = static_cast<uint16_t>(k);
  // Dynamic and mixed rowsets have no row numbers: their keys sit in the
  // current block, a dynamic rowset being the whole block.
  const bool block = cur->cursorType == SQL_CURSOR_DYNAMIC || cur->keysetSize != 0;
  if (!scs_p_KeyColumns(a, &cols) || (!block && cur->rowsetStart < 1)) return ERR_GENERAL;
  // Where each listed row's key is.
  const int64_t rowsetKey = !block                                  ? cur->rowsetStart - 1
                            : cur->cursorType == SQL_CURSOR_DYNAMIC ? 0
                                                                    : ks->rowsetInBlock;
  const int64_t keyBase = rowsetKey - std::max<int64_t>(ks->windowFirst, 0);
  std::vector<uint32_t> at, keyAt;
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t v = static_cast<int64_t>(rows[i]) - 1, k = keyBase + rows[i] - 1;
    if (rows[i] < 1 || v >= ks->values->rows_held) return ERR_GENERAL;
    if (k < 0 || k >= ks->window.rows_held) return ERR_GENERAL;
    at.push_back(static_cast<uint32_t>(v));
    keyAt.push_back(static_cast<uint32_t>(k));
  }
  ColSetPtr keys;
  COLSET fresh{};
  int rc = PickRows(&ks->window, keyAt, &keys);
  const std::vector<uint16_t>& keysAt = keyCols;
  if (rc == 0) rc = ReadByKey(cur, keys.get(), keysAt, &fresh);
  // Each listed row takes the fresh values of its own key; a row gone
  // keeps what it had.
  std::unordered_map<std::string, uint32_t> came;
  for (uint32_t j = 0; rc == 0 && fresh.cols_used > 0 && j < fresh.rows_held; ++j)
    came.emplace(scs_p_KeyText(&fresh, cols, j), j);
  for (uint32_t i = 0; rc == 0 && i < count; ++i) {
    const auto it = came.find(scs_p_KeyText(keys.get(), keysAt, i));
    if (it == came.end()) continue;
    if (ColSetCopyRows(ks->values, &fresh, at[i], it->second, 0) != 0)
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                  "scs_p_RefreshOptConcRows: Could not keep the values of row %u", rows[i]);
    else if (!block)
      scs_p_KeepFetched(cur, static_cast<uint32_t>(rowsetKey) + rows[i] - 1, ks->values, at[i]);
  }
  ColSetFreeColumns(&fresh);
  return rc;
}
