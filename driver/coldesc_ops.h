// The column-attribute answers shared by SQLColAttribute (ODBC 3) and
// SQLColAttributes (ODBC 2).
#ifndef QMR_DRIVER_COLDESC_OPS_H
#define QMR_DRIVER_COLDESC_OPS_H

#include <sql.h>

#include <cstdint>

#include "driver/dispatch.h"
#include "driver/handles.h"

// Answers the ODBC 2 field identifiers (0 to 18), SQL_DESC_ROWVER and the
// driver's own QMR_DESC_KEY_COLUMN of column icol: text into text/size
// (8-bit, or UTF-16 with sizes in bytes when width is 'W'), numbers into
// *number.
DRV_Return ColAttribute_core(StmtHandle* stmt, uint16_t icol, uint16_t field, void* text,
                             int64_t size, SQLSMALLINT* length, SQLLEN* number, int width);

#endif
