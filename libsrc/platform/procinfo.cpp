#include "platform/procinfo.h"

#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace plat {

uint32_t process_id() { return static_cast<uint32_t>(getpid()); }

uint64_t thread_id() { return static_cast<uint64_t>(syscall(SYS_gettid)); }

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
