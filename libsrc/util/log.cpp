#include "util/log.h"

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "platform/lock.h"
#include "util/utalloc.h"

namespace {

const char* const kLevelNames[8] = {"EMERG",   "ALERT",  "CRIT", "ERROR",
                                    "WARNING", "NOTICE", "INFO", "DEBUG"};

// Guards the list, the sinks' masks and their last-header dates. Recursive so
// that an emit callback may itself log without dead-locking.
plat::RecursiveMutex& list_lock() {
  static plat::RecursiveMutex m;
  return m;
}

// The list head is a sink record of its own; its links stay null until the
// first sink is made, which is how "no sink was ever made" is told from "all
// sinks are closed".
LOG_SINK g_head GUARDED_BY(list_lock()){};
std::atomic<const char*> g_ident{nullptr};

bool list_initialised() REQUIRES(list_lock()) { return g_head.next != nullptr; }

int clamp_level(int level) { return level < 0 ? 0 : (level > 7 ? 7 : level); }

size_t utf8_seq_len(unsigned char c) {
  if (c < 0xC0) return 1;  // ASCII, or a stray continuation byte on its own
  if (c < 0xE0) return 2;
  if (c < 0xF0) return 3;
  return 4;
}

// Moves a cut position back so that it does not fall inside a UTF-8 sequence.
size_t utf8_cut(const char* s, size_t pos, size_t floor) {
  while (pos > floor && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80) --pos;
  return pos;
}

// The format with %F, %L and %m replaced, cut at its first newline and ended
// by exactly one newline. Built at most once per call, on first use.
class ExpandedFormat {
 public:
  ExpandedFormat(const char* fmt, const char* file, int line, int saved_errno)
      : fmt_(fmt ? fmt : ""), file_(file), line_(line), errno_(saved_errno) {}

  const char* get() {
    if (!done_) expand();
    return buf_;
  }

 private:
  // Room for text, leaving the newline and the NUL.
  static constexpr size_t kCap = LOG_LINE_MAX - 2;

  bool fits(size_t k) const { return n_ + k <= kCap; }
  void put(const char* s, size_t k) {
    std::memcpy(buf_ + n_, s, k);
    n_ += k;
  }

  // Inserted text must stay literal for the later printf pass, so its '%'
  // signs are doubled. Returns false when the buffer filled up.
  bool put_literal(const char* s) {
    for (size_t i = 0; s[i] != '\0';) {
      if (s[i] == '%') {
        if (!fits(2)) return false;
        put("%%", 2);
        ++i;
        continue;
      }
      const size_t k = utf8_seq_len(static_cast<unsigned char>(s[i]));
      size_t avail = 0;
      while (avail < k && s[i + avail] != '\0') ++avail;
      if (!fits(avail)) return false;
      put(s + i, avail);
      i += avail;
    }
    return true;
  }

  static bool is_directive_char(char c) {
    return c != '\0' && std::strchr("-+ #0'123456789.*hlLqjzt", c) != nullptr;
  }

  void expand() {
    done_ = true;
    const char* p = fmt_;
    bool ok = true;
    while (ok && *p != '\0' && *p != '\n') {
      if (*p != '%') {
        size_t k = utf8_seq_len(static_cast<unsigned char>(*p));
        size_t avail = 0;
        while (avail < k && p[avail] != '\0' && p[avail] != '\n') ++avail;
        if (!(ok = fits(avail))) break;
        put(p, avail);
        p += avail;
        continue;
      }
      const char next = p[1];
      if (next == 'F') {
        ok = put_literal(file_ ? file_ : "");
        p += 2;
      } else if (next == 'L') {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%d", line_);
        ok = put_literal(digits);
        p += 2;
      } else if (next == 'm') {
        ok = put_literal(util_strerror(errno_));
        p += 2;
      } else if (next == '%') {
        if ((ok = fits(2))) put("%%", 2);
        p += 2;
      } else {
        // A printf directive is copied whole or not at all, so that a cut
        // never leaves half a conversion for printf to trip over. A lone
        // '%' (format ends or line breaks) is kept as a literal percent.
        size_t k = 1;
        while (is_directive_char(p[k])) ++k;
        if (p[k] == '\0' || p[k] == '\n') {
          if ((ok = fits(2))) put("%%", 2);
          p += 1;
          continue;
        }
        ++k;
        if ((ok = fits(k))) put(p, k);
        p += k;
      }
    }
    buf_[n_++] = '\n';
    buf_[n_] = '\0';
  }

  const char* fmt_;
  const char* file_;
  int line_;
  int errno_;
  bool done_ = false;
  size_t n_ = 0;
  char buf_[LOG_LINE_MAX];
};

// One output line under construction: the prefix, then the formatted text.
class Line {
 public:
  void append(const char* s) {
    const size_t cap = LOG_LINE_MAX - 2;
    size_t k = std::strlen(s);
    if (n_ + k > cap) k = utf8_cut(s, cap - n_, 0);
    std::memcpy(buf_ + n_, s, k);
    n_ += k;
    buf_[n_] = '\0';
  }
  void appendf(const char* fmt, ...) QMR_LOG_PRINTF(2, 3) {
    char tmp[LOG_LINE_MAX];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(tmp, sizeof tmp, fmt, ap);
    va_end(ap);
    append(tmp);
  }
  size_t size() const { return n_; }
  char last() const { return n_ ? buf_[n_ - 1] : '\0'; }
  void set_last(char c) { buf_[n_ - 1] = c; }

  // Formats the message behind the prefix. A message too long for the line
  // is cut (never inside a UTF-8 sequence) and still ends with a newline.
  void finish(const char* fmt, va_list ap) {
    const size_t room = LOG_LINE_MAX - n_;
    const int r = std::vsnprintf(buf_ + n_, room, fmt, ap);
    if (r < 0) {
      buf_[n_] = '\n';
      buf_[n_ + 1] = '\0';
      return;
    }
    if (static_cast<size_t>(r) >= room) {
      const size_t cut = utf8_cut(buf_, LOG_LINE_MAX - 2, n_);
      buf_[cut] = '\n';
      buf_[cut + 1] = '\0';
    }
  }
  char* data() { return buf_; }

 private:
  size_t n_ = 0;
  char buf_[LOG_LINE_MAX] = {};
};

locale_t c_locale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

void write_day_header(LOG_SINK* s, int level, const struct tm& tm) {
  char hdr[LOG_LINE_MAX];
  const locale_t loc = c_locale();
  const size_t k = loc ? strftime_l(hdr, sizeof hdr, "\n\t\t%a %b %d %Y\n", &tm, loc)
                       : std::strftime(hdr, sizeof hdr, "\n\t\t%a %b %d %Y\n", &tm);
  hdr[k] = '\0';
  if (s->emit) s->emit(s, level, hdr);
}

void emit_to_sink(LOG_SINK* s, int level, const char* file, int line, const struct tm& tm,
                  ExpandedFormat& fmt, va_list ap) {
  const uint32_t month = static_cast<uint32_t>(tm.tm_mon + 1);
  const uint32_t day = static_cast<uint32_t>(tm.tm_mday);
  const uint32_t year = static_cast<uint32_t>(tm.tm_year + 1900);
  const uint32_t hour = static_cast<uint32_t>(tm.tm_hour);
  const uint32_t minute = static_cast<uint32_t>(tm.tm_min);
  const uint32_t second = static_cast<uint32_t>(tm.tm_sec);
  const uint32_t opt = s->options;

  if ((opt & LOG_OPT_DAYHEADER) &&
      (s->hdr_month != month || s->hdr_day != day || s->hdr_year != year)) {
    write_day_header(s, level, tm);
    s->hdr_month = month;
    s->hdr_day = day;
    s->hdr_year = year;
  }

  Line out;
  if (opt & LOG_OPT_TIME) {
    if (opt & LOG_OPT_DAYHEADER)
      out.appendf("%02" PRIu32 ":%02" PRIu32 ":%02" PRIu32 " ", hour, minute, second);
    else
      out.appendf("%02" PRIu32 "/%02" PRIu32 "/%04" PRIu32 " %02" PRIu32 ":%02" PRIu32 ":%02" PRIu32
                  " ",
                  month, day, year, hour, minute, second);
  }
  if (opt & LOG_OPT_LEVEL) {
    out.append(kLevelNames[level]);
    out.append(" ");
  }
  if (opt & LOG_OPT_IDENT) {
    // Without an identification string there is nothing to write, not even
    // the separating space.
    if (const char* ident = g_ident.load()) {
      out.append(ident);
      out.append(" ");
    }
  }
  if ((opt & LOG_OPT_SOURCE) && file != nullptr) out.appendf("(%s:%d) ", file, line);
  if (out.size() > 0 && (opt & (LOG_OPT_LEVEL | LOG_OPT_IDENT | LOG_OPT_SOURCE)) &&
      out.last() == ' ') {
    out.set_last(':');
    out.append(" ");
  }

  va_list copy;
  va_copy(copy, ap);
  out.finish(fmt.get(), copy);
  va_end(copy);
  if (s->emit) s->emit(s, level, out.data());
}

void stream_emit(LOG_SINK* s, int, const char* text) {
  auto* fp = static_cast<FILE*>(s->user);
  if (fp == nullptr) return;
  std::fputs(text, fp);
  std::fflush(fp);
}

void stream_close(LOG_SINK* s) {
  auto* fp = static_cast<FILE*>(s->user);
  s->user = nullptr;
  if (fp != nullptr) std::fclose(fp);
}

void null_emit(LOG_SINK*, int, const char*) {}
void null_close(LOG_SINK*) {}

// Caller holds the lock.
void unlink_sink(LOG_SINK* s) {
  if (s->next != nullptr && s->prev != nullptr && s->next != s) {
    s->prev->next = s->next;
    s->next->prev = s->prev;
  }
  s->next = s;
  s->prev = s;
}

}  // namespace

int log_vwrite(int level, const char* file, int line, uint32_t category, const char* fmt,
               va_list ap) {
  const int saved_errno = errno;
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  // Before any sink is made the line goes nowhere: a library's log is where
  // its settings send it, never the application's standard error.
  if (!list_initialised()) return 0;
  ExpandedFormat expanded(fmt, file, line, saved_errno);

  level = clamp_level(level);
  const time_t now = std::time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);

  for (LOG_SINK* s = g_head.next; s != &g_head;) {
    LOG_SINK* next = s->next;
    if (category == 0 || (s->masks[level] & category) != 0) {
      emit_to_sink(s, level, file, line, tm, expanded, ap);
      // An emit callback that closed its own sink has unlinked it; carry on
      // from where it stood.
      if (s->next != s) next = s->next;
    }
    s = next;
  }
  errno = saved_errno;
  return 0;
}

int log_write(int level, const char* file, int line, uint32_t category, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  log_vwrite(level, file, line, category, fmt, ap);
  va_end(ap);
  return 0;
}

int log_message(int level, const char* file, int line, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  log_vwrite(level, file, line, 1, fmt, ap);
  va_end(ap);
  return 0;
}

#define QMR_LOG_SHORT_FORM(name, level)        \
  int name(const char* fmt, ...) {             \
    va_list ap;                                \
    va_start(ap, fmt);                         \
    log_vwrite(level, nullptr, 0, 1, fmt, ap); \
    va_end(ap);                                \
    return 0;                                  \
  }
QMR_LOG_SHORT_FORM(log_error, LOG_LEVEL_ERROR)
QMR_LOG_SHORT_FORM(log_warning, LOG_LEVEL_WARNING)
QMR_LOG_SHORT_FORM(log_info, LOG_LEVEL_INFO)
QMR_LOG_SHORT_FORM(log_debug, LOG_LEVEL_DEBUG)
#undef QMR_LOG_SHORT_FORM

int log_set_mask(LOG_SINK* sink, int level, uint32_t bits) {
  if (sink == nullptr) return -1;
  level = clamp_level(level);
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  for (int l = 0; l < 8; ++l) {
    if (l <= level)
      sink->masks[l] |= bits;
    else
      sink->masks[l] &= ~bits;
  }
  return 0;
}

int log_set_level(LOG_SINK* sink, int level) { return log_set_mask(sink, level, 0xFFFFFFFFu); }

LOG_SINK* log_sink_alloc(int level, uint32_t bits, uint32_t options) {
  auto* s = static_cast<LOG_SINK*>(std::calloc(1, sizeof(LOG_SINK)));
  if (s == nullptr) return nullptr;
  log_set_mask(s, level, bits);
  s->options = options;
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  if (!list_initialised()) {
    g_head.next = &g_head;
    g_head.prev = &g_head;
  }
  s->next = g_head.next;
  s->prev = &g_head;
  g_head.next->prev = s;
  g_head.next = s;
  return s;
}

LOG_SINK* log_sink_new(LOG_EMIT_FN emit, LOG_CLOSE_FN close, int level, uint32_t bits,
                       uint32_t options) {
  // The callbacks are set under the lock so that no log call can see the
  // linked sink half made.
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  LOG_SINK* s = log_sink_alloc(level, bits, options);
  if (s == nullptr) return nullptr;
  s->emit = emit;
  s->close = close;
  return s;
}

LOG_SINK* log_open_stream(FILE* fp, int level, uint32_t bits, uint32_t options) {
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  LOG_SINK* s = log_sink_new(stream_emit, stream_close, level, bits, options);
  if (s != nullptr) s->user = fp;
  return s;
}

LOG_SINK* log_open_stream_noclose(FILE* fp, int level, uint32_t bits, uint32_t options) {
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  LOG_SINK* s = log_sink_new(stream_emit, nullptr, level, bits, options);
  if (s != nullptr) s->user = fp;
  return s;
}

LOG_SINK* log_open_file(const char* path, int level, uint32_t bits, uint32_t options) {
  if (path == nullptr) return nullptr;
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  FILE* fp = fdopen(fd, "a");
  if (fp == nullptr) {
    close(fd);
    return nullptr;
  }
  LOG_SINK* s = log_open_stream(fp, level, bits, options);
  if (s == nullptr) std::fclose(fp);
  return s;
}

LOG_SINK* log_open_null(const char*, int, int, int, int level, uint32_t bits, uint32_t options) {
  return log_sink_new(null_emit, null_close, level, bits, options);
}

int log_close_sink(LOG_SINK* sink) {
  if (sink == nullptr) return -1;
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  // The callback is taken away before it runs, so closing twice cannot close
  // the stream twice.
  LOG_CLOSE_FN close_fn = sink->close;
  sink->close = nullptr;
  if (close_fn != nullptr) close_fn(sink);
  unlink_sink(sink);
  return 0;
}

void log_close_all() {
  plat::Guard<plat::RecursiveMutex> guard(list_lock());
  if (!list_initialised()) return;
  while (g_head.next != &g_head) log_close_sink(g_head.next);
}

int log_parse_categories(const char* list, const LOG_CATEGORY* table, int table_size,
                         uint32_t* out_bits) {
  uint32_t bits = 0;
  if (out_bits != nullptr) *out_bits = 0;
  if (list == nullptr) return -1;
  std::string_view rest(list);
  for (;;) {
    const size_t comma = rest.find(',');
    const std::string_view word = rest.substr(0, comma);
    bool found = false;
    for (int i = 0; i < table_size && table != nullptr; ++i) {
      if (table[i].name != nullptr && word == table[i].name) {
        bits |= table[i].bits;
        found = true;
        break;
      }
    }
    if (!found) return -1;
    if (out_bits != nullptr) *out_bits = bits;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return 0;
}

const char* log_level_name(int level) { return kLevelNames[clamp_level(level)]; }

void log_set_ident(const char* ident) { g_ident.store(ident); }

const char* log_get_ident() { return g_ident.load(); }
