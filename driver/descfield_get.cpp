// Descriptor fields: the getter. Application descriptors and IPD records
// without a parameter description answer from their records; the IRD
// answers from the statement's result-column descriptions, an IPD record
// with a parameter description from that description.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "driver/coldesc.h"
#include "driver/desc.h"
#include "driver/descfield.h"
#include "driver/params.h"
#include "driver/rowset/typeinfo.h"
#include "driver/trace.h"
#include "util/copyout.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"
#include "util/text_octets.h"

namespace {

constexpr int64_t kTypeInfoBuffer = 255;

bool inRange(int t, int lo, int hi) { return t >= lo && t <= hi; }

bool isApp(const DescHandle* d) {
  return d->kind == kDescARD || d->kind == kDescAPD || d->kind == kDescExplicit;
}

// ---------------------------------------------------------------------------
// Answers by SQL type.

bool isInterval(int t) { return inRange(t, SQL_INTERVAL_YEAR, SQL_INTERVAL_MINUTE_TO_SECOND); }

// The C types of the sized integers: signed and unsigned, 8 and 64 bits.
bool isTinyOrBigC(int t) { return inRange(t, SQL_C_UTINYINT, SQL_C_SBIGINT); }
// The C types of the sized integers: signed and unsigned, 32 and 16 bits.
bool isLongOrShortC(int t) { return inRange(t, SQL_C_ULONG, SQL_C_SSHORT); }
// NUMERIC to DOUBLE: the numeric SQL types of ODBC's core.
bool isCoreNumeric(int t) { return inRange(t, SQL_NUMERIC, SQL_DOUBLE); }

int verboseOf(int t) {
  if (t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP ||
      inRange(t, SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP))
    return SQL_DATETIME;
  if (isInterval(t)) return SQL_INTERVAL;
  return t;
}

int dtCodeOf(int t) {
  if (t == SQL_DATE || t == SQL_TYPE_DATE) return SQL_CODE_DATE;
  if (t == SQL_TIME || t == SQL_TYPE_TIME) return SQL_CODE_TIME;
  if (t == SQL_TIMESTAMP || t == SQL_TYPE_TIMESTAMP) return SQL_CODE_TIMESTAMP;
  if (isInterval(t)) return t - SQL_INTERVAL_YEAR + SQL_CODE_YEAR;
  return 0;
}

bool exactNumeric(int t) {
  return isTinyOrBigC(t) || isLongOrShortC(t) || t == SQL_TINYINT || t == SQL_BIGINT ||
         inRange(t, SQL_NUMERIC, SQL_SMALLINT);
}

// The floating types are described in decimal digits (15 and 7), as the
// catalog gives them, so their radix is 10 as well.
int radixOf(int t) {
  if (exactNumeric(t) || inRange(t, SQL_FLOAT, SQL_DOUBLE)) return 10;
  return 0;
}

// Signed numeric SQL types; JDBC describes no unsigned ones.
bool signedNumeric(int t) { return t == SQL_TINYINT || t == SQL_BIGINT || isCoreNumeric(t); }

}  // namespace

int64_t DESC_OctetLength(int t, int64_t len) {
  switch (t) {
    // Bytes of the value in its binary form: a BIT and the 64-bit integers
    // take 1 and 8 (20 is the length of a BIGINT's text, not its octets).
    case SQL_C_UTINYINT:
    case SQL_C_STINYINT:
    case SQL_BIT:
    case SQL_TINYINT: return 1;
    case SQL_C_UBIGINT:
    case SQL_C_SBIGINT:
    case SQL_BIGINT: return 8;
    case SQL_C_ULONG:
    case SQL_C_SLONG:
    case SQL_INTEGER:
    case SQL_REAL: return 4;
    case SQL_C_USHORT:
    case SQL_C_SSHORT:
    case SQL_SMALLINT: return 2;
    case SQL_WLONGVARCHAR:
    case SQL_WVARCHAR:
    case SQL_WCHAR:
    case SQL_LONGVARCHAR:
    case SQL_CHAR:
    case SQL_VARCHAR: return TextOctetLength(len);
    case SQL_LONGVARBINARY:
    case SQL_VARBINARY:
    case SQL_BINARY: return len;
    case SQL_GUID:  // SQL_C_GUID
      return sizeof(SQLGUID);
    case SQL_NUMERIC:
    case SQL_DECIMAL: return len + 2;
    case SQL_FLOAT:
    case SQL_DOUBLE: return 8;
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME: return 6;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP: return 16;
    default: return isInterval(t) ? static_cast<int64_t>(sizeof(SQL_INTERVAL_STRUCT)) : 0;
  }
}

namespace {

// SQL_DESC_LENGTH: the column size of every described SQL type (BIT,
// TINYINT, BIGINT, the long types and GUID among them).
uint64_t lengthOf(int t, uint64_t len) {
  const bool listed = isTinyOrBigC(t) || isLongOrShortC(t) ||
                      (inRange(t, SQL_GUID, SQL_VARCHAR) && t != SQL_UNKNOWN_TYPE) ||
                      inRange(t, SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP) || isInterval(t);
  return listed ? len : 0;
}

int precisionOf(int t, int64_t len, int scale) {
  if (isTinyOrBigC(t) || isLongOrShortC(t) || t == SQL_TINYINT || t == SQL_BIGINT ||
      isCoreNumeric(t))
    return static_cast<int>(len);
  if (t == SQL_TIME || t == SQL_TIMESTAMP || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP ||
      t == SQL_INTERVAL_SECOND)
    return scale;
  return 0;
}

// ---------------------------------------------------------------------------
// Output.

struct Out {
  DescHandle* desc;
  void* value;
  int64_t size;
  int64_t* length;
  int width;

  int u16(int64_t v) const {
    DESC_PutU16(value, length, static_cast<uint16_t>(v));
    return 0;
  }
  int u32(int64_t v) const {
    DESC_PutU32(value, length, static_cast<uint32_t>(v));
    return 0;
  }
  int u64(uint64_t v) const {
    DESC_PutU64(value, length, v);
    return 0;
  }
  int ptr(const void* p) const { return DESC_PutPtr(desc, value, size, length, p); }
  int text(const char* t) const {
    return width == 'W' ? DESC_PutTextW(desc, value, size, length, t)
                        : DESC_PutText(desc, value, size, length, t);
  }
  int fail(int32_t code) const { return Fail(desc, code); }
};

// ---------------------------------------------------------------------------
// Field groups.

bool irdOnly(int f) {
  switch (f) {
    case SQL_DESC_DISPLAY_SIZE:
    case SQL_DESC_UPDATABLE:
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_SEARCHABLE:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_ROWVER:
    case QMR_DESC_KEY_COLUMN: return true;
    default: return false;
  }
}

bool implOnly(int f) {
  switch (f) {
    case SQL_DESC_UNSIGNED:
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_CASE_SENSITIVE:
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_NULLABLE:
    case SQL_DESC_NAME:
    case SQL_DESC_UNNAMED: return true;
    default: return false;
  }
}

bool appOnly(int f) {
  return f == SQL_DESC_OCTET_LENGTH_PTR || f == SQL_DESC_INDICATOR_PTR || f == SQL_DESC_DATA_PTR;
}

bool commonField(int f) {
  switch (f) {
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE:
    case SQL_DESC_DATETIME_INTERVAL_CODE:
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_NUM_PREC_RADIX: return true;
    default: return false;
  }
}

// The statement's answers about its result put their failure codes on the
// statement; the descriptor's caller reads them on the descriptor, and the
// statement keeps what it had pending (the answers run with it set aside).
int32_t stmtFailure(const PendingAside& aside) {
  return aside.left() != 0 ? aside.left() : ERR_GENERAL;
}

// Result columns of the IRD's statement: 0, or -1 with the code on the
// descriptor (S1010 before the statement is prepared).
int irdCount(const Out& o, StmtHandle* stmt, uint16_t* n) {
  if (stmt == nullptr) return o.fail(ERR_GENERAL);
  PendingAside aside(&stmt->diag);
  if (STMT_ResultColCount(stmt, n) != 0) return o.fail(stmtFailure(aside));
  return 0;
}

// Column `record` of the IRD's statement, or null with the code on the
// descriptor.
const JdbcColDesc* irdColumn(const Out& o, StmtHandle* stmt, uint32_t record) {
  PendingAside aside(&stmt->diag);
  const JdbcColDesc* d = STMT_GetCol(stmt, record);
  if (d == nullptr) o.fail(stmtFailure(aside));
  return d;
}

// ---------------------------------------------------------------------------
// Header.

int getHeader(const Out& o, int field) {
  DescHandle* desc = o.desc;
  StmtHandle* stmt = desc->stmt;
  switch (field) {
    case SQL_DESC_ARRAY_SIZE:
      if (!isApp(desc)) return o.fail(ERR_DESC_TYPE_RANGE);
      if (desc->kind == kDescARD && stmt != nullptr) return o.u64(stmt->cursor.rowsetSize);
      return o.u64(desc->arraySize);
    case SQL_DESC_ARRAY_STATUS_PTR: return o.ptr(desc->arrayStatus);
    case SQL_DESC_BIND_OFFSET_PTR:
      if (!isApp(desc)) return o.fail(ERR_DESC_TYPE_RANGE);
      return o.ptr(desc->bindOffset);
    case SQL_DESC_BIND_TYPE:
      if (!isApp(desc)) return o.fail(ERR_DESC_TYPE_RANGE);
      if (desc->kind == kDescARD && stmt != nullptr) return o.u32(stmt->bindType);
      return o.u32(desc->bindType);
    case SQL_DESC_ROWS_PROCESSED_PTR:
      if (isApp(desc)) return o.fail(ERR_DESC_TYPE_RANGE);
      return o.ptr(desc->rowsProcessed);
    case SQL_DESC_COUNT: {
      if (desc->kind == kDescIRD) {
        uint16_t n = 0;
        if (irdCount(o, stmt, &n) != 0) return -1;
        return o.u16(n);
      }
      return o.u16(DESC_Count(desc));
    }
    case SQL_DESC_ALLOC_TYPE: return o.u16(desc->allocType);
    default: return 1;  // not a header field
  }
}

// ---------------------------------------------------------------------------
// Implementation answers from a description (a result column, or a
// parameter's description).

const char* fullName(const JdbcColDesc* d) {
  const char* label = ColDescText(d, COLDESC_LABEL);
  return label != nullptr && label[0] != '\0' ? label : d->name;
}

bool colAttr(StmtHandle* stmt, int field, uint16_t col, uint32_t* u32, void** text) {
  uint32_t n = 0;
  void* p = nullptr;
  uint64_t eight = 0;
  if (stmt == nullptr || ATTR_LookupList(stmt->colAttrs, stmt->colAttrCount,
                                         static_cast<uint16_t>(field), col, &n, &p, &eight) == 0)
    return false;
  if (u32 != nullptr) *u32 = n;
  if (text != nullptr) *text = p;
  return true;
}

}  // namespace

int DESC_TypeSearchable(ConnHandle* conn, int type) {
  return TypeInfoSearchable(conn, static_cast<int16_t>(type));
}

namespace {

// A text of the server's type information; empty when there is none.
int typeInfoText(const Out& o, StmtHandle* stmt, uint16_t column, int type) {
  char buf[kTypeInfoBuffer + 1] = "";
  int64_t got = 0;
  if (isInterval(type)) type = SQL_INTERVAL;
  ConnHandle* conn = stmt != nullptr ? stmt->conn : DESC_Conn(o.desc);
  if (conn != nullptr) {
    const DRV_Return rc =
        TypeInfoLookup(conn, column, static_cast<int16_t>(type), buf, kTypeInfoBuffer, &got);
    if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || got == SQL_NULL_DATA) buf[0] = '\0';
  }
  buf[kTypeInfoBuffer] = '\0';
  return o.text(buf);
}

int fromDescription(const Out& o, int field, const JdbcColDesc* d, uint16_t col, bool ird) {
  StmtHandle* stmt = o.desc->stmt;
  const int t = d->sql_type;
  const int64_t len = d->precision;
  uint32_t extra = 0;
  void* extraText = nullptr;
  switch (field) {
    case SQL_DESC_TYPE: return o.u16(verboseOf(t));
    case SQL_DESC_CONCISE_TYPE: return o.u16(t);
    case SQL_DESC_DATETIME_INTERVAL_CODE: return o.u16(dtCodeOf(t));
    case SQL_DESC_DATETIME_INTERVAL_PRECISION: {
      const DescRec* rec = DESC_GetRec(o.desc, col);
      return o.u32(rec != nullptr ? rec->dtPrecision : 0);
    }
    case SQL_DESC_LENGTH: return o.u64(lengthOf(t, static_cast<uint64_t>(len)));
    case SQL_DESC_OCTET_LENGTH: return o.u64(static_cast<uint64_t>(DESC_OctetLength(t, len)));
    case SQL_DESC_PRECISION: return o.u16(precisionOf(t, len, d->scale));
    case SQL_DESC_SCALE: return o.u16(t == SQL_NUMERIC || t == SQL_DECIMAL ? d->scale : 0);
    case SQL_DESC_NUM_PREC_RADIX: return o.u32(radixOf(t));
    case SQL_DESC_UNSIGNED: return o.u16(signedNumeric(t) ? SQL_FALSE : SQL_TRUE);
    case SQL_DESC_FIXED_PREC_SCALE: {
      const bool fixed =
          (inRange(t, SQL_NUMERIC, SQL_SMALLINT) || t == SQL_BIGINT || t == SQL_TINYINT) &&
          d->scale != 0;
      return o.u16(fixed ? SQL_TRUE : SQL_FALSE);
    }
    case SQL_DESC_CASE_SENSITIVE:
      if (!ird) return o.u32(SQL_TRUE);
      if (colAttr(stmt, field, col, &extra, nullptr)) return o.u32(extra);
      return o.u32(DESC_IsCharType(t) ? SQL_TRUE : SQL_FALSE);
    case SQL_DESC_TYPE_NAME:
      // A result column's own type name, where the agent gives one: the
      // server's type table names the SQL type, not the column's type.
      if (ird && colAttr(stmt, field, col, nullptr, &extraText) && extraText != nullptr &&
          static_cast<const char*>(extraText)[0] != '\0')
        return o.text(static_cast<const char*>(extraText));
      return typeInfoText(o, stmt, 1, t);
    case SQL_DESC_LOCAL_TYPE_NAME: return o.text("");
    case SQL_DESC_NULLABLE: return o.u16(ird ? ColDescNullable(d) : SQL_NULLABLE);
    case SQL_DESC_NAME: return o.text(fullName(d));
    case SQL_DESC_UNNAMED: return o.u16(fullName(d)[0] == '\0' ? SQL_UNNAMED : SQL_NAMED);
    case SQL_DESC_DISPLAY_SIZE:
      return o.u64(d->display_size != 0 ? d->display_size : static_cast<uint64_t>(len));
    case SQL_DESC_UPDATABLE: {
      if (colAttr(stmt, field, col, &extra, nullptr)) return o.u16(extra);
      const uint32_t bits = ColDescUpdatable(d);
      return o.u16(bits == 0 ? SQL_ATTR_READWRITE_UNKNOWN : bits - 1);
    }
    case SQL_DESC_AUTO_UNIQUE_VALUE:
      return o.u32(colAttr(stmt, field, col, &extra, nullptr) ? extra : 0);
    case SQL_DESC_SEARCHABLE: {
      if (colAttr(stmt, field, col, &extra, nullptr)) return o.u16(extra);
      const int listed = DESC_TypeSearchable(stmt != nullptr ? stmt->conn : nullptr, t);
      if (listed >= 0) return o.u16(listed);
      if (t == SQL_WVARCHAR || t == SQL_WCHAR || t == SQL_CHAR || t == SQL_VARCHAR)
        return o.u16(SQL_PRED_SEARCHABLE);
      if (inRange(t, SQL_LONGVARBINARY, SQL_BINARY)) return o.u16(SQL_PRED_NONE);
      return o.u16(SQL_PRED_BASIC);
    }
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME: return o.text(ColDescText(d, COLDESC_TABLE));
    case SQL_DESC_SCHEMA_NAME: return o.text(ColDescText(d, COLDESC_SCHEMA));
    case SQL_DESC_CATALOG_NAME: return o.text(ColDescText(d, COLDESC_CATALOG));
    case SQL_DESC_LABEL: return o.text(fullName(d));
    case SQL_DESC_BASE_COLUMN_NAME:
      // The column's name in its table, not its label (`v AS vv` is `v`).
      if (colAttr(stmt, QMR_DESC_EXPRESSION, col, &extra, nullptr) && extra == 1) return o.text("");
      if (ird && colAttr(stmt, field, col, nullptr, &extraText) && extraText != nullptr)
        return o.text(static_cast<const char*>(extraText));
      return o.text(fullName(d));
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
      if (colAttr(stmt, field, col, nullptr, &extraText) && extraText != nullptr)
        return o.text(static_cast<const char*>(extraText));
      return typeInfoText(o, stmt, field == SQL_DESC_LITERAL_PREFIX ? 4 : 5, t);
    case SQL_DESC_ROWVER: return o.u16(colAttr(stmt, field, col, &extra, nullptr) ? extra : 0);
    case QMR_DESC_KEY_COLUMN: return o.u32(colAttr(stmt, field, col, &extra, nullptr) ? extra : 0);
    default: return o.fail(ERR_NOT_SUPPORTED);
  }
}

// The bookmark column of an IRD.
int bookmarkField(const Out& o, int field) {
  switch (field) {
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE: return o.u16(SQL_CHAR);
    case SQL_DESC_NAME:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_LABEL: return o.text("BOOKMARK");
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_DISPLAY_SIZE: return o.u64(8);
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_DATETIME_INTERVAL_CODE:
    case SQL_DESC_NULLABLE:
    case SQL_DESC_UPDATABLE:
    case SQL_DESC_ROWVER:
    case SQL_DESC_UNNAMED:
    case SQL_DESC_SEARCHABLE:
    case SQL_DESC_FIXED_PREC_SCALE: return o.u16(0);
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
    case QMR_DESC_KEY_COLUMN: return o.u32(0);
    case SQL_DESC_UNSIGNED: return o.u16(SQL_TRUE);
    case SQL_DESC_CASE_SENSITIVE: return o.u32(SQL_TRUE);
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME: return o.text("");
    case SQL_DESC_TYPE_NAME: return typeInfoText(o, o.desc->stmt, 1, SQL_CHAR);
    default: return o.fail(ERR_NOT_SUPPORTED);
  }
}

// A stored record (application descriptors, IPD records without a
// parameter description).
int fromRecord(const Out& o, int field, const DescRec* rec) {
  const bool ipd = o.desc->kind == kDescIPD;
  switch (field) {
    case SQL_DESC_TYPE: return o.u16(rec->type);
    case SQL_DESC_CONCISE_TYPE: return o.u16(rec->conciseType);
    case SQL_DESC_DATETIME_INTERVAL_CODE: return o.u16(rec->dtCode);
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      return o.u32(static_cast<uint32_t>(rec->dtPrecision));
    case SQL_DESC_LENGTH: return o.u64(rec->length);
    case SQL_DESC_OCTET_LENGTH: return o.u64(static_cast<uint64_t>(rec->octetLength));
    case SQL_DESC_PRECISION: return o.u16(static_cast<uint16_t>(rec->precision));
    case SQL_DESC_SCALE: return o.u16(static_cast<uint16_t>(rec->scale));
    case SQL_DESC_NUM_PREC_RADIX: return o.u32(static_cast<uint32_t>(rec->radix));
    case SQL_DESC_OCTET_LENGTH_PTR: return o.ptr(rec->octetLengthPtr);
    case SQL_DESC_INDICATOR_PTR: return o.ptr(rec->indicator);
    case SQL_DESC_DATA_PTR: return o.ptr(rec->data);
    case SQL_DESC_PARAMETER_TYPE: return o.u16(static_cast<uint16_t>(rec->paramType));
    case SQL_DESC_NAME: return o.text(rec->name.c_str());
    case SQL_DESC_UNNAMED: return o.u16(static_cast<uint16_t>(rec->unnamed));
    case SQL_DESC_NULLABLE: return o.u16(SQL_NULLABLE);
    case SQL_DESC_UNSIGNED: return o.u16(signedNumeric(rec->conciseType) ? SQL_FALSE : SQL_TRUE);
    case SQL_DESC_FIXED_PREC_SCALE: return o.u16(static_cast<uint16_t>(rec->fixedPrecScale));
    case SQL_DESC_CASE_SENSITIVE: return o.u32(ipd ? SQL_TRUE : SQL_FALSE);
    case SQL_DESC_TYPE_NAME: return typeInfoText(o, o.desc->stmt, 1, rec->conciseType);
    case SQL_DESC_LOCAL_TYPE_NAME: return o.text("");
    default: return o.fail(ERR_NOT_SUPPORTED);
  }
}

}  // namespace

bool DESC_IsHeaderField(int field) {
  switch (field) {
    case SQL_DESC_ARRAY_SIZE:
    case SQL_DESC_ARRAY_STATUS_PTR:
    case SQL_DESC_BIND_OFFSET_PTR:
    case SQL_DESC_BIND_TYPE:
    case SQL_DESC_ROWS_PROCESSED_PTR:
    case SQL_DESC_COUNT:
    case SQL_DESC_ALLOC_TYPE: return true;
    default: return false;
  }
}

int DESC_GetField(DescHandle* desc, uint16_t record, int16_t field, void* value, int64_t size,
                  int64_t* length, int width) {
  if (TRC_Active()) TRC_Printf("Descriptor Type: %s", DESC_KindName(desc));
  if (length != nullptr) *length = 0;
  const Out o{desc, value, size, length, width};
  const int h = getHeader(o, field);
  if (h <= 0) return h;

  // Which kinds have the field.
  const bool app = isApp(desc);
  if (irdOnly(field)) {
    if (desc->kind != kDescIRD) return o.fail(ERR_DESC_TYPE_RANGE);
  } else if (implOnly(field)) {
    if (app) return o.fail(ERR_DESC_TYPE_RANGE);
  } else if (field == SQL_DESC_PARAMETER_TYPE) {
    if (desc->kind != kDescIPD) return o.fail(ERR_DESC_TYPE_RANGE);
  } else if (appOnly(field)) {
    if (!app) return o.fail(ERR_DESC_TYPE_RANGE);
  } else if (!commonField(field)) {
    return o.fail(ERR_NOT_SUPPORTED);
  }

  // Parameters have no record 0.
  if (record == 0 && (desc->kind == kDescIPD || desc->kind == kDescAPD))
    return o.fail(ERR_INVALID_DESC_INDEX);

  StmtHandle* stmt = desc->stmt;
  if (desc->kind == kDescIRD) {
    uint16_t n = 0;
    if (irdCount(o, stmt, &n) != 0) return -1;
    if (record > n) return SQL_NO_DATA;
    if (record == 0) return bookmarkField(o, field);
    const JdbcColDesc* d = irdColumn(o, stmt, record);
    if (d == nullptr) return -1;
    return fromDescription(o, field, d, record, true);
  }

  if (record > DESC_Count(desc)) return SQL_NO_DATA;
  if (desc->kind == kDescIPD && stmt != nullptr) STMT_DescribeParams(stmt);
  if (desc->kind == kDescIPD && stmt != nullptr && stmt->paramDescs != nullptr &&
      record <= stmt->paramCount) {
    // The described parameter, but the record's own name, flags and
    // direction: those are what the application set.
    const DescRec* rec = DESC_GetRec(desc, record);
    switch (field) {
      case SQL_DESC_NAME:
      case SQL_DESC_UNNAMED:
      case SQL_DESC_PARAMETER_TYPE:
        if (rec != nullptr) return fromRecord(o, field, rec);
        break;
      default: break;
    }
    return fromDescription(o, field, &stmt->paramDescs[record - 1], record, false);
  }
  const DescRec* rec = DESC_GetRec(desc, record);
  if (rec == nullptr) return o.fail(ERR_GENERAL);
  return fromRecord(o, field, rec);
}
