// Parameter tests: the fake agent behind a connection with the JDBC agent's
// capabilities, its statement slots scripted to describe the markers and to
// keep what the execution hands over (value set, descriptions).
#ifndef QMR_TESTS_PARAM_PARAM_FIXTURE_H
#define QMR_TESTS_PARAM_PARAM_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/core_fixture.h"
#include "drv_jdbc/agent_codes.h"

namespace qmrtest {

struct ParamScript {
  std::vector<std::string> markerNames;  // one per marker ("", "*B" ...)
  std::vector<int32_t> markerTypes;      // SQL types described (default SQL_VARCHAR)
  std::vector<int32_t> refreshedTypes;   // a second description, empty: as the first
  int describeCalls = 0;
  COLSET* lastSet = nullptr;       // the value set of the last execution (owned)
  std::vector<JdbcColBind> binds;  // descriptions of the last hand-over
  int handOvers = 0;               // executions that carried descriptions
  int executions = 0;
  uint32_t executeAnswer = 0;  // answer of the execution
  uint32_t lastSetAnswer = 0;  // answer to INFO_ROW_COUNT
  // Output row: value set copied, then these cells of row 0 replaced.
  struct Out {
    uint16_t column;
    std::string bytes;
    bool isNull;
  };
  std::vector<Out> outputs;
  std::vector<std::string> prepared;
};

class ParamTest : public CoreTest {
 public:
  static ParamScript* script;

 protected:
  void SetUp() override;
  void TearDown() override;

  SQLRETURN Prepare(const char* sql, int markers, const char* name = "");
  SQLRETURN Exec() { return SQLExecute(stmt); }
  // Cell of the last value set: column (0-based), row.
  const COLSET_COL& Col(int c) const { return script->lastSet->cols[c]; }
  const unsigned char* Cell(int c, uint32_t row) const {
    const COLSET_COL& col = Col(c);
    return col.data + static_cast<size_t>(row) * col.elem_size;
  }
  bool IsNull(int c, uint32_t row) const { return Col(c).ind[row] == COLSET_IND_NULL; }
  // A length-prefixed text or byte cell.
  std::string Prefixed(int c, uint32_t row) const;
  // A wide cell as UTF-16 units.
  std::u16string Wide(int c, uint32_t row) const;
  template <class T>
  T Fixed(int c, uint32_t row) const {
    T v{};
    std::memcpy(&v, Cell(c, row), sizeof v);
    return v;
  }

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  ConnHandle* conn = nullptr;
  DRV_OpTable table{};
  ParamScript scriptData;
};

}  // namespace qmrtest

#endif
