// The statement side of the agent: preparing a text on the JDBC connection,
// executing it once per parameter set, describing its result columns from
// ResultSetMetaData, fetching rows into a row buffer (COLSET) and stepping
// to further results; and the few statement slots that need no Java.
//
// Every slot takes the agent's statement handle first (21 for one the agent
// does not hold), attaches the calling thread (15 when it cannot) and works
// inside a JNI local frame of 256 references. Java failures come back with
// their diagnostic posted on the statement.
#ifndef QMR_DRV_JDBC_J_EXEC_H
#define QMR_DRV_JDBC_J_EXEC_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-records.h"

// Results of these slots besides the shared ones of drv_agent.h.
enum : uint32_t {
  EXEC_NO_PARAMS = 48,  // parameters expected, none handed over
  EXEC_NO_MORE_RESULTS = 73,
  EXEC_OUT_PARAMS = 80,  // output parameters pending, no result set
  EXEC_READ_ONLY = 95,   // not a SELECT on a read-only connection
};

// Inline limit of character, wide and binary columns (bytes of precision);
// larger ones are kept out of line.
constexpr uint32_t EXEC_INLINE_LIMIT = 60000;

// What the describe of one column takes from ResultSetMetaData and from the
// statement's connection. No Java: the rules of the type table alone.
struct ColumnFacts {
  int32_t javaType = 0;
  int32_t precision = 0;
  int32_t scale = 0;
  int32_t displaySize = 0;
  bool guid = false;   // a type the JDBC driver files as OTHER that holds GUIDs (uuid)
  bool money = false;  // PostgreSQL's money, which its JDBC driver files as DOUBLE
  bool zoned = false;  // PostgreSQL's timestamptz, filed as TIMESTAMP, read with its offset
};

// Marks a description of PostgreSQL's money (above the COLDESC_* parts of
// the flags): read as its text, made an exact decimal.
constexpr uint32_t EXEC_COLDESC_MONEY = 0x100;
struct DescribeRules {
  uint32_t wide = 0;         // the statement's UTF-8 mode: wide character types
  uint32_t odbcVersion = 2;  // 3 gives the ODBC 3 date and time types
  uint32_t teradata = 0;
  int32_t longVarcharToVarchar = -1;  // PLCHR2VCHR
  uint32_t nullSizeOfChar = 0;        // PNSOSC
  uint32_t negPrecFix = 0;            // NEGPRECFIX
  uint32_t jet = 0;                   // JET
};
DescribeRules describeRulesOf(const JdbcStmt* s);

// Character sizes from which text counts as unbounded: no application
// buffer is sized for it.
constexpr int64_t EXEC_UNBOUNDED_TEXT = 16777216;
bool unboundedText(int64_t size);

// A decimal column of no declared precision (PostgreSQL's numeric, whose
// JDBC driver gives precision 0 and a display size beyond any declared
// one) is described in every call as the widest numeric the database
// declares, half its digits after the point: an application that binds it
// by its description keeps the fraction of what it holds.
constexpr int32_t EXEC_UNBOUNDED_NUMERIC_PRECISION = 1000;
constexpr int32_t EXEC_UNBOUNDED_NUMERIC_SCALE = 500;
bool unboundedNumeric(int64_t precision, int64_t displaySize);

// The SQL type a Java type is described with; every one is an ODBC type
// (what ODBC has no type for is text). The display size tells whether a
// type of the JDBC driver's own has a size at all.
int32_t sqlTypeOfJava(int32_t javaType, int32_t precision, uint32_t wide, int32_t displaySize = 0);

// Fills the type part of a description (described and delivered SQL type,
// precision, scale, display size, value type code and element length) from
// the column's facts. The name and the flags are left as they are.
void describeColumnType(const ColumnFacts& f, const DescribeRules& r, JdbcColDesc* d);

// Describes the statement's result columns: mode 'P' for a statement
// prepared and not yet run (from the prepared statement's metadata; a
// SELECT without markers whose JDBC driver gives none runs once for it, and
// its rows are dropped), mode 'E' for an executed result. 0 or a failure
// code.
uint32_t buildColDescs(JdbcStmt* s, char mode);

// The check that always passes (for the scrollable cursor library).
extern "C" uint32_t nopOp(uint32_t h);

extern "C" {
uint32_t DRV_Prepare(uint32_t stmt, const char* sql);                            // 11
uint32_t DRV_SetParams(uint32_t stmt, COLSET* params);                           // 12
uint32_t DRV_Execute(uint32_t stmt);                                             // 13
uint32_t DRV_UnusedStmtOp(uint32_t stmt);                                        // 14
uint32_t DRV_BindCols(uint32_t stmt, uint16_t count, const JdbcColBind* binds);  // 18
uint32_t DRV_Fetch(uint32_t stmt, uint16_t rows, COLSET* set);                   // 19
uint32_t DRV_MoreResults(uint32_t stmt);                                         // 24
uint32_t DRV_PrepareExecute(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                            const JdbcColBind* binds);  // 43
uint32_t DRV_Cancel(uint32_t stmt);                     // 53
}

// Shared by the statement slots' sources.
namespace jexec {

constexpr int kFrame = 256;

// The statement of a handle with its thread attached and its JNI
// environment refreshed: 0, ERR_INVALID_ARGUMENT or ERR_GENERAL.
uint32_t Enter(uint32_t h, JdbcStmt** out);

// Frees the column descriptions and clears flag 0x0080.
void FreeColDescs(JdbcStmt* s);
// The result of a statement executed directly is described only when its
// columns are first asked for (counted, described or fetched): an
// application that runs a statement and frees it unread pays for no
// metadata. DescribeLate describes such a result (0 when there is none to
// describe); a failure leaves it to be described at the next ask.
void DescribeWhenAsked(JdbcStmt* s);
uint32_t DescribeLate(JdbcStmt* s);
// Runs s's text on st, its plain Java statement, and gives the result set
// (a local reference, null for an update count) in one call into Java.
// False when that call is not available: nothing ran. Otherwise true, with
// *rc 0 or the failure's code (posted on s).
bool RunDirect(JdbcStmt* s, jobject st, jobject* rs, uint32_t* rc);
// Keeps rs (a local reference, or null) as the statement's result set,
// releasing the one held before.
void KeepResultSet(JdbcStmt* s, jobject rs);
// Parameter sets of the held value set (1 without parameters).
uint32_t ParamSetCount(const JdbcStmt* s);
bool HasParams(const JdbcStmt* s);

// What a column's description is made of that decides its row-buffer
// element and its name: read again at every execute of a kept description.
struct ColumnShape {
  ColumnFacts facts;
  std::string label;
};
// The shape of column col of metadata md: its facts and (a malloc copy
// into *label) its label. A driver that cannot give scale or precision
// gives 0 for them.
// Whether the statement's connection is to PostgreSQL, whose JDBC driver
// files money as a double and timestamptz as a timestamp: the type names
// tell them apart.
bool PgTypeNames(const JdbcStmt* s);
uint32_t ReadColumnShape(JdbcStmt* s, jobject md, int32_t col, ColumnFacts* f, char** label);
// Describes the columns of metadata md (a local reference) onto the
// statement, and when shapes is given, the shape of each column into it. In
// mode 'P' a failed column count is not an error: the connection stops
// describing at prepare.
uint32_t DescribeFrom(JdbcStmt* s, jobject md, char mode, std::vector<ColumnShape>* shapes);
// The first try of DescribeFrom: every column's metadata in one Java call.
// False, with nothing described and nothing posted, when that call fails
// or is switched off: the column-by-column read then meets the failure and
// reports it.
bool DescribeInOneCall(JdbcStmt* s, jobject md, std::vector<ColumnShape>* shapes);
// The layout of that call's answer (QMRDescribe.describe), named as the Java
// class names it: where each of a column's ints stands, the bits of its
// flags, and where each of its texts stands.
enum DescribeInt : int32_t {
  kDescribeType,         // TYPE
  kDescribeDisplaySize,  // DISPLAY_SIZE
  kDescribeScale,        // SCALE
  kDescribePrecision,    // PRECISION
  kDescribeNullable,     // NULLABLE
  kDescribeFlags,        // FLAGS
  kDescribeInts,         // INTS: how many a column
};
enum DescribeFlag : int32_t {
  kDescribeReadOnly = 1,  // READ_ONLY
  kDescribeWritable = 2,  // WRITABLE
  kDescribeGuid = 4,      // GUID
  kDescribeMoney = 8,     // MONEY
  kDescribeZoned = 16,    // ZONED
};
enum DescribeText : int32_t {
  kDescribeLabel,   // LABEL
  kDescribeTable,   // TABLE
  kDescribeSchema,  // SCHEMA
  kDescribeTexts,   // TEXTS: how many a column
};
// Whether DescribeFrom tries the one call first (on until switched off);
// the count of descriptions it made. Tests tell the two reads apart with
// them.
void SetDescribeInOneCall(bool on);
uint64_t DescribedInOneCall();
// What the attributes of the first n columns of md ask of the metadata,
// read in one Java call: per column writable, read-only, auto-increment,
// case-sensitive and searchable, the type name and the column's name in
// its table. Empty when that call fails (nothing posted): the attributes
// then ask column by column.
// Where each of a column's ints stands in the answer of
// QMRDescribe.attributes, named as the Java class names it.
enum AnswerInt : size_t {
  kAnswerWritable,       // ATTR_WRITABLE
  kAnswerReadOnly,       // ATTR_READ_ONLY
  kAnswerAutoIncrement,  // ATTR_AUTO_INCREMENT
  kAnswerCaseSensitive,  // ATTR_CASE_SENSITIVE
  kAnswerSearchable,     // ATTR_SEARCHABLE
  kAnswerIntCount,       // ATTRIBUTE_INTS: how many a column
};
struct ColumnAnswers {
  std::vector<int32_t> ints;  // kAnswerInts a column
  std::vector<std::string> typeNames;
  std::vector<std::string> baseNames;
  // Where set, what the statement's text says of each column's name in its
  // table instead (NamesFromText); none: the driver's answer stands.
  std::vector<std::optional<std::string>> textNames;
  static constexpr size_t kAnswerInts = kAnswerIntCount;
  bool Has() const { return !ints.empty(); }
  bool At(int col, AnswerInt which) const { return ints[(col - 1) * kAnswerInts + which] != 0; }
};
ColumnAnswers ReadColumnAnswers(JdbcStmt* s, jobject md, uint16_t n);
// For a driver whose getColumnName answers the label (JdbcConn::namesAreLabels):
// the name each of the n result columns has in its table as the statement's
// text gives it; empty where the text does not tell for sure (an
// expression, a column of a derived table or a union), none for a column of
// a `*` (no alias: the label is its name) and for every column of a text the
// analyser cannot read, whose names stay the driver's, as before.
std::vector<std::optional<std::string>> NamesFromText(const JdbcStmt* s, uint16_t n);
// Long columns, and any column whose values are kept out of line, are
// fetched one row at a time.
bool IsLongColumn(const JdbcColDesc& d);
// SQL_DESC_UPDATABLE of a result column: read-only where the JDBC driver
// says so and for an expression's column (one of no table); otherwise
// unknown, as JDBC's isWritable is no promise (H2 answers it for every
// column).
uint32_t UpdatableOf(bool readOnly, bool fromTable);
// The type, sizes, nullability and updatability of a column read into d,
// whose texts (its table) are set.
void FinishColumn(const ColumnFacts& f, const DescribeRules& rules, int32_t nullable, bool readOnly,
                  JdbcColDesc* d);

// The description of a prepared statement's result kept across its
// executions (j-exec-kept.cpp). Describes the result the execute just
// opened: from the kept description when the result has the shape it was
// made from, else afresh (and kept for the next execute). javaAnswer is
// what the execute's own call into Java found comparing the result with
// KeptForJava's facts (kNotAsked: compare here).
enum class ShapeAnswer { kNotAsked, kSame, kOther };
uint32_t DescribeExecuted(JdbcStmt* s, ShapeAnswer javaAnswer = ShapeAnswer::kNotAsked);
// When the next execute's result may be described from the kept
// description: the Java side's copy of its shapes (global references of the
// kept description) and its columns. False when it is not to be trusted or
// has no Java copy.
bool KeptForJava(const JdbcStmt* s, jobject* facts, jobject* labels, const JdbcColDesc** cols,
                 uint16_t* count);
// Forgets the kept description (at a prepare and when the statement goes).
void DropKeptDesc(JdbcStmt* s);
// The column attributes of the current result when they were kept with its
// description: a copy the caller owns into *attrs. False when none are kept.
bool KeptAttributes(JdbcStmt* s, uint16_t* count, ATTR_ENTRY** attrs);
// Keeps a copy of the attributes just built for the current result, when its
// description is the kept one.
void KeepAttributes(JdbcStmt* s, uint16_t count, const ATTR_ENTRY* attrs);

// Parameter arrays as JDBC batches (j-exec-batch.cpp). Whether the held
// sets may go as one batch: an INSERT, UPDATE or DELETE with markers that
// gives no rows, more than one set, a JDBC driver with batch updates, and no
// reason to run the sets one by one.
bool BatchFits(JdbcStmt* s, bool oneByOne);
enum class BatchResult {
  kDone,    // ran: executedSets, rowCount and *code as the sets one by one give them
  kNotRun,  // nothing of it is left in the database: run the sets one by one
  kLost,    // a failed batch could not be undone
};
BatchResult RunSetsAsBatch(JdbcStmt* s, uint32_t* code);

}  // namespace jexec

#endif
