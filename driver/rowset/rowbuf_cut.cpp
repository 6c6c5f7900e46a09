#include "driver/rowset/rowbuf_cut.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "scrs/scrcore.h"
#include "util/errcodes.h"
#include "util/owners.h"
#include "util/textconv.h"

namespace {

bool HoldsValue(uint16_t ind) {
  return ind != COLSET_IND_NULL && ind != COLSET_IND_DAE && ind != COLSET_IND_DEFERRED;
}

unsigned char* At(const COLSET_COL& c, uint32_t row) {
  return c.data + static_cast<size_t>(row) * c.elem_size;
}

uint32_t ReadU32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void WriteU32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

char16_t UnitAt(const unsigned char* p, size_t i) {
  char16_t u;
  std::memcpy(&u, p + 2 * i, sizeof u);
  return u;
}

size_t WideLen(const unsigned char* p, size_t max) {
  size_t n = 0;
  while (n < max && UnitAt(p, n) != 0) ++n;
  return n;
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Standard UTF-8 (the application code page) of count UTF-16 units; a
// surrogate without its partner becomes U+FFFD. Elements need not be
// 2-aligned, so the units are copied out before the conversion.
std::string ToUtf8(const unsigned char* p, size_t count) {
  std::u16string units(count, u'\0');
  if (count > 0) std::memcpy(&units[0], p, count * sizeof(char16_t));
  UniqueFree<char> mb(wide_to_mb_dup(units.data(), static_cast<int64_t>(count)));
  if (mb == nullptr) throw std::bad_alloc();
  // A 0 unit inside a counted value is text like any other.
  return std::string(
      mb.get(), static_cast<size_t>(wide_to_mb_len(units.data(), static_cast<int64_t>(count))));
}

// Bytes of a UTF-8 text of len bytes kept when it is cut to max: never the
// start of a sequence without its continuation bytes. Text that is not UTF-8
// is cut at max.
size_t Utf8Cut(const unsigned char* p, size_t len, size_t max) {
  return utf8_prefix_len_bounded(reinterpret_cast<const char*>(p), len, max);
}

// Units of a UTF-16 text of count units kept when it is cut to max: a
// surrogate pair stays whole or goes.
size_t WideCut(const unsigned char* p, size_t count, size_t max) {
  if (count <= max) return count;
  if (max > 0 && IsHigh(UnitAt(p, max - 1)) && IsLow(UnitAt(p, max))) return max - 1;
  return max;
}

// One wide column made 8-bit. All values are converted (and, for the
// out-of-line form, their new buffers allocated) before the column changes.
int NarrowColumn(COLSET* set, COLSET_COL& col) {
  const uint32_t rows = set->row_capacity;
  const uint32_t w = col.elem_size;
  const uint32_t t = col.type;
  if (rows == 0 || col.data == nullptr || col.ind == nullptr) {
    col.type = t == COLSET_VT_LONGWCHAR ? COLSET_VT_LONGCHAR
               : t == COLSET_VT_WCHAR32 ? COLSET_VT_CHAR32
                                        : COLSET_VT_NTS;
    return 0;
  }
  if (t == COLSET_VT_LONGWCHAR && w < sizeof(COLSET_LONG)) return ERR_GENERAL;
  try {
    std::vector<std::string> text(rows);
    uint64_t need = w;  // element bytes the narrowed values need
    for (uint32_t r = 0; r < rows; ++r) {
      if (!HoldsValue(col.ind[r])) continue;
      const unsigned char* e = At(col, r);
      switch (t) {
        case COLSET_VT_WCHAR:
        case COLSET_VT_WNTS:
          text[r] = ToUtf8(e, WideLen(e, w / 2));
          need = std::max<uint64_t>(need, text[r].size() + 1);
          break;
        case COLSET_VT_LONGWCHAR: {
          COLSET_LONG l;
          std::memcpy(&l, e, sizeof l);
          if (l.value != nullptr)
            text[r] = ToUtf8(static_cast<const unsigned char*>(l.value), l.length);
          break;
        }
        default: {  // COLSET_VT_WCHAR32
          const size_t count = w >= 4 ? std::min<size_t>(ReadU32(e), (w - 4) / 2) : 0;
          text[r] = ToUtf8(e + 4, count);
          need = std::max<uint64_t>(need, (uint64_t{4} + text[r].size() + 3) / 4 * 4);
          break;
        }
      }
    }

    if (t == COLSET_VT_LONGWCHAR) {
      std::vector<UniqueFree<char>> values(rows);
      for (uint32_t r = 0; r < rows; ++r) {
        if (!HoldsValue(col.ind[r])) continue;
        COLSET_LONG l;
        std::memcpy(&l, At(col, r), sizeof l);
        if (l.value == nullptr) continue;
        values[r].reset(static_cast<char*>(std::malloc(text[r].size() + 1)));
        if (values[r] == nullptr) return ERR_NO_MEMORY;
        std::memcpy(values[r].get(), text[r].c_str(), text[r].size() + 1);
      }
      for (uint32_t r = 0; r < rows; ++r) {
        if (values[r] == nullptr) continue;
        COLSET_LONG l;
        std::memcpy(&l, At(col, r), sizeof l);
        std::free(l.value);
        l.value = values[r].release();
        l.length = static_cast<uint32_t>(text[r].size());
        std::memcpy(At(col, r), &l, sizeof l);
      }
      col.type = COLSET_VT_LONGCHAR;
      return 0;
    }

    // The UTF-8 form can take up to three bytes for a UTF-16 unit: an
    // element too small for it grows, so that no value is cut.
    if (need >= COLSET_SIZE_TOO_LARGE) return ERR_NO_MEMORY;
    COLSET_COL fresh{t, static_cast<uint32_t>(need), nullptr, nullptr};
    if (need > w) {
      if (ColSetColumnAlloc(&fresh, rows) != 0) return ERR_NO_MEMORY;
      for (uint32_t r = 0; r < rows; ++r) {
        fresh.ind[r] = col.ind[r];
        if (!HoldsValue(col.ind[r])) std::memcpy(At(fresh, r), At(col, r), w);
      }
    } else {
      fresh = col;
    }
    for (uint32_t r = 0; r < rows; ++r) {
      if (!HoldsValue(col.ind[r])) continue;
      unsigned char* e = At(fresh, r);
      std::memset(e, 0, fresh.elem_size);
      if (t == COLSET_VT_WCHAR32) {
        WriteU32(e, static_cast<uint32_t>(text[r].size()));
        std::memcpy(e + 4, text[r].data(), text[r].size());
      } else {
        std::memcpy(e, text[r].data(), text[r].size());
      }
    }
    if (fresh.data != col.data) {
      ColSetColumnFree(&col, rows);
      col = fresh;
    }
    col.type = t == COLSET_VT_WCHAR32 ? COLSET_VT_CHAR32 : COLSET_VT_NTS;
    return 0;
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  }
}

// Cuts one value of a prefixed form in place; unit 2 for the wide form.
template <typename Len>
void CutPrefixed(unsigned char* e, uint32_t w, uint32_t max, bool text, bool wide) {
  if (w < sizeof(Len)) return;
  Len stated;
  std::memcpy(&stated, e, sizeof stated);
  const size_t unit = wide ? 2 : 1;
  size_t len = std::min<size_t>(stated, (w - sizeof(Len)) / unit);
  if (len <= max && len == stated) return;
  const unsigned char* v = e + sizeof(Len);
  if (wide)
    len = WideCut(v, len, max);
  else if (text)
    len = Utf8Cut(v, len, max);
  else
    len = std::min<size_t>(len, max);
  const Len store = static_cast<Len>(len);
  std::memcpy(e, &store, sizeof store);
}

int CutColumn(COLSET* set, COLSET_COL& col, bool mustBePrefixed, uint32_t max) {
  const uint32_t rows = std::min(set->rows_held, set->row_capacity);
  if (col.data == nullptr || col.ind == nullptr) return 0;
  const uint32_t w = col.elem_size;
  const bool fixed =
      col.type == COLSET_VT_CHAR || col.type == COLSET_VT_BINARY || col.type == COLSET_VT_WCHAR;
  if (fixed && !mustBePrefixed) return 0;
  for (uint32_t r = 0; r < rows; ++r) {
    if (!HoldsValue(col.ind[r])) continue;
    unsigned char* e = At(col, r);
    switch (col.type) {
      case COLSET_VT_CHAR:
      case COLSET_VT_BINARY:
      case COLSET_VT_WCHAR:
        if (mustBePrefixed) return ERR_GENERAL;
        break;
      case COLSET_VT_NTS:
        if (w > 0 && w - 1 > max) {
          const size_t n = strnlen(reinterpret_cast<const char*>(e), w);
          if (n > max) e[Utf8Cut(e, n, max)] = 0;
        }
        break;
      case COLSET_VT_WNTS:
        if (w >= 2 && w / 2 - 1 > max) {
          const size_t n = WideLen(e, w / 2);
          if (n > max) std::memset(e + 2 * WideCut(e, n, max), 0, 2);
        }
        break;
      case COLSET_VT_LONGCHAR:
      case COLSET_VT_LONGBINARY:
      case COLSET_VT_LONGWCHAR: {
        if (w < sizeof(COLSET_LONG)) break;
        COLSET_LONG l;
        std::memcpy(&l, e, sizeof l);
        if (l.length <= max) break;
        const auto* v = static_cast<const unsigned char*>(l.value);
        if (v == nullptr)
          l.length = max;
        else if (col.type == COLSET_VT_LONGCHAR)
          l.length = static_cast<uint32_t>(Utf8Cut(v, l.length, max));
        else if (col.type == COLSET_VT_LONGWCHAR)
          l.length = static_cast<uint32_t>(WideCut(v, l.length, max));
        else
          l.length = max;
        std::memcpy(e, &l, sizeof l);
        break;
      }
      case COLSET_VT_CHAR8: CutPrefixed<uint8_t>(e, w, max, true, false); break;
      case COLSET_VT_CHAR16: CutPrefixed<uint16_t>(e, w, max, true, false); break;
      case COLSET_VT_CHAR32: CutPrefixed<uint32_t>(e, w, max, true, false); break;
      case COLSET_VT_BINARY8: CutPrefixed<uint8_t>(e, w, max, false, false); break;
      case COLSET_VT_BINARY16: CutPrefixed<uint16_t>(e, w, max, false, false); break;
      case COLSET_VT_BINARY32: CutPrefixed<uint32_t>(e, w, max, false, false); break;
      case COLSET_VT_WCHAR32: CutPrefixed<uint32_t>(e, w, max, false, true); break;
      default: return 0;
    }
  }
  return 0;
}

}  // namespace

int RB_NarrowWideCols(COLSET* set) {
  if (set == nullptr || set->cols == nullptr) return 0;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    COLSET_COL& col = set->cols[c];
    if (col.type < COLSET_VT_WCHAR || col.type > COLSET_VT_WCHAR32) continue;
    const int rc = NarrowColumn(set, col);
    if (rc != 0) return rc;
  }
  return 0;
}

int RB_GrowColBuffers(COLSET* set, uint32_t maxLen) {
  if (set == nullptr || set->cols == nullptr) return 0;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    COLSET_COL& col = set->cols[c];
    bool resized = false;
    if ((col.type == COLSET_VT_CHAR || col.type == COLSET_VT_BINARY) && col.elem_size > maxLen) {
      const int rc = ColSetResizeColumn(set, c, col.elem_size + 1, 0);
      if (rc != 0) return rc;
      resized = true;
    } else if (col.type == COLSET_VT_WCHAR && col.elem_size / 2 > maxLen) {
      const int rc = ColSetResizeColumn(set, c, col.elem_size / 2 + 1, 0);
      if (rc != 0) return rc;
      resized = true;
    }
    const int rc = CutColumn(set, set->cols[c], resized, maxLen);
    if (rc != 0) return rc;
  }
  return 0;
}

void ParamDescsNarrowTypes(JdbcColBind* descs, uint16_t count) {
  if (descs == nullptr) return;
  for (uint16_t i = 0; i < count; ++i) {
    JdbcColBind& d = descs[i];
    switch (d.sqlType) {
      case SQL_WLONGVARCHAR: d.sqlType = SQL_LONGVARCHAR; break;
      case SQL_WVARCHAR: d.sqlType = SQL_VARCHAR; break;
      case SQL_WCHAR: d.sqlType = SQL_CHAR; break;
      default: break;
    }
    // The C type travels as its 16-bit pattern.
    if (static_cast<int16_t>(static_cast<uint16_t>(d.unused)) == SQL_C_WCHAR) {
      d.unused = static_cast<uint16_t>(SQL_C_CHAR);
    }
  }
}
