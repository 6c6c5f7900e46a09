#include "platform/waitable.h"

#include <chrono>

#include "platform/thread.h"
#include "platform/waitable_family.h"

namespace plat {

namespace family {

Mutex& mutex() {
  static Mutex* m = new Mutex;
  return *m;
}

std::condition_variable_any& cond() {
  static std::condition_variable_any* c = new std::condition_variable_any;
  return *c;
}

}  // namespace family

struct WaitAccess {
  static bool signalled(const Waitable* w) REQUIRES(family::mutex()) {
    return w->signalled_locked();
  }
  static void consume(Waitable* w) REQUIRES(family::mutex()) { w->consume_locked(); }
  static bool interrupted() REQUIRES(family::mutex()) {
    const Thread* me = Thread::current();
    return me && me->stop_;
  }
};

namespace {

using Clock = std::chrono::steady_clock;

bool valid_set(Waitable* const* objects, size_t n) {
  if (n > kMaxWaitObjects || !objects) return false;
  for (size_t i = 0; i < n; ++i)
    if (!objects[i]) return false;
  return true;
}

// Runs try_take under the family lock until it yields a result, the waiting
// thread is asked to stop, or the deadline passes.
template <class TryTake>
int wait_loop(int64_t timeout_ms, TryTake try_take) {
  const bool timed = timeout_ms >= 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timed ? timeout_ms : 0);
  UniqueLock<Mutex> g(family::mutex());
  for (;;) {
    if (WaitAccess::interrupted()) return kWaitFailed;
    const int r = try_take();
    if (r >= 0) return r;
    if (!timed) {
      family::cond().wait(g);
    } else if (family::cond().wait_until(g, deadline) == std::cv_status::timeout) {
      // One last look: the signal may have come with the timeout.
      if (WaitAccess::interrupted()) return kWaitFailed;
      const int last = try_take();
      return last >= 0 ? last : kWaitTimeout;
    }
  }
}

}  // namespace

int wait_any(Waitable* const* objects, size_t n, int64_t timeout_ms) {
  if (n == 0) return kWaitEmpty;
  if (!valid_set(objects, n)) return kWaitFailed;
  return wait_loop(timeout_ms, [&]() -> int {
    // The analysis sees a lambda apart from the loop that holds the lock.
    family::mutex().AssertHeld();
    for (size_t i = 0; i < n; ++i) {
      if (WaitAccess::signalled(objects[i])) {
        WaitAccess::consume(objects[i]);
        return static_cast<int>(i);
      }
    }
    return -1;
  });
}

int wait_all(Waitable* const* objects, size_t n, int64_t timeout_ms) {
  if (n == 0) return kWaitEmpty;
  if (!valid_set(objects, n)) return kWaitFailed;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j)
      if (objects[i] == objects[j]) return kWaitFailed;
  return wait_loop(timeout_ms, [&]() -> int {
    family::mutex().AssertHeld();
    for (size_t i = 0; i < n; ++i)
      if (!WaitAccess::signalled(objects[i])) return -1;
    for (size_t i = 0; i < n; ++i) WaitAccess::consume(objects[i]);
    return 0;
  });
}

bool wait_one(Waitable* object, int64_t timeout_ms) {
  return object && wait_any(&object, 1, timeout_ms) == 0;
}

}  // namespace plat
