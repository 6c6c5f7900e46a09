// SQLNativeSql: the text as the data source would run it, translated by the
// agent (escape clauses resolved by the JDBC driver).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "driver/agent_fail.h"
#include "driver/conn.h"
#include "driver/ops.h"
#include "util/errcodes.h"
#include "util/owners.h"
#include "util/strutil.h"

DRV_Return DRV_NativeSqlOp(void* h, va_list args) {
  auto* conn = static_cast<ConnHandle*>(h);
  const auto* in = va_arg(args, const char*);
  const auto inLength = va_arg(args, SQLINTEGER);
  auto* out = va_arg(args, char*);
  const auto outMax = va_arg(args, SQLINTEGER);
  auto* outLength = va_arg(args, SQLINTEGER*);
  if (in == nullptr) return Fail(conn, ERR_INVALID_ARGUMENT);
  if (inLength < 0 && inLength != SQL_NTS) return Fail(conn, ERR_INVALID_LENGTH);
  if (out != nullptr && outMax < 0) return Fail(conn, ERR_INVALID_LENGTH);
  if (conn->state != kConnConnected) return Fail(conn, ERR_NOT_CONNECTED);
  const DRV_OpTable* ops = conn->agent.ops;
  if (ops == nullptr || ops->DRV_NativeSql == nullptr) return Fail(conn, ERR_NOT_CAPABLE);

  char* copy = nullptr;
  str_nts_dup(&copy, in, inLength);
  if (copy == nullptr) return Fail(conn, ERR_NO_MEMORY);
  UniqueFree<char> owned(copy);

  const uint32_t room = out == nullptr ? 0 : static_cast<uint32_t>(outMax);
  if (out != nullptr && room > 0) out[0] = '\0';
  uint32_t length = 0;
  const uint32_t code = ops->DRV_NativeSql(conn->agentConn, copy, out, room, &length);
  if (code != 0 && code != static_cast<uint32_t>(ERR_TRUNCATED)) return AgentFail(conn, code);
  if (outLength != nullptr)
    *outLength = static_cast<SQLINTEGER>(std::min<uint32_t>(length, INT32_MAX));
  if (code == 0) return SQL_SUCCESS;
  return Warn(conn, ERR_TRUNCATED);
}
