// Statement handles: allocation with the four implicit descriptors, closing,
// release, SQLFreeStmt/SQLCloseCursor/SQLCancel and the agent's messages.
#ifndef QMR_DRIVER_STMT_H
#define QMR_DRIVER_STMT_H

#include "driver/handles.h"

// New statement of a connected connection, its agent statement and its
// implicit descriptors (registered in the descriptor table); null with the
// reason as the connection's pending code.
StmtHandle* STMT_Alloc(ConnHandle* conn);
// Closes the open result; the statement stays.
void STMT_Close(StmtHandle* stmt);
// Empties the statement's row buffer and its read positions.
void STMT_CloseCursor(StmtHandle* stmt);
// The next block of rows from the agent into the row buffer (after
// describing the result when needed): 0, or -1 with the pending code set.
int STMT_Reexecute(StmtHandle* stmt);
// Takes the statement's and its implicit descriptors' numbers out of their
// tables. Callers hold the call lock; STMT_Free does it itself.
void STMT_Unregister(StmtHandle* stmt);
// Releases the statement, its agent statement and its implicit descriptors,
// and frees the record.
void STMT_Free(StmtHandle* stmt);
// Pulls the agent's messages (statement, then connection) into the
// statement; 1 when any arrived.
int STMT_PullErrors(StmtHandle* stmt);

// The absolute row number (the bookmark) of row `row` of the current rowset
// (0-based), or of the current row of the single-row path: 0 or an internal
// code.
int32_t STMT_RowNumber(const StmtHandle* stmt, uint32_t row, uint64_t* number);

#endif
