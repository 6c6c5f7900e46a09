// Positioned statements naming a forward-only cursor. The data source knows
// no cursor by the application's name (the JDBC driver's result sets are
// its own), so such a statement runs by key, as for the cursors the
// library scrolls. The key is that of the row the application stands on:
// a cursor that keeps one hands its rows over one at a time, so that the
// last row handed over is the row the application reads.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <vector>

#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "util/errcodes.h"

int scs_p_ForwardKeyColumns(SCR_ANALYSIS* a) {
  a->forward.keyCols.clear();
  if (a->ks.keys.empty()) return ERR_NO_KEY_COLUMNS;
  const std::vector<SCR_COLDESC>& cols = a->selectCols;
  for (const SCR_COLDESC& key : a->ks.keys) {
    size_t n = 0;
    while (n < cols.size() &&
           (cols[n].kind != SCR_COL_COLUMN || std::strcmp(cols[n].name, key.name) != 0))
      ++n;
    if (n >= cols.size()) return ERR_FORWARD_NOT_POSITIONABLE;
    a->forward.keyCols.push_back(static_cast<uint16_t>(n));
  }
  return 0;
}

bool scs_p_ForwardKeeps(const SCR_CURSOR* cur) {
  const SCR_ANALYSIS* a = cur->analysis;
  return cur->cursorType == SQL_CURSOR_FORWARD_ONLY && a != nullptr && a->held &&
         a->forward.refusal == 0 && !a->forward.keyCols.empty();
}

void scs_p_ForwardKeep(SCR_CURSOR* cur, const COLSET* rows, uint32_t r) {
  SCR_FORWARD& f = cur->analysis->forward;
  f.row.reset();
  if (rows == nullptr || r >= rows->rows_held) return;
  COLSET* keys = nullptr;
  if (SCR_ColumnsToParams(rows, f.keyCols, r, &keys) == 0) f.row.reset(keys);
}

int scs_p_ForwardRowKeys(SCR_CURSOR* cur, SCR_CURRENTROW* out) {
  if ((cur->flags & SCR_FLAG_THROUGH_LIBRARY) == 0) return ERR_INVALID_CURSOR_STATE;
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr || !a->held) return ERR_FORWARD_NOT_POSITIONABLE;
  if (a->forward.refusal != 0) return a->forward.refusal;
  if (a->forward.row == nullptr) return ERR_INVALID_CURSOR_STATE;
  if (int rc = ColSetCreate(&out->params, a->forward.row.get())) return rc;
  out->descs.clear();
  for (const SCR_COLDESC& key : a->ks.keys) {
    SCR_PARAMDESC p{};
    SCR_ParamDescFromCol(key, &p);
    out->descs.push_back(p);
  }
  std::string text;
  if (int rc = SCR_PosText(*a, SQL_DELETE, {}, {}, {}, &text)) return rc;
  const size_t where = text.find(" WHERE ");
  if (where == std::string::npos) return ERR_GENERAL;
  out->where = text.substr(where);
  out->keysetRow = 0;
  out->needsBinding = a->needsBinding != 0;
  return 0;
}
