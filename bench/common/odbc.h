// What every benchmark needs of ODBC: a failed call ends the run with its
// diagnostics, and the table the fetch-side benchmarks read.
#ifndef QMR_BENCH_COMMON_ODBC_H
#define QMR_BENCH_COMMON_ODBC_H

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

[[noreturn]] inline void Fail(const char* what, SQLSMALLINT type, SQLHANDLE h) {
  std::fprintf(stderr, "bench: %s failed\n", what);
  SQLCHAR state[6] = "", msg[1024] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  for (SQLSMALLINT i = 1;
       SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, state, &native, msg, sizeof msg, &len)); ++i)
    std::fprintf(stderr, "  [%s] %s\n", state, msg);
  std::exit(1);
}

inline void Check(SQLRETURN rc, const char* what, SQLSMALLINT type, SQLHANDLE h) {
  if (!SQL_SUCCEEDED(rc)) Fail(what, type, h);
}

// The rows every fetch-side benchmark reads: HSQLDB's spelling and
// PostgreSQL's of the same values.
inline const std::string kTableCreate =
    "CREATE TABLE bench (i INTEGER, b BIGINT, v VARCHAR(30), d DOUBLE, n DECIMAL(12,2),"
    " dt DATE, ts TIMESTAMP)";
inline std::string TableFillSql(long rows) {
  return "INSERT INTO bench SELECT x, x * 1000003, 'row number ' || x, x / 7.0E0,"
         " CAST(x AS DECIMAL(12,2)) / 100, DATE '2000-01-01' + MOD(x, 9000) DAY,"
         " TIMESTAMP '2020-01-01 00:00:00' + x SECOND"
         " FROM UNNEST(SEQUENCE_ARRAY(1, " +
         std::to_string(rows) + ", 1)) AS t(x)";
}

}  // namespace bench

#endif
