// Parameter descriptions: the defaults at prepare.
#include "drv_jdbc/j-desc.h"

#include <cstring>
#include <string>

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
