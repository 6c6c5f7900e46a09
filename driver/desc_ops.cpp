// SQLGetDescField, SQLSetDescField, SQLGetDescRec, SQLSetDescRec and
// SQLCopyDesc.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "driver/desc.h"
#include "driver/descfield.h"
#include "driver/ops.h"
#include "driver/trace.h"
#include "util/errcodes.h"

namespace {

constexpr int64_t kNameBuffer = 255;

DRV_Return toReturn(int rc) {
  switch (rc) {
    case SQL_SUCCESS: return SQL_SUCCESS;
    case SQL_SUCCESS_WITH_INFO: return SQL_SUCCESS_WITH_INFO;
    case SQL_NO_DATA: return SQL_NO_DATA;
    default: return SQL_ERROR;
  }
}

bool isApp(const DescHandle* d) {
  return d->kind == kDescARD || d->kind == kDescAPD || d->kind == kDescExplicit;
}
bool isRow(const DescHandle* d) { return d->kind == kDescARD || d->kind == kDescIRD; }

// ---------------------------------------------------------------------------
// Copying one field: read it from the source in its own width, write it to
// the target. A read failure's code moves to the target.

enum class Width { U16, U32, U64, Ptr };

// A field the source could not give fails the copy on the target.
int failCopy(DescHandle* src, DescHandle* dst) {
  const int32_t code = TakePending(src);
  return Fail(dst, code != 0 ? code : ERR_INVALID_DESC_INDEX);
}

int copyField(DescHandle* src, DescHandle* dst, int record, int16_t field, Width w) {
  int64_t got = 0;
  void* value = nullptr;
  int rc;
  switch (w) {
    case Width::U16: {
      int16_t v = 0;
      rc = DESC_GetField(src, static_cast<uint16_t>(record), field, &v, sizeof v, &got, 'A');
      value = reinterpret_cast<void*>(static_cast<intptr_t>(v));
      break;
    }
    case Width::U32: {
      int32_t v = 0;
      rc = DESC_GetField(src, static_cast<uint16_t>(record), field, &v, sizeof v, &got, 'A');
      value = reinterpret_cast<void*>(static_cast<intptr_t>(v));
      break;
    }
    case Width::U64: {
      int64_t v = 0;
      rc = DESC_GetField(src, static_cast<uint16_t>(record), field, &v, sizeof v, &got, 'A');
      value = reinterpret_cast<void*>(static_cast<intptr_t>(v));
      break;
    }
    case Width::Ptr:
    default:
      rc =
          DESC_GetField(src, static_cast<uint16_t>(record), field, &value, sizeof value, &got, 'A');
      break;
  }
  if (rc < 0 || rc == SQL_NO_DATA) return failCopy(src, dst);
  return DESC_SetField(dst, static_cast<int16_t>(record), field, value, 0, 'A');
}

int copyName(DescHandle* src, DescHandle* dst, int record) {
  char name[kNameBuffer + 1] = "";
  int64_t got = 0;
  const int rc = DESC_GetField(src, static_cast<uint16_t>(record), SQL_DESC_NAME, name, kNameBuffer,
                               &got, 'A');
  if (rc < 0 || rc == SQL_NO_DATA) return failCopy(src, dst);
  ClearPending(src);  // a cut name is copied as cut
  return DESC_SetField(dst, static_cast<int16_t>(record), SQL_DESC_NAME, name, SQL_NTS, 'A');
}

bool bookmarksOn(const DescHandle* d) { return d->stmt != nullptr && d->stmt->useBookmarks != 0; }

int copyDesc(DescHandle* src, DescHandle* dst) {
  const bool srcApp = isApp(src);
  const bool dstApp = isApp(dst);

  // Header.
  if (srcApp && dstApp && copyField(src, dst, 0, SQL_DESC_ARRAY_SIZE, Width::U64) != 0) return -1;
  if (copyField(src, dst, 0, SQL_DESC_ARRAY_STATUS_PTR, Width::Ptr) != 0) return -1;
  if (srcApp && dstApp) {
    if (copyField(src, dst, 0, SQL_DESC_BIND_OFFSET_PTR, Width::Ptr) != 0) return -1;
    if (copyField(src, dst, 0, SQL_DESC_BIND_TYPE, Width::U32) != 0) return -1;
  }
  if (copyField(src, dst, 0, SQL_DESC_COUNT, Width::U16) != 0) return -1;
  if (!srcApp && !dstApp && copyField(src, dst, 0, SQL_DESC_ROWS_PROCESSED_PTR, Width::Ptr) != 0)
    return -1;

  // Records.
  const bool bookmark = isRow(src) && isRow(dst) && bookmarksOn(src) && bookmarksOn(dst);
  const bool bothApp = srcApp && dstApp;
  const bool bothImpl = !srcApp && !dstApp;
  const bool bothIpd = src->kind == kDescIPD && dst->kind == kDescIPD;
  for (int r = bookmark ? 0 : 1; r <= DESC_Count(dst); ++r) {
    if (copyField(src, dst, r, SQL_DESC_TYPE, Width::U16) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_CONCISE_TYPE, Width::U16) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_DATETIME_INTERVAL_CODE, Width::U16) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_DATETIME_INTERVAL_PRECISION, Width::U32) != 0) return -1;
    if (bothApp && copyField(src, dst, r, SQL_DESC_INDICATOR_PTR, Width::Ptr) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_LENGTH, Width::U64) != 0) return -1;
    if (bothImpl && copyName(src, dst, r) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_NUM_PREC_RADIX, Width::U32) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_OCTET_LENGTH, Width::U64) != 0) return -1;
    if (bothApp && copyField(src, dst, r, SQL_DESC_OCTET_LENGTH_PTR, Width::Ptr) != 0) return -1;
    if (bothIpd && copyField(src, dst, r, SQL_DESC_PARAMETER_TYPE, Width::U16) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_PRECISION, Width::U16) != 0) return -1;
    if (copyField(src, dst, r, SQL_DESC_SCALE, Width::U16) != 0) return -1;
    if (bothIpd && copyField(src, dst, r, SQL_DESC_UNNAMED, Width::U16) != 0) return -1;
    if (bothApp && copyField(src, dst, r, SQL_DESC_DATA_PTR, Width::Ptr) != 0) return -1;
  }
  return 0;
}

bool statementPrepared(const StmtHandle* s) {
  return s != nullptr && ((s->flags & kStmtFlagPrepared) != 0 || s->state == kStmtPrepared);
}

}  // namespace

DRV_Return DRV_GetDescFieldOp(void* h, va_list args) {
  auto* desc = static_cast<DescHandle*>(h);
  const int record = va_arg(args, int);
  const int field = va_arg(args, int);
  void* value = va_arg(args, void*);
  const int size = va_arg(args, int);
  auto* length = va_arg(args, SQLINTEGER*);
  const int width = va_arg(args, int);
  if (record < 0 && !DESC_IsHeaderField(field)) return Fail(desc, ERR_INVALID_DESC_INDEX);
  int64_t got = 0;
  const int rc = DESC_GetField(desc, static_cast<uint16_t>(record < 0 ? 0 : record),
                               static_cast<int16_t>(field), value, size, &got, width);
  if (length != nullptr && (rc == 0 || rc == 1))
    *length = static_cast<SQLINTEGER>(got > INT32_MAX ? INT32_MAX : got);
  return toReturn(rc);
}

DRV_Return DRV_SetDescFieldOp(void* h, va_list args) {
  auto* desc = static_cast<DescHandle*>(h);
  const int record = va_arg(args, int);
  const int field = va_arg(args, int);
  void* value = va_arg(args, void*);
  const int length = va_arg(args, int);
  const int width = va_arg(args, int);
  const int16_t rec = DESC_IsHeaderField(field) ? 0 : static_cast<int16_t>(record);
  return toReturn(DESC_SetField(desc, rec, static_cast<int16_t>(field), value, length, width));
}

DRV_Return DRV_GetDescRecOp(void* h, va_list args) {
  auto* desc = static_cast<DescHandle*>(h);
  const int record = va_arg(args, int);
  void* name = va_arg(args, void*);
  const int size = va_arg(args, int);
  auto* nameLength = va_arg(args, SQLSMALLINT*);
  auto* type = va_arg(args, SQLSMALLINT*);
  auto* subType = va_arg(args, SQLSMALLINT*);
  auto* octets = va_arg(args, SQLLEN*);
  auto* precision = va_arg(args, SQLSMALLINT*);
  auto* scale = va_arg(args, SQLSMALLINT*);
  auto* nullable = va_arg(args, SQLSMALLINT*);
  const int width = va_arg(args, int);
  if (record < 0) return Fail(desc, ERR_INVALID_DESC_INDEX);
  const auto rec = static_cast<uint16_t>(record);

  if (type != nullptr || subType != nullptr) {
    int16_t t = 0;
    const int rc = DESC_GetField(desc, rec, SQL_DESC_TYPE, &t, sizeof t, nullptr, width);
    if (rc != 0) return toReturn(rc);
    if (type != nullptr) *type = t;
    if (subType != nullptr) {
      *subType = 0;
      if (t == SQL_DATETIME || t == SQL_INTERVAL) {
        const int rc2 = DESC_GetField(desc, rec, SQL_DESC_DATETIME_INTERVAL_CODE, subType,
                                      sizeof *subType, nullptr, width);
        if (rc2 != 0) return toReturn(rc2);
      }
    }
  }
  int rc = DESC_GetField(desc, rec, SQL_DESC_OCTET_LENGTH, octets, sizeof(SQLLEN), nullptr, width);
  if (rc == 0) rc = DESC_GetField(desc, rec, SQL_DESC_PRECISION, precision, 2, nullptr, width);
  if (rc == 0) rc = DESC_GetField(desc, rec, SQL_DESC_SCALE, scale, 2, nullptr, width);
  if (rc != 0) return toReturn(rc);
  if (isApp(desc)) return SQL_SUCCESS;

  rc = DESC_GetField(desc, rec, SQL_DESC_NULLABLE, nullable, 2, nullptr, width);
  if (rc != 0) return toReturn(rc);
  // The wide entry point counts its name buffer and the name's length in
  // characters, as ODBC defines them.
  const bool wide = width == 'W';
  int64_t got = 0;
  rc = DESC_GetField(desc, rec, SQL_DESC_NAME, name, wide ? 2 * static_cast<int64_t>(size) : size,
                     &got, width);
  if (rc == 0 || rc == 1) {
    const int64_t n = wide ? got / 2 : got;
    if (nameLength != nullptr) *nameLength = static_cast<SQLSMALLINT>(n > 32767 ? 32767 : n);
  }
  return toReturn(rc);
}

DRV_Return DRV_SetDescRecOp(void* h, va_list args) {
  auto* desc = static_cast<DescHandle*>(h);
  const int record = va_arg(args, int);
  const int type = va_arg(args, int);
  const int subType = va_arg(args, int);
  const SQLLEN octets = va_arg(args, SQLLEN);
  const int precision = va_arg(args, int);
  const int scale = va_arg(args, int);
  void* data = va_arg(args, void*);
  auto* octetPtr = va_arg(args, SQLLEN*);
  auto* indicator = va_arg(args, SQLLEN*);
  if (desc->kind == kDescIRD) return Fail(desc, ERR_IMPL_ROW_DESC);
  const auto rec = static_cast<int16_t>(record);
  auto asValue = [](intptr_t v) { return reinterpret_cast<void*>(v); };

  if (DESC_SetField(desc, rec, SQL_DESC_TYPE, asValue(type), 0, 'A') != 0) return SQL_ERROR;
  if ((type == SQL_DATETIME || type == SQL_INTERVAL) &&
      DESC_SetField(desc, rec, SQL_DESC_DATETIME_INTERVAL_CODE, asValue(subType), 0, 'A') != 0)
    return SQL_ERROR;
  if (DESC_SetField(desc, rec, SQL_DESC_OCTET_LENGTH, asValue(octets), 0, 'A') != 0)
    return SQL_ERROR;
  if (DESC_SetField(desc, rec, SQL_DESC_PRECISION, asValue(precision), 0, 'A') != 0)
    return SQL_ERROR;
  if (DESC_SetField(desc, rec, SQL_DESC_SCALE, asValue(scale), 0, 'A') != 0) return SQL_ERROR;
  if (DESC_SetField(desc, rec, SQL_DESC_DATA_PTR, data, 0, 'A') != 0) return SQL_ERROR;
  if (isApp(desc)) {
    if (DESC_SetField(desc, rec, SQL_DESC_OCTET_LENGTH_PTR, octetPtr, 0, 'A') != 0)
      return SQL_ERROR;
    if (DESC_SetField(desc, rec, SQL_DESC_INDICATOR_PTR, indicator, 0, 'A') != 0) return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

DRV_Return DRV_CopyDescOp(void* h, va_list args) {
  auto* src = static_cast<DescHandle*>(h);
  void* targetHandle = va_arg(args, void*);
  DescHandle* dst;
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    dst = DRV_LookupDesc(DRV_HandleNumber(targetHandle));
  }
  if (dst == nullptr || dst->tag != kTagDesc) return SQL_INVALID_HANDLE;
  if (dst != src) DIAG_Clear(&dst->diag);
  if (TRC_Active()) {
    TRC_Printf("Source Descriptor Type: %s", DESC_KindName(src));
    TRC_Printf("Source Descriptor Type: %s", DESC_KindName(dst));
  }
  if (dst->kind == kDescIRD) return Fail(dst, ERR_IMPL_ROW_DESC);
  if (src->kind == kDescIRD && !statementPrepared(src->stmt))
    return Fail(dst, ERR_FUNCTION_SEQUENCE);
  if (dst == src) return SQL_SUCCESS;
  return copyDesc(src, dst) == 0 ? SQL_SUCCESS : SQL_ERROR;
}
