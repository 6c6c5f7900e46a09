// What the block reader's sources share: the support class's members, the
// statement's kept block with the rows an execute read ahead, and the
// copies out of a filled block. Only j-exec-block.cpp and j-exec-run.cpp
// include it.
#ifndef QMR_DRV_JDBC_J_EXEC_BLOCK_IMPL_H
#define QMR_DRV_JDBC_J_EXEC_BLOCK_IMPL_H

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "drv_jdbc/j-exec-block.h"

namespace jblock {

// The support class and its members, looked up once per process.
struct BlockClass {
  jclass cls = nullptr;  // global reference
  jmethodID ctor = nullptr;
  jmethodID reshape = nullptr;
  jmethodID fill = nullptr;
  jmethodID run = nullptr;
  jmethodID labels = nullptr;     // static
  jmethodID sameShape = nullptr;  // static
  jmethodID execute = nullptr;    // static
  jfieldID fixed = nullptr;
  jfieldID nulls = nullptr;
  jfieldID bytes = nullptr;
  jfieldID chars = nullptr;
  jfieldID byteCount = nullptr;
  jfieldID charCount = nullptr;
  jfieldID rows = nullptr;
  jfieldID atEnd = nullptr;
  jfieldID failure = nullptr;
  jfieldID stage = nullptr;
  jfieldID answer = nullptr;
  jfieldID rowFailed = nullptr;
};
const BlockClass* Class(JNIEnv* env);

// QMRRowBlock.run's stages and answers.
constexpr jint kStageSetting = 0;
constexpr jint kAnswerSameShape = 1;
constexpr jint kAnswerOtherShape = 2;
constexpr jint kAnswerRead = 4;

// Where the next row of a block's copies starts in its text and byte arrays.
struct Cursor {
  size_t byteAt = 0;
  size_t charAt = 0;
};

}  // namespace jblock

// A statement's block and the native copies of its arrays, kept from fetch
// to fetch and from one execute to the next: a lookup run thousands of times
// allocates neither Java objects nor native buffers once it has fetched.
struct JdbcRowBlock {
  jobject block = nullptr;   // global: the QMRRowBlock
  bool signedYears = false;  // a year before 1 shown signed (jdt::PutDate)
  std::vector<jint> kinds;   // what block is shaped for
  std::vector<jint> wanted;
  std::vector<jlong> fixed;
  std::vector<jbyte> nulls;
  std::vector<jbyte> bytes;
  std::vector<jchar> chars;

  // The parameter arrays of run (global), grown when a record needs more.
  jobject setters = nullptr;
  jobject values = nullptr;
  jobject texts = nullptr;
  jsize paramRoom = 0;
  JdbcParamRecord record;

  // The first block of rows the execute read (the copies above hold it),
  // handed out by the fetches that follow before anything is read again.
  struct Ahead {
    bool valid = false;
    bool broken = false;  // the copies did not add up: the fetch fails
    uint32_t slotsPerRow = 0;
    uint32_t rows = 0;
    uint32_t next = 0;  // the first row not handed out
    jblock::Cursor at;
    bool atEnd = false;
    jobject failure = nullptr;  // global: what ended the rows early
    bool rowFailed = false;     // the failure is a getter's, on the row after the rows
  } ahead;
  // The first fetch of the last result: the rows it asked for, and whether
  // they held the whole result (what makes reading ahead worth it).
  uint32_t lastRows = 0;
  bool lastEnded = false;
};

namespace jblock {

// The statement's block shaped for b->wanted and rows rows; null with an
// exception pending (or none when memory for the native side ran out).
jobject ShapedBlock(JNIEnv* env, const BlockClass& k, JdbcRowBlock* b, uint32_t rows);

// What a fill left in the block, its arrays copied into b.
struct Taken {
  uint32_t rows = 0;
  bool atEnd = false;
  jobject failure = nullptr;  // local
  bool rowFailed = false;     // a getter's failure, on the row after the rows
};
// Copies the got rows (at most max) of a filled block; false (logged,
// nothing to hand out) when its arrays are shorter than its counts say.
bool TakeBlock(JNIEnv* env, const BlockClass& k, JdbcRowBlock* b, jint got, uint32_t max,
               uint32_t slotsPerRow, Taken* t);

// The kinds of the row-buffer columns a fetch builds from descs, and the
// slots a row takes; false when a column has no block form.
bool KindsOf(const JdbcColDesc* descs, uint16_t count, std::vector<jint>* kinds,
             uint32_t* slotsPerRow);

// Counts a block read (BlocksRead).
void CountBlock();

// Forgets the rows read ahead (their failure too).
void DropAhead(JNIEnv* env, JdbcRowBlock* b);

}  // namespace jblock

#endif
