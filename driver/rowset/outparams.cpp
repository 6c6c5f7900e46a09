// Output parameter values: the agent hands them over as one row with a
// column per parameter marker, and each goes through GetColumn into the
// buffers of a parameter the application bound for output.
#include <sql.h>
#include <sqlext.h>

#include "driver/agent_fail.h"
#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/params.h"
#include "driver/rowset/execute.h"
#include "driver/rowset/getcolumn.h"
#include "driver/rowset/paramset.h"
#include "driver/stmt.h"
#include "util/errcodes.h"

namespace {

char* At(void* p, int64_t offset) {
  return p != nullptr ? static_cast<char*>(p) + offset : nullptr;
}

}  // namespace

DRV_Return ReturnOutParams(StmtHandle* stmt) {
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  const int count = stmt->apd != nullptr ? DESC_Count(stmt->apd) : 0;
  const uint16_t n = stmt->paramCount < count ? stmt->paramCount : static_cast<uint16_t>(count);
  STMT_CloseCursor(stmt);
  const uint32_t code = ops != nullptr && ops->DRV_Fetch != nullptr
                            ? ops->DRV_Fetch(stmt->agentStmt, 0, &stmt->rows)
                            : ERR_NOT_CAPABLE;
  if (code != 0) return AgentFail(stmt, code);
  stmt->rowIndex = 0;
  stmt->fetchColumn = 0;
  const int64_t offset = ParamBindOffset(stmt);
  const uint32_t odbcVersion =
      stmt->conn != nullptr && stmt->conn->env != nullptr ? stmt->conn->env->odbcVersion : 3;
  bool warned = false;
  for (uint16_t i = 0; i < n; ++i) {
    ParamBinding b;
    // Only a parameter bound for output has a buffer meant to be written;
    // an input buffer may be the application's constant.
    if (!ParamResolve(stmt, i + 1, &b) || b.direction == SQL_PARAM_INPUT || b.apd->data == nullptr)
      continue;
    const char* name = stmt->paramDescs != nullptr ? stmt->paramDescs[i].name : "";
    if (name[0] != '*' || (name[1] != 'O' && name[1] != 'B' && name[1] != 'U')) continue;
    BIND_REC bind;
    bind.column = static_cast<uint16_t>(i + 1);
    bind.cType = b.apd->conciseType == SQL_C_DEFAULT
                     ? static_cast<int16_t>(TYPE_DefaultCType(b.sqlType, odbcVersion))
                     : b.apd->conciseType;
    bind.decimalDigits = b.ipd != nullptr ? static_cast<uint16_t>(PAR_DecimalDigits(b.ipd)) : 0;
    const bool variable =
        bind.cType == SQL_C_CHAR || bind.cType == SQL_C_BINARY || bind.cType == SQL_C_WCHAR;
    bind.bufferLength = variable ? b.apd->octetLength : TYPE_CSize(bind.cType);
    bind.data = At(b.apd->data, offset);
    bind.length = reinterpret_cast<int64_t*>(At(b.apd->octetLengthPtr, offset));
    bind.indicator = reinterpret_cast<int64_t*>(At(b.apd->indicator, offset));
    // Each value's conversion starts with nothing pending.
    ClearPending(stmt);
    const SQLRETURN rc = GetColumn(stmt, 0, &bind, &stmt->rows, ValueSource::kOutputParams);
    if (rc == SQL_SUCCESS_WITH_INFO) {
      // Each warning keeps its own record.
      const int32_t left = TakePending(stmt);
      const int32_t warn = left != 0 ? left : ERR_TRUNCATED;
      DIAG_AddCode(&stmt->diag, warn);
      warned = true;
    } else if (rc != SQL_SUCCESS) {
      return rc;
    }
  }
  ClearPending(stmt);  // the caller reports the execute's own answer
  return warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}
