// Classes and method IDs are looked up once: a connection, a prepared query
// and a parameter array done a second time ask the VM for no method ID and
// no class at all, nor does a plain statement run and freed again.
#include <gtest/gtest.h>

#include <string>

#include "drv_jdbc/j-methods.h"
#include "exec_env.h"

using namespace jexec_test;

namespace {

struct Work {
  const char* name;
  void (*run)();
};

void ConnectDisconnect() {
  const uint32_t c = Connect("methods");
  ASSERT_NE(c, 0u);
  EXPECT_EQ(Ops().DRV_Disconnect(c), 0u);
}

void QueryAndFetch() {
  const uint32_t c = Connect("methods");
  ASSERT_NE(c, 0u);
  {
    Stmt s(c);
    ASSERT_EQ(s.Run("SELECT k, v FROM methods_t WHERE k = 2"), 0u)
        << ::testing::PrintToString(Errors(s.h()));
    Rows r;
    ASSERT_EQ(Ops().DRV_Fetch(s.h(), 1, &r.set), 0u);
    EXPECT_EQ(r.set.rows_held, 1u);
    // A failure's diagnostic is read through the cache too.
    EXPECT_NE(s.Run("SELECT nothing FROM methods_t"), 0u);
  }
  Ops().DRV_Disconnect(c);
}

// A text without markers runs on a plain Statement, which has no
// clearParameters to look up when it is freed.
void PlainStatement() {
  const uint32_t c = Connect("methods");
  ASSERT_NE(c, 0u);
  {
    Stmt s(c);
    ASSERT_EQ(s.Run("VALUES (1)"), 0u) << ::testing::PrintToString(Errors(s.h()));
  }
  Ops().DRV_Disconnect(c);
}

TEST(MethodCache, WorkDoneAgainLooksNothingUp) {
  const uint32_t c = Connect("methods");
  ASSERT_NE(c, 0u);
  Exec(c, {"DROP TABLE methods_t IF EXISTS", "CREATE TABLE methods_t (k INTEGER, v VARCHAR(9))",
           "INSERT INTO methods_t VALUES (1, 'one'), (2, 'two')"});
  Ops().DRV_Disconnect(c);
  for (const Work& w : {Work{"connect and disconnect", ConnectDisconnect},
                        Work{"query, fetch and a failing query", QueryAndFetch},
                        Work{"a plain statement run and freed", PlainStatement}}) {
    w.run();
    const JM_Counts before = JM_GetCounts();
    w.run();
    const JM_Counts after = JM_GetCounts();
    EXPECT_EQ(before.methodLookups, after.methodLookups) << w.name;
    EXPECT_EQ(before.classLookups, after.classLookups) << w.name;
    // The counters do count: the work made its calls through the cache.
    EXPECT_GT(after.calls, before.calls) << w.name;
  }
}

}  // namespace
