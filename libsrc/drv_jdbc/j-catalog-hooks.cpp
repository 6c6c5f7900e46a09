// The type rewrite of catalog rows (JDBC type codes into ODBC terms) and the
// row hooks DRV_Fetch runs after each block of a catalog result. A hook
// never touches a column the row buffer does not have.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-catalog.h"
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
    case COLSET_VT_SMALLINT: { int16_t v; std::memcpy(&v, p, 2); return v; }
    case COLSET_VT_USMALLINT: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case COLSET_VT_INTEGER:
    case COLSET_VT_UINTEGER: { int32_t v; std::memcpy(&v, p, 4); return v; }
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
    case COLSET_VT_USMALLINT: { const uint16_t x = static_cast<uint16_t>(v); std::memcpy(p, &x, 2); break; }
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

// ---------------------------------------------------------------------------
// The type rewrite.

namespace {

// SQL types of the ODBC side.
enum : int32_t {
  kWLongVarchar = -10, kWVarchar = -9, kWChar = -8, kBit = -7, kBigint = -5,
  kLongVarbinary = -4, kBinary = -2, kLongVarchar = -1, kChar = 1, kDecimal = 3,
  kVarchar = 12, kDate = 9, kTime = 10, kTimestamp = 11, kDatetime = 9,
};

constexpr int32_t kUnlimitedVarchar = 1073741823;

}  // namespace

namespace {

// What the rewrite does to a row of one JDBC type.
struct TypeRule {
  int32_t odbc = 0;
  bool setSqlType = false;  // SQL_DATA_TYPE := the new DATA_TYPE
  int32_t sqlType = 0;      // ... or this value when non-zero
  bool copyOctets = false;
  bool sizeRule = false;
  bool bufferFromSize = false;
  bool decimalName = false;
  int32_t datetimeSub = -1;
};

// `unsized`: COLUMN_SIZE is present and 0 (only JDBC OTHER looks at it).
TypeRule RuleFor(int32_t jdbc, const CatTypeRules& r, bool unsized) {
  const bool wide = r.wide != 0;
  const bool toVarchar = r.longVarcharToVarchar >= 0;
  TypeRule t;
  t.odbc = jdbc;
  switch (jdbc) {
    case -155: t.odbc = kVarchar; t.sqlType = kVarchar; t.copyOctets = true; break;
    case -150:
    case -8: t.odbc = kBinary; t.sqlType = kBinary; t.copyOctets = true; break;
    case -16:
      if (toVarchar) {
        t.odbc = wide ? kWVarchar : kVarchar;
        t.sizeRule = true;
      } else {
        t.odbc = wide ? kWLongVarchar : kLongVarchar;
      }
      t.copyOctets = true;
      t.setSqlType = true;
      break;
    case -15: t.odbc = wide ? kWChar : kChar; t.copyOctets = true; t.setSqlType = true; break;
    case -10:
      if (toVarchar) {
        t.odbc = kWVarchar;
        t.sizeRule = true;
      }
      t.copyOctets = true;
      break;
    case -9: t.odbc = wide ? kWVarchar : kVarchar; t.copyOctets = true; t.setSqlType = true; break;
    case -7: case -6: case 4: case 5: case 6: case 7: t.setSqlType = true; break;
    case -5:
      if (r.jet != 0) {
        t.odbc = kDecimal;
        t.decimalName = true;
      }
      t.bufferFromSize = true;
      t.setSqlType = true;
      break;
    case -4: case -3: case -2: t.copyOctets = true; break;
    case -1: case 1: case 12:
      if (toVarchar) {
        t.odbc = kVarchar;
        t.sizeRule = true;
      }
      t.copyOctets = true;
      break;
    case 2:
      if (r.jet != 0) {
        t.odbc = kDecimal;
        t.decimalName = true;
        t.copyOctets = true;
      }
      t.bufferFromSize = true;
      t.setSqlType = true;
      break;
    case 3: t.bufferFromSize = true; t.sqlType = kDecimal; t.copyOctets = true; break;
    case 8: t.setSqlType = true; break;
    case 9: case 91:
      t.odbc = r.odbcVersion >= 3 ? 91 : kDate; t.sqlType = kDatetime; t.datetimeSub = 1; break;
    case 10: case 92:
      t.odbc = r.odbcVersion >= 3 ? 92 : kTime; t.sqlType = kDatetime; t.datetimeSub = 2; break;
    case 11: case 93:
      t.odbc = r.odbcVersion >= 3 ? 93 : kTimestamp; t.sqlType = kDatetime; t.datetimeSub = 3;
      break;
    case 16: t.odbc = kBit; t.sqlType = kBit; break;
    case 70: t.odbc = kVarchar; t.sqlType = kVarchar; break;
    case 1111:
      if (unsized)
        t.odbc = wide ? kWLongVarchar : kLongVarchar;
      else
        t.odbc = wide ? kWVarchar : kVarchar;
      t.copyOctets = true;
      t.setSqlType = true;
      break;
    case 2004: t.odbc = kLongVarbinary; t.sqlType = kLongVarbinary; break;
    case 2005: case 2009: case 2011:
      t.odbc = wide ? kWLongVarchar : kLongVarchar;
      t.setSqlType = true;
      break;
    default: t.odbc = 0; break;
  }
  return t;
}

}  // namespace

int32_t catOdbcType(int32_t jdbcType, const CatTypeRules& r, bool unsized) {
  return RuleFor(jdbcType, r, unsized).odbc;
}

int16_t catTypeKey(int32_t sqlType) {
  switch (sqlType) {
    case kDate: return 91;
    case kTime: return 92;
    case kTimestamp: return 93;
    case kWChar: return kChar;
    case kWVarchar: return kVarchar;
    case kWLongVarchar: return kLongVarchar;
    default: return static_cast<int16_t>(sqlType);
  }
}

void catFixType(const CatTypeFields& f, const CatTypeRules& r) {
  if (f.dataType == nullptr) return;
  // The JDBC driver's own octet length, for a text type whose buffer length
  // it leaves out (most do: JDBC does not use that column).
  const bool gaveOctets = f.octetLength != nullptr && !f.octetLength->IsNull() &&
                          !f.octetLength->Holds(CAT_NO_VALUE32);
  const int32_t jdbcOctets = gaveOctets ? f.octetLength->Int() : 0;
  if (f.datetimeSub != nullptr) f.datetimeSub->SetInt(static_cast<int32_t>(CAT_NO_VALUE16));
  if (f.octetLength != nullptr) f.octetLength->SetInt(static_cast<int32_t>(CAT_NO_VALUE32));

  const bool unsized =
      f.columnSize != nullptr && !f.columnSize->IsNull() && f.columnSize->Int() == 0;
  const TypeRule t = RuleFor(f.dataType->Int(), r, unsized);

  f.dataType->SetInt(t.odbc);
  if (t.decimalName && f.typeName != nullptr) f.typeName->SetText("decimal");
  if (t.sizeRule && f.columnSize != nullptr)
    f.columnSize->SetInt(r.longVarcharToVarchar == 0 ? kUnlimitedVarchar : r.longVarcharToVarchar);
  if (t.bufferFromSize && f.bufferLength != nullptr && f.columnSize != nullptr &&
      !f.columnSize->IsNull() &&
      (f.bufferLength->IsNull() || f.bufferLength->Holds(CAT_NO_VALUE32))) {
    f.bufferLength->SetInt(f.columnSize->Int() + 2);
  }
  if (f.sqlDataType != nullptr) {
    if (t.setSqlType)
      f.sqlDataType->SetInt(t.odbc);
    else if (t.sqlType != 0)
      f.sqlDataType->SetInt(t.sqlType);
    else if (t.odbc != 0 && (f.sqlDataType->IsNull() || f.sqlDataType->Holds(CAT_NO_VALUE16) ||
                             f.sqlDataType->Int() == 0))
      // A type the rules give no SQL_DATA_TYPE of its own is not a datetime
      // or interval type, so ODBC wants DATA_TYPE repeated there.
      f.sqlDataType->SetInt(t.odbc);
  }
  if (t.datetimeSub >= 0 && f.datetimeSub != nullptr) f.datetimeSub->SetInt(t.datetimeSub);
  if (t.copyOctets && f.octetLength != nullptr) {
    if (f.bufferLength != nullptr && !f.bufferLength->IsNull() &&
        !f.bufferLength->Holds(CAT_NO_VALUE32))
      f.octetLength->SetInt(f.bufferLength->Int());
    else if (gaveOctets)
      f.octetLength->SetInt(jdbcOctets);
  }
}

// ---------------------------------------------------------------------------
// Row hooks.

namespace {

CatTypeRules RulesOf(const JdbcStmt* s) {
  CatTypeRules r;
  r.wide = s->wide;
  if (const JdbcConn* c = s->conn) {
    r.jet = c->settings.jet;
    r.odbcVersion = c->odbcVersion;
    r.longVarcharToVarchar = c->settings.longVarcharToVarchar;
  }
  return r;
}

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
  return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), size));
}

}  // namespace

namespace {

// Where the typed fields of one catalog row sit (1-based ODBC columns).
struct TypedColumns {
  uint32_t dataType, typeName, columnSize, bufferLength, sqlDataType, datetimeSub, octetLength;
};

// The rewrite of a row of SQLColumns or SQLProcedureColumns, whose NULL
// integers first become the markers the rewrite understands and end up NULL
// again when they still hold them.
void FixTypedRow(COLSET* set, uint32_t r, const TypedColumns& c, const CatTypeRules& rules) {
  const CatCell type = At(set, c.dataType, r), name = At(set, c.typeName, r),
                size = At(set, c.columnSize, r), buffer = At(set, c.bufferLength, r),
                sqlType = At(set, c.sqlDataType, r), sub = At(set, c.datetimeSub, r),
                octets = At(set, c.octetLength, r);
  MarkAbsent(buffer, CAT_NO_VALUE32);
  MarkAbsent(sqlType, CAT_NO_VALUE16);
  catFixType({&type, &name, &size, &buffer, &sqlType, &sub, &octets}, rules);
  NullIfMarker(buffer, CAT_NO_VALUE32);
  SqlTypeNullness(sqlType, type);
  NullIfMarker(sub, CAT_NO_VALUE16);
  NullIfMarker(octets, CAT_NO_VALUE32);
}

constexpr int32_t kReturnValue = 5;  // COLUMN_TYPE of a function's result

}  // namespace

uint32_t catColumnsRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 18)) return 0;
  const CatTypeRules rules = RulesOf(s);
  for (uint32_t r = 0; r < set->rows_held; ++r) FixTypedRow(set, r, {5, 6, 7, 8, 14, 15, 16}, rules);
  return 0;
}

uint32_t catProcColumnsRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 19)) return 0;
  const CatTypeRules rules = RulesOf(s);
  // How many leading JDBC columns the fetch read: a JDBC 4 driver gives the
  // default, the position and the nullability of its own.
  const int32_t read = s->fetchColLimit < 0 ? 19 : s->fetchColLimit;
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell nullable = At(set, 19, r), def = At(set, 14, r), ordinal = At(set, 18, r);
    if (read < 19 || nullable.IsNull()) nullable.SetText("");
    if (read < 14) def.SetNull(true);
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
    FixTypedRow(set, r, {6, 7, 8, 9, 15, 16, 17}, rules);
  }
  return 0;
}

bool catTypeInfoWanted(const JdbcStmt* s, int32_t jdbcType) {
  if (s->requestedType == 0) return true;
  // The row is compared in the form it will be reported in; the date and
  // time codes of both ODBC versions ask for the same rows, but a wide and
  // a narrow type are different answers.
  auto dateForm = [](int32_t t) { return t >= 91 && t <= 93 ? t - 82 : t; };
  return dateForm(catOdbcType(jdbcType, RulesOf(s), false)) == dateForm(s->requestedType);
}

namespace {

// SQLSpecialColumns has no radix column, so a size must be ODBC's own
// decimal one; some JDBC drivers give integer sizes in bits (32 for
// INTEGER).
void DecimalIntegerSize(const CatCell& type, const CatCell& size) {
  if (type.IsNull() || size.IsNull()) return;
  switch (type.Int()) {
    case -6: size.SetInt(3); break;
    case 5: size.SetInt(5); break;
    case 4: size.SetInt(10); break;
    case -5: size.SetInt(19); break;
    default: break;
  }
}

}  // namespace

uint32_t catSpecialColumnsRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 8)) return 0;
  const CatTypeRules rules = RulesOf(s);
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell type = At(set, 3, r), name = At(set, 4, r), size = At(set, 5, r),
                  buffer = At(set, 6, r);
    MarkAbsent(buffer, CAT_NO_VALUE32);
    CatTypeFields f;
    f.dataType = &type;
    f.typeName = &name;
    f.columnSize = &size;
    f.bufferLength = &buffer;
    catFixType(f, rules);
    NullIfMarker(buffer, CAT_NO_VALUE32);
    DecimalIntegerSize(type, size);
  }
  return 0;
}

uint32_t catTypeInfoRowHook(JdbcStmt* s, COLSET* set) {
  if (!Usable(set, 17)) return 0;
  const CatTypeRules rules = RulesOf(s);
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell type = At(set, 2, r), name = At(set, 1, r), sqlType = At(set, 16, r),
                  sub = At(set, 17, r);
    MarkAbsent(sqlType, CAT_NO_VALUE16);
    CatTypeFields f;
    f.dataType = &type;
    f.typeName = &name;
    f.sqlDataType = &sqlType;
    f.datetimeSub = &sub;
    catFixType(f, rules);
    SqlTypeNullness(sqlType, type);
    NullIfMarker(sub, CAT_NO_VALUE16);
  }
  return 0;
}

uint32_t catStatisticsRowHook(JdbcStmt*, COLSET* set) {
  if (!Usable(set, 7)) return 0;
  for (uint32_t r = 0; r < set->rows_held; ++r) {
    const CatCell qualifier = At(set, 5, r);
    uint16_t first = 0;
    if (qualifier.col->elem_size >= 2) {
      std::memcpy(&first, qualifier.col->data + static_cast<size_t>(r) * qualifier.col->elem_size, 2);
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
