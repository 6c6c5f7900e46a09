// Parameter arrays of INSERT, UPDATE and DELETE reach the JDBC driver as one
// batch; their answers must be those of running the sets one by one
// (QMR_PARAM_BATCH=0 when a connection first runs an array), including a
// failing set in the middle, ignored sets and both auto-commit modes.
// "Backend" suites run on HSQLDB and PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

constexpr int kSets = 6;
constexpr int kIgnored = 1;  // SQL_PARAM_IGNORE

struct Case {
  const char* name;
  bool update;  // UPDATE ... WHERE k <= ? (several rows a set); else INSERT
  int failAt;   // the set that fails (-1 none): a duplicate key, or a value too long
  bool autoCommit;
};

// What the application sees of one execution, and the table after it (and
// after a commit when auto-commit is off).
struct Outcome {
  SQLRETURN rc = 0;
  std::vector<SQLUSMALLINT> statuses;
  SQLULEN processed = 0;
  SQLLEN rowCount = -99;
  std::string state;
  SQLLEN rowNumber = -99;
  std::string rows;
};

std::string Rows(SQLHSTMT stmt, const std::string& table) {
  std::string out;
  if (!SQL_SUCCEEDED(
          SQLExecDirect(stmt, Text("SELECT k, v FROM " + table + " ORDER BY k"), SQL_NTS)))
    return "<failed> " + Diag(SQL_HANDLE_STMT, stmt);
  for (const qmr_test::Row& r : qmr_test::FetchRows(stmt))
    out += r[0].text + "=" + (r[1].null ? "<null>" : r[1].text) + " ";
  return out;
}

class BatchDm : public qmr_test::DmTest {
 protected:
  std::string Table() const { return "bt_" + qmr_test::Lower(GetParam()); }

  // One execution of the case's array on a connection of its own; batches
  // allowed or not.
  Outcome Run(const Case& c, bool batches) {
    Outcome o;
    const std::string t = Table();
    Exec("DROP TABLE " + t);
    MustExec("CREATE TABLE " + t + " (k INTEGER PRIMARY KEY, v VARCHAR(8))");
    MustExec("INSERT INTO " + t +
             (c.update ? " VALUES (1, 'a'), (2, 'a'), (3, 'a'), (4, 'a'), (5, 'a'), (6, 'a')"
                       : " VALUES (100, 'old')"));
    if (batches)
      unsetenv("QMR_PARAM_BATCH");
    else
      setenv("QMR_PARAM_BATCH", "0", 1);
    qmr_test::DmSession s;
    const bool open = s.Open(GetParam());
    EXPECT_TRUE(open);
    if (!open) return o;
    SQLHSTMT st = s.stmt_;
    SQLSetConnectAttr(s.dbc_, SQL_ATTR_AUTOCOMMIT,
                      (SQLPOINTER)(c.autoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    SQLINTEGER keys[kSets];
    char values[kSets][16];
    SQLLEN valueLen[kSets];
    SQLUSMALLINT ops[kSets];
    o.statuses.assign(kSets, 0xEEEE);
    for (int i = 0; i < kSets; ++i) {
      keys[i] = (!c.update && i == c.failAt) ? 100 : i + 1;
      snprintf(values[i], sizeof values[i], i == c.failAt && c.update ? "too long %d" : "s%d", i);
      valueLen[i] = SQL_NTS;
      ops[i] = i == kIgnored ? SQL_PARAM_IGNORE : SQL_PARAM_PROCEED;
    }
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kSets, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, o.statuses.data(), 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &o.processed, 0);
    const int keyParam = c.update ? 2 : 1;
    SQLBindParameter(st, keyParam, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, keys, 0,
                     nullptr);
    SQLBindParameter(st, 3 - keyParam, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 15, 0, values,
                     sizeof values[0], valueLen);
    const std::string sql = c.update ? "UPDATE " + t + " SET v = ? WHERE k <= ?"
                                     : "INSERT INTO " + t + " VALUES (?, ?)";
    EXPECT_EQ(SQL_SUCCESS, SQLPrepare(st, Text(sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, st);
    o.rc = SQLExecute(st);
    if (o.rc == SQL_ERROR) {
      o.state = qmr_test::State(SQL_HANDLE_STMT, st);
      SQLGetDiagField(SQL_HANDLE_STMT, st, 1, SQL_DIAG_ROW_NUMBER, &o.rowNumber, 0, nullptr);
    } else {
      SQLRowCount(st, &o.rowCount);
    }
    SQLFreeStmt(st, SQL_CLOSE);
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_OPERATION_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
    // PostgreSQL has aborted the transaction of a failure: its commit rolls back.
    if (!c.autoCommit) SQLEndTran(SQL_HANDLE_DBC, s.dbc_, SQL_COMMIT);
    SQLSetConnectAttr(s.dbc_, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
    o.rows = Rows(st, t);
    unsetenv("QMR_PARAM_BATCH");
    return o;
  }
};

TEST_P(BatchDm, ArraysAsBatchesAnswerAsTheSetsOneByOne) {
  const Case cases[] = {
      {"insert, every set runs, auto-commit on", false, -1, true},
      {"insert, every set runs, auto-commit off", false, -1, false},
      {"insert, the fourth set fails, auto-commit on", false, 3, true},
      {"insert, the fourth set fails, auto-commit off", false, 3, false},
      {"update, every set runs", true, -1, true},
      {"update, the fifth set fails, auto-commit on", true, 4, true},
  };
  for (const Case& c : cases) {
    const Outcome batch = Run(c, true);
    const Outcome oneByOne = Run(c, false);
    // What ODBC asks of either path.
    const int sent = kSets - 1;
    if (c.failAt < 0) {
      EXPECT_EQ(SQL_SUCCESS, batch.rc) << c.name;
      EXPECT_EQ(static_cast<SQLULEN>(sent), batch.processed) << c.name;
      EXPECT_EQ(c.update ? 1 + 3 + 4 + 5 + 6 : sent, batch.rowCount) << c.name;
    } else {
      EXPECT_EQ(SQL_ERROR, batch.rc) << c.name;
      EXPECT_EQ(static_cast<SQLULEN>(c.failAt), batch.processed) << c.name;  // one set ignored
      EXPECT_EQ(c.failAt + 1, batch.rowNumber) << c.name;
      EXPECT_EQ(SQL_PARAM_ERROR, batch.statuses[c.failAt]) << c.name;
      EXPECT_EQ(SQL_PARAM_UNUSED, batch.statuses[kSets - 1]) << c.name;
      EXPECT_EQ(SQL_PARAM_SUCCESS, batch.statuses[c.failAt - 1]) << c.name;
    }
    EXPECT_EQ(SQL_PARAM_UNUSED, batch.statuses[kIgnored]) << c.name;
    // And the batch gives exactly what the sets one by one give.
    EXPECT_EQ(oneByOne.rc, batch.rc) << c.name;
    EXPECT_EQ(oneByOne.statuses, batch.statuses) << c.name;
    EXPECT_EQ(oneByOne.processed, batch.processed) << c.name;
    EXPECT_EQ(oneByOne.rowCount, batch.rowCount) << c.name;
    EXPECT_EQ(oneByOne.state, batch.state) << c.name;
    EXPECT_EQ(oneByOne.rowNumber, batch.rowNumber) << c.name;
    EXPECT_EQ(oneByOne.rows, batch.rows) << c.name;
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(Backend, BatchDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
