// Calls from several threads: a call on a connection that another thread's
// call holds waits its turn (or, on the very statement that runs, reports
// that it is still executing), calls on other connections go on, and
// SQLCancel reaches a running call that works at the database without
// waiting for it.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "core_fixture.h"

namespace {

using namespace std::chrono_literals;
using qmrtest::CoreTest;

constexpr int kCloseCursorSlot = 20;
constexpr int kCommitSlot = 21;

class Concurrency : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    env = NewEnv();
    dbc1 = NewConn(env);
    dbc2 = NewConn(env);
    // Manual commit: only then does a commit reach the agent.
    MarkConnected(dbc1)->flags &= static_cast<uint16_t>(~kConnAutoCommit);
    MarkConnected(dbc2)->flags &= static_cast<uint16_t>(~kConnAutoCommit);
  }
  // Starts SQLFreeStmt(SQL_CLOSE) on a statement with a result, blocked in
  // the agent's close until released.
  std::future<SQLRETURN> StartBlockedClose(SQLHSTMT stmt) {
    Stmt(stmt)->state = kStmtPrepared;
    fake.Block(kCloseCursorSlot);
    auto f = std::async(std::launch::async, [stmt] { return SQLFreeStmt(stmt, SQL_CLOSE); });
    EXPECT_TRUE(fake.WaitEntered(kCloseCursorSlot, 5s));
    return f;
  }
  SQLHENV env = nullptr;
  SQLHDBC dbc1 = nullptr, dbc2 = nullptr;
};

// Still waiting after a while: the call is held up behind another.
template <class T>
bool Waiting(std::future<T>& f) {
  return f.wait_for(100ms) == std::future_status::timeout;
}

TEST_F(Concurrency, CallsOnABusyConnectionWaitTheirTurnOtherConnectionProceeds) {
  SQLHSTMT a = NewStmt(dbc1), b = NewStmt(dbc1), other = NewStmt(dbc2);
  auto running = StartBlockedClose(a);

  // A synchronous call never answers still-executing: a second call on the
  // very statement that runs waits, as a sibling statement, the connection
  // itself and a descriptor of the sibling do.
  auto same = std::async(std::launch::async, [a] { return SQLFreeStmt(a, SQL_CLOSE); });
  auto sibling = std::async(std::launch::async, [b] { return SQLFreeStmt(b, SQL_CLOSE); });
  auto connCall = std::async(std::launch::async,
                             [this] { return SQLEndTran(SQL_HANDLE_DBC, dbc1, SQL_COMMIT); });
  SQLHDESC ardOfB = DRV_HandleValue(Stmt(b)->ard->handle);
  auto descCall = std::async(std::launch::async, [ardOfB] {
    SQLSMALLINT count = -1;
    return SQLGetDescField(ardOfB, 0, SQL_DESC_COUNT, &count, 0, nullptr);
  });
  EXPECT_TRUE(Waiting(same));
  EXPECT_TRUE(Waiting(sibling));
  EXPECT_TRUE(Waiting(connCall));
  EXPECT_TRUE(Waiting(descCall));
  // The environment cannot be freed or committed while a call runs.
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_ENV, env));
  EXPECT_EQ("HY010", State(SQL_HANDLE_ENV, env));
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT));
  // Another connection is not held up.
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(other, SQL_CLOSE));
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc2, SQL_COMMIT));
  EXPECT_EQ(1, fake.CallCount(kCommitSlot));

  fake.Release(kCloseCursorSlot);
  EXPECT_EQ(SQL_SUCCESS, running.get());
  EXPECT_EQ(SQL_SUCCESS, same.get());
  EXPECT_EQ(SQL_SUCCESS, sibling.get());
  EXPECT_EQ(SQL_SUCCESS, connCall.get());
  EXPECT_EQ(SQL_SUCCESS, descCall.get());
  EXPECT_EQ(2, fake.CallCount(kCommitSlot));
}

TEST_F(Concurrency, WaitingCallOfAHandleFreedMeanwhileFindsItGone) {
  SQLHSTMT a = NewStmt(dbc1), b = NewStmt(dbc1);
  auto running = StartBlockedClose(a);
  auto freeB = std::async(std::launch::async, [b] { return SQLFreeHandle(SQL_HANDLE_STMT, b); });
  ASSERT_TRUE(Waiting(freeB));
  auto useB = std::async(std::launch::async, [b] { return SQLFreeStmt(b, SQL_CLOSE); });
  ASSERT_TRUE(Waiting(useB));
  fake.Release(kCloseCursorSlot);
  EXPECT_EQ(SQL_SUCCESS, running.get());
  // Whichever of the two went first, the other one met a live handle (after
  // waiting for the first) or a gone one: never a freed record.
  const SQLRETURN freed = freeB.get(), used = useB.get();
  EXPECT_EQ(SQL_SUCCESS, freed);
  EXPECT_TRUE(used == SQL_SUCCESS || used == SQL_INVALID_HANDLE) << used;
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(b, SQL_CLOSE));
}

// SQLCancel of a statement another thread runs: what the agent answered to
// the cancel and what the running call then answered decide both results.
// A call that works at the database (a catalog call) is cancelled; one that
// does not (a close) is left to end, the cancel waiting for it.
struct CancelCase {
  const char* name;
  bool atDatabase;        // the running call is SQLTables, else SQLFreeStmt(SQL_CLOSE)
  int32_t cancelAnswer;   // agent slot 53
  int32_t runningAnswer;  // the running call's agent slot
  SQLRETURN cancelRc;
  const char* cancelState;  // first record on the statement after both ended
  SQLRETURN runningRc;
};

class CancelRunning : public Concurrency, public ::testing::WithParamInterface<CancelCase> {
 protected:
  // Starts SQLTables, blocked in the agent's catalog slot until released.
  std::future<SQLRETURN> StartBlockedTables(SQLHSTMT stmt) {
    fake.Block(kTablesSlot);
    auto f = std::async(std::launch::async, [stmt] {
      return SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
    });
    EXPECT_TRUE(fake.WaitEntered(kTablesSlot, 5s));
    return f;
  }
  static constexpr int kTablesSlot = 34;
};

TEST_P(CancelRunning, ReportsWhatHappened) {
  const CancelCase& c = GetParam();
  SQLHSTMT a = NewStmt(dbc1);
  const int slot = c.atDatabase ? kTablesSlot : kCloseCursorSlot;
  fake.PushResult(53, c.cancelAnswer);
  fake.PushResult(slot, c.runningAnswer);
  auto running = c.atDatabase ? StartBlockedTables(a) : StartBlockedClose(a);
  auto cancel = std::async(std::launch::async, [a] { return SQLCancel(a); });
  if (c.atDatabase) {
    ASSERT_TRUE(fake.WaitEntered(53, 5s));
  } else {
    EXPECT_TRUE(Waiting(cancel));
  }
  // SQLCancel never waits for the connection's call lock: a cancel the agent
  // took returns while the call still runs.
  if (c.atDatabase && c.cancelAnswer == 0) {
    ASSERT_EQ(std::future_status::ready, cancel.wait_for(5s));
    EXPECT_EQ(c.cancelRc, cancel.get());
    // Asked again while the call runs (a JDBC driver drops a cancel that
    // comes before the statement reaches the database).
    EXPECT_GE(fake.CallCount(53), 1);
  }
  fake.Release(slot);
  EXPECT_EQ(c.runningRc, running.get());
  if (!c.atDatabase || c.cancelAnswer != 0) {
    EXPECT_EQ(c.cancelRc, cancel.get());
  }
  EXPECT_EQ(c.cancelState, State(SQL_HANDLE_STMT, a));
  if (!c.atDatabase) {
    EXPECT_EQ(0, fake.CallCount(53));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Agent, CancelRunning,
    ::testing::Values(
        // Taken, but the call ended on its own: nothing to report.
        CancelCase{"TakenCallSucceeded", true, 0, 0, SQL_SUCCESS, "", SQL_SUCCESS},
        // Taken, and the call failed: it failed because it was cancelled.
        CancelCase{"TakenCallFailed", true, 0, 15, SQL_SUCCESS, "HY008", SQL_ERROR},
        // Declined: SQLCancel fails with its record on the statement, and
        // the call's own failure is not called a cancel.
        CancelCase{"DeclinedCallFailed", true, 134, 15, SQL_ERROR, "HY018", SQL_ERROR},
        CancelCase{"DeclinedCallSucceeded", true, 134, 0, SQL_ERROR, "HY018", SQL_SUCCESS},
        // No work at the database: the agent is not asked, and a failure
        // stays the call's own.
        CancelCase{"CloseFailed", false, 0, 15, SQL_SUCCESS, "HY000", SQL_ERROR},
        CancelCase{"CloseSucceeded", false, 0, 0, SQL_SUCCESS, "", SQL_SUCCESS}),
    [](const ::testing::TestParamInfo<CancelCase>& i) { return std::string(i.param.name); });

// A call that only waits for its turn does no work at the database that a
// cancel could end: it runs when its turn comes.
TEST_F(Concurrency, CancelOfAWaitingCloseLetsItRun) {
  SQLHSTMT a = NewStmt(dbc1), b = NewStmt(dbc1);
  Stmt(b)->state = kStmtPrepared;
  auto running = StartBlockedClose(a);
  auto waiting = std::async(std::launch::async, [b] { return SQLFreeStmt(b, SQL_CLOSE); });
  ASSERT_TRUE(Waiting(waiting));
  auto cancel = std::async(std::launch::async, [b] { return SQLCancel(b); });
  EXPECT_TRUE(Waiting(cancel));
  fake.Release(kCloseCursorSlot);
  EXPECT_EQ(SQL_SUCCESS, running.get());
  EXPECT_TRUE(SQL_SUCCEEDED(cancel.get()));
  EXPECT_EQ(SQL_SUCCESS, waiting.get()) << State(SQL_HANDLE_STMT, b);
  EXPECT_EQ(kStmtAllocated, Stmt(b)->state);
  EXPECT_EQ(0, fake.CallCount(53));
}

TEST_F(Concurrency, CancelOfAnIdleSiblingWaitsThenLeavesIt) {
  SQLHSTMT a = NewStmt(dbc1), b = NewStmt(dbc1);
  Stmt(b)->state = kStmtPrepared;
  auto running = StartBlockedClose(a);
  auto cancel = std::async(std::launch::async, [b] { return SQLCancel(b); });
  EXPECT_TRUE(Waiting(cancel));
  EXPECT_EQ(kStmtPrepared, Stmt(b)->state);  // not closed under the running call
  fake.Release(kCloseCursorSlot);
  EXPECT_EQ(SQL_SUCCESS, running.get());
  EXPECT_EQ(SQL_SUCCESS, cancel.get());  // no effect, in ODBC 3
  EXPECT_EQ("", State(SQL_HANDLE_STMT, b));
  EXPECT_EQ(kStmtPrepared, Stmt(b)->state);
  EXPECT_EQ(0, fake.CallCount(53));
}

TEST_F(Concurrency, ShutdownLeavesEnvironmentsWithARunningCall) {
  SQLHSTMT a = NewStmt(dbc1);
  auto running = StartBlockedClose(a);
  DRV_DoneCalls();
  // No environment was freed: the connection's agent was not disconnected.
  EXPECT_EQ(0, fake.CallCount(6));
  fake.Release(kCloseCursorSlot);
  running.get();
  // Calls are refused from now on.
  EXPECT_EQ(SQL_ERROR, SQLFreeStmt(a, SQL_CLOSE));
  ASSERT_EQ(0, DRV_InitCalls());
}

TEST_F(Concurrency, ManyThreadsOnTheirOwnConnections) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::vector<SQLHDBC> conns;
  for (int i = 0; i < kThreads; ++i) {
    conns.push_back(NewConn(env));
    MarkConnected(conns.back());
  }
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (int r = 0; r < kRounds; ++r) {
        SQLHSTMT s = nullptr;
        if (SQLAllocHandle(SQL_HANDLE_STMT, conns[i], &s) != SQL_SUCCESS) ++failures;
        if (SQLEndTran(SQL_HANDLE_DBC, conns[i], SQL_ROLLBACK) != SQL_SUCCESS) ++failures;
        if (SQLFreeHandle(SQL_HANDLE_STMT, s) != SQL_SUCCESS) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(kThreads * kRounds, fake.CallCount(7));
  EXPECT_EQ(kThreads * kRounds, fake.CallCount(8));
}

TEST_F(Concurrency, HandlesFreedOnOneThreadAreNeverReachedFromAnother) {
  // One thread allocates and drops statements; another keeps calling the
  // numbers those statements get. Every answer must be one of the ODBC
  // codes the dispatcher gives (and the sanitizer build sees no stale read).
  std::atomic<bool> done{false};
  std::atomic<int> odd{0};
  std::thread churn([&] {
    for (int i = 0; i < 2000; ++i) {
      SQLHSTMT s = nullptr;
      if (SQLAllocHandle(SQL_HANDLE_STMT, dbc1, &s) == SQL_SUCCESS) SQLFreeStmt(s, SQL_DROP);
    }
    done = true;
  });
  std::thread poke([&] {
    while (!done) {
      for (uint32_t slot = 0; slot < 4; ++slot) {
        const SQLRETURN rc = SQLFreeStmt(DRV_HandleValue(0x00030000u | slot), SQL_CLOSE);
        if (rc != SQL_SUCCESS && rc != SQL_ERROR && rc != SQL_INVALID_HANDLE &&
            rc != SQL_STILL_EXECUTING)
          ++odd;
        const SQLRETURN rd = SQLFreeHandle(SQL_HANDLE_DESC, DRV_HandleValue(0x00040000u | slot));
        if (rd != SQL_ERROR && rd != SQL_INVALID_HANDLE && rd != SQL_STILL_EXECUTING) ++odd;
      }
    }
  });
  churn.join();
  poke.join();
  EXPECT_EQ(0, odd.load());
}

}  // namespace
