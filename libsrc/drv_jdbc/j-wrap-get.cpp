// The value getters that CallableStatement and ResultSet share: one method
// name and signature per Java type, read by parameter or column index.
#include "drv_jdbc/j-wrap-get.h"

#include <algorithm>
#include <cstring>

#include "drv_jdbc/j-wrap-stmt.h"

#include "drv_jdbc/j-datetime.h"
#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-wrap-impl.h"
#include "util/sqllex.h"

using namespace wrapimpl;

namespace ValueGetters {

namespace {

constexpr const char* kStringSig = "(I)Ljava/lang/String;";

// Output parameter i's getString, which a JDBC driver may refuse for the
// type the parameter was registered with: false then, the refusal cleared
// and nothing posted, and the statement asks no more.
bool OutString(JdbcStmt* s, jobject o, int32_t i, jobject* str) {
  *str = nullptr;
  if ((s->outDateTimeRefused & JdbcStmt::kOutNoText) != 0) return false;
  JNIEnv* env = Env(s);
  if (JC_CallObjectMethod(env, o, nullptr, "getString", kStringSig, str, static_cast<jint>(i)) == 0)
    return true;
  env->ExceptionClear();
  s->outDateTimeRefused |= JdbcStmt::kOutNoText;
  return false;
}

}  // namespace

uint32_t getBoolean(JdbcStmt* s, jobject o, int32_t i, uint8_t* v) {
  return Done(
      s, JC_CallBooleanMethod(Env(s), o, nullptr, "getBoolean", "(I)Z", v, static_cast<jint>(i)));
}
uint32_t getByte(JdbcStmt* s, jobject o, int32_t i, int8_t* v) {
  return Done(s, JC_CallByteMethod(Env(s), o, nullptr, "getByte", "(I)B", v, static_cast<jint>(i)));
}
uint32_t getShort(JdbcStmt* s, jobject o, int32_t i, int16_t* v) {
  return Done(s,
              JC_CallShortMethod(Env(s), o, nullptr, "getShort", "(I)S", v, static_cast<jint>(i)));
}
uint32_t getInt(JdbcStmt* s, jobject o, int32_t i, int32_t* v) {
  return Done(s, JC_CallIntMethod(Env(s), o, nullptr, "getInt", "(I)I", v, static_cast<jint>(i)));
}
uint32_t getLong(JdbcStmt* s, jobject o, int32_t i, int64_t* v) {
  return Done(s, JC_CallLongMethod(Env(s), o, nullptr, "getLong", "(I)J", v, static_cast<jint>(i)));
}
uint32_t getFloat(JdbcStmt* s, jobject o, int32_t i, float* v) {
  return Done(s,
              JC_CallFloatMethod(Env(s), o, nullptr, "getFloat", "(I)F", v, static_cast<jint>(i)));
}
uint32_t getDouble(JdbcStmt* s, jobject o, int32_t i, double* v) {
  return Done(
      s, JC_CallDoubleMethod(Env(s), o, nullptr, "getDouble", "(I)D", v, static_cast<jint>(i)));
}

// The 8-bit getters always read the value in the system's 8-bit form.
uint32_t getString(JdbcStmt* s, jobject o, int32_t i, char* buf, uint32_t size, uint32_t* len) {
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    return TextInto(env, static_cast<jstring>(v), 0, buf, size, len);
  });
}
uint32_t getString(JdbcStmt* s, jobject o, int32_t i, char16_t* buf, uint32_t size, uint32_t* len) {
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    return TextIntoW(env, static_cast<jstring>(v), buf, size, len);
  });
}
uint32_t getCountedString(JdbcStmt* s, jobject o, int32_t i, char* buf, uint32_t room,
                          uint32_t* whole) {
  *whole = 0;
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    if (v == nullptr) return 0u;
    JC_JavaText t;
    const uint32_t rc = JC_GetText(env, static_cast<jstring>(v), &t, 0);
    if (rc == 0) {
      *whole = t.length;
      if (const uint32_t n = std::min(t.length, room)) std::memcpy(buf, t.chars, n);
      JC_ReleaseText(env, &t);
    }
    JC_DeleteLocal(env, v);
    return rc != 0 ? ERR_GENERAL : 0u;
  });
}
uint32_t getCountedString(JdbcStmt* s, jobject o, int32_t i, char16_t* buf, uint32_t room,
                          uint32_t* whole) {
  *whole = 0;
  return GetObjectThen(s, o, "getString", kStringSig, i, [&](JNIEnv* env, jobject v) {
    if (v == nullptr) return 0u;
    const auto str = static_cast<jstring>(v);
    *whole = static_cast<uint32_t>(env->GetStringLength(str));
    if (const uint32_t n = std::min(*whole, room))
      env->GetStringRegion(str, 0, static_cast<jsize>(n), reinterpret_cast<jchar*>(buf));
    JC_DeleteLocal(env, v);
    return env->ExceptionCheck() ? ERR_GENERAL : 0u;
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
namespace {

// Value i as the database's text, parsed; false when there is none to parse
// (the value is null then when *rc is 0 and *isNull is set), or when the
// JDBC driver refuses an output parameter's text.
bool ReadText(JdbcStmt* s, jobject o, int32_t i, jdt::Kind kind, JC_Timestamp* v, uint32_t* rc,
              bool* isNull, bool output) {
  char text[80];
  uint32_t len = 0;
  if (!output) {
    *rc = getString(s, o, i, text, sizeof text, &len);
  } else {
    jobject str = nullptr;
    if (!OutString(s, o, i, &str)) return false;
    *rc = Done(s, TextInto(Env(s), static_cast<jstring>(str), 0, text, sizeof text, &len));
  }
  *isNull = *rc == 0 && len == 0;
  if (*rc != 0 || len == 0) return *rc != 0 || *isNull;
  return jdt::ParseText(text, len, kind, v);
}

// A date, time or timestamp as the database holds it: the fields of its
// java.time value while the JDBC driver gives one, else of its text. False
// where neither answers (the value is then for the java.sql getter). A
// value with an offset (refused as java.time) has it in v->zone.
bool ReadFields(JdbcStmt* s, jobject o, int32_t i, jdt::Kind kind, JC_Timestamp* v, uint32_t* rc) {
  *v = JC_Timestamp{0, 0, 0, 0, 0, 0, 0};
  JNIEnv* env = Env(s);
  bool isNull = false;
  // Anything but the current result set is the CallableStatement, whose
  // refusals are its own: a driver may take java.time for rows and not for
  // parameters.
  const bool output = s->resultSet == nullptr || !env->IsSameObject(o, s->resultSet);
  const bool fieldsRefused =
      output ? (s->outDateTimeRefused & JdbcStmt::kOutNoFields) != 0 : s->dateTimeAsText != 0;
  if (!fieldsRefused) {
    jclass cls = JM_SystemClass(env, jdt::LocalClass(kind));
    jobject value = nullptr;
    if (cls != nullptr &&
        JC_CallObjectMethod(env, o, nullptr, "getObject", "(ILjava/lang/Class;)Ljava/lang/Object;",
                            &value, static_cast<jint>(i), cls) == 0) {
      *rc = 0;
      if (value == nullptr) return true;
      bool endOfDay = false;
      // PostgreSQL writes a year before 1 with its era, the others signed.
      const bool signedYears = s->conn != nullptr && (s->conn->sqlForms & SQLLEX_POSTGRESQL) == 0;
      *rc = Done(s, jdt::LocalFields(env, value, kind, v, &endOfDay, signedYears));
      // LocalTime.MAX may be 24:00:00: the text says which.
      if (*rc != 0 || !endOfDay) return true;
      JC_Timestamp t{};
      if (ReadText(s, o, i, kind, &t, rc, &isNull, output) && *rc == 0 && !isNull) *v = t;
      return true;
    }
    env->ExceptionClear();
    // Refused (Derby's driver, a zoned type): the text from now on.
    if (output)
      s->outDateTimeRefused |= JdbcStmt::kOutNoFields;
    else
      s->dateTimeAsText = 1;
  }
  return ReadText(s, o, i, kind, v, rc, &isNull, output);
}

}  // namespace

uint32_t getDate(JdbcStmt* s, jobject o, int32_t i, JC_Date* value) {
  JC_Timestamp v;
  uint32_t rc = 0;
  if (ReadFields(s, o, i, jdt::kDate, &v, &rc)) {
    *value = JC_Date{v.year, v.month, v.day};
    return rc;
  }
  return GetObjectThen(s, o, "getDate", "(I)Ljava/sql/Date;", i,
                       [&](JNIEnv* env, jobject d) { return DateParts(env, d, value); });
}
uint32_t getTime(JdbcStmt* s, jobject o, int32_t i, JC_Time* value) {
  JC_Timestamp v;
  uint32_t rc = 0;
  if (ReadFields(s, o, i, jdt::kTime, &v, &rc)) {
    *value = JC_Time{v.hour, v.minute, v.second, 0, v.fraction, v.zone};
    return rc;
  }
  return GetObjectThen(s, o, "getTime", "(I)Ljava/sql/Time;", i,
                       [&](JNIEnv* env, jobject t) { return TimeParts(env, t, value); });
}
uint32_t getTimestamp(JdbcStmt* s, jobject o, int32_t i, JC_Timestamp* value) {
  uint32_t rc = 0;
  if (ReadFields(s, o, i, jdt::kTimestamp, value, &rc)) return rc;
  return GetObjectThen(s, o, "getTimestamp", "(I)Ljava/sql/Timestamp;", i,
                       [&](JNIEnv* env, jobject t) { return TimestampParts(env, t, value); });
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

uint32_t getOwnTextLong(JdbcStmt* s, jobject cs, int32_t index, bool wide, JC_LongValue* value,
                        bool* refused) {
  jobject str = nullptr;
  *refused = !OutString(s, cs, index, &str);
  if (*refused) return 0;
  JNIEnv* env = Env(s);
  const auto text = static_cast<jstring>(str);
  const uint32_t rc = wide ? TextLongW(env, text, value) : TextLong(env, text, 0, value);
  if (rc == ERR_NO_MEMORY) {
    LogNoMemory();
    return NoMemory(s);
  }
  return Done(s, rc);
}

}  // namespace CallableStatement
