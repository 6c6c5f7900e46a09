// The message box stand-in: there is no desktop to show a box on, and the
// application's standard error is not the library's to write on, so the
// text goes to the log alone.
#ifndef QMR_PLATFORM_MSGBOX_H
#define QMR_PLATFORM_MSGBOX_H

#include <cstdint>

namespace plat {

// Styles and results the driver uses (values as Windows has them).
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr int kIdOk = 1;

// owner 0 suppresses the box: nothing is shown and the result is 0.
// Otherwise one line "caption: text" goes to the log hook (which logs it at
// level 3), and the result is kIdOk.
int message_box(intptr_t owner, const char* text, const char* caption, unsigned style);

// The log lives above this layer, so it installs itself here. Null removes
// the hook. The hook may be called from any thread.
void set_message_box_logger(void (*logger)(const char* line));

}  // namespace plat

#endif
