// Stand-in for the login-dialog library: no window, it answers as the test
// tells it through the environment.
//   QMR_TEST_LOGIN_RESULT  what QmrLOGIN returns (default 0: cancelled)
//   QMR_TEST_LOGIN_STRING  the connection string it hands back (unset: none)
//   QMR_TEST_LOGIN_LOG     file to which each call appends one line:
//                          "login driver=[..] in=[..] mode=X" or "free null|text"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Note(const char* fmt, const char* a, const char* b, int c) {
  const char* path = std::getenv("QMR_TEST_LOGIN_LOG");
  if (path == nullptr || *path == '\0') return;
  FILE* f = std::fopen(path, "a");
  if (f == nullptr) return;
  std::fprintf(f, fmt, a, b, c);
  std::fputc('\n', f);
  std::fclose(f);
}

}  // namespace

STANDIN_EXPORT int32_t QmrLOGIN(void*, const char* driver, const char* connStr, char** result,
                                int mode) {
  Note("login driver=[%s] in=[%s] mode=%c", driver != nullptr ? driver : "<null>",
       connStr != nullptr ? connStr : "<null>", mode);
  const char* answer = std::getenv("QMR_TEST_LOGIN_STRING");
  if (result != nullptr) *result = answer != nullptr ? strdup(answer) : nullptr;
  const char* rc = std::getenv("QMR_TEST_LOGIN_RESULT");
  return rc != nullptr ? std::atoi(rc) : 0;
}

STANDIN_EXPORT void QmrLOGIN_Free(char* result) {
  Note("free %s%s%c", result != nullptr ? "text" : "null", "", ' ');
  std::free(result);
}
