// Fetching rows of the current ResultSet into a row buffer, one getter per
// column chosen by the column's value type code.
#include <sql.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "drv_jdbc/j-catalog.h"
#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-getvalue.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-proc.h"
#include "drv_jdbc/j-wrap.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-exec";

// Catalog kinds whose first two columns (catalog, schema) may be dropped.
constexpr uint32_t kCatalogTypeInfo = 1;
constexpr uint32_t kCatalogTables = 3;
constexpr uint32_t kCatalogStatistics = 4;
constexpr uint32_t kCatalogColumns = 6;
// A type name of the type information, as far as its rewrite reads it.
constexpr size_t kTypeNameBytes = 129;

// Money's text as an exact decimal: "$1,000.00" -> "1000.00", "-$5.25" and
// "($5.25)" -> "-5.25". A currency sign may lead or trail, commas group the
// whole digits, a point leads the fraction. Empty when text has another
// form (another locale's): the caller keeps the database's text.
std::string MoneyDecimal(std::string_view text) {
  bool negative = false;
  if (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
    negative = true;
    text = text.substr(1, text.size() - 2);
  }
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  auto isSign = [&](char c) { return !isDigit(c) && c != '.' && c != ',' && c != '('; };
  size_t b = 0;
  size_t e = text.size();
  for (; b < e && isSign(text[b]); ++b) negative = negative || text[b] == '-';
  for (; e > b && isSign(text[e - 1]); --e) negative = negative || text[e - 1] == '-';
  std::string out = negative ? "-" : "";
  size_t group = 0;  // whole digits since the last comma
  bool grouped = false;
  bool point = false;
  bool digits = false;
  for (size_t i = b; i < e; ++i) {
    const char c = text[i];
    if (isDigit(c)) {
      out += c;
      digits = true;
      ++group;
    } else if (c == ',' && !point && digits && group <= 3 && (!grouped || group == 3)) {
      grouped = true;
      group = 0;
    } else if (c == '.' && !point && digits && (!grouped || group == 3)) {
      point = true;
      grouped = false;
      out += c;
    } else {
      return {};
    }
  }
  if (!digits || (grouped && group != 3)) return {};
  return out;
}

// Money into counted element e (size bytes): its text read, made an exact
// decimal where it has the common form; a longer text keeps its whole
// length, as any counted text does.
uint32_t FillMoney(JdbcStmt* s, jobject rs, int32_t jc, unsigned char* e, uint32_t size) {
  constexpr uint32_t kTextBytes = 256;
  std::vector<char> tmp(kTextBytes);
  uint32_t len = 0;
  if (uint32_t rc = ResultSet::getCountedString(s, rs, jc, tmp.data(), kTextBytes, &len)) return rc;
  if (size < 4) return ERR_GENERAL;
  len = std::min(len, kTextBytes);
  std::string text = MoneyDecimal(std::string_view(tmp.data(), len));
  if (text.empty()) text.assign(tmp.data(), len);
  const size_t n = std::min<size_t>(text.size(), size - 4);
  jget::Put(e, static_cast<uint32_t>(text.size()));
  std::memcpy(e + 4, text.data(), n);
  return 0;
}

// Fills row element e (size bytes) of a column of value type code `code`
// from column `jc` (1-based) of the result set.
uint32_t FillElement(JdbcStmt* s, jobject rs, int32_t jc, uint32_t code, unsigned char* e,
                     uint32_t size, bool money) {
  if (money && code == COLSET_VT_CHAR32) return FillMoney(s, rs, jc, e, size);
  uint32_t rc = 0;
  uint32_t len = 0;
  switch (code) {
    case COLSET_VT_NTS:
      return ResultSet::getString_5(s, rs, jc, reinterpret_cast<char*>(e), size, &len);
    // Text as long as it comes: a value longer than its element keeps what
    // fits and its whole length, which tells the conversion it was cut.
    case COLSET_VT_CHAR32:
      if (size < 4) return ERR_GENERAL;
      rc = ResultSet::getCountedString(s, rs, jc, reinterpret_cast<char*>(e + 4), size - 4, &len);
      jget::Put(e, len);
      return rc;
    case COLSET_VT_BINARY32:
      if (size < 4) return ERR_GENERAL;
      rc = ResultSet::getBytes(s, rs, jc, e + 4, size - 4, &len);
      jget::Put(e, std::min(len, size - 4));
      return rc;
    case COLSET_VT_WNTS: {
      // At most size / 2 - 1 characters: the last unit is the NUL's.
      std::vector<char16_t> tmp(std::max<uint32_t>(size / 2, 1));
      rc = ResultSet::getString(s, rs, jc, tmp.data(), static_cast<uint32_t>(tmp.size()), &len);
      // An element of one byte has no room even for the NUL: never write past it.
      if (rc == 0) std::memcpy(e, tmp.data(), std::min<size_t>(sizeof(char16_t) * (len + 1), size));
      return rc;
    }
    case COLSET_VT_WCHAR32:
      if (size < 4) return ERR_GENERAL;
      rc = ResultSet::getCountedString(s, rs, jc, reinterpret_cast<char16_t*>(e + 4),
                                       (size - 4) / 2, &len);
      jget::Put(e, len);
      return rc;
    default:
      rc = jget::Read(s, rs, jc, code, e, size);
      // The unsigned and short length-prefixed forms are never described.
      return rc == jget::kNoReader ? ERR_GENERAL : rc;
  }
}

// Moves the records of one list to another, whose own go.
void MoveErrors(ErrorList* from, ErrorList* to) {
  errClear(to);
  to->head = from->head;
  from->head = nullptr;
}

// A read that failed after delivering rows: the failure is the next row's,
// and waits for the fetch that reaches it, so that the rows before it go out
// now and the rows after it can follow. A getter's failure (rowFailed) on
// the first row read is that row's failure at once. A failure of the
// driver's own, which no database record explains (a form it cannot read),
// ends the fetch as it did.
uint32_t HoldRowFailure(JdbcStmt* s, uint32_t rc, bool rowFailed) {
  if (s->errors.head == nullptr) return rc;
  if (s->rowCount == 0) return rowFailed ? ERR_ROW_ERROR : rc;
  MoveErrors(&s->errors, &s->heldErrors);
  s->rowFailureHeld = true;
  return 0;
}

// The fetch that reaches the row whose failure was held: it fails alone,
// with the row's records, and leaves the set shaped for one row (a caller
// may stand a blank row in for it).
uint32_t ReportHeldFailure(JdbcStmt* s, COLSET* set) {
  s->rowFailureHeld = false;
  // A caller gathering a rowset keeps the records of its earlier rows.
  if (s->errors.keep == 0) errClear(&s->errors);
  for (AgentError* r = s->heldErrors.head; r != nullptr;) {
    AgentError* next = r->next;
    errAppend(&s->errors, r);
    r = next;
  }
  s->heldErrors.head = nullptr;
  if (ColSetBuild(s->cols, s->cols != nullptr ? s->colCount : 0, 1, set) != 0) ColSetInit(set, 0);
  set->rows_held = 0;
  return ERR_ROW_ERROR;
}

}  // namespace

// A very wide VARCHAR is kept out of line too.
bool jexec::IsLongColumn(const JdbcColDesc& d) {
  return d.sql_type == SQL_LONGVARBINARY || d.sql_type == SQL_LONGVARCHAR ||
         d.sql_type == SQL_WLONGVARCHAR || d.value_type == COLSET_VT_LONGCHAR ||
         d.value_type == COLSET_VT_LONGBINARY || d.value_type == COLSET_VT_LONGWCHAR;
}

extern "C" uint32_t DRV_Fetch(uint32_t stmt, uint16_t rows, COLSET* set) {
  JdbcStmt* s = nullptr;
  if (uint32_t rc = jexec::Enter(stmt, &s)) return rc;
  if (set == nullptr) return ERR_INVALID_ARGUMENT;
  JC_LocalFrame frame(s->jniEnv, jexec::kFrame);
  s->rowCount = 0;
  if ((s->flags & STMT_EXECUTED) == 0) return ERR_FUNCTION_SEQUENCE;
  if (s->rowFailureHeld) return ReportHeldFailure(s, set);
  if (s->keptRows != nullptr) return catFetchKept(s, rows, set);
  if (uint32_t rc = jexec::DescribeLate(s)) return rc;
  if ((s->flags & STMT_PREPARE_CALL) != 0 && rows == 0) {
    const uint32_t rc = fetchCallProc(s, set);
    s->flags |= STMT_NO_MORE_ROWS;
    return rc;
  }
  uint32_t n = rows;
  if (s->maxRows != 0) {
    const uint32_t left = s->maxRows > s->rowsFetched ? s->maxRows - s->rowsFetched : 0;
    n = std::min(n, left);
  }
  if (n == 0 || (s->flags & STMT_NO_MORE_ROWS) != 0)
    return static_cast<uint32_t>(ColSetInit(set, 0));
  for (uint16_t c = 0; c < s->colCount && s->cols != nullptr; ++c) {
    if (jexec::IsLongColumn(s->cols[c])) n = 1;
  }
  // A lookup's execute read its whole result ahead: a buffer for the block
  // the fetch asks for would be made, zeroed and freed for one row.
  const uint32_t room = jblock::RowsLeft(s, n);
  if (int rc = ColSetBuild(s->cols, s->cols != nullptr ? s->colCount : 0, room, set)) {
    return static_cast<uint32_t>(rc);
  }
  if (s->singleTarget >= 0 && static_cast<uint32_t>(s->singleTarget) >= set->cols_used) {
    log_message(LOG_LEVEL_ERROR, kSrc, __LINE__, "The redirectCol is more than count of Columns");
    return ERR_GENERAL;
  }
  uint32_t perRow = s->singleTarget >= 0 ? 1 : set->cols_used;
  if (s->fetchColLimit >= 0) perRow = static_cast<uint32_t>(s->fetchColLimit);
  if (s->singleTarget < 0) perRow = std::min<uint32_t>(perRow, set->cols_used);

  const JdbcConn* conn = s->conn;
  uint32_t rc = 0;
  uint32_t i = 0;
  // A plain result whose every column has a block form is read a block at a
  // time; the rest (catalog results, long values) value by value below.
  bool block = false;
  bool onRow = false;  // the read failed on a row that next() reached
  if (s->catalogKind == 0 && s->singleTarget < 0 && perRow == set->cols_used) {
    rc = jblock::Fetch(s, s->resultSet, n, set, &onRow);
    block = rc != jblock::kNotTaken;
    if (!block) rc = 0;
  }
  while (!block && i < room) {
    jobject rs = s->resultSet;
    if (rs == nullptr || (s->catalogKind == kCatalogStatistics && conn != nullptr &&
                          conn->settings.jetStatisticsOff != 0)) {
      s->flags |= STMT_NO_MORE_ROWS;
      break;
    }
    onRow = false;
    uint8_t more = 0;
    if ((rc = ResultSet::next(s, rs, &more)) != 0) break;
    if (!more) {
      s->flags |= STMT_NO_MORE_ROWS;
      break;
    }
    onRow = true;
    if (s->catalogKind == kCatalogTypeInfo && s->requestedType != 0) {
      int16_t type = 0;
      char name[kTypeNameBytes] = "";
      uint32_t nameLength = 0;
      if ((rc = ResultSet::getShort(s, rs, 2, &type)) != 0) break;
      if ((rc = ResultSet::getString(s, rs, 1, name, sizeof name, &nameLength)) != 0) break;
      // The size, where the result has one, tells text without a bound.
      int32_t size = -1;
      uint8_t noSize = 0;
      if (ResultSet::getInt(s, rs, 3, &size) != 0 || ResultSet::wasNull(s, rs, &noSize) != 0) {
        errClear(&s->errors);
        size = -1;
      } else if (noSize != 0) {
        size = -1;
      }
      // The next row goes into the same slot.
      if (!catTypeInfoWanted(s, type, name, size)) continue;
    }
    for (uint32_t c = 0; c < perRow && rc == 0; ++c) {
      COLSET_COL& col =
          set->cols[s->singleTarget >= 0 ? static_cast<uint32_t>(s->singleTarget) : c];
      unsigned char* e = col.data + static_cast<size_t>(i) * col.elem_size;
      const bool money =
          s->cols != nullptr && c < s->colCount && (s->cols[c].flags & EXEC_COLDESC_MONEY) != 0;
      rc = FillElement(s, rs, static_cast<int32_t>(c + 1), col.type, e, col.elem_size, money);
      uint8_t isNull = 0;
      if (rc == 0) rc = ResultSet::wasNull(s, rs, &isNull);
      if (rc == 0) col.ind[i] = isNull != 0 ? COLSET_IND_NULL : 0;
    }
    if (rc == 0 && s->catalogKind == kCatalogColumns) rc = catColumnsBaseType(s, rs, set, i);
    if (rc != 0) break;
    if ((s->catalogKind == kCatalogTables || s->catalogKind == kCatalogStatistics ||
         s->catalogKind == kCatalogColumns) &&
        conn != nullptr) {
      if (conn->settings.jetDropCatalog != 0 && set->cols_used > 0) {
        set->cols[0].ind[i] = COLSET_IND_NULL;
      }
      if (conn->settings.jetDropSchema != 0 && set->cols_used > 1) {
        set->cols[1].ind[i] = COLSET_IND_NULL;
      }
    }
    ++s->rowCount;
    ++i;
  }
  set->rows_held = s->rowCount;
  s->rowsFetched += s->rowCount;
  if (rc != 0) rc = HoldRowFailure(s, rc, onRow);
  if (rc == 0 && s->rowHook != nullptr && s->rowCount > 0) rc = s->rowHook(s, set);
  return rc;
}
