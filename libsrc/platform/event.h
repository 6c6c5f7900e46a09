// Unnamed auto-reset event: set() lets exactly one wait through, which
// consumes the signal.
#ifndef QMR_PLATFORM_EVENT_H
#define QMR_PLATFORM_EVENT_H

#include "platform/waitable.h"

namespace plat {

class Event final : public Waitable {
 public:
  explicit Event(bool initially_set = false) : set_(initially_set) {}
  ~Event() override = default;

  void set();
  // Clears a pending signal without waiting.
  void reset();
  // True when signalled within the time limit (the signal is consumed).
  bool wait(int64_t timeout_ms = kInfinite) { return wait_one(this, timeout_ms); }

 private:
  bool signalled_locked() const override REQUIRES(family::mutex()) { return set_; }
  void consume_locked() override REQUIRES(family::mutex()) { set_ = false; }

  bool set_ GUARDED_BY(family::mutex());
};

}  // namespace plat

#endif
