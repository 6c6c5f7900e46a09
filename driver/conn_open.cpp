// Opening a connection through its agent.
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "driver/conn.h"
#include "driver/connopt.h"
#include "driver/dispatch.h"
#include "driver/dsn.h"
#include "driver/startup.h"
#include "driver/trace.h"
#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-opt.h"
#include "proxy/register.h"
#include "util/errcodes.h"

namespace {

std::atomic<int (*)(DRV_Agent*)> gRegistrar{nullptr};

// The driver's own message for a connect the agent could not tell the cause
// of; the pending code stays the rejection.
void AddFailureText(ConnHandle* conn, const char* text) {
  TRC_Printf("ConnOpen: %s", text);
  CONN_AddError(conn, text, 0);
}

// The agent's environment goes again after a failure.
void Term(ConnHandle* conn) {
  const DRV_OpTable* ops = conn->agent.ops;
  if (ops != nullptr && ops->DRV_Term != nullptr && conn->agentEnv != 0) {
    ops->DRV_Term(conn->agentEnv);
  }
  conn->agentEnv = 0;
  conn->agentConn = 0;
}

bool AskInt(ConnHandle* conn, uint32_t request, uint32_t* value) {
  const DRV_OpTable* ops = conn->agent.ops;
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return false;
  uint32_t v = 0;
  uint16_t len = 0;
  if (ops->DRV_GetInfo(conn->agentConn, request, &v, sizeof v, &len) != 0) return false;
  *value = v;
  return true;
}

uint32_t SetOpt(ConnHandle* conn, uint32_t request, void* value) {
  const DRV_OpTable* ops = conn->agent.ops;
  if (ops == nullptr || ops->DRV_SetOption == nullptr) return ERR_NOT_CAPABLE;
  return ops->DRV_SetOption(conn->agentConn, request, value);
}

// The host text: "host:port" when the port is a real port number.
std::string HostText(const ConnHandle* conn) {
  const int port = std::atoi(conn->portText.c_str());
  if (port >= 1 && port <= 65535 && conn->dbhost.size() + conn->portText.size() < 255) {
    return conn->dbhost + ":" + conn->portText;
  }
  return conn->dbhost;
}

void ReadCapabilities(ConnHandle* conn) {
  conn->cn_needbind = conn->cn_hasMoreRes = conn->cn_hasParamOp = 0;
  conn->cn_spOutDeferFetch = conn->cn_hasScrlCurs = conn->cn_hasDynMixCurs = 0;
  conn->cn_hasV2DAE = conn->cn_hasExecute2 = 0;
  conn->cap0x200 = conn->cap0x400 = conn->cap0x800 = conn->cap0x1000 = 0;
  conn->capFailover = conn->capDtc = 0;
  uint32_t mask = 0;
  if (AskInt(conn, INFO_CAPABILITY_MASK, &mask)) {
    conn->cn_needbind = (mask & 0x1) != 0;
    conn->cn_hasMoreRes = (mask & 0x2) != 0;
    conn->cn_hasParamOp = (mask & 0x4) != 0;
    conn->cn_hasScrlCurs = (mask & 0x8) != 0;
    conn->cn_hasDynMixCurs = (mask & 0x10) != 0;
    conn->cn_hasV2DAE = (mask & 0x20) != 0;
    conn->cn_spOutDeferFetch = (mask & 0x40) != 0;
    conn->cn_hasExecute2 = (mask & 0x80) != 0;
    conn->cap0x200 = (mask & 0x200) != 0;
    conn->cap0x400 = (mask & 0x400) != 0;
    conn->cap0x800 = (mask & 0x800) != 0;
    conn->cap0x1000 = (mask & 0x1000) != 0;
    conn->capDtc = (mask & 0x2000) != 0;
    conn->capFailover = (mask & 0x4000) != 0;
    if ((mask & 0x100) != 0) {
      conn->flags |= kConnAutoCommit;
    } else {
      conn->flags &= static_cast<uint16_t>(~kConnAutoCommit);
    }
  } else {
    struct {
      uint32_t request;
      uint32_t ConnHandle::*flag;
    } const asks[] = {
        {INFO_NEEDS_BINDING, &ConnHandle::cn_needbind},
        {INFO_MORE_RESULTS, &ConnHandle::cn_hasMoreRes},
        {INFO_PARAM_OPS, &ConnHandle::cn_hasParamOp},
        {INFO_SCROLL_CURSORS, &ConnHandle::cn_hasScrlCurs},
        {INFO_DYN_MIXED_CURSORS, &ConnHandle::cn_hasDynMixCurs},
        {INFO_V2_DATA_AT_EXEC, &ConnHandle::cn_hasV2DAE},
        {INFO_OUT_DEFER_FETCH, &ConnHandle::cn_spOutDeferFetch},
        {INFO_EXECUTE_TWO_STEPS, &ConnHandle::cn_hasExecute2},
    };
    for (const auto& a : asks) {
      uint32_t v = 0;
      if (AskInt(conn, a.request, &v) && v != 0) conn->*(a.flag) = 1;
    }
    conn->flags &= static_cast<uint16_t>(~kConnAutoCommit);
    uint32_t ac = 0;
    if (AskInt(conn, OPT_AUTOCOMMIT, &ac) && ac != 0) conn->flags |= kConnAutoCommit;
  }
  if (TRC_Active()) {
    TRC_Printf("cn_needbind=%d", static_cast<int>(conn->cn_needbind));
    TRC_Printf("cn_hasMoreRes=%d", static_cast<int>(conn->cn_hasMoreRes));
    TRC_Printf("cn_hasParamOp=%d", static_cast<int>(conn->cn_hasParamOp));
    TRC_Printf("cn_hasScrlCurs=%d", static_cast<int>(conn->cn_hasScrlCurs));
    TRC_Printf("cn_hasDynMixCurs=%d", static_cast<int>(conn->cn_hasDynMixCurs));
    TRC_Printf("cn_hasV2DAE=%d", static_cast<int>(conn->cn_hasV2DAE));
    TRC_Printf("cn_spOutDeferFetch=%d", static_cast<int>(conn->cn_spOutDeferFetch));
    TRC_Printf("cn_hasExecute2=%d", static_cast<int>(conn->cn_hasExecute2));
    TRC_Printf("autocommit=%d", (conn->flags & kConnAutoCommit) != 0 ? 1 : 0);
  }
}

void SetConnectOptions(ConnHandle* conn) {
  uint32_t one = 1;
  if ((conn->flags & kConnOpt0x20) != 0) SetOpt(conn, OPT_CONNECT_FLAG_20, &one);
  if ((conn->flags & kConnMase) != 0) SetOpt(conn, OPT_MULTIPLE_ACTIVE, &one);
  bool isolationSet = false;
  if (conn->isolation != 0) {
    uint32_t iso = conn->isolation;
    isolationSet = SetOpt(conn, OPT_TXN_ISOLATION, &iso) == 0;
  }
  if (!isolationSet) {
    uint32_t iso = 0;
    if (AskInt(conn, OPT_TXN_ISOLATION, &iso) && iso != 0) conn->isolation = iso;
  }
  uint32_t version = conn->env != nullptr ? conn->env->odbcVersion : 2;
  SetOpt(conn, OPT_ODBC_VERSION, &version);
}

}  // namespace

void CONN_SetAgentRegistrar(int (*registrar)(DRV_Agent*)) { gRegistrar.store(registrar); }

uint32_t GetOpTable(ConnHandle* conn) {
  const DRV_OpTable* ops = conn->agent.ops;
  DRV_OpTableRequest request{conn->opTableKind, 0, nullptr};
  uint32_t rc = ERR_NOT_CAPABLE;
  if (ops != nullptr && ops->DRV_GetOpTable != nullptr) {
    rc = ops->DRV_GetOpTable(conn->agentConn, &request);
  }
  if (rc != 0 || request.table == nullptr) {
    TRC_Printf("GetOpTable failed for type %d", static_cast<int>(conn->opTableKind));
    conn->opTableKind = 0;
    conn->opTableCount = 0;
    conn->opTableRows = nullptr;
    return rc != 0 ? rc : ERR_GENERAL;
  }
  conn->opTableCount = request.count;
  conn->opTableRows = request.table;
  return 0;
}

void ConnOpen(ConnHandle* conn, int mode, JdbcConnSettings* settings) {
  if (conn->state != kConnAllocated) {
    Fail(conn, ERR_FUNCTION_SEQUENCE);
    return;
  }
  conn->agentEnv = 0;
  conn->agentConn = 0;
  // Rejected, until the connection is made.
  Fail(conn, ERR_CONNECTION_REJECTED);

  int (*registrar)(DRV_Agent*) = gRegistrar.load();
  if (registrar == nullptr) registrar = DRV_RegisterAgent;
  if (registrar(&conn->agent) != 0 || conn->agent.ops == nullptr) {
    AddFailureText(conn, "Unable to initialize driver");
    return;
  }
  DRV_NoteConnFlag(&conn->agent);
  const DRV_OpTable* ops = conn->agent.ops;

  // The agent initialises its side (on the first connect: finds or starts
  // the Java VM). A failure that left an environment handle behind tells
  // its cause there, which the application must see before the driver's
  // own message.
  // The archive directory is read once, before the agent's first DRV_Init
  // builds its class path from it.
  static std::once_flag jarDirOnce;
  std::call_once(jarDirOnce, [] { DRV_FindJarDir(); });
  const char* request[2] = {DRV_JarDir().c_str(), nullptr};
  const uint32_t init =
      ops->DRV_Init != nullptr ? ops->DRV_Init(request, &conn->agentEnv) : ERR_NOT_CAPABLE;
  if (init != 0) {
    // The cause alone when the agent told it: an application that shows one
    // record (and a Driver Manager that turns a failed connect's records
    // round) must read the cause, not the driver's summary.
    const int pulled = conn->agentEnv != 0 ? CONN_PullErrors(conn) : 0;
    if (pulled == 0) AddFailureText(conn, "Unable to allocate server handle");
    Term(conn);
    return;
  }

  // The application's access-mode choice joins the flags before the agent
  // sees them.
  CONN_PrepareConnectFlags(conn);

  conn->cn_narrowText = 0;
  // The Unicode build's connections are wide whichever entry point opened
  // them: an application may connect through the 8-bit form and go on
  // through the wide ones, and the build describes text columns as wide.
  const bool wide = mode == kWidthWide || DRV_UnicodeBuild();
  conn->cn_unicode = wide;
  std::string options = conn->options;
  if (wide) {
    options.insert(0, reinterpret_cast<const char*>(CONNINFO_UTF8_MARKER), 4);
  }
  std::string host = HostText(conn);
  std::string dsn = conn->dsn.empty() ? std::string("Default") : conn->dsn;
  ConnectInfo info{};
  info.host = &host[0];
  info.options = &options[0];
  info.svtype = &conn->svtype[0];
  info.dbpath = &conn->dbpath[0];
  info.dsn = &dsn[0];
  info.dbopts = &conn->dbopts[0];
  info.readOnly = (conn->flags & kConnReadOnly) != 0 ? 1 : 0;
  info.user = &conn->uid[0];
  info.password = &conn->pwd[0];
  info.loginTimeout = conn->loginTimeout == 0 ? 0 : 99;
  info.text10 = &conn->text10[0];
  info.flag40 = (conn->flags & kConnOpt0x40) != 0 ? 1 : 0;
  info.appName = &conn->appName[0];
  info.settings = settings;

  const uint32_t rc = ops->DRV_Connect != nullptr
                          ? ops->DRV_Connect(conn->agentEnv, &info, &conn->agentConn)
                          : ERR_NOT_CAPABLE;
  if (rc != 0) {
    Fail(conn, static_cast<int32_t>(rc));
    TRC_Printf("ConnOpen: %s", "Unable to allocate connection handle");
    // The database's own messages are the diagnostics; the driver's summary
    // only stands in when there are none.
    int pulled = conn->agentConn != 0 ? DRV_PullErrors(conn, nullptr) : 0;
    pulled += CONN_PullErrors(conn);
    if (pulled == 0) CONN_AddError(conn, "Unable to allocate connection handle", 0);
    Term(conn);
    return;
  }

  if (wide) {
    uint32_t answer = 0;
    const DRV_OpTable* o = conn->agent.ops;
    uint16_t len = 0;
    // Only an agent that confirms it took the wide text of the connect gets
    // wide values; one that refuses the question, or answers anything but 1,
    // gets 8-bit text.
    const bool asked =
        o->DRV_GetInfo != nullptr &&
        o->DRV_GetInfo(conn->agentConn, INFO_WIDE_TEXT, &answer, sizeof answer, &len) == 0;
    conn->cn_narrowText = asked && answer == 1 ? 0 : 1;
  }

  conn->state = kConnConnected;
  conn->linkLost = false;
  ClearPending(conn);  // the rejection presumed so far
  conn->opTableKind = 1;
  GetOpTable(conn);
  ReadCapabilities(conn);
  SetConnectOptions(conn);

  // Choices the application made through the connection options hold over
  // what the data source set up.
  const int32_t applied = CONN_ApplyPendingOptions(conn);
  if (applied != 0) {
    CONN_Close(conn);
    Fail(conn, applied);
    if (conn->state == kConnConnected) {
      // The agent refused to let go; the connection stays as it is.
      return;
    }
  }
}
