// The JDBC agent's operation table and its registration in an agent record.
#include <atomic>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-conn.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-nativesql.h"
#include "drv_jdbc/j-opt.h"
#include "drv_jdbc/j-serv.h"
#include "drv_jdbc/j-start.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-xa.h"

const DRV_OpTable DRV_JdbcOpTable = {
    DRV_GetInfo,             // 0
    DRV_SetOption,           // 1
    DRV_GetError,            // 2
    DRV_Init,                // 3
    DRV_Term,                // 4
    DRV_Connect,             // 5
    DRV_Disconnect,          // 6
    DRV_AllocStmt,           // 7
    DRV_FreeStmt,            // 8
    DRV_GetCursorName,       // 9
    DRV_SetCursorName,       // 10
    DRV_Prepare,             // 11
    DRV_SetParams,           // 12
    DRV_Execute,             // 13
    DRV_UnusedStmtOp,        // 14
    DRV_NumResultCols,       // 15
    DRV_DescribeCols,        // 16
    DRV_NativeSql,           // 17
    DRV_BindCols,            // 18
    DRV_Fetch,               // 19
    DRV_CloseCursor,         // 20
    DRV_Commit,              // 21
    DRV_Rollback,            // 22
    DRV_GetOpTable,          // 23
    DRV_MoreResults,         // 24
    DRV_DDColumnPrivileges,  // 25
    DRV_DDColumns,           // 26
    DRV_DDForeignKeys,       // 27
    DRV_DDPrimaryKeys,       // 28
    DRV_DDProcedureColumns,  // 29
    DRV_DDProcedures,        // 30
    DRV_DDSpecialColumns,    // 31
    DRV_DDStatistics,        // 32
    DRV_DDTablePrivileges,   // 33
    DRV_DDTables,            // 34
    DRV_DDGetTypeInfo,       // 35
    nullptr,                 // 36 extended fetch: the cursor library's
    nullptr,                 // 37 positioned operations: the cursor library's
    nullptr,                 // 38 param data: no layer
    nullptr,                 // 39 put data: no layer
    nullptr,                 // 40 get data: no layer
    nullptr,                 // 41 fetch scroll: the cursor library's
    nullptr,                 // 42 bulk operations: the cursor library's
    DRV_PrepareExecute,      // 43
    nullptr,                 // 44
    nullptr,                 // 45
    nullptr,                 // 46
    nullptr,                 // 47
    nullptr,                 // 48
    nullptr,                 // 49
    nullptr,                 // 50 spare
    DRV_ColAttributes,       // 51
    nullptr,                 // 52
    DRV_Cancel,              // 53
    nullptr,                 // 54
    DRV_XaClose,             // 55
    DRV_XaCommit,            // 56
    DRV_XaComplete,          // 57
    DRV_XaEnd,               // 58
    DRV_XaForget,            // 59
    DRV_XaOpen,              // 60
    DRV_XaPrepare,           // 61
    DRV_XaRecover,           // 62
    DRV_XaRollback,          // 63
    DRV_XaStart,             // 64
    nullptr,                 // 65
};

namespace {
// The chain the last registration built: the agent's own questions to a
// connection (the cursor negotiation) go through it, so that the layers in
// front of the agent answer them as they answer the core.
std::atomic<const DRV_OpTable*> gRegisteredOps{nullptr};
}  // namespace

const DRV_OpTable* AGT_RegisteredOps() { return gRegisteredOps.load(); }

void AGT_FillRecord(DRV_Agent* agent) {
  agent->ops = &DRV_JdbcOpTable;
  agent->agentType = DRV_AGENT_JDBC;
}

void AGT_PublishOps(const DRV_OpTable* ops) { gRegisteredOps.store(ops); }

namespace {
std::atomic<AGT_ColumnAdjust> gColumnAdjust{nullptr};
std::atomic<AGT_WorkerSwitch> gWorkerSwitch{nullptr};
}  // namespace

void AGT_SetColumnAdjust(AGT_ColumnAdjust adjust) { gColumnAdjust.store(adjust); }
AGT_ColumnAdjust AGT_GetColumnAdjust() { return gColumnAdjust.load(); }

void AGT_SetWorkerSwitch(AGT_WorkerSwitch sw) { gWorkerSwitch.store(sw); }
void AGT_SwitchWorker(void* worker, uint32_t on) {
  if (AGT_WorkerSwitch sw = gWorkerSwitch.load()) sw(worker, on);
}
