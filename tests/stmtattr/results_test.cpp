// Cursor names, native SQL, row counts and further results.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>

#include "drv_jdbc/agent_codes.h"
#include "stmtattr/stmtattr_fixture.h"

namespace qmrtest {
namespace {

SQLCHAR* Text(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }

std::u16string U(const SQLWCHAR* s) {
  std::u16string out;
  while (*s != 0) out.push_back(static_cast<char16_t>(*s++));
  return out;
}

class Results : public StmtAttrTest {
 protected:
  std::string StmtState() { return State(SQL_HANDLE_STMT, stmt); }
  std::string ConnState() { return State(SQL_HANDLE_DBC, dbc); }
  StmtHandle* S() { return Stmt(stmt); }
};

TEST_F(Results, CursorNamesAreSetAndReadWhole) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, Text("ORDERS_CURSORxyz"), 13));
  EXPECT_EQ("ORDERS_CURSOR", agent.cursorName) << "a counted name is cut at its length";
  SQLCHAR name[32];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt, name, sizeof name, &len));
  EXPECT_STREQ("ORDERS_CURSOR", reinterpret_cast<char*>(name));
  EXPECT_EQ(13, len);
}

TEST_F(Results, ShortCursorNameBufferCutsAndTellsTheWholeLength) {
  agent.cursorName = "C123456789";
  SQLCHAR name[5];
  std::memset(name, 'x', sizeof name);
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorName(stmt, name, sizeof name, &len));
  EXPECT_EQ("01004", StmtState());
  EXPECT_STREQ("C123", reinterpret_cast<char*>(name));
  EXPECT_EQ(10, len);
  // The wide form: characters, and only the length when there is no buffer.
  SQLSMALLINT wlen = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetCursorNameW(stmt, nullptr, 0, &wlen));
  EXPECT_EQ(10, wlen);
  SQLWCHAR wname[4];
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorNameW(stmt, wname, 4, &wlen));
  EXPECT_EQ(u"C12", U(wname));
  EXPECT_EQ(10, wlen);
  EXPECT_EQ("01004", StmtState());
}

TEST_F(Results, CursorNameFailuresAreErrorsAndWriteNothingStale) {
  // Only a cut is a warning: the agent's other answers fail the call.
  agent.getNameResult = 22;
  SQLCHAR name[16] = "stale";
  SQLSMALLINT len = 77;
  EXPECT_EQ(SQL_ERROR, SQLGetCursorName(stmt, name, sizeof name, &len));
  EXPECT_EQ("HY010", StmtState());
  EXPECT_EQ('\0', name[0]) << "no old text reads as the answer";
  EXPECT_EQ(77, len);
  // Nothing is converted from the work buffer of a failed wide call.
  SQLWCHAR wname[16] = {'s', 't', 'a', 'l', 'e', 0};
  SQLSMALLINT wlen = 77;
  EXPECT_EQ(SQL_ERROR, SQLGetCursorNameW(stmt, wname, 16, &wlen));
  EXPECT_EQ(u"stale", U(wname));
  EXPECT_EQ(77, wlen);
  // Setting: the agent's refusal, a null name, a bad length.
  agent.setNameResult = 69;
  EXPECT_EQ(SQL_ERROR, SQLSetCursorName(stmt, Text("DUP"), SQL_NTS));
  EXPECT_EQ("3C000", StmtState());
  EXPECT_EQ(SQL_ERROR, SQLSetCursorName(stmt, nullptr, SQL_NTS));
  EXPECT_EQ("HY009", StmtState());
  EXPECT_EQ(SQL_ERROR, SQLSetCursorName(stmt, Text("X"), -7));
  EXPECT_EQ("HY090", StmtState());
  agent.setNameResult = 0;
  const SQLWCHAR wide[] = {'W', 'C', 'U', 'R', 0};
  EXPECT_EQ(SQL_SUCCESS, SQLSetCursorNameW(stmt, const_cast<SQLWCHAR*>(wide), 3));
  EXPECT_EQ("WCU", agent.cursorName);
}

TEST_F(Results, NativeSqlIntoAShortBuffer) {
  SQLCHAR out[64];
  SQLINTEGER len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNativeSql(dbc, Text("select 1xx"), 8, out, sizeof out, &len));
  EXPECT_EQ("select 1", agent.nativeSeen);
  EXPECT_STREQ("NATIVE select 1", reinterpret_cast<char*>(out));
  EXPECT_EQ(15, len);
  SQLCHAR small[7];
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLNativeSql(dbc, Text("select 1"), SQL_NTS, small, 7, &len));
  EXPECT_EQ("01004", ConnState());
  EXPECT_STREQ("NATIVE", reinterpret_cast<char*>(small));
  EXPECT_EQ(15, len) << "the whole length, so that the caller can size its buffer";
  // The wide form counts characters.
  const SQLWCHAR in[] = {'s', 'e', 'l', 'e', 'c', 't', ' ', '2', 0};
  SQLWCHAR wout[5];
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLNativeSqlW(dbc, const_cast<SQLWCHAR*>(in), SQL_NTS, wout, 5, &len));
  EXPECT_EQ(u"NATI", U(wout));
  EXPECT_EQ(15, len);
  EXPECT_EQ("01004", ConnState());
}

TEST_F(Results, NativeSqlFailuresAreErrors) {
  agent.nativeResult = 15;
  SQLCHAR out[16] = "stale";
  SQLINTEGER len = 55;
  EXPECT_EQ(SQL_ERROR, SQLNativeSql(dbc, Text("x"), SQL_NTS, out, sizeof out, &len));
  EXPECT_EQ("HY000", ConnState());
  EXPECT_EQ('\0', out[0]);
  EXPECT_EQ(55, len);
  SQLWCHAR wout[8] = {'s', 't', 'a', 'l', 'e', 0};
  const SQLWCHAR in[] = {'x', 0};
  EXPECT_EQ(SQL_ERROR, SQLNativeSqlW(dbc, const_cast<SQLWCHAR*>(in), SQL_NTS, wout, 8, &len));
  EXPECT_EQ(u"stale", U(wout));
  agent.nativeResult = 0;
  EXPECT_EQ(SQL_ERROR, SQLNativeSql(dbc, nullptr, SQL_NTS, out, sizeof out, &len));
  EXPECT_EQ("HY009", ConnState());
  EXPECT_EQ(SQL_ERROR, SQLNativeSql(dbc, Text("x"), -9, out, sizeof out, &len));
  EXPECT_EQ("HY090", ConnState());
  EXPECT_EQ(SQL_ERROR, SQLNativeSql(dbc, Text("x"), SQL_NTS, out, -1, &len));
  EXPECT_EQ("HY090", ConnState());
  SQLHDBC idle = NewConn(env);
  EXPECT_EQ(SQL_ERROR, SQLNativeSql(idle, Text("x"), SQL_NTS, out, sizeof out, &len));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, idle));
}

TEST_F(Results, RowCountIsSignExtendedAndFailuresAreErrors) {
  agent.held[INFO_ROW_COUNT] = 0xFFFFFFFFu;
  SQLLEN n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &n));
  EXPECT_EQ(-1, n);
  agent.held[INFO_ROW_COUNT] = 3;
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &n));
  EXPECT_EQ(3, n);
  EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, nullptr));
  agent.getResult[INFO_ROW_COUNT] = 15;
  n = 42;
  fake.PostError(S()->agentStmt, {"gone", "HY000", 7, false});
  EXPECT_EQ(SQL_ERROR, SQLRowCount(stmt, &n));
  EXPECT_EQ(42, n);
  EXPECT_NE("", StmtState());
}

TEST_F(Results, MoreResultsOnAFreshStatementIsNoData) {
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
  EXPECT_EQ("", StmtState());
  EXPECT_EQ(0, agent.moreCalls);
  // Without the capability nothing is asked either.
  S()->state = kStmtPrepared;
  conn->cn_hasMoreRes = 0;
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
  EXPECT_EQ("", StmtState());
  EXPECT_EQ(0, agent.moreCalls);
}

TEST_F(Results, MoreResultsDescribesTheNextResultAndEnds) {
  conn->cn_hasMoreRes = 1;
  S()->state = kStmtPrepared;
  agent.moreResults = {0};
  agent.nextColumns = 2;
  ASSERT_EQ(SQL_SUCCESS, SQLMoreResults(stmt));
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &cols));
  EXPECT_EQ(2, cols);
  EXPECT_EQ(kStmtPrepared, S()->state);
  // The end: no data, no diagnostic; the statement stays prepared.
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
  EXPECT_EQ("", StmtState());
  EXPECT_EQ(kStmtPrepared, S()->state);
  EXPECT_EQ(nullptr, S()->cols);
  // Output values behind the results, with no output parameters: the next
  // result is asked for at once.
  agent.moreResults = {80, 0};
  agent.moreCalls = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLMoreResults(stmt));
  EXPECT_EQ(2, agent.moreCalls);
  // An agent failure is an error with the agent's message.
  agent.moreResults = {15};
  fake.PostError(S()->agentStmt, {"broken", "42000", 9, false});
  EXPECT_EQ(SQL_ERROR, SQLMoreResults(stmt));
  EXPECT_EQ("42000", StmtState());
}

// The execute counted every set it sent (here two of three, one ignored):
// the results read after it change nothing.
TEST_F(Results, MoreResultsLeaveTheProcessedCountOfTheExecute) {
  conn->cn_hasMoreRes = 1;
  StmtHandle* s = S();
  s->state = kStmtPrepared;
  s->isSelect = 1;
  SQLULEN processed = 2;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE,
                                        reinterpret_cast<SQLPOINTER>(uintptr_t{3}), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  agent.moreResults = {0, 0};
  for (int i = 0; i < 2; ++i) ASSERT_EQ(SQL_SUCCESS, SQLMoreResults(stmt)) << i;
  EXPECT_EQ(2u, processed);
}

}  // namespace
}  // namespace qmrtest
