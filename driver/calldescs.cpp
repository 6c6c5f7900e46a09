// The call descriptors. The argument formats follow the types the wrappers
// pass (driver/dispatch.h), so every traced value is printed at its own width.
#include "driver/calldescs.h"

#include "driver/ops.h"

const CallDesc CD_DriverConnect = {"DriverConnect",
                                   "HWND=%p szConnStrIn=%p cbConnStrIn=%d szConnStrOut=%p "
                                   "cbConnStrOutMax=%d pcbConnStrOutMax=%p fDriverCompletion=%u",
                                   1,
                                   1,
                                   kCallConn,
                                   DRV_DriverConnectOp};
const CallDesc CD_DriverConnectW = {"DriverConnectW",
                                    "HWND=%p szConnStrIn=%p cbConnStrIn=%d szConnStrOut=%p "
                                    "cbConnStrOutMax=%d pcbConnStrOutMax=%p fDriverCompletion=%u",
                                    1,
                                    1,
                                    kCallConn,
                                    DRV_DriverConnectOp};
const CallDesc CD_Connect = {"Connect", "szDSN=%p cbDSN=%d szUID=%p cbUID=%d szPWD=%p cbPWD=%d",
                             1,         1,
                             kCallConn, DRV_ConnectOp};
const CallDesc CD_ConnectW = {"ConnectW", "szDSN=%p cbDSN=%d szUID=%p cbUID=%d szPWD=%p cbPWD=%d",
                              1,          1,
                              kCallConn,  DRV_ConnectOp};
const CallDesc CD_AllocHandleEnv = {"AllocHandle", "handleType=1",      0, 0,
                                    kCallNoHandle, DRV_AllocHandleEnvOp};
const CallDesc CD_AllocHandleDbc = {"AllocHandle", "handleType=2",      0, 1,
                                    kCallEnv,      DRV_AllocHandleDbcOp};
const CallDesc CD_AllocHandleStmt = {"AllocHandle", "handleType=3",       0, 1,
                                     kCallConn,     DRV_AllocHandleStmtOp};
const CallDesc CD_AllocHandleDesc = {"AllocHandle", "handleType=4",       0, 1,
                                     kCallConn,     DRV_AllocHandleDescOp};
const CallDesc CD_FreeHandleEnv = {"FreeHandle", "handleType=1",     0, 1,
                                   kCallEnv,     DRV_FreeHandleEnvOp};
const CallDesc CD_FreeHandleDbc = {"FreeHandle", "handleType=2",     0, 1,
                                   kCallConn,    DRV_FreeHandleDbcOp};
const CallDesc CD_FreeHandleStmt = {"FreeHandle", "handleType=3",      0, 1,
                                    kCallStmt,    DRV_FreeHandleStmtOp};
const CallDesc CD_FreeHandleDesc = {"FreeHandle", "handleType=4",      0, 1,
                                    kCallDesc,    DRV_FreeHandleDescOp};
const CallDesc CD_AllocEnv = {"AllocEnv", "phenv=%p", 0, 1, kCallNoHandle, DRV_AllocEnvOp};
const CallDesc CD_AllocConnect = {"AllocConnect", "phdbc=%p", 0, 1, kCallEnv, DRV_AllocConnectOp};
const CallDesc CD_AllocStmt = {"AllocStmt", "phstmt=%p", 0, 1, kCallConn, DRV_AllocStmtOp};
const CallDesc CD_FreeEnv = {"FreeEnv", "", 0, 1, kCallEnv, DRV_FreeEnvOp};
const CallDesc CD_FreeConnect = {"FreeConnect", "", 0, 1, kCallConn, DRV_FreeConnectOp};
const CallDesc CD_FreeStmt = {"FreeStmt", "fOption=%u", 0, 1, kCallStmt, DRV_FreeStmtOp};
const CallDesc CD_SetEnvAttr = {
    "SetEnvAttr", "Attribute=%d ValuePtr=%p StringLength=%d", 0, 1, kCallEnv, DRV_SetEnvAttrOp};
const CallDesc CD_GetEnvAttr = {
    "GetEnvAttr",    "Attribute=%d ValuePtr=%p BufferLength=%d, StringLengthPtr=%p", 0, 1, kCallEnv,
    DRV_GetEnvAttrOp};
const CallDesc CD_Disconnect = {"Disconnect", "", 0, 1, kCallConn, DRV_DisconnectOp};
const CallDesc CD_TransactEnv = {"Transact", "fType=%u", 0, 1, kCallEnv, DRV_TransactEnvOp};
const CallDesc CD_TransactDbc = {"Transact", "fType=%u", 0, 1, kCallConn, DRV_TransactDbcOp};
const CallDesc CD_SetConnectOption = {"SetConnectOption", "fOption=%u vParam=%lu", 0, 1,
                                      kCallConn,          DRV_SetConnectOptionOp};
const CallDesc CD_SetConnectOptionW = {"SetConnectOptionW", "fOption=%u vParam=%lu", 0, 1,
                                       kCallConn,           DRV_SetConnectOptionOp};
const CallDesc CD_GetConnectOption = {"GetConnectOption", "fOption=%u pvParam=%p", 0, 1,
                                      kCallConn,          DRV_GetConnectOptionOp};
const CallDesc CD_GetConnectOptionW = {"GetConnectOptionW", "fOption=%u pvParam=%p", 0, 1,
                                       kCallConn,           DRV_GetConnectOptionOp};
const CallDesc CD_SetConnectAttr = {
    "SetConnectAttr",    "Attribute=%d ValuePtr=%p StringLength=%d", 0, 1, kCallConn,
    DRV_SetConnectAttrOp};
const CallDesc CD_SetConnectAttrW = {
    "SetConnectAttrW",   "Attribute=%d ValuePtr=%p StringLength=%d", 0, 1, kCallConn,
    DRV_SetConnectAttrOp};
const CallDesc CD_GetConnectAttr = {"GetConnectAttr",
                                    "Attribute=%d ValuePtr=%p BufferLength=%d StringLengthPtr=%p",
                                    0,
                                    1,
                                    kCallConn,
                                    DRV_GetConnectAttrOp};
const CallDesc CD_GetConnectAttrW = {"GetConnectAttrW",
                                     "Attribute=%d ValuePtr=%p BufferLength=%d StringLengthPtr=%p",
                                     0,
                                     1,
                                     kCallConn,
                                     DRV_GetConnectAttrOp};
const CallDesc CD_GetFunctions = {"GetFunctions", "fFunction=%u pfExists=%p", 0, 1,
                                  kCallConn,      DRV_GetFunctionsOp};
const CallDesc CD_GetInfo = {
    "GetInfo",    "fInfoType=%u rgbInfoValue=%p cbInfoValueMax=%d pcbInfoValue=%p", 0, 1, kCallConn,
    DRV_GetInfoOp};
const CallDesc CD_GetInfoW = {
    "GetInfoW",   "fInfoType=%u rgbInfoValue=%p cbInfoValueMax=%d pcbInfoValue=%p", 0, 1, kCallConn,
    DRV_GetInfoOp};
const CallDesc CD_NativeSql = {
    "NativeSql", "szSqlIn=%p cbSqlIn=%d szSqlStr=%p cbSqlStrMax=%d pcbSqlStr=%p",
    0,           1,
    kCallConn,   DRV_NativeSqlOp};
const CallDesc CD_NativeSqlW = {"NativeSqlW",
                                "szSqlIn=%p cbSqlIn=%d szSqlStr=%p cbSqlStrMax=%d pcbSqlStr=%p",
                                0,
                                1,
                                kCallConn,
                                DRV_NativeSqlOp};
const CallDesc CD_Prepare = {"Prepare", "szSqlStr=%p cbSqlStr=%d", 1, 1, kCallStmt, DRV_PrepareOp};
const CallDesc CD_PrepareW = {"PrepareW",   "szSqlStr=%p cbSqlStr=%d", 1, 1, kCallStmt,
                              DRV_PrepareOp};
const CallDesc CD_ExecDirect = {"ExecDirect", "szSqlStr=%p cbSqlStr=%d", 1, 1,
                                kCallStmt,    DRV_ExecDirectOp};
const CallDesc CD_ExecDirectW = {"ExecDirectW", "szSqlStr=%p cbSqlStr=%d", 1, 1,
                                 kCallStmt,     DRV_ExecDirectOp};
const CallDesc CD_Execute = {"Execute", "", 1, 1, kCallStmt, DRV_ExecuteOp};
const CallDesc CD_NumResultCols = {"NumResultCols", "pccol=%p",         1, 1,
                                   kCallStmt,       DRV_NumResultColsOp};
const CallDesc CD_DescribeCol = {"DescribeCol",
                                 "icol=%u szColName=%p cbColNameMax=%d pcbColName=%p pfSqlType=%p "
                                 "pcbColDef=%p pibScale=%p pfNullable=%p",
                                 1,
                                 1,
                                 kCallStmt,
                                 DRV_DescribeColOp};
const CallDesc CD_DescribeColW = {"DescribeColW",
                                  "icol=%u szColName=%p cbColNameMax=%d pcbColName=%p pfSqlType=%p "
                                  "pcbColDef=%p pibScale=%p pfNullable=%p",
                                  1,
                                  1,
                                  kCallStmt,
                                  DRV_DescribeColOp};
const CallDesc CD_ColAttribute = {
    "ColAttribute",
    "icol=%u fDescType=%u rgbDesc=%p cbDescMax=%d pcbDesc=%p pfDesc=%p",
    1,
    1,
    kCallStmt,
    DRV_ColAttributeOp};
const CallDesc CD_ColAttributeW = {
    "ColAttributeW",
    "icol=%u fDescType=%u rgbDesc=%p cbDescMax=%d pcbDesc=%p pfDesc=%p",
    1,
    1,
    kCallStmt,
    DRV_ColAttributeOp};
const CallDesc CD_ColAttributes = {
    "ColAttributes",
    "icol=%u fDescType=%u rgbDesc=%p cbDescMax=%d pcbDesc=%p pfDesc=%p",
    1,
    1,
    kCallStmt,
    DRV_ColAttributesOp};
const CallDesc CD_ColAttributesW = {
    "ColAttributesW",
    "icol=%u fDescType=%u rgbDesc=%p cbDescMax=%d pcbDesc=%p pfDesc=%p",
    1,
    1,
    kCallStmt,
    DRV_ColAttributesOp};
const CallDesc CD_BindCol = {"BindCol", "icol=%u fCType=%d rgbValue=%p cbValueMax=%ld pcbValue=%p",
                             0,         1,
                             kCallStmt, DRV_BindColOp};
const CallDesc CD_Fetch = {"Fetch", "", 1, 1, kCallStmt, DRV_FetchOp};
const CallDesc CD_FetchScroll = {"FetchScroll", "fOrient=%d, fOffset=%ld", 1, 1,
                                 kCallStmt,     DRV_FetchScrollOp};
const CallDesc CD_ExtendedFetch = {
    "ExtendedFetch",    "fFetchType=%u irow=%ld pcrow=%p rgfRowStatus=%p", 1, 1, kCallStmt,
    DRV_ExtendedFetchOp};
const CallDesc CD_GetData = {"GetData", "icol=%u fCType=%d rgbValue=%p cbValueMax=%ld pcbValue=%p",
                             1,         1,
                             kCallStmt, DRV_GetDataOp};
const CallDesc CD_SetPos = {"SetPos",    "irow=%lu fOption=%u fLock=%u", 1, 1, kCallStmt,
                            DRV_SetPosOp};
const CallDesc CD_BulkOperations = {"BulkOperations",    "op=%d", 1, 1, kCallStmt,
                                    DRV_BulkOperationsOp};
const CallDesc CD_SetParam = {
    "SetParam", "ipar=%u fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%p pcbValue=%p",
    0,          1,
    kCallStmt,  DRV_SetParamOp};
const CallDesc CD_BindParameter = {"BindParameter",
                                   "ipar=%u fParamType=%d fCType=%d fSqlType=%d cbColDef=%lu "
                                   "ibScale=%d rgbValue=%p cbValueMax=%ld pcbValue=%p",
                                   0,
                                   1,
                                   kCallStmt,
                                   DRV_BindParameterOp};
const CallDesc CD_ParamData = {"ParamData", "prgbValue=%p", 1, 1, kCallStmt, DRV_ParamDataOp};
const CallDesc CD_PutData = {"PutData", "rgbValue=%p cbValue=%ld", 1, 1, kCallStmt, DRV_PutDataOp};
const CallDesc CD_DescribeParam = {"DescribeParam",
                                   "ipar=%u pfSqlType=%p pcbColDef=%p pibScale=%p pfNullable=%p",
                                   1,
                                   1,
                                   kCallStmt,
                                   DRV_DescribeParamOp};
const CallDesc CD_NumParams = {"NumParams", "pcpar=%p", 1, 1, kCallStmt, DRV_NumParamsOp};
const CallDesc CD_ParamOptions = {"ParamOptions", "crow=%lu pirow=%p", 0, 1,
                                  kCallStmt,      DRV_ParamOptionsOp};
const CallDesc CD_SetStmtOption = {"SetStmtOption", "fOption=%u vParam=%08lX", 0, 1,
                                   kCallStmt,       DRV_SetStmtOptionOp};
const CallDesc CD_GetStmtOption = {"GetStmtOption", "fOption=%u pvParam=%p", 0, 1,
                                   kCallStmt,       DRV_GetStmtOptionOp};
const CallDesc CD_SetStmtAttr = {
    "SetStmtAttr", "Attribute=%d ValuePtr=%p StringLength=%d", 0, 1, kCallStmt, DRV_SetStmtAttrOp};
const CallDesc CD_SetStmtAttrW = {
    "SetStmtAttrW", "Attribute=%d ValuePtr=%p StringLength=%d", 0, 1, kCallStmt, DRV_SetStmtAttrOp};
const CallDesc CD_GetStmtAttr = {"GetStmtAttr",
                                 "Attribute=%d ValuePtr=%p BufferLength=%d StringLengthPtr=%p",
                                 0,
                                 1,
                                 kCallStmt,
                                 DRV_GetStmtAttrOp};
const CallDesc CD_GetStmtAttrW = {"GetStmtAttrW",
                                  "Attribute=%d ValuePtr=%p BufferLength=%d StringLengthPtr=%p",
                                  0,
                                  1,
                                  kCallStmt,
                                  DRV_GetStmtAttrOp};
const CallDesc CD_CloseCursor = {"CloseCursor", "", 0, 1, kCallStmt, DRV_CloseCursorOp};
const CallDesc CD_MoreResults = {"MoreResults", "", 1, 1, kCallStmt, DRV_MoreResultsOp};
const CallDesc CD_RowCount = {"RowCount", "pcrow=%p", 0, 1, kCallStmt, DRV_RowCountOp};
const CallDesc CD_GetCursorName = {
    "GetCursorName",    "szCursor=%p cbCursorMax=%d pcbCursor=%p", 0, 1, kCallStmt,
    DRV_GetCursorNameOp};
const CallDesc CD_GetCursorNameW = {
    "GetCursorNameW",   "szCursor=%p cbCursorMax=%d pcbCursor=%p", 0, 1, kCallStmt,
    DRV_GetCursorNameOp};
const CallDesc CD_SetCursorName = {"SetCursorName", "szCursor=%p cbCursor=%d", 0, 1,
                                   kCallStmt,       DRV_SetCursorNameOp};
const CallDesc CD_SetCursorNameW = {"SetCursorNameW", "szCursor=%p cbCursor=%d", 0, 1,
                                    kCallStmt,        DRV_SetCursorNameOp};
const CallDesc CD_GetTypeInfo = {"GetTypeInfo", "fSqlType=%d", 1, 1, kCallStmt, DRV_GetTypeInfoOp};
const CallDesc CD_GetTypeInfoW = {"GetTypeInfoW", "fSqlType=%d",    1, 1,
                                  kCallStmt,      DRV_GetTypeInfoOp};
const CallDesc CD_Tables = {
    "Tables",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d szTableType=%p cbTableType=%d",
    1,
    1,
    kCallStmt,
    DRV_TablesOp};
const CallDesc CD_TablesW = {
    "TablesW",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d szTableType=%p cbTableType=%d",
    1,
    1,
    kCallStmt,
    DRV_TablesOp};
const CallDesc CD_Columns = {
    "Columns",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d szColumnName=%p cbColumnName=%d",
    1,
    1,
    kCallStmt,
    DRV_ColumnsOp};
const CallDesc CD_ColumnsW = {
    "ColumnsW",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d szColumnName=%p cbColumnName=%d",
    1,
    1,
    kCallStmt,
    DRV_ColumnsOp};
const CallDesc CD_ColumnPrivileges = {
    "ColumnPrivileges",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d szColumnName=%p cbColumnName=%d",
    1,
    1,
    kCallStmt,
    DRV_ColumnPrivilegesOp};
const CallDesc CD_ColumnPrivilegesW = {
    "ColumnPrivilegesW",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d szColumnName=%p cbColumnName=%d",
    1,
    1,
    kCallStmt,
    DRV_ColumnPrivilegesOp};
const CallDesc CD_TablePrivileges = {"TablePrivileges",
                                     "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p "
                                     "cbTableOwner=%d szTableName=%p cbTableName=%d",
                                     1,
                                     1,
                                     kCallStmt,
                                     DRV_TablePrivilegesOp};
const CallDesc CD_TablePrivilegesW = {"TablePrivilegesW",
                                      "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p "
                                      "cbTableOwner=%d szTableName=%p cbTableName=%d",
                                      1,
                                      1,
                                      kCallStmt,
                                      DRV_TablePrivilegesOp};
const CallDesc CD_PrimaryKeys = {"PrimaryKeys",
                                 "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p "
                                 "cbTableOwner=%d szTableName=%p cbTableName=%d",
                                 1,
                                 1,
                                 kCallStmt,
                                 DRV_PrimaryKeysOp};
const CallDesc CD_PrimaryKeysW = {"PrimaryKeysW",
                                  "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p "
                                  "cbTableOwner=%d szTableName=%p cbTableName=%d",
                                  1,
                                  1,
                                  kCallStmt,
                                  DRV_PrimaryKeysOp};
const CallDesc CD_ForeignKeys = {
    "ForeignKeys",
    "szPkTQual=%p cbPkTQual=%d szPkTOwn=%p cbPkTOwn=%d szPkTName=%p cbPkTName=%d szFkTQual=%p "
    "cbFkTQual=%d szFkTOwn=%p cbFkTOwn=%d szFkTName=%p cbFkTName=%d",
    1,
    1,
    kCallStmt,
    DRV_ForeignKeysOp};
const CallDesc CD_ForeignKeysW = {
    "ForeignKeysW",
    "szPkTQual=%p cbPkTQual=%d szPkTOwn=%p cbPkTOwn=%d szPkTName=%p cbPkTName=%d szFkTQual=%p "
    "cbFkTQual=%d szFkTOwn=%p cbFkTOwn=%d szFkTName=%p cbFkTName=%d",
    1,
    1,
    kCallStmt,
    DRV_ForeignKeysOp};
const CallDesc CD_Statistics = {
    "Statistics",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d fUnique=%u fAccuracy=%u",
    1,
    1,
    kCallStmt,
    DRV_StatisticsOp};
const CallDesc CD_StatisticsW = {
    "StatisticsW",
    "szTableQualifier=%p cbTableQualifier=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d fUnique=%u fAccuracy=%u",
    1,
    1,
    kCallStmt,
    DRV_StatisticsOp};
const CallDesc CD_SpecialColumns = {
    "SpecialColumns",
    "fColType=%u szTableQual=%p cbTableQual=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d fScope=%u fNullable==%u",
    1,
    1,
    kCallStmt,
    DRV_SpecialColumnsOp};
const CallDesc CD_SpecialColumnsW = {
    "SpecialColumnsW",
    "fColType=%u szTableQual=%p cbTableQual=%d szTableOwner=%p cbTableOwner=%d szTableName=%p "
    "cbTableName=%d fScope=%u fNullable==%u",
    1,
    1,
    kCallStmt,
    DRV_SpecialColumnsOp};
const CallDesc CD_Procedures = {"Procedures",
                                "szProcQualifier=%p cbProcQualifier=%d szProcOwner=%p "
                                "cbProcOwner=%d szProcName=%p cbProcName=%d",
                                1,
                                1,
                                kCallStmt,
                                DRV_ProceduresOp};
const CallDesc CD_ProceduresW = {"ProceduresW",
                                 "szProcQualifier=%p cbProcQualifier=%d szProcOwner=%p "
                                 "cbProcOwner=%d szProcName=%p cbProcName=%d",
                                 1,
                                 1,
                                 kCallStmt,
                                 DRV_ProceduresOp};
const CallDesc CD_ProcedureColumns = {
    "ProcedureColumns",
    "szProcQualifier=%p cbProcQualifier=%d szProcOwner=%p cbProcOwner=%d szProcName=%p "
    "cbProcName=%d szColumnName=%p cbColumnName=%d",
    1,
    1,
    kCallStmt,
    DRV_ProcedureColumnsOp};
const CallDesc CD_ProcedureColumnsW = {
    "ProcedureColumnsW",
    "szProcQualifier=%p cbProcQualifier=%d szProcOwner=%p cbProcOwner=%d szProcName=%p "
    "cbProcName=%d szColumnName=%p cbColumnName=%d",
    1,
    1,
    kCallStmt,
    DRV_ProcedureColumnsOp};
const CallDesc CD_GetDescField = {
    "GetDescField",
    "RecNumber=%d FieldIdentifier=%d\nValuePtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    1,
    kCallDesc,
    DRV_GetDescFieldOp};
const CallDesc CD_GetDescFieldW = {
    "GetDescFieldW",
    "RecNumber=%d FieldIdentifier=%d\nValuePtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    1,
    kCallDesc,
    DRV_GetDescFieldOp};
const CallDesc CD_SetDescField = {"SetDescField",
                                  "RecNumber=%d FieldIdentifier=%d\nValuePtr=%p StringLength=%d",
                                  0,
                                  1,
                                  kCallDesc,
                                  DRV_SetDescFieldOp};
const CallDesc CD_SetDescFieldW = {"SetDescFieldW",
                                   "RecNumber=%d FieldIdentifier=%d\nValuePtr=%p StringLength=%d",
                                   0,
                                   1,
                                   kCallDesc,
                                   DRV_SetDescFieldOp};
const CallDesc CD_GetDescRec = {
    "GetDescRec",
    "RecNumber=%d\nName=%p BufferLength=%d StringLengthPtr=%p\nTypePtr=%p SubTypePtr=%p "
    "LengthPtr=%p\nPrecisionPtr=%p ScalePtr=%p NullablePtr=%p",
    0,
    1,
    kCallDesc,
    DRV_GetDescRecOp};
const CallDesc CD_GetDescRecW = {
    "GetDescRecW",
    "RecNumber=%d\nName=%p BufferLength=%d StringLengthPtr=%p\nTypePtr=%p SubTypePtr=%p "
    "LengthPtr=%p\nPrecisionPtr=%p ScalePtr=%p NullablePtr=%p",
    0,
    1,
    kCallDesc,
    DRV_GetDescRecOp};
const CallDesc CD_SetDescRec = {"SetDescRec",
                                "RecNumber=%d\nType=%d SubType=%d Length=%ld Precision=%d "
                                "Scale=%d\nDataPtr=%p StringLengthPtr=%p IndicatorPtr=%p",
                                0,
                                1,
                                kCallDesc,
                                DRV_SetDescRecOp};
const CallDesc CD_CopyDesc = {"CopyDesc", "TargetDescHandle=%p", 0, 1, kCallDesc, DRV_CopyDescOp};
const CallDesc CD_ErrorEnv = {
    "Error",  "szSqlState=%p pfNativeError=%p\nszErrorMsg=%p cbErrorMsgMax=%d pcbErrorMsg=%p",
    1,        0,
    kCallEnv, DRV_ErrorEnvOp};
const CallDesc CD_ErrorDbc = {
    "Error",   "szSqlState=%p pfNativeError=%p\nszErrorMsg=%p cbErrorMsgMax=%d pcbErrorMsg=%p",
    1,         0,
    kCallConn, DRV_ErrorDbcOp};
const CallDesc CD_ErrorStmt = {
    "Error",   "szSqlState=%p pfNativeError=%p\nszErrorMsg=%p cbErrorMsgMax=%d pcbErrorMsg=%p",
    1,         0,
    kCallStmt, DRV_ErrorStmtOp};
const CallDesc CD_ErrorWEnv = {
    "ErrorW", "szSqlState=%p pfNativeError=%p\nszErrorMsg=%p cbErrorMsgMax=%d pcbErrorMsg=%p",
    1,        0,
    kCallEnv, DRV_ErrorEnvOp};
const CallDesc CD_ErrorWDbc = {
    "ErrorW",  "szSqlState=%p pfNativeError=%p\nszErrorMsg=%p cbErrorMsgMax=%d pcbErrorMsg=%p",
    1,         0,
    kCallConn, DRV_ErrorDbcOp};
const CallDesc CD_ErrorWStmt = {
    "ErrorW",  "szSqlState=%p pfNativeError=%p\nszErrorMsg=%p cbErrorMsgMax=%d pcbErrorMsg=%p",
    1,         0,
    kCallStmt, DRV_ErrorStmtOp};
const CallDesc CD_GetDiagFieldEnv = {
    "GetDiagField",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallEnv,
    DRV_GetDiagFieldEnvOp};
const CallDesc CD_GetDiagFieldDbc = {
    "GetDiagField",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallConn,
    DRV_GetDiagFieldDbcOp};
const CallDesc CD_GetDiagFieldStmt = {
    "GetDiagField",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallStmt,
    DRV_GetDiagFieldStmtOp};
const CallDesc CD_GetDiagFieldDesc = {
    "GetDiagField",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallDesc,
    DRV_GetDiagFieldDescOp};
const CallDesc CD_GetDiagFieldWEnv = {
    "GetDiagFieldW",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallEnv,
    DRV_GetDiagFieldEnvOp};
const CallDesc CD_GetDiagFieldWDbc = {
    "GetDiagFieldW",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallConn,
    DRV_GetDiagFieldDbcOp};
const CallDesc CD_GetDiagFieldWStmt = {
    "GetDiagFieldW",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallStmt,
    DRV_GetDiagFieldStmtOp};
const CallDesc CD_GetDiagFieldWDesc = {
    "GetDiagFieldW",
    "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%p BufferLength=%d StringLengthPtr=%p",
    0,
    0,
    kCallDesc,
    DRV_GetDiagFieldDescOp};
const CallDesc CD_GetDiagRecEnv = {"GetDiagRec",
                                   "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, MessageText=%p, "
                                   "BufferLength=%d, TextLengthPtr=%p",
                                   0,
                                   0,
                                   kCallEnv,
                                   DRV_GetDiagRecEnvOp};
const CallDesc CD_GetDiagRecDbc = {"GetDiagRec",
                                   "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, MessageText=%p, "
                                   "BufferLength=%d, TextLengthPtr=%p",
                                   0,
                                   0,
                                   kCallConn,
                                   DRV_GetDiagRecDbcOp};
const CallDesc CD_GetDiagRecStmt = {"GetDiagRec",
                                    "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, MessageText=%p, "
                                    "BufferLength=%d, TextLengthPtr=%p",
                                    0,
                                    0,
                                    kCallStmt,
                                    DRV_GetDiagRecStmtOp};
const CallDesc CD_GetDiagRecDesc = {"GetDiagRec",
                                    "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, MessageText=%p, "
                                    "BufferLength=%d, TextLengthPtr=%p",
                                    0,
                                    0,
                                    kCallDesc,
                                    DRV_GetDiagRecDescOp};
const CallDesc CD_GetDiagRecWEnv = {"GetDiagRecW",
                                    "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, MessageText=%p, "
                                    "BufferLength=%d, TextLengthPtr=%p",
                                    0,
                                    0,
                                    kCallEnv,
                                    DRV_GetDiagRecEnvOp};
const CallDesc CD_GetDiagRecWDbc = {"GetDiagRecW",
                                    "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, MessageText=%p, "
                                    "BufferLength=%d, TextLengthPtr=%p",
                                    0,
                                    0,
                                    kCallConn,
                                    DRV_GetDiagRecDbcOp};
const CallDesc CD_GetDiagRecWStmt = {"GetDiagRecW",
                                     "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, "
                                     "MessageText=%p, BufferLength=%d, TextLengthPtr=%p",
                                     0,
                                     0,
                                     kCallStmt,
                                     DRV_GetDiagRecStmtOp};
const CallDesc CD_GetDiagRecWDesc = {"GetDiagRecW",
                                     "RecNumber=%d, SqlState=%p, NativeErrorPtr=%p, "
                                     "MessageText=%p, BufferLength=%d, TextLengthPtr=%p",
                                     0,
                                     0,
                                     kCallDesc,
                                     DRV_GetDiagRecDescOp};

const CallDesc CD_EndTranStmt = {"EndTran", "", 0, 1, kCallStmt, DRV_EndTranStmtOp};
const CallDesc CD_EndTranDesc = {"EndTran", "", 0, 1, kCallDesc, DRV_EndTranDescOp};

const CallDesc* const DRV_CallDescs[] = {
    &CD_DriverConnect,     &CD_DriverConnectW,
    &CD_Connect,           &CD_ConnectW,
    &CD_AllocHandleEnv,    &CD_AllocHandleDbc,
    &CD_AllocHandleStmt,   &CD_AllocHandleDesc,
    &CD_FreeHandleEnv,     &CD_FreeHandleDbc,
    &CD_FreeHandleStmt,    &CD_FreeHandleDesc,
    &CD_AllocEnv,          &CD_AllocConnect,
    &CD_AllocStmt,         &CD_FreeEnv,
    &CD_FreeConnect,       &CD_FreeStmt,
    &CD_SetEnvAttr,        &CD_GetEnvAttr,
    &CD_Disconnect,        &CD_TransactEnv,
    &CD_TransactDbc,       &CD_SetConnectOption,
    &CD_SetConnectOptionW, &CD_GetConnectOption,
    &CD_GetConnectOptionW, &CD_SetConnectAttr,
    &CD_SetConnectAttrW,   &CD_GetConnectAttr,
    &CD_GetConnectAttrW,   &CD_GetFunctions,
    &CD_GetInfo,           &CD_GetInfoW,
    &CD_NativeSql,         &CD_NativeSqlW,
    &CD_Prepare,           &CD_PrepareW,
    &CD_ExecDirect,        &CD_ExecDirectW,
    &CD_Execute,           &CD_NumResultCols,
    &CD_DescribeCol,       &CD_DescribeColW,
    &CD_ColAttribute,      &CD_ColAttributeW,
    &CD_ColAttributes,     &CD_ColAttributesW,
    &CD_BindCol,           &CD_Fetch,
    &CD_FetchScroll,       &CD_ExtendedFetch,
    &CD_GetData,           &CD_SetPos,
    &CD_BulkOperations,    &CD_SetParam,
    &CD_BindParameter,     &CD_ParamData,
    &CD_PutData,           &CD_DescribeParam,
    &CD_NumParams,         &CD_ParamOptions,
    &CD_SetStmtOption,     &CD_GetStmtOption,
    &CD_SetStmtAttr,       &CD_SetStmtAttrW,
    &CD_GetStmtAttr,       &CD_GetStmtAttrW,
    &CD_CloseCursor,       &CD_MoreResults,
    &CD_RowCount,          &CD_GetCursorName,
    &CD_GetCursorNameW,    &CD_SetCursorName,
    &CD_SetCursorNameW,    &CD_GetTypeInfo,
    &CD_GetTypeInfoW,      &CD_Tables,
    &CD_TablesW,           &CD_Columns,
    &CD_ColumnsW,          &CD_ColumnPrivileges,
    &CD_ColumnPrivilegesW, &CD_TablePrivileges,
    &CD_TablePrivilegesW,  &CD_PrimaryKeys,
    &CD_PrimaryKeysW,      &CD_ForeignKeys,
    &CD_ForeignKeysW,      &CD_Statistics,
    &CD_StatisticsW,       &CD_SpecialColumns,
    &CD_SpecialColumnsW,   &CD_Procedures,
    &CD_ProceduresW,       &CD_ProcedureColumns,
    &CD_ProcedureColumnsW, &CD_GetDescField,
    &CD_GetDescFieldW,     &CD_SetDescField,
    &CD_SetDescFieldW,     &CD_GetDescRec,
    &CD_GetDescRecW,       &CD_SetDescRec,
    &CD_CopyDesc,          &CD_ErrorEnv,
    &CD_ErrorDbc,          &CD_ErrorStmt,
    &CD_ErrorWEnv,         &CD_ErrorWDbc,
    &CD_ErrorWStmt,        &CD_GetDiagFieldEnv,
    &CD_GetDiagFieldDbc,   &CD_GetDiagFieldStmt,
    &CD_GetDiagFieldDesc,  &CD_GetDiagFieldWEnv,
    &CD_GetDiagFieldWDbc,  &CD_GetDiagFieldWStmt,
    &CD_GetDiagFieldWDesc, &CD_GetDiagRecEnv,
    &CD_GetDiagRecDbc,     &CD_GetDiagRecStmt,
    &CD_GetDiagRecDesc,    &CD_GetDiagRecWEnv,
    &CD_GetDiagRecWDbc,    &CD_GetDiagRecWStmt,
    &CD_GetDiagRecWDesc,
};
const size_t DRV_CallDescCount = sizeof(DRV_CallDescs) / sizeof(DRV_CallDescs[0]);

bool CD_Cancellable(const CallDesc* desc) {
  static const DRV_Operation kAtDatabase[] = {
      DRV_ExecuteOp,          DRV_ExecDirectOp,       DRV_FetchOp,           DRV_FetchScrollOp,
      DRV_ExtendedFetchOp,    DRV_MoreResultsOp,      DRV_SetPosOp,          DRV_BulkOperationsOp,
      DRV_ParamDataOp,        DRV_PutDataOp,          DRV_GetTypeInfoOp,     DRV_TablesOp,
      DRV_ColumnsOp,          DRV_ColumnPrivilegesOp, DRV_TablePrivilegesOp, DRV_PrimaryKeysOp,
      DRV_ForeignKeysOp,      DRV_StatisticsOp,       DRV_SpecialColumnsOp,  DRV_ProceduresOp,
      DRV_ProcedureColumnsOp,
  };
  for (DRV_Operation op : kAtDatabase)
    if (desc->op == op) return true;
  return false;
}
