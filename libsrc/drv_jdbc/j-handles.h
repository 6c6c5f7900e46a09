// The agent's three handle tables and the handle check every agent operation
// starts with: a number the agent does not hold gives ERR_INVALID_ARGUMENT at
// once, before any other work and without posting anything.
#ifndef QMR_DRV_JDBC_J_HANDLES_H
#define QMR_DRV_JDBC_J_HANDLES_H

#include <cstdint>
#include <mutex>

#include "drv_jdbc/j-records.h"
#include "util/handle_table.h"

constexpr uint32_t AGT_ENV_TAG = 0xAAAA;
constexpr uint32_t AGT_CONN_TAG = 0xBBBB;
constexpr uint32_t AGT_STMT_TAG = 0xCCCC;

extern HANDLE_TABLE gAgentEnvTable;
extern HANDLE_TABLE gAgentConnTable;
extern HANDLE_TABLE gAgentStmtTable;

// Creates the three tables (each with its own lock). 0 or ERR_NO_MEMORY; on
// failure none is left behind. Called by the first DRV_Init.
int AGT_InitTables();
// Destroys them. Called by the last DRV_Term.
void AGT_DoneTables();
bool AGT_TablesReady();

// DRV_Cancel reaches a statement from a thread other than the one running
// it. This lock guards what it reads: a statement's Java statement reference
// (replaced or deleted only under it) and the statement's handle (freed
// only under it, so a record found under the lock stays while it is held).
plat::Mutex& AGT_StatementRefLock();
// Frees a statement's handle under that lock; the record is the caller's to
// free afterwards.
void AGT_FreeStmtHandle(uint32_t h);

// The record of a handle in the table of its kind, or null.
JdbcEnv* AGT_Env(uint32_t h);
JdbcConn* AGT_Conn(uint32_t h);
JdbcStmt* AGT_Stmt(uint32_t h);

#endif
