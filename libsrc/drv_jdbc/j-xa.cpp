// Agent slots 55-64: the XA side of a connection.
#include "drv_jdbc/j-xa.h"

#include <jni.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-records.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "drv_jdbc/j-xa-java.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr jint kFrame = 64;

// What the checks before any work need: the agent's connection, and flags
// that ask for nothing asynchronous and fit Java's int.
JdbcConn* Checked(uint32_t h, int64_t flags) {
  if ((flags & TMASYNC) != 0 || flags < 0 || flags > 0xFFFFFFFFll) return nullptr;
  return AGT_Conn(h);
}

bool Attach(JdbcConn* c) {
  JNIEnv* env = attachJVM();
  if (env == nullptr) return false;
  c->jniEnv = env;
  return true;
}

bool XaOpen(const JdbcConn* c) { return c->xaResource != nullptr; }

void ClearException(JNIEnv* env) {
  if (env->ExceptionCheck()) env->ExceptionClear();
}

// Runs fn with the connection's diagnostics set aside and drops whatever it
// posts: a clean-up or a best-effort question must not bury the cause of a
// failure, nor leave diagnostics after a success.
template <typename Fn>
void Quietly(JdbcConn* c, Fn fn) {
  AgentError* kept = c->errors.head;
  c->errors.head = nullptr;
  fn();
  errClear(&c->errors);
  c->errors.head = kept;
}

void DropGlobal(JNIEnv* env, jobject* ref) {
  if (*ref != nullptr) env->DeleteGlobalRef(*ref);
  *ref = nullptr;
}

// The connection settings an application may have changed, as they are on
// one Java connection.
struct Settings {
  uint8_t autoCommit = 1;
  int32_t isolation = 0;  // 0: not known (TRANSACTION_NONE is never set)
  uint8_t readOnly = 0;
  std::string catalog;
};

// The settings of from; where from cannot tell (it may have died), those the
// connection was opened with.
Settings Read(JdbcConn* c, jobject from) {
  Settings s;
  s.autoCommit = c->settings.noAutoCommit != 0 ? 0 : 1;
  s.readOnly = c->readOnlyInitial != 0 ? 1 : 0;
  Quietly(c, [&] {
    uint8_t b = 0;
    if (Connection::getAutoCommit(c, from, &b) == 0) s.autoCommit = b;
    if (Connection::isReadOnly(c, from, &b) == 0) s.readOnly = b;
    int32_t level = 0;
    if (Connection::getTransactionIsolation(c, from, &level) == 0) s.isolation = level;
    std::string cat(1024, '\0');
    if (Connection::getCatalog(c, from, &cat[0], static_cast<uint32_t>(cat.size())) == 0)
      s.catalog = cat.c_str();
  });
  return s;
}

// Gives to the settings it does not have yet; the first failure.
uint32_t Apply(JdbcConn* c, jobject to, const Settings& s) {
  uint8_t b = 0;
  uint32_t rc = Connection::getAutoCommit(c, to, &b);
  if (rc == 0 && b != s.autoCommit) rc = Connection::setAutoCommit(c, to, s.autoCommit != 0);
  if (rc == 0) rc = Connection::isReadOnly(c, to, &b);
  if (rc == 0 && b != s.readOnly) rc = Connection::setReadOnly(c, to, s.readOnly != 0);
  int32_t level = 0;
  if (rc == 0 && s.isolation != 0) rc = Connection::getTransactionIsolation(c, to, &level);
  if (rc == 0 && s.isolation != 0 && level != s.isolation)
    rc = Connection::setTransactionIsolation(c, to, s.isolation);
  if (rc == 0 && !s.catalog.empty()) {
    std::string cat(1024, '\0');
    rc = Connection::getCatalog(c, to, &cat[0], static_cast<uint32_t>(cat.size()));
    if (rc == 0 && s.catalog != cat.c_str()) rc = Connection::setCatalog(c, to, s.catalog.c_str());
  }
  return rc;
}

// The class of the connection's XA connections, in JNI form; empty (with
// the cause posted) when it has none.
std::string XaClassOf(JdbcConn* c) {
  if (c->xaClassName != nullptr && c->xaClassName[0] != '\0') {
    std::string name = c->xaClassName;
    std::replace(name.begin(), name.end(), '.', '/');
    return name;
  }
  JNIEnv* env = c->jniEnv;
  const char* own = c->driverClass != nullptr ? c->driverClass : "";
  jclass loaded = own[0] != '\0' ? JC_LoadClass(env, c->classLoader, own) : nullptr;
  jclass iface = JM_SystemClass(env, "javax/sql/XADataSource");
  const bool xa = loaded != nullptr && iface != nullptr && env->IsAssignableFrom(loaded, iface);
  ClearException(env);
  JC_DeleteLocal(env, loaded);
  if (xa) return own;
  errPostMsg(&c->errors,
             "The data source names no XA data-source class: give one after a ';' in the "
             "JDBC keyword, or name an XADataSource class there",
             ERR_GENERAL);
  return {};
}

// The Java objects the connection now works on.
struct Objects {
  jobject connection = nullptr;
  jobject metaData = nullptr;
  jobject pooled = nullptr;  // the connection came through it, ordinary only
  jobject xaConnection = nullptr;
  jobject resource = nullptr;
};

// Global references to the new objects (locals of the caller's frame):
// false, with nothing kept, when memory runs out.
bool KeepGlobal(JNIEnv* env, Objects* o) {
  jobject* refs[] = {&o->connection, &o->metaData, &o->pooled, &o->xaConnection, &o->resource};
  bool ok = true;
  for (jobject* r : refs) {
    if (*r == nullptr) continue;
    *r = env->NewGlobalRef(*r);
    ok = ok && *r != nullptr;
  }
  if (!ok) {
    ClearException(env);
    for (jobject* r : refs) DropGlobal(env, r);
  }
  return ok;
}

// Closes the connection's current Java objects and puts the new ones (global
// references) in their place.
void Replace(JdbcConn* c, const Objects& fresh) {
  JNIEnv* env = c->jniEnv;
  Quietly(c, [&] {
    if (c->connection != nullptr) Connection::close(c, c->connection);
    for (jobject holder : {c->pooledConnection, c->xaConnection}) {
      if (holder != nullptr) JM_CallVoid(env, holder, JM_PooledClose);
      ClearException(env);
    }
  });
  DropGlobal(env, &c->connection);
  DropGlobal(env, &c->metaData);
  DropGlobal(env, &c->pooledConnection);
  DropGlobal(env, &c->xaConnection);
  DropGlobal(env, &c->xaResource);
  c->connection = fresh.connection;
  c->metaData = fresh.metaData;
  c->pooledConnection = fresh.pooled;
  c->xaConnection = fresh.xaConnection;
  c->xaResource = fresh.resource;
  // A scan belongs to the resource it was read from.
  c->xaRecovered.clear();
  c->xaRecoverNext = 0;
  c->xaScanOpen = false;
}

// The connection's Java connection after an XA open: the XA connection of
// its XA class with the settings of the current one.
uint32_t MakeXa(JdbcConn* c, const std::string& cls, Objects* out) {
  JC_XaObjects xa;
  uint32_t rc = XADataSource::getXAConnection(c, cls.c_str(), c->url, c->user, c->password, &xa);
  if (rc != 0) return rc;
  rc = Connection::getMetaData(c, xa.connection, &out->metaData);
  if (rc == 0) rc = Apply(c, xa.connection, Read(c, c->connection));
  if (rc != 0) {
    JC_CloseXaObjects(c, xa);
    return rc;
  }
  out->connection = xa.connection;
  out->xaConnection = xa.xaConnection;
  out->resource = xa.resource;
  return 0;
}

// The connection's Java connection after an XA close: an ordinary one from
// the connect values with the settings of the XA connection.
uint32_t MakeOrdinary(JdbcConn* c, Objects* out) {
  JNIEnv* env = c->jniEnv;
  // The connect path cuts its texts in place and records a pooled
  // connection on the record itself: give it copies, and keep the record's
  // own until the switch is certain.
  std::string cls = c->driverClass != nullptr ? c->driverClass : "";
  std::string url = c->url != nullptr ? c->url : "";
  jobject ownPooled = c->pooledConnection;
  c->pooledConnection = nullptr;
  uint32_t rc = agent_connect::_getConnection(c, &out->connection, &cls[0], &url[0], c->user,
                                              c->password, nullptr);
  out->pooled = c->pooledConnection;  // a global reference, when one was made
  c->pooledConnection = ownPooled;
  if (rc == 0 && out->connection == nullptr) {
    errPostIndex(&c->errors, ERR_CANNOT_CONNECT);
    rc = ERR_CANNOT_CONNECT;
  }
  if (rc == 0) rc = Connection::getMetaData(c, out->connection, &out->metaData);
  if (rc == 0) rc = Apply(c, out->connection, Read(c, c->connection));
  if (rc == 0 && out->pooled != nullptr) {
    // Kept as a local like the others until the switch is certain.
    jobject global = out->pooled;
    out->pooled = env->NewLocalRef(global);
    env->DeleteGlobalRef(global);
  }
  if (rc != 0) {
    Quietly(c, [&] {
      if (out->connection != nullptr) Connection::close(c, out->connection);
      if (out->pooled != nullptr) JM_CallVoid(env, out->pooled, JM_PooledClose);
      ClearException(env);
    });
    if (out->pooled != nullptr) env->DeleteGlobalRef(out->pooled);
    out->pooled = nullptr;
  }
  return rc;
}

// The common shape of the verbs on one branch.
template <typename Verb>
int32_t OnBranch(uint32_t h, XID* xid, int64_t flags, Verb verb) {
  JdbcConn* c = Checked(h, flags);
  if (c == nullptr || !JC_XidUsable(xid)) return XAER_INVAL;
  if (!XaOpen(c)) return XAER_PROTO;
  if (!Attach(c)) return XAER_INVAL;
  JC_LocalFrame frame(c->jniEnv, kFrame);
  return verb(c, *xid, static_cast<int32_t>(static_cast<uint32_t>(flags)));
}

}  // namespace

extern "C" {

int32_t DRV_XaOpen(uint32_t conn, uint32_t, const char*, int32_t, int64_t flags) {
  JdbcConn* c = Checked(conn, flags);
  if (c == nullptr) return XAER_INVAL;
  if (XaOpen(c)) {
    // Whatever worker now serves the connection must know its XA side is
    // open (the proxy replaces the worker at every open).
    AGT_SwitchWorker(c->worker, 1);
    return XAER_INVAL;
  }
  if (!Attach(c)) return XAER_INVAL;
  JC_LocalFrame frame(c->jniEnv, kFrame);
  const std::string cls = XaClassOf(c);
  if (cls.empty()) return XAER_INVAL;
  Objects fresh;
  if (MakeXa(c, cls, &fresh) != 0) return XAER_INVAL;
  if (!KeepGlobal(c->jniEnv, &fresh)) {
    JC_XaObjects xa;
    xa.xaConnection = fresh.xaConnection;
    JC_CloseXaObjects(c, xa);
    errPostIndex(&c->errors, ERR_NO_MEMORY);
    return XAER_INVAL;
  }
  Replace(c, fresh);
  AGT_SwitchWorker(c->worker, 1);
  return XA_OK;
}

int32_t DRV_XaClose(uint32_t conn, const char*, int32_t, int64_t flags) {
  JdbcConn* c = Checked(conn, flags);
  if (c == nullptr) return XAER_INVAL;
  if (!XaOpen(c)) return XA_OK;
  if (!Attach(c)) return XAER_INVAL;
  JC_LocalFrame frame(c->jniEnv, kFrame);
  Objects fresh;
  if (MakeOrdinary(c, &fresh) != 0) return XAER_INVAL;
  if (!KeepGlobal(c->jniEnv, &fresh)) {
    errPostIndex(&c->errors, ERR_NO_MEMORY);
    return XAER_INVAL;
  }
  Replace(c, fresh);
  AGT_SwitchWorker(c->worker, 0);
  return XA_OK;
}

int32_t DRV_XaStart(uint32_t conn, XID* xid, int32_t, int64_t flags) {
  return OnBranch(conn, xid, flags, XAResource::start);
}

int32_t DRV_XaEnd(uint32_t conn, XID* xid, int32_t, int64_t flags) {
  return OnBranch(conn, xid, flags, XAResource::end);
}

int32_t DRV_XaPrepare(uint32_t conn, XID* xid, int32_t, int64_t flags) {
  return OnBranch(conn, xid, flags,
                  [](JdbcConn* c, const XID& x, int32_t) { return XAResource::prepare(c, x); });
}

int32_t DRV_XaCommit(uint32_t conn, XID* xid, int32_t, int64_t flags) {
  return OnBranch(conn, xid, flags, [](JdbcConn* c, const XID& x, int32_t f) {
    return XAResource::commit(c, x, (f & TMONEPHASE) != 0);
  });
}

int32_t DRV_XaRollback(uint32_t conn, XID* xid, int32_t, int64_t flags) {
  return OnBranch(conn, xid, flags,
                  [](JdbcConn* c, const XID& x, int32_t) { return XAResource::rollback(c, x); });
}

int32_t DRV_XaForget(uint32_t conn, XID* xid, int32_t, int64_t flags) {
  return OnBranch(conn, xid, flags,
                  [](JdbcConn* c, const XID& x, int32_t) { return XAResource::forget(c, x); });
}

int32_t DRV_XaRecover(uint32_t conn, XID* xids, int64_t count, int32_t, int64_t flags) {
  JdbcConn* c = Checked(conn, flags);
  if (c == nullptr || count < 0 || (xids == nullptr && count > 0)) return XAER_INVAL;
  if (!XaOpen(c)) return XAER_PROTO;
  if ((flags & TMSTARTRSCAN) != 0) {
    if (!Attach(c)) return XAER_INVAL;
    JC_LocalFrame frame(c->jniEnv, kFrame);
    c->xaScanOpen = false;
    c->xaRecoverNext = 0;
    const int32_t rc = XAResource::recover(c, &c->xaRecovered);
    if (rc != XA_OK) return rc;
    c->xaScanOpen = true;
  } else if (!c->xaScanOpen) {
    return XAER_INVAL;
  }
  const size_t left = c->xaRecovered.size() - c->xaRecoverNext;
  const size_t n = std::min<size_t>(left, static_cast<uint64_t>(count));
  std::copy_n(c->xaRecovered.begin() + static_cast<std::ptrdiff_t>(c->xaRecoverNext), n, xids);
  c->xaRecoverNext += n;
  if ((flags & TMENDRSCAN) != 0) {
    c->xaRecovered.clear();
    c->xaRecoverNext = 0;
    c->xaScanOpen = false;
  }
  return static_cast<int32_t>(n);
}

int32_t DRV_XaComplete(uint32_t, int*, int*, int32_t, int64_t) { return XAER_INVAL; }

}  // extern "C"
