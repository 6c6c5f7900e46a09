// Prepare, execute, fetch and further results of agent statements against
// HSQLDB, with the slots called directly.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-sql.h"
#include "exec_env.h"
#include "util/errcodes.h"

using namespace jexec_test;

namespace {

class ExecTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const uint32_t c = Connect("exec");
    ASSERT_NE(c, 0u);
    // Every suite of this file starts from the same two tables.
    Exec(c, {"DROP TABLE nums IF EXISTS CASCADE", "DROP TABLE notes IF EXISTS CASCADE",
             "CREATE TABLE nums (n INTEGER, t VARCHAR(10))",
             "INSERT INTO nums VALUES (1, 'one'), (2, NULL), (3, 'three'), (4, 'four'), "
             "(5, NULL), (6, 'six'), (7, 'seven'), (8, 'eight'), (9, 'nine'), (10, 'ten')",
             "CREATE TABLE notes (id INTEGER, body LONGVARCHAR, doc CLOB)",
             "INSERT INTO notes VALUES (1, 'first', 'doc one'), (2, NULL, 'doc two'), "
             "(3, 'third', NULL)"});
    Ops().DRV_Disconnect(c);
  }
  void SetUp() override {
    conn_ = Connect("exec");
    ASSERT_NE(conn_, 0u);
  }
  void TearDown() override {
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }
  // COUNT(*) of a table, read through a statement of its own.
  int32_t Count(const char* table) {
    Stmt s(conn_);
    EXPECT_EQ(s.Run(std::string("SELECT COUNT(*) FROM ") + table), 0u);
    Rows r;
    EXPECT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u);
    return r.set.rows_held == 1 ? std::stoi(r.Text(0, 0)) : -1;
  }
  uint32_t conn_ = 0;
};

TEST_F(ExecTest, FetchesBlocksWithNullIndicators) {
  Stmt s(conn_);
  ASSERT_EQ(s.Run("SELECT n, t FROM nums ORDER BY n"), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 4, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 4u);
  ASSERT_EQ(r.set.cols_used, 2u);
  EXPECT_EQ(s.rec()->rowCount, 4u);
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.Int(0, i), static_cast<int32_t>(i + 1));
    EXPECT_FALSE(r.IsNull(0, i));
  }
  EXPECT_EQ(r.Text(1, 0), "one");
  EXPECT_TRUE(r.IsNull(1, 1));
  EXPECT_EQ(r.Text(1, 2), "three");
  EXPECT_FALSE(r.IsNull(1, 2));

  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 4, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 4u);
  EXPECT_EQ(r.Int(0, 0), 5);
  EXPECT_TRUE(r.IsNull(1, 0));
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 4, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 2u);  // fewer than asked: the result is exhausted
  EXPECT_EQ(r.Text(1, 1), "ten");
  EXPECT_NE(s.rec()->flags & STMT_NO_MORE_ROWS, 0);
  EXPECT_EQ(s.rec()->rowsFetched, 10u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 4, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 0u);
  EXPECT_EQ(r.set.cols_used, 0u);
}

TEST_F(ExecTest, ZeroRowsWantedEmptiesTheBuffer) {
  Stmt s(conn_);
  ASSERT_EQ(s.Run("SELECT n FROM nums"), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 3, &r.set), 0u);
  ASSERT_EQ(r.set.cols_used, 1u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 0, &r.set), 0u);
  EXPECT_EQ(r.set.cols_used, 0u);
  EXPECT_EQ(r.set.rows_held, 0u);
  // Nothing was read: the next fetch goes on with the fourth row.
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u);
  EXPECT_EQ(s.rec()->rowsFetched, 4u);
}

TEST_F(ExecTest, MaxRowsCutsTheFetch) {
  Stmt s(conn_);
  ASSERT_EQ(s.Run("SELECT n FROM nums ORDER BY n"), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 7, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 7u);
  // A limit of 10 with 7 rows fetched: a fetch of 5 delivers 3 (the Java
  // statement was created without a limit, so the cut is the agent's).
  uint32_t limit = 10;
  ASSERT_EQ(Ops().DRV_SetOption(s.h(), OPT_MAX_ROWS, &limit), 0u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 3u);
  EXPECT_EQ(r.Int(0, 2), 10);
  limit = 9;
  ASSERT_EQ(Ops().DRV_SetOption(s.h(), OPT_MAX_ROWS, &limit), 0u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 0u);
}

TEST_F(ExecTest, MaxRowsSetBeforePrepare) {
  Stmt s(conn_);
  uint32_t limit = 4;
  ASSERT_EQ(Ops().DRV_SetOption(s.h(), OPT_MAX_ROWS, &limit), 0u);
  ASSERT_EQ(s.Run("SELECT n FROM nums ORDER BY n"), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 3, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 3u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 3, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 1u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 3, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 0u);
}

TEST_F(ExecTest, LongColumnsFetchOneRowAtATime) {
  for (const char* sql :
       {"SELECT id, body FROM notes ORDER BY id", "SELECT id, doc FROM notes ORDER BY id"}) {
    SCOPED_TRACE(sql);
    Stmt s(conn_);
    ASSERT_EQ(s.Run(sql), 0u);
    Rows r;
    std::vector<std::string> got;
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(Ops().DRV_Fetch(s.h(), 50, &r.set), 0u);
      ASSERT_EQ(r.set.rows_held, 1u)
          << s.rec()->cols[1].sql_type << " " << s.rec()->cols[1].value_type;
      EXPECT_EQ(r.Int(0, 0), i + 1);
      got.push_back(r.IsNull(1, 0) ? "<null>" : r.Long(1, 0));
    }
    ASSERT_EQ(Ops().DRV_Fetch(s.h(), 50, &r.set), 0u);
    EXPECT_EQ(r.set.rows_held, 0u);
    if (std::string(sql).find("body") != std::string::npos) {
      EXPECT_EQ(got, (std::vector<std::string>{"first", "<null>", "third"}));
    } else {
      EXPECT_EQ(got, (std::vector<std::string>{"doc one", "doc two", "<null>"}));
    }
  }
}

TEST_F(ExecTest, UpdateCountsAndStatementKinds) {
  Exec(conn_, {"CREATE TABLE upd (a INTEGER)"});
  Stmt s(conn_);
  ASSERT_EQ(s.Run("INSERT INTO upd VALUES (1), (2), (3)"), 0u);
  EXPECT_EQ(s.rec()->kind, STMT_KIND_DML);
  EXPECT_EQ(RowCount(s.h()), 3u);
  ASSERT_EQ(s.Run("UPDATE upd SET a = a + 10 WHERE a > 1"), 0u);
  EXPECT_EQ(RowCount(s.h()), 2u);
  ASSERT_EQ(s.Run("DELETE FROM upd WHERE a = 99"), 0u);
  EXPECT_EQ(RowCount(s.h()), 0u);
  // An other-kind text without markers runs through a plain Statement.
  ASSERT_EQ(s.Run("DROP TABLE upd"), 0u);
  EXPECT_EQ(s.rec()->kind, STMT_KIND_OTHER);
  EXPECT_EQ(s.rec()->colCount, 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 0u);
}

TEST_F(ExecTest, ExecutingAgainRunsAgain) {
  Exec(conn_, {"CREATE TABLE again (a INTEGER)"});
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("INSERT INTO again VALUES (7)"), 0u);
  ASSERT_EQ(s.Execute(), 0u);
  ASSERT_EQ(s.Execute(), 0u);
  ASSERT_EQ(s.Execute(), 0u);
  EXPECT_EQ(Count("again"), 3);
}

// VALUES reads as a SELECT does: it is a query, described by its execute.
TEST_F(ExecTest, ValuesIsAQuery) {
  Stmt s(conn_);
  ASSERT_EQ(s.Prepare("VALUES (1, 'x'), (2, 'y')"), 0u);
  EXPECT_EQ(s.rec()->kind, STMT_KIND_SELECT);
  ASSERT_EQ(s.Execute(), 0u) << ::testing::PrintToString(Errors(s.h()));
  EXPECT_EQ(s.rec()->colCount, 2u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  EXPECT_EQ(s.rec()->colCount, 2u);
  ASSERT_EQ(r.set.rows_held, 2u);
  EXPECT_EQ(r.Int(0, 1), 2);
}

TEST_F(ExecTest, ReadOnlyConnectionRefusesAllButSelect) {
  uint32_t on = 1;
  ASSERT_EQ(Ops().DRV_SetOption(conn_, OPT_ACCESS_MODE, &on), 0u);
  Stmt s(conn_);
  EXPECT_EQ(s.Prepare("INSERT INTO nums VALUES (11, 'eleven')"), EXEC_READ_ONLY);
  EXPECT_EQ(s.rec()->statement, nullptr);  // refused before any Java statement
  EXPECT_EQ(s.rec()->flags & STMT_PREPARED, 0);
  EXPECT_EQ(s.Execute(), ERR_FUNCTION_SEQUENCE);
  EXPECT_EQ(s.Prepare("CREATE TABLE ro (a INTEGER)"), EXEC_READ_ONLY);
  EXPECT_EQ(s.Run("SELECT n FROM nums"), 0u);
  on = 0;
  ASSERT_EQ(Ops().DRV_SetOption(conn_, OPT_ACCESS_MODE, &on), 0u);
  EXPECT_EQ(Count("nums"), 10);
}

TEST_F(ExecTest, ReadOnlyAtConnect) {
  const uint32_t ro = Connect("exec", 1);
  ASSERT_NE(ro, 0u);
  {
    Stmt s(ro);
    EXPECT_EQ(s.Prepare("DELETE FROM nums"), EXEC_READ_ONLY);
    EXPECT_EQ(s.Run("(SELECT n FROM nums)"), 0u);
  }
  Ops().DRV_Disconnect(ro);
}

TEST_F(ExecTest, SequenceAndHandleErrors) {
  Stmt s(conn_);
  EXPECT_EQ(s.Execute(), ERR_FUNCTION_SEQUENCE);
  Rows r;
  EXPECT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), ERR_FUNCTION_SEQUENCE);
  EXPECT_EQ(Ops().DRV_MoreResults(s.h()), EXEC_NO_MORE_RESULTS);
  EXPECT_EQ(Ops().DRV_Prepare(s.h(), nullptr), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_Fetch(s.h(), 1, nullptr), ERR_INVALID_ARGUMENT);
  for (uint32_t bad : {0u, conn_, s.h() + 1}) {
    EXPECT_EQ(Ops().DRV_Prepare(bad, "SELECT 1"), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_Execute(bad), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_Fetch(bad, 1, &r.set), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_MoreResults(bad), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_Cancel(bad), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_UnusedStmtOp(bad), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_SetParams(bad, nullptr), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_BindCols(bad, 0, nullptr), ERR_INVALID_ARGUMENT);
    EXPECT_EQ(Ops().DRV_PrepareExecute(bad, "SELECT 1", nullptr, 0, nullptr), ERR_INVALID_ARGUMENT);
  }
  EXPECT_EQ(Ops().DRV_Cancel(s.h()), 0u);
  EXPECT_EQ(Ops().DRV_UnusedStmtOp(s.h()), ERR_NOT_CAPABLE);
  EXPECT_EQ(nopOp(12345), 0u);
}

TEST_F(ExecTest, JavaFailuresArePostedOnTheStatement) {
  Stmt s(conn_);
  const uint32_t rc = s.Prepare("SELECT * FROM no_such_table");
  EXPECT_NE(rc, 0u);
  const auto errors = Errors(s.h());
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].find("NO_SUCH_TABLE"), std::string::npos) << errors[0];
  EXPECT_EQ(s.rec()->flags & STMT_PREPARED, 0);
  // The statement is usable again.
  EXPECT_EQ(s.Run("SELECT n FROM nums"), 0u);
}

TEST_F(ExecTest, EscapeClausesAtPrepare) {
  Stmt s(conn_);
  EXPECT_EQ(s.Prepare("SELECT {fn ucase(t) FROM nums"), ERR_SYNTAX_OR_ACCESS);
  EXPECT_EQ(s.rec()->flags & STMT_PREPARED, 0);
  EXPECT_EQ(s.Execute(), ERR_FUNCTION_SEQUENCE);
  // The JDBC driver translates the escape it is given.
  ASSERT_EQ(s.Run("SELECT {fn ucase(t)} FROM nums WHERE n = 1"), 0u)
      << ::testing::PrintToString(Errors(s.h()));
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 1u);
  EXPECT_EQ(r.Text(0, 0), "ONE");
  // A literal that looks like an escape reaches the database as it is.
  ASSERT_EQ(s.Run("SELECT '{fn null()}' FROM nums WHERE n = 1"), 0u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u);
  EXPECT_EQ(r.Text(0, 0), "{fn null()}");
  // A comment with an apostrophe does not swallow the rest of the text.
  ASSERT_EQ(s.Run("SELECT n -- it's the number\nFROM nums WHERE n = 2"), 0u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 1u);
  EXPECT_EQ(r.Int(0, 0), 2);
}

TEST_F(ExecTest, PrepareExecuteInOneCall) {
  Stmt s(conn_);
  ASSERT_EQ(Ops().DRV_PrepareExecute(s.h(), "SELECT n FROM nums WHERE n > 8", nullptr, 0, nullptr),
            0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 2u);
  // Without a text the prepared statement runs again.
  ASSERT_EQ(Ops().DRV_PrepareExecute(s.h(), nullptr, nullptr, 0, nullptr), 0u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 2u);
  const JdbcColBind binds[2] = {{4, 0, 10, 0, 1}, {12, 0, 20, 0, 4}};
  ASSERT_EQ(Ops().DRV_BindCols(s.h(), 2, binds), 0u);
  ASSERT_EQ(s.rec()->bindCount, 2u);
  EXPECT_EQ(s.rec()->binds[1].direction, 4);
  EXPECT_NE(s.rec()->binds, binds);
  ASSERT_EQ(Ops().DRV_BindCols(s.h(), 0, nullptr), 0u);
  EXPECT_EQ(s.rec()->binds, nullptr);
  EXPECT_EQ(s.rec()->bindCount, 0u);
}

TEST_F(ExecTest, MoreResultsOfAProcedureWithTwoResultSets) {
  Exec(conn_, {"CREATE PROCEDURE two_sets() READS SQL DATA DYNAMIC RESULT SETS 2 "
               "BEGIN ATOMIC "
               "DECLARE c1 CURSOR WITH RETURN FOR SELECT n FROM nums WHERE n < 3 ORDER BY n; "
               "DECLARE c2 CURSOR WITH RETURN FOR SELECT t, n FROM nums WHERE n > 8 ORDER BY n; "
               "OPEN c1; OPEN c2; END"});
  Stmt s(conn_);
  ASSERT_EQ(s.Run("CALL two_sets()"), 0u) << ::testing::PrintToString(Errors(s.h()));
  std::vector<uint16_t> shapes;
  std::vector<uint32_t> rowCounts;
  uint32_t rc = 0;
  int guard = 0;
  do {
    if (s.rec()->resultSet != nullptr) {
      Rows r;
      ASSERT_EQ(Ops().DRV_Fetch(s.h(), 10, &r.set), 0u);
      shapes.push_back(s.rec()->colCount);
      rowCounts.push_back(r.set.rows_held);
    }
    rc = Ops().DRV_MoreResults(s.h());
  } while (rc == 0 && ++guard < 10);
  EXPECT_EQ(rc, EXEC_NO_MORE_RESULTS);
  EXPECT_EQ(shapes, (std::vector<uint16_t>{1, 2}));
  EXPECT_EQ(rowCounts, (std::vector<uint32_t>{2, 2}));
  EXPECT_NE(s.rec()->flags & STMT_NO_MORE_ROWS, 0);
}

TEST_F(ExecTest, MoreResultsAfterASelect) {
  Stmt s(conn_);
  ASSERT_EQ(s.Run("SELECT n FROM nums"), 0u);
  EXPECT_EQ(Ops().DRV_MoreResults(s.h()), EXEC_NO_MORE_RESULTS);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 0u);
  ASSERT_EQ(Ops().DRV_CloseCursor(s.h()), 0u);
  EXPECT_EQ(Ops().DRV_MoreResults(s.h()), EXEC_NO_MORE_RESULTS);
}

// A prepared SELECT describes itself before it runs, and runs at execute: a
// row inserted in between counts, and nothing is fetched before. A JDBC driver
// without metadata before execution (the connection's describe-at-prepare
// flag cleared) gets the description from a run whose rows are dropped.
TEST_F(ExecTest, PreparedSelectRunsAtExecuteNotAtPrepare) {
  Exec(conn_, {"CREATE TABLE early (a INTEGER)"});
  int rows = 0;
  for (uint32_t describeAtPrepare : {1u, 0u}) {
    SCOPED_TRACE(describeAtPrepare);
    Stmt s(conn_);
    s.rec()->conn->describeAtPrepare = describeAtPrepare;
    ASSERT_EQ(s.Prepare("SELECT COUNT(*) FROM early"), 0u);
    uint16_t count = 0;
    JdbcColDesc* cols = nullptr;
    ASSERT_EQ(Ops().DRV_NumResultCols(s.h(), &count, &cols), 0u);
    ColDescFree(cols, count);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(s.rec()->resultSet, nullptr);
    Rows r;
    EXPECT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), ERR_FUNCTION_SEQUENCE);
    for (int round = 0; round < 2; ++round) {
      Exec(conn_, {"INSERT INTO early VALUES (2)"});
      ++rows;
      ASSERT_EQ(s.Execute(), 0u);
      ASSERT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u) << ::testing::PrintToString(Errors(s.h()));
      ASSERT_EQ(r.set.rows_held, 1u);
      EXPECT_EQ(r.Text(0, 0), std::to_string(rows));
    }
  }
}

TEST_F(ExecTest, PreparingAgainReplacesEverything) {
  Stmt s(conn_);
  ASSERT_EQ(s.Run("SELECT n, t FROM nums"), 0u);
  EXPECT_EQ(s.rec()->colCount, 2u);
  ASSERT_EQ(s.Prepare("CREATE TABLE replaced (a INTEGER)"), 0u);
  EXPECT_EQ(s.rec()->colCount, 0u);
  EXPECT_EQ(s.rec()->resultSet, nullptr);
  Rows r;
  EXPECT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), ERR_FUNCTION_SEQUENCE);
  ASSERT_EQ(s.Execute(), 0u);
  EXPECT_EQ(Count("replaced"), 0);
}

}  // namespace

namespace {

// The fields the catalog functions set on a statement before its fetches.
class CatalogFetchTest : public ExecTest {
 protected:
  static uint32_t Hook(JdbcStmt* s, COLSET* set) {
    hookCalls_.push_back(set->rows_held);
    return s->rowCount == set->rows_held ? 0u : 15u;
  }
  static std::vector<uint32_t> hookCalls_;
};
std::vector<uint32_t> CatalogFetchTest::hookCalls_;

TEST_F(CatalogFetchTest, TypeInformationKeepsTheRequestedType) {
  Stmt s(conn_);
  ASSERT_EQ(s.Run("VALUES ('a', 91), ('b', 4), ('c', 9), ('d', 93)"), 0u);
  s.rec()->catalogKind = 1;
  s.rec()->requestedType = 9;
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 10, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 2u);
  EXPECT_EQ(r.Text(0, 0), "a");
  EXPECT_EQ(r.Text(0, 1), "c");
}

TEST_F(CatalogFetchTest, RowHookSeesEachBlockThatDeliveredRows) {
  hookCalls_.clear();
  Stmt s(conn_);
  ASSERT_EQ(s.Run("SELECT n FROM nums ORDER BY n"), 0u);
  s.rec()->rowHook = &Hook;
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 6, &r.set), 0u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 6, &r.set), 0u);
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 6, &r.set), 0u);
  EXPECT_EQ(hookCalls_, (std::vector<uint32_t>{6, 4}));
}

TEST_F(CatalogFetchTest, SingleTargetAndColumnLimit) {
  Stmt s(conn_);
  ASSERT_EQ(s.Run("SELECT n, t FROM nums ORDER BY n"), 0u);
  // A limit of one column leaves the second column of every row NULL.
  s.rec()->fetchColLimit = 1;
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 2, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 2u);
  EXPECT_EQ(r.Int(0, 1), 2);
  EXPECT_TRUE(r.IsNull(1, 0));
  // JDBC column 1 into buffer column 1 (its element is text: the number as
  // text lands there).
  s.rec()->fetchColLimit = -1;
  s.rec()->singleTarget = 1;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 1u);
  EXPECT_EQ(r.Text(1, 0), "3");
  EXPECT_TRUE(r.IsNull(0, 0));
  // A target at or beyond the buffer's column count is refused.
  for (int32_t bad : {2, 7}) {
    s.rec()->singleTarget = bad;
    EXPECT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), ERR_GENERAL) << bad;
  }
}

}  // namespace

namespace {

// The row-buffer forms the describe does not choose itself but a layer in
// front of the agent may ask for by changing a column's description.
class BufferFormTest : public ExecTest {
 protected:
  // Fetches "three" and "eight" with column 0 in the given form.
  void FetchAs(uint32_t code, uint32_t elemLen, Rows* r) {
    stmt_ = std::make_unique<Stmt>(conn_);
    ASSERT_EQ(stmt_->Run("SELECT t FROM nums WHERE n IN (3, 8) ORDER BY n"), 0u);
    stmt_->rec()->cols[0].value_type = code;
    stmt_->rec()->cols[0].elem_len = elemLen;
    ASSERT_EQ(Ops().DRV_Fetch(stmt_->h(), 5, &r->set), 0u);
    ASSERT_EQ(r->set.rows_held, 2u);
  }
  std::unique_ptr<Stmt> stmt_;
};

TEST_F(BufferFormTest, FixedWidthTextIsCutWithoutTerminator) {
  Rows r;
  FetchAs(COLSET_VT_CHAR, 4, &r);
  ASSERT_EQ(r.set.cols[0].elem_size, 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.Elem(0, 0)), 4), "thre");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r.Elem(0, 1)), 4), "eigh");
}

TEST_F(BufferFormTest, LengthPrefixedText) {
  Rows r;
  FetchAs(COLSET_VT_CHAR32, 4, &r);
  ASSERT_EQ(r.set.cols[0].elem_size, 8u);
  EXPECT_EQ(r.Prefixed(0, 0), "thre");
  EXPECT_EQ(r.Prefixed(0, 1), "eigh");
  // The prefix keeps the whole length of a value the element cut.
  for (uint32_t row : {0u, 1u}) {
    uint32_t whole = 0;
    std::memcpy(&whole, r.Elem(0, row), sizeof whole);
    EXPECT_EQ(whole, 5u) << row;
  }
}

TEST_F(BufferFormTest, WideFixedAndPrefixed) {
  Rows fixed;
  FetchAs(COLSET_VT_WCHAR, 3, &fixed);
  ASSERT_EQ(fixed.set.cols[0].elem_size, 6u);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(fixed.Elem(0, 1)), 3), u"eig");
  Rows prefixed;
  FetchAs(COLSET_VT_WCHAR32, 3, &prefixed);
  ASSERT_EQ(prefixed.set.cols[0].elem_size, 12u);
  uint32_t len = 0;
  std::memcpy(&len, prefixed.Elem(0, 0), 4);
  // The whole length; the element, rounded up to 12 bytes, keeps (12 - 4) / 2 characters.
  ASSERT_EQ(len, 5u);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(prefixed.Elem(0, 0) + 4), 4), u"thre");
}

TEST_F(BufferFormTest, WideTerminatedLeavesRoomForItsNul) {
  Rows r;
  FetchAs(COLSET_VT_WNTS, 2, &r);
  // 2 * 2 + 2 bytes: three units, the last one the NUL's.
  ASSERT_EQ(r.set.cols[0].elem_size, 6u);
  EXPECT_EQ(r.Wide(0, 0), u"th");
  EXPECT_EQ(r.Wide(0, 1), u"ei");
}

TEST_F(BufferFormTest, FormsNeverFetchedEndTheFetch) {
  for (uint32_t code : {6u, 7u, 8u, 18u, 19u, 21u, 22u}) {
    Stmt s(conn_);
    ASSERT_EQ(s.Run("SELECT t FROM nums"), 0u);
    s.rec()->cols[0].value_type = code;
    s.rec()->cols[0].elem_len = 4;
    Rows r;
    EXPECT_EQ(Ops().DRV_Fetch(s.h(), 5, &r.set), ERR_GENERAL) << code;
  }
}

}  // namespace

namespace {

TEST_F(ExecTest, LargeBlockOfTextAndNumbers) {
  Stmt s(conn_);
  // 1000 rows of text, decimal and timestamp columns in one block: every
  // value read leaves no Java reference behind.
  ASSERT_EQ(s.Run("SELECT CAST(a.n * 100 + b.n AS VARCHAR(10)), CAST(a.n AS DECIMAL(5,1)), "
                  "TIMESTAMP '2020-01-01 00:00:00' FROM nums a, nums b, nums c"),
            0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(s.h(), 1000, &r.set), 0u) << ::testing::PrintToString(Errors(s.h()));
  ASSERT_EQ(r.set.rows_held, 1000u);
  for (uint32_t i = 0; i < 1000; ++i) {
    ASSERT_FALSE(r.Text(0, i).empty()) << i;
    ASSERT_NE(r.Text(1, i).find('.'), std::string::npos) << i;
  }
}

}  // namespace
