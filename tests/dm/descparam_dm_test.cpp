// SQLDescribeParam and the IPD end to end, on HSQLDB, PostgreSQL, H2 and
// Derby in both builds: each marker is described as SQLDescribeCol describes
// the column it meets, a marker nothing describes keeps the default
// (VARCHAR(255)), and a description that cannot be had leaves no diagnostic,
// the statement still runs and, with autocommit off, the transaction is the
// application's to end.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

struct Described {
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = -1;
  bool operator==(const Described& o) const {
    return type == o.type && size == o.size && digits == o.digits;
  }
};
std::ostream& operator<<(std::ostream& os, const Described& d) {
  return os << "(" << d.type << ", " << d.size << ", " << d.digits << ")";
}
const Described kDefault{SQL_VARCHAR, 255, 0};

class AnyDescribeParamDm : public qmr_test::DmTest {
 protected:
  std::string Suffix() const { return qmr_test::Lower(GetParam()); }
  std::string Table() const { return "pdd_" + Suffix(); }

  void SetUp() override {
    qmr_test::DmTest::SetUp();
    Exec("DROP TABLE " + Table());
    MustExec("CREATE TABLE " + Table() +
             " (i INTEGER, big BIGINT, num NUMERIC(12,2), name VARCHAR(40), d DATE,"
             " ts TIMESTAMP, dbl DOUBLE PRECISION)");
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }

  Described Column(const std::string& table, const std::string& column) {
    Described d;
    SQLHSTMT s = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s);
    EXPECT_EQ(SQL_SUCCESS, SQLPrepare(s, Text("SELECT " + column + " FROM " + table), SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS,
              SQLDescribeCol(s, 1, nullptr, 0, nullptr, &d.type, &d.size, &d.digits, nullptr));
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return d;
  }
  Described Param(SQLUSMALLINT n) {
    Described d;
    EXPECT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt_, n, &d.type, &d.size, &d.digits, nullptr))
        << Diag(SQL_HANDLE_STMT, stmt_);
    return d;
  }
  // Prepared, every marker as the named column (nullptr: the default).
  void ExpectMarkers(const std::string& sql, const std::string& table,
                     const std::vector<const char*>& columns) {
    SCOPED_TRACE(sql);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, stmt_);
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt_, &n));
    ASSERT_EQ(columns.size(), static_cast<size_t>(n));
    for (SQLUSMALLINT i = 1; i <= n; ++i)
      EXPECT_EQ(columns[i - 1] ? Column(table, columns[i - 1]) : kDefault, Param(i)) << i;
    EXPECT_EQ("", Diag(SQL_HANDLE_STMT, stmt_));
  }
  // Prepared, every marker's description in order.
  std::vector<Described> Params(const std::string& sql) {
    std::vector<Described> out;
    EXPECT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, stmt_);
    SQLSMALLINT n = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLNumParams(stmt_, &n));
    for (SQLUSMALLINT i = 1; i <= n; ++i) out.push_back(Param(i));
    return out;
  }
  void BindInt(SQLUSMALLINT n, SQLINTEGER* v) {
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, n, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0,
                                            0, v, 0, nullptr));
  }
  // Executed, the first column of its one row.
  SQLINTEGER ExecuteScalar() {
    SQLINTEGER v = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    if (SQLFetch(stmt_) == SQL_SUCCESS) SQLGetData(stmt_, 1, SQL_C_LONG, &v, 0, nullptr);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return v;
  }
};

TEST_P(AnyDescribeParamDm, MarkersAreDescribedByTheColumnsTheyMeet) {
  const std::string t = Table();
  EXPECT_EQ((Described{Column(t, "num").type, 12, 2}), Column(t, "num"));
  EXPECT_EQ(40u, Column(t, "name").size);
  ExpectMarkers("INSERT INTO " + t + " VALUES (?, ?, ?, ?, ?, ?, ?)", t,
                {"i", "big", "num", "name", "d", "ts", "dbl"});
  ExpectMarkers("INSERT INTO " + t + " (name, i) VALUES (?, ?)", t, {"name", "i"});
  ExpectMarkers("SELECT i FROM " + t + " WHERE ts BETWEEN ? AND ?", t, {"ts", "ts"});
  ExpectMarkers("SELECT i FROM " + t + " WHERE big IN (?, ?) OR name LIKE ?", t,
                {"big", "big", "name"});
  ExpectMarkers("SELECT i FROM " + t + " WHERE dbl = COALESCE(?, dbl) AND i > ?", t,
                {nullptr, "i"});
  ExpectMarkers("SELECT i FROM " + t + " WHERE i IN (SELECT big FROM " + t + " WHERE num < ?)", t,
                {"num"});
  ExpectMarkers("UPDATE " + t + " SET num = ? WHERE i = ?", t, {"num", "i"});
  // The IPD of the statement just described, its records made by binding.
  SQLINTEGER v = 1;
  BindInt(1, &v);
  BindInt(2, &v);
  SQLHDESC ipd = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr));
  SQLSMALLINT type = 0, precision = 0, scale = -1;
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_PRECISION, &precision, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_SCALE, &scale, 0, nullptr));
  EXPECT_EQ((Described{Column(t, "num").type, 12, 2}),
            (Described{type, SQLULEN(precision), scale}));
}

TEST_P(AnyDescribeParamDm, NamesThatNeedQuotingAreQuotedInTheProbes) {
  const std::string q = "\"Pd Q\"\"t " + Suffix() + "\"";
  Exec("DROP TABLE " + q);
  MustExec("CREATE TABLE " + q + " (\"Mixed Col\" INTEGER, \"a\"\"b\" VARCHAR(10))");
  SQLFreeStmt(stmt_, SQL_CLOSE);
  EXPECT_EQ(10u, Column(q, "\"a\"\"b\"").size);
  ExpectMarkers("INSERT INTO " + q + " (\"a\"\"b\", \"Mixed Col\") VALUES (?, ?)", q,
                {"\"a\"\"b\"", "\"Mixed Col\""});
  ExpectMarkers("SELECT * FROM " + q + " WHERE \"Mixed Col\" = ? AND \"a\"\"b\" <> ?", q,
                {"\"Mixed Col\"", "\"a\"\"b\""});
}

// Semicolons that end a text and comments of either form are not part of
// the statement: its markers are described as without them.
TEST_P(AnyDescribeParamDm, SemicolonsAndCommentsLeaveTheDescriptions) {
  const std::string t = Table();
  const std::string insert = "INSERT INTO " + t + " (i, name) VALUES (?, ?)";
  const std::string select = "SELECT i FROM " + t + " WHERE i = ? AND num > ?";
  const std::string del = "DELETE FROM " + t + " WHERE big = ?";
  const std::vector<std::pair<std::string, std::string>> forms = {
      {insert + ";", insert},
      {insert + " -- note ?", insert},
      {"/* c ? */ " + insert, insert},
      {"INSERT INTO " + t + " /* c */ (i, name) VALUES (?, ? /* ? */)", insert},
      {"-- note\n" + select + " ;", select},
      {select + ";", select},
      {del + " ;", del},
      {del + ";\n-- done", del}};
  // Derby itself refuses a semicolon at the end of a statement.
  const bool semicolons = qmr_test::DbOf(GetParam()) != qmr_test::Db::Derby;
  for (const auto& f : forms) {
    if (!semicolons && f.first.find(';') != std::string::npos) continue;
    SCOPED_TRACE(f.first);
    const std::vector<Described> plain = Params(f.second);
    ASSERT_FALSE(plain.empty());
    EXPECT_FALSE(plain[0] == kDefault) << "the plain form is described";
    EXPECT_EQ(plain, Params(f.first));
    EXPECT_EQ("", Diag(SQL_HANDLE_STMT, stmt_));
  }
}

// A text the analyser cannot read and a statement whose result (a row
// count) is still current: the default, no diagnostic, and the statement
// runs.
TEST_P(AnyDescribeParamDm, UndescribableMarkersKeepTheDefault) {
  const std::string unreadable = "SELECT i FROM " + Table() + " WHERE i = ? OFFSET 0 ROWS";
  const std::string insert = "INSERT INTO " + Table() + " (i) VALUES (?)";
  for (const std::string& sql : {unreadable, insert}) {
    SCOPED_TRACE(sql);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS));
    SQLINTEGER v = 7;
    BindInt(1, &v);
    if (sql == insert) {
      ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    }
    EXPECT_EQ(kDefault, Param(1));
    EXPECT_EQ("", Diag(SQL_HANDLE_STMT, stmt_));
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text("SELECT COUNT(*) FROM " + Table()), SQL_NTS));
  EXPECT_EQ(2, ExecuteScalar());
}

// With autocommit off a probe the source refuses (a correlated name the
// probe's FROM lacks) must not end or spoil the application's transaction
// (PostgreSQL aborts a transaction at its first failed statement): the row
// inserted before stays, and is committed or rolled back as it says.
TEST_P(AnyDescribeParamDm, ARefusedProbeLeavesTheTransactionToTheApplication) {
  const std::string t = Table();
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
  const std::string count = "SELECT COUNT(*) FROM " + t + " o WHERE ";
  for (const SQLSMALLINT end : {SQL_ROLLBACK, SQL_COMMIT}) {
    MustExec("INSERT INTO " + t + " (i) VALUES (1)");
    SQLFreeStmt(stmt_, SQL_CLOSE);
    ExpectMarkers(count + "i IN (SELECT i FROM " + t + " WHERE o.big = ?) OR i = ?", t,
                  {nullptr, "i"});
    SQLINTEGER v = 1;
    BindInt(1, &v);
    BindInt(2, &v);
    EXPECT_EQ(1, ExecuteScalar());
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc_, end)) << Diag(SQL_HANDLE_DBC, dbc_);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(count + "1 = 1"), SQL_NTS));
    EXPECT_EQ(end == SQL_COMMIT ? 1 : 0, ExecuteScalar());
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT));
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyDescribeParamDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         Name);

}  // namespace
