// The SQLGetInfo pass-through every layer uses to ask an agent connection
// one ODBC information type through a record's table.
#include <cstring>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-serv.h"
#include "util/errcodes.h"

namespace {

// The byte length of the longest prefix of `text` within `room` bytes that
// ends on a character boundary.
size_t CutAtCharacter(const char* text, size_t room) {
  size_t n = room;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

bool IsIntegerType(uint16_t t) {
  switch (t) {
    case 8: case 26: case 28: case 43: case 44: case 72: case 78: case 79:
    case 80: case 82: case 83: case 93: case 99:
      return true;
    default:
      return false;
  }
}

bool IsTextType(uint16_t t) { return t == 11 || t == 17 || t == 29 || t == 47; }

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
    const size_t keep = CutAtCharacter(text, room - 1);
    std::memcpy(value, text, keep);
    static_cast<char*>(value)[keep] = '\0';
  }
  return ERR_TRUNCATED;
}
