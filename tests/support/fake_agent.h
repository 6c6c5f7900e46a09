// A scriptable stand-in for the database agent: an operation table whose
// every slot records the call and answers what the test scripted, so the
// driver core can be exercised without a Java VM.
//
// One FakeAgent is current at a time (the table's slots are plain function
// pointers and find it through a process-wide pointer). Calls may come from
// any thread.
#ifndef QMR_TESTS_SUPPORT_FAKE_AGENT_H
#define QMR_TESTS_SUPPORT_FAKE_AGENT_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"

namespace qmrtest {

struct FakeCall {
  int slot;
  uint32_t handle;  // the first argument when it is a handle (0 for DRV_Init)
};

struct FakeError {
  std::string message;
  std::string state;
  int32_t native = 0;
  bool ownState = false;  // the state is the agent table's own
};

class FakeAgent {
 public:
  FakeAgent();
  ~FakeAgent();
  FakeAgent(const FakeAgent&) = delete;
  FakeAgent& operator=(const FakeAgent&) = delete;

  static FakeAgent* Current();

  // The table: every slot set, except those made null with SetNull.
  const DRV_OpTable* table() const { return &table_; }
  // Puts type 2 and this table into the record (no layers in front).
  void Register(DRV_Agent* agent) const;
  void SetNull(int slot);

  // Answers: a queue of one-shot results per slot, then the slot's default
  // (0 unless set).
  void SetResult(int slot, int32_t rc);
  void PushResult(int slot, int32_t rc);

  // Handles handed out by DRV_Init (env), DRV_Connect (conn) and
  // DRV_AllocStmt (stmt) are numbered from these bases.
  static constexpr uint32_t kEnvBase = 0xAAAA0000u;
  static constexpr uint32_t kConnBase = 0xBBBB0000u;
  static constexpr uint32_t kStmtBase = 0xCCCC0000u;

  // Diagnostics DRV_GetError hands over (and then forgets) for a handle.
  void PostError(uint32_t handle, const FakeError& e);
  // Integer answer of DRV_GetInfo for a request (stored as 4 bytes).
  void SetInfo(uint32_t request, uint32_t value);

  // Calls seen so far, in order.
  std::vector<FakeCall> Calls() const;
  int CallCount(int slot) const;
  void ClearCalls();

  // Blocking: a blocked slot's calls wait inside the slot until Release.
  void Block(int slot);
  void Release(int slot);
  // Waits until a call has entered the slot (and, when blocked, waits there).
  bool WaitEntered(int slot, std::chrono::milliseconds timeout);

  // Used by the slots.
  int32_t Enter(int slot, uint32_t handle);
  uint32_t NextHandle(uint32_t base);
  uint32_t GetError(uint32_t handle, DRV_ErrorBatch* batch);
  bool Info(uint32_t request, uint32_t* value) const;

 private:
  DRV_OpTable table_{};
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::vector<FakeCall> calls_;
  std::map<int, int32_t> defaults_;
  std::map<int, std::deque<int32_t>> queued_;
  std::map<int, bool> blocked_;
  std::map<int, int> entered_;
  std::map<uint32_t, std::vector<FakeError>> errors_;
  std::map<uint32_t, uint32_t> info_;
  std::map<uint32_t, uint32_t> counters_;
};

// Enter on the fake agent now registered; ERR_INVALID_ARGUMENT when there
// is none.
inline int32_t EnterCurrent(int slot, uint32_t handle) {
  FakeAgent* f = FakeAgent::Current();
  return f != nullptr ? f->Enter(slot, handle) : 21;
}

}  // namespace qmrtest

#endif
