// TEMPORARY: the core's cursor-state calls without the cursor library; the
// state holds options and a position only, no rowset.
#include "driver/pending/scr_cursor_pending.h"

int SCR_CursorStateInit(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                        void* owner) {
  *cur = SCR_CURSOR{};
  cur->rowsetSize = 1;
  cur->rowCount = -1;
  cur->concurrency = 1;
  cur->retrieveData = 1;
  cur->connHandle = conn;
  cur->stmtHandle = stmt;
  cur->agent = agent;
  cur->owner = owner;
  return 0;
}

int SCR_CursorStateInitFromStmt(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                                void* owner) {
  // The connection carries no default cursor state yet, so a statement
  // starts from the library's defaults.
  return SCR_CursorStateInit(cur, stmt, conn, agent, owner);
}

int SCR_SetRowPos(SCR_CURSOR* cur, int32_t p) {
  if (p == 0 || p == -3) {
    cur->position = p;
    cur->rowsetStart = p;
    return 0;
  }
  if (p == -2) {
    cur->position = p;
    return 0;
  }
  if (p < 0) return 39;
  if (cur->rowCount >= 0 && p > cur->rowCount) return 39;
  cur->position = p;
  return 0;
}

void SCR_ResetRowPos(SCR_CURSOR* cur) {
  cur->rowCount = -1;
  SCR_SetRowPos(cur, 0);
}

void SCR_StmtReset(SCR_CURSOR*) {}
