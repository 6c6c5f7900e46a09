// TEMPORARY: without a select-list analysis there is nothing to adjust, so
// the description and the entries stay as the agent built them (the answer
// of a statement whose analysis did not cover the column).
#include "drv_jdbc/cursor_lib.h"

int SCR_AdjustColDesc(JdbcStmt*, uint32_t, JdbcColDesc*, uint16_t, uint16_t, uint16_t,
                      ATTR_ENTRY*) {
  return 0;
}
