// A transaction manager as a Linux one is built: it loads the driver by
// file name, takes its XA switch and drives the resource managers through
// the switch's entry points only. The application's work goes through the
// ODBC handles the driver gives the thread (SQLGetXaConnect).
#ifndef QMR_TESTS_XA_TM_TM_H
#define QMR_TESTS_XA_TM_TM_H

#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "util/xa.h"

namespace xatm {

struct Driver {
  void* lib = nullptr;
  xa_switch_t* sw = nullptr;
  SQLRETURN (*getXaEnv)(SQLHENV*) = nullptr;
  SQLRETURN (*getXaConnect)(SQLHDBC*) = nullptr;
  // SQLExecDirect and SQLGetDiagRec of the same library: the application
  // works on the driver's handles without a Driver Manager.
  SQLRETURN (*execDirect)(SQLHSTMT, SQLCHAR*, SQLINTEGER) = nullptr;
  SQLRETURN (*allocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*) = nullptr;
  SQLRETURN (*freeHandle)(SQLSMALLINT, SQLHANDLE) = nullptr;
  SQLRETURN (*fetch)(SQLHSTMT) = nullptr;
  SQLRETURN (*getData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*) = nullptr;

  // The Unicode build, as QMR_BUILD_DIR's lib holds it.
  static Driver Load() {
    Driver d;
    d.lib = dlopen(QMR_BUILD_DIR "/lib/libxbifxu.so", RTLD_NOW | RTLD_LOCAL);
    if (d.lib == nullptr) return d;
    auto take = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(d.lib, name));
    };
    xa_switch_t* (*get)() = nullptr;
    take(get, "qmr_xa_switch");
    d.sw = get != nullptr ? get() : nullptr;
    take(d.getXaEnv, "SQLGetXaEnv");
    take(d.getXaConnect, "SQLGetXaConnect");
    take(d.execDirect, "SQLExecDirect");
    take(d.allocHandle, "SQLAllocHandle");
    take(d.freeHandle, "SQLFreeHandle");
    take(d.fetch, "SQLFetch");
    take(d.getData, "SQLGetData");
    return d;
  }

  // Runs one statement on the thread's current XA connection.
  bool Exec(const std::string& sql) const {
    SQLHDBC dbc = nullptr;
    SQLHSTMT st = nullptr;
    if (getXaConnect(&dbc) != SQL_SUCCESS || allocHandle(SQL_HANDLE_STMT, dbc, &st) != SQL_SUCCESS)
      return false;
    const SQLRETURN rc =
        execDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    freeHandle(SQL_HANDLE_STMT, st);
    return SQL_SUCCEEDED(rc);
  }
  // The first column of the first row as text, "" for none.
  std::string Query(const std::string& sql) const {
    SQLHDBC dbc = nullptr;
    SQLHSTMT st = nullptr;
    std::string out;
    if (getXaConnect(&dbc) != SQL_SUCCESS || allocHandle(SQL_HANDLE_STMT, dbc, &st) != SQL_SUCCESS)
      return out;
    char buf[256] = {};
    SQLLEN len = 0;
    if (SQL_SUCCEEDED(
            execDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)) &&
        SQL_SUCCEEDED(fetch(st)) &&
        SQL_SUCCEEDED(getData(st, 1, SQL_C_CHAR, buf, sizeof buf, &len)))
      out = buf;
    freeHandle(SQL_HANDLE_STMT, st);
    return out;
  }
};

// An identifier with the given parts.
inline XID MakeXid(const std::string& gtrid, const std::string& bqual, long format = 0x51) {
  XID x{};
  x.formatID = format;
  x.gtrid_length = static_cast<long>(gtrid.size());
  x.bqual_length = static_cast<long>(bqual.size());
  std::memcpy(x.data, gtrid.data(), gtrid.size());
  std::memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
  return x;
}

}  // namespace xatm

#endif
