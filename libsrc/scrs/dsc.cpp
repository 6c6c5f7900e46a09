#include "scrs/dsc.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "platform/procinfo.h"
#include "platform/tempdir.h"
#include "scrs/colset_ops.h"
#include "scrs/dscwriter.h"
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
    uint32_t seed =
        static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
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

// The state says which files are open: none when closed, both otherwise;
// rows on disk have a shape to be read back with.
[[maybe_unused]] bool StateHolds(const DSC* cache) {
  const bool files = cache->data != nullptr && cache->index != nullptr;
  switch (cache->state) {
    case DSC_CLOSED: return cache->data == nullptr && cache->index == nullptr;
    case DSC_FILES_OPEN: return files;
    case DSC_ON_DISK: return files && cache->shape.cols_used > 0;
    default: return false;
  }
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

bool SameShape(const COLSET* a, const COLSET* b) {
  if (a->cols_used != b->cols_used) return false;
  for (uint16_t c = 0; c < a->cols_used; ++c) {
    if (a->cols[c].type != b->cols[c].type || a->cols[c].elem_size != b->cols[c].elem_size)
      return false;
  }
  return true;
}

bool IsLong(uint32_t type) {
  return type == COLSET_VT_LONGCHAR || type == COLSET_VT_LONGBINARY || type == COLSET_VT_LONGWCHAR;
}

// Room for `want` rows in every column, the rows held moved over (their
// long values with them). The capacity doubles, so that gathering a result
// batch by batch (one row at a time for long columns) copies each row a
// bounded number of times, but never past the most rows memory holds
// before the result goes to the files.
int Reserve(COLSET* set, uint32_t want, uint32_t memoryRows) {
  if (set->row_capacity >= want) return 0;
  const uint64_t kMost = uint64_t{memoryRows} + DSC_FETCH_ROWS;
  const uint64_t doubled = std::min(2 * uint64_t{set->row_capacity}, kMost);
  const auto cap = static_cast<uint32_t>(std::max<uint64_t>(want, doubled));
  std::vector<COLSET_COL> fresh(set->cols_used);
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    fresh[c] = COLSET_COL{set->cols[c].type, set->cols[c].elem_size, nullptr, nullptr};
    if (ColSetColumnAlloc(&fresh[c], cap) != 0) {
      for (uint16_t k = 0; k < c; ++k) ColSetColumnFree(&fresh[k], 0);
      return ERR_NO_MEMORY;
    }
  }
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    COLSET_COL& old = set->cols[c];
    std::memcpy(fresh[c].data, old.data, size_t{set->rows_held} * old.elem_size);
    std::memcpy(fresh[c].ind, old.ind, sizeof(uint16_t) * set->rows_held);
    ColSetColumnFree(&old, 0);  // the long values now belong to the fresh column
    old = fresh[c];
  }
  set->row_capacity = cap;
  return 0;
}

// Moves the batch's rows behind the rows gathered in memory.
int Gather(COLSET* rows, COLSET* batch, uint32_t memoryRows = DSC_MEMORY_ROWS) {
  if (!SameShape(rows, batch)) return ERR_GENERAL;
  const uint32_t held = rows->rows_held;
  const uint32_t n = batch->rows_held;
  if (uint64_t{held} + n > UINT32_MAX) return ERR_GENERAL;
  if (int rc = Reserve(rows, held + n, memoryRows)) return rc;
  for (uint16_t c = 0; c < rows->cols_used; ++c) {
    COLSET_COL& to = rows->cols[c];
    COLSET_COL& from = batch->cols[c];
    std::memcpy(to.data + size_t{held} * to.elem_size, from.data, size_t{n} * to.elem_size);
    std::memcpy(to.ind + held, from.ind, sizeof(uint16_t) * n);
    if (IsLong(from.type)) {
      // Handed over: the batch must not free them.
      for (uint32_t r = 0; r < n; ++r) {
        COLSET_LONG l;
        std::memcpy(&l, from.data + size_t{r} * sizeof l, sizeof l);
        l.value = nullptr;
        std::memcpy(from.data + size_t{r} * sizeof l, &l, sizeof l);
      }
    }
  }
  rows->rows_held = held + n;
  return 0;
}

// The fill's way into the files: the writer codes and writes the rows on
// its own thread once the files are started.
struct Writer {
  DSC* cache;
  RF_STREAM out{};
  std::unique_ptr<DscWriter> rows{};
  // Rows waiting for a batch's worth: an agent that gives long values row
  // by row would otherwise hand the writer a row at a time.
  COLSET pending{};
  ~Writer() { ColSetFreeColumns(&pending); }
};

// The result outgrew memory: the files start with the rows gathered so far,
// which stay in `rows` as the first window when keep is set (the writer
// only reads them, and the fill leaves them alone until the writer ends).
int StartFiles(Writer* w, COLSET* rows, bool keep) {
  DSC* cache = w->cache;
  if (cache->state != DSC_FILES_OPEN && dsc_Open(cache) != 0) return ERR_GENERAL;
  if (!RF_BeginFile(&w->out, cache->data, cache->index, rows)) return ERR_GENERAL;
  if (int rc = CopyShape(&cache->shape, rows)) return rc;
  w->rows.reset(new (std::nothrow) DscWriter(&w->out, cache->index));
  if (w->rows == nullptr) return ERR_NO_MEMORY;
  cache->state = DSC_ON_DISK;
  return w->rows->Put(rows, !keep);
}

int WriteBatch(Writer* w, COLSET* batch) {
  if (!SameShape(batch, &w->cache->shape)) return ERR_GENERAL;
  if (w->pending.cols_used == 0) {
    w->pending = *batch;
    *batch = COLSET{};
  } else if (int rc = Gather(&w->pending, batch)) {
    return rc;
  }
  return w->pending.rows_held < DSC_FETCH_ROWS ? 0 : w->rows->Put(&w->pending, true);
}

// The cache's files failed (the folder missing, not writable, full): the
// statement's diagnostic says where and why, which "general error" alone
// would leave the user to guess.
void PostFileFailure(uint32_t stmt, int err) {
  const std::string text = "Cannot use a temporary file of the cursor in " + plat::temp_dir() +
                           ": " + util_strerror(err) +
                           " (set TMPDIR to a writable folder with room for the result)";
  log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "%s", text.c_str());
  if (JdbcStmt* s = AGT_Stmt(stmt)) errPostMsg(&s->errors, text.c_str(), ERR_GENERAL);
}

// The errno of a failed file operation: the writer's, else the fill's own.
int FileError(const Writer& w) {
  const int err = w.rows != nullptr ? w.rows->Failure() : 0;
  return err != 0 ? err : errno;
}

// Batches from the agent as they come: gathered in memory up to the
// memory limit, then handed to the writer one by one while the next is
// fetched.
// The rows of this shape the cache keeps in memory.
uint32_t MemoryRows(const DSC* cache, const COLSET* shape) {
  uint64_t width = 0;
  for (uint16_t c = 0; c < shape->cols_used; ++c) width += shape->cols[c].elem_size + 2;
  if (cache->memory_bytes == 0 || width == 0) return cache->memory_rows;
  return static_cast<uint32_t>(std::min<uint64_t>(
      UINT32_MAX / 2, std::max<uint64_t>(cache->memory_rows, cache->memory_bytes / width)));
}

// A row the agent failed alone stands in blank at cache row `row`, the
// records the agent posted for it kept with it: 0, or the fetch's code
// when there is no row to stand in.
int StandIn(DSC* cache, uint32_t stmt, uint64_t row, COLSET* into) {
  if (into->cols_used == 0 || into->row_capacity == 0 || row >= kMostRows ||
      !DSC_TakeFailure(stmt, static_cast<uint32_t>(row), &cache->failed))
    return ERR_ROW_ERROR;
  for (uint16_t c = 0; c < into->cols_used; ++c) into->cols[c].ind[0] = COLSET_IND_NULL;
  into->rows_held = 1;
  return 0;
}

int FillLoop(DSC* cache, DRV_Fetch_t fetch, uint32_t stmt, COLSET* rows, bool keep,
             uint64_t* total) {
  Writer w{cache};
  COLSET batch;
  int rc = 0;
  for (;;) {
    const bool straight = cache->state != DSC_ON_DISK && rows->cols_used == 0;
    COLSET* into = straight ? rows : &batch;
    rc = static_cast<int>(fetch(stmt, DSC_FETCH_ROWS, into));
    if (rc == ERR_ROW_ERROR && cache->keep_failed) rc = StandIn(cache, stmt, *total, into);
    const uint32_t got = into->cols_used == 0 ? 0 : into->rows_held;
    if (rc != 0 || got == 0) break;
    *total += got;
    if (*total > kMostRows) {
      rc = ERR_GENERAL;
      break;
    }
    errno = 0;
    if (cache->state == DSC_ON_DISK) {
      rc = WriteBatch(&w, &batch);
    } else {
      const uint32_t memoryRows = MemoryRows(cache, rows);
      if (!straight) rc = Gather(rows, &batch, memoryRows);
      if (rc == 0 && rows->rows_held > memoryRows) rc = StartFiles(&w, rows, keep);
    }
    if (rc == ERR_GENERAL && FileError(w) != 0) PostFileFailure(stmt, FileError(w));
    ColSetFreeColumns(&batch);
    if (rc != 0) break;
  }
  ColSetFreeColumns(&batch);
  if (w.rows != nullptr && rc == 0) {
    errno = 0;
    if (w.pending.rows_held > 0) rc = w.rows->Put(&w.pending, true);
    if (rc == 0) rc = w.rows->Finish();
    if (rc != 0 && FileError(w) != 0) PostFileFailure(stmt, FileError(w));
  }
  // A failed fill drops what still waits to be written.
  w.rows.reset();
  if (rc == 0 && cache->state == DSC_ON_DISK &&
      !RF_EndFile(&w.out, cache->index, cache->shape.cols_used, static_cast<uint32_t>(*total))) {
    rc = ERR_GENERAL;
  }
  return rc;
}

}  // namespace

void DSC_Init(DSC* cache) {
  if (cache == nullptr) return;
  cache->state = DSC_CLOSED;
  cache->data = nullptr;
  cache->index = nullptr;
  cache->window_size = DSC_MEMORY_ROWS;
  cache->memory_rows = DSC_MEMORY_ROWS;
  cache->memory_bytes = 0;
  cache->row_count = 0;
  cache->shape = COLSET{};
  cache->keep_failed = false;
  cache->failed.clear();
}

void DSC_Close(DSC* cache) {
  if (cache == nullptr) return;
  CloseFiles(cache);
  ColSetFreeColumns(&cache->shape);
  cache->row_count = 0;
  cache->failed.clear();
  cache->state = DSC_CLOSED;
}

bool DSC_TakeFailure(uint32_t stmt, uint32_t row, std::vector<DSC_FAILED_ROW>* into) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr) return false;
  try {
    DSC_FAILED_ROW failed{row, {}};
    for (const AgentError* r = s->errors.head; r != nullptr; r = r->next)
      failed.records.push_back(
          {r->message, r->state != nullptr ? r->state : "", r->native, r->ownState});
    into->push_back(std::move(failed));
  } catch (const std::bad_alloc&) {
    return false;
  }
  errClear(&s->errors);
  return true;
}

const DSC_FAILED_ROW* DSC_FailedRow(const DSC* cache, uint32_t row) {
  if (cache == nullptr) return nullptr;
  const auto at = std::lower_bound(cache->failed.begin(), cache->failed.end(), row,
                                   [](const DSC_FAILED_ROW& f, uint32_t r) { return f.row < r; });
  return at != cache->failed.end() && at->row == row ? &*at : nullptr;
}

void DSC_PostFailedRow(const DSC_FAILED_ROW& failed, uint32_t rowsetRow, ErrorList* list) {
  for (const DSC_FAILED_ROW::Record& r : failed.records) {
    AgentError* e = errNewRec(r.message.c_str(), r.native, r.state.c_str());
    if (e == nullptr) continue;
    e->ownState = r.ownState;
    e->row = rowsetRow;
    errAppend(list, e);
  }
}

int DSC_Fill(DSC* cache, const DRV_Agent* agent, uint32_t stmt, COLSET* rows, uint32_t* count,
             bool keep_first) {
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
  if (int rc = FillLoop(cache, agent->ops->DRV_Fetch, stmt, rows, keep_first, &total)) {
    // Half a result is of no use to a cursor; keep nothing of it.
    ColSetFreeColumns(rows);
    DSC_Close(cache);
    return rc;
  }
  cache->row_count = static_cast<uint32_t>(total);
  if (count != nullptr) *count = cache->row_count;
  // A result goes to the files only once it outgrew memory, and one kept in
  // memory is all in `rows`.
  assert(StateHolds(cache));
  assert(cache->state == DSC_ON_DISK
             ? total > cache->memory_rows
             : cache->state == DSC_CLOSED && total <= MemoryRows(cache, rows) &&
                   (rows->cols_used == 0 ? 0 : rows->rows_held) == total);
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
  if (cache == nullptr) return ERR_GENERAL;
  return DSC_ReadRows(cache, rows, first, cache->window_size);
}

int DSC_ReadRows(DSC* cache, COLSET* rows, uint32_t first, uint32_t n) {
  if (cache == nullptr || rows == nullptr || cache->state != DSC_ON_DISK ||
      first >= cache->row_count) {
    return ERR_GENERAL;
  }
  assert(StateHolds(cache));
  n = std::min(n, cache->row_count - first);
  // The rows take the shape that was written, kept in memory: nothing read
  // back from the files sizes them.
  if (int rc = ColSetAlloc(&rows, &cache->shape, n)) return rc;
  if (!RF_ReadRows(cache->data, cache->index, rows, first, n, cache->row_count)) {
    ColSetFreeColumns(rows);
    return ERR_GENERAL;
  }
  rows->rows_held = n;
  return 0;
}

int DSC_ReadRowsDeferred(DSC* cache, COLSET* rows, uint32_t first, uint32_t n, RF_RAWROWS* raw) {
  if (cache == nullptr || rows == nullptr || raw == nullptr || cache->state != DSC_ON_DISK ||
      first >= cache->row_count) {
    return ERR_GENERAL;
  }
  assert(StateHolds(cache));
  n = std::min(n, cache->row_count - first);
  if (int rc = ColSetAlloc(&rows, &cache->shape, n)) return rc;
  if (!RF_ReadRowsDeferred(cache->data, cache->index, rows, first, n, cache->row_count, raw)) {
    ColSetFreeColumns(rows);
    return ERR_GENERAL;
  }
  rows->rows_held = n;
  return 0;
}

int DSC_ReadLong(DSC* cache, uint32_t row, uint16_t col, COLSET_LONG* out) {
  if (cache == nullptr || out == nullptr || col >= cache->shape.cols_used) return ERR_GENERAL;
  COLSET one;
  RF_RAWROWS raw;
  int rc = DSC_ReadRowsDeferred(cache, &one, row, 1, &raw);
  if (rc == 0 && !RF_LongFromRaw(&raw, 0, col, cache->shape.cols[col].type, out)) rc = ERR_GENERAL;
  ColSetFreeColumns(&one);
  return rc;
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
  // The window loaded holds every row asked that the cache has.
  assert(first >= from && std::min<uint64_t>(first + uint64_t{n}, cache->row_count) <=
                              static_cast<uint64_t>(from) + rows->rows_held);
  return 0;
}
