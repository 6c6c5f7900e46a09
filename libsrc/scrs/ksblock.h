// What the block fetches of dynamic and mixed cursors share: the text they
// rebuild from the application's statement, the agent's rows read to a
// count, the keyset state and the matching of rows to their keys.
#ifndef QMR_SCRS_KSBLOCK_H
#define QMR_SCRS_KSBLOCK_H

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/ksrun.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"

// The application's statement with the keys appended to its ORDER BY,
// analysed into *out (and its text into *text when asked).
int SCR_KeyOrdered(SCR_CURSOR* cur, KS_ANALYSED* out, std::string* text = nullptr);

// Asks the agent statement for rows until `want` came or a fetch brings
// none; they go into *rows (empty, or holding rows of the same shape).
// With `failed`, a row the agent fails alone counts, left out, its records
// there in the order the rows came.
int SCR_FetchUpTo(uint32_t stmt, uint32_t want, COLSET* rows,
                  std::vector<DSC_FAILED_ROW>* failed = nullptr);

// Keys the current block of a dynamic or mixed cursor holds.
uint32_t KS_BlockSize(const SCR_CURSOR* cur);

// The keyset state of the analysis, made when first needed; null when
// memory runs out.
KS_KEYSET* KS_Keyset(SCR_CURSOR* cur);

// Mixed cursor block states (KS_KEYSET::scrollState).
enum : int32_t {
  KS_BLOCK_ANYWHERE = -1,
  KS_BLOCK_AT_START = -2,
  KS_BLOCK_AT_END = -3,
  KS_BLOCK_END_FULL = -4,
  KS_BLOCK_PAST_END = -5,
  KS_BLOCK_NONE = -6,
};

// The rows of `rows` put in the order of keys first..first+count-1 of
// `keys` by their key values: keyCols[k] is the column of `rows` that holds
// key column k. A key whose row is missing gets an empty row and
// found[i] false. With keyCols empty the rows keep their order and count
// as found while they last. 0, ERR_GENERAL or ERR_NO_MEMORY.
int SCR_MatchRowsToKeys(const COLSET* keys, uint32_t first, uint32_t count,
                        const std::vector<uint16_t>& keyCols, COLSET* rows,
                        std::vector<bool>* found);

#endif
