// Each library exports exactly the names of its version script.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <string>

namespace {

std::set<std::string> MapNames(const std::string& map) {
  std::ifstream in(std::string(QMR_SOURCE_DIR) + "/shlib/" + map);
  std::set<std::string> names;
  std::string line;
  bool global = false;
  const std::regex name(R"(^\s*([A-Za-z_][A-Za-z0-9_]*)\s*;\s*$)");
  while (std::getline(in, line)) {
    if (line.find("global:") != std::string::npos) global = true;
    if (line.find("local:") != std::string::npos) global = false;
    std::smatch m;
    if (global && std::regex_match(line, m, name)) names.insert(m[1]);
  }
  return names;
}

std::set<std::string> Exported(const std::string& lib) {
  const std::string cmd = "nm -D --defined-only " + std::string(QMR_BUILD_DIR) + "/lib/" + lib;
  std::set<std::string> names;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    char addr[64], type[8], sym[400];
    if (std::sscanf(line, "%63s %7s %399s", addr, type, sym) == 3) names.insert(sym);
  }
  pclose(p);
  return names;
}

void ExpectSame(const std::string& lib, const std::string& map) {
  const std::set<std::string> want = MapNames(map);
  const std::set<std::string> got = Exported(lib);
  ASSERT_FALSE(want.empty()) << map;
  for (const auto& n : want) EXPECT_TRUE(got.count(n)) << lib << " does not export " << n;
  for (const auto& n : got) EXPECT_TRUE(want.count(n)) << lib << " exports " << n << " too";
}

TEST(Exports, UnicodeBuildExportsItsList) { ExpectSame("libxbifxu.so", "xbifxu.map"); }
TEST(Exports, AnsiBuildExportsItsList) { ExpectSame("libxbifx.so", "xbifx.map"); }

TEST(Exports, TheUnicodeBuildAddsTheWideFormsToTheAnsiList) {
  const auto w = MapNames("xbifxu.map");
  const auto a = MapNames("xbifx.map");
  // Every 8-bit form is in both: the Unicode build's take UTF-8 as well.
  for (const auto& n : a) EXPECT_TRUE(w.count(n)) << n;
  size_t wide = 0;
  for (const auto& n : w) {
    if (a.count(n)) continue;
    ++wide;
    ASSERT_EQ('W', n.back()) << n;
    EXPECT_TRUE(a.count(n.substr(0, n.size() - 1))) << n;
  }
  for (const char* n : {"SQLAllocHandle", "SQLFetch", "SQLEndTran", "SQLCancel", "SQLCopyDesc",
                        "SQLSetDescRec", "LibMain", "WEP", "GetSetupDatabase", "GetSetupRegistry",
                        "GetXaSwitch", "SQLConnect", "SQLExecDirect", "SQLDescribeCol",
                        "SQLGetDiagRec", "qmr_xa_switch", "SQLGetXaEnv", "SQLGetXaConnect"}) {
    EXPECT_TRUE(w.count(n)) << n;
    EXPECT_TRUE(a.count(n)) << n;
  }
  for (const char* n : {"SQLConnectW", "SQLGetTypeInfoW", "SQLGetStmtAttrW", "SQLSetStmtAttrW",
                        "SQLGetDiagRecW", "SQLGetDescRecW"}) {
    EXPECT_TRUE(w.count(n)) << n;
    EXPECT_FALSE(a.count(n)) << n;
  }
  EXPECT_FALSE(w.count("SQLColAttributes") || w.count("SQLColAttributesW"));
  EXPECT_FALSE(a.count("SQLColAttributes") || a.count("SQLColAttributesW"));
  EXPECT_EQ(79u, a.size());
  EXPECT_EQ(33u, wide);
}

}  // namespace
