// The per-process value: steady within a process, another one in a forked
// child, which would otherwise write its parent's values.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

#include "platform/random.h"

TEST(ProcessRandom, ForkedChildDrawsItsOwn) {
  const uint64_t mine = plat::process_random();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(plat::process_random(), mine);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const uint64_t child = plat::process_random();
    _exit(write(fds[1], &child, sizeof child) == sizeof child ? 0 : 1);
  }
  uint64_t child = 0;
  EXPECT_EQ(read(fds[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
  waitpid(pid, nullptr, 0);
  close(fds[0]);
  close(fds[1]);
  EXPECT_NE(child, 0u);
  EXPECT_NE(child, mine);
}
