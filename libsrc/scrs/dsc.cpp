#include "scrs/dsc.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <random>
#include <string>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "platform/procinfo.h"
#include "platform/tempdir.h"
#include "scrs/colset_ops.h"
#include "scrs/rowfile.h"
#include "util/errcodes.h"
#include "util/log.h"
#include "util/utalloc.h"

namespace {

constexpr const char* kSrc = "dsc";
// Names taken by others before one is free: past this the directory is
// not one we can use.
constexpr int kNameTries = 100;
// Row numbers travel as i32 beyond the cache (window starts, positions).
constexpr uint64_t kMostRows = INT32_MAX;

// The random part of a name: the process, thread and counter already keep
// our own names apart, this keeps a guessed name from being planted first.
uint32_t NameSalt() {
  thread_local std::mt19937 gen = [] {
    uint32_t seed = static_cast<uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    try {
      seed ^= std::random_device{}();
    } catch (...) {
      // No entropy source: the clock alone still varies the names.
    }
    return std::mt19937(seed);
  }();
  return static_cast<uint32_t>(gen());
}

std::string TempName(uint32_t counter) {
  char name[96];
  snprintf(name, sizeof name, "qmrtmp%" PRIx32 "-%" PRIx64 "-%" PRIx32 "-%08" PRIx32,
           plat::process_id(), plat::thread_id(), counter, NameSalt());
  std::string path = plat::temp_dir();
  if (path != "/") path += '/';
  return path + name;
}

void CloseFiles(DSC* cache) {
  if (cache->data != nullptr) {
    fclose(cache->data);
    cache->data = nullptr;
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "DSC_Close: Closed temporary files for pDSC=%p",
                static_cast<void*>(cache));
  }
  if (cache->index != nullptr) {
    fclose(cache->index);
    cache->index = nullptr;
  }
}

// Gives `set` the columns of `from` (types and widths), no storage.
int CopyShape(COLSET* set, const COLSET* from) {
  if (int rc = ColSetInit(set, from->cols_used)) return rc;
  set->cols_used = from->cols_used;
  for (uint16_t c = 0; c < from->cols_used; ++c) {
    set->cols[c].type = from->cols[c].type;
    set->cols[c].elem_size = from->cols[c].elem_size;
  }
  return 0;
}

// Moves the rows held so far into the files: a new row file the first
// time, appended after that. The rows set is empty afterwards.
int Spill(DSC* cache, COLSET* rows) {
  if (cache->state != DSC_ON_DISK) {
    if (cache->state != DSC_FILES_OPEN && dsc_Open(cache) != 0) return ERR_GENERAL;
    if (!RF_TransferWindow(RF_WRITE, cache->data, cache->index, rows, 0, 0)) return ERR_GENERAL;
    if (int rc = CopyShape(&cache->shape, rows)) return rc;
    cache->state = DSC_ON_DISK;
  } else if (!RF_AppendRows(cache->data, cache->index, rows)) {
    return ERR_GENERAL;
  }
  ColSetFreeColumns(rows);
  return 0;
}

// One batch from the agent: straight into an empty rows set, else into a
// set of its own that is then appended. *got = the rows the agent gave.
int FetchBatch(DRV_Fetch_t fetch, uint32_t stmt, COLSET* rows, uint32_t* got) {
  *got = 0;
  if (rows->cols_used == 0 || rows->row_capacity == 0) {
    const int rc = static_cast<int>(fetch(stmt, DSC_FETCH_ROWS, rows));
    if (rc == 0) *got = rows->rows_held;
    return rc;
  }
  COLSET batch;
  int rc = static_cast<int>(fetch(stmt, DSC_FETCH_ROWS, &batch));
  if (rc == 0 && batch.rows_held > 0) {
    *got = batch.rows_held;
    rc = ColSetAppendRows(rows, &batch);
  }
  ColSetFreeColumns(&batch);
  return rc;
}

// The cache's files failed (the folder missing, not writable, full): the
// statement's diagnostic says where and why, which "general error" alone
// would leave the user to guess.
void PostFileFailure(uint32_t stmt, int err) {
  const std::string text = "Cannot use a temporary file of the cursor in " + plat::temp_dir() +
                           ": " + util_strerror(err != 0 ? err : EIO) +
                           " (set TMPDIR to a writable folder with room for the result)";
  log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "%s", text.c_str());
  if (JdbcStmt* s = AGT_Stmt(stmt)) errPostMsg(&s->errors, text.c_str(), ERR_GENERAL);
}

int FillLoop(DSC* cache, DRV_Fetch_t fetch, uint32_t stmt, COLSET* rows, uint64_t* total) {
  for (;;) {
    uint32_t got = 0;
    if (int rc = FetchBatch(fetch, stmt, rows, &got)) return rc;
    if (cache->state == DSC_ON_DISK || rows->rows_held > DSC_MEMORY_ROWS) {
      errno = 0;
      if (int rc = Spill(cache, rows)) {
        if (rc == ERR_GENERAL) PostFileFailure(stmt, errno);
        return rc;
      }
    }
    *total += got;
    if (*total > kMostRows) return ERR_GENERAL;
    if (got == 0) return 0;
  }
}

}  // namespace

void DSC_Init(DSC* cache) {
  if (cache == nullptr) return;
  cache->state = DSC_CLOSED;
  cache->data = nullptr;
  cache->index = nullptr;
  cache->window_size = DSC_MEMORY_ROWS;
  cache->row_count = 0;
  cache->shape = COLSET{};
}

void DSC_Close(DSC* cache) {
  if (cache == nullptr) return;
  CloseFiles(cache);
  ColSetFreeColumns(&cache->shape);
  cache->row_count = 0;
  cache->state = DSC_CLOSED;
}

int DSC_Fill(DSC* cache, const DRV_Agent* agent, uint32_t stmt, COLSET* rows, uint32_t* count) {
  if (count != nullptr) *count = 0;
  if (cache == nullptr || rows == nullptr) return ERR_GENERAL;
  // A refill starts from fresh files: rows appended behind an earlier
  // result's would no longer match the index.
  DSC_Close(cache);
  ColSetFreeColumns(rows);
  if (agent == nullptr || agent->ops == nullptr || agent->ops->DRV_Fetch == nullptr) {
    return ERR_GENERAL;
  }
  uint64_t total = 0;
  if (int rc = FillLoop(cache, agent->ops->DRV_Fetch, stmt, rows, &total)) {
    // Half a result is of no use to a cursor; keep nothing of it.
    ColSetFreeColumns(rows);
    DSC_Close(cache);
    return rc;
  }
  cache->row_count = static_cast<uint32_t>(total);
  if (count != nullptr) *count = cache->row_count;
  return 0;
}

int dsc_Open(DSC* cache) {
  if (cache == nullptr) return ERR_GENERAL;
  CloseFiles(cache);
  uint32_t counter = 0;
  FILE* data = DSC_CreateTempFile(&counter);
  if (data == nullptr) return ERR_GENERAL;
  FILE* index = DSC_CreateTempFile(&counter);
  if (index == nullptr) {
    fclose(data);
    return ERR_GENERAL;
  }
  cache->data = data;
  cache->index = index;
  cache->state = DSC_FILES_OPEN;
  log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "dsc_Open: Opened temporary files for pDSC=%p",
              static_cast<void*>(cache));
  return 0;
}

FILE* DSC_CreateTempFile(uint32_t* counter) {
  uint32_t local = 0;
  if (counter == nullptr) counter = &local;
  for (int tries = 0; tries < kNameTries; ++tries) {
    FILE* f = plat::open_named_temp_stream(TempName((*counter)++));
    if (f != nullptr) return f;
    if (errno != EEXIST) break;
  }
  log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "DSC_CreateTempFile: Could not create a file in %s",
              plat::temp_dir().c_str());
  return nullptr;
}

int DSC_ReadWindow(DSC* cache, COLSET* rows, uint32_t first) {
  if (cache == nullptr || rows == nullptr || cache->state != DSC_ON_DISK) return ERR_GENERAL;
  // The shape written is the shape expected back: a damaged description
  // then fails instead of sizing the window.
  if (int rc = CopyShape(rows, &cache->shape)) return rc;
  if (!RF_TransferWindow(RF_READ, cache->data, cache->index, rows, first, cache->window_size)) {
    ColSetFreeColumns(rows);
    return ERR_GENERAL;
  }
  return 0;
}

int DSC_EnsureWindow(DSC* cache, uint32_t first, uint32_t n, int32_t* window_start, COLSET* rows) {
  if (cache == nullptr || window_start == nullptr || rows == nullptr) return ERR_GENERAL;
  if (cache->state != DSC_ON_DISK) {
    // In memory every row is held from row 0 on; there is nothing to load.
    *window_start = 0;
    return 0;
  }
  if (n == 0) return 0;
  if (first >= cache->row_count) return ERR_GENERAL;
  const uint64_t want = 2 * uint64_t{n};
  const int64_t start = *window_start;
  if (start >= 0 && first >= start && want <= cache->window_size &&
      first + uint64_t{n} <= static_cast<uint64_t>(start) + cache->window_size) {
    return 0;
  }
  if (want > cache->window_size) {
    if (want > UINT32_MAX) return ERR_GENERAL;
    cache->window_size = static_cast<uint32_t>(want);
  }
  // Centred on the rows asked, so that stepping a rowset back or forth
  // stays inside the window.
  int64_t from = int64_t{first} - static_cast<int64_t>((cache->window_size - n) / 2);
  if (from < 0) from = 0;
  *window_start = DSC_NO_WINDOW;
  if (int rc = DSC_ReadWindow(cache, rows, static_cast<uint32_t>(from))) return rc;
  *window_start = static_cast<int32_t>(from);
  return 0;
}
