#include "platform/lock.h"

namespace plat {

void Gate::lock() {
  std::unique_lock<std::mutex> g(m_);
  const auto me = std::this_thread::get_id();
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
  const auto me = std::this_thread::get_id();
  if (depth_ > 0 && owner_ != me) return false;
  owner_ = me;
  ++depth_;
  return true;
}

void Gate::unlock() {
  std::lock_guard<std::mutex> g(m_);
  if (depth_ == 0) return;
  if (--depth_ == 0) {
    owner_ = std::thread::id{};
    cv_.notify_one();
  }
}

unsigned Gate::release_all() {
  std::lock_guard<std::mutex> g(m_);
  unsigned d = depth_;
  depth_ = 0;
  owner_ = std::thread::id{};
  if (d) cv_.notify_one();
  return d;
}

bool Gate::held_by_me() const {
  std::lock_guard<std::mutex> g(m_);
  return depth_ > 0 && owner_ == std::this_thread::get_id();
}

bool Gate::held() const {
  std::lock_guard<std::mutex> g(m_);
  return depth_ > 0;
}

}  // namespace plat
