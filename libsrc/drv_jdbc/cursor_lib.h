// The scrollable cursor library's services that the agent calls. The agent
// owns this interface so that it builds without the driver core; until the
// cursor library lands, the core's placeholders define both calls.
#ifndef QMR_DRV_JDBC_CURSOR_LIB_H
#define QMR_DRV_JDBC_CURSOR_LIB_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "util/colset.h"
#include "util/copyout.h"

struct JdbcStmt;

// The column adjustment from the analysed select list. The agent's column
// attributes call it for every result column when the statement asks for it.
// Adjusts column `column` (1-based): the texts of desc named by mask and the
// column's attribute entries (attrs[k * stride + column], k < count). 0.
int SCR_AdjustColDesc(JdbcStmt* stmt, uint32_t column, JdbcColDesc* desc, uint16_t mask,
                      uint16_t stride, uint16_t count, ATTR_ENTRY* attrs);

// The SQLGetInfo pass-through: asks the GetInfo slot of the record's table
// for one SQLGetInfo type of an agent connection. Numeric types (8, 26, 28,
// 43, 44, 72, 78, 79, 80, 82, 83, 93, 99) need a 4-byte buffer (21 for a
// shorter one) and set *length to 4; text types (11, 17, 29, 47) are copied
// whole, or cut to size bytes without a terminator with result 19. 27 for
// any other type; the agent's non-zero result as it is.
uint32_t SCR_AgentInfo(const DRV_Agent* agent, uint32_t conn, uint16_t type, void* value,
                       int16_t size, uint16_t* length);

#endif
