#include "util/utalloc.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/log.h"

namespace {

// No allocator can satisfy more than PTRDIFF_MAX bytes; refusing such sizes
// here keeps them away from allocators that would abort instead of failing.
constexpr uint64_t kMaxBlock = static_cast<uint64_t>(PTRDIFF_MAX);

std::atomic<bool> g_console{false};

[[noreturn]] void out_of_memory(const char* line, int at) {
  log_message(3, __FILE__, at, "%s", line);
  util_exit(1);
}

}  // namespace

void* s_alloc(uint64_t count, uint64_t size) {
  if (count == 0 || size == 0) {
    count = 1;
    size = 1;
  }
  if (count > kMaxBlock / size) out_of_memory("s_alloc: out of memory", __LINE__);
  void* p = std::calloc(static_cast<size_t>(count), static_cast<size_t>(size));
  if (p == nullptr) out_of_memory("s_alloc: out of memory", __LINE__);
  return p;
}

void* s_realloc(void* p, uint64_t size) {
  // realloc(p, 0) frees p and answers null, which would read as exhaustion.
  if (size == 0) size = 1;
  if (size > kMaxBlock) out_of_memory("s_realloc: out of memory", __LINE__);
  void* q = std::realloc(p, static_cast<size_t>(size));
  if (q == nullptr) out_of_memory("s_realloc: out of memory", __LINE__);
  return q;
}

char* s_strdup(const char* s) {
  const size_t n = std::strlen(s);
  auto* d = static_cast<char*>(s_alloc(n + 1, 1));
  std::memcpy(d, s, n + 1);
  return d;
}

void util_exit(int32_t status) {
  console_pause();
  std::exit(status);
}

void console_pause() {
  if (!g_console.load()) return;
  const char* ident = log_get_ident();
  std::fprintf(stderr, "\nPress RETURN to exit %s", ident ? ident : "");
  std::fflush(stderr);
  (void)std::getchar();
}

void console_check() {
  struct winsize ws {};
  bool usable = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) &&
                ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0;
  g_console.store(usable);
}

bool console_flag() { return g_console.load(); }

int32_t util_error_count() {
  // glibc keeps a table of descriptions with holes; the count is one past the
  // highest number that has one.
  static const int32_t count = [] {
    int32_t top = 0;
    for (int32_t e = 0; e < 4096; ++e)
      if (strerrordesc_np(e) != nullptr) top = e + 1;
    return top;
  }();
  return count;
}

const char* util_strerror(int32_t e) {
  if (e >= 0 && e < util_error_count()) {
    if (const char* text = strerrordesc_np(e)) return text;
  }
  thread_local char unknown[32];
  std::snprintf(unknown, sizeof unknown, "Unknown error %" PRIu32, static_cast<uint32_t>(e));
  return unknown;
}

char* str_copy_to_end(char* dst, const char* src) {
  const size_t n = std::strlen(src);
  std::memcpy(dst, src, n + 1);
  return dst + n;
}
