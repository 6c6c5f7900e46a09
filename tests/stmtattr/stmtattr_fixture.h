// Statement options, attributes, cursor names, native SQL, row counts and
// further results on the fake agent: the slots these calls reach keep the
// options, names and results the way an agent does, and answer what the
// running test scripts.
#ifndef QMR_TESTS_STMTATTR_STMTATTR_FIXTURE_H
#define QMR_TESTS_STMTATTR_STMTATTR_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "driver/core_fixture.h"

namespace qmrtest {

struct AgentScript {
  // DRV_SetOption: every request with the value it carried (text options:
  // 0); a scripted result per request; for ERR_VALUE_CHANGED the value the agent
  // keeps instead (else the one it was given).
  std::vector<std::pair<uint32_t, uint32_t>> sets;
  std::map<uint32_t, uint32_t> setResult;
  std::map<uint32_t, uint32_t> keepInstead;
  // The values the agent holds, answered by DRV_GetInfo (missing: 1, "not
  // answered"); getResult scripts a failure per request.
  std::map<uint32_t, uint32_t> held;
  std::map<uint32_t, uint32_t> getResult;
  std::vector<uint32_t> gets;
  // Cursor name kept by DRV_SetCursorName; a result for each slot.
  std::string cursorName = "SQL_CUR1";
  uint32_t getNameResult = 0;
  uint32_t setNameResult = 0;
  // DRV_NativeSql: the translation is "NATIVE " + the text.
  uint32_t nativeResult = 0;
  std::string nativeSeen;
  // DRV_MoreResults answers these in turn, then 73; columns of the next
  // result as DRV_NumResultCols describes them.
  std::deque<uint32_t> moreResults;
  int moreCalls = 0;
  uint16_t nextColumns = 1;
};

class StmtAttrTest : public CoreTest {
 public:
  static AgentScript* script;

 protected:
  void SetUp() override;
  void TearDown() override;

  // A connection marked connected on an environment of this ODBC version,
  // with the scripted slots.
  SQLHDBC Connected(SQLHENV env);
  SQLHENV Env(uint32_t version);

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ConnHandle* conn = nullptr;
  SQLHSTMT stmt = nullptr;
  DRV_OpTable table{};
  AgentScript agent;
};

}  // namespace qmrtest

#endif
