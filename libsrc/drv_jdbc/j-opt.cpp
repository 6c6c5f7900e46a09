// Agent slot 1: connection and statement options.
#include <jni.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-opt.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"

namespace {

constexpr jint kFrame = 64;

uint32_t U32(const void* value) { return *static_cast<const uint32_t*>(value); }

uint32_t ConnOption(JdbcConn* c, uint32_t request, void* value) {
  switch (request) {
    case OPT_AUTOCOMMIT: return Connection::setAutoCommit(c, c->connection, U32(value) != 0);
    case OPT_ACCESS_MODE:  // applied by the statements of the connection
      c->readOnly = U32(value) != 0 ? 1 : 0;
      return 0;
    case OPT_TXN_ISOLATION:  // the SQL_TXN_ bits are JDBC's levels
      return Connection::setTransactionIsolation(c, c->connection,
                                                 static_cast<int32_t>(U32(value)));
    case OPT_CURRENT_CATALOG:
      return Connection::setCatalog(c, c->connection, static_cast<const char*>(value));
    case OPT_ODBC_VERSION: c->odbcVersion = U32(value); return 0;
    case OPT_MULTIPLE_ACTIVE: c->multipleActiveStmts = U32(value); return 0;
    default: return ERR_NOT_CAPABLE;
  }
}

uint32_t SetMaxRows(JdbcStmt* s, uint32_t rows) {
  // The connection string's MAXROWS caps what a statement may ask for; 0
  // asks for no limit, which the cap replaces too.
  const int32_t cap = s->conn != nullptr ? s->conn->settings.maxRows : 0;
  if (cap <= 0 || (rows != 0 && rows <= static_cast<uint32_t>(cap))) {
    s->maxRows = rows;
    return 0;
  }
  // A statement not created yet gets the limit when it is prepared.
  if (s->statement != nullptr) {
    const uint32_t rc = Statement::setMaxRows(s, s->statement, cap);
    if (rc != 0) return rc;
  }
  s->maxRows = static_cast<uint32_t>(cap);
  return ERR_VALUE_CHANGED;
}

uint32_t SetCursorType(JdbcStmt* s, uint32_t type) {
  uint32_t rc = negotiateCursorOption(s->conn, SQL_CURSOR_TYPE, &type);
  if (rc != 0 && rc != ERR_VALUE_CHANGED) return rc;
  // Without the capability questions the connection has no dynamic cursors:
  // the nearest is keyset-driven.
  if (type == SQL_CURSOR_DYNAMIC && (s->conn == nullptr || s->conn->dynCursorsEnabled == 0)) {
    type = SQL_CURSOR_KEYSET_DRIVEN;
    rc = ERR_VALUE_CHANGED;
  }
  s->cursorType = type;
  s->changedOptions |= OPT_CHANGED_CURSOR_TYPE;
  return rc;
}

uint32_t SetConcurrency(JdbcStmt* s, uint32_t concurrency) {
  const uint32_t rc = negotiateCursorOption(s->conn, SQL_CONCURRENCY, &concurrency);
  if (rc != 0 && rc != ERR_VALUE_CHANGED) return rc;
  s->concurrency = concurrency;
  return rc;
}

uint32_t SetKeysetSize(JdbcStmt* s, uint32_t size) {
  if (size != 0 && (s->conn == nullptr || s->conn->dynCursorsEnabled == 0)) {
    return ERR_VALUE_CHANGED;
  }
  uint32_t rc = 0;
  if (size > AGT_MAX_KEYSET_SIZE) {
    size = AGT_MAX_KEYSET_SIZE;
    rc = ERR_VALUE_CHANGED;
  }
  s->keysetSize = static_cast<int32_t>(size);
  s->changedOptions |= OPT_CHANGED_KEYSET;
  return rc;
}

uint32_t SetRowsetSize(JdbcStmt* s, uint32_t size) {
  uint32_t rc = 0;
  const bool limited = s->conn == nullptr || s->conn->settings.noRowsetSizeLimit == 0;
  if (limited && size > AGT_MAX_ROWSET_SIZE) {
    size = AGT_MAX_ROWSET_SIZE;
    rc = ERR_VALUE_CHANGED;
  }
  s->rowsetSize = static_cast<int32_t>(size);
  s->changedOptions |= OPT_CHANGED_ROWSET;
  s->fetchState &= static_cast<uint16_t>(~OPT_FETCH_STATE_ROWSET);
  return rc;
}

uint32_t StmtOption(JdbcStmt* s, uint32_t request, void* value) {
  const uint32_t v = U32(value);
  switch (request) {
    case OPT_QUERY_TIMEOUT: {  // kept for the Java statements made later
      if (s->statement != nullptr) {
        const uint32_t rc = Statement::setQueryTimeout(s, s->statement, static_cast<int32_t>(v));
        if (rc != 0) return rc;
      }
      s->queryTimeout = v;
      return 0;
    }
    case OPT_MAX_ROWS: return SetMaxRows(s, v);
    case OPT_NOSCAN: s->noScan = v != 0 ? 1 : 0; return 0;
    case OPT_MAX_LENGTH: s->maxLength = v; return 0;
    case OPT_CURSOR_TYPE: return SetCursorType(s, v);
    case OPT_CONCURRENCY: return SetConcurrency(s, v);
    case OPT_KEYSET_SIZE: return SetKeysetSize(s, v);
    case OPT_ROWSET_SIZE: return SetRowsetSize(s, v);
    case OPT_SIMULATE_CURSOR: s->simulateCursor = v; return 0;
    case OPT_RETRIEVE_DATA: s->retrieveData = v; return 0;
    case OPT_USE_BOOKMARKS: s->useBookmarks = v; return 0;
    case OPT_DESCRIBE_PARAMS: return v != 0 && s->paramsDescribed == 0 ? describeParams(s) : 0;
    case OPT_SETS_ONE_BY_ONE:  // the next execute's parameter sets one by one, never as a batch
      s->setsOneByOne = v != 0 ? 1 : 0;
      return 0;
    case OPT_DRIVER_1050:
      if (v != 1 && v != 2) return ERR_INVALID_ARGUMENT;
      s->option1050 = v;
      return 0;
    default: return ERR_NOT_CAPABLE;
  }
}

}  // namespace

uint32_t optApplyAfterCreate(JdbcStmt* s) {
  if (s == nullptr || s->statement == nullptr) return 0;
  if (s->queryTimeout != 0) {
    const uint32_t rc =
        Statement::setQueryTimeout(s, s->statement, static_cast<int32_t>(s->queryTimeout));
    if (rc != 0) return rc;
  }
  // A JDBC driver that does not take cursor names must not fail the
  // prepare: the agent answers the name itself.
  if (s->cursorName != nullptr && s->cursorName[0] != '\0' &&
      Statement::setCursorName(s, s->statement, s->cursorName) != 0) {
    errClear(&s->errors);
  }
  // Rows come a fetch block at a time, so the JDBC driver need not hold
  // more: one that can stream (PostgreSQL's without auto-commit) does. A
  // driver that refuses the hint reads as it would have.
  const uint32_t fetchRows = s->conn != nullptr ? s->conn->settings.fetchRows : 0;
  if (fetchRows != 0 &&
      Statement::setFetchSize(
          s, s->statement, static_cast<int32_t>(std::min<uint32_t>(fetchRows, 0x7FFFFFFF))) != 0) {
    errClear(&s->errors);
  }
  return 0;
}

extern "C" uint32_t DRV_SetOption(uint32_t h, uint32_t request, void* value) {
  switch (request & INFO_SCOPE_MASK) {
    case INFO_SCOPE_ENV: return AGT_Env(h) == nullptr ? ERR_INVALID_ARGUMENT : ERR_NOT_CAPABLE;
    case INFO_SCOPE_CONN: {
      JdbcConn* c = AGT_Conn(h);
      if (c == nullptr || value == nullptr) return ERR_INVALID_ARGUMENT;
      JNIEnv* env = attachJVM();
      if (env == nullptr) return ERR_GENERAL;
      c->jniEnv = env;
      JC_LocalFrame frame(env, kFrame);
      return ConnOption(c, request, value);
    }
    case INFO_SCOPE_STMT: {
      JdbcStmt* s = AGT_Stmt(h);
      if (s == nullptr || value == nullptr) return ERR_INVALID_ARGUMENT;
      JNIEnv* env = attachJVM();
      if (env == nullptr) return ERR_GENERAL;
      s->jniEnv = env;
      JC_LocalFrame frame(env, kFrame);
      return StmtOption(s, request, value);
    }
    default: return ERR_NOT_SUPPORTED;
  }
}
