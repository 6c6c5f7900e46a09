// A statement's text run on its plain Java statement, and its result set
// taken, in one call into Java through the QMRRowBlock support class.
#include <jni.h>

#include <atomic>

#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-wrap-impl.h"
#include "drv_jdbc/j-wrap.h"
#include "platform/lock.h"
#include "util/errcodes.h"

namespace {

struct DirectCall {
  jclass cls = nullptr;  // global reference
  jmethodID run = nullptr;
};

// Looked up once per process; null when the class or its method is missing
// (the caller then makes the two calls itself). Once found, the answer is
// read without the lock: every execute asks.
std::atomic<const DirectCall*> gFound{nullptr};

const DirectCall* Call(JNIEnv* env) {
  if (const DirectCall* k = gFound.load(std::memory_order_acquire)) return k;
  static plat::Mutex lock;
  static DirectCall found;
  static int state = 0;  // 0 not looked up, 1 found, 2 not available
  plat::Guard<plat::Mutex> g(lock);
  if (state != 0) return state == 1 ? &found : nullptr;
  state = 2;
  jclass local = nullptr;
  if (JC_GetRowBlockClass(env, &local) != 0 || local == nullptr) {
    env->ExceptionClear();
    return nullptr;
  }
  jmethodID run = env->GetStaticMethodID(
      local, "execute", "(Ljava/sql/Statement;Ljava/lang/String;)Ljava/sql/ResultSet;");
  if (run == nullptr || env->ExceptionCheck()) {
    env->ExceptionClear();
    JC_DeleteLocal(env, local);
    return nullptr;
  }
  found.cls = static_cast<jclass>(env->NewGlobalRef(local));
  found.run = run;
  JC_DeleteLocal(env, local);
  if (found.cls == nullptr) return nullptr;
  state = 1;
  gFound.store(&found, std::memory_order_release);
  return &found;
}

}  // namespace

namespace jexec {

bool RunDirect(JdbcStmt* s, jobject st, jobject* rs, uint32_t* rc) {
  *rs = nullptr;
  *rc = 0;
  JNIEnv* env = s->jniEnv;
  const DirectCall* k = env != nullptr && st != nullptr ? Call(env) : nullptr;
  if (k == nullptr) return false;
  jstring text = wrapimpl::TextArg(s, s->sql);
  if (text == nullptr) {
    *rc = ERR_GENERAL;
    return true;
  }
  jobject got = env->CallStaticObjectMethod(k->cls, k->run, st, text);
  JC_DeleteLocal(env, text);
  if (!env->ExceptionCheck()) {
    *rs = got;
    return true;
  }
  JC_DeleteLocal(env, got);
  *rc = CheckException(env, s->wide, &s->errors);
  // A warning thrown in place of a result is dropped, and the result asked
  // for on its own, as the two separate calls would.
  if (*rc == 0) *rc = Statement::getResultSet(s, st, rs);
  return true;
}

}  // namespace jexec
