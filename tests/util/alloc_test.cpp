// Allocation that ends the process on exhaustion, and the fatal-exit helpers.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "util/log.h"
#include "util/utalloc.h"

namespace {

// Death tests re-run the test binary, so the child starts with a log that has
// never had a sink (its lines then go nowhere): the child that must show its
// last line gives the log a sink on standard error first.
class AllocDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  static void ToStderr() { log_open_stream_noclose(stderr, 7, 0xFFFFFFFFu, 0); }
};

TEST(Alloc, RequestForNothingGivesDistinctZeroByte) {
  const uint64_t shapes[][2] = {{0, 8}, {8, 0}, {0, 0}};
  void* seen[3];
  for (int i = 0; i < 3; ++i) {
    auto* p = static_cast<unsigned char*>(s_alloc(shapes[i][0], shapes[i][1]));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    seen[i] = p;
  }
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_NE(seen[1], seen[2]);
  for (void* p : seen) std::free(p);
}

TEST(Alloc, ProductOfCountAndSizeIsZeroFilled) {
  auto* p = static_cast<unsigned char*>(s_alloc(3, 4));
  for (int i = 0; i < 12; ++i) EXPECT_EQ(p[i], 0) << i;
  std::free(p);
}

TEST(Alloc, StrdupCopiesWithNul) {
  char* e = s_strdup("");
  EXPECT_EQ(e[0], '\0');
  char* s = s_strdup("hello");
  EXPECT_STREQ(s, "hello");
  std::free(e);
  std::free(s);
}

TEST(Alloc, ReallocKeepsContentsAndSurvivesZero) {
  auto* p = static_cast<char*>(s_alloc(4, 1));
  std::memcpy(p, "abc", 4);
  p = static_cast<char*>(s_realloc(p, 1 << 20));
  EXPECT_STREQ(p, "abc");
  p = static_cast<char*>(s_realloc(p, 2));
  EXPECT_EQ(std::string(p, 2), "ab");
  // A size of 0 must not read as exhaustion and end the process.
  p = static_cast<char*>(s_realloc(p, 0));
  ASSERT_NE(p, nullptr);
  std::free(p);
  void* q = s_realloc(nullptr, 16);
  ASSERT_NE(q, nullptr);
  std::free(q);
}

TEST(Alloc, StrerrorKnownAndUnknownNumbers) {
  EXPECT_STREQ(util_strerror(ENOENT), "No such file or directory");
  EXPECT_STREQ(util_strerror(-1), "Unknown error 4294967295");
  const int32_t n = util_error_count();
  ASSERT_GT(n, ENOENT);
  EXPECT_EQ(std::string(util_strerror(n)), "Unknown error " + std::to_string(n));
  EXPECT_NE(std::string(util_strerror(n - 1)).rfind("Unknown error", 0), 0u);
}

TEST(Alloc, StrerrorUnknownTextIsPerThread) {
  const char* mine = util_strerror(100000);
  std::string other;
  std::thread t([&] { other = util_strerror(100001); });
  t.join();
  EXPECT_STREQ(mine, "Unknown error 100000");
  EXPECT_EQ(other, "Unknown error 100001");
}

TEST(Alloc, CopyToEndPointsAtNul) {
  char buf[16];
  char* end = str_copy_to_end(buf, "abc");
  EXPECT_EQ(end, buf + 3);
  EXPECT_EQ(*end, '\0');
  end = str_copy_to_end(end, "de");
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(end, buf + 5);
}

TEST_F(AllocDeathTest, ImpossibleSizeEndsProcessWithStatusOne) {
  EXPECT_EXIT(
      {
        ToStderr();
        s_alloc(1, UINT64_MAX);
      },
      ::testing::ExitedWithCode(1), "^s_alloc: out of memory\n$");
}

TEST_F(AllocDeathTest, OverflowingProductCountsAsExhaustion) {
  // 2^33 x 2^33 wraps to 0 in 64 bits; it must not become a tiny block.
  EXPECT_EXIT(
      {
        ToStderr();
        s_alloc(uint64_t{1} << 33, uint64_t{1} << 33);
      },
      ::testing::ExitedWithCode(1), "s_alloc: out of memory");
}

TEST_F(AllocDeathTest, ReallocExhaustionNamesItself) {
  EXPECT_EXIT(
      {
        ToStderr();
        void* p = s_alloc(1, 1);
        s_realloc(p, UINT64_MAX - 7);
      },
      ::testing::ExitedWithCode(1), "^s_realloc: out of memory\n$");
}

TEST_F(AllocDeathTest, ExhaustionLineGoesToSinksWithOwnPosition) {
  EXPECT_EXIT(
      {
        log_open_stream_noclose(stderr, 7, 0xFFFFFFFFu, LOG_OPT_LEVEL | LOG_OPT_SOURCE);
        s_alloc(UINT64_MAX, 1);
      },
      ::testing::ExitedWithCode(1),
      "^ERROR \\([^:]*utalloc\\.cpp:[0-9]+\\): s_alloc: out of memory\n$");
}

TEST_F(AllocDeathTest, ExitWithoutConsoleIsSilent) {
  ASSERT_FALSE(console_flag());
  EXPECT_EXIT(util_exit(1), ::testing::ExitedWithCode(1), "^$");
  EXPECT_EXIT(util_exit(7), ::testing::ExitedWithCode(7), "^$");
}

}  // namespace
