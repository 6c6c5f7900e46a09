// Shared set-up of the driver-core tests: the dispatcher initialised, the
// fake agent standing behind connections that the tests mark as connected.
#ifndef QMR_TESTS_DRIVER_CORE_FIXTURE_H
#define QMR_TESTS_DRIVER_CORE_FIXTURE_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/api.h"
#include "driver/dispatch.h"
#include "driver/trace.h"
#include "support/fake_agent.h"

namespace qmrtest {

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(0, DRV_InitCalls()); }
  void TearDown() override { DRV_DoneCalls(); }

  SQLHENV NewEnv() {
    SQLHENV env = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    return env;
  }
  SQLHDBC NewConn(SQLHENV env) {
    SQLHDBC dbc = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    return dbc;
  }
  // What a successful connect leaves behind, without the connect path: the
  // fake agent in the record and the two agent handles.
  ConnHandle* MarkConnected(SQLHDBC dbc) {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    ConnHandle* c = DRV_LookupConn(DRV_HandleNumber(dbc));
    if (c == nullptr) return nullptr;
    fake.Register(&c->agent);
    DRV_NoteConnFlag(&c->agent);  // as the connect does: type 2 needs no serialising lock
    c->agentEnv = fake.NextHandle(FakeAgent::kEnvBase);
    c->agentConn = fake.NextHandle(FakeAgent::kConnBase);
    c->state = kConnConnected;
    return c;
  }
  // An ODBC 3 application's environment and a connection on it marked
  // connected; nullptr (and a failed test) when the version is refused.
  ConnHandle* NewOdbc3Conn(SQLHENV* env, SQLHDBC* dbc) {
    *env = NewEnv();
    const SQLRETURN rc =
        SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    EXPECT_EQ(SQL_SUCCESS, rc);
    if (rc != SQL_SUCCESS) return nullptr;
    *dbc = NewConn(*env);
    return MarkConnected(*dbc);
  }
  SQLHSTMT NewStmt(SQLHDBC dbc) {
    SQLHSTMT stmt = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    return stmt;
  }
  StmtHandle* Stmt(SQLHSTMT h) {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    return DRV_LookupStmt(DRV_HandleNumber(h));
  }
  // SQLSTATE of a diagnostic record, "" when there is none.
  static std::string State(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1) {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR msg[512];
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, rec, state, &native, msg, sizeof msg, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return "";
    return reinterpret_cast<char*>(state);
  }
  static std::string Message(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1) {
    SQLCHAR state[6] = "";
    SQLINTEGER native = 0;
    SQLCHAR msg[512] = "";
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRec(type, h, rec, state, &native, msg, sizeof msg, &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return "";
    return reinterpret_cast<char*>(msg);
  }

  FakeAgent fake;
};

// A core test with an environment and one connection on it, not connected.
class EnvDbcTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    env = NewEnv();
    dbc = NewConn(env);
  }
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
};

// The ODBC call trace written into a private temporary file for the life
// of the object; Text() closes the trace and answers what it holds.
class TraceCapture {
 public:
  TraceCapture() {
    const int fd = mkstemp(path_);
    if (fd < 0) return;
    close(fd);
    setenv("QMR_DEBUGFILE", path_, 1);
    TRC_Open(TRC_MODE_ODBC);
    unsetenv("QMR_DEBUGFILE");
  }
  ~TraceCapture() {
    if (TRC_Active()) TRC_Close(TRC_MODE_ODBC);
    std::remove(path_);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::string Text() {
    if (TRC_Active()) TRC_Close(TRC_MODE_ODBC);
    std::ifstream in(path_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

 private:
  char path_[32] = "/tmp/qmr-core-traceXXXXXX";
};

}  // namespace qmrtest

#endif
