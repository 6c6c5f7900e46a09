// Descriptor fields: the type rules, the output helpers and the setter.
#include "driver/descfield.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "driver/desc.h"
#include "driver/stmtopt.h"
#include "driver/trace.h"
#include "util/copyout.h"
#include "util/errcodes.h"
#include "util/owners.h"
#include "util/textconv.h"

namespace {

bool readOnlyField(int field) {
  switch (field) {
    case SQL_DESC_DISPLAY_SIZE:
    case SQL_DESC_UNSIGNED:
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_UPDATABLE:
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_CASE_SENSITIVE:
    case SQL_DESC_SEARCHABLE:
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
    case SQL_DESC_NULLABLE:
    case SQL_DESC_ALLOC_TYPE: return true;
    default: return false;
  }
}

// Fields whose change withdraws the record's binding: an application that
// changes a bound record's type or shape binds it again afterwards.
bool unbindingField(int field) {
  switch (field) {
    case SQL_DESC_OCTET_LENGTH_PTR:
    case SQL_DESC_INDICATOR_PTR:
    case SQL_DESC_DATA_PTR: return false;
    default: return true;
  }
}

bool inRange(int t, int lo, int hi) { return t >= lo && t <= hi; }

// Types a record may hold with nothing else derived.
bool plainType(int t) {
  return inRange(t, SQL_C_UTINYINT, SQL_C_SBIGINT) || inRange(t, SQL_C_ULONG, SQL_C_SSHORT) ||
         inRange(t, SQL_BIT, SQL_BINARY) || t == SQL_INTEGER || t == SQL_SMALLINT ||
         t == SQL_DOUBLE || t == SQL_GUID || t == SQL_C_DEFAULT;
}

void setPrecision(DescRec* rec, int p) { rec->precision = static_cast<int16_t>(p); }

// An interval code with seconds (day to second, hour to second, minute to
// second, second).
bool intervalWithSeconds(int code) {
  return code == SQL_CODE_SECOND || code == SQL_CODE_DAY_TO_SECOND ||
         code == SQL_CODE_HOUR_TO_SECOND || code == SQL_CODE_MINUTE_TO_SECOND;
}

intptr_t asInt(void* value) { return reinterpret_cast<intptr_t>(value); }

// The name an application gives an IPD record, as UTF-8.
int storeName(DescHandle* desc, DescRec* rec, void* value, int64_t length, int width) {
  if (length < 0 && length != SQL_NTS) return Fail(desc, ERR_INVALID_LENGTH);
  std::string name;
  try {
    if (width == 'W') {
      const auto* w = static_cast<const char16_t*>(value);
      const int64_t units = length == SQL_NTS ? SQL_NTS : length / 2;
      const UniqueFree<char> utf8(utf16_to_utf8_dupn(w, units));
      if (utf8 == nullptr) return Fail(desc, ERR_NO_MEMORY);
      name = utf8.get();
    } else {
      const char* s = static_cast<const char*>(value);
      name = length == SQL_NTS ? std::string(s) : std::string(s, static_cast<size_t>(length));
    }
  } catch (const std::bad_alloc&) {
    return Fail(desc, ERR_NO_MEMORY);
  }
  rec->name.swap(name);
  if (!rec->name.empty()) rec->unnamed = SQL_NAMED;
  return 0;
}

int setHeader(StmtHandle* stmt, bool app, bool withStmt, DescHandle* desc, int field, void* value) {
  const intptr_t v = asInt(value);
  switch (field) {
    case SQL_DESC_ARRAY_SIZE:
      if (!app) return Fail(desc, ERR_DESC_TYPE_RANGE);
      // A rowset or parameter set holds at least one row.
      if (v <= 0 || static_cast<uint64_t>(v) > UINT32_MAX) return Fail(desc, ERR_INVALID_ARGUMENT);
      desc->arraySize = static_cast<uint64_t>(v);
      if (withStmt && stmt != nullptr && stmt->ard == desc &&
          static_cast<uint64_t>(v) != stmt->cursor.rowsetSize) {
        // One rowset size however it is set: the agent and the fetch hear
        // of it as they do of the statement attribute, and the descriptor
        // keeps the size the statement ends up with.
        // The outcome is the descriptor's; the statement keeps its pending code.
        PendingAside aside(&stmt->diag);
        const DRV_Return rc = STMT_SetOption(stmt, SQL_ROWSET_SIZE, static_cast<uint64_t>(v));
        if (rc == SQL_ERROR)
          return Fail(desc, aside.left() != 0 ? aside.left() : ERR_INVALID_ARGUMENT);
        desc->arraySize = stmt->cursor.rowsetSize;
      }
      return 0;
    case SQL_DESC_ARRAY_STATUS_PTR: desc->arrayStatus = static_cast<uint16_t*>(value); return 0;
    case SQL_DESC_BIND_OFFSET_PTR:
      if (!app) return Fail(desc, ERR_DESC_TYPE_RANGE);
      desc->bindOffset = static_cast<int64_t*>(value);
      return 0;
    case SQL_DESC_BIND_TYPE:
      if (!app) return Fail(desc, ERR_DESC_TYPE_RANGE);
      desc->bindType = static_cast<uint32_t>(v);
      if (withStmt && stmt != nullptr && stmt->ard == desc) stmt->bindType = desc->bindType;
      return 0;
    case SQL_DESC_ROWS_PROCESSED_PTR:
      if (app) return Fail(desc, ERR_DESC_TYPE_RANGE);
      desc->rowsProcessed = static_cast<uint64_t*>(value);
      return 0;
    case SQL_DESC_COUNT: {
      if (desc->kind == kDescIRD) return Fail(desc, ERR_DESC_TYPE_RANGE);
      if (v < 0 || v > INT16_MAX) return Fail(desc, ERR_INVALID_ARGUMENT);
      const int n = static_cast<int>(v);
      if (n < DESC_Count(desc)) DESC_Truncate(desc, n);
      const int rc = DESC_Grow(desc, n);
      desc->count = static_cast<int16_t>(DESC_Count(desc));
      if (rc != 0) return Fail(desc, rc);
      if (withStmt && stmt != nullptr && stmt->apd == desc && stmt->ipd != nullptr &&
          DESC_Count(stmt->ipd) < n) {
        const int rc2 = DESC_Grow(stmt->ipd, n);
        if (rc2 != 0) return Fail(desc, rc2);
      }
      return 0;
    }
    default: return 1;  // not a header field
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Type rules.

bool DESC_IsCharType(int t) {
  return t == SQL_WLONGVARCHAR || t == SQL_WVARCHAR || t == SQL_WCHAR || t == SQL_LONGVARCHAR ||
         t == SQL_CHAR || t == SQL_VARCHAR;
}

bool DESC_IsCharOrBinaryType(int t) {
  return DESC_IsCharType(t) || inRange(t, SQL_LONGVARBINARY, SQL_BINARY);
}

bool DESC_DeriveFromType(DescRec* rec, int16_t type) {
  const int t = type;
  if (DESC_IsCharType(t)) {
    rec->conciseType = type;
    rec->length = 1;
    setPrecision(rec, 0);
  } else if (t == SQL_NUMERIC || t == SQL_DECIMAL) {
    rec->conciseType = type;
    rec->scale = 0;
    setPrecision(rec, 38);
  } else if (t == SQL_FLOAT) {
    rec->conciseType = type;
    setPrecision(rec, 53);
  } else if (t == SQL_REAL) {
    rec->conciseType = type;
    setPrecision(rec, 24);
  } else if (t == SQL_DATETIME) {
    switch (rec->dtCode) {
      case SQL_CODE_DATE:
        rec->conciseType = SQL_TYPE_DATE;
        setPrecision(rec, 0);
        break;
      case SQL_CODE_TIME:
        rec->conciseType = SQL_TYPE_TIME;
        setPrecision(rec, 0);
        break;
      case SQL_CODE_TIMESTAMP:
        rec->conciseType = SQL_TYPE_TIMESTAMP;
        setPrecision(rec, 6);
        break;
      default: break;
    }
  } else if (t == SQL_INTERVAL) {
    if (inRange(rec->dtCode, SQL_CODE_YEAR, SQL_CODE_MINUTE_TO_SECOND)) {
      rec->conciseType = static_cast<int16_t>(rec->dtCode - SQL_CODE_YEAR + SQL_INTERVAL_YEAR);
      rec->dtPrecision = 2;
      if (intervalWithSeconds(rec->dtCode)) setPrecision(rec, 6);
    }
  } else if (plainType(t)) {
    rec->conciseType = type;
  } else {
    return false;
  }
  rec->type = type;
  return true;
}

bool DESC_DeriveFromConcise(DescRec* rec, int16_t concise) {
  const int c = concise;
  if (DESC_IsCharType(c)) {
    rec->type = concise;
    rec->dtCode = 0;
    rec->length = 1;
    setPrecision(rec, 0);
  } else if (c == SQL_NUMERIC || c == SQL_DECIMAL) {
    rec->type = concise;
    rec->dtCode = 0;
    rec->scale = 0;
    setPrecision(rec, 38);
  } else if (c == SQL_FLOAT || c == SQL_REAL) {
    rec->type = concise;
    rec->dtCode = 0;
    setPrecision(rec, c == SQL_FLOAT ? 53 : 24);
  } else if (c == SQL_DATE || c == SQL_TYPE_DATE || c == SQL_TIME || c == SQL_TYPE_TIME) {
    rec->type = SQL_DATETIME;
    rec->dtCode = (c == SQL_DATE || c == SQL_TYPE_DATE) ? SQL_CODE_DATE : SQL_CODE_TIME;
    setPrecision(rec, 0);
  } else if (c == SQL_TIMESTAMP || c == SQL_TYPE_TIMESTAMP) {
    rec->type = SQL_DATETIME;
    rec->dtCode = SQL_CODE_TIMESTAMP;
    setPrecision(rec, 6);
  } else if (c == SQL_C_DEFAULT) {
    rec->type = concise;
  } else if (inRange(c, SQL_INTERVAL_YEAR, SQL_INTERVAL_MINUTE_TO_SECOND)) {
    rec->type = SQL_INTERVAL;
    rec->dtCode = static_cast<int16_t>(c - SQL_INTERVAL_YEAR + SQL_CODE_YEAR);
    rec->dtPrecision = 2;
    if (intervalWithSeconds(rec->dtCode)) setPrecision(rec, 6);
  } else if (plainType(c)) {
    rec->type = concise;
    rec->dtCode = 0;
  } else {
    return false;
  }
  rec->conciseType = concise;
  return true;
}

// ---------------------------------------------------------------------------
// Output helpers.

void DESC_PutU16(void* value, int64_t* length, uint16_t v) {
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  if (length != nullptr) *length = sizeof v;
}

void DESC_PutU32(void* value, int64_t* length, uint32_t v) {
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  if (length != nullptr) *length = sizeof v;
}

void DESC_PutU64(void* value, int64_t* length, uint64_t v) {
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  if (length != nullptr) *length = sizeof v;
}

int DESC_PutPtr(DescHandle* desc, void* value, int64_t size, int64_t* length, const void* v) {
  if (size != SQL_IS_POINTER && size < static_cast<int64_t>(sizeof(void*)))
    return Fail(desc, ERR_INVALID_ARGUMENT);
  if (value != nullptr) std::memcpy(value, &v, sizeof v);
  if (length != nullptr) *length = sizeof v;
  return 0;
}

int DESC_PutText(DescHandle* desc, void* value, int64_t size, int64_t* length, const char* text) {
  if (text == nullptr) text = "";
  if (value != nullptr && size < 0) return Fail(desc, ERR_INVALID_LENGTH);
  const int64_t full = static_cast<int64_t>(std::strlen(text));
  if (length != nullptr) *length = full;
  if (value == nullptr) return 0;
  if (full < size) {
    std::memcpy(value, text, static_cast<size_t>(full) + 1);
    return 0;
  }
  if (size > 0) STR_CopyOut(text, static_cast<char*>(value), size, nullptr);
  return Warn(desc, ERR_TRUNCATED);
}

int DESC_PutTextW(DescHandle* desc, void* value, int64_t size, int64_t* length, const char* text) {
  if (text == nullptr) text = "";
  if (value != nullptr && size < 0) return Fail(desc, ERR_INVALID_LENGTH);
  int64_t units = 0;
  const int rc =
      utf8_to_utf16_out64(text, static_cast<char16_t*>(value), size > 0 ? size / 2 : 0, &units);
  if (length != nullptr) *length = units * 2;
  if (value == nullptr) return 0;
  if (rc != 0) return Warn(desc, ERR_TRUNCATED);
  return 0;
}

// ---------------------------------------------------------------------------
// Setting.

int DESC_SetField(DescHandle* desc, int16_t record, int16_t field, void* value, int64_t length,
                  int width) {
  if (TRC_Active()) TRC_Printf("Descriptor Type: %s", DESC_KindName(desc));
  if (readOnlyField(field)) return Fail(desc, ERR_DESC_TYPE_RANGE);

  if (desc->kind == kDescExplicit) {
    const std::vector<StmtHandle*> asArd = DESC_UsersOf(desc, true);
    const std::vector<StmtHandle*> asApd = DESC_UsersOf(desc, false);
    for (StmtHandle* s : asArd)
      if (DESC_SetFieldImpl(s, true, true, true, desc, record, field, value, length, width) != 0)
        return -1;
    for (StmtHandle* s : asApd)
      if (DESC_SetFieldImpl(s, true, false, true, desc, record, field, value, length, width) != 0)
        return -1;
    if (asArd.empty() && asApd.empty())
      return DESC_SetFieldImpl(nullptr, true, false, false, desc, record, field, value, length,
                               width);
    return 0;
  }
  const bool app = desc->kind == kDescARD || desc->kind == kDescAPD;
  const bool row = desc->kind == kDescARD || desc->kind == kDescIRD;
  return DESC_SetFieldImpl(desc->stmt, app, row, desc->stmt != nullptr, desc, record, field, value,
                           length, width);
}

int DESC_SetFieldImpl(StmtHandle* stmt, bool app, bool row, bool withStmt, DescHandle* desc,
                      int16_t record, int16_t field, void* value, int64_t length, int width) {
  const int h = setHeader(stmt, app, withStmt, desc, field, value);
  if (h <= 0) return h;

  // Record fields.
  if (desc->kind == kDescIRD) return Fail(desc, ERR_IMPL_ROW_DESC);
  if (record < 0 || (record == 0 && !row)) return Fail(desc, ERR_INVALID_DESC_INDEX);

  // Which kinds take the field at all.
  switch (field) {
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE:
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
    case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_DATETIME_INTERVAL_CODE:
    case SQL_DESC_OCTET_LENGTH: break;
    case SQL_DESC_PARAMETER_TYPE:
    case SQL_DESC_NAME:
      if (desc->kind != kDescIPD) return Fail(desc, ERR_DESC_TYPE_RANGE);
      break;
    case SQL_DESC_UNNAMED:
      if (app) return Fail(desc, ERR_DESC_TYPE_RANGE);
      if (asInt(value) != SQL_UNNAMED && asInt(value) != 0) return Fail(desc, ERR_DESC_TYPE_RANGE);
      break;
    case SQL_DESC_OCTET_LENGTH_PTR:
    case SQL_DESC_INDICATOR_PTR:
      if (!app) return Fail(desc, ERR_DESC_TYPE_RANGE);
      break;
    case SQL_DESC_DATA_PTR:
      if (!app) return 0;  // implementation records hold no data
      break;
    default: return Fail(desc, ERR_NOT_SUPPORTED);
  }

  if (record > DESC_Count(desc)) {
    const int rc = DESC_Grow(desc, record);
    if (rc != 0) return Fail(desc, rc);
    if (withStmt && stmt != nullptr && stmt->apd == desc && stmt->ipd != nullptr &&
        DESC_Count(stmt->ipd) < record) {
      const int rc2 = DESC_Grow(stmt->ipd, record);
      if (rc2 != 0) return Fail(desc, rc2);
    }
  }
  DescRec* rec = DESC_GetRec(desc, record);
  if (rec == nullptr) return Fail(desc, ERR_NO_MEMORY);
  if (app && unbindingField(field)) rec->data = nullptr;

  const intptr_t v = asInt(value);
  switch (field) {
    case SQL_DESC_TYPE: {
      if (v == 0) return 0;
      DescRec trial = *rec;
      if (!DESC_DeriveFromType(&trial, static_cast<int16_t>(v)) || v != static_cast<int16_t>(v))
        return Fail(desc, ERR_OPTION_RANGE);
      *rec = std::move(trial);
      return 0;
    }
    case SQL_DESC_CONCISE_TYPE: {
      if (v == 0) return 0;
      DescRec trial = *rec;
      if (!DESC_DeriveFromConcise(&trial, static_cast<int16_t>(v)) || v != static_cast<int16_t>(v))
        return Fail(desc, ERR_OPTION_RANGE);
      *rec = std::move(trial);
      if (desc->kind == kDescIPD) rec->paramType = SQL_PARAM_INPUT;
      return 0;
    }
    case SQL_DESC_DATETIME_INTERVAL_PRECISION:
      if (v != 0) rec->dtPrecision = static_cast<int32_t>(v);
      return 0;
    case SQL_DESC_NUM_PREC_RADIX:
      if (v != 0) rec->radix = static_cast<int32_t>(v);
      return 0;
    case SQL_DESC_PARAMETER_TYPE:
      if (v != 0) rec->paramType = static_cast<int16_t>(v);
      return 0;
    case SQL_DESC_LENGTH: rec->length = static_cast<uint64_t>(v); return 0;
    case SQL_DESC_OCTET_LENGTH: rec->octetLength = static_cast<int64_t>(v); return 0;
    case SQL_DESC_PRECISION: rec->precision = static_cast<int16_t>(v); return 0;
    case SQL_DESC_SCALE: rec->scale = static_cast<int16_t>(v); return 0;
    case SQL_DESC_DATETIME_INTERVAL_CODE:
      if (v == 0) return 0;
      rec->dtCode = static_cast<int16_t>(v);
      if (rec->type == SQL_DATETIME && inRange(rec->dtCode, SQL_CODE_DATE, SQL_CODE_TIMESTAMP))
        rec->conciseType = static_cast<int16_t>(rec->dtCode - SQL_CODE_DATE + SQL_TYPE_DATE);
      else if (rec->type == SQL_INTERVAL &&
               inRange(rec->dtCode, SQL_CODE_YEAR, SQL_CODE_MINUTE_TO_SECOND))
        rec->conciseType = static_cast<int16_t>(rec->dtCode - SQL_CODE_YEAR + SQL_INTERVAL_YEAR);
      return 0;
    case SQL_DESC_OCTET_LENGTH_PTR: rec->octetLengthPtr = static_cast<int64_t*>(value); return 0;
    case SQL_DESC_INDICATOR_PTR: rec->indicator = static_cast<int64_t*>(value); return 0;
    case SQL_DESC_DATA_PTR: rec->data = value; return 0;
    case SQL_DESC_NAME:
      if (value == nullptr) return 0;
      return storeName(desc, rec, value, length, width);
    case SQL_DESC_UNNAMED:
      if (v == SQL_UNNAMED) rec->unnamed = SQL_UNNAMED;
      return 0;
    default: return Fail(desc, ERR_NOT_SUPPORTED);
  }
}
