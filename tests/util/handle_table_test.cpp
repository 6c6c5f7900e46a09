#include "util/handle_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

int g_objects[16];

class HandleTableTest : public ::testing::Test {
 protected:
  void TearDown() override { HT_Done(&table_); }
  HANDLE_TABLE table_{};
};

TEST_F(HandleTableTest, NewTableHandsOutSlotZeroUnderItsTag) {
  ASSERT_EQ(HT_Init(&table_, 1), 0);
  EXPECT_EQ(table_.capacity, 5);
  EXPECT_EQ(table_.free_count, 5);
  uint32_t h = 0xDEAD;
  ASSERT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), 0);
  EXPECT_EQ(h, 0x00010000u);
  EXPECT_EQ(HT_Lookup(&table_, h), &g_objects[0]);

  HANDLE_TABLE conns{};
  ASSERT_EQ(HT_Init(&conns, 2), 0);
  uint32_t c = 0;
  ASSERT_EQ(HT_Alloc(&conns, &c, &g_objects[1]), 0);
  EXPECT_EQ(c, 0x00020000u);
  HT_Done(&conns);
}

TEST_F(HandleTableTest, SixthAllocationGrowsToTenSlots) {
  ASSERT_EQ(HT_Init(&table_, 3), 0);
  uint32_t h[6];
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(HT_Alloc(&table_, &h[i], &g_objects[i]), 0);
    EXPECT_EQ(h[i], 0x00030000u | static_cast<uint32_t>(i));
  }
  EXPECT_EQ(table_.capacity, 5);
  EXPECT_EQ(table_.free_count, 0);
  ASSERT_EQ(HT_Alloc(&table_, &h[5], &g_objects[5]), 0);
  EXPECT_EQ(h[5], 0x00030005u);
  EXPECT_EQ(table_.capacity, 10);
  EXPECT_EQ(table_.free_count, 4);
  // Growing kept every earlier registration.
  for (int i = 0; i < 6; ++i) EXPECT_EQ(HT_Lookup(&table_, h[i]), &g_objects[i]) << i;
}

TEST_F(HandleTableTest, FreedSlotComesBackFirst) {
  ASSERT_EQ(HT_Init(&table_, 1), 0);
  uint32_t h[5];
  for (int i = 0; i < 5; ++i) ASSERT_EQ(HT_Alloc(&table_, &h[i], &g_objects[i]), 0);
  HT_Free(&table_, h[2]);
  EXPECT_EQ(table_.free_count, 1);
  EXPECT_EQ(HT_Lookup(&table_, h[2]), nullptr);
  uint32_t again = 0;
  ASSERT_EQ(HT_Alloc(&table_, &again, &g_objects[9]), 0);
  EXPECT_EQ(again, h[2]);
  EXPECT_EQ(HT_Lookup(&table_, again), &g_objects[9]);
  EXPECT_EQ(table_.capacity, 5);

  // Two holes: the lower one is filled first, then the higher one.
  HT_Free(&table_, h[3]);
  HT_Free(&table_, h[1]);
  uint32_t a = 0, b = 0;
  ASSERT_EQ(HT_Alloc(&table_, &a, &g_objects[10]), 0);
  ASSERT_EQ(HT_Alloc(&table_, &b, &g_objects[11]), 0);
  EXPECT_EQ(a, h[1]);
  EXPECT_EQ(b, h[3]);
}

TEST_F(HandleTableTest, ForeignStaleAndOutOfRangeNumbersLookUpAsNull) {
  ASSERT_EQ(HT_Init(&table_, 3), 0);
  HANDLE_TABLE conns{};
  ASSERT_EQ(HT_Init(&conns, 2), 0);
  uint32_t conn = 0, stmt = 0;
  ASSERT_EQ(HT_Alloc(&conns, &conn, &g_objects[0]), 0);
  ASSERT_EQ(HT_Alloc(&table_, &stmt, &g_objects[1]), 0);

  EXPECT_EQ(HT_Lookup(&table_, conn), nullptr);         // same slot, other table's tag
  EXPECT_EQ(HT_Lookup(&table_, 0x00030004u), nullptr);  // free slot
  EXPECT_EQ(HT_Lookup(&table_, 0x00030005u), nullptr);  // beyond the capacity
  EXPECT_EQ(HT_Lookup(&table_, 0x0003FFFFu), nullptr);
  EXPECT_EQ(HT_Lookup(&table_, 0x00000000u), nullptr);
  EXPECT_EQ(HT_Lookup(nullptr, stmt), nullptr);
  // A 64-bit handle value with upper bits set is not one of ours.
  EXPECT_EQ(HT_Lookup(&table_, (uint64_t{1} << 32) | stmt), nullptr);

  // Freeing with a foreign, out-of-range or widened number changes nothing.
  HT_Free(&table_, conn);
  HT_Free(&table_, 0x00030009u);
  HT_Free(&table_, (uint64_t{1} << 32) | stmt);
  EXPECT_EQ(HT_Lookup(&table_, stmt), &g_objects[1]);
  EXPECT_EQ(table_.free_count, 4);

  HT_Free(&table_, stmt);
  EXPECT_EQ(HT_Lookup(&table_, stmt), nullptr);  // stale
  HT_Free(&table_, stmt);                        // twice: still one free slot more
  EXPECT_EQ(table_.free_count, 5);
  HT_Done(&conns);
}

TEST_F(HandleTableTest, TagKeepsItsLowHalfAndZeroBecomesFFFF) {
  ASSERT_EQ(HT_Init(&table_, 0), 0);
  EXPECT_EQ(table_.tag, 0xFFFFFFFFu);
  uint32_t h = 0;
  ASSERT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), 0);
  EXPECT_EQ(h >> 16, 0xFFFFu);
  EXPECT_EQ(HT_Lookup(&table_, h), &g_objects[0]);

  ASSERT_EQ(HT_Init(&table_, 0x0DBC0001u), 0);
  EXPECT_EQ(table_.tag, 1u);
  ASSERT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), 0);
  EXPECT_EQ(h, 0x00010000u);

  ASSERT_EQ(HT_Init(&table_, 0xAAAAu), 0);
  ASSERT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), 0);
  EXPECT_EQ(h, 0xAAAA0000u);

  // A tag whose low half is 0 must not tag slots as free.
  ASSERT_EQ(HT_Init(&table_, 0x00050000u), 0);
  ASSERT_EQ(HT_Alloc(&table_, &h, &g_objects[2]), 0);
  EXPECT_EQ(h >> 16, 0xFFFFu);
  EXPECT_EQ(HT_Lookup(&table_, h), &g_objects[2]);
  EXPECT_EQ(table_.free_count, 4);
}

TEST_F(HandleTableTest, FullTableRefusesWith131AndStaysUsable) {
  ASSERT_EQ(HT_Init(&table_, 0xCCCC), 0);
  uint32_t h = 0;
  for (uint32_t i = 0; i < HT_MAX_SLOTS; ++i) {
    ASSERT_EQ(HT_Alloc(&table_, &h, reinterpret_cast<void*>(static_cast<uintptr_t>(i + 1))), 0)
        << i;
    ASSERT_EQ(h, 0xCCCC0000u | i);
  }
  EXPECT_EQ(table_.capacity, 65530);
  EXPECT_EQ(table_.free_count, 0);
  h = 0x1234;
  EXPECT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), ERR_HANDLE_LIMIT);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(table_.capacity, 65530);
  EXPECT_EQ(HT_Lookup(&table_, 0xCCCC0000u | 65529u), reinterpret_cast<void*>(uintptr_t{65530}));

  HT_Free(&table_, 0xCCCC0000u | 40000u);
  ASSERT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), 0);
  EXPECT_EQ(h, 0xCCCC0000u | 40000u);
  EXPECT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), ERR_HANDLE_LIMIT);
}

TEST_F(HandleTableTest, DoneReturnsToAllZeroAndInitResets) {
  ASSERT_EQ(HT_Init(&table_, 4), 0);
  ASSERT_EQ(HT_EnableLock(&table_), 0);
  uint32_t h = 0;
  for (int i = 0; i < 7; ++i) ASSERT_EQ(HT_Alloc(&table_, &h, &g_objects[i]), 0);

  // Re-initialising a table in use drops its slots and its lock.
  ASSERT_EQ(HT_Init(&table_, 4), 0);
  EXPECT_EQ(table_.capacity, 5);
  EXPECT_EQ(table_.free_count, 5);
  EXPECT_EQ(table_.lock_flag, 0u);
  EXPECT_EQ(table_.lock, nullptr);
  EXPECT_EQ(HT_Lookup(&table_, 0x00040006u), nullptr);

  HT_Done(&table_);
  const HANDLE_TABLE zero{};
  EXPECT_EQ(table_.tag, zero.tag);
  EXPECT_EQ(table_.capacity, 0);
  EXPECT_EQ(table_.slots, nullptr);
  EXPECT_EQ(table_.lock, nullptr);
  // An uninitialised table refuses to allocate and resolves nothing.
  h = 7;
  EXPECT_EQ(HT_Alloc(&table_, &h, &g_objects[0]), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(HT_Lookup(&table_, 0x00040000u), nullptr);
  HT_Free(&table_, 0x00040000u);
  EXPECT_EQ(HT_Alloc(nullptr, &h, &g_objects[0]), ERR_INVALID_ARGUMENT);
}

TEST_F(HandleTableTest, ConcurrentAllocFreeKeepsCountsConsistent) {
  ASSERT_EQ(HT_Init(&table_, 2), 0);
  ASSERT_EQ(HT_EnableLock(&table_), 0);
  constexpr int kThreads = 8;
  constexpr int kRounds = 3000;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  std::vector<std::vector<uint32_t>> kept(kThreads);
  std::vector<int> mine(kThreads * 4);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<uint32_t> live;
      for (int r = 0; r < kRounds; ++r) {
        void* obj = &mine[t * 4 + (r % 4)];
        uint32_t h = 0;
        if (HT_Alloc(&table_, &h, obj) != 0) {
          ++failures;
          continue;
        }
        if (HT_Lookup(&table_, h) != obj) ++failures;
        live.push_back(h);
        if (r % 3 != 0) {  // free two of every three, keeping the table growing
          const uint32_t victim = live[live.size() / 2];
          live.erase(live.begin() + static_cast<long>(live.size() / 2));
          HT_Free(&table_, victim);
        }
      }
      kept[t] = live;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);

  size_t live_total = 0;
  std::vector<bool> seen(table_.capacity, false);
  for (int t = 0; t < kThreads; ++t) {
    for (uint32_t h : kept[t]) {
      ++live_total;
      const uint32_t slot = h & 0xFFFFu;
      ASSERT_LT(slot, table_.capacity);
      EXPECT_FALSE(seen[slot]) << "slot handed out twice: " << slot;
      seen[slot] = true;
      void* obj = HT_Lookup(&table_, h);
      EXPECT_GE(obj, static_cast<void*>(&mine[t * 4]));
      EXPECT_LE(obj, static_cast<void*>(&mine[t * 4 + 3]));
    }
  }
  EXPECT_EQ(live_total, static_cast<size_t>(kThreads) * (kRounds / 3));
  EXPECT_EQ(static_cast<size_t>(table_.free_count) + live_total, table_.capacity);
}

}  // namespace
