// TEMPORARY: the cursor library's SQLGetInfo pass-through, until the cursor
// library is built.
#include "drv_jdbc/cursor_lib.h"

#include <cstring>

#include "util/errcodes.h"

namespace {

bool IsNumericType(uint16_t t) {
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
  if (IsNumericType(type)) {
    uint32_t answer = 0;
    uint16_t got = 0;
    const uint32_t rc = agent->ops->DRV_GetInfo(conn, 0x22040000u | type, &answer, 4, &got);
    if (rc != 0) return rc;
    if (size >= 0 && size < 4) return ERR_INVALID_ARGUMENT;
    if (value != nullptr) std::memcpy(value, &answer, sizeof answer);
    if (length != nullptr) *length = 4;
    return 0;
  }
  if (IsTextType(type)) {
    char text[256] = {};
    uint16_t got = 0;
    const uint32_t rc = agent->ops->DRV_GetInfo(conn, 0x21040000u | type, text, sizeof text, &got);
    if (rc != 0) return rc;
    const size_t len = std::strlen(text);
    const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
    if (length != nullptr) *length = static_cast<uint16_t>(len);
    if (len >= room) {
      if (value != nullptr && room > 0) std::memcpy(value, text, room);
      return 19;
    }
    if (value != nullptr) std::memcpy(value, text, len + 1);
    return 0;
  }
  return 27;
}
