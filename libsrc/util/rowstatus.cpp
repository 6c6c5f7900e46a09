// Row-status objects.
#include "util/rowstatus.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <new>

#include "util/errcodes.h"

void RowStatusClear(ROWSTATUS* rs) {
  if (rs == nullptr) return;
  if (rs->rows != nullptr) {
    ColSetFreeColumns(rs->rows);
    delete rs->rows;
    rs->rows = nullptr;
  }
  std::free(rs->statuses);
  rs->statuses = nullptr;
  rs->count = 0;
}

int RowStatusInit(ROWSTATUS* rs, int64_t n) {
  if (rs == nullptr || n <= 0 || n > UINT32_MAX) return ERR_GENERAL;
  RowStatusClear(rs);
  auto* statuses = static_cast<uint16_t*>(std::malloc(static_cast<size_t>(n) * sizeof(uint16_t)));
  if (statuses == nullptr) return ERR_NO_MEMORY;
  auto* rows = new (std::nothrow) COLSET();
  if (rows == nullptr) {
    std::free(statuses);
    return ERR_NO_MEMORY;
  }
  for (int64_t i = 0; i < n; ++i) statuses[i] = SQL_ROW_NOROW;
  rs->statuses = statuses;
  rs->rows = rows;
  if (int rc = ColSetInit(rows, 0)) {
    RowStatusClear(rs);
    return rc;
  }
  rs->count = static_cast<uint32_t>(n);
  return 0;
}

int RowStatusCreate(ROWSTATUS** slot, int64_t n) {
  if (slot == nullptr || n <= 0) return ERR_GENERAL;
  auto* rs = new (std::nothrow) ROWSTATUS();
  if (rs == nullptr) return ERR_NO_MEMORY;
  if (int rc = RowStatusInit(rs, n)) {
    delete rs;
    return rc;
  }
  *slot = rs;
  return 0;
}

void RowStatusFree(ROWSTATUS** slot) {
  if (slot == nullptr || *slot == nullptr) return;
  RowStatusClear(*slot);
  delete *slot;
  *slot = nullptr;
}

uint16_t SCR_GetRowStatusAt(const ROWSTATUS* rs, int64_t n) {
  if (rs == nullptr || rs->statuses == nullptr || n < 1 || n > rs->count) return SQL_ROW_ERROR;
  return rs->statuses[n - 1];
}

bool SCR_SetRowStatusAt(ROWSTATUS* rs, int64_t n, uint16_t status) {
  if (rs == nullptr || rs->statuses == nullptr || n < 1 || n > rs->count) return false;
  rs->statuses[n - 1] = status;
  return true;
}
