// Agent connections.
#include "drv_jdbc/j-conn.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "drv_jdbc/drv_catalog.h"
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-initsql.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-signals.h"
#include "drv_jdbc/j-start.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "util/errcodes.h"
#include "util/log.h"
#include "util/sqllex.h"
#include "util/strutil.h"
#include "util/textconv.h"
#include "util/utalloc.h"

const char DriverClassList[] =
    "{com.informix.jdbcx.IfxDataSource;com.informix.jdbcx.IfxXADataSource}";

namespace {

constexpr jint kFrame = 64;
constexpr const char* kNoMemory = "Memory allocation failure";
constexpr const char* kConnectSig =
    "(Ljava/lang/String;Ljava/util/Properties;)Ljava/sql/Connection;";
constexpr const char* kGetConnection2 =
    "(Ljava/lang/String;Ljava/lang/String;)Ljava/sql/Connection;";
constexpr const char* kGetConnection0 = "()Ljava/sql/Connection;";

#define CONN_LOG(...) LOG_AT(LOG_LEVEL_ERROR, __VA_ARGS__)

// The environment's list is read by DRV_GetError under the environment's
// lock; every writer takes the same lock.
void PostOnEnv(JdbcEnv* env, const char* message, int index) {
  plat::Guard<plat::RecursiveMutex> g(env->cs);
  errPostMsg(&env->errors, message, index);
}

void DeleteGlobal(JNIEnv* env, jobject* ref) {
  if (*ref != nullptr && env != nullptr) env->DeleteGlobalRef(*ref);
  *ref = nullptr;
}

// A JNI lookup failed: the exception it left says nothing the caller can use.
void ClearException(JNIEnv* env) {
  if (env->ExceptionCheck()) env->ExceptionClear();
}

// A platform class, kept for the life of the VM (never to be deleted).
jclass FindClassQuiet(JNIEnv* env, const char* name) {
  jclass cls = JM_SystemClass(env, name);
  if (cls == nullptr) ClearException(env);
  return cls;
}

// Logs and posts an allocation failure on the connection: ERR_NO_MEMORY.
uint32_t NoMemory(JdbcConn* c) {
  CONN_LOG("%s", kNoMemory);
  errPostMsg(&c->errors, kNoMemory, ERR_NO_MEMORY);
  return ERR_NO_MEMORY;
}

// The JDBC driver refused the connect: its exception becomes the record.
// One that names no SQLSTATE of its own (a network failure that reached the
// driver as a plain exception) reads as a connection that could not be made,
// with the driver's own text.
uint32_t ConnectRefused(JdbcConn* c) {
  CheckException(c->jniEnv, c->utf8, &c->errors);
  for (AgentError* r = c->errors.head; r != nullptr; r = r->next) {
    if (r->state != nullptr &&
        (std::strcmp(r->state, "S1000") == 0 || std::strcmp(r->state, "HY000") == 0))
      std::memcpy(r->state, "08001", 6);
  }
  CONN_LOG("Can't connect to DBMS...");
  return ERR_CANNOT_CONNECT;
}

// Closes a pooled or XA connection and drops the reference; a failure is
// posted on the connection.
void CloseAndDrop(JdbcConn* c, jobject* ref) {
  if (JC_CallVoidMethod(c->jniEnv, *ref, nullptr, "close", "()V") != 0) {
    CheckException(c->jniEnv, c->utf8, &c->errors);
  }
  DeleteGlobal(c->jniEnv, ref);
}

// Runs fn with the connection's diagnostics set aside, so that clean-up
// calls cannot replace the diagnostics of the failure being reported.
template <typename Fn>
void WithErrorsKept(JdbcConn* c, Fn fn) {
  AgentError* kept = c->errors.head;
  c->errors.head = nullptr;
  fn();
  errClear(&c->errors);
  c->errors.head = kept;
}

char* DupOrEmpty(const char* s) { return s_strdup(s != nullptr ? s : ""); }

// Text behind a length prefix of type Len, cut at the cell's size.
template <class Len>
std::string CountedText(const unsigned char* p, size_t elemSize) {
  Len n;
  std::memcpy(&n, p, sizeof n);
  return std::string(reinterpret_cast<const char*>(p) + sizeof n,
                     std::min<size_t>(n, elemSize - sizeof n));
}

// Text of one row-buffer cell, for the value types a type-information
// result comes in; empty for NULL.
std::string CellText(const COLSET_COL& col, uint32_t row) {
  if (col.ind == nullptr || col.data == nullptr || col.ind[row] == COLSET_IND_NULL) return {};
  const unsigned char* p = col.data + static_cast<size_t>(row) * col.elem_size;
  const char* t = reinterpret_cast<const char*>(p);
  switch (col.type) {
    case COLSET_VT_CHAR:
    case COLSET_VT_NTS: return std::string(t, strnlen(t, col.elem_size));
    case COLSET_VT_CHAR8: return CountedText<uint8_t>(p, col.elem_size);
    case COLSET_VT_CHAR16: return CountedText<uint16_t>(p, col.elem_size);
    case COLSET_VT_CHAR32: return CountedText<uint32_t>(p, col.elem_size);
    case COLSET_VT_LONGCHAR: {
      COLSET_LONG v;
      std::memcpy(&v, p, sizeof v);
      return v.value != nullptr ? std::string(static_cast<const char*>(v.value), v.length)
                                : std::string();
    }
    default: return {};
  }
}

bool CellInt(const COLSET_COL& col, uint32_t row, int32_t* out) {
  if (col.ind == nullptr || col.data == nullptr || col.ind[row] == COLSET_IND_NULL) return false;
  int64_t v = 0;
  if (ColSetElemInt(col, row, &v)) {
    *out = static_cast<int32_t>(v);
    return true;
  }
  std::string t = CellText(col, row);
  if (t.empty()) return false;
  *out = std::atoi(t.c_str());
  return true;
}

void CopyField(char* dst, size_t size, const std::string& src) {
  // Cut at the field's size without splitting a UTF-8 sequence.
  const size_t n = utf8_prefix_len(src.data(), src.size(), size - 1);
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

int FreeTypeEntry(void* value, const void*, void*) {
  std::free(value);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Property text.

DsPropList* JC_ParseProps(const char* text) {
  if (text == nullptr) return nullptr;
  auto* list = new (std::nothrow) DsPropList;
  if (list == nullptr) return nullptr;
  std::vector<std::string> items;
  std::string cur;
  int depth = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '{') ++depth;
    if (*p == '}') --depth;
    if (*p == ';' && depth == 0) {
      items.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(*p);
    }
  }
  if (!cur.empty()) items.push_back(cur);
  for (const std::string& item : items) {
    DsProp prop;
    size_t eq = item.find('=');
    if (eq == std::string::npos) {
      prop.name = item;
    } else {
      prop.name = item.substr(0, eq);
      prop.value = item.substr(eq + 1);
      prop.hasValue = true;
    }
    list->items.push_back(std::move(prop));
  }
  return list;
}

void JC_FreeProps(DsPropList* list) { delete list; }

uint32_t JC_SetDataSourceProp(JdbcConn* c, jclass cls, jobject ds, const DsPropList* props) {
  JNIEnv* env = c->jniEnv;
  if (props == nullptr) return 0;
  for (const DsProp& prop : props->items) {
    const std::string setter = "set" + prop.name;
    const char* value = prop.hasValue ? prop.value.c_str() : nullptr;
    // The setters looked for, in this order; a lookup that fails leaves an
    // exception that says nothing.
    auto has = [&](const char* sig) {
      if (JM_MethodOf(env, nullptr, cls, setter.c_str(), sig) != nullptr) return true;
      ClearException(env);
      return false;
    };
    uint32_t rc = ERR_GENERAL;
    bool found = true;
    if (has("(Ljava/lang/String;)V")) {
      jstring s = JC_NewString(env, value != nullptr ? value : "", c->utf8);
      if (s == nullptr) {
        ClearException(env);
        return NoMemory(c);
      }
      rc = JC_CallVoidMethod(env, ds, cls, setter.c_str(), "(Ljava/lang/String;)V", s);
      JC_DeleteLocal(env, s);
    } else if (has("(I)V")) {
      jint v = std::atoi(value != nullptr ? value : "0");
      rc = JC_CallVoidMethod(env, ds, cls, setter.c_str(), "(I)V", v);
    } else if (has("(Z)V")) {
      const char f = value != nullptr ? value[0] : '0';
      jboolean v = (f == '1' || f == 'T' || f == 't' || f == 'Y') ? JNI_TRUE : JNI_FALSE;
      rc = JC_CallVoidMethod(env, ds, cls, setter.c_str(), "(Z)V", v);
    } else if (has("()V")) {
      rc = JC_CallVoidMethod(env, ds, cls, setter.c_str(), "()V");
    } else {
      found = false;
    }
    if (!found) {
      CONN_LOG("Can't find method[%s] in DataSource", setter.c_str());
      std::string msg = "Can't find method[" + setter + "] in DataSource";
      errPostMsg(&c->errors, msg.c_str(), ERR_GENERAL);
      return ERR_GENERAL;
    }
    if (rc != 0) {
      CheckException(env, c->utf8, &c->errors);
      CONN_LOG("Error while calling DataSource.%s", setter.c_str());
      return ERR_GENERAL;
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Opening the connection.

namespace agent_connect {

namespace {

// How the connect trace names the class it could not load or make.
struct ClassWords {
  const char* found;  // "Can't find JDBC <found> = <class>"
  const char* init;   // "Can't find <init> class in <init>"
  const char* made;   // "Can't create <made> class"
};
constexpr ClassWords kDriverWords{"Driver", "JDBC Driver", "Driver"};
constexpr ClassWords kDataSourceWords{"DataSource", "DataSource", "DataSource"};

// PostgreSQL's driver reads a prepared statement's results in binary form
// once it has run a few times; that form of time and timetz turns
// 24:00:00 into 00:00:00 and a timetz into UTC, and its timestamptz drops
// the seconds of a local mean time offset. They stay in the text the server
// writes, whether the connection comes from its Driver or one of its data
// sources; a setting of the user's still wins.
constexpr const char* kPgTextTimes = "TIME,TIMETZ,TIMESTAMPTZ";

// Whether the user's data-source text sets the binary-transfer exclusions
// itself, as a property or in a URL: the default stays out of its way
// (the data sources take a URL's setting only for what is not set yet).
bool NamesBinaryDisable(const char* text) {
  std::string lower = text != nullptr ? text : "";
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  return lower.find("binarytransferdisable") != std::string::npos;
}

// Keeps PostgreSQL's times in text on a data source of its driver (one
// without the setter keeps its own default).
uint32_t KeepPgTimesAsText(JdbcConn* c, const char* className, const char* text, jclass cls,
                           jobject ds) {
  const std::string name = className != nullptr ? className : "";
  const bool pg = name.rfind("org.postgresql.", 0) == 0 || name.rfind("org/postgresql/", 0) == 0;
  if (!pg || NamesBinaryDisable(text)) return 0;
  JNIEnv* env = c->jniEnv;
  const char* sig = "(Ljava/lang/String;)V";
  if (JM_MethodOf(env, nullptr, cls, "setBinaryTransferDisable", sig) == nullptr) {
    ClearException(env);
    return 0;
  }
  jstring v = JC_NewString(env, kPgTextTimes, c->utf8);
  if (v == nullptr) {
    ClearException(env);
    return NoMemory(c);
  }
  const uint32_t rc = JC_CallVoidMethod(env, ds, cls, "setBinaryTransferDisable", sig, v);
  JC_DeleteLocal(env, v);
  if (rc == 0) return 0;
  CheckException(env, c->utf8, &c->errors);
  return ERR_GENERAL;
}

// Loads the named class through the connection's class loader and makes an
// instance with its public no-argument constructor: 3 when the class is
// missing, 15 when it cannot be made.
uint32_t NewInstance(JdbcConn* c, const char* className, const ClassWords& words, jclass* cls,
                     jobject* object) {
  JNIEnv* env = c->jniEnv;
  *cls = JC_LoadClass(env, c->classLoader, className);
  if (*cls == nullptr) {
    ClearException(env);
    CONN_LOG("Can't find JDBC %s = %s", words.found, className);
    return ERR_DRIVER_NOT_LOADED;
  }
  jmethodID ctor = JM_MethodOf(env, nullptr, *cls, "<init>", "()V");
  if (ctor == nullptr) {
    ClearException(env);
    CONN_LOG("Can't find <init> class in %s", words.init);
    return ERR_GENERAL;
  }
  *object = env->NewObject(*cls, ctor);
  if (*object == nullptr) {
    CheckException(env, c->utf8, &c->errors);
    CONN_LOG("Can't create %s class", words.made);
    return ERR_GENERAL;
  }
  return 0;
}

}  // namespace

uint32_t DriverManager_getConnection(JdbcConn* c, jobject* out, const char* className,
                                     const char* url, const char* user, const char* password) {
  JNIEnv* env = c->jniEnv;
  *out = nullptr;
  jclass propsCls = FindClassQuiet(env, "java/util/Properties");
  if (propsCls == nullptr) {
    CONN_LOG("Can't find java.util.Properties");
    return ERR_GENERAL;
  }
  jmethodID init = JM_MethodOf(env, nullptr, propsCls, "<init>", "()V");
  if (init == nullptr) {
    ClearException(env);
    CONN_LOG("Can't find <init> in Properties class");
    return ERR_GENERAL;
  }
  jobject props = env->NewObject(propsCls, init);
  if (props == nullptr) {
    ClearException(env);
    CONN_LOG("Can't create Properties object");
    return ERR_GENERAL;
  }
  // A setting in the URL wins over these properties.
  const bool pg = className != nullptr && (std::strcmp(className, "org/postgresql/Driver") == 0 ||
                                           std::strcmp(className, "org.postgresql.Driver") == 0);
  const char* keys[3] = {"user", "password", "binaryTransferDisable"};
  const char* values[3] = {user, password, pg ? kPgTextTimes : nullptr};
  for (int i = 0; i < 3; ++i) {
    // An empty text is no value: the driver's own default applies.
    if (values[i] == nullptr || values[i][0] == '\0') continue;
    jstring k = JC_NewString(env, keys[i], c->utf8);
    jstring v = JC_NewString(env, values[i], c->utf8);
    if (k == nullptr || v == nullptr) {
      ClearException(env);
      return NoMemory(c);
    }
    jobject old = nullptr;
    if (JC_CallObjectMethod(env, props, propsCls, "setProperty",
                            "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/Object;", &old, k,
                            v) != 0) {
      CheckException(env, c->utf8, &c->errors);
      return ERR_GENERAL;
    }
    JC_DeleteLocal(env, old);
    JC_DeleteLocal(env, k);
    JC_DeleteLocal(env, v);
  }
  jclass cls = nullptr;
  jobject driver = nullptr;
  if (uint32_t rc = NewInstance(c, className, kDriverWords, &cls, &driver)) return rc;
  jstring jurl = JC_NewString(env, url != nullptr ? url : "", c->utf8);
  if (jurl == nullptr) {
    ClearException(env);
    return NoMemory(c);
  }
  jobject conn = nullptr;
  if (JC_CallObjectMethod(env, driver, nullptr, "connect", kConnectSig, &conn, jurl, props) != 0)
    return ConnectRefused(c);
  if (conn == nullptr) {
    // The driver does not take URLs of this form.
    CONN_LOG("Can't connect to DBMS...");
    std::string msg = std::string("The JDBC driver does not accept the URL [") +
                      (url != nullptr ? url : "") + "]";
    errPostMsg(&c->errors, msg.c_str(), ERR_CANNOT_CONNECT);
    return ERR_CANNOT_CONNECT;
  }
  *out = conn;
  return 0;
}

uint32_t NewDataSource(JdbcConn* c, const char* className, const char* text, jclass* cls,
                       jobject* ds) {
  *cls = nullptr;
  *ds = nullptr;
  std::unique_ptr<DsPropList, void (*)(DsPropList*)> props(
      JC_ParseProps(text != nullptr ? text : ""), JC_FreeProps);
  if (!props) return NoMemory(c);
  if (uint32_t rc = NewInstance(c, className, kDataSourceWords, cls, ds)) return rc;
  if (uint32_t rc = JC_SetDataSourceProp(c, *cls, *ds, props.get())) return rc;
  return KeepPgTimesAsText(c, className, text, *cls, *ds);
}

uint32_t DataSource_getConnection(JdbcConn* c, jobject* out, int kind, const char* className,
                                  const char* text, const char* user, const char* password) {
  JNIEnv* env = c->jniEnv;
  *out = nullptr;
  // Without credentials the data source's own (from its properties) apply.
  const bool credentials =
      (user != nullptr && user[0] != '\0') || (password != nullptr && password[0] != '\0');
  jstring juser = nullptr;
  jstring jpwd = nullptr;
  if (credentials) {
    juser = JC_NewString(env, user != nullptr ? user : "", c->utf8);
    jpwd = JC_NewString(env, password != nullptr ? password : "", c->utf8);
    if (juser == nullptr || jpwd == nullptr) {
      ClearException(env);
      return NoMemory(c);
    }
  }
  jclass cls = nullptr;
  jobject ds = nullptr;
  if (uint32_t rc = NewDataSource(c, className, text, &cls, &ds)) return rc;

  const char* sig = credentials ? kGetConnection2 : kGetConnection0;
  jobject conn = nullptr;
  uint32_t rc = 0;
  bool direct = JM_MethodOf(env, nullptr, cls, "getConnection", sig) != nullptr;
  ClearException(env);
  if (direct || kind == DS_KIND_DATASOURCE) {
    rc = credentials ? JC_CallObjectMethod(env, ds, cls, "getConnection", sig, &conn, juser, jpwd)
                     : JC_CallObjectMethod(env, ds, cls, "getConnection", sig, &conn);
  } else {
    // A pooled or XA data source hands out its connections through a
    // PooledConnection (an XAConnection), which must stay open with it.
    const bool xa = kind == DS_KIND_XA;
    const char* method = xa ? "getXAConnection" : "getPooledConnection";
    const char* psig =
        xa ? (credentials ? "(Ljava/lang/String;Ljava/lang/String;)Ljavax/sql/XAConnection;"
                          : "()Ljavax/sql/XAConnection;")
           : (credentials ? "(Ljava/lang/String;Ljava/lang/String;)Ljavax/sql/PooledConnection;"
                          : "()Ljavax/sql/PooledConnection;");
    jobject pooled = nullptr;
    rc = credentials ? JC_CallObjectMethod(env, ds, cls, method, psig, &pooled, juser, jpwd)
                     : JC_CallObjectMethod(env, ds, cls, method, psig, &pooled);
    if (rc == 0 && pooled != nullptr) {
      rc = JC_CallObjectMethod(env, pooled, nullptr, "getConnection", kGetConnection0, &conn);
      if (rc == 0 && conn != nullptr) {
        c->pooledConnection = env->NewGlobalRef(pooled);
      } else if (rc != 0) {
        jthrowable pending = env->ExceptionOccurred();
        env->ExceptionClear();
        JC_CallVoidMethod(env, pooled, nullptr, "close", "()V");
        ClearException(env);
        if (pending != nullptr) env->Throw(pending);
      } else {
        JC_CallVoidMethod(env, pooled, nullptr, "close", "()V");
        ClearException(env);
      }
    }
  }
  if (rc != 0) return ConnectRefused(c);
  if (conn == nullptr) {
    CONN_LOG("Can't connect to DBMS...");
    errPostIndex(&c->errors, ERR_CANNOT_CONNECT);
    return ERR_CANNOT_CONNECT;
  }
  *out = conn;
  return 0;
}

namespace {

// What a user needs to mend a class the VM cannot load: its name as
// written in Java, and where the name and the archive are given.
std::string ClassNotFoundText(const char* internalName) {
  std::string name = internalName;
  for (char& ch : name) {
    if (ch == '/') ch = '.';
  }
  return "Can't find DBMS Driver = [" + name +
         "]: the class was not found on the Java class path. Name the JDBC driver class with "
         "JDBC= in the connection string (JdbcDriver in odbc.ini) and put its archive on the "
         "class path through QMR_JVM_OPTS, for example "
         "QMR_JVM_OPTS=-Djava.class.path=/usr/share/java/postgresql.jar";
}

}  // namespace

uint32_t _getConnection(JdbcConn* c, jobject* out, char* className, char* text, const char* user,
                        const char* password, char** xaClassOut) {
  JNIEnv* env = c->jniEnv;
  *out = nullptr;
  char* cls = JC_Unbrace(className);
  char* txt = text != nullptr ? JC_Unbrace(text) : nullptr;
  if (char* semi = std::strchr(cls, ';')) {
    *semi = '\0';
    if (semi[1] != '\0' && xaClassOut != nullptr) {
      std::free(*xaClassOut);
      *xaClassOut = s_strdup(semi + 1);
    }
  }
  LOG_AT(LOG_LEVEL_DEBUG, "connect: class=[%s] url=[%s] user=[%s]", cls, txt != nullptr ? txt : "",
         user != nullptr ? user : "");
  jclass loaded = JC_LoadClass(env, c->classLoader, cls);
  if (loaded == nullptr) {
    ClearException(env);
    CONN_LOG("Can't find DBMS Driver = [%s]", cls);
    errPostMsg(&c->errors, ClassNotFoundText(cls).c_str(), ERR_DRIVER_NOT_LOADED);
    return ERR_DRIVER_NOT_LOADED;
  }
  struct Kind {
    const char* iface;
    const char* missing;
    int kind;
  };
  static const Kind kKinds[] = {
      {"java/sql/Driver", "Can't find java.sql.Driver", DS_KIND_DRIVER},
      {"javax/sql/DataSource", "Can't find javax.sql.DataSource", DS_KIND_DATASOURCE},
      {"javax/sql/ConnectionPoolDataSource", "Can't find javax.sql.ConnectionPoolDataSource",
       DS_KIND_POOLED},
      {"javax/sql/XADataSource", "Can't find javax.sql.XADataSource", DS_KIND_XA},
  };
  uint32_t rc = 0;
  for (const Kind& k : kKinds) {
    jclass iface = FindClassQuiet(env, k.iface);
    if (iface == nullptr) {
      CONN_LOG("%s", k.missing);
      JC_DeleteLocal(env, loaded);
      return ERR_DRIVER_NOT_LOADED;
    }
    const bool is = env->IsAssignableFrom(loaded, iface) == JNI_TRUE;
    if (!is) continue;
    rc = k.kind == DS_KIND_DRIVER
             ? DriverManager_getConnection(c, out, cls, txt, user, password)
             : DataSource_getConnection(c, out, k.kind, cls, txt, user, password);
    break;
  }
  // A class of none of the four kinds gives no connection and no error here:
  // the first call on the connection reports it.
  JC_DeleteLocal(env, loaded);
  return rc;
}

}  // namespace agent_connect

// ---------------------------------------------------------------------------
// The server type table.

namespace {

// The type tables read so far, by JDBC driver, URL and user. The types a
// server offers do not change under a running application, and reading them
// is a catalog query at every connect otherwise (on PostgreSQL hundreds of
// rows). gTypeCacheLock guards the cache; it may be taken under any of the
// agent's locks, and no other lock is taken while it is held. Made once and
// never destroyed: nothing of it runs at exit.
using TypeRows = std::vector<std::pair<int16_t, JdbcTypeEntry>>;
plat::Mutex gTypeCacheLock;
auto* const gTypeCache PT_GUARDED_BY(gTypeCacheLock) = new std::map<std::string, TypeRows>();

std::string TypeCacheKey(const JdbcConn* c) {
  std::string key;
  for (const char* part : {c->driverClass, c->url, c->user}) {
    key += part != nullptr ? part : "";
    key += '\n';
  }
  return key;
}

int CollectTypeEntry(void* value, const void* key, void* rows) {
  static_cast<TypeRows*>(rows)->emplace_back(*static_cast<const int16_t*>(key),
                                             *static_cast<const JdbcTypeEntry*>(value));
  return 0;
}

// A table of copies of the kept rows; false when it cannot be built whole.
bool FillFromRows(HASH_TABLE* table, const TypeRows& rows) {
  for (const auto& [key, entry] : rows) {
    auto* e = static_cast<JdbcTypeEntry*>(std::malloc(sizeof(JdbcTypeEntry)));
    if (e == nullptr) return false;
    *e = entry;
    if (hash_set(table, &key, e) == nullptr) {
      std::free(e);
      return false;
    }
  }
  return true;
}

}  // namespace

HASH_TABLE* loadTypeInfo(uint32_t connHandle, JdbcConn* c) {
  HASH_TABLE* table = hash_create(100, 2);
  if (table == nullptr) return nullptr;
  const std::string cacheKey = TypeCacheKey(c);
  {
    plat::Guard<plat::Mutex> g(gTypeCacheLock);
    auto kept = gTypeCache->find(cacheKey);
    if (kept != gTypeCache->end()) {
      if (FillFromRows(table, kept->second)) return table;
      JC_FreeTypeTable(table);
      table = hash_create(100, 2);
      if (table == nullptr) return nullptr;
    }
  }
  uint32_t sh = 0;
  if (DRV_JdbcOpTable.DRV_AllocStmt(connHandle, &sh) != 0) return table;
  if (JdbcStmt* s = AGT_Stmt(sh)) s->wide = 0;
  // The agent's own operations, not a layer in front of them.
  if (DRV_JdbcOpTable.DRV_DDGetTypeInfo(sh, 0) == 0) {
    bool stop = false;
    while (!stop) {
      COLSET set;
      uint32_t rc = DRV_JdbcOpTable.DRV_Fetch(sh, 100, &set);
      if (rc != 0 || set.rows_held == 0 || set.cols_used < 5) {
        ColSetFreeColumns(&set);
        break;
      }
      for (uint32_t r = 0; r < set.rows_held && !stop; ++r) {
        int32_t type = 0;
        if (!CellInt(set.cols[1], r, &type)) continue;
        // The server lists the closest match of an SQL type first; later
        // rows of the same type (VARCHAR_IGNORECASE after VARCHAR, say) do
        // not replace it. Keyed by the one form lookups use, whichever
        // ODBC version the application declared.
        // A row under the type's standard name (HSQLDB lists NVARCHAR and
        // PostgreSQL its identifier type "name" before VARCHAR) replaces it.
        int16_t key = catTypeKey(type);
        const std::string name = CellText(set.cols[0], r);
        auto* e = static_cast<JdbcTypeEntry*>(hash_lookup(table, &key));
        if (e != nullptr) {
          if (!DRV_IsStandardTypeName(key, name.c_str()) ||
              DRV_IsStandardTypeName(key, e->typeName))
            continue;
        } else {
          e = static_cast<JdbcTypeEntry*>(std::calloc(1, sizeof(JdbcTypeEntry)));
          if (e == nullptr) {
            stop = true;
            break;
          }
        }
        CopyField(e->typeName, sizeof e->typeName, name);
        CopyField(e->literalPrefix, sizeof e->literalPrefix, CellText(set.cols[3], r));
        CopyField(e->literalSuffix, sizeof e->literalSuffix, CellText(set.cols[4], r));
        if (hash_lookup(table, &key) == e) continue;
        if (hash_set(table, &key, e) == nullptr) {
          std::free(e);
          stop = true;
          break;
        }
      }
      if (set.rows_held < 100) stop = true;
      ColSetFreeColumns(&set);
    }
  }
  DRV_JdbcOpTable.DRV_FreeStmt(sh);
  TypeRows rows;
  hash_foreach(table, CollectTypeEntry, &rows);
  if (!rows.empty()) {
    plat::Guard<plat::Mutex> g(gTypeCacheLock);
    gTypeCache->emplace(cacheKey, std::move(rows));
  }
  return table;
}

void JC_FreeTypeTable(HASH_TABLE* table) {
  if (table == nullptr) return;
  hash_foreach(table, FreeTypeEntry, nullptr);
  hash_destroy(table);
}

void freeConnRec(JdbcConn* c) {
  if (c == nullptr) return;
  std::free(c->settings.initialSql);
  std::free(c->settings.dbmsName);
  std::free(c->xaClassName);
  std::free(c->driverClass);
  std::free(c->url);
  std::free(c->user);
  std::free(c->password);
  JC_FreeTypeTable(c->typeTable);
  if (c->scalarFns != nullptr) hash_destroy(c->scalarFns);
  errClear(&c->errors);
  delete c;
}

// ---------------------------------------------------------------------------
// The operations.

namespace {

// The connection of a handle with its thread attached: 0,
// ERR_INVALID_ARGUMENT or ERR_GENERAL.
uint32_t Enter(uint32_t h, JdbcConn** out) {
  JdbcConn* c = AGT_Conn(h);
  if (c == nullptr) return ERR_INVALID_ARGUMENT;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  c->jniEnv = env;
  *out = c;
  return 0;
}

// Commit or rollback of the Java connection.
uint32_t EndTransaction(uint32_t h, uint32_t (*end)(JdbcConn*, jobject)) {
  JdbcConn* c = nullptr;
  if (uint32_t rc = Enter(h, &c)) return rc;
  JC_LocalFrame frame(c->jniEnv, kFrame);
  return end(c, c->connection);
}

}  // namespace

extern "C" {

uint32_t DRV_Connect(uint32_t envh, ConnectInfo* info, uint32_t* out) {
  using namespace agent_connect;
  JdbcEnv* envRec = AGT_Env(envh);
  if (envRec == nullptr || info == nullptr || out == nullptr) return ERR_INVALID_ARGUMENT;
  *out = 0;
  std::string signalsLost;
  if (!JC_VmSignalsIntact(&signalsLost, true)) {
    PostOnEnv(envRec, signalsLost.c_str(), ERR_VM_SIGNALS_REPLACED);
    return ERR_VM_SIGNALS_REPLACED;
  }
  auto* c = new (std::nothrow) JdbcConn{};
  if (c == nullptr) {
    PostOnEnv(envRec, kNoMemory, ERR_NO_MEMORY);
    return ERR_NO_MEMORY;
  }
  if (info->settings != nullptr) {
    c->settings = *info->settings;
    info->settings->initialSql = nullptr;
    info->settings->dbmsName = nullptr;
  }
  c->envRec = envRec;
  c->env = envh;
  if (info->options != nullptr && std::strlen(info->options) >= 4 &&
      std::memcmp(info->options, CONNINFO_UTF8_MARKER, 4) == 0) {
    c->utf8 = 1;
  }
  c->odbcVersion = 2;
  c->readOnly = c->readOnlyInitial = info->readOnly;
  JNIEnv* env = attachJVM();
  if (env == nullptr) {
    PostOnEnv(envRec, "Can't attach JVM to current thread", ERR_GENERAL);
    freeConnRec(c);
    return ERR_GENERAL;
  }
  c->jniEnv = env;
  JC_LocalFrame frame(env, kFrame);
  c->xaXidClass = envRec->xaXidClass;
  c->classLoader = envRec->classLoader;
  if (info->dbopts != nullptr) {
    char* copy = s_strdup(info->dbopts);
    c->url = s_strdup(JC_Unbrace(copy));
    std::free(copy);
  }
  // The JDBC keyword names the class; without it the fixed list applies.
  const char* list =
      (info->dbpath != nullptr && info->dbpath[0] != '\0') ? info->dbpath : DriverClassList;
  {
    std::string buf(list, strnlen(list, 1023));
    char* unbraced = JC_Unbrace(&buf[0]);
    c->driverClass = s_strdup(unbraced);
    for (char* p = c->driverClass + (c->driverClass[0] != '\0' ? 1 : 0); *p != '\0'; ++p) {
      if (*p == '.') *p = '/';
    }
  }
  c->user = DupOrEmpty(info->user);
  c->password = DupOrEmpty(info->password);

  jobject jconn = nullptr;
  jobject jmeta = nullptr;
  uint32_t rc =
      _getConnection(c, &jconn, c->driverClass, c->url, c->user, c->password, &c->xaClassName);
  if (rc == 0) rc = Connection::getMetaData(c, jconn, &jmeta);
  if (rc == 0 && c->readOnly != 0) rc = Connection::setReadOnly(c, jconn, true);
  if (rc == 0 && c->settings.noAutoCommit != 0) rc = Connection::setAutoCommit(c, jconn, false);
  if (rc == 0) {
    if (c->settings.initialSql != nullptr && c->settings.initialSql[0] != '\0') {
      runInitialSQL(c, jconn, c->settings.initialSql);  // its outcome does not decide the connect
    }
    c->connection = env->NewGlobalRef(jconn);
    c->metaData = env->NewGlobalRef(jmeta);
    if (c->connection == nullptr || c->metaData == nullptr) {
      ClearException(env);
      errPostMsg(&c->errors, kNoMemory, ERR_NO_MEMORY);
      rc = ERR_NO_MEMORY;
    }
  }
  if (rc == 0) {
    JC_DeleteLocal(env, jmeta);
    jmeta = nullptr;
    c->describeAtPrepare = 1;
    c->streamParams = 1;
    c->connFlag3 = 1;
    c->stmtDefault = 0;
    char product[1024] = {};  // a product name is a few words: no heap block a connect
    if (DatabaseMetaData::getStringByName(c, c->metaData, "getDatabaseProductName", product,
                                          sizeof product) == 0) {
      if (stristr(product, "teradata") != nullptr) c->teradata = 1;
      // Its quoting decides which '?' of a text are markers.
      if (stristr(product, "postgresql") != nullptr) c->sqlForms = SQLLEX_POSTGRESQL;
      // HSQLDB's JDBC driver takes java.time values but moves them through
      // the VM's zone (a wall time in its gap comes out an hour later); it
      // reads a parameter's SQL text by its fields.
      if (stristr(product, "hsql") != nullptr) c->javaTimeParams = JdbcConn::kJavaTimeNo;
      if (stristr(product, "derby") != nullptr) c->namesAreLabels = true;
    }
    errClear(&c->errors);  // a failed product-name question does not fail the connect
    uint32_t h = 0;
    int ht = HT_Alloc(&gAgentConnTable, &h, c);
    if (ht != 0) {
      errPostMsg(&c->errors, kNoMemory, ERR_NO_MEMORY);
      rc = static_cast<uint32_t>(ht);
    } else {
      c->handle = h;
      *out = h;
      c->typeTable = loadTypeInfo(h, c);
      JC_DeleteLocal(env, jconn);
      return 0;
    }
  }

  // Failure: the diagnostics move to the environment, where the connect
  // path reads them; a Java connection that was opened is closed again.
  if (jconn != nullptr || c->connection != nullptr || c->pooledConnection != nullptr) {
    WithErrorsKept(c, [&] {
      jobject open = c->connection != nullptr ? c->connection : jconn;
      if (open != nullptr) Connection::close(c, open);
      if (c->pooledConnection != nullptr) CloseAndDrop(c, &c->pooledConnection);
    });
  }
  {
    plat::Guard<plat::RecursiveMutex> g(envRec->cs);
    errClear(&envRec->errors);
    envRec->errors.head = c->errors.head;
    c->errors.head = nullptr;
  }
  DeleteGlobal(env, &c->connection);
  DeleteGlobal(env, &c->metaData);
  DeleteGlobal(env, &c->pooledConnection);
  JC_DeleteLocal(env, jconn);
  JC_DeleteLocal(env, jmeta);
  freeConnRec(c);
  return rc;
}

uint32_t DRV_Disconnect(uint32_t conn) {
  JdbcConn* c = nullptr;
  if (uint32_t rc = Enter(conn, &c)) return rc;
  JNIEnv* env = c->jniEnv;
  {
    JC_LocalFrame frame(env, kFrame);
    plat::Guard<plat::RecursiveMutex> g(gAgentMutex);
    // The connection's own list: no walk over every statement of the process.
    std::vector<uint32_t> handles;
    {
      plat::Guard<plat::Mutex> sg(c->stmtLock);
      handles.swap(c->stmts);
    }
    for (uint32_t h : handles) {
      JdbcStmt* s = AGT_Stmt(h);
      if (s == nullptr || s->conn != c) continue;
      s->jniEnv = env;
      closeStmtObjects(s);
      AGT_FreeStmtHandle(h);
      freeStmtRec(s);
    }
    if (c->connection != nullptr) Connection::close(c, c->connection);
    if (c->pooledConnection != nullptr) CloseAndDrop(c, &c->pooledConnection);
    if (c->xaConnection != nullptr) CloseAndDrop(c, &c->xaConnection);
    DeleteGlobal(env, &c->xaResource);
    DeleteGlobal(env, &c->metaData);
    DeleteGlobal(env, &c->connection);
  }
  detachJVM();
  HT_Free(&gAgentConnTable, conn);
  freeConnRec(c);
  return 0;
}

uint32_t DRV_Commit(uint32_t conn) { return EndTransaction(conn, Connection::commit); }

uint32_t DRV_Rollback(uint32_t conn) {
  // A rollback may undo a change to the schema (PostgreSQL's DDL is
  // transactional): what was read of the schema since is no longer sure.
  if (JdbcConn* c = AGT_Conn(conn)) ++c->schemaEpoch;
  return EndTransaction(conn, Connection::rollback);
}

}  // extern "C"
