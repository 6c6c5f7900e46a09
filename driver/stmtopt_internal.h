// Between the files of the statement-option module (stmtopt*.cpp): the
// agent calls and the small result helpers they share.
#ifndef QMR_DRIVER_STMTOPT_INTERNAL_H
#define QMR_DRIVER_STMTOPT_INTERNAL_H

#include <sql.h>

#include <cstdint>
#include <cstring>

#include "driver/agent_fail.h"
#include "driver/handles.h"
#include "driver/stmt.h"
#include "util/errcodes.h"

namespace stmtopt {

constexpr uint16_t kAgentTextRoom = 4096;

inline const DRV_OpTable* OpsOf(const StmtHandle* stmt) {
  return stmt->agent != nullptr ? stmt->agent->ops : nullptr;
}

// Slot 1 with a request and a pointer to its value; 43 without the slot.
inline uint32_t AgentSet(StmtHandle* stmt, uint32_t request, void* value) {
  const DRV_OpTable* ops = OpsOf(stmt);
  if (ops == nullptr || ops->DRV_SetOption == nullptr)
    return static_cast<uint32_t>(ERR_NOT_CAPABLE);
  return ops->DRV_SetOption(stmt->agentStmt, request, value);
}

// Slot 0 into a buffer; "not answered" without the slot.
inline uint32_t AgentGetRaw(StmtHandle* stmt, uint32_t request, void* buf, uint16_t size) {
  const DRV_OpTable* ops = OpsOf(stmt);
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return ERR_NOT_SUPPORTED;
  uint16_t length = 0;
  return ops->DRV_GetInfo(stmt->agentStmt, request, buf, size, &length);
}

inline uint32_t AgentGet(StmtHandle* stmt, uint32_t request, uint32_t* value) {
  uint32_t v = 0;
  const uint32_t code = AgentGetRaw(stmt, request, &v, sizeof v);
  if (code == 0) *value = v;
  return code;
}

inline DRV_Return Changed(StmtHandle* stmt) { return Warn(stmt, ERR_VALUE_CHANGED); }

inline DRV_Return Put32(void* value, uint32_t v) {
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  return SQL_SUCCESS;
}

inline DRV_Return Put64(void* value, uint64_t v) {
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  return SQL_SUCCESS;
}

}  // namespace stmtopt

#endif
