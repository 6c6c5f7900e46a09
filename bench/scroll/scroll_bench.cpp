// Scroll benchmark: a static cursor against a forward-only read of the same
// rows, through the Driver Manager and the Unicode build, on HSQLDB in
// memory and on a throw-away PostgreSQL server (when one starts), over the
// fetch benchmark's table at 100,000 and 1,000,000 rows:
//   - the time to execute (the whole result read into the cursor's cache),
//   - a forward pass with a rowset of 100 right after it, beside the same
//     pass through a forward-only cursor, and the ratio of execute + pass,
//   - 10,000 SQLFetchScroll(SQL_FETCH_ABSOLUTE) at random with a rowset of
//     10 (microseconds a fetch),
//   - the peak resident memory of the process that ran the case;
// then a static cursor over 20,000 rows of (integer, long text of 200
// characters) read row by row with SQLFetch and SQLGetData, beside the same
// read forward-only; 50,000 rows of (integer, long text of 2,000
// characters) with only the integer bound: execute + a forward pass with a
// rowset of 100 beside forward-only, and random ABSOLUTE fetches, where a
// text nobody asks for should cost nothing; and 20,000 rows of a table
// with a primary key, never analysed, read one row at a time (SQLFetch,
// SQLGetData, as PHP reads) through keyset-driven and dynamic cursors beside
// forward-only, by the wall clock and by the CPU time of the reading thread
// (which other processes on a busy machine do not lengthen).
// Every read is checked against the rows it must bring.
// Each case runs in a process of its own, so that its memory figure is its
// own and one case's VM heap does not weigh on the next, reads everything
// once untimed, then takes the medians of QMR_BENCH_ROUNDS rounds (3).
//   scroll_bench [rows ...]
//   scroll_bench --case hsqldb|PORT rows [main|text|long|keyed]
//                                    (one case, the child process; the last
//                                    word runs one read alone, to profile it)
#include <sys/resource.h>
#include <time.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/bench.h"

namespace {

using bench::Check;
using bench::Since;

const char* kJvmOpts = "-Xmx4g";
const std::string kSelect = "SELECT i, b, v, d, n, dt, ts FROM bench ORDER BY i";
constexpr int kRandomFetches = 10000;
constexpr SQLULEN kRandomRowset = 10;
constexpr SQLULEN kForwardRowset = 100;
constexpr long kTextRows = 20000;
constexpr int kTextChars = 200;
constexpr long kLongRows = 50000;
constexpr int kLongChars = 2000;
constexpr long kKeyedRows = 20000;
// Keyed reads each round: one takes some 10 ms, so that a moment's load on
// a shared machine would decide a median of three.
constexpr int kKeyedReadsARound = 3;

std::string PgFillSql(long rows) {
  return "INSERT INTO bench SELECT x, CAST(x AS BIGINT) * 1000003, 'row number ' || x,"
         " x / 7.0E0, CAST(x AS DECIMAL(12,2)) / 100, DATE '2000-01-01' + MOD(x, 9000),"
         " TIMESTAMP '2020-01-01 00:00:00' + x * INTERVAL '1 second'"
         " FROM generate_series(1, " +
         std::to_string(rows) + ") AS t(x)";
}

// A text table: id k and a text of `chars` characters ending in k.
std::string TextFillSql(bool pg, const char* table, long rows, int chars) {
  const std::string n = std::to_string(rows);
  const std::string from = pg ? " FROM generate_series(1, " + n + ") AS t(x)"
                              : " FROM UNNEST(SEQUENCE_ARRAY(1, " + n + ", 1)) AS t(x)";
  return std::string("INSERT INTO ") + table + " SELECT x, LPAD(CAST(x AS VARCHAR(10)), " +
         std::to_string(chars) + ", 'abcdefghij')" + from;
}

long PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// CPU seconds this thread has run: beside the wall clock, a figure that a
// busy machine's other processes do not lengthen.
double ThreadCpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void CheckSt(SQLRETURN rc, const char* what, SQLHSTMT st) { Check(rc, what, SQL_HANDLE_STMT, st); }

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
    const SQLULEN k = kForwardRowset;
    CheckSt(SQLBindCol(st, 1, SQL_C_SLONG, i.data(), 0, p), "SQLBindCol", st);
    CheckSt(SQLBindCol(st, 2, SQL_C_SBIGINT, b.data(), 0, p + k), "SQLBindCol", st);
    CheckSt(SQLBindCol(st, 3, SQL_C_CHAR, v.data(), 31, p + 2 * k), "SQLBindCol", st);
    CheckSt(SQLBindCol(st, 4, SQL_C_DOUBLE, d.data(), 0, p + 3 * k), "SQLBindCol", st);
    CheckSt(SQLBindCol(st, 5, SQL_C_CHAR, n.data(), 20, p + 4 * k), "SQLBindCol", st);
    CheckSt(SQLBindCol(st, 6, SQL_C_TYPE_DATE, dt.data(), 0, p + 5 * k), "SQLBindCol", st);
    CheckSt(SQLBindCol(st, 7, SQL_C_TYPE_TIMESTAMP, ts.data(), 0, p + 6 * k), "SQLBindCol", st);
  }
};

void SetRowset(SQLHSTMT st, SQLULEN n, SQLULEN* fetched) {
  CheckSt(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(n), 0),
          "SQL_ATTR_ROW_ARRAY_SIZE", st);
  CheckSt(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, fetched, 0), "SQL_ATTR_ROWS_FETCHED_PTR",
          st);
}

SQLHSTMT NewStmt(SQLHDBC dbc, SQLULEN cursor) {
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  CheckSt(SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0),
          "SQL_ATTR_CURSOR_TYPE", st);
  return st;
}

struct Pass {
  double execute = 0, pass = 0;
  long rows = 0;
  bool ok = true;
};

// Execute, then every row forward with a rowset of 100; the ids must count
// up from 1. The statement stays open for the caller.
Pass ForwardPass(SQLHSTMT st, Buffers* buf, long rows) {
  Pass p;
  SQLULEN fetched = 0;
  buf->Bind(st);
  SetRowset(st, kForwardRowset, &fetched);
  auto t0 = std::chrono::steady_clock::now();
  CheckSt(SQLExecDirect(st, (SQLCHAR*)kSelect.c_str(), SQL_NTS), "SQLExecDirect", st);
  p.execute = Since(t0);
  t0 = std::chrono::steady_clock::now();
  SQLRETURN rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0);
  while (SQL_SUCCEEDED(rc)) {
    for (SQLULEN r = 0; r < fetched; ++r) p.ok = p.ok && buf->i[r] == p.rows + 1 + long(r);
    p.rows += static_cast<long>(fetched);
    rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0);
  }
  p.pass = Since(t0);
  if (rc != SQL_NO_DATA) bench::Fail("SQLFetchScroll NEXT", SQL_HANDLE_STMT, st);
  p.ok = p.ok && p.rows == rows;
  return p;
}

// Microseconds a random ABSOLUTE fetch with a rowset of 10.
double RandomFetches(SQLHSTMT st, Buffers* buf, long rows, bool* ok) {
  SQLULEN fetched = 0;
  SetRowset(st, kRandomRowset, &fetched);
  std::mt19937_64 random(20261209);
  std::uniform_int_distribution<long> pick(1, rows);
  const auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < kRandomFetches; ++k) {
    const long at = pick(random);
    CheckSt(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, at), "SQLFetchScroll ABSOLUTE", st);
    *ok = *ok && buf->i[0] == at && fetched == std::min<SQLULEN>(kRandomRowset, rows - at + 1);
  }
  return Since(t0) * 1e6 / kRandomFetches;
}

// Execute and read the text table row by row with SQLGetData; seconds.
double TextRead(SQLHDBC dbc, SQLULEN cursor, bool* ok) {
  SQLHSTMT st = NewStmt(dbc, cursor);
  const char* select = "SELECT id, t FROM bench_text ORDER BY id";
  const auto t0 = std::chrono::steady_clock::now();
  CheckSt(SQLExecDirect(st, (SQLCHAR*)select, SQL_NTS), "SQLExecDirect text", st);
  long n = 0;
  SQLRETURN rc;
  while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
    SQLINTEGER id = 0;
    char t[kTextChars + 1];
    SQLLEN idInd = 0, tInd = 0;
    CheckSt(SQLGetData(st, 1, SQL_C_SLONG, &id, 0, &idInd), "SQLGetData id", st);
    CheckSt(SQLGetData(st, 2, SQL_C_CHAR, t, sizeof t, &tInd), "SQLGetData t", st);
    ++n;
    // The pad has no digits: the first one starts the row's number.
    const char* digits = std::strpbrk(t, "0123456789");
    *ok = *ok && id == n && tInd == kTextChars && digits != nullptr && std::atol(digits) == n;
  }
  const double secs = Since(t0);
  if (rc != SQL_NO_DATA) bench::Fail("SQLFetch text", SQL_HANDLE_STMT, st);
  *ok = *ok && n == kTextRows;
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return secs;
}

// The long-text table with only its id bound: execute and a forward pass
// with a rowset of 100 (seconds, into *total; the execute alone into *exec),
// then, for a static cursor,
// random ABSOLUTE fetches with a rowset of 10 (microseconds a fetch).
double LongTextPass(SQLHDBC dbc, SQLULEN cursor, bool* ok, double* total, double* exec) {
  SQLHSTMT st = NewStmt(dbc, cursor);
  std::vector<SQLINTEGER> id(kForwardRowset);
  std::vector<SQLLEN> ind(kForwardRowset);
  SQLULEN fetched = 0;
  CheckSt(SQLBindCol(st, 1, SQL_C_SLONG, id.data(), 0, ind.data()), "SQLBindCol", st);
  SetRowset(st, kForwardRowset, &fetched);
  const char* select = "SELECT id, t FROM bench_long ORDER BY id";
  const auto t0 = std::chrono::steady_clock::now();
  CheckSt(SQLExecDirect(st, (SQLCHAR*)select, SQL_NTS), "SQLExecDirect long", st);
  *exec = Since(t0);
  long n = 0;
  SQLRETURN rc;
  while (SQL_SUCCEEDED(rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0))) {
    for (SQLULEN r = 0; r < fetched; ++r) *ok = *ok && id[r] == n + 1 + long(r);
    n += static_cast<long>(fetched);
  }
  *total = Since(t0);
  if (rc != SQL_NO_DATA) bench::Fail("SQLFetchScroll long", SQL_HANDLE_STMT, st);
  *ok = *ok && n == kLongRows;
  double us = 0;
  if (cursor == SQL_CURSOR_STATIC) {
    SetRowset(st, kRandomRowset, &fetched);
    std::mt19937_64 random(20261210);
    std::uniform_int_distribution<long> pick(1, kLongRows);
    const int fetches = kRandomFetches / 10;
    const auto t1 = std::chrono::steady_clock::now();
    for (int k = 0; k < fetches; ++k) {
      const long at = pick(random);
      CheckSt(SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, at), "SQLFetchScroll ABSOLUTE long", st);
      *ok = *ok && id[0] == at;
    }
    us = Since(t1) * 1e6 / fetches;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return us;
}

// Execute and read the keyed table row by row with SQLFetch and
// SQLGetData; seconds, the execute's share in *exec and the CPU seconds of
// this thread in *cpu when asked.
double KeyedRead(SQLHDBC dbc, SQLULEN cursor, bool* ok, double* exec = nullptr,
                 double* cpu = nullptr) {
  SQLHSTMT st = NewStmt(dbc, cursor);
  SQLULEN type = 0;
  CheckSt(SQLGetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr), "SQL_ATTR_CURSOR_TYPE", st);
  *ok = *ok && type == cursor;
  const char* select = "SELECT id, t FROM bench_keyed ORDER BY id";
  const double cpu0 = ThreadCpu();
  const auto t0 = std::chrono::steady_clock::now();
  CheckSt(SQLExecDirect(st, (SQLCHAR*)select, SQL_NTS), "SQLExecDirect keyed", st);
  if (exec != nullptr) *exec = Since(t0);
  long n = 0;
  SQLRETURN rc;
  while ((rc = SQLFetch(st)) == SQL_SUCCESS) {
    SQLINTEGER id = 0;
    char t[32];
    SQLLEN idInd = 0, tInd = 0;
    CheckSt(SQLGetData(st, 1, SQL_C_SLONG, &id, 0, &idInd), "SQLGetData id", st);
    CheckSt(SQLGetData(st, 2, SQL_C_CHAR, t, sizeof t, &tInd), "SQLGetData t", st);
    ++n;
    *ok = *ok && id == n && std::atol(t + 4) == n;
  }
  const double secs = Since(t0);
  if (cpu != nullptr) *cpu = ThreadCpu() - cpu0;
  if (rc != SQL_NO_DATA) bench::Fail("SQLFetch keyed", SQL_HANDLE_STMT, st);
  *ok = *ok && n == kKeyedRows;
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return secs;
}

void Fill(SQLHDBC dbc, bool pg, long rows) {
  bench::Exec(dbc, "DROP TABLE bench", true);
  bench::Exec(dbc, "DROP TABLE bench_text", true);
  bench::Exec(dbc, "DROP TABLE bench_long", true);
  if (pg) {
    bench::Exec(dbc,
                "CREATE TABLE bench (i INTEGER, b BIGINT, v VARCHAR(30), d DOUBLE PRECISION,"
                " n DECIMAL(12,2), dt DATE, ts TIMESTAMP)");
    bench::Exec(dbc, PgFillSql(rows));
    bench::Exec(dbc, "CREATE TABLE bench_text (id INTEGER, t TEXT)");
    bench::Exec(dbc, "CREATE TABLE bench_long (id INTEGER, t TEXT)");
  } else {
    bench::Exec(dbc, bench::kTableCreate);
    bench::Exec(dbc, bench::TableFillSql(rows));
    bench::Exec(dbc, "CREATE TABLE bench_text (id INTEGER, t LONGVARCHAR)");
    bench::Exec(dbc, "CREATE TABLE bench_long (id INTEGER, t LONGVARCHAR)");
  }
  bench::Exec(dbc, TextFillSql(pg, "bench_text", kTextRows, kTextChars));
  bench::Exec(dbc, TextFillSql(pg, "bench_long", kLongRows, kLongChars));
  if (pg) bench::Exec(dbc, "ANALYZE");
  // The keyed table is never analysed: its reads by key must not depend on
  // statistics a new table lacks.
  bench::Exec(dbc, "DROP TABLE bench_keyed", true);
  bench::Exec(dbc, std::string("CREATE TABLE bench_keyed (id INTEGER NOT NULL PRIMARY KEY, "
                               "t VARCHAR(30))") +
                       (pg ? " WITH (autovacuum_enabled = false)" : ""));
  const std::string keyed = std::to_string(kKeyedRows);
  bench::Exec(
      dbc, pg ? "INSERT INTO bench_keyed SELECT x, 'row ' || x FROM generate_series(1, " + keyed +
                    ") AS t(x)"
              : "INSERT INTO bench_keyed SELECT x, 'row ' || x FROM UNNEST(SEQUENCE_ARRAY(1, " +
                    keyed + ", 1)) AS t(x)");
}

// One case in this process: prints its figures; 0 when every row was right.
// `only` names one read to run alone ("main", "text", "long"); empty runs all.
int Case(const std::string& where, long rows, const std::string& only) {
  const bool pg = where != "hsqldb";
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLHDBC dbc = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "SQLAllocHandle", SQL_HANDLE_ENV, env);
  const std::string conn =
      pg ? "DRIVER={Quillmar Unicode};JDBC=org.postgresql.Driver;URL=jdbc:postgresql://127.0.0.1:" +
               where + "/qmr;UID=qmr;PWD=;NRSSL=1;FBS=1000"
         : "DRIVER={Quillmar Unicode};JDBC=org.hsqldb.jdbc.JDBCDriver;"
           "URL=jdbc:hsqldb:mem:scrollbench;UID=SA;PWD=;NRSSL=1";
  Check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn.c_str(), SQL_NTS, nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT),
        "SQLDriverConnect", SQL_HANDLE_DBC, dbc);
  Fill(dbc, pg, rows);
  // PostgreSQL's driver streams a result only inside a transaction.
  if (pg) SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  const long rssBefore = PeakRssMb();

  Buffers buf;
  // One untimed round of every read first: the VM compiles the code that
  // reads a result as it goes, and the first read would otherwise pay for
  // the rest.
  const bool doMain = only.empty() || only == "main";
  const bool doText = only.empty() || only == "text";
  const bool doLong = only.empty() || only == "long";
  const bool doKeyed = only.empty() || only == "keyed";
  const SQLULEN kKeyedCursors[] = {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_KEYSET_DRIVEN,
                                   SQL_CURSOR_DYNAMIC};
  bool warm = true;
  for (SQLULEN cursor : kKeyedCursors)
    if (doKeyed) KeyedRead(dbc, cursor, &warm);
  for (SQLULEN cursor : {SQL_CURSOR_STATIC, SQL_CURSOR_FORWARD_ONLY}) {
    if (doMain) {
      SQLHSTMT st = NewStmt(dbc, cursor);
      warm = ForwardPass(st, &buf, rows).ok && warm;
      SQLFreeHandle(SQL_HANDLE_STMT, st);
    }
    if (doText) TextRead(dbc, cursor, &warm);
    double unused = 0, unusedExec = 0;
    if (doLong) LongTextPass(dbc, cursor, &warm, &unused, &unusedExec);
  }
  // Then rounds of static and forward-only reads one after the other, so
  // that a busy machine weighs on both alike; the medians count.
  bool ok = warm;
  double randomUs = 0, longRandomUs = 0;
  std::vector<double> sExec, sPass, sTotal, fPass, fTotal, textStatic, textForward;
  std::vector<double> longStatic, longExec, longForward;
  std::vector<double> keyed[3], keyedExec[3], keyedCpu[3];
  const int rounds = bench::Rounds();
  for (int r = 0; r < rounds; ++r) {
    if (doMain) {
      SQLHSTMT st = NewStmt(dbc, SQL_CURSOR_STATIC);
      const Pass s = ForwardPass(st, &buf, rows);
      if (r == rounds - 1) randomUs = RandomFetches(st, &buf, rows, &ok);
      SQLFreeHandle(SQL_HANDLE_STMT, st);
      st = NewStmt(dbc, SQL_CURSOR_FORWARD_ONLY);
      const Pass f = ForwardPass(st, &buf, rows);
      SQLFreeHandle(SQL_HANDLE_STMT, st);
      ok = ok && s.ok && f.ok;
      sExec.push_back(s.execute);
      sPass.push_back(s.pass);
      sTotal.push_back(s.execute + s.pass);
      fPass.push_back(f.pass);
      fTotal.push_back(f.execute + f.pass);
    }
    if (doText) {
      textStatic.push_back(TextRead(dbc, SQL_CURSOR_STATIC, &ok));
      textForward.push_back(TextRead(dbc, SQL_CURSOR_FORWARD_ONLY, &ok));
    }
    if (doLong) {
      double total = 0, exec = 0;
      const double us = LongTextPass(dbc, SQL_CURSOR_STATIC, &ok, &total, &exec);
      if (r == rounds - 1) longRandomUs = us;
      longStatic.push_back(total);
      longExec.push_back(exec);
      LongTextPass(dbc, SQL_CURSOR_FORWARD_ONLY, &ok, &total, &exec);
      longForward.push_back(total);
    }
    for (int k = 0; doKeyed && k < 3 * kKeyedReadsARound; ++k) {
      const int c = k % 3;
      double exec = 0, cpu = 0;
      keyed[c].push_back(KeyedRead(dbc, kKeyedCursors[c], &ok, &exec, &cpu));
      keyedExec[c].push_back(exec);
      keyedCpu[c].push_back(cpu);
    }
  }
  SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  using bench::Median;
  std::printf("%s, %ld rows (medians of %d rounds)\n", pg ? "PostgreSQL" : "HSQLDB in memory", rows,
              rounds);
  if (doMain) {
    std::printf("  %-46s %10.3f s\n", "static: execute (result read into the cache)",
                Median(sExec));
    std::printf("  %-46s %10.1f us a fetch\n", "static: ABSOLUTE at random, rowset 10", randomUs);
    std::printf("  %-46s %10.0f rows/s\n", "static: forward pass, rowset 100",
                rows / Median(sPass));
    std::printf("  %-46s %10.0f rows/s\n", "forward-only: forward pass, rowset 100",
                rows / Median(fPass));
    std::printf("  %-46s %10.3f s  forward-only %.3f s  ratio %.2f\n",
                "static: execute + forward pass", Median(sTotal), Median(fTotal),
                Median(sTotal) / Median(fTotal));
  }
  if (doText) {
    std::printf("  %-46s %10.3f s  forward-only %.3f s  ratio %.2f\n",
                "20,000 rows (id, text 200) by SQLGetData", Median(textStatic), Median(textForward),
                Median(textStatic) / Median(textForward));
  }
  if (doLong) {
    std::printf("  %-46s %10.3f s  forward-only %.3f s  ratio %.2f\n",
                "50,000 (id, text 2,000), id bound: exec + pass", Median(longStatic),
                Median(longForward), Median(longStatic) / Median(longForward));
    std::printf("  %-46s %10.3f s\n", "  the same: static execute alone", Median(longExec));
    std::printf("  %-46s %10.1f us a fetch\n", "  the same: ABSOLUTE at random, rowset 10",
                longRandomUs);
  }
  if (doKeyed) {
    std::printf("  keyed rows: medians of %d reads of each kind\n", rounds * kKeyedReadsARound);
    for (int c = 1; c < 3; ++c)
      std::printf("  %-46s %10.3f s  forward-only %.3f s  ratio %.2f\n",
                  c == 1 ? "20,000 keyed rows one at a time: keyset"
                         : "20,000 keyed rows one at a time: dynamic",
                  Median(keyed[c]), Median(keyed[0]), Median(keyed[c]) / Median(keyed[0]));
    for (int c = 0; c < 3; ++c)
      std::printf("  %-46s %10.1f ms  execute alone %.1f ms\n",
                  c == 0   ? "  keyed rows: forward-only"
                  : c == 1 ? "  keyed rows: keyset"
                           : "  keyed rows: dynamic",
                  Median(keyed[c]) * 1e3, Median(keyedExec[c]) * 1e3);
    for (int c = 1; c < 3; ++c)
      std::printf("  %-46s %10.1f ms  forward-only %.1f ms  ratio %.2f\n",
                  c == 1 ? "  the same, CPU of this thread: keyset"
                         : "  the same, CPU of this thread: dynamic",
                  Median(keyedCpu[c]) * 1e3, Median(keyedCpu[0]) * 1e3,
                  Median(keyedCpu[c]) / Median(keyedCpu[0]));
  }
  std::printf("  peak RSS %ld MB (%ld MB before the first cursor was opened)\n", PeakRssMb(),
              rssBefore);
  std::printf("  rows %s\n\n", ok ? "as expected" : "WRONG");
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  bench::SetUp(kJvmOpts);
  if (argc > 3 && std::strcmp(argv[1], "--case") == 0)
    return Case(argv[2], std::atol(argv[3]), argc > 4 ? argv[4] : "");
  std::vector<long> sizes;
  for (int a = 1; a < argc; ++a) sizes.push_back(std::atol(argv[a]));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::printf(
      "scroll benchmark: a static cursor against forward-only, the fetch benchmark's"
      " table\n\n");
  std::fflush(stdout);
  bench::PgServer pg;
  std::vector<std::string> places = {"hsqldb"};
  if (pg.port() != 0) places.push_back(std::to_string(pg.port()));
  const std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
  bool ok = true;
  for (const std::string& where : places) {
    for (long rows : sizes) {
      const std::string cmd = self + " --case " + where + " " + std::to_string(rows);
      ok = std::system(cmd.c_str()) == 0 && ok;
    }
  }
  std::printf("rows %s\n", ok ? "as expected in every case" : "WRONG in some case");
  return ok ? 0 : 1;
}
