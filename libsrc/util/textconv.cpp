#include "util/textconv.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Internally a limit below 0 means "up to the terminator".
constexpr int64_t kToTerminator = -1;
constexpr int64_t kUnbounded = INT64_MAX;

int64_t limit_of(int64_t count) {
  if (count == SQL_NTS) return kToTerminator;
  return count < 0 ? 0 : count;
}

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool is_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }

void store16(int16_t* p, int64_t v) {
  if (p) *p = static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v);
}

void store64(int64_t* p, int64_t v) {
  if (p) *p = v;
}

struct Result {
  int64_t in = 0;    // source units or bytes consumed
  int64_t out = 0;   // destination bytes or units produced
  bool cut = false;  // stopped because the destination was full
};

// ---- UTF-16 side ----

// Units (1 or 2) of the character at s[i]; 0 at the end of the text.  Two
// only for a high surrogate directly followed by a low one.
int char16_units(const char16_t* s, int64_t i, int64_t lim) {
  if (lim < 0 ? s[i] == 0 : i >= lim) return 0;
  if (is_high(s[i]) && (lim < 0 || i + 1 < lim) && is_low(s[i + 1])) return 2;
  return 1;
}

int utf8_size_of_unit(char16_t u) { return u < 0x80 ? 1 : u < 0x800 ? 2 : 3; }

char* put_unit(char* o, uint32_t v) {
  if (v < 0x80) {
    *o++ = static_cast<char>(v);
  } else if (v < 0x800) {
    *o++ = static_cast<char>(0xC0 | (v >> 6));
    *o++ = static_cast<char>(0x80 | (v & 0x3F));
  } else if (v < 0x10000) {
    *o++ = static_cast<char>(0xE0 | (v >> 12));
    *o++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (v & 0x3F));
  } else {
    *o++ = static_cast<char>(0xF0 | (v >> 18));
    *o++ = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    *o++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (v & 0x3F));
  }
  return o;
}

// UTF-16 to UTF-8.  Internal (modified) form: every unit on its own, a pair as
// two three-byte sequences.  Standard form (the application's code page): a
// pair as one four-byte sequence, a lone surrogate as U+FFFD.  A pair is
// written whole or not at all.  dst may be null to count.
Result encode16(const char16_t* s, int64_t lim, char* dst, int64_t cap, bool standard) {
  Result r;
  for (;;) {
    int k = char16_units(s, r.in, lim);
    if (k == 0) break;
    char16_t u = s[r.in];
    uint32_t cps[2];
    int ncp = 0;
    if (!standard) {
      for (int j = 0; j < k; ++j) cps[ncp++] = s[r.in + j];
    } else if (k == 2) {
      cps[ncp++] = 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (uint32_t(s[r.in + 1]) - 0xDC00);
    } else {
      cps[ncp++] = is_surrogate(u) ? 0xFFFD : u;
    }
    int64_t need = 0;
    for (int j = 0; j < ncp; ++j)
      need += cps[j] >= 0x10000 ? 4 : utf8_size_of_unit(char16_t(cps[j]));
    if (need > cap - r.out) {
      r.cut = true;
      break;
    }
    if (dst) {
      char* o = dst + r.out;
      for (int j = 0; j < ncp; ++j) o = put_unit(o, cps[j]);
    }
    r.out += need;
    r.in += k;
  }
  return r;
}

// ---- UTF-8 side ----

struct Decoded {
  bool ok = false;  // false: the end of the text, or a sequence the count cuts
  int bytes = 0;
  int units = 0;
  char16_t u[2] = {0, 0};
};

// One character at s[i] (see utf8_decode_one): an ill-formed sequence is
// one U+FFFD. In a counted text a sequence that the count cuts is not taken
// (the rest may follow in the next piece); for text up to its terminator no
// byte after a 0 is ever read, since a 0 continues no sequence.
Decoded decode_seq(const unsigned char* s, int64_t i, int64_t lim, Utf8Form form) {
  Decoded d;
  if (lim >= 0 && i >= lim) return d;
  if (lim < 0 && s[i] == 0) return d;
  const int64_t avail = lim < 0 ? INT64_MAX : lim - i;
  uint32_t cp = 0;
  bool cut = false;
  d.bytes = utf8_decode_one(s + i, avail, form, &cp, &cut);
  if (cut && lim >= 0) return Decoded{};
  d.ok = true;
  if (cp >= 0x10000) {
    cp -= 0x10000;
    d.units = 2;
    d.u[0] = char16_t(0xD800 + (cp >> 10));
    d.u[1] = char16_t(0xDC00 + (cp & 0x3FF));
  } else {
    d.units = 1;
    d.u[0] = char16_t(cp);
  }
  return d;
}

// One character: a sequence, or the two three-byte sequences of a pair in
// the internal form, which must stay together.
Decoded decode_char(const unsigned char* s, int64_t i, int64_t lim, Utf8Form form) {
  Decoded d = decode_seq(s, i, lim, form);
  if (d.ok && d.units == 1 && is_high(d.u[0])) {
    Decoded lo = decode_seq(s, i + d.bytes, lim, form);
    if (lo.ok && lo.units == 1 && is_low(lo.u[0])) {
      d.bytes += lo.bytes;
      d.units = 2;
      d.u[1] = lo.u[0];
    }
  }
  return d;
}

// UTF-8 to UTF-16; dst may be null to count.
Result decode8(const char* src, int64_t lim, char16_t* dst, int64_t cap,
               Utf8Form form = Utf8Form::Internal) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  Result r;
  for (;;) {
    Decoded d = decode_char(s, r.in, lim, form);
    if (!d.ok) break;
    if (d.units > cap - r.out) {
      r.cut = true;
      break;
    }
    if (dst) {
      dst[r.out] = d.u[0];
      if (d.units == 2) dst[r.out + 1] = d.u[1];
    }
    r.out += d.units;
    r.in += d.bytes;
  }
  return r;
}

int64_t cap_of(int64_t max) { return max < 0 ? 0 : max; }

// The buffer rule over one of the converters; size counts destination
// elements including the terminator.
template <typename Out, typename Conv>
int buffer_rule(bool have_src, Out* dst, int64_t size, int64_t* len, Conv conv) {
  if (!have_src || !dst || size <= 0) return -1;
  Result r = conv(dst, size - 1);
  dst[r.out] = 0;
  store64(len, r.out);
  return r.cut ? -1 : 0;
}

char* dup_encode16(const char16_t* src, int64_t lim, bool standard) {
  if (!src) return nullptr;
  int64_t n = encode16(src, lim, nullptr, kUnbounded, standard).out;
  char* out = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
  if (!out) return nullptr;
  encode16(src, lim, out, n, standard);
  out[n] = 0;
  return out;
}

char16_t* dup_decode8(const char* src, int64_t lim, bool zeroed,
                      Utf8Form form = Utf8Form::Internal) {
  if (!src) return nullptr;
  int64_t n = decode8(src, lim, nullptr, kUnbounded, form).out;
  size_t bytes = (static_cast<size_t>(n) + 1) * sizeof(char16_t);
  auto* out = static_cast<char16_t*>(zeroed ? std::calloc(1, bytes) : std::malloc(bytes));
  if (!out) return nullptr;
  decode8(src, lim, out, n, form);
  out[n] = 0;
  return out;
}

// ---- Case mapping ----

char16_t map_unit(char16_t u, const uint32_t* table, size_t count) {
  return char16_t(uint32_t(u) + uint32_t(case_delta_lookup(table, count, u)));
}

char* map_case(char* text, int64_t size, const uint32_t* table, size_t count) {
  if (!text || size <= 0) return text;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  int64_t n = static_cast<int64_t>(strnlen(text, static_cast<size_t>(size)));
  std::string out;
  out.reserve(static_cast<size_t>(n));
  int64_t keep = 0;  // end of the last character that fits in size - 1
  for (int64_t i = 0; i < n;) {
    Decoded d = decode_char(s, i, n, Utf8Form::Internal);
    if (!d.ok) {
      d.bytes = 1;  // not UTF-8: kept as it is
    } else if (d.units == 1 && !is_surrogate(d.u[0])) {
      char16_t m = map_unit(d.u[0], table, count);
      if (m != d.u[0]) {
        char buf[3];
        out.append(buf, static_cast<size_t>(put_unit(buf, m) - buf));
        i += d.bytes;
        if (static_cast<int64_t>(out.size()) <= size - 1) keep = static_cast<int64_t>(out.size());
        continue;
      }
    }
    out.append(text + i, static_cast<size_t>(d.bytes));
    i += d.bytes;
    if (static_cast<int64_t>(out.size()) <= size - 1) keep = static_cast<int64_t>(out.size());
  }
  std::memcpy(text, out.data(), static_cast<size_t>(keep));
  text[keep] = 0;
  return text;
}

}  // namespace

// ---- One character of UTF-8 ----

namespace {

// Where a well-formed sequence may go after its first byte: its length and
// the range of its second byte (the ranges of the Unicode standard's table
// of well-formed byte sequences). 0 for a byte that starts none.
struct Lead {
  int length;
  unsigned char lo, hi;
};

Lead LeadOf(unsigned char b, Utf8Form form) {
  const bool internal = form == Utf8Form::Internal;
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xC0 && internal) return {2, 0x80, 0x80};  // modified UTF-8's U+0000
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) return {3, 0x80, 0xBF};
  // The surrogates (ED A0-BF): internal text only.
  if (b == 0xED) return {3, 0x80, static_cast<unsigned char>(internal ? 0xBF : 0x9F)};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

int utf8_decode_one(const unsigned char* s, int64_t avail, Utf8Form form, uint32_t* cp, bool* cut) {
  if (cut) *cut = false;
  const unsigned char b0 = s[0];
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  *cp = 0xFFFD;
  const Lead lead = LeadOf(b0, form);
  if (lead.length == 0) return 1;
  uint32_t v = b0 & (lead.length == 2 ? 0x1Fu : lead.length == 3 ? 0x0Fu : 0x07u);
  for (int k = 1; k < lead.length; ++k) {
    if (k >= avail) {
      if (cut) *cut = true;
      return k;
    }
    const unsigned char b = s[k];
    const unsigned char lo = k == 1 ? lead.lo : 0x80;
    const unsigned char hi = k == 1 ? lead.hi : 0xBF;
    if (b < lo || b > hi) return k;
    v = (v << 6) | (b & 0x3Fu);
  }
  *cp = v;
  return lead.length;
}

bool utf8_well_formed(const char* src, int64_t length, Utf8Form form) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  for (int64_t i = 0; i < length;) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    uint32_t cp = 0;
    const int n = utf8_decode_one(s + i, length - i, form, &cp, nullptr);
    if (cp == 0xFFFD && !(n == 3 && s[i] == 0xEF && s[i + 1] == 0xBF && s[i + 2] == 0xBD))
      return false;
    i += n;
  }
  return true;
}

namespace {

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

size_t utf8_prefix_len(const char* text, size_t length, size_t max) {
  if (length <= max) return length;
  size_t n = max;
  while (n > 0 && is_continuation(text[n])) --n;
  return n;
}

size_t utf8_prefix_len_bounded(const char* text, size_t length, size_t max) {
  if (length <= max) return length;
  size_t n = max;
  for (int back = 0; back < 3 && n > 0 && is_continuation(text[n]); ++back) --n;
  return is_continuation(text[n]) ? max : n;
}

std::string utf8_repaired(const char* src, int64_t length, Utf8Form form) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  std::string out;
  out.reserve(static_cast<size_t>(length) + 8);
  for (int64_t i = 0; i < length;) {
    uint32_t cp = 0;
    const int n = utf8_decode_one(s + i, length - i, form, &cp, nullptr);
    if (cp == 0xFFFD)
      out.append("\xEF\xBF\xBD");
    else
      out.append(src + i, static_cast<size_t>(n));
    i += n;
  }
  return out;
}

bool utf16_well_formed(const char16_t* src, int64_t count) {
  if (src == nullptr) return true;
  for (int64_t i = 0; count == SQL_NTS ? src[i] != 0 : i < count; ++i) {
    const char16_t u = src[i];
    if (u < 0xD800 || u > 0xDFFF) continue;
    const bool more = count == SQL_NTS ? src[i + 1] != 0 : i + 1 < count;
    if (u >= 0xDC00 || !more || src[i + 1] < 0xDC00 || src[i + 1] > 0xDFFF) return false;
    ++i;
  }
  return true;
}

// ---- Counting ----

int64_t utf16_to_utf8_len(const char16_t* src, int64_t count) {
  if (!src) return 0;
  return encode16(src, limit_of(count), nullptr, kUnbounded, false).out;
}

int64_t wide_to_mb_len(const char16_t* src, int64_t count) {
  if (!src) return 0;
  return encode16(src, limit_of(count), nullptr, kUnbounded, true).out;
}

int64_t utf8_to_utf16_len(const char* src, int64_t count) {
  if (!src) return 0;
  return decode8(src, limit_of(count), nullptr, kUnbounded).out;
}

// ---- UTF-16 to internal UTF-8 ----

int64_t utf16_to_utf8_enc(const char16_t* src, char* dst, int64_t max_bytes) {
  if (!src || !dst) return 0;
  return encode16(src, kToTerminator, dst, cap_of(max_bytes), false).out;
}

int64_t utf16_to_utf8_n64(const char16_t* src, int64_t count, char* dst, int64_t max_bytes,
                          int64_t* units_used) {
  Result r;
  if (src && dst) r = encode16(src, limit_of(count), dst, cap_of(max_bytes), false);
  store64(units_used, r.in);
  return r.out;
}

int64_t utf16_to_utf8_n(const char16_t* src, int64_t count, char* dst, int64_t max_bytes,
                        int16_t* units_used) {
  int64_t used = 0;
  int64_t n = utf16_to_utf8_n64(src, count, dst, max_bytes, &used);
  store16(units_used, used);
  return n;
}

char* utf16_to_utf8_dup(const char16_t* src) { return dup_encode16(src, kToTerminator, false); }

char* utf16_to_utf8_dupn(const char16_t* src, int64_t count) {
  return dup_encode16(src, limit_of(count), false);
}

int utf16_to_utf8_buf64(const char16_t* src, char* dst, int64_t size, int64_t* len) {
  return buffer_rule(src != nullptr, dst, size, len, [&](char* d, int64_t cap) {
    return encode16(src, kToTerminator, d, cap, false);
  });
}

int utf16_to_utf8_buf(const char16_t* src, char* dst, int64_t size, int16_t* len) {
  int64_t n = 0;
  int rc = utf16_to_utf8_buf64(src, dst, size, &n);
  if (src && dst && size > 0) store16(len, n);
  return rc;
}

// ---- UTF-8 to UTF-16 ----

int64_t utf8_to_utf16(const char* src, char16_t* dst, int64_t max_units) {
  if (!src || !dst) return 0;
  return decode8(src, kToTerminator, dst, cap_of(max_units)).out;
}

int64_t utf8_to_utf16_n64(const char* src, int64_t count, char16_t* dst, int64_t max_units,
                          int64_t* bytes_used) {
  Result r;
  if (src && dst) r = decode8(src, limit_of(count), dst, cap_of(max_units));
  store64(bytes_used, r.in);
  return r.out;
}

int64_t utf8_to_utf16_n(const char* src, int64_t count, char16_t* dst, int64_t max_units,
                        int16_t* bytes_used) {
  int64_t used = 0;
  int64_t n = utf8_to_utf16_n64(src, count, dst, max_units, &used);
  store16(bytes_used, used);
  return n;
}

char16_t* utf8_to_utf16_dup(const char* src) { return dup_decode8(src, kToTerminator, false); }

char16_t* utf8_to_utf16_dupn(const char* src, int64_t count) {
  return dup_decode8(src, limit_of(count), true);
}

int utf8_to_utf16_buf64(const char* src, char16_t* dst, int64_t size, int64_t* len) {
  return buffer_rule(src != nullptr, dst, size, len,
                     [&](char16_t* d, int64_t cap) { return decode8(src, kToTerminator, d, cap); });
}

int utf8_to_utf16_buf(const char* src, char16_t* dst, int64_t size, int16_t* len) {
  int64_t n = 0;
  int rc = utf8_to_utf16_buf64(src, dst, size, &n);
  if (src && dst && size > 0) store16(len, n);
  return rc;
}

int utf8_to_utf16_out64(const char* src, char16_t* dst, int64_t size, int64_t* len) {
  if (!src) return -1;
  store64(len, utf8_to_utf16_len(src, SQL_NTS));
  if (!dst) return 0;
  return buffer_rule(true, dst, size, nullptr,
                     [&](char16_t* d, int64_t cap) { return decode8(src, kToTerminator, d, cap); });
}

int utf8_to_utf16_out(const char* src, char16_t* dst, int64_t size, int16_t* len) {
  int64_t n = 0;
  int rc = utf8_to_utf16_out64(src, dst, size, &n);
  if (src) store16(len, n);
  return rc;
}

char16_t* utf8_to_utf16_copy(char16_t* dst, const char* src, int64_t size) {
  if (dst && src) utf8_to_utf16_buf64(src, dst, size, nullptr);
  return dst;
}

char16_t* utf8_to_utf16_cpy(char16_t* dst, const char* src) {
  if (dst && src) {
    int64_t n = decode8(src, kToTerminator, dst, kUnbounded).out;
    dst[n] = 0;
  }
  return dst;
}

// ---- Code-page (standard UTF-8) text ----

char* mb_to_utf8_buf(char* dst, const char* src, int64_t size) {
  if (!dst || !src || size <= 0) return dst;
  // Decode one character at a time and re-encode it in the internal form;
  // a pair is written whole or not at all.
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  int64_t in = 0, out = 0;
  for (;;) {
    Decoded d = decode_char(s, in, kToTerminator, Utf8Form::Standard);
    if (!d.ok) break;
    int64_t need = 0;
    for (int j = 0; j < d.units; ++j) need += utf8_size_of_unit(d.u[j]);
    if (need > size - 1 - out) break;
    char* o = dst + out;
    for (int j = 0; j < d.units; ++j) o = put_unit(o, d.u[j]);
    out += need;
    in += d.bytes;
  }
  dst[out] = 0;
  return dst;
}

char* wide_to_mb_dup(const char16_t* src, int64_t count) {
  return dup_encode16(src, limit_of(count), true);
}

char* wide_to_mb_dupn(const char16_t* src) { return dup_encode16(src, kToTerminator, true); }

char16_t* mb_to_wide_dup(const char* src, int64_t count) {
  return dup_decode8(src, limit_of(count), true, Utf8Form::Standard);
}

int mb_to_wide_buf64(const char* src, char16_t* dst, int64_t size_bytes, int64_t* len_bytes) {
  if (!src) return -1;
  const int64_t units = decode8(src, kToTerminator, nullptr, kUnbounded, Utf8Form::Standard).out;
  store64(len_bytes, units * int64_t(sizeof(char16_t)));
  if (!dst) return 0;
  return buffer_rule(true, dst, size_bytes / int64_t(sizeof(char16_t)), nullptr,
                     [&](char16_t* d, int64_t cap) {
                       return decode8(src, kToTerminator, d, cap, Utf8Form::Standard);
                     });
}

int mb_to_wide_buf(const char* src, char16_t* dst, int64_t size_bytes, int16_t* len_bytes) {
  int64_t n = 0;
  int rc = mb_to_wide_buf64(src, dst, size_bytes, &n);
  if (src) store16(len_bytes, n);
  return rc;
}

char16_t* mb_to_wide_cpy(char16_t* dst, const char* src) {
  if (dst && src) {
    int64_t n = decode8(src, kToTerminator, dst, kUnbounded, Utf8Form::Standard).out;
    dst[n] = 0;
  }
  return dst;
}

char16_t* mb_to_wide_copy(char16_t* dst, const char* src, int64_t size) {
  if (dst && src) {
    buffer_rule(true, dst, size, nullptr, [&](char16_t* d, int64_t cap) {
      return decode8(src, kToTerminator, d, cap, Utf8Form::Standard);
    });
  }
  return dst;
}

char* wide_to_mb_copy(char* dst, const char16_t* src, int64_t size) {
  if (dst && src) {
    buffer_rule(true, dst, size, nullptr,
                [&](char* d, int64_t cap) { return encode16(src, kToTerminator, d, cap, true); });
  }
  return dst;
}

// ---- UTF-16 to UTF-16 ----

int64_t wide_len(const char16_t* s) {
  if (!s) return 0;
  int64_t n = 0;
  while (s[n]) ++n;
  return n;
}

namespace {

Result copy16(const char16_t* src, char16_t* dst, int64_t cap) {
  Result r;
  for (;;) {
    int k = char16_units(src, r.in, kToTerminator);
    if (k == 0) break;
    if (k > cap - r.out) {
      r.cut = true;
      break;
    }
    for (int j = 0; j < k; ++j) dst[r.out++] = src[r.in++];
  }
  return r;
}

}  // namespace

int wide_copy_out64(const char16_t* src, char16_t* dst, int64_t size, int64_t* len) {
  return buffer_rule(src != nullptr, dst, size, len,
                     [&](char16_t* d, int64_t cap) { return copy16(src, d, cap); });
}

int wide_copy_out(const char16_t* src, char16_t* dst, int64_t size, int16_t* len) {
  int64_t n = 0;
  int rc = wide_copy_out64(src, dst, size, &n);
  if (src && dst && size > 0) store16(len, n);
  return rc;
}

int wide_copy_out_len64(const char16_t* src, char16_t* dst, int64_t size, int64_t* len) {
  if (!src) return -1;
  store64(len, wide_len(src));
  if (!dst) return 0;
  return buffer_rule(true, dst, size, nullptr,
                     [&](char16_t* d, int64_t cap) { return copy16(src, d, cap); });
}

int wide_copy_out_len(const char16_t* src, char16_t* dst, int64_t size, int16_t* len) {
  int64_t n = 0;
  int rc = wide_copy_out_len64(src, dst, size, &n);
  if (src) store16(len, n);
  return rc;
}

// ---- Case mapping ----

int32_t case_delta_lookup(const uint32_t* table, size_t count, uint32_t cp) {
  if (!table || cp > 0xFFFF) return 0;
  size_t lo = 0, hi = count;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    uint32_t key = table[mid] & 0xFFFF;
    if (key == cp) {
      int32_t mag = int32_t((table[mid] >> 16) & 0x7FFF);
      return (table[mid] & 0x80000000U) ? -mag : mag;
    }
    if (key < cp)
      lo = mid + 1;
    else
      hi = mid;
  }
  return 0;
}

char16_t wchar_toupper(char16_t unit) {
  return map_unit(unit, case_upper_table, case_upper_table_count);
}

char16_t wchar_tolower(char16_t unit) {
  return map_unit(unit, case_lower_table, case_lower_table_count);
}

char* utf8_toupper_buf(char* text, int64_t size) {
  return map_case(text, size, case_upper_table, case_upper_table_count);
}

char* utf8_tolower_buf(char* text, int64_t size) {
  return map_case(text, size, case_lower_table, case_lower_table_count);
}
