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
// process's trace, so that its log has nowhere to go.
ChildRun RunChild(std::vector<std::string> args) {
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
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("QMR_DEBUGFILE=", 0) != 0) env.push_back(*e);
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
     SQL_ERROR, "28000", "invalid authorization"},
    {"wrong password, Unicode",
     {"D,0,DSN=QmrHsqlPwU;UID=SA;PWD=right", "C,QmrHsqlPwU,SA,wrong"},
     SQL_ERROR, "28000", "invalid authorization"},
    // Completion without a window connects with what it has (PWD is empty
    // in odbc.ini), or fails with the database's own error.
    {"complete, no window", {"D,1,DSN=QmrHsqlA"}, SQL_SUCCESS, "", ""},
    {"complete required, no window", {"D,3,DSN=QmrHsqlU"}, SQL_SUCCESS, "", ""},
    {"complete, no window, wrong password",
     {"D,0,DSN=QmrHsqlPwU;UID=SA;PWD=right", "D,1,DSN=QmrHsqlPwU;UID=SA;PWD=wrong"},
     SQL_ERROR, "28000", "invalid authorization"},
    // A keyword given twice: the first value counts.
    {"first password counts",
     {"D,0,DSN=QmrHsqlPw;UID=SA;PWD=right", "D,0,DSN=QmrHsqlPw;UID=SA;PWD=right;PWD=wrong"},
     SQL_SUCCESS, "", ""},
    {"first password counts, wrong first",
     {"D,0,DSN=QmrHsqlPwU;UID=SA;PWD=right", "D,0,DSN=QmrHsqlPwU;UID=SA;PWD=wrong;PWD=right"},
     SQL_ERROR, "28000", "invalid authorization"},
    {"first URL counts",
     {"D,0,DSN=QmrHsqlU;URL=jdbc:hsqldb:mem:x;URL=jdbc:hsqldb:hsql://127.0.0.1:1/x"},
     SQL_SUCCESS, "", ""},
    {"first URL counts, refused first",
     {"D,0,DSN=QmrHsqlA;URLString=jdbc:hsqldb:hsql://127.0.0.1:1/x;URL=jdbc:hsqldb:mem:x"},
     SQL_ERROR, "08001", "Connection refused"},
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
