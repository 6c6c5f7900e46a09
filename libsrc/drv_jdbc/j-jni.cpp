// The JNI call layer.
#include "drv_jdbc/j-jni.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_jdbc/j-methods.h"
#include "util/errcodes.h"
#include "util/log.h"
#include "util/textconv.h"

bool gLogJavaCalls = false;

namespace {

// Text in byte mode is the system's 8-bit character set, which is UTF-8 on
// this platform; naming it keeps the result independent of the VM's locale.
constexpr const char* kCharset = "UTF-8";

jstring Charset(JNIEnv* env) { return env->NewStringUTF(kCharset); }

// The form the JNI UTF functions take: a character outside the basic plane
// as its surrogate pair, each half its own 3-byte sequence; U+0000 as C0 80;
// an ill-formed sequence (which the VM would read its own loose way) as
// U+FFFD. The driver's text may already hold the modified forms.
std::string ToModifiedUtf8(const char* text, size_t length) {
  std::string out;
  out.reserve(length + 8);
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto n = static_cast<int64_t>(length);
  for (int64_t i = 0; i < n;) {
    if (p[i] == 0) {
      out += "\xC0\x80";
      ++i;
      continue;
    }
    uint32_t cp = 0;
    const int bytes = utf8_decode_one(p + i, n - i, Utf8Form::Internal, &cp, nullptr);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      for (uint32_t unit : {0xD800u + (cp >> 10), 0xDC00u + (cp & 0x3FFu)}) {
        out += static_cast<char>(0xE0 | (unit >> 12));
        out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
      }
    } else if (cp == 0xFFFD) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(text + i, static_cast<size_t>(bytes));
    }
    i += bytes;
  }
  return out;
}

// The JNI UTF functions give a character outside the basic plane as its two
// surrogates, each a 3-byte sequence; an application reading 8-bit text
// takes standard UTF-8, the character as one 4-byte sequence.
std::string ToStandardUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  auto unitAt = [&](size_t i, uint32_t lo, uint32_t hi, uint32_t* unit) {
    if (i + 2 >= n || p[i] != 0xED || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80)
      return false;
    *unit = ((p[i] & 0x0Fu) << 12) | ((p[i + 1] & 0x3Fu) << 6) | (p[i + 2] & 0x3Fu);
    return *unit >= lo && *unit <= hi;
  };
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    uint32_t high = 0;
    uint32_t low = 0;
    if (unitAt(i, 0xD800, 0xDBFF, &high) && unitAt(i + 3, 0xDC00, 0xDFFF, &low)) {
      const uint32_t cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
      i += 6;
      continue;
    }
    out += text[i++];
  }
  return out;
}

// Whether every byte is a 7-bit character other than 0: such a text reads
// the same as UTF-8 and in the JNI form, so no Java decoder is needed.
bool SevenBit(const char* text, size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < length; ++i)
    if (p[i] == 0 || p[i] >= 0x80) return false;
  return true;
}

// Whether the text is not yet in the JNI form: a 0 byte, a 4-byte sequence
// or an ill-formed one.
bool NeedsRewrite(const char* text, size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto n = static_cast<int64_t>(length);
  for (int64_t i = 0; i < n;) {
    if (p[i] != 0 && p[i] < 0x80) {
      ++i;
      continue;
    }
    if (p[i] == 0 || p[i] >= 0xF0) return true;
    uint32_t cp = 0;
    const int bytes = utf8_decode_one(p + i, n - i, Utf8Form::Internal, &cp, nullptr);
    if (cp == 0xFFFD && !(bytes == 3 && p[i] == 0xEF)) return true;
    i += bytes;
  }
  return false;
}

template <class T>
struct CallKind;

#define QMR_CALL_KIND(T, J, Name)                                                     \
  template <>                                                                         \
  struct CallKind<T> {                                                                \
    static constexpr const char* kTrace = "  Call" #Name "Method name=[%s] sig=[%s]"; \
    static T Call(JNIEnv* env, jobject obj, jmethodID m, va_list ap) {                \
      return static_cast<T>(env->Call##Name##MethodV(obj, m, ap));                    \
    }                                                                                 \
  };
QMR_CALL_KIND(jobject, jobject, Object)
QMR_CALL_KIND(uint8_t, jboolean, Boolean)
QMR_CALL_KIND(int8_t, jbyte, Byte)
QMR_CALL_KIND(uint16_t, jchar, Char)
QMR_CALL_KIND(int16_t, jshort, Short)
QMR_CALL_KIND(int32_t, jint, Int)
QMR_CALL_KIND(int64_t, jlong, Long)
QMR_CALL_KIND(float, jfloat, Float)
QMR_CALL_KIND(double, jdouble, Double)
#undef QMR_CALL_KIND

struct VoidCall {};
template <>
struct CallKind<VoidCall> {
  static constexpr const char* kTrace = "  CallVoidMethod name=[%s] sig=[%s]";
  static VoidCall Call(JNIEnv* env, jobject obj, jmethodID m, va_list ap) {
    env->CallVoidMethodV(obj, m, ap);
    return {};
  }
};

// The one failure rule of every method call.
template <class T>
uint32_t CallV(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig, T* result,
               va_list ap) {
  if (gLogJavaCalls)
    log_message(LOG_LEVEL_DEBUG, __FILE__, __LINE__, CallKind<T>::kTrace, name ? name : "null",
                sig ? sig : "null");
  if (env == nullptr) return JC_ThrowNPE(env, "env", name);
  if (obj == nullptr) return JC_ThrowNPE(env, "obj", name);
  jmethodID m = JM_MethodOf(env, obj, cls, name, sig);
  if (m == nullptr || env->ExceptionCheck()) return ERR_GENERAL;
  T value = CallKind<T>::Call(env, obj, m, ap);
  if (result != nullptr) *result = value;
  return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Text

uint32_t JC_GetText(JNIEnv* env, jstring str, JC_JavaText* out, uint32_t utf) {
  if (out == nullptr) return ERR_GENERAL;
  *out = JC_JavaText{nullptr, 0, nullptr, utf ? 1u : 0u};
  if (str == nullptr) return 0;
  if (env == nullptr) return ERR_GENERAL;
  if (utf) {
    const char* chars = env->GetStringUTFChars(str, nullptr);
    if (chars == nullptr) return ERR_GENERAL;
    out->object = str;
    out->chars = chars;
    out->length = static_cast<uint32_t>(std::strlen(chars));
    return 0;
  }
  jstring cs = Charset(env);
  if (cs == nullptr) return ERR_GENERAL;
  jobject bytes = nullptr;
  uint32_t rc =
      JC_CallObjectMethod(env, str, nullptr, "getBytes", "(Ljava/lang/String;)[B", &bytes, cs);
  env->DeleteLocalRef(cs);
  if (rc != 0) return ERR_GENERAL;
  out->object = bytes;
  if (bytes == nullptr) return 0;
  auto arr = static_cast<jbyteArray>(bytes);
  out->length = static_cast<uint32_t>(env->GetArrayLength(arr));
  out->chars = reinterpret_cast<const char*>(env->GetByteArrayElements(arr, nullptr));
  if (out->chars == nullptr) {
    env->DeleteLocalRef(bytes);
    out->object = nullptr;
    out->length = 0;
    return ERR_GENERAL;
  }
  return 0;
}

void JC_ReleaseText(JNIEnv* env, JC_JavaText* text) {
  if (env == nullptr || text == nullptr || text->object == nullptr) return;
  if (text->utf) {
    env->ReleaseStringUTFChars(static_cast<jstring>(text->object), text->chars);
  } else {
    if (text->chars != nullptr)
      env->ReleaseByteArrayElements(static_cast<jbyteArray>(text->object),
                                    reinterpret_cast<jbyte*>(const_cast<char*>(text->chars)),
                                    JNI_ABORT);
    env->DeleteLocalRef(text->object);
  }
  text->object = nullptr;
  text->chars = nullptr;
  text->length = 0;
}

char* JC_GetTextCopy(JNIEnv* env, jstring str, uint32_t utf) {
  if (str == nullptr) return nullptr;
  JC_JavaText t;
  if (JC_GetText(env, str, &t, utf) != 0) return nullptr;
  char* copy = static_cast<char*>(std::calloc(t.length + 1, 1));
  if (copy != nullptr && t.length != 0) std::memcpy(copy, t.chars, t.length);
  JC_ReleaseText(env, &t);
  return copy;
}

jstring JC_NewStringN(JNIEnv* env, const char* text, size_t length, uint32_t utf) {
  if (env == nullptr || text == nullptr) return nullptr;
  if (utf) {
    if (!NeedsRewrite(text, length)) {
      if (text[length] == '\0') return env->NewStringUTF(text);
      std::string copy(text, length);
      return env->NewStringUTF(copy.c_str());
    }
    std::string m = ToModifiedUtf8(text, length);
    return env->NewStringUTF(m.c_str());
  }
  if (SevenBit(text, length)) return env->NewStringUTF(std::string(text, length).c_str());
  jbyteArray bytes = env->NewByteArray(static_cast<jsize>(length));
  if (bytes == nullptr) return nullptr;
  env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(length),
                          reinterpret_cast<const jbyte*>(text));
  jstring cs = Charset(env);
  jobject s = nullptr;
  if (cs != nullptr && !env->ExceptionCheck())
    s = JC_NewObject(env, "java/lang/String", "([BLjava/lang/String;)V", bytes, cs);
  JC_DeleteLocal(env, cs);
  env->DeleteLocalRef(bytes);
  return static_cast<jstring>(s);
}

jstring JC_NewString(JNIEnv* env, const char* text, uint32_t utf) {
  if (text == nullptr) return nullptr;
  const size_t length = std::strlen(text);
  if (env != nullptr && !utf && SevenBit(text, length)) return env->NewStringUTF(text);
  return JC_NewStringN(env, text, length, utf);
}

// ---------------------------------------------------------------------------
// Objects and classes

jobject JC_NewObject(JNIEnv* env, const char* className, const char* sig, ...) {
  if (env == nullptr || className == nullptr || sig == nullptr) return nullptr;
  jclass cls = JM_SystemClass(env, className);
  if (cls == nullptr) return nullptr;
  jobject obj = nullptr;
  jmethodID ctor = JM_MethodOf(env, nullptr, cls, "<init>", sig);
  if (ctor != nullptr && !env->ExceptionCheck()) {
    va_list ap;
    va_start(ap, sig);
    obj = env->NewObjectV(cls, ctor, ap);
    va_end(ap);
    if (env->ExceptionCheck()) {
      JC_DeleteLocal(env, obj);
      obj = nullptr;
    }
  }
  return obj;
}

jclass JC_LoadClass(JNIEnv* env, jobject loader, const char* className) {
  if (env == nullptr || className == nullptr) return nullptr;
  if (loader == nullptr) return env->FindClass(className);
  std::string dotted(className);
  for (size_t i = 1; i < dotted.size(); ++i)
    if (dotted[i] == '/') dotted[i] = '.';
  jstring name = JC_NewString(env, dotted.c_str(), 0);
  jobject cls = nullptr;
  if (name != nullptr && !env->ExceptionCheck()) {
    if (JC_CallObjectMethod(env, loader, nullptr, "loadClass",
                            "(Ljava/lang/String;)Ljava/lang/Class;", &cls, name) != 0)
      cls = nullptr;  // the exception stays pending for the caller
  }
  JC_DeleteLocal(env, name);
  return static_cast<jclass>(cls);
}

char* JC_Unbrace(char* text) {
  if (text == nullptr) return nullptr;
  char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\f' || *p == '\v') ++p;
  if (*p != '{') return text;
  ++p;
  size_t n = std::strlen(p);
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t' || p[n - 1] == '\r' || p[n - 1] == '\n' ||
                   p[n - 1] == '\f' || p[n - 1] == '\v'))
    p[--n] = '\0';
  if (n > 0 && p[n - 1] == '}') p[--n] = '\0';
  return p;
}

// ---------------------------------------------------------------------------
// Method calls

#define QMR_DEFINE_CALL(Fn, T)                                                                    \
  uint32_t Fn(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig, T* result, \
              ...) {                                                                              \
    va_list ap;                                                                                   \
    va_start(ap, result);                                                                         \
    uint32_t rc = CallV<T>(env, obj, cls, name, sig, result, ap);                                 \
    va_end(ap);                                                                                   \
    return rc;                                                                                    \
  }
QMR_DEFINE_CALL(JC_CallObjectMethod, jobject)
QMR_DEFINE_CALL(JC_CallBooleanMethod, uint8_t)
QMR_DEFINE_CALL(JC_CallByteMethod, int8_t)
QMR_DEFINE_CALL(JC_CallCharMethod, uint16_t)
QMR_DEFINE_CALL(JC_CallShortMethod, int16_t)
QMR_DEFINE_CALL(JC_CallIntMethod, int32_t)
QMR_DEFINE_CALL(JC_CallLongMethod, int64_t)
QMR_DEFINE_CALL(JC_CallFloatMethod, float)
QMR_DEFINE_CALL(JC_CallDoubleMethod, double)
#undef QMR_DEFINE_CALL

uint32_t JC_CallVoidMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                           ...) {
  va_list ap;
  va_start(ap, sig);
  VoidCall none;
  uint32_t rc = CallV<VoidCall>(env, obj, cls, name, sig, &none, ap);
  va_end(ap);
  return rc;
}

// ---------------------------------------------------------------------------
// Exceptions

uint32_t JC_ThrowNPE(JNIEnv* env, const char* what, const char* method) {
  char text[160];
  std::snprintf(text, sizeof text, "NullPointerException in '%.10s'  for '%.80s' JAVA call",
                what ? what : "null", method ? method : "null");
  log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "%s", text);
  if (env != nullptr) {
    // A pending exception would be lost under the new one anyway; keep the
    // one that explains the missing piece.
    env->ExceptionClear();
    jclass npe = env->FindClass("java/lang/NullPointerException");
    if (npe != nullptr) {
      env->ThrowNew(npe, text);
      env->DeleteLocalRef(npe);
    }
  }
  return ERR_GENERAL;
}

namespace {

// Fills message with text (logged at level 3) and reports that a step of
// the exception's decoding failed.
void DecodeFailure(std::string* message, const char* text) {
  *message = text;
  log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "%s", text);
}

// Reads SQLSTATE, native code and message of the throwable. Any failure on
// the way leaves its own text as the message.
void Decode(JNIEnv* env, jthrowable ex, uint32_t utf, char* state, int32_t* native,
            std::string* message, bool* warning) {
  jclass warnCls = JM_SystemClass(env, "java/sql/SQLWarning");
  if (warnCls == nullptr) {
    env->ExceptionClear();
    return DecodeFailure(message, "Can't find SQLWarning class");
  }
  if (env->IsInstanceOf(ex, warnCls)) {
    *warning = true;
    return;
  }
  jclass sqlCls = JM_SystemClass(env, "java/sql/SQLException");
  if (sqlCls == nullptr) {
    env->ExceptionClear();
    return DecodeFailure(message, "Can't find SQLException class");
  }
  bool isSql = env->IsInstanceOf(ex, sqlCls);
  if (isSql) {
    jmethodID getState = JM_MethodOf(env, nullptr, sqlCls, "getSQLState", "()Ljava/lang/String;");
    if (getState == nullptr) {
      env->ExceptionClear();
      return DecodeFailure(message, "Can't find getSQLState");
    }
    jmethodID getCode = JM_MethodOf(env, nullptr, sqlCls, "getErrorCode", "()I");
    if (getCode == nullptr) {
      env->ExceptionClear();
      return DecodeFailure(message, "Can't find getErrorCode");
    }
    auto st = static_cast<jstring>(env->CallObjectMethod(ex, getState));
    if (env->ExceptionCheck()) {
      env->ExceptionClear();
      return DecodeFailure(message, "Exception in Exception.getSQLState");
    }
    if (st != nullptr) {
      const char* chars = env->GetStringUTFChars(st, nullptr);
      if (chars != nullptr) {
        std::memset(state, 0, 6);
        std::memcpy(state, chars, strnlen(chars, 5));
        env->ReleaseStringUTFChars(st, chars);
      }
      env->DeleteLocalRef(st);
    }
    jint code = env->CallIntMethod(ex, getCode);
    if (env->ExceptionCheck()) {
      env->ExceptionClear();
      return DecodeFailure(message, "Exception in Exception.getErrorCode");
    }
    *native = code;
  }
  // Through the object's own class: a throwable that is not an Exception
  // (an Error) still has toString.
  const char* method = isSql ? "getMessage" : "toString";
  jmethodID m = JM_MethodOf(env, ex, nullptr, method, "()Ljava/lang/String;");
  if (m == nullptr) {
    env->ExceptionClear();
    return DecodeFailure(message, isSql ? "Can't find getMessage " : "Can't find toString");
  }
  auto text = static_cast<jstring>(env->CallObjectMethod(ex, m));
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    return DecodeFailure(
        message, isSql ? "Exception in Exception.getMessage" : "Exception in Exception.toString");
  }
  if (text != nullptr) {
    char* copy = JC_GetTextCopy(env, text, utf);
    env->ExceptionClear();
    if (copy != nullptr) {
      // A long message is cut between characters.
      const size_t n = strnlen(copy, AGT_MESSAGE_MAX + 1);
      message->assign(copy, utf8_prefix_len(copy, n, AGT_MESSAGE_MAX));
      std::free(copy);
    }
    env->DeleteLocalRef(text);
  }
}

}  // namespace

uint32_t CheckException(JNIEnv* env, uint32_t utf, ErrorList* target) {
  if (env == nullptr) {
    log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "Environment is null in JAVA Calls");
    return ERR_GENERAL;
  }
  if (!env->ExceptionCheck()) return 0;
  if (gLogJavaCalls) log_message(LOG_LEVEL_DEBUG, __FILE__, __LINE__, "  Exception occured");
  char state[6] = "S1000";
  int32_t native = 0;
  std::string message;
  bool warning = false;
  jthrowable ex = env->ExceptionOccurred();
  env->ExceptionClear();
  if (ex != nullptr) Decode(env, ex, utf, state, &native, &message, &warning);
  JC_DeleteLocal(env, ex);
  env->ExceptionClear();
  if (warning) {
    if (gLogJavaCalls) log_message(LOG_LEVEL_DEBUG, __FILE__, __LINE__, "  === SQLWarning ===");
    return 0;
  }
  if (state[0] == '\0') std::memcpy(state, "S1000", 6);
  uint32_t rc = 0;
  std::string text = utf != 0 ? ToStandardUtf8(message) : message;
  errPostState(&rc, state, text.data(), native, target);
  if (rc == 0) rc = errCodeForState(state);
  if (gLogJavaCalls)
    log_message(LOG_LEVEL_DEBUG, __FILE__, __LINE__, "CheckException return sts=[%d]",
                static_cast<int>(rc));
  return rc;
}
