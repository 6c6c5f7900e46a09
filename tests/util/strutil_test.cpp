#include "util/strutil.h"
#include "util/owners.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using CStr = UniqueFree<char>;

CStr nts_dup(const char* text, int64_t len) {
  char* out = reinterpret_cast<char*>(1);
  EXPECT_EQ(str_nts_dup(&out, text, len), 0);
  return CStr(out);
}

CStr unquote(const char* text, int64_t len) {
  char* out = nullptr;
  EXPECT_EQ(str_unquote(&out, text, len), 0);
  return CStr(out);
}

TEST(StrDup, NtsDup) {
  EXPECT_STREQ(nts_dup(nullptr, SQL_NTS).get(), "");
  EXPECT_STREQ(nts_dup(nullptr, 5).get(), "");
  EXPECT_STREQ(nts_dup("abcdef", 3).get(), "abc");
  EXPECT_STREQ(nts_dup("abcdef", SQL_NTS).get(), "abcdef");
  EXPECT_STREQ(nts_dup("abcdef", 0).get(), "");
  EXPECT_STREQ(nts_dup("abcdef", -1).get(), "");
  CStr embedded = nts_dup("a\0b", 3);
  EXPECT_EQ(std::memcmp(embedded.get(), "a\0b\0", 4), 0);
}

TEST(StrDup, Unquote) {
  EXPECT_STREQ(unquote("'ab'", SQL_NTS).get(), "ab");
  EXPECT_STREQ(unquote("\"ab\"", SQL_NTS).get(), "ab");
  EXPECT_STREQ(unquote("'ab\"", SQL_NTS).get(), "'ab\"");
  EXPECT_STREQ(unquote("'", SQL_NTS).get(), "'");
  EXPECT_STREQ(unquote("''", SQL_NTS).get(), "");
  EXPECT_STREQ(unquote("ab", SQL_NTS).get(), "ab");
  // The length decides where the text ends.
  EXPECT_STREQ(unquote("'ab'cd", 4).get(), "ab");
  EXPECT_STREQ(unquote("'ab'cd", 3).get(), "'ab");
  EXPECT_STREQ(unquote(nullptr, 4).get(), "");
}

TEST(StrQuote, QuoteHonoursTheLength) {
  CStr a(str_quote("abc", SQL_NTS, '"'));
  EXPECT_STREQ(a.get(), "\"abc\"");
  CStr b(str_quote("abc", SQL_NTS, ' '));
  EXPECT_STREQ(b.get(), "abc");
  CStr c(str_quote("abcdef", 3, '\''));
  EXPECT_STREQ(c.get(), "'abc'");
  CStr d(str_quote("abcdef", 3, ' '));
  EXPECT_STREQ(d.get(), "abc");
  CStr e(str_quote(nullptr, SQL_NTS, '"'));
  EXPECT_STREQ(e.get(), "\"\"");
  // A text that is not terminated within its length is not read past it.
  const char raw[3] = {'x', 'y', 'z'};
  CStr f(str_quote(raw, 3, '"'));
  EXPECT_STREQ(f.get(), "\"xyz\"");
  CStr g(str_quote(raw, 3, ' '));
  EXPECT_STREQ(g.get(), "xyz");
}

TEST(StrQuote, NdupQ) {
  CStr a(str_ndup_q("\"tab\"", SQL_NTS, '"'));
  EXPECT_STREQ(a.get(), "tab");
  CStr b(str_ndup_q("\"tab\"", SQL_NTS, ' '));
  EXPECT_STREQ(b.get(), "\"tab\"");
  CStr c(str_ndup_q("'tab'", SQL_NTS, '"'));
  EXPECT_STREQ(c.get(), "'tab'");
  CStr d(str_ndup_q("\"", SQL_NTS, '"'));
  EXPECT_STREQ(d.get(), "\"");
  CStr e(str_ndup_q("\"ab\"cd", 4, '"'));
  EXPECT_STREQ(e.get(), "ab");
  const char raw[4] = {'a', 'b', 'c', 'd'};
  CStr f(str_ndup_q(raw, 2, '"'));
  EXPECT_STREQ(f.get(), "ab");
  CStr g(str_ndup_q(nullptr, SQL_NTS, '"'));
  EXPECT_STREQ(g.get(), "");
}

TEST(StrQuote, NdupQTakesTheFullLengthOfLongText) {
  // A length above 32767 must not be taken as a 16-bit value.
  std::string text = "\"" + std::string(40000, 'q') + "\"";
  CStr a(str_ndup_q(text.c_str(), SQL_NTS, '"'));
  ASSERT_TRUE(a);
  EXPECT_EQ(std::strlen(a.get()), 40000u);
}

TEST(StrTrim, Rtrim) {
  char spaces[] = "   ";
  EXPECT_EQ(rtrim(spaces), nullptr);
  EXPECT_STREQ(spaces, "");
  char empty[] = "";
  EXPECT_EQ(rtrim(empty), nullptr);
  EXPECT_EQ(rtrim(nullptr), nullptr);
  char text[] = " ab \t\r\n\v\f ";
  char* last = rtrim(text);
  EXPECT_EQ(last, text + 2);
  EXPECT_STREQ(text, " ab");
  // A no-break space in UTF-8 ends in 0xA0: not white space, and not cut.
  char nbsp[] = "x\xC2\xA0";
  EXPECT_EQ(rtrim(nbsp), nbsp + 2);
  EXPECT_STREQ(nbsp, "x\xC2\xA0");
}

TEST(StrTrim, Ltrim) {
  const char* text = " \t\nab ";
  EXPECT_EQ(ltrim(text), text + 3);
  EXPECT_STREQ(ltrim("   "), "");
  EXPECT_EQ(ltrim(nullptr), nullptr);
}

TEST(StrSearch, Stristr) {
  const char* text = "Hello World";
  EXPECT_EQ(stristr(text, "WORLD"), text + 6);
  EXPECT_EQ(stristr(text, "lo w"), text + 3);
  EXPECT_EQ(stristr(text, ""), text + std::strlen(text));
  EXPECT_EQ(stristr("abc", "abcd"), nullptr);
  EXPECT_EQ(stristr("aaab", "AAB"), static_cast<const char*>("aaab") + 1);
  EXPECT_EQ(stristr(text, "xyz"), nullptr);
  EXPECT_EQ(stristr(nullptr, "a"), nullptr);
  EXPECT_EQ(stristr(text, nullptr), nullptr);
  // Folding is ASCII only: bytes of UTF-8 letters are compared as they are.
  EXPECT_EQ(stristr("\xC3\x84"
                    "b",
                    "\xC3\xA4"
                    "B"),
            nullptr);
}

TEST(StrSearch, KwMatch) {
  const char* text = "  select  *";
  EXPECT_EQ(kw_match("SELECT", text), text + 10);
  EXPECT_EQ(kw_match("SELECT", "  selected *"), nullptr);
  const char* bare = "Select";
  EXPECT_EQ(kw_match("SELECT", bare), bare + 6);
  const char* tabbed = "\n\tSELECT\tx";
  EXPECT_EQ(kw_match("SELECT", tabbed), tabbed + 9);
  EXPECT_EQ(kw_match("SELECT", "SELEC"), nullptr);
  EXPECT_EQ(kw_match("SELECT", "(SELECT"), nullptr);
  EXPECT_EQ(kw_match_case("SELECT", "select *"), nullptr);
  const char* exact = "SELECT *";
  EXPECT_EQ(kw_match_case("SELECT", exact), exact + 7);
  EXPECT_EQ(kw_match_ex("select", exact, 0), exact + 7);
  EXPECT_EQ(kw_match(nullptr, exact), nullptr);
  EXPECT_EQ(kw_match("SELECT", nullptr), nullptr);
}

TEST(StrSearch, ListPos) {
  EXPECT_EQ(str_listpos("VIEW, TABLE", "TABLE"), 2);
  EXPECT_EQ(str_listpos("VIEW, TABLE", "VIEW"), 1);
  EXPECT_EQ(str_listpos("VIEW, TABLE", "TAB"), 0);
  EXPECT_EQ(str_listpos("VIEW,TABLES", "TABLE"), 0);
  EXPECT_EQ(str_listpos("VIEW ,TABLE", "VIEW"), 0);  // the element ends at the comma
  EXPECT_EQ(str_listpos("'TABLE','VIEW'", "'VIEW'"), 2);
  EXPECT_EQ(str_listpos("view", "VIEW"), 0);
  EXPECT_EQ(str_listpos(nullptr, "VIEW"), 0);
  EXPECT_EQ(str_listpos("VIEW", nullptr), 0);
}

TEST(StrPath, MakePathModes) {
  EXPECT_EQ(make_path("/dir.d/init", "sql", 2), "/dir.d/init.sql");
  EXPECT_EQ(make_path("/dir/init.txt", "sql", 2), "/dir/init.txt");
  EXPECT_EQ(make_path("/dir/init.txt", "sql", 1), "/dir/init.sql");
  EXPECT_EQ(make_path("/dir/init.txt", "sql", 0), "/dir/init");
  EXPECT_EQ(make_path("/dir.d/init", "sql", 0), "/dir.d/init");
  EXPECT_EQ(make_path("init", "sql", 1), "init.sql");
  EXPECT_EQ(make_path("a.b.c", "x", 1), "a.b.x");
  // A leading dot names a file, it does not start an extension.
  EXPECT_EQ(make_path("/home/u/.profile", "sql", 2), "/home/u/.profile.sql");
  EXPECT_EQ(make_path(".profile", "sql", 0), ".profile");
  EXPECT_EQ(make_path("c:\\dir.d\\init", "sql", 2), "c:\\dir.d\\init.sql");
  EXPECT_EQ(make_path("/dir/init.txt", "sql", 7), "/dir/init.txt");
  EXPECT_EQ(make_path(nullptr, "sql", 2), ".sql");
  EXPECT_EQ(make_path("init.txt", nullptr, 1), "init.");
}

TEST(StrPath, MakePathHasNoLengthLimit) {
  std::string name = "/" + std::string(1000, 'd') + "/init";
  EXPECT_EQ(make_path(name.c_str(), "sql", 2), name + ".sql");
}

TEST(StrProcess, NameFromCommandLine) {
  EXPECT_EQ(process_name_from("/usr/bin/tool.exe"), "TOOL");
  EXPECT_EQ(process_name_from("C:\\Apps\\tool.exe"), "TOOL");
  EXPECT_EQ(process_name_from("./isql -v DSN"), "ISQL");
  EXPECT_EQ(process_name_from("/opt/bin/runner -f /etc/x.conf"), "RUNNER");
  EXPECT_EQ(process_name_from("python3.11 /srv/app/main.py"), "PYTHON3");
  EXPECT_EQ(process_name_from(""), "Unknown");
  EXPECT_EQ(process_name_from("/usr/bin/"), "Unknown");
  EXPECT_EQ(process_name_from(std::string(300, 'x')), std::string(254, 'X'));
}

TEST(StrProcess, GetProcessNameIsComputedOnce) {
  const char* name = get_process_name();
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "UTIL_TESTS");
  std::vector<const char*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = get_process_name(); });
  for (auto& t : threads) t.join();
  for (const char* p : seen) EXPECT_EQ(p, name);
}

}  // namespace
