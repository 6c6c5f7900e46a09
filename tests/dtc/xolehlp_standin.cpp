// A stand-in for the coordinator's helper library: one transaction manager
// per process that registers resource managers (loading their driver by
// file name and taking its switch for recovery), converts its transactions
// to XIDs, takes enlistments and drives the two-phase commit on them from a
// thread of its own.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/dtc/coordinator.h"

namespace {

bool Same(const IID& a, const IID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Runs jobs one after the other on the coordinator's thread; the caller
// waits for its job. Never destroyed: the thread outlives every test.
class Worker {
 public:
  Worker() {
    std::thread([this] { Loop(); }).detach();
  }
  void Run(const std::function<void()>& job) {
    std::unique_lock<std::mutex> l(m_);
    bool done = false;
    jobs_.push_back([&] {
      job();
      std::lock_guard<std::mutex> g(m_);
      done = true;
      cv_.notify_all();
    });
    cv_.notify_all();
    cv_.wait(l, [&] { return done; });
  }

 private:
  void Loop() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> l(m_);
        cv_.wait(l, [&] { return !jobs_.empty(); });
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
};

Worker& Coordinator() {
  static Worker* w = new Worker;
  return *w;
}

struct Rm {
  std::string open;  // the switch's open string
  xa_switch_t* sw = nullptr;
};

class Transaction;

// The coordinator's side of one enlistment: the resource's answers.
class Enlistment final : public ITransactionEnlistmentAsync {
 public:
  Enlistment(ITransactionResourceAsync* res, uint32_t cookie) : res_(res), cookie_(cookie) {
    res_->AddRef();
  }
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    *ppv = Same(riid, IID_IUnknown) || Same(riid, IID_ITransactionEnlistmentAsync) ? this : nullptr;
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT PrepareRequestDone(HRESULT hr, IMoniker*, BOID*) override { return Answer(hr); }
  HRESULT CommitRequestDone(HRESULT hr) override { return Answer(hr); }
  HRESULT AbortRequestDone(HRESULT hr) override { return Answer(hr); }

  // Asks, and answers what the resource answered on this interface (E_FAIL
  // when it never answered).
  HRESULT Ask(const std::function<void(ITransactionResourceAsync*)>& call) {
    answer_ = static_cast<HRESULT>(0x8000FFFFu);
    call(res_);
    return answer_;
  }
  void Drop() {
    if (res_ != nullptr) res_->Release();
    res_ = nullptr;
  }
  uint32_t cookie() const { return cookie_; }

 private:
  ~Enlistment() { Drop(); }
  HRESULT Answer(HRESULT hr) {
    answer_ = hr;
    return S_OK;
  }
  std::atomic<uint32_t> refs_{1};
  ITransactionResourceAsync* res_;
  uint32_t cookie_;
  HRESULT answer_ = 0;
};

class Transaction final : public ITransaction {
 public:
  explicit Transaction(uint64_t id) : id_(id) {}
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    *ppv = Same(riid, IID_IUnknown) || Same(riid, IID_ITransaction) ? this : nullptr;
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT Commit(int32_t, uint32_t, uint32_t) override {
    HRESULT out = S_OK;
    Coordinator().Run([&] { out = TwoPhases(); });
    return out;
  }
  HRESULT Abort(BOID*, int32_t, int32_t) override {
    Coordinator().Run([&] {
      AbortAll();
      Finish();
    });
    return S_OK;
  }
  HRESULT GetTransactionInfo(XACTTRANSINFO* info) override {
    if (info == nullptr) return E_INVALIDARG;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->uow.rgb, &id_, sizeof id_);
    return S_OK;
  }

  XID XidFor(uint32_t cookie) const {
    XID x{};
    x.formatID = 0x51434F44;
    const std::string g = "qmr-dtc-" + std::to_string(getpid()) + "-" + std::to_string(id_);
    const std::string b = "rm" + std::to_string(cookie);
    x.gtrid_length = static_cast<long>(g.size());
    x.bqual_length = static_cast<long>(b.size());
    std::memcpy(x.data, g.data(), g.size());
    std::memcpy(x.data + g.size(), b.data(), b.size());
    return x;
  }
  void Enlist(Enlistment* e) {
    std::lock_guard<std::mutex> g(m_);
    enlisted_.push_back(e);
    cookies_.push_back(e->cookie());
  }
  std::vector<uint32_t> Cookies() {
    std::lock_guard<std::mutex> g(m_);
    return cookies_;
  }
  std::atomic<bool> goDown{false};

 private:
  ~Transaction() { Finish(); }
  std::vector<Enlistment*> Taken() {
    std::lock_guard<std::mutex> g(m_);
    return enlisted_;
  }
  HRESULT TwoPhases() {
    bool prepared = true;
    for (Enlistment* e : Taken())
      prepared =
          prepared &&
          SUCCEEDED(e->Ask([](ITransactionResourceAsync* r) { r->PrepareRequest(0, 0, 0, 0); }));
    HRESULT out = S_OK;
    if (!prepared) {
      AbortAll();
      out = XACT_E_ABORTED;
    } else if (goDown) {
      for (Enlistment* e : Taken()) e->Ask([](ITransactionResourceAsync* r) { r->TMDown(); });
      out = XACT_E_CONNECTION_DOWN;
    } else {
      for (Enlistment* e : Taken())
        if (e->Ask([](ITransactionResourceAsync* r) { r->CommitRequest(0, nullptr); }) != S_OK)
          out = E_FAIL;
    }
    Finish();
    return out;
  }
  void AbortAll() {
    for (Enlistment* e : Taken())
      e->Ask([](ITransactionResourceAsync* r) { r->AbortRequest(nullptr, 0, nullptr); });
  }
  // The outcome is given: the coordinator lets go of the resources.
  void Finish() {
    std::vector<Enlistment*> all;
    {
      std::lock_guard<std::mutex> g(m_);
      all.swap(enlisted_);
    }
    for (Enlistment* e : all) e->Release();
  }

  const uint64_t id_;
  std::atomic<uint32_t> refs_{1};
  std::mutex m_;
  std::vector<Enlistment*> enlisted_;
  std::vector<uint32_t> cookies_;  // kept for recovery
};

class TransactionManager final : public IDtcToXaHelperSinglePipe {
 public:
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    *ppv = Same(riid, IID_IUnknown) || Same(riid, IID_IDtcToXaHelperSinglePipe) ? this : nullptr;
    return *ppv != nullptr ? S_OK : E_NOINTERFACE;
  }
  // One manager for the process's life.
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }

  HRESULT XARMCreate(char* dsn, char* dll, uint32_t* cookie) override {
    if (dsn == nullptr || dll == nullptr || cookie == nullptr) return E_INVALIDARG;
    void* lib = dlopen(dll, RTLD_NOW | RTLD_LOCAL);
    auto get = lib != nullptr
                   ? reinterpret_cast<int32_t (*)(uint32_t, void**)>(dlsym(lib, "GetXaSwitch"))
                   : nullptr;
    Rm rm;
    rm.open = dsn;
    if (get == nullptr || get(0, reinterpret_cast<void**>(&rm.sw)) != S_OK || rm.sw == nullptr)
      return E_FAIL;
    std::lock_guard<std::mutex> g(m_);
    *cookie = ++lastCookie_;
    rms_[*cookie] = rm;
    return S_OK;
  }
  HRESULT ConvertTridToXID(uint32_t* trans, uint32_t cookie, XID* xid) override {
    if (trans == nullptr || xid == nullptr || Find(cookie) == nullptr) return E_INVALIDARG;
    *xid = static_cast<Transaction*>(reinterpret_cast<ITransaction*>(trans))->XidFor(cookie);
    return S_OK;
  }
  HRESULT EnlistWithRM(uint32_t cookie, ITransaction* t, ITransactionResourceAsync* res,
                       ITransactionEnlistmentAsync** out) override {
    if (t == nullptr || res == nullptr || out == nullptr || Find(cookie) == nullptr)
      return E_INVALIDARG;
    auto* e = new Enlistment(res, cookie);
    static_cast<Transaction*>(t)->Enlist(e);
    e->AddRef();
    *out = e;
    return S_OK;
  }
  // The registration stays for recovery, as the coordinator's log keeps it.
  void ReleaseRMCookie(uint32_t, int32_t) override {}

  const Rm* Find(uint32_t cookie) {
    std::lock_guard<std::mutex> g(m_);
    auto it = rms_.find(cookie);
    return it != rms_.end() ? &it->second : nullptr;
  }

 private:
  std::mutex m_;
  uint32_t lastCookie_ = 0;
  std::map<uint32_t, Rm> rms_;
};

TransactionManager& Manager() {
  static TransactionManager* tm = new TransactionManager;
  return *tm;
}

bool SameXid(const XID& a, const XID& b) {
  return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length &&
         a.bqual_length == b.bqual_length &&
         std::memcmp(a.data, b.data, static_cast<size_t>(a.gtrid_length + a.bqual_length)) == 0;
}

// One resource manager's recovery; 1 when the branch was found and decided.
int RecoverOne(const Rm& rm, int rmid, const XID& want, int commit) {
  std::string open = rm.open;
  if (rm.sw->xa_open_entry(&open[0], rmid, TMNOFLAGS) != XA_OK) return -1;
  XID found[64];
  const int n = rm.sw->xa_recover_entry(found, 64, rmid, TMSTARTRSCAN | TMENDRSCAN);
  int out = n < 0 ? -1 : 0;
  for (int i = 0; i < n; ++i) {
    if (!SameXid(found[i], want)) continue;
    const int rc = commit != 0 ? rm.sw->xa_commit_entry(&found[i], rmid, TMNOFLAGS)
                               : rm.sw->xa_rollback_entry(&found[i], rmid, TMNOFLAGS);
    out = rc == XA_OK ? 1 : -1;
  }
  rm.sw->xa_close_entry(&open[0], rmid, TMNOFLAGS);
  return out;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DtcGetTransactionManager(char*, char*,
                                                                        const IID& riid, uint32_t,
                                                                        uint16_t, void*,
                                                                        void** out) {
  if (out == nullptr) return E_INVALIDARG;
  return Manager().QueryInterface(riid, out);
}

__attribute__((visibility("default"))) ITransaction* Coord_Begin() {
  static std::atomic<uint64_t> next{0};
  return new Transaction(++next);
}

__attribute__((visibility("default"))) void Coord_GoDownAfterPrepare(ITransaction* t) {
  static_cast<Transaction*>(t)->goDown = true;
}

__attribute__((visibility("default"))) int Coord_Recover(ITransaction* t, int commit) {
  auto* tx = static_cast<Transaction*>(t);
  int found = 0;
  Coordinator().Run([&] {
    for (uint32_t cookie : tx->Cookies()) {
      const Rm* rm = Manager().Find(cookie);
      const int one = rm != nullptr ? RecoverOne(*rm, 1000 + static_cast<int>(cookie),
                                                 tx->XidFor(cookie), commit)
                                    : -1;
      found = one < 0 || found < 0 ? -1 : found + one;
    }
  });
  return found;
}
}
