// CallODBC and the process-wide dispatcher state.
#include "driver/dispatch.h"

#include <sql.h>

#include <atomic>
#include <cassert>
#include <chrono>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>

#include "driver/calldescs.h"
#include "driver/env.h"
#include "driver/trace.h"
#include "driver/transact.h"
#include "platform/procinfo.h"
#include "util/errcodes.h"

HANDLE_TABLE gEnvTable;
HANDLE_TABLE gConnTable;
HANDLE_TABLE gStmtTable;
HANDLE_TABLE gDescTable;

namespace {

std::atomic<uint32_t> gInitialised{0};
std::atomic<uint32_t> gNoSerialise{0};
std::atomic<uint32_t> gNoSerialiseGuard{0};

using CallGuard = plat::Guard<plat::RecursiveMutex>;

// What runs in place of the descriptor's operation, and what runs after it
// while the call still holds its locks.
struct Hooks {
  bool refuse = false;
  int32_t refuseCode = 0;
  const DRV_Post* post = nullptr;
  bool cancel = false;  // SQLCancel's own dispatch (CallODBCCancel)
};

void traceCall(const CallDesc* d, const char* label, uint64_t handle, va_list args, bool withArgs) {
  if (!TRC_Active()) return;
  const uint64_t tid = plat::thread_id();
  if (label != nullptr)
    TRC_Printf("\n[%" PRIX64 "] SQL%s %s=%08" PRIX64, tid, d->name, label, handle);
  else
    TRC_Printf("\n[%" PRIX64 "] SQL%s", tid, d->name);
  if (withArgs && d->argFormat != nullptr && d->argFormat[0] != '\0') {
    char line[250];
    va_list copy;
    va_copy(copy, args);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::vsnprintf(line, sizeof line, d->argFormat, copy);
#pragma GCC diagnostic pop
    va_end(copy);
    TRC_Printf("%s", line);
  }
}

// No C++ exception leaves an entry point: one an operation lets go of
// fails its call. A container asked for more than it can hold was given a
// length the driver cannot take.
DRV_Return runGuarded(const CallDesc* d, void* record, DiagArea* diag, va_list args) {
  int32_t code;
  try {
    return d->op(record, args);
  } catch (const std::bad_alloc&) {
    code = ERR_NO_MEMORY;
  } catch (const std::length_error&) {
    code = ERR_INVALID_LENGTH;
  } catch (const std::exception&) {
    code = ERR_GENERAL;
  }
  // The record may be of any kind here; its area is all the dispatcher has.
  if (diag != nullptr) FailArea(diag, code);
  return SQL_ERROR;
}

inline DRV_Return runOp(const CallDesc* d, const Hooks& h, void* record, DiagArea* diag,
                        va_list args) {
  DRV_Return rc;
  if (h.refuse) {
    // The record may be of any kind here; its area is all the dispatcher has.
    if (diag != nullptr) FailArea(diag, h.refuseCode);
    rc = SQL_ERROR;
  } else {
    rc = runGuarded(d, record, diag, args);
  }
  if (h.post != nullptr) rc = h.post->fn(h.post->ctx, record, diag, rc);
  return rc;
}

// The serialising lock around an operation unless the process decided it
// needs none.
DRV_Return runSerialised(bool noSerialise, const CallDesc* d, const Hooks& h, void* record,
                         DiagArea* diag, va_list args) {
  if (noSerialise) return runOp(d, h, record, diag, args);
  CallGuard serial(DRV_SerialLock());
  return runOp(d, h, record, diag, args);
}

// Runs an operation on a connection, statement or descriptor once the busy
// mark is set: under the connection's call lock once another thread may
// take it too (before that the busy mark is all it would add), then the
// serialising lock.
DRV_Return runGated(ConnHandle* conn, bool noSerialise, const CallDesc* d, const Hooks& h,
                    void* record, DiagArea* diag, va_list args) {
  if (!conn->callLockShared.load(std::memory_order_acquire))
    return runSerialised(noSerialise, d, h, record, diag, args);
  plat::Guard<plat::Gate> callHold(conn->callLock);
  return runSerialised(noSerialise, d, h, record, diag, args);
}

// The common case, neither lock to take, straight to the operation.
inline DRV_Return runLocked(ConnHandle* conn, bool noSerialise, const CallDesc* d, const Hooks& h,
                            void* record, DiagArea* diag, va_list args) {
  if (noSerialise && !conn->callLockShared.load(std::memory_order_acquire))
    return runOp(d, h, record, diag, args);
  return runGated(conn, noSerialise, d, h, record, diag, args);
}

// Signalled whenever a connection's call ends; waited on with the call lock.
std::condition_variable_any& callEnded() {
  static auto* cv = new std::condition_variable_any;
  return *cv;
}

// Threads waiting on callEnded(): a call that ends with nobody waiting
// signals nothing (the signal takes a lock of its own on every call).
// Counted under the call lock, which a waiter holds until the wait lets it
// go, so an end that sees no waiter can miss none.
unsigned gCallWaiters GUARDED_BY(DRV_CallLock()) = 0;

// What claiming a connection for one call gave.
template <class Rec>
struct Claim {
  DRV_Return refusal = 0;  // 0: the call may run
  Rec* rec = nullptr;
  ConnHandle* conn = nullptr;
  bool noSerialise = false;
};

// A statement call waiting for its turn to work at the database is counted
// on the statement, so that SQLCancel can end it before it runs; other calls
// and handles wait uncounted.
void noteWaiting(StmtHandle* s, bool waiting) REQUIRES(DRV_CallLock()) {
  if (waiting) {
    ++s->callsWaiting;
  } else if (s->callsWaiting > 0) {
    --s->callsWaiting;
  }
}
template <class Rec>
void noteWaiting(Rec*, bool) {}

// Whether SQLCancel asked a waiting call of the statement to end unrun (the
// request is taken).
bool takeCancel(StmtHandle* s) REQUIRES(DRV_CallLock()) {
  const bool asked = s->cancelWaiting;
  s->cancelWaiting = false;
  return asked;
}
template <class Rec>
bool takeCancel(Rec*) {
  return false;
}

// Looks the handle up and marks its connection busy with it. Threads that
// share a connection are served one call at a time: a call arriving while
// another thread's call runs on the connection waits for it (also a call on
// the very handle that runs), looking the handle up again afterwards since
// it may have gone meanwhile. SQLCancel's own dispatch (`cancel`) answers
// still-executing where the statement runs instead; a call from the thread
// that is itself inside a call of the connection is refused (waiting would
// never end). A refusal's diagnostic goes on the handle called. Only a
// `cancellable` call (CD_Cancellable) can be ended by SQLCancel, waiting for
// its turn or running (the mark says which kind runs).
template <class Rec, class Lookup, class ConnOf>
Claim<Rec> claim(uint64_t number, Lookup lookup, ConnOf connOf, bool cancel, bool cancellable) {
  const uint64_t me = plat::thread_token();
  DRV_CallHold g(DRV_CallLock());
  // Waiting below lets go of one level of the call lock: a call dispatched
  // from inside another hold of it would wait for ever.
  DRV_CallLock().AssertHeldOnce();
  Rec* waited = nullptr;  // the record counted as waiting, until it wakes
  for (;;) {
    Claim<Rec> c;
    if (gInitialised.load() == 0) {
      c.refusal = SQL_ERROR;
      return c;
    }
    c.rec = lookup(number);
    c.conn = c.rec != nullptr ? connOf(c.rec) : nullptr;
    if (c.conn == nullptr) {
      c.refusal = SQL_INVALID_HANDLE;
      return c;
    }
    if (waited != nullptr && waited == c.rec) {
      noteWaiting(c.rec, false);
      if (takeCancel(c.rec)) {
        c.refusal = Fail(c.rec, ERR_CANCELLED);
        return c;
      }
    }
    waited = nullptr;
    ConnHandle* conn = c.conn;
    if (conn->busy == nullptr) {
      // The mark and its thread are set and cleared together.
      assert(conn->busyThread == 0);
      conn->busy = c.rec;
      conn->busyThread = me;
      conn->cancelled = nullptr;
      conn->busyCancellable = cancellable;
      ++conn->callSerial;
      c.noSerialise = gNoSerialise.load() != 0;
      return c;
    }
    if (conn->busyThread == me) {
      c.refusal = Fail(c.rec, ERR_FUNCTION_SEQUENCE);
      return c;
    }
    if (cancel && conn->busy == static_cast<void*>(c.rec) && static_cast<void*>(c.rec) != conn) {
      c.refusal = SQL_STILL_EXECUTING;
      return c;
    }
    if (!cancel && cancellable) {
      noteWaiting(c.rec, true);
      waited = c.rec;
    }
    DRV_WaitCallEnd(g);
  }
}

// Ends a call: a failure of a call that SQLCancel interrupted is reported as
// cancelled, first among its diagnostics (`diag` is the called handle's, or
// null when the handle is gone), then the connection is free for the next.
// Answers whether a thread waits for a call's end, to be woken once the
// call lock is let go.
bool endCallLocked(ConnHandle* conn, void* rec, DiagArea* diag, DRV_Return rc)
    REQUIRES(DRV_CallLock()) {
  // Only the thread that set the busy mark clears it: the fields are
  // guarded by the call lock, but that the mark is this call's is a rule
  // of the claim.
  assert(conn->busyThread == plat::thread_token());
  assert(conn->busy == rec);
  if (rc == SQL_ERROR && diag != nullptr && conn->cancelled == rec)
    DIAG_PutFirst(diag, ERR_CANCELLED);
  conn->busy = nullptr;
  conn->busyThread = 0;
  conn->cancelled = nullptr;
  conn->busyCancellable = false;
  return gCallWaiters > 0;
}

void endCall(ConnHandle* conn, void* rec, DiagArea* diag, DRV_Return rc) {
  bool waiters = false;
  {
    CallGuard g(DRV_CallLock());
    waiters = endCallLocked(conn, rec, diag, rc);
  }
  if (waiters) callEnded().notify_all();
}

DRV_Return dispatchEnv(const CallDesc* d, const Hooks& h, va_list args) {
  const uint64_t number = DRV_HandleNumber(va_arg(args, void*));
  traceCall(d, "hEnv", number, args, !h.refuse);
  CallGuard g(DRV_CallLock());
  EnvHandle* env = DRV_LookupEnv(number);
  if (env == nullptr) return SQL_INVALID_HANDLE;
  if (d->flagB) DIAG_Clear(&env->diag);
  return runOp(d, h, env, &env->diag, args);
}

DRV_Return dispatchConn(const CallDesc* d, const Hooks& h, va_list args) {
  const uint64_t number = DRV_HandleNumber(va_arg(args, void*));
  traceCall(d, "hDbc", number, args, !h.refuse);
  const Claim<ConnHandle> c = claim<ConnHandle>(
      number, DRV_LookupConn, [](ConnHandle* x) { return x; }, h.cancel, false);
  if (c.refusal != 0) return c.refusal;
  ConnHandle* conn = c.conn;
  if (d->flagB) DIAG_Clear(&conn->diag);
  DRV_Return rc = runLocked(conn, c.noSerialise, d, h, conn, &conn->diag, args);
  if (conn->tag == kTagReleased) {
    // Released by its own operation: nobody else can reach it any more (its
    // number left the table under the call lock), and its locks are free.
    // Calls that waited for it find it gone.
    delete conn;
    callEnded().notify_all();
    return rc;
  }
  if (rc != 0 && conn->failoverCallback != nullptr && d->flagB)
    rc = DRV_NotifyFailover(conn, kCallConn, rc);
  endCall(conn, conn, &conn->diag, rc);
  return rc;
}

// Statements and descriptors: the connection they belong to carries the
// busy mark and the call lock.
template <class Rec, class Lookup, class ConnOf>
DRV_Return dispatchChild(const CallDesc* d, const Hooks& h, va_list args, const char* label,
                         Lookup lookup, ConnOf connOf) {
  const uint64_t number = DRV_HandleNumber(va_arg(args, void*));
  traceCall(d, label, number, args, !h.refuse);
  const Claim<Rec> c = claim<Rec>(number, lookup, connOf, h.cancel, CD_Cancellable(d));
  if (c.refusal != 0) return c.refusal;
  Rec* rec = c.rec;
  ConnHandle* conn = c.conn;
  if (d->flagB) DIAG_Clear(&rec->diag);
  DRV_Return rc = runLocked(conn, c.noSerialise, d, h, rec, &rec->diag, args);
  // The record may be gone now (a drop or free frees it); the connection
  // cannot be.
  if (rc != 0 && conn->failoverCallback != nullptr && d->flagB)
    rc = DRV_NotifyFailover(conn, d->kind, rc);
  // A failure's diagnostics go on the record only while it lives; looked
  // up under the same hold that ends the call.
  bool waiters = false;
  {
    CallGuard g(DRV_CallLock());
    DiagArea* diag = rc == SQL_ERROR && lookup(number) == rec ? &rec->diag : nullptr;
    waiters = endCallLocked(conn, rec, diag, rc);
  }
  if (waiters) callEnded().notify_all();
  return rc;
}

DRV_Return dispatch(const CallDesc* d, const Hooks& h, va_list args) {
  if (gInitialised.load() == 0) return SQL_ERROR;
  DRV_Return rc;
  switch (d->kind) {
    case kCallNoHandle: {
      traceCall(d, nullptr, 0, args, !h.refuse);
      CallGuard g(DRV_CallLock());
      rc = runOp(d, h, nullptr, nullptr, args);
      break;
    }
    case kCallEnv: rc = dispatchEnv(d, h, args); break;
    case kCallConn: rc = dispatchConn(d, h, args); break;
    case kCallStmt:
      rc = dispatchChild<StmtHandle>(d, h, args, "hStmt", DRV_LookupStmt,
                                     [](StmtHandle* s) { return s->conn; });
      break;
    case kCallDesc:
      rc = dispatchChild<DescHandle>(d, h, args, "hDesc", DRV_LookupDesc,
                                     [](DescHandle* x) { return DESC_Conn(x); });
      break;
    default:
      if (TRC_Active()) TRC_Printf("CallODBC: internal error");
      return SQL_ERROR;
  }
  if (TRC_Active())
    TRC_Printf("[%" PRIX64 "] SQL%s: returning SQL_%s", plat::thread_id(), d->name,
               DRV_ReturnName(rc));
  return rc;
}

DRV_Return refuseVa(const CallDesc* d, int32_t code, ...) {
  Hooks h;
  h.refuse = true;
  h.refuseCode = code;
  va_list args;
  va_start(args, code);
  DRV_Return rc = dispatch(d, h, args);
  va_end(args);
  return rc;
}

}  // namespace

plat::RecursiveMutex& DRV_ConnectLock() {
  static auto* lock = new plat::RecursiveMutex;
  return *lock;
}

plat::RecursiveMutex& DRV_SerialLock() {
  static auto* lock = new plat::RecursiveMutex;
  return *lock;
}

void DRV_WaitCallEnd(DRV_CallHold& callLock) {
  DRV_CallLock().AssertHeldOnce();
  ++gCallWaiters;
  callEnded().wait(callLock);
  --gCallWaiters;
}

void DRV_WaitCallEndFor(DRV_CallHold& callLock, unsigned ms) {
  DRV_CallLock().AssertHeldOnce();
  ++gCallWaiters;
  callEnded().wait_for(callLock, std::chrono::milliseconds(ms));
  --gCallWaiters;
}

DRV_Return CallODBC(const CallDesc* desc, ...) {
  va_list args;
  va_start(args, desc);
  DRV_Return rc = dispatch(desc, Hooks{}, args);
  va_end(args);
  return rc;
}

DRV_Return CallODBCPost(const CallDesc* desc, const DRV_Post* post, ...) {
  Hooks h;
  h.post = post;
  va_list args;
  va_start(args, post);
  DRV_Return rc = dispatch(desc, h, args);
  va_end(args);
  return rc;
}

DRV_Return CallODBCRefuse(const CallDesc* desc, int32_t code, void* handle) {
  return refuseVa(desc, code, handle);
}

namespace {

DRV_Return cancelVa(const CallDesc* d, ...) {
  Hooks h;
  h.cancel = true;
  va_list args;
  va_start(args, d);
  DRV_Return rc = dispatch(d, h, args);
  va_end(args);
  return rc;
}

}  // namespace

DRV_Return CallODBCCancel(const CallDesc* desc, void* handle) { return cancelVa(desc, handle); }

int DRV_InitCalls() {
  if (gInitialised.load() != 0) return 0;
  CallGuard g(DRV_CallLock());
  if (gInitialised.load() != 0) return 0;
  // Only the low 16 bits of a table tag count: these give tags 1 to 4.
  HANDLE_TABLE* tables[] = {&gEnvTable, &gConnTable, &gStmtTable, &gDescTable};
  const uint32_t tags[] = {0x0DBC0001, 0x0DBC0002, 0x0DBC0003, 0x0DBC0004};
  // The tables take no lock of their own: every lookup, allocation and
  // release of a number happens under the call lock already, and a lock per
  // table would be a second one on every call.
  for (int i = 0; i < 4; ++i) {
    if (HT_Init(tables[i], tags[i]) != 0) {
      for (HANDLE_TABLE* t : tables) HT_Done(t);
      return -1;
    }
  }
  gInitialised.store(1);
  return 0;
}

int DRV_DoneCalls() {
  if (gInitialised.load() == 0) return 0;
  CallGuard g(DRV_CallLock());
  if (gInitialised.load() == 0) return 0;
  while (EnvHandle* env = ENV_First()) {
    if (ENV_AnyConnBusy(env)) break;  // a call is still running: leave them all
    ENV_Close(env);
    ENV_Free(env);
  }
  gInitialised.store(0);
  // Destroyed under the call lock: every lookup, allocation and release of a
  // number happens under it too.
  HT_Done(&gStmtTable);
  HT_Done(&gConnTable);
  HT_Done(&gEnvTable);
  HT_Done(&gDescTable);
  return 0;
}

bool DRV_CallsReady() { return gInitialised.load() != 0; }

void DRV_NoteConnFlag(const DRV_Agent* agent) {
  uint32_t expected = 0;
  if (agent == nullptr || !gNoSerialiseGuard.compare_exchange_strong(expected, 1)) return;
  gNoSerialise.store(agent->agentType & 2);
}

uint32_t DRV_NoSerialise() { return gNoSerialise.load(); }

EnvHandle* DRV_LookupEnv(uint64_t handle) {
  auto* r = static_cast<EnvHandle*>(HT_Lookup(&gEnvTable, handle));
  return r != nullptr && r->tag == kTagEnv ? r : nullptr;
}

ConnHandle* DRV_LookupConn(uint64_t handle) {
  auto* r = static_cast<ConnHandle*>(HT_Lookup(&gConnTable, handle));
  return r != nullptr && r->tag == kTagConn ? r : nullptr;
}

StmtHandle* DRV_LookupStmt(uint64_t handle) {
  auto* r = static_cast<StmtHandle*>(HT_Lookup(&gStmtTable, handle));
  return r != nullptr && r->tag == kTagStmt ? r : nullptr;
}

DescHandle* DRV_LookupDesc(uint64_t handle) {
  auto* r = static_cast<DescHandle*>(HT_Lookup(&gDescTable, handle));
  return r != nullptr && r->tag == kTagDesc ? r : nullptr;
}

const char* DRV_ReturnName(int rc) {
  switch (rc) {
    case SQL_INVALID_HANDLE: return "INVALID_HANDLE";
    case SQL_ERROR: return "ERROR";
    case SQL_SUCCESS: return "SUCCESS";
    case SQL_SUCCESS_WITH_INFO: return "SUCCESS_WITH_INFO";
    case SQL_STILL_EXECUTING: return "STILL_EXECUTING";
    case SQL_NEED_DATA: return "NEED_DATA";
    case SQL_NO_DATA: return "NO_DATA_FOUND";
    default: return "UNKNOWN_ERROR";
  }
}
