// The values a row had when it was fetched, kept for values concurrency: a
// positioned change compares them with the row as it stands, so that a row
// another user changed since is left alone. They are read by a query of
// their own, the cursor's SELECT with every column of its tables as the
// select list, on the cursor's private values statement.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <new>
#include <string>
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

// Analyses text and applies one builder to it.
template <typename Build>
int Rebuild(const SCR_ANALYSIS& a, const std::string& text, Build build, SCR_BUILT* out) {
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  int rc = SCR_AnalyseSQL(&info, text.c_str(), 0, a.idents.noQualifier);
  if (rc != 0) {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "SCR_AnalyseSQL failed: %s", text.c_str());
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "%s", info.errmsg != nullptr ? info.errmsg : "");
  } else {
    rc = build(&info, out);
  }
  SCR_FreeSQLInfo(&info);
  return rc;
}

}  // namespace

int scs_p_ValuesQuery(SCR_CURSOR* cur, uint32_t blockSize, SCR_BUILT* out) {
  SCR_ANALYSIS& a = *cur->analysis;
  const uint8_t tables = static_cast<uint8_t>(a.tables.size());
  if (blockSize == 0) {
    return Rebuild(a, a.text, [&](SCR_SQLINFO* i, SCR_BUILT* o) {
      return scs_p_BuildValuesSelect(i, a.tableCols, tables, a.idents, o);
    }, out);
  }
  SCR_BUILT ordered, keyed;
  int rc = Rebuild(a, a.text, [&](SCR_SQLINFO* i, SCR_BUILT* o) {
    return KS_BuildOrderBy(i, a.ks, a.idents, static_cast<uint32_t>(a.orderBy.size()), o);
  }, &ordered);
  if (rc == 0) {
    rc = Rebuild(a, ordered.text, [&](SCR_SQLINFO* i, SCR_BUILT* o) {
      return KS_BuildKeyWhere(i, a.ks, a.idents, blockSize, o);
    }, &keyed);
  }
  if (rc == 0) {
    rc = Rebuild(a, keyed.text, [&](SCR_SQLINFO* i, SCR_BUILT* o) {
      return scs_p_BuildValuesSelect(i, a.tableCols, tables, a.idents, o);
    }, out);
  }
  // The key markers keep their place among the application's.
  out->appBefore = keyed.appBefore;
  out->libMarkers = keyed.libMarkers;
  return rc;
}

namespace {

// A copy of columns from..to-1 of the application's values.
int AppColumns(const COLSET* app, uint16_t from, uint16_t to, COLSET** out) {
  *out = nullptr;
  if (from >= to) return 0;
  if (int rc = ColSetCreate(out, app)) return rc;
  int rc = 0;
  for (uint16_t c = (*out)->cols_used; rc == 0 && c > to; --c) rc = ColSetRemoveColumn(*out, c - 1);
  for (uint16_t c = 0; rc == 0 && c < from; ++c) rc = ColSetRemoveColumn(*out, 0);
  if (rc != 0) {
    ColSetDestroy(*out);
    *out = nullptr;
  }
  return rc;
}

}  // namespace

int scs_p_JoinParams(const COLSET* app, uint32_t appBefore, COLSET* keys, COLSET** out) {
  *out = keys;
  if (app == nullptr || app->cols_used == 0) return 0;
  const uint16_t split = static_cast<uint16_t>(std::min<uint32_t>(appBefore, app->cols_used));
  COLSET *front = nullptr, *back = nullptr;
  int rc = AppColumns(app, 0, split, &front);
  if (rc == 0) rc = AppColumns(app, split, app->cols_used, &back);
  if (rc == 0 && back != nullptr) {
    rc = ColSetMerge(back, keys);
    if (rc == 0) {
      ColSetDestroy(keys);
      keys = back;
      back = nullptr;
    }
  }
  if (rc == 0 && front != nullptr) {
    rc = ColSetMerge(keys, front);
  }
  ColSetDestroy(front);
  ColSetDestroy(back);
  *out = rc == 0 ? keys : nullptr;
  if (rc != 0) ColSetDestroy(keys);
  return rc;
}

namespace {

// Runs the prepared values query with params (taken over; null: none).
int RunQuery(SCR_CURSOR* cur, COLSET* params) {
  const uint32_t stmt = cur->analysis->valuesStmt;
  if (params != nullptr) {
    if (uint32_t rc = SCR_Agent().DRV_SetParams(stmt, params)) return static_cast<int>(rc);
  }
  return static_cast<int>(SCR_Agent().DRV_Execute(stmt));
}

// Appends the rows of the executed query to the values set.
int FetchInto(uint32_t stmt, uint32_t rows, COLSET* values) {
  const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(rows, 0xFFFF));
  if (values->rows_held == 0 && values->cols_used == 0)
    return static_cast<int>(SCR_Agent().DRV_Fetch(stmt, n, values));
  COLSET more{};
  int rc = static_cast<int>(SCR_Agent().DRV_Fetch(stmt, n, &more));
  if (rc == 0 && more.rows_held > 0) rc = ColSetAppendRows(values, &more);
  ColSetFreeColumns(&more);
  return rc;
}

int ValuesSet(KS_KEYSET* ks) {
  if (ks->values != nullptr) {
    ColSetFreeColumns(ks->values);
    return 0;
  }
  ks->values = new (std::nothrow) COLSET();
  if (ks->values == nullptr) return ERR_NO_MEMORY;
  if (int rc = ColSetInit(ks->values, 0)) {
    ColSetDestroy(ks->values);
    ks->values = nullptr;
    return rc;
  }
  return 0;
}

int StaticValues(SCR_CURSOR* cur, KS_KEYSET* ks, COLSET* params) {
  if (int rc = RunQuery(cur, params)) return rc;
  DSC_Close(&ks->valuesCache);
  const int rc = DSC_Fill(&ks->valuesCache, &SCR_SavedAgent, cur->analysis->valuesStmt,
                          ks->values, nullptr);
  if (rc != 0) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
    return rc;
  }
  ks->valuesWindow = ks->valuesCache.state == DSC_ON_DISK ? DSC_NO_WINDOW : 0;
  // The statement's result is read whole; its cursor is not needed.
  SCR_Agent().DRV_CloseCursor(cur->analysis->valuesStmt);
  return 0;
}

int KeyedValues(SCR_CURSOR* cur, KS_KEYSET* ks, COLSET* keyParams, uint32_t first,
                uint32_t blocks, uint32_t blockSize, uint32_t lastBlock, uint32_t appBefore) {
  const SCR_ANALYSIS& a = *cur->analysis;
  if (ks->windowFirst < 0 || first < static_cast<uint32_t>(ks->windowFirst)) {
    ColSetDestroy(keyParams);
    return ERR_GENERAL;
  }
  const uint32_t rel = first - static_cast<uint32_t>(ks->windowFirst);
  for (uint32_t b = 0; b < blocks; ++b) {
    const uint32_t k = b + 1 == blocks ? lastBlock : blockSize;
    COLSET* params = nullptr;
    int rc = 0;
    if (keyParams != nullptr && blocks == 1) {
      params = keyParams;
      keyParams = nullptr;
    } else {
      COLSET* keys = nullptr;
      rc = SCR_RowToParams(&ks->window, rel + blockSize * b, blockSize, k, &keys, false, false,
                           nullptr);
      if (rc == 0) rc = scs_p_JoinParams(a.appParams.get(), appBefore, keys, &params);
    }
    if (rc == 0) rc = RunQuery(cur, params);
    if (rc == 0) rc = FetchInto(a.valuesStmt, k, ks->values);
    SCR_Agent().DRV_CloseCursor(a.valuesStmt);
    if (rc != 0) {
      ColSetDestroy(keyParams);
      return rc;
    }
  }
  ColSetDestroy(keyParams);
  return 0;
}

}  // namespace

int scs_p_GetOptConcColVals(SCR_CURSOR* cur, COLSET* keyParams, uint32_t first, uint32_t blocks,
                            uint32_t blockSize, uint32_t lastBlock) {
  if (cur == nullptr || cur->analysis == nullptr) {
    ColSetDestroy(keyParams);
    return ERR_GENERAL;
  }
  SCR_ANALYSIS& a = *cur->analysis;
  if (!a.keyset) a.keyset.reset(new (std::nothrow) KS_KEYSET());
  KS_KEYSET* ks = a.keyset.get();
  int rc = ks == nullptr ? ERR_NO_MEMORY : ValuesSet(ks);
  if (rc != 0) {
    ColSetDestroy(keyParams);
    return rc;
  }
  // A dynamic cursor's block size follows its rowset: its query is made
  // afresh each time; the others' when the block size changed.
  const uint32_t groups = cur->cursorType == SQL_CURSOR_STATIC ? 0 : blockSize;
  const bool prepare = cur->cursorType == SQL_CURSOR_DYNAMIC || a.valuesGroups != groups ||
                       (ks->valuesFlags & SCR_VALUES_PREPARED) == 0;
  if (prepare) {
    ks->valuesFlags = 0;
    SCR_BUILT built;
    rc = scs_p_ValuesQuery(cur, groups, &built);
    if (rc == 0) rc = static_cast<int>(SCR_Agent().DRV_Prepare(a.valuesStmt, built.text.c_str()));
    if (rc == 0) {
      a.valuesAppBefore = built.appBefore;
      a.valuesGroups = groups;
      ks->valuesFlags |= SCR_VALUES_PREPARED;
    }
  }
  if (rc != 0) {
    ColSetDestroy(keyParams);
    return rc;
  }
  if (cur->cursorType == SQL_CURSOR_STATIC) return StaticValues(cur, ks, keyParams);
  rc = KeyedValues(cur, ks, keyParams, first, blocks, blockSize, lastBlock, a.valuesAppBefore);
  if (rc != 0 || cur->cursorType != SQL_CURSOR_KEYSET_DRIVEN) return rc;
  // Keys whose row has gone since the keyset was read leave a gap; the
  // rows keep their places in the rowset.
  const int64_t held = static_cast<int64_t>(ks->window.rows_held) + ks->windowFirst -
                       static_cast<int64_t>(first);
  const uint32_t got = ks->values->rows_held;
  if (got < cur->rowsetSize && static_cast<int64_t>(got) < held)
    return SCR_MarkDeletedRows(cur, ks->values, first);
  return 0;
}
