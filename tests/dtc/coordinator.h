// What the tests ask of the stand-in coordinator (libxolehlp.so) beyond the
// coordinator's published interfaces.
#ifndef QMR_TESTS_DTC_COORDINATOR_H
#define QMR_TESTS_DTC_COORDINATOR_H

#include "xa/dtc.h"

extern "C" {
// A new transaction with one reference, the caller's. Its Commit runs the
// two phases on the coordinator's own thread: S_OK when every resource
// committed, XACT_E_ABORTED when a prepare failed (every resource is then
// told to abort); Abort aborts every resource.
ITransaction* Coord_Begin();
// The coordinator goes down after the next Commit's first phase: every
// resource is told TMDown and Commit answers XACT_E_CONNECTION_DOWN.
void Coord_GoDownAfterPrepare(ITransaction* t);
// Recovery after the coordinator's restart, on its own thread: for each
// resource manager the transaction was enlisted with, the driver's switch
// (taken with GetXaSwitch when the manager was registered) is opened with
// the registered open string; xa_recover lists the branches in doubt, and
// the transaction's branch is committed (commit != 0) or rolled back. The
// number of the transaction's branches found, -1 when a switch call failed.
int Coord_Recover(ITransaction* t, int commit);
}

#endif
