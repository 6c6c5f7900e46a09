// Reading one value into a row-buffer element with the typed JDBC getter its
// value type code calls for. ResultSet columns and CallableStatement output
// parameters share their getters, so one reader serves both.
#ifndef QMR_DRV_JDBC_J_GETVALUE_H
#define QMR_DRV_JDBC_J_GETVALUE_H

#include <cstdint>
#include <cstring>

#include "drv_jdbc/j-wrap-types.h"

namespace jget {

// Stores v into an element that need not be aligned for T.
template <class T>
inline void Put(unsigned char* e, const T& v) {
  std::memcpy(e, &v, sizeof v);
}

// Answer of Read for a value type code it has no reader for; nothing has
// been read or written then.
constexpr uint32_t kNoReader = 0xFFFFFFFEu;

// Reads value ix (1-based) of o, a ResultSet or a CallableStatement, into
// element e of `size` bytes as value type code `code` lays it out: the
// fixed-size numbers and date-times, fixed width text (8-bit and UTF-16,
// zero-filled, no terminator), plain bytes and the out-of-line forms (the
// element's earlier buffer is handed to the getter, which frees it). The
// getter's answer, or kNoReader for the other codes (the length-prefixed,
// NUL-terminated and unsigned forms, whose readers differ between results
// and output parameters).
uint32_t Read(JdbcStmt* s, jobject o, int32_t ix, uint32_t code, unsigned char* e, uint32_t size);

}  // namespace jget

#endif
