// Connects as applications make them, each case in a process of its own so
// that its standard error is its alone: a failed connect tells its cause in
// the first record (what PHP and pyodbc show), a connection string is read
// by ODBC's rules (no prompt without a window, the first of a repeated
// keyword), and nothing ever reaches the application's standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sql.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ChildRun {
  int status = -1;
  std::vector<std::string> out;  // the child's lines
  std::string err;               // its standard error, whole
};

std::string Slurp(int fd) {
  std::string text;
  char buf[4096];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(fd);
  return text;
}

// The child's output in unlinked files; its environment without this
// process's trace, so that its log has nowhere to go, and with each of
// `extraEnv` ("NAME=value") in place of this process's NAME.
ChildRun RunChild(std::vector<std::string> args, std::vector<std::string> extraEnv) {
  ChildRun run;
  char outPath[] = "/tmp/qmr-connect-XXXXXX", errPath[] = "/tmp/qmr-connect-XXXXXX";
  const int outFd = mkstemp(outPath), errFd = mkstemp(errPath);
  unlink(outPath);
  unlink(errPath);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, outFd, 1);
  posix_spawn_file_actions_adddup2(&fa, errFd, 2);
  args.insert(args.begin(), QMR_CONNECT_CHILD);
  std::vector<char*> argv, env;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  auto replaced = [&extraEnv](const std::string& e) {
    for (const std::string& x : extraEnv)
      if (e.rfind(x.substr(0, x.find('=') + 1), 0) == 0) return true;
    return e.rfind("QMR_DEBUGFILE=", 0) == 0;
  };
  for (char** e = environ; *e != nullptr; ++e)
    if (!replaced(*e)) env.push_back(*e);
  for (std::string& x : extraEnv) env.push_back(&x[0]);
  env.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), env.data()) == 0)
    waitpid(pid, &run.status, 0);
  posix_spawn_file_actions_destroy(&fa);
  std::istringstream lines(Slurp(outFd));
  for (std::string l; std::getline(lines, l);) run.out.push_back(l);
  run.err = Slurp(errFd);
  return run;
}

ChildRun RunChild(std::vector<std::string> args, const std::string& extraEnv = "") {
  return RunChild(std::move(args), extraEnv.empty() ? std::vector<std::string>{}
                                                    : std::vector<std::string>{extraEnv});
}

// The judged step's "rc=" line and records, past what -Xcheck:jni prints.
std::vector<std::string> LastBlock(const ChildRun& run) {
  std::vector<std::string> block;
  for (const std::string& l : run.out) {
    const size_t rc = l.find("rc="), rec = l.find("|[");
    if (rc != std::string::npos && (rc == 0 || l[rc - 1] == ' '))
      block.assign(1, l.substr(rc));
    else if (rec != std::string::npos && rec >= 5)
      block.push_back(l.substr(rec - 5));
  }
  return block;
}

struct Case {
  const char* what;
  std::vector<std::string> steps;  // the last one is judged
  int rc;
  const char* state;  // of the first record; "" for none
  const char* text;   // in the first record's message
};

const Case kCases[] = {
    {"refused, ANSI", {"C,QmrBadUrl,,"}, SQL_ERROR, "08001", "Connection refused"},
    {"refused, Unicode", {"C,QmrBadUrlU,,"}, SQL_ERROR, "08001", "Connection refused"},
    {"no class, ANSI", {"C,QmrNoClassA,,"}, SQL_ERROR, "IM003", "org.example.NoSuchDriver"},
    {"no class, Unicode", {"C,QmrNoClassU,,"}, SQL_ERROR, "IM003", "org.example.NoSuchDriver"},
    {"wrong password, ANSI",
     {"D,0,DSN=QmrHsqlPw;UID=SA;PWD=right", "C,QmrHsqlPw,SA,wrong"},
     SQL_ERROR,
     "28000",
     "invalid authorization"},
    {"wrong password, Unicode",
     {"D,0,DSN=QmrHsqlPwU;UID=SA;PWD=right", "C,QmrHsqlPwU,SA,wrong"},
     SQL_ERROR,
     "28000",
     "invalid authorization"},
    // Completion without a window connects with what it has (PWD is empty
    // in odbc.ini), or fails with the database's own error.
    {"complete, no window", {"D,1,DSN=QmrHsqlA"}, SQL_SUCCESS, "", ""},
    {"complete required, no window", {"D,3,DSN=QmrHsqlU"}, SQL_SUCCESS, "", ""},
    {"complete, no window, wrong password",
     {"D,0,DSN=QmrHsqlPwU;UID=SA;PWD=right", "D,1,DSN=QmrHsqlPwU;UID=SA;PWD=wrong"},
     SQL_ERROR,
     "28000",
     "invalid authorization"},
    // A keyword given twice: the first value counts.
    {"first password counts",
     {"D,0,DSN=QmrHsqlPw;UID=SA;PWD=right", "D,0,DSN=QmrHsqlPw;UID=SA;PWD=right;PWD=wrong"},
     SQL_SUCCESS,
     "",
     ""},
    {"first password counts, wrong first",
     {"D,0,DSN=QmrHsqlPwU;UID=SA;PWD=right", "D,0,DSN=QmrHsqlPwU;UID=SA;PWD=wrong;PWD=right"},
     SQL_ERROR,
     "28000",
     "invalid authorization"},
    {"first URL counts",
     {"D,0,DSN=QmrHsqlU;URL=jdbc:hsqldb:mem:x;URL=jdbc:hsqldb:hsql://127.0.0.1:1/x"},
     SQL_SUCCESS,
     "",
     ""},
    {"first URL counts, refused first",
     {"D,0,DSN=QmrHsqlA;URLString=jdbc:hsqldb:hsql://127.0.0.1:1/x;URL=jdbc:hsqldb:mem:x"},
     SQL_ERROR,
     "08001",
     "Connection refused"},
};

TEST(ConnectChild, CauseFirstRulesOfTheStringAndNothingOnStderr) {
  ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
  // The stand-in dialog on the library path would answer "cancelled": a
  // prompt would show as SQL_NO_DATA.
  for (const Case& c : kCases) {
    const ChildRun run = RunChild(c.steps);
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << c.what;
    // The judged connect's block: from its "rc=" line on.
    size_t at = run.out.size();
    while (at > 0 && run.out[at - 1].rfind("rc=", 0) != 0) --at;
    ASSERT_GT(at, 0u) << c.what;
    EXPECT_EQ(run.out[at - 1], "rc=" + std::to_string(c.rc)) << c.what;
    const std::vector<std::string> recs(run.out.begin() + static_cast<long>(at), run.out.end());
    std::string all;
    for (const std::string& r : recs) all += r + "\n";
    if (*c.state != '\0') {
      ASSERT_FALSE(recs.empty()) << c.what;
      EXPECT_EQ(recs[0].substr(0, 6), std::string(c.state) + "|") << c.what << "\n" << all;
      EXPECT_NE(recs[0].find(c.text), std::string::npos) << c.what << "\n" << all;
      EXPECT_EQ(all.find("Unable to allocate"), std::string::npos) << c.what << "\n" << all;
    }
    EXPECT_EQ(run.err, "") << c.what;
  }
}

}  // namespace

namespace {

// A host that installs its own SIGSEGV handler after the VM started (a crash
// reporter) would receive the VM's own faults: the next execute or connect
// says so and names the chaining library; with it preloaded both go on.
TEST(ConnectChild, ReplacedVmSignalHandlerFailsTheCallUntilChained) {
  const struct {
    const char* what;
    std::vector<std::string> steps;  // the last one is judged
    bool chained;                    // LD_PRELOAD of the library named before
    int rc;
  } rows[] = {
      {"kept, Unicode", {"O,QmrHsqlU", "X,VALUES 1"}, false, SQL_SUCCESS},
      {"execute, ANSI", {"O,QmrHsqlA", "S", "X,VALUES 1"}, false, SQL_ERROR},
      {"execute, Unicode", {"O,QmrHsqlU", "S", "X,VALUES 1"}, false, SQL_ERROR},
      {"connect, ANSI", {"O,QmrHsqlA", "S", "C,QmrHsqlA,,"}, false, SQL_ERROR},
      {"chained execute, Unicode", {"O,QmrHsqlU", "S", "X,VALUES 1"}, true, SQL_SUCCESS},
      {"chained connect, ANSI", {"O,QmrHsqlA", "S", "C,QmrHsqlA,,"}, true, SQL_SUCCESS},
  };
  std::string lib;
  for (const auto& r : rows) {
    const ChildRun run = RunChild(r.steps, r.chained ? "LD_PRELOAD=" + lib : "");
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << r.what << run.err;
    const std::vector<std::string> b = LastBlock(run);
    ASSERT_FALSE(b.empty()) << r.what;
    EXPECT_EQ(b[0], "rc=" + std::to_string(r.rc)) << r.what << (b.size() > 1 ? b[1] : "");
    if (r.rc == SQL_SUCCESS) continue;
    ASSERT_EQ(b.size(), 2u) << r.what;
    const size_t at = b[1].find("LD_PRELOAD=");
    EXPECT_TRUE(b[1].rfind("HY000|", 0) == 0 &&
                b[1].find("handler for SIGSEGV") != std::string::npos)
        << b[1];
    ASSERT_NE(at, std::string::npos) << r.what << b[1];
    lib = b[1].substr(at + 11);
    EXPECT_EQ(access(lib.c_str(), R_OK), 0) << r.what << lib;
  }
}

}  // namespace

namespace {

std::string JvmOpts(const std::string& more) {
  const char* now = std::getenv("QMR_JVM_OPTS");
  return "QMR_JVM_OPTS=" + std::string(now != nullptr ? now : "") + " " + more;
}

// The first record's line of each step, in order ("rc=" lines apart).
std::vector<std::string> FirstRecords(const ChildRun& run) {
  std::vector<std::string> firsts;
  bool open = false;
  for (const std::string& l : run.out) {
    if (l.rfind("rc=", 0) == 0) {
      open = true;
    } else if (open) {
      firsts.push_back(l);
      open = false;
    }
  }
  return firsts;
}

// One VM creation a process: both builds racing their first connects all
// connect; after a failed creation every later connect, through either
// build, answers that failure instead of creating the VM again (which ends
// the process inside the VM).
TEST(ConnectChild, OneVmCreationAProcess) {
  const struct {
    const char* what;
    std::vector<std::string> steps;
    std::string env;
    int rc;  // of every connect
  } rows[] = {
      {"race", {"P,QmrHsqlU,QmrHsqlA,QmrHsqlU,QmrHsqlA,QmrHsqlA,QmrHsqlU"}, "", SQL_SUCCESS},
      {"race again", {"P,QmrHsqlA,QmrHsqlU,QmrHsqlA,QmrHsqlU"}, "", SQL_SUCCESS},
      {"failed, then both builds",
       {"C,QmrHsqlU,,", "C,QmrHsqlU,,", "C,QmrHsqlA,,", "C,QmrHsqlA,,"},
       JvmOpts("-Xss1k"),
       SQL_ERROR},
  };
  for (const auto& r : rows) {
    const ChildRun run = RunChild(r.steps, r.env);
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
        << r.what << " status " << run.status << "\n"
        << run.err;
    int connects = 0;
    for (const std::string& l : run.out) {
      if (l.rfind("rc=", 0) != 0) continue;
      ++connects;
      EXPECT_EQ("rc=" + std::to_string(r.rc), l) << r.what;
    }
    EXPECT_GE(connects, 4) << r.what;
    EXPECT_EQ("", run.err) << r.what;
    if (r.rc == SQL_SUCCESS) continue;
    const std::vector<std::string> firsts = FirstRecords(run);
    ASSERT_EQ(4u, firsts.size()) << r.what;
    EXPECT_NE(std::string::npos, firsts[0].find("stack size")) << firsts[0];
    for (size_t i = 1; i < firsts.size(); ++i) EXPECT_EQ(firsts[0], firsts[i]) << r.what << i;
  }
}

// Options the VM takes but cannot start with end the process inside the
// connect (status 1), its last words in the driver's log; a Java agent jar
// it cannot open is refused before it starts. Never a byte on stderr.
TEST(ConnectChild, VmOptionFaultsTellTheLogNotStderr) {
  const struct {
    const char* option;
    bool ends;
    const char* logged;
  } rows[] = {
      {"-Xmx1k", true, "Too small maximum heap"},
      {"-XX:MaxMetaspaceSize=1k", true, "Metaspace"},
      {"-agentlib:nosuchagent", true, "Could not find agent library nosuchagent"},
      {"-Xms2g -Xmx1g", true, "Initial heap size set to a larger value"},
      {"-javaagent:/nonexistent.jar", false, "/nonexistent.jar (-javaagent:"},
      {"-Xss1k", false, "stack size specified is too small"},
  };
  for (const auto& r : rows) {
    char logPath[] = "/tmp/qmr-vmlog-XXXXXX";
    const int logFd = mkstemp(logPath);
    const ChildRun run = RunChild({"D,0,DSN=QmrHsqlA"},
                                  {JvmOpts(r.option), std::string("QMR_DEBUGFILE=") + logPath});
    unlink(logPath);
    const std::string log = Slurp(logFd);
    ASSERT_TRUE(WIFEXITED(run.status)) << r.option << " status " << run.status;
    EXPECT_EQ(r.ends ? 1 : 0, WEXITSTATUS(run.status)) << r.option;
    if (!r.ends) {
      ASSERT_FALSE(run.out.empty()) << r.option;
      EXPECT_EQ("rc=-1", run.out[0]) << r.option;
    }
    EXPECT_NE(std::string::npos, log.find(r.logged)) << r.option << "\n" << log;
    EXPECT_EQ("", run.err) << r.option;
  }
}

// pgjdbc logs a refused connect through java.util.logging, whose default
// writes to stderr: the driver's VM keeps it off.
TEST(ConnectChild, NothingOnStderrAfterARefusedPgjdbcConnect) {
  const ChildRun run = RunChild({"D,0,DRIVER=Quillmar ANSI;JdbcDriver=org.postgresql.Driver;"
                                 "URL=jdbc:postgresql://127.0.0.1:1/x;UID=u;PWD=p"},
                                JvmOpts("-Djava.class.path=/usr/share/java/postgresql.jar"));
  ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.err;
  ASSERT_FALSE(run.out.empty());
  EXPECT_EQ("rc=-1", run.out[0]);
  ASSERT_GE(run.out.size(), 2u);
  EXPECT_EQ("08001|", run.out[1].substr(0, 6)) << run.out[1];
  EXPECT_EQ("", run.err);
}

}  // namespace
