// SQLBulkOperations: rows added from the bound arrays, and rows updated,
// deleted or fetched by the bookmarks bound to column 0.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>

#include "driver/bind.h"
#include "driver/ops.h"
#include "driver/rowset/fetch.h"
#include "driver/rowset/setpos.h"
#include "driver/stmt.h"
#include "scrs/scrcore.h"
#include "util/errcodes.h"
#include "util/rowstatus.h"

namespace {

bool ByKeys(const SCR_CURSOR& c) {
  return c.cursorType == SQL_CURSOR_STATIC || c.cursorType == SQL_CURSOR_KEYSET_DRIVEN;
}

// The bookmarks of the bound arrays, 8 bytes each as SQLGetData and
// SQL_ATTR_FETCH_BOOKMARK_PTR hand them out (no more than a shorter buffer
// holds).
void ReadBookmarks(StmtHandle* stmt, const DescRec* rec) {
  SetPosState& st = stmt->setPos;
  st.bookmarks.resize(st.rows);
  const int64_t offset = BIND_Offset(stmt);
  for (uint32_t i = 0; i < st.rows; ++i) {
    const BIND_REC b = BIND_FromRec(stmt, 0, rec, offset, i);
    uint64_t v = 0;
    const int64_t room = b.bufferLength;
    std::memcpy(&v, b.data, room >= 0 && room < 8 ? static_cast<size_t>(room) : sizeof v);
    st.bookmarks[i] = v;
  }
}

// Every row's status, or SQL_ROW_ERROR for each when the agent gave none.
void WriteStatuses(StmtHandle* stmt, const uint16_t* statuses, uint32_t n) {
  const SetPosState& st = stmt->setPos;
  DescHandle* ird = stmt->ird;
  if (ird != nullptr && ird->arrayStatus != nullptr)
    for (uint32_t i = 0; i < st.rows; ++i)
      ird->arrayStatus[i] = statuses != nullptr && i < n ? statuses[i] : SQL_ROW_ERROR;
  if (ird != nullptr && ird->rowsProcessed != nullptr) *ird->rowsProcessed = st.rows;
}

// The fetched rows become the rowset, in the order of the bookmarks.
SQLRETURN InstallFetched(StmtHandle* stmt, ROWSTATUS* fetched) {
  STMT_CloseCursor(stmt);
  stmt->cursor.rowStatus = fetched;
  stmt->cursor.position = 1;
  // Its rows follow no one row number: the rowset has no first row that
  // would number the others.
  stmt->cursor.rowsetStart = -1;
  uint16_t* app = stmt->ird != nullptr ? stmt->ird->arrayStatus : nullptr;
  return RowsetToBindings(stmt, app, 0, kRowsetByBookmark);
}

}  // namespace

SQLRETURN BulkSend(StmtHandle* stmt) {
  SetPosState& st = stmt->setPos;
  ColSetPtr values;
  UniqueFree<uint16_t> list;
  const bool update = st.op == SQL_UPDATE_BY_BOOKMARK;
  if (update) {
    int rc = SetPosValues(stmt, st.columns, false, &values);
    if (rc == 0) rc = SetPosHandOver(stmt, values.get(), &list);
    if (rc != 0) return Fail(stmt, rc);
  }
  const auto ncols = static_cast<uint16_t>(update ? st.columns.size() : 0);
  uint16_t* raw = nullptr;
  uint32_t n = 0;
  ROWSTATUS* fetched = nullptr;
  const uint32_t code = stmt->agent->ops->DRV_BulkOperations(
      stmt->agentStmt, st.op, st.bookmarks.data(), st.rows, values.release(), list.release(), ncols,
      &raw, &n, st.op == SQL_FETCH_BY_BOOKMARK ? &fetched : nullptr);
  UniqueFree<uint16_t> statuses(raw);
  SQLRETURN rc = SetPosResult(stmt, code);
  if (st.op == SQL_FETCH_BY_BOOKMARK && fetched != nullptr) {
    // The transfer's failure, or its warning over plain success, wins.
    const SQLRETURN moved = InstallFetched(stmt, fetched);
    if (moved == SQL_ERROR || rc == SQL_SUCCESS) rc = moved;
  }
  WriteStatuses(stmt, statuses.get(), n);
  return rc;
}

SQLRETURN BulkOperationsCore(StmtHandle* stmt, uint16_t op) {
  if (stmt->needData != 0) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  if (op < SQL_ADD || op > SQL_FETCH_BY_BOOKMARK) return Fail(stmt, ERR_OPTION_RANGE);
  if (!ByKeys(stmt->cursor)) return Fail(stmt, ERR_BULK_NOT_SUPPORTED);
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  const uint64_t size = stmt->ard != nullptr ? stmt->ard->arraySize : 0;
  if (size == 0) return SQL_SUCCESS;
  if (size > UINT16_MAX) return Fail(stmt, ERR_ROW_RANGE);
  const auto rows = static_cast<uint32_t>(size);
  const bool changes = op != SQL_FETCH_BY_BOOKMARK;
  if (changes && stmt->cursor.concurrency == SQL_CONCUR_READ_ONLY)
    return Fail(stmt, ERR_OPTION_RANGE);
  if (op == SQL_ADD) return SetPosAdd(stmt, rows);

  const DescRec* bookmark = SetPosBound(stmt, 0);
  if (stmt->useBookmarks == SQL_UB_OFF || bookmark == nullptr) return Fail(stmt, ERR_OPTION_RANGE);
  SetPosReset(stmt);
  SetPosState& st = stmt->setPos;
  st.op = op;
  st.bulk = true;
  st.rows = rows;
  st.skip.assign(rows, 0);
  ReadBookmarks(stmt, bookmark);
  if (op != SQL_UPDATE_BY_BOOKMARK) return BulkSend(stmt);
  if (int rc = SetPosColumns(stmt, &st.columns)) return Fail(stmt, rc);
  if (st.columns.empty()) return Fail(stmt, ERR_DERIVED_TABLE_DEGREE);
  return SetPosSendOrAsk(stmt, kNeedBulk);
}

DRV_Return DRV_BulkOperationsOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto op = static_cast<uint16_t>(va_arg(args, int));
  return BulkOperationsCore(stmt, op);
}
