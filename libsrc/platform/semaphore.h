// Unnamed counting semaphore with a maximum count.
#ifndef QMR_PLATFORM_SEMAPHORE_H
#define QMR_PLATFORM_SEMAPHORE_H

#include <cstdint>

#include "platform/waitable.h"

namespace plat {

class Semaphore final : public Waitable {
 public:
  // The initial count is clamped to the maximum; a maximum of 0 is taken as 1.
  Semaphore(uint32_t initial, uint32_t maximum);
  ~Semaphore() override = default;

  // Raises the count by n. Refuses (false, count unchanged) when that would
  // pass the maximum.
  bool release(uint32_t n = 1);
  // True when a unit was taken within the time limit.
  bool wait(int64_t timeout_ms = kInfinite) { return wait_one(this, timeout_ms); }
  uint32_t count() const;

 private:
  bool signalled_locked() const override REQUIRES(family::mutex()) { return count_ > 0; }
  void consume_locked() override REQUIRES(family::mutex()) { --count_; }

  uint32_t count_ GUARDED_BY(family::mutex());
  const uint32_t max_;
};

}  // namespace plat

#endif
