// The catalog functions of the core (SQLTables ... SQLProcedureColumns, and
// the beginning and end SQLGetTypeInfo shares with them): argument checks,
// the driver's defaults for absent arguments, and the request block handed
// to the agent's catalog slot.
#ifndef QMR_DRIVER_CATALOG_H
#define QMR_DRIVER_CATALOG_H

#include <cstdint>
#include <string>

#include "driver/dispatch.h"

// SQLTables' table-type list in the form the agent takes: every item put in
// single quotes (quotes the application wrote dropped, blanks around items
// trimmed), joined by commas. An empty list stays empty; a list beginning
// with '%' becomes "%". With includeViews, a list that names TABLE and not
// VIEW gets VIEW added.
std::string TBL_QuoteTypes(const std::string& list, bool includeViews);

// The start of a catalog call: closes the statement and drops its
// description. False (pending sequence error) when the statement is not
// back in the allocated state.
bool CAT_Begin(StmtHandle* stmt);

// The end of a catalog call given the agent's answer to the request: 0
// leaves the statement with the result open as its cursor (SQL_SUCCESS);
// any other code becomes the pending code and the agent's diagnostics are
// pulled (SQL_ERROR).
DRV_Return CAT_Settle(StmtHandle* stmt, uint32_t code);

#endif
