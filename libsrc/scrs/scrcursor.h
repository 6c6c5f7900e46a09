// The cursor state of a statement: its cursor options, its position in the
// result and what the cursor library keeps for it. One record layout serves
// three owners: the connection (the defaults of its statements), the driver
// core's statement (options, position, the current rowset) and the agent's
// statement, whose copy the library's hooks fill and read.
//
// Row numbers: rows of a rowset, absolute row numbers and bookmarks count
// from 1.
#ifndef QMR_SCRS_SCRCURSOR_H
#define QMR_SCRS_SCRCURSOR_H

#include <cstdint>

#include "scrs/rvc.h"
#include "util/colset.h"
#include "util/rowstatus.h"

struct DRV_Agent;
struct SS_CURSOR;
struct SCR_ANALYSIS;
struct SCR_CURRENTOF;
struct SCR_LONGDATA;

// Cursor-state flags.
enum : uint16_t {
  // The rowset size changed since the last fetch (the record keeps the
  // previous size, so that NEXT moves by the rowset last fetched).
  SCR_FLAG_ROWSET_CHANGED = 0x0001,
  // The key ORDER BY has been added to the refetch statement's text.
  SCR_FLAG_KEY_ORDER = 0x0002,
  // The refetch-by-key statement is built and prepared on the statement.
  SCR_FLAG_REFETCH_READY = 0x0004,
  // The application gave parameter values; generated statements send a
  // copy of them behind their own.
  SCR_FLAG_APP_PARAMS = 0x0008,
  // The row-version registration must be renewed before the next execute.
  SCR_FLAG_RVC_RENEW = 0x0040,
  // The static result has been read into the dataset cache.
  SCR_FLAG_RESULT_CACHED = 0x0080,
  // A mixed cursor must load its keyset block again before the next fetch.
  SCR_FLAG_RELOAD_BLOCK = 0x0100,
  // The cursor was closed since the last execute.
  SCR_FLAG_CLOSED = 0x0400,
  // The rowset a dynamic or mixed cursor just fetched is the first one,
  // standing in for one that would have begun before row 1: the fetch
  // answers ERR_FETCH_BEFORE_FIRST_ROWSET with the rowset.
  SCR_FLAG_FIRST_STANDS_IN = 0x1000,
  // The requested cursor type and concurrency still have to be handed to
  // the agent before the next preparation.
  SCR_FLAG_OPTIONS_CHANGED = 0x0800,
  // The statement has been prepared or executed through the library.
  SCR_FLAG_THROUGH_LIBRARY = 0x8000,
};

// Positions besides a row of the rowset (1 ...).
constexpr int32_t SCR_POS_BEFORE_START = 0;
constexpr int32_t SCR_POS_LOST = -2;
constexpr int32_t SCR_POS_AFTER_END = -3;

// Statement kinds of the analysis.
constexpr int32_t SCR_KIND_NOT_ANALYSED = -1;

struct SCR_CURSOR {
  uint32_t rowsetSize;
  uint32_t keysetSize;
  int32_t rowCount;  // -1: not known yet
  uint32_t cursorType;
  uint32_t cursorTypeRequested;
  uint32_t concurrency;
  uint32_t concurrencyRequested;
  uint32_t option1;  // SQL_SIMULATE_CURSOR
  uint32_t option2;
  uint32_t retrieveData;
  uint32_t connHandle;
  uint32_t stmtHandle;
  int32_t position;     // SCR_POS_* or the current row of the rowset
  int32_t rowsetStart;  // absolute first row of the rowset; -1 not known
  DRV_Agent* agent;     // the record to call
  void* owner;          // the core's statement, or the agent's
  uint16_t flags;       // SCR_FLAG_*

  // The current rowset: statuses and values (core side).
  ROWSTATUS* rowStatus;
  uint32_t fetchDirections;  // SQL_FETCH_DIRECTION of the agent, 0 until asked
  uint32_t prevRowsetSize;   // the rowset size the previous fetch used
  // The FetchOffset of a SQL_FETCH_BOOKMARK fetch, which the row handed to
  // SCR_ScrollFetch includes: a mixed cursor's bookmark is no row number.
  int64_t bookmarkOffset = 0;
  // Fetch through slot 41 (the connection serves dynamic and mixed
  // cursors) rather than slot 36.
  uint32_t fetchScrollSlot;

  // Agent side.
  int32_t kind;              // statement kind of the analysis
  int32_t affectedRows;      // of the last positioned operation; -1 none
  SS_CURSOR* staticCursor;   // the dataset cache of a static cursor
  RVC_LINK rvcLink;          // a dynamic cursor's tie to the row-version table
  SCR_ANALYSIS* analysis;    // of a scrollable SELECT; null until one is analysed
  SCR_CURRENTOF* currentOf;  // a positioned statement naming an emulated cursor
  SCR_LONGDATA* longData;    // long values handed out in pieces; null until first used
  // The deferred long value SCR_GetData handed out whole since the cell was
  // last read afresh: (column << 16) | row, 0 none.
  uint32_t longHanded = 0;
};

// Where a cursor may stand: before the first row, after the last, lost, or
// on a row of the current rowset. Debug builds check it where the position
// is used and where a fetch moved it.
inline bool SCR_PositionHolds(const SCR_CURSOR* cur) {
  return cur->position >= 1 || cur->position == SCR_POS_BEFORE_START ||
         cur->position == SCR_POS_LOST || cur->position == SCR_POS_AFTER_END;
}

// Defaults: rowset size 1, row count unknown, forward-only, read-only,
// retrieve data on, before the first row. Returns 0.
int SCR_CursorStateInit(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                        void* owner);
// The core statement's state: the defaults, then the connection's options
// (rowset and keyset size, cursor type, concurrency, the two further
// options, retrieve data) when `from` is given.
int SCR_CursorStateInitFromStmt(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, DRV_Agent* agent,
                                void* owner, const SCR_CURSOR* from = nullptr);

// 0 (before the first row and after the last also move the rowset start),
// or 39 for another negative position or a row beyond a known row count.
int SCR_SetRowPos(SCR_CURSOR* cur, int32_t position);
// Row count unknown, before the first row.
void SCR_ResetRowPos(SCR_CURSOR* cur);
// Drops the current rowset.
void SCR_StmtReset(SCR_CURSOR* cur);

// The absolute row number of row n (0-based) of the current rowset.
// ERR_INVALID_ARGUMENT for no output or n outside the rowset,
// ERR_INVALID_CURSOR_STATE without a current rowset,
// ERR_INVALID_CURSOR_POSITION for a row in error, ERR_NOT_CAPABLE for cursors
// whose rows have no number.
int SCR_GetRowNumber(const SCR_CURSOR* cur, uint32_t n, uint32_t* out);
// The same, answering 0 with number 0 for forward-only, dynamic and mixed
// cursors.
int SCR_GetRowNumberFwd(const SCR_CURSOR* cur, uint32_t n, uint32_t* out);

// How a keyset refetch splits a rowset into statements that stay within the
// agent's parameter marker limit: `blocks` statements of `blockSize` keys,
// the last of `last`. All three 0 when there is nothing to split by.
void SCR_RowsetBlocks(uint32_t rowsetSize, uint32_t markerLimit, uint32_t descCount,
                      uint32_t keyColumns, uint32_t* blocks, uint32_t* last, uint32_t* blockSize);

#endif
