// The SQLGetInfo pass-through every layer uses to ask an agent connection
// one ODBC information type through a record's table.
#include <sqlext.h>

#include <cstring>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/drv_agent.h"
#include "util/errcodes.h"
#include "util/textconv.h"

namespace {

bool IsIntegerType(uint16_t t) {
  switch (t) {
    case SQL_FETCH_DIRECTION:
    case SQL_DEFAULT_TXN_ISOLATION:
    case SQL_IDENTIFIER_CASE:
    case SQL_SCROLL_CONCURRENCY:
    case SQL_SCROLL_OPTIONS:
    case SQL_TXN_ISOLATION_OPTION:
    case SQL_LOCK_TYPES:
    case SQL_POS_OPERATIONS:
    case SQL_POSITIONED_STATEMENTS:
    case SQL_BOOKMARK_PERSISTENCE:
    case SQL_STATIC_SENSITIVITY:
    case SQL_QUOTED_IDENTIFIER_CASE:
    case SQL_MAX_COLUMNS_IN_ORDER_BY: return true;
    default: return false;
  }
}

bool IsTextType(uint16_t t) {
  return t == SQL_ROW_UPDATES || t == SQL_DBMS_NAME || t == SQL_IDENTIFIER_QUOTE_CHAR ||
         t == SQL_USER_NAME;
}

}  // namespace

uint32_t SCR_AgentInfo(const DRV_Agent* agent, uint32_t conn, uint16_t type, void* value,
                       int16_t size, uint16_t* length) {
  if (agent == nullptr || agent->ops == nullptr || agent->ops->DRV_GetInfo == nullptr)
    return ERR_INVALID_ARGUMENT;
  if (IsIntegerType(type)) {
    uint32_t answer = 0;
    uint16_t got = 0;
    const uint32_t rc = agent->ops->DRV_GetInfo(conn, INFO_ODBC_INT | type, &answer, 4, &got);
    if (rc != 0) return rc;
    if (size >= 0 && size < 4) return ERR_INVALID_ARGUMENT;
    if (value != nullptr) std::memcpy(value, &answer, sizeof answer);
    if (length != nullptr) *length = 4;
    return 0;
  }
  if (!IsTextType(type)) return ERR_OPTION_RANGE;
  char text[256] = {};
  uint16_t got = 0;
  const uint32_t rc = agent->ops->DRV_GetInfo(conn, INFO_ODBC_TEXT | type, text, sizeof text, &got);
  if (rc != 0) return rc;
  text[sizeof text - 1] = '\0';
  const size_t len = std::strlen(text);
  const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
  if (length != nullptr) *length = static_cast<uint16_t>(len);
  if (len < room) {
    if (value != nullptr) std::memcpy(value, text, len + 1);
    return 0;
  }
  // Cut within the caller's buffer, terminator included, and never inside
  // a character.
  if (value != nullptr && room > 0) {
    const size_t keep = utf8_prefix_len(text, len, room - 1);
    std::memcpy(value, text, keep);
    static_cast<char*>(value)[keep] = '\0';
  }
  return ERR_TRUNCATED;
}
