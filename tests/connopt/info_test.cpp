// SQLGetInfo and SQLGetFunctions with the fake agent behind the connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "driver/conn.h"
#include "driver/info.h"
#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-opt.h"
#include "option_fixture.h"
#include "util/errcodes.h"

namespace {

using qmrtest::OptionTest;

constexpr int kGetInfoSlot = 0;

// ---------------------------------------------------------------------------
// SQLGetFunctions.

class Functions : public OptionTest {
 protected:
  void SetUp() override {
    OptionTest::SetUp();
    Open(SQL_OV_ODBC3);
  }
  SQLUSMALLINT One(SQLUSMALLINT id) {
    SQLUSMALLINT v = 0xBEEF;
    EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, id, &v)) << id;
    return v;
  }
};

TEST_F(Functions, SingleQuestions) {
  EXPECT_EQ(SQL_FALSE, One(SQL_API_SQLBROWSECONNECT));
  EXPECT_EQ(SQL_FALSE, One(SQL_API_SQLDATASOURCES));
  EXPECT_EQ(SQL_FALSE, One(SQL_API_SQLSETSCROLLOPTIONS));
  EXPECT_EQ(SQL_FALSE, One(SQL_API_SQLDRIVERS));
  EXPECT_EQ(SQL_FALSE, One(SQL_API_SQLBINDPARAM));
  EXPECT_EQ(SQL_TRUE, One(SQL_API_SQLFETCHSCROLL));
  EXPECT_EQ(SQL_TRUE, One(SQL_API_SQLBULKOPERATIONS));
  EXPECT_EQ(SQL_TRUE, One(SQL_API_SQLBINDPARAMETER));
  EXPECT_EQ(SQL_TRUE, One(SQL_API_SQLALLOCHANDLE));
  EXPECT_EQ(SQL_TRUE, One(SQL_API_SQLGETSTMTATTR));
  EXPECT_EQ(SQL_FALSE, One(1013));
  EXPECT_EQ(SQL_FALSE, One(100));
  EXPECT_EQ(SQL_FALSE, One(73));
}

TEST_F(Functions, IdsBeyondTheBitmapAreNotSupported) {
  // 250 words hold ids up to 3999; nothing above them is read.
  EXPECT_EQ(SQL_FALSE, One(3999));
  EXPECT_EQ(SQL_FALSE, One(4000));
  EXPECT_EQ(SQL_FALSE, One(40000));
  EXPECT_EQ(SQL_FALSE, One(65535));
}

TEST_F(Functions, WholeListsHaveTheirExactSizes) {
  std::vector<SQLUSMALLINT> two(100 + 4, 0x5A5A);
  ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, two.data()));
  EXPECT_EQ(SQL_TRUE, two[SQL_API_SQLEXECDIRECT]);
  EXPECT_EQ(SQL_FALSE, two[SQL_API_SQLBROWSECONNECT]);
  EXPECT_EQ(SQL_FALSE, two[0]);
  for (size_t i = 100; i < two.size(); ++i) EXPECT_EQ(0x5A5A, two[i]) << i;

  std::vector<SQLUSMALLINT> three(SQL_API_ODBC3_ALL_FUNCTIONS_SIZE + 4, 0x5A5A);
  ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, three.data()));
  for (size_t i = SQL_API_ODBC3_ALL_FUNCTIONS_SIZE; i < three.size(); ++i) {
    EXPECT_EQ(0x5A5A, three[i]) << i;
  }
  // The bitmap and the single answers agree for every id.
  for (unsigned id = 1; id < 4000; ++id) {
    if (id == SQL_API_ODBC3_ALL_FUNCTIONS) continue;
    EXPECT_EQ(SQL_FUNC_EXISTS(three.data(), id) ? SQL_TRUE : SQL_FALSE,
              One(static_cast<SQLUSMALLINT>(id)))
        << id;
  }
  EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_SQLTABLES, nullptr));
}

// ---------------------------------------------------------------------------
// SQLGetInfo.

class Info : public OptionTest {
 protected:
  void SetUp() override {
    OptionTest::SetUp();
    Open(SQL_OV_ODBC3);
  }
  // The 32-bit answer through the 8-bit and the W entry point.
  void Int(SQLUSMALLINT type, SQLUINTEGER* a, SQLUINTEGER* w) {
    SQLSMALLINT len = 0;
    *a = *w = 0xDEADBEEF;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, a, 0, &len)) << type;
    EXPECT_EQ(4, len);
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, type, w, 0, &len)) << type;
    EXPECT_EQ(4, len);
  }
  std::string Text(SQLUSMALLINT type) {
    char buf[256] = "";
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, buf, sizeof buf, &len)) << type;
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(buf)), len);
    return buf;
  }
  std::u16string TextW(SQLUSMALLINT type) {
    char16_t buf[256] = {};
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, type, buf, sizeof buf, &len)) << type;
    std::u16string s(buf);
    EXPECT_EQ(static_cast<SQLSMALLINT>(s.size() * 2), len);
    return s;
  }
};

TEST_F(Info, CoreAnswersNeedNoConnection) {
  SQLUSMALLINT level = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_ODBC_API_CONFORMANCE, &level, 0, &len));
  EXPECT_EQ(1, level);
  EXPECT_EQ(2, len);
  EXPECT_EQ("03.50", Text(SQL_DRIVER_ODBC_VER));
  EXPECT_EQ(u"03.50", TextW(SQL_DRIVER_ODBC_VER));
  Conn()->dsn = "Lager\xc3\xa4";
  EXPECT_EQ("Lager\xc3\xa4", Text(SQL_DATA_SOURCE_NAME));
  EXPECT_EQ(u"Lager\u00e4", TextW(SQL_DATA_SOURCE_NAME));
  EXPECT_EQ(0, fake.CallCount(kGetInfoSlot));

  char buf[64];
  EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_DBMS_NAME, buf, sizeof buf, &len));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLGetInfoW(dbc, SQL_KEYWORDS, buf, sizeof buf, &len));
  EXPECT_EQ("08003", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Info, SameAnswersThroughBothWidthsAndOneAgentCallEach) {
  Connect();
  fake.SetInfo(INFO_ODBC_INT | SQL_NUMERIC_FUNCTIONS, 0x00ABCDEF);
  fake.SetInfo(INFO_ODBC_INT | SQL_MAX_COLUMN_NAME_LEN, 128);
  SetText(INFO_ODBC_TEXT | SQL_IDENTIFIER_QUOTE_CHAR, "\"");
  SetText(INFO_ODBC_TEXT | SQL_DBMS_NAME,
          "Base de donn\xc3\xa9"
          "es");

  SQLUINTEGER a = 0, w = 0;
  Int(SQL_NUMERIC_FUNCTIONS, &a, &w);
  EXPECT_EQ(0x00ABCDEFu, a);
  EXPECT_EQ(a, w);

  SQLUSMALLINT sa = 0, sw = 0;
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_MAX_COLUMN_NAME_LEN, &sa, 0, &len));
  EXPECT_EQ(2, len);
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, SQL_MAX_COLUMN_NAME_LEN, &sw, 0, &len));
  EXPECT_EQ(128, sa);
  EXPECT_EQ(sa, sw);

  EXPECT_EQ(
      "Base de donn\xc3\xa9"
      "es",
      Text(SQL_DBMS_NAME));
  EXPECT_EQ(u"Base de donn\u00e9es", TextW(SQL_DBMS_NAME));
  EXPECT_EQ("\"", Text(SQL_IDENTIFIER_QUOTE_CHAR));
  EXPECT_EQ(u"\"", TextW(SQL_IDENTIFIER_QUOTE_CHAR));

  // Every type reached the agent once, whatever the number of questions.
  EXPECT_EQ(4, fake.CallCount(kGetInfoSlot));
  Text(SQL_DBMS_NAME);
  Int(SQL_NUMERIC_FUNCTIONS, &a, &w);
  EXPECT_EQ(4, fake.CallCount(kGetInfoSlot));
}

TEST_F(Info, ResetConnectionAsksAgain) {
  ConnHandle* c = Connect();
  fake.SetInfo(INFO_ODBC_INT | SQL_TXN_CAPABLE, SQL_TC_ALL);
  SQLUSMALLINT v = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_TXN_CAPABLE, &v, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_TXN_CAPABLE, &v, 0, nullptr));
  EXPECT_EQ(1, fake.CallCount(kGetInfoSlot));
  CONN_Reset(c);  // what a disconnect does
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_TXN_CAPABLE, &v, 0, nullptr));
  EXPECT_EQ(2, fake.CallCount(kGetInfoSlot));
  EXPECT_EQ(SQL_TC_ALL, v);
}

TEST_F(Info, DatabaseNameIsAskedEveryTime) {
  Connect();
  SetText(INFO_ODBC_TEXT | SQL_DATABASE_NAME, "one");
  EXPECT_EQ("one", Text(SQL_DATABASE_NAME));
  SetText(INFO_ODBC_TEXT | SQL_DATABASE_NAME, "two");
  EXPECT_EQ("two", Text(SQL_DATABASE_NAME));
  EXPECT_EQ(2, fake.CallCount(kGetInfoSlot));
}

TEST_F(Info, OdbcTwoAndThreeOuterJoinNumbersShareTheirAnswer) {
  Connect();
  fake.SetInfo(INFO_ODBC_INT | SQL_OJ_CAPABILITIES, 0x7F);
  SQLUINTEGER v = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_OJ_CAPABILITIES, &v, 0, nullptr));
  v = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, 65003, &v, 0, nullptr));
  EXPECT_EQ(0x7Fu, v);
  EXPECT_EQ(1, fake.CallCount(kGetInfoSlot));
}

TEST_F(Info, CutTextsWarnAndReportTheirFullLength) {
  Connect();
  const std::string keywords = "BLOB,CLOB,SERIAL,SYNONYM";
  SetText(INFO_ODBC_TEXT | SQL_KEYWORDS, keywords);
  char16_t wide[8];
  std::memset(wide, 0x23, sizeof wide);
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfoW(dbc, SQL_KEYWORDS, wide, 10, &len));
  EXPECT_EQ(u"BLOB", std::u16string(wide));
  EXPECT_EQ(0x2323, wide[5]);
  EXPECT_EQ(static_cast<SQLSMALLINT>(keywords.size() * 2), len);
  EXPECT_EQ("01004", State(SQL_HANDLE_DBC, dbc));

  char buf[6];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(dbc, SQL_KEYWORDS, buf, 5, &len));
  EXPECT_STREQ("BLOB", buf);
  EXPECT_EQ('#', buf[5]);
  EXPECT_EQ(static_cast<SQLSMALLINT>(keywords.size()), len);
  // The cache holds the whole text.
  EXPECT_EQ(keywords, Text(SQL_KEYWORDS));
  EXPECT_EQ(1, fake.CallCount(kGetInfoSlot));
  // Only the length.
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_KEYWORDS, nullptr, 0, &len));
  EXPECT_EQ(static_cast<SQLSMALLINT>(keywords.size()), len);
  EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_KEYWORDS, buf, -1, &len));
  EXPECT_EQ("HY090", State(SQL_HANDLE_DBC, dbc));
}

TEST_F(Info, WidthOfNumericAnswersFollowsOdbc) {
  Connect();
  // Handles are SQLULEN: all eight bytes are written.
  uint64_t handle = ~0ull;
  SQLSMALLINT len = 0;
  fake.SetInfo(INFO_ODBC_INT | SQL_DRIVER_HDBC, 0);
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_DRIVER_HDBC, &handle, 0, &len));
  EXPECT_EQ(0u, handle);
  EXPECT_EQ(8, len);
  // SQL_MAX_ASYNC_CONCURRENT_STATEMENTS is an SQLUINTEGER.
  uint32_t n = ~0u;
  fake.SetInfo(INFO_ODBC_INT | SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, 0);
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, &n, 0, &len));
  EXPECT_EQ(0u, n);
  EXPECT_EQ(4, len);
  // A 16-bit answer leaves the bytes behind it alone.
  uint16_t pair[2] = {0xFFFF, 0xFFFF};
  fake.SetInfo(INFO_ODBC_INT | SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CB_PRESERVE);
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_CURSOR_COMMIT_BEHAVIOR, pair, 0, &len));
  EXPECT_EQ(SQL_CB_PRESERVE, pair[0]);
  EXPECT_EQ(0xFFFF, pair[1]);
  EXPECT_EQ(2, len);
  // The core's own version type.
  uint32_t core = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, 1750, &core, 0, &len));
  EXPECT_EQ(3u, core);
}

TEST_F(Info, UnknownAndUnansweredTypes) {
  ConnHandle* c = Connect();
  SQLUINTEGER v = 0;
  for (SQLUSMALLINT type : {SQLUSMALLINT{SQL_DM_VER}, SQLUSMALLINT{174}, SQLUSMALLINT{9999},
                            SQLUSMALLINT{10006}, SQLUSMALLINT{65535}}) {
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, type, &v, 0, nullptr)) << type;
    EXPECT_EQ("HY096", State(SQL_HANDLE_DBC, dbc)) << type;
  }
  EXPECT_EQ(0, fake.CallCount(kGetInfoSlot));

  // The agent does not answer the type: IM001; nothing is cached.
  fake.PushResult(kGetInfoSlot, 1);
  EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_MAX_ROW_SIZE, &v, 0, nullptr));
  EXPECT_EQ("IM001", State(SQL_HANDLE_DBC, dbc));
  fake.SetInfo(INFO_ODBC_INT | SQL_MAX_ROW_SIZE, 8000);
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_MAX_ROW_SIZE, &v, 0, nullptr));
  EXPECT_EQ(8000u, v);
  // What the agent posted on not answering reaches the application too.
  fake.PushResult(kGetInfoSlot, 1);
  fake.PostError(c->agentConn, {"item not kept", "HY000", 3, false});
  EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_MAX_STATEMENT_LEN, &v, 0, nullptr));
  EXPECT_NE(
      std::string::npos,
      (Message(SQL_HANDLE_DBC, dbc, 1) + Message(SQL_HANDLE_DBC, dbc, 2)).find("item not kept"));

  // A JDBC failure brings its message.
  fake.PushResult(kGetInfoSlot, ERR_GENERAL);
  fake.PostError(c->agentConn, {"metadata failed", "HY000", 12, false});
  char buf[32];
  EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_USER_NAME, buf, sizeof buf, nullptr));
  EXPECT_NE(std::string::npos, Message(SQL_HANDLE_DBC, dbc).find("metadata failed"));
}

// ---------------------------------------------------------------------------
// SQL_CONVERT_ answers from the agent's value-type table.

class Convert : public OptionTest {
 protected:
  // The JDBC agent's own table, as the connect fetches it.
  void GiveTable(ConnHandle* c) {
    c->opTableKind = 1;
    c->opTableCount = AGT_VALUE_TYPE_COUNT;
    c->opTableRows = AgentValueTypes;
  }
  SQLUINTEGER Mask(SQLUSMALLINT type, bool wide) {
    SQLUINTEGER v = 0xDEADBEEF;
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS,
              wide ? SQLGetInfoW(dbc, type, &v, 0, &len) : SQLGetInfo(dbc, type, &v, 0, &len));
    EXPECT_EQ(4, len);
    return v;
  }
};

TEST_F(Convert, MasksFromTheValueTypeTableInBothVersions) {
  for (uint32_t version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
    SCOPED_TRACE(version);
    Open(version);
    GiveTable(Connect());
    EXPECT_EQ(0x73FFu, Mask(SQL_CONVERT_CHAR, false));
    EXPECT_EQ(0xE073FFu, Mask(SQL_CONVERT_CHAR, true));
    EXPECT_EQ(0xE073FFu, Mask(SQL_CONVERT_WVARCHAR, true));
    EXPECT_EQ(0x40F01u, Mask(SQL_CONVERT_VARBINARY, false));
    // ODBC 3's date C types are the ODBC 2 structures: the conversions hold.
    EXPECT_EQ(0x28301u, Mask(SQL_CONVERT_DATE, false));
    EXPECT_EQ(0xE30301u, Mask(SQL_CONVERT_TIME, true));
    EXPECT_EQ(0x38301u, Mask(SQL_CONVERT_TIMESTAMP, false));
  }
  // A mask asks whether the agent takes {fn CONVERT}, the JDBC driver's own
  // conversions and whether it knows the wide names.
  EXPECT_EQ(42, fake.CallCount(kGetInfoSlot));
}

TEST_F(Convert, WithoutTheTableOnlyTheUncheckedMasksRemain) {
  Open(SQL_OV_ODBC3);
  // Not connected: no table.
  EXPECT_EQ(0x73FFu, Mask(SQL_CONVERT_INTEGER, false));
  EXPECT_EQ(0u, Mask(SQL_CONVERT_DATE, false));
  EXPECT_EQ(0u, Mask(SQL_CONVERT_BINARY, true));
  // A table without timestamps.
  ConnHandle* c = Connect();
  static const AgentValueType noTimestamp[] = {{SQL_C_CHAR, 4000, 0}, {SQL_C_DATE, 6, 0x200}};
  c->opTableKind = 1;
  c->opTableCount = 2;
  c->opTableRows = noTimestamp;
  EXPECT_EQ(0x28301u, Mask(SQL_CONVERT_DATE, false));
  EXPECT_EQ(0u, Mask(SQL_CONVERT_TIMESTAMP, false));
}

TEST_F(Convert, AgentAnswersWhenItSaysSoAndIsAskedOnce) {
  Open(SQL_OV_ODBC3);
  ConnHandle* c = Connect();
  GiveTable(c);
  c->cap0x200 = 1;
  fake.SetInfo(INFO_ODBC_INT | SQL_CONVERT_DATE, 0x1);
  EXPECT_EQ(0x1u, Mask(SQL_CONVERT_DATE, false));
  EXPECT_EQ(0x1u, Mask(SQL_CONVERT_DATE, true));
  EXPECT_EQ(1, fake.CallCount(kGetInfoSlot));
}

TEST(InfoForms, EveryTypeHasOneFormAndItsOwnCacheEntry) {
  std::vector<int> seen[5];
  for (unsigned t = 0; t < 65536; ++t) {
    int slot = -1;
    const InfoForm f = INFO_Form(static_cast<uint16_t>(t), &slot);
    if (f == InfoForm::None) {
      EXPECT_EQ(-1, slot);
      continue;
    }
    const int kind = f == InfoForm::Handle ? static_cast<int>(InfoForm::Int) : static_cast<int>(f);
    if (t == 65003) {
      int ojSlot = -1;
      INFO_Form(SQL_OJ_CAPABILITIES, &ojSlot);
      EXPECT_EQ(ojSlot, slot);
      continue;
    }
    seen[kind].push_back(slot);
  }
  const int limits[5] = {0, ConnInfoCache::kShorts, ConnInfoCache::kInts, 0, ConnInfoCache::kTexts};
  for (int k = 1; k < 5; ++k) {
    std::vector<int> s = seen[k];
    std::sort(s.begin(), s.end());
    EXPECT_TRUE(std::adjacent_find(s.begin(), s.end()) == s.end()) << "kind " << k;
    if (!s.empty()) {
      EXPECT_GE(s.front(), 0);
      EXPECT_LT(s.back(), limits[k]);
    }
  }
  int slot = 0;
  EXPECT_EQ(InfoForm::Text, INFO_Form(SQL_KEYWORDS, &slot));
  EXPECT_EQ(InfoForm::Short, INFO_Form(SQL_TXN_CAPABLE, &slot));
  EXPECT_EQ(InfoForm::Int, INFO_Form(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, &slot));
  EXPECT_EQ(InfoForm::Handle, INFO_Form(SQL_DRIVER_HDESC, &slot));
  EXPECT_EQ(InfoForm::None, INFO_Form(SQL_DM_VER, &slot));
}

}  // namespace
