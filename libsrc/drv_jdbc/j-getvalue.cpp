// The value reader shared by the fetch of result rows and the reading of
// output parameters.
#include "drv_jdbc/j-getvalue.h"

#include <algorithm>
#include <vector>

#include "drv_jdbc/j-wrap-get.h"

namespace jget {

namespace {

// A fixed-size value: read into a zeroed local, stored whatever the getter
// answered (a failed read leaves zero).
template <class T>
uint32_t ReadFixed(uint32_t (*get)(JdbcStmt*, jobject, int32_t, T*), JdbcStmt* s, jobject o,
                   int32_t ix, unsigned char* e) {
  T v{};
  const uint32_t rc = get(s, o, ix, &v);
  Put(e, v);
  return rc;
}

// An out-of-line value: the element holds the record; the getter frees what
// it held before.
uint32_t ReadLong(uint32_t (*get)(JdbcStmt*, jobject, int32_t, JC_LongValue*), JdbcStmt* s,
                  jobject o, int32_t ix, unsigned char* e) {
  COLSET_LONG v;
  std::memcpy(&v, e, sizeof v);
  const uint32_t rc = get(s, o, ix, &v);
  std::memcpy(e, &v, sizeof v);
  return rc;
}

}  // namespace

uint32_t Read(JdbcStmt* s, jobject o, int32_t ix, uint32_t code, unsigned char* e, uint32_t size) {
  namespace g = ValueGetters;
  uint32_t rc = 0;
  uint32_t len = 0;
  switch (code) {
    case COLSET_VT_CHAR: {  // fixed width, no terminator
      std::vector<char> tmp(static_cast<size_t>(size) + 1);
      rc = g::getString(s, o, ix, tmp.data(), size + 1, &len);
      std::memset(e, 0, size);
      if (rc == 0) std::memcpy(e, tmp.data(), std::min(len, size));
      return rc;
    }
    case COLSET_VT_BIT: {
      uint8_t v = 0;
      rc = g::getBoolean(s, o, ix, &v);
      e[0] = v != 0 ? 1 : 0;
      return rc;
    }
    case COLSET_VT_TINYINT: return ReadFixed(g::getByte, s, o, ix, e);
    case COLSET_VT_SMALLINT: return ReadFixed(g::getShort, s, o, ix, e);
    case COLSET_VT_INTEGER: return ReadFixed(g::getInt, s, o, ix, e);
    case COLSET_VT_REAL: return ReadFixed(g::getFloat, s, o, ix, e);
    case COLSET_VT_DOUBLE: return ReadFixed(g::getDouble, s, o, ix, e);
    case COLSET_VT_DATE: return ReadFixed(g::getDate, s, o, ix, e);
    case COLSET_VT_TIME: return ReadFixed(g::getTime, s, o, ix, e);
    case COLSET_VT_TIMESTAMP: return ReadFixed(g::getTimestamp, s, o, ix, e);
    case COLSET_VT_BINARY: return g::getBytes(s, o, ix, e, size, &len);
    case COLSET_VT_LONGCHAR: return ReadLong(g::getStringLong, s, o, ix, e);
    case COLSET_VT_LONGBINARY: return ReadLong(g::getBytesLong, s, o, ix, e);
    case COLSET_VT_LONGWCHAR: return ReadLong(g::getStringLongW, s, o, ix, e);
    case COLSET_VT_WCHAR: {  // fixed width, no terminator
      const uint32_t chars = size / 2;
      std::vector<char16_t> tmp(static_cast<size_t>(chars) + 1);
      rc = g::getString(s, o, ix, tmp.data(), chars + 1, &len);
      std::memset(e, 0, size);
      if (rc == 0) std::memcpy(e, tmp.data(), sizeof(char16_t) * std::min(len, chars));
      return rc;
    }
    default: return kNoReader;
  }
}

}  // namespace jget
