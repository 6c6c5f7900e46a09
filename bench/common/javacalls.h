// Counts the Java calls the driver makes, from outside it: the Java VM the
// driver started in this process has its JNI function table replaced
// (JVMTI's SetJNIFunctionTable) by one whose method-call and constructor
// entries count before they go on. The driver's C++ JNI calls all reach the
// va_list forms, which are the ones counted. Off until Start(); costs
// nothing while off.
#ifndef QMR_BENCH_COMMON_JAVACALLS_H
#define QMR_BENCH_COMMON_JAVACALLS_H

#include <dlfcn.h>
#include <jni.h>
#include <jvmti.h>

#include <cstdint>

namespace bench::javacalls {

inline uint64_t gCalls = 0;
inline const JNINativeInterface_* gPlain = nullptr;
inline JNINativeInterface_ gCounting;

#define QMR_COUNT_INSTANCE(Fn, R)                              \
  inline R Fn(JNIEnv* e, jobject o, jmethodID m, va_list ap) { \
    ++gCalls;                                                  \
    return gPlain->Fn(e, o, m, ap);                            \
  }
#define QMR_COUNT_NONVIRTUAL(Fn, R)                                      \
  inline R Fn(JNIEnv* e, jobject o, jclass c, jmethodID m, va_list ap) { \
    ++gCalls;                                                            \
    return gPlain->Fn(e, o, c, m, ap);                                   \
  }
#define QMR_COUNT_STATIC(Fn, R)                               \
  inline R Fn(JNIEnv* e, jclass c, jmethodID m, va_list ap) { \
    ++gCalls;                                                 \
    return gPlain->Fn(e, c, m, ap);                           \
  }
// clang-format off
#define QMR_COUNT_EACH(X)                                                     \
  X(Object, jobject) X(Boolean, jboolean) X(Byte, jbyte) X(Char, jchar)       \
  X(Short, jshort) X(Int, jint) X(Long, jlong) X(Float, jfloat)               \
  X(Double, jdouble) X(Void, void)
// clang-format on
#define QMR_COUNT_KIND(T, R)                          \
  QMR_COUNT_INSTANCE(Call##T##MethodV, R)             \
  QMR_COUNT_NONVIRTUAL(CallNonvirtual##T##MethodV, R) \
  QMR_COUNT_STATIC(CallStatic##T##MethodV, R)
QMR_COUNT_EACH(QMR_COUNT_KIND)
QMR_COUNT_STATIC(NewObjectV, jobject)
#define QMR_COUNT_SET(T, R)                                          \
  gCounting.Call##T##MethodV = Call##T##MethodV;                     \
  gCounting.CallNonvirtual##T##MethodV = CallNonvirtual##T##MethodV; \
  gCounting.CallStatic##T##MethodV = CallStatic##T##MethodV;

// Installs the counting table; false when no VM runs in this process yet.
inline bool Start() {
  if (gPlain != nullptr) return true;
  void* jvm = dlopen("libjvm.so", RTLD_LAZY | RTLD_NOLOAD);
  if (jvm == nullptr) return false;
  using Created = jint (*)(JavaVM**, jsize, jsize*);
  auto created = reinterpret_cast<Created>(dlsym(jvm, "JNI_GetCreatedJavaVMs"));
  JavaVM* vm = nullptr;
  jsize n = 0;
  jvmtiEnv* ti = nullptr;
  jniNativeInterface* table = nullptr;
  if (created == nullptr || created(&vm, 1, &n) != JNI_OK || n != 1 ||
      vm->GetEnv(reinterpret_cast<void**>(&ti), JVMTI_VERSION_1_2) != JNI_OK ||
      ti->GetJNIFunctionTable(&table) != JVMTI_ERROR_NONE)
    return false;
  gPlain = table;  // JVMTI's copy, kept for good
  gCounting = *table;
  QMR_COUNT_EACH(QMR_COUNT_SET)
  gCounting.NewObjectV = NewObjectV;
  return ti->SetJNIFunctionTable(&gCounting) == JVMTI_ERROR_NONE;
}

// Java calls counted so far.
inline uint64_t Count() { return gCalls; }

#undef QMR_COUNT_SET
#undef QMR_COUNT_KIND
#undef QMR_COUNT_EACH
#undef QMR_COUNT_STATIC
#undef QMR_COUNT_NONVIRTUAL
#undef QMR_COUNT_INSTANCE

}  // namespace bench::javacalls

#endif
