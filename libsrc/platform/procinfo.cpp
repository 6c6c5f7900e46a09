#include "platform/procinfo.h"

#include <pthread.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace plat {

uint32_t process_id() { return static_cast<uint32_t>(getpid()); }

namespace {

// Every call into the driver asks for its thread's id; a system call each
// time shows in the fetch of many rows. The id is kept per thread, and the
// thread that forks forgets its id in the child, which has another.
thread_local uint64_t tCachedTid = 0;

void ForgetTidInChild() { tCachedTid = 0; }

}  // namespace

uint64_t thread_id() {
  if (tCachedTid == 0) {
    static const int registered = pthread_atfork(nullptr, nullptr, ForgetTidInChild);
    (void)registered;
    tCachedTid = static_cast<uint64_t>(syscall(SYS_gettid));
  }
  return tCachedTid;
}

std::string user_name() {
  struct passwd pw;
  struct passwd* res = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &res) == 0 && res && res->pw_name)
    return res->pw_name;
  return {};
}

std::string command_line() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!raw.empty() && raw.back() == '\0') raw.pop_back();
  for (char& c : raw)
    if (c == '\0') c = ' ';
  return raw;
}

}  // namespace plat
