// Thread layer: threads, auto-reset events, counting semaphores and a wait
// set over up to 64 of them, as thin records over the platform's objects.
//
// Stopping a thread. There is no forced termination: killing a thread that
// holds a lock, or is inside the Java VM, leaves the process broken.
// thr_kill() asks the thread to stop and then waits for it to end:
//   - from that moment every wait the thread makes on these objects
//     (evt_wait, sem_wait, waitset_wait, thr_wait) fails at once, so a
//     thread blocked in one wakes up with a failure and can return;
//   - a thread that computes without waiting polls thr_stop_requested();
//   - the exit code passed to thr_kill becomes the thread's exit code,
//     whatever its function returns.
// thr_request_stop() does the same without waiting for the end.
//
// Records are not locked: each is created by one thread and afterwards
// shared only through the objects' own synchronisation. A wait set is used
// by the one thread that waits on it. Closing an object that another thread
// is waiting on, or that sits in a set being waited on, is an error.
#ifndef QMR_UTIL_THR_H
#define QMR_UTIL_THR_H

#include <cstdint>

namespace plat {
class Waitable;
class Thread;
class Event;
class Semaphore;
}  // namespace plat

// Thread function; its result becomes the thread's exit code.
typedef uint32_t (*THR_FUNC)(void* argument);

// What a new thread runs. It must stay valid until the thread has started
// (thr_create returns only after that).
struct THR_START {
  THR_FUNC function;
  void* argument;
};

struct THR_THREAD {
  plat::Thread* handle;  // null when the thread could not be started or was closed
  THR_START* start;
  uint32_t id;  // the kernel's thread id
};

struct THR_EVENT {
  plat::Event* handle;
};

struct THR_SEMAPHORE {
  plat::Semaphore* handle;
};

constexpr uint32_t THR_WAITSET_MAX = 64;

struct THR_WAITSET {
  plat::Waitable* handles[THR_WAITSET_MAX];
  uint32_t count;
};

// The exit code a thread reports while it runs ("still active").
constexpr uint32_t THR_STILL_ACTIVE = 259;

// Wait results other than an index (0 for the first object added).
constexpr int THR_WAIT_EMPTY = -1;    // the set was empty; nothing waited
constexpr int THR_WAIT_FAILED = -2;   // a null object, or the waiting thread was asked to stop
constexpr int THR_WAIT_TIMEOUT = -3;  // only from the timed variant

// Starts start->function(start->argument) on a new thread (default stack
// size), running through thr_start_thunk. Stores the start record, handle
// and id. Returns 1; 0 when the thread could not be started (handle null).
int thr_create(THR_THREAD* thread, THR_START* start);
// The body of every thread: returns function(argument).
uint32_t thr_start_thunk(void* start_record);
// Releases the handle; the thread runs on.
void thr_close(THR_THREAD* thread);
// Waits without time limit for the thread's end: 1 when it ended, 0 when
// the wait failed (no handle, a thread waiting for itself, or the waiting
// thread was asked to stop).
int thr_wait(THR_THREAD* thread);
// Asks the thread to stop with the given exit code and, unless the caller
// is the thread itself, waits for its end (see the top of this file).
// Returns 1, or 0 when the record holds no thread or the wait failed.
int thr_kill(THR_THREAD* thread, uint32_t exit_code);
// Asks the thread to stop with the given exit code without waiting.
// Returns 1, or 0 when the record holds no thread or it has already ended.
int thr_request_stop(THR_THREAD* thread, uint32_t exit_code);
// 1 when the calling thread was started by thr_create and asked to stop.
int thr_stop_requested();
// 1 while the thread's exit code is THR_STILL_ACTIVE: a thread whose
// function returned 259 therefore still counts as running. 0 when it has
// ended or the record holds no thread.
int thr_is_running(THR_THREAD* thread);
// The exit code: THR_STILL_ACTIVE while running; 0 without a handle.
uint32_t thr_exit_code(THR_THREAD* thread);

// The platform object of a record.
plat::Thread* thr_handle(const THR_THREAD* thread);
plat::Event* thr_handle(const THR_EVENT* event);
plat::Semaphore* thr_handle(const THR_SEMAPHORE* semaphore);

// Auto-reset event, signalled at once when initial_state is non-zero.
// create: 1, or 0 (handle null) when out of memory.
int evt_create(THR_EVENT* event, uint32_t initial_state);
void evt_close(THR_EVENT* event);
// Signals the event: one wait goes through and resets it. 1, or 0 without a handle.
int evt_set(THR_EVENT* event);
// 1 when signalled (consuming the signal), 0 when the wait failed.
int evt_wait(THR_EVENT* event);

// Counting semaphore. create: 1, or 0 (handle null) when out of memory.
int sem_create(THR_SEMAPHORE* semaphore, uint32_t initial, uint32_t maximum);
void sem_close(THR_SEMAPHORE* semaphore);
// Raises the count by 1: 1, or 0 when that would pass the maximum (count
// unchanged) or there is no handle.
int sem_release(THR_SEMAPHORE* semaphore);
// 1 when a unit was taken, 0 when the wait failed.
int sem_wait(THR_SEMAPHORE* semaphore);

void waitset_clear(THR_WAITSET* set);
// Append the record's object: 1, or 0 when the set already holds 64 objects
// or the record holds none.
int waitset_add_event(THR_WAITSET* set, THR_EVENT* event);
int waitset_add_sem(THR_WAITSET* set, THR_SEMAPHORE* semaphore);
int waitset_add_thread(THR_WAITSET* set, THR_THREAD* thread);
// THR_WAIT_EMPTY for an empty set, without blocking. Otherwise waits
// without time limit: wait_all 0 -> the index of the first signalled object,
// which is consumed (an event reset, one semaphore unit taken; a thread is
// signalled once ended); wait_all non-zero -> 0 once every object is
// signalled at the same moment, all consumed in one step. THR_WAIT_FAILED
// on failure (also for an object added twice in a wait for all).
int waitset_wait(THR_WAITSET* set, uint32_t wait_all);
// The same with a time limit in milliseconds; THR_WAIT_TIMEOUT when it passes.
int waitset_wait_timed(THR_WAITSET* set, uint32_t wait_all, uint32_t timeout_ms);

#endif
