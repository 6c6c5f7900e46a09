// Statement options, ODBC 2 form: SQLSetStmtOption and SQLGetStmtOption, the
// setter and getter the ODBC 3 attributes share, and the connection's
// statement defaults.
#include "driver/stmtopt.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "driver/ops.h"
#include "driver/stmt.h"
#include "driver/stmtopt_internal.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"

namespace {

using namespace stmtopt;

constexpr uint64_t kMinMaxLength = 8192;

// Driver options the agent alone knows; none is stored here.
bool AgentOnlyOption(uint16_t o) {
  switch (o) {
    case 1225:
    case QMR_STMT_OPTION_TEXT:
    case 1227:
    case 1228:
    case 1229:
    case 1250:
    case 1251:
    case 1260:
    case 1261:
    case 1264:
    case 1265:
    case 1268:
    case 1276:
    case 1277:
    case 1278: return true;
    default: return false;
  }
}

uint32_t Clamp32(uint64_t v) { return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v); }

// The agent chose another value: read it back into *stored. A failed read
// keeps the old value; the call still reports the change.
template <class T>
DRV_Return ChangedByAgent(StmtHandle* stmt, uint16_t option, T* stored) {
  uint32_t v = 0;
  if (AgentGet(stmt, OPT_STMT_INT | option, &v) == 0) *stored = static_cast<T>(v);
  return Changed(stmt);
}

DRV_Return SetQueryTimeout(StmtHandle* stmt, uint64_t value) {
  // Negative seconds mean none; more than a Java int can hold is the most it can.
  const int64_t asked = static_cast<int64_t>(value);
  uint32_t v = asked < 0 ? 0 : (asked > INT32_MAX ? INT32_MAX : static_cast<uint32_t>(asked));
  const uint32_t code = AgentSet(stmt, OPT_STMT_INT | SQL_QUERY_TIMEOUT, &v);
  if (code == 0) {
    stmt->queryTimeout = v;
    return asked > INT32_MAX ? Changed(stmt) : SQL_SUCCESS;
  }
  if (code == ERR_VALUE_CHANGED)
    return ChangedByAgent(stmt, SQL_QUERY_TIMEOUT, &stmt->queryTimeout);
  if (code == ERR_NOT_CAPABLE) {
    stmt->queryTimeout = 0;
    return Changed(stmt);
  }
  return AgentFail(stmt, code);
}

DRV_Return SetMaxRows(StmtHandle* stmt, uint64_t value) {
  uint32_t v = Clamp32(value);
  const uint32_t code = AgentSet(stmt, OPT_STMT_INT | SQL_MAX_ROWS, &v);
  if (code == 0) {
    stmt->maxRows = value;
    return SQL_SUCCESS;
  }
  if (code == ERR_VALUE_CHANGED) return ChangedByAgent(stmt, SQL_MAX_ROWS, &stmt->maxRows);
  return AgentFail(stmt, code);
}

DRV_Return SetMaxLength(StmtHandle* stmt, uint64_t value) {
  if (stmt->conn == nullptr || stmt->conn->cap0x1000 == 0) {
    // The database side cannot cut long values: only "no limit" holds.
    stmt->maxLength = 0;
    return value != 0 ? Changed(stmt) : SQL_SUCCESS;
  }
  if (stmt->state == kStmtPrepared) return Fail(stmt, ERR_NOT_NOW);
  const bool raised = value > 0 && value < kMinMaxLength;
  const uint64_t wanted = raised ? kMinMaxLength : value;
  uint32_t v = Clamp32(wanted);
  const uint32_t code = AgentSet(stmt, OPT_STMT_INT | SQL_MAX_LENGTH, &v);
  if (code == ERR_VALUE_CHANGED) return ChangedByAgent(stmt, SQL_MAX_LENGTH, &stmt->maxLength);
  if (code != 0) return AgentFail(stmt, code);
  stmt->maxLength = wanted;
  return raised ? Changed(stmt) : SQL_SUCCESS;
}

// Cursor type, concurrency, keyset size, simulate cursor: the agent
// negotiates; a refusal is an option value it cannot take at all.
DRV_Return SetCursorOption(StmtHandle* stmt, uint16_t option, uint64_t value) {
  SCR_CURSOR& cur = stmt->cursor;
  uint32_t* stored = nullptr;
  switch (option) {
    case SQL_CURSOR_TYPE: stored = &cur.cursorType; break;
    case SQL_CONCURRENCY: stored = &cur.concurrency; break;
    case SQL_KEYSET_SIZE: stored = &cur.keysetSize; break;
    default: stored = &cur.option1; break;  // SQL_SIMULATE_CURSOR
  }
  uint32_t v = Clamp32(value);
  const uint32_t code = AgentSet(stmt, OPT_STMT_INT | option, &v);
  DRV_Return rc = SQL_SUCCESS;
  if (code == 0) {
    *stored = v;
  } else if (code == ERR_VALUE_CHANGED) {
    rc = ChangedByAgent(stmt, option, stored);
  } else {
    return AgentFail(stmt, ERR_OPTION_RANGE);
  }
  // What the application asked for is what preparation asks for again
  // when the agent lowered it for one statement.
  if (option == SQL_CURSOR_TYPE) cur.cursorTypeRequested = Clamp32(value);
  if (option == SQL_CONCURRENCY) cur.concurrencyRequested = Clamp32(value);
  return rc;
}

// The rowset size follows into the current ARD, whose array size is the
// same value seen from ODBC 3.
void NoteRowsetSize(StmtHandle* stmt, uint32_t size) {
  if (size != stmt->cursor.rowsetSize) {
    stmt->cursor.prevRowsetSize = stmt->cursor.rowsetSize;
    stmt->cursor.flags |= SCR_FLAG_ROWSET_CHANGED;
  }
  stmt->cursor.rowsetSize = size;
  // The ARD in use holds it: an installed ARD's size must not leak into the
  // implicit one, which the statement returns to when the other is freed.
  DescHandle* ard = stmt->ard != nullptr ? stmt->ard : stmt->implicitArd;
  if (ard != nullptr) ard->arraySize = size;
}

DRV_Return SetRowsetSize(StmtHandle* stmt, uint64_t value) {
  const uint32_t size = value == 0 ? 1 : Clamp32(value);
  // A forward-only cursor in the middle of a fetch block that it hands out
  // row by row keeps its rowset size until the block is used up.
  const bool midBlock =
      stmt->state == kStmtPrepared && stmt->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY &&
      stmt->cursor.rowsetSize == 1 && stmt->rowIndex > 0 && stmt->rowIndex < stmt->rows.rows_held;
  if (midBlock) return Changed(stmt);
  uint32_t v = size;
  const uint32_t code = AgentSet(stmt, OPT_STMT_INT | SQL_ROWSET_SIZE, &v);
  if (code == 0) {
    NoteRowsetSize(stmt, size);
    return SQL_SUCCESS;
  }
  if (code != ERR_VALUE_CHANGED) return AgentFail(stmt, code);
  uint32_t chosen = size;
  if (AgentGet(stmt, OPT_STMT_INT | SQL_ROWSET_SIZE, &chosen) != 0 || chosen == 0) chosen = size;
  NoteRowsetSize(stmt, chosen);
  return Changed(stmt);
}

DRV_Return SetRetrieveData(StmtHandle* stmt, uint64_t value) {
  uint32_t v = Clamp32(value);
  const uint32_t code = AgentSet(stmt, OPT_STMT_INT | SQL_RETRIEVE_DATA, &v);
  if (code != 0 && code != ERR_VALUE_CHANGED) {
    return AgentFail(stmt, ERR_OPTION_RANGE);
  }
  stmt->cursor.retrieveData = v;
  return code == ERR_VALUE_CHANGED ? Changed(stmt) : SQL_SUCCESS;
}

// Driver options 1050, 1052 and 1054: stored beside the agent's own copy. A
// refusal stores nothing and is an error, never a silent success.
DRV_Return SetStoredDriverOption(StmtHandle* stmt, uint16_t option, uint64_t value,
                                 uint32_t* stored) {
  uint32_t v = Clamp32(value);
  const uint32_t code = AgentSet(stmt, OPT_STMT_INT | option, &v);
  if (code == 0) {
    *stored = v;
    return SQL_SUCCESS;
  }
  if (code == ERR_VALUE_CHANGED) return ChangedByAgent(stmt, option, stored);
  return AgentFail(stmt, ERR_OPTION_RANGE);
}

DRV_Return SetAgentOnlyOption(StmtHandle* stmt, uint16_t option, uint64_t value) {
  uint32_t code;
  if (option == QMR_STMT_OPTION_TEXT) {
    // The value is a text.
    const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
    if (text == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
    code = AgentSet(stmt, OPT_STMT_TEXT | option, const_cast<char*>(text));
  } else {
    uint32_t v = Clamp32(value);
    code = AgentSet(stmt, OPT_STMT_INT | option, &v);
  }
  if (code == 0) return SQL_SUCCESS;
  if (code == ERR_NOT_CAPABLE) return Fail(stmt, ERR_OPTION_RANGE);
  return AgentFail(stmt, code);
}

// Writes an option's value in the width the caller's form asks for.
DRV_Return PutOption(void* value, uint64_t v, bool wide64) {
  if (wide64) return Put64(value, v);
  return Put32(value, static_cast<uint32_t>(v));
}

// The absolute number of the cursor's current row, from the cursor library.
DRV_Return CurrentRowNumber(StmtHandle* stmt, void* value, bool wide64) {
  const int32_t pos = stmt->cursor.position;
  uint32_t n = 0;
  const int code = pos < 1 ? ERR_INVALID_CURSOR_STATE
                           : SCR_GetRowNumber(&stmt->cursor, static_cast<uint32_t>(pos - 1), &n);
  if (code != 0) return Fail(stmt, code);
  return PutOption(value, n, wide64);
}

// Options the ODBC 2 form answers 64 bits wide (SQLULEN there as well).
bool Option2IsWide(uint16_t option) {
  switch (option) {
    case SQL_MAX_ROWS:
    case SQL_MAX_LENGTH:
    case SQL_KEYSET_SIZE:
    case SQL_ROWSET_SIZE:
    case SQL_ROW_NUMBER:
    case SQL_ATTR_PARAMSET_SIZE:
    case SQL_ATTR_ROW_ARRAY_SIZE: return true;
    default: return false;
  }
}

DRV_Return GetAgentValue(StmtHandle* stmt, uint16_t option, uint32_t* v) {
  const uint32_t code = AgentGet(stmt, OPT_STMT_INT | option, v);
  if (code == 0) return SQL_SUCCESS;
  return AgentFail(stmt, ERR_OPTION_RANGE);
}

}  // namespace

DRV_Return STMT_SetOption(StmtHandle* stmt, uint16_t option, uint64_t value) {
  switch (option) {
    case SQL_QUERY_TIMEOUT: return SetQueryTimeout(stmt, value);
    case SQL_MAX_ROWS: return SetMaxRows(stmt, value);
    case SQL_NOSCAN: {
      uint32_t v = value != 0 ? 1 : 0;
      const uint32_t code = AgentSet(stmt, OPT_STMT_INT | SQL_NOSCAN, &v);
      if (code != 0) return AgentFail(stmt, code);
      stmt->noScan = v;
      return SQL_SUCCESS;
    }
    case SQL_MAX_LENGTH: return SetMaxLength(stmt, value);
    case SQL_ASYNC_ENABLE: stmt->asyncEnable = value != 0 ? 1 : 0; return SQL_SUCCESS;
    case SQL_BIND_TYPE:
      stmt->bindType = Clamp32(value);
      // The implicit ARD answers the same value through the descriptor calls.
      if (stmt->implicitArd != nullptr) stmt->implicitArd->bindType = stmt->bindType;
      return SQL_SUCCESS;
    case SQL_CURSOR_TYPE:
    case SQL_CONCURRENCY:
    case SQL_KEYSET_SIZE:
    case SQL_SIMULATE_CURSOR: return SetCursorOption(stmt, option, value);
    case SQL_ROWSET_SIZE: return SetRowsetSize(stmt, value);
    case SQL_RETRIEVE_DATA: return SetRetrieveData(stmt, value);
    case SQL_USE_BOOKMARKS: stmt->useBookmarks = value != 0 ? 1 : 0; return SQL_SUCCESS;
    case QMR_STMT_OPTION_1050: return SetStoredDriverOption(stmt, option, value, &stmt->option1050);
    case QMR_STMT_OPTION_1052: return SetStoredDriverOption(stmt, option, value, &stmt->option1052);
    case QMR_STMT_OPTION_1054: return SetStoredDriverOption(stmt, option, value, &stmt->option1054);
    default:
      if (AgentOnlyOption(option)) return SetAgentOnlyOption(stmt, option, value);
      return Fail(stmt, ERR_OPTION_RANGE);
  }
}

DRV_Return STMT_GetOption(StmtHandle* stmt, uint16_t option, void* value, bool wide) {
  if (value == nullptr) return SQL_SUCCESS;
  // The ODBC 3 form writes every numeric option as SQLULEN.
  const bool w = wide || Option2IsWide(option);
  const SCR_CURSOR& cur = stmt->cursor;
  switch (option) {
    case SQL_QUERY_TIMEOUT: return PutOption(value, stmt->queryTimeout, w);
    case SQL_MAX_ROWS:
    case SQL_NOSCAN: {
      // The agent's own value: it may have clamped what it was given.
      uint32_t v = 0;
      const DRV_Return rc = GetAgentValue(stmt, option, &v);
      if (rc != SQL_SUCCESS) return rc;
      return PutOption(value, v, w);
    }
    case SQL_MAX_LENGTH: return PutOption(value, stmt->maxLength, w);
    case SQL_ASYNC_ENABLE: return PutOption(value, stmt->asyncEnable, w);
    case SQL_BIND_TYPE: return PutOption(value, stmt->bindType, w);
    case SQL_CURSOR_TYPE: return PutOption(value, cur.cursorType, w);
    case SQL_CONCURRENCY: return PutOption(value, cur.concurrency, w);
    case SQL_KEYSET_SIZE: return PutOption(value, cur.keysetSize, w);
    case SQL_ROWSET_SIZE:
    case SQL_ATTR_ROW_ARRAY_SIZE: return PutOption(value, cur.rowsetSize, w);
    case SQL_SIMULATE_CURSOR: return PutOption(value, cur.option1, w);
    case SQL_RETRIEVE_DATA: return PutOption(value, cur.retrieveData, w);
    case SQL_USE_BOOKMARKS: return PutOption(value, stmt->useBookmarks, w);
    case SQL_GET_BOOKMARK:
      if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
      if (stmt->useBookmarks == 0) return Fail(stmt, ERR_NOT_NOW);
      return CurrentRowNumber(stmt, value, w);
    case SQL_ROW_NUMBER:
      if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
      if (cur.cursorType == SQL_CURSOR_FORWARD_ONLY) return PutOption(value, stmt->rowsFetched, w);
      return CurrentRowNumber(stmt, value, w);
    case SQL_ATTR_PARAMSET_SIZE:
      return PutOption(value, stmt->apd != nullptr ? stmt->apd->arraySize : 1, w);
    case QMR_STMT_OPTION_1050: return Put32(value, stmt->option1050);
    case QMR_STMT_OPTION_1052: return Put32(value, stmt->option1052);
    case QMR_STMT_OPTION_1054: return Put32(value, stmt->option1054);
    default: break;
  }
  if (!AgentOnlyOption(option)) return Fail(stmt, ERR_OPTION_RANGE);
  if (option == QMR_STMT_OPTION_TEXT) {
    // A text, copied whole as ODBC 2 answers text options.
    char buf[kAgentTextRoom] = {};
    const uint32_t code = AgentGetRaw(stmt, OPT_STMT_TEXT | option, buf, sizeof buf);
    if (code == ERR_NOT_SUPPORTED) return Fail(stmt, ERR_OPTION_RANGE);
    if (code != 0) return AgentFail(stmt, code);
    buf[sizeof buf - 1] = '\0';
    std::memcpy(value, buf, std::strlen(buf) + 1);
    return SQL_SUCCESS;
  }
  uint32_t v = 0;
  const uint32_t code = AgentGet(stmt, OPT_STMT_INT | option, &v);
  if (code == ERR_NOT_SUPPORTED) return Fail(stmt, ERR_OPTION_RANGE);
  if (code != 0) return AgentFail(stmt, code);
  return Put32(value, v);
}

DRV_Return DRV_SetStmtOptionOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto option = static_cast<uint16_t>(va_arg(args, int));
  const auto value = static_cast<uint64_t>(va_arg(args, SQLULEN));
  return STMT_SetOption(stmt, option, value);
}

DRV_Return DRV_GetStmtOptionOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto option = static_cast<uint16_t>(va_arg(args, int));
  void* value = va_arg(args, void*);
  return STMT_GetOption(stmt, option, value, false);
}
