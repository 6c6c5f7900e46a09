// The lookup of a carried support class: the parts that do not depend on
// its members.
#include "drv_jdbc/j-carried.h"

#include "util/log.h"

namespace carried {

jclass Load(JNIEnv* env, const char* name, const char* without, Define define) {
  jclass local = nullptr;
  if (env == nullptr || define(env, &local) != 0 || local == nullptr) {
    if (env != nullptr) env->ExceptionClear();
    log_message(LOG_LEVEL_WARNING, __FILE__, __LINE__, "Can't define %s class; %s", name, without);
    return nullptr;
  }
  return local;
}

jclass Keep(JNIEnv* env, jclass cls, bool complete, const char* name, const char* without) {
  complete = complete && !env->ExceptionCheck();
  env->ExceptionClear();
  jclass global = complete ? static_cast<jclass>(env->NewGlobalRef(cls)) : nullptr;
  env->DeleteLocalRef(cls);
  if (global == nullptr)
    log_message(LOG_LEVEL_WARNING, __FILE__, __LINE__, "%s class is incomplete; %s", name, without);
  return global;
}

}  // namespace carried
