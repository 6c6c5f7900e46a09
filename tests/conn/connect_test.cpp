// The connect path with the fake agent: data-source values, the settings
// block and the information block the agent receives, the completed
// connection string, and failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "conn/conn_fixture.h"
#include "driver/conn.h"
#include "driver/trace.h"
#include "drv_jdbc/j-serv.h"

namespace conntest {
namespace {

TEST_F(ConnTest, DsnValuesFillTheAgentRecordAndTheShortFormComesBack) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full", &out));
  const Seen& s = LastConnect();
  EXPECT_EQ(s.user, "alice");
  EXPECT_EQ(s.password, "secret1");
  EXPECT_EQ(s.dbpath, "org.example.Driver");
  EXPECT_EQ(s.dbopts, "jdbc:example:full");
  EXPECT_EQ(s.dsn, "Full");
  EXPECT_EQ(s.readOnly, 1u);
  // A stored MaxRows is read whole, not cut to the row's value size.
  EXPECT_EQ(s.settings.maxRows, 100000);
  EXPECT_EQ(s.settings.dynCursSensitivity, 1u);
  EXPECT_EQ(s.settings.longVarcharToVarchar, -1);
  // The Unicode build (as these tests are built) connects wide through the
  // 8-bit entry point too: the marker stands in front.
  EXPECT_EQ(s.options, std::string(reinterpret_cast<const char*>(CONNINFO_UTF8_MARKER), 4));
  EXPECT_EQ(out, "DSN=Full;UID=alice;PWD=secret1;FBS=60");
  ConnHandle* c = Conn();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->state, kConnConnected);
  EXPECT_NE(c->flags & kConnMase, 0);
  EXPECT_NE(c->flags & kConnIncludeViews, 0);
  EXPECT_EQ(c->cn_fetchSize, 60u);
}

TEST_F(ConnTest, TheMakersArchiveDirectoryReachesTheAgentsInit) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full"));
  EXPECT_EQ(LastInitDir(), "/opt/qmr-jars/");
}

TEST_F(ConnTest, TheStringOverridesTheDataSourceAndTheFirstKeywordCounts) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS,
            DriverConnect("DSN=Full;UID=carol;MAXROWS=7;uid=dave;FBS=123;READONLY=no", &out));
  EXPECT_EQ(LastConnect().user, "carol");
  EXPECT_EQ(LastConnect().settings.maxRows, 7);
  EXPECT_EQ(LastConnect().readOnly, 0u);
  EXPECT_EQ(out, "DSN=Full;UID=carol;PWD=secret1;FBS=123");
}

TEST_F(ConnTest, LastUserStandsInForAMissingUid) {
  ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc_, (SQLCHAR*)"LastOnly", SQL_NTS, nullptr, 0, nullptr, 0));
  EXPECT_EQ(LastConnect().user, "bob");
  EXPECT_EQ(LastConnect().dbopts, "jdbc:example:last");
}

TEST_F(ConnTest, ANamedSectionIsTheOnlySourceNotDefault) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Sparse"));
  EXPECT_EQ(LastConnect().user, "sparse");
  EXPECT_EQ(LastConnect().dbopts, "");  // Default has one, but is not asked
  EXPECT_EQ(LastConnect().dbpath, "");
}

TEST_F(ConnTest, WithoutDsnOrFileTheDefaultSectionApplies) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("PWD=x", &out));
  EXPECT_EQ(LastConnect().user, "dflt");
  EXPECT_EQ(LastConnect().dbopts, "jdbc:example:default");
  EXPECT_EQ(LastConnect().dsn, "Default");
  EXPECT_EQ(out, "DSN=Default;UID=dflt;PWD=x;FBS=25");
}

TEST_F(ConnTest, AFileDataSourceIsReadUnderTheShortKeywords) {
  const std::string file = IniDir() + "/src.dsn";
  std::string out;
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("FILEDSN=" + file + ";PWD=p", &out));
  EXPECT_EQ(LastConnect().user, "fileuser");
  EXPECT_EQ(LastConnect().dbopts, "jdbc:example:file");
  EXPECT_EQ(LastConnect().dbpath, "");  // stored as JdbcDriver, read as JDBC
  EXPECT_EQ(out, "FILEDSN=" + file + ";UID=fileuser;PWD=p;FBS=60");
  Disconnect();
  // With a DSN as well, only the DSN's section counts.
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Sparse;FILEDSN=" + file));
  EXPECT_EQ(LastConnect().user, "sparse");
  EXPECT_EQ(LastConnect().dbopts, "");
}

TEST_F(ConnTest, ALongStoredUrlIsReadWhole) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=LongUrl"));
  const std::string& url = LastConnect().dbopts;
  EXPECT_EQ(url.size(), std::strlen("jdbc:example:") + 600 + std::strlen(";tail=\xC3\xA9nd"));
  EXPECT_EQ(url.substr(url.size() - 4), "\xC3\xA9nd");
}

TEST_F(ConnTest, BracedValuesReachTheAgentUnbracedAndGoBackBraced) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS,
            DriverConnect("DRIVER={Fake Driver};UID={u;1};PWD={a;b}}c};URL={jdbc:x:db;a=b}", &out));
  EXPECT_EQ(LastConnect().user, "u;1");
  EXPECT_EQ(LastConnect().password, "a;b}c");
  EXPECT_EQ(LastConnect().dbopts, "jdbc:x:db;a=b");
  // No DSN: the Default section fills in the rest.
  EXPECT_EQ(out.rfind("DRIVER={Fake Driver};UID={u;1};PWD={a;b}}c};JDBC=org.example.DefaultDriver;"
                      "URL={jdbc:x:db;a=b};FBS=25;",
                      0),
            0u)
      << out;
}

TEST_F(ConnTest, TheLongFormCarriesEverySetting) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS,
            DriverConnect("DRIVER=Fake Driver;DSN=Full;DYN_CURS_SENSITIVITY=disabled;NOAC=yes;"
                          "PNSOSC=7;PLCHR2VCHR=0;SQLDBMSNAME=Db;J_DCAT=1;FBS=0",
                          &out));
  EXPECT_EQ(out,
            "DRIVER={Fake Driver};UID=alice;PWD=secret1;JDBC=org.example.Driver;"
            "URL=jdbc:example:full;FBS=60;READONLY=yes;NLB=;MAXROWS=100000;NOAC=TRUE;"
            "DYN_CURS_SENSITIVITY=DISABLED;DLF=FALSE;NRSSL=FALSE;J_DCAT=TRUE;J_DSCH=FALSE;"
            "J_SSTOFF=FALSE;J_NSQI=FALSE;PNSOSC=7;NSSSE=FALSE;PLCHR2VCHR=0;SQLDBMSNAME=Db;"
            "MASE=1;IV=TRUE;IA=;NEGPRECFIX=FALSE;Server=Quillmar");
  EXPECT_EQ(LastConnect().settings.noAutoCommit, 1u);
  EXPECT_EQ(LastConnect().settings.dynCursSensitivity, 2u);
  EXPECT_EQ(LastConnect().settings.nullSizeOfChar, 7u);
  EXPECT_EQ(LastConnect().settings.longVarcharToVarchar, 0);
  EXPECT_EQ(LastConnect().dbmsName, "Db");
}

TEST_F(ConnTest, EveryConnectStartsFromACleanSettingsBlock) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Sparse;INITSQL=/tmp/x.sql;NOAC=1;JET=1;MAXROWS=5"));
  EXPECT_EQ(LastConnect().initialSql, "/tmp/x.sql");
  Disconnect();
  // A failed connect does not leave its texts for the next one either.
  fake.PushResult(5, 50);
  ASSERT_EQ(SQL_ERROR, DriverConnect("DSN=Sparse;SQLDBMSNAME=Left"));
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Sparse"));
  EXPECT_FALSE(LastConnect().hadInitialSql);
  EXPECT_FALSE(LastConnect().hadDbmsName);
  EXPECT_EQ(LastConnect().settings.noAutoCommit, 0u);
  EXPECT_EQ(LastConnect().settings.jet, 0u);
  EXPECT_EQ(LastConnect().settings.maxRows, 0);
}

TEST_F(ConnTest, ANullOutputBufferStillGetsTheLength) {
  SQLSMALLINT len = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)"DSN=Full", SQL_NTS, nullptr, 0,
                                          &len, SQL_DRIVER_NOPROMPT));
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen("DSN=Full;UID=alice;PWD=secret1;FBS=60")));
}

TEST_F(ConnTest, AShortOutputBufferIsCutWithAWarning) {
  SQLCHAR buf[10];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)"DSN=Full", SQL_NTS,
                                                    buf, sizeof buf, &len, SQL_DRIVER_NOPROMPT));
  EXPECT_STREQ(reinterpret_cast<char*>(buf), "DSN=Full;");
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen("DSN=Full;UID=alice;PWD=secret1;FBS=60")));
  ASSERT_FALSE(Diags().empty());
  EXPECT_EQ(Diags()[0].substr(0, 5), "01004");
  EXPECT_EQ(Conn()->state, kConnConnected);
}

TEST_F(ConnTest, TheUnicodeEntryPointMarksTheOptionsAndConvertsTheResult) {
  const char16_t in[] = u"DSN=Full;UID=\u00e9mile";
  SQLWCHAR out[100];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLDriverConnectW(dbc_, nullptr, (SQLWCHAR*)in, SQL_NTS, out, 100, &len,
                                           SQL_DRIVER_NOPROMPT));
  EXPECT_EQ(LastConnect().options, "W\x7F\x01\x01");
  EXPECT_EQ(LastConnect().user, "\xC3\xA9mile");
  const std::u16string want = u"DSN=Full;UID=\u00e9mile;PWD=secret1;FBS=60";
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(out)), want);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(want.size()));
}

TEST_F(ConnTest, SQLConnectBracesWhatItPassesOn) {
  ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc_, (SQLCHAR*)"Sparse", SQL_NTS, (SQLCHAR*)"x;UID=evil",
                                    SQL_NTS, (SQLCHAR*)"p}w;d", SQL_NTS));
  EXPECT_EQ(LastConnect().user, "x;UID=evil");
  EXPECT_EQ(LastConnect().password, "p}w;d");
}

TEST_F(ConnTest, SQLConnectRefusesBadLengthsAndASecondConnect) {
  EXPECT_EQ(SQL_ERROR, SQLConnect(dbc_, (SQLCHAR*)"Full", -7, nullptr, 0, nullptr, 0));
  EXPECT_EQ(Diags().at(0).substr(0, 5), "HY090");
  EXPECT_EQ(LastConnect().calls, 0);
  ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc_, (SQLCHAR*)"Full", 4, nullptr, 0, nullptr, 0));
  EXPECT_EQ(SQL_ERROR, SQLConnect(dbc_, (SQLCHAR*)"Full", SQL_NTS, nullptr, 0, nullptr, 0));
  EXPECT_EQ(Diags().at(0).substr(0, 5), "08002");
  EXPECT_EQ(SQL_ERROR, DriverConnect("DSN=Full"));
  EXPECT_EQ(LastConnect().calls, 1);
}

TEST_F(ConnTest, AFailedConnectGivesTheAgentsMessagesFirstAndStaysReusable) {
  fake.PushResult(5, 50);
  // The agent's failed connect leaves its messages on the environment handle.
  fake.PostError(qmrtest::FakeAgent::kEnvBase + 1, {"Login failed", "28000", 4, false});
  ASSERT_EQ(SQL_ERROR, DriverConnect("DSN=Full"));
  // The cause alone: no summary of the driver's that an application
  // showing one record would read instead.
  const std::vector<std::string> d = Diags();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].substr(0, 6), "28000|");
  EXPECT_NE(d[0].find("Login failed"), std::string::npos);
  EXPECT_EQ(Conn()->state, kConnAllocated);
  EXPECT_EQ(fake.CallCount(4), 1);  // the agent environment went again
  // The same handle connects afterwards.
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full"));
}

TEST_F(ConnTest, AFailedInitTellsItsCause) {
  FailNextInit("libjvm.so not found");
  ASSERT_EQ(SQL_ERROR, DriverConnect("DSN=Full"));
  const std::vector<std::string> d = Diags();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_NE(d[0].find("libjvm.so not found"), std::string::npos);
  EXPECT_EQ(fake.CallCount(4), 1);
  EXPECT_EQ(fake.CallCount(5), 0);
}

TEST_F(ConnTest, CapabilitiesFromTheAgentsMask) {
  fake.SetInfo(INFO_CAPABILITY_MASK, AGT_CAPABILITIES | AGT_CAP_AUTOCOMMIT);
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full"));
  ConnHandle* c = Conn();
  EXPECT_EQ(c->cn_needbind, 1u);
  EXPECT_EQ(c->cn_hasMoreRes, 1u);
  EXPECT_EQ(c->cn_hasV2DAE, 0u);
  EXPECT_EQ(c->cn_hasExecute2, 1u);
  EXPECT_EQ(c->cn_spOutDeferFetch, 0u);
  EXPECT_EQ(c->capDtc, 1u);
  EXPECT_EQ(c->capFailover, 0u);
  EXPECT_NE(c->flags & kConnAutoCommit, 0);
  Disconnect();
  fake.SetInfo(INFO_CAPABILITY_MASK, AGT_CAPABILITIES);
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full"));
  EXPECT_EQ(Conn()->flags & kConnAutoCommit, 0);
}

TEST_F(ConnTest, DisconnectFreesTheStatementsAndTheAgentSide) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full"));
  SQLHSTMT s1 = nullptr, s2 = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s1));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s2));
  Disconnect();
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_STMT, s1));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_STMT, s2));
  EXPECT_EQ(fake.CallCount(6), 1);
  EXPECT_EQ(fake.CallCount(4), 1);
  EXPECT_EQ(SQL_ERROR, SQLDisconnect(dbc_));  // 08003
  EXPECT_EQ(Diags().at(0).substr(0, 5), "08003");
}

TEST_F(ConnTest, ThePasswordNeverReachesTheTrace) {
  char name[] = "/tmp/qmr-conn-trace-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  unlink(name);
  setenv("QMR_DEBUGFILE", name, 1);
  TRC_Open(TRC_MODE_ODBC);
  unsetenv("QMR_DEBUGFILE");
  ASSERT_TRUE(TRC_Active());
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full;PWD={pw;Zq7}}x}"));
  Disconnect();
  ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc_, (SQLCHAR*)"Sparse", SQL_NTS, (SQLCHAR*)"u", SQL_NTS,
                                    (SQLCHAR*)"Kp9Zq", SQL_NTS));
  TRC_Close(TRC_MODE_ODBC);
  const std::vector<std::string> lines = ReadLines(name);
  unlink(name);
  bool sawTable = false, sawCompleted = false, sawCaps = false;
  for (const std::string& l : lines) {
    EXPECT_EQ(l.find("Zq"), std::string::npos) << l;
    EXPECT_EQ(l.find("secret1"), std::string::npos) << l;
    if (l.find("key=[URL]") != std::string::npos) sawTable = true;
    if (l.find("cmd (") != std::string::npos) sawCompleted = true;
    if (l.find("cn_hasV2DAE=0") != std::string::npos) sawCaps = true;
  }
  EXPECT_TRUE(sawTable);
  EXPECT_TRUE(sawCompleted);
  EXPECT_TRUE(sawCaps);
}

}  // namespace
}  // namespace conntest
