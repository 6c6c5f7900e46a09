// A support class the agent carries (j-classload.h) together with the
// members native code calls on it, looked up once per process. Only the
// first callers take the lock, for the lookup itself; once the class is
// found or known to be missing, the answer is one atomic read, so the
// execute, describe and fetch paths take no lock for it.
#ifndef QMR_DRV_JDBC_J_CARRIED_H
#define QMR_DRV_JDBC_J_CARRIED_H

#include <jni.h>

#include <atomic>
#include <cstdint>

#include "platform/lock.h"
#include "platform/thread_annotations.h"

namespace carried {

using Define = uint32_t (*)(JNIEnv* env, jclass* out);

// The class from define (a local reference), or null (logged: "Can't
// define <name> class; <without>") with no exception left pending.
jclass Load(JNIEnv* env, const char* name, const char* without, Define define);
// A global reference to cls when complete and no exception is pending, else
// null (logged: "<name> class is incomplete; <without>"). Clears any
// pending exception and releases the local cls.
jclass Keep(JNIEnv* env, jclass cls, bool complete, const char* name, const char* without);

}  // namespace carried

// Members is a plain struct of method and field IDs with a `jclass cls`
// (the global reference, set here); Resolve fills the IDs from the class
// and says whether it found them all.
template <class Members>
class CarriedClass {
 public:
  using Resolve = bool (*)(JNIEnv* env, jclass cls, Members* m);

  // name: the class's simple name, for the log; without: what the agent
  // does without it ("rows are read value by value").
  CarriedClass(const char* name, const char* without, carried::Define define, Resolve resolve)
      : name_(name), without_(without), define_(define), resolve_(resolve) {}

  // The class and its members, or null when it is not available (looked up
  // once: a missing class is not looked for again).
  const Members* Get(JNIEnv* env) EXCLUDES(lock_) {
    const int state = state_.load(std::memory_order_acquire);
    if (state != kUnknown) return state == kFound ? &found_ : nullptr;
    return LookUp(env);
  }

 private:
  enum : int { kUnknown, kFound, kMissing };

  const Members* LookUp(JNIEnv* env) EXCLUDES(lock_) {
    plat::Guard<plat::Mutex> g(lock_);
    const int state = state_.load(std::memory_order_relaxed);
    if (state != kUnknown) return state == kFound ? &found_ : nullptr;
    Members m;
    jclass cls = carried::Load(env, name_, without_, define_);
    if (cls != nullptr) {
      const bool complete = resolve_(env, cls, &m);
      m.cls = carried::Keep(env, cls, complete, name_, without_);
    }
    if (m.cls != nullptr) found_ = m;
    state_.store(m.cls != nullptr ? kFound : kMissing, std::memory_order_release);
    return m.cls != nullptr ? &found_ : nullptr;
  }

  const char* const name_;
  const char* const without_;
  const carried::Define define_;
  const Resolve resolve_;
  // Serialises the lookup alone. Taken with any of the agent's locks held
  // (a statement's call); under it only the logger's lock is taken.
  plat::Mutex lock_;
  // kUnknown until the lookup ends; kFound is stored (release) after found_
  // is written, and found_ is read only after kFound is loaded (acquire):
  // written once under lock_, read without it.
  std::atomic<int> state_{kUnknown};
  Members found_{};
};

#endif
