// The process's live dispensers, and the driver file name they register.
#ifndef QMR_XA_RD_LIST_H
#define QMR_XA_RD_LIST_H

#include <string>

#include "platform/lock.h"

class COdbcResourceDispenser;

// The name the list's lock goes by in the order (xa/rd_object.h); only
// declared.
namespace lock_order {
extern plat::Mutex enlistmentListLock;
}  // namespace lock_order

// Guards the list and the file name; taken after a dispenser's own lock
// or with no lock held, never before a dispenser's lock. Nothing is taken
// under it.
plat::Mutex& RD_ListLock() RETURN_CAPABILITY(lock_order::enlistmentListLock);
std::string& RD_DriverFileName();  // under RD_ListLock
void RD_ListAdd(COdbcResourceDispenser* d);
// False when the dispenser was no longer listed (RD_ReleaseAll took it).
bool RD_ListRemove(COdbcResourceDispenser* d);

#endif
