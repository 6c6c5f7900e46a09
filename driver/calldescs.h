// The call descriptors: one per entry point and handle kind.
#ifndef QMR_DRIVER_CALLDESCS_H
#define QMR_DRIVER_CALLDESCS_H

#include <cstddef>

#include "driver/dispatch.h"

// Whether a call of the descriptor starts or goes on with work at the
// database that SQLCancel stops: an execute, a fetch, a catalog call, a
// step of a need-data sequence. A cancel leaves every other call alone,
// also one waiting for its turn on the connection.
bool CD_Cancellable(const CallDesc* desc);

extern const CallDesc CD_DriverConnect;
extern const CallDesc CD_DriverConnectW;
extern const CallDesc CD_Connect;
extern const CallDesc CD_ConnectW;
extern const CallDesc CD_AllocHandleEnv;
extern const CallDesc CD_AllocHandleDbc;
extern const CallDesc CD_AllocHandleStmt;
extern const CallDesc CD_AllocHandleDesc;
extern const CallDesc CD_FreeHandleEnv;
extern const CallDesc CD_FreeHandleDbc;
extern const CallDesc CD_FreeHandleStmt;
extern const CallDesc CD_FreeHandleDesc;
extern const CallDesc CD_AllocEnv;
extern const CallDesc CD_AllocConnect;
extern const CallDesc CD_AllocStmt;
extern const CallDesc CD_FreeEnv;
extern const CallDesc CD_FreeConnect;
extern const CallDesc CD_FreeStmt;
extern const CallDesc CD_SetEnvAttr;
extern const CallDesc CD_GetEnvAttr;
extern const CallDesc CD_Disconnect;
extern const CallDesc CD_TransactEnv;
extern const CallDesc CD_TransactDbc;
extern const CallDesc CD_SetConnectOption;
extern const CallDesc CD_SetConnectOptionW;
extern const CallDesc CD_GetConnectOption;
extern const CallDesc CD_GetConnectOptionW;
extern const CallDesc CD_SetConnectAttr;
extern const CallDesc CD_SetConnectAttrW;
extern const CallDesc CD_GetConnectAttr;
extern const CallDesc CD_GetConnectAttrW;
extern const CallDesc CD_GetFunctions;
extern const CallDesc CD_GetInfo;
extern const CallDesc CD_GetInfoW;
extern const CallDesc CD_NativeSql;
extern const CallDesc CD_NativeSqlW;
extern const CallDesc CD_Prepare;
extern const CallDesc CD_PrepareW;
extern const CallDesc CD_ExecDirect;
extern const CallDesc CD_ExecDirectW;
extern const CallDesc CD_Execute;
extern const CallDesc CD_NumResultCols;
extern const CallDesc CD_DescribeCol;
extern const CallDesc CD_DescribeColW;
extern const CallDesc CD_ColAttribute;
extern const CallDesc CD_ColAttributeW;
extern const CallDesc CD_ColAttributes;
extern const CallDesc CD_ColAttributesW;
extern const CallDesc CD_BindCol;
extern const CallDesc CD_Fetch;
extern const CallDesc CD_FetchScroll;
extern const CallDesc CD_ExtendedFetch;
extern const CallDesc CD_GetData;
extern const CallDesc CD_SetPos;
extern const CallDesc CD_BulkOperations;
extern const CallDesc CD_SetParam;
extern const CallDesc CD_BindParameter;
extern const CallDesc CD_ParamData;
extern const CallDesc CD_PutData;
extern const CallDesc CD_DescribeParam;
extern const CallDesc CD_NumParams;
extern const CallDesc CD_ParamOptions;
extern const CallDesc CD_SetStmtOption;
extern const CallDesc CD_GetStmtOption;
extern const CallDesc CD_SetStmtAttr;
extern const CallDesc CD_SetStmtAttrW;
extern const CallDesc CD_GetStmtAttr;
extern const CallDesc CD_GetStmtAttrW;
extern const CallDesc CD_CloseCursor;
extern const CallDesc CD_MoreResults;
extern const CallDesc CD_RowCount;
extern const CallDesc CD_GetCursorName;
extern const CallDesc CD_GetCursorNameW;
extern const CallDesc CD_SetCursorName;
extern const CallDesc CD_SetCursorNameW;
extern const CallDesc CD_GetTypeInfo;
extern const CallDesc CD_GetTypeInfoW;
extern const CallDesc CD_Tables;
extern const CallDesc CD_TablesW;
extern const CallDesc CD_Columns;
extern const CallDesc CD_ColumnsW;
extern const CallDesc CD_ColumnPrivileges;
extern const CallDesc CD_ColumnPrivilegesW;
extern const CallDesc CD_TablePrivileges;
extern const CallDesc CD_TablePrivilegesW;
extern const CallDesc CD_PrimaryKeys;
extern const CallDesc CD_PrimaryKeysW;
extern const CallDesc CD_ForeignKeys;
extern const CallDesc CD_ForeignKeysW;
extern const CallDesc CD_Statistics;
extern const CallDesc CD_StatisticsW;
extern const CallDesc CD_SpecialColumns;
extern const CallDesc CD_SpecialColumnsW;
extern const CallDesc CD_Procedures;
extern const CallDesc CD_ProceduresW;
extern const CallDesc CD_ProcedureColumns;
extern const CallDesc CD_ProcedureColumnsW;
extern const CallDesc CD_GetDescField;
extern const CallDesc CD_GetDescFieldW;
extern const CallDesc CD_SetDescField;
extern const CallDesc CD_SetDescFieldW;
extern const CallDesc CD_GetDescRec;
extern const CallDesc CD_GetDescRecW;
extern const CallDesc CD_SetDescRec;
extern const CallDesc CD_CopyDesc;
extern const CallDesc CD_ErrorEnv;
extern const CallDesc CD_ErrorDbc;
extern const CallDesc CD_ErrorStmt;
extern const CallDesc CD_ErrorWEnv;
extern const CallDesc CD_ErrorWDbc;
extern const CallDesc CD_ErrorWStmt;
extern const CallDesc CD_GetDiagFieldEnv;
extern const CallDesc CD_GetDiagFieldDbc;
extern const CallDesc CD_GetDiagFieldStmt;
extern const CallDesc CD_GetDiagFieldDesc;
extern const CallDesc CD_GetDiagFieldWEnv;
extern const CallDesc CD_GetDiagFieldWDbc;
extern const CallDesc CD_GetDiagFieldWStmt;
extern const CallDesc CD_GetDiagFieldWDesc;
extern const CallDesc CD_GetDiagRecEnv;
extern const CallDesc CD_GetDiagRecDbc;
extern const CallDesc CD_GetDiagRecStmt;
extern const CallDesc CD_GetDiagRecDesc;
extern const CallDesc CD_GetDiagRecWEnv;
extern const CallDesc CD_GetDiagRecWDbc;
extern const CallDesc CD_GetDiagRecWStmt;
extern const CallDesc CD_GetDiagRecWDesc;

// SQLEndTran with a statement or descriptor handle (refused).
extern const CallDesc CD_EndTranStmt;
extern const CallDesc CD_EndTranDesc;

// Every descriptor of the ODBC vocabulary, for checks and tests.
extern const CallDesc* const DRV_CallDescs[];
extern const size_t DRV_CallDescCount;

#endif
