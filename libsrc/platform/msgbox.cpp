#include "platform/msgbox.h"

#include <atomic>
#include <string>

namespace plat {

namespace {
std::atomic<void (*)(const char*)> g_logger{nullptr};
}

void set_message_box_logger(void (*logger)(const char* line)) { g_logger.store(logger); }

int message_box(intptr_t owner, const char* text, const char* caption, unsigned /*style*/) {
  if (owner == 0) return 0;
  std::string line;
  if (caption && *caption) {
    line = caption;
    line += ": ";
  }
  line += text ? text : "";
  if (auto logger = g_logger.load()) logger(line.c_str());
  return kIdOk;
}

}  // namespace plat
