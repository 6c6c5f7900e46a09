// Whether a connection's parameter text reaches the agent 8-bit: only a
// Unicode connect whose agent confirms that it took the wide connect text
// keeps wide values.
#include "conn/conn_fixture.h"
#include "drv_jdbc/agent_codes.h"

#include <sqlucode.h>

namespace conntest {
namespace {

SQLRETURN ConnectW(SQLHDBC dbc) {
  const char16_t in[] = u"DSN=Full";
  return SQLDriverConnectW(dbc, nullptr, (SQLWCHAR*)in, SQL_NTS, nullptr, 0, nullptr,
                           SQL_DRIVER_NOPROMPT);
}

TEST_F(ConnTest, AConfirmingAgentGetsWideText) {
  fake.SetInfo(INFO_WIDE_TEXT, 1);
  ASSERT_EQ(SQL_SUCCESS, ConnectW(dbc_));
  EXPECT_EQ(0u, Conn()->cn_narrowText);
}

TEST_F(ConnTest, AnAgentThatDeniesOrRefusesTheQuestionGetsEightBitText) {
  fake.SetInfo(INFO_WIDE_TEXT, 0);
  ASSERT_EQ(SQL_SUCCESS, ConnectW(dbc_));
  EXPECT_EQ(1u, Conn()->cn_narrowText);
  Disconnect();
  // Every information request fails from here on.
  fake.SetResult(0, 43);
  ASSERT_EQ(SQL_SUCCESS, ConnectW(dbc_));
  EXPECT_EQ(1u, Conn()->cn_narrowText);
}

// The Unicode build's 8-bit entry point opens a Unicode connection too, and
// every connect asks again.
TEST_F(ConnTest, AnEightBitConnectOfTheUnicodeBuildAsksAsWellAndEveryConnectDecidesAgain) {
  fake.SetInfo(INFO_WIDE_TEXT, 0);
  ASSERT_EQ(SQL_SUCCESS, ConnectW(dbc_));
  ASSERT_EQ(1u, Conn()->cn_narrowText);
  Disconnect();
  fake.SetInfo(INFO_WIDE_TEXT, 1);
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full"));
  EXPECT_EQ(0u, Conn()->cn_narrowText);
  Disconnect();
  fake.SetInfo(INFO_WIDE_TEXT, 0);
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full"));
  EXPECT_EQ(1u, Conn()->cn_narrowText);
}

}  // namespace
}  // namespace conntest
