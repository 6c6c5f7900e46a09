// Character data for an SQL_BIT parameter, read as ODBC converts it: the
// numbers 0 and 1, and the words applications send for a boolean.
#include <string>

#include "driver/rowset/convert_internal.h"
#include "driver/rowset/paramset.h"
#include "util/errcodes.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// ASCII letters compared without case, whatever the process locale.
bool SameWord(const char* text, size_t n, const char* word) {
  size_t i = 0;
  for (; i < n && word[i] != '\0'; ++i)
    if ((text[i] | 0x20) != word[i]) return false;
  return i == n && word[i] == '\0';
}

struct Word {
  const char* text;
  uint8_t bit;
};
constexpr Word kWords[] = {{"true", 1}, {"false", 0}, {"t", 1}, {"f", 0}};

}  // namespace

int ParamBitOfText(const char* text, int64_t length, uint8_t* bit) {
  int64_t b = 0;
  int64_t e = length;
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  for (const Word& w : kWords) {
    if (SameWord(text + b, static_cast<size_t>(e - b), w.text)) {
      *bit = w.bit;
      return 0;
    }
  }
  conv::DecimalDigits d;
  if (!conv::ParseDecimal(text + b, e - b, &d)) return ERR_INVALID_CAST_VALUE;
  // The digits (no leading zeros) times ten to the exponent.
  if (d.digits.find_first_not_of('0') == std::string::npos) {
    *bit = 0;
    return 0;
  }
  if (d.negative) return ERR_NUMERIC_RANGE;
  const int64_t whole = static_cast<int64_t>(d.digits.size()) + d.exponent;
  if (whole > 1 || (whole == 1 && d.digits[0] >= '2')) return ERR_NUMERIC_RANGE;
  *bit = whole == 1 && d.digits[0] == '1' ? 1 : 0;
  const bool fraction = d.digits.find_first_not_of('0', whole == 1 ? 1 : 0) != std::string::npos;
  return fraction ? ERR_FRACTIONAL_TRUNCATION : 0;
}
