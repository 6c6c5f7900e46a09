#include "platform/thread.h"

#include <pthread.h>

#include <sys/syscall.h>
#include <unistd.h>
#include <cstring>

#include "platform/waitable_family.h"

namespace plat {

namespace {
thread_local Thread* t_current = nullptr;
}

Thread* Thread::start(Func func, void* arg) {
  if (!func) return nullptr;
  Thread* t = new Thread(func, arg);
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    delete t;
    return nullptr;
  }
  // Nobody joins: the end is seen through the waitable, and the object
  // outlives the thread through its reference count.
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t pt;
  const int rc = pthread_create(&pt, &attr, &Thread::trampoline, t);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete t;
    return nullptr;
  }
  // The id is the kernel's, known only inside the thread; callers expect it
  // as soon as start() returns.
  UniqueLock<Mutex> g(family::mutex());
  while (t->tid_ == 0) family::cond().wait(g);
  return t;
}

namespace {
// Marks the thread ended however its function leaves: by returning, or by
// pthread_exit inside it (the unwinding runs this too), so that a thread
// ended that way is never waited for in vain.
struct EndMark {
  Thread* t;
  uint32_t code = Thread::kStillActive;
  bool returned = false;
  ~EndMark() { ThreadEnd::mark(t, returned, code); }
};
}  // namespace

void ThreadEnd::mark(Thread* t, bool returned, uint32_t code) {
  {
    Guard<Mutex> g(family::mutex());
    if (!t->override_code_) t->exit_code_ = returned ? code : 0;
    t->ended_ = true;
    family::cond().notify_all();
  }
  t_current = nullptr;
  t->unref();
}

void* Thread::trampoline(void* self) {
  Thread* t = static_cast<Thread*>(self);
  t_current = t;
  {
    Guard<Mutex> g(family::mutex());
    t->tid_ = static_cast<uint32_t>(syscall(SYS_gettid));
    family::cond().notify_all();
  }
  EndMark end{t};
  end.code = t->func_(t->arg_);
  end.returned = true;
  return nullptr;
}

Thread* Thread::current() { return t_current; }

void Thread::name_here(const char* name) {
  char cut[16] = {};
  std::strncpy(cut, name, sizeof cut - 1);
  pthread_setname_np(pthread_self(), cut);
}

bool Thread::stop_requested_here() {
  const Thread* me = t_current;
  return me && me->stop_requested();
}

void Thread::unref() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void Thread::close() { unref(); }

bool Thread::running() const {
  Guard<Mutex> g(family::mutex());
  return !ended_;
}

uint32_t Thread::exit_code() const {
  Guard<Mutex> g(family::mutex());
  return ended_ ? exit_code_ : kStillActive;
}

bool Thread::join(int64_t timeout_ms) {
  if (t_current == this) return false;
  return wait_one(this, timeout_ms);
}

bool Thread::request_stop() { return request_stop_impl(false, 0); }

bool Thread::request_stop(uint32_t exit_code) { return request_stop_impl(true, exit_code); }

bool Thread::request_stop_impl(bool override_code, uint32_t code) {
  Guard<Mutex> g(family::mutex());
  if (ended_) return false;
  stop_ = true;
  if (override_code) {
    override_code_ = true;
    exit_code_ = code;
  }
  // Wakes the thread if it is blocked in a wait of the family.
  family::cond().notify_all();
  return true;
}

bool Thread::stop_requested() const {
  Guard<Mutex> g(family::mutex());
  return stop_;
}

}  // namespace plat
