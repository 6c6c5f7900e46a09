// A prepared statement executed again describes the result it now gives,
// even though its description is kept between executes: a column widened or
// renamed by another connection, a column made NOT NULL on this one, and on
// PostgreSQL a parameter bound with another type.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Diag;
using qmr_test::Lower;

struct Described {
  std::string name;
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  SQLSMALLINT nullable = 0;
  std::string value;
};

// Executes the prepared statement, describes column col and reads its value.
void RunAndDescribe(SQLHSTMT st, SQLUSMALLINT col, Described* d) {
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(st))) << Diag(SQL_HANDLE_STMT, st);
  SQLCHAR name[64] = "";
  SQLSMALLINT nameLen = 0, scale = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(st, col, name, sizeof name, &nameLen, &d->type, &d->size,
                                           &scale, &d->nullable)))
      << Diag(SQL_HANDLE_STMT, st);
  d->name = Lower(reinterpret_cast<char*>(name));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(st)) << Diag(SQL_HANDLE_STMT, st);
  char value[128] = "";
  SQLLEN len = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(st, col, SQL_C_CHAR, value, sizeof value, &len)));
  d->value = value;
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st, SQL_CLOSE));
}

struct Change {
  const char* what;
  bool otherConnection;
  const char* hsql;  // the change on HSQLDB, then on PostgreSQL (null: not there)
  const char* pg;
  Described after;  // of column 2
};

class KeptDescription : public qmr_test::DmTest {};

TEST_P(KeptDescription, ExecuteAfterASchemaChangeDescribesTheNewShape) {
  const std::string longer(45, 'x');  // longer than any buffer made for ten characters
  const Change changes[] = {
      {"widened by another connection",
       true,
       "ALTER TABLE kd_t ALTER COLUMN v SET DATA TYPE VARCHAR(60)",
       "ALTER TABLE kd_t ALTER COLUMN v TYPE VARCHAR(60)",
       {"v", 0, 60, SQL_NULLABLE, longer}},
      {"renamed by another connection",
       true,
       "ALTER TABLE kd_t ALTER COLUMN v RENAME TO w",
       "ALTER TABLE kd_t RENAME COLUMN v TO w",
       {"w", 0, 10, SQL_NULLABLE, "short"}},
      // PostgreSQL's JDBC driver keeps nullability per connection for good.
      {"made NOT NULL on this connection",
       false,
       "ALTER TABLE kd_t ALTER COLUMN v SET NOT NULL",
       nullptr,
       {"v", 0, 10, SQL_NO_NULLS, "short"}},
  };
  const bool pg = DbOf(GetParam()) == Db::Pg;
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  for (const Change& c : changes) {
    const char* ddl = pg ? c.pg : c.hsql;
    if (ddl == nullptr) continue;
    Exec("DROP TABLE kd_t");
    MustExec("CREATE TABLE kd_t (k INTEGER PRIMARY KEY, v VARCHAR(10))");
    MustExec("INSERT INTO kd_t VALUES (1, 'short')");
    SQLHSTMT st = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st));
    SQLINTEGER key = 1;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st, (SQLCHAR*)"SELECT * FROM kd_t WHERE k = ?", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                            &key, 0, nullptr));
    Described before;
    RunAndDescribe(st, 2, &before);
    RunAndDescribe(st, 2, &before);  // described from what the first execute kept
    EXPECT_EQ("v", before.name) << c.what;
    EXPECT_EQ(10u, before.size) << c.what;
    EXPECT_EQ(SQL_NULLABLE, before.nullable) << c.what;

    qmr_test::DmSession& by = c.otherConnection ? other : *this;
    by.MustExec(ddl);
    if (c.after.value != "short") by.MustExec("UPDATE kd_t SET v = '" + c.after.value + "'");
    Described after;
    RunAndDescribe(st, 2, &after);
    EXPECT_EQ(c.after.name, after.name) << c.what;
    EXPECT_EQ(before.type, after.type) << c.what;
    EXPECT_EQ(c.after.size, after.size) << c.what;
    EXPECT_EQ(c.after.nullable, after.nullable) << c.what;
    EXPECT_EQ(c.after.value, after.value) << c.what;
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
  Exec("DROP TABLE kd_t");
}

TEST_P(KeptDescription, ParameterBoundWithAnotherTypeChangesTheResultType) {
  if (DbOf(GetParam()) != Db::Pg) GTEST_SKIP() << "only PostgreSQL types a result by its markers";
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, (SQLCHAR*)"SELECT ?", SQL_NTS));
  SQLINTEGER number = 42;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &number, 0, nullptr));
  Described asNumber;
  RunAndDescribe(stmt_, 1, &asNumber);
  RunAndDescribe(stmt_, 1, &asNumber);
  EXPECT_EQ(SQL_INTEGER, asNumber.type);
  EXPECT_EQ("42", asNumber.value);
  char text[] = "forty-two";
  SQLLEN textLen = SQL_NTS;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                          text, sizeof text, &textLen));
  Described asText;
  RunAndDescribe(stmt_, 1, &asText);
  EXPECT_NE(SQL_INTEGER, asText.type);
  EXPECT_EQ("forty-two", asText.value);
}

// A keyset cursor's columns are described afresh at every execute, from the
// result's metadata, while the columns themselves come from the kept
// description: the attributes read from the metadata stay right.
TEST_P(KeptDescription, ScrollingStatementKeepsItsMetadataAttributes) {
  Exec("DROP TABLE kd_attr");
  MustExec("CREATE TABLE kd_attr (k INTEGER PRIMARY KEY, v VARCHAR(10))");
  MustExec("INSERT INTO kd_attr VALUES (1, 'one')");
  SQLHSTMT st = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st));
  ASSERT_TRUE(SQL_SUCCEEDED(
      SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0)))
      << Diag(SQL_HANDLE_STMT, st);
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(st, (SQLCHAR*)"SELECT k, v FROM kd_attr", SQL_NTS));
  const SQLUSMALLINT fields[] = {SQL_DESC_CASE_SENSITIVE, SQL_DESC_UPDATABLE,
                                 SQL_DESC_AUTO_UNIQUE_VALUE, SQL_DESC_SEARCHABLE};
  std::vector<SQLLEN> first;
  for (int run = 0; run < 3; ++run) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(st))) << Diag(SQL_HANDLE_STMT, st);
    std::vector<SQLLEN> now;
    for (SQLUSMALLINT field : fields) {
      SQLLEN value = -1;
      ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(st, 2, field, nullptr, 0, nullptr, &value)))
          << Diag(SQL_HANDLE_STMT, st);
      now.push_back(value);
    }
    if (run == 0) first = now;
    EXPECT_EQ(first, now) << "execute " << run + 1;
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(st, SQL_CLOSE));
  }
  EXPECT_EQ(SQL_TRUE, first[0]) << "a VARCHAR column is case sensitive";
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  Exec("DROP TABLE kd_attr");
}

// What a lookup's execute shows: the bound value (or "null", or "none" for
// no row) and column attributes the agent answers.
std::string LookUp(SQLHSTMT st) {
  char value[32] = "?";
  SQLLEN len = 0;
  std::string seen;
  if (!SQL_SUCCEEDED(SQLBindCol(st, 1, SQL_C_CHAR, value, sizeof value, &len)) ||
      !SQL_SUCCEEDED(SQLExecute(st)))
    return "failed: " + Diag(SQL_HANDLE_STMT, st);
  const SQLRETURN rc = SQLFetch(st);
  seen = rc == SQL_NO_DATA ? "none" : len == SQL_NULL_DATA ? "null" : value;
  for (SQLUSMALLINT field : {SQL_DESC_TYPE_NAME, SQL_DESC_CASE_SENSITIVE, SQL_DESC_SEARCHABLE,
                             SQL_DESC_UPDATABLE, SQL_DESC_NULLABLE}) {
    char text[64] = "";
    SQLLEN number = -1;
    SQLColAttribute(st, 1, field, text, sizeof text, nullptr, &number);
    seen += std::string("|") + text + ":" + std::to_string(number);
  }
  SQLCloseCursor(st);
  return seen;
}

// A lookup run again and again keeps its description and its row storage
// between executes: each execute still sees its own row (or none, or a
// NULL) and the attributes a statement executed once sees.
TEST_P(KeptDescription, LookupAgainSeesWhatAFirstLookupSees) {
  Exec("DROP TABLE kd_look");
  MustExec("CREATE TABLE kd_look (k INTEGER PRIMARY KEY, v VARCHAR(20))");
  MustExec("INSERT INTO kd_look VALUES (1, 'one')");
  MustExec("INSERT INTO kd_look VALUES (2, NULL)");
  MustExec("INSERT INTO kd_look VALUES (3, 'a longer value')");
  const char* sql = "SELECT v FROM kd_look WHERE k = ?";
  SQLINTEGER key = 0;
  SQLHSTMT again = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &again));
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(again, (SQLCHAR*)sql, SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(again, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &key, 0, nullptr));
  for (SQLINTEGER k : {1, 2, 1, 9, 3, 1, 2, 2, 9, 3}) {
    key = k;
    SQLHSTMT once = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &once));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(once, (SQLCHAR*)sql, SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(once, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                            0, &key, 0, nullptr));
    const std::string want = LookUp(once);
    SQLFreeHandle(SQL_HANDLE_STMT, once);
    EXPECT_EQ(want, LookUp(again)) << "key " << k;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, again);
  Exec("DROP TABLE kd_look");
}

INSTANTIATE_TEST_SUITE_P(Backend, KeptDescription, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

}  // namespace
