// Threads. A thread is a waitable that becomes signalled when it ends.
//
// There is no forced termination: a thread is asked to stop
// (request_stop()), which it observes through stop_requested(); every wait
// of the waitable family that the thread makes from then on fails at once
// (kWaitFailed), so a thread blocked on events, semaphores or other threads
// wakes up and can return.
#ifndef QMR_PLATFORM_THREAD_H
#define QMR_PLATFORM_THREAD_H

#include <atomic>
#include <cstdint>

#include "platform/waitable.h"

namespace plat {

class Thread;
// Marks a thread ended (used by the thread start-up only).
struct ThreadEnd {
  static void mark(Thread* t, bool returned, uint32_t code);
};

class Thread final : public Waitable {
 public:
  using Func = uint32_t (*)(void* arg);
  // The exit code reported while the thread runs.
  static constexpr uint32_t kStillActive = 259;

  // Starts func(arg) on a new thread with the default stack size. Returns
  // null when the thread cannot be started. The returned object stays valid
  // until close(), even after the thread has ended.
  static Thread* start(Func func, void* arg);
  // The object of the calling thread, or null when it was not started here.
  static Thread* current();
  // True when the calling thread was started here and has been asked to stop.
  static bool stop_requested_here();
  // Names the calling thread for the system's tools (at most 15 bytes kept).
  static void name_here(const char* name);

  // Gives up the caller's hold; the thread runs on undisturbed.
  void close();

  // The kernel's id of the thread. Written once, under the family's lock,
  // before start() returns, and never again: read without the lock.
  uint32_t id() const NO_THREAD_SAFETY_ANALYSIS { return tid_; }
  bool running() const;
  // The function's result once ended, kStillActive before.
  uint32_t exit_code() const;
  // Waits for the end. Fails (false) when called by the thread itself,
  // which could never see its own end.
  bool join(int64_t timeout_ms = kInfinite);

  // Asks the thread to stop. With an exit code, that code replaces the
  // function's result when the thread ends. Returns false when the thread
  // had already ended (nothing is changed then).
  bool request_stop();
  bool request_stop(uint32_t exit_code);
  bool stop_requested() const;

 private:
  Thread(Func func, void* arg) : func_(func), arg_(arg) {}
  ~Thread() override = default;
  static void* trampoline(void* self);
  void unref();
  bool request_stop_impl(bool override_code, uint32_t code);

  bool signalled_locked() const override REQUIRES(family::mutex()) { return ended_; }
  void consume_locked() override REQUIRES(family::mutex()) {}

  friend struct WaitAccess;
  friend struct ThreadEnd;

  Func func_;
  void* arg_;
  uint32_t tid_ GUARDED_BY(family::mutex()) = 0;
  bool ended_ GUARDED_BY(family::mutex()) = false;
  bool stop_ GUARDED_BY(family::mutex()) = false;
  bool override_code_ GUARDED_BY(family::mutex()) = false;
  uint32_t exit_code_ GUARDED_BY(family::mutex()) = kStillActive;
  // The creator's hold and the running thread's hold.
  std::atomic<int> refs_{2};
};

}  // namespace plat

#endif
