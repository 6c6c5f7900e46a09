// The row-version table of dynamic cursors against the four databases,
// driven as the cursor library drives it: connections opened through the
// library's connect hook, rowsets fetched by the agent, versions compared on
// the cursor's own secondary connection while a second connection changes
// rows. Each set-up creates the user's table QMRRVC. Beside them, the
// values a static cursor keeps for values concurrency, read where the
// library keeps them.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "proxy/register.h"
#include "scrs/rvc.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/scrvalues.h"
#include "tests/support/agent_env.h"

extern char** environ;

namespace {

using agent_test::Errors;
using agent_test::Stmt;

std::string PgPort() {
  std::string port;
  if (const char* file = std::getenv("QMR_PG_PORT_FILE")) std::ifstream(file) >> port;
  return port;
}

struct Backend {
  const char* name;
  const char* cls;
  const char* user;
  // Database db in memory, or in files under dir, where processes one
  // after the other see the same rows. PostgreSQL: the fixture's server.
  std::string Url(const std::string& db, const std::string& dir = "") const {
    const std::string n = name, file = dir + "/" + db;
    if (n == "hsqldb")
      return dir.empty() ? "jdbc:hsqldb:mem:" + db
                         : "jdbc:hsqldb:file:" + file + ";hsqldb.write_delay=false;shutdown=true";
    if (n == "h2")
      return dir.empty() ? "jdbc:h2:mem:" + db + ";DB_CLOSE_DELAY=-1" : "jdbc:h2:" + file;
    if (n == "derby")
      return (dir.empty() ? "jdbc:derby:memory:" + db : "jdbc:derby:" + file) + ";create=true";
    return "jdbc:postgresql://127.0.0.1:" + PgPort() + "/qmr";
  }
  bool Absent() const { return std::string(name) == "postgresql" && PgPort().empty(); }
};

void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }
std::string Name(const ::testing::TestParamInfo<Backend>& i) { return i.param.name; }

const Backend kBackends[] = {{"hsqldb", "org.hsqldb.jdbc.JDBCDriver", "SA"},
                             {"h2", "org.h2.Driver", "sa"},
                             {"derby", "org.apache.derby.jdbc.EmbeddedDriver", "app"},
                             {"postgresql", "org.postgresql.Driver", "qmr"}};

// The library's table, installed as the driver installs it.
const DRV_OpTable& Library() {
  static DRV_Agent agent{};
  static const int registered = DRV_RegisterAgent(&agent);
  (void)registered;
  return *agent.ops;
}

// A connection opened through the library's table, as the driver opens it,
// so the library can open the cursor's secondary connection like it.
uint32_t Connect(const Backend& b, const std::string& url) {
  static const uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar:/usr/share/java/h2.jar"
      ":/usr/share/java/derby.jar:/usr/share/java/postgresql.jar -Duser.timezone=UTC -Xcheck:jni"
      " -Dderby.stream.error.file=/dev/null");
  agent_test::Login login;
  login.driverClass = b.cls;
  login.url = url;
  login.user = b.user;
  login.ops = &Library();
  uint32_t conn = 0;
  EXPECT_EQ(agent_test::Connect(env, login, &conn), 0u)
      << url << ": " << ::testing::PrintToString(Errors(env));
  return conn;
}

void Exec(uint32_t conn, const std::string& sql, bool mayFail = false) {
  Stmt s(conn);
  const uint32_t rc = s.Run(sql);
  EXPECT_TRUE(mayFail || rc == 0) << sql << ": " << ::testing::PrintToString(Errors(s.h()));
}

COLSET Fetch(uint32_t conn, const std::string& sql) {
  Stmt s(conn);
  COLSET set{};
  uint32_t rc = s.Run(sql);
  if (rc == 0) rc = DRV_JdbcOpTable.DRV_Fetch(s.h(), 100, &set);
  EXPECT_EQ(rc, 0u) << sql << ": " << ::testing::PrintToString(Errors(s.h()));
  return set;
}

std::string Hex8(uint32_t v) {
  char t[9];
  std::snprintf(t, sizeof t, "%08X", v);
  return t;
}

// Version rows of one cursor (HCONN, HCURS as written), or all of them.
int64_t Count(uint32_t conn, const std::string& hconn = "", const std::string& hcurs = "") {
  const std::string where =
      hconn.empty() ? "" : " WHERE HCONN = '" + hconn + "' AND HCURS = '" + hcurs + "'";
  COLSET set = Fetch(conn, "SELECT HCONN FROM QMRRVC" + where);
  const int64_t n = set.rows_held;
  ColSetFreeColumns(&set);
  return n;
}

void CreateTables(uint32_t conn) {
  for (const char* t : {"QMRRVC", "RVC_T"}) Exec(conn, std::string("DROP TABLE ") + t, true);
  Exec(conn,
       "CREATE TABLE QMRRVC (HCONN CHAR(8), HCURS CHAR(8), KEYVER CHAR(32), ROWVER CHAR(32))");
  Exec(conn, "CREATE TABLE RVC_T (K INT PRIMARY KEY, A VARCHAR(10), B VARCHAR(10))");
  Exec(conn, "INSERT INTO RVC_T VALUES (1, 'ab', 'c'), (2, NULL, 'x'), (3, 'p', 'q')");
}

// The rowset as a dynamic cursor of conn fetches it, compared with the table.
std::vector<uint16_t> CheckRows(uint32_t conn, RVC_LINK* link, int* rc) {
  COLSET keys = Fetch(conn, "SELECT K FROM RVC_T ORDER BY K");
  COLSET rows = Fetch(conn, "SELECT K, A, B FROM RVC_T ORDER BY K");
  std::vector<uint16_t> statuses(rows.rows_held, 99);
  *rc = RVC_CheckVersion(link, &keys, &rows, statuses.data());
  ColSetFreeColumns(&keys);
  ColSetFreeColumns(&rows);
  return statuses;
}

// A cursor of a connection: its agent statement and its link to the table.
struct Cursor {
  explicit Cursor(uint32_t c) : conn(c), stmt(c) {
    EXPECT_EQ(RVC_Register(&link, &SCR_SavedAgent, c, stmt.h(), 1), 0)
        << ::testing::PrintToString(Errors(stmt.h()));
  }
  ~Cursor() { RVC_Unregister(&link); }
  std::vector<uint16_t> Check(int* rc) { return CheckRows(conn, &link, rc); }
  int64_t Rows() const { return Count(conn, Hex8(link.hconn), Hex8(link.hcurs)); }
  uint32_t conn;
  Stmt stmt;
  RVC_LINK link{};
};

class RowVersions : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam().Absent()) GTEST_SKIP() << "runs as scrs_rvc_tests_pg, on the fixture's server";
    std::string db = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& ch : db) ch = ch == '/' ? '_' : ch;
    app_ = Connect(GetParam(), GetParam().Url(db));
    other_ = Connect(GetParam(), GetParam().Url(db));
    CreateTables(app_);
  }
  void TearDown() override {
    for (uint32_t c : {app_, other_})
      if (c != 0) SCR_Disconnect(c);
  }
  uint32_t app_ = 0, other_ = 0;
};

// What another user does between two fetches, and the statuses the next
// fetch must show. Values that only move between columns, NULL that turns
// empty or moves to another column, are changes too.
struct Step {
  const char* change;  // null: nothing changes
  std::vector<uint16_t> statuses;
};

TEST_P(RowVersions, ComparisonFindsExactlyTheChangedRow) {
  Cursor cur(app_);
  ASSERT_EQ(RVC_DeleteCursor(&cur.link), 0) << ::testing::PrintToString(Errors(cur.stmt.h()));
  const uint16_t ok = SQL_ROW_SUCCESS, upd = SQL_ROW_UPDATED;
  const Step steps[] = {
      {nullptr, {ok, ok, ok}},  // first seen: recorded
      {nullptr, {ok, ok, ok}},
      {"UPDATE RVC_T SET A = 'a', B = 'bc' WHERE K = 1", {upd, ok, ok}},
      {nullptr, {ok, ok, ok}},  // the stored version was brought up to date
      {"UPDATE RVC_T SET A = '' WHERE K = 2", {ok, upd, ok}},
      {"UPDATE RVC_T SET A = 'x', B = NULL WHERE K = 2", {ok, upd, ok}},
      {"UPDATE RVC_T SET B = 'Q' WHERE K = 3", {ok, ok, upd}},
      {"INSERT INTO RVC_T VALUES (4, 'n', NULL)", {ok, ok, ok, ok}},
      {nullptr, {ok, ok, ok, ok}},
  };
  for (const Step& s : steps) {
    if (s.change != nullptr) Exec(other_, s.change);
    int rc = -1;
    EXPECT_EQ(cur.Check(&rc), s.statuses) << (s.change ? s.change : "(no change)");
    EXPECT_EQ(rc, 0) << ::testing::PrintToString(Errors(cur.stmt.h()));
  }
  EXPECT_EQ(cur.Rows(), 4) << "one version row per key";
  // Two versions of one key: the check cannot tell which holds.
  Exec(other_, "INSERT INTO QMRRVC SELECT * FROM QMRRVC");
  int rc = 0;
  cur.Check(&rc);
  EXPECT_EQ(rc, ERR_GENERAL);
  // Without the table the database's diagnostics come first, then the hint.
  Exec(other_, "DROP TABLE QMRRVC");
  EXPECT_NE(RVC_DeleteCursor(&cur.link), 0);
  const std::vector<std::string> errors = Errors(cur.stmt.h());
  ASSERT_GE(errors.size(), 2u) << ::testing::PrintToString(errors);
  EXPECT_NE(errors.back().find("Check that the table QMRRVC exists"), std::string::npos);
  EXPECT_NE(errors.back().find("IM926"), std::string::npos);
}

TEST_P(RowVersions, DeleteRemovesOnlyTheCursorsOwnRows) {
  Cursor a(app_), b(app_), c(other_);
  for (Cursor* cur : {&a, &b, &c}) {
    int rc = -1;
    cur->Check(&rc);
    ASSERT_EQ(rc, 0) << ::testing::PrintToString(Errors(cur->stmt.h()));
  }
  EXPECT_NE(a.link.secondaryStmt, b.link.secondaryStmt) << "each cursor has its own connection";
  ASSERT_EQ(RVC_DeleteCursor(&a.link), 0) << ::testing::PrintToString(Errors(a.stmt.h()));
  EXPECT_EQ(a.Rows(), 0);
  EXPECT_EQ(b.Rows(), 3);
  EXPECT_EQ(c.Rows(), 3);
  EXPECT_EQ(Count(app_), 6);
}

TEST_P(RowVersions, FreedStatementTakesItsRowsAlong) {
  uint32_t h = 0;
  ASSERT_EQ(Library().DRV_AllocStmt(app_, &h), 0u);
  SCR_CURSOR* cur = SCR_StmtCursor(h);
  ASSERT_NE(cur, nullptr);
  ASSERT_EQ(RVC_Register(&cur->rvcLink, cur->agent, app_, h, 1), 0);
  int rc = -1;
  CheckRows(app_, &cur->rvcLink, &rc);
  ASSERT_EQ(rc, 0) << ::testing::PrintToString(Errors(h));
  const std::string hconn = Hex8(cur->rvcLink.hconn), hcurs = Hex8(cur->rvcLink.hcurs);
  EXPECT_EQ(Count(app_, hconn, hcurs), 3);
  EXPECT_EQ(Library().DRV_FreeStmt(h), 0u);
  EXPECT_EQ(Count(app_, hconn, hcurs), 0);
}

// Rows first..first+n-1 of a set as "c0 c1|c0 c1..." (integers in decimal).
std::string Rows(const COLSET* set, uint32_t first, uint32_t n) {
  std::string out;
  for (uint32_t r = first; r < first + n && r < set->rows_held; ++r) {
    for (uint16_t c = 0; c < set->cols_used; ++c) {
      std::string text;
      int64_t v = 0;
      if (SCR_CellInt(set, c, r, &v))
        text = std::to_string(v);
      else
        SCR_CellText(set, c, r, &text);
      out += (c ? " " : r > first ? "|" : "") + text;
    }
  }
  return out;
}

// Each rowset's values, every column of the table, stay as the cursor read
// them, in the order of its own rows, whatever another user changes, until
// the cursor reads them again; they give the keys its rows do not show.
TEST_P(RowVersions, StaticCursorKeepsTheValuesItRead) {
  const DRV_OpTable& lib = Library();
  uint32_t h = 0, type = SQL_CURSOR_STATIC, conc = SQL_CONCUR_VALUES, rowset = 2;
  ASSERT_EQ(lib.DRV_AllocStmt(app_, &h), 0u);
  for (auto [option, value] :
       {std::pair{OPT_CURSOR_TYPE, &type}, {OPT_CONCURRENCY, &conc}, {OPT_ROWSET_SIZE, &rowset}})
    ASSERT_EQ(lib.DRV_SetOption(h, option, value), 0u);
  ASSERT_EQ(lib.DRV_Prepare(h, "SELECT B FROM RVC_T"), 0u) << ::testing::PrintToString(Errors(h));
  ASSERT_EQ(lib.DRV_Execute(h), 0u) << ::testing::PrintToString(Errors(h));
  SCR_CURSOR* cur = SCR_StmtCursor(h);
  const char* steps[][3] = {
      {"1", "c|x", "1 ab c|2  x"}, {"3", "q", "3 p q"}, {"2", "x|q", "2  x|3 p q"}};
  for (const auto& s : steps) {
    ROWSTATUS* rs = nullptr;
    uint32_t got = 0, count = 0;
    ASSERT_EQ(lib.DRV_FetchScroll(h, &rs, std::stoi(s[0]), &got, &count, SQL_FETCH_ABSOLUTE), 0u);
    EXPECT_EQ(Rows(rs->rows, 0, got), s[1]);
    RowStatusFree(&rs);
    const KS_KEYSET* ks = cur->analysis->keyset.get();
    ASSERT_TRUE(ks != nullptr && ks->valuesWindow >= 0);
    EXPECT_EQ(Rows(ks->values, cur->rowsetStart - 1 - ks->valuesWindow, got), s[2]) << s[0];
    Exec(other_, "UPDATE RVC_T SET A = 'z', B = 'z'");
  }
  // A change compares with the row as the cursor read it; once the cursor
  // changed the row itself, with what a read by key finds.
  const uint32_t changed[] = {2};
  const auto k = static_cast<uint32_t>(cur->rowsetStart);
  SCR_KEPTROW kept;
  ASSERT_EQ(scs_p_StaticKeptRow(cur, k, &kept), 0);
  EXPECT_EQ(Rows(kept.values.get(), 0, 1), "q");
  ASSERT_EQ(scs_p_RefreshOptConcRows(cur, changed, 1), 0) << ::testing::PrintToString(Errors(h));
  ASSERT_EQ(scs_p_StaticKeptRow(cur, k, &kept), 0);
  EXPECT_EQ(Rows(kept.values.get(), 0, 1), "z");
  EXPECT_EQ(lib.DRV_FreeStmt(h), 0u);
}

INSTANTIATE_TEST_SUITE_P(Databases, RowVersions, ::testing::ValuesIn(kBackends), Name);

// ---------------------------------------------------------------------------
// Two applications with the same handle numbers (fresh processes doing the
// same steps) on one database: the second one's delete must leave the first
// one's rows.

// Runs in the child processes only: the first makes the tables (an embedded
// database stays locked by the process that opened it) and records the
// rowset; the second records it and deletes its rows again. Each writes
// its raw handles and the values it wrote.
TEST(RowVersionsChild, RecordsAndReports) {
  const char* backend = std::getenv("QMR_RVC_CHILD");
  if (backend == nullptr) GTEST_SKIP() << "runs in the processes of RowVersionsProcesses";
  const bool second = std::getenv("QMR_RVC_SECOND") != nullptr;
  const Backend* b = nullptr;
  for (const Backend& x : kBackends) b = backend == std::string(x.name) ? &x : b;
  ASSERT_NE(b, nullptr);
  const uint32_t app = Connect(*b, b->Url("rvcshared", std::getenv("QMR_RVC_DIR")));
  if (!second) CreateTables(app);
  {
    Cursor cur(app);
    int rc = -1;
    cur.Check(&rc);
    ASSERT_EQ(rc, 0) << ::testing::PrintToString(Errors(cur.stmt.h()));
    EXPECT_EQ(second ? RVC_DeleteCursor(&cur.link) : 0, 0);
    std::ofstream(std::getenv("QMR_RVC_OUT"))
        << app << ' ' << cur.stmt.h() << ' ' << Hex8(cur.link.hconn) << ' ' << Hex8(cur.link.hcurs)
        << '\n';
  }
  SCR_Disconnect(app);
}

struct ChildReport {
  uint32_t conn = 0, stmt = 0;
  std::string hconn, hcurs;
};

ChildReport RunChild(const Backend& b, const std::string& dir, bool second) {
  const std::string out = dir + (second ? "/second" : "/first");
  setenv("QMR_RVC_CHILD", b.name, 1);
  setenv("QMR_RVC_DIR", dir.c_str(), 1);
  setenv("QMR_RVC_OUT", out.c_str(), 1);
  if (second) setenv("QMR_RVC_SECOND", "1", 1);
  char self[4096] = {};
  EXPECT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  char filter[] = "--gtest_filter=RowVersionsChild.*";
  char* argv[] = {self, filter, nullptr};
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
  for (const char* v : {"QMR_RVC_CHILD", "QMR_RVC_DIR", "QMR_RVC_OUT", "QMR_RVC_SECOND"})
    unsetenv(v);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << b.name << (second ? " second" : " first");
  ChildReport r;
  std::ifstream(out) >> r.conn >> r.stmt >> r.hconn >> r.hcurs;
  return r;
}

class RowVersionsProcesses : public ::testing::TestWithParam<Backend> {};

TEST_P(RowVersionsProcesses, SameHandlesNeverShareRows) {
  const Backend& b = GetParam();
  if (b.Absent()) GTEST_SKIP() << "runs as scrs_rvc_tests_pg, on the fixture's server";
  char tmpl[] = "/tmp/qmr_rvc_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const ChildReport first = RunChild(b, dir, false);
  const ChildReport second = RunChild(b, dir, true);
  ASSERT_NE(first.conn, 0u);
  // The same handle numbers, yet other values, and the first one's rows stay.
  EXPECT_EQ(first.conn, second.conn);
  EXPECT_EQ(first.stmt, second.stmt);
  EXPECT_FALSE(first.hconn == second.hconn && first.hcurs == second.hcurs);
  const uint32_t check = Connect(b, b.Url("rvcshared", dir));
  EXPECT_EQ(Count(check, first.hconn, first.hcurs), 3);
  EXPECT_EQ(Count(check), 3);
  for (const char* t : {"QMRRVC", "RVC_T"}) Exec(check, std::string("DROP TABLE ") + t);
  SCR_Disconnect(check);
  EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(Databases, RowVersionsProcesses, ::testing::ValuesIn(kBackends), Name);

}  // namespace
