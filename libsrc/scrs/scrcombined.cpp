// The combined calls an agent may offer besides the single steps: prepare,
// values, descriptions and execute in one call (with or without the column
// descriptions and attributes back), a statement allocated and prepared in
// one, a batch of statements, and a fetch that describes its own row. Each
// is made of the library's single-step hooks, so an emulated cursor is
// served the same whichever way the core calls. A step whose agent slot is
// empty answers "not capable" rather than calling through a null pointer.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcombined.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "scrs/scrhooks.h"
#include "util/errcodes.h"

namespace {

// The row count of the statement's last execution; an unknown count is 0.
uint32_t AffectedRows(uint32_t stmt, uint32_t* rows) {
  int32_t count = 0;
  uint16_t len = 0;
  const uint32_t rc = SCR_GetInfo(stmt, INFO_ROW_COUNT, &count, sizeof count, &len);
  *rows = rc == 0 && count > 0 ? static_cast<uint32_t>(count) : 0;
  return rc;
}

// The rowset size goes to the agent before the execute; an agent that
// changed it says so and the value in force is read back.
uint32_t SetRowsetSize(uint32_t stmt, uint32_t* rowset) {
  if (SCR_Agent().DRV_SetOption == nullptr) return ERR_NOT_CAPABLE;
  const uint32_t rc = SCR_Agent().DRV_SetOption(stmt, OPT_ROWSET_SIZE, rowset);
  if (rc != ERR_VALUE_CHANGED) return rc;
  uint16_t len = 0;
  return SCR_GetInfo(stmt, OPT_ROWSET_SIZE, rowset, sizeof *rowset, &len);
}

// Text, values and descriptions, each when given, then the execute.
template <typename Descs, typename Bind>
uint32_t RunSteps(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                  const Descs* descs, Bind bind) {
  if (sql != nullptr) {
    if (uint32_t rc = SCR_Prepare(stmt, sql)) return rc;
  }
  if (params != nullptr) {
    if (uint32_t rc = SCR_SetParams(stmt, params)) return rc;
  }
  if (count != 0) {
    if (uint32_t rc = bind(stmt, count, descs)) return rc;
  }
  return SCR_Execute(stmt);
}

// The first word of a statement, lower-cased, as far as one of `stops`.
std::string FirstWord(const char* text, const char* stops) {
  const char* p = text;
  while (*p != '\0' && std::strchr(stops, *p) != nullptr) ++p;
  std::string word;
  for (; *p != '\0' && std::strchr(stops, *p) == nullptr; ++p)
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return word;
}

bool SCR_IsSelect(const char* text) { return FirstWord(text, " \t\n\r\f(") == "select"; }
bool SCR_IsCall(const char* text) { return FirstWord(text, " {?=\t\n\r\f") == "call"; }

// A procedure call may hand back only its parameters: a described column
// that is not one ("*I", "*O", "*B", "*U") is a result set, which a batch
// cannot take.
uint32_t CallGivesNoRows(uint32_t stmt) {
  if (SCR_Agent().DRV_NumResultCols == nullptr) return ERR_NOT_CAPABLE;
  uint16_t n = 0;
  JdbcColDesc* descs = nullptr;
  if (uint32_t rc = SCR_Agent().DRV_NumResultCols(stmt, &n, &descs)) return rc;
  const bool rows = n > 0 && descs != nullptr &&
                    !(descs[0].name[0] == '*' && std::strchr("IOBU", descs[0].name[1]) != nullptr &&
                      descs[0].name[1] != '\0');
  ColDescFree(descs, n);
  return rows ? ERR_DDL_DML_ONLY : 0;
}

// One statement of a batch: 0, or the code that stops the batch.
uint32_t RunBatchRecord(uint32_t stmt, const DRV_BatchRecord& rec, uint32_t* result) {
  const char* text = rec.sql;
  if (text == nullptr) {
    const JdbcStmt* s = AGT_Stmt(stmt);
    text = s != nullptr && s->sql != nullptr ? s->sql : "";
  }
  const std::string copy = text;
  if (SCR_IsSelect(copy.c_str())) return ERR_DDL_DML_ONLY;
  const bool call = SCR_IsCall(copy.c_str());
  if (uint32_t rc = SCR_PrepareExecute(stmt, rec.sql, rec.params, rec.count, rec.descs)) return rc;
  uint32_t rows = 0;
  *result = AffectedRows(stmt, &rows) == 0 ? rows : static_cast<uint32_t>(-2);
  return call ? CallGivesNoRows(stmt) : 0;
}

// The element width of a fetched column as its description gives it:
// characters for the UTF-16 forms.
uint32_t DescribedLength(const COLSET_COL& c) {
  switch (c.type) {
    case COLSET_VT_WCHAR:
    case COLSET_VT_WNTS: return c.elem_size / 2;
    case COLSET_VT_WCHAR32: return c.elem_size >= 4 ? (c.elem_size - 4) / 2 : 0;
    default: return c.elem_size;
  }
}

}  // namespace

uint32_t SCR_ExecDescribeCore(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                              const void* descs, uint32_t rowset, uint16_t* ncols,
                              JdbcColDesc** cols, void* out3, void* out4, int32_t* rowCount,
                              uint16_t* nattrs, ATTR_ENTRY** attrs) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  const DRV_OpTable& agent = SCR_Agent();
  const bool withAttrs = nattrs != nullptr && attrs != nullptr;
  if ((withAttrs ? agent.DRV_ColAttributes == nullptr : agent.DRV_NumResultCols == nullptr) ||
      agent.DRV_DescribeCols == nullptr)
    return ERR_NOT_CAPABLE;
  if (cur->cursorType != SQL_CURSOR_FORWARD_ONLY) {
    if (uint32_t rc = SetRowsetSize(stmt, &rowset)) return rc;
  }
  SCR_LongDataReset(cur);
  uint32_t rc =
      RunSteps(stmt, sql, params, count, static_cast<const JdbcColBind*>(descs), SCR_BindCols);
  const bool outputValues = rc == ERR_OUTPUT_VALUES;
  if (rc != 0 && !outputValues) return rc;
  rc = withAttrs ? agent.DRV_ColAttributes(stmt, ncols, nattrs, cols, attrs)
                 : agent.DRV_NumResultCols(stmt, ncols, cols);
  if (rc == 0)
    rc = agent.DRV_DescribeCols(stmt, static_cast<uint16_t*>(out3),
                                static_cast<JdbcColDesc**>(out4));
  if (rc != 0) return rc;
  if (rowCount != nullptr) {
    uint32_t rows = 0;
    AffectedRows(stmt, &rows);
    *rowCount = static_cast<int32_t>(rows);
  }
  return outputValues ? ERR_OUTPUT_VALUES : 0;
}

extern "C" {

uint32_t SCR_ExecDescribe(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                          const void* descs, uint32_t rowset, uint16_t* ncols, JdbcColDesc** cols,
                          void* out3, void* out4, int32_t* rowCount) {
  return SCR_ExecDescribeCore(stmt, sql, params, count, descs, rowset, ncols, cols, out3, out4,
                              rowCount, nullptr, nullptr);
}

uint32_t SCR_ExecDescribeAttr(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                              const void* descs, uint32_t rowset, uint16_t* ncols,
                              JdbcColDesc** cols, void* out3, void* out4, int32_t* rowCount,
                              uint16_t* nattrs, ATTR_ENTRY** attrs) {
  return SCR_ExecDescribeCore(stmt, sql, params, count, descs, rowset, ncols, cols, out3, out4,
                              rowCount, nattrs, attrs);
}

uint32_t SCR_AllocPrepare(uint32_t conn, const char* sql, uint32_t concurrency, uint32_t cursorType,
                          uint32_t* out) {
  if (out == nullptr) return ERR_INVALID_ARGUMENT;
  uint32_t stmt = 0;
  if (uint32_t rc = SCR_AllocStmt(conn, &stmt)) return rc;
  uint32_t rc = 0;
  if (cursorType != 0) {
    rc = SCR_Agent().DRV_SetOption(stmt, OPT_CURSOR_TYPE, &cursorType);
    if (rc == 0) rc = SCR_Agent().DRV_SetOption(stmt, OPT_CONCURRENCY, &concurrency);
    if (rc != 0) {
      SCR_FreeStmt(stmt);
      return rc;
    }
  }
  if (sql != nullptr && (rc = SCR_Prepare(stmt, sql)) != 0) {
    // The statement goes with its handle: what it says of the failure stays
    // on the connection, which the caller still holds.
    JdbcStmt* s = AGT_Stmt(stmt);
    JdbcConn* c = AGT_Conn(conn);
    if (s != nullptr && c != nullptr) {
      errClear(&c->errors);
      c->errors.head = s->errors.head;
      s->errors.head = nullptr;
    }
    SCR_FreeStmt(stmt);
    return rc;
  }
  *out = stmt;
  return 0;
}

uint32_t SCR_BindColsEx(uint32_t stmt, uint16_t count, const void* entries) {
  SCR_CURSOR* cur = SCR_StmtCursor(stmt);
  if (cur == nullptr) return ERR_INVALID_ARGUMENT;
  if (SCR_Agent().DRV_BindColsEx == nullptr) return ERR_NOT_CAPABLE;
  const auto* named = static_cast<const ParamDescNamed*>(entries);
  std::vector<JdbcColBind> binds(count);
  for (uint16_t i = 0; i < count && named != nullptr; ++i)
    binds[i] = JdbcColBind{named[i].sqlType, named[i].unused, named[i].columnSize,
                           named[i].decimalDigits, named[i].direction};
  if (SCR_KeepCurrentOfBinds(cur, count, binds.data())) return 0;
  KS_KeepAppBinds(cur, count, binds.data());
  return SCR_Agent().DRV_BindColsEx(stmt, count, entries);
}

uint32_t SCR_Execute2(uint32_t stmt, const char* sql, COLSET* params, uint16_t count,
                      const void* namedDescs) {
  if (SCR_StmtCursor(stmt) == nullptr) return ERR_INVALID_ARGUMENT;
  return RunSteps(stmt, sql, params, count, namedDescs, SCR_BindColsEx);
}

uint32_t SCR_ExecBatch(uint32_t stmt, uint16_t count, const void* batch, uint16_t* done,
                       uint32_t** results) {
  if (SCR_StmtCursor(stmt) == nullptr || done == nullptr || results == nullptr ||
      (count > 0 && batch == nullptr))
    return ERR_INVALID_ARGUMENT;
  auto* counts = static_cast<uint32_t*>(std::calloc(count > 0 ? count : 1, sizeof(uint32_t)));
  if (counts == nullptr) return ERR_NO_MEMORY;
  const auto* recs = static_cast<const DRV_BatchRecord*>(batch);
  uint32_t rc = 0;
  uint16_t i = 0;
  for (; i < count; ++i) {
    if ((rc = RunBatchRecord(stmt, recs[i], &counts[i])) != 0) break;
  }
  *done = i;
  *results = counts;
  return rc;
}

uint32_t SCR_FetchDescribe(uint32_t stmt, uint16_t* count, void** types, void* rowRecord) {
  if (SCR_StmtCursor(stmt) == nullptr || count == nullptr || rowRecord == nullptr)
    return ERR_INVALID_ARGUMENT;
  if (SCR_Agent().DRV_Fetch == nullptr) return ERR_NOT_CAPABLE;
  auto* set = static_cast<COLSET*>(rowRecord);
  if (uint32_t rc = SCR_Agent().DRV_Fetch(stmt, 0, set)) return rc;
  *count = set->cols_used;
  if (set->cols_used == 0 || types == nullptr) return 0;
  JdbcColDesc* descs = ColDescAlloc(set->cols_used);
  if (descs == nullptr) return ERR_NO_MEMORY;
  for (uint16_t c = 0; c < set->cols_used; ++c) {
    descs[c].value_type = set->cols[c].type;
    descs[c].elem_len = DescribedLength(set->cols[c]);
  }
  *types = descs;
  return 0;
}

}  // extern "C"
