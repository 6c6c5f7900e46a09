// Memory pool: block sizes, alignment, moving the growing object, freeing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "util/log.h"
#include "util/mpl.h"

namespace {

size_t block_len(const MPL_BLOCK* b) {
  return static_cast<size_t>(b->end - reinterpret_cast<const char*>(b));
}
bool aligned16(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }

class Pool : public ::testing::Test {
 protected:
  void SetUp() override { mpl_init(&pool_); }
  void TearDown() override { mpl_destroy(&pool_); }
  MPL_POOL pool_;
};

TEST_F(Pool, FirstByteMakesA4KiBBlock) {
  EXPECT_EQ(pool_.block, nullptr);
  mpl_grow_byte(&pool_, 'x');
  ASSERT_NE(pool_.block, nullptr);
  EXPECT_EQ(block_len(pool_.block), 4096u);
  EXPECT_EQ(pool_.block->prev, nullptr);
  EXPECT_EQ(pool_.limit, pool_.block->end);
  EXPECT_TRUE(aligned16(pool_.start));
  EXPECT_EQ(pool_.start, reinterpret_cast<char*>(pool_.block) + 16);
  EXPECT_EQ(*pool_.start, 'x');
  EXPECT_EQ(mpl_object_size(&pool_), 1u);
}

TEST_F(Pool, FortyThousandPlusOneMovesIntoA48KiBBlock) {
  std::string text(40000, 'q');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  mpl_grow_copy(&pool_, text.data(), text.size());
  MPL_BLOCK* first = pool_.block;
  ASSERT_EQ(pool_.start, reinterpret_cast<char*>(first) + 16);
  // 40,000 + 1 + 5,000 + 100 = 45,101, rounded up to 4 KiB.
  mpl_newchunk(&pool_, 1);
  EXPECT_EQ(block_len(pool_.block), 49152u);
  // The old block held only this object, so it was given back.
  EXPECT_EQ(pool_.block->prev, nullptr);
  EXPECT_EQ(mpl_object_size(&pool_), 40000u);
  EXPECT_EQ(std::string(pool_.start, 40000), text);
  mpl_grow_byte(&pool_, '!');
  EXPECT_EQ(pool_.start[40000], '!');
}

TEST_F(Pool, ByteByByteGrowthFollowsTheBlockFormula) {
  size_t moves = 0;
  for (int i = 0; i < 100000; ++i) {
    const bool full = pool_.fill >= pool_.limit;
    const size_t size = mpl_object_size(&pool_);
    mpl_grow_byte(&pool_, static_cast<char>(i));
    if (full) {
      ++moves;
      EXPECT_EQ(block_len(pool_.block), (size + 1 + size / 8 + 4195) & ~size_t{4095}) << size;
      EXPECT_EQ(pool_.block->prev, nullptr);
    }
  }
  EXPECT_GT(moves, 3u);
  EXPECT_LT(moves, 25u);
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(pool_.start[i], static_cast<char>(i)) << i;
}

TEST_F(Pool, FinishedObjectsAreAlignedAndStayPut) {
  mpl_grow_copy(&pool_, "abc", 4);
  size_t size = 0;
  char* a = mpl_finish_size(&pool_, &size);
  EXPECT_EQ(size, 4u);
  mpl_grow_copy(&pool_, "de", 3);
  char* b = mpl_finish(&pool_);
  EXPECT_TRUE(aligned16(a));
  EXPECT_TRUE(aligned16(b));
  EXPECT_EQ(b, a + 16);
  // A large third object moves to a new block; the finished ones do not move
  // and their block stays.
  MPL_BLOCK* first = pool_.block;
  std::string big(10000, 'z');
  mpl_grow_copy(&pool_, big.data(), big.size());
  EXPECT_NE(pool_.block, first);
  EXPECT_EQ(pool_.block->prev, first);
  EXPECT_STREQ(a, "abc");
  EXPECT_STREQ(b, "de");
  char* c = mpl_finish(&pool_);
  EXPECT_TRUE(aligned16(c));
  EXPECT_EQ(std::string(c, 10000), big);
}

TEST_F(Pool, BlankAlignAndAllocObj) {
  mpl_grow_byte(&pool_, 'a');
  char* at = mpl_blank(&pool_, 5);
  EXPECT_EQ(at, pool_.start + 1);
  EXPECT_EQ(pool_.fill, pool_.start + 16);
  mpl_grow_byte(&pool_, 'b');
  EXPECT_EQ(mpl_align(&pool_), pool_.start + 32);
  char* obj = mpl_finish(&pool_);
  char* x = mpl_alloc_obj(&pool_, 40);
  char* y = mpl_alloc_obj(&pool_, 1);
  EXPECT_EQ(x, obj + 32);
  EXPECT_EQ(y, x + 48);
  EXPECT_EQ(mpl_object_size(&pool_), 0u);
}

TEST_F(Pool, FreeToDropsEverythingFromThePointerOn) {
  char* objs[3];
  for (int i = 0; i < 3; ++i) {
    mpl_grow_copy(&pool_, "obj", 3);
    mpl_grow_byte(&pool_, static_cast<char>('0' + i));
    mpl_grow_byte(&pool_, '\0');
    objs[i] = mpl_finish(&pool_);
  }
  mpl_free_to(&pool_, objs[1]);
  EXPECT_EQ(pool_.start, objs[1]);
  EXPECT_EQ(pool_.fill, objs[1]);
  EXPECT_STREQ(objs[0], "obj0");
  mpl_grow_copy(&pool_, "new", 4);
  EXPECT_EQ(mpl_finish(&pool_), objs[1]);
  EXPECT_STREQ(objs[1], "new");

  // null drops only the growing object.
  mpl_grow_copy(&pool_, "half", 4);
  char* start = pool_.start;
  mpl_free_to(&pool_, nullptr);
  EXPECT_EQ(pool_.fill, start);
  EXPECT_EQ(mpl_object_size(&pool_), 0u);
}

TEST_F(Pool, FreeToAnOlderBlockReleasesNewerOnes) {
  mpl_grow_copy(&pool_, "keep", 5);
  char* keep = mpl_finish(&pool_);
  MPL_BLOCK* first = pool_.block;
  std::string big(20000, 'b');
  mpl_grow_copy(&pool_, big.data(), big.size());
  char* gone = mpl_finish(&pool_);
  ASSERT_NE(pool_.block, first);
  (void)gone;
  mpl_free_to(&pool_, keep + 16);  // just past "keep": the first block holds it
  EXPECT_EQ(pool_.block, first);
  EXPECT_EQ(pool_.limit, first->end);
  EXPECT_EQ(pool_.start, keep + 16);
  EXPECT_STREQ(keep, "keep");
}

TEST_F(Pool, FreeToForeignPointerEmptiesThePool) {
  mpl_grow_copy(&pool_, "x", 1);
  mpl_finish(&pool_);
  int outside = 0;
  mpl_free_to(&pool_, &outside);
  EXPECT_EQ(pool_.block, nullptr);
  EXPECT_EQ(pool_.start, nullptr);
  EXPECT_EQ(pool_.fill, nullptr);
  EXPECT_EQ(pool_.limit, nullptr);
}

TEST(PoolEmpty, DestroyOfZeroPoolAndEmptyFinish) {
  MPL_POOL p;
  mpl_init(&p);
  EXPECT_EQ(mpl_finish(&p), nullptr);
  EXPECT_EQ(mpl_object_size(&p), 0u);
  mpl_destroy(&p);
  EXPECT_EQ(p.block, nullptr);
}

// The child's log has no sink unless it is given one (its lines go
// nowhere): the last line is looked for on standard error.
class PoolDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  static void ToStderr() { log_open_stream_noclose(stderr, 7, 0xFFFFFFFFu, 0); }
};

TEST_F(PoolDeathTest, ExhaustionEndsTheProcess) {
  EXPECT_EXIT(
      {
        ToStderr();
        mpl_alloc(SIZE_MAX);
      },
      ::testing::ExitedWithCode(1), "^out of memory\n$");
  EXPECT_EXIT(
      {
        ToStderr();
        MPL_POOL p;
        mpl_init(&p);
        mpl_grow_byte(&p, 'x');
        mpl_blank(&p, SIZE_MAX - 100);
      },
      ::testing::ExitedWithCode(1), "^out of memory\n$");
}

}  // namespace
