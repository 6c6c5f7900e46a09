// The catalog functions of the core (SQLTables ... SQLProcedureColumns):
// argument checks, the driver's defaults for absent arguments, and the
// request block handed to the agent's catalog slot.
#ifndef QMR_DRIVER_CATALOG_H
#define QMR_DRIVER_CATALOG_H

#include <cstdint>
#include <string>

// SQLTables' table-type list in the form the agent takes: every item put in
// single quotes (quotes the application wrote dropped, blanks around items
// trimmed), joined by commas. An empty list stays empty; a list beginning
// with '%' becomes "%". With includeViews, a list that names TABLE and not
// VIEW gets VIEW added.
std::string TBL_QuoteTypes(const std::string& list, bool includeViews);

#endif
