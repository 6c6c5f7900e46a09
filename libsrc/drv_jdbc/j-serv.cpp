// Agent slot 0: finding the handle of the request's scope, attaching the
// thread, answering capability, option and statement requests, and
// delivering the answer in the form asked.
#include <jni.h>

#include <cstdint>
#include <cstring>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "util/copyout.h"
#include "util/errcodes.h"

namespace {

constexpr jint kFrame = 64;

// Requests answered from the connection alone (scope 2, group 0x01).
bool CapabilityAnswer(JdbcConn* c, uint32_t code, InfoAnswer* a) {
  switch (code) {
    case INFO_AGENT_FEATURES: a->Int(0x2AFFFF); return true;
    case INFO_NEEDS_BINDING:
    case INFO_MORE_RESULTS:
    case INFO_PARAM_OPS:
    case INFO_SCROLL_CURSORS:
    case INFO_LOCK_BY_UPDATE:
    case INFO_EXECUTE_TWO_STEPS:
    case INFO_WORKER_NO_STOP: a->Int(1); return true;
    case INFO_OUT_DEFER_FETCH:
    case INFO_V2_DATA_AT_EXEC:
    case INFO_KEEP_WORKER: a->Int(0); return true;
    case INFO_DYN_MIXED_CURSORS:
      c->dynCursorsEnabled = 1;
      a->Int(1);
      return true;
    case INFO_MARKER_LIMIT: a->Int(255); return true;
    case INFO_ROW_VERSIONS: a->Int(c->settings.dynCursSensitivity == 1 ? 1 : 0); return true;
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
    case INFO_WIDE_TEXT: a->Int(c->utf8 != 0 ? 1 : 0); return true;
    case INFO_CONVERT_WIDE: a->Int((convertNamesTaken(c) & CONVERT_NAMES_WIDE) != 0); return true;
    case INFO_CURRENT_CATALOG:
      // The current catalog. A driver that cannot tell has none: the empty
      // text, and its failure is not the caller's concern.
      if (Connection::getCatalog(c, c->connection, a->buf, sizeof a->buf) != 0) {
        errClear(&c->errors);
        a->buf[0] = '\0';
      }
      a->Text(a->buf);
      return true;
    default: return false;
  }
}

// Option values read back (scope 2, group 0x03).
bool OptionAnswer(JdbcConn* c, uint32_t code, InfoAnswer* a) {
  switch (code) {
    case OPT_AUTOCOMMIT: {
      uint8_t on = 0;
      a->rc = Connection::getAutoCommit(c, c->connection, &on);
      a->Int(on != 0 ? 1 : 0);
      return true;
    }
    case OPT_ACCESS_MODE: a->Int(c->readOnly != 0 ? 1 : 0); return true;
    case OPT_TXN_ISOLATION: {
      // The JDBC isolation constants are the ODBC SQL_TXN_ bits.
      int32_t level = 0;
      a->rc = Connection::getTransactionIsolation(c, c->connection, &level);
      a->Int(static_cast<uint32_t>(level));
      return true;
    }
    default: return false;
  }
}

// Statement requests (scope 3).
bool StatementAnswer(JdbcStmt* s, uint32_t code, InfoAnswer* a) {
  switch (code) {
    case INFO_ROW_COUNT:  // the current result's update count, whatever the statement's kind
      a->Int(static_cast<uint32_t>(s->updateCount));
      return true;
    case INFO_CHANGED_NOTHING:
      a->Int((s->textFlags & STMT_TEXT_SEARCHED_CHANGE) != 0 && s->resultSet == nullptr &&
                     (s->flags & STMT_EXECUTED) != 0 && s->updateCount == 0
                 ? 1
                 : 0);
      return true;
    case INFO_SETS_DONE:  // parameter sets the last execute ran (before a failure: its index)
      a->Int(s->executedSets);
      return true;
    case OPT_QUERY_TIMEOUT:
      if (s->statement != nullptr) {
        int32_t seconds = 0;
        a->rc = Statement::getQueryTimeout(s, s->statement, &seconds);
        a->Int(static_cast<uint32_t>(seconds));
      } else {
        // Not created yet: the timeout it will be given.
        a->Int(s->queryTimeout);
      }
      return true;
    case OPT_MAX_ROWS: a->Int(s->maxRows); return true;
    case OPT_NOSCAN: a->Int(s->noScan != 0 ? 1 : 0); return true;
    case OPT_MAX_LENGTH: a->Int(s->maxLength); return true;
    case OPT_CURSOR_TYPE: a->Int(s->cursorType); return true;
    case OPT_CONCURRENCY: a->Int(s->concurrency); return true;
    case OPT_KEYSET_SIZE: a->Int(static_cast<uint32_t>(s->keysetSize)); return true;
    case OPT_ROWSET_SIZE: a->Int(static_cast<uint32_t>(s->rowsetSize)); return true;
    case OPT_SIMULATE_CURSOR: a->Int(s->simulateCursor); return true;
    case OPT_RETRIEVE_DATA: a->Int(s->retrieveData); return true;
    case OPT_USE_BOOKMARKS: a->Int(s->useBookmarks); return true;
    case OPT_GET_BOOKMARK:
    case OPT_ROW_NUMBER: a->Int(0); return true;
    case OPT_LAST_SERIAL: {
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
    case OPT_DRIVER_1050: a->Int(s->option1050); return true;
    default: return false;
  }
}

// Copies the answer out in the form of the request: a text request for an
// integer answer gets the empty text, an integer request for a text answer 0.
uint32_t Deliver(const InfoAnswer& a, uint32_t form, void* value, uint16_t size, uint16_t* length) {
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
  if (request != INFO_AGENT_KIND) return ERR_NOT_SUPPORTED;
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
  if (request == INFO_COLS_GENERATION) {
    // Asked after every execute: read off the record, without Java.
    const uint32_t v = stmtColsGeneration(s);
    if (length != nullptr) *length = sizeof v;
    if (value != nullptr) std::memcpy(value, &v, sizeof v);
    return 0;
  }
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
    case INFO_SCOPE_ENV: return EnvInfo(h, request, value, size, length);
    case INFO_SCOPE_CONN: return ConnInfo(h, request, value, size, length);
    case INFO_SCOPE_STMT: return StmtInfo(h, request, value, size, length);
    default: return ERR_NOT_SUPPORTED;
  }
}
