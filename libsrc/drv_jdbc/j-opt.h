// The agent's options (agent slot 1): connection options that reach the
// JDBC Connection or the agent connection record, statement options stored
// in the agent statement (query timeout and a clamped row limit also reach
// the JDBC Statement), with cursor type and concurrency negotiated down to
// what the connection supports. Beside them: the agent's table of value
// types (slot 23) and the DYN_CURS_SENSITIVITY setting's helpers.
//
// An option request code has the layout of an information request (see
// agent_codes.h); the value is passed by pointer: a u32 for form 2, a
// NUL-terminated text for form 1.
//
// Results: 0 done; ERR_VALUE_CHANGED done with a changed value, which is
// stored and which the caller reads back through DRV_GetInfo (the core
// reports "01S02"); ERR_NOT_CAPABLE not supported; ERR_INVALID_ARGUMENT
// unknown handle, a null value, or a bad value of option 1050; ERR_GENERAL
// the thread cannot be attached; or the code of a failed JDBC call
// (its diagnostic posted on the handle, the stored value left unchanged).
#ifndef QMR_DRV_JDBC_J_OPT_H
#define QMR_DRV_JDBC_J_OPT_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-records.h"

// The largest keyset a statement may ask for, and the largest rowset unless
// the connection was opened with NRSSL.
constexpr uint32_t AGT_MAX_KEYSET_SIZE = 5000;
constexpr uint32_t AGT_MAX_ROWSET_SIZE = 100;

// Changed-option bits of a statement (JdbcStmt::changedOptions) and the
// fetch-state bits a new rowset size clears.
enum : uint16_t {
  OPT_CHANGED_ROWSET = 0x1,
  OPT_CHANGED_CURSOR_TYPE = 0x40,
  OPT_CHANGED_KEYSET = 0x100,
  OPT_FETCH_STATE_ROWSET = 0x30,
};

// Negotiation of one cursor option: the SQLGetInfo type whose mask says
// which values the connection supports, the fallback list (each value is
// replaced by the entry that follows it, searching forward from where the
// previous replacement was found) and the value-to-bit map. Lists and maps
// end with -999. Ended by a row with option 0.
constexpr int32_t CURSOR_RULE_END = -999;
struct CursorOptionRule {
  uint32_t option;    // ODBC statement option (6 cursor type, 7 concurrency)
  uint16_t infoType;  // SQL_SCROLL_OPTIONS or SQL_SCROLL_CONCURRENCY
  int32_t fallback[5];
  struct {
    int32_t value;
    uint32_t bit;
  } map[5];
};
extern const CursorOptionRule CursorOptionRules[];

// The rule of a statement option, or null.
const CursorOptionRule* findCursorRule(uint32_t option);

// Walks *value down the rule's fallback list until the mask holds its bit.
// 0 unchanged; ERR_VALUE_CHANGED changed (the new value in *value);
// ERR_NOT_CAPABLE no supported value
// (*value left as given).
uint32_t negotiateCursorValue(const CursorOptionRule& rule, uint32_t mask, uint32_t* value);

// The negotiation the statement options use: asks the connection for the
// rule's mask through the operation table the core registered last (so the
// layers in front of the agent answer first); when the mask cannot be had,
// the value stays and the result is 0.
uint32_t negotiateCursorOption(const JdbcConn* c, uint32_t option, uint32_t* value);

// The statement's stored options that must reach every new Java statement,
// applied right after the statement code creates one (createStatement,
// prepareStatement or prepareCall): today the query timeout. The statement
// code calls it after each of those calls; 0, or the code of the failed JDBC
// call with its diagnostic posted on the statement.
uint32_t optApplyAfterCreate(JdbcStmt* s);

// One row of the agent's value-type table: a C type, its largest length,
// flags (0x200 date, 0x400 time, 0x800 timestamp).
struct AgentValueType {
  int32_t cType;
  uint32_t maxLength;
  uint32_t flags;
};
constexpr uint32_t AGT_VALUE_TYPE_COUNT = 9;
extern const AgentValueType AgentValueTypes[AGT_VALUE_TYPE_COUNT];

// What DRV_GetOpTable answers: kind 1 asks for the value-type table, which
// stays the agent's.
struct DRV_OpTableRequest {
  uint16_t kind;
  uint32_t count;
  const AgentValueType* table;
};

// DYN_CURS_SENSITIVITY: 'D'/'d' 2 (DISABLED), 'H'/'h' 1 (HIGH), anything
// else or null 0 (LOW); and back to its name ("LOW" for an unknown level).
uint32_t parseDynCursSensitivity(const char* text);
const char* dynCursSensitivityName(uint32_t level);

// The operation table of the record DRV_RegisterAgent filled last, or null
// when none was registered yet.
const DRV_OpTable* AGT_RegisteredOps();

extern "C" {
uint32_t DRV_SetOption(uint32_t h, uint32_t request, void* value);
uint32_t DRV_GetOpTable(uint32_t conn, DRV_OpTableRequest* request);
}

#endif
