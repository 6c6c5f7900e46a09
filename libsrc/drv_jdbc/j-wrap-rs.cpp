// Wrappers of java.sql.ResultSet (other than the value getters) and
// ResultSetMetaData.
#include "drv_jdbc/j-wrap-rs.h"

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-wrap-impl.h"

using namespace wrapimpl;

namespace ResultSet {

uint32_t getString_5(JdbcStmt* s, jobject rs, int32_t column, char* buf, uint32_t size,
                     uint32_t* length) {
  JNIEnv* env = Env(s);
  jobject value = nullptr;
  uint32_t rc = JC_CallObjectMethod(env, rs, nullptr, "getObject", "(I)Ljava/lang/Object;", &value,
                                    static_cast<jint>(column));
  if (rc != 0) return Done(s, rc);
  if (value == nullptr) return Done(s, TextInto(env, nullptr, 0, buf, size, length));
  jclass dec = JM_SystemClass(env, "java/math/BigDecimal");
  if (dec == nullptr) {
    env->DeleteLocalRef(value);
    return Done(s, ERR_GENERAL);
  }
  bool isDecimal = env->IsInstanceOf(value, dec);
  if (!isDecimal) {
    env->DeleteLocalRef(value);
    return getString(s, rs, column, buf, size, length);
  }
  jobject text = nullptr;
  rc = JC_CallObjectMethod(env, value, nullptr, "toPlainString", "()Ljava/lang/String;", &text);
  env->DeleteLocalRef(value);
  if (rc != 0) return Done(s, rc);
  return Done(s, TextInto(env, static_cast<jstring>(text), 0, buf, size, length));
}

uint32_t getMetaData(JdbcStmt* s, jobject rs, jobject* md) {
  return Done(s, JC_CallObjectMethod(Env(s), rs, nullptr, "getMetaData",
                                     "()Ljava/sql/ResultSetMetaData;", md));
}

uint32_t close(JdbcStmt* s, jobject rs) { return Done(s, JM_CallVoid(Env(s), rs, JM_RsClose)); }

uint32_t next(JdbcStmt* s, jobject rs, uint8_t* more) {
  return Done(s, JC_CallBooleanMethod(Env(s), rs, nullptr, "next", "()Z", more));
}

}  // namespace ResultSet

namespace ResultSetMetaData {

namespace {

uint32_t IntOf(JdbcStmt* s, jobject md, const char* name, int32_t column, int32_t* out) {
  return Done(s,
              JC_CallIntMethod(Env(s), md, nullptr, name, "(I)I", out, static_cast<jint>(column)));
}

uint32_t BoolOf(JdbcStmt* s, jobject md, const char* name, int32_t column, uint8_t* out) {
  return Done(
      s, JC_CallBooleanMethod(Env(s), md, nullptr, name, "(I)Z", out, static_cast<jint>(column)));
}

uint32_t TextOf(JdbcStmt* s, jobject md, const char* name, int32_t column, char** out) {
  if (out != nullptr) *out = nullptr;
  jobject str = nullptr;
  uint32_t rc = JC_CallObjectMethod(Env(s), md, nullptr, name, "(I)Ljava/lang/String;", &str,
                                    static_cast<jint>(column));
  if (rc != 0) return Done(s, rc);
  return TextOut(Env(s), static_cast<jstring>(str), Utf(s), out);
}

}  // namespace

uint32_t getColumnCount(JdbcStmt* s, jobject md, int32_t* count) {
  return Done(s, JC_CallIntMethod(Env(s), md, nullptr, "getColumnCount", "()I", count));
}
uint32_t getColumnDisplaySize(JdbcStmt* s, jobject md, int32_t column, int32_t* size) {
  return IntOf(s, md, "getColumnDisplaySize", column, size);
}
uint32_t getColumnType(JdbcStmt* s, jobject md, int32_t column, int32_t* type) {
  return IntOf(s, md, "getColumnType", column, type);
}
uint32_t getPrecision(JdbcStmt* s, jobject md, int32_t column, int32_t* precision) {
  return IntOf(s, md, "getPrecision", column, precision);
}
uint32_t getScale(JdbcStmt* s, jobject md, int32_t column, int32_t* scale) {
  return IntOf(s, md, "getScale", column, scale);
}
uint32_t isNullable(JdbcStmt* s, jobject md, int32_t column, int32_t* nullable) {
  return IntOf(s, md, "isNullable", column, nullable);
}
uint32_t isCaseSensitive(JdbcStmt* s, jobject md, int32_t column, uint8_t* value) {
  return BoolOf(s, md, "isCaseSensitive", column, value);
}
uint32_t isAutoIncrement(JdbcStmt* s, jobject md, int32_t column, uint8_t* value) {
  return BoolOf(s, md, "isAutoIncrement", column, value);
}
uint32_t isSearchable(JdbcStmt* s, jobject md, int32_t column, uint8_t* value) {
  return BoolOf(s, md, "isSearchable", column, value);
}
uint32_t isReadOnly(JdbcStmt* s, jobject md, int32_t column, uint8_t* value) {
  return BoolOf(s, md, "isReadOnly", column, value);
}
uint32_t isWritable(JdbcStmt* s, jobject md, int32_t column, uint8_t* value) {
  return BoolOf(s, md, "isWritable", column, value);
}

uint32_t getColumnLabel(JdbcStmt* s, jobject md, int32_t column, char* name) {
  jobject str = nullptr;
  uint32_t rc = JC_CallObjectMethod(Env(s), md, nullptr, "getColumnLabel", "(I)Ljava/lang/String;",
                                    &str, static_cast<jint>(column));
  if (rc != 0) {
    if (name != nullptr) name[0] = '\0';
    return Done(s, rc);
  }
  return Done(s, TextInto(Env(s), static_cast<jstring>(str), Utf(s), name,
                          static_cast<uint32_t>(COLDESC_NAME_CHARS + 1), nullptr));
}

uint32_t getColumnLabel(JdbcStmt* s, jobject md, int32_t column, char** label) {
  return TextOf(s, md, "getColumnLabel", column, label);
}

uint32_t getColumnName(JdbcStmt* s, jobject md, int32_t column, char** name) {
  return TextOf(s, md, "getColumnName", column, name);
}

uint32_t getColumnTypeName(JdbcStmt* s, jobject md, int32_t column, char** name) {
  return TextOf(s, md, "getColumnTypeName", column, name);
}

uint32_t getTableName(JdbcStmt* s, jobject md, int32_t column, char** name) {
  return TextOf(s, md, "getTableName", column, name);
}

uint32_t getSchemaName(JdbcStmt* s, jobject md, int32_t column, char** name) {
  return TextOf(s, md, "getSchemaName", column, name);
}

}  // namespace ResultSetMetaData
