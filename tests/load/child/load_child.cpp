// A tiny ODBC application for the load tests: it loads one driver library
// the way a Driver Manager does (dlopen, dlsym), makes a few calls and ends
// the process normally, so that the library's unload hook runs at exit the
// way it does in a real application.
//
//   qmr_load_child <library path> [fork]
//
// With "fork", the program forks once after its first call; the forked
// process ends at once through exit(), running the library's unload hook
// with the trace the parent opened.
//
// Each call's return code goes to standard output as "<step> <rc>". Some
// handles are left for the end of the process: one is freed by an exit
// handler the program registered before it loaded the library (that handler
// runs after the library's own static objects are gone), the others are left
// for the library's unload hook to free.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using AllocHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using SetEnvAttrFn = SQLRETURN (*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using FreeHandleFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);

FreeHandleFn gFree = nullptr;
SQLHENV gExitEnv = SQL_NULL_HENV;

void report(const char* step, int rc) {
  std::printf("%s %d\n", step, rc);
  std::fflush(stdout);
}

// Registered before the library is loaded, so it runs after the library's
// static objects have been destroyed and before its unload hook.
void freeAtExit() {
  if (gFree != nullptr && gExitEnv != SQL_NULL_HENV)
    report("exit-free-env", gFree(SQL_HANDLE_ENV, gExitEnv));
}

}  // namespace

int main(int argc, char** argv) {
  const bool forkOnce = argc == 3 && std::strcmp(argv[2], "fork") == 0;
  if (argc != 2 && !forkOnce) {
    std::fprintf(stderr, "usage: qmr_load_child <library> [fork]\n");
    return 2;
  }
  std::atexit(freeAtExit);
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    std::fprintf(stderr, "dlopen: %s\n", dlerror());
    return 2;
  }
  auto alloc = reinterpret_cast<AllocHandleFn>(dlsym(lib, "SQLAllocHandle"));
  auto setEnv = reinterpret_cast<SetEnvAttrFn>(dlsym(lib, "SQLSetEnvAttr"));
  gFree = reinterpret_cast<FreeHandleFn>(dlsym(lib, "SQLFreeHandle"));
  if (alloc == nullptr || setEnv == nullptr || gFree == nullptr) {
    std::fprintf(stderr, "dlsym: entry point missing\n");
    return 2;
  }

  SQLHENV env = SQL_NULL_HENV;
  report("alloc-env", alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  if (forkOnce) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
      gFree = nullptr;  // the exit handler is the parent's business
      std::exit(0);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    report("forked-child", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  report("set-version",
         setEnv(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
  // Slot 0x7777 of the environment table was never handed out.
  report("set-invalid",
         setEnv(reinterpret_cast<SQLHENV>(uintptr_t{0x00017777}), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
  SQLHDBC dbc = SQL_NULL_HDBC;
  report("alloc-dbc", alloc(SQL_HANDLE_DBC, env, &dbc));
  report("free-dbc", gFree(SQL_HANDLE_DBC, dbc));
  report("free-env", gFree(SQL_HANDLE_ENV, env));

  // Left for the end: one for the early exit handler, two for the unload
  // hook.
  report("alloc-exit-env", alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &gExitEnv));
  std::printf("exit-env-handle %08X\n",
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(gExitEnv)));
  SQLHENV leftEnv = SQL_NULL_HENV;
  SQLHDBC leftDbc = SQL_NULL_HDBC;
  report("alloc-left-env", alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &leftEnv));
  report("alloc-left-dbc", alloc(SQL_HANDLE_DBC, leftEnv, &leftDbc));
  return 0;
}
