// The block reader of result rows: the native side of QMRRowBlock.
#include "drv_jdbc/j-exec-block.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "drv_jdbc/j-carried.h"
#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-datetime.h"
#include "drv_jdbc/j-exec-block-impl.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-getvalue.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-wrap-types.h"
#include "util/decimal_digits.h"
#include "util/log.h"
#include "util/sqllex.h"
#include "util/textconv.h"

namespace jblock {

namespace {

// QMR_BLOCK_FETCH=0 in the environment turns the block reader off, to tell
// its answers from the value-by-value reads in the field.
bool EnabledAtStart() {
  const char* v = std::getenv("QMR_BLOCK_FETCH");
  return v == nullptr || std::strcmp(v, "0") != 0;
}

std::atomic<bool> gEnabled{EnabledAtStart()};
std::atomic<uint64_t> gBlocks{0};

using jget::Put;

// The longest prefix of at most max bytes that ends on a UTF-8 boundary
// (the cut the text getters make).
uint32_t CutUtf8(const char* text, uint32_t length, uint32_t max) {
  return static_cast<uint32_t>(utf8_prefix_len(text, length, max));
}

// At most max units, never half of a surrogate pair.
uint32_t CutUtf16(const char16_t* text, uint32_t length, uint32_t max) {
  uint32_t n = std::min(length, max);
  if (n != 0 && n < length && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  return n;
}

uint32_t Length(int64_t length) { return length < 0 ? 0 : static_cast<uint32_t>(length); }

bool Resolve(JNIEnv* env, jclass local, BlockClass* c) {
  c->ctor = env->GetMethodID(local, "<init>", "([II)V");
  c->reshape = env->GetMethodID(local, "reshape", "([II)V");
  c->fill = env->GetMethodID(local, "fill", "(Ljava/sql/ResultSet;I)I");
  c->labels =
      env->GetStaticMethodID(local, "labels", "(Ljava/sql/ResultSetMetaData;)[Ljava/lang/String;");
  c->sameShape = env->GetStaticMethodID(
      local, "sameShape",
      "(Ljava/sql/ResultSet;[I[Ljava/lang/String;)Ljava/sql/ResultSetMetaData;");
  c->execute = env->GetStaticMethodID(local, "execute",
                                      "(Ljava/sql/PreparedStatement;)Ljava/sql/ResultSet;");
  c->run = env->GetMethodID(local, "run",
                            "(Ljava/sql/PreparedStatement;[I[J[Ljava/lang/Object;I[I"
                            "[Ljava/lang/String;I)Ljava/sql/ResultSet;");
  c->fixed = env->GetFieldID(local, "fixed", "[J");
  c->nulls = env->GetFieldID(local, "nulls", "[B");
  c->bytes = env->GetFieldID(local, "bytes", "[B");
  c->chars = env->GetFieldID(local, "chars", "[C");
  c->byteCount = env->GetFieldID(local, "byteCount", "I");
  c->charCount = env->GetFieldID(local, "charCount", "I");
  c->rows = env->GetFieldID(local, "rows", "I");
  c->atEnd = env->GetFieldID(local, "atEnd", "Z");
  c->failure = env->GetFieldID(local, "failure", "Ljava/lang/Throwable;");
  c->stage = env->GetFieldID(local, "stage", "I");
  c->answer = env->GetFieldID(local, "answer", "I");
  c->rowFailed = env->GetFieldID(local, "rowFailed", "Z");
  return c->ctor && c->reshape && c->fill && c->run && c->execute && c->labels && c->sameShape &&
         c->fixed && c->nulls && c->bytes && c->chars && c->byteCount && c->charCount && c->rows &&
         c->atEnd && c->failure && c->stage && c->answer && c->rowFailed;
}

CarriedClass<BlockClass> gClass("QMRRowBlock", "rows are read value by value", &JC_GetRowBlockClass,
                                &Resolve);

// Copies the used part of a primitive array field; false when the array is
// shorter than the count said (the region copy, checked first, cannot throw).
template <class T, class A>
bool CopyArray(JNIEnv* env, jobject obj, jfieldID field, jsize count, std::vector<T>* out,
               void (JNIEnv::*get)(A, jsize, jsize, T*)) {
  out->resize(static_cast<size_t>(count));
  if (count == 0) return true;
  auto arr = static_cast<A>(env->GetObjectField(obj, field));
  if (arr == nullptr) return false;
  bool ok = env->GetArrayLength(arr) >= count;
  if (ok) (env->*get)(arr, 0, count, out->data());
  env->DeleteLocalRef(arr);
  return ok;
}

}  // namespace

const BlockClass* Class(JNIEnv* env) { return gClass.Get(env); }

void Release(JdbcStmt* s) {
  JdbcRowBlock* b = s->rowBlock;
  if (b == nullptr) return;
  JNIEnv* env = s->jniEnv;
  DropAhead(env, b);
  for (jobject* ref : {&b->block, &b->setters, &b->values, &b->texts}) {
    if (*ref != nullptr && env != nullptr) env->DeleteGlobalRef(*ref);
  }
  delete b;  // a record is empty between calls: its local references went with their frame
  s->rowBlock = nullptr;
  s->paramRecord = nullptr;
}

void DropAhead(JNIEnv* env, JdbcRowBlock* b) {
  JdbcRowBlock::Ahead& a = b->ahead;
  if (a.failure != nullptr && env != nullptr) env->DeleteGlobalRef(a.failure);
  a = JdbcRowBlock::Ahead{};
}

void DropAhead(JdbcStmt* s) {
  if (s->rowBlock != nullptr) DropAhead(s->jniEnv, s->rowBlock);
}

uint32_t RowsLeft(const JdbcStmt* s, uint32_t rows) {
  const JdbcRowBlock* b = s->rowBlock;
  if (b == nullptr) return rows;
  const JdbcRowBlock::Ahead& a = b->ahead;
  if (!a.valid || a.broken || !a.atEnd || a.failure != nullptr || a.next > a.rows) return rows;
  return std::max<uint32_t>(1, std::min(rows, a.rows - a.next));
}

jobject ShapedBlock(JNIEnv* env, const BlockClass& k, JdbcRowBlock* b, uint32_t rows) {
  if (b->block != nullptr && b->kinds == b->wanted) return b->block;
  const auto cols = static_cast<jsize>(b->wanted.size());
  jintArray jkinds = env->NewIntArray(cols);
  if (jkinds == nullptr) return nullptr;
  if (cols != 0) env->SetIntArrayRegion(jkinds, 0, cols, b->wanted.data());
  if (b->block != nullptr) {
    env->CallVoidMethod(b->block, k.reshape, jkinds, static_cast<jint>(rows));
  } else {
    jobject local = env->NewObject(k.cls, k.ctor, jkinds, static_cast<jint>(rows));
    if (local != nullptr && !env->ExceptionCheck()) b->block = env->NewGlobalRef(local);
    JC_DeleteLocal(env, local);
  }
  env->DeleteLocalRef(jkinds);
  if (b->block == nullptr || env->ExceptionCheck()) return nullptr;
  b->kinds = b->wanted;
  return b->block;
}

bool TakeBlock(JNIEnv* env, const BlockClass& k, JdbcRowBlock* b, jint got, uint32_t max,
               uint32_t slotsPerRow, Taken* t) {
  jobject block = b->block;
  const auto cols = static_cast<uint32_t>(b->kinds.size());
  t->rows = static_cast<uint32_t>(std::clamp<jint>(got, 0, static_cast<jint>(max)));
  const jint byteCount = env->GetIntField(block, k.byteCount);
  const jint charCount = env->GetIntField(block, k.charCount);
  const bool ok = CopyArray(env, block, k.fixed, static_cast<jsize>(t->rows * slotsPerRow),
                            &b->fixed, &JNIEnv::GetLongArrayRegion) &&
                  CopyArray(env, block, k.nulls, static_cast<jsize>(t->rows * cols), &b->nulls,
                            &JNIEnv::GetByteArrayRegion) &&
                  CopyArray(env, block, k.bytes, std::max<jint>(byteCount, 0), &b->bytes,
                            &JNIEnv::GetByteArrayRegion) &&
                  CopyArray(env, block, k.chars, std::max<jint>(charCount, 0), &b->chars,
                            &JNIEnv::GetCharArrayRegion);
  t->atEnd = env->GetBooleanField(block, k.atEnd) != JNI_FALSE;
  t->failure = env->GetObjectField(block, k.failure);
  t->rowFailed = env->GetBooleanField(block, k.rowFailed) != JNI_FALSE;
  if (!ok) {
    JC_DeleteLocal(env, t->failure);
    t->failure = nullptr;
    log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "QMRRowBlock arrays are shorter than said");
  }
  return ok;
}

jobject KeepLabels(JNIEnv* env, jobject md) {
  const BlockClass* k = Class(env);
  if (k == nullptr || md == nullptr) return nullptr;
  jobject local = env->CallStaticObjectMethod(k->cls, k->labels, md);
  if (env->ExceptionCheck()) {
    env->ExceptionClear();  // nothing kept: the next execute describes again
    return nullptr;
  }
  jobject global = local != nullptr ? env->NewGlobalRef(local) : nullptr;
  JC_DeleteLocal(env, local);
  return global;
}

jobject SameShape(JNIEnv* env, jobject rs, jobject facts, jobject labels) {
  const BlockClass* k = Class(env);
  if (k == nullptr || rs == nullptr || facts == nullptr || labels == nullptr) return nullptr;
  // sameShape answers null for whatever the metadata throws.
  jobject md = env->CallStaticObjectMethod(k->cls, k->sameShape, rs, facts, labels);
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    JC_DeleteLocal(env, md);
    return nullptr;
  }
  return md;
}

void SetEnabled(bool on) { gEnabled = on; }
bool Enabled() { return gEnabled; }
uint64_t BlocksRead() { return gBlocks; }
void CountBlock() { ++gBlocks; }

int32_t KindOf(uint32_t valueType, uint32_t elemSize, int16_t sqlType) {
  switch (valueType) {
    case COLSET_VT_BIT: return kBoolean;
    case COLSET_VT_TINYINT: return kByte;
    case COLSET_VT_SMALLINT: return kShort;
    case COLSET_VT_INTEGER: return kInt;
    case COLSET_VT_REAL: return kFloat;
    case COLSET_VT_DOUBLE: return kDouble;
    case COLSET_VT_DATE: return kDate;
    case COLSET_VT_TIME: return kTime;
    case COLSET_VT_TIMESTAMP: return kTimestamp;
    case COLSET_VT_CHAR: return kText;
    case COLSET_VT_NTS:
      // Numbers come over as numbers; character columns with getString
      // alone, which is what the value-by-value read ends in for them.
      switch (sqlType) {
        case SQL_BIGINT: return kBigint;
        case SQL_NUMERIC:
        case SQL_DECIMAL: return kDecimal;
        case SQL_CHAR:
        case SQL_VARCHAR: return kText;
        default: return kPlain;
      }
    case COLSET_VT_WCHAR:
    case COLSET_VT_WNTS: return kWideText;
    case COLSET_VT_BINARY: return kBinary;
    // The length prefix needs its four bytes; without them the value-by-value
    // read reports the failure.
    case COLSET_VT_CHAR32: return elemSize < 4 ? -1 : kText;
    case COLSET_VT_WCHAR32: return elemSize < 4 ? -1 : kWideText;
    case COLSET_VT_BINARY32: return elemSize < 4 ? -1 : kBinary;
    default: return -1;
  }
}

uint32_t SlotsOf(int32_t kind) {
  switch (kind) {
    case kDate: return 3;
    case kTime: return 5;
    case kTimestamp: return 8;
    case kBigint:
    case kDecimal: return 2;
    default: return 1;
  }
}

namespace {

uint64_t Magnitude(int64_t v) {
  return v < 0 ? uint64_t{0} - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

}  // namespace

size_t PlainNumberLength(int64_t unscaled, int64_t scale) {
  scale = std::clamp<int64_t>(scale, 0, kMaxScale);
  const int64_t digits = DecimalDigitCount(Magnitude(unscaled));
  // A leading "0" when every digit lies after the point.
  const int64_t whole = std::max<int64_t>(digits - scale, 1);
  return static_cast<size_t>((unscaled < 0 ? 1 : 0) + whole + (scale > 0 ? 1 + scale : 0));
}

size_t PlainNumber(int64_t unscaled, int64_t scale, char* out) {
  return PlainNumberAt(unscaled, scale, PlainNumberLength(unscaled, scale), out);
}

namespace {

// "00" "01" ... "99": two digits a division.
struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs kPairs;

}  // namespace

size_t PlainNumberAt(int64_t unscaled, int64_t scale, size_t length, char* out) {
  // The digits first, from the end, with zeros before them so that one
  // stands before the point; then the sign, the whole part, the point and
  // the fraction.
  scale = std::clamp<int64_t>(scale, 0, kMaxScale);
  uint64_t m = Magnitude(unscaled);
  char digits[kNumberRoom];
  char* const end = digits + sizeof digits;
  char* q = end;
  for (; m >= 100; m /= 100) {
    q -= 2;
    std::memcpy(q, kPairs.text + 2 * (m % 100), 2);
  }
  if (m >= 10) {
    q -= 2;
    std::memcpy(q, kPairs.text + 2 * m, 2);
  } else {
    *--q = static_cast<char>('0' + m);
  }
  for (char* lowest = end - (scale + 1); q > lowest;) *--q = '0';
  const auto whole = static_cast<size_t>(end - q - scale);
  char* o = out;
  if (unscaled < 0) *o++ = '-';
  std::memcpy(o, q, whole);
  o += whole;
  if (scale > 0) {
    *o++ = '.';
    std::memcpy(o, end - scale, static_cast<size_t>(scale));
  }
  return length;
}

void PutText(uint32_t valueType, unsigned char* e, uint32_t size, const char* text,
             int64_t length) {
  const uint32_t have = Length(length);
  switch (valueType) {
    case COLSET_VT_CHAR: {  // fixed width, no terminator
      std::memset(e, 0, size);
      const uint32_t n = CutUtf8(text, have, size);
      if (n != 0) std::memcpy(e, text, n);
      break;
    }
    case COLSET_VT_NTS: {
      if (size == 0) break;
      const uint32_t n = CutUtf8(text, have, size - 1);
      if (n != 0) std::memcpy(e, text, n);
      e[n] = '\0';
      break;
    }
    case COLSET_VT_CHAR32: {
      // A value longer than the element keeps what fits and its whole
      // length, as the value-by-value read does.
      if (size < 4) break;
      const uint32_t n = std::min(have, size - 4);
      Put(e, have);
      if (n != 0) std::memcpy(e + 4, text, n);
      break;
    }
    default: break;
  }
}

void PutWide(uint32_t valueType, unsigned char* e, uint32_t size, const char16_t* text,
             int64_t length) {
  const uint32_t have = Length(length);
  switch (valueType) {
    case COLSET_VT_WCHAR: {  // fixed width, no terminator
      std::memset(e, 0, size);
      const uint32_t n = CutUtf16(text, have, size / 2);
      if (n != 0) std::memcpy(e, text, sizeof(char16_t) * n);
      break;
    }
    case COLSET_VT_WNTS: {
      // At most size / 2 - 1 characters: the last unit is the NUL's.
      if (size < 2) break;
      const uint32_t n = CutUtf16(text, have, size / 2 - 1);
      if (n != 0) std::memcpy(e, text, sizeof(char16_t) * n);
      Put(e + sizeof(char16_t) * n, char16_t{0});
      break;
    }
    case COLSET_VT_WCHAR32: {
      if (size < 4) break;
      const uint32_t n = std::min(have, (size - 4) / 2);
      Put(e, have);
      if (n != 0) std::memcpy(e + 4, text, sizeof(char16_t) * n);
      break;
    }
    default: break;
  }
}

void PutBytes(uint32_t valueType, unsigned char* e, uint32_t size, const unsigned char* bytes,
              int64_t length) {
  uint32_t offset = 0;
  if (valueType == COLSET_VT_BINARY32) {
    if (size < 4) return;
    offset = 4;
  } else if (valueType != COLSET_VT_BINARY) {
    return;
  }
  const uint32_t room = size - offset;
  const uint32_t n = std::min(Length(length), room);
  if (n != 0) std::memcpy(e + offset, bytes, n);
  if (room > n) std::memset(e + offset + n, 0, room - n);
  if (offset != 0) Put(e, n);
}

void PutFixed(int32_t kind, unsigned char* e, const int64_t* v, bool signedYears) {
  switch (kind) {
    case kBoolean: e[0] = v[0] != 0 ? 1 : 0; break;
    case kByte: Put(e, static_cast<int8_t>(v[0])); break;
    case kShort: Put(e, static_cast<int16_t>(v[0])); break;
    case kInt: Put(e, static_cast<int32_t>(v[0])); break;
    case kFloat: {
      const auto bits = static_cast<uint32_t>(v[0]);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      Put(e, f);
      break;
    }
    case kDouble: {
      const auto bits = static_cast<uint64_t>(v[0]);
      double d;
      std::memcpy(&d, &bits, sizeof d);
      Put(e, d);
      break;
    }
    case kDate: {
      JC_Timestamp ts{};
      jdt::PutDate(v[0], v[1], v[2], &ts, signedYears);
      Put(e, JC_Date{ts.year, ts.month, ts.day});
      break;
    }
    case kTime:
      Put(e, JC_Time{static_cast<uint16_t>(v[0]), static_cast<uint16_t>(v[1]),
                     static_cast<uint16_t>(v[2]), 0, static_cast<uint32_t>(v[3]),
                     static_cast<uint32_t>(v[4])});
      break;
    case kTimestamp: {
      JC_Timestamp ts{0,
                      0,
                      0,
                      static_cast<uint16_t>(v[3]),
                      static_cast<uint16_t>(v[4]),
                      static_cast<uint16_t>(v[5]),
                      static_cast<uint32_t>(v[6]),
                      static_cast<uint32_t>(v[7])};
      jdt::PutDate(v[0], v[1], v[2], &ts, signedYears);
      Put(e, ts);
      break;
    }
    default: break;
  }
}

bool KindsOf(const JdbcColDesc* descs, uint16_t count, std::vector<jint>* kinds,
             uint32_t* slotsPerRow) {
  kinds->resize(count);
  *slotsPerRow = 0;
  for (uint16_t c = 0; c < count; ++c) {
    const JdbcColDesc& d = descs[c];
    // Money is read as its text and made exact value by value.
    if ((d.flags & EXEC_COLDESC_MONEY) != 0) return false;
    (*kinds)[c] = KindOf(d.value_type, ColSetTypeSize(d.value_type, d.elem_len), d.sql_type);
    if ((*kinds)[c] < 0) return false;
    *slotsPerRow += SlotsOf((*kinds)[c]);
  }
  return true;
}

namespace {

// Writes rows from .. from + count of the block's copies into the row buffer
// from row `to` on, at following the texts and bytes from row to row. False
// when the lengths do not add up: nothing is read past what came over.
bool Deliver(const JdbcRowBlock& b, uint32_t slotsPerRow, uint32_t from, uint32_t count, Cursor* at,
             COLSET* set, uint32_t to) {
  const std::vector<jint>& kinds = b.kinds;
  const auto cols = static_cast<uint32_t>(kinds.size());
  const auto* byteData = reinterpret_cast<const unsigned char*>(b.bytes.data());
  const auto* charData = reinterpret_cast<const char16_t*>(b.chars.data());
  size_t byteAt = at->byteAt;
  size_t charAt = at->charAt;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t r = from + i;
    const uint32_t row = to + i;
    const int64_t* slot = b.fixed.data() + static_cast<size_t>(r) * slotsPerRow;
    for (uint32_t c = 0; c < cols; ++c) {
      COLSET_COL& col = set->cols[c];
      unsigned char* e = col.data + static_cast<size_t>(row) * col.elem_size;
      const int32_t kind = kinds[c];
      const bool isNull = b.nulls[static_cast<size_t>(r) * cols + c] != 0;
      if (kind == kBigint || kind == kDecimal) {
        const int64_t len = slot[0];
        if (slot[1] == kNumberAsText) {
          if (len > 0 && byteAt + static_cast<size_t>(len) > b.bytes.size()) return false;
          PutText(col.type, e, col.elem_size, reinterpret_cast<const char*>(byteData + byteAt),
                  len);
          if (len > 0) byteAt += static_cast<size_t>(len);
        } else if (isNull) {  // the getter's 0 stands for no value: no text
          PutText(col.type, e, col.elem_size, "", -1);
        } else if (const size_t n = PlainNumberLength(slot[0], slot[1]);
                   col.type == COLSET_VT_NTS && n < col.elem_size) {
          e[PlainNumberAt(slot[0], slot[1], n, reinterpret_cast<char*>(e))] = '\0';
        } else {
          char text[kNumberRoom];
          PlainNumberAt(slot[0], slot[1], n, text);
          PutText(col.type, e, col.elem_size, text, static_cast<int64_t>(n));
        }
      } else if (kind == kText || kind == kPlain || kind == kBinary) {
        const int64_t len = slot[0];
        if (len > 0 && byteAt + static_cast<size_t>(len) > b.bytes.size()) return false;
        const unsigned char* v = byteData + byteAt;
        if (kind == kBinary)
          PutBytes(col.type, e, col.elem_size, v, len);
        else
          PutText(col.type, e, col.elem_size, reinterpret_cast<const char*>(v), len);
        if (len > 0) byteAt += static_cast<size_t>(len);
      } else if (kind == kWideText) {
        const int64_t len = slot[0];
        if (len > 0 && charAt + static_cast<size_t>(len) > b.chars.size()) return false;
        PutWide(col.type, e, col.elem_size, charData + charAt, len);
        if (len > 0) charAt += static_cast<size_t>(len);
      } else {
        PutFixed(kind, e, slot, b.signedYears);
      }
      slot += SlotsOf(kind);
      col.ind[row] = isNull ? COLSET_IND_NULL : 0;
    }
  }
  at->byteAt = byteAt;
  at->charAt = charAt;
  return true;
}

uint32_t Mismatch() {
  log_message(LOG_LEVEL_ERROR, __FILE__, __LINE__, "QMRRowBlock lengths do not match");
  return ERR_GENERAL;
}

// Posts the failure (a reference the caller gives up) that ended a block's
// rows, as the value-by-value read would post it.
uint32_t PostFailure(JdbcStmt* s, jobject failure, bool global) {
  JNIEnv* env = s->jniEnv;
  env->Throw(static_cast<jthrowable>(failure));
  if (global)
    env->DeleteGlobalRef(failure);
  else
    env->DeleteLocalRef(failure);
  return CheckException(env, s->wide, &s->errors);
}

// Hands out the rows the execute read ahead, as many as the fetch asks
// for; *done counts them. kNotTaken when every one went and the fetch asks
// for more, which are then read as usual.
uint32_t FromAhead(JdbcStmt* s, JdbcRowBlock* b, uint32_t rows, uint32_t slotsPerRow, COLSET* set,
                   uint32_t* done, bool* rowFailed) {
  JdbcRowBlock::Ahead& a = b->ahead;
  if (a.broken || b->wanted != b->kinds || a.slotsPerRow != slotsPerRow) {
    DropAhead(s->jniEnv, b);
    return Mismatch();
  }
  const uint32_t take = std::min(rows, a.rows - a.next);
  if (!Deliver(*b, slotsPerRow, a.next, take, &a.at, set, 0)) {
    DropAhead(s->jniEnv, b);
    return Mismatch();
  }
  a.next += take;
  *done = take;
  s->rowCount = take;
  if (a.next < a.rows) return 0;
  jobject failure = a.failure;
  a.failure = nullptr;
  *rowFailed = a.rowFailed;
  const bool atEnd = a.atEnd;
  DropAhead(s->jniEnv, b);
  if (failure != nullptr) return PostFailure(s, failure, true);
  if (atEnd) {
    s->flags |= STMT_NO_MORE_ROWS;
    return 0;
  }
  return take == rows ? 0 : kNotTaken;
}

// Reads the rest of the fetch's rows (after the done rows already handed
// out) in one call into Java.
uint32_t ReadBlock(JdbcStmt* s, const BlockClass& k, JdbcRowBlock* b, jobject rs, uint32_t rows,
                   uint32_t done, uint32_t slotsPerRow, COLSET* set, bool* rowFailed) {
  JNIEnv* env = s->jniEnv;
  const auto fail = [&]() {
    const uint32_t rc = CheckException(env, s->wide, &s->errors);
    return rc != 0 ? rc : ERR_GENERAL;
  };
  const uint32_t want = rows - done;
  jobject block = ShapedBlock(env, k, b, want);
  if (block == nullptr) return fail();
  // fill catches what the result set throws; only the VM's own failures
  // (memory, stack) come out of the call.
  const jint got = env->CallIntMethod(block, k.fill, rs, static_cast<jint>(want));
  ++gBlocks;
  if (env->ExceptionCheck()) return fail();
  Taken t;
  if (!TakeBlock(env, k, b, got, want, slotsPerRow, &t)) return ERR_GENERAL;
  Cursor at;
  if (!Deliver(*b, slotsPerRow, 0, t.rows, &at, set, done)) {
    JC_DeleteLocal(env, t.failure);
    return Mismatch();
  }
  s->rowCount = done + t.rows;
  *rowFailed = t.rowFailed;
  if (t.failure != nullptr) return PostFailure(s, t.failure, false);
  if (t.atEnd) s->flags |= STMT_NO_MORE_ROWS;
  return 0;
}

}  // namespace

uint32_t Fetch(JdbcStmt* s, jobject rs, uint32_t rows, COLSET* set, bool* rowFailed) {
  *rowFailed = false;
  if (s == nullptr || set == nullptr || s->jniEnv == nullptr) return kNotTaken;
  // Rows read ahead are handed out whatever the switch says now.
  const bool ahead = s->rowBlock != nullptr && s->rowBlock->ahead.valid;
  if (!ahead && !Enabled()) return kNotTaken;
  JNIEnv* env = s->jniEnv;
  if (s->rowBlock == nullptr && (s->rowBlock = new (std::nothrow) JdbcRowBlock) == nullptr)
    return kNotTaken;
  JdbcRowBlock* b = s->rowBlock;
  // PostgreSQL writes a year before 1 with its era, the others signed.
  b->signedYears = s->conn != nullptr && (s->conn->sqlForms & SQLLEX_POSTGRESQL) == 0;
  const uint32_t cols = set->cols_used;
  std::vector<jint>& kinds = b->wanted;
  kinds.resize(cols);
  uint32_t slotsPerRow = 0;
  for (uint32_t c = 0; c < cols; ++c) {
    const int16_t sqlType = s->cols != nullptr && c < s->colCount ? s->cols[c].sql_type : 0;
    const bool money =
        s->cols != nullptr && c < s->colCount && (s->cols[c].flags & EXEC_COLDESC_MONEY) != 0;
    kinds[c] = money ? -1 : KindOf(set->cols[c].type, set->cols[c].elem_size, sqlType);
    if (kinds[c] < 0) {
      if (!ahead) return kNotTaken;
      DropAhead(env, b);
      return Mismatch();
    }
    slotsPerRow += SlotsOf(kinds[c]);
  }
  const BlockClass* k = Class(env);
  if (k == nullptr) return kNotTaken;

  const bool first = s->rowsFetched == 0;
  s->rowCount = 0;
  if (rs == nullptr) {
    s->flags |= STMT_NO_MORE_ROWS;
    return 0;
  }
  uint32_t done = 0;
  uint32_t rc = ahead ? FromAhead(s, b, rows, slotsPerRow, set, &done, rowFailed) : kNotTaken;
  if (rc == kNotTaken) rc = ReadBlock(s, *k, b, rs, rows, done, slotsPerRow, set, rowFailed);
  if (first) {
    b->lastRows = rows;
    b->lastEnded = rc == 0 && (s->flags & STMT_NO_MORE_ROWS) != 0;
  }
  return rc;
}

}  // namespace jblock
