// The tables of a scrollable SELECT resolved through the catalog, their
// columns, and the parameter descriptions of the statements built on them.
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <unordered_map>

#include "drv_jdbc/drv_catalog.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/colset_ops.h"
#include "scrs/cursorlock.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";
constexpr uint16_t kBlock = 10;

// Catalog result columns (0-based).
constexpr uint16_t kTabCat = 0, kTabSchem = 1, kTabName = 2;
constexpr uint16_t kColTable = 2, kColName = 3, kColType = 4, kColSize = 6, kColDigits = 8;
constexpr uint16_t kColNullable = 10;
constexpr uint16_t kColSchem = 1;

const char* OrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

// The catalog answers the analysis read on a connection: every execute of a
// keyset-driven or dynamic cursor is analysed, and each question is a query
// of the data source's catalog that costs more than many rows. They hold
// while the connection's schema counter stays where it was when they were
// read: a statement that may change the schema, or a rollback, moves it.
// Changes made through other connections move no counter of this one: a
// kept list of a table's columns is checked against the table's own
// description before it is used (TableColumns).
struct CatalogCache {
  uint32_t epoch = 0;
  std::unordered_map<std::string, ColSetPtr> answers;
};

CatalogCache* CacheOf(JdbcConn* c) REQUIRES(scr_RvcLock) {
  return static_cast<CatalogCache*>(SCR_CatalogOf(c));
}

// The request as a key: the slot, each text (absent and empty differ) and
// the values.
std::string RequestKey(DRV_CatalogSlot slot, const DRV_CatalogArgs& a) {
  std::string k = std::to_string(slot);
  for (const char* t : {a.catalog, a.schema, a.name, a.extra, a.fkCatalog, a.fkSchema, a.fkName}) {
    if (t == nullptr) {
      k += '\x01';
      continue;
    }
    k += '\x02';
    k += std::to_string(std::char_traits<char>::length(t));
    k += ':';
    k += t;
  }
  for (uint16_t v : a.value) k += ',' + std::to_string(v);
  return k;
}

// *rows := a copy of the answer kept for the request; false when none is.
bool CachedAnswer(SCR_CURSOR* cur, const std::string& key, COLSET* rows) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  JdbcConn* c = AGT_Conn(cur->connHandle);
  if (c == nullptr || !SCR_SchemaCachesCurrent(c)) return false;
  const auto it = CacheOf(c)->answers.find(key);
  COLSET* copy = nullptr;
  if (it == CacheOf(c)->answers.end() || ColSetCreate(&copy, it->second.get()) != 0) return false;
  *rows = *copy;
  *copy = COLSET{};
  delete copy;
  return true;
}

void KeepAnswer(SCR_CURSOR* cur, const std::string& key, const COLSET* rows) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  JdbcConn* c = AGT_Conn(cur->connHandle);
  COLSET* copy = nullptr;
  if (c == nullptr || !SCR_SchemaCachesCurrent(c) || ColSetCreate(&copy, rows) != 0) return;
  CacheOf(c)->answers[key] = ColSetPtr(copy);
}

bool Is(const COLSET* rows, uint16_t col, uint32_t r, const std::string& want) {
  std::string got;
  return SCR_CellText(rows, col, r, &got) && got == want;
}

// The rows of a DRV_DDTables answer that name exactly this table (a
// pattern without an escape matches more).
std::vector<uint32_t> ExactTables(const COLSET* rows, const SCR_TABLE& t) {
  std::vector<uint32_t> out;
  for (uint32_t r = 0; r < rows->rows_held; ++r) {
    if (!Is(rows, kTabName, r, t.table)) continue;
    if (!t.owner.empty() && !Is(rows, kTabSchem, r, t.owner)) continue;
    out.push_back(r);
  }
  return out;
}

int ResolveOne(SCR_CURSOR* cur, SCR_TABLE* t) {
  const SCR_IDENTS& id = cur->analysis->idents;
  SCR_TABLE want{SCR_RawIdent(t->qualifier, id), SCR_RawIdent(t->owner, id),
                 SCR_RawIdent(t->table, id), t->alias};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1 && t->owner.empty()) want.owner = id.user;
    const std::string schema = want.owner.empty() ? "%" : SCR_PatternOf(want.owner, id);
    const std::string table = SCR_PatternOf(want.table, id);
    DRV_CatalogArgs a;
    a.catalog = OrNull(want.qualifier);
    a.schema = schema.c_str();
    a.name = table.c_str();
    COLSET rows{};
    if (int rc = SCR_CatalogRows(cur, DRV_SLOT_TABLES, &a, &rows)) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "scs_p_GetTblAttribs: DRV_DDTables failed (%s).",
                  t->table.c_str());
      return rc;
    }
    const std::vector<uint32_t> hits = ExactTables(&rows, want);
    if (hits.size() == 1) {
      std::string v;
      if (SCR_CellText(&rows, kTabCat, hits[0], &v) && !v.empty()) t->qualifier = v;
      if (SCR_CellText(&rows, kTabSchem, hits[0], &v) && !v.empty())
        t->owner = v;
      else
        t->owner = want.owner;
      t->table = want.table;
      ColSetFreeColumns(&rows);
      return 0;
    }
    ColSetFreeColumns(&rows);
    if (hits.empty()) {
      if (JdbcStmt* s = AGT_Stmt(cur->stmtHandle)) errPostIndex(&s->errors, ERR_TABLE_NOT_FOUND);
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "scs_p_GetTblDescs: Table %s does not exist.",
                  t->table.c_str());
      return ERR_TABLE_NOT_FOUND;
    }
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__,
                "scs_p_GetTblDescs: Duplicate table name (%s).\n\tRequire owner qualifier to "
                "resolve.",
                t->table.c_str());
    if (attempt == 0)
      log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__,
                  "Trying current username (%s) as owner qualifier.", id.user.c_str());
  }
  return ERR_DUPLICATE_TABLE_NAME;
}

}  // namespace

bool SCR_SchemaCachesCurrent(JdbcConn* c) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  if (SCR_CatalogOf(c) == nullptr) {
    auto* made = new (std::nothrow) CatalogCache();
    if (made == nullptr) return false;
    made->epoch = c->schemaEpoch;
    SCR_CatalogOf(c) = made;
    return true;
  }
  CatalogCache* cache = CacheOf(c);
  if (cache->epoch == c->schemaEpoch) return true;
  cache->answers.clear();
  SCR_KeyColCacheClear(c);
  cache->epoch = c->schemaEpoch;
  return true;
}

void SCR_SchemaChanged(SCR_CURSOR* cur) {
  if (JdbcConn* c = AGT_Conn(cur->connHandle)) {
    plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
    ++c->schemaEpoch;
    SCR_SchemaCachesCurrent(c);
  }
}

void SCR_CatalogCacheFree(JdbcConn* c) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  delete CacheOf(c);
  SCR_CatalogOf(c) = nullptr;
}

namespace {

// The catalog's answer, kept or asked now; *kept says which. A fresh answer
// is asked whatever is kept, and replaces it.
int CatalogRows(SCR_CURSOR* cur, DRV_CatalogSlot slot, const void* args, COLSET* rows, bool* kept,
                bool fresh = false) {
  const auto op = reinterpret_cast<DRV_Catalog_t>(DRV_Slot(&SCR_Agent(), slot));
  if (op == nullptr) return ERR_NOT_CAPABLE;
  const std::string key = RequestKey(slot, *static_cast<const DRV_CatalogArgs*>(args));
  *kept = !fresh && CachedAnswer(cur, key, rows);
  if (*kept) return 0;
  const uint32_t stmt = cur->analysis->auxStmt;
  SCR_Agent().DRV_CloseCursor(stmt);
  if (uint32_t rc = op(stmt, args)) return static_cast<int>(rc);
  // The agent may hand fewer rows than asked before the end (a row with a
  // long value comes alone): only an empty fetch ends the result.
  uint32_t rc = SCR_Agent().DRV_Fetch(stmt, kBlock, rows);
  uint32_t got = rc == 0 ? rows->rows_held : 0;
  while (rc == 0 && got > 0) {
    COLSET more{};
    rc = SCR_Agent().DRV_Fetch(stmt, kBlock, &more);
    got = rc == 0 ? more.rows_held : 0;
    if (got > 0) rc = static_cast<uint32_t>(ColSetAppendRows(rows, &more));
    ColSetFreeColumns(&more);
  }
  SCR_Agent().DRV_CloseCursor(stmt);
  if (rc != 0)
    ColSetFreeColumns(rows);
  else
    KeepAnswer(cur, key, rows);
  return static_cast<int>(rc);
}

std::string Quoted(const std::string& raw, const SCR_IDENTS& id) {
  if (id.quote.empty()) return raw;
  std::string out = id.quote;
  for (char ch : raw) {
    out += ch;
    if (id.quote.size() == 1 && ch == id.quote[0]) out += ch;
  }
  return out + id.quote;
}

// Whether the columns a kept answer lists for a table are the ones the
// table has now. A change made through another connection moves no counter
// of this one, yet a table dropped and made again, or given or robbed of a
// column, would otherwise be read with its old columns; describing the
// table's columns costs far less than asking the catalog again.
bool KeptShapeHolds(SCR_CURSOR* cur, const SCR_TABLE& t, const COLSET* rows) {
  const SCR_IDENTS& id = cur->analysis->idents;
  std::string text = "SELECT * FROM ";
  if (!t.owner.empty()) text += Quoted(t.owner, id) + ".";
  text += Quoted(t.table, id);
  const uint32_t stmt = cur->analysis->auxStmt;
  SCR_Agent().DRV_CloseCursor(stmt);
  uint16_t n = 0;
  JdbcColDesc* descs = nullptr;
  if (SCR_Agent().DRV_Prepare(stmt, text.c_str()) != 0 ||
      SCR_Agent().DRV_NumResultCols(stmt, &n, &descs) != 0) {
    if (JdbcStmt* s = AGT_Stmt(stmt)) errClear(&s->errors);
    return false;
  }
  const SCR_ColDescPtr held(descs, SCR_ColDescFree{n});
  uint16_t at = 0;
  for (uint32_t r = 0; r < rows->rows_held; ++r) {
    if (!Is(rows, kColTable, r, t.table)) continue;
    if (!t.owner.empty() && !Is(rows, kColSchem, r, t.owner)) continue;
    if (at == n) return false;
    const JdbcColDesc& d = descs[at++];
    const char* label = ColDescText(&d, COLDESC_LABEL);
    int64_t type = 0;
    SCR_CellInt(rows, kColType, r, &type);
    if (!Is(rows, kColName, r, label != nullptr ? label : d.name) || type != d.sql_type)
      return false;
  }
  return at == n;
}

// The columns of a table as the catalog lists them; a kept answer that no
// longer holds drops every kept answer of the connection, and the
// descriptions the agent kept with them, and the catalog is asked again.
int TableColumns(SCR_CURSOR* cur, const SCR_TABLE& t, const DRV_CatalogArgs& a, COLSET* rows) {
  bool kept = false;
  if (int rc = CatalogRows(cur, DRV_SLOT_COLUMNS, &a, rows, &kept)) return rc;
  if (!kept || KeptShapeHolds(cur, t, rows)) return 0;
  ColSetFreeColumns(rows);
  *rows = COLSET{};
  log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "Table %s changed since its columns were read.",
              t.table.c_str());
  SCR_SchemaChanged(cur);
  return CatalogRows(cur, DRV_SLOT_COLUMNS, &a, rows, &kept);
}

}  // namespace

int SCR_CatalogRows(SCR_CURSOR* cur, DRV_CatalogSlot slot, const void* args, COLSET* rows,
                    bool fresh) {
  bool kept = false;
  return CatalogRows(cur, slot, args, rows, &kept, fresh);
}

int scs_p_GetTblDescs(SCR_CURSOR* cur, std::vector<SCR_TABLE>* tables) {
  if (cur == nullptr || cur->analysis == nullptr || tables == nullptr) return ERR_GENERAL;
  for (SCR_TABLE& t : *tables) {
    if (int rc = ResolveOne(cur, &t)) return rc;
  }
  return 0;
}

namespace {

// The catalog's column rows of one table.
int ColumnRows(SCR_CURSOR* cur, const SCR_TABLE& t, COLSET* rows) {
  const SCR_IDENTS& id = cur->analysis->idents;
  const std::string schema = t.owner.empty() ? "%" : SCR_PatternOf(t.owner, id);
  const std::string table = SCR_PatternOf(t.table, id);
  DRV_CatalogArgs a;
  a.catalog = OrNull(t.qualifier);
  a.schema = schema.c_str();
  a.name = table.c_str();
  a.extra = "%";
  return TableColumns(cur, t, a, rows);
}

}  // namespace

int SCR_NullableColumns(SCR_CURSOR* cur, const SCR_TABLE& t, std::vector<std::string>* out) {
  if (cur == nullptr || cur->analysis == nullptr || out == nullptr) return ERR_GENERAL;
  COLSET rows{};
  if (int rc = ColumnRows(cur, t, &rows)) return rc;
  for (uint32_t r = 0; r < rows.rows_held; ++r) {
    if (!Is(&rows, kColTable, r, t.table)) continue;
    if (!t.owner.empty() && !Is(&rows, kColSchem, r, t.owner)) continue;
    // A column the catalog cannot vouch for counts as one that may hold NULL.
    int64_t nullable = SQL_NULLABLE_UNKNOWN;
    SCR_CellInt(&rows, kColNullable, r, &nullable);
    std::string name;
    if (nullable != SQL_NO_NULLS && SCR_CellText(&rows, kColName, r, &name)) out->push_back(name);
  }
  ColSetFreeColumns(&rows);
  return 0;
}

int scs_p_GetTblColDescs(SCR_CURSOR* cur, const std::vector<SCR_TABLE>& tables, size_t first,
                         size_t count, bool skipLong, std::vector<SCR_COLDESC>* out) {
  if (cur == nullptr || cur->analysis == nullptr || out == nullptr) return ERR_GENERAL;
  for (size_t i = first; i < first + count && i < tables.size(); ++i) {
    const SCR_TABLE& t = tables[i];
    COLSET rows{};
    if (int rc = ColumnRows(cur, t, &rows)) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "scs_p_GetTblColDescs: DRV_DDColumns failed.");
      return rc;
    }
    size_t added = 0;
    for (uint32_t r = 0; r < rows.rows_held; ++r) {
      if (!Is(&rows, kColTable, r, t.table)) continue;
      if (!t.owner.empty() && !Is(&rows, kColSchem, r, t.owner)) continue;
      int64_t type = 0, size = 0, digits = 0;
      SCR_CellInt(&rows, kColType, r, &type);
      if (skipLong &&
          (type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY || type == SQL_WLONGVARCHAR))
        continue;
      SCR_COLDESC d{};
      std::string name;
      if (!SCR_CellText(&rows, kColName, r, &name) || !SCR_SetName(d.name, name) ||
          !SCR_SetName(d.table, t.table) || !SCR_SetName(d.alias, t.alias) ||
          !SCR_SetName(d.owner, t.owner) || !SCR_SetName(d.qualifier, t.qualifier)) {
        ColSetFreeColumns(&rows);
        return ERR_GENERAL;
      }
      SCR_CellInt(&rows, kColSize, r, &size);
      if (type == SQL_NUMERIC || type == SQL_DECIMAL) SCR_CellInt(&rows, kColDigits, r, &digits);
      d.sqlType = static_cast<int16_t>(type);
      d.columnSize = static_cast<uint32_t>(size);
      d.decimalDigits = static_cast<uint16_t>(digits);
      d.kind = SCR_COL_COLUMN;
      out->push_back(d);
      ++added;
    }
    ColSetFreeColumns(&rows);
    if (added == 0) return ERR_GENERAL;
  }
  return 0;
}

void SCR_ParamDescFromCol(const SCR_COLDESC& col, SCR_PARAMDESC* out) {
  out->sqlType = col.sqlType;
  out->columnSize = col.columnSize;
  out->decimalDigits = col.decimalDigits;
  out->kind = 1;
  switch (col.sqlType) {
    case SQL_WLONGVARCHAR:
    case SQL_WVARCHAR:
    case SQL_WCHAR: out->cType = SQL_C_WCHAR; break;
    case SQL_BIT: out->cType = SQL_C_BIT; break;
    case SQL_TINYINT: out->cType = SQL_C_TINYINT; break;
    case SQL_LONGVARBINARY:
    case SQL_VARBINARY:
    case SQL_BINARY: out->cType = SQL_C_BINARY; break;
    case SQL_INTEGER: out->cType = SQL_C_LONG; break;
    case SQL_SMALLINT: out->cType = SQL_C_SHORT; break;
    case SQL_FLOAT:
    case SQL_DOUBLE: out->cType = SQL_C_DOUBLE; break;
    case SQL_REAL: out->cType = SQL_C_FLOAT; break;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP: out->cType = col.sqlType; break;
    default: out->cType = SQL_C_CHAR; break;
  }
}

void SCR_BindParams(SCR_CURSOR* cur, const std::vector<SCR_COLDESC>& cols) {
  for (const SCR_COLDESC& c : cols) {
    SCR_PARAMDESC p{};
    SCR_ParamDescFromCol(c, &p);
    cur->analysis->params.push_back(p);
  }
}
