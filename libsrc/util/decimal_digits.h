// Powers of ten and the count of an integer's decimal digits, for the
// number texts the agent writes and the core converts.
#ifndef QMR_UTIL_DECIMAL_DIGITS_H
#define QMR_UTIL_DECIMAL_DIGITS_H

#include <cstdint>

// 10^0 .. 10^19: every power of ten a uint64_t holds.
// clang-format off
inline constexpr uint64_t kDecimalPow10[20] = {
    1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL,
    100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL,
    10000000000000ULL, 100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL,
    100000000000000000ULL, 1000000000000000000ULL, 10000000000000000000ULL};
// clang-format on

// The digits of m (1 for 0), from its bit width: a bit width stands for at
// most two digit counts, and one comparison with a power of ten picks.
inline int DecimalDigitCount(uint64_t m) {
  // Setting the lowest bit moves no value across a power of ten above 1.
  const uint64_t v = m | 1;
  const int bits = 64 - __builtin_clzll(v);
  const int guess = (bits * 1233) >> 12;  // floor(bits * log10(2)), the smaller count less one
  return guess + (v >= kDecimalPow10[guess] ? 1 : 0);
}

#endif  // QMR_UTIL_DECIMAL_DIGITS_H
