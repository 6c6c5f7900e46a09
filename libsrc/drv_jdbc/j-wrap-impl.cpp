// Conversions shared by the JDBC method wrappers.
#include "drv_jdbc/j-wrap-impl.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-sqltypes.h"
#include "util/errcodes.h"
#include "util/log.h"
#include "util/textconv.h"

namespace wrapimpl {

namespace {

void FreeLong(JC_LongValue* value) {
  std::free(value->value);
  value->value = nullptr;
  value->length = 0;
}

}  // namespace

void LogNoMemory() {
  log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "Memory allocation failure");
}

uint32_t TextInto(JNIEnv* env, jstring str, uint32_t utf, char* buf, uint32_t size,
                  uint32_t* length) {
  if (length != nullptr) *length = 0;
  if (buf != nullptr && size > 0) buf[0] = '\0';
  if (str == nullptr) return 0;
  JC_JavaText t;
  if (JC_GetText(env, str, &t, utf) != 0) {
    JC_DeleteLocal(env, str);
    return ERR_GENERAL;
  }
  uint32_t n = 0;
  if (buf != nullptr && size > 0) {
    n = static_cast<uint32_t>(utf8_prefix_len(t.chars, t.length, size - 1));
    if (n != 0) std::memcpy(buf, t.chars, n);
    buf[n] = '\0';
  }
  if (length != nullptr) *length = n;
  JC_ReleaseText(env, &t);
  JC_DeleteLocal(env, str);
  return 0;
}

uint32_t TextIntoW(JNIEnv* env, jstring str, char16_t* buf, uint32_t size, uint32_t* length) {
  if (length != nullptr) *length = 0;
  if (buf != nullptr && size > 0) buf[0] = 0;
  if (str == nullptr) return 0;
  auto total = static_cast<uint32_t>(env->GetStringLength(str));
  uint32_t n = 0;
  if (buf != nullptr && size > 0) {
    n = total < size - 1 ? total : size - 1;
    if (n != 0) {
      env->GetStringRegion(str, 0, static_cast<jsize>(n), reinterpret_cast<jchar*>(buf));
      // Never keep half of a surrogate pair.
      if (n < total && buf[n - 1] >= 0xD800 && buf[n - 1] <= 0xDBFF) --n;
    }
    buf[n] = 0;
  }
  if (length != nullptr) *length = n;
  JC_DeleteLocal(env, str);
  return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

uint32_t TextLong(JNIEnv* env, jstring str, uint32_t utf, JC_LongValue* value) {
  FreeLong(value);
  if (str == nullptr) return 0;
  JC_JavaText t;
  if (JC_GetText(env, str, &t, utf) != 0) {
    JC_DeleteLocal(env, str);
    return ERR_GENERAL;
  }
  char* buf = static_cast<char*>(std::calloc(t.length + 1, 1));
  uint32_t rc = 0;
  if (buf == nullptr) {
    rc = ERR_NO_MEMORY;
  } else {
    if (t.length != 0) std::memcpy(buf, t.chars, t.length);
    value->value = buf;
    value->length = t.length;
  }
  JC_ReleaseText(env, &t);
  JC_DeleteLocal(env, str);
  return rc;
}

uint32_t TextLongW(JNIEnv* env, jstring str, JC_LongValue* value) {
  FreeLong(value);
  if (str == nullptr) return 0;
  auto n = static_cast<uint32_t>(env->GetStringLength(str));
  auto* buf = static_cast<char16_t*>(std::calloc(static_cast<size_t>(n) + 1, sizeof(char16_t)));
  if (buf == nullptr) {
    JC_DeleteLocal(env, str);
    return ERR_NO_MEMORY;
  }
  if (n != 0) env->GetStringRegion(str, 0, static_cast<jsize>(n), reinterpret_cast<jchar*>(buf));
  value->value = buf;
  value->length = n;
  JC_DeleteLocal(env, str);
  return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

uint32_t BytesInto(JNIEnv* env, jbyteArray arr, void* buf, uint32_t size, uint32_t* length) {
  uint32_t n = 0;
  if (arr != nullptr) {
    auto total = static_cast<uint32_t>(env->GetArrayLength(arr));
    n = total < size ? total : size;
    if (n != 0 && buf != nullptr)
      env->GetByteArrayRegion(arr, 0, static_cast<jsize>(n), static_cast<jbyte*>(buf));
    JC_DeleteLocal(env, arr);
  }
  if (buf != nullptr && size > n) std::memset(static_cast<char*>(buf) + n, 0, size - n);
  if (length != nullptr) *length = n;
  return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

uint32_t BytesLong(JNIEnv* env, jbyteArray arr, JC_LongValue* value) {
  FreeLong(value);
  if (arr == nullptr) return 0;
  auto n = static_cast<uint32_t>(env->GetArrayLength(arr));
  void* buf = std::calloc(n != 0 ? n : 1, 1);
  if (buf == nullptr) {
    JC_DeleteLocal(env, arr);
    return ERR_NO_MEMORY;
  }
  if (n != 0) env->GetByteArrayRegion(arr, 0, static_cast<jsize>(n), static_cast<jbyte*>(buf));
  value->value = buf;
  value->length = n;
  JC_DeleteLocal(env, arr);
  return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

char* TextDup(JNIEnv* env, jstring str, uint32_t utf) {
  if (str == nullptr) return static_cast<char*>(std::calloc(1, 1));
  char* copy = JC_GetTextCopy(env, str, utf);
  JC_DeleteLocal(env, str);
  return copy;
}

uint32_t TextOut(JNIEnv* env, jstring str, uint32_t utf, char** out) {
  char* copy = TextDup(env, str, utf);
  if (copy == nullptr) {
    LogNoMemory();
    return ERR_NO_MEMORY;
  }
  if (out != nullptr)
    *out = copy;
  else
    std::free(copy);
  return 0;
}

namespace {

uint32_t Ints(JNIEnv* env, jobject obj, const char* const* names, int32_t* out, int n) {
  for (int i = 0; i < n; ++i) {
    uint32_t rc = JC_CallIntMethod(env, obj, nullptr, names[i], "()I", &out[i]);
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace

uint32_t DateParts(JNIEnv* env, jobject d, JC_Date* out) {
  *out = JC_Date{0, 0, 0};
  if (d == nullptr) return 0;
  static const char* const kNames[] = {"getYear", "getMonth", "getDate"};
  int32_t v[3];
  uint32_t rc = Ints(env, d, kNames, v, 3);
  JC_DeleteLocal(env, d);
  if (rc != 0) return rc;
  *out = JC_Date{static_cast<int16_t>(v[0] + 1900), static_cast<uint16_t>(v[1] + 1),
                 static_cast<uint16_t>(v[2])};
  return 0;
}

uint32_t TimeParts(JNIEnv* env, jobject t, JC_Time* out) {
  *out = JC_Time{0, 0, 0, 0, 0};
  if (t == nullptr) return 0;
  static const char* const kNames[] = {"getHours", "getMinutes", "getSeconds"};
  int32_t v[3];
  uint32_t rc = Ints(env, t, kNames, v, 3);
  JC_DeleteLocal(env, t);
  if (rc != 0) return rc;
  *out = JC_Time{static_cast<uint16_t>(v[0]), static_cast<uint16_t>(v[1]),
                 static_cast<uint16_t>(v[2]), 0, 0};
  return 0;
}

uint32_t TimestampParts(JNIEnv* env, jobject ts, JC_Timestamp* out) {
  *out = JC_Timestamp{0, 0, 0, 0, 0, 0, 0};
  if (ts == nullptr) return 0;
  static const char* const kNames[] = {"getYear",    "getMonth",   "getDate", "getHours",
                                       "getMinutes", "getSeconds", "getNanos"};
  int32_t v[7];
  uint32_t rc = Ints(env, ts, kNames, v, 7);
  JC_DeleteLocal(env, ts);
  if (rc != 0) return rc;
  *out = JC_Timestamp{static_cast<int16_t>(v[0] + 1900), static_cast<uint16_t>(v[1] + 1),
                      static_cast<uint16_t>(v[2]),       static_cast<uint16_t>(v[3]),
                      static_cast<uint16_t>(v[4]),       static_cast<uint16_t>(v[5]),
                      static_cast<uint32_t>(v[6])};
  return 0;
}

namespace {

// Finds the class and constructor (logging what is missing), then builds.
jobject Construct(JNIEnv* env, const char* cls, const char* label, const char* sig, ...) {
  if (env == nullptr) return nullptr;
  jclass c = JM_SystemClass(env, cls);
  if (c == nullptr) {
    env->ExceptionClear();
    log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "Can't find %s class", label);
    return nullptr;
  }
  jmethodID ctor = JM_MethodOf(env, nullptr, c, "<init>", sig);
  if (ctor == nullptr) {
    env->ExceptionClear();
    log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "Can't find <init> class in %s class", label);
    return nullptr;
  }
  va_list ap;
  va_start(ap, sig);
  jobject obj = env->NewObjectV(c, ctor, ap);
  va_end(ap);
  return obj;
}

}  // namespace

jobject NewSqlDate(JNIEnv* env, const JC_Timestamp* v) {
  return Construct(env, "java/sql/Date", "Date", "(III)V", static_cast<jint>(v->year - 1900),
                   static_cast<jint>(v->month - 1), static_cast<jint>(v->day));
}

jobject NewSqlTime(JNIEnv* env, const JC_Timestamp* v) {
  return Construct(env, "java/sql/Time", "Time", "(III)V", static_cast<jint>(v->hour),
                   static_cast<jint>(v->minute), static_cast<jint>(v->second));
}

jobject NewSqlTimestamp(JNIEnv* env, const JC_Timestamp* v) {
  return Construct(
      env, "java/sql/Timestamp", "Timestamp", "(IIIIIII)V", static_cast<jint>(v->year - 1900),
      static_cast<jint>(v->month - 1), static_cast<jint>(v->day), static_cast<jint>(v->hour),
      static_cast<jint>(v->minute), static_cast<jint>(v->second), static_cast<jint>(v->fraction));
}

namespace {

// One java.time factory: its class (kept for the life of the VM by
// JM_SystemClass) and static method, looked up once.
struct TimeFactory {
  jclass cls = nullptr;
  jmethodID of = nullptr;
};

TimeFactory FindFactory(JNIEnv* env, const char* cls, const char* sig) {
  TimeFactory f;
  f.cls = JM_SystemClass(env, cls);
  if (f.cls != nullptr) f.of = env->GetStaticMethodID(f.cls, "of", sig);
  return f;
}

const TimeFactory& LocalFactory(JNIEnv* env, int32_t jdbcType) {
  static const TimeFactory date =
      FindFactory(env, "java/time/LocalDate", "(III)Ljava/time/LocalDate;");
  static const TimeFactory time =
      FindFactory(env, "java/time/LocalTime", "(IIII)Ljava/time/LocalTime;");
  static const TimeFactory stamp =
      FindFactory(env, "java/time/LocalDateTime", "(IIIIIII)Ljava/time/LocalDateTime;");
  return jdbcType == JDBC_DATE ? date : jdbcType == JDBC_TIME ? time : stamp;
}

}  // namespace

jobject NewLocalDateTime(JNIEnv* env, const JC_Timestamp* v, int32_t jdbcType) {
  if (env == nullptr || v == nullptr) return nullptr;
  const TimeFactory& f = LocalFactory(env, jdbcType);
  if (f.of == nullptr) return nullptr;
  const auto y = static_cast<jint>(v->year), mo = static_cast<jint>(v->month),
             d = static_cast<jint>(v->day), h = static_cast<jint>(v->hour),
             mi = static_cast<jint>(v->minute), s = static_cast<jint>(v->second),
             n = static_cast<jint>(v->fraction);
  jobject value = jdbcType == JDBC_DATE ? env->CallStaticObjectMethod(f.cls, f.of, y, mo, d)
                  : jdbcType == JDBC_TIME
                      ? env->CallStaticObjectMethod(f.cls, f.of, h, mi, s, n)
                      : env->CallStaticObjectMethod(f.cls, f.of, y, mo, d, h, mi, s, n);
  if (env->ExceptionCheck()) {
    JC_DeleteLocal(env, value);
    return nullptr;
  }
  return value;
}

}  // namespace wrapimpl
