// The Java side of distributed transactions.
#include "drv_jdbc/j-xa-java.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-methods.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

#define XA_LOG(...) LOG_AT(LOG_LEVEL_ERROR, __VA_ARGS__)

// Every call below holds at most a handful of local references at once.
constexpr jint kFrame = 16;

void ClearException(JNIEnv* env) {
  if (env->ExceptionCheck()) env->ExceptionClear();
}

// The XA code of the Java call that just failed, with its exception posted
// on the connection. An XAException names the outcome itself (XAER_NOTA for
// a branch the resource does not know, XA_RB* for one it rolled back ...);
// any other failure, and an XAException without a code, is XAER_RMERR.
int32_t XaFailure(JdbcConn* c) {
  JNIEnv* env = c->jniEnv;
  int32_t code = XAER_RMERR;
  jthrowable thrown = env->ExceptionOccurred();
  if (thrown == nullptr) return code;
  env->ExceptionClear();
  jclass xaException = nullptr;
  jfieldID field = JM_FieldId(env, JM_XaExceptionErrorCode, &xaException);
  if (field == nullptr) {
    ClearException(env);
  } else if (env->IsInstanceOf(thrown, xaException)) {
    const jint reported = env->GetIntField(thrown, field);
    if (reported != XA_OK) code = reported;
  }
  env->Throw(thrown);
  CheckException(env, c->utf8, &c->errors);
  env->DeleteLocalRef(thrown);
  return code;
}

// Copies at most cap bytes of a Java byte array (null reads as empty) to
// dst; the number copied.
long CopyCapped(JNIEnv* env, jobject array, char* dst, long cap) {
  if (array == nullptr) return 0;
  auto bytes = static_cast<jbyteArray>(array);
  const jsize n = std::min<jsize>(env->GetArrayLength(bytes), static_cast<jsize>(cap));
  env->GetByteArrayRegion(bytes, 0, n, reinterpret_cast<jbyte*>(dst));
  return n;
}

jbyteArray BytesOf(JNIEnv* env, const char* data, long length) {
  jbyteArray a = env->NewByteArray(static_cast<jsize>(length));
  if (a != nullptr)
    env->SetByteArrayRegion(a, 0, static_cast<jsize>(length), reinterpret_cast<const jbyte*>(data));
  return a;
}

// Runs call(javaXid) on a Java Xid made from xid: XA_OK when call answers 0.
template <class Call>
int32_t OnXid(JdbcConn* c, const XID& xid, Call call) {
  JNIEnv* env = c->jniEnv;
  JC_LocalFrame frame(env, kFrame);
  jobject javaXid = JC_NewXAXid(env, c->xaXidClass, xid);
  if (javaXid == nullptr) {
    XA_LOG("XID creation failure");
    return XaFailure(c);
  }
  return call(javaXid) == 0 ? XA_OK : XaFailure(c);
}

// getXAConnection on a data source: 0 with a local reference in *xac, or
// the failure posted on the connection.
uint32_t OpenXaConnection(JdbcConn* c, const char* className, jobject ds, const char* user,
                          const char* password, jobject* xac) {
  JNIEnv* env = c->jniEnv;
  // A method of the interface called on an object that does not implement
  // it would bring the VM down: make sure first.
  jclass iface = JM_SystemClass(env, "javax/sql/XADataSource");
  if (iface == nullptr || !env->IsInstanceOf(ds, iface)) {
    ClearException(env);
    std::string name = className;
    std::replace(name.begin(), name.end(), '/', '.');
    const std::string msg = "The class [" + name + "] is not a javax.sql.XADataSource";
    XA_LOG("%s", msg.c_str());
    errPostMsg(&c->errors, msg.c_str(), ERR_CANNOT_CONNECT);
    return ERR_CANNOT_CONNECT;
  }
  const bool credentials =
      (user != nullptr && user[0] != '\0') || (password != nullptr && password[0] != '\0');
  uint32_t rc = 0;
  if (credentials) {
    jstring u = JC_NewString(env, user != nullptr ? user : "", c->utf8);
    jstring p = JC_NewString(env, password != nullptr ? password : "", c->utf8);
    rc = u != nullptr && p != nullptr ? JM_CallObject(env, ds, JM_XadsGetXAConnectionAs, xac, u, p)
                                      : ERR_NO_MEMORY;
    JC_DeleteLocal(env, u);
    JC_DeleteLocal(env, p);
  } else {
    rc = JM_CallObject(env, ds, JM_XadsGetXAConnection, xac);
  }
  if (rc == 0 && *xac != nullptr) return 0;
  XA_LOG("Can't connect to DBMS...");
  const uint32_t code = rc == ERR_NO_MEMORY ? ERR_NO_MEMORY : ERR_CANNOT_CONNECT;
  if (CheckException(env, c->utf8, &c->errors) == 0) errPostIndex(&c->errors, code);
  return code;
}

}  // namespace

// ---------------------------------------------------------------------------
// XA connections.

namespace XADataSource {

uint32_t getXAConnection(JdbcConn* c, const char* className, const char* text, const char* user,
                         const char* password, JC_XaObjects* out) {
  JNIEnv* env = c->jniEnv;
  *out = JC_XaObjects{};
  // No frame of its own: the three objects are the caller's locals. The
  // class and the data source go as soon as the XA connection is made.
  jclass cls = nullptr;
  jobject ds = nullptr;
  uint32_t rc = agent_connect::NewDataSource(c, className, text, &cls, &ds);
  jobject xac = nullptr;
  if (rc == 0) rc = OpenXaConnection(c, className, ds, user, password, &xac);
  JC_DeleteLocal(env, ds);
  JC_DeleteLocal(env, cls);
  if (rc != 0) return rc;
  JC_XaObjects got;
  got.xaConnection = xac;
  rc = JM_CallObject(env, xac, JM_PooledGetConnection, &got.connection);
  if (rc == 0) rc = JM_CallObject(env, xac, JM_XaConnGetXAResource, &got.resource);
  if (rc != 0 || got.connection == nullptr || got.resource == nullptr) {
    XA_LOG("Can't get connection ...");
    if (CheckException(env, c->utf8, &c->errors) == 0) errPostIndex(&c->errors, ERR_CANNOT_CONNECT);
    JC_CloseXaObjects(c, got);
    JC_DeleteLocal(env, got.connection);
    JC_DeleteLocal(env, got.resource);
    JC_DeleteLocal(env, xac);
    return ERR_CANNOT_CONNECT;
  }
  *out = got;
  return 0;
}

}  // namespace XADataSource

void JC_CloseXaObjects(JdbcConn* c, const JC_XaObjects& objects) {
  JNIEnv* env = c->jniEnv;
  if (objects.xaConnection == nullptr) return;
  // The XA connection closes the connection it handed out with it.
  JM_CallVoid(env, objects.xaConnection, JM_PooledClose);
  ClearException(env);
}

// ---------------------------------------------------------------------------
// Transaction identifiers.

bool JC_XidUsable(const XID* xid) {
  return xid != nullptr && xid->formatID != XID_NULL_FORMAT && xid->formatID >= INT32_MIN &&
         xid->formatID <= INT32_MAX && xid->gtrid_length >= 1 &&
         xid->gtrid_length <= MAXGTRIDSIZE && xid->bqual_length >= 1 &&
         xid->bqual_length <= MAXBQUALSIZE;
}

jobject JC_NewXAXid(JNIEnv* env, jclass xidClass, const XID& xid) {
  if (xidClass == nullptr) return nullptr;
  jmethodID ctor = JM_MethodOf(env, nullptr, xidClass, "<init>", "(I[B[B)V");
  if (ctor == nullptr) {
    XA_LOG("Can't find <init> in XAXID class");
    return nullptr;
  }
  jbyteArray gtrid = BytesOf(env, xid.data, xid.gtrid_length);
  jbyteArray bqual =
      gtrid != nullptr ? BytesOf(env, xid.data + xid.gtrid_length, xid.bqual_length) : nullptr;
  jobject made = nullptr;
  if (gtrid != nullptr && bqual != nullptr)
    made = env->NewObject(xidClass, ctor, static_cast<jint>(xid.formatID), gtrid, bqual);
  JC_DeleteLocal(env, gtrid);
  JC_DeleteLocal(env, bqual);
  if (env->ExceptionCheck()) {
    JC_DeleteLocal(env, made);
    return nullptr;
  }
  return made;
}

uint32_t JC_ReadXid(JNIEnv* env, jobject xid, XID* out) {
  *out = XID{};
  int32_t format = 0;
  jobject gtrid = nullptr;
  jobject bqual = nullptr;
  uint32_t rc = JM_CallInt(env, xid, JM_XidGetFormatId, &format);
  if (rc == 0) rc = JM_CallObject(env, xid, JM_XidGetGlobalTransactionId, &gtrid);
  if (rc == 0) rc = JM_CallObject(env, xid, JM_XidGetBranchQualifier, &bqual);
  if (rc == 0) {
    out->formatID = format;
    out->gtrid_length = CopyCapped(env, gtrid, out->data, MAXGTRIDSIZE);
    out->bqual_length = CopyCapped(env, bqual, out->data + out->gtrid_length, MAXBQUALSIZE);
  }
  JC_DeleteLocal(env, gtrid);
  JC_DeleteLocal(env, bqual);
  return rc;
}

// ---------------------------------------------------------------------------
// XAResource.

namespace XAResource {

int32_t start(JdbcConn* c, const XID& xid, int32_t flags) {
  return OnXid(c, xid, [&](jobject x) {
    return JM_CallVoid(c->jniEnv, c->xaResource, JM_XaResStart, x, static_cast<jint>(flags));
  });
}

int32_t end(JdbcConn* c, const XID& xid, int32_t flags) {
  return OnXid(c, xid, [&](jobject x) {
    return JM_CallVoid(c->jniEnv, c->xaResource, JM_XaResEnd, x, static_cast<jint>(flags));
  });
}

int32_t prepare(JdbcConn* c, const XID& xid) {
  int32_t vote = XA_OK;
  const int32_t rc = OnXid(c, xid, [&](jobject x) {
    return JM_CallInt(c->jniEnv, c->xaResource, JM_XaResPrepare, &vote, x);
  });
  return rc == XA_OK ? vote : rc;
}

int32_t commit(JdbcConn* c, const XID& xid, bool onePhase) {
  return OnXid(c, xid, [&](jobject x) {
    return JM_CallVoid(c->jniEnv, c->xaResource, JM_XaResCommit, x,
                       static_cast<jboolean>(onePhase ? JNI_TRUE : JNI_FALSE));
  });
}

int32_t rollback(JdbcConn* c, const XID& xid) {
  return OnXid(c, xid, [&](jobject x) {
    return JM_CallVoid(c->jniEnv, c->xaResource, JM_XaResRollback, x);
  });
}

int32_t forget(JdbcConn* c, const XID& xid) {
  return OnXid(c, xid,
               [&](jobject x) { return JM_CallVoid(c->jniEnv, c->xaResource, JM_XaResForget, x); });
}

int32_t recover(JdbcConn* c, std::vector<XID>* out) {
  JNIEnv* env = c->jniEnv;
  out->clear();
  JC_LocalFrame frame(env, kFrame);
  jobject found = nullptr;
  // The whole list in one call: the scan over it is the caller's.
  if (JM_CallObject(env, c->xaResource, JM_XaResRecover, &found, static_cast<jint>(TMSTARTRSCAN)) !=
      0)
    return XaFailure(c);
  if (found == nullptr) return XA_OK;
  auto array = static_cast<jobjectArray>(found);
  const jsize n = env->GetArrayLength(array);
  std::vector<XID> read;
  read.reserve(static_cast<size_t>(n));
  for (jsize i = 0; i < n; ++i) {
    jobject element = env->GetObjectArrayElement(array, i);
    if (element == nullptr) {
      if (env->ExceptionCheck()) return XaFailure(c);
      continue;  // a hole in the driver's answer names no branch
    }
    XID xid;
    const uint32_t rc = JC_ReadXid(env, element, &xid);
    env->DeleteLocalRef(element);
    if (rc != 0) return XaFailure(c);
    read.push_back(xid);
  }
  out->swap(read);
  return XA_OK;
}

}  // namespace XAResource
