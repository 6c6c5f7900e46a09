// The values a row had when it was fetched, kept for values concurrency: a
// positioned change compares them with the row as it stands, so that a row
// another user changed since is left alone. They are read by a query of
// their own, the cursor's SELECT with every column of its tables as the
// select list, on the cursor's private values statement.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
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

int ValuesSet(KS_KEYSET* ks) {
  if (ks->values != nullptr) {
    ColSetFreeColumns(ks->values);
    return 0;
  }
  ColSetPtr values(new (std::nothrow) COLSET());
  if (values == nullptr) return ERR_NO_MEMORY;
  if (int rc = ColSetInit(values.get(), 0)) return rc;
  ks->values = values.release();
  return 0;
}

int StaticValues(SCR_CURSOR* cur, KS_KEYSET* ks, COLSET* params) {
  SCR_ANALYSIS& a = *cur->analysis;
  uint32_t rc = KS_RunPrepared(cur, a.valuesStmt, params, KS_SpliceBinds(cur, KS_PLACE{}, {}));
  DSC_Close(&ks->valuesCache);
  // A row the database refuses fails in its rowset, as the cache's own row
  // does; its values stand in blank, so no change of it can be told.
  ks->valuesCache.keep_failed = true;
  if (rc == 0) {
    rc = static_cast<uint32_t>(
        DSC_Fill(&ks->valuesCache, &SCR_SavedAgent, a.valuesStmt, ks->values, nullptr));
    if (rc != 0)
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                  "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
  }
  SCR_Agent().DRV_CloseCursor(a.valuesStmt);
  if (rc != 0) {
    KS_MoveErrors(cur, a.valuesStmt);
    return static_cast<int>(rc);
  }
  ks->valuesWindow = ks->valuesCache.state == DSC_ON_DISK ? DSC_NO_WINDOW : 0;
  return 0;
}

// Puts each row of `got` in the place of its key among keys from..from+n-1
// of the window; a key whose row is gone gets a row of NULLs.
int PlaceByKey(const SCR_ANALYSIS& a, const KS_KEYSET& ks, uint32_t from, uint32_t n, COLSET* got,
               COLSET* out) {
  std::vector<uint16_t> cols;
  if (!scs_p_KeyColumns(a, &cols)) return ERR_GENERAL;
  std::unordered_map<std::string, uint32_t> came;
  for (uint32_t j = 0; j < got->rows_held; ++j) came.emplace(scs_p_KeyText(got, cols, j), j);
  std::vector<uint16_t> keyCols(a.ks.keys.size());
  for (size_t k = 0; k < keyCols.size(); ++k) keyCols[k] = static_cast<uint16_t>(k);
  ColSetPtr placed;
  int rc = ColSetAlloc(&placed, got, n);
  for (uint32_t i = 0; rc == 0 && i < n; ++i) {
    const auto it = came.find(scs_p_KeyText(&ks.window, keyCols, from + i));
    rc = it != came.end() ? ColSetCopyRows(placed.get(), got, i, it->second, 0)
                          : ColSetInsertRow(placed.get(), i);
  }
  if (rc == 0) ColSetAdopt(out, std::move(placed));
  return rc;
}

int KeyedValues(SCR_CURSOR* cur, KS_KEYSET* ks, ColSetPtr ready, uint32_t first, uint32_t blocks,
                uint32_t blockSize, uint32_t lastBlock) {
  SCR_ANALYSIS& a = *cur->analysis;
  if (ks->windowFirst < 0 || first < static_cast<uint32_t>(ks->windowFirst)) return ERR_GENERAL;
  const uint32_t rel = first - static_cast<uint32_t>(ks->windowFirst);
  KS_PLACE place;
  place.libAt = a.valuesAppBefore;
  const std::vector<JdbcColBind> binds = KS_SpliceBinds(cur, place, KS_KeyDescs(a, blockSize));
  COLSET got{};
  uint32_t rc = 0;
  for (uint32_t b = 0; rc == 0 && b < blocks; ++b) {
    const uint32_t k = b + 1 == blocks ? lastBlock : blockSize;
    ColSetPtr keys = std::move(ready);
    COLSET* params = nullptr;
    if (keys == nullptr || blocks > 1) {
      COLSET* made = nullptr;
      rc = static_cast<uint32_t>(SCR_RowToParams(&ks->window, rel + blockSize * b, blockSize, k,
                                                 &made, a.paramOps != 0, false, nullptr));
      keys.reset(made);
    }
    if (rc == 0) rc = static_cast<uint32_t>(KS_SpliceParams(cur, place, keys.release(), &params));
    if (rc == 0) rc = KS_RunPrepared(cur, a.valuesStmt, params, binds);
    if (rc == 0) rc = KS_FetchAll(a.valuesStmt, &got);
    SCR_Agent().DRV_CloseCursor(a.valuesStmt);
  }
  const uint32_t held = ks->window.rows_held > rel ? ks->window.rows_held - rel : 0;
  const uint32_t n = std::min(blocks == 0 ? 0 : (blocks - 1) * blockSize + lastBlock, held);
  if (rc == 0 && got.cols_used > 0 && n > 0)
    rc = static_cast<uint32_t>(PlaceByKey(a, *ks, rel, n, &got, ks->values));
  ColSetFreeColumns(&got);
  if (rc != 0) KS_MoveErrors(cur, a.valuesStmt);
  return static_cast<int>(rc);
}

bool KeepsFetched(const SCR_CURSOR* cur) {
  return cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize == 0 &&
         cur->concurrency == SQL_CONCUR_VALUES && cur->analysis != nullptr &&
         cur->analysis->valuesMode != 2;
}

uint64_t RowDigest(const COLSET* set, uint32_t r) {
  std::vector<uint16_t> cols(set->cols_used);
  std::iota(cols.begin(), cols.end(), 0);
  const uint64_t d = std::hash<std::string>{}(scs_p_KeyText(set, cols, r));
  return d != 0 ? d : 1;
}

}  // namespace

void scs_p_KeepFetched(SCR_CURSOR* cur, uint32_t k, const COLSET* values, uint32_t r) {
  KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  if (ks == nullptr || !KeepsFetched(cur) || values == nullptr || r >= values->rows_held) return;
  try {
    if (ks->fetchedDigests.size() <= k) ks->fetchedDigests.resize(size_t{k} + 1, 0);
  } catch (const std::bad_alloc&) {
    return;  // the row reads as never fetched: a later change compares with it as it stands
  }
  ks->fetchedDigests[k] = RowDigest(values, r);
}

int scs_p_KeptByKey(SCR_CURSOR* cur, const COLSET* key, uint32_t k, ColSetPtr* kept) {
  KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  if (ks == nullptr || key == nullptr) return ERR_GENERAL;
  ColSetPtr fresh(new (std::nothrow) COLSET());
  if (fresh == nullptr) return ERR_NO_MEMORY;
  if (int rc = scs_p_ReadValuesByKey(cur, key, fresh.get())) return rc;
  if (fresh->rows_held != 1) return ERR_NO_ROWS_CHANGED;
  // A row never fetched has nothing to compare with: the change compares
  // with the row as it stands.
  const uint64_t was = k < ks->fetchedDigests.size() ? ks->fetchedDigests[k] : 0;
  if (was != 0 && was != RowDigest(fresh.get(), 0)) return ERR_NO_ROWS_CHANGED;
  *kept = std::move(fresh);
  return 0;
}

bool scs_p_KeyColumns(const SCR_ANALYSIS& a, std::vector<uint16_t>* out) {
  out->clear();
  for (const SCR_COLDESC& k : a.ks.keys) {
    size_t i = 0;
    while (i < a.tableCols.size() && (std::strcmp(a.tableCols[i].name, k.name) != 0 ||
                                      std::strcmp(a.tableCols[i].table, k.table) != 0 ||
                                      std::strcmp(a.tableCols[i].owner, k.owner) != 0))
      ++i;
    if (i == a.tableCols.size()) return false;
    out->push_back(static_cast<uint16_t>(i));
  }
  return true;
}

std::string scs_p_KeyText(const COLSET* set, const std::vector<uint16_t>& cols, uint32_t row) {
  std::string key;
  for (uint16_t c : cols) {
    const COLSET_COL& col = set->cols[c];
    if (col.ind[row] == COLSET_IND_NULL) {
      key += '\0';
      continue;
    }
    uint32_t len = col.elem_size;
    if (col.type == COLSET_VT_LONGCHAR || col.type == COLSET_VT_LONGBINARY ||
        col.type == COLSET_VT_LONGWCHAR) {
      COLSET_LONG lv;
      std::memcpy(&lv, col.data + size_t{row} * col.elem_size, sizeof lv);
      len = col.type == COLSET_VT_LONGWCHAR ? lv.length * 2 : lv.length;
    }
    std::string value(len, '\0');
    if (ColSetValueLength(set, row, c, value.data(), &len) != 0) len = 0;
    value.resize(len);
    key += '\1' + std::to_string(len) + ':' + value;
  }
  return key;
}

int scs_p_ValuesQuery(SCR_CURSOR* cur, uint32_t groups, SCR_BUILT* out) {
  SCR_ANALYSIS& a = *cur->analysis;
  const uint8_t tables = static_cast<uint8_t>(a.tables.size());
  KS_ANALYSED app;
  if (int rc = KS_Analyse(a, a.text, &app)) return rc;
  if (groups == 0) return scs_p_BuildValuesSelect(&app.info, a.tableCols, tables, a.idents, out);
  SCR_BUILT keyed;
  if (int rc = KS_BuildKeyWhere(&app.info, a.ks, a.idents, groups, &keyed)) return rc;
  KS_ANALYSED an;
  if (int rc = KS_Analyse(a, keyed.text, &an)) return rc;
  if (int rc = scs_p_BuildValuesSelect(&an.info, a.tableCols, tables, a.idents, out)) return rc;
  // The key markers keep their place among the application's.
  out->appBefore = keyed.appBefore;
  out->libMarkers = keyed.libMarkers;
  return 0;
}

int scs_p_GetOptConcColVals(SCR_CURSOR* cur, COLSET* keyParams, uint32_t first, uint32_t blocks,
                            uint32_t blockSize, uint32_t lastBlock) {
  ColSetPtr ready(keyParams);
  if (cur == nullptr || cur->analysis == nullptr) return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  if (!a.keyset) a.keyset.reset(new (std::nothrow) KS_KEYSET());
  KS_KEYSET* ks = a.keyset.get();
  int rc = ks == nullptr ? ERR_NO_MEMORY : ValuesSet(ks);
  // A dynamic cursor's block size follows its rowset: its query is made
  // afresh each time; the others' when the block size changed.
  const uint32_t groups = cur->cursorType == SQL_CURSOR_STATIC ? 0 : blockSize;
  if (rc == 0 && (cur->cursorType == SQL_CURSOR_DYNAMIC || a.valuesGroups != groups ||
                  (ks->valuesFlags & SCR_VALUES_PREPARED) == 0)) {
    ks->valuesFlags = 0;
    SCR_BUILT built;
    rc = scs_p_ValuesQuery(cur, groups, &built);
    if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Prepare(a.valuesStmt, built.text.c_str()));
    if (rc != 0) KS_MoveErrors(cur, a.valuesStmt);
    if (rc == 0) {
      a.valuesAppBefore = built.appBefore;
      a.valuesGroups = groups;
      ks->valuesFlags |= SCR_VALUES_PREPARED;
    }
  }
  if (rc != 0) return rc;
  if (cur->cursorType != SQL_CURSOR_STATIC) {
    rc = KeyedValues(cur, ks, std::move(ready), first, blocks, blockSize, lastBlock);
    for (uint32_t i = 0; rc == 0 && i < ks->values->rows_held; ++i)
      scs_p_KeepFetched(cur, first + i, ks->values, i);
    return rc;
  }
  COLSET* params = nullptr;
  if (int r = KS_SpliceParams(cur, KS_PLACE{}, ready.release(), &params)) return r;
  return StaticValues(cur, ks, params);
}
