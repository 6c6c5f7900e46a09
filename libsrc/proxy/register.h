// The agent's registration with its layers in front of it.
#ifndef QMR_PROXY_REGISTER_H
#define QMR_PROXY_REGISTER_H

#include "drv_jdbc/drv_agent.h"

// Fills the record with type 2 and the JDBC table, then lets the cursor
// library (SCR_Init) and the worker-thread proxy (PRX_Init) put their layers
// in front. Returns 0. It stands with the topmost of those layers, since
// the agent itself knows nothing above it.
int DRV_RegisterAgent(DRV_Agent* agent);

#endif
