// TEMPORARY: the operations of data conversion and rowset operations, until
// that code is built. Each answers SQL_ERROR with internal code 43.
#include "driver/ops.h"
#include "driver/pending_result.h"

QMR_NOT_BUILT_OP(DRV_SetPosOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_BulkOperationsOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_GetTypeInfoOp, StmtHandle)

// The type-information lookup answers as a server without type information
// would, so that descriptor fields built on it read as empty.
#include "driver/rowset/typeinfo.h"
DRV_Return TypeInfoLookup(ConnHandle*, uint16_t, int16_t, char* buffer, int64_t size,
                          int64_t* length) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  if (length != nullptr) *length = 0;
  return 100;  // SQL_NO_DATA
}
