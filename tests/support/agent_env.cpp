#include "tests/support/agent_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-start.h"
#include "drv_jdbc/j-vm.h"

namespace agent_test {

uint32_t StartAgent(const char* jvmOpts) {
  setenv("LANG", "C.UTF-8", 1);
  setenv("QMR_JVM_OPTS", jvmOpts, 1);
  uint32_t h = 0;
  const uint32_t rc = DRV_JdbcOpTable.DRV_Init(nullptr, &h);
  EXPECT_EQ(rc, 0u) << JC_LastVmError();
  return rc == 0 ? h : 0u;
}

uint32_t Connect(uint32_t env, const Login& login, uint32_t* conn) {
  // The agent writes into none of these, but takes them as char*: copies
  // of the test's own.
  std::string host, svtype, dsn = "Default";
  std::string options = login.options, cls = login.driverClass, url = login.url;
  std::string user = login.user, password = login.password;
  ConnectInfo info{};
  info.host = host.data();
  info.options = options.data();
  info.svtype = svtype.data();
  info.dbpath = cls.data();
  info.dsn = dsn.data();
  info.dbopts = url.data();
  info.readOnly = login.readOnly;
  info.user = user.data();
  info.password = password.data();
  info.settings = login.settings;
  return (login.ops != nullptr ? login.ops : &DRV_JdbcOpTable)->DRV_Connect(env, &info, conn);
}

std::string PgPort() {
  const char* file = std::getenv("QMR_PG_PORT_FILE");
  if (file == nullptr) return {};
  char buf[16] = "";
  if (FILE* f = std::fopen(file, "r")) {
    if (std::fgets(buf, sizeof buf, f) == nullptr) buf[0] = '\0';
    std::fclose(f);
  }
  std::string port = buf;
  while (!port.empty() && (port.back() == '\n' || port.back() == ' ')) port.pop_back();
  EXPECT_FALSE(port.empty()) << "no port in " << file;
  return port;
}

std::vector<std::string> Errors(uint32_t h) {
  DRV_ErrorBatch batch{};
  std::vector<std::string> out;
  if (DRV_JdbcOpTable.DRV_GetError(h, &batch) != 0) return out;
  for (uint32_t i = 0; i < batch.list.count; ++i)
    out.push_back(batch.list.texts[i] != nullptr ? batch.list.texts[i] : "");
  DRV_FreeErrorBatch(&batch);
  return out;
}

Stmt::Stmt(uint32_t conn) { EXPECT_EQ(DRV_JdbcOpTable.DRV_AllocStmt(conn, &h_), 0u); }

Stmt::~Stmt() {
  if (h_ != 0) DRV_JdbcOpTable.DRV_FreeStmt(h_);
}

JdbcStmt* Stmt::rec() const { return AGT_Stmt(h_); }

uint32_t Stmt::Prepare(const std::string& sql) const {
  return DRV_JdbcOpTable.DRV_Prepare(h_, sql.c_str());
}

uint32_t Stmt::Execute() const { return DRV_JdbcOpTable.DRV_Execute(h_); }

uint32_t Stmt::Run(const std::string& sql) const {
  uint32_t rc = Prepare(sql);
  if (rc == 0) rc = Execute();
  return rc;
}

void Exec(uint32_t conn, std::initializer_list<const char*> sqls) {
  Stmt s(conn);
  for (const char* sql : sqls)
    EXPECT_EQ(s.Run(sql), 0u) << sql << ": " << ::testing::PrintToString(Errors(s.h()));
}

}  // namespace agent_test
