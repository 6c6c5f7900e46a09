// Agent slot 0: finding the handle of the request's scope, attaching the
// thread, answering capability, option and statement requests, and
// delivering the answer in the form asked.
#include <jni.h>

#include <cstdint>
#include <cstring>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "util/copyout.h"
#include "util/errcodes.h"

namespace {

constexpr jint kFrame = 64;

// Requests answered from the connection alone (scope 2, group 0x01).
bool CapabilityAnswer(JdbcConn* c, uint32_t code, InfoAnswer* a) {
  switch (code) {
    case 0x22010001: a->Int(0x2AFFFF); return true;
    case 0x22010002:  // parameters must be bound
    case 0x22010003:  // more results
    case 0x22010004:  // parameter operations
    case 0x22010006:  // scrollable cursors
    case 0x22010007:
    case 0x2201000E:  // execute in two steps
    case 0x22010018:  // second flag of the worker thread
      a->Int(1);
      return true;
    case 0x22010005:  // deferred fetch of output parameters
    case 0x2201000A:  // ODBC 2 data at execution
    case 0x22010017:  // first flag of the worker thread
      a->Int(0);
      return true;
    case 0x22010008:  // dynamic and mixed cursors
      c->dynCursorsEnabled = 1;
      a->Int(1);
      return true;
    case 0x22010009: a->Int(255); return true;  // most parameter markers
    case 0x2201000B: a->Int(c->settings.dynCursSensitivity == 1 ? 1 : 0); return true;
    case INFO_CAPABILITY_MASK: a->Int(capabilityMask(c)); return true;
    case INFO_CONN_CLOSED: {
      // Connection.isClosed asks the JDBC driver's own state, not the
      // server: a driver that closed the connection after a fatal error
      // says so. One that cannot tell leaves it open.
      uint8_t closed = 0;
      if (Connection::isClosed(c, c->connection, &closed) != 0) {
        errClear(&c->errors);
        closed = 0;
      }
      a->Int(closed != 0 ? 1 : 0);
      return true;
    }
    case 0x22010013: a->Int(c->utf8 != 0 ? 1 : 0); return true;
    case 0x2101000D:
      // The current catalog. A driver that cannot tell has none: the empty
      // text, and its failure is not the caller's concern.
      if (Connection::getCatalog(c, c->connection, a->buf, sizeof a->buf) != 0) {
        errClear(&c->errors);
        a->buf[0] = '\0';
      }
      a->Text(a->buf);
      return true;
    default:
      return false;
  }
}

// Option values read back (scope 2, group 0x03).
bool OptionAnswer(JdbcConn* c, uint32_t code, InfoAnswer* a) {
  switch (code) {
    case 0x22030000: {
      uint8_t on = 0;
      a->rc = Connection::getAutoCommit(c, c->connection, &on);
      a->Int(on != 0 ? 1 : 0);
      return true;
    }
    case 0x22030001:
      a->Int(c->readOnly != 0 ? 1 : 0);
      return true;
    case 0x2203006C: {
      // The JDBC isolation constants are the ODBC SQL_TXN_ bits.
      int32_t level = 0;
      a->rc = Connection::getTransactionIsolation(c, c->connection, &level);
      a->Int(static_cast<uint32_t>(level));
      return true;
    }
    default:
      return false;
  }
}

// Statement requests (scope 3).
bool StatementAnswer(JdbcStmt* s, uint32_t code, InfoAnswer* a) {
  switch (code) {
    case 0x32010000:  // rows affected, for INSERT, UPDATE and DELETE only
      a->Int(s->kind == 2 ? s->rowCount : 0xFFFFFFFFu);
      return true;
    case 0x32010001:  // parameter sets the last execute ran (before a failure: its index)
      a->Int(s->executedSets);
      return true;
    case 0x32030000:
      if (s->statement != nullptr) {
        int32_t seconds = 0;
        a->rc = Statement::getQueryTimeout(s, s->statement, &seconds);
        a->Int(static_cast<uint32_t>(seconds));
      } else {
        // Not created yet: the timeout it will be given.
        a->Int(s->queryTimeout);
      }
      return true;
    case 0x32030001: a->Int(s->maxRows); return true;
    case 0x32030002: a->Int(s->noScan != 0 ? 1 : 0); return true;
    case 0x32030003: a->Int(s->maxLength); return true;
    case 0x32030006: a->Int(s->cursorType); return true;
    case 0x32030007: a->Int(s->concurrency); return true;
    case 0x32030008: a->Int(static_cast<uint32_t>(s->keysetSize)); return true;
    case 0x32030009: a->Int(static_cast<uint32_t>(s->rowsetSize)); return true;
    case 0x3203000A: a->Int(s->simulateCursor); return true;
    case 0x3203000B: a->Int(s->retrieveData); return true;
    case 0x3203000C: a->Int(s->useBookmarks); return true;
    case 0x3203000D:  // bookmark
    case 0x3203000E:  // row number
      a->Int(0);
      return true;
    case 0x32030419: {
      // The last serial value is a bonus of one server's driver; without it
      // the answer is 0, and nothing is reported.
      int32_t serial = 0;
      if (s->statement != nullptr && Statement::getSerial(s, s->statement, &serial) != 0) {
        errClear(&s->errors);
        serial = 0;
      }
      a->Int(static_cast<uint32_t>(serial));
      return true;
    }
    case 0x3203041A: a->Int(s->option1050); return true;
    default:
      return false;
  }
}

// Copies the answer out in the form of the request: a text request for an
// integer answer gets the empty text, an integer request for a text answer 0.
uint32_t Deliver(const InfoAnswer& a, uint32_t form, void* value, uint16_t size,
                 uint16_t* length) {
  if (form == INFO_FORM_TEXT) {
    const char* text = a.kind == InfoAnswer::kText ? a.text : "";
    if (value != nullptr) STR_CopyOut(text, static_cast<char*>(value), size, length);
    return 0;
  }
  if (form == INFO_FORM_INT) {
    const uint32_t v = a.kind == InfoAnswer::kInt ? a.num : 0;
    if (length != nullptr) *length = 4;
    if (value != nullptr) std::memcpy(value, &v, sizeof v);
    return 0;
  }
  return ERR_NOT_SUPPORTED;
}

// An integer answer needs four bytes; a shorter buffer is refused before any
// work is done.
bool IntBufferTooSmall(uint32_t request, const void* value, uint16_t size) {
  return (request & INFO_FORM_MASK) == INFO_FORM_INT && value != nullptr && size < 4;
}

uint32_t EnvInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  if (AGT_Env(h) == nullptr) return ERR_INVALID_ARGUMENT;
  if (request != 0x11010000) return ERR_NOT_SUPPORTED;
  InfoAnswer a;
  a.Text("jdbc");
  return Deliver(a, INFO_FORM_TEXT, value, size, length);
}

uint32_t ConnInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  JdbcConn* c = AGT_Conn(h);
  if (c == nullptr) return ERR_INVALID_ARGUMENT;
  if (IntBufferTooSmall(request, value, size)) return ERR_INVALID_ARGUMENT;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  c->jniEnv = env;

  InfoAnswer a;
  const uint32_t group = request & INFO_GROUP_MASK;
  {
    JC_LocalFrame frame(env, kFrame);
    bool answered = false;
    if (group == INFO_GROUP_CAPS) {
      answered = CapabilityAnswer(c, request, &a);
    } else if (group == INFO_GROUP_OPTIONS) {
      answered = OptionAnswer(c, request, &a);
    } else if (group == INFO_GROUP_ODBC) {
      const uint32_t form = request & INFO_FORM_MASK;
      answered = (form == INFO_FORM_TEXT || form == INFO_FORM_INT) &&
                 odbcInfoAnswer(c, static_cast<uint16_t>(request & 0xFFFF), &a);
    }
    if (!answered) return ERR_NOT_SUPPORTED;
  }
  if (group != INFO_GROUP_CAPS && a.rc != 0) return a.rc;
  return Deliver(a, request & INFO_FORM_MASK, value, size, length);
}

uint32_t StmtInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  JdbcStmt* s = AGT_Stmt(h);
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  if (IntBufferTooSmall(request, value, size)) return ERR_INVALID_ARGUMENT;
  JNIEnv* env = attachJVM();
  if (env == nullptr) return ERR_GENERAL;
  s->jniEnv = env;

  InfoAnswer a;
  {
    JC_LocalFrame frame(env, kFrame);
    if (!StatementAnswer(s, request, &a)) return ERR_NOT_SUPPORTED;
  }
  if (a.rc != 0) return a.rc;
  return Deliver(a, request & INFO_FORM_MASK, value, size, length);
}

}  // namespace

extern "C" uint32_t DRV_GetInfo(uint32_t h, uint32_t request, void* value, uint16_t size,
                                uint16_t* length) {
  switch (request & INFO_SCOPE_MASK) {
    case INFO_SCOPE_ENV:
      return EnvInfo(h, request, value, size, length);
    case INFO_SCOPE_CONN:
      return ConnInfo(h, request, value, size, length);
    case INFO_SCOPE_STMT:
      return StmtInfo(h, request, value, size, length);
    default:
      return ERR_NOT_SUPPORTED;
  }
}
