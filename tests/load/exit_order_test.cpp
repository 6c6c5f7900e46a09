// A library that a Driver Manager dlopen()s has its static objects destroyed
// by exit() before its unload hook runs, and an application's exit handlers
// registered before the load may still call into it after that. So the
// libraries keep no object that is destroyed at exit: whatever must live as
// long as the process is made once and never destroyed. A destructor at exit
// shows as an import of the registration functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

std::set<std::string> Undefined(const std::string& lib) {
  const std::string cmd =
      "nm -D --undefined-only " + std::string(QMR_BUILD_DIR) + "/lib/" + lib + " 2>/dev/null";
  std::set<std::string> names;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    char type[8], sym[400];
    if (std::sscanf(line, "%7s %399s", type, sym) == 2) {
      std::string name = sym;
      names.insert(name.substr(0, name.find('@')));
    }
  }
  pclose(p);
  return names;
}

TEST(ExitOrder, LibrariesRegisterNothingThatRunsBeforeTheirUnloadHook) {
  for (const char* lib : {"libxbifxu.so", "libxbifx.so"}) {
    const std::set<std::string> imports = Undefined(lib);
    ASSERT_TRUE(imports.count("dlopen") || imports.count("dladdr")) << lib << ": nm found nothing";
    // Static objects with destructors, thread-local ones, and exit handlers.
    for (const char* fn :
         {"__cxa_atexit", "__cxa_thread_atexit", "__cxa_thread_atexit_impl", "atexit", "on_exit"})
      EXPECT_EQ(0u, imports.count(fn))
          << lib << " registers an exit-time destructor or handler (" << fn
          << "); find it with: objdump -d " << lib << " | grep -B40 '<" << fn << "@plt>'";
  }
}

}  // namespace
