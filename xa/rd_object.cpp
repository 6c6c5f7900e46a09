// The resource dispenser: registration with the coordinator, the XA side of
// the connection, the branch and the enlistment; and the connection letting
// go of it.
#include "xa/rd_object.h"

#include <cassert>
#include <cinttypes>
#include <cstring>
#include <mutex>

#include "platform/dynlib.h"
#include "xa/rd_dispenser.h"
#include "xa/rd_list.h"
#include "xa/xa_switch.h"
#include "xa/xa_trace.h"

namespace {

// Resource manager ids of the dispensers: distinct for the life of the
// process.
std::atomic<int32_t> gNextRmid{0x40000000};

// The coordinator's transaction manager, through its helper library.
HRESULT GetHelper(IDtcToXaHelperSinglePipe** out) {
  *out = nullptr;
  // Loaded once and kept: the coordinator's objects live as long as the
  // process may call them.
  static void* const lib = plat::dl_open(kDtcHelperLibrary);
  auto get = lib != nullptr ? reinterpret_cast<DtcGetTransactionManager_t>(
                                  plat::dl_symbol(lib, kDtcGetTransactionManager))
                            : nullptr;
  if (get == nullptr) {
    RD_Trace("%s: %s\n", kDtcHelperLibrary, plat::dl_last_error().c_str());
    return XACT_E_CONNECTION_DOWN;
  }
  IUnknown* tm = nullptr;
  HRESULT hr = get(nullptr, nullptr, IID_IUnknown, 0, 0, nullptr, reinterpret_cast<void**>(&tm));
  if (!SUCCEEDED(hr)) return hr;
  if (tm == nullptr) return E_FAIL;
  hr = tm->QueryInterface(IID_IDtcToXaHelperSinglePipe, reinterpret_cast<void**>(out));
  tm->Release();
  return hr;
}

// The driver library's own file, which the coordinator loads for recovery.
std::string DriverFileName() {
  plat::Guard<plat::Mutex> g(RD_ListLock());
  std::string& name = RD_DriverFileName();
  if (name.empty()) name = plat::module_path_of(reinterpret_cast<const void*>(&RD_Create));
  return name;
}

}  // namespace

COdbcResourceDispenser::COdbcResourceDispenser(ITransaction* transaction, uint32_t agentEnv,
                                               uint32_t agentConn, DRV_Agent* agent, void** xaData,
                                               plat::Gate* callLock, const char* connectText)
    : callback_(nullptr),
      xaData_(xaData),
      callLock_(callLock),
      connectText_(connectText != nullptr ? connectText : ""),
      agentEnv_(agentEnv),
      hConnect_(agentConn),
      agent_(agent),
      transaction_(transaction) {
  RD_Trace("COdbcResourceDispenser::COdbcResourceDispenser()\n");
  callback_ = new CImpITransactionResourceAsync(this);
  CObjCounter::Increment(kind_);
  RD_ListAdd(this);
}

COdbcResourceDispenser::~COdbcResourceDispenser() {
  RD_Trace("COdbcResourceDispenser::~COdbcResourceDispenser()\n");
  Detach();
  plat::Guard<plat::Mutex> g(lock_);
  if (helper_ != nullptr) helper_->Release();
  if (enlistment_ != nullptr) enlistment_->Release();
  delete callback_;
  std::fill(connectText_.begin(), connectText_.end(), '\0');
  CObjCounter::Decrement(kind_);
}

HRESULT COdbcResourceDispenser::QueryInterface(const IID& riid, void** ppv) {
  RD_Trace("COdbcResourceDispense::QueryInterface()\n");
  if (ppv == nullptr) return RD_TraceHResult(E_INVALIDARG);
  *ppv = nullptr;
  if (RD_IidEqual(riid, IID_IUnknown)) {
    *ppv = static_cast<IUnknown*>(this);
  } else if (RD_IidEqual(riid, IID_ITransactionResourceAsync)) {
    *ppv = callback_;
  } else {
    RD_Trace("  %s\n", RD_IidName(riid).c_str());
    return RD_TraceHResult(E_NOINTERFACE);
  }
  AddRef();
  return RD_TraceHResult(S_OK);
}

uint32_t COdbcResourceDispenser::AddRef() {
  RD_Trace("COdbcResourceDispenser::AddRef(), this=%p, m_hConnect=%" PRIX32 ", m_cRef=%" PRIu32
           "\n",
           static_cast<void*>(this), hConnect_, refs_.load() + 1);
  return RD_TraceULong(++refs_);
}

uint32_t COdbcResourceDispenser::Release() {
  RD_Trace("COdbcResourceDispenser::Release(), this=%p, m_hConnect=%" PRIX32 ", m_cRef=%" PRIu32
           "\n",
           static_cast<void*>(this), hConnect_, refs_.load() - 1);
  const uint32_t left = --refs_;
  if (left != 0) return RD_TraceULong(left);
  // Off the list before it goes, so that RD_ReleaseAll never meets it half
  // destroyed.
  if (RD_ListRemove(this)) delete this;
  return RD_TraceULong(0);
}

HRESULT COdbcResourceDispenser::GetSelf(IOdbcResourceDispenser** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = this;
  return S_OK;
}

HRESULT COdbcResourceDispenser::RMConnect() {
  plat::Guard<plat::Mutex> g(lock_);
  RD_Trace("COdbcResourceDispenser::RMConnect()\n");
  if (callLock_ == nullptr) return RD_TraceHResult(E_FAIL);
  IDtcToXaHelperSinglePipe* helper = nullptr;
  HRESULT hr = GetHelper(&helper);
  if (!SUCCEEDED(hr)) return RD_TraceHResult(hr);
  rmid_ = gNextRmid++;
  std::string dsn;
  std::string info;
  if (!XA_GetDSN(connectText_.c_str(), &dsn) || !XA_GetXaInfo(dsn, &info)) {
    hr = E_QMR_NO_XAINFO;
  } else if (XA_AgentOpen(agent_, hConnect_, xaData_, 1, info.c_str(), rmid_, TMNOFLAGS) != XA_OK) {
    hr = E_QMR_XA_REFUSED;
  } else {
    opened_ = true;
    xaInfo_ = info;
    std::string file = DriverFileName();
    hr = file.empty() ? E_FAIL : helper->XARMCreate(&connectText_[0], &file[0], &cookie_);
  }
  if (SUCCEEDED(hr)) {
    helper_ = helper;
  } else {
    helper->Release();
  }
  return RD_TraceHResult(hr);
}

HRESULT COdbcResourceDispenser::RMEnlist() {
  plat::Guard<plat::Mutex> g(lock_);
  RD_Trace("COdbcResourceDispenser::RMEnlist()\n");
  if (helper_ == nullptr || callLock_ == nullptr) return RD_TraceHResult(E_FAIL);
  HRESULT hr = helper_->ConvertTridToXID(reinterpret_cast<uint32_t*>(transaction_), cookie_, &xid_);
  if (!SUCCEEDED(hr)) return RD_TraceHResult(hr);
  if (OnBranch(&DRV_OpTable::DRV_XaStart, TMNOFLAGS) != XA_OK)
    return RD_TraceHResult(E_QMR_XA_REFUSED);
  state_ = kStarted;
  hr = helper_->EnlistWithRM(cookie_, transaction_, callback_, &enlistment_);
  return RD_TraceHResult(hr);
}

int32_t COdbcResourceDispenser::OnBranch(DRV_XaXid_t DRV_OpTable::*slot, int64_t flags) {
  return XA_AgentXid(agent_, hConnect_, xaData_, slot, &xid_, rmid_, flags);
}

// Undoes on the connection what the dispenser did there; a prepared branch
// stays prepared, for the coordinator's recovery to decide.
void COdbcResourceDispenser::UndoOnConnection() {
  if (callLock_ == nullptr) return;
  if (state_ == kStarted) {
    OnBranch(&DRV_OpTable::DRV_XaEnd, TMFAIL);
    OnBranch(&DRV_OpTable::DRV_XaRollback, TMNOFLAGS);
    state_ = kIdle;
  }
  if (state_ == kPrepared) LeaveCallLock();
  if (opened_) {
    XA_AgentClose(agent_, hConnect_, xaData_, xaInfo_.c_str(), rmid_, TMNOFLAGS);
    opened_ = false;
  }
  if (cookie_ != 0 && helper_ != nullptr) helper_->ReleaseRMCookie(cookie_, 1);
  cookie_ = 0;
}

void COdbcResourceDispenser::Detach() {
  plat::Guard<plat::Mutex> g(lock_);
  assert(HoldMatchesState());
  UndoOnConnection();
  callLock_ = nullptr;
  agent_ = nullptr;
  xaData_ = nullptr;
}

bool COdbcResourceDispenser::Lost() {
  plat::Guard<plat::Mutex> g(lock_);
  return state_ == kLost;
}
