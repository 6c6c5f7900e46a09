#include "proxy/proxy.h"
#include "drv_jdbc/agent_codes.h"

#include <type_traits>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "proxy/worker.h"
#include "util/log.h"
#include "util/xa.h"

namespace {

// Both are written once, by the first installation, before any record
// points at the proxy's table; a magic static orders that for every reader.
DRV_OpTable gProxyTable;
std::atomic<const DRV_OpTable*> gSaved{nullptr};

const DRV_OpTable* Saved() { return gSaved.load(std::memory_order_acquire); }

template <auto Slot>
using SlotFn = std::decay_t<decltype(std::declval<DRV_OpTable&>().*Slot)>;

bool Routed(const PRX_WORKER* w) {
  return w != nullptr && w->useThread != 0 && w->thread != nullptr && w->enabled.load() != 0;
}

template <class F>
bool RunOnWorker(PRX_WORKER* w, F& call) {
  if (w->thread == nullptr) return false;
  return w->thread->Run([](void* p) { (*static_cast<F*>(p))(); }, &call);
}

void FreeWorker(PRX_WORKER* w) {
  if (w == nullptr) return;
  WRK_Thread::Stop(w->thread);
  delete w;
}

// The agent keeps the worker as an opaque word; only the proxy makes one.
PRX_WORKER* WorkerOf(const JdbcConn* c) { return static_cast<PRX_WORKER*>(c->worker); }

enum class Via { kStmt, kConn };

JdbcConn* ConnOf(Via via, uint32_t h) {
  if (via == Via::kConn) return AGT_Conn(h);
  JdbcStmt* s = AGT_Stmt(h);
  return s != nullptr ? s->conn : nullptr;
}

// A statement or connection operation: on the worker while the
// connection's XA side is open, else on the caller.
template <auto Slot, Via V, class Fn = SlotFn<Slot>>
struct Work;
template <auto Slot, Via V, class R, class... P>
struct Work<Slot, V, R (*)(uint32_t, P...)> {
  static R Thunk(uint32_t h, P... args) {
    JdbcConn* c = ConnOf(V, h);
    if (c == nullptr) return ERR_INVALID_ARGUMENT;
    const auto op = Saved()->*Slot;
    if (op == nullptr) return ERR_NOT_CAPABLE;
    PRX_WORKER* w = WorkerOf(c);
    if (!Routed(w)) return op(h, args...);
    R result = ERR_WORKER_ASSIGNMENT;
    auto call = [&] { result = op(h, args...); };
    return RunOnWorker(w, call) ? result : ERR_WORKER_ASSIGNMENT;
  }
};

// An XA operation: always on the worker once the connection has one.
template <auto Slot, class Fn = SlotFn<Slot>>
struct Xa;
template <auto Slot, class R, class... P>
struct Xa<Slot, R (*)(uint32_t, P...)> {
  static R Run(PRX_WORKER* w, uint32_t h, P... args) {
    const auto op = Saved()->*Slot;
    if (op == nullptr) return XAER_RMERR;
    if (w->useThread == 0) return op(h, args...);
    R result = XAER_RMERR;
    auto call = [&] { result = op(h, args...); };
    return RunOnWorker(w, call) ? result : XAER_RMERR;
  }
  static R Thunk(uint32_t h, P... args) {
    JdbcConn* c = AGT_Conn(h);
    if (c == nullptr || c->worker == nullptr) return XAER_INVAL;
    return Run(WorkerOf(c), h, args...);
  }
};

bool AgentSays(uint32_t h, uint32_t request) {
  const DRV_GetInfo_t info = Saved()->DRV_GetInfo;
  uint32_t value = 0;
  uint16_t length = 0;
  return info != nullptr && info(h, request, &value, sizeof value, &length) == 0 && value != 0;
}

// The worker an XA open runs on. One whose XA side is open stays, so that
// the agent refuses the second open on it; otherwise a worker the agent
// does not keep is replaced.
PRX_WORKER* WorkerForOpen(JdbcConn* c, uint32_t h, uint32_t useThread) {
  const bool had = c->worker != nullptr;
  uint32_t keep = 0;
  if (had) {
    PRX_WORKER* old = WorkerOf(c);
    keep = old->keep;
    if (keep != 0 || old->enabled.load() != 0) return old;
    FreeWorker(old);
    c->worker = nullptr;
  }
  auto* w = new PRX_WORKER;
  w->useThread = useThread != 0 ? 1 : 0;
  w->keep = had ? keep : (AgentSays(h, INFO_KEEP_WORKER) ? 1 : 0);
  if (w->useThread != 0 && (w->thread = WRK_Thread::Start()) == nullptr) {
    log_message(3, "xa", __LINE__, "XA open: the worker thread could not be started");
    delete w;
    return nullptr;
  }
  c->worker = w;
  return w;
}

// Once the XA side is closed (or did not open), the worker and its thread
// go: no thread waits behind a connection that no longer needs one.
void DropIdleWorker(JdbcConn* c) {
  PRX_WORKER* w = WorkerOf(c);
  if (w == nullptr || w->enabled.load() != 0 || w->keep != 0) return;
  FreeWorker(w);
  c->worker = nullptr;
}

int32_t XaOpen(uint32_t h, uint32_t useThread, const char* info, int32_t rmid, int64_t flags) {
  JdbcConn* c = AGT_Conn(h);
  if (c == nullptr) return XAER_INVAL;
  PRX_WORKER* w = WorkerForOpen(c, h, useThread);
  if (w == nullptr) return XAER_RMERR;
  const int32_t rc = Xa<&DRV_OpTable::DRV_XaOpen>::Run(w, h, useThread, info, rmid, flags);
  DropIdleWorker(c);
  return rc;
}

int32_t XaClose(uint32_t h, const char* info, int32_t rmid, int64_t flags) {
  JdbcConn* c = AGT_Conn(h);
  if (c == nullptr || c->worker == nullptr) return XAER_INVAL;
  const int32_t rc = Xa<&DRV_OpTable::DRV_XaClose>::Run(WorkerOf(c), h, info, rmid, flags);
  DropIdleWorker(c);
  return rc;
}

// Never on the worker: the agent's disconnect frees the record that holds
// it, so the worker is taken first and stopped once the record is gone.
uint32_t Disconnect(uint32_t h) {
  JdbcConn* c = AGT_Conn(h);
  if (c == nullptr) return ERR_INVALID_ARGUMENT;
  const DRV_Disconnect_t op = Saved()->DRV_Disconnect;
  if (op == nullptr) return ERR_NOT_CAPABLE;
  PRX_WORKER* w = WorkerOf(c);
  const uint32_t rc = op(h);
  if (rc == 0) FreeWorker(w);
  return rc;
}

const DRV_OpTable* Install(const DRV_OpTable* saved) {
  DRV_OpTable& t = gProxyTable;
  t = *saved;
  t.DRV_Disconnect = &Disconnect;
  t.DRV_AllocStmt = &Work<&DRV_OpTable::DRV_AllocStmt, Via::kConn>::Thunk;
  t.DRV_FreeStmt = &Work<&DRV_OpTable::DRV_FreeStmt, Via::kStmt>::Thunk;
  t.DRV_Prepare = &Work<&DRV_OpTable::DRV_Prepare, Via::kStmt>::Thunk;
  t.DRV_Execute = &Work<&DRV_OpTable::DRV_Execute, Via::kStmt>::Thunk;
  t.DRV_Fetch = &Work<&DRV_OpTable::DRV_Fetch, Via::kStmt>::Thunk;
  t.DRV_CloseCursor = &Work<&DRV_OpTable::DRV_CloseCursor, Via::kStmt>::Thunk;
  t.DRV_MoreResults = &Work<&DRV_OpTable::DRV_MoreResults, Via::kStmt>::Thunk;
  t.DRV_ParamData = &Work<&DRV_OpTable::DRV_ParamData, Via::kStmt>::Thunk;
  t.DRV_PutData = &Work<&DRV_OpTable::DRV_PutData, Via::kStmt>::Thunk;
  t.DRV_PrepareExecute = &Work<&DRV_OpTable::DRV_PrepareExecute, Via::kStmt>::Thunk;
  t.DRV_Execute2 = &Work<&DRV_OpTable::DRV_Execute2, Via::kStmt>::Thunk;
  t.DRV_XaClose = &XaClose;
  t.DRV_XaCommit = &Xa<&DRV_OpTable::DRV_XaCommit>::Thunk;
  t.DRV_XaComplete = &Xa<&DRV_OpTable::DRV_XaComplete>::Thunk;
  t.DRV_XaEnd = &Xa<&DRV_OpTable::DRV_XaEnd>::Thunk;
  t.DRV_XaForget = &Xa<&DRV_OpTable::DRV_XaForget>::Thunk;
  t.DRV_XaOpen = &XaOpen;
  t.DRV_XaPrepare = &Xa<&DRV_OpTable::DRV_XaPrepare>::Thunk;
  t.DRV_XaRecover = &Xa<&DRV_OpTable::DRV_XaRecover>::Thunk;
  t.DRV_XaRollback = &Xa<&DRV_OpTable::DRV_XaRollback>::Thunk;
  t.DRV_XaStart = &Xa<&DRV_OpTable::DRV_XaStart>::Thunk;
  gSaved.store(saved, std::memory_order_release);
  return &gProxyTable;
}

}  // namespace

const DRV_OpTable* PRX_SavedTable() { return Saved(); }

// Every registration builds the same chain, so the proxy's table is made
// once, from the first, and never written again while threads call through
// it. A record that carries another chain is left as it is.
int PRX_Init(DRV_Agent* agent) {
  if (agent == nullptr || agent->agentType == 0 || agent->ops == nullptr) return ERR_NOT_CAPABLE;
  static const DRV_OpTable* const proxy = Install(agent->ops);
  if (agent->ops == Saved()) agent->ops = proxy;
  AGT_SetWorkerSwitch(PRX_SetEnabled);
  return 0;
}
