// The value getters that CallableStatement and ResultSet share: one method
// name and signature per Java type, read by parameter or column index.
#include "drv_jdbc/j-wrap-get.h"
#include "drv_jdbc/j-wrap-stmt.h"

#include "drv_jdbc/j-wrap-impl.h"

using namespace wrapimpl;

namespace ValueGetters {

namespace {

constexpr const char* kStringSig = "(I)Ljava/lang/String;";

}  // namespace

uint32_t getBoolean(JdbcStmt* s, jobject o, int32_t i, uint8_t* v) {
  return Done(s, JC_CallBooleanMethod(Env(s), o, nullptr, "getBoolean", "(I)Z", v,
                                      static_cast<jint>(i)));
}
uint32_t getByte(JdbcStmt* s, jobject o, int32_t i, int8_t* v) {
  return Done(s, JC_CallByteMethod(Env(s), o, nullptr, "getByte", "(I)B", v, static_cast<jint>(i)));
}
uint32_t getShort(JdbcStmt* s, jobject o, int32_t i, int16_t* v) {
  return Done(s, JC_CallShortMethod(Env(s), o, nullptr, "getShort", "(I)S", v,
                                    static_cast<jint>(i)));
}
uint32_t getInt(JdbcStmt* s, jobject o, int32_t i, int32_t* v) {
  return Done(s, JC_CallIntMethod(Env(s), o, nullptr, "getInt", "(I)I", v, static_cast<jint>(i)));
}
uint32_t getLong(JdbcStmt* s, jobject o, int32_t i, int64_t* v) {
  return Done(s, JC_CallLongMethod(Env(s), o, nullptr, "getLong", "(I)J", v, static_cast<jint>(i)));
}
uint32_t getFloat(JdbcStmt* s, jobject o, int32_t i, float* v) {
  return Done(s, JC_CallFloatMethod(Env(s), o, nullptr, "getFloat", "(I)F", v,
                                    static_cast<jint>(i)));
}
uint32_t getDouble(JdbcStmt* s, jobject o, int32_t i, double* v) {
  return Done(s, JC_CallDoubleMethod(Env(s), o, nullptr, "getDouble", "(I)D", v,
                                     static_cast<jint>(i)));
}

// The 8-bit getters always read the value in the system's 8-bit form.
uint32_t getString(JdbcStmt* s, jobject o, int32_t i, char* buf, uint32_t size, uint32_t* len) {
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    return TextInto(env, static_cast<jstring>(v), 0, buf, size, len);
  });
}
uint32_t getString(JdbcStmt* s, jobject o, int32_t i, char16_t* buf, uint32_t size,
                   uint32_t* len) {
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    return TextIntoW(env, static_cast<jstring>(v), buf, size, len);
  });
}
uint32_t getStringLong(JdbcStmt* s, jobject o, int32_t i, JC_LongValue* value) {
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    return TextLong(env, static_cast<jstring>(v), 0, value);
  });
}
uint32_t getStringLongW(JdbcStmt* s, jobject o, int32_t i, JC_LongValue* value) {
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    return TextLongW(env, static_cast<jstring>(v), value);
  });
}
uint32_t getBytes(JdbcStmt* s, jobject o, int32_t i, void* buf, uint32_t size, uint32_t* len) {
  return GetObjectThen(s, o, "getBytes", "(I)[B", i, [&](JNIEnv* env, jobject v) {
    return BytesInto(env, static_cast<jbyteArray>(v), buf, size, len);
  });
}
uint32_t getBytesLong(JdbcStmt* s, jobject o, int32_t i, JC_LongValue* value) {
  return GetObjectThen(s, o, "getBytes", "(I)[B", i, [&](JNIEnv* env, jobject v) {
    return BytesLong(env, static_cast<jbyteArray>(v), value);
  });
}
uint32_t getDate(JdbcStmt* s, jobject o, int32_t i, JC_Date* value) {
  return GetObjectThen(s, o, "getDate", "(I)Ljava/sql/Date;", i,
                       [&](JNIEnv* env, jobject v) { return DateParts(env, v, value); });
}
uint32_t getTime(JdbcStmt* s, jobject o, int32_t i, JC_Time* value) {
  return GetObjectThen(s, o, "getTime", "(I)Ljava/sql/Time;", i,
                       [&](JNIEnv* env, jobject v) { return TimeParts(env, v, value); });
}
uint32_t getTimestamp(JdbcStmt* s, jobject o, int32_t i, JC_Timestamp* value) {
  return GetObjectThen(s, o, "getTimestamp", "(I)Ljava/sql/Timestamp;", i,
                       [&](JNIEnv* env, jobject v) { return TimestampParts(env, v, value); });
}
uint32_t wasNull(JdbcStmt* s, jobject o, uint8_t* v) {
  return Done(s, JC_CallBooleanMethod(Env(s), o, nullptr, "wasNull", "()Z", v));
}

}  // namespace ValueGetters

namespace CallableStatement {

uint32_t registerOutParameter(JdbcStmt* s, jobject cs, int32_t index, int32_t sqlType) {
  return Done(s, JC_CallVoidMethod(Env(s), cs, nullptr, "registerOutParameter", "(II)V",
                                   static_cast<jint>(index), static_cast<jint>(sqlType)));
}

}  // namespace CallableStatement
