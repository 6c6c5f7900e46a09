// The operations behind the call descriptors (driver/calldescs.cpp). Each
// takes its handle record (null for calls without a handle) and the argument
// list behind the handle, as driver/dispatch.h describes.
#ifndef QMR_DRIVER_OPS_H
#define QMR_DRIVER_OPS_H

#include <cstdarg>

#include "driver/diag.h"  // the SQLError / SQLGetDiagRec / SQLGetDiagField operations
#include "driver/dispatch.h"

#define QMR_DECLARE_OP(name) DRV_Return name(void* handle, va_list args)

// Handles and environment attributes.
QMR_DECLARE_OP(DRV_AllocHandleEnvOp);
QMR_DECLARE_OP(DRV_AllocHandleDbcOp);
QMR_DECLARE_OP(DRV_AllocHandleStmtOp);
QMR_DECLARE_OP(DRV_AllocHandleDescOp);
QMR_DECLARE_OP(DRV_FreeHandleEnvOp);
QMR_DECLARE_OP(DRV_FreeHandleDbcOp);
QMR_DECLARE_OP(DRV_FreeHandleStmtOp);
QMR_DECLARE_OP(DRV_FreeHandleDescOp);
QMR_DECLARE_OP(DRV_AllocEnvOp);
QMR_DECLARE_OP(DRV_AllocConnectOp);
QMR_DECLARE_OP(DRV_AllocStmtOp);
QMR_DECLARE_OP(DRV_FreeEnvOp);
QMR_DECLARE_OP(DRV_FreeConnectOp);
QMR_DECLARE_OP(DRV_FreeStmtOp);
QMR_DECLARE_OP(DRV_SetEnvAttrOp);
QMR_DECLARE_OP(DRV_GetEnvAttrOp);
QMR_DECLARE_OP(DRV_DisconnectOp);
QMR_DECLARE_OP(DRV_CloseCursorOp);

// Transactions.
QMR_DECLARE_OP(DRV_TransactEnvOp);
QMR_DECLARE_OP(DRV_TransactDbcOp);

// Connect, connection options, information.
QMR_DECLARE_OP(DRV_DriverConnectOp);
QMR_DECLARE_OP(DRV_ConnectOp);
QMR_DECLARE_OP(DRV_SetConnectOptionOp);
QMR_DECLARE_OP(DRV_GetConnectOptionOp);
QMR_DECLARE_OP(DRV_SetConnectAttrOp);
QMR_DECLARE_OP(DRV_GetConnectAttrOp);
QMR_DECLARE_OP(DRV_GetFunctionsOp);
QMR_DECLARE_OP(DRV_GetInfoOp);
QMR_DECLARE_OP(DRV_NativeSqlOp);

// Statements and results.
QMR_DECLARE_OP(DRV_PrepareOp);
QMR_DECLARE_OP(DRV_ExecDirectOp);
QMR_DECLARE_OP(DRV_NumResultColsOp);
QMR_DECLARE_OP(DRV_DescribeColOp);
QMR_DECLARE_OP(DRV_ColAttributeOp);
QMR_DECLARE_OP(DRV_ColAttributesOp);
QMR_DECLARE_OP(DRV_BindColOp);
QMR_DECLARE_OP(DRV_FetchOp);
QMR_DECLARE_OP(DRV_GetDataOp);
QMR_DECLARE_OP(DRV_SetParamOp);
QMR_DECLARE_OP(DRV_BindParameterOp);
QMR_DECLARE_OP(DRV_ParamDataOp);
QMR_DECLARE_OP(DRV_PutDataOp);
QMR_DECLARE_OP(DRV_DescribeParamOp);
QMR_DECLARE_OP(DRV_NumParamsOp);
QMR_DECLARE_OP(DRV_ParamOptionsOp);
QMR_DECLARE_OP(DRV_SetStmtOptionOp);
QMR_DECLARE_OP(DRV_GetStmtOptionOp);
QMR_DECLARE_OP(DRV_SetStmtAttrOp);
QMR_DECLARE_OP(DRV_GetStmtAttrOp);
QMR_DECLARE_OP(DRV_MoreResultsOp);
QMR_DECLARE_OP(DRV_RowCountOp);
QMR_DECLARE_OP(DRV_GetCursorNameOp);
QMR_DECLARE_OP(DRV_SetCursorNameOp);

// Catalog.
QMR_DECLARE_OP(DRV_TablesOp);
QMR_DECLARE_OP(DRV_ColumnsOp);
QMR_DECLARE_OP(DRV_ColumnPrivilegesOp);
QMR_DECLARE_OP(DRV_TablePrivilegesOp);
QMR_DECLARE_OP(DRV_PrimaryKeysOp);
QMR_DECLARE_OP(DRV_ForeignKeysOp);
QMR_DECLARE_OP(DRV_StatisticsOp);
QMR_DECLARE_OP(DRV_SpecialColumnsOp);
QMR_DECLARE_OP(DRV_ProceduresOp);
QMR_DECLARE_OP(DRV_ProcedureColumnsOp);

// Descriptors.
QMR_DECLARE_OP(DRV_GetDescFieldOp);
QMR_DECLARE_OP(DRV_SetDescFieldOp);
QMR_DECLARE_OP(DRV_GetDescRecOp);
QMR_DECLARE_OP(DRV_SetDescRecOp);
QMR_DECLARE_OP(DRV_CopyDescOp);

// Data conversion and rowset operations.
QMR_DECLARE_OP(DRV_ExecuteOp);
QMR_DECLARE_OP(DRV_FetchScrollOp);
QMR_DECLARE_OP(DRV_ExtendedFetchOp);
QMR_DECLARE_OP(DRV_SetPosOp);
QMR_DECLARE_OP(DRV_BulkOperationsOp);
QMR_DECLARE_OP(DRV_GetTypeInfoOp);

// SQLEndTran with a statement or descriptor handle.
QMR_DECLARE_OP(DRV_EndTranStmtOp);
QMR_DECLARE_OP(DRV_EndTranDescOp);

#undef QMR_DECLARE_OP

#endif
