// The enlistment's start-up, the list of dispensers, and the handles the
// driver core holds.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "xa/rd_dispenser.h"
#include "xa/rd_list.h"
#include "xa/rd_object.h"
#include "xa/xa_switch.h"
#include "xa/xa_trace.h"

namespace {

// Made once, never destroyed: process detach may still reach them.
std::vector<COdbcResourceDispenser*>& List() {
  static auto* list = new std::vector<COdbcResourceDispenser*>;
  return *list;
}

plat::Mutex gStartLock;
bool gStarted GUARDED_BY(gStartLock) = false;
IMalloc* gTaskAllocator GUARDED_BY(gStartLock) = nullptr;

// The task allocator: plain malloc behind the COM interface. It lives for
// the process, so its count only traces the calls.
class TaskAllocator final : public IMalloc {
 public:
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = RD_IidEqual(riid, IID_IUnknown) || RD_IidEqual(riid, IID_IMalloc) ? this : nullptr;
    return *ppv != nullptr ? S_OK : E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  void* Alloc(size_t cb) override { return std::malloc(cb); }
  void* Realloc(void* pv, size_t cb) override { return std::realloc(pv, cb); }
  void Free(void* pv) override { std::free(pv); }
  size_t GetSize(void*) override { return static_cast<size_t>(-1); }
  int DidAlloc(void*) override { return -1; }
  void HeapMinimize() override {}
};

COdbcResourceDispenser* From(void* handle) {
  IOdbcResourceDispenser* d = nullptr;
  if (handle == nullptr || static_cast<IOdbcResourceDispenser*>(handle)->GetSelf(&d) != S_OK)
    return nullptr;
  return static_cast<COdbcResourceDispenser*>(d);
}

}  // namespace

HRESULT CoGetMalloc(uint32_t context, IMalloc** out) {
  if (out == nullptr) return E_INVALIDARG;
  static TaskAllocator allocator;
  *out = context == 1 ? &allocator : nullptr;
  return *out != nullptr ? S_OK : E_INVALIDARG;
}

plat::Mutex& RD_ListLock() {
  static plat::Mutex* lock = new plat::Mutex;
  return *lock;
}

std::string& RD_DriverFileName() {
  static auto* name = new std::string;
  return *name;
}

void RD_ListAdd(COdbcResourceDispenser* d) {
  plat::Guard<plat::Mutex> g(RD_ListLock());
  List().push_back(d);
}

bool RD_ListRemove(COdbcResourceDispenser* d) {
  plat::Guard<plat::Mutex> g(RD_ListLock());
  auto& list = List();
  const auto it = std::find(list.begin(), list.end(), d);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

int XA_Startup() {
  plat::Guard<plat::Mutex> g(gStartLock);
  if (gStarted) return 0;
  if (CoGetMalloc(1, &gTaskAllocator) != S_OK || gTaskAllocator == nullptr) return -1;
  RD_OpenTrace();
  XA_InitSwitch();
  gStarted = true;
  return 0;
}

void XA_Cleanup() {
  {
    plat::Guard<plat::Mutex> g(gStartLock);
    if (!gStarted) return;
    gStarted = false;
    if (gTaskAllocator != nullptr) gTaskAllocator->Release();
    gTaskAllocator = nullptr;
  }
  RD_ReleaseAll();
  RD_CloseTrace();
}

void* RD_Create(void* transaction, uint32_t agentEnv, uint32_t agentConn, DRV_Agent* agent,
                void** xaData, plat::Gate* callLock, const char* connectText) {
  auto* d = new COdbcResourceDispenser(static_cast<ITransaction*>(transaction), agentEnv, agentConn,
                                       agent, xaData, callLock, connectText);
  d->AddRef();
  IOdbcResourceDispenser* self = nullptr;
  d->GetSelf(&self);
  return self;
}

int RD_Connect(void* resource) {
  COdbcResourceDispenser* d = From(resource);
  return d != nullptr && SUCCEEDED(d->RMConnect()) ? 0 : -1;
}

int RD_Enlist(void* resource) {
  COdbcResourceDispenser* d = From(resource);
  return d != nullptr && SUCCEEDED(d->RMEnlist()) ? 0 : -1;
}

int32_t RD_Release(void* resource) {
  COdbcResourceDispenser* d = From(resource);
  if (d == nullptr) return -1;
  d->Detach();
  return static_cast<int32_t>(d->Release());
}

bool RD_Lost(void* resource) {
  COdbcResourceDispenser* d = From(resource);
  return d != nullptr && d->Lost();
}

void XA_Shutdown() {
  XA_Cleanup();
  XA_End();
}

const DRV_XaLayer* XA_CoreLayer() {
  static constexpr DRV_XaLayer kLayer = {XA_Startup, XA_Shutdown, RD_Create, RD_Connect,
                                         RD_Enlist,  RD_Release,  RD_Lost};
  return &kLayer;
}

void RD_ReleaseAll() {
  std::vector<COdbcResourceDispenser*> all;
  {
    plat::Guard<plat::Mutex> g(RD_ListLock());
    all.swap(List());
  }
  for (COdbcResourceDispenser* d : all) delete d;
}
