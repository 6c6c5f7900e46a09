// Parameter arrays of INSERT, UPDATE and DELETE as one JDBC batch.
//
// The ODBC answers of an array (statuses, sets processed, row count, the
// failing set's diagnostic) are those of running the sets one by one,
// stopping at the first failure. A batch gives them only when it succeeds
// whole: what a failed batch leaves behind differs between JDBC drivers
// (PostgreSQL's aborts its whole transaction and reports every entry as
// failed; others go on past the failure, or stop without saying where).
// So a batch runs where it can be undone, and a batch that fails in any way,
// or answers with counts that lose the row count, is undone and the same
// array runs again set by set, which gives the answers, diagnostics and
// rows of that path exactly:
//  - auto-commit on: the batch runs in a transaction of its own, committed
//    when it succeeds. One by one, every set before a failure would have
//    been committed on its own; the replay commits them the same way, so no
//    row that path keeps is lost, and none after the failure is kept.
//  - auto-commit off: the batch runs after a savepoint in the application's
//    transaction and is rolled back to it on failure before the replay.
// A JDBC driver that cannot give either (no batch updates, no savepoints)
// gets the sets one by one.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-methods.h"
#include "drv_jdbc/j-sql.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-exec-batch";

// Java calls whose failure only means "no batch": the exception is dropped,
// the sets then run one by one and report their own failures.
bool Quiet(JNIEnv* env, uint32_t rc) {
  if (rc == 0 && !env->ExceptionCheck()) return true;
  env->ExceptionClear();
  return false;
}

// QMR_PARAM_BATCH=0 in the environment when a connection first runs an
// array keeps its arrays set by set: the way to tell a JDBC driver's batch
// from the sets one by one in the field.
bool BatchesWanted() {
  const char* v = std::getenv("QMR_PARAM_BATCH");
  return v == nullptr || std::strcmp(v, "0") != 0;
}

bool ConnectionBatches(JdbcConn* c, JNIEnv* env) {
  if (c->paramBatch == JdbcConn::kBatchUnknown) {
    uint8_t yes = 0;
    const bool asked =
        BatchesWanted() && c->metaData != nullptr &&
        Quiet(env, JM_CallBoolean(env, c->metaData, JM_DbmdSupportsBatchUpdates, &yes));
    c->paramBatch = asked && yes != 0 ? JdbcConn::kBatchYes : JdbcConn::kBatchNo;
  }
  return c->paramBatch == JdbcConn::kBatchYes;
}

// Whether the prepared statement gives no rows. An INSERT, UPDATE or DELETE
// may (PostgreSQL's RETURNING), and a batch would drop its rows; a JDBC
// driver that cannot tell keeps the sets one by one.
bool GivesNoRows(JdbcStmt* s) {
  if (s->givesRows == JdbcStmt::kRowsUnknown) {
    JNIEnv* env = s->jniEnv;
    jobject md = nullptr;
    int32_t columns = 0;
    bool none = Quiet(env, JM_CallObject(env, s->statement, JM_PstmtGetMetaData, &md));
    if (none && md != nullptr) {
      none = Quiet(env, JM_CallInt(env, md, JM_RsmdGetColumnCount, &columns)) && columns == 0;
      env->DeleteLocalRef(md);
    }
    s->givesRows = none ? JdbcStmt::kRowsNone : JdbcStmt::kRowsGiven;
  }
  return s->givesRows == JdbcStmt::kRowsNone;
}

// The transaction frame the batch runs in, and its undoing.
class Frame {
 public:
  Frame(JNIEnv* env, jobject conn) : env_(env), conn_(conn) {}
  bool Open() {
    uint8_t on = 0;
    if (!Quiet(env_, JM_CallBoolean(env_, conn_, JM_ConnGetAutoCommit, &on))) return false;
    autoCommit_ = on != 0;
    if (autoCommit_) return Quiet(env_, JM_CallVoid(env_, conn_, JM_ConnSetAutoCommit, JNI_FALSE));
    jobject sp = nullptr;
    if (!Quiet(env_, JM_CallObject(env_, conn_, JM_ConnSetSavepoint, &sp)) || sp == nullptr)
      return false;
    savepoint_ = sp;
    return true;
  }
  // Keeps what the batch did; false when the commit fails, which leaves the
  // batch to Undo.
  bool Keep() {
    if (autoCommit_) {
      if (!Quiet(env_, JM_CallVoid(env_, conn_, JM_ConnCommit))) return false;
      // Committed: the rows stay whatever follows.
      if (!RestoreAutoCommit())
        log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "auto-commit could not be restored");
      return true;
    }
    Quiet(env_, JM_CallVoid(env_, conn_, JM_ConnReleaseSavepoint, savepoint_));
    return true;
  }
  // Undoes the batch; false when the database state is no longer known.
  bool Undo() {
    if (autoCommit_) {
      const bool undone = Quiet(env_, JM_CallVoid(env_, conn_, JM_ConnRollback));
      return RestoreAutoCommit() && undone;
    }
    const bool undone = Quiet(env_, JM_CallVoid(env_, conn_, JM_ConnRollbackTo, savepoint_));
    Quiet(env_, JM_CallVoid(env_, conn_, JM_ConnReleaseSavepoint, savepoint_));
    return undone;
  }

 private:
  bool RestoreAutoCommit() {
    return Quiet(env_, JM_CallVoid(env_, conn_, JM_ConnSetAutoCommit, JNI_TRUE));
  }
  JNIEnv* env_;
  jobject conn_;
  bool autoCommit_ = false;
  jobject savepoint_ = nullptr;
};

// Where adding the sets to the batch stopped: at a set whose values cannot
// be set (its code and diagnostic are the set's answer, as one by one), or
// at a JDBC driver that refuses the batch.
struct Added {
  int64_t count = 0;
  uint32_t stopSet = 0;  // meaningful with stopCode
  uint32_t stopCode = 0;
  bool refused = false;
};

// Adds the sets not skipped to the batch, up to the first that cannot be.
Added AddSets(JdbcStmt* s, uint32_t sets) {
  JNIEnv* env = s->jniEnv;
  const jint refs = 64 + 2 * static_cast<jint>(s->params->cols_used);
  Added a;
  for (uint32_t set = 0; set < sets; ++set) {
    if (paramSetSkipped(s, set)) continue;
    // Each set's values are set in a local frame of their own: an array of
    // thousands of sets must not fill the statement's frame.
    JC_LocalFrame frame(env, refs);
    if (uint32_t rc = setJavaParams(s, set)) {
      a.stopSet = set;
      a.stopCode = rc;
      return a;
    }
    if (!Quiet(env, JM_CallVoid(env, s->statement, JM_PstmtAddBatch))) {
      a.refused = true;
      return a;
    }
    ++a.count;
  }
  return a;
}

constexpr int64_t kBatchFailed = -1;
constexpr int64_t kCountsUnusable = -2;

// Runs the batch; the sum of its update counts, kBatchFailed, or
// kCountsUnusable when it ran but its counts do not give the sets' answers.
int64_t RunBatch(JdbcStmt* s, int64_t added) {
  JNIEnv* env = s->jniEnv;
  jobject counts = nullptr;
  if (!Quiet(env, JM_CallObject(env, s->statement, JM_StmtExecuteBatch, &counts)) ||
      counts == nullptr)
    return kBatchFailed;
  auto arr = static_cast<jintArray>(counts);
  const jsize n = env->GetArrayLength(arr);
  if (n != added) return kCountsUnusable;
  std::vector<jint> each(static_cast<size_t>(n));
  env->GetIntArrayRegion(arr, 0, n, each.data());
  env->DeleteLocalRef(counts);
  int64_t total = 0;
  for (jint c : each) {
    // SUCCESS_NO_INFO (-2) would lose the row count; EXECUTE_FAILED (-3) in
    // a batch that did not throw leaves the set's answer unknown.
    if (c < 0) return kCountsUnusable;
    total += c;
  }
  return total;
}

}  // namespace

namespace jexec {

bool BatchFits(JdbcStmt* s, bool oneByOne) {
  if (oneByOne || s->conn == nullptr || s->statement == nullptr || s->params == nullptr)
    return false;
  if (s->kind != STMT_KIND_DML || (s->flags & STMT_PREPARE_CALL) != 0) return false;
  if ((s->textFlags & STMT_TEXT_MARKERS) == 0 || ParamSetCount(s) < 2) return false;
  return ConnectionBatches(s->conn, s->jniEnv) && GivesNoRows(s);
}

BatchResult RunSetsAsBatch(JdbcStmt* s, uint32_t* code) {
  *code = 0;
  JNIEnv* env = s->jniEnv;
  jobject conn = s->connRef != nullptr ? *s->connRef : nullptr;
  if (conn == nullptr) return BatchResult::kNotRun;
  Frame frame(env, conn);
  if (!frame.Open()) return BatchResult::kNotRun;
  const uint32_t sets = ParamSetCount(s);
  const Added added = AddSets(s, sets);
  // The sets added always run: a batch left unexecuted keeps some JDBC
  // drivers' statements (HSQLDB's) from executing anything else, even after
  // clearBatch.
  const int64_t total = added.count > 0 ? RunBatch(s, added.count) : 0;
  Quiet(env, JM_CallVoid(env, s->statement, JM_StmtClearBatch));
  // A JDBC driver whose batches answer without counts would run every
  // array twice: its connection goes set by set from now on.
  if (total == kCountsUnusable) s->conn->paramBatch = JdbcConn::kBatchNo;
  if (added.refused || total < 0 || !frame.Keep()) {
    errClear(&s->errors);
    if (!frame.Undo()) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "a failed batch could not be undone");
      return BatchResult::kLost;
    }
    return BatchResult::kNotRun;
  }
  const bool stopped = added.stopCode != 0;
  // As one by one: the sets run, the failing set's index standing in for
  // the row count, and its code with its diagnostic.
  s->executedSets = stopped ? added.stopSet : sets;
  s->rowCount = stopped ? added.stopSet : static_cast<uint32_t>(total);
  s->updateCount = static_cast<int32_t>(s->rowCount);
  if (added.count > 0 || !stopped) s->flags |= STMT_EXECUTED | STMT_NO_MORE_ROWS;
  *code = added.stopCode;
  return BatchResult::kDone;
}

}  // namespace jexec
