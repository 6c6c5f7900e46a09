// SQLNumResultCols, SQLDescribeCol, SQLColAttribute and the ODBC 2
// SQLColAttributes, answered from the statement's result description.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "driver/coldesc.h"
#include "driver/coldesc_ops.h"
#include "driver/descfield.h"
#include "driver/ops.h"
#include "driver/trace.h"
#include "util/copyout.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"
#include "util/textconv.h"

namespace {

bool IsParamColumn(const JdbcColDesc& d) {
  return d.name[0] == '*' &&
         (d.name[1] == 'I' || d.name[1] == 'O' || d.name[1] == 'B' || d.name[1] == 'U');
}

// The name a column answers: its label when there is one, else its name.
const char* ColName(const JdbcColDesc* d) {
  const char* label = ColDescText(d, COLDESC_LABEL);
  return label != nullptr && label[0] != '\0' ? label : d->name;
}

uint32_t OdbcVersion(const StmtHandle* stmt) {
  const ConnHandle* c = stmt->conn;
  return c != nullptr && c->env != nullptr ? c->env->odbcVersion : 3;
}

// ODBC 2 applications know the date, time and timestamp types by their old
// numbers.
int32_t TypeFor(const StmtHandle* stmt, int32_t type) {
  if (OdbcVersion(stmt) != 2) return type;
  switch (type) {
    case SQL_TYPE_DATE: return SQL_DATE;
    case SQL_TYPE_TIME: return SQL_TIME;
    case SQL_TYPE_TIMESTAMP: return SQL_TIMESTAMP;
    default: return type;
  }
}

// Bytes a value of the type takes when transferred in its default C type:
// the descriptor's octet length.
int64_t LengthOf(const JdbcColDesc* d) {
  const int64_t octets = DESC_OctetLength(d->sql_type, d->precision);
  return octets != 0 ? octets : SQL_NO_TOTAL;
}

int64_t SearchableOf(const JdbcColDesc* d) {
  switch (d->sql_type) {
    case SQL_WLONGVARCHAR:
    case SQL_LONGVARCHAR: return SQL_PRED_CHAR;
    case SQL_WVARCHAR:
    case SQL_WCHAR:
    case SQL_CHAR:
    case SQL_VARCHAR: return SQL_SEARCHABLE;
    case SQL_LONGVARBINARY:
    case SQL_VARBINARY:
    case SQL_BINARY: return SQL_PRED_NONE;
    default: return SQL_PRED_BASIC;
  }
}

bool IsNumericType(int32_t t) {
  return t == SQL_BIT || t == SQL_TINYINT || t == SQL_BIGINT ||
         (t >= SQL_NUMERIC && t <= SQL_DOUBLE);
}

// 1 for an unsigned value, and for a column that is not numeric at all.
int64_t UnsignedOf(const JdbcColDesc* d) {
  switch (d->value_type) {
    case COLSET_VT_BIT:
    case COLSET_VT_UTINYINT:
    case COLSET_VT_USMALLINT:
    case COLSET_VT_UINTEGER: return 1;
    default: return IsNumericType(d->sql_type) ? 0 : 1;
  }
}

bool ExtraAttr(StmtHandle* stmt, uint16_t field, uint16_t column, uint32_t* value) {
  if (stmt->conn == nullptr || stmt->conn->cap0x400 == 0) return false;
  return ATTR_LookupList(stmt->colAttrs, stmt->colAttrCount, field, column, value, nullptr,
                         nullptr) == 1;
}

// A text answer into the caller's buffer: 8-bit as it is, or UTF-16 with
// the buffer length and the answered length in bytes.
DRV_Return TextOut(StmtHandle* stmt, const char* text, void* buf, int64_t size, SQLSMALLINT* len,
                   int width) {
  if (text == nullptr) text = "";
  int cut;
  if (width == kWidthWide) {
    int16_t units = 0;
    cut = utf8_to_utf16_out(text, static_cast<char16_t*>(buf), size / 2, &units);
    if (len != nullptr) *len = static_cast<SQLSMALLINT>(units > 16383 ? 32767 : units * 2);
  } else {
    uint16_t bytes = 0;
    cut = STR_CopyOutW(text, static_cast<char*>(buf), size, &bytes);
    if (len != nullptr) *len = static_cast<SQLSMALLINT>(bytes > 32767 ? 32767 : bytes);
  }
  if (cut != 0 && buf != nullptr) return Warn(stmt, ERR_TRUNCATED);
  return SQL_SUCCESS;
}

// One field of the implementation row descriptor. The descriptor's failure
// code moves to the statement, where the caller's diagnostics are read.
DRV_Return IrdField(StmtHandle* stmt, uint16_t column, int16_t field, void* value, int64_t size,
                    int64_t* length, int width) {
  DescHandle* ird = stmt->ird;
  if (ird == nullptr) return Fail(stmt, ERR_GENERAL);
  const int rc = DESC_GetField(ird, column, field, value, size, length, width);
  if (rc == -1 && ird->diag.pending != 0) Fail(stmt, TakePending(ird));
  return static_cast<DRV_Return>(rc);
}

// Column icol of the result, for the describe operations. A statement whose
// result has no columns (an INSERT, a DDL statement) has nothing to describe:
// ODBC 3 calls that "07005", ODBC 2 "24000"; a column number beyond a real
// result stays "invalid column number".
const JdbcColDesc* DescribedCol(StmtHandle* stmt, uint16_t icol) {
  const JdbcColDesc* d = STMT_GetCol(stmt, icol);
  if (d == nullptr && icol != 0 && stmt->diag.pending == ERR_INVALID_COLUMN && stmt->colCount == 0)
    Fail(stmt, OdbcVersion(stmt) >= 3 ? ERR_NOT_CURSOR_SPEC : ERR_INVALID_CURSOR_STATE);
  return d;
}

void SetLength(SQLSMALLINT* out, int64_t n) {
  if (out != nullptr) *out = static_cast<SQLSMALLINT>(n > 32767 ? 32767 : (n < 0 ? 0 : n));
}

// What every describe call checks first: a prepared statement and a buffer
// length that is not negative. On false the failure is pending.
bool ReadyToDescribe(StmtHandle* stmt, int64_t size) {
  if (stmt->state != kStmtPrepared) {
    Fail(stmt, ERR_FUNCTION_SEQUENCE);
    return false;
  }
  if (size < 0) {
    Fail(stmt, ERR_INVALID_LENGTH);
    return false;
  }
  return true;
}

// The fields whose answer is text. BufferLength belongs to them alone: for a
// numeric field an application may pass anything, SQL_IS_INTEGER and its
// kind among them.
bool IsTextField(uint16_t field) {
  switch (field) {
    case SQL_COLUMN_NAME:
    case SQL_DESC_NAME:
    case SQL_COLUMN_LABEL:
    case SQL_COLUMN_TYPE_NAME:
    case SQL_COLUMN_TABLE_NAME:
    case SQL_COLUMN_OWNER_NAME:
    case SQL_COLUMN_QUALIFIER_NAME:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME: return true;
    default: return false;
  }
}

// The buffer length a column-attribute call is checked with.
int64_t CheckedSize(uint16_t field, int64_t size) { return IsTextField(field) ? size : 0; }

// The arguments SQLColAttribute and SQLColAttributes pass on, in their order.
struct ColAttrArgs {
  uint16_t icol;
  uint16_t field;
  void* text;
  int size;
  SQLSMALLINT* length;
  SQLLEN* number;
  int width;
};

ColAttrArgs ReadColAttrArgs(va_list args) {
  ColAttrArgs a{};
  a.icol = static_cast<uint16_t>(va_arg(args, int));
  a.field = static_cast<uint16_t>(va_arg(args, int));
  a.text = va_arg(args, void*);
  a.size = va_arg(args, int);
  a.length = va_arg(args, SQLSMALLINT*);
  a.number = va_arg(args, SQLLEN*);
  a.width = va_arg(args, int);
  return a;
}

}  // namespace

DRV_Return ColAttribute_core(StmtHandle* stmt, uint16_t icol, uint16_t field, void* text,
                             int64_t size, SQLSMALLINT* length, SQLLEN* number, int width) {
  if (!ReadyToDescribe(stmt, CheckedSize(field, size))) return SQL_ERROR;
  if (field == SQL_COLUMN_COUNT) {
    if (STMT_GetColInfo(stmt) == nullptr && stmt->diag.pending != 0) return SQL_ERROR;
    if (number != nullptr) *number = stmt->colCount;
    return SQL_SUCCESS;
  }
  const JdbcColDesc* d = DescribedCol(stmt, icol);
  if (d == nullptr) return SQL_ERROR;
  if (number == nullptr && field >= 2 && field <= 13) return SQL_SUCCESS;

  int64_t answer = 0;
  uint32_t extra = 0;
  switch (field) {
    case SQL_COLUMN_NAME:
    case SQL_COLUMN_LABEL: return TextOut(stmt, ColName(d), text, size, length, width);
    case SQL_COLUMN_TYPE: answer = TypeFor(stmt, d->sql_type); break;
    case SQL_COLUMN_LENGTH: answer = LengthOf(d); break;
    case SQL_COLUMN_PRECISION: answer = d->precision; break;
    case SQL_COLUMN_SCALE: answer = d->scale; break;
    case SQL_COLUMN_DISPLAY_SIZE: answer = d->display_size; break;
    case SQL_COLUMN_NULLABLE: answer = ColDescNullable(d); break;
    case SQL_COLUMN_UNSIGNED: answer = UnsignedOf(d); break;
    case SQL_COLUMN_UPDATABLE:
      if (ExtraAttr(stmt, field, icol, &extra))
        answer = extra;
      else
        answer = ColDescUpdatable(d) != 0 ? ColDescUpdatable(d) - 1 : SQL_ATTR_READWRITE_UNKNOWN;
      break;
    case SQL_COLUMN_AUTO_INCREMENT:
    case SQL_COLUMN_CASE_SENSITIVE:
    case SQL_DESC_ROWVER:
    case QMR_DESC_KEY_COLUMN: answer = ExtraAttr(stmt, field, icol, &extra) ? extra : 0; break;
    case SQL_COLUMN_SEARCHABLE:
      // As the type information says of the column's type, where it does.
      if (ExtraAttr(stmt, field, icol, &extra)) {
        answer = extra;
      } else {
        const int listed = DESC_TypeSearchable(stmt->conn, d->sql_type);
        answer = listed >= 0 ? listed : SearchableOf(d);
      }
      break;
    case SQL_COLUMN_TYPE_NAME: {
      if (text == nullptr) return SQL_SUCCESS;
      int64_t got = 0;
      const DRV_Return rc = IrdField(stmt, icol, SQL_DESC_TYPE_NAME, text, size, &got, width);
      SetLength(length, got);
      return rc;
    }
    case SQL_COLUMN_TABLE_NAME:
      return TextOut(stmt, ColDescText(d, COLDESC_TABLE), text, size, length, width);
    case SQL_COLUMN_OWNER_NAME:
      return TextOut(stmt, ColDescText(d, COLDESC_SCHEMA), text, size, length, width);
    case SQL_COLUMN_QUALIFIER_NAME:
      return TextOut(stmt, ColDescText(d, COLDESC_CATALOG), text, size, length, width);
    default:
      answer = 0;  // money and every field the driver keeps nothing for
      break;
  }
  if (number != nullptr) *number = static_cast<SQLLEN>(answer);
  return SQL_SUCCESS;
}

DRV_Return DRV_NumResultColsOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  auto* out = va_arg(args, SQLSMALLINT*);
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  if (out == nullptr) return SQL_SUCCESS;
  const JdbcColDesc* cols = STMT_GetColInfo(stmt);
  if (cols == nullptr) {
    if (stmt->diag.pending != 0) return SQL_ERROR;
    *out = 0;
    return SQL_SUCCESS;
  }
  SQLSMALLINT n = 0;
  for (uint16_t i = 0; i < stmt->colCount; ++i)
    if (!IsParamColumn(cols[i])) ++n;
  *out = n;
  return SQL_SUCCESS;
}

DRV_Return DRV_DescribeColOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto icol = static_cast<uint16_t>(va_arg(args, int));
  auto* name = va_arg(args, SQLCHAR*);
  const int size = va_arg(args, int);
  auto* nameLength = va_arg(args, SQLSMALLINT*);
  auto* sqlType = va_arg(args, SQLSMALLINT*);
  auto* columnSize = va_arg(args, SQLULEN*);
  auto* digits = va_arg(args, SQLSMALLINT*);
  auto* nullable = va_arg(args, SQLSMALLINT*);
  if (!ReadyToDescribe(stmt, size)) return SQL_ERROR;
  const JdbcColDesc* d = DescribedCol(stmt, icol);
  if (d == nullptr) return SQL_ERROR;
  if (sqlType != nullptr) *sqlType = static_cast<SQLSMALLINT>(TypeFor(stmt, d->sql_type));
  if (columnSize != nullptr) *columnSize = d->precision;
  if (digits != nullptr) *digits = static_cast<SQLSMALLINT>(d->scale);
  if (nullable != nullptr) *nullable = static_cast<SQLSMALLINT>(ColDescNullable(d));
  return TextOut(stmt, icol == 0 ? "BOOKMARK" : ColName(d), name, size, nameLength, kWidthAnsi);
}

DRV_Return DRV_ColAttributesOp(void* h, va_list args) {
  const ColAttrArgs a = ReadColAttrArgs(args);
  return ColAttribute_core(static_cast<StmtHandle*>(h), a.icol, a.field, a.text, a.size, a.length,
                           a.number, a.width);
}

DRV_Return DRV_ColAttributeOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto [icol, field, text, size, length, number, width] = ReadColAttrArgs(args);

  if (icol == 0 && stmt->useBookmarks != 0) {
    switch (field) {
      case SQL_DESC_TYPE:
        if (number != nullptr) *number = SQL_CHAR;
        return SQL_SUCCESS;
      case SQL_DESC_OCTET_LENGTH:
        if (number != nullptr) *number = 8;
        return SQL_SUCCESS;
      case SQL_DESC_COUNT:
      case SQL_DESC_LENGTH:
      case SQL_DESC_PRECISION:
      case SQL_DESC_SCALE:
      case SQL_DESC_NULLABLE:
      case SQL_DESC_UNNAMED:
      case QMR_DESC_KEY_COLUMN:
      case SQL_DESC_CONCISE_TYPE:
      case SQL_DESC_DISPLAY_SIZE:
      case SQL_DESC_UNSIGNED:
      case SQL_DESC_FIXED_PREC_SCALE:
      case SQL_DESC_UPDATABLE:
      case SQL_DESC_AUTO_UNIQUE_VALUE:
      case SQL_DESC_CASE_SENSITIVE:
      case SQL_DESC_SEARCHABLE:
      case SQL_DESC_NUM_PREC_RADIX:
      case SQL_DESC_ROWVER:
        if (number != nullptr) *number = 0;
        return SQL_SUCCESS;
      case SQL_DESC_NAME:
      case SQL_DESC_TYPE_NAME:
      case SQL_DESC_TABLE_NAME:
      case SQL_DESC_SCHEMA_NAME:
      case SQL_DESC_CATALOG_NAME:
      case SQL_DESC_LABEL:
      case SQL_DESC_BASE_COLUMN_NAME:
      case SQL_DESC_BASE_TABLE_NAME:
      case SQL_DESC_LITERAL_PREFIX:
      case SQL_DESC_LITERAL_SUFFIX:
      case SQL_DESC_LOCAL_TYPE_NAME:
        if (text != nullptr && size > 0) {
          if (width == kWidthWide && size >= 2)
            *static_cast<char16_t*>(text) = 0;
          else if (width != kWidthWide)
            *static_cast<char*>(text) = '\0';
        }
        if (length != nullptr) *length = 0;
        return SQL_SUCCESS;
      default: break;
    }
  }

  switch (field) {
    case SQL_COLUMN_COUNT:
    case SQL_DESC_COUNT:
      return ColAttribute_core(stmt, icol, SQL_COLUMN_COUNT, text, size, length, number, width);
    case SQL_COLUMN_NAME:
    case SQL_DESC_NAME:
      return ColAttribute_core(stmt, icol, SQL_COLUMN_NAME, text, size, length, number, width);
    case SQL_COLUMN_NULLABLE:
    case SQL_DESC_NULLABLE:
      return ColAttribute_core(stmt, icol, SQL_COLUMN_NULLABLE, text, size, length, number, width);
    case SQL_COLUMN_TYPE:
    case SQL_COLUMN_LENGTH:
    case SQL_COLUMN_PRECISION:
    case SQL_COLUMN_SCALE:
    case SQL_COLUMN_DISPLAY_SIZE:
    case SQL_COLUMN_UNSIGNED:
    case SQL_COLUMN_MONEY:
    case SQL_COLUMN_UPDATABLE:
    case SQL_COLUMN_AUTO_INCREMENT:
    case SQL_COLUMN_CASE_SENSITIVE:
    case SQL_COLUMN_SEARCHABLE:
    case SQL_COLUMN_TYPE_NAME:
    case SQL_COLUMN_TABLE_NAME:
    case SQL_COLUMN_OWNER_NAME:
    case SQL_COLUMN_QUALIFIER_NAME:
    case SQL_COLUMN_LABEL:
    case SQL_DESC_ROWVER:
    case QMR_DESC_KEY_COLUMN:
      return ColAttribute_core(stmt, icol, field, text, size, length, number, width);
    default: break;
  }

  // The rest comes from the implementation row descriptor, once the column
  // is known to exist: the descriptor answers a record beyond its count
  // with "no data", which is no answer for a column attribute.
  switch (field) {
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_TYPE:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_UNNAMED:
      if (!ReadyToDescribe(stmt, CheckedSize(field, size))) return SQL_ERROR;
      if (DescribedCol(stmt, icol) == nullptr) return SQL_ERROR;
      break;
    default: break;
  }
  int64_t got = 0;
  DRV_Return rc;
  switch (field) {
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
      if (text == nullptr) return SQL_SUCCESS;
      rc = IrdField(stmt, icol, static_cast<int16_t>(field), text, size, &got, width);
      break;
    case SQL_DESC_NUM_PREC_RADIX: {
      int32_t v = 0;
      rc = IrdField(stmt, icol, static_cast<int16_t>(field), &v, sizeof v, &got, width);
      if (number != nullptr && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) *number = v;
      break;
    }
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH: {
      // SQLULEN and SQLLEN descriptor fields: the descriptor writes all 64 bits.
      int64_t v = 0;
      rc = IrdField(stmt, icol, static_cast<int16_t>(field), &v, sizeof v, &got, width);
      if (number != nullptr && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
        *number = static_cast<SQLLEN>(v);
      break;
    }
    case SQL_DESC_TYPE:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_UNNAMED: {
      int16_t v = 0;
      rc = IrdField(stmt, icol, static_cast<int16_t>(field), &v, sizeof v, &got, width);
      if (number != nullptr && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
        *number = field == SQL_DESC_TYPE ? static_cast<SQLLEN>(v) : static_cast<uint16_t>(v);
      break;
    }
    default:
      if (TRC_Active()) TRC_Printf("SQLColAttribute - unknown field identifier\n");
      return Fail(stmt, ERR_DESC_TYPE_RANGE);
  }
  SetLength(length, got);
  return rc;
}
