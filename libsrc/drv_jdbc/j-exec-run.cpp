// A prepared statement's execute in one call into Java (QMRRowBlock.run):
// the plain setters recorded for it, the execute, the comparison with the
// kept description and the first block of rows read ahead. A prepared
// lookup run thousands of times otherwise crosses into Java five times a
// round: setter, execute, comparison, fetch and close.
#include <algorithm>
#include <new>

#include "drv_jdbc/j-desc.h"
#include "drv_jdbc/j-exec-block-impl.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-wrap.h"
#include "util/errcodes.h"

namespace jblock {

namespace {

JdbcRowBlock* BlockOf(JdbcStmt* s) {
  if (s->rowBlock == nullptr) s->rowBlock = new (std::nothrow) JdbcRowBlock;
  return s->rowBlock;
}

// Grows run's parameter arrays to hold n parameters; false with an
// exception pending (or none) when they cannot be made.
bool ParamRoom(JNIEnv* env, JdbcRowBlock* b, jsize n) {
  if (n <= b->paramRoom) return true;
  const jsize room = std::max<jsize>(n, 2 * b->paramRoom);
  jclass object = env->FindClass("java/lang/Object");
  if (object == nullptr) return false;
  jobject arrays[3] = {env->NewIntArray(room), env->NewLongArray(room),
                       env->NewObjectArray(room, object, nullptr)};
  env->DeleteLocalRef(object);
  bool ok = !env->ExceptionCheck();
  jobject* held[3] = {&b->setters, &b->values, &b->texts};
  for (int i = 0; i < 3; ++i) {
    if (ok) {
      if (*held[i] != nullptr) env->DeleteGlobalRef(*held[i]);
      *held[i] = arrays[i] != nullptr ? env->NewGlobalRef(arrays[i]) : nullptr;
      ok = *held[i] != nullptr;
    }
    JC_DeleteLocal(env, arrays[i]);
  }
  b->paramRoom = ok ? room : 0;
  return ok;
}

// The record handed to the parameter arrays; its local references go.
// False (the record kept) when the arrays cannot be made.
bool PassRecord(JNIEnv* env, JdbcRowBlock* b) {
  JdbcParamRecord& r = b->record;
  const auto n = static_cast<jsize>(r.setters.size());
  if (n != 0 && !ParamRoom(env, b, n)) {
    env->ExceptionClear();
    return false;
  }
  if (n != 0) {
    env->SetIntArrayRegion(static_cast<jintArray>(b->setters), 0, n, r.setters.data());
    env->SetLongArrayRegion(static_cast<jlongArray>(b->values), 0, n, r.values.data());
    for (jsize i = 0; i < n; ++i) {
      if (r.texts[i] != nullptr)
        env->SetObjectArrayElement(static_cast<jobjectArray>(b->texts), i, r.texts[i]);
    }
  }
  for (jobject text : r.texts) JC_DeleteLocal(env, text);
  r.setters.clear();
  r.values.clear();
  r.texts.clear();
  r.strings = 0;
  return true;
}

// Where run cannot be called: the record applied the usual way. True when
// that failed (its code in *rc), else false: the execute runs the usual way.
bool Unrun(JdbcStmt* s, jobject ps, uint32_t* rc) {
  if (s->rowBlock != nullptr) s->paramRecord = &s->rowBlock->record;
  *rc = PreparedStatement::applyRecorded(s, ps);
  return *rc != 0;
}

// How many rows the execute reads ahead (0: none), with the block shaped
// for the result's columns: only where the kept description holds, and the
// statement's last result came whole in its first fetch (a lookup).
uint32_t AheadRows(JdbcStmt* s, JdbcRowBlock* b, const JdbcColDesc* cols, uint16_t count,
                   uint32_t* slotsPerRow) {
  if (!Enabled() || b->lastRows == 0 || !b->lastEnded || s->keptRows != nullptr ||
      s->singleTarget >= 0 || s->fetchColLimit >= 0 || s->rowHook != nullptr || count == 0)
    return 0;
  for (uint16_t c = 0; c < count; ++c) {
    if (jexec::IsLongColumn(cols[c])) return 0;
  }
  if (!KindsOf(cols, count, &b->wanted, slotsPerRow)) return 0;
  uint32_t rows = b->lastRows;
  if (s->maxRows != 0) rows = std::min(rows, s->maxRows);
  return rows;
}

// The rows run read, kept for the fetches that follow.
void KeepAhead(JdbcStmt* s, const BlockClass& k, JdbcRowBlock* b, uint32_t rows,
               uint32_t slotsPerRow) {
  JNIEnv* env = s->jniEnv;
  JdbcRowBlock::Ahead& a = b->ahead;
  DropAhead(env, b);
  a.valid = true;
  a.slotsPerRow = slotsPerRow;
  Taken t;
  if (!TakeBlock(env, k, b, env->GetIntField(b->block, k.rows), rows, slotsPerRow, &t)) {
    a.broken = true;
    return;
  }
  a.rows = t.rows;
  a.atEnd = t.atEnd;
  a.rowFailed = t.rowFailed;
  if (t.failure != nullptr) {
    a.failure = env->NewGlobalRef(t.failure);
    env->DeleteLocalRef(t.failure);
    a.broken = a.failure == nullptr;
  }
}

}  // namespace

bool CanRun(const JdbcStmt* s) {
  return s->jniEnv != nullptr && s->statement != nullptr && Class(s->jniEnv) != nullptr;
}

uint32_t SetParams(JdbcStmt* s, uint32_t set, bool record) {
  // A procedure call registers its output parameters between the setters:
  // its setters keep their place among those calls.
  record = record && (s->flags & STMT_PREPARE_CALL) == 0;
  JdbcRowBlock* b = record ? BlockOf(s) : nullptr;
  if (b == nullptr) return setJavaParams(s, set);
  s->paramRecord = &b->record;
  const uint32_t rc = setJavaParams(s, set);
  if (rc == 0) {
    s->paramRecord = nullptr;
    return 0;
  }
  // What was recorded ran before the failing setter.
  const uint32_t first = PreparedStatement::applyRecorded(s, s->statement);
  return first != 0 ? first : rc;
}

bool Run(JdbcStmt* s, jobject ps, jobject* rs, uint32_t* rc, RunAnswer* answer) {
  *rs = nullptr;
  *rc = 0;
  *answer = RunAnswer{};
  JNIEnv* env = s->jniEnv;
  const BlockClass* k = env != nullptr ? Class(env) : nullptr;
  JdbcRowBlock* b = k != nullptr && ps != nullptr ? BlockOf(s) : nullptr;
  if (b == nullptr) return Unrun(s, ps, rc);
  jobject facts = nullptr;
  jobject labels = nullptr;
  const JdbcColDesc* cols = nullptr;
  uint16_t count = 0;
  uint32_t rows = 0;
  uint32_t slotsPerRow = 0;
  if (jexec::KeptForJava(s, &facts, &labels, &cols, &count))
    rows = AheadRows(s, b, cols, count, &slotsPerRow);
  const auto params = static_cast<jint>(b->record.setters.size());
  if (rows == 0 && params == 0 && facts == nullptr && b->block == nullptr) {
    // A statement's first execute with nothing recorded: no block yet, and
    // the fetch makes it for the result's columns.
    *rs = env->CallStaticObjectMethod(k->cls, k->execute, ps);
    answer->executed = true;
    if (env->ExceptionCheck()) {
      JC_DeleteLocal(env, *rs);
      *rs = nullptr;
      *rc = CheckException(env, s->wide, &s->errors);
      if (*rc == 0) *rc = ERR_GENERAL;
    }
    return true;
  }
  jobject block = b->block;
  if (rows != 0) {
    block = ShapedBlock(env, *k, b, rows);
  } else if (block == nullptr) {
    b->wanted.clear();
    block = ShapedBlock(env, *k, b, 0);
  }
  if (block == nullptr || !PassRecord(env, b)) {
    env->ExceptionClear();
    return Unrun(s, ps, rc);
  }
  jobject got = env->CallObjectMethod(block, k->run, ps, b->setters, b->values, b->texts, params,
                                      facts, labels, static_cast<jint>(rows));
  if (env->ExceptionCheck()) {
    JC_DeleteLocal(env, got);
    *rc = CheckException(env, s->wide, &s->errors);
    if (*rc == 0) *rc = ERR_GENERAL;
    answer->executed = env->GetIntField(block, k->stage) != kStageSetting;
    return true;
  }
  answer->executed = true;
  const jint found = env->GetIntField(block, k->answer);
  answer->sameShape = (found & kAnswerSameShape) != 0;
  answer->otherShape = (found & kAnswerOtherShape) != 0;
  if ((found & kAnswerRead) != 0) {
    CountBlock();
    KeepAhead(s, *k, b, rows, slotsPerRow);
  }
  *rs = got;
  return true;
}

}  // namespace jblock
