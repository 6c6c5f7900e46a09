#include "scrs/dscwriter.h"

#include <cerrno>
#include <new>
#include <system_error>

#include "platform/thread.h"
#include "util/errcodes.h"

DscWriter::DscWriter(RF_STREAM* out, FILE* index) : out_(out), index_(index) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: Put writes on the caller's thread.
  }
}

DscWriter::~DscWriter() { Stop(); }

int DscWriter::Put(COLSET* set, bool own) {
  Job job{own ? *set : COLSET{}, own ? nullptr : set};
  if (!thread_.joinable()) {
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
  if (thread_.joinable()) thread_.join();
  plat::Guard<plat::Mutex> g(mu_);
  return failed_ ? ERR_GENERAL : 0;
}

int DscWriter::Failure() {
  plat::Guard<plat::Mutex> g(mu_);
  return error_;
}

void DscWriter::Run() {
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

bool DscWriter::Write(Job* job, int* err) {
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
  if (thread_.joinable()) thread_.join();
  for (Job& j : dropped) {
    if (j.lent == nullptr) ColSetFreeColumns(&j.set);
  }
}
