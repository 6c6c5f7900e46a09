// The keyword table and the connection-string syntax.
#include "driver/connstr.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

ConnStrKeyword* const ConnStrKeywords = new ConnStrKeyword[kConnStrKeywordCount]{
    {"DSN", nullptr, 1, 0, 0, false, {}},
    {"UID", "UID", 1, 129, 0, false, {}},
    {"PWD", "PWD", 0, 129, 0, false, {}},
    {"JDBC", "JdbcDriver", 1, 256, 0, false, {}},
    {"URL", "URLString", 1, 513, 0, false, {}},
    {"READONLY", "ReadOnly", 1, 5, 0, false, {}},
    {"FBS", "FetchBufferSize", 1, 5, 0, false, {}},
    {"NLB", "NoLoginBox", 1, 5, 0, false, {}},
    {"MAXROWS", "MaxRows", 1, 5, 0, false, {}},
    {"NOAC", "NoAutoCommit", 1, 6, 0, false, {}},
    {"NRSSL", "NoRowsetSizeLimit", 1, 6, 0, false, {}},
    {"FDSN", "File DSN", 0, 5, 0, false, {}},
    {"INITSQL", "InitialSQL", 1, 81, 0, false, {}},
    {"DYN_CURS_SENSITIVITY", "DynCursSensitivity", 1, 10, 0, false, {}},
    {"DLF", "DeferLongFetch", 1, 6, 0, false, {}},
    {"J_DCAT", "JetDropCatalogFromDbMetaCalls", 1, 5, 0, false, {}},
    {"J_DSCH", "JetDropSchemaFromDbMetaCalls", 1, 5, 0, false, {}},
    {"J_SSTOFF", "JetSQLStatisticsOff", 1, 5, 0, false, {}},
    {"J_NSQI", "JetNoSupportOfQuotedIdentifier", 1, 5, 0, false, {}},
    {"PNSOSC", "patchNullSizeOfSqlChar", 1, 12, 0, false, {}},
    {"NSSSE", "NoSupportOfSearchStringEscape", 1, 5, 0, false, {}},
    {"PLCHR2VCHR", "patchLongVarchar2Varchar", 1, 12, 0, false, {}},
    {"DRIVER", nullptr, 1, 81, 0, false, {}},
    {"FILEDSN", nullptr, 1, 256, 0, false, {}},
    {"LOGJCALLS", "LogJavaCalls", 1, 5, 0, false, {}},
    {"SQLDBMSNAME", "SqlDbmsName", 1, 41, 0, false, {}},
    {"MASE", "MultipleActiveStmtsEmul", 1, 5, 0, false, {}},
    {"IV", "IncludeViews", 1, 5, 0, false, {}},
    {"IA", "IncludeAll", 1, 5, 0, false, {}},
    {"NEGPRECFIX", "NegPrecFix", 1, 5, 0, false, {}},
    {"JET", "JET", 1, 6, 0, false, {}},
};

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string Trim(const char* b, const char* e) {
  while (b < e && IsBlank(*b)) ++b;
  while (e > b && IsBlank(e[-1])) --e;
  return std::string(b, e);
}

// End of an unbraced piece: the first ';' outside braces, or the end. A
// stray '}' does not make the depth negative, so it cannot swallow the rest
// of the string.
const char* PlainEnd(const char* p) {
  int depth = 0;
  for (; *p != '\0'; ++p) {
    if (*p == '{') {
      ++depth;
    } else if (*p == '}') {
      if (depth > 0) --depth;
    } else if (*p == ';' && depth == 0) {
      break;
    }
  }
  return p;
}

// A braced value starting at p ('{'): its unbraced text and the position
// after the closing brace; false when the brace is never closed.
bool ReadBraced(const char* p, std::string* value, const char** after) {
  std::string v;
  for (const char* q = p + 1; *q != '\0'; ++q) {
    if (*q == '}') {
      if (q[1] == '}') {
        v += '}';
        ++q;
        continue;
      }
      *value = std::move(v);
      *after = q + 1;
      return true;
    }
    v += *q;
  }
  return false;
}

// The value starting at v (just after the '='): its unbraced text into
// *value when asked, and the position where it ends.
const char* ReadValue(const char* v, std::string* value) {
  std::string braced;
  const char* after = nullptr;
  if (*v == '{' && ReadBraced(v, &braced, &after)) {
    // Whatever stands between the closing brace and the ';' is kept,
    // except blanks.
    const char* end = PlainEnd(after);
    if (value != nullptr) *value = std::move(braced) + Trim(after, end);
    return end;
  }
  const char* end = PlainEnd(v);
  if (value != nullptr) value->assign(v, end);
  return end;
}

}  // namespace

size_t CS_ValueLength(const char* v) {
  if (v == nullptr) return 0;
  return static_cast<size_t>(ReadValue(v, nullptr) - v);
}

void CS_Wipe(std::string& s) {
  volatile char* p = s.empty() ? nullptr : &s[0];
  for (size_t i = 0; i < s.size(); ++i) p[i] = '\0';
  s.clear();
}

void CS_Clear() {
  for (int i = 0; i < kConnStrKeywordCount; ++i) {
    ConnStrKeyword& k = ConnStrKeywords[i];
    CS_Wipe(k.value);
    k.present = false;
    k.supplied = 0;
  }
}

std::vector<CS_Pair> CS_Split(const char* text) {
  std::vector<CS_Pair> pairs;
  if (text == nullptr) return pairs;
  const char* p = text;
  while (*p != '\0') {
    if (*p == ';') {
      ++p;
      continue;
    }
    // The keyword runs to '='; a piece that reaches ';' or the end first
    // has none and is skipped.
    const char* eq = p;
    while (*eq != '\0' && *eq != '=' && *eq != ';') ++eq;
    if (*eq != '=') {
      p = PlainEnd(p);
      continue;
    }
    CS_Pair pair;
    pair.keyword = Trim(p, eq);
    p = ReadValue(eq + 1, &pair.value);
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

int CS_Find(const char* keyword) {
  if (keyword == nullptr) return -1;
  // The data source's value name spells the same setting: an application
  // that copies JdbcDriver and URLString from odbc.ini into its string
  // means them.
  for (int i = 0; i < kConnStrKeywordCount; ++i) {
    const ConnStrKeyword& k = ConnStrKeywords[i];
    if (strcasecmp(k.keyword, keyword) == 0) return i;
    if (k.valueName != nullptr && strcasecmp(k.valueName, keyword) == 0) return i;
  }
  return -1;
}

void CS_ParseInto(const char* text) {
  for (CS_Pair& pair : CS_Split(text)) {
    const int row = CS_Find(pair.keyword.c_str());
    // A keyword given again keeps its first value, as ODBC's rule for
    // connection strings has it.
    if (row < 0 || ConnStrKeywords[row].supplied != 0) {
      CS_Wipe(pair.value);
      continue;
    }
    ConnStrKeyword& k = ConnStrKeywords[row];
    CS_Wipe(k.value);
    k.value = std::move(pair.value);
    k.present = true;
    k.supplied = 1;
  }
}

std::string CS_BraceAlways(const std::string& value) {
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

std::string CS_Brace(const std::string& value) {
  if (value.find_first_of(";{}") == std::string::npos) return value;
  return CS_BraceAlways(value);
}

bool CS_IsTrue(const std::string& v) {
  return strcasecmp(v.c_str(), "TRUE") == 0 || strcasecmp(v.c_str(), "YES") == 0 || v == "1";
}

int32_t CS_ToInt32(const std::string& value) {
  const char* p = value.c_str();
  while (IsBlank(*p)) ++p;
  bool neg = false;
  if (*p == '+' || *p == '-') neg = *p++ == '-';
  int64_t n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > int64_t{INT32_MAX} + 1) n = int64_t{INT32_MAX} + 1;
  }
  if (neg) n = -n;
  if (n > INT32_MAX) n = INT32_MAX;
  if (n < INT32_MIN) n = INT32_MIN;
  return static_cast<int32_t>(n);
}
