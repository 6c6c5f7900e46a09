#include "platform/clock.h"

#include <time.h>

namespace plat {

int64_t coarse_ms() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace plat
