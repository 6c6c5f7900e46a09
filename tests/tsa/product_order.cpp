// Takes two of the dispatcher's locks against the order their declarations
// state (CASE picks the pair); the analysis must reject the second.
#include "driver/lock_order.h"

plat::RecursiveMutex& DRV_SerialLock() RETURN_CAPABILITY(lock_order::serialLock);

using Hold = plat::Guard<plat::RecursiveMutex>;

void Inverted() {
#if CASE == 1
  Hold first(DRV_CallLock());
  Hold second(DRV_ConnectLock());
#elif CASE == 2
  Hold first(DRV_ConnectLock());
  Hold second(DRV_SerialLock());
#else
  Hold first(DRV_CallLock());  // with no connect lock taken in this file
  Hold second(DRV_SerialLock());
#endif
}
