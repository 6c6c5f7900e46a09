// The rowset fetch engine: orientation and offset to an absolute first row,
// the ends of the result, and the fetch through the cursor's agent record.
#include "scrs/scrfetch.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_agent.h"
#include "scrs/cursorlock.h"
#include "util/errcodes.h"

namespace {

uint32_t DirectionBit(uint16_t orientation) {
  switch (orientation) {
    case SQL_FETCH_NEXT: return SQL_FD_FETCH_NEXT;
    case SQL_FETCH_FIRST: return SQL_FD_FETCH_FIRST;
    case SQL_FETCH_LAST: return SQL_FD_FETCH_LAST;
    case SQL_FETCH_PRIOR: return SQL_FD_FETCH_PRIOR;
    case SQL_FETCH_ABSOLUTE: return SQL_FD_FETCH_ABSOLUTE;
    case SQL_FETCH_RELATIVE: return SQL_FD_FETCH_RELATIVE;
    case SQL_FETCH_BOOKMARK: return SQL_FD_FETCH_BOOKMARK;
    default: return 0;
  }
}

bool DynamicLike(const SCR_CURSOR* cur) {
  return cur->cursorType == SQL_CURSOR_DYNAMIC ||
         (cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize != 0);
}

// A start row the agent's 32-bit interface can carry; anything beyond lies
// after the end of any result it can hold.
int32_t AgentRow(int64_t row) {
  constexpr int64_t lo = std::numeric_limits<int32_t>::min();
  constexpr int64_t hi = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::clamp(row, lo, hi));
}

uint32_t AskDirections(SCR_CURSOR* cur) {
  if (cur->fetchDirections == 0) {
    plat::Guard<plat::Mutex> g(scr_InfoLock);
    uint32_t mask = 0;
    // An agent that cannot tell still fetches forward.
    if (SCR_AgentInfo(cur->agent, cur->connHandle, SQL_FETCH_DIRECTION, &mask, 4, nullptr) != 0)
      mask = 0;
    cur->fetchDirections = mask != 0 ? mask : SQL_FD_FETCH_NEXT;
  }
  return cur->fetchDirections;
}

int AgentScrollFetch(SCR_CURSOR* cur, uint16_t orientation, int64_t start, uint32_t* fetched,
                     ROWSTATUS** last) {
  const DRV_OpTable* ops = cur->agent != nullptr ? cur->agent->ops : nullptr;
  if (ops == nullptr) return ERR_NOT_CAPABLE;
  uint32_t count = static_cast<uint32_t>(cur->rowCount);
  uint32_t rc = ERR_NOT_CAPABLE;
  // The last rowset goes to the fetch, which may use its storage again; one
  // that failed leaves none, as before any fetch.
  cur->rowStatus = *last;
  *last = nullptr;
  if (cur->fetchScrollSlot != 0 && ops->DRV_FetchScroll != nullptr) {
    rc = ops->DRV_FetchScroll(cur->stmtHandle, &cur->rowStatus, AgentRow(start), fetched, &count,
                              orientation);
  } else if (ops->DRV_ExtendedFetch != nullptr) {
    rc = ops->DRV_ExtendedFetch(cur->stmtHandle, &cur->rowStatus, AgentRow(start), fetched, &count);
  }
  cur->rowCount = static_cast<int32_t>(count);
  if (rc != 0 && rc != ERR_FETCH_BEFORE_FIRST_ROWSET) RowStatusFree(&cur->rowStatus);
  return static_cast<int>(rc);
}

// The first row of the rowset just fetched. A start counted from the end
// (0 the last rowset, below 0 from the end) was asked before the row count
// was known; the fetch has learnt it.
int64_t FetchedStart(const SCR_CURSOR* cur, int64_t start) {
  if (start >= 1 || cur->rowCount < 0) return std::max<int64_t>(start, 1);
  const int64_t first =
      start == 0 ? cur->rowCount - cur->rowsetSize + 1 : cur->rowCount + start + 1;
  return std::max<int64_t>(first, 1);
}

bool Numbered(const SCR_CURSOR* cur) {
  return !DynamicLike(cur) && cur->cursorType != SQL_CURSOR_FORWARD_ONLY;
}

// Whether a row the cursor added itself lies at that row number, past the
// rows of the result it read (only a bookmark reaches it).
bool AddedRowAt(const SCR_CURSOR* cur, int64_t row) {
  if (!Numbered(cur) || cur->rowCount < 0 || row <= cur->rowCount) return false;
  const DRV_OpTable* ops = cur->agent != nullptr ? cur->agent->ops : nullptr;
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return false;
  // The library that added the rows knows their bookmarks.
  const auto mark = static_cast<uint64_t>(row);
  unsigned char value[sizeof mark];
  std::memcpy(value, &mark, sizeof mark);
  if (ops->DRV_GetInfo(cur->stmtHandle, INFO_ADDED_ROW, value, sizeof value, nullptr) != 0)
    return false;
  uint32_t added = 0;
  std::memcpy(&added, value, sizeof added);
  return added != 0;
}

// A numbered cursor's bookmark names a row of the result, once its count is
// known, or a row it added.
bool NamesRow(const SCR_CURSOR* cur, int64_t mark) {
  if (!Numbered(cur) || cur->rowCount < 0 || (mark >= 1 && mark <= cur->rowCount)) return true;
  return AddedRowAt(cur, mark);
}

int NoRowset(SCR_CURSOR* cur, int32_t position, uint32_t* fetched) {
  SCR_SetRowPos(cur, position);
  *fetched = 0;
  return ERR_NO_DATA_FOUND;
}

int ScrollFetch(SCR_CURSOR* cur, uint16_t orientation, int64_t offset, uint32_t* fetched,
                ROWSTATUS** last);

}  // namespace

int SCR_ClassifyRow(int64_t current, int64_t target, uint32_t rowsetSize, int64_t rowCount) {
  if (rowCount >= 0 && target > rowCount) return SCR_TARGET_AFTER;
  if (rowCount < 0 && target > current) return SCR_TARGET_UNKNOWN_AHEAD;
  // Before row 1 first: in a result shorter than the rowset a start before
  // it also reaches past the last row.
  if (target <= 1 - static_cast<int64_t>(rowsetSize)) return SCR_TARGET_BEFORE;
  if (target < 1) return SCR_TARGET_REACHES_START;
  if (rowCount >= 0 && target > rowCount - static_cast<int64_t>(rowsetSize) + 1)
    return SCR_TARGET_REACHES_END;
  return SCR_TARGET_INSIDE;
}

int SCR_ComputeStartRow(uint16_t orientation, int64_t offset, int64_t rowsetStart, int64_t rowCount,
                        uint32_t rowsetSize, uint32_t prevRowsetSize, int64_t* target) {
  const bool known = rowCount >= 0;
  const int64_t current = rowsetStart == SCR_POS_AFTER_END ? rowCount + 1 : rowsetStart;
  const int64_t size = rowsetSize;
  switch (orientation) {
    case SQL_FETCH_NEXT:
      *target = current + prevRowsetSize;
      return SCR_ClassifyRow(current, *target, rowsetSize, rowCount);
    case SQL_FETCH_FIRST: *target = 1; return SCR_TARGET_INSIDE;
    case SQL_FETCH_LAST:
      // A result shorter than the rowset is read from its first row.
      *target = known ? std::max<int64_t>(1, rowCount - size + 1) : 0;
      return SCR_TARGET_INSIDE;
    case SQL_FETCH_PRIOR:
      *target = current - size;
      return SCR_ClassifyRow(current, *target, rowsetSize, rowCount);
    case SQL_FETCH_ABSOLUTE:
      if (offset == 0) {
        *target = 0;
        return SCR_TARGET_BEFORE;
      }
      if (offset > 0) {
        *target = offset;
        return SCR_ClassifyRow(current, *target, rowsetSize, rowCount);
      }
      if (!known) {
        *target = offset;
        return SCR_TARGET_UNKNOWN_AHEAD;
      }
      *target = rowCount + offset + 1;
      // Past row 1 from the end: the first rowset while the offset is no
      // longer than a rowset, whatever the result's length.
      if (*target < 1) return -offset > size ? SCR_TARGET_BEFORE : SCR_TARGET_REACHES_START;
      return SCR_ClassifyRow(current, *target, rowsetSize, rowCount);
    case SQL_FETCH_RELATIVE:
      *target = current + offset;
      return SCR_ClassifyRow(current, *target, rowsetSize, rowCount);
    default: *target = 0; return SCR_TARGET_UNKNOWN_AHEAD;
  }
}

int SCR_ScrollFetch(SCR_CURSOR* cur, uint16_t orientation, int64_t offset, uint32_t* fetched) {
  // A rowset of no rows would never move a NEXT on.
  assert(SCR_PositionHolds(cur) && cur->rowsetSize >= 1);
  // A bookmark that names no row leaves the rowset where it was.
  if (orientation == SQL_FETCH_BOOKMARK && !NamesRow(cur, offset - cur->bookmarkOffset)) {
    *fetched = 0;
    return ERR_INVALID_BOOKMARK;
  }
  // The rowset fetched last is gone whatever comes, but its storage may
  // serve the next one.
  ROWSTATUS* last = cur->rowStatus;
  cur->rowStatus = nullptr;
  const int rc = ScrollFetch(cur, orientation, offset, fetched, &last);
  RowStatusFree(&last);
  assert(SCR_PositionHolds(cur));
  // A rowset made current puts the cursor on its first row and holds no
  // more rows than the rowset size; no rowset, no rows.
  assert(rc != 0 || (cur->position == 1 && *fetched <= cur->rowsetSize));
  assert(rc != ERR_NO_DATA_FOUND || *fetched == 0);
  return rc;
}

namespace {

int ScrollFetch(SCR_CURSOR* cur, uint16_t orientation, int64_t offset, uint32_t* fetched,
                ROWSTATUS** last) {
  *fetched = 0;
  if ((cur->flags & SCR_FLAG_ROWSET_CHANGED) == 0) cur->prevRowsetSize = cur->rowsetSize;
  const uint32_t type = cur->cursorType;
  const bool dynamicLike = DynamicLike(cur);
  if (type == SQL_CURSOR_FORWARD_ONLY && orientation != SQL_FETCH_NEXT) return ERR_FETCH_TYPE_RANGE;
  if ((AskDirections(cur) & DirectionBit(orientation)) == 0) return ERR_FETCH_TYPE_RANGE;
  const bool numbered = Numbered(cur);
  if (cur->rowsetStart == -1 && numbered && orientation != SQL_FETCH_FIRST &&
      orientation != SQL_FETCH_LAST && orientation != SQL_FETCH_ABSOLUTE &&
      orientation != SQL_FETCH_BOOKMARK)
    return ERR_FETCH_TYPE_RANGE;

  const int32_t pos = cur->position;
  if (orientation == SQL_FETCH_NEXT && pos == SCR_POS_BEFORE_START) orientation = SQL_FETCH_FIRST;
  // From after the end of a result shorter than the rowset a PRIOR reaches
  // before row 1: the first rowset comes with a warning.
  const bool priorFromEnd = orientation == SQL_FETCH_PRIOR && pos == SCR_POS_AFTER_END;
  if (priorFromEnd) orientation = SQL_FETCH_LAST;
  // Off an end the cursor stands there, whatever rows a dynamic or mixed
  // cursor's block still holds: nothing lies further out.
  if ((orientation == SQL_FETCH_PRIOR && pos == SCR_POS_BEFORE_START) ||
      (orientation == SQL_FETCH_NEXT && pos == SCR_POS_AFTER_END))
    return NoRowset(cur, pos, fetched);
  if (orientation == SQL_FETCH_RELATIVE) {
    const bool fromEnd = pos == SCR_POS_AFTER_END;
    const bool fromStart = pos == SCR_POS_BEFORE_START;
    if ((fromEnd && offset < 0) || (fromStart && offset >= 1)) {
      orientation = SQL_FETCH_ABSOLUTE;
    } else if (fromEnd || fromStart) {
      // Further out from either end, or standing still there: no rowset.
      *fetched = 0;
      return ERR_NO_DATA_FOUND;
    }
  }
  bool markMoved = false;
  if (orientation == SQL_FETCH_BOOKMARK && dynamicLike) {
    // A mixed cursor's bookmark names a key, not a row number: the rowset
    // at the key is read, then moved from by the fetch offset.
    if (type == SQL_CURSOR_DYNAMIC) return ERR_FETCH_TYPE_RANGE;
    const int64_t move = cur->bookmarkOffset, mark = offset - move;
    if (mark < 1) return NoRowset(cur, SCR_POS_BEFORE_START, fetched);
    offset = mark;
    if (move != 0) {
      const int rc = AgentScrollFetch(cur, orientation, mark, fetched, last);
      if (rc == ERR_NO_DATA_FOUND) return NoRowset(cur, SCR_POS_AFTER_END, fetched);
      if (rc != 0) return rc;
      cur->position = 1;
      orientation = SQL_FETCH_RELATIVE;
      offset = move;
      markMoved = true;
    }
  } else if (orientation == SQL_FETCH_BOOKMARK) {
    // A bookmark moved before row 1 leaves the cursor before the start.
    if (offset < 1) return NoRowset(cur, SCR_POS_BEFORE_START, fetched);
    if (!AddedRowAt(cur, offset)) orientation = SQL_FETCH_ABSOLUTE;
  }
  if (orientation == SQL_FETCH_ABSOLUTE && offset == 0)
    return NoRowset(cur, SCR_POS_BEFORE_START, fetched);
  // Counted from the end past row 1 (the count may be learnt only by the
  // fetch): the first rowset with a warning.
  const bool fromEnd = orientation == SQL_FETCH_ABSOLUTE && offset < 0;

  int64_t start = 0;
  bool beforeFirst = false;
  if (type == SQL_CURSOR_FORWARD_ONLY) {
    start = pos == SCR_POS_BEFORE_START ? 1 : cur->rowsetStart + cur->prevRowsetSize;
  } else if (dynamicLike || orientation == SQL_FETCH_BOOKMARK) {
    start = offset;
  } else {
    int cls = SCR_ComputeStartRow(orientation, offset, cur->rowsetStart, cur->rowCount,
                                  cur->rowsetSize, cur->prevRowsetSize, &start);
    // ODBC's rules for a move back that would begin before row 1: from the
    // first rowset there is nothing before; a relative move further back
    // than one rowset leaves the result; otherwise the first rowset comes
    // with a warning.
    if (start < 1 && (orientation == SQL_FETCH_PRIOR || orientation == SQL_FETCH_RELATIVE)) {
      const int64_t back = orientation == SQL_FETCH_PRIOR ? cur->rowsetSize : -offset;
      cls = cur->rowsetStart > 1 && back <= static_cast<int64_t>(cur->rowsetSize)
                ? SCR_TARGET_REACHES_START
                : SCR_TARGET_BEFORE;
      beforeFirst = cls == SCR_TARGET_REACHES_START;
    }
    switch (cls) {
      case SCR_TARGET_BEFORE: return NoRowset(cur, SCR_POS_BEFORE_START, fetched);
      case SCR_TARGET_AFTER: return NoRowset(cur, SCR_POS_AFTER_END, fetched);
      case SCR_TARGET_REACHES_START:
        orientation = SQL_FETCH_FIRST;
        start = 1;
        break;
      default: break;
    }
  }

  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_ROWSET_CHANGED);
  const int rc = AgentScrollFetch(cur, orientation, start, fetched, last);
  switch (rc) {
    case ERR_FETCH_BEFORE_FIRST_ROWSET:  // a dynamic or mixed cursor's first rowset
      // A bookmark moved before row 1 names no rowset, however near.
      if (markMoved) {
        RowStatusFree(&cur->rowStatus);
        return NoRowset(cur, SCR_POS_BEFORE_START, fetched);
      }
      beforeFirst = true;
      [[fallthrough]];
    case 0:
      cur->position = 1;
      cur->rowsetStart = dynamicLike ? -1 : static_cast<int32_t>(FetchedStart(cur, start));
      if (priorFromEnd && *fetched < cur->rowsetSize) beforeFirst = true;
      if (fromEnd && !dynamicLike && cur->rowCount >= 0 && -offset > cur->rowCount)
        beforeFirst = true;
      return beforeFirst ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0;
    case ERR_FETCH_BEFORE_START: return NoRowset(cur, SCR_POS_BEFORE_START, fetched);
    case ERR_FETCH_BEYOND_END:
    case ERR_NO_DATA_FOUND: return NoRowset(cur, SCR_POS_AFTER_END, fetched);
    default: return rc;
  }
}

}  // namespace
