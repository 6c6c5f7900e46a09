// Positioned UPDATE and DELETE (WHERE CURRENT OF) naming a cursor of the
// library's statements: the data source never sees that cursor, so the
// statement is run by the current row's key instead, with the
// application's values first and the key's after them.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <new>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "sqlan/sqlanalyse.h"
#include "util/errcodes.h"
#include "util/sqllex.h"

struct SCR_CURRENTOF {
  uint16_t op;       // SQL_UPDATE or SQL_DELETE
  std::string head;  // the text before WHERE CURRENT OF
  std::string name;  // the cursor named, without quotes
  bool quoted = false;
  std::string prepared;            // the text the agent holds
  ColSetPtr params;                // the application's values given before execute
  std::vector<JdbcColBind> binds;  // and their descriptions
};

namespace {

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return u;
}

size_t SkipBack(const std::string& s, size_t end) {
  while (end > 0 && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return end;
}

// Whether the word CURRENT appears in the text, in any case. Every prepared
// text passes here; only a rare one is worth more.
bool MentionsCurrent(const char* sql) {
  static const char kWord[] = "CURRENT";
  for (const char* p = sql; *p != '\0'; ++p) {
    size_t i = 0;
    // The word is all letters: a letter's case is its 0x20 bit.
    while (kWord[i] != '\0' && (p[i] == kWord[i] || p[i] == (kWord[i] | 0x20))) ++i;
    if (kWord[i] == '\0') return true;
  }
  return false;
}

// The head and cursor name of a positioned statement; false for any other.
bool Split(const char* sql, SCR_CURRENTOF* out) {
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  const int rc = SCR_AnalyseSQL(&info, sql, 0, 0);
  const uint32_t kind = info.kind;
  SCR_FreeSQLInfo(&info);
  if (rc != 0 || (kind != SCR_KIND_POS_UPDATE && kind != SCR_KIND_POS_DELETE)) return false;
  out->op = kind == SCR_KIND_POS_UPDATE ? SQL_UPDATE : SQL_DELETE;
  // Comments, which the analysis passed over, become blanks: neither the
  // head nor the cursor name takes one along.
  std::string text = sql;
  for (size_t i = 0; i < text.size();) {
    const size_t n = sqllex_QuotedLength(text.data(), text.size(), i, SQLLEX_STANDARD);
    if (n == 0) {
      ++i;
      continue;
    }
    if (text[i] == '-' || text[i] == '/') text.replace(i, n, n, ' ');
    i += n;
  }
  const std::string up = Upper(text);
  const size_t current = up.rfind("CURRENT");
  const size_t of = current == std::string::npos ? current : up.find("OF", current + 7);
  const size_t where = current == std::string::npos ? current : SkipBack(up, current);
  if (of == std::string::npos || where < 5 || up.compare(where - 5, 5, "WHERE") != 0) return false;
  out->head = text.substr(0, SkipBack(text, where - 5));
  std::string name = text.substr(of + 2);
  while (!name.empty() &&
         (std::isspace(static_cast<unsigned char>(name.back())) || name.back() == ';'))
    name.pop_back();
  size_t b = 0;
  while (b < name.size() && std::isspace(static_cast<unsigned char>(name[b]))) ++b;
  name.erase(0, b);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    out->quoted = true;
    name = name.substr(1, name.size() - 2);
  }
  out->name = name;
  return !name.empty();
}

}  // namespace

namespace {

// The name another statement's cursor answers to: its own, or the one
// made for it.
std::string NameOf(uint32_t h) {
  char buf[256] = {0};
  uint16_t len = 0;
  if (SCR_Agent().DRV_GetCursorName(h, buf, sizeof buf, &len) != 0) return std::string();
  return buf;
}

bool Names(const SCR_CURRENTOF& q, const std::string& name) {
  return q.quoted ? name == q.name : Upper(name) == Upper(q.name);
}

// The statement of the connection whose cursor the statement names, or
// null; `any` tells whether some statement has that name at all.
SCR_CURSOR* Target(const SCR_CURSOR* cur, const SCR_CURRENTOF& q, bool* any) {
  *any = false;
  JdbcConn* conn = AGT_Conn(cur->connHandle);
  if (conn == nullptr) return nullptr;
  std::vector<uint32_t> handles;
  {
    plat::Guard<plat::Mutex> g(conn->stmtLock);
    handles = conn->stmts;
  }
  for (uint32_t h : handles) {
    if (h == cur->stmtHandle || !Names(q, NameOf(h))) continue;
    *any = true;
    // Forward-only cursors too: the data source knows none by these names.
    if (SCR_CURSOR* other = SCR_StmtCursor(h)) return other;
  }
  return nullptr;
}

std::vector<JdbcColBind> Binds(const SCR_CURRENTROW& row, const COLSET* app, uint16_t count,
                               const JdbcColBind* binds) {
  std::vector<JdbcColBind> out;
  // Descriptions go all or none: the application's must come with the call.
  if (!row.needsBinding || (app != nullptr && app->cols_used > 0 && count == 0)) return out;
  out.assign(binds, binds + count);
  for (const SCR_PARAMDESC& p : row.descs)
    out.push_back({p.sqlType, 0, p.columnSize, p.decimalDigits, p.kind});
  return out;
}

}  // namespace

void SCR_CurrentOfFree(SCR_CURSOR* cur) {
  delete cur->currentOf;
  cur->currentOf = nullptr;
}

bool SCR_PrepareCurrentOf(SCR_CURSOR* cur, const char* sql, uint32_t* rc) {
  SCR_CurrentOfFree(cur);
  if (sql == nullptr || !MentionsCurrent(sql)) return false;
  auto* q = new (std::nothrow) SCR_CURRENTOF();
  if (q == nullptr) return false;
  bool any = false;
  SCR_CURSOR* target = Split(sql, q) ? Target(cur, *q, &any) : nullptr;
  // A name no statement of the library answers to is the data source's.
  if (target == nullptr && (any || q->name.empty())) {
    delete q;
    return false;
  }
  cur->currentOf = q;
  // The agent describes the application's markers from a text that
  // changes nothing should it ever run; the key condition is added when
  // the statement runs, from the row the cursor then stands on.
  const std::string probe = q->head + " WHERE 1 = 0";
  *rc = SCR_Agent().DRV_Prepare(cur->stmtHandle, probe.c_str());
  if (*rc == 0) q->prepared = probe;
  return true;
}

bool SCR_KeepCurrentOfParams(SCR_CURSOR* cur, COLSET* params) {
  if (cur->currentOf == nullptr) return false;
  cur->currentOf->params.reset(params);
  return true;
}

bool SCR_KeepCurrentOfBinds(SCR_CURSOR* cur, uint16_t count, const JdbcColBind* binds) {
  if (cur->currentOf == nullptr) return false;
  cur->currentOf->binds.assign(binds, binds + (binds != nullptr ? count : 0));
  return true;
}

bool SCR_ExecuteCurrentOf(SCR_CURSOR* cur, COLSET* params, uint16_t count, const JdbcColBind* binds,
                          uint32_t* rc) {
  SCR_CURRENTOF* q = cur->currentOf;
  if (q == nullptr) return false;
  // Descriptions given before the execution stand for the values given so.
  if (params == nullptr && count == 0 && !q->binds.empty()) {
    count = static_cast<uint16_t>(q->binds.size());
    binds = q->binds.data();
  }
  ColSetPtr app(params != nullptr ? params : q->params.release());
  bool any = false;
  SCR_CURSOR* target = Target(cur, *q, &any);
  if (target == nullptr) {
    *rc = any ? ERR_INVALID_CURSOR_STATE : ERR_INVALID_CURSOR_NAME;
    return true;
  }
  // Rows of a read-only result are never changed by key: the concurrency
  // that allows it must be asked for before the cursor's statement runs.
  if (target->concurrency == SQL_CONCUR_READ_ONLY &&
      (target->flags & SCR_FLAG_THROUGH_LIBRARY) != 0) {
    *rc = ERR_READ_ONLY_CURSOR;
    return true;
  }
  SCR_CURRENTROW row;
  if (int k = SCR_CurrentRowKeys(target, q->op, &row)) {
    *rc = static_cast<uint32_t>(k);
    return true;
  }
  const std::vector<JdbcColBind> sent = Binds(row, app.get(), count, binds);
  const std::string text = q->head + row.where;
  const DRV_OpTable& ops = SCR_Agent();
  const uint32_t stmt = cur->stmtHandle;
  *rc = 0;
  if (text != q->prepared) {
    q->prepared.clear();
    *rc = ops.DRV_Prepare(stmt, text.c_str());
    if (*rc == 0) q->prepared = text;
  }
  // The application's markers come first in the text, so its values do.
  if (*rc == 0 && app != nullptr && app->cols_used > 0) {
    if (app->rows_held != row.params->rows_held)
      *rc = ERR_NOT_CAPABLE;
    else
      *rc = static_cast<uint32_t>(ColSetMerge(row.params.get(), app.get()));
  }
  if (*rc == 0) *rc = ops.DRV_SetParams(stmt, row.params.release());
  if (*rc == 0 && !sent.empty())
    *rc = ops.DRV_BindCols(stmt, static_cast<uint16_t>(sent.size()), sent.data());
  if (*rc == 0) *rc = ops.DRV_Execute(stmt);
  if (*rc != 0 && *rc != ERR_COMPLETED_WITH_WARNING) return true;
  int32_t affected = 0;
  uint16_t length = 0;
  if (ops.DRV_GetInfo(stmt, INFO_ROW_COUNT, &affected, sizeof affected, &length) != 0) return true;
  // A row someone else changed since the fetch no longer holds the kept
  // values and is left alone, as SQLSetPos leaves it.
  const uint16_t status = affected < 1          ? SQL_ROW_ERROR
                          : q->op == SQL_UPDATE ? SQL_ROW_UPDATED
                                                : SQL_ROW_DELETED;
  SCR_CurrentRowChanged(target, row.keysetRow, status);
  if (affected < 1) {
    if (JdbcStmt* s = AGT_Stmt(stmt)) errPostIndex(&s->errors, ERR_CURSOR_CONFLICT);
    *rc = ERR_COMPLETED_WITH_WARNING;
  }
  return true;
}
