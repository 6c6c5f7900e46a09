// Wrappers of java.sql.Statement and PreparedStatement.
#include "drv_jdbc/j-wrap-stmt.h"

#include <strings.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-sqltypes.h"
#include "drv_jdbc/j-wrap-impl.h"
#include "platform/lock.h"
#include "platform/thread_annotations.h"
#include "util/errcodes.h"
#include "util/sqllex.h"

using namespace wrapimpl;

namespace Statement {

namespace {

template <class O>
uint32_t Execute(O* o, jobject stmt, const char* sql, uint8_t* isResultSet) {
  jstring text = TextArg(o, sql);
  if (text == nullptr) return ERR_GENERAL;
  uint32_t rc = JC_CallBooleanMethod(Env(o), stmt, nullptr, "execute", "(Ljava/lang/String;)Z",
                                     isResultSet, text);
  JC_DeleteLocal(Env(o), text);
  return Done(o, rc);
}

}  // namespace

uint32_t execute(JdbcStmt* s, jobject stmt, const char* sql, uint8_t* isResultSet) {
  return Execute(s, stmt, sql, isResultSet);
}

uint32_t execute(JdbcConn* c, jobject stmt, const char* sql, uint8_t* isResultSet) {
  return Execute(c, stmt, sql, isResultSet);
}

uint32_t getResultSet(JdbcStmt* s, jobject stmt, jobject* rs) {
  return Done(
      s, JC_CallObjectMethod(Env(s), stmt, nullptr, "getResultSet", "()Ljava/sql/ResultSet;", rs));
}

uint32_t close(JdbcConn* c, jobject stmt) {
  return Done(c, JC_CallVoidMethod(Env(c), stmt, nullptr, "close", "()V"));
}

uint32_t close(JdbcStmt* s, jobject stmt) {
  return Done(s, JC_CallVoidMethod(Env(s), stmt, nullptr, "close", "()V"));
}

uint32_t getMoreResults(JdbcStmt* s, jobject stmt, uint8_t* more) {
  return Done(s, JC_CallBooleanMethod(Env(s), stmt, nullptr, "getMoreResults", "()Z", more));
}

uint32_t getUpdateCount(JdbcStmt* s, jobject stmt, int32_t* count) {
  return Done(s, JM_CallInt(Env(s), stmt, JM_StmtGetUpdateCount, count));
}

uint32_t setCursorName(JdbcStmt* s, jobject stmt, const char* name) {
  jstring text = TextArg(s, name);
  if (text == nullptr) return ERR_GENERAL;
  uint32_t rc =
      JC_CallVoidMethod(Env(s), stmt, nullptr, "setCursorName", "(Ljava/lang/String;)V", text);
  JC_DeleteLocal(Env(s), text);
  return Done(s, rc);
}

uint32_t getQueryTimeout(JdbcStmt* s, jobject stmt, int32_t* seconds) {
  return Done(s, JC_CallIntMethod(Env(s), stmt, nullptr, "getQueryTimeout", "()I", seconds));
}

uint32_t setQueryTimeout(JdbcStmt* s, jobject stmt, int32_t seconds) {
  return Done(s, JC_CallVoidMethod(Env(s), stmt, nullptr, "setQueryTimeout", "(I)V",
                                   static_cast<jint>(seconds)));
}

uint32_t setMaxRows(JdbcStmt* s, jobject stmt, int32_t rows) {
  return Done(
      s, JC_CallVoidMethod(Env(s), stmt, nullptr, "setMaxRows", "(I)V", static_cast<jint>(rows)));
}

uint32_t setFetchSize(JdbcStmt* s, jobject stmt, int32_t rows) {
  return Done(
      s, JC_CallVoidMethod(Env(s), stmt, nullptr, "setFetchSize", "(I)V", static_cast<jint>(rows)));
}

uint32_t getSerial(JdbcStmt* s, jobject stmt, int32_t* serial) {
  if (serial != nullptr) *serial = 0;
  JNIEnv* env = Env(s);
  if (env == nullptr || stmt == nullptr)
    return Done(s, JC_ThrowNPE(env, stmt ? "env" : "obj", "getSerial"));
  jobject loader = (s->conn != nullptr) ? s->conn->classLoader : nullptr;
  jclass cls = JC_LoadClass(env, loader, "com/informix/jdbc/IfmxStatement");
  if (cls == nullptr || env->ExceptionCheck()) {
    // No Informix driver: no serial value.
    env->ExceptionClear();
    JC_DeleteLocal(env, cls);
    return 0;
  }
  // A statement of any other driver has no such method: calling it through
  // this class would be undefined, so it answers 0.
  if (!env->IsInstanceOf(stmt, cls)) {
    env->DeleteLocalRef(cls);
    return 0;
  }
  uint32_t rc = JC_CallIntMethod(env, stmt, cls, "getSerial", "()I", serial);
  env->DeleteLocalRef(cls);
  return Done(s, rc);
}

}  // namespace Statement

namespace PreparedStatement {

namespace {

// A setter of one value; J is the JNI type the variadic call carries. The
// setters run for every marker of every execute: their IDs are resolved once
// on the interface, so a call costs no check of the object's class.
template <class J>
uint32_t SetValue(JdbcStmt* s, jobject ps, JM_Method setter, int32_t index, J value) {
  return Done(s, JM_CallVoid(Env(s), ps, setter, static_cast<jint>(index), value));
}

// QMRRowBlock's codes of the plain setters, and the methods they stand for.
enum Recorded : jint {
  kSetNull,
  kSetBoolean,
  kSetByte,
  kSetShort,
  kSetInt,
  kSetLong,
  kSetFloat,
  kSetDouble,
  kSetString
};
constexpr JM_Method kRecordedMethod[] = {JM_PstmtSetNull,  JM_PstmtSetBoolean, JM_PstmtSetByte,
                                         JM_PstmtSetShort, JM_PstmtSetInt,     JM_PstmtSetLong,
                                         JM_PstmtSetFloat, JM_PstmtSetDouble,  JM_PstmtSetString};
// Local references a record holds at most; beyond, the setters run as usual.
constexpr size_t kRecordedStrings = 64;

bool Recording(const JdbcStmt* s) { return s != nullptr && s->paramRecord != nullptr; }

// Adds a plain setter to the statement's record (text: a local reference
// the record takes over).
void Record(JdbcStmt* s, Recorded setter, int32_t index, jlong value, jobject text = nullptr) {
  JdbcParamRecord* r = s->paramRecord;
  r->setters.push_back(index << 4 | setter);
  r->values.push_back(value);
  r->texts.push_back(text);
  if (text != nullptr) ++r->strings;
}

template <class J>
uint32_t SetPlain(JdbcStmt* s, jobject ps, Recorded setter, int32_t index, jlong bits, J value) {
  if (Recording(s)) {
    Record(s, setter, index, bits);
    return 0;
  }
  return SetValue(s, ps, kRecordedMethod[setter], index, value);
}

// Every setter but the plain ones first has the record applied, in order.
uint32_t Unrecord(JdbcStmt* s, jobject ps) {
  return s != nullptr && s->paramRecord != nullptr ? applyRecorded(s, ps) : 0;
}

// A Java byte[] holding the bytes; null when it cannot be made.
jbyteArray NewBytes(JNIEnv* env, const void* bytes, size_t length) {
  jbyteArray arr = env->NewByteArray(static_cast<jsize>(length));
  if (arr != nullptr && length != 0)
    env->SetByteArrayRegion(arr, 0, static_cast<jsize>(length), static_cast<const jbyte*>(bytes));
  return arr;
}

}  // namespace

uint32_t clearParameters(JdbcStmt* s, jobject ps) {
  JNIEnv* env = Env(s);
  if (env == nullptr || ps == nullptr) return 0;
  // A plain Statement has no such method: looking it up would fail and
  // throw on every statement freed.
  jclass prepared = JM_SystemClass(env, "java/sql/PreparedStatement");
  if (prepared == nullptr) {
    env->ExceptionClear();
    return 0;
  }
  if (!env->IsInstanceOf(ps, prepared)) return 0;
  if (JC_CallVoidMethod(env, ps, nullptr, "clearParameters", "()V") != 0) env->ExceptionClear();
  return 0;
}

uint32_t getMetaData(JdbcStmt* s, jobject ps, jobject* md) {
  if (md != nullptr) *md = nullptr;
  if (JC_CallObjectMethod(Env(s), ps, nullptr, "getMetaData", "()Ljava/sql/ResultSetMetaData;",
                          md) != 0) {
    if (Env(s) != nullptr) Env(s)->ExceptionClear();
    if (md != nullptr) *md = nullptr;
  }
  return 0;
}

void getParameterTypes(JdbcStmt* s, jobject ps, uint16_t count, std::vector<int32_t>* types) {
  types->assign(count, JDBC_NULL);
  JNIEnv* env = Env(s);
  if (env == nullptr || count == 0) return;
  jobject md = nullptr;
  if (JC_CallObjectMethod(env, ps, nullptr, "getParameterMetaData",
                          "()Ljava/sql/ParameterMetaData;", &md) == 0 &&
      md != nullptr) {
    for (uint16_t i = 0; i < count; ++i) {
      int32_t t = JDBC_NULL;
      if (JC_CallIntMethod(env, md, nullptr, "getParameterType", "(I)I", &t,
                           static_cast<jint>(i + 1)) != 0) {
        if (env->ExceptionCheck()) env->ExceptionClear();
        break;
      }
      (*types)[i] = t;
    }
  }
  if (env->ExceptionCheck()) env->ExceptionClear();
  JC_DeleteLocal(env, md);
}

bool parameterTypeNamed(JdbcStmt* s, jobject ps, int32_t index, const char* name) {
  JNIEnv* env = Env(s);
  if (env == nullptr || name == nullptr) return false;
  jobject md = nullptr;
  jobject typeName = nullptr;
  bool same = false;
  if (JC_CallObjectMethod(env, ps, nullptr, "getParameterMetaData",
                          "()Ljava/sql/ParameterMetaData;", &md) == 0 &&
      md != nullptr &&
      JC_CallObjectMethod(env, md, nullptr, "getParameterTypeName", "(I)Ljava/lang/String;",
                          &typeName, static_cast<jint>(index)) == 0 &&
      typeName != nullptr) {
    const char* chars = env->GetStringUTFChars(static_cast<jstring>(typeName), nullptr);
    same = chars != nullptr && strcasecmp(chars, name) == 0;
    if (chars != nullptr) env->ReleaseStringUTFChars(static_cast<jstring>(typeName), chars);
  }
  if (env->ExceptionCheck()) env->ExceptionClear();
  JC_DeleteLocal(env, typeName);
  JC_DeleteLocal(env, md);
  return same;
}

uint32_t execute(JdbcStmt* s, jobject ps, uint8_t* isResultSet) {
  return Done(s, JM_CallBoolean(Env(s), ps, JM_PstmtExecute, isResultSet));
}

uint32_t getResultSet(JdbcStmt* s, jobject ps, jobject* rs) {
  return Done(s, JM_CallObject(Env(s), ps, JM_StmtGetResultSet, rs));
}

uint32_t setNull(JdbcStmt* s, jobject ps, int32_t index, int32_t sqlType) {
  return SetPlain(s, ps, kSetNull, index, sqlType, static_cast<jint>(sqlType));
}

uint32_t applyRecorded(JdbcStmt* s, jobject ps) {
  JdbcParamRecord* r = s->paramRecord;
  if (r == nullptr) return 0;
  s->paramRecord = nullptr;
  JNIEnv* env = Env(s);
  uint32_t rc = 0;
  for (size_t i = 0; i < r->setters.size(); ++i) {
    const auto setter = static_cast<Recorded>(r->setters[i] & 15);
    const int32_t index = r->setters[i] >> 4;
    const jlong v = r->values[i];
    if (rc != 0) {
    } else if (setter == kSetString) {
      rc = Done(s, JM_CallVoid(env, ps, JM_PstmtSetString, static_cast<jint>(index), r->texts[i]));
    } else if (setter == kSetFloat) {
      const auto bits = static_cast<uint32_t>(v);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      rc = SetValue(s, ps, JM_PstmtSetFloat, index, static_cast<double>(f));
    } else if (setter == kSetDouble) {
      const auto bits = static_cast<uint64_t>(v);
      double d;
      std::memcpy(&d, &bits, sizeof d);
      rc = SetValue(s, ps, JM_PstmtSetDouble, index, d);
    } else if (setter == kSetLong) {
      rc = SetValue(s, ps, JM_PstmtSetLong, index, v);
    } else if (setter == kSetBoolean) {
      rc = SetValue(s, ps, JM_PstmtSetBoolean, index,
                    static_cast<jboolean>(v != 0 ? JNI_TRUE : JNI_FALSE));
    } else {  // null, byte, short and int travel as a jint through the call
      rc = SetValue(s, ps, kRecordedMethod[setter], index, static_cast<jint>(v));
    }
    JC_DeleteLocal(env, r->texts[i]);
  }
  r->setters.clear();
  r->values.clear();
  r->texts.clear();
  r->strings = 0;
  return rc;
}

uint32_t setObject(JdbcStmt* s, jobject ps, int32_t index, jobject value, int32_t sqlType) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  return Done(s, JC_CallVoidMethod(Env(s), ps, nullptr, "setObject", "(ILjava/lang/Object;I)V",
                                   static_cast<jint>(index), value, static_cast<jint>(sqlType)));
}

uint32_t setBigDecimal(JdbcStmt* s, jobject ps, int32_t index, const char* text, int64_t length) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  JNIEnv* env = Env(s);
  // Decimal text is ASCII: the byte form serves whatever the text mode.
  if (text == nullptr) text = "";
  jstring str = length < 0 ? JC_NewString(env, text, 0)
                           : JC_NewStringN(env, text, static_cast<size_t>(length), 0);
  if (str == nullptr) return Done(s, ERR_GENERAL);
  jobject dec = JC_NewObject(env, "java/math/BigDecimal", "(Ljava/lang/String;)V", str);
  env->DeleteLocalRef(str);
  if (dec == nullptr) return Done(s, ERR_GENERAL);
  uint32_t rc = JC_CallVoidMethod(env, ps, nullptr, "setBigDecimal", "(ILjava/math/BigDecimal;)V",
                                  static_cast<jint>(index), dec);
  env->DeleteLocalRef(dec);
  return Done(s, rc);
}

uint32_t setOther(JdbcStmt* s, jobject ps, int32_t index, const char* text, int64_t length) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  jstring str = TextArg(s, text, length);
  if (str == nullptr) return ERR_GENERAL;
  uint32_t rc = JC_CallVoidMethod(Env(s), ps, nullptr, "setObject", "(ILjava/lang/Object;I)V",
                                  static_cast<jint>(index), str, static_cast<jint>(JDBC_OTHER));
  JC_DeleteLocal(Env(s), str);
  return Done(s, rc);
}

uint32_t setString(JdbcStmt* s, jobject ps, int32_t index, const char* text, int64_t length) {
  jstring str = TextArg(s, text, length);
  if (str == nullptr) return ERR_GENERAL;
  if (Recording(s)) {
    if (s->paramRecord->strings < kRecordedStrings) {
      Record(s, kSetString, index, 0, str);
      return 0;
    }
    // Local references kept no further: the record runs now, and this
    // setter after it as usual.
    if (uint32_t rc = applyRecorded(s, ps)) {
      JC_DeleteLocal(Env(s), str);
      return rc;
    }
  }
  uint32_t rc = JM_CallVoid(Env(s), ps, JM_PstmtSetString, static_cast<jint>(index), str);
  JC_DeleteLocal(Env(s), str);
  return Done(s, rc);
}

namespace {

// A long value set through a stream over it, or set plainly by a driver
// that takes no streams.
struct StreamSetter {
  const char* streamClass;  // made from the Java value
  const char* streamCtor;
  const char* setter;  // (index, stream, length)
  const char* setterSig;
  const char* plain;  // (index, value)
  const char* plainSig;
};

// A character stream, not an ASCII one: an ASCII stream would carry only
// the 7-bit characters of the value.
constexpr StreamSetter kCharacterStream{"java/io/StringReader",
                                        "(Ljava/lang/String;)V",
                                        "setCharacterStream",
                                        "(ILjava/io/Reader;I)V",
                                        "setString",
                                        "(ILjava/lang/String;)V"};
constexpr StreamSetter kBinaryStream{"java/io/ByteArrayInputStream", "([B)V",    "setBinaryStream",
                                     "(ILjava/io/InputStream;I)V",   "setBytes", "(I[B)V"};

// value is a local reference, released here; length counts the stream's
// units (characters or bytes).
uint32_t SetStream(JdbcStmt* s, jobject ps, int32_t index, jobject value, jint length,
                   const StreamSetter& how) {
  JNIEnv* env = Env(s);
  jobject stream = JC_NewObject(env, how.streamClass, how.streamCtor, value);
  uint32_t rc = ERR_GENERAL;
  if (stream != nullptr) {
    rc = JC_CallVoidMethod(env, ps, nullptr, how.setter, how.setterSig, static_cast<jint>(index),
                           stream, length);
    env->DeleteLocalRef(stream);
  }
  if (rc != 0) {
    // The driver takes no streams: from now on this connection sets plain
    // values.
    env->ExceptionClear();
    s->conn->streamParams = 0;
    rc = JC_CallVoidMethod(env, ps, nullptr, how.plain, how.plainSig, static_cast<jint>(index),
                           value);
  }
  env->DeleteLocalRef(value);
  return Done(s, rc);
}

}  // namespace

uint32_t setCharacterStream(JdbcStmt* s, jobject ps, int32_t index, const char* text,
                            int64_t length) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  JdbcConn* c = s != nullptr ? s->conn : nullptr;
  if (c == nullptr || c->streamParams == 0) return setString(s, ps, index, text, length);
  jstring str = TextArg(s, text, length);
  if (str == nullptr) return ERR_GENERAL;
  return SetStream(s, ps, index, str, Env(s)->GetStringLength(str), kCharacterStream);
}

uint32_t setBytes(JdbcStmt* s, jobject ps, int32_t index, const void* bytes, size_t length) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  JNIEnv* env = Env(s);
  if (env == nullptr) return Done(s, JC_ThrowNPE(env, "env", "setBytes"));
  jbyteArray arr = NewBytes(env, bytes, length);
  if (arr == nullptr) return Done(s, ERR_GENERAL);
  uint32_t rc =
      JC_CallVoidMethod(env, ps, nullptr, "setBytes", "(I[B)V", static_cast<jint>(index), arr);
  env->DeleteLocalRef(arr);
  return Done(s, rc);
}

uint32_t setBinaryStream(JdbcStmt* s, jobject ps, int32_t index, const void* bytes, size_t length) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  JdbcConn* c = s != nullptr ? s->conn : nullptr;
  if (c == nullptr || c->streamParams == 0) return setBytes(s, ps, index, bytes, length);
  jbyteArray arr = NewBytes(Env(s), bytes, length);
  if (arr == nullptr) return Done(s, ERR_GENERAL);
  return SetStream(s, ps, index, arr, static_cast<jint>(length), kBinaryStream);
}

uint32_t setBoolean(JdbcStmt* s, jobject ps, int32_t index, bool value) {
  return SetPlain(s, ps, kSetBoolean, index, value ? 1 : 0,
                  static_cast<jboolean>(value ? JNI_TRUE : JNI_FALSE));
}

uint32_t setByte(JdbcStmt* s, jobject ps, int32_t index, int8_t value) {
  return SetPlain(s, ps, kSetByte, index, value, static_cast<jbyte>(value));
}

uint32_t setShort(JdbcStmt* s, jobject ps, int32_t index, int16_t value) {
  return SetPlain(s, ps, kSetShort, index, value, static_cast<jshort>(value));
}

uint32_t setInt(JdbcStmt* s, jobject ps, int32_t index, int32_t value) {
  return SetPlain(s, ps, kSetInt, index, value, static_cast<jint>(value));
}

uint32_t setLong(JdbcStmt* s, jobject ps, int32_t index, int64_t value) {
  return SetPlain(s, ps, kSetLong, index, value, static_cast<jlong>(value));
}

uint32_t setFloat(JdbcStmt* s, jobject ps, int32_t index, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  // A float travels through the variadic call as a double.
  return SetPlain(s, ps, kSetFloat, index, bits, static_cast<double>(value));
}

uint32_t setDouble(JdbcStmt* s, jobject ps, int32_t index, double value) {
  int64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return SetPlain(s, ps, kSetDouble, index, bits, value);
}

namespace {

uint32_t SetDateTime(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* v,
                     jobject (*make)(JNIEnv*, const JC_Timestamp*), const char* name,
                     const char* sig) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  JNIEnv* env = Env(s);
  if (env == nullptr || v == nullptr) return Done(s, JC_ThrowNPE(env, env ? "obj" : "env", name));
  jobject value = make(env, v);
  if (value == nullptr) return Done(s, ERR_GENERAL);
  uint32_t rc = JC_CallVoidMethod(env, ps, nullptr, name, sig, static_cast<jint>(index), value);
  env->DeleteLocalRef(value);
  return Done(s, rc);
}

}  // namespace

uint32_t setDate(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value) {
  return SetDateTime(s, ps, index, value, NewSqlDate, "setDate", "(ILjava/sql/Date;)V");
}

uint32_t setTime(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value) {
  return SetDateTime(s, ps, index, value, NewSqlTime, "setTime", "(ILjava/sql/Time;)V");
}

uint32_t setTimestamp(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value) {
  return SetDateTime(s, ps, index, value, NewSqlTimestamp, "setTimestamp",
                     "(ILjava/sql/Timestamp;)V");
}

namespace {

// The value's SQL text, as a database reads a date, time or timestamp.
std::string SqlText(const JC_Timestamp& v, int32_t jdbcType) {
  char buf[48];
  int n = 0;
  // A year before 1 signed, its four digits kept ("-0043").
  const char* sign = v.year < 0 ? "-" : "";
  const int year = v.year < 0 ? -v.year : v.year;
  if (jdbcType == JDBC_DATE) {
    n = std::snprintf(buf, sizeof buf, "%s%04d-%02u-%02u", sign, year, v.month, v.day);
  } else {
    if (jdbcType == JDBC_TIMESTAMP)
      n = std::snprintf(buf, sizeof buf, "%s%04d-%02u-%02u ", sign, year, v.month, v.day);
    n += std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "%02u:%02u:%02u", v.hour,
                       v.minute, v.second);
    if (v.fraction != 0) {
      int end = n + std::snprintf(buf + n, sizeof buf - static_cast<size_t>(n), ".%09u",
                                  static_cast<unsigned>(v.fraction));
      while (buf[end - 1] == '0') --end;
      n = end;
    }
  }
  return std::string(buf, static_cast<size_t>(n));
}

// setObject with the java.time value: 0, the call's failure, or
// ERR_NOT_CAPABLE (nothing pending) when the VM makes no such value. The
// value's class names its SQL type (JDBC 4.2): pgjdbc reads a LocalDateTime
// given with Types.TIMESTAMP through the VM's zone.
uint32_t SetJavaTime(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* v,
                     int32_t jdbcType) {
  JNIEnv* env = Env(s);
  jobject value = NewLocalDateTime(env, v, jdbcType);
  if (value == nullptr) {
    env->ExceptionClear();
    return ERR_NOT_CAPABLE;
  }
  const uint32_t rc = JC_CallVoidMethod(env, ps, nullptr, "setObject", "(ILjava/lang/Object;)V",
                                        static_cast<jint>(index), value);
  env->DeleteLocalRef(value);
  return rc;
}

// pgjdbc's PGobject and the members a timestamp parameter calls, as the
// class loader over the archives loaded it.
struct PgObject {
  jobject loader;  // global
  jclass cls;      // global
  jmethodID ctor, setType, setValue;
};

plat::Mutex gPgObjectLock;
// One entry per class loader that has asked, kept for the VM's life as the
// agent's other class references are; a loader is rarely made twice.
auto* const gPgObjects PT_GUARDED_BY(gPgObjectLock) = new std::vector<PgObject>();

// The class as loader loads it, looked up once; false when it is not found
// (nothing pending).
bool PgObjectOf(JNIEnv* env, jobject loader, PgObject* out) EXCLUDES(gPgObjectLock) {
  plat::Guard<plat::Mutex> g(gPgObjectLock);
  for (const PgObject& k : *gPgObjects) {
    if (env->IsSameObject(k.loader, loader)) {
      *out = k;
      return true;
    }
  }
  jclass local = JC_LoadClass(env, loader, "org/postgresql/util/PGobject");
  PgObject k{nullptr, nullptr, nullptr, nullptr, nullptr};
  if (local != nullptr && !env->ExceptionCheck()) {
    k.ctor = env->GetMethodID(local, "<init>", "()V");
    if (k.ctor != nullptr) k.setType = env->GetMethodID(local, "setType", "(Ljava/lang/String;)V");
    if (k.setType != nullptr)
      k.setValue = env->GetMethodID(local, "setValue", "(Ljava/lang/String;)V");
  }
  if (k.setValue != nullptr) {
    k.cls = static_cast<jclass>(env->NewGlobalRef(local));
    k.loader = env->NewGlobalRef(loader);
  }
  env->ExceptionClear();
  JC_DeleteLocal(env, local);
  if (k.cls == nullptr || k.loader == nullptr) {
    if (k.cls != nullptr) env->DeleteGlobalRef(k.cls);
    if (k.loader != nullptr) env->DeleteGlobalRef(k.loader);
    return false;
  }
  gPgObjects->push_back(k);
  *out = k;
  return true;
}

// pgjdbc reads a LocalDateTime through the VM's zone (a wall time in its
// gap moves an hour) and a string with Types.TIMESTAMP likewise; its own
// typed object carries the text to the server as a timestamp. A value read
// from a timestamptz (a cursor's key, sent back) goes with its offset: its
// wall time alone may name either of the hours a zone repeats. 0 when set,
// else nothing is left pending.
uint32_t SetPgTimestamp(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp& v,
                        std::string text) {
  JNIEnv* env = Env(s);
  PgObject k{};
  if (!PgObjectOf(env, s->conn->classLoader, &k)) return ERR_NOT_CAPABLE;
  jobject value = env->NewObject(k.cls, k.ctor);
  uint32_t rc = ERR_NOT_CAPABLE;
  const std::string offset = ColSetZoneText(v.zone);
  text += offset;
  jstring type =
      value != nullptr ? TextArg(s, offset.empty() ? "timestamp" : "timestamptz") : nullptr;
  jstring str =
      type != nullptr ? TextArg(s, text.c_str(), static_cast<int64_t>(text.size())) : nullptr;
  if (str != nullptr) {
    env->CallVoidMethod(value, k.setType, type);
    if (!env->ExceptionCheck()) env->CallVoidMethod(value, k.setValue, str);
    if (!env->ExceptionCheck())
      rc = JC_CallVoidMethod(env, ps, nullptr, "setObject", "(ILjava/lang/Object;)V",
                             static_cast<jint>(index), value);
  }
  if (rc != 0) env->ExceptionClear();
  JC_DeleteLocal(env, str);
  JC_DeleteLocal(env, type);
  JC_DeleteLocal(env, value);
  return rc;
}

}  // namespace

uint32_t setDateTimeFields(JdbcStmt* s, jobject ps, int32_t index, const JC_Timestamp* value,
                           int32_t jdbcType) {
  if (uint32_t rc = Unrecord(s, ps)) return rc;
  JNIEnv* env = Env(s);
  if (env == nullptr || value == nullptr || s->conn == nullptr)
    return Done(s, JC_ThrowNPE(env, env ? "obj" : "env", "setDateTimeFields"));
  JdbcConn* c = s->conn;
  const std::string text = SqlText(*value, jdbcType);
  // PostgreSQL's text of a year before 1 carries an era, which pgjdbc
  // writes for a java.time value.
  if (jdbcType == JDBC_TIMESTAMP && (c->sqlForms & SQLLEX_POSTGRESQL) != 0 && value->year >= 1 &&
      SetPgTimestamp(s, ps, index, *value, text) == 0)
    return 0;
  if (c->javaTimeParams != JdbcConn::kJavaTimeNo) {
    const uint32_t rc = SetJavaTime(s, ps, index, value, jdbcType);
    if (rc == 0) {
      c->javaTimeParams = JdbcConn::kJavaTimeYes;
      return 0;
    }
    // A driver that took java.time before refuses this value for a cause
    // of its own; the first refusal says it takes none.
    if (c->javaTimeParams == JdbcConn::kJavaTimeYes && rc != ERR_NOT_CAPABLE) return Done(s, rc);
    env->ExceptionClear();
    c->javaTimeParams = JdbcConn::kJavaTimeNo;
  }
  jstring str = TextArg(s, text.c_str(), static_cast<int64_t>(text.size()));
  if (str != nullptr) {
    const uint32_t rc = JM_CallVoid(env, ps, JM_PstmtSetString, static_cast<jint>(index), str);
    JC_DeleteLocal(env, str);
    if (rc == 0) return 0;
  }
  env->ExceptionClear();
  switch (jdbcType) {
    case JDBC_DATE: return setDate(s, ps, index, value);
    case JDBC_TIME: return setTime(s, ps, index, value);
    default: return setTimestamp(s, ps, index, value);
  }
}

}  // namespace PreparedStatement
