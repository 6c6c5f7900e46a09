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
#include <utility>

#include "driver/agent_fail.h"
#include "driver/coldesc.h"
#include "driver/ops.h"
#include "driver/prepare.h"
#include "driver/stmt.h"
#include "driver/trace.h"
#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_catalog.h"
#include "util/errcodes.h"
#include "util/owners.h"
#include "util/strutil.h"

namespace {

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
    owned_.emplace_back(p);
    return p;
  }
  std::vector<UniqueFree<char>> owned_;
  bool failed_ = false;
};

bool BadLength(int length) { return length < 0 && length != SQL_NTS; }

// Step 3 of every call but SQLTables': no length below zero other than
// SQL_NTS, and a table name where the call cannot go without one.
bool TextsAcceptable(const TextArg* a, int count, bool nameRequired) {
  for (int i = 0; i < count; ++i)
    if (BadLength(a[i].length)) return false;
  return !nameRequired || a[2].text != nullptr;
}

// The trace line of a call, once its texts are in the block.
using TraceLine = void (*)(const DRV_CatalogArgs& b);

void TraceNames(const DRV_CatalogArgs& b) {
  TRC_Printf("Qualifier='%s' Owner='%s' Name='%s'\n", b.catalog, b.schema, b.name);
}

void TraceColumn(const DRV_CatalogArgs& b) {
  TRC_Printf("Qualifier='%s' Owner='%s' Name='%s' Column='%s'\n", b.catalog, b.schema, b.name,
             b.extra != nullptr ? b.extra : "");
}

void TraceType(const DRV_CatalogArgs& b) {
  TRC_Printf("Qualifier='%s' Owner='%s' Name='%s' Type='%s'\n", b.catalog, b.schema, b.name,
             b.extra != nullptr ? b.extra : "");
}

void TraceStatistics(const DRV_CatalogArgs& b) {
  TRC_Printf("Qualifier='%s' Owner='%s' Name='%s' Unique=%u Accuracy=%u\n", b.catalog, b.schema,
             b.name, static_cast<unsigned>(b.value[0]), static_cast<unsigned>(b.value[1]));
}

// The end of every call once its texts are copied: out of memory, else the
// trace line (when there is one) and the agent's slot, which settles the
// statement.
DRV_Return Finish(StmtHandle* stmt, const Texts& t, const DRV_CatalogArgs& block, TraceLine trace,
                  DRV_Catalog_t DRV_OpTable::*slot) {
  if (t.failed()) return Fail(stmt, ERR_NO_MEMORY);
  if (trace != nullptr && TRC_Active()) trace(block);
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr || ops->*slot == nullptr) return Fail(stmt, ERR_NOT_CAPABLE);
  return CAT_Settle(stmt, (ops->*slot)(stmt->agentStmt, &block));
}

// The functions whose texts are catalog, schema, name and maybe a fourth:
// `matchAll` says which absent texts match all (bit 0 schema, bit 1 name,
// bit 2 fourth), `nameRequired` that an absent name is refused. `block`
// comes with the call's numeric arguments already in it.
struct Shape {
  int count;
  unsigned matchAll;
  bool nameRequired;
  TraceLine trace;  // null: no trace line
};

DRV_Return CatalogTexts(StmtHandle* stmt, const TextArg* a, const Shape& shape,
                        DRV_CatalogArgs block, DRV_Catalog_t DRV_OpTable::*slot) {
  if (!CAT_Begin(stmt)) return SQL_ERROR;
  if (!TextsAcceptable(a, shape.count, shape.nameRequired)) return Fail(stmt, ERR_INVALID_ARGUMENT);
  Texts t;
  auto how = [&](int i) {
    return i > 0 && (shape.matchAll & (1u << (i - 1))) != 0 ? Absent::MatchAll : Absent::Empty;
  };
  block.catalog = t.Add(a[0], how(0));
  block.schema = t.Add(a[1], how(1));
  block.name = t.Add(a[2], how(2));
  if (shape.count > 3) block.extra = t.Add(a[3], how(3));
  return Finish(stmt, t, block, shape.trace, slot);
}

// The common case: the texts are all the arguments there are.
DRV_Return CatalogTexts(void* h, va_list args, const Shape& shape,
                        DRV_Catalog_t DRV_OpTable::*slot) {
  TextArg a[4] = {};
  for (int i = 0; i < shape.count; ++i) a[i] = QMR_NEXT_TEXT(args);
  return CatalogTexts(static_cast<StmtHandle*>(h), a, shape, DRV_CatalogArgs(), slot);
}

}  // namespace

namespace {

// A catalog result scrolls only as a static, read-only cursor: the cursor
// library lowers any other scrollable request, and the statement takes the
// options it got, with 01S02.
DRV_Return CatalogCursorOptions(StmtHandle* stmt) {
  SCR_CURSOR& cur = stmt->cursor;
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (cur.cursorType == SQL_CURSOR_FORWARD_ONLY || ops == nullptr || ops->DRV_GetInfo == nullptr)
    return SQL_SUCCESS;
  bool changed = false;
  for (auto [request, field] : {std::pair{OPT_CURSOR_TYPE, &cur.cursorType},
                                std::pair{OPT_CONCURRENCY, &cur.concurrency}}) {
    uint32_t answer = 0;
    uint16_t length = 0;
    if (ops->DRV_GetInfo(stmt->agentStmt, request, &answer, sizeof answer, &length) != 0) continue;
    if (answer != *field) {
      *field = answer;
      changed = true;
    }
  }
  if (!changed) return SQL_SUCCESS;
  cur.flags |= SCR_FLAG_OPTIONS_CHANGED;
  return Warn(stmt, ERR_VALUE_CHANGED);
}

}  // namespace

bool CAT_Begin(StmtHandle* stmt) {
  STMT_Close(stmt);
  if (stmt->state != kStmtAllocated) {
    Fail(stmt, ERR_FUNCTION_SEQUENCE);
    return false;
  }
  STMT_FreeColInfo(stmt);
  return true;
}

DRV_Return CAT_Settle(StmtHandle* stmt, uint32_t code) {
  if (code != 0) return AgentFail(stmt, code);
  // What closing the earlier cursor left pending does not fail the call.
  ClearPending(stmt);
  stmt->state = kStmtPrepared;
  stmt->flags |= kStmtFlagCursorOpen;
  stmt->rowsFetched = 0;
  return CatalogCursorOptions(stmt);
}

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
  if (!CAT_Begin(stmt)) return SQL_ERROR;
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
    const UniqueFree<char> list(raw);
    if (list == nullptr) return Fail(stmt, ERR_NO_MEMORY);
    types = TBL_QuoteTypes(list.get(), (flags & kConnIncludeViews) != 0);
    if ((flags & kConnIncludeAll) != 0) types.clear();
    block.extra = t.AddRaw(types);
  } else if ((flags & kConnIncludeAll) != 0) {
    block.extra = t.AddRaw("");
  }
  return Finish(stmt, t, block, TraceType, &DRV_OpTable::DRV_DDTables);
}

DRV_Return DRV_ColumnsOp(void* h, va_list args) {
  return CatalogTexts(h, args, {4, 7u, false, TraceColumn}, &DRV_OpTable::DRV_DDColumns);
}

DRV_Return DRV_ColumnPrivilegesOp(void* h, va_list args) {
  return CatalogTexts(h, args, {4, 4u, true, TraceColumn}, &DRV_OpTable::DRV_DDColumnPrivileges);
}

DRV_Return DRV_TablePrivilegesOp(void* h, va_list args) {
  return CatalogTexts(h, args, {3, 3u, false, TraceNames}, &DRV_OpTable::DRV_DDTablePrivileges);
}

DRV_Return DRV_PrimaryKeysOp(void* h, va_list args) {
  return CatalogTexts(h, args, {3, 0u, true, TraceNames}, &DRV_OpTable::DRV_DDPrimaryKeys);
}

DRV_Return DRV_ProceduresOp(void* h, va_list args) {
  return CatalogTexts(h, args, {3, 3u, false, nullptr}, &DRV_OpTable::DRV_DDProcedures);
}

DRV_Return DRV_ProcedureColumnsOp(void* h, va_list args) {
  return CatalogTexts(h, args, {4, 7u, false, nullptr}, &DRV_OpTable::DRV_DDProcedureColumns);
}

DRV_Return DRV_StatisticsOp(void* h, va_list args) {
  TextArg a[3];
  for (TextArg& x : a) x = QMR_NEXT_TEXT(args);
  DRV_CatalogArgs block;
  block.value[0] = static_cast<uint16_t>(va_arg(args, int));  // unique
  block.value[1] = static_cast<uint16_t>(va_arg(args, int));  // accuracy
  return CatalogTexts(static_cast<StmtHandle*>(h), a, {3, 0u, true, TraceStatistics}, block,
                      &DRV_OpTable::DRV_DDStatistics);
}

DRV_Return DRV_SpecialColumnsOp(void* h, va_list args) {
  DRV_CatalogArgs block;
  block.value[0] = static_cast<uint16_t>(va_arg(args, int));  // kind
  TextArg a[3];
  for (TextArg& x : a) x = QMR_NEXT_TEXT(args);
  block.value[1] = static_cast<uint16_t>(va_arg(args, int));  // scope
  block.value[2] = static_cast<uint16_t>(va_arg(args, int));  // nullable
  return CatalogTexts(static_cast<StmtHandle*>(h), a, {3, 0u, true, TraceNames}, block,
                      &DRV_OpTable::DRV_DDSpecialColumns);
}

DRV_Return DRV_ForeignKeysOp(void* h, va_list args) {
  auto* stmt = static_cast<StmtHandle*>(h);
  TextArg a[6];
  for (TextArg& x : a) x = QMR_NEXT_TEXT(args);
  if (!CAT_Begin(stmt)) return SQL_ERROR;
  if (!TextsAcceptable(a, 6, false)) return Fail(stmt, ERR_INVALID_ARGUMENT);
  Texts t;
  DRV_CatalogArgs block;
  block.catalog = t.Add(a[0], Absent::Empty);
  block.schema = t.Add(a[1], Absent::Empty);
  block.name = t.Add(a[2], Absent::Empty);
  block.fkCatalog = t.Add(a[3], Absent::Empty);
  block.fkSchema = t.Add(a[4], Absent::Empty);
  block.fkName = t.Add(a[5], Absent::Empty);
  return Finish(stmt, t, block, nullptr, &DRV_OpTable::DRV_DDForeignKeys);
}
