#include "platform/random.h"

#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/lock.h"

namespace plat {

bool random_bytes(void* out, size_t n) {
  auto* p = static_cast<unsigned char*>(out);
  while (n > 0) {
    const ssize_t got = getrandom(p, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

namespace {

uint64_t Mix(uint64_t x) {
  // splitmix64's finaliser: every input bit reaches every output bit.
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint64_t Draw() {
  uint64_t v = 0;
  if (!random_bytes(&v, sizeof v)) {
    timespec real{}, mono{};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_MONOTONIC, &mono);
    v = Mix(static_cast<uint64_t>(getpid()) ^
            Mix(static_cast<uint64_t>(real.tv_nsec) ^ (static_cast<uint64_t>(real.tv_sec) << 20) ^
                Mix(static_cast<uint64_t>(mono.tv_nsec))));
  }
  return v != 0 ? v : 1;
}

Mutex gDrawLock;
pid_t gDrawnFor GUARDED_BY(gDrawLock) = 0;
uint64_t gDrawn GUARDED_BY(gDrawLock) = 0;

}  // namespace

uint64_t process_random() {
  Guard<Mutex> g(gDrawLock);
  const pid_t self = getpid();
  if (gDrawnFor != self) {
    gDrawn = Draw();
    gDrawnFor = self;
  }
  return gDrawn;
}

}  // namespace plat
