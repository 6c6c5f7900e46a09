// UTF-16 and UTF-8 for tests that compare what the wide entry points hand
// back with narrow text, and that pass UTF-8 text to the wide entry points.
// A unit type is any 16-bit one: char16_t or the Driver Manager's SQLWCHAR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qmr_test {

// The units before the terminating 0.
template <class Unit>
size_t Units(const Unit* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// `units` UTF-16 units as UTF-8 (surrogate pairs joined).
template <class Unit>
std::string Utf8(const Unit* s, size_t units) {
  std::string out;
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00u);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// UTF-8 (up to 4-byte sequences) to UTF-16.
inline std::u16string FromUtf8(const std::string& s) {
  std::u16string out;
  for (size_t k = 0; k < s.size();) {
    const unsigned char c = s[k];
    uint32_t cp;
    int n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if (c < 0xE0) {
      cp = c & 0x1F;
      n = 2;
    } else if (c < 0xF0) {
      cp = c & 0x0F;
      n = 3;
    } else {
      cp = c & 0x07;
      n = 4;
    }
    for (int j = 1; j < n && k + j < s.size(); ++j) cp = (cp << 6) | (s[k + j] & 0x3F);
    k += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace qmr_test
