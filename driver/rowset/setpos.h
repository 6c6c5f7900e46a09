// Positioned operations on the current rowset (SQLSetPos) and bulk
// operations over the bound arrays (SQLBulkOperations). Changes go to the
// agent's positioned-operation slots, which the cursor library serves with
// statements addressed by the rows' keys; values that come at execution are
// gathered first through SQLParamData and SQLPutData.
#ifndef QMR_DRIVER_ROWSET_SETPOS_H
#define QMR_DRIVER_ROWSET_SETPOS_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <vector>

#include "driver/handles.h"
#include "util/owners.h"

// Need-data steps of a positioned change (StmtHandle::needData).
constexpr uint16_t kNeedSetPos = 2;
constexpr uint16_t kNeedBulk = 3;

// SQLSetPos. row 0 addresses every row of the rowset.
SQLRETURN SetPosCore(StmtHandle* stmt, uint64_t row, uint16_t op, uint16_t lock);
// SQL_ADD over `rows` rows of the bound arrays (SQLBulkOperations).
SQLRETURN SetPosAdd(StmtHandle* stmt, uint32_t rows);
// SQLBulkOperations.
SQLRETURN BulkOperationsCore(StmtHandle* stmt, uint16_t op);

// SQLParamData and SQLPutData while a positioned or bulk change waits for
// values: the token of the next value, or the change carried out.
SQLRETURN SetPosParamData(StmtHandle* stmt, void** token);
SQLRETURN SetPosPutData(StmtHandle* stmt, const void* data, int64_t length);
// Drops what a change gathered (cancel, close, a new statement).
void SetPosReset(StmtHandle* stmt);

// Shared with the bulk operations (setpos.cpp).
// The ARD record of a bound column, or null.
const DescRec* SetPosBound(StmtHandle* stmt, uint16_t column);
// Finds the next value that comes at execution from the stored position;
// false when every one has been given.
bool SetPosNextDae(StmtHandle* stmt);
// Builds the row set of new values of the rows first..first+rows-1 for the
// listed columns; ignored rows keep their place, marked to be skipped.
int SetPosValues(StmtHandle* stmt, const std::vector<uint16_t>& columns, bool honourOps,
                 ColSetPtr* out);
// Readies a change's values for the agent, which takes over both the set
// and the list: wide text narrowed when the connection wants 8-bit text,
// and *list a copy of the change's columns (null when it names none).
int SetPosHandOver(StmtHandle* stmt, COLSET* values, UniqueFree<uint16_t>* list);
// The columns a change writes: bound, not column 0, not read-only, not
// SQL_COLUMN_IGNORE in the first row addressed. 0, ERR_GENERAL or
// ERR_NO_MEMORY.
int SetPosColumns(StmtHandle* stmt, std::vector<uint16_t>* out);
// Asks for the first value that comes at execution (SQL_NEED_DATA, the
// need-data step `step`), or sends the change at once.
SQLRETURN SetPosSendOrAsk(StmtHandle* stmt, uint16_t step);
// Sends a bulk operation whose values are all in (bulkops.cpp).
SQLRETURN BulkSend(StmtHandle* stmt);
// The agent's result after a change: pulls its messages, posts its code.
SQLRETURN SetPosResult(StmtHandle* stmt, uint32_t code);

#endif
