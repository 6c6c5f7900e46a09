#include "jvm_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-common.h"

namespace jinfo {

uint32_t Env() {
  static const uint32_t env = [] {
    setenv("LANG", "C.UTF-8", 1);
    setenv("QMR_JVM_OPTS",
           "-Djava.class.path=/usr/share/java/hsqldb.jar -Duser.timezone=UTC -Xcheck:jni", 1);
    uint32_t h = 0;
    const uint32_t rc = Ops().DRV_Init(nullptr, &h);
    EXPECT_EQ(rc, 0u) << JC_LastVmError();
    return rc == 0 ? h : 0u;
  }();
  return env;
}

uint32_t Connect(const std::string& db, const JdbcConnSettings& settings) {
  const uint32_t env = Env();
  if (env == 0) return 0;
  ConnSettings = settings;
  // The agent takes the two texts over; give it copies of its own.
  ConnSettings.dbmsName = settings.dbmsName != nullptr ? strdup(settings.dbmsName) : nullptr;
  ConnSettings.initialSql = nullptr;

  std::string host, options, svtype, dsn = "Default";
  std::string cls = "org.hsqldb.jdbc.JDBCDriver";
  std::string url = "jdbc:hsqldb:mem:" + db;
  std::string user = "SA", password;
  ConnectInfo info{};
  info.host = host.data();
  info.options = options.data();
  info.svtype = svtype.data();
  info.dbpath = cls.data();
  info.dsn = dsn.data();
  info.dbopts = url.data();
  info.user = user.data();
  info.password = password.data();
  uint32_t conn = 0;
  const uint32_t rc = Ops().DRV_Connect(env, &info, &conn);
  EXPECT_EQ(rc, 0u) << ::testing::PrintToString(Errors(env));
  free(ConnSettings.dbmsName);
  ConnSettings = JdbcConnSettings{};
  return rc == 0 ? conn : 0u;
}

std::vector<std::string> Errors(uint32_t h) {
  DRV_ErrorBatch batch{};
  std::vector<std::string> out;
  if (Ops().DRV_GetError(h, &batch) != 0) return out;
  for (uint32_t i = 0; i < batch.list.count; ++i) {
    out.push_back(batch.list.texts[i] != nullptr ? batch.list.texts[i] : "");
  }
  DRV_FreeErrorBatch(&batch);
  return out;
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
