// The information and option helpers that need no Java: function lists to
// bit masks, cursor negotiation, the masks and the sensitivity setting.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>
#include <memory>
#include <string>

#include "drv_jdbc/j-opt.h"
#include "drv_jdbc/j-serv.h"

namespace {

struct TableDeleter {
  void operator()(HASH_TABLE* t) const { hash_destroy(t); }
};
using Table = std::unique_ptr<HASH_TABLE, TableDeleter>;

uint32_t Parse(const std::string& list, HASH_TABLE* t, uint32_t category) {
  std::string copy = list;  // the parser cuts the list in place
  return parseFunctionList(copy.data(), t, category);
}

TEST(FunctionList, MixedCaseAndBlanksAfterCommas) {
  Table t(buildScalarFnTable());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(Parse("abs, ceiling,Floor", t.get(), 1),
            static_cast<uint32_t>(SQL_FN_NUM_ABS | SQL_FN_NUM_CEILING | SQL_FN_NUM_FLOOR));
}

TEST(FunctionList, OtherCategoriesAndUnknownNamesAddNothing) {
  Table t(buildScalarFnTable());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(Parse("ABS,NOW,NO_SUCH_FUNCTION,CONCAT", t.get(), 1),
            static_cast<uint32_t>(SQL_FN_NUM_ABS));
  EXPECT_EQ(Parse("ABS,NOW,CONCAT", t.get(), 4), static_cast<uint32_t>(SQL_FN_TD_NOW));
  EXPECT_EQ(Parse("ABS,NOW,CONCAT", t.get(), 2), static_cast<uint32_t>(SQL_FN_STR_CONCAT));
}

TEST(FunctionList, BlankBeforeCommaAndEmptyItems) {
  Table t(buildScalarFnTable());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(Parse("  ABS ,\tFLOOR\t, ,,MOD  ", t.get(), 1),
            static_cast<uint32_t>(SQL_FN_NUM_ABS | SQL_FN_NUM_FLOOR | SQL_FN_NUM_MOD));
  EXPECT_EQ(Parse("", t.get(), 1), 0u);
  EXPECT_EQ(Parse(",", t.get(), 1), 0u);
}

TEST(FunctionList, WorksInPlace) {
  Table t(buildScalarFnTable());
  ASSERT_NE(t, nullptr);
  char list[] = "abs,pi";
  EXPECT_EQ(parseFunctionList(list, t.get(), 1),
            static_cast<uint32_t>(SQL_FN_NUM_ABS | SQL_FN_NUM_PI));
  EXPECT_STREQ(list, "ABS");  // the comma became the end of the first name
  EXPECT_STREQ(list + 4, "PI");
}

TEST(FunctionList, SystemFunctionsUnderTheirJdbcNames) {
  Table t(buildScalarFnTable());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(Parse("DATABASE,IFNULL,USER", t.get(), 3),
            static_cast<uint32_t>(SQL_FN_SYS_DBNAME | SQL_FN_SYS_IFNULL | SQL_FN_SYS_USERNAME));
  EXPECT_EQ(Parse("username", t.get(), 3), static_cast<uint32_t>(SQL_FN_SYS_USERNAME));
  // DATABASE is a system function only.
  EXPECT_EQ(Parse("DATABASE", t.get(), 1), 0u);
}

TEST(FunctionList, NullListOrTable) {
  Table t(buildScalarFnTable());
  EXPECT_EQ(parseFunctionList(nullptr, t.get(), 1), 0u);
  char list[] = "ABS";
  EXPECT_EQ(parseFunctionList(list, nullptr, 1), 0u);
}

TEST(FunctionList, EveryRowIsFoundInItsOwnCategory) {
  Table t(buildScalarFnTable());
  ASSERT_NE(t, nullptr);
  for (const ScalarFnRow* r = ScalarFunctionNames; r->name != nullptr; ++r) {
    EXPECT_EQ(Parse(r->name, t.get(), r->category), r->bit) << r->name;
    EXPECT_NE(r->bit, 0u) << r->name;
  }
  // A name listed twice is found as its last row (rows count from 1).
  uintptr_t last = 0, row = 1;
  for (const ScalarFnRow* r = ScalarFunctionNames; r->name != nullptr; ++r, ++row)
    if (std::strcmp(r->name, "USERNAME") == 0) last = row;
  ASSERT_NE(last, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(hash_lookup(t.get(), "USERNAME")), last);
}

uint32_t Negotiate(uint32_t option, uint32_t mask, uint32_t value, uint32_t* out) {
  const CursorOptionRule* rule = findCursorRule(option);
  EXPECT_NE(rule, nullptr);
  *out = value;
  return rule != nullptr ? negotiateCursorValue(*rule, mask, out) : 99;
}

TEST(CursorNegotiation, ConcurrencyAgainstTheAgentsMask) {
  uint32_t v = 0;
  // Row versions are not offered: values instead.
  EXPECT_EQ(Negotiate(SQL_CONCURRENCY, 0x0B, SQL_CONCUR_ROWVER, &v), 75u);
  EXPECT_EQ(v, static_cast<uint32_t>(SQL_CONCUR_VALUES));
  EXPECT_EQ(Negotiate(SQL_CONCURRENCY, 0x0B, SQL_CONCUR_READ_ONLY, &v), 0u);
  EXPECT_EQ(v, static_cast<uint32_t>(SQL_CONCUR_READ_ONLY));
  EXPECT_EQ(Negotiate(SQL_CONCURRENCY, 0x0B, SQL_CONCUR_LOCK, &v), 0u);
  EXPECT_EQ(Negotiate(SQL_CONCURRENCY, 0x0B, 9, &v), 43u);
  EXPECT_EQ(v, 9u);
  // Only read-only offered: every updatable request runs off the list.
  EXPECT_EQ(Negotiate(SQL_CONCURRENCY, 0x01, SQL_CONCUR_LOCK, &v), 43u);
}

TEST(CursorNegotiation, CursorTypeWhenDynamicCursorsAreDisabled) {
  uint32_t v = 0;
  const uint32_t disabled = SQL_SO_FORWARD_ONLY | SQL_SO_STATIC;
  EXPECT_EQ(Negotiate(SQL_CURSOR_TYPE, disabled, SQL_CURSOR_DYNAMIC, &v), 75u);
  EXPECT_EQ(v, static_cast<uint32_t>(SQL_CURSOR_STATIC));
  EXPECT_EQ(Negotiate(SQL_CURSOR_TYPE, disabled, SQL_CURSOR_KEYSET_DRIVEN, &v), 75u);
  EXPECT_EQ(v, static_cast<uint32_t>(SQL_CURSOR_STATIC));
  EXPECT_EQ(Negotiate(SQL_CURSOR_TYPE, disabled, SQL_CURSOR_FORWARD_ONLY, &v), 0u);
  EXPECT_EQ(Negotiate(SQL_CURSOR_TYPE, 31, SQL_CURSOR_DYNAMIC, &v), 0u);
  EXPECT_EQ(v, static_cast<uint32_t>(SQL_CURSOR_DYNAMIC));
  // Keyset only: dynamic falls to keyset; static runs off the list.
  EXPECT_EQ(Negotiate(SQL_CURSOR_TYPE, SQL_SO_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC, &v), 75u);
  EXPECT_EQ(v, static_cast<uint32_t>(SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(Negotiate(SQL_CURSOR_TYPE, SQL_SO_KEYSET_DRIVEN, SQL_CURSOR_STATIC, &v), 75u);
  EXPECT_EQ(v, static_cast<uint32_t>(SQL_CURSOR_KEYSET_DRIVEN));
  EXPECT_EQ(Negotiate(SQL_CURSOR_TYPE, 0, SQL_CURSOR_DYNAMIC, &v), 43u);
}

TEST(CursorNegotiation, OnlyCursorOptionsHaveRules) {
  EXPECT_EQ(findCursorRule(SQL_ROWSET_SIZE), nullptr);
  EXPECT_EQ(findCursorRule(0), nullptr);
}

TEST(DynCursSensitivity, ParseAndName) {
  EXPECT_EQ(parseDynCursSensitivity(nullptr), 0u);
  EXPECT_EQ(parseDynCursSensitivity("high"), 1u);
  EXPECT_EQ(parseDynCursSensitivity("HIGH"), 1u);
  EXPECT_EQ(parseDynCursSensitivity("d"), 2u);
  EXPECT_EQ(parseDynCursSensitivity("Disabled"), 2u);
  EXPECT_EQ(parseDynCursSensitivity("LOW"), 0u);
  EXPECT_EQ(parseDynCursSensitivity("x"), 0u);
  EXPECT_EQ(parseDynCursSensitivity(""), 0u);
  EXPECT_STREQ(dynCursSensitivityName(0), "LOW");
  EXPECT_STREQ(dynCursSensitivityName(1), "HIGH");
  EXPECT_STREQ(dynCursSensitivityName(2), "DISABLED");
  for (uint32_t level = 0; level < 3; ++level) {
    EXPECT_EQ(parseDynCursSensitivity(dynCursSensitivityName(level)), level);
  }
}

TEST(Masks, ScrollOptionsAndCapabilities) {
  JdbcConn c;
  EXPECT_EQ(scrollOptionsMask(&c), 31u);
  c.settings.dynCursSensitivity = 1;
  EXPECT_EQ(scrollOptionsMask(&c), 31u);
  c.settings.dynCursSensitivity = 2;
  EXPECT_EQ(scrollOptionsMask(&c), 17u);

  EXPECT_EQ(c.dynCursorsEnabled, 0u);
  EXPECT_EQ(capabilityMask(&c), 0x359Fu);
  EXPECT_EQ(c.dynCursorsEnabled, 1u);
  c.settings.noAutoCommit = 1;
  EXPECT_EQ(capabilityMask(&c), 0x349Fu);
}

}  // namespace
