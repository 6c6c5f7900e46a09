// Environments: version after each kind of allocation, attributes, release.
#include <gtest/gtest.h>

#include "core_fixture.h"
#include "driver/env.h"

namespace {

using qmrtest::CoreTest;

class Env : public CoreTest {
 protected:
  SQLINTEGER Get(SQLHENV env, SQLINTEGER attribute) {
    SQLINTEGER v = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetEnvAttr(env, attribute, &v, 0, nullptr));
    return v;
  }
};

TEST_F(Env, VersionFollowsTheAllocationCall) {
  SQLHENV v2 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&v2));
  EXPECT_EQ(2, Get(v2, SQL_ATTR_ODBC_VERSION));
  SQLHENV v3 = NewEnv();
  EXPECT_EQ(3, Get(v3, SQL_ATTR_ODBC_VERSION));
  // The version decides the SQLSTATE form of the diagnostics.
  SQLHDBC d2 = NewConn(v2), d3 = NewConn(v3);
  SQLHSTMT stmt = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, d2, &stmt));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, d2));
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DBC, v2, nullptr));
  EXPECT_EQ("S1009", State(SQL_HANDLE_ENV, v2));
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DBC, v3, nullptr));
  EXPECT_EQ("HY009", State(SQL_HANDLE_ENV, v3));
  (void)d3;
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(v2));
}

TEST_F(Env, AttributesKeepOnlyAcceptedValues) {
  SQLHENV env = NewEnv();
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)2, 0));
  EXPECT_EQ(2, Get(env, SQL_ATTR_ODBC_VERSION));
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)4, 0));
  EXPECT_EQ(2, Get(env, SQL_ATTR_ODBC_VERSION));

  EXPECT_EQ(0, Get(env, SQL_ATTR_CONNECTION_POOLING));
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_CONNECTION_POOLING, (SQLPOINTER)2, 0));
  EXPECT_EQ(2, Get(env, SQL_ATTR_CONNECTION_POOLING));
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_CONNECTION_POOLING, (SQLPOINTER)3, 0));
  EXPECT_EQ(2, Get(env, SQL_ATTR_CONNECTION_POOLING));

  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_CP_MATCH, (SQLPOINTER)1, 0));
  EXPECT_EQ(1, Get(env, SQL_ATTR_CP_MATCH));
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_CP_MATCH, (SQLPOINTER)2, 0));
  EXPECT_EQ(1, Get(env, SQL_ATTR_CP_MATCH));

  EXPECT_EQ(1, Get(env, SQL_ATTR_OUTPUT_NTS));
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, (SQLPOINTER)0, 0));
  EXPECT_EQ(0, Get(env, SQL_ATTR_OUTPUT_NTS));
  // Only the low 32 bits count.
  EXPECT_EQ(SQL_SUCCESS,
            SQLSetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, (SQLPOINTER)((uintptr_t{1} << 32) | 1), 0));
  EXPECT_EQ(1, Get(env, SQL_ATTR_OUTPUT_NTS));

  EXPECT_EQ(2, Get(env, 1056));
  SQLINTEGER untouched = 99;
  EXPECT_EQ(SQL_SUCCESS, SQLGetEnvAttr(env, 4711, &untouched, 0, nullptr));
  EXPECT_EQ(99, untouched);
  EXPECT_EQ(SQL_SUCCESS, SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, nullptr, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, 4711, (SQLPOINTER)1, 0));
}

TEST_F(Env, ListAndCountersFollowAllocation) {
  const uint32_t before = ENV_Counter();
  SQLHENV a = NewEnv(), b = NewEnv();
  EXPECT_EQ(before + 2, ENV_Counter());
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    EnvHandle* first = ENV_First();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(DRV_HandleNumber(b), first->handle);  // newest first
    ASSERT_NE(nullptr, first->next);
    EXPECT_EQ(DRV_HandleNumber(a), first->next->handle);
    EXPECT_EQ(before + 2, first->serial);
  }
  SQLHDBC c1 = NewConn(a), c2 = NewConn(a);
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    EXPECT_EQ(2u, DRV_LookupConn(DRV_HandleNumber(c2))->serial);
    EXPECT_EQ(1u, DRV_LookupConn(DRV_HandleNumber(c1))->serial);
  }
  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, a));
  // Freeing the environment freed its connections.
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, c1));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, c2));
  // Slot 0 comes back first.
  SQLHENV again = NewEnv();
  EXPECT_EQ(DRV_HandleNumber(a), DRV_HandleNumber(again));
}

TEST_F(Env, FreeingAnEnvironmentDisconnectsItsConnections) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewConn(env);
  MarkConnected(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  ASSERT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
  EXPECT_EQ(1, fake.CallCount(8));  // the agent statement
  EXPECT_EQ(1, fake.CallCount(6));  // disconnect
  EXPECT_EQ(1, fake.CallCount(4));  // term
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(stmt, SQL_CLOSE));
}

TEST_F(Env, NullOutputPointerIsRefusedNotWrittenThrough) {
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLAllocEnv(nullptr));
}

}  // namespace
