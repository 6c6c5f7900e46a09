// Ending transactions on connections and environments.
#include <gtest/gtest.h>

#include "core_fixture.h"

namespace {

using qmrtest::CoreTest;

constexpr int kCommit = 21;
constexpr int kRollback = 22;

class Transact : public qmrtest::EnvDbcTest {
 protected:
  // A connected connection in manual-commit mode: only there does a
  // transaction wait for its end.
  ConnHandle* ManualCommit(SQLHDBC d) {
    ConnHandle* c = MarkConnected(d);
    c->flags &= static_cast<uint16_t>(~kConnAutoCommit);
    return c;
  }
};

TEST_F(Transact, ConnectionCommitAndRollbackReachTheAgent) {
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  ManualCommit(dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  EXPECT_EQ(SQL_SUCCESS, SQLTransact(env, dbc, SQL_ROLLBACK));
  EXPECT_EQ(1, fake.CallCount(kCommit));
  EXPECT_EQ(1, fake.CallCount(kRollback));
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, 2));
  EXPECT_EQ("HY012", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Transact, AgentFailureBringsItsMessages) {
  ConnHandle* c = ManualCommit(dbc);
  fake.PushResult(kCommit, 15);
  fake.PostError(c->agentConn, {"deadlock", "40001", 99, false});
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  EXPECT_EQ("40001", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Transact, EnvironmentEndsEveryConnectedConnectionAndSkipsTheOthers) {
  SQLHDBC idle = NewConn(env);  // never connected
  ManualCommit(dbc);
  SQLHDBC second = NewConn(env);
  ManualCommit(second);
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

TEST_F(Transact, InAutoCommitModeNothingReachesTheAgent) {
  MarkConnected(dbc);
  SQLHDBC manual = NewConn(env);
  ManualCommit(manual);
  for (SQLSMALLINT completion : {SQL_COMMIT, SQL_ROLLBACK}) {
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, completion));
    EXPECT_EQ(SQL_SUCCESS, SQLTransact(SQL_NULL_HENV, dbc, completion));
    // The environment ends only the manual-commit connection's transaction.
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, env, completion));
  }
  EXPECT_EQ(1, fake.CallCount(kCommit));
  EXPECT_EQ(1, fake.CallCount(kRollback));
  // The completion type is still checked.
  EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, 2));
  EXPECT_EQ("HY012", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Transact, TransactWithAnUnknownConnectionFallsBackToTheEnvironment) {
  ManualCommit(dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLTransact(env, DRV_HandleValue(0x00020031), SQL_COMMIT));
  EXPECT_EQ(1, fake.CallCount(kCommit));
}

}  // namespace
