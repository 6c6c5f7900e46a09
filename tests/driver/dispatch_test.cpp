// The dispatcher: refusal before initialisation, handle checks, descriptor
// kinds, the busy mark, the trace of calls and the failover notice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_fixture.h"
#include "driver/calldescs.h"
#include "driver/trace.h"
#include "driver/transact.h"

namespace {

using qmrtest::CoreTest;

int gOpRuns = 0;
DRV_Return countingOp(void*, va_list) {
  ++gOpRuns;
  return SQL_SUCCESS;
}
DRV_Return needDataOp(void*, va_list) { return SQL_NEED_DATA; }
DRV_Return oddOp(void*, va_list) { return 5; }

// Reads the argument the way operations do, to see what the wrapper passed.
int gSeenInt = 0;
DRV_Return intArgOp(void*, va_list args) {
  gSeenInt = va_arg(args, int);
  return SQL_SUCCESS;
}

const CallDesc kNoHandle = {"TestNoHandle", "", 0, 0, kCallNoHandle, countingOp};
const CallDesc kBadKind = {"TestBadKind", "", 0, 0, 9, countingOp};
const CallDesc kEnvCount = {"TestEnv", "", 0, 1, kCallEnv, countingOp};
const CallDesc kEnvNeedData = {"TestNeedData", "", 0, 1, kCallEnv, needDataOp};
const CallDesc kEnvOdd = {"TestOdd", "", 0, 1, kCallEnv, oddOp};
const CallDesc kEnvArgs = {"TestArgs", "value=%d", 0, 1, kCallEnv, intArgOp};
const CallDesc kConnCount = {"TestConn", "", 0, 1, kCallConn, countingOp};

TEST(DispatchLifecycle, CallsAreRefusedBeforeInitialisationAndAfterShutdown) {
  // Whatever ran before in this process, after DRV_DoneCalls the dispatcher
  // is in the state it has before DRV_InitCalls.
  DRV_DoneCalls();
  ASSERT_FALSE(DRV_CallsReady());
  gOpRuns = 0;
  EXPECT_EQ(SQL_ERROR, CallODBC(&kNoHandle));
  EXPECT_EQ(0, gOpRuns);
  SQLHENV env = nullptr;
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));
  EXPECT_EQ(nullptr, env);

  ASSERT_EQ(0, DRV_InitCalls());
  ASSERT_EQ(0, DRV_InitCalls());  // a second initialisation changes nothing
  EXPECT_EQ(SQL_SUCCESS, CallODBC(&kNoHandle));
  EXPECT_EQ(1, gOpRuns);
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));

  DRV_DoneCalls();  // frees the environment that is left
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_ENV, env));
  EXPECT_EQ(SQL_ERROR, CallODBC(&kNoHandle));
  EXPECT_EQ(1, gOpRuns);
}

class Dispatch : public CoreTest {};

TEST_F(Dispatch, FirstHandlesOfEachTableAreSlotZero) {
  SQLHENV env = NewEnv();
  EXPECT_EQ(0x00010000u, DRV_HandleNumber(env));
  SQLHDBC dbc = NewConn(env);
  EXPECT_EQ(0x00020000u, DRV_HandleNumber(dbc));
  MarkConnected(dbc);
  SQLHSTMT stmt = NewStmt(dbc);
  EXPECT_EQ(0x00030000u, DRV_HandleNumber(stmt));
  // The statement's four implicit descriptors took the first descriptor slots.
  StmtHandle* s = Stmt(stmt);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(0x00040000u, s->implicitArd->handle);
  EXPECT_EQ(0x00040003u, s->ipd->handle);
}

TEST_F(Dispatch, StaleForeignAndWrongKindHandlesAreInvalid) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewConn(env);
  // Wrong kind: an environment number where a connection is expected, and back.
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLDisconnect(env));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_ENV, dbc));
  // Foreign: a number no table issued, and one with bits above 32 set.
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, DRV_HandleValue(0x00020007)));
  void* high = reinterpret_cast<void*>(uintptr_t{1} << 32 | DRV_HandleNumber(dbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, high));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, nullptr));
  // Stale: freed, then used again.
  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLDisconnect(dbc));
  // Handle types outside 1..4.
  SQLHANDLE out = nullptr;
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocHandle(5, env, &out));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(5, env));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetDiagRec(0, env, 1, nullptr, nullptr, nullptr, 0, nullptr));
}

TEST_F(Dispatch, UnknownHandleKindIsAnError) {
  gOpRuns = 0;
  EXPECT_EQ(SQL_ERROR, CallODBC(&kBadKind, nullptr));
  EXPECT_EQ(0, gOpRuns);
}

TEST_F(Dispatch, FlagBClearsDiagnosticsButDiagnosticReadersDoNot) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewConn(env);
  // Disconnect of an unconnected connection leaves 08003.
  EXPECT_EQ(SQL_ERROR, SQLDisconnect(dbc));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));  // reading does not consume
  // Any call with flag B clears it.
  EXPECT_EQ(SQL_SUCCESS, CallODBC(&kConnCount, dbc));
  EXPECT_EQ("", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Dispatch, ArgumentsReachTheOperationAfterTheHandle) {
  SQLHENV env = NewEnv();
  gSeenInt = 0;
  EXPECT_EQ(SQL_SUCCESS, CallODBC(&kEnvArgs, env, 4242));
  EXPECT_EQ(4242, gSeenInt);
  gOpRuns = 0;
  EXPECT_EQ(SQL_INVALID_HANDLE, CallODBC(&kEnvCount, DRV_HandleValue(0x00010009)));
  EXPECT_EQ(0, gOpRuns);
}

TEST_F(Dispatch, RefusedCallStoresItsCodeWithoutRunningTheOperation) {
  SQLHENV env = NewEnv();
  gOpRuns = 0;
  EXPECT_EQ(SQL_ERROR, CallODBCRefuse(&kEnvCount, 25, env));
  EXPECT_EQ(0, gOpRuns);
  EXPECT_EQ("HY090", State(SQL_HANDLE_ENV, env));
  EXPECT_EQ(SQL_INVALID_HANDLE, CallODBCRefuse(&kEnvCount, 25, DRV_HandleValue(0x0001FFFF)));
}

TEST_F(Dispatch, TraceShowsCallsArgumentsAndReturnNames) {
  qmrtest::TraceCapture trace;
  ASSERT_TRUE(TRC_Active());

  SQLHENV env = NewEnv();
  CallODBC(&kEnvArgs, env, 77);
  CallODBC(&kEnvNeedData, env);
  CallODBC(&kEnvOdd, env);
  // An invalid handle is traced with its arguments too.
  SQLINTEGER value = 0;
  SQLGetEnvAttr(DRV_HandleValue(0x00010005), SQL_ATTR_ODBC_VERSION, &value, 0, nullptr);

  const std::string t = trace.Text();
  EXPECT_NE(std::string::npos, t.find("SQLAllocHandle"));
  EXPECT_NE(std::string::npos, t.find("handleType=1"));
  EXPECT_NE(std::string::npos, t.find("SQLTestArgs hEnv=00010000\nvalue=77\n"));
  EXPECT_NE(std::string::npos, t.find("SQLTestNeedData: returning SQL_NEED_DATA"));
  EXPECT_NE(std::string::npos, t.find("SQLTestOdd: returning SQL_UNKNOWN_ERROR"));
  EXPECT_NE(std::string::npos, t.find("SQLGetEnvAttr hEnv=00010005\nAttribute=200 "));
  EXPECT_NE(std::string::npos, t.find("SQLGetEnvAttr: returning SQL_INVALID_HANDLE"));
  // Each call starts with an empty line.
  EXPECT_NE(std::string::npos, t.find("\n\n["));
}

TEST(DispatchNames, ReturnCodeNames) {
  EXPECT_STREQ("INVALID_HANDLE", DRV_ReturnName(-2));
  EXPECT_STREQ("NO_DATA_FOUND", DRV_ReturnName(100));
  EXPECT_STREQ("NEED_DATA", DRV_ReturnName(99));
  EXPECT_STREQ("STILL_EXECUTING", DRV_ReturnName(2));
  EXPECT_STREQ("UNKNOWN_ERROR", DRV_ReturnName(5));
}

TEST(CallDescriptors, VocabularyIsConsistent) {
  for (size_t i = 0; i < DRV_CallDescCount; ++i) {
    const CallDesc* d = DRV_CallDescs[i];
    ASSERT_NE(nullptr, d->op) << d->name;
    EXPECT_GE(d->kind, kCallNoHandle) << d->name;
    EXPECT_LE(d->kind, kCallDesc) << d->name;
    const std::string name = d->name;
    // Only the diagnostic readers and the environment allocation keep what
    // they would otherwise clear.
    const bool keeps = name.rfind("Error", 0) == 0 || name.rfind("GetDiag", 0) == 0 ||
                       (name == "AllocHandle" && d->kind == kCallNoHandle);
    EXPECT_EQ(keeps ? 0u : 1u, d->flagB) << name;
    // No 32-bit value is printed with a long conversion: the formats follow
    // the promoted types (longs only for SQLLEN/SQLULEN arguments).
    EXPECT_EQ(std::string::npos, std::string(d->argFormat).find("%lX")) << name;
    // A wide entry point, once its wrapper has converted the text, runs
    // exactly as its 8-bit form: the same operation, handle and trace.
    if (name.back() != 'W') continue;
    bool twin = false;
    for (size_t j = 0; j < DRV_CallDescCount; ++j) {
      const CallDesc* n = DRV_CallDescs[j];
      twin = twin || (name == std::string(n->name) + "W" && n->op == d->op && n->kind == d->kind &&
                      std::string(n->argFormat) == d->argFormat);
    }
    EXPECT_TRUE(twin) << name << " has no 8-bit form that dispatches alike";
  }
}

// Failover: a failed call whose diagnostics say the agent failed over calls
// the connection's callback.
uint32_t gEvent = 0;
void* gContext = nullptr;
void failoverCallback(uint32_t event, void* context, uintptr_t) {
  gEvent = event;
  gContext = context;
}

int32_t gPendingToSet = 0;
DRV_Return failingConnOp(void* h, va_list) {
  static_cast<ConnHandle*>(h)->diag.pending = gPendingToSet;
  return SQL_ERROR;
}
const CallDesc kConnFail = {"TestConnFail", "", 0, 1, kCallConn, failingConnOp};
const CallDesc kConnFailKeep = {"TestConnFailKeep", "", 0, 0, kCallConn, failingConnOp};

TEST_F(Dispatch, FailoverNoticeCallsTheCallback) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewConn(env);
  ConnHandle* c = MarkConnected(dbc);
  ASSERT_NE(nullptr, c);
  int context = 0;
  c->failoverCallback = failoverCallback;
  c->failoverContext = &context;

  gEvent = 0;
  gPendingToSet = 183;  // failover completed: the call becomes a warning
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, CallODBC(&kConnFail, dbc));
  EXPECT_EQ(16u, gEvent);
  EXPECT_EQ(&context, gContext);

  gEvent = 0;
  gPendingToSet = 184;
  EXPECT_EQ(SQL_ERROR, CallODBC(&kConnFail, dbc));
  EXPECT_EQ(17u, gEvent);

  gEvent = 0;
  gPendingToSet = 15;
  EXPECT_EQ(SQL_ERROR, CallODBC(&kConnFail, dbc));
  EXPECT_EQ(0u, gEvent);

  // Descriptors with flag B 0 never offer their result.
  gPendingToSet = 183;
  EXPECT_EQ(SQL_ERROR, CallODBC(&kConnFailKeep, dbc));
  EXPECT_EQ(0u, gEvent);
}

TEST(FailoverSearch, FindsTheFirstFailoverText) {
  ErrRec second{nullptr, const_cast<char*>("[Velkaro]Failover aborted. now"), 0, 0, 0};
  ErrRec first{&second, const_cast<char*>("[Velkaro]first"), 0, 0, 0};
  EXPECT_EQ(ERR_FAILOVER_ABORTED, ERR_FindFailover(&first));
  ErrRec done{nullptr, const_cast<char*>("x Failover completed. y"), 0, 0, 0};
  EXPECT_EQ(ERR_FAILOVER_DONE, ERR_FindFailover(&done));
  EXPECT_EQ(0, ERR_FindFailover(nullptr));
}

std::vector<const char*> gTexts;
DRV_Return postingConnOp(void* h, va_list) {
  for (const char* t : gTexts) DIAG_Add(&static_cast<ConnHandle*>(h)->diag, t, 0);
  return SQL_ERROR;
}
const CallDesc kConnPost = {"TestConnPost", "", 0, 1, kCallConn, postingConnOp};

TEST_F(Dispatch, FailoverTextInTheListNeedsTwoRecords) {
  SQLHENV env = NewEnv();
  SQLHDBC dbc = NewConn(env);
  ConnHandle* c = MarkConnected(dbc);
  c->failoverCallback = failoverCallback;
  gEvent = 0;
  gTexts = {"[Velkaro]Failover completed.[SQLSTATE:IM500]"};
  EXPECT_EQ(SQL_ERROR, CallODBC(&kConnPost, dbc));
  EXPECT_EQ(0u, gEvent);
  gTexts = {"[Velkaro]Connection reset[SQLSTATE:08S01]",
            "[Velkaro]Failover completed.[SQLSTATE:IM500]"};
  EXPECT_EQ(SQL_ERROR, CallODBC(&kConnPost, dbc));
  EXPECT_EQ(16u, gEvent);
}

}  // namespace
