#include "platform/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

namespace {

const char* const kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmar Software\\6.0";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qmr-reg-XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = tmpl;
    setenv("QMR_REGISTRY_FILE", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QMR_REGISTRY_FILE");
    unlink(path_.c_str());
  }
  void write(const std::string& text) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << text;
  }

  std::string path_;
};

TEST_F(RegistryTest, FileComesFromTheEnvironmentElseTheDefault) {
  EXPECT_EQ(plat::registry_file(), path_);
  unsetenv("QMR_REGISTRY_FILE");
  EXPECT_EQ(plat::registry_file(), "/etc/quillmar/registry.ini");
}

TEST_F(RegistryTest, ReadsStringsAndDwords) {
  write(
      "; maker settings\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmar Software\\6.0]\n"
      "KXLibs = /opt/quillmar/lib/ \n"
      "Retries=dword:42\n"
      "Mask=dword:0xFFFFFFFF\n"
      "Quoted=\"dword:7\"\n"
      "Spaced=\"  padded  \"\n"
      "ConnStr=DSN=x;UID=y;PWD=z\n"
      "Empty=\n"
      "@=default text\n");
  std::string s;
  ASSERT_TRUE(plat::reg_read_string(kKey, "KXLibs", s));
  EXPECT_EQ(s, "/opt/quillmar/lib/");
  uint32_t n = 0;
  ASSERT_TRUE(plat::reg_read_dword(kKey, "Retries", n));
  EXPECT_EQ(n, 42u);
  ASSERT_TRUE(plat::reg_read_dword(kKey, "Mask", n));
  EXPECT_EQ(n, 0xFFFFFFFFu);
  // A number is not a string, and a quoted text is never a number.
  EXPECT_FALSE(plat::reg_read_string(kKey, "Retries", s));
  EXPECT_EQ(plat::reg_query(kKey, "Retries").type, plat::RegType::Dword);
  EXPECT_FALSE(plat::reg_read_dword(kKey, "Quoted", n));
  ASSERT_TRUE(plat::reg_read_string(kKey, "Quoted", s));
  EXPECT_EQ(s, "dword:7");
  ASSERT_TRUE(plat::reg_read_string(kKey, "Spaced", s));
  EXPECT_EQ(s, "  padded  ");
  // ';' inside a value is text, not a comment.
  ASSERT_TRUE(plat::reg_read_string(kKey, "ConnStr", s));
  EXPECT_EQ(s, "DSN=x;UID=y;PWD=z");
  ASSERT_TRUE(plat::reg_read_string(kKey, "Empty", s));
  EXPECT_EQ(s, "");
  ASSERT_TRUE(plat::reg_read_string(kKey, "", s));
  EXPECT_EQ(s, "default text");
}

TEST_F(RegistryTest, KeysAndNamesIgnoreCaseAndRootAbbreviations) {
  write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmar Software\\6.0]\r\nInstallDir=C:/q\r\n");
  std::string s;
  ASSERT_TRUE(plat::reg_read_string("hkey_local_machine\\software\\QUILLMAR SOFTWARE\\6.0",
                                    "installdir", s));
  EXPECT_EQ(s, "C:/q");  // and the CR of a CRLF file is gone
  EXPECT_TRUE(plat::reg_read_string("HKLM\\Software\\Quillmar Software\\6.0\\", "INSTALLDIR", s));
  EXPECT_TRUE(plat::reg_read_string(
      plat::reg_key(plat::kHKeyLocalMachine, "Software\\Quillmar Software\\6.0"), "InstallDir", s));
  // Another root is another key.
  EXPECT_FALSE(plat::reg_read_string("HKEY_CURRENT_USER\\Software\\Quillmar Software\\6.0",
                                     "InstallDir", s));
}

TEST_F(RegistryTest, KeyExistsAlsoForParentsButNotForPrefixesOfNames) {
  write("[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources]\nmydsn=Quillmar\n");
  const std::string root = plat::kHKeyCurrentUser;
  EXPECT_TRUE(plat::reg_key_exists(root + "\\Software\\ODBC\\ODBC.INI\\ODBC Data Sources"));
  EXPECT_TRUE(plat::reg_key_exists(root + "\\software\\odbc"));
  EXPECT_FALSE(plat::reg_key_exists(root + "\\Software\\OD"));
  EXPECT_FALSE(plat::reg_key_exists("HKEY_LOCAL_MACHINE\\Software\\ODBC"));
  EXPECT_FALSE(plat::reg_key_exists(""));
}

TEST_F(RegistryTest, MissingFileKeyOrValueIsAMissingValue) {
  write(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmar "
      "Software\\6.0]\nKXLibs=/x\nBad=dword:12abc\nBig=dword:4294967296\n");
  std::string s = "unchanged";
  uint32_t n = 9;
  EXPECT_FALSE(plat::reg_read_string(kKey, "Nothing", s));
  EXPECT_FALSE(plat::reg_read_string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "KXLibs", s));
  EXPECT_FALSE(plat::reg_read_dword(kKey, "Bad", n));
  EXPECT_FALSE(plat::reg_read_dword(kKey, "Big", n));
  EXPECT_EQ(plat::reg_query(kKey, "Bad").type, plat::RegType::None);
  EXPECT_EQ(s, "unchanged");
  EXPECT_EQ(n, 9u);

  setenv("QMR_REGISTRY_FILE", (path_ + ".missing").c_str(), 1);
  EXPECT_FALSE(plat::reg_read_string(kKey, "KXLibs", s));
  EXPECT_FALSE(plat::reg_key_exists(kKey));
}

TEST_F(RegistryTest, EntriesOutsideTheirSectionAndMalformedLinesAreIgnored) {
  write(
      "Orphan=1\n"
      "[HKEY_LOCAL_MACHINE\\A]\n"
      "no equals sign here\n"
      "# comment=ignored\n"
      "X=first\n"
      "[broken section\n"
      "Y=after broken\n"
      "[HKEY_LOCAL_MACHINE\\B]\n"
      "X=other\n"
      "[hkey_local_machine\\a]\n"
      "X=second\n");
  std::string s;
  ASSERT_TRUE(plat::reg_read_string("HKEY_LOCAL_MACHINE\\A", "X", s));
  EXPECT_EQ(s, "second");  // repeated sections merge; the last entry wins
  EXPECT_FALSE(plat::reg_read_string("HKEY_LOCAL_MACHINE\\A", "Y", s));
  EXPECT_FALSE(plat::reg_read_string("HKEY_LOCAL_MACHINE\\A", "# comment", s));
  EXPECT_FALSE(plat::reg_read_string("HKEY_LOCAL_MACHINE\\A", "no equals sign here", s));
}

TEST_F(RegistryTest, ChangesToTheFileShowAtOnce) {
  write("[HKEY_LOCAL_MACHINE\\K]\nV=one\n");
  std::string s;
  ASSERT_TRUE(plat::reg_read_string("HKEY_LOCAL_MACHINE\\K", "V", s));
  EXPECT_EQ(s, "one");
  write("[HKEY_LOCAL_MACHINE\\K]\nV=two\n");
  ASSERT_TRUE(plat::reg_read_string("HKEY_LOCAL_MACHINE\\K", "V", s));
  EXPECT_EQ(s, "two");
}

TEST_F(RegistryTest, ConcurrentReadersAgree) {
  write("[HKEY_LOCAL_MACHINE\\K]\nV=dword:5\n");
  std::atomic<int> good{0};
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        uint32_t n = 0;
        if (plat::reg_read_dword("HKEY_LOCAL_MACHINE\\K", "V", n) && n == 5) ++good;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(good.load(), 200);
}

}  // namespace
