// TEMPORARY: the leading part of the cursor library's cursor state, and the
// few calls the driver core makes on it, until the scrollable cursor
// library lands (it replaces this header with its full record, whose
// leading fields keep these names and this order).
#ifndef QMR_DRIVER_PENDING_SCR_CURSOR_PENDING_H
#define QMR_DRIVER_PENDING_SCR_CURSOR_PENDING_H

#include <cstdint>

struct DRV_Agent;

// Cursor-state flag: the requested cursor type and concurrency still have to
// be handed to the agent before the next preparation.
constexpr uint16_t SCR_FLAG_OPTIONS_CHANGED = 0x0800;
// Cursor-state flag: the rowset size changed since the last fetch (the
// statement keeps the previous size beside it).
constexpr uint16_t SCR_FLAG_ROWSET_CHANGED = 0x0001;

struct SCR_CURSOR {
  uint32_t rowsetSize;
  uint32_t keysetSize;
  int32_t rowCount;  // -1: not known yet
  uint32_t cursorType;
  uint32_t cursorTypeRequested;
  uint32_t concurrency;
  uint32_t concurrencyRequested;
  uint32_t option1;  // SQL_SIMULATE_CURSOR
  uint32_t option2;
  uint32_t retrieveData;
  uint32_t connHandle;
  uint32_t stmtHandle;
  int32_t position;  // 0 before the first row, -3 after the last, -2 lost
  int32_t rowsetStart;
  DRV_Agent* agent;
  void* owner;
  uint16_t flags;  // SCR_FLAG_*
};

// Defaults: rowset size 1, row count unknown, forward-only, read-only,
// retrieve data on, position 0. Returns 0.
int SCR_CursorStateInit(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                        void* owner);
// The statement's cursor state, from the defaults. 0 or an internal code.
int SCR_CursorStateInitFromStmt(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                                void* owner);
// 0 or 39 (row value out of range).
int SCR_SetRowPos(SCR_CURSOR* cur, int32_t position);
// Row count unknown, position before the first row.
void SCR_ResetRowPos(SCR_CURSOR* cur);
// Releases what the statement's cursor state holds for the rowset.
void SCR_StmtReset(SCR_CURSOR* cur);

#endif
