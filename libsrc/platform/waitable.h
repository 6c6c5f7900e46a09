// The waitable family: events, semaphores and threads share one process-wide
// mutex and condition variable, which makes waiting on any mix of them (and
// consuming all of a set atomically) straightforward to get right. The
// objects are few and signalled rarely, so the shared wake-up costs nothing
// that matters.
#ifndef QMR_PLATFORM_WAITABLE_H
#define QMR_PLATFORM_WAITABLE_H

#include <cstddef>
#include <cstdint>

#include "platform/lock.h"

namespace plat {

// Results of the wait functions besides an index (0 for the first object).
constexpr int kWaitEmpty = -1;    // nothing to wait for (empty set)
constexpr int kWaitFailed = -2;   // bad arguments, or the waiting thread was asked to stop
constexpr int kWaitTimeout = -3;  // the time limit passed first
// Wait without a time limit.
constexpr int64_t kInfinite = -1;
// Most objects one wait may cover.
constexpr size_t kMaxWaitObjects = 64;

namespace family {
// The one lock of the family: every object's state is guarded by it.
// Created on first use and never destroyed, so threads still running while
// the process exits never meet a destroyed lock.
Mutex& mutex();
}  // namespace family

class Waitable {
 public:
  Waitable() = default;
  Waitable(const Waitable&) = delete;
  Waitable& operator=(const Waitable&) = delete;

 protected:
  virtual ~Waitable() = default;

 private:
  virtual bool signalled_locked() const REQUIRES(family::mutex()) = 0;
  // Takes what one successful wait takes (an event's signal, a semaphore unit).
  virtual void consume_locked() REQUIRES(family::mutex()) = 0;

  friend struct WaitAccess;
};

// Waits until one of the n objects is signalled, consumes it and returns its
// index; the lowest index wins when several are signalled. n == 0 gives
// kWaitEmpty at once. Null objects or n > kMaxWaitObjects give kWaitFailed.
int wait_any(Waitable* const* objects, size_t n, int64_t timeout_ms = kInfinite);

// Waits until all n objects are signalled at the same moment and consumes
// them all in one step; returns 0. An object listed twice gives kWaitFailed
// (it could never be consumed twice in one step).
int wait_all(Waitable* const* objects, size_t n, int64_t timeout_ms = kInfinite);

// Single-object convenience: true when the object was signalled (and consumed).
bool wait_one(Waitable* object, int64_t timeout_ms = kInfinite);

}  // namespace plat

#endif
