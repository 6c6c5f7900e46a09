// The mixed cursor: a keyset of SQL_ATTR_KEYSET_SIZE keys that moves through
// the result as a block, the rowset read by key from inside it. A rowset
// that stays inside the block reads no keys; one that leaves it moves the
// block first, by the seek query, so that the block never holds more than
// the keyset size however long the result.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "scrs/colset_ops.h"
#include "scrs/ksblock.h"
#include "scrs/scrhooks.h"
#include "util/errcodes.h"

namespace {

// Where the rowset comes from: a block state and the rowset's first row
// inside the block.
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

int First(SCR_CURSOR* cur, Move* m) {
  if (int rc = Load(cur, SQL_FETCH_FIRST, 0)) return rc;
  *m = {KS_BLOCK_AT_START, 0};
  return 0;
}

// The first rowset in place of one that would begin before row 1.
int FirstInstead(SCR_CURSOR* cur, Move* m) {
  cur->flags |= SCR_FLAG_FIRST_STANDS_IN;
  return First(cur, m);
}

// Rows of `src` into the new block at `at`: n of them from `from` on, or
// backwards from `from` when `back`.
int Put(COLSET* block, uint32_t at, COLSET* src, int64_t from, int64_t n, bool back, int move) {
  for (int64_t i = 0; i < n; ++i) {
    const int64_t row = back ? from - i : from + i;
    if (int rc = ColSetCopyRows(block, src, at + static_cast<uint32_t>(i),
                                static_cast<uint32_t>(row), move))
      return rc;
  }
  return 0;
}

// Moves the block so that it starts at place t (at least 0) of the block
// held. The keys held from t on keep their places, whatever became of
// their rows; the rest is read after the last key held. Counting the
// result again from the block's first key would lose a row for every row
// of the block that others deleted meanwhile.
int Forward(SCR_CURSOR* cur, KS_KEYSET* ks, int64_t t, Move* m) {
  COLSET* held = ks->blockRows;
  const int64_t kset = KS_BlockSize(cur), k = ks->rowCount;
  if (held == nullptr || k == 0) return ERR_GENERAL;
  const int64_t keep = std::clamp<int64_t>(k - t, 0, kset);
  const int64_t skip = std::max<int64_t>(0, t - k);
  const int64_t want = skip + kset - keep;
  COLSET read{};
  int rc = KS_ReadKeys(cur, SQL_FETCH_NEXT, held, static_cast<uint32_t>(k - 1),
                       static_cast<uint32_t>(want), &read);
  const int64_t added = std::max<int64_t>(0, int64_t{read.rows_held} - skip);
  if (rc == 0 && keep + added == 0) rc = ERR_NO_DATA_FOUND;
  ColSetPtr block;
  if (rc == 0) rc = ColSetAlloc(&block, held, static_cast<uint32_t>(keep + added));
  if (rc == 0) rc = Put(block.get(), 0, held, std::min(t, k), keep, false, 0);
  if (rc == 0) rc = Put(block.get(), static_cast<uint32_t>(keep), &read, skip, added, false, 1);
  const bool end = int64_t{read.rows_held} < want;
  ColSetFreeColumns(&read);
  if (rc != 0) return rc;
  if ((rc = KS_SetBlock(cur, block.release())) != 0) return rc;
  *m = {end ? KS_BLOCK_END_FULL : KS_BLOCK_ANYWHERE, 0};
  return 0;
}

// Moves the block so that it starts at place t (below 0) of the block
// held: the keys read before its first key, then its own. When fewer than
// -t rows lie before it, *before tells how many and nothing moves.
int Backward(SCR_CURSOR* cur, KS_KEYSET* ks, int64_t t, Move* m, int64_t* before) {
  COLSET* held = ks->blockRows;
  const int64_t kset = KS_BlockSize(cur), k = ks->rowCount, n = -t;
  if (held == nullptr || k == 0) return ERR_GENERAL;
  COLSET read{};
  int rc = KS_ReadKeys(cur, SQL_FETCH_PRIOR, held, 0, static_cast<uint32_t>(n), &read);
  *before = read.rows_held;
  if (rc == 0 && *before < n) rc = ERR_FETCH_BEFORE_START;
  // Read backwards: the new first key is the n-th read.
  const int64_t taken = std::min(n, kset);
  const int64_t keep = std::clamp<int64_t>(t + kset, 0, k);
  ColSetPtr block;
  if (rc == 0) rc = ColSetAlloc(&block, held, static_cast<uint32_t>(taken + keep));
  if (rc == 0) rc = Put(block.get(), 0, &read, n - 1, taken, true, 1);
  if (rc == 0) rc = Put(block.get(), static_cast<uint32_t>(taken), held, 0, keep, false, 0);
  ColSetFreeColumns(&read);
  if (rc != 0) return rc;
  if ((rc = KS_SetBlock(cur, block.release())) != 0) return rc;
  *m = {KS_BLOCK_ANYWHERE, 0};
  return 0;
}

// A move back by `back` rows to place t of the block held (s the rowset's
// place in it): a move that reaches before row 1 gives the first rowset,
// or nothing when the rowset was the first already or the move is longer
// than a rowset.
int Back(SCR_CURSOR* cur, KS_KEYSET* ks, int64_t s, int64_t t, int64_t back, Move* m) {
  const int64_t r = cur->rowsetSize;
  if (ks->scrollState == KS_BLOCK_AT_START && t < 0) {
    if (s == 0 || back > r) return BeforeStart(cur);
    cur->flags |= SCR_FLAG_FIRST_STANDS_IN;
    *m = {KS_BLOCK_AT_START, 0};
    return 0;
  }
  int64_t before = 0;
  const int rc = Backward(cur, ks, t, m, &before);
  if (rc != ERR_FETCH_BEFORE_START) return rc;
  if (before + s == 0 || back > r) return BeforeStart(cur);
  return FirstInstead(cur, m);
}

// The block that starts at an absolute row (from the end when negative).
int Absolute(SCR_CURSOR* cur, KS_KEYSET* ks, int64_t row, Move* m) {
  const int64_t kset = KS_BlockSize(cur);
  const int rc = Load(cur, SQL_FETCH_ABSOLUTE, row);
  if (rc == ERR_FETCH_BEFORE_START)
    return -row > int64_t{cur->rowsetSize} ? BeforeStart(cur) : FirstInstead(cur, m);
  if (rc != 0) return rc;
  const bool end = ks->rowCount < kset || (row < 0 && -row <= kset);
  *m = {row == 1 ? KS_BLOCK_AT_START : end ? KS_BLOCK_END_FULL : KS_BLOCK_ANYWHERE, 0};
  return 0;
}

// The rowset that starts at the row a bookmark names: the block is read
// from that key.
int FromMark(SCR_CURSOR* cur, KS_KEYSET* ks, int64_t mark, Move* m) {
  if (int rc = scs_p_MixedMarkBlock(cur, static_cast<uint64_t>(mark))) return rc;
  *m = {ks->rowCount < KS_BlockSize(cur) ? KS_BLOCK_END_FULL : KS_BLOCK_ANYWHERE, 0};
  return 0;
}

// Moves the block as the orientation needs and settles the rowset's start.
int Place(SCR_CURSOR* cur, KS_KEYSET* ks, uint16_t orientation, int32_t offset, Move* m) {
  const int64_t r = cur->rowsetSize, kset = KS_BlockSize(cur);
  const int64_t s = ks->rowsetInBlock, k = ks->rowCount;
  const int32_t state = ks->scrollState;
  const bool valid =
      state != KS_BLOCK_NONE && state != 0 && ks->bound != nullptr && state != KS_BLOCK_PAST_END;
  m->state = state;
  switch (orientation) {
    case SQL_FETCH_NEXT: {
      if (state == KS_BLOCK_PAST_END) return ERR_NO_DATA_FOUND;
      if (!valid) return First(cur, m);
      const int64_t t = s + r;
      if (t + r <= k) {
        m->start = t;
        return 0;
      }
      const int rc = Forward(cur, ks, t, m);
      if (rc == ERR_NO_DATA_FOUND) ks->scrollState = KS_BLOCK_PAST_END;
      return rc;
    }
    case SQL_FETCH_FIRST:
      if (valid && (state == KS_BLOCK_AT_START || (state == KS_BLOCK_AT_END && k < kset))) {
        m->start = 0;
        return 0;
      }
      return First(cur, m);
    case SQL_FETCH_LAST:
      if (valid && (state == KS_BLOCK_AT_END || (state == KS_BLOCK_END_FULL && k >= r))) {
        m->start = LastRowset(ks->rowCount, static_cast<uint32_t>(r));
        return 0;
      }
      if (int rc = Load(cur, SQL_FETCH_LAST, 0)) return rc;
      *m = {KS_BLOCK_AT_END, LastRowset(ks->rowCount, static_cast<uint32_t>(r))};
      return 0;
    case SQL_FETCH_PRIOR: {
      if (state == KS_BLOCK_PAST_END) return Place(cur, ks, SQL_FETCH_LAST, 0, m);
      if (!valid) return BeforeStart(cur);
      const int64_t t = s - r;
      if (t >= 0) {
        m->start = t;
        return 0;
      }
      return Back(cur, ks, s, t, r, m);
    }
    case SQL_FETCH_RELATIVE: {
      if (!valid) {
        if (state == KS_BLOCK_PAST_END && offset < 0) return Absolute(cur, ks, offset, m);
        return offset > 0 ? Absolute(cur, ks, offset, m) : BeforeStart(cur);
      }
      const int64_t t = s + offset;
      if (t >= 0 && t + r <= k) {
        m->start = t;
        return 0;
      }
      if (t >= 0) return Forward(cur, ks, t, m);
      return Back(cur, ks, s, t, -int64_t{offset}, m);
    }
    case SQL_FETCH_ABSOLUTE: return Absolute(cur, ks, offset, m);
    case SQL_FETCH_BOOKMARK: return FromMark(cur, ks, offset, m);
    default: return ERR_FETCH_TYPE_RANGE;
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
