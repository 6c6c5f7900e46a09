// Fetch, fetch-scroll and extended fetch into bound columns.
#include "driver/rowset/fetch.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "driver/coldesc.h"
#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/ops.h"
#include "driver/rowset/fwdonly_pending.h"
#include "driver/rowset/rowstatus.h"
#include "driver/stmt.h"
#include "util/errcodes.h"

namespace {

// A length that says the column is left for SQLGetData in a positioned
// refresh; unixODBC has no name for it.
constexpr int64_t kDataAtFetch = -6;

bool ForwardOnly(const StmtHandle* stmt) {
  return stmt->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY;
}

bool RetrieveData(const StmtHandle* stmt) { return stmt->cursor.retrieveData != SQL_RD_OFF; }

// Keeps the first failure and otherwise the last warning of a row's columns.
void Keep(SQLRETURN* result, SQLRETURN rc) {
  if (rc == SQL_SUCCESS || *result == SQL_ERROR) return;
  *result = rc;
}

template <class T>
T* Moved(T* p, int64_t bytes) {
  return p == nullptr ? nullptr
                      : reinterpret_cast<T*>(reinterpret_cast<char*>(p) + bytes);
}

}  // namespace

int64_t BIND_Offset(const StmtHandle* stmt) {
  const DescHandle* ard = stmt->ard;
  return ard != nullptr && ard->bindOffset != nullptr ? *ard->bindOffset : 0;
}

BIND_REC BIND_FromRec(const StmtHandle* stmt, uint16_t n, const DescRec* rec, int64_t offset,
                      uint32_t r) {
  BIND_REC b;
  b.column = n;
  b.cType = rec->conciseType;
  b.decimalDigits = static_cast<uint16_t>(rec->scale);
  b.bufferLength = rec->octetLength;
  int64_t dataStep = 0;
  int64_t lengthStep = 0;
  if (r > 0) {
    if (stmt->bindType != SQL_BIND_BY_COLUMN) {
      dataStep = lengthStep = static_cast<int64_t>(r) * stmt->bindType;
    } else {
      // A fixed-size C type's elements lie at its own size whatever buffer
      // length the application gave.
      int64_t width = n == 0 ? 8 : TYPE_CSize(rec->conciseType);
      if (width <= 0) width = rec->octetLength;
      dataStep = static_cast<int64_t>(r) * width;
      lengthStep = static_cast<int64_t>(r) * static_cast<int64_t>(sizeof(SQLLEN));
    }
  }
  b.data = Moved(rec->data, offset + dataStep);
  b.length = Moved(rec->octetLengthPtr, offset + lengthStep);
  b.indicator = Moved(rec->indicator, offset + lengthStep);
  return b;
}

SQLRETURN FetchRowToBindings(StmtHandle* stmt) {
  RowStatusFree(&stmt->fetch.rowStatus);
  const int64_t offset = BIND_Offset(stmt);
  DescHandle* ird = stmt->ird;
  uint16_t* status = ird != nullptr ? ird->arrayStatus : nullptr;
  uint64_t* fetched = ird != nullptr ? ird->rowsProcessed : nullptr;
  if (status != nullptr) status[0] = SQL_ROW_NOROW;
  if (fetched != nullptr) *fetched = 0;

  if (stmt->rowIndex >= stmt->rows.rows_held) {
    if (STMT_Reexecute(stmt) != 0) return SQL_ERROR;
    if (stmt->rows.rows_held == 0) return SQL_NO_DATA;
  }
  ColClearCache(&stmt->fetch.cache);
  if (status != nullptr) status[0] = SQL_ROW_SUCCESS;
  if (fetched != nullptr) *fetched = 1;
  ++stmt->rowsFetched;

  SQLRETURN result = SQL_SUCCESS;
  if (RetrieveData(stmt) && stmt->ard != nullptr) {
    const int count = DESC_Count(stmt->ard);
    for (int n = 1; n <= count && result != SQL_ERROR; ++n) {
      DescRec* rec = DESC_FindRec(n, stmt);
      if (rec == nullptr) continue;
      BIND_REC b = BIND_FromRec(stmt, static_cast<uint16_t>(n), rec, offset, 0);
      if (b.length != nullptr && *b.length == kDataAtFetch) continue;
      Keep(&result, GetColumn(stmt, stmt->rowIndex, &b, &stmt->rows));
    }
  }
  if (status != nullptr && result == SQL_ERROR) status[0] = SQL_ROW_ERROR;
  ++stmt->rowIndex;
  return result;
}

SQLRETURN RowsetToBindings(StmtHandle* stmt, uint16_t* statuses, uint32_t row, int mode) {
  ROWSTATUS* rs = stmt->fetch.rowStatus;
  if (rs == nullptr) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  const int64_t offset = BIND_Offset(stmt);
  const uint32_t size = stmt->cursor.rowsetSize > 0 ? stmt->cursor.rowsetSize : 1;
  const uint32_t first = row == 0 ? 0 : row - 1;
  const uint32_t last = row == 0 ? size : row;
  const uint16_t* ops = stmt->ard != nullptr ? stmt->ard->arrayStatus : nullptr;
  const int count = stmt->ard != nullptr ? DESC_Count(stmt->ard) : 0;

  SQLRETURN result = SQL_SUCCESS;
  uint32_t withStatus = 0;
  uint32_t errorRows = 0;
  for (uint32_t r = first; r < last && result != SQL_ERROR; ++r) {
    if (mode != kRowsetPlain && ops != nullptr && ops[r] == SQL_ROW_IGNORE) continue;
    ColClearCache(&stmt->fetch.cache);
    uint16_t st = RowStatusGet(rs, r + 1);
    if (r >= rs->count) st = SQL_ROW_NOROW;
    if (statuses != nullptr) statuses[r] = st;
    if (st == SQL_ROW_NOROW) continue;
    ++withStatus;
    if (st == SQL_ROW_ERROR) {
      ++errorRows;
      if (result == SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
      stmt->diag.pending = ERR_GENERAL;
      continue;
    }
    const bool onlyBookmarks = st == SQL_ROW_DELETED || !RetrieveData(stmt);
    for (int n = 0; n <= count && result != SQL_ERROR; ++n) {
      DescRec* rec = DESC_FindRec(n, stmt);
      if (rec == nullptr) continue;
      if (onlyBookmarks && rec->conciseType != SQL_C_BOOKMARK &&
          rec->conciseType != SQL_C_VARBOOKMARK)
        continue;
      BIND_REC b = BIND_FromRec(stmt, static_cast<uint16_t>(n), rec, offset, r);
      if (b.length != nullptr && *b.length == kDataAtFetch) continue;
      const SQLRETURN rc = GetColumn(stmt, r, &b, rs->rows);
      Keep(&result, rc);
      if (rc == SQL_ERROR && statuses != nullptr) statuses[r] = SQL_ROW_ERROR;
    }
    if (mode == kRowsetRefresh && statuses != nullptr &&
        (st == SQL_ROW_UPDATED || st == SQL_ROW_ADDED))
      statuses[r] = SQL_ROW_SUCCESS;
  }
  if (withStatus > 0 && errorRows == withStatus && result == SQL_SUCCESS_WITH_INFO)
    result = SQL_ERROR;
  return result;
}

SQLRETURN ExtendedFetchCore(StmtHandle* stmt, uint16_t orientation, int64_t row,
                            uint64_t* rowCount, uint16_t* statuses) {
  if (stmt->conn == nullptr || stmt->conn->cn_hasScrlCurs == 0)
    return Fail(stmt, ERR_NOT_SUPPORTED);
  const uint32_t type = stmt->cursor.cursorType;
  const bool forwardOnly = type == SQL_CURSOR_FORWARD_ONLY;
  const uint64_t paramSets = stmt->apd != nullptr ? stmt->apd->arraySize : 1;
  if (paramSets > 1 && !forwardOnly && orientation != SQL_FETCH_NEXT)
    return Fail(stmt, ERR_POSITIONED_PARAM_ARRAY);
  if (forwardOnly && orientation != SQL_FETCH_NEXT) return Fail(stmt, ERR_FETCH_TYPE_RANGE);
  const bool mixed = type == SQL_CURSOR_KEYSET_DRIVEN && stmt->cursor.keysetSize != 0;
  if ((type == SQL_CURSOR_DYNAMIC || mixed) &&
      (orientation == SQL_FETCH_BOOKMARK || orientation == SQL_FETCH_ABSOLUTE))
    return Fail(stmt, ERR_FETCH_TYPE_RANGE);
  if (mixed && stmt->cursor.keysetSize < stmt->cursor.rowsetSize)
    return Fail(stmt, ERR_ROW_RANGE);
  if (orientation == SQL_FETCH_ABSOLUTE && row == 0) {
    SCR_SetRowPos(&stmt->cursor, 0);
    return SQL_NO_DATA;
  }
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  if (STMT_GetColInfo(stmt) == nullptr) {
    if (stmt->diag.pending == 0) stmt->diag.pending = ERR_INVALID_CURSOR_STATE;
    return SQL_ERROR;
  }
  uint32_t count = 0;
  const int32_t code = FWD_ScrollFetch(stmt, orientation, row, &count);
  if (code == ERR_NO_DATA_FOUND) {
    if (rowCount != nullptr) *rowCount = 0;
    if (statuses != nullptr)
      for (uint32_t r = 0; r < stmt->cursor.rowsetSize; ++r) statuses[r] = SQL_ROW_NOROW;
    return SQL_NO_DATA;
  }
  if (code != 0) return Fail(stmt, code);
  if (rowCount != nullptr) *rowCount = count;
  return RowsetToBindings(stmt, statuses, 0, kRowsetPlain);
}

SQLRETURN FetchCore(StmtHandle* stmt, uint16_t orientation, int64_t offset) {
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  const bool forwardOnly = ForwardOnly(stmt);
  if (forwardOnly && orientation != SQL_FETCH_NEXT) return Fail(stmt, ERR_FETCH_TYPE_RANGE);
  if (forwardOnly && stmt->cursor.rowsetSize <= 1) return FetchRowToBindings(stmt);

  DescHandle* ird = stmt->ird;
  uint64_t localCount = 0;
  uint64_t* count = ird != nullptr && ird->rowsProcessed != nullptr ? ird->rowsProcessed
                                                                     : &localCount;
  uint16_t* statuses = ird != nullptr ? ird->arrayStatus : nullptr;
  std::unique_ptr<uint16_t[]> temporary;
  if (statuses == nullptr) {
    temporary.reset(new (std::nothrow) uint16_t[stmt->cursor.rowsetSize > 0
                                                    ? stmt->cursor.rowsetSize
                                                    : 1]);
    if (temporary == nullptr) return Fail(stmt, ERR_NO_MEMORY);
    statuses = temporary.get();
  }
  int64_t row = offset;
  if (orientation == SQL_FETCH_BOOKMARK) {
    // Bookmarks are 8 bytes wide, as SQLGetData hands them out.
    const auto* bm = static_cast<const uint64_t*>(stmt->fetch.fetchBookmark);
    row = static_cast<int64_t>(bm != nullptr ? *bm : 0) + offset;
  }
  const SQLRETURN rc = ExtendedFetchCore(stmt, orientation, row, count, statuses);
  if (forwardOnly && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
    stmt->rowsFetched += *count;
  return rc;
}

// ---------------------------------------------------------------------------
// Operations.

DRV_Return DRV_FetchScrollOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto orientation = static_cast<uint16_t>(va_arg(args, int));
  const auto offset = static_cast<int64_t>(va_arg(args, SQLLEN));
  return FetchCore(stmt, orientation, offset);
}

DRV_Return DRV_ExtendedFetchOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto orientation = static_cast<uint16_t>(va_arg(args, int));
  const auto row = static_cast<int64_t>(va_arg(args, SQLLEN));
  auto* rowCount = va_arg(args, SQLULEN*);
  auto* statuses = va_arg(args, SQLUSMALLINT*);
  uint64_t count = 0;
  const SQLRETURN rc = ExtendedFetchCore(stmt, orientation, row, &count, statuses);
  if (rowCount != nullptr) *rowCount = count;
  if (ForwardOnly(stmt) && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
    stmt->rowsFetched += count;
  return rc;
}
