// Agent slot 17: Connection.nativeSQL.
#include "drv_jdbc/j-nativesql.h"

#include <cstdlib>
#include <memory>

#include "drv_jdbc/j-common.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-records.h"
#include "drv_jdbc/j-wrap-conn.h"
#include "util/copyout.h"

namespace {
constexpr jint kFrame = 64;
constexpr uint32_t kTruncated = 19;
}  // namespace

extern "C" uint32_t DRV_NativeSql(uint32_t conn, const char* sql, char* out, uint16_t size,
                                  uint16_t* length) {
  if (length != nullptr) *length = 0;
  JdbcConn* c = AGT_Conn(conn);
  if (c == nullptr || sql == nullptr) return AGT_BAD_HANDLE;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return AGT_GENERAL_ERROR;
  c->jniEnv = env;
  JC_LocalFrame frame(env, kFrame);
  char* answer = nullptr;
  const uint32_t rc = Connection::nativeSQL(c, c->connection, sql, &answer);
  if (rc != 0) return rc;
  std::unique_ptr<char, decltype(&std::free)> owned(answer, &std::free);
  // The full length goes out also when the text is cut, so that the caller
  // can size its buffer; no buffer at all asks for the length only.
  return STR_CopyOutW(answer, out, size, length) != 0 ? kTruncated : 0;
}
