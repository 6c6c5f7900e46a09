// Fuzz target of the connection-string parser in both forms an application
// hands it: the 8-bit text of SQLDriverConnect (UTF-8 in both builds) and
// the UTF-16 text of SQLDriverConnectW as WideIn converts it. Beyond "no
// crash": the UTF-16 conversion loses nothing; the pairs, written back out
// the way the driver writes a completed string, split to the same pairs;
// the keyword table holds the last value of each of its keywords; numeric
// values read like strtoll saturated at 32 bits. The strict reading of
// 8-bit text is checked against standard UTF-8's own encoding.
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/connstr.h"
#include "driver/wide.h"
#include "util/textconv.h"

// WideOut (not used here) posts a truncation warning through this; the
// input conversion never does.
void DIAG_AddCode(DiagArea*, int32_t) { std::abort(); }

namespace {

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\nfirst:  [%s]\nsecond: [%s]\n", what, a.c_str(), b.c_str());
  std::abort();
}

std::string Serialise(const std::vector<CS_Pair>& pairs) {
  std::string s;
  for (const CS_Pair& p : pairs) {
    if (!s.empty()) s += ';';
    s += p.keyword + "=" + CS_Brace(p.value);
  }
  return s;
}

void CheckRoundTrip(const std::string& text) {
  const std::vector<CS_Pair> first = CS_Split(text.c_str());
  const std::string out = Serialise(first);
  const std::vector<CS_Pair> second = CS_Split(out.c_str());
  if (second.size() != first.size()) Fail("pair count changed when written back", text, out);
  for (size_t i = 0; i < first.size(); ++i) {
    if (first[i].keyword != second[i].keyword)
      Fail("keyword changed", first[i].keyword, second[i].keyword);
    if (first[i].value != second[i].value) Fail("value changed", first[i].value, second[i].value);
  }
}

void CheckTable(const std::string& text) {
  const std::vector<CS_Pair> pairs = CS_Split(text.c_str());
  CS_Clear();
  CS_ParseInto(text.c_str());
  for (int row = 0; row < kConnStrKeywordCount; ++row) {
    const ConnStrKeyword& k = ConnStrKeywords[row];
    const CS_Pair* first = nullptr;
    for (const CS_Pair& p : pairs)
      if (first == nullptr && CS_Find(p.keyword.c_str()) == row) first = &p;
    if ((first != nullptr) != k.present || k.supplied != (first != nullptr ? 1u : 0u))
      Fail("keyword marked wrongly", k.keyword, text);
    if (first != nullptr && first->value != k.value)
      Fail("keyword lost its first value", first->value, k.value);
  }
  CS_Clear();
}

void CheckInt32(const std::string& value) {
  errno = 0;
  const long long ref = std::strtoll(value.c_str(), nullptr, 10);
  const int32_t want =
      ref > INT32_MAX ? INT32_MAX : (ref < INT32_MIN ? INT32_MIN : static_cast<int32_t>(ref));
  if (CS_ToInt32(value) != want)
    Fail("number read unlike strtoll", value, std::to_string(CS_ToInt32(value)));
}

void CheckText(const std::string& text) {
  CheckRoundTrip(text);
  CheckTable(text);
  for (const CS_Pair& p : CS_Split(text.c_str())) CheckInt32(p.value);
}

// The UTF-16 form: whatever units arrive convert to text that converts
// back to the same units up to the first 0 unit (where the connect path
// ends the string).
void CheckWide(const uint8_t* data, size_t size) {
  std::u16string units(size / 2, u'\0');
  if (!units.empty()) std::memcpy(&units[0], data, units.size() * 2);
  WideIn in(reinterpret_cast<const SQLWCHAR*>(units.data()), static_cast<int64_t>(units.size()));
  if (in.refusal() != 0) Fail("counted text refused", "", "");
  const char* utf8 = reinterpret_cast<const char*>(in.text());
  size_t upToNul = 0;
  while (upToNul < units.size() && units[upToNul] != 0) ++upToNul;
  char16_t* back = utf8_to_utf16_dup(utf8);
  if (back == nullptr) std::abort();
  const std::u16string got(back);
  std::free(back);
  if (got != std::u16string(units.data(), upToNul))
    Fail("UTF-16 text changed on its way in", utf8, "");
  CheckText(utf8);
}

// The strict reading of 8-bit text: a character read is one whose standard
// encoding is exactly the bytes taken; an ill-formed subpart holds only
// continuation bytes after its first, so it never takes the next character's
// start; NarrowIn passes well-formed text untouched and repairs the rest.
void CheckStrict(const uint8_t* data, size_t size) {
  const auto n = static_cast<int64_t>(size);
  for (int64_t i = 0, k = 0; i < n; i += k) {
    uint32_t cp = 0;
    k = utf8_decode_one(data + i, n - i, Utf8Form::Standard, &cp, nullptr);
    char16_t unit[2] = {};
    const int units = cp >= 0x10000 ? 2 : 1;
    unit[0] = static_cast<char16_t>(units == 2 ? 0xD800 + ((cp - 0x10000) >> 10) : cp);
    unit[1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    char* enc = wide_to_mb_dup(unit, units);
    const bool same = enc != nullptr && wide_to_mb_len(unit, units) == k &&
                      std::memcmp(enc, data + i, static_cast<size_t>(k)) == 0;
    std::free(enc);
    if (!same && cp != 0xFFFD) Fail("character read from another's bytes", "", "");
    for (int j = 1; !same && j < k; ++j)
      if ((data[i + j] & 0xC0) != 0x80) Fail("ill-formed subpart took a lead byte", "", "");
  }
  NarrowIn in(reinterpret_cast<const SQLCHAR*>(data), n);
  const char* out = reinterpret_cast<const char*>(in.text());
  const int64_t len = in.length() == SQL_NTS ? static_cast<int64_t>(std::strlen(out)) : in.length();
  const bool untouched = out == reinterpret_cast<const char*>(data);
  if (untouched != utf8_well_formed(reinterpret_cast<const char*>(data), n, Utf8Form::Standard) ||
      !utf8_well_formed(out, len, Utf8Form::Standard))
    Fail("text passed or repaired wrongly", "", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The 8-bit form: an embedded NUL ends the string, as it does for the
  // application.
  std::string text(reinterpret_cast<const char*>(data), size);
  CheckText(text.c_str());
  CheckWide(data, size);
  CheckStrict(data, size);
  return 0;
}
