// The class and method-ID cache.
#include "drv_jdbc/j-methods.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "drv_jdbc/j-jni.h"
#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

std::atomic<uint64_t> gMethodLookups{0};
std::atomic<uint64_t> gClassLookups{0};
std::atomic<uint64_t> gCalls{0};

struct Named {
  const char* cls;
  const char* name;
  const char* sig;
};

// In the order of JM_Method.
constexpr Named kNamed[JM_METHOD_COUNT] = {
    {"java/sql/Connection", "getAutoCommit", "()Z"},
    {"java/sql/Connection", "setAutoCommit", "(Z)V"},
    {"java/sql/Connection", "commit", "()V"},
    {"java/sql/Connection", "rollback", "()V"},
    {"java/sql/Connection", "setSavepoint", "()Ljava/sql/Savepoint;"},
    {"java/sql/Connection", "rollback", "(Ljava/sql/Savepoint;)V"},
    {"java/sql/Connection", "releaseSavepoint", "(Ljava/sql/Savepoint;)V"},
    {"java/sql/DatabaseMetaData", "supportsBatchUpdates", "()Z"},
    {"java/sql/Statement", "executeBatch", "()[I"},
    {"java/sql/Statement", "clearBatch", "()V"},
    {"java/sql/PreparedStatement", "addBatch", "()V"},
    {"java/sql/PreparedStatement", "getMetaData", "()Ljava/sql/ResultSetMetaData;"},
    {"java/sql/ResultSetMetaData", "getColumnCount", "()I"},
    {"java/sql/PreparedStatement", "setNull", "(II)V"},
    {"java/sql/PreparedStatement", "setBoolean", "(IZ)V"},
    {"java/sql/PreparedStatement", "setByte", "(IB)V"},
    {"java/sql/PreparedStatement", "setShort", "(IS)V"},
    {"java/sql/PreparedStatement", "setInt", "(II)V"},
    {"java/sql/PreparedStatement", "setLong", "(IJ)V"},
    {"java/sql/PreparedStatement", "setFloat", "(IF)V"},
    {"java/sql/PreparedStatement", "setDouble", "(ID)V"},
    {"java/sql/PreparedStatement", "setString", "(ILjava/lang/String;)V"},
    {"java/sql/PreparedStatement", "execute", "()Z"},
    {"java/sql/Statement", "getResultSet", "()Ljava/sql/ResultSet;"},
    {"java/sql/Statement", "getUpdateCount", "()I"},
    {"java/sql/ResultSet", "close", "()V"},
    {"javax/sql/XADataSource", "getXAConnection", "()Ljavax/sql/XAConnection;"},
    {"javax/sql/XADataSource", "getXAConnection",
     "(Ljava/lang/String;Ljava/lang/String;)Ljavax/sql/XAConnection;"},
    {"javax/sql/PooledConnection", "getConnection", "()Ljava/sql/Connection;"},
    {"javax/sql/PooledConnection", "close", "()V"},
    {"javax/sql/XAConnection", "getXAResource", "()Ljavax/transaction/xa/XAResource;"},
    {"javax/transaction/xa/XAResource", "start", "(Ljavax/transaction/xa/Xid;I)V"},
    {"javax/transaction/xa/XAResource", "end", "(Ljavax/transaction/xa/Xid;I)V"},
    {"javax/transaction/xa/XAResource", "prepare", "(Ljavax/transaction/xa/Xid;)I"},
    {"javax/transaction/xa/XAResource", "commit", "(Ljavax/transaction/xa/Xid;Z)V"},
    {"javax/transaction/xa/XAResource", "rollback", "(Ljavax/transaction/xa/Xid;)V"},
    {"javax/transaction/xa/XAResource", "forget", "(Ljavax/transaction/xa/Xid;)V"},
    {"javax/transaction/xa/XAResource", "recover", "(I)[Ljavax/transaction/xa/Xid;"},
    {"javax/transaction/xa/Xid", "getFormatId", "()I"},
    {"javax/transaction/xa/Xid", "getGlobalTransactionId", "()[B"},
    {"javax/transaction/xa/Xid", "getBranchQualifier", "()[B"},
};

// In the order of JM_Field.
constexpr Named kFields[JM_FIELD_COUNT] = {
    {"javax/transaction/xa/XAException", "errorCode", "I"},
};

std::atomic<jfieldID> gFieldIds[JM_FIELD_COUNT];

std::atomic<jmethodID> gNamedIds[JM_METHOD_COUNT];

// One method of one class: valid for every object that is an instance of
// the class (a call through it dispatches to the object's own override).
struct Entry {
  std::string name;
  std::string sig;
  jclass cls;  // global
  jmethodID id;
};

// Guards the two tables; see the header for its place among the locks. The
// tables live as long as the process (and the VM): they are made once and
// never destroyed, so nothing of them runs at exit.
plat::Mutex gLock;
auto* const gByName PT_GUARDED_BY(gLock) = new std::unordered_map<uint64_t, std::vector<Entry>>();
auto* const gClasses PT_GUARDED_BY(gLock) =
    new std::unordered_map<std::string, jclass>();  // global references

uint64_t KeyOf(const char* name, const char* sig) {
  uint64_t h = 1469598103934665603ull;
  for (const char* p : {name, sig}) {
    for (; *p != '\0'; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
    h = (h ^ 0xFF) * 1099511628211ull;
  }
  return h;
}

jmethodID Find(JNIEnv* env, jobject obj, jclass cls, uint64_t key, const char* name,
               const char* sig, jclass* owner) {
  plat::Guard<plat::Mutex> g(gLock);
  auto it = gByName->find(key);
  if (it == gByName->end()) return nullptr;
  for (const Entry& e : it->second) {
    if (e.name != name || e.sig != sig) continue;
    if (cls != nullptr ? env->IsSameObject(cls, e.cls) : env->IsInstanceOf(obj, e.cls)) {
      *owner = e.cls;
      return e.id;
    }
  }
  return nullptr;
}

// The methods a thread called last, in front of the shared table: a hit
// costs neither the table's lock nor hashing the name. A slot is found by
// the addresses of name and signature (nearly always literals of the
// calling site) and holds copies of both texts, so a text built at run time
// that happens to reuse an address never matches another method. The class
// is a global reference of the shared table, which lives as long as the VM.
struct Recent {
  static constexpr size_t kName = 48;
  static constexpr size_t kSig = 112;
  const char* namePtr = nullptr;
  const char* sigPtr = nullptr;
  char name[kName] = {};
  char sig[kSig] = {};
  jclass cls = nullptr;
  jmethodID id = nullptr;

  jmethodID Match(JNIEnv* env, jobject obj, jclass asked, const char* n, const char* s) const {
    if (id == nullptr || namePtr != n || sigPtr != s) return nullptr;
    if (std::strcmp(name, n) != 0 || std::strcmp(sig, s) != 0) return nullptr;
    const bool same =
        asked != nullptr ? env->IsSameObject(asked, cls) : env->IsInstanceOf(obj, cls);
    return same ? id : nullptr;
  }
  void Keep(const char* n, const char* s, jclass c, jmethodID m) {
    id = nullptr;
    if (std::strlen(n) >= kName || std::strlen(s) >= kSig) return;
    std::strcpy(name, n);
    std::strcpy(sig, s);
    namePtr = n;
    sigPtr = s;
    cls = c;
    id = m;
  }
};

Recent& RecentSlot(const char* name, const char* sig) {
  constexpr size_t kSlots = 64;
  thread_local Recent slots[kSlots];
  const auto a = reinterpret_cast<uintptr_t>(name);
  const auto b = reinterpret_cast<uintptr_t>(sig);
  return slots[((a >> 3) ^ (a >> 9) ^ (b >> 4)) % kSlots];
}

template <class T>
struct Kind;
template <>
struct Kind<jobject> {
  static jobject Call(JNIEnv* env, jobject o, jmethodID m, va_list ap) {
    return env->CallObjectMethodV(o, m, ap);
  }
};
template <>
struct Kind<uint8_t> {
  static uint8_t Call(JNIEnv* env, jobject o, jmethodID m, va_list ap) {
    return env->CallBooleanMethodV(o, m, ap);
  }
};
template <>
struct Kind<int32_t> {
  static int32_t Call(JNIEnv* env, jobject o, jmethodID m, va_list ap) {
    return env->CallIntMethodV(o, m, ap);
  }
};
struct VoidResult {};
template <>
struct Kind<VoidResult> {
  static VoidResult Call(JNIEnv* env, jobject o, jmethodID m, va_list ap) {
    env->CallVoidMethodV(o, m, ap);
    return {};
  }
};

template <class T>
uint32_t CallNamed(JNIEnv* env, jobject obj, JM_Method m, T* result, va_list ap) {
  if (gLogJavaCalls)
    log_message(LOG_LEVEL_DEBUG, __FILE__, __LINE__, "  Call name=[%s] sig=[%s]", kNamed[m].name,
                kNamed[m].sig);
  if (env == nullptr) return JC_ThrowNPE(env, "env", kNamed[m].name);
  if (obj == nullptr) return JC_ThrowNPE(env, "obj", kNamed[m].name);
  jmethodID id = JM_Id(env, m);
  if (id == nullptr) return ERR_GENERAL;
  T value = Kind<T>::Call(env, obj, id, ap);
  if (result != nullptr) *result = value;
  return env->ExceptionCheck() ? ERR_GENERAL : 0;
}

}  // namespace

jclass JM_SystemClass(JNIEnv* env, const char* name) {
  {
    plat::Guard<plat::Mutex> g(gLock);
    auto it = gClasses->find(name);
    if (it != gClasses->end()) return it->second;
  }
  ++gClassLookups;
  jclass local = env->FindClass(name);
  if (local == nullptr) return nullptr;
  auto global = static_cast<jclass>(env->NewGlobalRef(local));
  env->DeleteLocalRef(local);
  if (global == nullptr) return nullptr;
  plat::Guard<plat::Mutex> g(gLock);
  auto [it, added] = gClasses->emplace(name, global);
  if (!added) env->DeleteGlobalRef(global);  // another thread was first
  return it->second;
}

jmethodID JM_Id(JNIEnv* env, JM_Method m) {
  jmethodID id = gNamedIds[m].load(std::memory_order_acquire);
  if (id != nullptr) return id;
  jclass cls = JM_SystemClass(env, kNamed[m].cls);
  if (cls == nullptr) return nullptr;
  ++gMethodLookups;
  id = env->GetMethodID(cls, kNamed[m].name, kNamed[m].sig);
  if (id != nullptr) gNamedIds[m].store(id, std::memory_order_release);
  return id;
}

const char* JM_Name(JM_Method m) { return kNamed[m].name; }

jfieldID JM_FieldId(JNIEnv* env, JM_Field f, jclass* declaring) {
  jclass cls = nullptr;
  jfieldID id = gFieldIds[f].load(std::memory_order_acquire);
  if (id == nullptr || declaring != nullptr) {
    cls = JM_SystemClass(env, kFields[f].cls);
    if (cls == nullptr) return nullptr;
  }
  if (declaring != nullptr) *declaring = cls;
  if (id != nullptr) return id;
  ++gMethodLookups;
  id = env->GetFieldID(cls, kFields[f].name, kFields[f].sig);
  if (id != nullptr) gFieldIds[f].store(id, std::memory_order_release);
  return id;
}

jmethodID JM_MethodOf(JNIEnv* env, jobject obj, jclass cls, const char* name, const char* sig) {
  ++gCalls;
  Recent& recent = RecentSlot(name, sig);
  if (jmethodID id = recent.Match(env, obj, cls, name, sig)) return id;
  const uint64_t key = KeyOf(name, sig);
  jclass known = nullptr;
  if (jmethodID id = Find(env, obj, cls, key, name, sig, &known)) {
    recent.Keep(name, sig, known, id);
    return id;
  }
  jclass local = nullptr;
  if (cls == nullptr) {
    ++gClassLookups;
    local = env->GetObjectClass(obj);
    if (local == nullptr) return nullptr;
  }
  jclass owner = cls != nullptr ? cls : local;
  ++gMethodLookups;
  jmethodID id = env->GetMethodID(owner, name, sig);
  jobject global = id != nullptr ? env->NewGlobalRef(owner) : nullptr;
  JC_DeleteLocal(env, local);
  if (global == nullptr) return id;
  {
    plat::Guard<plat::Mutex> g(gLock);
    (*gByName)[key].push_back(Entry{name, sig, static_cast<jclass>(global), id});
  }
  recent.Keep(name, sig, static_cast<jclass>(global), id);
  return id;
}

#define QMR_JM_CALL(Fn, T)                                             \
  uint32_t Fn(JNIEnv* env, jobject obj, JM_Method m, T* result, ...) { \
    ++gCalls;                                                          \
    va_list ap;                                                        \
    va_start(ap, result);                                              \
    uint32_t rc = CallNamed<T>(env, obj, m, result, ap);               \
    va_end(ap);                                                        \
    return rc;                                                         \
  }
QMR_JM_CALL(JM_CallObject, jobject)
QMR_JM_CALL(JM_CallBoolean, uint8_t)
QMR_JM_CALL(JM_CallInt, int32_t)
#undef QMR_JM_CALL

uint32_t JM_CallVoid(JNIEnv* env, jobject obj, unsigned m, ...) {
  ++gCalls;
  if (m >= JM_METHOD_COUNT) return ERR_INVALID_ARGUMENT;
  va_list ap;
  va_start(ap, m);
  VoidResult none;
  uint32_t rc = CallNamed<VoidResult>(env, obj, static_cast<JM_Method>(m), &none, ap);
  va_end(ap);
  return rc;
}

JM_Counts JM_GetCounts() { return JM_Counts{gMethodLookups, gClassLookups, gCalls}; }
void JM_CountMethodLookup() { ++gMethodLookups; }
void JM_CountClassLookup() { ++gClassLookups; }
