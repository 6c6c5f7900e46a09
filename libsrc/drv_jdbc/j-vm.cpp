// The agent's Java VM: libjvm.so found and loaded, the VM joined or
// created with its options, and the threads attached.
#include "drv_jdbc/j-vm.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

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

// What the VM prints never reaches the application's stdout or stderr: it
// goes to the driver's log, a line at a time, and while the VM is being
// created (a refused option, a bad heap size) it is also kept for the
// diagnostic.
plat::Mutex gVmTextLock;
bool gVmCapturing GUARDED_BY(gVmTextLock) = false;
std::string& gVmText GUARDED_BY(gVmTextLock) = *new std::string;
std::string& gVmLine GUARDED_BY(gVmTextLock) = *new std::string;  // not yet logged

void LogVmLines(bool all) REQUIRES(gVmTextLock) {
  for (size_t nl; (nl = gVmLine.find('\n')) != std::string::npos;) {
    if (nl > 0) AGT_LOG("Java VM: %.*s", static_cast<int>(nl), gVmLine.c_str());
    gVmLine.erase(0, nl + 1);
  }
  if ((all || gVmLine.size() > 1024) && !gVmLine.empty()) {
    AGT_LOG("Java VM: %s", gVmLine.c_str());
    gVmLine.clear();
  }
}

jint JNICALL VmPrint(FILE*, const char* format, va_list args) {
  char text[1024];
  const int n = std::vsnprintf(text, sizeof text, format, args);
  if (n <= 0) return n;
  plat::Guard<plat::Mutex> g(gVmTextLock);
  if (gVmCapturing && gVmText.size() < 4096) gVmText += text;
  gVmLine += text;
  LogVmLines(false);
  return n;
}

// The VM ends the process (an option it takes but cannot live with: a heap
// too small, an agent that is not there): its last words go to the log
// before it does.
void JNICALL VmExit(jint status) {
  {
    plat::Guard<plat::Mutex> g(gVmTextLock);
    LogVmLines(true);
  }
  AGT_LOG("The Java VM ends the process with status %d", static_cast<int>(status));
}

void JNICALL VmAbort() {
  {
    plat::Guard<plat::Mutex> g(gVmTextLock);
    LogVmLines(true);
  }
  AGT_LOG("The Java VM aborts the process");
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

// Both builds of the driver may live in one process, each a library with
// its own copy of this file's state, and a process gets one VM creation
// (HotSpot cannot create a second after a failed one, and answers a VM
// that is still being made to JNI_GetCreatedJavaVMs). What the two must
// agree on is kept where both see it: abstract socket names of this
// process, which go with the process whatever ends it: a socket name held
// while a library looks for the VM or creates it, and a memory file kept
// open for good with the answer of a creation that failed.
class ProcessName {
 public:
  explicit ProcessName(const char* what) {
    std::snprintf(name_, sizeof name_, "qmr-jvm-%s-%ld", what, static_cast<long>(getpid()));
  }
  ~ProcessName() { Release(); }
  ProcessName(const ProcessName&) = delete;
  ProcessName& operator=(const ProcessName&) = delete;

  // 1 taken, 0 held by someone else in the process, -1 no such names to be
  // had here (no sockets): the caller goes on without.
  int TryTake() {
    Release();
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return -1;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const size_t n = std::strlen(name_);
    std::memcpy(a.sun_path + 1, name_, n);  // a leading NUL: no file
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), len) == 0) return 1;
    const int err = errno;
    Release();
    return err == EADDRINUSE ? 0 : -1;
  }
  // Waits until the name is taken; false when names cannot be had.
  bool Take() {
    for (;;) {
      const int r = TryTake();
      if (r != 0) return r == 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  char name_[64];
  int fd_ = -1;
};

// The memory file's name: "/memfd:" and this in /proc/self/fd.
std::string FailureFileName() { return "qmr-jvm-failure-" + std::to_string(getpid()); }

// The answer of the process's failed creation, from either build; false
// when none failed.
bool FailedBefore(std::string* cause) {
  const std::string link = "/memfd:" + FailureFileName();
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return false;
  bool found = false;
  while (dirent* e = readdir(dir)) {
    char target[PATH_MAX];
    const std::string path = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (std::strncmp(target, link.c_str(), link.size()) != 0 ||
        (target[link.size()] != '\0' && target[link.size()] != ' '))
      continue;
    const int fd = std::atoi(e->d_name);
    char text[4096];
    const ssize_t got = pread(fd, text, sizeof text, 0);
    *cause = got > 0 ? std::string(text, static_cast<size_t>(got)) : "Can't create Java VM";
    found = true;
    break;
  }
  closedir(dir);
  return found;
}

// Keeps the answer of a failed creation for every later connect of the
// process. The file stays open until the process ends.
void NoteFailure(const std::string& cause) {
  const int fd = memfd_create(FailureFileName().c_str(), MFD_CLOEXEC);
  if (fd < 0) return;
  if (write(fd, cause.data(), cause.size()) != static_cast<ssize_t>(cause.size())) close(fd);
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
    case JNI_EDETACHED: return "thread detached from the VM";
    case JNI_EVERSION: return "JNI version error";
    case JNI_ENOMEM: return "not enough memory";
    case JNI_EEXIST: return "VM already created";
    case JNI_EINVAL: return "invalid arguments";
    default: return "unknown error";
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

namespace {

// A -javaagent: jar the VM cannot open ends the process, and the instrument
// agent says why on stderr past the print hook: such an option is refused
// before the VM starts. False with the cause in *why.
bool JavaAgentsReadable(const std::vector<std::string>& opts, std::string* why) {
  constexpr char kOption[] = "-javaagent:";
  for (const std::string& o : opts) {
    if (o.rfind(kOption, 0) != 0) continue;
    const std::string path = o.substr(sizeof kOption - 1, o.find('=') - (sizeof kOption - 1));
    char magic[4] = {};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool zip =
        fd >= 0 && read(fd, magic, sizeof magic) == 4 && std::memcmp(magic, "PK\3\4", 4) == 0;
    if (fd >= 0) close(fd);
    if (zip) continue;
    *why = "the Java agent " + path + " (" + o + ") is not a jar the VM can open";
    return false;
  }
  return true;
}

}  // namespace

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
    // java.util.logging writes to stderr by default (pgjdbc's warnings on a
    // refused connect, say): the embedded VM's logging goes nowhere unless
    // its user configures it.
    const bool loggingGiven = std::any_of(given.begin(), given.end(), [](const std::string& o) {
      return o.rfind("-Djava.util.logging.config.", 0) == 0;
    });
    if (!loggingGiven) opts.push_back("-Djava.util.logging.config.file=/dev/null");
    for (std::string& o : given) opts.push_back(std::move(o));
  } catch (const std::bad_alloc&) {
    return -4;
  }
  if (std::string why; !JavaAgentsReadable(opts, &why)) {
    SetLastVmError("the VM refused its options (QMR_JVM_OPTS): " + why);
    return JNI_EINVAL;
  }
  // The print hook first: the VM takes it up as it reads its options, and
  // words about an option before it would go straight to stderr.
  constexpr size_t kHooks = 3;
  std::vector<JavaVMOption> jopts(opts.size() + kHooks);
  jopts[0].optionString = const_cast<char*>("vfprintf");
  jopts[0].extraInfo = reinterpret_cast<void*>(&VmPrint);
  jopts[1].optionString = const_cast<char*>("exit");
  jopts[1].extraInfo = reinterpret_cast<void*>(&VmExit);
  jopts[2].optionString = const_cast<char*>("abort");
  jopts[2].extraInfo = reinterpret_cast<void*>(&VmAbort);
  for (size_t i = 0; i < opts.size(); ++i) {
    jopts[i + kHooks].optionString = const_cast<char*>(opts[i].c_str());
    jopts[i + kHooks].extraInfo = nullptr;
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

namespace {

bool JoinCreated() {
  JavaVM* vms[2] = {nullptr, nullptr};
  jsize count = 0;
  if (GetCreatedEntry()(vms, 2, &count) != JNI_OK || count <= 0 || vms[0] == nullptr) return false;
  gJavaVM = vms[0];
  return true;
}

// A VM made meanwhile by someone who does not take the process's turn (the
// application itself): it shows once its creation is through.
bool JoinAfterExist() {
  for (int i = 0; i < 1000; ++i) {
    if (JoinCreated()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

uint32_t JC_JoinOrCreateVm(std::string* cause) {
  if (gJavaVM != nullptr) return 0;  // created or joined before: the VM stays
  std::string why;
  if (!LoadJvm(&why)) {
    AGT_LOG("%s", why.c_str());
    SetLastVmError(why);
    *cause = why;
    return ERR_GENERAL;
  }
  // Without the name, the join after "already created" is all there is.
  ProcessName turn("create");
  turn.Take();
  if (FailedBefore(cause)) {
    AGT_LOG("%s", cause->c_str());
    return ERR_GENERAL;
  }
  if (JoinCreated()) {
    JC_NoteVmSignals();
    return 0;
  }
  int rc = createJVM();
  if (rc == JNI_EEXIST && JoinAfterExist()) rc = JNI_OK;
  if (rc < 0) {
    char text[200];
    std::snprintf(text, sizeof text, "Can't create Java VM [%d|%s]", rc, JC_JniErrorText(rc));
    AGT_LOG("%s", text);
    std::string last = JC_LastVmError();
    *cause = last.empty() ? text : std::string(text) + ": " + last;
    NoteFailure(*cause);
    return ERR_GENERAL;
  }
  JC_NoteVmSignals();
  return 0;
}
