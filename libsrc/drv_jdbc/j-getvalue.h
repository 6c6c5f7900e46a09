// Reading one value into a row-buffer element with the typed JDBC getter its
// value type code calls for. ResultSet columns and CallableStatement output
// parameters have getters of the same shapes, so one reader serves both
// through a table of the class's getters.
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

// The typed getters of one Java class, each by column or parameter index.
struct Getters {
  uint32_t (*getBoolean)(JdbcStmt*, jobject, int32_t, uint8_t*);
  uint32_t (*getByte)(JdbcStmt*, jobject, int32_t, int8_t*);
  uint32_t (*getShort)(JdbcStmt*, jobject, int32_t, int16_t*);
  uint32_t (*getInt)(JdbcStmt*, jobject, int32_t, int32_t*);
  uint32_t (*getFloat)(JdbcStmt*, jobject, int32_t, float*);
  uint32_t (*getDouble)(JdbcStmt*, jobject, int32_t, double*);
  uint32_t (*getString)(JdbcStmt*, jobject, int32_t, char*, uint32_t, uint32_t*);
  uint32_t (*getStringW)(JdbcStmt*, jobject, int32_t, char16_t*, uint32_t, uint32_t*);
  uint32_t (*getStringLong)(JdbcStmt*, jobject, int32_t, JC_LongValue*);
  uint32_t (*getStringLongW)(JdbcStmt*, jobject, int32_t, JC_LongValue*);
  uint32_t (*getBytes)(JdbcStmt*, jobject, int32_t, void*, uint32_t, uint32_t*);
  uint32_t (*getBytesLong)(JdbcStmt*, jobject, int32_t, JC_LongValue*);
  uint32_t (*getDate)(JdbcStmt*, jobject, int32_t, JC_Date*);
  uint32_t (*getTime)(JdbcStmt*, jobject, int32_t, JC_Time*);
  uint32_t (*getTimestamp)(JdbcStmt*, jobject, int32_t, JC_Timestamp*);
};

extern const Getters kResultSet;
extern const Getters kCallableStatement;

// Answer of Read for a value type code it has no reader for; nothing has
// been read or written then.
constexpr uint32_t kNoReader = 0xFFFFFFFEu;

// Reads value ix (1-based) of o into element e of `size` bytes as value
// type code `code` lays it out: the fixed-size numbers and date-times, fixed
// width text (8-bit and UTF-16, zero-filled, no terminator), plain bytes and
// the out-of-line forms (the element's earlier buffer is handed to the
// getter, which frees it). The getter's answer, or kNoReader for the other
// codes (the length-prefixed, NUL-terminated and unsigned forms, whose
// readers differ between results and output parameters).
uint32_t Read(const Getters& g, JdbcStmt* s, jobject o, int32_t ix, uint32_t code,
              unsigned char* e, uint32_t size);

}  // namespace jget

#endif
