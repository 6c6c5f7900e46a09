#include "util/md5.h"

#include <cstring>

namespace {

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
inline void step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t ac) {
  a = rotl(a + Fn(b, c, d) + x + ac, s) + b;
}

void decode(uint32_t out[16], const unsigned char* in) {
  for (int i = 0; i < 16; ++i)
    out[i] = static_cast<uint32_t>(in[4 * i]) | (static_cast<uint32_t>(in[4 * i + 1]) << 8) |
             (static_cast<uint32_t>(in[4 * i + 2]) << 16) |
             (static_cast<uint32_t>(in[4 * i + 3]) << 24);
}

void encode(unsigned char* out, const uint32_t* in, int words) {
  for (int i = 0; i < words; ++i) {
    out[4 * i] = static_cast<unsigned char>(in[i]);
    out[4 * i + 1] = static_cast<unsigned char>(in[i] >> 8);
    out[4 * i + 2] = static_cast<unsigned char>(in[i] >> 16);
    out[4 * i + 3] = static_cast<unsigned char>(in[i] >> 24);
  }
}

void transform_bytes(uint32_t state[4], const unsigned char* block) {
  uint32_t x[16];
  decode(x, block);
  MD5Transform(state, x);
}

}  // namespace

void MD5Init(MD5_CTX* ctx) {
  ctx->count[0] = ctx->count[1] = 0;
  ctx->state[0] = 0x67452301u;
  ctx->state[1] = 0xefcdab89u;
  ctx->state[2] = 0x98badcfeu;
  ctx->state[3] = 0x10325476u;
  std::memset(ctx->buffer, 0, sizeof ctx->buffer);
}

void MD5Update(MD5_CTX* ctx, const void* data, uint32_t len) {
  const auto* in = static_cast<const unsigned char*>(data);
  uint32_t index = (ctx->count[0] >> 3) & 0x3F;
  const uint32_t bits_low = len << 3;
  ctx->count[0] += bits_low;
  if (ctx->count[0] < bits_low) ++ctx->count[1];
  ctx->count[1] += len >> 29;

  const uint32_t part = 64 - index;
  uint32_t i = 0;
  if (len >= part) {
    std::memcpy(ctx->buffer + index, in, part);
    transform_bytes(ctx->state, ctx->buffer);
    for (i = part; i + 63 < len; i += 64) transform_bytes(ctx->state, in + i);
    index = 0;
  }
  if (len > i) std::memcpy(ctx->buffer + index, in + i, len - i);
}

void MD5Final(unsigned char digest[16], MD5_CTX* ctx) {
  static const unsigned char kPadding[64] = {0x80};
  unsigned char bits[8];
  encode(bits, ctx->count, 2);
  const uint32_t index = (ctx->count[0] >> 3) & 0x3F;
  const uint32_t pad = index < 56 ? 56 - index : 120 - index;
  MD5Update(ctx, kPadding, pad);
  MD5Update(ctx, bits, 8);
  encode(digest, ctx->state, 4);
}

void MD5Transform(uint32_t state[4], const uint32_t x[16]) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  step<F>(a, b, c, d, x[0], 7, 0xd76aa478u);
  step<F>(d, a, b, c, x[1], 12, 0xe8c7b756u);
  step<F>(c, d, a, b, x[2], 17, 0x242070dbu);
  step<F>(b, c, d, a, x[3], 22, 0xc1bdceeeu);
  step<F>(a, b, c, d, x[4], 7, 0xf57c0fafu);
  step<F>(d, a, b, c, x[5], 12, 0x4787c62au);
  step<F>(c, d, a, b, x[6], 17, 0xa8304613u);
  step<F>(b, c, d, a, x[7], 22, 0xfd469501u);
  step<F>(a, b, c, d, x[8], 7, 0x698098d8u);
  step<F>(d, a, b, c, x[9], 12, 0x8b44f7afu);
  step<F>(c, d, a, b, x[10], 17, 0xffff5bb1u);
  step<F>(b, c, d, a, x[11], 22, 0x895cd7beu);
  step<F>(a, b, c, d, x[12], 7, 0x6b901122u);
  step<F>(d, a, b, c, x[13], 12, 0xfd987193u);
  step<F>(c, d, a, b, x[14], 17, 0xa679438eu);
  step<F>(b, c, d, a, x[15], 22, 0x49b40821u);

  step<G>(a, b, c, d, x[1], 5, 0xf61e2562u);
  step<G>(d, a, b, c, x[6], 9, 0xc040b340u);
  step<G>(c, d, a, b, x[11], 14, 0x265e5a51u);
  step<G>(b, c, d, a, x[0], 20, 0xe9b6c7aau);
  step<G>(a, b, c, d, x[5], 5, 0xd62f105du);
  step<G>(d, a, b, c, x[10], 9, 0x02441453u);
  step<G>(c, d, a, b, x[15], 14, 0xd8a1e681u);
  step<G>(b, c, d, a, x[4], 20, 0xe7d3fbc8u);
  step<G>(a, b, c, d, x[9], 5, 0x21e1cde6u);
  step<G>(d, a, b, c, x[14], 9, 0xc33707d6u);
  step<G>(c, d, a, b, x[3], 14, 0xf4d50d87u);
  step<G>(b, c, d, a, x[8], 20, 0x455a14edu);
  step<G>(a, b, c, d, x[13], 5, 0xa9e3e905u);
  step<G>(d, a, b, c, x[2], 9, 0xfcefa3f8u);
  step<G>(c, d, a, b, x[7], 14, 0x676f02d9u);
  step<G>(b, c, d, a, x[12], 20, 0x8d2a4c8au);

  step<H>(a, b, c, d, x[5], 4, 0xfffa3942u);
  step<H>(d, a, b, c, x[8], 11, 0x8771f681u);
  step<H>(c, d, a, b, x[11], 16, 0x6d9d6122u);
  step<H>(b, c, d, a, x[14], 23, 0xfde5380cu);
  step<H>(a, b, c, d, x[1], 4, 0xa4beea44u);
  step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9u);
  step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60u);
  step<H>(b, c, d, a, x[10], 23, 0xbebfbc70u);
  step<H>(a, b, c, d, x[13], 4, 0x289b7ec6u);
  step<H>(d, a, b, c, x[0], 11, 0xeaa127fau);
  step<H>(c, d, a, b, x[3], 16, 0xd4ef3085u);
  step<H>(b, c, d, a, x[6], 23, 0x04881d05u);
  step<H>(a, b, c, d, x[9], 4, 0xd9d4d039u);
  step<H>(d, a, b, c, x[12], 11, 0xe6db99e5u);
  step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8u);
  step<H>(b, c, d, a, x[2], 23, 0xc4ac5665u);

  step<I>(a, b, c, d, x[0], 6, 0xf4292244u);
  step<I>(d, a, b, c, x[7], 10, 0x432aff97u);
  step<I>(c, d, a, b, x[14], 15, 0xab9423a7u);
  step<I>(b, c, d, a, x[5], 21, 0xfc93a039u);
  step<I>(a, b, c, d, x[12], 6, 0x655b59c3u);
  step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92u);
  step<I>(c, d, a, b, x[10], 15, 0xffeff47du);
  step<I>(b, c, d, a, x[1], 21, 0x85845dd1u);
  step<I>(a, b, c, d, x[8], 6, 0x6fa87e4fu);
  step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0u);
  step<I>(c, d, a, b, x[6], 15, 0xa3014314u);
  step<I>(b, c, d, a, x[13], 21, 0x4e0811a1u);
  step<I>(a, b, c, d, x[4], 6, 0xf7537e82u);
  step<I>(d, a, b, c, x[11], 10, 0xbd3af235u);
  step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bbu);
  step<I>(b, c, d, a, x[9], 21, 0xeb86d391u);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}
