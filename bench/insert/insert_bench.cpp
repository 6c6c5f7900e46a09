// Insert benchmark: 100,000 rows of (INTEGER, VARCHAR(40), DOUBLE PRECISION)
// in parameter arrays of 1000, a commit after each array, through the driver
// (the Driver Manager, the Unicode build) and through JDBC's executeBatch,
// on HSQLDB in memory and on PostgreSQL when its server can be started.
//   insert_bench [rows [array]]
#include <cstring>
#include <vector>

#include "common/bench.h"

namespace {

using bench::Check;

struct Arrays {
  explicit Arrays(SQLULEN n) : id(n), name(n * 41), nameLen(n), amount(n), status(n) {}
  std::vector<SQLINTEGER> id;
  std::vector<SQLCHAR> name;
  std::vector<SQLLEN> nameLen;
  std::vector<SQLDOUBLE> amount;
  std::vector<SQLUSMALLINT> status;
  SQLULEN processed = 0;
};

// Arrays of `array` rows from `from` on, each executed once and committed.
void InsertRows(SQLHDBC dbc, SQLHSTMT st, Arrays& a, long from, long rows, SQLULEN array) {
  for (long base = from; base < from + rows; base += static_cast<long>(array)) {
    for (SQLULEN i = 0; i < array; ++i) {
      const long id = base + static_cast<long>(i);
      a.id[i] = static_cast<SQLINTEGER>(id);
      a.nameLen[i] = std::snprintf(reinterpret_cast<char*>(&a.name[i * 41]), 41, "name %ld", id);
      a.amount[i] = id * 0.5;
    }
    Check(SQLExecute(st), "SQLExecute", SQL_HANDLE_STMT, st);
    if (a.processed != array) {
      std::fprintf(stderr, "insert_bench: %lu of %lu sets processed\n",
                   static_cast<unsigned long>(a.processed), static_cast<unsigned long>(array));
      std::exit(1);
    }
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), "SQLEndTran", SQL_HANDLE_DBC, dbc);
  }
}

double DriverRowsPerSecond(SQLHENV env, const bench::Backend& b, const std::string& table,
                           long rows, SQLULEN array) {
  SQLHDBC dbc = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), "SQLAllocHandle", SQL_HANDLE_ENV, env);
  bench::Connect(dbc, b);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  bench::Exec(dbc, "DROP TABLE IF EXISTS " + table, true);
  bench::Exec(dbc,
              "CREATE TABLE " + table + " (id INTEGER, name VARCHAR(40), amount DOUBLE PRECISION)");
  SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);

  SQLHSTMT st = nullptr;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  Arrays a(array);
  SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)array, 0);
  SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, a.status.data(), 0);
  SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &a.processed, 0);
  Check(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, a.id.data(), 0,
                         nullptr),
        "SQLBindParameter", SQL_HANDLE_STMT, st);
  Check(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, a.name.data(), 41,
                         a.nameLen.data()),
        "SQLBindParameter", SQL_HANDLE_STMT, st);
  Check(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, a.amount.data(), 0,
                         nullptr),
        "SQLBindParameter", SQL_HANDLE_STMT, st);
  const std::string insert = "INSERT INTO " + table + " VALUES (?, ?, ?)";
  Check(SQLPrepare(st, (SQLCHAR*)insert.c_str(), SQL_NTS), "SQLPrepare", SQL_HANDLE_STMT, st);

  InsertRows(dbc, st, a, 0, rows / 10, array);  // warm-up
  bench::Exec(dbc, "DELETE FROM " + table);
  SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
  const auto t0 = std::chrono::steady_clock::now();
  InsertRows(dbc, st, a, 0, rows, array);
  const double secs = bench::Since(t0);
  SQLFreeHandle(SQL_HANDLE_STMT, st);

  // The rows are all there, not only counted as sent.
  SQLHSTMT q = nullptr;
  SQLBIGINT count = 0;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &q), "SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  const std::string countSql = "SELECT COUNT(*) FROM " + table;
  Check(SQLExecDirect(q, (SQLCHAR*)countSql.c_str(), SQL_NTS), "SELECT COUNT", SQL_HANDLE_STMT, q);
  Check(SQLFetch(q), "SQLFetch", SQL_HANDLE_STMT, q);
  Check(SQLGetData(q, 1, SQL_C_SBIGINT, &count, 0, nullptr), "SQLGetData", SQL_HANDLE_STMT, q);
  SQLFreeHandle(SQL_HANDLE_STMT, q);
  bench::Exec(dbc, "DROP TABLE " + table);
  SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  if (count != rows) {
    std::fprintf(stderr, "insert_bench: %lld rows in the table, %ld inserted\n",
                 static_cast<long long>(count), rows);
    std::exit(1);
  }
  return rows / secs;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 100000;
  const SQLULEN array = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
  if (rows <= 0 || array == 0 || rows % static_cast<long>(array) != 0 ||
      (rows / 10) % static_cast<long>(array) != 0) {
    std::fprintf(stderr, "usage: insert_bench [rows [array]] (rows / 10 a multiple of array)\n");
    return 2;
  }
  bench::SetUp();
  bench::PrintVmOptions();
  bench::PgServer pg;
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  std::printf("insert benchmark: %ld rows in arrays of %lu, a commit per array\n", rows,
              static_cast<unsigned long>(array));
  for (const bench::Backend& b : bench::Backends(pg, "insertbench")) {
    std::fflush(stdout);
    std::vector<double> driver, jdbc;
    for (int r = 0; r < bench::Rounds(); ++r) {
      driver.push_back(DriverRowsPerSecond(env, b, "bench_ins_odbc", rows, array));
      jdbc.push_back(
          bench::RunJdbc({"insert", b.url, b.user, "bench_ins_jdbc", std::to_string(rows),
                          std::to_string(array)})["insert_rows_per_s"]);
    }
    std::printf("%s\n", b.name.c_str());
    bench::Print("rows per second (arrays / executeBatch)", driver, jdbc, "rows/s");
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return 0;
}
