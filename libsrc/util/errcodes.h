// Names of the internal error codes, for the driver and the agent alike.
// Plain integer constants rather than an enum: codes travel as int32_t in the
// core and as uint32_t across the agent interface, and mix with other codes
// in conditional expressions, where an enum would draw warnings.
#ifndef QMR_UTIL_ERRCODES_H
#define QMR_UTIL_ERRCODES_H

#include <cstdint>

#define QMR_ERR(code, name, state, message) inline constexpr int32_t name = code;
#include "util/errcodes.inc"
#undef QMR_ERR

namespace errcodes_detail {
constexpr int32_t HighestCode() {
  int32_t high = 0;
#define QMR_ERR(code, name, state, message) high = (code) > high ? (code) : high;
#include "util/errcodes.inc"
#undef QMR_ERR
  return high;
}
}  // namespace errcodes_detail

// The size of every table built from the list (codes 0 .. the highest), so
// that the driver's and the agent's tables are checked against it when
// they are compiled.
inline constexpr int32_t ERR_CODE_LIMIT = errcodes_detail::HighestCode() + 1;

#endif
