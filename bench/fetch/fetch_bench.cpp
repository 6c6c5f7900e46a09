// Fetch benchmark: 1,000,000 rows of (INTEGER, BIGINT, VARCHAR(30), DOUBLE,
// DECIMAL(12,2), DATE, TIMESTAMP) from HSQLDB in memory, read through the
// driver (the Driver Manager, the Unicode build) with SQLGetData as SQL_C_CHAR
// and with columns bound in their native C types, then the same rows read
// through JDBC directly by FetchBench.java in a VM of its own. Each way
// computes one checksum over the values, so a fast wrong answer shows.
//   fetch_bench [rows]
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

const std::string kCreate =
    "CREATE TABLE bench (i INTEGER, b BIGINT, v VARCHAR(30), d DOUBLE, n DECIMAL(12,2),"
    " dt DATE, ts TIMESTAMP)";
std::string FillSql(long rows) {
  return "INSERT INTO bench SELECT x, x * 1000003, 'row number ' || x, x / 7.0E0,"
         " CAST(x AS DECIMAL(12,2)) / 100, DATE '2000-01-01' + MOD(x, 9000) DAY,"
         " TIMESTAMP '2020-01-01 00:00:00' + x SECOND"
         " FROM UNNEST(SEQUENCE_ARRAY(1, " + std::to_string(rows) + ", 1)) AS t(x)";
}
const std::string kSelect = "SELECT i, b, v, d, n, dt, ts FROM bench";
const char* kJvmOpts = "-Xmx4g -Duser.timezone=UTC";

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
  std::string sum;
  double RowsPerSecond() const { return seconds > 0 ? rows / seconds : 0; }
};

[[noreturn]] void Fail(const char* what, SQLSMALLINT type, SQLHANDLE h) {
  std::fprintf(stderr, "fetch_bench: %s failed\n", what);
  SQLCHAR state[6] = "", msg[1024] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  for (SQLSMALLINT i = 1;
       SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, state, &native, msg, sizeof msg, &len)); ++i)
    std::fprintf(stderr, "  [%s] %s\n", state, msg);
  std::exit(1);
}

void Check(SQLRETURN rc, const char* what, SQLSMALLINT type, SQLHANDLE h) {
  if (!SQL_SUCCEEDED(rc)) Fail(what, type, h);
}

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Every column as text, one SQLGetData per column per row.
Result GetDataAsText(SQLHDBC dbc) {
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  Result r;
  Sum sum;
  auto t0 = std::chrono::steady_clock::now();
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
    long y, m, d, hh, mi, ss;
    if (std::sscanf(col[5], "%ld-%ld-%ld", &y, &m, &d) == 3) sum.Date(y, m, d);
    if (std::sscanf(col[6], "%ld-%ld-%ld %ld:%ld:%ld", &y, &m, &d, &hh, &mi, &ss) == 6)
      sum.Stamp(y, m, d, hh, mi, ss);
    ++r.rows;
  }
  if (rc != SQL_NO_DATA) Fail("SQLFetch", SQL_HANDLE_STMT, st);
  r.seconds = Since(t0);
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
  Check(SQLSetDescField(ard, 5, SQL_DESC_DATA_PTR, &n, 0), "SQLSetDescField", SQL_HANDLE_DESC,
        ard);

  Result r;
  Sum sum;
  auto t0 = std::chrono::steady_clock::now();
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
  r.sum = sum.Text();
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return r;
}

// Runs FetchBench.java and reads its "jdbc-<way> rows seconds checksum" lines.
std::map<std::string, Result> RunJdbc(long rows) {
  auto quote = [](const std::string& s) {
    std::string q = "'";
    for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  std::string cmd = std::string(QMR_JAVA) + " " + kJvmOpts + " -cp " QMR_HSQLDB_JAR ":" +
                    QMR_BENCH_CLASS_DIR + " FetchBench " + quote(kCreate) + " " +
                    quote(FillSql(rows)) + " " + quote(kSelect);
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

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  // The private configuration of the build; a caller's own settings win.
  setenv("ODBCSYSINI", QMR_ODBC_DIR, 0);
  setenv("ODBCINI", QMR_ODBC_DIR "/odbc.ini", 0);
  setenv("QMR_JVM_OPTS", (std::string("-Djava.class.path=" QMR_HSQLDB_JAR " ") + kJvmOpts).c_str(),
         0);

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "SQLAllocHandle", SQL_HANDLE_ENV, env);
  const char* conn =
      "DRIVER={Quillmar Unicode};JDBC=org.hsqldb.jdbc.JDBCDriver;"
      "URL=jdbc:hsqldb:mem:fetchbench;UID=SA;PWD=";
  Check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn, SQL_NTS, nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT),
        "SQLDriverConnect", SQL_HANDLE_DBC, dbc);

  std::printf("fetch benchmark: %ld rows of (INTEGER, BIGINT, VARCHAR(30), DOUBLE,"
              " DECIMAL(12,2), DATE, TIMESTAMP), HSQLDB in memory\n", rows);
  std::printf("filling the table through the driver ...\n");
  std::fflush(stdout);
  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  Check(SQLExecDirect(st, (SQLCHAR*)kCreate.c_str(), SQL_NTS), "CREATE TABLE", SQL_HANDLE_STMT,
        st);
  const std::string fill = FillSql(rows);
  Check(SQLExecDirect(st, (SQLCHAR*)fill.c_str(), SQL_NTS), "INSERT", SQL_HANDLE_STMT, st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);

  // A warm-up round each, then the round reported.
  GetDataAsText(dbc);
  const Result text = GetDataAsText(dbc);
  BoundNative(dbc);
  const Result bound = BoundNative(dbc);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);

  std::printf("running the same through JDBC directly ...\n");
  std::fflush(stdout);
  std::map<std::string, Result> jdbc = RunJdbc(rows);

  std::printf("\n");
  Print("driver, SQLGetData as SQL_C_CHAR", text);
  Print("driver, bound native C types", bound);
  bool ok = text.rows == rows && bound.rows == rows;
  for (const char* way : {"jdbc-getString", "jdbc-typed"}) {
    auto it = jdbc.find(way);
    if (it == jdbc.end()) {
      std::printf("  %-34s missing\n", way);
      ok = false;
      continue;
    }
    Print(way[5] == 'g' ? "JDBC, getString" : "JDBC, typed getters", it->second);
  }
  if (jdbc.count("jdbc-getString") && jdbc.count("jdbc-typed")) {
    const Result& js = jdbc["jdbc-getString"];
    const Result& jt = jdbc["jdbc-typed"];
    std::printf("\n  ratio driver/JDBC (rows per second):\n");
    std::printf("    SQLGetData text / getString   %.2f\n",
                text.RowsPerSecond() / js.RowsPerSecond());
    std::printf("    SQLGetData text / typed       %.2f\n",
                text.RowsPerSecond() / jt.RowsPerSecond());
    std::printf("    bound native / typed getters  %.2f\n",
                bound.RowsPerSecond() / jt.RowsPerSecond());
    const bool same = text.sum == jt.sum && bound.sum == jt.sum && js.sum == jt.sum;
    std::printf("\n  checksums %s\n", same ? "agree" : "DIFFER");
    if (!same) {
      std::printf("    driver text  %s\n    driver bound %s\n    jdbc typed   %s\n",
                  text.sum.c_str(), bound.sum.c_str(), jt.sum.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
