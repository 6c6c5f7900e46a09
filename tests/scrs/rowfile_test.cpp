// Row files: the byte image of every value type, the layout of a written
// set, appending and windows, and damaged files that must fail cleanly (the
// sanitizer build catches a read past a buffer).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "scrs/rowfile.h"

namespace {

std::string Hex(const unsigned char* p, size_t n) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += {d[p[i] >> 4], d[p[i] & 15]};
  return s;
}

std::vector<unsigned char> Unhex(const std::string& h) {
  std::vector<unsigned char> b;
  for (size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(std::stoi(h.substr(i, 2), nullptr, 16));
  return b;
}

std::string LE(uint64_t v, int n) {
  unsigned char b[8];
  for (int i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
  return Hex(b, n);
}

std::string FileHex(FILE* f) {
  std::vector<unsigned char> b(1 << 16);
  fflush(f);
  const size_t n = pread(fileno(f), b.data(), b.size(), 0);
  return Hex(b.data(), n);
}

bool IsLong(uint32_t t) { return t == 15 || t == 16 || t == 26; }

// A set of the given {type, width} columns with storage for n rows, none held.
void MakeSet(COLSET* s, std::vector<std::pair<uint32_t, uint32_t>> cols, uint32_t n) {
  ASSERT_EQ(0, ColSetInit(s, static_cast<uint16_t>(cols.size())));
  for (size_t c = 0; c < cols.size(); ++c) {
    s->cols[c] = COLSET_COL{cols[c].first, cols[c].second, nullptr, nullptr};
  }
  s->cols_used = static_cast<uint16_t>(cols.size());
  ASSERT_EQ(0, ColSetSetRows(s, n));
}

// One column: row 0 holds the element (long types: the value) in hex, row 1 is NULL.
void MakeCell(COLSET* s, uint32_t type, uint32_t width, const std::string& hex) {
  MakeSet(s, {{type, width}}, 2);
  std::vector<unsigned char> v = Unhex(hex);
  const size_t n = v.size();
  v.push_back(0);
  if (IsLong(type)) {
    COLSET_LONG l{static_cast<uint32_t>(type == 26 ? n / 2 : n), std::malloc(n + 1)};
    std::memcpy(l.value, v.data(), n + 1);
    std::memcpy(s->cols[0].data, &l, sizeof l);
  } else {
    std::memcpy(s->cols[0].data, v.data(), n);
  }
  s->cols[0].ind[0] = 0;
  s->rows_held = 2;
}

// n rows of one INTEGER column holding from, from + 1, ...
void Ints(COLSET* s, uint32_t n, int32_t from) {
  MakeSet(s, {{COLSET_VT_INTEGER, 4}}, n);
  for (uint32_t r = 0; r < n; ++r) {
    const int32_t v = from + static_cast<int32_t>(r);
    std::memcpy(s->cols[0].data + 4 * r, &v, 4);
    s->cols[0].ind[r] = 0;
  }
  s->rows_held = n;
}

struct Files {
  FILE* data = tmpfile();
  FILE* index = tmpfile();
  ~Files() {
    fclose(data);
    fclose(index);
  }
};

struct CellCase {
  uint32_t type;
  uint32_t width;
  std::string elem;  // row 0 as held in memory (long types: the value)
  std::string cell;  // its value bytes in the file, after the indicator word
};

const CellCase kCells[] = {
    {0, 1, "00", ""},
    {1, 3, "414243", "414243"},
    {2, 1, "01", "01000000"},
    {3, 1, "fb", "fbffffff"},
    {4, 2, "2efb", "2efbffff"},
    {5, 4, "efbeadde", "efbeadde"},
    {6, 1, "fe", "fe000000"},
    {7, 2, "60ea", "60ea0000"},
    {8, 4, "ffffffff", "ffffffff"},
    {9, 4, "0000c03f", "0000c03f"},
    {10, 8, "000000000000f83f", "000000000000f83f"},
    {11, 6, "30f80c001f00", "30f8ffff0c0000001f000000"},
    {12, 16, "17003b003a00000040e20100584d0400",
     "170000003b0000003a0000000000000040e20100584d0400"},
    {13, 20, "30f80100020003000400ffffffc99a3b907e0400",
     "30f8ffff01000000020000000300000004000000"
     "ffff0000ffc99a3b907e0400"},
    {14, 2, "00ff", "00ff"},
    {15, 16, "6869", "020000006869"},
    {15, 16, "", "00000000"},
    {16, 16, "00ff00", "0300000000ff00"},
    {16, 16, "", "00000000"},
    {17, 4, "61620000", "61620000"},
    {18, 4, "03616263", "03000000616263"},
    {18, 4, "00000000", "00000000"},
    {19, 4, "02006162", "020000006162"},
    {20, 8, "0300000061626300", "03000000616263"},
    {21, 3, "0200ff", "0200000000ff"},
    {22, 4, "0100ff00", "01000000ff"},
    {23, 6, "020000000102", "020000000102"},
    {23, 6, "000000000000", "00000000"},
    {24, 4, "41004200", "41004200"},
    {25, 4, "41000000", "41000000"},
    {26, 16, "e9004100", "02000000e9004100"},
    {26, 16, "", "00000000"},
    {27, 8, "0100000041000000", "010000004100"},
    // Long values of a kilobyte and more are written from where they lie.
    {15, 16, std::string(2 * 1100, '7'), "4c040000" + std::string(2 * 1100, '7')},
    {26, 16, std::string(4 * 600, 'a'), "58020000" + std::string(4 * 600, 'a')},
};

TEST(RowFile, EveryTypeHasItsImageAndComesBack) {
  for (const CellCase& c : kCells) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " " + c.elem);
    Files f, again;
    COLSET w, r;
    MakeCell(&w, c.type, c.width, c.elem);
    ASSERT_EQ(1, RF_TransferWindow(RF_WRITE, f.data, f.index, &w, 0, 0));
    const std::string image =
        "0100000002000000" + LE(c.type, 4) + LE(c.width, 4) + "00000000" + c.cell + "ffffffff";
    EXPECT_EQ(image, FileHex(f.data));
    EXPECT_EQ(LE(16, 8) + LE(16 + 4 + c.cell.size() / 2, 8), FileHex(f.index));
    // What is read back writes the same image again.
    ASSERT_EQ(1, RF_TransferWindow(RF_READ, f.data, f.index, &r, 0, 0));
    ASSERT_EQ(1, RF_TransferWindow(RF_WRITE, again.data, again.index, &r, 0, 0));
    EXPECT_EQ(image, FileHex(again.data));
    ColSetFreeColumns(&w);
    ColSetFreeColumns(&r);
  }
}

TEST(RowFile, LayoutOfTwoColumnsAndThreeRows) {
  Files f;
  COLSET s;
  MakeSet(&s, {{COLSET_VT_INTEGER, 4}, {COLSET_VT_NTS, 11}}, 3);
  for (uint32_t r = 0; r < 3; ++r) {
    s.cols[0].ind[r] = s.cols[1].ind[r] = 0;
    std::memcpy(s.cols[1].data + 11 * r, "row", 4);
  }
  s.rows_held = 3;
  ASSERT_EQ(1, RF_TransferWindow(RF_WRITE, f.data, f.index, &s, 0, 0));
  EXPECT_EQ(
      "0200000003000000050000000400000011000000"
      "0b000000",
      FileHex(f.data).substr(0, 48));
  EXPECT_EQ(2 * 93u, FileHex(f.data).size());
  EXPECT_EQ(
      "1800000000000000"
      "2f00000000000000"
      "4600000000000000",
      FileHex(f.index));
  ColSetFreeColumns(&s);
}

TEST(RowFile, AppendAndWindows) {
  Files f;
  COLSET s;
  Ints(&s, 5001, 0);
  ASSERT_EQ(1, RF_TransferWindow(RF_WRITE, f.data, f.index, &s, 0, 0));
  Ints(&s, 10, 5001);
  ASSERT_EQ(1, RF_AppendRows(f.data, f.index, &s));
  EXPECT_EQ(
      "01000000"
      "93130000",
      FileHex(f.data).substr(0, 16));  // 5011 rows
  EXPECT_EQ(5011u * 16, FileHex(f.index).size());
  ASSERT_EQ(1, RF_TransferWindow(RF_READ, f.data, f.index, &s, 5000, 5000));
  ASSERT_EQ(11u, s.rows_held);
  for (uint32_t r = 0; r < 11; ++r) {
    int32_t v;
    std::memcpy(&v, s.cols[0].data + 4 * r, 4);
    EXPECT_EQ(static_cast<int32_t>(5000 + r), v);
  }
  EXPECT_EQ(0, RF_TransferWindow(RF_READ, f.data, f.index, &s, 5011, 5000));
  EXPECT_EQ(0, s.cols_used);
  // A set of another shape is not appended to the file.
  COLSET other;
  MakeCell(&other, COLSET_VT_SMALLINT, 2, "0100");
  EXPECT_EQ(0, RF_AppendRows(f.data, f.index, &other));
  ColSetFreeColumns(&other);
  ColSetFreeColumns(&s);
}

struct Damage {
  const char* what;
  bool index;  // in the index file, else the data file
  long at;
  uint32_t word;  // 0: cut the file 3 bytes short instead
};

TEST(RowFile, DamagedFilesFailCleanly) {
  // One long text column, "ABC" and NULL: the width word at 12, row 0's
  // indicator at 16 and its length at 20.
  const Damage kDamage[] = {
      {"truncated", false, 0, 0},
      {"long length huge", false, 20, 0xFFFFFFF0u},
      {"row count huge", false, 4, 0x7FFFFFFFu},
      {"column count past 16 bits", false, 0, 0x10000u},
      {"long width changed", false, 12, 1u << 30},
      {"indicator not a widened 16-bit value", false, 16, 0x00012345u},
      {"row offset past the end", true, 0, 0x40000000u},
  };
  for (const Damage& d : kDamage) {
    SCOPED_TRACE(d.what);
    Files f;
    COLSET s;
    MakeCell(&s, COLSET_VT_LONGCHAR, 16, "414243");
    ASSERT_EQ(1, RF_TransferWindow(RF_WRITE, f.data, f.index, &s, 0, 0));
    ASSERT_EQ(1, RF_TransferWindow(RF_READ, f.data, f.index, &s, 0, 0));
    FILE* hit = d.index ? f.index : f.data;
    fflush(hit);
    if (d.word == 0) {
      ASSERT_EQ(0, ftruncate(fileno(hit), static_cast<off_t>(FileHex(hit).size() / 2 - 3)));
    } else {
      ASSERT_EQ(4, pwrite(fileno(hit), &d.word, 4, d.at));
    }
    EXPECT_EQ(0, RF_TransferWindow(RF_READ, f.data, f.index, &s, 0, 0));
    EXPECT_EQ(nullptr, s.cols);
  }
}

// Rows read with their long values left in the file: the cell says
// deferred, the value comes whole from the kept bytes later, and a length
// that reaches past its row (narrow or wide) or a cut file fails the read.
TEST(RowFile, DeferredLongValuesComeFromTheKeptBytes) {
  const Damage kDamage[] = {{"intact", false, 0, 1},
                            {"truncated", false, 0, 0},
                            {"narrow length past the row", false, 20, 0x80000005u},
                            {"wide length past the row", false, 20, 3u}};
  for (const Damage& d : kDamage) {
    SCOPED_TRACE(d.what);
    Files f;
    COLSET s, r;
    MakeCell(&s, COLSET_VT_LONGWCHAR, 16, "e9004100");
    ASSERT_EQ(1, RF_TransferWindow(RF_WRITE, f.data, f.index, &s, 0, 0));
    fflush(f.data);
    if (d.word == 0) {
      ASSERT_EQ(0, ftruncate(fileno(f.data), static_cast<off_t>(FileHex(f.data).size() / 2 - 3)));
    } else if (d.at != 0) {
      ASSERT_EQ(4, pwrite(fileno(f.data), &d.word, 4, d.at));
    }
    MakeSet(&r, {{COLSET_VT_LONGWCHAR, 16}}, 2);
    RF_RAWROWS raw;
    const bool intact = d.word == 1;
    ASSERT_EQ(intact ? 1 : 0, RF_ReadRowsDeferred(f.data, f.index, &r, 0, 2, 2, &raw));
    COLSET_LONG v{};
    if (intact) {
      EXPECT_EQ(COLSET_IND_DEFERRED, r.cols[0].ind[0]);
      EXPECT_EQ(COLSET_IND_NULL, r.cols[0].ind[1]);
      ASSERT_EQ(1, RF_LongFromRaw(&raw, 0, 0, COLSET_VT_LONGWCHAR, &v));
      EXPECT_EQ(2u, v.length);
      EXPECT_EQ("e9004100", Hex(static_cast<unsigned char*>(v.value), 4));
      std::free(v.value);
    }
    EXPECT_EQ(0, RF_LongFromRaw(&raw, 1, 0, COLSET_VT_LONGWCHAR, &v));
    ColSetFreeColumns(&s);
    ColSetFreeColumns(&r);
  }
}

}  // namespace
