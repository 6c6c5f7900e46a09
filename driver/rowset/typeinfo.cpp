// SQLGetTypeInfo, and single values of the server's type information for
// the descriptor code (type name, literal prefix and suffix), read through a
// private statement.
#include "driver/rowset/typeinfo.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "driver/bind.h"
#include "driver/catalog.h"
#include "driver/coldesc.h"
#include "driver/ops.h"
#include "driver/stmt.h"
#include "drv_jdbc/drv_catalog.h"
#include "util/errcodes.h"

namespace {

// Type names, prefixes and suffixes are short; a row holds them whole.
constexpr size_t kTextBuffer = 256;

// Asks the agent for the type rows of sqlType on a closed statement: 0 or
// the agent's code.
uint32_t OpenTypeInfo(StmtHandle* stmt, int16_t sqlType) {
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr || ops->DRV_DDGetTypeInfo == nullptr) return ERR_NOT_CAPABLE;
  return ops->DRV_DDGetTypeInfo(stmt->agentStmt, sqlType);
}

// The ODBC 3 narrow form under which standard names are known.
int16_t StandardKey(int16_t t) {
  switch (t) {
    case SQL_DATE: return SQL_TYPE_DATE;
    case SQL_TIME: return SQL_TYPE_TIME;
    case SQL_TIMESTAMP: return SQL_TYPE_TIMESTAMP;
    case SQL_WCHAR: return SQL_CHAR;
    case SQL_WVARCHAR: return SQL_VARCHAR;
    case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
    default: return t;
  }
}

int16_t NarrowTextType(int16_t t) {
  switch (t) {
    case SQL_WCHAR: return SQL_CHAR;
    case SQL_WVARCHAR: return SQL_VARCHAR;
    case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
    default: return t;
  }
}

// Column `column` of the type row of `type` that names a column of that
// type: the row under the type's standard name when the server lists one,
// else the first. Read on the private statement, which is closed again.
DRV_Return LookupOnce(StmtHandle* stmt, int16_t type, uint16_t column, char* buffer, int64_t size,
                      int64_t* length) {
  if (OpenTypeInfo(stmt, type) != 0) return SQL_ERROR;
  stmt->state = kStmtPrepared;
  stmt->flags |= kStmtFlagCursorOpen;
  const int16_t key = StandardKey(type);
  bool found = false;
  std::string value;
  bool null = false;
  DRV_Return rc;
  while ((rc = STMT_Fetch(stmt)) == SQL_SUCCESS) {
    char name[kTextBuffer] = "";
    int64_t nameLength = 0;
    rc = STMT_GetData(stmt, 1, SQL_C_CHAR, name, sizeof name, &nameLength);
    if (!SQL_SUCCEEDED(rc)) break;
    const bool standard = nameLength != SQL_NULL_DATA && DRV_IsStandardTypeName(key, name);
    if (found && !standard) continue;
    if (column == 1) {
      null = nameLength == SQL_NULL_DATA;
      value = null ? std::string() : std::string(name);
    } else {
      char text[kTextBuffer] = "";
      int64_t textLength = 0;
      rc = STMT_GetData(stmt, column, SQL_C_CHAR, text, sizeof text, &textLength);
      if (!SQL_SUCCEEDED(rc)) break;
      null = textLength == SQL_NULL_DATA;
      value = null ? std::string() : std::string(text);
    }
    found = true;
    if (standard) break;
  }
  STMT_Close(stmt);
  if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) return rc;
  if (!found) return SQL_NO_DATA;
  if (null) {
    *length = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  *length = static_cast<int64_t>(value.size());
  if (size <= 0) return SQL_SUCCESS_WITH_INFO;
  const size_t n = std::min(value.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return n < value.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

DRV_Return DRV_GetTypeInfoOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto sqlType = static_cast<int16_t>(static_cast<uint16_t>(va_arg(args, int)));
  if (!CAT_Begin(stmt)) return SQL_ERROR;
  return CAT_Settle(stmt, OpenTypeInfo(stmt, sqlType));
}

DRV_Return TypeInfoLookup(ConnHandle* conn, uint16_t column, int16_t sqlType, char* buffer,
                          int64_t size, int64_t* length) {
  if (conn == nullptr) return SQL_ERROR;
  if (conn->state != kConnConnected) return Fail(conn, ERR_NOT_CONNECTED);
  StmtHandle* stmt = STMT_Alloc(conn);
  if (stmt == nullptr) return SQL_ERROR;
  // A wide text type in a description is the connection's way of
  // delivering text: the server's own row is the narrow type's (a wide
  // statement would otherwise answer OTHER, which it reports as WVARCHAR,
  // for a VARCHAR column). Only a type without such a row is asked as it
  // is (CLOB, say, which a wide statement reports as WLONGVARCHAR only).
  // Whatever the private statement collects is dropped with it; the
  // connection's own pending code stays as it was.
  const int16_t narrow = NarrowTextType(sqlType);
  DRV_Return rc = LookupOnce(stmt, narrow, column, buffer, size, length);
  if (rc == SQL_NO_DATA && narrow != sqlType)
    rc = LookupOnce(stmt, sqlType, column, buffer, size, length);
  STMT_Free(stmt);
  return rc;
}
