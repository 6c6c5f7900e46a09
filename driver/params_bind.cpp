// SQLBindParameter, SQLSetParam, SQLParamOptions, SQLNumParams and
// SQLDescribeParam; the parameter bindings live in the APD and IPD records.
#include "driver/params.h"

#include <sql.h>
#include <sqlext.h>

#include <cinttypes>

#include "driver/ctypes.h"
#include "driver/desc.h"
#include "driver/descfield.h"
#include "driver/ops.h"
#include "driver/trace.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"

namespace {

constexpr int32_t kUndescribedType = -9999;

uint32_t OdbcVersion(const StmtHandle* stmt) {
  const ConnHandle* c = stmt->conn;
  return c != nullptr && c->env != nullptr ? c->env->odbcVersion : 3;
}

// C types a parameter may be bound with; everything else is refused.
bool AcceptedCType(int c) {
  switch (c) {
    case SQL_C_UTINYINT:
    case SQL_C_UBIGINT:
    case SQL_C_STINYINT:
    case SQL_C_SBIGINT:
    case SQL_C_ULONG:
    case SQL_C_USHORT:
    case SQL_C_SLONG:
    case SQL_C_SSHORT:
    case SQL_C_GUID:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_NUMERIC:
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
    case SQL_C_CHAR: return true;
    default: return false;
  }
}

// The ODBC SQL types (ODBC 2's date-time codes among them); the driver
// defines no types of its own.
bool KnownSqlType(int t) {
  return (t >= SQL_GUID && t <= SQL_LONGVARCHAR) || (t >= SQL_CHAR && t <= SQL_VARCHAR) ||
         (t >= SQL_TYPE_DATE && t <= SQL_TYPE_TIMESTAMP) ||
         (t >= SQL_INTERVAL_YEAR && t <= SQL_INTERVAL_MINUTE_TO_SECOND);
}

bool IsTimeType(int t) {
  return t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP || t == SQL_INTERVAL_SECOND ||
         t == SQL_INTERVAL_DAY_TO_SECOND || t == SQL_INTERVAL_HOUR_TO_SECOND ||
         t == SQL_INTERVAL_MINUTE_TO_SECOND;
}

// Concise type with the verbose type and datetime code that follow from it;
// types the descriptor rules do not know keep both as given.
void SetConcise(DescRec* rec, int16_t concise) {
  if (!DESC_DeriveFromConcise(rec, concise)) {
    rec->conciseType = concise;
    rec->type = concise;
  }
}

// Column size and digits where the SQL type keeps them in the IPD record.
void SetSizes(DescRec* ipd, int16_t sqlType, uint64_t columnSize, int16_t digits) {
  const int t = sqlType;
  const bool lengthType = t == SQL_GUID || (t >= SQL_WLONGVARCHAR && t <= SQL_WCHAR) ||
                          (t >= SQL_LONGVARBINARY && t <= SQL_LONGVARCHAR) || t == SQL_CHAR ||
                          t == SQL_VARCHAR || t == SQL_TYPE_DATE ||
                          (t >= SQL_INTERVAL_YEAR && t <= SQL_INTERVAL_MINUTE) ||
                          (t >= SQL_INTERVAL_YEAR_TO_MONTH && t <= SQL_INTERVAL_DAY_TO_MINUTE) ||
                          t == SQL_INTERVAL_HOUR_TO_MINUTE;
  if (lengthType) {
    ipd->length = columnSize;
  } else if (t == SQL_NUMERIC || t == SQL_DECIMAL) {
    ipd->precision = static_cast<int16_t>(columnSize);
    ipd->scale = digits;
  } else if (t == SQL_FLOAT || t == SQL_REAL || t == SQL_DOUBLE) {
    ipd->precision = static_cast<int16_t>(columnSize);
  } else if (IsTimeType(t)) {
    ipd->length = columnSize;
    ipd->precision = digits;
  }
}

DRV_Return Result(const StmtHandle* stmt) {
  return stmt->diag.pending != 0 ? SQL_ERROR : SQL_SUCCESS;
}

}  // namespace

int16_t PAR_CType(const StmtHandle* stmt, const DescRec* apd, const DescRec* ipd) {
  int16_t c = apd->conciseType;
  if (c == SQL_C_DEFAULT && ipd != nullptr)
    c = static_cast<int16_t>(TYPE_DefaultCType(ipd->conciseType, OdbcVersion(stmt)));
  return c;
}

uint64_t PAR_ColumnSize(const DescRec* ipd) {
  const int t = ipd->conciseType;
  if (t == SQL_NUMERIC || t == SQL_DECIMAL || t == SQL_FLOAT || t == SQL_REAL || t == SQL_DOUBLE)
    return static_cast<uint64_t>(ipd->precision);
  return ipd->length;
}

int16_t PAR_DecimalDigits(const DescRec* ipd) {
  const int t = ipd->conciseType;
  if (IsTimeType(t)) return ipd->precision;
  return ipd->scale;
}

int PAR_Bind(StmtHandle* stmt, int number, int16_t paramType, int16_t cType, int16_t sqlType,
             uint64_t columnSize, int16_t digits, void* value, int64_t bufferLength,
             int64_t* lengthPtr, int64_t* indicatorPtr) {
  ClearPending(stmt);  // the callers read the outcome from the pending code
  if (value == nullptr && indicatorPtr == nullptr && paramType != SQL_PARAM_OUTPUT)
    return FailCode(stmt, ERR_INVALID_ARGUMENT);
  if (digits < 0 && IsTimeType(sqlType)) return FailCode(stmt, ERR_INVALID_SCALE);
  if (number < 1 || number > kParamMaxNumber) return FailCode(stmt, ERR_INVALID_PARAM_NUMBER);
  if (!KnownSqlType(sqlType)) return FailCode(stmt, ERR_SQL_TYPE_RANGE);
  if (cType == SQL_C_DEFAULT) {
    const uint32_t version = OdbcVersion(stmt);
    if (version < 3 &&
        (sqlType == SQL_WLONGVARCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WCHAR))
      cType = SQL_C_CHAR;
    else
      cType = static_cast<int16_t>(TYPE_DefaultCType(sqlType, version));
  }
  if (!AcceptedCType(cType)) return FailCode(stmt, ERR_RESTRICTED_TYPE);
  if (bufferLength == SQL_SETPARAM_VALUE_MAX) paramType = SQL_PARAM_INPUT;
  if (TRC_Active())
    TRC_Printf("Par#%d c_type=%d sql_type=%d prec=%" PRIu64 " scale=%d size=%d cbValueMax=%" PRId64,
               number, cType, sqlType, columnSize, digits, static_cast<int>(TYPE_CSize(cType)),
               bufferLength);

  DescHandle* apd = stmt->apd;
  DescHandle* ipd = stmt->ipd;
  if (apd == nullptr || ipd == nullptr) return FailCode(stmt, ERR_INVALID_ARGUMENT);
  if (DESC_Count(apd) < number) {
    if (int rc = DESC_Grow(apd, number)) return FailCode(stmt, rc);
  }
  if (DESC_Count(ipd) < number) {
    if (int rc = DESC_Grow(ipd, number)) return FailCode(stmt, rc);
  }
  DescRec* a = DESC_GetRec(apd, number);
  DescRec* i = DESC_GetRec(ipd, number);
  SetConcise(i, sqlType);
  i->paramType = paramType;
  SetSizes(i, sqlType, columnSize, digits);
  SetConcise(a, cType);
  a->data = value;
  a->octetLength = bufferLength == SQL_SETPARAM_VALUE_MAX ? 0 : bufferLength;
  a->octetLengthPtr = lengthPtr;
  a->indicator = indicatorPtr;
  // Values gathered at execution for an earlier binding of the number do not
  // belong to this one.
  if (static_cast<size_t>(number) <= stmt->daeValues.size())
    stmt->daeValues[static_cast<size_t>(number) - 1].clear();
  return 0;
}

void PAR_ResetAll(StmtHandle* stmt) {
  for (DescHandle* d : {stmt->apd, stmt->ipd}) {
    if (d == nullptr) continue;
    DESC_Truncate(d, 0);
    d->count = 0;
  }
  stmt->daeValues.clear();
  stmt->sentBinds.clear();
  stmt->flags &= static_cast<uint16_t>(~kStmtFlagBindsPassed);
}

int STMT_SetParamSet(StmtHandle* stmt, uint64_t size, uint64_t* processed) {
  const ConnHandle* c = stmt->conn;
  if (c == nullptr || c->cn_hasParamOp == 0) {
    if (size == 1) return 0;
    return FailCode(stmt, ERR_NOT_SUPPORTED);
  }
  if (size == 0) return FailCode(stmt, ERR_ROW_RANGE);
  if (stmt->apd != nullptr) stmt->apd->arraySize = size;
  if (stmt->ipd != nullptr) stmt->ipd->rowsProcessed = processed;
  return 0;
}

void STMT_DescribeParams(StmtHandle* stmt) {
  if (stmt->paramsRefreshed != 0 || (stmt->flags & kStmtFlagPrepared) == 0 ||
      (stmt->flags & kStmtFlagCursorOpen) != 0)
    return;
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  uint32_t one = 1;
  if (ops != nullptr && ops->DRV_SetOption != nullptr && ops->DRV_DescribeCols != nullptr &&
      ops->DRV_SetOption(stmt->agentStmt, OPT_DESCRIBE_PARAMS, &one) == 0) {
    uint16_t count = 0;
    JdbcColDesc* fresh = nullptr;
    if (ops->DRV_DescribeCols(stmt->agentStmt, &count, &fresh) == 0) {
      ColDescFree(stmt->paramDescs, stmt->paramCount);
      stmt->paramDescs = fresh;
      stmt->paramCount = fresh != nullptr ? count : 0;
    } else {
      ColDescFree(fresh, count);
    }
  }
  stmt->paramsRefreshed = 1;
}

const JdbcColDesc* STMT_GetParamDesc(StmtHandle* stmt, int n) {
  if (n < 1 || n > stmt->paramCount) {
    Fail(stmt, ERR_INVALID_PARAM_NUMBER);
    return nullptr;
  }
  STMT_DescribeParams(stmt);
  // The fresh descriptions may be fewer than those the number was checked
  // against.
  if (n > stmt->paramCount || stmt->paramDescs == nullptr) {
    Fail(stmt, ERR_INVALID_PARAM_NUMBER);
    return nullptr;
  }
  return &stmt->paramDescs[n - 1];
}

DRV_Return DRV_BindParameterOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const int number = va_arg(args, int);
  const auto paramType = static_cast<int16_t>(va_arg(args, int));
  const auto cType = static_cast<int16_t>(va_arg(args, int));
  const auto sqlType = static_cast<int16_t>(va_arg(args, int));
  const uint64_t columnSize = va_arg(args, uint64_t);
  const auto digits = static_cast<int16_t>(va_arg(args, int));
  void* value = va_arg(args, void*);
  const int64_t bufferLength = va_arg(args, int64_t);
  auto* indicator = va_arg(args, int64_t*);
  PAR_Bind(stmt, static_cast<uint16_t>(number), paramType, cType, sqlType, columnSize, digits,
           value, bufferLength, indicator, indicator);
  return Result(stmt);
}

DRV_Return DRV_SetParamOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const int number = static_cast<uint16_t>(va_arg(args, int));
  auto cType = static_cast<int16_t>(va_arg(args, int));
  const auto sqlType = static_cast<int16_t>(va_arg(args, int));
  const uint64_t columnSize = va_arg(args, uint64_t);
  const auto digits = static_cast<int16_t>(va_arg(args, int));
  void* value = va_arg(args, void*);
  auto* indicator = va_arg(args, int64_t*);
  ClearPending(stmt);
  if (value == nullptr && indicator == nullptr) return Fail(stmt, ERR_INVALID_ARGUMENT);
  if (digits < 0) return Fail(stmt, ERR_INVALID_SCALE);
  if (cType == SQL_C_DEFAULT)
    cType = static_cast<int16_t>(TYPE_DefaultCType(sqlType, OdbcVersion(stmt)));
  // The ODBC 1 call knows no numeric structure.
  if (cType == SQL_C_NUMERIC) return Fail(stmt, ERR_RESTRICTED_TYPE);
  PAR_Bind(stmt, number, SQL_PARAM_INPUT, cType, sqlType, columnSize, digits, value, 0, indicator,
           indicator);
  return Result(stmt);
}

DRV_Return DRV_ParamOptionsOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const uint64_t rows = va_arg(args, uint64_t);
  auto* processed = va_arg(args, uint64_t*);
  STMT_SetParamSet(stmt, rows, processed);
  return Result(stmt);
}

DRV_Return DRV_NumParamsOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  auto* out = va_arg(args, SQLSMALLINT*);
  if ((stmt->flags & kStmtFlagPrepared) == 0) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  if (out != nullptr) *out = static_cast<SQLSMALLINT>(stmt->paramCount);
  return SQL_SUCCESS;
}

DRV_Return DRV_DescribeParamOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const int number = static_cast<uint16_t>(va_arg(args, int));
  auto* sqlType = va_arg(args, SQLSMALLINT*);
  auto* columnSize = va_arg(args, SQLULEN*);
  auto* digits = va_arg(args, SQLSMALLINT*);
  auto* nullable = va_arg(args, SQLSMALLINT*);
  const JdbcColDesc* d = STMT_GetParamDesc(stmt, number);
  if (d == nullptr) return SQL_ERROR;
  // A marker the agent could not describe carries a type no application
  // knows; the type its value is delivered as stands in for it.
  const int32_t type = d->sql_type == kUndescribedType ? d->delivered_type : d->sql_type;
  if (sqlType != nullptr) *sqlType = static_cast<SQLSMALLINT>(type);
  if (columnSize != nullptr) *columnSize = d->precision;
  if (digits != nullptr) *digits = static_cast<SQLSMALLINT>(d->scale);
  if (nullable != nullptr) *nullable = static_cast<SQLSMALLINT>(ColDescNullable(d));
  return SQL_SUCCESS;
}
