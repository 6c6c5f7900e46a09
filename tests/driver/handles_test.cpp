// Connections, statements and descriptors as far as the core builds them
// without connecting: allocation, release, SQLFreeStmt, SQLCloseCursor,
// SQLCancel, SQLDisconnect, and the operations still to come.
#include <gtest/gtest.h>

#include "core_fixture.h"

namespace {

using qmrtest::CoreTest;

class Handles : public qmrtest::EnvDbcTest {};

TEST_F(Handles, StatementsAndDescriptorsNeedAConnection) {
  SQLHANDLE out = reinterpret_cast<SQLHANDLE>(1);
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLAllocStmt(dbc, &out));
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &out));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(0, fake.CallCount(7));
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, dbc, nullptr));
  EXPECT_EQ("HY009", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Handles, DescriptorAllocationChecksLikeAStatement) {
  SQLHANDLE out = reinterpret_cast<SQLHANDLE>(1);
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DESC, dbc, nullptr));
  EXPECT_EQ("HY009", State(SQL_HANDLE_DBC, dbc));
  MarkConnected(dbc);
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DESC, dbc, nullptr));
  EXPECT_EQ("HY009", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Handles, StatementAllocationAndDrop) {
  ConnHandle* c = MarkConnected(dbc);
  c->cn_needbind = 1;
  SQLHSTMT stmt = NewStmt(dbc);
  StmtHandle* s = Stmt(stmt);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(c, s->conn);
  EXPECT_EQ(&c->agent, s->agent);
  EXPECT_EQ(1u, s->serial);
  EXPECT_NE(0, s->flags & kStmtFlagNeedBind);
  EXPECT_EQ(kDescARD, s->ard->kind);
  EXPECT_EQ(s->implicitArd, s->ard);
  EXPECT_EQ(kDescAPD, s->apd->kind);
  EXPECT_EQ(kDescIRD, s->ird->kind);
  EXPECT_EQ(kDescIPD, s->ipd->kind);
  const uint32_t ardNumber = s->ard->handle;
  EXPECT_EQ(1, fake.CallCount(7));

  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_DROP));
  EXPECT_EQ(1, fake.CallCount(8));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(stmt, SQL_CLOSE));
  // The implicit descriptors went with it.
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DESC, DRV_HandleValue(ardNumber)));
  EXPECT_EQ(nullptr, c->firstStmt);
}

TEST_F(Handles, AgentRefusalLeavesItsCodeOnTheConnection) {
  MarkConnected(dbc);
  fake.PushResult(7, 16);
  SQLHSTMT stmt = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  EXPECT_EQ("HY001", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(0, fake.CallCount(8));
}

TEST_F(Handles, FreeStmtOptions) {
  MarkConnected(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_UNBIND));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_RESET_PARAMS));
  EXPECT_EQ(SQL_ERROR, SQLFreeStmt(stmt, 4));
  EXPECT_EQ("HY092", State(SQL_HANDLE_STMT, stmt));

  // Closing a statement with a result closes the agent's cursor.
  StmtHandle* s = Stmt(stmt);
  s->state = kStmtPrepared;
  s->flags |= kStmtFlagCursorOpen;
  s->cols = ColDescAlloc(1);
  ASSERT_NE(nullptr, s->cols);
  s->colCount = 1;
  EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
  EXPECT_EQ(1, fake.CallCount(20));
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, stmt));  // the same state in ODBC 3
  // An agent failure while closing is the result of SQLFreeStmt(SQL_CLOSE).
  s->state = kStmtPrepared;
  fake.PushResult(20, 15);
  EXPECT_EQ(SQL_ERROR, SQLFreeStmt(stmt, SQL_CLOSE));
  EXPECT_EQ("HY000", State(SQL_HANDLE_STMT, stmt));
}

// ODBC 3: the cancel of an idle statement has no effect (the ODBC 2 close
// is checked with the statement calls).
TEST_F(Handles, CancelOfAnIdleStatementLeavesIt) {
  MarkConnected(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  Stmt(stmt)->state = kStmtPrepared;
  EXPECT_EQ(SQL_SUCCESS, SQLCancel(stmt));
  EXPECT_EQ("", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(kStmtPrepared, Stmt(stmt)->state);
  EXPECT_EQ(0, fake.CallCount(20));
  EXPECT_EQ(0, fake.CallCount(53));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLCancel(dbc));
}

TEST_F(Handles, DisconnectFreesStatementsAndExplicitDescriptors) {
  EXPECT_EQ(SQL_ERROR, SQLDisconnect(dbc));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  MarkConnected(dbc);
  SQLHSTMT s1 = NewStmt(dbc), s2 = NewStmt(dbc);
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc));
  ASSERT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
  EXPECT_EQ(2, fake.CallCount(8));
  EXPECT_EQ(1, fake.CallCount(6));
  EXPECT_EQ(1, fake.CallCount(4));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(s1, SQL_CLOSE));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(s2, SQL_CLOSE));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DESC, desc));
  // The connection stays, allocated again.
  EXPECT_EQ(SQL_ERROR, SQLDisconnect(dbc));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
}

TEST_F(Handles, FailedAgentDisconnectKeepsTheConnection) {
  ConnHandle* c = MarkConnected(dbc);
  fake.PushResult(6, 15);
  fake.PushResult(6, 15);
  fake.PostError(c->agentConn, {"link down", "08S01", 7, false});
  EXPECT_EQ(SQL_ERROR, SQLDisconnect(dbc));
  EXPECT_EQ("08S01", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(0, fake.CallCount(4));
  // Still connected: the release fails the same way and keeps the handle.
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
  EXPECT_EQ(1, fake.CallCount(4));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
}

TEST_F(Handles, ExplicitDescriptorsAreFreedAndAutomaticOnesRefused) {
  MarkConnected(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc));
  StmtHandle* s = Stmt(stmt);
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    s->ard = DRV_LookupDesc(DRV_HandleNumber(desc));  // installed as the ARD
  }
  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, desc));
  EXPECT_EQ(s->implicitArd, s->ard);
  const SQLHDESC implicit = DRV_HandleValue(s->implicitArd->handle);
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DESC, implicit));
  EXPECT_EQ("HY017", State(SQL_HANDLE_DESC, implicit));
}

// A connection whose agent serves no scrolling has no positioned
// operations, and a forward-only cursor no bulk ones.
TEST_F(Handles, PositionedOperationsNeedACursorThatScrolls) {
  MarkConnected(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("IM001", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_ADD));
  EXPECT_EQ("IM924", State(SQL_HANDLE_STMT, stmt));
}

}  // namespace
