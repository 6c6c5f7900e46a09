// Column value retrieval: one value of one row of a row buffer into one
// application binding, converted to the binding's C type. The single road
// from fetched values to the application: SQLGetData, bound columns of every
// fetch and the return of output parameters all come through GetColumn.
#ifndef QMR_DRIVER_ROWSET_GETCOLUMN_H
#define QMR_DRIVER_ROWSET_GETCOLUMN_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/handles.h"
#include "util/errcodes.h"

// A binding as GetColumn takes it: a bound column with the addresses of the
// row in hand, or an SQLGetData request.
struct BIND_REC {
  uint16_t column = 0;         // 0 = bookmark column
  int16_t cType = 0;           // SQL_C_*, SQL_C_DEFAULT or SQL_ARD_TYPE
  uint16_t decimalDigits = 0;  // used in output-parameter mode only
  void* data = nullptr;
  int64_t bufferLength = 0;      // bytes
  int64_t* length = nullptr;     // may be null
  int64_t* indicator = nullptr;  // may be null; may equal length
  // SQLGetData: a cut text piece fills the buffer, and a character it cuts
  // is finished by the next call for the value.
  bool inPieces = false;
};

// Where GetColumn's value comes from: a result's row, or the row of output
// parameter values (described by the statement's parameter descriptions,
// converted into the parameter's buffers).
enum class ValueSource { kResultRow, kOutputParams };

// Converts the value of bind->column in row `row` (0-based) of `set` into
// the binding. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA (the value
// was read to its end already) or SQL_ERROR; the internal code of a warning
// or failure is left in the statement's pending code. A text, wide-text or
// binary value read into a short buffer is continued by the next call for
// the same column and row (the statement's ColValueCache).
SQLRETURN GetColumn(StmtHandle* stmt, uint32_t row, BIND_REC* bind, COLSET* set,
                    ValueSource from = ValueSource::kResultRow);

// The part of GetColumn after a new value's checks: the value held in the
// row buffer's element (neither NULL nor deferred) of `row` converted into
// bind->data as cType (already resolved from SQL_C_DEFAULT or SQL_ARD_TYPE;
// scale and precision those of an SQL_C_NUMERIC target, decimalDigits the
// column's). The caller has cleared the cache and named the column and row
// in it, as GetColumn does; the bound-column transfer of a rowset calls
// this directly for the plain values of a column it worked out once.
SQLRETURN GetInlineValue(StmtHandle* stmt, uint32_t row, BIND_REC* bind, const COLSET_COL& col,
                         int16_t cType, int16_t scale, uint16_t precision, uint16_t decimalDigits);

// Whether a column of this SQL type is an exact number the row buffer may
// hold as text (BIGINT, DECIMAL, NUMERIC) read into text: GetColumn then
// makes sure no whole digit is cut.
bool ExactNumberAsText(int32_t sqlType, int16_t cType);

// Next piece of a value the agent delivers on demand (agent slot 40): 0,
// ERR_NO_DATA_FOUND when nothing more comes, or the agent's code (its messages pulled).
int32_t ColFetchValue(StmtHandle* stmt, int64_t pieceLength, int16_t cType);
// Frees a value the cache owns.
void ColFreeValue(ColValueCache* cache);
// Forgets the value being read in pieces: the next read starts anew.
// Inline: a bound fetch clears it before every value, and it mostly holds
// nothing to free.
inline void ColClearCache(ColValueCache* cache) {
  if (cache->owned || cache->ownedBlock != nullptr) ColFreeValue(cache);
  cache->column = 0;
  cache->row = 0;
  cache->value = nullptr;
  cache->remaining = 0;
  cache->total = 0;
  cache->carry.count = 0;
}
// Zeroes the target of a NULL value.
void ClearTarget(const BIND_REC* bind, int16_t cType);

#endif
