// The resource dispenser and its callback object.
#ifndef QMR_XA_RD_OBJECT_H
#define QMR_XA_RD_OBJECT_H

#include <atomic>
#include <string>

#include "driver/lock_order.h"
#include "drv_jdbc/drv_agent.h"
#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "util/xa.h"
#include "xa/dtc.h"
#include "xa/rd_list.h"

class COdbcResourceDispenser;

class CImpITransactionResourceAsync final : public ITransactionResourceAsync {
 public:
  explicit CImpITransactionResourceAsync(COdbcResourceDispenser* owner) : owner_(owner) {}
  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT PrepareRequest(int32_t fRetaining, uint32_t grfRM, int32_t fWantMoniker,
                         int32_t fSinglePhase) override;
  HRESULT CommitRequest(uint32_t grfRM, XACTUOW* pNewUOW) override;
  HRESULT AbortRequest(BOID* pboidReason, int32_t fRetaining, XACTUOW* pNewUOW) override;
  HRESULT TMDown() override;
  ~CImpITransactionResourceAsync() = default;

 private:
  COdbcResourceDispenser* owner_;
};

class IOdbcResourceDispenser : public IUnknown {
 public:
  virtual ~IOdbcResourceDispenser() = default;
  virtual HRESULT RMConnect() = 0;
  virtual HRESULT RMEnlist() = 0;
  virtual HRESULT GetSelf(IOdbcResourceDispenser** out) = 0;
};

class COdbcResourceDispenser final : public IOdbcResourceDispenser {
 public:
  // The branch as far as the dispenser took it.
  enum State : uint32_t {
    kIdle = 0,
    kStarted = 1,
    kEnded = 2,
    kPrepared = 3,  // the connection's call lock is held
    kLost = 4,      // the coordinator went down while the branch was prepared
    kHeuristic = 5,
  };

  COdbcResourceDispenser(ITransaction* transaction, uint32_t agentEnv, uint32_t agentConn,
                         DRV_Agent* agent, void** xaData, plat::Gate* callLock,
                         const char* connectText);
  ~COdbcResourceDispenser() override;

  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT RMConnect() override;
  HRESULT RMEnlist() override;
  HRESULT GetSelf(IOdbcResourceDispenser** out) override;

  // The connection lets go (see RD_Release).
  void Detach();
  bool Lost();

  // The callbacks' work, under the dispenser's lock.
  HRESULT Prepare();
  HRESULT Commit();
  HRESULT Abort();
  HRESULT CoordinatorDown();
  ITransactionEnlistmentAsync* Enlistment();

 private:
  int32_t OnBranch(DRV_XaXid_t DRV_OpTable::*slot, int64_t flags) REQUIRES(lock_);
  bool TakeCallLock() REQUIRES(lock_);
  void LeaveCallLock() REQUIRES(lock_);
  void UndoOnConnection() REQUIRES(lock_);
  // While the connection holds the dispenser, the branch is prepared
  // exactly when the dispenser holds the connection's call lock.
  bool HoldMatchesState() const REQUIRES(lock_) {
    return callLock_ == nullptr || (state_ == kPrepared) == (hold_ != 0);
  }

  const uint32_t kind_ = 1;
  std::atomic<uint32_t> refs_{0};
  // Taken after the connection's call lock (the application's calls that
  // enlist, and closing the connection, which detaches the dispenser) and
  // after the dispatcher's call lock (freeing an environment closes its
  // connections under it); before the list's lock, and before the
  // agent's locks (the XA verbs run under it). The coordinator's prepare
  // takes the connection's call lock under it, against this order, but
  // only by try_lock, letting go of it between tries (TakeCallLock), so
  // the two never wait for each other.
  plat::Mutex lock_ ACQUIRED_AFTER(lock_order::callLock)
      ACQUIRED_BEFORE(lock_order::enlistmentListLock);
  CImpITransactionResourceAsync* callback_;
  void** xaData_ GUARDED_BY(lock_);
  plat::Gate* callLock_ GUARDED_BY(lock_);  // null once the connection let go
  plat::Gate::Hold hold_ GUARDED_BY(lock_) = 0;
  std::string connectText_;
  uint32_t agentEnv_;
  uint32_t hConnect_;
  DRV_Agent* agent_ GUARDED_BY(lock_);
  int32_t rmid_ GUARDED_BY(lock_) = 0;
  bool opened_ GUARDED_BY(lock_) = false;
  std::string xaInfo_ GUARDED_BY(lock_);
  State state_ GUARDED_BY(lock_) = kIdle;
  ITransaction* transaction_;
  uint32_t cookie_ GUARDED_BY(lock_) = 0;
  XID xid_ GUARDED_BY(lock_){};
  IDtcToXaHelperSinglePipe* helper_ GUARDED_BY(lock_) = nullptr;
  ITransactionEnlistmentAsync* enlistment_ GUARDED_BY(lock_) = nullptr;
};

#endif
