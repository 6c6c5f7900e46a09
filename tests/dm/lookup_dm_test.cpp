// A prepared lookup executed again and again runs its setters, its execute
// and its first fetch in one call into Java, reading rows ahead of the
// fetch. What the application sees must be what a statement prepared and
// executed once sees: each execute's answer and SQLSTATE, every row, and the
// fetch that fails; through results that fit the first fetch and ones that
// do not, none, a row limit set before the execute or after it, a NULL
// parameter, and a row that fails (at the execute on HSQLDB, after the rows
// before it on Derby, where these rows are read value by value).
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::State;

struct Step {
  SQLINTEGER pole;      // the key whose row divides by zero
  SQLINTEGER from;      // the first key
  const char* to;       // the key after the last, as text; null: a NULL
  SQLULEN maxRows;      // before the execute
  SQLULEN maxRowsLate;  // set after the execute (0: not)
};

// What the application sees of one execute and its fetches.
struct Seen {
  SQLRETURN execute = 0;
  std::string state;
  std::vector<std::string> rows;  // "k|v|q", or "! STATE" for the fetch that failed
  bool operator==(const Seen& o) const {
    return execute == o.execute && state == o.state && rows == o.rows;
  }
};
std::ostream& operator<<(std::ostream& os, const Seen& s) {
  os << "execute " << s.execute << " " << s.state << ":";
  for (const std::string& r : s.rows) os << " [" << r << "]";
  return os;
}

// The parameters, bound once the way an application binds a lookup's.
struct Bound {
  SQLINTEGER pole = 0;
  SQLINTEGER from = 0;
  char to[16] = "";
  SQLLEN toLen = 0;

  void Bind(SQLHSTMT st) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                               0, &pole, 0, nullptr)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                               0, &from, 0, nullptr)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 15,
                                               0, to, sizeof to, &toLen)));
  }
  void Set(const Step& p) {
    pole = p.pole;
    from = p.from;
    snprintf(to, sizeof to, "%s", p.to != nullptr ? p.to : "");
    toLen = p.to != nullptr ? SQL_NTS : SQL_NULL_DATA;
  }
};

Seen RunStep(SQLHSTMT st, Bound* b, const Step& p) {
  Seen seen;
  b->Set(p);
  SQLSetStmtAttr(st, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(p.maxRows), 0);
  seen.execute = SQLExecute(st);
  if (!SQL_SUCCEEDED(seen.execute)) {
    seen.state = State(SQL_HANDLE_STMT, st);
    return seen;
  }
  if (p.maxRowsLate != 0)
    SQLSetStmtAttr(st, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(p.maxRowsLate), 0);
  for (SQLRETURN rc; (rc = SQLFetch(st)) != SQL_NO_DATA;) {
    if (!SQL_SUCCEEDED(rc)) {
      seen.rows.push_back("! " + State(SQL_HANDLE_STMT, st));
      break;
    }
    std::string row;
    for (SQLUSMALLINT c = 1; c <= 3; ++c) {
      char v[32] = "";
      SQLLEN len = 0;
      SQLGetData(st, c, SQL_C_CHAR, v, sizeof v, &len);
      row += (c > 1 ? "|" : "") + (len == SQL_NULL_DATA ? std::string("null") : v);
    }
    seen.rows.push_back(row);
  }
  SQLFreeStmt(st, SQL_CLOSE);
  return seen;
}

class LookupDm : public qmr_test::DmTest {};

TEST_P(LookupDm, AnExecuteAgainSeesWhatAFirstExecuteSees) {
  const std::string table = "lk_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + table);
  MustExec("CREATE TABLE " + table + " (k INTEGER PRIMARY KEY, v VARCHAR(20))");
  MustExec("INSERT INTO " + table + " VALUES (1, 'one')");
  SQLHSTMT ins = nullptr;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &ins)));
  const std::string insert = "INSERT INTO " + table + " VALUES (?, ?)";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(ins, (SQLCHAR*)insert.c_str(), SQL_NTS)));
  SQLINTEGER key = 0;
  char value[16] = "";
  SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, nullptr);
  SQLBindParameter(ins, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, value, sizeof value,
                   nullptr);
  for (key = 2; key <= 200; ++key) {
    snprintf(value, sizeof value, "v%d", static_cast<int>(key));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(ins))) << Diag(SQL_HANDLE_STMT, ins);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, ins);

  const std::string sql = "SELECT k, v, 100 / (k - ?) FROM " + table +
                          " WHERE k >= ? AND k < CAST(? AS INTEGER) ORDER BY k";
  const Step steps[] = {
      {-9, 1, "2", 0, 0},   {-9, 5, "6", 0, 0},   {-9, 7, "7", 0, 0}, {-9, 1, "4", 0, 0},
      {-9, 1, "201", 0, 0}, {-9, 1, "2", 0, 0},   {-9, 3, "5", 0, 0}, {-9, 1, nullptr, 0, 0},
      {-9, 1, "11", 2, 0},  {-9, 1, "9", 0, 0},   {-9, 1, "9", 0, 3}, {-9, 1, "41", 0, 0},
      {-9, 1, "41", 2, 10}, {22, 20, "41", 0, 0}, {-9, 8, "9", 0, 0},
  };
  SQLHSTMT again = nullptr;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &again)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(again, (SQLCHAR*)sql.c_str(), SQL_NTS)));
  Bound b;
  b.Bind(again);
  size_t rows = 0;
  for (const Step& p : steps) {
    SQLHSTMT once = nullptr;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &once)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(once, (SQLCHAR*)sql.c_str(), SQL_NTS)));
    Bound fresh;
    fresh.Bind(once);
    const Seen want = RunStep(once, &fresh, p);
    SQLFreeHandle(SQL_HANDLE_STMT, once);
    const Seen got = RunStep(again, &b, p);
    EXPECT_EQ(got, want) << "keys from " << p.from << " to " << (p.to ? p.to : "NULL");
    rows += want.rows.size();
  }
  EXPECT_GT(rows, 200u);  // the steps read rows, not only failures
  SQLFreeHandle(SQL_HANDLE_STMT, again);
  Exec("DROP TABLE " + table);
}

std::vector<std::string> Dsns() {
  std::vector<std::string> dsns = qmr_test::TestDsns();
  bool derby = qmr_test::OnPostgres();
  for (const std::string& d : dsns) derby = derby || qmr_test::DbOf(d) == qmr_test::Db::Derby;
  if (!derby) dsns.push_back("QmrDerbyU");
  return dsns;
}

INSTANTIATE_TEST_SUITE_P(Backend, LookupDm, ::testing::ValuesIn(Dsns()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
