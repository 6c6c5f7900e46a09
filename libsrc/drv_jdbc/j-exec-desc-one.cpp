// A result's column descriptions read in one Java call (QMRDescribe): the
// same getters the column-by-column read makes, ten or more a column, run
// on the Java side, their answers brought back in two arrays.
#include <jni.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "drv_jdbc/j-carried.h"
#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-stmt.h"
#include "util/log.h"

namespace {

using jexec::ColumnShape;

using namespace jexec;  // the answer's layout

constexpr jsize kInts = kDescribeInts;
constexpr jsize kTexts = kDescribeTexts;

std::atomic<bool> gOneCall{true};
std::atomic<uint64_t> gDescribed{0};

struct DescribeClass {
  jclass cls = nullptr;  // global reference
  jmethodID describe = nullptr;
  jmethodID attributes = nullptr;
};

bool Resolve(JNIEnv* env, jclass local, DescribeClass* c) {
  c->describe = env->GetStaticMethodID(local, "describe",
                                       "(Ljava/sql/ResultSetMetaData;)[Ljava/lang/Object;");
  c->attributes = env->GetStaticMethodID(local, "attributes",
                                         "(Ljava/sql/ResultSetMetaData;I)[Ljava/lang/Object;");
  return c->describe != nullptr && c->attributes != nullptr;
}

CarriedClass<DescribeClass> gClass("QMRDescribe", "columns are described one by one",
                                   &JC_GetDescribeClass, &Resolve);

const DescribeClass* Class(JNIEnv* env) { return gClass.Get(env); }

// A malloc copy of texts[i] (empty text for null); null when it cannot be
// made.
char* TextAt(JNIEnv* env, jobjectArray texts, jsize i, uint32_t utf) {
  auto str = static_cast<jstring>(env->GetObjectArrayElement(texts, i));
  if (env->ExceptionCheck()) return nullptr;
  char* copy =
      str != nullptr ? JC_GetTextCopy(env, str, utf) : static_cast<char*>(std::calloc(1, 1));
  JC_DeleteLocal(env, str);
  return copy;
}

// The name, table and schema of column i into d. False when a text cannot
// be copied.
bool SetTexts(JNIEnv* env, jobjectArray texts, jsize i, uint32_t utf, JdbcColDesc* d,
              std::string* label) {
  char* t[kTexts] = {};
  bool ok = true;
  for (jsize k = 0; k < kTexts && ok; ++k) ok = (t[k] = TextAt(env, texts, kTexts * i + k, utf));
  const char* table = ok ? t[kDescribeTable] : nullptr;
  const char* schema = ok ? t[kDescribeSchema] : nullptr;
  if (ok) ok = ColDescSetName(d, t[kDescribeLabel]) == 0;
  if (ok && label != nullptr) *label = t[kDescribeLabel];
  if (ok && table[0] != '\0') ok = ColDescSetText(d, COLDESC_TABLE, table) == 0;
  if (ok && schema[0] != '\0') ok = ColDescSetText(d, COLDESC_SCHEMA, schema) == 0;
  for (char* text : t) std::free(text);
  return ok;
}

// The descriptions of the answer's columns; false (nothing kept) when the
// arrays do not have the layout or a text cannot be copied.
bool Fill(JdbcStmt* s, jintArray ints, jobjectArray texts, std::vector<ColumnShape>* shapes) {
  JNIEnv* env = s->jniEnv;
  const jsize n = env->GetArrayLength(ints) / kInts;
  if (env->GetArrayLength(ints) != kInts * n || env->GetArrayLength(texts) != kTexts * n)
    return false;
  if (n == 0) return true;
  std::vector<jint> v(static_cast<size_t>(kInts * n));
  env->GetIntArrayRegion(ints, 0, kInts * n, v.data());
  JdbcColDesc* descs = ColDescAlloc(static_cast<uint16_t>(n));
  if (descs == nullptr) return false;
  const DescribeRules rules = describeRulesOf(s);
  std::vector<ColumnShape> got(static_cast<size_t>(n));
  for (jsize i = 0; i < n; ++i) {
    const jint* c = &v[static_cast<size_t>(kInts * i)];
    ColumnFacts& f = got[static_cast<size_t>(i)].facts;
    const jint flags = c[kDescribeFlags];
    f.javaType = c[kDescribeType];
    f.displaySize = c[kDescribeDisplaySize];
    f.scale = c[kDescribeScale];
    f.precision = c[kDescribePrecision];
    f.guid = (flags & kDescribeGuid) != 0;
    f.money = (flags & kDescribeMoney) != 0 && jexec::PgTypeNames(s);
    f.zoned = (flags & kDescribeZoned) != 0 && jexec::PgTypeNames(s);
    if (!SetTexts(env, texts, i, s->wide, &descs[i], &got[static_cast<size_t>(i)].label)) {
      ColDescFree(descs, static_cast<uint16_t>(n));
      return false;
    }
    jexec::FinishColumn(f, rules, c[kDescribeNullable], (flags & kDescribeReadOnly) != 0,
                        &descs[i]);
  }
  if (shapes != nullptr) shapes->insert(shapes->end(), got.begin(), got.end());
  s->cols = descs;
  s->colCount = static_cast<uint16_t>(n);
  stmtColsReplaced(s);
  s->flags |= STMT_COLS_DESCRIBED;
  gDescribed.fetch_add(1, std::memory_order_relaxed);
  return true;
}

}  // namespace

namespace jexec {

void SetDescribeInOneCall(bool on) { gOneCall = on; }
uint64_t DescribedInOneCall() { return gDescribed.load(std::memory_order_relaxed); }

bool DescribeInOneCall(JdbcStmt* s, jobject md, std::vector<ColumnShape>* shapes) {
  JNIEnv* env = s->jniEnv;
  const DescribeClass* k = env != nullptr && gOneCall ? Class(env) : nullptr;
  if (k == nullptr) return false;
  auto answer = static_cast<jobjectArray>(env->CallStaticObjectMethod(k->cls, k->describe, md));
  if (env->ExceptionCheck() || answer == nullptr) {
    // The column-by-column read meets the same failure and reports it.
    env->ExceptionClear();
    JC_DeleteLocal(env, answer);
    return false;
  }
  auto ints = static_cast<jintArray>(env->GetObjectArrayElement(answer, 0));
  auto texts = static_cast<jobjectArray>(env->GetObjectArrayElement(answer, 1));
  const bool done =
      !env->ExceptionCheck() && ints != nullptr && texts != nullptr && Fill(s, ints, texts, shapes);
  env->ExceptionClear();
  JC_DeleteLocal(env, texts);
  JC_DeleteLocal(env, ints);
  JC_DeleteLocal(env, answer);
  return done;
}

ColumnAnswers ReadColumnAnswers(JdbcStmt* s, jobject md, uint16_t n) {
  ColumnAnswers out;
  JNIEnv* env = s->jniEnv;
  const DescribeClass* k = env != nullptr ? Class(env) : nullptr;
  if (k == nullptr || md == nullptr || n == 0) return out;
  auto answer = static_cast<jobjectArray>(
      env->CallStaticObjectMethod(k->cls, k->attributes, md, static_cast<jint>(n)));
  if (env->ExceptionCheck() || answer == nullptr) {
    env->ExceptionClear();
    JC_DeleteLocal(env, answer);
    return out;
  }
  auto ints = static_cast<jintArray>(env->GetObjectArrayElement(answer, 0));
  auto names = static_cast<jobjectArray>(env->GetObjectArrayElement(answer, 1));
  auto bases = static_cast<jobjectArray>(env->GetObjectArrayElement(answer, 2));
  const auto want = static_cast<jsize>(ColumnAnswers::kAnswerInts * n);
  bool ok = !env->ExceptionCheck() && ints != nullptr && names != nullptr && bases != nullptr &&
            env->GetArrayLength(ints) == want && env->GetArrayLength(names) == n &&
            env->GetArrayLength(bases) == n;
  std::vector<int32_t> v(ok ? static_cast<size_t>(want) : 0);
  if (ok) env->GetIntArrayRegion(ints, 0, want, reinterpret_cast<jint*>(v.data()));
  for (jsize i = 0; ok && i < n; ++i) {
    char* name = TextAt(env, names, i, s->wide);
    ok = name != nullptr;
    if (ok) out.typeNames.emplace_back(name);
    std::free(name);
    char* base = ok ? TextAt(env, bases, i, s->wide) : nullptr;
    ok = base != nullptr;
    if (ok) out.baseNames.emplace_back(base);
    std::free(base);
  }
  env->ExceptionClear();
  JC_DeleteLocal(env, bases);
  JC_DeleteLocal(env, names);
  JC_DeleteLocal(env, ints);
  JC_DeleteLocal(env, answer);
  if (ok) {
    out.ints = std::move(v);
  } else {
    out.typeNames.clear();
    out.baseNames.clear();
  }
  return out;
}

}  // namespace jexec
