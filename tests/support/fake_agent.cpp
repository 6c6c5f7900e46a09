// The scriptable fake agent.
#include "support/fake_agent.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace qmrtest {

namespace {

std::atomic<FakeAgent*> g_current{nullptr};

template <class T>
uint32_t AsHandle(T) {
  return 0;
}
inline uint32_t AsHandle(uint32_t h) { return h; }

template <class First, class... Rest>
int32_t Dispatch(int slot, First first, Rest...) {
  FakeAgent* f = FakeAgent::Current();
  return f != nullptr ? f->Enter(slot, AsHandle(first)) : 21;
}

template <int N, class F>
struct Slot;
template <int N, class R, class... A>
struct Slot<N, R (*)(A...)> {
  static R Fn(A... a) { return static_cast<R>(Dispatch(N, a...)); }
};

uint32_t FakeGetInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  FakeAgent* f = FakeAgent::Current();
  if (f == nullptr) return 21;
  int32_t rc = f->Enter(0, h);
  uint32_t v = 0;
  if (rc == 0 && f->Info(request, &v)) {
    if (value != nullptr && size >= sizeof v) std::memcpy(value, &v, sizeof v);
    if (length != nullptr) *length = sizeof v;
  }
  return static_cast<uint32_t>(rc);
}

uint32_t FakeGetError(uint32_t h, DRV_ErrorBatch* batch) {
  FakeAgent* f = FakeAgent::Current();
  if (f == nullptr) return 21;
  int32_t rc = f->Enter(2, h);
  if (rc != 0) return static_cast<uint32_t>(rc);
  return f->GetError(h, batch);
}

uint32_t FakeInit(const char* const*, uint32_t* env) {
  FakeAgent* f = FakeAgent::Current();
  if (f == nullptr) return 21;
  int32_t rc = f->Enter(3, 0);
  if (env != nullptr) *env = rc == 0 ? f->NextHandle(FakeAgent::kEnvBase) : 0;
  return static_cast<uint32_t>(rc);
}

uint32_t FakeConnect(uint32_t env, ConnectInfo*, uint32_t* conn) {
  FakeAgent* f = FakeAgent::Current();
  if (f == nullptr) return 21;
  int32_t rc = f->Enter(5, env);
  if (conn != nullptr) *conn = rc == 0 ? f->NextHandle(FakeAgent::kConnBase) : 0;
  return static_cast<uint32_t>(rc);
}

uint32_t FakeAllocStmt(uint32_t conn, uint32_t* stmt) {
  FakeAgent* f = FakeAgent::Current();
  if (f == nullptr) return 21;
  int32_t rc = f->Enter(7, conn);
  if (stmt != nullptr) *stmt = rc == 0 ? f->NextHandle(FakeAgent::kStmtBase) : 0;
  return static_cast<uint32_t>(rc);
}

template <int N, class F>
void Set(F& field) {
  field = &Slot<N, F>::Fn;
}

}  // namespace

FakeAgent::FakeAgent() {
  DRV_OpTable& t = table_;
  t.DRV_GetInfo = FakeGetInfo;
  Set<1>(t.DRV_SetOption);
  t.DRV_GetError = FakeGetError;
  t.DRV_Init = FakeInit;
  Set<4>(t.DRV_Term);
  t.DRV_Connect = FakeConnect;
  Set<6>(t.DRV_Disconnect);
  t.DRV_AllocStmt = FakeAllocStmt;
  Set<8>(t.DRV_FreeStmt);
  Set<9>(t.DRV_GetCursorName);
  Set<10>(t.DRV_SetCursorName);
  Set<11>(t.DRV_Prepare);
  Set<12>(t.DRV_SetParams);
  Set<13>(t.DRV_Execute);
  Set<14>(t.DRV_UnusedStmtOp);
  Set<15>(t.DRV_NumResultCols);
  Set<16>(t.DRV_DescribeCols);
  Set<17>(t.DRV_NativeSql);
  Set<18>(t.DRV_BindCols);
  Set<19>(t.DRV_Fetch);
  Set<20>(t.DRV_CloseCursor);
  Set<21>(t.DRV_Commit);
  Set<22>(t.DRV_Rollback);
  Set<23>(t.DRV_GetOpTable);
  Set<24>(t.DRV_MoreResults);
  Set<25>(t.DRV_DDColumnPrivileges);
  Set<26>(t.DRV_DDColumns);
  Set<27>(t.DRV_DDForeignKeys);
  Set<28>(t.DRV_DDPrimaryKeys);
  Set<29>(t.DRV_DDProcedureColumns);
  Set<30>(t.DRV_DDProcedures);
  Set<31>(t.DRV_DDSpecialColumns);
  Set<32>(t.DRV_DDStatistics);
  Set<33>(t.DRV_DDTablePrivileges);
  Set<34>(t.DRV_DDTables);
  Set<35>(t.DRV_DDGetTypeInfo);
  Set<36>(t.DRV_ExtendedFetch);
  Set<37>(t.DRV_SetPos);
  Set<38>(t.DRV_ParamData);
  Set<39>(t.DRV_PutData);
  Set<40>(t.DRV_GetData);
  Set<41>(t.DRV_FetchScroll);
  Set<42>(t.DRV_BulkOperations);
  Set<43>(t.DRV_PrepareExecute);
  Set<44>(t.DRV_ExecDescribe);
  Set<45>(t.DRV_AllocPrepare);
  Set<46>(t.DRV_FetchDescribe);
  Set<47>(t.DRV_FetchScrollRow);
  Set<48>(t.DRV_GetCachedData);
  Set<49>(t.DRV_ExecBatch);
  Set<50>(t.DRV_Spare);
  Set<51>(t.DRV_ColAttributes);
  Set<52>(t.DRV_ExecDescribeAttr);
  Set<53>(t.DRV_Cancel);
  Set<54>(t.DRV_Execute2);
  Set<55>(t.DRV_XaClose);
  Set<56>(t.DRV_XaCommit);
  Set<57>(t.DRV_XaComplete);
  Set<58>(t.DRV_XaEnd);
  Set<59>(t.DRV_XaForget);
  Set<60>(t.DRV_XaOpen);
  Set<61>(t.DRV_XaPrepare);
  Set<62>(t.DRV_XaRecover);
  Set<63>(t.DRV_XaRollback);
  Set<64>(t.DRV_XaStart);
  Set<65>(t.DRV_BindColsEx);
  g_current.store(this);
}

FakeAgent::~FakeAgent() {
  FakeAgent* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

FakeAgent* FakeAgent::Current() { return g_current.load(); }

void FakeAgent::Register(DRV_Agent* agent) const {
  agent->agentType = DRV_AGENT_JDBC;
  agent->ops = &table_;
}

void FakeAgent::SetNull(int slot) {
  if (slot < 0 || slot >= DRV_OP_SLOTS) return;
  void* null = nullptr;
  std::memcpy(reinterpret_cast<char*>(&table_) + slot * sizeof(void*), &null, sizeof null);
}

void FakeAgent::SetResult(int slot, int32_t rc) {
  std::lock_guard<std::mutex> g(m_);
  defaults_[slot] = rc;
}

void FakeAgent::PushResult(int slot, int32_t rc) {
  std::lock_guard<std::mutex> g(m_);
  queued_[slot].push_back(rc);
}

void FakeAgent::PostError(uint32_t handle, const FakeError& e) {
  std::lock_guard<std::mutex> g(m_);
  errors_[handle].push_back(e);
}

void FakeAgent::SetInfo(uint32_t request, uint32_t value) {
  std::lock_guard<std::mutex> g(m_);
  info_[request] = value;
}

std::vector<FakeCall> FakeAgent::Calls() const {
  std::lock_guard<std::mutex> g(m_);
  return calls_;
}

int FakeAgent::CallCount(int slot) const {
  std::lock_guard<std::mutex> g(m_);
  int n = 0;
  for (const FakeCall& c : calls_) n += c.slot == slot ? 1 : 0;
  return n;
}

void FakeAgent::ClearCalls() {
  std::lock_guard<std::mutex> g(m_);
  calls_.clear();
}

void FakeAgent::Block(int slot) {
  std::lock_guard<std::mutex> g(m_);
  blocked_[slot] = true;
}

void FakeAgent::Release(int slot) {
  {
    std::lock_guard<std::mutex> g(m_);
    blocked_[slot] = false;
  }
  cv_.notify_all();
}

bool FakeAgent::WaitEntered(int slot, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(m_);
  return cv_.wait_for(g, timeout, [&] { return entered_[slot] > 0; });
}

int32_t FakeAgent::Enter(int slot, uint32_t handle) {
  std::unique_lock<std::mutex> g(m_);
  calls_.push_back(FakeCall{slot, handle});
  entered_[slot]++;
  cv_.notify_all();
  cv_.wait(g, [&] { return !blocked_[slot]; });
  auto q = queued_.find(slot);
  if (q != queued_.end() && !q->second.empty()) {
    int32_t rc = q->second.front();
    q->second.pop_front();
    return rc;
  }
  auto d = defaults_.find(slot);
  return d != defaults_.end() ? d->second : 0;
}

uint32_t FakeAgent::NextHandle(uint32_t base) {
  std::lock_guard<std::mutex> g(m_);
  return base + ++counters_[base];
}

uint32_t FakeAgent::GetError(uint32_t handle, DRV_ErrorBatch* batch) {
  if (batch == nullptr) return 21;
  std::vector<FakeError> list;
  {
    std::lock_guard<std::mutex> g(m_);
    list.swap(errors_[handle]);
  }
  batch->list = MSG_LIST{0, 0, nullptr};
  batch->ownState = nullptr;
  batch->rows = nullptr;
  if (list.empty()) return 0;
  auto n = static_cast<uint32_t>(list.size());
  batch->list.texts = static_cast<char**>(std::calloc(n, sizeof(char*)));
  batch->ownState = static_cast<uint8_t*>(std::calloc(n, 1));
  for (uint32_t i = 0; i < n; ++i) {
    std::string t = "[Velkaro]" + list[i].message + "[SQLSTATE:" + list[i].state + "]";
    batch->list.texts[i] = strdup(t.c_str());
    batch->ownState[i] = list[i].ownState ? 1 : 0;
  }
  batch->list.native = static_cast<uint32_t>(list[0].native);
  batch->list.count = n;
  return 0;
}

bool FakeAgent::Info(uint32_t request, uint32_t* value) const {
  std::lock_guard<std::mutex> g(m_);
  auto it = info_.find(request);
  if (it == info_.end()) return false;
  *value = it->second;
  return true;
}

}  // namespace qmrtest
