// Reading result rows a block at a time through the QMRRowBlock support
// class: one call into Java reads every value of up to a block of rows, and
// a few array copies bring them over, instead of two or more JNI calls per
// value. The values and indicators in the row buffer are the same as the
// value-by-value reads of DRV_Fetch give.
#ifndef QMR_DRV_JDBC_J_EXEC_BLOCK_H
#define QMR_DRV_JDBC_J_EXEC_BLOCK_H

#include <jni.h>

#include <cstdint>
#include <vector>

#include "drv_jdbc/j-records.h"
#include "util/colset.h"

// The plain parameter setters (null, boolean to double, string) of one
// execute, recorded instead of called while s->paramRecord points here, for
// jblock::Run to call in the same Java call as the execute. Any other setter
// first has the record applied the usual way, and ends the recording.
struct JdbcParamRecord {
  std::vector<jint> setters;   // index << 4 | QMRRowBlock's SET_* code
  std::vector<jlong> values;   // the value's bits, the JDBC type for a null
  std::vector<jobject> texts;  // local references, null but for strings
  size_t strings = 0;
};

namespace jblock {

// The value kinds of the support class (QMRRowBlock's constants).
enum Kind : int32_t {
  kBoolean = 0,
  kByte = 1,
  kShort = 2,
  kInt = 3,
  kFloat = 4,
  kDouble = 5,
  kDate = 6,
  kTime = 7,
  kTimestamp = 8,
  kText = 9,
  kPlain = 10,
  kWideText = 11,
  kBinary = 12,
  kBigint = 13,   // a long, written as its decimal text
  kDecimal = 14,  // an unscaled long and a scale, written as plain text
};

// The scale slot of a number that came over as text instead.
constexpr int64_t kNumberAsText = -1;

// The kind a row-buffer column is read as, or -1 when the column is read
// value by value only (long values, the forms never described, and
// length-prefixed elements too small for their prefix). sqlType, the
// column's described SQL type, picks the form text columns travel in.
int32_t KindOf(uint32_t valueType, uint32_t elemSize, int16_t sqlType = 0);
// Slots of the support class's fixed array that a value of the kind takes.
uint32_t SlotsOf(int32_t kind);

// Answer of Fetch when the block reader does not take the result; nothing
// has been read then.
constexpr uint32_t kNotTaken = 0xFFFFFFFFu;

// Reads up to rows rows of rs into the built row buffer set (every column
// read, in order), counting them in s->rowCount and marking the end of the
// rows in s->flags; a Java failure after some rows keeps those rows and is
// posted on the statement (its code is returned) as a value-by-value read
// would post it (*rowFailed: a getter failed, on the row after those rows).
// kNotTaken when a column has no block form or the support class is not
// available.
uint32_t Fetch(JdbcStmt* s, jobject rs, uint32_t rows, COLSET* set, bool* rowFailed);
// Gives up the block a statement keeps between fetches (s->rowBlock).
void Release(JdbcStmt* s);

// A kept result description compared in one call into Java instead of six
// and five a column. KeepLabels: a global reference to the labels of md's
// columns, null (nothing pending) when they cannot be read. SameShape: the
// metadata of result set rs (a local reference) when it answers facts
// (type, precision, scale, display size a column) and labels; null (nothing
// pending) when it does not, cannot be read, or the support class is not
// available.
jobject KeepLabels(JNIEnv* env, jobject md);
jobject SameShape(JNIEnv* env, jobject rs, jobject facts, jobject labels);

// The execute of a prepared statement in one call into Java, with the setters
// recorded for it (SetParams): the setters, the execute and its result set,
// and when the statement keeps its result's description, the comparison
// with it and, where the statement's last result came whole in its first
// fetch, that many rows read ahead for the fetch. The answers stay those of
// the separate calls: a setter's failure as setJavaParams gives it, the
// execute's as the execute and getResultSet give it, a row's failure at the
// fetch that reaches it.
struct RunAnswer {
  bool executed = false;    // the failure, if any, is the execute's (not a setter's)
  bool sameShape = false;   // the kept description describes the result
  bool otherShape = false;  // it was compared and does not
};
// Whether Run can take the execute of s, a prepared statement (the support
// class is there).
bool CanRun(const JdbcStmt* s);
// setJavaParams for parameter set `set`, the plain setters recorded when
// record is set (never for a procedure call). 0 or the failure setJavaParams gives (the record
// applied first, so that an earlier setter's failure comes first).
uint32_t SetParams(JdbcStmt* s, uint32_t set, bool record);
// Executes the prepared statement ps of s and gives its result set (a local
// reference, null for an update count), with what was recorded and the kept
// description. *rc is 0 or the failure's code (posted on s as the
// value-by-value calls would post it). False when the support class is not
// available: the record is applied and nothing ran, unless applying it
// failed (true then, with its code in *rc).
bool Run(JdbcStmt* s, jobject ps, jobject* rs, uint32_t* rc, RunAnswer* answer);
// Forgets the rows an execute read ahead: the result they came from goes.
void DropAhead(JdbcStmt* s);
// The rows a fetch of up to rows rows can hand out when the execute read
// the whole result ahead (at least 1, so that the fetch still finds the
// end); rows otherwise.
uint32_t RowsLeft(const JdbcStmt* s, uint32_t rows);

// The block reader is on unless turned off here (for comparisons) or by
// QMR_BLOCK_FETCH=0 in the environment at load.
void SetEnabled(bool on);
bool Enabled();
// Blocks read through the support class in this process.
uint64_t BlocksRead();

// Writers of one element from a value of the support class, shaped as the
// value-by-value getters leave it. length -1 stands for a null value.
void PutText(uint32_t valueType, unsigned char* e, uint32_t size, const char* text, int64_t length);
void PutWide(uint32_t valueType, unsigned char* e, uint32_t size, const char16_t* text,
             int64_t length);
void PutBytes(uint32_t valueType, unsigned char* e, uint32_t size, const unsigned char* bytes,
              int64_t length);
// A fixed-size value from its slots (kBoolean to kTimestamp); signedYears
// as for jdt::PutDate.
void PutFixed(int32_t kind, unsigned char* e, const int64_t* slots, bool signedYears = false);
// The text BigDecimal.toPlainString gives for unscaled x 10^-scale (scale
// 0 to kMaxScale) into out, which has room for kNumberRoom bytes; its length.
constexpr int64_t kMaxScale = 1000;
constexpr size_t kNumberRoom = kMaxScale + 24;
size_t PlainNumber(int64_t unscaled, int64_t scale, char* out);
// The length of that text, and the text written knowing it.
size_t PlainNumberLength(int64_t unscaled, int64_t scale);
size_t PlainNumberAt(int64_t unscaled, int64_t scale, size_t length, char* out);

}  // namespace jblock

#endif
