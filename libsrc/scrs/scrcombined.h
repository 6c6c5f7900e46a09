// The combined agent calls the cursor library serves from its single-step
// hooks, and the long values a scrolled rowset hands out in pieces.
#ifndef QMR_SCRS_SCRCOMBINED_H
#define QMR_SCRS_SCRCOMBINED_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"

struct SCR_CURSOR;

// Rowset size (for scrolling cursors), prepare, values, descriptions and
// execute, then the result's description: its columns (with their
// attributes when both attribute outputs are given) and the row count.
// IM906 (output values pending) counts as success and is the answer.
uint32_t SCR_ExecDescribeCore(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                              const void* descs, uint32_t rowset, uint16_t* ncols,
                              JdbcColDesc** cols, void* out3, void* out4, int32_t* rowCount,
                              uint16_t* nattrs, ATTR_ENTRY** attrs);

// Moves every long value of the rowset over 60000 bytes into `longs` (shaped
// like the rowset; other columns get indicators only), leaving length 0 and the
// deferred indicator behind. 0, or ERR_NO_MEMORY with `longs` empty.
int SCR_SplitLongValues(COLSET* rows, COLSET* longs);
// Forgets the long values of the last rowset and the one being handed out.
void SCR_LongDataReset(SCR_CURSOR* cur);
void SCR_LongDataFree(SCR_CURSOR* cur);

// The single-step hooks the combined calls are made of (scrhooks.cpp).
extern "C" {
uint32_t SCR_AllocStmt(uint32_t conn, uint32_t* stmt);
uint32_t SCR_FreeStmt(uint32_t stmt);
uint32_t SCR_Prepare(uint32_t stmt, const char* sql);
uint32_t SCR_SetParams(uint32_t stmt, COLSET* params);
uint32_t SCR_BindCols(uint32_t stmt, uint16_t count, const JdbcColBind* binds);
uint32_t SCR_Execute(uint32_t stmt);
uint32_t SCR_PrepareExecute(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                            const JdbcColBind* binds);
uint32_t SCR_FetchScroll(uint32_t stmt, ROWSTATUS** out, int32_t start, uint32_t* fetched,
                         uint32_t* count, uint16_t orientation);

uint32_t SCR_ExecDescribe(uint32_t, const char*, COLSET*, uint16_t, const void*, uint32_t,
                          uint16_t*, JdbcColDesc**, void*, void*, int32_t*);
uint32_t SCR_ExecDescribeAttr(uint32_t, const char*, COLSET*, uint16_t, const void*, uint32_t,
                              uint16_t*, JdbcColDesc**, void*, void*, int32_t*, uint16_t*,
                              ATTR_ENTRY**);
uint32_t SCR_AllocPrepare(uint32_t conn, const char* sql, uint32_t concurrency, uint32_t cursorType,
                          uint32_t* stmt);
uint32_t SCR_FetchDescribe(uint32_t stmt, uint16_t* count, void** types, void* rowRecord);
uint32_t SCR_FetchScrollRow(uint32_t, ROWSTATUS**, int32_t, uint32_t*, uint32_t*, uint16_t);
uint32_t SCR_GetCachedData(uint32_t stmt, uint16_t column, uint16_t row, uint32_t largest,
                           void* buf, uint32_t* length, uint32_t* type, int32_t* remaining);
// A value the current rowset left deferred: a static read-only cursor's
// long value read whole from its cache (the first call after the cell is
// started afresh hands it all out, later calls nothing); any other
// statement's from the agent. A call without a value pointer starts the
// cell afresh.
uint32_t SCR_GetData(uint32_t stmt, uint16_t column, uint16_t row, int16_t ctype, void** value,
                     uint32_t* delivered, uint32_t* type, uint32_t* total);
uint32_t SCR_ExecBatch(uint32_t stmt, uint16_t count, const void* batch, uint16_t* done,
                       uint32_t** results);
uint32_t SCR_Execute2(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                      const void* namedDescs);
uint32_t SCR_BindColsEx(uint32_t stmt, uint16_t count, const void* entries);
}

#endif
