// Calls from several threads: the busy mark makes a second call on the same
// connection fail fast (S1010) or report that it is still executing, while
// calls on other connections go on; releases wait for running calls.
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
    MarkConnected(dbc1);
    // Manual commit: only then does a commit reach the agent.
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

TEST_F(Concurrency, SiblingGetsSequenceErrorOtherConnectionProceeds) {
  SQLHSTMT a = NewStmt(dbc1), b = NewStmt(dbc1), other = NewStmt(dbc2);
  auto running = StartBlockedClose(a);

  // The very statement that runs: still executing, nothing else happens.
  EXPECT_EQ(SQL_STILL_EXECUTING, SQLFreeStmt(a, SQL_CLOSE));
  // A sibling statement of the same connection: S1010 at once.
  EXPECT_EQ(SQL_ERROR, SQLFreeStmt(b, SQL_CLOSE));
  // Even reading its diagnostics has to wait for the connection.
  EXPECT_EQ(SQL_ERROR, SQLGetDiagRec(SQL_HANDLE_STMT, b, 1, nullptr, nullptr, nullptr, 0, nullptr));
  // The connection itself and its descriptors are busy too.
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc1, SQL_COMMIT));
  SQLHDESC implicitOfB = DRV_HandleValue(Stmt(b)->ird->handle);
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DESC, implicitOfB));
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
  // What the refused calls left is readable once the connection is idle.
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, b));
  EXPECT_EQ("HY010", State(SQL_HANDLE_DBC, dbc1));
  EXPECT_EQ("HY010", State(SQL_HANDLE_DESC, implicitOfB));
  // Idle again: the sibling's call goes through now.
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(b, SQL_CLOSE));
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc1, SQL_COMMIT));
}

TEST_F(Concurrency, CancelReachesTheRunningStatement) {
  SQLHSTMT a = NewStmt(dbc1);
  auto running = StartBlockedClose(a);
  // The close set the statement back already? No: it is inside the agent
  // call, the state is still "prepared".
  EXPECT_EQ(SQL_SUCCESS, SQLCancel(a));
  EXPECT_EQ(1, fake.CallCount(53));
  fake.Release(kCloseCursorSlot);
  EXPECT_EQ(SQL_SUCCESS, running.get());
}

TEST_F(Concurrency, CancelOfASiblingWhileTheConnectionIsBusyIsRefused) {
  SQLHSTMT a = NewStmt(dbc1), b = NewStmt(dbc1);
  Stmt(b)->state = kStmtPrepared;
  auto running = StartBlockedClose(a);
  EXPECT_EQ(SQL_ERROR, SQLCancel(b));
  EXPECT_EQ(kStmtPrepared, Stmt(b)->state);  // not closed under the running call
  fake.Release(kCloseCursorSlot);
  EXPECT_EQ(SQL_SUCCESS, running.get());
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
        const SQLRETURN rd =
            SQLFreeHandle(SQL_HANDLE_DESC, DRV_HandleValue(0x00040000u | slot));
        if (rd != SQL_ERROR && rd != SQL_INVALID_HANDLE && rd != SQL_STILL_EXECUTING) ++odd;
      }
    }
  });
  churn.join();
  poke.join();
  EXPECT_EQ(0, odd.load());
}

}  // namespace
