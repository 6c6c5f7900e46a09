// Output parameters of procedure calls, read from the CallableStatement.
#include "drv_jdbc/j-proc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-getvalue.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"
#include "util/owners.h"

namespace {

using jget::Put;

constexpr const char* kSrc = "libsrc/drv_jdbc/j-proc";

bool IsLongCode(uint32_t code) {
  return code == COLSET_VT_LONGCHAR || code == COLSET_VT_LONGBINARY || code == COLSET_VT_LONGWCHAR;
}

// The out-of-line code of a bounded text or byte form, 0 for the others.
uint32_t LongCodeOf(uint32_t code) {
  switch (code) {
    case COLSET_VT_NTS:
    case COLSET_VT_CHAR8:
    case COLSET_VT_CHAR16:
    case COLSET_VT_CHAR32: return COLSET_VT_LONGCHAR;
    case COLSET_VT_BINARY8:
    case COLSET_VT_BINARY16:
    case COLSET_VT_BINARY32: return COLSET_VT_LONGBINARY;
    case COLSET_VT_WNTS:
    case COLSET_VT_WCHAR32: return COLSET_VT_LONGWCHAR;
    default: return 0;
  }
}

template <class L>
uint32_t Prefix(const unsigned char* e) {
  L v;
  std::memcpy(&v, e, sizeof v);
  return v;
}

// Where the value of an element of a bounded form lies: the first unit and
// the count of units (bytes, or UTF-16 units for the wide forms), never
// beyond the element.
struct Span {
  const unsigned char* at = nullptr;
  uint32_t units = 0;
};

Span SpanOf(uint32_t code, const unsigned char* e, uint32_t size) {
  auto cut = [](uint32_t n, uint32_t room) { return std::min(n, room); };
  switch (code) {
    case COLSET_VT_NTS: {
      uint32_t n = 0;
      while (n < size && e[n] != 0) ++n;
      return {e, n};
    }
    case COLSET_VT_CHAR8:
    case COLSET_VT_BINARY8:
      return size < 1 ? Span{} : Span{e + 1, cut(Prefix<uint8_t>(e), size - 1)};
    case COLSET_VT_CHAR16:
    case COLSET_VT_BINARY16:
      return size < 2 ? Span{} : Span{e + 2, cut(Prefix<uint16_t>(e), size - 2)};
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY32:
      return size < 4 ? Span{} : Span{e + 4, cut(Prefix<uint32_t>(e), size - 4)};
    case COLSET_VT_WNTS: {
      uint32_t n = 0;
      while (n < size / 2 && Prefix<uint16_t>(e + 2 * n) != 0) ++n;
      return {e, n};
    }
    case COLSET_VT_WCHAR32:
      return size < 4 ? Span{} : Span{e + 4, cut(Prefix<uint32_t>(e), (size - 4) / 2)};
    default: return {};
  }
}

bool HoldsValue(uint16_t ind) {
  return ind != COLSET_IND_NULL && ind != COLSET_IND_DAE && ind != COLSET_IND_DEFERRED &&
         ind != COLSET_IND_SKIP;
}

// Turns a column of a bounded form into its out-of-line form, every row's
// value copied whole. 0 or ERR_NO_MEMORY (the column is then unchanged).
uint32_t ToLongColumn(COLSET_COL* col, uint32_t rows) {
  const uint32_t code = LongCodeOf(col->type);
  if (code == 0) return ERR_GENERAL;
  COLSET_COL out{};
  out.type = code;
  out.elem_size = ColSetTypeSize(code, 0);
  if (ColSetColumnAlloc(&out, rows) != 0) return ERR_NO_MEMORY;
  const size_t unit = code == COLSET_VT_LONGWCHAR ? 2 : 1;
  for (uint32_t r = 0; r < rows; ++r) {
    out.ind[r] = col->ind[r];
    if (!HoldsValue(col->ind[r])) continue;
    const Span v =
        SpanOf(col->type, col->data + static_cast<size_t>(r) * col->elem_size, col->elem_size);
    const size_t bytes = static_cast<size_t>(v.units) * unit;
    void* p = std::malloc(bytes + unit);
    if (p == nullptr) {
      ColSetColumnFree(&out, rows);
      return ERR_NO_MEMORY;
    }
    if (bytes != 0) std::memcpy(p, v.at, bytes);
    std::memset(static_cast<char*>(p) + bytes, 0, unit);
    const COLSET_LONG l{v.units, p};
    std::memcpy(out.data + static_cast<size_t>(r) * out.elem_size, &l, sizeof l);
  }
  ColSetColumnFree(col, rows);
  *col = out;
  return 0;
}

// Writes a value into an element of a bounded form when it fits there
// whole; false leaves the element untouched.
bool PutBounded(uint32_t code, unsigned char* e, uint32_t size, const COLSET_LONG& v) {
  const unsigned char* src = static_cast<const unsigned char*>(v.value);
  const uint32_t n = v.length;
  auto copy = [&](size_t at, size_t bytes) {
    if (bytes != 0) std::memcpy(e + at, src, bytes);
  };
  switch (code) {
    case COLSET_VT_NTS:
      if (static_cast<uint64_t>(n) + 1 > size) return false;
      copy(0, n);
      e[n] = 0;
      return true;
    case COLSET_VT_CHAR8:
    case COLSET_VT_BINARY8:
      if (size < 1 || n > std::min<uint32_t>(size - 1, 0xFF)) return false;
      Put(e, static_cast<uint8_t>(n));
      copy(1, n);
      return true;
    case COLSET_VT_CHAR16:
    case COLSET_VT_BINARY16:
      if (size < 2 || n > std::min<uint32_t>(size - 2, 0xFFFF)) return false;
      Put(e, static_cast<uint16_t>(n));
      copy(2, n);
      return true;
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY32:
      if (size < 4 || n > size - 4) return false;
      Put(e, n);
      copy(4, n);
      return true;
    case COLSET_VT_WNTS:
      if (2 * (static_cast<uint64_t>(n) + 1) > size) return false;
      copy(0, 2 * static_cast<size_t>(n));
      Put(e + 2 * static_cast<size_t>(n), static_cast<uint16_t>(0));
      return true;
    case COLSET_VT_WCHAR32:
      if (size < 4 || n > (size - 4) / 2) return false;
      Put(e, n);
      copy(4, 2 * static_cast<size_t>(n));
      return true;
    default: return false;
  }
}

// An output value of a bounded text or byte form. The value is read whole:
// when it fits its element it is stored there as the form says; when it
// does not, the column moves out of line so that the value still arrives
// whole and the core sees its true length (a cut it makes reports it).
uint32_t FillBounded(JdbcStmt* s, jobject cs, int32_t ix, int32_t sqlType, COLSET_COL* col,
                     uint32_t rows) {
  COLSET_LONG v{};
  const uint32_t code = col->type;
  const bool wide = code == COLSET_VT_WNTS || code == COLSET_VT_WCHAR32;
  uint32_t rc;
  if (code == COLSET_VT_BINARY8 || code == COLSET_VT_BINARY16 || code == COLSET_VT_BINARY32)
    rc = CallableStatement::getBytesLong(s, cs, ix, &v);
  else if (!procReadsWithGetString(sqlType)) {
    // A date or time as the database writes it, where the driver gives its
    // text; the object's own text is in the VM's zone and calendar.
    bool refused = true;
    rc = procIsDateTime(sqlType) ? CallableStatement::getOwnTextLong(s, cs, ix, wide, &v, &refused)
                                 : 0;
    if (refused) rc = procObjectTextLong(s, cs, ix, wide, &v);
  } else if (wide)
    rc = CallableStatement::getStringLongW(s, cs, ix, &v);
  else
    rc = CallableStatement::getStringLong(s, cs, ix, &v);
  UniqueFree<void> owned(v.value);
  if (rc != 0) return rc;
  if (PutBounded(code, col->data, col->elem_size, v)) return 0;
  if ((rc = ToLongColumn(col, rows)) != 0) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Memory allocation failure");
    return rc;
  }
  COLSET_LONG old;
  std::memcpy(&old, col->data, sizeof old);
  std::free(old.value);
  std::memcpy(col->data, &v, sizeof v);
  owned.release();
  return 0;
}

// Reads output parameter ix (1-based) into element e of `size` bytes by the
// column's value type code.
uint32_t FillOut(JdbcStmt* s, jobject cs, int32_t ix, uint32_t code, unsigned char* e,
                 uint32_t size) {
  uint32_t rc = 0;
  switch (code) {
    case COLSET_VT_UTINYINT: {
      int16_t v = 0;
      rc = CallableStatement::getShort(s, cs, ix, &v);
      Put(e, static_cast<uint8_t>(v & 0xFF));
      return rc;
    }
    case COLSET_VT_USMALLINT: {
      int32_t v = 0;
      rc = CallableStatement::getInt(s, cs, ix, &v);
      Put(e, static_cast<uint16_t>(v & 0xFFFF));
      return rc;
    }
    case COLSET_VT_UINTEGER: {
      int64_t v = 0;
      rc = CallableStatement::getLong(s, cs, ix, &v);
      Put(e, static_cast<uint32_t>(v & 0xFFFFFFFF));
      return rc;
    }
    default:
      rc = jget::Read(s, cs, ix, code, e, size);
      if (rc != jget::kNoReader) return rc;
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Unknown type = %d in fetchCallProc",
                  static_cast<int>(code));
      return ERR_GENERAL;
  }
}

// A copy of an out-of-line value: bytes for 15 and 16, UTF-16 units for 26,
// with the terminator the long getters also leave behind.
bool CopyLong(uint32_t code, const COLSET_LONG& from, COLSET_LONG* to) {
  to->length = from.length;
  to->value = nullptr;
  if (from.value == nullptr) return true;
  const size_t unit = code == COLSET_VT_LONGWCHAR ? 2 : 1;
  const size_t bytes = static_cast<size_t>(from.length) * unit;
  void* p = std::malloc(bytes + unit);
  if (p == nullptr) return false;
  std::memcpy(p, from.value, bytes);
  std::memset(static_cast<char*>(p) + bytes, 0, unit);
  to->value = p;
  return true;
}

}  // namespace

uint32_t allocCallProcBuffers(COLSET* dst, const COLSET* src) {
  if (dst == nullptr) return ERR_INVALID_ARGUMENT;
  const uint16_t ncols = src != nullptr ? src->cols_used : 0;
  if (ColSetInit(dst, ncols) != 0) return ERR_NO_MEMORY;
  if (ncols == 0) return 0;
  // Row 0 receives the output values even of a set that holds no rows.
  const uint32_t rows = std::max<uint32_t>(src->rows_held, 1);
  const uint32_t copyRows = std::min(rows, src->row_capacity);
  dst->cols_used = ncols;
  for (uint16_t c = 0; c < ncols; ++c) {
    dst->cols[c].type = src->cols[c].type;
    dst->cols[c].elem_size = src->cols[c].elem_size;
  }
  if (ColSetSetRows(dst, rows) != 0) {
    ColSetFreeColumns(dst);
    return ERR_NO_MEMORY;
  }
  for (uint16_t c = 0; c < ncols; ++c) {
    const COLSET_COL& from = src->cols[c];
    COLSET_COL& to = dst->cols[c];
    if (from.ind == nullptr || copyRows == 0) continue;
    std::memcpy(to.ind, from.ind, sizeof(uint16_t) * copyRows);
    if (!IsLongCode(from.type)) {
      std::memcpy(to.data, from.data, static_cast<size_t>(from.elem_size) * copyRows);
      continue;
    }
    for (uint32_t r = 0; r < copyRows; ++r) {
      COLSET_LONG v{};
      std::memcpy(&v, from.data + static_cast<size_t>(r) * from.elem_size, sizeof v);
      COLSET_LONG copy{};
      if (!CopyLong(from.type, v, &copy)) {
        ColSetFreeColumns(dst);
        log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Memory allocation failure");
        return ERR_NO_MEMORY;
      }
      std::memcpy(to.data + static_cast<size_t>(r) * to.elem_size, &copy, sizeof copy);
    }
  }
  dst->rows_held = rows;
  return 0;
}

uint32_t fetchCallProc(JdbcStmt* s, COLSET* set) {
  if (s == nullptr || set == nullptr) return ERR_INVALID_ARGUMENT;
  if (uint32_t rc = allocCallProcBuffers(set, s->params)) return rc;
  jobject cs = s->statement;
  for (uint16_t i = 0; i < set->cols_used; ++i) {
    uint16_t direction = PARAM_DIR_IN;
    int32_t sqlType = 1;
    if (s->binds != nullptr && i < s->bindCount) {
      direction = s->binds[i].direction;
      sqlType = s->binds[i].sqlType;
    }
    if (direction == PARAM_DIR_IN) continue;
    COLSET_COL& col = set->cols[i];
    const int32_t ix = i + 1;
    uint32_t rc;
    if (LongCodeOf(col.type) != 0)
      rc = FillBounded(s, cs, ix, sqlType, &col, set->row_capacity);
    else if (!procGetterFits(col.type, sqlType))
      rc = procObjectValue(s, cs, ix, sqlType, col.type, col.data, col.elem_size);
    else
      rc = FillOut(s, cs, ix, col.type, col.data, col.elem_size);
    uint8_t isNull = 0;
    if (rc == 0) rc = CallableStatement::wasNull(s, cs, &isNull);
    if (rc != 0) return rc;
    col.ind[0] = isNull != 0 ? COLSET_IND_NULL : 0;
  }
  return 0;
}
