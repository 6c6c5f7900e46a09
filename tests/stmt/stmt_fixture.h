// Statement tests: the fake agent with the statement slots scripted further
// (texts prepared, parameter and result descriptions, column attributes,
// row counts), behind a connection marked connected.
#ifndef QMR_TESTS_STMT_STMT_FIXTURE_H
#define QMR_TESTS_STMT_STMT_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core_fixture.h"
#include "drv_jdbc/agent_codes.h"

namespace qmrtest {

// One scripted column (or parameter) description.
struct ColSpec {
  std::string name;
  int32_t sqlType = 0;
  uint32_t precision = 0;
  uint16_t scale = 0;
  uint32_t nullable = 0;
  uint32_t valueType = 0;
  uint32_t elemLen = 0;
  uint32_t displaySize = 0;
  std::string label;  // empty: none
  std::string table, schema, catalog;
  uint32_t updatable = 0;  // COLDESC_UPDATE_* code
};

// What the scripted slots answer.
struct StmtScript {
  std::vector<ColSpec> params;         // DRV_DescribeCols
  std::vector<ColSpec> cols;           // DRV_NumResultCols / DRV_ColAttributes
  std::vector<ATTR_ENTRY> attrs;       // DRV_ColAttributes' extra entries (texts copied)
  std::vector<std::string> prepared;   // texts DRV_Prepare received
  std::vector<uint32_t> setOptions;    // requests DRV_SetOption received
  std::vector<uint32_t> infoRequests;  // requests DRV_GetInfo received
  std::vector<uint16_t> fetchRows;     // row counts DRV_Fetch was asked for
  int32_t rowCount = -1;               // answer to INFO_ROW_COUNT
  uint32_t cursorTypeAnswer = 0;       // answer to OPT_CURSOR_TYPE
  uint32_t concurrencyAnswer = 1;      // answer to OPT_CONCURRENCY
  int describeCalls = 0;               // DRV_NumResultCols and DRV_ColAttributes
};

class StmtTest : public CoreTest {
 public:
  // The script the slots read (the running test's).
  static StmtScript* script;

 protected:
  void SetUp() override;
  void TearDown() override;

  // A new statement of the connected connection.
  SQLHSTMT Alloc() { return NewStmt(dbc); }
  // SQLExecDirect of an 8-bit text.
  SQLRETURN Direct(SQLHSTMT h, const char* sql);
  SQLRETURN Prepare(SQLHSTMT h, const char* sql);

  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  ConnHandle* conn = nullptr;
  DRV_OpTable table{};
  StmtScript scriptData;
};

ColSpec Col(const char* name, int32_t type, uint32_t precision, uint16_t scale, uint32_t nullable,
            uint32_t valueType, uint32_t elemLen, uint32_t displaySize);

// The fourteen columns a SELECT over the test table describes.
std::vector<ColSpec> SampleColumns();

}  // namespace qmrtest

#endif
