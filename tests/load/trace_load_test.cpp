// The driver trace through a real load: a child application (qmr_load_child)
// loads one library with QMR_DEBUGFILE set, makes a few calls and exits; the
// library's unload hook runs at that exit and must finish the trace after
// the library's own static objects are gone. The parent reads what the
// child left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ChildRun {
  pid_t pid = -1;
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::string Hex(long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lX", v);
  return buf;
}

class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base != nullptr && *base ? base : "/tmp") + "/qmr-loadXXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs the child application on one library with QMR_DEBUGFILE set to
// `debugFile` (everything else of this process's environment is kept, the
// sanitizer options among it). argv0 is what the child sees as its name.
ChildRun RunChild(const std::string& dir, const std::string& library, const std::string& debugFile,
                  const std::string& argv0 = "qmr_load_child", const char* mode = nullptr) {
  ChildRun run;
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "QMR_DEBUGFILE=", 14) != 0) env.push_back(*e);
  env.push_back("QMR_DEBUGFILE=" + debugFile);
  std::vector<char*> envp;
  for (auto& s : env) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  std::string exe = QMR_LOAD_CHILD;
  std::string a0 = argv0, a1 = library;
  std::string a2 = mode != nullptr ? mode : "";
  char* argv[] = {&a0[0], &a1[0], mode != nullptr ? &a2[0] : nullptr, nullptr};
  const std::string outPath = dir + "/child.out", errPath = dir + "/child.err";
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (out < 0 || err < 0) return run;
  run.pid = fork();
  if (run.pid == 0) {
    // The trace file's mode must not depend on the creator's umask.
    umask(0);
    if (chdir(dir.c_str()) != 0) _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    execve(exe.c_str(), argv, envp.data());
    _exit(127);
  }
  close(out);
  close(err);
  if (run.pid > 0) waitpid(run.pid, &run.status, 0);
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  return run;
}

// A sanitizer report or a runtime error of the child, if any.
bool Clean(const std::string& err) {
  return err.find("Sanitizer") == std::string::npos &&
         err.find("runtime error") == std::string::npos;
}

bool ExitedZero(const ChildRun& r) { return WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0; }

const std::regex kStarted(
    R"(\*\* started on [A-Z][a-z]{2} [A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} \d{4} \*\*)");
const std::regex kFinished(
    R"(\*\* finished on [A-Z][a-z]{2} [A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} \d{4} \*\*)");

// The calls the child makes, in order: name, handle label (empty for
// none), argument line, return code name.
struct ExpectedCall {
  const char* name;
  std::string handle;
  const char* args;
  const char* rc;
};

class TraceThroughLoad : public ::testing::TestWithParam<const char*> {
 protected:
  std::string Library() const { return std::string(QMR_BUILD_DIR) + "/lib/" + GetParam(); }
  TempDir dir_;
};

TEST_P(TraceThroughLoad, CallsAndFinishLinesReachTheFileOfTheChildProcess) {
  ASSERT_FALSE(dir_.path().empty());
  const ChildRun r = RunChild(dir_.path(), Library(), dir_.path() + "/odbc-$P.log");
  ASSERT_GT(r.pid, 0);
  EXPECT_TRUE(ExitedZero(r)) << "status " << r.status << "\n" << r.err;
  EXPECT_TRUE(Clean(r.err)) << r.err;
  // Every call answered what it should, the one from the exit handler too.
  EXPECT_NE(std::string::npos, r.out.find("set-invalid -2\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("alloc-left-dbc 0\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("exit-free-env 0\n")) << r.out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("exit-env-handle ([0-9A-F]{8})"))) << r.out;
  const std::string exitEnv = m[1];

  // $P became the child's process id.
  const std::string path = dir_.path() + "/odbc-" + std::to_string(r.pid) + ".log";
  struct stat st {};
  ASSERT_EQ(0, stat(path.c_str(), &st)) << path;
  EXPECT_EQ(0600u, st.st_mode & 07777u);
  const std::vector<std::string> lines = Lines(Slurp(path));
  ASSERT_GE(lines.size(), 5u);

  EXPECT_EQ("** Quillmar ODBC Trace file for qmr_load_child **", lines[0]);
  EXPECT_TRUE(std::regex_match(lines[1], kStarted)) << lines[1];

  // The child's calls all run on its main thread, whose id is its pid.
  const std::string tid = "[" + Hex(r.pid) + "] ";
  const std::vector<ExpectedCall> calls = {
      {"AllocHandle", "", "handleType=1", "SUCCESS"},
      {"SetEnvAttr", "hEnv=00010000", "Attribute=200 ValuePtr=0x3 StringLength=0", "SUCCESS"},
      {"SetEnvAttr", "hEnv=00017777", "Attribute=200 ValuePtr=0x3 StringLength=0",
       "INVALID_HANDLE"},
      {"AllocHandle", "hEnv=00010000", "handleType=2", "SUCCESS"},
      {"FreeHandle", "hDbc=00020000", "handleType=2", "SUCCESS"},
      {"FreeHandle", "hEnv=00010000", "handleType=1", "SUCCESS"},
      {"AllocHandle", "", "handleType=1", "SUCCESS"},
      {"AllocHandle", "", "handleType=1", "SUCCESS"},
      {"AllocHandle", "", "handleType=2", "SUCCESS"},
      {"FreeHandle", "hEnv=" + exitEnv, "handleType=1", "SUCCESS"},  // from the exit handler
  };
  size_t at = 2;
  for (const ExpectedCall& c : calls) {
    std::string callLine = tid + "SQL" + c.name;
    if (!c.handle.empty()) callLine += " " + c.handle;
    // The handle of an allocation's parent is not known here for the last
    // allocations; match the start of the line for those.
    while (at < lines.size() && lines[at].rfind(callLine, 0) != 0) ++at;
    ASSERT_LT(at + 2, lines.size()) << "no call line " << callLine;
    EXPECT_EQ("", lines[at - 1]) << "a call starts after an empty line: " << callLine;
    EXPECT_EQ(c.args, lines[at + 1]) << callLine;
    EXPECT_EQ(tid + "SQL" + c.name + ": returning SQL_" + c.rc, lines[at + 2]) << callLine;
    at += 3;
  }
  // One call line per call: nothing else was traced as a call.
  size_t callLines = 0;
  for (const std::string& l : lines)
    if (l.rfind(tid + "SQL", 0) == 0 && l.find(": returning ") == std::string::npos) ++callLines;
  EXPECT_EQ(calls.size(), callLines);

  // The unload hook ran after the exit handler and ended the trace.
  ASSERT_GE(lines.size(), at + 3);
  EXPECT_EQ("", lines[lines.size() - 3]);
  EXPECT_TRUE(std::regex_match(lines[lines.size() - 2], kFinished)) << lines[lines.size() - 2];
  EXPECT_EQ("** normal end **", lines.back());
}

TEST_P(TraceThroughLoad, PasswordInATracedStringNeverReachesTheFile) {
  // The program's name is the one traced string a process controls from
  // outside: it shows in the banner.
  ASSERT_FALSE(dir_.path().empty());
  const ChildRun r = RunChild(dir_.path(), Library(), dir_.path() + "/trace.log",
                              "qmr_load_child;PWD=hunter2;UID=me");
  ASSERT_GT(r.pid, 0);
  EXPECT_TRUE(ExitedZero(r)) << r.err;
  EXPECT_TRUE(Clean(r.err)) << r.err;
  const std::string text = Slurp(dir_.path() + "/trace.log");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(std::string::npos, text.find("hunter2"));
  EXPECT_EQ("** Quillmar ODBC Trace file for qmr_load_child;PWD=********;UID=me **",
            Lines(text)[0]);
  EXPECT_NE(std::string::npos, text.find("** normal end **"));
}

TEST_P(TraceThroughLoad, AForkedProcessThatEndsLeavesTheTraceToItsParent) {
  // The forked process inherits the open trace; its unload hook runs when it
  // exits, while the parent goes on tracing.
  ASSERT_FALSE(dir_.path().empty());
  const ChildRun r =
      RunChild(dir_.path(), Library(), dir_.path() + "/trace.log", "qmr_load_child", "fork");
  ASSERT_GT(r.pid, 0);
  EXPECT_TRUE(ExitedZero(r)) << r.err;
  EXPECT_TRUE(Clean(r.err)) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("forked-child 0\n")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("exit-free-env 0\n")) << r.out;
  const std::string text = Slurp(dir_.path() + "/trace.log");
  const std::vector<std::string> lines = Lines(text);
  ASSERT_GE(lines.size(), 3u);
  size_t ends = 0, finishes = 0;
  for (const std::string& l : lines) {
    ends += l == "** normal end **";
    finishes += std::regex_match(l, kFinished);
  }
  EXPECT_EQ(1u, ends) << text;
  EXPECT_EQ(1u, finishes) << text;
  EXPECT_EQ("** normal end **", lines.back());
  // The parent's calls after the fork are all there.
  EXPECT_NE(std::string::npos,
            text.find("[" + Hex(r.pid) + "] SQLSetEnvAttr: returning SQL_INVALID_HANDLE"));
  EXPECT_NE(std::string::npos, text.find("[" + Hex(r.pid) + "] SQLFreeHandle hEnv="));
}

TEST_P(TraceThroughLoad, TraceOnStandardErrorEndsThereAndLeavesItOpen) {
  ASSERT_FALSE(dir_.path().empty());
  const ChildRun r = RunChild(dir_.path(), Library(), "stderr");
  ASSERT_GT(r.pid, 0);
  EXPECT_TRUE(ExitedZero(r)) << r.err;
  EXPECT_TRUE(Clean(r.err)) << r.err;
  const std::vector<std::string> lines = Lines(r.err);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ("** Quillmar ODBC Trace file for qmr_load_child **", lines[0]);
  EXPECT_NE(std::string::npos,
            r.err.find("[" + Hex(r.pid) + "] SQLSetEnvAttr: returning SQL_INVALID_HANDLE"));
  EXPECT_TRUE(std::regex_match(lines[lines.size() - 2], kFinished));
  EXPECT_EQ("** normal end **", lines.back());
  // No file of that name was made.
  struct stat st {};
  EXPECT_NE(0, stat((dir_.path() + "/stderr").c_str(), &st));
}

TEST_P(TraceThroughLoad, WithoutATraceTheChildStillEndsCleanly) {
  ASSERT_FALSE(dir_.path().empty());
  const ChildRun r = RunChild(dir_.path(), Library(), "");
  ASSERT_GT(r.pid, 0);
  EXPECT_TRUE(ExitedZero(r)) << r.err;
  EXPECT_EQ("", r.err);
  EXPECT_NE(std::string::npos, r.out.find("exit-free-env 0\n"));
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, TraceThroughLoad,
                         ::testing::Values("libxbifxu.so", "libxbifx.so"), [](const auto& info) {
                           return std::string(info.param) == "libxbifxu.so" ? "Unicode" : "Ansi";
                         });

}  // namespace
