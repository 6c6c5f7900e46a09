// The number, date and time texts of parameter values.
#include "drv_jdbc/j-desc-text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <locale.h>

namespace {

// Digits after a decimal point as nanoseconds: ".5" is half a second.
// Digits beyond the ninth are below a nanosecond and dropped.
uint32_t FractionNanos(const char* p, const char* e) {
  uint32_t ns = 0;
  int digits = 0;
  for (; p < e && *p >= '0' && *p <= '9'; ++p) {
    if (digits < 9) {
      ns = ns * 10 + static_cast<uint32_t>(*p - '0');
      ++digits;
    }
  }
  for (; digits < 9; ++digits) ns *= 10;
  return ns;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads a date or time text left to right; every field is digits only (no
// blanks inside, no sign but a year's), so that nothing but the forms
// themselves match.
struct TextReader {
  const char* p;
  const char* e;
  bool AtEnd() const { return p == e; }
  bool Take(char c) {
    if (p == e || *p != c) return false;
    ++p;
    return true;
  }
  // min..max digits as a number.
  bool Number(int min, int max, int* out) {
    int n = 0, v = 0;
    while (p < e && n < max && *p >= '0' && *p <= '9') {
      v = v * 10 + (*p++ - '0');
      ++n;
    }
    *out = v;
    return n >= min;
  }
};

// "yyyy-mm-dd" (a year before 1 signed, "-0043-03-15", as ISO 8601 and
// H2 write it) or "dd.mm.yyyy"; r is left anywhere when false.
bool ReadDate(TextReader* r, JC_Timestamp* t) {
  int y = 0, m = 0, d = 0;
  const char* start = r->p;
  const bool minus = r->Take('-');
  if (r->Number(4, 4, &y) && r->Take('-')) {
    if (!r->Number(1, 2, &m) || !r->Take('-') || !r->Number(1, 2, &d)) return false;
    if (minus) y = -y;
  } else {
    if (minus) return false;
    r->p = start;
    if (!r->Number(1, 2, &d) || !r->Take('.') || !r->Number(1, 2, &m) || !r->Take('.') ||
        !r->Number(1, 4, &y))
      return false;
  }
  t->year = static_cast<int16_t>(y);
  t->month = static_cast<uint16_t>(m);
  t->day = static_cast<uint16_t>(d);
  return true;
}

// "hh:mm[:ss[.fraction]]".
bool ReadTime(TextReader* r, JC_Timestamp* t) {
  int h = 0, m = 0, s = 0;
  if (!r->Number(1, 2, &h) || !r->Take(':') || !r->Number(1, 2, &m)) return false;
  if (r->Take(':')) {
    if (!r->Number(1, 2, &s)) return false;
    if (r->Take('.')) {
      const char* digits = r->p;
      while (r->p < r->e && *r->p >= '0' && *r->p <= '9') ++r->p;
      if (r->p == digits) return false;
      t->fraction = FractionNanos(digits, r->p);
    }
  }
  t->hour = static_cast<uint16_t>(h);
  t->minute = static_cast<uint16_t>(m);
  t->second = static_cast<uint16_t>(s);
  return true;
}

// The double a decimal text stands for, in the C locale; false when it is
// beyond a double (a value too small for one becomes 0 or a subnormal).
bool DoubleOfDecimal(const std::string& t, double* out) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  *out = strtod_l(t.c_str(), nullptr, c);
  return std::isfinite(*out);
}

// The integer part of a decimal text (isDecimalNumber holds), exactly: the
// digits before the point, shifted by the exponent. Through a double, an
// integer beyond 2^53 would lose its last digits. false beyond 64 bits.
// *dropped tells whether a non-zero digit was left behind the point.
bool IntegerPart(const std::string& t, int64_t* out, bool* dropped) {
  size_t i = 0;
  bool negative = false;
  if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
  std::string digits;
  int64_t before = 0;
  bool point = false;
  for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
    if (t[i] == '.') {
      point = true;
      continue;
    }
    digits += t[i];
    if (!point) ++before;
  }
  int64_t exponent = 0;
  if (i < t.size()) {
    ++i;
    bool negExp = false;
    if (t[i] == '+' || t[i] == '-') negExp = t[i++] == '-';
    // Far beyond any 64-bit value; kept from overflowing.
    for (; i < t.size(); ++i)
      if (exponent < 100000) exponent = exponent * 10 + (t[i] - '0');
    if (negExp) exponent = -exponent;
  }
  const int64_t whole = before + exponent;
  *dropped = false;
  for (size_t k = whole > 0 ? static_cast<size_t>(whole) : 0; k < digits.size(); ++k)
    if (digits[k] != '0') *dropped = true;
  uint64_t magnitude = 0;
  for (int64_t k = 0; k < whole; ++k) {
    const auto at = static_cast<size_t>(k);
    if (at >= digits.size() && magnitude == 0) break;  // zeros times ten stay zero
    const uint64_t digit = at < digits.size() ? static_cast<uint64_t>(digits[at] - '0') : 0;
    if (magnitude > (UINT64_MAX - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(INT64_MAX);
  if (magnitude > limit) return false;
  *out = negative ? static_cast<int64_t>(~magnitude + 1) : static_cast<int64_t>(magnitude);
  return true;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::string decimalText(const char* text, size_t len) {
  const std::string t(text, len);
  const size_t b = t.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  const size_t e = t.find_last_not_of(" \t\r\n");
  return t.substr(b, e - b + 1);
}

bool wholeInteger(const std::string& t, int64_t* out) {
  const char* b = t.c_str();
  const char* e = b + t.size();
  // from_chars reads a '-' of its own, so "+-5" would pass as -5.
  if (b != e && *b == '+') ++b;
  if (b == e || (*b == '-' && b != t.c_str())) return false;
  const auto r = std::from_chars(b, e, *out);
  return r.ec == std::errc() && r.ptr == e;
}

bool isDecimalNumber(const std::string& t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9')
      ++digits;
    else if (t[i] == '.' && !point)
      point = true;
    else
      break;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t exp = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++exp;
    if (exp == 0) return false;
  }
  return i == t.size();
}

bool truncateToInt64(double d, int64_t* out) {
  if (!std::isfinite(d) || d >= 9.2233720368547758e18 || d < -9.2233720368547758e18) return false;
  *out = static_cast<int64_t>(d);
  return true;
}

uint32_t numberOfText(const char* text, size_t len, double* out) {
  const std::string t = decimalText(text, len);
  // NaN and the infinities, as Java and the databases spell them: a double
  // holds them too.
  std::string word;
  for (char c : t) word += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (word == "nan" || word == "infinity" || word == "+infinity" || word == "-infinity") {
    *out = word == "nan"    ? std::numeric_limits<double>::quiet_NaN()
           : word[0] == '-' ? -std::numeric_limits<double>::infinity()
                            : std::numeric_limits<double>::infinity();
    return 0;
  }
  if (!isDecimalNumber(t)) return ERR_INVALID_CAST_VALUE;
  return DoubleOfDecimal(t, out) ? 0u : uint32_t{ERR_NUMERIC_RANGE};
}

uint32_t integerOfText(const char* text, size_t len, int64_t* out) {
  const std::string t = decimalText(text, len);
  if (wholeInteger(t, out)) return 0;
  if (!isDecimalNumber(t)) return ERR_INVALID_CAST_VALUE;
  bool dropped = false;
  if (!IntegerPart(t, out, &dropped)) return ERR_NUMERIC_RANGE;
  return dropped ? uint32_t{ERR_RIGHT_TRUNCATION} : 0u;
}

bool parseDateTimeText(const char* text, int64_t length, JC_Timestamp* v) {
  if (v == nullptr) return false;
  *v = JC_Timestamp{};
  if (text == nullptr) return false;
  const char* b = text;
  const char* e = length < 0 ? text + std::strlen(text) : text + length;
  while (b < e && IsBlank(*b)) ++b;
  while (e > b && IsBlank(e[-1])) --e;
  TextReader r{b, e};
  JC_Timestamp t{};
  if (ReadDate(&r, &t)) {
    if (r.AtEnd()) {
      *v = t;
      return true;
    }
    // The date and the time are parted by blanks or by ISO's 'T'.
    const char* sep = r.p;
    if (r.p < r.e && *r.p == 'T')
      ++r.p;
    else
      while (r.p < r.e && IsBlank(*r.p)) ++r.p;
    if (r.p == sep) return false;
  } else {
    r.p = b;
  }
  if (!ReadTime(&r, &t) || !r.AtEnd()) return false;
  *v = t;
  return true;
}

bool calendarHasDate(const JC_Timestamp& ts, int firstYear) {
  static const uint16_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (ts.year < firstYear || ts.year > 9999 || ts.month < 1 || ts.month > 12 || ts.day < 1)
    return false;
  const uint16_t last = ts.month == 2 && IsLeapYear(ts.year) ? 29 : kDays[ts.month - 1];
  return ts.day <= last;
}

bool clockHasTime(const JC_Timestamp& ts) {
  return ts.hour <= 23 && ts.minute <= 59 && ts.second <= 59 && ts.fraction < 1000000000u;
}
