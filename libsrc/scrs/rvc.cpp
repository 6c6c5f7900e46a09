// The row-version table QMRRVC: secondary connections, the statements on
// the table and the row digests.
#include "scrs/rvc.h"
#include "drv_jdbc/agent_codes.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "platform/random.h"
#include "scrs/colset_ops.h"
#include "scrs/cursorlock.h"
#include "scrs/scrframe.h"
#include "util/errcodes.h"
#include "util/log.h"
#include "util/md5.h"

// One secondary connection, owned by its environment's list.
struct RVC_ENTRY {
  uint32_t conn;
  uint32_t stmt;
  uint32_t refs GUARDED_BY(scr_RvcLock);
  RVC_ENTRY* next GUARDED_BY(scr_RvcLock);
};

// The secondary connections of one agent environment (JdbcEnv::rvcList),
// made with the first registration and freed with the last entry.
struct RVC_LIST {
  DRV_Agent agent;  // reaches the agent itself, not the library's hooks
  JdbcEnv* env;     // holds the list; outlives it
  RVC_ENTRY* first GUARDED_BY(scr_RvcLock);
};

namespace {

constexpr const char* kSrc = "sc_s";
constexpr uint32_t kHandleDigits = 8;

// Values always go as parameters; the texts hold no value of their own.
constexpr const char* kDelete = "DELETE FROM QMRRVC WHERE HCONN = ? AND HCURS = ?";
constexpr const char* kSelect =
    "SELECT ROWVER FROM QMRRVC WHERE HCONN = ? AND HCURS = ? AND KEYVER = ?";
constexpr const char* kUpdate =
    "UPDATE QMRRVC SET ROWVER = ? WHERE HCONN = ? AND HCURS = ? AND KEYVER = ?";
// The column list keeps the insert right whatever order the user's table
// has its columns in.
constexpr const char* kInsert =
    "INSERT INTO QMRRVC (HCONN, HCURS, KEYVER, ROWVER) VALUES (?, ?, ?, ?)";

const DRV_OpTable& Ops(const RVC_LINK* link) { return *link->list->agent.ops; }

std::string HandleText(uint32_t value) {
  char text[kHandleDigits + 1];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::string DigestText(const unsigned char* digest) {
  char text[RVC_DIGEST_TEXT];
  RVC_HexEncode(digest, RVC_DIGEST_SIZE, text, sizeof text, nullptr);
  return text;
}

// Appends every record of `from` to `to` and empties `from`.
void MoveList(ErrorList* from, ErrorList* to) {
  while (AgentError* rec = from->head) {
    from->head = rec->next;
    rec->next = nullptr;
    errAppend(to, rec);
  }
}

// The diagnostics a failed secondary connect left on the environment.
void MoveEnvErrors(JdbcEnv* env, uint32_t stmt) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s == nullptr) return;
  plat::Guard<plat::RecursiveMutex> g(env->cs);
  MoveList(&env->errors, &s->errors);
}

// One row of text parameters, in marker order: a new set that the agent
// takes over with DRV_SetParams.
COLSET* NewParams(std::initializer_list<const std::string*> values) {
  ColSetPtr set(new (std::nothrow) COLSET());
  const auto n = static_cast<uint16_t>(values.size());
  if (set == nullptr || ColSetInit(set.get(), n) != 0) return nullptr;
  uint16_t c = 0;
  for (const std::string* v : values) {
    const uint32_t width = ColSetTypeSize(COLSET_VT_CHAR16, static_cast<uint32_t>(v->size()) + 1);
    set->cols[c++] = COLSET_COL{COLSET_VT_CHAR16, width, nullptr, nullptr};
  }
  set->cols_used = n;
  if (ColSetSetRows(set.get(), 1) != 0) return nullptr;
  c = 0;
  for (const std::string* v : values) {
    COLSET_COL& col = set->cols[c++];
    const auto len = static_cast<uint16_t>(v->size());
    std::memcpy(col.data, &len, sizeof len);
    std::memcpy(col.data + sizeof len, v->c_str(), v->size() + 1);
    col.ind[0] = 0;
  }
  set->rows_held = 1;
  return set.release();
}

// Hands one parameter row (with its types when the agent needs them) to the
// secondary statement and executes it.
uint32_t Execute(const RVC_LINK* link, std::initializer_list<const std::string*> values) {
  const DRV_OpTable& ops = Ops(link);
  COLSET* params = NewParams(values);
  if (params == nullptr) return ERR_NO_MEMORY;
  if (uint32_t rc = ops.DRV_SetParams(link->secondaryStmt, params)) return rc;
  if (link->needsBinding != 0) {
    std::vector<JdbcColBind> binds;
    for (const std::string* v : values)
      binds.push_back({SQL_CHAR, SQL_C_CHAR, static_cast<uint32_t>(v->size()), 0, 1});
    if (uint32_t rc = ops.DRV_BindCols(link->secondaryStmt, static_cast<uint16_t>(binds.size()),
                                       binds.data()))
      return rc;
  }
  return ops.DRV_Execute(link->secondaryStmt);
}

uint32_t Prepare(const RVC_LINK* link, const char* sql) {
  return Ops(link).DRV_Prepare(link->secondaryStmt, sql);
}

// The rows changed by the last execution, 0 when the agent cannot tell.
uint32_t AffectedRows(const RVC_LINK* link, uint32_t* count) {
  uint16_t length = 0;
  *count = 0;
  return Ops(link).DRV_GetInfo(link->secondaryStmt, INFO_ROW_COUNT, count, sizeof *count, &length);
}

// Takes the list's entry of a secondary statement out when its last link
// goes; the list goes with its last entry.
RVC_ENTRY* Release(RVC_LIST* list, uint32_t stmt) REQUIRES(scr_RvcLock) {
  for (RVC_ENTRY** p = &list->first; *p != nullptr; p = &(*p)->next) {
    RVC_ENTRY* e = *p;
    if (e->stmt != stmt) continue;
    if (--e->refs > 0) return nullptr;
    *p = e->next;
    if (list->first == nullptr) {
      SCR_RvcListOf(list->env) = nullptr;
      delete list;
    }
    return e;
  }
  return nullptr;
}

// Null when the environment's list cannot be made.
RVC_LIST* Append(JdbcEnv* env, const DRV_Agent* agent, RVC_ENTRY* entry) REQUIRES(scr_RvcLock) {
  auto* list = static_cast<RVC_LIST*>(SCR_RvcListOf(env));
  if (list == nullptr) {
    list = new (std::nothrow) RVC_LIST{*agent, env, entry};
    SCR_RvcListOf(env) = list;
  } else {
    RVC_ENTRY** tail = &list->first;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = entry;
  }
  return list;
}

// A copy of the information the cursor's connection was opened with, or
// null (*found tells why).
ConnectInfo* ConnectInfoOf(JdbcEnv* env, uint32_t conn, bool* found) {
  plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
  for (auto* e = static_cast<SCR_CONNENTRY*>(SCR_ConnListOf(env)); e != nullptr; e = e->next) {
    if (e->conn != conn || e->info == nullptr) continue;
    *found = true;
    return SCR_CopyConnectInfo(e->info);
  }
  *found = false;
  return nullptr;
}

// Opens the secondary connection and its statement; on failure the agent's
// diagnostics go to the cursor's statement and nothing stays open.
uint32_t OpenSecondary(const DRV_OpTable& ops, uint32_t envHandle, JdbcEnv* env, ConnectInfo* info,
                       uint32_t cursorStmt, uint32_t* conn, uint32_t* stmt) {
  // The table is the library's bookkeeping: it commits on its own, whatever
  // the application's transaction and access mode.
  info->readOnly = 0;
  if (info->settings != nullptr) info->settings->noAutoCommit = 0;
  uint32_t rc = ops.DRV_Connect(envHandle, info, conn);
  if (rc != 0) {
    MoveEnvErrors(env, cursorStmt);
    return rc;
  }
  rc = ops.DRV_AllocStmt(*conn, stmt);
  if (rc != 0) {
    JdbcConn* c = AGT_Conn(*conn);
    JdbcStmt* s = AGT_Stmt(cursorStmt);
    if (c != nullptr && s != nullptr) MoveList(&c->errors, &s->errors);
    ops.DRV_Disconnect(*conn);
  }
  return rc;
}

// The keep mark of a statement's error list: while set, posting adds to the
// records already there instead of replacing them.
void SetKeepErrors(uint32_t stmt, uint32_t keep) {
  if (JdbcStmt* s = AGT_Stmt(stmt)) s->errors.keep = keep;
}

void ReportMissingTable(const RVC_LINK* link) {
  SetKeepErrors(link->stmt, 1);
  RVC_MoveErrors(link);
  if (JdbcStmt* s = AGT_Stmt(link->stmt)) errPostIndex(&s->errors, ERR_NO_ROW_VERSION_TABLE);
  SetKeepErrors(link->stmt, 0);
}

// Digests of n rows of a set, 16 bytes each.
int Digests(const COLSET* set, uint32_t n, std::vector<unsigned char>* out) {
  out->assign(static_cast<size_t>(n) * RVC_DIGEST_SIZE, 0);
  for (uint32_t i = 0; i < n; ++i) {
    if (int rc = RVC_RowVersion(set, i, out->data() + static_cast<size_t>(i) * RVC_DIGEST_SIZE))
      return rc;
  }
  return 0;
}

// The ROWVER value read back as 8-bit text. A connection that reads
// text wide hands it over in UTF-16, which would never compare equal
// byte for byte with the digits just computed.
uint32_t StoredText(const COLSET& got, std::string* out) {
  unsigned char bytes[4 * RVC_DIGEST_SIZE] = {};
  uint32_t len = sizeof bytes;
  if (int rc = ColSetValueLength(&got, 0, 0, bytes, &len)) return static_cast<uint32_t>(rc);
  const uint32_t t = got.cols[0].type;
  const bool wide = t == COLSET_VT_WCHAR || t == COLSET_VT_WNTS || t == COLSET_VT_WCHAR32;
  for (uint32_t i = 0; i < len; i += wide ? 2 : 1) {
    if (wide && (i + 1 >= len || bytes[i + 1] != 0)) break;
    if (bytes[i] == 0) break;
    out->push_back(static_cast<char>(bytes[i]));
  }
  while (!out->empty() && out->back() == ' ') out->pop_back();
  return 0;
}

// The stored ROWVER of one key against the new row version: the row's
// status, or a failure.
uint32_t Compare(const RVC_LINK* link, const std::string& hconn, const std::string& hcurs,
                 const std::string& key, const std::string& row, uint16_t* status) {
  if (uint32_t rc = Execute(link, {&hconn, &hcurs, &key})) return rc;
  COLSET got{};
  uint32_t rc = Ops(link).DRV_Fetch(link->secondaryStmt, 2, &got);
  if (rc == 0) {
    if (got.rows_held > 1) {
      log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "QMRRVC holds two versions of key %s",
                  key.c_str());
      rc = ERR_GENERAL;
    } else if (got.rows_held == 0) {
      *status = SQL_ROW_ADDED;
    } else {
      std::string stored;
      rc = got.cols_used > 0 ? StoredText(got, &stored) : ERR_GENERAL;
      if (rc == 0) *status = stored == row ? SQL_ROW_SUCCESS : SQL_ROW_UPDATED;
    }
  }
  ColSetFreeColumns(&got);
  return rc;
}

// Records the versions of the rows seen for the first time (status
// SQL_ROW_ADDED). The first failure stops; the rows after it keep theirs.
uint32_t InsertNew(const RVC_LINK* link, const std::string& hconn, const std::string& hcurs,
                   const std::vector<unsigned char>& keys, const std::vector<unsigned char>& rows,
                   uint16_t* statuses, uint32_t n) {
  if (uint32_t rc = Prepare(link, kInsert)) return rc;
  for (uint32_t i = 0; i < n; ++i) {
    if (statuses[i] != SQL_ROW_ADDED) continue;
    statuses[i] = SQL_ROW_ERROR;
    const std::string key = DigestText(keys.data() + static_cast<size_t>(i) * RVC_DIGEST_SIZE);
    const std::string row = DigestText(rows.data() + static_cast<size_t>(i) * RVC_DIGEST_SIZE);
    if (uint32_t rc = Execute(link, {&hconn, &hcurs, &key, &row})) return rc;
    statuses[i] = SQL_ROW_SUCCESS;
  }
  return 0;
}

uint32_t Check(RVC_LINK* link, const COLSET* keys, const COLSET* rows, uint16_t* statuses,
               uint32_t n) {
  if (keys == nullptr || keys->rows_held < n || statuses == nullptr) return ERR_GENERAL;
  std::vector<unsigned char> keyVersions, rowVersions;
  if (int rc = Digests(keys, n, &keyVersions)) return static_cast<uint32_t>(rc);
  if (int rc = Digests(rows, n, &rowVersions)) return static_cast<uint32_t>(rc);
  const std::string hconn = HandleText(link->hconn), hcurs = HandleText(link->hcurs);
  if (uint32_t rc = Prepare(link, kSelect)) return rc;
  uint32_t changed = 0, added = 0, rc = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const std::string key = DigestText(keyVersions.data() + size_t{i} * RVC_DIGEST_SIZE);
    const std::string row = DigestText(rowVersions.data() + size_t{i} * RVC_DIGEST_SIZE);
    uint16_t status = SQL_ROW_SUCCESS;
    rc = Compare(link, hconn, hcurs, key, row, &status);
    if (rc != 0) break;
    statuses[i] = status;
    changed += status == SQL_ROW_UPDATED;
    added += status == SQL_ROW_ADDED;
  }
  // An open result keeps the table locked on some databases (Derby holds
  // its read locks until the autocommit that closing the result brings).
  if (Ops(link).DRV_CloseCursor != nullptr) Ops(link).DRV_CloseCursor(link->secondaryStmt);
  if (rc != 0) return rc;
  if (changed > 0) {
    if (int rc = RVC_UpdateVersion(link, keyVersions.data(), rowVersions.data(), statuses, n))
      return static_cast<uint32_t>(rc);
  }
  return added > 0 ? InsertNew(link, hconn, hcurs, keyVersions, rowVersions, statuses, n) : 0;
}

}  // namespace

int RVC_Register(RVC_LINK* link, const DRV_Agent* agent, uint32_t conn, uint32_t stmt,
                 uint32_t needsBinding) {
  if (link == nullptr || agent == nullptr || agent->ops == nullptr) return ERR_GENERAL;
  RVC_Unregister(link);
  JdbcConn* c = AGT_Conn(conn);
  JdbcEnv* env = c != nullptr ? AGT_Env(c->env) : nullptr;
  if (env == nullptr) return ERR_GENERAL;
  bool found = false;
  std::unique_ptr<ConnectInfo, void (*)(ConnectInfo*)> info(ConnectInfoOf(env, conn, &found),
                                                            SCR_FreeConnectInfo);
  if (!found) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "RVC_Register: connection %08X not known",
                static_cast<unsigned>(conn));
    return ERR_GENERAL;
  }
  if (info == nullptr) return ERR_NO_MEMORY;
  auto* entry = new (std::nothrow) RVC_ENTRY{0, 0, 1, nullptr};
  if (entry == nullptr) return ERR_NO_MEMORY;
  // The connect runs outside the list's lock: it may take the agent's own
  // locks and talk to the server for long.
  if (uint32_t rc =
          OpenSecondary(*agent->ops, c->env, env, info.get(), stmt, &entry->conn, &entry->stmt)) {
    delete entry;
    return static_cast<int>(rc);
  }
  RVC_LIST* list = nullptr;
  {
    plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
    list = Append(env, agent, entry);
  }
  if (list == nullptr) {
    agent->ops->DRV_FreeStmt(entry->stmt);
    agent->ops->DRV_Disconnect(entry->conn);
    delete entry;
    return ERR_NO_MEMORY;
  }
  // Handle numbers repeat in every process; the per-process value keeps two
  // applications' rows apart, and mixing it in keeps every live cursor of
  // this process distinct.
  const uint64_t salt = plat::process_random();
  *link = RVC_LINK{list,
                   conn,
                   stmt,
                   conn ^ static_cast<uint32_t>(salt),
                   stmt ^ static_cast<uint32_t>(salt >> 32),
                   entry->stmt,
                   needsBinding};
  return 0;
}

int RVC_Unregister(RVC_LINK* link) {
  if (link == nullptr || link->list == nullptr) return 0;
  const DRV_OpTable* ops = link->list->agent.ops;
  RVC_ENTRY* gone = nullptr;
  {
    plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
    gone = Release(link->list, link->secondaryStmt);
  }
  *link = RVC_LINK{};
  if (gone != nullptr) {
    ops->DRV_FreeStmt(gone->stmt);
    ops->DRV_Disconnect(gone->conn);
    delete gone;
  }
  return 0;
}

int RVC_DeleteCursor(RVC_LINK* link) {
  if (link == nullptr || link->list == nullptr) return ERR_GENERAL;
  const std::string hconn = HandleText(link->hconn), hcurs = HandleText(link->hcurs);
  uint32_t rc = Prepare(link, kDelete);
  if (rc == 0) rc = Execute(link, {&hconn, &hcurs});
  if (rc != 0) ReportMissingTable(link);
  return static_cast<int>(rc);
}

int RVC_CheckVersion(RVC_LINK* link, const COLSET* keys, const COLSET* rows, uint16_t* statuses) {
  if (link == nullptr || link->list == nullptr || rows == nullptr) return ERR_GENERAL;
  const uint32_t n = rows->rows_held;
  if (n == 0) return 0;
  const uint32_t rc = Check(link, keys, rows, statuses, n);
  if (rc != 0) RVC_MoveErrors(link);
  return static_cast<int>(rc);
}

int RVC_UpdateVersion(RVC_LINK* link, const unsigned char* keyVersions,
                      const unsigned char* rowVersions, uint16_t* statuses, uint32_t count) {
  if (link == nullptr || link->list == nullptr || keyVersions == nullptr ||
      rowVersions == nullptr || statuses == nullptr)
    return ERR_GENERAL;
  const std::string hconn = HandleText(link->hconn), hcurs = HandleText(link->hcurs);
  if (uint32_t rc = Prepare(link, kUpdate)) return static_cast<int>(rc);
  uint32_t last = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (statuses[i] != SQL_ROW_UPDATED) continue;
    const std::string row = DigestText(rowVersions + size_t{i} * RVC_DIGEST_SIZE);
    const std::string key = DigestText(keyVersions + size_t{i} * RVC_DIGEST_SIZE);
    uint32_t affected = 0;
    last = Execute(link, {&row, &hconn, &hcurs, &key});
    if (last == 0) last = AffectedRows(link, &affected);
    if (last != 0 || affected < 1) statuses[i] = SQL_ROW_ERROR;
  }
  return static_cast<int>(last);
}

int RVC_RowVersion(const COLSET* set, uint32_t row, unsigned char out[RVC_DIGEST_SIZE]) {
  if (set == nullptr || row >= set->rows_held || (set->cols_used > 0 && set->cols == nullptr))
    return ERR_GENERAL;
  uint32_t widest = 0;
  for (uint16_t c = 0; c < set->cols_used; ++c) widest = std::max(widest, set->cols[c].elem_size);
  std::vector<unsigned char> value;
  try {
    value.resize(widest);
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  }
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    const COLSET_COL& col = set->cols[c];
    if (col.type == COLSET_VT_LONGCHAR || col.type == COLSET_VT_LONGBINARY ||
        col.type == COLSET_VT_LONGWCHAR)
      continue;
    if (col.ind == nullptr) return ERR_GENERAL;
    // Each value framed by NULL-ness and length: ("ab", "c") and
    // ("a", "bc") must not meet, nor NULL and the empty text.
    const unsigned char present = col.ind[row] != COLSET_IND_NULL;
    uint32_t len = present ? col.elem_size : 0;
    if (present && len > 0) {
      if (int rc = ColSetValueLength(set, row, c, value.data(), &len)) return rc;
    }
    const unsigned char frame[5] = {
        present, static_cast<unsigned char>(len), static_cast<unsigned char>(len >> 8),
        static_cast<unsigned char>(len >> 16), static_cast<unsigned char>(len >> 24)};
    MD5Update(&ctx, frame, sizeof frame);
    if (len > 0) MD5Update(&ctx, value.data(), len);
  }
  MD5Final(out, &ctx);
  return 0;
}

void RVC_HexEncode(const unsigned char* bytes, uint32_t count, char* text, uint32_t size,
                   uint32_t* length) {
  static const char kDigits[] = "0123456789ABCDEF";
  uint32_t n = count;
  if (size < 2 * uint64_t{count} + 1) n = size == 0 ? 0 : (size - 1) / 2;
  for (uint32_t i = 0; i < n; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
  }
  if (size > 0) text[2 * n] = '\0';
  if (length != nullptr) *length = 2 * n;
}

void RVC_MoveErrors(const RVC_LINK* link) {
  if (link == nullptr || link->list == nullptr) return;
  uint32_t secondaryConn = 0;
  {
    plat::Guard<plat::RecursiveMutex> g(scr_RvcLock);
    for (const RVC_ENTRY* e = link->list->first; e != nullptr; e = e->next) {
      if (e->stmt == link->secondaryStmt) secondaryConn = e->conn;
    }
  }
  JdbcStmt* cursor = AGT_Stmt(link->stmt);
  JdbcStmt* secondary = AGT_Stmt(link->secondaryStmt);
  JdbcConn* conn = secondaryConn != 0 ? AGT_Conn(secondaryConn) : nullptr;
  if (cursor == nullptr || secondary == nullptr || conn == nullptr) return;
  MoveList(&secondary->errors, &cursor->errors);
  MoveList(&conn->errors, &cursor->errors);
}
