// Native SQL through the JDBC driver, and a query timeout set before the
// statement exists reaching the Java statement, against HSQLDB.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-nativesql.h"
#include "exec_env.h"

using namespace jexec_test;

namespace {

class AgentNativeSql : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = Connect("nativesql");
    ASSERT_NE(conn_, 0u);
  }
  void TearDown() override {
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }
  uint32_t conn_ = 0;
};

TEST_F(AgentNativeSql, TranslatesAndCutsWithTheWholeLength) {
  const char* sql = "SELECT {fn UCASE('a')} FROM (VALUES(0))";
  char out[256];
  uint32_t len = 0;
  ASSERT_EQ(Ops().DRV_NativeSql(conn_, sql, out, sizeof out, &len), 0u)
      << ::testing::PrintToString(Errors(conn_));
  EXPECT_EQ(std::strlen(out), len);
  EXPECT_NE(std::string(out).find("UCASE"), std::string::npos) << out;
  EXPECT_EQ(std::string(out).find("{fn"), std::string::npos) << "escape resolved: " << out;
  const std::string whole = out;
  char small[8];
  uint32_t cutLen = 0;
  EXPECT_EQ(Ops().DRV_NativeSql(conn_, sql, small, sizeof small, &cutLen), ERR_TRUNCATED);
  EXPECT_EQ(whole.substr(0, 7), small);
  EXPECT_EQ(whole.size(), cutLen);
  // The length alone, without a buffer.
  cutLen = 0;
  EXPECT_EQ(Ops().DRV_NativeSql(conn_, sql, nullptr, 0, &cutLen), 0u);
  EXPECT_EQ(whole.size(), cutLen);
}

TEST_F(AgentNativeSql, RefusesWhatItDoesNotHold) {
  char out[16];
  uint32_t len = 9;
  EXPECT_EQ(Ops().DRV_NativeSql(0x12345678u, "x", out, sizeof out, &len), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(Ops().DRV_NativeSql(conn_, nullptr, out, sizeof out, &len), ERR_INVALID_ARGUMENT);
}

TEST_F(AgentNativeSql, QueryTimeoutSetBeforePrepareReachesTheJavaStatement) {
  Stmt s(conn_);
  uint32_t seconds = 17;
  ASSERT_EQ(Ops().DRV_SetOption(s.h(), OPT_QUERY_TIMEOUT, &seconds), 0u);
  ASSERT_EQ(s.Run("SELECT 1 FROM (VALUES(0))"), 0u) << ::testing::PrintToString(Errors(s.h()));
  ASSERT_NE(s.rec()->statement, nullptr);
  // With a Java statement in place the answer is Statement.getQueryTimeout.
  uint32_t got = 0;
  uint16_t len = 0;
  ASSERT_EQ(Ops().DRV_GetInfo(s.h(), OPT_QUERY_TIMEOUT, &got, sizeof got, &len), 0u);
  EXPECT_EQ(got, 17u);
}

}  // namespace
