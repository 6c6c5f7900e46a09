#include "platform/lock.h"

#include <atomic>

namespace plat {

uint64_t Gate::self() {
  static std::atomic<uint64_t> next{1};
  thread_local const uint64_t me = next.fetch_add(1, std::memory_order_relaxed);
  return me;
}

void Gate::lock() {
  std::unique_lock<std::mutex> g(m_);
  const uint64_t me = self();
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return;
  }
  cv_.wait(g, [this] { return depth_ == 0; });
  owner_ = me;
  depth_ = 1;
}

bool Gate::try_lock() {
  std::lock_guard<std::mutex> g(m_);
  const uint64_t me = self();
  if (depth_ > 0 && owner_ != me) return false;
  owner_ = me;
  ++depth_;
  return true;
}

void Gate::unlock() {
  std::lock_guard<std::mutex> g(m_);
  if (depth_ == 0) return;
  if (--depth_ == 0) {
    owner_ = 0;
    cv_.notify_one();
  }
}

unsigned Gate::release_all() {
  std::lock_guard<std::mutex> g(m_);
  unsigned d = depth_;
  depth_ = 0;
  owner_ = 0;
  if (d) cv_.notify_one();
  return d;
}

bool Gate::held_by_me() const {
  std::lock_guard<std::mutex> g(m_);
  return depth_ > 0 && owner_ == self();
}

bool Gate::held() const {
  std::lock_guard<std::mutex> g(m_);
  return depth_ > 0;
}

}  // namespace plat
