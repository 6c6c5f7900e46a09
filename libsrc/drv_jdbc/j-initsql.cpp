// The initial SQL file.
#include "drv_jdbc/j-initsql.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-records.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"

namespace {

// The log names this module by its place in the source tree.
constexpr const char* kSrc = "libsrc/drv_jdbc/j-initsql";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

struct FileCloser {
  void operator()(std::FILE* fp) const {
    if (fp != nullptr) std::fclose(fp);
  }
};

}  // namespace

std::string JC_InitialSqlPath(const char* name) {
  std::string path = name != nullptr ? name : "";
  // Both separators count: names from Windows-style settings keep working.
  size_t slash = path.find_last_of("/\\");
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  bool hasExt = path.size() > base + 1 && path.find('.', base + 1) != std::string::npos;
  if (!hasExt) path += ".sql";
  return path;
}

unsigned JC_ReadInitialSql(std::FILE* fp, const std::function<void(const std::string&)>& run) {
  // Lines are read whole, however long: a line cut into pieces would have
  // blanks inserted into the middle of its statement.
  char* line = nullptr;
  size_t cap = 0;
  unsigned lines = 0;
  bool open = false;  // a statement has begun and not ended
  std::string stmt;
  for (;;) {
    ssize_t n = getline(&line, &cap, fp);
    if (n < 0) break;
    ++lines;
    if (!open) stmt.clear();
    size_t b = 0;
    size_t e = static_cast<size_t>(n);
    while (b < e && IsBlank(line[b])) ++b;
    if (b < e && line[b] == '#') continue;
    while (e > b && IsBlank(line[e - 1])) --e;
    if (e == b) continue;
    if (line[e - 1] == ';') {
      stmt.append(line + b, e - 1 - b);
      open = false;
      run(stmt);
      stmt.clear();
    } else {
      stmt.append(line + b, e - b);
      stmt.push_back(' ');
      open = true;
    }
  }
  std::free(line);
  return open ? lines : 0;
}

int runInitialSQL(JdbcConn* conn, jobject connection, const char* file) {
  std::string path = JC_InitialSqlPath(file);
  std::unique_ptr<std::FILE, FileCloser> fp(std::fopen(path.c_str(), "r"));
  if (!fp) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "unable to read from initial SQL file %s (%m)",
                path.c_str());
    return -1;
  }
  jobject stmt = nullptr;
  if (Connection::createStatement(conn, connection, &stmt) != 0 || stmt == nullptr) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "cannot create jStmt for initial SQL request");
    return -1;
  }
  unsigned unterminated = JC_ReadInitialSql(fp.get(), [&](const std::string& text) {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "execute [%.100s]", text.c_str());
    uint8_t isResult = 0;
    if (Statement::execute(conn, stmt, text.c_str(), &isResult) != 0) {
      // The Java exception is on the connection's list by now.
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Error while processing initial SQL statement:");
    }
  });
  fp.reset();
  Statement::close(conn, stmt);
  JC_DeleteLocal(conn->jniEnv, stmt);
  if (unterminated != 0) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "Unterminated SQL request (line %u)",
                unterminated);
    return -1;
  }
  return 0;
}
