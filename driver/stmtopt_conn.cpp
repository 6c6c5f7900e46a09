// The connection's statement defaults: set through SQLSetConnectOption by
// ODBC 2 applications, applied to the statements that exist and copied into
// every new one.
#include <sql.h>
#include <sqlext.h>

#include "driver/stmtopt.h"
#include "driver/stmtopt_internal.h"
#include "util/errcodes.h"

namespace {

// Stores a default; false for an option that is not a statement option.
bool StoreDefault(ConnStmtDefaults* d, uint16_t option, uint64_t value) {
  const auto v32 = static_cast<uint32_t>(value > UINT32_MAX ? UINT32_MAX : value);
  switch (option) {
    case SQL_QUERY_TIMEOUT: {
      const auto asked = static_cast<int64_t>(value);
      d->queryTimeout =
          asked < 0 ? 0 : (asked > INT32_MAX ? INT32_MAX : static_cast<uint32_t>(asked));
      return true;
    }
    case SQL_MAX_ROWS: d->maxRows = value; return true;
    case SQL_NOSCAN: d->noScan = value != 0 ? 1 : 0; return true;
    case SQL_MAX_LENGTH: d->maxLength = value; return true;
    case SQL_BIND_TYPE: d->bindType = v32; return true;
    case SQL_CURSOR_TYPE: d->cursorType = v32; return true;
    case SQL_CONCURRENCY: d->concurrency = v32; return true;
    case SQL_KEYSET_SIZE: d->keysetSize = v32; return true;
    case SQL_ROWSET_SIZE: d->rowsetSize = v32 == 0 ? 1 : v32; return true;
    case SQL_SIMULATE_CURSOR: d->simulateCursor = v32; return true;
    case SQL_RETRIEVE_DATA: d->retrieveData = v32; return true;
    case SQL_USE_BOOKMARKS: d->useBookmarks = value != 0 ? 1 : 0; return true;
    default: return false;
  }
}

}  // namespace

void STMT_ApplyConnDefaults(StmtHandle* stmt) {
  if (stmt->conn == nullptr) return;
  const ConnStmtDefaults d = stmt->conn->stmtDefaults;
  const ConnStmtDefaults fresh{};
  stmt->asyncEnable = stmt->conn->asyncEnable;
  // Values the core alone keeps are copied; those the agent must know are
  // set as the application would set them, so that the agent's statement
  // runs with them too. Defaults that equal a new statement's need no call.
  stmt->bindType = d.bindType;
  if (stmt->implicitArd != nullptr) stmt->implicitArd->bindType = d.bindType;
  stmt->useBookmarks = d.useBookmarks;
  const struct {
    uint16_t option;
    uint64_t value;
    bool differs;
  } sent[] = {
      {SQL_QUERY_TIMEOUT, d.queryTimeout, d.queryTimeout != fresh.queryTimeout},
      {SQL_MAX_ROWS, d.maxRows, d.maxRows != fresh.maxRows},
      {SQL_NOSCAN, d.noScan, d.noScan != fresh.noScan},
      {SQL_MAX_LENGTH, d.maxLength, d.maxLength != fresh.maxLength},
      {SQL_CURSOR_TYPE, d.cursorType, d.cursorType != fresh.cursorType},
      {SQL_CONCURRENCY, d.concurrency, d.concurrency != fresh.concurrency},
      {SQL_KEYSET_SIZE, d.keysetSize, d.keysetSize != fresh.keysetSize},
      {SQL_ROWSET_SIZE, d.rowsetSize, d.rowsetSize != fresh.rowsetSize},
      {SQL_SIMULATE_CURSOR, d.simulateCursor, d.simulateCursor != fresh.simulateCursor},
      {SQL_RETRIEVE_DATA, d.retrieveData, d.retrieveData != fresh.retrieveData},
  };
  for (const auto& s : sent) {
    if (!s.differs) continue;
    // A value the agent does not take leaves the statement at its own
    // default; the allocation itself is not the place to fail.
    STMT_SetOption(stmt, s.option, s.value);
    DIAG_Clear(&stmt->diag);
  }
  // The first preparation starts from the values now in place.
  stmt->cursor.prevRowsetSize = stmt->cursor.rowsetSize;
  stmt->cursor.flags &= static_cast<uint16_t>(~SCR_FLAG_ROWSET_CHANGED);
}

DRV_Return CONN_SetStmtDefault(ConnHandle* conn, uint16_t option, uint64_t value) {
  if (!StoreDefault(&conn->stmtDefaults, option, value)) return Fail(conn, ERR_OPTION_RANGE);
  for (StmtHandle* s = conn->firstStmt; s != nullptr; s = s->next) {
    // The statement's own diagnostics (of its last call) stay as they are;
    // what this call produces is the connection's, the handle the
    // application called.
    const DiagArea kept = s->diag;
    s->diag = DiagArea{};
    const DRV_Return rc = STMT_SetOption(s, option, value);
    const DiagArea produced = s->diag;
    s->diag = kept;
    if (rc == SQL_SUCCESS) {
      DiagArea drop = produced;
      DIAG_Clear(&drop);
      continue;
    }
    DIAG_Clear(&conn->diag);
    conn->diag = produced;
    return rc;
  }
  return SQL_SUCCESS;
}
