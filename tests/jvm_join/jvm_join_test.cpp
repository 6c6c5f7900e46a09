// A process that started its own Java VM before the agent: the agent joins
// that VM instead of creating one, defines its support classes into it, and
// leaves the VM's own thread attached.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-start.h"
#include "drv_jdbc/j-vm.h"

namespace {

using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);
using GetCreatedFn = jint(JNICALL*)(JavaVM**, jsize, jsize*);

JavaVM* gOwnVm = nullptr;
JNIEnv* gOwnEnv = nullptr;

// The application's own VM, started the way an application embeds Java.
void StartOwnVm() {
  if (gOwnVm != nullptr) return;
  const char* home = std::getenv("JAVA_HOME");
  std::string lib =
      std::string(home != nullptr && *home ? home : "/usr/lib/jvm/java-17-openjdk-amd64") +
      "/lib/server/libjvm.so";
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(nullptr, h) << dlerror();
  auto create = reinterpret_cast<CreateFn>(dlsym(h, "JNI_CreateJavaVM"));
  ASSERT_NE(nullptr, create);
  JavaVMOption opts[3];
  opts[0].optionString = const_cast<char*>("-Djava.class.path=/usr/share/java/hsqldb.jar");
  opts[1].optionString = const_cast<char*>("-Duser.timezone=UTC");
  opts[2].optionString = const_cast<char*>("-Xcheck:jni");
  JavaVMInitArgs args{};
  args.version = JNI_VERSION_1_8;
  args.nOptions = 3;
  args.options = opts;
  args.ignoreUnrecognized = JNI_FALSE;
  ASSERT_EQ(JNI_OK, create(&gOwnVm, reinterpret_cast<void**>(&gOwnEnv), &args));
}

jsize CreatedVms() {
  auto fn = reinterpret_cast<GetCreatedFn>(dlsym(RTLD_DEFAULT, "JNI_GetCreatedJavaVMs"));
  JavaVM* vms[4];
  jsize n = 0;
  if (fn != nullptr) fn(vms, 4, &n);
  return n;
}

TEST(JoinVm, TheAgentJoinsTheProcesssVm) {
  setenv("LANG", "C.UTF-8", 1);
  // Options the agent would use if it created a VM: they must not matter.
  setenv("QMR_JVM_OPTS", "-Xmx17m", 1);
  StartOwnVm();
  ASSERT_NE(nullptr, gOwnVm);
  // The support classes are not there yet.
  EXPECT_EQ(nullptr, gOwnEnv->FindClass("quillmar/support/XAXid"));
  gOwnEnv->ExceptionClear();

  uint32_t h = 0;
  ASSERT_EQ(0u, DRV_Init(nullptr, &h));
  EXPECT_EQ(gOwnVm, gJavaVM);
  EXPECT_EQ(1, CreatedVms());
  EXPECT_EQ(gOwnEnv, gJNIEnv);  // same thread, same environment
  {
    std::lock_guard<plat::Mutex> g(gEnvListLock);
    // Neither created nor attached by the agent.
    EXPECT_EQ(nullptr, hash_lookup(gEnvList, &gOwnEnv));
  }
  // The agent's classes now live in the application's VM.
  jclass xid = gOwnEnv->FindClass("quillmar/support/XAXid");
  EXPECT_NE(nullptr, xid);
  jclass loader = gOwnEnv->FindClass("quillmar/support/QMRClassLoader");
  EXPECT_NE(nullptr, loader);
  EXPECT_TRUE(gOwnEnv->IsInstanceOf(AGT_Env(h)->classLoader, loader));

  // The VM's heap limit is the application's, not the agent's option.
  jclass rt = gOwnEnv->FindClass("java/lang/Runtime");
  jmethodID get = gOwnEnv->GetStaticMethodID(rt, "getRuntime", "()Ljava/lang/Runtime;");
  jobject r = gOwnEnv->CallStaticObjectMethod(rt, get);
  ASSERT_FALSE(gOwnEnv->ExceptionCheck());
  int64_t max = 0;
  ASSERT_EQ(0u, JC_CallLongMethod(gOwnEnv, r, nullptr, "maxMemory", "()J", &max));
  EXPECT_GT(max, 64LL * 1024 * 1024);

  // Tearing down leaves the application's thread attached and its VM alive.
  EXPECT_EQ(0u, DRV_Term(h));
  JNIEnv* e = nullptr;
  EXPECT_EQ(JNI_OK, gOwnVm->GetEnv(reinterpret_cast<void**>(&e), JNI_VERSION_1_4));
  EXPECT_EQ(gOwnEnv, e);

  // A second start finds the classes defined and does not define them again.
  uint32_t h2 = 0;
  ASSERT_EQ(0u, DRV_Init(nullptr, &h2));
  EXPECT_FALSE(gOwnEnv->ExceptionCheck());
  EXPECT_NE(nullptr, AGT_Env(h2)->xaXidClass);
  EXPECT_EQ(0u, DRV_Term(h2));
}

}  // namespace
