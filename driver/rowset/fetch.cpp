// Fetch, fetch-scroll and extended fetch into bound columns.
#include "driver/rowset/fetch.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "driver/agent_fail.h"
#include "driver/coldesc.h"
#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/ops.h"
#include "driver/rowset/convert.h"
#include "driver/stmt.h"
#include "driver/trace.h"
#include "scrs/scrcore.h"
#include "util/errcodes.h"
#include "util/rowstatus.h"

namespace {

// A length that says the column is left for SQLGetData in a positioned
// refresh; unixODBC has no name for it.
constexpr int64_t kDataAtFetch = -6;
// Rowsets up to this size fetch their unasked-for statuses into a local array.
constexpr uint32_t kLocalStatuses = 32;

bool ForwardOnly(const StmtHandle* stmt) {
  return stmt->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY;
}

bool RetrieveData(const StmtHandle* stmt) { return stmt->cursor.retrieveData != SQL_RD_OFF; }

// Whether a bookmark can name a row: none does below row 1. One past the
// result's last row may name a row the cursor added; the cursor library,
// which knows them, answers for those. Cursors that take no bookmarks
// refuse the orientation themselves.
bool NamesRow(const SCR_CURSOR& c, const int64_t* bookmark) {
  if (c.cursorType == SQL_CURSOR_FORWARD_ONLY || c.cursorType == SQL_CURSOR_DYNAMIC) return true;
  return bookmark != nullptr && *bookmark >= 1;
}

// Keeps the first failure and otherwise the last warning of a row's columns.
void Keep(SQLRETURN* result, SQLRETURN rc) {
  if (rc == SQL_SUCCESS || *result == SQL_ERROR) return;
  *result = rc;
}

template <class T>
T* Moved(T* p, int64_t bytes) {
  return p == nullptr ? nullptr : reinterpret_cast<T*>(reinterpret_cast<char*>(p) + bytes);
}

bool IsLong(uint32_t type) {
  return type == COLSET_VT_LONGCHAR || type == COLSET_VT_LONGBINARY || type == COLSET_VT_LONGWCHAR;
}

// Moves row `fromRow` of the row buffer to row `toRow` of a rowset of the
// same shape; a long value changes hands, so the buffer no longer frees it.
void MoveRow(COLSET* to, uint32_t toRow, COLSET* from, uint32_t fromRow) {
  for (uint16_t c = 0; c < to->cols_used; ++c) {
    COLSET_COL& dst = to->cols[c];
    COLSET_COL& src = from->cols[c];
    unsigned char* s = src.data + static_cast<size_t>(fromRow) * src.elem_size;
    std::memcpy(dst.data + static_cast<size_t>(toRow) * dst.elem_size, s, dst.elem_size);
    dst.ind[toRow] = src.ind[fromRow];
    if (IsLong(src.type)) {
      COLSET_LONG none{};
      std::memcpy(s, &none, sizeof none);
    }
  }
}

int ShapeLike(COLSET* rowset, const COLSET& block, uint32_t rows) {
  if (int rc = ColSetInit(rowset, block.cols_used)) return rc;
  for (uint16_t c = 0; c < block.cols_used; ++c) {
    rowset->cols[c].type = block.cols[c].type;
    rowset->cols[c].elem_size = block.cols[c].elem_size;
  }
  rowset->cols_used = block.cols_used;
  return ColSetSetRows(rowset, rows);
}

// A forward-only rowset after single-row fetches (SQLFetch with a rowset of
// one, then a larger one): the rows the agent already delivered into the
// statement's row buffer come first, so none is dropped, and the buffer is
// refilled through the agent while the rowset is not full.
int RowsetFromRowBuffer(StmtHandle* stmt, uint32_t* count) {
  *count = 0;
  const uint32_t size = stmt->cursor.rowsetSize > 0 ? stmt->cursor.rowsetSize : 1;
  ROWSTATUS* rs = nullptr;
  int code = 0;
  uint32_t n = 0;
  while (n < size) {
    if (stmt->rowIndex >= stmt->rows.rows_held) {
      if (STMT_Reexecute(stmt) != 0) {
        code = stmt->diag.pending != 0 ? stmt->diag.pending : ERR_GENERAL;
        break;
      }
      if (stmt->rows.rows_held == 0) break;
    }
    if (rs == nullptr) {
      code = RowStatusCreate(&rs, size);
      if (code == 0) code = ShapeLike(rs->rows, stmt->rows, size);
      if (code != 0) break;
    }
    MoveRow(rs->rows, n, &stmt->rows, stmt->rowIndex);
    SCR_SetRowStatusAt(rs, n + 1, SQL_ROW_SUCCESS);
    ++stmt->rowIndex;
    ++n;
  }
  if (code != 0 || n == 0) {
    RowStatusFree(&rs);
    return code != 0 ? code : ERR_NO_DATA_FOUND;
  }
  rs->rows->rows_held = n;
  SCR_StmtReset(&stmt->cursor);
  stmt->cursor.rowStatus = rs;
  stmt->cursor.position = 1;
  *count = n;
  return 0;
}

}  // namespace

int64_t BIND_Offset(const StmtHandle* stmt) {
  const DescHandle* ard = stmt->ard;
  return ard != nullptr && ard->bindOffset != nullptr ? *ard->bindOffset : 0;
}

namespace {

// How far apart the rows of a bound column's buffers lie: the row size of
// row-wise binding, else the C type's own size (whatever buffer length the
// application gave, for a fixed-size type; variable bookmarks are binary).
void BindSteps(const StmtHandle* stmt, uint16_t n, const DescRec* rec, int64_t* dataStep,
               int64_t* lengthStep) {
  if (stmt->bindType != SQL_BIND_BY_COLUMN) {
    *dataStep = *lengthStep = static_cast<int64_t>(stmt->bindType);
    return;
  }
  int64_t width =
      n == 0 && rec->conciseType != SQL_C_VARBOOKMARK ? 8 : TYPE_CSize(rec->conciseType);
  if (width <= 0) width = rec->octetLength;
  *dataStep = width;
  *lengthStep = static_cast<int64_t>(sizeof(SQLLEN));
}

// A bound column of one transfer, worked out once instead of for every
// value: its binding at row 0 and the steps to row r, and, where its plain
// values may skip GetColumn's checks, their conversion.
using Conversion = BoundConversion;

struct BoundColumn {
  const DescRec* rec = nullptr;  // null: not bound
  BIND_REC first;
  int64_t dataStep = 0;
  int64_t lengthStep = 0;
  Conversion conv;

  BIND_REC At(uint32_t r) const {
    BIND_REC b = first;
    if (r > 0) {
      b.data = Moved(b.data, static_cast<int64_t>(r) * dataStep);
      b.length = Moved(b.length, static_cast<int64_t>(r) * lengthStep);
      b.indicator = Moved(b.indicator, static_cast<int64_t>(r) * lengthStep);
    }
    return b;
  }
};

// Transfers take their plans from a fixed array: wider bindings go value by
// value through GetColumn alone.
constexpr int kMaxPlanned = 64;

// Bytes of a value the row buffer holds already in C type cType (an
// INTEGER as SQL_C_SLONG, a DATE as SQL_C_TYPE_DATE ...); 0 for any other
// pair and for an element too narrow for it.
uint8_t OwnSize(const COLSET_COL& col, int16_t cType) {
  uint8_t size = 0;
  switch (col.type) {
    case COLSET_VT_INTEGER:
      if (cType == SQL_C_SLONG || cType == SQL_C_LONG) size = 4;
      break;
    case COLSET_VT_DOUBLE:
      if (cType == SQL_C_DOUBLE) size = 8;
      break;
    case COLSET_VT_DATE:
      if (cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE) size = 6;
      break;
    case COLSET_VT_TIME:
      if (cType == SQL_C_TYPE_TIME || cType == SQL_C_TIME) size = 6;
      break;
    case COLSET_VT_TIMESTAMP:
      if (cType == SQL_C_TYPE_TIMESTAMP || cType == SQL_C_TIMESTAMP) size = 16;
      break;
    default: break;
  }
  return col.elem_size < size ? 0 : size;
}

// Where plain values of column n may skip GetColumn's checks: p->col and
// the C type, scale and precision GetColumn would resolve for each value.
// Its checks (the column's range, its description) and the
// C types it turns into others stay with it (p->col null).
void PlanConversion(const StmtHandle* stmt, uint16_t n, const DescRec* rec, const COLSET* set,
                    Conversion* p) {
  p->col = nullptr;
  p->ownSize = 0;
  if (n == 0 || set == nullptr || n > set->cols_used || stmt->cols == nullptr || n > stmt->colCount)
    return;
  const JdbcColDesc& desc = stmt->cols[n - 1];
  const int16_t cType = rec->conciseType;
  if (cType == SQL_C_DEFAULT || cType == SQL_ARD_TYPE ||
      (cType == SQL_C_BINARY && (desc.sql_type == SQL_BIGINT || desc.sql_type == SQL_GUID)) ||
      ExactNumberAsText(desc.sql_type, cType))
    return;
  p->precision = cType == SQL_C_NUMERIC ? static_cast<uint16_t>(rec->precision) : 0;
  p->scale = cType == SQL_C_NUMERIC ? rec->scale : 0;
  p->cType = cType;
  p->decimalDigits = desc.scale;
  p->col = &set->cols[n - 1];
  p->ownSize = OwnSize(*p->col, cType);
  p->fixedFromText = p->col->type == COLSET_VT_NTS && p->col->elem_size > 0 &&
                     cType != SQL_C_CHAR && cType != SQL_C_WCHAR && cType != SQL_C_BINARY;
}

void PlanColumn(StmtHandle* stmt, uint16_t n, DescRec* rec, int64_t offset, const COLSET* set,
                BoundColumn* p) {
  p->rec = rec;
  p->conv.col = nullptr;
  p->conv.ownSize = 0;
  if (rec == nullptr) return;
  p->first = BIND_FromRec(stmt, n, rec, offset, 0);
  BindSteps(stmt, n, rec, &p->dataStep, &p->lengthStep);
  PlanConversion(stmt, n, rec, set, &p->conv);
}

// Whether a date, time or timestamp element holds a value its own structure
// takes whole (see COLSET_YEAR_*; a time without a fraction); any other
// element is not one.
inline bool StructValue(uint32_t type, const unsigned char* e) {
  uint16_t f[2];
  switch (type) {
    case COLSET_VT_DATE:
    case COLSET_VT_TIMESTAMP: {
      int16_t year;
      std::memcpy(&year, e, 2);
      std::memcpy(f, e + 2, 2);
      if (year < 1 || year > 9999 || f[0] == 0 || f[0] > 12) return false;
      if (type == COLSET_VT_DATE) return true;
      std::memcpy(f + 1, e + 6, 2);
      return f[1] < 24;
    }
    case COLSET_VT_TIME: {
      uint32_t fraction;
      std::memcpy(f, e, 2);
      std::memcpy(&fraction, e + 8, 4);
      return f[0] < 24 && fraction == 0;
    }
    default: return true;
  }
}

// What Transfer does for a value held in the binding's own C type, small
// enough to sit in the loops over a block's values; false (nothing done)
// for any other value and while tracing.
inline bool TransferOwn(StmtHandle* stmt, const Conversion& p, const BIND_REC& b, uint32_t r,
                        const COLSET* set) {
  const COLSET_COL* col = p.col;
  if (p.ownSize == 0 || r >= set->rows_held || col->ind == nullptr || col->ind[r] != 0 ||
      b.data == nullptr || TRC_Active())
    return false;
  const unsigned char* e = col->data + static_cast<size_t>(r) * col->elem_size;
  if (!StructValue(col->type, e)) return false;
  if (b.indicator != nullptr) *b.indicator = 0;
  ColValueCache& c = stmt->fetch.cache;  // as the conversion leaves it
  ColClearCache(&c);
  c.column = b.column;
  c.row = r + 1;
  c.cType = p.cType;
  c.type = col->type;
  switch (p.ownSize) {  // copies of a known size, not a call
    case 4: std::memcpy(b.data, e, 4); break;
    case 6: std::memcpy(b.data, e, 6); break;
    case 8: std::memcpy(b.data, e, 8); break;
    default: std::memcpy(b.data, e, 16); break;
  }
  if (b.length != nullptr) *b.length = p.ownSize;
  return true;
}

// Text the row buffer holds NUL-terminated into a fixed-size target (a
// BIGINT or a DECIMAL into a number): measured here and handed straight to
// the text converter, past GetInlineValue's location of the value and its
// accounting for pieces, which a fixed-size target never leaves.
SQLRETURN FixedFromText(StmtHandle* stmt, const Conversion& p, const BIND_REC* b,
                        const unsigned char* e) {
  const char* text = reinterpret_cast<const char*>(e);
  const auto n = static_cast<int64_t>(strnlen(text, p.col->elem_size));
  ColValueCache& c = stmt->fetch.cache;
  c.type = p.col->type;
  c.total = n;
  if (ConvertPlainNumber(text, n, p.cType, b->data, b->length, p.scale, p.precision))
    return SQL_SUCCESS;
  return ConvertCHAR(text, n, n, p.cType, b->data, b->bufferLength, b->length, &stmt->diag.pending,
                     p.scale, p.precision);
}

// Row r of column n into its binding, as GetColumn would: a value held in
// the row buffer straight to its conversion, anything else (NULL, deferred,
// a binding GetColumn must look at) through GetColumn.
SQLRETURN Transfer(StmtHandle* stmt, const Conversion& p, BIND_REC* b, uint32_t r, COLSET* set) {
  const COLSET_COL* col = p.col;
  if (col == nullptr || r >= set->rows_held || col->ind == nullptr || col->ind[r] != 0 ||
      b->data == nullptr)
    return GetColumn(stmt, r, b, set);
  if (b->indicator != nullptr) *b->indicator = 0;
  ColValueCache& c = stmt->fetch.cache;
  ColClearCache(&c);
  c.column = b->column;
  c.row = r + 1;
  c.cType = p.cType;
  const SQLRETURN rc =
      p.fixedFromText
          ? FixedFromText(stmt, p, b, col->data + static_cast<size_t>(r) * col->elem_size)
          : GetInlineValue(stmt, r, b, *col, p.cType, p.scale, p.precision, p.decimalDigits);
  if (rc == SQL_ERROR) ColClearCache(&c);
  return rc;
}

}  // namespace

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
    BindSteps(stmt, n, rec, &dataStep, &lengthStep);
    dataStep *= r;
    lengthStep *= r;
  }
  b.data = Moved(rec->data, offset + dataStep);
  b.length = Moved(rec->octetLengthPtr, offset + lengthStep);
  b.indicator = Moved(rec->indicator, offset + lengthStep);
  return b;
}

namespace {

// Whether the single-row plan still describes the statement's bindings and
// row buffer (see BoundRowPlan).
bool RowPlanHolds(const StmtHandle* stmt, const BoundRowPlan& plan) {
  const DescHandle* ard = stmt->ard;
  if (!plan.valid || plan.ard != ard || plan.cols != stmt->rows.cols ||
      plan.colsUsed != stmt->rows.cols_used || plan.descs != stmt->cols ||
      plan.descCount != stmt->colCount ||
      plan.columns.size() != static_cast<size_t>(DESC_Count(ard)))
    return false;
  for (size_t k = 0; k < plan.columns.size(); ++k) {
    const RowPlanColumn& c = plan.columns[k];
    const DescRec* rec = ard->recs[k + 1].get();
    if (rec != c.rec || rec->data != c.data || rec->conciseType != c.conciseType ||
        rec->indicator != c.indicator || rec->octetLengthPtr != c.octetLengthPtr ||
        rec->octetLength != c.octetLength || rec->precision != c.precision || rec->scale != c.scale)
      return false;
  }
  return true;
}

void MakeRowPlan(StmtHandle* stmt, BoundRowPlan* plan) {
  DescHandle* ard = stmt->ard;
  const int count = DESC_Count(ard);
  plan->columns.resize(static_cast<size_t>(count));
  for (int n = 1; n <= count; ++n) {
    const DescRec* rec = ard->recs[static_cast<size_t>(n)].get();
    RowPlanColumn& c = plan->columns[static_cast<size_t>(n - 1)];
    c.rec = rec;
    c.data = rec->data;
    c.indicator = rec->indicator;
    c.octetLengthPtr = rec->octetLengthPtr;
    c.octetLength = rec->octetLength;
    c.conciseType = rec->conciseType;
    c.precision = rec->precision;
    c.scale = rec->scale;
    c.conv = Conversion{};
    if (rec->data != nullptr)
      PlanConversion(stmt, static_cast<uint16_t>(n), rec, &stmt->rows, &c.conv);
  }
  plan->ard = ard;
  plan->cols = stmt->rows.cols;
  plan->colsUsed = stmt->rows.cols_used;
  plan->descs = stmt->cols;
  plan->descCount = stmt->colCount;
  plan->valid = true;
}

}  // namespace

SQLRETURN FetchRowToBindings(StmtHandle* stmt) {
  SCR_StmtReset(&stmt->cursor);
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
    BoundRowPlan& plan = stmt->fetch.rowPlan;
    if (!RowPlanHolds(stmt, plan)) MakeRowPlan(stmt, &plan);
    const auto count = static_cast<uint16_t>(plan.columns.size());
    for (uint16_t n = 1; n <= count && result != SQL_ERROR; ++n) {
      const RowPlanColumn& c = plan.columns[n - 1u];
      if (c.data == nullptr) continue;
      // What BIND_FromRec makes of the record for row 0.
      BIND_REC b;
      b.column = n;
      b.cType = c.conciseType;
      b.decimalDigits = static_cast<uint16_t>(c.scale);
      b.bufferLength = c.octetLength;
      b.data = Moved(c.data, offset);
      b.length = Moved(c.octetLengthPtr, offset);
      b.indicator = Moved(c.indicator, offset);
      if (b.length != nullptr && *b.length == kDataAtFetch) continue;
      if (TransferOwn(stmt, c.conv, b, stmt->rowIndex, &stmt->rows)) continue;
      Keep(&result, Transfer(stmt, c.conv, &b, stmt->rowIndex, &stmt->rows));
    }
  }
  if (status != nullptr && result == SQL_ERROR) status[0] = SQL_ROW_ERROR;
  ++stmt->rowIndex;
  return result;
}

SQLRETURN RowsetToBindings(StmtHandle* stmt, uint16_t* statuses, uint32_t row, int mode) {
  ROWSTATUS* rs = stmt->cursor.rowStatus;
  if (rs == nullptr) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  const int64_t offset = BIND_Offset(stmt);
  const uint32_t size = stmt->cursor.rowsetSize > 0 ? stmt->cursor.rowsetSize : 1;
  const uint32_t first = row == 0 ? 0 : row - 1;
  const uint32_t last = row == 0 ? size : row;
  const uint16_t* ops = stmt->ard != nullptr ? stmt->ard->arrayStatus : nullptr;
  const int count = stmt->ard != nullptr ? DESC_Count(stmt->ard) : 0;

  // Only the plans of the columns there are get made: a rowset of one row
  // would otherwise pay for initialising every slot on each fetch.
  union PlanSlot {
    PlanSlot() {}
    BoundColumn plan;
  };
  static_assert(std::is_trivially_destructible_v<BoundColumn>, "slots are never destroyed");
  PlanSlot slots[kMaxPlanned + 1];
  const bool planned = count <= kMaxPlanned;
  for (int n = 0; planned && n <= count; ++n) {
    BoundColumn* p = new (&slots[n].plan) BoundColumn();
    PlanColumn(stmt, static_cast<uint16_t>(n), DESC_FindRec(n, stmt), offset, rs->rows, p);
  }

  BoundColumn one;  // a column of a binding too wide for the plans
  SQLRETURN result = SQL_SUCCESS;
  uint32_t withStatus = 0;
  uint32_t errorRows = 0;
  for (uint32_t r = first; r < last && result != SQL_ERROR; ++r) {
    // The row operation array speaks of the rows of an operation on all rows.
    if ((mode == kRowsetRefresh || mode == kRowsetHonourOps) && row == 0 && ops != nullptr &&
        ops[r] == SQL_ROW_IGNORE)
      continue;
    ColClearCache(&stmt->fetch.cache);
    uint16_t st = SCR_GetRowStatusAt(rs, r + 1);
    if (r >= rs->count) st = SQL_ROW_NOROW;
    if (statuses != nullptr) statuses[r] = st;
    if (st == SQL_ROW_NOROW) continue;
    ++withStatus;
    if (st == SQL_ROW_ERROR) {
      ++errorRows;
      if (result == SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
      // The agent's records say why each row failed, naming it.
      if (errorRows == 1) STMT_PullErrors(stmt);
      Warn(stmt, ERR_GENERAL);  // the call fails only when every row did
      continue;
    }
    const bool onlyBookmarks = st == SQL_ROW_DELETED || !RetrieveData(stmt);
    for (int n = 0; n <= count && result != SQL_ERROR; ++n) {
      if (!planned)
        PlanColumn(stmt, static_cast<uint16_t>(n), DESC_FindRec(n, stmt), offset, nullptr, &one);
      const BoundColumn& p = planned ? slots[n].plan : one;
      const DescRec* rec = p.rec;
      if (rec == nullptr || (n == 0 && mode == kRowsetByBookmark)) continue;
      if (onlyBookmarks && rec->conciseType != SQL_C_BOOKMARK &&
          rec->conciseType != SQL_C_VARBOOKMARK)
        continue;
      BIND_REC b = p.At(r);
      if (b.length != nullptr && *b.length == kDataAtFetch) continue;
      if (TransferOwn(stmt, p.conv, b, r, rs->rows)) continue;
      const SQLRETURN rc = Transfer(stmt, p.conv, &b, r, rs->rows);
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

SQLRETURN ExtendedFetchCore(StmtHandle* stmt, uint16_t orientation, int64_t row, uint64_t* rowCount,
                            uint16_t* statuses) {
  if (stmt->conn == nullptr || stmt->conn->cn_hasScrlCurs == 0)
    return Fail(stmt, ERR_NOT_SUPPORTED);
  const uint32_t type = stmt->cursor.cursorType;
  const bool forwardOnly = type == SQL_CURSOR_FORWARD_ONLY;
  const uint64_t paramSets = stmt->apd != nullptr ? stmt->apd->arraySize : 1;
  if (paramSets > 1 && !forwardOnly && orientation != SQL_FETCH_NEXT)
    return Fail(stmt, ERR_POSITIONED_PARAM_ARRAY);
  if (forwardOnly && orientation != SQL_FETCH_NEXT) return Fail(stmt, ERR_FETCH_TYPE_RANGE);
  const bool mixed = type == SQL_CURSOR_KEYSET_DRIVEN && stmt->cursor.keysetSize != 0;
  if (type == SQL_CURSOR_DYNAMIC && orientation == SQL_FETCH_BOOKMARK)
    return Fail(stmt, ERR_FETCH_TYPE_RANGE);
  if (mixed && stmt->cursor.keysetSize < stmt->cursor.rowsetSize) return Fail(stmt, ERR_ROW_RANGE);
  if (orientation == SQL_FETCH_ABSOLUTE && row == 0) {
    SCR_SetRowPos(&stmt->cursor, 0);
    SCR_StmtReset(&stmt->cursor);
    if (rowCount != nullptr) *rowCount = 0;
    if (statuses != nullptr)
      for (uint32_t r = 0; r < stmt->cursor.rowsetSize; ++r) statuses[r] = SQL_ROW_NOROW;
    return SQL_NO_DATA;
  }
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  if (STMT_GetColInfo(stmt) == nullptr) return FailUnlessPending(stmt, ERR_INVALID_CURSOR_STATE);
  uint32_t count = 0;
  int code = 0;
  if (forwardOnly && stmt->rowIndex < stmt->rows.rows_held) {
    code = RowsetFromRowBuffer(stmt, &count);
  } else {
    // The rowset is gone once the fetch starts, but the fetch may use its
    // storage again for the next.
    ROWSTATUS* last = stmt->cursor.rowStatus;
    stmt->cursor.rowStatus = nullptr;
    STMT_CloseCursor(stmt);
    stmt->cursor.rowStatus = last;
    code = SCR_ScrollFetch(&stmt->cursor, orientation, row, &count);
  }
  if (code == ERR_NO_DATA_FOUND) {
    if (rowCount != nullptr) *rowCount = 0;
    if (statuses != nullptr)
      for (uint32_t r = 0; r < stmt->cursor.rowsetSize; ++r) statuses[r] = SQL_ROW_NOROW;
    return SQL_NO_DATA;
  }
  if (code != 0 && code != ERR_FETCH_BEFORE_FIRST_ROWSET)
    return AgentFail(stmt, static_cast<uint32_t>(code));
  // A forward-only cursor counts its rows here: its rowset follows the rows
  // delivered so far.
  if (forwardOnly) stmt->cursor.rowsetStart = static_cast<int32_t>(stmt->rowsFetched + 1);
  if (rowCount != nullptr) *rowCount = count;
  const SQLRETURN rc = RowsetToBindings(stmt, statuses, 0, kRowsetPlain);
  if (code == 0 || rc == SQL_ERROR) return rc;
  // The first rowset stands in for one that began before it.
  if (stmt->diag.pending == 0) return Warn(stmt, ERR_FETCH_BEFORE_FIRST_ROWSET);
  return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN FetchCore(StmtHandle* stmt, uint16_t orientation, int64_t offset) {
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  const bool forwardOnly = ForwardOnly(stmt);
  if (forwardOnly && orientation != SQL_FETCH_NEXT) return Fail(stmt, ERR_FETCH_TYPE_RANGE);
  if (forwardOnly && stmt->cursor.rowsetSize <= 1) return FetchRowToBindings(stmt);

  DescHandle* ird = stmt->ird;
  uint64_t localCount = 0;
  uint64_t* count =
      ird != nullptr && ird->rowsProcessed != nullptr ? ird->rowsProcessed : &localCount;
  uint16_t* statuses = ird != nullptr ? ird->arrayStatus : nullptr;
  // Statuses nobody asked for: a small rowset's on the stack, as most are.
  uint16_t local[kLocalStatuses];
  std::unique_ptr<uint16_t[]> temporary;
  if (statuses == nullptr && stmt->cursor.rowsetSize <= kLocalStatuses) {
    statuses = local;
  } else if (statuses == nullptr) {
    temporary.reset(new (std::nothrow) uint16_t[stmt->cursor.rowsetSize]);
    if (temporary == nullptr) return Fail(stmt, ERR_NO_MEMORY);
    statuses = temporary.get();
  }
  int64_t row = offset;
  if (orientation == SQL_FETCH_BOOKMARK) {
    // Bookmarks are 8 bytes wide, as SQLGetData hands them out.
    const auto* bm = static_cast<const int64_t*>(stmt->fetchBookmarkPtr);
    if (!NamesRow(stmt->cursor, bm)) return Fail(stmt, ERR_INVALID_BOOKMARK);
    row = (bm != nullptr ? *bm : 0) + offset;
    stmt->cursor.bookmarkOffset = offset;
  }
  const SQLRETURN rc = ExtendedFetchCore(stmt, orientation, row, count, statuses);
  stmt->cursor.bookmarkOffset = 0;
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
  if (orientation == SQL_FETCH_BOOKMARK && !NamesRow(stmt->cursor, &row))
    return Fail(stmt, ERR_INVALID_BOOKMARK);
  uint64_t count = 0;
  const SQLRETURN rc = ExtendedFetchCore(stmt, orientation, row, &count, statuses);
  if (rowCount != nullptr) *rowCount = count;
  if (ForwardOnly(stmt) && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
    stmt->rowsFetched += count;
  return rc;
}
