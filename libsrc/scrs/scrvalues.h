// What the values concurrency of every cursor kind and the static cursor
// with lock or values concurrency share inside the library.
#ifndef QMR_SCRS_SCRVALUES_H
#define QMR_SCRS_SCRVALUES_H

#include <cstdint>
#include <string>
#include <vector>

#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"

// KS_KEYSET::valuesFlags: the values statement holds the values query.
constexpr uint16_t SCR_VALUES_PREPARED = 0x0020;

// The values query: with groups 0 the cursor's statement over its whole
// result, in the order of the cursor's own rows; else the rows of `groups`
// keys, in key order, so that a row gone shows as a gap. 0 or a code.
int scs_p_ValuesQuery(SCR_CURSOR* cur, uint32_t groups, SCR_BUILT* out);

// Where each key column sits among the columns of the values query; false
// when one is not among them.
bool scs_p_KeyColumns(const SCR_ANALYSIS& a, std::vector<uint16_t>* out);

// The values of the listed columns of a row as one comparable text.
std::string scs_p_KeyText(const COLSET* set, const std::vector<uint16_t>& cols, uint32_t row);

// At prepare, for a static cursor with lock or values concurrency whose
// rows can be changed by key: its rows ordered by key as well, so that its
// values and its row locks are read in the same order, and " FOR UPDATE"
// for locks the data source takes itself. The agent's statement is
// prepared with that text. 0 or a code.
int scs_p_StaticConcurText(SCR_CURSOR* cur);

// The text the agent statement was prepared with when the library changed
// the application's, else null.
const char* scs_p_ExecText(const SCR_CURSOR* cur);

// After a static cursor with lock or values concurrency has read its
// result: the values kept, or every row locked; the agent's cursor closed
// unless it holds the locks. 0 or a code.
int scs_p_StaticConcurrency(SCR_CURSOR* cur);

// The key values of cache row k of a static cursor whose rows can be
// changed by key, as one row of parameters. 0, ERR_ROW_NOT_TIED when the
// cursor cannot tell which row of the table it is, or another code.
int scs_p_StaticRowKeys(SCR_CURSOR* cur, uint32_t k, COLSET** keys);

// What addresses cache row k of a static cursor under values concurrency: its
// key values and the values a change compares with, one row each, and the
// columns of those values. The values are the row as the cursor read it, or as
// its own update left it. 0, ERR_ROW_NOT_TIED or another code.
struct SCR_KEPTROW {
  ColSetPtr keys;
  ColSetPtr values;
  std::vector<SCR_COLDESC> cols;
};
int scs_p_StaticKeptRow(SCR_CURSOR* cur, uint32_t k, SCR_KEPTROW* out);

// Keeps row r of `fresh` (every column of the table, as the values query
// reads them) as the values cache row k is compared with from now on.
int scs_p_StaticOwnRow(SCR_CURSOR* cur, uint32_t k, const COLSET* fresh, uint32_t r);

// After the cursor's own update of rowset rows `rows` (1-based): the kept
// values follow what it wrote, and a dynamic cursor with row versions
// records the rows' new versions, so that neither the next change nor the
// next fetch takes the cursor's own update for another user's.
void scs_p_OwnRowsUpdated(SCR_CURSOR* cur, const std::vector<uint32_t>& rows);

// The values query's rows (every column of the table) of the keys that are
// the rows of `keys`, read afresh into *fresh. 0 or a code.
int scs_p_ReadValuesByKey(SCR_CURSOR* cur, const COLSET* keys, COLSET* fresh);

// A keyset cursor (keyset size 0) under values concurrency keeps a digest
// of every row it fetched. Row r of `values` (as the values query reads
// rows) is keyset row k as last fetched.
void scs_p_KeepFetched(SCR_CURSOR* cur, uint32_t k, const COLSET* values, uint32_t r);

// The values to compare with for a change by bookmark of keyset row k,
// outside the current rowset, whose key is row 0 of `key`: the row read
// again by key, when it still reads as the cursor last fetched it. 0 with
// one row in *kept; ERR_NO_ROWS_CHANGED when another user changed or
// removed it since (a conflict); or another code.
int scs_p_KeptByKey(SCR_CURSOR* cur, const COLSET* key, uint32_t k, ColSetPtr* kept);

// After the cursor's own change by bookmark of keyset rows `rows` (0-based;
// a mixed cursor's rows of its block, a static cursor's cache rows): the
// kept values follow what it wrote, as after a positioned update. `first`
// is the row of the current rowset's first row, `held` its rows.
void scs_p_OwnBookmarksUpdated(SCR_CURSOR* cur, const std::vector<uint32_t>& rows, uint32_t first,
                               uint32_t held);

// Stores the versions of block rows `at` (0-based) of a dynamic cursor as
// its next fetch will read them. 0 or a code.
int scs_p_DynamicOwnVersions(SCR_CURSOR* cur, const std::vector<uint32_t>& at);

// The status of cache row `row` of a static cursor: what a positioned
// operation left there, where an update or an error reads as success from
// the next fetch on.
uint16_t scs_p_StaticRowStatus(SCR_CURSOR* cur, uint32_t row);

#endif
