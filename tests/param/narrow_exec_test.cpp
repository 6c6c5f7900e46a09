// A Unicode connection whose agent did not confirm wide text: the values and
// descriptions of an execution reach the agent 8-bit, whichever way the
// execution hands them over. A connection that confirmed keeps them wide.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "param/param_fixture.h"

namespace qmrtest {
namespace {

class NarrowExecTest : public ParamTest {
 protected:
  // Binds a wide value and a number, executes, and checks that a value set
  // arrived.
  void Run() {
    script->markerTypes = {SQL_WVARCHAR, SQL_INTEGER};
    ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?, ?)", 2));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 10,
                                            0, text, sizeof text, &nts));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                            &number, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, Exec()) << State(SQL_HANDLE_STMT, stmt);
    ASSERT_NE(nullptr, script->lastSet);
  }

  // Three characters whose UTF-8 form (2 + 3 + 1 bytes) is longer than the
  // six bytes they take in UTF-16.
  char16_t text[4] = u"\u00e9\u20ac!";
  SQLLEN nts = SQL_NTS;
  SQLINTEGER number = 42;
};

TEST_F(NarrowExecTest, OneCallExecuteGetsEightBitValuesAndDescriptions) {
  conn->cn_narrowText = 1;
  Run();
  EXPECT_EQ(COLSET_VT_CHAR32, Col(0).type);
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC!", Prefixed(0, 0));
  EXPECT_EQ(42, Fixed<int32_t>(1, 0));
  ASSERT_EQ(2u, script->binds.size());
  EXPECT_EQ(SQL_VARCHAR, script->binds[0].sqlType);
  EXPECT_EQ(static_cast<uint32_t>(SQL_C_CHAR), script->binds[0].unused);
  EXPECT_EQ(SQL_INTEGER, script->binds[1].sqlType);
  EXPECT_EQ(1, fake.CallCount(43));
}

TEST_F(NarrowExecTest, SeparateHandOverGetsEightBitValuesAndDescriptions) {
  conn->cn_narrowText = 1;
  conn->cn_hasExecute2 = 0;
  Run();
  EXPECT_EQ(1, fake.CallCount(12));
  EXPECT_EQ(1, fake.CallCount(18));
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC!", Prefixed(0, 0));
  ASSERT_EQ(2u, script->binds.size());
  EXPECT_EQ(SQL_VARCHAR, script->binds[0].sqlType);
  EXPECT_EQ(static_cast<uint32_t>(SQL_C_CHAR), script->binds[0].unused);
}

TEST_F(NarrowExecTest, TheSecondExecutionSendsNoDescriptionsAgain) {
  conn->cn_narrowText = 1;
  Run();
  ASSERT_EQ(SQL_SUCCESS, Exec());
  EXPECT_EQ(1, script->handOvers);  // the narrowed descriptions compare equal
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC!", Prefixed(0, 0));
}

TEST_F(NarrowExecTest, AConfirmingAgentKeepsWideText) {
  Run();
  EXPECT_EQ(COLSET_VT_WCHAR32, Col(0).type);
  EXPECT_EQ(u"\u00e9\u20ac!", Wide(0, 0));
  ASSERT_EQ(2u, script->binds.size());
  EXPECT_EQ(SQL_WVARCHAR, script->binds[0].sqlType);
}

}  // namespace
}  // namespace qmrtest
