// A cheap monotonic clock for rate limits on hot paths: read without a
// system call, a few milliseconds coarse.
#ifndef QMR_PLATFORM_CLOCK_H
#define QMR_PLATFORM_CLOCK_H

#include <cstdint>

namespace plat {

// Milliseconds since an arbitrary start, never going back.
int64_t coarse_ms();

}  // namespace plat

#endif
