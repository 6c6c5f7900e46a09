// Threads sharing one connection, each with statements of its own, and
// SQLCancel from one thread of a statement another thread is executing.
// The Driver Manager runs with Threading = 0, so the driver's own locking is
// what serves the threads. Both builds, on HSQLDB and (dm_tests_pg) on the
// PostgreSQL test server.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using Clock = std::chrono::steady_clock;
using qmr_test::Diag;
using qmr_test::State;

double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

class ThreadsDm : public qmr_test::DmTest {
 protected:
  void Run(SQLHSTMT s, const std::string& sql) {
    SQLFreeStmt(s, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS)))
        << sql << "\n"
        << Diag(SQL_HANDLE_STMT, s);
  }
};

// The first failure any thread met, with the diagnostics of the handle the
// failing call was made on.
class FirstFailure {
 public:
  void Note(const std::string& what, SQLSMALLINT type, SQLHANDLE h) {
    const std::string diag = Diag(type, h);
    std::lock_guard<std::mutex> g(m_);
    ++count_;
    if (text_.empty()) text_ = what + ": " + (diag.empty() ? "(no diagnostic record)" : diag);
  }
  int count() {
    std::lock_guard<std::mutex> g(m_);
    return count_;
  }
  std::string text() {
    std::lock_guard<std::mutex> g(m_);
    return text_;
  }

 private:
  std::mutex m_;
  int count_ = 0;
  std::string text_;
};

// One statement cycle on a shared connection: allocate, run a query for one
// key (prepared and executed, or run directly, both with the key as a
// parameter), fetch its one row and check it, free. True when every step
// succeeded and the row was the key's.
bool Cycle(SQLHDBC dbc, const std::string& table, int key, bool prepared, FirstFailure& f) {
  SQLHSTMT s = SQL_NULL_HSTMT;
  if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s) != SQL_SUCCESS) {
    f.Note("SQLAllocHandle", SQL_HANDLE_DBC, dbc);
    return false;
  }
  const std::string sql = "SELECT v FROM " + table + " WHERE k = ?";
  SQLINTEGER param = key;
  SQLCHAR value[32] = {0};
  SQLLEN ind = 0;
  std::string step;
  SQLRETURN rc =
      SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &param, 0, nullptr);
  if (rc == SQL_SUCCESS) {
    step = prepared ? "SQLPrepare/SQLExecute" : "SQLExecDirect";
    rc = prepared ? SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS)
                  : SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rc == SQL_SUCCESS && prepared) rc = SQLExecute(s);
  } else {
    step = "SQLBindParameter";
  }
  if (rc == SQL_SUCCESS) {
    step = "SQLFetch";
    rc = SQLFetch(s);
  }
  if (rc == SQL_SUCCESS) {
    step = "SQLGetData";
    rc = SQLGetData(s, 1, SQL_C_CHAR, value, sizeof value, &ind);
  }
  bool ok = rc == SQL_SUCCESS;
  if (!ok) f.Note(step, SQL_HANDLE_STMT, s);
  if (ok && std::string(reinterpret_cast<char*>(value)) != "v" + std::to_string(key)) {
    f.Note("row of key " + std::to_string(key) + " read '" + reinterpret_cast<char*>(value) + "'",
           SQL_HANDLE_STMT, s);
    ok = false;
  }
  if (ok && SQLFetch(s) != SQL_NO_DATA) {
    f.Note("second SQLFetch", SQL_HANDLE_STMT, s);
    ok = false;
  }
  if (SQLFreeHandle(SQL_HANDLE_STMT, s) != SQL_SUCCESS) {
    f.Note("SQLFreeHandle", SQL_HANDLE_DBC, dbc);
    ok = false;
  }
  return ok;
}

// Eight threads, 500 statement cycles each, on one connection: each call
// that meets another thread's call waits for it; none fails.
TEST_P(ThreadsDm, ThreadsSharingAConnectionAreServedInTurn) {
  constexpr int kThreads = 8;
  constexpr int kCycles = 500;
  constexpr int kKeys = 64;
  const std::string table = "thr_shared";
  SQLExecDirect(stmt_, (SQLCHAR*)("DROP TABLE " + table).c_str(), SQL_NTS);
  Run(stmt_, "CREATE TABLE " + table + " (k INTEGER PRIMARY KEY, v VARCHAR(20))");
  std::string rows;
  for (int k = 0; k < kKeys; ++k)
    rows += (k == 0 ? "" : ", ") + std::string("(") + std::to_string(k) + ", 'v" +
            std::to_string(k) + "')";
  Run(stmt_, "INSERT INTO " + table + " VALUES " + rows);

  FirstFailure failure;
  std::atomic<int> good{0};
  const Clock::time_point start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCycles; ++i)
        if (Cycle(dbc_, table, (t * kCycles + i) % kKeys, (i + t) % 2 == 0, failure)) ++good;
    });
  }
  for (auto& th : threads) th.join();
  const double took = SecondsSince(start);
  EXPECT_EQ(0, failure.count()) << failure.text();
  EXPECT_EQ(kThreads * kCycles, good.load());
  RecordProperty("seconds", std::to_string(took));
  std::printf("%d cycles on one connection in %.2f s\n", kThreads * kCycles, took);
  Run(stmt_, "DROP TABLE " + table);
}

// A statement that runs for about ten seconds unless it is stopped.
std::string LongStatement() {
  if (qmr_test::OnPostgres()) return "SELECT pg_sleep(10)";
  return "";
}

// What stops a long statement: SQLCancel from another thread a second
// after it started, or a query timeout of one second.
struct Interruption {
  const char* name;
  bool cancel;
  const char* state;  // of the executing call's first record
};

// The executing call fails promptly with the state the interruption
// gives, SQLCancel itself does not wait for it, and the statement is usable
// again afterwards.
TEST_P(ThreadsDm, LongStatementIsInterrupted) {
  const std::string sql = LongStatement();
  if (sql.empty()) GTEST_SKIP() << "no long-running statement that cancel() stops here";
  const Interruption cases[] = {{"SQLCancel", true, "HY008"}, {"query timeout", false, "HYT00"}};
  for (const Interruption& c : cases) {
    SCOPED_TRACE(c.name);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    const SQLULEN timeout = c.cancel ? 0 : 1;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                                          reinterpret_cast<SQLPOINTER>(timeout), 0));
    SQLRETURN rc = SQL_SUCCESS;
    double took = 0;
    std::string state, diag;
    std::thread runner([&] {
      const Clock::time_point t0 = Clock::now();
      rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
      took = SecondsSince(t0);
      state = State(SQL_HANDLE_STMT, stmt_);
      diag = Diag(SQL_HANDLE_STMT, stmt_);
    });
    SQLRETURN cancelled = SQL_SUCCESS;
    double cancelTook = 0;
    if (c.cancel) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      const Clock::time_point c0 = Clock::now();
      cancelled = SQLCancel(stmt_);
      cancelTook = SecondsSince(c0);
    }
    runner.join();
    EXPECT_EQ(SQL_SUCCESS, cancelled) << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_LT(cancelTook, 1.0);
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ(c.state, state) << diag;
    if (!c.cancel) {
      EXPECT_NE(std::string::npos, diag.find("canceling statement")) << diag;
    }
    EXPECT_LT(took, 3.0) << diag;
    Run(stmt_, "VALUES (7)");
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  }
}

INSTANTIATE_TEST_SUITE_P(Backend, ThreadsDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
