// Message boxes have no desktop here: once the driver is attached their text
// goes to the log at level 3 (ERROR), and from there into the driver trace
// when one is open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/startup.h"
#include "driver/trace.h"
#include "platform/msgbox.h"
#include "util/log.h"

namespace {

struct Seen {
  int level;
  std::string text;
};
std::vector<Seen> gSeen;

void Capture(LOG_SINK*, int level, const char* text) { gSeen.push_back({level, text}); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class MessageBoxLog : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen.clear();
    char name[] = "/tmp/qmr-msgbox-traceXXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = name;
    setenv("QMR_DEBUGFILE", path_.c_str(), 1);
    ASSERT_EQ(1, DRV_DllMain(nullptr, 1));
    unsetenv("QMR_DEBUGFILE");
    ASSERT_TRUE(TRC_Active());
    oldOwner_ = DRV_MessageBoxOwner();
  }
  void TearDown() override {
    DRV_SetMessageBoxOwner(oldOwner_);
    DRV_DllMain(nullptr, 0);
    std::remove(path_.c_str());
  }
  std::string path_;
  intptr_t oldOwner_ = -2;
};

TEST_F(MessageBoxLog, BoxTextIsLoggedAtLevelThreeAndReachesTheTrace) {
  LOG_SINK* errors = log_sink_new(Capture, nullptr, LOG_LEVEL_ERROR, 0xFFFFFFFFu, 0);
  ASSERT_NE(nullptr, errors);
  DRV_SetMessageBoxOwner(-2);
  DRV_ErrorBox("Unable to initialize the ODBC layer.", plat::kMbIconExclamation);
  log_close_sink(errors);
  std::free(errors);

  ASSERT_EQ(1u, gSeen.size());
  EXPECT_EQ(LOG_LEVEL_ERROR, gSeen[0].level);
  EXPECT_NE(std::string::npos,
            gSeen[0].text.find("Quillmar ODBC: Unable to initialize the ODBC layer."))
      << gSeen[0].text;

  const std::string trace = ReadFile(path_);
  EXPECT_NE(std::string::npos, trace.find("Quillmar ODBC: Unable to initialize the ODBC layer."))
      << trace;
}

TEST_F(MessageBoxLog, NothingBelowLevelThreeAndNothingWhenBoxesAreSuppressed) {
  // A sink for levels up to CRIT does not take a box's line.
  LOG_SINK* critical = log_sink_new(Capture, nullptr, LOG_LEVEL_CRIT, 0xFFFFFFFFu, 0);
  ASSERT_NE(nullptr, critical);
  DRV_SetMessageBoxOwner(-2);
  DRV_ErrorBox("first box", 0);
  EXPECT_TRUE(gSeen.empty());
  log_close_sink(critical);
  std::free(critical);

  // Owner 0: no box at all, so nothing reaches the log or the trace.
  LOG_SINK* errors = log_sink_new(Capture, nullptr, LOG_LEVEL_ERROR, 0xFFFFFFFFu, 0);
  ASSERT_NE(nullptr, errors);
  DRV_SetMessageBoxOwner(0);
  DRV_ErrorBox("suppressed box", 0);
  log_close_sink(errors);
  std::free(errors);
  EXPECT_TRUE(gSeen.empty());
  const std::string trace = ReadFile(path_);
  EXPECT_NE(std::string::npos, trace.find("first box"));
  EXPECT_EQ(std::string::npos, trace.find("suppressed box"));
}

TEST_F(MessageBoxLog, PasswordsInABoxNeverReachTheTrace) {
  DRV_SetMessageBoxOwner(-2);
  DRV_ErrorBox("cannot connect with DSN=x;UID=me;PWD=hunter2;", 0);
  const std::string trace = ReadFile(path_);
  EXPECT_NE(std::string::npos, trace.find("DSN=x;UID=me;PWD=********;")) << trace;
  EXPECT_EQ(std::string::npos, trace.find("hunter2"));
}

TEST_F(MessageBoxLog, AfterDetachTheTraceIsClosedAndBoxesStillWork) {
  DRV_DllMain(nullptr, 0);
  EXPECT_FALSE(TRC_Active());
  const std::string before = ReadFile(path_);
  EXPECT_NE(std::string::npos, before.find("** normal end **"));
  LOG_SINK* errors = log_sink_new(Capture, nullptr, LOG_LEVEL_ERROR, 0xFFFFFFFFu, 0);
  ASSERT_NE(nullptr, errors);
  DRV_SetMessageBoxOwner(-2);
  DRV_ErrorBox("late box", 0);
  log_close_sink(errors);
  std::free(errors);
  ASSERT_EQ(1u, gSeen.size());  // the hook stays: the log outlives the trace
  EXPECT_EQ(before, ReadFile(path_));
  ASSERT_EQ(1, DRV_DllMain(nullptr, 1));  // for TearDown
}

}  // namespace
