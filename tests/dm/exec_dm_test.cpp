// Executing statements end to end through the Driver Manager: parameter
// arrays on statements that return rows (one result per parameter set),
// prepared SELECTs that run at execute while still describing themselves
// before it, the dead-connection attribute after a lost link, and the native
// form of a long text. "AnyBackend" suites run on HSQLDB, PostgreSQL, H2 and
// Derby; "Backend" suites on HSQLDB and PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Diag;
using qmr_test::State;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class ExecDm : public qmr_test::DmTest {
 protected:
  Db db() const { return DbOf(GetParam()); }
  bool Wide() const { return GetParam().back() == 'U'; }
  // A table name of this data source's own: both builds share one database.
  std::string Table(const char* stem) const {
    return std::string("ex_") + stem + "_" + qmr_test::Lower(GetParam());
  }
  void Recreate(const std::string& table, const std::string& columns) {
    Exec("DROP TABLE " + table);  // absent the first time
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
  }
  // The first column of a one-row query run on a statement of its own.
  std::string Scalar(const std::string& sql) {
    SQLHSTMT other = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other));
    std::string out = "<failed>";
    if (SQL_SUCCEEDED(SQLExecDirect(other, Text(sql), SQL_NTS))) {
      const std::vector<qmr_test::Row> rows = qmr_test::FetchRows(other);
      out = rows.size() == 1 && !rows[0].empty() ? rows[0][0].text : "<rows>";
    } else {
      out += " " + Diag(SQL_HANDLE_STMT, other);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, other);
    return out;
  }
  void MustExecOn(SQLHSTMT s, const std::string& sql) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, Text(sql), SQL_NTS))) << sql << "\n"
                                                                     << Diag(SQL_HANDLE_STMT, s);
    SQLFreeStmt(s, SQL_CLOSE);
  }
};

// Suites that every embedded database and PostgreSQL take.
class AnyExecDm : public ExecDm {};

// ---------------------------------------------------------------------------
// Parameter arrays on statements that return rows.

// Every result the statement gives, each as its first column's values, read
// through SQLMoreResults; beside each, the parameter sets processed then.
struct Results {
  std::vector<std::vector<std::string>> sets;
  std::vector<SQLULEN> processed;
};

Results ReadAllResults(SQLHSTMT stmt, const SQLULEN* processed) {
  Results r;
  SQLRETURN more = SQL_SUCCESS;
  for (int guard = 0; SQL_SUCCEEDED(more) && guard < 20; ++guard) {
    SQLSMALLINT cols = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &cols)) << Diag(SQL_HANDLE_STMT, stmt);
    if (cols > 0) {
      std::vector<std::string> values;
      SQLRETURN rc;
      while ((rc = SQLFetch(stmt)) == SQL_SUCCESS) {
        char buf[64] = "";
        SQLLEN ind = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &ind));
        values.push_back(buf);
      }
      EXPECT_EQ(SQL_NO_DATA, rc) << Diag(SQL_HANDLE_STMT, stmt);
      r.sets.push_back(values);
      r.processed.push_back(*processed);
    }
    more = SQLMoreResults(stmt);
  }
  EXPECT_EQ(SQL_NO_DATA, more) << Diag(SQL_HANDLE_STMT, stmt);
  return r;
}

struct RowsPerSetCase {
  const char* name;
  bool (*runsOn)(Db);
  std::string (*statement)(const std::string& table, const std::string& proc);
  std::vector<std::vector<std::string>> results;
  const char* remaining;  // COUNT(*) of the table afterwards
};

TEST_P(ExecDm, ParameterArrayGivesOneResultPerSet) {
  SQLUINTEGER answer = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetInfo(dbc_, SQL_PARAM_ARRAY_SELECTS, &answer, sizeof answer, nullptr));
  ASSERT_EQ(static_cast<SQLUINTEGER>(SQL_PAS_BATCH), answer);

  const std::string t = Table("sets");
  const std::string proc = Table("sets_proc");
  const RowsPerSetCase cases[] = {
      {"SELECT with a marker",
       [](Db) { return true; },
       [](const std::string& tbl, const std::string&) {
         return "SELECT n FROM " + tbl + " WHERE n <= ? ORDER BY n";
       },
       {{"1"}, {"1", "2", "3"}, {"1", "2"}},
       "3"},
      {"DELETE ... RETURNING",
       [](Db d) { return d == Db::Pg; },
       [](const std::string& tbl, const std::string&) {
         return "DELETE FROM " + tbl + " WHERE n = ? RETURNING n";
       },
       {{"1"}, {"3"}, {"2"}},
       "0"},
      {"procedure call",
       [](Db d) { return d == Db::Hsql; },
       [](const std::string& tbl, const std::string& p) {
         (void)tbl;
         return "{call " + p + "(?)}";
       },
       {{"1"}, {"1", "2", "3"}, {"1", "2"}},
       "3"},
  };
  for (const RowsPerSetCase& c : cases) {
    if (!c.runsOn(db())) continue;
    SCOPED_TRACE(c.name);
    if (db() == Db::Hsql) Exec("DROP PROCEDURE " + proc);  // it holds on to the table
    Recreate(t, "n INTEGER");
    MustExec("INSERT INTO " + t + " VALUES (1)");
    MustExec("INSERT INTO " + t + " VALUES (2)");
    MustExec("INSERT INTO " + t + " VALUES (3)");
    if (db() == Db::Hsql) {
      MustExec("CREATE PROCEDURE " + proc +
               "(IN k INTEGER) READS SQL DATA DYNAMIC RESULT SETS 1 BEGIN ATOMIC"
               " DECLARE cur CURSOR WITH RETURN FOR SELECT n FROM " +
               t + " WHERE n <= k ORDER BY n; OPEN cur; END");
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE));
    SQLINTEGER values[3] = {1, 3, 2};
    SQLULEN processed = 99;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                            0, values, 0, nullptr));
    const std::string sql = c.statement(t, proc);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, Text(sql), SQL_NTS)))
        << sql << "\n"
        << Diag(SQL_HANDLE_STMT, stmt_);
    const Results r = ReadAllResults(stmt_, &processed);
    EXPECT_EQ(c.results, r.sets);
    // Each set counts as processed once it has run, when its result comes.
    EXPECT_EQ((std::vector<SQLULEN>{1, 2, 3}), r.processed);
    EXPECT_EQ(c.remaining, Scalar("SELECT COUNT(*) FROM " + t));
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
}

TEST_P(AnyExecDm, IgnoredParameterSetsGiveNoResult) {
  const std::string t = Table("ign");
  Recreate(t, "n INTEGER");
  for (int n = 1; n <= 4; ++n) MustExec("INSERT INTO " + t + " VALUES (" + std::to_string(n) + ")");
  SQLINTEGER values[4] = {1, 2, 3, 4};
  SQLUSMALLINT ops[4] = {SQL_PARAM_IGNORE, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
  SQLUSMALLINT status[4] = {9, 9, 9, 9};
  SQLULEN processed = 99;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)4, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          values, 0, nullptr));
  const std::string sql = "SELECT n FROM " + t + " WHERE n >= ? ORDER BY n";
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, stmt_);
  // Twice: a second execute starts again from the first set.
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
    const Results r = ReadAllResults(stmt_, &processed);
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"2", "3", "4"}, {"4"}}), r.sets);
    EXPECT_EQ(SQL_PARAM_UNUSED, status[0]);
    EXPECT_EQ(SQL_PARAM_UNUSED, status[2]);
  }
}

// A SELECT array that fails on its first set says so: that set in error, the
// others not run, one set processed.
TEST_P(AnyExecDm, FailingSetOfASelectArrayIsTheOneInError) {
  if (db() == Db::Derby) GTEST_SKIP() << "Derby divides while fetching, not at execute";
  const std::string t = Table("fail");
  Recreate(t, "n INTEGER");
  MustExec("INSERT INTO " + t + " VALUES (6)");
  SQLINTEGER divisors[3] = {0, 2, 3};
  SQLUSMALLINT status[3] = {9, 9, 9};
  SQLULEN processed = 99;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          divisors, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, Exec("SELECT n / ? FROM " + t));
  EXPECT_EQ("22012", State(SQL_HANDLE_STMT, stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(1u, processed);
  EXPECT_EQ(SQL_PARAM_ERROR, status[0]);
  EXPECT_EQ(SQL_PARAM_UNUSED, status[1]);
  EXPECT_EQ(SQL_PARAM_UNUSED, status[2]);
}

// ---------------------------------------------------------------------------
// A prepared SELECT runs at execute and describes itself before it.

TEST_P(AnyExecDm, PreparedSelectSeesRowsAddedBeforeItsExecute) {
  const std::string t = Table("count");
  Recreate(t, "n INTEGER");
  MustExec("INSERT INTO " + t + " VALUES (1)");
  SQLHSTMT writer = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &writer));
  struct Case {
    const char* name;
    std::string sql;
    bool marker;
  };
  const Case cases[] = {
      {"without markers", "SELECT COUNT(*) AS c FROM " + t, false},
      {"with a marker", "SELECT COUNT(*) AS c FROM " + t + " WHERE n > ?", true},
  };
  SQLINTEGER zero = 0;
  int inserted = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_RESET_PARAMS));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(c.sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, stmt_);
    if (c.marker) {
      ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER,
                                              0, 0, &zero, 0, nullptr));
    }
    // Described before it runs, whichever call asks first.
    SQLCHAR name[32] = "";
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt_, 1, name, sizeof name, &nameLen, &type, &size,
                                          &digits, &nullable))
        << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ("c", qmr_test::Lower((char*)name));
    EXPECT_TRUE(type == SQL_INTEGER || type == SQL_BIGINT) << type;
    SQLLEN attrType = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLColAttribute(stmt_, 1, SQL_DESC_TYPE, nullptr, 0, nullptr, &attrType));
    EXPECT_EQ(type, attrType);
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &cols)) << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(1, cols);
    // Each execute counts what is there then.
    for (int round = 0; round < 2; ++round) {
      ++inserted;
      MustExecOn(writer, "INSERT INTO " + t + " VALUES (" + std::to_string(inserted) + ")");
      ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
      ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
      SQLINTEGER count = -1;
      ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_SLONG, &count, 0, nullptr));
      EXPECT_EQ(inserted, count);
      EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));
      ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_CLOSE));
    }
  }
  EXPECT_EQ(std::to_string(inserted), Scalar("SELECT COUNT(*) FROM " + t));
  SQLFreeHandle(SQL_HANDLE_STMT, writer);
}

// ---------------------------------------------------------------------------
// The dead-connection attribute.

SQLUINTEGER Dead(SQLHDBC dbc) {
  SQLUINTEGER dead = 99;
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))
      << Diag(SQL_HANDLE_DBC, dbc);
  return dead;
}

TEST_P(AnyExecDm, OrdinaryFailuresLeaveTheConnectionAlive) {
  EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_CD_FALSE), Dead(dbc_));
  for (const char* sql : {"SELECT * FROM ex_no_such_table", "SELEKT 1", "DROP TABLE ex_nothing"}) {
    EXPECT_EQ(SQL_ERROR, Exec(sql)) << sql;
    EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_CD_FALSE), Dead(dbc_)) << sql;
  }
}

TEST_P(ExecDm, ConnectionEndedByTheServerReadsDead) {
  if (db() != Db::Pg) GTEST_SKIP() << "only a server can end a connection";
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT pg_backend_pid()")));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  SQLINTEGER pid = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_SLONG, &pid, 0, nullptr));
  SQLFreeStmt(stmt_, SQL_CLOSE);

  qmr_test::DmSession killer;
  ASSERT_TRUE(killer.Open(GetParam()));
  killer.MustExec("SELECT pg_terminate_backend(" + std::to_string(pid) + ")");
  // The backend goes a moment after the call returns.
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(SQL_SUCCEEDED(
        killer.Exec("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = " + std::to_string(pid))));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(killer.stmt_));
    SQLINTEGER left = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(killer.stmt_, 1, SQL_C_SLONG, &left, 0, nullptr));
    SQLFreeStmt(killer.stmt_, SQL_CLOSE);
    if (left == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Nothing has been reported yet: the driver cannot know.
  EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_CD_FALSE), Dead(dbc_));
  // The first failure tells of the server's shutdown of the session (57P01),
  // the next of a closed connection (08003): dead after either.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(SQL_ERROR, Exec("SELECT 1"));
    EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_CD_TRUE), Dead(dbc_))
        << i << " " << Diag(SQL_HANDLE_STMT, stmt_);
  }
  // A connection of its own stays alive.
  EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_CD_FALSE), Dead(killer.dbc_));
}

// ---------------------------------------------------------------------------
// Native SQL of a long text.

TEST_P(AnyExecDm, NativeSqlCountsTheWholeOfALongText) {
  const std::string literal(1024 * 1024, 'q');
  const std::string sql = "SELECT {fn UCASE('" + literal + "')} FROM " + Table("native");
  std::vector<char> whole(sql.size() + 64);
  SQLINTEGER len = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNativeSql(dbc_, Text(sql), SQL_NTS, (SQLCHAR*)whole.data(),
                                      static_cast<SQLINTEGER>(whole.size()), &len))
      << Diag(SQL_HANDLE_DBC, dbc_);
  const std::string native = whole.data();
  EXPECT_NE(std::string::npos, native.find(literal));
  EXPECT_EQ(static_cast<SQLINTEGER>(native.size()), len);
  // Cut into a short buffer, and asked for the length alone: the whole length.
  char small[100];
  SQLINTEGER smallLen = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLNativeSql(dbc_, Text(sql), SQL_NTS, (SQLCHAR*)small, sizeof small, &smallLen));
  EXPECT_EQ(len, smallLen);
  EXPECT_EQ(native.substr(0, sizeof small - 1), std::string(small));
  SQLINTEGER onlyLen = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLNativeSql(dbc_, Text(sql), SQL_NTS, nullptr, 0, &onlyLen));
  EXPECT_EQ(len, onlyLen);
  if (!Wide()) return;
  // The wide form counts characters: all of them ASCII here.
  const std::u16string wsql = qmr_test::FromUtf8(sql);
  std::vector<SQLWCHAR> wout(wsql.size() + 64);
  SQLINTEGER wlen = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNativeSqlW(dbc_, (SQLWCHAR*)wsql.c_str(), SQL_NTS, wout.data(),
                                       static_cast<SQLINTEGER>(wout.size()), &wlen))
      << Diag(SQL_HANDLE_DBC, dbc_);
  EXPECT_EQ(len, wlen);
  EXPECT_EQ(static_cast<SQLWCHAR>(native.back()), wout[static_cast<size_t>(wlen) - 1]);
  EXPECT_EQ(0, wout[static_cast<size_t>(wlen)]);
}

INSTANTIATE_TEST_SUITE_P(Backend, ExecDm, ::testing::ValuesIn(qmr_test::TestDsns()));
INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyExecDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
