// What the cursor library's hooks share among themselves: the statement
// state's life, the static cursor, and the keyset, mixed and dynamic
// fetches.
#ifndef QMR_SCRS_SCRHOOKS_H
#define QMR_SCRS_SCRHOOKS_H

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "scrs/scrcursor.h"

struct JdbcStmt;

// The agent-side state of a new statement; 0 or ERR_NO_MEMORY. SCR_StmtRelease
// frees what it holds (the record itself stays with its holder).
int SCR_StmtInit(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, JdbcStmt* owner);
void SCR_StmtRelease(SCR_CURSOR* cur);

// The static cursor: made when a result is first read into it (most
// statements never are), emptied whenever a new result replaces the old one.
int scs_p_StaticOpen(SCR_CURSOR* cur);
void scs_p_StaticClose(SCR_CURSOR* cur);
void scs_p_StaticFree(SCR_CURSOR* cur);
// Reads the statement's whole result into the cache (once per result) and
// learns the row count. On failure the cache is empty again.
int scs_p_StaticFill(SCR_CURSOR* cur);
// The rowset that starts at `row` (>= 1 absolute, 0 the last rowset, < 0
// counted from the end) into rows; 0, 85 before the start, 86 after the end.
int scs_p_FetchStatic(SCR_CURSOR* cur, ROWSTATUS* rows, int32_t row);
// The first row (0-based) of the rowset that `row` asks for in a result of
// `count` rows: below 0 before the start, at or past the count after the end.
int64_t SCR_FirstCacheRow(int32_t row, int64_t count, int64_t size);
// The next n rows from the cache's read position into *set (SQLFetch of an
// ODBC 2 application on a static cursor).
int scs_p_FetchStaticNext(SCR_CURSOR* cur, uint16_t n, COLSET** set);

// Analyses a statement prepared for a keyset-driven or dynamic cursor, or
// lowers its cursor to static read-only (scranalyse.cpp).
int scs_p_AnalyseStmt(SCR_CURSOR* cur, const char* text);
// An analysed SELECT executed again whose tables changed columns or key
// since (through another connection as well) is analysed again from the
// application's text. 0 or the analysis's code.
int scs_p_ReanalyseIfChanged(SCR_CURSOR* cur);
// The application's parameter values (null: none for this execution) and
// descriptions, kept for the statements the library runs behind them.
void KS_KeepAppParams(SCR_CURSOR* cur, const COLSET* params);
void KS_KeepAppBinds(SCR_CURSOR* cur, uint16_t count, const JdbcColBind* binds);
// A dynamic cursor whose row versions were dropped with its closed result
// registers again before it runs (SCR_FLAG_RVC_RENEW). 0 or the code of
// the registration.
int SCR_RenewRowVersions(SCR_CURSOR* cur);
int KS_GetKeySet_KSD(SCR_CURSOR* cur);
// Keyset-driven and dynamic cursors read their keys and rows by statements
// of their own, so the application's statement runs for its columns alone:
// it is prepared with a condition no row meets (analysis.execText), which
// saves the database reading and sorting the whole result once more.
int KS_PrepareNoRows(SCR_CURSOR* cur);
// The application's own text back on its statement (prepared `again`,
// else left to the text that comes next) when the cursor no longer reads
// by key alone: its type or keyset size set since.
int KS_RunAsWritten(SCR_CURSOR* cur, bool again);
int scs_p_FetchKeyset(SCR_CURSOR* cur, ROWSTATUS* rows, int32_t start);
int scs_p_FetchMixed(SCR_CURSOR* cur, int32_t start, uint16_t orientation, ROWSTATUS* rows);
int scs_p_FetchDynamic(SCR_CURSOR* cur, int32_t start, uint16_t orientation, ROWSTATUS* rows);
// Loads the key block for the orientation and reads its rows into the
// rowset, each at its key (three tries while others change the rows).
int scs_p_FetchDynamicBlock(SCR_CURSOR* cur, uint16_t orientation, int32_t offset, ROWSTATUS* rows);

#endif
