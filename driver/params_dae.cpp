// The data-at-execution dialogue: SQLParamData hands out the token of the
// next parameter whose value comes at execution (and executes after the
// last), SQLPutData appends the pieces of that value.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <new>

#include "driver/ctypes.h"
#include "driver/ops.h"
#include "driver/params.h"
#include "driver/prepare.h"
#include "driver/rowset/execute.h"
#include "driver/rowset/paramset.h"
#include "driver/rowset/setpos.h"
#include "util/errcodes.h"

int64_t PAR_NtsLength(int16_t c, const void* data, int64_t bufferLength) {
  if (bufferLength <= 0) {
    if (c != SQL_C_WCHAR) return static_cast<int64_t>(std::strlen(static_cast<const char*>(data)));
    const auto* w = static_cast<const char16_t*>(data);
    int64_t units = 0;
    while (w[units] != 0) ++units;
    return units * 2;
  }
  if (c != SQL_C_WCHAR) {
    const void* nul = std::memchr(data, 0, static_cast<size_t>(bufferLength));
    return nul != nullptr ? static_cast<const char*>(nul) - static_cast<const char*>(data)
                          : bufferLength;
  }
  const auto* w = static_cast<const unsigned char*>(data);
  int64_t units = 0;
  for (const int64_t room = bufferLength / 2; units < room; ++units) {
    char16_t u;
    std::memcpy(&u, w + 2 * units, sizeof u);
    if (u == 0) break;
  }
  return units * 2;
}

namespace {

// The gathered value of a parameter in a set, made on first use.
ParamDaeValue* DaeSlot(StmtHandle* stmt, uint16_t param, uint64_t set) {
  const uint64_t sets = stmt->apd != nullptr ? stmt->apd->arraySize : 1;
  if (set >= sets) return nullptr;
  auto& all = stmt->daeValues;
  if (all.size() <= param) all.resize(static_cast<size_t>(param) + 1);
  auto& rows = all[param];
  if (rows.size() < sets) rows.resize(static_cast<size_t>(sets));
  return &rows[static_cast<size_t>(set)];
}

DRV_Return ParamsDataStep(StmtHandle* stmt, void** token) {
  const uint32_t row = stmt->daeSet;
  stmt->daeCurrentSet = row;
  if (stmt->ipd != nullptr && stmt->ipd->rowsProcessed != nullptr)
    *stmt->ipd->rowsProcessed = static_cast<uint64_t>(row) + 1;
  if (stmt->needData == 7) {
    const bool changed = stmt->cursorChangedPending;
    const DRV_Return rc = ExecuteWithParams(stmt);
    if (rc == SQL_NEED_DATA) {
      stmt->cursorChangedPending = changed;
      return rc;
    }
    stmt->cursorChangedPending = false;
    return changed ? ReportCursorChanged(stmt, rc) : rc;
  }

  const uint16_t item = stmt->daeParam;
  stmt->daePrevParam = item;
  stmt->daeParam = static_cast<uint16_t>(item + 1);
  ParamDaeValue* v = nullptr;
  try {
    v = DaeSlot(stmt, item, row);
  } catch (const std::bad_alloc&) {
    return Fail(stmt, ERR_NO_MEMORY);
  }
  if (v != nullptr) {
    std::string().swap(v->bytes);
    v->isNull = false;
  }
  ParamBinding b;
  if (token != nullptr) {
    *token = nullptr;
    if (ParamResolve(stmt, item + 1, &b) && b.apd->data != nullptr) {
      // The token is the value pointer of the row being served, as the
      // application bound it.
      *token = static_cast<char*>(b.apd->data) +
               static_cast<int64_t>(row) * ParamValueStride(stmt, b) + ParamBindOffset(stmt);
    }
  }
  if (ParamsNeedData(stmt) == 0) stmt->needData = 7;
  return SQL_NEED_DATA;
}

// Appends one piece to the value being gathered. A NULL is the whole
// value: nothing may follow it (HY020).
int AppendParam(StmtHandle* stmt, const void* data, int64_t length) {
  ParamDaeValue* v = DaeSlot(stmt, stmt->daePrevParam, stmt->daeCurrentSet);
  if (v == nullptr) return ERR_FUNCTION_SEQUENCE;
  if (v->isNull) return ERR_NULL_CONCATENATION;
  if (length == SQL_NULL_DATA) {
    std::string().swap(v->bytes);
    v->isNull = true;
    return 0;
  }
  if (length < 0 && length != SQL_NTS) return ERR_INVALID_LENGTH;
  if (length > kParamMaxLength - static_cast<int64_t>(v->bytes.size())) return ERR_INVALID_LENGTH;
  if (data == nullptr) return length == 0 ? 0 : ERR_INVALID_ARGUMENT;
  ParamBinding b;
  if (!ParamResolve(stmt, stmt->daePrevParam + 1, &b)) return ERR_FUNCTION_SEQUENCE;
  if (b.elementSize > 0) {
    // A fixed-size value comes whole; its length argument does not count.
    length = b.elementSize;
  } else if (length == SQL_NTS) {
    length = PAR_NtsLength(b.cType, data);
  }
  if (length == 0) return 0;
  if (b.elementSize > 0) std::string().swap(v->bytes);
  v->bytes.append(static_cast<const char*>(data), static_cast<size_t>(length));
  return 0;
}

}  // namespace

DRV_Return DRV_ParamDataOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  auto** token = va_arg(args, void**);
  // Agents that gather values themselves are not offered by any agent yet.
  if (stmt->conn != nullptr && stmt->conn->cn_hasV2DAE != 0) return Fail(stmt, ERR_NOT_CAPABLE);
  switch (stmt->needData) {
    case 0: return Fail(stmt, ERR_FUNCTION_SEQUENCE);
    case 1:
    case 7: try { return ParamsDataStep(stmt, token);
      } catch (const std::bad_alloc&) {
        return Fail(stmt, ERR_NO_MEMORY);
      }
    case kNeedSetPos:
    case kNeedBulk: return SetPosParamData(stmt, token);
    default: return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  }
}

DRV_Return DRV_PutDataOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const void* data = va_arg(args, void*);
  const int64_t length = va_arg(args, int64_t);
  if (stmt->conn != nullptr && stmt->conn->cn_hasV2DAE != 0) return Fail(stmt, ERR_NOT_CAPABLE);
  int code = 0;
  switch (stmt->needData) {
    case 0: return Fail(stmt, ERR_FUNCTION_SEQUENCE);
    case 1:
    case 7:
      // Only after SQLParamData has named the parameter.
      if (stmt->daePrevParam == kDaeNoItem) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
      try {
        code = AppendParam(stmt, data, length);
      } catch (const std::bad_alloc&) {
        code = ERR_NO_MEMORY;
      }
      break;
    case kNeedSetPos:
    case kNeedBulk: return SetPosPutData(stmt, data, length);
    default: return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  }
  if (code != 0) return Fail(stmt, code);
  return SQL_SUCCESS;
}
