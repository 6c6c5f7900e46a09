// The agent's VM layer where no Java VM can be found: the failure reaches
// the caller as a diagnostic naming the real cause, and nothing is left
// half set up. Also the option and path texts the VM layer builds. No VM is
// ever started here (this executable runs under the sanitizers too).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-start.h"
#include "drv_jdbc/j-vm.h"

namespace {

std::string PullOne(uint32_t h) {
  DRV_ErrorBatch b{};
  EXPECT_EQ(0u, DRV_GetError(h, &b));
  std::string all;
  for (uint32_t i = 0; i < b.list.count; ++i) all += b.list.texts[i] ? b.list.texts[i] : "";
  DRV_FreeErrorBatch(&b);
  return all;
}

class NoJvm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(nullptr, dlsym(RTLD_DEFAULT, "JNI_GetCreatedJavaVMs"))
        << "this executable must not carry a Java VM";
    setenv("JAVA_HOME", "/nonexistent/jdk-for-test", 1);
    JC_SetJvmFallbacks(false);
  }
};

TEST_F(NoJvm, MissingLibjvmIsReportedWithItsRealCause) {
  uint32_t env = 0;
  EXPECT_EQ(ERR_GENERAL, DRV_Init(nullptr, &env));
  ASSERT_NE(0u, env) << "the failure must be readable on an environment handle";
  EXPECT_EQ(0u, gJvmRefCount);
  EXPECT_EQ(nullptr, gJavaVM);
  std::string text = PullOne(env);
  EXPECT_NE(std::string::npos, text.find("/nonexistent/jdk-for-test/lib/server/libjvm.so")) << text;
  EXPECT_NE(std::string::npos, text.find("No such file")) << text;
  EXPECT_NE(std::string::npos, text.find("[SQLSTATE:S1000]")) << text;
  EXPECT_NE(std::string::npos, JC_LastVmError().find("libjvm.so"));
  // The record is given back like any environment; then the handle is gone.
  EXPECT_EQ(0u, DRV_Term(env));
  EXPECT_EQ(ERR_INVALID_ARGUMENT, DRV_Term(env));
}

TEST_F(NoJvm, RetryAfterFailureStartsAgainAndFreesTheOldRecord) {
  uint32_t first = 0, second = 0;
  EXPECT_EQ(ERR_GENERAL, DRV_Init(nullptr, &first));
  EXPECT_EQ(ERR_GENERAL, DRV_Init(nullptr, &second));
  ASSERT_NE(0u, second);
  // The second attempt replaced the first record: one handle answers.
  EXPECT_NE(nullptr, AGT_Env(second));
  EXPECT_FALSE(PullOne(second).empty());
  EXPECT_EQ(0u, DRV_Term(second));
}

TEST_F(NoJvm, UnsetJavaHomeWithoutFallbacksSaysSo) {
  unsetenv("JAVA_HOME");
  uint32_t env = 0;
  EXPECT_EQ(ERR_GENERAL, DRV_Init(nullptr, &env));
  EXPECT_NE(std::string::npos, PullOne(env).find("JAVA_HOME is not set"));
  EXPECT_EQ(0u, DRV_Term(env));
}

TEST_F(NoJvm, AFileThatIsNoJavaVmIsRefusedWithTheReason) {
  char dir[] = "/tmp/qmr-jvm-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  std::string server = std::string(dir) + "/lib/server";
  ASSERT_EQ(0, std::system(("mkdir -p " + server).c_str()));
  setenv("JAVA_HOME", dir, 1);
  // Not a shared library at all.
  ASSERT_EQ(0, std::system(("yes junk | head -c 4096 > " + server + "/libjvm.so").c_str()));
  uint32_t env = 0;
  EXPECT_EQ(ERR_GENERAL, DRV_Init(nullptr, &env));
  EXPECT_NE(std::string::npos, PullOne(env).find("libjvm.so: invalid ELF header"));
  EXPECT_EQ(0u, DRV_Term(env));
  // A shared library, but without the invocation interface.
  ASSERT_EQ(
      0, std::system(("cp /usr/lib/x86_64-linux-gnu/libz.so.1 " + server + "/libjvm.so").c_str()));
  EXPECT_EQ(ERR_GENERAL, DRV_Init(nullptr, &env));
  EXPECT_NE(std::string::npos, PullOne(env).find("not a Java VM library"));
  EXPECT_EQ(0u, DRV_Term(env));
  EXPECT_EQ(0, std::system(("rm -rf " + std::string(dir)).c_str()));
}

TEST_F(NoJvm, ThreadCallsWithoutVmFailQuietly) {
  EXPECT_EQ(nullptr, attachJVM());
  detachJVM();  // nothing to detach
  EXPECT_EQ(ERR_INVALID_ARGUMENT, DRV_Term(0x12345678u));
  EXPECT_EQ(ERR_INVALID_ARGUMENT, DRV_Init(nullptr, nullptr));
}

TEST(JvmOptions, SplitAtDashesAfterWhiteSpace) {
  using V = std::vector<std::string>;
  EXPECT_EQ((V{"-Xmx512m", "-Dname=a b", "-Xss2m"}),
            JC_SplitJvmOptions("-Xmx512m -Dname=a b -Xss2m"));
  EXPECT_EQ((V{"-Xmx1g", "-Da=x-y"}), JC_SplitJvmOptions("   -Xmx1g \t -Da=x-y   "));
  EXPECT_EQ(V{}, JC_SplitJvmOptions(nullptr));
  EXPECT_EQ(V{}, JC_SplitJvmOptions(""));
  EXPECT_EQ(V{}, JC_SplitJvmOptions("   "));
  // Text before the first dash is an option of its own.
  EXPECT_EQ((V{"abc", "-X"}), JC_SplitJvmOptions("abc -X"));
}

TEST(JvmOptions, AtMostAHundredOptions) {
  std::string many;
  for (int i = 0; i < 120; ++i) many += "-D" + std::to_string(i) + " ";
  auto v = JC_SplitJvmOptions(many.c_str());
  ASSERT_EQ(100u, v.size());
  EXPECT_EQ("-D0", v.front());
  EXPECT_EQ("-D99", v.back());
}

TEST(JvmTexts, JniErrorTexts) {
  EXPECT_STREQ("unknown error", JC_JniErrorText(-1));
  EXPECT_STREQ("thread detached from the VM", JC_JniErrorText(-2));
  EXPECT_STREQ("JNI version error", JC_JniErrorText(-3));
  EXPECT_STREQ("not enough memory", JC_JniErrorText(-4));
  EXPECT_STREQ("VM already created", JC_JniErrorText(-5));
  EXPECT_STREQ("invalid arguments", JC_JniErrorText(-6));
  EXPECT_STREQ("unknown error", JC_JniErrorText(-99));
}

TEST(JvmTexts, ArchivePathsPutTheDirectoryBeforeEachArchive) {
  EXPECT_EQ("/opt/q/ifxjdbc.jar;/opt/q/ifxjdbcx.jar;/opt/q/ifxlang.jar;/opt/q/ifxlsupp.jar",
            JC_ArchivePaths("/opt/q/"));
  EXPECT_EQ("ifxjdbc.jar;ifxjdbcx.jar;ifxlang.jar;ifxlsupp.jar", JC_ArchivePaths(""));
  const char* const given[2] = {"/opt/x", nullptr};
  EXPECT_EQ("/opt/x/", JC_ArchiveDir(given));
  const char* const ended[2] = {"/opt/x/", nullptr};
  EXPECT_EQ("/opt/x/", JC_ArchiveDir(ended));
  const char* const none[2] = {nullptr, nullptr};
  EXPECT_EQ("", JC_ArchiveDir(none));
  EXPECT_EQ("", JC_ArchiveDir(nullptr));
}

TEST(JniLayer, UnbraceCutsOnePairOfBraces) {
  char a[] = "  {jdbc:x;y=1}  ";
  EXPECT_STREQ("jdbc:x;y=1", JC_Unbrace(a));
  char b[] = "  jdbc:x;y=1";
  EXPECT_EQ(b, JC_Unbrace(b));  // unchanged, leading blanks included
  char c[] = "{a;{b}}";
  EXPECT_STREQ("a;{b}", JC_Unbrace(c));
  char d[] = "{open";
  EXPECT_STREQ("open", JC_Unbrace(d));
  EXPECT_EQ(nullptr, JC_Unbrace(nullptr));
}

TEST(JniLayer, HelpersWithoutEnvironmentFail) {
  EXPECT_EQ(ERR_GENERAL, JC_ThrowNPE(nullptr, "env", "commit"));
  EXPECT_EQ(ERR_GENERAL, JC_CallVoidMethod(nullptr, nullptr, nullptr, "commit", "()V"));
  ErrorList l{};
  EXPECT_EQ(15u, CheckException(nullptr, 0, &l));
  EXPECT_EQ(nullptr, l.head);
  EXPECT_EQ(nullptr, JC_NewString(nullptr, "x", 1));
  EXPECT_EQ(nullptr, JC_GetTextCopy(nullptr, nullptr, 1));
  JC_JavaText t;
  EXPECT_EQ(0u, JC_GetText(nullptr, nullptr, &t, 1));  // a null string is an empty view
  EXPECT_EQ(nullptr, t.chars);
  EXPECT_EQ(0u, t.length);
}

}  // namespace
