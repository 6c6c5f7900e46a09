// Leveled log: one finished line per call, handed to every sink whose filter
// takes the level and category. Before the first sink is made, lines go
// nowhere: only sinks receive them.
#ifndef QMR_UTIL_LOG_H
#define QMR_UTIL_LOG_H

#include <cstdarg>
#include <cstdint>
#include <cstdio>

// Levels 0..7. (Not LOG_ERR and friends: <syslog.h> owns those names.)
enum {
  LOG_LEVEL_EMERG = 0,
  LOG_LEVEL_ALERT = 1,
  LOG_LEVEL_CRIT = 2,
  LOG_LEVEL_ERROR = 3,
  LOG_LEVEL_WARNING = 4,
  LOG_LEVEL_NOTICE = 5,
  LOG_LEVEL_INFO = 6,
  LOG_LEVEL_DEBUG = 7
};

// Sink options.
enum : uint32_t {
  LOG_OPT_DAYHEADER = 1,  // date line when the day changes; time-only stamps
  LOG_OPT_TIME = 2,       // time stamp at the start of each line
  LOG_OPT_LEVEL = 4,      // level name
  LOG_OPT_IDENT = 8,      // program identification string
  LOG_OPT_SOURCE = 16     // "(file:line) "
};

// Every line of one call fits in this many bytes, NUL included.
constexpr int LOG_LINE_MAX = 2048;

struct LOG_SINK;
typedef void (*LOG_EMIT_FN)(LOG_SINK* sink, int level, const char* text);
typedef void (*LOG_CLOSE_FN)(LOG_SINK* sink);

// Allocated zero-filled by the creators below; whoever created it frees it
// with free() after log_close_sink.
struct LOG_SINK {
  LOG_SINK* next;
  LOG_SINK* prev;
  uint32_t masks[8];  // category bits accepted, per level
  uint32_t options;
  uint32_t hdr_month;  // date of the last day header written (0 = none yet)
  uint32_t hdr_day;
  uint32_t hdr_year;
  LOG_EMIT_FN emit;
  LOG_CLOSE_FN close;
  void* user;  // stream sinks: the FILE*
};

struct LOG_CATEGORY {
  const char* name;
  uint32_t bits;
};

#define QMR_LOG_PRINTF(f, a) __attribute__((format(printf, f, a)))

// Format extensions, expanded before printf formatting: %F source file,
// %L line, %m text of errno as it was on entry. (They are not printf
// conversions, so calls that use %F or %L must get past -Wformat.)
int log_vwrite(int level, const char* file, int line, uint32_t category, const char* fmt,
               va_list ap);
int log_write(int level, const char* file, int line, uint32_t category, const char* fmt, ...)
    QMR_LOG_PRINTF(5, 6);
int log_message(int level, const char* file, int line, const char* fmt, ...) QMR_LOG_PRINTF(4, 5);
int log_error(const char* fmt, ...) QMR_LOG_PRINTF(1, 2);
int log_warning(const char* fmt, ...) QMR_LOG_PRINTF(1, 2);
int log_info(const char* fmt, ...) QMR_LOG_PRINTF(1, 2);
int log_debug(const char* fmt, ...) QMR_LOG_PRINTF(1, 2);

// log_message with the caller's own source position.
#define LOG_MSG(level, ...) log_message((level), __FILE__, __LINE__, __VA_ARGS__)
#define LOG_AT(level, ...) log_message((level), __FILE__, __LINE__, __VA_ARGS__)

// Sinks. The creators return null when memory runs out (nothing is linked).
LOG_SINK* log_sink_alloc(int level, uint32_t bits, uint32_t options);
LOG_SINK* log_sink_new(LOG_EMIT_FN emit, LOG_CLOSE_FN close, int level, uint32_t bits,
                       uint32_t options);
// Writes to the stream and closes it when the sink is closed.
LOG_SINK* log_open_stream(FILE* fp, int level, uint32_t bits, uint32_t options);
// Writes to the stream and leaves it open.
LOG_SINK* log_open_stream_noclose(FILE* fp, int level, uint32_t bits, uint32_t options);
// Appends to the file (created 0600, never through a symbolic link).
LOG_SINK* log_open_file(const char* path, int level, uint32_t bits, uint32_t options);
// A sink that takes lines and drops them; the first four arguments are unused.
LOG_SINK* log_open_null(const char* unused_name, int unused1, int unused2, int unused3, int level,
                        uint32_t bits, uint32_t options);

int log_set_mask(LOG_SINK* sink, int level, uint32_t bits);
int log_set_level(LOG_SINK* sink, int level);
// Runs the close callback (once), unlinks the sink and leaves it linked to
// itself. The record stays with its creator.
int log_close_sink(LOG_SINK* sink);
void log_close_all();

// Comma-separated names to category bits; -1 at the first unknown word (an
// empty list or an empty word is unknown).
int log_parse_categories(const char* list, const LOG_CATEGORY* table, int table_size,
                         uint32_t* out_bits);

// Name of a level 0..7 ("EMERG" ... "DEBUG"); out-of-range levels are clamped.
const char* log_level_name(int level);

// Program identification string written by option 8 and by console_pause.
// The pointer is kept, not copied.
void log_set_ident(const char* ident);
const char* log_get_ident();

#endif
