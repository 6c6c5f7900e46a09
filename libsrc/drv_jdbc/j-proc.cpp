// Output parameters of procedure calls, read from the CallableStatement.
#include "drv_jdbc/j-proc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-proc";

template <class T>
void Put(unsigned char* e, const T& v) {
  std::memcpy(e, &v, sizeof v);
}

bool IsLongCode(uint32_t code) {
  return code == COLSET_VT_LONGCHAR || code == COLSET_VT_LONGBINARY ||
         code == COLSET_VT_LONGWCHAR;
}

template <class Getter>
uint32_t FillLong(unsigned char* e, Getter get) {
  COLSET_LONG v;
  std::memcpy(&v, e, sizeof v);
  const uint32_t rc = get(&v);
  std::memcpy(e, &v, sizeof v);
  return rc;
}

// Text behind a length prefix of L: at most size - sizeof(L) bytes.
template <class L>
uint32_t PrefixedText(JdbcStmt* s, jobject cs, int32_t ix, unsigned char* e, uint32_t size) {
  if (size < sizeof(L)) return AGT_GENERAL_ERROR;
  const uint32_t room = std::min<uint32_t>(size - sizeof(L), static_cast<uint32_t>(L(~L(0))));
  std::vector<char> tmp(static_cast<size_t>(room) + 1);
  uint32_t len = 0;
  const uint32_t rc = CallableStatement::getString(s, cs, ix, tmp.data(), room + 1, &len);
  if (rc != 0) return rc;
  len = std::min(len, room);
  Put(e, static_cast<L>(len));
  std::memcpy(e + sizeof(L), tmp.data(), len);
  return 0;
}

template <class L>
uint32_t PrefixedBytes(JdbcStmt* s, jobject cs, int32_t ix, unsigned char* e, uint32_t size) {
  if (size < sizeof(L)) return AGT_GENERAL_ERROR;
  const uint32_t room = std::min<uint32_t>(size - sizeof(L), static_cast<uint32_t>(L(~L(0))));
  uint32_t len = 0;
  const uint32_t rc = CallableStatement::getBytes(s, cs, ix, e + sizeof(L), room, &len);
  Put(e, static_cast<L>(std::min(len, room)));
  return rc;
}

// Reads output parameter ix (1-based) into element e of `size` bytes by the
// column's value type code.
uint32_t FillOut(JdbcStmt* s, jobject cs, int32_t ix, uint32_t code, unsigned char* e,
                 uint32_t size) {
  uint32_t rc = 0;
  uint32_t len = 0;
  switch (code) {
    case COLSET_VT_CHAR: {  // fixed width, no terminator
      std::vector<char> tmp(static_cast<size_t>(size) + 1);
      rc = CallableStatement::getString(s, cs, ix, tmp.data(), size + 1, &len);
      std::memset(e, 0, size);
      if (rc == 0) std::memcpy(e, tmp.data(), std::min(len, size));
      return rc;
    }
    case COLSET_VT_NTS:
      if (size == 0) return AGT_GENERAL_ERROR;
      return CallableStatement::getString(s, cs, ix, reinterpret_cast<char*>(e), size, &len);
    case COLSET_VT_BIT: {
      uint8_t v = 0;
      rc = CallableStatement::getBoolean(s, cs, ix, &v);
      e[0] = v != 0 ? 1 : 0;
      return rc;
    }
    case COLSET_VT_TINYINT: {
      int8_t v = 0;
      rc = CallableStatement::getByte(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
    case COLSET_VT_SMALLINT: {
      int16_t v = 0;
      rc = CallableStatement::getShort(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
    case COLSET_VT_INTEGER: {
      int32_t v = 0;
      rc = CallableStatement::getInt(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
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
    case COLSET_VT_REAL: {
      float v = 0;
      rc = CallableStatement::getFloat(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
    case COLSET_VT_DOUBLE: {
      double v = 0;
      rc = CallableStatement::getDouble(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
    case COLSET_VT_DATE: {
      JC_Date v{};
      rc = CallableStatement::getDate(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
    case COLSET_VT_TIME: {
      JC_Time v{};
      rc = CallableStatement::getTime(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
    case COLSET_VT_TIMESTAMP: {
      JC_Timestamp v{};
      rc = CallableStatement::getTimestamp(s, cs, ix, &v);
      Put(e, v);
      return rc;
    }
    case COLSET_VT_BINARY:
      return CallableStatement::getBytes(s, cs, ix, e, size, &len);
    case COLSET_VT_LONGCHAR:
      return FillLong(e, [&](COLSET_LONG* v) {
        return CallableStatement::getStringLong(s, cs, ix, v);
      });
    case COLSET_VT_LONGBINARY:
      return FillLong(e, [&](COLSET_LONG* v) {
        return CallableStatement::getBytesLong(s, cs, ix, v);
      });
    case COLSET_VT_LONGWCHAR:
      return FillLong(e, [&](COLSET_LONG* v) {
        return CallableStatement::getStringLongW(s, cs, ix, v);
      });
    case COLSET_VT_CHAR8: return PrefixedText<uint8_t>(s, cs, ix, e, size);
    case COLSET_VT_CHAR16: return PrefixedText<uint16_t>(s, cs, ix, e, size);
    case COLSET_VT_CHAR32: return PrefixedText<uint32_t>(s, cs, ix, e, size);
    case COLSET_VT_BINARY8: return PrefixedBytes<uint8_t>(s, cs, ix, e, size);
    case COLSET_VT_BINARY16: return PrefixedBytes<uint16_t>(s, cs, ix, e, size);
    case COLSET_VT_BINARY32: return PrefixedBytes<uint32_t>(s, cs, ix, e, size);
    case COLSET_VT_WCHAR: {  // fixed width, no terminator
      const uint32_t chars = size / 2;
      std::vector<char16_t> tmp(static_cast<size_t>(chars) + 1);
      rc = CallableStatement::getString(s, cs, ix, tmp.data(), chars + 1, &len);
      std::memset(e, 0, size);
      if (rc == 0) std::memcpy(e, tmp.data(), sizeof(char16_t) * std::min(len, chars));
      return rc;
    }
    case COLSET_VT_WNTS: {  // the last unit is the NUL's
      if (size < 2) return AGT_GENERAL_ERROR;
      std::vector<char16_t> tmp(size / 2);
      rc = CallableStatement::getString(s, cs, ix, tmp.data(), static_cast<uint32_t>(tmp.size()),
                                        &len);
      if (rc == 0) std::memcpy(e, tmp.data(), sizeof(char16_t) * (len + 1));
      return rc;
    }
    case COLSET_VT_WCHAR32: {
      if (size < 4) return AGT_GENERAL_ERROR;
      const uint32_t chars = (size - 4) / 2;
      std::vector<char16_t> tmp(static_cast<size_t>(chars) + 1);
      rc = CallableStatement::getString(s, cs, ix, tmp.data(), chars + 1, &len);
      if (rc != 0) return rc;
      len = std::min(len, chars);
      Put(e, len);
      std::memcpy(e + 4, tmp.data(), sizeof(char16_t) * len);
      return 0;
    }
    default:
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Unknown type = %d in fetchCallProc",
                  static_cast<int>(code));
      return AGT_GENERAL_ERROR;
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
  if (dst == nullptr) return AGT_BAD_HANDLE;
  const uint16_t ncols = src != nullptr ? src->cols_used : 0;
  if (ColSetInit(dst, ncols) != 0) return AGT_NO_MEMORY;
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
    return AGT_NO_MEMORY;
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
        return AGT_NO_MEMORY;
      }
      std::memcpy(to.data + static_cast<size_t>(r) * to.elem_size, &copy, sizeof copy);
    }
  }
  dst->rows_held = rows;
  return 0;
}

uint32_t fetchCallProc(JdbcStmt* s, COLSET* set) {
  if (s == nullptr || set == nullptr) return AGT_BAD_HANDLE;
  if (uint32_t rc = allocCallProcBuffers(set, s->params)) return rc;
  jobject cs = s->statement;
  for (uint16_t i = 0; i < set->cols_used; ++i) {
    uint16_t direction = PARAM_DIR_IN;
    if (s->binds != nullptr && i < s->bindCount) direction = s->binds[i].direction;
    if (direction == PARAM_DIR_IN) continue;
    COLSET_COL& col = set->cols[i];
    const int32_t ix = i + 1;
    uint32_t rc = FillOut(s, cs, ix, col.type, col.data, col.elem_size);
    uint8_t isNull = 0;
    if (rc == 0) rc = CallableStatement::wasNull(s, cs, &isNull);
    if (rc != 0) return rc;
    col.ind[0] = isNull != 0 ? COLSET_IND_NULL : 0;
  }
  return 0;
}
