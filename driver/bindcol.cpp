// Column bindings: SQLBindCol and the per-row buffers of bound columns.
#include "driver/bind.h"

#include <cstdlib>
#include <new>

#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/descfield.h"
#include "driver/dispatch.h"
#include "driver/ops.h"
#include "drv_jdbc/drv_agent.h"
#include "util/errcodes.h"

namespace {

constexpr uint16_t kBookmarkPersistence = 82;  // SQL_BOOKMARK_PERSISTENCE

void FreeRowBuffersOf(StmtHandle* stmt, uint16_t column) {
  auto it = stmt->fetch.rowBuffers.find(column);
  if (it == stmt->fetch.rowBuffers.end()) return;
  BindRowBuffers& b = it->second;
  BIND_FreeRowBuffers(&b.values, b.count, &b.lengths);
  stmt->fetch.rowBuffers.erase(it);
}

// The bookmark column needs an agent that keeps bookmarks, and a bookmark
// C type.
int32_t CheckBookmark(StmtHandle* stmt, int16_t cType) {
  ConnHandle* conn = stmt->conn;
  if (conn == nullptr) return ERR_NOT_CAPABLE;
  uint32_t persistence = 0;
  uint16_t length = 0;
  uint32_t code;
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_ConnectLock());
    code = SCR_AgentInfo(&conn->agent, conn->agentConn, kBookmarkPersistence, &persistence,
                         sizeof persistence, &length);
  }
  if (code != 0) return static_cast<int32_t>(code);
  if (persistence == 0) return ERR_NOT_CAPABLE;
  if (cType != SQL_C_VARBOOKMARK && cType != SQL_C_BOOKMARK) return ERR_C_TYPE_RANGE;
  return 0;
}

}  // namespace

void BIND_FreeRowBuffers(void*** values, uint32_t count, int64_t** lengths) {
  if (values != nullptr && *values != nullptr) {
    for (uint32_t i = 0; i < count; ++i) std::free((*values)[i]);
    std::free(*values);
    *values = nullptr;
  }
  if (lengths != nullptr) {
    std::free(*lengths);
    *lengths = nullptr;
  }
}

BindRowBuffers* BIND_RowBuffers(StmtHandle* stmt, uint16_t column) {
  auto it = stmt->fetch.rowBuffers.find(column);
  return it == stmt->fetch.rowBuffers.end() ? nullptr : &it->second;
}

int32_t BIND_AllocExt(StmtHandle* stmt, uint32_t row) {
  const uint32_t n = std::max(stmt->cursor.rowsetSize, row);
  if (stmt->ard == nullptr || n == 0) return 0;
  const int count = DESC_Count(stmt->ard);
  for (int c = 0; c <= count; ++c) {
    if (DESC_FindRec(c, stmt) == nullptr) continue;
    const auto column = static_cast<uint16_t>(c);
    FreeRowBuffersOf(stmt, column);
    BindRowBuffers b;
    b.values = static_cast<void**>(std::calloc(n, sizeof(void*)));
    b.lengths = static_cast<int64_t*>(std::calloc(n, sizeof(int64_t)));
    if (b.values == nullptr || b.lengths == nullptr) {
      BIND_FreeRowBuffers(&b.values, 0, &b.lengths);
      return ERR_NO_MEMORY;
    }
    b.count = n;
    try {
      stmt->fetch.rowBuffers.emplace(column, b);
    } catch (const std::bad_alloc&) {
      BIND_FreeRowBuffers(&b.values, 0, &b.lengths);
      return ERR_NO_MEMORY;
    }
  }
  return 0;
}

void BIND_UnbindAll(StmtHandle* stmt) {
  for (auto& entry : stmt->fetch.rowBuffers) {
    BindRowBuffers& b = entry.second;
    BIND_FreeRowBuffers(&b.values, b.count, &b.lengths);
  }
  stmt->fetch.rowBuffers.clear();
  DescHandle* ard = stmt->ard;
  if (ard == nullptr) return;
  if (DESC_Count(ard) > 0) DESC_Truncate(ard, 0);
  ard->count = 0;
  if (DescRec* rec0 = DESC_GetRec(ard, 0)) {
    rec0->data = nullptr;
    rec0->indicator = nullptr;
    rec0->octetLengthPtr = nullptr;
  }
}

int32_t STMT_BindCol(StmtHandle* stmt, uint16_t column, int16_t cType, void* value,
                     int64_t bufferLength, int64_t* length) {
  ClearPending(stmt);
  if (bufferLength < 0) return ERR_INVALID_LENGTH;
  if (bufferLength == 0 && column != 0 && cType != SQL_C_DEFAULT) bufferLength = TYPE_CSize(cType);
  if (column == 0) {
    if (int32_t code = CheckBookmark(stmt, cType)) return code;
    // A fixed bookmark is 8 bytes whatever the length says; a variable one
    // is binary and has the room the application gave it.
    if (cType == SQL_C_BOOKMARK) bufferLength = 8;
  }
  DescHandle* ard = stmt->ard;
  if (ard == nullptr) return ERR_NO_MEMORY;
  // A C type that does not exist would only fail at the first fetch.
  DescRec probe;
  if (value != nullptr && !DESC_DeriveFromConcise(&probe, cType)) return ERR_C_TYPE_RANGE;

  // A new binding, or none: the per-row buffers of the old one go either way.
  FreeRowBuffersOf(stmt, column);
  if (column > DESC_Count(ard)) {
    if (value == nullptr) return 0;  // unbinding a column never bound
    if (int rc = DESC_Grow(ard, column)) return rc;
  }
  DescRec* rec = DESC_GetRec(ard, column);
  if (rec == nullptr) return ERR_NO_MEMORY;
  if (!DESC_DeriveFromConcise(rec, cType)) rec->conciseType = cType;
  rec->data = value;
  rec->octetLength = bufferLength;
  rec->indicator = length;
  rec->octetLengthPtr = length;
  return 0;
}

DRV_Return DRV_BindColOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const BIND_Args a = BIND_ReadArgs(args);
  const int32_t code = STMT_BindCol(stmt, a.column, a.cType, a.value, a.size, a.length);
  if (code != 0) return Fail(stmt, code);
  return SQL_SUCCESS;
}
