// A statement's text run on its plain Java statement, and its result set
// taken, in one call into Java through the QMRRowBlock support class.
#include <jni.h>

#include "drv_jdbc/j-carried.h"
#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-wrap-impl.h"
#include "drv_jdbc/j-wrap.h"
#include "util/errcodes.h"

namespace {

struct DirectCall {
  jclass cls = nullptr;  // global reference
  jmethodID run = nullptr;
};

bool Resolve(JNIEnv* env, jclass local, DirectCall* c) {
  c->run = env->GetStaticMethodID(local, "execute",
                                  "(Ljava/sql/Statement;Ljava/lang/String;)Ljava/sql/ResultSet;");
  return c->run != nullptr;
}

CarriedClass<DirectCall> gClass("QMRRowBlock", "a statement runs in two calls",
                                &JC_GetRowBlockClass, &Resolve);

const DirectCall* Call(JNIEnv* env) { return gClass.Get(env); }

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
