// Wrappers of java.sql.Connection.
#include "drv_jdbc/j-wrap-conn.h"

#include <cstdlib>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-wrap-impl.h"
#include "util/log.h"

using namespace wrapimpl;

namespace Connection {

namespace {

// Replaces the statement's Java statement by a global reference to obj.
void KeepStatement(JdbcStmt* s, jobject obj) {
  JNIEnv* env = Env(s);
  {
    plat::Guard<plat::Mutex> g(AGT_StatementRefLock());
    s->statement.Replace(env, obj);
  }
  JC_DeleteLocal(env, obj);
}

uint32_t MakeStatement(JdbcStmt* s, jobject conn, const char* name, const char* sig,
                       const char* sql) {
  if (s == nullptr) return ERR_GENERAL;
  JNIEnv* env = Env(s);
  jstring text = TextArg(s, sql);
  if (text == nullptr) return ERR_GENERAL;
  jobject obj = nullptr;
  uint32_t rc = JC_CallObjectMethod(env, conn, nullptr, name, sig, &obj, text);
  JC_DeleteLocal(env, text);
  if (rc != 0) return Done(s, rc);
  KeepStatement(s, obj);
  return 0;
}

}  // namespace

uint32_t getMetaData(JdbcConn* c, jobject conn, jobject* md) {
  return Done(c, JC_CallObjectMethod(Env(c), conn, nullptr, "getMetaData",
                                     "()Ljava/sql/DatabaseMetaData;", md));
}

uint32_t getAutoCommit(JdbcConn* c, jobject conn, uint8_t* on) {
  return Done(c, JC_CallBooleanMethod(Env(c), conn, nullptr, "getAutoCommit", "()Z", on));
}

uint32_t isReadOnly(JdbcConn* c, jobject conn, uint8_t* on) {
  return Done(c, JC_CallBooleanMethod(Env(c), conn, nullptr, "isReadOnly", "()Z", on));
}

uint32_t isClosed(JdbcConn* c, jobject conn, uint8_t* closed) {
  return Done(c, JC_CallBooleanMethod(Env(c), conn, nullptr, "isClosed", "()Z", closed));
}

uint32_t getTransactionIsolation(JdbcConn* c, jobject conn, int32_t* level) {
  return Done(c, JC_CallIntMethod(Env(c), conn, nullptr, "getTransactionIsolation", "()I", level));
}

uint32_t getCatalog(JdbcConn* c, jobject conn, char* buf, uint32_t size) {
  jobject str = nullptr;
  uint32_t rc =
      JC_CallObjectMethod(Env(c), conn, nullptr, "getCatalog", "()Ljava/lang/String;", &str);
  if (rc != 0) return Done(c, rc);
  return Done(c, TextInto(Env(c), static_cast<jstring>(str), Utf(c), buf, size, nullptr));
}

uint32_t createStatement(JdbcConn* c, jobject conn, jobject* stmt) {
  return Done(c, JC_CallObjectMethod(Env(c), conn, nullptr, "createStatement",
                                     "()Ljava/sql/Statement;", stmt));
}

uint32_t createStatement(JdbcStmt* s, jobject conn) {
  if (s == nullptr) return ERR_GENERAL;
  jobject obj = nullptr;
  uint32_t rc =
      JC_CallObjectMethod(Env(s), conn, nullptr, "createStatement", "()Ljava/sql/Statement;", &obj);
  if (rc != 0) return Done(s, rc);
  KeepStatement(s, obj);
  return 0;
}

uint32_t prepareStatement(JdbcStmt* s, jobject conn, const char* sql) {
  return MakeStatement(s, conn, "prepareStatement",
                       "(Ljava/lang/String;)Ljava/sql/PreparedStatement;", sql);
}

uint32_t prepareAndClose(JdbcConn* c, jobject conn, const char* sql) {
  JNIEnv* env = Env(c);
  jstring text = TextArg(c, sql);
  if (text == nullptr) return ERR_GENERAL;
  jobject obj = nullptr;
  uint32_t rc = JC_CallObjectMethod(env, conn, nullptr, "prepareStatement",
                                    "(Ljava/lang/String;)Ljava/sql/PreparedStatement;", &obj, text);
  JC_DeleteLocal(env, text);
  if (rc == 0 && obj != nullptr) {
    rc = JC_CallVoidMethod(env, obj, nullptr, "close", "()V");
    JC_DeleteLocal(env, obj);
  }
  return Done(c, rc);
}

namespace {

uint32_t ReadFirstColumn(JNIEnv* env, uint32_t utf, jobject rs, std::vector<std::string>* texts) {
  for (;;) {
    uint8_t more = 0;
    if (uint32_t rc = JC_CallBooleanMethod(env, rs, nullptr, "next", "()Z", &more)) return rc;
    if (more == 0) return 0;
    jobject text = nullptr;
    if (uint32_t rc = JC_CallObjectMethod(env, rs, nullptr, "getString", "(I)Ljava/lang/String;",
                                          &text, static_cast<jint>(1)))
      return rc;
    char* copy = nullptr;
    if (uint32_t rc = TextOut(env, static_cast<jstring>(text), utf, &copy)) return rc;
    texts->emplace_back(copy);
    std::free(copy);
  }
}

}  // namespace

uint32_t queryFirstColumn(JdbcConn* c, jobject conn, const char* sql,
                          std::vector<std::string>* texts) {
  texts->clear();
  JNIEnv* env = Env(c);
  jobject stmt = nullptr;
  uint32_t rc =
      JC_CallObjectMethod(env, conn, nullptr, "createStatement", "()Ljava/sql/Statement;", &stmt);
  if (rc != 0) return Done(c, rc);
  jstring text = TextArg(c, sql);
  jobject rs = nullptr;
  rc = text == nullptr ? ERR_GENERAL
                       : JC_CallObjectMethod(env, stmt, nullptr, "executeQuery",
                                             "(Ljava/lang/String;)Ljava/sql/ResultSet;", &rs, text);
  JC_DeleteLocal(env, text);
  if (rc == 0) rc = ReadFirstColumn(env, Utf(c), rs, texts);
  JC_DeleteLocal(env, rs);
  // Closing the statement closes its result; a failure to close changes no answer.
  const uint32_t closed = JC_CallVoidMethod(env, stmt, nullptr, "close", "()V");
  JC_DeleteLocal(env, stmt);
  return Done(c, rc != 0 ? rc : closed);
}

uint32_t prepareCall(JdbcStmt* s, jobject conn, const char* sql) {
  return MakeStatement(s, conn, "prepareCall", "(Ljava/lang/String;)Ljava/sql/CallableStatement;",
                       sql);
}

uint32_t close(JdbcConn* c, jobject conn) {
  return Done(c, JC_CallVoidMethod(Env(c), conn, nullptr, "close", "()V"));
}

uint32_t commit(JdbcConn* c, jobject conn) {
  return Done(c, JC_CallVoidMethod(Env(c), conn, nullptr, "commit", "()V"));
}

uint32_t rollback(JdbcConn* c, jobject conn) {
  return Done(c, JC_CallVoidMethod(Env(c), conn, nullptr, "rollback", "()V"));
}

uint32_t setAutoCommit(JdbcConn* c, jobject conn, bool on) {
  return Done(c, JC_CallVoidMethod(Env(c), conn, nullptr, "setAutoCommit", "(Z)V",
                                   static_cast<jboolean>(on ? JNI_TRUE : JNI_FALSE)));
}

uint32_t setReadOnly(JdbcConn* c, jobject conn, bool on) {
  return Done(c, JC_CallVoidMethod(Env(c), conn, nullptr, "setReadOnly", "(Z)V",
                                   static_cast<jboolean>(on ? JNI_TRUE : JNI_FALSE)));
}

uint32_t setCatalog(JdbcConn* c, jobject conn, const char* catalog) {
  jstring text = TextArg(c, catalog);
  if (text == nullptr) return ERR_GENERAL;
  uint32_t rc =
      JC_CallVoidMethod(Env(c), conn, nullptr, "setCatalog", "(Ljava/lang/String;)V", text);
  JC_DeleteLocal(Env(c), text);
  return Done(c, rc);
}

uint32_t setTransactionIsolation(JdbcConn* c, jobject conn, int32_t level) {
  return Done(c, JC_CallVoidMethod(Env(c), conn, nullptr, "setTransactionIsolation", "(I)V",
                                   static_cast<jint>(level)));
}

uint32_t nativeSQL(JdbcConn* c, jobject conn, const char* sql, char** out) {
  if (out != nullptr) *out = nullptr;
  jstring text = TextArg(c, sql);
  if (text == nullptr) return ERR_GENERAL;
  jobject answer = nullptr;
  uint32_t rc = JC_CallObjectMethod(Env(c), conn, nullptr, "nativeSQL",
                                    "(Ljava/lang/String;)Ljava/lang/String;", &answer, text);
  JC_DeleteLocal(Env(c), text);
  if (rc != 0) return Done(c, rc);
  return TextOut(Env(c), static_cast<jstring>(answer), Utf(c), out);
}

}  // namespace Connection
