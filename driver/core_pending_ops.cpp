// TEMPORARY: operations of the driver core that are not built yet. Each
// answers SQL_ERROR with internal code 43 on its handle; each line goes when
// its operation is implemented in its own file.
#include "driver/ops.h"
#include "driver/pending_result.h"

// Connection options and information.
QMR_NOT_BUILT_OP(DRV_NativeSqlOp, ConnHandle)

// Statements, results and parameters.
QMR_NOT_BUILT_OP(DRV_BindColOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_FetchOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_GetDataOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_SetParamOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_BindParameterOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_ParamDataOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_PutDataOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_DescribeParamOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_NumParamsOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_ParamOptionsOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_SetStmtOptionOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_GetStmtOptionOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_SetStmtAttrOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_GetStmtAttrOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_MoreResultsOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_GetCursorNameOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_SetCursorNameOp, StmtHandle)

// Catalog.
QMR_NOT_BUILT_OP(DRV_TablesOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_ColumnsOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_ColumnPrivilegesOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_TablePrivilegesOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_PrimaryKeysOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_ForeignKeysOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_StatisticsOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_SpecialColumnsOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_ProceduresOp, StmtHandle)
QMR_NOT_BUILT_OP(DRV_ProcedureColumnsOp, StmtHandle)
