// Result-column descriptions: asking the agent, keeping them per result, and
// the fetch-block size they imply.
#include "driver/coldesc.h"

#include <cstdlib>
#include <cstring>

#include "driver/agent_fail.h"
#include "driver/stmt.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"

namespace {

constexpr uint32_t kMaxBlockBytes = 65535;

// The bookmark column: its description never changes, so one record serves
// every statement.
const JdbcColDesc& BookmarkDesc() {
  static const JdbcColDesc d = [] {
    JdbcColDesc b{};
    std::strcpy(b.name, "BOOKMARK");
    b.sql_type = 1;
    b.delivered_type = 1;
    b.precision = 8;
    b.display_size = 8;
    b.value_type = COLSET_VT_CHAR;
    b.elem_len = 8;
    return b;
  }();
  return d;
}

void FreeAgentAttrs(ATTR_ENTRY* attrs, uint16_t n) {
  if (attrs == nullptr) return;
  for (uint16_t i = 0; i < n; ++i) ATTR_EntryRelease(&attrs[i]);
  std::free(attrs);
}

void FreeClosedAttrs(StmtHandle* stmt) {
  FreeAgentAttrs(stmt->closedAttrs, stmt->closedAttrCount);
  stmt->closedAttrs = nullptr;
  stmt->closedAttrCount = 0;
}

// The agent's number for the description it holds now; 0 when it gives none.
uint32_t AgentColsGeneration(const StmtHandle* stmt) {
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return 0;
  uint32_t v = 0;
  uint16_t len = 0;
  return ops->DRV_GetInfo(stmt->agentStmt, INFO_COLS_GENERATION, &v, sizeof v, &len) == 0 &&
                 len == sizeof v
             ? v
             : 0;
}

// Rows per fetch block the connection asks for (FBS).
uint32_t FetchRows(const ConnHandle* conn) {
  return conn != nullptr && conn->cn_fetchSize != 0 ? conn->cn_fetchSize : kDefaultFetchRows;
}

uint64_t ValueWidth(const JdbcColDesc& d) {
  switch (d.value_type) {
    case COLSET_VT_NONE:
    case COLSET_VT_BIT:
    case COLSET_VT_TINYINT:
    case COLSET_VT_UTINYINT: return 1;
    case COLSET_VT_SMALLINT:
    case COLSET_VT_USMALLINT: return 2;
    case COLSET_VT_INTEGER:
    case COLSET_VT_UINTEGER:
    case COLSET_VT_REAL: return 4;
    case COLSET_VT_DOUBLE: return 8;
    case COLSET_VT_DATE: return 6;
    case COLSET_VT_TIME: return 16;
    case COLSET_VT_TIMESTAMP: return 20;
    case COLSET_VT_LONGCHAR:
    case COLSET_VT_LONGBINARY:
    case COLSET_VT_NTS:
    case COLSET_VT_CHAR8:
    case COLSET_VT_CHAR16:
    case COLSET_VT_CHAR32:
    case COLSET_VT_BINARY8:
    case COLSET_VT_BINARY16:
    case COLSET_VT_BINARY32:
    case COLSET_VT_WNTS:
    case COLSET_VT_LONGWCHAR:
    case COLSET_VT_WCHAR32: return 16;
    case COLSET_VT_WCHAR: return 2 * static_cast<uint64_t>(d.elem_len);
    default: return d.elem_len;
  }
}

}  // namespace

uint64_t STMT_RowWidth(const JdbcColDesc* cols, uint16_t count) {
  uint64_t width = 0;
  for (uint16_t i = 0; i < count; ++i) width += 2 + ValueWidth(cols[i]);
  return width;
}

uint32_t STMT_RowsPerBlock(uint64_t width, uint32_t fetchRows) {
  uint64_t rows = fetchRows;
  // A result without columns has no width to divide by; a row wider than
  // the block still travels, one per block.
  if (width != 0 && kMaxBlockBytes / width < rows) rows = kMaxBlockBytes / width;
  return rows == 0 ? 1 : static_cast<uint32_t>(rows);
}

JdbcColDesc* STMT_GetColInfo(StmtHandle* stmt) {
  if (stmt->cols != nullptr) return stmt->cols;
  ConnHandle* conn = stmt->conn;
  const DRV_OpTable* ops = stmt->agent != nullptr ? stmt->agent->ops : nullptr;
  uint16_t count = 0;
  JdbcColDesc* cols = nullptr;
  uint32_t code;
  if (conn != nullptr && conn->cap0x400 != 0) {
    STMT_FreeColAttrs(stmt);
    uint16_t nattrs = 0;
    ATTR_ENTRY* attrs = nullptr;
    code = ops != nullptr && ops->DRV_ColAttributes != nullptr
               ? ops->DRV_ColAttributes(stmt->agentStmt, &count, &nattrs, &cols, &attrs)
               : ERR_NOT_CAPABLE;
    if (code != 0) {
      FreeAgentAttrs(attrs, nattrs);
    } else if (attrs != nullptr && nattrs > 0) {
      // Kept as the agent built it: a few entries a column, read by a scan.
      STMT_FreeColAttrs(stmt);
      stmt->colAttrs = attrs;
      stmt->colAttrCount = nattrs;
    } else {
      std::free(attrs);
    }
  } else {
    code = ops != nullptr && ops->DRV_NumResultCols != nullptr
               ? ops->DRV_NumResultCols(stmt->agentStmt, &count, &cols)
               : ERR_NOT_CAPABLE;
  }
  if (code != 0) {
    AgentFail(stmt, code);
    return nullptr;
  }
  if (cols == nullptr || count == 0) {
    // No result columns: nothing is kept, so the next call asks again.
    ColDescFree(cols, 0);
    stmt->colCount = 0;
    return nullptr;
  }
  stmt->cols = cols;
  stmt->colCount = count;
  stmt->rowsPerBlock = STMT_RowsPerBlock(STMT_RowWidth(cols, count), FetchRows(conn));
  FreeClosedAttrs(stmt);
  stmt->colsGeneration = AgentColsGeneration(stmt);
  return cols;
}

const JdbcColDesc* STMT_GetCol(StmtHandle* stmt, uint32_t n) {
  if (n == 0) {
    if (stmt->useBookmarks == 0) {
      Fail(stmt, ERR_INVALID_COLUMN);
      return nullptr;
    }
    return &BookmarkDesc();
  }
  JdbcColDesc* cols = STMT_GetColInfo(stmt);
  if (cols == nullptr && stmt->diag.pending != 0) return nullptr;
  if (cols == nullptr || n > stmt->colCount) {
    Fail(stmt, ERR_INVALID_COLUMN);
    return nullptr;
  }
  return &cols[n - 1];
}

int STMT_ResultColCount(StmtHandle* stmt, uint16_t* count) {
  *count = 0;
  if (stmt->state != kStmtPrepared) return Fail(stmt, ERR_FUNCTION_SEQUENCE);
  if (STMT_GetColInfo(stmt) == nullptr && stmt->diag.pending != 0) return -1;
  *count = stmt->colCount;
  return 0;
}

void STMT_FreeResultCols(StmtHandle* stmt) {
  ColDescFree(stmt->cols, stmt->colCount);
  stmt->cols = nullptr;
  stmt->colCount = 0;
  stmt->rowsPerBlock = 0;
  stmt->colsGeneration = 0;
  STMT_FreeColAttrs(stmt);
  FreeClosedAttrs(stmt);
}

void STMT_SetAsideColAttrs(StmtHandle* stmt) {
  if (stmt->colsGeneration == 0 || stmt->cols == nullptr || stmt->colAttrs == nullptr) {
    STMT_FreeColAttrs(stmt);
    return;
  }
  FreeClosedAttrs(stmt);
  stmt->closedAttrs = stmt->colAttrs;
  stmt->closedAttrCount = stmt->colAttrCount;
  stmt->colAttrs = nullptr;
  stmt->colAttrCount = 0;
}

void STMT_KeepOrFreeResultCols(StmtHandle* stmt, bool executed) {
  if (!executed || stmt->cols == nullptr || stmt->colsGeneration == 0 ||
      AgentColsGeneration(stmt) != stmt->colsGeneration) {
    STMT_FreeResultCols(stmt);
    return;
  }
  if (stmt->closedAttrs == nullptr) return;
  STMT_FreeColAttrs(stmt);
  stmt->colAttrs = stmt->closedAttrs;
  stmt->colAttrCount = stmt->closedAttrCount;
  stmt->closedAttrs = nullptr;
  stmt->closedAttrCount = 0;
}

void STMT_FreeColAttrs(StmtHandle* stmt) {
  FreeAgentAttrs(stmt->colAttrs, stmt->colAttrCount);
  stmt->colAttrs = nullptr;
  stmt->colAttrCount = 0;
}

void STMT_FreeColInfo(StmtHandle* stmt) {
  STMT_CloseCursor(stmt);
  ColSetFreeColumns(&stmt->rows);
  STMT_FreeResultCols(stmt);
  ColDescFree(stmt->paramDescs, stmt->paramCount);
  stmt->paramDescs = nullptr;
  stmt->paramCount = 0;
  stmt->paramsRefreshed = 0;
}
