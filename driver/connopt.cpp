// Connection options, ODBC 2 form: setting and reading, and the choices
// made before connecting that are applied once the connection opens.
#include "driver/connopt.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "driver/agent_fail.h"
#include "driver/conn.h"
#include "driver/connopt_text.h"
#include "driver/startup.h"
#include "driver/stmtopt.h"
#include "driver/xa_layer.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"

namespace {

// Text answers of the ODBC 2 calls: ODBC 2 gives them no buffer length and
// promises room for this many bytes, so nothing longer is ever written.
constexpr int64_t kOption2TextRoom = SQL_MAX_OPTION_STRING_LENGTH;
// Room for a text the agent answers.
constexpr uint16_t kAgentTextRoom = 4096;

bool Connected(const ConnHandle* c) { return c->state == kConnConnected; }

bool Odbc3(const ConnHandle* c) { return c->env != nullptr && c->env->odbcVersion >= 3; }

uint32_t AgentSet(ConnHandle* c, uint32_t request, void* value) {
  const DRV_OpTable* ops = c->agent.ops;
  if (ops == nullptr || ops->DRV_SetOption == nullptr) return ERR_NOT_CAPABLE;
  return ops->DRV_SetOption(c->agentConn, request, value);
}

uint32_t AgentGet(ConnHandle* c, uint32_t request, void* buf, uint16_t size) {
  const DRV_OpTable* ops = c->agent.ops;
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return ERR_NOT_SUPPORTED;
  uint16_t length = 0;
  return ops->DRV_GetInfo(c->agentConn, request, buf, size, &length);
}

// A numeric option sent to the agent; SQL_SUCCESS, SQL_SUCCESS_WITH_INFO
// when the agent changed the value, else the agent's failure.
DRV_Return SetAgentNumber(ConnHandle* c, uint32_t request, uint32_t value) {
  const uint32_t code = AgentSet(c, request, &value);
  if (code == 0) return SQL_SUCCESS;
  if (code == ERR_VALUE_CHANGED) return Warn(c, ERR_VALUE_CHANGED);
  return AgentFail(c, code);
}

DRV_Return Put32(void* value, uint32_t v) {
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  return SQL_SUCCESS;
}

bool CursorOpen(const ConnHandle* c) {
  for (const StmtHandle* s = c->firstStmt; s != nullptr; s = s->next) {
    if ((s->flags & kStmtFlagCursorOpen) != 0) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Setting.

DRV_Return SetAccessMode(ConnHandle* c, uint64_t value) {
  // Any value other than read-write means read-only, for the agent and the
  // flag alike: the two never disagree.
  const uint32_t readOnly = value != SQL_MODE_READ_WRITE ? 1 : 0;
  if (Connected(c)) {
    const DRV_Return rc = SetAgentNumber(c, OPT_ACCESS_MODE, readOnly);
    if (rc == SQL_ERROR) return rc;
  }
  c->flags = static_cast<uint16_t>(readOnly != 0 ? (c->flags | kConnReadOnly)
                                                 : (c->flags & ~kConnReadOnly));
  c->wantAccessMode = static_cast<int32_t>(readOnly);
  return SQL_SUCCESS;
}

DRV_Return SetAutoCommit(ConnHandle* c, uint64_t value) {
  const uint32_t on = value != SQL_AUTOCOMMIT_OFF ? 1 : 0;
  if (Connected(c)) {
    const DRV_Return rc = SetAgentNumber(c, OPT_AUTOCOMMIT, on);
    if (rc == SQL_ERROR) return rc;
  }
  c->flags =
      static_cast<uint16_t>(on != 0 ? (c->flags | kConnAutoCommit) : (c->flags & ~kConnAutoCommit));
  c->wantAutoCommit = static_cast<int32_t>(on);
  return SQL_SUCCESS;
}

DRV_Return SetCatalog(ConnHandle* c, uint64_t value, int mode) {
  std::string name;
  int32_t code = 0;
  if (!OPT_ReadText(reinterpret_cast<const void*>(value), SQL_NTS, mode, TextIn::Agent, &name,
                    &code)) {
    return Fail(c, code);
  }
  if (!Connected(c)) {
    // Remembered and applied when the connection opens.
    c->currentCatalog = name;
    c->wantCatalog = value != 0;
    return SQL_SUCCESS;
  }
  if (CursorOpen(c)) return Fail(c, ERR_INVALID_CURSOR_STATE);
  const uint32_t agentCode = AgentSet(c, OPT_CURRENT_CATALOG, const_cast<char*>(name.c_str()));
  if (agentCode != 0) return AgentFail(c, agentCode);
  c->currentCatalog = name;
  c->wantCatalog = true;
  return SQL_SUCCESS;
}

DRV_Return SetStoredText(ConnHandle* c, uint64_t value, int mode, std::string* field,
                         bool* present) {
  std::string text;
  int32_t code = 0;
  if (!OPT_ReadText(reinterpret_cast<const void*>(value), SQL_NTS, mode, TextIn::Stored, &text,
                    &code)) {
    return Fail(c, code);
  }
  *field = text;
  if (present != nullptr) *present = value != 0;
  return SQL_SUCCESS;
}

// Driver-specific options that the agent may know: numbers and texts.
bool AgentNumberOption(uint16_t o) {
  return (o >= 1201 && o <= 1206) || o == 1208 || o == 1210 || o == 1211 || o == 1213 ||
         (o >= 1215 && o <= 1219) || o == 1252 || o == 1253 || (o >= 1255 && o <= 1259) ||
         o == 1262;
}
bool AgentTextOption(uint16_t o) { return o == 1212 || o == 1214 || o == 1254; }

DRV_Return SetDriverNumber(ConnHandle* c, uint16_t option, uint64_t value) {
  if (!Connected(c)) return SQL_SUCCESS;
  uint32_t v = static_cast<uint32_t>(value);
  const uint32_t code = AgentSet(c, OPT_CONN_INT | option, &v);
  if (code == 0) return SQL_SUCCESS;
  if (code == ERR_VALUE_CHANGED) return Warn(c, ERR_VALUE_CHANGED);
  if (code == ERR_NOT_CAPABLE) return Fail(c, ERR_OPTION_RANGE);
  return AgentFail(c, code);
}

DRV_Return SetDriverText(ConnHandle* c, uint16_t option, uint64_t value, int mode) {
  if (!Connected(c)) return SQL_SUCCESS;
  std::string text;
  int32_t code = 0;
  if (!OPT_ReadText(reinterpret_cast<const void*>(value), SQL_NTS, mode, TextIn::Agent, &text,
                    &code)) {
    return Fail(c, code);
  }
  const uint32_t agentCode = AgentSet(c, OPT_CONN_TEXT | option, const_cast<char*>(text.c_str()));
  if (agentCode == 0) return SQL_SUCCESS;
  if (agentCode == ERR_NOT_CAPABLE) return AgentFail(c, ERR_OPTION_RANGE);
  return AgentFail(c, agentCode);
}

DRV_Return Enlist(ConnHandle* c, uint64_t value) {
  if (!Odbc3(c) || c->capDtc == 0) return Fail(c, ERR_NOT_SUPPORTED);
  if (!Connected(c)) return Fail(c, ERR_NOT_CONNECTED);
  void* transaction = reinterpret_cast<void*>(value);
  if (transaction == nullptr) {
    if (c->dtcEnlisted == 0) return Fail(c, ERR_INVALID_TRANSACTION_STATE);
    CONN_ReleaseDtc(c);
    return SQL_SUCCESS;
  }
  // An enlistment whose coordinator went down is over: the connection may
  // enlist in a new transaction.
  const DRV_XaLayer& xa = DRV_GetXaLayer();
  if (c->dtcEnlisted != 0 && !xa.lost(c->dtcResource)) return SQL_SUCCESS;
  if (xa.startup() != 0) return Fail(c, ERR_ENLIST_FAILED);
  CONN_ReleaseDtc(c);
  // From here the coordinator may take the call lock: this call holds it
  // too, as every later call on the connection will. On a first
  // enlistment the dispatcher took no gate for this call (it was not
  // shared yet), so it is taken here
  // under the serialising lock, against the order; no other thread takes
  // it before the enlistment made below exists, so this take never waits.
  c->callLockShared.store(true, std::memory_order_release);
  plat::Guard<plat::Gate> hold(c->callLock);
  // The dispenser opens its own connection to the same data source.
  std::string text = "DSN=" + c->dsn + ";UID=" + c->uid + ";PWD=" + c->pwd + ";";
  void* resource = xa.create(transaction, c->agentEnv, c->agentConn, &c->agent, &c->xaData,
                             &c->callLock, text.c_str());
  // The password leaves no copy behind.
  std::fill(text.begin(), text.end(), '\0');
  if (resource == nullptr) return Fail(c, ERR_ENLIST_FAILED);
  if (xa.connect(resource) == 0 && xa.enlist(resource) == 0) {
    c->dtcResource = resource;
    c->dtcEnlisted = 1;
    return SQL_SUCCESS;
  }
  xa.release(resource);
  return Fail(c, ERR_ENLIST_FAILED);
}

DRV_Return SetFailoverCallback(ConnHandle* c, uint64_t value) {
  if (!Connected(c)) return Fail(c, ERR_FUNCTION_SEQUENCE);
  if (c->capFailover == 0) return Fail(c, ERR_NOT_CAPABLE);
  uint32_t on = value != 0 ? 1 : 0;
  const uint32_t code = AgentSet(c, OPT_FAILOVER, &on);
  if (code != 0) return AgentFail(c, code);
  c->failoverCallback = reinterpret_cast<DRV_FailoverCallback>(value);
  return SQL_SUCCESS;
}

// ---------------------------------------------------------------------------
// Reading.

// An ODBC 2 text answer: at most kOption2TextRoom bytes with the terminator.
DRV_Return PutOption2Text(ConnHandle* c, const std::string& text, void* value, int mode) {
  if (OPT_WriteText(text, value, kOption2TextRoom, mode, nullptr) == 0) return SQL_SUCCESS;
  return Warn(c, ERR_TRUNCATED);
}

}  // namespace

DRV_Return CONN_OptionText(ConnHandle* c, uint16_t option, std::string* out) {
  out->clear();
  switch (option) {
    case SQL_OPT_TRACEFILE: return SQL_SUCCESS;
    case SQL_TRANSLATE_DLL:
      if (!c->hasTranslateLib) return SQL_NO_DATA;
      *out = c->translateLib;
      return SQL_SUCCESS;
    case SQL_CURRENT_QUALIFIER: {
      if (!Connected(c) || c->agentConn == 0) return SQL_SUCCESS;
      char buf[kAgentTextRoom] = {};
      const uint32_t code = AgentGet(c, INFO_CURRENT_CATALOG, buf, sizeof buf);
      if (code == ERR_NOT_SUPPORTED) return Fail(c, ERR_OPTION_RANGE);
      if (code != 0) return AgentFail(c, code);
      buf[sizeof buf - 1] = '\0';
      *out = buf;
      return SQL_SUCCESS;
    }
    default: return Fail(c, ERR_OPTION_RANGE);
  }
}

DRV_Return CONN_SetOption(ConnHandle* c, uint16_t option, uint64_t value, int mode) {
  if (option <= 12 && option != SQL_ASYNC_ENABLE) {
    if (Odbc3(c)) return Fail(c, ERR_NOT_SUPPORTED);
    return CONN_SetStmtDefault(c, option, value);
  }
  switch (option) {
    case SQL_ASYNC_ENABLE:
      if (Odbc3(c)) return Fail(c, ERR_NOT_SUPPORTED);
      c->flags =
          static_cast<uint16_t>(value != 0 ? (c->flags | kConnAsync) : (c->flags & ~kConnAsync));
      return SQL_SUCCESS;
    case SQL_ACCESS_MODE: return SetAccessMode(c, value);
    case SQL_AUTOCOMMIT: return SetAutoCommit(c, value);
    case SQL_LOGIN_TIMEOUT: c->loginTimeout = static_cast<uint32_t>(value); return SQL_SUCCESS;
    case SQL_OPT_TRACE:
    case SQL_OPT_TRACEFILE:
    case SQL_PACKET_SIZE: return SQL_SUCCESS;
    case SQL_TRANSLATE_DLL:
      return SetStoredText(c, value, mode, &c->translateLib, &c->hasTranslateLib);
    case SQL_TRANSLATE_OPTION:
      c->translateOption = static_cast<uint32_t>(value);
      return SQL_SUCCESS;
    case SQL_TXN_ISOLATION:
      if (Connected(c)) {
        const DRV_Return rc = SetAgentNumber(c, OPT_TXN_ISOLATION, static_cast<uint32_t>(value));
        if (rc == SQL_ERROR) return rc;
      }
      c->isolation = static_cast<uint32_t>(value);
      return SQL_SUCCESS;
    case SQL_CURRENT_QUALIFIER: return SetCatalog(c, value, mode);
    case SQL_QUIET_MODE: DRV_SetMessageBoxOwner(static_cast<intptr_t>(value)); return SQL_SUCCESS;
    case QMR_CONN_OPTION_APP_NAME:
      if (Connected(c)) return Fail(c, ERR_FUNCTION_SEQUENCE);
      return SetStoredText(c, value, mode, &c->appName, nullptr);
    case SQL_ATTR_ENLIST_IN_DTC: return Enlist(c, value);
    case QMR_CONN_OPTION_FAILOVER_CALLBACK: return SetFailoverCallback(c, value);
    case QMR_CONN_OPTION_FAILOVER_CONTEXT:
      if (!Connected(c)) return Fail(c, ERR_FUNCTION_SEQUENCE);
      if (c->capFailover == 0) return Fail(c, ERR_NOT_CAPABLE);
      c->failoverContext = reinterpret_cast<void*>(value);
      return SQL_SUCCESS;
    default: break;
  }
  if (AgentNumberOption(option)) return SetDriverNumber(c, option, value);
  if (AgentTextOption(option)) return SetDriverText(c, option, value, mode);
  return Fail(c, ERR_OPTION_RANGE);
}

DRV_Return CONN_GetOption(ConnHandle* c, uint16_t option, void* value, int mode) {
  switch (option) {
    case SQL_ASYNC_ENABLE: return Put32(value, (c->flags & kConnAsync) != 0 ? 1 : 0);
    case SQL_ACCESS_MODE: return Put32(value, (c->flags & kConnReadOnly) != 0 ? 1 : 0);
    case SQL_AUTOCOMMIT: return Put32(value, (c->flags & kConnAutoCommit) != 0 ? 1 : 0);
    case SQL_LOGIN_TIMEOUT: return Put32(value, c->loginTimeout);
    case SQL_OPT_TRACE:
    case SQL_ODBC_CURSORS: return Put32(value, 0);
    case SQL_TRANSLATE_OPTION: return Put32(value, c->translateOption);
    case SQL_TXN_ISOLATION: return Put32(value, c->isolation);
    case SQL_PACKET_SIZE: return Put32(value, 4096);
    case SQL_QUIET_MODE: {
      const intptr_t owner = DRV_MessageBoxOwner();
      const uint64_t v = owner == -2 ? 0 : static_cast<uint64_t>(owner);
      if (value != nullptr) std::memcpy(value, &v, sizeof v);
      return SQL_SUCCESS;
    }
    case SQL_OPT_TRACEFILE:
    case SQL_TRANSLATE_DLL:
    case SQL_CURRENT_QUALIFIER: {
      std::string text;
      const DRV_Return rc = CONN_OptionText(c, option, &text);
      if (rc != SQL_SUCCESS) return rc;
      return PutOption2Text(c, text, value, mode);
    }
    default: break;
  }
  if (option >= 1201 && option <= 1262 && !(option >= 1220 && option <= 1251) && option != 1260 &&
      option != 1261) {
    if (!Connected(c)) return SQL_SUCCESS;
    if (AgentTextOption(option)) {
      char buf[kAgentTextRoom] = {};
      const uint32_t code = AgentGet(c, OPT_CONN_TEXT | option, buf, sizeof buf);
      if (code == ERR_NOT_SUPPORTED) return Fail(c, ERR_OPTION_RANGE);
      if (code != 0) return AgentFail(c, code);
      buf[sizeof buf - 1] = '\0';
      return PutOption2Text(c, buf, value, mode);
    }
    uint32_t v = 0;
    const uint32_t code = AgentGet(c, OPT_CONN_INT | option, &v, sizeof v);
    if (code == ERR_NOT_SUPPORTED) return Fail(c, ERR_OPTION_RANGE);
    if (code != 0) return AgentFail(c, code);
    return Put32(value, v);
  }
  return Fail(c, ERR_OPTION_RANGE);
}

void CONN_PrepareConnectFlags(ConnHandle* c) {
  if (c->wantAccessMode == 1) c->flags = static_cast<uint16_t>(c->flags | kConnReadOnly);
}

int32_t CONN_ApplyPendingOptions(ConnHandle* c) {
  if (!Connected(c)) return ERR_NOT_CONNECTED;
  if (c->wantAutoCommit >= 0) {
    uint32_t on = static_cast<uint32_t>(c->wantAutoCommit);
    const uint32_t code = AgentSet(c, OPT_AUTOCOMMIT, &on);
    if (code != 0 && code != ERR_VALUE_CHANGED) {
      DRV_PullErrors(c, nullptr);
      return static_cast<int32_t>(code);
    }
    c->flags = static_cast<uint16_t>(on != 0 ? (c->flags | kConnAutoCommit)
                                             : (c->flags & ~kConnAutoCommit));
  }
  if (c->wantAccessMode >= 0) {
    // Read-only from the data source stays (see CONN_PrepareConnectFlags).
    uint32_t readOnly = (c->wantAccessMode == 1 || (c->flags & kConnReadOnly) != 0) ? 1 : 0;
    const uint32_t code = AgentSet(c, OPT_ACCESS_MODE, &readOnly);
    if (code != 0 && code != ERR_VALUE_CHANGED) {
      DRV_PullErrors(c, nullptr);
      return static_cast<int32_t>(code);
    }
    if (readOnly != 0) c->flags = static_cast<uint16_t>(c->flags | kConnReadOnly);
  }
  if (c->wantCatalog && !c->currentCatalog.empty()) {
    const uint32_t code =
        AgentSet(c, OPT_CURRENT_CATALOG, const_cast<char*>(c->currentCatalog.c_str()));
    if (code != 0 && code != ERR_VALUE_CHANGED) {
      DRV_PullErrors(c, nullptr);
      return static_cast<int32_t>(code);
    }
  }
  return 0;
}
