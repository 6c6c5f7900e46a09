// The mixed cursor: a keyset of SQL_ATTR_KEYSET_SIZE keys that moves through
// the result as a block, the rowset read by key from inside it. A rowset
// that stays inside the block reads no keys; one that leaves it moves the
// block first, by the seek query, so that the block never holds more than
// the keyset size however long the result.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "scrs/ksblock.h"
#include "scrs/scrhooks.h"
#include "util/errcodes.h"

namespace {

// Where the rowset comes from: a block state and the rowset's first row
// inside the block (may come out below 0 before it is settled).
struct Move {
  int32_t state;
  int64_t start;
};

int Load(SCR_CURSOR* cur, uint16_t orientation, int64_t offset) {
  const int64_t lo = INT32_MIN, hi = INT32_MAX;
  return KS_FetchKeyBlock(cur, orientation, static_cast<int32_t>(std::clamp(offset, lo, hi)));
}

int64_t LastRowset(uint32_t k, uint32_t r) { return std::max<int64_t>(0, int64_t{k} - r); }

int BeforeStart(SCR_CURSOR* cur) {
  SCR_SetRowPos(cur, SCR_POS_BEFORE_START);
  return ERR_FETCH_BEFORE_START;
}

// Moves the block as the orientation needs and settles the rowset's start.
int Place(SCR_CURSOR* cur, KS_KEYSET* ks, uint16_t orientation, int32_t offset, Move* m) {
  const int64_t r = cur->rowsetSize, kset = KS_BlockSize(cur);
  const int64_t p = int64_t{ks->rowsetInBlock} + 1;
  const int32_t state = ks->scrollState;
  const bool valid = state != KS_BLOCK_NONE && state != 0 && ks->bound != nullptr;
  m->state = state;
  switch (orientation) {
    case SQL_FETCH_NEXT: {
      if (!valid) return Place(cur, ks, SQL_FETCH_FIRST, 0, m);
      if (p + 2 * r - 1 <= ks->rowCount) {
        m->start = p + r - 1;
        return 0;
      }
      const int rc = Load(cur, SQL_FETCH_RELATIVE, p + r - 1);
      if (rc == ERR_NO_DATA_FOUND) ks->scrollState = KS_BLOCK_PAST_END;
      if (rc != 0) return rc;
      *m = {KS_BLOCK_ANYWHERE, 0};
      return 0;
    }
    case SQL_FETCH_FIRST:
      if (valid &&
          (state == KS_BLOCK_AT_START || (state == KS_BLOCK_AT_END && ks->rowCount < kset))) {
        m->start = 0;
        return 0;
      }
      if (int rc = Load(cur, SQL_FETCH_FIRST, 0)) return rc;
      *m = {KS_BLOCK_AT_START, 0};
      return 0;
    case SQL_FETCH_LAST:
      if (valid &&
          (state == KS_BLOCK_AT_END || (state == KS_BLOCK_END_FULL && ks->rowCount >= r))) {
        m->start = LastRowset(ks->rowCount, static_cast<uint32_t>(r));
        return 0;
      }
      if (int rc = Load(cur, SQL_FETCH_LAST, 0)) return rc;
      *m = {KS_BLOCK_AT_END, LastRowset(ks->rowCount, static_cast<uint32_t>(r))};
      return 0;
    case SQL_FETCH_PRIOR: {
      if (state == KS_BLOCK_PAST_END) return Place(cur, ks, SQL_FETCH_LAST, 0, m);
      if (!valid) return BeforeStart(cur);
      const int64_t back = p - 1 - r;
      if (back >= 0) {
        m->start = back;
        return 0;
      }
      // The first rowset, when the one asked for reaches before it.
      if (state == KS_BLOCK_AT_START) {
        if (p == 1) return BeforeStart(cur);
        m->start = 0;
        return 0;
      }
      int rc = Load(cur, SQL_FETCH_RELATIVE, p - kset - 1);
      if (rc == ERR_NO_DATA_FOUND) return BeforeStart(cur);
      if (rc != 0) return rc;
      *m = {KS_BLOCK_ANYWHERE, int64_t{ks->rowCount} - r};
      if (ks->rowCount < kset) {
        // The block ran into the start: the rows before the old rowset
        // are the first ks->rowCount of the result.
        const int64_t start = std::max<int64_t>(0, int64_t{ks->rowCount} - r);
        if ((rc = Load(cur, SQL_FETCH_FIRST, 0)) != 0) return rc;
        *m = {KS_BLOCK_AT_START, start};
      }
      return 0;
    }
    case SQL_FETCH_RELATIVE: {
      if (!valid) return offset > 0 ? Place(cur, ks, SQL_FETCH_FIRST, 0, m) : BeforeStart(cur);
      const int64_t to = p + offset - 1;
      if (to >= 0 && to + r <= ks->rowCount) {
        m->start = to;
        return 0;
      }
      const uint32_t before = ks->rowCount;
      const int rc = Load(cur, SQL_FETCH_RELATIVE, to);
      if (rc == ERR_NO_DATA_FOUND) return offset < 0 ? BeforeStart(cur) : rc;
      if (rc != 0) return rc;
      *m = {KS_BLOCK_ANYWHERE, 0};
      if (ks->rowCount < r && offset < 0 && (-int64_t{offset} > r || ks->rowCount < before))
        return Place(cur, ks, SQL_FETCH_FIRST, 0, m);
      return 0;
    }
    default:
      return ERR_FETCH_TYPE_RANGE;
  }
}

}  // namespace

int scs_p_FetchMixed(SCR_CURSOR* cur, int32_t offset, uint16_t orientation, ROWSTATUS* rs) {
  if (cur == nullptr || cur->analysis == nullptr || rs == nullptr) return ERR_GENERAL;
  KS_KEYSET* ks = KS_Keyset(cur);
  if (ks == nullptr) return ERR_NO_MEMORY;
  if ((cur->flags & SCR_FLAG_RELOAD_BLOCK) != 0) {
    ks->scrollState = KS_BLOCK_NONE;
    cur->flags &= static_cast<uint16_t>(~SCR_FLAG_RELOAD_BLOCK);
  }
  Move m{ks->scrollState, 0};
  if (int rc = Place(cur, ks, orientation, offset, &m)) return rc;
  ks->scrollState = m.state;
  const uint32_t start = static_cast<uint32_t>(std::max<int64_t>(0, m.start));
  ks->rowsetInBlock = start;
  // The keyset fetch counts rows from 1.
  const int rc = scs_p_FetchKeyset(cur, rs, static_cast<int32_t>(start) + 1);
  if (rc != 0) return rc;
  cur->rowsetStart = -1;
  // A block that starts the result and holds fewer keys than it could is
  // the whole result.
  if (cur->rowCount < 0 && m.state == KS_BLOCK_AT_START && ks->rowCount < KS_BlockSize(cur))
    cur->rowCount = static_cast<int32_t>(ks->rowCount);
  return 0;
}
