// Connecting and ending transactions through the Driver Manager, the way
// applications do: the connection string a user writes from the README
// (keywords or the odbc.ini value names), the diagnostic for a JDBC driver
// class the VM cannot find, passwords kept out of the trace in every spelling
// the connection-string parser takes, and commit and rollback in both commit
// modes, on the environment and on the connection. Data is checked on a
// connection of its own.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Diag;
using qmr_test::DsnValue;
using qmr_test::Lower;

std::string DsnName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

// The DSN-less connection string of the README, with the values of a data
// source: DRIVER, then the JDBC class, URL, user and password under the
// given keywords.
std::string DsnLess(const std::string& dsn, const char* jdbcKey, const std::string& jdbcClass,
                    const char* urlKey) {
  return "DRIVER={" + DsnValue(dsn, "Driver") + "};" + jdbcKey + "=" + jdbcClass + ";" + urlKey +
         "=" + DsnValue(dsn, "URLString") + ";UID=" + DsnValue(dsn, "UID") +
         ";PWD=" + DsnValue(dsn, "PWD");
}

std::string DbmsName(SQLHDBC dbc) {
  SQLCHAR buf[128] = "";
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_DBMS_NAME, buf, sizeof buf, &len));
  return reinterpret_cast<char*>(buf);
}

// ---------------------------------------------------------------------------
// Connection strings on HSQLDB and PostgreSQL.

using ConnString = ::testing::TestWithParam<std::string>;

TEST_P(ConnString, TheReadmeStringConnectsUnderEitherSpelling) {
  const std::string want = DbOf(GetParam()) == Db::Pg ? "PostgreSQL" : "HSQL Database Engine";
  const std::string jdbcClass = DsnValue(GetParam(), "JdbcDriver");
  ASSERT_FALSE(jdbcClass.empty()) << GetParam() << " has no JdbcDriver in $ODBCINI";
  const struct {
    const char* jdbc;
    const char* url;
  } kSpellings[] = {{"JDBC", "URL"}, {"JdbcDriver", "URLString"}, {"jdbcdriver", "URL"}};
  for (const auto& s : kSpellings) {
    const std::string in = DsnLess(GetParam(), s.jdbc, jdbcClass, s.url);
    qmr_test::DmSession session;
    ASSERT_TRUE(session.NewEnv());
    ASSERT_TRUE(session.ConnectString(in)) << in;
    EXPECT_EQ(want, DbmsName(session.dbc_)) << in;
    session.MustExec("SELECT 1 FROM (VALUES (0)) AS t(x)");
    EXPECT_EQ(1u, qmr_test::FetchRows(session.stmt_).size()) << in;
  }
}

TEST_P(ConnString, AClassTheVmCannotFindIsNamedWithTheWayToMendIt) {
  const struct {
    const char* what;
    std::string in;
    const char* named;  // the class the message names
  } kCases[] = {
      {"a wrong class", DsnLess(GetParam(), "JDBC", "org.example.NoSuchDriver", "URL"),
       "[org.example.NoSuchDriver]"},
      // No class at all: the driver falls back on its own default list.
      {"no class",
       "DRIVER={" + DsnValue(GetParam(), "Driver") + "};URL=" + DsnValue(GetParam(), "URLString"),
       "Driver = ["},
  };
  for (const auto& c : kCases) {
    qmr_test::DmSession session;
    ASSERT_TRUE(session.NewEnv());
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, session.env_, &session.dbc_));
    const SQLRETURN rc = SQLDriverConnect(session.dbc_, nullptr, (SQLCHAR*)c.in.c_str(), SQL_NTS,
                                          nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_EQ(SQL_ERROR, rc) << c.what;
    const std::string diag = Diag(SQL_HANDLE_DBC, session.dbc_);
    EXPECT_NE(std::string::npos, diag.find(c.named)) << c.what << "\n" << diag;
    for (const char* part :
         {"not found on the Java class path", "QMR_JVM_OPTS", "JDBC=", "JdbcDriver"}) {
      EXPECT_NE(std::string::npos, diag.find(part)) << c.what << ": " << part << "\n" << diag;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backend, ConnString, ::testing::ValuesIn(qmr_test::TestDsns()), DsnName);

// ---------------------------------------------------------------------------
// Passwords and the trace, on HSQLDB and PostgreSQL. Each case connects with
// a password of its own and the trace must not hold it anywhere.

class TracePassword : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    // Both drivers loaded first: each opens (and empties) the trace file
    // when it is loaded, so a later load could hide a leak.
    for (const std::string& dsn : qmr_test::TestDsns()) {
      qmr_test::DmSession s;
      ASSERT_TRUE(s.Open(dsn));
    }
  }
  // The URL the case connects to: on HSQLDB a fresh database, which the
  // first connect creates with whatever password it is given; the
  // PostgreSQL server of the tests trusts its local users.
  std::string Url(int n) const {
    if (DbOf(GetParam()) == Db::Pg) return DsnValue(GetParam(), "URLString");
    return "jdbc:hsqldb:mem:qmrmask" + std::to_string(n) + Lower(GetParam());
  }
};

TEST_P(TracePassword, NoSpellingOfAPasswordReachesTheTrace) {
  // %S stands for the secret, %U for the URL, %P for what starts a property
  // in the database's URLs.
  const char* const kSpellings[] = {
      "URL=%U;PWD =%S",    "URL=%U;pwd= %S", "URL=%U;{PWD}=%S",       "URL=%U;Password=%S",
      "URL=%U;PWD={%S;x}", "URL=%U;PWD=%S ", "URL={%U%Ppassword=%S}", "URLString=%U%Ppassword=%S",
  };
  const std::string head = "DRIVER={" + DsnValue(GetParam(), "Driver") +
                           "};JDBC=" + DsnValue(GetParam(), "JdbcDriver") +
                           ";UID=" + DsnValue(GetParam(), "UID") + ";";
  const std::string property = DbOf(GetParam()) == Db::Pg ? "?" : ";";
  int n = 0;
  for (const char* spelling : kSpellings) {
    const std::string secret = "Zq" + std::to_string(++n) + "pw";
    std::string in = head + spelling;
    for (const auto& [mark, value] :
         {std::pair<std::string, std::string>{"%U", Url(n)}, {"%P", property}, {"%S", secret}}) {
      const size_t at = in.find(mark);
      if (at != std::string::npos) in.replace(at, mark.size(), value);
    }
    qmr_test::DmSession session;
    ASSERT_TRUE(session.NewEnv());
    EXPECT_TRUE(session.ConnectString(in)) << in;
    session.Close();
    EXPECT_EQ(std::string::npos, qmr_test::TraceText().find(secret)) << in;
  }
}

INSTANTIATE_TEST_SUITE_P(Backend, TracePassword, ::testing::ValuesIn(qmr_test::TestDsns()),
                         DsnName);

// ---------------------------------------------------------------------------
// Ending transactions, on every database.

// One way an application ends a transaction.
struct Ending {
  const char* name;
  std::function<SQLRETURN(SQLHENV, SQLHDBC, SQLSMALLINT)> call;
};

const Ending kEndings[] = {
    {"SQLEndTran on the connection",
     [](SQLHENV, SQLHDBC dbc, SQLSMALLINT c) { return SQLEndTran(SQL_HANDLE_DBC, dbc, c); }},
    {"SQLEndTran on the environment",
     [](SQLHENV env, SQLHDBC, SQLSMALLINT c) { return SQLEndTran(SQL_HANDLE_ENV, env, c); }},
    {"SQLTransact on the connection",
     [](SQLHENV, SQLHDBC dbc, SQLSMALLINT c) {
       return SQLTransact(SQL_NULL_HENV, dbc, static_cast<SQLUSMALLINT>(c));
     }},
    {"SQLTransact on the environment",
     [](SQLHENV env, SQLHDBC, SQLSMALLINT c) {
       return SQLTransact(env, SQL_NULL_HDBC, static_cast<SQLUSMALLINT>(c));
     }},
};

class Transactions : public qmr_test::DmTest {
 protected:
  void SetUp() override {
    table_ = "qmr_tx_" + Lower(GetParam());
    qmr_test::DmTest::SetUp();
    Exec("DROP TABLE " + table_);  // absent the first time
    MustExec("CREATE TABLE " + table_ + " (n INTEGER)");
  }
  void TearDown() override {
    if (stmt_ != nullptr) {
      SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                        0);
      Exec("DROP TABLE " + table_);
    }
    qmr_test::DmTest::TearDown();
  }
  void Insert(int n) { MustExec("INSERT INTO " + table_ + " VALUES (" + std::to_string(n) + ")"); }
  // The rows another connection, in an environment of its own, sees.
  std::vector<std::string> Committed() {
    qmr_test::DmSession reader;
    std::vector<std::string> out;
    if (!reader.Open(GetParam())) return out;
    reader.MustExec("SELECT n FROM " + table_ + " ORDER BY n");
    for (const auto& row : qmr_test::FetchRows(reader.stmt_)) out.push_back(row[0].text);
    return out;
  }
  void End(const Ending& e, SQLSMALLINT completion) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    EXPECT_EQ(SQL_SUCCESS, e.call(env_, dbc_, completion))
        << e.name << (completion == SQL_COMMIT ? " commit\n" : " rollback\n")
        << Diag(SQL_HANDLE_DBC, dbc_) << Diag(SQL_HANDLE_ENV, env_);
  }
  std::string table_;
};

TEST_P(Transactions, InAutoCommitModeEndingSucceedsAndEveryRowStays) {
  std::vector<std::string> want;
  int n = 0;
  for (const Ending& e : kEndings) {
    for (SQLSMALLINT completion : {SQL_COMMIT, SQL_ROLLBACK}) {
      Insert(++n);
      want.push_back(std::to_string(n));
      End(e, completion);
    }
  }
  EXPECT_EQ(want, Committed());
}

TEST_P(Transactions, InManualCommitModeCommitKeepsAndRollbackUndoes) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))
      << Diag(SQL_HANDLE_DBC, dbc_);
  std::vector<std::string> want;
  int n = 0;
  for (const Ending& e : kEndings) {
    Insert(++n);
    End(e, SQL_ROLLBACK);
    Insert(++n);
    want.push_back(std::to_string(n));
    End(e, SQL_COMMIT);
  }
  EXPECT_EQ(want, Committed());
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, Transactions, ::testing::ValuesIn(qmr_test::TestDsns()),
                         DsnName);

}  // namespace
