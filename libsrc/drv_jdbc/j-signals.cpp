#include "drv_jdbc/j-signals.h"

#include <signal.h>
#include <stdlib.h>

#include <atomic>
#include <climits>
#include <cstdint>

#include "drv_jdbc/j-vm.h"
#include "platform/clock.h"
#include "platform/dynlib.h"
#include "platform/signals.h"

namespace {

// The faults HotSpot on Linux takes for its own: SIGSEGV (null checks,
// safepoint polls, stack banging), SIGBUS (mapped files), SIGFPE (integer
// division), SIGILL (patched code). SIGPIPE and SIGXFSZ it only ignores, so
// a host that ignores them itself loses nothing.
constexpr int kVmSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr size_t kCount = sizeof kVmSignals / sizeof kVmSignals[0];

// Written once (under the agent's start-up lock), read by every connect and
// execute: 0 or 1 (default or ignored) means the VM has no handler there to
// lose.
std::atomic<uintptr_t> gNoted[kCount];
std::atomic<bool> gNotedOnce{false};

// A query is a system call, about a microsecond here: a quarter of a keyed
// lookup's whole cost. An execute asks at most once in this interval, so a
// replaced handler is still found within it by the first execute after.
constexpr int64_t kExecuteCheckMs = 10;
std::atomic<int64_t> gNextExecuteCheck{0};

// Whether this execute is the one of its interval that asks.
bool ExecuteChecksNow() {
  const int64_t now = plat::coarse_ms();
  int64_t next = gNextExecuteCheck.load(std::memory_order_relaxed);
  if (now < next) return false;
  return gNextExecuteCheck.compare_exchange_strong(next, now + kExecuteCheckMs,
                                                   std::memory_order_relaxed);
}

// libjsig.so, which the VM puts beside libjvm.so; the directory alone when
// it is not there.
std::string ChainingLibrary() {
  const std::string jvm = JC_JvmLibraryPath();
  const size_t slash = jvm.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : jvm.substr(0, slash);
  char real[PATH_MAX];
  if (!dir.empty() && realpath(dir.c_str(), real) != nullptr) dir = real;
  if (dir.empty()) return "<the directory of libjvm.so>/libjsig.so";
  const std::string lib = dir + "/libjsig.so";
  return realpath(lib.c_str(), real) != nullptr ? std::string(real) : lib;
}

}  // namespace

void JC_NoteVmSignals() {
  if (gNotedOnce.exchange(true)) return;
  // The chaining library exports this to the VM; with it in the process a
  // query answers the application's handler, not the VM's, and the VM's
  // stay first whatever the application installs.
  if (plat::dl_symbol(nullptr, "JVM_begin_signal_setting") != nullptr) return;
  for (size_t i = 0; i < kCount; ++i) gNoted[i].store(plat::signal_handler_of(kVmSignals[i]));
}

bool JC_VmSignalsIntact(std::string* why, bool everySignal) {
  // The execute path asks for SIGSEGV alone, the one every safepoint poll
  // and implicit null check raises and the one hosts install handlers for;
  // a connect asks for all of them, every time.
  if (!everySignal && !ExecuteChecksNow()) return true;
  const size_t count = everySignal ? kCount : 1;
  for (size_t i = 0; i < count; ++i) {
    const uintptr_t noted = gNoted[i].load(std::memory_order_relaxed);
    if (noted <= 1 || plat::signal_handler_of(kVmSignals[i]) == noted) continue;
    *why = std::string("The application replaced the Java VM's handler for ") +
           plat::signal_name(kVmSignals[i]) +
           " after the VM started: the VM's own faults would now end the process. Run the "
           "application with the VM's signal chaining, LD_PRELOAD=" +
           ChainingLibrary();
    return false;
  }
  return true;
}
