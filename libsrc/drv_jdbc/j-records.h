// The agent's records behind its handles. Only the fields the agent's
// common code relies on are here; the operations that fill the rest extend
// the records.
#ifndef QMR_DRV_JDBC_J_RECORDS_H
#define QMR_DRV_JDBC_J_RECORDS_H

#include <cstdint>

#include "drv_jdbc/j-error.h"
#include "platform/lock.h"

// The one agent environment. Its first word heads the cursor library's list
// of connection entries.
struct JdbcEnv {
  void* scrConnList = nullptr;
  plat::RecursiveMutex cs;  // guards the environment's error list
  ErrorList errors{};
  uint32_t useCount = 0;
};

// An agent connection; its error list is its first field.
struct JdbcConn {
  ErrorList errors{};
  uint32_t env = 0;  // owning agent environment handle
  void* worker = nullptr;
};

// An agent statement; its connection first, its error list second.
struct JdbcStmt {
  JdbcConn* conn = nullptr;
  ErrorList errors{};
};

#endif
