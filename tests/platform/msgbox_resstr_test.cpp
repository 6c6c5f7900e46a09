#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "platform/msgbox.h"
#include "platform/resstr.h"

namespace {

std::string g_logged;
int g_log_calls = 0;
void capture_log(const char* line) {
  g_logged = line;
  ++g_log_calls;
}

// Captures what is written to standard error while f runs.
template <class F>
std::string capture_stderr(F f) {
  fflush(stderr);
  FILE* tmp = tmpfile();
  const int saved = dup(2);
  dup2(fileno(tmp), 2);
  f();
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string out;
  rewind(tmp);
  char buf[256];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, tmp)) > 0) out.append(buf, n);
  fclose(tmp);
  return out;
}

TEST(MessageBoxTest, OwnerZeroShowsNothing) {
  g_log_calls = 0;
  plat::set_message_box_logger(&capture_log);
  int r = -1;
  const std::string err = capture_stderr([&] {
    r = plat::message_box(0, "Unable to initialize the ODBC layer.", "Quillmar ODBC",
                          plat::kMbIconExclamation);
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(g_log_calls, 0);
  plat::set_message_box_logger(nullptr);
}

TEST(MessageBoxTest, OtherOwnersWriteToTheLogAlone) {
  g_log_calls = 0;
  plat::set_message_box_logger(&capture_log);
  int r = 0;
  const std::string err = capture_stderr([&] {
    r = plat::message_box(-2, "Unable to initialize the ODBC layer.", "Quillmar ODBC",
                          plat::kMbIconExclamation);
  });
  EXPECT_EQ(r, plat::kIdOk);
  EXPECT_EQ(err, "");
  EXPECT_EQ(g_log_calls, 1);
  EXPECT_EQ(g_logged, "Quillmar ODBC: Unable to initialize the ODBC layer.");

  // Without a hook, and with null texts, it still answers and does not crash.
  plat::set_message_box_logger(nullptr);
  const std::string err2 =
      capture_stderr([&] { r = plat::message_box(1234, nullptr, nullptr, plat::kMbOk); });
  EXPECT_EQ(r, plat::kIdOk);
  EXPECT_EQ(err2, "");
  EXPECT_EQ(g_log_calls, 1);
}

const plat::StringEntry kTable[] = {
    {1, "Quillmar ODBC"},
    {5, "Unable to initialize the ODBC layer."},
    {300, "caf\xC3\xA9"},  // "café": the last character is two bytes
};
const plat::StringEntry kLater[] = {{1, "Overridden"}, {301, "only later"}};

TEST(ResourceStringTest, LoadsWithLoadStringTruncation) {
  plat::register_string_table(kTable, 3);
  plat::register_string_table(kTable, 3);  // twice is once
  char buf[200];
  EXPECT_EQ(plat::load_string(5, buf, sizeof buf), 36);
  EXPECT_STREQ(buf, "Unable to initialize the ODBC layer.");
  EXPECT_EQ(plat::load_string(5, buf, 7), 6);
  EXPECT_STREQ(buf, "Unable");
  EXPECT_EQ(plat::load_string(1, buf, 1), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(plat::load_string(1, buf, 0), 0);
  EXPECT_EQ(plat::load_string(1, nullptr, 10), 0);
}

TEST(ResourceStringTest, TruncationNeverSplitsAUtf8Sequence) {
  plat::register_string_table(kTable, 3);
  char buf[16];
  EXPECT_EQ(plat::load_string(300, buf, 5), 3);  // room for 4 bytes: "caf" + half of é
  EXPECT_STREQ(buf, "caf");
  EXPECT_EQ(plat::load_string(300, buf, 6), 5);
  EXPECT_STREQ(buf, "caf\xC3\xA9");
}

TEST(ResourceStringTest, MissingIdGivesZeroAndAnEmptyBuffer) {
  plat::register_string_table(kTable, 3);
  char buf[16] = "junk";
  EXPECT_EQ(plat::load_string(99999, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");
}

TEST(ResourceStringTest, LaterTableWinsForSharedIds) {
  plat::register_string_table(kTable, 3);
  plat::register_string_table(kLater, 2);
  char buf[64];
  EXPECT_EQ(plat::load_string(301, buf, sizeof buf), 10);
  plat::load_string(1, buf, sizeof buf);
  EXPECT_STREQ(buf, "Overridden");
  plat::load_string(5, buf, sizeof buf);
  EXPECT_STREQ(buf, "Unable to initialize the ODBC layer.");
}

}  // namespace
