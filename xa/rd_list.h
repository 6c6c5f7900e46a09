// The process's live dispensers, and the driver file name they register.
#ifndef QMR_XA_RD_LIST_H
#define QMR_XA_RD_LIST_H

#include <string>

#include "platform/lock.h"

class COdbcResourceDispenser;

// Guards the list and the file name; taken after a dispenser's own lock
// or with no lock held, never before a dispenser's lock.
plat::Mutex& RD_ListLock();
std::string& RD_DriverFileName();  // under RD_ListLock
void RD_ListAdd(COdbcResourceDispenser* d);
// False when the dispenser was no longer listed (RD_ReleaseAll took it).
bool RD_ListRemove(COdbcResourceDispenser* d);

#endif
