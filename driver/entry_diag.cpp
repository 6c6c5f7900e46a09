// Entry points: diagnostics.
#include "driver/api.h"
#include "driver/calldescs.h"
#include "driver/wide.h"
#include "util/textconv.h"

namespace {

struct Picked {
  const CallDesc* desc;
  SQLHANDLE handle;
};

// SQLError reads the most specific handle it is given.
Picked pickError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, bool wide) {
  if (stmt != SQL_NULL_HSTMT) return {wide ? &CD_ErrorWStmt : &CD_ErrorStmt, stmt};
  if (dbc != SQL_NULL_HDBC) return {wide ? &CD_ErrorWDbc : &CD_ErrorDbc, dbc};
  if (env != SQL_NULL_HENV) return {wide ? &CD_ErrorWEnv : &CD_ErrorEnv, env};
  return {nullptr, nullptr};
}

const CallDesc* pickDiag(SQLSMALLINT type, const CallDesc* env, const CallDesc* dbc,
                         const CallDesc* stmt, const CallDesc* desc) {
  switch (type) {
    case SQL_HANDLE_ENV: return env;
    case SQL_HANDLE_DBC: return dbc;
    case SQL_HANDLE_STMT: return stmt;
    case SQL_HANDLE_DESC: return desc;
    default: return nullptr;
  }
}

// The SQLSTATE goes through an 8-bit buffer and reaches the caller whatever
// the call returned.
void stateOut(const char* state, SQLWCHAR* out) {
  if (out != nullptr) utf8_to_utf16_copy(reinterpret_cast<char16_t*>(out), state, 6);
}

// SQLErrorW and SQLGetDiagRecW: the message comes back through the UTF-16
// conversion, which runs the call with room for it (once, or again with a
// larger buffer, as the flavour says). lead: the arguments the call takes
// before the state (the record number of SQLGetDiagRecW).
template <class... Lead>
SQLRETURN diagRecordW(const CallDesc* d, SQLHANDLE handle, WideOut::Flavour flavour,
                      SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* msg, SQLSMALLINT size,
                      SQLSMALLINT* length, Lead... lead) {
  char state8[6] = "";
  SQLRETURN rc;
  if (size < 0) {
    rc = CallODBC(d, handle, lead..., state8, native, nullptr, size, nullptr);
  } else {
    WideOut result(msg, size, length != nullptr, WideOut::Kind::Small, flavour, false);
    result.convertOnNoData();
    rc = result.run(d, handle, [&](const DRV_Post* post) {
      return CallODBCPost(d, post, handle, lead..., state8, native, result.buffer(),
                          static_cast<int>(result.size()), result.smallLength());
    });
    if (length != nullptr && result.units() >= 0) *length = DRV_ClampSmall(result.units());
  }
  stateOut(state8, state);
  return rc;
}

}  // namespace

QMR_EXPORT SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state,
                                      SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT size,
                                      SQLSMALLINT* length) {
  const Picked p = pickError(env, dbc, stmt, false);
  if (p.desc == nullptr) return SQL_INVALID_HANDLE;
  return CallODBC(p.desc, p.handle, state, native, msg, size, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state,
                                       SQLINTEGER* native, SQLWCHAR* msg, SQLSMALLINT size,
                                       SQLSMALLINT* length) {
  const Picked p = pickError(env, dbc, stmt, true);
  if (p.desc == nullptr) return SQL_INVALID_HANDLE;
  // SQLError consumes what it reports, so it runs once with room for any
  // message.
  return diagRecordW(p.desc, p.handle, WideOut::Flavour::Once, state, native, msg, size, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                           SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg,
                                           SQLSMALLINT size, SQLSMALLINT* length) {
  const CallDesc* d =
      pickDiag(type, &CD_GetDiagRecEnv, &CD_GetDiagRecDbc, &CD_GetDiagRecStmt, &CD_GetDiagRecDesc);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return CallODBC(d, handle, record, state, native, msg, size, length);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                            SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* msg,
                                            SQLSMALLINT size, SQLSMALLINT* length) {
  const CallDesc* d = pickDiag(type, &CD_GetDiagRecWEnv, &CD_GetDiagRecWDbc, &CD_GetDiagRecWStmt,
                               &CD_GetDiagRecWDesc);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return diagRecordW(d, handle, WideOut::Flavour::Repeatable, state, native, msg, size, length,
                     record);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                             SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT size,
                                             SQLSMALLINT* length) {
  const CallDesc* d = pickDiag(type, &CD_GetDiagFieldEnv, &CD_GetDiagFieldDbc, &CD_GetDiagFieldStmt,
                               &CD_GetDiagFieldDesc);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return CallODBC(d, handle, record, field, value, size, length, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE handle,
                                              SQLSMALLINT record, SQLSMALLINT field,
                                              SQLPOINTER value, SQLSMALLINT size,
                                              SQLSMALLINT* length) {
  const CallDesc* d = pickDiag(type, &CD_GetDiagFieldWEnv, &CD_GetDiagFieldWDbc,
                               &CD_GetDiagFieldWStmt, &CD_GetDiagFieldWDesc);
  if (d == nullptr) return SQL_INVALID_HANDLE;
  return CallODBC(d, handle, record, field, value, size, length, kWidthWide);
}
