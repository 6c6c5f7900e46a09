// The agent's handle tables.
#include "drv_jdbc/j-handles.h"

HANDLE_TABLE gAgentEnvTable;
HANDLE_TABLE gAgentConnTable;
HANDLE_TABLE gAgentStmtTable;

namespace {

int InitOne(HANDLE_TABLE* t, uint32_t tag) {
  int rc = HT_Init(t, tag);
  if (rc == 0) rc = HT_EnableLock(t);
  return rc;
}

}  // namespace

int AGT_InitTables() {
  int rc = InitOne(&gAgentEnvTable, AGT_ENV_TAG);
  if (rc == 0) rc = InitOne(&gAgentConnTable, AGT_CONN_TAG);
  if (rc == 0) rc = InitOne(&gAgentStmtTable, AGT_STMT_TAG);
  if (rc != 0) {
    AGT_DoneTables();
    return ERR_NO_MEMORY;
  }
  return 0;
}

void AGT_DoneTables() {
  HT_Done(&gAgentStmtTable);
  HT_Done(&gAgentConnTable);
  HT_Done(&gAgentEnvTable);
}

bool AGT_TablesReady() {
  HT_Guard g(&gAgentEnvTable);
  return gAgentEnvTable.slots != nullptr;
}

plat::Mutex& AGT_StatementRefLock() {
  static auto* lock = new plat::Mutex;
  return *lock;
}

void AGT_FreeStmtHandle(uint32_t h) {
  plat::Guard<plat::Mutex> g(AGT_StatementRefLock());
  HT_Free(&gAgentStmtTable, h);
}

JdbcEnv* AGT_Env(uint32_t h) { return static_cast<JdbcEnv*>(HT_Lookup(&gAgentEnvTable, h)); }
JdbcConn* AGT_Conn(uint32_t h) { return static_cast<JdbcConn*>(HT_Lookup(&gAgentConnTable, h)); }
JdbcStmt* AGT_Stmt(uint32_t h) { return static_cast<JdbcStmt*>(HT_Lookup(&gAgentStmtTable, h)); }
