// The worker-thread proxy: the layer in front of the cursor library's table
// that runs a connection's agent work on the connection's worker thread
// while its XA side is open. PRX_Init installs it and lends the agent
// PRX_SetEnabled as the agent's worker switch.
#ifndef QMR_PROXY_H
#define QMR_PROXY_H

#include <atomic>
#include <cstdint>

#include "drv_jdbc/drv_agent.h"

class WRK_Thread;

struct PRX_WORKER {
  uint32_t useThread = 0;  // the connection has a worker thread
  // On while the agent's XA side of the connection is open. Written by the
  // agent's XA open and close on the worker, read by callers' threads.
  std::atomic<uint32_t> enabled{0};
  uint32_t keep = 0;  // the worker survives a later XA open
  WRK_Thread* thread = nullptr;
};

// Puts the proxy's table in front of the record's, which must carry the
// chain the first registration built (the proxy's table is made once, from
// it); a record with another chain is left as it is. The worker switch is
// lent to the agent either way. 0, or ERR_NOT_CAPABLE for a record with no
// type or no table.
int PRX_Init(DRV_Agent* agent);

// The table the proxy forwards to (the one registered before it), null
// before the first installation.
const DRV_OpTable* PRX_SavedTable();

// Whether the connection's XA side is open (on 1, off 0), which is when the
// proxy runs the connection's statement operations on the worker thread. 0, or
// ERR_INVALID_ARGUMENT for a null worker. PRX_IsEnabled: whether it is on (0
// for a null worker).
int PRX_SetEnabled(void* worker, uint32_t on);
uint32_t PRX_IsEnabled(const void* worker);

#endif
