// Agent slot 17: Connection.nativeSQL.
#include "drv_jdbc/j-nativesql.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-records.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap-conn.h"
#include "util/copyout.h"
#include "util/errcodes.h"
#include "util/owners.h"

namespace {
constexpr jint kFrame = 64;
}  // namespace

extern "C" uint32_t DRV_NativeSql(uint32_t conn, const char* sql, char* out, uint32_t size,
                                  uint32_t* length) {
  if (length != nullptr) *length = 0;
  JdbcConn* c = AGT_Conn(conn);
  if (c == nullptr || sql == nullptr) return ERR_INVALID_ARGUMENT;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  c->jniEnv = env;
  JC_LocalFrame frame(env, kFrame);
  char* answer = nullptr;
  const uint32_t rc = Connection::nativeSQL(c, c->connection, sql, &answer);
  if (rc != 0) return rc;
  UniqueFree<char> owned(answer);
  // The full length goes out also when the text is cut, so that the caller
  // can size its buffer; no buffer at all asks for the length only.
  const size_t whole = std::strlen(answer);
  if (length != nullptr) *length = static_cast<uint32_t>(std::min<size_t>(whole, UINT32_MAX));
  if (out == nullptr) return 0;
  return STR_CopyOut(answer, out, size, nullptr) != 0 ? ERR_TRUNCATED : 0;
}
