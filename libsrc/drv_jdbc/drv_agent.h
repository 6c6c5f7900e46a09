// The agent operation table: the one road from the driver core (and the
// rowset code) to the database side. The core never calls the JDBC agent by
// name; it calls through the table of the DRV_Agent record that every
// connection carries. The scrollable cursor library and the worker-thread
// proxy copy the table and replace slots, so a record's table is a chain.
//
// Handles crossing this interface are the agent's own 32-bit handle numbers.
// Results are internal error codes (0 success), which index both the agent's
// error table and the driver's; the XA slots answer X/Open XA codes.
#ifndef QMR_DRV_JDBC_DRV_AGENT_H
#define QMR_DRV_JDBC_DRV_AGENT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/colset.h"
#include "util/copyout.h"
#include "util/errcodes.h"

struct ConnectInfo;         // connection information block of the connect path
struct DRV_OpTableRequest;  // request answered by DRV_GetOpTable
struct ROWSTATUS;           // row-status object of the rowset code
struct xid_t;               // X/Open transaction identifier
struct JdbcStmt;            // an agent statement
typedef struct xid_t XID;

// The parameter binding handed over with DRV_BindCols (16 bytes).
struct JdbcColBind {
  int32_t sqlType;
  uint32_t unused;
  uint32_t columnSize;
  uint16_t decimalDigits;
  uint16_t direction;  // 1 input, 2 input/output, 4 output
};
static_assert(sizeof(JdbcColBind) == 16, "bindings are 16-byte entries");

// A parameter description that carries the parameter's name (slots 54 and
// 65): the five fields of a binding, then the name or null.
struct ParamDescNamed {
  int32_t sqlType;
  uint32_t unused;
  uint32_t columnSize;
  uint16_t decimalDigits;
  uint16_t direction;
  const char* name;
};

// One statement of a batch (slot 49): a null text runs the statement's own.
struct DRV_BatchRecord {
  const char* sql;
  uint16_t count;
  const JdbcColBind* descs;
  COLSET* params;
};

// What DRV_GetError hands over: the texts "[Velkaro]message[SQLSTATE:xxxxx]"
// in list order, the first record's native code, and per text whether its
// SQLSTATE is one of the agent table's own (1) or came from the database (0).
// The receiver frees it with DRV_FreeErrorBatch.
struct DRV_ErrorBatch {
  MSG_LIST list;
  uint8_t* ownState;  // list.count entries, or null
  uint32_t* rows;     // list.count rowset rows (1-based, 0: none), or null
};
void DRV_FreeErrorBatch(DRV_ErrorBatch* batch);

// Agent return codes: AGT_OK, or an internal error code (util/errcodes.h).
constexpr uint32_t AGT_OK = 0;

extern "C" {

// One typedef per slot, in slot order.
typedef uint32_t (*DRV_GetInfo_t)(uint32_t h, uint32_t request, void* value, uint16_t size,
                                  uint16_t* length);                                 // 0
typedef uint32_t (*DRV_SetOption_t)(uint32_t h, uint32_t request, void* value);      // 1
typedef uint32_t (*DRV_GetError_t)(uint32_t h, DRV_ErrorBatch* batch);               // 2
typedef uint32_t (*DRV_Init_t)(const char* const* texts, uint32_t* env);             // 3
typedef uint32_t (*DRV_Term_t)(uint32_t env);                                        // 4
typedef uint32_t (*DRV_Connect_t)(uint32_t env, ConnectInfo* info, uint32_t* conn);  // 5
typedef uint32_t (*DRV_Disconnect_t)(uint32_t conn);                                 // 6
typedef uint32_t (*DRV_AllocStmt_t)(uint32_t conn, uint32_t* stmt);                  // 7
typedef uint32_t (*DRV_FreeStmt_t)(uint32_t stmt);                                   // 8
typedef uint32_t (*DRV_GetCursorName_t)(uint32_t stmt, char* buf, uint16_t size,
                                        uint16_t* length);                 // 9
typedef uint32_t (*DRV_SetCursorName_t)(uint32_t stmt, const char* name);  // 10
typedef uint32_t (*DRV_Prepare_t)(uint32_t stmt, const char* sql);         // 11
typedef uint32_t (*DRV_SetParams_t)(uint32_t stmt, COLSET* params);        // 12
typedef uint32_t (*DRV_Execute_t)(uint32_t stmt);                          // 13
typedef uint32_t (*DRV_UnusedStmtOp_t)(uint32_t stmt);                     // 14
typedef uint32_t (*DRV_NumResultCols_t)(uint32_t stmt, uint16_t* count,
                                        JdbcColDesc** descs);  // 15
typedef uint32_t (*DRV_DescribeCols_t)(uint32_t stmt, uint16_t* count,
                                       JdbcColDesc** descs);  // 16
typedef uint32_t (*DRV_NativeSql_t)(uint32_t conn, const char* sql, char* out, uint32_t size,
                                    uint32_t* length);  // 17
typedef uint32_t (*DRV_BindCols_t)(uint32_t stmt, uint16_t count,
                                   const JdbcColBind* binds);                      // 18
typedef uint32_t (*DRV_Fetch_t)(uint32_t stmt, uint16_t rows, COLSET* set);        // 19
typedef uint32_t (*DRV_CloseCursor_t)(uint32_t stmt);                              // 20
typedef uint32_t (*DRV_Commit_t)(uint32_t conn);                                   // 21
typedef uint32_t (*DRV_Rollback_t)(uint32_t conn);                                 // 22
typedef uint32_t (*DRV_GetOpTable_t)(uint32_t conn, DRV_OpTableRequest* request);  // 23
typedef uint32_t (*DRV_MoreResults_t)(uint32_t stmt);                              // 24
// Catalog slots 25-34: the statement and the function's argument record.
typedef uint32_t (*DRV_Catalog_t)(uint32_t stmt, const void* args);       // 25-34
typedef uint32_t (*DRV_DDGetTypeInfo_t)(uint32_t stmt, int16_t sqlType);  // 35
typedef uint32_t (*DRV_ExtendedFetch_t)(uint32_t stmt, ROWSTATUS** rows, int32_t start,
                                        uint32_t* fetched, uint32_t* count);  // 36
typedef uint32_t (*DRV_SetPos_t)(uint32_t stmt, int32_t row, uint16_t op, uint16_t lock,
                                 uint16_t** statuses, uint32_t* nstatuses, COLSET* params,
                                 uint16_t* columns, uint16_t ncolumns);                  // 37
typedef uint32_t (*DRV_ParamData_t)(uint32_t stmt, void* a, void* b, void* c, void* d);  // 38
typedef uint32_t (*DRV_PutData_t)(uint32_t stmt, const void* data, int64_t length);      // 39
// Slot 40 hands out the next piece of a value the agent kept back; a call
// with a null value pointer (and null outputs) starts the cell over, so
// that the next call delivers it from its first byte again.
typedef uint32_t (*DRV_GetData_t)(uint32_t stmt, uint16_t column, uint16_t row, int16_t ctype,
                                  void** value, uint32_t* delivered, uint32_t* type,
                                  uint32_t* total);  // 40
typedef uint32_t (*DRV_FetchScroll_t)(uint32_t stmt, ROWSTATUS** rows, int32_t start,
                                      uint32_t* fetched, uint32_t* count,
                                      uint16_t orientation);  // 41
typedef uint32_t (*DRV_BulkOperations_t)(uint32_t stmt, uint16_t op, const uint64_t* bookmarks,
                                         uint32_t rows, COLSET* params, uint16_t* columns,
                                         uint16_t ncolumns, uint16_t** statuses,
                                         uint32_t* nstatuses, ROWSTATUS** fetched);  // 42
typedef uint32_t (*DRV_PrepareExecute_t)(uint32_t stmt, const char* sql, COLSET* params,
                                         uint16_t count, const JdbcColBind* binds);  // 43
typedef uint32_t (*DRV_ExecDescribe_t)(uint32_t stmt, const char* sql, COLSET* params,
                                       uint16_t count, const void* descs, uint32_t rowset,
                                       uint16_t* ncols, JdbcColDesc** cols, void* out3, void* out4,
                                       int32_t* rowCount);  // 44
typedef uint32_t (*DRV_AllocPrepare_t)(uint32_t conn, const char* sql, uint32_t concurrency,
                                       uint32_t cursorType, uint32_t* stmt);  // 45
typedef uint32_t (*DRV_FetchDescribe_t)(uint32_t stmt, uint16_t* count, void** types,
                                        void* rowRecord);  // 46
typedef DRV_FetchScroll_t DRV_FetchScrollRow_t;            // 47
typedef uint32_t (*DRV_GetCachedData_t)(uint32_t stmt, uint16_t column, uint16_t row,
                                        uint32_t largest, void* buf, uint32_t* length,
                                        uint32_t* type, int32_t* remaining);  // 48
typedef uint32_t (*DRV_ExecBatch_t)(uint32_t stmt, uint16_t count, const void* batch,
                                    uint16_t* done, uint32_t** results);  // 49
typedef uint32_t (*DRV_Spare_t)(uint32_t h);                              // 50
typedef uint32_t (*DRV_ColAttributes_t)(uint32_t stmt, uint16_t* count, uint16_t* nattrs,
                                        JdbcColDesc** descs, ATTR_ENTRY** attrs);  // 51
typedef uint32_t (*DRV_ExecDescribeAttr_t)(uint32_t stmt, const char* sql, COLSET* params,
                                           uint16_t count, const void* descs, uint32_t rowset,
                                           uint16_t* ncols, JdbcColDesc** cols, void* out3,
                                           void* out4, int32_t* rowCount, uint16_t* nattrs,
                                           ATTR_ENTRY** attrs);  // 52
typedef uint32_t (*DRV_Cancel_t)(uint32_t stmt);                 // 53
typedef uint32_t (*DRV_Execute2_t)(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                                   const void* namedDescs);  // 54
typedef int32_t (*DRV_XaClose_t)(uint32_t conn, const char* info, int32_t rmid,
                                 int64_t flags);  // 55
typedef int32_t (*DRV_XaXid_t)(uint32_t conn, XID* xid, int32_t rmid,
                               int64_t flags);  // 56, 58, 59, 61, 63, 64
typedef int32_t (*DRV_XaComplete_t)(uint32_t conn, int* handle, int* retval, int32_t rmid,
                                    int64_t flags);  // 57
typedef int32_t (*DRV_XaOpen_t)(uint32_t conn, uint32_t useThread, const char* info, int32_t rmid,
                                int64_t flags);  // 60
typedef int32_t (*DRV_XaRecover_t)(uint32_t conn, XID* xids, int64_t count, int32_t rmid,
                                   int64_t flags);  // 62
typedef uint32_t (*DRV_BindColsEx_t)(uint32_t stmt, uint16_t count,
                                     const void* entries);  // 65

}  // extern "C"

// The 66 slots. A null slot: the layer does not provide the operation.
struct DRV_OpTable {
  DRV_GetInfo_t DRV_GetInfo;                    // 0
  DRV_SetOption_t DRV_SetOption;                // 1
  DRV_GetError_t DRV_GetError;                  // 2
  DRV_Init_t DRV_Init;                          // 3
  DRV_Term_t DRV_Term;                          // 4
  DRV_Connect_t DRV_Connect;                    // 5
  DRV_Disconnect_t DRV_Disconnect;              // 6
  DRV_AllocStmt_t DRV_AllocStmt;                // 7
  DRV_FreeStmt_t DRV_FreeStmt;                  // 8
  DRV_GetCursorName_t DRV_GetCursorName;        // 9
  DRV_SetCursorName_t DRV_SetCursorName;        // 10
  DRV_Prepare_t DRV_Prepare;                    // 11
  DRV_SetParams_t DRV_SetParams;                // 12
  DRV_Execute_t DRV_Execute;                    // 13
  DRV_UnusedStmtOp_t DRV_UnusedStmtOp;          // 14
  DRV_NumResultCols_t DRV_NumResultCols;        // 15
  DRV_DescribeCols_t DRV_DescribeCols;          // 16
  DRV_NativeSql_t DRV_NativeSql;                // 17
  DRV_BindCols_t DRV_BindCols;                  // 18
  DRV_Fetch_t DRV_Fetch;                        // 19
  DRV_CloseCursor_t DRV_CloseCursor;            // 20
  DRV_Commit_t DRV_Commit;                      // 21
  DRV_Rollback_t DRV_Rollback;                  // 22
  DRV_GetOpTable_t DRV_GetOpTable;              // 23
  DRV_MoreResults_t DRV_MoreResults;            // 24
  DRV_Catalog_t DRV_DDColumnPrivileges;         // 25
  DRV_Catalog_t DRV_DDColumns;                  // 26
  DRV_Catalog_t DRV_DDForeignKeys;              // 27
  DRV_Catalog_t DRV_DDPrimaryKeys;              // 28
  DRV_Catalog_t DRV_DDProcedureColumns;         // 29
  DRV_Catalog_t DRV_DDProcedures;               // 30
  DRV_Catalog_t DRV_DDSpecialColumns;           // 31
  DRV_Catalog_t DRV_DDStatistics;               // 32
  DRV_Catalog_t DRV_DDTablePrivileges;          // 33
  DRV_Catalog_t DRV_DDTables;                   // 34
  DRV_DDGetTypeInfo_t DRV_DDGetTypeInfo;        // 35
  DRV_ExtendedFetch_t DRV_ExtendedFetch;        // 36
  DRV_SetPos_t DRV_SetPos;                      // 37
  DRV_ParamData_t DRV_ParamData;                // 38
  DRV_PutData_t DRV_PutData;                    // 39
  DRV_GetData_t DRV_GetData;                    // 40
  DRV_FetchScroll_t DRV_FetchScroll;            // 41
  DRV_BulkOperations_t DRV_BulkOperations;      // 42
  DRV_PrepareExecute_t DRV_PrepareExecute;      // 43
  DRV_ExecDescribe_t DRV_ExecDescribe;          // 44
  DRV_AllocPrepare_t DRV_AllocPrepare;          // 45
  DRV_FetchDescribe_t DRV_FetchDescribe;        // 46
  DRV_FetchScrollRow_t DRV_FetchScrollRow;      // 47
  DRV_GetCachedData_t DRV_GetCachedData;        // 48
  DRV_ExecBatch_t DRV_ExecBatch;                // 49
  DRV_Spare_t DRV_Spare;                        // 50
  DRV_ColAttributes_t DRV_ColAttributes;        // 51
  DRV_ExecDescribeAttr_t DRV_ExecDescribeAttr;  // 52
  DRV_Cancel_t DRV_Cancel;                      // 53
  DRV_Execute2_t DRV_Execute2;                  // 54
  DRV_XaClose_t DRV_XaClose;                    // 55
  DRV_XaXid_t DRV_XaCommit;                     // 56
  DRV_XaComplete_t DRV_XaComplete;              // 57
  DRV_XaXid_t DRV_XaEnd;                        // 58
  DRV_XaXid_t DRV_XaForget;                     // 59
  DRV_XaOpen_t DRV_XaOpen;                      // 60
  DRV_XaXid_t DRV_XaPrepare;                    // 61
  DRV_XaRecover_t DRV_XaRecover;                // 62
  DRV_XaXid_t DRV_XaRollback;                   // 63
  DRV_XaXid_t DRV_XaStart;                      // 64
  DRV_BindColsEx_t DRV_BindColsEx;              // 65
};

constexpr int DRV_OP_SLOTS = 66;
static_assert(sizeof(DRV_OpTable) == DRV_OP_SLOTS * sizeof(void*), "66 pointer slots");

// Slot n of a table as an untyped pointer (for layers that copy tables and
// for tests); null for n outside 0..65.
inline void* DRV_Slot(const DRV_OpTable* t, int n) {
  if (t == nullptr || n < 0 || n >= DRV_OP_SLOTS) return nullptr;
  void* p = nullptr;
  std::memcpy(&p, reinterpret_cast<const char*>(t) + n * sizeof(void*), sizeof p);
  return p;
}

// The catalog operations' slots (each a DRV_Catalog_t), for the layers that
// reach a catalog operation or key its answers by its number; each number is
// read from the table itself.
enum DRV_CatalogSlot : int {
  DRV_SLOT_COLUMN_PRIVILEGES = offsetof(DRV_OpTable, DRV_DDColumnPrivileges) / sizeof(void*),
  DRV_SLOT_COLUMNS = offsetof(DRV_OpTable, DRV_DDColumns) / sizeof(void*),
  DRV_SLOT_FOREIGN_KEYS = offsetof(DRV_OpTable, DRV_DDForeignKeys) / sizeof(void*),
  DRV_SLOT_PRIMARY_KEYS = offsetof(DRV_OpTable, DRV_DDPrimaryKeys) / sizeof(void*),
  DRV_SLOT_PROCEDURE_COLUMNS = offsetof(DRV_OpTable, DRV_DDProcedureColumns) / sizeof(void*),
  DRV_SLOT_PROCEDURES = offsetof(DRV_OpTable, DRV_DDProcedures) / sizeof(void*),
  DRV_SLOT_SPECIAL_COLUMNS = offsetof(DRV_OpTable, DRV_DDSpecialColumns) / sizeof(void*),
  DRV_SLOT_STATISTICS = offsetof(DRV_OpTable, DRV_DDStatistics) / sizeof(void*),
  DRV_SLOT_TABLE_PRIVILEGES = offsetof(DRV_OpTable, DRV_DDTablePrivileges) / sizeof(void*),
  DRV_SLOT_TABLES = offsetof(DRV_OpTable, DRV_DDTables) / sizeof(void*),
};

// The agent record embedded in every connection (and one process-wide).
struct DRV_Agent {
  uint32_t agentType;  // 2 = JDBC
  const DRV_OpTable* ops;
};

constexpr uint32_t DRV_AGENT_JDBC = 2;

// The JDBC agent's own table.
extern const DRV_OpTable DRV_JdbcOpTable;

// The layers above put themselves in front of the agent's table when the
// agent is registered; each declares its own start, and the agent names
// none of them.

// The agent's own part of the registration: type 2 and the JDBC table.
void AGT_FillRecord(DRV_Agent* agent);
// The chain the last registration built, once its layers are in front.
void AGT_PublishOps(const DRV_OpTable* ops);

// What the layers above lend the agent, each installed by its layer when it
// is put in front; none installed: the agent does without.
//
// The column adjustment from the analysed select list: the agent's column
// attributes call it for every result column when the statement asks for it.
// Adjusts column `column` (1-based): the texts of desc named by mask and the
// column's attribute entries (attrs[k * stride + column], k < count). 0.
using AGT_ColumnAdjust = int (*)(JdbcStmt* stmt, uint32_t column, JdbcColDesc* desc, uint16_t mask,
                                 uint16_t stride, uint16_t count, ATTR_ENTRY* attrs);
void AGT_SetColumnAdjust(AGT_ColumnAdjust adjust);
AGT_ColumnAdjust AGT_GetColumnAdjust();
// The agent's XA open (on 1) and close (on 0) tell the connection's worker
// (JdbcConn::worker, the proxy's record; null when the connection has none)
// whether the connection's XA side is open, which is when the proxy runs
// the connection's statement operations on the worker thread.
using AGT_WorkerSwitch = int (*)(void* worker, uint32_t on);
void AGT_SetWorkerSwitch(AGT_WorkerSwitch sw);
void AGT_SwitchWorker(void* worker, uint32_t on);

// The SQLGetInfo pass-through: asks the GetInfo slot of the record's table
// for one SQLGetInfo type of an agent connection. The numeric types it
// passes (IsIntegerType in j-agentinfo.cpp) need a 4-byte buffer
// (ERR_INVALID_ARGUMENT for a shorter one) and set *length to 4; the text
// types (IsTextType) are copied whole, or cut to size bytes without a
// terminator with ERR_TRUNCATED. ERR_OPTION_RANGE for any other type; the
// agent's non-zero result as it is.
uint32_t SCR_AgentInfo(const DRV_Agent* agent, uint32_t conn, uint16_t type, void* value,
                       int16_t size, uint16_t* length);

#endif
