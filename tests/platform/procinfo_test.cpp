#include "platform/procinfo.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <thread>

namespace {

TEST(ProcInfoTest, ProcessIdIsOurs) {
  EXPECT_EQ(plat::process_id(), static_cast<uint32_t>(getpid()));
}

TEST(ProcInfoTest, ThreadIdIsTheKernelsAndDiffersPerThread) {
  const uint64_t main_id = plat::thread_id();
  EXPECT_EQ(main_id, static_cast<uint64_t>(syscall(SYS_gettid)));
  // The main thread's kernel id equals the process id.
  EXPECT_EQ(main_id, static_cast<uint64_t>(getpid()));
  uint64_t other = 0;
  std::thread([&] { other = plat::thread_id(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, main_id);
}

// The id is kept per thread: a forked child has an id of its own.
TEST(ProcInfoTest, AForkedChildHasItsOwnThreadId) {
  const uint64_t parent = plat::thread_id();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const bool own = plat::thread_id() == static_cast<uint64_t>(syscall(SYS_gettid)) &&
                     plat::thread_id() != parent;
    _exit(own ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ProcInfoTest, UserNameMatchesThePasswordEntry) {
  const struct passwd* pw = getpwuid(geteuid());
  if (!pw) GTEST_SKIP() << "no password entry for this user";
  EXPECT_EQ(plat::user_name(), pw->pw_name);
}

TEST(ProcInfoTest, CommandLineNamesThisProgramAndJoinsArguments) {
  const std::string cmd = plat::command_line();
  EXPECT_NE(cmd.find("platform_tests"), std::string::npos) << cmd;
  EXPECT_EQ(cmd.find('\0'), std::string::npos);
  EXPECT_NE(cmd.back(), ' ');
}

}  // namespace
