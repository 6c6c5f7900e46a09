// Statement options and attributes: where they are kept, how wide they are
// written, what the agent is told and what a refusal leaves behind.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "driver/desc.h"
#include "drv_jdbc/agent_codes.h"
#include "stmtattr/stmtattr_fixture.h"

namespace qmrtest {
namespace {

constexpr uint64_t kSentinel = 0xA5A5A5A5A5A5A5A5ull;

SQLPOINTER Num(uintptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

class StmtOptions : public StmtAttrTest {
 protected:
  StmtHandle* S() { return Stmt(stmt); }
  uint64_t Attr64(SQLINTEGER attr) {
    uint64_t v = kSentinel;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, attr, &v, sizeof v, nullptr)) << attr;
    return v;
  }
  std::string StmtState() { return State(SQL_HANDLE_STMT, stmt); }
  // The value the agent was last given for a request, or -1.
  int64_t Sent(uint32_t request) {
    for (auto it = agent.sets.rbegin(); it != agent.sets.rend(); ++it)
      if (it->first == request) return it->second;
    return -1;
  }
};

TEST_F(StmtOptions, NumericAttributesAreWrittenAsFullSqlulen) {
  // Every value goes out 64 bits wide: no half of the caller's SQLULEN keeps
  // what was there before.
  conn->cap0x1000 = 1;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, Num(30), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, Num(1000), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, Num(10000), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_NOSCAN, Num(SQL_NOSCAN_ON), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ASYNC_ENABLE, Num(1), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, Num(SQL_CURSOR_STATIC), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, Num(SQL_CONCUR_VALUES), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, Num(50), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, Num(20), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, Num(48), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, Num(24), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, Num(7), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, Num(SQL_UB_VARIABLE), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_RETRIEVE_DATA, Num(SQL_RD_OFF), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_SIMULATE_CURSOR, Num(1), 0));

  EXPECT_EQ(30u, Attr64(SQL_ATTR_QUERY_TIMEOUT));
  EXPECT_EQ(1000u, Attr64(SQL_ATTR_MAX_ROWS));
  EXPECT_EQ(10000u, Attr64(SQL_ATTR_MAX_LENGTH));
  EXPECT_EQ(1u, Attr64(SQL_ATTR_NOSCAN));
  EXPECT_EQ(1u, Attr64(SQL_ATTR_ASYNC_ENABLE));
  EXPECT_EQ(uint64_t{SQL_CURSOR_STATIC}, Attr64(SQL_ATTR_CURSOR_TYPE));
  EXPECT_EQ(uint64_t{SQL_CONCUR_VALUES}, Attr64(SQL_ATTR_CONCURRENCY));
  EXPECT_EQ(50u, Attr64(SQL_ATTR_KEYSET_SIZE));
  EXPECT_EQ(20u, Attr64(SQL_ATTR_ROW_ARRAY_SIZE));
  EXPECT_EQ(20u, Attr64(SQL_ROWSET_SIZE));
  EXPECT_EQ(48u, Attr64(SQL_ATTR_ROW_BIND_TYPE));
  EXPECT_EQ(24u, Attr64(SQL_ATTR_PARAM_BIND_TYPE));
  EXPECT_EQ(7u, Attr64(SQL_ATTR_PARAMSET_SIZE));
  EXPECT_EQ(1u, Attr64(SQL_ATTR_USE_BOOKMARKS));
  EXPECT_EQ(0u, Attr64(SQL_ATTR_RETRIEVE_DATA));
  EXPECT_EQ(1u, Attr64(SQL_ATTR_SIMULATE_CURSOR));

  // The values the agent runs the statement with.
  EXPECT_EQ(30, Sent(OPT_QUERY_TIMEOUT));
  EXPECT_EQ(1000, Sent(OPT_MAX_ROWS));
  EXPECT_EQ(10000, Sent(OPT_MAX_LENGTH));
  EXPECT_EQ(20, Sent(OPT_ROWSET_SIZE));
  // The descriptors hold the header attributes.
  StmtHandle* s = S();
  EXPECT_EQ(20u, s->ard->arraySize);
  EXPECT_EQ(48u, s->ard->bindType);
  EXPECT_EQ(7u, s->apd->arraySize);
  EXPECT_EQ(24u, s->apd->bindType);
}

TEST_F(StmtOptions, Odbc2FormWritesThirtyTwoBitsExceptTheLengthsAndSizes) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_QUERY_TIMEOUT, 9));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 4));
  uint64_t v = kSentinel;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, SQL_QUERY_TIMEOUT, &v));
  EXPECT_EQ((kSentinel & ~0xFFFFFFFFull) | 9u, v) << "a 32-bit option leaves the upper half";
  v = kSentinel;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, SQL_ROWSET_SIZE, &v));
  EXPECT_EQ(4u, v);
  v = kSentinel;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, SQL_KEYSET_SIZE, &v));
  EXPECT_EQ(0u, v);
  // The scroll attributes are 32-bit in both forms.
  uint64_t w = kSentinel;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SCROLLABLE, &w, 0, nullptr));
  EXPECT_EQ((kSentinel & ~0xFFFFFFFFull) | SQL_NONSCROLLABLE, w);
}

TEST_F(StmtOptions, NullPointersWithdrawTheEarlierOnes) {
  SQLULEN fetched = 0, processed = 0;
  SQLUSMALLINT rowStatus[4], paramStatus[4];
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, rowStatus, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, paramStatus, 0));
  StmtHandle* s = S();
  EXPECT_EQ(reinterpret_cast<uint64_t*>(&fetched), s->ird->rowsProcessed);
  EXPECT_EQ(reinterpret_cast<uint64_t*>(&processed), s->ipd->rowsProcessed);
  EXPECT_EQ(rowStatus, s->ird->arrayStatus);
  EXPECT_EQ(paramStatus, s->ipd->arrayStatus);
  void* p = nullptr;
  SQLINTEGER len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &p, 0, &len));
  EXPECT_EQ(&fetched, p);
  EXPECT_EQ(SQL_IS_POINTER, len);

  for (SQLINTEGER attr : {SQL_ATTR_ROWS_FETCHED_PTR, SQL_ATTR_PARAMS_PROCESSED_PTR,
                          SQL_ATTR_ROW_STATUS_PTR, SQL_ATTR_PARAM_STATUS_PTR}) {
    SCOPED_TRACE(attr);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, attr, nullptr, 0));
    p = &len;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, attr, &p, 0, nullptr));
    EXPECT_EQ(nullptr, p) << "the application's buffer is no longer written";
  }
  EXPECT_EQ(nullptr, s->ird->rowsProcessed);
  EXPECT_EQ(nullptr, s->ipd->rowsProcessed);
  EXPECT_EQ(nullptr, s->ird->arrayStatus);
  EXPECT_EQ(nullptr, s->ipd->arrayStatus);
}

TEST_F(StmtOptions, AgentChangesAreReadBackAndReported) {
  conn->cap0x1000 = 1;
  // Too small a maximum length is raised.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, Num(100), 0));
  EXPECT_EQ("01S02", StmtState());
  EXPECT_EQ(8192u, Attr64(SQL_ATTR_MAX_LENGTH));
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, Num(0), 0));
  EXPECT_EQ(0u, Attr64(SQL_ATTR_MAX_LENGTH));
  // A negative timeout is none; a zero rowset one row.
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_QUERY_TIMEOUT, static_cast<SQLULEN>(-5)));
  EXPECT_EQ(0, Sent(OPT_QUERY_TIMEOUT));
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 0));
  EXPECT_EQ(1, Sent(OPT_ROWSET_SIZE));
  // The agent keeps a smaller rowset: that size is the statement's now, the
  // one before it is remembered.
  agent.setResult[OPT_ROWSET_SIZE] = 75;
  agent.keepInstead[OPT_ROWSET_SIZE] = 100;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, Num(500), 0));
  EXPECT_EQ("01S02", StmtState());
  EXPECT_EQ(100u, Attr64(SQL_ATTR_ROW_ARRAY_SIZE));
  EXPECT_EQ(1u, S()->cursor.prevRowsetSize);
  EXPECT_NE(0, S()->cursor.flags & SCR_FLAG_ROWSET_CHANGED);
  // A scrollable cursor the agent cannot give stays forward-only.
  agent.setResult[OPT_CURSOR_TYPE] = 75;
  agent.keepInstead[OPT_CURSOR_TYPE] = SQL_CURSOR_FORWARD_ONLY;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_SCROLLABLE, Num(SQL_SCROLLABLE), 0));
  EXPECT_EQ("01S02", StmtState());
  EXPECT_EQ(uint64_t{SQL_CURSOR_KEYSET_DRIVEN}, static_cast<uint64_t>(Sent(OPT_CURSOR_TYPE)));
  EXPECT_EQ(uint64_t{SQL_CURSOR_FORWARD_ONLY}, Attr64(SQL_ATTR_CURSOR_TYPE));
  // The agent gives a static cursor for keyset-driven: scrollable, no news.
  agent.keepInstead[OPT_CURSOR_TYPE] = SQL_CURSOR_STATIC;
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_SCROLLABLE, Num(SQL_SCROLLABLE), 0));
  EXPECT_EQ("", StmtState());
  // Parameters are never described by themselves.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtAttr(stmt, SQL_ATTR_ENABLE_AUTO_IPD, Num(1), 0));
  EXPECT_EQ("01S02", StmtState());
  EXPECT_EQ(0u, Attr64(SQL_ATTR_ENABLE_AUTO_IPD) & 0xFFFFFFFFu);
}

TEST_F(StmtOptions, MaxLengthWithoutTheCapabilityStaysZero) {
  conn->cap0x1000 = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 100));
  EXPECT_EQ("01S02", StmtState());
  EXPECT_EQ(0u, Attr64(SQL_ATTR_MAX_LENGTH));
  EXPECT_EQ(-1, Sent(OPT_MAX_LENGTH)) << "nothing for the agent to do";
}

TEST_F(StmtOptions, RefusalsCarryTheirStatesAndLeaveNothingBehind) {
  conn->cap0x1000 = 1;
  S()->state = kStmtPrepared;
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, Num(9000), 0));
  EXPECT_EQ("HY011", StmtState());
  S()->state = kStmtAllocated;
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, 4711, Num(1), 0));
  EXPECT_EQ("HY092", StmtState());
  uint64_t v = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetStmtAttr(stmt, 4711, &v, 0, nullptr));
  EXPECT_EQ("HY092", StmtState());
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_METADATA_ID, Num(1), 0));
  EXPECT_EQ("HYC00", StmtState());
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_SENSITIVITY, Num(7), 0));
  EXPECT_EQ("HY024", StmtState());
  // The agent cannot take a cursor type at all.
  agent.setResult[OPT_CURSOR_TYPE] = 43;
  EXPECT_EQ(SQL_ERROR, SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_DYNAMIC));
  EXPECT_EQ("HY092", StmtState());
  EXPECT_EQ(uint64_t{SQL_CURSOR_FORWARD_ONLY}, Attr64(SQL_ATTR_CURSOR_TYPE));
  // A driver option the agent refuses is an error, and it stores nothing ...
  agent.setResult[OPT_STMT_INT | 1052] = 43;
  EXPECT_EQ(SQL_ERROR, SQLSetStmtOption(stmt, 1052, 5));
  EXPECT_EQ("HY092", StmtState());
  uint32_t v32 = 99;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, 1052, &v32));
  EXPECT_EQ(0u, v32);
  // ... and when taken, the success carries no diagnostic at all.
  agent.setResult[OPT_STMT_INT | 1052] = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, 1052, 5));
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  SQLCHAR msg[64];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_NO_DATA,
            SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len));
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, 1052, &v32));
  EXPECT_EQ(5u, v32);
  // The agent-only driver options: refused by the JDBC agent.
  agent.setResult[OPT_STMT_INT | 1225] = 43;
  EXPECT_EQ(SQL_ERROR, SQLSetStmtOption(stmt, 1225, 1));
  EXPECT_EQ("HY092", StmtState());
  // Bookmarks and row numbers need a result.
  EXPECT_EQ(SQL_ERROR, SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &v, 0, nullptr));
  EXPECT_EQ("24000", StmtState());
  S()->state = kStmtPrepared;
  S()->rowsFetched = 12;
  EXPECT_EQ(12u, Attr64(SQL_ATTR_ROW_NUMBER));
  EXPECT_EQ(SQL_ERROR, SQLGetStmtOption(stmt, SQL_GET_BOOKMARK, &v));
  EXPECT_EQ("HY011", StmtState());
}

TEST_F(StmtOptions, GettersWithoutABufferAskNobody) {
  agent.gets.clear();
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, SQL_MAX_ROWS, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0, nullptr));
  EXPECT_TRUE(agent.gets.empty());
  // An agent that cannot answer its own value: the getter says so.
  agent.getResult[OPT_MAX_ROWS] = 15;
  uint64_t v = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, &v, 0, nullptr));
  EXPECT_EQ("HY092", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(StmtOptions, DescriptorAttributesNameHandlesAndInstallOnlyTheRightOnes) {
  SQLHDESC ard = nullptr;
  SQLINTEGER len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, &len));
  EXPECT_EQ(SQL_IS_POINTER, len);
  StmtHandle* s = S();
  EXPECT_EQ(DRV_HandleValue(s->implicitArd->handle), ard);
  SQLHDESC ird = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
  EXPECT_EQ(DRV_HandleValue(s->ird->handle), ird);

  // An explicit descriptor of this connection becomes the ARD and brings its
  // array size along.
  SQLHDESC mine = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &mine));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(mine, 0, SQL_DESC_ARRAY_SIZE, Num(5), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, mine, 0));
  EXPECT_EQ(5u, Attr64(SQL_ATTR_ROW_ARRAY_SIZE));
  SQLHDESC now = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &now, 0, nullptr));
  EXPECT_EQ(mine, now);

  // Another statement's implicit descriptor is refused on this statement.
  SQLHSTMT other = NewStmt(dbc);
  SQLHDESC otherArd = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(other, SQL_ATTR_APP_ROW_DESC, &otherArd, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, otherArd, 0));
  EXPECT_EQ("HY017", State(SQL_HANDLE_STMT, stmt));
  // A descriptor of another connection, and a number that is no descriptor.
  SQLHDBC dbc2 = Connected(env);
  SQLHDESC foreign = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc2, &foreign));
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, foreign, 0));
  EXPECT_EQ("HY024", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, Num(0x7FFF0003), 0));
  EXPECT_EQ("HY024", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(s->implicitApd, s->apd);

  // A null handle gives the statement its own ARD back.
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0));
  EXPECT_EQ(s->implicitArd, s->ard);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, ard, 0));
  EXPECT_EQ(s->implicitArd, s->ard);
}

TEST_F(StmtOptions, DescriptorRefusalsReachTheStatement) {
  // A header value the descriptor refuses is reported where the application
  // looks: on the statement it called.
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, Num(0), 0));
  EXPECT_NE("", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, Num(0), 0));
  EXPECT_EQ("HY024", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(StmtOptions, ConnectionDefaultsReachExistingAndNewStatements) {
  SQLHENV env2 = Env(SQL_OV_ODBC2);
  SQLHDBC dbc2 = Connected(env2);
  SQLHSTMT before = NewStmt(dbc2);
  agent.sets.clear();
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc2, SQL_QUERY_TIMEOUT, 11));
  EXPECT_EQ(11, Sent(OPT_QUERY_TIMEOUT)) << "the existing statement's agent statement";
  SQLHSTMT after = NewStmt(dbc2);
  uint32_t v = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(after, SQL_QUERY_TIMEOUT, &v));
  EXPECT_EQ(11u, v);
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtOption(before, SQL_QUERY_TIMEOUT, &v));
  EXPECT_EQ(11u, v);
  // The new statement's agent statement was told as well.
  EXPECT_EQ(2, std::count_if(agent.sets.begin(), agent.sets.end(), [](const auto& p) {
              return p.first == OPT_QUERY_TIMEOUT && p.second == 11u;
            }));
  SQLUINTEGER t = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc2, SQL_QUERY_TIMEOUT, &t, 0, nullptr));
  EXPECT_EQ(11u, t);
  // A statement that refuses the value: the connection reports it; the
  // statement keeps no diagnostic of a call it was not asked.
  agent.setResult[OPT_NOSCAN] = 15;
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc2, SQL_NOSCAN, 1));
  EXPECT_EQ("S1000", State(SQL_HANDLE_DBC, dbc2));
  EXPECT_EQ("", State(SQL_HANDLE_STMT, after));
  EXPECT_EQ("", State(SQL_HANDLE_STMT, before));
  // ODBC 3 applications set statement attributes on statements.
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, SQL_QUERY_TIMEOUT, 5));
  EXPECT_EQ("IM001", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(StmtOptions, ConnectionAsyncSettingReachesItsStatements) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE, Num(1), 0));
  EXPECT_EQ(1u, Attr64(SQL_ATTR_ASYNC_ENABLE));
  SQLHSTMT later = NewStmt(dbc);
  uint64_t v = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(later, SQL_ATTR_ASYNC_ENABLE, &v, 0, nullptr));
  EXPECT_EQ(1u, v);
}

}  // namespace
}  // namespace qmrtest
