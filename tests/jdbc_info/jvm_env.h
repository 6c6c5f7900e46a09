// Set-up of the information and option tests: the agent's Java VM (one per
// process) with HSQLDB on its class path, connections with chosen
// connection-string settings, and small JNI helpers.
#ifndef QMR_TESTS_JDBC_INFO_JVM_ENV_H
#define QMR_TESTS_JDBC_INFO_JVM_ENV_H

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-records.h"
#include "tests/support/agent_env.h"

namespace jinfo {

inline const DRV_OpTable& Ops() { return DRV_JdbcOpTable; }

// DRV_Init once per process; the agent environment handle (0 on failure).
uint32_t Env();

// An HSQLDB in-memory connection opened with the given settings block (the
// connect is handed a copy of it, the DBMS name duplicated).
// 0 when the connect failed (the test is then failed).
uint32_t Connect(const std::string& db, const JdbcConnSettings& settings = JdbcConnSettings{});

using agent_test::Errors;

// Integer and text answers of DRV_GetInfo. *rc receives the result.
uint32_t InfoInt(uint32_t h, uint32_t request, uint32_t* rc);
std::string InfoText(uint32_t h, uint32_t request, uint32_t* rc);

// DRV_SetOption with a 32-bit value.
uint32_t SetInt(uint32_t h, uint32_t request, uint32_t value);

// The calling thread's JNI environment (attached by the agent).
JNIEnv* Jni();

}  // namespace jinfo

#endif
