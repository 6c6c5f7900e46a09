// The worker-thread proxy in front of an agent table whose operations can
// fail inside the worker: what the transaction manager's tests cannot make
// the real agent do.
#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "proxy/proxy.h"
#include "util/xa.h"

namespace {

std::atomic<pid_t> gRanOn{0};
std::atomic<int> gFetchFault{0};  // 1 throw, 2 end the thread

pid_t Tid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

int CountThreads() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

#ifdef __SANITIZE_THREAD__
constexpr bool kUnderThreadSanitizer = true;
#else
constexpr bool kUnderThreadSanitizer = false;
#endif

// A thread that has ended leaves the kernel's list a moment later.
int Threads(int expect = -1) {
  for (int i = 0; expect >= 0 && i < 200 && CountThreads() != expect; ++i) usleep(10000);
  return CountThreads();
}

uint32_t Fetch(uint32_t, uint16_t rows, COLSET*) {
  gRanOn = Tid();
  if (gFetchFault == 1) throw std::runtime_error("agent failure");
  if (gFetchFault == 2) pthread_exit(nullptr);
  return rows;  // a result the proxy must hand back unchanged
}
int32_t XaOpen(uint32_t conn, uint32_t, const char*, int32_t, int64_t) {
  gRanOn = Tid();
  PRX_SetEnabled(AGT_Conn(conn)->worker, 1);
  return XA_OK;
}
int32_t XaCommit(uint32_t, XID*, int32_t, int64_t) {
  gRanOn = Tid();
  return XA_RDONLY;
}
uint32_t Disconnect(uint32_t) { return 0; }
uint32_t Info(uint32_t, uint32_t, void* value, uint16_t, uint16_t* length) {
  *static_cast<uint32_t*>(value) = 0;
  *length = 4;
  return 0;
}

DRV_OpTable MakeTable() {
  DRV_OpTable t{};
  t.DRV_GetInfo = Info;
  t.DRV_Fetch = Fetch;
  t.DRV_XaOpen = XaOpen;
  t.DRV_XaCommit = XaCommit;
  t.DRV_Disconnect = Disconnect;
  return t;
}
const DRV_OpTable kAgentTable = MakeTable();

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!AGT_TablesReady()) {
      ASSERT_EQ(AGT_InitTables(), 0);
    }
    DRV_Agent record{DRV_AGENT_JDBC, &kAgentTable};
    ASSERT_EQ(PRX_Init(&record), 0);
    ops_ = record.ops;
    ASSERT_NE(ops_, &kAgentTable);
    ASSERT_EQ(HT_Alloc(&gAgentConnTable, &conn_, &connRec_), 0);
    stmtRec_.conn = &connRec_;
    ASSERT_EQ(HT_Alloc(&gAgentStmtTable, &stmt_, &stmtRec_), 0);
    gFetchFault = 0;
  }
  void TearDown() override {
    if (connRec_.worker != nullptr) ops_->DRV_Disconnect(conn_);
    HT_Free(&gAgentStmtTable, stmt_);
    HT_Free(&gAgentConnTable, conn_);
  }
  pid_t CommitThread(int32_t expect) {
    gRanOn = 0;
    XID xid{};
    EXPECT_EQ(ops_->DRV_XaCommit(conn_, &xid, 1, 0), expect);
    return gRanOn;
  }

  const DRV_OpTable* ops_ = nullptr;
  JdbcConn connRec_;
  JdbcStmt stmtRec_;
  uint32_t conn_ = 0;
  uint32_t stmt_ = 0;
};

TEST_F(ProxyTest, AWorkerFailingInATaskNeverLeavesItsCallerWaiting) {
  const int before = Threads();
  for (int fault : {1, 2}) {
    ASSERT_EQ(ops_->DRV_XaOpen(conn_, 1, "", 1, 0), XA_OK);
    gFetchFault = fault;
    EXPECT_EQ(ops_->DRV_Fetch(stmt_, 3, nullptr), ERR_WORKER_ASSIGNMENT) << fault;
    gFetchFault = 0;
    // The worker is gone: later work is refused, not waited for.
    EXPECT_EQ(ops_->DRV_Fetch(stmt_, 3, nullptr), ERR_WORKER_ASSIGNMENT) << fault;
    EXPECT_EQ(CommitThread(XAER_RMERR), 0) << fault;
    // The agent's disconnect frees the record, and the proxy its worker.
    EXPECT_EQ(ops_->DRV_Disconnect(conn_), 0u);
    connRec_.worker = nullptr;
  }
  // ThreadSanitizer starts a thread of its own once the workers come and go.
  if (!kUnderThreadSanitizer) {
    EXPECT_EQ(Threads(before), before);
  }
}

TEST_F(ProxyTest, UnknownHandlesReachNothing) {
  gRanOn = 0;
  EXPECT_EQ(ops_->DRV_Fetch(0xCCCC7777u, 1, nullptr), ERR_INVALID_ARGUMENT);
  XID xid{};
  EXPECT_EQ(ops_->DRV_XaCommit(0xBBBB7777u, &xid, 1, 0), XAER_INVAL);
  EXPECT_EQ(ops_->DRV_XaOpen(0xBBBB7777u, 1, "", 1, 0), XAER_INVAL);
  EXPECT_EQ(gRanOn.load(), 0);
}

}  // namespace
