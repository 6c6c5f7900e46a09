// Connection attributes, ODBC 3 form, and the four operations behind the
// option and attribute call descriptors. The ODBC 3 calls answer a few
// attributes themselves and hand the rest to the ODBC 2 cores.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/connopt.h"
#include "driver/connopt_text.h"
#include "driver/ops.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"

namespace {

// Attributes the ODBC 2 setter takes as they are.
bool PassedToSetOption(int32_t a) {
  return (a >= SQL_QUERY_TIMEOUT && a <= SQL_MAX_LENGTH) ||
         (a >= SQL_BIND_TYPE && a <= SQL_KEYSET_SIZE) ||
         (a >= SQL_SIMULATE_CURSOR && a <= SQL_USE_BOOKMARKS) || a == SQL_ROW_NUMBER ||
         (a >= SQL_ACCESS_MODE && a <= SQL_TXN_ISOLATION) ||
         (a >= SQL_ODBC_CURSORS && a <= SQL_PACKET_SIZE) || a == QMR_CONN_OPTION_APP_NAME ||
         a == SQL_ATTR_ENLIST_IN_DTC || a == QMR_CONN_OPTION_FAILOVER_CALLBACK ||
         a == QMR_CONN_OPTION_FAILOVER_CONTEXT;
}

// Attributes whose value is a text the application passes with a length.
bool TextAttribute(int32_t a) {
  return a == SQL_ATTR_TRACEFILE || a == SQL_ATTR_TRANSLATE_LIB || a == SQL_ATTR_CURRENT_CATALOG ||
         a == QMR_CONN_OPTION_APP_NAME;
}

DRV_Return SetAttr(ConnHandle* c, int32_t attribute, void* value, int32_t length, int mode) {
  if (attribute == SQL_ATTR_ASYNC_ENABLE) {
    c->asyncEnable = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
    for (StmtHandle* s = c->firstStmt; s != nullptr; s = s->next) s->asyncEnable = c->asyncEnable;
    return SQL_SUCCESS;
  }
  // Catalog arguments are always patterns and literals: SQL_FALSE, the
  // default, is the one value taken.
  if (attribute == SQL_ATTR_METADATA_ID) {
    if (reinterpret_cast<uintptr_t>(value) == SQL_FALSE) return SQL_SUCCESS;
    return Fail(c, ERR_NOT_SUPPORTED);
  }
  if (attribute == SQL_ATTR_CONNECTION_TIMEOUT || attribute == SQL_ATTR_AUTO_IPD) {
    return Fail(c, ERR_NOT_SUPPORTED);
  }
  if (TextAttribute(attribute) && value != nullptr && length != SQL_NTS) {
    // A counted text becomes a terminated one of exactly that length (in
    // the caller's width) before the ODBC 2 core sees it.
    if (length < 0) return Fail(c, ERR_INVALID_LENGTH);
    if (mode == kWidthWide) {
      std::u16string copy(static_cast<const char16_t*>(value), static_cast<size_t>(length) / 2);
      return CONN_SetOption(c, static_cast<uint16_t>(attribute),
                            reinterpret_cast<uintptr_t>(copy.c_str()), mode);
    }
    std::string copy(static_cast<const char*>(value), static_cast<size_t>(length));
    return CONN_SetOption(c, static_cast<uint16_t>(attribute),
                          reinterpret_cast<uintptr_t>(copy.c_str()), mode);
  }
  if (attribute == SQL_ATTR_CURRENT_CATALOG || PassedToSetOption(attribute)) {
    return CONN_SetOption(c, static_cast<uint16_t>(attribute), reinterpret_cast<uintptr_t>(value),
                          mode);
  }
  return Fail(c, ERR_OPTION_RANGE);
}

// A connection the JDBC driver closed after a fatal error (one whose
// SQLSTATE, such as a server's own shutdown state, names no lost link) is
// lost as well.
void NoteClosedByAgent(ConnHandle* c) {
  const DRV_OpTable* ops = c->agent.ops;
  if (c->state != kConnConnected || ops == nullptr || ops->DRV_GetInfo == nullptr) return;
  uint32_t closed = 0;
  uint16_t length = 0;
  if (ops->DRV_GetInfo(c->agentConn, INFO_CONN_CLOSED, &closed, sizeof closed, &length) == 0 &&
      closed == 1) {
    c->linkLost = true;
  }
}

DRV_Return Put32(void* value, uint32_t v) {
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  return SQL_SUCCESS;
}

DRV_Return GetAttr(ConnHandle* c, int32_t attribute, void* value, int32_t size, int32_t* length,
                   int mode) {
  switch (attribute) {
    case SQL_QUERY_TIMEOUT:  // as a connection default (ODBC 2 only)
      if (c->env != nullptr && c->env->odbcVersion >= 3) return Fail(c, ERR_NOT_SUPPORTED);
      return Put32(value, c->stmtDefaults.queryTimeout);
    case SQL_ATTR_ASYNC_ENABLE: return Put32(value, c->asyncEnable);
    case SQL_ATTR_CONNECTION_DEAD:
      if (!c->linkLost) NoteClosedByAgent(c);
      return Put32(value, c->linkLost ? SQL_CD_TRUE : SQL_CD_FALSE);
    case SQL_ATTR_AUTO_IPD: return Put32(value, 0);
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_TRANSLATE_LIB:
    case SQL_ATTR_CURRENT_CATALOG: {
      std::string text;
      const DRV_Return rc = CONN_OptionText(c, static_cast<uint16_t>(attribute), &text);
      if (rc != SQL_SUCCESS) return rc;
      if (size < 0 && value != nullptr) return Fail(c, ERR_INVALID_LENGTH);
      int64_t full = 0;
      const int cut = OPT_WriteText(text, value, size, mode, &full);
      if (length != nullptr) *length = static_cast<int32_t>(full > INT32_MAX ? INT32_MAX : full);
      if (cut == 0) return SQL_SUCCESS;
      return Warn(c, ERR_TRUNCATED);
    }
    case SQL_ATTR_METADATA_ID: return Put32(value, SQL_FALSE);
    case SQL_ATTR_CONNECTION_TIMEOUT: return Fail(c, ERR_NOT_SUPPORTED);
    default: break;
  }
  if (attribute == SQL_MAX_ROWS || (attribute >= SQL_ACCESS_MODE && attribute <= SQL_OPT_TRACE) ||
      attribute == SQL_TRANSLATE_OPTION || attribute == SQL_TXN_ISOLATION ||
      (attribute >= SQL_ODBC_CURSORS && attribute <= SQL_PACKET_SIZE)) {
    return CONN_GetOption(c, static_cast<uint16_t>(attribute), value, mode);
  }
  return Fail(c, ERR_OPTION_RANGE);
}

}  // namespace

DRV_Return DRV_SetConnectOptionOp(void* h, va_list args) {
  auto* c = static_cast<ConnHandle*>(h);
  const auto option = static_cast<uint16_t>(va_arg(args, int));
  const auto value = static_cast<uint64_t>(va_arg(args, unsigned long));
  const int mode = va_arg(args, int);
  return CONN_SetOption(c, option, value, mode);
}

DRV_Return DRV_GetConnectOptionOp(void* h, va_list args) {
  auto* c = static_cast<ConnHandle*>(h);
  const auto option = static_cast<uint16_t>(va_arg(args, int));
  void* value = va_arg(args, void*);
  const int mode = va_arg(args, int);
  return CONN_GetOption(c, option, value, mode);
}

DRV_Return DRV_SetConnectAttrOp(void* h, va_list args) {
  auto* c = static_cast<ConnHandle*>(h);
  const int32_t attribute = va_arg(args, int);
  void* value = va_arg(args, void*);
  const int32_t length = va_arg(args, int);
  const int mode = va_arg(args, int);
  return SetAttr(c, attribute, value, length, mode);
}

DRV_Return DRV_GetConnectAttrOp(void* h, va_list args) {
  auto* c = static_cast<ConnHandle*>(h);
  const int32_t attribute = va_arg(args, int);
  void* value = va_arg(args, void*);
  const int32_t size = va_arg(args, int);
  auto* length = va_arg(args, int32_t*);
  const int mode = va_arg(args, int);
  return GetAttr(c, attribute, value, size, length, mode);
}
