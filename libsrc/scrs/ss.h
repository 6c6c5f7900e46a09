// The static cursor: the whole result read once into a dataset cache
// (scrs/dsc.h), any rowset then served from that copy.
//
// Rows count from 0 here. Results are internal codes: 0, ERR_GENERAL,
// ERR_NO_MEMORY, or the agent's code from the fill.
#ifndef QMR_SCRS_SS_H
#define QMR_SCRS_SS_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "scrs/dsc.h"
#include "util/colset.h"

constexpr int32_t SS_NO_WINDOW = DSC_NO_WINDOW;  // window_start: nothing loaded from disk yet
constexpr int32_t SS_AT_END = -2;                // position: a continuing fetch reached the end
constexpr int32_t SS_CONTINUE = -1;              // SS_Fetch start: go on from the position

struct SS_CURSOR {
  COLSET* rows;          // the rows in memory, or a window of the rows on disk
  int32_t window_start;  // cache row held in rows' row 0, or SS_NO_WINDOW
  int32_t position;      // next row of a continuing fetch, or SS_AT_END
  DSC cache;
  // The last rowset SS_FetchDeferred handed out: its first cache row (-1
  // none) and row count, and its bytes when it was read from the files
  // (empty when it came from the rows in memory).
  int32_t deferred_first = -1;
  uint32_t deferred_rows = 0;
  RF_RAWROWS deferred_raw;
};

// *field := a new cursor: position 0, window start 0, cache initialised,
// an empty row set. ERR_GENERAL for a null field, ERR_NO_MEMORY (the field
// stays null).
int SS_Open(SS_CURSOR** field);

// Drops the result: rows emptied, cache closed, position and window start
// 0. Null is ignored.
void SS_Close(SS_CURSOR* ss);

// SS_Close, frees the cursor and nulls the field. Null (either) is ignored.
void SS_Free(SS_CURSOR** field);

// Reads the agent statement's whole result into the cursor (DSC_Fill) and
// stores its row count in *count (when not null). A result on disk starts
// with its first rows in memory as the window from row 0.
int SS_GetRsltSet(SS_CURSOR* ss, const DRV_Agent* agent, uint32_t stmt, uint32_t* count);

// Hands out up to n rows from row `start` (SS_CONTINUE: from the position)
// in *out: the caller's set, emptied and reshaped, or a new one (made with
// new; ColSetDestroy frees it). Fewer rows come at the end of the result,
// none from a start past it. Afterwards the position is the row after the
// last one served, so a continuing fetch goes on behind any rowset; a
// continuing fetch that got fewer than n rows sets SS_AT_END instead, after
// which continuing fetches give no rows (an explicit start still serves).
// With n 0 or at the end, *out has no columns. ERR_GENERAL for a null
// cursor or out, or a start below -1.
int SS_Fetch(SS_CURSOR* ss, int32_t start, uint32_t n, COLSET** out);

// SS_Fetch with the long values left in the cache: every long cell that
// holds a value comes out COLSET_IND_DEFERRED with an empty element (NULL
// stays NULL), and the rowset is remembered for SS_GetLong until the next
// SS_FetchDeferred or SS_Close. A rowset read from the files reads its
// rows' bytes once and decodes no long value.
int SS_FetchDeferred(SS_CURSOR* ss, int32_t start, uint32_t n, COLSET** out);

// The long value of column col of row i (both from 0) of the rowset
// SS_FetchDeferred handed out last: *out gets its length (characters for
// wide text) and a new buffer, zero-terminated, that the caller frees.
// ERR_GENERAL when there is no such rowset or row, the column is not long,
// the cell holds no value, or the files fail; ERR_NO_MEMORY.
int SS_GetLong(SS_CURSOR* ss, uint32_t i, uint16_t col, COLSET_LONG* out);

// Puts the values of the deferred long cells of `rows`, the rowset
// SS_FetchDeferred handed out last, back into it. 0 or SS_GetLong's code.
int SS_FillDeferred(SS_CURSOR* ss, COLSET* rows);

// The value type of the cached result's column col (from 0); 0 when there
// is no such column.
uint32_t SS_ColumnType(const SS_CURSOR* ss, uint16_t col);

#endif
