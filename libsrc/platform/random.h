// Unpredictable numbers from the operating system, for values that must not
// repeat between processes (they are never used as secrets).
#ifndef QMR_PLATFORM_RANDOM_H
#define QMR_PLATFORM_RANDOM_H

#include <cstddef>
#include <cstdint>

namespace plat {

// Fills n bytes from the kernel's random source; false when it could not
// deliver them all (the buffer is then partly filled).
bool random_bytes(void* out, size_t n);

// A value drawn once per process and drawn again in a forked child, which
// would otherwise share its parent's. Never 0. When the kernel's source
// fails it is made from the process id and the clocks instead.
uint64_t process_random();

}  // namespace plat

#endif
