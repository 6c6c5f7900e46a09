// Preparing statements (SQLPrepare) and executing them at once
// (SQLExecDirect).
#ifndef QMR_DRIVER_PREPARE_H
#define QMR_DRIVER_PREPARE_H

#include "driver/dispatch.h"
#include "driver/handles.h"

// Closes whatever the statement held and prepares the NUL-terminated UTF-8
// text on the agent side: 0, 1 when the cursor type or concurrency came back
// changed, or -1 with the pending code set (the statement is then left
// unprepared).
int Prepare_core(StmtHandle* stmt, const char* text);

// Takes the cursor type and concurrency the statement runs with from the
// agent; true when either differs from what the statement held.
bool ReadBackCursorOptions(StmtHandle* stmt);

// rc, or SQL_SUCCESS_WITH_INFO with 01S02 added when rc is a success: the
// statement runs with a cursor other than the one asked for.
DRV_Return ReportCursorChanged(StmtHandle* stmt, DRV_Return rc);

#endif
