// SQLRowCount: the agent counts the rows its last execution touched.
#include <sql.h>

#include "driver/agent_fail.h"
#include "driver/ops.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"

DRV_Return DRV_RowCountOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  auto* out = va_arg(args, SQLLEN*);
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  int32_t count = 0;
  uint16_t length = 0;
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return Fail(stmt, ERR_NOT_CAPABLE);
  // A count the JDBC driver refused to give comes with its reason.
  const uint32_t code =
      ops->DRV_GetInfo(stmt->agentStmt, INFO_ROW_COUNT, &count, sizeof count, &length);
  if (code != 0) return AgentFail(stmt, code);
  // The agent answers a signed 32-bit count; -1 stays -1 in 64 bits.
  if (out != nullptr) *out = count;
  return SQL_SUCCESS;
}
