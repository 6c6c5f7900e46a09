// TEMPORARY: the cursor library's SQLGetInfo pass-through, until the cursor
// library is built. Callers include this header for it; the cursor library's
// own header takes its place then.
#ifndef QMR_DRIVER_PENDING_SCR_AGENTINFO_PENDING_H
#define QMR_DRIVER_PENDING_SCR_AGENTINFO_PENDING_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"

// Asks the GetInfo slot of the record's table for one SQLGetInfo type of an
// agent connection. Numeric types (8, 26, 28, 43, 44, 72, 78, 79, 80, 82, 83,
// 93, 99) need a 4-byte buffer (21 for a shorter one) and set *length to 4;
// text types (11, 17, 29, 47) are copied whole, or cut to size bytes without
// a terminator with result 19. 27 for any other type; the agent's non-zero
// result as it is.
uint32_t SCR_AgentInfo(const DRV_Agent* agent, uint32_t conn, uint16_t type, void* value,
                       int16_t size, uint16_t* length);

#endif
