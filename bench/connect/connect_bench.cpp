// Connect benchmark: the first connect of a process (for the driver, the
// Java VM's start included) and later connect + disconnect pairs, through
// the driver and through JDBC's DriverManager, on HSQLDB in memory and on
// PostgreSQL when its server can be started. Each database's driver side
// runs in a child process of its own, so that its first connect is the
// process's first. Milliseconds a connect. Then the statement cycle: 10,000
// times a statement allocated, run with SQLExecDirect and freed (JDBC:
// createStatement, execute, close) on one open connection, microseconds a
// cycle, and the Java calls the driver makes in a cycle. Last the peak resident memory of a process
// that connects, fetches 10,000 rows and disconnects 200 times with the VM's default heap.
//   connect_bench [count]
#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

#include "common/bench.h"
#include "common/javacalls.h"

namespace {

using bench::Check;

constexpr int kCycles = 10000;

// VM options of the memory figure beside the class path: none (the
// driver's defaults) unless QMR_BENCH_RSS_OPTS names some to compare.
std::string RssVmOptions() {
  const char* v = std::getenv("QMR_BENCH_RSS_OPTS");
  return v != nullptr ? v : "";
}
const char* const kCycleSql = "VALUES (1)";

// Microseconds of one allocate, SQLExecDirect and free of a statement.
double StatementCycles(SQLHDBC dbc, int count) {
  const auto cycle = [dbc]() {
    SQLHSTMT st = nullptr;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
    Check(SQLExecDirect(st, (SQLCHAR*)kCycleSql, SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  };
  // A second of cycles to warm up, as the JDBC side does.
  for (const auto w0 = std::chrono::steady_clock::now(); bench::Since(w0) < 1.0;) cycle();
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) cycle();
  return bench::Since(t0) * 1e6 / count;
}

// Java calls the driver makes in one cycle (the counter starts after the
// timed cycles, so they run without it); -1 when it cannot count.
double JavaCallsACycle(SQLHDBC dbc) {
  if (!bench::javacalls::Start()) return -1;
  const uint64_t before = bench::javacalls::Count();
  for (int i = 0; i < 1000; ++i) {
    SQLHSTMT st = nullptr;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
    Check(SQLExecDirect(st, (SQLCHAR*)kCycleSql, SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
  return static_cast<double>(bench::javacalls::Count() - before) / 1000;
}

// In a child: prints "first later cycle" (milliseconds, milliseconds,
// microseconds) to the pipe.
void DriverSide(const bench::Backend& b, int count, int fd) {
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLHDBC keep = nullptr;
  SQLHDBC dbc = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "SQLAllocHandle", SQL_HANDLE_ENV, env);
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &keep), "SQLAllocHandle", SQL_HANDLE_ENV, env);
  auto t0 = std::chrono::steady_clock::now();
  bench::Connect(dbc, b);
  SQLDisconnect(dbc);
  const double first = bench::Since(t0) * 1e3;
  // An in-memory database lives while a connection does: keep one open.
  bench::Connect(keep, b);
  for (int i = 0; i < count / 10; ++i) {
    bench::Connect(dbc, b);
    SQLDisconnect(dbc);
  }
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    bench::Connect(dbc, b);
    SQLDisconnect(dbc);
  }
  const double later = bench::Since(t0) * 1e3 / count;
  const double cycle = StatementCycles(keep, kCycles);
  const double calls = JavaCallsACycle(keep);
  SQLDisconnect(keep);
  SQLFreeHandle(SQL_HANDLE_DBC, keep);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  dprintf(fd, "%f %f %f %f\n", first, later, cycle, calls);
}

// In a child: 200 times connect, fetch 10,000 rows (a column of each kind
// of the fetch benchmark) and disconnect, with the VM's own default heap
// settings; prints the peak resident memory in MB to the pipe.
void RssSide(const bench::Backend& b, int fd) {
  const std::string opts =
      std::string("-Djava.class.path=" QMR_HSQLDB_JAR ":" QMR_PG_JAR " -Duser.timezone=UTC ") +
      RssVmOptions();
  setenv("QMR_JVM_OPTS", opts.c_str(), 1);
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLHDBC keep = nullptr, dbc = nullptr;
  SQLAllocHandle(SQL_HANDLE_DBC, env, &keep);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  bench::Connect(keep, b);  // keeps an in-memory database alive
  bench::Exec(keep, "DROP TABLE bench", true);
  bench::Exec(keep, b.name == "PostgreSQL"
                        ? "CREATE TABLE bench (i INTEGER, b BIGINT, v VARCHAR(30),"
                          " d DOUBLE PRECISION, n DECIMAL(12,2), dt DATE, ts TIMESTAMP)"
                        : bench::kTableCreate);
  bench::Exec(keep, b.name == "PostgreSQL"
                        ? "INSERT INTO bench SELECT x, x, 'row number ' || x, x / 7.0, x / 100.0,"
                          " DATE '2000-01-01' + x, TIMESTAMP '2020-01-01' + x * INTERVAL '1 s'"
                          " FROM generate_series(1, 10000) AS t(x)"
                        : bench::TableFillSql(10000));
  for (int i = 0; i < 200; ++i) {
    bench::Connect(dbc, b);
    SQLHSTMT st = nullptr;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
    Check(SQLExecDirect(st, (SQLCHAR*)"SELECT i, b, v, d, n, dt, ts FROM bench", SQL_NTS), "SELECT",
          SQL_HANDLE_STMT, st);
    char text[64];
    SQLLEN len = 0;
    while (SQL_SUCCEEDED(SQLFetch(st))) SQLGetData(st, 3, SQL_C_CHAR, text, sizeof text, &len);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
  }
  bench::Exec(keep, "DROP TABLE bench");
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  dprintf(fd, "%f\n", static_cast<double>(ru.ru_maxrss) / 1024.0);
}

// Runs side in a child process; what it printed to the pipe.
template <class Side>
std::string InChild(Side side) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    side(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : std::string();
}

bool DriverFigures(const bench::Backend& b, int count, double* first, double* later, double* cycle,
                   double* calls) {
  const std::string out = InChild([&](int fd) { DriverSide(b, count, fd); });
  return std::sscanf(out.c_str(), "%lf %lf %lf %lf", first, later, cycle, calls) == 4;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  if (count <= 0) {
    std::fprintf(stderr, "usage: connect_bench [count]\n");
    return 2;
  }
  bench::SetUp();
  bench::PrintVmOptions();
  bench::PgServer pg;
  std::printf(
      "connect benchmark: the first connect of a process, then %d connect +"
      " disconnect\n",
      count);
  int status = 0;
  for (const bench::Backend& b : bench::Backends(pg, "connectbench")) {
    std::vector<double> first, later, cycles, jdbcFirst, jdbcLater, jdbcCycles;
    double calls = -1;
    for (int r = 0; r < bench::Rounds(); ++r) {
      double f = 0, l = 0, c = 0;
      if (!DriverFigures(b, count, &f, &l, &c, &calls)) {
        std::printf("%s: the driver side failed\n", b.name.c_str());
        status = 1;
        break;
      }
      first.push_back(f);
      later.push_back(l);
      cycles.push_back(c);
      auto jdbc = bench::RunJdbc({"connect", b.url, b.user, std::to_string(count)});
      jdbcFirst.push_back(jdbc["connect_first_ms"]);
      jdbcLater.push_back(jdbc["connect_later_ms"]);
      jdbcCycles.push_back(jdbc["stmt_cycle_us"]);
    }
    if (first.empty()) continue;
    std::printf("%s\n", b.name.c_str());
    bench::Print("first connect (driver: VM start included)", first, jdbcFirst, "ms");
    bench::Print("later connect + disconnect", later, jdbcLater, "ms");
    bench::Print("statement alloc + SQLExecDirect + free", cycles, jdbcCycles, "us");
    if (calls >= 0) std::printf("  %-40s driver %10.1f\n", "  Java calls a cycle", calls);
    double mb = 0;
    const std::string rss = InChild([&](int fd) { RssSide(b, fd); });
    if (std::sscanf(rss.c_str(), "%lf", &mb) == 1)
      std::printf("  %-40s driver %10.0f MB (peak RSS, VM options: %s)\n",
                  "200 x connect, fetch 10,000 rows", mb,
                  RssVmOptions().empty() ? "the driver's defaults" : RssVmOptions().c_str());
    else
      std::printf("  200 x connect, fetch 10,000 rows: the driver side failed\n");
  }
  return status;
}
