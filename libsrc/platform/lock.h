// Locks: plain, recursive, and the gate (a lock that another thread may
// release, which the transaction coordinator's commit thread needs).
#ifndef QMR_PLATFORM_LOCK_H
#define QMR_PLATFORM_LOCK_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>  // kept: users of this header rely on it

namespace plat {

// A plain, non-recursive lock.
class Mutex {
 public:
  void lock() { m_.lock(); }
  bool try_lock() { return m_.try_lock(); }
  void unlock() { m_.unlock(); }

 private:
  std::mutex m_;
};

// A lock that its owner may take again; each lock() needs its unlock().
class RecursiveMutex {
 public:
  void lock() { m_.lock(); }
  bool try_lock() { return m_.try_lock(); }
  void unlock() { m_.unlock(); }

 private:
  std::recursive_mutex m_;
};

// A recursive lock built from a mutex, a condition variable and an owner, so
// that it can be released by a thread other than the one that took it.
// release_all() hands the gate back whatever the depth; it is what a foreign
// thread calls to end another thread's hold.
class Gate {
 public:
  void lock();
  bool try_lock();
  void unlock();
  // Releases every level held, from any thread. Returns the depth released.
  unsigned release_all();
  bool held_by_me() const;
  bool held() const;

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

template <class L>
using Guard = std::lock_guard<L>;

}  // namespace plat

#endif
