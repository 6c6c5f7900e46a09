// What the core asks of the distributed-transaction layer above it (the XA
// switch and the enlistment with a coordinator, under xa/). That layer links
// the core, so the core cannot name it: the layer lends its operations
// through this table, installed by the driver library when it is loaded
// (shlib/build_entry.cpp). Until one is installed, as in a program that
// links the core alone, the layer is absent: a connection cannot enlist and
// detach has nothing to stop.
#ifndef QMR_DRIVER_XA_LAYER_H
#define QMR_DRIVER_XA_LAYER_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "platform/lock.h"

struct DRV_XaLayer {
  // Starts the layer once: 0, or -1 when it cannot run (the next call tries
  // again).
  int (*startup)();
  // At process detach: every enlistment released, the layer stopped.
  void (*shutdown)();
  // The enlistment of a connection in the coordinator's transaction: one
  // reference, the connection's, or null. xaData and callLock are the
  // connection's own; connectText is the "DSN=...;UID=...;PWD=...;" text
  // the coordinator opens for its recovery.
  void* (*create)(void* transaction, uint32_t agentEnv, uint32_t agentConn, DRV_Agent* agent,
                  void** xaData, plat::Gate* callLock, const char* connectText);
  // 0 when the resource manager was registered and the XA side opened
  // (connect), or the branch started and enlisted (enlist); -1 otherwise.
  int (*connect)(void* resource);
  int (*enlist)(void* resource);
  // The connection lets go of the enlistment: whatever it did on the
  // connection is undone, and it never touches the connection again. The
  // count left, -1 for null.
  int32_t (*release)(void* resource);
  // True when the coordinator went down while the branch was in doubt: the
  // enlistment is over and the connection may enlist anew.
  bool (*lost)(void* resource);
};

// Installs the layer (null: absent again); every member must be set.
void DRV_SetXaLayer(const DRV_XaLayer* layer);
// The installed layer, or the absent one.
const DRV_XaLayer& DRV_GetXaLayer();

#endif
