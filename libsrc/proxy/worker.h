// A connection's worker thread: the one thread that runs the agent's work
// for a connection whose XA side is open. A caller hands it one task and
// waits, without a time limit, until the task has run; one task at a time.
#ifndef QMR_PROXY_WORKER_H
#define QMR_PROXY_WORKER_H

#include <cstdint>

#include "platform/event.h"
#include "platform/lock.h"
#include "platform/thread.h"

// The name the system's tools show for a worker thread.
constexpr const char* kWorkerThreadName = "qmr-xa-worker";

class WRK_Thread {
 public:
  using Task = void (*)(void* arg);

  // A running worker, or null when no thread could be started.
  static WRK_Thread* Start();
  // Asks the worker to stop, waits for its end and frees it. Never ends the
  // thread by force: a thread killed could leave a lock of the VM held.
  static void Stop(WRK_Thread* worker);

  // Runs task(arg) on the worker. False when it was not handed over (the
  // thread had ended) or the worker ended before the task finished (it
  // threw, or the thread was ended inside it): the caller never waits for a
  // worker that is gone.
  bool Run(Task task, void* arg);
  // The kernel's id of the worker thread.
  uint32_t ThreadId() const { return thread_->id(); }

  WRK_Thread(const WRK_Thread&) = delete;
  WRK_Thread& operator=(const WRK_Thread&) = delete;

 private:
  struct Posted {
    Task task;
    void* arg;
    bool finished;
  };
  WRK_Thread() = default;
  ~WRK_Thread();
  static uint32_t Loop(void* self);
  bool RunPosted();

  // Taken by a caller for the whole handover and by Stop, so one task at a
  // time reaches the worker and none arrives while it stops. Taken with no
  // other lock of this subsystem held.
  plat::Mutex callers_;
  // Written by the caller before full_ is set and read by the worker after
  // its wait; the events' shared mutex orders the two.
  Posted* posted_ = nullptr;
  plat::Event full_;
  plat::Event done_;
  plat::Event stop_;
  plat::Thread* thread_ = nullptr;
};

#endif
