// The octets text of a given number of characters may take when handed to
// the application: the octet length that result descriptions and the
// catalog's BUFFER_LENGTH and CHAR_OCTET_LENGTH answer for a character
// column, in either build.
#ifndef QMR_UTIL_TEXT_OCTETS_H
#define QMR_UTIL_TEXT_OCTETS_H

#include <cstdint>

// A character outside the BMP takes four bytes in UTF-8 (the 8-bit text of
// both builds) and two UTF-16 units, four bytes, in wide text; a database
// that counts code points (PostgreSQL) fills a column with such characters.
// So both builds answer four octets a character, capped at the largest
// 32-bit length (what the catalog's INTEGER columns hold).
constexpr int64_t kTextOctetsPerChar = 4;
constexpr int64_t kTextOctetsMax = 0x7FFFFFFF;

constexpr int64_t TextOctetLength(int64_t chars) {
  if (chars <= 0) return 0;
  return chars >= kTextOctetsMax / kTextOctetsPerChar ? kTextOctetsMax : chars * kTextOctetsPerChar;
}

#endif
