// Fetch by bookmark: from a static cursor's cache, where every row of the
// result is, or by key from a keyset cursor's keyset; in the order the
// application gave the bookmarks either way.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <new>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrhooks.h"
#include "scrs/ss.h"
#include "util/errcodes.h"

namespace {

// Puts row 0 of `one` at row j of the fetched rows, shaping them after the
// first row that comes; rows no bookmark reaches stay NULL.
int Place(ROWSTATUS* rs, const COLSET* one, uint32_t j, uint32_t* found) {
  if (*found == 0) {
    if (int rc = ColSetAlloc(&rs->rows, one, rs->count)) return rc;
    rs->rows->rows_held = rs->count;
  }
  if (int rc = ColSetCopyRows(rs->rows, const_cast<COLSET*>(one), j, 0, 1)) return rc;
  ++*found;
  return 0;
}

// A bookmark past the result may name a row the cursor added: read by its
// key into row j, or SQL_ROW_DELETED when it is gone (counted in *gone).
// ERR_NO_DATA_FOUND when the bookmark names no added row.
int AddedInto(SCR_CURSOR* cur, uint64_t b, ROWSTATUS* rs, uint32_t j, uint32_t* found,
              uint32_t* gone, uint16_t* status) {
  if (b <= static_cast<uint64_t>(std::max(cur->rowCount, 0))) return ERR_NO_DATA_FOUND;
  ColSetPtr row(new (std::nothrow) COLSET());
  if (row == nullptr) return ERR_NO_MEMORY;
  if (int rc = scs_p_FetchAdded(cur, b, row.get())) return rc;
  *status = SQL_ROW_DELETED;
  if (row->rows_held > 0) {
    if (int rc = Place(rs, row.get(), j, found)) return rc;
    *status = SQL_ROW_SUCCESS;
  } else {
    ++*gone;
  }
  SCR_SetRowStatusAt(rs, j + 1, *status);
  return 0;
}

bool NamesNoRow(const SCR_CURSOR* cur, uint64_t b) {
  return b < 1 || b > static_cast<uint64_t>(cur->rowCount);
}

// Hands the fetched rows to the caller; false (and rs freed) when the walk
// ended in an error.
bool Handed(SCR_CURSOR* cur, int rc, ROWSTATUS* rs, uint32_t found, ROWSTATUS** out) {
  if (rc != 0) {
    RowStatusFree(&rs);
    return false;
  }
  cur->affectedRows = static_cast<int32_t>(found);
  *out = rs;
  return true;
}

// Walks the bookmarks in the application's order: a row the cursor added is
// read by its key, a bookmark that names no row is noted in *invalid, and
// read(j, b) reads row b of the result into row j. The first error stops.
template <typename Read>
int EachBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows, ROWSTATUS* rs,
                 uint16_t* statuses, uint32_t* found, uint32_t* gone, bool* invalid, Read read) {
  int rc = 0;
  for (uint32_t j = 0; rc == 0 && j < rows; ++j) {
    const uint64_t b = bookmarks[j];
    const int added = AddedInto(cur, b, rs, j, found, gone, &statuses[j]);
    if (added != ERR_NO_DATA_FOUND) {
      rc = added;
      continue;
    }
    if (NamesNoRow(cur, b)) {
      *invalid = true;
      continue;
    }
    rc = read(j, b);
  }
  return rc;
}

// The rows' answer: all fetched, or some not; a bookmark that names no row
// says so beside the row's error.
int Outcome(SCR_CURSOR* cur, uint32_t rows, uint32_t found, bool invalid) {
  if (found == rows) return 0;
  JdbcStmt* s = AGT_Stmt(cur->stmtHandle);
  if (invalid && s != nullptr) {
    errPostIndex(&s->errors, ERR_ROW_ERROR);
    errAppend(&s->errors, errNewByIndex(ERR_INVALID_BOOKMARK));
  }
  return ERR_ROW_ERROR;
}

}  // namespace

int scs_p_FetchAddedRowset(SCR_CURSOR* cur, ROWSTATUS* rs, uint64_t mark) {
  if (rs == nullptr || scs_p_AddedKey(cur, mark) == nullptr) return ERR_NO_DATA_FOUND;
  ColSetPtr row(new (std::nothrow) COLSET());
  if (row == nullptr) return ERR_NO_MEMORY;
  if (int rc = scs_p_FetchAdded(cur, mark, row.get())) return rc;
  if (int rc = ColSetAlloc(&rs->rows, row.get(), rs->count)) return rc;
  uint16_t status = SQL_ROW_DELETED;
  if (row->rows_held > 0) {
    if (int rc = ColSetCopyRows(rs->rows, row.get(), 0, 0, 1)) return rc;
    status = SQL_ROW_SUCCESS;
  }
  // A row gone is there as a hole, as a keyset cursor shows one.
  rs->rows->rows_held = 1;
  SCR_SetRowStatusAt(rs, 1, status);
  cur->rowsetStart = static_cast<int32_t>(mark);
  return 0;
}

int scs_p_FetchStaticByBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows,
                                uint16_t* statuses, ROWSTATUS** out) {
  SS_CURSOR* ss = cur->staticCursor;
  if (ss == nullptr || (cur->flags & SCR_FLAG_RESULT_CACHED) == 0) return ERR_INVALID_CURSOR_STATE;
  ROWSTATUS* rs = nullptr;
  if (int rc = RowStatusCreate(&rs, rows)) return rc;
  // A continuing fetch (SQLFetch of an ODBC 2 application) goes on where it was.
  const int32_t position = ss->position;
  COLSET* one = nullptr;
  uint32_t found = 0, gone = 0;
  bool invalid = false;
  const int rc = EachBookmark(cur, bookmarks, rows, rs, statuses, &found, &gone, &invalid,
                              [&](uint32_t j, uint64_t b) {
                                int read = SS_Fetch(ss, static_cast<int32_t>(b - 1), 1, &one);
                                if (read != 0 || one->rows_held == 0) return read;
                                read = Place(rs, one, j, &found);
                                if (read == 0) {
                                  SCR_SetRowStatusAt(rs, j + 1, SQL_ROW_SUCCESS);
                                  statuses[j] = SQL_ROW_SUCCESS;
                                }
                                return read;
                              });
  ColSetDestroy(one);
  ss->position = position;
  if (!Handed(cur, rc, rs, found, out)) return rc;
  return Outcome(cur, rows, found + gone, invalid);
}

int scs_p_FetchKeysetByBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows,
                                uint16_t* statuses, ROWSTATUS** out) {
  ROWSTATUS* rs = nullptr;
  if (int rc = RowStatusCreate(&rs, rows)) return rc;
  // Each row is read as a rowset of one; the cursor's own rowset stays
  // where it was for the operations that address it.
  const uint32_t size = cur->rowsetSize;
  const int32_t start = cur->rowsetStart, position = cur->position;
  cur->rowsetSize = 1;
  ROWSTATUS* one = nullptr;
  uint32_t found = 0, gone = 0;
  bool invalid = false;
  const int rc = EachBookmark(cur, bookmarks, rows, rs, statuses, &found, &gone, &invalid,
                              [&](uint32_t j, uint64_t b) {
                                RowStatusFree(&one);
                                int read = RowStatusCreate(&one, 1);
                                if (read == 0)
                                  read = scs_p_FetchKeyset(cur, one, static_cast<int32_t>(b));
                                if (read == 0) read = Place(rs, one->rows, j, &found);
                                if (read != 0) return read;
                                statuses[j] = SCR_GetRowStatusAt(one, 1);
                                SCR_SetRowStatusAt(rs, j + 1, statuses[j]);
                                return 0;
                              });
  RowStatusFree(&one);
  cur->rowsetSize = size;
  cur->rowsetStart = start;
  cur->position = position;
  if (!Handed(cur, rc, rs, found, out)) return rc;
  return Outcome(cur, rows, found + gone, invalid);
}

int scs_p_FetchMixedByBookmark(SCR_CURSOR* cur, const uint64_t* bookmarks, uint32_t rows,
                               uint16_t* statuses, ROWSTATUS** out) {
  KS_KEYSET* ks = cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr;
  if (ks == nullptr || ks->blockRows == nullptr || ks->marks == nullptr)
    return ERR_INVALID_CURSOR_STATE;
  // Each row is read as a block of its one key; the cursor's block comes
  // back afterwards, with its rowset where it was.
  COLSET* saved = nullptr;
  if (int rc = ColSetCreate(&saved, ks->blockRows)) return rc;
  const uint32_t size = cur->rowsetSize, inBlock = ks->rowsetInBlock;
  const int32_t state = ks->scrollState, position = cur->position;
  ROWSTATUS* rs = nullptr;
  int rc = RowStatusCreate(&rs, rows);
  cur->rowsetSize = 1;
  ROWSTATUS* one = nullptr;
  uint32_t found = 0;
  for (uint32_t j = 0; rc == 0 && j < rows; ++j) {
    const uint64_t b = bookmarks[j];
    if (b < 1 || b > ks->marks->rows_held) continue;
    ColSetPtr key;
    rc = ColSetAlloc(&key, ks->marks, 1);
    if (rc == 0) rc = ColSetCopyRows(key.get(), ks->marks, 0, static_cast<uint32_t>(b - 1), 0);
    if (rc == 0) rc = KS_SetBlock(cur, key.release());
    RowStatusFree(&one);
    if (rc == 0) rc = RowStatusCreate(&one, 1);
    if (rc == 0) rc = scs_p_FetchKeyset(cur, one, 1);
    if (rc == 0) rc = Place(rs, one->rows, j, &found);
    if (rc != 0) break;
    statuses[j] = SCR_GetRowStatusAt(one, 1);
    SCR_SetRowStatusAt(rs, j + 1, statuses[j]);
  }
  RowStatusFree(&one);
  cur->rowsetSize = size;
  const int back = KS_SetBlock(cur, saved);
  ks->rowsetInBlock = inBlock;
  ks->scrollState = state;
  cur->position = position;
  if (rc == 0) rc = back;
  if (!Handed(cur, rc, rs, found, out)) return rc;
  return found == rows ? 0 : ERR_ROW_ERROR;
}
