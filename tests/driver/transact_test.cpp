// Ending transactions on connections and environments.
#include <gtest/gtest.h>

#include "core_fixture.h"

namespace {

using qmrtest::CoreTest;

constexpr int kCommit = 21;
constexpr int kRollback = 22;

class Transact : public qmrtest::EnvDbcTest {};

TEST_F(Transact, ConnectionCommitAndRollbackReachTheAgent) {
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  MarkConnected(dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  EXPECT_EQ(SQL_SUCCESS, SQLTransact(env, dbc, SQL_ROLLBACK));
  EXPECT_EQ(1, fake.CallCount(kCommit));
  EXPECT_EQ(1, fake.CallCount(kRollback));
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, 2));
  EXPECT_EQ("HY012", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Transact, AgentFailureBringsItsMessages) {
  ConnHandle* c = MarkConnected(dbc);
  fake.PushResult(kCommit, 15);
  fake.PostError(c->agentConn, {"deadlock", "40001", 99, false});
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  EXPECT_EQ("40001", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Transact, EnvironmentEndsEveryConnectedConnectionAndSkipsTheOthers) {
  SQLHDBC idle = NewConn(env);  // never connected
  MarkConnected(dbc);
  SQLHDBC second = NewConn(env);
  MarkConnected(second);
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT));
  EXPECT_EQ(2, fake.CallCount(kCommit));
  EXPECT_EQ(SQL_SUCCESS, SQLTransact(env, SQL_NULL_HDBC, SQL_ROLLBACK));
  EXPECT_EQ(2, fake.CallCount(kRollback));
  (void)idle;

  // One failure fails the call, the others are still tried, and the
  // connections keep the pending codes they had.
  fake.PushResult(kCommit, 15);
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT));
  EXPECT_EQ(4, fake.CallCount(kCommit));
  EXPECT_EQ("HY000", State(SQL_HANDLE_ENV, env));
}

TEST_F(Transact, OtherHandleTypesAreRefused) {
  MarkConnected(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_STMT, stmt, SQL_COMMIT));
  EXPECT_EQ("HY092", State(SQL_HANDLE_STMT, stmt));
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc));
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DESC, desc, SQL_COMMIT));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DESC, desc));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLEndTran(SQL_HANDLE_STMT, nullptr, SQL_COMMIT));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLEndTran(7, env, SQL_COMMIT));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLEndTran(SQL_HANDLE_ENV, nullptr, SQL_COMMIT));
  EXPECT_EQ(0, fake.CallCount(kCommit));
}

TEST_F(Transact, TransactWithAnUnknownConnectionFallsBackToTheEnvironment) {
  MarkConnected(dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLTransact(env, DRV_HandleValue(0x00020031), SQL_COMMIT));
  EXPECT_EQ(1, fake.CallCount(kCommit));
}

}  // namespace
