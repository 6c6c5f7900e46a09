// Fuzz target of text read as numbers, dates and times: the agent's readers
// of parameter values (text sent to a number, date or time SQL type) and
// the core's conversions of text results to C types, in the 8-bit and the
// UTF-16 form. Beyond "no crash", each reading is held against a reference
// of its own: the exact integer part of the decimal text, strtod_l in the
// C locale, the C library's calendar, and a date or GUID printed back.
#include <locale.h>
#include <strings.h>

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "driver/rowset/convert.h"
#include "drv_jdbc/j-desc-text.h"
#include "util/textconv.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text, const std::string& got) {
  std::fprintf(stderr, "%s\ntext: [%s]\ngot:  [%s]\n", what, text.c_str(), got.c_str());
  std::abort();
}

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

// strtod_l in the C locale over the whole of t; false when it stops early.
bool RefDouble(const std::string& t, double* out) {
  char* end = nullptr;
  *out = strtod_l(t.c_str(), &end, CLocale());
  return !t.empty() && end == t.c_str() + t.size();
}

std::string Trim(const std::string& t, const char* blanks) {
  const size_t b = t.find_first_not_of(blanks);
  if (b == std::string::npos) return std::string();
  return t.substr(b, t.find_last_not_of(blanks) - b + 1);
}

// A decimal text (sign, digits with at most one point, an exponent) read
// exactly: its integer part toward zero, and whether non-zero digits were
// dropped. `huge` when the integer part has more digits than 128 bits hold.
struct Decimal {
  bool negative = false;
  bool huge = false;
  bool dropped = false;
  unsigned __int128 whole = 0;
};

bool RefDecimal(const std::string& t, Decimal* d) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d->negative = t[i++] == '-';
  std::string digits;
  int64_t before = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits += t[i];
      if (!point) ++before;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits.empty()) return false;
  int64_t exp = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i == t.size() || t[i] < '0' || t[i] > '9') return false;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i)
      if (exp < 1000000) exp = exp * 10 + (t[i] - '0');
    if (neg) exp = -exp;
  }
  if (i != t.size()) return false;
  const int64_t intLen = before + exp;
  for (int64_t k = 0; k < static_cast<int64_t>(digits.size()); ++k) {
    const int digit = digits[static_cast<size_t>(k)] - '0';
    if (k >= intLen) {
      d->dropped = d->dropped || digit != 0;
      continue;
    }
    if (d->whole > (~static_cast<unsigned __int128>(0) - 9) / 10) d->huge = true;
    d->whole = d->whole * 10 + static_cast<unsigned>(digit);
  }
  for (int64_t k = static_cast<int64_t>(digits.size()); k < intLen && d->whole != 0; ++k) {
    if (d->whole > ~static_cast<unsigned __int128>(0) / 10) {
      d->huge = true;
      break;
    }
    d->whole *= 10;
  }
  return true;
}

// Whether the decimal's integer part lies in [lo, hi]; its value then.
bool InRange(const Decimal& d, __int128 lo, __int128 hi, __int128* v) {
  if (d.huge || d.whole > static_cast<unsigned __int128>(INT64_MAX) * 4) return false;
  *v = d.negative ? -static_cast<__int128>(d.whole) : static_cast<__int128>(d.whole);
  return *v >= lo && *v <= hi;
}

std::string Str(__int128 v) { return std::to_string(static_cast<long long>(v)); }

// ---- The agent's readers --------------------------------------------------

void AgentNumber(const std::string& text) {
  const std::string t = Trim(text, " \t\r\n");
  Decimal ref;
  const bool isNumber = RefDecimal(t, &ref);
  double d = 0;
  const uint32_t rc = numberOfText(text.data(), text.size(), &d);
  // NaN and the infinities, spelt as Java and the databases spell them, are
  // a double's too.
  std::string word;
  for (char c : t) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (word == "nan" || word == "infinity" || word == "+infinity" || word == "-infinity") {
    if (rc != 0 || (word == "nan") != std::isnan(d) || (word != "nan" && !std::isinf(d)))
      Fail("no number read wrongly", text, std::to_string(d));
    return;
  }
  if ((rc == ERR_INVALID_CAST_VALUE) == isNumber)
    Fail("number text judged wrongly", text, std::to_string(rc));
  if (!isNumber) return;
  double want = 0;
  if (!RefDouble(t, &want)) Fail("reference cannot read an accepted number", text, "");
  if (rc == ERR_NUMERIC_RANGE) {
    if (std::isfinite(want)) Fail("finite number refused", text, "");
    return;
  }
  if (rc != 0 || !(d == want || (std::isnan(d) && std::isnan(want))))
    Fail("number read differs from strtod_l", text, std::to_string(d));
  // The value prints back to a text that reads as the same double.
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, d);
  double again = 0;
  if (!RefDouble(std::string(buf, r.ptr), &again) || again != d)
    Fail("number does not print back", text, std::string(buf, r.ptr));
}

void AgentInteger(const std::string& text) {
  const std::string t = Trim(text, " \t\r\n");
  Decimal ref;
  const bool isNumber = RefDecimal(t, &ref);
  int64_t got = 0;
  const uint32_t rc = integerOfText(text.data(), text.size(), &got);
  if ((rc == ERR_INVALID_CAST_VALUE) == isNumber)
    Fail("integer text judged wrongly", text, std::to_string(rc));
  if (!isNumber) return;
  __int128 want = 0;
  const bool fits = InRange(ref, INT64_MIN, INT64_MAX, &want);
  if (rc == ERR_NUMERIC_RANGE) {
    if (fits) Fail("integer in range refused", text, Str(want));
    return;
  }
  if (!fits || got != want)
    Fail("integer differs from the text's integer part", text, std::to_string(got));
  if (rc != (ref.dropped ? uint32_t{ERR_RIGHT_TRUNCATION} : 0u))
    Fail("fraction cut reported wrongly", text, std::to_string(rc));
}

bool RealDate(const JC_Timestamp& ts) {
  if (ts.year < 1 || ts.year > 9999) return false;
  std::tm tm{};
  tm.tm_year = ts.year - 1900;
  tm.tm_mon = ts.month - 1;
  tm.tm_mday = ts.day;
  tm.tm_hour = 12;
  const std::time_t when = timegm(&tm);
  std::tm back{};
  gmtime_r(&when, &back);
  return back.tm_year == ts.year - 1900 && back.tm_mon == ts.month - 1 && back.tm_mday == ts.day;
}

void AgentDateTime(const std::string& text) {
  JC_Timestamp ts{};
  if (!parseDateTimeText(text.data(), static_cast<int64_t>(text.size()), &ts)) {
    const JC_Timestamp zero{};
    if (std::memcmp(&ts, &zero, sizeof ts) != 0) Fail("refused text left fields set", text, "");
    return;
  }
  if (calendarHasDate(ts) != RealDate(ts))
    Fail("calendar check disagrees with the C library", text,
         std::to_string(ts.year) + "-" + std::to_string(ts.month) + "-" + std::to_string(ts.day));
  // Printed back in the ISO form, the value reads the same.
  char buf[64];
  const bool hasDate = ts.year != 0 || ts.month != 0 || ts.day != 0;
  if (hasDate)
    std::snprintf(buf, sizeof buf, "%s%04d-%02u-%02u %02u:%02u:%02u.%09u", ts.year < 0 ? "-" : "",
                  ts.year < 0 ? -ts.year : ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                  ts.fraction);
  else
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u.%09u", ts.hour, ts.minute, ts.second,
                  ts.fraction);
  JC_Timestamp again{};
  if (!parseDateTimeText(buf, -1, &again) || std::memcmp(&again, &ts, sizeof ts) != 0)
    Fail("date or time does not print back", text, buf);
}

// ---- The core's conversions of text results ----------------------------------

struct Target {
  SQLSMALLINT type;
  __int128 lo;
  __int128 hi;
  size_t size;
};

const Target kTargets[] = {
    {SQL_C_BIT, 0, 1, 1},
    {SQL_C_STINYINT, INT8_MIN, INT8_MAX, 1},
    {SQL_C_UTINYINT, 0, UINT8_MAX, 1},
    {SQL_C_SSHORT, INT16_MIN, INT16_MAX, 2},
    {SQL_C_USHORT, 0, UINT16_MAX, 2},
    {SQL_C_SLONG, INT32_MIN, INT32_MAX, 4},
    {SQL_C_ULONG, 0, UINT32_MAX, 4},
    {SQL_C_SBIGINT, INT64_MIN, INT64_MAX, 8},
    {SQL_C_UBIGINT, 0, static_cast<__int128>(UINT64_MAX), 8},
    {SQL_C_DOUBLE, 0, 0, 8},
    {SQL_C_FLOAT, 0, 0, 4},
    {SQL_C_NUMERIC, 0, 0, sizeof(SQL_NUMERIC_STRUCT)},
    {SQL_C_GUID, 0, 0, sizeof(SQLGUID)},
    {SQL_C_TYPE_DATE, 0, 0, sizeof(SQL_DATE_STRUCT)},
    {SQL_C_TYPE_TIMESTAMP, 0, 0, sizeof(SQL_TIMESTAMP_STRUCT)},
};

struct Outcome {
  SQLRETURN rc;
  int32_t pending;
  std::vector<unsigned char> bytes;
  int64_t length;
};

// The buffer is exactly the target's size, so that a write past it is seen.
Outcome RunChar(const std::string& text, const Target& t, int16_t scale, uint16_t precision) {
  Outcome o{0, 0, std::vector<unsigned char>(t.size), 0};
  o.rc = ConvertCHAR(text.data(), static_cast<int64_t>(text.size()), 0, t.type, o.bytes.data(),
                     static_cast<int64_t>(t.size), &o.length, &o.pending, scale, precision);
  return o;
}

Outcome RunWide(const std::u16string& text, const Target& t, int16_t scale, uint16_t precision) {
  Outcome o{0, 0, std::vector<unsigned char>(t.size), 0};
  const auto bytes = static_cast<int64_t>(text.size() * 2);
  o.rc = ConvertWCHAR(text.data(), bytes, bytes, t.type, o.bytes.data(),
                      static_cast<int64_t>(t.size), &o.length, &o.pending, scale, precision);
  return o;
}

bool Ok(const Outcome& o) { return o.rc == SQL_SUCCESS || o.rc == SQL_SUCCESS_WITH_INFO; }

__int128 IntegerOf(const Outcome& o, const Target& t) {
  const unsigned char* b = o.bytes.data();
  switch (t.type) {
    case SQL_C_BIT:
    case SQL_C_UTINYINT: return b[0];
    case SQL_C_STINYINT: return static_cast<int8_t>(b[0]);
    case SQL_C_SSHORT: {
      int16_t v;
      std::memcpy(&v, b, 2);
      return v;
    }
    case SQL_C_USHORT: {
      uint16_t v;
      std::memcpy(&v, b, 2);
      return v;
    }
    case SQL_C_SLONG: {
      int32_t v;
      std::memcpy(&v, b, 4);
      return v;
    }
    case SQL_C_ULONG: {
      uint32_t v;
      std::memcpy(&v, b, 4);
      return v;
    }
    case SQL_C_SBIGINT: {
      int64_t v;
      std::memcpy(&v, b, 8);
      return v;
    }
    default: {
      uint64_t v;
      std::memcpy(&v, b, 8);
      return v;
    }
  }
}

void CoreInteger(const std::string& text, const Target& t, const Outcome& o) {
  const std::string s = Trim(text, " \t\n\r\f\v");
  Decimal ref;
  const bool isNumber = RefDecimal(s, &ref);
  // A bit is out of range below 0 even when the whole part is 0: only
  // values from 0 up to 2 cut to a bit.
  const bool belowZeroBit = t.type == SQL_C_BIT && ref.negative && (ref.whole != 0 || ref.dropped);
  if (!Ok(o)) {
    if (o.pending == 59 && isNumber) Fail("number text refused as no number", text, "");
    __int128 v = 0;
    if (o.pending == 58 && isNumber && !belowZeroBit && InRange(ref, t.lo, t.hi, &v))
      Fail("integer in range refused", text, Str(v));
    if (o.pending != 58 && o.pending != 59)
      Fail("unexpected refusal", text, std::to_string(o.pending));
    return;
  }
  __int128 want = 0;
  if (!isNumber || belowZeroBit || !InRange(ref, t.lo, t.hi, &want))
    Fail("text accepted as an integer", text, Str(IntegerOf(o, t)));
  if (IntegerOf(o, t) != want)
    Fail("integer differs from the text's integer part", text, Str(IntegerOf(o, t)));
  if ((o.rc == SQL_SUCCESS_WITH_INFO) != ref.dropped) Fail("fraction warning wrong", text, "");
}

void CoreFloating(const std::string& text, const Target& t, const Outcome& o) {
  if (!Ok(o)) return;
  // Blanks, one '$' and group separators are allowed around the number.
  std::string clean;
  for (char c : Trim(text, " \t\n\r\f\v"))
    if (c != ',') clean += c;
  if (!clean.empty() && clean[0] == '$') clean.erase(0, 1);
  clean = Trim(clean, " \t\n\r\f\v");
  double want = 0;
  if (!RefDouble(clean, &want)) Fail("reference cannot read an accepted number", text, clean);
  if (t.type == SQL_C_DOUBLE) {
    double got;
    std::memcpy(&got, o.bytes.data(), 8);
    if (got != want && !(std::isnan(got) && std::isnan(want)))
      Fail("double differs from strtod_l", text, std::to_string(got));
  } else {
    float got;
    std::memcpy(&got, o.bytes.data(), 4);
    if (got != static_cast<float>(want) && !(std::isnan(got) && std::isnan(want)))
      Fail("float differs from strtod_l", text, std::to_string(got));
  }
}

void CoreGuid(const std::string& text, const Outcome& o) {
  if (!Ok(o)) return;
  SQLGUID g;
  std::memcpy(&g, o.bytes.data(), sizeof g);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  if (strcasecmp(buf, Trim(text, " ").c_str()) != 0) Fail("GUID does not print back", text, buf);
}

void Core(const std::string& text, const Target& t, int16_t scale, uint16_t precision) {
  const Outcome o = RunChar(text, t, scale, precision);
  switch (t.type) {
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT: CoreFloating(text, t, o); break;
    case SQL_C_GUID: CoreGuid(text, o); break;
    case SQL_C_NUMERIC: break;
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIMESTAMP:
      if (o.rc != SQL_ERROR || o.pending != 43)
        Fail("text to a date structure not refused", text, "");
      break;
    default: CoreInteger(text, t, o); break;
  }
  // The UTF-16 form of the same text converts the same: both builds
  // convert alike.
  char16_t* wide = utf8_to_utf16_dupn(text.data(), static_cast<int64_t>(text.size()));
  if (wide == nullptr) return;
  const int64_t units = utf8_to_utf16_len(text.data(), static_cast<int64_t>(text.size()));
  const std::u16string w(wide, static_cast<size_t>(units));
  std::free(wide);
  char* back = utf16_to_utf8_dupn(w.data(), static_cast<int64_t>(w.size()));
  const bool whole = back != nullptr && std::string(back, std::strlen(back)) == text;
  std::free(back);
  if (!whole) return;  // the text is not all valid UTF-8: the forms differ
  const Outcome ow = RunWide(w, t, scale, precision);
  if (ow.rc != o.rc || ow.pending != o.pending || (Ok(o) && ow.bytes != o.bytes))
    Fail("UTF-16 text converts unlike the same 8-bit text", text,
         std::to_string(o.rc) + "/" + std::to_string(o.pending) + " vs " + std::to_string(ow.rc) +
             "/" + std::to_string(ow.pending));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t pick = data[0];
  const auto scale = static_cast<int16_t>(static_cast<int8_t>(data[1]));
  const auto precision = static_cast<uint16_t>(data[2] % 40);
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
  constexpr size_t kCount = sizeof kTargets / sizeof kTargets[0];
  switch (pick % (kCount + 3)) {
    case kCount: AgentNumber(text); break;
    case kCount + 1: AgentInteger(text); break;
    case kCount + 2: AgentDateTime(text); break;
    default: Core(text, kTargets[pick % (kCount + 3)], scale, precision); break;
  }
  return 0;
}
