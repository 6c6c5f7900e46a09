// Text and value copies into application buffers, with the source consumed
// counted exactly so that a value read in pieces resumes where the last
// piece ended.
#include <cstring>

#include "driver/rowset/convert_internal.h"
#include "util/textconv.h"

namespace conv {

namespace {

// One character of UTF-8 at s (avail bytes left): its UTF-16 units in u,
// their count in *n; returns the bytes it takes (at least 1). The text is the
// driver's own, so modified UTF-8's forms (C0 80 for U+0000, a surrogate as
// its own 3-byte sequence) decode too; an ill-formed sequence is one U+FFFD.
int64_t DecodeUtf8(const unsigned char* s, int64_t avail, char16_t u[2], int* n) {
  uint32_t cp = 0;
  const int bytes = utf8_decode_one(s, avail, Utf8Form::Internal, &cp, nullptr);
  if (cp >= 0x10000) {
    u[0] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    u[1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    *n = 2;
  } else {
    u[0] = static_cast<char16_t>(cp);
    *n = 1;
  }
  return bytes;
}

// One character of UTF-16 at s (avail units left) as standard UTF-8 into
// out; returns the units it takes, its byte count in *bytes.
int64_t EncodeUtf8(const char16_t* s, int64_t avail, char out[4], int* bytes) {
  uint32_t cp = s[0];
  int64_t used = 1;
  if (cp >= 0xD800 && cp <= 0xDBFF && avail >= 2 && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
    cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00u);
    used = 2;
  } else if (cp >= 0xD800 && cp <= 0xDFFF) {
    cp = 0xFFFD;
  }
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    *bytes = 1;
  } else if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    *bytes = 2;
  } else if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    *bytes = 3;
  } else {
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    *bytes = 4;
  }
  return used;
}

// The total as the copy counts it: 0 and anything below the length mean
// "all of it is here".
int64_t EffectiveTotal(int64_t length, int64_t total) {
  if (total == SQL_NO_TOTAL) return SQL_NO_TOTAL;
  return total < length ? length : total;
}

bool MoreFollows(int64_t length, int64_t total) {
  const int64_t eff = EffectiveTotal(length, total);
  return eff != SQL_NO_TOTAL && eff > length;
}

// The length to report when the target counts in other units than the
// source: exact when the whole rest is here, else unknowable.
int64_t ConvertedLength(int64_t length, int64_t total, int64_t convertedHere) {
  if (total == SQL_NO_TOTAL || MoreFollows(length, total)) return SQL_NO_TOTAL;
  return convertedHere;
}

void Store(int64_t* p, int64_t v) {
  if (p != nullptr) *p = v;
}

SQLRETURN Done(bool truncated, int32_t* pending) {
  return truncated ? Info(pending, ERR_TRUNCATED) : SQL_SUCCESS;
}

// One character of the source as the target writes it.
struct Encoded {
  unsigned char bytes[4];
  int size;       // bytes in the target
  int64_t width;  // units of the source it takes
};

// Characters are a few bytes each: copied byte by byte, not through a
// memcpy call of a size known only at run time.
void CopySmall(unsigned char* to, const void* from, int n) {
  const auto* f = static_cast<const unsigned char*>(from);
  for (int i = 0; i < n; ++i) to[i] = f[i];
}

Encoded Utf8AsIs(const char* src, int64_t length, int64_t in) {
  Encoded e{};
  char16_t u[2];
  int k;
  e.width = DecodeUtf8(reinterpret_cast<const unsigned char*>(src) + in, length - in, u, &k);
  e.size = static_cast<int>(e.width);
  CopySmall(e.bytes, src + in, e.size);
  return e;
}

Encoded Utf8AsUtf16(const char* src, int64_t length, int64_t in) {
  Encoded e{};
  char16_t u[2];
  int k;
  e.width = DecodeUtf8(reinterpret_cast<const unsigned char*>(src) + in, length - in, u, &k);
  e.size = 2 * k;
  CopySmall(e.bytes, u, e.size);
  return e;
}

Encoded Utf16AsUtf8(const char16_t* src, int64_t units, int64_t in) {
  Encoded e{};
  e.width = EncodeUtf8(src + in, units - in, reinterpret_cast<char*>(e.bytes), &e.size);
  return e;
}

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

Encoded Utf16AsIs(const char16_t* src, int64_t units, int64_t in) {
  Encoded e{};
  e.width = in + 1 < units && IsHigh(src[in]) && IsLow(src[in + 1]) ? 2 : 1;
  e.size = static_cast<int>(2 * e.width);
  CopySmall(e.bytes, src + in, e.size);
  return e;
}

// Fills out (room bytes) with what the carry holds, then whole characters of
// the source (length units) read by `next`. With a carry, a character that
// does not fit whole is cut: its head ends this piece and its tail goes to
// the carry, so every cut piece fills the buffer; without one the piece ends
// before it. Returns the source units taken; *written gets the bytes written.
template <class Next>
int64_t Fill(Next next, int64_t length, unsigned char* out, int64_t room, TextCarry* carry,
             int64_t* written) {
  int64_t w = 0;
  if (carry != nullptr && carry->count > 0) {
    const int n = static_cast<int>(carry->count < room ? carry->count : room);
    std::memcpy(out, carry->bytes, static_cast<size_t>(n));
    carry->count -= n;
    std::memmove(carry->bytes, carry->bytes + n, static_cast<size_t>(carry->count));
    w = n;
    if (carry->count > 0) {
      *written = w;
      return 0;
    }
  }
  int64_t in = 0;
  while (in < length) {
    const Encoded e = next(in);
    if (w + e.size > room) {
      const auto head = static_cast<int>(room - w);
      if (carry != nullptr && head > 0) {
        std::memcpy(out + w, e.bytes, static_cast<size_t>(head));
        carry->count = e.size - head;
        std::memcpy(carry->bytes, e.bytes + head, static_cast<size_t>(carry->count));
        w = room;
        in += e.width;
      }
      break;
    }
    CopySmall(out + w, e.bytes, e.size);
    w += e.size;
    in += e.width;
  }
  *written = w;
  return in;
}

int CarryBytes(const TextCarry* carry) { return carry != nullptr ? carry->count : 0; }

// A length in the target's bytes with what the carry holds added.
int64_t WithCarry(int64_t length, int carried) {
  return length == SQL_NO_TOTAL ? SQL_NO_TOTAL : length + carried;
}

bool Unfinished(int64_t in, int64_t length, const TextCarry* carry) {
  return in < length || CarryBytes(carry) > 0;
}

// The ASCII characters at the start of a text, as Fill would copy them
// (one byte each), without decoding them one by one: moves *in and *written
// on by what it copied into out (room bytes).
// Eight bytes at a time while none has its high bit set (8-bit text) or
// four units while none is beyond ASCII (UTF-16), then one by one.
template <class Unit>
void AsciiRun(const Unit* src, int64_t length, unsigned char* out, int64_t room, int64_t* in,
              int64_t* written) {
  const int64_t n = length < room ? length : room;
  int64_t i = 0;
  constexpr int64_t kStep = 8 / sizeof(Unit);
  constexpr uint64_t kHigh = sizeof(Unit) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;
  for (uint64_t w = 0; i + kStep <= n; i += kStep) {
    std::memcpy(&w, src + i, sizeof w);
    if ((w & kHigh) != 0) break;
    if constexpr (sizeof(Unit) == 1) {
      std::memcpy(out + i, &w, sizeof w);
    } else {
      for (int64_t k = 0; k < kStep; ++k, w >>= 16) out[i + k] = static_cast<unsigned char>(w);
    }
  }
  while (i < n && static_cast<uint32_t>(src[i]) < 0x80) {
    out[i] = static_cast<unsigned char>(src[i]);
    ++i;
  }
  *in = i;
  *written = i;
}

}  // namespace

SQLRETURN PutFixed(const void* value, size_t size, const Target& t, int32_t info) {
  if (t.buffer != nullptr) std::memcpy(t.buffer, value, size);
  Store(t.lengthPtr, static_cast<int64_t>(size));
  return info != 0 ? Info(t.pending, info) : SQL_SUCCESS;
}

SQLRETURN PutImage(const void* value, int64_t size, const Target& t) {
  if (t.bufferLength < 0) return Fail(t.pending, ERR_INVALID_LENGTH);
  if (t.bufferLength == 0 || t.buffer == nullptr) {
    Store(t.lengthPtr, size);
    return Info(t.pending, ERR_TRUNCATED);
  }
  if (t.bufferLength < size) return Fail(t.pending, ERR_NUMERIC_RANGE);
  std::memcpy(t.buffer, value, static_cast<size_t>(size));
  Store(t.lengthPtr, size);
  return SQL_SUCCESS;
}

SQLRETURN CopyBytes(const char* src, int64_t length, int64_t total, bool terminate, Cut cut,
                    const Target& t, int64_t* consumed) {
  Store(consumed, 0);
  if (t.bufferLength < 0) return Fail(t.pending, ERR_INVALID_LENGTH);
  Store(t.lengthPtr, EffectiveTotal(length, total));
  if (t.bufferLength == 0 || t.buffer == nullptr) return Info(t.pending, ERR_TRUNCATED);
  const int64_t room = t.bufferLength - (terminate ? 1 : 0);
  int64_t n = length;
  bool truncated = false;
  if (length > room) {
    if (cut == Cut::Refused) return Fail(t.pending, ERR_NUMERIC_RANGE);
    n = room;
    truncated = true;
  }
  auto* out = static_cast<char*>(t.buffer);
  if (n > 0) std::memcpy(out, src, static_cast<size_t>(n));
  if (terminate) out[n] = '\0';
  Store(consumed, n);
  return Done(truncated || MoreFollows(length, total), t.pending);
}

namespace {

template <class Unit>
bool CopyAsciiWhole(const Unit* src, int64_t units, void* buffer, int64_t bufferLength,
                    int64_t* lengthPtr) {
  if (buffer == nullptr || bufferLength <= units) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  int64_t in = 0;
  int64_t written = 0;
  // What this writes before a unit beyond ASCII, the text copies write too.
  AsciiRun(src, units, out, units, &in, &written);
  if (in != units) return false;
  out[units] = '\0';
  Store(lengthPtr, units);
  return true;
}

}  // namespace

bool CopyAsciiWhole(const char* src, int64_t length, void* buffer, int64_t bufferLength,
                    int64_t* lengthPtr) {
  return CopyAsciiWhole<char>(src, length, buffer, bufferLength, lengthPtr);
}

bool CopyAsciiWhole(const char16_t* src, int64_t units, void* buffer, int64_t bufferLength,
                    int64_t* lengthPtr) {
  return CopyAsciiWhole<char16_t>(src, units, buffer, bufferLength, lengthPtr);
}

SQLRETURN CopyUtf8(const char* src, int64_t length, int64_t total, const Target& t,
                   int64_t* consumed, TextCarry* carry) {
  Store(consumed, 0);
  if (t.bufferLength < 0) return Fail(t.pending, ERR_INVALID_LENGTH);
  Store(t.lengthPtr, WithCarry(EffectiveTotal(length, total), CarryBytes(carry)));
  if (t.bufferLength == 0 || t.buffer == nullptr) return Info(t.pending, ERR_TRUNCATED);
  auto* out = static_cast<unsigned char*>(t.buffer);
  const int64_t room = t.bufferLength - 1;
  int64_t w = 0;
  int64_t in = 0;
  if (CarryBytes(carry) == 0) AsciiRun(src, length, out, room, &in, &w);
  int64_t rest = 0;
  in += Fill([&](int64_t at) { return Utf8AsIs(src + in, length - in, at); }, length - in, out + w,
             room - w, carry, &rest);
  w += rest;
  out[w] = '\0';
  Store(consumed, in);
  return Done(Unfinished(in, length, carry) || MoreFollows(length, total), t.pending);
}

SQLRETURN CopyUtf8ToWide(const char* src, int64_t length, int64_t total, Cut cut, const Target& t,
                         int64_t* consumed, TextCarry* carry) {
  Store(consumed, 0);
  if (t.bufferLength < 0) return Fail(t.pending, ERR_INVALID_LENGTH);
  const int64_t units = Utf16UnitsOf(src, length);
  Store(t.lengthPtr, WithCarry(ConvertedLength(length, total, units * 2), CarryBytes(carry)));
  // A buffer without room for the terminator receives nothing.
  if (t.bufferLength < 2 || t.buffer == nullptr) return Info(t.pending, ERR_TRUNCATED);
  const int64_t room = t.bufferLength / 2 - 1;
  if (units > room && cut == Cut::Refused) return Fail(t.pending, ERR_NUMERIC_RANGE);
  auto* out = static_cast<unsigned char*>(t.buffer);
  int64_t w = 0;
  const int64_t in = Fill([&](int64_t at) { return Utf8AsUtf16(src, length, at); }, length, out,
                          2 * room, carry, &w);
  const char16_t nul = 0;
  std::memcpy(out + w, &nul, sizeof nul);
  Store(consumed, in);
  return Done(Unfinished(in, length, carry) || MoreFollows(length, total), t.pending);
}

SQLRETURN CopyWideToUtf8(const char16_t* src, int64_t units, int64_t totalUnits, const Target& t,
                         int64_t* consumed, TextCarry* carry) {
  Store(consumed, 0);
  if (t.bufferLength < 0) return Fail(t.pending, ERR_INVALID_LENGTH);
  // Text is mostly ASCII: only what follows its ASCII head is measured
  // character by character.
  int64_t ascii = 0;
  for (uint64_t w = 0; ascii + 4 <= units; ascii += 4) {
    std::memcpy(&w, src + ascii, sizeof w);
    if ((w & 0xFF80FF80FF80FF80ULL) != 0) break;
  }
  while (ascii < units && src[ascii] < 0x80) ++ascii;
  const int64_t bytes = ascii + Utf8BytesOf(src + ascii, units - ascii);
  Store(t.lengthPtr, WithCarry(ConvertedLength(units, totalUnits, bytes), CarryBytes(carry)));
  if (t.bufferLength == 0 || t.buffer == nullptr) return Info(t.pending, ERR_TRUNCATED);
  auto* out = static_cast<unsigned char*>(t.buffer);
  const int64_t room = t.bufferLength - 1;
  int64_t w = 0;
  int64_t in = 0;
  if (CarryBytes(carry) == 0) AsciiRun(src, units, out, room, &in, &w);
  int64_t rest = 0;
  in += Fill([&](int64_t at) { return Utf16AsUtf8(src + in, units - in, at); }, units - in, out + w,
             room - w, carry, &rest);
  w += rest;
  out[w] = '\0';
  Store(consumed, in);
  return Done(Unfinished(in, units, carry) || MoreFollows(units, totalUnits), t.pending);
}

SQLRETURN CopyWide(const char16_t* src, int64_t units, int64_t totalUnits, const Target& t,
                   int64_t* consumed, TextCarry* carry) {
  Store(consumed, 0);
  if (t.bufferLength < 0) return Fail(t.pending, ERR_INVALID_LENGTH);
  const int64_t eff = EffectiveTotal(units, totalUnits);
  Store(t.lengthPtr, WithCarry(eff == SQL_NO_TOTAL ? SQL_NO_TOTAL : eff * 2, CarryBytes(carry)));
  if (t.bufferLength < 2 || t.buffer == nullptr) return Info(t.pending, ERR_TRUNCATED);
  auto* out = static_cast<unsigned char*>(t.buffer);
  int64_t w = 0;
  const int64_t in = Fill([&](int64_t at) { return Utf16AsIs(src, units, at); }, units, out,
                          2 * (t.bufferLength / 2 - 1), carry, &w);
  const char16_t nul = 0;
  std::memcpy(out + w, &nul, sizeof nul);
  Store(consumed, in);
  return Done(Unfinished(in, units, carry) || MoreFollows(units, totalUnits), t.pending);
}

SQLRETURN PutAsciiText(const char* text, int64_t length, int16_t cType, Cut cut, const Target& t) {
  if (cType == SQL_C_WCHAR) return CopyUtf8ToWide(text, length, length, cut, t, nullptr, nullptr);
  return CopyBytes(text, length, length, true, cut, t, nullptr);
}

int64_t AsciiRoom(int16_t cType, int64_t bufferLength) {
  const int64_t room = cType == SQL_C_WCHAR ? bufferLength / 2 - 1 : bufferLength - 1;
  return room < 0 ? 0 : room;
}

SQLRETURN PutShortened(const std::string& full, const std::string& shown, int16_t cType,
                       const Target& t) {
  const SQLRETURN rc = PutAsciiText(shown, cType, Cut::Refused, t);
  if (rc == SQL_ERROR) return rc;
  const auto n = static_cast<int64_t>(full.size());
  Store(t.lengthPtr, cType == SQL_C_WCHAR ? n * 2 : n);
  return Info(t.pending, ERR_TRUNCATED);
}

int64_t Utf16UnitsOf(const char* src, int64_t length) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  int64_t units = 0;
  for (int64_t i = 0; i < length;) {
    char16_t u[2];
    int k;
    i += DecodeUtf8(s + i, length - i, u, &k);
    units += k;
  }
  return units;
}

int64_t Utf8BytesOf(const char16_t* src, int64_t units) {
  int64_t bytes = 0;
  for (int64_t i = 0; i < units;) {
    char enc[4];
    int b;
    i += EncodeUtf8(src + i, units - i, enc, &b);
    bytes += b;
  }
  return bytes;
}

std::string WideToUtf8(const char16_t* src, int64_t units) {
  std::string out;
  out.reserve(static_cast<size_t>(units));
  for (int64_t i = 0; i < units;) {
    char enc[4];
    int b;
    i += EncodeUtf8(src + i, units - i, enc, &b);
    out.append(enc, static_cast<size_t>(b));
  }
  return out;
}

}  // namespace conv
