#include "jvm_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-vm.h"

namespace jinfo {

uint32_t Env() {
  static const uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar -Duser.timezone=UTC -Xcheck:jni");
  return env;
}

uint32_t Connect(const std::string& db, const JdbcConnSettings& settings) {
  const uint32_t env = Env();
  if (env == 0) return 0;
  JdbcConnSettings handed = settings;
  // The agent takes the two texts over; give it copies of its own.
  handed.dbmsName = settings.dbmsName != nullptr ? strdup(settings.dbmsName) : nullptr;
  handed.initialSql = nullptr;

  agent_test::Login login;
  login.settings = &handed;
  login.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  login.url = "jdbc:hsqldb:mem:" + db;
  login.user = "SA";
  uint32_t conn = 0;
  const uint32_t rc = agent_test::Connect(env, login, &conn);
  EXPECT_EQ(rc, 0u) << ::testing::PrintToString(Errors(env));
  free(handed.dbmsName);
  return rc == 0 ? conn : 0u;
}

uint32_t InfoInt(uint32_t h, uint32_t request, uint32_t* rc) {
  uint32_t v = 0xDEADBEEF;
  uint16_t len = 0;
  *rc = Ops().DRV_GetInfo(h, request, &v, sizeof v, &len);
  if (*rc == 0) {
    EXPECT_EQ(len, 4u) << std::hex << request;
  }
  return v;
}

std::string InfoText(uint32_t h, uint32_t request, uint32_t* rc) {
  char buf[4096];
  std::memset(buf, 'x', sizeof buf);
  buf[sizeof buf - 1] = '\0';
  uint16_t len = 0xFFFF;
  *rc = Ops().DRV_GetInfo(h, request, buf, sizeof buf, &len);
  if (*rc != 0) return std::string();
  EXPECT_EQ(len, std::strlen(buf)) << std::hex << request;
  return buf;
}

uint32_t SetInt(uint32_t h, uint32_t request, uint32_t value) {
  return Ops().DRV_SetOption(h, request, &value);
}

JNIEnv* Jni() { return attachJVM(); }

}  // namespace jinfo
