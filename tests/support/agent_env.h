// What the agent-level test executables share: the agent started in the
// process's one Java VM with the executable's own options, connections by
// driver class and URL, diagnostics as texts, and a statement freed with its
// scope.
#ifndef QMR_TESTS_SUPPORT_AGENT_ENV_H
#define QMR_TESTS_SUPPORT_AGENT_ENV_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-records.h"

namespace agent_test {

// Sets LANG=C.UTF-8 and QMR_JVM_OPTS=jvmOpts, then DRV_Init; the agent
// environment handle, 0 (and a test failure) when the VM did not start.
// Call it once per process: a process holds one VM ever.
uint32_t StartAgent(const char* jvmOpts);

// What DRV_Connect is given; the other connect texts stay empty and the
// data source is "Default".
struct Login {
  std::string driverClass;  // the JDBC keyword; empty: the fixed class list
  std::string url;
  std::string user;
  std::string password;
  std::string options;
  uint32_t readOnly = 0;
  // Handed over as it is (null: the defaults); the agent takes over the
  // texts it keeps and clears them in the block.
  JdbcConnSettings* settings = nullptr;
  // The table to connect through (a layer in front of the agent); null:
  // the agent's own.
  const DRV_OpTable* ops = nullptr;
};

// DRV_Connect on env; its answer, the connection in *conn.
uint32_t Connect(uint32_t env, const Login& login, uint32_t* conn);

// The port of the "pg" fixture's throw-away PostgreSQL server (read from
// QMR_PG_PORT_FILE); empty when the test runs without it.
std::string PgPort();

// Texts of the diagnostics pending on an agent handle (taken off it).
std::vector<std::string> Errors(uint32_t h);

// A statement on a connection, freed with its scope.
class Stmt {
 public:
  explicit Stmt(uint32_t conn);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  uint32_t h() const { return h_; }
  JdbcStmt* rec() const;
  uint32_t Prepare(const std::string& sql) const;
  uint32_t Execute() const;
  // Prepare, then execute; the first failure.
  uint32_t Run(const std::string& sql) const;

 private:
  uint32_t h_ = 0;
};

// Runs statements one after the other on a statement of its own; fails the
// test when one fails.
void Exec(uint32_t conn, std::initializer_list<const char*> sqls);

}  // namespace agent_test

#endif
