// Output parameters read through getObject. A JDBC driver may insist that
// a parameter is read with the getter of the type it was registered with
// (PostgreSQL's does); when the application wants the value in another
// form, the object is read and converted here instead.
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "drv_jdbc/j-datetime.h"
#include "drv_jdbc/j-desc-text.h"
#include "drv_jdbc/j-getvalue.h"
#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-proc.h"
#include "drv_jdbc/j-sqltypes.h"
#include "drv_jdbc/j-wrap-impl.h"
#include "drv_jdbc/j-wrap-stmt.h"
#include "util/owners.h"

namespace {

constexpr const char* kGetObject = "getObject";
constexpr const char* kGetObjectSig = "(I)Ljava/lang/Object;";

using jget::Put;

bool IsA(JNIEnv* env, jobject o, const char* cls) {
  jclass c = JM_SystemClass(env, cls);
  if (c == nullptr) {
    env->ExceptionClear();
    return false;
  }
  return env->IsInstanceOf(o, c) == JNI_TRUE;
}

// The JDBC type whose getter the value type code uses; 0 for the codes
// that are not read by a typed getter.
int32_t GetterJdbcType(uint32_t code) {
  switch (code) {
    case COLSET_VT_BIT: return JDBC_BIT;
    case COLSET_VT_TINYINT: return JDBC_TINYINT;
    case COLSET_VT_SMALLINT:
    case COLSET_VT_UTINYINT: return JDBC_SMALLINT;
    case COLSET_VT_INTEGER:
    case COLSET_VT_USMALLINT: return JDBC_INTEGER;
    case COLSET_VT_UINTEGER: return JDBC_BIGINT;
    case COLSET_VT_REAL: return JDBC_REAL;
    case COLSET_VT_DOUBLE: return JDBC_DOUBLE;
    case COLSET_VT_DATE: return JDBC_DATE;
    case COLSET_VT_TIME: return JDBC_TIME;
    case COLSET_VT_TIMESTAMP: return JDBC_TIMESTAMP;
    default: return 0;
  }
}

// The JDBC type an ODBC SQL type is registered as, for the types whose
// numbers differ (the ODBC 2 date-time codes).
int32_t RegisteredJdbcType(int32_t odbc) {
  switch (odbc) {
    case SQL_DATE: return JDBC_DATE;
    case SQL_TIME: return JDBC_TIME;
    case SQL_TIMESTAMP: return JDBC_TIMESTAMP;
    default: return odbc;
  }
}

uint32_t Refuse(JdbcStmt* s, const char* what) {
  errPostMsg(&s->errors, what, ERR_GENERAL);
  return ERR_GENERAL;
}

void PutInteger(uint32_t code, unsigned char* e, int64_t v) {
  switch (code) {
    case COLSET_VT_BIT: e[0] = v != 0 ? 1 : 0; break;
    case COLSET_VT_TINYINT: Put(e, static_cast<int8_t>(v)); break;
    case COLSET_VT_SMALLINT: Put(e, static_cast<int16_t>(v)); break;
    case COLSET_VT_INTEGER: Put(e, static_cast<int32_t>(v)); break;
    case COLSET_VT_UTINYINT: Put(e, static_cast<uint8_t>(v)); break;
    case COLSET_VT_USMALLINT: Put(e, static_cast<uint16_t>(v)); break;
    case COLSET_VT_UINTEGER: Put(e, static_cast<uint32_t>(v)); break;
    default: break;
  }
}

void PutFloating(uint32_t code, unsigned char* e, double v) {
  if (code == COLSET_VT_REAL)
    Put(e, static_cast<float>(v));
  else
    Put(e, v);
}

// A number from a value of any class: Number and Boolean directly, any
// other object by its text (digits in the C locale's form).
uint32_t NumberFromObject(JdbcStmt* s, JNIEnv* env, jobject o, uint32_t code, unsigned char* e) {
  const bool floating = code == COLSET_VT_REAL || code == COLSET_VT_DOUBLE;
  if (IsA(env, o, "java/lang/Number")) {
    if (floating) {
      double d = 0;
      if (uint32_t rc = JC_CallDoubleMethod(env, o, nullptr, "doubleValue", "()D", &d)) return rc;
      PutFloating(code, e, d);
    } else {
      int64_t v = 0;
      if (uint32_t rc = JC_CallLongMethod(env, o, nullptr, "longValue", "()J", &v)) return rc;
      PutInteger(code, e, v);
    }
    return 0;
  }
  if (IsA(env, o, "java/lang/Boolean")) {
    uint8_t b = 0;
    if (uint32_t rc = JC_CallBooleanMethod(env, o, nullptr, "booleanValue", "()Z", &b)) return rc;
    if (floating)
      PutFloating(code, e, b != 0 ? 1.0 : 0.0);
    else
      PutInteger(code, e, b != 0 ? 1 : 0);
    return 0;
  }
  jobject str = nullptr;
  if (uint32_t rc = JC_CallObjectMethod(env, o, nullptr, "toString", "()Ljava/lang/String;", &str))
    return rc;
  UniqueFree<char> text(wrapimpl::TextDup(env, static_cast<jstring>(str), 0));
  if (text == nullptr) return wrapimpl::NoMemory(s);
  const size_t len = std::strlen(text.get());
  if (floating) {
    double d = 0;
    if (numberOfText(text.get(), len, &d) != 0)
      return Refuse(s, "Output parameter value is not a number");
    PutFloating(code, e, d);
  } else {
    int64_t v = 0;
    if (!wholeInteger(decimalText(text.get(), len), &v))
      return Refuse(s, "Output parameter value is not a number");
    PutInteger(code, e, v);
  }
  return 0;
}

// Stores what the element of code takes from a date or time's fields, or
// refuses the parts it lacks.
uint32_t PutDateTime(JdbcStmt* s, const JC_Timestamp& ts, bool hasDate, bool hasTime, uint32_t code,
                     unsigned char* e) {
  switch (code) {
    case COLSET_VT_DATE:
      if (!hasDate) return Refuse(s, "Output parameter value is not a date");
      Put(e, JC_Date{ts.year, ts.month, ts.day});
      return 0;
    case COLSET_VT_TIME:
      if (!hasTime) return Refuse(s, "Output parameter value is not a time");
      Put(e, JC_Time{ts.hour, ts.minute, ts.second, 0, ts.fraction, ts.zone});
      return 0;
    default:
      if (!hasDate && !hasTime) return Refuse(s, "Output parameter value is not a timestamp");
      JC_Timestamp day = ts;
      if (!hasDate) jdt::SetToday(&day);
      if (!hasTime) day.zone = COLSET_ZONE_NONE;
      Put(e, day);
      return 0;
  }
}

// A date, time or timestamp from a java.sql.Timestamp, Time or Date.
// Consumes o.
uint32_t DateTimeFromObject(JdbcStmt* s, JNIEnv* env, jobject o, uint32_t code, unsigned char* e) {
  JC_Timestamp ts{};
  bool hasDate = false, hasTime = false;
  uint32_t rc;
  if (IsA(env, o, "java/sql/Timestamp")) {
    rc = wrapimpl::TimestampParts(env, o, &ts);
    hasDate = hasTime = true;
  } else if (IsA(env, o, "java/sql/Time")) {
    JC_Time t{};
    rc = wrapimpl::TimeParts(env, o, &t);
    ts.hour = t.hour;
    ts.minute = t.minute;
    ts.second = t.second;
    ts.fraction = t.fraction;
    hasTime = true;
  } else if (IsA(env, o, "java/util/Date")) {
    JC_Date d{};
    rc = wrapimpl::DateParts(env, o, &d);
    ts.year = d.year;
    ts.month = d.month;
    ts.day = d.day;
    hasDate = true;
  } else {
    JC_DeleteLocal(env, o);
    return Refuse(s, "Output parameter value is not a date or time");
  }
  if (rc != 0) return rc;
  return PutDateTime(s, ts, hasDate, hasTime, code, e);
}

// The parts of a date or time output that its registered type's getter
// reads for another date-time code: a DATE's day or a TIME's clock as a
// timestamp (the time on today's date), a TIMESTAMP's day or time. That
// getter reads the fields the database holds wherever the JDBC driver
// gives them. 0 for the pairs it cannot serve.
int32_t RegisteredGetterFor(int32_t registered, uint32_t code) {
  if ((registered == JDBC_DATE || registered == JDBC_TIME) && code == COLSET_VT_TIMESTAMP)
    return registered;
  if (registered == JDBC_TIMESTAMP && (code == COLSET_VT_DATE || code == COLSET_VT_TIME))
    return JDBC_TIMESTAMP;
  return 0;
}

uint32_t DateTimeByRegisteredGetter(JdbcStmt* s, jobject cs, int32_t ix, int32_t getter,
                                    uint32_t code, unsigned char* e, uint32_t size) {
  std::memset(e, 0, size);
  JC_Timestamp ts{};
  if (getter == JDBC_DATE) {
    JC_Date d{};
    if (uint32_t rc = CallableStatement::getDate(s, cs, ix, &d)) return rc;
    ts.year = d.year;
    ts.month = d.month;
    ts.day = d.day;
  } else if (getter == JDBC_TIME) {
    JC_Time t{};
    if (uint32_t rc = CallableStatement::getTime(s, cs, ix, &t)) return rc;
    ts.hour = t.hour;
    ts.minute = t.minute;
    ts.second = t.second;
    ts.fraction = t.fraction;
    ts.zone = t.zone;
  } else if (uint32_t rc = CallableStatement::getTimestamp(s, cs, ix, &ts)) {
    return rc;
  }
  // A day beyond ODBC's structures fails its time as a result column's
  // does (22008); a NULL has no day at all.
  if (code == COLSET_VT_TIME && (ts.year < 1 || ts.year > 9999 || ts.month < 1 || ts.month > 12)) {
    uint8_t isNull = 0;
    if (uint32_t rc = CallableStatement::wasNull(s, cs, &isNull)) return rc;
    // The code alone, no message: the core reports it as 22008 in both
    // ODBC versions, as it does the result column's.
    if (isNull == 0) return ERR_DATETIME_FIELD_OVERFLOW;
  }
  return PutDateTime(s, ts, getter != JDBC_TIME, getter != JDBC_DATE, code, e);
}

// The text of a non-character value: a BigDecimal in plain notation (never
// with an exponent), a Boolean as 1 or 0, anything else by toString.
jstring TextOfObject(JNIEnv* env, jobject o, uint32_t* rc) {
  *rc = 0;
  if (IsA(env, o, "java/lang/Boolean")) {
    uint8_t v = 0;
    if ((*rc = JC_CallBooleanMethod(env, o, nullptr, "booleanValue", "()Z", &v)) != 0)
      return nullptr;
    jstring t = env->NewStringUTF(v != 0 ? "1" : "0");
    if (t == nullptr) *rc = ERR_GENERAL;
    return t;
  }
  const bool big = IsA(env, o, "java/math/BigDecimal");
  jobject t = nullptr;
  *rc = JC_CallObjectMethod(env, o, nullptr, big ? "toPlainString" : "toString",
                            "()Ljava/lang/String;", &t);
  return static_cast<jstring>(t);
}

}  // namespace

bool procReadsWithGetString(int32_t sqlType) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_GUID:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return true;
    default: return false;
  }
}

bool procIsDateTime(int32_t sqlType) {
  const int32_t registered = RegisteredJdbcType(sqlType);
  return registered == JDBC_DATE || registered == JDBC_TIME || registered == JDBC_TIMESTAMP;
}

bool procGetterFits(uint32_t code, int32_t sqlType) {
  const int32_t getter = GetterJdbcType(code);
  if (getter == 0) return true;
  const int32_t registered = RegisteredJdbcType(sqlType);
  return registered == getter || (code == COLSET_VT_BIT && registered == JDBC_BOOLEAN);
}

uint32_t procObjectTextLong(JdbcStmt* s, jobject cs, int32_t ix, bool wide, COLSET_LONG* v) {
  return wrapimpl::GetObjectThen(
      s, cs, kGetObject, kGetObjectSig, ix, [&](JNIEnv* env, jobject o) -> uint32_t {
        jstring text = nullptr;
        if (o != nullptr) {
          uint32_t rc = 0;
          text = TextOfObject(env, o, &rc);
          JC_DeleteLocal(env, o);
          if (rc != 0) {
            JC_DeleteLocal(env, text);
            return rc;
          }
        }
        return wide ? wrapimpl::TextLongW(env, text, v) : wrapimpl::TextLong(env, text, 0, v);
      });
}

uint32_t procObjectValue(JdbcStmt* s, jobject cs, int32_t ix, int32_t sqlType, uint32_t code,
                         unsigned char* e, uint32_t size) {
  if (const int32_t getter = RegisteredGetterFor(RegisteredJdbcType(sqlType), code))
    return DateTimeByRegisteredGetter(s, cs, ix, getter, code, e, size);
  return wrapimpl::GetObjectThen(
      s, cs, kGetObject, kGetObjectSig, ix, [&](JNIEnv* env, jobject o) -> uint32_t {
        std::memset(e, 0, size);
        if (o == nullptr) return 0;  // wasNull tells
        if (code == COLSET_VT_DATE || code == COLSET_VT_TIME || code == COLSET_VT_TIMESTAMP)
          return DateTimeFromObject(s, env, o, code, e);
        const uint32_t rc = NumberFromObject(s, env, o, code, e);
        JC_DeleteLocal(env, o);
        return rc;
      });
}
