// Conversions from byte values: as they are, or as hexadecimal text.
#include <cinttypes>
#include <cstring>

#include "driver/rowset/convert.h"
#include "driver/rowset/convert_internal.h"
#include "driver/trace.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void Store(int64_t* p, int64_t v) {
  if (p != nullptr) *p = v;
}

// The whole rest of the value in source bytes, SQL_NO_TOTAL when unknown.
int64_t Rest(int64_t length, int64_t total) {
  if (total == SQL_NO_TOTAL) return SQL_NO_TOTAL;
  return total < length ? length : total;
}

// Hex digits of `length` bytes into a buffer of `unitSize`-byte characters
// (1 for SQL_C_CHAR, 2 for SQL_C_WCHAR).
template <class Unit>
SQLRETURN HexOut(const uint8_t* src, int64_t length, int64_t total, void* buffer,
                 int64_t bufferLength, int64_t* lengthPtr, int32_t* pending, int64_t* consumed) {
  constexpr int64_t kPerByte = 2 * sizeof(Unit);
  if (bufferLength < 0) return conv::Fail(pending, ERR_INVALID_LENGTH);
  const int64_t rest = Rest(length, total);
  // SQL_NO_TOTAL stays what it is; only a real length is scaled.
  Store(lengthPtr, rest == SQL_NO_TOTAL ? SQL_NO_TOTAL : rest * kPerByte);
  const int64_t terminator = static_cast<int64_t>(sizeof(Unit));
  if (buffer == nullptr || bufferLength < terminator) return conv::Info(pending, ERR_TRUNCATED);
  int64_t n = length;
  if (bufferLength < length * kPerByte + terminator) n = (bufferLength - terminator) / kPerByte;
  auto* out = static_cast<Unit*>(buffer);
  for (int64_t i = 0; i < n; ++i) {
    out[2 * i] = static_cast<Unit>(kHex[src[i] >> 4]);
    out[2 * i + 1] = static_cast<Unit>(kHex[src[i] & 0x0F]);
  }
  out[2 * n] = 0;
  Store(consumed, n);
  const bool more = rest != SQL_NO_TOTAL && rest > length;
  return (n < length || more) ? conv::Info(pending, ERR_TRUNCATED) : SQL_SUCCESS;
}

}  // namespace

SQLRETURN ConvertBINARY(const void* bytes, int64_t length, int64_t total, int16_t cType,
                        void* buffer, int64_t bufferLength, int64_t* lengthPtr, int32_t* pending,
                        int64_t* consumed) {
  if (TRC_Active())
    TRC_Printf("ConvertBINARY: retBufferLength(%" PRId64 ") to %s", bufferLength,
               CvtTraceType(cType));
  Store(consumed, 0);
  const auto* src = static_cast<const uint8_t*>(bytes);
  switch (cType) {
    case SQL_C_BINARY:
      return conv::CopyBytes(static_cast<const char*>(bytes), length, total, false,
                             conv::Cut::Allowed,
                             conv::Target{buffer, bufferLength, lengthPtr, pending}, consumed);
    case SQL_C_CHAR:
      return HexOut<char>(src, length, total, buffer, bufferLength, lengthPtr, pending, consumed);
    case SQL_C_WCHAR:
      return HexOut<char16_t>(src, length, total, buffer, bufferLength, lengthPtr, pending,
                              consumed);
    case SQL_C_GUID: {
      // A UUID's 16 bytes (HSQLDB's and H2's UUID type), in the order its
      // text is written: the first three fields big-endian.
      if (length != 16) return conv::Fail(pending, ERR_RESTRICTED_TYPE);
      SQLGUID g{};
      g.Data1 = static_cast<uint32_t>(src[0]) << 24 | static_cast<uint32_t>(src[1]) << 16 |
                static_cast<uint32_t>(src[2]) << 8 | src[3];
      g.Data2 = static_cast<uint16_t>(src[4] << 8 | src[5]);
      g.Data3 = static_cast<uint16_t>(src[6] << 8 | src[7]);
      std::memcpy(g.Data4, src + 8, 8);
      Store(consumed, length);
      return conv::PutFixed(&g, sizeof g, conv::Target{buffer, bufferLength, lengthPtr, pending});
    }
    default: return conv::Fail(pending, ERR_RESTRICTED_TYPE);
  }
}
