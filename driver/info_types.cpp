// The information types: which form each answer takes, where it is cached,
// and the SQL_CONVERT_ masks built from the agent's value-type table.
#include <sqlext.h>
#include <sqlucode.h>

#include "driver/ctypes.h"
#include "driver/dispatch.h"
#include "driver/info.h"
#include "drv_jdbc/j-opt.h"

namespace {

constexpr uint16_t kOjCapabilitiesOdbc2 = 65003;
constexpr uint32_t kWideConversions = 0xE00000;  // SQL_CVT_WCHAR, WLONGVARCHAR, WVARCHAR

struct Range {
  uint16_t lo;
  uint16_t hi;
};

// Each list's position of a type is its cache entry.
constexpr Range kShortTypes[] = {
    {0, 1},   {12, 12}, {15, 15}, {22, 24},  {28, 28},   {30, 35},   {46, 46},   {74, 75},
    {84, 85}, {88, 88}, {93, 93}, {97, 101}, {106, 107}, {114, 114}, {116, 116}, {10005, 10005},
};
// SQL_MAX_ASYNC_CONCURRENT_STATEMENTS is an SQLUINTEGER: a 16-bit answer
// would leave half of the application's variable unset. The SQL_CONVERT_
// types come last: they use the cache only when the agent answers them.
constexpr Range kIntTypes[] = {
    {3, 5},         {8, 8},     {26, 26},   {43, 44},   {48, 52},   {72, 72},   {76, 76},
    {78, 83},       {86, 86},   {91, 92},   {95, 96},   {102, 102}, {104, 105}, {108, 110},
    {112, 112},     {115, 115}, {117, 121}, {123, 124}, {127, 170}, {172, 173}, {10001, 10001},
    {10021, 10022}, {53, 71},   {122, 122}, {125, 126},
};
constexpr Range kTextTypes[] = {
    {6, 7},     {10, 11},   {13, 14},   {16, 21},       {25, 25},       {27, 27}, {29, 29},
    {36, 42},   {45, 45},   {47, 47},   {73, 73},       {87, 87},       {89, 90}, {94, 94},
    {103, 103}, {111, 111}, {113, 113}, {10000, 10000}, {10002, 10004},
};

template <size_t N>
int SlotIn(const Range (&list)[N], uint16_t type) {
  int base = 0;
  for (const Range& r : list) {
    if (type >= r.lo && type <= r.hi) return base + (type - r.lo);
    base += r.hi - r.lo + 1;
  }
  return -1;
}

template <size_t N>
constexpr int CountOf(const Range (&list)[N]) {
  int n = 0;
  for (const Range& r : list) n += r.hi - r.lo + 1;
  return n;
}
static_assert(CountOf(kShortTypes) <= ConnInfoCache::kShorts, "16-bit cache too small");
static_assert(CountOf(kIntTypes) <= ConnInfoCache::kInts, "32-bit cache too small");
static_assert(CountOf(kTextTypes) <= ConnInfoCache::kTexts, "text cache too small");

bool IsHandleType(uint16_t type) {
  return type == SQL_DRIVER_HDBC || type == SQL_DRIVER_HENV || type == SQL_DRIVER_HSTMT ||
         type == SQL_DRIVER_HLIB || type == SQL_DRIVER_HDESC;
}

// The date, time and timestamp C types of ODBC 3 carry the same structures
// as their ODBC 2 numbers; the agent's table lists the ODBC 2 numbers.
int32_t Odbc2CType(int32_t cType) {
  switch (cType) {
    case SQL_C_TYPE_DATE: return SQL_C_DATE;
    case SQL_C_TYPE_TIME: return SQL_C_TIME;
    case SQL_C_TYPE_TIMESTAMP: return SQL_C_TIMESTAMP;
    default: return cType;
  }
}

// Whether the agent's table has a row for the default C type of sqlType
// whose flags share a bit with `flags` (0: any flags).
bool AgentHasType(const ConnHandle* c, int32_t sqlType, uint32_t flags) {
  if (c->opTableKind != 1 || c->opTableRows == nullptr) return false;
  const uint32_t version = c->env != nullptr ? c->env->odbcVersion : 2;
  const int32_t cType = Odbc2CType(TYPE_DefaultCType(sqlType, version));
  for (uint32_t i = 0; i < c->opTableCount; ++i) {
    const AgentValueType& row = c->opTableRows[i];
    if (Odbc2CType(row.cType) != cType) continue;
    if (flags == 0 || (row.flags & flags) != 0) return true;
  }
  return false;
}

}  // namespace

InfoForm INFO_Form(uint16_t type, int* slot) {
  if (type == kOjCapabilitiesOdbc2) type = SQL_OJ_CAPABILITIES;
  int s = SlotIn(kShortTypes, type);
  if (s >= 0) {
    *slot = s;
    return InfoForm::Short;
  }
  s = SlotIn(kIntTypes, type);
  if (s >= 0) {
    *slot = s;
    return IsHandleType(type) ? InfoForm::Handle : InfoForm::Int;
  }
  s = SlotIn(kTextTypes, type);
  if (s >= 0) {
    *slot = s;
    return InfoForm::Text;
  }
  *slot = -1;
  return InfoForm::None;
}

uint32_t INFO_ConvertMask(const ConnHandle* c, uint16_t type, int mode) {
  uint32_t mask = 0;
  switch (type) {
    case SQL_CONVERT_BINARY:
    case SQL_CONVERT_VARBINARY:
    case SQL_CONVERT_LONGVARBINARY: mask = AgentHasType(c, SQL_BINARY, 0) ? 0x40F01 : 0; break;
    case SQL_CONVERT_DATE: mask = AgentHasType(c, SQL_DATE, 0x200) ? 0x28301 : 0; break;
    case SQL_CONVERT_TIME: mask = AgentHasType(c, SQL_TIME, 0x400) ? 0x30301 : 0; break;
    case SQL_CONVERT_TIMESTAMP: mask = AgentHasType(c, SQL_TIMESTAMP, 0x800) ? 0x38301 : 0; break;
    case SQL_CONVERT_GUID:  // no escape names a GUID's conversions on every source
      break;
    default: mask = 0x73FF; break;
  }
  // A Unicode connection converts to the wide types whichever form asks.
  if (mask != 0 && (mode == kWidthWide || c->cn_unicode)) mask |= kWideConversions;
  return mask;
}
