// The one way a failed agent call becomes the ODBC call's failure.
#ifndef QMR_DRIVER_AGENT_FAIL_H
#define QMR_DRIVER_AGENT_FAIL_H

#include <cstdint>

#include "driver/conn.h"
#include "driver/dispatch.h"
#include "driver/stmt.h"

// The agent's code (or the one the driver reports in its place) becomes the
// handle's pending code, and the messages the agent posted for the failure
// (a JDBC call that failed says why) join the handle's list: an application
// sees the cause, not only the code. SQL_ERROR.
inline DRV_Return AgentFail(ConnHandle* conn, uint32_t code) {
  DRV_PullErrors(conn, nullptr);
  return Fail(conn, static_cast<int32_t>(code));
}

inline DRV_Return AgentFail(StmtHandle* stmt, uint32_t code) {
  STMT_PullErrors(stmt);
  return Fail(stmt, static_cast<int32_t>(code));
}

#endif
