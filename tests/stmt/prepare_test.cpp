// Preparing and executing: what reaches the agent, the statement's state
// afterwards, and the refusals.
#include <sql.h>
#include <sqlext.h>

#include "driver/coldesc.h"
#include "drv_jdbc/agent_codes.h"
#include "stmt/stmt_fixture.h"

namespace qmrtest {
namespace {

using PrepareExec = StmtTest;

TEST_F(PrepareExec, ExecDirectPreparesExecutesAndLeavesAResult) {
  scriptData.cols = SampleColumns();
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "SELECT * FROM T"));
  ASSERT_EQ(1u, scriptData.prepared.size());
  EXPECT_EQ("SELECT * FROM T", scriptData.prepared[0]);
  EXPECT_EQ(1, fake.CallCount(13));
  StmtHandle* s = Stmt(h);
  EXPECT_EQ(kStmtPrepared, s->state);
  EXPECT_EQ(kStmtFlagPrepared | kStmtFlagCursorOpen, s->flags & 0x3);
  EXPECT_EQ(1u, s->isSelect);
  SQLSMALLINT n = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  EXPECT_EQ(14, n);
}

TEST_F(PrepareExec, CountedTextIsCutAndEmptyTextReachesTheAgent) {
  SQLHSTMT h = Alloc();
  SQLCHAR sql[] = "DELETE FROM T WHERE 1=0 garbage";
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, sql, 23));
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, sql, 0));
  ASSERT_EQ(2u, scriptData.prepared.size());
  EXPECT_EQ("DELETE FROM T WHERE 1=0", scriptData.prepared[0]);
  EXPECT_EQ("", scriptData.prepared[1]);
}

TEST_F(PrepareExec, NullTextAndBadLengthsAreRefused) {
  SQLHSTMT h = Alloc();
  EXPECT_EQ(SQL_ERROR, SQLPrepare(h, nullptr, SQL_NTS));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, h));
  SQLCHAR sql[] = "select 1";
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(h, sql, -5));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, h));
  EXPECT_TRUE(scriptData.prepared.empty());
}

TEST_F(PrepareExec, SelectIsRecognisedByItsFirstFiveLetters) {
  SQLHSTMT h = Alloc();
  const struct {
    const char* text;
    uint32_t select;
  } cases[] = {{"SELECT 1", 1},
               {"sElEcT 1", 1},
               {" select 1", 0},
               {"selec", 1},
               {"selection", 1},
               {"sele", 0},
               {"insert into t values (1)", 0}};
  for (const auto& c : cases) {
    ASSERT_EQ(SQL_SUCCESS, Prepare(h, c.text)) << c.text;
    EXPECT_EQ(c.select, Stmt(h)->isSelect) << c.text;
  }
}

TEST_F(PrepareExec, AgentRefusalLeavesTheStatementUnprepared) {
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Prepare(h, "select 1 from t"));
  // A second preparation that the agent refuses: the earlier one is gone,
  // so SQLExecute cannot run it.
  fake.PushResult(11, 15);
  fake.PostError(Stmt(h)->agentStmt, {"Table not found", "42S02", 5501, false});
  EXPECT_EQ(SQL_ERROR, Prepare(h, "select x from nowhere"));
  EXPECT_EQ("42S02", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(kStmtAllocated, Stmt(h)->state);
  EXPECT_EQ(SQL_ERROR, SQLExecute(h));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, h));
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQL_ERROR, SQLNumResultCols(h, &n));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, h));
}

TEST_F(PrepareExec, FailedParameterDescriptionClosesTheAgentCursor) {
  SQLHSTMT h = Alloc();
  fake.PushResult(16, 15);
  EXPECT_EQ(SQL_ERROR, Prepare(h, "select 1"));
  EXPECT_EQ("HY000", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(1, fake.CallCount(20));
  EXPECT_EQ(kStmtAllocated, Stmt(h)->state);
}

TEST_F(PrepareExec, ParameterKindsAreCountedUntilAnUnknownMode) {
  scriptData.params = {
      Col("", SQL_INTEGER, 10, 0, 1, 5, 4, 11), Col("*O", SQL_INTEGER, 10, 0, 1, 5, 4, 11),
      Col("*B", SQL_INTEGER, 10, 0, 1, 5, 4, 11), Col("*O", SQL_INTEGER, 10, 0, 1, 5, 4, 11)};
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Prepare(h, "{call p(?,?,?,?)}"));
  StmtHandle* s = Stmt(h);
  EXPECT_EQ(4, s->paramCount);
  EXPECT_EQ(1, s->inParams);
  EXPECT_EQ(2, s->outParams);
  EXPECT_EQ(1, s->inOutParams);
  EXPECT_EQ(0u, s->paramRecount);

  scriptData.params = {Col("*O", 4, 10, 0, 1, 5, 4, 11), Col("*U", 4, 10, 0, 1, 5, 4, 11),
                       Col("*B", 4, 10, 0, 1, 5, 4, 11)};
  ASSERT_EQ(SQL_SUCCESS, Prepare(h, "{call q(?,?,?)}"));
  EXPECT_EQ(1, s->outParams);
  EXPECT_EQ(0, s->inOutParams);
  EXPECT_EQ(1u, s->paramRecount);
}

TEST_F(PrepareExec, InputMarkersWithoutValuesAreWrongNumberOfParameters) {
  scriptData.params = {Col("", SQL_INTEGER, 10, 0, 1, 5, 4, 11)};
  SQLHSTMT h = Alloc();
  EXPECT_EQ(SQL_ERROR, Direct(h, "insert into t values (?)"));
  EXPECT_EQ("07001", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(0, fake.CallCount(13));
}

TEST_F(PrepareExec, ForwardOnlyReadOnlyNeverAsksForCursorOptions) {
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Prepare(h, "select 1"));
  EXPECT_TRUE(scriptData.infoRequests.empty());
  EXPECT_TRUE(scriptData.setOptions.empty());
}

TEST_F(PrepareExec, LoweredCursorTypeIsAskedForAgainBeforeTheNextPreparation) {
  SQLHSTMT h = Alloc();
  StmtHandle* s = Stmt(h);
  s->cursor.cursorType = SQL_CURSOR_STATIC;
  scriptData.cursorTypeAnswer = SQL_CURSOR_FORWARD_ONLY;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Prepare(h, "select 1"));
  EXPECT_EQ("01S02", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(uint32_t{SQL_CURSOR_FORWARD_ONLY}, s->cursor.cursorType);
  EXPECT_EQ(uint32_t{SQL_CURSOR_STATIC}, s->cursor.cursorTypeRequested);
  EXPECT_NE(0, s->cursor.flags & SCR_FLAG_OPTIONS_CHANGED);
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Prepare(h, "select 2"));
  ASSERT_EQ(2u, scriptData.setOptions.size());
  EXPECT_EQ(OPT_CURSOR_TYPE, scriptData.setOptions[0]);
  EXPECT_EQ(OPT_CONCURRENCY, scriptData.setOptions[1]);
  // The re-sent type was accepted, and the agent again answered forward-only.
  EXPECT_EQ(uint32_t{SQL_CURSOR_FORWARD_ONLY}, s->cursor.cursorType);
}

TEST_F(PrepareExec, PreparingAnExecutedStatementClosesItsResultFirst) {
  scriptData.cols = SampleColumns();
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select * from t"));
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  const int closes = fake.CallCount(20);
  ASSERT_EQ(SQL_SUCCESS, Prepare(h, "select 1"));
  EXPECT_EQ(closes + 1, fake.CallCount(20));
  EXPECT_EQ(nullptr, Stmt(h)->cols);
  EXPECT_EQ(0, Stmt(h)->flags & kStmtFlagCursorOpen);
}

TEST_F(PrepareExec, ExecuteRunsThePreparationAgainAfterClose) {
  scriptData.cols = SampleColumns();
  SQLHSTMT h = Alloc();
  EXPECT_EQ(SQL_ERROR, SQLExecute(h));  // nothing prepared
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, h));
  ASSERT_EQ(SQL_SUCCESS, Prepare(h, "select * from t"));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(h));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_CLOSE));
  EXPECT_EQ(kStmtAllocated, Stmt(h)->state);
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(h));
  EXPECT_EQ(2, fake.CallCount(13));
  EXPECT_EQ(kStmtPrepared, Stmt(h)->state);
  EXPECT_EQ(1u, scriptData.prepared.size());
}

TEST_F(PrepareExec, ReexecutionDescribesTheNewResultAndDropsBufferedRows) {
  scriptData.cols = SampleColumns();
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select * from t"));
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  StmtHandle* s = Stmt(h);
  s->rowIndex = 3;  // as if three rows of a block had been read
  scriptData.cols.resize(2);
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(h));
  EXPECT_EQ(0, s->rowIndex);
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  EXPECT_EQ(2, n);
  EXPECT_EQ(2, scriptData.describeCalls);
}

TEST_F(PrepareExec, AgentWarningStillLeavesAnOpenResult) {
  scriptData.cols = SampleColumns();
  SQLHSTMT h = Alloc();
  fake.PushResult(13, 74);
  fake.PostError(Stmt(h)->agentStmt, {"Warning: truncated", "01004", 0, false});
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Direct(h, "select * from t"));
  EXPECT_EQ("01004", State(SQL_HANDLE_STMT, h));
  EXPECT_NE(0, Stmt(h)->flags & kStmtFlagCursorOpen);
  EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(h));
}

TEST_F(PrepareExec, AgentExecutionFailureReportsItsMessage) {
  SQLHSTMT h = Alloc();
  fake.PushResult(13, 15);
  fake.PostError(Stmt(h)->agentStmt, {"integrity constraint violation", "23505", -104, false});
  EXPECT_EQ(SQL_ERROR, Direct(h, "insert into t values (1)"));
  EXPECT_EQ("23505", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(0, Stmt(h)->flags & kStmtFlagCursorOpen);
}

TEST_F(PrepareExec, RowCountComesFromTheAgentSignExtended) {
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "update t set a = 2"));
  scriptData.rowCount = 3;
  SQLLEN rows = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(h, &rows));
  EXPECT_EQ(3, rows);
  scriptData.rowCount = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(h, &rows));
  EXPECT_EQ(-1, rows);
  fake.PushResult(0, 15);
  EXPECT_EQ(SQL_ERROR, SQLRowCount(h, &rows));
  EXPECT_EQ("HY000", State(SQL_HANDLE_STMT, h));
}

}  // namespace
}  // namespace qmrtest
