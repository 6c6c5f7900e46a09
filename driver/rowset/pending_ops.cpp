// TEMPORARY: the operations of data conversion and rowset operations, until
// that code is built. Each answers SQL_ERROR with internal code 43.
#include "driver/ops.h"
#include "driver/pending_result.h"

QMR_NOT_BUILT_OP(DRV_SetPosOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_BulkOperationsOp, StmtHandle)

