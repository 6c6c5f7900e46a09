// Locks: plain, recursive, and the gate (a lock that another thread may
// release, which the transaction coordinator's commit thread needs).
#ifndef QMR_PLATFORM_LOCK_H
#define QMR_PLATFORM_LOCK_H

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/thread_annotations.h"

namespace plat {

// A plain, non-recursive lock.
class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() {
    m_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  bool try_lock() TRY_ACQUIRE(true) {
    if (!m_.try_lock()) return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  void unlock() RELEASE() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    m_.unlock();
  }
  // For a function the analysis cannot see the lock held in (it is reached
  // through a function pointer or a handle lookup): debug builds stop when
  // the calling thread does not hold it.
  void AssertHeld() const ASSERT_CAPABILITY(this) {
    assert(owner_.load(std::memory_order_relaxed) == std::this_thread::get_id());
  }

 private:
  std::mutex m_;
  // Only the holder writes it, so a thread reading its own id here holds
  // the lock. Kept in every build type, so the layout does not depend on
  // NDEBUG.
  std::atomic<std::thread::id> owner_{};
};

// A lock that its owner may take again; each lock() needs its unlock().
// The analysis knows no depth: a function that takes the lock while its
// caller may hold it already declares neither REQUIRES nor EXCLUDES.
class CAPABILITY("mutex") RecursiveMutex {
 public:
  void lock() ACQUIRE() {
    m_.lock();
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  bool try_lock() TRY_ACQUIRE(true) {
    if (!m_.try_lock()) return false;
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  void unlock() RELEASE() {
    if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
    m_.unlock();
  }
  // As Mutex::AssertHeld.
  void AssertHeld() const ASSERT_CAPABILITY(this) {
    assert(owner_.load(std::memory_order_relaxed) == std::this_thread::get_id());
  }
  // Held by the caller, and only once: a condition-variable wait lets go of
  // one level, so a wait at depth two would never end. The analysis counts
  // no levels; debug builds check.
  void AssertHeldOnce() const ASSERT_CAPABILITY(this) {
    assert(owner_.load(std::memory_order_relaxed) == std::this_thread::get_id() &&
           depth_ == 1);
  }

 private:
  std::recursive_mutex m_;
  unsigned depth_ = 0;  // written by the holder only
  std::atomic<std::thread::id> owner_{};
};

// A recursive lock built from a mutex, a condition variable and an owner, so
// that it can be released by a thread other than the one that took it.
// release_all() hands the gate back whatever the depth; it is what a foreign
// thread calls to end another thread's hold. The analysis follows lock() and
// unlock() on one thread; a foreign release it cannot express, so
// release_all() carries no annotation and a holder that must still own the
// gate says so with AssertHeld().
class CAPABILITY("gate") Gate {
 public:
  void lock() ACQUIRE();
  bool try_lock() TRY_ACQUIRE(true);
  void unlock() RELEASE();
  // Releases every level held, from any thread. Returns the depth released.
  unsigned release_all();
  bool held_by_me() const;
  bool held() const;
  // As Mutex::AssertHeld.
  void AssertHeld() const ASSERT_CAPABILITY(this) { assert(held_by_me()); }

 private:
  // The owner is a number never given to two threads in the life of the
  // process: a thread id (pthread_t) is reused once its thread ended, and a
  // gate left held by an ended thread must not let a newcomer in as owner.
  static uint64_t self();

  mutable std::mutex m_;
  std::condition_variable cv_;
  uint64_t owner_ = 0;
  unsigned depth_ = 0;
};

// Holds a lock for a scope. std::lock_guard would do the same, but the
// analysis cannot see it take the lock (libstdc++ carries no annotations).
template <class L>
class SCOPED_CAPABILITY Guard {
 public:
  explicit Guard(L& lock) ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
  ~Guard() RELEASE() { lock_.unlock(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  L& lock_;
};

// A holder that can let go and take the lock again within its scope, as a
// condition variable's wait does (std::condition_variable_any accepts it).
template <class L>
class SCOPED_CAPABILITY UniqueLock {
 public:
  explicit UniqueLock(L& lock) ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
  ~UniqueLock() RELEASE() {
    if (owns_) lock_.unlock();
  }
  void lock() ACQUIRE() {
    lock_.lock();
    owns_ = true;
  }
  void unlock() RELEASE() {
    owns_ = false;
    lock_.unlock();
  }
  UniqueLock(const UniqueLock&) = delete;
  UniqueLock& operator=(const UniqueLock&) = delete;

 private:
  L& lock_;
  bool owns_ = true;
};

}  // namespace plat

#endif
