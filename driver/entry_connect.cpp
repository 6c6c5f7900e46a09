// Entry points: connecting, disconnecting, native SQL and connection options.
#include "driver/api.h"
#include "driver/calldescs.h"
#include "driver/wide.h"
#include "util/errcodes.h"

QMR_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC dbc, SQLCHAR* dsn, SQLSMALLINT dsnLen, SQLCHAR* uid,
                                        SQLSMALLINT uidLen, SQLCHAR* pwd, SQLSMALLINT pwdLen) {
  NarrowIn d(dsn, dsnLen), u(uid, uidLen), p(pwd, pwdLen);
  return CallODBC(&CD_Connect, dbc, d.text(), d.length(), u.text(), u.length(), p.text(),
                  p.length(), kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLConnectW(SQLHDBC dbc, SQLWCHAR* dsn, SQLSMALLINT dsnLen,
                                         SQLWCHAR* uid, SQLSMALLINT uidLen, SQLWCHAR* pwd,
                                         SQLSMALLINT pwdLen) {
  WideIn d(dsn, dsnLen), u(uid, uidLen), p(pwd, pwdLen);
  if (int32_t code = DRV_FirstRefusal({&d, &u, &p})) return CallODBCRefuse(&CD_ConnectW, code, dbc);
  return CallODBC(&CD_ConnectW, dbc, d.text(), d.length(), u.text(), u.length(), p.text(),
                  p.length(), kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND hwnd, SQLCHAR* in,
                                              SQLSMALLINT inLen, SQLCHAR* out, SQLSMALLINT outMax,
                                              SQLSMALLINT* outLen, SQLUSMALLINT completion) {
  NarrowIn text(in, inLen);
  return CallODBC(&CD_DriverConnect, dbc, hwnd, text.text(), text.length(), out, outMax, outLen,
                  completion, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND hwnd, SQLWCHAR* in,
                                               SQLSMALLINT inLen, SQLWCHAR* out, SQLSMALLINT outMax,
                                               SQLSMALLINT* outLen, SQLUSMALLINT completion) {
  WideIn text(in, inLen);
  if (int32_t code = text.refusal()) return CallODBCRefuse(&CD_DriverConnectW, code, dbc);
  WideOut result(out, outMax, outLen != nullptr, WideOut::Kind::Small, WideOut::Flavour::Once);
  if (result.badCapacity()) return CallODBCRefuse(&CD_DriverConnectW, ERR_INVALID_LENGTH, dbc);
  const SQLRETURN rc = result.run(&CD_DriverConnectW, dbc, [&](const DRV_Post* post) {
    return CallODBCPost(&CD_DriverConnectW, post, dbc, hwnd, text.text(), text.length(),
                        result.buffer(), static_cast<int>(result.size()), result.smallLength(),
                        completion, kWidthWide);
  });
  if (outLen != nullptr && result.units() >= 0) *outLen = DRV_ClampSmall(result.units());
  return rc;
}

QMR_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) { return CallODBC(&CD_Disconnect, dbc); }

QMR_EXPORT SQLRETURN SQL_API SQLNativeSql(SQLHDBC dbc, SQLCHAR* in, SQLINTEGER inLen, SQLCHAR* out,
                                          SQLINTEGER outMax, SQLINTEGER* outLen) {
  NarrowIn text(in, inLen);
  return CallODBC(&CD_NativeSql, dbc, text.text(), text.length(), out, outMax, outLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC dbc, SQLWCHAR* in, SQLINTEGER inLen,
                                           SQLWCHAR* out, SQLINTEGER outMax, SQLINTEGER* outLen) {
  WideIn text(in, inLen);
  if (int32_t code = text.refusal()) return CallODBCRefuse(&CD_NativeSqlW, code, dbc);
  WideOut result(out, outMax, outLen != nullptr, WideOut::Kind::Large,
                 WideOut::Flavour::Repeatable);
  if (result.badCapacity()) return CallODBCRefuse(&CD_NativeSqlW, ERR_INVALID_LENGTH, dbc);
  const SQLRETURN rc = result.run(&CD_NativeSqlW, dbc, [&](const DRV_Post* post) {
    return CallODBCPost(&CD_NativeSqlW, post, dbc, text.text(), text.length(), result.buffer(),
                        static_cast<SQLINTEGER>(result.size()), result.largeLength());
  });
  if (outLen != nullptr && result.units() >= 0) *outLen = DRV_ClampInt(result.units());
  return rc;
}

QMR_EXPORT SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return CallODBC(&CD_SetConnectOption, dbc, option, value, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option, SQLULEN value) {
  return CallODBC(&CD_SetConnectOptionW, dbc, option, value, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC dbc, SQLUSMALLINT option,
                                                 SQLPOINTER value) {
  return CallODBC(&CD_GetConnectOption, dbc, option, value, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC dbc, SQLUSMALLINT option,
                                                  SQLPOINTER value) {
  return CallODBC(&CD_GetConnectOptionW, dbc, option, value, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER length) {
  return CallODBC(&CD_SetConnectAttr, dbc, attribute, value, length, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                                SQLINTEGER length) {
  return CallODBC(&CD_SetConnectAttrW, dbc, attribute, value, length, kWidthWide);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                               SQLINTEGER size, SQLINTEGER* length) {
  return CallODBC(&CD_GetConnectAttr, dbc, attribute, value, size, length, kWidthAnsi);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                                SQLINTEGER size, SQLINTEGER* length) {
  return CallODBC(&CD_GetConnectAttrW, dbc, attribute, value, size, length, kWidthWide);
}
