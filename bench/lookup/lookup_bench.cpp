// Lookup benchmark: 10,000 executions of one prepared single-row SELECT by
// primary key over a 10,000-row table, through the driver (SQLExecute,
// SQLFetch into a bound column, SQLCloseCursor) and through JDBC
// (setInt, executeQuery, next, getString, close: plain JDBC at its fastest),
// on HSQLDB in memory and on PostgreSQL when its server can be started.
// Each side warms up with passes for two seconds and reports the best of
// three.
// Latency: microseconds a lookup.
//   lookup_bench [lookups]
#include <cstring>
#include <vector>

#include "common/bench.h"
#include "common/javacalls.h"

namespace {

using bench::Check;
constexpr long kRows = 10000;

void Fill(SQLHDBC dbc, const std::string& table) {
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  bench::Exec(dbc, "DROP TABLE IF EXISTS " + table, true);
  bench::Exec(dbc, "CREATE TABLE " + table + " (k INTEGER PRIMARY KEY, v VARCHAR(40))");
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  std::vector<SQLINTEGER> k(kRows);
  std::vector<SQLCHAR> v(kRows * 41);
  std::vector<SQLLEN> vLen(kRows);
  for (long i = 0; i < kRows; ++i) {
    k[i] = static_cast<SQLINTEGER>(i);
    vLen[i] = std::snprintf(reinterpret_cast<char*>(&v[i * 41]), 41, "value %ld", i);
  }
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kRows, 0);
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, k.data(), 0, nullptr);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, v.data(), 41,
                   vLen.data());
  const std::string insert = "INSERT INTO " + table + " VALUES (?, ?)";
  Check(SQLExecDirect(st, (SQLCHAR*)insert.c_str(), SQL_NTS), "INSERT", SQL_HANDLE_STMT, st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), "SQLEndTran", SQL_HANDLE_DBC, dbc);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
}

long Lookups(SQLHSTMT st, SQLINTEGER* key, SQLCHAR* value, SQLLEN* len, long n) {
  long sum = 0;
  for (long i = 0; i < n; ++i) {
    *key = static_cast<SQLINTEGER>((i * 7919L) % kRows);
    Check(SQLExecute(st), "SQLExecute", SQL_HANDLE_STMT, st);
    SQLRETURN rc = SQLFetch(st);
    if (SQL_SUCCEEDED(rc))
      sum += *len;
    else if (rc != SQL_NO_DATA)
      bench::Fail("SQLFetch", SQL_HANDLE_STMT, st);
    Check(SQLCloseCursor(st), "SQLCloseCursor", SQL_HANDLE_STMT, st);
  }
  (void)value;
  return sum;
}

// Java calls the driver makes for one SQLExecDirect of a 7-column SELECT
// of one row, with its fetch and its free: the whole statement's life.
double CallsPerWideSelect(SQLHDBC dbc, const std::string& table, int count) {
  const std::string sql = "SELECT k, v, k + 1, v, k + 2, v, k + 3 FROM " + table + " WHERE k = 1";
  const uint64_t before = bench::javacalls::Count();
  for (int i = 0; i < count; ++i) {
    SQLHSTMT st = nullptr;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
    Check(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT, st);
    if (SQLFetch(st) != SQL_SUCCESS) bench::Fail("SQLFetch", SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
  return static_cast<double>(bench::javacalls::Count() - before) / count;
}

struct Calls {
  double lookup = -1;      // Java calls per lookup (execute, fetch, close)
  double wideSelect = -1;  // per 7-column SELECT's allocate, execute, fetch, free
};

// Microseconds a lookup, and the checksum of the values read; the Java
// calls counted after the timed passes into *calls.
std::pair<double, long> DriverLookup(SQLHENV env, const bench::Backend& b, const std::string& table,
                                     long lookups, Calls* calls) {
  SQLHDBC dbc = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "SQLAllocHandle", SQL_HANDLE_ENV, env);
  bench::Connect(dbc, b);
  Fill(dbc, table);
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  SQLINTEGER key = 0;
  SQLCHAR value[41];
  SQLLEN len = 0;
  const std::string select = "SELECT v FROM " + table + " WHERE k = ?";
  Check(SQLPrepare(st, (SQLCHAR*)select.c_str(), SQL_NTS), "SQLPrepare", SQL_HANDLE_STMT, st);
  Check(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, nullptr),
        "SQLBindParameter", SQL_HANDLE_STMT, st);
  Check(SQLBindCol(st, 1, SQL_C_CHAR, value, sizeof value, &len), "SQLBindCol", SQL_HANDLE_STMT,
        st);
  // Passes for two seconds to warm up, then the best of three: the JDBC side
  // does the same, so that neither is measured before its compiler is done.
  long sum = 0;
  for (const auto w0 = std::chrono::steady_clock::now(); bench::Since(w0) < 2.0;)
    sum = Lookups(st, &key, value, &len, lookups);
  double secs = 1e30;
  for (int pass = 0; pass < 3; ++pass) {
    const auto t0 = std::chrono::steady_clock::now();
    sum = Lookups(st, &key, value, &len, lookups);
    secs = std::min(secs, bench::Since(t0));
  }
  if (bench::javacalls::Start()) {
    const uint64_t before = bench::javacalls::Count();
    Lookups(st, &key, value, &len, 1000);
    calls->lookup = static_cast<double>(bench::javacalls::Count() - before) / 1000;
    calls->wideSelect = CallsPerWideSelect(dbc, table, 1000);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  bench::Exec(dbc, "DROP TABLE " + table);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  return {secs * 1e6 / lookups, sum};
}

}  // namespace

int main(int argc, char** argv) {
  const long lookups = argc > 1 ? std::atol(argv[1]) : 10000;
  if (lookups <= 0) {
    std::fprintf(stderr, "usage: lookup_bench [lookups]\n");
    return 2;
  }
  bench::SetUp();
  bench::PrintVmOptions();
  bench::PgServer pg;
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  std::printf("lookup benchmark: %ld prepared lookups by key in %ld rows\n", lookups, kRows);
  int status = 0;
  for (const bench::Backend& b : bench::Backends(pg, "lookupbench")) {
    std::fflush(stdout);
    std::vector<double> driver, jdbc;
    Calls calls;
    for (int r = 0; r < bench::Rounds(); ++r) {
      const auto d = DriverLookup(env, b, "bench_look_odbc", lookups, &calls);
      auto j = bench::RunJdbc({"lookup", b.url, b.user, "bench_look_jdbc", std::to_string(kRows),
                               std::to_string(lookups)});
      driver.push_back(d.first);
      jdbc.push_back(j["lookup_us"]);
      if (static_cast<double>(d.second) != j["lookup_sum"]) {
        std::printf("  checksums DIFFER: driver %ld, JDBC %.0f\n", d.second, j["lookup_sum"]);
        status = 1;
      }
    }
    std::printf("%s\n", b.name.c_str());
    bench::Print("latency of one lookup", driver, jdbc, "us");
    if (calls.lookup >= 0)
      std::printf(
          "  Java calls: %.1f a lookup, %.1f a 7-column SELECT (allocate, execute, "
          "fetch, free)\n",
          calls.lookup, calls.wideSelect);
    else
      std::printf("  Java calls: not counted (no JVMTI)\n");
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return status;
}
