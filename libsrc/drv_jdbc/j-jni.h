// The JNI call layer: text between C and Java strings, constructing
// objects, calling an instance method of each JNI result type with one
// failure rule, loading classes through the agent's class loader, and
// turning a pending Java exception into an agent diagnostic.
//
// Failure rule of the method calls: 0 on success; 15 with the Java exception
// left pending otherwise (a null env, object or class throws a
// NullPointerException first). The caller then runs CheckException, which
// posts the diagnostic and clears the exception.
#ifndef QMR_DRV_JDBC_J_JNI_H
#define QMR_DRV_JDBC_J_JNI_H

#include <jni.h>

#include <cstdint>

#include "drv_jdbc/j-error.h"

// A borrowed view of a Java string's characters (JC_GetText/JC_ReleaseText).
struct JC_JavaText {
  jobject object;     // the string (UTF-8 mode), the byte array (byte mode), or null
  uint32_t length;    // bytes
  const char* chars;  // not NUL-terminated in byte mode; null for a null string
  uint32_t utf;       // 1 UTF-8 mode, 0 byte mode
};

// Text. utf != 0: C text is (modified) UTF-8 and moves through the JNI UTF
// functions. utf == 0: C text is in the system's 8-bit character set (UTF-8
// on this platform) and moves through String.getBytes and new String(byte[]).
uint32_t JC_GetText(JNIEnv* env, jstring str, JC_JavaText* out, uint32_t utf);
void JC_ReleaseText(JNIEnv* env, JC_JavaText* text);
// A NUL-terminated malloc copy, or null (null string or failure).
char* JC_GetTextCopy(JNIEnv* env, jstring str, uint32_t utf);
// A local reference to a new string, or null for a null text or failure.
jstring JC_NewString(JNIEnv* env, const char* text, uint32_t utf);
// The same from counted bytes (no NUL needed).
jstring JC_NewStringN(JNIEnv* env, const char* text, size_t length, uint32_t utf);

// A local reference to a new object of the platform class (JNI name with
// '/'), or null with any exception left pending.
jobject JC_NewObject(JNIEnv* env, const char* className, const char* sig, ...);
// A local class reference, or null (exception pending). Without a loader
// FindClass; with one, the loader's loadClass with the dotted name.
jclass JC_LoadClass(JNIEnv* env, jobject loader, const char* className);
// The text inside one pair of braces: leading white space skipped; after a
// '{', trailing white space and a final '}' are cut (written over with NULs).
// A text without '{' comes back as given.
char* JC_Unbrace(char* text);

// One call helper per JNI result type. cls may be null (the object's class
// is used).
uint32_t JC_CallObjectMethod(JNIEnv* env, jobject obj, jclass cls, const char* name,
                             const char* sig, jobject* result, ...);
uint32_t JC_CallBooleanMethod(JNIEnv* env, jobject obj, jclass cls, const char* name,
                              const char* sig, uint8_t* result, ...);
uint32_t JC_CallByteMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                           int8_t* result, ...);
uint32_t JC_CallCharMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                           uint16_t* result, ...);
uint32_t JC_CallShortMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                            int16_t* result, ...);
uint32_t JC_CallIntMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                          int32_t* result, ...);
uint32_t JC_CallLongMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                           int64_t* result, ...);
uint32_t JC_CallFloatMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                            float* result, ...);
uint32_t JC_CallDoubleMethod(JNIEnv* env, jobject obj, jclass cls, const char* name,
                             const char* sig, double* result, ...);
uint32_t JC_CallVoidMethod(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig,
                           ...);

// Logs and (with an env) throws a NullPointerException naming what is
// missing ("env", "obj", "class") and the method. Always 15.
uint32_t JC_ThrowNPE(JNIEnv* env, const char* what, const char* method);

// Turns the pending exception into a diagnostic on target (any record that
// begins with an ErrorList: JdbcConn; or an ErrorList itself). 0 when none
// is pending or it is an SQLWarning (dropped); else the agent table index of
// its SQLSTATE, or ERR_GENERAL. Leaves no exception pending.
uint32_t CheckException(JNIEnv* env, uint32_t utf, ErrorList* target);

// Debug-level (7) tracing of the Java calls; off at start.
extern bool gLogJavaCalls;

// Releases a local reference when it is not null.
inline void JC_DeleteLocal(JNIEnv* env, jobject obj) {
  if (env != nullptr && obj != nullptr) env->DeleteLocalRef(obj);
}

// A JNI local frame for the scope of an operation (64 references, 256 in the
// statement operations). Popped on every way out.
class JC_LocalFrame {
 public:
  JC_LocalFrame(JNIEnv* env, jint capacity) : env_(env) {
    if (env_ != nullptr && env_->PushLocalFrame(capacity) != 0) {
      env_->ExceptionClear();
      env_ = nullptr;
    }
  }
  ~JC_LocalFrame() {
    if (env_ != nullptr) env_->PopLocalFrame(nullptr);
  }
  // Pops the frame now and carries obj (a local of the frame) out as a local
  // of the enclosing frame.
  jobject PopKeeping(jobject obj) {
    jobject r = obj;
    if (env_ != nullptr) r = env_->PopLocalFrame(obj);
    env_ = nullptr;
    return r;
  }
  bool ok() const { return env_ != nullptr; }
  JC_LocalFrame(const JC_LocalFrame&) = delete;
  JC_LocalFrame& operator=(const JC_LocalFrame&) = delete;

 private:
  JNIEnv* env_;
};

#endif
