// What the keyset statements share: the application's kept parameter
// values and descriptions placed around the library's own, the run of a
// prepared private statement and the reading of its whole result.
#ifndef QMR_SCRS_KSRUN_H
#define QMR_SCRS_KSRUN_H

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"

// Where a generated statement's markers fall among the application's
// (counted as the application's text numbers them): the application's
// markers dropFrom..dropFrom+dropped-1 went with the text the statement left
// out, and the library's markers come before application marker libAt.
struct KS_PLACE {
  uint32_t dropFrom = 0;
  uint32_t dropped = 0;
  uint32_t libAt = 0;
};

// An analysed text, freed with its holder.
struct KS_ANALYSED {
  KS_ANALYSED() { SCR_InitSQLInfo(&info); }
  ~KS_ANALYSED() { SCR_FreeSQLInfo(&info); }
  KS_ANALYSED(const KS_ANALYSED&) = delete;
  KS_ANALYSED& operator=(const KS_ANALYSED&) = delete;
  SCR_SQLINFO info;
};

// Analyses a text of the cursor's statement; a failure is logged with the
// analyser's message.
int KS_Analyse(const SCR_ANALYSIS& a, const std::string& text, KS_ANALYSED* out);

// *out := a new one-row set: the application's kept values (when it gave
// any) placed around `lib` (taken over; may be null). *out stays null when
// there is no value at all. 0, ERR_GENERAL (too many values) or ERR_NO_MEMORY.
int KS_SpliceParams(const SCR_CURSOR* cur, const KS_PLACE& place, COLSET* lib, COLSET** out);

// The descriptions of the same markers, for agents that need them.
std::vector<JdbcColBind> KS_SpliceBinds(const SCR_CURSOR* cur, const KS_PLACE& place,
                                        const std::vector<SCR_PARAMDESC>& lib);

// How many values the application gave for this execution.
uint16_t KS_AppParamCount(const SCR_CURSOR* cur);

// The descriptions of `groups` groups of the key columns, for agents that
// need them (none otherwise).
std::vector<SCR_PARAMDESC> KS_KeyDescs(const SCR_ANALYSIS& a, uint32_t groups);

// Hands the values (taken over) and descriptions to a prepared private
// statement and executes it; the agent's code.
uint32_t KS_RunPrepared(const SCR_CURSOR* cur, uint32_t stmt, COLSET* params,
                        const std::vector<JdbcColBind>& binds);

// Appends every row of the statement's open result to *rows (shaped by the
// first rows that come when it has no columns yet). With `failed`, a row
// the agent fails alone is left out and its records go there (row 0), in
// the order the rows came.
uint32_t KS_FetchAll(uint32_t stmt, COLSET* rows, std::vector<DSC_FAILED_ROW>* failed = nullptr);

// The agent's diagnostics of a private statement go to the application's
// statement, behind what it holds.
void KS_MoveErrors(const SCR_CURSOR* cur, uint32_t from);

// The cursor's refetch statement, allocated when first needed; 0 when the
// agent cannot give one.
uint32_t KS_RefetchStmt(SCR_CURSOR* cur);

// The application's statement with the key columns behind its select
// list: rows read by key carry their keys, so each can be put at its key
// and the keys cut off again (ksfetch.cpp).
int KS_WithKeys(const SCR_ANALYSIS& a, SCR_BUILT* out);
// A text of the cursor's statement with `extra` (", column ...") behind its
// select list.
int KS_ListBehind(const SCR_ANALYSIS& a, const std::string& text, const std::string& extra,
                  SCR_BUILT* out);

// An agent request's numeric answer for the cursor's connection; 0 when
// the agent does not answer it.
uint32_t KS_AskAgent(const SCR_CURSOR* cur, uint32_t request);

#endif
