// Set-up of the agent's catalog tests: one Java VM with HSQLDB, H2 and
// Derby on its class path, in-memory connections with the settings block of
// each test, and a reader of catalog row buffers.
#ifndef QMR_TESTS_JDBC_CAT_CAT_ENV_H
#define QMR_TESTS_JDBC_CAT_CAT_ENV_H

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/drv_catalog.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-records.h"
#include "tests/support/agent_env.h"

namespace jcat_test {

inline const DRV_OpTable& Ops() { return DRV_JdbcOpTable; }

struct Backend {
  const char* name;
  const char* driverClass;
  const char* url;  // in-memory database
  const char* user;
  const char* schema;     // where unqualified tables land
  const char* tableType;  // its name for an ordinary table
};
const std::vector<Backend>& Backends();

// A connection to the backend with the settings block given (0 on failure,
// the test is then failed).
uint32_t Connect(const Backend& b, const JdbcConnSettings& settings = JdbcConnSettings{});
using agent_test::Errors;
// Runs statements one after the other; ignoreErrors for clean-up drops.
void Exec(uint32_t conn, const std::vector<std::string>& sqls, bool ignoreErrors = false);

// Every row of a catalog result, fetched in blocks of `block` rows; values
// as text ("<null>" for NULL), integer columns in decimal.
using Row = std::vector<std::string>;
std::vector<Row> FetchAll(uint32_t stmt, uint16_t block = 7);
constexpr const char* kNull = "<null>";

// A statement freed with its scope.
using agent_test::Stmt;

// Column names and shapes as described.
struct ColShape {
  std::string name;
  int32_t sqlType;
  uint32_t valueType;
  uint32_t nullable;
};
std::vector<ColShape> Described(uint32_t stmt);

}  // namespace jcat_test

#endif
