// SQLTables, SQLColumns, SQLStatistics, SQLSpecialColumns, SQLPrimaryKeys,
// SQLForeignKeys, SQLProcedures, SQLProcedureColumns, SQLTablePrivileges and
// SQLColumnPrivileges: each closes the statement, copies its texts (no
// fixed buffers: any length the application passes arrives whole), fills
// in the driver's defaults and lets the agent open the catalog result.
#include "driver/catalog.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <memory>

#include "driver/coldesc.h"
#include "driver/ops.h"
#include "driver/stmt.h"
#include "driver/trace.h"
#include "drv_jdbc/drv_catalog.h"
#include "util/strutil.h"

namespace {

constexpr int32_t kNoMemory = 16;
constexpr int32_t kBadArgument = 21;
constexpr int32_t kSequenceError = 22;
constexpr int32_t kNotCapable = 43;

// One text argument as the application gave it.
struct TextArg {
  const char* text;
  int length;
};

// Reads the next (text, length) pair of the argument list.
#define QMR_NEXT_TEXT(args) \
  TextArg { va_arg(args, const char*), va_arg(args, int) }

// What an absent argument becomes.
enum class Absent { Empty, MatchAll };

// The copies a call owns until the agent has answered.
class Texts {
 public:
  // Copy without its enclosing quotes; null when memory runs out.
  const char* Add(const TextArg& a, Absent absent) {
    char* copy = nullptr;
    if (a.text == nullptr)
      copy = strdup(absent == Absent::MatchAll ? "%" : "");
    else
      str_unquote(&copy, a.text, a.length);
    return Keep(copy);
  }
  const char* AddRaw(const std::string& s) { return Keep(strdup(s.c_str())); }
  bool failed() const { return failed_; }

 private:
  const char* Keep(char* p) {
    if (p == nullptr) {
      failed_ = true;
      return "";
    }
    owned_.emplace_back(p, &std::free);
    return p;
  }
  std::vector<std::unique_ptr<char, decltype(&std::free)>> owned_;
  bool failed_ = false;
};

bool BadLength(int length) { return length < 0 && length != SQL_NTS; }

// Steps 1 and 2 of every catalog call: the statement ends up closed and
// without a description, or the call is refused.
bool Begin(StmtHandle* stmt) {
  STMT_Close(stmt);
  if (stmt->state != kStmtAllocated) {
    stmt->diag.pending = kSequenceError;
    return false;
  }
  STMT_FreeColInfo(stmt);
  return true;
}

DRV_Return Fail(StmtHandle* stmt, int32_t code) {
  stmt->diag.pending = code;
  return SQL_ERROR;
}

// Runs the slot and settles the statement.
DRV_Return Finish(StmtHandle* stmt, DRV_Catalog_t DRV_OpTable::*slot, const DRV_CatalogArgs& block) {
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr || ops->*slot == nullptr) return Fail(stmt, kNotCapable);
  const uint32_t code = (ops->*slot)(stmt->agentStmt, &block);
  stmt->diag.pending = static_cast<int32_t>(code);
  if (code != 0) {
    STMT_PullErrors(stmt);
    return SQL_ERROR;
  }
  stmt->state = kStmtPrepared;
  stmt->flags |= kStmtFlagCursorOpen;
  stmt->rowsFetched = 0;
  return SQL_SUCCESS;
}

// Common shape of the functions taking catalog, schema, name and a fourth
// text: `defaults` says which absent texts match all (bit 0 schema, bit 1
// name, bit 2 fourth), `required` that an absent name is refused.
struct Shape4 {
  unsigned matchAll;
  bool required;
  const char* trace;  // null: no trace line
};

DRV_Return Catalog4(StmtHandle* stmt, va_list args, int count, const Shape4& shape,
                    DRV_Catalog_t DRV_OpTable::*slot) {
  TextArg a[4] = {};
  for (int i = 0; i < count; ++i) a[i] = QMR_NEXT_TEXT(args);
  if (!Begin(stmt)) return SQL_ERROR;
  for (int i = 0; i < count; ++i)
    if (BadLength(a[i].length)) return Fail(stmt, kBadArgument);
  if (shape.required && a[2].text == nullptr) return Fail(stmt, kBadArgument);
  Texts t;
  auto how = [&](int i) {
    return i > 0 && (shape.matchAll & (1u << (i - 1))) != 0 ? Absent::MatchAll : Absent::Empty;
  };
  DRV_CatalogArgs block;
  block.catalog = t.Add(a[0], how(0));
  block.schema = t.Add(a[1], how(1));
  block.name = t.Add(a[2], how(2));
  if (count > 3) block.extra = t.Add(a[3], how(3));
  if (t.failed()) return Fail(stmt, kNoMemory);
  if (shape.trace != nullptr && TRC_Active()) {
    TRC_Printf(shape.trace, block.catalog, block.schema, block.name,
               block.extra != nullptr ? block.extra : "");
  }
  return Finish(stmt, slot, block);
}

}  // namespace

std::string TBL_QuoteTypes(const std::string& list, bool includeViews) {
  if (list.empty()) return list;
  if (list[0] == '%') return "%";
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::string out = "'";
  std::string item;
  auto flush = [&](bool last) {
    while (!item.empty() && blank(item.back())) item.pop_back();
    // A name the application put in double quotes loses them like one in
    // single quotes.
    if (item.size() >= 2 && item.front() == '"' && item.back() == '"')
      item = item.substr(1, item.size() - 2);
    out += item;
    out += last ? "'" : "','";
    item.clear();
  };
  bool atStart = true;
  for (char c : list) {
    if (c == ',') {
      flush(false);
      atStart = true;
      continue;
    }
    if (atStart && blank(c)) continue;
    atStart = false;
    if (c == '\'') continue;
    item += c;
  }
  flush(true);
  if (includeViews && str_listpos(out.c_str(), "'TABLE'") != 0 &&
      str_listpos(out.c_str(), "'VIEW'") == 0) {
    out += ",'VIEW'";
  }
  return out;
}

DRV_Return DRV_TablesOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  TextArg a[4];
  for (TextArg& x : a) x = QMR_NEXT_TEXT(args);
  if (!Begin(stmt)) return SQL_ERROR;
  // SQLTables takes any other negative length as NUL-terminated.
  for (TextArg& x : a)
    if (BadLength(x.length)) x.length = SQL_NTS;
  Texts t;
  DRV_CatalogArgs block;
  block.catalog = t.Add(a[0], Absent::Empty);
  block.schema = t.Add(a[1], Absent::MatchAll);
  block.name = t.Add(a[2], Absent::MatchAll);
  std::string types;
  const uint16_t flags = stmt->conn != nullptr ? stmt->conn->flags : 0;
  if (a[3].text != nullptr) {
    char* raw = nullptr;
    str_nts_dup(&raw, a[3].text, a[3].length);
    if (raw == nullptr) return Fail(stmt, kNoMemory);
    types = TBL_QuoteTypes(raw, (flags & kConnIncludeViews) != 0);
    std::free(raw);
    if ((flags & kConnIncludeAll) != 0) types.clear();
    block.extra = t.AddRaw(types);
  } else if ((flags & kConnIncludeAll) != 0) {
    block.extra = t.AddRaw("");
  }
  if (t.failed()) return Fail(stmt, kNoMemory);
  if (TRC_Active()) {
    TRC_Printf("Qualifier='%s' Owner='%s' Name='%s' Type='%s'\n", block.catalog, block.schema,
               block.name, block.extra != nullptr ? block.extra : "");
  }
  return Finish(stmt, &DRV_OpTable::DRV_DDTables, block);
}

DRV_Return DRV_ColumnsOp(void* h, va_list args) {
  return Catalog4(static_cast<StmtHandle*>(h), args, 4,
                  {7u, false, "Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n"},
                  &DRV_OpTable::DRV_DDColumns);
}

DRV_Return DRV_ColumnPrivilegesOp(void* h, va_list args) {
  return Catalog4(static_cast<StmtHandle*>(h), args, 4,
                  {4u, true, "Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n"},
                  &DRV_OpTable::DRV_DDColumnPrivileges);
}

DRV_Return DRV_TablePrivilegesOp(void* h, va_list args) {
  return Catalog4(static_cast<StmtHandle*>(h), args, 3,
                  {3u, false, "Qualifier='%s' Owner='%s' Name='%s'\n"},
                  &DRV_OpTable::DRV_DDTablePrivileges);
}

DRV_Return DRV_PrimaryKeysOp(void* h, va_list args) {
  return Catalog4(static_cast<StmtHandle*>(h), args, 3,
                  {0u, true, "Qualifier='%s' Owner='%s' Name='%s'\n"},
                  &DRV_OpTable::DRV_DDPrimaryKeys);
}

DRV_Return DRV_ProceduresOp(void* h, va_list args) {
  return Catalog4(static_cast<StmtHandle*>(h), args, 3, {3u, false, nullptr},
                  &DRV_OpTable::DRV_DDProcedures);
}

DRV_Return DRV_ProcedureColumnsOp(void* h, va_list args) {
  return Catalog4(static_cast<StmtHandle*>(h), args, 4, {7u, false, nullptr},
                  &DRV_OpTable::DRV_DDProcedureColumns);
}

DRV_Return DRV_StatisticsOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  TextArg a[3];
  for (TextArg& x : a) x = QMR_NEXT_TEXT(args);
  const auto unique = static_cast<uint16_t>(va_arg(args, int));
  const auto accuracy = static_cast<uint16_t>(va_arg(args, int));
  if (!Begin(stmt)) return SQL_ERROR;
  for (const TextArg& x : a)
    if (BadLength(x.length)) return Fail(stmt, kBadArgument);
  if (a[2].text == nullptr) return Fail(stmt, kBadArgument);
  Texts t;
  DRV_CatalogArgs block;
  block.catalog = t.Add(a[0], Absent::Empty);
  block.schema = t.Add(a[1], Absent::Empty);
  block.name = t.Add(a[2], Absent::Empty);
  block.value[0] = unique;
  block.value[1] = accuracy;
  if (t.failed()) return Fail(stmt, kNoMemory);
  if (TRC_Active()) {
    TRC_Printf("Qualifier='%s' Owner='%s' Name='%s' Unique=%u Accuracy=%u\n", block.catalog,
               block.schema, block.name, unique, accuracy);
  }
  return Finish(stmt, &DRV_OpTable::DRV_DDStatistics, block);
}

DRV_Return DRV_SpecialColumnsOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  const auto kind = static_cast<uint16_t>(va_arg(args, int));
  TextArg a[3];
  for (TextArg& x : a) x = QMR_NEXT_TEXT(args);
  const auto scope = static_cast<uint16_t>(va_arg(args, int));
  const auto nullable = static_cast<uint16_t>(va_arg(args, int));
  if (!Begin(stmt)) return SQL_ERROR;
  for (const TextArg& x : a)
    if (BadLength(x.length)) return Fail(stmt, kBadArgument);
  if (a[2].text == nullptr) return Fail(stmt, kBadArgument);
  Texts t;
  DRV_CatalogArgs block;
  block.catalog = t.Add(a[0], Absent::Empty);
  block.schema = t.Add(a[1], Absent::Empty);
  block.name = t.Add(a[2], Absent::Empty);
  block.value[0] = kind;
  block.value[1] = scope;
  block.value[2] = nullable;
  if (t.failed()) return Fail(stmt, kNoMemory);
  if (TRC_Active())
    TRC_Printf("Qualifier='%s' Owner='%s' Name='%s'\n", block.catalog, block.schema, block.name);
  return Finish(stmt, &DRV_OpTable::DRV_DDSpecialColumns, block);
}

DRV_Return DRV_ForeignKeysOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  TextArg a[6];
  for (TextArg& x : a) x = QMR_NEXT_TEXT(args);
  if (!Begin(stmt)) return SQL_ERROR;
  for (const TextArg& x : a)
    if (BadLength(x.length)) return Fail(stmt, kBadArgument);
  Texts t;
  DRV_CatalogArgs block;
  block.catalog = t.Add(a[0], Absent::Empty);
  block.schema = t.Add(a[1], Absent::Empty);
  block.name = t.Add(a[2], Absent::Empty);
  block.fkCatalog = t.Add(a[3], Absent::Empty);
  block.fkSchema = t.Add(a[4], Absent::Empty);
  block.fkName = t.Add(a[5], Absent::Empty);
  if (t.failed()) return Fail(stmt, kNoMemory);
  return Finish(stmt, &DRV_OpTable::DRV_DDForeignKeys, block);
}
