// Statement attributes, ODBC 3 form: SQLSetStmtAttr and SQLGetStmtAttr. The
// options of the ODBC 2 form go to its setter and getter; the attributes that
// are descriptor header fields go to the statement's current descriptors.
#include <sql.h>
#include <sqlext.h>

#include "driver/desc.h"
#include "driver/descfield.h"
#include "driver/ops.h"
#include "driver/stmtopt.h"
#include "driver/stmtopt_internal.h"
#include "platform/lock.h"
#include "util/errcodes.h"
#include "util/odbc_own.h"

namespace {

using namespace stmtopt;

// Attributes that are ODBC 2 statement options under the same number.
bool IsOption(int32_t a) {
  return (a >= SQL_QUERY_TIMEOUT && a <= SQL_ASYNC_ENABLE) ||
         (a >= SQL_CURSOR_TYPE && a <= SQL_USE_BOOKMARKS) || a == SQL_ROW_NUMBER ||
         a == QMR_STMT_OPTION_1052 || a == QMR_STMT_OPTION_1054;
}

uintptr_t AsNumber(void* value) { return reinterpret_cast<uintptr_t>(value); }

// The statement's diagnostics take over what a descriptor operation left on
// the descriptor: the application asks the statement it called.
void TakeDiag(StmtHandle* stmt, DescHandle* desc) {
  DIAG_Clear(&stmt->diag);
  stmt->diag = desc->diag;
  desc->diag = DiagArea{};
}

DRV_Return SetDescField(StmtHandle* stmt, DescHandle* desc, int16_t field, void* value) {
  if (desc == nullptr) return Fail(stmt, ERR_NOT_CAPABLE);
  if (DESC_SetField(desc, 0, field, value, 0, kWidthAnsi) == 0) return SQL_SUCCESS;
  TakeDiag(stmt, desc);
  // The descriptor's diagnostics say why; a refusal without any gets one.
  if (stmt->diag.pending == 0 && stmt->diag.count == 0) return Fail(stmt, ERR_INVALID_ATTR_VALUE);
  return SQL_ERROR;
}

DRV_Return SetRowArraySize(StmtHandle* stmt, void* value) {
  const uintptr_t v = AsNumber(value);
  if (v == 0) return Fail(stmt, ERR_INVALID_ATTR_VALUE);
  // The same value as the rowset size: the agent may lower it.
  const DRV_Return rc = STMT_SetOption(stmt, SQL_ROWSET_SIZE, v);
  if (rc == SQL_ERROR) return rc;
  if (stmt->ard != nullptr && stmt->ard != stmt->implicitArd) {
    // An installed ARD holds the array size itself (and hands it to every
    // statement using it).
    const int32_t pending = stmt->diag.pending;
    const DRV_Return d =
        SetDescField(stmt, stmt->ard, SQL_DESC_ARRAY_SIZE,
                     reinterpret_cast<void*>(static_cast<uintptr_t>(stmt->cursor.rowsetSize)));
    if (d != SQL_SUCCESS) return d;
    // What the rowset size answered (a lowered size's 01S02) stays the call's.
    RestorePending(stmt, pending);
  }
  return rc;
}

DRV_Return SetScrollable(StmtHandle* stmt, uintptr_t v) {
  if (v == SQL_NONSCROLLABLE) return STMT_SetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
  if (v != SQL_SCROLLABLE) return SQL_SUCCESS;
  if (stmt->cursor.cursorType != SQL_CURSOR_FORWARD_ONLY) return SQL_SUCCESS;
  const DRV_Return rc = STMT_SetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
  if (rc != SQL_SUCCESS_WITH_INFO) return rc;
  // The agent chose another type: only staying forward-only is news.
  if (stmt->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY) return rc;
  ClearPending(stmt);
  return SQL_SUCCESS;
}

DRV_Return SetSensitivity(StmtHandle* stmt, uintptr_t v) {
  switch (v) {
    case SQL_UNSPECIFIED: return SQL_SUCCESS;
    case SQL_INSENSITIVE: {
      DRV_Return rc = STMT_SetOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY);
      if (rc != SQL_SUCCESS) return rc;
      rc = STMT_SetOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
      if (rc == SQL_SUCCESS_WITH_INFO) {
        ClearPending(stmt);
        return SQL_SUCCESS;
      }
      return rc;
    }
    case SQL_SENSITIVE: {
      if (stmt->cursor.concurrency != SQL_CONCUR_READ_ONLY) return SQL_SUCCESS;
      const DRV_Return rc = STMT_SetOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_VALUES);
      if (rc != SQL_SUCCESS_WITH_INFO) return rc;
      if (stmt->cursor.concurrency == SQL_CONCUR_READ_ONLY) return rc;
      ClearPending(stmt);
      return SQL_SUCCESS;
    }
    default: return Fail(stmt, ERR_INVALID_ATTR_VALUE);
  }
}

// SQL_ATTR_APP_ROW_DESC / SQL_ATTR_APP_PARAM_DESC: installs an explicit
// descriptor, or gives the statement its implicit one back (a null handle or
// the implicit handle itself).
DRV_Return InstallAppDesc(StmtHandle* stmt, void* value, bool row) {
  DescHandle* const implicit = row ? stmt->implicitArd : stmt->implicitApd;
  DescHandle* chosen = nullptr;
  if (value == nullptr) {
    chosen = implicit;
  } else {
    // The handle is resolved (tag and owner checked) before any field of
    // it is read.
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    const uint64_t number = DRV_HandleNumber(value);
    DescHandle* d = number <= UINT32_MAX ? DRV_LookupDesc(number) : nullptr;
    if (d == nullptr) return Fail(stmt, ERR_INVALID_ATTR_VALUE);
    if (d->allocType == kDescAllocAuto) {
      if (d != implicit) return Fail(stmt, ERR_AUTO_DESC);
    } else if (d->conn != stmt->conn) {
      return Fail(stmt, ERR_INVALID_ATTR_VALUE);
    }
    chosen = d;
  }
  if (chosen == nullptr) return Fail(stmt, ERR_NOT_CAPABLE);
  DescHandle*& current = row ? stmt->ard : stmt->apd;
  DescHandle* const previous = current;
  current = chosen;
  const int code = row ? DESC_RebindCols(stmt, chosen) : DESC_RebindParams(stmt, chosen);
  if (code != 0) {
    current = previous;
    if (previous != nullptr) {
      if (row)
        DESC_RebindCols(stmt, previous);
      else
        DESC_RebindParams(stmt, previous);
    }
    return Fail(stmt, code);
  }
  return SQL_SUCCESS;
}

// A pointer attribute: SQLPOINTER wide whatever buffer length came with it.
DRV_Return PutPointer(void* value, int32_t* length, const void* p) {
  if (value != nullptr) std::memcpy(value, &p, sizeof p);
  if (length != nullptr) *length = SQL_IS_POINTER;
  return SQL_SUCCESS;
}

DRV_Return PutHandle(void* value, int32_t* length, const DescHandle* d) {
  void* h = DRV_HandleValue(d != nullptr ? d->handle : 0);
  if (value != nullptr) std::memcpy(value, &h, sizeof h);
  if (length != nullptr) *length = SQL_IS_POINTER;
  return SQL_SUCCESS;
}

}  // namespace

DRV_Return STMT_SetAttr(StmtHandle* stmt, int32_t attribute, void* value, int32_t length,
                        int width) {
  (void)length;
  (void)width;
  if (IsOption(attribute))
    return STMT_SetOption(stmt, static_cast<uint16_t>(attribute), AsNumber(value));
  switch (attribute) {
    case SQL_ATTR_ROW_BIND_TYPE: return SetDescField(stmt, stmt->ard, SQL_DESC_BIND_TYPE, value);
    case SQL_ATTR_ENABLE_AUTO_IPD:
      // Parameters are never described automatically.
      return value != nullptr ? Changed(stmt) : SQL_SUCCESS;
    case SQL_ATTR_FETCH_BOOKMARK_PTR: stmt->fetchBookmarkPtr = value; return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      return SetDescField(stmt, stmt->apd, SQL_DESC_BIND_OFFSET_PTR, value);
    case SQL_ATTR_PARAM_BIND_TYPE: return SetDescField(stmt, stmt->apd, SQL_DESC_BIND_TYPE, value);
    case SQL_ATTR_PARAM_OPERATION_PTR:
      return SetDescField(stmt, stmt->apd, SQL_DESC_ARRAY_STATUS_PTR, value);
    case SQL_ATTR_PARAMSET_SIZE: return SetDescField(stmt, stmt->apd, SQL_DESC_ARRAY_SIZE, value);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      return SetDescField(stmt, stmt->ard, SQL_DESC_BIND_OFFSET_PTR, value);
    case SQL_ATTR_ROW_OPERATION_PTR:
      return SetDescField(stmt, stmt->ard, SQL_DESC_ARRAY_STATUS_PTR, value);
    case SQL_ATTR_ROW_ARRAY_SIZE: return SetRowArraySize(stmt, value);
    // The status and count pointers: a null pointer withdraws the earlier
    // one, so that nothing is written through it any more.
    case SQL_ATTR_PARAM_STATUS_PTR:
      return SetDescField(stmt, stmt->ipd, SQL_DESC_ARRAY_STATUS_PTR, value);
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
      return SetDescField(stmt, stmt->ipd, SQL_DESC_ROWS_PROCESSED_PTR, value);
    case SQL_ATTR_ROW_STATUS_PTR:
      return SetDescField(stmt, stmt->ird, SQL_DESC_ARRAY_STATUS_PTR, value);
    case SQL_ATTR_ROWS_FETCHED_PTR:
      return SetDescField(stmt, stmt->ird, SQL_DESC_ROWS_PROCESSED_PTR, value);
    case SQL_ATTR_CURSOR_SCROLLABLE: return SetScrollable(stmt, AsNumber(value));
    case SQL_ATTR_CURSOR_SENSITIVITY: return SetSensitivity(stmt, AsNumber(value));
    case SQL_ATTR_APP_ROW_DESC: return InstallAppDesc(stmt, value, true);
    case SQL_ATTR_APP_PARAM_DESC: return InstallAppDesc(stmt, value, false);
    case SQL_ATTR_METADATA_ID:  // the connection's rule: SQL_FALSE only
      if (AsNumber(value) == SQL_FALSE) return SQL_SUCCESS;
      return Fail(stmt, ERR_NOT_CAPABLE);
    default: return Fail(stmt, ERR_OPTION_RANGE);
  }
}

DRV_Return DRV_SetStmtAttrOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto attribute = va_arg(args, SQLINTEGER);
  void* value = va_arg(args, void*);
  const auto length = va_arg(args, SQLINTEGER);
  const int width = va_arg(args, int);
  return STMT_SetAttr(stmt, attribute, value, length, width);
}

DRV_Return DRV_GetStmtAttrOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto attribute = va_arg(args, SQLINTEGER);
  void* value = va_arg(args, void*);
  (void)va_arg(args, SQLINTEGER);  // buffer length: no attribute here is text
  auto* length = va_arg(args, SQLINTEGER*);
  if (IsOption(attribute)) {
    return STMT_GetOption(stmt, static_cast<uint16_t>(attribute), value, true);
  }
  if (attribute == SQL_ATTR_METADATA_ID) return Put64(value, SQL_FALSE);
  if (value == nullptr) {
    switch (attribute) {
      case SQL_ATTR_APP_ROW_DESC:
      case SQL_ATTR_APP_PARAM_DESC:
      case SQL_ATTR_IMP_ROW_DESC:
      case SQL_ATTR_IMP_PARAM_DESC: break;  // the length still says what kind of answer it is
      default:
        if ((attribute >= 15 && attribute <= 27) || attribute == SQL_ATTR_CURSOR_SCROLLABLE ||
            attribute == SQL_ATTR_CURSOR_SENSITIVITY)
          return SQL_SUCCESS;
        return Fail(stmt, ERR_OPTION_RANGE);
    }
  }
  const DescHandle* apd = stmt->apd;
  const DescHandle* ard = stmt->ard;
  switch (attribute) {
    case SQL_ATTR_ROW_BIND_TYPE: return Put64(value, stmt->bindType);
    case SQL_ATTR_ENABLE_AUTO_IPD: return Put32(value, 0);
    case SQL_ATTR_FETCH_BOOKMARK_PTR: return PutPointer(value, length, stmt->fetchBookmarkPtr);
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      return PutPointer(value, length, apd != nullptr ? apd->bindOffset : nullptr);
    case SQL_ATTR_PARAM_BIND_TYPE: return Put64(value, apd != nullptr ? apd->bindType : 0);
    case SQL_ATTR_PARAM_OPERATION_PTR:
      return PutPointer(value, length, apd != nullptr ? apd->arrayStatus : nullptr);
    case SQL_ATTR_PARAM_STATUS_PTR:
      return PutPointer(value, length, stmt->ipd != nullptr ? stmt->ipd->arrayStatus : nullptr);
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
      return PutPointer(value, length, stmt->ipd != nullptr ? stmt->ipd->rowsProcessed : nullptr);
    case SQL_ATTR_PARAMSET_SIZE: return Put64(value, apd != nullptr ? apd->arraySize : 1);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      return PutPointer(value, length, ard != nullptr ? ard->bindOffset : nullptr);
    case SQL_ATTR_ROW_OPERATION_PTR:
      return PutPointer(value, length, ard != nullptr ? ard->arrayStatus : nullptr);
    case SQL_ATTR_ROW_STATUS_PTR:
      return PutPointer(value, length, stmt->ird != nullptr ? stmt->ird->arrayStatus : nullptr);
    case SQL_ATTR_ROWS_FETCHED_PTR:
      return PutPointer(value, length, stmt->ird != nullptr ? stmt->ird->rowsProcessed : nullptr);
    case SQL_ATTR_ROW_ARRAY_SIZE: return Put64(value, stmt->cursor.rowsetSize);
    case SQL_ATTR_CURSOR_SENSITIVITY:
      return Put32(value, stmt->cursor.concurrency == SQL_CONCUR_READ_ONLY ? SQL_INSENSITIVE
                                                                           : SQL_SENSITIVE);
    case SQL_ATTR_CURSOR_SCROLLABLE: {
      const uint32_t t = stmt->cursor.cursorType;
      return Put32(value, t >= 1 && t <= 3 ? SQL_SCROLLABLE : SQL_NONSCROLLABLE);
    }
    case SQL_ATTR_APP_ROW_DESC: return PutHandle(value, length, stmt->ard);
    case SQL_ATTR_APP_PARAM_DESC: return PutHandle(value, length, stmt->apd);
    case SQL_ATTR_IMP_ROW_DESC: return PutHandle(value, length, stmt->ird);
    case SQL_ATTR_IMP_PARAM_DESC: return PutHandle(value, length, stmt->ipd);
    default: return Fail(stmt, ERR_OPTION_RANGE);
  }
}
