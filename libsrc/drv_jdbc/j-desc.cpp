// Parameter descriptions (defaults at prepare, described on request) and the
// date and time texts of parameter values.
#include "drv_jdbc/j-desc.h"

#include <cstring>
#include <string>

#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-stmt.h"
#include "util/log.h"

namespace {

constexpr const char* kSrc = "libsrc/drv_jdbc/j-desc";

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
// sign, no blanks inside), so that nothing but the forms themselves match.
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

// "yyyy-mm-dd" or "dd.mm.yyyy"; r is left anywhere when false.
bool ReadDate(TextReader* r, JC_Timestamp* t) {
  int y = 0, m = 0, d = 0;
  const char* start = r->p;
  if (r->Number(4, 4, &y) && r->Take('-')) {
    if (!r->Number(1, 2, &m) || !r->Take('-') || !r->Number(1, 2, &d)) return false;
  } else {
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

// TEMPORARY: the SQL analyser's parameter describer is not there yet, so no
// text can be analysed; the statement keeps its default descriptions, as it
// does whenever the analysis fails. It fills the describe queries and the
// optional marker map once the describer lands.
bool AnalyseForDescribe(const char* /*sql*/, uint16_t /*markers*/,
                        std::vector<std::string>* /*queries*/, std::string* /*markerMap*/) {
  return false;
}

}  // namespace

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
    if (r.p < r.e && *r.p == 'T') ++r.p;
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

uint32_t defaultParamDescs(JdbcStmt* s) {
  if (s == nullptr) return AGT_BAD_HANDLE;
  ColDescFree(s->paramDescs, s->paramDescCount);
  s->paramDescs = nullptr;
  s->paramDescCount = 0;
  s->paramCount = 0;
  const uint16_t n = s->markerCount;
  if (n == 0) return 0;
  JdbcColDesc* d = ColDescAlloc(n);
  if (d == nullptr) return AGT_NO_MEMORY;
  const bool call = (s->flags & STMT_PREPARE_CALL) != 0;
  for (uint16_t i = 0; i < n; ++i) {
    std::strcpy(d[i].name, call ? "*B" : "");
    d[i].sql_type = -9999;
    d[i].delivered_type = 12;
    d[i].flags = 2;  // nullability unknown
    d[i].precision = 255;
    d[i].scale = 0;
    d[i].display_size = 255;
    d[i].value_type = COLSET_VT_NTS;
    d[i].elem_len = 0;
  }
  s->paramDescs = d;
  s->paramDescCount = n;
  s->paramCount = n;
  return 0;
}

uint32_t copyParamDescsFromQueries(JdbcStmt* s, const std::vector<std::string>& queries,
                                   const char* markerMap) {
  if (s == nullptr || s->conn == nullptr) return AGT_BAD_HANDLE;
  uint32_t tmp = 0;
  if (uint32_t rc = DRV_AllocStmt(s->conn->handle, &tmp)) return rc;
  const size_t mapLen = markerMap != nullptr ? std::strlen(markerMap) : 0;
  uint16_t next = 0;
  uint32_t rc = 0;
  for (const std::string& q : queries) {
    if ((rc = DRV_Prepare(tmp, q.c_str())) != 0) break;
    uint16_t n = 0;
    JdbcColDesc* cols = nullptr;
    if ((rc = DRV_NumResultCols(tmp, &n, &cols)) != 0) break;
    for (uint16_t c = 0; c < n && next < s->paramCount && s->paramDescs != nullptr; ++c) {
      if (markerMap != nullptr && (c >= mapLen || markerMap[c] != '?')) continue;
      JdbcColDesc& d = s->paramDescs[next++];
      d.sql_type = cols[c].sql_type;
      d.delivered_type = cols[c].delivered_type;
      d.display_size = cols[c].display_size;
      d.value_type = cols[c].value_type;
      d.elem_len = cols[c].elem_len;
      d.precision = cols[c].precision;
      d.scale = cols[c].scale;
      d.flags = (d.flags & ~COLDESC_NULLABLE_MASK) | (cols[c].flags & COLDESC_NULLABLE_MASK);
    }
    ColDescFree(cols, n);
  }
  // The temporary statement's failures belong to the statement described.
  if (rc != 0) {
    if (JdbcStmt* t = AGT_Stmt(tmp)) {
      // Handed over record by record: the list keeps its order.
      while (AgentError* e = t->errors.head) {
        t->errors.head = e->next;
        e->next = nullptr;
        errAppend(&s->errors, e);
      }
    }
  }
  DRV_FreeStmt(tmp);
  if (rc == 0) s->paramsDescribed = 1;
  return rc;
}

uint32_t describeParams(JdbcStmt* s) {
  if (s == nullptr) return AGT_BAD_HANDLE;
  if ((s->flags & STMT_PREPARED) == 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "execute without prior prepare");
    return AGT_SEQUENCE_ERROR;
  }
  if ((s->flags & STMT_EXECUTED) != 0) {
    log_message(LOG_LEVEL_WARNING, kSrc, __LINE__, "Describe params work only before Execute");
    return 0;
  }
  if (s->markerCount == 0) return 0;
  std::vector<std::string> queries;
  std::string map;
  if (!AnalyseForDescribe(s->sql, s->markerCount, &queries, &map)) return 0;
  // Without a map the columns are taken in order, which only fits when the
  // analysis saw as many markers as the statement has.
  return copyParamDescsFromQueries(s, queries, map.empty() ? nullptr : map.c_str());
}
