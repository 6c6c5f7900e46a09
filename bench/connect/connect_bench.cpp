// Connect benchmark: the first connect of a process (for the driver, the
// Java VM's start included) and later connect + disconnect pairs, through
// the driver and through JDBC's DriverManager, on HSQLDB in memory and on
// PostgreSQL when its server can be started. Each database's driver side
// runs in a child process of its own, so that its first connect is the
// process's first. Milliseconds a connect.
//   connect_bench [count]
#include <sys/wait.h>

#include <vector>

#include "common/bench.h"

namespace {

using bench::Check;

// In a child: prints "first later" milliseconds to the pipe.
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
  SQLDisconnect(keep);
  SQLFreeHandle(SQL_HANDLE_DBC, keep);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  dprintf(fd, "%f %f\n", first, later);
}

bool DriverFigures(const bench::Backend& b, int count, double* first, double* later) {
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
  const bool ok = in != nullptr && std::fscanf(in, "%lf %lf", first, later) == 2;
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
    std::vector<double> first, later, jdbcFirst, jdbcLater;
    for (int r = 0; r < bench::Rounds(); ++r) {
      double f = 0, l = 0;
      if (!DriverFigures(b, count, &f, &l)) {
        std::printf("%s: the driver side failed\n", b.name.c_str());
        status = 1;
        break;
      }
      first.push_back(f);
      later.push_back(l);
      auto jdbc = bench::RunJdbc({"connect", b.url, b.user, std::to_string(count)});
      jdbcFirst.push_back(jdbc["connect_first_ms"]);
      jdbcLater.push_back(jdbc["connect_later_ms"]);
    }
    if (first.empty()) continue;
    std::printf("%s\n", b.name.c_str());
    bench::Print("first connect (driver: VM start included)", first, jdbcFirst, "ms");
    bench::Print("later connect + disconnect", later, jdbcLater, "ms");
  }
  return status;
}
