// SQLCancel racing threads that share a connection, at randomised times: a
// statement sleeps on the server while another thread keeps the connection
// busy, and a third cancels the sleeper just before its call or while it
// waits for its turn or runs. No synchronous call answers
// SQL_STILL_EXECUTING, and a cancel that meets the call ends it with HY008.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

class CancelRaceDm : public qmr_test::DmTest {};

TEST_P(CancelRaceDm, ACancelThatMeetsTheCallEndsIt) {
  if (!qmr_test::OnPostgres()) GTEST_SKIP() << "needs a statement the server runs for seconds";
  constexpr int kRounds = 40;
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayMs(-20, 150);  // of the cancel after the call
  SQLHSTMT sleeping = nullptr, busy = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &sleeping));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &busy));
  int met = 0, lost = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int delay = delayMs(random);
    std::atomic<bool> stop{false}, calling{false};
    std::atomic<int> busyStill{0};
    std::thread other([&] {
      while (!stop) {
        if (SQLExecDirect(busy, (SQLCHAR*)"SELECT 1", SQL_NTS) == SQL_STILL_EXECUTING) ++busyStill;
        SQLFreeStmt(busy, SQL_CLOSE);
      }
    });
    SQLRETURN ran = SQL_SUCCESS;
    double took = 0;
    std::string state;
    std::thread runner([&] {
      std::this_thread::sleep_for(Ms(delay < 0 ? -delay : 0));
      calling = true;
      const Clock::time_point t0 = Clock::now();
      ran = SQLExecDirect(sleeping, (SQLCHAR*)"SELECT pg_sleep(2)", SQL_NTS);
      took = std::chrono::duration<double>(Clock::now() - t0).count();
      state = qmr_test::State(SQL_HANDLE_STMT, sleeping);
    });
    while (delay >= 0 && !calling) std::this_thread::yield();
    std::this_thread::sleep_for(Ms(delay > 0 ? delay : 0));
    const SQLRETURN cancel = SQLCancel(sleeping);
    runner.join();
    stop = true;
    other.join();
    SQLFreeStmt(sleeping, SQL_CLOSE);
    const std::string what = "round " + std::to_string(round) + ", cancel at " +
                             std::to_string(delay) + " ms, ran " + std::to_string(took) + " s";
    EXPECT_NE(SQL_STILL_EXECUTING, ran) << what;
    EXPECT_EQ(0, busyStill.load()) << what;
    if (ran == SQL_ERROR) {
      EXPECT_EQ("HY008", state) << what;
    }
    if (delay < 2) continue;  // the call may not have reached the driver
    EXPECT_EQ(SQL_SUCCESS, cancel) << what;
    // PostgreSQL drops a cancel that reaches the server as the query is
    // sent, before it runs, and the JDBC driver takes no second one.
    if (ran == SQL_SUCCESS) ++lost;
    if (ran == SQL_ERROR && took < 1.0) ++met;
  }
  EXPECT_GT(met, kRounds / 2);
  // About one round in a few hundred meets that window; a cancel that is
  // not resent, or not sent at all, loses far more.
  EXPECT_LE(lost, kRounds / 10);
  SQLFreeHandle(SQL_HANDLE_STMT, sleeping);
  SQLFreeHandle(SQL_HANDLE_STMT, busy);
}

INSTANTIATE_TEST_SUITE_P(Backend, CancelRaceDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
