// MD5 against the RFC 1321 test suite and other known digests.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/md5.h"

namespace {

std::string hex(const unsigned char d[16]) {
  std::string out;
  char b[3];
  for (int i = 0; i < 16; ++i) {
    std::snprintf(b, sizeof b, "%02x", d[i]);
    out += b;
  }
  return out;
}

std::string md5_pieces(const std::string& msg, size_t piece) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (size_t at = 0; at < msg.size(); at += piece) {
    const size_t n = std::min(piece, msg.size() - at);
    MD5Update(&ctx, msg.data() + at, static_cast<uint32_t>(n));
  }
  unsigned char d[16];
  MD5Final(d, &ctx);
  return hex(d);
}

std::string md5(const std::string& msg) { return md5_pieces(msg, msg.empty() ? 1 : msg.size()); }

TEST(Md5, Rfc1321TestSuite) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [msg, digest] : suite) EXPECT_EQ(md5(msg), digest) << '"' << msg << '"';
}

TEST(Md5, PaddingBoundaries) {
  // 55 bytes leave room for the length in the same block; 56 do not.
  EXPECT_EQ(md5(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(md5(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(md5(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

TEST(Md5, PiecewiseFeedingGivesTheSameDigest) {
  std::string msg;
  for (int i = 0; i < 1000; ++i) msg += static_cast<char>(i * 7 + (i >> 3));
  const std::string whole = md5(msg);
  for (size_t piece : {1, 63, 64, 65}) EXPECT_EQ(md5_pieces(msg, piece), whole) << piece;

  MD5_CTX ctx;
  MD5Init(&ctx);
  MD5Update(&ctx, "", 0);
  MD5Update(&ctx, "ab", 2);
  MD5Update(&ctx, "", 0);
  MD5Update(&ctx, "c", 1);
  unsigned char d[16];
  MD5Final(d, &ctx);
  EXPECT_EQ(hex(d), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, MillionAs) {
  const std::string block(1000, 'a');
  MD5_CTX ctx;
  MD5Init(&ctx);
  for (int i = 0; i < 1000; ++i) MD5Update(&ctx, block.data(), 1000);
  EXPECT_EQ(ctx.count[0], 8000000u);
  EXPECT_EQ(ctx.count[1], 0u);
  unsigned char d[16];
  MD5Final(d, &ctx);
  EXPECT_EQ(hex(d), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, BitCountCarriesIntoHighWord) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  ctx.count[0] = 0xFFFFFFF8u;  // as after 2^29 - 1 bytes, minus the buffered data
  MD5Update(&ctx, "x", 1);
  EXPECT_EQ(ctx.count[0], 0u);
  EXPECT_EQ(ctx.count[1], 1u);
}

TEST(Md5, InitStartsANewMessage) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  MD5Update(&ctx, "garbage", 7);
  MD5Init(&ctx);
  MD5Update(&ctx, "a", 1);
  unsigned char d[16];
  MD5Final(d, &ctx);
  EXPECT_EQ(hex(d), "0cc175b9c0f1b6a831c399e269772661");
}

}  // namespace
