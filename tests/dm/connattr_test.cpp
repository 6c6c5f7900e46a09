// Connection attributes and information through the Driver Manager, on
// HSQLDB in memory, with both builds of the driver.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>

#include "tests/support/dm_session.h"

namespace {

SQLPOINTER Num(uintptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

using qmr_test::Diag;

// An environment and a connection handle on it; connected on demand.
struct Session {
  void Open() {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, Num(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
  }
  void Close() {
    if (connected) SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  void Connect(const char* dsn) {
    std::string in = std::string("DSN=") + dsn + ";";
    SQLCHAR out[1024];
    SQLSMALLINT len = 0;
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, out,
                                          sizeof out, &len, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_DBC, dbc);
    connected = true;
  }
  SQLUINTEGER Attr(SQLINTEGER attr) {
    SQLUINTEGER v = 0xDEADBEEF;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, attr, &v, sizeof v, nullptr))
        << Diag(SQL_HANDLE_DBC, dbc);
    return v;
  }
  SQLRETURN Exec(const char* sql) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    const SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS);
    lastError = SQL_SUCCEEDED(rc) ? "" : Diag(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rc;
  }
  // Rows of the table, counted as the rows an UPDATE that changes nothing
  // touches (the count needs no fetch). Inside a transaction it belongs to
  // the transaction, like any statement.
  long Count(const char* table) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    const std::string sql = std::string("UPDATE ") + table + " SET n = n";
    SQLLEN n = -1;
    const SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if ((!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) || !SQL_SUCCEEDED(SQLRowCount(stmt, &n))) {
      ADD_FAILURE() << Diag(SQL_HANDLE_STMT, stmt);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return static_cast<long>(n);
  }
  // A fresh table with no rows, committed.
  void FreshTable(const char* table) {
    Exec((std::string("DROP TABLE ") + table).c_str());
    ASSERT_TRUE(SQL_SUCCEEDED(Exec((std::string("CREATE TABLE ") + table + " (n INT)").c_str())))
        << lastError;
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  }
  // Inserts a row, rolls back and counts what is left.
  long InsertThenRollback(const char* table) {
    EXPECT_TRUE(SQL_SUCCEEDED(Exec((std::string("INSERT INTO ") + table + " VALUES (1)").c_str())))
        << lastError;
    EXPECT_EQ(1, Count(table));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK))
        << Diag(SQL_HANDLE_DBC, dbc);
    return Count(table);
  }

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool connected = false;
  std::string lastError;
};

class Dm : public ::testing::Test, public Session {
 protected:
  void SetUp() override { Open(); }
  void TearDown() override { Close(); }
};

TEST_F(Dm, AutoCommitOffBeforeConnectingLetsRollbackUndoAnInsert) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, Num(SQL_AUTOCOMMIT_OFF), 0));
  Connect("QmrHsqlU");
  EXPECT_EQ(SQL_AUTOCOMMIT_OFF, Attr(SQL_ATTR_AUTOCOMMIT));
  FreshTable("ac_before");
  EXPECT_EQ(0, InsertThenRollback("ac_before"));
}

TEST_F(Dm, AutoCommitOffAfterConnectingLetsRollbackUndoAnInsert) {
  Connect("QmrHsqlA");
  EXPECT_EQ(SQL_AUTOCOMMIT_ON, Attr(SQL_ATTR_AUTOCOMMIT));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, Num(SQL_AUTOCOMMIT_OFF), 0));
  EXPECT_EQ(SQL_AUTOCOMMIT_OFF, Attr(SQL_ATTR_AUTOCOMMIT));
  FreshTable("ac_after");
  EXPECT_EQ(0, InsertThenRollback("ac_after"));
}

TEST_F(Dm, WithAutoCommitOnRollbackUndoesNothing) {
  Connect("QmrHsqlU");
  FreshTable("ac_on");
  EXPECT_EQ(1, InsertThenRollback("ac_on"));
}

TEST_F(Dm, ReadOnlyBeforeConnectingIsInForceAfterIt) {
  {
    // The table, made on a connection of its own.
    Session writer;
    writer.Open();
    writer.Connect("QmrHsqlU");
    writer.FreshTable("ro_target");
    writer.Close();
  }
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, Num(SQL_MODE_READ_ONLY), 0));
  Connect("QmrHsqlU");
  EXPECT_EQ(SQL_MODE_READ_ONLY, Attr(SQL_ATTR_ACCESS_MODE));
  EXPECT_EQ(SQL_ERROR, Exec("INSERT INTO ro_target VALUES (1)"));
  Session reader;
  reader.Open();
  reader.Connect("QmrHsqlU");
  EXPECT_EQ(0, reader.Count("ro_target"));
  reader.Close();
}

// ---------------------------------------------------------------------------
// SQLGetInfo: the Unicode build through SQLGetInfoW and the ANSI build
// through SQLGetInfo give the same answers.

class InfoBothBuilds : public ::testing::Test {
 protected:
  void SetUp() override {
    wide.Open();
    wide.Connect("QmrHsqlU");
    narrow.Open();
    narrow.Connect("QmrHsqlA");
  }
  void TearDown() override {
    wide.Close();
    narrow.Close();
  }
  std::string TextA(SQLUSMALLINT type) {
    char buf[4096] = "";
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(narrow.dbc, type, buf, sizeof buf, &len))
        << Diag(SQL_HANDLE_DBC, narrow.dbc);
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(buf)), len);
    return buf;
  }
  std::string TextW(SQLUSMALLINT type) {
    SQLWCHAR buf[4096] = {};
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(wide.dbc, type, buf, sizeof buf, &len))
        << Diag(SQL_HANDLE_DBC, wide.dbc);
    std::string ascii;
    size_t n = 0;
    for (; buf[n] != 0; ++n) ascii += buf[n] < 0x80 ? static_cast<char>(buf[n]) : '?';
    EXPECT_EQ(static_cast<SQLSMALLINT>(n * sizeof(SQLWCHAR)), len);
    return ascii;
  }
  template <class T>
  void Numbers(SQLUSMALLINT type, T* a, T* w) {
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(narrow.dbc, type, a, sizeof *a, &len)) << type;
    EXPECT_EQ(static_cast<SQLSMALLINT>(sizeof *a), len) << type;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(wide.dbc, type, w, sizeof *w, &len)) << type;
    EXPECT_EQ(static_cast<SQLSMALLINT>(sizeof *w), len) << type;
  }
  Session wide;
  Session narrow;
};

TEST_F(InfoBothBuilds, TextAnswersAgree) {
  for (SQLUSMALLINT type : {SQLUSMALLINT{SQL_DBMS_NAME}, SQLUSMALLINT{SQL_DBMS_VER},
                            SQLUSMALLINT{SQL_IDENTIFIER_QUOTE_CHAR}, SQLUSMALLINT{SQL_KEYWORDS},
                            SQLUSMALLINT{SQL_DRIVER_ODBC_VER}, SQLUSMALLINT{SQL_CATALOG_TERM}}) {
    const std::string a = TextA(type);
    EXPECT_EQ(a, TextW(type)) << type;
  }
  EXPECT_EQ("03.50", TextA(SQL_DRIVER_ODBC_VER));
  EXPECT_EQ("HSQL Database Engine", TextA(SQL_DBMS_NAME));
}

TEST_F(InfoBothBuilds, NumericAnswersAgree) {
  for (SQLUSMALLINT type :
       {SQLUSMALLINT{SQL_MAX_COLUMN_NAME_LEN}, SQLUSMALLINT{SQL_TXN_CAPABLE},
        SQLUSMALLINT{SQL_CURSOR_COMMIT_BEHAVIOR}, SQLUSMALLINT{SQL_IDENTIFIER_CASE}}) {
    SQLUSMALLINT a = 0xBEEF, w = 0xFEED;
    Numbers(type, &a, &w);
    EXPECT_EQ(a, w) << type;
  }
  for (SQLUSMALLINT type :
       {SQLUSMALLINT{SQL_NUMERIC_FUNCTIONS}, SQLUSMALLINT{SQL_STRING_FUNCTIONS},
        SQLUSMALLINT{SQL_TXN_ISOLATION_OPTION}, SQLUSMALLINT{SQL_DEFAULT_TXN_ISOLATION},
        SQLUSMALLINT{SQL_SCROLL_OPTIONS}}) {
    SQLUINTEGER a = 0xDEADBEEF, w = 0xFEEDFACE;
    Numbers(type, &a, &w);
    EXPECT_EQ(a, w) << type;
  }
  // HSQLDB takes no wide type names in {fn CONVERT}: both builds claim the
  // same conversions.
  SQLUINTEGER a = 0, w = 0;
  Numbers(SQLUSMALLINT{SQL_CONVERT_CHAR}, &a, &w);
  EXPECT_EQ(0x73FFu, a);
  EXPECT_EQ(a, w);
}

TEST_F(InfoBothBuilds, FunctionsTheDriverReports) {
  // The Driver Manager completes the list from the exports of each build;
  // what the driver itself says shows in the single questions.
  for (Session* side : {&narrow, &wide}) {
    SQLUSMALLINT yes = SQL_FALSE, no = SQL_TRUE;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(side->dbc, SQL_API_SQLFETCHSCROLL, &yes));
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(side->dbc, SQL_API_SQLBROWSECONNECT, &no));
    EXPECT_EQ(SQL_TRUE, yes);
    EXPECT_EQ(SQL_FALSE, no);
  }
}

}  // namespace
