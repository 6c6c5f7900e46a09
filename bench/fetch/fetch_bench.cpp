// Fetch benchmark: 1,000,000 rows of (INTEGER, BIGINT, VARCHAR(30), DOUBLE,
// DECIMAL(12,2), DATE, TIMESTAMP) from HSQLDB in memory, read through the
// driver (the Driver Manager, the Unicode build) with SQLGetData as SQL_C_CHAR,
// with columns bound in their native C types one row per SQLFetch and in
// blocks of 1000 rows, then the same rows read through JDBC directly by
// FetchBench.java in a VM of its own. Each way computes one checksum over the
// values, so a fast wrong answer shows; each reports the best of two rounds
// after a warm-up round, the ways taken in turn, on both sides.
//
// Then the same on a throw-away PostgreSQL server (scripts/pg_server.sh) when
// one can be started, with auto-commit off on both sides so that results
// stream, and the peak resident memory of a process that fetches every row
// forward-only through the driver (driver, Java VM and JDBC driver
// together), with the VM's default heap and with -Xmx256m.
//   fetch_bench [rows]
//   fetch_bench --memory PORT   (the child process of the memory figure)
//   fetch_bench --only WAY [rows]   (one way of the driver on HSQLDB alone,
//     text, bound or blocks: for profiling and paired comparisons)
#include <sql.h>
#include <sqlext.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "common/odbc.h"

namespace {

const std::string& kCreate = bench::kTableCreate;
std::string FillSql(long rows) { return bench::TableFillSql(rows); }
// PostgreSQL's spelling of the same rows.
std::string PgFillSql(long rows) {
  return "INSERT INTO bench SELECT x, CAST(x AS BIGINT) * 1000003, 'row number ' || x,"
         " x / 7.0E0, CAST(x AS DECIMAL(12,2)) / 100, DATE '2000-01-01' + MOD(x, 9000),"
         " TIMESTAMP '2020-01-01 00:00:00' + x * INTERVAL '1 second'"
         " FROM generate_series(1, " +
         std::to_string(rows) + ") AS t(x)";
}
const std::string kSelect = "SELECT i, b, v, d, n, dt, ts FROM bench";
// Both sides' VM options; the collector is named, since the driver picks the
// serial one when none is given and the JDBC side's VM would take its default.
// The heap's pages are touched when it is reserved or grows, not by the
// thread that first allocates in them: otherwise the pass that first fills
// a part of the heap grown by the million-row table pays its page faults,
// and which pass that is shifts with a few bytes more or less allocated.
const char* kJvmOpts = "-Xmx4g -XX:+UseSerialGC -XX:+AlwaysPreTouch -Duser.timezone=UTC";
const char* kPgJar = "/usr/share/java/postgresql.jar";
constexpr SQLULEN kBlockRows = 1000;

// Days since 1970-01-01 of a civil date (the proleptic Gregorian calendar).
long EpochDay(long y, long m, long d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The checksum FetchBench.java computes the same way.
struct Sum {
  long long i = 0, b = 0, vlen = 0, d7 = 0, n100 = 0, dt = 0, ts = 0;
  void Date(long y, long m, long d) { dt += y * 372 + m * 31 + d; }
  void Stamp(long y, long m, long d, long hh, long mm, long ss) {
    ts += EpochDay(y, m, d) * 86400LL + hh * 3600 + mm * 60 + ss;
  }
  std::string Text() const {
    return std::to_string(i) + ":" + std::to_string(b) + ":" + std::to_string(vlen) + ":" +
           std::to_string(d7) + ":" + std::to_string(n100) + ":" + std::to_string(dt) + ":" +
           std::to_string(ts);
  }
};

struct Result {
  long rows = 0;
  double seconds = 0;
  double cpuSeconds = 0;  // the calling thread's, which other processes inflate far less
  std::string sum;
  double RowsPerSecond() const { return seconds > 0 ? rows / seconds : 0; }
};

using bench::Fail;

using bench::Check;

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The number in text[from, to), as Integer.parseInt(text, from, to, 10).
long Field(const char* text, int from, int to) {
  long v = 0;
  std::from_chars(text + from, text + to, v);
  return v;
}

// Every column as text, one SQLGetData per column per row.
Result GetDataAsText(SQLHDBC dbc) {
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  Result r;
  Sum sum;
  auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = ThreadCpuSeconds();
  Check(SQLExecDirect(st, (SQLCHAR*)kSelect.c_str(), SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT,
        st);
  char col[7][64];
  SQLLEN ind[7];
  SQLRETURN rc;
  while ((rc = SQLFetch(st)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    for (SQLUSMALLINT c = 0; c < 7; ++c)
      Check(SQLGetData(st, c + 1, SQL_C_CHAR, col[c], sizeof col[c], &ind[c]), "SQLGetData",
            SQL_HANDLE_STMT, st);
    sum.i += std::strtoll(col[0], nullptr, 10);
    sum.b += std::strtoll(col[1], nullptr, 10);
    sum.vlen += static_cast<long long>(ind[2]);
    sum.d7 += std::llround(std::strtod(col[3], nullptr) * 7);
    char* dot = nullptr;
    long long whole = std::strtoll(col[4], &dot, 10);
    long long cents = (*dot == '.') ? std::strtoll(dot + 1, nullptr, 10) : 0;
    sum.n100 += whole * 100 + (col[4][0] == '-' ? -cents : cents);
    // Dates and timestamps read by position, as FetchBench.java reads them.
    sum.Date(Field(col[5], 0, 4), Field(col[5], 5, 7), Field(col[5], 8, 10));
    sum.Stamp(Field(col[6], 0, 4), Field(col[6], 5, 7), Field(col[6], 8, 10), Field(col[6], 11, 13),
              Field(col[6], 14, 16), Field(col[6], 17, 19));
    ++r.rows;
  }
  if (rc != SQL_NO_DATA) Fail("SQLFetch", SQL_HANDLE_STMT, st);
  r.seconds = Since(t0);
  r.cpuSeconds = ThreadCpuSeconds() - cpu0;
  r.sum = sum.Text();
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return r;
}

// Columns bound once in their native C types, one SQLFetch per row.
Result BoundNative(SQLHDBC dbc) {
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  SQLINTEGER i = 0;
  SQLBIGINT b = 0;
  SQLCHAR v[31];
  SQLDOUBLE d = 0;
  SQL_NUMERIC_STRUCT n;
  SQL_DATE_STRUCT dt;
  SQL_TIMESTAMP_STRUCT ts;
  SQLLEN ind[7];
  Check(SQLBindCol(st, 1, SQL_C_SLONG, &i, 0, &ind[0]), "SQLBindCol", SQL_HANDLE_STMT, st);
  Check(SQLBindCol(st, 2, SQL_C_SBIGINT, &b, 0, &ind[1]), "SQLBindCol", SQL_HANDLE_STMT, st);
  Check(SQLBindCol(st, 3, SQL_C_CHAR, v, sizeof v, &ind[2]), "SQLBindCol", SQL_HANDLE_STMT, st);
  Check(SQLBindCol(st, 4, SQL_C_DOUBLE, &d, 0, &ind[3]), "SQLBindCol", SQL_HANDLE_STMT, st);
  Check(SQLBindCol(st, 6, SQL_C_TYPE_DATE, &dt, 0, &ind[5]), "SQLBindCol", SQL_HANDLE_STMT, st);
  Check(SQLBindCol(st, 7, SQL_C_TYPE_TIMESTAMP, &ts, 0, &ind[6]), "SQLBindCol", SQL_HANDLE_STMT,
        st);
  // SQL_C_NUMERIC takes its scale from the application row descriptor; the
  // data pointer goes last, since setting other fields unbinds the record.
  SQLHDESC ard = nullptr;
  Check(SQLGetStmtAttr(st, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), "SQLGetStmtAttr",
        SQL_HANDLE_STMT, st);
  Check(SQLSetDescField(ard, 5, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_NUMERIC, 0), "SQLSetDescField",
        SQL_HANDLE_DESC, ard);
  Check(SQLSetDescField(ard, 5, SQL_DESC_PRECISION, (SQLPOINTER)12, 0), "SQLSetDescField",
        SQL_HANDLE_DESC, ard);
  Check(SQLSetDescField(ard, 5, SQL_DESC_SCALE, (SQLPOINTER)2, 0), "SQLSetDescField",
        SQL_HANDLE_DESC, ard);
  Check(SQLSetDescField(ard, 5, SQL_DESC_INDICATOR_PTR, &ind[4], 0), "SQLSetDescField",
        SQL_HANDLE_DESC, ard);
  Check(SQLSetDescField(ard, 5, SQL_DESC_OCTET_LENGTH_PTR, &ind[4], 0), "SQLSetDescField",
        SQL_HANDLE_DESC, ard);
  Check(SQLSetDescField(ard, 5, SQL_DESC_DATA_PTR, &n, 0), "SQLSetDescField", SQL_HANDLE_DESC, ard);

  Result r;
  Sum sum;
  auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = ThreadCpuSeconds();
  Check(SQLExecDirect(st, (SQLCHAR*)kSelect.c_str(), SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT,
        st);
  SQLRETURN rc;
  while ((rc = SQLFetch(st)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    sum.i += i;
    sum.b += b;
    sum.vlen += static_cast<long long>(ind[2]);
    sum.d7 += std::llround(d * 7);
    long long unscaled = 0;
    for (int k = SQL_MAX_NUMERIC_LEN - 1; k >= 0; --k) unscaled = unscaled * 256 + n.val[k];
    // The struct holds the value at its own scale; bring it to cents.
    for (int s = n.scale; s < 2; ++s) unscaled *= 10;
    for (int s = n.scale; s > 2; --s) unscaled /= 10;
    sum.n100 += n.sign ? unscaled : -unscaled;
    sum.Date(dt.year, dt.month, dt.day);
    sum.Stamp(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second);
    ++r.rows;
  }
  if (rc != SQL_NO_DATA) Fail("SQLFetch", SQL_HANDLE_STMT, st);
  r.seconds = Since(t0);
  r.cpuSeconds = ThreadCpuSeconds() - cpu0;
  r.sum = sum.Text();
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return r;
}

// Columns bound column-wise in their native C types, 1000 rows per SQLFetch.
Result Blocks(SQLHDBC dbc) {
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  std::vector<SQLINTEGER> i(kBlockRows);
  std::vector<SQLBIGINT> b(kBlockRows);
  std::vector<SQLCHAR> v(kBlockRows * 31);
  std::vector<SQLDOUBLE> d(kBlockRows);
  std::vector<SQLCHAR> n(kBlockRows * 24);
  std::vector<SQL_DATE_STRUCT> dt(kBlockRows);
  std::vector<SQL_TIMESTAMP_STRUCT> ts(kBlockRows);
  std::vector<SQLLEN> ind(7 * kBlockRows);
  SQLULEN got = 0;
  Check(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kBlockRows, 0), "SQLSetStmtAttr",
        SQL_HANDLE_STMT, st);
  Check(SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0), "SQLSetStmtAttr", SQL_HANDLE_STMT,
        st);
  const auto bind = [&](SQLUSMALLINT c, SQLSMALLINT type, void* p, SQLLEN width) {
    Check(SQLBindCol(st, c, type, p, width, &ind[(c - 1) * kBlockRows]), "SQLBindCol",
          SQL_HANDLE_STMT, st);
  };
  bind(1, SQL_C_SLONG, i.data(), 0);
  bind(2, SQL_C_SBIGINT, b.data(), 0);
  bind(3, SQL_C_CHAR, v.data(), 31);
  bind(4, SQL_C_DOUBLE, d.data(), 0);
  bind(5, SQL_C_CHAR, n.data(), 24);  // the decimal as text: its scale kept
  bind(6, SQL_C_TYPE_DATE, dt.data(), 0);
  bind(7, SQL_C_TYPE_TIMESTAMP, ts.data(), 0);
  Result r;
  Sum sum;
  auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = ThreadCpuSeconds();
  Check(SQLExecDirect(st, (SQLCHAR*)kSelect.c_str(), SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT,
        st);
  SQLRETURN rc;
  while ((rc = SQLFetch(st)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    for (SQLULEN k = 0; k < got; ++k) {
      sum.i += i[k];
      sum.b += b[k];
      sum.vlen += static_cast<long long>(ind[2 * kBlockRows + k]);
      sum.d7 += std::llround(d[k] * 7);
      const char* text = reinterpret_cast<const char*>(&n[k * 24]);
      char* dot = nullptr;
      const long long whole = std::strtoll(text, &dot, 10);
      const long long cents = (*dot == '.') ? std::strtoll(dot + 1, nullptr, 10) : 0;
      sum.n100 += whole * 100 + (text[0] == '-' ? -cents : cents);
      sum.Date(dt[k].year, dt[k].month, dt[k].day);
      sum.Stamp(ts[k].year, ts[k].month, ts[k].day, ts[k].hour, ts[k].minute, ts[k].second);
    }
    r.rows += static_cast<long>(got);
  }
  if (rc != SQL_NO_DATA) Fail("SQLFetch", SQL_HANDLE_STMT, st);
  r.seconds = Since(t0);
  r.cpuSeconds = ThreadCpuSeconds() - cpu0;
  r.sum = sum.Text();
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return r;
}

// The driver's own cost of one SQLGetData, the Driver Manager left out: the
// driver's statement handle is called through the driver library's own
// entry points, reading the columns of one fetched row over and over (the
// driver reads columns in any order), so that no fetch weighs in. The least
// of a few passes, so that a busy moment weighs less.
struct CallCost {
  double textNs = 0;  // the seven columns as SQL_C_CHAR, per call
  double intNs = 0;   // the two integer columns as SQL_C_SLONG, per call
  // The same in the calling thread's CPU time, which a shared machine's
  // other work inflates much less than the clock on the wall.
  double textCpuNs = 0;
  double intCpuNs = 0;
};

CallCost DriverGetDataCost(SQLHDBC dbc, long calls) {
  using FetchFn = SQLRETURN (*)(SQLHSTMT);
  using GetDataFn = SQLRETURN (*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  CallCost cost;
  void* lib = dlopen("libxbifxu.so", RTLD_NOW | RTLD_NOLOAD);
  auto fetch = lib != nullptr ? reinterpret_cast<FetchFn>(dlsym(lib, "SQLFetch")) : nullptr;
  auto getData = lib != nullptr ? reinterpret_cast<GetDataFn>(dlsym(lib, "SQLGetData")) : nullptr;
  if (fetch == nullptr || getData == nullptr) {
    std::printf("  driver's own SQLGetData cost: the driver library was not found\n");
    return cost;
  }
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  SQLHSTMT own = st;
  Check(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &own, sizeof own, nullptr), "SQLGetInfo", SQL_HANDLE_DBC,
        dbc);
  Check(SQLExecDirect(st, (SQLCHAR*)kSelect.c_str(), SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT,
        st);
  Check(fetch(own), "SQLFetch", SQL_HANDLE_STMT, st);
  // ns a call over `calls` calls cycling through columns 1..`cols`.
  auto perCall = [&](SQLUSMALLINT cols, SQLSMALLINT type, double* cpuBest) {
    char buf[64];
    SQLLEN ind = 0;
    double best = 1e9;
    *cpuBest = 1e9;
    for (int pass = 0; pass < 5; ++pass) {
      const auto t0 = std::chrono::steady_clock::now();
      const double cpu0 = ThreadCpuSeconds();
      for (long k = 0; k < calls; ++k) {
        const auto c = static_cast<SQLUSMALLINT>(1 + k % cols);
        const SQLRETURN rc = getData(own, c, type, buf, sizeof buf, &ind);
        if (rc != SQL_SUCCESS) {
          std::printf("  driver's own SQLGetData: column %u answered %d\n", c, rc);
          return 0.0;
        }
      }
      best = std::min(best, Since(t0) * 1e9 / static_cast<double>(calls));
      *cpuBest = std::min(*cpuBest, (ThreadCpuSeconds() - cpu0) * 1e9 / static_cast<double>(calls));
    }
    return best;
  };
  cost.textNs = perCall(7, SQL_C_CHAR, &cost.textCpuNs);
  cost.intNs = perCall(2, SQL_C_SLONG, &cost.intCpuNs);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  std::printf(
      "  driver's own cost per SQLGetData (Driver Manager left out, best of 5 x %ld):\n"
      "    seven columns as SQL_C_CHAR   %6.1f ns a call (goal: under 60),"
      " %6.1f ns of thread CPU time\n"
      "    two integers as SQL_C_SLONG   %6.1f ns a call, %6.1f ns of thread CPU time\n",
      calls, cost.textNs, cost.textCpuNs, cost.intNs, cost.intCpuNs);
  return cost;
}

// Runs FetchBench.java and reads its "jdbc-<way> rows seconds checksum" lines.
std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// FetchBench.java on url: the statements of setup first, then the select.
std::map<std::string, Result> RunJdbc(const std::string& jar, const std::string& url,
                                      const std::string& user, const std::string& setup1,
                                      const std::string& setup2) {
  std::string cmd = std::string(QMR_JAVA) + " " + kJvmOpts + " -cp " + jar + ":" +
                    QMR_BENCH_CLASS_DIR + " FetchBench " + Quote(url) + " " + Quote(user) + " " +
                    Quote(kSelect) + " " + Quote(setup1) + " " + Quote(setup2);
  std::map<std::string, Result> out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    char way[64], sum[256];
    Result r;
    if (std::sscanf(line, "%63s %ld %lf %255s", way, &r.rows, &r.seconds, sum) == 4) {
      r.sum = sum;
      out[way] = r;
    }
  }
  if (pclose(p) != 0) std::fprintf(stderr, "fetch_bench: the JDBC run failed\n");
  return out;
}

void Print(const char* way, const Result& r) {
  std::printf("  %-34s %9ld rows %8.2f s %12.0f rows/s\n", way, r.rows, r.seconds,
              r.RowsPerSecond());
}

SQLHDBC Connect(SQLHENV env, const std::string& conn) {
  SQLHDBC dbc = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "SQLAllocHandle", SQL_HANDLE_ENV, env);
  Check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn.c_str(), SQL_NTS, nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT),
        "SQLDriverConnect", SQL_HANDLE_DBC, dbc);
  return dbc;
}

void Run(SQLHDBC dbc, const std::string& sql) {
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  Check(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS), sql.c_str(), SQL_HANDLE_STMT, st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

struct Ways {
  Result text, bound, blocks;
};

// A warm-up round of every way, then two rounds of every way in turn, each
// way's best kept, as the JDBC side runs its two. The order matters on
// PostgreSQL: its JDBC driver reads a statement's rows in text form for its
// first four executions and in binary form from the fifth, so each way has
// to reach the same execution counts on both sides for the figures to
// compare alike.
Ways RunDriver(SQLHDBC dbc) {
  Result (*const ways[])(SQLHDBC) = {GetDataAsText, BoundNative, Blocks};
  for (auto way : ways) way(dbc);
  Result best[3];
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < 3; ++k) {
      Result r = ways[k](dbc);
      if (round == 0 || r.seconds < best[k].seconds) best[k] = r;
    }
  }
  Ways w;
  w.text = best[0];
  w.bound = best[1];
  w.blocks = best[2];
  return w;
}

// The figures of one database; false when a way failed or checksums differ.
bool Report(const Ways& w, std::map<std::string, Result> jdbc, long rows) {
  Print("driver, SQLGetData as SQL_C_CHAR", w.text);
  Print("driver, bound, one row per fetch", w.bound);
  Print("driver, bound, blocks of 1000", w.blocks);
  bool ok = w.text.rows == rows && w.bound.rows == rows && w.blocks.rows == rows;
  for (const char* way : {"jdbc-getString", "jdbc-typed"}) {
    auto it = jdbc.find(way);
    if (it == jdbc.end()) {
      std::printf("  %-34s missing\n", way);
      ok = false;
      continue;
    }
    Print(way[5] == 'g' ? "JDBC, getString" : "JDBC, typed getters", it->second);
  }
  if (!jdbc.count("jdbc-getString") || !jdbc.count("jdbc-typed")) return false;
  const Result& js = jdbc["jdbc-getString"];
  const Result& jt = jdbc["jdbc-typed"];
  std::printf("\n  ratio driver/JDBC (rows per second):\n");
  std::printf("    SQLGetData text / getString   %.2f\n",
              w.text.RowsPerSecond() / js.RowsPerSecond());
  std::printf("    bound row / typed getters     %.2f\n",
              w.bound.RowsPerSecond() / jt.RowsPerSecond());
  std::printf("    blocks of 1000 / typed        %.2f\n",
              w.blocks.RowsPerSecond() / jt.RowsPerSecond());
  const bool same =
      w.text.sum == jt.sum && w.bound.sum == jt.sum && w.blocks.sum == jt.sum && js.sum == jt.sum;
  std::printf("\n  checksums %s\n", same ? "agree" : "DIFFER");
  if (!same) {
    std::printf(
        "    driver text   %s\n    driver bound  %s\n    driver blocks %s\n"
        "    jdbc typed    %s\n",
        w.text.sum.c_str(), w.bound.sum.c_str(), w.blocks.sum.c_str(), jt.sum.c_str());
  }
  return ok && same;
}

std::string PgConnStr(const std::string& port) {
  return "DRIVER={Quillmar Unicode};JDBC=org.postgresql.Driver;URL=jdbc:postgresql://127.0.0.1:" +
         port + "/qmr;UID=qmr;PWD=;FBS=1000";
}

void AutoCommitOff(SQLHDBC dbc) {
  Check(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
        "SQLSetConnectAttr", SQL_HANDLE_DBC, dbc);
}

// The child of the memory figures: every row of the table, forward only, in
// blocks of 1000, with auto-commit off (the rows stream) or on (the JDBC
// driver holds the whole result); prints the rows, the seconds and the peak
// RSS.
int MemoryChild(const std::string& port, bool autoCommit) {
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLHDBC dbc = Connect(env, PgConnStr(port));
  if (!autoCommit) AutoCommitOff(dbc);
  const Result r = Blocks(dbc);
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("memory %ld %.2f %ld\n", r.rows, r.seconds, static_cast<long>(ru.ru_maxrss));
  SQLDisconnect(dbc);
  return 0;
}

// Runs the memory child with the given VM options; its peak RSS in MB, or -1,
// and its seconds. *outOfHeap says the child's VM ran out of heap.
double PeakRss(const std::string& port, const std::string& jvmOpts, bool autoCommit, long* rows,
               double* seconds, bool* outOfHeap) {
  std::string cmd = "QMR_JVM_OPTS=" + Quote(jvmOpts) + " /proc/" + std::to_string(getpid()) +
                    "/exe " + (autoCommit ? "--memory-autocommit " : "--memory ") + port + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return -1;
  char line[1024];
  double mb = -1;
  std::string failure;  // the child's diagnostics, shown unless it only ran out of heap
  while (std::fgets(line, sizeof line, p) != nullptr) {
    long kb = 0;
    if (std::sscanf(line, "memory %ld %lf %ld", rows, seconds, &kb) == 3)
      mb = kb / 1024.0;
    else
      failure += line;
  }
  pclose(p);
  *outOfHeap = failure.find("OutOfMemoryError") != std::string::npos;
  if (!(autoCommit && *outOfHeap)) std::fputs(failure.c_str(), stdout);
  return mb;
}

// Peak RSS and speed of a process that reads every row forward only in
// blocks (driver, VM and JDBC driver together), each in a child process of
// its own: with auto-commit off the rows stream, with it on pgjdbc holds the
// whole result, and how the VM's heap is laid out decides what promoting it
// costs. The VM options beside the driver's own defaults (QMR_BENCH_HEAP_OPTS,
// '|' between choices, replaces the list).
bool MemoryFigures(const std::string& port, long rows) {
  std::vector<std::string> choices = {"", "-Xmx256m"};
  if (const char* own = std::getenv("QMR_BENCH_HEAP_OPTS")) {
    choices = {""};
    std::string list = own;
    for (size_t at = 0; at <= list.size();) {
      const size_t bar = std::min(list.find('|', at), list.size());
      if (bar > at) choices.push_back(list.substr(at, bar - at));
      at = bar + 1;
    }
  }
  std::printf(
      "\n  %ld rows forward only in blocks of 1000, a process each"
      " (driver, VM, JDBC driver):\n",
      rows);
  std::printf("    %-13s %-40s %8s %8s\n", "auto-commit", "VM options", "peak RSS", "seconds");
  const std::string base = std::string("-Djava.class.path=") + kPgJar + " -Duser.timezone=UTC ";
  bool ok = true;
  for (bool autoCommit : {false, true}) {
    for (const std::string& heap : choices) {
      long got = 0;
      double secs = 0;
      bool outOfHeap = false;
      const double mb = PeakRss(port, base + heap, autoCommit, &got, &secs, &outOfHeap);
      const char* name = heap.empty() ? "the driver's defaults" : heap.c_str();
      // With auto-commit on, pgjdbc holds the whole result; a heap chosen
      // smaller than that result is a figure of its own, not a failure.
      if (autoCommit && !heap.empty() && outOfHeap) {
        std::printf("    %-13s %-40s  the whole result does not fit this heap\n", "on", name);
        continue;
      }
      std::printf("    %-13s %-40s %5.0f MB %8.2f%s\n", autoCommit ? "on" : "off", name, mb, secs,
                  got == rows ? "" : "  (rows missing)");
      ok = ok && mb > 0 && got == rows;
    }
  }
  return ok;
}

// The PostgreSQL part, when a throw-away server starts; true when it ran
// well or could not run at all.
bool PostgresPart(long rows) {
  if (const char* off = std::getenv("QMR_BENCH_PG"); off != nullptr && std::string(off) == "0")
    return true;
  // Where the server's data directory goes; two runs at once need two.
  const char* own = std::getenv("QMR_BENCH_PG_DIR");
  const std::string dir = own != nullptr ? own : std::string(QMR_BENCH_DIR) + "/pg";
  const std::string script = std::string(QMR_SOURCE_DIR) + "/scripts/pg_server.sh";
  setenv("QMR_PG_STARTER", std::to_string(getpid()).c_str(), 1);
  std::printf("\nstarting a throw-away PostgreSQL server ...\n");
  std::fflush(stdout);
  if (std::system(("sh " + Quote(script) + " start " + Quote(dir)).c_str()) != 0) {
    std::printf("PostgreSQL: no server could be started; its figures are left out\n");
    return true;
  }
  char port[32] = "";
  if (FILE* f = std::fopen((dir + "/port").c_str(), "r")) {
    if (std::fscanf(f, "%31s", port) != 1) port[0] = '\0';
    std::fclose(f);
  }
  bool ok = port[0] != '\0';
  if (ok) {
    SQLHENV env = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLHDBC dbc = Connect(env, PgConnStr(port));
    std::printf("filling the table on PostgreSQL ...\n");
    std::fflush(stdout);
    Run(dbc, "DROP TABLE IF EXISTS bench");
    Run(dbc,
        "CREATE TABLE bench (i INTEGER, b BIGINT, v VARCHAR(30), d DOUBLE PRECISION,"
        " n DECIMAL(12,2), dt DATE, ts TIMESTAMP)");
    Run(dbc, PgFillSql(rows));
    Run(dbc, "ANALYZE bench");
    AutoCommitOff(dbc);  // results stream
    const Ways w = RunDriver(dbc);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    std::printf("running the same through JDBC directly ...\n");
    std::fflush(stdout);
    const auto jdbc =
        RunJdbc(kPgJar, std::string("jdbc:postgresql://127.0.0.1:") + port + "/qmr", "qmr", "", "");
    std::printf(
        "\nPostgreSQL on port %s, %ld rows, auto-commit off,"
        " fetch size 1000 on both sides\n",
        port, rows);
    ok = Report(w, jdbc, rows);

    ok = MemoryFigures(port, rows) && ok;
  }
  std::system(("sh " + Quote(script) + " stop " + Quote(dir) + " >/dev/null").c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  // The private configuration of the build; a caller's own settings win.
  setenv("ODBCSYSINI", QMR_ODBC_DIR, 0);
  setenv("ODBCINI", QMR_ODBC_DIR "/odbc.ini", 0);
  if (argc > 2 && std::strcmp(argv[1], "--memory") == 0) return MemoryChild(argv[2], false);
  if (argc > 2 && std::strcmp(argv[1], "--memory-autocommit") == 0)
    return MemoryChild(argv[2], true);
  // --cost: the driver's own SQLGetData cost alone, over a small table.
  const bool costOnly = argc > 1 && std::strcmp(argv[1], "--cost") == 0;
  if (costOnly) {
    --argc;
    ++argv;
  }
  // --only WAY: that way alone, its warm-up and best of two rounds.
  Result (*only)(SQLHDBC) = nullptr;
  if (argc > 2 && std::strcmp(argv[1], "--only") == 0) {
    const std::string way = argv[2];
    only = way == "text"     ? GetDataAsText
           : way == "bound"  ? BoundNative
           : way == "blocks" ? Blocks
                             : nullptr;
    if (only == nullptr) {
      std::fprintf(stderr, "fetch_bench: --only text, bound or blocks\n");
      return 2;
    }
    argc -= 2;
    argv += 2;
  }
  const long rows = argc > 1 ? std::atol(argv[1]) : costOnly ? 1000 : 1000000;
  setenv("QMR_JVM_OPTS",
         (std::string("-Djava.class.path=" QMR_HSQLDB_JAR ":") + kPgJar + " " + kJvmOpts).c_str(),
         0);

  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLHDBC dbc = Connect(env,
                        "DRIVER={Quillmar Unicode};JDBC=org.hsqldb.jdbc.JDBCDriver;"
                        "URL=jdbc:hsqldb:mem:fetchbench;UID=SA;PWD=");
  std::printf(
      "fetch benchmark: %ld rows of (INTEGER, BIGINT, VARCHAR(30), DOUBLE,"
      " DECIMAL(12,2), DATE, TIMESTAMP), HSQLDB in memory\n",
      rows);
  std::printf("VM options on both sides: %s\n", kJvmOpts);
  std::printf("filling the table through the driver ...\n");
  std::fflush(stdout);
  Run(dbc, kCreate);
  Run(dbc, FillSql(rows));
  if (costOnly) {
    DriverGetDataCost(dbc, 700000);
    SQLDisconnect(dbc);
    return 0;
  }
  if (only != nullptr) {
    std::printf("reading ...\n");  // a profiler may attach from here on
    std::fflush(stdout);
    only(dbc);  // the warm-up round
    Result r = only(dbc);
    const Result again = only(dbc);
    std::printf("  %s: %.3f and %.3f s, %.3f and %.3f s of the thread's CPU time\n", argv[0],
                r.seconds, again.seconds, r.cpuSeconds, again.cpuSeconds);
    if (again.sum != r.sum) r.rows = -1;
    std::printf("  checksum %s\n", r.sum.c_str());
    SQLDisconnect(dbc);
    return r.rows == rows ? 0 : 1;
  }
  const Ways w = RunDriver(dbc);
  DriverGetDataCost(dbc, 700000);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  std::printf("running the same through JDBC directly ...\n");
  std::fflush(stdout);
  const auto jdbc =
      RunJdbc(QMR_HSQLDB_JAR, "jdbc:hsqldb:mem:jdbcbench", "SA", kCreate, FillSql(rows));
  std::printf("\nHSQLDB in memory, %ld rows\n", rows);
  bool ok = Report(w, jdbc, rows);
  ok = PostgresPart(rows) && ok;
  return ok ? 0 : 1;
}
