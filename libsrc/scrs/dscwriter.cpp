#include "scrs/dscwriter.h"

#include <cassert>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

#include "util/errcodes.h"

DscWriter::DscWriter(RF_STREAM* out, FILE* index) : out_(out), index_(index) {
  // No thread to be had leaves it null: Put writes on the caller's thread.
  thread_ = plat::Thread::start(&DscWriter::RunThread, this);
}

uint32_t DscWriter::RunThread(void* self) {
  static_cast<DscWriter*>(self)->Run();
  return 0;
}

// Waits for the writer's end whatever happens to the caller: a join gives
// up at once on a thread asked to stop (a worker thread being shut down),
// but the writer uses the files and this object until it ends.
void DscWriter::Join() {
  if (thread_ == nullptr) return;
  // The writing thread would wait for its own end.
  assert(writer_.load(std::memory_order_relaxed) != std::this_thread::get_id());
  while (!thread_->join() && thread_->running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  thread_->close();
  thread_ = nullptr;
}

DscWriter::~DscWriter() { Stop(); }

int DscWriter::Put(COLSET* set, bool own) {
  Job job{own ? *set : COLSET{}, own ? nullptr : set};
  if (thread_ == nullptr) {
    {
      plat::Guard<plat::Mutex> g(mu_);
      if (failed_) return ERR_GENERAL;
    }
    int err = 0;
    const bool ok = Write(&job, &err);
    if (own) *set = COLSET{};
    plat::Guard<plat::Mutex> g(mu_);
    if (!ok && !failed_) {
      failed_ = true;
      error_ = err;
    }
    return failed_ ? ERR_GENERAL : 0;
  }
  {
    plat::UniqueLock<plat::Mutex> lock(mu_);
    while (!failed_ && queue_.size() >= kMostQueued) changed_.wait(lock);
    if (failed_) return ERR_GENERAL;  // the set stays the caller's to free
    try {
      queue_.push_back(job);
    } catch (const std::bad_alloc&) {
      return ERR_NO_MEMORY;
    }
  }
  if (own) *set = COLSET{};
  changed_.notify_all();
  return 0;
}

int DscWriter::Finish() {
  {
    plat::Guard<plat::Mutex> g(mu_);
    ending_ = true;
  }
  changed_.notify_all();
  Join();
  plat::Guard<plat::Mutex> g(mu_);
  return failed_ ? ERR_GENERAL : 0;
}

int DscWriter::Failure() {
  plat::Guard<plat::Mutex> g(mu_);
  return error_;
}

void DscWriter::Run() {
  writer_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  plat::Thread::name_here("qmr-cachewrite");
  for (;;) {
    Job job{};
    {
      plat::UniqueLock<plat::Mutex> lock(mu_);
      while (queue_.empty() && !ending_) changed_.wait(lock);
      if (queue_.empty()) return;
      job = queue_.front();
      queue_.pop_front();
    }
    changed_.notify_all();  // room in the queue
    int err = 0;
    const bool ok = Write(&job, &err);
    if (ok) continue;
    std::deque<Job> dropped;
    {
      plat::Guard<plat::Mutex> g(mu_);
      if (!failed_) {
        failed_ = true;
        error_ = err;
      }
      dropped.swap(queue_);
    }
    changed_.notify_all();  // a waiting Put learns of the failure
    for (Job& j : dropped) {
      if (j.lent == nullptr) ColSetFreeColumns(&j.set);
    }
  }
}

bool DscWriter::OnFileSide() const {
  const std::thread::id writer = writer_.load(std::memory_order_relaxed);
  if (writer != std::thread::id()) return writer == std::this_thread::get_id();
  // No writing thread has run yet: the caller's, unless one was started.
  return thread_ == nullptr;
}

bool DscWriter::Write(Job* job, int* err) {
  assert(OnFileSide());
  COLSET* set = job->lent != nullptr ? job->lent : &job->set;
  errno = 0;
  const bool ok = RF_WriteRows(out_, set, index_) != 0;
  *err = ok ? 0 : errno;
  if (job->lent == nullptr) ColSetFreeColumns(&job->set);
  return ok;
}

void DscWriter::Stop() {
  std::deque<Job> dropped;
  {
    plat::Guard<plat::Mutex> g(mu_);
    ending_ = true;
    dropped.swap(queue_);
  }
  changed_.notify_all();
  Join();
  for (Job& j : dropped) {
    if (j.lent == nullptr) ColSetFreeColumns(&j.set);
  }
}
