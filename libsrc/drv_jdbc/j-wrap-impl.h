// What the JDBC method wrappers share: the owner's JNI environment, text
// mode and error list, and the conversions of arguments and results. Only
// the wrapper sources include this.
#ifndef QMR_DRV_JDBC_J_WRAP_IMPL_H
#define QMR_DRV_JDBC_J_WRAP_IMPL_H

#include <cstddef>
#include <cstdint>

#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-wrap-types.h"

namespace wrapimpl {

inline JNIEnv* Env(JdbcConn* c) { return c != nullptr ? c->jniEnv : nullptr; }
inline JNIEnv* Env(JdbcStmt* s) { return s != nullptr ? s->jniEnv : nullptr; }
inline uint32_t Utf(JdbcConn* c) { return c != nullptr ? c->utf8 : 0; }
inline uint32_t Utf(JdbcStmt* s) { return s != nullptr ? s->wide : 0; }
inline ErrorList* Errs(JdbcConn* c) { return c != nullptr ? &c->errors : nullptr; }
inline ErrorList* Errs(JdbcStmt* s) { return s != nullptr ? &s->errors : nullptr; }

// The common ending: 0 stays 0; a failure with a Java exception pending
// becomes CheckException's code (0 for a warning, which is dropped); any
// other failure keeps its code.
template <class O>
uint32_t Done(O* o, uint32_t rc) {
  if (rc == 0) return 0;
  JNIEnv* env = Env(o);
  if (env == nullptr || env->ExceptionCheck()) return CheckException(env, Utf(o), Errs(o));
  return rc;
}

// Posts "Memory allocation failure" (logged too) on the owner. 15.
template <class O>
uint32_t NoMemory(O* o) {
  errPostMsg(Errs(o), "Memory allocation failure", ERR_GENERAL);
  return ERR_GENERAL;
}
void LogNoMemory();

// A Java string from a text argument (null text: empty text). Null when it
// cannot be made; a pending exception is then posted.
template <class O>
jstring TextArg(O* o, const char* text, int64_t length = -1) {
  JNIEnv* env = Env(o);
  if (env == nullptr) return nullptr;
  if (text == nullptr) text = "";
  jstring s = length < 0 ? JC_NewString(env, text, Utf(o))
                         : JC_NewStringN(env, text, static_cast<size_t>(length), Utf(o));
  if (s == nullptr || env->ExceptionCheck()) {
    JC_DeleteLocal(env, s);
    CheckException(env, Utf(o), Errs(o));
    return nullptr;
  }
  return s;
}

// Copies a Java string into buf (at most size - 1 bytes, never a split UTF-8
// sequence, and a NUL); releases str. utf selects the text mode. 0 or
// ERR_GENERAL.
uint32_t TextInto(JNIEnv* env, jstring str, uint32_t utf, char* buf, uint32_t size,
                  uint32_t* length);
// The same into UTF-16 units (never a split surrogate pair).
uint32_t TextIntoW(JNIEnv* env, jstring str, char16_t* buf, uint32_t size, uint32_t* length);
// Long-value records; ERR_NO_MEMORY when the buffer cannot be allocated.
// Release str.
uint32_t TextLong(JNIEnv* env, jstring str, uint32_t utf, JC_LongValue* value);
uint32_t TextLongW(JNIEnv* env, jstring str, JC_LongValue* value);
// Bytes of a byte[]; releases arr.
uint32_t BytesInto(JNIEnv* env, jbyteArray arr, void* buf, uint32_t size, uint32_t* length);
uint32_t BytesLong(JNIEnv* env, jbyteArray arr, JC_LongValue* value);
// A malloc copy of the string (empty text for null); releases str. Null when
// the copy cannot be made.
char* TextDup(JNIEnv* env, jstring str, uint32_t utf);
// TextDup into *out (dropped when out is null). 0, or ERR_NO_MEMORY after
// logging when the copy cannot be made.
uint32_t TextOut(JNIEnv* env, jstring str, uint32_t utf, char** out);

// Reads the java.util.Date accessors of a Date, Time or Timestamp object.
// 15 with the exception pending on failure.
uint32_t DateParts(JNIEnv* env, jobject d, JC_Date* out);
uint32_t TimeParts(JNIEnv* env, jobject t, JC_Time* out);
uint32_t TimestampParts(JNIEnv* env, jobject ts, JC_Timestamp* out);

// A new java.sql.Date, Time or Timestamp from the record; null after
// logging when the class or constructor is missing.
jobject NewSqlDate(JNIEnv* env, const JC_Timestamp* v);
jobject NewSqlTime(JNIEnv* env, const JC_Timestamp* v);
jobject NewSqlTimestamp(JNIEnv* env, const JC_Timestamp* v);

// A java.time LocalDate, LocalTime or LocalDateTime (by the JDBC type 91,
// 92 or 93) of the record's fields: no zone and no calendar but ISO's.
// Null with the exception pending when the VM has no such factory or
// refuses the fields.
jobject NewLocalDateTime(JNIEnv* env, const JC_Timestamp* v, int32_t jdbcType);

// Resolves the shared getter shapes for CallableStatement and ResultSet.
template <class Getter>
uint32_t GetObjectThen(JdbcStmt* s, jobject obj, const char* name, const char* sig, int32_t index,
                       Getter then) {
  JNIEnv* env = Env(s);
  jobject value = nullptr;
  uint32_t rc = JC_CallObjectMethod(env, obj, nullptr, name, sig, &value, index);
  if (rc != 0) return Done(s, rc);
  rc = then(env, value);
  if (rc == ERR_NO_MEMORY) {
    LogNoMemory();
    return NoMemory(s);
  }
  return Done(s, rc);
}

}  // namespace wrapimpl

#endif
