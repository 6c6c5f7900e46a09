// The application's parameter values and descriptions as the keyset
// statements send them, and the plain running of those statements on the
// cursor's private agent statements.
#include "scrs/ksrun.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <utility>

#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-records.h"
#include "scrs/colset_ops.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "util/errcodes.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "ks";
constexpr uint16_t kFetchRows = 1000;
// What the agent assumes of a marker it has no description for.
constexpr JdbcColBind kUndescribed{SQL_VARCHAR, 0, 255, 0, 1};

// A one-row copy of the application's values of the listed markers (null
// when none is listed).
int AppSlice(const COLSET* app, const std::vector<uint16_t>& which, ColSetPtr* out) {
  out->reset();
  if (which.empty()) return 0;
  COLSET* made = nullptr;
  const int rc = SCR_ColumnsToParams(app, which, 0, &made);
  out->reset(made);
  return rc;
}

bool Dropped(const KS_PLACE& place, uint32_t i) {
  return i >= place.dropFrom && i - place.dropFrom < place.dropped;
}

// b's columns in front of a's; either may be null. The result is *a.
int Join(ColSetPtr* a, ColSetPtr b) {
  if (b == nullptr) return 0;
  if (*a == nullptr) {
    *a = std::move(b);
    return 0;
  }
  return ColSetMerge(a->get(), b.get());
}

}  // namespace

uint16_t KS_AppParamCount(const SCR_CURSOR* cur) {
  const SCR_ANALYSIS* a = cur->analysis;
  const bool given = a != nullptr && a->appParams && (cur->flags & SCR_FLAG_APP_PARAMS) != 0;
  return given ? a->appParams->cols_used : 0;
}

std::vector<SCR_PARAMDESC> KS_KeyDescs(const SCR_ANALYSIS& a, uint32_t groups) {
  std::vector<SCR_PARAMDESC> out;
  if (a.needsBinding == 0) return out;
  for (uint32_t g = 0; g < groups; ++g) {
    for (const SCR_COLDESC& k : a.ks.keys) {
      SCR_PARAMDESC p{};
      SCR_ParamDescFromCol(k, &p);
      out.push_back(p);
    }
  }
  return out;
}

void KS_KeepAppParams(SCR_CURSOR* cur, const COLSET* params) {
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr) return;
  a->appParams.reset();
  cur->flags &= static_cast<uint16_t>(~SCR_FLAG_APP_PARAMS);
  a->appParamsFresh = true;
  COLSET* copy = nullptr;
  if (params == nullptr || params->cols_used == 0 || params->rows_held == 0 ||
      ColSetCreate(&copy, params) != 0)
    return;
  a->appParams.reset(copy);
  cur->flags |= SCR_FLAG_APP_PARAMS;
}

void KS_KeepAppBinds(SCR_CURSOR* cur, uint16_t count, const JdbcColBind* binds) {
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr) return;
  if (binds == nullptr) count = 0;
  a->appBinds.assign(binds, binds + count);
}

int KS_SpliceParams(const SCR_CURSOR* cur, const KS_PLACE& place, COLSET* lib, COLSET** out) {
  *out = nullptr;
  ColSetPtr libHeld(lib);
  const uint32_t n = KS_AppParamCount(cur);
  std::vector<uint16_t> head, tail;
  for (uint32_t i = 0; i < n; ++i)
    if (!Dropped(place, i)) (i < place.libAt ? head : tail).push_back(static_cast<uint16_t>(i));
  const COLSET* app = n > 0 ? cur->analysis->appParams.get() : nullptr;
  ColSetPtr first, set;
  int rc = app != nullptr ? AppSlice(app, head, &first) : 0;
  if (rc == 0 && app != nullptr) rc = AppSlice(app, tail, &set);
  if (rc == 0) rc = Join(&set, std::move(libHeld));
  if (rc == 0) rc = Join(&set, std::move(first));
  if (rc != 0) return rc;
  *out = set.release();
  return 0;
}

std::vector<JdbcColBind> KS_SpliceBinds(const SCR_CURSOR* cur, const KS_PLACE& place,
                                        const std::vector<SCR_PARAMDESC>& lib) {
  const uint32_t n = KS_AppParamCount(cur);
  const std::vector<JdbcColBind>& app = cur->analysis->appBinds;
  std::vector<JdbcColBind> out;
  bool libDone = false;
  for (uint32_t i = 0; i <= n; ++i) {
    if (!libDone && (i == n || i >= place.libAt)) {
      for (const SCR_PARAMDESC& p : lib)
        out.push_back({p.sqlType, 0, p.columnSize, p.decimalDigits, p.kind});
      libDone = true;
    }
    if (i < n && !Dropped(place, i)) out.push_back(i < app.size() ? app[i] : kUndescribed);
  }
  return out;
}

uint32_t KS_RunPrepared(const SCR_CURSOR* cur, uint32_t stmt, COLSET* params,
                        const std::vector<JdbcColBind>& binds) {
  const DRV_OpTable& ops = SCR_Agent();
  // The agent takes the value set over, whatever it answers.
  if (params != nullptr) {
    if (uint32_t rc = ops.DRV_SetParams(stmt, params)) return rc;
  }
  if (cur->analysis->needsBinding != 0 && !binds.empty()) {
    if (uint32_t rc = ops.DRV_BindCols(stmt, static_cast<uint16_t>(binds.size()), binds.data()))
      return rc;
  }
  return ops.DRV_Execute(stmt);
}

uint32_t KS_FetchAll(uint32_t stmt, COLSET* rows, std::vector<DSC_FAILED_ROW>* failed) {
  // The agent may hand fewer rows than asked before the end (long values
  // come one row at a time): it is asked until a fetch brings none.
  for (;;) {
    COLSET more{};
    uint32_t rc = SCR_Agent().DRV_Fetch(stmt, kFetchRows, &more);
    if (rc == ERR_ROW_ERROR && failed != nullptr && DSC_TakeFailure(stmt, 0, failed)) {
      ColSetFreeColumns(&more);
      continue;
    }
    const uint32_t got = rc == 0 ? more.rows_held : 0;
    if (got > 0) {
      if (rows->cols_used == 0) {
        ColSetFreeColumns(rows);
        *rows = more;
        more = COLSET{};
      } else {
        rc = static_cast<uint32_t>(ColSetAppendRows(rows, &more));
      }
    }
    ColSetFreeColumns(&more);
    if (rc != 0 || got == 0) return rc;
  }
}

void KS_MoveErrors(const SCR_CURSOR* cur, uint32_t from) {
  JdbcStmt* own = AGT_Stmt(cur->stmtHandle);
  JdbcStmt* p = from != 0 ? AGT_Stmt(from) : nullptr;
  if (own == nullptr || p == nullptr) return;
  AgentError* rec = p->errors.head;
  p->errors.head = nullptr;
  while (rec != nullptr) {
    AgentError* next = rec->next;
    rec->next = nullptr;
    errAppend(&own->errors, rec);
    rec = next;
  }
}

uint32_t KS_AskAgent(const SCR_CURSOR* cur, uint32_t request) {
  uint32_t v = 0;
  uint16_t len = 0;
  return SCR_Agent().DRV_GetInfo(cur->connHandle, request, &v, sizeof v, &len) == 0 ? v : 0;
}

int KS_Analyse(const SCR_ANALYSIS& a, const std::string& text, KS_ANALYSED* out) {
  const int rc = SCR_AnalyseSQL(&out->info, text.c_str(), 0, a.idents.noQualifier);
  if (rc != 0) {
    const SCR_SQLINFO& i = out->info;
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "SCR_AnalyseSQL failed: %s", text.c_str());
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "%s", i.errmsg != nullptr ? i.errmsg : "");
    log_message(LOG_LEVEL_DEBUG, kSrc, __LINE__, "%s", i.result != nullptr ? i.result : "");
  }
  return rc;
}

uint32_t KS_RefetchStmt(SCR_CURSOR* cur) {
  SCR_ANALYSIS& a = *cur->analysis;
  if (a.refetchStmt == 0 && SCR_Agent().DRV_AllocStmt(cur->connHandle, &a.refetchStmt) != 0)
    a.refetchStmt = 0;
  return a.refetchStmt;
}
