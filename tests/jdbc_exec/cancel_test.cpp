// DRV_Cancel from a thread other than the one that runs the statement: it
// reaches the Java statement while statements are made, executed, closed
// and freed beside it, and never touches a reference that is gone (the
// tests run the VM with -Xcheck:jni, which aborts on a stale one).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "exec_env.h"

using namespace jexec_test;

namespace {

TEST(AgentCancel, RacesWithExecuteCloseAndFree) {
  const uint32_t conn = Connect("cancel");
  ASSERT_NE(conn, 0u);
  constexpr int kRounds = 200;
  std::atomic<uint32_t> current{0};
  std::atomic<bool> done{false};
  std::atomic<int> cancels{0}, odd{0};
  std::thread canceller([&] {
    while (!done) {
      const uint32_t h = current;
      if (h == 0) continue;
      const uint32_t rc = Ops().DRV_Cancel(h);
      if (rc != AGT_OK && rc != ERR_INVALID_ARGUMENT && rc != ERR_CANCEL_DECLINED) ++odd;
      ++cancels;
    }
  });
  int executed = 0;
  for (int i = 0; i < kRounds; ++i) {
    uint32_t h = 0;
    ASSERT_EQ(Ops().DRV_AllocStmt(conn, &h), 0u);
    current = h;
    const std::string sql = "VALUES (" + std::to_string(i) + ")";
    if (Ops().DRV_Prepare(h, sql.c_str()) == 0 && Ops().DRV_Execute(h) == 0) ++executed;
    Ops().DRV_CloseCursor(h);
    // Every other round a second Java statement replaces the first.
    if (i % 2 == 0) Ops().DRV_Prepare(h, "VALUES (0)");
    EXPECT_EQ(Ops().DRV_FreeStmt(h), 0u);
  }
  done = true;
  canceller.join();
  EXPECT_EQ(0, odd.load());
  EXPECT_GT(cancels.load(), 0);
  EXPECT_GT(executed, 0);
  // The handle of a freed statement is refused.
  EXPECT_EQ(Ops().DRV_Cancel(current), ERR_INVALID_ARGUMENT);
  Ops().DRV_Disconnect(conn);
}

}  // namespace
