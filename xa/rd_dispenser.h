// Enlistment of a connection in a coordinator's transaction: what the
// driver core reaches through the layer table (driver/xa_layer.h). A
// dispenser is made per enlistment and held by the connection; the
// coordinator drives the two-phase commit through its callback object.
#ifndef QMR_XA_RD_DISPENSER_H
#define QMR_XA_RD_DISPENSER_H

#include <cstdint>

#include "driver/xa_layer.h"
#include "drv_jdbc/drv_agent.h"
#include "platform/lock.h"

// This layer's table for the core, which the driver library installs.
const DRV_XaLayer* XA_CoreLayer();

// Starts the subsystem once (task allocator, traces, the switch): 0, or -1
// when it cannot run (the next call tries again).
int XA_Startup();
// At process detach: every dispenser released, the subsystem stopped.
void XA_Cleanup();
// At process detach: the dispensers and then the switch shut down.
void XA_Shutdown();

// The dispenser of one enlistment (one reference, the connection's), or
// null. xaData and callLock are the connection's own; connectText is the
// "DSN=...;UID=...;PWD=...;" text the coordinator opens for recovery.
void* RD_Create(void* transaction, uint32_t agentEnv, uint32_t agentConn, DRV_Agent* agent,
                void** xaData, plat::Gate* callLock, const char* connectText);
// 0 when the resource manager was registered and the XA side opened
// (RD_Connect), or the branch started and enlisted (RD_Enlist); -1 otherwise.
int RD_Connect(void* resource);
int RD_Enlist(void* resource);
// The connection lets go: whatever the dispenser did on the connection is
// undone (a branch not prepared is ended as failed, the XA side closed), and
// from then on it never touches the connection again, even while the
// coordinator still holds references. The count left, -1 for null.
int32_t RD_Release(void* resource);
// True when the coordinator went down while the branch was in doubt: the
// enlistment is over and the connection may enlist anew.
bool RD_Lost(void* resource);
void RD_ReleaseAll();

#endif
