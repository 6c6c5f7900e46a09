// Static and keyset-driven cursors with lock and values concurrency through
// the Driver Manager, on every backend and both builds: served as asked
// (lowered with 01S02 only where rows cannot be changed by key), they
// scroll through the rows a read-only static cursor does.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

// Each fetch's ids in rowsets of 3 ("-": SQL_NO_DATA; "!" marks a row whose
// status is not SQL_ROW_SUCCESS).
std::string Scroll(SQLHSTMT h) {
  SQLINTEGER ids[3] = {};
  SQLLEN ind[3] = {};
  SQLUSMALLINT status[3] = {};
  SQLULEN got = 0;
  SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status, 0);
  SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0);
  SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, ind);
  const SQLSMALLINT steps[][2] = {{SQL_FETCH_FIRST, 0},     {SQL_FETCH_LAST, 0},
                                  {SQL_FETCH_ABSOLUTE, 4},  {SQL_FETCH_PRIOR, 0},
                                  {SQL_FETCH_ABSOLUTE, -2}, {SQL_FETCH_PRIOR, 0},
                                  {SQL_FETCH_ABSOLUTE, 9},  {SQL_FETCH_PRIOR, 0}};
  std::string out;
  for (const auto& s : steps) {
    const SQLRETURN rc = SQLFetchScroll(h, s[0], s[1]);
    out += out.empty() ? "" : " ";
    if (rc != SQL_SUCCESS) out += rc == SQL_NO_DATA ? "-" : Diag(SQL_HANDLE_STMT, h);
    for (SQLULEN r = 0; rc == SQL_SUCCESS && r < got; ++r)
      out += (r ? "," : "") + std::to_string(ids[r]) + (status[r] == SQL_ROW_SUCCESS ? "" : "!");
  }
  return out;
}

class AnyConcurDm : public qmr_test::DmTest {};

// Keyed rows under a descending ORDER BY and in the table's own order, and
// a join, prepared or run directly. Not changeable by key, so lowered: a
// table without a key, and for a keyset cursor a join with one.
TEST_P(AnyConcurDm, LockAndValuesScrollLikeReadOnly) {
  const std::string t = "cc_" + qmr_test::Lower(GetParam()), n = "ccn_" + t;
  for (const std::string& table : {t, n}) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (id INTEGER" + (table == t ? " PRIMARY KEY" : "") +
             ", v VARCHAR(9))");
    for (int k = 1; k <= 8; ++k)
      MustExec("INSERT INTO " + table + " VALUES (" + std::to_string(k) + ", 'v" +
               std::to_string(k) + "')");
  }
  const std::string up = "1,2,3 6,7,8 4,5,6 1,2,3 7,8 4,5,6 - 6,7,8";
  const std::string down = "8,7,6 3,2,1 5,4,3 8,7,6 2,1 5,4,3 - 3,2,1";
  const struct {
    std::string sql;
    const std::string& want;
    bool lowered, keysetLowered, direct;
  } queries[] = {
      {"SELECT id, v FROM " + t, up, false, false, false},
      {"SELECT id FROM " + t + " WHERE v <> 'x' ORDER BY v DESC", down, false, false, false},
      {"SELECT id FROM " + t + " WHERE v <> 'x' ORDER BY v DESC", down, false, false, true},
      {"SELECT id, v FROM " + n, up, true, true, false},
      {"SELECT a.id FROM " + t + " a, " + n + " b WHERE a.id = b.id ORDER BY a.id", up, false, true,
       false},
  };
  for (const auto& q : queries) {
    for (SQLULEN type : {SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN}) {
      for (SQLULEN conc : {SQL_CONCUR_READ_ONLY, SQL_CONCUR_LOCK, SQL_CONCUR_VALUES}) {
        SQLHSTMT h = nullptr;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h));
        SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
        EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, (SQLPOINTER)conc, 0));
        SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
        const auto sql = (SQLCHAR*)q.sql.c_str();
        const SQLRETURN rc =
            q.direct ? SQLExecDirect(h, sql, SQL_NTS) : SQLPrepare(h, sql, SQL_NTS);
        const std::string state = qmr_test::State(SQL_HANDLE_STMT, h),
                          what = q.sql + " " + std::to_string(type) + "/" + std::to_string(conc);
        const bool lowered = type == SQL_CURSOR_KEYSET_DRIVEN
                                 ? q.keysetLowered
                                 : q.lowered && conc != SQL_CONCUR_READ_ONLY;
        EXPECT_EQ(lowered ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc) << what << " " << state;
        EXPECT_EQ(lowered ? "01S02" : "", state) << what;
        SQLULEN served = 0;
        SQLGetStmtAttr(h, SQL_ATTR_CONCURRENCY, &served, 0, nullptr);
        EXPECT_EQ(lowered ? SQL_CONCUR_READ_ONLY : conc, served) << what;
        const SQLRETURN ex = q.direct ? SQL_SUCCESS : SQLExecute(h);
        EXPECT_EQ(SQL_SUCCESS, ex) << what << Diag(SQL_HANDLE_STMT, h);
        EXPECT_EQ(q.want, Scroll(h)) << what;
        SQLFreeHandle(SQL_HANDLE_STMT, h);
      }
    }
  }
  for (const std::string& table : {t, n}) Exec("DROP TABLE " + table);
}

// Statements that return no rows run under every cursor type and
// concurrency, prepared or direct, and leave the options as set. Each count
// proves the steps before it: the last DELETE finds the updated row and
// both copies, and CREATE finds the table dropped.
TEST_P(AnyConcurDm, NoRowsStatementsRunUnderAnyCursor) {
  const std::string t = "ccd_" + qmr_test::Lower(GetParam());
  const std::pair<std::string, SQLLEN> steps[] = {
      {"CREATE TABLE " + t + " (id INTEGER PRIMARY KEY, i INTEGER)", -1},
      {"INSERT INTO " + t + " VALUES (1, 5)", 1},
      {"UPDATE " + t + " SET i = 6", 1},
      {"INSERT INTO " + t + " SELECT id + 1, i FROM " + t, 1},
      {"INSERT INTO " + t + " SELECT id + 2, CAST(i AS INTEGER) FROM " + t, 2},
      {"DELETE FROM " + t + " WHERE i = 6", 4},
      {"DROP TABLE " + t, -1}};
  Exec("DROP TABLE " + t);
  for (SQLULEN type : {SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC})
    for (SQLULEN conc : {SQL_CONCUR_READ_ONLY, SQL_CONCUR_LOCK, SQL_CONCUR_VALUES})
      for (bool direct : {true, false}) {
        SQLHSTMT h = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h);
        SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
        SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, (SQLPOINTER)conc, 0);
        SCOPED_TRACE(std::to_string(type * 10 + conc) + (direct ? " direct" : " prepared"));
        for (const auto& [sql, want] : steps) {
          auto* text = (SQLCHAR*)sql.c_str();
          SQLRETURN rc = direct ? SQLExecDirect(h, text, SQL_NTS) : SQLPrepare(h, text, SQL_NTS);
          if (!direct && rc == SQL_SUCCESS) rc = SQLExecute(h);
          EXPECT_EQ(SQL_SUCCESS, rc) << sql << Diag(SQL_HANDLE_STMT, h);
          SQLLEN count = -7;
          SQLRowCount(h, &count);
          EXPECT_EQ(want, count) << sql;
        }
        SQLULEN served[2] = {};
        SQLGetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, &served[0], 0, nullptr);
        SQLGetStmtAttr(h, SQL_ATTR_CONCURRENCY, &served[1], 0, nullptr);
        EXPECT_EQ(type * 10 + conc, served[0] * 10 + served[1]);
        SQLFreeHandle(SQL_HANDLE_STMT, h);
      }
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyConcurDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
