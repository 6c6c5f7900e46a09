// The driver trace file: names, banners, masking, file creation.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/trace.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class TraceFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qmr-trace-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    dir_ = tmpl;
  }
  void TearDown() override {
    for (uint32_t m : {TRC_MODE_ODBC, TRC_MODE_XA, TRC_MODE_TPL}) TRC_Close(m);
    unsetenv("QMR_DEBUGFILE");
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(0, std::system(cmd.c_str()));
  }
  std::string dir_;
};

TEST(TraceName, Macros) {
  std::string pid = std::to_string(getpid());
  EXPECT_EQ("odbc-" + pid + ".log", TRC_ExpandName("odbc-$P.log", TRC_MODE_ODBC));
  EXPECT_EQ("odbc-" + pid + ".log", TRC_ExpandName("odbc-$p.log", TRC_MODE_ODBC));
  EXPECT_EQ("trace$", TRC_ExpandName("trace$$", TRC_MODE_ODBC));
  EXPECT_EQ("trace", TRC_ExpandName("trace$x", TRC_MODE_ODBC));
  EXPECT_EQ("trace", TRC_ExpandName("trace$", TRC_MODE_ODBC));  // a trailing $ ends it
  EXPECT_EQ("/t.log", TRC_ExpandName("$Ht.log", TRC_MODE_ODBC));
  EXPECT_EQ("xa.log-xa", TRC_ExpandName("xa.log", TRC_MODE_XA));
  EXPECT_EQ("xa.log-tpl", TRC_ExpandName("xa.log", TRC_MODE_TPL));
  std::string t = TRC_ExpandName("$T", TRC_MODE_ODBC);
  EXPECT_EQ(15u, t.size());  // YYYYmmdd-HHMMSS
  EXPECT_EQ('-', t[8]);
}

TEST(TraceMask, PasswordsNeverShow) {
  const struct {
    const char* in;
    const char* out;
  } kCases[] = {
      {"DSN=x;UID=u;PWD=secret;URL=y", "DSN=x;UID=u;PWD=********;URL=y"},
      {"pwd=secret", "pwd=********"},
      {"PWD={se;c}}ret};X=1", "PWD=********;X=1"},
      {"PWD=;UID=a", "PWD=;UID=a"},
      {"a;PWD=one;b;PWD=two", "a;PWD=********;b;PWD=********"},
      {"user=u;password=hunter2", "user=u;password=********"},
      // Every spelling the connection-string parser takes as the keyword.
      {"DSN=x;PWD =secret;UID=u", "DSN=x;PWD =********;UID=u"},
      {"DSN=x; pwd= secret", "DSN=x; pwd= ********"},
      {"{PWD}=secret;UID=u", "{PWD}=********;UID=u"},
      {"Password = {a;b};UID=u", "Password = ********;UID=u"},
      // A blank before a braced value leaves the braces to the depth rule.
      {"PWD= {a}}b;c};UID=u", "PWD= ********;UID=u"},
      // Passwords inside JDBC URLs.
      {"URL=jdbc:postgresql://h/db?user=u&password=secret",
       "URL=jdbc:postgresql://h/db?user=u&password=********"},
      {"url=[jdbc:hsqldb:mem:x;PASSWORD=secret;ifexists=true]",
       "url=[jdbc:hsqldb:mem:x;PASSWORD=********;ifexists=true]"},
      {"jdbc:x://h;trustStorePassword=secret", "jdbc:x://h;trustStorePassword=********"},
      {"jdbc:mysql://u:secret@h:3306/db", "jdbc:mysql://u:********@h:3306/db"},
      // Names that only contain the letters are not keywords.
      {"szPWD=0x1 cbPWD=-3", "szPWD=0x1 cbPWD=-3"},
      {"mailto://someone@host", "mailto://someone@host"},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.out, TRC_Mask(c.in)) << c.in;
  char buf[] = "UID=u;PWD =abc;DSN=d";
  TRC_MaskInPlace(buf);
  EXPECT_STREQ("UID=u;PWD =***;DSN=d", buf);
}

TEST_F(TraceFiles, OpenWritesBannerLinesAndFinish) {
  std::string name = dir_ + "/odbc-$P.log";
  setenv("QMR_DEBUGFILE", name.c_str(), 1);
  TRC_Open(TRC_MODE_ODBC);
  ASSERT_EQ(TRC_FILES, TRC_State());
  std::string path = dir_ + "/odbc-" + std::to_string(getpid()) + ".log";
  struct stat st {};
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  TRC_Printf("[%d] SQL%s hDbc=%X", 1, "DriverConnect", 0x20001u);
  TRC_Printf("szConnStrIn=DSN=a;PWD=topsecret;UID=b");
  TRC_Close(TRC_MODE_ODBC);
  EXPECT_EQ(TRC_OFF, TRC_State());
  std::string text = ReadFile(path);
  EXPECT_EQ(0u, text.find("** Quillmar ODBC Trace file for "));
  EXPECT_NE(std::string::npos, text.find("** started on "));
  EXPECT_NE(std::string::npos, text.find("[1] SQLDriverConnect hDbc=20001\n"));
  EXPECT_EQ(std::string::npos, text.find("topsecret"));
  EXPECT_NE(std::string::npos, text.find("PWD=********;UID=b"));
  EXPECT_NE(std::string::npos, text.find("\n\n** finished on "));
  EXPECT_NE(std::string::npos, text.find("** normal end **\n"));
  // Nothing after close.
  TRC_Printf("late line");
  EXPECT_EQ(text, ReadFile(path));
}

TEST_F(TraceFiles, ReopenTruncatesAndSymlinkIsRefused) {
  std::string path = dir_ + "/t.log";
  setenv("QMR_DEBUGFILE", path.c_str(), 1);
  TRC_Open(TRC_MODE_ODBC);
  TRC_Printf("first run marker");
  TRC_Close(TRC_MODE_ODBC);
  TRC_Open(TRC_MODE_ODBC);
  TRC_Close(TRC_MODE_ODBC);
  EXPECT_EQ(std::string::npos, ReadFile(path).find("first run marker"));

  std::string target = dir_ + "/victim";
  { std::ofstream(target) << "keep"; }
  std::string link = dir_ + "/link.log";
  ASSERT_EQ(0, symlink(target.c_str(), link.c_str()));
  setenv("QMR_DEBUGFILE", link.c_str(), 1);
  TRC_Open(TRC_MODE_ODBC);
  EXPECT_EQ(TRC_OFF, TRC_State());
  EXPECT_EQ("keep", ReadFile(target));
}

TEST_F(TraceFiles, XaAndTplStreamsGetSuffixes) {
  std::string base = dir_ + "/xa.log";
  setenv("QMR_DEBUGFILE", base.c_str(), 1);
  TRC_Open(TRC_MODE_XA);
  TRC_Open(TRC_MODE_TPL);
  TRC_PrintfTid(1, "xa_open rc=%d", 0);
  TRC_PrintfTid2("tpl line");
  TRC_Printf("odbc line dropped: no ODBC stream");
  TRC_Close(TRC_MODE_XA);
  TRC_Close(TRC_MODE_TPL);
  std::string xa = ReadFile(base + "-xa");
  EXPECT_EQ(0u, xa.find("** Quillmar XA Trace File **\n** started on "));
  EXPECT_NE(std::string::npos, xa.find("] xa_open rc=0\n"));
  std::string tpl = ReadFile(base + "-tpl");
  EXPECT_NE(std::string::npos, tpl.find("] tpl line\n"));
  EXPECT_EQ(std::string::npos, tpl.find("odbc line dropped"));
}

TEST_F(TraceFiles, StderrIsNeverClosed) {
  setenv("QMR_DEBUGFILE", "stderr", 1);
  testing::internal::CaptureStderr();
  TRC_Open(TRC_MODE_ODBC);
  EXPECT_EQ(TRC_STDERR, TRC_State());
  TRC_Printf("to stderr PWD=x");
  TRC_Close(TRC_MODE_ODBC);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("to stderr PWD=********"));
  EXPECT_NE(-1, fcntl(STDERR_FILENO, F_GETFD));
  // The other modes still point at stderr until they close.
  EXPECT_EQ(TRC_STDERR, TRC_State());
}

TEST(TraceOff, NoNameNoTrace) {
  unsetenv("QMR_DEBUGFILE");
  setenv("QMR_REGISTRY_FILE", "/nonexistent/registry.ini", 1);
  EXPECT_EQ("", TRC_ConfiguredName());
  TRC_Open(TRC_MODE_ODBC);
  EXPECT_EQ(TRC_OFF, TRC_State());
}

}  // namespace
