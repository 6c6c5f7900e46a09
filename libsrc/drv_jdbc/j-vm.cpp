// The agent's Java VM: libjvm.so found and loaded, the VM joined or
// created with its options, and the threads attached.
#include "drv_jdbc/j-vm.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "drv_jdbc/j-signals.h"
#include "platform/dynlib.h"
#include "util/errcodes.h"
#include "util/log.h"

JavaVM* gJavaVM = nullptr;
JNIEnv* gJNIEnv = nullptr;
HASH_TABLE* gEnvList = nullptr;
plat::Mutex gEnvListLock;

#define AGT_LOG(...) log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, __VA_ARGS__)

namespace {

using GetCreatedFn = jint(JNICALL*)(JavaVM**, jsize, jsize*);
using CreateFn = jint(JNICALL*)(JavaVM**, void**, void*);

// Guards the state below (libjvm's entry points, the last failure text).
plat::Mutex gStateLock;
GetCreatedFn gGetCreated GUARDED_BY(gStateLock) = nullptr;
CreateFn gCreate GUARDED_BY(gStateLock) = nullptr;
bool gFallbacks GUARDED_BY(gStateLock) = true;
// Never destroyed: a dlopen'ed library's static objects are destroyed before
// its unload hook runs, and calls may still arrive from exit handlers.
std::string& gLastVmError GUARDED_BY(gStateLock) = *new std::string;


// What the VM prints while it is being created (a refused option, a bad
// heap size) is kept for the diagnostic instead of reaching the
// application's stderr; later output goes where the VM would have sent it.
plat::Mutex gVmTextLock;
bool gVmCapturing GUARDED_BY(gVmTextLock) = false;
std::string& gVmText GUARDED_BY(gVmTextLock) = *new std::string;

jint JNICALL VmPrint(FILE* fp, const char* format, va_list args) {
  {
    plat::Guard<plat::Mutex> g(gVmTextLock);
    if (gVmCapturing) {
      char text[512];
      const int n = std::vsnprintf(text, sizeof text, format, args);
      if (n > 0 && gVmText.size() < 4096) gVmText += text;
      return n;
    }
  }
  return std::vfprintf(fp, format, args);
}

void CaptureVmText(bool on) {
  plat::Guard<plat::Mutex> g(gVmTextLock);
  gVmCapturing = on;
  if (on) gVmText.clear();
}

// The VM's own words on its failed start, on one line.
std::string CapturedVmText() {
  plat::Guard<plat::Mutex> g(gVmTextLock);
  std::string out;
  for (char c : gVmText) {
    if (c == '\n' || c == '\r') c = ' ';
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

void SetLastVmError(const std::string& text) {
  plat::Guard<plat::Mutex> g(gStateLock);
  gLastVmError = text;
}

// The real path of the `java` on PATH, or empty.
std::string JavaOnPath() {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string all(path);
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    std::string dir = all.substr(start, end - start);
    start = end + 1;
    if (dir.empty()) continue;
    std::string candidate = dir + "/java";
    if (access(candidate.c_str(), X_OK) != 0) continue;
    char real[PATH_MAX];
    if (realpath(candidate.c_str(), real) == nullptr) continue;
    return real;
  }
  return {};
}

// The libjvm.so files to try, in order.
std::vector<std::string> Candidates(bool fallbacks) {
  std::vector<std::string> out;
  const char* home = std::getenv("JAVA_HOME");
  if (home != nullptr && *home != '\0') out.push_back(std::string(home) + "/lib/server/libjvm.so");
  if (!fallbacks) return out;
  out.push_back("/usr/lib/jvm/default-java/lib/server/libjvm.so");
  std::string java = JavaOnPath();
  if (!java.empty()) {
    // <jdk>/bin/java -> <jdk>/lib/server/libjvm.so
    size_t slash = java.rfind('/');
    if (slash != std::string::npos) {
      std::string bin = java.substr(0, slash);
      size_t up = bin.rfind('/');
      if (up != std::string::npos) out.push_back(bin.substr(0, up) + "/lib/server/libjvm.so");
    }
  }
  out.push_back("/usr/lib/jvm/java-17-openjdk-amd64/lib/server/libjvm.so");
  return out;
}

// Finds the invocation interface: the process's own (a VM already loaded)
// first, else a libjvm.so from the candidates, loaded for good. False with
// *why telling each failed attempt.
bool LoadJvm(std::string* why) {
  plat::Guard<plat::Mutex> g(gStateLock);
  if (gGetCreated != nullptr && gCreate != nullptr) return true;
  auto getCreated = reinterpret_cast<GetCreatedFn>(dlsym(RTLD_DEFAULT, "JNI_GetCreatedJavaVMs"));
  auto create = reinterpret_cast<CreateFn>(dlsym(RTLD_DEFAULT, "JNI_CreateJavaVM"));
  if (getCreated != nullptr && create != nullptr) {
    gGetCreated = getCreated;
    gCreate = create;
    return true;
  }
  std::vector<std::string> list = Candidates(gFallbacks);
  if (list.empty()) {
    *why = "no libjvm.so to load: JAVA_HOME is not set";
    return false;
  }
  std::string tried;
  for (const std::string& path : list) {
    // Never closed: a VM cannot be unloaded, and one process holds one VM.
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (lib == nullptr) {
      const char* err = dlerror();
      if (!tried.empty()) tried += "; ";
      tried += err != nullptr ? err : path + ": cannot be loaded";
      continue;
    }
    getCreated = reinterpret_cast<GetCreatedFn>(dlsym(lib, "JNI_GetCreatedJavaVMs"));
    create = reinterpret_cast<CreateFn>(dlsym(lib, "JNI_CreateJavaVM"));
    if (getCreated == nullptr || create == nullptr) {
      if (!tried.empty()) tried += "; ";
      tried += path + ": not a Java VM library (no JNI_CreateJavaVM)";
      continue;
    }
    gGetCreated = getCreated;
    gCreate = create;
    return true;
  }
  *why = "Can't load the Java VM library libjvm.so: " + tried;
  return false;
}

// libjvm's entry points once LoadJvm found them (they never change after).
GetCreatedFn GetCreatedEntry() {
  plat::Guard<plat::Mutex> g(gStateLock);
  return gGetCreated;
}

CreateFn CreateEntry() {
  plat::Guard<plat::Mutex> g(gStateLock);
  return gCreate;
}

bool EnvListHolds(JNIEnv* env, uintptr_t* value) {
  plat::Guard<plat::Mutex> g(gEnvListLock);
  if (gEnvList == nullptr) return false;
  void* v = hash_lookup(gEnvList, &env);
  if (value != nullptr) *value = reinterpret_cast<uintptr_t>(v);
  return v != nullptr;
}

void EnvListAdd(JNIEnv* env, uintptr_t value) {
  plat::Guard<plat::Mutex> g(gEnvListLock);
  if (gEnvList != nullptr) hash_set(gEnvList, &env, reinterpret_cast<void*>(value));
}

void EnvListRemove(JNIEnv* env) {
  plat::Guard<plat::Mutex> g(gEnvListLock);
  if (gEnvList != nullptr) hash_remove(gEnvList, &env);
}

// Attaches the calling thread (recording it in the thread list) or gives its
// existing environment; null after logging.
JNIEnv* AttachCurrent() {
  if (gJavaVM == nullptr) {
    AGT_LOG("Can't attach JVM to current thread");
    return nullptr;
  }
  JNIEnv* env = nullptr;
  jint r = gJavaVM->GetEnv(reinterpret_cast<void**>(&env), AGT_JNI_VERSION);
  if (r == JNI_OK && env != nullptr) return env;
  if (r == JNI_EVERSION) {
    AGT_LOG("Can't attach JVM to current thread");
    return nullptr;
  }
  JavaVMAttachArgs args{AGT_JNI_VERSION, nullptr, nullptr};
  r = gJavaVM->AttachCurrentThread(reinterpret_cast<void**>(&env), &args);
  if (r < 0 || env == nullptr) {
    AGT_LOG("Can't attach JVM to current thread");
    return nullptr;
  }
  EnvListAdd(env, 1);
  return env;
}

}  // namespace

// ---------------------------------------------------------------------------

void JC_SetJvmFallbacks(bool on) {
  plat::Guard<plat::Mutex> g(gStateLock);
  gFallbacks = on;
}

std::string JC_JvmLibraryPath() {
  return plat::module_path_of(reinterpret_cast<const void*>(GetCreatedEntry()));
}

std::string JC_LastVmError() {
  plat::Guard<plat::Mutex> g(gStateLock);
  return gLastVmError;
}

const char* JC_JniErrorText(jint code) {
  switch (code) {
    case JNI_EDETACHED:
      return "thread detached from the VM";
    case JNI_EVERSION:
      return "JNI version error";
    case JNI_ENOMEM:
      return "not enough memory";
    case JNI_EEXIST:
      return "VM already created";
    case JNI_EINVAL:
      return "invalid arguments";
    default:
      return "unknown error";
  }
}

std::vector<std::string> JC_SplitJvmOptions(const char* text) {
  std::vector<std::string> out;
  if (text == nullptr) return out;
  auto isSpace = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
  };
  const char* p = text;
  while (*p != '\0' && isSpace(*p)) ++p;
  if (*p == '\0') return out;
  std::string current;
  for (; *p != '\0'; ++p) {
    if (*p == '-' && p > text && isSpace(p[-1]) && !current.empty()) {
      while (!current.empty() && isSpace(current.back())) current.pop_back();
      out.push_back(current);
      current.clear();
      if (out.size() == 100) return out;
    }
    current += *p;
  }
  while (!current.empty() && isSpace(current.back())) current.pop_back();
  if (!current.empty()) out.push_back(current);
  return out;
}

int createJVM() {
  std::string why;
  if (!LoadJvm(&why)) {
    SetLastVmError(why);
    return -1;
  }
  std::vector<std::string> opts;
  opts.push_back("-Djava.class.path=.");
  const char* env = std::getenv("QMR_JVM_OPTS");
  try {
    std::vector<std::string> given = JC_SplitJvmOptions(env);
    // The serial collector unless the user picks one: an embedded VM's heap
    // is small, and the default collector let it grow to several times
    // what a long-running connect-and-fetch loop needs.
    const bool collectorGiven = std::any_of(given.begin(), given.end(), [](const std::string& o) {
      return o.rfind("-XX:+Use", 0) == 0 && o.size() > 2 && o.compare(o.size() - 2, 2, "GC") == 0;
    });
    if (!collectorGiven) opts.push_back("-XX:+UseSerialGC");
    for (std::string& o : given) opts.push_back(std::move(o));
  } catch (const std::bad_alloc&) {
    return -4;
  }
  // The print hook first: the VM takes it up as it reads its options, and
  // words about an option before it would go straight to stderr.
  std::vector<JavaVMOption> jopts(opts.size() + 1);
  jopts[0].optionString = const_cast<char*>("vfprintf");
  jopts[0].extraInfo = reinterpret_cast<void*>(&VmPrint);
  for (size_t i = 0; i < opts.size(); ++i) {
    jopts[i + 1].optionString = const_cast<char*>(opts[i].c_str());
    jopts[i + 1].extraInfo = nullptr;
  }
  JavaVMInitArgs args{};
  args.version = AGT_JNI_VERSION;
  args.nOptions = static_cast<jint>(jopts.size());
  args.options = jopts.data();
  // A misspelt option would otherwise be dropped without a word, and the
  // VM run with settings its user never chose.
  args.ignoreUnrecognized = JNI_FALSE;
  JavaVM* vm = nullptr;
  JNIEnv* jenv = nullptr;
  CaptureVmText(true);
  jint rc = CreateEntry()(&vm, reinterpret_cast<void**>(&jenv), &args);
  CaptureVmText(false);
  if (rc == JNI_OK) {
    gJavaVM = vm;
    gJNIEnv = jenv;
    EnvListAdd(jenv, 2);
  } else {
    std::string why = std::string("JNI_CreateJavaVM answered ") + std::to_string(rc) + " (" +
                      JC_JniErrorText(rc) + ")";
    const std::string said = CapturedVmText();
    if (!said.empty()) why += "; the VM refused its options (QMR_JVM_OPTS): " + said;
    SetLastVmError(why);
  }
  return rc;
}

JNIEnv* attachJVM(void*) { return AttachCurrent(); }

void detachJVM() {
  if (gJavaVM == nullptr) return;
  JNIEnv* env = nullptr;
  if (gJavaVM->GetEnv(reinterpret_cast<void**>(&env), AGT_JNI_VERSION) != JNI_OK ||
      env == nullptr || env == gJNIEnv)
    return;
  uintptr_t value = 0;
  if (!EnvListHolds(env, &value) || value != 1) return;
  if (gJavaVM->DetachCurrentThread() == JNI_OK)
    EnvListRemove(env);
  else
    AGT_LOG("Can't detach JVM from current thread");
}

bool JC_AttachedByAgent(JNIEnv* env) {
  uintptr_t value = 0;
  return EnvListHolds(env, &value) && value == 1;
}

uint32_t JC_JoinOrCreateVm(std::string* cause) {
  if (gJavaVM != nullptr) return 0;  // created or joined before: the VM stays
  std::string why;
  if (!LoadJvm(&why)) {
    AGT_LOG("%s", why.c_str());
    SetLastVmError(why);
    *cause = why;
    return ERR_GENERAL;
  }
  JavaVM* vms[2] = {nullptr, nullptr};
  jsize count = 0;
  if (GetCreatedEntry()(vms, 2, &count) == JNI_OK && count > 0 && vms[0] != nullptr) {
    gJavaVM = vms[0];
    JC_NoteVmSignals();
    return 0;
  }
  int rc = createJVM();
  if (rc < 0) {
    char text[200];
    std::snprintf(text, sizeof text, "Can't create Java VM [%d|%s]", rc, JC_JniErrorText(rc));
    AGT_LOG("%s", text);
    std::string last = JC_LastVmError();
    *cause = last.empty() ? text : std::string(text) + ": " + last;
    return ERR_GENERAL;
  }
  JC_NoteVmSignals();
  return 0;
}
