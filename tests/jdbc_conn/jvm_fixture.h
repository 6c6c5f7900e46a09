// Shared set-up of the agent connection tests: one Java VM per process (the
// agent's own, with HSQLDB on its class path), an agent environment, and
// helpers to connect and to run SQL on a connection through JNI.
#ifndef QMR_TESTS_JDBC_CONN_JVM_FIXTURE_H
#define QMR_TESTS_JDBC_CONN_JVM_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-records.h"
#include "tests/support/agent_env.h"

namespace jtest {

// The agent's own table (no layers in front).
inline const DRV_OpTable& Ops() { return DRV_JdbcOpTable; }

// Initialises the agent once per process (DRV_Init) and answers its
// environment handle; the test fails when the VM cannot be had.
uint32_t Env();

// A connect request in ConnOpen's shape.
using Request = agent_test::Login;

// DRV_Connect with the request; *conn receives the handle.
uint32_t Connect(const Request& r, uint32_t* conn);
// A HSQLDB in-memory connection through the JDBC Driver class, with the
// settings block given (null: the defaults).
uint32_t ConnectMem(const std::string& db, uint32_t* conn, JdbcConnSettings* settings = nullptr);

// Everything pending on an agent handle, as DRV_GetError hands it over.
using agent_test::Errors;

// Runs SQL on the connection's java.sql.Connection; the wrapper's code.
uint32_t Exec(uint32_t conn, const std::string& sql);
// The first column of the first row of a query as an int; -1 on failure.
int QueryInt(uint32_t conn, const std::string& sql);

}  // namespace jtest

#endif
