#include "platform/semaphore.h"

#include "platform/waitable_family.h"

namespace plat {

Semaphore::Semaphore(uint32_t initial, uint32_t maximum) : count_(0), max_(maximum ? maximum : 1) {
  count_ = initial > max_ ? max_ : initial;
}

bool Semaphore::release(uint32_t n) {
  Guard<Mutex> g(family::mutex());
  if (n > max_ - count_) return false;
  count_ += n;
  if (n) family::cond().notify_all();
  return true;
}

uint32_t Semaphore::count() const {
  Guard<Mutex> g(family::mutex());
  return count_;
}

}  // namespace plat
