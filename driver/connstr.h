// Connection strings: the process-wide keyword table that one connect fills
// (from the string, then from the data source), the splitting of a string
// into keyword=value pairs, and the bracing of values on the way back out.
//
// Braces: a value that begins with '{' runs to the matching '}', where "}}"
// stands for one '}' inside the value; the braces are removed on input, so
// PWD={a;b}}c} gives the password a;b}c. On output a value that holds ';',
// '{' or '}' is braced again. A value that does not begin with '{' ends at
// the first ';' outside braces (braces inside it stay as they are).
//
// The keyword table is read and written under the connect lock
// (DRV_ConnectLock); the text functions touch no shared state.
#ifndef QMR_DRIVER_CONNSTR_H
#define QMR_DRIVER_CONNSTR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/lock_order.h"

// One row of the keyword table.
struct ConnStrKeyword {
  const char* keyword;    // compared without regard to case
  const char* valueName;  // odbc.ini value name; null: connection string only
  uint32_t traced;        // 0: never written to the trace (PWD, FDSN)
  uint32_t valueSize;     // largest value the data-source reads start with
  uint32_t supplied;      // 1: from the connection string (or the dialog's)
  bool present;           // a value is there (possibly empty)
  std::string value;
};

// Row numbers.
enum ConnStrRow : int {
  kKwDSN = 0,
  kKwUID,
  kKwPWD,
  kKwJDBC,
  kKwURL,
  kKwREADONLY,
  kKwFBS,
  kKwNLB,
  kKwMAXROWS,
  kKwNOAC,
  kKwNRSSL,
  kKwFDSN,
  kKwINITSQL,
  kKwDYN_CURS_SENSITIVITY,
  kKwDLF,
  kKwJ_DCAT,
  kKwJ_DSCH,
  kKwJ_SSTOFF,
  kKwJ_NSQI,
  kKwPNSOSC,
  kKwNSSSE,
  kKwPLCHR2VCHR,
  kKwDRIVER,
  kKwFILEDSN,
  kKwLOGJCALLS,
  kKwSQLDBMSNAME,
  kKwMASE,
  kKwIV,
  kKwIA,
  kKwNEGPRECFIX,
  kKwJET,
  kConnStrKeywordCount
};

// Made once and never destroyed: the library registers nothing that runs at
// exit, before its own unload hook.
extern ConnStrKeyword* const ConnStrKeywords PT_GUARDED_BY(DRV_ConnectLock());

// Every value and supplied flag cleared (passwords wiped first).
void CS_Clear() REQUIRES(DRV_ConnectLock());

// One keyword=value pair of a connection string, value unbraced.
struct CS_Pair {
  std::string keyword;  // blanks around it removed
  std::string value;
};
// Splits a connection string into its pairs, in order; pieces without '='
// are skipped.
std::vector<CS_Pair> CS_Split(const char* text);

// Puts the pairs of a string into the table: a keyword of the table takes
// the value and is marked supplied (the first pair of a keyword counts);
// other keywords are ignored.
void CS_ParseInto(const char* text) REQUIRES(DRV_ConnectLock());

// The row of a keyword (or of its odbc.ini value name), or -1.
int CS_Find(const char* keyword) REQUIRES(DRV_ConnectLock());

// How far the value starting at v (just after a '=') runs, by the rules
// above; what the trace masks when the keyword names a secret.
size_t CS_ValueLength(const char* v);

// The value as it goes into a connection string: braced when it holds ';',
// '{' or '}' ("}" doubled inside the braces).
std::string CS_Brace(const std::string& value);
// Always braced (driver names).
std::string CS_BraceAlways(const std::string& value);

// TRUE, YES or 1 in any case.
bool CS_IsTrue(const std::string& value);
// Leading blanks, sign and digits as atol, saturated at the 32-bit range.
int32_t CS_ToInt32(const std::string& value);

// Wipes a secret's bytes before the string lets it go.
void CS_Wipe(std::string& s);

#endif
