// What the insert, lookup and connect benchmarks share: the build's private
// Driver Manager configuration, the databases they run on (HSQLDB in memory
// always; a throw-away PostgreSQL server when its binaries are installed),
// the JDBC side run by JdbcBench.java in a VM of its own, and the printing
// of driver and JDBC figures with their ratio.
#ifndef QMR_BENCH_COMMON_BENCH_H
#define QMR_BENCH_COMMON_BENCH_H

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/odbc.h"

namespace bench {

struct Backend {
  std::string name;
  std::string odbc;  // connection string through the Unicode driver
  std::string url;   // the same database for JDBC
  std::string user;
};

inline double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline void Exec(SQLHDBC dbc, const std::string& sql, bool mayFail = false) {
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (!mayFail) Check(rc, sql.c_str(), SQL_HANDLE_STMT, st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

inline void Connect(SQLHDBC dbc, const Backend& b) {
  Check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)b.odbc.c_str(), SQL_NTS, nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT),
        "SQLDriverConnect", SQL_HANDLE_DBC, dbc);
}

// The PostgreSQL server a benchmark starts and stops; absent binaries or a
// failed start leave it out with the reason printed.
class PgServer {
 public:
  PgServer() {
    if (const char* off = std::getenv("QMR_BENCH_PG"); off != nullptr && std::string(off) == "0")
      return;
    dir_ = std::string(QMR_BENCH_WORK_DIR) + "/pg-" + std::to_string(getpid());
    // The server's watchdog follows this process, not the shell that starts it.
    setenv("QMR_PG_STARTER", std::to_string(getpid()).c_str(), 1);
    const std::string cmd = "sh " QMR_SOURCE_DIR "/scripts/pg_server.sh start '" + dir_ +
                            "' >/dev/null 2>'" + dir_ + ".err'";
    if (std::system(cmd.c_str()) != 0) {
      std::printf("PostgreSQL: not run (the server did not start; see %s.err)\n", dir_.c_str());
      return;
    }
    FILE* f = std::fopen((dir_ + "/port").c_str(), "r");
    if (f != nullptr && std::fscanf(f, "%d", &port_) != 1) port_ = 0;
    if (f != nullptr) std::fclose(f);
  }
  ~PgServer() {
    if (dir_.empty()) return;
    const std::string cmd = "sh " QMR_SOURCE_DIR "/scripts/pg_server.sh stop '" + dir_ +
                            "' >/dev/null 2>&1; rm -rf '" + dir_ + "' '" + dir_ + ".err'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "bench: stopping PostgreSQL failed\n");
  }
  int port() const { return port_; }
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

 private:
  std::string dir_;
  int port_ = 0;
};

// The VM options both sides run with: the driver's VM and the JDBC side's
// own. The collector is named, since the driver picks the serial one when
// none is given and the JDBC side's VM would take its default otherwise.
constexpr const char* kVmOptions = "-Xmx2g -XX:+UseSerialGC";

inline void PrintVmOptions(const char* jvmOpts = kVmOptions) {
  std::printf("VM options on both sides: %s -Duser.timezone=UTC\n", jvmOpts);
}

// The build's private configuration and the VM's class path (both archives);
// a caller's own settings win.
inline void SetUp(const char* jvmOpts = kVmOptions) {
  setenv("ODBCSYSINI", QMR_ODBC_DIR, 0);
  setenv("ODBCINI", QMR_ODBC_DIR "/odbc.ini", 0);
  const std::string opts = std::string("-Djava.class.path=" QMR_HSQLDB_JAR ":" QMR_PG_JAR " ") +
                           jvmOpts + " -Duser.timezone=UTC";
  setenv("QMR_JVM_OPTS", opts.c_str(), 0);
}

inline std::vector<Backend> Backends(const PgServer& pg, const std::string& hsqlName) {
  std::vector<Backend> out;
  out.push_back({"HSQLDB in memory",
                 "DRIVER={Quillmar Unicode};JDBC=org.hsqldb.jdbc.JDBCDriver;"
                 "URL=jdbc:hsqldb:mem:" +
                     hsqlName + ";UID=SA;PWD=",
                 "jdbc:hsqldb:mem:" + hsqlName, "SA"});
  if (pg.port() != 0) {
    const std::string url = "jdbc:postgresql://127.0.0.1:" + std::to_string(pg.port()) + "/qmr";
    out.push_back(
        {"PostgreSQL",
         "DRIVER={Quillmar Unicode};JDBC=org.postgresql.Driver;URL=" + url + ";UID=qmr;PWD=", url,
         "qmr"});
  }
  return out;
}

// Runs JdbcBench.java with the arguments and reads its "name value" lines.
inline std::map<std::string, double> RunJdbc(const std::vector<std::string>& args,
                                             const char* jvmOpts = kVmOptions) {
  auto quote = [](const std::string& s) {
    std::string q = "'";
    for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  std::string cmd = std::string(QMR_JAVA) + " " + jvmOpts +
                    " -Duser.timezone=UTC -cp " QMR_HSQLDB_JAR ":" QMR_PG_JAR ":" +
                    QMR_BENCH_CLASS_DIR + " JdbcBench";
  for (const std::string& a : args) cmd += " " + quote(a);
  std::map<std::string, double> out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    char name[128];
    double value = 0;
    if (std::sscanf(line, "%127s %lf", name, &value) == 2) out[name] = value;
  }
  if (pclose(p) != 0) std::fprintf(stderr, "bench: the JDBC run failed\n");
  return out;
}

// Rounds each figure is taken in, driver and JDBC one after the other, so
// that a busy machine weighs on both alike (QMR_BENCH_ROUNDS, default 3).
inline int Rounds() {
  const char* v = std::getenv("QMR_BENCH_ROUNDS");
  const int n = v != nullptr ? std::atoi(v) : 3;
  return n > 0 ? n : 1;
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 != 0 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// One figure of both sides (the medians of the rounds) and driver/JDBC;
// `unit` says what the numbers are.
inline void Print(const char* what, const std::vector<double>& driver,
                  const std::vector<double>& jdbc, const char* unit) {
  const double d = Median(driver);
  const double j = Median(jdbc);
  std::printf("  %-40s driver %10.2f  JDBC %10.2f %-8s driver/JDBC %5.2f\n", what, d, j, unit,
              j > 0 ? d / j : 0.0);
}

}  // namespace bench

#endif
