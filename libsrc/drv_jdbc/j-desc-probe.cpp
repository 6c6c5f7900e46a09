// Parameter descriptions on request: the SQL analyser builds probe queries
// for the statement's markers; they run here on a statement of their own and
// their result columns become the parameters' descriptions.
#include <sqlext.h>

#include <string>
#include <vector>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-wrap-meta.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-desc-probe";
constexpr jint kFrame = 16;

void DropException(JNIEnv* env) {
  if (env != nullptr && env->ExceptionCheck()) env->ExceptionClear();
}

// How the source wants names written: its identifier quote and how it
// stores names written without one. A question it cannot answer leaves the
// safe side: no quote (only plain names go into probes), no folding.
PD_QUOTING ProbeQuoting(JdbcConn* c) {
  PD_QUOTING q;
  bool failed = false;
  if (c->settings.noQuotedIdentifier == 0) {
    char buf[8] = "";
    if (DatabaseMetaData::getStringByName(c, c->metaData, "getIdentifierQuoteString", buf,
                                          sizeof buf) == 0) {
      q.quote = buf;
      q.quote.erase(0, q.quote.find_first_not_of(' '));
      q.quote.erase(q.quote.find_last_not_of(' ') + 1);
    } else {
      failed = true;
    }
  }
  uint8_t upper = 0, lower = 0;
  failed |=
      DatabaseMetaData::getBooleanByName(c, c->metaData, "storesUpperCaseIdentifiers", &upper) != 0;
  failed |=
      DatabaseMetaData::getBooleanByName(c, c->metaData, "storesLowerCaseIdentifiers", &lower) != 0;
  q.identCase = upper != 0 ? PD_CASE_UPPER : lower != 0 ? PD_CASE_LOWER : PD_CASE_AS_IS;
  q.forms = c->sqlForms;
  if (failed) errClear(&c->errors);  // the questions were ours, not the application's
  return q;
}

// Probes run inside the application's transaction when autocommit is off,
// and on some sources (PostgreSQL) one failed statement aborts the whole
// transaction. So they run under a savepoint, rolled back to when a probe
// failed; a source that cannot set one then is not probed at all. With
// autocommit on every probe is a transaction of its own.
class ProbeTransaction {
 public:
  explicit ProbeTransaction(JdbcConn* c) : c_(c), env_(c->jniEnv) {
    uint8_t autoCommit = 0;
    if (JC_CallBooleanMethod(env_, c->connection, nullptr, "getAutoCommit", "()Z", &autoCommit) !=
        0) {
      DropException(env_);
      return;
    }
    if (autoCommit != 0) {
      allowed_ = true;
      return;
    }
    if (JC_CallObjectMethod(env_, c->connection, nullptr, "setSavepoint", "()Ljava/sql/Savepoint;",
                            &savepoint_) != 0 ||
        savepoint_ == nullptr) {
      DropException(env_);
      log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "no savepoint: parameters not probed");
      return;
    }
    allowed_ = true;
  }
  ~ProbeTransaction() {
    if (savepoint_ == nullptr) return;
    if (failed_) {
      JC_CallVoidMethod(env_, c_->connection, nullptr, "rollback", "(Ljava/sql/Savepoint;)V",
                        savepoint_);
      DropException(env_);
    }
    JC_CallVoidMethod(env_, c_->connection, nullptr, "releaseSavepoint", "(Ljava/sql/Savepoint;)V",
                      savepoint_);
    DropException(env_);
    env_->DeleteLocalRef(savepoint_);
  }
  ProbeTransaction(const ProbeTransaction&) = delete;
  ProbeTransaction& operator=(const ProbeTransaction&) = delete;

  bool allowed() const { return allowed_; }
  void Failed() { failed_ = true; }

 private:
  JdbcConn* c_;
  JNIEnv* env_;
  jobject savepoint_ = nullptr;
  bool allowed_ = false;
  bool failed_ = false;
};

// Sizes from here up mean the column has no real bound (PostgreSQL's text
// and bytea, HSQLDB's LONGVARCHAR): about 2^24 characters and more.
constexpr uint32_t kUnboundedSize = 1u << 24;

bool IsTextOrBytes(int32_t sqlType) {
  switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return true;
    default: return false;
  }
}

void CopyDescription(const JdbcColDesc& from, JdbcColDesc* to) {
  to->sql_type = from.sql_type;
  to->delivered_type = from.delivered_type;
  to->display_size = from.display_size;
  to->value_type = from.value_type;
  to->elem_len = from.elem_len;
  to->precision = from.precision;
  // An unbounded marker is described with size 0, ODBC's "not known", as
  // other drivers describe their max types: applications that size a buffer
  // per row from the description (pyodbc's fast_executemany) then send the
  // value at execution instead of allocating gigabytes for every row.
  if (IsTextOrBytes(from.sql_type) && from.precision >= kUnboundedSize) {
    to->precision = 0;
    to->display_size = 0;
  }
  to->scale = from.scale;
  to->flags = (to->flags & ~COLDESC_NULLABLE_MASK) | (from.flags & COLDESC_NULLABLE_MASK);
}

// One probe on the scratch statement; false when the source refused it.
bool RunProbe(JdbcStmt* s, uint32_t scratch, const PD_PROBE& p) {
  uint16_t n = 0;
  JdbcColDesc* cols = nullptr;
  if (DRV_Prepare(scratch, p.text.c_str()) != 0 || DRV_NumResultCols(scratch, &n, &cols) != 0) {
    ColDescFree(cols, n);
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "probe refused: %s", p.text.c_str());
    return false;
  }
  for (size_t c = 0; c < n && c < p.markers.size(); ++c) {
    const int32_t m = p.markers[c];
    if (m >= 0 && m < s->paramDescCount && s->paramDescs != nullptr)
      CopyDescription(cols[c], &s->paramDescs[m]);
  }
  ColDescFree(cols, n);
  return true;
}

}  // namespace

void copyParamDescsFromProbes(JdbcStmt* s, const std::vector<PD_PROBE>& probes) {
  s->paramsDescribed = 1;
  JdbcConn* c = s->conn;
  if (probes.empty() || c == nullptr || c->connection == nullptr) return;
  c->jniEnv = s->jniEnv;
  JC_LocalFrame frame(c->jniEnv, kFrame);
  ProbeTransaction tx(c);
  if (!tx.allowed()) return;
  uint32_t scratch = 0;
  if (DRV_AllocStmt(c->handle, &scratch) != 0) return;
  // The scratch statement takes the probes' diagnostics with it when freed:
  // a probe that fails leaves the default description, not an error.
  for (const PD_PROBE& p : probes)
    if (!RunProbe(s, scratch, p)) tx.Failed();
  DRV_FreeStmt(scratch);
}

// The probes' answer wins over the JDBC driver's ParameterMetaData, and the
// latter is not asked: where it gives real types (PostgreSQL, H2) it gives
// no column size or scale (a NUMERIC(12,2) marker comes back with scale 0,
// which makes applications that bind by the description cut fractions), it
// costs a round trip that fails the transaction like a probe does, and
// answering one way on every source keeps a marker's description the same
// whichever driver is behind it.
uint32_t describeParams(JdbcStmt* s) {
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  if ((s->flags & STMT_PREPARED) == 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "execute without prior prepare");
    return ERR_FUNCTION_SEQUENCE;
  }
  if ((s->flags & STMT_EXECUTED) != 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "Describe params work only before Execute");
    return 0;
  }
  if (s->markerCount == 0 || s->sql == nullptr || s->conn == nullptr) return 0;
  s->conn->jniEnv = s->jniEnv;
  PD_RECORD rec;
  PD_Init(&rec, ProbeQuoting(s->conn));
  // The analyser numbers the markers it parsed; only when it saw the same
  // markers as the statement do its numbers name the statement's parameters.
  if (PD_Describe(&rec, s->sql) == 0 && rec.markerCount == s->markerCount) {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "%u of %u markers in %zu probes", rec.described,
                rec.markerCount, rec.probes.size());
    copyParamDescsFromProbes(s, rec.probes);
  } else {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "parameters not described by analysis");
  }
  s->paramsDescribed = 1;
  PD_Free(&rec);
  return 0;
}
