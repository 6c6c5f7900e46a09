#include "util/colset.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/errcodes.h"
#include "util/textconv.h"

namespace {

// Largest block the row buffer asks for (1 TiB, far beyond any real fetch
// block); beyond it a request is refused rather than handed to the
// allocator, some of which abort instead of failing on absurd sizes.
constexpr uint64_t kMaxBlock = uint64_t{1} << 40;
static_assert(kMaxBlock <= static_cast<uint64_t>(PTRDIFF_MAX), "a block must be addressable");

uint64_t round_up(uint64_t n, uint64_t to) { return (n + to - 1) / to * to; }

bool is_long_type(uint32_t code) {
  return code == COLSET_VT_LONGCHAR || code == COLSET_VT_LONGBINARY || code == COLSET_VT_LONGWCHAR;
}

}  // namespace

namespace {

template <typename T>
int64_t LoadInt(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<int64_t>(v);
}

}  // namespace

std::string ColSetZoneText(uint32_t zone) {
  if (zone == COLSET_ZONE_NONE) return {};
  const int32_t seconds = static_cast<int32_t>(zone) - COLSET_ZONE_BIAS;
  const int32_t east = seconds < 0 ? -seconds : seconds;
  const char sign = seconds < 0 ? '-' : '+';
  char text[40];  // room for any int, so no format is cut
  if (east % 3600 == 0) {
    std::snprintf(text, sizeof text, "%c%02d", sign, east / 3600);
  } else if (east % 60 == 0) {
    std::snprintf(text, sizeof text, "%c%02d:%02d", sign, east / 3600, east / 60 % 60);
  } else {
    std::snprintf(text, sizeof text, "%c%02d:%02d:%02d", sign, east / 3600, east / 60 % 60,
                  east % 60);
  }
  return text;
}

bool ColSetElemInt(const COLSET_COL& col, uint32_t row, int64_t* out) {
  if (col.data == nullptr) return false;
  const unsigned char* p = col.data + static_cast<size_t>(row) * col.elem_size;
  switch (col.type) {
    case COLSET_VT_TINYINT: *out = LoadInt<int8_t>(p); return true;
    case COLSET_VT_UTINYINT:
    case COLSET_VT_BIT: *out = p[0]; return true;
    case COLSET_VT_SMALLINT: *out = LoadInt<int16_t>(p); return true;
    case COLSET_VT_USMALLINT: *out = LoadInt<uint16_t>(p); return true;
    case COLSET_VT_INTEGER: *out = LoadInt<int32_t>(p); return true;
    case COLSET_VT_UINTEGER: *out = LoadInt<uint32_t>(p); return true;
    default: return false;
  }
}

uint32_t ColSetTypeSize(uint32_t code, uint32_t length) {
  const uint64_t len = length;
  uint64_t size = 0;
  switch (code) {
    case COLSET_VT_NONE:
    case COLSET_VT_BIT:
    case COLSET_VT_TINYINT:
    case COLSET_VT_UTINYINT: size = 1; break;
    case COLSET_VT_SMALLINT:
    case COLSET_VT_USMALLINT: size = 2; break;
    case COLSET_VT_INTEGER:
    case COLSET_VT_UINTEGER:
    case COLSET_VT_REAL: size = 4; break;
    case COLSET_VT_DOUBLE: size = 8; break;
    case COLSET_VT_DATE: size = 6; break;
    case COLSET_VT_TIME: size = 16; break;
    case COLSET_VT_TIMESTAMP: size = 20; break;
    case COLSET_VT_CHAR:
    case COLSET_VT_BINARY: size = len; break;
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_LONGBINARY:
    case COLSET_VT_LONGWCHAR: size = sizeof(COLSET_LONG); break;
    case COLSET_VT_NTS:
    case COLSET_VT_CHAR8:
    case COLSET_VT_BINARY8: size = len + 1; break;
    case COLSET_VT_CHAR16:
    case COLSET_VT_BINARY16: size = round_up(len + 2, 2); break;
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY32: size = round_up(len + 4, 4); break;
    case COLSET_VT_WCHAR: size = 2 * len; break;
    case COLSET_VT_WNTS: size = 2 * len + 2; break;
    case COLSET_VT_WCHAR32: size = round_up(4 + 2 * len, 4); break;
    default: return 0;
  }
  return size >= COLSET_SIZE_TOO_LARGE ? COLSET_SIZE_TOO_LARGE : static_cast<uint32_t>(size);
}

int ColSetColumnAlloc(COLSET_COL* col, uint32_t rows) {
  col->data = nullptr;
  col->ind = nullptr;
  if (rows == 0) return 0;
  if (col->elem_size == COLSET_SIZE_TOO_LARGE) return ERR_NO_MEMORY;
  // 32 x 32 bits: the product and the extra byte cannot wrap in 64 bits.
  const uint64_t bytes = static_cast<uint64_t>(rows) * col->elem_size + 1;
  if (bytes > kMaxBlock) return ERR_NO_MEMORY;
  auto* data = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(bytes), 1));
  auto* ind = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * static_cast<size_t>(rows)));
  if (!data || !ind) {
    std::free(data);
    std::free(ind);
    return ERR_NO_MEMORY;
  }
  for (uint32_t r = 0; r < rows; ++r) ind[r] = COLSET_IND_NULL;
  col->data = data;
  col->ind = ind;
  return 0;
}

void ColSetColumnFree(COLSET_COL* col, uint32_t rows) {
  if (!col) return;
  // A long column's elements own their values; a column too narrow to hold
  // the element was never filled through it and owns nothing.
  if (col->data && is_long_type(col->type) && col->elem_size >= sizeof(COLSET_LONG)) {
    for (uint32_t r = 0; r < rows; ++r) {
      COLSET_LONG elem;
      std::memcpy(&elem, col->data + static_cast<size_t>(r) * col->elem_size, sizeof elem);
      std::free(elem.value);
    }
  }
  std::free(col->data);
  std::free(col->ind);
  col->data = nullptr;
  col->ind = nullptr;
}

void ColSetFreeColumns(COLSET* set) {
  if (!set) return;
  if (set->cols) {
    for (uint32_t c = 0; c < set->col_capacity; ++c)
      ColSetColumnFree(&set->cols[c], set->row_capacity);
  }
  std::free(set->cols);
  set->cols = nullptr;
  set->col_capacity = 0;
  set->row_capacity = 0;
  set->cols_used = 0;
  set->rows_held = 0;
}

int ColSetInit(COLSET* set, uint16_t ncols) {
  ColSetFreeColumns(set);
  if (ncols == 0) return 0;
  auto* cols = static_cast<COLSET_COL*>(std::calloc(ncols, sizeof(COLSET_COL)));
  if (!cols) return ERR_NO_MEMORY;
  set->cols = cols;
  set->col_capacity = ncols;
  return 0;
}

int ColSetSetRows(COLSET* set, uint32_t rows) {
  if (set->cols_used > set->col_capacity) return ERR_NO_MEMORY;
  // Storage from an earlier shape goes first: it was sized for the old rows.
  for (uint32_t c = 0; c < set->cols_used; ++c) ColSetColumnFree(&set->cols[c], set->row_capacity);
  set->row_capacity = 0;
  if (rows > 0) {
    for (uint32_t c = 0; c < set->cols_used; ++c) {
      if (ColSetColumnAlloc(&set->cols[c], rows) != 0) {
        for (uint32_t k = 0; k < c; ++k) ColSetColumnFree(&set->cols[k], rows);
        return ERR_NO_MEMORY;
      }
    }
  }
  set->row_capacity = rows;
  return 0;
}

namespace {

// Whether set already has storage for exactly these columns and rows.
bool BuiltAlike(const JdbcColDesc* descs, uint16_t count, uint32_t rows, const COLSET* set) {
  if (set->cols == nullptr || count == 0 || rows == 0 || set->col_capacity != count ||
      set->cols_used != count || set->row_capacity != rows)
    return false;
  for (uint16_t c = 0; c < count; ++c) {
    const COLSET_COL& col = set->cols[c];
    if (col.data == nullptr || col.ind == nullptr || col.type != descs[c].value_type ||
        col.elem_size != ColSetTypeSize(descs[c].value_type, descs[c].elem_len))
      return false;
  }
  return true;
}

// The storage of a set built alike, as a new build leaves it: long values
// freed, data zeroed, every indicator null.
void Clear(COLSET* set) {
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    COLSET_COL& col = set->cols[c];
    unsigned char* data = col.data;
    if (is_long_type(col.type) && col.elem_size >= sizeof(COLSET_LONG)) {
      for (uint32_t r = 0; r < set->row_capacity; ++r) {
        COLSET_LONG elem;
        std::memcpy(&elem, data + static_cast<size_t>(r) * col.elem_size, sizeof elem);
        std::free(elem.value);
      }
    }
    std::memset(data, 0, static_cast<size_t>(set->row_capacity) * col.elem_size + 1);
    for (uint32_t r = 0; r < set->row_capacity; ++r) col.ind[r] = COLSET_IND_NULL;
  }
  set->rows_held = 0;
}

}  // namespace

int ColSetBuild(const JdbcColDesc* descs, uint16_t count, uint32_t rows, COLSET* set) {
  // A fetch after a fetch of the same shape: the storage is cleared, not
  // given back and asked for again (a block of rows would fault its pages
  // in anew each time).
  if (BuiltAlike(descs, count, rows, set)) {
    Clear(set);
    return 0;
  }
  int rc = ColSetInit(set, count);
  if (rc != 0) return rc;
  for (uint16_t c = 0; c < count; ++c) {
    set->cols[c].type = descs[c].value_type;
    set->cols[c].elem_size = ColSetTypeSize(descs[c].value_type, descs[c].elem_len);
  }
  set->cols_used = count;
  return ColSetSetRows(set, rows);
}

int ColDescSetText(JdbcColDesc* d, unsigned which, const char* text) {
  if (which >= COLDESC_TEXTS) return ERR_INVALID_ARGUMENT;
  char* copy = nullptr;
  if (text) {
    copy = strdup(text);
    if (!copy) return ERR_NO_MEMORY;
  }
  std::free(d->texts[which]);
  d->texts[which] = copy;
  return 0;
}

int ColDescSetName(JdbcColDesc* d, const char* text) {
  const char* src = text ? text : "";
  const size_t n =
      utf8_prefix_len_bounded(src, strnlen(src, COLDESC_NAME_CHARS + 1), COLDESC_NAME_CHARS);
  std::memcpy(d->name, src, n);
  d->name[n] = '\0';
  return ColDescSetText(d, COLDESC_LABEL, text);
}

JdbcColDesc* ColDescAlloc(uint16_t count) {
  return static_cast<JdbcColDesc*>(std::calloc(count ? count : 1, sizeof(JdbcColDesc)));
}

void ColDescFree(JdbcColDesc* descs, uint16_t count) {
  if (!descs) return;
  for (uint16_t i = 0; i < count; ++i) {
    for (char*& text : descs[i].texts) {
      std::free(text);
      text = nullptr;
    }
  }
  std::free(descs);
}
