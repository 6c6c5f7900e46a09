#include "util/thr.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

uint32_t return_arg(void* arg) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg)); }

uint32_t wait_event(void* arg) { return evt_wait(static_cast<THR_EVENT*>(arg)) ? 10 : 20; }

TEST(ThrThreadTest, RunsTheFunctionAndKeepsItsExitCode) {
  THR_START start{&return_arg, reinterpret_cast<void*>(uintptr_t{7})};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  EXPECT_NE(t.handle, nullptr);
  EXPECT_EQ(t.start, &start);
  EXPECT_NE(t.id, 0u);
  EXPECT_NE(t.id, static_cast<uint32_t>(syscall(SYS_gettid)));
  EXPECT_EQ(thr_handle(&t), t.handle);
  EXPECT_EQ(thr_wait(&t), 1);
  EXPECT_EQ(thr_is_running(&t), 0);
  EXPECT_EQ(thr_exit_code(&t), 7u);
  EXPECT_EQ(thr_wait(&t), 1);  // an ended thread can be waited for again
  thr_close(&t);
  EXPECT_EQ(t.handle, nullptr);
  EXPECT_EQ(thr_wait(&t), 0);
  EXPECT_EQ(thr_is_running(&t), 0);
}

TEST(ThrThreadTest, StartThunkReturnsTheFunctionsResult) {
  THR_START start{&return_arg, reinterpret_cast<void*>(uintptr_t{1234})};
  EXPECT_EQ(thr_start_thunk(&start), 1234u);
}

TEST(ThrThreadTest, IsRunningUntilTheFunctionReturns) {
  THR_EVENT go{};
  ASSERT_EQ(evt_create(&go, 0), 1);
  THR_START start{&wait_event, &go};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  EXPECT_EQ(thr_is_running(&t), 1);
  EXPECT_EQ(thr_exit_code(&t), THR_STILL_ACTIVE);
  evt_set(&go);
  EXPECT_EQ(thr_wait(&t), 1);
  EXPECT_EQ(thr_is_running(&t), 0);
  EXPECT_EQ(thr_exit_code(&t), 10u);
  thr_close(&t);
  evt_close(&go);
}

TEST(ThrThreadTest, ExitCode259IsIndistinguishableFromRunning) {
  THR_START start{&return_arg, reinterpret_cast<void*>(uintptr_t{259})};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  ASSERT_EQ(thr_wait(&t), 1);        // it has ended...
  EXPECT_EQ(thr_is_running(&t), 1);  // ...but reads as still active
  thr_close(&t);
}

TEST(ThrThreadTest, FailedStartLeavesTheHandleNull) {
  THR_THREAD t{};
  t.id = 99;
  EXPECT_EQ(thr_create(&t, nullptr), 0);
  EXPECT_EQ(t.handle, nullptr);
  THR_START no_function{nullptr, nullptr};
  EXPECT_EQ(thr_create(&t, &no_function), 0);
  EXPECT_EQ(t.handle, nullptr);
  EXPECT_EQ(t.id, 0u);
  EXPECT_EQ(thr_kill(&t, 1), 0);
  EXPECT_EQ(thr_request_stop(&t, 1), 0);
  EXPECT_EQ(thr_handle(static_cast<const THR_THREAD*>(nullptr)), nullptr);
}

TEST(ThrThreadTest, CloseLeavesTheThreadRunning) {
  THR_EVENT go{}, done{};
  evt_create(&go, 0);
  evt_create(&done, 0);
  struct Ctx {
    THR_EVENT* go;
    THR_EVENT* done;
  } ctx{&go, &done};
  THR_START start{[](void* a) -> uint32_t {
                    auto* c = static_cast<Ctx*>(a);
                    evt_wait(c->go);
                    evt_set(c->done);
                    return 0;
                  },
                  &ctx};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  thr_close(&t);
  evt_set(&go);
  EXPECT_EQ(evt_wait(&done), 1);
  evt_close(&go);
  evt_close(&done);
}

TEST(ThrThreadTest, AThreadWaitingForItselfFailsInsteadOfHanging) {
  struct Ctx {
    THR_THREAD t{};
    THR_EVENT ready{};
  } ctx;
  evt_create(&ctx.ready, 0);
  THR_START start{[](void* a) -> uint32_t {
                    auto* c = static_cast<Ctx*>(a);
                    evt_wait(&c->ready);
                    return static_cast<uint32_t>(thr_wait(&c->t));
                  },
                  &ctx};
  ASSERT_EQ(thr_create(&ctx.t, &start), 1);
  evt_set(&ctx.ready);
  THR_THREAD view = ctx.t;
  EXPECT_EQ(thr_wait(&view), 1);
  EXPECT_EQ(thr_exit_code(&view), 0u);
  thr_close(&ctx.t);
  evt_close(&ctx.ready);
}

// A worker as the distributed-transaction code builds it: it waits for a
// stop event or a request semaphore, and counts the requests it served.
struct Worker {
  THR_EVENT stop{};
  THR_SEMAPHORE full{};
  std::atomic<int> served{0};
  std::atomic<int> saw_stop_request{0};
  bool stop_event_only = true;
};

uint32_t worker_loop(void* arg) {
  auto* w = static_cast<Worker*>(arg);
  THR_WAITSET set{};
  waitset_clear(&set);
  waitset_add_event(&set, &w->stop);
  waitset_add_sem(&set, &w->full);
  for (;;) {
    const int r =
        w->stop_event_only ? waitset_wait(&set, 0) : (sem_wait(&w->full) ? 1 : THR_WAIT_FAILED);
    if (r != 1) break;
    ++w->served;
  }
  w->saw_stop_request = thr_stop_requested();
  return 0;
}

TEST(ThrStopTest, StopEventEndsAWorkerThatServedItsRequests) {
  Worker w;
  evt_create(&w.stop, 0);
  sem_create(&w.full, 0, 10);
  THR_START start{&worker_loop, &w};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sem_release(&w.full), 1);
  while (w.served < 3) std::this_thread::sleep_for(1ms);
  evt_set(&w.stop);
  EXPECT_EQ(thr_wait(&t), 1);
  EXPECT_EQ(w.served.load(), 3);
  EXPECT_EQ(w.saw_stop_request.load(), 0);
  EXPECT_EQ(thr_exit_code(&t), 0u);
  thr_close(&t);
  evt_close(&w.stop);
  sem_close(&w.full);
}

TEST(ThrStopTest, KillStopsAWorkerBlockedOnASemaphoreAndSetsTheExitCode) {
  Worker w;
  w.stop_event_only = false;  // waits on the semaphore alone: no stop event can reach it
  evt_create(&w.stop, 0);
  sem_create(&w.full, 0, 1);
  THR_START start{&worker_loop, &w};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(thr_is_running(&t), 1);
  EXPECT_EQ(thr_kill(&t, 3), 1);
  // thr_kill returns only once the thread has ended, so its objects may go.
  EXPECT_EQ(thr_is_running(&t), 0);
  EXPECT_EQ(thr_exit_code(&t), 3u);
  EXPECT_EQ(w.saw_stop_request.load(), 1);
  EXPECT_EQ(w.served.load(), 0);
  EXPECT_EQ(sem_release(&w.full), 1);  // the unit was never taken by the stopped wait
  thr_close(&t);
  evt_close(&w.stop);
  sem_close(&w.full);
}

TEST(ThrStopTest, KillReachesABusyThreadThatPollsForIt) {
  std::atomic<int> loops{0};
  THR_START start{[](void* a) -> uint32_t {
                    auto* n = static_cast<std::atomic<int>*>(a);
                    while (!thr_stop_requested()) ++*n;
                    return 55;
                  },
                  &loops};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  while (loops < 100) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(thr_kill(&t, 0), 1);
  EXPECT_EQ(thr_exit_code(&t), 0u);  // the kill's code, not the function's 55
  thr_close(&t);
  EXPECT_EQ(thr_stop_requested(), 0);  // not a thread of ours
}

TEST(ThrStopTest, KillOfAnEndedThreadKeepsItsExitCode) {
  THR_START start{&return_arg, reinterpret_cast<void*>(uintptr_t{8})};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  ASSERT_EQ(thr_wait(&t), 1);
  EXPECT_EQ(thr_request_stop(&t, 1), 0);
  EXPECT_EQ(thr_kill(&t, 1), 1);
  EXPECT_EQ(thr_exit_code(&t), 8u);
  thr_close(&t);
}

TEST(ThrStopTest, RequestStopDoesNotWait) {
  THR_EVENT release{};
  evt_create(&release, 0);
  struct Ctx {
    THR_EVENT* release;
    std::atomic<bool> first_wait_failed{false};
  } ctx{&release};
  // The thread ignores the request for a while: it keeps going until the
  // main thread lets it (by flag, since its own waits now fail).
  static std::atomic<bool> let_go;
  let_go = false;
  THR_START start{[](void* a) -> uint32_t {
                    auto* c = static_cast<Ctx*>(a);
                    c->first_wait_failed = evt_wait(c->release) == 0;
                    while (!let_go) std::this_thread::sleep_for(1ms);
                    return 4;
                  },
                  &ctx};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  EXPECT_EQ(thr_request_stop(&t, 9), 1);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(thr_is_running(&t), 1);
  let_go = true;
  EXPECT_EQ(thr_wait(&t), 1);
  EXPECT_TRUE(ctx.first_wait_failed.load());
  EXPECT_EQ(thr_exit_code(&t), 9u);
  thr_close(&t);
  evt_close(&release);
}

TEST(ThrEventTest, InitialStateAndAutoReset) {
  THR_EVENT e{};
  ASSERT_EQ(evt_create(&e, 1), 1);
  EXPECT_EQ(evt_wait(&e), 1);  // consumed...
  THR_WAITSET set{};
  waitset_clear(&set);
  waitset_add_event(&set, &e);
  EXPECT_EQ(waitset_wait_timed(&set, 0, 10), THR_WAIT_TIMEOUT);  // ...so nothing is left
  EXPECT_EQ(evt_set(&e), 1);
  EXPECT_EQ(waitset_wait_timed(&set, 0, 0), 0);
  EXPECT_EQ(thr_handle(&e), e.handle);
  evt_close(&e);
  EXPECT_EQ(e.handle, nullptr);
  EXPECT_EQ(evt_set(&e), 0);
  EXPECT_EQ(evt_wait(&e), 0);
  evt_close(&e);  // twice is harmless
}

TEST(ThrEventTest, SetFromAnotherThreadWakesTheWaiter) {
  THR_EVENT e{};
  evt_create(&e, 0);
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    evt_set(&e);
  });
  EXPECT_EQ(evt_wait(&e), 1);
  setter.join();
  evt_close(&e);
}

TEST(ThrSemaphoreTest, ReleaseStopsAtTheMaximum) {
  THR_SEMAPHORE s{};
  ASSERT_EQ(sem_create(&s, 1, 2), 1);
  EXPECT_EQ(sem_release(&s), 1);
  EXPECT_EQ(sem_release(&s), 0);
  EXPECT_EQ(sem_wait(&s), 1);
  EXPECT_EQ(sem_wait(&s), 1);
  THR_WAITSET set{};
  waitset_clear(&set);
  waitset_add_sem(&set, &s);
  EXPECT_EQ(waitset_wait_timed(&set, 0, 10), THR_WAIT_TIMEOUT);
  EXPECT_EQ(thr_handle(&s), s.handle);
  sem_close(&s);
  EXPECT_EQ(sem_release(&s), 0);
  EXPECT_EQ(sem_wait(&s), 0);
}

TEST(ThrWaitSetTest, The65thAddIsRefused) {
  THR_EVENT e{};
  evt_create(&e, 0);
  THR_SEMAPHORE s{};
  sem_create(&s, 0, 1);
  THR_WAITSET set{};
  waitset_clear(&set);
  for (uint32_t i = 0; i < 64; ++i)
    ASSERT_EQ(i % 2 ? waitset_add_sem(&set, &s) : waitset_add_event(&set, &e), 1);
  EXPECT_EQ(waitset_add_event(&set, &e), 0);
  EXPECT_EQ(waitset_add_sem(&set, &s), 0);
  EXPECT_EQ(set.count, 64u);
  waitset_clear(&set);
  EXPECT_EQ(set.count, 0u);
  evt_close(&e);
  sem_close(&s);
}

TEST(ThrWaitSetTest, EmptySetReturnsMinusOneWithoutBlocking) {
  THR_WAITSET set{};
  waitset_clear(&set);
  EXPECT_EQ(waitset_wait(&set, 0), -1);
  EXPECT_EQ(waitset_wait(&set, 1), -1);
  // Records without an object are not added.
  THR_EVENT closed{};
  THR_THREAD none{};
  EXPECT_EQ(waitset_add_event(&set, &closed), 0);
  EXPECT_EQ(waitset_add_thread(&set, &none), 0);
  EXPECT_EQ(waitset_wait(&set, 0), -1);
}

TEST(ThrWaitSetTest, ReleasedSemaphoreGivesItsIndexAndLosesOneUnit) {
  THR_EVENT e{};
  THR_SEMAPHORE s{};
  evt_create(&e, 0);
  sem_create(&s, 0, 5);
  THR_WAITSET set{};
  waitset_clear(&set);
  waitset_add_event(&set, &e);
  waitset_add_sem(&set, &s);
  std::thread releaser([&] {
    std::this_thread::sleep_for(20ms);
    sem_release(&s);
    sem_release(&s);
  });
  EXPECT_EQ(waitset_wait(&set, 0), 1);
  releaser.join();
  // One unit left: the next wait takes it, the one after finds nothing.
  EXPECT_EQ(waitset_wait_timed(&set, 0, 0), 1);
  EXPECT_EQ(waitset_wait_timed(&set, 0, 0), THR_WAIT_TIMEOUT);
  evt_close(&e);
  sem_close(&s);
}

TEST(ThrWaitSetTest, WaitAnyPrefersTheFirstAddedWhenBothAreSignalled) {
  THR_EVENT e{};
  THR_SEMAPHORE s{};
  evt_create(&e, 1);
  sem_create(&s, 1, 1);
  THR_WAITSET set{};
  waitset_clear(&set);
  waitset_add_event(&set, &e);
  waitset_add_sem(&set, &s);
  EXPECT_EQ(waitset_wait(&set, 0), 0);
  EXPECT_EQ(waitset_wait(&set, 0), 1);
  evt_close(&e);
  sem_close(&s);
}

TEST(ThrWaitSetTest, WaitAllAcrossThreadsConsumesEverything) {
  THR_EVENT e{};
  THR_SEMAPHORE s{};
  evt_create(&e, 0);
  sem_create(&s, 0, 3);
  THR_WAITSET set{};
  waitset_clear(&set);
  waitset_add_event(&set, &e);
  waitset_add_sem(&set, &s);
  std::atomic<int> result{-99};
  std::thread waiter([&] { result = waitset_wait(&set, 1); });
  std::this_thread::sleep_for(20ms);
  std::thread([&] {
    sem_release(&s);
    sem_release(&s);
  }).join();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(result.load(), -99);  // the event is still missing
  std::thread([&] { evt_set(&e); }).join();
  waiter.join();
  EXPECT_EQ(result.load(), 0);
  // Exactly one unit of the semaphore and the event's signal were taken.
  THR_WAITSET only_sem{};
  waitset_clear(&only_sem);
  waitset_add_sem(&only_sem, &s);
  EXPECT_EQ(waitset_wait_timed(&only_sem, 0, 0), 0);
  EXPECT_EQ(waitset_wait_timed(&only_sem, 0, 0), THR_WAIT_TIMEOUT);
  THR_WAITSET only_evt{};
  waitset_clear(&only_evt);
  waitset_add_event(&only_evt, &e);
  EXPECT_EQ(waitset_wait_timed(&only_evt, 0, 0), THR_WAIT_TIMEOUT);
  evt_close(&e);
  sem_close(&s);
}

TEST(ThrWaitSetTest, WaitAllWithAnObjectAddedTwiceFails) {
  THR_SEMAPHORE s{};
  sem_create(&s, 2, 2);
  THR_WAITSET set{};
  waitset_clear(&set);
  waitset_add_sem(&set, &s);
  waitset_add_sem(&set, &s);
  EXPECT_EQ(waitset_wait(&set, 1), THR_WAIT_FAILED);
  EXPECT_EQ(waitset_wait(&set, 0), 0);  // any-of is fine
  sem_close(&s);
}

TEST(ThrWaitSetTest, ThreadsAreSignalledWhenTheyEnd) {
  THR_EVENT go{};
  evt_create(&go, 0);
  THR_START s1{&wait_event, &go};
  THR_START s2{&return_arg, nullptr};
  THR_THREAD slow{}, quick{};
  ASSERT_EQ(thr_create(&slow, &s1), 1);
  ASSERT_EQ(thr_create(&quick, &s2), 1);
  THR_WAITSET set{};
  waitset_clear(&set);
  EXPECT_EQ(waitset_add_thread(&set, &slow), 1);
  EXPECT_EQ(waitset_add_thread(&set, &quick), 1);
  EXPECT_EQ(waitset_wait(&set, 0), 1);
  EXPECT_EQ(waitset_wait_timed(&set, 1, 20), THR_WAIT_TIMEOUT);
  evt_set(&go);
  EXPECT_EQ(waitset_wait(&set, 1), 0);
  // A thread stays signalled: waiting does not consume its end.
  EXPECT_EQ(waitset_wait(&set, 0), 0);
  thr_close(&slow);
  thr_close(&quick);
  evt_close(&go);
}

TEST(ThrWaitSetTest, AStoppedThreadsSetWaitFails) {
  struct Ctx {
    THR_EVENT never{};
    std::atomic<int> result{-99};
  } ctx;
  evt_create(&ctx.never, 0);
  THR_START start{[](void* a) -> uint32_t {
                    auto* c = static_cast<Ctx*>(a);
                    THR_WAITSET set{};
                    waitset_clear(&set);
                    waitset_add_event(&set, &c->never);
                    c->result = waitset_wait(&set, 0);
                    return 0;
                  },
                  &ctx};
  THR_THREAD t{};
  ASSERT_EQ(thr_create(&t, &start), 1);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(thr_kill(&t, 0), 1);
  EXPECT_EQ(ctx.result.load(), THR_WAIT_FAILED);
  thr_close(&t);
  evt_close(&ctx.never);
}

}  // namespace
