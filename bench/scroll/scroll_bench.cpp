// Scroll benchmark: a static cursor over the fetch benchmark's table
// (1,000,000 rows of HSQLDB in memory by default) through the Driver
// Manager and the Unicode build: the time to execute (the whole result read
// into the cursor's cache), 10,000 SQLFetchScroll(SQL_FETCH_ABSOLUTE) calls
// at random positions with a rowset of 10, and one forward pass with a
// rowset of 1000, each checked against the row numbers it must bring.
//   scroll_bench [rows]
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>

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
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  std::printf("\n");
  std::printf("  %-44s %9ld rows %8.2f s\n", "execute (result read into the cache)", rows, execute);
  Print("SQLFetchScroll ABSOLUTE at random, rowset 10", randomRows, randomSeconds);
  Print("forward pass, rowset 1000", forwardRows, forwardSeconds);
  std::printf("  peak RSS %ld MB (%ld MB before the static cursor was opened)\n", PeakRssMb(),
              rssBefore);
  std::printf("\n  rows %s\n", ok ? "as expected" : "WRONG");
  return ok ? 0 : 1;
}
