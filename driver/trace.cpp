// The driver's trace files.
#include "driver/trace.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "driver/startup.h"
#include "platform/lock.h"
#include "platform/procinfo.h"
#include "platform/registry.h"
#include "platform/tempdir.h"

std::atomic<uint32_t> g_trcState{TRC_OFF};

namespace {

// Created once per process and never destroyed: lines may still be written
// while the library's static objects are being torn down.
plat::Mutex& TraceLock() {
  static plat::Mutex* lock = new plat::Mutex;
  return *lock;
}

// The three streams.
FILE* g_streams[3] GUARDED_BY(TraceLock()) = {nullptr, nullptr, nullptr};
// The process that opened each stream. A child made by fork() inherits the
// streams; when it ends, its unload hook must not write the finish lines
// into the trace of the process that goes on.
uint32_t g_openers[3] GUARDED_BY(TraceLock()) = {0, 0, 0};

std::string Vformat(const char* fmt, va_list ap) {
  char small[512];
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(&out[0], out.size(), fmt, ap);
  out.resize(static_cast<size_t>(n));
  return out;
}

void WriteLocked(uint32_t mode, const std::string& prefix, const std::string& line) {
  plat::Guard<plat::Mutex> g(TraceLock());
  FILE* f = g_streams[mode];
  if (f == nullptr) return;
  std::string masked = TRC_Mask(line.c_str());
  std::fprintf(f, "%s%s\n", prefix.c_str(), masked.c_str());
  std::fflush(f);
}

std::string TimeLine(const char* fmt) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[201];
  size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
  return std::string(buf, n);
}

std::string TidPrefix() {
  char buf[32];
  std::snprintf(buf, sizeof buf, "[%" PRIu64 "] ", plat::thread_id());
  return buf;
}

// The running program's name, as the banner shows it.
std::string ProgramName() {
  std::string cmd = plat::command_line();
  size_t space = cmd.find(' ');
  std::string first = cmd.substr(0, space);
  size_t slash = first.find_last_of('/');
  if (slash != std::string::npos) first = first.substr(slash + 1);
  return first.empty() ? std::string("Unknown") : first;
}

}  // namespace

std::string TRC_ConfiguredName() {
  const char* env = std::getenv("QMR_DEBUGFILE");
  if (env != nullptr && *env != '\0') return env;
  // The driver's setup key, subkey "ODBC", value "DebugFile".
  std::string key = plat::reg_key(
      plat::kHKeyLocalMachine,
      (std::string("SOFTWARE\\Quillmar Software\\") + DRV_BuildDescription() + "\\ODBC").c_str());
  std::string value;
  if (!plat::reg_read_string(key, "DebugFile", value)) return std::string();
  if (value.size() > 1023) value.resize(1023);
  return value;
}

std::string TRC_ExpandName(const char* name, uint32_t mode) {
  std::string out;
  for (const char* p = name; p != nullptr && *p != '\0'; ++p) {
    if (*p != '$') {
      out += *p;
      continue;
    }
    char m = p[1];
    if (m == '\0') break;  // a trailing '$' ends the name
    ++p;
    switch (m) {
      case '$': out += '$'; break;
      case 'H':
      case 'h':
        out += '/';  // the root of the system drive
        break;
      case 'P':
      case 'p': out += std::to_string(plat::process_id()); break;
      case 'T':
      case 't': out += TimeLine("%Y%m%d-%H%M%S"); break;
      case 'U':
      case 'u': out += plat::user_name().substr(0, 255); break;
      default: break;  // unknown macro: both characters are dropped
    }
  }
  if (mode == TRC_MODE_XA) out += "-xa";
  if (mode == TRC_MODE_TPL) out += "-tpl";
  return out;
}

void TRC_Open(uint32_t mode) {
  if (mode > TRC_MODE_TPL) return;
  std::string name = TRC_ConfiguredName();
  if (name.empty()) return;
  if (name == "stderr") {
    {
      plat::Guard<plat::Mutex> g(TraceLock());
      for (FILE*& s : g_streams) s = stderr;
      for (uint32_t& pid : g_openers) pid = plat::process_id();
    }
    g_trcState.store(TRC_STDERR, std::memory_order_release);
  } else {
    std::string path = TRC_ExpandName(name.c_str(), mode);
    FILE* f = plat::open_private_stream(path, plat::OpenMode::Truncate);
    if (f == nullptr) return;
    FILE* old = nullptr;
    {
      plat::Guard<plat::Mutex> g(TraceLock());
      old = g_streams[mode];
      g_streams[mode] = f;
      g_openers[mode] = plat::process_id();
    }
    if (old != nullptr && old != stderr) std::fclose(old);
    g_trcState.store(TRC_FILES, std::memory_order_release);
  }
  std::string started = TimeLine("** started on %a %b %d %H:%M:%S %Y **");
  if (mode == TRC_MODE_XA) {
    TRC_PrintfTid(0, "** Quillmar XA Trace File **");
    TRC_PrintfTid(0, "%s", started.c_str());
    TRC_PrintfTid(0, "\n");
  } else {
    TRC_Printf("** Quillmar ODBC Trace file for %s **", ProgramName().c_str());
    TRC_Printf("%s", started.c_str());
  }
}

bool TRC_IsOpen(uint32_t mode) {
  if (mode > TRC_MODE_TPL) return false;
  plat::Guard<plat::Mutex> g(TraceLock());
  return g_streams[mode] != nullptr;
}

void TRC_Close(uint32_t mode) {
  if (mode > TRC_MODE_TPL) return;
  bool opener;
  {
    plat::Guard<plat::Mutex> g(TraceLock());
    if (g_streams[mode] == nullptr) return;
    opener = g_openers[mode] == plat::process_id();
  }
  if (opener) {
    std::string finished = TimeLine("\n** finished on %a %b %d %H:%M:%S %Y **");
    TRC_Printf("%s", finished.c_str());
    TRC_Printf("** normal end **");
  }
  plat::Guard<plat::Mutex> g(TraceLock());
  FILE* f = g_streams[mode];
  g_streams[mode] = nullptr;
  if (f != nullptr && f != stderr) {
    // Another mode may share the stream only when all go to stderr.
    std::fclose(f);
  }
  if (g_streams[0] == nullptr && g_streams[1] == nullptr && g_streams[2] == nullptr)
    g_trcState.store(TRC_OFF, std::memory_order_release);
}

void TRC_VPrintf(const char* fmt, va_list ap) {
  if (!TRC_Active()) return;
  WriteLocked(TRC_MODE_ODBC, std::string(), Vformat(fmt, ap));
}

void TRC_Printf(const char* fmt, ...) {
  if (!TRC_Active()) return;
  va_list ap;
  va_start(ap, fmt);
  std::string line = Vformat(fmt, ap);
  va_end(ap);
  WriteLocked(TRC_MODE_ODBC, std::string(), line);
}

void TRC_PrintfTid(uint32_t withTid, const char* fmt, ...) {
  if (!TRC_Active()) return;
  va_list ap;
  va_start(ap, fmt);
  std::string line = Vformat(fmt, ap);
  va_end(ap);
  WriteLocked(TRC_MODE_XA, withTid != 0 ? TidPrefix() : std::string(), line);
}

void TRC_PrintfTid2(const char* fmt, ...) {
  if (!TRC_Active()) return;
  va_list ap;
  va_start(ap, fmt);
  std::string line = Vformat(fmt, ap);
  va_end(ap);
  WriteLocked(TRC_MODE_TPL, TidPrefix(), line);
}

void TRC_WriteLine(uint32_t mode, const char* line) {
  if (!TRC_Active() || mode > TRC_MODE_TPL || line == nullptr) return;
  WriteLocked(mode, std::string(), line);
}
