// Column value retrieval.
#include "driver/rowset/getcolumn.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/coldesc.h"
#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/rowset/convert.h"
#include "driver/rowset/convert_internal.h"
#include "driver/stmt.h"
#include "driver/trace.h"
#include "util/errcodes.h"

namespace {

// The value of one row-buffer element, as a converter takes it.
struct Source {
  enum Kind { Text, Wide, Bytes, Other } kind = Other;
  const void* value = nullptr;
  int64_t length = 0;  // bytes
};

template <class T>
T ReadAt(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

Source::Kind KindOf(uint32_t type) {
  switch (type) {
    case COLSET_VT_CHAR:
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_NTS:
    case COLSET_VT_CHAR8:
    case COLSET_VT_CHAR16:
    case COLSET_VT_CHAR32: return Source::Text;
    case COLSET_VT_BINARY:
    case COLSET_VT_LONGBINARY:
    case COLSET_VT_BINARY8:
    case COLSET_VT_BINARY16:
    case COLSET_VT_BINARY32: return Source::Bytes;
    case COLSET_VT_WCHAR:
    case COLSET_VT_WNTS:
    case COLSET_VT_LONGWCHAR:
    case COLSET_VT_WCHAR32: return Source::Wide;
    default: return Source::Other;
  }
}

// Where the value of a variable-length element lies and how long it is.
// Lengths are clamped to the element so that a damaged prefix never reads
// past it.
Source Locate(uint32_t type, const unsigned char* e, uint32_t width) {
  Source s;
  s.kind = KindOf(type);
  auto clamp = [width](int64_t n, int64_t prefix) {
    const int64_t room = static_cast<int64_t>(width) - prefix;
    return n > room ? (room > 0 ? room : 0) : n;
  };
  switch (type) {
    case COLSET_VT_CHAR:
    case COLSET_VT_BINARY:
    case COLSET_VT_WCHAR:
      s.value = e;
      s.length = width;
      break;
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_LONGBINARY:
    case COLSET_VT_LONGWCHAR: {
      const auto l = ReadAt<COLSET_LONG>(e);
      s.value = l.value;
      s.length = type == COLSET_VT_LONGWCHAR ? 2 * static_cast<int64_t>(l.length) : l.length;
      if (s.value == nullptr) s.length = 0;
      break;
    }
    case COLSET_VT_NTS:
      s.value = e;
      s.length = static_cast<int64_t>(strnlen(reinterpret_cast<const char*>(e), width));
      break;
    case COLSET_VT_WNTS: {
      // Four units at a time while none is NUL.
      int64_t n = 0;
      for (uint64_t w = 0; 2 * n + 8 <= width; n += 4) {
        std::memcpy(&w, e + 2 * n, sizeof w);
        if (((w - 0x0001000100010001ULL) & ~w & 0x8000800080008000ULL) != 0) break;
      }
      while (2 * n + 1 < width && ReadAt<char16_t>(e + 2 * n) != 0) ++n;
      s.value = e;
      s.length = 2 * n;
      break;
    }
    case COLSET_VT_CHAR8:
    case COLSET_VT_BINARY8:
      s.value = e + 1;
      s.length = clamp(e[0], 1);
      break;
    case COLSET_VT_CHAR16:
    case COLSET_VT_BINARY16:
      s.value = e + 2;
      s.length = clamp(ReadAt<uint16_t>(e), 2);
      break;
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY32:
      s.value = e + 4;
      s.length = clamp(ReadAt<uint32_t>(e), 4);
      break;
    case COLSET_VT_WCHAR32:
      s.value = e + 4;
      s.length = clamp(2 * static_cast<int64_t>(ReadAt<uint32_t>(e)), 4) & ~int64_t{1};
      break;
    default:
      s.value = e;
      s.length = width;
      break;
  }
  return s;
}

// The whole length, in bytes, of a counted text whose element kept only
// its start (the agent writes the whole length when a value is longer than
// its element); s then ends before any character the cut split. The held
// length otherwise.
int64_t WholeLength(uint32_t type, const unsigned char* e, uint32_t width, Source* s) {
  if ((type != COLSET_VT_CHAR32 && type != COLSET_VT_WCHAR32) || width < 4) return s->length;
  const auto said = static_cast<int64_t>(ReadAt<uint32_t>(e));
  const auto* v = static_cast<const unsigned char*>(s->value);
  if (type == COLSET_VT_WCHAR32) {
    if (2 * said <= s->length) return s->length;
    int64_t units = s->length / 2;
    const auto last = units > 0 ? ReadAt<char16_t>(v + 2 * (units - 1)) : char16_t{0};
    if (last >= 0xD800 && last <= 0xDBFF) --units;
    s->length = 2 * units;
    return 2 * said;
  }
  if (said <= s->length) return s->length;
  // Back over the continuation bytes to the last lead byte; its sequence
  // goes when the cut took part of it.
  int64_t lead = s->length;
  while (lead > 0 && lead > s->length - 4 && (v[lead - 1] & 0xC0) == 0x80) --lead;
  if (lead > 0) {
    const unsigned char b = v[lead - 1];
    const int64_t need = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (s->length - (lead - 1) < need) s->length = lead - 1;
  }
  return said;
}

bool Piecewise(int16_t cType) {
  return cType == SQL_C_CHAR || cType == SQL_C_WCHAR || cType == SQL_C_BINARY;
}

// Converts (the rest of) a text, wide-text or binary value and moves the
// cache on by what the copy really took.
SQLRETURN ConvertPiece(StmtHandle* stmt, const BIND_REC* b, int16_t cType, Source::Kind kind,
                       const void* value, int64_t length, int64_t total, int16_t scale,
                       uint16_t precision, bool deferred) {
  int32_t* pending = &stmt->diag.pending;
  ColValueCache& c = stmt->fetch.cache;
  TextCarry* carry = b->inPieces ? &c.carry : nullptr;
  int64_t consumed = 0;
  SQLRETURN rc;
  switch (kind) {
    case Source::Bytes:
      rc = ConvertBINARY(value, length, total, cType, b->data, b->bufferLength, b->length, pending,
                         &consumed);
      break;
    case Source::Wide:
      rc = ConvertWCHAR(static_cast<const char16_t*>(value), length, total, cType, b->data,
                        b->bufferLength, b->length, pending, scale, precision, &consumed, carry);
      break;
    default:
      rc = ConvertCHAR(static_cast<const char*>(value), length, total, cType, b->data,
                       b->bufferLength, b->length, pending, scale, precision, &consumed, carry);
      break;
  }
  c.cType = cType;
  if (rc == SQL_SUCCESS_WITH_INFO && Piecewise(cType) && consumed >= 0 && consumed < length) {
    // A piece of a kept-back value is the agent's once: what the buffer did
    // not take is read from the cache next time, and the rest of the whole
    // value shrinks with it.
    c.value = static_cast<const unsigned char*>(value) + consumed;
    c.remaining = length - consumed;
    if (deferred && c.total > 0)
      c.total = c.total - consumed > c.remaining ? c.total - consumed : c.remaining;
  } else {
    c.remaining = 0;
    if (deferred && c.total > 0) c.total = c.total > length ? c.total - length : 0;
  }
  return rc;
}

// Bytes of a piece the agent is asked for, leaving room for a terminator.
int64_t PieceLength(StmtHandle* stmt, const BIND_REC* b, int16_t cType) {
  const int64_t len = b->bufferLength;
  if (len <= 0) return 0;
  switch (cType) {
    case SQL_C_CHAR: return len - 1;
    case SQL_C_WCHAR: return (len - 1) / 2;
    case SQL_C_BINARY: {
      const JdbcColDesc* d = STMT_GetCol(stmt, b->column);
      if (d != nullptr && d->value_type >= COLSET_VT_WCHAR && d->value_type <= COLSET_VT_WCHAR32)
        return len / 2;
      return len;
    }
    default: return len;
  }
}

SQLRETURN NullValue(StmtHandle* stmt, const BIND_REC* b, int16_t cType) {
  if (b->indicator == nullptr) return Fail(stmt, ERR_INDICATOR_REQUIRED);
  *b->indicator = SQL_NULL_DATA;
  ClearTarget(b, cType);
  stmt->fetch.cache.remaining = 0;
  stmt->fetch.cache.total = -1;
  return SQL_SUCCESS;
}

uint32_t OdbcVersion(const StmtHandle* stmt) {
  return stmt->conn != nullptr && stmt->conn->env != nullptr ? stmt->conn->env->odbcVersion : 3;
}

SQLRETURN Bookmark(StmtHandle* stmt, uint32_t row, const BIND_REC* b) {
  if (b->cType != SQL_C_VARBOOKMARK && b->cType != SQL_C_BOOKMARK)
    return Fail(stmt, ERR_C_TYPE_RANGE);
  if (b->data == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
  uint64_t number = 0;
  if (int32_t code = STMT_RowNumber(stmt, row, &number)) return Fail(stmt, code);
  // A bookmark read once is read to its end: the next call for the same
  // row finds no more, as for any fixed-length value. A variable bookmark
  // is binary: as much as the buffer holds, the rest at the next call.
  ColValueCache& c = stmt->fetch.cache;
  const bool going = c.column == 0 && c.row == row + 1;
  if (going && (c.remaining <= 0 || b->cType != c.cType)) return SQL_NO_DATA;
  if (b->indicator != nullptr) *b->indicator = 0;
  if (b->cType == SQL_C_BOOKMARK) {
    std::memcpy(b->data, &number, sizeof number);
    if (b->length != nullptr) *b->length = sizeof number;
    ColClearCache(&c);
    c.row = row + 1;
    c.cType = SQL_C_BOOKMARK;
    return SQL_SUCCESS;
  }
  const int64_t left = going ? c.remaining : static_cast<int64_t>(sizeof number);
  const int64_t room = b->bufferLength > 0 ? b->bufferLength : 0;
  const int64_t piece = std::min(left, room);
  std::memcpy(b->data, reinterpret_cast<const unsigned char*>(&number) + (sizeof number - left),
              static_cast<size_t>(piece));
  if (b->length != nullptr) *b->length = left;
  ColClearCache(&c);
  c.row = row + 1;
  c.cType = SQL_C_VARBOOKMARK;
  c.remaining = left - piece;
  if (c.remaining == 0) return SQL_SUCCESS;
  return Warn(stmt, ERR_TRUNCATED);
}

SQLRETURN NewValue(StmtHandle* stmt, uint32_t row, BIND_REC* b, COLSET_COL& col, COLSET* set,
                   bool outParams);

// A value read as SQL_C_BINARY through the C type whose structure is its
// image: read as `via` into a value of the driver's own, then copied as a
// binary image, which a shorter buffer refuses (22003) instead of being
// overrun. A BIGINT is its 8 bytes whatever form the row buffer holds it
// in; a GUID column (text in the row buffer) the 16 bytes of its SQLGUID,
// not those of its text.
template <class T>
SQLRETURN ImageOf(StmtHandle* stmt, uint32_t row, BIND_REC* b, COLSET_COL& col, COLSET* set,
                  bool outParams, int16_t via) {
  T value{};
  int64_t length = 0;
  int64_t indicator = 0;
  BIND_REC v = *b;
  v.cType = via;
  v.data = &value;
  v.bufferLength = sizeof value;
  v.length = &length;
  v.indicator = b->indicator != nullptr ? &indicator : nullptr;
  SQLRETURN rc = NewValue(stmt, row, &v, col, set, outParams);
  if (b->indicator != nullptr) *b->indicator = indicator;
  if (rc == SQL_ERROR || indicator == SQL_NULL_DATA) return rc;
  const SQLRETURN put = conv::PutImage(
      &value, sizeof value, conv::Target{b->data, b->bufferLength, b->length, &stmt->diag.pending});
  return put != SQL_SUCCESS ? put : rc;
}

}  // namespace

void ColFreeValue(ColValueCache* cache) {
  if (cache->owned && cache->value != nullptr) {
    void* v = cache->ownedBlock != nullptr ? cache->ownedBlock : const_cast<void*>(cache->value);
    if (cache->ownedType == COLSET_VT_LONGCHAR || cache->ownedType == COLSET_VT_LONGBINARY ||
        cache->ownedType == COLSET_VT_LONGWCHAR) {
      COLSET_LONG l;
      std::memcpy(&l, v, sizeof l);
      std::free(l.value);
    }
    std::free(v);
    cache->value = nullptr;
  }
  cache->ownedBlock = nullptr;
  cache->owned = false;
}

void ClearTarget(const BIND_REC* b, int16_t cType) {
  if (b->data == nullptr) return;
  size_t n = 0;
  switch (cType) {
    case SQL_C_UTINYINT:
    case SQL_C_STINYINT:
    case SQL_C_TINYINT:
    case SQL_C_BIT: n = 1; break;
    case SQL_C_USHORT:
    case SQL_C_SSHORT:
    case SQL_C_SHORT: n = 2; break;
    case SQL_C_ULONG:
    case SQL_C_SLONG:
    case SQL_C_LONG:
    case SQL_C_FLOAT: n = 4; break;
    case SQL_C_UBIGINT:
    case SQL_C_SBIGINT:
    case SQL_C_DOUBLE: n = 8; break;
    case SQL_C_NUMERIC: n = sizeof(SQL_NUMERIC_STRUCT); break;
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME: n = 6; break;
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: n = sizeof(SQL_TIMESTAMP_STRUCT); break;
    default: n = b->bufferLength >= 1 ? static_cast<size_t>(b->bufferLength) : 0; break;
  }
  if (n > 0) std::memset(b->data, 0, n);
}

int32_t ColFetchValue(StmtHandle* stmt, int64_t pieceLength, int16_t cType) {
  ColValueCache& c = stmt->fetch.cache;
  ColFreeValue(&c);
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr || ops->DRV_GetData == nullptr) return ERR_NOT_CAPABLE;
  void* value = nullptr;
  uint32_t delivered = 0;
  uint32_t type = 0;
  uint32_t total = 0;
  (void)pieceLength;  // the agent decides the size of a piece
  const uint32_t rc = ops->DRV_GetData(stmt->agentStmt, c.column, static_cast<uint16_t>(c.row),
                                       cType, &value, &delivered, &type, &total);
  if (rc != 0) {
    std::free(value);
    STMT_PullErrors(stmt);
    return static_cast<int32_t>(rc);
  }
  c.value = value;
  c.remaining = delivered;
  c.type = type;
  c.ownedType = type;
  c.total = total == 0xFFFFFFFFu ? -1 : static_cast<int64_t>(total);
  if (delivered > 0) {
    c.owned = true;
    c.ownedBlock = value;
    return 0;
  }
  std::free(value);
  c.value = nullptr;
  if (total != 0 && pieceLength == 0) return 0;
  return ERR_NO_DATA_FOUND;
}

namespace {

bool IsLongType(uint32_t type) {
  return type == COLSET_VT_LONGCHAR || type == COLSET_VT_LONGBINARY || type == COLSET_VT_LONGWCHAR;
}

// Source bytes a call may consume: a buffer of B bytes takes at most 2 B of
// any source (UTF-16 into 8-bit text); a value that converts whole (a
// number, a date) is read whole.
int64_t PieceNeed(const BIND_REC* b, int16_t cType) {
  if (!Piecewise(cType)) return INT64_MAX;
  return b->bufferLength > 0 ? 2 * b->bufferLength + 4 : 0;
}

int32_t ColTopUpValue(StmtHandle* stmt, int64_t pieceLength, int64_t need, int16_t cType) {
  ColValueCache& c = stmt->fetch.cache;
  // Until the cache holds what the buffer can take, or the rest of a value
  // whose length is known, the agent's next pieces join what is left of the
  // last one.
  while (c.remaining < need && (c.total <= 0 || c.remaining < c.total)) {
    if (IsLongType(c.type) && c.remaining > 0) break;
    std::string rest;
    if (c.remaining > 0 && c.value != nullptr)
      rest.assign(static_cast<const char*>(c.value), c.remaining);
    const int64_t left = c.total;
    const uint32_t type = c.type;
    const int32_t code = ColFetchValue(stmt, pieceLength, cType);
    const bool more = code == 0 && c.remaining > 0 && !IsLongType(c.type);
    if (code != 0 && code != ERR_NO_DATA_FOUND) return code;
    if (rest.empty()) {
      if (!more) return code != 0 ? code : 0;
      c.total = left > 0 ? left : 0;
      continue;
    }
    const size_t add = more ? static_cast<size_t>(c.remaining) : 0;
    auto* block = static_cast<char*>(std::malloc(rest.size() + add + 2));
    if (block == nullptr) return ERR_NO_MEMORY;
    std::memcpy(block, rest.data(), rest.size());
    if (add > 0) std::memcpy(block + rest.size(), c.value, add);
    block[rest.size() + add] = block[rest.size() + add + 1] = 0;
    ColFreeValue(&c);
    c.value = block;
    c.ownedBlock = block;
    c.owned = true;
    c.type = c.ownedType = type;
    c.remaining = static_cast<int64_t>(rest.size() + add);
    c.total = left;
    if (!more) break;
  }
  return 0;
}

}  // namespace

SQLRETURN GetColumn(StmtHandle* stmt, uint32_t row, BIND_REC* b, COLSET* set, ValueSource from) {
  const bool outParams = from == ValueSource::kOutputParams;
  const uint32_t ncols = set != nullptr ? set->cols_used : 0;
  if ((b->column == 0 && stmt->useBookmarks == SQL_UB_OFF) || b->column > ncols) {
    if (TRC_Active())
      TRC_Printf("GetColumn: col out of range (%d,%d)", static_cast<int>(b->column),
                 static_cast<int>(ncols));
    return Fail(stmt, ERR_INVALID_COLUMN);
  }
  if (b->column == 0) return Bookmark(stmt, row, b);

  COLSET_COL& col = set->cols[b->column - 1];
  ColValueCache& c = stmt->fetch.cache;

  // The next piece of a value being read.
  if (c.column == b->column && c.row == row + 1 && row < set->rows_held) {
    const bool deferred = col.ind != nullptr && col.ind[row] == COLSET_IND_DEFERRED;
    const bool carried = c.carry.count > 0;
    if (!deferred && c.remaining <= 0 && !carried) return SQL_NO_DATA;
    int16_t cType = b->cType;
    if (cType != c.cType) {
      if (cType != SQL_C_DEFAULT) return SQL_NO_DATA;
      cType = c.cType;
    }
    if (b->data == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
    int64_t total = c.remaining;
    if (deferred) {
      const int32_t code =
          ColTopUpValue(stmt, PieceLength(stmt, b, cType), PieceNeed(b, cType), cType);
      if (code == ERR_NO_DATA_FOUND && !carried) return SQL_NO_DATA;
      if (code != 0 && code != ERR_NO_DATA_FOUND) return Fail(stmt, code);
      total = c.total > c.remaining ? c.total : c.remaining;
    }
    // Only the carry may be left: the source is empty then.
    const void* rest = c.remaining > 0 && c.value != nullptr ? c.value : u"";
    const int64_t length = c.remaining > 0 ? c.remaining : 0;
    return ConvertPiece(stmt, b, cType, KindOf(c.type), rest, length, total, 0, 0, deferred);
  }

  // A new value. One that could not be read is not half-read: a retry (with
  // an indicator, a buffer) starts it again instead of finding no data.
  const SQLRETURN rc = NewValue(stmt, row, b, col, set, outParams);
  if (rc == SQL_ERROR) ColClearCache(&c);
  return rc;
}

namespace {

// Whether the text of an exact number in row `row` has more whole digits
// (with its sign) than a text buffer of bufferLength bytes holds beside its
// terminator: ODBC's 22003, where only fraction digits may be cut (01004).
bool WholeDigitsCut(const COLSET_COL& col, uint32_t row, int16_t cType, int64_t bufferLength) {
  if (KindOf(col.type) != Source::Text || bufferLength <= 0) return false;
  const Source s =
      Locate(col.type, col.data + static_cast<size_t>(row) * col.elem_size, col.elem_size);
  const char* text = static_cast<const char*>(s.value);
  int64_t whole = 0;
  while (whole < s.length && text[whole] != '.' && text[whole] != 'E' && text[whole] != 'e')
    ++whole;
  const int64_t room = cType == SQL_C_WCHAR ? bufferLength / 2 - 1 : bufferLength - 1;
  return whole > room;
}

SQLRETURN NewValue(StmtHandle* stmt, uint32_t row, BIND_REC* b, COLSET_COL& col, COLSET* set,
                   bool outParams) {
  ColValueCache& c = stmt->fetch.cache;
  if (b->indicator != nullptr) *b->indicator = 0;
  if (row >= set->rows_held) {
    if (TRC_Active())
      TRC_Printf("GetColumn: row out of range (%d,%d)", static_cast<int>(row),
                 static_cast<int>(set->rows_held));
    return Fail(stmt, ERR_INVALID_CURSOR_STATE);
  }
  const bool recount = outParams && stmt->paramRecount != 0;
  const JdbcColDesc* desc = nullptr;
  if (outParams) {
    if (!recount && stmt->paramDescs != nullptr && b->column <= stmt->paramCount)
      desc = &stmt->paramDescs[b->column - 1];
  } else {
    desc = STMT_GetCol(stmt, b->column);
    if (desc == nullptr) return SQL_ERROR;
  }
  const int32_t sqlType = desc != nullptr ? desc->sql_type : 0;
  const uint16_t decimalDigits = recount || desc == nullptr ? b->decimalDigits : desc->scale;

  int16_t cType = b->cType;
  if (cType == SQL_C_DEFAULT) {
    const uint32_t version = OdbcVersion(stmt);
    if (version == 2 &&
        (sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR))
      cType = SQL_C_CHAR;
    else if (desc != nullptr)
      cType = static_cast<int16_t>(TYPE_DefaultCType(sqlType, version));
    if (cType != SQL_C_DEFAULT && b->bufferLength == 0) b->bufferLength = TYPE_CSize(cType);
  } else if (cType == SQL_C_BINARY && sqlType == SQL_BIGINT) {
    return ImageOf<int64_t>(stmt, row, b, col, set, outParams, SQL_C_SBIGINT);
  } else if (cType == SQL_C_BINARY && sqlType == SQL_GUID && KindOf(col.type) != Source::Bytes) {
    return ImageOf<SQLGUID>(stmt, row, b, col, set, outParams, SQL_C_GUID);
  }

  ColClearCache(&c);
  c.column = b->column;
  c.row = row + 1;

  int16_t scale = 0;
  uint16_t precision = 0;
  if (cType == SQL_ARD_TYPE || cType == SQL_C_NUMERIC) {
    DescHandle* d = outParams ? stmt->apd : stmt->ard;
    DescRec* rec = d != nullptr ? DESC_GetRec(d, b->column) : nullptr;
    if (cType == SQL_ARD_TYPE) {
      if (rec == nullptr) return Fail(stmt, ERR_INVALID_COLUMN);
      cType = rec->conciseType;
    }
    if (cType == SQL_C_NUMERIC && rec != nullptr) {
      precision = static_cast<uint16_t>(rec->precision);
      scale = rec->scale;
    }
  }
  c.cType = cType;

  const uint16_t ind = col.ind != nullptr ? col.ind[row] : COLSET_IND_NULL;
  if (ind == COLSET_IND_NULL) return NullValue(stmt, b, cType);
  if (ind == COLSET_IND_DEFERRED) {
    const int64_t piece = PieceLength(stmt, b, cType);
    // The value is read from its start, whatever was read of it before.
    const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
    if (ops != nullptr && ops->DRV_GetData != nullptr) {
      ops->DRV_GetData(stmt->agentStmt, c.column, static_cast<uint16_t>(c.row), cType, nullptr,
                       nullptr, nullptr, nullptr);
    }
    int32_t code = ColFetchValue(stmt, piece, cType);
    if (code == 0) code = ColTopUpValue(stmt, piece, PieceNeed(b, cType), cType);
    if (code == ERR_NO_DATA_FOUND) {
      if (c.total == -1) return NullValue(stmt, b, cType);
      if (c.total != 0) return SQL_NO_DATA;
      // Nothing delivered of a value of length 0: the empty value itself.
      if (b->data == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
      return ConvertPiece(stmt, b, cType, KindOf(c.type), u"", 0, 0, scale, precision, true);
    }
    if (code != 0) return Fail(stmt, code);
    if (b->data == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
    const int64_t total = c.total > c.remaining ? c.total : c.remaining;
    return ConvertPiece(stmt, b, cType, KindOf(c.type), c.value, c.remaining, total, scale,
                        precision, true);
  }

  c.type = col.type;
  if (b->data == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
  if (ExactNumberAsText(sqlType, cType) && WholeDigitsCut(col, row, cType, b->bufferLength))
    return Fail(stmt, ERR_NUMERIC_RANGE);
  return GetInlineValue(stmt, row, b, col, cType, scale, precision, decimalDigits);
}

}  // namespace

bool ExactNumberAsText(int32_t sqlType, int16_t cType) {
  return (cType == SQL_C_CHAR || cType == SQL_C_WCHAR) &&
         (sqlType == SQL_BIGINT || sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC);
}

SQLRETURN GetInlineValue(StmtHandle* stmt, uint32_t row, BIND_REC* b, const COLSET_COL& col,
                         int16_t cType, int16_t scale, uint16_t precision, uint16_t decimalDigits) {
  ColValueCache& c = stmt->fetch.cache;
  c.type = col.type;
  const unsigned char* e = col.data + static_cast<size_t>(row) * col.elem_size;
  int32_t* pending = &stmt->diag.pending;
  void* buf = b->data;
  const int64_t len = b->bufferLength;
  int64_t* lp = b->length;
  switch (col.type) {
    case COLSET_VT_BIT:
    case COLSET_VT_UTINYINT:
      return ConvertBYTE(e[0], 0, cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_TINYINT:
      return ConvertBYTE(e[0], 1, cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_SMALLINT:
      return ConvertSHORT(ReadAt<uint16_t>(e), 1, cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_USMALLINT:
      return ConvertSHORT(ReadAt<uint16_t>(e), 0, cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_INTEGER:
      return ConvertINTEGER(ReadAt<uint32_t>(e), 1, cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_UINTEGER:
      return ConvertINTEGER(ReadAt<uint32_t>(e), 0, cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_REAL:
      return ConvertFLOAT(ReadAt<float>(e), cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_DOUBLE:
      return ConvertDOUBLE(ReadAt<double>(e), cType, buf, len, lp, pending, scale, precision);
    case COLSET_VT_DATE: {
      const auto v = ReadAt<SQL_DATE_STRUCT>(e);
      return ConvertDATE(&v, cType, buf, len, lp, pending);
    }
    case COLSET_VT_TIME: {
      const auto v = ReadAt<SQL_TIME_STRUCT>(e);
      return ConvertTIME(&v, ReadAt<uint32_t>(e + 12), ReadAt<uint32_t>(e + 8), cType, buf, len, lp,
                         decimalDigits, pending);
    }
    case COLSET_VT_TIMESTAMP: {
      const auto v = ReadAt<SQL_TIMESTAMP_STRUCT>(e);
      return ConvertTIMESTAMP(&v, ReadAt<uint32_t>(e + 16), cType, buf, len, lp, decimalDigits,
                              pending);
    }
    default: break;
  }
  if (KindOf(col.type) == Source::Other) return Fail(stmt, ERR_RESTRICTED_TYPE);
  Source s = Locate(col.type, e, col.elem_size);
  const int64_t whole = WholeLength(col.type, e, col.elem_size, &s);
  c.total = whole;
  // Text that is all ASCII and fits whole: the copy ConvertPiece would
  // reach through the text converter, in one pass (its trace line aside).
  if (cType == SQL_C_CHAR && !TRC_Active() && whole == s.length &&
      ((s.kind == Source::Text &&
        conv::CopyAsciiWhole(static_cast<const char*>(s.value), s.length, buf, len, lp)) ||
       (s.kind == Source::Wide &&
        conv::CopyAsciiWhole(static_cast<const char16_t*>(s.value), s.length / 2, buf, len, lp)))) {
    c.cType = cType;
    c.remaining = 0;
    return SQL_SUCCESS;
  }
  return ConvertPiece(stmt, b, cType, s.kind, s.value, s.length, whole, scale, precision, false);
}
