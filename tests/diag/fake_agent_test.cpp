// The fake agent that later tests drive the core with.
#include <gtest/gtest.h>

#include <thread>

#include "drv_jdbc/agent_codes.h"
#include "support/fake_agent.h"

namespace {

using qmrtest::FakeAgent;

TEST(FakeAgent, RecordsCallsAndAnswersScript) {
  FakeAgent fake;
  DRV_Agent a{0, nullptr};
  fake.Register(&a);
  EXPECT_EQ(2u, a.agentType);
  uint32_t env = 0, conn = 0, stmt = 0;
  ASSERT_EQ(0u, a.ops->DRV_Init(nullptr, &env));
  ASSERT_EQ(0u, a.ops->DRV_Connect(env, nullptr, &conn));
  ASSERT_EQ(0u, a.ops->DRV_AllocStmt(conn, &stmt));
  EXPECT_EQ(FakeAgent::kEnvBase + 1, env);
  EXPECT_EQ(FakeAgent::kStmtBase + 1, stmt);
  fake.PushResult(11, 68);
  EXPECT_EQ(ERR_SYNTAX_OR_ACCESS, a.ops->DRV_Prepare(stmt, "selec 1"));
  EXPECT_EQ(0u, a.ops->DRV_Prepare(stmt, "select 1"));
  fake.SetResult(13, 43);
  EXPECT_EQ(ERR_NOT_CAPABLE, a.ops->DRV_Execute(stmt));
  EXPECT_EQ(ERR_NOT_CAPABLE, a.ops->DRV_Execute(stmt));
  EXPECT_EQ(-3, [&] {
    fake.SetResult(64, -3);
    return a.ops->DRV_XaStart(conn, nullptr, 1, 0);
  }());
  auto calls = fake.Calls();
  ASSERT_EQ(8u, calls.size());
  EXPECT_EQ(3, calls[0].slot);
  EXPECT_EQ(11, calls[3].slot);
  EXPECT_EQ(stmt, calls[3].handle);
  EXPECT_EQ(2, fake.CallCount(13));
  fake.SetNull(40);
  EXPECT_EQ(nullptr, a.ops->DRV_GetData);
}

TEST(FakeAgent, ServesErrorsAndInfo) {
  FakeAgent fake;
  fake.PostError(7, {"Table not found ", "42S02", -206, false});
  fake.PostError(7, {"General error", "S1000", 0, true});
  DRV_ErrorBatch b{};
  ASSERT_EQ(0u, fake.table()->DRV_GetError(7, &b));
  ASSERT_EQ(2u, b.list.count);
  EXPECT_EQ(static_cast<uint32_t>(-206), b.list.native);
  EXPECT_STREQ("[Velkaro]Table not found [SQLSTATE:42S02]", b.list.texts[0]);
  EXPECT_EQ(1, b.ownState[1]);
  DRV_FreeErrorBatch(&b);
  ASSERT_EQ(0u, fake.table()->DRV_GetError(7, &b));
  EXPECT_EQ(0u, b.list.count);
  fake.SetInfo(INFO_CAPABILITY_MASK, 0x349F);
  uint32_t v = 0;
  uint16_t len = 0;
  ASSERT_EQ(0u, fake.table()->DRV_GetInfo(1, INFO_CAPABILITY_MASK, &v, sizeof v, &len));
  EXPECT_EQ(0x349Fu, v);
  EXPECT_EQ(4, len);
}

TEST(FakeAgent, BlockedSlotHoldsTheCallerUntilReleased) {
  FakeAgent fake;
  fake.Block(13);
  std::atomic<bool> done{false};
  std::thread t([&] {
    fake.table()->DRV_Execute(5);
    done = true;
  });
  ASSERT_TRUE(fake.WaitEntered(13, std::chrono::seconds(5)));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(done.load());
  // Other slots are not held meanwhile.
  EXPECT_EQ(0u, fake.table()->DRV_Fetch(5, 1, nullptr));
  fake.Release(13);
  t.join();
  EXPECT_TRUE(done.load());
}

}  // namespace
