// The statements of changes by key, and the result column descriptions
// whose types their parameters take.
#include <sql.h>
#include <sqlext.h>

#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "util/errcodes.h"

void SCR_ColDescFree::operator()(JdbcColDesc* descs) const { ColDescFree(descs, count); }

namespace {

// A raw name written for SQL; SCR_IdentSql appends, so each starts empty.
bool Name(const std::string& raw, const SCR_IDENTS& id, std::string* out) {
  std::string n;
  if (!SCR_IdentSql(raw, id, &n)) return false;
  *out += n;
  return true;
}

bool Table(const SCR_ANALYSIS& a, std::string* out) {
  const SCR_TABLE& t = a.tables.front();
  if (!t.owner.empty()) {
    if (!Name(t.owner, a.idents, out)) return false;
    *out += ".";
  }
  return Name(t.table, a.idents, out);
}

bool List(const std::vector<std::string>& names, const SCR_IDENTS& id, const char* after,
          std::string* out) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) *out += ", ";
    if (!Name(names[i], id, out)) return false;
    *out += after;
  }
  return true;
}

bool Where(const SCR_ANALYSIS& a, const std::vector<std::string>& compare,
           const std::vector<uint8_t>& isNull, std::string* out) {
  *out += " WHERE ";
  for (size_t i = 0; i < a.ks.keys.size(); ++i) {
    if (i > 0) *out += " AND ";
    if (!Name(a.ks.keys[i].name, a.idents, out)) return false;
    *out += " = ?";
  }
  for (size_t i = 0; i < compare.size(); ++i) {
    *out += " AND ";
    if (!Name(compare[i], a.idents, out)) return false;
    *out += i < isNull.size() && isNull[i] != 0 ? " IS NULL" : " = ?";
  }
  return true;
}

}  // namespace

int SCR_PosText(const SCR_ANALYSIS& a, uint16_t op, const std::vector<std::string>& columns,
                const std::vector<std::string>& compare, const std::vector<uint8_t>& isNull,
                std::string* out) {
  out->clear();
  if (a.tables.empty() || (op != SQL_ADD && a.ks.keys.empty())) return ERR_GENERAL;
  bool ok = true;
  switch (op) {
    case SQL_UPDATE:
      *out = "UPDATE ";
      ok = Table(a, out);
      *out += " SET ";
      ok = ok && List(columns, a.idents, " = ?", out) && Where(a, compare, isNull, out);
      break;
    case SQL_DELETE:
      *out = "DELETE FROM ";
      ok = Table(a, out) && Where(a, compare, isNull, out);
      break;
    case SQL_ADD:
      *out = "INSERT INTO ";
      ok = Table(a, out);
      *out += " ( ";
      ok = ok && List(columns, a.idents, "", out);
      *out += " ) VALUES ( ";
      for (size_t i = 0; i < columns.size(); ++i) *out += i > 0 ? ", ?" : "?";
      *out += " )";
      break;
    default: ok = false;
  }
  return ok ? 0 : ERR_GENERAL;
}

int SCR_LoadResultCols(SCR_CURSOR* cur) {
  SCR_ANALYSIS* a = cur->analysis;
  if (a == nullptr) return ERR_GENERAL;
  if (a->resultCols != nullptr) return 0;
  uint16_t n = 0;
  JdbcColDesc* descs = nullptr;
  if (uint32_t rc = SCR_Agent().DRV_NumResultCols(cur->stmtHandle, &n, &descs)) {
    ColDescFree(descs, n);
    return static_cast<int>(rc);
  }
  a->resultCols.get_deleter().count = n;
  a->resultCols.reset(descs);
  return 0;
}

int SCR_GetBoundColumn(SCR_CURSOR* cur, uint16_t n, const JdbcColDesc** out) {
  if (out == nullptr) return ERR_INVALID_ARGUMENT;
  *out = nullptr;
  if (int rc = SCR_LoadResultCols(cur)) return rc;
  const SCR_ColDescPtr& cols = cur->analysis->resultCols;
  if (n == 0 || cols == nullptr || n > cols.get_deleter().count) return ERR_INVALID_COLUMN;
  *out = cols.get() + (n - 1);
  return 0;
}
