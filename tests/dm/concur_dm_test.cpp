// Static cursors with lock and values concurrency through the Driver
// Manager, on every backend and both builds: they are served as asked
// (lowered with 01S02 only where the rows cannot be changed by key) and
// scroll through the same rows as a read-only static cursor.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

constexpr SQLULEN kRowset = 3;

// Each fetch and the ids of the rowset it brings ("-": SQL_NO_DATA).
const struct {
  SQLSMALLINT orientation;
  SQLLEN offset;
} kSteps[] = {{SQL_FETCH_FIRST, 0},    {SQL_FETCH_NEXT, 0},      {SQL_FETCH_LAST, 0},
              {SQL_FETCH_ABSOLUTE, 4}, {SQL_FETCH_PRIOR, 0},     {SQL_FETCH_ABSOLUTE, -2},
              {SQL_FETCH_PRIOR, 0},    {SQL_FETCH_ABSOLUTE, 9},  {SQL_FETCH_PRIOR, 0},
              {SQL_FETCH_ABSOLUTE, 1}, {SQL_FETCH_PRIOR, 0},     {SQL_FETCH_NEXT, 0}};

class AnyConcurDm : public qmr_test::DmTest {
 protected:
  std::string T(const char* stem) const { return std::string(stem) + qmr_test::Lower(GetParam()); }
  void Make(const std::string& table, const std::string& columns) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
    made_.push_back(table);
  }
  void TearDown() override {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    for (const std::string& t : made_) Exec("DROP TABLE " + t);
    qmr_test::DmTest::TearDown();
  }
  // A static cursor of the given concurrency on a fresh statement, prepared;
  // what SQLPrepare answered, its first SQLSTATE and the concurrency the
  // statement reports.
  SQLRETURN Prepare(SQLULEN concurrency, const std::string& sql, std::string* state,
                    SQLULEN* reported) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    EXPECT_EQ(SQL_SUCCESS,
              SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0))
        << Diag(SQL_HANDLE_STMT, stmt_);
    const SQLRETURN rc = SQLPrepare(stmt_, Text(sql), SQL_NTS);
    *state = qmr_test::State(SQL_HANDLE_STMT, stmt_);
    *reported = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, reported, 0, nullptr));
    return rc;
  }
  // Executes the prepared cursor and runs every step: the ids of each
  // rowset with their row statuses, steps separated by " ".
  std::string Scroll() {
    SQLINTEGER ids[kRowset] = {};
    SQLLEN ind[kRowset] = {};
    SQLUSMALLINT status[kRowset] = {};
    SQLULEN fetched = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kRowset, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, ind));
    const SQLRETURN ex = SQLExecute(stmt_);
    EXPECT_EQ(SQL_SUCCESS, ex) << Diag(SQL_HANDLE_STMT, stmt_);
    if (!SQL_SUCCEEDED(ex)) return "not executed";
    std::string out;
    for (const auto& s : kSteps) {
      const SQLRETURN rc = SQLFetchScroll(stmt_, s.orientation, s.offset);
      out += out.empty() ? "" : " ";
      if (rc == SQL_NO_DATA) {
        out += "-";
        continue;
      }
      EXPECT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
      for (SQLULEN r = 0; r < fetched; ++r)
        out += (r ? "," : "") + std::to_string(ids[r]) + (status[r] == SQL_ROW_SUCCESS ? "" : "!");
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_UNBIND);
    return out;
  }
  std::vector<std::string> made_;
};

// Keyed rows in the order of a descending ORDER BY and in the table's own
// order, and a join: lock and values concurrency serve the rows a
// read-only cursor does. A table without a key cannot be changed by key:
// lowered.
TEST_P(AnyConcurDm, LockAndValuesScrollLikeReadOnly) {
  const std::string t = T("cc_"), n = T("ccn_");
  Make(t, "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10)");
  Make(n, "id INTEGER, v VARCHAR(10)");
  for (int k = 1; k <= 8; ++k) {
    const std::string row = std::to_string(k) + ", 'v" + std::to_string(k) + "')";
    MustExec("INSERT INTO " + t + " VALUES (" + row);
    MustExec("INSERT INTO " + n + " VALUES (" + row);
  }
  const std::string up = "1,2,3 4,5,6 6,7,8 4,5,6 1,2,3 7,8 4,5,6 - 6,7,8 1,2,3 - 1,2,3";
  const std::string down = "8,7,6 5,4,3 3,2,1 5,4,3 8,7,6 2,1 5,4,3 - 3,2,1 8,7,6 - 8,7,6";
  const struct {
    std::string sql;
    const char* want;
    bool lowered;
  } queries[] = {
      {"SELECT id, v FROM " + t, up.c_str(), false},
      {"SELECT id FROM " + t + " WHERE v <> 'x' ORDER BY v DESC", down.c_str(), false},
      {"SELECT id, v FROM " + n, up.c_str(), true},
      // Served as asked, with rows that cannot be changed by key.
      {"SELECT a.id FROM " + t + " a, " + n + " b WHERE a.id = b.id ORDER BY a.id", up.c_str(),
       false},
  };
  for (const auto& q : queries) {
    for (SQLULEN conc : {SQL_CONCUR_READ_ONLY, SQL_CONCUR_LOCK, SQL_CONCUR_VALUES}) {
      SQLULEN reported = 0;
      std::string state;
      const SQLRETURN rc = Prepare(conc, q.sql, &state, &reported);
      const bool lowered = q.lowered && conc != SQL_CONCUR_READ_ONLY;
      EXPECT_EQ(lowered ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc)
          << q.sql << " " << conc << " " << state;
      EXPECT_EQ(lowered ? "01S02" : "", state) << q.sql << " " << conc;
      EXPECT_EQ(lowered ? SQL_CONCUR_READ_ONLY : conc, reported) << q.sql;
      EXPECT_EQ(q.want, Scroll()) << q.sql << " " << conc;
    }
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyConcurDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         Name);

}  // namespace
