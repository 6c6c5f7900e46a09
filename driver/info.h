// SQLGetInfo and SQLGetFunctions. SQLGetFunctions is answered from a fixed
// list; SQLGetInfo answers a few types itself, the SQL_CONVERT_ types from
// the agent's value-type table, and asks the agent for the rest, once per
// connection and type (the answers are kept in ConnHandle::infoCache).
#ifndef QMR_DRIVER_INFO_H
#define QMR_DRIVER_INFO_H

#include <cstdint>

#include "driver/handles.h"

// How the answer to an information type is delivered.
enum class InfoForm {
  None,    // not a type the agent answers (refused with S1096)
  Short,   // SQLUSMALLINT
  Int,     // SQLUINTEGER
  Handle,  // SQLULEN (the SQL_DRIVER_H* types)
  Text,
};

// The form of an information type the agent answers, and the entry it keeps
// in its cache of that form (*slot; SQL_OJ_CAPABILITIES and its ODBC 2
// number share one). Handle answers use the Int cache.
InfoForm INFO_Form(uint16_t type, int* slot);

// The SQL_CVT_ mask of an SQL_CONVERT_ type (53-71, 122, 125, 126) from the
// connection's value-type table; mode 'W' adds the wide character types.
uint32_t INFO_ConvertMask(const ConnHandle* conn, uint16_t type, int mode);

#endif
