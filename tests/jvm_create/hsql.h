// A JDBC connection to HSQLDB in memory opened directly through the
// wrappers' JNI layer, and the agent records the wrappers work for.
#ifndef QMR_TESTS_JVM_CREATE_HSQL_H
#define QMR_TESTS_JVM_CREATE_HSQL_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-start.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"

// The VM options every test VM runs with; set before the first DRV_Init.
inline void SetTestVmEnvironment() {
  setenv("LANG", "C.UTF-8", 1);
  setenv("QMR_JVM_OPTS",
         "-Djava.class.path=/usr/share/java/hsqldb.jar -Duser.timezone=UTC -Xcheck:jni", 0);
}

// Creates (or joins) the VM through the agent and opens one HSQLDB
// connection per test on a fresh in-memory database.
class Hsql : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTestVmEnvironment();
    ASSERT_EQ(0u, DRV_Init(nullptr, &envH));
    env = attachJVM();
    ASSERT_NE(nullptr, env);
    frame = env->PushLocalFrame(256) == 0;
    conn.jniEnv = env;
    conn.utf8 = 1;
    conn.streamParams = 1;
    conn.classLoader = AGT_Env(envH)->classLoader;
    stmt.conn = &conn;
    stmt.jniEnv = env;
    stmt.wide = 1;
    jobject driver = JC_NewObject(env, "org/hsqldb/jdbc/JDBCDriver", "()V");
    ASSERT_NE(nullptr, driver) << "hsqldb.jar not on the class path";
    jobject props = JC_NewObject(env, "java/util/Properties", "()V");
    ASSERT_NE(nullptr, props);
    jstring key = env->NewStringUTF("user");
    jstring val = env->NewStringUTF("SA");
    jobject old = nullptr;
    ASSERT_EQ(0u, JC_CallObjectMethod(env, props, nullptr, "setProperty",
                                      "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/Object;",
                                      &old, key, val));
    std::string url = "jdbc:hsqldb:mem:" +
                      std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    jstring jurl = env->NewStringUTF(url.c_str());
    jobject c = nullptr;
    ASSERT_EQ(0u,
              JC_CallObjectMethod(env, driver, nullptr, "connect",
                                  "(Ljava/lang/String;Ljava/util/Properties;)Ljava/sql/Connection;",
                                  &c, jurl, props));
    ASSERT_NE(nullptr, c);
    conn.connection = env->NewGlobalRef(c);
  }

  void TearDown() override {
    if (env != nullptr) {
      if (stmt.statement != nullptr) {
        Statement::close(&stmt, stmt.statement);
        env->DeleteGlobalRef(stmt.statement);
      }
      if (conn.connection != nullptr) {
        Exec("SHUTDOWN");
        Connection::close(&conn, conn.connection);
        env->DeleteGlobalRef(conn.connection);
      }
      if (frame) env->PopLocalFrame(nullptr);
    }
    errClear(&conn.errors);
    errClear(&stmt.errors);
    if (envH != 0) {
      EXPECT_EQ(0u, DRV_Term(envH));
    }
  }

  // Runs SQL on a fresh Statement of the connection; the wrapper's code.
  uint32_t Exec(const char* sql) {
    jobject st = nullptr;
    uint32_t rc = Connection::createStatement(&conn, conn.connection, &st);
    if (rc != 0) return rc;
    uint8_t isRs = 0;
    rc = Statement::execute(&conn, st, sql, &isRs);
    Statement::close(&conn, st);
    env->DeleteLocalRef(st);
    return rc;
  }

  // Runs a query on stmt and positions its result on the first row.
  jobject Query(const char* sql) {
    EXPECT_EQ(0u, Connection::createStatement(&stmt, conn.connection));
    uint8_t isRs = 0;
    EXPECT_EQ(0u, Statement::execute(&stmt, stmt.statement, sql, &isRs));
    EXPECT_EQ(1, isRs);
    jobject rs = nullptr;
    EXPECT_EQ(0u, Statement::getResultSet(&stmt, stmt.statement, &rs));
    uint8_t more = 0;
    EXPECT_EQ(0u, ResultSet::next(&stmt, rs, &more));
    EXPECT_EQ(1, more);
    return rs;
  }

  // The first diagnostic of a list as "state|native|message".
  static std::string First(const ErrorList& l) {
    if (l.head == nullptr) return "";
    return std::string(l.head->state) + "|" + std::to_string(l.head->native) + "|" +
           l.head->message;
  }

  uint32_t envH = 0;
  JNIEnv* env = nullptr;
  bool frame = false;
  JdbcConn conn;
  JdbcStmt stmt;
};

#endif
