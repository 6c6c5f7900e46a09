// What the end-to-end tests through unixODBC's Driver Manager share: which
// backend a data source names, diagnostics as text, UTF-8 to UTF-16 for the
// wide entry points, and a session of environment, connection and one
// statement whose failures to open are reported as test failures.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/utf.h"

namespace qmr_test {

enum class Db { Hsql, Pg, H2, Derby };

// The backend behind one of the test data sources (QmrPg*, QmrH2*, QmrDerby*,
// else HSQLDB).
Db DbOf(const std::string& dsn);

std::string Lower(std::string s);

// A value of a data source in the generated odbc.ini ($ODBCINI), "" when the
// source or the value is missing.
std::string DsnValue(const std::string& dsn, const std::string& name);

// The driver's trace file of this process: named in QMR_DEBUGFILE before
// the Driver Manager first loads a driver, which opens it at load.
const std::string& TraceFile();
// All the trace holds so far.
std::string TraceText();

// Every diagnostic record of a handle, one "STATE message" line each.
std::string Diag(SQLSMALLINT type, SQLHANDLE h);
// The SQLSTATE of the first record, "" when there is none.
std::string State(SQLSMALLINT type, SQLHANDLE h);
// The SQLSTATE of every record.
std::vector<std::string> States(SQLSMALLINT type, SQLHANDLE h);

// One fetched column value as text.
struct Cell {
  bool null = true;
  std::string text;
};
using Row = std::vector<Cell>;

// Every row of the statement's open result as text (SQLGetData to
// SQL_C_CHAR), then the cursor closed; a fetch that neither succeeds nor
// ends the result fails the test.
std::vector<Row> FetchRows(SQLHSTMT stmt);

// Environment, connection and one statement. The environment is the
// session's own (NewEnv) or borrowed (UseEnv); Close frees what is held and
// runs again harmlessly.
class DmSession {
 public:
  DmSession() = default;
  ~DmSession() { Close(); }
  DmSession(const DmSession&) = delete;
  DmSession& operator=(const DmSession&) = delete;

  // Each step below reports its failure through the test and answers false.
  bool NewEnv(SQLULEN odbcVersion = SQL_OV_ODBC3);
  void UseEnv(SQLHENV env);
  // Connects with SQLConnect to a data source, then allocates the statement.
  bool ConnectDsn(const std::string& dsn);
  // Connects with SQLDriverConnect (no prompt), then allocates the statement.
  bool ConnectString(const std::string& in);
  // Connects through the wide SQLDriverConnectW, so that the Driver Manager
  // treats the connection as a wide one throughout.
  bool ConnectDsnWide(const std::string& dsn);
  // NewEnv and ConnectDsn.
  bool Open(const std::string& dsn, SQLULEN odbcVersion = SQL_OV_ODBC3);
  void Close();

  bool ok() const { return stmt_ != nullptr; }

  // The statement's cursor closed, then the text run directly.
  SQLRETURN Exec(const std::string& sql);
  void MustExec(const std::string& sql);

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
  bool connected_ = false;

 private:
  bool AllocDbc();
  bool AfterConnect(SQLRETURN rc, const std::string& what);
  bool ownsEnv_ = false;
};

// A test on one data source (the parameter), opened for ODBC 3 by
// SQLConnect before each case and closed after it.
class DmTest : public ::testing::TestWithParam<std::string>, public DmSession {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    ASSERT_TRUE(Open(GetParam()));
  }
  void TearDown() override { Close(); }
};

}  // namespace qmr_test
