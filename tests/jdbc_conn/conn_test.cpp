// Agent connections through a JDBC Driver and the DataSource kinds, the
// failures a connect reports on the environment, NOAC, READONLY,
// disconnect, commit and rollback.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "jvm_fixture.h"

using namespace jtest;

namespace {

bool Contains(const std::vector<std::string>& v, const std::string& part) {
  for (const auto& s : v) {
    if (s.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

TEST(AgentConnect, DriverWithUrlOpensAndCloses) {
  uint32_t conn = 0;
  ASSERT_EQ(ConnectMem("drv1", &conn), 0u) << ::testing::PrintToString(Errors(Env()));
  ASSERT_NE(conn, 0u);
  JdbcConn* c = AGT_Conn(conn);
  ASSERT_NE(c, nullptr);
  EXPECT_NE(c->connection, nullptr);
  EXPECT_NE(c->metaData, nullptr);
  EXPECT_STREQ(c->driverClass, "org/hsqldb/jdbc/JDBCDriver");
  EXPECT_EQ(c->utf8, 0u);
  EXPECT_EQ(c->odbcVersion, 2u);
  EXPECT_EQ(c->describeAtPrepare, 1u);
  EXPECT_EQ(c->scalarFns, nullptr);  // made on the first function-list question
  EXPECT_NE(c->typeTable, nullptr);  // empty until type information can be read
  EXPECT_EQ(Exec(conn, "CREATE TABLE t1 (a INT)"), 0u);
  EXPECT_EQ(Exec(conn, "INSERT INTO t1 VALUES (5)"), 0u);
  EXPECT_EQ(QueryInt(conn, "SELECT a FROM t1"), 5);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
  EXPECT_EQ(AGT_Conn(conn), nullptr);
  EXPECT_EQ(Ops().DRV_Commit(conn), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), ERR_INVALID_ARGUMENT);
}

TEST(AgentConnect, UnicodeMarkerSetsUtf8Mode) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  r.url = "{jdbc:hsqldb:mem:utf}";  // braces are taken off
  r.user = "SA";
  r.options = std::string("W\x7f\x01\x01", 4) + "rest";
  uint32_t conn = 0;
  ASSERT_EQ(Connect(r, &conn), 0u) << ::testing::PrintToString(Errors(Env()));
  EXPECT_EQ(AGT_Conn(conn)->utf8, 1u);
  EXPECT_STREQ(AGT_Conn(conn)->url, "jdbc:hsqldb:mem:utf");
  // Text now crosses as UTF-8 both ways.
  EXPECT_EQ(Exec(conn, "CREATE TABLE \"t\xc3\xa4\" (a INT)"), 0u);
  EXPECT_EQ(QueryInt(conn, "SELECT COUNT(*) FROM \"t\xc3\xa4\""), 0);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentConnect, DataSourceTakesPropertiesFromUrlText) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDataSource";
  r.url = "Url=jdbc:hsqldb:mem:ds1;User=SA;Password=;LoginTimeout=7";
  uint32_t conn = 0;
  // No credentials in the request: the data source's own apply.
  ASSERT_EQ(Connect(r, &conn), 0u) << ::testing::PrintToString(Errors(Env()));
  EXPECT_EQ(Exec(conn, "CREATE TABLE d (a INT)"), 0u);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);

  // With credentials getConnection(user, password) is used; the data is the
  // same in-memory database.
  r.url = "Url=jdbc:hsqldb:mem:ds1";
  r.user = "SA";
  ASSERT_EQ(Connect(r, &conn), 0u) << ::testing::PrintToString(Errors(Env()));
  EXPECT_EQ(QueryInt(conn, "SELECT COUNT(*) FROM d"), 0);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentConnect, PooledAndXaDataSourcesConnectThroughTheirPooledConnection) {
  for (const char* cls :
       {"org.hsqldb.jdbc.pool.JDBCPooledDataSource", "org.hsqldb.jdbc.pool.JDBCXADataSource"}) {
    SCOPED_TRACE(cls);
    Request r;
    r.driverClass = cls;
    r.url = "Url=jdbc:hsqldb:mem:pool;User=SA;Password=";
    uint32_t conn = 0;
    ASSERT_EQ(Connect(r, &conn), 0u) << ::testing::PrintToString(Errors(Env()));
    EXPECT_NE(AGT_Conn(conn)->pooledConnection, nullptr);
    EXPECT_EQ(QueryInt(conn, "VALUES 3"), 3);
    EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
  }
}

TEST(AgentConnectFailure, BadUrlLeavesJavaDiagnosticOnEnvironment) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  r.url = "jdbc:hsqldb:mem:nosuchdb;ifexists=true";
  r.user = "SA";
  uint32_t conn = 77;
  EXPECT_EQ(Connect(r, &conn), ERR_CANNOT_CONNECT);
  EXPECT_EQ(conn, 0u);
  std::vector<std::string> errs = Errors(Env());
  ASSERT_EQ(errs.size(), 1u);
  // HSQLDB's own text; it gives no SQLSTATE for this one, so it reads as a
  // connection that could not be made.
  EXPECT_EQ(errs[0], "[Velkaro]Database does not exists: nosuchdb[SQLSTATE:08001]");
  EXPECT_TRUE(Errors(Env()).empty());  // handed over once
}

TEST(AgentConnectFailure, JavaSqlStateReachesTheEnvironment) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  r.url = "jdbc:hsqldb:mem:auth";
  r.user = "SA";
  uint32_t conn = 0;
  ASSERT_EQ(Connect(r, &conn), 0u);  // creates the database with SA and no password
  r.password = "wrong";
  uint32_t second = 0;
  EXPECT_EQ(Connect(r, &second), ERR_CANNOT_CONNECT);
  std::vector<std::string> errs = Errors(Env());
  ASSERT_EQ(errs.size(), 1u);
  EXPECT_EQ(errs[0], "[Velkaro]invalid authorization specification: SA[SQLSTATE:28000]");
  EXPECT_TRUE(Errors(conn).empty());  // the open connection is untouched
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentConnectFailure, UrlTheDriverDoesNotTakeIsReported) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  r.url = "jdbc:other:x";
  uint32_t conn = 0;
  EXPECT_EQ(Connect(r, &conn), ERR_CANNOT_CONNECT);
  std::vector<std::string> errs = Errors(Env());
  EXPECT_TRUE(Contains(errs, "[SQLSTATE:08001]")) << ::testing::PrintToString(errs);
}

TEST(AgentConnectFailure, UnknownClassGives3) {
  Request r;
  r.driverClass = "no.such.Driver";
  r.url = "x";
  uint32_t conn = 0;
  EXPECT_EQ(Connect(r, &conn), ERR_DRIVER_NOT_LOADED);
  EXPECT_EQ(conn, 0u);
  // Named as the application wrote it, with where class and archive are given.
  const std::vector<std::string> errs = Errors(Env());
  EXPECT_TRUE(Contains(errs, "[no.such.Driver]")) << ::testing::PrintToString(errs);
  EXPECT_TRUE(Contains(errs, "QMR_JVM_OPTS")) << ::testing::PrintToString(errs);
}

TEST(AgentConnectFailure, ClassOfNoKnownKindFailsAtTheMetadataCall) {
  Request r;
  r.driverClass = "java.lang.Object";
  uint32_t conn = 0;
  EXPECT_EQ(Connect(r, &conn), ERR_GENERAL);
  EXPECT_TRUE(Contains(Errors(Env()), "NullPointerException"));
}

TEST(AgentConnectFailure, MissingSetterNamesTheMethod) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDataSource";
  r.url = "url=jdbc:hsqldb:mem:x";  // setters are case-sensitive: seturl does not exist
  uint32_t conn = 0;
  EXPECT_EQ(Connect(r, &conn), ERR_GENERAL);
  EXPECT_TRUE(Contains(Errors(Env()), "Can't find method[seturl] in DataSource"));
}

TEST(AgentConnect, WrongHandleKindsGive21) {
  uint32_t conn = 0;
  ASSERT_EQ(ConnectMem("kinds", &conn), 0u);
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn, &stmt), 0u);
  EXPECT_EQ(Ops().DRV_Commit(stmt), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_Rollback(Env()), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_Disconnect(stmt), ERR_INVALID_ARGUMENT);
  uint32_t out = 9;
  EXPECT_EQ(Ops().DRV_Connect(conn, nullptr, &out), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentTransactions, NoAutoCommitRollbackUndoesInsertCommitKeepsIt) {
  JdbcConnSettings set;
  set.noAutoCommit = 1;
  uint32_t conn = 0;
  ASSERT_EQ(ConnectMem("noac", &conn, &set), 0u) << ::testing::PrintToString(Errors(Env()));
  JdbcConn* c = AGT_Conn(conn);
  EXPECT_EQ(c->settings.noAutoCommit, 1u);
  uint8_t ac = 1;
  ASSERT_EQ(Connection::getAutoCommit(c, c->connection, &ac), 0u);
  EXPECT_EQ(ac, 0);
  ASSERT_EQ(Exec(conn, "CREATE TABLE n (a INT)"), 0u);
  ASSERT_EQ(Ops().DRV_Commit(conn), 0u);
  ASSERT_EQ(Exec(conn, "INSERT INTO n VALUES (1)"), 0u);
  EXPECT_EQ(QueryInt(conn, "SELECT COUNT(*) FROM n"), 1);
  ASSERT_EQ(Ops().DRV_Rollback(conn), 0u);
  EXPECT_EQ(QueryInt(conn, "SELECT COUNT(*) FROM n"), 0);
  ASSERT_EQ(Exec(conn, "INSERT INTO n VALUES (2)"), 0u);
  ASSERT_EQ(Ops().DRV_Commit(conn), 0u);
  ASSERT_EQ(Ops().DRV_Rollback(conn), 0u);
  EXPECT_EQ(QueryInt(conn, "SELECT COUNT(*) FROM n"), 1);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentTransactions, AutoCommitIsOnWithoutNoac) {
  uint32_t conn = 0;
  ASSERT_EQ(ConnectMem("ac", &conn), 0u);
  JdbcConn* c = AGT_Conn(conn);
  uint8_t ac = 0;
  ASSERT_EQ(Connection::getAutoCommit(c, c->connection, &ac), 0u);
  EXPECT_EQ(ac, 1);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentConnect, ReadOnlyIsSetOnTheJavaConnection) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  r.url = "jdbc:hsqldb:mem:ro";
  r.user = "SA";
  r.readOnly = 1;
  uint32_t conn = 0;
  ASSERT_EQ(Connect(r, &conn), 0u);
  JdbcConn* c = AGT_Conn(conn);
  EXPECT_EQ(c->readOnly, 1u);
  EXPECT_EQ(c->readOnlyInitial, 1u);
  uint8_t ro = 0;
  ASSERT_EQ(Connection::isReadOnly(c, c->connection, &ro), 0u);
  EXPECT_EQ(ro, 1);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentConnect, SettingsTextsPassToTheConnection) {
  JdbcConnSettings set;
  set.dbmsName = strdup("MyDbms");
  set.maxRows = 12;
  uint32_t conn = 0;
  ASSERT_EQ(ConnectMem("settings", &conn, &set), 0u);
  EXPECT_EQ(set.dbmsName, nullptr);  // taken over by the connection
  JdbcConn* c = AGT_Conn(conn);
  EXPECT_STREQ(c->settings.dbmsName, "MyDbms");
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn, &stmt), 0u);
  EXPECT_EQ(AGT_Stmt(stmt)->maxRows, 12u);
  EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
}

TEST(AgentEnvErrors, ReadersAndWritersShareTheEnvironmentLock) {
  // Failing connects post on the environment while another thread hands its
  // list over; neither may see a half-built list.
  std::atomic<bool> done{false};
  std::atomic<int> seen{0};
  std::thread reader([&] {
    while (!done) seen += static_cast<int>(Errors(Env()).size());
  });
  Request r;
  r.driverClass = "no.such.Driver";
  for (int i = 0; i < 300; ++i) {
    uint32_t conn = 0;
    EXPECT_EQ(Connect(r, &conn), ERR_DRIVER_NOT_LOADED);
  }
  done = true;
  reader.join();
  seen += static_cast<int>(Errors(Env()).size());
  EXPECT_GT(seen.load(), 0);
  EXPECT_LE(seen.load(), 300);
}
