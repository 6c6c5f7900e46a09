// Installation of the cursor library in front of the agent, its own
// information answers and its per-connection state.
#include "scrs/scrframe.h"

#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/cursorlock.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "util/copyout.h"
#include "util/errcodes.h"
#include "util/garray.h"
#include "util/hash.h"

DRV_Agent SCR_SavedAgent{};
DRV_OpTable SCR_OpTable{};

namespace {

uint32_t AskInt(uint32_t h, uint32_t request, uint32_t* value) {
  uint16_t length = 0;
  *value = 0;
  return SCR_Agent().DRV_GetInfo(h, request, value, sizeof *value, &length);
}

bool AnsweredNonZero(uint32_t h, uint32_t request) {
  uint32_t v = 0;
  return AskInt(h, request, &v) == 0 && v != 0;
}

// The scroll capability text: which cursor services the agent offers.
uint32_t ScrollText(uint32_t conn, void* value, uint16_t size, uint16_t* length) {
  uint32_t three = 3;
  SCR_Agent().DRV_SetOption(conn, OPT_ODBC_VERSION, &three);
  uint32_t unused = 0;
  AskInt(conn, INFO_BEFORE_SCROLL, &unused);
  uint32_t mask = 0;
  int f[12] = {};
  if (AskInt(conn, INFO_CAPABILITY_MASK, &mask) == 0) {
    f[0] = (mask & 0x08) != 0;
    f[1] = (mask & 0x80) != 0;
    f[2] = (mask & 0x04) != 0;
    f[3] = (mask & 0x10) != 0;
    f[4] = (mask & 0x40) != 0;
    f[9] = (mask & 0x400) != 0;
    f[10] = (mask & 0x2000) != 0;
    f[11] = (mask & 0x4000) != 0;
  } else {
    f[0] = AnsweredNonZero(conn, INFO_SCROLL_CURSORS);
    f[1] = AnsweredNonZero(conn, INFO_EXECUTE_TWO_STEPS);
    f[2] = AnsweredNonZero(conn, INFO_PARAM_OPS);
    f[3] = AnsweredNonZero(conn, INFO_DYN_MIXED_CURSORS);
    f[4] = AnsweredNonZero(conn, INFO_OUT_DEFER_FETCH);
  }
  f[5] = 1;
  uint32_t commit = 0;
  f[6] = AskInt(conn, INFO_ODBC_INT | SQL_CURSOR_COMMIT_BEHAVIOR, &commit) == 0
             ? static_cast<int>(commit)
             : 0;
  f[7] = AnsweredNonZero(conn, INFO_SCROLL_FLAG_7);
  f[8] = AnsweredNonZero(conn, INFO_SCROLL_FLAG_8);
  char text[64];
  std::snprintf(text, sizeof text, "%03d.%03d:%d%d%d%d%d%d%d%d%d%d%d%d", 1, 5, f[0], f[1], f[2],
                f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11]);
  STR_CopyOut(text, static_cast<char*>(value), size, length);
  return 0;
}

// The information answers that describe what the library serves, and only
// that: static cursors with every orientation and bookmarks; keyset-driven
// and mixed cursors the same, seeing updates on refetch (a deleted row
// stays, as a hole); dynamic cursors without bookmarks, seeing additions
// and deletions too. Every kind takes read-only, lock and values concurrency
// (a statement that cannot be served so is lowered when prepared) and
// changes its rows through SQLSetPos, and by bookmark where it has them. The
// cursor type an application asks for is negotiated against the scroll
// options answered here. False for any other type.
bool LibraryAnswer(uint32_t conn, uint16_t type, uint32_t* value) {
  constexpr uint32_t kConcurrency =
      SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY;
  constexpr uint32_t kScrolls =
      SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK;
  // SQLSetPos on every kind; SQLBulkOperations where rows have bookmarks.
  constexpr uint32_t kSetPos = SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE |
                               SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH;
  constexpr uint32_t kBulk = SQL_CA1_BULK_ADD | SQL_CA1_BULK_UPDATE_BY_BOOKMARK |
                             SQL_CA1_BULK_DELETE_BY_BOOKMARK | SQL_CA1_BULK_FETCH_BY_BOOKMARK;
  switch (type) {
    case SQL_STATIC_CURSOR_ATTRIBUTES1:
    case SQL_KEYSET_CURSOR_ATTRIBUTES1: *value = kScrolls | kSetPos | kBulk; return true;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
      *value = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | kSetPos;
      return true;
    case SQL_STATIC_CURSOR_ATTRIBUTES2:
      *value = kConcurrency | SQL_CA2_MAX_ROWS_SELECT;
      return true;
    case SQL_KEYSET_CURSOR_ATTRIBUTES2:
      *value = kConcurrency | SQL_CA2_SENSITIVITY_UPDATES;
      return true;
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
      *value = kConcurrency | SQL_CA2_SENSITIVITY_ADDITIONS | SQL_CA2_SENSITIVITY_DELETIONS |
               SQL_CA2_SENSITIVITY_UPDATES;
      return true;
    case SQL_BOOKMARK_PERSISTENCE: *value = SQL_BP_SCROLL; return true;
    case SQL_POSITIONED_STATEMENTS: {
      // The library runs WHERE CURRENT OF by key on the cursors it serves,
      // whatever the data source says of its own cursors.
      uint32_t agent = 0;
      if (AskInt(conn, INFO_ODBC_INT | type, &agent) != 0) agent = 0;
      *value = agent | SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE;
      return true;
    }
    case SQL_SCROLL_OPTIONS:
    case SQL_FETCH_DIRECTION: {
      // What the agent offers, narrowed to what the library serves.
      uint32_t agent = 0;
      if (AskInt(conn, INFO_ODBC_INT | type, &agent) != 0) return false;
      *value =
          agent &
          (type == SQL_SCROLL_OPTIONS
               ? static_cast<uint32_t>(SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN |
                                       SQL_SO_DYNAMIC | SQL_SO_MIXED)
               : static_cast<uint32_t>(SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST |
                                       SQL_FD_FETCH_PRIOR | SQL_FD_FETCH_ABSOLUTE |
                                       SQL_FD_FETCH_RELATIVE | SQL_FD_FETCH_BOOKMARK));
      return true;
    }
    default: return false;
  }
}

uint32_t ConnRequest(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  if (AGT_Conn(h) == nullptr) return ERR_INVALID_ARGUMENT;
  if (request == INFO_SCROLL_TEXT) return ScrollText(h, value, size, length);
  uint32_t answer = 0;
  if ((request & 0xFFFF0000u) == INFO_ODBC_INT &&
      LibraryAnswer(h, static_cast<uint16_t>(request & 0xFFFF), &answer)) {
    if (value != nullptr && size >= sizeof answer) std::memcpy(value, &answer, sizeof answer);
    if (length != nullptr) *length = sizeof answer;
    return 0;
  }
  return SCR_Agent().DRV_GetInfo(h, request, value, size, length);
}

uint32_t StmtRequest(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  SCR_CURSOR* cur = SCR_StmtCursor(h);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  if (request == INFO_MIXED_BOOKMARK) {
    uint32_t n = 0, mark = 0;
    if (value == nullptr || size < sizeof n) return ERR_INVALID_ARGUMENT;
    std::memcpy(&n, value, sizeof n);
    if (int rc = scs_p_MixedBookmark(cur, n, &mark)) return static_cast<uint32_t>(rc);
    std::memcpy(value, &mark, sizeof mark);
    if (length != nullptr) *length = sizeof mark;
    return 0;
  }
  if (request == INFO_ADDED_BOOKMARK) {
    uint32_t n = 0;
    if (value == nullptr || size < sizeof n) return ERR_INVALID_ARGUMENT;
    std::memcpy(&n, value, sizeof n);
    const uint32_t mark = scs_p_AddedMark(cur, n);
    std::memcpy(value, &mark, sizeof mark);
    if (length != nullptr) *length = sizeof mark;
    return 0;
  }
  if (request == INFO_ADDED_ROW) {
    uint64_t mark = 0;
    if (value == nullptr || size < sizeof mark) return ERR_INVALID_ARGUMENT;
    std::memcpy(&mark, value, sizeof mark);
    const uint32_t added = scs_p_AddedKey(cur, mark) != nullptr ? 1 : 0;
    std::memcpy(value, &added, sizeof added);
    if (length != nullptr) *length = sizeof added;
    return 0;
  }
  // After a positioned change the count is the change's, whatever the
  // cursor's kind; before one, a cached result counts its rows.
  if (request == INFO_ROW_COUNT && cur->cursorType != SQL_CURSOR_FORWARD_ONLY &&
      (cur->affectedRows != -1 || (cur->flags & SCR_FLAG_RESULT_CACHED) != 0)) {
    const int32_t count = cur->affectedRows != -1 ? cur->affectedRows : cur->rowCount;
    if (length != nullptr) *length = 4;
    if (value != nullptr) std::memcpy(value, &count, sizeof count);
    return 0;
  }
  return SCR_Agent().DRV_GetInfo(h, request, value, size, length);
}

// Frees one key-column cache entry (a growable array).
int FreeKeyColumns(void* value, const void*, void*) {
  auto* arr = static_cast<GROW_ARRAY*>(value);
  ARR_Free(&arr, nullptr);
  return 0;
}

}  // namespace

void SCR_KeyColCacheClear(JdbcConn* c) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  HASH_TABLE*& keys = SCR_KeyColumnsOf(c);
  if (keys == nullptr) return;
  hash_foreach(keys, FreeKeyColumns, nullptr);
  hash_destroy(keys);
  // Without memory for a new table the connection keeps no key columns.
  keys = hash_create(101, 16);
}

SCR_CURSOR* SCR_StmtCursor(uint32_t stmt, JdbcStmt** record) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr || s->scrCursor == nullptr) return nullptr;
  auto* cur = static_cast<SCR_CURSOR*>(s->scrCursor);
  // The agent keeps the options its SetOption took; the library reads them
  // at every call rather than keeping a second copy in step.
  cur->rowsetSize = s->rowsetSize > 0 ? static_cast<uint32_t>(s->rowsetSize) : 1;
  cur->keysetSize = s->keysetSize > 0 ? static_cast<uint32_t>(s->keysetSize) : 0;
  cur->cursorType = s->cursorType;
  cur->concurrency = s->concurrency;
  cur->retrieveData = s->retrieveData;
  if (record != nullptr) *record = s;
  return cur;
}

extern "C" uint32_t SCR_GetInfo(uint32_t h, uint32_t request, void* value, uint16_t size,
                                uint16_t* length) {
  switch (request & INFO_SCOPE_MASK) {
    case INFO_SCOPE_CONN: return ConnRequest(h, request, value, size, length);
    case INFO_SCOPE_STMT: return StmtRequest(h, request, value, size, length);
    default: return SCR_Agent().DRV_GetInfo(h, request, value, size, length);
  }
}

extern "C" uint32_t SCR_Connect(uint32_t env, ConnectInfo* info, uint32_t* conn) {
  // Copied before the agent takes over the texts of the settings block.
  ConnectInfo* copy = SCR_CopyConnectInfo(info);
  if (copy == nullptr && info != nullptr) return ERR_NO_MEMORY;
  if (uint32_t rc = SCR_Agent().DRV_Connect(env, info, conn)) {
    SCR_FreeConnectInfo(copy);
    return rc;
  }
  JdbcConn* c = conn != nullptr ? AGT_Conn(*conn) : nullptr;
  JdbcEnv* e = AGT_Env(env);
  if (c == nullptr || e == nullptr) {
    SCR_FreeConnectInfo(copy);
    return ERR_INVALID_ARGUMENT;
  }
  HASH_TABLE* keys = hash_create(101, 16);
  auto* entry = new (std::nothrow) SCR_CONNENTRY{*conn, nullptr, copy};
  if (keys == nullptr || entry == nullptr) {
    if (keys != nullptr) hash_destroy(keys);
    delete entry;
    SCR_FreeConnectInfo(copy);
    return ERR_NO_MEMORY;
  }
  {
    plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
    auto** tail = reinterpret_cast<SCR_CONNENTRY**>(&SCR_ConnListOf(e));
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = entry;
    SCR_KeyColumnsOf(c) = keys;
  }
  c->env = env;
  return 0;
}

extern "C" uint32_t SCR_Disconnect(uint32_t conn) {
  JdbcConn* c = AGT_Conn(conn);
  if (c == nullptr) return ERR_INVALID_ARGUMENT;
  if (JdbcEnv* e = AGT_Env(c->env)) {
    plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
    for (auto** p = reinterpret_cast<SCR_CONNENTRY**>(&SCR_ConnListOf(e)); *p != nullptr;
         p = &(*p)->next) {
      if ((*p)->conn == conn) {
        SCR_CONNENTRY* gone = *p;
        *p = gone->next;
        SCR_FreeConnectInfo(gone->info);
        delete gone;
        break;
      }
    }
  }
  {
    plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
    HASH_TABLE*& keys = SCR_KeyColumnsOf(c);
    if (keys != nullptr) {
      hash_foreach(keys, FreeKeyColumns, nullptr);
      hash_destroy(keys);
      keys = nullptr;
    }
  }
  SCR_CatalogCacheFree(c);
  SCR_ReleaseConnStmts(c);
  return SCR_Agent().DRV_Disconnect(conn);
}
