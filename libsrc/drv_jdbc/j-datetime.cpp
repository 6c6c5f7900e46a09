// Dates, times and timestamps from java.time values and from text.
#include "drv_jdbc/j-datetime.h"

#include <cstring>
#include <ctime>

#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-methods.h"
#include "util/colset.h"

namespace jdt {

namespace {

// The year java.time's MAX and MIN carry.
constexpr int64_t kJavaYearEnd = 999999999;

uint32_t Ints(JNIEnv* env, jobject v, jclass cls, const char* const* names, int32_t* out, int n) {
  for (int i = 0; i < n; ++i) {
    if (uint32_t rc = JC_CallIntMethod(env, v, cls, names[i], "()I", &out[i])) return rc;
  }
  return 0;
}

// A cursor over text being parsed.
struct Scan {
  const char* p;
  const char* end;
  bool At(char c) const { return p < end && *p == c; }
  bool Take(char c) {
    if (!At(c)) return false;
    ++p;
    return true;
  }
  bool Digit() const { return p < end && *p >= '0' && *p <= '9'; }
  // At least min and at most max digits; false when fewer.
  bool Number(int min, int max, int64_t* v) {
    int n = 0;
    *v = 0;
    while (n < max && Digit()) {
      *v = *v * 10 + (*p++ - '0');
      ++n;
    }
    return n >= min;
  }
  bool Word(const char* w) {
    const size_t n = std::strlen(w);
    if (static_cast<size_t>(end - p) < n || strncasecmp(p, w, n) != 0) return false;
    p += n;
    return true;
  }
};

bool ParseDate(Scan* s, JC_Timestamp* out) {
  const bool negative = s->Take('-');
  int64_t y = 0, m = 0, d = 0;
  if (!s->Number(4, 10, &y) || !s->Take('-') || !s->Number(2, 2, &m) || !s->Take('-') ||
      !s->Number(2, 2, &d) || m < 1 || m > 12 || d < 1 || d > 31)
    return false;
  PutDate(negative ? -y : y, m, d, out, negative);
  return true;
}

bool ParseTime(Scan* s, JC_Timestamp* out) {
  int64_t h = 0, mi = 0, se = 0;
  if (!s->Number(2, 2, &h) || !s->Take(':') || !s->Number(2, 2, &mi)) return false;
  if (s->Take(':') && !s->Number(2, 2, &se)) return false;
  int64_t nanos = 0;
  if (s->Take('.')) {
    int n = 0;
    while (s->Digit()) {
      if (n < 9) nanos = nanos * 10 + (*s->p - '0');
      ++s->p;
      ++n;
    }
    if (n == 0) return false;
    for (; n < 9; ++n) nanos *= 10;
  }
  if (h > 24 || mi > 59 || se > 60 || (h == 24 && (mi != 0 || se != 0 || nanos != 0))) return false;
  out->hour = static_cast<uint16_t>(h);
  out->minute = static_cast<uint16_t>(mi);
  out->second = static_cast<uint16_t>(se);
  out->fraction = static_cast<uint32_t>(nanos);
  return true;
}

// An offset after a time ("+05:30", "-03", "+00:53:28", "Z") as seconds
// east into *seconds, *present set when there is one; the wall time stays
// the value's own.
bool ReadOffset(Scan* s, bool* present, int32_t* seconds) {
  *present = false;
  *seconds = 0;
  if (s->Take('Z')) return *present = true;
  if (!s->At('+') && !s->At('-')) return true;
  const bool west = *s->p++ == '-';
  int64_t f[3] = {0, 0, 0};
  if (!s->Number(2, 2, &f[0])) return false;
  for (int part = 1; part < 3 && (s->At(':') || s->Digit()); ++part) {
    s->Take(':');
    if (!s->Number(2, 2, &f[part])) return false;
  }
  if (f[0] > 15 || f[1] > 59 || f[2] > 59) return false;
  const auto east = static_cast<int32_t>(f[0] * 3600 + f[1] * 60 + f[2]);
  *seconds = west ? -east : east;
  return *present = true;
}

}  // namespace

const char* LocalClass(Kind kind) {
  return kind == kDate   ? "java/time/LocalDate"
         : kind == kTime ? "java/time/LocalTime"
                         : "java/time/LocalDateTime";
}

void PutDate(int64_t y, int64_t month, int64_t day, JC_Timestamp* out, bool signedYears) {
  if (y >= kJavaYearEnd || y <= -kJavaYearEnd) {
    // As the text's infinities are kept: the date part says no more.
    out->year = y > 0 ? COLSET_YEAR_INFINITY : COLSET_YEAR_MINUS_INFINITY;
    out->month = 1;
    out->day = 1;
    return;
  }
  ColSetPutDate(y, static_cast<unsigned>(month), static_cast<unsigned>(day), &out->year,
                &out->month, &out->day);
  if (signedYears && y < 1 && out->month != 0) out->month |= COLSET_MONTH_SIGNED;
}

uint32_t LocalFields(JNIEnv* env, jobject v, Kind kind, JC_Timestamp* out, bool* endOfDay,
                     bool signedYears) {
  *out = JC_Timestamp{0, 0, 0, 0, 0, 0, 0};
  *endOfDay = false;
  jclass cls = JM_SystemClass(env, LocalClass(kind));
  if (cls == nullptr) {
    JC_DeleteLocal(env, v);
    return ERR_GENERAL;
  }
  static const char* const kDateNames[] = {"getYear", "getMonthValue", "getDayOfMonth"};
  static const char* const kTimeNames[] = {"getHour", "getMinute", "getSecond", "getNano"};
  int32_t f[7] = {0, 0, 0, 0, 0, 0, 0};
  uint32_t rc = 0;
  if (kind != kTime) rc = Ints(env, v, cls, kDateNames, f, 3);
  if (rc == 0 && kind != kDate) rc = Ints(env, v, cls, kTimeNames, f + 3, 4);
  JC_DeleteLocal(env, v);
  if (rc != 0) return rc;
  if (kind != kTime) {
    if (f[0] >= kJavaYearEnd || f[0] <= -kJavaYearEnd) f[3] = f[4] = f[5] = f[6] = 0;
    PutDate(f[0], f[1], f[2], out, signedYears);
  }
  if (kind != kDate) {
    out->hour = static_cast<uint16_t>(f[3]);
    out->minute = static_cast<uint16_t>(f[4]);
    out->second = static_cast<uint16_t>(f[5]);
    out->fraction = static_cast<uint32_t>(f[6]);
    *endOfDay = kind == kTime && f[3] == 23 && f[4] == 59 && f[5] == 59 && f[6] == 999999999;
  }
  return 0;
}

bool ParseText(const char* text, size_t length, Kind kind, JC_Timestamp* out) {
  *out = JC_Timestamp{0, 0, 0, 0, 0, 0, 0};
  bool present = false;
  int32_t seconds = 0;
  Scan s{text, text + length};
  while (s.p < s.end && s.end[-1] == ' ') --s.end;
  if (kind != kTime) {
    if (s.Word("infinity") || s.Word("+infinity") || s.Word("-infinity")) {
      if (s.p != s.end) return false;
      out->year = text[0] == '-' ? COLSET_YEAR_MINUS_INFINITY : COLSET_YEAR_INFINITY;
      out->month = 1;
      out->day = 1;
      return true;
    }
    if (!ParseDate(&s, out)) return false;
    const bool era = s.end - s.p >= 3 && (s.p[1] == 'B' || s.p[1] == 'A');
    if (kind == kTimestamp && !era && (s.Take(' ') || s.Take('T'))) {
      if (!ParseTime(&s, out) || !ReadOffset(&s, &present, &seconds)) return false;
    }
    if (s.Word(" BC")) {
      int64_t y = 0;
      unsigned m = 0, d = 0;
      ColSetGetDate(out->year, out->month, out->day, &y, &m, &d);
      if (m != 0 && y <= 0) return false;
      if (m != 0) PutDate(1 - y, m, d, out);
    } else {
      s.Word(" AD");
    }
  } else if (!ParseTime(&s, out) || !ReadOffset(&s, &present, &seconds)) {
    return false;
  }
  if (present) out->zone = static_cast<uint32_t>(COLSET_ZONE_BIAS + seconds);
  return s.p == s.end;
}

void SetToday(JC_Timestamp* ts) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  ts->year = static_cast<int16_t>(local.tm_year + 1900);
  ts->month = static_cast<uint16_t>(local.tm_mon + 1);
  ts->day = static_cast<uint16_t>(local.tm_mday);
}

}  // namespace jdt
