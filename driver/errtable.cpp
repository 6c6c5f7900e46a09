// The driver's error table and the SQLSTATE form mapping for ODBC 3.
#include <array>
#include <cstdio>
#include <cstring>

#include "driver/diag.h"
#include "util/errrows.h"

namespace {

constexpr std::array<DrvError, kDrvErrorCount> BuildTable() {
  std::array<DrvError, kDrvErrorCount> t{};
  for (auto& e : t) e = DrvError{"", nullptr};
  for (const ErrRow& r : kErrRows) t[r.code] = DrvError{r.state, r.message};
  return t;
}

}  // namespace

// Constant-initialised, so it is usable before any constructor runs.
extern const std::array<DrvError, kDrvErrorCount> DrvErrorTable = BuildTable();

const char kDiagPrefix[] = "[Quillmar][ODBC]";
const char kDiagDriverPrefix[] = "[Quillmar][ODBC][Driver]";

void ERR_DescribeCode(int code, char state[6], char* msg, size_t msgSize) {
  const DrvError* e = (code > 0 && code < kDrvErrorCount) ? &DrvErrorTable[code] : nullptr;
  if (e != nullptr && e->message != nullptr) {
    std::snprintf(state, 6, "%s", e->state);
    if (msg != nullptr && msgSize > 0) std::snprintf(msg, msgSize, "%s", e->message);
    return;
  }
  std::memcpy(state, "S1000", 6);
  if (msg != nullptr && msgSize > 0)
    std::snprintf(msg, msgSize, "Undefined errorcode (%d).\nPlease install a newer client.", code);
}

void ERR_MapSqlState3(char* state) {
  static const struct {
    const char* from;
    const char* to;
  } kMap[] = {{"S1002", "07009"}, {"S1093", "07009"}, {"01S03", "01001"}, {"01S04", "01001"},
              {"22008", "22007"}, {"22005", "22018"}, {"37000", "42000"}, {"70100", "HY018"}};
  // 24000 (invalid cursor state) and 22003 (numeric value out of range) mean
  // the same in ODBC 3 and stay. Where ODBC 3 reports 07005 for a statement
  // without a result set, the describe operations raise it themselves.
  if (state == nullptr) return;
  for (const auto& m : kMap) {
    if (std::strncmp(state, m.from, 5) == 0) {
      std::memcpy(state, m.to, 5);
      return;
    }
  }
  if (state[0] == 'S' && state[1] == '1') {
    state[0] = 'H';
    state[1] = 'Y';
  } else if (state[0] == 'S' && state[1] == '0' && state[2] == '0') {
    state[0] = '4';
    state[1] = '2';
    state[2] = 'S';
  }
}
