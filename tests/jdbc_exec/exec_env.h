// Set-up of the prepare, execute and fetch tests: the agent's Java VM (one
// per process) with HSQLDB on its class path, in-memory connections, and
// helpers that run statements through the agent's slots and read row
// buffers.
#ifndef QMR_TESTS_JDBC_EXEC_EXEC_ENV_H
#define QMR_TESTS_JDBC_EXEC_EXEC_ENV_H

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-records.h"
#include "tests/support/agent_env.h"

namespace jexec_test {

inline const DRV_OpTable& Ops() { return DRV_JdbcOpTable; }

// DRV_Init once per process; the agent environment handle (0 on failure).
uint32_t Env();
// An HSQLDB in-memory connection (0 when the connect failed, the test is
// then failed). readOnly asks for a read-only connection at connect.
uint32_t Connect(const std::string& db, uint32_t readOnly = 0);
using agent_test::Errors;

// A statement on a connection, freed with its scope.
using agent_test::Stmt;

// Runs statements one after the other on a statement of its own; fails the
// test when one fails.
using agent_test::Exec;

// A row buffer the fetch fills, freed with its scope.
struct Rows {
  COLSET set{};
  ~Rows() { ColSetFreeColumns(&set); }
  unsigned char* Elem(uint16_t col, uint32_t row) const {
    return set.cols[col].data + static_cast<size_t>(row) * set.cols[col].elem_size;
  }
  bool IsNull(uint16_t col, uint32_t row) const {
    return set.cols[col].ind[row] == COLSET_IND_NULL;
  }
  std::string Text(uint16_t col, uint32_t row) const;      // codes 17, 20
  std::u16string Wide(uint16_t col, uint32_t row) const;   // codes 25, 27
  std::string Long(uint16_t col, uint32_t row) const;      // codes 15, 16
  int32_t Int(uint16_t col, uint32_t row) const;           // code 5
  int16_t Short(uint16_t col, uint32_t row) const;         // code 4
  double Double(uint16_t col, uint32_t row) const;         // code 10
  std::string Prefixed(uint16_t col, uint32_t row) const;  // codes 20, 23
};

// The agent's row count of a statement's last execute (request INFO_ROW_COUNT).
uint32_t RowCount(uint32_t stmt);

}  // namespace jexec_test

#endif
