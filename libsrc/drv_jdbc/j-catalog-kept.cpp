// Catalog results read whole when they open, put in the order ODBC gives
// them and handed out by DRV_Fetch from memory. JDBC drivers do not all
// keep the order JDBC asks for (HSQLDB lists tables and indexes in the order
// they were made), and the type rewrite moves SQLGetTypeInfo's rows about
// (BOOLEAN to BIT, BLOB to LONGVARBINARY, the ODBC 2 date codes).
#include <sql.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-handles.h"
#include "util/errcodes.h"

struct CatKeptRows {
  struct Key {
    bool present = false;
    int32_t num = 0;
    std::u16string text;  // 8-bit text widened byte by byte: the order stays the bytes'
    bool operator<(const Key& o) const {
      return std::tie(present, num, text) < std::tie(o.present, o.num, o.text);
    }
  };
  struct Row {
    std::vector<Key> keys;
    std::vector<unsigned char> bytes;  // the elements of every column, one after the other
    std::vector<uint16_t> ind;
  };
  std::vector<Row> rows;
  std::vector<size_t> widths;  // of each column's element, as the rows hold them
  size_t next = 0;
};

namespace {

constexpr uint16_t kBlock = 100;

CatKeptRows* KeptOf(const JdbcStmt* s) { return static_cast<CatKeptRows*>(s->keptRows.get()); }

CatKeptRows::Key KeyAt(const COLSET& set, uint32_t column, uint32_t r) {
  CatKeptRows::Key k;

  if (column == 0 || column > set.cols_used) return k;
  const COLSET_COL& col = set.cols[column - 1];
  if (col.ind[r] == COLSET_IND_NULL) return k;
  k.present = true;
  const unsigned char* e = col.data + static_cast<size_t>(r) * col.elem_size;
  if (col.type == COLSET_VT_NTS) {
    for (size_t i = 0; i < col.elem_size && e[i] != 0; ++i) k.text.push_back(e[i]);
  } else if (col.type == COLSET_VT_WNTS) {
    for (size_t i = 0; i + 1 < col.elem_size; i += 2) {
      char16_t u;
      std::memcpy(&u, e + i, 2);
      if (u == 0) break;
      k.text.push_back(u);
    }
  } else {
    k.num = CatCell{const_cast<COLSET_COL*>(&col), r}.Int();
  }
  return k;
}

void Keep(const COLSET& set, uint32_t r, const std::vector<uint16_t>& keys, CatRowRank rank,
          CatKeptRows* k) {
  CatKeptRows::Row row;
  for (uint16_t c = 0; c < set.cols_used; ++c) {
    const COLSET_COL& col = set.cols[c];
    const unsigned char* e = col.data + static_cast<size_t>(r) * col.elem_size;
    row.bytes.insert(row.bytes.end(), e, e + col.elem_size);
    row.ind.push_back(col.ind[r]);
  }
  for (uint16_t column : keys) row.keys.push_back(KeyAt(set, column, r));
  if (rank != nullptr) row.keys.push_back(CatKeptRows::Key{true, rank(set, r), {}});
  k->rows.push_back(std::move(row));
}

}  // namespace

uint32_t catKeepRows(uint32_t stmt, const std::vector<uint16_t>& keys, CatRowRank rank) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  auto kept = std::make_shared<CatKeptRows>();
  uint32_t rc = 0;
  while (true) {
    COLSET set;
    rc = DRV_Fetch(stmt, kBlock, &set);
    const uint32_t held = rc == 0 ? set.rows_held : 0;
    if (held > 0 && kept->widths.empty())
      for (uint16_t c = 0; c < set.cols_used; ++c) kept->widths.push_back(set.cols[c].elem_size);
    for (uint32_t r = 0; r < held; ++r) Keep(set, r, keys, rank, kept.get());
    ColSetFreeColumns(&set);
    if (rc != 0 || held == 0 || (s->flags & STMT_NO_MORE_ROWS) != 0) break;
  }
  if (rc != 0) return rc;
  // Stable: rows equal in the keys keep the server's order (for types, the
  // closest match first).
  std::stable_sort(
      kept->rows.begin(), kept->rows.end(),
      [](const CatKeptRows::Row& a, const CatKeptRows::Row& b) { return a.keys < b.keys; });
  s->keptRows = kept;
  s->flags &= static_cast<uint16_t>(~STMT_NO_MORE_ROWS);
  s->rowsFetched = 0;
  s->rowCount = 0;
  return 0;
}

namespace {

// The 16-bit value of column `column` (1-based) of a kept row, or null when
// the rows have no such column of that width.
unsigned char* SmallAt(CatKeptRows::Row& row, const std::vector<size_t>& widths, size_t column) {
  if (column == 0 || column > widths.size() || widths[column - 1] != 2) return nullptr;
  size_t at = 0;
  for (size_t c = 0; c + 1 < column; ++c) at += widths[c];
  return at + 2 <= row.bytes.size() ? row.bytes.data() + at : nullptr;
}

int16_t NarrowOf(int16_t wide) {
  switch (wide) {
    case SQL_WCHAR: return SQL_CHAR;
    case SQL_WVARCHAR: return SQL_VARCHAR;
    case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
    default: return 0;
  }
}

}  // namespace

void catKeepNarrowTextRows(JdbcStmt* s) {
  CatKeptRows* k = KeptOf(s);
  if (k == nullptr) return;
  constexpr size_t kDataType = 2, kSqlDataType = 16;
  std::vector<CatKeptRows::Row> copies;
  for (CatKeptRows::Row& row : k->rows) {
    unsigned char* type = SmallAt(row, k->widths, kDataType);
    int16_t wide = 0;
    if (type != nullptr) std::memcpy(&wide, type, 2);
    const int16_t narrow = NarrowOf(wide);
    if (narrow == 0 || row.keys.empty()) continue;
    CatKeptRows::Row copy = row;
    for (size_t column : {kDataType, kSqlDataType})
      if (unsigned char* p = SmallAt(copy, k->widths, column)) std::memcpy(p, &narrow, 2);
    copy.keys[0].num = narrow;
    copies.push_back(std::move(copy));
  }
  if (copies.empty()) return;
  k->rows.insert(k->rows.end(), copies.begin(), copies.end());
  std::stable_sort(
      k->rows.begin(), k->rows.end(),
      [](const CatKeptRows::Row& a, const CatKeptRows::Row& b) { return a.keys < b.keys; });
}

void catKeepAddedRows(JdbcStmt* s, std::shared_ptr<void> into, size_t column, int16_t value) {
  auto* base = static_cast<CatKeptRows*>(into.get());
  CatKeptRows* added = KeptOf(s);
  if (base == nullptr) return;
  if (added != nullptr) {
    if (base->widths.empty()) base->widths = added->widths;
    const size_t known = base->rows.size();
    for (CatKeptRows::Row& row : added->rows) {
      bool listed = false;
      for (size_t i = 0; i < known && !listed; ++i)
        listed = !(base->rows[i].keys < row.keys) && !(row.keys < base->rows[i].keys);
      unsigned char* p = SmallAt(row, base->widths, column);
      if (listed || p == nullptr || row.ind.size() < column) continue;
      std::memcpy(p, &value, 2);
      row.ind[column - 1] = 0;
      base->rows.push_back(std::move(row));
    }
    std::stable_sort(
        base->rows.begin(), base->rows.end(),
        [](const CatKeptRows::Row& a, const CatKeptRows::Row& b) { return a.keys < b.keys; });
  }
  base->next = 0;
  s->keptRows = std::move(into);
}

uint32_t catFetchKept(JdbcStmt* s, uint16_t rows, COLSET* set) {
  CatKeptRows* k = KeptOf(s);
  s->rowCount = 0;
  const size_t left = k->rows.size() - k->next;
  const uint32_t take = static_cast<uint32_t>(std::min<size_t>(rows, left));
  if (take == 0) {
    s->flags |= STMT_NO_MORE_ROWS;
    return static_cast<uint32_t>(ColSetInit(set, 0));
  }
  if (ColSetBuild(s->cols, s->colCount, take, set) != 0) return ERR_NO_MEMORY;
  for (uint32_t i = 0; i < take; ++i) {
    const CatKeptRows::Row& row = k->rows[k->next + i];
    size_t at = 0;
    for (uint16_t c = 0; c < set->cols_used && c < row.ind.size(); ++c) {
      COLSET_COL& col = set->cols[c];
      // A row buffer built from the same descriptions has the same widths.
      if (at + col.elem_size > row.bytes.size()) break;
      std::memcpy(col.data + static_cast<size_t>(i) * col.elem_size, row.bytes.data() + at,
                  col.elem_size);
      col.ind[i] = row.ind[c];
      at += col.elem_size;
    }
  }
  k->next += take;
  set->rows_held = take;
  s->rowCount = take;
  s->rowsFetched += take;
  if (k->next == k->rows.size()) s->flags |= STMT_NO_MORE_ROWS;
  return 0;
}
