// Connection options and attributes with the fake agent behind the
// connection: what reaches the agent, when, and what the application reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/connopt.h"
#include "driver/startup.h"
#include "option_fixture.h"
#include "util/errcodes.h"

namespace {

using qmrtest::OptionTest;
using qmrtest::SentOption;

constexpr int kSetOptionSlot = 1;

SQLPOINTER Num(uintptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

SQLUINTEGER GetU32(SQLHDBC dbc, SQLINTEGER attr) {
  SQLUINTEGER v = 0xDEADBEEF;
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, attr, &v, sizeof v, nullptr)) << attr;
  return v;
}

// ---------------------------------------------------------------------------
// Auto-commit and access mode chosen before connecting.

class Choices : public OptionTest {
 protected:
  void SetUp() override {
    OptionTest::SetUp();
    Open(SQL_OV_ODBC3);
  }
  // What the connect path does to the flags: cleared, then re-derived from
  // the data source (read-only here only when the data source says so) and
  // from the agent's auto-commit answer.
  void ConnectLikeTheConnectPath(bool dsnReadOnly, bool agentAutoCommit) {
    ConnHandle* c = Conn();
    c->flags = static_cast<uint16_t>(c->flags & ~(kConnReadOnly | kConnAutoCommit));
    if (dsnReadOnly) c->flags |= kConnReadOnly;
    CONN_PrepareConnectFlags(c);
    readOnlyAtConnect = (c->flags & kConnReadOnly) != 0;
    Connect();
    if (agentAutoCommit) c->flags |= kConnAutoCommit;
    applied = CONN_ApplyPendingOptions(c);
  }
  bool readOnlyAtConnect = false;
  int32_t applied = -1;
};

TEST_F(Choices, AutoCommitOffBeforeConnectingHoldsAfterTheConnect) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, Num(SQL_AUTOCOMMIT_OFF), 0));
  EXPECT_EQ(SQL_AUTOCOMMIT_OFF, GetU32(dbc, SQL_ATTR_AUTOCOMMIT));
  EXPECT_EQ(0, fake.CallCount(kSetOptionSlot)) << "no agent before the connect";

  ConnectLikeTheConnectPath(false, true);
  EXPECT_EQ(0, applied);
  const auto sent = SentWith(OPT_AUTOCOMMIT);
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(0u, sent[0].number);
  EXPECT_EQ(SQL_AUTOCOMMIT_OFF, GetU32(dbc, SQL_ATTR_AUTOCOMMIT));
}

TEST_F(Choices, AutoCommitOffAfterConnectingReachesTheAgentAtOnce) {
  ConnectLikeTheConnectPath(false, true);
  EXPECT_TRUE(SentWith(OPT_AUTOCOMMIT).empty()) << "no choice made, nothing re-applied";
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
  auto sent = SentWith(OPT_AUTOCOMMIT);
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(0u, sent[0].number);
  EXPECT_EQ(SQL_AUTOCOMMIT_OFF, GetU32(dbc, SQL_ATTR_AUTOCOMMIT));

  // A value other than 0 means on.
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, Num(7), 0));
  sent = SentWith(OPT_AUTOCOMMIT);
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ(1u, sent[1].number);
  EXPECT_EQ(SQL_AUTOCOMMIT_ON, GetU32(dbc, SQL_ATTR_AUTOCOMMIT));

  // The choice made while connected also holds for the next connect.
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, Num(SQL_AUTOCOMMIT_OFF), 0));
  Conn()->state = kConnAllocated;
  ConnectLikeTheConnectPath(false, true);
  sent = SentWith(OPT_AUTOCOMMIT);
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ(0u, sent[3].number);
  EXPECT_EQ(SQL_AUTOCOMMIT_OFF, GetU32(dbc, SQL_ATTR_AUTOCOMMIT));
}

TEST_F(Choices, AgentRefusingAutoCommitKeepsTheFlagAndBringsItsMessage) {
  ConnHandle* c = Connect();
  fake.PushResult(kSetOptionSlot, ERR_GENERAL);
  fake.PostError(c->agentConn, {"cannot switch", "HY000", 7, false});
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, Num(SQL_AUTOCOMMIT_OFF), 0));
  EXPECT_NE(std::string::npos, Message(SQL_HANDLE_DBC, dbc).find("cannot switch"));
  EXPECT_EQ(SQL_AUTOCOMMIT_ON, GetU32(dbc, SQL_ATTR_AUTOCOMMIT));
}

TEST_F(Choices, FailureToApplyAChoiceAtConnectIsReported) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, Num(SQL_AUTOCOMMIT_OFF), 0));
  ConnHandle* c = Conn();
  Connect();
  fake.PushResult(kSetOptionSlot, ERR_GENERAL);
  fake.PostError(c->agentConn, {"not now", "HY000", 3, false});
  EXPECT_EQ(ERR_GENERAL, CONN_ApplyPendingOptions(c));
  EXPECT_EQ(1u, DIAG_Count(&c->diag));
  // Not connected: nothing to apply to.
  c->state = kConnAllocated;
  EXPECT_EQ(ERR_NOT_CONNECTED, CONN_ApplyPendingOptions(c));
}

TEST_F(Choices, ReadOnlyBeforeConnectingIsInForceAfterTheConnect) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, Num(SQL_MODE_READ_ONLY), 0));
  EXPECT_EQ(SQL_MODE_READ_ONLY, GetU32(dbc, SQL_ATTR_ACCESS_MODE));
  EXPECT_EQ(0, fake.CallCount(kSetOptionSlot));

  ConnectLikeTheConnectPath(false, true);
  EXPECT_TRUE(readOnlyAtConnect) << "the agent opens the Java connection read-only";
  EXPECT_EQ(0, applied);
  const auto sent = SentWith(OPT_ACCESS_MODE);
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(1u, sent[0].number);
  EXPECT_EQ(SQL_MODE_READ_ONLY, GetU32(dbc, SQL_ATTR_ACCESS_MODE));
  EXPECT_TRUE(SentWith(OPT_AUTOCOMMIT).empty());
}

TEST_F(Choices, ReadWriteChoiceDoesNotLiftTheDataSourcesReadOnly) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, Num(SQL_MODE_READ_WRITE), 0));
  ConnectLikeTheConnectPath(true, true);
  EXPECT_TRUE(readOnlyAtConnect);
  const auto sent = SentWith(OPT_ACCESS_MODE);
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(1u, sent[0].number);
  EXPECT_EQ(SQL_MODE_READ_ONLY, GetU32(dbc, SQL_ATTR_ACCESS_MODE));
  // While connected the application may still switch.
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, Num(SQL_MODE_READ_WRITE), 0));
  EXPECT_EQ(SQL_MODE_READ_WRITE, GetU32(dbc, SQL_ATTR_ACCESS_MODE));
  EXPECT_EQ(0u, SentWith(OPT_ACCESS_MODE).back().number);
}

TEST_F(Choices, OutOfRangeAccessModeIsReadOnlyForAgentAndFlagAlike) {
  Connect();
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_ACCESS_MODE, 5));
  EXPECT_EQ(1u, SentWith(OPT_ACCESS_MODE).back().number);
  EXPECT_EQ(SQL_MODE_READ_ONLY, GetU32(dbc, SQL_ATTR_ACCESS_MODE));
}

TEST_F(Choices, CatalogChosenBeforeConnectingIsSetAtConnect) {
  const char name[] = "SALESX";
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>(name),
                                           5));  // counted: "SALES"
  EXPECT_TRUE(SentWith(OPT_CURRENT_CATALOG).empty());
  ConnectLikeTheConnectPath(false, true);
  const auto sent = SentWith(OPT_CURRENT_CATALOG);
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ("SALES", sent[0].text);
}

// ---------------------------------------------------------------------------
// Other options.

class Options : public OptionTest {
 protected:
  void SetUp() override {
    OptionTest::SetUp();
    Open(SQL_OV_ODBC3);
  }
};

TEST_F(Options, StoredValuesAndFixedAnswers) {
  EXPECT_EQ(120u, GetU32(dbc, SQL_ATTR_LOGIN_TIMEOUT));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, Num(9), 0));
  EXPECT_EQ(9u, GetU32(dbc, SQL_ATTR_LOGIN_TIMEOUT));
  SQLUINTEGER packet = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_PACKET_SIZE, &packet));
  EXPECT_EQ(4096u, packet);
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_OPTION, Num(77), 0));
  EXPECT_EQ(77u, GetU32(dbc, SQL_ATTR_TRANSLATE_OPTION));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE, Num(1), 0));
  EXPECT_EQ(1u, GetU32(dbc, SQL_ATTR_ASYNC_ENABLE));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, Num(8), 0));
  EXPECT_EQ(8u, GetU32(dbc, SQL_ATTR_TXN_ISOLATION));
  EXPECT_TRUE(Sent().empty()) << "isolation waits for the connect";
  Connect();
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, Num(2), 0));
  ASSERT_EQ(1u, SentWith(OPT_TXN_ISOLATION).size());
  EXPECT_EQ(2u, SentWith(OPT_TXN_ISOLATION)[0].number);
  EXPECT_EQ(2u, GetU32(dbc, SQL_ATTR_TXN_ISOLATION));
}

TEST_F(Options, QuietModeIsAPointerWideValue) {
  struct Restore {
    intptr_t owner = DRV_MessageBoxOwner();
    ~Restore() { DRV_SetMessageBoxOwner(owner); }
  } restore;
  const uint64_t window = 0x1234567890ull;
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_QUIET_MODE, Num(window), 0));
  uint64_t got = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_QUIET_MODE, &got, sizeof got, nullptr));
  EXPECT_EQ(window, got);
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_QUIET_MODE, Num(uintptr_t(-2)), 0));
  got = 99;
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_QUIET_MODE, &got, sizeof got, nullptr));
  EXPECT_EQ(0u, got) << "no owner window reads as none";
}

TEST_F(Options, RefusalsCarryTheirStates) {
  // Statement options through the connection are ODBC 2 only.
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, SQL_QUERY_TIMEOUT, 5));
  EXPECT_EQ("IM001", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, SQL_ASYNC_ENABLE, 1));
  EXPECT_EQ("IM001", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT, Num(5), 0));
  EXPECT_EQ("IM001", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_METADATA_ID, Num(1), 0));
  EXPECT_EQ("IM001", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, 4711, Num(1), 0));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DBC, dbc));
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, 4711, &v, sizeof v, nullptr));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLGetConnectOption(dbc, 50, &v));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 110, 1));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR,
            SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("x"), -7));
  EXPECT_EQ("HY090", State(SQL_HANDLE_DBC, dbc));
  // Connection dead and automatic IPD read as 0.
  EXPECT_EQ(0u, GetU32(dbc, SQL_ATTR_CONNECTION_DEAD));
  EXPECT_EQ(0u, GetU32(dbc, SQL_ATTR_AUTO_IPD));
}

TEST_F(Options, ApplicationNameOnlyBeforeConnecting) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1051, reinterpret_cast<SQLULEN>("payroll")));
  EXPECT_EQ("payroll", Conn()->appName);
  const char16_t wide[] = u"h\u00e9l\u00e8ne";
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOptionW(dbc, 1051, reinterpret_cast<SQLULEN>(wide)));
  EXPECT_EQ("h\xc3\xa9l\xc3\xa8ne", Conn()->appName);
  Connect();
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 1051, reinterpret_cast<SQLULEN>("other")));
  EXPECT_EQ("HY010", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ("h\xc3\xa9l\xc3\xa8ne", Conn()->appName);
}

TEST_F(Options, DriverSpecificOptionsGoToTheAgentOnlyWhileConnected) {
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1203, 42));
  SQLUINTEGER v = 0xAAAA;
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, 1203, &v));
  EXPECT_EQ(0xAAAAu, v) << "nothing written before the connect";
  EXPECT_EQ(0, fake.CallCount(kSetOptionSlot));

  Connect();
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1203, 42));
  const auto sent = SentWith(OPT_CONN_INT | 1203);
  ASSERT_EQ(1u, sent.size());
  EXPECT_EQ(42u, sent[0].number);

  fake.PushResult(kSetOptionSlot, 43);  // the agent does not know it
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 1204, 1));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DBC, dbc));

  fake.SetInfo(OPT_CONN_INT | 1203, 42);
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, 1203, &v));
  EXPECT_EQ(42u, v);
  fake.PushResult(0, 1);  // the agent does not answer the code
  EXPECT_EQ(SQL_ERROR, SQLGetConnectOption(dbc, 1205, &v));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DBC, dbc));

  // Text options travel as UTF-8 from the W entry point.
  const char16_t text[] = u"gr\u00fcn";
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOptionW(dbc, 1212, reinterpret_cast<SQLULEN>(text)));
  ASSERT_EQ(1u, SentWith(OPT_CONN_TEXT | 1212).size());
  EXPECT_EQ("gr\xc3\xbcn", SentWith(OPT_CONN_TEXT | 1212)[0].text);
  // The attribute form does not reach them.
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, 1203, Num(1), 0));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Options, CatalogCannotChangeUnderAnOpenCursor) {
  Connect();
  SQLHSTMT stmt = NewStmt(dbc);
  Stmt(stmt)->flags |= kStmtFlagCursorOpen;
  EXPECT_EQ(SQL_ERROR,
            SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("other"), SQL_NTS));
  EXPECT_EQ(64, Conn()->diag.pending);  // "24000"
  EXPECT_TRUE(SentWith(OPT_CURRENT_CATALOG).empty());
  Stmt(stmt)->flags &= static_cast<uint16_t>(~kStmtFlagCursorOpen);
  EXPECT_EQ(SQL_SUCCESS,
            SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("other"), SQL_NTS));
  ASSERT_EQ(1u, SentWith(OPT_CURRENT_CATALOG).size());
}

TEST_F(Options, FailoverNeedsAConnectionAndTheCapability) {
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 1280, 0x10));
  EXPECT_EQ("HY010", State(SQL_HANDLE_DBC, dbc));
  ConnHandle* c = Connect();
  EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 1280, 0x10));
  EXPECT_EQ("HYC00", State(SQL_HANDLE_DBC, dbc));
  c->capFailover = 1;
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1280, 0x10));
  ASSERT_EQ(1u, SentWith(OPT_FAILOVER).size());
  EXPECT_EQ(1u, SentWith(OPT_FAILOVER)[0].number);
  EXPECT_EQ(reinterpret_cast<DRV_FailoverCallback>(0x10), c->failoverCallback);
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1281, 0x20));
  EXPECT_EQ(reinterpret_cast<void*>(0x20), c->failoverContext);
}

TEST_F(Options, EnlistmentRefusals) {
  // Leaving a transaction the connection never joined.
  ConnHandle* c = Conn();
  c->capDtc = 1;
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_ENLIST_IN_DTC, nullptr, 0));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  Connect();
  c->capDtc = 1;
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_ENLIST_IN_DTC, nullptr, 0));
  EXPECT_EQ("25000", State(SQL_HANDLE_DBC, dbc));
  // No coordinator to reach (its helper library is not there): the
  // enlistment fails.
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_ENLIST_IN_DTC, Num(0x5000), 0));
  EXPECT_EQ("IM932", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(0u, c->dtcEnlisted);
  c->capDtc = 0;
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_ENLIST_IN_DTC, Num(0x5000), 0));
  EXPECT_EQ("IM001", State(SQL_HANDLE_DBC, dbc));
}

TEST(OptionsOdbc2, StatementOptionsAndAsyncAreTheConnectionsInOdbc2) {
  ASSERT_EQ(0, DRV_InitCalls());
  SQLHENV env = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
  SQLHDBC dbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env, &dbc));
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_ASYNC_ENABLE, SQL_ASYNC_ENABLE_ON));
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_ASYNC_ENABLE, &v));
  EXPECT_EQ(1u, v);
  SQLCHAR trace[8] = "xxxxxxx";
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, trace));
  EXPECT_EQ('\0', trace[0]);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(dbc));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
  DRV_DoneCalls();
}

// ---------------------------------------------------------------------------
// Text attributes read back: bounded, cut on a character boundary, the full
// length always reported.

class TextAttributes : public OptionTest {
 protected:
  void SetUp() override {
    OptionTest::SetUp();
    Open(SQL_OV_ODBC3);
  }
};

TEST_F(TextAttributes, CatalogIsCutToTheBufferWithWarningAndFullLength) {
  Connect();
  SetText(INFO_CURRENT_CATALOG, "SALES_DATABASE");
  char buf[12];
  std::memset(buf, '#', sizeof buf);
  SQLINTEGER len = SQL_NTS;  // an SQL_NTS left in the variable is overwritten
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, 8, &len));
  EXPECT_STREQ("SALES_D", buf);
  EXPECT_EQ('#', buf[8]) << "nothing written past the buffer";
  EXPECT_EQ(14, len);
  EXPECT_EQ("01004", State(SQL_HANDLE_DBC, dbc));

  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, nullptr, 0, &len));
  EXPECT_EQ(14, len);

  char16_t wide[8];
  std::memset(wide, 0x23, sizeof wide);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, wide, 8, &len));
  EXPECT_EQ(std::u16string(u"SAL"), std::u16string(wide));
  EXPECT_EQ(0x2323, wide[4]);
  EXPECT_EQ(28, len);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, wide, 0, &len));
  EXPECT_EQ(0x2323, wide[4]);
  EXPECT_EQ(28, len);
}

TEST_F(TextAttributes, OdbcTwoTextAnswersStayWithinTheirFixedRoom) {
  Connect();
  const std::string longName(600, 'c');
  SetText(INFO_CURRENT_CATALOG, longName);
  char buf[SQL_MAX_OPTION_STRING_LENGTH + 16];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetConnectOption(dbc, SQL_CURRENT_QUALIFIER, buf));
  EXPECT_EQ(SQL_MAX_OPTION_STRING_LENGTH - 1, static_cast<int>(std::strlen(buf)));
  EXPECT_EQ('#', buf[SQL_MAX_OPTION_STRING_LENGTH]);
  // The attribute form delivers the whole name.
  std::string whole(700, '\0');
  SQLINTEGER len = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, &whole[0],
                                           static_cast<SQLINTEGER>(whole.size()), &len));
  EXPECT_EQ(600, len);
  EXPECT_EQ(longName, whole.c_str());
}

TEST_F(TextAttributes, TranslationLibraryRoundTripsInBothWidths) {
  SQLINTEGER len = 0;
  char buf[64];
  EXPECT_EQ(SQL_NO_DATA, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len));

  // Counted UTF-16: "libé😀x" with the 'x' left out by the length.
  const char16_t name[] = u"lib\u00e9\U0001F600x";
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, const_cast<char16_t*>(name), 6 * 2));
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len));
  EXPECT_STREQ("lib\xc3\xa9\xf0\x9f\x98\x80", buf);
  EXPECT_EQ(9, len);

  // Cuts never split a character: 5 bytes hold "lib" and a NUL, not half of é.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, 5, &len));
  EXPECT_STREQ("lib", buf);
  char16_t wide[8];
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, wide, sizeof wide, &len));
  EXPECT_EQ(std::u16string(u"lib\u00e9\U0001F600"), std::u16string(wide));
  EXPECT_EQ(12, len);
  // Room for five units: the surrogate pair does not fit and is left out whole.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, wide, 10, &len));
  EXPECT_EQ(std::u16string(u"lib\u00e9"), std::u16string(wide));
  EXPECT_EQ(12, len);

  // A null value clears it.
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, nullptr, 0));
  EXPECT_EQ(SQL_NO_DATA, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len));
}

}  // namespace
