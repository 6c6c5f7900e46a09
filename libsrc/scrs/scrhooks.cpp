// The statement hooks: where the library serves a cursor itself and where
// it only passes the call on. Forward-only statements go straight to the
// agent; static read-only cursors and catalog results are served from the
// dataset cache.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <new>
#include <vector>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/colset_ops.h"
#include "scrs/ksblock.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcombined.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";
constexpr uint32_t kMaxAgentRows = 0xFFFF;

bool StaticReadOnly(const SCR_CURSOR* cur) {
  return cur->cursorType == SQL_CURSOR_STATIC && cur->concurrency == SQL_CONCUR_READ_ONLY;
}

// A new result replaces the old: no cached rows, no keys, no position, no
// count.
void DropResult(SCR_CURSOR* cur) {
  scs_p_StaticClose(cur);
  if (cur->analysis != nullptr && cur->analysis->keyset) {
    KS_Close(cur->analysis->keyset.get());
    KS_DropMarks(cur->analysis->keyset.get());
    cur->analysis->keyset->scrollState = KS_BLOCK_NONE;
  }
  if (cur->analysis != nullptr) cur->analysis->forward.row.reset();
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_RESULT_CACHED);
  SCR_ResetRowPos(cur);
}

// The parameters an execution comes with: handed with the call itself, or
// earlier through the set-parameters hook.
struct GivenParams {
  bool withCall = false;
  const COLSET* params = nullptr;
  uint16_t count = 0;
  const JdbcColBind* binds = nullptr;
};

// The generated statements send the application's values of this
// execution, never those of an earlier one.
void KeepGivenParams(SCR_CURSOR* cur, const GivenParams& given) {
  if (cur->analysis == nullptr) return;
  if (given.withCall) {
    KS_KeepAppParams(cur, given.params);
    if (given.count > 0) KS_KeepAppBinds(cur, given.count, given.binds);
  } else if (!cur->analysis->appParamsFresh) {
    KS_KeepAppParams(cur, nullptr);
  }
  cur->analysis->appParamsFresh = false;
}

// What must hold before the agent executes: the cursor kinds the library
// cannot serve yet say so here, before anything runs.
int BeforeExecute(SCR_CURSOR* cur, const char* text, const GivenParams& given = {}) {
  cur->affectedRows = -1;
  cur->flags |= SCR_FLAG_THROUGH_LIBRARY;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_CLOSED);
  DropResult(cur);
  if (cur->cursorType == SQL_CURSOR_FORWARD_ONLY) {
    scs_p_AnalyseForward(cur, text);
    return 0;
  }
  if (cur->kind == SCR_KIND_NOT_ANALYSED) {
    if (int rc = scs_p_AnalyseStmt(cur, text)) return rc;
  }
  if (int rc = scs_p_ReanalyseIfChanged(cur)) return rc;
  if (int rc = SCR_RenewRowVersions(cur)) return rc;
  KeepGivenParams(cur, given);
  // A static cursor with lock or values concurrency reads its result at the
  // first fetch, its values or locks with it.
  if (cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN && cur->keysetSize == 0 &&
      cur->kind == static_cast<int32_t>(SCR_KIND_SELECT))
    return KS_GetKeySet_KSD(cur);
  return 0;
}

// A statement other than a SELECT that gave a result after all (a call, a
// text the analyser does not know) has no keys to read its rows by: the
// result is served as a static, read-only cursor, and the application is
// told so as it would have been at preparation.
uint32_t LowerForResult(SCR_CURSOR* cur, JdbcStmt* s, uint32_t rc) {
  if (cur->cursorType == SQL_CURSOR_FORWARD_ONLY || StaticReadOnly(cur) ||
      cur->kind == static_cast<int32_t>(SCR_KIND_SELECT) || (s->flags & STMT_RESULT_SET) == 0)
    return rc;
  if (int lowered = scs_p_ChangeCursorType(cur)) return static_cast<uint32_t>(lowered);
  errPostIndex(&s->errors, ERR_VALUE_CHANGED);
  return rc == 0 ? ERR_COMPLETED_WITH_WARNING : rc;
}

// After the agent executed: a static read-only result is read whole into
// the cache. The agent's warning or pending output values stay the answer.
uint32_t AfterExecute(SCR_CURSOR* cur, JdbcStmt* s, uint32_t rc) {
  if (rc != 0 && rc != ERR_COMPLETED_WITH_WARNING && rc != ERR_OUTPUT_VALUES) return rc;
  rc = LowerForResult(cur, s, rc);
  if (StaticReadOnly(cur) && (s->flags & STMT_RESULT_SET) != 0) {
    if (int fill = scs_p_StaticFill(cur)) return static_cast<uint32_t>(fill);
  }
  return rc;
}

// The records the agent posted for a row that failed name its rowset row.
void MarkRow(ErrorList* errors, uint32_t row) {
  for (AgentError* r = errors->head; r != nullptr; r = r->next)
    if (r->row == 0) r->row = row;
}

// Drops the records that name no row: a failure after the rows of a rowset
// ends the rowset, and comes again at the next fetch.
void DropUnmarked(ErrorList* errors) {
  AgentError** at = &errors->head;
  while (*at != nullptr) {
    AgentError* r = *at;
    if (r->row != 0) {
      at = &r->next;
      continue;
    }
    *at = r->next;
    r->next = nullptr;
    ErrorList one{0, r, nullptr};
    errClear(&one);
  }
}

// One fetch of a forward-only rowset into `into`, which has room for one
// row at least: a row that failed (ERR_ROW_ERROR) stands in the rowset
// blank, its records kept with its rowset row, and the fetch goes on after
// it. The rows it brought.
uint32_t FetchForwardPart(uint32_t stmt, JdbcStmt* s, uint32_t got, uint32_t ask, COLSET* into,
                          std::vector<uint32_t>* failed, uint32_t* rc) {
  *rc = SCR_Agent().DRV_Fetch(stmt, static_cast<uint16_t>(std::min(ask, kMaxAgentRows)), into);
  if (*rc == 0) return into->rows_held;
  if (*rc != ERR_ROW_ERROR || s == nullptr || into->row_capacity == 0) return 0;
  *rc = 0;
  into->rows_held = 1;
  failed->push_back(got + 1);
  MarkRow(&s->errors, got + 1);
  // The next row's failure must not clear this one's records.
  s->errors.keep = 1;
  return 1;
}

// Forward-only rowsets go to the agent straight into the rowset's values;
// the agent may hand fewer rows than asked before the end (a row with a
// long value comes alone), so it is asked until the rowset is full or a
// fetch brings nothing. A failed row has the status SQL_ROW_ERROR and the
// rows after it follow.
uint32_t FetchForward(uint32_t stmt, SCR_CURSOR* cur, ROWSTATUS* rs) {
  const uint32_t want = cur->rowsetSize;
  JdbcStmt* s = AGT_Stmt(stmt);
  const uint32_t keep = s != nullptr ? s->errors.keep : 0;
  std::vector<uint32_t> failed;
  uint32_t rc = 0;
  uint32_t got = FetchForwardPart(stmt, s, 0, want, rs->rows, &failed, &rc);
  while (rc == 0 && got > 0 && got < want) {
    COLSET more{};
    const uint32_t n = FetchForwardPart(stmt, s, got, want - got, &more, &failed, &rc);
    if (n > 0) rc = static_cast<uint32_t>(ColSetAppendRows(rs->rows, &more));
    ColSetFreeColumns(&more);
    if (n == 0) break;
    got += n;
  }
  if (s != nullptr) {
    s->errors.keep = keep;
    // The rows so far go out; what failed after them comes again.
    if (rc != 0 && got > 0 && !failed.empty()) {
      DropUnmarked(&s->errors);
      rc = 0;
    }
  }
  for (uint32_t r = 1; rc == 0 && r <= got; ++r) SCR_SetRowStatusAt(rs, r, SQL_ROW_SUCCESS);
  for (uint32_t r : failed)
    if (rc == 0) SCR_SetRowStatusAt(rs, r, SQL_ROW_ERROR);
  // A positioned statement changes the rowset's first row.
  if (scs_p_ForwardKeeps(cur)) scs_p_ForwardKeep(cur, rc == 0 ? rs->rows : nullptr, 0);
  return rc;
}

uint32_t FetchByKind(uint32_t stmt, SCR_CURSOR* cur, ROWSTATUS* rs, int32_t start,
                     uint16_t orientation) {
  switch (cur->cursorType) {
    case SQL_CURSOR_FORWARD_ONLY: return FetchForward(stmt, cur, rs);
    case SQL_CURSOR_STATIC:
      if (orientation == SQL_FETCH_BOOKMARK)
        return static_cast<uint32_t>(scs_p_FetchAddedRowset(cur, rs, static_cast<uint32_t>(start)));
      return static_cast<uint32_t>(scs_p_FetchStatic(cur, rs, start));
    case SQL_CURSOR_KEYSET_DRIVEN:
      if (cur->keysetSize == 0 && orientation == SQL_FETCH_BOOKMARK)
        return static_cast<uint32_t>(scs_p_FetchAddedRowset(cur, rs, static_cast<uint32_t>(start)));
      if (cur->keysetSize == 0) return static_cast<uint32_t>(scs_p_FetchKeyset(cur, rs, start));
      if (orientation == 0) return ERR_NOT_CAPABLE;
      return static_cast<uint32_t>(scs_p_FetchMixed(cur, start, orientation, rs));
    case SQL_CURSOR_DYNAMIC:
      if (orientation == 0) return ERR_NOT_CAPABLE;
      return static_cast<uint32_t>(scs_p_FetchDynamic(cur, start, orientation, rs));
    default: return ERR_NOT_CAPABLE;
  }
}

// A catalog result can only be static and read-only when it scrolls: a
// keyset or dynamic request, or one for locks, is lowered here and the
// driver reads the options back.
void CatalogCursor(uint32_t stmt) {
  JdbcStmt* s = nullptr;
  SCR_CURSOR* cur = SCR_StmtCursor(stmt, &s);
  if (cur == nullptr) return;
  if (cur->cursorType != SQL_CURSOR_FORWARD_ONLY) {
    s->cursorType = SQL_CURSOR_STATIC;
    s->concurrency = SQL_CONCUR_READ_ONLY;
    cur->cursorType = SQL_CURSOR_STATIC;
    cur->concurrency = SQL_CONCUR_READ_ONLY;
  }
  cur->affectedRows = -1;
  DropResult(cur);
}

template <DRV_CatalogSlot Slot>
uint32_t Catalog(uint32_t stmt, const void* args) {
  CatalogCursor(stmt);
  const DRV_Catalog_t op = reinterpret_cast<DRV_Catalog_t>(DRV_Slot(&SCR_Agent(), Slot));
  return op != nullptr ? op(stmt, args) : ERR_NOT_CAPABLE;
}

}  // namespace

int SCR_StmtInit(SCR_CURSOR* cur, uint32_t stmt, uint32_t conn, JdbcStmt* owner) {
  return SCR_CursorStateInit(cur, stmt, conn, &SCR_SavedAgent, owner);
}

void SCR_StmtRelease(SCR_CURSOR* cur) {
  // The versions of a dynamic cursor's rows go with the cursor.
  if (cur->rvcLink.list != nullptr) {
    RVC_DeleteCursor(&cur->rvcLink);
    RVC_Unregister(&cur->rvcLink);
  }
  RowStatusFree(&cur->rowStatus);
  SCR_LongDataFree(cur);
  SCR_CurrentOfFree(cur);
  SCR_AnalysisFree(cur);
  scs_p_StaticFree(cur);
}

void SCR_ReleaseConnStmts(JdbcConn* conn) {
  plat::Guard<plat::Mutex> g(conn->stmtLock);
  for (uint32_t h : conn->stmts) {
    JdbcStmt* s = AGT_Stmt(h);
    if (s == nullptr || s->scrCursor == nullptr) continue;
    auto* cur = static_cast<SCR_CURSOR*>(s->scrCursor);
    SCR_StmtRelease(cur);
    delete cur;
    s->scrCursor = nullptr;
  }
}

extern "C" {

uint32_t SCR_AllocStmt(uint32_t conn, uint32_t* stmt) {
  if (uint32_t rc = SCR_Agent().DRV_AllocStmt(conn, stmt)) return rc;
  JdbcStmt* s = AGT_Stmt(*stmt);
  auto* cur = s != nullptr ? new (std::nothrow) SCR_CURSOR() : nullptr;
  int rc = cur == nullptr ? ERR_NO_MEMORY : SCR_StmtInit(cur, *stmt, conn, s);
  if (rc != 0) {
    if (cur != nullptr) SCR_StmtRelease(cur);
    delete cur;
    SCR_Agent().DRV_FreeStmt(*stmt);
    *stmt = 0;
    return static_cast<uint32_t>(rc);
  }
  s->scrCursor = cur;
  return 0;
}

uint32_t SCR_FreeStmt(uint32_t stmt) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  if (auto* cur = static_cast<SCR_CURSOR*>(s->scrCursor)) {
    SCR_StmtRelease(cur);
    delete cur;
    s->scrCursor = nullptr;
  }
  return SCR_Agent().DRV_FreeStmt(stmt);
}

uint32_t SCR_Prepare(uint32_t stmt, const char* sql) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  cur->affectedRows = -1;
  DropResult(cur);
  uint32_t held = 0;
  if (SCR_PrepareCurrentOf(cur, sql, &held)) return held;
  if (uint32_t rc = SCR_Agent().DRV_Prepare(stmt, sql)) return rc;
  cur->kind = SCR_KIND_NOT_ANALYSED;
  if (int rc = scs_p_AnalyseStmt(cur, sql)) return static_cast<uint32_t>(rc);
  cur->flags |= SCR_FLAG_THROUGH_LIBRARY;
  return 0;
}

// The agent keeps its prepared statement, its values and its descriptions
// across a closed cursor, so nothing needs to be kept here to prepare the
// statement again: the values and descriptions go straight on.
// The cursor library keeps a copy of each for its own statements.
uint32_t SCR_SetParams(uint32_t stmt, COLSET* params) {
  if (SCR_CURSOR* cur = SCR_StmtCursor(stmt)) {
    if (SCR_KeepCurrentOfParams(cur, params)) return 0;
    KS_KeepAppParams(cur, params);
  }
  return SCR_Agent().DRV_SetParams(stmt, params);
}

uint32_t SCR_BindCols(uint32_t stmt, uint16_t count, const JdbcColBind* binds) {
  if (SCR_CURSOR* cur = SCR_StmtCursor(stmt)) {
    if (SCR_KeepCurrentOfBinds(cur, count, binds)) return 0;
    KS_KeepAppBinds(cur, count, binds);
  }
  return SCR_Agent().DRV_BindCols(stmt, count, binds);
}

uint32_t SCR_Execute(uint32_t stmt) {
  JdbcStmt* s = nullptr;
  SCR_CURSOR* cur = SCR_StmtCursor(stmt, &s);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  uint32_t positioned = 0;
  if (SCR_ExecuteCurrentOf(cur, nullptr, 0, nullptr, &positioned)) return positioned;
  if ((s->flags & STMT_PREPARED) == 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "execute without prior prepare");
    return ERR_FUNCTION_SEQUENCE;
  }
  // Before the text is read: preparing it again replaces it.
  if (int rc = KS_RunAsWritten(cur, true)) return static_cast<uint32_t>(rc);
  if (int rc = BeforeExecute(cur, s->sql)) return static_cast<uint32_t>(rc);
  return AfterExecute(cur, s, SCR_Agent().DRV_Execute(stmt));
}

uint32_t SCR_PrepareExecute(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                            const JdbcColBind* binds) {
  JdbcStmt* s = nullptr;
  SCR_CURSOR* cur = SCR_StmtCursor(stmt, &s);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  uint32_t positioned = 0;
  if (sql != nullptr) {
    cur->kind = SCR_KIND_NOT_ANALYSED;
    if (SCR_PrepareCurrentOf(cur, sql, &positioned) && positioned != 0) {
      if (params != nullptr) SCR_Agent().DRV_SetParams(stmt, params);
      return positioned;
    }
  }
  if (SCR_ExecuteCurrentOf(cur, params, count, binds, &positioned)) return positioned;
  GivenParams given;
  given.withCall = true;
  given.params = params;
  given.count = count;
  given.binds = binds;
  if (int rc = KS_RunAsWritten(cur, sql == nullptr)) return static_cast<uint32_t>(rc);
  if (int rc = BeforeExecute(cur, sql != nullptr ? sql : s->sql, given)) {
    // The value set is the agent's whatever happens.
    if (params != nullptr) SCR_Agent().DRV_SetParams(stmt, params);
    return static_cast<uint32_t>(rc);
  }
  // The analysis may have changed the text the statement runs.
  const char* run = sql != nullptr && scs_p_ExecText(cur) != nullptr ? scs_p_ExecText(cur) : sql;
  return AfterExecute(cur, s, SCR_Agent().DRV_PrepareExecute(stmt, run, params, count, binds));
}

uint32_t SCR_Fetch(uint32_t stmt, uint16_t n, COLSET* set) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  if (n > 0 && scs_p_ForwardKeeps(cur)) {
    // One row at a time: the row the application reads is the last one
    // handed over, and a positioned statement changes that one.
    const uint32_t rc = SCR_Agent().DRV_Fetch(stmt, 1, set);
    scs_p_ForwardKeep(cur, rc == 0 ? set : nullptr, 0);
    return rc;
  }
  if (cur->cursorType != SQL_CURSOR_STATIC || n == 0) return SCR_Agent().DRV_Fetch(stmt, n, set);
  if (set == nullptr) return ERR_INVALID_ARGUMENT;
  COLSET* out = set;
  return static_cast<uint32_t>(scs_p_FetchStaticNext(cur, n, &out));
}

uint32_t SCR_CloseCursor(uint32_t stmt) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  cur->flags |= SCR_FLAG_CLOSED;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_THROUGH_LIBRARY);
  DropResult(cur);
  // The versions of a closed result say nothing of the next one, and its
  // secondary connection need not stay open meanwhile.
  if (cur->rvcLink.list != nullptr) {
    RVC_DeleteCursor(&cur->rvcLink);
    RVC_Unregister(&cur->rvcLink);
    cur->flags |= SCR_FLAG_RVC_RENEW;
  }
  return SCR_Agent().DRV_CloseCursor(stmt);
}

uint32_t SCR_MoreResults(uint32_t stmt) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  const bool possible = cur->cursorType == SQL_CURSOR_FORWARD_ONLY ||
                        (StaticReadOnly(cur) && (cur->flags & SCR_FLAG_RESULT_CACHED) == 0);
  DropResult(cur);
  if (!possible) return ERR_NO_MORE_RESULTS;
  return SCR_Agent().DRV_MoreResults(stmt);
}

uint32_t SCR_GetTypeInfo(uint32_t stmt, int16_t type) {
  CatalogCursor(stmt);
  return SCR_Agent().DRV_DDGetTypeInfo != nullptr ? SCR_Agent().DRV_DDGetTypeInfo(stmt, type)
                                                  : ERR_NOT_CAPABLE;
}

uint32_t SCR_FetchScroll(uint32_t stmt, ROWSTATUS** out, int32_t start, uint32_t* fetched,
                         uint32_t* count, uint16_t orientation) {
  if (out == nullptr || fetched == nullptr || count == nullptr) return ERR_INVALID_ARGUMENT;
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  if ((cur->flags & SCR_FLAG_THROUGH_LIBRARY) == 0 && cur->cursorType != SQL_CURSOR_FORWARD_ONLY &&
      !StaticReadOnly(cur))
    return ERR_INVALID_CURSOR_STATE;
  cur->affectedRows = -1;
  *fetched = 0;
  // The rowset handed out last, when the caller gives it back, is used
  // again: its record and statuses as they are, its values' storage kept
  // by the keyset for the rows to come.
  ROWSTATUS* rs = *out;
  *out = nullptr;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_FIRST_STANDS_IN);
  uint32_t rc = 0;
  if (rs != nullptr && rs->rows != nullptr && rs->statuses != nullptr &&
      rs->count == cur->rowsetSize) {
    std::fill(rs->statuses, rs->statuses + rs->count, static_cast<uint16_t>(SQL_ROW_NOROW));
    KS_KeepSpare(cur->analysis != nullptr ? cur->analysis->keyset.get() : nullptr, rs->rows);
  } else {
    RowStatusFree(&rs);
    rc = static_cast<uint32_t>(RowStatusCreate(&rs, cur->rowsetSize));
  }
  if (rc == 0) rc = FetchByKind(stmt, cur, rs, start, orientation);
  *count = static_cast<uint32_t>(cur->rowCount);
  const bool standsIn = rc == 0 && (cur->flags & SCR_FLAG_FIRST_STANDS_IN) != 0;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_FIRST_STANDS_IN);
  if (rc != 0) {
    RowStatusFree(&rs);
    return rc;
  }
  *fetched = rs->rows != nullptr ? rs->rows->rows_held : 0;
  if (cur->retrieveData == SQL_RD_OFF && rs->rows != nullptr) ColSetFreeColumns(rs->rows);
  if (*fetched == 0) {
    RowStatusFree(&rs);
    return ERR_NO_DATA_FOUND;
  }
  RowStatusFree(out);
  *out = rs;
  SCR_SetRowPos(cur, 1);
  return standsIn ? ERR_FETCH_BEFORE_FIRST_ROWSET : 0;
}

uint32_t SCR_ExtendedFetch(uint32_t stmt, ROWSTATUS** out, int32_t start, uint32_t* fetched,
                           uint32_t* count) {
  return SCR_FetchScroll(stmt, out, start, fetched, count, 0);
}

// In scrposop.cpp.
uint32_t SCR_SetPos(uint32_t, int32_t, uint16_t, uint16_t, uint16_t**, uint32_t*, COLSET*,
                    uint16_t*, uint16_t);
uint32_t SCR_BulkOperations(uint32_t, uint16_t, const uint64_t*, uint32_t, COLSET*, uint16_t*,
                            uint16_t, uint16_t**, uint32_t*, ROWSTATUS**);

// A change the cursor makes to its rows, or a row read again, leaves the
// rows read ahead old.
static void DropAhead(uint32_t stmt) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur != nullptr && cur->analysis != nullptr) KS_DropAhead(cur->analysis->keyset.get());
}

static uint32_t SetPosHook(uint32_t stmt, int32_t row, uint16_t op, uint16_t lock,
                           uint16_t** statuses, uint32_t* count, COLSET* params, uint16_t* list,
                           uint16_t nlist) {
  DropAhead(stmt);
  return SCR_SetPos(stmt, row, op, lock, statuses, count, params, list, nlist);
}

static uint32_t BulkHook(uint32_t stmt, uint16_t op, const uint64_t* bookmarks, uint32_t rows,
                         COLSET* params, uint16_t* list, uint16_t nlist, uint16_t** statuses,
                         uint32_t* count, ROWSTATUS** fetched) {
  DropAhead(stmt);
  return SCR_BulkOperations(stmt, op, bookmarks, rows, params, list, nlist, statuses, count,
                            fetched);
}

}  // extern "C"

void SCR_InstallHooks(DRV_OpTable* t) {
  t->DRV_GetInfo = SCR_GetInfo;
  t->DRV_Connect = SCR_Connect;
  t->DRV_Disconnect = SCR_Disconnect;
  t->DRV_AllocStmt = SCR_AllocStmt;
  t->DRV_FreeStmt = SCR_FreeStmt;
  t->DRV_Prepare = SCR_Prepare;
  t->DRV_SetParams = SCR_SetParams;
  t->DRV_Execute = SCR_Execute;
  t->DRV_BindCols = SCR_BindCols;
  t->DRV_Fetch = SCR_Fetch;
  t->DRV_CloseCursor = SCR_CloseCursor;
  t->DRV_MoreResults = SCR_MoreResults;
  t->DRV_DDColumnPrivileges = Catalog<DRV_SLOT_COLUMN_PRIVILEGES>;
  t->DRV_DDColumns = Catalog<DRV_SLOT_COLUMNS>;
  t->DRV_DDForeignKeys = Catalog<DRV_SLOT_FOREIGN_KEYS>;
  t->DRV_DDPrimaryKeys = Catalog<DRV_SLOT_PRIMARY_KEYS>;
  t->DRV_DDProcedureColumns = Catalog<DRV_SLOT_PROCEDURE_COLUMNS>;
  t->DRV_DDProcedures = Catalog<DRV_SLOT_PROCEDURES>;
  t->DRV_DDSpecialColumns = Catalog<DRV_SLOT_SPECIAL_COLUMNS>;
  t->DRV_DDStatistics = Catalog<DRV_SLOT_STATISTICS>;
  t->DRV_DDTablePrivileges = Catalog<DRV_SLOT_TABLE_PRIVILEGES>;
  t->DRV_DDTables = Catalog<DRV_SLOT_TABLES>;
  t->DRV_DDGetTypeInfo = SCR_GetTypeInfo;
  t->DRV_ExtendedFetch = SCR_ExtendedFetch;
  t->DRV_SetPos = SetPosHook;
  t->DRV_FetchScroll = SCR_FetchScroll;
  t->DRV_BulkOperations = BulkHook;
  t->DRV_PrepareExecute = SCR_PrepareExecute;
  t->DRV_ExecDescribe = SCR_ExecDescribe;
  t->DRV_AllocPrepare = SCR_AllocPrepare;
  t->DRV_FetchDescribe = SCR_FetchDescribe;
  t->DRV_FetchScrollRow = SCR_FetchScrollRow;
  t->DRV_GetCachedData = SCR_GetCachedData;
  t->DRV_GetData = SCR_GetData;
  t->DRV_ExecBatch = SCR_ExecBatch;
  t->DRV_ExecDescribeAttr = SCR_ExecDescribeAttr;
  t->DRV_Execute2 = SCR_Execute2;
  t->DRV_BindColsEx = SCR_BindColsEx;
}
