#include "jvm_fixture.h"

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"

namespace jtest {

uint32_t Env() {
  static uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar -Duser.timezone=UTC -Xcheck:jni");
  return env;
}

uint32_t Connect(const Request& r, uint32_t* conn) { return agent_test::Connect(Env(), r, conn); }

uint32_t ConnectMem(const std::string& db, uint32_t* conn, JdbcConnSettings* settings) {
  Request r;
  r.settings = settings;
  r.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  r.url = "jdbc:hsqldb:mem:" + db;
  r.user = "SA";
  return Connect(r, conn);
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
