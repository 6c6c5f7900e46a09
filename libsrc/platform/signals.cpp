#include "platform/signals.h"

#include <signal.h>

#include <cstdio>

namespace plat {

uintptr_t signal_handler_of(int sig) {
  struct sigaction now {};
  if (sigaction(sig, nullptr, &now) != 0) return 0;
  if ((now.sa_flags & SA_SIGINFO) != 0) return reinterpret_cast<uintptr_t>(now.sa_sigaction);
  if (now.sa_handler == SIG_DFL) return 0;
  if (now.sa_handler == SIG_IGN) return 1;
  return reinterpret_cast<uintptr_t>(now.sa_handler);
}

const char* signal_name(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    default: break;
  }
  thread_local char text[24];
  std::snprintf(text, sizeof text, "signal %d", sig);
  return text;
}

}  // namespace plat
