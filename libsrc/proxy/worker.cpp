#include "proxy/worker.h"

#include <cassert>
#include <exception>

#include "drv_jdbc/j-vm.h"
#include "platform/waitable.h"
#include "util/log.h"

namespace {
// Whatever way the task leaves, its caller is woken: at the end of the task,
// or when the thread is ended inside it (the unwinding runs this too).
struct WakeCaller {
  plat::Event& done;
  ~WakeCaller() { done.set(); }
};
}  // namespace

WRK_Thread* WRK_Thread::Start() {
  auto* w = new WRK_Thread;
  w->thread_ = plat::Thread::start(&WRK_Thread::Loop, w);
  if (w->thread_ == nullptr) {
    delete w;
    return nullptr;
  }
  return w;
}

WRK_Thread::~WRK_Thread() {
  if (thread_ != nullptr) thread_->close();
}

void WRK_Thread::Stop(WRK_Thread* w) {
  if (w == nullptr) return;
  {
    plat::Guard<plat::Mutex> g(w->callers_);
    w->stop_.set();
    // The worker itself cannot wait for its own end; it sees the stop
    // request at its next wait and the object goes with the process.
    if (plat::Thread::current() == w->thread_) return;
    w->thread_->join();
  }
  delete w;
}

bool WRK_Thread::Run(Task task, void* arg) {
  // The worker would wait for itself: its own work runs in place.
  assert(plat::Thread::current() != thread_);
  plat::Guard<plat::Mutex> g(callers_);
  if (!thread_->running()) return false;
  Posted p{task, arg, false};
  posted_ = &p;
  full_.set();
  plat::Waitable* ends[] = {&done_, thread_};
  const int which = plat::wait_any(ends, 2);
  posted_ = nullptr;
  if (which != 0) full_.reset();  // a task the ended thread never took
  return which >= 0 && p.finished;
}

bool WRK_Thread::RunPosted() {
  Posted* p = posted_;
  // full_ is set only with a task posted.
  assert(p != nullptr && plat::Thread::current() == thread_);
  WakeCaller wake{done_};
  // Only the C++ failures are caught: a thread being ended (pthread_exit)
  // unwinds through here and must go on, waking the caller on its way.
  try {
    p->task(p->arg);
  } catch (const std::exception&) {
    log_message(3, "xa", __LINE__, "worker thread: a task failed; the worker ends");
    return false;
  }
  p->finished = true;
  return true;
}

uint32_t WRK_Thread::Loop(void* self) {
  auto* w = static_cast<WRK_Thread*>(self);
  plat::Thread::name_here(kWorkerThreadName);
  for (;;) {
    plat::Waitable* wakers[] = {&w->stop_, &w->full_};
    if (plat::wait_any(wakers, 2) != 1) break;
    if (!w->RunPosted()) break;
  }
  // The agent attached this thread to the VM on its first task.
  detachJVM();
  return 0;
}
