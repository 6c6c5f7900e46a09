// The cells of catalog rows and the row hooks DRV_Fetch runs after each
// block of a catalog result (the type rewrite they apply is in
// j-catalog-types.cpp). A hook never touches a column the row buffer does
// not have.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-sqltypes.h"
#include "drv_jdbc/j-wrap.h"
#include "util/sqllex.h"
#include "util/textconv.h"

// ---------------------------------------------------------------------------
// Cells.

bool CatCell::IsNull() const { return col->ind[row] == COLSET_IND_NULL; }

void CatCell::SetNull(bool null) const { col->ind[row] = null ? COLSET_IND_NULL : 0; }

bool CatCell::Holds(uint32_t marker) const {
  const uint32_t v = static_cast<uint32_t>(Int());
  if (col->elem_size == 2) return (v & 0xFFFFu) == (marker & 0xFFFFu);
  return v == marker;
}

namespace {

unsigned char* Elem(const CatCell& c) {
  return c.col->data + static_cast<size_t>(c.row) * c.col->elem_size;
}

}  // namespace

int32_t CatCell::Int() const {
  const unsigned char* p = Elem(*this);
  switch (col->type) {
    case COLSET_VT_BIT:
    case COLSET_VT_UTINYINT: return p[0];
    case COLSET_VT_TINYINT: return static_cast<int8_t>(p[0]);
    case COLSET_VT_SMALLINT: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case COLSET_VT_USMALLINT: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case COLSET_VT_INTEGER:
    case COLSET_VT_UINTEGER: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default: return 0;
  }
}

void CatCell::SetInt(int32_t v) const {
  unsigned char* p = Elem(*this);
  switch (col->type) {
    case COLSET_VT_BIT:
    case COLSET_VT_UTINYINT:
    case COLSET_VT_TINYINT: p[0] = static_cast<unsigned char>(v); break;
    case COLSET_VT_SMALLINT:
    case COLSET_VT_USMALLINT: {
      const uint16_t x = static_cast<uint16_t>(v);
      std::memcpy(p, &x, 2);
      break;
    }
    case COLSET_VT_INTEGER:
    case COLSET_VT_UINTEGER: std::memcpy(p, &v, 4); break;
    default: return;
  }
  SetNull(false);
}

void CatCell::SetText(const char* text) const {
  unsigned char* p = Elem(*this);
  const size_t size = col->elem_size;
  if (col->type == COLSET_VT_NTS) {
    if (size == 0) return;
    const size_t n = std::min(std::strlen(text), size - 1);
    std::memcpy(p, text, n);
    p[n] = '\0';
  } else if (col->type == COLSET_VT_WNTS) {
    if (size < 2) return;
    const size_t chars = size / 2 - 1;
    size_t i = 0;
    for (; text[i] != '\0' && i < chars; ++i) {  // ASCII names only
      const char16_t c = static_cast<unsigned char>(text[i]);
      std::memcpy(p + 2 * i, &c, 2);
    }
    const char16_t nul = 0;
    std::memcpy(p + 2 * i, &nul, 2);
  } else {
    return;
  }
  SetNull(false);
}

std::string CatCell::Ascii() const {
  std::string out;
  if (IsNull()) return out;
  const unsigned char* p = Elem(*this);
  const size_t size = col->elem_size;
  if (col->type == COLSET_VT_NTS) {
    for (size_t i = 0; i < size && p[i] != 0; ++i) out.push_back(static_cast<char>(p[i]));
  } else if (col->type == COLSET_VT_WNTS) {
    for (size_t i = 0; i + 1 < size; i += 2) {
      char16_t u;
      std::memcpy(&u, p + i, 2);
      if (u == 0) break;
      out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// Row hooks.

namespace {

CatCell At(COLSET* set, uint32_t odbcColumn, uint32_t row) {
  return CatCell{&set->cols[odbcColumn - 1], row};
}

// A NULL integer becomes the no-value marker the rewrite understands.
void MarkAbsent(const CatCell& c, uint32_t marker) {
  if (c.IsNull()) c.SetInt(static_cast<int32_t>(marker));
}

// NULL exactly when the cell holds the marker.
void NullIfMarker(const CatCell& c, uint32_t marker) { c.SetNull(c.Holds(marker)); }

// SQL_DATA_TYPE: the rewrite gives every known type a value, and a
// LONGVARCHAR's -1 shares its 16 bits with the marker; only a row of an
// unknown type is left without one.
void SqlTypeNullness(const CatCell& sqlType, const CatCell& dataType) {
  sqlType.SetNull(dataType.Int() == 0 && sqlType.Holds(CAT_NO_VALUE16));
}

bool Usable(const COLSET* set, uint32_t columns) {
  return set != nullptr && set->cols != nullptr && set->cols_used >= columns;
}

// The procedure name of a row as 8-bit text (UTF-16 names are compared by
// their UTF-8 form).
std::string NameAt(const CatCell& c) {
  if (c.IsNull()) return {};
  const unsigned char* p = c.col->data + static_cast<size_t>(c.row) * c.col->elem_size;
  const size_t size = c.col->elem_size;
  if (c.col->type == COLSET_VT_WNTS) {
    std::u16string w;
    for (size_t i = 0; i + 1 < size; i += 2) {
      char16_t ch;
      std::memcpy(&ch, p + i, 2);
      if (ch == 0) break;
      w.push_back(ch);
    }
    std::string out;
    for (char16_t ch : w) out.append(reinterpret_cast<const char*>(&ch), 2);
    return out;
  }
  return std::string(reinterpret_cast<const char*>(p),
                     strnlen(reinterpret_cast<const char*>(p), size));
}

}  // namespace

namespace {

// Where the typed fields of one catalog row sit (1-based ODBC columns).
struct TypedColumns {
  uint32_t dataType, typeName, columnSize, bufferLength, decimalDigits, radix, sqlDataType,
      datetimeSub, octetLength;
};

// The rewrite of a row of SQLColumns or SQLProcedureColumns, whose NULL
// integers first become the markers the rewrite understands and end up NULL
// again when they still hold them.
void FixTypedRow(COLSET* set, uint32_t r, const TypedColumns& c, const CatTypeRules& rules) {
  const CatCell type = At(set, c.dataType, r), name = At(set, c.typeName, r),
                size = At(set, c.columnSize, r), buffer = At(set, c.bufferLength, r),
                digits = At(set, c.decimalDigits, r), sqlType = At(set, c.sqlDataType, r),
                sub = At(set, c.datetimeSub, r), octets = At(set, c.octetLength, r),
                radix = At(set, c.radix, r);
  MarkAbsent(buffer, CAT_NO_VALUE32);
  MarkAbsent(sqlType, CAT_NO_VALUE16);
  CatTypeFields f{&type, &name, &size, &buffer, &sqlType, &sub, &octets, &digits};
  f.radix = &radix;
  catFixType(f, rules);
  NullIfMarker(buffer, CAT_NO_VALUE32);
  SqlTypeNullness(sqlType, type);
  NullIfMarker(sub, CAT_NO_VALUE16);
  NullIfMarker(octets, CAT_NO_VALUE32);
}

constexpr int32_t kReturnValue = 5;  // COLUMN_TYPE of a function's result

// PostgreSQL's JDBC driver files the columns of a RETURNS TABLE function as
// return values beside the one it names "returnValue" for a function of
// one value; ODBC lists them as columns of the result set.
void TableColumnsAsResult(const JdbcStmt* s, const CatCell& kind, const CatCell& name) {
  if (s->conn == nullptr || (s->conn->sqlForms & SQLLEX_POSTGRESQL) == 0) return;
  if (kind.IsNull() || kind.Int() != kReturnValue || name.Ascii() == "returnValue") return;
  kind.SetInt(SQL_RESULT_COL);
}

// A PostgreSQL routine's parameters and result columns carry no type
// modifier, so a time or timestamp among them holds the server's default
// six fraction digits, which its columns answer too; its JDBC driver says 0.
void RoutineFraction(const JdbcStmt* s, const CatCell& type, const CatCell& scale) {
  if (s->conn == nullptr || (s->conn->sqlForms & SQLLEX_POSTGRESQL) == 0 || type.IsNull()) return;
  const int32_t t = type.Int();
  const bool timed = t == JDBC_TIME || t == JDBC_TIMESTAMP || t == JDBC_TIME_WITH_TIMEZONE ||
                     t == JDBC_TIMESTAMP_WITH_TIMEZONE;
  if (timed && (scale.IsNull() || scale.Int() == 0)) scale.SetInt(6);
}

}  // namespace

uint32_t catColumnsRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 18)) return 0;
  const CatTypeRules rules = catTypeRulesOf(s);
  for (uint32_t r = 0; r < set->rows_held; ++r)
    FixTypedRow(set, r, {5, 6, 7, 8, 9, 10, 14, 15, 16}, rules);
  return 0;
}

uint32_t catProcColumnsRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 19)) return 0;
  const CatTypeRules rules = catTypeRulesOf(s);
  // How many leading JDBC columns the fetch read: a JDBC 4 driver gives the
  // default, the position and the nullability of its own.
  const int32_t read = s->fetchColLimit < 0 ? 19 : s->fetchColLimit;
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell nullable = At(set, 19, r), def = At(set, 14, r), ordinal = At(set, 18, r);
    if (read < 19 || nullable.IsNull()) nullable.SetText("");
    if (read < 14) def.SetNull(true);
    TableColumnsAsResult(s, At(set, 5, r), At(set, 4, r));
    RoutineFraction(s, At(set, 6, r), At(set, 10, r));
    const std::string proc = NameAt(At(set, 3, r));
    if (s->lastProcName == nullptr || proc != s->lastProcName) {
      std::free(s->lastProcName);
      s->lastProcName = strdup(proc.c_str());
      s->procOrdinal = 0;
    }
    // Without the driver's own position, parameters count from 1 within
    // their procedure; only a return value is position 0.
    const bool isReturn = !At(set, 5, r).IsNull() && At(set, 5, r).Int() == kReturnValue;
    const uint32_t counted = isReturn ? 0 : ++s->procOrdinal;
    if (read < 18 || ordinal.IsNull()) ordinal.SetInt(static_cast<int32_t>(counted));
    FixTypedRow(set, r, {6, 7, 8, 9, 10, 11, 15, 16, 17}, rules);
  }
  return 0;
}

uint32_t catSpecialColumnsRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 8)) return 0;
  const CatTypeRules rules = catTypeRulesOf(s);
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell type = At(set, 3, r), name = At(set, 4, r), size = At(set, 5, r),
                  buffer = At(set, 6, r), digits = At(set, 7, r);
    MarkAbsent(buffer, CAT_NO_VALUE32);
    CatTypeFields f;
    f.dataType = &type;
    f.typeName = &name;
    f.columnSize = &size;
    f.bufferLength = &buffer;
    f.decimalDigits = &digits;
    catFixType(f, rules);
    NullIfMarker(buffer, CAT_NO_VALUE32);
  }
  return 0;
}

uint32_t catTypeInfoRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 17)) return 0;
  CatTypeRules rules = catTypeRulesOf(s);
  rules.typeInfo = true;
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell type = At(set, 2, r), name = At(set, 1, r), sqlType = At(set, 16, r),
                  sub = At(set, 17, r), size = At(set, 3, r);
    MarkAbsent(sqlType, CAT_NO_VALUE16);
    const int32_t jdbcType = type.Int();
    const std::string typeName = name.Ascii();
    CatTypeFields f;
    f.dataType = &type;
    f.typeName = &name;
    f.sizeFact = &size;
    f.sqlDataType = &sqlType;
    f.datetimeSub = &sub;
    catFixType(f, rules);
    catFixTypeInfoRow(s, type, sqlType, At(set, 3, r), At(set, 14, r), At(set, 15, r));
    catFillTypeInfoGaps(jdbcType, type, At(set, 3, r), At(set, 6, r));
    if (Usable(set, 18)) {
      const CatCell unsignedAttr = At(set, 10, r), minScale = At(set, 14, r),
                    maxScale = At(set, 15, r), radix = At(set, 18, r);
      catTypeInfoFacts(jdbcType, typeName.c_str(),
                       {&type, &size, &unsignedAttr, &minScale, &maxScale, &radix});
    }
    SqlTypeNullness(sqlType, type);
    NullIfMarker(sub, CAT_NO_VALUE16);
  }
  return 0;
}

namespace {

constexpr int32_t kDistinct = 2001;
constexpr int32_t kSourceDataType = 22;  // getColumns' SOURCE_DATA_TYPE

// PostgreSQL's JDBC driver gives a domain over text the server's type
// modifier as its size, the length and the four bytes of the value's
// header; the octets, counted from that size, are made again from the
// length.
void DomainTextSize(const JdbcStmt* s, COLSET* set, uint32_t row, int16_t base) {
  constexpr int32_t kHeader = 4;
  if (s->conn == nullptr || (s->conn->sqlForms & SQLLEX_POSTGRESQL) == 0) return;
  if (!Usable(set, 16) || (base != SQL_CHAR && base != SQL_VARCHAR)) return;
  const CatCell size = At(set, 7, row);
  if (size.IsNull() || size.Int() <= kHeader) return;
  size.SetInt(size.Int() - kHeader);
  At(set, 8, row).SetNull(true);
  At(set, 16, row).SetNull(true);
}

}  // namespace

uint32_t catColumnsBaseType(JdbcStmt* s, jobject rs, COLSET* set, uint32_t row) {
  if (!Usable(set, 5)) return 0;
  const CatCell type = At(set, 5, row);
  if (type.IsNull() || type.Int() != kDistinct) return 0;
  int16_t base = 0;
  uint8_t isNull = 1;
  if (ResultSet::getShort(s, rs, kSourceDataType, &base) != 0 ||
      ResultSet::wasNull(s, rs, &isNull) != 0) {
    // A driver older than JDBC 3 has no such column: the type stays text.
    errClear(&s->errors);
    return 0;
  }
  if (isNull == 0 && base != 0 && base != kDistinct) {
    type.SetInt(base);
    DomainTextSize(s, set, row, base);
  }
  return 0;
}

uint32_t catStatisticsRowHook(JdbcStmt*, COLSET* set) {
  if (!Usable(set, 7)) return 0;
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell qualifier = At(set, 5, r);
    uint16_t first = 0;
    if (qualifier.col->elem_size >= 2) {
      std::memcpy(&first, qualifier.col->data + static_cast<size_t>(r) * qualifier.col->elem_size,
                  2);
    }
    if (first == 0) {
      qualifier.SetNull(true);
    } else if (qualifier.IsNull()) {
      qualifier.SetNull(false);
      At(set, 7, r).SetInt(1);
    }
  }
  return 0;
}
