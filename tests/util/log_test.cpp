// The leveled log: filters, line layout per option, format expansion, cuts,
// stream and file sinks, and the standard-error fallback.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "util/log.h"

namespace {

struct Emitted {
  int level;
  std::string text;
};

void capture_emit(LOG_SINK* s, int level, const char* text) {
  static_cast<std::vector<Emitted>*>(s->user)->push_back({level, text});
}

// A sink that records what it is handed; closed and freed with the test.
class Capture {
 public:
  Capture(int level, uint32_t bits, uint32_t options)
      : sink_(log_sink_new(capture_emit, nullptr, level, bits, options)) {
    sink_->user = &lines_;
  }
  ~Capture() {
    log_close_sink(sink_);
    std::free(sink_);
  }
  LOG_SINK* sink() { return sink_; }
  const std::vector<Emitted>& lines() const { return lines_; }
  std::string only() const {
    return lines_.size() == 1 ? lines_[0].text : "<" + std::to_string(lines_.size()) + " lines>";
  }
  void clear() { lines_.clear(); }

 private:
  std::vector<Emitted> lines_;
  LOG_SINK* sink_;
};

// Formats that use %F, %L or a lone '%' are not printf formats; this keeps
// them away from the compiler's format checking.
int raw_write(int level, const char* file, int line, uint32_t cat, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = log_vwrite(level, file, line, cat, fmt, ap);
  va_end(ap);
  return r;
}

// Categories of their own keep these tests apart from anything else logging.
constexpr uint32_t kCat = 0x10000000u;

std::string today(const char* fmt) {
  char buf[64];
  time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  strftime_l(buf, sizeof buf, fmt, &tm, c);
  freelocale(c);
  return buf;
}

class LogDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(LogDeathTest, BeforeAnySinkLinesGoNowhere) {
  EXPECT_EXIT(
      {
        log_message(3, "f.c", 10, "x=%d", 5);
        log_write(7, "f.c", 11, 0x40, "second\nignored %d", 6);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^$");
}

TEST_F(LogDeathTest, NothingIsWrittenOnceEverySinkIsClosed) {
  EXPECT_EXIT(
      {
        LOG_SINK* s = log_open_stream_noclose(stderr, 7, 0xFFFFFFFFu, 0);
        log_message(3, "f.c", 1, "while open");
        log_close_sink(s);
        std::free(s);
        log_message(3, "f.c", 2, "after close");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "^while open\n$");
}

TEST(Log, LevelMaskTakesLevelsUpToItsOwn) {
  Capture cap(3, 0xFFFFFFFFu, LOG_OPT_LEVEL);
  for (int level = 0; level < 8; ++level) log_write(level, nullptr, 0, kCat, "L%d", level);
  ASSERT_EQ(cap.lines().size(), 4u);
  for (int level = 0; level < 4; ++level) {
    EXPECT_EQ(cap.lines()[level].level, level);
    EXPECT_EQ(cap.lines()[level].text,
              std::string(log_level_name(level)) + ": L" + std::to_string(level) + "\n");
  }
}

TEST(Log, SetLevelClampsToRange) {
  Capture cap(0, 0, 0);
  log_set_level(cap.sink(), 9);
  for (int l = 0; l < 8; ++l) EXPECT_EQ(cap.sink()->masks[l], 0xFFFFFFFFu) << l;
  log_set_level(cap.sink(), -2);
  EXPECT_EQ(cap.sink()->masks[0], 0xFFFFFFFFu);
  for (int l = 1; l < 8; ++l) EXPECT_EQ(cap.sink()->masks[l], 0u) << l;
  // Out-of-range call levels are clamped too: 12 is DEBUG, -3 is EMERG.
  log_write(12, nullptr, 0, kCat, "high");
  log_write(-3, nullptr, 0, kCat, "low");
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.lines()[0].level, 0);
  EXPECT_EQ(cap.lines()[0].text, "low\n");
}

TEST(Log, SetMaskAddsBelowAndClearsAbove) {
  Capture cap(7, 0x6, 0);
  log_set_mask(cap.sink(), 2, 0x2);
  for (int l = 0; l <= 2; ++l) EXPECT_EQ(cap.sink()->masks[l], 0x6u) << l;
  for (int l = 3; l < 8; ++l) EXPECT_EQ(cap.sink()->masks[l], 0x4u) << l;
  EXPECT_EQ(log_set_mask(nullptr, 3, 1), -1);
}

TEST(Log, CategoriesFilterAndZeroReachesEverySink) {
  Capture cap(7, 0x4, 0);
  Capture none(7, 0, 0);
  log_write(3, nullptr, 0, 0x1, "not mine");
  log_write(3, nullptr, 0, 0x5, "shares a bit");
  log_write(3, nullptr, 0, 0, "everyone");
  ASSERT_EQ(cap.lines().size(), 2u);
  EXPECT_EQ(cap.lines()[0].text, "shares a bit\n");
  EXPECT_EQ(cap.lines()[1].text, "everyone\n");
  EXPECT_EQ(none.only(), "everyone\n");
}

TEST(Log, ShortFormsCarryTheirLevelsAndNoPosition) {
  Capture cap(7, 0x1, LOG_OPT_LEVEL | LOG_OPT_SOURCE);
  log_error("e%d", 1);
  log_warning("w");
  log_info("i");
  log_debug("d");
  ASSERT_EQ(cap.lines().size(), 4u);
  EXPECT_EQ(cap.lines()[0].text, "ERROR: e1\n");
  EXPECT_EQ(cap.lines()[1].text, "WARNING: w\n");
  EXPECT_EQ(cap.lines()[2].text, "INFO: i\n");
  EXPECT_EQ(cap.lines()[3].text, "DEBUG: d\n");
  EXPECT_EQ(cap.lines()[1].level, 4);
  EXPECT_EQ(cap.lines()[3].level, 7);
}

TEST(Log, MacroPassesCallersPosition) {
  Capture cap(7, 0x1, LOG_OPT_SOURCE);
  const int line = __LINE__ + 1;
  LOG_MSG(3, "v=%s", "x");
  EXPECT_EQ(cap.only(), std::string("(") + __FILE__ + ":" + std::to_string(line) + "): v=x\n");
  cap.clear();
  LOG_AT(6, "w");
  ASSERT_EQ(cap.lines().size(), 1u);
  EXPECT_EQ(cap.lines()[0].level, 6);
}

struct OptionCase {
  uint32_t options;
  const char* ident;
  const char* file;
  const char* pattern;  // of the message line; {D} and {T} stand for date and time
};

TEST(Log, LineLayoutForEachOptionCombination) {
  const std::string T = "[0-9]{2}:[0-9]{2}:[0-9]{2}";
  const std::string D = "[0-9]{2}/[0-9]{2}/[0-9]{4}";
  const OptionCase cases[] = {
      {0, nullptr, "x.c", "hello 7\n"},
      {LOG_OPT_TIME, nullptr, "x.c", "{D} {T} hello 7\n"},
      {LOG_OPT_DAYHEADER | LOG_OPT_TIME, nullptr, "x.c", "{T} hello 7\n"},
      {LOG_OPT_DAYHEADER, nullptr, "x.c", "hello 7\n"},
      {LOG_OPT_LEVEL, nullptr, "x.c", "ERROR: hello 7\n"},
      {LOG_OPT_IDENT, "prog", "x.c", "prog: hello 7\n"},
      {LOG_OPT_IDENT, nullptr, "x.c", "hello 7\n"},
      {LOG_OPT_SOURCE, nullptr, "x.c", "\\(x\\.c:12\\): hello 7\n"},
      {LOG_OPT_SOURCE, nullptr, nullptr, "hello 7\n"},
      {LOG_OPT_TIME | LOG_OPT_SOURCE, nullptr, nullptr, "{D} {T}: hello 7\n"},
      {LOG_OPT_DAYHEADER | LOG_OPT_TIME | LOG_OPT_SOURCE, nullptr, nullptr, "{T}: hello 7\n"},
      {LOG_OPT_TIME | LOG_OPT_LEVEL, nullptr, "x.c", "{D} {T} ERROR: hello 7\n"},
      {LOG_OPT_DAYHEADER | LOG_OPT_TIME | LOG_OPT_LEVEL, nullptr, "x.c", "{T} ERROR: hello 7\n"},
      {LOG_OPT_LEVEL | LOG_OPT_SOURCE, nullptr, "x.c", "ERROR \\(x\\.c:12\\): hello 7\n"},
      {LOG_OPT_LEVEL | LOG_OPT_IDENT | LOG_OPT_SOURCE, "prog", "x.c",
       "ERROR prog \\(x\\.c:12\\): hello 7\n"},
      {31, "prog", "x.c", "{T} ERROR prog \\(x\\.c:12\\): hello 7\n"},
      {LOG_OPT_TIME | LOG_OPT_LEVEL | LOG_OPT_IDENT | LOG_OPT_SOURCE, "prog", "x.c",
       "{D} {T} ERROR prog \\(x\\.c:12\\): hello 7\n"},
  };
  for (const auto& c : cases) {
    log_set_ident(c.ident);
    Capture cap(7, kCat, c.options);
    const std::string date_before = today("%m/%d/%Y");
    log_write(3, c.file, 12, kCat, "hello %d", 7);
    const std::string date_after = today("%m/%d/%Y");
    log_set_ident(nullptr);

    std::string pat = c.pattern;
    const std::string date = date_before == date_after ? date_before : D;
    for (size_t at; (at = pat.find("{T}")) != std::string::npos;) pat.replace(at, 3, T);
    for (size_t at; (at = pat.find("{D}")) != std::string::npos;) pat.replace(at, 3, date);

    const size_t expected_lines = (c.options & LOG_OPT_DAYHEADER) ? 2 : 1;
    ASSERT_EQ(cap.lines().size(), expected_lines) << "options " << c.options;
    const std::string& line = cap.lines().back().text;
    EXPECT_TRUE(std::regex_match(line, std::regex("^" + pat + "$")))
        << "options " << c.options << ": [" << line << "] vs " << pat;
  }
}

TEST(Log, DayHeaderOncePerDayInCLocaleForm) {
  Capture cap(7, kCat, LOG_OPT_DAYHEADER | LOG_OPT_TIME);
  const std::string before = today("\n\t\t%a %b %d %Y\n");
  log_write(6, nullptr, 0, kCat, "first");
  log_write(6, nullptr, 0, kCat, "second");
  const std::string after = today("\n\t\t%a %b %d %Y\n");
  if (before != after) GTEST_SKIP() << "the day changed during the test";
  ASSERT_EQ(cap.lines().size(), 3u);
  EXPECT_EQ(cap.lines()[0].text, before);
  EXPECT_EQ(cap.lines()[0].level, 6);
  EXPECT_TRUE(std::regex_match(cap.lines()[1].text, std::regex("^[0-9:]{8} first\n$")));
  EXPECT_TRUE(std::regex_match(cap.lines()[2].text, std::regex("^[0-9:]{8} second\n$")));
  EXPECT_EQ(std::to_string(cap.sink()->hdr_year), today("%Y"));
  EXPECT_EQ(cap.sink()->hdr_month, static_cast<uint32_t>(std::stoi(today("%m"))));
  EXPECT_EQ(cap.sink()->hdr_day, static_cast<uint32_t>(std::stoi(today("%d"))));

  // A stored date of another day brings the header back.
  cap.sink()->hdr_day = 0;
  cap.clear();
  log_write(6, nullptr, 0, kCat, "third");
  ASSERT_EQ(cap.lines().size(), 2u);
  EXPECT_EQ(cap.lines()[0].text.substr(0, 3), "\n\t\t");
}

TEST(Log, FormatExtensionsExpandBeforeFormatting) {
  Capture cap(7, kCat, 0);
  raw_write(3, "x.c", 44, kCat, "a%Lb%Fc");
  EXPECT_EQ(cap.only(), "a44bx.cc\n");
  cap.clear();
  raw_write(3, "x.c", 44, kCat, "100%% of %s at %L", "it");
  EXPECT_EQ(cap.only(), "100% of it at 44\n");
  cap.clear();
  // A file name with '%' in it stays text; it is not a second format.
  raw_write(3, "50%s%n.c", 1, kCat, "[%F] %d", 9);
  EXPECT_EQ(cap.only(), "[50%s%n.c] 9\n");
  cap.clear();
  raw_write(3, nullptr, 0, kCat, "trailing %");
  EXPECT_EQ(cap.only(), "trailing %\n");
}

TEST(Log, PercentMUsesErrnoAsItWasOnEntry) {
  Capture cap(7, kCat, 0);
  Capture second(7, kCat, 0);
  errno = ENOENT;
  log_write(3, nullptr, 0, kCat, "open: %m (%d)", 2);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(cap.only(), "open: No such file or directory (2)\n");
  EXPECT_EQ(second.only(), cap.only());
}

TEST(Log, EverySinkFormatsTheArgumentsFromTheStart) {
  Capture a(7, kCat, LOG_OPT_LEVEL);
  Capture b(7, kCat, 0);
  Capture c(7, kCat, LOG_OPT_SOURCE);
  log_write(4, "f.c", 3, kCat, "%s=%d %s %lld", "x", 5, "tail", 1234567890123LL);
  EXPECT_EQ(a.only(), "WARNING: x=5 tail 1234567890123\n");
  EXPECT_EQ(b.only(), "x=5 tail 1234567890123\n");
  EXPECT_EQ(c.only(), "(f.c:3): x=5 tail 1234567890123\n");
}

void order_emit(LOG_SINK* s, int, const char*) {
  auto* order = static_cast<std::vector<LOG_SINK*>*>(s->user);
  order->push_back(s);
}

TEST(Log, NewSinksAreServedFirst) {
  std::vector<LOG_SINK*> order;
  LOG_SINK* older = log_sink_new(order_emit, nullptr, 7, kCat, 0);
  LOG_SINK* newer = log_sink_new(order_emit, nullptr, 7, kCat, 0);
  older->user = newer->user = &order;
  log_write(3, nullptr, 0, kCat, "x");
  log_close_sink(older);
  log_close_sink(newer);
  std::free(older);
  std::free(newer);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0], newer);
  EXPECT_EQ(order[1], older);
}

TEST(Log, NewlineInFormatEndsTheLine) {
  Capture cap(7, kCat, LOG_OPT_LEVEL);
  log_write(3, nullptr, 0, kCat, "first %d\nsecond %d", 1, 2);
  EXPECT_EQ(cap.only(), "ERROR: first 1\n");
}

TEST(Log, LongLinesAreCutAndStillEndTheLine) {
  Capture cap(7, kCat, LOG_OPT_LEVEL);
  const std::string big(3000, 'a');
  log_write(3, nullptr, 0, kCat, "%s", big.c_str());
  ASSERT_EQ(cap.lines().size(), 1u);
  const std::string& line = cap.lines()[0].text;
  EXPECT_EQ(line.size(), static_cast<size_t>(LOG_LINE_MAX - 1));
  EXPECT_EQ(line.substr(0, 7), "ERROR: ");
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find_first_not_of('a', 7), line.size() - 1);

  // The format itself is cut as well.
  cap.clear();
  log_write(3, nullptr, 0, kCat, "%s", "");
  const std::string long_format(3000, 'b');
  raw_write(3, nullptr, 0, kCat, long_format.c_str());
  ASSERT_EQ(cap.lines().size(), 2u);
  EXPECT_EQ(cap.lines()[1].text, "ERROR: " + std::string(LOG_LINE_MAX - 2 - 7, 'b') + "\n");
}

TEST(Log, CutNeverSplitsUtf8Sequence) {
  Capture cap(7, kCat, LOG_OPT_LEVEL);
  std::string text;
  for (int i = 0; i < 1500; ++i) text += "\xC3\xA9";  // e acute
  log_write(3, nullptr, 0, kCat, "%s", text.c_str());
  ASSERT_EQ(cap.lines().size(), 1u);
  const std::string& line = cap.lines()[0].text;
  // 7 prefix bytes leave 2039 for text: only 1019 whole characters fit.
  EXPECT_EQ(line.size(), 7u + 2038u + 1u);
  EXPECT_EQ(line.substr(7, 2038), text.substr(0, 2038));
  EXPECT_EQ(line.back(), '\n');
}

TEST(Log, ParseCategories) {
  const LOG_CATEGORY table[] = {{"a", 1}, {"b", 4}, {"c", 0x100}};
  uint32_t bits = 99;
  EXPECT_EQ(log_parse_categories("a,b", table, 3, &bits), 0);
  EXPECT_EQ(bits, 5u);
  EXPECT_EQ(log_parse_categories("c", table, 3, &bits), 0);
  EXPECT_EQ(bits, 0x100u);
  EXPECT_EQ(log_parse_categories("a,x", table, 3, &bits), -1);
  EXPECT_EQ(log_parse_categories("", table, 3, &bits), -1);
  EXPECT_EQ(log_parse_categories("A", table, 3, &bits), -1);
  EXPECT_EQ(log_parse_categories("a,,b", table, 3, &bits), -1);
  EXPECT_EQ(log_parse_categories("a, b", table, 3, &bits), -1);
}

int g_closes = 0;
void count_close(LOG_SINK*) { ++g_closes; }

TEST(Log, CloseRunsCallbackOnceAndUnlinks) {
  std::vector<Emitted> lines;
  LOG_SINK* s = log_sink_new(capture_emit, count_close, 7, kCat, 0);
  s->user = &lines;
  g_closes = 0;
  EXPECT_EQ(log_close_sink(s), 0);
  EXPECT_EQ(log_close_sink(s), 0);
  EXPECT_EQ(g_closes, 1);
  EXPECT_EQ(s->next, s);
  EXPECT_EQ(s->prev, s);
  log_write(3, nullptr, 0, kCat, "gone");
  EXPECT_TRUE(lines.empty());
  std::free(s);
}

TEST(Log, StreamSinksWriteAndOwnTheirStreamAsAsked) {
  FILE* fp = tmpfile();
  ASSERT_NE(fp, nullptr);
  LOG_SINK* s = log_open_stream_noclose(fp, 7, kCat, LOG_OPT_LEVEL);
  log_write(5, nullptr, 0, kCat, "to stream %d", 1);
  log_close_sink(s);
  std::free(s);
  // Still open: the sink did not close it.
  rewind(fp);
  char buf[64] = {};
  ASSERT_NE(fgets(buf, sizeof buf, fp), nullptr);
  EXPECT_STREQ(buf, "NOTICE: to stream 1\n");
  fclose(fp);

  // A null stream takes lines without writing them.
  LOG_SINK* nul = log_open_stream(nullptr, 7, kCat, 0);
  ASSERT_NE(nul, nullptr);
  log_write(5, nullptr, 0, kCat, "nowhere");
  log_close_sink(nul);
  std::free(nul);

  LOG_SINK* dropping = log_open_null("ignored", 1, 2, 3, 7, kCat, 0);
  ASSERT_NE(dropping, nullptr);
  EXPECT_EQ(dropping->masks[7], kCat);
  log_write(5, nullptr, 0, kCat, "dropped");
  log_close_sink(dropping);
  std::free(dropping);
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qmr_log_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    unlink((dir_ + "/log").c_str());
    unlink((dir_ + "/link").c_str());
    unlink((dir_ + "/target").c_str());
    rmdir(dir_.c_str());
  }
  std::string read(const std::string& path) {
    std::string out;
    FILE* fp = fopen(path.c_str(), "r");
    if (!fp) return out;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0) out.append(buf, n);
    fclose(fp);
    return out;
  }
  std::string dir_;
};

TEST_F(LogFileTest, FileSinkAppendsWithPrivateMode) {
  const std::string path = dir_ + "/log";
  for (int round = 1; round <= 2; ++round) {
    LOG_SINK* s = log_open_file(path.c_str(), 7, kCat, 0);
    ASSERT_NE(s, nullptr);
    log_write(3, nullptr, 0, kCat, "round %d", round);
    log_close_sink(s);
    std::free(s);
  }
  EXPECT_EQ(read(path), "round 1\nround 2\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LogFileTest, FileSinkRefusesSymlinkAndMissingDirectory) {
  const std::string target = dir_ + "/target";
  const std::string link = dir_ + "/link";
  FILE* fp = fopen(target.c_str(), "w");
  ASSERT_NE(fp, nullptr);
  fclose(fp);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(log_open_file(link.c_str(), 7, kCat, 0), nullptr);
  EXPECT_EQ(log_open_file((dir_ + "/no/such/file").c_str(), 7, kCat, 0), nullptr);
  EXPECT_EQ(read(target), "");
}

std::atomic<int> g_counted{0};
void count_emit(LOG_SINK*, int, const char*) { g_counted.fetch_add(1); }

TEST(Log, SinksComeAndGoWhileAnotherThreadLogs) {
  g_counted = 0;
  LOG_SINK* steady = log_sink_new(count_emit, nullptr, 7, 0x20000000u, 0);
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop.load()) {
      LOG_SINK* s = log_sink_new(count_emit, nullptr, 7, 0x40000000u, 0);
      log_close_sink(s);
      std::free(s);
    }
  });
  constexpr int kLines = 20000;
  for (int i = 0; i < kLines; ++i) log_write(7, "t.c", i, 0x20000000u, "line %d", i);
  stop = true;
  churn.join();
  log_close_sink(steady);
  std::free(steady);
  EXPECT_EQ(g_counted.load(), kLines);
}

}  // namespace
