// The agent creates the VM once, keeps it across DRV_Term, defines its
// support classes with the system class loader and attaches threads.
#include <dlfcn.h>

#include <thread>

#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-handles.h"
#include "hsql.h"

namespace {

using GetCreated = jint(JNICALL*)(JavaVM**, jsize, jsize*);

jsize CreatedVms() {
  auto fn = reinterpret_cast<GetCreated>(dlsym(RTLD_DEFAULT, "JNI_GetCreatedJavaVMs"));
  if (fn == nullptr) return -1;
  JavaVM* vms[4];
  jsize n = 0;
  fn(vms, 4, &n);
  return n;
}

bool InEnvList(JNIEnv* e, uintptr_t* value) {
  std::lock_guard<plat::Mutex> g(gEnvListLock);
  if (gEnvList == nullptr) return false;
  void* v = hash_lookup(gEnvList, &e);
  *value = reinterpret_cast<uintptr_t>(v);
  return v != nullptr;
}

TEST(AgentVm, CreatedOnceAndKeptAcrossTerm) {
  SetTestVmEnvironment();
  // Not linked: no VM library until the agent loads one (when this test
  // runs first in its process, as ctest runs it).
  const bool creates = gJavaVM == nullptr;
  if (creates) {
    ASSERT_EQ(nullptr, dlsym(RTLD_DEFAULT, "JNI_GetCreatedJavaVMs"));
  }
  uint32_t a = 0, b = 0;
  ASSERT_EQ(0u, DRV_Init(nullptr, &a));
  ASSERT_NE(nullptr, gJavaVM);
  JavaVM* vm = gJavaVM;
  EXPECT_EQ(1, CreatedVms());
  EXPECT_EQ(1u, gJvmRefCount);
  // The creating thread is recorded as such.
  uintptr_t value = 0;
  if (creates) {
    EXPECT_TRUE(InEnvList(gJNIEnv, &value));
    EXPECT_EQ(2u, value);
  }

  ASSERT_EQ(0u, DRV_Init(nullptr, &b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(2u, gJvmRefCount);
  JdbcEnv* rec = AGT_Env(a);
  ASSERT_NE(nullptr, rec);
  EXPECT_NE(nullptr, rec->xaXidClass);
  EXPECT_NE(nullptr, rec->classLoader);

  EXPECT_EQ(0u, DRV_Term(a));  // one user left: nothing torn down
  EXPECT_EQ(rec, AGT_Env(a));
  EXPECT_EQ(0u, DRV_Term(b));
  EXPECT_EQ(0u, gJvmRefCount);
  EXPECT_EQ(nullptr, AGT_Env(a));
  EXPECT_EQ(ERR_INVALID_ARGUMENT, DRV_Term(a));
  EXPECT_EQ(nullptr, gEnvList);

  // A later start joins the VM that stayed; the support classes are found,
  // not defined twice.
  uint32_t c = 0;
  ASSERT_EQ(0u, DRV_Init(nullptr, &c));
  EXPECT_EQ(vm, gJavaVM);
  EXPECT_EQ(1, CreatedVms());
  EXPECT_NE(nullptr, AGT_Env(c)->xaXidClass);
  EXPECT_EQ(0u, DRV_Term(c));
}

TEST(AgentVm, ThreadsAreAttachedAndDetached) {
  SetTestVmEnvironment();
  uint32_t h = 0;
  ASSERT_EQ(0u, DRV_Init(nullptr, &h));
  JNIEnv* mine = nullptr;
  uintptr_t valueWhileAttached = 0;
  bool listedWhileAttached = false, listedAfter = true;
  jint afterDetach = JNI_OK;
  std::thread t([&] {
    mine = attachJVM();
    if (mine == nullptr) return;
    listedWhileAttached = InEnvList(mine, &valueWhileAttached);
    // A second call finds the thread attached and adds nothing.
    if (attachJVM() != mine) mine = nullptr;
    detachJVM();
    uintptr_t v = 0;
    listedAfter = InEnvList(mine, &v);
    JNIEnv* e = nullptr;
    afterDetach = gJavaVM->GetEnv(reinterpret_cast<void**>(&e), AGT_JNI_VERSION);
  });
  t.join();
  ASSERT_NE(nullptr, mine);
  EXPECT_TRUE(listedWhileAttached);
  EXPECT_EQ(1u, valueWhileAttached);
  EXPECT_FALSE(listedAfter);
  EXPECT_EQ(JNI_EDETACHED, afterDetach);

  // The initialising thread is never detached by detachJVM.
  detachJVM();
  JNIEnv* e = nullptr;
  EXPECT_EQ(JNI_OK, gJavaVM->GetEnv(reinterpret_cast<void**>(&e), AGT_JNI_VERSION));
  EXPECT_EQ(0u, DRV_Term(h));
}

TEST(AgentVm, InitFromASecondThreadAttachesIt) {
  SetTestVmEnvironment();
  uint32_t h = 0;
  ASSERT_EQ(0u, DRV_Init(nullptr, &h));
  uint32_t other = 0, rc = 99;
  jint state = JNI_EDETACHED;
  std::thread t([&] {
    rc = DRV_Init(nullptr, &other);
    JNIEnv* e = nullptr;
    state = gJavaVM->GetEnv(reinterpret_cast<void**>(&e), AGT_JNI_VERSION);
    DRV_Term(other);
    detachJVM();
  });
  t.join();
  EXPECT_EQ(0u, rc);
  EXPECT_EQ(h, other);
  EXPECT_EQ(JNI_OK, state);
  EXPECT_EQ(1u, gJvmRefCount);
  EXPECT_EQ(0u, DRV_Term(h));
}

class SupportClasses : public Hsql {};

TEST_F(SupportClasses, XAXidIsDefinedWithTheSystemClassLoader) {
  jclass xid = nullptr;
  ASSERT_EQ(0u, JC_GetXAXidClass(env, &xid));
  jclass cl = env->FindClass("java/lang/Class");
  jobject loader = nullptr;
  ASSERT_EQ(0u, JC_CallObjectMethod(env, xid, cl, "getClassLoader", "()Ljava/lang/ClassLoader;",
                                    &loader));
  jclass clsLoader = env->FindClass("java/lang/ClassLoader");
  jmethodID sys =
      env->GetStaticMethodID(clsLoader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;");
  jobject system = env->CallStaticObjectMethod(clsLoader, sys);
  ASSERT_FALSE(env->ExceptionCheck());
  EXPECT_TRUE(env->IsSameObject(loader, system));
  // It implements javax.transaction.xa.Xid, which it could not see otherwise.
  jclass xidIface = env->FindClass("javax/transaction/xa/Xid");
  ASSERT_NE(nullptr, xidIface);
  EXPECT_TRUE(env->IsAssignableFrom(xid, xidIface));
}

TEST_F(SupportClasses, XAXidRejectsOversizedParts) {
  jclass xid = nullptr;
  ASSERT_EQ(0u, JC_GetXAXidClass(env, &xid));
  jmethodID ctor = env->GetMethodID(xid, "<init>", "(I[B[B)V");
  ASSERT_NE(nullptr, ctor);
  auto bytes = [&](int n) {
    jbyteArray a = env->NewByteArray(n);
    for (int i = 0; i < n; ++i) {
      jbyte b = static_cast<jbyte>(i);
      env->SetByteArrayRegion(a, i, 1, &b);
    }
    return a;
  };
  auto errorCodeOf = [&](jbyteArray g, jbyteArray b) -> int {
    jobject o = env->NewObject(xid, ctor, 7, g, b);
    if (!env->ExceptionCheck()) {
      env->DeleteLocalRef(o);
      return 0;
    }
    jthrowable ex = env->ExceptionOccurred();
    env->ExceptionClear();
    jclass xae = env->FindClass("javax/transaction/xa/XAException");
    EXPECT_TRUE(env->IsInstanceOf(ex, xae));
    jfieldID f = env->GetFieldID(xae, "errorCode", "I");
    return env->GetIntField(ex, f);
  };
  EXPECT_EQ(-5, errorCodeOf(bytes(8), bytes(65)));
  EXPECT_EQ(-5, errorCodeOf(bytes(65), bytes(8)));
  EXPECT_EQ(-5, errorCodeOf(nullptr, bytes(8)));
  EXPECT_EQ(0, errorCodeOf(bytes(64), bytes(64)));

  // Equality compares format, then the arrays byte by byte.
  jobject x1 = env->NewObject(xid, ctor, 7, bytes(4), bytes(2));
  jobject x2 = env->NewObject(xid, ctor, 7, bytes(4), bytes(2));
  jobject x3 = env->NewObject(xid, ctor, 8, bytes(4), bytes(2));
  uint8_t eq = 0;
  ASSERT_EQ(0u, JC_CallBooleanMethod(env, x1, nullptr, "equals", "(Ljava/lang/Object;)Z", &eq, x2));
  EXPECT_EQ(1, eq);
  ASSERT_EQ(0u, JC_CallBooleanMethod(env, x1, nullptr, "equals", "(Ljava/lang/Object;)Z", &eq, x3));
  EXPECT_EQ(0, eq);
}

TEST_F(SupportClasses, ClassLoaderReachesTheClassPathAndNamesMissingClasses) {
  jobject loader = AGT_Env(envH)->classLoader;
  jclass qmr = env->FindClass("quillmar/support/QMRClassLoader");
  ASSERT_NE(nullptr, qmr);
  EXPECT_TRUE(env->IsInstanceOf(loader, qmr));
  jclass drv = JC_LoadClass(env, loader, "org/hsqldb/jdbc/JDBCDriver");
  ASSERT_NE(nullptr, drv);
  EXPECT_FALSE(env->ExceptionCheck());
  EXPECT_EQ(nullptr, JC_LoadClass(env, loader, "com/informix/jdbc/IfxDriver"));
  ErrorList l{};
  EXPECT_EQ(15u, CheckException(env, 1, &l));
  ASSERT_NE(nullptr, l.head);
  // The loader was asked for the dotted name.
  EXPECT_NE(nullptr,
            std::strstr(l.head->message, "ClassNotFoundException: com.informix.jdbc.IfxDriver"))
      << l.head->message;
  errClear(&l);
}

TEST_F(SupportClasses, ClassLoaderOverArchivePaths) {
  // Empty elements are skipped; no element at all gives no loader.
  EXPECT_EQ(nullptr, JC_CreateClassLoader(env, ";;"));
  jobject l = JC_CreateClassLoader(env, "/usr/share/java/hsqldb.jar;;/nonexistent.jar");
  ASSERT_NE(nullptr, l);
  jobjectArray urls = nullptr;
  jobject o = nullptr;
  ASSERT_EQ(0u, JC_CallObjectMethod(env, l, nullptr, "getURLs", "()[Ljava/net/URL;", &o));
  urls = static_cast<jobjectArray>(o);
  ASSERT_EQ(2, env->GetArrayLength(urls));
  jobject first = env->GetObjectArrayElement(urls, 0);
  jobject text = nullptr;
  ASSERT_EQ(0u,
            JC_CallObjectMethod(env, first, nullptr, "toString", "()Ljava/lang/String;", &text));
  char* s = JC_GetTextCopy(env, static_cast<jstring>(text), 1);
  EXPECT_STREQ("file:/usr/share/java/hsqldb.jar", s);
  std::free(s);
}

}  // namespace
