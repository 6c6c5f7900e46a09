// A set of up to 64 waitables that one thread waits on.
#ifndef QMR_PLATFORM_WAITSET_H
#define QMR_PLATFORM_WAITSET_H

#include <array>
#include <cstddef>

#include "platform/waitable.h"

namespace plat {

class WaitSet {
 public:
  // False (set unchanged) when the set is full or the object is null.
  bool add(Waitable* w) {
    if (!w || n_ == objects_.size()) return false;
    objects_[n_++] = w;
    return true;
  }
  void clear() { n_ = 0; }
  size_t size() const { return n_; }

  int wait_any(int64_t timeout_ms = kInfinite) const {
    return plat::wait_any(objects_.data(), n_, timeout_ms);
  }
  int wait_all(int64_t timeout_ms = kInfinite) const {
    return plat::wait_all(objects_.data(), n_, timeout_ms);
  }

 private:
  std::array<Waitable*, kMaxWaitObjects> objects_{};
  size_t n_ = 0;
};

}  // namespace plat

#endif
