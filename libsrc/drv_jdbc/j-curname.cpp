// Cursor names. A statement answers to a name from its allocation on: the
// application's, or one made from its handle. JDBC drivers name their
// result sets inconsistently or not at all, so the made name is the agent's
// own and stays the same whether or not anything ran.
#include <sql.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-records.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "util/copyout.h"
#include "util/errcodes.h"

namespace {

constexpr jint kFrame = 16;

bool Named(const JdbcStmt* s) { return s->cursorName != nullptr && s->cursorName[0] != '\0'; }

std::string Upper(const char* text) {
  std::string u = text;
  for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return u;
}

// Characters as the data source counts them (UTF-16 units, as a Java
// string has them): every byte that does not continue a sequence, and a
// 4-byte sequence twice.
size_t Characters(const char* text) {
  size_t n = 0;
  for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if ((*p & 0xC0) != 0x80) ++n;
    if (*p >= 0xF0) ++n;
  }
  return n;
}

// The longest name the data source takes; 0 when it sets no limit or
// cannot tell.
int32_t MostCharacters(JdbcConn* c, JNIEnv* env) {
  if (c == nullptr || c->metaData == nullptr) return 0;
  c->jniEnv = env;
  JC_LocalFrame frame(env, kFrame);
  int32_t most = 0;
  if (DatabaseMetaData::getIntByName(c, c->metaData, "getMaxCursorNameLength", &most) != 0) {
    errClear(&c->errors);
    return 0;
  }
  return most > 0 ? most : 0;
}

// Whether another statement of the connection answers to the name; names
// compare as unquoted identifiers do, whatever their case.
bool Taken(const JdbcStmt* self, const char* name) {
  JdbcConn* c = self->conn;
  if (c == nullptr) return false;
  std::vector<uint32_t> handles;
  {
    plat::Guard<plat::Mutex> g(c->stmtLock);
    handles = c->stmts;
  }
  const std::string wanted = Upper(name);
  for (uint32_t h : handles) {
    const JdbcStmt* other = AGT_Stmt(h);
    if (other != nullptr && other != self && Named(other) && Upper(other->cursorName) == wanted)
      return true;
  }
  return false;
}

// A name the application may not give: too long, one that could be made
// here, or another statement's.
uint32_t Refusal(JdbcStmt* s, const char* name) {
  const int32_t most = MostCharacters(s->conn, s->jniEnv);
  if (most > 0 && Characters(name) > static_cast<size_t>(most)) return ERR_INVALID_CURSOR_NAME;
  const std::string upper = Upper(name);
  if (upper.rfind("SQL_CUR", 0) == 0 || upper.rfind("SQLCUR", 0) == 0)
    return ERR_INVALID_CURSOR_NAME;
  if (Taken(s, name)) return ERR_DUPLICATE_CURSOR_NAME;
  return 0;
}

}  // namespace

extern "C" {

uint32_t DRV_GetCursorName(uint32_t stmt, char* buf, uint16_t size, uint16_t* length) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  char made[16];
  const char* name = s->cursorName;
  if (!Named(s)) {
    std::snprintf(made, sizeof made, "SQL_CUR%08X", static_cast<unsigned>(stmt));
    name = made;
  }
  return STR_CopyOutW(name, buf, size, length) != 0 ? ERR_TRUNCATED : 0;
}

uint32_t DRV_SetCursorName(uint32_t stmt, const char* name) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr || name == nullptr) return ERR_INVALID_ARGUMENT;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  s->jniEnv = env;
  if (uint32_t rc = Refusal(s, name)) return rc;
  // The name outlives the Java statement: the next prepare makes a new one,
  // which gets it as well.
  char* copy = strdup(name);
  if (copy == nullptr) return ERR_NO_MEMORY;
  std::free(s->cursorName);
  s->cursorName = copy;
  if (s->statement == nullptr) return 0;
  JC_LocalFrame frame(env, kFrame);
  return Statement::setCursorName(s, s->statement, s->cursorName);
}

}  // extern "C"
