// Scroll benchmark: a static cursor over the fetch benchmark's table
// (1,000,000 rows of HSQLDB in memory by default) through the Driver
// Manager and the Unicode build: the time to execute (the whole result read
// into the cursor's cache), 10,000 SQLFetchScroll(SQL_FETCH_ABSOLUTE) calls
// at random positions with a rowset of 10, and one forward pass with a
// rowset of 1000, each checked against the row numbers it must bring.
// Then a keyset-driven cursor over a keyed copy of the first 100,000 rows: the time to execute (every key read into the keyset) and 10,000
// random ABSOLUTE rowsets of 10, each read afresh from the database by key.
//   scroll_bench [rows]
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/odbc.h"

namespace {

const std::string& kCreate = bench::kTableCreate;
std::string FillSql(long rows) { return bench::TableFillSql(rows); }
const std::string kSelect = "SELECT i, b, v, d, n, dt, ts FROM bench ORDER BY i";
const char* kJvmOpts = "-Xmx4g -Duser.timezone=UTC";
constexpr int kRandomFetches = 10000;
constexpr SQLULEN kRandomRowset = 10;
constexpr SQLULEN kForwardRowset = 1000;

using bench::Fail;

void Check(SQLRETURN rc, const char* what, SQLHSTMT st) {
  if (!SQL_SUCCEEDED(rc)) Fail(what, SQL_HANDLE_STMT, st);
}

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Column-wise buffers for a rowset of up to kForwardRowset rows: every
// column in a native C type, the decimal as text.
struct Buffers {
  std::vector<SQLINTEGER> i = std::vector<SQLINTEGER>(kForwardRowset);
  std::vector<SQLBIGINT> b = std::vector<SQLBIGINT>(kForwardRowset);
  std::vector<SQLCHAR> v = std::vector<SQLCHAR>(kForwardRowset * 31);
  std::vector<SQLDOUBLE> d = std::vector<SQLDOUBLE>(kForwardRowset);
  std::vector<SQLCHAR> n = std::vector<SQLCHAR>(kForwardRowset * 20);
  std::vector<SQL_DATE_STRUCT> dt = std::vector<SQL_DATE_STRUCT>(kForwardRowset);
  std::vector<SQL_TIMESTAMP_STRUCT> ts = std::vector<SQL_TIMESTAMP_STRUCT>(kForwardRowset);
  std::vector<SQLLEN> ind = std::vector<SQLLEN>(7 * kForwardRowset);

  void Bind(SQLHSTMT st) {
    SQLLEN* p = ind.data();
    Check(SQLBindCol(st, 1, SQL_C_SLONG, i.data(), 0, p), "SQLBindCol", st);
    Check(SQLBindCol(st, 2, SQL_C_SBIGINT, b.data(), 0, p + kForwardRowset), "SQLBindCol", st);
    Check(SQLBindCol(st, 3, SQL_C_CHAR, v.data(), 31, p + 2 * kForwardRowset), "SQLBindCol", st);
    Check(SQLBindCol(st, 4, SQL_C_DOUBLE, d.data(), 0, p + 3 * kForwardRowset), "SQLBindCol", st);
    Check(SQLBindCol(st, 5, SQL_C_CHAR, n.data(), 20, p + 4 * kForwardRowset), "SQLBindCol", st);
    Check(SQLBindCol(st, 6, SQL_C_TYPE_DATE, dt.data(), 0, p + 5 * kForwardRowset), "SQLBindCol",
          st);
    Check(SQLBindCol(st, 7, SQL_C_TYPE_TIMESTAMP, ts.data(), 0, p + 6 * kForwardRowset),
          "SQLBindCol", st);
  }
};

void SetRowset(SQLHSTMT st, SQLULEN n, SQLULEN* fetched) {
  Check(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(n), 0),
        "SQL_ATTR_ROW_ARRAY_SIZE", st);
  Check(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, fetched, 0), "SQL_ATTR_ROWS_FETCHED_PTR", st);
}

constexpr long kKeysetRows = 100000;

struct KeysetFigures {
  double execute = 0, randomSeconds = 0;
  long rows = 0, randomRows = 0;
  bool ok = true;
};

KeysetFigures KeysetRun(SQLHDBC dbc, long tableRows) {
  KeysetFigures f;
  f.rows = std::min(tableRows, kKeysetRows);
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  // A keyed table of its own: a range condition on the key beside the
  // refetch's key condition makes HSQLDB scan the range on every refetch.
  const std::string create =
      "CREATE TABLE bench_ks (i INTEGER PRIMARY KEY, b BIGINT, v VARCHAR(30), d DOUBLE,"
      " n DECIMAL(12,2), dt DATE, ts TIMESTAMP)";
  const std::string fill = "INSERT INTO bench_ks SELECT * FROM bench WHERE i <= " +
                           std::to_string(f.rows);
  Check(SQLExecDirect(st, (SQLCHAR*)create.c_str(), SQL_NTS), "CREATE TABLE bench_ks", st);
  Check(SQLExecDirect(st, (SQLCHAR*)fill.c_str(), SQL_NTS), "INSERT bench_ks", st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  Check(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0),
        "SQL_ATTR_CURSOR_TYPE", st);
  Buffers buf;
  buf.Bind(st);
  SQLULEN fetched = 0;
  SetRowset(st, kRandomRowset, &fetched);
  const std::string select = "SELECT i, b, v, d, n, dt, ts FROM bench_ks ORDER BY i";
  auto t0 = std::chrono::steady_clock::now();
  Check(SQLExecDirect(st, (SQLCHAR*)select.c_str(), SQL_NTS), "SQLExecDirect keyset", st);
  f.execute = Since(t0);
  std::mt19937_64 random(20261210);
  std::uniform_int_distribution<long> pick(1, f.rows);
  t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < kRandomFetches; ++k) {
    const long at = pick(random);
    Check(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, at), "SQLFetchScroll ABSOLUTE keyset", st);
    f.randomRows += static_cast<long>(fetched);
    f.ok = f.ok && buf.i[0] == at && fetched == std::min<SQLULEN>(kRandomRowset, f.rows - at + 1);
  }
  f.randomSeconds = Since(t0);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return f;
}

void Print(const char* way, long rows, double seconds) {
  std::printf("  %-44s %9ld rows %8.2f s %12.0f rows/s\n", way, rows, seconds,
              seconds > 0 ? rows / seconds : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  setenv("ODBCSYSINI", QMR_ODBC_DIR, 0);
  setenv("ODBCINI", QMR_ODBC_DIR "/odbc.ini", 0);
  setenv("QMR_JVM_OPTS", (std::string("-Djava.class.path=" QMR_HSQLDB_JAR " ") + kJvmOpts).c_str(),
         0);

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) Fail("SQLAllocHandle", SQL_HANDLE_ENV, env);
  const char* conn =
      "DRIVER={Quillmar Unicode};JDBC=org.hsqldb.jdbc.JDBCDriver;"
      "URL=jdbc:hsqldb:mem:scrollbench;UID=SA;PWD=;NRSSL=1";
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn, SQL_NTS, nullptr, 0, nullptr,
                                      SQL_DRIVER_NOPROMPT)))
    Fail("SQLDriverConnect", SQL_HANDLE_DBC, dbc);

  std::printf("scroll benchmark: a static cursor over %ld rows of the fetch benchmark's table,"
              " HSQLDB in memory\n", rows);
  std::fflush(stdout);
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  Check(SQLExecDirect(st, (SQLCHAR*)kCreate.c_str(), SQL_NTS), "CREATE TABLE", st);
  const std::string fill = FillSql(rows);
  Check(SQLExecDirect(st, (SQLCHAR*)fill.c_str(), SQL_NTS), "INSERT", st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  const long rssBefore = PeakRssMb();

  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  Check(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0),
        "SQL_ATTR_CURSOR_TYPE", st);
  Buffers buf;
  buf.Bind(st);
  SQLULEN fetched = 0;
  auto t0 = std::chrono::steady_clock::now();
  Check(SQLExecDirect(st, (SQLCHAR*)kSelect.c_str(), SQL_NTS), "SQLExecDirect", st);
  const double execute = Since(t0);

  bool ok = true;
  SetRowset(st, kRandomRowset, &fetched);
  std::mt19937_64 random(20261209);
  std::uniform_int_distribution<long> pick(1, rows);
  long randomRows = 0;
  t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < kRandomFetches; ++k) {
    const long at = pick(random);
    Check(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, at), "SQLFetchScroll ABSOLUTE", st);
    randomRows += static_cast<long>(fetched);
    ok = ok && buf.i[0] == at && fetched == std::min<SQLULEN>(kRandomRowset, rows - at + 1);
  }
  const double randomSeconds = Since(t0);

  SetRowset(st, kForwardRowset, &fetched);
  long forwardRows = 0;
  long long sum = 0;
  t0 = std::chrono::steady_clock::now();
  SQLRETURN rc = SQLFetchScroll(st, SQL_FETCH_FIRST, 0);
  while (SQL_SUCCEEDED(rc)) {
    for (SQLULEN r = 0; r < fetched; ++r) sum += buf.i[r];
    forwardRows += static_cast<long>(fetched);
    rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0);
  }
  const double forwardSeconds = Since(t0);
  if (rc != SQL_NO_DATA) Fail("SQLFetchScroll NEXT", SQL_HANDLE_STMT, st);
  ok = ok && forwardRows == rows && sum == static_cast<long long>(rows) * (rows + 1) / 2;

  SQLFreeHandle(SQL_HANDLE_STMT, st);
  const KeysetFigures ks = KeysetRun(dbc, rows);
  ok = ok && ks.ok;
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  std::printf("\n");
  std::printf("  %-44s %9ld rows %8.2f s\n", "execute (result read into the cache)", rows, execute);
  Print("SQLFetchScroll ABSOLUTE at random, rowset 10", randomRows, randomSeconds);
  Print("forward pass, rowset 1000", forwardRows, forwardSeconds);
  std::printf("  keyset-driven cursor over %ld rows:\n", ks.rows);
  std::printf("  %-44s %9ld rows %8.2f s\n", "execute (every key read into the keyset)", ks.rows,
              ks.execute);
  Print("SQLFetchScroll ABSOLUTE at random, rowset 10", ks.randomRows, ks.randomSeconds);
  std::printf("  peak RSS %ld MB (%ld MB before the static cursor was opened)\n", PeakRssMb(),
              rssBefore);
  std::printf("\n  rows %s\n", ok ? "as expected" : "WRONG");
  return ok ? 0 : 1;
}
