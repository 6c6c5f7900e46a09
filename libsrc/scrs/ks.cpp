// Key columns of a keyset cursor's tables: the best row identifier, else the
// first unique index, else the primary key, completed with their types and
// kept per connection.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "drv_jdbc/drv_catalog.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/colset_ops.h"
#include "scrs/cursorlock.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "util/errcodes.h"
#include "util/garray.h"
#include "util/hash.h"
#include "util/log.h"
#include "util/md5.h"

namespace {

constexpr const char* kSrc = "ks";

// Each name goes in with its length, so that two different lists of names
// never digest the same bytes ("ab"+"c" against "a"+"bc").
void DigestName(MD5_CTX* ctx, const std::string& s) {
  const uint32_t n = static_cast<uint32_t>(s.size());
  unsigned char len[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                          static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
  MD5Update(ctx, len, 4);
  MD5Update(ctx, s.data(), n);
}

void CacheKey(const std::vector<SCR_TABLE>& tables, unsigned char key[16]) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (const SCR_TABLE& t : tables) {
    DigestName(&ctx, t.qualifier);
    DigestName(&ctx, t.owner);
    DigestName(&ctx, t.table);
  }
  MD5Final(key, &ctx);
}

// The key columns kept hold no longer than the catalog answers beside them.
HASH_TABLE* CacheOf(const SCR_CURSOR* cur) REQUIRES(scr_RvcLock) {
  JdbcConn* c = AGT_Conn(cur->connHandle);
  return c != nullptr && SCR_SchemaCachesCurrent(c) ? SCR_KeyColumnsOf(c) : nullptr;
}

bool CacheGet(const SCR_CURSOR* cur, const unsigned char key[16], std::vector<SCR_COLDESC>* out) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  HASH_TABLE* cache = CacheOf(cur);
  const auto* arr = cache != nullptr ? static_cast<GROW_ARRAY*>(hash_lookup(cache, key)) : nullptr;
  if (arr == nullptr) return false;
  for (uint32_t i = 0; i < arr->count; ++i)
    out->push_back(*static_cast<const SCR_COLDESC*>(ARR_Item(arr, i)));
  return true;
}

void CachePut(const SCR_CURSOR* cur, const unsigned char key[16],
              const std::vector<SCR_COLDESC>& keys) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  HASH_TABLE* cache = CacheOf(cur);
  if (cache == nullptr || hash_lookup(cache, key) != nullptr) return;
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_COLDESC));
  if (arr == nullptr) return;
  for (const SCR_COLDESC& k : keys) {
    if (!ARR_Append(arr, &k)) {
      ARR_Free(&arr, nullptr);
      return;
    }
  }
  if (hash_set(cache, key, arr) == nullptr) ARR_Free(&arr, nullptr);
}

// Which catalog step and how it reads its rows.
struct Step {
  DRV_CatalogSlot slot;
  uint16_t nameCol;
  const char* what;
};
constexpr Step kSpCols{DRV_SLOT_SPECIAL_COLUMNS, 1, "KS_GetKeyColDescs_SpCols"};
constexpr Step kStats{DRV_SLOT_STATISTICS, 8, "KS_GetKeyColDescs_Stats"};
constexpr Step kPKeys{DRV_SLOT_PRIMARY_KEYS, 3, "KS_GetKeyColDescs_PKeys"};

SCR_COLDESC KeyOf(const SCR_TABLE& t, const std::string& name) {
  SCR_COLDESC d{};
  SCR_SetName(d.name, name);
  SCR_SetName(d.table, t.table);
  SCR_SetName(d.alias, t.alias);
  SCR_SetName(d.owner, t.owner);
  SCR_SetName(d.qualifier, t.qualifier);
  d.kind = SCR_COL_COLUMN;
  return d;
}

// Whether every column of the group is one that never holds NULL: rows
// with NULL in a unique constraint repeat, so such a constraint names no
// row.
bool NoNulls(SCR_CURSOR* cur, const SCR_TABLE& t, const std::vector<SCR_COLDESC>& group, int* rc) {
  std::vector<std::string> nullable;
  *rc = SCR_NullableColumns(cur, t, &nullable);
  if (*rc != 0) return false;
  for (const SCR_COLDESC& k : group)
    for (const std::string& n : nullable)
      if (n == k.name) return false;
  return true;
}

// The candidate keys of one catalog answer: for the index step each unique
// index, else the whole answer.
std::vector<std::vector<SCR_COLDESC>> Candidates(const Step& step, const SCR_TABLE& t,
                                                 const COLSET& rows, bool pseudoOnly) {
  std::vector<std::vector<SCR_COLDESC>> out(1);
  for (uint32_t r = 0; r < rows.rows_held; ++r) {
    std::string name;
    if (!SCR_CellText(&rows, step.nameCol, r, &name) || name.empty()) continue;
    int64_t pseudo = 0;
    if (pseudoOnly && (!SCR_CellInt(&rows, 7, r, &pseudo) || pseudo != SQL_PC_PSEUDO)) return {};
    if (step.slot == DRV_SLOT_STATISTICS) {
      // A partial or non-unique row has no place here.
      int64_t nonUnique = 0;
      if (SCR_CellInt(&rows, 3, r, &nonUnique) && nonUnique != 0) continue;
      // A row at position 1 starts the next index.
      int64_t pos = 0;
      if (!out.back().empty() && SCR_CellInt(&rows, 7, r, &pos) && pos == 1) out.emplace_back();
    }
    SCR_COLDESC d = KeyOf(t, name);
    if (step.slot == DRV_SLOT_SPECIAL_COLUMNS) {
      int64_t type = 0, size = 0, digits = 0;
      SCR_CellInt(&rows, 2, r, &type);
      SCR_CellInt(&rows, 4, r, &size);
      if (type == SQL_NUMERIC || type == SQL_DECIMAL) SCR_CellInt(&rows, 6, r, &digits);
      d.sqlType = static_cast<int16_t>(type);
      d.columnSize = static_cast<uint32_t>(size);
      d.decimalDigits = static_cast<uint16_t>(digits);
    }
    out.back().push_back(d);
  }
  return out;
}

// Appends the key columns of one table by one catalog step: 0,
// ERR_NO_KEY_COLUMNS when it names none, else the failure. The best row
// identifier and the unique indexes serve only where none of their
// columns may hold NULL; a primary key never does.
int TableKeys(SCR_CURSOR* cur, const Step& step, const SCR_TABLE& t, std::vector<SCR_COLDESC>* keys,
              bool fresh, bool pseudoOnly = false) {
  DRV_CatalogArgs a;
  a.catalog = t.qualifier.empty() ? nullptr : t.qualifier.c_str();
  a.schema = t.owner.c_str();
  a.name = t.table.c_str();
  if (step.slot == DRV_SLOT_SPECIAL_COLUMNS) {
    a.value[0] = SQL_BEST_ROWID;
    a.value[1] = SQL_SCOPE_CURROW;
    a.value[2] = SQL_NO_NULLS;
  } else if (step.slot == DRV_SLOT_STATISTICS) {
    a.value[0] = SQL_INDEX_UNIQUE;
    a.value[1] = SQL_ENSURE;
  }
  COLSET rows{};
  if (int rc = SCR_CatalogRows(cur, step.slot, &a, &rows, fresh)) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "%s: catalog call failed.", step.what);
    return rc;
  }
  const std::vector<std::vector<SCR_COLDESC>> groups = Candidates(step, t, rows, pseudoOnly);
  ColSetFreeColumns(&rows);
  for (const std::vector<SCR_COLDESC>& g : groups) {
    if (g.empty()) continue;
    int rc = 0;
    if (step.slot != kPKeys.slot && !NoNulls(cur, t, g, &rc)) {
      if (rc != 0) return rc;
      continue;
    }
    keys->insert(keys->end(), g.begin(), g.end());
    return 0;
  }
  return ERR_NO_KEY_COLUMNS;
}

bool SameNames(const std::vector<SCR_COLDESC>& a, const std::vector<SCR_COLDESC>& b) {
  if (a.size() != b.size()) return false;
  for (const SCR_COLDESC& x : a) {
    bool found = false;
    for (const SCR_COLDESC& y : b) found = found || std::strcmp(x.name, y.name) == 0;
    if (!found) return false;
  }
  return true;
}

// The best row identifier, checked against the primary key: HSQLDB names
// only the first column of a composite primary key or unique constraint
// there, and a part of a key would make distinct rows share one. Without a
// primary key it serves only as pseudo-columns; the unique-index step
// knows whole column lists.
int BestRowKeys(SCR_CURSOR* cur, const SCR_TABLE& t, std::vector<SCR_COLDESC>* keys, bool fresh) {
  std::vector<SCR_COLDESC> best, primary;
  const int pk = TableKeys(cur, kPKeys, t, &primary, fresh);
  if (pk != 0 && pk != ERR_NO_KEY_COLUMNS && pk != ERR_NOT_CAPABLE) return pk;
  const int rc = TableKeys(cur, kSpCols, t, &best, fresh, pk != 0);
  if (rc != 0 && (pk != 0 || (rc != ERR_NO_KEY_COLUMNS && rc != ERR_NOT_CAPABLE))) return rc;
  const bool usePrimary = pk == 0 && (rc != 0 || !SameNames(best, primary));
  keys->insert(keys->end(), usePrimary ? primary.begin() : best.begin(),
               usePrimary ? primary.end() : best.end());
  return 0;
}

// One step over every table not yet resolved.
int RunStep(SCR_CURSOR* cur, const Step& step, std::vector<bool>* resolved,
            std::vector<SCR_COLDESC>* keys, bool fresh) {
  const std::vector<SCR_TABLE>& tables = cur->analysis->tables;
  int result = 0;
  for (size_t i = 0; i < tables.size(); ++i) {
    if ((*resolved)[i]) continue;
    const int rc = step.slot == kSpCols.slot ? BestRowKeys(cur, tables[i], keys, fresh)
                                             : TableKeys(cur, step, tables[i], keys, fresh);
    if (rc == 0)
      (*resolved)[i] = true;
    else if (rc != ERR_NO_KEY_COLUMNS)
      return rc;
    else
      result = ERR_NO_KEY_COLUMNS;
  }
  return result;
}

// Types of the keys the index and primary-key steps found by name only.
int CompleteTypes(SCR_CURSOR* cur, std::vector<SCR_COLDESC>* keys) {
  for (SCR_COLDESC& k : *keys) {
    if (k.sqlType != 0) continue;
    const std::vector<SCR_TABLE> one{{k.qualifier, k.owner, k.table, k.alias}};
    std::vector<SCR_COLDESC> cols;
    if (int rc = scs_p_GetTblColDescs(cur, one, 0, 1, false, &cols)) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "KS_GetKeyColDescs: DRV_DDColumns failed.");
      return rc;
    }
    bool found = false;
    for (const SCR_COLDESC& c : cols) {
      if (std::strcmp(c.name, k.name) != 0) continue;
      k.sqlType = c.sqlType;
      k.columnSize = c.columnSize;
      k.decimalDigits = c.decimalDigits;
      found = true;
    }
    if (!found) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "KS_GetKeyColDescs: no column %s.", k.name);
      return ERR_GENERAL;
    }
  }
  return 0;
}

int Discover(SCR_CURSOR* cur, std::vector<SCR_COLDESC>* keys, bool fresh) {
  std::vector<bool> resolved(cur->analysis->tables.size(), false);
  int rc = RunStep(cur, kSpCols, &resolved, keys, fresh);
  if (rc != 0 && rc != ERR_NO_KEY_COLUMNS && rc != ERR_NOT_CAPABLE) return rc;
  if (rc != 0) {
    rc = RunStep(cur, kStats, &resolved, keys, fresh);
    if (rc == ERR_NO_KEY_COLUMNS || rc == ERR_NOT_CAPABLE)
      rc = RunStep(cur, kPKeys, &resolved, keys, fresh);
    if (rc != 0) return rc;
  }
  return CompleteTypes(cur, keys);
}

bool SameKeys(const std::vector<SCR_COLDESC>& a, const std::vector<SCR_COLDESC>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::strcmp(a[i].name, b[i].name) != 0 || std::strcmp(a[i].table, b[i].table) != 0 ||
        std::strcmp(a[i].owner, b[i].owner) != 0 || a[i].sqlType != b[i].sqlType)
      return false;
  }
  return true;
}

// The key columns: the kept ones while the catalog still names them. A
// change made through another connection moves no counter of this one, and
// another key over the same columns passes the check of the columns, so
// the key is asked again and a different answer drops everything kept.
int FindKeys(SCR_CURSOR* cur, const unsigned char key[16], std::vector<SCR_COLDESC>* found) {
  std::vector<SCR_COLDESC> kept;
  if (!CacheGet(cur, key, &kept)) {
    if (int rc = Discover(cur, found, false)) return rc;
    for (SCR_COLDESC& k : *found) k.mark = 0;
    CachePut(cur, key, *found);
    return 0;
  }
  const int rc = Discover(cur, found, true);
  for (SCR_COLDESC& k : *found) k.mark = 0;
  if (rc == 0 && SameKeys(*found, kept)) return 0;
  log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "The key of a table changed since it was read.");
  SCR_SchemaChanged(cur);
  found->clear();
  if (int again = Discover(cur, found, false)) return again;
  for (SCR_COLDESC& k : *found) k.mark = 0;
  CachePut(cur, key, *found);
  return 0;
}

}  // namespace

int KS_GetKeyColDescs(SCR_CURSOR* cur) {
  if (cur == nullptr || cur->analysis == nullptr) return ERR_GENERAL;
  SCR_ANALYSIS& a = *cur->analysis;
  a.ks.tableCount = static_cast<uint8_t>(a.tables.size());
  a.ks.keys.clear();
  unsigned char key[16];
  CacheKey(a.tables, key);
  std::vector<SCR_COLDESC> found;
  if (int rc = FindKeys(cur, key, &found)) return rc;
  // The cache is shared by statements that name the same tables under other
  // correlation names: each key takes this statement's.
  for (SCR_COLDESC& k : found) {
    for (const SCR_TABLE& t : a.tables) {
      if (t.table == k.table && t.owner == k.owner && t.qualifier == k.qualifier) {
        SCR_SetName(k.alias, t.alias);
        break;
      }
    }
  }
  a.ks.keys = found;
  return 0;
}
