// Long values of a scrolled rowset handed out in pieces: a fetch that keeps
// the rowset small moves every long value past a size limit out of it into
// the cursor's long set, and the cached-data call hands such a value out a
// piece at a time, each piece in a buffer the caller frees. A static
// read-only cursor leaves its rowsets' long values in its cache, and the
// get-data call reads one when it is asked for.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "scrs/scrcombined.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/ss.h"
#include "util/errcodes.h"

// The long value being handed out and the values moved out of the last
// rowset.
struct SCR_LONGDATA {
  COLSET set;
  uint16_t column = 0;  // 1-based; 0: none being handed out
  uint16_t row = 0;
  uint32_t offset = 0;     // bytes handed out
  uint32_t remaining = 0;  // bytes left
};

namespace {

// Values up to this many bytes stay in the rowset.
constexpr uint32_t kLongKeptInRowset = 60000;

bool IsLong(uint32_t type) {
  return type == COLSET_VT_LONGCHAR || type == COLSET_VT_LONGBINARY || type == COLSET_VT_LONGWCHAR;
}

uint64_t ByteLength(uint32_t type, const COLSET_LONG& v) {
  return type == COLSET_VT_LONGWCHAR ? uint64_t{v.length} * 2 : v.length;
}

// The long set shaped like the rowset: storage only where values can move.
int ShapeLongSet(const COLSET& rows, COLSET* longs) {
  if (int rc = ColSetInit(longs, rows.cols_used)) return rc;
  longs->cols_used = rows.cols_used;
  for (uint16_t c = 0; c < rows.cols_used; ++c) {
    const uint32_t type = rows.cols[c].type;
    longs->cols[c].type = type;
    longs->cols[c].elem_size = IsLong(type) ? sizeof(COLSET_LONG) : 0;
  }
  if (int rc = ColSetSetRows(longs, rows.rows_held)) return rc;
  longs->rows_held = rows.rows_held;
  return 0;
}

SCR_LONGDATA* LongData(SCR_CURSOR* cur) {
  if (cur->longData == nullptr) cur->longData = new (std::nothrow) SCR_LONGDATA();
  return cur->longData;
}

}  // namespace

int SCR_SplitLongValues(COLSET* rows, COLSET* longs) {
  if (rows == nullptr || longs == nullptr) return ERR_INVALID_ARGUMENT;
  if (rows->rows_held == 0 || std::none_of(rows->cols, rows->cols + rows->cols_used,
                                           [](const COLSET_COL& c) { return IsLong(c.type); }))
    return 0;
  if (ShapeLongSet(*rows, longs) != 0) {
    ColSetFreeColumns(longs);
    return ERR_NO_MEMORY;
  }
  for (uint16_t c = 0; c < rows->cols_used; ++c) {
    COLSET_COL& from = rows->cols[c];
    if (!IsLong(from.type)) continue;
    auto* values = reinterpret_cast<COLSET_LONG*>(from.data);
    auto* moved = reinterpret_cast<COLSET_LONG*>(longs->cols[c].data);
    for (uint32_t r = 0; r < rows->rows_held; ++r) {
      if (from.ind[r] != 0 || ByteLength(from.type, values[r]) <= kLongKeptInRowset) continue;
      moved[r] = values[r];
      longs->cols[c].ind[r] = 0;
      values[r] = COLSET_LONG{0, nullptr};
      from.ind[r] = COLSET_IND_DEFERRED;
    }
  }
  return 0;
}

void SCR_LongDataReset(SCR_CURSOR* cur) {
  if (cur->longData == nullptr) return;
  ColSetFreeColumns(&cur->longData->set);
  cur->longData->column = cur->longData->row = 0;
}

void SCR_LongDataFree(SCR_CURSOR* cur) {
  SCR_LongDataReset(cur);
  delete cur->longData;
  cur->longData = nullptr;
}

extern "C" {

uint32_t SCR_FetchScrollRow(uint32_t stmt, ROWSTATUS** out, int32_t start, uint32_t* fetched,
                            uint32_t* count, uint16_t orientation) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  SCR_LONGDATA* data = LongData(cur);
  if (data == nullptr) return ERR_NO_MEMORY;
  SCR_LongDataReset(cur);
  if (uint32_t rc = SCR_FetchScroll(stmt, out, start, fetched, count, orientation)) return rc;
  if (*out == nullptr || (*out)->rows == nullptr) return 0;
  // Only values past the limit leave the rowset: the others come in it.
  SS_CURSOR* ss = cur->staticCursor;
  if (ss != nullptr && ss->deferred_first >= 0) {
    if (int rc = SS_FillDeferred(ss, (*out)->rows)) return static_cast<uint32_t>(rc);
  }
  return static_cast<uint32_t>(SCR_SplitLongValues((*out)->rows, &data->set));
}

uint32_t SCR_GetCachedData(uint32_t stmt, uint16_t column, uint16_t row, uint32_t largest,
                           void* buf, uint32_t* length, uint32_t* type, int32_t* remaining) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr || buf == nullptr || length == nullptr || type == nullptr ||
      remaining == nullptr)
    return ERR_INVALID_ARGUMENT;
  if (cur->cursorType == SQL_CURSOR_FORWARD_ONLY) {
    if (SCR_Agent().DRV_GetData == nullptr) return ERR_NOT_CAPABLE;
    return SCR_Agent().DRV_GetData(stmt, column, row, static_cast<int16_t>(largest),
                                   static_cast<void**>(buf), length, type,
                                   reinterpret_cast<uint32_t*>(remaining));
  }
  auto** piece = static_cast<void**>(buf);
  *piece = nullptr;
  *length = 0;
  *remaining = -4;
  SCR_LONGDATA* data = cur->longData;
  if (data == nullptr || data->set.cols_used == 0) return ERR_NO_DATA_FOUND;
  const COLSET& set = data->set;
  if (column < 1 || column > set.cols_used || row < 1 || row > set.rows_held)
    return ERR_INVALID_ARGUMENT;
  const COLSET_COL& col = set.cols[column - 1];
  if (col.ind == nullptr || col.ind[row - 1] != 0) return ERR_NO_DATA_FOUND;
  const COLSET_LONG& value = reinterpret_cast<const COLSET_LONG*>(col.data)[row - 1];
  if (column != data->column || row != data->row) {
    data->column = column;
    data->row = row;
    data->offset = 0;
    data->remaining = static_cast<uint32_t>(ByteLength(col.type, value));
  }
  *remaining = static_cast<int32_t>(data->remaining);
  *type = col.type == COLSET_VT_LONGCHAR    ? COLSET_VT_CHAR
          : col.type == COLSET_VT_LONGWCHAR ? COLSET_VT_WCHAR
                                            : COLSET_VT_BINARY;
  if (data->remaining == 0) return 0;
  const uint64_t most = col.type == COLSET_VT_LONGWCHAR ? 2ull * largest : largest;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(data->remaining, most));
  void* copy = std::malloc(n > 0 ? n : 1);
  if (copy == nullptr) return ERR_NO_MEMORY;
  std::memcpy(copy, static_cast<const char*>(value.value) + data->offset, n);
  data->offset += n;
  data->remaining -= n;
  *piece = copy;
  *length = n;
  return 0;
}

uint32_t SCR_GetData(uint32_t stmt, uint16_t column, uint16_t row, int16_t ctype, void** value,
                     uint32_t* delivered, uint32_t* type, uint32_t* total) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  SS_CURSOR* ss = cur->staticCursor;
  if (ss == nullptr || ss->deferred_first < 0) {
    // Nothing of ours is deferred: a value the agent kept back is its own.
    if (SCR_Agent().DRV_GetData != nullptr)
      return SCR_Agent().DRV_GetData(stmt, column, row, ctype, value, delivered, type, total);
    return value == nullptr ? 0 : ERR_NOT_CAPABLE;
  }
  if (value == nullptr) {
    cur->longHanded = 0;
    return 0;
  }
  if (delivered == nullptr || type == nullptr || total == nullptr || column < 1 || row < 1)
    return ERR_INVALID_ARGUMENT;
  *value = nullptr;
  *delivered = *total = 0;
  const uint32_t from = SS_ColumnType(ss, static_cast<uint16_t>(column - 1));
  if (!IsLong(from)) return ERR_INVALID_ARGUMENT;
  *type = from == COLSET_VT_LONGCHAR    ? COLSET_VT_CHAR
          : from == COLSET_VT_LONGWCHAR ? COLSET_VT_WCHAR
                                        : COLSET_VT_BINARY;
  // The whole value goes out at the first call; the core keeps what the
  // application's buffer did not take, and the next call finds no more.
  const uint32_t cell = (uint32_t{column} << 16) | row;
  if (cur->longHanded == cell) return 0;
  COLSET_LONG v{};
  if (int rc = SS_GetLong(ss, row - 1u, static_cast<uint16_t>(column - 1), &v))
    return static_cast<uint32_t>(rc);
  const uint64_t bytes = ByteLength(from, v);
  if (bytes >= UINT32_MAX) {
    std::free(v.value);
    return ERR_GENERAL;
  }
  cur->longHanded = cell;
  if (bytes == 0) {
    std::free(v.value);
    return 0;
  }
  *value = v.value;
  *delivered = *total = static_cast<uint32_t>(bytes);
  return 0;
}

}  // extern "C"
