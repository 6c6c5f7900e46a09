// The row-version table of dynamic cursors against the four databases,
// driven as the cursor library drives it: connections opened through the
// library's connect hook, rowsets fetched by the agent, versions compared
// on the cursor's own secondary connection while a second connection
// changes rows. Each set-up creates the user's table QMRRVC.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/rvc.h"
#include "scrs/scrframe.h"
#include "tests/support/agent_env.h"

extern char** environ;

namespace {

using agent_test::Errors;
using agent_test::Stmt;

uint32_t Env() {
  static const uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar:/usr/share/java/h2.jar"
      ":/usr/share/java/derby.jar:/usr/share/java/postgresql.jar"
      " -Duser.timezone=UTC -Xcheck:jni -Dderby.stream.error.file=/dev/null");
  return env;
}

// The library's table, installed as the driver installs it.
const DRV_OpTable& Library() {
  static DRV_Agent agent{};
  static const int registered = DRV_RegisterAgent(&agent);
  (void)registered;
  return *agent.ops;
}

std::string PgPort() {
  const char* file = std::getenv("QMR_PG_PORT_FILE");
  std::string port;
  if (file == nullptr) return port;
  std::ifstream in(file);
  in >> port;
  return port;
}

struct Backend {
  const char* name;
  const char* cls;
  const char* user;
  // The URL of database db: in memory, or (shared) in files under dir, so
  // that processes one after the other see the same rows.
  std::string Url(const std::string& db, const std::string& dir = "") const {
    const std::string n = name;
    if (n == "hsqldb")
      return dir.empty() ? "jdbc:hsqldb:mem:" + db
                         : "jdbc:hsqldb:file:" + dir + "/" + db + ";hsqldb.write_delay=false;shutdown=true";
    if (n == "h2") return dir.empty() ? "jdbc:h2:mem:" + db + ";DB_CLOSE_DELAY=-1" : "jdbc:h2:" + dir + "/" + db;
    if (n == "derby")
      return (dir.empty() ? "jdbc:derby:memory:" + db : "jdbc:derby:" + dir + "/" + db) + ";create=true";
    return "jdbc:postgresql://127.0.0.1:" + PgPort() + "/qmr";
  }
};

void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

const Backend kBackends[] = {{"hsqldb", "org.hsqldb.jdbc.JDBCDriver", "SA"},
                             {"h2", "org.h2.Driver", "sa"},
                             {"derby", "org.apache.derby.jdbc.EmbeddedDriver", "app"},
                             {"postgresql", "org.postgresql.Driver", "qmr"}};

const Backend* FindBackend(const std::string& name) {
  for (const Backend& b : kBackends)
    if (name == b.name) return &b;
  return nullptr;
}

// A connection opened through the library's connect hook, so the library
// knows how to open the cursor's secondary connection like it.
class Conn {
 public:
  Conn(const Backend& b, const std::string& url) {
    std::string host, svtype, options, dsn = "Default", cls = b.cls, u = url, user = b.user, pwd;
    ConnectInfo info{};
    info.host = host.data();
    info.options = options.data();
    info.svtype = svtype.data();
    info.dbpath = cls.data();
    info.dsn = dsn.data();
    info.dbopts = u.data();
    info.user = user.data();
    info.password = pwd.data();
    const uint32_t rc = Library().DRV_Connect(Env(), &info, &h_);
    EXPECT_EQ(rc, 0u) << url << ": " << ::testing::PrintToString(Errors(Env()));
  }
  ~Conn() {
    if (h_ != 0) Library().DRV_Disconnect(h_);
  }
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;
  uint32_t h() const { return h_; }
  void Exec(const std::string& sql, bool mayFail = false) const {
    Stmt s(h_);
    const uint32_t rc = s.Run(sql);
    if (!mayFail) {
      EXPECT_EQ(rc, 0u) << sql << ": " << ::testing::PrintToString(Errors(s.h()));
    }
  }
  // The first rows of a query.
  COLSET Fetch(const std::string& sql) const {
    Stmt s(h_);
    COLSET set{};
    uint32_t rc = s.Run(sql);
    if (rc == 0) rc = DRV_JdbcOpTable.DRV_Fetch(s.h(), 100, &set);
    EXPECT_EQ(rc, 0u) << sql << ": " << ::testing::PrintToString(Errors(s.h()));
    return set;
  }
  // Rows of QMRRVC (at most 100).
  int64_t Count(const std::string& where) const {
    COLSET set = Fetch("SELECT HCONN FROM QMRRVC" + where);
    const int64_t n = set.rows_held;
    ColSetFreeColumns(&set);
    return n;
  }

 private:
  uint32_t h_ = 0;
};

std::string Hex8(uint32_t v) {
  char t[9];
  std::snprintf(t, sizeof t, "%08X", v);
  return t;
}

std::string Where(const RVC_LINK& l) {
  return " WHERE HCONN = '" + Hex8(l.hconn) + "' AND HCURS = '" + Hex8(l.hcurs) + "'";
}

void CreateTables(const Conn& c) {
  c.Exec("DROP TABLE QMRRVC", true);
  c.Exec("CREATE TABLE QMRRVC (HCONN CHAR(8), HCURS CHAR(8), KEYVER CHAR(32), ROWVER CHAR(32))");
  c.Exec("DROP TABLE RVC_T", true);
  c.Exec("CREATE TABLE RVC_T (K INT PRIMARY KEY, A VARCHAR(10), B VARCHAR(10))");
  c.Exec("INSERT INTO RVC_T VALUES (1, 'ab', 'c')");
  c.Exec("INSERT INTO RVC_T VALUES (2, NULL, 'x')");
  c.Exec("INSERT INTO RVC_T VALUES (3, 'p', 'q')");
}

// A cursor of conn: its agent statement and its link to the table.
struct Cursor {
  explicit Cursor(const Conn& c) : conn(c), stmt(c.h()) {
    EXPECT_EQ(RVC_Register(&link, &SCR_SavedAgent, c.h(), stmt.h(), 1), 0)
        << ::testing::PrintToString(Errors(stmt.h()));
  }
  ~Cursor() { RVC_Unregister(&link); }
  // The rowset as a dynamic cursor fetches it, compared with the table;
  // the statuses, or the code of a failure.
  std::vector<uint16_t> Check(int* rc) {
    COLSET keys = conn.Fetch("SELECT K FROM RVC_T ORDER BY K");
    COLSET rows = conn.Fetch("SELECT K, A, B FROM RVC_T ORDER BY K");
    std::vector<uint16_t> statuses(rows.rows_held, 99);
    *rc = RVC_CheckVersion(&link, &keys, &rows, statuses.data());
    ColSetFreeColumns(&keys);
    ColSetFreeColumns(&rows);
    return statuses;
  }
  const Conn& conn;
  Stmt stmt;
  RVC_LINK link{};
};

class RowVersions : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (std::string(GetParam().name) == "postgresql" && PgPort().empty())
      GTEST_SKIP() << "runs as scrs_rvc_tests_pg, on the fixture's server";
    std::string db = std::string("rvc_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& ch : db) ch = ch == '/' ? '_' : ch;
    url_ = GetParam().Url(db);
    app_ = std::make_unique<Conn>(GetParam(), url_);
    other_ = std::make_unique<Conn>(GetParam(), url_);
    CreateTables(*app_);
  }
  std::string url_;
  std::unique_ptr<Conn> app_, other_;
};

// What another user does between two fetches, and the statuses the next
// fetch must show. Values that only move between columns, and NULL that
// turns empty, are changes too.
struct Step {
  const char* change;  // null: nothing changes
  std::vector<uint16_t> statuses;
};

TEST_P(RowVersions, ComparisonFindsExactlyTheChangedRow) {
  Cursor cur(*app_);
  ASSERT_EQ(RVC_DeleteCursor(&cur.link), 0) << ::testing::PrintToString(Errors(cur.stmt.h()));
  const uint16_t ok = SQL_ROW_SUCCESS, upd = SQL_ROW_UPDATED;
  const Step steps[] = {
      {nullptr, {ok, ok, ok}},  // first seen: recorded
      {nullptr, {ok, ok, ok}},
      {"UPDATE RVC_T SET A = 'a', B = 'bc' WHERE K = 1", {upd, ok, ok}},
      {nullptr, {ok, ok, ok}},  // the stored version was brought up to date
      {"UPDATE RVC_T SET A = '' WHERE K = 2", {ok, upd, ok}},
      {"UPDATE RVC_T SET B = 'Q' WHERE K = 3", {ok, ok, upd}},
      {"INSERT INTO RVC_T VALUES (4, 'n', NULL)", {ok, ok, ok, ok}},
      {nullptr, {ok, ok, ok, ok}},
  };
  for (const Step& s : steps) {
    if (s.change != nullptr) other_->Exec(s.change);
    int rc = -1;
    EXPECT_EQ(cur.Check(&rc), s.statuses) << (s.change ? s.change : "(no change)");
    EXPECT_EQ(rc, 0) << ::testing::PrintToString(Errors(cur.stmt.h()));
  }
  EXPECT_EQ(app_->Count(Where(cur.link)), 4) << "one version row per key";
}

TEST_P(RowVersions, DeleteRemovesOnlyTheCursorsOwnRows) {
  Cursor a(*app_), b(*app_);
  Cursor c(*other_);
  for (Cursor* cur : {&a, &b, &c}) {
    int rc = -1;
    cur->Check(&rc);
    ASSERT_EQ(rc, 0) << ::testing::PrintToString(Errors(cur->stmt.h()));
  }
  EXPECT_NE(a.link.secondaryStmt, b.link.secondaryStmt) << "each cursor has its own connection";
  ASSERT_EQ(RVC_DeleteCursor(&a.link), 0) << ::testing::PrintToString(Errors(a.stmt.h()));
  EXPECT_EQ(app_->Count(Where(a.link)), 0);
  EXPECT_EQ(app_->Count(Where(b.link)), 3);
  EXPECT_EQ(app_->Count(Where(c.link)), 3);
  EXPECT_EQ(app_->Count(""), 6);
}

INSTANTIATE_TEST_SUITE_P(Databases, RowVersions, ::testing::ValuesIn(kBackends),
                         [](const ::testing::TestParamInfo<Backend>& i) { return std::string(i.param.name); });

// Without the table the first statement on it says so, after the
// database's own diagnostics.
TEST(RowVersionsMissing, DeleteNamesTheMissingTable) {
  const Backend& b = kBackends[0];
  Conn app(b, b.Url("rvc_missing"));
  Cursor cur(app);
  EXPECT_NE(RVC_DeleteCursor(&cur.link), 0);
  const std::vector<std::string> errors = Errors(cur.stmt.h());
  ASSERT_GE(errors.size(), 2u) << ::testing::PrintToString(errors);
  EXPECT_NE(errors.back().find("Check that the table QMRRVC exists"), std::string::npos)
      << ::testing::PrintToString(errors);
  EXPECT_NE(errors.back().find("IM926"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Two applications whose handle numbers are the same (each a fresh process
// doing the same steps) on one database: the second one's delete must not
// take the first one's rows.

constexpr const char* kChildBackend = "QMR_RVC_CHILD_BACKEND";
constexpr const char* kChildDir = "QMR_RVC_CHILD_DIR";
constexpr const char* kChildOut = "QMR_RVC_CHILD_OUT";
constexpr const char* kChildDelete = "QMR_RVC_CHILD_DELETE";

// Runs in the child processes only: records the rowset, deletes it again
// when asked, and writes the raw handles and the table values it used.
TEST(RowVersionsChild, RecordsAndReports) {
  const char* name = std::getenv(kChildBackend);
  if (name == nullptr) GTEST_SKIP() << "runs in the processes of RowVersionsProcesses";
  const Backend* b = FindBackend(name);
  ASSERT_NE(b, nullptr);
  Conn app(*b, b->Url("rvcshared", std::getenv(kChildDir)));
  // The first process makes the tables: an embedded database stays booted
  // (and locked) in the process that opened it.
  if (std::getenv(kChildDelete) == nullptr) CreateTables(app);
  Cursor cur(app);
  int rc = -1;
  cur.Check(&rc);
  ASSERT_EQ(rc, 0) << ::testing::PrintToString(Errors(cur.stmt.h()));
  if (std::getenv(kChildDelete) != nullptr) {
    ASSERT_EQ(RVC_DeleteCursor(&cur.link), 0);
  }
  std::ofstream out(std::getenv(kChildOut));
  out << app.h() << ' ' << cur.stmt.h() << ' ' << Hex8(cur.link.hconn) << ' '
      << Hex8(cur.link.hcurs) << '\n';
}

struct ChildReport {
  uint32_t conn = 0, stmt = 0;
  std::string hconn, hcurs;
};

ChildReport RunChild(const std::string& backend, const std::string& dir, bool del) {
  const std::string out = dir + (del ? "/second.txt" : "/first.txt");
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.push_back(std::string(kChildBackend) + "=" + backend);
  env.push_back(std::string(kChildDir) + "=" + dir);
  env.push_back(std::string(kChildOut) + "=" + out);
  if (del) env.push_back(std::string(kChildDelete) + "=1");
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  char self[4096] = {};
  EXPECT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  std::string filter = "--gtest_filter=RowVersionsChild.*";
  char* argv[] = {self, filter.data(), nullptr};
  pid_t pid = 0;
  ChildReport r;
  if (posix_spawn(&pid, self, nullptr, nullptr, argv, envp.data()) != 0) {
    ADD_FAILURE() << "cannot start " << self;
    return r;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << backend << " child failed";
  std::ifstream in(out);
  in >> r.conn >> r.stmt >> r.hconn >> r.hcurs;
  return r;
}

class RowVersionsProcesses : public ::testing::TestWithParam<Backend> {};

TEST_P(RowVersionsProcesses, SameHandlesNeverShareRows) {
  const Backend& b = GetParam();
  if (std::string(b.name) == "postgresql" && PgPort().empty())
    GTEST_SKIP() << "runs as scrs_rvc_tests_pg, on the fixture's server";
  char tmpl[] = "/tmp/qmr_rvc_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const ChildReport first = RunChild(b.name, dir, false);
  const ChildReport second = RunChild(b.name, dir, true);
  ASSERT_NE(first.conn, 0u);
  // The scenario: both processes used the same handle numbers...
  EXPECT_EQ(first.conn, second.conn);
  EXPECT_EQ(first.stmt, second.stmt);
  // ...yet wrote different values, and the second one's delete left the
  // first one's rows.
  EXPECT_FALSE(first.hconn == second.hconn && first.hcurs == second.hcurs);
  {
    Conn check(b, b.Url("rvcshared", dir));
    EXPECT_EQ(check.Count(" WHERE HCONN = '" + first.hconn + "' AND HCURS = '" + first.hcurs + "'"), 3);
    EXPECT_EQ(check.Count(""), 3);
    check.Exec("DROP TABLE QMRRVC");
    check.Exec("DROP TABLE RVC_T");
  }
  std::system(("rm -rf " + dir).c_str());
}

INSTANTIATE_TEST_SUITE_P(Databases, RowVersionsProcesses, ::testing::ValuesIn(kBackends),
                         [](const ::testing::TestParamInfo<Backend>& i) { return std::string(i.param.name); });

}  // namespace
