// The Java side of distributed transactions: XA connections from an XA
// data source, transaction identifiers between the X/Open record and Java
// `Xid` objects, and the calls of javax.transaction.xa.XAResource, each of
// which answers an X/Open XA code.
//
// Everything here works for one connection with its JNI environment set
// (JdbcConn::jniEnv) and posts the cause of a failure on the connection's
// error list.
#ifndef QMR_DRV_JDBC_J_XA_JAVA_H
#define QMR_DRV_JDBC_J_XA_JAVA_H

#include <jni.h>

#include <cstdint>
#include <vector>

#include "drv_jdbc/j-records.h"
#include "util/xa.h"

// The Java objects of one XA connection, as local references.
struct JC_XaObjects {
  jobject xaConnection = nullptr;  // javax.sql.XAConnection
  jobject connection = nullptr;    // its java.sql.Connection
  jobject resource = nullptr;      // its javax.transaction.xa.XAResource
};

namespace XADataSource {

// Makes an instance of className (loaded through the connection's class
// loader) with its properties set from the "name=value;..." text, asks it
// for an XA connection (with user and password when either is non-empty),
// then that connection for its java.sql.Connection and its XAResource.
// 0, or ERR_DRIVER_NOT_LOADED, ERR_GENERAL, ERR_NO_MEMORY or ERR_CANNOT_CONNECT
// with the cause posted; on failure nothing stays open.
uint32_t getXAConnection(JdbcConn* c, const char* className, const char* text, const char* user,
                         const char* password, JC_XaObjects* out);

}  // namespace XADataSource

// Closes an XA connection's Java objects, if any, without posting anything.
void JC_CloseXaObjects(JdbcConn* c, const JC_XaObjects& objects);

// Whether an XID given by a transaction manager names a branch: not null
// (formatID -1), a format id Java can hold, and both lengths 1..64.
bool JC_XidUsable(const XID* xid);

// A new quillmar/support/XAXid (local reference) holding a usable XID's
// values; null with the Java exception (if any) left pending.
jobject JC_NewXAXid(JNIEnv* env, jclass xidClass, const XID& xid);

// Reads any javax.transaction.xa.Xid, whatever its class (a JDBC driver's
// recover answers its own), into *out. Each length is capped at 64 bytes; a
// null array reads as empty. 0, or ERR_GENERAL with the exception pending.
uint32_t JC_ReadXid(JNIEnv* env, jobject xid, XID* out);

// The XAResource calls on the connection's resource. A Java exception is
// posted on the connection; the answer is then the errorCode of an
// XAException that carries one, else XAER_RMERR.
namespace XAResource {

int32_t start(JdbcConn* c, const XID& xid, int32_t flags);
int32_t end(JdbcConn* c, const XID& xid, int32_t flags);
// The resource's vote (XA_OK, XA_RDONLY) or the failure.
int32_t prepare(JdbcConn* c, const XID& xid);
int32_t commit(JdbcConn* c, const XID& xid, bool onePhase);
int32_t rollback(JdbcConn* c, const XID& xid);
int32_t forget(JdbcConn* c, const XID& xid);
// A whole recovery scan: the prepared and heuristically completed branches
// the resource knows, in *out (empty when there are none).
int32_t recover(JdbcConn* c, std::vector<XID>* out);

}  // namespace XAResource

#endif
