// The diagnostics of the four handle kinds and the operations behind
// SQLError, SQLGetDiagRec and SQLGetDiagField.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/diag.h"
#include "driver/dispatch.h"
#include "driver/handles.h"
#include "drv_jdbc/agent_codes.h"
#include "util/copyout.h"
#include "util/errcodes.h"
#include "util/textconv.h"

void ENV_AddError(EnvHandle* env, const char* text, int32_t native) {
  if (env != nullptr) DIAG_Add(&env->diag, text, native);
}
void CONN_AddError(ConnHandle* conn, const char* text, int32_t native) {
  if (conn != nullptr) DIAG_Add(&conn->diag, text, native);
}
void STMT_AddError(StmtHandle* stmt, const char* text, int32_t native) {
  if (stmt != nullptr) DIAG_Add(&stmt->diag, text, native);
}
void DESC_AddError(DescHandle* desc, const char* text, int32_t native) {
  if (desc != nullptr) DIAG_Add(&desc->diag, text, native);
}
char* ENV_PopError(EnvHandle* env, int32_t* native) {
  return env != nullptr ? DIAG_Pop(&env->diag, native) : nullptr;
}
char* CONN_PopError(ConnHandle* conn, int32_t* native) {
  return conn != nullptr ? DIAG_Pop(&conn->diag, native) : nullptr;
}
char* STMT_PopError(StmtHandle* stmt, int32_t* native) {
  return stmt != nullptr ? DIAG_Pop(&stmt->diag, native) : nullptr;
}
char* DESC_PopError(DescHandle* desc, int32_t* native) {
  return desc != nullptr ? DIAG_Pop(&desc->diag, native) : nullptr;
}

uint32_t DIAG_PullAgentErrors(DiagArea* d, const DRV_Agent* agent, uint32_t agentHandle) {
  if (d == nullptr || agent == nullptr || agent->ops == nullptr ||
      agent->ops->DRV_GetError == nullptr)
    return 0;
  DRV_ErrorBatch batch{};
  if (agent->ops->DRV_GetError(agentHandle, &batch) != 0) return 0;
  uint32_t added = 0;
  for (uint32_t i = 0; i < batch.list.count; ++i) {
    const char* text = batch.list.texts != nullptr ? batch.list.texts[i] : nullptr;
    if (text == nullptr) continue;
    bool own = batch.ownState != nullptr && batch.ownState[i] != 0;
    DIAG_AddEx(d, text, static_cast<int32_t>(batch.list.native), own);
    ++added;
  }
  DRV_FreeErrorBatch(&batch);
  return added;
}

uint32_t DIAG_EnvVersion(const EnvHandle* env) { return env != nullptr ? env->odbcVersion : 3; }
uint32_t DIAG_ConnVersion(const ConnHandle* conn) {
  return conn != nullptr && conn->env != nullptr ? conn->env->odbcVersion : 3;
}
uint32_t DIAG_StmtVersion(const StmtHandle* stmt) {
  return stmt != nullptr ? DIAG_ConnVersion(stmt->conn) : 3;
}
uint32_t DIAG_DescVersion(const DescHandle* desc) {
  if (desc == nullptr) return 3;
  if (desc->conn != nullptr) return DIAG_ConnVersion(desc->conn);
  if (desc->stmt != nullptr) return DIAG_StmtVersion(desc->stmt);
  return 3;  // a descriptor without an owner
}

int ERR_GetDiag(EnvHandle* env, ConnHandle* conn, StmtHandle* stmt, DescHandle* desc, char* state,
                int32_t* native, char* msg, int32_t msgSize, int32_t* lenOut, int mode) {
  if (stmt != nullptr)
    return DIAG_Format(&stmt->diag, DIAG_StmtVersion(stmt), mode, state, native, msg, msgSize,
                       lenOut);
  if (conn != nullptr)
    return DIAG_Format(&conn->diag, DIAG_ConnVersion(conn), mode, state, native, msg, msgSize,
                       lenOut);
  if (env != nullptr)
    return DIAG_Format(&env->diag, DIAG_EnvVersion(env), mode, state, native, msg, msgSize, lenOut);
  if (desc != nullptr)  // a descriptor's diagnostics are read, never consumed
    return DIAG_Format(&desc->diag, DIAG_DescVersion(desc), 2, state, native, msg, msgSize, lenOut);
  if (lenOut != nullptr) *lenOut = 0;
  return SQL_NO_DATA;
}

namespace {

enum Kind { kEnv, kDbc, kStmt, kDesc };

struct Target {
  DiagArea* diag = nullptr;
  uint32_t version = 3;
  StmtHandle* stmt = nullptr;
  ConnHandle* conn = nullptr;  // the connection whose data-source name is shown
};

Target Resolve(Kind kind, void* handle) {
  Target t;
  switch (kind) {
    case kEnv: {
      auto* e = static_cast<EnvHandle*>(handle);
      t.diag = &e->diag;
      t.version = DIAG_EnvVersion(e);
      break;
    }
    case kDbc: {
      auto* c = static_cast<ConnHandle*>(handle);
      t.diag = &c->diag;
      t.version = DIAG_ConnVersion(c);
      t.conn = c;
      break;
    }
    case kStmt: {
      auto* s = static_cast<StmtHandle*>(handle);
      t.diag = &s->diag;
      t.version = DIAG_StmtVersion(s);
      t.stmt = s;
      t.conn = s->conn;
      break;
    }
    case kDesc: {
      auto* d = static_cast<DescHandle*>(handle);
      t.diag = &d->diag;
      t.version = DIAG_DescVersion(d);
      t.conn = DESC_Conn(d);
      break;
    }
  }
  return t;
}

// Records the record-number calls count: the list, else the pending code.
uint32_t RecordCount(const DiagArea* d) {
  if (d->count > 0) return d->count;
  return d->pending != 0 ? 1 : 0;
}

int16_t ClampLen(int32_t n) {
  return n > 32767 ? static_cast<int16_t>(32767) : static_cast<int16_t>(n);
}

DRV_Return ErrorOp(Kind kind, void* handle, va_list ap) {
  auto* state = va_arg(ap, SQLCHAR*);
  auto* native = va_arg(ap, SQLINTEGER*);
  auto* msg = va_arg(ap, SQLCHAR*);
  int size = va_arg(ap, int);
  auto* len = va_arg(ap, SQLSMALLINT*);
  Target t = Resolve(kind, handle);
  if (size < 0) {
    DIAG_AddCode(t.diag, ERR_INVALID_LENGTH);
    return SQL_ERROR;
  }
  int32_t full = 0;
  int rc = DIAG_Format(t.diag, t.version, kind == kDesc ? 2 : 1, reinterpret_cast<char*>(state),
                       native, reinterpret_cast<char*>(msg), size, &full);
  if (len != nullptr) *len = ClampLen(full);
  return static_cast<DRV_Return>(rc);
}

DRV_Return GetDiagRecOp(Kind kind, void* handle, va_list ap) {
  int rec = va_arg(ap, int);
  auto* state = va_arg(ap, SQLCHAR*);
  auto* native = va_arg(ap, SQLINTEGER*);
  auto* msg = va_arg(ap, SQLCHAR*);
  int size = va_arg(ap, int);
  auto* len = va_arg(ap, SQLSMALLINT*);
  Target t = Resolve(kind, handle);
  uint32_t count = RecordCount(t.diag);
  if (rec > 0 && static_cast<uint32_t>(rec) > (count == 0 ? 1 : count)) {
    if (state != nullptr) std::memcpy(state, "00000", 6);
    if (native != nullptr) *native = 0;
    if (msg != nullptr && size > 0) msg[0] = '\0';
    if (len != nullptr) *len = 0;
    return SQL_NO_DATA;
  }
  if (rec <= 0) return SQL_ERROR;  // record numbers start at 1
  if (size < 0) {
    DIAG_AddCode(t.diag, ERR_INVALID_LENGTH);
    return SQL_ERROR;
  }
  t.diag->lastRec = static_cast<uint16_t>(rec);
  int32_t full = 0;
  int rc = DIAG_Format(t.diag, t.version, 2, reinterpret_cast<char*>(state), native,
                       reinterpret_cast<char*>(msg), size, &full);
  if (len != nullptr) *len = ClampLen(full);
  return static_cast<DRV_Return>(rc);
}

// Writes a text field in the caller's width. SQL_SUCCESS_WITH_INFO when it
// was cut; nothing is written into a buffer without room for a terminator.
DRV_Return PutText(const std::string& text, void* value, int size, SQLSMALLINT* len, int width) {
  if (width == 'W') {
    int16_t units = 0;
    int rc = utf8_to_utf16_out(text.c_str(), static_cast<char16_t*>(value), size / 2, &units);
    if (len != nullptr) *len = ClampLen(static_cast<int32_t>(units) * 2);
    return rc < 0 && value != nullptr ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  }
  uint16_t full = 0;
  int rc = STR_CopyOutW(text.c_str(), static_cast<char*>(value), size, &full);
  if (len != nullptr) *len = ClampLen(full);
  return rc < 0 && value != nullptr ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

bool IsTextField(int id) {
  switch (id) {
    case SQL_DIAG_SQLSTATE:
    case SQL_DIAG_MESSAGE_TEXT:
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
    case SQL_DIAG_DYNAMIC_FUNCTION: return true;
    default: return false;
  }
}

DRV_Return HeaderField(const Target& t, int id, void* value, int size, SQLSMALLINT* len,
                       int width) {
  switch (id) {
    case SQL_DIAG_RETURNCODE: return SQL_SUCCESS;
    case SQL_DIAG_NUMBER:
      if (value != nullptr)
        *static_cast<SQLINTEGER*>(value) = static_cast<SQLINTEGER>(RecordCount(t.diag));
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
      if (t.stmt == nullptr) return SQL_ERROR;
      if (value == nullptr) return SQL_SUCCESS;
      const DRV_Agent* a = t.stmt->agent;
      if (a == nullptr || a->ops == nullptr || a->ops->DRV_GetInfo == nullptr)
        return Fail(t.stmt, ERR_FUNCTION_SEQUENCE);
      int32_t n = 0;
      uint16_t got = 0;
      uint32_t rc = a->ops->DRV_GetInfo(t.stmt->agentStmt, INFO_ROW_COUNT, &n, sizeof n, &got);
      if (rc != 0) return Fail(t.stmt, static_cast<int32_t>(rc));
      *static_cast<SQLLEN*>(value) = n;
      return SQL_SUCCESS;
    }
    case SQL_DIAG_DYNAMIC_FUNCTION:
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE: {
      if (t.stmt == nullptr) return SQL_ERROR;
      if (value == nullptr) return SQL_SUCCESS;
      // The statement record does not yet say whether its SQL is a query;
      // until it does, no dynamic function is reported.
      const bool query = false;
      if (id == SQL_DIAG_DYNAMIC_FUNCTION_CODE) {
        *static_cast<SQLINTEGER*>(value) = query ? SQL_DIAG_SELECT_CURSOR : 0;
        return SQL_SUCCESS;
      }
      if (size < 0) {
        DIAG_AddCode(t.diag, ERR_INVALID_LENGTH);
        return SQL_ERROR;
      }
      return PutText(query ? "SELECT CURSOR" : "", value, size, len, width);
    }
    default: return SQL_ERROR;
  }
}

DRV_Return GetDiagFieldOp(Kind kind, void* handle, va_list ap) {
  int rec = va_arg(ap, int);
  int id = va_arg(ap, int);
  void* value = va_arg(ap, void*);
  int size = va_arg(ap, int);
  auto* len = va_arg(ap, SQLSMALLINT*);
  int width = va_arg(ap, int);
  if (handle == nullptr) return SQL_INVALID_HANDLE;
  Target t = Resolve(kind, handle);
  uint32_t count = RecordCount(t.diag);
  if (rec > 0 && static_cast<uint32_t>(rec) > (count == 0 ? 1 : count)) return SQL_NO_DATA;
  if (rec < 0) return SQL_ERROR;
  if (rec == 0) return HeaderField(t, id, value, size, len, width);

  if (IsTextField(id) && size < 0) {
    DIAG_AddCode(t.diag, ERR_INVALID_LENGTH);
    return SQL_ERROR;
  }
  t.diag->lastRec = static_cast<uint16_t>(rec);
  // The whole message, however long; the copy-out below cuts it to the
  // caller's buffer.
  DiagText d;
  bool found = DIAG_Read(t.diag, t.version, 2, &d);
  switch (id) {
    case SQL_DIAG_SQLSTATE: return PutText(found ? d.state : "00000", value, size, len, width);
    case SQL_DIAG_NATIVE:
      if (value != nullptr) *static_cast<SQLINTEGER*>(value) = found ? d.native : 0;
      return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT:
      if (!found) return SQL_NO_DATA;
      return PutText(d.message, value, size, len, width);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      if (!found) return SQL_NO_DATA;
      return PutText(std::strncmp(d.state, "IM", 2) == 0 ? "ODBC 3.0" : "ISO 9075", value, size,
                     len, width);
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return PutText(kind == kEnv || t.conn == nullptr ? std::string() : t.conn->dsn, value, size,
                     len, width);
    case SQL_DIAG_ROW_NUMBER:
      if (t.stmt == nullptr) return SQL_ERROR;
      if (value != nullptr)
        *static_cast<SQLLEN*>(value) = d.row > 0 ? d.row : SQL_ROW_NUMBER_UNKNOWN;
      return SQL_SUCCESS;
    case SQL_DIAG_COLUMN_NUMBER:
      if (t.stmt == nullptr) return SQL_ERROR;
      if (value != nullptr) *static_cast<SQLINTEGER*>(value) = SQL_COLUMN_NUMBER_UNKNOWN;
      return SQL_SUCCESS;
    default: return SQL_SUCCESS;
  }
}

}  // namespace

DRV_Return DRV_ErrorEnvOp(void* h, va_list ap) { return ErrorOp(kEnv, h, ap); }
DRV_Return DRV_ErrorDbcOp(void* h, va_list ap) { return ErrorOp(kDbc, h, ap); }
DRV_Return DRV_ErrorStmtOp(void* h, va_list ap) { return ErrorOp(kStmt, h, ap); }
DRV_Return DRV_GetDiagRecEnvOp(void* h, va_list ap) { return GetDiagRecOp(kEnv, h, ap); }
DRV_Return DRV_GetDiagRecDbcOp(void* h, va_list ap) { return GetDiagRecOp(kDbc, h, ap); }
DRV_Return DRV_GetDiagRecStmtOp(void* h, va_list ap) { return GetDiagRecOp(kStmt, h, ap); }
DRV_Return DRV_GetDiagRecDescOp(void* h, va_list ap) { return GetDiagRecOp(kDesc, h, ap); }
DRV_Return DRV_GetDiagFieldEnvOp(void* h, va_list ap) { return GetDiagFieldOp(kEnv, h, ap); }
DRV_Return DRV_GetDiagFieldDbcOp(void* h, va_list ap) { return GetDiagFieldOp(kDbc, h, ap); }
DRV_Return DRV_GetDiagFieldStmtOp(void* h, va_list ap) { return GetDiagFieldOp(kStmt, h, ap); }
DRV_Return DRV_GetDiagFieldDescOp(void* h, va_list ap) { return GetDiagFieldOp(kDesc, h, ap); }
