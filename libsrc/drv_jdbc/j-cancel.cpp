// DRV_Cancel (slot 53): stops the statement that another thread is
// executing. JDBC drivers take Statement.cancel() from any thread; the
// executing call then fails with the driver's exception, which the core
// reports as cancelled.

#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-vm.h"

namespace {

constexpr jint kFrame = 8;

// The caller's own reference to the statement's Java statement, made under
// the lock that keeps the reference and the handle from going meanwhile: the
// executing thread may be closing or freeing the statement right now. Null
// when there is no Java statement (yet); *found tells whether the handle was
// still there.
jobject HoldStatement(JNIEnv* env, uint32_t h, bool* found) {
  plat::Guard<plat::Mutex> g(AGT_StatementRefLock());
  JdbcStmt* s = AGT_Stmt(h);
  *found = s != nullptr;
  if (s == nullptr || s->statement.Shared() == nullptr) return nullptr;
  return env->NewGlobalRef(s->statement.Shared());
}

}  // namespace

extern "C" uint32_t DRV_Cancel(uint32_t stmt) {
  if (AGT_Stmt(stmt) == nullptr) return ERR_INVALID_ARGUMENT;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  bool found = false;
  jobject target = HoldStatement(env, stmt, &found);
  if (!found) return ERR_INVALID_ARGUMENT;
  // Nothing made on the database side yet: nothing runs there to stop.
  if (target == nullptr) return AGT_OK;
  uint32_t rc;
  {
    JC_LocalFrame frame(env, kFrame);
    rc = JC_CallVoidMethod(env, target, nullptr, "cancel", "()V");
    // The exception says why the driver refused (closed statement, no
    // support); it belongs to no list the executing thread reads.
    if (env->ExceptionCheck()) env->ExceptionClear();
  }
  env->DeleteGlobalRef(target);
  return rc == 0 ? AGT_OK : ERR_CANCEL_DECLINED;
}
