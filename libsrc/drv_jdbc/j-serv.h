// The agent's information answers (agent slot 0): capability questions of
// the driver core and the layers in front of the agent, connection and
// statement option values read back, and every SQLGetInfo type the core
// forwards (the codes: drv_jdbc/agent_codes.h). Text answers are copied
// out with their NUL (cut to size - 1 bytes without a warning); integer
// answers are four bytes, and the length out then reads 4.
#ifndef QMR_DRV_JDBC_J_SERV_H
#define QMR_DRV_JDBC_J_SERV_H

#include <cstdint>
#include <string>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-records.h"
#include "util/hash.h"

// Room for a text answer read from the JDBC driver.
constexpr uint32_t INFO_TEXT_MAX = 4096;

// The capability mask's bits this agent sets, and the auto-commit bit that it
// adds unless the connection was opened with NOAC.
constexpr uint32_t AGT_CAPABILITIES = 0x349F;
constexpr uint32_t AGT_CAP_AUTOCOMMIT = 0x100;

// One row of the scalar-function table: the name a JDBC driver lists, the
// ODBC SQL_FN_ bit of the function in its category's mask, the category
// (1 numeric, 2 string, 3 system, 4 time and date). Ended by a null name.
struct ScalarFnRow {
  const char* name;
  uint32_t bit;
  uint32_t category;
};
extern const ScalarFnRow ScalarFunctionNames[];

// Builds the name table a connection keeps: every name of
// ScalarFunctionNames mapped to its 1-based row (a later row of the same
// name wins). Null when memory runs out.
HASH_TABLE* buildScalarFnTable();

// The OR of the SQL_FN_ bits of the category's functions named in a JDBC
// function list ("ABS,CEILING, FLOOR"). The list is worked on in place: each
// name is upper-cased and its comma replaced by a NUL. White space around a
// name is ignored; names of other categories and unknown names add nothing;
// "DATABASE" (the JDBC name) stands for DBNAME. 0 for a null list or table.
uint32_t parseFunctionList(char* list, HASH_TABLE* names, uint32_t category);

// Whether the JDBC driver names the time and date function of SQL_FN_TD_
// bit `bit` in getTimeDateFunctions (the SQL_TIMEDATE_FUNCTIONS answer);
// asked once a connection. A failed question claims nothing.
bool claimsTimeDateFunction(JdbcConn* c, uint32_t bit);

// The ODBC type names the JDBC driver takes in {fn CONVERT(value, SQL_...)}:
// CONVERT_NAMES_PLAIN for SQL_INTEGER and the like, CONVERT_NAMES_WIDE for
// SQL_WVARCHAR and the like. A driver that expands the escape without
// mapping the names (H2's) takes neither.
constexpr uint32_t CONVERT_NAMES_PLAIN = 1;
constexpr uint32_t CONVERT_NAMES_WIDE = 2;
uint32_t convertNamesTaken(JdbcConn* c);

// SQL types asked for one SQL_CONVERT_ answer and the SQL_CVT_ bit of each.
struct ConvertTarget {
  int32_t sqlType;
  uint32_t bit;
};
extern const ConvertTarget ConvertTargets[];  // ended by type 0

// The SQL_CVT_ mask of conversions from sqlType: supportsConvert asked for
// each ConvertTarget. A failed call ends the mask: *error receives its code
// (the diagnostic stays posted) and the answer is 0; else *error is 0.
uint32_t convertMask(JdbcConn* c, uint32_t* error, int32_t sqlType);

// SQL_SCROLL_OPTIONS: forward-only and static (17) when dynamic cursors are
// disabled by DYN_CURS_SENSITIVITY, else all five (31).
uint32_t scrollOptionsMask(const JdbcConn* c);

// The capability mask; asking it enables dynamic cursors on the connection.
uint32_t capabilityMask(JdbcConn* c);

// Between the module's files: one computed answer and the SQLGetInfo types.
// SQL_DBMS_VER in ODBC's form "##.##.####": major and minor version (from
// the JDBC driver; negative when it could not tell, then read from the
// product version text) and the release, the third number of the product
// version text when it belongs to that major and minor version (else 0).
std::string dbmsVersionText(const char* productVersion, int32_t major, int32_t minor);

struct InfoAnswer {
  enum Kind { kNone, kInt, kText } kind = kNone;
  uint32_t num = 0;
  const char* text = "";  // points into buf or at a constant
  uint32_t rc = 0;        // code of the last JDBC call that decides the answer
  char buf[INFO_TEXT_MAX] = {};

  void Int(uint32_t v) {
    kind = kInt;
    num = v;
  }
  void Text(const char* t) {
    kind = kText;
    text = t;
  }
};
// Computes the answer to the SQLGetInfo type; false when the agent does not
// answer the type.
bool odbcInfoAnswer(JdbcConn* c, uint16_t type, InfoAnswer* a);

extern "C" {
// Agent slot 0. 0 answered; ERR_INVALID_ARGUMENT the handle is not one of
// the scope's table (or the integer buffer is shorter than 4 bytes);
// ERR_GENERAL the thread could not be attached to the VM; ERR_NOT_SUPPORTED
// not a request this agent answers; otherwise the
// code of a failed JDBC call, whose diagnostic is on the handle's list.
uint32_t DRV_GetInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length);
}

#endif
