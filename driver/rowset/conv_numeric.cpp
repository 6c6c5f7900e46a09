// Decimal numbers as digit strings, and SQL_NUMERIC_STRUCT built from them
// exactly (no floating point on the way).
#include <algorithm>
#include <cstring>

#include "driver/rowset/convert_internal.h"

namespace conv {

namespace {

__extension__ typedef unsigned __int128 U128;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseDecimal(const char* text, int64_t length, DecimalDigits* out) {
  int64_t i = 0;
  while (i < length && IsBlank(text[i])) ++i;
  out->negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) out->negative = text[i++] == '-';
  std::string digits;
  int64_t fraction = 0;
  int64_t seen = 0;
  while (i < length && IsDigit(text[i])) {
    digits.push_back(text[i++]);
    ++seen;
  }
  if (i < length && text[i] == '.') {
    ++i;
    while (i < length && IsDigit(text[i])) {
      digits.push_back(text[i++]);
      ++fraction;
      ++seen;
    }
  }
  if (seen == 0) return false;
  int64_t exponent = 0;
  if (i < length && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negExp = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) negExp = text[i++] == '-';
    if (i >= length || !IsDigit(text[i])) return false;
    while (i < length && IsDigit(text[i])) {
      // Far beyond any representable value; kept from overflowing.
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
      ++i;
    }
    if (negExp) exponent = -exponent;
  }
  while (i < length && IsBlank(text[i])) ++i;
  if (i != length) return false;
  // Leading zeros carry nothing.
  size_t lead = 0;
  while (lead + 1 < digits.size() && digits[lead] == '0') ++lead;
  out->digits = digits.substr(lead);
  out->exponent = exponent - fraction;
  return true;
}

bool PlainToNumeric(const char* text, int64_t length, int16_t scale, uint16_t precision,
                    SQL_NUMERIC_STRUCT* out) {
  if (scale < 0 || scale > 18 || length <= 0) return false;
  int64_t i = text[0] == '-' ? 1 : 0;
  const bool negative = i == 1;
  // The integer digits: leading zeros carry nothing, at most 18 others.
  const int64_t first = i;
  while (i < length && text[i] == '0') ++i;
  const int64_t lead = i;
  uint64_t v = 0;
  while (i < length && IsDigit(text[i])) v = v * 10 + static_cast<unsigned>(text[i++] - '0');
  const int whole = static_cast<int>(i - lead);
  if (whole > 18) return false;
  int64_t seen = i - first;
  int fraction = -1;  // digits after the point; -1 without a point
  int significant = whole;
  if (i < length && text[i] == '.') {
    const int64_t from = ++i;
    // Zeros after the point count as significant only after a digit that is not 0.
    if (v == 0)
      while (i < length && text[i] == '0') ++i;
    const int64_t digitsFrom = i;
    while (i < length && IsDigit(text[i]) && i - digitsFrom + significant < 19)
      v = v * 10 + static_cast<unsigned>(text[i++] - '0');
    significant += static_cast<int>(i - digitsFrom);
    if (significant > 18) return false;
    fraction = static_cast<int>(i - from);
    seen += fraction;
  }
  if (i != length) return false;
  // A bare point and cut fraction digits are the general path's.
  if (seen == 0 || fraction == 0 || fraction > scale) return false;
  // The precision holds the scale's digits too: what is left is the integer part's.
  if (precision > 0 && whole > precision - scale) return false;
  const int pad = scale - (fraction < 0 ? 0 : fraction);
  if (significant + pad > 18) return false;
  const int digits = v == 0 ? 1 : significant + pad;
  for (int k = 0; k < pad; ++k) v *= 10;
  // Written field by field, the value as whole words: a struct built in
  // byte stores and then copied whole stalls the copy on each of them.
  out->precision = static_cast<SQLCHAR>(precision > 0 ? precision : digits);
  out->scale = static_cast<SQLSCHAR>(scale);
  out->sign = negative && v != 0 ? 0 : 1;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);  // the value is little-endian
#endif
  std::memcpy(out->val, &v, sizeof v);
  std::memset(out->val + sizeof v, 0, SQL_MAX_NUMERIC_LEN - sizeof v);
  return true;
}

int DigitsToNumeric(const DecimalDigits& d, int16_t scale, uint16_t precision,
                    uint16_t defaultPrecision, SQL_NUMERIC_STRUCT* out, int32_t* pending) {
  const bool zero = d.digits.find_first_not_of('0') == std::string::npos;
  const auto len = static_cast<int64_t>(d.digits.size());
  // Digits of the integer part.
  const int64_t intDigits = zero ? 0 : (len + d.exponent > 0 ? len + d.exponent : 0);
  // The precision counts the scale's digits as well as the integer part's.
  if (precision > 0 && intDigits > precision - std::max<int64_t>(scale, 0)) {
    *pending = ERR_NUMERIC_RANGE;
    return -1;
  }
  // The value times 10^scale, cut toward zero.
  const int64_t shift = d.exponent + scale;
  std::string kept;
  bool dropped = false;
  if (zero) {
    kept = "0";
  } else if (shift >= 0) {
    if (len + shift > 39) {
      *pending = ERR_NUMERIC_RANGE;
      return -1;
    }
    kept = d.digits + std::string(static_cast<size_t>(shift), '0');
  } else {
    const int64_t keep = len + shift;
    kept = keep > 0 ? d.digits.substr(0, static_cast<size_t>(keep)) : "0";
    const std::string gone = keep > 0 ? d.digits.substr(static_cast<size_t>(keep)) : d.digits;
    dropped = gone.find_first_not_of('0') != std::string::npos;
  }
  U128 v = 0;
  const U128 limit = ~U128{0};
  for (char c : kept) {
    const auto digit = static_cast<unsigned>(c - '0');
    if (v > (limit - digit) / 10) {
      *pending = ERR_NUMERIC_RANGE;
      return -1;
    }
    v = v * 10 + digit;
  }
  size_t needed = kept.find_first_not_of('0');
  needed = needed == std::string::npos ? 1 : kept.size() - needed;
  uint16_t prec = precision;
  if (prec == 0) {
    prec = defaultPrecision > needed ? defaultPrecision : static_cast<uint16_t>(needed);
    if (prec > 38 && needed <= 38) prec = 38;
  }
  SQL_NUMERIC_STRUCT n{};
  n.precision = static_cast<SQLCHAR>(prec);
  n.scale = static_cast<SQLSCHAR>(scale);
  n.sign = (d.negative && v != 0) ? 0 : 1;
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
    n.val[i] = static_cast<SQLCHAR>(v & 0xFF);
    v >>= 8;
  }
  *out = n;
  if (dropped) {
    *pending = ERR_FRACTIONAL_TRUNCATION;
    return 1;
  }
  return 0;
}

}  // namespace conv
