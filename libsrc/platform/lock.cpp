#include "platform/lock.h"

#include <atomic>

namespace plat {

uint64_t Gate::self() {
  static std::atomic<uint64_t> next{1};
  // Zero-initialised rather than dynamically: every call into the driver
  // asks, and a dynamic thread-local pays its initialisation check each time.
  thread_local uint64_t me = 0;
  if (me == 0) me = next.fetch_add(1, std::memory_order_relaxed);
  return me;
}

void Gate::take(uint64_t me) {
  if (depth_++ == 0) {
    owner_ = me;
    hold_ = ++lastHold_;
  }
}

void Gate::release_one() {
  if (--depth_ == 0) {
    owner_ = 0;
    hold_ = 0;
    // Every call takes and ends a hold: the signal's own cost is spent only
    // when a thread waits.
    if (waiters_ > 0) cv_.notify_one();
  }
}

void Gate::lock() { lock_hold(); }

Gate::Hold Gate::lock_hold() {
  std::unique_lock<std::mutex> g(m_);
  const uint64_t me = self();
  if (depth_ > 0 && owner_ != me) {
    ++waiters_;
    cv_.wait(g, [this] { return depth_ == 0; });
    --waiters_;
  }
  take(me);
  return hold_;
}

bool Gate::try_lock() {
  std::lock_guard<std::mutex> g(m_);
  const uint64_t me = self();
  if (depth_ > 0 && owner_ != me) return false;
  take(me);
  return true;
}

void Gate::unlock() {
  std::lock_guard<std::mutex> g(m_);
  if (depth_ > 0 && owner_ == self()) release_one();
}

void Gate::unlock(Hold hold) {
  std::lock_guard<std::mutex> g(m_);
  // A hold is its taker's alone (numbers are never reused), so the current
  // hold being the named one makes the caller its owner.
  if (depth_ > 0 && hold != 0 && hold_ == hold) release_one();
}

Gate::Hold Gate::hold() const {
  std::lock_guard<std::mutex> g(m_);
  return depth_ > 0 && owner_ == self() ? hold_ : 0;
}

unsigned Gate::release_all(Hold hold) {
  std::lock_guard<std::mutex> g(m_);
  if (depth_ == 0 || hold == 0 || hold != hold_) return 0;
  const unsigned d = depth_;
  depth_ = 1;
  release_one();
  return d;
}

bool Gate::held_by_me() const {
  std::lock_guard<std::mutex> g(m_);
  return depth_ > 0 && owner_ == self();
}

bool Gate::held() const {
  std::lock_guard<std::mutex> g(m_);
  return depth_ > 0;
}

}  // namespace plat
