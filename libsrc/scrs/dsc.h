// The dataset cache: a whole result read once from the agent and kept for
// scrolling. Up to DSC_MEMORY_ROWS rows stay in memory in the caller's row
// set; a larger result goes wholly into a pair of temporary row files
// (scrs/rowfile.h) and comes back through a window of rows.
//
// Rows of the cache count from 0. A window start is the cache row held in
// row 0 of the row set; -1 says that no window is loaded.
//
// A cache belongs to one statement and takes no locks of its own; while a
// fill writes the files, a writer thread (scrs/dscwriter.h) codes and writes
// the rows, and it has ended when DSC_Fill returns. Results are internal
// codes: 0, ERR_GENERAL for missing records, a closed cache, a read past the
// last row and any file failure, ERR_NO_MEMORY, or the agent's own code.
#ifndef QMR_SCRS_DSC_H
#define QMR_SCRS_DSC_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "scrs/rowfile.h"
#include "util/colset.h"

enum : uint32_t {
  DSC_CLOSED = 0,      // no files; the rows, if any, are in memory
  DSC_FILES_OPEN = 1,  // the temporary files are open, nothing written yet
  DSC_ON_DISK = 2      // the rows are in the files
};

constexpr uint32_t DSC_MEMORY_ROWS = 5000;  // most rows kept in memory
constexpr uint16_t DSC_FETCH_ROWS = 200;    // rows asked of the agent at a time
constexpr int32_t DSC_NO_WINDOW = -1;       // window start: no window loaded

struct ErrorList;

// A row the agent failed while a fill read it (a getter refused one of its
// values): it stands in the cache blank, every value NULL, and what the
// database said of it is kept, to be said again by every rowset holding it.
struct DSC_FAILED_ROW {
  struct Record {
    std::string message;
    std::string state;
    int32_t native;
    uint8_t ownState;
  };
  uint32_t row;  // cache row
  std::vector<Record> records;
};

struct DSC {
  uint32_t state;        // DSC_CLOSED, DSC_FILES_OPEN, DSC_ON_DISK
  FILE* data;            // row data file
  FILE* index;           // row index file
  uint32_t window_size;  // rows read back at a time: DSC_MEMORY_ROWS, or twice the largest request
  // Rows a fill keeps in memory before it goes to the files: DSC_MEMORY_ROWS,
  // or as many as memory_bytes holds of the result's rows when that is more.
  uint32_t memory_rows;
  uint64_t memory_bytes;
  uint32_t row_count;  // rows the last fill read, in memory or on disk
  COLSET shape;        // on disk: the rows' column types and widths (no storage)
  // A fill stands a failed row in (else the failure ends it); the rows it
  // stood in, by ascending row.
  bool keep_failed;
  std::vector<DSC_FAILED_ROW> failed;
};

// Readies a fresh (zeroed or closed) cache: closed, window and memory
// DSC_MEMORY_ROWS, no memory in bytes, failed rows ending a fill.
void DSC_Init(DSC* cache);

// Closes the files (their names were removed at creation, so nothing is
// left behind), forgets the shape, the row count and the failed rows;
// state DSC_CLOSED.
// The window size and the memory bounds stay. Null is ignored.
void DSC_Close(DSC* cache);

// Reads the whole result of the agent statement with the agent's DRV_Fetch,
// DSC_FETCH_ROWS rows at a time, until a fetch gives no rows. The cache is
// closed and `rows` emptied first. A result of at most the cache's memory
// rows is left in `rows` (state DSC_CLOSED); a larger one is written to the
// files (state DSC_ON_DISK) as it comes, and `rows` left empty, or with
// keep_first holding the first rows (a window from row 0, at least
// the memory rows); rows go to the files a batch (DSC_FETCH_ROWS rows)
// at a time while the agent fetches the next. *count (when not null) gets
// the number of rows. With keep_failed, a row the agent fails alone
// (ERR_ROW_ERROR) stands in as a DSC_FAILED_ROW, taking the records the
// agent posted for it off the statement, and the fill goes on.
// On any failure everything made here is freed: `rows` is empty, the files
// are closed, *count is 0.
int DSC_Fill(DSC* cache, const DRV_Agent* agent, uint32_t stmt, COLSET* rows, uint32_t* count,
             bool keep_first = false);

// Takes the records the agent statement posted for a row it failed alone
// into a new failed row `row` at the end of *into; false when there is no
// such statement or memory runs out.
bool DSC_TakeFailure(uint32_t stmt, uint32_t row, std::vector<DSC_FAILED_ROW>* into);

// The failed row that cache row `row` is, or null.
const DSC_FAILED_ROW* DSC_FailedRow(const DSC* cache, uint32_t row);

// Posts the records of a failed row on an agent list, naming rowset row
// `rowsetRow` (1-based).
void DSC_PostFailedRow(const DSC_FAILED_ROW& failed, uint32_t rowsetRow, ErrorList* list);

// Creates both temporary files: state DSC_FILES_OPEN, 0; ERR_GENERAL (and
// no file open) when either cannot be made.
int dsc_Open(DSC* cache);

// A new private temporary file in plat::temp_dir() (mode 0600, exclusive,
// no symbolic link followed, close-on-exec), its name removed at once, as a
// read-write stream; null when it cannot be made. *counter numbers the
// names and is advanced; the names also carry the process, the thread and a
// random part, and a name that exists already is passed over.
FILE* DSC_CreateTempFile(uint32_t* counter);

// Loads the window of rows first.. (at most window_size rows) from the
// files into `rows`. ERR_GENERAL for a cache not on disk, first past the
// last row, or a file failure (`rows` is then empty).
int DSC_ReadWindow(DSC* cache, COLSET* rows, uint32_t first);

// Reads cache rows first..first+n-1 (as far as the cache has them) into
// `rows`, reshaped to the cache's columns: only those rows are read, found
// through the index. ERR_GENERAL for a cache not on disk, first past the
// last row, or a file failure (`rows` is then empty).
int DSC_ReadRows(DSC* cache, COLSET* rows, uint32_t first, uint32_t n);

// DSC_ReadRows with the long values left in the files: their cells come
// out COLSET_IND_DEFERRED, and the rows' bytes go to *raw, from which
// RF_LongFromRaw decodes one value when it is asked for.
int DSC_ReadRowsDeferred(DSC* cache, COLSET* rows, uint32_t first, uint32_t n, RF_RAWROWS* raw);

// The long value of column col of cache row `row`, read from the files
// into *out (a new buffer the caller frees). ERR_GENERAL for a cache not on
// disk, a row past the last, a column that is not long or holds no value,
// or a file failure.
int DSC_ReadLong(DSC* cache, uint32_t row, uint16_t col, COLSET_LONG* out);

// Makes sure `rows` holds cache rows first..first+n-1 (as far as the cache
// has them). A cache in memory holds all its rows at window start 0 and is
// never reloaded. On disk, a window that does not hold them, or a request
// of more than half the window size, loads a new window centred on the
// rows (the window size growing to 2n when that is larger), and
// *window_start follows it; a failed load leaves *window_start -1.
int DSC_EnsureWindow(DSC* cache, uint32_t first, uint32_t n, int32_t* window_start, COLSET* rows);

#endif
