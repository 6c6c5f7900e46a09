// A prepared statement's result description, kept across its executions.
//
// Describing a result reads about a dozen ResultSetMetaData answers a column,
// and the column attributes as many again; a prepared lookup run thousands
// of times would read the same answers every time. What decides a column's
// row-buffer element and its name (type, precision, scale, display size,
// label) is still read at every execute, since a result can change shape
// under a prepared statement: another connection's ALTER TABLE, or a
// PostgreSQL parameter bound with another type. The rest (nullability,
// updatability, the attributes) only changes with the schema: it is trusted
// while nothing but queries and row changes ran on the connection, and read
// afresh otherwise.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-sql.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "util/errcodes.h"

struct KeptDesc {
  std::vector<jexec::ColumnShape> shapes;
  DescribeRules rules;
  uint32_t schemaEpoch = 0;
  JdbcColDesc* cols = nullptr;  // owned
  uint16_t count = 0;
  bool haveAttrs = false;
  std::vector<ATTR_ENTRY> attrs;  // texts owned
  // The shapes again for the Java side's comparison (global references,
  // given up by DropKeptDesc): four ints a column, and the labels.
  jobject javaFacts = nullptr;
  jobject javaLabels = nullptr;

  ~KeptDesc() {
    ColDescFree(cols, count);
    for (ATTR_ENTRY& e : attrs) ATTR_EntryRelease(&e);
  }
};

namespace {

bool SameRules(const DescribeRules& a, const DescribeRules& b) {
  return a.wide == b.wide && a.odbcVersion == b.odbcVersion && a.teradata == b.teradata &&
         a.longVarcharToVarchar == b.longVarcharToVarchar && a.nullSizeOfChar == b.nullSizeOfChar &&
         a.negPrecFix == b.negPrecFix && a.jet == b.jet;
}

bool SameFacts(const ColumnFacts& a, const ColumnFacts& b) {
  return a.javaType == b.javaType && a.precision == b.precision && a.scale == b.scale &&
         a.displaySize == b.displaySize && a.guid == b.guid;
}

void DeleteRef(JNIEnv* env, jobject* ref) {
  if (*ref != nullptr) env->DeleteGlobalRef(*ref);
  *ref = nullptr;
}

uint32_t SchemaEpoch(const JdbcStmt* s) { return s->conn != nullptr ? s->conn->schemaEpoch : 0; }

// A deep copy of n descriptions (their texts too); null when memory runs out.
JdbcColDesc* CopyCols(const JdbcColDesc* from, uint16_t n) {
  JdbcColDesc* copy = ColDescAlloc(n);
  if (copy == nullptr) return nullptr;
  for (uint16_t i = 0; i < n; ++i) {
    copy[i] = from[i];
    for (unsigned t = 0; t < COLDESC_TEXTS; ++t) copy[i].texts[t] = nullptr;
    for (unsigned t = 0; t < COLDESC_TEXTS; ++t) {
      if (ColDescSetText(&copy[i], t, from[i].texts[t]) != 0) {
        ColDescFree(copy, n);
        return nullptr;
      }
    }
  }
  return copy;
}

// Only the results of a prepared query or row change: a procedure call's
// results may differ from one execute to the next in ways no column answer
// shows. (Further results of one execute are described afresh elsewhere.)
bool Keepable(const JdbcStmt* s) {
  return s->statement != nullptr && (s->flags & STMT_PREPARE_CALL) == 0 && s->catalogKind == 0 &&
         s->kind != STMT_KIND_OTHER;
}

// Whether k may describe the next result: it was made under the schema and
// the description rules that hold now.
bool Trusted(const JdbcStmt* s, const KeptDesc* k) {
  return k != nullptr && k->schemaEpoch == SchemaEpoch(s) &&
         SameRules(k->rules, describeRulesOf(s));
}

// Whether metadata md describes the shape k was made from: the column count
// and every column's facts and label. 0 with *same set, or a failure code.
uint32_t SameShape(JdbcStmt* s, jobject md, const KeptDesc& k, bool* same) {
  *same = false;
  int32_t n = 0;
  if (uint32_t rc = ResultSetMetaData::getColumnCount(s, md, &n)) return rc;
  if (n != static_cast<int32_t>(k.shapes.size())) return 0;
  for (int32_t i = 0; i < n; ++i) {
    ColumnFacts f;
    char* label = nullptr;
    const uint32_t rc = jexec::ReadColumnShape(s, md, i + 1, &f, &label);
    const bool equal = rc == 0 && SameFacts(f, k.shapes[i].facts) &&
                       k.shapes[i].label == (label != nullptr ? label : "");
    std::free(label);
    if (rc != 0) return rc;
    if (!equal) return 0;
  }
  *same = true;
  return 0;
}

// The Java side's copy of k's shapes; without it the shapes are compared
// here.
void KeepForJava(JNIEnv* env, jobject md, KeptDesc* k) {
  const auto n = static_cast<jsize>(4 * k->shapes.size());
  std::vector<jint> facts;
  facts.reserve(static_cast<size_t>(n));
  for (const jexec::ColumnShape& c : k->shapes) {
    facts.insert(facts.end(),
                 {c.facts.javaType, c.facts.precision, c.facts.scale, c.facts.displaySize});
  }
  jobject labels = jblock::KeepLabels(env, md);
  if (labels == nullptr) return;
  jintArray local = env->NewIntArray(n);
  if (local == nullptr || env->ExceptionCheck()) {
    env->ExceptionClear();
    env->DeleteGlobalRef(labels);
    return;
  }
  if (n != 0) env->SetIntArrayRegion(local, 0, n, facts.data());
  k->javaFacts = env->NewGlobalRef(local);
  env->DeleteLocalRef(local);
  k->javaLabels = labels;
}

// The kept description becomes the current one. The current one is often
// the kept one already (colsKept: a copy of it, left from the last execute),
// and is then left as it is. The metadata object is not kept: only column
// attributes not kept with the description read it, and they fetch it.
uint32_t UseKept(JdbcStmt* s, const KeptDesc& k) {
  const bool current = s->colsKept != 0 && s->cols != nullptr && s->colCount == k.count;
  JdbcColDesc* cols = current ? s->cols : CopyCols(k.cols, k.count);
  if (cols == nullptr) return ERR_NO_MEMORY;
  DeleteRef(s->jniEnv, &s->rsMetaData);
  if (!current) {
    jexec::FreeColDescs(s);
    s->cols = cols;
    s->colCount = k.count;
    stmtColsReplaced(s);
  }
  s->flags |= STMT_COLS_DESCRIBED;
  s->colsKept = 1;
  return 0;
}

// Describes afresh and keeps what was read for the next execute.
uint32_t DescribeAndKeep(JdbcStmt* s, jobject md) {
  auto* k = new (std::nothrow) KeptDesc;
  if (k == nullptr) return ERR_NO_MEMORY;
  if (uint32_t rc = jexec::DescribeFrom(s, md, 'E', &k->shapes)) {
    delete k;
    return rc;
  }
  k->rules = describeRulesOf(s);
  k->schemaEpoch = SchemaEpoch(s);
  KeepForJava(s->jniEnv, md, k);
  k->count = s->cols != nullptr ? s->colCount : 0;
  if (k->count > 0 && (k->cols = CopyCols(s->cols, k->count)) == nullptr) {
    s->keptDesc = k;
    jexec::DropKeptDesc(s);
    return 0;  // described all the same; only nothing is kept
  }
  s->keptDesc = k;
  s->colsKept = 1;
  return 0;
}

}  // namespace

namespace jexec {

bool KeptForJava(const JdbcStmt* s, jobject* facts, jobject* labels, const JdbcColDesc** cols,
                 uint16_t* count) {
  const KeptDesc* k = s->keptDesc;
  if (!Keepable(s) || !Trusted(s, k) || k->javaFacts == nullptr) return false;
  *facts = k->javaFacts;
  *labels = k->javaLabels;
  *cols = k->cols;
  *count = k->cols != nullptr ? k->count : 0;
  return true;
}

uint32_t DescribeExecuted(JdbcStmt* s, ShapeAnswer javaAnswer) {
  if (s->resultSet == nullptr) return 0;
  if (!Keepable(s)) {
    DropKeptDesc(s);
    return buildColDescs(s, 'E');
  }
  KeptDesc* k = s->keptDesc;
  const bool trusted = Trusted(s, k);
  // With the Java side's copy of the shapes, one call reads the metadata
  // and compares it (the execute's own, or one here); a shape that differs
  // is read again below.
  const bool javaCompared = trusted && k->javaFacts != nullptr;
  if (javaCompared && javaAnswer == ShapeAnswer::kSame) return UseKept(s, *k);
  if (javaCompared && javaAnswer == ShapeAnswer::kNotAsked) {
    jobject md = jblock::SameShape(s->jniEnv, s->resultSet, k->javaFacts, k->javaLabels);
    if (md != nullptr) return UseKept(s, *k);
  }
  jobject md = nullptr;
  if (uint32_t rc = ResultSet::getMetaData(s, s->resultSet, &md)) return rc;
  if (md == nullptr) {
    DropKeptDesc(s);
    return 0;
  }
  if (trusted && !javaCompared) {
    bool same = false;
    if (uint32_t rc = SameShape(s, md, *k, &same)) return rc;
    if (same) return UseKept(s, *k);
  }
  DropKeptDesc(s);
  return DescribeAndKeep(s, md);
}

void DropKeptDesc(JdbcStmt* s) {
  KeptDesc* k = s->keptDesc;
  if (k != nullptr && s->jniEnv != nullptr) {
    if (k->javaFacts != nullptr) s->jniEnv->DeleteGlobalRef(k->javaFacts);
    if (k->javaLabels != nullptr) s->jniEnv->DeleteGlobalRef(k->javaLabels);
  }
  delete k;
  s->keptDesc = nullptr;
  s->colsKept = 0;
}

bool KeptAttributes(JdbcStmt* s, uint16_t* count, ATTR_ENTRY** attrs) {
  const KeptDesc* k = s->keptDesc;
  if (s->colsKept == 0 || k == nullptr || !k->haveAttrs) return false;
  *count = 0;
  *attrs = nullptr;
  if (k->attrs.empty()) return true;
  auto* copy = static_cast<ATTR_ENTRY*>(std::calloc(k->attrs.size(), sizeof(ATTR_ENTRY)));
  if (copy == nullptr) return false;
  for (size_t i = 0; i < k->attrs.size(); ++i) {
    ATTR_EntryCopy(&copy[i], &k->attrs[i], ATTR_COPY_OWN);
    if (k->attrs[i].kind == ATTR_KIND_TEXT && k->attrs[i].value.text != nullptr &&
        copy[i].value.text == nullptr) {
      for (size_t j = 0; j < i; ++j) ATTR_EntryRelease(&copy[j]);
      std::free(copy);
      return false;
    }
  }
  *count = static_cast<uint16_t>(k->attrs.size());
  *attrs = copy;
  return true;
}

void KeepAttributes(JdbcStmt* s, uint16_t count, const ATTR_ENTRY* attrs) {
  KeptDesc* k = s->keptDesc;
  if (s->colsKept == 0 || k == nullptr || k->haveAttrs) return;
  std::vector<ATTR_ENTRY> copy(count);
  for (uint16_t i = 0; i < count; ++i) {
    ATTR_EntryCopy(&copy[i], &attrs[i], ATTR_COPY_OWN);
    if (attrs[i].kind == ATTR_KIND_TEXT && attrs[i].value.text != nullptr &&
        copy[i].value.text == nullptr) {
      for (uint16_t j = 0; j < i; ++j) ATTR_EntryRelease(&copy[j]);
      return;  // nothing kept: the next execute builds them again
    }
  }
  k->attrs = std::move(copy);
  k->haveAttrs = true;
}

}  // namespace jexec
