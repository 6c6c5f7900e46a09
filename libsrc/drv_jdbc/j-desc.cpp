// Parameter descriptions: the defaults at prepare, described on request.
#include "drv_jdbc/j-desc.h"

#include <cstring>
#include <string>

#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-stmt.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-desc";

// TEMPORARY: the SQL analyser's parameter describer is not there yet, so no
// text can be analysed; the statement keeps its default descriptions, as it
// does whenever the analysis fails. It fills the describe queries and the
// optional marker map once the describer lands.
bool AnalyseForDescribe(const char* /*sql*/, uint16_t /*markers*/,
                        std::vector<std::string>* /*queries*/, std::string* /*markerMap*/) {
  return false;
}

}  // namespace

uint32_t defaultParamDescs(JdbcStmt* s) {
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  ColDescFree(s->paramDescs, s->paramDescCount);
  s->paramDescs = nullptr;
  s->paramDescCount = 0;
  s->paramCount = 0;
  const uint16_t n = s->markerCount;
  if (n == 0) return 0;
  JdbcColDesc* d = ColDescAlloc(n);
  if (d == nullptr) return ERR_NO_MEMORY;
  const bool call = (s->flags & STMT_PREPARE_CALL) != 0;
  for (uint16_t i = 0; i < n; ++i) {
    std::strcpy(d[i].name, call ? "*B" : "");
    d[i].sql_type = -9999;
    d[i].delivered_type = 12;
    d[i].flags = 2;  // nullability unknown
    d[i].precision = 255;
    d[i].scale = 0;
    d[i].display_size = 255;
    d[i].value_type = COLSET_VT_NTS;
    d[i].elem_len = 0;
  }
  s->paramDescs = d;
  s->paramDescCount = n;
  s->paramCount = n;
  return 0;
}

uint32_t copyParamDescsFromQueries(JdbcStmt* s, const std::vector<std::string>& queries,
                                   const char* markerMap) {
  if (s == nullptr || s->conn == nullptr) return ERR_INVALID_ARGUMENT;
  uint32_t tmp = 0;
  if (uint32_t rc = DRV_AllocStmt(s->conn->handle, &tmp)) return rc;
  const size_t mapLen = markerMap != nullptr ? std::strlen(markerMap) : 0;
  uint16_t next = 0;
  uint32_t rc = 0;
  for (const std::string& q : queries) {
    if ((rc = DRV_Prepare(tmp, q.c_str())) != 0) break;
    uint16_t n = 0;
    JdbcColDesc* cols = nullptr;
    if ((rc = DRV_NumResultCols(tmp, &n, &cols)) != 0) break;
    for (uint16_t c = 0; c < n && next < s->paramCount && s->paramDescs != nullptr; ++c) {
      if (markerMap != nullptr && (c >= mapLen || markerMap[c] != '?')) continue;
      JdbcColDesc& d = s->paramDescs[next++];
      d.sql_type = cols[c].sql_type;
      d.delivered_type = cols[c].delivered_type;
      d.display_size = cols[c].display_size;
      d.value_type = cols[c].value_type;
      d.elem_len = cols[c].elem_len;
      d.precision = cols[c].precision;
      d.scale = cols[c].scale;
      d.flags = (d.flags & ~COLDESC_NULLABLE_MASK) | (cols[c].flags & COLDESC_NULLABLE_MASK);
    }
    ColDescFree(cols, n);
  }
  // The temporary statement's failures belong to the statement described.
  if (rc != 0) {
    if (JdbcStmt* t = AGT_Stmt(tmp)) {
      // Handed over record by record: the list keeps its order.
      while (AgentError* e = t->errors.head) {
        t->errors.head = e->next;
        e->next = nullptr;
        errAppend(&s->errors, e);
      }
    }
  }
  DRV_FreeStmt(tmp);
  if (rc == 0) s->paramsDescribed = 1;
  return rc;
}

uint32_t describeParams(JdbcStmt* s) {
  if (s == nullptr) return ERR_INVALID_ARGUMENT;
  if ((s->flags & STMT_PREPARED) == 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "execute without prior prepare");
    return ERR_FUNCTION_SEQUENCE;
  }
  if ((s->flags & STMT_EXECUTED) != 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "Describe params work only before Execute");
    return 0;
  }
  if (s->markerCount == 0) return 0;
  std::vector<std::string> queries;
  std::string map;
  if (!AnalyseForDescribe(s->sql, s->markerCount, &queries, &map)) return 0;
  // Without a map the columns are taken in order, which only fits when the
  // analysis saw as many markers as the statement has.
  return copyParamDescsFromQueries(s, queries, map.empty() ? nullptr : map.c_str());
}
