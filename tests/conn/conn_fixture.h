// Set-up of the connect-path tests: a private odbc.ini and file data sources
// (written once per process, before the installer library is first used),
// the fake agent behind every connect, and a record of what the agent's
// connect saw.
#ifndef QMR_TESTS_CONN_CONN_FIXTURE_H
#define QMR_TESTS_CONN_CONN_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/api.h"
#include "driver/dispatch.h"
#include "drv_jdbc/j-conninfo.h"
#include "support/fake_agent.h"

namespace conntest {

// The directory with odbc.ini, odbcinst.ini and the .dsn files.
const std::string& IniDir();

// What the last DRV_Connect received.
struct Seen {
  int calls = 0;
  std::string host, options, svtype, dbpath, dsn, dbopts, user, password, appName;
  uint32_t readOnly = 0;
  JdbcConnSettings settings{};
  std::string initialSql, dbmsName;
  bool hadInitialSql = false, hadDbmsName = false;
};
Seen& LastConnect();

// DRV_Init of the next connect fails with ERR_GENERAL and leaves an environment
// handle with this message on it (empty: DRV_Init succeeds).
void FailNextInit(const std::string& message);
// The archive directory the last DRV_Init was handed ("<null>": none).
const std::string& LastInitDir();

class ConnTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  qmrtest::FakeAgent fake;

  ConnHandle* Conn();
  // SQLDriverConnect with NOPROMPT (or the completion given) into out.
  SQLRETURN DriverConnect(const std::string& in, std::string* out = nullptr,
                          SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT);
  // Every diagnostic record of the connection: "STATE|message".
  std::vector<std::string> Diags();
  void Disconnect();
};

// Lines of a file ("" entries dropped); empty when it does not exist.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace conntest

#endif
