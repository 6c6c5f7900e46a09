// TEMPORARY: forward-only rowsets until the scrollable cursor library lands.
#include "driver/rowset/fwdonly_pending.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "driver/rowset/rowstatus.h"
#include "driver/stmt.h"
#include "util/errcodes.h"

namespace {

bool IsLong(uint32_t type) {
  return type == COLSET_VT_LONGCHAR || type == COLSET_VT_LONGBINARY ||
         type == COLSET_VT_LONGWCHAR;
}

// The rowset takes the shape of the block it is filled from.
int ShapeLike(COLSET* rowset, const COLSET& block, uint32_t rows) {
  if (int rc = ColSetInit(rowset, block.cols_used)) return rc;
  for (uint16_t c = 0; c < block.cols_used; ++c) {
    rowset->cols[c].type = block.cols[c].type;
    rowset->cols[c].elem_size = block.cols[c].elem_size;
  }
  rowset->cols_used = block.cols_used;
  return ColSetSetRows(rowset, rows);
}

// Moves one row; the out-of-line value of a long column changes hands, so
// the block no longer frees it.
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

}  // namespace

int32_t FWD_ScrollFetch(StmtHandle* stmt, uint16_t orientation, int64_t, uint32_t* count) {
  *count = 0;
  if (orientation != SQL_FETCH_NEXT) return ERR_FETCH_TYPE_RANGE;
  RowStatusFree(&stmt->fetch.rowStatus);
  const uint32_t size = stmt->cursor.rowsetSize > 0 ? stmt->cursor.rowsetSize : 1;

  // Built apart and installed at the end: refilling the block resets what
  // the statement holds for its rows.
  ROWSTATUS* rs = nullptr;
  int32_t code = 0;
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
    rs->statuses[n] = SQL_ROW_SUCCESS;
    ++stmt->rowIndex;
    ++n;
  }
  if (code != 0 || n == 0) {
    RowStatusFree(&rs);
    return code != 0 ? code : ERR_NO_DATA_FOUND;
  }
  rs->rows->rows_held = n;
  stmt->fetch.rowStatus = rs;
  stmt->fetch.rowsetPos = 1;
  stmt->fetch.rowsetFirst = stmt->rowsFetched + 1;
  *count = n;
  return 0;
}

int32_t FWD_GetRowNumber(StmtHandle* stmt, uint32_t row, uint64_t* number) {
  *number = stmt->fetch.rowStatus != nullptr ? stmt->fetch.rowsetFirst + row : stmt->rowsFetched;
  return 0;
}
