#include "jvm_fixture.h"

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-wrap.h"

namespace jtest {

uint32_t Env() {
  static uint32_t env = [] {
    setenv("LANG", "C.UTF-8", 1);
    setenv("QMR_JVM_OPTS",
           "-Djava.class.path=/usr/share/java/hsqldb.jar -Duser.timezone=UTC -Xcheck:jni", 1);
    uint32_t h = 0;
    uint32_t rc = DRV_JdbcOpTable.DRV_Init(nullptr, &h);
    EXPECT_EQ(rc, 0u) << JC_LastVmError();
    return rc == 0 ? h : 0;
  }();
  return env;
}

uint32_t Connect(const Request& r, uint32_t* conn) {
  ConnectInfo info{};
  std::string host, svtype, dsn = "Default";
  std::vector<char> opts(r.options.begin(), r.options.end());
  opts.push_back('\0');
  std::vector<char> cls(r.driverClass.begin(), r.driverClass.end());
  cls.push_back('\0');
  std::vector<char> url(r.url.begin(), r.url.end());
  url.push_back('\0');
  std::vector<char> user(r.user.begin(), r.user.end());
  user.push_back('\0');
  std::vector<char> pwd(r.password.begin(), r.password.end());
  pwd.push_back('\0');
  info.host = &host[0];
  info.options = opts.data();
  info.svtype = &svtype[0];
  info.dbpath = cls.data();
  info.dsn = &dsn[0];
  info.dbopts = url.data();
  info.readOnly = r.readOnly;
  info.user = user.data();
  info.password = pwd.data();
  return Ops().DRV_Connect(Env(), &info, conn);
}

uint32_t ConnectMem(const std::string& db, uint32_t* conn) {
  Request r;
  r.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  r.url = "jdbc:hsqldb:mem:" + db;
  r.user = "SA";
  return Connect(r, conn);
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

uint32_t Exec(uint32_t conn, const std::string& sql) {
  JdbcConn* c = AGT_Conn(conn);
  if (c == nullptr) return 21;
  JNIEnv* env = attachJVM();
  c->jniEnv = env;
  JC_LocalFrame frame(env, 16);
  jobject st = nullptr;
  if (uint32_t rc = Connection::createStatement(c, c->connection, &st)) return rc;
  uint8_t isRs = 0;
  uint32_t rc = Statement::execute(c, st, sql.c_str(), &isRs);
  Statement::close(c, st);
  return rc;
}

int QueryInt(uint32_t conn, const std::string& sql) {
  JdbcConn* c = AGT_Conn(conn);
  if (c == nullptr) return -1;
  JNIEnv* env = attachJVM();
  c->jniEnv = env;
  JC_LocalFrame frame(env, 16);
  jobject st = nullptr;
  if (Connection::createStatement(c, c->connection, &st) != 0) return -1;
  jstring text = JC_NewString(env, sql.c_str(), 1);
  jobject rs = nullptr;
  uint8_t more = 0;
  int32_t v = -1;
  if (JC_CallObjectMethod(env, st, nullptr, "executeQuery",
                          "(Ljava/lang/String;)Ljava/sql/ResultSet;", &rs, text) != 0 ||
      JC_CallBooleanMethod(env, rs, nullptr, "next", "()Z", &more) != 0 || !more ||
      JC_CallIntMethod(env, rs, nullptr, "getInt", "(I)I", &v, 1) != 0) {
    CheckException(env, 1, &c->errors);
    v = -1;
  }
  Statement::close(c, st);
  return v;
}

}  // namespace jtest
