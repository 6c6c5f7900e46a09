#include "platform/tempdir.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// A private directory under /tmp, removed with its contents at the end.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qmr-plat-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    const char* old = getenv("TMPDIR");
    had_tmpdir_ = old != nullptr;
    if (old) old_tmpdir_ = old;
  }
  void TearDown() override {
    if (had_tmpdir_)
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::string cmd = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
  }
  int entries() const {
    std::string cmd = "test -z \"$(ls -A '" + dir_ + "')\"";
    return system(cmd.c_str()) == 0 ? 0 : 1;
  }

  std::string dir_;
  std::string old_tmpdir_;
  bool had_tmpdir_ = false;
};

TEST_F(TempDirTest, TempDirFollowsTmpdir) {
  setenv("TMPDIR", (dir_ + "//").c_str(), 1);
  EXPECT_EQ(plat::temp_dir(), dir_);
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(plat::temp_dir(), "/tmp");
  unsetenv("TMPDIR");
  EXPECT_EQ(plat::temp_dir(), "/tmp");
}

TEST_F(TempDirTest, TempFileIsPrivateUnlinkedAndUsable) {
  setenv("TMPDIR", dir_.c_str(), 1);
  umask(022);
  const int fd = plat::create_temp_file("qmrtmp");
  ASSERT_GE(fd, 0) << strerror(errno);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_nlink, 0u);  // no name left
  EXPECT_EQ(entries(), 0);
  EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  char buf[4] = {};
  ASSERT_EQ(pread(fd, buf, 3, 0), 3);
  EXPECT_STREQ(buf, "abc");
  close(fd);
}

TEST_F(TempDirTest, TempFileInAMissingDirectoryFails) {
  setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
  EXPECT_EQ(plat::create_temp_file("x"), -1);
}

TEST_F(TempDirTest, NamedTempFileIsExclusiveAndUnlinked) {
  const std::string path = dir_ + "/qmrtmp1-2-3";
  const int fd = plat::create_named_temp_file(path);
  ASSERT_GE(fd, 0) << strerror(errno);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(access(path.c_str(), F_OK), -1);
  close(fd);

  // A name that exists (here: a planted symbolic link) is refused.
  ASSERT_EQ(symlink("/etc/passwd", path.c_str()), 0);
  EXPECT_EQ(plat::create_named_temp_file(path), -1);
  EXPECT_EQ(errno, EEXIST);
}

TEST_F(TempDirTest, PrivateFileAppendsAndTruncatesWithMode0600) {
  umask(022);
  const std::string path = dir_ + "/trace.log";
  FILE* f = plat::open_private_stream(path, plat::OpenMode::Append);
  ASSERT_NE(f, nullptr) << strerror(errno);
  fputs("one\n", f);
  fclose(f);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  f = plat::open_private_stream(path, plat::OpenMode::Append);
  ASSERT_NE(f, nullptr);
  fputs("two\n", f);
  fclose(f);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 8);

  const int fd = plat::open_private_file(path, plat::OpenMode::Truncate);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  close(fd);
}

TEST_F(TempDirTest, PrivateFileRefusesASymbolicLink) {
  const std::string target = dir_ + "/victim";
  const std::string link = dir_ + "/trace.log";
  FILE* v = fopen(target.c_str(), "w");
  ASSERT_NE(v, nullptr);
  fputs("keep me", v);
  fclose(v);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

  EXPECT_EQ(plat::open_private_file(link, plat::OpenMode::Truncate), -1);
  EXPECT_EQ(errno, ELOOP);
  EXPECT_EQ(plat::open_private_stream(link, plat::OpenMode::Append), nullptr);
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 7);  // untouched

  // A dangling link must not create its target either.
  const std::string dangling = dir_ + "/dangling.log";
  ASSERT_EQ(symlink((dir_ + "/created-through-link").c_str(), dangling.c_str()), 0);
  EXPECT_EQ(plat::open_private_file(dangling, plat::OpenMode::Append), -1);
  EXPECT_EQ(access((dir_ + "/created-through-link").c_str(), F_OK), -1);
}

TEST_F(TempDirTest, PrivateFileRefusesAFifoWithoutBlocking) {
  const std::string fifo = dir_ + "/fifo.log";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // With no reader, a blocking open would hang; it must fail instead.
  EXPECT_EQ(plat::open_private_file(fifo, plat::OpenMode::Append), -1);
}

TEST_F(TempDirTest, PrivateFileAcceptsDevNull) {
  const int fd = plat::open_private_file("/dev/null", plat::OpenMode::Truncate);
  ASSERT_GE(fd, 0) << strerror(errno);
  EXPECT_EQ(write(fd, "x", 1), 1);
  close(fd);
}

}  // namespace
