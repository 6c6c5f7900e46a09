// The rowset fetch engine of the driver core's side: turns an orientation
// and offset into the first row of the next rowset and fetches that rowset
// through the cursor's agent record, where the library's fetch-scroll hook
// answers.
#ifndef QMR_SCRS_SCRFETCH_H
#define QMR_SCRS_SCRFETCH_H

#include <cstdint>

#include "scrs/scrcursor.h"

// Where a target row lies (SCR_ClassifyRow).
enum : int {
  SCR_TARGET_UNKNOWN_AHEAD = 0,  // forward past known rows, row count unknown
  SCR_TARGET_BEFORE = 1,         // the whole rowset lies before row 1
  SCR_TARGET_REACHES_START = 2,  // starts before row 1 but reaches it
  SCR_TARGET_INSIDE = 3,
  SCR_TARGET_REACHES_END = 4,  // starts inside, reaches past the last row
  SCR_TARGET_AFTER = 5,        // starts after the last row
};

// Makes the next rowset current (cur->rowStatus) and answers 0 with
// *fetched rows in it; ERR_FETCH_BEFORE_FIRST_ROWSET when the rowset is the
// first one, fetched because the asked one began before row 1 (a warning:
// the rowset is there); ERR_NO_DATA_FOUND with *fetched 0 when there is no
// rowset in that direction (the cursor moves before the first or after the
// last row); ERR_FETCH_TYPE_RANGE for an orientation the cursor does not
// take; or the agent's code, whose messages the caller pulls.
int SCR_ScrollFetch(SCR_CURSOR* cur, uint16_t orientation, int64_t offset, uint32_t* fetched);

// The first row of the rowset an orientation asks for, and its class.
// rowCount -1: not known; rowsetStart SCR_POS_AFTER_END after the last row.
int SCR_ComputeStartRow(uint16_t orientation, int64_t offset, int64_t rowsetStart, int64_t rowCount,
                        uint32_t rowsetSize, uint32_t prevRowsetSize, int64_t* target);
int SCR_ClassifyRow(int64_t current, int64_t target, uint32_t rowsetSize, int64_t rowCount);

#endif
