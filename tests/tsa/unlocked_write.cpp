// Compiled by the thread-safety build's test, which expects exactly one
// error: the write in Unlocked. The other functions hold the lock the ways
// the driver does and must pass.
#include "platform/lock.h"

struct Counter {
  plat::RecursiveMutex lock;
  int count GUARDED_BY(lock) = 0;
};

void Add(Counter& c) REQUIRES(c.lock) { ++c.count; }

void Scoped(Counter& c) {
  plat::Guard<plat::RecursiveMutex> g(c.lock);
  Add(c);
}

// Reached through a function pointer: the caller's lock is asserted.
void Asserted(Counter& c) {
  c.lock.AssertHeld();
  ++c.count;
}

void Unlocked(Counter& c) {
  c.count = 1;  // the one error
}
