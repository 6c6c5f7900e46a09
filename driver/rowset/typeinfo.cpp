// SQLGetTypeInfo, and single values of the server's type information for
// the descriptor code (type name, literal prefix and suffix), read through a
// private statement.
#include "driver/rowset/typeinfo.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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

// The ODBC 3 form of a date or time code, which either form of a row or a
// request compares by.
int16_t DateForm(int16_t t) {
  return t == SQL_DATE        ? SQL_TYPE_DATE
         : t == SQL_TIME      ? SQL_TYPE_TIME
         : t == SQL_TIMESTAMP ? SQL_TYPE_TIMESTAMP
                              : t;
}

// Every type-information row (name, type, SEARCHABLE) on a private
// statement; false when they cannot be read.
bool ReadSearchRows(ConnHandle* conn, std::vector<TypeSearchRow>* out) {
  if (conn->state != kConnConnected) return false;
  StmtHandle* stmt = STMT_Alloc(conn);
  if (stmt == nullptr) return false;
  bool ok = OpenTypeInfo(stmt, SQL_ALL_TYPES) == 0;
  if (ok) {
    stmt->state = kStmtPrepared;
    stmt->flags |= kStmtFlagCursorOpen;
  }
  DRV_Return rc = SQL_NO_DATA;
  while (ok && (rc = STMT_Fetch(stmt)) == SQL_SUCCESS) {
    char name[kTextBuffer] = "";
    int16_t type = 0, searchable = 0;
    int64_t nameLength = 0, typeLength = 0, searchLength = 0;
    ok = SQL_SUCCEEDED(STMT_GetData(stmt, 1, SQL_C_CHAR, name, sizeof name, &nameLength)) &&
         SQL_SUCCEEDED(STMT_GetData(stmt, 2, SQL_C_SSHORT, &type, 0, &typeLength)) &&
         SQL_SUCCEEDED(STMT_GetData(stmt, 9, SQL_C_SSHORT, &searchable, 0, &searchLength));
    if (!ok || typeLength == SQL_NULL_DATA) continue;
    TypeSearchRow row;
    row.type = DateForm(type);
    row.searchable = searchLength == SQL_NULL_DATA ? int16_t{-1} : searchable;
    if (nameLength != SQL_NULL_DATA) row.name = name;
    out->push_back(std::move(row));
  }
  STMT_Close(stmt);
  STMT_Free(stmt);
  return ok && rc == SQL_NO_DATA;
}

// The row of `type` TypeInfoLookup reads: the one under the type's standard
// name, else the first; null when the server lists none.
const TypeSearchRow* RowOf(const std::vector<TypeSearchRow>& rows, int16_t type) {
  const int16_t key = StandardKey(type), form = DateForm(type);
  const TypeSearchRow* first = nullptr;
  for (const TypeSearchRow& row : rows) {
    if (row.type != form) continue;
    if (DRV_IsStandardTypeName(key, row.name.c_str())) return &row;
    if (first == nullptr) first = &row;
  }
  return first;
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

int TypeInfoSearchable(ConnHandle* conn, int16_t sqlType) {
  if (conn == nullptr) return -1;
  bool loaded;
  {
    plat::Guard<plat::Mutex> g(conn->typeSearchLock);
    loaded = conn->typeSearch.loaded;
  }
  if (!loaded) {
    // Read without the lock: the query is a call of the connection's own,
    // and a connection runs one call at a time. A failed read is tried
    // again by the next question.
    std::vector<TypeSearchRow> rows;
    if (!ReadSearchRows(conn, &rows)) return -1;
    plat::Guard<plat::Mutex> g(conn->typeSearchLock);
    conn->typeSearch.rows = std::move(rows);
    conn->typeSearch.loaded = true;
  }
  plat::Guard<plat::Mutex> g(conn->typeSearchLock);
  const std::vector<TypeSearchRow>& rows = conn->typeSearch.rows;
  // A wide text type is asked under its narrow form first, as
  // TypeInfoLookup asks it.
  const TypeSearchRow* row = RowOf(rows, NarrowTextType(sqlType));
  if (row == nullptr) row = RowOf(rows, sqlType);
  return row != nullptr && row->searchable >= 0 && row->searchable <= 3 ? row->searchable : -1;
}
