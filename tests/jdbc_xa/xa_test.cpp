// The agent's XA slots on the XA data sources of Derby, H2, HSQLDB and
// PostgreSQL (jdbc_xa_tests_pg, on the fixture's server): branches run on a
// connection opened for XA, an ordinary one of the same data source checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-wrap.h"
#include "tests/support/agent_env.h"
#include "util/xa.h"

namespace {

using namespace agent_test;
using ::testing::PrintToString;

const DRV_OpTable& Ops() { return DRV_JdbcOpTable; }

uint32_t Env() {
  static const uint32_t env = StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar:/usr/share/java/derby.jar"
      ":/usr/share/java/h2.jar:/usr/share/java/postgresql.jar"
      " -Duser.timezone=UTC -Xcheck:jni -Dderby.stream.error.file=/dev/null");
  return env;
}

struct Backend {
  const char* name;
  const char* xaClass;  // the JDBC keyword
  std::string props;
  const char* user;
  bool keepsPrepared;  // a prepared branch outlives its connection
  // What the driver answers a commit and a rollback of a branch it never
  // saw: its XAException's code, which reaches the caller unchanged.
  int32_t unknownCommit, unknownRollback;
  bool pg;
};

void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

uint32_t ConnectAs(const std::string& cls, const std::string& text, const char* user,
                   uint32_t readOnly) {
  const Login login{cls, text, user, "", "", readOnly};
  uint32_t h = 0;
  const uint32_t rc = Connect(Env(), login, &h);
  EXPECT_EQ(rc, 0u) << cls << ": " << PrintToString(Errors(Env()));
  return rc == 0 ? h : 0u;
}

const Backend kEmbedded[] = {
    {"Derby", "org.apache.derby.jdbc.EmbeddedXADataSource",
     "DatabaseName=memory:qmrxa;CreateDatabase=create", "", true, XAER_NOTA, XAER_NOTA, false},
    {"H2", "org.h2.jdbcx.JdbcDataSource", "URL=jdbc:h2:mem:qmrxa", "sa", false, XAER_RMERR, XA_OK,
     false},
    // Its XA data source refuses credentials other than its own properties.
    {"HSQLDB", "org.hsqldb.jdbc.pool.JDBCXADataSource", "Url=jdbc:hsqldb:mem:qmrxa;User=SA", "",
     false, XAER_RMERR, XAER_RMERR, false},
};

std::vector<Backend> Pg() {
  return {{"PostgreSQL", "org.postgresql.xa.PGXADataSource",
           "Url=jdbc:postgresql://127.0.0.1:" + PgPort() + "/qmr", "qmr", true, XAER_NOTA,
           XAER_NOTA, true}};
}

// An XID of this process: gtrid "qmr-<pid>-<n>" padded to glen bytes, then
// blen bytes of bqual.
XID MakeXid(int n, long glen = 16, long blen = 2) {
  XID x{0x514D52, glen, blen, {}};
  std::memset(x.data, 'x', static_cast<size_t>(glen + blen));
  const std::string g = "qmr-" + std::to_string(getpid()) + "-" + std::to_string(n);
  std::memcpy(x.data, g.data(), g.size());
  return x;
}

class Xa : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam().pg && std::getenv("QMR_PG_PORT_FILE") == nullptr)
      GTEST_SKIP() << "runs as jdbc_xa_tests_pg, on the fixture's server";
    // One ordinary connection per backend, kept for the process: the
    // in-memory databases live as long as a connection to them.
    static std::map<std::string, uint32_t> plains;
    uint32_t& plain = plains[GetParam().name];
    if (plain == 0) {
      plain = ConnectAs(GetParam().xaClass, GetParam().props, GetParam().user, 0);
      ASSERT_NE(plain, 0u);
      if (GetParam().pg) Exec(plain, {"DROP TABLE IF EXISTS xa_rows"});
      Exec(plain, {"CREATE TABLE xa_rows (id INTEGER)"});
    }
    plain_ = plain;
  }
  void TearDown() override {
    for (uint32_t h : open_) Ops().DRV_Disconnect(h);
  }

  // An ordinary connection of the backend's XA data source.
  uint32_t Open() {
    const uint32_t h = ConnectAs(GetParam().xaClass, GetParam().props, GetParam().user, 0);
    if (h != 0) open_.push_back(h);
    return h;
  }
  uint32_t OpenXa() {
    const uint32_t h = Open();
    EXPECT_EQ(Ops().DRV_XaOpen(h, 1, "", 1, TMNOFLAGS), XA_OK) << PrintToString(Errors(h));
    return h;
  }
  uint32_t Rows(int id) {
    Stmt s(plain_);
    EXPECT_EQ(s.Run("SELECT id FROM xa_rows WHERE id = " + std::to_string(id)), 0u);
    COLSET set{};
    EXPECT_EQ(Ops().DRV_Fetch(s.h(), 10, &set), 0u) << PrintToString(Errors(s.h()));
    const uint32_t n = set.rows_held;
    ColSetFreeColumns(&set);
    return n;
  }
  // Starts a branch on conn, inserts id in it and ends it.
  void Work(uint32_t conn, XID* xid, int id) {
    ASSERT_EQ(Ops().DRV_XaStart(conn, xid, 1, TMNOFLAGS), XA_OK) << PrintToString(Errors(conn));
    Exec(conn, {("INSERT INTO xa_rows VALUES (" + std::to_string(id) + ")").c_str()});
    ASSERT_EQ(Ops().DRV_XaEnd(conn, xid, 1, TMSUCCESS), XA_OK) << PrintToString(Errors(conn));
  }
  std::vector<XID> Scan(uint32_t conn, int64_t chunk) {
    std::vector<XID> all;
    int64_t flags = TMSTARTRSCAN;
    for (;;) {
      std::vector<XID> got(static_cast<size_t>(chunk));
      const int32_t n = Ops().DRV_XaRecover(conn, got.data(), chunk, 1, flags);
      EXPECT_GE(n, 0) << PrintToString(Errors(conn));
      if (n <= 0) break;
      all.insert(all.end(), got.begin(), got.begin() + n);
      flags = TMNOFLAGS;
    }
    EXPECT_EQ(Ops().DRV_XaRecover(conn, nullptr, 0, 1, TMENDRSCAN), 0);
    EXPECT_EQ(Ops().DRV_XaRecover(conn, nullptr, 0, 1, TMNOFLAGS), XAER_INVAL) << "scan ended";
    return all;
  }

  uint32_t plain_ = 0;
  std::vector<uint32_t> open_;
};

TEST_P(Xa, BranchEndsAsAskedAndAnUnknownOneAsTheDriverSays) {
  struct Row {
    const char* text;
    bool prepare, commit;
    int64_t commitFlags;
    uint32_t rows;
  };
  const Row rows[] = {
      {"two-phase commit", true, true, TMNOFLAGS, 1},
      {"rollback after prepare", true, false, TMNOFLAGS, 0},
      {"one-phase commit", false, true, TMONEPHASE, 1},
      {"rollback without prepare", false, false, TMNOFLAGS, 0},
  };
  const uint32_t conn = OpenXa();
  int id = 100;
  for (const Row& row : rows) {
    XID xid = MakeXid(++id);
    Work(conn, &xid, id);
    if (row.prepare) {
      EXPECT_EQ(Ops().DRV_XaPrepare(conn, &xid, 1, TMNOFLAGS), XA_OK) << row.text;
    }
    const int32_t rc = row.commit ? Ops().DRV_XaCommit(conn, &xid, 1, row.commitFlags)
                                  : Ops().DRV_XaRollback(conn, &xid, 1, TMNOFLAGS);
    EXPECT_EQ(rc, XA_OK) << row.text << PrintToString(Errors(conn));
    EXPECT_EQ(Rows(id), row.rows) << row.text;
  }
  XID unknown = MakeXid(300);
  EXPECT_EQ(Ops().DRV_XaCommit(conn, &unknown, 1, TMNOFLAGS), GetParam().unknownCommit);
  EXPECT_EQ(Ops().DRV_XaRollback(conn, &unknown, 1, TMNOFLAGS), GetParam().unknownRollback);
}

TEST_P(Xa, PreparedBranchIsRecoveredAndCommittedElsewhere) {
  XID xid = MakeXid(200);
  const uint32_t first = OpenXa();
  Work(first, &xid, 200);
  ASSERT_EQ(Ops().DRV_XaPrepare(first, &xid, 1, TMNOFLAGS), XA_OK) << PrintToString(Errors(first));
  if (GetParam().keepsPrepared) {
    EXPECT_EQ(Ops().DRV_Disconnect(first), 0u);
    open_.erase(std::find(open_.begin(), open_.end(), first));
  }

  const uint32_t second = GetParam().keepsPrepared ? OpenXa() : first;
  const std::vector<XID> found = Scan(second, 1);
  EXPECT_EQ(found.size(), 1u);
  // Both records are zero-filled beyond the data: equal as a whole.
  EXPECT_TRUE(!found.empty() && std::memcmp(&found[0], &xid, sizeof xid) == 0);
  EXPECT_EQ(Ops().DRV_XaCommit(second, &xid, 1, TMNOFLAGS), XA_OK) << PrintToString(Errors(second));
  EXPECT_EQ(Rows(200), 1u);
  EXPECT_TRUE(Scan(second, 4).empty()) << "an empty scan answers 0";
}

TEST_P(Xa, UnusableXidsAndFlagsAreInval) {
  struct Row {
    const char* text;
    long format, glen, blen;
    int64_t flags;
  };
  const Row rows[] = {
      {"empty gtrid", 1, 0, 2, TMNOFLAGS},
      {"gtrid of 65", 1, 65, 2, TMNOFLAGS},
      {"negative gtrid", 1, -1, 2, TMNOFLAGS},
      {"empty bqual", 1, 4, 0, TMNOFLAGS},
      {"bqual of 65", 1, 4, 65, TMNOFLAGS},
      {"both past the data", 1, 100, 100, TMNOFLAGS},
      {"null XID", XID_NULL_FORMAT, 4, 2, TMNOFLAGS},
      {"asynchronous", 1, 4, 2, TMASYNC},
      {"flags past 32 bits", 1, 4, 2, int64_t{1} << 40},
  };
  const uint32_t conn = OpenXa();
  for (const Row& row : rows) {
    XID xid{};
    xid.formatID = row.format;
    xid.gtrid_length = row.glen;
    xid.bqual_length = row.blen;
    for (auto verb : {Ops().DRV_XaStart, Ops().DRV_XaEnd, Ops().DRV_XaPrepare, Ops().DRV_XaCommit,
                      Ops().DRV_XaRollback, Ops().DRV_XaForget})
      EXPECT_EQ(verb(conn, &xid, 1, row.flags), XAER_INVAL) << row.text;
  }
  EXPECT_EQ(Ops().DRV_XaStart(conn, nullptr, 1, TMNOFLAGS), XAER_INVAL);
  EXPECT_EQ(Ops().DRV_XaRecover(conn, nullptr, 1, 1, TMSTARTRSCAN), XAER_INVAL);
  EXPECT_EQ(Ops().DRV_XaRecover(conn, nullptr, -1, 1, TMSTARTRSCAN), XAER_INVAL);
  EXPECT_EQ(Ops().DRV_XaRecover(conn, nullptr, 0, 1, TMNOFLAGS), XAER_INVAL) << "no scan";
  EXPECT_EQ(Ops().DRV_XaComplete(conn, nullptr, nullptr, 1, TMNOFLAGS), XAER_INVAL);
  // The largest lengths are used whole, and the connection still works.
  XID full = MakeXid(400, MAXGTRIDSIZE, MAXBQUALSIZE);
  Work(conn, &full, 400);
  EXPECT_EQ(Ops().DRV_XaCommit(conn, &full, 1, TMONEPHASE), XA_OK) << PrintToString(Errors(conn));
  EXPECT_EQ(Rows(400), 1u);
}

// The connection's Java auto-commit, read-only mode and isolation.
using JavaSettings = std::tuple<uint8_t, uint8_t, int32_t>;
JavaSettings SettingsOf(uint32_t h) {
  JdbcConn* c = AGT_Conn(h);
  JavaSettings s;
  EXPECT_EQ(Connection::getAutoCommit(c, c->connection, &std::get<0>(s)), 0u);
  EXPECT_EQ(Connection::isReadOnly(c, c->connection, &std::get<1>(s)), 0u);
  EXPECT_EQ(Connection::getTransactionIsolation(c, c->connection, &std::get<2>(s)), 0u);
  return s;
}
// Auto-commit off, isolation serializable: not what a new connection has.
void Change(uint32_t h) {
  uint32_t off = 0, serializable = 8;
  ASSERT_EQ(Ops().DRV_SetOption(h, OPT_AUTOCOMMIT, &off), 0u);
  ASSERT_EQ(Ops().DRV_SetOption(h, OPT_TXN_ISOLATION, &serializable), 0u);
}

TEST_P(Xa, OpenAndCloseCarryTheSettingsOver) {
  const uint32_t conn = Open();
  EXPECT_EQ(Ops().DRV_XaClose(conn, "", 1, TMNOFLAGS), XA_OK) << "never opened";
  Change(conn);
  const JavaSettings before = SettingsOf(conn);
  ASSERT_EQ(Ops().DRV_XaOpen(conn, 1, "", 1, TMNOFLAGS), XA_OK) << PrintToString(Errors(conn));
  EXPECT_NE(AGT_Conn(conn)->xaResource, nullptr);
  EXPECT_EQ(SettingsOf(conn), before);
  EXPECT_EQ(Ops().DRV_XaOpen(conn, 1, "", 1, TMNOFLAGS), XAER_INVAL) << "open already";
  ASSERT_EQ(Ops().DRV_XaClose(conn, "", 1, TMNOFLAGS), XA_OK) << PrintToString(Errors(conn));
  EXPECT_EQ(AGT_Conn(conn)->xaResource, nullptr);
  EXPECT_EQ(SettingsOf(conn), before);
  XID xid = MakeXid(500);
  EXPECT_EQ(Ops().DRV_XaStart(conn, &xid, 1, TMNOFLAGS), XAER_PROTO) << "closed";
  Exec(conn, {"INSERT INTO xa_rows VALUES (500)"});
  EXPECT_EQ(Ops().DRV_Commit(conn), 0u);
  EXPECT_EQ(Rows(500), 1u);
}

// XA opens that fail: the connection goes on as it was, settings and all.
TEST(XaOpen, FailureLeavesTheConnectionAsItWas) {
  struct Row {
    const char* text;
    std::string cls, url;
  };
  const std::string driver = "org.hsqldb.jdbc.JDBCDriver";
  const std::string url = "jdbc:hsqldb:mem:qmrxafail";
  const Row rows[] = {
      {"a Driver with no XA class", driver, url},
      // The connect text is a URL, which the XA class cannot take as properties.
      {"an XA class given a URL", driver + ";" + kEmbedded[2].xaClass, url},
      {"a class that is no XADataSource",
       "org.hsqldb.jdbc.JDBCDataSource;org.hsqldb.jdbc.JDBCDataSource", "Url=" + url},
  };
  for (const Row& row : rows) {
    const uint32_t conn = ConnectAs(row.cls, row.url, "SA", 1);
    ASSERT_NE(conn, 0u) << row.text;
    Change(conn);
    const JavaSettings before = SettingsOf(conn);
    jobject java = AGT_Conn(conn)->connection;
    EXPECT_EQ(Ops().DRV_XaOpen(conn, 1, "", 1, TMNOFLAGS), XAER_INVAL) << row.text;
    EXPECT_FALSE(Errors(conn).empty()) << row.text << ": the cause is posted";
    EXPECT_EQ(AGT_Conn(conn)->connection, java) << row.text;
    EXPECT_EQ(SettingsOf(conn), before) << row.text;
    EXPECT_EQ(Stmt(conn).Run("SELECT COUNT(*) FROM INFORMATION_SCHEMA.SYSTEM_USERS"), 0u)
        << row.text;
    XID xid = MakeXid(600);
    EXPECT_EQ(Ops().DRV_XaStart(conn, &xid, 1, TMNOFLAGS), XAER_PROTO) << row.text;
    EXPECT_EQ(Ops().DRV_Disconnect(conn), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Embedded, Xa, ::testing::ValuesIn(kEmbedded),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Pg, Xa, ::testing::ValuesIn(Pg()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
