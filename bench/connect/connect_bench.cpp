// Connect benchmark: the first connect of a process (for the driver, the
// Java VM's start included) and later connect + disconnect pairs, through
// the driver and through JDBC's DriverManager, on HSQLDB in memory and on
// PostgreSQL when its server can be started. Each database's driver side
// runs in a child process of its own, so that its first connect is the
// process's first. Milliseconds a connect. Then the statement cycle: 10,000
// times a statement allocated, run with SQLExecDirect and freed (JDBC:
// createStatement, execute, close) on one open connection, microseconds a
// cycle.
//   connect_bench [count]
#include <sys/wait.h>

#include <vector>

#include "common/bench.h"

namespace {

using bench::Check;

constexpr int kCycles = 10000;
const char* const kCycleSql = "VALUES (1)";

// Microseconds of one allocate, SQLExecDirect and free of a statement.
double StatementCycles(SQLHDBC dbc, int count) {
  const auto cycle = [dbc]() {
    SQLHSTMT st = nullptr;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
    Check(SQLExecDirect(st, (SQLCHAR*)kCycleSql, SQL_NTS), "SQLExecDirect", SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  };
  for (int i = 0; i < count / 10; ++i) cycle();
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) cycle();
  return bench::Since(t0) * 1e6 / count;
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
  SQLDisconnect(keep);
  SQLFreeHandle(SQL_HANDLE_DBC, keep);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  dprintf(fd, "%f %f %f\n", first, later, cycle);
}

bool DriverFigures(const bench::Backend& b, int count, double* first, double* later,
                   double* cycle) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    DriverSide(b, count, fds[1]);
    _exit(0);
  }
  close(fds[1]);
  FILE* in = fdopen(fds[0], "r");
  const bool ok = in != nullptr && std::fscanf(in, "%lf %lf %lf", first, later, cycle) == 3;
  if (in != nullptr) std::fclose(in);
  int status = 0;
  waitpid(child, &status, 0);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 200;
  if (count <= 0) {
    std::fprintf(stderr, "usage: connect_bench [count]\n");
    return 2;
  }
  bench::SetUp();
  bench::PgServer pg;
  std::printf("connect benchmark: the first connect of a process, then %d connect +"
              " disconnect\n", count);
  int status = 0;
  for (const bench::Backend& b : bench::Backends(pg, "connectbench")) {
    std::vector<double> first, later, cycles, jdbcFirst, jdbcLater, jdbcCycles;
    for (int r = 0; r < bench::Rounds(); ++r) {
      double f = 0, l = 0, c = 0;
      if (!DriverFigures(b, count, &f, &l, &c)) {
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
  }
  return status;
}
