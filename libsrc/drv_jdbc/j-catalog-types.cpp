// The type rewrite of catalog rows: JDBC type codes, sizes and scales into
// ODBC's terms, for SQLColumns, SQLProcedureColumns, SQLSpecialColumns and
// SQLGetTypeInfo alike.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <strings.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-sqltypes.h"
#include "util/text_octets.h"

namespace {

constexpr int32_t kUnlimitedVarchar = 1073741823;

// What the rewrite does to a row of one JDBC type.
struct TypeRule {
  int32_t odbc = 0;
  int32_t sqlType = 0;  // SQL_DATA_TYPE when it is not the new DATA_TYPE
  bool copyOctets = false;
  bool sizeRule = false;
  bool unboundedSize = false;  // COLUMN_SIZE := the size of unbounded text
  bool bufferFromSize = false;
  bool decimalName = false;
  bool guidSize = false;  // COLUMN_SIZE := the characters of a GUID's text
  bool money = false;     // an exact amount, sized as its result column is described
  int32_t datetimeSub = -1;
};

// Characters of a GUID as text (8-4-4-4-12 hexadecimal digits).
constexpr int32_t kGuidChars = 36;
constexpr int32_t kGuidBytes = 16;

// PostgreSQL's uuid, which its JDBC driver files as OTHER.
bool IsGuid(int32_t jdbc, const char* name) {
  return jdbc == JDBC_OTHER && strcasecmp(name, "uuid") == 0;
}

// What a row says besides its JDBC type.
struct RowFacts {
  bool unsized = false;   // COLUMN_SIZE present and 0
  int64_t size = -1;      // COLUMN_SIZE, -1 when absent
  const char* name = "";  // TYPE_NAME
};

constexpr int32_t kUnboundedSize = 0x7FFFFFFF;

bool ShortText(int32_t jdbc) {
  return jdbc == JDBC_CHAR || jdbc == JDBC_VARCHAR || jdbc == JDBC_NVARCHAR || jdbc == JDBC_NCHAR;
}

int32_t WideTextOf(int32_t narrow) {
  switch (narrow) {
    case SQL_CHAR: return SQL_WCHAR;
    case SQL_VARCHAR: return SQL_WVARCHAR;
    case SQL_LONGVARCHAR: return SQL_WLONGVARCHAR;
    default: return narrow;
  }
}

// The JDBC type a row is rewritten as. A column of text without a useful
// bound is long text (an application sizes a VARCHAR's buffer by its column
// size); so is the type information's row of a varying text type of no size
// (PostgreSQL's text and name, filed by its JDBC driver as VARCHAR), as a
// column of such a type is described as long text and ODBC applications
// look for the unbounded text type under LONGVARCHAR.
int32_t EffectiveJdbcType(int32_t jdbc, const CatTypeRules& r, const RowFacts& f) {
  if (!ShortText(jdbc)) return jdbc;
  const bool varying = jdbc == JDBC_VARCHAR || jdbc == JDBC_NVARCHAR;
  // A parameter or row-version column of a varying type without a length
  // (PostgreSQL's varchar, its tid) is as long as the server allows.
  const bool unbounded =
      r.typeInfo ? varying && f.size == 0 : unboundedText(f.size) || (varying && f.size < 0);
  if (!unbounded) return jdbc;
  return jdbc == JDBC_NVARCHAR || jdbc == JDBC_NCHAR ? JDBC_LONGNVARCHAR : JDBC_LONGVARCHAR;
}

// Text for a type ODBC has none of: long text where the size says nothing
// about the length of the text, else text as long as the size.
void AsText(TypeRule* t, const CatTypeRules& r, bool sized) {
  const bool wide = r.wide != 0;
  if (sized)
    t->odbc = wide ? SQL_WVARCHAR : SQL_VARCHAR;
  else
    t->odbc = wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
  t->unboundedSize = !sized;
  t->copyOctets = sized;
}

TypeRule RuleFor(int32_t jdbcType, const CatTypeRules& r, const RowFacts& f) {
  const bool wide = r.wide != 0;
  const bool toVarchar = r.longVarcharToVarchar >= 0;
  const int32_t jdbc = IsGuid(jdbcType, f.name) ? SQL_GUID : EffectiveJdbcType(jdbcType, r, f);
  const bool sized = f.size > 0 && !unboundedText(f.size);
  TypeRule t;
  t.odbc = jdbc;
  // PostgreSQL's money, which its JDBC driver files as a double: a result
  // column of it is described as the exact amount it is.
  if (jdbcType == JDBC_DOUBLE && strcasecmp(f.name, "money") == 0) {
    t.odbc = SQL_DECIMAL;
    t.money = true;
    return t;
  }
  switch (jdbc) {
    case SQL_GUID: t.guidSize = true; break;
    case JDBC_X_DATETIMEOFFSET:
      t.odbc = t.sqlType = SQL_VARCHAR;
      t.copyOctets = true;
      break;
    case JDBC_X_VARIANT:
      t.odbc = t.sqlType = SQL_BINARY;
      t.copyOctets = true;
      break;
    case JDBC_LONGNVARCHAR:
      if (toVarchar) {
        t.odbc = wide ? SQL_WVARCHAR : SQL_VARCHAR;
        t.sizeRule = true;
      } else {
        t.odbc = wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
      }
      t.copyOctets = true;
      break;
    case JDBC_NCHAR:
      t.odbc = wide ? SQL_WCHAR : SQL_CHAR;
      t.copyOctets = true;
      break;
    case SQL_WLONGVARCHAR:
      if (toVarchar) {
        t.odbc = SQL_WVARCHAR;
        t.sizeRule = true;
      }
      t.copyOctets = true;
      break;
    case JDBC_NVARCHAR:
      t.odbc = wide ? SQL_WVARCHAR : SQL_VARCHAR;
      t.copyOctets = true;
      break;
    case JDBC_BIT:
      // A string of several bits (PostgreSQL's bit(5)) is text, not a truth
      // value; the type information's BIT rows stay the server's.
      if (!r.typeInfo && f.size > 1) AsText(&t, r, true);
      break;
    case JDBC_TINYINT:
    case JDBC_INTEGER:
    case JDBC_SMALLINT:
    case JDBC_FLOAT:
    case JDBC_REAL: break;
    case JDBC_BIGINT:
      if (r.jet != 0) {
        t.odbc = SQL_DECIMAL;
        t.decimalName = true;
        t.bufferFromSize = true;
      }
      break;
    case JDBC_LONGVARBINARY:
    case JDBC_VARBINARY:
    case JDBC_BINARY: t.copyOctets = true; break;
    case JDBC_LONGVARCHAR:
    case JDBC_CHAR:
    case JDBC_VARCHAR:
      // A wide connection describes its text columns in the wide forms;
      // its catalog says the same of them.
      if (toVarchar) {
        t.odbc = SQL_VARCHAR;
        t.sizeRule = true;
      }
      if (wide) t.odbc = WideTextOf(t.odbc);
      t.copyOctets = true;
      break;
    case JDBC_NUMERIC:
      if (r.jet != 0) {
        t.odbc = SQL_DECIMAL;
        t.decimalName = true;
        t.copyOctets = true;
      }
      t.bufferFromSize = true;
      break;
    case JDBC_DECIMAL:
      t.bufferFromSize = true;
      t.sqlType = SQL_DECIMAL;
      t.copyOctets = true;
      break;
    case JDBC_DOUBLE: break;
    // A driver may give ODBC 2's date and time codes too.
    case SQL_DATE:
    case JDBC_DATE:
      t.odbc = r.odbcVersion >= 3 ? SQL_TYPE_DATE : SQL_DATE;
      t.sqlType = SQL_DATETIME;
      t.datetimeSub = SQL_CODE_DATE;
      break;
    case SQL_TIME:
    case JDBC_TIME:
      t.odbc = r.odbcVersion >= 3 ? SQL_TYPE_TIME : SQL_TIME;
      t.sqlType = SQL_DATETIME;
      t.datetimeSub = SQL_CODE_TIME;
      break;
    case SQL_TIMESTAMP:
    case JDBC_TIMESTAMP:
      t.odbc = r.odbcVersion >= 3 ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP;
      t.sqlType = SQL_DATETIME;
      t.datetimeSub = SQL_CODE_TIMESTAMP;
      break;
    case JDBC_BOOLEAN: t.odbc = t.sqlType = SQL_BIT; break;
    case JDBC_DATALINK: t.odbc = t.sqlType = SQL_VARCHAR; break;
    case JDBC_OTHER:
      // The type information has no size of such a type to go by, and a
      // column of it is described as long text unless its size bounds it.
      if (r.typeInfo ? f.size == 0 : (f.size <= 0 || unboundedText(f.size)))
        t.odbc = wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
      else
        t.odbc = wide ? SQL_WVARCHAR : SQL_VARCHAR;
      t.copyOctets = true;
      break;
    case JDBC_BLOB: t.odbc = t.sqlType = SQL_LONGVARBINARY; break;
    case JDBC_CLOB:
    case JDBC_SQLXML:
    case JDBC_NCLOB: t.odbc = wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR; break;
    case JDBC_JAVA_OBJECT:
    case JDBC_DISTINCT:  // without its base type
    case JDBC_STRUCT:
    case JDBC_ARRAY:
    case JDBC_REF:
      // Delivered as their text, whose length their size does not bound.
      AsText(&t, r, false);
      break;
    default:
      // ROWID, the types with a time zone and whatever a driver has of its
      // own are delivered as their text too. The type information lists
      // them where their columns are described, behind the server's own
      // text types (its order puts types under standard names first).
      AsText(&t, r, sized);
      break;
  }
  return t;
}

// Fractional-second digits of a date or time column: the decimal digits
// the driver gives, else what its size has beyond the seconds.
int32_t FractionDigits(const CatCell* digits, const CatCell* size, int32_t base) {
  if (digits != nullptr && !digits->IsNull() && digits->Int() >= 0)
    return std::min(digits->Int(), 9);
  if (size != nullptr && !size->IsNull() && size->Int() > base + 1)
    return std::min(size->Int() - base - 1, 9);
  return 0;
}

// The characters of a date or time value in ODBC's terms (10 for a date,
// 8 or 19 and the fraction with its point for a time or timestamp); 0 for
// other types.
int32_t DatetimeBase(int32_t odbc) {
  switch (odbc) {
    case SQL_DATE:
    case SQL_TYPE_DATE: return 10;
    case SQL_TIME:
    case SQL_TYPE_TIME: return 8;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP: return 19;
    default: return 0;
  }
}

// COLUMN_SIZE, DECIMAL_DIGITS and BUFFER_LENGTH of a date or time column
// as ODBC defines them, whatever the JDBC driver counted (PostgreSQL gives
// 13 for a date and 29 for a timestamp of six digits).
void DatetimeSizes(const CatTypeFields& f, int32_t odbc) {
  const int32_t base = DatetimeBase(odbc);
  if (base == 0) return;
  const int32_t s = base == 10 ? 0 : FractionDigits(f.decimalDigits, f.columnSize, base);
  if (f.columnSize != nullptr) f.columnSize->SetInt(s > 0 ? base + 1 + s : base);
  if (f.decimalDigits != nullptr && base != 10) f.decimalDigits->SetInt(s);
  // The size of the date, time or timestamp structure.
  if (f.bufferLength != nullptr) f.bufferLength->SetInt(base == 19 ? 16 : 6);
}

// A connection that delivers text in UTF-16 reports its text types in their
// wide form; asked for the narrow form (SQL_LONGVARCHAR) it answers with
// the same types under the type asked for, as an application that wants a
// column for long text finds none otherwise.
int32_t WideFormOf(int32_t narrow) {
  switch (narrow) {
    case SQL_CHAR: return SQL_WCHAR;
    case SQL_VARCHAR: return SQL_WVARCHAR;
    case SQL_LONGVARCHAR: return SQL_WLONGVARCHAR;
    default: return 0;
  }
}

bool TextType(int32_t odbc) {
  switch (odbc) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return true;
    default: return false;
  }
}

bool BinaryType(int32_t odbc) {
  return odbc == SQL_BINARY || odbc == SQL_VARBINARY || odbc == SQL_LONGVARBINARY;
}

// The sizes ODBC fixes for a number or truth value, whatever the server
// counts (HSQLDB and H2 give bits, PostgreSQL a float's round-trip digits):
// COLUMN_SIZE in decimal digits, the bytes of the C default type, and
// whether DECIMAL_DIGITS applies (0 for the integers, NULL for a truth
// value and the approximate types).
struct FixedNumber {
  int32_t odbc, size, octets;
  bool exact;
};
constexpr FixedNumber kFixedNumbers[] = {
    {SQL_BIT, 1, 1, false},     {SQL_TINYINT, 3, 1, true},  {SQL_SMALLINT, 5, 2, true},
    {SQL_INTEGER, 10, 4, true}, {SQL_BIGINT, 19, 8, true},  {SQL_REAL, 7, 4, false},
    {SQL_FLOAT, 15, 8, false},  {SQL_DOUBLE, 15, 8, false},
};

const FixedNumber* FixedNumberOf(int32_t odbc) {
  for (const FixedNumber& n : kFixedNumbers)
    if (n.odbc == odbc) return &n;
  return nullptr;
}

bool Absent(const CatCell* c) { return c->IsNull() || c->Holds(CAT_NO_VALUE32); }

// Money as its result column is described: 19 digits, 2 after the point.
void MoneySizes(const CatTypeFields& f) {
  constexpr int32_t kMoneyDigits = 19, kMoneyScale = 2;
  if (f.columnSize != nullptr) f.columnSize->SetInt(kMoneyDigits);
  if (f.decimalDigits != nullptr) f.decimalDigits->SetInt(kMoneyScale);
  if (f.bufferLength != nullptr) f.bufferLength->SetInt(kMoneyDigits + 2);
  if (f.radix != nullptr) f.radix->SetInt(10);
}

// A decimal column of no declared precision, sized as its result column is
// described.
void UnboundedNumeric(const CatTypeFields& f) {
  f.columnSize->SetInt(EXEC_UNBOUNDED_NUMERIC_PRECISION);
  if (f.decimalDigits != nullptr) f.decimalDigits->SetInt(EXEC_UNBOUNDED_NUMERIC_SCALE);
  if (f.bufferLength != nullptr) f.bufferLength->SetInt(EXEC_UNBOUNDED_NUMERIC_PRECISION + 2);
}

void FixedNumberFacts(const CatTypeFields& f, const FixedNumber& n) {
  if (f.columnSize != nullptr) f.columnSize->SetInt(n.size);
  if (f.bufferLength != nullptr) f.bufferLength->SetInt(n.octets);
  if (f.decimalDigits != nullptr) {
    if (n.exact)
      f.decimalDigits->SetInt(0);
    else
      f.decimalDigits->SetNull(true);
  }
  // The size counts decimal digits, so the radix says 10; a truth value
  // has none.
  if (f.radix != nullptr) {
    if (n.odbc == SQL_BIT)
      f.radix->SetNull(true);
    else
      f.radix->SetInt(10);
  }
}

bool LongType(int32_t odbc) {
  return odbc == SQL_LONGVARCHAR || odbc == SQL_WLONGVARCHAR || odbc == SQL_LONGVARBINARY;
}

// The column facts ODBC defines for every type where the JDBC driver leaves
// them out (BUFFER_LENGTH, which JDBC does not use), counts them otherwise
// (the octets of text delivered in UTF-16, the sizes of numbers) or gives
// them for a type they do not apply to (DECIMAL_DIGITS and NUM_PREC_RADIX
// of text, binary data and dates, which ODBC wants NULL).
void OdbcColumnFacts(const CatTypeFields& f, int32_t odbc) {
  if (const FixedNumber* n = FixedNumberOf(odbc)) {
    FixedNumberFacts(f, *n);
    return;
  }
  const bool text = TextType(odbc), binary = BinaryType(odbc);
  // Long data and binary data of no stated size (PostgreSQL's bytea
  // parameters) hold as much as long data does.
  if ((LongType(odbc) || binary) && f.columnSize != nullptr && f.columnSize->IsNull())
    f.columnSize->SetInt(kUnboundedSize);
  const bool sized = f.columnSize != nullptr && !f.columnSize->IsNull() && f.columnSize->Int() > 0;
  const int64_t size = sized ? f.columnSize->Int() : 0;
  // The octets the longest text takes, as the column's description answers;
  // a binary column's bytes are its size. Only character and binary data
  // have octets.
  if (text && sized) {
    const auto octets = static_cast<int32_t>(TextOctetLength(size));
    if (f.octetLength != nullptr) f.octetLength->SetInt(octets);
    if (f.bufferLength != nullptr) f.bufferLength->SetInt(octets);
  } else if (binary && sized && f.octetLength != nullptr) {
    f.octetLength->SetInt(static_cast<int32_t>(std::min<int64_t>(size, kUnboundedSize)));
  } else if (!text && !binary && f.octetLength != nullptr) {
    f.octetLength->SetInt(static_cast<int32_t>(CAT_NO_VALUE32));
  }
  if ((odbc == SQL_NUMERIC || odbc == SQL_DECIMAL) && f.columnSize != nullptr &&
      (f.columnSize->IsNull() || f.columnSize->Int() <= 0 ||
       f.columnSize->Int() > EXEC_UNBOUNDED_NUMERIC_PRECISION))
    UnboundedNumeric(f);
  if (f.bufferLength != nullptr && (binary ? sized : Absent(f.bufferLength))) {
    int32_t octets = 0;
    if (text && f.octetLength != nullptr && !Absent(f.octetLength))
      octets = f.octetLength->Int();
    else if ((text || binary) && sized)
      octets = static_cast<int32_t>(size);
    if (octets > 0) f.bufferLength->SetInt(octets);
  }
  const bool datetime = DatetimeBase(odbc) != 0;
  const bool notNumber = text || binary || odbc == SQL_GUID;
  if (f.decimalDigits != nullptr && (notNumber || DatetimeBase(odbc) == 10))
    f.decimalDigits->SetNull(true);
  if (f.radix != nullptr && (notNumber || datetime)) f.radix->SetNull(true);
}

// H2 gives an interval column the digits of its leading field as its size;
// the column is described, as the driver displays it, with the characters
// of its literal (INTERVAL '-11 23:59:59.999999' DAY TO SECOND): each field
// after the leading one takes three, a fraction its point and digits. 0 for
// a name that is no interval with its fields.
int32_t IntervalLiteralChars(const std::string& name, int32_t leading, int32_t fraction) {
  static constexpr const char* kFields[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
  constexpr size_t kPrefix = 9;  // "INTERVAL "
  if (name.size() <= kPrefix || strncasecmp(name.c_str(), "INTERVAL ", kPrefix) != 0) return 0;
  const std::string fields = name.substr(kPrefix);
  const size_t to = fields.find(" TO ");
  const std::string first = fields.substr(0, to);
  const std::string last = to == std::string::npos ? first : fields.substr(to + 4);
  const auto* end = std::end(kFields);
  const auto* f = std::find(std::begin(kFields), end, first);
  const auto* l = std::find(std::begin(kFields), end, last);
  if (f == end || l == end || l < f) return 0;
  const int32_t seconds = last == "SECOND" && fraction > 0 ? fraction + 1 : 0;
  // INTERVAL '-...' fields: the words, the quotes, the sign and two blanks.
  return static_cast<int32_t>(kPrefix + 4 + fields.size()) + leading +
         3 * static_cast<int32_t>(l - f) + seconds;
}

// An interval column's size as its description gives it; its octets follow
// from that size.
void IntervalSize(const CatTypeFields& f, int32_t jdbcType, const std::string& name) {
  if (jdbcType != JDBC_OTHER || f.columnSize == nullptr || f.columnSize->IsNull()) return;
  const int32_t fraction =
      f.decimalDigits != nullptr && !f.decimalDigits->IsNull() ? f.decimalDigits->Int() : 0;
  const int32_t chars = IntervalLiteralChars(name, f.columnSize->Int(), fraction);
  if (chars <= 0) return;
  f.columnSize->SetInt(chars);
  for (const CatCell* c : {f.bufferLength, f.octetLength})
    if (c != nullptr) c->SetInt(static_cast<int32_t>(CAT_NO_VALUE32));
}

}  // namespace

int32_t catOdbcType(int32_t jdbcType, const CatTypeRules& r, bool unsized) {
  RowFacts f;
  f.unsized = unsized;
  return RuleFor(jdbcType, r, f).odbc;
}

int16_t catTypeKey(int32_t sqlType) {
  switch (sqlType) {
    case SQL_DATE: return 91;
    case SQL_TIME: return 92;
    case SQL_TIMESTAMP: return 93;
    case SQL_WCHAR: return SQL_CHAR;
    case SQL_WVARCHAR: return SQL_VARCHAR;
    case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
    default: return static_cast<int16_t>(sqlType);
  }
}

void catFixType(const CatTypeFields& f, const CatTypeRules& r) {
  if (f.dataType == nullptr) return;
  const std::string name = f.typeName != nullptr ? f.typeName->Ascii() : std::string();
  if (!r.typeInfo) IntervalSize(f, f.dataType->Int(), name);
  // The JDBC driver's own octet length, for a text type whose buffer length
  // it leaves out (most do: JDBC does not use that column).
  const bool gaveOctets =
      f.octetLength != nullptr && !f.octetLength->IsNull() && !f.octetLength->Holds(CAT_NO_VALUE32);
  const int32_t jdbcOctets = gaveOctets ? f.octetLength->Int() : 0;
  if (f.datetimeSub != nullptr) f.datetimeSub->SetInt(static_cast<int32_t>(CAT_NO_VALUE16));
  if (f.octetLength != nullptr) f.octetLength->SetInt(static_cast<int32_t>(CAT_NO_VALUE32));

  RowFacts facts;
  facts.unsized = f.columnSize != nullptr && !f.columnSize->IsNull() && f.columnSize->Int() == 0;
  const CatCell* sizeCell = f.sizeFact != nullptr ? f.sizeFact : f.columnSize;
  facts.size = sizeCell != nullptr && !sizeCell->IsNull() ? sizeCell->Int() : -1;
  facts.name = name.c_str();
  const TypeRule t = RuleFor(f.dataType->Int(), r, facts);

  f.dataType->SetInt(t.odbc);
  if (t.decimalName && f.typeName != nullptr) f.typeName->SetText("decimal");
  if (t.sizeRule && f.columnSize != nullptr)
    f.columnSize->SetInt(r.longVarcharToVarchar == 0 ? kUnlimitedVarchar : r.longVarcharToVarchar);
  if (t.unboundedSize && f.columnSize != nullptr) f.columnSize->SetInt(kUnboundedSize);
  if (t.guidSize && f.columnSize != nullptr) f.columnSize->SetInt(kGuidChars);
  // Its buffer is SQL_C_GUID's structure.
  if (t.guidSize && f.bufferLength != nullptr) f.bufferLength->SetInt(kGuidBytes);
  if (t.guidSize && f.decimalDigits != nullptr) f.decimalDigits->SetNull(true);
  if (t.money) MoneySizes(f);
  DatetimeSizes(f, t.odbc);
  if (t.bufferFromSize && f.bufferLength != nullptr && f.columnSize != nullptr &&
      !f.columnSize->IsNull() &&
      (f.bufferLength->IsNull() || f.bufferLength->Holds(CAT_NO_VALUE32))) {
    f.bufferLength->SetInt(f.columnSize->Int() + 2);
  }
  // ODBC wants DATA_TYPE repeated in SQL_DATA_TYPE but for the datetime and
  // interval types, whatever code of its own the JDBC driver put there
  // (HSQLDB gives 60 for BINARY).
  if (f.sqlDataType != nullptr && t.odbc != 0)
    f.sqlDataType->SetInt(t.sqlType != 0 ? t.sqlType : t.odbc);
  if (t.datetimeSub >= 0 && f.datetimeSub != nullptr) f.datetimeSub->SetInt(t.datetimeSub);
  if (t.copyOctets && f.octetLength != nullptr) {
    if (f.bufferLength != nullptr && !f.bufferLength->IsNull() &&
        !f.bufferLength->Holds(CAT_NO_VALUE32))
      f.octetLength->SetInt(f.bufferLength->Int());
    else if (gaveOctets)
      f.octetLength->SetInt(jdbcOctets);
  }
  if (!r.typeInfo) OdbcColumnFacts(f, t.odbc);
}

CatTypeRules catTypeRulesOf(const JdbcStmt* s) {
  CatTypeRules r;
  r.wide = s->wide;
  if (const JdbcConn* c = s->conn) {
    r.jet = c->settings.jet;
    r.odbcVersion = c->odbcVersion;
    r.longVarcharToVarchar = c->settings.longVarcharToVarchar;
  }
  return r;
}

bool catTypeInfoWanted(const JdbcStmt* s, int32_t jdbcType, const char* typeName, int64_t size) {
  if (s->requestedType == 0) return true;
  // The row is compared in the form it will be reported in; the date and
  // time codes of both ODBC versions ask for the same rows, and a narrow
  // text type the rows of its wide form on a wide connection (never the
  // other way round).
  auto dateForm = [](int32_t t) {
    return t >= SQL_TYPE_DATE && t <= SQL_TYPE_TIMESTAMP ? t - (SQL_TYPE_DATE - SQL_DATE) : t;
  };
  RowFacts f;
  f.name = typeName != nullptr ? typeName : "";
  f.size = size;
  CatTypeRules r = catTypeRulesOf(s);
  r.typeInfo = true;
  const int32_t reported = RuleFor(jdbcType, r, f).odbc;
  return dateForm(reported) == dateForm(s->requestedType) ||
         (r.wide != 0 && reported != 0 && reported == WideFormOf(s->requestedType));
}

namespace {

void AsRequested(const JdbcStmt* s, const CatCell& type, const CatCell& sqlType) {
  const int32_t wideForm = WideFormOf(s->requestedType);
  if (s->wide == 0 || wideForm == 0 || type.Int() != wideForm) return;
  type.SetInt(s->requestedType);
  sqlType.SetInt(s->requestedType);
}

// The fractional-second digits of the type information's date or time
// row: its largest scale, else what its size has beyond the seconds (or,
// as PostgreSQL's driver gives it, the digits alone), else `otherwise`.
int32_t LargestFraction(const CatCell& size, const CatCell& maxScale, int32_t base,
                        int32_t otherwise) {
  if (!maxScale.IsNull() && maxScale.Int() > 0) return std::min(maxScale.Int(), 9);
  const int32_t v = size.IsNull() ? 0 : size.Int();
  if (v == base) return 0;
  if (v > base + 1) return std::min(v - base - 1, 9);
  if (v >= 1 && v <= 9) return v;
  return otherwise;
}

// COLUMN_SIZE and the scales of a type information row in ODBC's terms.
// A timestamp whose driver tells nothing holds what JDBC's Timestamp holds,
// nanoseconds; a time value travels without a fraction.
void TypeInfoSizes(const CatCell& type, const CatCell& size, const CatCell& minScale,
                   const CatCell& maxScale) {
  const int32_t odbc = type.Int();
  const int32_t base = DatetimeBase(odbc);
  if (odbc == SQL_GUID) {
    size.SetInt(kGuidChars);
  } else if (base == 10) {
    size.SetInt(base);
  } else if (base != 0) {
    const int32_t s = LargestFraction(size, maxScale, base, base == 19 ? 9 : 0);
    size.SetInt(s > 0 ? base + 1 + s : base);
    minScale.SetInt(0);
    maxScale.SetInt(s);
  } else if ((odbc == SQL_LONGVARCHAR || odbc == SQL_WLONGVARCHAR || odbc == SQL_LONGVARBINARY) &&
             (size.IsNull() || size.Int() <= 0)) {
    size.SetInt(kUnboundedSize);
  }
}

}  // namespace

void catFixTypeInfoRow(const JdbcStmt* s, const CatCell& type, const CatCell& sqlType,
                       const CatCell& size, const CatCell& minScale, const CatCell& maxScale) {
  AsRequested(s, type, sqlType);
  TypeInfoSizes(type, size, minScale, maxScale);
}

void catFillTypeInfoGaps(int32_t jdbcType, const CatCell& type, const CatCell& size,
                         const CatCell& createParams) {
  const int32_t odbc = type.Int();
  // The column sizes a result column of the type is described with.
  int32_t fixed = 0;
  switch (odbc) {
    case SQL_BIT: fixed = 1; break;
    case SQL_TINYINT: fixed = 3; break;
    case SQL_SMALLINT: fixed = 5; break;
    case SQL_INTEGER: fixed = 10; break;
    case SQL_BIGINT: fixed = 19; break;
    case SQL_REAL: fixed = 7; break;
    case SQL_FLOAT:
    case SQL_DOUBLE: fixed = 15; break;
    default: break;
  }
  const bool unsized = size.IsNull() || size.Int() <= 0;
  if (fixed != 0 && unsized) size.SetInt(fixed);
  // Binary data of no stated bound (PostgreSQL's bytea) holds as much as
  // long data does.
  if (unsized && (odbc == SQL_BINARY || odbc == SQL_VARBINARY)) size.SetInt(kUnboundedSize);
  // Only the types that take these in their own right: PostgreSQL's
  // interval is delivered as text but takes no length.
  if (!createParams.IsNull() ||
      (!ShortText(jdbcType) && jdbcType != JDBC_NUMERIC && jdbcType != JDBC_DECIMAL))
    return;
  switch (odbc) {
    case SQL_CHAR:
    case SQL_WCHAR: createParams.SetText("length"); break;
    case SQL_VARCHAR:
    case SQL_WVARCHAR: createParams.SetText("max length"); break;
    case SQL_DECIMAL:
    case SQL_NUMERIC: createParams.SetText("precision,scale"); break;
    default: break;
  }
}

namespace {

// PostgreSQL's JDBC driver gives its interval type the seconds' digits as
// its size; a column of the type is described with the characters of the
// longest interval's text.
constexpr int32_t kPgIntervalChars = 49;

bool ExactNumber(int32_t odbc) {
  const FixedNumber* n = FixedNumberOf(odbc);
  return (n != nullptr && n->exact) || odbc == SQL_DECIMAL || odbc == SQL_NUMERIC;
}

}  // namespace

void catTypeInfoFacts(int32_t jdbcType, const char* name, const CatTypeInfoCells& c) {
  const int32_t odbc = c.type->Int();
  const FixedNumber* n = FixedNumberOf(odbc);
  if (n != nullptr) c.size->SetInt(n->size);
  if ((odbc == SQL_CHAR || odbc == SQL_WCHAR) && !c.size->IsNull() && c.size->Int() <= 0)
    c.size->SetInt(1);  // PostgreSQL's "char", one byte
  if (jdbcType == JDBC_OTHER && strcasecmp(name, "interval") == 0) c.size->SetInt(kPgIntervalChars);
  const bool exact = ExactNumber(odbc), approximate = n != nullptr && !n->exact && odbc != SQL_BIT;
  // Sizes count decimal digits, as SQLColumns gives them.
  if (exact || approximate)
    c.radix->SetInt(10);
  else
    c.radix->SetNull(true);
  // No server has an unsigned float (PostgreSQL's money is one).
  if (approximate)
    c.unsignedAttr->SetInt(0);
  else if (!exact)
    c.unsignedAttr->SetNull(true);
  // A scale applies to exact numbers and to times with a fraction.
  const int32_t base = DatetimeBase(odbc);
  if (!exact && (base == 0 || base == 10)) {
    c.minScale->SetNull(true);
    c.maxScale->SetNull(true);
  }
}
