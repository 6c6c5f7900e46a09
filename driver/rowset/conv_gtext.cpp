// "%.*g" of a double. Every double a text column or SQL_C_CHAR target
// receives goes through here with 17 digits, which the general formatter
// reaches only through its slow exact path; the usual magnitudes are
// rounded here in 128-bit integer arithmetic instead, exactly as the
// formatter rounds (to nearest, ties to even), and the rest is left to it.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "driver/rowset/convert.h"
#include "util/decimal_digits.h"

namespace {

// The value rounded to p significant digits: *n has exactly p digits and
// the first stands for 10^*exp10. False outside the range done here (zero,
// subnormals, non-finite values, 2^63 and more, below about 10^-(20-p)).
bool RoundTo(double value, int p, uint64_t* n, int* exp10) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  if (field == 0 || field == 0x7FF) return false;
  const uint64_t m = (bits & ((1ULL << 52) - 1)) | (1ULL << 52);
  const int e = field - 1075;  // |value| = m * 2^e
  using U128 = unsigned __int128;
  uint64_t q = 0;
  int d = 0;  // digits before the point: |value| lies in [10^(d-1), 10^d)
  bool up = false;
  if (e >= 0) {
    if (e > 10) return false;
    const uint64_t whole = m << e;
    d = DecimalDigitCount(whole);
    if (d <= p) {
      q = whole * kDecimalPow10[p - d];
    } else {
      const uint64_t unit = kDecimalPow10[d - p];
      q = whole / unit;
      const uint64_t r = whole % unit;
      up = r > unit / 2 || (r == unit / 2 && (q & 1) != 0);
    }
  } else {
    const int s = -e;
    if (s > 120) return false;
    const uint64_t whole = s < 64 ? m >> s : 0;
    if (whole > 0) {
      d = DecimalDigitCount(whole);
    } else {
      // Below 1: the first power of ten that lifts the value to 1 or more.
      int j = 1;
      while (j < 20 && (static_cast<U128>(m) * kDecimalPow10[j]) >> s == 0) ++j;
      d = 1 - j;
    }
    const int k = p - d;
    if (k < 0 || k > 19) return false;
    const U128 scaled = static_cast<U128>(m) * kDecimalPow10[k];
    q = static_cast<uint64_t>(scaled >> s);
    const U128 r = scaled & ((static_cast<U128>(1) << s) - 1);
    const U128 half = static_cast<U128>(1) << (s - 1);
    up = r > half || (r == half && (q & 1) != 0);
  }
  if (up) ++q;
  if (q == kDecimalPow10[p]) {
    q = kDecimalPow10[p - 1];
    ++d;
  }
  if (q < kDecimalPow10[p - 1] || q >= kDecimalPow10[p]) return false;
  *n = q;
  *exp10 = d - 1;
  return true;
}

// As printf's %g lays out p digits of n whose first stands for 10^x:
// trailing zeros of the fraction and a bare point dropped.
int Layout(char* out, bool negative, uint64_t n, int p, int x) {
  char digits[20];
  for (int i = p - 1; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  int used = p;
  while (used > 1 && digits[used - 1] == '0') --used;
  char* o = out;
  if (negative) *o++ = '-';
  if (x < -4 || x >= p) {
    *o++ = digits[0];
    if (used > 1) {
      *o++ = '.';
      std::memcpy(o, digits + 1, static_cast<size_t>(used - 1));
      o += used - 1;
    }
    *o++ = 'e';
    *o++ = x < 0 ? '-' : '+';
    const int ax = x < 0 ? -x : x;
    if (ax < 10) *o++ = '0';
    o = std::to_chars(o, o + 4, ax).ptr;
  } else if (x >= 0) {
    std::memcpy(o, digits, static_cast<size_t>(x + 1));
    o += x + 1;
    if (used > x + 1) {
      *o++ = '.';
      std::memcpy(o, digits + x + 1, static_cast<size_t>(used - x - 1));
      o += used - x - 1;
    }
  } else {
    *o++ = '0';
    *o++ = '.';
    for (int z = -1; z > x; --z) *o++ = '0';
    std::memcpy(o, digits, static_cast<size_t>(used));
    o += used;
  }
  *o = '\0';
  return static_cast<int>(o - out);
}

}  // namespace

int FormatDoubleG(char* buffer, double value, int digits) {
  uint64_t n = 0;
  int x = 0;
  if (digits >= 1 && digits <= 17 && RoundTo(value, digits, &n, &x))
    return Layout(buffer, std::signbit(value), n, digits, x);
  const auto r = std::to_chars(buffer, buffer + 31, value, std::chars_format::general, digits);
  auto len = static_cast<int>(r.ptr - buffer);
  if (len > 0 && buffer[len - 1] == '.') --len;
  buffer[len] = '\0';
  return len;
}
