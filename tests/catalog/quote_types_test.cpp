// SQLTables' table-type list as the core hands it to the agent.
#include <gtest/gtest.h>

#include <string>

#include "driver/catalog.h"

namespace {

TEST(QuoteTypes, QuotesTrimsAndJoins) {
  EXPECT_EQ(TBL_QuoteTypes("TABLE, VIEW", false), "'TABLE','VIEW'");
  EXPECT_EQ(TBL_QuoteTypes("  TABLE  ", false), "'TABLE'");
  EXPECT_EQ(TBL_QuoteTypes("'TABLE'", false), "'TABLE'");
  EXPECT_EQ(TBL_QuoteTypes("'TABLE' , 'SYSTEM TABLE'", false), "'TABLE','SYSTEM TABLE'");
  EXPECT_EQ(TBL_QuoteTypes("\"VIEW\"", false), "'VIEW'");
  EXPECT_EQ(TBL_QuoteTypes("", false), "");
  EXPECT_EQ(TBL_QuoteTypes("%", false), "%");
  EXPECT_EQ(TBL_QuoteTypes("%,TABLE", false), "%");
}

TEST(QuoteTypes, IncludeViewsAddsTheViewToTables) {
  EXPECT_EQ(TBL_QuoteTypes(" TABLE ", true), "'TABLE','VIEW'");
  EXPECT_EQ(TBL_QuoteTypes("TABLE,VIEW", true), "'TABLE','VIEW'");
  EXPECT_EQ(TBL_QuoteTypes("SYSTEM TABLE", true), "'SYSTEM TABLE'");
}

TEST(QuoteTypes, ThirtyQuotedNamesFitWhole) {
  // Each short item grows by its quotes: far past the input length + 50 a
  // fixed buffer would allow.
  std::string in, want;
  for (int i = 0; i < 30; ++i) {
    in += (i ? "," : "") + std::string("'T") + std::to_string(i) + "'";
    want += (i ? "," : "") + std::string("'T") + std::to_string(i) + "'";
  }
  EXPECT_EQ(TBL_QuoteTypes(in, false), want);
  std::string bare, quoted;
  for (int i = 0; i < 30; ++i) {
    bare += (i ? "," : "") + std::string(1, static_cast<char>('A' + i % 26));
    quoted += (i ? "," : "") + std::string("'") + static_cast<char>('A' + i % 26) + "'";
  }
  const std::string out = TBL_QuoteTypes(bare + ",TABLE", true);
  EXPECT_EQ(out, quoted + ",'TABLE','VIEW'");
  EXPECT_GT(out.size(), bare.size() + 6 + 50);
}

}  // namespace
