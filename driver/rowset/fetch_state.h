// What a statement keeps for handing fetched values to the application: the
// value being read in pieces by SQLGetData, the rowset of the last rowset
// fetch, and the per-row buffers that positioned updates collect for bound
// columns. One FetchState lives in every statement record.
#ifndef QMR_DRIVER_ROWSET_FETCH_STATE_H
#define QMR_DRIVER_ROWSET_FETCH_STATE_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "driver/rowset/text_carry.h"
#include "util/colset.h"

// The value SQLGetData is reading in pieces. column and row are 1-based; 0
// means that nothing is cached, so the next read starts a new value.
struct ColValueCache {
  uint16_t column = 0;
  uint32_t row = 0;
  const void* value = nullptr;  // where the unread rest starts
  uint32_t type = 0;            // row-buffer value type of the value
  int64_t remaining = 0;        // bytes not yet handed out
  int64_t total = 0;            // the whole value's length; -1 for NULL
  int16_t cType = 0;            // C type of the last piece
  bool owned = false;           // value was allocated for the cache (an agent's piece)
  uint32_t ownedType = 0;       // type the owned value was delivered as
  void* ownedBlock = nullptr;   // the owned allocation; value moves through it
  TextCarry carry;              // what the last piece cut of a character
};

// Data-at-execution values one bound column collects for the rows of a
// positioned operation: one allocation per row and its length.
struct BindRowBuffers {
  uint32_t count = 0;
  void** values = nullptr;
  int64_t* lengths = nullptr;
};

// How a bound column's plain values are converted, worked out once instead
// of for every value: the row-buffer column and the resolved C type, scale
// and precision GetColumn would convert them to (col null: every value
// through GetColumn, which keeps its checks).
struct BoundConversion {
  const COLSET_COL* col = nullptr;
  int16_t cType = 0;
  int16_t scale = 0;
  uint16_t precision = 0;
  uint16_t decimalDigits = 0;
  uint8_t ownSize = 0;         // bytes of a value held in the binding's own C type; 0: none
  bool fixedFromText = false;  // NUL-terminated text into a fixed-size target
};

// One ARD record as the single-row plan saw it: the record and the fields
// of it that the binding and its conversion follow from. A record that
// differs in any of them (rebound between fetches) makes the plan anew.
struct RowPlanColumn {
  const void* rec = nullptr;  // the DescRec
  void* data = nullptr;       // null: not bound
  int64_t* indicator = nullptr;
  int64_t* octetLengthPtr = nullptr;
  int64_t octetLength = 0;
  int16_t conciseType = 0;
  int16_t precision = 0;
  int16_t scale = 0;
  BoundConversion conv;
};

// The bound columns of SQLFetch with a rowset of one, planned once for the
// rows of a block of the row buffer rather than again for every row. It
// holds while the row buffer keeps its columns (a refill goes through
// FETCH_Reset, which drops it), the statement its ARD and description, and
// every record the fields the plan was made from.
struct BoundRowPlan {
  bool valid = false;
  const void* ard = nullptr;
  const void* descs = nullptr;  // the statement's column descriptions
  uint16_t descCount = 0;
  const COLSET_COL* cols = nullptr;
  uint16_t colsUsed = 0;
  std::vector<RowPlanColumn> columns;  // ARD records 1 .. count
};

struct FetchState {
  FetchState() = default;
  FetchState(const FetchState&) = delete;
  FetchState& operator=(const FetchState&) = delete;
  // Inline, with only the row-buffer helpers below it, so that every user of
  // the statement record can destroy one.
  ~FetchState() { Release(); }
  void Release();

  ColValueCache cache;
  // Per-row buffers of the bound columns, by column number.
  std::map<uint16_t, BindRowBuffers> rowBuffers;
  BoundRowPlan rowPlan;
};

inline void FetchState::Release() {
  if (cache.owned && cache.value != nullptr) {
    void* v = const_cast<void*>(cache.value);
    if (cache.ownedType == COLSET_VT_LONGCHAR || cache.ownedType == COLSET_VT_LONGBINARY ||
        cache.ownedType == COLSET_VT_LONGWCHAR) {
      COLSET_LONG l;
      std::memcpy(&l, v, sizeof l);
      std::free(l.value);
    }
    std::free(v);
  }
  cache = ColValueCache{};
  for (auto& entry : rowBuffers) {
    BindRowBuffers& b = entry.second;
    if (b.values != nullptr)
      for (uint32_t i = 0; i < b.count; ++i) std::free(b.values[i]);
    std::free(b.values);
    std::free(b.lengths);
  }
  rowBuffers.clear();
  rowPlan.valid = false;
}

// A positioned or bulk change between its first call and the last value
// that comes at execution, so that SQLParamData can resume it.
struct SetPosState {
  uint64_t row = 0;    // RowNumber (0: every row)
  uint16_t op = 0;     // SQLSetPos operation, or the bulk operation
  bool bulk = false;   // resumed through SQLBulkOperations
  uint32_t first = 0;  // first rowset row (0-based) the operation addresses
  uint32_t rows = 0;   // rows it addresses: its own count, never the parameter-set size
  // The value SQLParamData named last: its row (0-based) and ARD record.
  uint32_t daeRow = 0;
  uint16_t daeCol = 0;
  bool named = false;
  std::vector<uint8_t> skip;        // per addressed row: left alone
  std::vector<uint16_t> columns;    // the columns the change writes
  std::vector<uint64_t> bookmarks;  // a bulk operation's bookmarks
};

// Drops the value being read and the single-row plan (the statement's row
// buffer was emptied).
void FETCH_Reset(FetchState* state);

#endif
