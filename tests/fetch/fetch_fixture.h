// Fetch tests: the fake agent with its result description and its fetch
// scripted, so that DRV_Fetch fills row buffers the way the agent does
// (blocks of at most the rows asked for; a column of a long type makes a
// block of one row).
#ifndef QMR_TESTS_FETCH_FETCH_FIXTURE_H
#define QMR_TESTS_FETCH_FETCH_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core_fixture.h"

namespace qmrtest {

struct FCol {
  std::string name;
  int32_t sqlType;
  uint32_t valueType;
  uint32_t elemLen;
  uint32_t precision;
};

// One value: NULL, a number, or the element's bytes (text as UTF-8, wide
// text as UTF-16 in a u16string, binary as bytes).
struct FVal {
  bool isNull = true;
  int64_t i = 0;
  double d = 0;
  std::string bytes;
  std::u16string wide;
  static FVal Null() { return FVal{}; }
  static FVal Int(int64_t v) {
    FVal x;
    x.isNull = false;
    x.i = v;
    return x;
  }
  static FVal Dbl(double v) {
    FVal x;
    x.isNull = false;
    x.d = v;
    return x;
  }
  static FVal Text(std::string s) {
    FVal x;
    x.isNull = false;
    x.bytes = std::move(s);
    return x;
  }
  static FVal Wide(std::u16string s) {
    FVal x;
    x.isNull = false;
    x.wide = std::move(s);
    return x;
  }
};

struct FetchScript {
  std::vector<FCol> cols;
  std::vector<std::vector<FVal>> rows;
  size_t next = 0;              // next row DRV_Fetch delivers
  std::vector<uint16_t> asked;  // rows each DRV_Fetch was asked for
  int failAtCall = -1;          // DRV_Fetch call (0-based) that fails with ERR_GENERAL
};

class FetchTest : public CoreTest {
 public:
  static FetchScript* script;

 protected:
  void SetUp() override;
  void TearDown() override;

  // A statement with the scripted result open (SQLExecDirect done).
  SQLHSTMT Query();
  // SQLSTATE of the statement's first diagnostic.
  std::string StmtState(SQLHSTMT h) { return State(SQL_HANDLE_STMT, h); }
  SQLHDESC Ard(SQLHSTMT h);
  SQLHDESC Ird(SQLHSTMT h);

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ConnHandle* conn = nullptr;
  DRV_OpTable table{};
  FetchScript data;
};

}  // namespace qmrtest

#endif
