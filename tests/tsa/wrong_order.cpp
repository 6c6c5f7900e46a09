// The test expects exactly one error: the inverted order in Inverted.
#include "platform/lock.h"

extern plat::RecursiveMutex outerName;
extern plat::RecursiveMutex innerName ACQUIRED_AFTER(outerName);
plat::RecursiveMutex& Inner() RETURN_CAPABILITY(innerName);  // as DRV_CallLock()

void Inverted() {
  plat::Guard<plat::RecursiveMutex> inner(Inner());
  plat::Guard<plat::RecursiveMutex> outer(outerName);  // the one error
}
