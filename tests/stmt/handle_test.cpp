// Statement handles: allocation and its failures, SQLFreeStmt with each
// option, SQLCloseCursor and SQLCancel.
#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "driver/stmt.h"
#include "stmt/stmt_fixture.h"

namespace qmrtest {
namespace {

using Handles = StmtTest;

int StatementsOf(ConnHandle* c) {
  plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
  int n = 0;
  for (StmtHandle* s = c->firstStmt; s != nullptr; s = s->next) ++n;
  return n;
}

TEST_F(Handles, AllocatedStatementStartsClosedWithItsCursorState) {
  conn->cn_needbind = 1;
  SQLHSTMT h = Alloc();
  StmtHandle* s = Stmt(h);
  EXPECT_EQ(kStmtAllocated, s->state);
  EXPECT_EQ(kStmtFlagNeedBind, s->flags);
  EXPECT_EQ(-1, s->cursor.rowCount);
  EXPECT_EQ(1u, s->cursor.rowsetSize);
  EXPECT_EQ(s->agentStmt, s->cursor.stmtHandle);
  EXPECT_EQ(s, s->cursor.owner);
}

TEST_F(Handles, AgentRefusalLeavesNoStatement) {
  fake.PushResult(7, 16);
  SQLHSTMT h = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
  EXPECT_EQ(nullptr, h);
  EXPECT_EQ("HY001", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(0, StatementsOf(conn));
}

TEST_F(Handles, FailedDescriptorNumberUndoesTheWholeAllocation) {
  // Fill the descriptor table but for two slots: the third implicit
  // descriptor finds it full.
  std::vector<uint32_t> filler;
  static int dummy;
  for (;;) {
    uint32_t n = 0;
    if (HT_Alloc(&gDescTable, &n, &dummy) != 0) break;
    filler.push_back(n);
  }
  ASSERT_GT(filler.size(), 2u);
  HT_Free(&gDescTable, filler.back());
  filler.pop_back();
  HT_Free(&gDescTable, filler.back());
  filler.pop_back();

  SQLHSTMT h = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
  EXPECT_EQ(nullptr, h);
  EXPECT_EQ(0, StatementsOf(conn));
  // The agent's statement went back, and so did the two numbers taken.
  EXPECT_EQ(fake.CallCount(7), fake.CallCount(8));
  uint32_t a = 0, b = 0;
  EXPECT_EQ(0, HT_Alloc(&gDescTable, &a, &dummy));
  EXPECT_EQ(0, HT_Alloc(&gDescTable, &b, &dummy));
  HT_Free(&gDescTable, a);
  HT_Free(&gDescTable, b);
  for (uint32_t n : filler) HT_Free(&gDescTable, n);
  // With room again, allocation works.
  SQLHSTMT ok = Alloc();
  EXPECT_NE(nullptr, ok);
}

TEST_F(Handles, FreeStmtWithEachOption) {
  scriptData.cols = SampleColumns();
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select * from t"));
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));

  const int closes = fake.CallCount(20);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_CLOSE));
  EXPECT_EQ(closes + 1, fake.CallCount(20));
  EXPECT_EQ(kStmtAllocated, Stmt(h)->state);
  EXPECT_EQ(0, Stmt(h)->flags & kStmtFlagCursorOpen);
  // Closing a closed statement asks nothing more of the agent.
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_CLOSE));
  EXPECT_EQ(closes + 1, fake.CallCount(20));

  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_UNBIND));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_RESET_PARAMS));
  EXPECT_EQ(SQL_ERROR, SQLFreeStmt(h, 4));
  EXPECT_EQ("HY092", State(SQL_HANDLE_STMT, h));

  const uint32_t agentStmt = Stmt(h)->agentStmt;
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_DROP));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLNumResultCols(h, &n));
  bool freed = false;
  for (const FakeCall& c : fake.Calls())
    if (c.slot == 8 && c.handle == agentStmt) freed = true;
  EXPECT_TRUE(freed);
  EXPECT_EQ(0, StatementsOf(conn));
}

TEST_F(Handles, AgentFailureOnCloseIsReported) {
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select 1"));
  fake.PushResult(20, 15);
  EXPECT_EQ(SQL_ERROR, SQLFreeStmt(h, SQL_CLOSE));
  EXPECT_EQ("HY000", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(kStmtAllocated, Stmt(h)->state);
}

TEST_F(Handles, CloseCursorNeedsAnOpenCursor) {
  // "24000" is the same state in ODBC 2 and 3 (the ODBC 3 form is checked
  // with the other handle calls).
  ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0));
  scriptData.cols = SampleColumns();
  SQLHSTMT h = Alloc();
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(h));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, h));
  ASSERT_EQ(SQL_SUCCESS, Prepare(h, "select 1"));
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(h));  // prepared, not executed
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, h));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(h));
  EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(h));
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(h));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, h));
  // An execution without result columns opens no cursor either.
  scriptData.cols.clear();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "insert into t values (1)"));
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(h));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, h));
}

// ODBC 2 defined the cancel of an idle statement as closing its result;
// in ODBC 3 it has no effect.
TEST_F(Handles, CancelOfAnIdleStatementClosesItInOdbc2Only) {
  const struct {
    uintptr_t version;
    SQLRETURN rc;
    const char* state;
    int closes;  // of the agent's cursor
  } rows[] = {{SQL_OV_ODBC2, SQL_SUCCESS_WITH_INFO, "01S05", 1},
              {SQL_OV_ODBC3, SQL_SUCCESS, "", 0}};
  for (const auto& r : rows) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                         reinterpret_cast<SQLPOINTER>(r.version), 0));
    SQLHSTMT h = Alloc();
    EXPECT_EQ(r.rc, SQLCancel(h)) << r.version;
    EXPECT_EQ(r.state, State(SQL_HANDLE_STMT, h)) << r.version;
    ASSERT_EQ(SQL_SUCCESS, Direct(h, "select 1"));
    const int closes = fake.CallCount(20);
    EXPECT_EQ(r.rc, SQLCancel(h)) << r.version;
    EXPECT_EQ(closes + r.closes, fake.CallCount(20)) << r.version;
    EXPECT_EQ(0, fake.CallCount(53));
    EXPECT_EQ(r.closes == 0 ? kStmtPrepared : kStmtAllocated, Stmt(h)->state) << r.version;
  }
}

TEST_F(Handles, DisconnectFreesStatementsWithTheirDescriptions) {
  scriptData.cols = SampleColumns();
  scriptData.params = {Col("", SQL_INTEGER, 10, 0, 1, 5, 4, 11)};
  SQLHSTMT a = Alloc();
  SQLHSTMT b = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Prepare(a, "select * from t where i = ?"));
  scriptData.params.clear();
  ASSERT_EQ(SQL_SUCCESS, Direct(b, "select * from t"));
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(b, &n));
  // Everything the statements hold is freed (the sanitizer build checks).
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, a));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, b));
  EXPECT_EQ(0, StatementsOf(conn));
}

}  // namespace
}  // namespace qmrtest
