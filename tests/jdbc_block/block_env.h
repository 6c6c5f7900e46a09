// Set-up of the block-reader tests: the agent's Java VM (one per process)
// with HSQLDB and Derby on its class path, connections, statements, and a
// snapshot of everything a fetch leaves in the row buffer and on the
// statement, so that block reads and value-by-value reads can be compared.
#ifndef QMR_TESTS_JDBC_BLOCK_BLOCK_ENV_H
#define QMR_TESTS_JDBC_BLOCK_BLOCK_ENV_H

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-records.h"
#include "tests/support/agent_env.h"

namespace jblock_test {

inline const DRV_OpTable& Ops() { return DRV_JdbcOpTable; }

uint32_t Env();
uint32_t ConnectHsqldb(const std::string& db);
uint32_t ConnectDerby(const std::string& db);
// The throw-away PostgreSQL server of the "pg" fixture (QMR_PG_PORT_FILE);
// 0 when the test runs without it.
uint32_t ConnectPostgres();
using agent_test::Errors;
using agent_test::Exec;
using agent_test::Stmt;

// One DRV_Fetch: its answer, the diagnostics it posted, the row count and
// flags it left, and every element and indicator of the rows it held.
struct FetchShot {
  uint32_t rc = 0;
  std::vector<std::string> errors;
  uint32_t rowsHeld = 0;
  uint32_t colsUsed = 0;
  uint32_t rowCount = 0;
  uint32_t rowsFetched = 0;
  bool noMoreRows = false;
  std::vector<uint32_t> types;
  std::vector<std::vector<uint8_t>> elements;  // [column] all held rows' bytes
  std::vector<std::vector<uint16_t>> indicators;
  bool operator==(const FetchShot& o) const;
};

// Runs sql on a new statement of conn (wide: character columns described
// wide, as the Unicode build asks) and fetches blocks of `rows` until one
// comes back empty or fails (at most `limit` fetches). block selects the
// reader.
std::vector<FetchShot> FetchAll(uint32_t conn, const std::string& sql, uint16_t rows, bool block,
                                uint32_t wide = 0, int limit = 100);
// The same on a statement the caller keeps (and may have fetched on before).
std::vector<FetchShot> FetchAllOn(const Stmt& s, const std::string& sql, uint16_t rows, bool block,
                                  uint32_t wide = 0, int limit = 100);

std::string Describe(const FetchShot& s);

}  // namespace jblock_test

#endif
