// Names the analysis gives the dispatcher's process-wide locks, so that
// their order (driver/dispatch.h) can be written down. Only declared: used
// in annotations alone, they never need an object. A lock of a layer above
// (an enlistment's, the XA switch's) places itself against these names.
#ifndef QMR_DRIVER_LOCK_ORDER_H
#define QMR_DRIVER_LOCK_ORDER_H

#include "platform/lock.h"

namespace lock_order {
extern plat::RecursiveMutex serialLock;
// Held around a whole connect, which takes the call lock inside it (a
// connect that fails closes what it opened, and closing unregisters
// statements under the call lock); SQLBindCol takes it holding at most the
// connection's gate and the serialising lock.
extern plat::RecursiveMutex connectLock ACQUIRED_AFTER(serialLock);
extern plat::RecursiveMutex callLock ACQUIRED_AFTER(connectLock);
}  // namespace lock_order

// The dispatcher's process-wide call lock, which guards every connection's
// busy mark, and the connect lock, which guards the connection-string
// keyword table (driver/connstr.h).
plat::RecursiveMutex& DRV_CallLock() RETURN_CAPABILITY(lock_order::callLock);
plat::RecursiveMutex& DRV_ConnectLock() RETURN_CAPABILITY(lock_order::connectLock);

#endif
