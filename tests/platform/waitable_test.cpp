#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/event.h"
#include "platform/semaphore.h"
#include "platform/thread.h"
#include "platform/waitset.h"

using namespace std::chrono_literals;

namespace {

TEST(EventTest, AutoResetLetsOneWaitThrough) {
  plat::Event e(false);
  EXPECT_FALSE(e.wait(0));
  e.set();
  e.set();  // signals do not accumulate
  EXPECT_TRUE(e.wait(0));
  EXPECT_FALSE(e.wait(0));
}

TEST(EventTest, InitialStateAndReset) {
  plat::Event on(true);
  EXPECT_TRUE(on.wait(0));
  EXPECT_FALSE(on.wait(0));
  plat::Event e(true);
  e.reset();
  EXPECT_FALSE(e.wait(0));
}

TEST(EventTest, TimedWaitTimesOut) {
  plat::Event e;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(e.wait(40));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 35ms);
}

TEST(EventTest, ReleasesExactlyOneOfTwoWaiters) {
  plat::Event e;
  std::atomic<int> through{0};
  std::thread a([&] { through += e.wait() ? 1 : 0; });
  std::thread b([&] { through += e.wait() ? 1 : 0; });
  std::this_thread::sleep_for(30ms);
  e.set();
  while (through.load() == 0) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(through.load(), 1);
  e.set();
  a.join();
  b.join();
  EXPECT_EQ(through.load(), 2);
}

TEST(SemaphoreTest, CountsUnitsUpToTheMaximum) {
  plat::Semaphore s(1, 3);
  EXPECT_EQ(s.count(), 1u);
  EXPECT_TRUE(s.release());
  EXPECT_TRUE(s.release());
  EXPECT_FALSE(s.release());  // would pass 3
  EXPECT_EQ(s.count(), 3u);
  EXPECT_FALSE(s.release(5));
  EXPECT_EQ(s.count(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(s.wait(0));
  EXPECT_FALSE(s.wait(0));
}

TEST(SemaphoreTest, InitialCountIsClampedToTheMaximum) {
  plat::Semaphore s(9, 2);
  EXPECT_EQ(s.count(), 2u);
  plat::Semaphore z(0, 0);
  EXPECT_TRUE(z.release());
  EXPECT_FALSE(z.release());
}

TEST(SemaphoreTest, WaiterWakesOnReleaseFromAnotherThread) {
  plat::Semaphore s(0, 10);
  std::thread t([&] {
    std::this_thread::sleep_for(20ms);
    s.release(2);
  });
  EXPECT_TRUE(s.wait());
  EXPECT_TRUE(s.wait());
  t.join();
  EXPECT_EQ(s.count(), 0u);
}

TEST(WaitTest, WaitAnyPicksTheLowestSignalledIndexAndConsumesOnlyIt) {
  plat::Event e0, e1;
  plat::Semaphore s(2, 5);
  plat::Waitable* set[] = {&e0, &s, &e1};
  e1.set();
  EXPECT_EQ(plat::wait_any(set, 3, 0), 1);
  EXPECT_EQ(s.count(), 1u);
  EXPECT_EQ(plat::wait_any(set, 3, 0), 1);
  EXPECT_EQ(plat::wait_any(set, 3, 0), 2);
  EXPECT_EQ(plat::wait_any(set, 3, 0), plat::kWaitTimeout);
}

TEST(WaitTest, EmptyAndBadSets) {
  EXPECT_EQ(plat::wait_any(nullptr, 0), plat::kWaitEmpty);
  EXPECT_EQ(plat::wait_all(nullptr, 0), plat::kWaitEmpty);
  plat::Event e(true);
  plat::Waitable* with_null[] = {&e, nullptr};
  EXPECT_EQ(plat::wait_any(with_null, 2, 0), plat::kWaitFailed);
  plat::Waitable* twice[] = {&e, &e};
  EXPECT_EQ(plat::wait_all(twice, 2, 0), plat::kWaitFailed);
  plat::Waitable* many[65];
  for (auto& w : many) w = &e;
  EXPECT_EQ(plat::wait_any(many, 65, 0), plat::kWaitFailed);
  EXPECT_TRUE(e.wait(0));  // nothing above consumed the signal
}

TEST(WaitTest, WaitAllConsumesNothingUntilEverythingIsSignalled) {
  plat::Event e;
  plat::Semaphore s(1, 1);
  plat::Waitable* set[] = {&e, &s};
  EXPECT_EQ(plat::wait_all(set, 2, 20), plat::kWaitTimeout);
  EXPECT_EQ(s.count(), 1u);  // not taken by the failed wait
  std::thread t([&] {
    std::this_thread::sleep_for(20ms);
    e.set();
  });
  EXPECT_EQ(plat::wait_all(set, 2), 0);
  t.join();
  EXPECT_EQ(s.count(), 0u);
  EXPECT_FALSE(e.wait(0));
}

TEST(WaitSetTest, HoldsAtMost64) {
  plat::WaitSet ws;
  plat::Event e;
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(ws.add(&e));
  EXPECT_FALSE(ws.add(&e));
  EXPECT_EQ(ws.size(), 64u);
  EXPECT_FALSE(ws.add(nullptr));
  ws.clear();
  EXPECT_EQ(ws.wait_any(), plat::kWaitEmpty);
}

uint32_t return_arg(void* arg) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg)); }

TEST(ThreadTest, ExitCodeIdAndEnd) {
  plat::Thread* t = plat::Thread::start(&return_arg, reinterpret_cast<void*>(uintptr_t{42}));
  ASSERT_NE(t, nullptr);
  EXPECT_NE(t->id(), 0u);
  EXPECT_NE(t->id(), static_cast<uint32_t>(syscall(SYS_gettid)));
  ASSERT_TRUE(t->join());
  EXPECT_FALSE(t->running());
  EXPECT_EQ(t->exit_code(), 42u);
  EXPECT_TRUE(t->join(0));  // an ended thread stays signalled
  EXPECT_FALSE(t->request_stop(7));
  EXPECT_EQ(t->exit_code(), 42u);
  t->close();
}

uint32_t wait_on_event(void* arg) {
  plat::Event* e = static_cast<plat::Event*>(arg);
  return e->wait() ? 1 : 2;
}

TEST(ThreadTest, ReportsStillActiveWhileRunningAndCanBeClosedEarly) {
  plat::Event go;
  plat::Thread* t = plat::Thread::start(&wait_on_event, &go);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->running());
  EXPECT_EQ(t->exit_code(), plat::Thread::kStillActive);
  EXPECT_FALSE(t->join(20));
  plat::WaitSet ws;
  ws.add(t);
  ws.add(&go);
  EXPECT_EQ(ws.wait_any(20), plat::kWaitTimeout);
  go.set();
  ASSERT_TRUE(t->join(5000));
  EXPECT_EQ(t->exit_code(), 1u);
  t->close();

  // Closing while the thread runs leaves it running to its end.
  plat::Event done;
  struct Ctx {
    plat::Event* go;
    plat::Event* done;
  };
  plat::Event go2;
  Ctx ctx{&go2, &done};
  plat::Thread* t2 = plat::Thread::start(
      [](void* a) -> uint32_t {
        Ctx* c = static_cast<Ctx*>(a);
        c->go->wait();
        c->done->set();
        return 0;
      },
      &ctx);
  ASSERT_NE(t2, nullptr);
  t2->close();
  go2.set();
  EXPECT_TRUE(done.wait(5000));
}

uint32_t block_until_stopped(void* arg) {
  plat::Event* never = static_cast<plat::Event*>(arg);
  const bool got = never->wait();
  // Every later wait fails at once as well.
  const bool again = never->wait();
  return (got || again) ? 100 : (plat::Thread::stop_requested_here() ? 5 : 6);
}

TEST(ThreadTest, StopRequestWakesABlockedWaitAndKeepsTheFunctionsCode) {
  plat::Event never;
  plat::Thread* t = plat::Thread::start(&block_until_stopped, &never);
  ASSERT_NE(t, nullptr);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(t->stop_requested());
  EXPECT_TRUE(t->request_stop());
  ASSERT_TRUE(t->join(5000));
  EXPECT_EQ(t->exit_code(), 5u);
  t->close();
}

TEST(ThreadTest, StopRequestWithCodeReplacesTheResult) {
  plat::Event never;
  plat::Thread* t = plat::Thread::start(&block_until_stopped, &never);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->request_stop(77));
  ASSERT_TRUE(t->join(5000));
  EXPECT_EQ(t->exit_code(), 77u);
  t->close();
}

TEST(ThreadTest, AThreadCannotJoinItself) {
  struct Ctx {
    plat::Thread* self = nullptr;
    plat::Event ready;
  } ctx;
  plat::Thread* t = plat::Thread::start(
      [](void* a) -> uint32_t {
        Ctx* c = static_cast<Ctx*>(a);
        c->ready.wait();
        return (plat::Thread::current() == c->self && !c->self->join()) ? 1 : 0;
      },
      &ctx);
  ASSERT_NE(t, nullptr);
  ctx.self = t;
  ctx.ready.set();
  ASSERT_TRUE(t->join(5000));
  EXPECT_EQ(t->exit_code(), 1u);
  t->close();
  EXPECT_EQ(plat::Thread::current(), nullptr);
  EXPECT_FALSE(plat::Thread::stop_requested_here());
}

TEST(ThreadTest, StartWithoutFunctionFails) {
  EXPECT_EQ(plat::Thread::start(nullptr, nullptr), nullptr);
}

}  // namespace
