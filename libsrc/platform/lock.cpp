#include "platform/lock.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace plat {

namespace {

// Whether this process may use the kernel's expedited process-wide memory
// barrier; asked once. ThreadSanitizer models neither that barrier nor
// fences, so under it the lock's two halves use sequentially consistent
// operations alone, which it follows.
bool AsymmetricBarrierAvailable() {
#ifdef __SANITIZE_THREAD__
  return false;
#else
  static const bool ok =
      syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  return ok;
#endif
}

// A barrier on every running thread of the process, so that the owner of a
// biased lock needs none of its own. A child of fork() may have lost the
// registration; its threads are gone with it, and the fence is enough then.
void HeavyBarrier(bool asymmetric) {
  if (!asymmetric) return;  // both halves are sequentially consistent then
  if (syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0) return;
#ifndef __SANITIZE_THREAD__
  std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
}

}  // namespace

RecursiveMutex::RecursiveMutex(BiasedTag)
    : biasable_(true), asymmetric_(AsymmetricBarrierAvailable()) {}

void RecursiveMutex::lockPlain() {
  m_.lock();
  if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void RecursiveMutex::unlockPlain() {
  if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
  m_.unlock();
}

void RecursiveMutex::lockSlow(std::thread::id me) {
  std::thread::id none{};
  if (biasedTo_.load(std::memory_order_relaxed) == none &&
      biasedTo_.compare_exchange_strong(none, me) && enterBiased()) {
    beginHold(me, true);
    return;
  }
  // The owner itself finds the bias revoked and holds nothing biased.
  if (biasedTo_.load(std::memory_order_relaxed) != me) revoke(true);
  m_.lock();
  beginHold(me, false);
}

bool RecursiveMutex::tryLockBiasable() {
  const std::thread::id me = std::this_thread::get_id();
  if (owner_.load(std::memory_order_relaxed) == me) {
    ++depth_;
    return true;
  }
  std::thread::id none{};
  if (biasedTo_.load(std::memory_order_relaxed) == none)
    biasedTo_.compare_exchange_strong(none, me);
  if (biasedTo_.load(std::memory_order_relaxed) == me) {
    if (enterBiased()) {
      beginHold(me, true);
      return true;
    }
  } else if (!revoke(false)) {
    return false;
  }
  if (!m_.try_lock()) return false;
  beginHold(me, false);
  return true;
}

bool RecursiveMutex::revoke(bool wait) {
  if (revokeDone_.load(std::memory_order_acquire)) return true;
  revoked_.store(true, std::memory_order_seq_cst);
  // Every revoker passes the barrier itself: one that only saw another's
  // revocation cannot know the owner saw it too.
  HeavyBarrier(asymmetric_);
  for (unsigned spins = 0; inBiasedHold_.load(std::memory_order_seq_cst); ++spins) {
    if (!wait) return false;
    if (spins < 64)
      std::this_thread::yield();
    else
      std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  revokeDone_.store(true, std::memory_order_release);
  return true;
}

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
