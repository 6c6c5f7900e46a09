// Result-column descriptions from ResultSetMetaData: the SQL type, sizes and
// row-buffer shape of every column.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-sql.h"
#include "drv_jdbc/j-sqltypes.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap.h"

namespace {

// Long data whose JDBC driver gives no bound: as much as a 32-bit length holds.
constexpr int64_t kLongSize = 0x7FFFFFFF;
constexpr int64_t kLongWideDisplay = 0x3FFFFFFD;  // WLONGVARCHAR as VARCHAR (PLCHR2VCHR 0)
// The row buffer's room for one character of a column; text carries its
// length there, as it may hold U+0000. A database that
// counts code points (PostgreSQL) fills a column with characters outside
// the BMP: two UTF-16 units each, and in the 8-bit row buffer three bytes
// for each unit, as JNI's modified UTF-8 writes a surrogate.
constexpr int64_t kRowUnitsPerChar = 2;
constexpr int64_t kRowBytesPerChar = 6;
constexpr int64_t kGuidChars = 36;   // 8-4-4-4-12 hexadecimal digits
constexpr int64_t kOffsetChars = 9;  // a time zone's offset, "+hh:mm:ss" at most
// The widest text of a numeric without a declared precision: PostgreSQL's
// 131072 digits before the point and 16383 after it, the point and a sign
// (its driver gives a display size short of that).
constexpr int64_t kWidestNumericText = 131072 + 16383 + 2;
constexpr uint32_t kMoneyDigits = 19;
constexpr uint16_t kMoneyScale = 2;

uint32_t ToU32(int64_t v) {
  if (v < 0) return 0;
  return v > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

}  // namespace

DescribeRules describeRulesOf(const JdbcStmt* s) {
  DescribeRules r;
  r.wide = s->wide;
  if (const JdbcConn* c = s->conn) {
    r.odbcVersion = c->odbcVersion;
    r.teradata = c->teradata;
    r.longVarcharToVarchar = c->settings.longVarcharToVarchar;
    r.nullSizeOfChar = c->settings.nullSizeOfChar;
    r.negPrecFix = c->settings.negPrecFix;
    r.jet = c->settings.jet;
  }
  return r;
}

int32_t sqlTypeOfJava(int32_t javaType, int32_t precision, uint32_t wide, int32_t displaySize) {
  const int32_t longText = wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
  const int32_t text = wide ? SQL_WVARCHAR : SQL_VARCHAR;
  switch (javaType) {
    case JDBC_BLOB: return SQL_LONGVARBINARY;
    case JDBC_CLOB:
    case JDBC_SQLXML:
    case JDBC_NCLOB:
    case JDBC_LONGNVARCHAR:
    case JDBC_LONGVARCHAR: return longText;
    case JDBC_X_DATETIMEOFFSET:
    case JDBC_DATALINK: return SQL_VARCHAR;
    case JDBC_X_VARIANT: return SQL_BINARY;
    case JDBC_NCHAR:
    case JDBC_CHAR: return wide ? SQL_WCHAR : SQL_CHAR;
    case JDBC_NVARCHAR:
    case JDBC_VARCHAR: return text;
    case JDBC_BOOLEAN: return SQL_BIT;
    case JDBC_BIT:
      // A string of several bits (PostgreSQL's bit(n), HSQLDB's BIT(n)) is
      // no truth value: its text keeps every bit.
      return precision > 1 ? text : SQL_BIT;
    case JDBC_TINYINT: return SQL_TINYINT;
    case JDBC_BIGINT: return SQL_BIGINT;
    case JDBC_LONGVARBINARY: return SQL_LONGVARBINARY;
    case JDBC_VARBINARY: return SQL_VARBINARY;
    case JDBC_BINARY: return SQL_BINARY;
    case JDBC_NUMERIC: return SQL_NUMERIC;
    case JDBC_DECIMAL: return SQL_DECIMAL;
    case JDBC_INTEGER: return SQL_INTEGER;
    case JDBC_SMALLINT: return SQL_SMALLINT;
    case JDBC_FLOAT: return SQL_FLOAT;
    case JDBC_REAL: return SQL_REAL;
    case JDBC_DOUBLE: return SQL_DOUBLE;
    case JDBC_DATE: return SQL_TYPE_DATE;
    case JDBC_TIME: return SQL_TYPE_TIME;
    case JDBC_TIMESTAMP: return SQL_TYPE_TIMESTAMP;
    case JDBC_JAVA_OBJECT:
    case JDBC_DISTINCT:
    case JDBC_STRUCT:
    case JDBC_ARRAY:
    case JDBC_REF:
      // No ODBC type holds these, and their size says nothing about the
      // length of their text.
      return longText;
    default:
      // OTHER, ROWID, the types with a time zone and whatever a driver has
      // of its own: text, as long as the size the driver gives.
      return precision != 0 || displaySize != 0 ? text : longText;
  }
}

bool unboundedText(int64_t size) { return size >= EXEC_UNBOUNDED_TEXT; }

bool unboundedNumeric(int64_t precision, int64_t displaySize) {
  return precision == 0 && displaySize > EXEC_UNBOUNDED_NUMERIC_PRECISION + 2;
}

void describeColumnType(const ColumnFacts& f, const DescribeRules& r, JdbcColDesc* d) {
  if (f.money) {
    // An exact amount, however the JDBC driver files it: as many digits as
    // a 64-bit count of cents, delivered as its decimal text (counted: text
    // of another form may be longer, and is never cut without a word).
    d->sql_type = d->delivered_type = SQL_DECIMAL;
    d->precision = kMoneyDigits;
    d->scale = kMoneyScale;
    d->display_size = kMoneyDigits + 2;
    d->value_type = COLSET_VT_CHAR32;
    d->elem_len = kMoneyDigits + 3;
    return;
  }
  int32_t type = f.guid ? SQL_GUID : sqlTypeOfJava(f.javaType, f.precision, r.wide, f.displaySize);
  // Text without a useful bound (PostgreSQL's text, json, uuid; H2's
  // VARCHAR) is long text: an application sizes a VARCHAR's buffer by its
  // column size, and a long column's by what it means to read.
  const bool shortText =
      type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_WCHAR || type == SQL_WVARCHAR;
  if (shortText && unboundedText(std::max<int64_t>(f.precision, f.displaySize)))
    type = r.wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
  int32_t described = type;
  int32_t delivered = type;
  int64_t p = f.precision;
  int64_t scale = f.scale;
  int64_t display = 0;
  uint32_t code = COLSET_VT_NTS;
  int64_t elem = 0;

  // Character columns: the precision when it is usable, else the display
  // size (PNSOSC stands in for a display size of 0).
  auto charSizing = [&]() {
    int64_t ds = f.displaySize;
    if (ds == 0) ds = r.nullSizeOfChar;
    const bool usePrecision = p != 0 && p >= ds && (r.negPrecFix == 0 || p >= 1);
    if (!usePrecision) p = ds;
    if (p < 0) p = 0;
    display = p;
    scale = 0;
  };
  // The binary length is the precision (HSQLDB's UUID: 16 bytes, whose
  // display size 36 is its text's); half the display size (two hexadecimal
  // digits a byte) only where the driver gives no precision.
  auto binarySize = [&]() -> int64_t {
    const int64_t ds = f.displaySize;
    if (r.teradata != 0) return ds;
    return p > 0 ? p : ds / 2;
  };
  auto longDisplay = [&]() -> int64_t {
    return r.longVarcharToVarchar >= 1 ? r.longVarcharToVarchar : kLongWideDisplay;
  };
  // Long data is as long as its JDBC precision says (CLOB(1000), PostgreSQL's
  // text), the size its catalog row gives too; a type whose size is no
  // length (an ARRAY's) or none given is unbounded.
  auto longSize = [&]() -> int64_t {
    const bool sizeIsLength = f.javaType != JDBC_ARRAY && f.javaType != JDBC_STRUCT &&
                              f.javaType != JDBC_JAVA_OBJECT && f.javaType != JDBC_DISTINCT &&
                              f.javaType != JDBC_REF;
    return sizeIsLength && f.precision > 0 ? std::min<int64_t>(f.precision, kLongSize) : kLongSize;
  };

  switch (type) {
    case SQL_WLONGVARCHAR:
      display = longSize();
      if (r.longVarcharToVarchar >= 0) {
        delivered = SQL_WVARCHAR;
        display = longDisplay();
      }
      code = COLSET_VT_LONGWCHAR;
      p = display;
      break;
    case SQL_WVARCHAR:
    case SQL_WCHAR:
      charSizing();
      if (p > EXEC_INLINE_LIMIT) {
        code = COLSET_VT_LONGWCHAR;
      } else {
        code = COLSET_VT_WCHAR32;
        elem = p * kRowUnitsPerChar + 1;
      }
      break;
    // The integer and floating types have the column sizes ODBC fixes for
    // them, whatever precision the database reports (some count bits).
    case SQL_BIT:
      p = 1;
      display = 1;
      scale = 0;
      code = COLSET_VT_BIT;
      elem = 1;
      break;
    case SQL_TINYINT:  // delivered as a 16-bit value
      p = 3;
      display = 4;
      scale = 0;
      code = COLSET_VT_SMALLINT;
      elem = 2;
      break;
    case SQL_BIGINT:
      // Nineteen digits and a sign.
      p = 19;
      display = 20;
      scale = 0;
      elem = std::max<int64_t>(p + 3, static_cast<int64_t>(f.displaySize) + 1);
      if (r.jet != 0) delivered = SQL_DECIMAL;
      code = COLSET_VT_NTS;
      break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      if (p > 0 || (p < 0 && r.negPrecFix == 0)) {
        display = std::max<int64_t>(p + 2, 0);
        // Room for the sign, the point, the digits and a leading zero (when
        // the scale equals the precision) besides the NUL.
        elem = std::max<int64_t>(p + 3, static_cast<int64_t>(f.displaySize) + 1);
        if (p < 0) p = 0;
      } else if (unboundedNumeric(p, f.displaySize)) {
        p = EXEC_UNBOUNDED_NUMERIC_PRECISION;
        scale = EXEC_UNBOUNDED_NUMERIC_SCALE;
        display = p + 2;
        // The row buffer keeps room for all the text the database may write.
        elem = std::max<int64_t>(f.displaySize, kWidestNumericText) + 1;
      } else {
        p = type == SQL_BIGINT ? f.displaySize : f.displaySize - 2;
        if (p < 0) p = 0;
        display = std::max<int64_t>(f.displaySize, 0);
        elem = display + 1;
      }
      if (r.jet != 0 && (type == SQL_BIGINT || type == SQL_NUMERIC)) delivered = SQL_DECIMAL;
      code = COLSET_VT_NTS;
      break;
    case SQL_LONGVARBINARY:
      display = longSize();
      p = display;
      code = COLSET_VT_LONGBINARY;
      break;
    case SQL_VARBINARY:
    case SQL_BINARY: {
      const int64_t b = std::max<int64_t>(binarySize(), 0);
      display = 2 * b;
      p = b;
      if (b > EXEC_INLINE_LIMIT) {
        code = COLSET_VT_LONGBINARY;
      } else if (type == SQL_VARBINARY) {
        code = COLSET_VT_BINARY32;
        elem = b + 4;
      } else {
        code = COLSET_VT_BINARY;
        elem = b;
      }
      break;
    }
    case SQL_LONGVARCHAR:
      display = longSize();
      if (r.longVarcharToVarchar >= 0) {
        delivered = SQL_VARCHAR;
        display = longDisplay();
      }
      p = display;
      code = COLSET_VT_LONGCHAR;
      break;
    case SQL_CHAR:
    case SQL_VARCHAR:
      charSizing();
      if (p > EXEC_INLINE_LIMIT) {
        code = COLSET_VT_LONGCHAR;
      } else {
        code = COLSET_VT_CHAR32;
        elem = p * kRowBytesPerChar + 1;
      }
      break;
    case SQL_GUID:
      // Delivered as its text.
      p = display = kGuidChars;
      scale = 0;
      code = COLSET_VT_NTS;
      elem = kGuidChars + 1;
      break;
    case SQL_INTEGER:
      p = 10;
      display = 11;
      scale = 0;
      code = COLSET_VT_INTEGER;
      elem = 4;
      break;
    case SQL_SMALLINT:
      p = 5;
      display = 6;
      scale = 0;
      code = COLSET_VT_SMALLINT;
      elem = 2;
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      // Decimal digits, as the catalog gives them; a float has no scale.
      p = 15;
      display = 24;
      scale = 0;
      code = COLSET_VT_DOUBLE;
      elem = 8;
      break;
    case SQL_REAL:
      p = 7;
      display = 15;  // the nine digits a REAL needs to read back, its sign, point and exponent
      scale = 0;
      code = COLSET_VT_REAL;
      elem = 4;
      break;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      display = 10;
      p = 10;
      code = COLSET_VT_DATE;
      elem = 6;
      described = delivered = r.odbcVersion == 3 ? SQL_TYPE_DATE : SQL_DATE;
      break;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      display = scale >= 1 ? scale + 9 : 8;
      // A time with a zone (PostgreSQL's timetz) reads with its offset,
      // seconds included where a zone's local mean time has them; the JDBC
      // driver tells it by a display size larger than a plain time's.
      if (f.displaySize > display) display += kOffsetChars;
      if (scale < 1) scale = 0;
      p = display;
      code = COLSET_VT_TIME;
      elem = 12;
      described = delivered = r.odbcVersion == 3 ? SQL_TYPE_TIME : SQL_TIME;
      break;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      display = scale >= 1 ? scale + 20 : 19;
      if (scale < 1) scale = 0;
      p = display;
      // The column size stays ODBC's for the type, which the catalog gives
      // too; the text of a timestamptz has its offset behind.
      if (f.zoned) display += kOffsetChars;
      code = COLSET_VT_TIMESTAMP;
      elem = 16;
      described = delivered = r.odbcVersion == 3 ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP;
      break;
    default:
      // Anything else travels as text as long as its precision, or its
      // display size when it reports no precision.
      if (p < 1) p = std::max<int64_t>(f.displaySize, 0);
      display = p;
      code = COLSET_VT_NTS;
      elem = p + 1;
      break;
  }
  d->sql_type = static_cast<int16_t>(described);
  d->delivered_type = delivered;
  d->precision = ToU32(p);
  d->scale = static_cast<uint16_t>(std::clamp<int64_t>(scale, 0, 0xFFFF));
  d->display_size = ToU32(display);
  d->value_type = code;
  d->elem_len = ToU32(elem);
}

namespace jexec {

namespace {

// Whether the database names column col's type `want` (in any case); a
// failure to tell is cleared and answers false.
bool TypeNamed(JdbcStmt* s, jobject md, int32_t col, const char* want) {
  char* name = nullptr;
  bool same = false;
  if (ResultSetMetaData::getColumnTypeName(s, md, col, &name) == 0)
    same = name != nullptr && strcasecmp(name, want) == 0;
  else
    errClear(&s->errors);
  std::free(name);
  return same;
}

}  // namespace

uint32_t ReadColumnShape(JdbcStmt* s, jobject md, int32_t col, ColumnFacts* f, char** label) {
  uint32_t rc = ResultSetMetaData::getColumnType(s, md, col, &f->javaType);
  if (rc == 0) rc = ResultSetMetaData::getColumnDisplaySize(s, md, col, &f->displaySize);
  if (rc == 0 && ResultSetMetaData::getScale(s, md, col, &f->scale) != 0) {
    errClear(&s->errors);
    f->scale = 0;
  }
  if (rc == 0 && ResultSetMetaData::getPrecision(s, md, col, &f->precision) != 0) {
    errClear(&s->errors);
    f->precision = 0;
  }
  // PostgreSQL's uuid comes as OTHER and its money as DOUBLE; only their
  // names tell them apart.
  if (rc == 0 && f->javaType == JDBC_OTHER) f->guid = TypeNamed(s, md, col, "uuid");
  if (rc == 0 && f->javaType == JDBC_DOUBLE && PgTypeNames(s))
    f->money = TypeNamed(s, md, col, "money");
  if (rc == 0 && f->javaType == JDBC_TIMESTAMP && PgTypeNames(s))
    f->zoned = TypeNamed(s, md, col, "timestamptz");
  if (rc == 0) rc = ResultSetMetaData::getColumnLabel(s, md, col, label);
  return rc;
}

bool PgTypeNames(const JdbcStmt* s) {
  return s->conn != nullptr && (s->conn->sqlForms & SQLLEX_POSTGRESQL) != 0;
}

namespace {

// The table a column comes from and its schema, as the driver names them
// (an expression's column has none). A driver that cannot tell leaves them
// out; only memory running out fails.
uint32_t ReadColumnSource(JdbcStmt* s, jobject md, int32_t col, JdbcColDesc* d) {
  using Reader = uint32_t (*)(JdbcStmt*, jobject, int32_t, char**);
  const struct {
    Reader read;
    unsigned which;
  } sources[] = {{ResultSetMetaData::getTableName, COLDESC_TABLE},
                 {ResultSetMetaData::getSchemaName, COLDESC_SCHEMA}};
  for (const auto& src : sources) {
    char* name = nullptr;
    if (src.read(s, md, col, &name) != 0) {
      errClear(&s->errors);
      continue;
    }
    const int rc = name != nullptr && name[0] != '\0' ? ColDescSetText(d, src.which, name) : 0;
    std::free(name);
    if (rc != 0) return ERR_NO_MEMORY;
  }
  return 0;
}

// A table's column whose driver names no catalog (PostgreSQL's names none)
// is in the connection's current one; a source without catalogs answers
// none, and the column keeps none. Only memory running out fails.
uint32_t NameCatalogs(JdbcStmt* s) {
  JdbcConn* c = s->conn;
  bool asked = false;
  std::string catalog;
  for (uint16_t i = 0; c != nullptr && i < s->colCount; ++i) {
    JdbcColDesc* d = &s->cols[i];
    const char* table = ColDescText(d, COLDESC_TABLE);
    const char* named = ColDescText(d, COLDESC_CATALOG);
    if (table == nullptr || table[0] == '\0' || (named != nullptr && named[0] != '\0')) continue;
    if (!asked) {
      asked = true;
      char buf[512] = "";
      c->jniEnv = s->jniEnv;
      if (Connection::getCatalog(c, c->connection, buf, sizeof buf) == 0) catalog = buf;
      errClear(&c->errors);  // the question was ours, not the application's
    }
    if (catalog.empty()) return 0;
    if (ColDescSetText(d, COLDESC_CATALOG, catalog.c_str()) != 0) return ERR_NO_MEMORY;
  }
  return 0;
}

}  // namespace

uint32_t UpdatableOf(bool readOnly, bool fromTable) {
  return readOnly || !fromTable ? SQL_ATTR_READONLY : SQL_ATTR_READWRITE_UNKNOWN;
}

void FinishColumn(const ColumnFacts& f, const DescribeRules& rules, int32_t nullable, bool readOnly,
                  JdbcColDesc* d) {
  describeColumnType(f, rules, d);
  d->flags = static_cast<uint32_t>(nullable) & COLDESC_NULLABLE_MASK;
  const char* table = ColDescText(d, COLDESC_TABLE);
  const bool fromTable = table != nullptr && table[0] != '\0';
  // The description's code counts from 1 (0: not set).
  ColDescSetUpdatable(d, UpdatableOf(readOnly, fromTable) + 1);
  if (f.money) d->flags |= EXEC_COLDESC_MONEY;
}

uint32_t DescribeFrom(JdbcStmt* s, jobject md, char mode, std::vector<ColumnShape>* shapes) {
  JNIEnv* env = s->jniEnv;
  if (s->rsMetaData != nullptr) env->DeleteGlobalRef(s->rsMetaData);
  s->rsMetaData = env->NewGlobalRef(md);
  jexec::FreeColDescs(s);
  if (DescribeInOneCall(s, md, shapes)) return NameCatalogs(s);
  int32_t n = 0;
  if (uint32_t rc = ResultSetMetaData::getColumnCount(s, md, &n)) {
    if (mode != 'P') return rc;
    if (s->conn != nullptr) s->conn->describeAtPrepare = 0;
    errClear(&s->errors);
    return 0;
  }
  if (n <= 0) return 0;
  const uint16_t count = static_cast<uint16_t>(std::min<int32_t>(n, 0xFFFF));
  JdbcColDesc* descs = ColDescAlloc(count);
  if (descs == nullptr) return ERR_NO_MEMORY;
  const DescribeRules rules = describeRulesOf(s);
  for (uint16_t i = 0; i < count; ++i) {
    const int32_t col = i + 1;
    ColumnFacts f;
    int32_t nullable = 0;
    uint8_t readOnly = 0;
    char* label = nullptr;
    uint32_t rc = ReadColumnShape(s, md, col, &f, &label);
    if (rc == 0) rc = ResultSetMetaData::isNullable(s, md, col, &nullable);
    if (rc == 0) rc = ResultSetMetaData::isReadOnly(s, md, col, &readOnly);
    if (rc == 0 && ColDescSetName(&descs[i], label) != 0) rc = ERR_NO_MEMORY;
    if (rc == 0) rc = ReadColumnSource(s, md, col, &descs[i]);
    if (rc == 0 && shapes != nullptr) shapes->push_back(ColumnShape{f, label});
    std::free(label);
    if (rc != 0) {
      ColDescFree(descs, count);
      return rc;
    }
    FinishColumn(f, rules, nullable, readOnly != 0, &descs[i]);
  }
  s->cols = descs;
  s->colCount = count;
  stmtColsReplaced(s);
  s->flags |= STMT_COLS_DESCRIBED;
  return NameCatalogs(s);
}

}  // namespace jexec

namespace {

using jexec::DescribeFrom;

// For a JDBC driver that describes nothing before execution: the SELECT
// runs once for the metadata of its result, whose rows are closed unread.
// They are never served: the database may change before the execute, which
// runs the statement again.
uint32_t DescribeByRunning(JdbcStmt* s) {
  uint8_t isResultSet = 0;
  jobject rs = nullptr;
  uint32_t rc = PreparedStatement::execute(s, s->statement, &isResultSet);
  if (rc == 0) rc = PreparedStatement::getResultSet(s, s->statement, &rs);
  if (rc != 0 || rs == nullptr) return rc;
  jobject md = nullptr;
  rc = ResultSet::getMetaData(s, rs, &md);
  if (rc == 0 && md != nullptr) rc = DescribeFrom(s, md, 'E', nullptr);
  if (ResultSet::close(s, rs) != 0 && rc == 0) errClear(&s->errors);
  JC_DeleteLocal(s->jniEnv, rs);
  return rc;
}

}  // namespace

uint32_t buildColDescs(JdbcStmt* s, char mode) {
  if (mode == 'P') {
    if (s->statement == nullptr) return 0;
    JdbcConn* c = s->conn;
    const bool select = s->kind == STMT_KIND_SELECT;
    if (c != nullptr && c->describeAtPrepare != 0) {
      jobject md = nullptr;
      const uint32_t rc = PreparedStatement::getMetaData(s, s->statement, &md);
      if (md != nullptr) {
        if (uint32_t r = DescribeFrom(s, md, 'P', nullptr)) return r;
      } else {
        // A driver that describes no SELECT before execution will not
        // describe the next one either. A failure may be this statement's
        // own (a missing table): the run below reports it.
        if (select && rc == 0) c->describeAtPrepare = 0;
        errClear(&s->errors);
      }
    }
    if (select && (s->textFlags & STMT_TEXT_MARKERS) == 0 &&
        (s->flags & STMT_COLS_DESCRIBED) == 0) {
      return DescribeByRunning(s);
    }
    return 0;
  }
  if (s->resultSet == nullptr) return 0;
  jobject md = nullptr;
  if (uint32_t rc = ResultSet::getMetaData(s, s->resultSet, &md)) return rc;
  if (md == nullptr) return 0;
  return DescribeFrom(s, md, 'E', nullptr);
}
