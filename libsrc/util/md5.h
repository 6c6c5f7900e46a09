// MD5 message digest (RFC 1321).
#ifndef QMR_UTIL_MD5_H
#define QMR_UTIL_MD5_H

#include <cstdint>

struct MD5_CTX {
  uint32_t state[4];
  uint32_t count[2];         // message length in bits mod 2^64, low word first
  unsigned char buffer[64];  // the part of a block not yet processed
};

void MD5Init(MD5_CTX* ctx);
void MD5Update(MD5_CTX* ctx, const void* data, uint32_t len);
// Pads, processes the last block and writes the digest; the context is left
// as it is (start again with MD5Init).
void MD5Final(unsigned char digest[16], MD5_CTX* ctx);
// The compression function over one block given as 16 little-endian words.
void MD5Transform(uint32_t state[4], const uint32_t block[16]);

#endif
