// SQLGetFunctions: the fixed list of the functions the driver implements.
#include <sql.h>
#include <sqlext.h>

#include <array>
#include <cstring>

#include "driver/ops.h"

namespace {

constexpr int kOdbc2Count = 100;  // SQL_API_ALL_FUNCTIONS: one entry per id below 100
constexpr int kOdbc3Words = SQL_API_ODBC3_ALL_FUNCTIONS_SIZE;  // 250 words of 16 bits

struct Range {
  uint16_t lo;
  uint16_t hi;
};

// Not listed: SQLBrowseConnect (55), SQLDataSources (57, the Driver
// Manager's), SQLSetScrollOptions (69), SQLDrivers (71), SQLBindParam (1002).
constexpr Range kImplemented[] = {
    {1, 24},  {40, 54},     {56, 56},     {58, 68},     {70, 70},
    {72, 72}, {1001, 1001}, {1003, 1012}, {1014, 1014}, {1016, 1021},
};

struct Answers {
  std::array<SQLUSMALLINT, kOdbc2Count> odbc2{};
  std::array<SQLUSMALLINT, kOdbc3Words> odbc3{};
  Answers() {
    for (const Range& r : kImplemented) {
      for (unsigned id = r.lo; id <= r.hi; ++id) {
        if (id < kOdbc2Count) odbc2[id] = SQL_TRUE;
        odbc3[id >> 4] = static_cast<SQLUSMALLINT>(odbc3[id >> 4] | (1u << (id & 15)));
      }
    }
  }
};

const Answers& Table() {
  static const Answers answers;
  return answers;
}

}  // namespace

DRV_Return DRV_GetFunctionsOp(void*, va_list args) {
  const auto id = static_cast<uint16_t>(va_arg(args, int));
  auto* exists = va_arg(args, SQLUSMALLINT*);
  if (exists == nullptr) return SQL_SUCCESS;
  const Answers& t = Table();
  if (id == SQL_API_ALL_FUNCTIONS) {
    std::memcpy(exists, t.odbc2.data(), sizeof t.odbc2);
  } else if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::memcpy(exists, t.odbc3.data(), sizeof t.odbc3);
  } else if (id < kOdbc2Count) {
    *exists = t.odbc2[id];
  } else if ((id >> 4) < kOdbc3Words) {
    *exists = (t.odbc3[id >> 4] >> (id & 15)) & 1 ? SQL_TRUE : SQL_FALSE;
  } else {
    // Beyond the bitmap: a function this driver cannot know of.
    *exists = SQL_FALSE;
  }
  return SQL_SUCCESS;
}
