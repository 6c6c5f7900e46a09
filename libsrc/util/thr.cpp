#include "util/thr.h"

#include <new>

#include "platform/event.h"
#include "platform/semaphore.h"
#include "platform/thread.h"
#include "platform/waitable.h"

uint32_t thr_start_thunk(void* start_record) {
  const THR_START* s = static_cast<const THR_START*>(start_record);
  return s->function(s->argument);
}

int thr_create(THR_THREAD* thread, THR_START* start) {
  if (!thread) return 0;
  thread->start = start;
  thread->handle = nullptr;
  thread->id = 0;
  if (!start || !start->function) return 0;
  plat::Thread* t = plat::Thread::start(&thr_start_thunk, start);
  if (!t) return 0;
  thread->handle = t;
  thread->id = t->id();
  return 1;
}

void thr_close(THR_THREAD* thread) {
  if (!thread || !thread->handle) return;
  thread->handle->close();
  thread->handle = nullptr;
}

int thr_wait(THR_THREAD* thread) {
  return thread && thread->handle && thread->handle->join() ? 1 : 0;
}

int thr_request_stop(THR_THREAD* thread, uint32_t exit_code) {
  return thread && thread->handle && thread->handle->request_stop(exit_code) ? 1 : 0;
}

int thr_kill(THR_THREAD* thread, uint32_t exit_code) {
  if (!thread || !thread->handle) return 0;
  plat::Thread* t = thread->handle;
  t->request_stop(exit_code);
  if (plat::Thread::current() == t) return 1;
  return t->join() ? 1 : 0;
}

int thr_stop_requested() { return plat::Thread::stop_requested_here() ? 1 : 0; }

int thr_is_running(THR_THREAD* thread) {
  if (!thread || !thread->handle) return 0;
  return thread->handle->exit_code() == THR_STILL_ACTIVE ? 1 : 0;
}

uint32_t thr_exit_code(THR_THREAD* thread) {
  return thread && thread->handle ? thread->handle->exit_code() : 0;
}

plat::Thread* thr_handle(const THR_THREAD* thread) { return thread ? thread->handle : nullptr; }
plat::Event* thr_handle(const THR_EVENT* event) { return event ? event->handle : nullptr; }
plat::Semaphore* thr_handle(const THR_SEMAPHORE* semaphore) {
  return semaphore ? semaphore->handle : nullptr;
}

int evt_create(THR_EVENT* event, uint32_t initial_state) {
  if (!event) return 0;
  event->handle = new (std::nothrow) plat::Event(initial_state != 0);
  return event->handle ? 1 : 0;
}

void evt_close(THR_EVENT* event) {
  if (!event) return;
  delete event->handle;
  event->handle = nullptr;
}

int evt_set(THR_EVENT* event) {
  if (!event || !event->handle) return 0;
  event->handle->set();
  return 1;
}

int evt_wait(THR_EVENT* event) { return event && event->handle && event->handle->wait() ? 1 : 0; }

int sem_create(THR_SEMAPHORE* semaphore, uint32_t initial, uint32_t maximum) {
  if (!semaphore) return 0;
  semaphore->handle = new (std::nothrow) plat::Semaphore(initial, maximum);
  return semaphore->handle ? 1 : 0;
}

void sem_close(THR_SEMAPHORE* semaphore) {
  if (!semaphore) return;
  delete semaphore->handle;
  semaphore->handle = nullptr;
}

int sem_release(THR_SEMAPHORE* semaphore) {
  return semaphore && semaphore->handle && semaphore->handle->release(1) ? 1 : 0;
}

int sem_wait(THR_SEMAPHORE* semaphore) {
  return semaphore && semaphore->handle && semaphore->handle->wait() ? 1 : 0;
}

void waitset_clear(THR_WAITSET* set) {
  if (set) set->count = 0;
}

namespace {

int waitset_add(THR_WAITSET* set, plat::Waitable* w) {
  if (!set || !w || set->count >= THR_WAITSET_MAX) return 0;
  set->handles[set->count++] = w;
  return 1;
}

}  // namespace

int waitset_add_event(THR_WAITSET* set, THR_EVENT* event) {
  return waitset_add(set, thr_handle(event));
}

int waitset_add_sem(THR_WAITSET* set, THR_SEMAPHORE* semaphore) {
  return waitset_add(set, thr_handle(semaphore));
}

int waitset_add_thread(THR_WAITSET* set, THR_THREAD* thread) {
  return waitset_add(set, thr_handle(thread));
}

namespace {

int waitset_wait_for(THR_WAITSET* set, uint32_t wait_all, int64_t timeout_ms) {
  if (!set) return THR_WAIT_FAILED;
  if (set->count == 0) return THR_WAIT_EMPTY;
  const int r = wait_all ? plat::wait_all(set->handles, set->count, timeout_ms)
                         : plat::wait_any(set->handles, set->count, timeout_ms);
  if (r >= 0) return r;
  return r == plat::kWaitTimeout ? THR_WAIT_TIMEOUT : THR_WAIT_FAILED;
}

}  // namespace

int waitset_wait(THR_WAITSET* set, uint32_t wait_all) {
  return waitset_wait_for(set, wait_all, plat::kInfinite);
}

int waitset_wait_timed(THR_WAITSET* set, uint32_t wait_all, uint32_t timeout_ms) {
  return waitset_wait_for(set, wait_all, timeout_ms);
}
