// Attach and detach, the setup exports, the setup-value reader, GetXaSwitch.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "driver/api.h"
#include "driver/dispatch.h"
#include "driver/startup.h"
#include "driver/trace.h"
#include "xa/xa_switch.h"

namespace {

class RegistryFile {
 public:
  explicit RegistryFile(const std::string& body) {
    char name[] = "/tmp/qmr-core-regXXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (fd >= 0) close(fd);
    std::ofstream(path_) << body;
    const char* old = std::getenv("QMR_REGISTRY_FILE");
    if (old != nullptr) old_ = old, hadOld_ = true;
    setenv("QMR_REGISTRY_FILE", path_.c_str(), 1);
  }
  ~RegistryFile() {
    if (hadOld_)
      setenv("QMR_REGISTRY_FILE", old_.c_str(), 1);
    else
      unsetenv("QMR_REGISTRY_FILE");
    std::remove(path_.c_str());
  }

 private:
  std::string path_, old_;
  bool hadOld_ = false;
};

const char kKey[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmar Software\\Quillmar Informix Driver "
    "(Velkaro)(Unicode)\\ODBC]\n";

TEST(Startup, AttachDetachAndAttachAgain) {
  ASSERT_EQ(1, DRV_DllMain(nullptr, 1));
  EXPECT_TRUE(DRV_CallsReady());
  EXPECT_EQ(1u, g_drvAttached);
  EXPECT_EQ(DRV_AGENT_JDBC, DRV_GlobalAgent()->agentType);
  EXPECT_NE(nullptr, DRV_GlobalAgent()->ops);
  EXPECT_EQ(1, DRV_DllMain(nullptr, 7));  // other reasons do nothing

  SQLHENV env = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));
  EXPECT_EQ(1, WEP(0));  // detach frees what is left and refuses calls
  EXPECT_FALSE(DRV_CallsReady());
  EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_ENV, env));

  EXPECT_EQ(1, LibMain(nullptr));
  EXPECT_TRUE(DRV_CallsReady());
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));
  EXPECT_EQ(0x00010000u, DRV_HandleNumber(env));
  DRV_DllMain(nullptr, 0);
}

TEST(Startup, SetupNames) {
  char buf[128];
  EXPECT_EQ(1, GetSetupDatabase(buf, sizeof buf));
  EXPECT_STREQ("Quillmar Informix Driver (Velkaro)(Unicode)", buf);
  EXPECT_EQ(1, GetSetupRegistry(buf, sizeof buf));
  EXPECT_STREQ("SOFTWARE\\Quillmar Software\\Quillmar Informix Driver (Velkaro)(Unicode)", buf);
  char small[16];
  std::memset(small, 'z', sizeof small);
  EXPECT_EQ(1, GetSetupRegistry(small, 10));
  EXPECT_STREQ("SOFTWARE\\", small);
  EXPECT_EQ('z', small[10]);  // nothing beyond the ten characters
  EXPECT_EQ(1, GetSetupRegistry(nullptr, 10));
  EXPECT_EQ(1, GetSetupDatabase(small, 0));
}

// The trace file named under the setup key of the build that runs, not
// under the other build's.
TEST(Startup, TheTraceIsNamedUnderTheBuildsOwnSetupKey) {
  const char* env = std::getenv("QMR_DEBUGFILE");
  const std::string kept = env != nullptr ? env : "";
  unsetenv("QMR_DEBUGFILE");
  {
    RegistryFile reg(std::string(kKey) +
                     "DebugFile=/tmp/qmr-unicode.log\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmar Software\\Quillmar Informix "
                     "Driver (Velkaro)\\ODBC]\nDebugFile=/tmp/qmr-ansi.log\n");
    EXPECT_EQ("/tmp/qmr-unicode.log", TRC_ConfiguredName());
  }
  if (env != nullptr) setenv("QMR_DEBUGFILE", kept.c_str(), 1);
}

TEST(Startup, SetupValuesFallBackToTheDefault) {
  RegistryFile reg(std::string(kKey) +
                   "DebugFile=/tmp/odbc.log\nNumber=dword:7\nLong=" + std::string(40, 'x') + "\n");
  char buf[64];
  EXPECT_EQ(14, REG_ReadValue("ODBC", "DebugFile", "", buf, sizeof buf));  // NUL counted
  EXPECT_STREQ("/tmp/odbc.log", buf);
  EXPECT_EQ(3, REG_ReadValue("ODBC", "Number", "def", buf, sizeof buf));
  EXPECT_STREQ("def", buf);
  EXPECT_EQ(0, REG_ReadValue("ODBC", "Missing", "", buf, sizeof buf));
  EXPECT_STREQ("", buf);
  // A value longer than the buffer allows is not read: the default is.
  char small[16];
  EXPECT_EQ(2, REG_ReadValue("ODBC", "Long", "dd", small, sizeof small));
  EXPECT_STREQ("dd", small);
  // A default longer than the buffer is cut and terminated.
  EXPECT_EQ(3, REG_ReadValue("ODBC", "Missing", "abcdefgh", small, 4));
  EXPECT_STREQ("abc", small);
}

TEST(Startup, MessageBoxesCanBeSuppressed) {
  const intptr_t old = DRV_MessageBoxOwner();
  DRV_SetMessageBoxOwner(0);
  EXPECT_EQ(0, DRV_MessageBox("text", "caption", 0));
  DRV_SetMessageBoxOwner(old);
}

// The coordinator's recovery takes the same switch a transaction manager
// gets from qmr_xa_switch.
TEST(Startup, GetXaSwitchGivesTheProcesssSwitch) {
  void* sw = nullptr;
  EXPECT_EQ(0, GetXaSwitch(0, &sw));
  ASSERT_NE(nullptr, sw);
  EXPECT_EQ(sw, XA_SwitchRecord());
  EXPECT_STREQ("QUILLMAR", static_cast<xa_switch_t*>(sw)->name);
  EXPECT_EQ(static_cast<int32_t>(0x80004003u), GetXaSwitch(0, nullptr));
}

}  // namespace
