// SQL text templates: argument insertion, conditional blocks, and the two
// search-pattern checks their tests use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqlan/sqltmpl.h"

namespace {

std::string expand(const std::string& tmpl, std::vector<const char*> args, uint32_t count) {
  std::vector<std::string> copies;
  std::vector<char*> ptrs;
  copies.reserve(args.size());
  for (const char* a : args) {
    if (a) {
      copies.emplace_back(a);
      ptrs.push_back(&copies.back()[0]);
    } else {
      ptrs.push_back(nullptr);
    }
  }
  MPL_POOL pool;
  mpl_init(&pool);
  EXPECT_EQ(0, SQL_ExpandTemplate(&pool, tmpl.c_str(), ptrs.data(), count));
  // The expansion ends with its own NUL, which the object size counts.
  size_t size = mpl_object_size(&pool);
  char* obj = mpl_finish(&pool);
  std::string out(obj, size);
  mpl_destroy(&pool);
  EXPECT_FALSE(out.empty());
  EXPECT_EQ('\0', out.back());
  out.pop_back();
  return out;
}

const std::string A1 = "\xFF\x01\x01";
const std::string A2 = "\xFF\x01\x02";
std::string code(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += char(b);
  return s;
}

struct ExpandCase {
  const char* name;
  std::string tmpl;
  std::vector<const char*> args;
  uint32_t count;
  const char* want;
};

class ExpandTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandTest, Expands) {
  const ExpandCase& c = GetParam();
  EXPECT_EQ(c.want, expand(c.tmpl, c.args, c.count));
}

const std::string kElse =
    "K" + code({0xFF, 2, 7, 1, 1}) + "L" + code({0xFF, 4, 7}) + "M" + code({0xFF, 5, 7}) + "N";
const std::string kChain = code({0xFF, 2, 1, 3, 1}) + "X" + code({0xFF, 3, 1, 1, 1}) + "Y" +
                           code({0xFF, 4, 1}) + "Z" + code({0xFF, 5, 1});

INSTANTIATE_TEST_SUITE_P(
    Templates, ExpandTest,
    ::testing::Values(ExpandCase{"two_args", A1 + " = " + A2, {"a", "b"}, 2, "a = b"},
                      ExpandCase{"count_short", A1 + " = " + A2, {"a", "b"}, 1, "a = NULL"},
                      ExpandCase{"null_arg", A1 + " = " + A2, {"a", nullptr}, 2, "a = "},
                      // Argument number 0 would be the template's own NUL: the code is cut
                      // there and nothing is read beyond it.
                      ExpandCase{"arg_code_cut_by_end", "x" + code({0xFF, 1}), {"a"}, 1, "x"},
                      ExpandCase{"arg_beyond_count", code({0xFF, 1, 200}), {"a"}, 1, "NULL"},
                      ExpandCase{"plain", "SELECT 1", {}, 0, "SELECT 1"},
                      ExpandCase{"else_matchall", kElse, {"%"}, 1, "KLN"},
                      ExpandCase{"else_taken", kElse, {"x%"}, 1, "KMN"},
                      ExpandCase{"chain_wildcard", kChain, {"ab%"}, 1, "X"},
                      ExpandCase{"chain_blanks", kChain, {"   "}, 1, "Y"},
                      ExpandCase{"chain_letters", kChain, {"abc"}, 1, "Z"},
                      ExpandCase{"chain_arg_out_of_range", kChain, {}, 0, "Y"},
                      ExpandCase{"unknown_code_dropped", "a" + code({0xFF, 9}) + "b", {}, 0, "ab"},
                      ExpandCase{"endif_consumed", "a" + code({0xFF, 5, 3}) + "b", {}, 0, "ab"},
                      ExpandCase{"unescape_in_test",
                                 code({0xFF, 2, 1, 4, 1}) + A1 + code({0xFF, 5, 1}),
                                 {"a\\_b"},
                                 1,
                                 "a_b"},
                      ExpandCase{"truncated_code_stops", "ab" + code({0xFF}), {}, 0, "ab"}),
    [](const ::testing::TestParamInfo<ExpandCase>& i) { return std::string(i.param.name); });

TEST(ExpandTest, LongArgumentGrowsThePool) {
  std::string big(100000, 'q');
  EXPECT_EQ("<" + big + ">", expand("<" + A1 + ">", {big.c_str()}, 1));
}

struct PatternCase {
  const char* in;
  int result;
  const char* after;
};

class UnescapeTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(UnescapeTest, Unescapes) {
  std::string s = GetParam().in;
  EXPECT_EQ(GetParam().result, SQL_UnescapePattern(&s[0]));
  EXPECT_STREQ(GetParam().after, s.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, UnescapeTest,
    ::testing::Values(PatternCase{"ab\\_z", 0, "ab_z"}, PatternCase{"ab\\_z%", 1, "ab\\_z%"},
                      PatternCase{"%abc", 1, "%abc"}, PatternCase{"_abc", 1, "_abc"},
                      PatternCase{"abc", 0, "abc"}, PatternCase{"a\\bc", 0, "a\\bc"},
                      PatternCase{"a\\%b\\_c\\d", 0, "a%b_c\\d"}, PatternCase{"", 0, ""}));

TEST(UnescapeTest, NullPattern) { EXPECT_EQ(0, SQL_UnescapePattern(nullptr)); }

TEST(MatchAllTest, Table) {
  struct {
    const char* in;
    int want;
  } cases[] = {{nullptr, 1}, {"", 1}, {"   ", 1}, {"%", 1}, {"%%", 0}, {" %", 0}, {"a", 0}};
  for (auto& c : cases) EXPECT_EQ(c.want, SQL_IsMatchAll(c.in)) << (c.in ? c.in : "(null)");
}

TEST(TemplateTextTest, ReadableTemplatesBecomeCodes) {
  EXPECT_EQ(A1 + " = " + A2, std::string(SCR_TPL("$1 = $2")));
  EXPECT_EQ("SELECT " + A1 + ".*", std::string(SCR_TPL("SELECT $1.*")));
  EXPECT_EQ(code({0xFF, 1, 254}), std::string(SCR_TPL("$254")));
  EXPECT_EQ("a$b", std::string(SCR_TPL("a$b")));
}

}  // namespace
