// The cursor library's frame: its table of operations in front of the
// agent's, installed once and shared by every connection, the agent's own
// table it reaches the agent through, and its per-connection list.
#ifndef QMR_SCRS_SCRFRAME_H
#define QMR_SCRS_SCRFRAME_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "scrs/cursorlock.h"

struct JdbcConn;
struct JdbcStmt;
struct SCR_CURSOR;

// The agent as it was before the library put itself in front: its type and
// its own table. The hooks call the agent through it, so the library's own
// calls never come back into the library. Null table: not installed yet.
extern DRV_Agent SCR_SavedAgent;
// The library's table: the agent's with the hook slots replaced.
extern DRV_OpTable SCR_OpTable;

// One open agent connection, in its environment's list (headed by the
// environment record's first word).
struct SCR_CONNENTRY {
  uint32_t conn;
  SCR_CONNENTRY* next GUARDED_BY(scr_RvcLock);
  // A private copy of what the connection was opened with: the row-version
  // table opens its own connections like it.
  ConnectInfo* info;
};

// A deep copy of a connection information block (its texts and settings
// block included), or null when memory runs out; freed with
// SCR_FreeConnectInfo.
ConnectInfo* SCR_CopyConnectInfo(const ConnectInfo* from);
void SCR_FreeConnectInfo(ConnectInfo* info);

// The saved table, for the hooks.
inline const DRV_OpTable& SCR_Agent() { return *SCR_SavedAgent.ops; }

// The cursor state of an agent statement, its options brought up to date
// from the agent's record; null for an unknown handle. *stmt receives the
// agent's record when asked.
SCR_CURSOR* SCR_StmtCursor(uint32_t stmt, JdbcStmt** record = nullptr);

// The hook slots, written into the library's table at installation.
void SCR_InstallHooks(DRV_OpTable* table);

// Releases the cursor state of every statement of an agent connection that
// is about to close (the agent frees its statements without the library).
void SCR_ReleaseConnStmts(JdbcConn* conn);

extern "C" {
uint32_t SCR_GetInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length);
uint32_t SCR_Connect(uint32_t env, ConnectInfo* info, uint32_t* conn);
uint32_t SCR_Disconnect(uint32_t conn);
}

#endif
