// A process that holds a static cursor open and keeps scrolling it until it
// is killed: the scroll tests kill it and look for what it left behind.
//   qmr_scroll_child <data source>
// Prints "ready" once the cursor is open (its result read into the cache).
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  const std::string in = std::string("DSN=") + argv[1];
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                      nullptr, SQL_DRIVER_NOPROMPT)))
    return 3;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0);
  const char* sql = "SELECT x, 'row ' || x FROM UNNEST(SEQUENCE_ARRAY(1, 12000, 1)) AS t(x)";
  if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS))) return 4;
  std::printf("ready\n");
  std::fflush(stdout);
  for (SQLLEN row = 1;; row = row * 7919 % 12000 + 1) {
    if (!SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, row))) return 5;
  }
}
