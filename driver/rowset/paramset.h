// Parameter values from the application's buffers to the value set the
// agent takes (one COLSET column per parameter marker, one row per
// parameter set that is not ignored), and the helpers that find one
// parameter's value of one parameter set.
#ifndef QMR_DRIVER_ROWSET_PARAMSET_H
#define QMR_DRIVER_ROWSET_PARAMSET_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>

#include "driver/handles.h"

// One parameter's binding, resolved once per execution.
struct ParamBinding {
  int number = 0;  // 1-based
  const DescRec* apd = nullptr;
  const DescRec* ipd = nullptr;
  int16_t cType = 0;  // SQL_C_DEFAULT resolved
  int16_t sqlType = 0;
  int16_t direction = 1;    // SQL_PARAM_INPUT, _INPUT_OUTPUT, _OUTPUT
  int64_t elementSize = 0;  // fixed size of the C type; 0 for variable ones
};

// The value of one parameter in one parameter set, as the application's
// buffers (or the data-at-execution dialogue) give it.
struct ParamValue {
  enum Kind { kPresent, kNull, kDataAtExec, kDefault, kBadLength } kind = kPresent;
  const void* data = nullptr;  // null with kPresent: no data pointer
  int64_t length = 0;          // bytes (for the variable C types); the raw length for kBadLength
};

// True for SQL_DATA_AT_EXEC and the SQL_LEN_DATA_AT_EXEC range.
inline bool ParamIsDataAtExec(int64_t length) { return length == -2 || length <= -100; }

// The binding of parameter `number` (APD and IPD record); false when the
// APD has no record of that number.
bool ParamResolve(const StmtHandle* stmt, int number, ParamBinding* out);
// The bind offset of the current APD (0 when none is set).
int64_t ParamBindOffset(const StmtHandle* stmt);
// Whether the application asked for parameter set `set` to be skipped.
bool ParamSetIgnored(const StmtHandle* stmt, uint64_t set);
// Bytes from one parameter set's value to the next: the row size of
// row-wise binding, else the element size (the buffer length, or the
// column size, for the variable C types).
int64_t ParamValueStride(const StmtHandle* stmt, const ParamBinding& b);
// The raw length/indicator word of a parameter set (the fixed size, or
// SQL_NTS for the variable C types, when no pointer is bound).
int64_t ParamLengthAt(const StmtHandle* stmt, const ParamBinding& b, uint64_t set, bool* bound);
// The value of a parameter set, with the gathered data-at-execution value
// where the length asks for one. Does not read the data of a NULL.
ParamValue ParamValueAt(const StmtHandle* stmt, const ParamBinding& b, uint64_t set);

// Where the values of a value set come from: the statement's parameter
// sets, or the rows of a positioned or bulk change.
class ParamSource {
 public:
  virtual ~ParamSource() = default;
  virtual uint64_t Sets() const = 0;
  virtual bool Ignored(uint64_t set) const = 0;
  virtual ParamValue Value(const ParamBinding& b, uint64_t set) const = 0;
};

// Builds the value set of every marker for the statement's parameter sets
// into `set` (which must be empty) and the number of rows sent into *rows.
// Returns 0 or an internal code: 16 memory, 25 a length ODBC does not define,
// 49 a C type without conversion, 116 SQL_DEFAULT_PARAM, 21 a value without
// a data pointer that is neither NULL nor sent at execution.
// *cut (when given) tells whether a value lost a fraction on the way
// (01S07, a text for an SQL_BIT parameter); 22003 and 22018 for such a text
// fail the build before anything is allocated.
int ParamSetBuild(StmtHandle* stmt, const ParamBinding* bindings, uint16_t count, COLSET* set,
                  uint32_t* rows, bool* cut = nullptr);

// The same over any source. With keepIgnored an ignored set keeps its row,
// every indicator COLSET_IND_SKIP, so that rows keep their numbers.
int ParamSetBuildFrom(const ParamSource& src, const ParamBinding* bindings, uint16_t count,
                      COLSET* set, uint32_t* rows, bool keepIgnored, bool* cut = nullptr);

// ---- Per-value converters (exposed for their tests) -----------------------

// An ODBC escape {d '...'}, {t '...'} or {ts '...'} of at most `length`
// bytes: the kind (91, 92, 93) and the parts; 0 when the text is no such
// escape. The fraction is in nanoseconds.
int ParamParseDateTimeEscape(const char* text, int64_t length, SQL_TIMESTAMP_STRUCT* out);
// Character data for a bit: "0", "1", true/false, t/f in any case, and
// other numbers as ODBC cuts them. 0, ERR_FRACTIONAL_TRUNCATION (a number
// between 0 and 2 other than 1, cut to 0 or 1), ERR_NUMERIC_RANGE (below 0,
// from 2 on) or ERR_INVALID_CAST_VALUE (no number).
int ParamBitOfText(const char* text, int64_t length, uint8_t* bit);

// The same over UTF-16 text (`length` in bytes).
int ParamParseDateTimeEscapeW(const char16_t* text, int64_t length, SQL_TIMESTAMP_STRUCT* out);
// The exact decimal text of SQL_NUMERIC_STRUCT (sign, digits, point by the
// scale; a negative scale appends zeros).
std::string ParamNumericText(const SQL_NUMERIC_STRUCT& n);
// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
std::string ParamGuidText(const SQLGUID& g);

#endif
