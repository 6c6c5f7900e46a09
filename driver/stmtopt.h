// Statement options (ODBC 2) and attributes (ODBC 3). Options that change
// how the database side runs a statement go to the agent (slot 1, request
// OPT_STMT_INT | option; QMR_STMT_OPTION_TEXT travels as text, OPT_STMT_TEXT |
// option) and are read back from it (slot 0) when it chose
// another value; the rest live in the statement, its cursor state or its
// descriptors (driver/desc.h says which field holds which attribute).
//
// Results are ODBC return codes; a failure leaves the reason as the
// statement's pending code, a changed value ERR_VALUE_CHANGED (01S02) with
// SQL_SUCCESS_WITH_INFO.
#ifndef QMR_DRIVER_STMTOPT_H
#define QMR_DRIVER_STMTOPT_H

#include <cstdint>

#include "driver/dispatch.h"
#include "driver/handles.h"

// Sets one ODBC 2 statement option (the value as SQLSetStmtOption passes it).
DRV_Return STMT_SetOption(StmtHandle* stmt, uint16_t option, uint64_t value);

// Reads one option into *value (null: SQL_SUCCESS, nothing asked). `wide`
// selects the ODBC 3 form, where every option that 64-bit ODBC defines as
// SQLULEN is written 64 bits wide; the ODBC 2 form writes 64 bits for
// SQL_MAX_LENGTH, SQL_MAX_ROWS, SQL_KEYSET_SIZE, SQL_ROWSET_SIZE,
// SQL_ROW_NUMBER and the two array sizes, 32 bits for the others.
DRV_Return STMT_GetOption(StmtHandle* stmt, uint16_t option, void* value, bool wide = false);

// Sets one ODBC 3 attribute; `width` is 'A' or 'W' (no statement attribute
// carries text, so both behave alike).
DRV_Return STMT_SetAttr(StmtHandle* stmt, int32_t attribute, void* value, int32_t length,
                        int width);

// A new statement takes the connection's statement options: stored values
// are copied and those the agent must know are sent to it (a refusal there
// leaves the statement's own default and no diagnostic: the allocation
// itself succeeds).
void STMT_ApplyConnDefaults(StmtHandle* stmt);

// SQLSetConnectOption with a statement option (0-3, 5-12): stored as the
// connection's default and applied to every statement of the connection
// until one does not answer SQL_SUCCESS; that statement's diagnostic moves
// to the connection and its result is returned.
DRV_Return CONN_SetStmtDefault(ConnHandle* conn, uint16_t option, uint64_t value);

#endif
