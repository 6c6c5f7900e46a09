// The analysis of a statement prepared for a keyset-driven or dynamic
// cursor: whether the library can serve it, and what it needs to read rows
// by key. A statement it cannot serve as asked is lowered to a static,
// read-only cursor, and the requested options come back at the next
// preparation.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstring>
#include <new>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "scrs/ksrun.h"
#include "scrs/rvc.h"
#include "scrs/scranalysis.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "scrs/scrvalues.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "sc_s";
constexpr uint16_t kAdjustFromAnalysis = 0x1000;

// A dynamic cursor records the versions of its rows in the row-version
// table through a link of its own.
int RegisterRowVersions(SCR_CURSOR* cur) {
  return RVC_Register(&cur->rvcLink, &SCR_SavedAgent, cur->connHandle, cur->stmtHandle,
                      cur->analysis->needsBinding);
}

uint32_t AskInfo(uint32_t conn, uint16_t type) {
  uint32_t v = 0;
  uint16_t len = 0;
  SCR_AgentInfo(&SCR_SavedAgent, conn, type, &v, sizeof v, &len);
  return v;
}

std::string AskText(uint32_t conn, uint16_t type) {
  char buf[256] = {};
  uint16_t len = 0;
  if (SCR_Agent().DRV_GetInfo(conn, INFO_ODBC_TEXT | type, buf, sizeof buf, &len) != 0) return "";
  buf[sizeof buf - 1] = '\0';
  return buf;
}

// A static cursor needs the analysis only for the values and locks it
// takes by key.
bool Scrolls(const SCR_CURSOR* cur) {
  return cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN || cur->cursorType == SQL_CURSOR_DYNAMIC ||
         (cur->cursorType == SQL_CURSOR_STATIC && cur->concurrency != SQL_CONCUR_READ_ONLY);
}

uint32_t AskInt(uint32_t conn, uint32_t request) {
  uint32_t v = 0;
  uint16_t len = 0;
  return SCR_Agent().DRV_GetInfo(conn, request, &v, sizeof v, &len) == 0 ? v : 0;
}

bool BeginsWithSelect(const char* text) {
  while (*text != '\0' && std::isspace(static_cast<unsigned char>(*text))) ++text;
  static const char kWord[] = "SELECT";
  for (int i = 0; i < 6; ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != kWord[i]) return false;
  return true;
}

void SetAdjust(SCR_CURSOR* cur, bool on) {
  JdbcStmt* s = AGT_Stmt(cur->stmtHandle);
  if (s == nullptr) return;
  if (on)
    s->optionBits |= kAdjustFromAnalysis;
  else
    s->optionBits &= static_cast<uint16_t>(~kAdjustFromAnalysis);
}

// The options a downgrade lowered are asked for again, unless the
// application changed them since.
void RestoreOptions(SCR_CURSOR* cur) {
  if ((cur->flags & SCR_FLAG_OPTIONS_CHANGED) == 0) return;
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_OPTIONS_CHANGED);
  uint32_t type = cur->cursorTypeRequested, conc = cur->concurrencyRequested;
  if (cur->cursorType == SQL_CURSOR_STATIC &&
      SCR_Agent().DRV_SetOption(cur->stmtHandle, OPT_CURSOR_TYPE, &type) == 0)
    cur->cursorType = type;
  if (cur->concurrency == SQL_CONCUR_READ_ONLY &&
      SCR_Agent().DRV_SetOption(cur->stmtHandle, OPT_CONCURRENCY, &conc) == 0)
    cur->concurrency = conc;
}

// The results of the previous analysis go; its flags stay, for a
// positioned statement that follows the SELECT.
void ReleaseResults(SCR_ANALYSIS* a) {
  const uint32_t aux = a->auxStmt, values = a->valuesStmt, refetch = a->refetchStmt;
  const uint16_t flags = a->flags;
  const uint32_t valuesMode = a->valuesMode;
  *a = SCR_ANALYSIS{};
  a->auxStmt = aux;
  a->valuesStmt = values;
  a->refetchStmt = refetch;
  a->flags = flags;
  a->valuesMode = valuesMode;
}

int AllocPrivate(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  if (a.auxStmt == 0 && SCR_Agent().DRV_AllocStmt(cur->connHandle, &a.auxStmt) != 0)
    return ERR_GENERAL;
  if (a.valuesStmt == 0 && SCR_Agent().DRV_AllocStmt(cur->connHandle, &a.valuesStmt) != 0)
    return ERR_GENERAL;
  if (cur->cursorType == SQL_CURSOR_DYNAMIC && a.rowVersion != 0 && cur->rvcLink.list == nullptr)
    return RegisterRowVersions(cur);
  return 0;
}

// Cursor options are for results. A statement that is not a SELECT runs as
// asked; only one whose result the agent describes already is lowered to
// the static, read-only cursor it can scroll as (one that shows a result
// only when it runs is lowered then, `SCR_Execute`).
int NotSelect(SCR_CURSOR* cur) {
  cur->analysis->flags = SCR_NOT_SELECT;
  uint16_t n = 0;
  JdbcColDesc* descs = nullptr;
  const uint32_t rc = SCR_Agent().DRV_NumResultCols(cur->stmtHandle, &n, &descs);
  // Parameter descriptions of a call ("*I", "*O" ...) are no result.
  const bool result = rc == 0 && n > 0 && descs != nullptr && descs[0].name[0] != '*';
  ColDescFree(descs, n);
  return result ? scs_p_ChangeCursorType(cur) : 0;
}

// A SELECT the analyser cannot read is served as a static, read-only
// cursor, never left keyset-driven; the agent's own preparation or
// execution judges the text, and judges any other text too.
int Unparsed(SCR_CURSOR* cur, const SCR_SQLINFO& info, const char* text) {
  log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "SCR_AnalyseSQL failed: %s", text);
  log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "%s", info.errmsg != nullptr ? info.errmsg : "");
  log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "%s", info.result != nullptr ? info.result : "");
  return BeginsWithSelect(text) ? scs_p_ChangeCursorType(cur) : NotSelect(cur);
}

int TablesOf(SCR_CURSOR* cur, SCR_SQLINFO* info) {
  SCR_ANALYSIS& a = *cur->analysis;
  GROW_ARRAY* arr = ARR_New(sizeof(SCR_TABLEREF));
  if (arr == nullptr) return ERR_NO_MEMORY;
  const int rc = SCR_TablesGet(info, arr, a.idents.noQualifier);
  for (uint32_t i = 0; i < arr->count; ++i) {
    const auto* r = static_cast<const SCR_TABLEREF*>(ARR_Item(arr, i));
    a.tables.push_back({r->qualifier ? r->qualifier : "", r->owner ? r->owner : "",
                        r->table ? r->table : "",
                        SCR_RawIdent(r->alias ? r->alias : "", a.idents)});
  }
  ARR_Free(&arr, SCR_FreeTableItem);
  if (rc != 0) log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "SCR_TablesGet failed");
  return rc;
}

// The select list tied to the tables' columns; the agent's statement is
// prepared again when its wildcards were written out.
int SelectList(SCR_CURSOR* cur, SCR_SQLINFO* info) {
  SCR_ANALYSIS& a = *cur->analysis;
  std::vector<SCR_COLDESC> unexpanded;
  a.selectCols.clear();
  if (int rc = scs_p_SelectColsGet(cur, info, &a.selectCols, &unexpanded)) return rc;
  scs_p_SelectColComplete(cur);
  bool rewritten = false;
  if (int rc = scs_p_SelListAddKeysnXpandWC(cur, info, unexpanded, &rewritten)) {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "scs_p_SelListAddKeysnXpandWC failed");
    return rc;
  }
  if (rewritten) {
    a.rewritten = true;
    if (uint32_t rc = SCR_Agent().DRV_Prepare(cur->stmtHandle, a.text.c_str()))
      return static_cast<int>(rc);
  }
  a.selectList = true;
  SetAdjust(cur, true);
  return 0;
}

// Rows that are no table's rows cannot be read again by key: DISTINCT folds
// rows together and a scalar aggregate makes one row of many.
bool RowsWithoutKeys(const SCR_SQLINFO* info) {
  if ((info->flags & SCR_SQL_AGGREGATE) != 0) return true;
  const PT_NODE* quantifier = PT_Find(info->tree, SQLN_SET_QUANTIFIER);
  return quantifier != nullptr && quantifier->text != nullptr &&
         std::strcmp(quantifier->text, "DISTINCT") == 0;
}

int AnalyseSelect(SCR_CURSOR* cur, SCR_SQLINFO* info) {
  SCR_ANALYSIS& a = *cur->analysis;
  a.flags = info->flags;
  // A static result that cannot be changed by key is served as it is; its
  // positioned changes are refused when asked for.
  if (cur->cursorType == SQL_CURSOR_STATIC && SCR_ConcurrencyError(cur) != 0) return 0;
  if ((a.flags & SCR_SQL_OUTERJOIN) != 0) return ERR_OUTER_JOIN_CURSOR;
  if (cur->cursorType == SQL_CURSOR_KEYSET_DRIVEN) {
    if (int rc = SCR_KeysetError(cur)) return rc;
  }
  if (RowsWithoutKeys(info)) return scs_p_ChangeCursorType(cur);
  if (int rc = TablesOf(cur, info)) return rc;
  if (a.tables.empty()) return ERR_PREPARE_CURSOR_TYPE;
  if (int rc = scs_p_GetTblDescs(cur, &a.tables)) return rc;
  if (int rc = scs_p_GetTblColDescs(cur, a.tables, 0, a.tables.size(), false, &a.tableCols)) {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "scs_p_GetTblColDescs failed");
    return rc;
  }
  int rc = KS_GetKeyColDescs(cur);
  if (rc == ERR_NO_KEY_COLUMNS) return scs_p_ChangeCursorType(cur);
  if (rc != 0) {
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "KS_GetKeyColDescs failed");
    return rc;
  }
  // Dynamic and mixed cursors seek by key in the result's order, which a
  // grouped or combined result does not have.
  if (cur->cursorType == SQL_CURSOR_DYNAMIC || cur->keysetSize != 0) {
    if ((a.flags & SCR_SQL_GROUPBY) != 0) return ERR_GROUP_BY_RESULT;
    if ((a.flags & SCR_SQL_UNION) != 0) return ERR_UNION_RESULT;
  }
  if (int sel = SelectList(cur, info)) return sel;
  if ((a.flags & SCR_SQL_ORDERBY) != 0) {
    SCR_SQLINFO order;
    SCR_InitSQLInfo(&order);
    rc = SCR_AnalyseSQL(&order, a.text.c_str(), 0, a.idents.noQualifier);
    if (rc == 0) rc = scs_p_OrderByGet(cur, &order);
    if (rc == 0 && (a.flags & SCR_SQL_ORDERBY_POS) != 0) {
      GROW_ARRAY* items = ARR_New(sizeof(SCR_ORDERITEM));
      for (const SCR_ORDERITEM& o : a.orderBy) ARR_Append(items, &o);
      rc = items == nullptr ? ERR_NO_MEMORY : SCR_SelectColumns(&order, items);
      ARR_Free(&items, nullptr);
      if (rc == 0) a.text = order.tree->text;
    }
    SCR_FreeSQLInfo(&order);
    if (rc != 0) return rc;
    // The key, values and refetch statements replace the select list, so
    // an order by one of its aliases would name nothing there.
    if (!SCR_OrdersByColumnsOnly(a)) return scs_p_ChangeCursorType(cur);
    scs_p_MarkOrderedKeys(cur);
  }
  a.sortColumns = static_cast<uint16_t>(a.ks.keys.size());
  if (cur->cursorType == SQL_CURSOR_DYNAMIC || cur->keysetSize != 0) {
    if (int rc = SCR_MatchKeyColumns(cur)) return rc;
  } else if (int rc = scs_p_StaticConcurText(cur)) {
    return rc;
  }
  return KS_PrepareNoRows(cur);
}

// A forward-only cursor's SELECT takes positioned statements by key when
// it reads one table's rows, each once, with the table's key among them.
int ForwardSelect(SCR_CURSOR* cur, SCR_SQLINFO* info) {
  SCR_ANALYSIS& a = *cur->analysis;
  a.flags = info->flags;
  if (int rc = SCR_ConcurrencyError(cur)) return rc;
  if (RowsWithoutKeys(info)) return ERR_FORWARD_NOT_POSITIONABLE;
  if (int rc = TablesOf(cur, info)) return rc;
  if (a.tables.size() != 1) return ERR_FORWARD_NOT_POSITIONABLE;
  if (int rc = scs_p_GetTblDescs(cur, &a.tables)) return rc;
  if (int rc = scs_p_GetTblColDescs(cur, a.tables, 0, a.tables.size(), false, &a.tableCols))
    return rc;
  if (int rc = KS_GetKeyColDescs(cur)) return rc;
  std::vector<SCR_COLDESC> unexpanded;
  if (int rc = scs_p_SelectColsGet(cur, info, &a.selectCols, &unexpanded)) return rc;
  scs_p_SelectColComplete(cur);
  return scs_p_ForwardKeyColumns(&a);
}

// The data source's naming rules.
void LoadIdents(uint32_t conn, SCR_IDENTS* id) {
  id->quote = AskText(conn, SQL_IDENTIFIER_QUOTE_CHAR);
  if (id->quote == " ") id->quote.clear();
  id->unquotedCase = AskInfo(conn, SQL_IDENTIFIER_CASE);
  id->quotedCase = AskInfo(conn, SQL_QUOTED_IDENTIFIER_CASE);
  // Quoted names keep their case on every source that has quotes, whatever
  // it stores: folding them would find another table.
  if (id->quotedCase == SQL_IC_UPPER || id->quotedCase == SQL_IC_LOWER)
    id->quotedCase = SQL_IC_SENSITIVE;
  id->escape = AskText(conn, SQL_SEARCH_PATTERN_ESCAPE);
  id->user = AskText(conn, SQL_USER_NAME);
  id->maxOrderBy = AskInfo(conn, SQL_MAX_COLUMNS_IN_ORDER_BY);
  id->noQualifier = AskInfo(conn, SQL_QUALIFIER_USAGE) == 0 ? 1 : 0;
}

// What the agent said on the library's own statements reaches the
// application's statement, behind what is there already.
void MovePrivateErrors(SCR_CURSOR* cur) {
  if (cur->analysis == nullptr) return;
  for (uint32_t h : {cur->analysis->auxStmt, cur->analysis->valuesStmt}) KS_MoveErrors(cur, h);
}

}  // namespace

int SCR_KeysetError(const SCR_CURSOR* cur) {
  const uint16_t f = cur->analysis != nullptr ? cur->analysis->flags : 0;
  if (f == SCR_NOT_SELECT) return ERR_NOT_SELECT_RESULT;
  if ((f & SCR_SQL_GROUPBY) != 0) return ERR_GROUP_BY_RESULT;
  if ((f & SCR_SQL_UNION) != 0) return ERR_UNION_RESULT;
  return 0;
}

int SCR_ConcurrencyError(const SCR_CURSOR* cur) {
  const uint16_t f = cur->analysis != nullptr ? cur->analysis->flags : 0;
  if ((f & SCR_SQL_MULTITABLE) != 0) return ERR_JOIN_RESULT;
  if ((f & SCR_SQL_GROUPBY) != 0) return ERR_GROUP_BY_RESULT;
  if ((f & SCR_SQL_UNION) != 0) return ERR_UNION_RESULT;
  if ((f & SCR_SQL_AGGREGATE) != 0) return ERR_SCALAR_AGGREGATE;
  return 0;
}

void SCR_AnalysisFree(SCR_CURSOR* cur) {
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr) return;
  if (a->auxStmt != 0) SCR_Agent().DRV_FreeStmt(a->auxStmt);
  if (a->valuesStmt != 0) SCR_Agent().DRV_FreeStmt(a->valuesStmt);
  if (a->refetchStmt != 0) SCR_Agent().DRV_FreeStmt(a->refetchStmt);
  delete a;
  cur->analysis = nullptr;
}

int SCR_RenewRowVersions(SCR_CURSOR* cur) {
  if ((cur->flags & SCR_FLAG_RVC_RENEW) == 0) return 0;
  const SCR_ANALYSIS* a = cur->analysis;
  if (a != nullptr && a->valuesStmt != 0 && cur->cursorType == SQL_CURSOR_DYNAMIC &&
      AskInt(cur->connHandle, INFO_ROW_VERSIONS) != 0) {
    if (int rc = RegisterRowVersions(cur)) return rc;
  }
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_RVC_RENEW);
  return 0;
}

int scs_p_AnalyseStmt(SCR_CURSOR* cur, const char* text) {
  if (int rc = SCR_RenewRowVersions(cur)) return rc;
  RestoreOptions(cur);
  SetAdjust(cur, false);
  if (cur->analysis != nullptr && cur->analysis->held) ReleaseResults(cur->analysis);
  if (!Scrolls(cur)) return 0;
  if (cur->analysis == nullptr) {
    cur->analysis = new (std::nothrow) SCR_ANALYSIS();
    if (cur->analysis == nullptr) return ERR_NO_MEMORY;
  }
  SCR_ANALYSIS& a = *cur->analysis;
  a.held = true;
  a.needsBinding = AskInt(cur->connHandle, INFO_NEEDS_BINDING);
  a.lockByUpdate = AskInt(cur->connHandle, INFO_LOCK_BY_UPDATE);
  a.rowVersion = AskInt(cur->connHandle, INFO_ROW_VERSIONS);
  LoadIdents(cur->connHandle, &a.idents);
  if (int rc = AllocPrivate(cur)) return rc;
  // The rows an earlier execution of this cursor left in the row-version
  // table say nothing of the next result.
  if (cur->cursorType == SQL_CURSOR_DYNAMIC && a.rowVersion != 0 && cur->rvcLink.list != nullptr) {
    if (int rc = RVC_DeleteCursor(&cur->rvcLink)) return rc;
  }
  a.text = text != nullptr ? text : "";
  a.appText = a.text;

  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  int rc = SCR_AnalyseSQL(&info, a.text.c_str(), 0, a.idents.noQualifier);
  uint32_t kind = info.kind;
  // The statements a scrolling cursor makes from the text would carry the
  // application's FOR UPDATE into places it cannot stand: such a SELECT is
  // served as one the library cannot take apart.
  if (rc == 0 && kind == SCR_KIND_SELECT && (info.flags & SCR_SQL_FOR_UPDATE) != 0)
    rc = SCR_SQL_SYNTAX;
  if (rc != 0) {
    rc = Unparsed(cur, info, a.text.c_str());
    kind = SCR_KIND_OTHER;
  } else if (info.kind == SCR_KIND_SELECT) {
    rc = AnalyseSelect(cur, &info);
  } else if (info.kind == SCR_KIND_POS_DELETE || info.kind == SCR_KIND_POS_UPDATE) {
    rc = SCR_ConcurrencyError(cur);
  } else if (info.kind == SCR_KIND_OTHER || info.kind == SCR_KIND_CALL) {
    // A procedure call or a statement the library does not know may give
    // a result.
    rc = NotSelect(cur);
  } else {
    a.flags = SCR_NOT_SELECT;
  }
  SCR_FreeSQLInfo(&info);
  if (rc != 0) MovePrivateErrors(cur);
  cur->kind = rc == 0 ? static_cast<int32_t>(kind) : SCR_KIND_NOT_ANALYSED;
  return rc;
}

namespace {

bool SameColumns(const std::vector<SCR_COLDESC>& a, const std::vector<SCR_COLDESC>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::strcmp(a[i].name, b[i].name) != 0 || std::strcmp(a[i].table, b[i].table) != 0 ||
        a[i].sqlType != b[i].sqlType || a[i].columnSize != b[i].columnSize)
      return false;
  }
  return true;
}

// Whether the tables still have the columns and the key the analysis
// found. Another connection's change moves no counter of this one, so an
// execution after the first asks (mostly kept answers, each checked
// against the table as it is).
bool AnalysisHolds(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  std::vector<SCR_COLDESC> cols;
  if (scs_p_GetTblColDescs(cur, a.tables, 0, a.tables.size(), false, &cols) != 0 ||
      !SameColumns(cols, a.tableCols))
    return false;
  const std::vector<SCR_COLDESC> keys = a.ks.keys;  // with their ORDER BY marks
  const uint8_t tableCount = a.ks.tableCount;
  const bool same = KS_GetKeyColDescs(cur) == 0 && SameColumns(a.ks.keys, keys);
  a.ks.keys = keys;
  a.ks.tableCount = tableCount;
  return same;
}

}  // namespace

int scs_p_ReanalyseIfChanged(SCR_CURSOR* cur) {
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr || !a->held || cur->kind != static_cast<int32_t>(SCR_KIND_SELECT) ||
      a->tables.empty() || a->ks.keys.empty())
    return 0;
  if (cur->cursorType != SQL_CURSOR_KEYSET_DRIVEN && cur->cursorType != SQL_CURSOR_DYNAMIC)
    return 0;
  // The first execution follows the analysis of its preparation.
  if (!a->executed) {
    a->executed = true;
    return 0;
  }
  if (AnalysisHolds(cur)) return 0;
  log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "The tables changed since the statement was read.");
  const std::string text = a->appText;
  // The application's values and descriptions outlive the analysis.
  ColSetPtr params = std::move(a->appParams);
  std::vector<JdbcColBind> binds = std::move(a->appBinds);
  const bool fresh = a->appParamsFresh;
  if (a->rewritten || a->execNoRows) {
    if (uint32_t rc = SCR_Agent().DRV_Prepare(cur->stmtHandle, text.c_str()))
      return static_cast<int>(rc);
  }
  const int rc = scs_p_AnalyseStmt(cur, text.c_str());
  if (cur->analysis != nullptr) {
    cur->analysis->appParams = std::move(params);
    cur->analysis->appBinds = std::move(binds);
    cur->analysis->appParamsFresh = fresh;
    cur->analysis->executed = true;
  }
  return rc;
}

void scs_p_AnalyseForward(SCR_CURSOR* cur, const char* text) {
  const JdbcStmt* s = AGT_Stmt(cur->stmtHandle);
  const bool named = s != nullptr && s->cursorName != nullptr && s->cursorName[0] != '\0';
  const char* sql = text != nullptr ? text : "";
  if (cur->analysis != nullptr && cur->analysis->held) {
    // The same text reads the same way; the rows are the new result's.
    if (named && cur->analysis->text == sql) return;
    ReleaseResults(cur->analysis);
  }
  // Without the application's name no positioned statement reaches it.
  if (!named) return;
  if (cur->analysis == nullptr) {
    cur->analysis = new (std::nothrow) SCR_ANALYSIS();
    if (cur->analysis == nullptr) return;
  }
  SCR_ANALYSIS& a = *cur->analysis;
  a.held = true;
  a.text = sql;
  a.needsBinding = AskInt(cur->connHandle, INFO_NEEDS_BINDING);
  LoadIdents(cur->connHandle, &a.idents);
  int rc = AllocPrivate(cur);
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  if (rc == 0 && (SCR_AnalyseSQL(&info, a.text.c_str(), 0, a.idents.noQualifier) != 0 ||
                  info.kind != SCR_KIND_SELECT))
    rc = ERR_FORWARD_NOT_POSITIONABLE;
  if (rc == 0) rc = ForwardSelect(cur, &info);
  SCR_FreeSQLInfo(&info);
  a.forward.refusal = rc;
  // What the catalog said while the SELECT was read is no matter of the
  // cursor's own statement.
  for (uint32_t h : {a.auxStmt, a.valuesStmt})
    if (JdbcStmt* aux = AGT_Stmt(h)) errClear(&aux->errors);
}
