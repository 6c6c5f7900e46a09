// SQLCancel from a second thread aimed at calls that do no work at the
// database, while they wait for their turn behind another statement's
// pg_sleep: each runs when its turn comes, and what it set up holds; one
// that would work at the database ends cancelled. A cancel of an idle
// statement has no effect.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using Ms = std::chrono::milliseconds;

class CancelWaitDm : public qmr_test::DmTest {};

struct WaitRow {
  const char* what;
  std::function<void(SQLHSTMT)> before;        // run first, nothing waiting
  std::function<SQLRETURN(SQLHSTMT)> call;     // the call that waits and is cancelled
  SQLRETURN rc;                                // what it answers
  std::function<std::string(SQLHSTMT)> after;  // "" when what the call did holds
};

SQLINTEGER gValue = 42;
SQLLEN gInd = 0;

std::string FetchedOne(SQLHSTMT s, const char* want) {
  std::vector<qmr_test::Row> rows = qmr_test::FetchRows(s);
  if (rows.size() != 1 || rows[0].empty() || rows[0][0].text != want)
    return "result is not " + std::string(want) + ": " + qmr_test::Diag(SQL_HANDLE_STMT, s);
  return "";
}

TEST_P(CancelWaitDm, AWaitingCallThatDoesNoDatabaseWorkRuns) {
  if (!qmr_test::OnPostgres()) GTEST_SKIP() << "needs a statement the server runs for a while";
  auto none = [](SQLHSTMT) {};
  const WaitRow rows[] = {
      {"SQLBindParameter", [](SQLHSTMT s) { SQLPrepare(s, (SQLCHAR*)"SELECT ?", SQL_NTS); },
       [](SQLHSTMT s) {
         return SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &gValue, 0,
                                 &gInd);
       },
       SQL_SUCCESS,
       [](SQLHSTMT s) {
         if (SQLExecute(s) != SQL_SUCCESS) return qmr_test::Diag(SQL_HANDLE_STMT, s);
         return FetchedOne(s, "42");
       }},
      {"SQLPrepare", none, [](SQLHSTMT s) { return SQLPrepare(s, (SQLCHAR*)"SELECT 7", SQL_NTS); },
       SQL_SUCCESS,
       [](SQLHSTMT s) {
         if (SQLExecute(s) != SQL_SUCCESS) return qmr_test::Diag(SQL_HANDLE_STMT, s);
         return FetchedOne(s, "7");
       }},
      {"SQLFreeStmt(SQL_CLOSE)",
       [](SQLHSTMT s) { SQLExecDirect(s, (SQLCHAR*)"SELECT 1", SQL_NTS); },
       [](SQLHSTMT s) { return SQLFreeStmt(s, SQL_CLOSE); }, SQL_SUCCESS,
       [](SQLHSTMT s) {
         return SQLFetch(s) == SQL_ERROR ? "" : std::string("the cursor is still open");
       }},
      {"SQLNumResultCols", [](SQLHSTMT s) { SQLPrepare(s, (SQLCHAR*)"SELECT 1, 2", SQL_NTS); },
       [](SQLHSTMT s) {
         SQLSMALLINT n = 0;
         const SQLRETURN rc = SQLNumResultCols(s, &n);
         return rc == SQL_SUCCESS && n != 2 ? SQL_SUCCESS_WITH_INFO : rc;
       },
       SQL_SUCCESS, nullptr},
      {"SQLSetStmtAttr", none,
       [](SQLHSTMT s) {
         return SQLSetStmtAttr(s, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(3), 0);
       },
       SQL_SUCCESS,
       [](SQLHSTMT s) {
         SQLULEN v = 0;
         SQLGetStmtAttr(s, SQL_ATTR_MAX_ROWS, &v, 0, nullptr);
         return v == 3 ? "" : "max rows is " + std::to_string(v);
       }},
      {"SQLGetStmtAttr", none,
       [](SQLHSTMT s) {
         SQLULEN v = 9;
         const SQLRETURN rc = SQLGetStmtAttr(s, SQL_ATTR_MAX_ROWS, &v, 0, nullptr);
         return rc == SQL_SUCCESS && v != 0 ? SQL_SUCCESS_WITH_INFO : rc;
       },
       SQL_SUCCESS, nullptr},
      {"SQLGetDiagRec",
       [](SQLHSTMT s) { SQLExecDirect(s, (SQLCHAR*)"SELECT * FROM qmr_no_such_table", SQL_NTS); },
       [](SQLHSTMT s) {
         SQLCHAR state[6] = {};
         SQLINTEGER native = 0;
         SQLCHAR msg[512];
         SQLSMALLINT len = 0;
         const SQLRETURN rc =
             SQLGetDiagRec(SQL_HANDLE_STMT, s, 1, state, &native, msg, sizeof msg, &len);
         return rc == SQL_SUCCESS && std::string((char*)state) != "42P01" ? SQL_SUCCESS_WITH_INFO
                                                                          : rc;
       },
       // Once the cancel is through, the Driver Manager has dropped its own
       // copy of the records: what the waiting call read is what counts.
       SQL_SUCCESS, nullptr},
      // Work at the database waiting for its turn is what a cancel ends.
      {"SQLExecDirect", none,
       [](SQLHSTMT s) { return SQLExecDirect(s, (SQLCHAR*)"SELECT 1", SQL_NTS); }, SQL_ERROR,
       [](SQLHSTMT s) {
         const std::string st = qmr_test::State(SQL_HANDLE_STMT, s);
         return st == "HY008" ? "" : "state " + st;
       }},
  };
  constexpr size_t kRows = sizeof rows / sizeof rows[0];
  SQLHSTMT targets[kRows] = {};
  for (size_t i = 0; i < kRows; ++i) {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &targets[i])) << rows[i].what;
    rows[i].before(targets[i]);
  }
  std::thread sleeper([&] { SQLExecDirect(stmt_, (SQLCHAR*)"SELECT pg_sleep(1.5)", SQL_NTS); });
  std::this_thread::sleep_for(Ms(300));
  SQLRETURN answered[kRows] = {};
  std::vector<std::thread> waiting;
  for (size_t i = 0; i < kRows; ++i)
    waiting.emplace_back([&, i] { answered[i] = rows[i].call(targets[i]); });
  std::this_thread::sleep_for(Ms(300));
  // A cancel of a statement with no call of its own under way waits its
  // turn too: one thread each.
  SQLRETURN cancelled[kRows] = {};
  std::vector<std::thread> cancels;
  for (size_t i = 0; i < kRows; ++i)
    cancels.emplace_back([&, i] { cancelled[i] = SQLCancel(targets[i]); });
  for (std::thread& t : cancels) t.join();
  for (std::thread& t : waiting) t.join();
  for (size_t i = 0; i < kRows; ++i) EXPECT_EQ(SQL_SUCCESS, cancelled[i]) << rows[i].what;
  sleeper.join();
  for (size_t i = 0; i < kRows; ++i) {
    EXPECT_EQ(rows[i].rc, answered[i])
        << rows[i].what << ": " << qmr_test::Diag(SQL_HANDLE_STMT, targets[i]);
    if (rows[i].after) {
      EXPECT_EQ("", rows[i].after(targets[i])) << rows[i].what;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, targets[i]);
  }
}

// A statement of `terms` select terms whose prepare takes the database a
// while (it parses every term) and then fails: the table is missing.
std::string SlowFailingSelect(int terms) {
  std::string sql = "SELECT 1";
  for (int i = 0; i < terms; ++i) sql += ", x" + std::to_string(i % 50) + " + 1";
  return sql + " FROM qmr_no_such_table";
}

// A cancel reaching a call that does no database work while it runs leaves
// it alone: its failure stays the database's own, not HY008.
TEST_P(CancelWaitDm, ARunningCallThatDoesNoDatabaseWorkIsLeftAlone) {
  std::string sql;
  auto prepare = [&](SQLHSTMT s) { return SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS); };
  std::chrono::steady_clock::duration took{};
  for (int terms = 40000; terms <= 640000 && took < Ms(400); terms *= 2) {
    sql = SlowFailingSelect(terms);
    const auto begun = std::chrono::steady_clock::now();
    if (prepare(stmt_) != SQL_ERROR) GTEST_SKIP() << "the database prepares only at execute";
    took = std::chrono::steady_clock::now() - begun;
  }
  const std::string own = qmr_test::State(SQL_HANDLE_STMT, stmt_);
  SQLRETURN answered = SQL_SUCCESS;
  std::thread call([&] { answered = prepare(stmt_); });
  std::this_thread::sleep_for(took / 4);
  SQLRETURN cancelled = SQL_ERROR;
  std::thread([&] { cancelled = SQLCancel(stmt_); }).join();
  call.join();
  EXPECT_EQ(SQL_SUCCESS, cancelled);
  EXPECT_EQ(SQL_ERROR, answered);
  // The Driver Manager clears the statement's records at SQLCancel, which
  // may come after the prepare's: none, or the database's own.
  const std::string state = qmr_test::State(SQL_HANDLE_STMT, stmt_);
  EXPECT_TRUE(state.empty() || state == own) << qmr_test::Diag(SQL_HANDLE_STMT, stmt_);
}

// A cancel that arrives once the call it aimed at has ended has no effect
// in ODBC 3: no 01S05 (the Driver Manager takes the cursor as closed all
// the same, and so does the next execute).
TEST_P(CancelWaitDm, ACancelOfAnIdleStatementHasNoEffect) {
  ASSERT_EQ(SQL_SUCCESS, Exec("SELECT 5 FROM (VALUES (1)) AS t(x)"));
  SQLRETURN cancel = SQL_ERROR;
  std::string state = "none";
  std::thread([&] {
    cancel = SQLCancel(stmt_);
    state = qmr_test::State(SQL_HANDLE_STMT, stmt_);
  }).join();
  EXPECT_EQ(SQL_SUCCESS, cancel) << state;
  EXPECT_EQ("", state);
  EXPECT_EQ(SQL_SUCCESS, Exec("SELECT 6 FROM (VALUES (1)) AS t(x)"))
      << qmr_test::Diag(SQL_HANDLE_STMT, stmt_);
}

INSTANTIATE_TEST_SUITE_P(Backend, CancelWaitDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
