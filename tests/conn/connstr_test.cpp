// The connection-string syntax: splitting, braces and their escapes, and the
// bracing of values on the way out.
#include <gtest/gtest.h>

#include "driver/connstr.h"

namespace {

std::vector<std::pair<std::string, std::string>> Pairs(const char* text) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const CS_Pair& p : CS_Split(text)) out.emplace_back(p.keyword, p.value);
  return out;
}

using P = std::vector<std::pair<std::string, std::string>>;

TEST(ConnStrSplit, PlainPairsAndBlanksAroundKeywords) {
  EXPECT_EQ(Pairs("DSN=a; UID = b ;PWD=c"), (P{{"DSN", "a"}, {"UID", " b "}, {"PWD", "c"}}));
  EXPECT_EQ(Pairs(";;DSN=a;;"), (P{{"DSN", "a"}}));
  EXPECT_EQ(Pairs("novalue;X=1"), (P{{"X", "1"}}));
  EXPECT_EQ(Pairs("A==b"), (P{{"A", "=b"}}));
  EXPECT_EQ(Pairs("A="), (P{{"A", ""}}));
  EXPECT_TRUE(Pairs("").empty());
}

TEST(ConnStrSplit, BracedValuesAreUnbracedWithEscapedClosingBraces) {
  EXPECT_EQ(Pairs("PWD={a;b}}c};UID=u"), (P{{"PWD", "a;b}c"}, {"UID", "u"}}));
  EXPECT_EQ(Pairs("DRIVER={Quillmar Unicode}"), (P{{"DRIVER", "Quillmar Unicode"}}));
  EXPECT_EQ(Pairs("X={}}};Y=1"), (P{{"X", "}"}, {"Y", "1"}}));
  EXPECT_EQ(Pairs("X={{a}"), (P{{"X", "{a"}}));
  // A URL with ';' and '=' inside braces stays one value.
  EXPECT_EQ(Pairs("URL={jdbc:x:db;user=a};FBS=5"), (P{{"URL", "jdbc:x:db;user=a"}, {"FBS", "5"}}));
}

TEST(ConnStrSplit, UnclosedOrInnerBracesKeepTheirText) {
  // Never closed: the value runs on as text with its brace.
  EXPECT_EQ(Pairs("A={x;y"), (P{{"A", "{x;y"}}));
  // Braces inside an unbraced value protect their ';' and stay.
  EXPECT_EQ(Pairs("URL=a={x;y};B=1"), (P{{"URL", "a={x;y}"}, {"B", "1"}}));
  // A stray closing brace does not swallow the rest of the string.
  EXPECT_EQ(Pairs("A=x}y;B=1;C=2"), (P{{"A", "x}y"}, {"B", "1"}, {"C", "2"}}));
}

TEST(ConnStrBrace, OnlyValuesThatNeedItAreBraced) {
  EXPECT_EQ(CS_Brace("plain value"), "plain value");
  EXPECT_EQ(CS_Brace("a;b}c"), "{a;b}}c}");
  EXPECT_EQ(CS_Brace("{x"), "{{x}");
  EXPECT_EQ(CS_BraceAlways("Quillmar"), "{Quillmar}");
  // What goes out comes back in unchanged.
  for (const char* v : {"a;b}c", "}}", "{", ";", "x{y}z;", ""}) {
    const std::string text = "K=" + CS_Brace(v) + ";L=1";
    EXPECT_EQ(Pairs(text.c_str()), (P{{"K", v}, {"L", "1"}})) << text;
  }
}

TEST(ConnStrTable, KeywordsIgnoreCaseFirstCountsUnknownIgnored) {
  CS_ParseInto("dsn=one;Uid=u;DSN=two;BOGUS=x;pwd=");
  EXPECT_EQ(ConnStrKeywords[kKwDSN].value, "one");
  EXPECT_EQ(ConnStrKeywords[kKwUID].value, "u");
  EXPECT_TRUE(ConnStrKeywords[kKwPWD].present);
  EXPECT_EQ(ConnStrKeywords[kKwPWD].supplied, 1u);
  EXPECT_EQ(ConnStrKeywords[kKwPWD].value, "");
  EXPECT_FALSE(ConnStrKeywords[kKwURL].present);
  CS_Clear();
  for (int row = 0; row < kConnStrKeywordCount; ++row) {
    const ConnStrKeyword& k = ConnStrKeywords[row];
    EXPECT_FALSE(k.present);
    EXPECT_EQ(k.supplied, 0u);
  }
  EXPECT_EQ(CS_Find("dyn_curs_sensitivity"), kKwDYN_CURS_SENSITIVITY);
  EXPECT_EQ(CS_Find("JET"), kKwJET);
  EXPECT_EQ(CS_Find("nope"), -1);
  // The odbc.ini value names spell the same settings.
  EXPECT_EQ(CS_Find("JdbcDriver"), kKwJDBC);
  EXPECT_EQ(CS_Find("urlstring"), kKwURL);
  EXPECT_EQ(CS_Find("FetchBufferSize"), kKwFBS);
}

TEST(ConnStrValues, BooleansAndNumbers) {
  for (const char* t : {"TRUE", "yes", "Yes", "1"}) EXPECT_TRUE(CS_IsTrue(t)) << t;
  for (const char* f : {"", "0", "no", "true ", " 1", "2"}) EXPECT_FALSE(CS_IsTrue(f)) << f;
  EXPECT_EQ(CS_ToInt32("100000"), 100000);
  EXPECT_EQ(CS_ToInt32("  -12x"), -12);
  EXPECT_EQ(CS_ToInt32(""), 0);
  EXPECT_EQ(CS_ToInt32("99999999999"), INT32_MAX);
  EXPECT_EQ(CS_ToInt32("-99999999999"), INT32_MIN);
}

}  // namespace
