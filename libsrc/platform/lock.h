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

// What the call lock's owner runs on every call, kept in the caller.
#define QMR_LOCK_INLINE inline __attribute__((always_inline))

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
//
// A biased lock (constructed with kBiased) belongs to the first thread that
// takes it for as long as no other thread asks for it: that thread takes
// and releases it with plain stores, no atomic read-modify-write and no
// mutex, which is what a lock taken on every call of a single-threaded
// application should cost. The first other thread that wants it revokes
// the bias for good: it waits until the owner's current hold (if any) ends,
// and from then on every thread takes the mutex. The owner and the revoker
// meet as in Dekker's algorithm: the owner marks its hold and then reads
// the revocation, the revoker writes the revocation and then reads the
// mark. The owner's half costs only a compiler barrier where the kernel
// offers a process-wide barrier (membarrier) for the revoker's half, else a
// sequentially consistent store and load.
class CAPABILITY("mutex") RecursiveMutex {
 public:
  struct BiasedTag {};
  static constexpr BiasedTag kBiased{};

  RecursiveMutex() = default;
  explicit RecursiveMutex(BiasedTag);

  // A biased lock's own thread takes and releases it inline, with no call
  // at all; every other way goes through a call.
  QMR_LOCK_INLINE void lock() ACQUIRE() {
    if (biasable_) {
      lockBiasable();
      return;
    }
    lockPlain();
  }
  bool try_lock() TRY_ACQUIRE(true) {
    if (biasable_) return tryLockBiasable();
    if (!m_.try_lock()) return false;
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  QMR_LOCK_INLINE void unlock() RELEASE() {
    if (biasable_) {
      unlockBiasable();
      return;
    }
    unlockPlain();
  }
  // As Mutex::AssertHeld.
  void AssertHeld() const ASSERT_CAPABILITY(this) {
    assert(owner_.load(std::memory_order_relaxed) == std::this_thread::get_id());
  }
  // Held by the caller, and only once: a condition-variable wait lets go of
  // one level, so a wait at depth two would never end. The analysis counts
  // no levels; debug builds check.
  void AssertHeldOnce() const ASSERT_CAPABILITY(this) {
    assert(owner_.load(std::memory_order_relaxed) == std::this_thread::get_id() && depth_ == 1);
  }
  // Whether the bias has been revoked (for tests): every thread takes the
  // mutex now.
  bool biasRevoked() const { return revokeDone_.load(std::memory_order_acquire); }

 private:
  // A biasable lock's halves. The holder's own state (depth_, biasedHold_)
  // is read only by a thread that found itself in owner_.
  void lockPlain();
  void unlockPlain();
  QMR_LOCK_INLINE void lockBiasable() {
    const std::thread::id me = std::this_thread::get_id();
    if (owner_.load(std::memory_order_relaxed) == me) {
      ++depth_;
      return;
    }
    if (biasedTo_.load(std::memory_order_relaxed) == me && enterBiased()) {
      beginHold(me, true);
      return;
    }
    lockSlow(me);
  }
  bool tryLockBiasable();
  QMR_LOCK_INLINE void unlockBiasable() {
    if (--depth_ > 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    if (biasedHold_) {
      biasedHold_ = false;
      inBiasedHold_.store(false, std::memory_order_release);
      return;
    }
    m_.unlock();
  }
  // The owner's half of the meeting: true when its hold may begin biased.
  // Without the process-wide barrier the mark and the read are sequentially
  // consistent, which orders them against the revoker's own pair.
  QMR_LOCK_INLINE bool enterBiased() {
    if (revoked_.load(std::memory_order_relaxed)) return false;
    if (asymmetric_) {
      inBiasedHold_.store(true, std::memory_order_relaxed);
      std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
      inBiasedHold_.store(true, std::memory_order_seq_cst);
    }
    if (!revoked_.load(asymmetric_ ? std::memory_order_relaxed : std::memory_order_seq_cst))
      return true;
    inBiasedHold_.store(false, std::memory_order_release);
    return false;
  }
  void beginHold(std::thread::id me, bool biased) {
    owner_.store(me, std::memory_order_relaxed);
    depth_ = 1;
    biasedHold_ = biased;
  }
  void lockSlow(std::thread::id me);
  // The revoker's half: true once no biased hold can run any more; with
  // `wait` false it gives up instead of waiting for the owner's hold.
  bool revoke(bool wait);

  std::recursive_mutex m_;
  unsigned depth_ = 0;  // written by the holder only
  std::atomic<std::thread::id> owner_{};
  const bool biasable_ = false;
  bool asymmetric_ = false;  // the revoker's barrier is the process-wide one
  bool biasedHold_ = false;  // the holder's current hold is a biased one
  std::atomic<std::thread::id> biasedTo_{};
  std::atomic<bool> inBiasedHold_{false};
  std::atomic<bool> revoked_{false};
  std::atomic<bool> revokeDone_{false};
};

// A recursive lock built from a mutex, a condition variable and an owner, so
// that it can be released by a thread other than the one that took it.
//
// Every time the free gate is taken it starts a new hold, named by a number
// never used twice. A release names the hold it ends: the transaction
// coordinator's thread ends another thread's hold with release_all(hold),
// and that thread's own late unlock() then finds the hold gone and does
// nothing, even when the gate has been taken again since (by anyone, itself
// included when it unlocks through Guard, which remembers its hold). A
// release naming a hold that already ended is ignored the same way.
//
// The analysis follows lock() and unlock() on one thread; a foreign release
// it cannot express, so release_all() carries no annotation and a holder
// that must still own the gate says so with AssertHeld().
class CAPABILITY("gate") Gate {
 public:
  using Hold = uint64_t;  // 0: no hold

  void lock() ACQUIRE();
  // lock(), answering the caller's hold: what Guard remembers, taken under
  // the one acquisition instead of a second.
  Hold lock_hold() ACQUIRE();
  bool try_lock() TRY_ACQUIRE(true);
  // Lets go of one level of the caller's own hold; nothing when the caller
  // does not hold the gate.
  void unlock() RELEASE();
  // Lets go of one level of the named hold while it lasts; the caller is
  // the thread that took it (as Guard is).
  void unlock(Hold hold) RELEASE();
  // The caller's hold, 0 when the caller does not hold the gate.
  Hold hold() const;
  // Ends the named hold whatever its depth, from any thread. Returns the
  // depth released: 0 when that hold had already ended.
  unsigned release_all(Hold hold);
  bool held_by_me() const;
  bool held() const;
  // As Mutex::AssertHeld.
  void AssertHeld() const ASSERT_CAPABILITY(this) { assert(held_by_me()); }

 private:
  // The owner is a number never given to two threads in the life of the
  // process: a thread id (pthread_t) is reused once its thread ended, and a
  // gate left held by an ended thread must not let a newcomer in as owner.
  static uint64_t self();
  void take(uint64_t me);  // m_ held, gate free or the caller's
  void release_one();      // m_ held, depth_ > 0

  mutable std::mutex m_;
  std::condition_variable cv_;
  uint64_t owner_ = 0;
  unsigned depth_ = 0;
  unsigned waiters_ = 0;  // threads in lock() waiting for the gate to be free
  Hold hold_ = 0;         // the current hold while depth_ > 0
  Hold lastHold_ = 0;     // the last hold begun
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

// The gate's holder remembers its hold, so that its release after a foreign
// release_all() can never end a later hold.
template <>
class SCOPED_CAPABILITY Guard<Gate> {
 public:
  explicit Guard(Gate& gate) ACQUIRE(gate) : gate_(gate), hold_(gate_.lock_hold()) {}
  ~Guard() RELEASE() { gate_.unlock(hold_); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Gate& gate_;
  Gate::Hold hold_;
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
