// Starting and stopping the agent: slots 3 and 4.
#include "drv_jdbc/j-start.h"

#include <new>
#include <string>

#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-vm.h"
#include "util/log.h"

uint32_t gJvmRefCount = 0;
uint32_t gAgentEnvHandle = 0;
plat::RecursiveMutex gAgentMutex;

#define AGT_LOG(...) log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, __VA_ARGS__)

namespace {

// An environment record whose DRV_Init failed: it carries the cause until
// DRV_Term or the next DRV_Init frees it.
JdbcEnv* gFailedEnv GUARDED_BY(gAgentMutex) = nullptr;
uint32_t gFailedEnvHandle GUARDED_BY(gAgentMutex) = 0;

void FreeEnvRecord(JdbcEnv* e) {
  if (e == nullptr) return;
  errClear(&e->errors);
  delete e;
}

// Gives up a failed first DRV_Init, leaving the cause on the environment
// record (which the caller reads through DRV_GetError on *env).
uint32_t FailInit(JdbcEnv* e, uint32_t h, uint32_t* env, const std::string& cause, uint32_t code)
    REQUIRES(gAgentMutex) {
  {
    plat::Guard<plat::RecursiveMutex> g(e->cs);
    errPostMsg(&e->errors, cause.c_str(), static_cast<int>(code));
  }
  gFailedEnv = e;
  gFailedEnvHandle = h;
  *env = h;
  plat::Guard<plat::Mutex> g(gEnvListLock);
  hash_destroy(gEnvList);
  gEnvList = nullptr;
  return code;
}

void DropFailedEnv() REQUIRES(gAgentMutex) {
  if (gFailedEnv == nullptr) return;
  HT_Free(&gAgentEnvTable, gFailedEnvHandle);
  FreeEnvRecord(gFailedEnv);
  gFailedEnv = nullptr;
  gFailedEnvHandle = 0;
}

}  // namespace

// Slots 3 and 4. Both hold gAgentMutex throughout, so a DRV_Init and a
// DRV_Term never interleave.

extern "C" uint32_t DRV_Init(const char* const* texts, uint32_t* env) {
  if (env == nullptr) return ERR_INVALID_ARGUMENT;
  plat::Guard<plat::RecursiveMutex> guard(gAgentMutex);

  if (gJvmRefCount != 0) {
    if (attachJVM() == nullptr) return ERR_GENERAL;
    ++gJvmRefCount;  // only once the call has succeeded
    *env = gAgentEnvHandle;
    return 0;
  }

  *env = 0;
  DropFailedEnv();
  if (AGT_InitTables() != 0) return ERR_GENERAL;
  bool listMade;
  {
    plat::Guard<plat::Mutex> g(gEnvListLock);
    hash_destroy(gEnvList);
    gEnvList = hash_create(1024, 8);
    listMade = gEnvList != nullptr;
  }
  if (!listMade) {
    AGT_LOG("Can't create environment list");
    AGT_DoneTables();
    return ERR_NO_MEMORY;
  }
  auto* e = new (std::nothrow) JdbcEnv;
  uint32_t h = 0;
  if (e == nullptr || HT_Alloc(&gAgentEnvTable, &h, e) != 0) {
    delete e;
    plat::Guard<plat::Mutex> g(gEnvListLock);
    hash_destroy(gEnvList);
    gEnvList = nullptr;
    AGT_DoneTables();
    return ERR_NO_MEMORY;
  }

  std::string cause;
  if (JC_JoinOrCreateVm(&cause) != 0) return FailInit(e, h, env, cause, ERR_GENERAL);

  JNIEnv* jenv = nullptr;
  jint r = gJavaVM->GetEnv(reinterpret_cast<void**>(&jenv), AGT_JNI_VERSION);
  if (r == JNI_EVERSION) {
    AGT_LOG("Can't attach JVM to current thread");
    return FailInit(e, h, env, "Can't attach JVM to current thread", ERR_GENERAL);
  }
  if (r != JNI_OK || jenv == nullptr) jenv = attachJVM();
  if (jenv == nullptr)
    return FailInit(e, h, env, "Can't attach JVM to current thread", ERR_GENERAL);
  gJNIEnv = jenv;

  {
    JC_LocalFrame frame(jenv, 64);
    jclass xid = nullptr;
    if (JC_GetXAXidClass(jenv, &xid) != 0) {
      AGT_LOG("Can't load XID class");
      return FailInit(e, h, env, "Can't load XID class", ERR_GENERAL);
    }
    e->xaXidClass = static_cast<jclass>(jenv->NewGlobalRef(xid));
    jenv->DeleteLocalRef(xid);

    std::string paths = JC_ArchivePaths(JC_ArchiveDir(texts));
    jobject loader = JC_CreateClassLoader(jenv, paths.c_str());
    if (loader == nullptr) {
      AGT_LOG("Can't create  ClassLoader");
      jenv->DeleteGlobalRef(e->xaXidClass);
      e->xaXidClass = nullptr;
      return FailInit(e, h, env, "Can't create  ClassLoader", ERR_GENERAL);
    }
    e->classLoader = jenv->NewGlobalRef(loader);
    jenv->DeleteLocalRef(loader);
  }

  e->jniEnv = jenv;
  gAgentEnvHandle = h;
  *env = h;
  gJvmRefCount = 1;
  return 0;
}

extern "C" uint32_t DRV_Term(uint32_t h) {
  JdbcEnv* e = AGT_Env(h);
  if (e == nullptr) return ERR_INVALID_ARGUMENT;
  plat::Guard<plat::RecursiveMutex> guard(gAgentMutex);
  if (gJvmRefCount == 0) {
    // Only the record of a failed DRV_Init is held while not initialised.
    if (e != gFailedEnv || h != gFailedEnvHandle) return ERR_INVALID_ARGUMENT;
    DropFailedEnv();
    AGT_DoneTables();
    return 0;
  }
  if (h != gAgentEnvHandle) return ERR_INVALID_ARGUMENT;
  if (--gJvmRefCount > 0) return 0;

  HT_Free(&gAgentEnvTable, h);
  AGT_DoneTables();
  {
    plat::Guard<plat::RecursiveMutex> g(e->cs);
    errClear(&e->errors);
    JNIEnv* jenv = nullptr;
    if (gJavaVM != nullptr &&
        gJavaVM->GetEnv(reinterpret_cast<void**>(&jenv), AGT_JNI_VERSION) == JNI_OK &&
        jenv != nullptr) {
      if (e->xaXidClass != nullptr) jenv->DeleteGlobalRef(e->xaXidClass);
      if (e->classLoader != nullptr) jenv->DeleteGlobalRef(e->classLoader);
      e->xaXidClass = nullptr;
      e->classLoader = nullptr;
      // Only a thread the agent attached goes; the thread that created the
      // VM stays with it.
      if (JC_AttachedByAgent(jenv)) {
        if (gJavaVM->DetachCurrentThread() != JNI_OK)
          AGT_LOG("Can't detach JVM from current thread");
      }
    }
    plat::Guard<plat::Mutex> gl(gEnvListLock);
    hash_destroy(gEnvList);
    gEnvList = nullptr;
  }
  delete e;
  gAgentEnvHandle = 0;
  return 0;
}
