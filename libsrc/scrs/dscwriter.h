// The filling cache's writer: rows coded and written to the row files on a
// thread of its own, so that the agent fetches the next rows meanwhile.
//
// The fill hands over its sets one by one and never touches the files
// while the writer runs; Finish (or the destructor) joins the thread, so
// no write outlives the fill and the files are the caller's again after
// it. At most kMostQueued sets wait at a time, which bounds the rows in
// memory beside the cache's own. When no thread can be started the sets
// are written on the caller's thread, as they are handed over.
#ifndef QMR_SCRS_DSCWRITER_H
#define QMR_SCRS_DSCWRITER_H

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <thread>

#include "platform/lock.h"
#include "platform/thread.h"
#include "platform/thread_annotations.h"
#include "scrs/rowfile.h"
#include "util/colset.h"

class DscWriter {
 public:
  static constexpr size_t kMostQueued = 4;

  // out: a stream readied by RF_BeginFile on the data file; index: the
  // index file. Both stay the writer's until Finish or the destructor.
  DscWriter(RF_STREAM* out, FILE* index);
  // Drops what still waits (freeing the sets handed over) and joins.
  ~DscWriter();
  DscWriter(const DscWriter&) = delete;
  DscWriter& operator=(const DscWriter&) = delete;

  // Queues a set's rows for the files, waiting while kMostQueued sets
  // wait. With own, its storage moves to the writer (which frees it) and
  // *set is left empty; without, the caller keeps it unchanged until
  // Finish. 0, or ERR_GENERAL when a write failed already (nothing is
  // queued then; Failure tells why).
  int Put(COLSET* set, bool own) EXCLUDES(mu_);

  // Waits until every set is written and ends the thread. 0 or ERR_GENERAL.
  int Finish() EXCLUDES(mu_);

  // The errno of the failed write (0 when it set none, or none failed).
  int Failure() EXCLUDES(mu_);

 private:
  struct Job {
    COLSET set;    // owned: the rows themselves
    COLSET* lent;  // not owned: the caller's set
  };

  static uint32_t RunThread(void* self);
  void Run() EXCLUDES(mu_);
  void Join();
  // Codes and writes one set; frees it when owned. Sets *err to the errno
  // of a failure.
  bool Write(Job* job, int* err);
  void Stop() EXCLUDES(mu_);
  // Whether the calling thread may use the files now: the writing thread
  // once it runs, the caller's when there is none.
  bool OnFileSide() const;

  RF_STREAM* out_;  // used by the writing thread alone while it runs
  FILE* index_;
  // Guards the queue and the outcome between the fill's thread and the
  // writer's. A leaf: nothing else is taken while it is held (the fill's
  // thread may hold the connection's call lock when it takes it; the
  // writer's thread holds nothing else).
  plat::Mutex mu_;
  std::condition_variable_any changed_;  // a job queued or done, a failure, the end
  std::deque<Job> queue_ GUARDED_BY(mu_);
  bool ending_ GUARDED_BY(mu_) = false;  // no more jobs: the thread ends when the queue is empty
  bool failed_ GUARDED_BY(mu_) = false;
  int error_ GUARDED_BY(mu_) = 0;
  plat::Thread* thread_ = nullptr;  // null: writes happen on the caller's thread
  // The writing thread, which names itself first thing (only the writing
  // thread reads its own id here, so no lock).
  std::atomic<std::thread::id> writer_{};
};

#endif
