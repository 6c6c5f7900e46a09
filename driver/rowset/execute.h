// Executing a prepared statement: SQLExecute, and the execution step of
// SQLExecDirect and of the data-at-execution dialogue.
#ifndef QMR_DRIVER_ROWSET_EXECUTE_H
#define QMR_DRIVER_ROWSET_EXECUTE_H

#include "driver/dispatch.h"
#include "driver/handles.h"
#include "util/errcodes.h"

// The data-at-execution item before SQLParamData has named one.
constexpr uint16_t kDaeNoItem = 0xFFFF;

// Checks that no data-at-execution dialogue is running and looks for a
// parameter whose value comes at execution: SQL_SUCCESS (go on and
// execute), SQL_NEED_DATA (the dialogue starts) or SQL_ERROR.
DRV_Return ExecuteCore(StmtHandle* stmt);
// 1 when a data-at-execution value is still missing (the position is left
// on it), else 0 with the position reset.
int ParamsNeedData(StmtHandle* stmt);
// Sends what the agent needs and executes; the statement then has a result
// (state 2, flag 0x2).
DRV_Return ExecuteWithParams(StmtHandle* stmt);
// The same for agents that ask for data-at-execution values themselves.
DRV_Return ExecuteWithParamsAlt(StmtHandle* stmt);
// A parameter array whose sets give results one by one (a SELECT): the
// sets the agent has run so far (SQLMoreResults runs the next ones), 0 when
// the statement runs no such array or the agent cannot tell.
uint64_t ParamSetsRun(const StmtHandle* stmt);
// After SQLMoreResults ran the sets from `before` on: they count as
// processed and succeeded, but for the last one when `failed`, which is
// SQL_PARAM_ERROR and names its diagnostics' row.
void ReportSetsRun(StmtHandle* stmt, uint64_t before, bool failed);
// Drops the result description so that the next result is described anew.
void ParamValuesFree(StmtHandle* stmt);
// Fetches the output parameter values from the agent and converts them
// into the buffers of the parameters bound for output or input/output:
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (a value was cut: 01004) or the
// failing code with the pending code set.
DRV_Return ReturnOutParams(StmtHandle* stmt);

#endif
