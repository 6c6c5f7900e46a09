#include "platform/lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Runs f on another thread and returns its result.
template <class F>
auto on_other_thread(F f) {
  return std::async(std::launch::async, f).get();
}

TEST(MutexTest, TryLockFromAnotherThreadFailsWhileHeld) {
  plat::Mutex m;
  m.lock();
  EXPECT_FALSE(on_other_thread([&] { return m.try_lock(); }));
  m.unlock();
  EXPECT_TRUE(on_other_thread([&] {
    bool ok = m.try_lock();
    if (ok) m.unlock();
    return ok;
  }));
}

TEST(MutexTest, CountsStayExactUnderContention) {
  plat::Mutex m;
  long counter = 0;
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        plat::Guard<plat::Mutex> g(m);
        ++counter;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(counter, 80000);
}

TEST(RecursiveMutexTest, OwnerRelocksAndOthersWaitForTheLastUnlock) {
  plat::RecursiveMutex m;
  m.lock();
  ASSERT_TRUE(m.try_lock());
  m.lock();
  m.unlock();
  m.unlock();
  EXPECT_FALSE(on_other_thread([&] { return m.try_lock(); }));
  m.unlock();
  EXPECT_TRUE(on_other_thread([&] {
    bool ok = m.try_lock();
    if (ok) m.unlock();
    return ok;
  }));
}

TEST(BiasedRecursiveMutexTest, AnotherThreadWaitsForTheOwnersBiasedHold) {
  plat::RecursiveMutex m(plat::RecursiveMutex::kBiased);
  m.lock();
  m.lock();
  m.unlock();
  EXPECT_FALSE(on_other_thread([&] { return m.try_lock(); }));
  std::atomic<bool> got{false};
  std::thread other([&] {
    m.lock();
    got = true;
    m.unlock();
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(got.load());
  m.unlock();
  other.join();
  EXPECT_TRUE(got.load());
  EXPECT_TRUE(m.biasRevoked());
  // Revoked for good: the first owner now excludes the other thread too.
  m.lock();
  EXPECT_FALSE(on_other_thread([&] { return m.try_lock(); }));
  m.unlock();
}

// The revocation lands while the owner takes and releases the lock in a
// tight loop; a hold the revoker did not wait for loses increments.
TEST(BiasedRecursiveMutexTest, CountsStayExactAcrossTheRevocation) {
  for (int round = 0; round < 20; ++round) {
    plat::RecursiveMutex m(plat::RecursiveMutex::kBiased);
    long counter = 0;
    std::atomic<bool> ownerStarted{false};
    auto work = [&] {
      for (int i = 0; i < 200000; ++i) {
        plat::Guard<plat::RecursiveMutex> g(m);
        ++counter;
        if (i == 100) ownerStarted = true;
      }
    };
    std::thread owner(work);
    while (!ownerStarted.load()) std::this_thread::yield();
    std::thread other(work);
    owner.join();
    other.join();
    EXPECT_EQ(counter, 400000) << "round " << round;
    EXPECT_TRUE(m.biasRevoked()) << "round " << round;
  }
}

TEST(GateTest, RecursionDepthIsReleasedLevelByLevel) {
  plat::Gate g;
  EXPECT_FALSE(g.held());
  g.lock();
  g.lock();
  ASSERT_TRUE(g.try_lock());
  EXPECT_TRUE(g.held_by_me());
  g.unlock();
  g.unlock();
  EXPECT_TRUE(g.held());
  EXPECT_FALSE(on_other_thread([&] { return g.try_lock(); }));
  g.unlock();
  EXPECT_FALSE(g.held());
  EXPECT_FALSE(g.held_by_me());
}

TEST(GateTest, ReleaseAllReportsTheDepth) {
  plat::Gate g;
  for (int i = 0; i < 3; ++i) g.lock();
  const plat::Gate::Hold h = g.hold();
  ASSERT_NE(h, 0u);
  EXPECT_EQ(g.release_all(h), 3u);
  EXPECT_FALSE(g.held());
  EXPECT_EQ(g.release_all(h), 0u);
  // An unlock of a free gate must not wrap the depth around.
  g.unlock();
  EXPECT_FALSE(g.held());
  EXPECT_TRUE(g.try_lock());
  g.unlock();
}

TEST(GateTest, TakenByOneThreadReleasedByAnother) {
  plat::Gate g;
  plat::Gate::Hold h = 0;
  std::thread taker([&] {
    g.lock();
    g.lock();
    h = g.hold();
  });
  taker.join();
  ASSERT_TRUE(g.held());
  EXPECT_FALSE(g.held_by_me());
  EXPECT_FALSE(g.try_lock());

  // A third thread is blocked in lock() until this thread releases.
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    g.lock();
    got = true;
    EXPECT_TRUE(g.held_by_me());
    g.unlock();
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(got.load());
  EXPECT_EQ(g.release_all(h), 2u);
  waiter.join();
  EXPECT_TRUE(got.load());
  EXPECT_FALSE(g.held());
}

TEST(GateTest, ForeignReleaseEndsOnlyTheHoldItNames) {
  plat::Gate g;
  g.lock();
  const plat::Gate::Hold first = g.hold();
  // A thread that holds nothing releases nothing with a plain unlock.
  std::thread([&] { g.unlock(); }).join();
  EXPECT_TRUE(g.held_by_me());

  std::atomic<bool> got{false};
  std::atomic<bool> leave{false};
  plat::Gate::Hold second = 0;
  std::thread waiter([&] {
    plat::Guard<plat::Gate> lk(g);
    second = g.hold();
    got = true;
    while (!leave) std::this_thread::sleep_for(1ms);
  });
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(got.load());
  EXPECT_EQ(on_other_thread([&] { return g.release_all(first); }), 1u);
  while (!got) std::this_thread::sleep_for(1ms);

  // The first holder's late releases find its hold gone: the waiter's hold
  // stays, through a plain unlock, a stale release and a Guard of its own.
  g.unlock();
  EXPECT_EQ(g.release_all(first), 0u);
  EXPECT_TRUE(g.held());
  EXPECT_FALSE(g.held_by_me());
  EXPECT_NE(second, first);
  leave = true;
  waiter.join();
  EXPECT_FALSE(g.held());

  // A holder whose hold was ended and who took the gate again keeps the new
  // hold when the first Guard goes.
  {
    plat::Guard<plat::Gate> outer(g);
    EXPECT_EQ(g.release_all(g.hold()), 1u);
    g.lock();
    { plat::Guard<plat::Gate> inner(g); }
    EXPECT_TRUE(g.held_by_me());
  }
  EXPECT_TRUE(g.held_by_me());
  g.unlock();
  EXPECT_FALSE(g.held());
}

TEST(GateTest, ExcludesUnderContention) {
  plat::Gate g;
  int inside = 0;
  int max_inside = 0;
  long total = 0;
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        plat::Guard<plat::Gate> lk(g);
        ++inside;
        if (inside > max_inside) max_inside = inside;
        ++total;
        --inside;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(max_inside, 1);
  EXPECT_EQ(total, 20000);
}

}  // namespace
