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

#endif
