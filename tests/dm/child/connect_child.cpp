// A process that connects as its arguments say and prints what each connect
// answered on standard output, so that a test can read its standard error
// alone:
//   qmr_connect_child STEP...
//   STEP is  C,<dsn>,<user>,<password>          SQLConnect
//        or  D,<completion>,<connection string> SQLDriverConnect, null window
//   or O,<dsn> (SQLConnect, kept open), X,<sql> (SQLExecDirect on it), S (a
//   SIGSEGV handler passing signals on to the one it replaced, then a tenth
//   of a second's pause; no line), P,<dsn>,<dsn>... (SQLConnect to each at
//   once, a thread each, released together; one line "rc=<n>" each, in
//   the order given)
// For each step one line "rc=<n>", then one line "<SQLSTATE>|<message>" per
// diagnostic record of the connection, in record order.
#include <signal.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& s, size_t parts) {
  std::vector<std::string> out;
  size_t start = 0;
  while (out.size() + 1 < parts) {
    const size_t comma = s.find(',', start);
    if (comma == std::string::npos) break;
    out.push_back(s.substr(start, comma - start));
    start = comma + 1;
  }
  out.push_back(s.substr(start));
  return out;
}

SQLCHAR* Text(std::string& s) { return reinterpret_cast<SQLCHAR*>(&s[0]); }

void PrintDiag(SQLSMALLINT type, SQLHANDLE h) {
  for (SQLSMALLINT rec = 1;; ++rec) {
    SQLCHAR state[6] = {};
    SQLCHAR msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, rec, state, &native, msg, sizeof msg, &len))) break;
    std::printf("%s|%s\n", reinterpret_cast<char*>(state), reinterpret_cast<char*>(msg));
  }
  std::fflush(stdout);
}

// The connects of a P step, each on its thread once all are ready.
void Parallel(SQLHENV env, const std::vector<std::string>& dsns) {
  std::vector<SQLRETURN> rcs(dsns.size(), SQL_ERROR);
  std::atomic<size_t> ready{0};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < dsns.size(); ++i) {
    threads.emplace_back([&, i] {
      SQLHDBC dbc = nullptr;
      SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
      std::string dsn = dsns[i];
      ++ready;
      while (ready < dsns.size()) std::this_thread::yield();
      rcs[i] = SQLConnect(dbc, Text(dsn), SQL_NTS, nullptr, 0, nullptr, 0);
      if (SQL_SUCCEEDED(rcs[i])) SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    });
  }
  for (std::thread& t : threads) t.join();
  for (SQLRETURN rc : rcs) std::printf("rc=%d\n", static_cast<int>(rc));
  std::fflush(stdout);
}

struct sigaction gReplaced;

void PassOn(int sig, siginfo_t* info, void* context) {
  if ((gReplaced.sa_flags & SA_SIGINFO) != 0) return gReplaced.sa_sigaction(sig, info, context);
  _exit(128 + sig);
}

}  // namespace

int main(int argc, char** argv) {
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHDBC kept = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string step = argv[i];
    if (step == "S") {
      struct sigaction mine {};
      mine.sa_sigaction = PassOn;
      mine.sa_flags = SA_SIGINFO;
      sigaction(SIGSEGV, &mine, &gReplaced);
      usleep(100000);  // past the interval in which executes ask only once
      continue;
    }
    if (step.rfind("P,", 0) == 0) {
      std::vector<std::string> dsns;
      for (size_t at = 2, comma; at <= step.size(); at = comma + 1) {
        comma = step.find(',', at);
        if (comma == std::string::npos) comma = step.size();
        dsns.push_back(step.substr(at, comma - at));
      }
      Parallel(env, dsns);
      continue;
    }
    if (step.rfind("X,", 0) == 0) {
      std::string sql = step.substr(2);
      SQLHSTMT stmt = nullptr;
      SQLAllocHandle(SQL_HANDLE_STMT, kept, &stmt);
      std::printf("rc=%d\n", static_cast<int>(SQLExecDirect(stmt, Text(sql), SQL_NTS)));
      PrintDiag(SQL_HANDLE_STMT, stmt);
      continue;
    }
    const bool keep = step.rfind("O,", 0) == 0;
    if (keep) step = "C," + step.substr(2) + ",,";
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLRETURN rc = SQL_ERROR;
    if (step.rfind("C,", 0) == 0) {
      std::vector<std::string> f = Split(step, 4);
      if (f.size() != 4) return 2;
      rc = SQLConnect(dbc, Text(f[1]), SQL_NTS, Text(f[2]), SQL_NTS, Text(f[3]), SQL_NTS);
    } else if (step.rfind("D,", 0) == 0) {
      std::vector<std::string> f = Split(step, 3);
      if (f.size() != 3) return 2;
      SQLCHAR out[1024];
      SQLSMALLINT len = 0;
      rc = SQLDriverConnect(dbc, nullptr, Text(f[2]), SQL_NTS, out, sizeof out, &len,
                            static_cast<SQLUSMALLINT>(std::atoi(f[1].c_str())));
    } else {
      return 2;
    }
    std::printf("rc=%d\n", static_cast<int>(rc));
    PrintDiag(SQL_HANDLE_DBC, dbc);
    if (keep) {
      kept = dbc;
      continue;
    }
    if (SQL_SUCCEEDED(rc)) SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return 0;
}
