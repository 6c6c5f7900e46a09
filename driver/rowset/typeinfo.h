// The server's type information, one value at a time, for the descriptor
// code's type name and literal prefix and suffix.
#ifndef QMR_DRIVER_ROWSET_TYPEINFO_H
#define QMR_DRIVER_ROWSET_TYPEINFO_H

#include <cstdint>

#include "driver/dispatch.h"

// Column `column` (1-based) of the server's type-information row for
// sqlType, as 8-bit text into buffer/size; *length gets its length or
// SQL_NULL_DATA. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (cut), SQL_NO_DATA (no
// row for the type) or SQL_ERROR (ERR_NOT_CONNECTED on the connection when it
// is not open; the agent's failure otherwise).
DRV_Return TypeInfoLookup(ConnHandle* conn, uint16_t column, int16_t sqlType, char* buffer,
                          int64_t size, int64_t* length);

// SEARCHABLE of the server's type-information row for sqlType, chosen as
// TypeInfoLookup chooses it; -1 when the server gives none or cannot be
// asked. The rows are read once a connection (ConnHandle::typeSearch).
int TypeInfoSearchable(ConnHandle* conn, int16_t sqlType) EXCLUDES(conn->typeSearchLock);

#endif
