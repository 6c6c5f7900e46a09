// TEMPORARY: the cursor library's column adjustment from the analysed
// select list, until the statement analysis lands. The agent's column
// attributes call it for every result column when the statement asks for it.
#ifndef QMR_DRIVER_PENDING_SCR_ADJUST_PENDING_H
#define QMR_DRIVER_PENDING_SCR_ADJUST_PENDING_H

#include <cstdint>

#include "util/colset.h"
#include "util/copyout.h"

struct JdbcStmt;

// Adjusts column `column` (1-based): the texts of desc named by mask and the
// column's attribute entries (attrs[k * stride + column], k < count). 0.
int SCR_AdjustColDesc(JdbcStmt* stmt, uint32_t column, JdbcColDesc* desc, uint16_t mask,
                      uint16_t stride, uint16_t count, ATTR_ENTRY* attrs);

#endif
