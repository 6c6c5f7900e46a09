// Row versions: which rows must digest apart and which alike, and the
// hexadecimal text the table stores them as.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "scrs/rvc.h"

namespace {

using Cell = std::optional<std::string>;  // nullopt: NULL

// One row of two NUL-terminated text columns and a long text column.
struct Row {
  Cell a, b;
  std::string longText;
};

std::string Version(const Row& r) {
  COLSET set{};
  EXPECT_EQ(ColSetInit(&set, 3), 0);
  set.cols[0] = COLSET_COL{COLSET_VT_NTS, 11, nullptr, nullptr};
  set.cols[1] = COLSET_COL{COLSET_VT_NTS, 11, nullptr, nullptr};
  set.cols[2] = COLSET_COL{COLSET_VT_LONGCHAR, sizeof(COLSET_LONG), nullptr, nullptr};
  set.cols_used = 3;
  EXPECT_EQ(ColSetSetRows(&set, 1), 0);
  const Cell* cells[] = {&r.a, &r.b};
  for (int c = 0; c < 2; ++c) {
    if (!*cells[c]) continue;
    std::memcpy(set.cols[c].data, (*cells[c])->c_str(), (*cells[c])->size() + 1);
    set.cols[c].ind[0] = static_cast<uint16_t>((*cells[c])->size());
  }
  COLSET_LONG l{static_cast<uint32_t>(r.longText.size()), strdup(r.longText.c_str())};
  std::memcpy(set.cols[2].data, &l, sizeof l);
  set.cols[2].ind[0] = 0;
  set.rows_held = 1;
  unsigned char digest[RVC_DIGEST_SIZE];
  EXPECT_EQ(RVC_RowVersion(&set, 0, digest), 0);
  ColSetFreeColumns(&set);
  char text[RVC_DIGEST_TEXT];
  RVC_HexEncode(digest, sizeof digest, text, sizeof text, nullptr);
  return text;
}

struct Pair {
  const char* why;
  Row x, y;
  bool alike;
};

TEST(RowVersion, FramesEachValueByNullAndLength) {
  const Pair pairs[] = {
      {"the same values", {"ab", "c", "L1"}, {"ab", "c", "L1"}, true},
      {"a long column takes no part", {"ab", "c", "L1"}, {"ab", "c", "other"}, true},
      {"a value moves to the next column", {"ab", "c", ""}, {"a", "bc", ""}, false},
      {"NULL against empty", {std::nullopt, "x", ""}, {"", "x", ""}, false},
      {"NULL changes column", {std::nullopt, "x", ""}, {"x", std::nullopt, ""}, false},
      {"one character differs", {"p", "q", ""}, {"p", "Q", ""}, false},
  };
  for (const Pair& p : pairs) {
    const std::string x = Version(p.x), y = Version(p.y);
    EXPECT_EQ(x.size(), 32u) << p.why;
    EXPECT_EQ(x == y, p.alike) << p.why << ": " << x << " " << y;
  }
}

TEST(RowVersion, HexTextFitsTheBuffer) {
  const unsigned char bytes[] = {0x00, 0x9A, 0xF1, 0x0C};
  struct Case {
    uint32_t size;
    const char* text;
    uint32_t length;
  } cases[] = {{9, "009AF10C", 8}, {20, "009AF10C", 8}, {8, "009AF1", 6},
               {7, "009AF1", 6},   {2, "", 0},          {1, "", 0}};
  for (const Case& c : cases) {
    char buf[32];
    std::memset(buf, '#', sizeof buf);
    uint32_t length = 99;
    RVC_HexEncode(bytes, sizeof bytes, buf, c.size, &length);
    EXPECT_STREQ(buf, c.text) << "size " << c.size;
    EXPECT_EQ(length, c.length) << "size " << c.size;
    EXPECT_EQ(buf[c.size], '#') << "wrote past the buffer, size " << c.size;
  }
}

}  // namespace
