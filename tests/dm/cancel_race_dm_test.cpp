// SQLCancel racing threads that share a connection, at randomised times: a
// statement sleeps on the server while another thread keeps the connection
// busy, and a third cancels the sleeper, just before its call or while it
// waits for its turn or runs. No synchronous call answers
// SQL_STILL_EXECUTING, and a cancel that meets the call ends it with HY008
// long before its time.
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
using qmr_test::Diag;
using qmr_test::State;

constexpr int kRounds = 40;
constexpr int kSleepSeconds = 2;
// A cancel this long after the call was made finds it in the driver.
constexpr int kSureMs = 2;

class CancelRaceDm : public qmr_test::DmTest {
 protected:
  SQLHSTMT NewStmt() {
    SQLHSTMT s = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s));
    return s;
  }
};

TEST_P(CancelRaceDm, ACancelThatSucceedsEndsTheStatement) {
  if (!qmr_test::OnPostgres()) GTEST_SKIP() << "needs a statement the server runs for seconds";
  std::mt19937 random(std::random_device{}());
  // The cancel comes up to 20 ms before the sleeper's call, or up to 150 ms
  // after it.
  std::uniform_int_distribution<int> delayMs(-20, 150);
  const std::string sleeper = "SELECT pg_sleep(" + std::to_string(kSleepSeconds) + ")";
  SQLHSTMT sleeping = NewStmt(), busy = NewStmt();
  int met = 0, lost = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int busyDelay = delayMs(random), cancelDelay = delayMs(random);
    std::atomic<bool> stop{false};
    std::atomic<int> busyStill{0};
    // Keeps the connection busy with short statements of its own.
    std::thread other([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(busyDelay));
      while (!stop) {
        const SQLRETURN rc = SQLExecDirect(busy, (SQLCHAR*)"SELECT 1", SQL_NTS);
        if (rc == SQL_STILL_EXECUTING) ++busyStill;
        SQLFreeStmt(busy, SQL_CLOSE);
      }
    });
    SQLRETURN ran = SQL_SUCCESS, cancel = SQL_SUCCESS;
    double took = 0;
    std::string state, diag;
    std::atomic<bool> calling{false};
    std::thread runner([&] {
      if (cancelDelay < 0) std::this_thread::sleep_for(std::chrono::milliseconds(-cancelDelay));
      calling = true;
      const Clock::time_point t0 = Clock::now();
      ran = SQLExecDirect(sleeping, (SQLCHAR*)sleeper.c_str(), SQL_NTS);
      took = std::chrono::duration<double>(Clock::now() - t0).count();
      state = State(SQL_HANDLE_STMT, sleeping);
      diag = Diag(SQL_HANDLE_STMT, sleeping);
    });
    if (cancelDelay >= 0) {
      while (!calling) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(cancelDelay));
    }
    cancel = SQLCancel(sleeping);
    runner.join();
    stop = true;
    other.join();
    SQLFreeStmt(sleeping, SQL_CLOSE);

    EXPECT_NE(SQL_STILL_EXECUTING, ran) << diag;
    EXPECT_EQ(0, busyStill.load());
    const std::string what = "cancel at " + std::to_string(cancelDelay) + " ms, ran " +
                              std::to_string(took) + " s: " + diag;
    if (cancelDelay >= kSureMs && cancel == SQL_SUCCESS && ran == SQL_SUCCESS) {
      // PostgreSQL drops a cancel that reaches the server as the query is
      // sent, before it runs; the JDBC driver takes no second one for it.
      ++lost;
    } else if (cancelDelay >= kSureMs) {
      // The call was made well before: the cancel met it waiting for its
      // turn or running, and ended it.
      ++met;
      EXPECT_EQ(SQL_SUCCESS, cancel) << what;
      EXPECT_EQ(SQL_ERROR, ran) << what;
      EXPECT_EQ("HY008", state) << what;
      EXPECT_LT(took, kSleepSeconds - 1.0) << what;
    } else if (ran == SQL_ERROR) {
      // Around the start of the call: it ended it, or came first and left
      // the call to run.
      EXPECT_EQ("HY008", state) << what;
    } else {
      EXPECT_EQ(SQL_SUCCESS, ran) << what;
    }
  }
  EXPECT_GT(met, kRounds / 2);
  EXPECT_LE(lost, 1);
  SQLFreeHandle(SQL_HANDLE_STMT, sleeping);
  SQLFreeHandle(SQL_HANDLE_STMT, busy);
}

INSTANTIATE_TEST_SUITE_P(Backend, CancelRaceDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
