// Information answers of the agent against HSQLDB.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-serv.h"
#include "jvm_env.h"

using namespace jinfo;

namespace {

constexpr uint32_t Int(uint16_t type) { return INFO_ODBC_INT | type; }
constexpr uint32_t Text(uint16_t type) { return INFO_ODBC_TEXT | type; }

class Info : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { conn_ = Connect("info"); }
  static void TearDownTestSuite() {
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
    conn_ = 0;
  }
  void SetUp() override { ASSERT_NE(conn_, 0u); }

  static uint32_t conn_;
};
uint32_t Info::conn_ = 0;

TEST_F(Info, DbmsNameAndServerName) {
  uint32_t rc = 0;
  EXPECT_EQ(InfoText(conn_, Text(SQL_DBMS_NAME), &rc), "HSQL Database Engine");
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(InfoText(conn_, Text(SQL_SERVER_NAME), &rc), "HSQL Database Engine");
  EXPECT_FALSE(InfoText(conn_, Text(SQL_DBMS_VER), &rc).empty());
  EXPECT_EQ(rc, 0u);
  // The wrong form for the type: an integer 0 (and no error).
  EXPECT_EQ(InfoInt(conn_, Int(SQL_DBMS_NAME), &rc), 0u);
  EXPECT_EQ(rc, 0u);
}

TEST_F(Info, IdentifiersOfAnUpperCaseServer) {
  uint32_t rc = 0;
  EXPECT_EQ(InfoInt(conn_, Int(SQL_IDENTIFIER_CASE), &rc), static_cast<uint32_t>(SQL_IC_UPPER));
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(InfoText(conn_, Text(SQL_IDENTIFIER_QUOTE_CHAR), &rc), "\"");
  EXPECT_EQ(rc, 0u);
}

TEST_F(Info, TransactionsAndIsolation) {
  uint32_t rc = 0;
  EXPECT_EQ(InfoInt(conn_, Int(SQL_TXN_ISOLATION_OPTION), &rc),
            static_cast<uint32_t>(SQL_TXN_READ_UNCOMMITTED | SQL_TXN_READ_COMMITTED |
                                  SQL_TXN_REPEATABLE_READ | SQL_TXN_SERIALIZABLE));
  EXPECT_EQ(rc, 0u);
  EXPECT_NE(InfoInt(conn_, Int(SQL_TXN_CAPABLE), &rc), static_cast<uint32_t>(SQL_TC_NONE));
  EXPECT_EQ(rc, 0u);
  // A numeric type asked as text: the empty text.
  EXPECT_EQ(InfoText(conn_, Text(SQL_TXN_CAPABLE), &rc), "");
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(InfoInt(conn_, OPT_TXN_ISOLATION, &rc), static_cast<uint32_t>(SQL_TXN_READ_COMMITTED));
  EXPECT_EQ(rc, 0u);
}

TEST_F(Info, FunctionListsOfTheServer) {
  uint32_t rc = 0;
  const uint32_t num = InfoInt(conn_, Int(SQL_NUMERIC_FUNCTIONS), &rc);
  EXPECT_EQ(rc, 0u);
  const uint32_t some = SQL_FN_NUM_ABS | SQL_FN_NUM_CEILING | SQL_FN_NUM_FLOOR | SQL_FN_NUM_MOD;
  EXPECT_EQ(num & some, some);
  // HSQLDB names its system functions DATABASE, IFNULL and USER.
  EXPECT_EQ(InfoInt(conn_, Int(SQL_SYSTEM_FUNCTIONS), &rc),
            static_cast<uint32_t>(SQL_FN_SYS_DBNAME | SQL_FN_SYS_IFNULL | SQL_FN_SYS_USERNAME));
  EXPECT_EQ(rc, 0u);
  EXPECT_NE(InfoInt(conn_, Int(SQL_STRING_FUNCTIONS), &rc) & SQL_FN_STR_CONCAT, 0u);
  EXPECT_NE(InfoInt(conn_, Int(SQL_TIMEDATE_FUNCTIONS), &rc) & SQL_FN_TD_NOW, 0u);
}

TEST_F(Info, ConstantsAndConversions) {
  uint32_t rc = 0;
  EXPECT_EQ(InfoText(conn_, Text(SQL_DRIVER_ODBC_VER), &rc), "03.50");
  EXPECT_EQ(InfoText(conn_, Text(SQL_DATA_SOURCE_NAME), &rc), " ");
  const std::string name = InfoText(conn_, Text(SQL_DRIVER_NAME), &rc);
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('/'), std::string::npos);
  EXPECT_EQ(InfoInt(conn_, Int(SQL_SCROLL_CONCURRENCY), &rc), 0x0Bu);
  EXPECT_EQ(InfoInt(conn_, Int(SQL_SCROLL_OPTIONS), &rc), 31u);
  EXPECT_EQ(InfoInt(conn_, Int(SQL_CONVERT_INTERVAL_DAY_TIME), &rc), 0u);
  EXPECT_EQ(InfoInt(conn_, Int(SQL_CONVERT_INTERVAL_YEAR_MONTH), &rc), 0u);
  const uint32_t cvt = InfoInt(conn_, Int(SQL_CONVERT_INTEGER), &rc);
  EXPECT_EQ(rc, 0u);
  EXPECT_NE(cvt & SQL_CVT_INTEGER, 0u);
  EXPECT_EQ(InfoInt(conn_, Int(SQL_MAX_SCHEMA_NAME_LEN), &rc), 128u);
}

TEST_F(Info, CapabilityMaskEnablesDynamicCursors) {
  JdbcConn* c = AGT_Conn(conn_);
  ASSERT_NE(c, nullptr);
  c->dynCursorsEnabled = 0;
  uint32_t rc = 0;
  EXPECT_EQ(InfoInt(conn_, INFO_CAPABILITY_MASK, &rc), 0x359Fu);
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(c->dynCursorsEnabled, 1u);
  EXPECT_EQ(InfoInt(conn_, INFO_ROW_VERSIONS, &rc), 0u);  // sensitivity LOW
  EXPECT_EQ(InfoInt(conn_, INFO_WIDE_TEXT, &rc), 0u);     // no UTF-8 marker
  EXPECT_EQ(InfoInt(conn_, OPT_AUTOCOMMIT, &rc), 1u);     // on
}

TEST_F(Info, CurrentCatalogAndEnvironment) {
  uint32_t rc = 0;
  EXPECT_EQ(InfoText(conn_, INFO_CURRENT_CATALOG, &rc), "PUBLIC");
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(InfoText(conn_, Text(SQL_DATABASE_NAME), &rc), "PUBLIC");
  EXPECT_EQ(InfoText(Env(), INFO_AGENT_KIND, &rc), "jdbc");
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(InfoText(Env(), 0x11010001, &rc), "");
  EXPECT_EQ(rc, ERR_NOT_SUPPORTED);
}

TEST_F(Info, RequestsNotAnswered) {
  uint32_t rc = 0;
  for (uint32_t request : {Int(SQL_DM_VER), Int(999), Int(0xFFFF), 0x22050000u, 0x23040011u,
                           INFO_BEFORE_SCROLL, 0x2201000Du, 0x2203006Du, 0x40000000u}) {
    InfoInt(conn_, request, &rc);
    EXPECT_EQ(rc, ERR_NOT_SUPPORTED) << std::hex << request;
  }
}

TEST_F(Info, BadHandlesAndBuffers) {
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  uint32_t rc = 0;
  // A statement handle in a connection request, and the other way round.
  InfoInt(stmt, Int(SQL_DBMS_NAME), &rc);
  EXPECT_EQ(rc, ERR_INVALID_ARGUMENT);
  InfoInt(conn_, INFO_ROW_COUNT, &rc);
  EXPECT_EQ(rc, ERR_INVALID_ARGUMENT);
  InfoText(conn_, INFO_AGENT_KIND, &rc);
  EXPECT_EQ(rc, ERR_INVALID_ARGUMENT);
  // An integer answer needs four bytes.
  uint16_t small = 0;
  uint16_t len = 0;
  EXPECT_EQ(Ops().DRV_GetInfo(conn_, Int(SQL_IDENTIFIER_CASE), &small, sizeof small, &len),
            ERR_INVALID_ARGUMENT);
  EXPECT_EQ(small, 0u);
  // Null buffers: the length alone, or nothing.
  EXPECT_EQ(Ops().DRV_GetInfo(conn_, Int(SQL_IDENTIFIER_CASE), nullptr, 0, &len), 0u);
  EXPECT_EQ(len, 4u);
  EXPECT_EQ(Ops().DRV_GetInfo(conn_, Text(SQL_DBMS_NAME), nullptr, 0, nullptr), 0u);
  // A text cut to the buffer, without a warning.
  char buf[5] = {};
  EXPECT_EQ(Ops().DRV_GetInfo(conn_, Text(SQL_DBMS_NAME), buf, sizeof buf, &len), 0u);
  EXPECT_STREQ(buf, "HSQL");
  EXPECT_EQ(len, 4u);
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
  InfoInt(stmt, INFO_ROW_COUNT, &rc);
  EXPECT_EQ(rc, ERR_INVALID_ARGUMENT);
}

TEST_F(Info, StatementAnswers) {
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  uint32_t rc = 0;
  EXPECT_EQ(InfoInt(stmt, INFO_ROW_COUNT, &rc), 0xFFFFFFFFu);  // nothing run: no count
  EXPECT_EQ(rc, 0u);
  JdbcStmt* s = AGT_Stmt(stmt);
  ASSERT_NE(s, nullptr);
  // The current result's own count, whatever the statement's kind.
  s->kind = 3;
  s->updateCount = 3;
  EXPECT_EQ(InfoInt(stmt, INFO_ROW_COUNT, &rc), 3u);
  EXPECT_EQ(InfoInt(stmt, OPT_QUERY_TIMEOUT, &rc), 0u);
  EXPECT_EQ(InfoInt(stmt, OPT_ROWSET_SIZE, &rc), 1u);
  EXPECT_EQ(InfoInt(stmt, OPT_CONCURRENCY, &rc), static_cast<uint32_t>(SQL_CONCUR_READ_ONLY));
  EXPECT_EQ(InfoInt(stmt, OPT_ROW_NUMBER, &rc), 0u);
  EXPECT_EQ(InfoInt(stmt, OPT_LAST_SERIAL, &rc), 0u);  // no serial without the server's driver
  EXPECT_EQ(rc, 0u);
  for (uint32_t request :
       {OPT_STMT_INT | SQL_ASYNC_ENABLE, OPT_STMT_INT | SQL_BIND_TYPE,
        OPT_STMT_INT | SQL_ATTR_FETCH_BOOKMARK_PTR, OPT_STMT_TEXT, OPT_STMT_INT | 1052}) {
    InfoInt(stmt, request, &rc);
    EXPECT_EQ(rc, ERR_NOT_SUPPORTED) << std::hex << request;
  }
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
}

// A connection whose DatabaseMetaData object is not one: every metadata call
// fails, as it does with a driver whose methods throw.
class BrokenMeta : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = Connect("broken");
    ASSERT_NE(conn_, 0u);
    c_ = AGT_Conn(conn_);
    JNIEnv* env = Jni();
    jclass cls = env->FindClass("java/lang/Object");
    jmethodID init = env->GetMethodID(cls, "<init>", "()V");
    jobject obj = env->NewObject(cls, init);
    saved_ = c_->metaData;
    c_->metaData = env->NewGlobalRef(obj);
    env->DeleteLocalRef(obj);
    env->DeleteLocalRef(cls);
  }
  void TearDown() override {
    if (c_ != nullptr) {
      Jni()->DeleteGlobalRef(c_->metaData);
      c_->metaData = saved_;
    }
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }

  uint32_t conn_ = 0;
  JdbcConn* c_ = nullptr;
  jobject saved_ = nullptr;
};

TEST_F(BrokenMeta, AnswersOfSeveralCallsCountFailuresAsFalse) {
  uint32_t rc = 0;
  EXPECT_EQ(InfoInt(conn_, Int(SQL_IDENTIFIER_CASE), &rc), 0u);
  EXPECT_EQ(rc, 0u);
  EXPECT_TRUE(Errors(conn_).empty());
  EXPECT_EQ(InfoInt(conn_, Int(SQL_TXN_ISOLATION_OPTION), &rc), 0u);
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(InfoInt(conn_, Int(SQL_TXN_CAPABLE), &rc), static_cast<uint32_t>(SQL_TC_NONE));
  EXPECT_EQ(InfoInt(conn_, Int(SQL_SUBQUERIES), &rc), 0u);
  EXPECT_EQ(InfoInt(conn_, Int(SQL_QUOTED_IDENTIFIER_CASE), &rc),
            static_cast<uint32_t>(SQL_IC_SENSITIVE));
  EXPECT_EQ(rc, 0u);
  EXPECT_TRUE(Errors(conn_).empty());
}

TEST_F(BrokenMeta, SchemaNameLengthFallsBackTo255) {
  uint32_t rc = 0;
  EXPECT_EQ(InfoInt(conn_, Int(SQL_MAX_SCHEMA_NAME_LEN), &rc), 255u);
  EXPECT_EQ(rc, 0u);
  EXPECT_TRUE(Errors(conn_).empty());
}

TEST_F(BrokenMeta, AnswersOfOneCallReportTheFailure) {
  uint32_t rc = 0;
  char buf[64];
  std::strcpy(buf, "untouched");
  uint16_t len = 0;
  rc = Ops().DRV_GetInfo(conn_, Text(SQL_DBMS_VER), buf, sizeof buf, &len);
  EXPECT_NE(rc, 0u);
  EXPECT_NE(rc, ERR_NOT_SUPPORTED);
  EXPECT_STREQ(buf, "untouched");
  const auto errors = Errors(conn_);
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].find("getDatabaseProductVersion"), std::string::npos) << errors[0];
  InfoInt(conn_, Int(SQL_CONVERT_CHAR), &rc);
  EXPECT_NE(rc, 0u);
  EXPECT_FALSE(Errors(conn_).empty());
  // Answers that need no metadata still come.
  EXPECT_EQ(InfoInt(conn_, Int(SQL_SCROLL_CONCURRENCY), &rc), 0x0Bu);
  EXPECT_EQ(rc, 0u);
}

TEST(InfoSettings, ConnectionStringSettingsShapeTheAnswers) {
  JdbcConnSettings set;
  char name[] = "Informix Dynamic Server";
  set.dbmsName = name;
  set.noAutoCommit = 1;
  set.noQuotedIdentifier = 1;
  set.noSearchEscape = 1;
  set.dynCursSensitivity = 2;
  const uint32_t conn = Connect("settings", set);
  ASSERT_NE(conn, 0u);
  uint32_t rc = 0;
  EXPECT_EQ(InfoText(conn, Text(SQL_DBMS_NAME), &rc), "Informix Dynamic Server");
  EXPECT_EQ(InfoText(conn, Text(SQL_SERVER_NAME), &rc), "HSQL Database Engine");
  EXPECT_EQ(InfoText(conn, Text(SQL_IDENTIFIER_QUOTE_CHAR), &rc), " ");
  EXPECT_EQ(InfoText(conn, Text(SQL_SEARCH_PATTERN_ESCAPE), &rc), "");
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(InfoInt(conn, INFO_CAPABILITY_MASK, &rc), 0x349Fu);
  EXPECT_EQ(InfoInt(conn, Int(SQL_SCROLL_OPTIONS), &rc), 17u);
  EXPECT_EQ(InfoInt(conn, INFO_ROW_VERSIONS, &rc), 0u);
  EXPECT_EQ(InfoInt(conn, OPT_AUTOCOMMIT, &rc), 0u);  // NOAC: auto-commit off
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);

  JdbcConnSettings high;
  high.dynCursSensitivity = 1;
  const uint32_t conn2 = Connect("settings2", high);
  ASSERT_NE(conn2, 0u);
  EXPECT_EQ(InfoInt(conn2, INFO_ROW_VERSIONS, &rc), 1u);
  EXPECT_EQ(InfoInt(conn2, Int(SQL_SCROLL_OPTIONS), &rc), 31u);
  EXPECT_EQ(InfoText(conn2, Text(SQL_SEARCH_PATTERN_ESCAPE), &rc), "\\");
  EXPECT_EQ(Ops().DRV_Disconnect(conn2), 0u);
}

}  // namespace

namespace {

TEST(DbmsVersion, OdbcsFormFromTheVersionsAndTheText) {
  struct Case {
    const char* text;
    int32_t major, minor;
    const char* want;
  };
  const Case cases[] = {
      {"2.7.1", 2, 7, "02.07.0001"},
      {"15.4 (Debian 15.4-1)", 15, 4, "15.04.0000"},
      {"10.14.2.0 - (1828579)", 10, 14, "10.14.0002"},
      {"2.7.1", -1, -1, "02.07.0001"},        // a driver older than JDBC 3: the text alone
      {"Release 8.0.3", 9, 1, "09.01.0000"},  // the text's release is another version's
      {"", 3, 2, "03.02.0000"},
      {"123.456.78901", -1, -1, "99.99.9999"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.want, dbmsVersionText(c.text, c.major, c.minor)) << c.text;
}

}  // namespace
