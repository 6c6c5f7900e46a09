// The cursor library's answers that no application reaches directly: the
// information pass-through's cut of a text, and the split of a keyset
// rowset into refetch blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv_jdbc/drv_agent.h"
#include "scrs/scrcursor.h"

namespace {

const char* gText = "";

uint32_t TextInfo(uint32_t, uint32_t, void* value, uint16_t size, uint16_t* length) {
  std::strncpy(static_cast<char*>(value), gText, size);
  *length = static_cast<uint16_t>(std::strlen(gText));
  return 0;
}

TEST(ScrAgentInfo, CutTextEndsWithinTheBufferOnACharacter) {
  DRV_OpTable table{};
  table.DRV_GetInfo = TextInfo;
  const DRV_Agent agent{DRV_AGENT_JDBC, &table};
  struct Case {
    const char* text;
    int16_t size;
    const char* want;
    uint32_t rc;
  };
  const Case cases[] = {
      {"HSQL Database Engine", 64, "HSQL Database Engine", 0},
      {"HSQL Database Engine", 5, "HSQL", ERR_TRUNCATED},
      {"Z\xC3\xBCrich", 3, "Z", ERR_TRUNCATED},  // the two-byte letter stays whole
      {"Z\xC3\xBCrich", 4, "Z\xC3\xBC", ERR_TRUNCATED},
      {"abc", 3, "ab", ERR_TRUNCATED},
  };
  for (const Case& c : cases) {
    gText = c.text;
    char buf[80];
    std::memset(buf, '#', sizeof buf);
    uint16_t length = 0;
    EXPECT_EQ(c.rc, SCR_AgentInfo(&agent, 1, 17 /* SQL_DBMS_NAME */, buf, c.size, &length))
        << c.text << "/" << c.size;
    EXPECT_EQ(std::string(c.want), std::string(buf)) << c.text << "/" << c.size;
    EXPECT_EQ('#', buf[c.size]) << "nothing written past the buffer: " << c.text;
    EXPECT_EQ(std::strlen(c.text), length) << c.text;
  }
  uint32_t v = 7;
  EXPECT_EQ(uint32_t{ERR_INVALID_ARGUMENT}, SCR_AgentInfo(&agent, 1, 8, &v, 2, nullptr));
  EXPECT_EQ(7u, v) << "a short integer buffer gets nothing";
  EXPECT_EQ(uint32_t{ERR_OPTION_RANGE}, SCR_AgentInfo(&agent, 1, 100, &v, 4, nullptr));
}

TEST(ScrRowsetBlocks, SplitsWithinTheMarkerLimitAndNeverDividesByZero) {
  struct Case {
    uint32_t rowset, limit, descs, keys;
    uint32_t blocks, last, size;
  };
  const Case cases[] = {
      {300, 255, 5, 2, 3, 50, 125},   // 125 keys of two columns fit in 250 markers
      {250, 255, 5, 2, 2, 125, 125},  // no remainder: the last block is whole
      {10, 255, 0, 1, 1, 10, 10},    {0, 255, 5, 2, 0, 0, 0},  // no rowset
      {10, 255, 5, 0, 0, 0, 0},                                // no key columns
      {10, 5, 5, 1, 0, 0, 0},                                  // no marker left for a key
      {10, 6, 5, 2, 0, 0, 0},  // not enough for one key of two columns
  };
  for (const Case& c : cases) {
    uint32_t blocks = 9, last = 9, size = 9;
    SCR_RowsetBlocks(c.rowset, c.limit, c.descs, c.keys, &blocks, &last, &size);
    EXPECT_EQ(c.blocks, blocks) << c.rowset << "/" << c.keys;
    EXPECT_EQ(c.last, last) << c.rowset << "/" << c.keys;
    EXPECT_EQ(c.size, size) << c.rowset << "/" << c.keys;
  }
}

}  // namespace
