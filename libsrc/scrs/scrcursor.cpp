// Cursor state records: defaults, position and row numbers.
#include "scrs/scrcursor.h"
#include "drv_jdbc/agent_codes.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cassert>

#include "drv_jdbc/drv_agent.h"
#include "scrs/scranalysis.h"
#include "util/errcodes.h"

int SCR_CursorStateInit(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                        void* owner) {
  *cur = SCR_CURSOR{};
  cur->rowsetSize = 1;
  cur->rowCount = -1;
  cur->concurrency = SQL_CONCUR_READ_ONLY;
  cur->retrieveData = SQL_RD_ON;
  cur->connHandle = conn;
  cur->stmtHandle = stmt;
  cur->agent = agent;
  cur->owner = owner;
  cur->prevRowsetSize = 1;
  cur->kind = SCR_KIND_NOT_ANALYSED;
  cur->affectedRows = -1;
  return 0;
}

int SCR_CursorStateInitFromStmt(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                                void* owner, const SCR_CURSOR* from) {
  if (int rc = SCR_CursorStateInit(cur, stmt, conn, agent, owner)) return rc;
  if (from != nullptr) {
    cur->rowsetSize = from->rowsetSize;
    cur->keysetSize = from->keysetSize;
    cur->cursorType = from->cursorType;
    cur->concurrency = from->concurrency;
    cur->option1 = from->option1;
    cur->option2 = from->option2;
    cur->retrieveData = from->retrieveData;
    cur->prevRowsetSize = from->rowsetSize;
  }
  return 0;
}

int SCR_SetRowPos(SCR_CURSOR* cur, int32_t p) {
  if (p == SCR_POS_BEFORE_START || p == SCR_POS_AFTER_END) {
    cur->position = p;
    cur->rowsetStart = p;
    return 0;
  }
  if (p == SCR_POS_LOST) {
    cur->position = p;
    return 0;
  }
  if (p < 0) return ERR_ROW_RANGE;
  if (cur->rowCount >= 0 && p > cur->rowCount) return ERR_ROW_RANGE;
  cur->position = p;
  return 0;
}

void SCR_ResetRowPos(SCR_CURSOR* cur) {
  cur->rowCount = -1;
  SCR_SetRowPos(cur, SCR_POS_BEFORE_START);
}

void SCR_StmtReset(SCR_CURSOR* cur) { RowStatusFree(&cur->rowStatus); }

namespace {

bool NoCurrentRowset(const SCR_CURSOR* cur) {
  return cur->position == SCR_POS_BEFORE_START || cur->position == SCR_POS_AFTER_END ||
         cur->position == SCR_POS_LOST;
}

bool Numbered(const SCR_CURSOR* cur) {
  return cur->cursorType == SQL_CURSOR_STATIC ||
         (cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize == 0);
}

}  // namespace

int SCR_GetRowNumber(const SCR_CURSOR* cur, uint32_t n, uint32_t* out) {
  assert(SCR_PositionHolds(cur));
  if (out == nullptr || n >= cur->rowsetSize) return ERR_INVALID_ARGUMENT;
  *out = 0;
  if (NoCurrentRowset(cur)) return ERR_INVALID_CURSOR_STATE;
  if (!Numbered(cur)) return ERR_NOT_CAPABLE;
  return SCR_GetRowNumberFwd(cur, n, out);
}

int SCR_GetRowNumberFwd(const SCR_CURSOR* cur, uint32_t n, uint32_t* out) {
  assert(SCR_PositionHolds(cur));
  if (out == nullptr) return ERR_INVALID_ARGUMENT;
  *out = 0;
  const bool mixed = cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize != 0;
  if (mixed) {
    if (n >= cur->rowsetSize) return ERR_INVALID_ARGUMENT;
    if (NoCurrentRowset(cur)) return ERR_INVALID_CURSOR_STATE;
    if (cur->analysis != nullptr) return scs_p_MixedBookmark(cur, n, out);
    // The core's cursor state asks the library's, which holds the keys.
    const DRV_OpTable* ops = cur->agent != nullptr ? cur->agent->ops : nullptr;
    if (ops == nullptr || ops->DRV_GetInfo == nullptr) return ERR_NOT_CAPABLE;
    uint32_t v = n;
    uint16_t len = 0;
    const uint32_t rc = ops->DRV_GetInfo(cur->stmtHandle, INFO_MIXED_BOOKMARK, &v, sizeof v, &len);
    if (rc == 0) *out = v;
    return static_cast<int>(rc);
  }
  if (!Numbered(cur)) return 0;
  if (n >= cur->rowsetSize) return ERR_INVALID_ARGUMENT;
  if (NoCurrentRowset(cur)) return ERR_INVALID_CURSOR_STATE;
  // A rowset fetched by bookmark has no first row that numbers the others.
  if (SCR_GetRowStatusAt(cur->rowStatus, n + 1) == SQL_ROW_ERROR || cur->rowsetStart < 1)
    return ERR_INVALID_CURSOR_POSITION;
  *out = static_cast<uint32_t>(cur->rowsetStart) + n;
  return 0;
}

void SCR_RowsetBlocks(uint32_t rowsetSize, uint32_t markerLimit, uint32_t descCount,
                      uint32_t keyColumns, uint32_t* blocks, uint32_t* last, uint32_t* blockSize) {
  *blocks = *last = *blockSize = 0;
  // No key columns, or no marker left for a key: no block holds a row.
  if (keyColumns == 0 || rowsetSize == 0 || markerLimit <= descCount) return;
  const uint32_t per = (markerLimit - descCount) / keyColumns;
  if (per == 0) return;
  *blocks = rowsetSize / per + (rowsetSize % per != 0 ? 1 : 0);
  *last = rowsetSize % per != 0 ? rowsetSize % per : std::min(rowsetSize, per);
  *blockSize = std::min(rowsetSize, per);
}
