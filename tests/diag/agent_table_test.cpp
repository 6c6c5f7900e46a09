// The agent's operation table, registration, handle check and error lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "driver/diag.h"
#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "proxy/proxy.h"
#include "proxy/register.h"
#include "scrs/scrinit.h"

// The layers' installers, standing in for the cursor library and the
// worker-thread proxy: each records its turn and puts a marker table in front.
namespace {
std::vector<std::string> g_layers;
DRV_OpTable g_scrTable;
DRV_OpTable g_prxTable;
}  // namespace

int SCR_Init(DRV_Agent* agent) {
  g_layers.push_back("SCR");
  g_scrTable = *agent->ops;
  agent->ops = &g_scrTable;
  return 0;
}
int PRX_Init(DRV_Agent* agent) {
  g_layers.push_back(agent->ops == &g_scrTable ? "PRX after SCR" : "PRX");
  g_prxTable = *agent->ops;
  agent->ops = &g_prxTable;
  return 0;
}

namespace {

TEST(AgentErrorTable, StateSearchFindsLowestIndex) {
  EXPECT_EQ(10u, errCodeForState("42S02"));
  EXPECT_EQ(15u, errCodeForState("HY000"));  // not in the table
  EXPECT_EQ(15u, errCodeForState("S1000"));  // 15 before 162
  EXPECT_EQ(19u, errCodeForState("01004"));  // 19 before 109
  EXPECT_EQ(71u, errCodeForState("42000"));  // 71 before 165
  EXPECT_EQ(184u, errCodeForState("IM501"));
  EXPECT_EQ(186u, errCodeForState("IM935"));
  EXPECT_EQ(187u, errCodeForState("IM940"));
}

struct List {
  ErrorList l{};
  ~List() { errClear(&l); }
  int Count() const {
    int n = 0;
    for (AgentError* r = l.head; r != nullptr; r = r->next) ++n;
    return n;
  }
};

TEST(AgentErrorList, PostingClearsUnlessKept) {
  List a;
  errPostIndex(&a.l, 10);
  errPostIndex(&a.l, 22);
  ASSERT_EQ(1, a.Count());
  EXPECT_STREQ("S1010", a.l.head->state);
  a.l.keep = 1;
  errPostMsg(&a.l, "custom text", 43);
  ASSERT_EQ(2, a.Count());
  EXPECT_STREQ("S1010", a.l.head->state);  // oldest first
  EXPECT_STREQ("custom text", a.l.head->next->message);
  EXPECT_STREQ("S1C00", a.l.head->next->state);
  errPostIndex(nullptr, 15);  // ignored
  errAppend(&a.l, nullptr);
  EXPECT_EQ(2, a.Count());
}

TEST(AgentErrorList, PostStateDerivesCodeAndCleansMessage) {
  List a;
  uint32_t rc = 0;
  char m1[] = "tab\there\nline\x80\xff end";
  errPostState(&rc, "42S02", m1, -206, &a.l);
  EXPECT_EQ(ERR_TABLE_NOT_FOUND, rc);
  EXPECT_STREQ("tab here line\x80\xff end", a.l.head->message);
  EXPECT_EQ(-206, a.l.head->native);
  EXPECT_EQ(0, a.l.head->ownState);
  rc = 0;
  char m2[] = "x";
  errPostState(&rc, "HY000", m2, 0, &a.l);
  EXPECT_EQ(ERR_GENERAL, rc);
  rc = 0;
  errPostState(&rc, "", m2, 0, &a.l);
  EXPECT_EQ(ERR_GENERAL, rc);
  EXPECT_STREQ("S1000", a.l.head->state);
  rc = 16;
  errPostState(&rc, "42S02", m2, 0, &a.l);
  EXPECT_EQ(ERR_NO_MEMORY, rc);
  EXPECT_EQ(1, a.Count());
}

TEST(AgentErrorList, LongMessagesAreCut) {
  std::string big(5000, 'q');
  AgentError* r = errNewRec(big.c_str(), 0, "S1000");
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(static_cast<size_t>(AGT_MESSAGE_MAX), std::strlen(r->message));
  ErrorList l{};
  errAppend(&l, r);
  errClear(&l);
  EXPECT_EQ(nullptr, l.head);
}

class AgentHandles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, AGT_InitTables());
    ASSERT_EQ(0, HT_Alloc(&gAgentEnvTable, &envH, &env));
    ASSERT_EQ(0, HT_Alloc(&gAgentConnTable, &connH, &conn));
    stmt.conn = &conn;
    ASSERT_EQ(0, HT_Alloc(&gAgentStmtTable, &stmtH, &stmt));
  }
  void TearDown() override {
    errClear(&env.errors);
    errClear(&conn.errors);
    errClear(&stmt.errors);
    AGT_DoneTables();
  }
  JdbcEnv env;
  JdbcConn conn;
  JdbcStmt stmt;
  uint32_t envH = 0, connH = 0, stmtH = 0;
};

TEST_F(AgentHandles, GetErrorHandsOverInOrderAndClears) {
  errPostIndex(&stmt.errors, 22);
  stmt.errors.keep = 1;
  uint32_t rc = 0;
  char m[] = "Table not found ";
  errPostState(&rc, "42S02", m, 77, &stmt.errors);
  DRV_ErrorBatch b{};
  ASSERT_EQ(0u, DRV_GetError(stmtH, &b));
  ASSERT_EQ(2u, b.list.count);
  EXPECT_EQ(0u, b.list.native);  // the first record's
  EXPECT_STREQ("[Velkaro]Function sequence error[SQLSTATE:S1010]", b.list.texts[0]);
  EXPECT_STREQ("[Velkaro]Table not found [SQLSTATE:42S02]", b.list.texts[1]);
  EXPECT_EQ(1, b.ownState[0]);
  EXPECT_EQ(0, b.ownState[1]);
  DRV_FreeErrorBatch(&b);
  ASSERT_EQ(0u, DRV_GetError(stmtH, &b));
  EXPECT_EQ(0u, b.list.count);
  EXPECT_EQ(nullptr, b.list.texts);
}

TEST_F(AgentHandles, GetErrorOnEveryKindAndUnknownHandles) {
  errPostIndex(&conn.errors, 52);
  errPostIndex(&env.errors, 50);
  DRV_ErrorBatch b{};
  ASSERT_EQ(0u, DRV_GetError(connH, &b));
  ASSERT_EQ(1u, b.list.count);
  EXPECT_STREQ("[Velkaro]Connection not open[SQLSTATE:08003]", b.list.texts[0]);
  DRV_FreeErrorBatch(&b);
  ASSERT_EQ(0u, DRV_GetError(envH, &b));
  ASSERT_EQ(1u, b.list.count);
  DRV_FreeErrorBatch(&b);
  EXPECT_EQ(ERR_INVALID_ARGUMENT, DRV_GetError(0x12345678u, &b));
  EXPECT_EQ(ERR_INVALID_ARGUMENT, DRV_GetError(stmtH, nullptr));
}

TEST_F(AgentHandles, WrongKindOrFreedHandleGives21) {
  const DRV_OpTable& t = DRV_JdbcOpTable;
  // A statement handle given to a connection slot, and the other way round.
  EXPECT_EQ(ERR_INVALID_ARGUMENT, t.DRV_Commit(stmtH));
  EXPECT_EQ(ERR_INVALID_ARGUMENT, t.DRV_Execute(connH));
  EXPECT_EQ(ERR_INVALID_ARGUMENT, t.DRV_Term(connH));
  EXPECT_EQ(ERR_NOT_CAPABLE, t.DRV_UnusedStmtOp(stmtH));  // held: the unused slot is not capable
  HT_Free(&gAgentStmtTable, stmtH);
  for (uint32_t rc : {t.DRV_Execute(stmtH), t.DRV_Prepare(stmtH, "select 1"), t.DRV_FreeStmt(stmtH),
                      t.DRV_Cancel(stmtH), t.DRV_UnusedStmtOp(stmtH), t.DRV_CloseCursor(stmtH)})
    EXPECT_EQ(ERR_INVALID_ARGUMENT, rc);
  EXPECT_EQ(-5, t.DRV_XaStart(stmtH, nullptr, 0, 0));
  // Nothing was posted by the failed checks.
  EXPECT_EQ(nullptr, conn.errors.head);
  EXPECT_EQ(nullptr, env.errors.head);
}

TEST(AgentOpTable, NullSlotsAreExactlyTheLayersOnes) {
  const int nulls[] = {36, 37, 38, 39, 40, 41, 42, 44, 45, 46, 47, 48, 49, 50, 52, 54, 65};
  for (int slot = 0; slot < DRV_OP_SLOTS; ++slot) {
    bool shouldBeNull = std::find(std::begin(nulls), std::end(nulls), slot) != std::end(nulls);
    EXPECT_EQ(shouldBeNull, DRV_Slot(&DRV_JdbcOpTable, slot) == nullptr) << slot;
  }
  EXPECT_EQ(reinterpret_cast<void*>(DRV_JdbcOpTable.DRV_GetError), DRV_Slot(&DRV_JdbcOpTable, 2));
  EXPECT_EQ(reinterpret_cast<void*>(DRV_JdbcOpTable.DRV_XaStart), DRV_Slot(&DRV_JdbcOpTable, 64));
  EXPECT_EQ(nullptr, DRV_Slot(&DRV_JdbcOpTable, 66));
}

TEST(AgentOpTable, RegisterSetsTypeThenLayersInOrder) {
  g_layers.clear();
  DRV_Agent a{0, nullptr};
  EXPECT_EQ(0, DRV_RegisterAgent(&a));
  EXPECT_EQ(2u, a.agentType);
  EXPECT_EQ(&g_prxTable, a.ops);
  ASSERT_EQ(2u, g_layers.size());
  EXPECT_EQ("SCR", g_layers[0]);
  EXPECT_EQ("PRX after SCR", g_layers[1]);
  // The layers copied the agent's own table.
  EXPECT_EQ(DRV_JdbcOpTable.DRV_GetError, a.ops->DRV_GetError);
}

}  // namespace
