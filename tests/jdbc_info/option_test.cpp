// Agent options against HSQLDB: connection options, statement options with
// their caps and the cursor negotiation, and the query timeout of Java
// statements made after it was set.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-opt.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-wrap.h"
#include "jvm_env.h"
#include "proxy/register.h"

using namespace jinfo;

namespace {

constexpr uint32_t StmtOpt(uint16_t option) { return OPT_STMT_INT | option; }

// One connection (with chosen settings) and a statement on it.
class Options : public ::testing::Test {
 protected:
  void Open(const std::string& db, const JdbcConnSettings& set = JdbcConnSettings{}) {
    conn_ = Connect(db, set);
    ASSERT_NE(conn_, 0u);
    ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt_), 0u);
    s_ = AGT_Stmt(stmt_);
    ASSERT_NE(s_, nullptr);
  }
  void TearDown() override {
    if (stmt_ != 0) Ops().DRV_FreeStmt(stmt_);
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }
  // What the statement option reads back as.
  uint32_t Get(uint16_t option) {
    uint32_t rc = 0;
    const uint32_t v = InfoInt(stmt_, StmtOpt(option), &rc);
    EXPECT_EQ(rc, 0u) << option;
    return v;
  }
  // Gives the statement its Java statement the way the statement code does.
  void CreateJavaStatement() {
    ASSERT_EQ(Connection::createStatement(s_, s_->conn->connection), 0u);
    ASSERT_NE(s_->statement, nullptr);
  }
  void AskCapabilities() {
    uint32_t rc = 0;
    InfoInt(conn_, INFO_CAPABILITY_MASK, &rc);
    ASSERT_EQ(rc, 0u);
  }

  uint32_t conn_ = 0;
  uint32_t stmt_ = 0;
  JdbcStmt* s_ = nullptr;
};

TEST_F(Options, ConnectionOptionsReachTheConnection) {
  Open("opt-conn");
  uint32_t rc = 0;
  EXPECT_EQ(SetInt(conn_, OPT_AUTOCOMMIT, 0), 0u);
  EXPECT_EQ(InfoInt(conn_, OPT_AUTOCOMMIT, &rc), 0u);
  EXPECT_EQ(SetInt(conn_, OPT_AUTOCOMMIT, 1), 0u);
  EXPECT_EQ(InfoInt(conn_, OPT_AUTOCOMMIT, &rc), 1u);

  EXPECT_EQ(SetInt(conn_, OPT_TXN_ISOLATION, SQL_TXN_SERIALIZABLE), 0u);
  EXPECT_EQ(InfoInt(conn_, OPT_TXN_ISOLATION, &rc), static_cast<uint32_t>(SQL_TXN_SERIALIZABLE));

  EXPECT_EQ(SetInt(conn_, OPT_ACCESS_MODE, 5), 0u);
  EXPECT_EQ(InfoInt(conn_, OPT_ACCESS_MODE, &rc), 1u);
  EXPECT_EQ(SetInt(conn_, OPT_ACCESS_MODE, 0), 0u);
  EXPECT_EQ(InfoInt(conn_, OPT_ACCESS_MODE, &rc), 0u);

  char catalog[] = "PUBLIC";
  EXPECT_EQ(Ops().DRV_SetOption(conn_, OPT_CURRENT_CATALOG, catalog), 0u);
  char missing[] = "NO_SUCH_CATALOG";
  const uint32_t bad = Ops().DRV_SetOption(conn_, OPT_CURRENT_CATALOG, missing);
  EXPECT_NE(bad, 0u);
  EXPECT_FALSE(Errors(conn_).empty());
  EXPECT_EQ(InfoText(conn_, INFO_CURRENT_CATALOG, &rc), "PUBLIC");

  EXPECT_EQ(SetInt(conn_, OPT_ODBC_VERSION, 3), 0u);
  EXPECT_EQ(AGT_Conn(conn_)->odbcVersion, 3u);

  // Emulated multiple active statements: no limit to report.
  EXPECT_EQ(SetInt(conn_, OPT_MULTIPLE_ACTIVE, 1), 0u);
  EXPECT_EQ(InfoInt(conn_, INFO_ODBC_INT | SQL_MAX_CONCURRENT_ACTIVITIES, &rc), 0u);
  EXPECT_EQ(rc, 0u);

  EXPECT_EQ(SetInt(conn_, OPT_CONNECT_FLAG_20, 1), ERR_NOT_CAPABLE);
  EXPECT_EQ(SetInt(conn_, OPT_FAILOVER, 1), ERR_NOT_CAPABLE);
  EXPECT_EQ(SetInt(Env(), 0x12030000, 1), ERR_NOT_CAPABLE);
  EXPECT_EQ(SetInt(stmt_, OPT_AUTOCOMMIT, 1), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_SetOption(conn_, OPT_AUTOCOMMIT, nullptr), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(SetInt(conn_, 0x42030000, 1), ERR_NOT_SUPPORTED);
}

TEST_F(Options, CursorTypeIsKeysetUntilDynamicCursorsAreEnabled) {
  Open("opt-cursor");
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CURSOR_TYPE), SQL_CURSOR_DYNAMIC), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_CURSOR_TYPE), static_cast<uint32_t>(SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_NE(s_->changedOptions & OPT_CHANGED_CURSOR_TYPE, 0);
  AskCapabilities();
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CURSOR_TYPE), SQL_CURSOR_DYNAMIC), 0u);
  EXPECT_EQ(Get(SQL_CURSOR_TYPE), static_cast<uint32_t>(SQL_CURSOR_DYNAMIC));
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CURSOR_TYPE), SQL_CURSOR_STATIC), 0u);
  EXPECT_EQ(Get(SQL_CURSOR_TYPE), static_cast<uint32_t>(SQL_CURSOR_STATIC));
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CURSOR_TYPE), 7), ERR_NOT_CAPABLE);
  EXPECT_EQ(Get(SQL_CURSOR_TYPE), static_cast<uint32_t>(SQL_CURSOR_STATIC));
}

TEST_F(Options, CursorTypeDowngradesWhenDynamicCursorsAreDisabled) {
  JdbcConnSettings set;
  set.dynCursSensitivity = 2;
  Open("opt-disabled", set);
  AskCapabilities();
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CURSOR_TYPE), SQL_CURSOR_DYNAMIC), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_CURSOR_TYPE), static_cast<uint32_t>(SQL_CURSOR_STATIC));
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CURSOR_TYPE), SQL_CURSOR_KEYSET_DRIVEN), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_CURSOR_TYPE), static_cast<uint32_t>(SQL_CURSOR_STATIC));
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CURSOR_TYPE), SQL_CURSOR_FORWARD_ONLY), 0u);
  EXPECT_EQ(Get(SQL_CURSOR_TYPE), static_cast<uint32_t>(SQL_CURSOR_FORWARD_ONLY));
}

TEST_F(Options, ConcurrencyNegotiation) {
  Open("opt-concur");
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CONCURRENCY), SQL_CONCUR_ROWVER), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_CONCURRENCY), static_cast<uint32_t>(SQL_CONCUR_VALUES));
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CONCURRENCY), SQL_CONCUR_LOCK), 0u);
  EXPECT_EQ(Get(SQL_CONCURRENCY), static_cast<uint32_t>(SQL_CONCUR_LOCK));
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CONCURRENCY), 9), ERR_NOT_CAPABLE);
  EXPECT_EQ(Get(SQL_CONCURRENCY), static_cast<uint32_t>(SQL_CONCUR_LOCK));
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CONCURRENCY), SQL_CONCUR_READ_ONLY), 0u);
  EXPECT_EQ(Get(SQL_CONCURRENCY), static_cast<uint32_t>(SQL_CONCUR_READ_ONLY));
}

TEST_F(Options, NegotiationAsksThroughTheRegisteredChain) {
  Open("opt-chain");
  DRV_Agent rec{};
  EXPECT_EQ(DRV_RegisterAgent(&rec), 0);
  EXPECT_EQ(AGT_RegisteredOps(), rec.ops);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_CONCURRENCY), SQL_CONCUR_ROWVER), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_CONCURRENCY), static_cast<uint32_t>(SQL_CONCUR_VALUES));
}

TEST_F(Options, KeysetSizeNeedsDynamicCursorsAndIsCapped) {
  Open("opt-keyset");
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_KEYSET_SIZE), 10), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_KEYSET_SIZE), 0u);  // nothing stored
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_KEYSET_SIZE), 0), 0u);
  AskCapabilities();
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_KEYSET_SIZE), 300), 0u);
  EXPECT_EQ(Get(SQL_KEYSET_SIZE), 300u);
  EXPECT_NE(s_->changedOptions & OPT_CHANGED_KEYSET, 0);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_KEYSET_SIZE), 10000), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_KEYSET_SIZE), 5000u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_KEYSET_SIZE), 5000), 0u);
  // Sizes are unsigned: "minus one" is a huge keyset, not a small one.
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_KEYSET_SIZE), 0xFFFFFFFFu), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_KEYSET_SIZE), 5000u);
}

TEST_F(Options, RowsetSizeCappedWithoutNrssl) {
  Open("opt-rowset");
  s_->fetchState = 0x3F;
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_ROWSET_SIZE), 500), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_ROWSET_SIZE), 100u);
  EXPECT_EQ(s_->fetchState, 0x0F);
  EXPECT_NE(s_->changedOptions & OPT_CHANGED_ROWSET, 0);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_ROWSET_SIZE), 0xFFFFFFFFu), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_ROWSET_SIZE), 100u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_ROWSET_SIZE), 100), 0u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_ROWSET_SIZE), 20), 0u);
  EXPECT_EQ(Get(SQL_ROWSET_SIZE), 20u);
}

TEST_F(Options, RowsetSizeFreeWithNrssl) {
  JdbcConnSettings set;
  set.noRowsetSizeLimit = 1;
  Open("opt-nrssl", set);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_ROWSET_SIZE), 500), 0u);
  EXPECT_EQ(Get(SQL_ROWSET_SIZE), 500u);
}

TEST_F(Options, MaxRowsClampedByTheConnectionString) {
  JdbcConnSettings set;
  set.maxRows = 1000;
  Open("opt-maxrows", set);
  // No Java statement yet: the clamp is stored for it.
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_MAX_ROWS), 0), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_MAX_ROWS), 1000u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_MAX_ROWS), 10), 0u);
  EXPECT_EQ(Get(SQL_MAX_ROWS), 10u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_MAX_ROWS), 5000), ERR_VALUE_CHANGED);
  EXPECT_EQ(Get(SQL_MAX_ROWS), 1000u);

  CreateJavaStatement();
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_MAX_ROWS), 0), ERR_VALUE_CHANGED);
  int32_t javaMax = -1;
  JNIEnv* env = Jni();
  ASSERT_EQ(JC_CallIntMethod(env, s_->statement, nullptr, "getMaxRows", "()I", &javaMax), 0u);
  EXPECT_EQ(javaMax, 1000);
}

TEST_F(Options, MaxRowsFreeWithoutACap) {
  Open("opt-nomax");
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_MAX_ROWS), 0), 0u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_MAX_ROWS), 123456), 0u);
  EXPECT_EQ(Get(SQL_MAX_ROWS), 123456u);
}

TEST_F(Options, QueryTimeoutReachesStatementsMadeLater) {
  Open("opt-timeout");
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_QUERY_TIMEOUT), 7), 0u);
  EXPECT_EQ(Get(SQL_QUERY_TIMEOUT), 7u);
  CreateJavaStatement();
  // A Java statement is born without it ...
  EXPECT_EQ(Get(SQL_QUERY_TIMEOUT), 0u);
  // ... and gets it from the hook the statement code runs after creating one.
  EXPECT_EQ(optApplyAfterCreate(s_), 0u);
  EXPECT_EQ(Get(SQL_QUERY_TIMEOUT), 7u);
  // Set while the statement exists: at once.
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_QUERY_TIMEOUT), 3), 0u);
  EXPECT_EQ(Get(SQL_QUERY_TIMEOUT), 3u);
  CreateJavaStatement();
  EXPECT_EQ(optApplyAfterCreate(s_), 0u);
  EXPECT_EQ(Get(SQL_QUERY_TIMEOUT), 3u);
}

TEST_F(Options, QueryTimeoutRefusedByJavaKeepsTheOldValue) {
  Open("opt-timeout-bad");
  CreateJavaStatement();
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_QUERY_TIMEOUT), 5), 0u);
  // A negative timeout is an error for JDBC.
  const uint32_t rc = SetInt(stmt_, StmtOpt(SQL_QUERY_TIMEOUT), 0xFFFFFFFFu);
  EXPECT_NE(rc, 0u);
  EXPECT_FALSE(Errors(stmt_).empty());
  EXPECT_EQ(s_->queryTimeout, 5u);
  EXPECT_EQ(Get(SQL_QUERY_TIMEOUT), 5u);
}

TEST_F(Options, StoredStatementOptions) {
  Open("opt-stored");
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_NOSCAN), 9), 0u);
  EXPECT_EQ(Get(SQL_NOSCAN), 1u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_MAX_LENGTH), 8192), 0u);
  EXPECT_EQ(Get(SQL_MAX_LENGTH), 8192u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_SIMULATE_CURSOR), 1), 0u);
  EXPECT_EQ(Get(SQL_SIMULATE_CURSOR), 1u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_RETRIEVE_DATA), 0), 0u);
  EXPECT_EQ(Get(SQL_RETRIEVE_DATA), 0u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(SQL_USE_BOOKMARKS), 1), 0u);
  EXPECT_EQ(Get(SQL_USE_BOOKMARKS), 1u);

  EXPECT_EQ(SetInt(stmt_, StmtOpt(1050), 2), 0u);
  EXPECT_EQ(Get(1050), 2u);
  EXPECT_EQ(SetInt(stmt_, StmtOpt(1050), 3), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Get(1050), 2u);

  for (uint16_t option : {4, 5, 13, 14, 1052, 1054, 1225}) {
    EXPECT_EQ(SetInt(stmt_, StmtOpt(option), 1), ERR_NOT_CAPABLE) << option;
  }
  EXPECT_EQ(Ops().DRV_SetOption(stmt_, StmtOpt(SQL_NOSCAN), nullptr), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(SetInt(conn_, StmtOpt(SQL_NOSCAN), 1), ERR_INVALID_ARGUMENT);
}

TEST_F(Options, ValueTypeTable) {
  Open("opt-types");
  DRV_OpTableRequest req{1, 0, nullptr};
  EXPECT_EQ(Ops().DRV_GetOpTable(conn_, &req), 0u);
  EXPECT_EQ(req.count, 9u);
  EXPECT_EQ(req.table, AgentValueTypes);
  DRV_OpTableRequest other{2, 0, nullptr};
  EXPECT_EQ(Ops().DRV_GetOpTable(conn_, &other), ERR_NOT_CAPABLE);
  EXPECT_EQ(other.table, nullptr);
  EXPECT_EQ(Ops().DRV_GetOpTable(conn_, nullptr), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_GetOpTable(stmt_, &req), ERR_INVALID_ARGUMENT);
}

}  // namespace
