// SQLSetPos: the checks, the row set of new values taken from the bound
// columns, the values that come at execution, and the row statuses the
// agent hands back.
#include "driver/rowset/setpos.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "driver/bind.h"
#include "driver/coldesc.h"
#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/ops.h"
#include "driver/params.h"
#include "driver/rowset/fetch.h"
#include "driver/rowset/paramset.h"
#include "driver/rowset/rowbuf_cut.h"
#include "driver/stmt.h"
#include "drv_jdbc/agent_codes.h"
#include "scrs/scrcore.h"
#include "util/errcodes.h"
#include "util/rowstatus.h"

namespace {

uint32_t RowsetSize(const StmtHandle* stmt) {
  return stmt->cursor.rowsetSize > 0 ? stmt->cursor.rowsetSize : 1;
}

bool IsVariable(int16_t c) { return c == SQL_C_CHAR || c == SQL_C_WCHAR || c == SQL_C_BINARY; }

// The raw words of one bound column in one row of the bound arrays.
struct Cell {
  const void* data = nullptr;
  int64_t length = SQL_NTS;
  int64_t indicator = 0;
  int64_t bufferLength = 0;  // the bound buffer's, where the binding gives one
};

Cell CellAt(StmtHandle* stmt, uint16_t column, uint32_t row) {
  Cell c;
  const DescRec* rec = SetPosBound(stmt, column);
  if (rec == nullptr) return c;
  const BIND_REC b = BIND_FromRec(stmt, column, rec, BIND_Offset(stmt), row);
  c.data = b.data;
  c.bufferLength = rec->octetLength;
  if (!IsVariable(rec->conciseType)) c.length = TYPE_CSize(rec->conciseType);
  if (b.length != nullptr) c.length = *b.length;
  if (b.indicator != nullptr) c.indicator = *b.indicator;
  return c;
}

bool IsNull(const Cell& c) { return c.indicator == SQL_NULL_DATA || c.length == SQL_NULL_DATA; }

// The values of the rows a change addresses, as the bound arrays (and the
// values gathered at execution) give them.
class RowValues : public ParamSource {
 public:
  RowValues(StmtHandle* stmt, bool honourOps) : stmt_(stmt), honourOps_(honourOps) {}
  uint64_t Sets() const override { return stmt_->setPos.rows; }
  bool Ignored(uint64_t i) const override {
    return honourOps_ && stmt_->setPos.skip[static_cast<size_t>(i)] != 0;
  }
  ParamValue Value(const ParamBinding& b, uint64_t i) const override {
    const auto row = static_cast<uint32_t>(stmt_->setPos.first + i);
    const auto column = static_cast<uint16_t>(b.number);
    const Cell c = CellAt(stmt_, column, row);
    ParamValue v;
    if (IsNull(c)) {
      v.kind = ParamValue::kNull;
      return v;
    }
    if (ParamIsDataAtExec(c.length)) {
      static const char kEmpty[1] = {0};
      const BindRowBuffers* rb = BIND_RowBuffers(stmt_, column);
      v.data = kEmpty;
      v.length = 0;
      if (rb != nullptr && row < rb->count) {
        if (rb->lengths[row] == SQL_NULL_DATA) {
          v.kind = ParamValue::kNull;
        } else if (rb->values[row] != nullptr) {
          v.data = rb->values[row];
          v.length = rb->lengths[row];
        }
      }
      return v;
    }
    v.data = c.data;
    if (b.elementSize > 0) {
      v.length = b.elementSize;
    } else if (c.length >= 0 && c.length <= kParamMaxLength) {
      v.length = c.length;
    } else if (c.length == SQL_NTS) {
      v.length = PAR_NtsLength(b.cType, c.data, c.bufferLength);
    } else {
      // SQL_COLUMN_IGNORE in a row after the first is refused too: one
      // statement writes the same columns in every row.
      v.kind = ParamValue::kBadLength;
      v.length = c.length;
    }
    return v;
  }

 private:
  StmtHandle* stmt_;
  bool honourOps_;
};

// SQL_DELETE sends no values, only which rows to leave alone.
int SkipFlags(StmtHandle* stmt, ColSetPtr* out) {
  ColSetPtr set(new (std::nothrow) COLSET());
  if (set == nullptr || ColSetInit(set.get(), 1) != 0) return ERR_NO_MEMORY;
  set->cols[0].type = COLSET_VT_BIT;
  set->cols[0].elem_size = 1;
  set->cols_used = 1;
  const SetPosState& st = stmt->setPos;
  if (ColSetSetRows(set.get(), st.rows) != 0) return ERR_NO_MEMORY;
  for (uint32_t i = 0; i < st.rows; ++i)
    if (st.skip[i] != 0) set->cols[0].ind[i] = COLSET_IND_SKIP;
  set->rows_held = st.rows;
  *out = std::move(set);
  return 0;
}

// Marks the rows a change leaves alone and checks the row it addresses:
// the rows the application ignores, and with RowNumber 0 the rows that are
// not there to change.
int MarkRows(StmtHandle* stmt) {
  SetPosState& st = stmt->setPos;
  const uint16_t* ops = stmt->ard != nullptr ? stmt->ard->arrayStatus : nullptr;
  const ROWSTATUS* rs = stmt->cursor.rowStatus;
  const bool needsRow = st.op != SQL_ADD && st.op != SQL_POSITION;
  uint32_t live = 0;
  st.skip.assign(st.rows, 0);
  for (uint32_t i = 0; i < st.rows; ++i) {
    const uint32_t r = st.first + i;
    // The row operation array speaks of the rows of an operation on all rows.
    if (st.row == 0 && ops != nullptr && ops[r] == SQL_ROW_IGNORE) st.skip[i] = 1;
    if (st.op == SQL_ADD) continue;
    const uint16_t status =
        rs != nullptr && r < rs->count ? SCR_GetRowStatusAt(rs, r + 1) : SQL_ROW_NOROW;
    const bool gone = status == SQL_ROW_DELETED || status == SQL_ROW_ERROR;
    if (st.row != 0 && (status == SQL_ROW_NOROW || (needsRow && gone)))
      return ERR_INVALID_CURSOR_POSITION;
    if (status == SQL_ROW_NOROW || (needsRow && gone))
      st.skip[i] = 1;
    else
      ++live;
  }
  if (st.op != SQL_ADD && live == 0) return ERR_INVALID_CURSOR_POSITION;
  return 0;
}

// Writes the statuses the agent handed back into the rowset and the
// application's status array; rows left alone keep theirs.
void WriteStatuses(StmtHandle* stmt, const uint16_t* statuses, uint32_t n) {
  const SetPosState& st = stmt->setPos;
  uint16_t* app = stmt->ird != nullptr ? stmt->ird->arrayStatus : nullptr;
  for (uint32_t i = 0; statuses != nullptr && i < n && i < st.rows; ++i) {
    if (st.skip[i] != 0) continue;
    const uint32_t r = st.first + i;
    // An added row is no row of the fetched rowset.
    if (st.op != SQL_ADD) SCR_SetRowStatusAt(stmt->cursor.rowStatus, r + 1, statuses[i]);
    if (app != nullptr) app[r] = statuses[i];
  }
}

// SQLBulkOperations(SQL_ADD) hands back the bookmarks of the rows it added
// in the bound column 0, each as ReadBookmarks reads it back; 0, which
// names no row, for a row that got none.
void AddedBookmarks(StmtHandle* stmt, const uint16_t* statuses, uint32_t n) {
  const SetPosState& st = stmt->setPos;
  const DescRec* rec = stmt->useBookmarks != SQL_UB_OFF ? SetPosBound(stmt, 0) : nullptr;
  if (rec == nullptr) return;
  const int64_t offset = BIND_Offset(stmt);
  for (uint32_t i = 0; i < st.rows; ++i) {
    if (st.skip[i] != 0) continue;
    uint32_t mark = i;
    uint16_t len = 0;
    if (statuses == nullptr || i >= n || statuses[i] != SQL_ROW_ADDED ||
        stmt->agent->ops->DRV_GetInfo(stmt->agentStmt, INFO_ADDED_BOOKMARK, &mark, sizeof mark,
                                      &len) != 0)
      mark = 0;
    const BIND_REC b = BIND_FromRec(stmt, 0, rec, offset, st.first + i);
    if (b.data == nullptr) continue;
    const uint64_t v = mark;
    const int64_t room = b.bufferLength;
    std::memcpy(b.data, &v, room >= 0 && room < 8 ? static_cast<size_t>(room) : sizeof v);
    if (b.indicator != nullptr) *b.indicator = 0;
    if (b.length != nullptr) *b.length = sizeof v;
  }
}

int32_t AgentRow(const SetPosState& st) { return st.row == 0 ? -2 : static_cast<int32_t>(st.row); }

// Sends the change to the agent; the value set and the column list become
// the agent's whatever it answers.
SQLRETURN SetPosSend(StmtHandle* stmt) {
  SetPosState& st = stmt->setPos;
  ColSetPtr values;
  int rc = st.op == SQL_DELETE ? SkipFlags(stmt, &values)
                               : SetPosValues(stmt, st.columns, true, &values);
  UniqueFree<uint16_t> list;
  if (rc == 0) rc = SetPosHandOver(stmt, values.get(), &list);
  if (rc != 0) return Fail(stmt, rc);
  const auto ncols = static_cast<uint16_t>(st.columns.size());
  uint16_t* raw = nullptr;
  uint32_t n = 0;
  const uint32_t code = stmt->agent->ops->DRV_SetPos(stmt->agentStmt, AgentRow(st), st.op, 0, &raw,
                                                     &n, values.release(), list.release(), ncols);
  UniqueFree<uint16_t> statuses(raw);
  WriteStatuses(stmt, statuses.get(), n);
  if (st.bulk && st.op == SQL_ADD) AddedBookmarks(stmt, statuses.get(), n);
  return SetPosResult(stmt, code);
}

}  // namespace

const DescRec* SetPosBound(StmtHandle* stmt, uint16_t column) { return DESC_FindRec(column, stmt); }

int SetPosColumns(StmtHandle* stmt, std::vector<uint16_t>* out) {
  out->clear();
  const SetPosState& st = stmt->setPos;
  uint32_t firstRow = st.first;
  for (uint32_t i = 0; i < st.rows && i < st.skip.size(); ++i)
    if (st.skip[i] == 0) {
      firstRow = st.first + i;
      break;
    }
  const int count = stmt->ard != nullptr ? DESC_Count(stmt->ard) : 0;
  try {
    for (int n = 1; n <= count; ++n) {
      const auto column = static_cast<uint16_t>(n);
      if (SetPosBound(stmt, column) == nullptr) continue;
      const JdbcColDesc* d = STMT_GetCol(stmt, column);
      if (d == nullptr) return ERR_GENERAL;
      if (ColDescUpdatable(d) == COLDESC_UPDATE_READONLY) continue;
      if (CellAt(stmt, column, firstRow).length == SQL_COLUMN_IGNORE) continue;
      out->push_back(column);
    }
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  }
  return 0;
}

int SetPosValues(StmtHandle* stmt, const std::vector<uint16_t>& columns, bool honourOps,
                 ColSetPtr* out) {
  out->reset();
  std::vector<ParamBinding> bindings(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    ParamBinding& b = bindings[i];
    const DescRec* rec = SetPosBound(stmt, columns[i]);
    const JdbcColDesc* d = STMT_GetCol(stmt, columns[i]);
    if (rec == nullptr || d == nullptr) return ERR_GENERAL;
    b.number = columns[i];
    b.apd = rec;
    b.cType =
        rec->conciseType == SQL_C_DEFAULT ? static_cast<int16_t>(SQL_C_CHAR) : rec->conciseType;
    b.sqlType = static_cast<int16_t>(d->sql_type);
    b.elementSize = IsVariable(b.cType) ? 0 : TYPE_CSize(b.cType);
  }
  ColSetPtr set(new (std::nothrow) COLSET());
  if (set == nullptr) return ERR_NO_MEMORY;
  uint32_t rows = 0;
  if (int rc = ParamSetBuildFrom(RowValues(stmt, honourOps), bindings.data(),
                                 static_cast<uint16_t>(bindings.size()), set.get(), &rows, true))
    return rc;
  *out = std::move(set);
  return 0;
}

int SetPosHandOver(StmtHandle* stmt, COLSET* values, UniqueFree<uint16_t>* list) {
  if (stmt->conn->cn_narrowText != 0)
    if (int rc = RB_NarrowWideCols(values)) return rc;
  const std::vector<uint16_t>& columns = stmt->setPos.columns;
  list->reset();
  if (columns.empty()) return 0;
  const size_t bytes = columns.size() * sizeof(uint16_t);
  list->reset(static_cast<uint16_t*>(std::malloc(bytes)));
  if (*list == nullptr) return ERR_NO_MEMORY;
  std::memcpy(list->get(), columns.data(), bytes);
  return 0;
}

SQLRETURN SetPosResult(StmtHandle* stmt, uint32_t code) {
  if (code == 0) return SQL_SUCCESS;
  // The agent's messages tell what happened; the code stands in for none.
  const bool told = STMT_PullErrors(stmt) != 0;
  // Rows that were not changed, changed more than once or failed among
  // others are warnings: the statuses say which.
  if (code == ERR_NO_ROWS_CHANGED || code == ERR_SEVERAL_ROWS_CHANGED || code == ERR_ROW_ERROR)
    return told ? SQL_SUCCESS_WITH_INFO : Warn(stmt, static_cast<int32_t>(code));
  return told ? SQL_ERROR : Fail(stmt, static_cast<int32_t>(code));
}

bool SetPosNextDae(StmtHandle* stmt) {
  SetPosState& st = stmt->setPos;
  for (; st.daeRow < st.first + st.rows; ++st.daeRow, st.daeCol = 0) {
    if (st.skip[st.daeRow - st.first] != 0) continue;
    for (; st.daeCol < st.columns.size(); ++st.daeCol) {
      const Cell c = CellAt(stmt, st.columns[st.daeCol], st.daeRow);
      if (!IsNull(c) && ParamIsDataAtExec(c.length)) return true;
    }
  }
  return false;
}

void SetPosReset(StmtHandle* stmt) { stmt->setPos = SetPosState{}; }

namespace {

SQLRETURN Run(StmtHandle* stmt, uint64_t row, uint16_t op, uint32_t first, uint32_t rows,
              bool bulk = false) {
  SetPosReset(stmt);
  SetPosState& st = stmt->setPos;
  st.row = row;
  st.op = op;
  st.bulk = bulk;
  st.first = first;
  st.rows = rows;
  st.daeRow = first;
  if (op != SQL_ADD) {
    const int32_t pos = stmt->cursor.position;
    if (stmt->cursor.rowStatus == nullptr || pos == SCR_POS_BEFORE_START ||
        pos == SCR_POS_AFTER_END)
      return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  }
  if (int rc = MarkRows(stmt)) return Fail(stmt, rc);
  if (op != SQL_ADD) {
    if (int rc = SCR_SetRowPos(&stmt->cursor, row == 0 ? 1 : static_cast<int32_t>(row)))
      return Fail(stmt, rc);
  }
  switch (op) {
    case SQL_POSITION:
      return SetPosResult(
          stmt, stmt->agent->ops->DRV_SetPos(stmt->agentStmt, AgentRow(st), op, 0, nullptr, nullptr,
                                             nullptr, nullptr, 0));
    case SQL_REFRESH: {
      uint16_t* app = stmt->ird != nullptr ? stmt->ird->arrayStatus : nullptr;
      return RowsetToBindings(stmt, app, static_cast<uint32_t>(row), kRowsetRefresh);
    }
    case SQL_DELETE: return SetPosSend(stmt);
    case SQL_UPDATE:
    case SQL_ADD:
      if (int rc = SetPosColumns(stmt, &st.columns)) return Fail(stmt, rc);
      if (st.columns.empty()) return Fail(stmt, ERR_DERIVED_TABLE_DEGREE);
      return SetPosSendOrAsk(stmt, kNeedSetPos);
    default: return Fail(stmt, ERR_NOT_CAPABLE);
  }
}

// SQL_POSITION on a forward-only cursor moves inside the rowset fetched
// last, so that SQLGetData reads any of its rows; nothing is asked of the
// agent, which keeps no rowset of its own for such a cursor.
SQLRETURN ForwardPosition(StmtHandle* stmt, uint64_t row) {
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  const ROWSTATUS* rs = stmt->cursor.rowStatus;
  if (rs == nullptr) {
    // A rowset of one row is the row read last.
    if (stmt->rowIndex == 0 || stmt->rowIndex > stmt->rows.rows_held)
      return Fail(stmt, ERR_INVALID_CURSOR_STATE);
    return row <= 1 ? SQL_SUCCESS : Fail(stmt, ERR_ROW_RANGE);
  }
  if (stmt->cursor.position < 1) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  const uint32_t held = rs->rows != nullptr ? rs->rows->rows_held : 0;
  const uint64_t at = row == 0 ? 1 : row;
  if (at > held) return Fail(stmt, ERR_ROW_RANGE);
  stmt->cursor.position = static_cast<int32_t>(at);
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN SetPosCore(StmtHandle* stmt, uint64_t row, uint16_t op, uint16_t lock) {
  if (lock != SQL_LOCK_NO_CHANGE) return Fail(stmt, ERR_NOT_CAPABLE);
  if (stmt->conn == nullptr || stmt->conn->cn_hasScrlCurs == 0)
    return Fail(stmt, ERR_NOT_SUPPORTED);
  if (stmt->needData != 0) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  if (stmt->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY) {
    if (op != SQL_POSITION) return Fail(stmt, ERR_INVALID_CURSOR_POSITION);
    if (row > RowsetSize(stmt)) return Fail(stmt, ERR_ROW_RANGE);
    return ForwardPosition(stmt, row);
  }
  const bool change = op == SQL_UPDATE || op == SQL_DELETE || op == SQL_ADD;
  // ODBC refuses changes of a read-only cursor as an option out of range.
  if (change && stmt->cursor.concurrency == SQL_CONCUR_READ_ONLY)
    return Fail(stmt, ERR_OPTION_RANGE);
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  const uint32_t size = RowsetSize(stmt);
  if (row > size) return Fail(stmt, ERR_ROW_RANGE);
  return row == 0 ? Run(stmt, 0, op, 0, size)
                  : Run(stmt, row, op, static_cast<uint32_t>(row - 1), 1);
}

// Values at execution are asked for before anything is sent.
SQLRETURN SetPosSendOrAsk(StmtHandle* stmt, uint16_t step) {
  SetPosState& st = stmt->setPos;
  if (int rc = BIND_AllocExt(stmt, st.first + st.rows)) return Fail(stmt, rc);
  if (SetPosNextDae(stmt)) {
    stmt->needData = step;
    return SQL_NEED_DATA;
  }
  return step == kNeedBulk ? BulkSend(stmt) : SetPosSend(stmt);
}

SQLRETURN SetPosAdd(StmtHandle* stmt, uint32_t rows) {
  return Run(stmt, 0, SQL_ADD, 0, rows, true);
}

SQLRETURN SetPosParamData(StmtHandle* stmt, void** token) {
  SetPosState& st = stmt->setPos;
  if (st.named) {
    ++st.daeCol;
    st.named = false;
  }
  if (SetPosNextDae(stmt)) {
    const uint16_t column = st.columns[st.daeCol];
    // A value named again starts afresh.
    if (BindRowBuffers* rb = BIND_RowBuffers(stmt, column)) {
      std::free(rb->values[st.daeRow]);
      rb->values[st.daeRow] = nullptr;
      rb->lengths[st.daeRow] = 0;
    }
    if (token != nullptr) {
      const BIND_REC b =
          BIND_FromRec(stmt, column, SetPosBound(stmt, column), BIND_Offset(stmt), st.daeRow);
      *token = b.data;
    }
    st.named = true;
    return SQL_NEED_DATA;
  }
  const uint16_t step = stmt->needData;
  stmt->needData = 0;
  return step == kNeedBulk ? BulkSend(stmt) : SetPosSend(stmt);
}

SQLRETURN SetPosPutData(StmtHandle* stmt, const void* data, int64_t length) {
  SetPosState& st = stmt->setPos;
  if (!st.named) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  const uint16_t column = st.columns[st.daeCol];
  BindRowBuffers* rb = BIND_RowBuffers(stmt, column);
  const DescRec* rec = SetPosBound(stmt, column);
  if (rb == nullptr || rec == nullptr || st.daeRow >= rb->count) return Fail(stmt, ERR_GENERAL);
  void*& value = rb->values[st.daeRow];
  int64_t& held = rb->lengths[st.daeRow];
  if (length == SQL_NULL_DATA) {
    std::free(value);
    value = nullptr;
    held = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  const int16_t c = rec->conciseType;
  const bool fixed = !IsVariable(c) && c != SQL_C_DEFAULT;
  if (fixed) {
    // A fixed-size value comes whole; its length argument does not count.
    length = TYPE_CSize(c);
    held = 0;
  } else if (length == SQL_NTS && data != nullptr) {
    length = PAR_NtsLength(c, data);
  }
  if (length < 0) return Fail(stmt, ERR_INVALID_LENGTH);
  if (data == nullptr && length > 0) return Fail(stmt, ERR_INVALID_ARGUMENT);
  if (held == SQL_NULL_DATA) held = 0;
  void* grown = std::realloc(value, static_cast<size_t>(held + length + 1));
  if (grown == nullptr) return Fail(stmt, ERR_NO_MEMORY);
  value = grown;
  if (length > 0) std::memcpy(static_cast<char*>(value) + held, data, static_cast<size_t>(length));
  held += length;
  return SQL_SUCCESS;
}

DRV_Return DRV_SetPosOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  // RowNumber is the 64-bit SQLSETPOSIROW: a high row never wraps into range.
  const auto row = static_cast<uint64_t>(va_arg(args, SQLSETPOSIROW));
  const auto op = static_cast<uint16_t>(va_arg(args, int));
  const auto lock = static_cast<uint16_t>(va_arg(args, int));
  return SetPosCore(stmt, row, op, lock);
}
