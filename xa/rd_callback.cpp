// The coordinator's calls into an enlistment: the two-phase commit mapped
// onto the agent's XA verbs. Each answers the coordinator on the enlistment
// interface before it returns (TMDown excepted). Once the connection has let
// go of the dispenser, every call answers a failure and touches nothing of
// the connection.
#include <cassert>
#include <chrono>
#include <thread>

#include "xa/rd_object.h"
#include "xa/xa_trace.h"

namespace {

bool Heuristic(int32_t rc) { return rc >= XA_HEURMIX && rc <= XA_HEURHAZ; }

}  // namespace

// The gate is taken with try_lock under the dispenser's lock, never waited
// for: the application's thread takes the gate first and the dispenser's
// lock second, and the gate lives only while the connection holds the
// dispenser. The hold taken here outlives the function (it ends at commit
// or abort, maybe on another thread), which the analysis cannot follow.
bool COdbcResourceDispenser::TakeCallLock() NO_THREAD_SAFETY_ANALYSIS {
  while (callLock_ != nullptr) {
    if (callLock_->try_lock()) {
      hold_ = callLock_->hold();
      return true;
    }
    lock_.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    lock_.lock();
  }
  return false;
}

void COdbcResourceDispenser::LeaveCallLock() {
  if (callLock_ != nullptr && hold_ != 0) callLock_->release_all(hold_);
  hold_ = 0;
}

ITransactionEnlistmentAsync* COdbcResourceDispenser::Enlistment() {
  plat::Guard<plat::Mutex> g(lock_);
  return enlistment_;
}

HRESULT COdbcResourceDispenser::Prepare() {
  plat::Guard<plat::Mutex> g(lock_);
  assert(HoldMatchesState());
  // The branch is ended and prepared under the connection's call lock, so
  // that no application call runs on a branch in doubt.
  if (!TakeCallLock()) return E_FAIL;
  int32_t rc = XA_OK;
  if (state_ == kStarted) {
    rc = OnBranch(&DRV_OpTable::DRV_XaEnd, TMSUCCESS);
    if (rc == XA_OK) state_ = kEnded;
  }
  if (rc == XA_OK) rc = OnBranch(&DRV_OpTable::DRV_XaPrepare, TMNOFLAGS);
  if (rc == XA_OK) {
    state_ = kPrepared;
    return S_OK;
  }
  LeaveCallLock();
  state_ = rc == XAER_RMERR ? kEnded : kIdle;
  return rc == XA_RDONLY ? XACT_S_READONLY : E_FAIL;
}

HRESULT COdbcResourceDispenser::Commit() {
  plat::Guard<plat::Mutex> g(lock_);
  assert(HoldMatchesState());
  if (callLock_ == nullptr) return E_FAIL;
  const int32_t rc = OnBranch(&DRV_OpTable::DRV_XaCommit, TMNOFLAGS);
  if (rc == XA_RETRY) return E_FAIL;  // still prepared, the lock kept
  if (state_ == kPrepared) LeaveCallLock();
  state_ = Heuristic(rc) ? kHeuristic : kIdle;
  return rc == XA_OK ? S_OK : E_FAIL;
}

HRESULT COdbcResourceDispenser::Abort() {
  plat::Guard<plat::Mutex> g(lock_);
  assert(HoldMatchesState());
  if (callLock_ == nullptr) return E_FAIL;
  int32_t rc = XA_OK;
  if (state_ == kStarted) {
    rc = OnBranch(&DRV_OpTable::DRV_XaEnd, TMSUCCESS);
    if (rc == XA_OK) state_ = kEnded;
  }
  if (rc == XA_OK) rc = OnBranch(&DRV_OpTable::DRV_XaRollback, TMNOFLAGS);
  if (state_ == kPrepared) LeaveCallLock();
  state_ = Heuristic(rc) ? kHeuristic : kIdle;
  return rc == XA_OK ? S_OK : E_FAIL;
}

// A branch in doubt stays prepared: the coordinator may have decided to
// commit before it went down, and its recovery finds the branch through the
// switch. The connection is let go and the enlistment marked lost.
HRESULT COdbcResourceDispenser::CoordinatorDown() {
  plat::Guard<plat::Mutex> g(lock_);
  assert(HoldMatchesState());
  if (callLock_ == nullptr) return E_FAIL;
  if (state_ == kPrepared) {
    LeaveCallLock();
    state_ = kLost;
    return S_OK;
  }
  if (state_ == kStarted) OnBranch(&DRV_OpTable::DRV_XaEnd, TMFAIL);
  const int32_t rc = state_ == kLost || state_ == kIdle
                         ? XA_OK
                         : OnBranch(&DRV_OpTable::DRV_XaRollback, TMNOFLAGS);
  if (state_ != kLost) state_ = kIdle;
  return rc == XA_OK ? S_OK : E_FAIL;
}

HRESULT CImpITransactionResourceAsync::QueryInterface(const IID& riid, void** ppv) {
  return owner_->QueryInterface(riid, ppv);
}
uint32_t CImpITransactionResourceAsync::AddRef() { return owner_->AddRef(); }
uint32_t CImpITransactionResourceAsync::Release() { return owner_->Release(); }

HRESULT CImpITransactionResourceAsync::PrepareRequest(int32_t, uint32_t, int32_t,
                                                      int32_t fSinglePhase) {
  RD_Trace("CImpITransactionResourceAsync::PrepareRequest(fSinglePhase=%d)\n", fSinglePhase);
  const HRESULT hr = RD_TraceHResult(owner_->Prepare());
  if (ITransactionEnlistmentAsync* e = owner_->Enlistment())
    e->PrepareRequestDone(hr, nullptr, nullptr);
  return hr;
}

HRESULT CImpITransactionResourceAsync::CommitRequest(uint32_t, XACTUOW*) {
  RD_Trace("CImpITransactionResourceAsync::CommitRequest()\n");
  const HRESULT hr = RD_TraceHResult(owner_->Commit());
  if (ITransactionEnlistmentAsync* e = owner_->Enlistment()) e->CommitRequestDone(hr);
  return hr;
}

HRESULT CImpITransactionResourceAsync::AbortRequest(BOID*, int32_t, XACTUOW*) {
  RD_Trace("CImpITransactionResourceAsync::AbortRequest()\n");
  const HRESULT hr = RD_TraceHResult(owner_->Abort());
  if (ITransactionEnlistmentAsync* e = owner_->Enlistment()) e->AbortRequestDone(hr);
  return hr;
}

HRESULT CImpITransactionResourceAsync::TMDown() {
  RD_Trace("CImpITransactionResourceAsync::TMDown()\n");
  return RD_TraceHResult(owner_->CoordinatorDown());
}
