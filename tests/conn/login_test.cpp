// The login dialog: when it is asked, what it is given, what its answers do.
// The stand-in library (tests/uidlg) answers as the environment tells it.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <string>

#include "conn/conn_fixture.h"
#include "driver/login.h"

namespace conntest {
namespace {

class LoginTest : public ConnTest {
 protected:
  void SetUp() override {
    ConnTest::SetUp();
    log_ = IniDir() + "/login.log";
    unlink(log_.c_str());
    setenv("QMR_TEST_LOGIN_LOG", log_.c_str(), 1);
    unsetenv("QMR_TEST_LOGIN_RESULT");
    unsetenv("QMR_TEST_LOGIN_STRING");
    // By path: under AddressSanitizer dlopen searches the run path of the
    // sanitizer's runtime, not the executable's (the name is tested below).
    LOGIN_SetLibraryName(QMR_BUILD_DIR "/testlib/libuidlg32w.so");
  }
  void TearDown() override {
    unsetenv("QMR_TEST_LOGIN_LOG");
    unsetenv("QMR_TEST_LOGIN_RESULT");
    unsetenv("QMR_TEST_LOGIN_STRING");
    LOGIN_SetLibraryName(nullptr);
    unlink(log_.c_str());
    ConnTest::TearDown();
  }
  std::vector<std::string> Calls() { return ReadLines(log_); }
  std::string log_;
};

TEST_F(LoginTest, CompleteAsksWhenThePasswordBeginsWithABlank) {
  setenv("QMR_TEST_LOGIN_RESULT", "1", 1);
  setenv("QMR_TEST_LOGIN_STRING", "DSN=Sparse;UID=typed;PWD=typedpw", 1);
  std::string out;
  ASSERT_EQ(SQL_SUCCESS,
            DriverConnect("DRIVER={Fake Driver};UID=me;PWD= x", &out, SQL_DRIVER_COMPLETE));
  const std::vector<std::string> calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  // The dialog gets the driver name without braces and the application's string.
  EXPECT_EQ(calls[0], "login driver=[Fake Driver] in=[DRIVER={Fake Driver};UID=me;PWD= x] mode=A");
  EXPECT_EQ(calls[1], "free text ");
  // The dialog's string replaced the application's.
  EXPECT_EQ(LastConnect().user, "typed");
  EXPECT_EQ(LastConnect().password, "typedpw");
  EXPECT_EQ(out, "DSN=Sparse;UID=typed;PWD=typedpw;FBS=60");
}

TEST_F(LoginTest, CompleteDoesNotAskWhenBothAreThere) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full", nullptr, SQL_DRIVER_COMPLETE_REQUIRED));
  EXPECT_TRUE(Calls().empty());
}

TEST_F(LoginTest, PromptAlwaysAsksAndTheDriverNameComesFromTheDataSourceList) {
  setenv("QMR_TEST_LOGIN_RESULT", "1", 1);
  setenv("QMR_TEST_LOGIN_STRING", "DSN=Full", 1);
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Full", nullptr, SQL_DRIVER_PROMPT));
  const std::vector<std::string> calls = Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], "login driver=[Fake Driver Description] in=[DSN=Full] mode=A");
}

TEST_F(LoginTest, CancelGivesNoDataAndNoConnection) {
  setenv("QMR_TEST_LOGIN_RESULT", "0", 1);
  ASSERT_EQ(SQL_NO_DATA, DriverConnect("DSN=Sparse", nullptr, SQL_DRIVER_COMPLETE));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"login driver=[Fake Driver] in=[DSN=Sparse] mode=A",
                                               "free null "}));
  EXPECT_EQ(LastConnect().calls, 0);
  EXPECT_TRUE(Diags().empty());
  EXPECT_EQ(Conn()->state, kConnAllocated);
  // A confirmation without a string counts as a failure too.
  setenv("QMR_TEST_LOGIN_RESULT", "1", 1);
  ASSERT_EQ(SQL_NO_DATA, DriverConnect("DSN=Sparse", nullptr, SQL_DRIVER_PROMPT));
}

TEST_F(LoginTest, NoLoginBoxWinsOverPrompt) {
  ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=Sparse;NLB=yes", nullptr, SQL_DRIVER_PROMPT));
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(LastConnect().user, "sparse");
  EXPECT_EQ(Conn()->flags & kConnNoPrompt, 0);  // only during the call
}

TEST_F(LoginTest, TheUnicodeEntryPointPassesItsModeLetter) {
  setenv("QMR_TEST_LOGIN_RESULT", "1", 1);
  setenv("QMR_TEST_LOGIN_STRING", "DSN=Full", 1);
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLDriverConnectW(dbc_, reinterpret_cast<SQLHWND>(&len), (SQLWCHAR*)u"DSN=Sparse",
                              SQL_NTS, nullptr, 0, &len, SQL_DRIVER_COMPLETE));
  ASSERT_FALSE(Calls().empty());
  EXPECT_EQ(Calls()[0], "login driver=[Fake Driver] in=[DSN=Sparse] mode=W");
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(LoginTest, TheLibraryIsFoundByItsName) {
  LOGIN_SetLibraryName(nullptr);
  setenv("QMR_TEST_LOGIN_RESULT", "0", 1);
  ASSERT_EQ(SQL_NO_DATA, DriverConnect("DSN=Sparse", nullptr, SQL_DRIVER_PROMPT));
  EXPECT_EQ(Calls().size(), 2u);
}
#endif

TEST_F(LoginTest, WithoutAWindowNothingIsAsked) {
  // The dialog would confirm: only its absence from the log shows it was not
  // asked. PROMPT cannot be served at all; completion connects as given.
  setenv("QMR_TEST_LOGIN_RESULT", "1", 1);
  setenv("QMR_TEST_LOGIN_STRING", "DSN=Full", 1);
  const struct {
    SQLUSMALLINT completion;
    SQLRETURN rc;
    const char* state;
  } rows[] = {{SQL_DRIVER_PROMPT, SQL_ERROR, "HY092"},
              {SQL_DRIVER_COMPLETE, SQL_SUCCESS, ""},
              {SQL_DRIVER_COMPLETE_REQUIRED, SQL_SUCCESS, ""}};
  for (const auto& row : rows) {
    SQLCHAR in[] = "DSN=Sparse";
    EXPECT_EQ(row.rc,
              SQLDriverConnect(dbc_, nullptr, in, SQL_NTS, nullptr, 0, nullptr, row.completion))
        << row.completion;
    if (*row.state != '\0') {
      ASSERT_FALSE(Diags().empty()) << row.completion;
      EXPECT_EQ(Diags()[0].substr(0, 5), row.state) << row.completion;
    } else {
      EXPECT_EQ(LastConnect().user, "sparse") << row.completion;
      Disconnect();
    }
    EXPECT_TRUE(Calls().empty()) << row.completion;
  }
}

TEST_F(LoginTest, AMissingLibraryIsAnErrorThatSaysSo) {
  LOGIN_SetLibraryName("libqmr-no-such-dialog.so");
  ASSERT_EQ(SQL_ERROR, DriverConnect("DSN=Sparse", nullptr, SQL_DRIVER_PROMPT));
  const std::vector<std::string> d = Diags();
  ASSERT_FALSE(d.empty());
  EXPECT_NE(d[0].find("libqmr-no-such-dialog.so"), std::string::npos) << d[0];
  EXPECT_EQ(LastConnect().calls, 0);
}

}  // namespace
}  // namespace conntest
